// Alignment-pattern search: templates, node ranking, the nearest-first search with its
// running whole-symbol fit, and the window scan.
#include "qr/qr_align.h"

#include "core/pixel.h"
#include "qr/qr_grid.h"
#include "qr/qr_state.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// The ring templates in finder-local 1/11 module around the finder centre (33, 33), as the
// rows and columns they sample: inner ring (the pattern's light ring), then the outer ring
// (its dark ring).
struct TemplateRings {
    i8 innerX[3];
    i8 innerY[3];
    i8 outerTopY;
    i8 outerSideY[3];
    i8 outerBottomY;
    i8 outerTopX[5];
    i8 outerBottomX[5];
    i8 outerSideX[2];
};

// Tables 0-3 serve modules of 2 pixels and more (table 2 samples exactly one and two modules
// out), tables 4-7 smaller ones.
constexpr TemplateRings kTemplateRings[8] = {
    {{-7, 0, 7}, {-7, 0, 7}, -14, {-7, 0, 7}, 14, {-14, -7, 0, 7, 14}, {-14, -7, 0, 7, 14}, {-14, 14}},
    {{-9, 0, 9}, {-9, 0, 9}, -20, {-9, 0, 9}, 20, {-20, -9, 0, 9, 20}, {-20, -9, 0, 9, 20}, {-20, 20}},
    {{-11, 0, 11}, {-11, 0, 11}, -22, {-11, 0, 11}, 22, {-22, -11, 0, 11, 22}, {-22, -11, 0, 11, 22}, {-22, 22}},
    {{-14, 0, 14}, {-14, 0, 14}, -25, {-14, 0, 14}, 25, {-25, -14, 0, 14, 25}, {-25, -14, 0, 14, 25}, {-25, 25}},
    {{-7, 0, 14}, {-7, 0, 14}, -21, {-7, 0, 14}, 21, {-21, -7, 0, 14, 28}, {-21, -7, 0, 14, 21}, {-21, 28}},
    {{-7, 0, 14}, {-14, 0, 14}, -28, {-14, 0, 14}, 28, {-21, -7, 0, 14, 28}, {-21, -7, 0, 14, 28}, {-21, 28}},
    {{-7, 0, 14}, {-14, 0, 7}, -28, {-14, 0, 7}, 21, {-21, -7, 0, 14, 28}, {-21, -7, 0, 14, 28}, {-21, 28}},
    {{-12, 0, 12}, {-12, 0, 12}, -24, {-12, 0, 12}, 24, {-24, -12, 0, 12, 24}, {-24, -12, 0, 12, 24}, {-24, 24}},
};
static_assert(sizeof(kTemplateRings) / sizeof(kTemplateRings[0]) == 8);

constexpr i32 kRingPoints = kQrTemplatePoints - 1;
constexpr i32 kInnerPoints = 8;

struct TemplateTable {
    GEO_POINT p[8][kRingPoints];
};

// The 24 ring points of every table in template order: inner ring top row, middle row left
// and right, bottom row; outer ring top row, the three side rows left and right, bottom row.
constexpr TemplateTable MakeTemplateTable() {
    TemplateTable t{};
    for (i32 k = 0; k < 8; ++k) {
        const TemplateRings &r = kTemplateRings[k];
        GEO_POINT *p = t.p[k];
        i32 i = 0;
        for (i32 c = 0; c < 3; ++c) p[i++] = {r.innerX[c], r.innerY[0]};
        p[i++] = {r.innerX[0], r.innerY[1]};
        p[i++] = {r.innerX[2], r.innerY[1]};
        for (i32 c = 0; c < 3; ++c) p[i++] = {r.innerX[c], r.innerY[2]};
        for (i32 c = 0; c < 5; ++c) p[i++] = {r.outerTopX[c], r.outerTopY};
        for (i32 s = 0; s < 3; ++s) {
            p[i++] = {r.outerSideX[0], r.outerSideY[s]};
            p[i++] = {r.outerSideX[1], r.outerSideY[s]};
        }
        for (i32 c = 0; c < 5; ++c) p[i++] = {r.outerBottomX[c], r.outerBottomY};
    }
    return t;
}
constexpr TemplateTable kTemplates = MakeTemplateTable();
static_assert(kTemplates.p[2][0].x == -11 && kTemplates.p[2][23].y == 22);
static_assert(kTemplates.p[4][12].x == 28 && kTemplates.p[4][23].x == 21);

