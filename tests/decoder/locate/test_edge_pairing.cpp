// Pairing the edges of two neighbouring lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "locate/edge_pairing.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;

struct Pairing {
    std::vector<int32_t> a, b;
    std::vector<int32_t> matchA, matchB;
    vexo::EDGE_PAIRING rec{};
    int result = -1;

    Pairing(std::vector<int32_t> posA, std::vector<int32_t> posB) : a(std::move(posA)), b(std::move(posB)) {
        // One spare entry each, filled with a marker, to show nothing is written past
        // min(countA, countB).
        const size_t n = std::min(a.size(), b.size()) + 1;
        matchA.assign(n, -7);
        matchB.assign(n, -7);
        rec.tolerance = 1;  // not read: a caller's tolerance must not matter
        rec.capacity = 0;
        rec.minRun = 99;
        rec.countA = static_cast<int32_t>(a.size());
        rec.countB = static_cast<int32_t>(b.size());
        rec.posA = a.data();
        rec.posB = b.data();
        rec.outPositions = nullptr;
        rec.outCount = 55;
        rec.matchA = matchA.data();
        rec.matchB = matchB.data();
        rec.matchCount = 66;
    }
    Pairs Run() {
        result = vexo::Loc_PairEdgeLists(&rec);
        Pairs p;
        for (int k = 0; k < rec.matchCount && result == 1; ++k) p.emplace_back(matchA[k], matchB[k]);
        return p;
    }
};

TEST(EdgePairing, ExamplesOfTheTwoLists) {
    struct Case {
        const char *what;
        std::vector<int32_t> a, b;
        Pairs expect;
    } const cases[] = {
        {"offset 4: tolerance 24", {100, 200, 300}, {104, 205, 310}, {{0, 0}, {1, 1}, {2, 2}}},
        {"identical lists: tolerance 18", {100, 200, 300}, {100, 200, 300}, {{0, 0}, {1, 1}, {2, 2}}},
        {"first entries below 20 are passed over", {10, 100, 200}, {12, 104, 205}, {{1, 1}, {2, 2}}},
        {"the first entry within the tolerance, not the nearest", {100}, {80, 95, 101}, {{0, 0}}},
        {"the shorter list B is walked", {100, 200, 300, 400}, {150, 250}, {{0, 0}, {1, 1}}},
        {"beyond the tolerance stays unpaired", {50, 100}, {51, 2000}, {{0, 0}}},
        {"only entry below 20", {5}, {30, 60}, {}},
        {"later small positions pair normally", {25, 30, 100}, {10, 26, 31, 101}, {{0, 1}, {1, 2}, {2, 3}}},
        {"identical lists and an off entry: 18 is too tight", {100, 200, 300}, {100, 219, 300}, {{0, 0}, {2, 2}}},
        // m = 17 gives 25: 100 pairs with 117 (17), 200 with 225 (25).
        {"tolerance 1.5 m", {100, 200}, {117, 225}, {{0, 0}, {1, 1}}},
        // Differences 40, 25, 100: 60 lies outside 37, 75 is the first inside.
        {"first inside after one outside", {100}, {60, 75, 200}, {{0, 1}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Pairing p(c.a, c.b);
        EXPECT_EQ(p.Run(), c.expect);
        EXPECT_EQ(p.result, 1);
        EXPECT_EQ(p.rec.outCount, 0);
        EXPECT_EQ(p.matchA.back(), -7);
        EXPECT_EQ(p.matchB.back(), -7);
    }
}

TEST(EdgePairing, AnEmptyListLeavesTheRecordAlone) {
    for (auto [na, nb] : {std::pair{0, 3}, std::pair{3, 0}, std::pair{-1, 3}, std::pair{3, -5}}) {
        Pairing p({100, 200, 300}, {100, 200, 300});
        p.rec.countA = na;
        p.rec.countB = nb;
        EXPECT_EQ(vexo::Loc_PairEdgeLists(&p.rec), 0);
        EXPECT_EQ(p.rec.matchCount, 66);
        EXPECT_EQ(p.rec.outCount, 55);
        EXPECT_EQ(p.matchA[0], -7);
    }
    EXPECT_EQ(vexo::Loc_PairEdgeLists(nullptr), 0);
    Pairing missing({100}, {100});
    missing.rec.matchB = nullptr;
    EXPECT_EQ(vexo::Loc_PairEdgeLists(&missing.rec), 0);
    EXPECT_EQ(missing.rec.matchCount, 66);
}

// Random ascending lists: pairs ascend in both indexes, each within the tolerance the
// lists imply, no entry used twice, never more than the shorter list.
TEST(EdgePairing, RandomListsGivePairsInOrderWithinTolerance) {
    const uint32_t seed = 20240611;
    std::mt19937 rng(seed);
    for (int round = 0; round < 500; ++round) {
        auto list = [&](int n) {
            std::vector<int32_t> v;
            int32_t x = static_cast<int32_t>(rng() % 40);
            for (int k = 0; k < n; ++k) v.push_back(x += 1 + static_cast<int32_t>(rng() % 120));
            return v;
        };
        Pairing p(list(1 + static_cast<int>(rng() % 30)), list(1 + static_cast<int>(rng() % 30)));
        const Pairs pairs = p.Run();
        ASSERT_EQ(p.result, 1) << "seed " << seed << " round " << round;
        ASSERT_LE(pairs.size(), std::min(p.a.size(), p.b.size()));
        // The tolerance comes from a difference no larger than the first walked entry's
        // distance to its nearest partner.
        int64_t m = 65535;
        const auto &s = p.a.size() <= p.b.size() ? p.a : p.b;
        const auto &l = p.a.size() <= p.b.size() ? p.b : p.a;
        for (int32_t w : l) m = std::min<int64_t>(m, std::abs(int64_t{s[0]} - w));
        const int64_t tolMax = std::max<int64_t>(24, m + m / 2);
        for (size_t k = 0; k < pairs.size(); ++k) {
            ASSERT_LE(std::abs(int64_t{p.a[pairs[k].first]} - p.b[pairs[k].second]), tolMax)
                << "seed " << seed << " round " << round;
            if (k > 0) {
                ASSERT_GT(pairs[k].first, pairs[k - 1].first) << "seed " << seed << " round " << round;
                ASSERT_GT(pairs[k].second, pairs[k - 1].second) << "seed " << seed << " round " << round;
            }
        }
        ASSERT_EQ(p.matchA.back(), -7);
    }
}

}  // namespace
