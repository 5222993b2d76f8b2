// The MaxiCode data layer on built inputs: the code-set decoder's cases as one table, whole
// symbols through error correction and mode selection, the structured carrier message, the
// AIM modifier, and the module and placement tables.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "maxi_test_util.h"

namespace {

using maxitest::Decode;
using vexo::i32;
using vexo::u8;

class MaxiTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Test_ResetMaxiStatics();
    }
};

// A numeric shift: 31 and the value as five 6-bit codewords.
std::vector<int> Numeric(long long v) {
    std::vector<int> m{31};
    for (int k = 4; k >= 0; --k) m.push_back(static_cast<int>(v >> (6 * k) & 63));
    return m;
}

std::vector<int> Cat(std::vector<int> a, const std::vector<int> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SetCase {
    const char *name;
    std::vector<int> message;
    bool ok;
    std::string text;
    int appendPosition = 0;
    int appendCount = 0;
};

std::vector<SetCase> SetCases() {
    return {
        {"PAD PAD ends", {1, 33, 33, 2}, true, "A"},
        {"append 3 of 4", {1, 33, 19, 2}, true, "AB", 3, 4},
        {"append position 8 fails", {1, 33, 59, 2}, false, ""},
        {"append count 8 fails", {1, 33, 7, 2}, false, ""},
        {"PAD last reads 1 of 1", {1, 33}, true, "A", 1, 1},
        {"NS 999,999,999", Numeric(999999999), true, "999999999"},
        {"NS 5", Cat(Numeric(5), {1}), true, "000000005A"},
        {"NS 1,000,000,000 fails", Numeric(1000000000), false, ""},
        {"NS cut short reads zeros", {31, 0, 0, 0, 1}, true, "000000064"},
        {"ECI 3", {27, 3, 1}, true, "\\000003A"},
        {"ECI 33 2", {27, 33, 2}, true, "\\000066"},
        {"ECI four codewords", {27, 59, 63, 63, 63}, false, ""},  // 1,048,575 > 999,999
        {"ECI 123,456", {27, 56 | 0, 30, 9, 0}, true, "\\123456"},
        {"ECI designator 60 fails", {27, 60, 1}, false, ""},
        {"ECI past the end fails", {27, 33}, false, ""},
        {"ECI without designator fails", {1, 27}, false, ""},
        {"lock C, latch A", {60, 60, 1, 2, 3, 4, 5, 58, 1}, true, "\xC1\xC2\xC3\xC4\xC5" "A"},
        {"latch A inside lock run fails", {60, 60, 1, 2, 3, 58, 1}, false, ""},
        {"latch B run, latch A", {1, 63, 1, 2, 63, 1}, true, "AabA"},
        {"latch A inside latch B run fails", {1, 63, 1, 63, 1}, false, ""},
        {"B 43 is one backslash", {63, 43, 43, 43}, true, "\\\\\\"},
        {"2 Shift A", {63, 1, 1, 56, 1, 2, 1}, true, "aaABa"},
        {"3 Shift A", {63, 1, 1, 57, 1, 2, 3, 1}, true, "aaABCa"},
        {"2 Shift A meets PAD", {63, 1, 1, 56, 1, 33, 5}, true, "aaA"},
        {"2 Shift A meets Shift B fails", {63, 1, 1, 56, 59}, false, ""},
        {"Shift A from B", {63, 1, 1, 59, 26, 2}, true, "aaZb"},
        {"shift B from A", {1, 59, 2, 2}, true, "AbB"},
        {"shift B meets B PAD 55", {1, 59, 55, 2}, true, "A"},
        {"shift last writes nothing", {1, 59}, true, "A"},
        {"lock last writes nothing", {1, 60, 60}, true, "A"},
        {"latch last writes nothing", {1, 63}, true, "A"},
        {"latch A from E last writes nothing", {62, 62, 1, 2, 3, 4, 58}, true, "\x01\x02\x03\x04"},
        {"B PAD 33 ends", {63, 1, 1, 33, 1}, true, "aa"},
        {"B PAD 55 ends", {63, 1, 1, 55, 1}, true, "aa"},
        {"B PAD 58 ends", {63, 1, 1, 58, 1}, true, "aa"},
        {"A: Shift E then 28 ends", {1, 62, 28, 5}, true, "A"},
        {"A: 28 in a lock into E fails", {62, 62, 1, 28}, false, ""},
        {"B: Shift E then 28 ends", {63, 1, 1, 62, 28, 1}, true, "aa"},
        {"B: 29 in a lock into E ends", {63, 1, 1, 62, 62, 1, 29, 5}, true, "aa\x01"},
        {"E current: 28 ends", {62, 62, 1, 2, 3, 4, 28, 5}, true, "\x01\x02\x03\x04"},
        {"E lock run from E: 29 ends", {62, 62, 1, 2, 3, 4, 62, 62, 5, 29, 1}, true, "\x01\x02\x03\x04\x05"},
        {"C: Shift E then 28 ends", {60, 60, 1, 2, 3, 4, 62, 28, 1}, true, "\xC1\xC2\xC3\xC4"},
        {"C's lock value shifts within C", {60, 60, 1, 2, 3, 4, 60, 5, 6}, true, "\xC1\xC2\xC3\xC4\xC5\xC6"},
        {"C: latch B takes one", {60, 60, 1, 2, 3, 4, 63, 1, 2}, true, "\xC1\xC2\xC3\xC4" "ab"},
        {"C: lock D runs two", {60, 60, 1, 2, 3, 4, 61, 61, 1, 2, 3}, true, "\xC1\xC2\xC3\xC4\xE1\xE2\xE3"},
        {"D: 61 61 from D, run of two", {61, 61, 1, 2, 3, 4, 61, 61, 5, 6, 58, 1}, true, "\xE1\xE2\xE3\xE4\xE5\xE6" "A"},
        {"shift into D then function fails", {61, 27}, false, ""},
        {"ECI then NS in set B", Cat({63, 1, 1, 27, 3}, Numeric(12)), true, "aa\\000003000000012"},
        {"spaces of C, D and E", {60, 59, 61, 59, 62, 59}, true, "   "},
        {"FS GS RS in A; ESC in E", {28, 29, 30, 62, 30}, true, "\x1C\x1D\x1E\x1B"},
    };
}

TEST_F(MaxiTest, CodeSetCases) {
    for (const SetCase &c : SetCases()) {
        SCOPED_TRACE(c.name);
        vexo::Test_ResetMaxiStatics();
        std::vector<u8> m(c.message.begin(), c.message.end());
        std::vector<u8> text(vexo::kMaxiTextBufferBytes, 0);
        i32 length = -1;
        const i32 ok = vexo::Maxi_DecodeCodeSets(m.data(), static_cast<i32>(m.size()), text.data(), &length);
        ASSERT_EQ(ok, c.ok ? 1 : 0);
        if (!c.ok) {
            EXPECT_EQ(length, -1);
            continue;
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(text.data()), static_cast<size_t>(length)), c.text);
        EXPECT_EQ(vexo::g_maxiState.appendPosition, c.appendPosition);
        EXPECT_EQ(vexo::g_maxiState.appendCount, c.appendCount);
    }
}

