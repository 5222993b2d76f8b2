// Code 128 interpretation on value sequences: the family member, text, identifiers and link
// value of each; the member edge cases; the length limits through the table walk; and the
// ISBT 128 data structures, with the donation number check written here from ISO/IEC 7064.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/properties.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/code128.h"
#include "linear/code128_lines.h"
#include "linear/edge_lists.h"
#include "linear/isbt128.h"
#include "linear/line_driver.h"

namespace {

using namespace vexo;
using namespace linetest;

constexpr u32 kGroupCode128 = 0x10000;
constexpr u32 kGroupGs1128 = 0x10100;
constexpr u32 kGroupFnc1Second = 0x10200;
constexpr u32 kGroupIsbt128 = 0x10300;
constexpr u32 kGroupComposite = 0x11C00;
constexpr u32 kSubMin = 1;
constexpr u32 kSubMax = 2;
constexpr u32 kSubTransmit = 3;
constexpr u32 kSubFnc1Form = 4;

// Settings of one case: groups switched on, then bits of the property groups.
struct Config {
    std::vector<u32> on{};           // groups enabled (sub-id 0)
    std::vector<u32> transmit{};     // groups with the check transmitted
    std::vector<u32> tilde{};        // groups writing FNC1 as '~'
    bool form0Off = false;           // the FNC3 form's word (no property group) disabled
};

void Apply(const Config &s) {
    Par_InstallDefaults();
    for (u32 g : s.on) ASSERT_EQ(Par_DispatchSet(g, kValOn), 1) << std::hex << g;
    for (u32 g : s.transmit) ASSERT_EQ(Par_DispatchSet(g + kSubTransmit, kValOn), 1);
    for (u32 g : s.tilde) ASSERT_EQ(Par_DispatchSet(g + kSubFnc1Form, kValFnc1Tilde), 1);
    if (s.form0Off) g_params.flagsWord[kSymCode128Form0] &= ~kFlagEnabled;
}

struct Code128Verified {
    int answer = 0;
    std::string text;
    u16 id = 0xFFFF;
    std::string aim;
    i32 codeType = 0;
    u16 link = 0;
    u8 error = 0;
};

// Verify on start + data values (the check appended by the standard's rule unless given).
Code128Verified Code128Verify(std::vector<uint8_t> values, u16 capacity = kLineTextCapacity, int check = -1) {
    std::vector<uint8_t> full = WithCheck(values);
    if (check >= 0) full.back() = static_cast<uint8_t>(check);
    static u8 buffer[kLineTextCapacity];
    std::memset(buffer, 0xAA, sizeof buffer);
    std::memcpy(buffer, full.data(), full.size());
    LINE_DECODE_CTX ctx{};
    ctx.data = buffer;
    ctx.capacity = capacity;
    ctx.length = static_cast<u16>(values.size());
    ctx.aimLetter = 'X';
    ctx.aimModifier = '0';
    g_state.lastSymbologyCode = 0;
    Code128Verified v;
    v.answer = Code128_Verify(&ctx);
    if (v.answer == 1) {
        v.text.assign(reinterpret_cast<const char *>(buffer), ctx.length);
        v.id = ctx.symbologyId;
        v.codeType = g_state.lastSymbologyCode;
    }
    v.aim = std::string("]") + ctx.aimLetter + ctx.aimModifier;
    v.link = ctx.linkFlag;
    v.error = ctx.errorCode;
    return v;
}

class Code128VerifyTest : public testing::Test {
protected:
    void SetUp() override { Test_ResetDecoderStatics(); }
    void TearDown() override { Test_ResetDecoderStatics(); }
};

const Config kAllOn = {{kGroupCode128, kGroupGs1128, kGroupFnc1Second}, {}, {}};

struct Code128VerifyCase {
    const char *what;
    Config setup;
    std::vector<uint8_t> values;  // start and data values
    const char *text;             // nullptr: refused
    size_t textLength;
    u16 id;
    const char *aim;
    i32 codeType;
    u16 link;
};

void RunCases(const std::vector<Code128VerifyCase> &cases) {
    for (const Code128VerifyCase &c : cases) {
        SCOPED_TRACE(c.what);
        Apply(c.setup);
        const Code128Verified v = Code128Verify(c.values);
        if (c.text == nullptr) {
            EXPECT_EQ(v.answer, 0);
            EXPECT_EQ(v.error, 0);
            continue;
        }
        ASSERT_EQ(v.answer, 1);
        EXPECT_EQ(v.text, std::string(c.text, c.textLength));
        EXPECT_EQ(v.id, c.id);
        EXPECT_EQ(v.aim, c.aim);
        EXPECT_EQ(v.codeType, c.codeType);
        EXPECT_EQ(v.link, c.link);
        EXPECT_EQ(v.error, 0);
    }
}

#define T(s) s, sizeof(s) - 1

TEST_F(Code128VerifyTest, MembersTextsAndIdentifiers) {
    const Config tildeGs1 = {{kGroupCode128, kGroupGs1128, kGroupFnc1Second}, {}, {kGroupGs1128}};
    const Config tildeSecond = {{kGroupCode128, kGroupGs1128, kGroupFnc1Second}, {}, {kGroupFnc1Second}};
    const Config transmit = {{kGroupCode128, kGroupGs1128}, {kGroupCode128}, {}};
    RunCases({
        {"plain, set B", kAllOn, {104, 40, 69, 76, 76, 79}, T("Hello"), 1, "]C0", 3, 0},
        {"plain, set C", kAllOn, {105, 12, 34, 0, 99}, T("12340099"), 1, "]C0", 3, 0},
        {"plain needs its word", {{kGroupGs1128}}, {104, 40, 69}, nullptr, 0, 0, "", 0, 0},
        {"GS1-128, FNC1 inside as GS", kAllOn, {105, 102, 10, 12, 34, 102, 21, 56}, T("101234\x1D" "2156"), 2,
         "]C1", 4, 0},
        {"GS1-128, FNC1 inside as ~", tildeGs1, {105, 102, 10, 12, 34, 102, 21, 56}, T("101234~2156"), 2, "]C1",
         4, 0},
        {"GS1-128 ~ is its own word's bit", tildeSecond, {105, 102, 10, 12, 34, 102, 21, 56},
         T("101234\x1D" "2156"), 2, "]C1", 4, 0},
        {"FNC1 second after a letter in set A", kAllOn, {103, 33, 102, 16, 17}, T("A01"), 3, "]C2", 5, 0},
        {"FNC1 second after a letter in set B", kAllOn, {104, 65, 102, 66}, T("ab"), 3, "]C2", 5, 0},
        {"FNC1 second after two digits in set C", kAllOn, {105, 12, 102, 34}, T("1234"), 3, "]C2", 5, 0},
        {"FNC1 second, a later FNC1 as ~", tildeSecond, {105, 12, 102, 34, 102, 56}, T("1234~56"), 3, "]C2", 5, 0},
        {"FNC1 second needs its word", {{kGroupCode128}}, {104, 65, 102, 66}, nullptr, 0, 0, "", 0, 0},
        {"FNC3 form (defaults)", {}, {104, 96, 33, 34}, T("AB"), 0, "]C0", 2, 0},
        {"FNC3 form with its word off", {{kGroupCode128}, {}, {}, true}, {104, 96, 33, 34}, nullptr, 0, 0, "", 0,
         0},
        {"shift A to B", kAllOn, {103, 33, 98, 65, 34}, T("AaB"), 1, "]C0", 3, 0},
        {"shift B to A", kAllOn, {104, 65, 98, 65, 66}, T("a\x01" "b"), 1, "]C0", 3, 0},
        {"FNC4 single, set B", kAllOn, {104, 100, 73, 74}, T("\xE9j"), 1, "]C0", 3, 0},
        {"FNC4 single, set A", kAllOn, {103, 101, 33, 34}, T("\xC1" "B"), 1, "]C0", 3, 0},
        {"FNC4 doubled: extended mode on, single FNC4 inside, off again", kAllOn,
         {104, 100, 100, 73, 74, 100, 75, 76, 100, 100, 77}, T("\xE9\xEAk\xECm"), 1, "]C0", 3, 0},
        {"FNC2 writes nothing", kAllOn, {104, 97, 33}, T("A"), 1, "]C0", 3, 0},
        {"check 7 transmitted", transmit, {104, 33, 38}, T("AF~7"), 1, "]C0", 3, 0},
        {"check 42 transmitted", transmit, {104, 34, 55}, T("BW~42"), 1, "]C0", 3, 0},
        {"check 102 transmitted", transmit, {104, 33, 34}, T("AB~102"), 1, "]C0", 3, 0},
        {"GS1-128 check follows its own word", transmit, {105, 102, 10, 12}, T("1012"), 2, "]C1", 4, 0},
        {"no data values", kAllOn, {104}, nullptr, 0, 0, "", 0, 0},
        {"no data values, check transmitted", transmit, {104}, T("~1"), 1, "]C0", 3, 0},
        {"only an FNC1", kAllOn, {105, 102}, nullptr, 0, 0, "", 0, 0},
        {"a start value inside the data", kAllOn, {104, 33, 104, 34}, nullptr, 0, 0, "", 0, 0},
        {"the stop value inside the data", kAllOn, {104, 33, 106, 34}, nullptr, 0, 0, "", 0, 0},
        {"every word off", {{}, {}, {}, true}, {104, 40, 69}, nullptr, 0, 0, "", 0, 0},
    });
}

TEST_F(Code128VerifyTest, MemberDetectionEdgeCases) {
    const Config composite = {{kGroupComposite}, {}, {}};
    const Config compositeOff = {{kGroupCode128, kGroupGs1128}, {}, {}};
    RunCases({
        // Start A, Code B / Shift / Code C and the reserved values, in more than 4 values.
        {"reserved: Code B, a", kAllOn, {103, 100, 65, 66, 67}, nullptr, 0, 0, "", 0, 0},
        {"reserved: Code B, a, FNC3", kAllOn, {103, 100, 65, 96, 66}, T("ab"), 0, "]C0", 2, 0},
        {"reserved: Code B, a, FNC3, FNC3 form off", {{kGroupCode128}, {}, {}, true}, {103, 100, 65, 96, 66},
         nullptr, 0, 0, "", 0, 0},
        {"reserved: Code B, value 15", kAllOn, {103, 100, 15, 66, 67}, nullptr, 0, 0, "", 0, 0},
        {"not reserved: Code B, value 16", kAllOn, {103, 100, 16, 66, 67}, T("0bc"), 1, "]C0", 3, 0},
        {"not reserved: Code B, value 96", kAllOn, {103, 100, 97, 66, 67}, T("bc"), 1, "]C0", 3, 0},
        {"not reserved: four values", kAllOn, {103, 100, 65, 66}, T("ab"), 1, "]C0", 3, 0},
        {"reserved: Shift, value 26", kAllOn, {103, 98, 26, 33, 34}, nullptr, 0, 0, "", 0, 0},
        {"not reserved: Shift, value 25", kAllOn, {103, 98, 25, 33, 34}, T("9AB"), 1, "]C0", 3, 0},
        {"reserved: Code C, 85", kAllOn, {103, 99, 85, 12, 34}, nullptr, 0, 0, "", 0, 0},
        {"reserved: Code C, 85, FNC1 later", kAllOn, {103, 99, 85, 12, 102, 34}, nullptr, 0, 0, "", 0, 0},
        {"not reserved: Code C, 86", kAllOn, {103, 99, 86, 12, 34}, T("861234"), 1, "]C0", 3, 0},
        {"not reserved: Start B", kAllOn, {104, 100, 65, 66, 67}, T("\xE1" "bc"), 1, "]C0", 3, 0},
        // FNC1 at position 2 after a digit in set A.
        {"FNC1 after a digit in set A", kAllOn, {103, 16, 102, 33}, nullptr, 0, 0, "", 0, 0},
        {"FNC1 after a digit in set A, FNC3", kAllOn, {103, 16, 102, 96, 33}, T("0A"), 0, "]C0", 2, 0},
        {"FNC1 after a digit in set B", kAllOn, {104, 16, 102, 33}, nullptr, 0, 0, "", 0, 0},
        // Link values from the final code set change, only with the composite word.
        {"link A to B", composite, {103, 102, 16, 100}, T("0"), 2, "]C1", 4, 1},
        {"link A to C", composite, {103, 102, 16, 99}, T("0"), 2, "]C1", 4, 2},
        {"link B to C", composite, {104, 102, 16, 99}, T("0"), 2, "]C1", 4, 3},
        {"link B to A", composite, {104, 102, 16, 101}, T("0"), 2, "]C1", 4, 4},
        {"link C to A", composite, {105, 102, 12, 101}, T("12"), 2, "]C1", 4, 5},
        {"link C to B", composite, {105, 102, 12, 100}, T("12"), 2, "]C1", 4, 6},
        {"link refused without composite", compositeOff, {103, 102, 16, 99}, nullptr, 0, 0, "", 0, 2},
        {"change not last: no link", compositeOff, {103, 102, 16, 99, 12}, T("012"), 2, "]C1", 4, 0},
        {"no leading FNC1: no link", kAllOn, {103, 16, 99}, T("0"), 1, "]C0", 3, 0},
        {"FNC4 in set A is no change", composite, {103, 102, 16, 101}, T("0"), 2, "]C1", 4, 0},
    });
}

TEST_F(Code128VerifyTest, ExpansionBounds) {
    Apply(kAllOn);
    // Capacity: the text fits exactly, one byte less refuses.
    const std::vector<uint8_t> digits = {105, 12, 34, 56, 78};
    EXPECT_EQ(Code128Verify(digits, 8).text, "12345678");
    EXPECT_EQ(Code128Verify(digits, 7).answer, 0);
    EXPECT_EQ(Code128Verify(digits, 5).answer, 0);  // not even the check value fits
    // A transmitted check is written whole or the text is refused.
    Apply({{kGroupCode128}, {kGroupCode128}});
    EXPECT_EQ(Code128Verify({104, 34, 55}, 5).text, "BW~42");
    EXPECT_EQ(Code128Verify({104, 34, 55}, 4).answer, 0);

    // Digits grow faster than the values are read: with the values at the buffer's tail the
    // text would overwrite values not read yet. 45 pairs, then 14 code changes.
    Apply(kAllOn);
    std::vector<uint8_t> values = {105};
    std::string expected;
    for (int i = 0; i < 45; ++i) {
        values.push_back(static_cast<uint8_t>(i + 10));
        expected += std::to_string(i + 10);
    }
    for (int i = 0; i < 14; ++i) values.push_back(i % 2 == 0 ? 100 : 99);
    const std::vector<uint8_t> full = WithCheck(values);
    u8 buffer[100] = {};
    std::memcpy(buffer, full.data(), full.size());
    CODE128_SCAN scan;
    Code128_ScanCodewords(buffer, static_cast<u16>(values.size()), &scan);
    EXPECT_EQ(scan.plain, 1);
    const u16 n = Code128_ExpandCodewords(buffer, static_cast<u16>(values.size()), sizeof buffer, &scan);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), n), expected);

    // Null and empty inputs.
    Code128_ScanCodewords(nullptr, 3, &scan);
    EXPECT_EQ(scan.plain + scan.fnc1First + scan.fnc1Second + scan.fnc3Seen + scan.reservedForm, 0);
    EXPECT_EQ(Code128_ExpandCodewords(nullptr, 3, 10, &scan), 0);
    EXPECT_EQ(Code128_Verify(nullptr), 0);
}

