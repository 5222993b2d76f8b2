// Arranging finder records into symbol corners, on records placed by hand: an ideal symbol
// turned, groups with patterns left out, in every order, and tables of
// hypotheses for the merge rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "hanxin/cscn_symbol.h"

namespace {

using namespace vexo;

// The finder record of corner slot s of an ideal symbol `size` modules wide, `module` pixels
// per module, turned by `angle` degrees about the frame point (600, 480).
CSCN_FINDER HxArrangeIdeal(int s, int size, double module, double angle) {
    // Core centres in modules; slot 3's core lies at the symbol's own corner.
    const double cores[4][2] = {{5.5, 5.5}, {size - 5.5, 5.5}, {size - 5.5, size - 5.5}, {1.5, size - 1.5}};
    // Arm axes (toward the next slot, toward the previous one); slot 3's axis 1 points away
    // from slot 0.
    const double axes[4][2][2] = {{{1, 0}, {0, 1}}, {{0, 1}, {-1, 0}}, {{-1, 0}, {0, -1}}, {{0, 1}, {-1, 0}}};
    const double a = angle * M_PI / 180.0, ca = std::cos(a), sa = std::sin(a);
    auto turn = [&](double x, double y, double *ox, double *oy) {
        *ox = x * ca - y * sa;
        *oy = x * sa + y * ca;
    };
    CSCN_FINDER f{};
    double x, y;
    turn((cores[s][0] - size / 2.0) * module, (cores[s][1] - size / 2.0) * module, &x, &y);
    f.corner = {static_cast<i32>(std::lround(16 * (600 + x))), static_cast<i32>(std::lround(16 * (480 + y)))};
    f.moduleSize = static_cast<f32>(16 * module);
    double ux, uy, vx, vy;
    turn(axes[s][0][0], axes[s][0][1], &ux, &uy);
    turn(axes[s][1][0], axes[s][1][1], &vx, &vy);
    const double axisLength = 8 * 2 * 16 * module;  // outer to inner line: two modules
    f.axis1 = {static_cast<i32>(std::lround(ux * axisLength)), static_cast<i32>(std::lround(uy * axisLength))};
    f.axis2 = {static_cast<i32>(std::lround(vx * axisLength)), static_cast<i32>(std::lround(vy * axisLength))};
    f.diagonal = {(f.axis1.x + f.axis2.x) / 8, (f.axis1.y + f.axis2.y) / 8};
    f.valid = 1;
    f.mark = s == 3 ? 1 : 0;
    return f;
}

// Which input slot each output slot holds, found by the corner (-1 for an empty slot).
std::vector<int> HxArrangeSlots(const CSCN_SYMBOL &sym, const std::vector<int> &slotOfInput,
                                const std::vector<CSCN_FINDER> &in) {
    std::vector<int> out(4, -1);
    for (int s = 0; s < 4; ++s) {
        if (sym.corners[s].valid == 0) continue;
        for (size_t k = 0; k < in.size(); ++k)
            if (std::memcmp(&in[k], &sym.corners[s], sizeof(CSCN_FINDER)) == 0) out[s] = slotOfInput[k];
    }
    return out;
}

class HanXinArrange : public vexo_test::DecoderTest {};

// Every subset the arrangement knows, in every input order, at every 15 degrees: the slots come back in the symbol's own frame. With two opposite finders the
// pair may come either way round.
TEST_F(HanXinArrange, IdealGroupsInEveryOrder) {
    struct HxArrangeSubset {
        std::vector<int> slots;
        std::vector<int> expect;  // per slot: the ideal slot it holds, -1 empty
        bool eitherWay;
    };
    const HxArrangeSubset subsets[] = {
        {{0, 1, 2, 3}, {0, 1, 2, 3}, false}, {{0, 1, 2}, {0, 1, 2, -1}, false},
        {{1, 2, 3}, {-1, 1, 2, 3}, false},    {{0, 2}, {0, -1, 2, -1}, true},
        {{1, 3}, {-1, 1, -1, 3}, false},
    };
    int runs = 0;
    for (const HxArrangeSubset &sub : subsets)
            for (int angle = 0; angle < 360; angle += 15)
                for (int size : {23, 49}) {
                    std::vector<int> order = sub.slots;
                    std::sort(order.begin(), order.end());
                    do {
                        std::vector<CSCN_FINDER> in;
                        for (int s : order) in.push_back(HxArrangeIdeal(s, size, 4, angle));
                        CSCN_SYMBOL sym{};
                        ASSERT_EQ(CSCN_ArrangeFinders(in.data(), static_cast<i32>(in.size()), &sym), 1);
                        const std::vector<int> got = HxArrangeSlots(sym, order, in);
                        std::vector<int> swapped = sub.expect;
                        std::swap(swapped[0], swapped[2]);
                        EXPECT_TRUE(got == sub.expect || (sub.eitherWay && got == swapped))
                            << "slots " << sub.slots.size() << " first " << order[0] << " angle " << angle
                            << " size " << size << " got " << got[0] << got[1]
                            << got[2] << got[3];
                        ++runs;
                    } while (std::next_permutation(order.begin(), order.end()));
                }
    EXPECT_EQ(runs, 1920);
}

std::vector<CSCN_ARRANGEMENT> HxArrangeList(const std::vector<CSCN_FINDER> &in, bool merge) {
    CSCN_ARRANGEMENT_TABLE t{};
    t.count = -7;
    CSCN_ListArrangements(in.data(), static_cast<i32>(in.size()), &t);
    if (merge) CSCN_MergeArrangements(&t);
    EXPECT_GE(t.count, 0);
    EXPECT_LE(t.count, kCscnMaxArrangements);
    return std::vector<CSCN_ARRANGEMENT>(t.entry, t.entry + std::max(0, t.count));
}

// Slots with every empty slot written as -1.
std::vector<int> HxArrangeFilled(const CSCN_ARRANGEMENT &a) {
    std::vector<int> out;
    for (int s = 0; s < 4; ++s) out.push_back(a.slot[s] >= 0 ? a.slot[s] : -1);
    return out;
}

// The families on ideal groups, before and after the merge.
TEST_F(HanXinArrange, FamiliesOnIdealGroups) {
    // Four finders meeting every test of family 1: one four-finder hypothesis, which wins.
    std::vector<CSCN_FINDER> four;
    for (int s = 0; s < 4; ++s) four.push_back(HxArrangeIdeal(s, 29, 5, 30));
    const std::vector<CSCN_ARRANGEMENT> all = HxArrangeList(four, false);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all[0].count, 4);
    EXPECT_EQ(HxArrangeFilled(all[0]), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const CSCN_ARRANGEMENT &a) { return a.count == 4; }), 1);
    // Empty slots carry the complement of the entry's own index.
    for (size_t h = 0; h < all.size(); ++h)
        for (int s = 0; s < 4; ++s)
            if (all[h].slot[s] < 0) {
                EXPECT_EQ(all[h].slot[s], ~static_cast<i32>(h));
            }

    // Slots 0, 1, 2: family 1 gives [0, 1, 2, -], family 4 the pair again at slots 1 and 2;
    // the merge keeps only the three-finder entry of that pair.
    const std::vector<CSCN_FINDER> three(four.begin(), four.begin() + 3);
    const std::vector<CSCN_ARRANGEMENT> raw = HxArrangeList(three, false);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(HxArrangeFilled(raw[0]), (std::vector<int>{0, 1, 2, -1}));
    bool family4Copy = false;
    for (const CSCN_ARRANGEMENT &a : raw) family4Copy = family4Copy || HxArrangeFilled(a) == std::vector<int>{-1, 1, 2, -1};
    EXPECT_TRUE(family4Copy);
    for (const CSCN_ARRANGEMENT &a : HxArrangeList(three, true))
        EXPECT_NE(HxArrangeFilled(a), (std::vector<int>{-1, 1, 2, -1}));

    // Slots 1 and 3 alone: parallel diagonals pointing at each other, family 5 only.
    const std::vector<CSCN_FINDER> par = {four[1], four[3]};
    const std::vector<CSCN_ARRANGEMENT> p = HxArrangeList(par, false);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(HxArrangeFilled(p[0]), (std::vector<int>{-1, 0, -1, 1}));
    // Family 5 does not run for a finder that has a family-4 pair: add slot 2.
    const std::vector<CSCN_FINDER> withPair = {four[1], four[3], four[2]};
    for (const CSCN_ARRANGEMENT &a : HxArrangeList(withPair, false))
        EXPECT_NE(HxArrangeFilled(a), (std::vector<int>{-1, 0, -1, 1}));

    // Slots 0 and 2 alone: family 2 (no arm pair for either), [i, -, j, -].
    const std::vector<CSCN_FINDER> opp = {four[0], four[2]};
    const std::vector<CSCN_ARRANGEMENT> o = HxArrangeList(opp, true);
    ASSERT_FALSE(o.empty());
    EXPECT_EQ(HxArrangeFilled(o[0]), (std::vector<int>{0, -1, 1, -1}));
    // Family 2 does not run for a finder with a family-1 pair: slots 0, 1 and 2 never give
    // [0, -, 2, -].
    for (const CSCN_ARRANGEMENT &a : raw) EXPECT_NE(HxArrangeFilled(a), (std::vector<int>{0, -1, 2, -1}));
}

