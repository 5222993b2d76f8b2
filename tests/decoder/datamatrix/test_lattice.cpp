// Region lattice path choice, regularisation tables, the solvers, point smoothing, the
// sampling primitives, the image line sampler and the multi-symbol pairing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_regularize.h"
#include "datamatrix/dm_sampling.h"
#include "datamatrix/dm_stages.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"
#include "toolkit/sampling.h"

namespace {

using vexo::DM_GEOMETRY;
using vexo::GEO_POINT;

// A perspective image of the index grid: node (c, r) at the projection of (c, r).
GEO_POINT Project(double c, double r) {
    const double d = 1 + 0.01 * c + 0.015 * r;
    return GEO_POINT{static_cast<int>(std::lround((100 + 60 * c + 5 * r) / d)),
                     static_cast<int>(std::lround((80 + 4 * c + 55 * r) / d))};
}

DM_GEOMETRY Lattice(int rows, int cols) {
    DM_GEOMETRY g{};
    g.regionRows = rows;
    g.regionCols = cols;
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= cols; ++c) g.lattice[r][c] = Project(c, r);
    }
    return g;
}

TEST(DmLatticePath, ArmLengthsChooseThePath) {
    struct Row {
        int cls, arm1, arm2;
        int notLarge;  // 1: the standard path (0), 0: the large path was tried, -1: class not handled
    };
    const Row rows[] = {{1, 140, 150, 1}, {1, 151, 140, 0}, {0, 150, 150, 1}, {2, 250, 250, 1},
                        {2, 251, 100, 0}, {4, 900, 900, -1}, {6, 900, 900, -1}};
    for (const Row &row : rows) {
        vexo::DM_PREPARED_CANDIDATE cand{};
        cand.arm1Length = row.arm1;
        cand.arm2Length = row.arm2;
        DM_GEOMETRY g{};
        g.layoutClass = row.cls;
        const int r = vexo::DM_TryLargeSymbolPath(&cand, &g);
        if (row.notLarge == 1) {
            EXPECT_EQ(r, 0) << row.cls << " " << row.arm1;
        } else if (row.notLarge == 0) {
            EXPECT_NE(r, 0) << row.cls << " " << row.arm1;
        } else {
            EXPECT_EQ(r, -1) << row.cls;
        }
    }
}

TEST(DmRegularize, OneRegionUnchangedAndTwoByTwoWithinAPixel) {
    DM_GEOMETRY one = Lattice(1, 1);
    one.lattice[0][0].x += 3;
    const DM_GEOMETRY before = one;
    vexo::DM_RegularizeLattice(&one);
    EXPECT_EQ(std::memcmp(&before, &one, sizeof one), 0);
    DM_GEOMETRY g = Lattice(2, 2);
    const DM_GEOMETRY measured = g;
    vexo::DM_RegularizeLattice(&g);
    for (int r = 0; r <= 2; ++r) {
        for (int c = 0; c <= 2; ++c) {
            EXPECT_LE(std::abs(g.lattice[r][c].x - measured.lattice[r][c].x), 1);
            EXPECT_LE(std::abs(g.lattice[r][c].y - measured.lattice[r][c].y), 1);
        }
    }
}

// The expected node from one fitted window, as the regularisation computes it.
GEO_POINT MapByWindow(const DM_GEOMETRY &g, int rs, int r1, int cs, int c1, int c, int r) {
    GEO_POINT src[16], dst[16];
    int n = 0;
    for (int rr = rs; rr <= r1; ++rr) {
        for (int cc = cs; cc <= c1; ++cc) {
            src[n] = GEO_POINT{cc, rr};
            dst[n++] = g.lattice[rr][cc];
        }
    }
    vexo::PERSPECTIVE t{};
    EXPECT_EQ(vexo::DM_FitPerspectiveInt(src, dst, n, &t, 8192), 1);
    GEO_POINT p{};
    EXPECT_EQ(vexo::Geo_MapPointPerspective(&t, c, r, &p.x, &p.y), 1);
    return p;
}

GEO_POINT Avg(GEO_POINT a, GEO_POINT b) { return GEO_POINT{(a.x + b.x + 1) / 2, (a.y + b.y + 1) / 2}; }

