// ECC 200 encodation on codeword vectors: every scheme's edge cases as one table, the text
// capacity, the codeword dump and its limits, the character maps and the routines no decode
// path calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dm_test_util.h"

namespace {

using dmtest::DmTest;

// A C40, Text or X12 pair of three values.
std::vector<int> Pair(int v1, int v2, int v3) {
    const int v = 1600 * v1 + 40 * v2 + v3 + 1;
    return {v / 256, v % 256};
}

// Base 256 codeword of the value at codeword position p (counted from 1).
int Randomised255(int value, int p) { return (value + ((149 * p) % 255) + 1) % 256; }

std::vector<int> Cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const std::vector<int> &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Case {
    const char *name;
    std::vector<int> codewords;
    int status;
    std::string text;
    char aim = '1';
    bool leadingPad = false;
};

class Encodation : public DmTest {};

TEST_F(Encodation, EdgeCasesOfEverySchemeAsATable) {
    const std::vector<int> b256Open = {231, Randomised255(0, 2), Randomised255('x', 3), Randomised255(0xFF, 4)};
    const Case cases[] = {
        {"ASCII to a pad", {66, 67, 68, 129, 66}, 0, "ABC"},
        {"digit pair", {142}, 0, "12"},
        {"digit pair 00", {130}, 0, "00"},
        {"upper shift", {235, 66}, 0, "\xC1"},
        {"unlatch in ASCII is skipped", {254, 66}, 0, "A"},
        {"macro 05", {236, 66, 67, 129}, 0, "[)>\x1E" "05\x1D" "AB\x1E\x04"},
        {"macro 06", {237, 142}, 0, "[)>\x1E" "06\x1D" "12\x1E\x04"},
        {"macro after a leading pad", {129, 236, 66}, -1000, "", '1', true},
        {"leading pad refused", {129, 236, 66}, 20, ""},
        {"leading pad accepted", {129, 66}, 0, "A", '1', true},
        {"reader programming", {234, 66}, 0, "A"},
        {"reader programming after a leading pad", {129, 234, 66}, -1000, "", '1', true},
        {"C40 latch before a single last codeword", {230, 66}, 0, "A"},
        {"C40 basic, then ASCII", Cat({{230}, Pair(14, 15, 3), Pair(4, 13, 16), {254, 67}}), 0, "AB 09CB"},
        {"C40 shifts 1-3", Cat({{230}, Pair(0, 10, 1), Pair(14, 2, 0)}), 0, "\x0A" "/`"},
        {"C40 upper shift", Cat({{230}, Pair(1, 30, 14), Pair(1, 30, 1), Pair(0, 3, 3)}), 0, "\xC1\xA1  "},
        {"C40 shift as the last value", Cat({{230}, Pair(14, 15, 2)}), 0, "AB"},
        {"C40 value outside the set", Cat({{230}, Pair(40, 3, 3)}), 0, "\xFF  "},
        {"Text basic and shift 3", Cat({{239}, Pair(14, 2, 1), Pair(39, 3, 4)}), 0, "aAz 0"},
        {"Text upper shift", Cat({{239}, Pair(1, 30, 2), Pair(1, 3, 3)}), 0, "\xC1  "},
        {"Text shift state ends with the segment", Cat({{239}, Pair(14, 14, 0), {254, 239}, Pair(14, 3, 3)}), 0,
         "aa" "a  "},
        {"Text with one codeword left", {239, 66}, 0, "A"},
        {"X12", Cat({{238}, Pair(0, 1, 2), Pair(3, 13, 39), {254, 66}}), 0, "\r*> 9ZA"},
        {"EDIFACT unlatch in the first value", {240, 124, 66, 67}, 0, "AB"},
        {"EDIFACT unlatch in the second value", {240, 0x05, 0xF0, 67}, 0, "AB"},
        {"EDIFACT unlatch in the third value", {240, 0x04, 0x27, 0xC0, 66}, 0, "ABA"},
        {"EDIFACT unlatch in the fourth value", {240, 0x04, 0x20, 0xDF, 66}, 0, "ABCA"},
        {"EDIFACT without room for a triple", {240, 66, 67}, 0, "AB"},
        {"Base 256 of length 0 runs to the end", b256Open, 0, "x\xFF"},
        {"Base 256 of length 1, then ASCII", {231, Randomised255(1, 2), Randomised255('q', 3), 66}, 0, "qA"},
        {"Base 256 longer than the data", {231, Randomised255(9, 2), Randomised255('q', 3)}, 0, "q"},
        {"ECI 0", {241, 1}, 0, "\\000000", '4'},
        {"ECI 127", {241, 128, 1}, 0, "\\000127", '4'},
        {"ECI 16383", {241, 192, 1, 1, 66}, 0, "\\016383A", '4'},
        {"ECI 999999", {241, 207, 63, 129}, 0, "\\999999", '4'},
        {"ECI 1000000", {241, 207, 63, 130}, 20, "", '1'},
        {"ECI designator 208 and up", {241, 208}, 0, "\\00000078", '4'},
        {"FNC1 first", {232, 66}, 0, "A", '2'},
        {"FNC1 later", {66, 232, 67}, 0, "A\x1D" "B"},
        {"FNC1 first with ECI", {232, 241, 27, 66}, 0, "\\000026A", '5'},
        {"ECI before FNC1", {241, 27, 232, 66}, 0, "\\000026\x1D" "A", '4'},
        {"FNC1 then a structured-append header", {66, 232, 233, 67}, 0, "A\x1D" "B"},
        {"structured append", {233, 0x1E, 1, 2, 66}, 0, "A"},
        {"first of a sequence: FNC1 at index 4", {233, 0x0E, 1, 2, 232, 66}, 0, "A", '2'},
        {"first of a sequence: FNC1 at index 5", {233, 0x0E, 1, 2, 66, 232, 67}, 0, "AB", '2'},
        {"second of a sequence: FNC1 at index 4 is GS", {233, 0x1E, 1, 2, 232, 66}, 0, "\x1D" "A"},
        {"invalid 0", {66, 0}, 20, "A"},
        {"invalid 242", {242}, 20, ""},
        {"invalid 255", {255}, 20, ""},
        {"macro inside", {66, 236}, 20, "A"},
        {"structured append inside", {66, 233, 1, 1, 1}, 20, "A"},
        {"reader programming inside", {66, 234}, 20, "A"},
        {"a pad alone is a leading pad", {129}, 20, ""},
        {"nothing after a leading pad", {129}, 0, "", '1', true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        vexo::g_dmOptions.acceptLeadingPad = c.leadingPad ? 1 : 0;
        vexo::g_dmSaInfo = vexo::DM_SA_INFO{};
        vexo::g_dmData.aimModifier = '1';
        const dmtest::Decoded d = dmtest::DecodeCodewords(c.codewords);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.text, c.text);
        if (c.status == 0) {
            EXPECT_EQ(dmtest::Aim(), c.aim);
        }
    }
}

TEST_F(Encodation, StructuredAppendHeader) {
    dmtest::DecodeCodewords({233, 0x1E, 1, 2, 66});
    EXPECT_EQ(vexo::DM_HasSa(), 1);
    EXPECT_EQ(vexo::DM_GetSaPosition(), 1);
    EXPECT_EQ(vexo::DM_GetSaTotal(), 3);
    EXPECT_EQ(vexo::DM_GetSaFileId(0), 1);
    EXPECT_EQ(vexo::DM_GetSaFileId(1), 2);
    EXPECT_EQ(vexo::DM_GetSaFileId(2), 0);
    EXPECT_EQ(vexo::DM_GetSaFileId(-1), 0);
}

// A 144 x 144 symbol's 1,558 data codewords of ECI designators would write 5,453 bytes.
TEST_F(Encodation, TextNeverPassesItsCapacity) {
    std::vector<int> eci;
    for (int i = 0; i < 1558 / 2; ++i) {
        eci.push_back(241);
        eci.push_back(1);
    }
    std::memset(vexo::g_dmResult.text, 0xA5, sizeof vexo::g_dmResult.text);
    const dmtest::Decoded d = dmtest::DecodeCodewords(eci, 1558);
    EXPECT_EQ(d.status, 20);
    EXPECT_LE(d.text.size(), 3223u);
    EXPECT_EQ(d.text.size(), 3223u / 7 * 7);  // whole designators only
    for (int i = vexo::g_dmResult.length; i < vexo::kDmTextBytes; ++i) {
        if (i >= vexo::kDmTextClearBytes) {
            EXPECT_EQ(vexo::g_dmResult.text[i], 0xA5) << "byte " << i;
        }
    }
    // The same through a whole symbol.
    const dmtest::Decoded whole = dmtest::DecodeSize(vexo::kDmSize144, dmtest::SymbolMatrix(vexo::kDmSize144, eci));
    EXPECT_EQ(whole.status, 20);
    EXPECT_EQ(whole.text.size(), 3223u / 7 * 7);
    // Every scheme's append stops at the limit: digit pairs, C40, Base 256 and EDIFACT.
    struct Fill {
        const char *name;
        std::vector<int> head;
        std::vector<int> unit;
    };
    const Fill fills[] = {
        {"macro and digit pairs", {236}, {229}},
        {"C40", {230}, Pair(14, 14, 14)},
        {"upper shift", {}, {235, 66}},
    };
    for (const Fill &f : fills) {
        std::vector<int> cw = f.head;
        while (cw.size() < 2170) cw.insert(cw.end(), f.unit.begin(), f.unit.end());
        cw.resize(2170);
        const dmtest::Decoded e = dmtest::DecodeCodewords(cw, 2170);
        EXPECT_LE(e.text.size(), 3223u) << f.name;
    }
}

TEST_F(Encodation, CodewordDumpAndItsLimits) {
    vexo::g_dmOptions.codewordDump = 1;
    // Stopped at a pad followed by another codeword: every data codeword in decimal.
    EXPECT_EQ(dmtest::DecodeCodewords({66, 67, 129, 50, 7}).text, "AB 66 67 129 50 7");
    // A pad followed by a pad, a message that ran to the end, or more than 499 data codewords.
    EXPECT_EQ(dmtest::DecodeCodewords({66, 129, 129}).text, "A");
    EXPECT_EQ(dmtest::DecodeCodewords({66, 67}).text, "AB");
    std::vector<int> big(500, 66);
    big[1] = 129;
    big[2] = 50;
    EXPECT_EQ(dmtest::DecodeCodewords(big).text, "A");
    big.resize(499);
    EXPECT_EQ(dmtest::DecodeCodewords(big).text.size(), 1 + 3 + 4 + 3 + 496 * 3u);
    // The dump stops after the codeword that takes the text above 3,095 bytes.
    std::vector<int> eci;
    while (eci.size() < 454) eci.insert(eci.end(), {241, 100});
    eci.insert(eci.end(), {129, 50});
    std::string expected;
    for (int i = 0; i < 227; ++i) expected += "\\000099";
    for (size_t i = 0; i < eci.size() && expected.size() <= 3095; ++i) {
        expected.push_back(' ');
        expected.append(std::to_string(eci[i]));
    }
    const dmtest::Decoded d = dmtest::DecodeCodewords(eci);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.text, expected);
    EXPECT_GT(d.text.size(), 3095u);
    // Off without the option.
    vexo::g_dmOptions.codewordDump = 0;
    EXPECT_EQ(dmtest::DecodeCodewords({66, 67, 129, 50, 7}).text, "AB");
}

