// 2 of 5 variant A and the fixed 8-digit code, built from their published patterns: the
// width-group classifier, the decode and verify rules, the fixed code's readers and check
// digit, the line bounds, and both records through the table walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/properties.h"
#include "core/test_hooks.h"
#include "linear/code128.h"
#include "linear/line_table.h"
#include "linear/two_of_five.h"
#include "linear/var25a_fixed8.h"
#include "record_lines.h"
#include "var25a_fixed8_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

// Element widths laid exactly: one module is 16 units.
EdgeLine Var25aExactLine(const std::vector<int> &runs, bool reversed = false, double quiet = 12) {
    return Exact(MakeEdgeLine(runs, {.moduleSamples = 1.0, .reversed = reversed, .quietBefore = quiet, .quietAfter = quiet}));
}

WIDTH_GROUP Group(std::vector<uint16_t> w, uint16_t refWide, uint16_t refNarrow, uint16_t maxWide) {
    WIDTH_GROUP g{};
    std::copy(w.begin(), w.end(), g.widths);
    g.count = static_cast<uint16_t>(w.size());
    g.refWide = refWide;
    g.refNarrow = refNarrow;
    g.maxWide = maxWide;
    g.minGap = 204;
    return g;
}

TEST(Var25aGroups, ClassifyBySplitAndReferences) {
    struct Var25aGroupCase {
        const char *what;
        std::vector<uint16_t> widths;
        uint16_t refWide, refNarrow, maxWide;
        int answer;
        uint32_t pattern;
    };
    const Var25aGroupCase cases[] = {
        {"gap of exactly 204/1024 splits", {1024, 820, 820}, 0, 0, 3, 1, 0x211},
        {"gap of 203/1024 does not", {1024, 821, 821}, 0, 0, 3, 1, 0x222},
        {"the later, wider split wins", {40, 20, 10}, 0, 0, 3, 1, 0x211},
        {"two wide among three", {10, 30, 31}, 0, 0, 3, 1, 0x122},
        {"more wide than allowed", {30, 30, 10}, 0, 0, 1, 0, 0},
        {"alike, narrow by the narrow reference", {20, 20, 20}, 0, 20, 3, 1, 0x111},
        {"alike, a little above the narrow reference", {22, 22, 22}, 0, 20, 3, 1, 0x111},
        {"alike, far above the narrow reference", {40, 40, 40}, 0, 20, 3, 1, 0x222},
        {"alike, well below the wide reference", {20, 20}, 40, 0, 2, 1, 0x11},
        {"alike, near the wide reference", {38, 38}, 40, 0, 2, 1, 0x22},
        {"alike, far above the wide reference", {80, 80}, 40, 0, 2, 0, 0},
        {"wide mean far from the wide reference", {100, 20, 20}, 40, 20, 3, 0, 0},
        {"zero widths", {0, 0, 0}, 0, 10, 3, 0, 0},
        {"zero widths, no references", {0, 0}, 0, 0, 2, 0, 0},
    };
    for (const Var25aGroupCase &c : cases) {
        WIDTH_GROUP g = Group(c.widths, c.refWide, c.refNarrow, c.maxWide);
        EXPECT_EQ(Var25a_ClassifyGroup(&g), c.answer) << c.what;
        if (c.answer == 1) {
            EXPECT_EQ(g.pattern, c.pattern) << c.what;
        }
    }
    WIDTH_GROUP g = Group({40, 20, 10}, 0, 0, 3);
    ASSERT_EQ(Var25a_ClassifyGroup(&g), 1);
    EXPECT_EQ(g.gap, 512);
    EXPECT_EQ(g.meanWide, 40);
    EXPECT_EQ(g.meanNarrow, 15);
}

TEST(Var25aGroups, SortKeepsEqualWidthsInOrder) {
    WIDTH_GROUP g = Group({5, 7, 5, 7, 6}, 0, 0, 3);
    int16_t idx[5] = {0, 1, 2, 3, 4};
    Var25a_SortByWidth(&g, idx, 5);
    EXPECT_EQ(std::vector<int16_t>(idx, idx + 5), (std::vector<int16_t>{1, 3, 4, 0, 2}));
}