// The length limits of the member being output, boundary pairs, then the walk's answer.
TEST_F(Code128VerifyTest, LengthLimitsOfEachMember) {
    struct LengthCase {
        const char *what;
        int id;
        u32 group;  // 0: set in the parameter block
        std::vector<uint8_t> values;
        u16 length;
    };
    const LengthCase cases[] = {
        {"FNC3 form", kSymCode128Form0, 0, {104, 96, 33, 34, 35}, 3},
        {"Code 128", kSymCode128, kGroupCode128, {104, 33, 34, 35, 36}, 4},
        {"GS1-128", kSymGs1128, kGroupGs1128, {105, 102, 12, 34, 56}, 6},
        {"FNC1 second", kSymCode128Fnc1Second, kGroupFnc1Second, {104, 65, 102, 66, 67}, 3},
    };
    for (const LengthCase &c : cases) {
        SCOPED_TRACE(c.what);
        struct Limits {
            u16 min, max;
            bool ok;
        };
        const u16 L = c.length;
        for (const Limits &lim : {Limits{L, 255, true}, Limits{static_cast<u16>(L + 1), 255, false},
                                  Limits{1, L, true}, Limits{1, static_cast<u16>(L - 1), false},
                                  Limits{L, L, true}}) {
            Apply(kAllOn);
            if (c.group != 0) {
                ASSERT_EQ(Par_DispatchSet(c.group + kSubMin, lim.min), 1);
                ASSERT_EQ(Par_DispatchSet(c.group + kSubMax, lim.max), 1);
            } else {
                u32 &w = g_params.flagsWord[c.id];
                w = (w & ~(kMinLengthMask | kMaxLengthMask)) | lim.min | (static_cast<u32>(lim.max) << 8);
            }
            const Code128Verified v = Code128Verify(c.values);
            EXPECT_EQ(v.answer, lim.ok ? 1 : 0) << lim.min << "-" << lim.max;
            EXPECT_EQ(v.error, lim.ok ? 0 : kLineErrorLength) << lim.min << "-" << lim.max;
            if (lim.ok) {
                EXPECT_EQ(v.text.size(), L);
            }
            // Through the walk: attempt code 2 ends the line.
            std::vector<int> runs = SymbolRuns(WithCheck(c.values));
            EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 3.0});
            Code128_Reset();
            const WalkRead r = WalkLine(line);
            EXPECT_EQ(r.answer, lim.ok ? 1 : 0);
            EXPECT_EQ(r.attempts, std::vector<uint8_t>{static_cast<uint8_t>(lim.ok ? kAttemptRead : kAttemptLength)});
            if (lim.ok) {
                EXPECT_EQ(r.id, c.id);
            }
        }
    }
}