constexpr i32 kFinderCentre = 33;
constexpr i32 kListCapacity[4] = {9, 15, 23, 15};
static_assert(kQrAlignListStart[3] + kListCapacity[3] == kQrAlignListNodes);

i32 AbsI(i32 v) { return v < 0 ? -v : v; }
i32 MaxI(i32 a, i32 b) { return a > b ? a : b; }
i32 MinI(i32 a, i32 b) { return a < b ? a : b; }
i32 SignOf(i32 v) { return v < 0 ? -1 : 1; }

bool InImage(i32 x, i32 y) {
    return x >= 0 && y >= 0 && x < g_image.width && y < g_image.height && g_image.data != nullptr;
}
i32 Pixel(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }
i32 PixelOr255(i32 x, i32 y) { return InImage(x, y) ? Pixel(x, y) : 255; }

// ---- Templates.

bool BuildTemplate(const PERSPECTIVE &t, i32 table, GEO_POINT out[kQrTemplatePoints]) {
    i32 rx = 0, ry = 0;
    if (Geo_MapPointPerspective(&t, kFinderCentre, kFinderCentre, &rx, &ry) != 1) return false;
    out[0] = {0, 0};
    for (i32 k = 0; k < kRingPoints; ++k) {
        const GEO_POINT d = kTemplates.p[table][k];
        i32 x = 0, y = 0;
        if (Geo_MapPointPerspective(&t, kFinderCentre + d.x, kFinderCentre + d.y, &x, &y) != 1) return false;
        out[k + 1] = {(x - rx) / 4, (y - ry) / 4};
    }
    return true;
}

// ---- Ranking.

struct NodeChoice {
    i32 slot;
    i32 distance;
};

// The finder slot a node is searched from and its Chebyshev distance to it; slot -1 when the
// arrangement examines no such node.
NodeChoice ChooseFinder(i32 arrangement, i32 c, i32 r, i32 n, i32 found) {
    const i32 dTL = MaxI(c, r);
    const i32 dTR = MaxI(n - 1 - c, r);
    const i32 dBL = MaxI(c, n - 1 - r);
    const i32 dist[3] = {dTL, dBL, dTR};
    i32 slot = -1;
    switch (arrangement) {
        case kQrArrangeThree:
            if (c == 0 && r == 0) break;
            slot = dTR <= MinI(dTL, dBL) ? 2 : (dBL <= dTL ? 1 : 0);
            break;
        case kQrArrangeTopPair:
            if (found == 0) slot = dTL < dTR ? 0 : 2;
            break;
        case kQrArrangeSidePair:
            if (found == 0) slot = dTL < dBL ? 0 : 1;
            break;
        case kQrArrangeDiagonal:
            if (found == 0) slot = dBL < dTR ? 1 : 2;
            break;
        default:
            break;
    }
    return {slot, slot < 0 ? -1 : dist[slot]};
}

i32 ListOfDistance(i32 d) {
    if (d <= 0) return -1;
    if (d == 1) return 0;
    if (d == 2) return 1;
    return d <= 4 ? 2 : 3;
}

// ---- Running fit.

struct RunningFit {
    PERSPECTIVE_FIT fit;
    PERSPECTIVE t;
};

bool StartRunningFit(RunningFit *rf) {
    GEO_POINT from[15];
    GEO_POINT to[15];
    const i32 count = QR_CollectFinderPairs(from, to);
    if (count == 0) return false;
    rf->fit = PERSPECTIVE_FIT{};
    rf->fit.from = from;
    rf->fit.to = to;
    rf->fit.count = count;
    rf->fit.reset = 1;
    rf->fit.outInt = &rf->t;
    rf->fit.scale = kQrPerspectiveScale;
    const bool ok = Geo_FitPerspectiveInt(&rf->fit, 1) == 1;
    rf->fit.from = nullptr;
    rf->fit.to = nullptr;
    return ok;
}

bool ExtendRunningFit(RunningFit *rf, const GEO_POINT *from, const GEO_POINT *to, i32 count) {
    rf->fit.from = from;
    rf->fit.to = to;
    rf->fit.count = count;
    rf->fit.reset = 0;
    const bool ok = Geo_FitPerspectiveInt(&rf->fit, 1) == 1;
    rf->fit.from = nullptr;
    rf->fit.to = nullptr;
    return ok;
}

