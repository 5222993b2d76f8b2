#include "qr/qr_grid.h"

#include "core/pixel.h"
#include "core/state.h"
#include "qr/qr_symbol_stages.h"
#include "qr/qr_tables.h"
#include "toolkit/geometry_numeric.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

// Completion rounds: each round settles at least one missing node, so 49 suffice.
constexpr i32 kCompleteRounds = kQrMaxGridNodes;
constexpr i32 kGlobalBatch = 40;
// Below this many pixels a module the measured node positions are noisier than a fit.
constexpr f64 kRefitAllBelow = 2.3;
// Above this many pixels a module the piecewise sampler takes the 4-pixel mean.
constexpr f32 kMeanSamplerAbove = 8.0f;

bool AlignCountOk(i32 n) { return n >= 2 && n <= kQrMaxAlignCount; }

i32 MinI(i32 a, i32 b) { return a < b ? a : b; }
i32 MaxI(i32 a, i32 b) { return a > b ? a : b; }

// Rewrites every node's module coordinates and grid indices from the alignment table.
void LayOutNodes(QR_GRID_NODE *grid, i32 n, const u8 *pos) {
    for (i32 r = 0; r < n; ++r) {
        for (i32 c = 0; c < n; ++c) {
            QR_GRID_NODE &node = grid[r * n + c];
            node.moduleX = pos[c];
            node.moduleY = pos[r];
            node.gridCol = c;
            node.gridRow = r;
        }
    }
}

void SeedNode(QR_GRID_NODE *node, i32 slot, i32 point) {
    node->imageX = g_qrGeomWork.imagePoints[slot][point].x;
    node->imageY = g_qrGeomWork.imagePoints[slot][point].y;
    node->found = 1;
}

// One perspective fit over a list of pairs, scale 2^20, solved at once.
bool FitPairs(const GEO_POINT *from, const GEO_POINT *to, i32 count, PERSPECTIVE *out) {
    PERSPECTIVE_FIT fit{};
    fit.from = from;
    fit.to = to;
    fit.count = count;
    fit.reset = 1;
    fit.outInt = out;
    fit.scale = kQrPerspectiveScale;
    return Geo_FitPerspectiveInt(&fit, 1) == 1;
}

// X = (c0 u + c1 v + c2 + den / 2) / den and likewise Y, divisions truncating; 0 when den is
// 0. False when a value leaves the 32-bit range.
bool PredictNode(const PERSPECTIVE &t, i32 u, i32 v, i32 *x, i32 *y) {
    bool ok = true;
    const i64 *c = t.c;
    const i64 den = Chk_Add(Chk_Add(Chk_Mul(c[6], u, &ok), Chk_Mul(c[7], v, &ok), &ok), c[8], &ok);
    const i64 nx = Chk_Add(Chk_Mul(c[0], u, &ok), Chk_Mul(c[1], v, &ok), &ok);
    const i64 ny = Chk_Add(Chk_Mul(c[3], u, &ok), Chk_Mul(c[4], v, &ok), &ok);
    if (!ok) return false;
    if (den == 0) {
        *x = 0;
        *y = 0;
        return true;
    }
    const i64 h = den / 2;
    const i64 px = Chk_Div(Chk_Add(Chk_Add(nx, c[2], &ok), h, &ok), den, &ok);
    const i64 py = Chk_Div(Chk_Add(Chk_Add(ny, c[5], &ok), h, &ok), den, &ok);
    if (!ok || !Num_FitsI32(px) || !Num_FitsI32(py)) return false;
    *x = static_cast<i32>(px);
    *y = static_cast<i32>(py);
    return true;
}

struct Quadrants {
    i32 nodes[4][kQrMaxGridNodes];
    i32 count[4];
};

