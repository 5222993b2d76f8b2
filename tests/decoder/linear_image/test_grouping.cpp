// Bands, clusters and candidate quadrilaterals on hand-made segment stores, bands and
// synthetic bars; random and degenerate stores and tiny images for robustness (run under
// the sanitizers).
#include <cstdlib>
#include <random>

#include "linear_image/lineimg_bands.h"
#include "linear_image/lineimg_edge_trace.h"
#include "segment_test.h"

namespace {

using segment_test::GreyFrame;
using segment_test::Install;
using segment_test::SegmentTest;
using vexo::g_segmentStore;
using vexo::GEO_POINT;
using vexo::REGION_QUAD;

void AddSegment(GEO_POINT e0, GEO_POINT e1) {
    vexo::LineImg_SetSegment(&g_segmentStore.seg[g_segmentStore.count++], e0, e1, 10, 1);
}

REGION_QUAD Rect(int left, int top, int right, int bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

int Bands(int orientation = 1) {
    REGION_QUAD bands[vexo::kBandCapacity];
    return vexo::LineImg_BuildBands(&g_segmentStore, orientation, bands, nullptr, vexo::kBandCapacity);
}

// Thin bars 2 pixels wide at the given x, over rows [top, bottom).
void Bars(GreyFrame &f, std::initializer_list<int> xs, int top, int bottom) {
    for (int x : xs) f.Bar(x, x, 2, top, bottom);
}

TEST_F(SegmentTest, BandsNeedAnAngleGroupOfTwo) {
    GreyFrame f(752, 480);
    Install(f);
    AddSegment({100, 100}, {100, 160});
    EXPECT_EQ(Bands(), 0);
    AddSegment({400, 100}, {400, 160});
    EXPECT_EQ(Bands(), 2);  // 60 long: kept without looking at the image
    // A third segment of another angle group stays alone.
    AddSegment({600, 100}, {630, 160});
    EXPECT_EQ(Bands(), 2);
    EXPECT_EQ(g_segmentStore.seg[0].angleBin, 18);
    const GEO_POINT p{600, 100}, q{630, 160};
    EXPECT_EQ(g_segmentStore.seg[2].angleBin, vexo::LineImg_SegmentAngle(&p, &q) / 5);
}

// Short segments are checked against the image: up to 15 pixels long their band must show
// at least 5 falling edges across its first 32 samples, from 16 to 31 at least 2 on one half.
TEST_F(SegmentTest, ShortBandsAreCheckedAgainstTheImage) {
    struct Case {
        int length;
        std::vector<int> left;   // bar x offsets from the segment, left of it
        std::vector<int> right;  // right of it
        int bands;               // of the short segment
    } const cases[] = {
        {12, {-30, -25, -20, -15, -10, -5}, {}, 0},
        {13, {-30, -25, -20, -15, -10}, {}, 1},
        {13, {-30, -25, -20, -15}, {}, 0},
        {15, {-30, -25, -20, -15}, {5, 10, 15}, 0},  // only the first 32 samples count
        {16, {-10, -5}, {}, 1},
        {31, {}, {5, 10}, 1},
        {20, {-10}, {10}, 0},
        {31, {}, {}, 0},
        {32, {}, {}, 1},
    };
    for (const Case &c : cases) {
        GreyFrame f(752, 480);
        const int x = 300;
        for (int d : c.left) f.Bar(x + d, x + d, 2, 100, 100 + c.length + 1);
        for (int d : c.right) f.Bar(x + d, x + d, 2, 100, 100 + c.length + 1);
        Install(f);
        AddSegment({x, 100}, {x, 100 + c.length});
        AddSegment({600, 300}, {600, 360});  // a partner in the angle group, always kept
        EXPECT_EQ(Bands(), 1 + c.bands) << "length " << c.length << ", " << c.left.size() << " left, "
                                        << c.right.size() << " right";
    }
}

// In a position group of 40, 42 and 100 (mean 60) the longest segment is no bar: (int)(60.5 x
// 1.5) = 90 < 100; with 80 in its place it is kept: (int)(54.5 x 1.5) = 81.
TEST_F(SegmentTest, MuchLongerNeighbourGetsNoBand) {
    for (int longest : {100, 80}) {
        GreyFrame f(752, 480);
        Install(f);
        AddSegment({300, 100}, {300, 140});
        AddSegment({310, 100}, {310, 142});
        AddSegment({320, 100}, {320, 100 + longest});
        vexo::i16 segmentOf[vexo::kBandCapacity] = {};
        REGION_QUAD bands[vexo::kBandCapacity];
        const int n = vexo::LineImg_BuildBands(&g_segmentStore, 1, bands, segmentOf, vexo::kBandCapacity);
        ASSERT_EQ(n, longest == 100 ? 2 : 3) << longest;
        for (int i = 0; i < n; ++i) EXPECT_TRUE(longest == 80 || segmentOf[i] != 2);
    }
}

// The band of an upright segment from top to bottom: corners top-left, top-right,
// bottom-left, bottom-right, 20 + its length to either side.
TEST(LineImgBands, SegmentBandShape) {
    const GEO_POINT e0{300, 100}, e1{300, 160};
    REGION_QUAD band;
    vexo::LineImg_SegmentBand(&e0, &e1, &band, 20);
    const REGION_QUAD expected = Rect(220, 100, 380, 160);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(band.c[k].x, expected.c[k].x) << k;
        EXPECT_EQ(band.c[k].y, expected.c[k].y) << k;
    }
}

// Bands whose diagonals are 50 and 65 may join (tolerance (int)(1.3 x 50 + 0.5) = 65); 50 and
// 66 never do. Disjoint bands each make a cluster, at most 98.
TEST(LineImgBands, ClusterTolerance) {
    vexo::BAND_CLUSTERS clusters;
    vexo::BAND_SHAPES shapes;
    const REGION_QUAD pair65[2] = {Rect(100, 100, 130, 140), Rect(105, 90, 130, 150)};  // 50 and 65 (25 x 60)
    EXPECT_EQ(vexo::LineImg_ClusterBands(pair65, 2, &clusters, &shapes), 1);
    EXPECT_EQ(clusters.cluster[0].end - clusters.cluster[0].start, 1);
    const REGION_QUAD pair66[2] = {Rect(100, 100, 130, 140), Rect(100, 90, 130, 149)};  // 50 and 66 (30 x 59)
    EXPECT_EQ(vexo::LineImg_ClusterBands(pair66, 2, &clusters, &shapes), 2);
    std::vector<REGION_QUAD> many;
    for (int i = 0; i < vexo::kBandCapacity; ++i) many.push_back(Rect(10 * (i % 50), 100 * (i / 50), 10 * (i % 50) + 5, 100 * (i / 50) + 5));
    EXPECT_EQ(vexo::LineImg_ClusterBands(many.data(), vexo::kBandCapacity, &clusters, &shapes), vexo::kClusterCapacity);
    // A chain: each band joins the one before, so all end up in one cluster.
    std::vector<REGION_QUAD> chain;
    for (int i = 0; i < vexo::kBandCapacity; ++i) chain.push_back(Rect(10 * i, 100, 10 * i + 40, 160));
    EXPECT_EQ(vexo::LineImg_ClusterBands(chain.data(), vexo::kBandCapacity, &clusters, &shapes), 1);
    EXPECT_EQ(clusters.cluster[0].end, vexo::kBandCapacity - 1);
}

// The band builder gives its arena blocks back on every path, also when a request fails.
TEST_F(SegmentTest, BandBuilderReturnsItsArenaBlocks) {
    GreyFrame f(752, 480);
    Install(f);
    const int before = vexo::g_arena.count;
    EXPECT_EQ(Bands(), 0);  // empty store
    EXPECT_EQ(vexo::g_arena.count, before);
    for (int i = 0; i < vexo::kSegmentCapacity; ++i) AddSegment({20 + 7 * i, 100}, {20 + 7 * i, 160});
    EXPECT_EQ(Bands(), vexo::kBandCapacity);
    EXPECT_EQ(vexo::g_arena.count, before);
    // Only two more blocks fit: the third request fails.
    std::vector<void *> held;
    while (vexo::g_arena.count < vexo::kArenaMaxBlocks - 2) held.push_back(vexo::Mem_Alloc(4));
    const int full = vexo::g_arena.count;
    EXPECT_EQ(Bands(), 0);
    EXPECT_EQ(vexo::g_arena.count, full);
    vexo::Mem_FreeList(held.data(), static_cast<int>(held.size()));
    EXPECT_EQ(vexo::g_arena.count, before);
}

// Bars of a cluster lie within 0.8 to 1.5 times the mean of all of them, taken once.
TEST(LineImgGrouping, ConsistentBarLengths) {
    struct Case {
        std::vector<int> lengths;
        int kept;
    } const cases[] = {
        {{40, 41, 42, 80}, 3},  // mean 50: 40 to 75
        {{40, 41, 39, 80}, 2},  // 39 goes first, then 80; the mean stays 50
        {{40, 70}, 1},          // a two-bar cluster losing one: skipped by the grouping
        {{60, 60}, 2},
    };
    for (int orientation : {1, 0}) {
        for (const Case &c : cases) {
            std::vector<REGION_QUAD> bars;
            for (int l : c.lengths) {
                const REGION_QUAD r = Rect(100, 100, 200, 100 + l);
                // Column bands run along x: corner 2 lies l to the side of corner 0.
                bars.push_back(orientation != 0 ? r : REGION_QUAD{{{100, 100}, {100, 200}, {100 + l, 100}, {100 + l, 200}}});
            }
            EXPECT_EQ(vexo::LineImg_KeepConsistentBars(bars.data(), static_cast<int>(bars.size()), orientation), c.kept);
        }
    }
}

// The per-cluster step removes only wholly contained bands, the final step also one with 3
// corners inside; with equal first sides the inner one goes, in either order.
TEST(LineImgGrouping, ContainmentVerdicts) {
    const REGION_QUAD outer = Rect(100, 100, 300, 200);
    const REGION_QUAD three = {{{150, 120}, {250, 120}, {150, 180}, {350, 180}}};  // corner 3 outside
    EXPECT_EQ(vexo::LineImg_ContainedAll4(&outer, &three), 0);
    EXPECT_EQ(vexo::LineImg_ContainedAny3(&outer, &three), 2);
    EXPECT_EQ(vexo::LineImg_ContainedAny3(&three, &outer), 1);
    const REGION_QUAD inner = Rect(100, 120, 300, 180);  // the same first-side extent
    for (bool innerFirst : {true, false}) {
        REGION_QUAD items[2] = {innerFirst ? inner : outer, innerFirst ? outer : inner};
        ASSERT_EQ(vexo::LineImg_RemoveContained(items, 2, vexo::LineImg_ContainedAll4), 1);
        EXPECT_EQ(items[0].c[0].y, 100);
    }
    REGION_QUAD items[3] = {three, outer, Rect(500, 100, 600, 200)};
    EXPECT_EQ(vexo::LineImg_RemoveContained(items, 3, vexo::LineImg_ContainedAll4), 3);
    EXPECT_EQ(vexo::LineImg_RemoveContained(items, 3, vexo::LineImg_ContainedAny3), 2);
}

TEST_F(SegmentTest, QuadFromBandsAndInvertedQuads) {
    GreyFrame f(752, 480);
    Install(f);
    // Bands of two upright bars: the quadrilateral runs from the left band's outer side to
    // the right band's, between the lines through the bars' ends.
    const REGION_QUAD bands[2] = {Rect(220, 100, 380, 160), Rect(240, 100, 400, 160)};
    REGION_QUAD q;
    ASSERT_EQ(vexo::LineImg_QuadFromBands(bands, 2, &q, 1), 1);
    const REGION_QUAD expected = Rect(220, 100, 400, 160);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(q.c[k].x, expected.c[k].x, 1) << k;
        EXPECT_NEAR(q.c[k].y, expected.c[k].y, 1) << k;
    }
    // Side lines that meet inside the image give nothing.
    const REGION_QUAD converging[1] = {{{{100, 100}, {200, 150}, {100, 300}, {200, 250}}}};
    EXPECT_EQ(vexo::LineImg_QuadFromBands(converging, 1, &q, 1), 0);
    // Turned over: corner 2 above corner 0 (rows), corner 0 left of corner 2 (columns).
    REGION_QUAD quads[3] = {Rect(100, 100, 200, 150), Rect(100, 150, 200, 100), Rect(300, 100, 400, 150)};
    EXPECT_EQ(vexo::LineImg_DropInvertedQuads(quads, 3, 1), 2);
    EXPECT_EQ(quads[1].c[0].x, 300);
    REGION_QUAD flat[2] = {{{{100, 200}, {100, 100}, {150, 200}, {150, 100}}}, {{{150, 200}, {150, 100}, {100, 200}, {100, 100}}}};
    EXPECT_EQ(vexo::LineImg_DropInvertedQuads(flat, 2, 0), 1);
    EXPECT_EQ(flat[0].c[0].x, 150);
}