uint16_t Var25aDecodeWhole(const EdgeLine &line, std::vector<uint8_t> *out, uint16_t symbolEdges = 0,
                           uint16_t capacity = kLineTextCapacity) {
    out->assign(capacity, 0xEE);
    std::vector<uint8_t>(*out).swap(*out);
    LINE_DECODE_CTX ctx = WholeLineContext(line, out->data(), capacity);
    if (symbolEdges != 0) {
        ctx.elementCount = symbolEdges;
        ctx.endIndex = static_cast<uint16_t>(symbolEdges - 1);
    }
    const uint16_t n = Var25a_Decode(&ctx);
    out->resize(n);
    return n;
}

TEST(Var25aDecode, CharacterCountsAndQuietGaps) {
    std::vector<uint8_t> out;
    // One character is refused, two read; 41 characters (254 edges) read, 42 (260) do not.
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(Var25aSymbolRuns("7")), &out), 0);
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(Var25aSymbolRuns("70")), &out), 2);
    EXPECT_EQ(out, Digits("70"));
    std::string longText;
    for (int k = 0; k < 42; ++k) longText += static_cast<char>('0' + k * 3 % 10);
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(Var25aSymbolRuns(longText.substr(0, 41))), &out), 41);
    EXPECT_EQ(out, Digits(longText.substr(0, 41)));
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(Var25aSymbolRuns(longText)), &out), 0);

    // A gap of 8 narrow space references (narrow 2 units) ends reading; the short read is 0.
    struct Var25aGapCase {
        const char *what;
        int n, w, gap;
        uint16_t answer;
    };
    const Var25aGapCase gaps[] = {
        {"gap 8 narrow", 2, 5, 16, 0},
        {"gap just below 8 narrow", 2, 5, 15, 4},
        // Wide 7, narrow 4: 4 wide (28) comes before 8 narrow (32).
        {"gap 4 wide", 4, 7, 28, 0},
        {"gap just below 4 wide", 4, 7, 27, 4},
    };
    for (const Var25aGapCase &c : gaps) {
        // Digit 0 has a wide space, so the second character has a wide reference.
        std::vector<int> runs = Var25aSymbolRuns("0000", c.n, c.w);
        runs[4 + 6 + 5] = c.gap;  // the second character's gap
        EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(runs), &out), c.answer) << c.what;
    }
}