TEST(DmRegularize, BlocksAndAveragingByLayout) {
    // 1 x 2: one transform over the six nodes.
    DM_GEOMETRY g12 = Lattice(1, 2);
    g12.lattice[0][1].y += 4;  // noise, so that the fit moves nodes
    const DM_GEOMETRY m12 = g12;
    vexo::DM_RegularizeLattice(&g12);
    for (int c = 0; c <= 2; ++c) {
        const GEO_POINT e = MapByWindow(m12, 0, 1, 0, 2, c, 0);
        EXPECT_EQ(g12.lattice[0][c].x, e.x);
        EXPECT_EQ(g12.lattice[0][c].y, e.y);
    }
    // 4 x 4: the second row block fits rows 2-4 and writes rows 3-4; row 3 averaged.
    DM_GEOMETRY g4 = Lattice(4, 4);
    g4.lattice[2][1].x += 5;
    const DM_GEOMETRY m4 = g4;
    vexo::DM_RegularizeLattice(&g4);
    const GEO_POINT top = MapByWindow(m4, 0, 3, 0, 3, 1, 3);
    const GEO_POINT bottom = MapByWindow(m4, 2, 4, 0, 3, 1, 3);
    EXPECT_EQ(g4.lattice[3][1].x, Avg(top, bottom).x);
    EXPECT_EQ(g4.lattice[3][1].y, Avg(top, bottom).y);
    const GEO_POINT row2 = MapByWindow(m4, 0, 3, 0, 3, 1, 2);
    EXPECT_EQ(g4.lattice[2][1].x, row2.x);
    // 6 x 6: node (3, 3) is the running average of the four mappings in block order.
    DM_GEOMETRY g6 = Lattice(6, 6);
    g6.lattice[3][3].x += 3;
    g6.lattice[4][2].y -= 2;
    const DM_GEOMETRY m6 = g6;
    vexo::DM_RegularizeLattice(&g6);
    const GEO_POINT p1 = MapByWindow(m6, 0, 3, 0, 3, 3, 3);
    const GEO_POINT p2 = MapByWindow(m6, 0, 3, 3, 6, 3, 3);
    const GEO_POINT p3 = MapByWindow(m6, 3, 6, 0, 3, 3, 3);
    const GEO_POINT p4 = MapByWindow(m6, 3, 6, 3, 6, 3, 3);
    const GEO_POINT want = Avg(Avg(Avg(p1, p2), p3), p4);
    EXPECT_EQ(g6.lattice[3][3].x, want.x);
    EXPECT_EQ(g6.lattice[3][3].y, want.y);
}

TEST(DmRegularize, DegenerateWindowKeepsMeasuredNodes) {
    DM_GEOMETRY g{};
    g.regionRows = 2;
    g.regionCols = 2;
    for (int r = 0; r <= 2; ++r) {
        for (int c = 0; c <= 2; ++c) g.lattice[r][c] = GEO_POINT{10 * (r * 3 + c), 20 * (r * 3 + c)};  // one line
    }
    const DM_GEOMETRY before = g;
    vexo::DM_RegularizeLattice(&g);
    EXPECT_EQ(std::memcmp(&before.lattice, &g.lattice, sizeof g.lattice), 0);
    DM_GEOMETRY same{};
    same.regionRows = 1;
    same.regionCols = 2;  // all nodes coincide
    vexo::DM_RegularizeLattice(&same);
    EXPECT_EQ(same.lattice[1][2].x, 0);
}