// Missing nodes by quadrant; a node may sit in several.
void CollectMissing(const QR_GRID_NODE *grid, i32 n, Quadrants *q) {
    const i32 s = MinI(MaxI(n - 4, 0), 4);
    for (i32 k = 0; k < 4; ++k) q->count[k] = 0;
    for (i32 i = 0; i < n * n; ++i) {
        if (grid[i].found != 0) continue;
        const i32 r = i / n;
        const i32 c = i % n;
        const bool left = c <= 3, top = r <= 3, right = c >= s, bottom = r >= s;
        if (left && top) q->nodes[0][q->count[0]++] = i;
        if (right && top) q->nodes[1][q->count[1]++] = i;
        if (left && bottom) q->nodes[2][q->count[2]++] = i;
        if (right && bottom) q->nodes[3][q->count[3]++] = i;
    }
}

// The non-empty quadrant with the fewest missing nodes (lower number on ties), or -1.
i32 ChooseQuadrant(const Quadrants &q) {
    i32 best = -1;
    for (i32 k = 0; k < 4; ++k) {
        if (q.count[k] == 0) continue;
        if (best < 0 || q.count[k] < q.count[best]) best = k;
    }
    return best;
}

struct Window {
    i32 col0, col1, row0, row1;
};

// The block of size x size nodes at the quadrant's grid corner, clipped to the grid.
Window QuadrantWindow(i32 quadrant, i32 size, i32 n) {
    Window w{};
    w.col0 = (quadrant & 1) != 0 ? MaxI(n - size, 0) : 0;
    w.col1 = (quadrant & 1) != 0 ? n - 1 : MinI(size, n) - 1;
    w.row0 = (quadrant & 2) != 0 ? MaxI(n - size, 0) : 0;
    w.row1 = (quadrant & 2) != 0 ? n - 1 : MinI(size, n) - 1;
    return w;
}

// Fits the window's known nodes and predicts the missing nodes of the quadrant (or every
// node of the window when modules are small). False on too few nodes or a failed fit.
bool FillQuadrant(QR_GRID_NODE *grid, i32 n, const Quadrants &q, i32 quadrant) {
    const Window w = QuadrantWindow(quadrant, q.count[quadrant] == 8 ? 5 : 4, n);
    GEO_POINT from[kQrMaxGridNodes];
    GEO_POINT to[kQrMaxGridNodes];
    i32 pairs = 0;
    for (i32 r = w.row0; r <= w.row1; ++r) {
        for (i32 c = w.col0; c <= w.col1; ++c) {
            const QR_GRID_NODE &node = grid[r * n + c];
            if (node.found == 0) continue;
            from[pairs] = {node.moduleX, node.moduleY};
            to[pairs] = {node.imageX, node.imageY};
            ++pairs;
        }
    }
    PERSPECTIVE t{};
    if (pairs < 5 || !FitPairs(from, to, pairs, &t)) return false;
    auto predict = [&](QR_GRID_NODE &node) {
        if (!PredictNode(t, node.moduleX, node.moduleY, &node.imageX, &node.imageY)) return false;
        node.found = 1;
        return true;
    };
    if (g_qrGeomWork.pairModuleSize < kRefitAllBelow) {
        for (i32 r = w.row0; r <= w.row1; ++r) {
            for (i32 c = w.col0; c <= w.col1; ++c) {
                if (!predict(grid[r * n + c])) return false;
            }
        }
        return true;
    }
    for (i32 k = 0; k < q.count[quadrant]; ++k) {
        if (!predict(grid[q.nodes[quadrant][k]])) return false;
    }
    return true;
}


// Finder k's four corner image points rotated so that new point j is old point (j + 2) mod 4.
void RotateCornerPoints(GEO_POINT points[5]) {
    const GEO_POINT old[4] = {points[0], points[1], points[2], points[3]};
    for (i32 j = 0; j < 4; ++j) points[j] = old[(j + 2) % 4];
}

void SetModulePoints(i32 slot, const GEO_POINT (&pts)[5]) {
    for (i32 k = 0; k < 5; ++k) g_qrGeomWork.modulePoints[slot][k] = pts[k];
}

// Top-left in slot 0 and top-right in slot 2, module points as symbol indices.
void SetTopPairModulePoints(i32 d) {
    SetModulePoints(0, {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {3, 3}});
    SetModulePoints(2, {{d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 7, 6}, {d - 4, 3}});
}

