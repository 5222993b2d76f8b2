// Micro QR module grid fit: edge lines across the finder and the timing patterns, and the
// module transforms fitted to the centres they give.
#include "qr/mqr_grid.h"

#include "core/pixel.h"
#include "qr/qr_state.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kGridScale = 1 << 20;
constexpr i32 kEdgeMinStep = 15;

// The outline's corners and centre in half modules.
constexpr GEO_POINT kOutlineHalf[5] = {{1, 13}, {1, 1}, {13, 1}, {13, 13}, {7, 7}};
// The nine finder points: outer ring corners, inner ring corners, centre.
constexpr GEO_POINT kFinderModule[9] = {{0, 6}, {0, 0}, {6, 0}, {6, 6}, {1, 5}, {1, 1}, {5, 1}, {5, 5}, {3, 3}};
constexpr GEO_POINT kFinderHalf[9] = {{1, 13}, {1, 1}, {13, 1}, {13, 13}, {3, 11}, {3, 3}, {11, 3}, {11, 11}, {7, 7}};
static_assert(sizeof(kOutlineHalf) / sizeof(kOutlineHalf[0]) == 5);
static_assert(sizeof(kFinderModule) / sizeof(kFinderModule[0]) == 9);
static_assert(sizeof(kFinderHalf) / sizeof(kFinderHalf[0]) == 9);

// Adds pairs to a fit and solves it; the fit keeps its sums for later points.
int AddAndSolve(PERSPECTIVE_FIT *fit, const GEO_POINT *from, const GEO_POINT *to, i32 count, i32 reset,
                bool floatFit) {
    fit->from = from;
    fit->to = to;
    fit->count = count;
    fit->reset = reset;
    const int ok = floatFit ? Geo_FitPerspectiveFloat(fit, 1) : Geo_FitPerspectiveInt(fit, 1);
    // The pairs live on the caller's stack.
    fit->from = nullptr;
    fit->to = nullptr;
    fit->count = 0;
    return ok;
}

void ClearSet(MQR_EDGE_SET *set) { *set = MQR_EDGE_SET{}; }

GEO_POINT Mid(const GEO_POINT &a, const GEO_POINT &b) {
    return {static_cast<i32>((static_cast<i64>(a.x) + b.x) / 2), static_cast<i32>((static_cast<i64>(a.y) + b.y) / 2)};
}

// The midpoint of (a x b) and (c x d): 1 when both intersections exist.
int MidOfCrossings(const LINE_FIT &a, const LINE_FIT &b, const LINE_FIT &c, const LINE_FIT &d, GEO_POINT *out) {
    GEO_POINT p{}, q{};
    if (Geo_IntersectLineFits(&a, &b, &p) != 1 || Geo_IntersectLineFits(&c, &d, &q) != 1) return 0;
    *out = Mid(p, q);
    return 1;
}

// The first fitted line of the set with exactly this key.
const LINE_FIT *LineWithKey(const MQR_EDGE_SET &set, i32 key) {
    for (i32 k = 0; k < set.count && k < kMqrEdgeLines; ++k) {
        if (set.lines[k].fitted == 1 && set.lines[k].key == key) return &set.lines[k].line;
    }
    return nullptr;
}

// New module centres with their module coordinates, added to all three fits.
struct GridPoints {
    GEO_POINT image[kMqrMaxTimingPoints];
    GEO_POINT module[kMqrMaxTimingPoints];
    i32 count;
};

void Push(GridPoints *g, const GEO_POINT &image, i32 mx, i32 my) {
    if (g->count >= kMqrMaxTimingPoints) return;
    g->image[g->count] = image;
    g->module[g->count] = {mx, my};
    ++g->count;
}

void AddGridPoints(MQR_STATE *s, const GridPoints &g) {
    GEO_POINT half[kMqrMaxTimingPoints];
    for (i32 k = 0; k < g.count; ++k) half[k] = {2 * g.module[k].x + 1, 2 * g.module[k].y + 1};
    AddAndSolve(&s->moduleFit, g.module, g.image, g.count, 0, false);
    AddAndSolve(&s->halfFit, half, g.image, g.count, 0, false);
    AddAndSolve(&s->inverseFit, g.image, half, g.count, 0, true);
}

