// The sampling grid on rendered symbols, from the true finder and alignment positions:
// the whole-symbol transform fitted from the finders, piecewise sampling through the grid
// cells, completion of missing nodes, re-orientation of two-finder candidates, and the
// save and restore of a candidate's geometry.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "qr/qr_grid.h"
#include "qr/qr_tables.h"
#include "qr_geom_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace qr_geom_test;

class QrGridTest : public QrGeomTest {};

std::string Payload(int version) { return "GRID" + std::to_string(version * 7919); }

// The true image position (1/4 pixel) of every grid node.
void SetTrueNodes(const testkit::Rendered &r, QR_GRID_NODE *grid, int n, bool allFound) {
    for (int i = 0; i < n * n; ++i) {
        const GEO_POINT p = ToDecoder(ModulePoint(r, grid[i].moduleX, grid[i].moduleY), 4);
        if (!allFound && grid[i].found == 0) continue;
        grid[i].imageX = p.x;
        grid[i].imageY = p.y;
        grid[i].found = 1;
    }
}

struct GridSweepCase {
    int version;
    double moduleSize;
    double angle;
};

// Whole-symbol sampling from the finders alone reads every module of clean symbols, turned
// any way (no perspective: the finders' transform is exact for a planar symbol).
TEST_F(QrGridTest, WholeSymbolTransformFromFindersReadsEveryModule) {
    const GridSweepCase cases[] = {{1, 4, 0},  {1, 3, 33},  {2, 5, 90}, {3, 3.5, 200}, {4, 4, 15},
                               {6, 3, 300}, {7, 3, 45},  {8, 2.5, 10}, {10, 3, 135}, {14, 2.2, 0}};
    for (const GridSweepCase &c : cases) {
        const testkit::Symbol s = MakeQr(Payload(c.version), c.version);
        ASSERT_TRUE(s.ok) << s.error;
        const testkit::Rendered r = testkit::Render(s, {.moduleSize = c.moduleSize, .angleDeg = c.angle});
        InstallFrame(r.frame);
        SetUpThreeFinders(r, c.version, c.moduleSize);
        UseSymbolModulePoints(s.rows);
        QR_GRID_NODE grid[kQrMaxGridNodes] = {};
        QR_InitAlignGrid(grid);
        QR_FitGlobalTransform(grid);
        ASSERT_EQ(g_qrGeomWork.globalValid, 1) << "version " << c.version;
        std::vector<uint8_t> grey(static_cast<size_t>(s.rows * s.rows), 7);
        ASSERT_EQ(QR_SampleModules(grid, grey.data()), 1);
        EXPECT_EQ(CountDifferences(Binarise(grey.data(), s.rows), s), 0)
            << "version " << c.version << " module " << c.moduleSize << " angle " << c.angle;
        // The reported corners are the corner modules' centres.
        const int d = s.rows;
        const int uv[4][2] = {{0, 0}, {d - 1, 0}, {0, d - 1}, {d - 1, d - 1}};
        for (int k = 0; k < 4; ++k) {
            const GEO_POINT t = ToDecoder(ModulePoint(r, uv[k][0], uv[k][1]), 1);
            EXPECT_NEAR(g_qrResult.corners.c[k].x, t.x, 1) << "corner " << k << " version " << c.version;
            EXPECT_NEAR(g_qrResult.corners.c[k].y, t.y, 1) << "corner " << k << " version " << c.version;
        }
    }
}

// Piecewise sampling through every grid cell follows a bent symbol that one transform
// cannot; versions 2-6 (two coordinates a side) are refused by it.
TEST_F(QrGridTest, PiecewiseSamplingThroughTheCells) {
    for (int version : {2, 7, 10, 21}) {
        const testkit::Symbol s = MakeQr(Payload(version), version);
        ASSERT_TRUE(s.ok) << s.error;
        const double ms = version > 10 ? 2.5 : 4;
        const testkit::Rendered r = testkit::Render(s, {.moduleSize = ms, .angleDeg = 20, .bendDeg = 40});
        InstallFrame(r.frame);
        SetUpThreeFinders(r, version, ms);
        UseSymbolModulePoints(s.rows);
        QR_GRID_NODE grid[kQrMaxGridNodes] = {};
        QR_InitAlignGrid(grid);
        const int n = g_qrSymbol.alignmentCount;
        SetTrueNodes(r, grid, n, true);
        std::vector<uint8_t> grey(static_cast<size_t>(s.rows * s.rows), 7);
        if (version < 7) {
            EXPECT_EQ(QR_SampleModules(grid, grey.data()), 0);
            continue;
        }
        ASSERT_EQ(QR_SampleModules(grid, grey.data()), 1) << "version " << version;
        EXPECT_EQ(CountDifferences(Binarise(grey.data(), s.rows), s), 0) << "version " << version;
        // Here the corners are the outermost alignment centres.
        const GEO_POINT br = ToDecoder(ModulePoint(r, s.rows - 7, s.rows - 7), 1);
        EXPECT_NEAR(g_qrResult.corners.c[kBottomRight].x, br.x, 1);
        EXPECT_NEAR(g_qrResult.corners.c[kBottomRight].y, br.y, 1);
    }
}