// Turns the grid: node (c, r) moves to turn(c, r); then the table coordinates are rewritten.
template <typename Turn>
void TurnGrid(QR_GRID_NODE *grid, i32 n, Turn turn) {
    QR_GRID_NODE old[kQrMaxGridNodes];
    for (i32 i = 0; i < n * n; ++i) old[i] = grid[i];
    for (i32 r = 0; r < n; ++r) {
        for (i32 c = 0; c < n; ++c) {
            i32 nc = 0, nr = 0;
            turn(c, r, &nc, &nr);
            QR_GRID_NODE &dst = grid[nr * n + nc];
            const QR_GRID_NODE &src = old[r * n + c];
            dst.imageX = src.imageX;
            dst.imageY = src.imageY;
            dst.nearestFinder = src.nearestFinder;
            dst.found = src.found;
        }
    }
    LayOutNodes(grid, n, QR_GetAlignmentCoords(g_qrSymbol.version - 1));
}

void SwapSlots(i32 a, i32 b) {
    const QR_FINDER_SUMMARY s = g_qrGeomWork.finder[a];
    g_qrGeomWork.finder[a] = g_qrGeomWork.finder[b];
    g_qrGeomWork.finder[b] = s;
    for (i32 k = 0; k < 5; ++k) {
        const GEO_POINT p = g_qrGeomWork.imagePoints[a][k];
        g_qrGeomWork.imagePoints[a][k] = g_qrGeomWork.imagePoints[b][k];
        g_qrGeomWork.imagePoints[b][k] = p;
    }
}

// The region-of-interest test of the symbol's centre, when that option is on.
bool CentreAccepted(const REGION_QUAD &quad) {
    if (g_state.extraGeometryStep != 1) return true;
    return Geo_InRoi(&quad, nullptr, 1) == 1;
}

// The transform with its numerators times 4: module indices to 1/16 pixel.
bool ScaleToSixteenths(const PERSPECTIVE &t, PERSPECTIVE *out) {
    bool ok = true;
    *out = t;
    for (i32 k = 0; k < 6; ++k) out->c[k] = Chk_Mul(t.c[k], 4, &ok);
    return ok;
}

bool WalkModules(const PERSPECTIVE &t16, i32 col0, i32 row0, i32 col1, i32 row1, i32 d, u8 *matrix,
                 SampleManyFn sampler) {
    if (sampler == nullptr) return false;
    if (col0 < 0 || row0 < 0 || col1 >= d || row1 >= d || col0 > col1 || row0 > row1) return false;
    GRID_WALK walk{};
    walk.transform = t16;
    walk.firstColumn = col0;
    walk.firstRow = row0;
    walk.lastColumn = col1;
    walk.lastRow = row1;
    walk.outStep = d;
    walk.outOffset = col0 + d * row0;
    walk.outBase = matrix;
    walk.param = 128;
    walk.rowCallback = sampler;
    return Geo_MapGridRows(&walk) == 1;
}

// Fits cell (c, r) of the grid, with the finder pairs of the corner cells, and samples its
// module rectangle.
bool SampleCell(const QR_GRID_NODE *grid, i32 n, i32 d, i32 c, i32 r, u8 *matrix) {
    GEO_POINT from[9];
    GEO_POINT to[9];
    i32 pairs = 0;
    i32 slot = -1;
    if (c == 0 && r == 0) slot = 0;
    if (c == n - 2 && r == 0) slot = 2;
    if (c == 0 && r == n - 2) slot = 1;
    if (slot >= 0 && g_qrGeomWork.finder[slot].size > 0) {
        for (i32 k = 0; k < 5; ++k) {
            from[pairs] = g_qrGeomWork.modulePoints[slot][k];
            to[pairs] = g_qrGeomWork.imagePoints[slot][k];
            ++pairs;
        }
    }
    const QR_GRID_NODE *corner[4] = {&grid[r * n + c], &grid[r * n + c + 1], &grid[(r + 1) * n + c],
                                     &grid[(r + 1) * n + c + 1]};
    for (const QR_GRID_NODE *node : corner) {
        from[pairs] = {node->moduleX, node->moduleY};
        to[pairs] = {node->imageX, node->imageY};
        ++pairs;
    }
    PERSPECTIVE t{};
    PERSPECTIVE t16{};
    if (!FitPairs(from, to, pairs, &t) || !ScaleToSixteenths(t, &t16)) return false;
    const i32 col0 = c == 0 ? 0 : corner[0]->moduleX;
    const i32 col1 = c == n - 2 ? d - 1 : corner[3]->moduleX;
    const i32 row0 = r == 0 ? 0 : corner[0]->moduleY;
    const i32 row1 = r == n - 2 ? d - 1 : corner[3]->moduleY;
    const SampleManyFn sampler =
        g_qrSymbol.moduleSize > kMeanSamplerAbove ? g_frame.sampleMean4Many : g_frame.sampleBilinearMany;
    return WalkModules(t16, col0, row0, col1, row1, d, matrix, sampler);
}