TEST(DmSolvers, FitPerspectivePairCountsAndCompletePivot) {
    GEO_POINT src[41], dst[41];
    for (int i = 0; i < 41; ++i) {
        src[i] = GEO_POINT{i % 7, i / 7};
        dst[i] = Project(i % 7, i / 7);
    }
    vexo::PERSPECTIVE t{};
    t.c[0] = 77;
    EXPECT_EQ(vexo::DM_FitPerspectiveInt(src, dst, 3, &t, 8192), 0);
    EXPECT_EQ(t.c[0], 77);
    // The 41st pair counts for nothing: a wild one changes no coefficient.
    dst[40] = GEO_POINT{5000, -4000};
    vexo::PERSPECTIVE a{}, b{};
    EXPECT_EQ(vexo::DM_FitPerspectiveInt(src, dst, 41, &a, 8192), 1);
    EXPECT_EQ(vexo::DM_FitPerspectiveInt(src, dst, 40, &b, 8192), 1);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);

    double m[4] = {0, 1, 1, 0}, rhs[2] = {2, 3};
    EXPECT_EQ(vexo::DM_SolveCompletePivot(m, rhs, 2), 1);
    EXPECT_DOUBLE_EQ(rhs[0], 3);
    EXPECT_DOUBLE_EQ(rhs[1], 2);
    double z[4] = {}, zr[2] = {1, 1};
    EXPECT_EQ(vexo::DM_SolveCompletePivot(z, zr, 2), 0);
    // Two equal largest entries: the first in row-major order (row 0) is the pivot, which
    // then solves the system exactly; a later pick would give the same solution, so check
    // the elimination through a singular-after-pivot case instead.
    double e[4] = {2, 1, 2, 1}, er[2] = {1, 1};
    EXPECT_EQ(vexo::DM_SolveCompletePivot(e, er, 2), 0);
    double f[9] = {4, 1, 0, 1, 4, 0, 0, 0, 4}, fr[3] = {5, 5, 8};
    EXPECT_EQ(vexo::DM_SolveCompletePivot(f, fr, 3), 1);
    EXPECT_NEAR(fr[0], 1, 1e-12);
    EXPECT_NEAR(fr[1], 1, 1e-12);
    EXPECT_NEAR(fr[2], 2, 1e-12);
}

TEST(DmSolvers, SmoothingKeepsLinesAndConstants) {
    GEO_POINT line[10], flat[10];
    for (int i = 0; i < 10; ++i) {
        line[i] = GEO_POINT{16 + 32 * i, 40 + 8 * i};
        flat[i] = GEO_POINT{100, 50 + 16 * i};
    }
    GEO_POINT l2[10], f2[10];
    std::memcpy(l2, line, sizeof line);
    std::memcpy(f2, flat, sizeof flat);
    vexo::DM_SmoothPointsProjective(l2, 10);
    vexo::DM_SmoothPointsProjective(f2, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(l2[i].x, line[i].x);
        EXPECT_EQ(l2[i].y, line[i].y);
        EXPECT_EQ(f2[i].x, 100);  // singular: untouched
        EXPECT_EQ(f2[i].y, flat[i].y);
    }
    // Huge coordinates whose fit goes out of range keep their values.
    GEO_POINT wild[3] = {{2147483000, -2147483000}, {0, 0}, {-2147483000, 2147483000}};
    vexo::DM_SmoothPointsProjective(wild, 3);
    SUCCEED();
}

class DmSampling : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        pixels_.assign(static_cast<size_t>(kW) * kH, 0);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) pixels_[y * kW + x] = static_cast<uint8_t>((x * 7 + y * 3) & 255);
        }
        vexo::Pix_SetImagePointer(pixels_.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(kW, kH);
        vexo::Pix_InstallFrame(pixels_.data(), kW, kH);
    }
    static constexpr int kW = 64, kH = 48;
    std::vector<uint8_t> pixels_;
};

TEST_F(DmSampling, BilinearEdgesAndGain) {
    const uint8_t *img = pixels_.data();
    EXPECT_EQ(vexo::DM_SampleBilinear16(img, 16 * (kW - 1), 32), 128);
    EXPECT_EQ(vexo::DM_SampleBilinear16(img, 32, 16 * (kH - 1)), 128);
    EXPECT_EQ(vexo::DM_SampleBilinear16(img, -1, 32), 128);
    // At a pixel centre the gain is 17/16.
    const int p = pixels_[5 * kW + 4];
    EXPECT_EQ(vexo::DM_SampleBilinear16(img, 16 * 4, 16 * 5), std::min(255, (256 * p + (256 * p >> 4)) >> 8));
}