// ---- ISBT 128.

std::string Zeros(int n) { return std::string(static_cast<size_t>(n), '0'); }

struct IsbtCase {
    int structure;
    std::string accepted;
    std::string result;  // empty: the accepted text unchanged
    std::string refused;
};

const std::vector<IsbtCase> &IsbtCases() {
    static const std::vector<IsbtCase> cases = {
        {1, "=A99123456789000", "", "=A99123456789013"},
        {2, "=%5100", "", "=%4600"},
        {3, "=<E0004V00", "", "=<G0004V00"},
        {4, "=>026123", "", "=>026367"},
        {5, "&>0261232359", "", "&>0261232400"},
        {6, "=*026001", "", "=*026000"},
        {7, "&*0263661200", "", "&*0263661260"},
        {8, "=}026366", "", "=}02636A"},
        {9, "&}0260010000", "", "&}026001000"},
        {10, "&(A1B2C", "", "&(a1b2c"},
        {11, "={" + Zeros(18), "", "={" + Zeros(17)},
        {12, "=\\" + Zeros(17) + "9", "", "=\\" + Zeros(17) + "X"},
        {13, "&\\" + Zeros(18), "", "&\\" + Zeros(19)},
        {14, "&{009912440000000000", "", "&{009919440000000000"},
        {15, "=[" + Zeros(16) + "29", "", "=[" + Zeros(16) + "39"},
        {16, "=\"" + Zeros(18), "", "=\"" + Zeros(17) + " "},
        {17, "=)AB1xy", "=)AB100000xy", "=)ab1xy"},
        {18, "&)X", "&)000000000X", "&)X-"},
        {19, "=;A1B123", "=;A1B12" + Zeros(15) + "3", "=;01B123"},
        {20, "='A1B23X", "='A1B2300000X", "='A1B23x"},
        {21, "=-AB1", "=-AB00000001", "=-a1c"},
        {22, "&-abc", "&-0000000abc", "&-abcdefghijk"},
        {23, "=+12345", "", "=+1234A"},
        {24, "=#0020240229", "", "=#0020230229"},
        {25, "&#0003abc", "", "&#0004abc"},
        {26, "=]202612", "", "=]202613"},
        {27, "&\"12345678" + Zeros(10), "", "&\"12345678" + Zeros(9) + "1"},
        {28, "=$A1B" + Zeros(13), "", "=$O1B" + Zeros(13)},
        {29, "&a\x01\xff", "", "&Axyz"},
    };
    return cases;
}

