// Code 128 reading on value sequences built from the standard's patterns: whole lines at
// several module sizes, ink spreads and both directions; partial reads voted together over
// several lines; damaged characters; the bounds of the reads and the vote table. The record's
// state lives across lines, so each case starts from Code128_Reset and drives its lines in
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/test_hooks.h"
#include "linear/code128.h"
#include "linear/code128_lines.h"
#include "linear/edge_lists.h"
#include "linear/line_driver.h"
#include "linear/line_edge_reader.h"
#include "linear/line_toolkit.h"

namespace {

using namespace vexo;
using namespace linetest;

// The profile path caps a line at 4,095 samples.
bool FitsLine(const std::vector<int> &runs, double size) {
    int modules = 40;
    for (int r : runs) modules += r;
    return modules * size <= 4095;
}

// Elements 1..3 of character k (position k of the values) merged into one space: the
// character keeps its width but shows four elements.
std::vector<int> Damage(std::vector<int> runs, int k) {
    const size_t at = static_cast<size_t>(6 * k + 1);
    runs[at] = runs[at] + runs[at + 1] + runs[at + 2];
    runs.erase(runs.begin() + static_cast<long>(at) + 1, runs.begin() + static_cast<long>(at) + 3);
    return runs;
}

std::vector<uint8_t> Data(uint8_t start, std::initializer_list<int> data) {
    std::vector<uint8_t> v = {start};
    for (int d : data) v.push_back(static_cast<uint8_t>(d));
    return WithCheck(v);
}

constexpr int kExpectedSmallModuleMisses = 0;

class Code128Test : public testing::Test {
protected:
    void SetUp() override {
        Test_ResetDecoderStatics();
        Code128_Reset();
    }
    void TearDown() override { Test_ResetDecoderStatics(); }
};

TEST_F(Code128Test, WholeLinesDeliverExactlyTheValues) {
    struct Case {
        const char *what;
        std::vector<uint8_t> values;
    };
    std::mt19937 rng(128);
    std::vector<uint8_t> long80 = {104};
    for (int i = 0; i < 80; ++i) long80.push_back(static_cast<uint8_t>(rng() % 103));
    const Case cases[] = {
        {"no data", Data(104, {})},
        {"set B text", Data(104, {40, 69, 76, 76, 79, 12, 0, 17, 18, 24, 1})},
        {"set C digits", Data(105, {12, 34, 56, 78, 90, 0, 99})},
        {"set A controls and a shift", Data(103, {33, 64, 95, 98, 65, 34})},
        {"code changes", Data(104, {33, 99, 12, 34, 101, 65, 100, 66})},
        {"FNC1 first (GS1-128)", Data(105, {102, 1, 12, 34, 56, 78, 90, 12, 31})},
        {"FNC2", Data(104, {97, 33, 34, 35})},
        {"FNC3", Data(104, {96, 33, 34})},
        {"FNC4 in set B", Data(104, {100, 100, 33, 100, 34})},
        {"FNC4 in set A", Data(103, {101, 33, 101, 101, 34})},
        {"Start A, Code C, a value below 86", Data(103, {99, 12, 34, 56})},
        {"Start A, Code B, a letter", Data(103, {100, 65, 66, 67})},
        {"Start A, Shift, a control", Data(103, {98, 5, 33, 34})},
        {"80 data values", WithCheck(long80)},
    };
    for (const Case &c : cases) {
        const std::vector<int> runs = SymbolRuns(c.values);
        for (const double size : {2.0, 2.5, 3.0, 4.0, 5.0, 6.0}) {
            if (!FitsLine(runs, size)) continue;  // longer than a profile
            for (const double spread : {0.0, 0.1, 0.2}) {
                for (const bool reversed : {false, true}) {
                    const uint32_t seed = static_cast<uint32_t>(size * 100 + spread * 10) * 2 + (reversed ? 1 : 0);
                    SCOPED_TRACE(testing::Message() << c.what << " at " << size << " spread " << spread
                                                    << (reversed ? " reversed" : "") << " seed " << seed);
                    Code128_Reset();
                    const EdgeLine line = MakeEdgeLine(
                        runs, {.moduleSamples = size, .spread = spread, .jitter16 = 1, .reversed = reversed, .seed = seed});
                    const LineRead r = ReadCode128Line(line);
                    ASSERT_EQ(r.count, c.values.size() - 1);
                    EXPECT_EQ(r.data, c.values);
                    EXPECT_EQ(g_code128.expectedCount, 0);  // a delivery resets the state
                }
            }
        }
    }
}

// 1.5 samples a module and 30 % spread lie beyond what the reader is built for: a line is
// read exactly or not at all, and the misses are counted, not tuned away.
TEST_F(Code128Test, SmallModulesWithHeavySpreadNeverMisread) {
    int misses = 0;
    int total = 0;
    std::vector<std::string> missed;
    for (const int length : {5, 20, 40, 80}) {
        for (uint32_t seed = 1; seed <= 20; ++seed) {
            for (const bool reversed : {false, true}) {
                std::mt19937 rng(seed * 1000 + static_cast<uint32_t>(length));
                std::vector<uint8_t> v = {static_cast<uint8_t>(103 + rng() % 3)};
                for (int i = 0; i < length; ++i) v.push_back(static_cast<uint8_t>(rng() % 103));
                v = WithCheck(v);
                Code128_Reset();
                const EdgeLine line = MakeEdgeLine(
                    SymbolRuns(v), {.moduleSamples = 1.5, .spread = 0.3, .jitter16 = 1, .reversed = reversed, .seed = seed});
                const LineRead r = ReadCode128Line(line);
                ++total;
                if (r.count == 0) {
                    ++misses;
                    missed.push_back(std::to_string(length) + "/" + std::to_string(seed) + (reversed ? "r" : ""));
                    continue;
                }
                EXPECT_EQ(r.data, v) << "length " << length << " seed " << seed << (reversed ? " reversed" : "");
            }
        }
    }
    std::string list;
    for (const std::string &m : missed) list += " " + m;
    std::printf("1.5 samples a module, 30 %% spread: %d of %d lines missed:%s\n", misses, total, list.c_str());
    EXPECT_EQ(misses, kExpectedSmallModuleMisses) << list;
}


// ---- Votes across lines.

// Twelve symbol characters (start, ten data values, check).
const std::vector<uint8_t> kTwelve = Data(104, {33, 34, 35, 36, 37, 38, 39, 40, 41, 42});
const std::vector<uint8_t> kEight = Data(105, {12, 34, 56, 78, 90, 11});

struct LinePlan {
    const std::vector<uint8_t> *values = &kTwelve;
    int damaged = -1;    // a character destroyed on this line
    int cutFront = 0;    // characters lost at the line's start (the start first)
    int cutBack = -1;    // characters lost before the stop (with the stop); -1 keeps the stop
    bool reversed = false;
    bool wrongCheck = false;
};

EdgeLine LineOf(const LinePlan &l, double size = 3.0, uint32_t seed = 7) {
    std::vector<uint8_t> values = *l.values;
    if (l.wrongCheck) values.back() = static_cast<uint8_t>((values.back() + 1) % 103);
    std::vector<int> runs = SymbolRuns(values);
    if (l.damaged >= 0) runs = Damage(runs, l.damaged);
    const int back = l.cutBack < 0 ? 0 : 7 + 6 * l.cutBack;
    return MakeEdgeLine(runs, {.moduleSamples = size, .spread = 0.1, .jitter16 = 1, .reversed = l.reversed,
                               .cutFront = 6 * l.cutFront, .cutBack = back, .seed = seed});
}

struct Step {
    LinePlan line;
    uint16_t delivered;  // decode's answer
    uint16_t expectedCount;
    int probe;           // a vote position and its first candidate's votes after the line
    uint8_t probeVotes;
    uint16_t flags;      // bits 14 and 15 of the multi-read flags
};

struct Sequence {
    const char *what;
    uint16_t flagsBefore;
    std::vector<Step> steps;
};

TEST_F(Code128Test, VotesAcrossLines) {
    constexpr uint16_t kPend = kMultiReadPending;
    constexpr uint16_t kConf = kMultiReadConfirmed;
    const Sequence sequences[] = {
        {"a first whole-line read clears bits 14 and 15", kPend | kConf, {{{}, 11, 0, 0, 0, 0}}},
        {"the same, reversed", kPend | kConf, {{{.reversed = true}, 11, 0, 0, 0, 0}}},
        {"stop-only line, then both guards, then a whole line equal to the votes",
         0,
         {
             // Positions 11 down to 4 vote from the top of the table (255 = the check value).
             {{.cutFront = 4}, 0, 0, 255, 1, 0},
             // Moved into place; the damaged character 6 keeps the one vote it had.
             {{.damaged = 6}, 0, 12, 6, 1, kPend},
             {{.damaged = 6}, 0, 12, 5, 5, kPend},
             {{}, 11, 0, 0, 0, kPend | kConf},
         }},
        {"character k damaged on one line and j on the next: delivered from the votes",
         0,
         {
             {{.damaged = 3}, 0, 12, 3, 0, kPend},
             {{.damaged = 8}, 11, 0, 0, 0, kConf},
         }},
        {"the same, reversed lines",
         0,
         {
             {{.damaged = 3, .reversed = true}, 0, 12, 2, 2, kPend},
             {{.damaged = 8, .reversed = true}, 11, 0, 0, 0, kConf},
         }},
        {"a count that disagrees resets the state",
         0,
         {
             {{.damaged = 3}, 0, 12, 0, 2, kPend},
             {{.values = &kEight}, 0, 0, 0, 0, kPend},
             {{.values = &kEight}, 7, 0, 0, 0, 0},
         }},
        {"a failed check votes without the check value; its majority is refused",
         0,
         {
             {{.wrongCheck = true}, 0, 12, 11, 1, kPend},
             {{.wrongCheck = true}, 0, 12, 11, 2, kPend},
             {{}, 11, 0, 0, 0, 0},
         }},
        {"start-only lines and stop-only lines meet",
         0,
         {
             {{.cutBack = 3}, 0, 0, 0, 1, 0},
             {{.cutFront = 3}, 0, 0, 255, 1, 0},
             // Position 5 has one vote from each of them: enough with this line's own.
             {{.damaged = 5}, 11, 0, 0, 0, kConf},
         }},
    };
    for (const Sequence &seq : sequences) {
        Code128_Reset();
        lineMultiReadFlags = seq.flagsBefore;
        for (size_t i = 0; i < seq.steps.size(); ++i) {
            const Step &st = seq.steps[i];
            SCOPED_TRACE(testing::Message() << seq.what << ", line " << i);
            const EdgeLine line = LineOf(st.line);
            const LineRead r = ReadCode128Line(line);
            EXPECT_EQ(r.count, st.delivered);
            if (st.delivered > 0) {
                EXPECT_EQ(r.data, *st.line.values);
            }
            EXPECT_EQ(g_code128.expectedCount, st.expectedCount);
            EXPECT_EQ(g_code128.votes[st.probe].votes1, st.probeVotes);
            EXPECT_EQ(lineMultiReadFlags & (kPend | kConf), st.flags);
        }
    }
}

TEST_F(Code128Test, SymbolLengthLimits) {
    // No data characters: two symbol characters, one value delivered.
    const std::vector<uint8_t> empty = Data(104, {});
    const LineRead r = ReadCode128Line(MakeEdgeLine(SymbolRuns(empty), {.moduleSamples = 3}));
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.data, empty);
    // 126 data characters make 128 with start and check; 127 are refused.
    for (const int data : {126, 127}) {
        std::vector<uint8_t> v = {105};
        for (int i = 0; i < data; ++i) v.push_back(static_cast<uint8_t>((i * 37) % 100));
        v = WithCheck(v);
        Code128_Reset();
        const LineRead big = ReadCode128Line(MakeEdgeLine(SymbolRuns(v), {.moduleSamples = 2}));
        EXPECT_EQ(big.count, data == 126 ? 127 : 0) << data;
        EXPECT_EQ(g_code128.expectedCount, 0) << data;
    }
}

