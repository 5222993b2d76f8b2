// The alignment-pattern search: node ranking over every grid arrangement, the window scan's
// parts on small hand-made images, and the search on rendered symbols against the positions
// the renderer put the patterns at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "qr/qr_align.h"
#include "qr/qr_symbol_stages.h"
#include "qr_geom_test.h"

namespace {

using namespace qr_geom_test;
using vexo::GEO_POINT;
using vexo::QR_GRID_NODE;

class QrAlignTest : public QrGeomTest {};

// A plain image of w x h pixels filled by f(x, y), installed as the decoder's image.
template <typename F>
void InstallImage(int w, int h, F f) {
    testkit::Frame frame;
    frame.width = w;
    frame.height = h;
    frame.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) frame.pixels[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(f(x, y));
    }
    InstallFrame(frame);
}

// Grid of n x n nodes with the seeds of an arrangement marked found.
std::vector<QR_GRID_NODE> SeededGrid(int n, int arrangement) {
    std::vector<QR_GRID_NODE> grid(static_cast<size_t>(n * n));
    for (int i = 0; i < n * n; ++i) {
        grid[static_cast<size_t>(i)].gridCol = i % n;
        grid[static_cast<size_t>(i)].gridRow = i / n;
        grid[static_cast<size_t>(i)].nearestFinder = -1;
    }
    const int tl = 0, tr = n - 1, bl = (n - 1) * n;
    std::vector<int> seeds;
    if (arrangement == vexo::kQrArrangeThree) seeds = {tl, tr, bl};
    if (arrangement == vexo::kQrArrangeTopPair) seeds = {tl, tr};
    if (arrangement == vexo::kQrArrangeSidePair) seeds = {tl, bl};
    if (arrangement == vexo::kQrArrangeDiagonal) seeds = {tr, bl};
    for (int s : seeds) grid[static_cast<size_t>(s)].found = 1;
    return grid;
}

// The nearest present finder of a node (0 TL, 1 BL, 2 TR) by Chebyshev distance, ties as
// the search breaks them.
int ExpectedFinder(int arrangement, int c, int r, int n) {
    const int dTL = std::max(c, r), dTR = std::max(n - 1 - c, r), dBL = std::max(c, n - 1 - r);
    switch (arrangement) {
        case vexo::kQrArrangeThree: return dTR <= std::min(dTL, dBL) ? 2 : (dBL <= dTL ? 1 : 0);
        case vexo::kQrArrangeTopPair: return dTL < dTR ? 0 : 2;
        case vexo::kQrArrangeSidePair: return dTL < dBL ? 0 : 1;
        default: return dBL < dTR ? 1 : 2;
    }
}

TEST_F(QrAlignTest, RankingOverEveryArrangementAndGridSize) {
    const int capacity[4] = {9, 15, 23, 15};
    int largest[4] = {0, 0, 0, 0};
    for (int arrangement = 1; arrangement <= 4; ++arrangement) {
        for (int n = 2; n <= 7; ++n) {
            SCOPED_TRACE("arrangement " + std::to_string(arrangement) + " n " + std::to_string(n));
            vexo::g_qrGeomWork.arrangement = arrangement;
            vexo::g_qrSymbol.alignmentCount = n;
            std::vector<QR_GRID_NODE> grid = SeededGrid(n, arrangement);
            QR_GRID_NODE lists[vexo::kQrAlignListNodes] = {};
            int32_t counts[4] = {-1, -1, -1, -1};
            vexo::QR_RankAlignNodes(grid.data(), lists, counts);
            int total = 0;
            for (int k = 0; k < 4; ++k) {
                EXPECT_LE(counts[k], capacity[k]);
                largest[k] = std::max(largest[k], counts[k]);
                total += counts[k];
                for (int j = 0; j < counts[k]; ++j) {
                    const QR_GRID_NODE &node = lists[vexo::kQrAlignListStart[k] + j];
                    const int c = node.gridCol, r = node.gridRow;
                    const int want = ExpectedFinder(arrangement, c, r, n);
                    EXPECT_EQ(node.nearestFinder, want) << c << "," << r;
                    const int dTL = std::max(c, r), dTR = std::max(n - 1 - c, r), dBL = std::max(c, n - 1 - r);
                    const int d = want == 0 ? dTL : want == 1 ? dBL : dTR;
                    EXPECT_EQ(k, d == 1 ? 0 : d == 2 ? 1 : d <= 4 ? 2 : 3) << c << "," << r;
                }
            }
            // Every examined node but the seeds at distance 0 is listed.
            const int expected = arrangement == vexo::kQrArrangeThree ? n * n - 3 : n * n - 2;
            EXPECT_EQ(total, expected);
            if (n == 7) {
                EXPECT_EQ(total, arrangement == 1 ? 46 : 47);
            }
            if (n == 7 && arrangement == 4) {
                EXPECT_EQ(counts[2], 23);
            } else {
                EXPECT_LT(counts[2], 23);
            }
        }
    }
    EXPECT_EQ(largest[0], 9);
    EXPECT_EQ(largest[1], 15);
    EXPECT_EQ(largest[2], 23);
    EXPECT_EQ(largest[3], 14);
}