// The seeds sit at the finders' inner corners; version 7 seeds nodes 0, 2 and 6.
TEST_F(QrGridTest, InitSeedsTheFinderInnerCorners) {
    const testkit::Symbol s = MakeQr(Payload(7), 7);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 3, .angleDeg = 10});
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 7, 3);
    UseSymbolModulePoints(s.rows);
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_InitAlignGrid(grid);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(grid[i].found, (i == 0 || i == 2 || i == 6) ? 1 : 0) << i;
        EXPECT_EQ(grid[i].gridCol, i % 3);
        EXPECT_EQ(grid[i].gridRow, i / 3);
    }
    EXPECT_EQ(grid[1].moduleX, 22);
    EXPECT_EQ(grid[8].moduleY, 38);
    const GEO_POINT tr = ToDecoder(ModulePoint(r, s.rows - 7, 6), 4);
    EXPECT_EQ(grid[2].imageX, tr.x);
    EXPECT_EQ(grid[2].imageY, tr.y);
    // Version 1 or an alignment count outside 2..7: nothing is written.
    QR_GRID_NODE untouched[kQrMaxGridNodes] = {};
    g_qrSymbol.version = 1;
    QR_InitAlignGrid(untouched);
    g_qrSymbol.version = 7;
    g_qrSymbol.alignmentCount = 8;
    QR_InitAlignGrid(untouched);
    for (const QR_GRID_NODE &node : untouched) EXPECT_EQ(node.moduleX + node.found, 0);
}

// Completion predicts the missing nodes from the known ones quadrant by quadrant; a
// quadrant of 8 missing nodes uses the 5 x 5 window, one of 9 fails.
TEST_F(QrGridTest, CompletionPredictsMissingNodes) {
    const int version = 35;  // 7 x 7 nodes
    const testkit::Symbol s = MakeQr(Payload(version), version);
    ASSERT_TRUE(s.ok);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 2.2, .angleDeg = 12, .keystone = 0.1});
    InstallFrame(r.frame);
    SetUpThreeFinders(r, version, 2.5);
    UseSymbolModulePoints(s.rows);
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_InitAlignGrid(grid);
    ASSERT_EQ(g_qrSymbol.alignmentCount, 7);
    QR_GRID_NODE truth[kQrMaxGridNodes];
    for (int i = 0; i < 49; ++i) truth[i] = grid[i];
    SetTrueNodes(r, truth, 7, true);
    // Known: every node except 8 of the top-left 4 x 4 block and the whole rest of the
    // bottom-right block's interior.
    const int missing[] = {1, 2, 7, 8, 9, 14, 15, 16, 40, 41, 47, 48};
    for (int i = 0; i < 49; ++i) grid[i] = truth[i];
    for (int i : missing) {
        grid[i].found = 0;
        grid[i].imageX = grid[i].imageY = 0;
    }
    ASSERT_EQ(QR_CompleteAlignGrid(grid), 1);
    for (int i : missing) {
        EXPECT_EQ(grid[i].found, 1);
        EXPECT_NEAR(grid[i].imageX, truth[i].imageX, 6) << "node " << i;  // 1.5 pixels
        EXPECT_NEAR(grid[i].imageY, truth[i].imageY, 6) << "node " << i;
    }
    // Nine missing in every quadrant: refused.
    for (int i = 0; i < 49; ++i) grid[i] = truth[i];
    for (int i = 0; i < 49; ++i) grid[i].found = (i / 7 == 3 || i % 7 == 3) ? 1 : 0;
    EXPECT_EQ(QR_CompleteAlignGrid(grid), 0);
    // A valid whole-symbol transform needs no completion; version 1 has no grid.
    g_qrGeomWork.globalValid = 1;
    EXPECT_EQ(QR_CompleteAlignGrid(grid), 1);
    g_qrGeomWork.globalValid = 0;
    g_qrSymbol.version = 1;
    EXPECT_EQ(QR_CompleteAlignGrid(grid), 0);
}