i32 SamplePiecewise(const QR_GRID_NODE *grid, u8 *matrix, i32 d) {
    const i32 n = g_qrSymbol.alignmentCount;
    if (grid == nullptr || n < 3 || n > kQrMaxAlignCount) return 0;
    const i32 cornerNodes[4] = {0, n - 1, (n - 1) * n, n * n - 1};
    REGION_QUAD quad{};
    for (i32 k = 0; k < 4; ++k) quad.c[k] = {grid[cornerNodes[k]].imageX >> 2, grid[cornerNodes[k]].imageY >> 2};
    if (!CentreAccepted(quad)) return 0;
    g_qrResult.corners = quad;
    for (i32 r = 0; r <= n - 2; ++r) {
        for (i32 c = 0; c <= n - 2; ++c) {
            if (!SampleCell(grid, n, d, c, r, matrix)) return 0;
        }
    }
    return 1;
}

// X16 = 4 (c0 u + c1 v + c2) / (c6 u + c7 v + c8), truncating; 0 for a zero denominator.
GEO_POINT MapCorner(const PERSPECTIVE &t, i32 u, i32 v) {
    bool ok = true;
    const i64 *c = t.c;
    const i64 den = Chk_Add(Chk_Add(Chk_Mul(c[6], u, &ok), Chk_Mul(c[7], v, &ok), &ok), c[8], &ok);
    const i64 nx = Chk_Add(Chk_Add(Chk_Mul(c[0], u, &ok), Chk_Mul(c[1], v, &ok), &ok), c[2], &ok);
    const i64 ny = Chk_Add(Chk_Add(Chk_Mul(c[3], u, &ok), Chk_Mul(c[4], v, &ok), &ok), c[5], &ok);
    if (!ok || den == 0) return {0, 0};
    const i64 x = Chk_Div(Chk_Mul(nx, 4, &ok), den, &ok);
    const i64 y = Chk_Div(Chk_Mul(ny, 4, &ok), den, &ok);
    if (!ok) return {0, 0};
    return {Num_ClampI64(x) >> 4, Num_ClampI64(y) >> 4};
}

i32 SampleWhole(u8 *matrix, i32 d) {
    const PERSPECTIVE &t = g_qrGeomWork.globalTransform;
    REGION_QUAD &corners = g_qrResult.corners;
    corners.c[kTopLeft] = MapCorner(t, 0, 0);
    corners.c[kTopRight] = MapCorner(t, d - 1, 0);
    corners.c[kBottomLeft] = MapCorner(t, 0, d - 1);
    corners.c[kBottomRight] = MapCorner(t, d - 1, d - 1);
    if (!CentreAccepted(corners)) return 0;
    PERSPECTIVE t16{};
    if (!ScaleToSixteenths(t, &t16)) return 0;
    return WalkModules(t16, 0, 0, d - 1, d - 1, d, matrix, g_frame.sampleBilinearMany) ? 1 : 0;
}

}  // namespace