TEST_F(DmSampling, CentresWithoutEdgesAndFirstEdgeByPolarity) {
    uint8_t flat[100];
    std::memset(flat, 200, sizeof flat);
    int count = 10, centres[64] = {};
    ASSERT_EQ(vexo::DM_FindModuleCentresIn(flat, 100, 0, &count, centres, 64), 1);
    EXPECT_EQ(centres[0], 16 * 5);  // half a module
    for (int i = 1; i < 10; ++i) EXPECT_EQ(centres[i] - centres[i - 1], 16 * 10);
    // A profile with one fall at 10 and one rise at 20: polarity 0 finds the fall first,
    // polarity 1 the rise.
    uint8_t s[100];
    for (int i = 0; i < 100; ++i) s[i] = i < 10 || i >= 20 ? 200 : 20;
    EXPECT_GE(vexo::DM_EdgeInWindow(s, 0, 15, 1), 16 * 9);
    EXPECT_LT(vexo::DM_EdgeInWindow(s, 0, 15, 0), 0);
    EXPECT_GE(vexo::DM_EdgeInWindow(s, 12, 15, 0), 16 * 19);
}

TEST_F(DmSampling, UnsampleableRegionReadsOutsideGrey) {
    uint8_t matrix[20 * 20];
    std::memset(matrix, 7, sizeof matrix);
    DM_GEOMETRY g{};
    g.layoutClass = 2;
    g.regionRows = 1;
    g.regionCols = 2;
    g.moduleRows = 10;
    g.moduleCols = 10;
    g.modules = matrix;
    // Nodes so far outside that no side can be profiled: no centres anywhere.
    for (int r = 0; r <= 1; ++r) {
        for (int c = 0; c <= 2; ++c) g.lattice[r][c] = GEO_POINT{-5000 - 10 * c, -5000 - 10 * r};
    }
    EXPECT_EQ(vexo::DM_SampleModules(pixels_.data(), &g), 0);
    for (int i = 0; i < 10 * 20; ++i) ASSERT_EQ(matrix[i], 128) << i;
}

TEST_F(DmSampling, ImageLineWalk) {
    uint8_t out[64];
    // The walk of the error terms, point for point, for a few slopes.
    struct Seg {
        int x0, y0, x1, y1;
    };
    for (const Seg &s : {Seg{2, 3, 12, 6}, Seg{5, 5, 1, 20}, Seg{0, 0, 7, 7}, Seg{60, 40, 70, 44}, Seg{3, 3, 3, 3}}) {
        const int n = std::max(std::abs(s.x1 - s.x0), std::abs(s.y1 - s.y0));
        ASSERT_EQ(vexo::DM_SampleImageLine(pixels_.data(), s.x0, s.y0, s.x1, s.y1, out), n + 1);
        const int adx = std::abs(s.x1 - s.x0), ady = std::abs(s.y1 - s.y0);
        int x = s.x0, y = s.y0, ex = 2 * adx - ady, ey = 2 * ady - adx;
        for (int k = 0; k <= n; ++k) {
            if (k > 0) {
                ex += 2 * adx;
                if (ex > 0) {
                    x += s.x1 > s.x0 ? 1 : -1;
                    ex -= 2 * ady;
                }
                ey += 2 * ady;
                if (ey > 0) {
                    y += s.y1 > s.y0 ? 1 : -1;
                    ey -= 2 * adx;
                }
            }
            const int want = x >= 0 && y >= 0 && x < kW && y < kH ? pixels_[y * kW + x] : 0;
            EXPECT_EQ(out[k], want) << k;
        }
        if (n > 0) {
            EXPECT_EQ(x, s.x1);
            EXPECT_EQ(y, s.y1);
        }
    }
}