std::string Validate(const std::string &text, u16 *answer) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, text.data(), text.size());
    *answer = Isbt_Validate(buffer, static_cast<u16>(text.size()));
    return std::string(buffer, *answer != 0 ? *answer : text.size());
}

TEST(IsbtTest, EveryStructureAcceptsAndRefuses) {
    ASSERT_EQ(IsbtCases().size(), 29u);
    for (const IsbtCase &c : IsbtCases()) {
        SCOPED_TRACE(testing::Message() << "structure " << c.structure);
        u16 n = 0;
        const std::string want = c.result.empty() ? c.accepted : c.result;
        EXPECT_EQ(Validate(c.accepted, &n), want);
        EXPECT_EQ(n, want.size());
        EXPECT_EQ(Validate(c.refused, &n), c.refused);  // unchanged
        EXPECT_EQ(n, 0);
    }
}

TEST(IsbtTest, EdgeCases) {
    struct Edge {
        std::string text;
        std::string result;  // empty: refused
    };
    const Edge edges[] = {
        {"&)", ""},                       // shorter than 3
        {"=A", ""},
        {"&)Z", "&)000000000Z"},
        {"&)123456789A", "&)123456789A"},  // full length unchanged
        {"&)123456789AB", ""},
        {"=A99123456789000", "=A99123456789000"},  // flag 00: no check
        {"=A99123456789012", ""},
        {"=A99123456789014", ""},
        {"=A99123456789098", ""},
        {"=A99123456789011", "=A99123456789011"},
        {"=A99123456789059", "=A99123456789059"},
        {"=O99123456789000", ""},  // no letter O
        {"=A9O123456789000", ""},
        {"=<G0004V00", ""},
        {"=<GAAAAAAA", ""},
        {"=<A0004zzz", ""},  // [8] must be a digit or upper case
        {"=<A0004aBz", "=<A0004aBz"},
        {"=<T0004123", "=<T0004123"},
        {"=<T00041a3", ""},
        {"=<S0004Qa0", ""},  // [8] upper or '0'
        {"=<S0004Q0a", "=<S0004Q0a"},
        {"=<S0004WA0", ""},  // W is no product type
        {"=%Ma00", "=%Ma00"},
        {"=%MA00", ""},
        {"=%9900", ""},
        {"=%T6ZZ", "=%T6ZZ"},
        {"=#0020240229", "=#0020240229"},
        {"=#0021000229", "=#0021000229"},  // every fourth year
        {"=#0020250229", ""},
        {"=#0000000101", ""},
        {"=#0020240431", ""},
        {"=#0020240131", "=#0020240131"},
        {"=#0020241301", ""},
        {"&#0000", "&#0000"},
        {"&#0000abcdefghij", "&#0000abcdefghij"},
        {"&#0004abcd", "&#0004abcd"},
        {"&#000", ""},
        {"&#0001ab", ""},
        {"&ab", "&ab"},
        {"&a anything at all ~!", "&a anything at all ~!"},
        {"&;x", "&;x"},
        {"&!x", "&!x"},
        {"&a", ""},
        {"&?x", ""},
        {"=;A1B1234567890123456789", ""},  // 24 characters
        {"=;A1B123456789012345678", "=;A1B123456789012345678"},
        {"=;A1B12345678901234567", "=;A1B120345678901234567"},
        {"=)AB1", ""},                     // below 6
        {"=)AB1x", "=)AB1000000x"},
        {"=-AB", ""},
    };
    for (const Edge &e : edges) {
        SCOPED_TRACE(e.text);
        u16 n = 0;
        const std::string got = Validate(e.text, &n);
        if (e.result.empty()) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(got, e.text);
        } else {
            EXPECT_EQ(got, e.result);
        }
    }
    EXPECT_EQ(Isbt_Validate(nullptr, 5), 0);
}