i32 QR_CollectFinderPairs(GEO_POINT *from, GEO_POINT *to) {
    i32 count = 0;
    for (i32 s = 0; s < 3; ++s) {
        if (g_qrGeomWork.finder[s].size <= 0) continue;
        for (i32 k = 0; k < 5; ++k) {
            from[count] = g_qrGeomWork.modulePoints[s][k];
            to[count] = g_qrGeomWork.imagePoints[s][k];
            ++count;
        }
    }
    return count;
}

void QR_InitAlignGrid(QR_GRID_NODE *grid) {
    const i32 n = g_qrSymbol.alignmentCount;
    const i32 version = g_qrSymbol.version;
    if (grid == nullptr || !AlignCountOk(n) || version < 2 || version > kQrMaxVersion) return;
    const u8 *pos = QR_GetAlignmentCoords(version - 1);
    for (i32 i = 0; i < n * n; ++i) {
        grid[i].imageX = 0;
        grid[i].imageY = 0;
        grid[i].found = 0;
    }
    LayOutNodes(grid, n, pos);
    QR_GRID_NODE *topLeft = &grid[0];
    QR_GRID_NODE *topRight = &grid[n - 1];
    QR_GRID_NODE *bottomLeft = &grid[(n - 1) * n];
    switch (g_qrGeomWork.arrangement) {
        case kQrArrangeThree:
            SeedNode(topLeft, 0, 3);
            SeedNode(topRight, 2, 3);
            SeedNode(bottomLeft, 1, 0);
            break;
        case kQrArrangeTopPair:
            SeedNode(topLeft, 0, 2);
            SeedNode(topRight, 2, 3);
            break;
        case kQrArrangeSidePair:
            SeedNode(topLeft, 0, 3);
            SeedNode(bottomLeft, 1, 0);
            break;
        case kQrArrangeDiagonal:
            SeedNode(topRight, 2, 0);
            SeedNode(bottomLeft, 1, 0);
            break;
        default:
            break;
    }
}

i32 QR_CompleteAlignGrid(QR_GRID_NODE *grid) {
    if (g_qrGeomWork.globalValid == 1) return 1;
    if (g_qrSymbol.version < 2) return 0;
    const i32 n = g_qrSymbol.alignmentCount;
    if (grid == nullptr || !AlignCountOk(n)) return 0;
    for (i32 round = 0; round < kCompleteRounds; ++round) {
        Quadrants q;
        CollectMissing(grid, n, &q);
        const i32 quadrant = ChooseQuadrant(q);
        if (quadrant < 0) return 1;
        if (q.count[quadrant] > 8) return 0;
        if (!FillQuadrant(grid, n, q, quadrant)) return 0;
    }
    return 0;
}

void QR_FitGlobalTransform(QR_GRID_NODE *grid) {
    g_qrGeomWork.globalValid = 0;
    GEO_POINT from[kGlobalBatch];
    GEO_POINT to[kGlobalBatch];
    PERSPECTIVE out{};
    PERSPECTIVE_FIT fit{};
    fit.outInt = &out;
    fit.scale = kQrPerspectiveScale;
    fit.from = from;
    fit.to = to;
    fit.reset = 1;
    fit.count = QR_CollectFinderPairs(from, to);
    if (Geo_FitPerspectiveInt(&fit, 0) != 1) return;
    fit.reset = 0;
    const i32 n = g_qrSymbol.alignmentCount;
    const i32 nodes = grid != nullptr && AlignCountOk(n) ? n * n : 0;
    fit.count = 0;
    for (i32 i = 0; i < nodes; ++i) {
        if (grid[i].found != 1) continue;
        if (fit.count == kGlobalBatch) {
            if (Geo_FitPerspectiveInt(&fit, 0) != 1) return;
            fit.count = 0;
        }
        from[fit.count] = {grid[i].moduleX, grid[i].moduleY};
        to[fit.count] = {grid[i].imageX, grid[i].imageY};
        ++fit.count;
    }
    if (Geo_FitPerspectiveInt(&fit, 1) != 1) return;
    g_qrGeomWork.globalTransform = out;
    g_qrGeomWork.globalValid = 1;
}