TEST_F(QrAlignTest, WindowParametersByModuleSize) {
    struct Case {
        int m, halfWidth, rowStep, runTolerance, clusterTolerance;
    };
    const Case cases[] = {
        {2, 5, 1, 8, 4}, {3, 5, 1, 8, 4}, {4, 5, 1, 8, 4}, {7, 4, 1, 14, 7}, {8, 4, 2, 16, 8}, {13, 2, 3, 26, 13}, {20, 2, 3, 40, 20},
    };
    for (const Case &c : cases) {
        const vexo::QR_ALIGN_WINDOW_PARAMS p = vexo::QR_AlignWindowParams(c.m);
        EXPECT_EQ(p.halfWidth, c.halfWidth) << c.m;
        EXPECT_EQ(p.rowStep, c.rowStep) << c.m;
        EXPECT_EQ(p.runTolerance, c.runTolerance) << c.m;
        EXPECT_EQ(p.clusterTolerance, c.clusterTolerance) << c.m;
    }
}

// The local module size m as the templates of a frontal symbol measure it.
TEST_F(QrAlignTest, TemplatesMeasureTheLocalModuleSize) {
    for (const double module : {4.0, 13.0}) {
        const testkit::Symbol s = MakeQr("ALIGN", 2);
        testkit::RenderOptions o;
        o.width = 752;
        o.height = 480;
        o.moduleSize = module;
        const testkit::Rendered r = testkit::Render(s, o);
        InstallFrame(r.frame);
        SetUpThreeFinders(r, 2, module);
        vexo::QR_BuildAlignTemplates();
        for (int slot = 0; slot < 3; ++slot) {
            ASSERT_EQ(vexo::g_qrGeomWork.templateValid[slot], 1);
            const GEO_POINT p = vexo::g_qrGeomWork.templates[slot][2][1];
            EXPECT_NEAR(std::max(std::abs(p.x), std::abs(p.y)), module, 1.0) << module;
        }
    }
}

TEST_F(QrAlignTest, ThresholdOfTheWindowDiagonal) {
    vexo::g_qrGeomWork.pairModuleSize = 4;
    InstallImage(40, 40, [](int x, int) { return x < 20 ? 100 : 114; });
    EXPECT_EQ(vexo::QR_WindowThreshold({0, 0}, {39, 39}), 0);
    InstallImage(40, 40, [](int x, int) { return x < 20 ? 100 : 200; });
    EXPECT_EQ(vexo::QR_WindowThreshold({0, 0}, {39, 39}), 155);
    vexo::g_qrGeomWork.pairModuleSize = 2.5;
    EXPECT_EQ(vexo::QR_WindowThreshold({0, 0}, {39, 39}), 165);
    EXPECT_EQ(vexo::QR_WindowThreshold({5, 5}, {5, 5}), 255);
}