// ISO/IEC 7064 MOD 37-2, the pure recursive form: P = 2 (P + a) mod 37, check = (38 - P) mod 37.
int Mod37_2(const std::string &chars) {
    int p = 0;
    for (char c : chars) {
        const int a = c >= '0' && c <= '9' ? c - '0' : c - 'A' + 10;
        p = ((p + a) * 2) % 37;
    }
    return (38 - p) % 37;
}

TEST(IsbtTest, DonationNumberCheckAgreesWithMod37_2) {
    const std::string first = "123456789ABCDEFGHIJKLMNPQRSTUVWXYZ";
    const std::string code = "0" + first;
    std::mt19937 rng(37);
    for (int k = 0; k < 1000; ++k) {
        std::string t = "=";
        t += first[rng() % first.size()];
        t += code[rng() % code.size()];
        t += code[rng() % code.size()];
        for (int d = 0; d < 10; ++d) t += static_cast<char>('0' + rng() % 10);
        const int check = Mod37_2(t.substr(1, 13));
        ASSERT_EQ(Isbt_CheckDin(t.c_str()), check) << "seed 37, text " << k << " " << t;
        for (int flag = 60; flag <= 96; ++flag) {
            const std::string text = t + std::to_string(flag);
            u16 n = 0;
            Validate(text, &n);
            ASSERT_EQ(n, flag == 60 + check ? 16 : 0) << text;
        }
    }
}

