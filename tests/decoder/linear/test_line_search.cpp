// The three start/stop searches on synthetic edge lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "linear/edge_lists.h"
#include "linear/line_search.h"
#include "linear/search_patterns.h"

namespace {

using namespace vexo;
using namespace linetest;

constexpr uint8_t kIataBlock[8] = {34, 38, 10, 30, 6, 19, 3, 4};
constexpr uint8_t kCode128Minimum = 26;

int g_matcherCalls = 0;

// Code 39 matchers of the alternative search: c is the run's first edge, o the leading
// edge of its last bar.
int C39Start(const uint16_t *p, uint16_t *value) {
    ++g_matcherCalls;
    *value = 39;
    return HasPattern(p, 0, kCode39Star, false);
}
int C39ReversedStart(const uint16_t *p, uint16_t *) { return ++g_matcherCalls, HasPattern(p, -8, kCode39Star, true); }
int C39ReversedStop(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, 0, kCode39Star, true); }
int C39Stop(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, -8, kCode39Star, false); }

// ITF matchers of Line_FindStartStop: the start's first edge, the stop's last element.
int ItfStart(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, 0, kItfStart, false); }
int ItfReversedStart(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, -3, kItfStart, true); }
int ItfReversedStop(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, 0, kItfStop, true); }
int ItfStop(const uint16_t *p) { return ++g_matcherCalls, HasPattern(p, -2, kItfStop, false); }

// Code 128 matchers of the pair search: both get the symbol's outer edge.
int C128Start(const uint16_t *p, uint16_t *value, int direction) {
    ++g_matcherCalls;
    *value = 104;
    return direction > 0 ? HasPattern(p, 0, kC128StartB, false) : HasPattern(p, -6, kC128StartB, true);
}
int C128Stop(const uint16_t *p, int direction) {
    ++g_matcherCalls;
    return direction > 0 ? HasPattern(p, -7, kC128Stop, false) : HasPattern(p, 0, kC128Stop, true);
}

int AnyStart(const uint16_t *, uint16_t *) { return ++g_matcherCalls, 1; }
int AnyEdge(const uint16_t *) { return ++g_matcherCalls, 1; }
int AnyPairStart(const uint16_t *, uint16_t *, int) { return ++g_matcherCalls, 1; }
int AnyPairStop(const uint16_t *, int) { return ++g_matcherCalls, 1; }

std::vector<int> Code39(int dataChars) {
    std::vector<int> runs = Runs(kCode39Star);
    for (int i = 0; i < dataChars; ++i) runs = Join(runs, Runs(kCode39Zero), 1);
    return Join(runs, Runs(kCode39Star), 1);
}

std::vector<int> Itf(int pairs) {
    std::vector<int> runs = Runs(kItfStart);
    for (int i = 0; i < pairs; ++i) runs = Join(runs, Runs(kItfPair00));
    return Join(runs, Runs(kItfStop));
}

std::vector<int> Code128(int values) {
    std::vector<int> runs = Runs(kC128StartB);
    for (int i = 0; i < values; ++i) runs = Join(runs, Runs(kC128Zero));
    return Join(runs, Runs(kC128Stop));
}


enum class Search { kPlain, kAlt, kPairs };

int Find(Search s, LINE_LOCATE_STATE *st, const uint8_t *block, bool any) {
    switch (s) {
        case Search::kPlain:
            return any ? Line_FindStartStop(st, block, AnyEdge, AnyEdge, AnyEdge, AnyEdge)
                       : Line_FindStartStop(st, block, ItfStart, ItfReversedStart, ItfReversedStop, ItfStop);
        case Search::kAlt:
            return any ? Line_FindStartStopAlt(st, block, AnyStart, AnyStart, AnyEdge, AnyEdge)
                       : Line_FindStartStopAlt(st, block, C39Start, C39ReversedStart, C39ReversedStop, C39Stop);
        case Search::kPairs:
            return any ? Line_FindStartStopByPairs(st, AnyPairStart, AnyPairStop, block[0])
                       : Line_FindStartStopByPairs(st, C128Start, C128Stop, block[0]);
    }
    return 0;
}

