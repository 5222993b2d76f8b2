// The width-class reader on width arrays: ranking, the Code 39 hypotheses, the decision
// thresholds, the score, the spread estimate and the reference update with its guards.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "linear/code39.h"
#include "linear/line_toolkit.h"
#include "linear/width_reader.h"

namespace {

using namespace vexo;

// Code 39 tolerances T0-T7.
constexpr u16 kT[8] = {20, 35, 7, 24, 6, 55, 3, 4};

// Loads a Code 39 character of the given value, narrow n and wide w (1/16 sample).
void LoadCode39(int value, u16 n, u16 w) {
    WIDTH_CHAR &c = g_widthReader.current;
    c = WIDTH_CHAR{};
    c.elementCount = 9;
    c.leadClass = 1;
    c.trailClass = 1;
    c.leadWidth = n;
    c.trailWidth = n;
    u8 classes[9];
    Line_UnpackKey(static_cast<u32>(kCode39Keys[value]), classes, 9, 3);
    for (int k = 0; k < 9; ++k) c.widths[k] = classes[k] == 2 ? w : n;
}

TEST(WidthReader, RankingKeepsEqualWidthsInOrder) {
    const u16 widths[9] = {30, 20, 50, 20, 30, 40, 50, 10, 30};
    u8 order[9];
    Line_RankElements(widths, 9, order);
    // Bars 0, 2, 4, 6, 8 widest first (2 before 6, then 0, 4, 8); spaces 5, then 1 before 3, then 7.
    EXPECT_EQ(std::vector<u8>(order, order + 9), (std::vector<u8>{2, 6, 0, 4, 8, 5, 1, 3, 7}));
}

TEST(WidthReader, Code39KeysOfThePart) {
    EXPECT_EQ(kCode39Keys[kCode39StartStop], 0x144A289);
    u8 classes[9];
    Line_UnpackKey(static_cast<u32>(kCode39Keys[0]), classes, 9, 3);
    EXPECT_EQ(std::vector<u8>(classes, classes + 9), (std::vector<u8>{1, 1, 1, 2, 2, 1, 2, 1, 1}));
    std::set<i32> distinct(kCode39Keys, kCode39Keys + kCode39Values);
    EXPECT_EQ(distinct.size(), 44u);
    for (i32 key : kCode39Keys) {  // three wide elements each, one of them a space at least
        Line_UnpackKey(static_cast<u32>(key), classes, 9, 3);
        int wide = 0, wideSpaces = 0;
        for (int k = 0; k < 9; ++k) {
            wide += classes[k] == 2;
            wideSpaces += classes[k] == 2 && k % 2 == 1;
        }
        EXPECT_EQ(wide, 3);
        EXPECT_GE(wideSpaces, 1);
    }
}

// Each hypothesis alone over clean characters: 0xC4 reads every character with two wide
// bars and one wide space, 0x07 exactly $, /, + and %.
TEST(WidthReader, Code39CandidateList) {
    struct Row {
        u8 index;
        std::set<int> reads;
    };
    std::set<int> twoBars;
    for (int v = 0; v < kCode39Values; ++v)
        if (v < 39 || v > 42) twoBars.insert(v);
    const Row rows[] = {{0, twoBars}, {2, {39, 40, 41, 42}}};
    Line_SetWidthTolerances(kT[0], kT[1], kT[2], kT[3], kT[4], kT[5], kT[6], kT[7]);
    for (const Row &row : rows) {
        EXPECT_EQ(kCode39CandidateList[row.index], row.index == 0 ? 0xC4 : 0x07);
        std::set<int> read;
        for (int v = 0; v < kCode39Values; ++v) {
            WIDTH_READER_SETUP setup;
            Line_InitWidthReader(&setup, kWidthIdCode39, 1, 0, 5, 4, kCode39Keys, kCode39Values, 3,
                                 kCode39CandidateList, row.index, static_cast<u8>(row.index + 1));
            LoadCode39(v, 32, 80);
            WIDTH_REFS refs{};
            lineCleanRead = 1;
            if (Line_ReadWidthChar(&refs, &setup) == 1) {
                EXPECT_EQ(g_widthReader.current.acceptedValue, v);
                EXPECT_EQ(lineCleanRead, 1);
                read.insert(v);
            }
        }
        EXPECT_EQ(read, row.reads) << "candidate " << int(row.index);
    }
    // The whole list in mode 0 against running references reads all 44.
    for (int v = 0; v < kCode39Values; ++v) {
        WIDTH_READER_SETUP setup;
        Line_InitWidthReader(&setup, kWidthIdCode39, 0, 0, 5, 4, kCode39Keys, kCode39Values, 3, kCode39CandidateList, 0,
                             kCode39Candidates);
        WIDTH_REFS refs{.narrowBar = 320, .wideBar = 800, .narrowSpace = 320, .wideSpace = 800,
                        .spreadA = 0, .spreadB = 0, .barDifference = 48, .spaceDifference = 48};
        LoadCode39(v, 33, 78);
        EXPECT_EQ(Line_ReadWidthChar(&refs, &setup), 1) << v;
        EXPECT_EQ(g_widthReader.current.acceptedValue, v);
    }
}

TEST(WidthReader, DecisionThresholds) {
    struct Row {
        i32 best, second;
        int hadAccepted;
        i32 mode;
        int decision;
    };
    const Row rows[] = {
        // An accepted candidate: refused by a margin of T6, unclean from T6 + 1 to T2, clean above.
        {5, 5 + kT[6], 1, 0, 0},
        {5, 5 + kT[6] + 1, 1, 0, 2},
        {5, 5 + kT[2], 1, 0, 2},
        {5, 5 + kT[2] + 1, 1, 1, 1},
        {5, kWidthNoScore, 1, 1, 1},
        // None below T0, mode 0: T1 with margin T3 clean, T5 with margin T7 unclean.
        {kT[1], kT[1] + kT[3], 0, 0, 1},
        {kT[1], kT[1] + kT[3] - 1, 0, 0, 2},
        {kT[5], kT[5] + kT[7], 0, 0, 2},
        {kT[5], kT[5] + kT[7] - 1, 0, 0, 0},
        {kT[5] + 1, 200, 0, 0, 0},
        // None below T0 in mode 1: refused.
        {kT[1], 200, 0, 1, 0},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Line_DecideWidthChar(r.best, r.second, r.hadAccepted, r.mode, kT), r.decision)
            << r.best << " " << r.second << " " << r.hadAccepted << " " << r.mode;
}

WIDTH_RECORD Record(std::vector<i32> widths, std::vector<u8> classes) {
    WIDTH_RECORD r{};
    r.count = static_cast<u8>(widths.size());
    for (size_t k = 0; k < widths.size(); ++k) r.widths[k + 1] = widths[k];
    for (size_t k = 0; k < classes.size(); ++k) r.classes[k] = classes[k];
    return r;
}

TEST(WidthReader, ScoreByHand) {
    const WIDTH_REFS refs{.narrowBar = 200, .wideBar = 500, .narrowSpace = 200, .wideSpace = 600,
                          .spreadA = 0, .spreadB = 0, .barDifference = 30, .spaceDifference = 40};
    // Deviations: bar 21 -> 10 x 10 / 300 = 0.33 -> 0; space 30 -> 1000 / 400 = 2.5 -> 3;
    // bar 44 -> 600 / 300 = 2; space 20 -> 0; bar 35 -> 1500 / 300 = 5. Sum 10, above 2: 3 + 5.
    const WIDTH_RECORD r = Record({21, 30, 44, 20, 35}, {1, 1, 1, 2, 1, 1, 1});
    EXPECT_EQ(Line_ScoreWidths(&r, &refs), 10 + 4);
    WIDTH_REFS flat = refs;
    flat.wideSpace = flat.narrowSpace;
    EXPECT_EQ(Line_ScoreWidths(&r, &flat), 0);
}

TEST(WidthReader, SpreadEstimateByHand) {
    struct Row {
        std::vector<i32> widths;
        std::vector<u8> classes;  // with the frame
        int samples;
        i16 spreadA, spreadB;
    };
    const Row rows[] = {
        // Wide bars at 1 (weight 2), 3 and 5 (weight 1): samples (53 - 50) and (54 - 50) x 1024,
        // mean 3.5 -> 4; no space pair, so the spaces take the bars' value.
        {{50, 20, 53, 50, 54, 20, 20}, {1, 2, 1, 2, 2, 2, 1, 1, 1}, 2, 4, 4},
        // The same pairs narrowing: negative, so 0.
        {{50, 20, 47, 50, 46, 20, 20}, {1, 2, 1, 2, 2, 2, 1, 1, 1}, 2, 0, 0},
        // Bars at 1 (weight 0), 3 and 5 (weight 1): (51 - 52) and (50 - 52) x 1024 / -1, mean
        // 1.5 rounds away to 2; spaces at 2 (weight 0) and 6 (weight 1): (37 - 40) x 1024 / -1.
        {{52, 40, 51, 20, 50, 37, 20}, {2, 2, 2, 2, 1, 2, 2, 1, 1}, 3, 2, 3},
    };
    for (const Row &row : rows) {
        const WIDTH_RECORD r = Record(row.widths, row.classes);
        WIDTH_REFS refs{};
        refs.spreadA = 9;
        refs.spreadB = 9;
        EXPECT_EQ(Line_EstimateSpread(&r, &refs), row.samples);
        EXPECT_EQ(refs.spreadA, row.spreadA);
        EXPECT_EQ(refs.spreadB, row.spreadB);
    }
    // No pair of wide elements with differing weights: the previous values stay.
    const WIDTH_RECORD none = Record({20, 50, 20, 20, 20}, {1, 1, 2, 1, 1, 1, 1});
    WIDTH_REFS refs{};
    refs.spreadA = 7;
    refs.spreadB = 5;
    EXPECT_EQ(Line_EstimateSpread(&none, &refs), 0);
    EXPECT_EQ(refs.spreadA, 7);
    EXPECT_EQ(refs.spreadB, 5);
}

// Loads a character into the reader state as an accepted one.
void LoadAccepted(std::vector<u16> widths, std::vector<u8> classes) {
    WIDTH_CHAR &c = g_widthReader.current;
    c = WIDTH_CHAR{};
    c.elementCount = static_cast<u16>(widths.size());
    c.leadClass = 1;
    c.trailClass = 1;
    for (size_t k = 0; k < widths.size(); ++k) {
        c.widths[k] = widths[k];
        c.classes[k] = classes[k];
    }
}

TEST(WidthReader, ReferenceUpdateJumpGuard) {
    const WIDTH_REFS stored{.narrowBar = 200, .wideBar = 500, .narrowSpace = 200, .wideSpace = 500,
                            .spreadA = 0, .spreadB = 0, .barDifference = 30, .spaceDifference = 30};
    // The character 0 (wide bars at elements 4 and 6): their mean x 10 is the new wide bar.
    struct Row {
        u16 wide4, wide6;
        u16 wideBar;  // afterwards
    };
    const Row rows[] = {
        {67, 68, 675},  // 35 % above: taken
        {68, 68, 500},  // 36 % above: the stored references stay
    };
    for (const Row &row : rows) {
        LoadAccepted({20, 20, 20, 50, row.wide4, 20, row.wide6, 20, 20}, {1, 1, 1, 2, 2, 1, 2, 1, 1});
        WIDTH_REFS refs = stored;
        EXPECT_EQ(Line_UpdateReferences(&refs, 1), 1);
        EXPECT_EQ(refs.wideBar, row.wideBar);
        EXPECT_EQ(refs.narrowBar, 200);
        EXPECT_EQ(refs.wideSpace, 500);
    }
    // From the saved previous character (mode 0).
    g_widthReader.previous = g_widthReader.current;
    LoadAccepted({99, 99, 99, 99, 99, 99, 99, 99, 99}, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    WIDTH_REFS refs = stored;
    EXPECT_EQ(Line_UpdateReferences(&refs, 0), 1);
    EXPECT_EQ(refs.wideBar, 500);
}

TEST(WidthReader, SpreadCorrectionOfMoreThanFortyPercentIsDropped) {
    // Wide bars at 1 (weight 2), 3 and 5 (weight 1) give spread 4 (see above) or 5.
    struct Row {
        u16 w3, w5;
        u16 barDifference;
        i16 spread;  // applied afterwards
    };
    const Row rows[] = {
        {53, 54, 10, 4},  // 4 x 10 = 10 x 4: kept
        {54, 55, 10, 0},  // 5: more than 40 % of 10
        {54, 55, 13, 5},
    };
    for (const Row &row : rows) {
        LoadAccepted({50, 20, row.w3, 50, row.w5, 20, 20}, {2, 1, 2, 2, 2, 1, 1});
        WIDTH_REFS refs{.narrowBar = 200, .wideBar = 520, .narrowSpace = 200, .wideSpace = 500,
                        .spreadA = 0, .spreadB = 0, .barDifference = row.barDifference, .spaceDifference = 30};
        Line_UpdateReferences(&refs, 1);
        EXPECT_EQ(refs.spreadA, row.spread) << row.w3;
        EXPECT_EQ(refs.spreadB, row.spread) << row.w3;
    }
}

TEST(WidthReader, RecomputeRefusesInconsistentKinds) {
    WIDTH_REFS refs{};
    // Spaces all narrow: they borrow the bars' difference.
    const WIDTH_RECORD borrow = Record({20, 20, 50, 20, 50}, {1, 1, 1, 2, 1, 2, 1});
    ASSERT_EQ(Line_RecomputeReferences(&borrow, &refs), 1);
    EXPECT_EQ(refs.narrowBar, 200);
    EXPECT_EQ(refs.wideBar, 500);
    EXPECT_EQ(refs.narrowSpace, 200);
    EXPECT_EQ(refs.wideSpace, 500);
    EXPECT_EQ(refs.spaceDifference, 30);
    // Differences 30 and 11: the smaller below 2/5 of the larger.
    const WIDTH_RECORD uneven = Record({20, 20, 50, 31, 50}, {1, 1, 1, 2, 2, 2, 1});
    EXPECT_EQ(Line_RecomputeReferences(&uneven, &refs), 0);
    // A wide kind narrower than its narrow one.
    const WIDTH_RECORD inverted = Record({50, 20, 20, 50, 50}, {1, 1, 2, 2, 1, 1, 1});
    EXPECT_EQ(Line_RecomputeReferences(&inverted, &refs), 0);
}

// A stop character whose last bar ends the line: the loader reads no edge past either end
// (the arrays hold exactly the character's edges) and leaves the trailing width to its caller.
TEST(WidthReader, LoaderReadsNoEdgeOutsideTheLine) {
    const std::vector<u16> edges = {100, 132, 212, 244, 276, 356, 388, 468, 500, 532};
    for (const i16 direction : {1, -1}) {
        const u16 *first = direction > 0 ? &edges.front() : &edges.back();
        g_widthReader.current = WIDTH_CHAR{};
        g_widthReader.current.trailWidth = 77;
        ASSERT_EQ(Line_LoadCharWidths(first, direction, 9, 2, 10), 1);
        const WIDTH_CHAR &c = g_widthReader.current;
        EXPECT_EQ(c.leadWidth, 77);
        EXPECT_EQ(c.trailWidth, 0);
        EXPECT_EQ(c.trailClass, 2);
        EXPECT_EQ(c.widths[direction > 0 ? 1 : 7], 80);
        EXPECT_EQ(Line_LoadCharWidths(first, direction, 9, 2, 9), 0);  // the character itself cut short
        EXPECT_EQ(Line_LoadCharWidthsMode(first, direction, 9, 1, 10), 1);
        EXPECT_EQ(g_widthReader.current.trailWidth, 0);
    }
    // With the element after the character on the line it is read.
    ASSERT_EQ(Line_LoadCharWidths(&edges.front(), 1, 8, 1, 10), 1);
    EXPECT_EQ(g_widthReader.current.trailWidth, 32);
}

}  // namespace