// ISBT 128 through the Code 128 interpretation.
std::vector<uint8_t> SetBValues(const std::string &text) {
    std::vector<uint8_t> v = {104};
    for (char c : text) v.push_back(static_cast<uint8_t>(c - 32));
    return v;
}

TEST_F(Code128VerifyTest, IsbtThroughTheInterpretation) {
    const Config isbt = {{kGroupCode128, kGroupIsbt128}};
    const Config isbtOnly = {{kGroupIsbt128}, {}, {}, true};
    const Config isbtCheck = {{kGroupCode128, kGroupIsbt128}, {kGroupCode128}};
    struct IsbtVerify {
        const char *what;
        Config setup;
        std::string text;
        int answer;
        std::string result;
        const char *aim;
        u16 id;
        i32 codeType;
        u8 error;
    };
    const IsbtVerify cases[] = {
        {"fixed structure", isbt, "=<E0004V00", 1, "=<E0004V00", "]C4", 4, 7, 0},
        {"padded structure", isbt, "&)X", 1, "&)000000000X", "]C4", 4, 7, 0},
        {"ISBT only", isbtOnly, "=+12345", 1, "=+12345", "]C4", 4, 7, 0},
        {"check transmitted, left out", isbtCheck, "=+12345", 1, "=+12345", "]C4", 4, 7, 0},
        {"refused: plain still runs, error 11", isbt, "=Hello", 1, "=Hello", "]C0", 1, 3, kLineErrorCheck},
        {"refused, plain off", isbtOnly, "=Hello", 0, "", "", 0, 0, kLineErrorCheck},
        {"two characters: plain", isbt, "=+", 1, "=+", "]C0", 1, 3, 0},
        {"other first character: plain", isbt, "+12345", 1, "+12345", "]C0", 1, 3, 0},
        {"ISBT word off", {{kGroupCode128}}, "=<E0004V00", 1, "=<E0004V00", "]C0", 1, 3, 0},
        {"check transmitted, plain", isbtCheck, "=Hi", 1, "", "]C0", 1, 3, kLineErrorCheck},
    };
    for (const IsbtVerify &c : cases) {
        SCOPED_TRACE(c.what);
        Apply(c.setup);
        const Code128Verified v = Code128Verify(SetBValues(c.text));
        EXPECT_EQ(v.answer, c.answer);
        EXPECT_EQ(v.error, c.error);
        if (c.answer == 1) {
            if (!c.result.empty()) {
                EXPECT_EQ(v.text, c.result);
            }
            EXPECT_EQ(v.aim, c.aim);
            EXPECT_EQ(v.id, c.id);
            EXPECT_EQ(v.codeType, c.codeType);
        }
    }
    // The check transmitted stays on a plain result.
    Apply(isbtCheck);
    EXPECT_EQ(Code128Verify(SetBValues("+12345")).text, "+12345~" +
                                                     std::to_string(WithCheck(SetBValues("+12345")).back()));

    // Through the walk: an ISBT text that fails every structure ends the line with code 11,
    // and is reported as Code 128 once the ISBT word is off.
    for (const bool isbtOn : {true, false}) {
        Apply(isbtOn ? isbt : Config{{kGroupCode128}});
        EdgeLine line = MakeEdgeLine(SymbolRuns(WithCheck(SetBValues("=Hello"))), {.moduleSamples = 3.0});
        Code128_Reset();
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, isbtOn ? 0 : 1);
        EXPECT_EQ(r.attempts, std::vector<uint8_t>{static_cast<uint8_t>(isbtOn ? kAttemptCheck : kAttemptRead)});
        if (!isbtOn) {
            EXPECT_EQ(r.text, "=Hello");
            EXPECT_EQ(r.aim, "]C0");
        }
    }
}