// With modules below 2.3 pixels the fit replaces even the found nodes of its window.
TEST_F(QrGridTest, SmallModulesReplaceFoundNodesByTheFit) {
    const int version = 14;  // 4 x 4 nodes
    const testkit::Symbol s = MakeQr(Payload(version), version);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 2, .angleDeg = 0});
    InstallFrame(r.frame);
    SetUpThreeFinders(r, version, 2);
    UseSymbolModulePoints(s.rows);
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_InitAlignGrid(grid);
    SetTrueNodes(r, grid, 4, true);
    const int truthX = grid[5].imageX;
    grid[5].imageX += 40;  // a found node 10 pixels off
    grid[10].found = 0;
    for (const double ms : {2.0, 3.0}) {
        QR_GRID_NODE g2[kQrMaxGridNodes];
        for (int i = 0; i < 16; ++i) g2[i] = grid[i];
        g_qrGeomWork.pairModuleSize = ms;
        ASSERT_EQ(QR_CompleteAlignGrid(g2), 1);
        if (ms < 2.3) {
            EXPECT_LT(std::abs(g2[5].imageX - truthX), 24) << "refitted";
        } else {
            EXPECT_EQ(g2[5].imageX, truthX + 40) << "kept";
        }
    }
}

// Two adjacent finders taken as top-left and bottom-left, with an alignment pattern found
// where the top-right finder would be: the grid turns by 90 degrees and the finders become
// top-left and top-right. A diagonal pair with the top-left node found turns by 180.
TEST_F(QrGridTest, ReorientationByAnAlignmentPattern) {
    g_qrSymbol.version = 7;
    g_qrSymbol.dimension = 45;
    g_qrSymbol.alignmentCount = 3;
    g_qrGeomWork.arrangement = kQrArrangeSidePair;
    for (int s = 0; s < 2; ++s) {
        g_qrGeomWork.finder[s].size = 20 + s;
        for (int k = 0; k < 5; ++k) g_qrGeomWork.imagePoints[s][k] = {100 * s + k, 1000 * s + k};
    }
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_InitAlignGrid(grid);
    for (int i = 0; i < 9; ++i) {
        grid[i].imageX = 1000 + i;
        grid[i].nearestFinder = i;
    }
    grid[2].found = 1;
    QR_ReorientByAlignment(grid);
    EXPECT_EQ(g_qrGeomWork.arrangement, kQrArrangeTopPair);
    EXPECT_EQ(g_qrGeomWork.orientationKnown, 1);
    EXPECT_EQ(g_qrGeomWork.finder[1].size, 0);
    EXPECT_EQ(g_qrGeomWork.finder[0].size, 21);
    EXPECT_EQ(g_qrGeomWork.finder[2].size, 20);
    EXPECT_EQ(g_qrGeomWork.imagePoints[0][0].x, 102);
    EXPECT_EQ(g_qrGeomWork.imagePoints[0][3].x, 101);
    EXPECT_EQ(g_qrGeomWork.imagePoints[0][4].x, 104);
    EXPECT_EQ(g_qrGeomWork.imagePoints[2][1].x, 1);
    EXPECT_EQ(g_qrGeomWork.modulePoints[2][1].x, 44);
    // Node (c, r) moved to (n - 1 - r, c); the table coordinates are rewritten.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QR_GRID_NODE &moved = grid[c * 3 + (2 - r)];
            EXPECT_EQ(moved.imageX, 1000 + r * 3 + c);
            EXPECT_EQ(moved.gridCol, 2 - r);
            EXPECT_EQ(moved.moduleY, c == 0 ? 6 : c == 1 ? 22 : 38);
        }
    }

    g_qrGeomWork.arrangement = kQrArrangeDiagonal;
    g_qrGeomWork.orientationKnown = 0;
    g_qrGeomWork.finder[1].size = 11;
    g_qrGeomWork.finder[2].size = 22;
    QR_InitAlignGrid(grid);
    for (int i = 0; i < 9; ++i) grid[i].imageY = 500 + i;
    grid[0].found = 1;
    QR_ReorientByAlignment(grid);
    EXPECT_EQ(g_qrGeomWork.finder[1].size, 22);
    EXPECT_EQ(g_qrGeomWork.finder[2].size, 11);
    EXPECT_EQ(g_qrGeomWork.arrangement, kQrArrangeDiagonal);
    EXPECT_EQ(g_qrGeomWork.orientationKnown, 1);
    EXPECT_EQ(grid[8].imageY, 500);
    EXPECT_EQ(grid[8].found, 1);

    // Anything else changes nothing.
    g_qrGeomWork.arrangement = kQrArrangeThree;
    grid[2].found = 1;
    QR_ReorientByAlignment(grid);
    EXPECT_EQ(g_qrGeomWork.arrangement, kQrArrangeThree);
}