// The function values of each set, and the characters the table's checks name.
TEST_F(MaxiTest, CodeSetFunctionValues) {
    const std::vector<std::vector<int>> functions = {
        {27, 31, 33, 59, 60, 61, 62, 63},
        {27, 31, 33, 55, 56, 57, 58, 59, 60, 61, 62, 63},
        {27, 31, 58, 60, 61, 62, 63},
        {27, 31, 58, 60, 61, 62, 63},
        {27, 28, 29, 31, 58, 60, 61, 62, 63},
    };
    std::set<int> bytes;
    for (int s = 0; s < 5; ++s) {
        const std::set<int> f(functions[static_cast<size_t>(s)].begin(), functions[static_cast<size_t>(s)].end());
        for (int v = 0; v < 64; ++v) {
            EXPECT_EQ(vexo::kMaxiCodeSets[s][v] < 0, f.count(v) == 1) << "set " << s << " value " << v;
            if (vexo::kMaxiCodeSets[s][v] >= 0) bytes.insert(vexo::kMaxiCodeSets[s][v]);
        }
    }
    // Together the sets write every byte.
    EXPECT_EQ(bytes.size(), 256u);
    EXPECT_EQ(vexo::kMaxiCodeSets[0][0], 13);
    EXPECT_EQ(vexo::kMaxiCodeSets[1][43], '\\');
    EXPECT_EQ(vexo::kMaxiCodeSets[4][28], -1);
    EXPECT_EQ(vexo::kMaxiCodeSets[4][29], -1);
}