// The diagonal module (n, n) from column and row lines a and b of both sets.
void PushDiagonal(MQR_STATE *s, GridPoints *g, i32 a, i32 b, i32 n) {
    const LINE_FIT *ca = LineWithKey(s->columnEdges, a), *cb = LineWithKey(s->columnEdges, b);
    const LINE_FIT *ra = LineWithKey(s->rowEdges, a), *rb = LineWithKey(s->rowEdges, b);
    GEO_POINT p{};
    if (ca != nullptr && cb != nullptr && ra != nullptr && rb != nullptr && MidOfCrossings(*ca, *ra, *cb, *rb, &p) == 1) {
        Push(g, p, n, n);
    }
}

// Scans one set of template lines and accepts it by its edge lines' model.
int FitEdgeSet(MQR_STATE *s, MQR_EDGE_SET *set, i32 axis, i32 uFrom, i32 uTo, i32 vFrom, i32 vTo, i32 refU, i32 refV) {
    MQR_LINE_SCAN q{};
    q.forward = &s->halfToImage;
    q.inverse = &s->imageToHalf;
    q.subpixel = 1;
    q.axis = axis;
    q.uFrom = uFrom;
    q.uTo = uTo;
    q.vFrom = vFrom;
    q.vTo = vTo;
    q.lines = set->lines;
    q.lineCapacity = kMqrEdgeLines;
    set->count = MQR_CollectEdgeLines(&q);
    bool any = false;
    for (i32 k = 0; k < set->count; ++k) {
        MQR_EDGE_LINE &line = set->lines[k];
        if (line.fitted == 1 || MQR_EdgeLineFit(&line) != 1) continue;
        const i32 weight = line.count - 1;
        Geo_LineFitAddWeighted(&line.key, &line.dirX, &weight, 1, set->dirXSums.matrix, set->dirXSums.right, any ? 0 : 1);
        Geo_LineFitAddWeighted(&line.key, &line.dirY, &weight, 1, set->dirYSums.matrix, set->dirYSums.right, any ? 0 : 1);
        any = true;
    }
    f32 solved[2];
    if (!any || Geo_LineFitSolve(set->dirXSums.matrix, set->dirXSums.right, solved) != 1 ||
        Geo_LineFitSolve(set->dirYSums.matrix, set->dirYSums.right, solved) != 1) {
        return 0;
    }
    // A reference line across the edge lines; their crossings must follow a smooth curve.
    GEO_POINT r0{}, r1{};
    const i32 ax = axis == 0 ? 0 : refU, ay = axis == 0 ? refV : 0;
    const i32 bx = axis == 0 ? 20 : refU, by = axis == 0 ? refV : 20;
    if (Geo_MapPointPerspective(&s->halfToImage, ax, ay, &r0.x, &r0.y) != 1 ||
        Geo_MapPointPerspective(&s->halfToImage, bx, by, &r1.x, &r1.y) != 1) {
        return 0;
    }
    LINE_FIT ref{};
    Geo_LineThroughPoints(&r0, &r1, &ref);
    i32 keys[kMqrEdgeLines], xs[kMqrEdgeLines], ys[kMqrEdgeLines];
    i32 n = 0;
    for (i32 k = 0; k < set->count; ++k) {
        GEO_POINT c{};
        if (set->lines[k].fitted != 1 || Geo_IntersectLineFits(&ref, &set->lines[k].line, &c) != 1) continue;
        keys[n] = set->lines[k].key;
        xs[n] = c.x;
        ys[n] = c.y;
        ++n;
    }
    if (n < 3) return 0;
    QUADRATIC_FIT fx{};
    fx.v = xs;
    fx.t = keys;
    fx.count = n;
    fx.reset = 1;
    fx.result = set->crossX;
    QUADRATIC_FIT fy = fx;
    fy.v = ys;
    fy.result = set->crossY;
    return Geo_FitQuadratic(&fx) == 1 && Geo_FitQuadratic(&fy) == 1 ? 1 : 0;
}

// The symbol outline from the nine finder points, written as the reported corners.
void WriteOutline(const GEO_POINT p[9], i32 m) {
    GEO_POINT p0{p[0].x >> 4, p[0].y >> 4}, p1{p[1].x >> 4, p[1].y >> 4};
    GEO_POINT p2{p[2].x >> 4, p[2].y >> 4}, p3{p[3].x >> 4, p[3].y >> 4};
    GEO_POINT tr{}, bl{}, br{}, tl{};
    Geo_StepTowards(&p2, &p1, &tr, -10 * m);
    Geo_StepTowards(&p0, &p1, &bl, -10 * m);
    Geo_StepTowards(&p3, &p1, &br, -15 * m);
    Geo_StepTowards(&p1, &br, &tl, -static_cast<i32>(2.8 * m));
    Geo_StepTowards(&bl, &br, &bl, -2 * m);
    Geo_StepTowards(&tr, &br, &tr, -2 * m);
    g_qrResult.corners.c[0] = tl;
    g_qrResult.corners.c[1] = tr;
    g_qrResult.corners.c[2] = bl;
    g_qrResult.corners.c[3] = br;
}