struct Candidate {
    int start, end, phase;
    bool operator==(const Candidate &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Candidate &c) {
    return os << "(" << c.start << ", " << c.end << " in phase " << c.phase << ")";
}

std::vector<Candidate> AllCandidates(Search s, const EdgeLine &line, const uint8_t *block, bool any = false) {
    LINE_LOCATE_STATE st = LocateState(line);
    std::vector<Candidate> found;
    for (int guard = 0; guard < 1000 && Find(s, &st, block, any) == 1; ++guard)
        found.push_back({st.startIndex, st.endIndex, st.phase});
    return found;
}

const uint8_t kPairsBlock[1] = {kCode128Minimum};

TEST(EdgeListMaker, LinesAsTheImageSideHandsThemOver) {
    struct Case {
        const char *name;
        std::string runs;
        EdgeLineOptions options;
        std::vector<uint16_t> edges;
        uint16_t sampleCount;
    };
    const Case cases[] = {
        {"a line ends on a bar", "1213", {.moduleSamples = 2}, {320, 352, 416, 448}, 48},
        {"ink spread grows the bars", "1213", {.moduleSamples = 2, .spread = 0.5}, {312, 360, 408, 456}, 48},
        {"reversed", "3112", {.moduleSamples = 1, .reversed = true}, {160, 176, 192, 240}, 25},
        {"quiet zones", "3", {.moduleSamples = 1, .quietBefore = 2, .quietAfter = 1}, {32, 80}, 6},
        {"cut at the start: the line begins at the next bar", "31121", {.moduleSamples = 1, .cutFront = 1}, {160, 176, 208, 224}, 24},
        {"cut at the end", "31121", {.moduleSamples = 1, .cutBack = 2}, {160, 208, 224, 240}, 25},
        {"fractional module size", "11", {.moduleSamples = 1.5, .quietBefore = 1}, {24, 48}, 18},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EdgeLine line = MakeEdgeLine(Runs(c.runs), c.options);
        EXPECT_EQ(line.edges, c.edges);
        EXPECT_EQ(line.sampleCount, c.sampleCount);
        ASSERT_EQ(line.widths.size(), line.edges.size() - 1);
        for (size_t k = 0; k < line.widths.size(); ++k) EXPECT_EQ(line.widths[k], line.edges[k + 1] - line.edges[k]);
    }
    // Jitter: seeded, within its bound, edges still ascending.
    const std::vector<int> runs = Code128(3);
    const EdgeLine clean = MakeEdgeLine(runs, {.moduleSamples = 2});
    const EdgeLine a = MakeEdgeLine(runs, {.moduleSamples = 2, .jitter16 = 3, .seed = 4});
    const EdgeLine b = MakeEdgeLine(runs, {.moduleSamples = 2, .jitter16 = 3, .seed = 4});
    const EdgeLine other = MakeEdgeLine(runs, {.moduleSamples = 2, .jitter16 = 3, .seed = 5});
    EXPECT_EQ(a.edges, b.edges);
    EXPECT_NE(a.edges, other.edges);
    ASSERT_EQ(a.edges.size(), clean.edges.size());
    for (size_t k = 0; k < a.edges.size(); ++k) {
        EXPECT_LE(std::abs(a.edges[k] - clean.edges[k]), 3);
        EXPECT_TRUE(k == 0 || a.edges[k] > a.edges[k - 1]);
    }
}

TEST(LineSearch, ShortLinesAreNotSearched) {
    // Each symbol has exactly the search's minEdges edges; without its last edge the line is
    // not searched at all.
    struct Case {
        const char *name;
        Search search;
        const uint8_t *block;
        std::vector<int> symbol;
        size_t minEdges;
    };
    const Case cases[] = {
        {"plain", Search::kPlain, kItfBlock, Itf(1), 18},
        {"alternative", Search::kAlt, kCode39Block, Code39(1), 30},
        {"pairs", Search::kPairs, kPairsBlock, Code128(2), 26},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EdgeLine line = MakeEdgeLine(c.symbol, {.moduleSamples = 3, .quietBefore = 20, .quietAfter = 20});
        ASSERT_EQ(line.edges.size(), c.minEdges);
        LINE_LOCATE_STATE st = LocateState(line);
        EXPECT_EQ(Find(c.search, &st, c.block, false), 1);
        line.edges.pop_back();
        line.widths.pop_back();
        st = LocateState(line);
        g_matcherCalls = 0;
        EXPECT_EQ(Find(c.search, &st, c.block, true), 0);
        EXPECT_EQ(g_matcherCalls, 0);
    }
}

TEST(LineSearch, Code39NeedsItsQuietZones) {
    // The references are the run's first two elements before it and the two elements before
    // its last bar behind it: 4 modules of '*' at both ends read forward, 2 and 4 reversed.
    struct Case {
        double before, after;
        bool forward, reversed;
    };
    const Case cases[] = {{3, 10, false, true},  {1.5, 10, false, false}, {4.5, 10, true, true},
                          {10, 3, false, false}, {10, 4.5, true, true},   {4.5, 4.5, true, true}};
    for (const Case &c : cases) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.before << " / " << c.after << (reversed ? " reversed" : ""));
            EdgeLine line = MakeEdgeLine(Code39(2), {.moduleSamples = 4, .reversed = reversed,
                                                     .quietBefore = c.before, .quietAfter = c.after});
            const int last = static_cast<int>(line.edges.size()) - 1;
            const std::vector<Candidate> found = AllCandidates(Search::kAlt, line, kCode39Block);
            if (!(reversed ? c.reversed : c.forward)) {
                EXPECT_TRUE(found.empty());
                continue;
            }
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].start, reversed ? last : 0);
            EXPECT_EQ(found[0].end, reversed ? 0 : last);
        }
    }
}