TEST_F(Code128Test, NoPartialSearchOnceAWholeSymbolWasLocated) {
    // The check fails, so the whole symbol is not delivered; the line's own guards would do
    // for a partial read, but none is made.
    LinePlan plan;
    plan.wrongCheck = true;
    const LineRead r = ReadCode128Line(LineOf(plan));
    EXPECT_EQ(r.candidates, 1);
    EXPECT_EQ(g_code128.partialMode, 0);
    // A line with a damaged character is not located whole: the partial search runs, once.
    Code128_Reset();
    LinePlan damaged;
    damaged.damaged = 4;
    const EdgeLine line = LineOf(damaged);
    LINE_LOCATE_STATE st = LocateState(line);
    EXPECT_EQ(Code128_Locate(&st), 1);
    EXPECT_EQ(g_code128.partialMode, 1);
    EXPECT_EQ(st.nextPos, line.edges.size());
    EXPECT_EQ(g_code128.startFound, 1);
    EXPECT_EQ(g_code128.stopFound, 1);
}

TEST_F(Code128Test, DeliveryNeedsAClearMajority) {
    struct Case {
        uint8_t votes1, votes2, marginal1;
        bool wrongCheck;
        uint16_t delivered;
    };
    const Case cases[] = {
        {2, 0, 0, false, 1}, {1, 0, 0, false, 0}, {2, 1, 0, false, 0}, {3, 1, 0, false, 1},
        {4, 2, 0, false, 0}, {5, 2, 0, false, 1}, {3, 0, 1, false, 0}, {4, 0, 1, false, 1},
        {9, 0, 0, true, 0},
    };
    uint8_t buffer[8];
    for (const Case &c : cases) {
        Code128_Reset();
        g_code128.expectedCount = 2;
        for (int pos = 0; pos < 2; ++pos) {
            CODE128_VOTE &v = g_code128.votes[pos];
            v.value1 = pos == 0 ? 104 : (c.wrongCheck ? 2 : 1);  // 104 mod 103 = 1
            v.votes1 = c.votes1;
            v.value2 = 7;
            v.votes2 = c.votes2;
            v.marginal1 = pos == 1 ? c.marginal1 : 0;
        }
        lineMultiReadFlags = kMultiReadPending;
        LINE_DECODE_CTX ctx{};
        ctx.data = buffer;
        ctx.capacity = sizeof buffer;
        EXPECT_EQ(Code128_DeliverVotes(&ctx), c.delivered)
            << int(c.votes1) << " " << int(c.votes2) << " " << int(c.marginal1) << " " << c.wrongCheck;
        if (c.delivered != 0) {
            EXPECT_EQ(lineMultiReadFlags, kMultiReadConfirmed);
            EXPECT_EQ(buffer[0], 104);
            EXPECT_EQ(buffer[1], 1);
            EXPECT_EQ(g_code128.expectedCount, 0);
        }
    }
}