// The nine finder points from the six column lines A and row lines B: 1 when every
// crossing exists.
int FinderPoints(const LINE_FIT a[6], const LINE_FIT b[6], GEO_POINT p[9]) {
    struct Pair {
        u8 a0, b0, a1, b1;
    };
    static constexpr Pair kPairs[8] = {{0, 5, 1, 4}, {0, 0, 1, 1}, {5, 0, 4, 1}, {5, 5, 4, 4},
                                       {1, 4, 2, 3}, {1, 1, 2, 2}, {4, 1, 3, 2}, {4, 4, 3, 3}};
    for (i32 k = 0; k < 8; ++k) {
        const Pair &q = kPairs[k];
        if (MidOfCrossings(a[q.a0], b[q.b0], a[q.a1], b[q.b1], &p[k]) != 1) return 0;
    }
    GEO_POINT c[4];
    if (Geo_IntersectLineFits(&a[2], &b[3], &c[0]) != 1 || Geo_IntersectLineFits(&a[2], &b[2], &c[1]) != 1 ||
        Geo_IntersectLineFits(&a[3], &b[2], &c[2]) != 1 || Geo_IntersectLineFits(&a[3], &b[3], &c[3]) != 1) {
        return 0;
    }
    i64 sx = 0, sy = 0;
    for (const GEO_POINT &q : c) {
        sx += q.x;
        sy += q.y;
    }
    p[8] = {static_cast<i32>(sx / 4), static_cast<i32>(sy / 4)};
    return 1;
}

// Takes the finder's six column and six row lines: 1 when both sets show the pattern.
int TakeFinderLines(MQR_STATE *s) {
    const MQR_EDGE_LINE *cols[7] = {}, *rows[7] = {};
    if (MQR_TakeSortedLines(&s->columnEdges, cols) < 7 || MQR_TakeSortedLines(&s->rowEdges, rows) < 7) return 0;
    i32 ck[7], rk[7];
    for (i32 k = 0; k < 7; ++k) {
        ck[k] = cols[k]->key;
        rk[k] = rows[k]->key;
    }
    const i32 i = MQR_FinderSpacing(ck, rk);
    if (i < 0) return 0;
    for (i32 k = 0; k < 6; ++k) {
        s->finderColumns[k] = cols[i + k]->line;
        s->finderRows[k] = rows[i + k]->line;
    }
    return 1;
}

}  // namespace

int MQR_InitGridState(MQR_STATE *s, const MQR_LOCATE *loc) {
    if (s == nullptr || loc == nullptr) return 0;
    *s = MQR_STATE{};
    s->polarity = loc->polarity;
    s->moduleSize = static_cast<i32>(loc->moduleEstimate + 0.4f);
    const GEO_POINT image[5] = {loc->corners[0], loc->corners[1], loc->corners[2], loc->corners[3], loc->centre};
    s->halfFit.outInt = &s->halfToImage;
    s->halfFit.scale = kGridScale;
    s->inverseFit.outFloat = &s->imageToHalf;
    s->moduleFit.outInt = &s->moduleToImage;
    s->moduleFit.scale = kGridScale;
    s->moduleFit.reset = 1;
    if (AddAndSolve(&s->halfFit, kOutlineHalf, image, 5, 1, false) != 1) return 0;
    return AddAndSolve(&s->inverseFit, image, kOutlineHalf, 5, 1, true);
}

