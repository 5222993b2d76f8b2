// GS1 DataBar omnidirectional, stacked and Limited: the standard's tables, every character
// value through the readers, the value and check arithmetic, the joining of stacked rows
// across lines and the results, on lines laid out by the test-side encoder.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/test_hooks.h"
#include "linear/code128_lines.h"
#include "linear/databar_lines.h"
#include "linear/line_driver.h"
#include "linear/line_table.h"
#include "linear/line_toolkit.h"
#include "linear/test_hooks_linear.h"

namespace {

using namespace vexo;
using namespace linetest;

// Positions (1/16 sample, 3 samples a module) of module widths in reading order.
std::vector<int32_t> Positions(const std::vector<int> &widths, int unit16 = 48) {
    std::vector<int32_t> pos = {1000};
    for (int w : widths) pos.push_back(pos.back() + w * unit16);
    return pos;
}

TEST(DataBarTables, RowsOfTheStandard) {
    const DATABAR_GROUP &o = kDataBarOmniGroupTable[0];
    EXPECT_EQ(std::vector<int>({o.first, o.oddModules, o.evenModules, o.widestOdd, o.widestEven, o.oddCount, o.evenCount}),
              std::vector<int>({0, 12, 4, 8, 1, 161, 1}));
    const DATABAR_GROUP &l = kDataBarLimitedGroupTable[0];
    EXPECT_EQ(std::vector<int>({l.first, l.oddModules, l.evenModules, l.widestOdd, l.widestEven, l.oddCount, l.evenCount}),
              std::vector<int>({0, 17, 9, 6, 3, 6538, 28}));
    EXPECT_EQ(LimitedCheckWidths(0), std::vector<int>({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3, 1, 1}));
    // Each group's values follow the previous group's; every check pattern has 18 modules.
    for (int g = 1; g < kDataBarOmniGroups; ++g)
        if (g != 5) {
            const DATABAR_GROUP &p = kDataBarOmniGroupTable[g - 1];
            EXPECT_EQ(kDataBarOmniGroupTable[g].first, p.first + p.oddCount * p.evenCount) << g;
        }
    for (int g = 1; g < kDataBarLimitedGroups; ++g)
        EXPECT_EQ(kDataBarLimitedGroupTable[g].first, kDataBarLimitedGroupTable[g - 1].first +
                                                           kDataBarLimitedGroupTable[g - 1].oddCount *
                                                               kDataBarLimitedGroupTable[g - 1].evenCount)
            << g;
    std::set<int32_t> keys;
    for (int c = 0; c < kDataBarLimitedChecks; ++c) {
        int sum = 0;
        for (int w : LimitedCheckWidths(c)) sum += w;
        EXPECT_EQ(sum, 18) << c;
        keys.insert(kDataBarLimitedCheckKeys[c]);
    }
    EXPECT_EQ(keys.size(), 89u);
    // Weights from their formulas.
    int p79 = 1, p89 = 1;
    for (int k = 0; k < 32; ++k, p79 = p79 * 3 % 79) EXPECT_EQ(kDataBarOmniWeights[k], p79) << k;
    for (int k = 0; k < 28; ++k, p89 = p89 * 3 % 89) EXPECT_EQ(kDataBarLimitedWeights[k], p89) << k;
    for (int f = 0; f < kDataBarFinders; ++f) {
        int sum = 0;
        for (int w : FinderWidths(f)) sum += w;
        EXPECT_EQ(sum, 15) << f;
    }
}

// Every value of every omnidirectional group, and the Limited values at each group's ends
// and on a stride through it, go to widths by the standard's encoder and come back.
TEST(DataBarTables, EveryCharacterValueRoundTrips) {
    const uint8_t *w = kDataBarOmniWeights;
    for (int v = 0; v < 2841; ++v) {
        const std::vector<int> widths = OmniCharWidths(v, true);
        int32_t sum = 0;
        ASSERT_EQ(DataBar_ReadOmniChar(Positions(widths).data(), 1, w, &sum), v) << "outside " << v;
        EXPECT_EQ(sum, WeightedSum(widths, w));
    }
    for (int v = 0; v < 1597; ++v) {
        const std::vector<int> widths = OmniCharWidths(v, false);
        int32_t sum = 0;
        ASSERT_EQ(DataBar_ReadOmniChar(Positions(widths).data(), 0, w + 8, &sum), v) << "inside " << v;
        EXPECT_EQ(sum, WeightedSum(widths, w + 8));
    }
    for (int g = 0; g < kDataBarLimitedGroups; ++g) {
        const int first = kDataBarLimitedGroupTable[g].first;
        const int end = first + kDataBarLimitedGroupTable[g].oddCount * kDataBarLimitedGroupTable[g].evenCount;
        for (int v = first; v < end; v += (v - first < 300 || end - v < 300) ? 1 : 37) {
            int32_t sum = 0;
            ASSERT_EQ(DataBar_ReadLimitedChar(Positions(LimitedCharWidths(v)).data(), kDataBarLimitedWeights, &sum), v)
                << "Limited " << v;
        }
    }
    for (int f = 0; f < kDataBarFinders; ++f) EXPECT_EQ(DataBar_ReadFinder(Positions(FinderWidths(f)).data()), f);
    for (int c = 0; c < kDataBarLimitedChecks; ++c)
        EXPECT_EQ(DataBar_ReadLimitedCheck(Positions(LimitedCheckWidths(c)).data()), c);
}

TEST(DataBarArithmetic, ChecksumToFinders) {
    EXPECT_EQ(DataBar_ChecksumToFinders(7), 7);    // finders 0 and 7
    EXPECT_EQ(DataBar_ChecksumToFinders(8), 9);    // finders 1 and 0
    EXPECT_EQ(DataBar_ChecksumToFinders(70), 71);
    EXPECT_EQ(DataBar_ChecksumToFinders(71), 73);  // finders 8 and 1
    EXPECT_EQ(DataBar_ChecksumToFinders(78), 80);  // finders 8 and 8
}

struct ValueCase {
    const char *what;
    std::vector<int> runs;
    std::string text;
    uint16_t link;     // with the composite word on
    int32_t codeType;
};

// Whole symbols through the walk, forward and reversed, with DataBar and composite on.
TEST(DataBarArithmetic, ValuesAndLinkageThroughTheWalk) {
    const ValueCase cases[] = {
        {"omni 10^13 linked", MakeOmni(0, true).Whole(), "00000000000000", 7, 42},
        {"omni 0", MakeOmni(0).Whole(), "00000000000000", 0, 42},
        {"omni largest", MakeOmni(9999999999999ULL).Whole(), Gtin14(9999999999999ULL), 0, 42},
        {"omni largest linked", MakeOmni(9999999999999ULL, true).Whole(), Gtin14(9999999999999ULL), 7, 42},
        {"omni GTIN", MakeOmni(2001234567890ULL).Whole(), "20012345678909", 0, 42},
        {"Limited offset linked", LimitedRuns(0, true), "00000000000000", 9, 43},
        {"Limited below offset", LimitedRuns(1999999999999ULL), Gtin14(1999999999999ULL), 0, 43},
        {"Limited GTIN", LimitedRuns(1501234567890ULL), Gtin14(1501234567890ULL), 0, 43},
        {"Limited GTIN linked", LimitedRuns(1501234567890ULL, true), Gtin14(1501234567890ULL), 9, 43},
    };
    for (const ValueCase &c : cases) {
        for (const bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (reversed ? " reversed" : ""));
            Test_ResetDecoderStatics();
            SetDataBarWords(0, kFlagEnabled);
            EdgeLine line = MakeEdgeLine(c.runs, {.moduleSamples = 3, .jitter16 = 1, .reversed = reversed, .seed = 3});
            const WalkRead r = WalkLine(line);
            EXPECT_EQ(r.answer, 1);
            EXPECT_EQ(r.text, c.text);
            EXPECT_EQ(r.aim, "]e0");
            EXPECT_EQ(r.id, kSymDataBar);
            EXPECT_EQ(r.link, c.link);
            EXPECT_EQ(r.codeType, c.codeType);
        }
    }
    Test_ResetDecoderStatics();
}