TEST(LineSearch, PlainSearchReadsForwardInEvenPhasesAndReversedInOdd) {
    for (const int before : {0, 1}) {  // a stray bar before the symbol shifts every index by 2
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << (reversed ? "reversed" : "forward") << ", stray bars " << before);
            std::vector<int> runs = Itf(3);
            if (reversed) std::reverse(runs.begin(), runs.end());
            if (before == 1) runs = Join(Runs("2"), runs, 12);
            EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 3, .quietBefore = 20, .quietAfter = 20});
            const int first = 2 * before;
            const int last = static_cast<int>(line.edges.size()) - 1;
            const std::vector<Candidate> found = AllCandidates(Search::kPlain, line, kItfBlock);
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].start, reversed ? last : first);
            EXPECT_EQ(found[0].end, reversed ? first : last);
            EXPECT_EQ(found[0].phase % 2, reversed ? 1 : 0) << found[0];
        }
    }
}

TEST(LineSearch, AlternativeSearchReportsTheReversedReadingFirst) {
    EdgeLine line = MakeEdgeLine(Code39(2), {.moduleSamples = 3});
    const std::vector<Candidate> found = AllCandidates(Search::kAlt, line, kCode39Block, true);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0], (Candidate{static_cast<int>(line.edges.size()) - 1, 0, 0}));
}

TEST(LineSearch, RunPrecededBySimilarCharacterIsRefusedAndTheSearchMovesOn) {
    // Searches resumed at a run's first edge, as after a failed candidate. With a character of
    // similar width right before it the run is taken to begin earlier: it is refused and the
    // search goes on behind it to the second symbol. The control has a character of another
    // width there (and the same room before the run's first bar).
    struct Case {
        const char *name;
        Search search;
        const uint8_t *block;
        std::vector<int> before;  // the character before the first symbol, with its gap
        std::vector<int> first, second;
    };
    std::vector<int> similarC39 = Runs("111111113");
    similarC39.push_back(4);  // 15 modules against the run's 16
    std::vector<int> otherC39 = Runs("111111113");
    otherC39.push_back(1);  // 12 modules
    const Case cases[] = {
        {"alternative, similar", Search::kAlt, kCode39Block, similarC39, Code39(2), Code39(3)},
        {"alternative, control", Search::kAlt, kCode39Block, otherC39, Code39(2), Code39(3)},
        {"pairs, similar", Search::kPairs, kPairsBlock, Runs("111116"), Code128(2), Code128(3)},
        {"pairs, control", Search::kPairs, kPairsBlock, Runs("111119"), Code128(2), Code128(3)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> runs = c.before;
        const int firstStart = static_cast<int>(runs.size());
        runs.insert(runs.end(), c.first.begin(), c.first.end());
        const int firstEnd = static_cast<int>(runs.size());
        runs = Join(runs, c.second, 20);
        EdgeLine line = MakeEdgeLine(runs, {.moduleSamples = 4});
        LINE_LOCATE_STATE st = LocateState(line);
        st.searchPos = static_cast<uint16_t>(firstStart);
        ASSERT_EQ(Find(c.search, &st, c.block, false), 1);
        const bool similar = std::string(c.name).find("similar") != std::string::npos;
        if (similar) {
            EXPECT_EQ(st.startIndex, firstEnd + 1);
            EXPECT_EQ(st.endIndex, static_cast<int>(line.edges.size()) - 1);
        } else {
            EXPECT_EQ(st.startIndex, firstStart);
            EXPECT_EQ(st.endIndex, firstEnd);
        }
    }
}

TEST(LineSearch, PairSearchNeedsTheMinimumAheadOfItsPosition) {
    EdgeLine line = MakeEdgeLine(Code128(2), {.moduleSamples = 3});  // start, value, check, stop
    ASSERT_EQ(line.edges.size(), 26u);
    LINE_LOCATE_STATE st = LocateState(line);
    ASSERT_EQ(Find(Search::kPairs, &st, kPairsBlock, false), 1);  // 26 edges ahead
    EXPECT_EQ(st.phase, 0);
    EXPECT_EQ(st.startIndex, 0);
    EXPECT_EQ(st.endIndex, 25);

    st = LocateState(line);
    st.searchPos = 1;  // 25 ahead: the next phase, and no room there either
    EXPECT_EQ(Find(Search::kPairs, &st, kPairsBlock, false), 0);
    EXPECT_EQ(st.phase, 1);
}

TEST(LineSearch, NextCallResumesBehindTheLastCandidate) {
    // Two symbols on a line: each call reports one, none twice, then the line is exhausted.
    struct Case {
        const char *name;
        Search search;
        const uint8_t *block;
        std::vector<int> symbol;
    };
    const Case cases[] = {
        {"plain", Search::kPlain, kItfBlock, Itf(3)},
        {"alternative", Search::kAlt, kCode39Block, Code39(2)},
        {"pairs", Search::kPairs, kPairsBlock, Code128(3)},
    };
    for (const Case &c : cases) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (reversed ? " reversed" : ""));
            const int n = static_cast<int>(c.symbol.size()) + 1;  // edges of one symbol
            EdgeLine line = MakeEdgeLine(Join(c.symbol, c.symbol, 20),
                                         {.moduleSamples = 3, .reversed = reversed, .quietBefore = 20, .quietAfter = 20});
            std::vector<Candidate> found = AllCandidates(c.search, line, c.block);
            for (Candidate &f : found) f.phase = 0;
            std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
                return std::min(a.start, a.end) < std::min(b.start, b.end);
            });
            const std::vector<Candidate> expected =
                reversed ? std::vector<Candidate>{{n - 1, 0, 0}, {2 * n - 1, n, 0}}
                         : std::vector<Candidate>{{0, n - 1, 0}, {n, 2 * n - 1, 0}};
            EXPECT_EQ(found, expected);
        }
    }
}