// The ends of a candidate 30 pixels beyond the outer bars of a symbol with 60-pixel bars
// move to 40 beyond them; an end that finds fewer than 3 edges leaves the candidate alone.
TEST_F(SegmentTest, TrimQuadEnds) {
    GreyFrame f(752, 480);
    for (int x = 200; x < 400; x += 6 + (x % 4)) f.Bar(x, x, 3, 100, 160);
    Install(f);
    // The last bar: find its right edge from the drawing.
    int right = 0;
    for (int x = 0; x < 752; ++x)
        if (f.At(x, 130) < 100) right = x + 1;
    REGION_QUAD q = Rect(170, 100, right + 30, 160);
    vexo::LineImg_TrimQuadEnds(&q);
    EXPECT_NEAR(q.c[0].x, 160, 3);
    EXPECT_NEAR(q.c[2].x, 160, 3);
    EXPECT_NEAR(q.c[1].x, right + 40, 3);
    EXPECT_NEAR(q.c[3].x, right + 40, 3);
    EXPECT_NEAR(q.c[0].y, 100, 1);
    EXPECT_NEAR(q.c[3].y, 160, 1);
    // Two bars only: too few edges inside.
    GreyFrame g(752, 480);
    Bars(g, {250, 330}, 100, 160);
    Install(g);
    const REGION_QUAD before = Rect(220, 100, 360, 160);
    REGION_QUAD r = before;
    vexo::LineImg_TrimQuadEnds(&r);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r.c[k].x, before.c[k].x);
        EXPECT_EQ(r.c[k].y, before.c[k].y);
    }
}