// Records 17 and 18 fail on a damaged symbol and leave kind 0; a wrong checksum never reads.
TEST(DataBarArithmetic, DamagedSymbolsAreRefused) {
    std::vector<int> omni = MakeOmni(2001234567890ULL).Whole();
    std::swap(omni[3], omni[5]);  // a different outside character of the same group: checksum breaks
    std::vector<int> ltd = LimitedRuns(1501234567890ULL);
    std::swap(ltd[3], ltd[5]);
    for (const auto &runs : {omni, ltd}) {
        Test_ResetDecoderStatics();
        SetDataBarWords();
        EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 3});
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, 0);
    }
    Test_ResetDecoderStatics();
}

// Record 19 alone, as the walk runs it, on one row line after another.
struct StackedStep {
    char row;             // 'U' upper, 'L' lower, 'W' the whole symbol on one line
    int answer;           // Line_DecodeEdgeLine
    std::vector<uint8_t> attempts;
};

WalkRead WalkStacked(const std::vector<int> &runs) {
    EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 3, .jitter16 = 1});
    return WalkLine(line);
}

void OnlyStacked() {
    Test_ClearLineTable();
    const LINE_SYMBOLOGY rec = kLineTableAtLoad.records[19];
    Test_InstallLineRecord(0, &rec);
}

