// Replays every file of the corpus folders named on the command line through the fuzz
// target, so that the corpus runs as a plain test in every build.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool ReadFile(const std::string &path, std::vector<uint8_t> &out) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

int Replay(const std::string &path, int &count) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return 1;
    }
    if (S_ISDIR(st.st_mode)) {
        DIR *d = opendir(path.c_str());
        if (d == nullptr) return 1;
        std::vector<std::string> names;
        while (dirent *e = readdir(d)) {
            if (e->d_name[0] != '.') names.push_back(path + "/" + e->d_name);
        }
        closedir(d);
        int failures = 0;
        for (const std::string &n : names) failures += Replay(n, count);
        return failures;
    }
    std::vector<uint8_t> data;
    if (!ReadFile(path, data)) return 1;
    LLVMFuzzerTestOneInput(data.data(), data.size());
    ++count;
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    int count = 0, failures = 0;
    for (int i = 1; i < argc; ++i) failures += Replay(argv[i], count);
    // An empty input always runs, so a target without a corpus is still exercised.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replayed %d inputs\n", count);
    return failures == 0 ? 0 : 1;
}
