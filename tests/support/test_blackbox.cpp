// The blackbox runner over a small corpus made here, with a stand-in decoder that answers
// by the first pixel of each frame.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/blackbox.h"
#include "support/temp_dir.h"
#include "support/testkit.h"

namespace testkit {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void WriteImage(const fs::path &path, uint8_t key, int w = 16, int h = 8) {
    Frame f(w, h, 255);
    f.pixels[0] = key;
    if (path.extension() == ".png") {
        ASSERT_TRUE(WritePng(path.string(), f));
    } else {
        ASSERT_TRUE(WritePgm(path.string(), f));
    }
}

DecodeResult Read(const char *aim, const std::string &text) { return DecodeResult{true, 0x102, text, aim}; }

// Frames above the decoder's limit would be refused: the runner must have scaled them.
DecodeResult StandIn(const Frame &f) {
    if (!FitsFrameLimit(f.width, f.height)) return {};
    switch (f.pixels[0]) {
        case 1: return Read("]Q1", "alpha");
        case 2: return Read("]Q1", std::string("\0\1\2", 3));
        case 3: return Read("]Q1", "gamma");
        case 5: return Read("]Q1", "epsilon");
        case 7: return Read("]Q1", "ghost");
        case 8: return Read("]Q1", "phi");
        case 10: return Read("]Q1", "joined ");
        case 11: return Read("]Q1", "text");
        default: break;
    }
    // The big image, averaged down: its key pixel is blended with the white around it.
    if (f.width == 1280) return Read("]Q1", "big");
    return {};
}

const NormalisationRule kRules[] = {
    {"qrcode", "expected texts end in '!' where this decoder writes nothing",
     [](std::string *expected, std::map<std::string, std::string> *, DecodeResult *) {
         if (!expected->empty() && expected->back() == '!') expected->pop_back();
     }},
};

class Blackbox : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path qr = dir_.path() / "qrcode-1";
        fs::create_directories(qr);
        WriteImage(qr / "a.pgm", 1);
        WriteBytes(qr / "a.txt", "alpha");
        WriteBytes(qr / "a.result.txt", "# comment\nsymbologyIdentifier=]Q1\nisMirrored=false\n");
        WriteImage(qr / "b.png", 2);
        WriteBytes(qr / "b.bin", std::string("\0\1\2", 3));
        WriteImage(qr / "c.pgm", 3);
        WriteBytes(qr / "c.txt", "gamma");
        WriteBytes(qr / "c.result.txt", "symbologyIdentifier=]Q5\r\n");
        WriteImage(qr / "d.pgm", 4);
        WriteBytes(qr / "d.txt", "delta");
        WriteImage(qr / "e.pgm", 5);
        WriteImage(qr / "f.pgm", 8);
        WriteBytes(qr / "f.txt", "phi!");
        WriteImage(qr / "g.pgm", 9, 1400, 20);
        WriteBytes(qr / "g.txt", "big");
        WriteBytes(qr / "h.pgm", "P5 garbage");
        WriteBytes(qr / "h.txt", "never");
        WriteBytes(qr / "README.md", "not an image");

        // A set of two parts, and one with a part unread.
        const fs::path sets = dir_.path() / "sets-1";
        fs::create_directories(sets);
        WriteImage(sets / "01-01.pgm", 10);
        WriteImage(sets / "01-02.pgm", 11);
        WriteBytes(sets / "01.txt", "joined text");
        WriteBytes(sets / "01.result.txt", "symbologyIdentifier=]Q1\n");
        WriteImage(sets / "02-1.pgm", 11);
        WriteImage(sets / "02-2.pgm", 4);
        WriteBytes(sets / "02.txt", "text");
        WriteImage(sets / "03-1.pgm", 11);  // no 03.txt: not a set

        const fs::path other = dir_.path() / "other-1";
        fs::create_directories(other);
        WriteImage(other / "f.pgm", 8);
        WriteBytes(other / "f.txt", "phi!");

        const fs::path fp = dir_.path() / "falsepositives-1";
        fs::create_directories(fp);
        WriteImage(fp / "x.pgm", 0);
        WriteImage(fp / "y.png", 7);
    }
    TempDir dir_;
};

