// The blackbox test over the sample-image corpus: each folder is decoded through the
// linked decoder (one process per folder, Init once as the runtime does) and its number of
// exact reads is compared with its floor. The folder's decoder settings and the corpus's
// normalisation rules come from the test kit (support/blackbox.h).
//
// usage: blackbox_runner --corpus DIR --floors FILE [--folder NAME]... [--check-folders] [--verbose]
// Exit status: 0 pass, 1 fail, 2 bad arguments, 77 corpus missing (skipped).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/blackbox.h"
#include "support/testkit.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSkipped = 77;

struct Args {
    std::string corpus;
    std::string floors;
    std::vector<std::string> folders;
    bool checkFolders = false;
    bool verbose = false;
};

bool ParseArgs(int argc, char **argv, Args *a) {
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--corpus" && i + 1 < argc) {
            a->corpus = argv[++i];
        } else if (s == "--floors" && i + 1 < argc) {
            a->floors = argv[++i];
        } else if (s == "--folder" && i + 1 < argc) {
            a->folders.push_back(argv[++i]);
        } else if (s == "--check-folders") {
            a->checkFolders = true;
        } else if (s == "--verbose") {
            a->verbose = true;
        } else {
            return false;
        }
    }
    return !a->corpus.empty() && !a->floors.empty();
}

// Every corpus folder has a floor and every floor a folder.
bool CheckFolders(const std::vector<testkit::Floor> &floors, const std::vector<std::string> &onDisk, const std::string &floorsName) {
    std::set<std::string> named;
    for (const testkit::Floor &f : floors) named.insert(f.folder);
    bool ok = true;
    for (const std::string &d : onDisk) {
        if (named.erase(d) == 0) {
            std::printf("corpus folder %s has no line in %s: add \"%s 0\"\n", d.c_str(), floorsName.c_str(), d.c_str());
            ok = false;
        }
    }
    for (const std::string &gone : named) {
        std::printf("%s names %s, which the corpus does not have\n", floorsName.c_str(), gone.c_str());
        ok = false;
    }
    if (ok) std::printf("every one of the %zu corpus folders has a floor\n", onDisk.size());
    return ok;
}

bool RunFolder(const Args &a, const testkit::Floor &floor, const std::string &floorsName) {
    // Every symbology on once, then the options the folder's expected texts assume; frames
    // then decode with the settings as they stand.
    testkit::InitDecoder();
    const testkit::DecoderApi api = testkit::LinkedDecoder();
    testkit::EnableAllSymbologies(api);
    if (testkit::ApplyFolderSettings(api, floor.folder) != 0) {
        std::printf("%s: the decoder refused one of the folder's settings\n", floor.folder.c_str());
        return false;
    }
    const testkit::FolderResult r = testkit::RunBlackboxFolder(
        fs::path(a.corpus) / floor.folder,
        [](const testkit::Frame &f) { return testkit::DecodeFrame(f, {.enableAll = false}); }, testkit::CorpusRules());
    if (a.verbose) {
        for (const testkit::ImageOutcome &o : r.outcomes) {
            std::printf("  %s: %s%s\n", o.name.c_str(), o.passed ? "pass" : o.problem.c_str(), o.scaled ? " (scaled down)" : "");
        }
    }
    const testkit::Verdict v = testkit::JudgeFolder(r, floor, floorsName);
    std::printf("%s\n", v.message.c_str());
    if (r.images == 0) {
        std::printf("%s: no images found\n", floor.folder.c_str());
        return false;
    }
    return v.ok;
}

}  // namespace

int main(int argc, char **argv) {
    Args a;
    if (!ParseArgs(argc, argv, &a)) {
        std::fprintf(stderr,
                     "usage: blackbox_runner --corpus DIR --floors FILE [--folder NAME]... [--check-folders] [--verbose]\n");
        return 2;
    }
    std::error_code ec;
    if (!fs::is_directory(a.corpus, ec)) {
        std::printf("corpus %s not found: blackbox test skipped\n", a.corpus.c_str());
        return kSkipped;
    }
    std::vector<testkit::Floor> floors;
    std::string error;
    if (!testkit::ReadFloors(a.floors, &floors, &error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    const std::string floorsName = fs::path(a.floors).filename().string();
    bool ok = true;
    if (a.checkFolders) ok = CheckFolders(floors, testkit::ListCorpusFolders(a.corpus), floorsName) && ok;
    for (const testkit::Floor &f : floors) {
        const bool wanted = a.folders.empty() ? !a.checkFolders
                                              : std::find(a.folders.begin(), a.folders.end(), f.folder) != a.folders.end();
        if (wanted) ok = RunFolder(a, f, floorsName) && ok;
    }
    for (const std::string &name : a.folders) {
        if (std::none_of(floors.begin(), floors.end(), [&](const testkit::Floor &f) { return f.folder == name; })) {
            std::printf("%s has no line in %s\n", name.c_str(), floorsName.c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