TEST(Var25aDecode, ReadsNothingPastTheNthDigit) {
    // The stop, then a space, bar and gap that read with it as the digit 8 (W n n W n).
    std::vector<int> runs = Var25aSymbolRuns("3141");
    const uint16_t symbolEdges = static_cast<uint16_t>(runs.size() + 1);
    runs.insert(runs.end(), {2, 1, 1, 1, 1, 1, 1});
    std::vector<uint8_t> out;
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(runs), &out, symbolEdges, 4), 0);
    // Elements that do not read as a digit end the reading at the n-th.
    std::vector<int> plain = Var25aSymbolRuns("3141");
    plain.insert(plain.end(), {1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(Var25aDecodeWhole(Var25aExactLine(plain), &out, symbolEdges, 4), 4);
    EXPECT_EQ(out, Digits("3141"));
}

TEST(Var25aDecode, ZeroWidthsFailWithoutFault) {
    EdgeLine line = Var25aExactLine(Var25aSymbolRuns("12345"));
    for (size_t k = 5; k < line.edges.size(); ++k) line.edges[k] = line.edges[4];
    std::vector<uint8_t> out;
    EXPECT_EQ(Var25aDecodeWhole(line, &out), 0);
}

class Var25aVerifyTest : public testing::Test {
protected:
    void SetUp() override {
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
    }
    void TearDown() override { Test_ResetDecoderStatics(); }
    uint32_t &Word() { return g_params.flagsWord[kSymVar25a]; }
};

TEST_F(Var25aVerifyTest, LengthsChecksAndIdentity) {
    EXPECT_EQ(Word() & (kMinLengthMask | kMaxLengthMask), 0u);
    EXPECT_EQ(Verify(&Var25a_Verify, Digits("123")).answer, 0);
    const Verified v = Verify(&Var25a_Verify, Digits("1234"));
    EXPECT_EQ(v.answer, 1);
    EXPECT_EQ(v.text, "1234");
    EXPECT_EQ(v.aim, "]X0");
    EXPECT_EQ(v.id, kSymVar25a);
    EXPECT_EQ(v.codeType, 34);
    // Unset limits admit the longest a decode delivers.
    EXPECT_EQ(Verify(&Var25a_Verify, std::vector<uint8_t>(255, 7)).answer, 1);

    // Limits set by the host apply as written.
    ASSERT_EQ(Par_DispatchSet(0x11D03, 6), 1);
    ASSERT_EQ(Par_DispatchSet(0x11D04, 8), 1);
    struct Var25aLengthCase {
        std::string digits;
        int answer;
    };
    for (const Var25aLengthCase &c : {Var25aLengthCase{"12345", 0}, {"123456", 1}, {"12345678", 1}, {"123456789", 0}}) {
        const Verified r = Verify(&Var25a_Verify, Digits(c.digits));
        EXPECT_EQ(r.answer, c.answer) << c.digits;
        EXPECT_EQ(r.error, c.answer == 1 ? 0 : kLineErrorLength) << c.digits;
    }
}

TEST_F(Var25aVerifyTest, CheckDigit) {
    Word() |= kFlagVerifyCheck;
    std::vector<uint8_t> d = Digits("1234567");
    d.push_back(static_cast<uint8_t>(Line_CheckDigitMod10(d.data(), 7)));
    Word() &= ~kFlagTransmitCheck;
    Verified r = Verify(&Var25a_Verify, d);
    EXPECT_EQ(r.answer, 1);
    EXPECT_EQ(r.text, "1234567");
    Word() |= kFlagTransmitCheck;
    r = Verify(&Var25a_Verify, d);
    EXPECT_EQ(r.text, "1234567" + std::to_string(d[7]));
    d[7] = static_cast<uint8_t>((d[7] + 1) % 10);
    r = Verify(&Var25a_Verify, d);
    EXPECT_EQ(r.answer, 0);
    EXPECT_EQ(r.error, 0);
}

TEST(Var25aLocate, ForwardReversedAndLineBounds) {
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecVar25a];
    for (const bool reversed : {false, true}) {
        for (const int ratio : {2, 3}) {
            SCOPED_TRACE(testing::Message() << (reversed ? "reversed" : "forward") << " ratio " << ratio);
            const std::string text = "90210357";
            const EdgeLine line = Exact(MakeEdgeLine(Var25aSymbolRuns(text, 1, ratio),
                                                     {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 2,
                                                      .reversed = reversed, .seed = 5}));
            const RecordRead r = ReadRecordLine(rec, line);
            EXPECT_EQ(r.data, Digits(text));
            EXPECT_EQ(r.direction, reversed ? -1 : 1);
        }
        // Lines that begin or end inside the symbol: no width outside the line is read.
        for (int cut = 0; cut <= 5; ++cut) {
            for (const bool back : {false, true}) {
                const EdgeLine line = Exact(MakeEdgeLine(
                    Var25aSymbolRuns("55555555"),
                    {.moduleSamples = 2, .reversed = reversed, .quietBefore = 0, .quietAfter = 0,
                     .cutFront = back ? 0 : cut, .cutBack = back ? cut : 0}));
                const RecordRead r = ReadRecordLine(rec, line);
                if (cut > 0) {
                    EXPECT_EQ(r.count, 0) << cut << (back ? " cut at the back" : " cut at the front");
                }
            }
        }
    }
}

TEST(Fixed8Reading, CheckDigits) {
    struct Fixed8CheckCase {
        const char *digits;
        int check;
    };
    for (const Fixed8CheckCase &c : {Fixed8CheckCase{"0000000", 5}, {"0010000", 0}, {"3000000", 1}, {"1234567", 4}}) {
        const std::vector<uint8_t> d = Digits(c.digits);
        EXPECT_EQ(Fixed8_CheckDigit(d.data()), c.check) << c.digits;
    }
    EXPECT_EQ(Fixed8Text("0000000"), "00000005");
}