TEST_F(Blackbox, CountsPassesPerFolderAndSaysWhatDiffered) {
    const FolderResult r = RunBlackboxFolder(dir_.path() / "qrcode-1", &StandIn, kRules);
    EXPECT_EQ(r.folder, "qrcode-1");
    EXPECT_FALSE(r.falsePositives);
    EXPECT_EQ(r.images, 8);
    EXPECT_EQ(r.expected, 7);
    EXPECT_EQ(r.passed, 4);  // a, b, f (normalised), g (scaled)
    EXPECT_EQ(r.reads, 6);
    EXPECT_EQ(r.unreadable, 1);
    ASSERT_EQ(r.outcomes.size(), 8u);
    const char *kProblems[] = {"",
                               "",
                               "identifier ]Q1, expected ]Q5",
                               "no code",
                               "no expected content beside it",
                               "",
                               "",
                               "bad PGM header"};
    const char *kNames[] = {"a.pgm", "b.png", "c.pgm", "d.pgm", "e.pgm", "f.pgm", "g.pgm", "h.pgm"};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(r.outcomes[i].name, kNames[i]);
        EXPECT_EQ(r.outcomes[i].problem, kProblems[i]) << kNames[i];
        EXPECT_EQ(r.outcomes[i].passed, kProblems[i][0] == '\0') << kNames[i];
    }
    EXPECT_TRUE(r.outcomes[6].scaled);
    EXPECT_FALSE(r.outcomes[0].scaled);

    // Rules apply only to the folders they name.
    const FolderResult o = RunBlackboxFolder(dir_.path() / "other-1", &StandIn, kRules);
    EXPECT_EQ(o.passed, 0);
    EXPECT_EQ(o.outcomes[0].problem, "read \"phi\", expected \"phi!\"");
}

TEST_F(Blackbox, PartsOfASetCountOnceAndJoinInNameOrder) {
    const FolderResult r = RunBlackboxFolder(dir_.path() / "sets-1", &StandIn);
    EXPECT_EQ(r.images, 5);
    EXPECT_EQ(r.expected, 2);
    EXPECT_EQ(r.passed, 1);
    EXPECT_EQ(r.reads, 4);
    ASSERT_EQ(r.outcomes.size(), 7u);
    EXPECT_EQ(r.outcomes[0].problem, "part of set 01");
    EXPECT_EQ(r.outcomes[3].problem, "part of set 02: no code");
    EXPECT_EQ(r.outcomes[4].problem, "no expected content beside it");
    EXPECT_EQ(r.outcomes[5].name, "01-*");
    EXPECT_TRUE(r.outcomes[5].passed);
    EXPECT_EQ(r.outcomes[6].name, "02-*");
    EXPECT_EQ(r.outcomes[6].problem, "no code");
}

TEST_F(Blackbox, FalsePositiveFoldersMustGiveNoRead) {
    const FolderResult r = RunBlackboxFolder(dir_.path() / "falsepositives-1", &StandIn);
    EXPECT_TRUE(r.falsePositives);
    EXPECT_EQ(r.images, 2);
    EXPECT_EQ(r.reads, 1);
    const Verdict v = JudgeFolder(r, 0, "floors.txt");
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.message, "falsepositives-1: 1 of 2 images without codes gave a read (must be 0)");
    const FolderResult none = RunBlackboxFolder(dir_.path() / "falsepositives-1", [](const Frame &) { return DecodeResult{}; });
    EXPECT_TRUE(JudgeFolder(none, 0, "floors.txt").ok);
}

TEST_F(Blackbox, FloorsOnlyGoUp) {
    const FolderResult r = RunBlackboxFolder(dir_.path() / "qrcode-1", &StandIn, kRules);
    Verdict v = JudgeFolder(r, 5, "floors.txt");
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.message, "qrcode-1: 4 of 7 passed, below its floor 5");
    v = JudgeFolder(r, 4, "floors.txt");
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.message, "qrcode-1: 4 of 7 passed (floor 4)");
    v = JudgeFolder(r, 2, "floors.txt");
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.message, "qrcode-1: 4 of 7 passed, above its floor 2: raise the floor of qrcode-1 in floors.txt to 4");
}

// A floor that names its misses fails on any other miss and reports a named one that reads.
TEST_F(Blackbox, NamedMissesMustBeTheOnlyMisses) {
    const FolderResult r = RunBlackboxFolder(dir_.path() / "qrcode-1", &StandIn, kRules);
    std::vector<std::string> missed;
    std::string passed;
    for (const ImageOutcome &o : r.outcomes) {
        if (o.hasExpected && !o.passed) missed.push_back(o.name);
        if (o.hasExpected && o.passed && passed.empty()) passed = o.name;
    }
    ASSERT_EQ(missed.size(), 3u);
    Floor f{"qrcode-1", 4, true, missed};
    EXPECT_TRUE(JudgeFolder(r, f, "floors.txt").ok);
    f.misses.pop_back();
    Verdict v = JudgeFolder(r, f, "floors.txt");
    EXPECT_FALSE(v.ok);
    EXPECT_NE(v.message.find("missed but not named: " + missed.back()), std::string::npos) << v.message;
    f.misses = missed;
    f.misses.push_back(passed);
    v = JudgeFolder(r, f, "floors.txt");
    EXPECT_TRUE(v.ok);
    EXPECT_NE(v.message.find("named but read now (drop from the list): " + passed), std::string::npos) << v.message;
}

