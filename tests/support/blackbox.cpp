#include "support/blackbox.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "support/image_io.h"
#include "support/scale.h"

namespace fs = std::filesystem;

namespace testkit {

namespace {

bool ReadFile(const fs::path &path, std::string *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buf;
    buf << in.rdbuf();
    *bytes = buf.str();
    return true;
}

std::map<std::string, std::string> ReadKeys(const fs::path &path) {
    std::map<std::string, std::string> keys;
    std::string text;
    if (!ReadFile(path, &text)) return keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

bool IsImage(const fs::path &p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".png" || ext == ".pgm";
}

// The images of one folder, sorted; none when it cannot be read.
std::vector<fs::path> ImagesIn(const fs::path &dir) {
    std::vector<fs::path> images;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && IsImage(it->path())) images.push_back(it->path());
    std::sort(images.begin(), images.end());
    return images;
}

bool ReadExpected(const fs::path &stem, std::string *expected) {
    return ReadFile(stem.string() + ".txt", expected) || ReadFile(stem.string() + ".bin", expected);
}

// "BASE-NN" -> "BASE", else "".
std::string SetBase(const std::string &stem) {
    const size_t dash = stem.rfind('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == stem.size()) return "";
    for (size_t i = dash + 1; i < stem.size(); ++i) {
        if (stem[i] < '0' || stem[i] > '9') return "";
    }
    return stem.substr(0, dash);
}

// The compared outcome of a read (or of a set's joined reads).
void Compare(const DecodeResult &r, const std::string &expected, const std::map<std::string, std::string> &keys,
             ImageOutcome *o) {
    const auto aim = keys.find("symbologyIdentifier");
    if (!r.decoded) {
        o->problem = "no code";
    } else if (r.text != expected) {
        o->problem = "read \"" + EscapeBytes(r.text) + "\", expected \"" + EscapeBytes(expected) + "\"";
    } else if (aim != keys.end() && aim->second != r.aim) {
        o->problem = "identifier " + EscapeBytes(r.aim) + ", expected " + aim->second;
    } else {
        o->passed = true;
    }
}

struct SetParts {
    std::vector<DecodeResult> reads;
};

ImageOutcome RunImage(const fs::path &image, const std::string &folder, const FrameDecoder &decode,
                      std::span<const NormalisationRule> rules, bool *read, std::map<std::string, SetParts> *sets) {
    ImageOutcome o;
    o.name = image.filename().string();
    const fs::path stem = image.parent_path() / image.stem();
    std::string expected;
    o.hasExpected = ReadExpected(stem, &expected);
    std::map<std::string, std::string> keys = ReadKeys(stem.string() + ".result.txt");
    std::string base;
    if (!o.hasExpected) {
        base = SetBase(image.stem().string());
        std::string joined;
        if (!base.empty() && !ReadExpected(image.parent_path() / base, &joined)) base.clear();
    }

    Frame frame;
    std::string error;
    *read = false;
    if (!LoadImage(image.string(), &frame, &error)) {
        o.problem = error;
        return o;
    }
    o.loaded = true;
    frame = FitToFrameLimit(frame, &o.scaled);
    DecodeResult r = decode(frame);
    *read = r.decoded;
    for (const NormalisationRule &rule : rules) {
        if (folder.rfind(rule.folderPrefix, 0) == 0) rule.apply(&expected, &keys, &r);
    }
    if (!base.empty()) {
        (*sets)[base].reads.push_back(r);
        o.problem = r.decoded ? "part of set " + base : "part of set " + base + ": no code";
        return o;
    }
    if (!o.hasExpected) {
        o.problem = "no expected content beside it";
        return o;
    }
    Compare(r, expected, keys, &o);
    return o;
}

ImageOutcome JudgeSet(const fs::path &dir, const std::string &folder, const std::string &base, const SetParts &parts,
                      std::span<const NormalisationRule> rules) {
    ImageOutcome o;
    o.name = base + "-*";
    o.loaded = true;
    o.hasExpected = true;
    std::string expected;
    ReadExpected(dir / base, &expected);
    std::map<std::string, std::string> keys = ReadKeys((dir / base).string() + ".result.txt");
    DecodeResult joined;
    joined.decoded = !parts.reads.empty();
    for (const DecodeResult &r : parts.reads) {
        joined.decoded = joined.decoded && r.decoded;
        joined.text += r.text;
        if (joined.aim.empty()) joined.aim = r.aim;
        joined.codeId = r.codeId;
    }
    for (const NormalisationRule &rule : rules) {
        if (folder.rfind(rule.folderPrefix, 0) == 0) rule.apply(&expected, &keys, &joined);
    }
    Compare(joined, expected, keys, &o);
    return o;
}

}  // namespace

namespace {

// The decoder hands over a symbol's bytes as they are (ISO 8859-1 unless an ECI says
// otherwise, written "\NNNNNN"); the other reader converts such text to UTF-8.
void Latin1ToUtf8(std::string *expected, std::map<std::string, std::string> *, DecodeResult *read) {
    if (read == nullptr || expected == nullptr || read->text.find('\\') != std::string::npos) return;
    std::string out;
    for (unsigned char c : read->text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (out == *expected) read->text = out;
}

// Code 32 is sent as "A" and its eight digits; no option sends its check digit, which the
// expected text carries: compared with the check digit computed from the eight.
void Code32CheckDigit(std::string *expected, std::map<std::string, std::string> *, DecodeResult *read) {
    if (read == nullptr || expected == nullptr || read->text.size() != 9 || read->text[0] != 'A') return;
    int sum = 0;
    for (size_t i = 1; i < 9; ++i) {
        const char c = read->text[i];
        if (c < '0' || c > '9') return;
        const int d = (c - '0') * (i % 2 == 0 ? 2 : 1);
        sum += d / 10 + d % 10;
    }
    const std::string withCheck = read->text + static_cast<char>('0' + sum % 10);
    if (withCheck == *expected) read->text = withCheck;
}

const NormalisationRule kCorpusRules[] = {
    {"aztec", "ISO 8859-1 text without an ECI is compared as the UTF-8 the expected text holds", Latin1ToUtf8},
    {"code128", "Code 128 bytes above 127 are compared as the UTF-8 the expected text holds", Latin1ToUtf8},
    {"code39", "Code 32 is compared with its check digit, which no option sends", Code32CheckDigit},
};

constexpr uint32_t kOn = VEXO_ON;
constexpr uint32_t kOff = VEXO_OFF;

// Sub-id 0 of a group is its enable switch; the others are the group's options.
const FolderSetting kFolderSettings[] = {
    {"ean13-", 0x10700, kOff, "ISBN off: the folder expects 978/979 numbers as EAN-13"},
    {"ean13-", 0x10600, kOff, "ISSN off: the folder expects 977 numbers as EAN-13"},
    {"upca-", 0x10700, kOff, "ISBN off, as for EAN-13"},
    {"upca-", 0x10600, kOff, "ISSN off, as for EAN-13"},
    {"upca-", 0x10904, kOn, "UPC-A sent with its leading 0 (13 digits)"},
    {"upce-", 0x10805, kOn, "UPC-E expanded (the folder expects the 13 digits)"},
    {"ean13-extension", 0x10502, kOn, "EAN-13 2-digit add-on read"},
    {"ean13-extension", 0x10503, kOn, "EAN-13 5-digit add-on read"},
    {"ean13-extension", 0x10504, kOn, "EAN-13 add-on required (every image has one)"},
    {"upca-extension", 0x10902, kOn, "UPC-A 2-digit add-on read"},
    {"upca-extension", 0x10903, kOn, "UPC-A 5-digit add-on read"},
    {"upca-extension", 0x10905, kOn, "UPC-A add-on required (every image has one)"},
    {"code39-", 0x11403, kOff, "Code 39 start and stop asterisks stripped"},
    {"code39-", 0x11408, kOn, "Code 32 symbols converted to their number"},
    {"code39-", 0x11407, kOn, "Code 32 numbers sent with their leading A"},
    {"rss14-", 0x11A01, kOn, "DataBar sent with its \"01\" prefix"},
    {"databarltd-", 0x11A01, kOn, "DataBar sent with its \"01\" prefix"},
};

bool StartsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::span<const NormalisationRule> CorpusRules() { return kCorpusRules; }

std::span<const FolderSetting> FolderSettings() { return kFolderSettings; }

int ApplyFolderSettings(const DecoderApi &api, const std::string &folder) {
    int refused = 0;
    for (const FolderSetting &s : kFolderSettings) {
        if (StartsWith(folder, s.folderPrefix) && api.set(s.key, s.value) != 1) ++refused;
    }
    return refused;
}

bool IsFalsePositiveFolder(const std::string &folder) { return folder.rfind("falsepositives", 0) == 0; }

std::vector<std::string> CorpusImages(const std::string &folder) {
    const char *env = std::getenv("STACK_CORPUS_DIR");
    const std::string root = env != nullptr ? env : STACK_CORPUS_DEFAULT;
    std::vector<std::string> files;
    for (const fs::path &image : ImagesIn(root + "/" + folder)) files.push_back(image.string());
    return files;
}

FolderResult RunBlackboxFolder(const fs::path &dir, const FrameDecoder &decode, std::span<const NormalisationRule> rules) {
    FolderResult res;
    res.folder = dir.filename().string();
    res.falsePositives = IsFalsePositiveFolder(res.folder);
    std::map<std::string, SetParts> sets;
    for (const fs::path &image : ImagesIn(dir)) {
        bool read = false;
        ImageOutcome o = RunImage(image, res.folder, decode, rules, &read, &sets);
        ++res.images;
        res.reads += read ? 1 : 0;
        res.expected += o.hasExpected ? 1 : 0;
        res.passed += o.passed ? 1 : 0;
        res.unreadable += o.loaded ? 0 : 1;
        res.outcomes.push_back(std::move(o));
    }
    for (const auto &[base, parts] : sets) {
        ImageOutcome o = JudgeSet(dir, res.folder, base, parts, rules);
        ++res.expected;
        res.passed += o.passed ? 1 : 0;
        res.outcomes.push_back(std::move(o));
    }
    return res;
}

bool ReadFloors(const fs::path &file, std::vector<Floor> *floors, std::string *error) {
    std::string text;
    if (!ReadFile(file, &text)) {
        *error = "cannot read " + file.string();
        return false;
    }
    std::vector<Floor> out;
    std::set<std::string> seen;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        Floor f;
        std::string extra;
        if (!(fields >> f.folder)) continue;
        bool bad = !(fields >> f.minimum) || f.minimum < 0;
        if (!bad && (fields >> extra)) {
            bad = extra != "misses:";
            f.named = !bad;
            for (std::string name; !bad && fields >> name;) f.misses.push_back(name);
        }
        if (bad) {
            *error = file.filename().string() + ":" + std::to_string(number) + ": expected FOLDER MINIMUM";
            return false;
        }
        if (!seen.insert(f.folder).second) {
            *error = file.filename().string() + ":" + std::to_string(number) + ": " + f.folder + " named twice";
            return false;
        }
        out.push_back(f);
    }
    *floors = std::move(out);
    return true;
}

Verdict JudgeFolder(const FolderResult &r, int floor, const std::string &floorsFileName) {
    Verdict v;
    const std::string counts = r.folder + ": " + std::to_string(r.passed) + " of " + std::to_string(r.expected) + " passed";
    if (r.falsePositives) {
        v.ok = r.reads == 0;
        v.message = r.folder + ": " + std::to_string(r.reads) + " of " + std::to_string(r.images) +
                    " images without codes gave a read" + (v.ok ? "" : " (must be 0)");
    } else if (r.passed < floor) {
        v.message = counts + ", below its floor " + std::to_string(floor);
    } else if (r.passed > floor) {
        v.ok = true;
        v.message = counts + ", above its floor " + std::to_string(floor) + ": raise the floor of " + r.folder + " in " +
                    floorsFileName + " to " + std::to_string(r.passed);
    } else {
        v.ok = true;
        v.message = counts + " (floor " + std::to_string(floor) + ")";
    }
    return v;
}

Verdict JudgeFolder(const FolderResult &r, const Floor &floor, const std::string &floorsFileName) {
    Verdict v = JudgeFolder(r, floor.minimum, floorsFileName);
    if (!floor.named || r.falsePositives) return v;
    std::string unnamed, readsNow;
    for (const ImageOutcome &o : r.outcomes) {
        if (!o.hasExpected) continue;
        const bool named = std::find(floor.misses.begin(), floor.misses.end(), o.name) != floor.misses.end();
        if (!o.passed && !named) unnamed += " " + o.name;
        if (o.passed && named) readsNow += " " + o.name;
    }
    if (!unnamed.empty()) {
        v.ok = false;
        v.message += "; missed but not named:" + unnamed;
    }
    if (!readsNow.empty()) v.message += "; named but read now (drop from the list):" + readsNow;
    return v;
}

std::vector<std::string> ListCorpusFolders(const fs::path &corpus) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(corpus, ec)) {
        if (e.is_directory()) out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace testkit