// The first cell of a one-region candidate on a drawn frame: solid left and bottom sides,
// and on each timing side one dip whose line contrast is exactly the score wanted (a line
// through it falls and rises once; the ground beyond it is 199 for an odd score). Lines
// just inside carry a little texture so that the pair search sees its edge; lines outside
// carry none.
class DmCellScores : public ::testing::Test {
protected:
    static constexpr int kW = 600, kH = 400;
    void Fill(int x0, int x1, int y0, int y1, int v) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) px_[static_cast<size_t>(y) * kW + x] = static_cast<uint8_t>(v);
        }
    }
    // The drawn frame becomes the decoder's image.
    void Install() {
        vexo::Test_ResetDecoderStatics();
        vexo::Pix_SetImagePointer(px_.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(kW, kH);
        vexo::Pix_InstallFrame(px_.data(), kW, kH);
        vexo::DM_SetNoiseThreshold(15);
    }
    void Draw(int top, int right) {
        px_.assign(static_cast<size_t>(kW) * kH, 200);
        const auto fill = [&](int x0, int x1, int y0, int y1, int v) { Fill(x0, x1, y0, y1, v); };
        fill(100, 108, 140, 300, 30);  // left solid side (short of the top timing lines)
        fill(100, 260, 292, 300, 30);  // bottom solid side (short of the right timing lines)
        // Top: a dip of depth score / 2 (even scores only here).
        fill(195, 205, 108, 130, 170);
        fill(195, 205, 100, 108, 200 - top / 2);
        // Right: an odd score falls by 100 and rises by score - 100 to a ground of 199.
        fill(270, 292, 195, 205, 170);
        if (right % 2 != 0) fill(270, kW, 0, 195, 199);
        fill(292, 300, 195, 205, right % 2 != 0 ? 100 : 200 - right / 2);
        Install();
    }
    // Dark on light, corner (100, 300), arm 1 up to y = 100, arm 2 along to x = right.
    static vexo::DM_PREPARED_CANDIDATE Candidate(int right = 300) {
        vexo::DM_PREPARED_CANDIDATE cand{};
        cand.valid = 1;
        cand.darkOnLight = 1;
        cand.corner = GEO_POINT{100, 300};
        cand.armEnd1 = GEO_POINT{100, 100};
        cand.armEnd2 = GEO_POINT{right, 300};
        cand.fourthCorner = GEO_POINT{right, 100};
        cand.arm1Length = 200;
        cand.arm2Length = right - 100;
        cand.longerArm = cand.arm1Length > cand.arm2Length ? cand.arm1Length : cand.arm2Length;
        return cand;
    }
    int Measure() {
        vexo::DM_PREPARED_CANDIDATE cand = Candidate();
        DM_GEOMETRY g{};
        g.layoutClass = vexo::kDmLayoutSquare1;
        return vexo::DM_MeasureCell(px_.data(), &cand, &g);
    }
    std::vector<uint8_t> px_;
};

TEST_F(DmCellScores, TimingScoresOfTheFirstCell) {
    struct Case {
        int top, right;
        bool passes;
    };
    // Each at or below 99 fails, and so does a sum at or below 299.
    for (const Case c : {Case{100, 199, false}, Case{100, 200, true}, Case{98, 250, false}, Case{100, 98, false},
                         Case{150, 150, true}}) {
        Draw(c.top, c.right);
        // The drawn frame gives the pair searches exactly these scores (reach 200 / 7).
        GEO_POINT tl{100, 100}, tr{300, 100}, br{300, 300}, tr2{300, 100};
        EXPECT_EQ(vexo::DM_SearchTimingEdge(px_.data(), &tl, &tr, GEO_POINT{100, 300}, 28), c.top);
        EXPECT_EQ(vexo::DM_SearchTimingEdge(px_.data(), &br, &tr2, GEO_POINT{100, 300}, 28), c.right);
        const int r = Measure();
        if (c.passes) {
            EXPECT_NE(r, vexo::kDmStatusNoCandidate) << c.top << " " << c.right;
        } else {
            EXPECT_EQ(r, vexo::kDmStatusNoCandidate) << c.top << " " << c.right;
        }
    }
}

// A class -1 first cell: its right side is sought from half-way along the bottom arm. The
// drawn frame has that side's dip at x = 300; a bottom arm ending at 500 finds it (the
// first cell's BR half-way, at 300), one ending at 300 does not (BR at 200).
TEST_F(DmCellScores, WideRectangleCellStartsHalfWayAlongTheBottomArm) {
    Draw(150, 150);
    for (const int end : {500, 300}) {
        vexo::DM_PREPARED_CANDIDATE cand = Candidate(end);
        DM_GEOMETRY g{};
        g.layoutClass = vexo::kDmLayoutWideRectangle;
        const int r = vexo::DM_MeasureCell(px_.data(), &cand, &g);
        if (end == 500) {
            EXPECT_NE(r, vexo::kDmStatusNoCandidate);
            EXPECT_EQ(g.regionCols, 2);
            // Within the dip's width of 8 px.
            EXPECT_NEAR(g.lattice[1][1].x, 300, 8);
            EXPECT_NEAR(g.lattice[0][1].x, 300, 8);
        } else {
            EXPECT_EQ(r, vexo::kDmStatusNoCandidate);
        }
    }
}