TEST_F(Blackbox, ListsFoldersAndReadsFloors) {
    EXPECT_EQ(ListCorpusFolders(dir_.path()), (std::vector<std::string>{"falsepositives-1", "other-1", "qrcode-1", "sets-1"}));
    EXPECT_TRUE(ListCorpusFolders(dir_.path() / "missing").empty());

    const fs::path file = dir_.path() / "floors.txt";
    WriteBytes(file, "# folder minimum\n\nqrcode-1 4   # raised\nother-1 0 misses: a.png b-*\n");
    std::vector<Floor> floors;
    std::string error;
    ASSERT_TRUE(ReadFloors(file, &floors, &error)) << error;
    ASSERT_EQ(floors.size(), 2u);
    EXPECT_EQ(floors[0].folder, "qrcode-1");
    EXPECT_EQ(floors[0].minimum, 4);
    EXPECT_EQ(floors[1].folder, "other-1");
    EXPECT_FALSE(floors[0].named);
    EXPECT_TRUE(floors[1].named);
    EXPECT_EQ(floors[1].misses, (std::vector<std::string>{"a.png", "b-*"}));

    struct Case {
        const char *text;
        const char *error;
    };
    const Case kBad[] = {
        {"qrcode-1\n", "floors.txt:1: expected FOLDER MINIMUM"},
        {"a 1\nqrcode-1 -1\n", "floors.txt:2: expected FOLDER MINIMUM"},
        {"qrcode-1 1 2\n", "floors.txt:1: expected FOLDER MINIMUM"},
        {"qrcode-1 x\n", "floors.txt:1: expected FOLDER MINIMUM"},
        {"a 1\n\na 2\n", "floors.txt:3: a named twice"},
    };
    for (const Case &c : kBad) {
        WriteBytes(file, c.text);
        EXPECT_FALSE(ReadFloors(file, &floors, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    EXPECT_FALSE(ReadFloors(dir_.path() / "none.txt", &floors, &error));
}

}  // namespace
}  // namespace testkit

namespace testkit {
namespace {

// A stand-in Set that records what it is asked and refuses one key.
std::vector<std::pair<uint32_t, uint32_t>> g_folderSets;
uint32_t g_refusedKey = 0;
int RecordingSet(uint32_t key, uint64_t value) {
    g_folderSets.emplace_back(key, static_cast<uint32_t>(value));
    return key == g_refusedKey ? 0 : 1;
}

std::vector<std::pair<uint32_t, uint32_t>> SetsFor(const std::string &folder, int *refused = nullptr) {
    g_folderSets.clear();
    DecoderApi api;
    api.set = &RecordingSet;
    const int r = ApplyFolderSettings(api, folder);
    if (refused != nullptr) *refused = r;
    return g_folderSets;
}

TEST(BlackboxFolderSettings, EachFolderGetsTheOptionsItsTextsAssume) {
    using Sets = std::vector<std::pair<uint32_t, uint32_t>>;
    // ISBN and ISSN off, the leading 0, both add-on lengths and the add-on required.
    EXPECT_EQ(SetsFor("upca-extension-1"), (Sets{{0x10700, VEXO_OFF}, {0x10600, VEXO_OFF}, {0x10904, VEXO_ON},
                                                 {0x10902, VEXO_ON}, {0x10903, VEXO_ON}, {0x10905, VEXO_ON}}));
    // The plain UPC-A folders read no add-on.
    EXPECT_EQ(SetsFor("upca-5"), (Sets{{0x10700, VEXO_OFF}, {0x10600, VEXO_OFF}, {0x10904, VEXO_ON}}));
    EXPECT_EQ(SetsFor("upce-3"), (Sets{{0x10805, VEXO_ON}}));
    EXPECT_EQ(SetsFor("rss14-1"), (Sets{{0x11A01, VEXO_ON}}));
    EXPECT_TRUE(SetsFor("qrcode-1").empty());
    EXPECT_TRUE(SetsFor("rssexpanded-1").empty());
    int refused = -1;
    g_refusedKey = 0x11403;
    EXPECT_EQ(SetsFor("code39-3", &refused).size(), 3u);
    EXPECT_EQ(refused, 1);
    g_refusedKey = 0;
}

TEST(BlackboxFolderSettings, Code32ReadsAreComparedWithTheirCheckDigit) {
    const NormalisationRule *rule = nullptr;
    for (const NormalisationRule &r : CorpusRules()) {
        if (std::string(r.folderPrefix) == "code39") rule = &r;
    }
    ASSERT_NE(rule, nullptr);
    struct Row {
        const char *read;
        const char *expected;
        const char *after;
    } rows[] = {
        {"A12345678", "A123456788", "A123456788"},  // 1+4+3+8+5+3+7+7 = 38: check digit 8
        {"A12345678", "A123456781", "A12345678"},   // a wrong check digit: the read stays
        {"ABC123", "ABC123", "ABC123"},             // plain Code 39 untouched
        {"A1234567X", "A1234567X8", "A1234567X"},
    };
    for (const Row &row : rows) {
        std::string expected = row.expected;
        DecodeResult read{true, 0x20, row.read, "]A0"};
        rule->apply(&expected, nullptr, &read);
        EXPECT_EQ(read.text, row.after) << row.read;
        EXPECT_EQ(expected, row.expected);
    }
}

}  // namespace
}  // namespace testkit