TEST_F(QrAlignTest, RowCandidatesNeedShortClosedRuns) {
    vexo::g_qrPolarity = 1;
    struct Case {
        int runStart, runLength, expected;
    };
    // Tolerance 8: a run spans length - 1 pixels between its first and last sample.
    const Case cases[] = {{10, 8, 1}, {10, 9, 0}, {10, 1, 1}, {44, 6, 0}, {40, 10, 0}};
    for (const Case &c : cases) {
        InstallImage(50, 3, [&](int x, int) { return x >= c.runStart && x < c.runStart + c.runLength ? 20 : 220; });
        int32_t xs[20], ys[20], twiceXs[20], twiceYs[20];
        vexo::QR_ALIGN_ROW row{};
        row.startX = 0;
        row.startY = 1;
        row.stepX = 1024;
        row.signX = 1;
        row.signY = 1;
        row.count = 50;
        row.threshold = 120;
        row.runTolerance = 8;
        row.xs = xs;
        row.ys = ys;
        row.capacity = 20;
        row.twiceXs = twiceXs;
        row.twiceYs = twiceYs;
        const int n = vexo::QR_FindRowCandidates(&row);
        EXPECT_EQ(n, c.expected) << c.runStart << " " << c.runLength;
        if (n == 1) {
            EXPECT_EQ(xs[0], (2 * c.runStart + c.runLength - 1) >> 1);
            EXPECT_EQ(twiceXs[0], 2 * c.runStart + c.runLength - 1) << "the half pixel kept";
            EXPECT_EQ(twiceYs[0], 2);
        }
    }
}

// An ideal alignment pattern of 4-pixel modules centred at (20, 20) and a template sampling
// one and two modules out.
void PatternImage(int polarity) {
    InstallImage(41, 41, [polarity](int x, int y) {
        const int d = std::max(std::abs(x - 20), std::abs(y - 20));
        const int ring = (d + 2) / 4;  // module rings 0, 1, 2 around the centre
        const bool dark = ring != 1 && ring <= 2;
        return (dark == (polarity == 1)) ? 30 : 220;
    });
    vexo::g_qrPolarity = polarity;
}

std::vector<GEO_POINT> RingTemplate() {
    std::vector<GEO_POINT> t = {{0, 0}};
    const int in[3] = {-4, 0, 4}, out[5] = {-8, -4, 0, 4, 8};
    for (int c : in) t.push_back({c, -4});
    t.push_back({-4, 0});
    t.push_back({4, 0});
    for (int c : in) t.push_back({c, 4});
    for (int c : out) t.push_back({c, -8});
    for (int r : in) {
        t.push_back({-8, r});
        t.push_back({8, r});
    }
    for (int c : out) t.push_back({c, 8});
    return t;
}

TEST_F(QrAlignTest, TemplateAllowsOneMiss) {
    for (int polarity : {1, 0}) {
        PatternImage(polarity);
        std::vector<GEO_POINT> t = RingTemplate();
        int32_t score = 0;
        EXPECT_EQ(vexo::QR_TestAlignTemplate(20, 20, t.data(), 120, &score), 1);
        EXPECT_EQ(score, 25);
        t[12] = {-4, -4};  // an outer point now on the light ring: one miss
        EXPECT_EQ(vexo::QR_TestAlignTemplate(20, 20, t.data(), 120, &score), 1);
        EXPECT_EQ(score, 24);
        t[20] = {4, 4};  // a second miss
        EXPECT_EQ(vexo::QR_TestAlignTemplate(20, 20, t.data(), 120, &score), 0);
        t = RingTemplate();
        EXPECT_EQ(vexo::QR_TestAlignTemplate(5, 20, t.data(), 120, &score), 0) << "points outside";
    }
}

// Ideal patterns of 4-pixel modules around centres given in pixels (halves allowed): pixel
// (x, y) lies in ring floor((d + 2) / 4) of a centre at Chebyshev distance d. `damaged`
// paints light the top-left corner of the first pattern's dark ring, where the outer point
// (-8, -8) of RingTemplate falls for every hit: one miss each.
void PatternsImage(int w, int h, std::vector<testkit::Point> centres, bool damaged) {
    InstallImage(w, h, [&](int x, int y) {
        for (size_t k = 0; k < centres.size(); ++k) {
            const double d = std::max(std::abs(x - centres[k].x), std::abs(y - centres[k].y));
            const int ring = static_cast<int>(std::floor((d + 2) / 4));
            if (ring > 2) continue;
            if (damaged && k == 0 && x - centres[k].x < -6 && y - centres[k].y < -6) return 220;
            return ring == 1 ? 220 : 30;
        }
        return 220;
    });
    vexo::g_qrPolarity = 1;
    vexo::g_qrGeomWork.pairModuleSize = 4;  // no dark-centre refinement
}