TEST_F(Code128Test, AddAndMergeVotes) {
    const uint8_t none[4] = {0, 0, 0, 0};
    const uint8_t marked[4] = {1, 1, 1, 1};
    auto add = [&](uint8_t v, bool marginal, int pos = 0) {
        Code128_AddVotes(&v, marginal ? marked : none, pos, 1, 1);
    };
    // First, equal, second, and the second overtaking the first.
    add(5, false);
    add(5, true);
    add(9, false);
    EXPECT_EQ(g_code128.votes[0].value1, 5);
    EXPECT_EQ(g_code128.votes[0].votes1, 2);
    EXPECT_EQ(g_code128.votes[0].marginal1, 1);
    EXPECT_EQ(g_code128.votes[0].value2, 9);
    add(9, false);
    EXPECT_EQ(g_code128.votes[0].value1, 9);  // votes2 >= votes1: the candidates change places
    EXPECT_EQ(g_code128.votes[0].votes1, 2);
    EXPECT_EQ(g_code128.votes[0].value2, 5);
    EXPECT_EQ(g_code128.votes[0].marginal2, 1);
    add(11, false);  // replaces the second candidate
    EXPECT_EQ(g_code128.votes[0].value2, 11);
    EXPECT_EQ(g_code128.votes[0].votes2, 1);
    // Unknown values move the position but leave no vote; backward steps go down.
    const uint8_t three[3] = {20, kCode128Unknown, 22};
    Code128_AddVotes(three, none, 255, 3, -1);
    EXPECT_EQ(g_code128.votes[255].value1, 20);
    EXPECT_EQ(g_code128.votes[254].votes1, 0);
    EXPECT_EQ(g_code128.votes[253].value1, 22);
    // Merging with a count of 3 moves 253..255 onto 0..2: 22 with four votes outweighs 9.
    g_code128.votes[253].votes1 = 4;
    Code128_MergeVotes(3);
    EXPECT_EQ(g_code128.votes[0].value1, 22);
    EXPECT_EQ(g_code128.votes[0].votes1, 4);
    EXPECT_EQ(g_code128.votes[0].value2, 9);
    EXPECT_EQ(g_code128.votes[0].votes2, 2);
    EXPECT_EQ(g_code128.votes[1].votes1, 0);
    EXPECT_EQ(g_code128.votes[2].value1, 20);
    EXPECT_EQ(g_code128.votes[2].votes1, 1);
    EXPECT_EQ(g_code128.votes[255].value1, 20);  // the top stays as it was
}