// Groups of bars at different distances from the image centre come nearest first.
TEST_F(SegmentTest, CandidatesNearestTheCentreFirst) {
    GreyFrame f(752, 480);
    // Group centres at x = 118, 378 and 638: 258, 2 and 262 from the centre (376). Bars 36
    // long: their bands reach 56 to either side, less than half the gaps between groups, so
    // the groups' quadrilaterals do not continue each other.
    const int starts[] = {50, 310, 570};
    for (int s : starts)
        for (int k = 0; k < 12; ++k) f.Bar(s + 12 * k + (k % 3) * 2, s + 12 * k + (k % 3) * 2, 3 + (k % 2) * 2, 222, 258);
    Install(f);
    segment_test::ScanAll(f, false);
    REGION_QUAD out[vexo::kGroupCandidateCapacity];
    const int n = vexo::LineImg_GroupSegments(out, vexo::kGroupCandidateCapacity, 1);
    ASSERT_EQ(n, 3);
    const int expectedCentre[] = {378, 118, 638};
    const auto centre = [](const REGION_QUAD &q) { return (q.c[0].x + q.c[1].x + q.c[2].x + q.c[3].x) / 4; };
    for (int i = 0; i < n; ++i) EXPECT_NEAR(centre(out[i]), expectedCentre[i], 10) << i;
    EXPECT_EQ(vexo::LineImg_GroupSegments(out, 1, 1), 1);
    EXPECT_NEAR(centre(out[0]), 378, 10);
}