// Searches one listed node; true when its pattern was found (the node updated).
bool SearchNode(const PERSPECTIVE &t, QR_GRID_NODE *node) {
    const i32 slot = node->nearestFinder;
    if (slot < 0 || slot > 2 || g_qrGeomWork.templateValid[slot] != 1) return false;
    const GEO_POINT (*templates)[kQrTemplatePoints] = g_qrGeomWork.templates[slot];
    const i32 m = MaxI(AbsI(templates[2][1].x), AbsI(templates[2][1].y));
    GEO_POINT c[4];
    if (QR_AlignWindowCorners(&t, node->moduleX, node->moduleY, QR_AlignWindowParams(m).halfWidth, c) != 1) return false;
    GEO_POINT out{};
    if (QR_SearchAlignWindow(c[0], c[1], c[2], c[3], templates, m, &out) != 1) return false;
    node->imageX = out.x;
    node->imageY = out.y;
    node->found = 1;
    return true;
}

// ---- Window scan.

// Centres and sums in half pixels.
struct Cluster {
    i32 cx, cy, sumX, sumY, count, scoreSum;
};

struct Clusters {
    Cluster c[4];
    i32 count;
};

void AddHit(Clusters *cl, i32 x, i32 y, i32 score, i32 tolerance) {
    for (i32 k = 0; k < cl->count; ++k) {
        Cluster &c = cl->c[k];
        if (AbsI(x - c.cx) > tolerance || AbsI(y - c.cy) > tolerance) continue;
        c.sumX += x;
        c.sumY += y;
        c.scoreSum += score;
        ++c.count;
        c.cx = c.sumX / c.count;
        c.cy = c.sumY / c.count;
        return;
    }
    if (cl->count == 4) return;
    cl->c[cl->count++] = {x, y, x, y, 1, score};
}

// The cluster of the highest mean score; the earlier one on equal means.
const Cluster &BestCluster(const Clusters &cl) {
    i32 best = 0;
    for (i32 k = 1; k < cl.count; ++k) {
        const Cluster &a = cl.c[k];
        const Cluster &b = cl.c[best];
        if (static_cast<i64>(a.scoreSum) * b.count > static_cast<i64>(b.scoreSum) * a.count) best = k;
    }
    return cl.c[best];
}

// Tests every row candidate against the templates; matches join the clusters at twice their
// centre (half pixels), so that runs of even length do not all round the same way.
void TestCandidates(const i32 *xs, const i32 *ys, const i32 *twiceXs, const i32 *twiceYs, i32 count,
                    const GEO_POINT (*templates)[kQrTemplatePoints], i32 t, i32 tolerance, Clusters *cl) {
    for (i32 i = 0; i < count; ++i) {
        for (i32 k = 0; k < 4; ++k) {
            i32 score = 0;
            if (QR_TestAlignTemplate(xs[i], ys[i], templates[k], t, &score) != 1) continue;
            AddHit(cl, twiceXs[i], twiceYs[i], score, 2 * tolerance);
            break;
        }
    }
}

GEO_POINT RowSample(const QR_ALIGN_ROW &row, i32 k) {
    const i64 dx = (static_cast<i64>(k) * row.stepX) >> 10;
    const i64 dy = (static_cast<i64>(k) * row.stepY) >> 10;
    return {static_cast<i32>(row.startX + row.signX * dx), static_cast<i32>(row.startY + row.signY * dy)};
}