// The completion of a class -1 lattice from its measured first cell (nodes at x = 100 and
// 300, y = 100 and 300): the second region's outer right side (dip at x = 500) and its top
// timing side (dip at x = 400) are each found by a pair search, which must score 61.
TEST_F(DmCellScores, CompletionSearchesNeedSixtyOne) {
    const int moduleRows = vexo::DM_DefaultModuleCount(vexo::kDmLayoutWideRectangle, 1);
    const int moduleCols = vexo::DM_DefaultModuleCount(vexo::kDmLayoutWideRectangle, 0);
    for (const int score : {60, 61}) {
        SCOPED_TRACE(score);
        px_.assign(static_cast<size_t>(kW) * kH, 200);
        const auto fill = [&](int x0, int x1, int y0, int y1, int v) { Fill(x0, x1, y0, y1, v); };
        // The odd score falls by 31 and rises by 30 to a ground of 199 beyond the dip.
        const int dip = 200 - (score + 1) / 2;
        fill(100, 108, 140, 300, 30);
        fill(100, 460, 292, 300, 30);
        fill(395, 405, 108, 130, 170);
        if (score % 2 != 0) fill(405, kW, 0, 130, 199);
        fill(395, 405, 100, 108, dip);
        fill(470, 492, 195, 205, 170);
        if (score % 2 != 0) fill(470, kW, 0, 195, 199);
        fill(492, 500, 195, 205, dip);
        Install();
        vexo::DM_PREPARED_CANDIDATE cand = Candidate(500);
        DM_GEOMETRY g{};
        g.layoutClass = vexo::kDmLayoutWideRectangle;
        g.regionRows = 1;
        g.regionCols = 2;
        g.moduleRows = moduleRows;
        g.moduleCols = moduleCols;
        g.lattice[0][0] = GEO_POINT{100, 100};
        g.lattice[0][1] = GEO_POINT{300, 100};
        g.lattice[1][0] = GEO_POINT{100, 300};
        g.lattice[1][1] = GEO_POINT{300, 300};
        // The two searches the completion makes score exactly this.
        GEO_POINT p{500, 300}, q{500, 100};
        EXPECT_EQ(vexo::DM_SearchTimingEdge(px_.data(), &p, &q, GEO_POINT{300, 300}, 3 * 200 / moduleRows), score);
        GEO_POINT v{300, 100}, t{500, 100};
        EXPECT_EQ(vexo::DM_SearchTimingEdge(px_.data(), &v, &t, GEO_POINT{300, 300}, 2 * 400 / 2 / moduleCols), score);
        const int r = vexo::DM_CompleteLattice(px_.data(), &cand, &g);
        if (score == 60) {
            EXPECT_EQ(r, vexo::kDmStatusNoCandidate);
        } else {
            EXPECT_EQ(r, 0);
            EXPECT_NEAR(g.lattice[1][2].x, 500, 8);
            EXPECT_NEAR(g.lattice[0][2].x, 500, 8);
            EXPECT_NEAR(g.lattice[0][2].y, 100, 8);
        }
    }
}