int MQR_ScanEdges(MQR_EDGE_SCAN *scan) {
    if (scan == nullptr || scan->samples == nullptr || scan->inverse == nullptr || scan->points == nullptr) return 0;
    scan->pointCount = 0;
    Geo_ClipSegment(&scan->start, &scan->end, static_cast<i32>(g_frame.width) * 16, static_cast<i32>(g_frame.height) * 16);
    const GEO_POINT &p = scan->start, &q = scan->end;
    const i32 n = scan->subpixel != 0
                      ? Geo_SampleLine16(p.x, p.y, q.x, q.y, scan->samples, scan->sampleCapacity)
                      : Geo_SampleLineBresenham(p.x / 16, p.y / 16, q.x / 16, q.y / 16, scan->samples, scan->sampleCapacity);
    i32 rising[64], falling[64];
    PROFILE_REQUEST req{};
    req.samples = scan->samples;
    req.count = n;
    req.ratio = 0;
    req.minStep = scan->minStep;
    req.risingPositions = rising;
    req.risingCapacity = 64;
    req.fallingPositions = falling;
    req.fallingCapacity = 64;
    Prof_FindEdgesRec(&req);
    const i32 nr = req.risingFound < 64 ? req.risingFound : 64, nf = req.fallingFound < 64 ? req.fallingFound : 64;
    if (nr + nf <= 0) return 0;
    const PERSPECTIVE_F &t = *scan->inverse;
    for (i32 k = 0; k < nr + nf && scan->pointCount < scan->pointCapacity; ++k) {
        SEGMENT_STEP step{p.x, p.y, q.x, q.y, k < nr ? rising[k] : falling[k - nr], 0, 0};
        Geo_SegmentPointAt(&step);
        const f32 x = static_cast<f32>(step.outX), y = static_cast<f32>(step.outY);
        const f32 den = t.c[6] * x + t.c[7] * y + t.c[8];
        const f32 num = scan->axis == 1 ? t.c[3] * x + t.c[4] * y + t.c[5] : t.c[0] * x + t.c[1] * y + t.c[2];
        if (den == 0.0f) continue;
        const f32 value = num / den;
        if (!(value > -1e6f && value < 1e6f)) continue;
        scan->points[scan->pointCount++] = {{step.outX, step.outY}, static_cast<i32>(value + 0.4f), 1};
    }
    return 1;
}

int MQR_EdgeLineAdd(MQR_EDGE_LINE *line, MQR_EDGE_POINT *p) {
    if (line == nullptr || p == nullptr || p->kind != 1) return 0;
    const i32 x = p->position.x, y = p->position.y;
    if (line->count <= 0) {
        line->key = p->key;
        line->minX = line->maxX = x;
        line->minY = line->maxY = y;
        Geo_LineFitAdd(&x, &y, 1, line->yOfX.matrix, line->yOfX.right, 1);
        Geo_LineFitAdd(&y, &x, 1, line->xOfY.matrix, line->xOfY.right, 1);
        line->count = 1;
    } else {
        if (line->key != p->key) return 0;
        line->minX = x < line->minX ? x : line->minX;
        line->maxX = x > line->maxX ? x : line->maxX;
        line->minY = y < line->minY ? y : line->minY;
        line->maxY = y > line->maxY ? y : line->maxY;
        Geo_LineFitAdd(&x, &y, 1, line->yOfX.matrix, line->yOfX.right, 0);
        Geo_LineFitAdd(&y, &x, 1, line->xOfY.matrix, line->xOfY.right, 0);
        ++line->count;
    }
    line->fitted = 0;
    return 1;
}

int MQR_EdgeLineFit(MQR_EDGE_LINE *line) {
    if (line == nullptr) return 0;
    if (line->fitted == 1) return 1;
    if (line->count < 3) return 0;
    const i32 alongX = static_cast<i64>(line->maxX) - line->minX > static_cast<i64>(line->maxY) - line->minY ? 1 : 0;
    const LINE_SUMS &sums = alongX == 1 ? line->yOfX : line->xOfY;
    f32 out[2];
    if (Geo_LineFitSolve(sums.matrix, sums.right, out) != 1) return 0;
    line->fitted = 1;
    line->slope = out[0];
    line->offset = out[1];
    line->line = {out[0], out[1], alongX};
    if (alongX == 1) {
        line->dirX = 10000;
        line->dirY = Num_SatTruncI32(10000.0 * out[0] + 0.4);
    } else {
        line->dirX = Num_SatTruncI32(-10000.0 * out[0] + 0.4);
        line->dirY = -10000;
    }
    return 1;
}