// Random and degenerate stores never write past a list and give at most 20 candidates.
TEST_F(SegmentTest, RandomStoresStayInBounds) {
    GreyFrame f(320, 240);
    std::mt19937 rng(7);
    for (uint8_t &p : f.pixels) p = static_cast<uint8_t>(rng() % 256);
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        Install(f);
        std::mt19937 r(seed);
        const int n = static_cast<int>(r() % (vexo::kSegmentCapacity + 1));
        const int kind = static_cast<int>(seed % 5);
        for (int i = 0; i < n; ++i) {
            GEO_POINT a{static_cast<int>(r() % 400) - 40, static_cast<int>(r() % 320) - 40};
            GEO_POINT b{static_cast<int>(r() % 400) - 40, static_cast<int>(r() % 320) - 40};
            if (kind == 1) b = a;                                     // zero length
            if (kind == 2) a = GEO_POINT{0, a.y}, b = GEO_POINT{319, b.y};  // ends on the border
            if (kind == 3) b = GEO_POINT{a.x + 3, a.y + 60};          // all parallel
            if (kind == 4) a = GEO_POINT{160, 120};                   // all through one point
            AddSegment(a, b);
        }
        REGION_QUAD out[vexo::kGroupCandidateCapacity + 1];
        const int before = vexo::g_arena.count;
        const int c = vexo::LineImg_GroupSegments(out, vexo::kGroupCandidateCapacity + 1, static_cast<int>(seed & 1));
        EXPECT_LE(c, vexo::kGroupCandidateCapacity) << "seed " << seed;
        EXPECT_EQ(vexo::g_arena.count, before) << "seed " << seed;
        vexo::BAND_CLUSTERS clusters;
        vexo::BAND_SHAPES shapes;
        REGION_QUAD bands[vexo::kBandCapacity];
        const int b = vexo::LineImg_BuildBands(&g_segmentStore, 1, bands, nullptr, vexo::kBandCapacity);
        EXPECT_LE(vexo::LineImg_ClusterBands(bands, b, &clusters, &shapes), vexo::kClusterCapacity);
    }
}