std::vector<uint16_t> Fixed8Widths(const std::string &seven, int unit) {
    std::vector<uint16_t> w;
    for (int r : Fixed8SymbolRuns(seven, unit)) w.push_back(static_cast<uint16_t>(r));
    return w;
}

std::string Fixed8Read(const std::vector<uint16_t> &w) {
    uint8_t out[8];
    return Fixed8_ReadForward(w.data(), out) == 8 ? std::string(reinterpret_cast<char *>(out), 8) : std::string();
}

TEST(Fixed8Reading, OffsetsFallbackAndBarBounds) {
    // Code value 0 (2 1 2 2 2 2) first: 0000000 and its check 5. A module of 300 units.
    const std::string seven = "0000000";
    const std::string text = Fixed8Text(seven);
    const std::vector<uint16_t> clean = Fixed8Widths(seven, 300);
    EXPECT_EQ(Fixed8Read(clean), text);
    // Guards a tenth as wide: the element rounding of the first character cannot read it.
    auto badGuards = [](std::vector<uint16_t> w) {
        for (int k : {0, 1, 2, 3, 28, 29, 30, 31, 32}) w[k] = static_cast<uint16_t>(w[k] / 10);
        return w;
    };
    struct Fixed8CharCase {
        const char *what;
        int delta[6];  // added to the first character's elements
        bool guardsGood;
        bool reads;
    };
    const Fixed8CharCase cases[] = {
        {"clean", {0, 0, 0, 0, 0, 0}, false, true},
        {"pair at 2.55 modules: offset 50 reads", {135, -135, 0, 0, 0, 0}, false, true},
        {"pair at 2.45 modules: no offset reads", {80, -80, -85, 85, 0, 0}, false, false},
        {"pair at 2.45 modules, element rounding reads", {80, -80, -85, 85, 0, 0}, true, true},
        // Bars moved against the spaces: the pair sums hold, the bar test decides.
        {"bars 1.25 modules narrow: refused", {-125, 125, -125, 125, -125, 125}, false, false},
        {"bars just above", {-124, 124, -124, 124, -124, 124}, false, true},
        {"bars 1.25 modules wide: refused", {125, -125, 125, -125, 125, -125}, false, false},
        {"bars just below", {124, -124, 124, -124, 124, -124}, false, true},
    };
    for (const Fixed8CharCase &c : cases) {
        std::vector<uint16_t> w = c.guardsGood ? clean : badGuards(clean);
        for (int k = 0; k < 6; ++k) w[4 + k] = static_cast<uint16_t>(w[4 + k] + c.delta[k]);
        EXPECT_EQ(Fixed8Read(w), c.reads ? text : "") << c.what;
    }
    // A wrong check digit, and a character of zero widths.
    std::vector<uint16_t> wrong = clean;
    for (int k = 0; k < 6; ++k) wrong[22 + k] = static_cast<uint16_t>(300 * ((kCode128Patterns[6] >> (4 * (5 - k))) & 0xF));
    EXPECT_EQ(Fixed8Read(wrong), "");
    std::vector<uint16_t> zero = clean;
    std::fill(zero.begin() + 4, zero.begin() + 10, 0);
    EXPECT_EQ(Fixed8Read(zero), "");
    // Reversed: the mirrored widths.
    std::vector<uint16_t> mirrored(clean.rbegin(), clean.rend());
    uint8_t out[8];
    ASSERT_EQ(Fixed8_ReadReversed(mirrored.data(), out), 8);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 8), text);
}

TEST(Fixed8Reading, OnlyLinesOfExactly33Widths) {
    const EdgeLine line = Exact(MakeEdgeLine(Fixed8SymbolRuns("1234567"), {.moduleSamples = 3}));
    ASSERT_EQ(line.widths.size(), 33u);
    uint8_t buffer[8];
    for (const uint16_t widths : {32, 33, 34}) {
        LINE_DECODE_CTX ctx = WholeLineContext(line, buffer, 8);
        ctx.widthCount = widths;
        EXPECT_EQ(Fixed8_Decode(&ctx), widths == 33 ? 8 : 0) << widths;
    }
}