TEST_F(Code128Test, VoteCountsSaturate) {
    const uint8_t v = 7;
    const uint8_t clean = 0;
    for (int i = 0; i < 300; ++i) Code128_AddVotes(&v, &clean, 10, 1, 1);
    EXPECT_EQ(g_code128.votes[10].votes1, 255);
    EXPECT_EQ(g_code128.votes[10].value1, 7);
    const uint8_t other = 8;
    Code128_AddVotes(&other, &clean, 10, 1, 1);
    EXPECT_EQ(g_code128.votes[10].value1, 7);
    EXPECT_EQ(g_code128.votes[10].votes2, 1);
    // The merge saturates as well.
    g_code128.votes[255] = CODE128_VOTE{.value1 = 7, .value2 = 0, .votes1 = 200, .votes2 = 0, .marginal1 = 0, .marginal2 = 0};
    g_code128.votes[0] = CODE128_VOTE{.value1 = 7, .value2 = 0, .votes1 = 100, .votes2 = 0, .marginal1 = 1, .marginal2 = 0};
    Code128_MergeVotes(1);
    EXPECT_EQ(g_code128.votes[0].votes1, 255);
    EXPECT_EQ(g_code128.votes[0].marginal1, 0);  // a clean contribution clears the mark
}

// ---- Damaged characters.