// Module centres outside the image read 128; the region-of-interest check refuses a symbol
// whose centre lies outside it.
TEST_F(QrGridTest, OutsideModulesAndTheRegionCheck) {
    const testkit::Symbol s = MakeQr(Payload(1), 1);
    testkit::Rendered r = testkit::Render(s, {.moduleSize = 6, .center = testkit::Point{40, 240}});
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 1, 6);
    UseSymbolModulePoints(s.rows);
    QR_FitGlobalTransform(nullptr);
    ASSERT_EQ(g_qrGeomWork.globalValid, 1);
    std::vector<uint8_t> grey(21 * 21, 7);
    ASSERT_EQ(QR_SampleModules(nullptr, grey.data()), 1);
    EXPECT_EQ(grey[10 * 21 + 0], 128);  // the left columns lie beyond the frame
    EXPECT_NE(grey[10 * 21 + 20], 128);

    g_state.extraGeometryStep = 1;
    g_state.roiQuad = REGION_QUAD{{{400, 0}, {751, 0}, {400, 479}, {751, 479}}};
    EXPECT_EQ(QR_SampleModules(nullptr, grey.data()), 0);
    g_state.roiQuad = REGION_QUAD{{{0, 0}, {300, 0}, {0, 479}, {300, 479}}};
    EXPECT_EQ(QR_SampleModules(nullptr, grey.data()), 1);
}

// Above 8 pixels a module the piecewise branch reads the mean of 4 pixels; the whole-symbol
// branch always reads bilinearly.
TEST_F(QrGridTest, LargeModulesUseTheMeanSampler) {
    const testkit::Symbol s = MakeQr(Payload(7), 7);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 8.5, .angleDeg = 3, .noiseSigma = 30, .seed = 5});
    InstallFrame(r.frame);
    SetUpThreeFinders(r, 7, 8.5);
    UseSymbolModulePoints(s.rows);
    QR_GRID_NODE grid[kQrMaxGridNodes] = {};
    QR_InitAlignGrid(grid);
    SetTrueNodes(r, grid, 3, true);
    std::vector<uint8_t> mean(45 * 45), bilinear(45 * 45);
    ASSERT_EQ(QR_SampleModules(grid, mean.data()), 1);
    g_qrSymbol.moduleSize = 8.0f;
    ASSERT_EQ(QR_SampleModules(grid, bilinear.data()), 1);
    int differing = 0;
    for (size_t i = 0; i < mean.size(); ++i) differing += mean[i] != bilinear[i];
    EXPECT_GT(differing, 100);
}

TEST_F(QrGridTest, SaveAndRestore) {
    QR_GEOMETRY g{};
    EXPECT_EQ(QR_RestoreGeometry(&g), 0);
    EXPECT_EQ(QR_RestoreGeometry(nullptr), 0);
    EXPECT_EQ(QR_SaveGeometry(nullptr), 0);
    g_qrGeomWork.arrangement = 3;
    g_qrGeomWork.pairModuleSize = 2.5;
    g_qrGeomWork.imagePoints[2][4] = {7, 8};
    g_qrGeomWork.globalValid = 1;
    g_qrSymbol.version = 9;
    ASSERT_EQ(QR_SaveGeometry(&g), 1);
    EXPECT_EQ(g.saved, 1);
    g_qrGeomWork = QR_GEOM_WORK{};
    g_qrSymbol.version = 2;
    g.saved = 0;
    EXPECT_EQ(QR_RestoreGeometry(&g), 0);
    EXPECT_EQ(g_qrGeomWork.arrangement, 0);
    g.saved = 1;
    ASSERT_EQ(QR_RestoreGeometry(&g), 1);
    EXPECT_EQ(g_qrGeomWork.arrangement, 3);
    EXPECT_EQ(g_qrGeomWork.pairModuleSize, 2.5);
    EXPECT_EQ(g_qrGeomWork.imagePoints[2][4].y, 8);
    EXPECT_EQ(g_qrGeomWork.globalValid, 1);
    EXPECT_EQ(g_qrSymbol.version, 9);
}

}  // namespace