// A zero diagonal has cosine -1000 against every other one: only the opposite-diagonal
// test passes, so a finder placed where slot 1 would be ends up opposite slot 0.
TEST_F(HanXinArrange, ZeroDiagonalPassesOnlyTheOppositeTest) {
    CSCN_FINDER a = HxArrangeIdeal(0, 29, 5, 0);
    CSCN_FINDER b = HxArrangeIdeal(1, 29, 5, 0);
    b.diagonal = {0, 0};
    const std::vector<CSCN_ARRANGEMENT> got = HxArrangeList({a, b}, true);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(HxArrangeFilled(got[0]), (std::vector<int>{0, -1, 1, -1}));
    // The zero-diagonal finder cannot take slot 0 of that pair: its own diagonal test fails.
    CSCN_FINDER c = HxArrangeIdeal(2, 29, 5, 0);
    c.diagonal = {0, 0};
    const std::vector<CSCN_ARRANGEMENT> opp = HxArrangeList({c, a}, true);
    ASSERT_EQ(opp.size(), 1u);
    EXPECT_EQ(HxArrangeFilled(opp[0]), (std::vector<int>{1, -1, 0, -1}));
}

// Fewer than two finders, or nothing arrangeable, fail and leave the symbol as it was;
// more than four are taken as four.
TEST_F(HanXinArrange, FailuresLeaveTheSymbolUntouched) {
    CSCN_SYMBOL sym;
    std::memset(&sym, 0x5A, sizeof sym);
    CSCN_SYMBOL before = sym;
    const CSCN_FINDER one = HxArrangeIdeal(0, 29, 5, 0);
    EXPECT_EQ(CSCN_ArrangeFinders(&one, 1, &sym), 0);
    EXPECT_EQ(CSCN_ArrangeFinders(&one, 0, &sym), 0);
    EXPECT_EQ(CSCN_ArrangeFinders(&one, -3, &sym), 0);
    // Two finders with the same diagonal, side by side across it: no family takes them.
    CSCN_FINDER twin = one;
    twin.corner.x += 16 * 80;
    twin.corner.y -= 16 * 80;
    const CSCN_FINDER same[2] = {one, twin};
    EXPECT_EQ(CSCN_ArrangeFinders(same, 2, &sym), 0);
    EXPECT_EQ(std::memcmp(&sym, &before, sizeof sym), 0);
    // A fifth record is not read.
    CSCN_FINDER five[5];
    for (int s = 0; s < 4; ++s) five[s] = HxArrangeIdeal(s, 29, 5, 0);
    std::memset(&five[4], 0xFF, sizeof five[4]);
    CSCN_SYMBOL got{};
    EXPECT_EQ(CSCN_ArrangeFinders(five, 5, &got), 1);
    for (int s = 0; s < 4; ++s) EXPECT_EQ(std::memcmp(&got.corners[s], &five[s], sizeof five[s]), 0) << s;
}