GEO_POINT SearchWindow(int w, int h) {
    const std::vector<GEO_POINT> t = RingTemplate();
    GEO_POINT templates[4][vexo::kQrTemplatePoints];
    for (auto &tmpl : templates) std::copy(t.begin(), t.end(), tmpl);
    GEO_POINT out{-1, -1};
    EXPECT_EQ(vexo::QR_SearchAlignWindow({0, 0}, {0, h - 1}, {w - 1, 0}, {w - 1, h - 1}, templates, 4, &out), 1);
    return out;
}

// A centre module of even width centres between two pixels; the window's answer (1/4
// pixel) keeps that half instead of rounding every run down.
TEST_F(QrAlignTest, WindowCentreKeepsHalfPixels) {
    const double cs[3][2] = {{20.5, 20.5}, {21, 20.5}, {20.5, 21}};
    for (const auto &c : cs) {
        PatternsImage(42, 42, {{c[0], c[1]}}, false);
        const GEO_POINT out = SearchWindow(42, 42);
        EXPECT_EQ(out.x, std::lround(4 * c[0])) << c[0] << "," << c[1];
        EXPECT_EQ(out.y, std::lround(4 * c[1])) << c[0] << "," << c[1];
    }
}

// Two patterns in one window: the first scanned wins on equal means, but a cluster of
// perfect hits (mean 25) beats an earlier one whose hits all miss one point (mean 24).
TEST_F(QrAlignTest, PerfectClusterBeatsOneWithMisses) {
    for (const bool damaged : {false, true}) {
        PatternsImage(42, 80, {{20.5, 20.5}, {20.5, 56.5}}, damaged);
        const GEO_POINT out = SearchWindow(42, 80);
        EXPECT_EQ(out.x, 82) << damaged;
        EXPECT_EQ(out.y, damaged ? 226 : 82) << damaged;
    }
}

TEST_F(QrAlignTest, RefineDarkCentreMovesAtMostThreeTimes) {
    GEO_POINT out{};
    InstallImage(30, 30, [](int, int) { return 255; });
    EXPECT_EQ(vexo::QR_RefineDarkCentre({10, 10}, &out), 0);
    for (int away : {0, 1, 3, 4}) {
        InstallImage(30, 30, [away](int x, int y) { return 100 + 10 * std::abs(x - 10 - away) + 10 * std::abs(y - 10); });
        const int rc = vexo::QR_RefineDarkCentre({10, 10}, &out);
        if (away <= 3) {
            EXPECT_EQ(rc, away + 1) << away;
            EXPECT_EQ(out.x, 4 * (10 + away)) << away;
            EXPECT_EQ(out.y, 40) << away;
        } else {
            EXPECT_EQ(rc, 0) << away;
        }
    }
    EXPECT_EQ(vexo::QR_RefineDarkCentre({-1, 10}, &out), 0);
}

TEST_F(QrAlignTest, CornerThatCannotBeMappedSkipsTheNode) {
    InstallImage(200, 200, [](int, int) { return 200; });
    GEO_POINT corners[4];
    // Module indices to 1/4 pixel, 4 pixels a module, offset by 40 pixels.
    vexo::PERSPECTIVE t{{16, 0, 160, 0, 16, 160, 0, 0, 1}};
    EXPECT_EQ(vexo::QR_AlignWindowCorners(&t, 10, 10, 5, corners), 1);
    EXPECT_EQ(corners[0].x, 40 + 20);
    EXPECT_EQ(corners[3].y, 40 + 60);
    // The denominator u - 15 vanishes at the right-hand corners.
    vexo::PERSPECTIVE flat{{16, 0, 160, 0, 16, 160, 1, 0, -15}};
    EXPECT_EQ(vexo::QR_AlignWindowCorners(&flat, 10, 10, 5, corners), 0);
    EXPECT_EQ(vexo::QR_AlignWindowCorners(&t, 10, 10, 60, corners), 0) << "corner outside the image";
}

struct SearchRun {
    std::vector<QR_GRID_NODE> grid;
    QR_GRID_NODE lists[vexo::kQrAlignListNodes];
    int32_t counts[4];
    int rc;
};