i32 MQR_CollectEdgeLines(MQR_LINE_SCAN *q) {
    if (q == nullptr || q->forward == nullptr || q->inverse == nullptr) return 0;
    u8 *samples = QR_WorkBuffer();
    if (samples == nullptr) return q->lineCount;
    MQR_EDGE_POINT points[kMqrScanPoints];
    const i32 from = q->axis == 0 ? q->vFrom : q->uFrom, to = q->axis == 0 ? q->vTo : q->uTo;
    const i32 step = to < from ? -1 : 1;
    const i32 lo = q->axis == 0 ? q->uFrom : q->vFrom, hi = q->axis == 0 ? q->uTo : q->vTo;
    for (i32 t = from; t != to; t += step) {
        // A line along a module boundary reads half of each neighbour: its mid-grey steps
        // are no edges. Only the lines through module centres are scanned.
        if ((t & 1) == 0) continue;
        MQR_EDGE_SCAN scan{};
        const i32 sx = q->axis == 0 ? q->uFrom : t, sy = q->axis == 0 ? t : q->vFrom;
        const i32 ex = q->axis == 0 ? q->uTo + 1 : t, ey = q->axis == 0 ? t : q->vTo + 1;
        if (Geo_MapPointPerspective(q->forward, sx, sy, &scan.start.x, &scan.start.y) != 1 ||
            Geo_MapPointPerspective(q->forward, ex, ey, &scan.end.x, &scan.end.y) != 1) {
            continue;
        }
        scan.axis = q->axis;
        scan.subpixel = q->subpixel;
        scan.inverse = q->inverse;
        scan.samples = samples;
        scan.sampleCapacity = kMqrScanSamples;
        scan.minStep = kEdgeMinStep;
        scan.points = points;
        scan.pointCapacity = kMqrScanPoints;
        if (MQR_ScanEdges(&scan) != 1) continue;
        for (i32 k = 0; k < scan.pointCount; ++k) {
            MQR_EDGE_POINT &p = points[k];
            if (p.kind != 1 || p.key < lo || p.key > hi || q->lines == nullptr) continue;
            for (i32 j = 0; j < q->lineCapacity; ++j) {
                if (MQR_EdgeLineAdd(&q->lines[j], &p) != 1) continue;
                p.kind = 0;
                if (j == q->lineCount) ++q->lineCount;
                break;
            }
        }
    }
    return q->lineCount;
}

int MQR_FitColumnLines(MQR_STATE *s, i32 a, i32 b, i32 c, i32 d, i32 e) {
    if (s == nullptr) return 0;
    return FitEdgeSet(s, &s->columnEdges, 0, a + c, a + d, b - e, b + e + 1, a, b);
}

int MQR_FitRowLines(MQR_STATE *s, i32 a, i32 b, i32 c, i32 d, i32 e) {
    if (s == nullptr) return 0;
    return FitEdgeSet(s, &s->rowEdges, 1, a - e, a + e + 1, b + c, b + d, a, b);
}

i32 MQR_TakeSortedLines(MQR_EDGE_SET *set, const MQR_EDGE_LINE *out[7]) {
    if (set == nullptr || out == nullptr) return -1;
    const i32 lines = set->count < kMqrEdgeLines ? set->count : kMqrEdgeLines;
    // Lines of one or two points are never fitted and take no part: the entries to take
    // are counted among the fitted lines.
    i32 fitted = 0;
    for (i32 k = 0; k < lines; ++k) fitted += set->lines[k].fitted == 1 && set->lines[k].key < 256 ? 1 : 0;
    const i32 want = fitted < 7 ? fitted : 7;
    for (i32 t = 0; t < want; ++t) {
        MQR_EDGE_LINE *best = nullptr;
        for (i32 k = 0; k < lines; ++k) {
            MQR_EDGE_LINE &l = set->lines[k];
            if (l.fitted == 1 && l.key < 256 && (best == nullptr || l.key < best->key)) best = &l;
        }
        if (best == nullptr) return t > 0 ? t : -1;
        best->fitted = 0;
        out[t] = best;
    }
    if (want == 6) out[6] = out[5];
    return want == 6 ? 7 : want;
}

i32 MQR_ShowsFinder(const i32 *k, i32 i) {
    if (k == nullptr || i < 0) return 0;
    const i32 d0 = k[i + 1] - k[i], d1 = k[i + 2] - k[i + 1], d2 = k[i + 3] - k[i + 2];
    const i32 d3 = k[i + 4] - k[i + 3], d4 = k[i + 5] - k[i + 4];
    return d0 <= 3 && d1 <= 3 && d2 >= 5 && d2 <= 7 && d3 <= 3 && d4 <= 3 ? 1 : 0;
}

i32 MQR_FinderSpacing(const i32 ck[7], const i32 rk[7]) {
    const i32 i = ck[1] - ck[0] > 3 || ck[3] - ck[2] < 5 || ck[3] - ck[2] > 7 ? 1 : 0;
    return MQR_ShowsFinder(ck, i) == 1 && MQR_ShowsFinder(rk, i) == 1 ? i : -1;
}