// Groups of random records with many tests passing at once: the table never holds more
// than 20 (four finders give at most 13 in a far longer search of this kind).
TEST_F(HanXinArrange, TableStopsAtTwenty) {
    std::mt19937 rng(84);
    // Directions in steps of 45 degrees and corners on a coarse grid make many tests pass.
    std::uniform_int_distribution<int> pos(0, 2), dir(0, 7);
    const POINT_I32 dirs[8] = {{64, 0}, {64, 64}, {0, 64}, {-64, 64}, {-64, 0}, {-64, -64}, {0, -64}, {64, -64}};
    int largest = 0;
    for (int g = 0; g < 20000; ++g) {
        std::vector<CSCN_FINDER> in(4);
        for (CSCN_FINDER &f : in) {
            f.corner = {16 * 40 * pos(rng), 16 * 40 * pos(rng)};
            f.diagonal = dirs[dir(rng)];
            f.axis1 = dirs[dir(rng)];
            f.axis2 = dirs[dir(rng)];
            f.valid = 1;
        }
        const std::vector<CSCN_ARRANGEMENT> t = HxArrangeList(in, false);
        ASSERT_LE(t.size(), 20u);
        largest = std::max(largest, static_cast<int>(t.size()));
    }
    EXPECT_GE(largest, 8);  // the search does reach rich tables
}