// A GS1-128 symbol with a link value is reported without the GS1-128 word; without a link
// value it needs it, although the composite word lets verify accept it.
TEST_F(Code128VerifyTest, LinkValuesThroughTheWalk) {
    struct WalkCase {
        const char *what;
        std::vector<uint32_t> groups;
        std::vector<uint8_t> values;
        int answer;
        u16 link;
        std::vector<uint8_t> attempts;
    };
    const WalkCase cases[] = {
        {"link, composite on, GS1-128 off", {kGroupComposite}, {105, 102, 12, 34, 101}, 1, 5, {kAttemptRead}},
        {"link, composite off", {kGroupGs1128}, {105, 102, 12, 34, 101}, 0, 0, {}},
        {"no link, composite on, GS1-128 off", {kGroupComposite}, {105, 102, 12, 34}, 0, 0, {kAttemptDisabled}},
        {"no link, GS1-128 on", {kGroupGs1128}, {105, 102, 12, 34}, 1, 0, {kAttemptRead}},
    };
    for (const WalkCase &c : cases) {
        SCOPED_TRACE(c.what);
        Par_InstallDefaults();
        for (u32 g : c.groups) ASSERT_EQ(Par_DispatchSet(g, kValOn), 1);
        EdgeLine line = MakeEdgeLine(SymbolRuns(WithCheck(c.values)), {.moduleSamples = 3.0});
        Code128_Reset();
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, c.answer);
        EXPECT_EQ(r.attempts, c.attempts);
        if (c.answer == 1) {
            EXPECT_EQ(r.text, "1234");
            EXPECT_EQ(r.aim, "]C1");
            EXPECT_EQ(r.id, kSymGs1128);
            EXPECT_EQ(r.link, c.link);
            EXPECT_EQ(r.codeType, 4);
        }
    }
}

}  // namespace