// Edges of module runs at 16 units a module, from 0.
std::vector<uint16_t> Edges(const std::vector<int> &runs, int unit = 16) {
    std::vector<uint16_t> e = {0};
    for (int r : runs) e.push_back(static_cast<uint16_t>(e.back() + r * unit));
    return e;
}

TEST_F(Code128Test, SkipDamagedFollowsTheTolerance) {
    struct Case {
        const char *what;
        std::vector<int> runs;
        int answer, position, anchor;
    };
    const Case cases[] = {
        {"clean character", {2, 1, 2, 2, 2, 2, 2}, 1, 0, 0},
        {"one damaged character (four elements)", {2, 5, 2, 2, 2, 1, 2, 2, 2, 2, 2}, 1, 1, 4},
        {"a two-character group", {4, 4, 4, 4, 4, 2, 2, 1, 2, 2, 2, 2, 2}, 1, 2, 6},
        {"two damaged characters in a row", {2, 5, 2, 2, 2, 5, 2, 2, 2, 1, 2, 2, 2, 2, 2}, 1, 2, 8},
        {"three damaged characters", {2, 5, 2, 2, 2, 5, 2, 2, 2, 5, 2, 2, 2, 1, 2, 2, 2, 2, 2}, 0, 0, -1},
        {"a gap of more than two characters", {8, 8, 8, 8, 2, 1, 2, 2, 2, 2, 2}, 0, 0, -1},
        {"running out of elements", {2, 5, 2, 2, 2}, 0, 0, -1},
    };
    for (const Case &c : cases) {
        const std::vector<uint16_t> e = Edges(c.runs);
        i32 anchor = 0;
        i32 remaining = static_cast<i32>(c.runs.size());  // the last element follows a character
        int position = 0;
        EXPECT_EQ(Code128_SkipDamaged(e.data(), static_cast<u16>(e.size()), &anchor, &remaining, 1, 176, &position),
                  c.answer)
            << c.what;
        if (c.answer == 1) {
            EXPECT_EQ(position, c.position) << c.what;
            EXPECT_EQ(anchor, c.anchor) << c.what;
            EXPECT_EQ(remaining, static_cast<i32>(c.runs.size()) - c.anchor) << c.what;
        }
    }
    // 12 % of W: a character 12 % wider is still clean, one unit more is not.
    for (const int wide : {1120, 1121}) {
        const std::vector<uint16_t> e = {0, 100, 200, 300, 400, 500, static_cast<uint16_t>(wide), 1300};
        i32 anchor = 0;
        i32 remaining = 7;
        int position = 0;
        EXPECT_EQ(Code128_SkipDamaged(e.data(), 8, &anchor, &remaining, 1, 1000, &position), wide == 1120 ? 1 : 0);
    }
    // Reading towards lower edges: a damaged character, a clean one and the element after.
    const std::vector<uint16_t> e = Edges({2, 2, 2, 2, 1, 2, 2, 2, 2, 5, 2});
    i32 anchor = 11;
    i32 remaining = 11;
    int position = 3;
    EXPECT_EQ(Code128_SkipDamaged(e.data(), 12, &anchor, &remaining, -1, 176, &position), 1);
    EXPECT_EQ(anchor, 7);
    EXPECT_EQ(remaining, 7);
    EXPECT_EQ(position, 4);
}