// The merge rules on hand-made tables: which entry stays, where the last entry moves, and
// that the entry moved into a freed b place is not compared with a again.
TEST_F(HanXinArrange, MergeRules) {
    struct HxMergeCase {
        const char *name;
        std::vector<std::vector<int>> in;   // count, then four slots (negative: empty)
        std::vector<std::vector<int>> out;
    };
    const HxMergeCase cases[] = {
        // a0 = b1 and a1 = b2: the later, larger entry stays in a's place.
        {"shifted pair", {{2, 0, 1, ~0, ~0}, {3, 2, 0, 1, ~1}}, {{3, 2, 0, 1, ~1}}},
        // A tie keeps a; b takes the last entry.
        {"tie keeps a", {{2, 0, ~0, 1, ~0}, {2, 0, ~1, 1, ~1}, {2, ~2, 3, ~2, 2}},
         {{2, 0, ~0, 1, ~0}, {2, ~2, 3, ~2, 2}}},
        // Every two-finder rule in turn.
        {"a0=b2,a2=b0", {{2, 0, ~0, 1, ~0}, {2, 1, ~1, 0, ~1}}, {{2, 0, ~0, 1, ~0}}},
        {"a0=b0,a3=b3", {{2, 0, ~0, ~0, 3}, {3, 0, 5, ~1, 3}}, {{3, 0, 5, ~1, 3}}},
        {"a1=b0,a2=b1", {{2, ~0, 1, 2, ~0}, {2, 1, 2, ~1, ~1}}, {{2, ~0, 1, 2, ~0}}},
        {"a1=b1,a2=b2", {{2, ~0, 1, 2, ~0}, {3, 0, 1, 2, ~1}}, {{3, 0, 1, 2, ~1}}},
        {"a2=b2,a3=b3", {{2, ~0, ~0, 2, 3}, {2, ~1, ~1, 2, 3}}, {{2, ~0, ~0, 2, 3}}},
        {"not duplicates", {{2, 0, 1, ~0, ~0}, {2, ~1, 1, 0, ~1}}, {{2, 0, 1, ~0, ~0}, {2, ~1, 1, 0, ~1}}},
        // b with fewer finders than a is not compared.
        {"smaller b skipped", {{3, 0, 1, 2, ~0}, {2, 0, 1, ~1, ~1}}, {{3, 0, 1, 2, ~0}, {2, 0, 1, ~1, ~1}}},
        // b = 1 removed, entry 3 moves into its place and is not compared with a = 0 (it
        // would be a duplicate of it); entry 2 is, and stays.
        {"moved entry skipped",
         {{2, 0, 1, ~0, ~0}, {2, ~1, 0, 1, ~1}, {2, ~2, ~2, 5, 6}, {2, ~3, 0, 1, ~3}},
         {{2, 0, 1, ~0, ~0}, {2, ~3, 0, 1, ~3}, {2, ~2, ~2, 5, 6}}},
        // Three-finder merge: same slots 1 to 3, the later one removed on a tie; the
        // four-finder entry moved into its place is not compared with a.
        {"three-finder", {{3, ~0, 1, 2, 3}, {3, ~1, 1, 2, 3}, {4, 0, 1, 2, 3}},
         {{3, ~0, 1, 2, 3}, {4, 0, 1, 2, 3}}},
    };
    for (const HxMergeCase &c : cases) {
        CSCN_ARRANGEMENT_TABLE t{};
        for (const std::vector<int> &e : c.in) {
            t.entry[t.count].count = e[0];
            for (int s = 0; s < 4; ++s) t.entry[t.count].slot[s] = e[1 + s];
            ++t.count;
        }
        CSCN_MergeArrangements(&t);
        std::vector<std::vector<int>> got;
        for (int h = 0; h < t.count; ++h)
            got.push_back({t.entry[h].count, t.entry[h].slot[0], t.entry[h].slot[1], t.entry[h].slot[2], t.entry[h].slot[3]});
        EXPECT_EQ(got, c.out) << c.name;
    }
}

}  // namespace