TEST_F(MaxiTest, FormatDigits) {
    char out[13] = {};
    vexo::Maxi_FormatDigits(out, 1234, 5);
    EXPECT_EQ(std::string(out, 5), "01234");
    vexo::Maxi_FormatDigits(out, 1023, 3);
    EXPECT_EQ(std::string(out, 3), "102");
    vexo::Maxi_FormatDigits(out, 1073741823, 12);
    EXPECT_EQ(std::string(out, 12), "001073741823");
    vexo::Maxi_FormatDigits(out, 0, 3);
    EXPECT_EQ(std::string(out, 3), "000");
}

// Message codewords of a string of capitals and spaces in set A.
std::vector<int> Letters(const std::string &s) {
    std::vector<int> m;
    for (char ch : s) m.push_back(ch == ' ' ? 32 : ch - 'A' + 1);
    return m;
}

TEST_F(MaxiTest, ModeSelection) {
    struct ModeCase {
        int first;
        int status;
        u8 aim;
    };
    for (const ModeCase &c : std::vector<ModeCase>{{4, 0, '0'}, {5, 0, '0'}, {6, 0, 0}, {20, -2, '0'}, {1, -2, '0'}, {7, -2, '0'}}) {
        SCOPED_TRACE(c.first);
        vexo::Test_ResetMaxiStatics();
        std::vector<int> message = Letters("HELLO WORLD");
        std::vector<int> primary{c.first};
        primary.insert(primary.end(), message.begin(), message.begin() + 9);
        std::vector<int> sec(message.begin() + 9, message.end());
        sec.resize(c.first == 5 ? 68 : 84, 33);
        const auto d = Decode(maxitest::BuildSymbol(primary, sec));
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(vexo::g_maxiState.aimModifier, c.aim);
        if (c.status == 0) {
            EXPECT_EQ(d.text, "HELLO WORLD");
        }
    }
    // 34: mode 2 with the top bits of codeword 0 set (postal number 2).
    const auto d = Decode(maxitest::CarrierSymbol(maxitest::CarrierPrimary(2, 2, 1, 840, 1), Letters("AB")));
    EXPECT_EQ(maxitest::CarrierPrimary(2, 2, 1, 840, 1)[0], 34);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.text, "2\x1D" "840\x1D" "001\x1D" "AB");
}

TEST_F(MaxiTest, CountOtherThan144LeavesTextAlone) {
    std::vector<int> cw = maxitest::MessageSymbol(4, Letters("ABC"));
    cw.pop_back();
    const auto d = Decode(cw);
    EXPECT_EQ(d.status, -4);
    EXPECT_EQ(d.length, -7);
    for (u8 b : d.buffer) ASSERT_EQ(b, 0xA5);
}