int MQR_FitGrid(MQR_STATE *s) {
    if (s == nullptr) return 0;
    ClearSet(&s->columnEdges);
    ClearSet(&s->rowEdges);
    if (MQR_FitColumnLines(s, -1, 7, -1, 17, 7) != 1 || s->columnEdges.count <= 5) return 0;
    if (MQR_FitRowLines(s, 7, -1, -1, 17, 7) != 1 || s->rowEdges.count <= 5) return 0;
    if (TakeFinderLines(s) != 1) return 0;
    GEO_POINT p[9];
    if (FinderPoints(s->finderColumns, s->finderRows, p) != 1) return 0;
    WriteOutline(p, s->moduleSize);
    if (AddAndSolve(&s->moduleFit, kFinderModule, p, 9, 1, false) != 1 ||
        AddAndSolve(&s->halfFit, kFinderHalf, p, 9, 1, false) != 1 ||
        AddAndSolve(&s->inverseFit, p, kFinderHalf, 9, 1, true) != 1) {
        return 0;
    }
    ClearSet(&s->columnEdges);
    ClearSet(&s->rowEdges);
    if (MQR_FitColumnLines(s, 13, 13, 1, 9, 13) != 1 || MQR_FitRowLines(s, 13, 13, 1, 9, 13) != 1) return 1;
    GridPoints g{};
    const LINE_FIT *A = s->finderColumns, *B = s->finderRows;
    for (i32 j = 0; j < 4; ++j) {
        const i32 a = 14 + 2 * j, b = 16 + 2 * j;
        const LINE_FIT *ca = LineWithKey(s->columnEdges, a), *cb = LineWithKey(s->columnEdges, b);
        const LINE_FIT *ra = LineWithKey(s->rowEdges, a), *rb = LineWithKey(s->rowEdges, b);
        GEO_POINT q{};
        if (ca != nullptr && cb != nullptr && MidOfCrossings(*ca, B[0], *cb, B[1], &q) == 1) Push(&g, q, 7 + j, 0);
        if (ra != nullptr && rb != nullptr && MidOfCrossings(*ra, A[0], *rb, A[1], &q) == 1) Push(&g, q, 0, 7 + j);
        PushDiagonal(s, &g, a, b, 7 + j);
    }
    AddGridPoints(s, g);
    return 1;
}

int MQR_ExtendGrid(MQR_STATE *s, i32 k) {
    if (s == nullptr) return 0;
    ClearSet(&s->columnEdges);
    ClearSet(&s->rowEdges);
    GEO_POINT o{}, rx{}, cy{};
    if (Geo_MapPointPerspective(&s->moduleToImage, 0, 0, &o.x, &o.y) != 1 ||
        Geo_MapPointPerspective(&s->moduleToImage, 20, 0, &rx.x, &rx.y) != 1 ||
        Geo_MapPointPerspective(&s->moduleToImage, 0, 20, &cy.x, &cy.y) != 1) {
        return 0;
    }
    LINE_FIT row0{}, col0{};
    Geo_LineThroughPoints(&o, &rx, &row0);
    Geo_LineThroughPoints(&o, &cy, &col0);
    if (MQR_FitColumnLines(s, 2 * k + 1, 13, 1, 9, 13) != 1 || MQR_FitRowLines(s, 13, 2 * k + 1, 1, 9, 13) != 1) return 1;
    GridPoints g{};
    for (i32 j = 0; j < 4; ++j) {
        const i32 a = 2 * k + 2 + 2 * j, b = 2 * k + 4 + 2 * j;
        const LINE_FIT *ca = LineWithKey(s->columnEdges, a), *cb = LineWithKey(s->columnEdges, b);
        const LINE_FIT *ra = LineWithKey(s->rowEdges, a), *rb = LineWithKey(s->rowEdges, b);
        GEO_POINT q{};
        if (ca != nullptr && cb != nullptr && MidOfCrossings(*ca, row0, *cb, row0, &q) == 1) Push(&g, q, k + 1 + j, 0);
        if (ra != nullptr && rb != nullptr && MidOfCrossings(*ra, col0, *rb, col0, &q) == 1) Push(&g, q, 0, k + 1 + j);
        PushDiagonal(s, &g, a, b, k + 1 + j);
    }
    AddGridPoints(s, g);
    return 1;
}

}  // namespace vexo