TEST_F(Encodation, CharacterMaps) {
    struct Row {
        int value;
        int c40[4];
        int text[4];
        int x12;
    };
    const Row rows[] = {
        {0, {255, 0, 33, 96}, {255, 0, 33, 96}, 13},
        {3, {' ', 3, 36, 99}, {' ', 3, 36, 'C'}, ' '},
        {13, {'9', 13, 46, 109}, {'9', 13, 46, 'M'}, '9'},
        {14, {'A', 14, 47, 110}, {'a', 14, 47, 'N'}, 'A'},
        {15, {'B', 15, 58, 111}, {'b', 15, 58, 'O'}, 'B'},
        {22, {'I', 22, 91, 118}, {'i', 22, 91, 'V'}, 'I'},
        {27, {'N', 27, 29, 123}, {'n', 27, 29, '{'}, 'N'},
        {30, {'Q', 30, 255, 126}, {'q', 30, 255, '~'}, 'Q'},
        {31, {'R', 31, 255, 127}, {'r', 31, 255, 127}, 'R'},
        {39, {'Z', 255, 255, 255}, {'z', 255, 255, 255}, 'Z'},
        {40, {255, 255, 255, 255}, {255, 255, 255, 255}, 255},
    };
    for (const Row &r : rows) {
        for (int set = 0; set < 4; ++set) {
            EXPECT_EQ(vexo::DM_C40Char(r.value, set), r.c40[set]) << r.value << " set " << set;
            EXPECT_EQ(vexo::DM_TextChar(r.value, set), r.text[set]) << r.value << " set " << set;
        }
        EXPECT_EQ(vexo::DM_X12Char(r.value), r.x12) << r.value;
    }
}