TEST_F(Code128Test, CountCharactersByWidths) {
    const std::vector<int> clean = SymbolRuns(kTwelve);
    std::vector<int> pair = clean;  // characters 4 and 5 as one group of six elements
    pair.erase(pair.begin() + 24, pair.begin() + 36);
    pair.insert(pair.begin() + 24, {4, 4, 4, 4, 4, 2});
    std::vector<int> four = clean;  // characters 3..6 as one group
    four.erase(four.begin() + 18, four.begin() + 42);
    four.insert(four.begin() + 18, {8, 8, 8, 8, 8, 4});
    std::vector<int> extra = clean;  // a character of twelve modules
    extra[13] += 1;
    struct Case {
        const char *what;
        std::vector<int> runs;
        int count;
    };
    const Case cases[] = {
        {"clean", clean, 12},
        {"one damaged character", Damage(clean, 4), 12},
        {"two damaged characters", Damage(Damage(clean, 8), 3), 12},
        {"a two-character group", pair, 12},
        {"a group of four characters", four, 0},
    };
    for (const Case &c : cases) {
        for (const bool reversed : {false, true}) {
            std::vector<int> runs = c.runs;
            if (reversed) std::reverse(runs.begin(), runs.end());
            const std::vector<uint16_t> e = Edges(runs);
            LINE_DECODE_CTX ctx{};
            ctx.edgesBase = e.data();
            ctx.edgeCount = static_cast<u16>(e.size());
            ctx.direction = reversed ? -1 : 1;
            ctx.startIndex = static_cast<u16>(reversed ? e.size() - 1 : 0);
            ctx.endIndex = static_cast<u16>(reversed ? 0 : e.size() - 1);
            EXPECT_EQ(Code128_CountCharacters(&ctx), c.count) << c.what << (reversed ? " reversed" : "");
        }
    }
}