bool Foreground(i32 v, i32 t) { return g_qrPolarity == 1 ? v < t : v > t; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Stage entry points

void QR_BuildAlignTemplates() {
    QR_GEOM_WORK &w = g_qrGeomWork;
    for (i32 s = 0; s < 3; ++s) w.templateValid[s] = 0;
    if (g_qrSymbol.version <= 1) return;
    const i32 first = w.pairModuleSize >= 2.0 ? 0 : 4;
    for (i32 s = 0; s < 3; ++s) {
        if (w.finder[s].size == 0) continue;
        for (i32 k = 0; k < 4; ++k) {
            // One failed mapping ends the whole build: this slot and the later ones stay invalid.
            if (!BuildTemplate(w.finderTransform[s], first + k, w.templates[s][k])) return;
        }
        w.templateValid[s] = 1;
    }
}

void QR_RankAlignNodes(QR_GRID_NODE *grid, QR_GRID_NODE *lists, i32 counts[4]) {
    if (counts == nullptr) return;
    for (i32 k = 0; k < 4; ++k) counts[k] = 0;
    const i32 n = g_qrSymbol.alignmentCount;
    if (grid == nullptr || lists == nullptr || n < 2 || n > kQrMaxAlignCount) return;
    for (i32 i = 0; i < n * n; ++i) {
        QR_GRID_NODE &node = grid[i];
        const NodeChoice choice = ChooseFinder(g_qrGeomWork.arrangement, i % n, i / n, n, node.found);
        if (choice.slot < 0) continue;
        node.nearestFinder = choice.slot;
        const i32 list = ListOfDistance(choice.distance);
        if (list < 0 || counts[list] >= kListCapacity[list]) continue;
        lists[kQrAlignListStart[list] + counts[list]++] = node;
    }
}

int QR_SearchAlignPatterns(QR_GRID_NODE *grid, QR_GRID_NODE *lists, i32 counts[4]) {
    const i32 n = g_qrSymbol.alignmentCount;
    if (g_qrSymbol.version <= 1 || grid == nullptr || lists == nullptr || counts == nullptr) return 0;
    if (n < 2 || n > kQrMaxAlignCount) return 0;
    RunningFit rf;
    if (!StartRunningFit(&rf)) return 0;
    i32 listed[4] = {0, 0, 0, 0};
    i32 found[4] = {0, 0, 0, 0};
    i32 lastList = -1;
    GEO_POINT last{};
    for (i32 k = 0; k < 4; ++k) {
        listed[k] = MaxI(0, MinI(counts[k], kListCapacity[k]));
        if (listed[k] == 0) continue;
        lastList = k;
        GEO_POINT from[kQrMaxGridNodes];
        GEO_POINT to[kQrMaxGridNodes];
        for (i32 j = 0; j < listed[k]; ++j) {
            QR_GRID_NODE &node = lists[kQrAlignListStart[k] + j];
            if (!SearchNode(rf.t, &node)) continue;
            from[found[k]] = {node.moduleX, node.moduleY};
            to[found[k]] = {node.imageX, node.imageY};
            last = to[found[k]];
            ++found[k];
        }
        if (k < 3 && found[k] > 0 && !ExtendRunningFit(&rf, from, to, found[k])) return 0;
    }
    if (lastList >= 0 && found[lastList] > 0) g_qrGeomWork.lastAlignment = {last.x / 4, last.y / 4};
    for (i32 k = 0; k < 4; ++k) {
        for (i32 j = 0; j < listed[k]; ++j) {
            const QR_GRID_NODE &node = lists[kQrAlignListStart[k] + j];
            if (node.gridCol < 0 || node.gridCol >= n || node.gridRow < 0 || node.gridRow >= n) continue;
            grid[node.gridCol + n * node.gridRow] = node;
        }
    }
    QR_ReorientByAlignment(grid);
    const i32 totalFound = found[0] + found[1] + found[2] + found[3];
    const i32 totalListed = listed[0] + listed[1] + listed[2] + listed[3];
    if (totalFound >= 3 && (totalListed < 1 || 2 * totalListed < 5 * totalFound)) return 1;
    QR_FitGlobalTransform(grid);
    return 1;
}

// ---------------------------------------------------------------------------------------
// Window scan

QR_ALIGN_WINDOW_PARAMS QR_AlignWindowParams(i32 m) {
    QR_ALIGN_WINDOW_PARAMS p{};
    p.halfWidth = MaxI(5 - (m - 4) / 3, 2);
    p.rowStep = MaxI(1, MinI(m / 4, 3));
    p.runTolerance = m < 4 ? 8 : 2 * m;
    p.clusterTolerance = MaxI(m, 4);
    return p;
}

i32 QR_AlignWindowCorners(const PERSPECTIVE *t, i32 mx, i32 my, i32 halfWidth, GEO_POINT corners[4]) {
    if (t == nullptr || corners == nullptr) return 0;
    const i32 du[4] = {-halfWidth, -halfWidth, halfWidth, halfWidth};
    const i32 dv[4] = {-halfWidth, halfWidth, -halfWidth, halfWidth};
    for (i32 k = 0; k < 4; ++k) {
        i32 x = 0, y = 0;
        // A corner the fit cannot map skips the node, as one outside the image does.
        if (Geo_MapPointPerspective(t, mx + du[k], my + dv[k], &x, &y) != 1) return 0;
        corners[k] = {x >> 2, y >> 2};
        if (Geo_InFrame(corners[k].x, corners[k].y) != 1) return 0;
    }
    return 1;
}

i32 QR_SearchAlignWindow(GEO_POINT tl, GEO_POINT bl, GEO_POINT tr, GEO_POINT br, const GEO_POINT (*templates)[kQrTemplatePoints],
                         i32 m, GEO_POINT *out) {
    if (templates == nullptr || out == nullptr) return 0;
    const QR_ALIGN_WINDOW_PARAMS params = QR_AlignWindowParams(m);
    const i32 t = QR_WindowThreshold(tl, br);
    const i32 cdx = tr.x - tl.x, cdy = tr.y - tl.y;
    const i32 samples = MaxI(AbsI(cdx), AbsI(cdy)) + 1;
    const i32 rdx = bl.x - tl.x, rdy = bl.y - tl.y;
    const i32 rows = MaxI(AbsI(rdx), AbsI(rdy));
    if (rows < 1) return 0;
    i32 xs[kQrRowCandidateCapacity];
    i32 ys[kQrRowCandidateCapacity];
    i32 twiceXs[kQrRowCandidateCapacity];
    i32 twiceYs[kQrRowCandidateCapacity];
    QR_ALIGN_ROW row{};
    row.stepX = static_cast<i32>(static_cast<i64>(AbsI(cdx)) * 1024 / samples);
    row.stepY = static_cast<i32>(static_cast<i64>(AbsI(cdy)) * 1024 / samples);
    row.signX = SignOf(cdx);
    row.signY = SignOf(cdy);
    row.count = samples;
    row.threshold = t;
    row.runTolerance = params.runTolerance;
    row.xs = xs;
    row.ys = ys;
    row.capacity = kQrRowCandidateCapacity;
    row.twiceXs = twiceXs;
    row.twiceYs = twiceYs;
    Clusters cl{};
    for (i32 j = 0; j < rows; j += params.rowStep) {
        row.startX = tl.x + static_cast<i32>(static_cast<i64>(j) * rdx / rows);
        row.startY = tl.y + static_cast<i32>(static_cast<i64>(j) * rdy / rows);
        const i32 found = QR_FindRowCandidates(&row);
        TestCandidates(xs, ys, twiceXs, twiceYs, found, templates, t, params.clusterTolerance, &cl);
    }
    if (cl.count == 0) return 0;
    const Cluster &best = BestCluster(cl);
    // Sums in half pixels; the mean rounded to the nearest 1/4 pixel (positions in the image
    // are not negative).
    GEO_POINT result = {static_cast<i32>((4 * static_cast<i64>(best.sumX) + best.count) / (2 * best.count)),
                        static_cast<i32>((4 * static_cast<i64>(best.sumY) + best.count) / (2 * best.count))};
    if (g_qrGeomWork.pairModuleSize < 3.0) {
        GEO_POINT refined{};
        if (QR_RefineDarkCentre({(result.x + 1) / 4, (result.y + 1) / 4}, &refined) != 0) result = refined;
    }
    *out = result;
    return 1;
}

i32 QR_WindowThreshold(GEO_POINT tl, GEO_POINT br) {
    const i32 dx = br.x - tl.x, dy = br.y - tl.y;
    const i32 n = MaxI(AbsI(dx), AbsI(dy));
    if (n <= 0) return 255;
    const i64 sx = static_cast<i64>(AbsI(dx)) * 1024 / n;
    const i64 sy = static_cast<i64>(AbsI(dy)) * 1024 / n;
    i32 lo = 255, hi = 0;
    for (i32 k = n; k >= 0; --k) {
        const i32 x = tl.x + SignOf(dx) * static_cast<i32>((k * sx) >> 10);
        const i32 y = tl.y + SignOf(dy) * static_cast<i32>((k * sy) >> 10);
        if (!InImage(x, y)) continue;
        const i32 v = Pixel(x, y);
        lo = MinI(lo, v);
        hi = MaxI(hi, v);
    }
    if (hi - lo <= 14) return 0;
    const i32 percent = g_qrGeomWork.pairModuleSize > 3.0 ? 55 : 65;
    return lo + (hi - lo) * percent / 100;
}

i32 QR_FindRowCandidates(const QR_ALIGN_ROW *row) {
    if (row == nullptr || row->xs == nullptr || row->ys == nullptr || row->count <= 0 || row->capacity <= 0) return 0;
    i32 first = -1, last = -1;
    for (i32 k = 0; k < row->count; ++k) {
        const GEO_POINT p = RowSample(*row, k);
        if (!InImage(p.x, p.y)) continue;
        if (first < 0) first = k;
        last = k;
    }
    if (first < 0) return 0;
    i32 found = 0;
    bool inside = false;
    GEO_POINT start{};
    for (i32 i = first; i <= last; ++i) {
        const GEO_POINT p = RowSample(*row, i);
        // Samples of one straight row inside the image are contiguous; a stray one reads as
        // background.
        const bool fg = InImage(p.x, p.y) && Foreground(Pixel(p.x, p.y), row->threshold);
        if (fg && !inside) {
            start = p;
            inside = true;
        } else if (!fg && inside) {
            inside = false;
            const GEO_POINT end = RowSample(*row, i - 1);
            if (AbsI(end.x - start.x) >= row->runTolerance || AbsI(end.y - start.y) >= row->runTolerance) continue;
            row->xs[found] = (end.x + start.x) >> 1;
            row->ys[found] = (end.y + start.y) >> 1;
            if (row->twiceXs != nullptr && row->twiceYs != nullptr) {
                row->twiceXs[found] = end.x + start.x;
                row->twiceYs[found] = end.y + start.y;
            }
            if (++found == row->capacity) break;
        }
    }
    return found;
}

i32 QR_TestAlignTemplate(i32 x, i32 y, const GEO_POINT *tmpl, i32 t, i32 *score) {
    if (tmpl == nullptr || score == nullptr) return 0;
    for (i32 k = 0; k < kQrTemplatePoints; ++k) {
        if (!InImage(x + tmpl[k].x, y + tmpl[k].y)) return 0;
    }
    const i32 c = Pixel(x, y);
    const bool dark = g_qrPolarity == 1;
    if (dark ? c > t : c < t) return 0;
    i32 misses = 0;
    for (i32 k = 1; k < kQrTemplatePoints; ++k) {
        const i32 v = Pixel(x + tmpl[k].x, y + tmpl[k].y);
        const bool inner = k <= kInnerPoints;
        bool miss = false;
        if (dark) miss = inner ? (v < t || v < c + 10) : v > t;
        else miss = inner ? v > t : v < t;
        misses += miss ? 1 : 0;
        if (misses > 1) return 0;
    }
    *score = kQrTemplatePoints - misses;
    return 1;
}

i32 QR_RefineDarkCentre(GEO_POINT p, GEO_POINT *out) {
    if (out == nullptr) return 0;
    *out = {4 * p.x, 4 * p.y};
    if (!InImage(p.x, p.y)) return 0;
    // Neighbour order: the centre first, then north-west .. south-east row by row.
    static constexpr i8 kDx[9] = {0, -1, 0, 1, -1, 1, -1, 0, 1};
    static constexpr i8 kDy[9] = {0, -1, -1, -1, 0, 0, 1, 1, 1};
    GEO_POINT cur = p;
    i32 v[9];
    i32 evaluations = 0;
    for (;;) {
        ++evaluations;
        i32 darkest = 0;
        for (i32 k = 0; k < 9; ++k) {
            v[k] = PixelOr255(cur.x + kDx[k], cur.y + kDy[k]);
            if (v[k] < v[darkest]) darkest = k;
        }
        if (v[darkest] == 255) return 0;
        if (darkest == 0) break;
        if (evaluations == 4) return 0;
        cur = {cur.x + kDx[darkest], cur.y + kDy[darkest]};
    }
    i32 hi = 0;
    for (i32 k = 0; k < 9; ++k) hi = MaxI(hi, v[k]);
    i64 f = 0, sx = 0, sy = 0;
    for (i32 k = 0; k < 9; ++k) {
        const i64 w = hi - v[k];
        f += w;
        sx += w * (cur.x + kDx[k]);
        sy += w * (cur.y + kDy[k]);
    }
    if (f <= 0) return 0;
    *out = {static_cast<i32>(4 * sx / f), static_cast<i32>(4 * sy / f)};
    return evaluations;
}

}  // namespace vexo