TEST(DataBarStacked, RowsJoinOnTheConfirmingSighting) {
    const OmniSymbol s = MakeOmni(2001234567890ULL);
    struct Sequence {
        const char *what;
        std::vector<StackedStep> steps;
    };
    const Sequence sequences[] = {
        {"upper once, lower twice, upper again",
         {{'U', 0, {4}}, {'L', 0, {4}}, {'L', 0, {4}}, {'U', 1, {3}}}},
        {"lower once, upper twice, lower again",
         {{'L', 0, {4}}, {'U', 0, {4}}, {'U', 0, {4}}, {'L', 1, {3}}}},
        {"each twice in turn completes on the later confirmation",
         {{'U', 0, {4}}, {'L', 0, {4}}, {'U', 0, {4}}, {'L', 1, {3}}}},
        {"the whole symbol at once", {{'W', 1, {3}}}},
        {"a completed symbol starts over", {{'U', 0, {4}}, {'U', 0, {4}}, {'L', 0, {4}}, {'L', 1, {3}}, {'U', 0, {4}}, {'L', 0, {4}}}},
    };
    for (const Sequence &q : sequences) {
        Test_ResetDecoderStatics();
        SetDataBarWords();
        OnlyStacked();
        int step = 0;
        for (const StackedStep &st : q.steps) {
            SCOPED_TRACE(testing::Message() << q.what << " step " << step++);
            const WalkRead r = WalkStacked(st.row == 'U' ? s.Upper() : st.row == 'L' ? s.Lower() : s.Whole());
            EXPECT_EQ(r.answer, st.answer);
            EXPECT_EQ(r.attempts, st.attempts);
            if (st.answer == 1) {
                EXPECT_EQ(r.text, "20012345678909");
                EXPECT_EQ(r.codeType, 42);
            }
        }
    }
    Test_ResetDecoderStatics();
}

TEST(DataBarStacked, PartialRowsAreReportedAndTablesEmptiedByReset) {
    const OmniSymbol s = MakeOmni(123456789012ULL);
    Test_ResetDecoderStatics();
    SetDataBarWords();
    OnlyStacked();
    WalkStacked(s.Lower());
    LINE_AUX_ENTRY room[kLineSegmentCapacity] = {};
    LINE_AUX out{};
    out.segments = room;
    ASSERT_EQ(Line_CopyPartialSegment(&out), 1);
    ASSERT_EQ(out.segmentCount, 1);
    EXPECT_EQ(room[0].finder, s.rightFinder);
    EXPECT_EQ(room[0].present, 1);
    EXPECT_EQ(static_cast<int16_t>(Line_GetResultAuxDirection()), -2);
    i16 dirs[kLineAttemptLimit];
    ASSERT_EQ(Line_CopyAttemptDirections(dirs), 1);
    EXPECT_EQ(dirs[0], -2);
    WalkStacked(s.Lower());
    EXPECT_EQ(g_dataBarStacked.lowerVotes[0].count, 2);
    Line_Reset();
    for (const DATABAR_VOTE &v : g_dataBarStacked.lowerVotes) EXPECT_EQ(v.count, 0);
    // After the reset the lower row's two sightings are gone: two upper sightings complete nothing.
    EXPECT_EQ(WalkStacked(s.Upper()).answer, 0);
    EXPECT_EQ(WalkStacked(s.Upper()).answer, 0);
    EXPECT_EQ(WalkStacked(s.Lower()).answer, 0);
    EXPECT_EQ(WalkStacked(s.Lower()).answer, 1);
    Test_ResetDecoderStatics();
}