SearchRun RunSearch(bool breakSlot1) {
    SearchRun run{};
    run.grid.assign(vexo::kQrMaxGridNodes, QR_GRID_NODE{});
    vexo::QR_BuildAlignTemplates();
    if (breakSlot1) {
        vexo::g_qrGeomWork.finderTransform[1] = vexo::PERSPECTIVE{{1, 0, 0, 0, 1, 0, 0, 0, 0}};
        vexo::QR_BuildAlignTemplates();
    }
    vexo::QR_InitAlignGrid(run.grid.data());
    vexo::QR_RankAlignNodes(run.grid.data(), run.lists, run.counts);
    vexo::g_qrGeomWork.lastAlignment = {0, 0};
    run.rc = vexo::QR_SearchAlignPatterns(run.grid.data(), run.lists, run.counts);
    return run;
}

// A rendered symbol with its finders set from the true geometry.
testkit::Rendered PrepareSymbol(int version, double module, double keystone, double angle, int w, int h) {
    const testkit::Symbol s = MakeQr(std::string(20, 'A'), version);
    testkit::RenderOptions o;
    o.width = w;
    o.height = h;
    o.moduleSize = module;
    o.keystone = keystone;
    o.angleDeg = angle;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    testkit::Rendered r = testkit::Render(s, o);
    InstallFrame(r.frame);
    SetUpThreeFinders(r, version, module);
    UseSymbolModulePoints(4 * version + 17);
    return r;
}

TEST_F(QrAlignTest, SearchFindsThePatternsOfADistortedSymbol) {
    struct Case {
        int version;
        double module, keystone, angle;
    };
    // Keystone 0.1: at 0.25 the bottom-right pattern's modules are some 30 % larger than
    // those of the top-right finder its templates come from, and its rings fall between
    // the template points (the grid completion then predicts it).
    const Case cases[] = {{2, 5, 0.1, 30}, {7, 5, 0.1, 0}, {10, 4, 0.1, 60}, {22, 4, 0.1, 15}};
    for (const Case &c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        const testkit::Rendered r = PrepareSymbol(c.version, c.module, c.keystone, c.angle, 1280, 960);
        const SearchRun run = RunSearch(false);
        ASSERT_EQ(run.rc, 1);
        const int n = vexo::g_qrSymbol.alignmentCount;
        int listed = 0, found = 0;
        for (int i = 0; i < n * n; ++i) {
            const QR_GRID_NODE &node = run.grid[static_cast<size_t>(i)];
            if (node.found == 0) continue;
            ++found;
            const GEO_POINT truth = ToDecoder(ModulePoint(r, node.moduleX, node.moduleY), 4);
            EXPECT_NEAR(node.imageX, truth.x, 6) << node.moduleX << "," << node.moduleY;
            EXPECT_NEAR(node.imageY, truth.y, 6) << node.moduleX << "," << node.moduleY;
        }
        for (int k = 0; k < 4; ++k) listed += run.counts[k];
        EXPECT_EQ(found, listed + 3) << "every listed node and the three seeds";
        EXPECT_NE(vexo::g_qrGeomWork.lastAlignment.x, 0);
    }
}

TEST_F(QrAlignTest, FailedTemplateSlotLeavesItsNodesUnfound) {
    // Version 22: a 5 x 5 grid, whose inner top-left nodes are nearest the top-left finder.
    PrepareSymbol(22, 4, 0.0, 0, 1280, 960);
    const SearchRun good = RunSearch(false);
    PrepareSymbol(22, 4, 0.0, 0, 1280, 960);
    const SearchRun broken = RunSearch(true);
    EXPECT_EQ(vexo::g_qrGeomWork.templateValid[0], 1);
    EXPECT_EQ(vexo::g_qrGeomWork.templateValid[1], 0);
    EXPECT_EQ(vexo::g_qrGeomWork.templateValid[2], 0);
    int slot0 = 0;
    for (int k = 0; k < 4; ++k) {
        for (int j = 0; j < broken.counts[k]; ++j) {
            const QR_GRID_NODE &b = broken.lists[vexo::kQrAlignListStart[k] + j];
            const QR_GRID_NODE &g = good.lists[vexo::kQrAlignListStart[k] + j];
            if (b.nearestFinder != 0) {
                EXPECT_EQ(b.found, 0) << b.gridCol << "," << b.gridRow;
                continue;
            }
            ++slot0;
            EXPECT_EQ(b.found, 1);
            EXPECT_EQ(b.found, g.found);
        }
    }
    EXPECT_GT(slot0, 0);
}

}  // namespace
