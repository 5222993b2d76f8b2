// The edge-distance character reader: pair bands at their boundaries, the spread model's
// tables, the decision at its bounds, backward reads with the same tables, and the Code 128
// tables it reads against.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "linear/code128.h"
#include "linear/code128_lines.h"
#include "linear/line_edge_reader.h"
#include "linear/line_toolkit.h"

namespace {

using namespace vexo;
using namespace linetest;

constexpr u16 kCode128Block[8] = {450, 600, 50, 120, 120, 750, 10, 40};
constexpr u16 kCode93Block[8] = {450, 550, 50, 120, 100, 700, 10, 40};

TEST(LineEdgeReader, PairBandsAtTheirBoundaries) {
    struct Case {
        u32 v;  // thousandths of a module
        int wide;
        u8 first, second;
    };
    const Case cases[] = {
        {0, 1, 2, 0},    {2299, 1, 2, 0}, {2300, 1, 2, 3}, {2350, 1, 2, 3}, {2799, 1, 2, 3}, {2800, 1, 3, 0},
        {2900, 1, 3, 0}, {3199, 1, 3, 0}, {3200, 1, 3, 4}, {3799, 1, 3, 4}, {3800, 1, 4, 0}, {4099, 1, 4, 0},
        {4100, 1, 4, 5}, {4599, 1, 4, 5}, {4600, 1, 5, 0}, {4799, 1, 5, 0}, {4800, 1, 5, 6}, {5599, 1, 5, 6},
        {5600, 1, 6, 7}, {6499, 1, 6, 7}, {6500, 1, 7, 0}, {60000, 1, 7, 0},
        // Without wide elements the bands stop at 5.
        {4599, 0, 4, 5}, {4600, 0, 5, 0}, {4800, 0, 5, 0}, {5600, 0, 5, 0}, {6500, 0, 5, 0},
    };
    for (const Case &c : cases) {
        u8 out[2];
        Line_PairBand(c.v, c.wide, out);
        EXPECT_EQ(out[0], c.first) << c.v << " wide " << c.wide;
        EXPECT_EQ(out[1], c.second) << c.v << " wide " << c.wide;
    }
}

TEST(LineEdgeReader, PairCandidatesFromMeasuredSums) {
    // Ten modules of 160 (a module of 16 units): a pair of 2.35 modules offers 2 and 3,
    // one of 2.9 only 3.
    const u16 edges[] = {0, 160, 376, 536, 600, 700, 800};  // 10.0, 13.5, 10.0, 4.0, ...
    Line_LoadSixWidths(edges, 1, 6);
    ASSERT_EQ(g_edgeReader.pairSums[0], 376);  // 23.5 of 10: 2.35 modules
    EXPECT_EQ(Line_PairCandidates(1600, 1), 1600u);
    EXPECT_EQ(g_edgeReader.pairCandidates[0][0], 2);
    EXPECT_EQ(g_edgeReader.pairCandidates[0][1], 3);
    const u16 edges29[] = {0, 200, 464, 500, 600, 700, 800};
    Line_LoadSixWidths(edges29, 1, 6);
    ASSERT_EQ(g_edgeReader.pairSums[0], 464);  // 2.9 modules
    Line_PairCandidates(1600, 1);
    EXPECT_EQ(g_edgeReader.pairCandidates[0][0], 3);
    EXPECT_EQ(g_edgeReader.pairCandidates[0][1], 0);
    // Backwards the same widths load in the other order.
    Line_LoadSixWidths(edges29 + 6, -1, 6);
    EXPECT_EQ(g_edgeReader.elementWidths[0], 100);
    EXPECT_EQ(g_edgeReader.elementWidths[5], 200);
    EXPECT_EQ(g_edgeReader.totalWidth, 800);
}

TEST(LineEdgeReader, SpreadModelTables) {
    struct Column {
        int neighbour, element, column;
    };
    const Column columns[] = {
        {1, 1, -1}, {1, 2, 0}, {1, 3, 1}, {1, 4, 3}, {1, 9, 3}, {2, 1, 0},  {2, 2, -1}, {2, 3, 2},
        {2, 4, 4},  {2, 9, 4}, {3, 1, 1}, {3, 2, 2}, {3, 3, -1}, {3, 9, -1}, {4, 1, 3},  {4, 2, 4},
        {4, 3, -1}, {9, 1, 3}, {9, 2, 4}, {9, 4, -1}, {0, 1, -1}, {1, 0, -1},
    };
    for (const Column &c : columns)
        EXPECT_EQ(Line_SpreadColumn(c.neighbour, c.element), c.column) << c.neighbour << "," << c.element;
    const int corrections[11][5] = {
        {3, 3, 1, 3, 1},      {7, 7, 1, 7, 1},      {13, 13, 1, 13, 1},   {20, 22, 1, 22, 1},
        {28, 31, 3, 31, 3},   {35, 41, 6, 41, 6},   {41, 51, 8, 52, 10},  {46, 61, 13, 63, 15},
        {51, 70, 17, 75, 20}, {53, 79, 22, 83, 26}, {54, 85, 27, 93, 33},
    };
    for (int level = 0; level <= 10; ++level)
        for (int col = 0; col < 5; ++col) EXPECT_EQ(Line_SpreadCorrection(level, col), corrections[level][col]);
    EXPECT_EQ(Line_SpreadCorrection(11, 0), 0);
    EXPECT_EQ(Line_SpreadCorrection(0, -1), 0);
}

TEST(LineEdgeReader, DecisionAtItsBounds) {
    struct Case {
        const u16 *block;
        i32 best, second;
        int accepted;
        int decision;  // 0 refused, 1 clean, 2 marginal
    };
    const Case cases[] = {
        // A candidate below Q0: margin Q2 clean, Q2 - 40 marginal, below refused.
        {kCode128Block, 300, 350, 1, 1},
        {kCode128Block, 300, 349, 1, 2},
        {kCode128Block, 300, 310, 1, 2},
        {kCode128Block, 300, 309, 1, 0},
        {kCode128Block, 300, 300, 1, 0},
        // None: below Q1 with margin above Q3 clean; up to Q1 + 149 with margin from Q3 - 79.
        {kCode128Block, 599, 720, 0, 1},
        {kCode128Block, 599, 719, 0, 2},
        {kCode128Block, 600, 5000, 0, 2},
        {kCode128Block, 749, 790, 0, 2},
        {kCode128Block, 749, 789, 0, 0},
        {kCode128Block, 750, 5000, 0, 0},
        // Code 93's block: a best score of 700 is refused whatever the margin.
        {kCode93Block, 700, 1 << 30, 0, 0},
        {kCode93Block, 699, 740, 0, 2},
        {kCode93Block, 549, 670, 0, 1},
        {kCode93Block, 549, 669, 0, 2},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Line_DecideSixChar(c.best, c.second, c.accepted, c.block), c.decision)
            << c.best << " " << c.second << " " << c.accepted;
}

// Loads the character of value v (with the elements around it) at `size` units a module,
// bars grown by `grow` units, read from its first element or backward from its last.
void LoadCharacter(u16 v, int size, int grow, bool backward, u16 *unitOut) {
    std::vector<int> runs = {2};  // the previous character's last element (a space)
    const std::vector<int> own = PatternRuns(kCode128Patterns[v]);
    runs.insert(runs.end(), own.begin(), own.end());
    runs.push_back(2);  // the next character's first element (a bar)
    std::vector<u16> edges = {0};
    for (size_t k = 0; k < runs.size(); ++k) {
        const bool bar = k % 2 == 1;
        edges.push_back(static_cast<u16>(edges.back() + runs[k] * size + (bar ? grow : -grow)));
    }
    static std::vector<u16> held;
    held = edges;
    const u16 *first = backward ? &held[held.size() - 2] : &held[1];
    Line_LoadSixWidths(first, backward ? -1 : 1, 6);
    const u16 unit = static_cast<u16>(11 * size * 10 / 11);  // ten modules
    g_edgeReader.acceptedPattern = 0x211212;  // ends on a space of two modules
    const u16 before = backward ? static_cast<u16>(held[held.size() - 1] - held[held.size() - 2])
                                : static_cast<u16>(held[1] - held[0]);
    const u16 after = backward ? static_cast<u16>(held[1] - held[0])
                               : static_cast<u16>(held[held.size() - 1] - held[held.size() - 2]);
    Line_SetSixFrame(before, after, unit);
    *unitOut = unit;
}

TEST(LineEdgeReader, EveryCode128CharacterBothWays) {
    for (int i = 0; i < 8; ++i) g_edgeReaderParams[i] = kCode128Block[i];
    for (const bool backward : {false, true}) {
        for (const int grow : {0, 6}) {
            for (u16 v = 0; v < kCode128Stop; ++v) {
                u16 unit = 0;
                LoadCharacter(v, 40, grow, backward, &unit);
                u8 level = 5;
                lineCleanRead = 1;
                ASSERT_EQ(Line_ReadSixChar(unit, &level, kCode128Patterns, kCode128PairKeys, kCode128Values,
                                           backward ? 0 : 1),
                          1)
                    << v << (backward ? " backward" : "") << " grow " << grow;
                EXPECT_EQ(g_edgeReader.acceptedValue, v);
                const u32 pattern = backward ? Line_ReverseDigits(kCode128Patterns[v], 6) : kCode128Patterns[v];
                EXPECT_EQ(g_edgeReader.acceptedPattern, pattern);
                EXPECT_EQ(lineCleanRead, 1) << v;
                EXPECT_LE(level, 10);
            }
        }
    }
}

TEST(LineEdgeReader, ScoreAtOrBelowQ4AcceptsWhateverTheMargin) {
    // Margins that nothing can reach: only the acceptance at once reads a clean character.
    u16 block[8] = {450, 600, 60000, 60000, 120, 750, 10, 40};
    for (int i = 0; i < 8; ++i) g_edgeReaderParams[i] = block[i];
    u16 unit = 0;
    LoadCharacter(0, 40, 0, false, &unit);
    u8 level = 5;
    lineCleanRead = 1;
    EXPECT_EQ(Line_ReadSixChar(unit, &level, kCode128Patterns, kCode128PairKeys, kCode128Values, 1), 1);
    EXPECT_EQ(lineCleanRead, 1);
    // With Q0 and Q4 below any score the decision runs: the only candidate, beyond Q1 but
    // within Q1 + 149, is accepted by the looser rule.
    block[kSixAtOnce] = 0;
    block[kSixAccept] = 0;
    block[kSixLoose] = 0;
    for (int i = 0; i < 8; ++i) g_edgeReaderParams[i] = block[i];
    LoadCharacter(0, 40, 0, false, &unit);
    lineCleanRead = 1;
    EXPECT_EQ(Line_ReadSixChar(unit, &level, kCode128Patterns, kCode128PairKeys, kCode128Values, 1), 1);
    EXPECT_EQ(lineCleanRead, 0);
    EXPECT_EQ(Line_ReadSixChar(0, &level, kCode128Patterns, kCode128PairKeys, kCode128Values, 1), 0);
}

TEST(Code128Tables, PairTableRebuiltFromThePatterns) {
    std::set<u32> keys;
    for (int v = 0; v < kCode128Values; ++v) {
        const std::vector<int> runs = PatternRuns(kCode128Patterns[v]);
        ASSERT_EQ(runs.size(), v == kCode128Stop ? 7u : 6u) << v;
        int modules = 0;
        int bars = 0;
        u32 key = 0;
        for (size_t k = 0; k < runs.size(); ++k) {
            modules += runs[k];
            bars += k % 2 == 0 ? runs[k] : 0;
            if (k + 1 < runs.size()) key = (key << 4) | static_cast<u32>(runs[k] + runs[k + 1]);
        }
        EXPECT_EQ(modules, v == kCode128Stop ? 13 : 11) << v;
        EXPECT_EQ(bars % 2, 0) << v;  // even bar modules, odd space modules
        EXPECT_EQ(kCode128PairKeys[v], key) << v;
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 107u);  // a pair key names one character
    EXPECT_EQ(kCode128Patterns[kCode128Values], 0u);
    EXPECT_EQ(kCode128PairKeys[kCode128Values], 0u);
    EXPECT_EQ(kCode128Patterns[0], 0x212222u);
    EXPECT_EQ(kCode128PairKeys[0], 0x33444u);
    EXPECT_EQ(kCode128Patterns[103], 0x211412u);
    EXPECT_EQ(kCode128Patterns[104], 0x211214u);
    EXPECT_EQ(kCode128Patterns[105], 0x211232u);
    EXPECT_EQ(kCode128Patterns[106], 0x2331112u);
    EXPECT_EQ(kCode128PairKeys[106], 0x564223u);
}

}  // namespace