TEST_F(Code128Test, DamagedLinesAtSeveralSizes) {
    // Character k destroyed on every second line and j on the others.
    for (const double size : {2.0, 3.0, 4.5, 6.0}) {
        for (const bool reversed : {false, true}) {
            Code128_Reset();
            uint16_t delivered = 0;
            int lines = 0;
            std::vector<uint8_t> data;
            for (; lines < 6 && delivered == 0; ++lines) {
                LinePlan l;
                l.damaged = lines % 2 == 0 ? 2 : 9;
                l.reversed = reversed;
                const LineRead r = ReadCode128Line(LineOf(l, size, static_cast<uint32_t>(lines + 1)));
                delivered = r.count;
                data = r.data;
            }
            EXPECT_EQ(delivered, 11) << size << (reversed ? " reversed" : "");
            EXPECT_EQ(lines, 2) << size << (reversed ? " reversed" : "");
            EXPECT_EQ(data, kTwelve);
        }
    }
}

// ---- Bounds.

TEST_F(Code128Test, LongLinesStayInsideTheArraysAndTheVoteTable) {
    // 2,000 edges in arrays of exactly that size: a start followed by characters that never
    // end, and the mirror image, a stop at the far end behind them; then pure noise.
    std::vector<int> startRuns = PatternRuns(kCode128Patterns[104]);
    while (startRuns.size() < 1999) {
        const std::vector<int> zero = PatternRuns(kCode128Patterns[0]);
        startRuns.insert(startRuns.end(), zero.begin(), zero.end());
    }
    startRuns.resize(1999);
    EdgeLine start = MakeEdgeLine(startRuns, {.moduleSamples = 1.0});
    ASSERT_EQ(start.edges.size(), 2000u);
    ReadCode128Line(start);
    EXPECT_EQ(g_code128.startFound, 1);
    EXPECT_EQ(g_code128.votes[127].votes1, 1);  // the read stops at 128 positions
    EXPECT_EQ(g_code128.votes[128].votes1, 0);

    Code128_Reset();
    std::vector<int> zeros;
    while (zeros.size() + 7 < 1999) {
        const std::vector<int> zero = PatternRuns(kCode128Patterns[0]);
        zeros.insert(zeros.end(), zero.begin(), zero.end());
    }
    zeros.erase(zeros.begin(), zeros.begin() + static_cast<long>(zeros.size() + 7 - 1999));
    const std::vector<int> stop = PatternRuns(kCode128Patterns[kCode128Stop]);
    zeros.insert(zeros.end(), stop.begin(), stop.end());
    EdgeLine stopLine = MakeEdgeLine(zeros, {.moduleSamples = 1.0});
    ASSERT_EQ(stopLine.edges.size(), 2000u);
    ReadCode128Line(stopLine);
    EXPECT_EQ(g_code128.stopFound, 1);
    EXPECT_EQ(g_code128.votes[128].votes1, 1);  // 128 positions from 255 down
    EXPECT_EQ(g_code128.votes[127].votes1, 0);

    for (uint32_t seed = 1; seed <= 20; ++seed) {
        Code128_Reset();
        EdgeLine noise = MakeNoiseLine(2000, seed, 16, 48);
        EXPECT_EQ(ReadCode128Line(noise).count, 0) << seed;
    }
}

TEST_F(Code128Test, EdgeCasesOfTheLocate) {
    // Fewer than eight edges: nothing.
    const EdgeLine tiny = MakeEdgeLine(PatternRuns(kCode128Patterns[104]), {.moduleSamples = 3});
    LINE_LOCATE_STATE st = LocateState(tiny);
    EXPECT_EQ(Code128_Locate(&st), 0);
    // An empty line and a null edge list.
    LINE_LOCATE_STATE empty{};
    EXPECT_EQ(Code128_Locate(&empty), 0);
}