// Whatever the line and the block, a search hands matchers only edges of the line and
// reports only edges of the line; the arrays hold exactly the line, so AddressSanitizer
// sees any read beyond it.
int PeekStart(const uint16_t *p, uint16_t *) { return (*p >> 4) & 1; }
int PeekEdge(const uint16_t *p) { return (*p >> 5) & 1; }
int PeekPairStart(const uint16_t *p, uint16_t *, int) { return (*p >> 4) & 1; }
int PeekPairStop(const uint16_t *p, int) { return (*p >> 5) & 1; }

TEST(LineSearch, SearchesStayOnTheLine) {
    std::mt19937 rng(2024);
    int candidates = 0;
    for (int round = 0; round < 3000; ++round) {
        const int n = static_cast<int>(rng() % 90);
        EdgeLine line = MakeNoiseLine(n, rng(), 16 + static_cast<int>(rng() % 16), 48 + static_cast<int>(rng() % 200));
        line.edges.shrink_to_fit();
        uint8_t block[8];
        for (uint8_t &b : block) b = static_cast<uint8_t>(rng() % 48);
        block[kBlockStride] = static_cast<uint8_t>(1 + rng() % 12);
        block[kBlockSymbologyId] = static_cast<uint8_t>(round % 3 == 0 ? 18 : 19);
        LINE_LOCATE_STATE st = LocateState(line);
        const int which = round % 3;
        for (int calls = 0;; ++calls) {
            ASSERT_LT(calls, 10 * n + 20) << "round " << round;
            int r = 0;
            if (which == 0) r = Line_FindStartStop(&st, block, PeekEdge, PeekEdge, PeekEdge, PeekEdge);
            if (which == 1) r = Line_FindStartStopAlt(&st, block, PeekStart, PeekStart, PeekEdge, PeekEdge);
            if (which == 2) r = Line_FindStartStopByPairs(&st, PeekPairStart, PeekPairStop, block[0]);
            if (r == 0) break;
            ++candidates;
            ASSERT_LT(st.startIndex, n);
            ASSERT_LT(st.endIndex, n);
        }
    }
    EXPECT_GT(candidates, 100);  // the searches did find things
}

TEST(LineSearch, EqualSpaceTestStaysOnTheLineWhenTheRunEndsAtTheLastEdge) {
    // 42 equal elements: in phase 1 the run of Industrial and IATA 2 of 5 ends at the last
    // edge, where the space test's last pair would end one edge beyond the line.
    for (const uint8_t *block : {kIndustrialBlock, kIataBlock}) {
        EdgeLine line = MakeEdgeLine(std::vector<int>(41, 1), {.moduleSamples = 3});
        LINE_LOCATE_STATE st = LocateState(line);
        int calls = 0;
        while (Line_FindStartStop(&st, block, AnyEdge, AnyEdge, AnyEdge, AnyEdge) == 1) ASSERT_LT(++calls, 100);
        EXPECT_GT(st.phase, 1);  // phase 1 was searched
    }
}

}  // namespace