TEST(Fixed8Locate, BothDirectionsAndLineBounds) {
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecFixed8];
    for (const bool reversed : {false, true}) {
        for (const double size : {1.5, 2.0, 3.0, 5.0}) {
            SCOPED_TRACE(testing::Message() << (reversed ? "reversed" : "forward") << " at " << size);
            const EdgeLine line = Exact(MakeEdgeLine(Fixed8SymbolRuns("2468013"), {.moduleSamples = size, .spread = 0.1,
                                                                                    .jitter16 = 2, .reversed = reversed,
                                                                                    .seed = 9}));
            LINE_LOCATE_STATE st = LocateState(line);
            EXPECT_EQ(rec.locate(&st), 1);
            EXPECT_EQ(st.startIndex, reversed ? 33 : 0);
            EXPECT_EQ(st.endIndex, reversed ? 0 : 33);
            const RecordRead r = ReadRecordLine(rec, line);
            EXPECT_EQ(std::string(r.data.begin(), r.data.end()), Fixed8Text("2468013"));
            EXPECT_EQ(r.direction, reversed ? -1 : 1);
        }
        // The symbol cut at either end, or followed by six more elements that continue its run.
        for (int cut = 1; cut <= 6; ++cut) {
            for (const bool back : {false, true}) {
                std::vector<int> runs = Fixed8SymbolRuns("2468013");
                const EdgeLine line = Exact(MakeEdgeLine(runs, {.moduleSamples = 2, .reversed = reversed,
                                                                .cutFront = back ? 0 : cut, .cutBack = back ? cut : 0}));
                EXPECT_EQ(ReadRecordLine(rec, line).count, 0) << cut;
            }
        }
        std::vector<int> longer = Fixed8SymbolRuns("2468013");
        longer.insert(longer.end(), {2, 2, 2, 3, 1, 1});
        const RecordRead r = ReadRecordLine(rec, Exact(MakeEdgeLine(longer, {.moduleSamples = 2, .reversed = reversed})));
        EXPECT_EQ(r.count, 0);
    }
}

// Both records through the table walk, with the other words at their defaults.
class Var25aFixed8WalkTest : public testing::Test {
protected:
    void SetUp() override {
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
    }
    void TearDown() override { Test_ResetDecoderStatics(); }
};

TEST_F(Var25aFixed8WalkTest, EnabledReadsDisabledEndsTheWalk) {
    struct Var25aFixed8WalkCase {
        const char *what;
        std::vector<int> runs;
        int id;
        std::string text;
        int32_t codeType;
    };
    const Var25aFixed8WalkCase cases[] = {
        {"variant A", Var25aSymbolRuns("4711081542", 1, 3), kSymVar25a, "4711081542", 34},
        {"fixed 8-digit", Fixed8SymbolRuns("9081726"), kSymFixed8, Fixed8Text("9081726"), 1},
    };
    for (const Var25aFixed8WalkCase &c : cases) {
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (reversed ? " reversed" : ""));
            Test_ResetDecoderStatics();
            Par_InstallDefaults();
            EdgeLine line = Exact(MakeEdgeLine(c.runs, {.moduleSamples = 2.5, .reversed = reversed, .quietBefore = 0,
                                                        .quietAfter = 0}));
            // Disabled (the defaults): attempt code 1 ends the walk.
            WalkRead r = WalkLine(line);
            EXPECT_EQ(r.answer, 0);
            EXPECT_EQ(r.attempts, (std::vector<uint8_t>{kAttemptDisabled}));
            g_params.flagsWord[c.id] |= kFlagEnabled;
            r = WalkLine(line);
            ASSERT_EQ(r.answer, 1) << testing::PrintToString(r.attempts);
            EXPECT_EQ(r.text, c.text);
            EXPECT_EQ(r.aim, "]X0");
            EXPECT_EQ(r.id, c.id);
            EXPECT_EQ(r.codeType, c.codeType);
        }
    }
}

}  // namespace