void QR_ReorientByAlignment(QR_GRID_NODE *grid) {
    const i32 n = g_qrSymbol.alignmentCount;
    const i32 version = g_qrSymbol.version;
    if (grid == nullptr || !AlignCountOk(n) || version < 2 || version > kQrMaxVersion) return;
    const i32 d = g_qrSymbol.dimension;
    if (g_qrGeomWork.arrangement == kQrArrangeSidePair && grid[n - 1].found == 1) {
        TurnGrid(grid, n, [n](i32 c, i32 r, i32 *nc, i32 *nr) {
            *nc = n - 1 - r;
            *nr = c;
        });
        g_qrGeomWork.finder[2] = g_qrGeomWork.finder[0];
        for (i32 k = 0; k < 5; ++k) g_qrGeomWork.imagePoints[2][k] = g_qrGeomWork.imagePoints[0][k];
        g_qrGeomWork.finder[0] = g_qrGeomWork.finder[1];
        for (i32 k = 0; k < 5; ++k) g_qrGeomWork.imagePoints[0][k] = g_qrGeomWork.imagePoints[1][k];
        RotateCornerPoints(g_qrGeomWork.imagePoints[0]);
        g_qrGeomWork.finder[1].size = 0;
        SetTopPairModulePoints(d);
        g_qrGeomWork.arrangement = kQrArrangeTopPair;
        g_qrGeomWork.orientationKnown = 1;
        return;
    }
    if (g_qrGeomWork.arrangement == kQrArrangeDiagonal && grid[0].found == 1) {
        TurnGrid(grid, n, [n](i32 c, i32 r, i32 *nc, i32 *nr) {
            *nc = n - 1 - c;
            *nr = n - 1 - r;
        });
        SwapSlots(1, 2);
        g_qrGeomWork.orientationKnown = 1;
    }
}

i32 QR_SampleModules(QR_GRID_NODE *grid, u8 *matrix) {
    const i32 d = g_qrSymbol.dimension;
    if (matrix == nullptr || d < kQrMinDimension || d > kQrMaxDimension) return 0;
    if (g_qrGeomWork.globalValid == 1) return SampleWhole(matrix, d);
    return SamplePiecewise(grid, matrix, d);
}

i32 QR_SaveGeometry(QR_GEOMETRY *g) {
    if (g == nullptr) return 0;
    g->saved = 1;
    for (i32 s = 0; s < 3; ++s) {
        g->finder[s] = g_qrGeomWork.finder[s];
        g->finderTransform[s] = g_qrGeomWork.finderTransform[s];
        for (i32 k = 0; k < 5; ++k) {
            g->imagePoints[s][k] = g_qrGeomWork.imagePoints[s][k];
            g->modulePoints[s][k] = g_qrGeomWork.modulePoints[s][k];
        }
    }
    g->arrangement = g_qrGeomWork.arrangement;
    g->orientationKnown = g_qrGeomWork.orientationKnown;
    g->pairModuleSize = g_qrGeomWork.pairModuleSize;
    g->symbol = g_qrSymbol;
    g->globalTransform = g_qrGeomWork.globalTransform;
    g->globalValid = g_qrGeomWork.globalValid;
    return 1;
}

i32 QR_RestoreGeometry(const QR_GEOMETRY *g) {
    if (g == nullptr || g->saved != 1) return 0;
    for (i32 s = 0; s < 3; ++s) {
        g_qrGeomWork.finder[s] = g->finder[s];
        g_qrGeomWork.finderTransform[s] = g->finderTransform[s];
        for (i32 k = 0; k < 5; ++k) {
            g_qrGeomWork.imagePoints[s][k] = g->imagePoints[s][k];
            g_qrGeomWork.modulePoints[s][k] = g->modulePoints[s][k];
        }
    }
    g_qrGeomWork.arrangement = g->arrangement;
    g_qrGeomWork.orientationKnown = g->orientationKnown;
    g_qrGeomWork.pairModuleSize = g->pairModuleSize;
    g_qrSymbol = g->symbol;
    g_qrGeomWork.globalTransform = g->globalTransform;
    g_qrGeomWork.globalValid = g->globalValid;
    return 1;
}

}  // namespace vexo