namespace {

using namespace vexo;

class HanXinTraceParts : public vexo_test::DecoderTest {};

// The angle table rebuilt from its rule, with the two entries the table keeps one lower;
// the diagonal and the folding into 0..1570.
TEST_F(HanXinTraceParts, EdgeAngles) {
    for (int j = 0; j < 1000; ++j) {
        int expect = static_cast<int>(1000.0 * std::atan((j + 1) / 1000.0));
        if (j == 487 || j == 843) {
            EXPECT_EQ(expect, j == 487 ? 454 : 701);
            expect -= 1;
        }
        ASSERT_EQ(CSCN_EdgeAngle(1000, j), expect) << j;
        ASSERT_EQ(CSCN_EdgeAngle(j, 1000), 1570 - expect) << j;
    }
    EXPECT_EQ(CSCN_EdgeAngle(1, 1), 785);
    EXPECT_EQ(CSCN_EdgeAngle(-7, 7), 785);
    EXPECT_EQ(CSCN_EdgeAngle(-1000, -300), CSCN_EdgeAngle(1000, 300));
    EXPECT_EQ(CSCN_EdgeAngle(0, -5), 1570);
    EXPECT_EQ(CSCN_EdgeAngle(5, 0), 0);
}

// A uniform window leaves the point; a dark blob (normal pass) or a light one (inverse
// pass) pulls it to the blob's centroid; near the right border of a 1280-wide frame at full
// contrast the sums pass 32 bits and still match a double-precision reference.
TEST_F(HanXinTraceParts, CentreOfMass) {
    struct HxComCase {
        int width, height;
        int blobX, blobY, blobW, blobH;  // blob of the pass's weighing colour, 0 wide: none
        int pass;
        int px, py, radius;  // whole pixels
    };
    const HxComCase cases[] = {
        {200, 100, 0, 0, 0, 0, 1, 50, 50, 6},       {200, 100, 0, 0, 0, 0, 0, 50, 50, 6},
        {200, 100, 52, 47, 3, 4, 1, 50, 50, 6},     {200, 100, 45, 53, 5, 2, 0, 50, 50, 6},
        {1280, 960, 0, 0, 1280, 960, 1, 1270, 900, 12},  // all dark: every weight 0
        {1280, 960, 1262, 880, 18, 30, 1, 1270, 900, 12},
        {1280, 960, 1262, 880, 18, 30, 0, 1270, 900, 12},
    };
    for (const HxComCase &c : cases) {
        const u8 weighed = c.pass == 1 ? 0 : 255, other = c.pass == 1 ? 255 : 0;
        std::vector<u8> px(static_cast<size_t>(c.width) * c.height, other);
        for (int y = c.blobY; y < c.blobY + c.blobH; ++y)
            for (int x = c.blobX; x < c.blobX + c.blobW; ++x) px[static_cast<size_t>(y) * c.width + x] = weighed;
        Pix_SetImagePointer(px.data());
        Pix_SetImageSize(c.width, c.height);
        g_cscnCurrentPass = c.pass;
        POINT_I32 p{16 * c.px + 5, 16 * c.py + 9};
        const POINT_I32 start = p;
        CSCN_CentreOfMass(&p, c.radius);
        // The reference in double precision over the same window.
        const int x0 = std::max(c.px - c.radius, 0), x1 = std::min(c.px + c.radius + 1, c.width - 1);
        const int y0 = std::max(c.py - c.radius, 0), y1 = std::min(c.py + c.radius + 1, c.height - 1);
        int lo = 255, hi = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                lo = std::min<int>(lo, px[static_cast<size_t>(y) * c.width + x]);
                hi = std::max<int>(hi, px[static_cast<size_t>(y) * c.width + x]);
            }
        double sx = 0, sy = 0, sw = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const int v = px[static_cast<size_t>(y) * c.width + x];
                const double w = c.pass == 1 ? hi - v : v - lo;
                sx += x * w;
                sy += y * w;
                sw += w;
            }
        if (sw == 0) {
            EXPECT_EQ(p.x, start.x);
            EXPECT_EQ(p.y, start.y);
            continue;
        }
        EXPECT_EQ(p.x, static_cast<int>(std::floor(16 * sx / sw))) << c.px << " pass " << c.pass;
        EXPECT_EQ(p.y, static_cast<int>(std::floor(16 * sy / sw))) << c.py << " pass " << c.pass;
        // The blob's own centroid when it lies inside the window.
        if (c.blobW < 20 && c.blobH < 20) {
            EXPECT_NEAR(p.x / 16.0, c.blobX + (c.blobW - 1) / 2.0, 1.0 / 16);
            EXPECT_NEAR(p.y / 16.0, c.blobY + (c.blobH - 1) / 2.0, 1.0 / 16);
        }
    }
}

}  // namespace