TEST(DataBarStacked, AFifthUpperRowReplacesTheLeastCounted) {
    Test_ResetDecoderStatics();
    SetDataBarWords();
    OnlyStacked();
    const uint64_t values[] = {1, 20000000, 300000000000ULL, 4000000000000ULL, 5555555555555ULL};
    // Entries 0 and 2 seen twice, 1 and 3 once: the fifth row goes to entry 1 (lowest count, lowest index).
    for (int k = 0; k < 4; ++k) WalkStacked(MakeOmni(values[k]).Upper());
    WalkStacked(MakeOmni(values[0]).Upper());
    WalkStacked(MakeOmni(values[2]).Upper());
    const OmniSymbol fifth = MakeOmni(values[4]);
    WalkStacked(fifth.Upper());
    const DATABAR_VOTE *t = g_dataBarStacked.upperVotes;
    EXPECT_EQ(t[0].count, 2);
    EXPECT_EQ(t[1].count, 1);
    EXPECT_EQ(t[1].finder, fifth.leftFinder);
    EXPECT_EQ(t[2].count, 2);
    EXPECT_EQ(t[3].finder, MakeOmni(values[3]).leftFinder);
    // All equal at first: replaced from entry 0.
    Test_ResetDecoderStatics();
    SetDataBarWords();
    OnlyStacked();
    for (int k = 0; k < 5; ++k) WalkStacked(MakeOmni(values[k]).Upper());
    EXPECT_EQ(g_dataBarStacked.upperVotes[0].finder, fifth.leftFinder);
    EXPECT_EQ(g_dataBarStacked.upperVotes[0].count, 1);
    Test_ResetDecoderStatics();
}

struct VerifyCase {
    const char *what;
    bool linked;
    uint32_t dataBarWord;   // ORed into the enabled word; kFlagEnabled cleared when disabled is set
    bool dataBarOn;
    uint32_t composite;
    int answer;
    std::string text;
    uint16_t link;
    std::vector<uint8_t> attempts;
};

TEST(DataBarResults, PermissionPrefixAndLengths) {
    const VerifyCase cases[] = {
        {"linked, DataBar off, composite on", true, 0, false, kFlagEnabled, 1, "20012345678909", 7, {3}},
        {"unlinked, DataBar off, composite on", false, 0, false, kFlagEnabled, 0, "", 0, {1}},
        // Refused by records 17 to 19 without a log entry; record 20 then reads one of its
        // pairs as an Expanded-like pair and logs a partial row.
        {"linked, DataBar on, composite off", true, 0, true, 0, 0, "", 7, {5}},
        {"01 prefix", false, 1u << 31, true, 0, 1, "0120012345678909", 0, {3}},
        {"prefix and lengths 14..14", false, (1u << 31) | 0x0E0E, true, 0, 0, "", 0, {2}},
        {"lengths 16 and 20 with prefix", false, (1u << 31) | 0x1410, true, 0, 1, "0120012345678909", 0, {3}},
    };
    for (const VerifyCase &c : cases) {
        SCOPED_TRACE(c.what);
        Test_ResetDecoderStatics();
        SetDataBarWords(0, c.composite);
        uint32_t &w = g_params.flagsWord[kSymDataBar];
        if ((c.dataBarWord & 0xFFFF) != 0) w &= ~0xFFFFu;
        w |= c.dataBarWord;
        if (!c.dataBarOn) w &= ~kFlagEnabled;
        EdgeLine line = MakeEdgeLine(MakeOmni(2001234567890ULL, c.linked).Whole(), {.moduleSamples = 3});
        const WalkRead r = WalkLine(line);
        EXPECT_EQ(r.answer, c.answer);
        EXPECT_EQ(r.text, c.text);
        if (c.answer == 1) {
            EXPECT_EQ(r.link, c.link);
        }
        // Records 17 and 18 both try the line; only the one that reads it logs.
        std::vector<uint8_t> logged;
        for (uint8_t a : r.attempts)
            if (a != 0) logged.push_back(a);
        EXPECT_EQ(logged, c.attempts);
    }
    Test_ResetDecoderStatics();
}

}  // namespace