// The large-symbol path's first search: lines of five slopes from a window on the left
// side around arm end 1 to the diagonal, scored by their contrast relative to the lines
// beyond. A dark stripe crosses the lines inside and a fainter one the lines outside; two
// pairs of depths give the search exactly 149 and 150. At 149 the path stops there; at
// 150 it goes on to the second search, whose window lies on the bottom side (its points
// replace the first's in the work buffer).
TEST_F(DmCellScores, LargePathSearchNeedsOneHundredFifty) {
    vexo::DM_PREPARED_CANDIDATE cand = Candidate();
    const auto topScore = [&] {
        vexo::SLOPE_LINE left{}, bottom{}, diagonal{};
        vexo::Geo_SlopeLineFromPoints(cand.armEnd1, cand.corner, &left);
        vexo::Geo_SlopeLineFromPoints(cand.armEnd2, cand.corner, &bottom);
        vexo::Geo_SlopeLineFromPoints(cand.fourthCorner, cand.corner, &diagonal);
        GEO_POINT t1{}, t2{}, at{};
        vexo::DM_BoundaryWindowSingle(&left, cand.corner, cand.armEnd1, &t1, &t2);
        int score = 0;
        vexo::DM_SearchParallelEdge(t1, t2, &diagonal, &bottom, cand.longerArm, &at, &score);
        return score;
    };
    struct Stripes {
        int inside, outside, score;
    };
    for (const Stripes c : {Stripes{51, 33, 149}, Stripes{48, 31, 150}}) {
        SCOPED_TRACE(c.score);
        px_.assign(static_cast<size_t>(kW) * kH, 200);
        Fill(150, 158, 100, 300, 200 - c.inside);
        Fill(150, 158, 0, 100, 200 - c.outside);
        Install();
        ASSERT_EQ(topScore(), c.score);
        Install();
        DM_GEOMETRY g{};
        g.layoutClass = vexo::kDmLayoutSquare1;
        EXPECT_NE(vexo::DM_TryLargeSymbolPath(&cand, &g), 0);
        const GEO_POINT first = reinterpret_cast<const GEO_POINT *>(vexo::DM_WorkBuffer() + vexo::kDmTrackPointsOffset)[0];
        if (c.score == 149) {
            EXPECT_EQ(first.x, 100);  // the left window's
        } else {
            EXPECT_EQ(first.y, 300);  // the bottom window's
        }
    }
}

// Two candidates side by side in the usual orientation (corner bottom left, arm 1 up).
vexo::DM_CANDIDATE Cand(int x, int y, int a, int b) {
    vexo::DM_CANDIDATE c{};
    c.valid = 1;
    c.corner = GEO_POINT{x, y};
    c.armEnd1 = GEO_POINT{x, y - a};
    c.armEnd2 = GEO_POINT{x + b, y};
    return c;
}

TEST(DmPairs, PairingRules) {
    int order[20];
    {
        vexo::DM_CANDIDATE c[2] = {Cand(300, 100, 80, 80), Cand(100, 100, 80, 80)};
        ASSERT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 2);
        EXPECT_EQ(order[0], 1);  // the left one first
        EXPECT_EQ(order[1], 0);
    }
    {
        vexo::DM_CANDIDATE c[2] = {Cand(100, 300, 80, 80), Cand(100, 100, 80, 80)};
        ASSERT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 2);
        EXPECT_EQ(order[0], 1);  // the upper one first
    }
    {
        vexo::DM_CANDIDATE c[2] = {Cand(100, 100, 80, 80), Cand(300, 100, 60, 60)};  // 25 percent shorter
        EXPECT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 2);
        c[1] = Cand(300, 100, 59, 59);  // more than a quarter
        EXPECT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 0);
    }
    {
        vexo::DM_CANDIDATE c[2] = {Cand(100, 100, 80, 80), Cand(300, 100, 80, 80)};
        // The second L turned by 25 degrees: arms not parallel within 0.939.
        c[1].armEnd1 = GEO_POINT{300 + 34, 100 - 72};
        c[1].armEnd2 = GEO_POINT{300 + 72, 100 + 34};
        EXPECT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 0);
    }
    {
        // Placed diagonally (45 degrees): the placement cosine rejects.
        vexo::DM_CANDIDATE c[2] = {Cand(100, 100, 80, 80), Cand(250, 250, 80, 80)};
        EXPECT_EQ(vexo::DM_PairCandidates(c, 2, order, 20), 0);
    }
}

TEST(DmPairs, SortByScore) {
    int s1[4] = {10, 0, 5, 0}, s2[4] = {0, 6, 2, 5}, idx[4];
    vexo::DM_SortPairs(idx, s2, s1, 4);
    // keys 10, 12, 9, 10: 2, then 0 and 3 (ties by index), then 1.
    EXPECT_EQ(idx[0], 2);
    EXPECT_EQ(idx[1], 0);
    EXPECT_EQ(idx[2], 3);
    EXPECT_EQ(idx[3], 1);
}

}  // namespace