TEST_F(Encodation, RoutinesNoDecodePathCalls) {
    EXPECT_EQ(vexo::DM_EdifactChar(0), 64);
    EXPECT_EQ(vexo::DM_EdifactChar(30), 94);
    EXPECT_EQ(vexo::DM_EdifactChar(31), 255);
    EXPECT_EQ(vexo::DM_EdifactChar(32), 32);
    EXPECT_EQ(vexo::DM_EdifactChar(63), 63);
    // 149 x 1 mod 255 = 149: 150 is subtracted; 149 x 2 mod 253 = 45: 46.
    EXPECT_EQ(vexo::DM_Unrandomize255(150, 1), 0);
    EXPECT_EQ(vexo::DM_Unrandomize255(149, 1), 255);
    EXPECT_EQ(vexo::DM_Unrandomize253(46, 2), 0);
    EXPECT_EQ(vexo::DM_Unrandomize253(45, 2), 253);
    vexo::DM_BindWorkAreas();
    vexo::g_dmData.codewords[0] = 234;
    vexo::g_dmData.cursor = 0;
    EXPECT_EQ(vexo::DM_DecodeReaderProgramming(), 0);
    EXPECT_EQ(vexo::g_dmData.cursor, 1);
    EXPECT_EQ(vexo::DM_DecodeReaderProgramming(), -1000);
    vexo::g_dmData.codewords[1] = 234;
    EXPECT_EQ(vexo::DM_DecodeReaderProgramming(), -1000);  // not first
    // Each decoder refuses a codeword that is not its own.
    vexo::g_dmData.codewords[0] = 66;
    vexo::g_dmData.cursor = 0;
    for (auto fn : {vexo::DM_DecodeC40, vexo::DM_DecodeText, vexo::DM_DecodeX12, vexo::DM_DecodeEdifact,
                    vexo::DM_DecodeBase256, vexo::DM_DecodeUpperShift}) {
        EXPECT_EQ(fn(), 20);
    }
    for (auto fn : {vexo::DM_DecodeEci, vexo::DM_DecodeFnc1, vexo::DM_DecodeStructuredAppend, vexo::DM_DecodeMacro05,
                    vexo::DM_DecodeMacro06}) {
        EXPECT_EQ(fn(), -1000);
    }
    EXPECT_EQ(vexo::g_dmData.cursor, 0);
}

}  // namespace