// Errors at spread positions of a block: the correctable count corrects, one more fails (the
// code's distance keeps one more from ever correcting to another codeword).
TEST_F(MaxiTest, ErrorCorrectionLimits) {
    const std::vector<int> message = Letters("THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG");
    for (int mode : {4, 5}) {
        const std::vector<int> clean = maxitest::MessageSymbol(mode, message);
        const int secondaryLimit = mode == 5 ? 13 : 9;
        struct Damage {
            const char *what;
            int block;  // -1 primary, 0/1 secondary block, 2 both secondary blocks
            int errors;
            int status;
        };
        const std::vector<Damage> cases = {
            {"primary 4", -1, 4, 0},
            {"primary 5", -1, 5, 1},
            {"primary 6", -1, 6, 1},
            {"block 1 at limit", 0, secondaryLimit, 0},
            {"both blocks at limit", 2, secondaryLimit, 0},
            {"block 1 one more", 0, secondaryLimit + 1, 1},
            {"block 2 one more", 1, secondaryLimit + 1, 1},
        };
        for (const Damage &c : cases) {
            for (int seed = 0; seed < 4; ++seed) {
                SCOPED_TRACE(std::string(c.what) + " mode " + std::to_string(mode) + " seed " + std::to_string(seed));
                std::vector<int> cw = clean;
                for (int e = 0; e < c.errors; ++e) {
                    if (c.block < 0) {
                        const int i = (e * 3 + seed) % 20;
                        cw[static_cast<size_t>(i)] ^= 1 + (e + seed) % 63;
                    } else {
                        for (int b = 0; b < 2; ++b) {
                            if (c.block != 2 && c.block != b) continue;
                            const int i = (e * 5 + seed) % 62;
                            cw[static_cast<size_t>(20 + 2 * i + b)] ^= 1 + (e * 7 + seed) % 63;
                        }
                    }
                }
                const auto d = Decode(cw);
                EXPECT_EQ(d.status, c.status);
                if (c.status == 0) {
                    EXPECT_EQ(d.text, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG");
                }
            }
        }
    }
    // Values outside 0..63 read as 0: an error like any other.
    std::vector<int> cw = maxitest::MessageSymbol(4, message);
    cw[30] = 1000;
    cw[3] = -5;
    EXPECT_EQ(Decode(cw).text, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG");
}

struct CarrierCase {
    const char *name;
    std::vector<int> primary;
    std::vector<int> message;
    int status;
    std::string text;
};

TEST_F(MaxiTest, CarrierMessage) {
    using maxitest::CarrierPrimary;
    using maxitest::PostalChars;
    const std::vector<int> header = {30 /* unused */};
    // "[)>" RS "01" GS "96": [ ) > in set B/A: '[' is B 42, ')' A 41, '>' B 40.
    const std::vector<int> hdr = {59, 42, 41, 59, 40, 30, 48, 49, 29, 57, 54};
    const std::vector<CarrierCase> cases = {
        {"mode 2 postal 1234 length 5", CarrierPrimary(2, 1234, 5, 840, 1), Letters("AB"), 0, "01234\x1D" "840\x1D" "001\x1D" "AB"},
        {"mode 3 A B and spaces", CarrierPrimary(3, PostalChars({1, 2, 32, 32, 32, 32}), 0, 276, 999), Letters("X"), 0,
         "AB\x1D" "276\x1D" "999\x1D" "X"},
        {"mode 3 six characters", CarrierPrimary(3, PostalChars({1, 2, 48, 49, 26, 3}), 0, 1, 2), {}, 0,
         "AB01ZC\x1D" "001\x1D" "002\x1D"},
        {"mode 3 space then letter", CarrierPrimary(3, PostalChars({1, 32, 2, 2, 2, 2}), 0, 1, 2), {}, 0,
         "A\x1D" "001\x1D" "002\x1D"},
        {"mode 3 function value", CarrierPrimary(3, PostalChars({1, 33, 2, 2, 2, 2}), 0, 1, 2), {}, -3, ""},
        {"service 1,000", CarrierPrimary(2, 1, 1, 1, 1000), {}, -3, ""},
        {"country 1,023", CarrierPrimary(2, 1, 1, 1023, 5), {}, 0, "1\x1D" "102\x1D" "005\x1D"},
        {"postal length 12", CarrierPrimary(2, 1073741823, 12, 1, 1), {}, 0, "001073741823\x1D" "001\x1D" "001\x1D"},
        {"postal length 13", CarrierPrimary(2, 1, 13, 1, 1), {}, -3, ""},
        {"header: fields after byte 9", CarrierPrimary(2, 1234, 5, 840, 1), Cat(hdr, Letters("AB")), 0,
         std::string("[)>\x1E" "01\x1D" "96") + "01234\x1D" "840\x1D" "001\x1D" "AB"},
        {"7-byte header text", CarrierPrimary(2, 7, 1, 840, 1), std::vector<int>(hdr.begin(), hdr.begin() + 9), 0,
         std::string("[)>\x1E" "01\x1D") + "7\x1D" "840\x1D" "001\x1D"},
        {"8-byte header text", CarrierPrimary(2, 7, 1, 840, 1), std::vector<int>(hdr.begin(), hdr.begin() + 10), 0,
         std::string("[)>\x1E" "01\x1D" "9") + "7\x1D" "840\x1D" "001\x1D"},
    };
    (void)header;
    for (const CarrierCase &c : cases) {
        SCOPED_TRACE(c.name);
        vexo::Test_ResetMaxiStatics();
        const auto d = Decode(maxitest::CarrierSymbol(c.primary, c.message));
        EXPECT_EQ(d.status, c.status);
        if (c.status == 0) {
            EXPECT_EQ(d.text, c.text);
            EXPECT_EQ(vexo::g_maxiState.aimModifier, '1');
        } else {
            EXPECT_EQ(vexo::g_maxiState.aimModifier, '0');
            EXPECT_EQ(d.length, -7);
        }
    }
}

// Modes 4 to 6 keep a text that begins with the header as it is.
TEST_F(MaxiTest, CarrierOnlyInModes2And3) {
    const std::vector<int> hdr = {59, 42, 41, 59, 40, 30, 48, 49, 29, 57, 54, 1};
    for (int mode : {4, 5, 6}) {
        EXPECT_EQ(Decode(maxitest::MessageSymbol(mode, hdr)).text, "[)>\x1E" "01\x1D" "96A") << mode;
    }
}

// 42 ECI escapes make 294 bytes, too long for the insertion: refused, nothing written past
// the buffer, the modifier unchanged.
TEST_F(MaxiTest, CarrierTextTooLongIsRefused) {
    std::vector<int> eci;
    for (int i = 0; i < 42; ++i) eci.insert(eci.end(), {27, 3});
    vexo::Test_ResetMaxiStatics();
    // A success first, so that the modifier has a value to keep.
    ASSERT_EQ(Decode(maxitest::MessageSymbol(4, {27, 3, 1})).status, 0);
    ASSERT_EQ(vexo::g_maxiState.aimModifier, '2');
    const auto d = Decode(maxitest::CarrierSymbol(maxitest::CarrierPrimary(2, 1, 1, 1, 1), eci));
    EXPECT_EQ(d.status, -3);
    EXPECT_EQ(d.length, -7);
    EXPECT_TRUE(maxitest::GuardIntact(d));
    EXPECT_EQ(vexo::g_maxiState.aimModifier, '2');
    // 34 escapes (238 bytes) with a 5-digit postal code make 252 bytes: accepted.
    eci.resize(68);
    const auto fits = Decode(maxitest::CarrierSymbol(maxitest::CarrierPrimary(2, 1, 5, 1, 1), eci));
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.text.size(), 252u);
    EXPECT_EQ(vexo::g_maxiState.aimModifier, '3');
    // 35 escapes (245 bytes) + 5 + 9 = 259: refused.
    eci.resize(70, 3);
    eci[68] = 27;
    EXPECT_EQ(Decode(maxitest::CarrierSymbol(maxitest::CarrierPrimary(2, 1, 5, 1, 1), eci)).status, -3);
}

TEST_F(MaxiTest, AimModifier) {
    struct AimCase {
        std::vector<int> cw;
        u8 aim;
    };
    const std::vector<int> eci = {27, 3, 1};
    const std::vector<AimCase> cases = {
        {maxitest::CarrierSymbol(maxitest::CarrierPrimary(2, 1, 1, 1, 1), Letters("A")), '1'},
        {maxitest::CarrierSymbol(maxitest::CarrierPrimary(3, 1, 0, 1, 1), eci), '3'},
        {maxitest::MessageSymbol(4, Letters("A")), '0'},
        {maxitest::MessageSymbol(5, eci), '2'},
        {maxitest::MessageSymbol(4, eci), '2'},
        {maxitest::MessageSymbol(6, Letters("A")), 0},
    };
    for (const AimCase &c : cases) {
        vexo::g_maxiState.aimModifier = 'x';
        EXPECT_EQ(Decode(c.cw).status, 0);
        EXPECT_EQ(vexo::g_maxiState.aimModifier, c.aim);
    }
    // Failed calls of each kind leave the last modifier.
    std::vector<int> broken = maxitest::MessageSymbol(4, Letters("A"));
    for (int i = 0; i < 6; ++i) broken[static_cast<size_t>(i)] ^= 9;
    EXPECT_EQ(Decode(broken).status, 1);
    EXPECT_EQ(Decode(maxitest::MessageSymbol(4, {27, 60})).status, -1);
    EXPECT_EQ(vexo::g_maxiState.aimModifier, 0);
}

TEST_F(MaxiTest, AppendRecord) {
    EXPECT_EQ(Decode(maxitest::MessageSymbol(4, {33, 1 << 3 | 2, 1})).text, "A");
    EXPECT_EQ(vexo::g_maxiState.append.position, 2);
    EXPECT_EQ(vexo::g_maxiState.append.count, 3);
    EXPECT_EQ(vexo::g_maxiState.append.present, 1);
    // A set of 8 is refused and leaves the record.
    EXPECT_EQ(Decode(maxitest::MessageSymbol(4, {33, 7 << 3 | 7, 1})).status, -1);
    EXPECT_EQ(vexo::g_maxiState.append.count, 3);
    // A symbol without indicator leaves the record too; nothing clears it here.
    EXPECT_EQ(Decode(maxitest::MessageSymbol(4, {1})).status, 0);
    EXPECT_EQ(vexo::g_maxiState.append.present, 1);
}

TEST_F(MaxiTest, ModuleTable) {
    const auto &t = vexo::kMaxiModuleTable;
    EXPECT_EQ(t.size(), 882u);
    EXPECT_EQ(vexo::Maxi_ModuleRow(440), 16);
    EXPECT_EQ(vexo::Maxi_ModuleCol(440), 20);
    EXPECT_EQ(t[440].x, 1804);
    EXPECT_EQ(t[440].y, 1267);
    EXPECT_EQ(t[460].x, 1848);
    EXPECT_EQ(t[460].y, 1343);
    // The orientation modules of the reading side at their (row, column).
    const int orientation[18][3] = {{440, 16, 20}, {441, 16, 21}, {460, 17, 20}, {574, 22, 17}, {603, 23, 16}, {604, 23, 17},
                                    {567, 22, 10}, {568, 22, 11}, {597, 23, 10}, {419, 15, 7},  {438, 16, 7},  {439, 16, 8},
                                    {274, 9, 10},  {275, 9, 11},  {304, 10, 11}, {281, 9, 17},  {310, 10, 17}, {311, 10, 18}};
    for (const auto &o : orientation) {
        EXPECT_EQ(vexo::Maxi_ModuleRow(o[0]), o[1]) << o[0];
        EXPECT_EQ(vexo::Maxi_ModuleCol(o[0]), o[2]) << o[0];
        EXPECT_EQ(vexo::kMaxiBitGrid[o[1]][o[2]], -2) << o[0];
    }
    // Strictly in reading order, and every grid position is a module exactly when the grid
    // gives it a bit or marks it as orientation.
    int n = 0;
    for (int r = 0; r < 33; ++r) {
        for (int c = 0; c < 30; ++c) {
            const bool inTable = vexo::Maxi_IsTableModule(r, c) != 0;
            EXPECT_EQ(inTable, vexo::kMaxiBitGrid[r][c] != -1) << r << "," << c;
            if (!inTable) continue;
            EXPECT_EQ(t[static_cast<size_t>(n)].y, 51 + 76 * r);
            EXPECT_EQ(t[static_cast<size_t>(n)].x, (r & 1 ? 88 : 44) + 88 * c);
            ++n;
        }
    }
    EXPECT_EQ(n, 882);
}

TEST_F(MaxiTest, PlacementTable) {
    const auto &p = vexo::kMaxiPlacement;
    const std::vector<std::pair<int, std::vector<int>>> telling = {
        {0, {421, 459, 280, 309, 335, 334}},
        {1, {570, 569, 600, 599, 545, 573}},
        {20, {1, 0, 29, 28, 58, 57}},
        {143, {792, 822, 821, 851, 881, 880}},
    };
    for (const auto &[c, modules] : telling) {
        for (int k = 0; k < 6; ++k) EXPECT_EQ(p[static_cast<size_t>(c)][static_cast<size_t>(k)], modules[static_cast<size_t>(k)]) << c << "/" << k;
    }
    for (int c = 0; c < 28; ++c) EXPECT_EQ(vexo::kMaxiBitGrid[0][c], 120 + 6 * (c / 2) + (c & 1 ? 0 : 1)) << c;
    // Rebuilt from the grid: every data module once, no orientation module.
    std::vector<int> uses(882, 0);
    for (int c = 0; c < 144; ++c) {
        for (int k = 0; k < 6; ++k) {
            const int m = p[static_cast<size_t>(c)][static_cast<size_t>(k)];
            ASSERT_LT(m, 882);
            ++uses[static_cast<size_t>(m)];
            EXPECT_EQ(vexo::kMaxiBitGrid[vexo::Maxi_ModuleRow(m)][vexo::Maxi_ModuleCol(m)], 6 * c + k);
        }
    }
    int orientationUsed = 0, data = 0;
    for (int m = 0; m < 882; ++m) {
        const bool orientation = vexo::kMaxiBitGrid[vexo::Maxi_ModuleRow(m)][vexo::Maxi_ModuleCol(m)] == -2;
        if (orientation) orientationUsed += uses[static_cast<size_t>(m)];
        else EXPECT_EQ(uses[static_cast<size_t>(m)], 1) << m;
        data += orientation ? 0 : 1;
    }
    EXPECT_EQ(orientationUsed, 0);
    EXPECT_EQ(data, 864);
}

TEST_F(MaxiTest, AssembleCodewords) {
    std::vector<u8> bits(882, 0);
    // Codeword 0 = 0b101101 from its modules; codeword 143 = 1 from its last module.
    const int pattern[6] = {1, 0, 1, 1, 0, 1};
    for (int k = 0; k < 6; ++k) bits[vexo::kMaxiPlacement[0][static_cast<size_t>(k)]] = static_cast<u8>(pattern[k]);
    bits[880] = 1;
    bits[440] = 1;  // orientation: no codeword
    std::vector<i32> cw(144, -1);
    EXPECT_EQ(vexo::Maxi_AssembleCodewords(bits.data(), cw.data()), 144);
    EXPECT_EQ(cw[0], 45);
    EXPECT_EQ(cw[143], 1);
    for (int c = 1; c < 143; ++c) EXPECT_EQ(cw[static_cast<size_t>(c)], 0) << c;
}

}  // namespace