// Tracing on tiny images and from every border position reads nothing outside the image.
TEST_F(SegmentTest, TracingStaysInsideSmallImages) {
    std::mt19937 rng(11);
    for (int size = 1; size <= 40; size += 3) {
        GreyFrame f(size, size + 1);
        for (uint8_t &p : f.pixels) p = static_cast<uint8_t>(rng() % 2 != 0 ? 30 : 220);
        Install(f);
        for (int t = 0; t < 2 * size + 2; ++t) {
            const int along = t % (size + 2) - 1;
            const GEO_POINT starts[4][2] = {{{along, 0}, {along, 4}},
                                            {{along, size}, {along, size - 4}},
                                            {{0, along}, {4, along}},
                                            {{size - 1, along}, {size - 5, along}}};
            for (const auto &s : starts) {
                GEO_POINT e0, e1;
                int count;
                for (int flag : {0, 1}) {
                    vexo::LineImg_TraceEdgeRows(&s[0], &s[1], flag, &e0, &e1, 1, 102, &count, 0);
                    vexo::LineImg_TraceEdgeColumns(&s[0], &s[1], flag, &e0, &e1, 1, 102, &count, 0);
                    vexo::EDGE_TRACE tr{};
                    tr.a = s[0];
                    tr.b = s[1];
                    tr.flag = flag;
                    tr.ratio = 102;
                    ASSERT_EQ(vexo::LineImg_AttachTraceScratch(&tr, vexo::kTraceScratchRefit), 1);
                    vexo::LineImg_RefitTraceRows(&tr);
                    vexo::LineImg_RefitTraceRowsBack(&tr);
                    vexo::LineImg_RefitTraceColumns(&tr);
                    vexo::LineImg_RefitTraceColumnsBack(&tr);
                }
            }
        }
    }
}

}  // namespace