// ---- Through the table walk.

TEST_F(Code128Test, TheWalkRunsTheRecord) {
    Par_InstallDefaults();
    g_params.flagsWord[kSymCode128] |= kFlagEnabled;
    EXPECT_EQ(Code128_IsEnabled(), 1);
    EdgeLine line = LineOf({});
    Install(line);
    ASSERT_EQ(Line_DecodeEdgeLine(), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(Line_GetResultData()), Line_GetResultLength()), "ABCDEFGHIJ");
    EXPECT_EQ(g_code128.expectedCount, 0);  // the read was delivered to verify and the state reset

    // Damaged lines through the walk: with bit 30 the state is reset before each line, so
    // two partial reads never combine; without it they do.
    for (const bool perLine : {true, false}) {
        Test_ResetDecoderStatics();
        Par_InstallDefaults();
        g_params.flagsWord[kSymCode128] |= kFlagEnabled;
        if (perLine) g_params.flagsWord[kSymGs1128] |= kFlagCode128ResetPerLine;
        LinePlan first;
        first.damaged = 3;
        EdgeLine a = LineOf(first);
        Install(a);
        Line_DecodeEdgeLine();
        EXPECT_EQ(g_code128.expectedCount, 12);
        LinePlan second;
        second.damaged = 8;
        EdgeLine b = LineOf(second);
        Install(b);
        Line_DecodeEdgeLine();
        EXPECT_EQ(g_code128.expectedCount, perLine ? 12 : 0) << perLine;
        EXPECT_EQ(g_code128.votes[3].votes1, perLine ? 2 : 0) << perLine;
        EXPECT_EQ(g_code128.votes[8].votes1, 0) << perLine;
    }
    // The tests' reset clears the state.
    g_code128.expectedCount = 5;
    g_code128.votes[9].votes1 = 3;
    Test_ResetDecoderStatics();
    EXPECT_EQ(g_code128.expectedCount, 0);
    EXPECT_EQ(g_code128.votes[9].votes1, 0);
    // Disabled everywhere: not enabled.
    for (const int id : {kSymCode128Form0, kSymCode128, kSymGs1128, kSymCode128Fnc1Second})
        g_params.flagsWord[id] &= ~kFlagEnabled;
    g_params.flagsWord[kSymIsbt128] |= kFlagEnabled;  // not consulted
    EXPECT_EQ(Code128_IsEnabled(), 0);
}

TEST_F(Code128Test, AMarginalCharacterNeedsFourAgreeingReads) {
    // At 4 samples a module an inner edge of character 5 moved by 40/16 sample (0.62 of a
    // module) is read by the looser rule: the line is not delivered on its own.
    EdgeLine line = MakeEdgeLine(SymbolRuns(kTwelve), {.moduleSamples = 4});
    line.edges[6 * 5 + 3] = static_cast<uint16_t>(line.edges[6 * 5 + 3] - 40);
    for (size_t k = 0; k + 1 < line.edges.size(); ++k)
        line.widths[k] = static_cast<uint16_t>(line.edges[k + 1] - line.edges[k]);
    const LineRead first = ReadCode128Line(line);
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(g_code128.votes[5].value1, kTwelve[5]);
    EXPECT_EQ(g_code128.votes[5].marginal1, 1);
    EXPECT_EQ(g_code128.votes[5].votes1, 2);  // forward and backward
    EXPECT_EQ(g_code128.votes[4].votes1, 2);
    const LineRead second = ReadCode128Line(line);
    EXPECT_EQ(second.count, 11);
    EXPECT_EQ(second.data, kTwelve);
    // Or a later clean whole line, which the votes confirm.
    Code128_Reset();
    ReadCode128Line(line);
    const LineRead clean = ReadCode128Line(MakeEdgeLine(SymbolRuns(kTwelve), {.moduleSamples = 4}));
    EXPECT_EQ(clean.count, 11);
    EXPECT_NE(lineMultiReadFlags & kMultiReadConfirmed, 0);
}

}  // namespace
