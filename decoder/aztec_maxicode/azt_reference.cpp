// The reference grid of full-range symbols: the lines' positions for a size, their curves
// traced outwards from the central crossing, and the modules sampled patch by patch, each
// patch through a transform fitted to the crossings of the curves around it.
#include "aztec_maxicode/azt_symbol.h"
#include "core/pixel.h"

namespace vexo {

AZT_REFERENCE_GRID g_aztReference{};

namespace {

constexpr i32 kPatchFitScale = 1 << 20;

AZT_CURVE *Line(int horizontal, int k) {
    return horizontal != 0 ? &g_aztReference.horizontal[k] : &g_aztReference.vertical[k];
}

// Seed (u, v) of line k of a family: on the other family's central line.
void SeedOf(int horizontal, int k, i32 seed[2]) {
    const i32 c = g_aztReference.positions[g_aztReference.count >> 1];
    seed[0] = horizontal != 0 ? c : g_aztReference.positions[k];
    seed[1] = horizontal != 0 ? g_aztReference.positions[k] : c;
}

int TraceLine(const PERSPECTIVE *t, int horizontal, int k) {
    i32 seed[2];
    SeedOf(horizontal, k, seed);
    AZT_CURVE *curve = Line(horizontal, k);
    curve->valid = Azt_TraceReferenceLine(t, seed, horizontal, curve);
    return curve->valid;
}

// The symbol's own pairs afresh plus the central lines' points at the neighbours.
int RefitSymbol(AZT_SYMBOL *s) {
    const i32 m = g_aztReference.count >> 1;
    const i32 *L = g_aztReference.positions;
    const i32 c = L[m];
    GEO_POINT image[4], grid[4];
    i32 e = 0;
    for (int horizontal = 1; horizontal >= 0; --horizontal) {
        const AZT_CURVE *curve = Line(horizontal, m);
        if (curve->valid != 1) continue;
        for (int side = -1; side <= 1; side += 2) {
            const i32 at = L[m + side];
            if (Azt_EvalCurve(curve, at, &image[e].x, &image[e].y) == 0) continue;
            grid[e] = horizontal != 0 ? GEO_POINT{at, c} : GEO_POINT{c, at};
            ++e;
        }
    }
    if (s->pairCount < 0 || s->pairCount > 9) return 0;
    PERSPECTIVE_FIT &f = s->fitInt;
    f.to = s->image;
    f.from = s->grid;
    f.count = s->pairCount;
    f.reset = 1;
    f.outInt = &s->toImage;
    f.scale = kPatchFitScale;
    int ok = Geo_FitPerspectiveInt(&f, e == 0 ? 1 : 0);
    if (e > 0) {
        f.to = image;
        f.from = grid;
        f.count = e;
        f.reset = 0;
        ok = Geo_FitPerspectiveInt(&f, 1);
        f.to = s->image;
        f.from = s->grid;
        f.count = s->pairCount;
    }
    return ok;
}

// An edge entry of the patch tables: both curves predicted from the other family.
void PredictEdge(int at, AZT_PATCH_TABLES *tables, int k) {
    const AZT_REFERENCE_GRID &R = g_aztReference;
    AZT_CURVE_FIT fit{};
    fit.curve = &tables->horizontal[k];
    tables->horizontal[k].valid = Azt_PredictCurve(R.vertical, R.positions, at, R.count, &fit);
    fit = AZT_CURVE_FIT{};
    fit.curve = &tables->vertical[k];
    tables->vertical[k].valid = Azt_PredictCurve(R.horizontal, R.positions, at, R.count, &fit);
    tables->positions[k] = at;
}

}  // namespace

void Azt_SetReferenceLines(int size) {
    AZT_REFERENCE_GRID &R = g_aztReference;
    R.count = 0;
    if (size <= 0) return;
    if (size <= 36) {
        R.count = 1;
        R.positions[0] = size / 2;
        return;
    }
    const int n = ((size - 1) >> 4) & ~1;
    if (n > kAztReferenceLines - 1) return;
    R.count = n + 1;
    for (int k = 0; k <= n; ++k) R.positions[k] = ((size - 1) % 32) / 2 + 16 * k;
}

int Azt_IsReferencePosition(int coordinate) {
    const AZT_REFERENCE_GRID &R = g_aztReference;
    for (int k = 0; k < R.count && k < kAztReferenceLines; ++k)
        if (R.positions[k] == coordinate) return 1;
    return 0;
}

int Azt_ReferenceTraceOrder(int count, i32 order[][2]) {
    if (order == nullptr || count < 5 || count > kAztReferenceLines) return 0;
    int n = 0;
    for (int step = 5; step <= count; step += 2) {
        const i32 k1 = (count - step) / 2, k2 = (count + step) / 2 - 1;
        const i32 lines[4][2] = {{1, k1}, {1, k2}, {0, k1}, {0, k2}};
        for (const auto &l : lines) {
            order[n][0] = l[0];
            order[n][1] = l[1];
            ++n;
        }
    }
    return n;
}

int Azt_TraceReferenceGrid() {
    AZT_REFERENCE_GRID &R = g_aztReference;
    if (R.count < 1 || R.count > kAztReferenceLines) return 0;
    if (R.count == 1) return 1;
    AZT_SYMBOL *s = g_aztDriver.current;
    if (s == nullptr) return 0;
    for (int k = 0; k < kAztReferenceLines; ++k) {
        R.horizontal[k].valid = 0;
        R.vertical[k].valid = 0;
    }
    const int m = R.count >> 1;
    TraceLine(&s->toImage, 1, m);
    TraceLine(&s->toImage, 0, m);
    if (RefitSymbol(s) == 0) return 0;
    for (int horizontal = 1; horizontal >= 0; --horizontal) {
        TraceLine(&s->toImage, horizontal, m - 1);
        TraceLine(&s->toImage, horizontal, m + 1);
    }
    i32 order[kAztReferenceLines * 2][2];
    const int steps = Azt_ReferenceTraceOrder(R.count, order);
    const i32 c = R.positions[m];
    for (int i = 0; i < steps; ++i) {
        const int horizontal = order[i][0], k = order[i][1];
        AZT_CURVE_FIT fit{};
        fit.curve = Line(horizontal, k);
        const AZT_CURVE *crossing = horizontal != 0 ? R.vertical : R.horizontal;
        if (Azt_PredictCurve(crossing, R.positions, R.positions[k], R.count, &fit) == 1)
            Azt_GrowCurve(&fit, c, 0);
        else
            TraceLine(&s->toImage, horizontal, k);
    }
    return 1;
}

int Azt_TraceReferenceLine(const PERSPECTIVE *t, const i32 seed[2], int horizontal, AZT_CURVE *curve) {
    if (t == nullptr || seed == nullptr || curve == nullptr || g_aztReference.count <= 0) return 0;
    if (Azt_IsReferencePosition(horizontal != 0 ? seed[1] : seed[0]) == 0) return 0;
    return Azt_SeedCurve(t, seed, horizontal, curve);
}

int Azt_SeedCurve(const PERSPECTIVE *t, const i32 seed[2], int horizontal, AZT_CURVE *curve) {
    if (t == nullptr || seed == nullptr || curve == nullptr) return 0;
    static constexpr i32 kOffsets[4] = {-8, -4, 4, 8};
    i32 xs[4], ys[4], ts[4];
    for (int k = 0; k < 4; ++k) {
        const i32 u = seed[0] + (horizontal != 0 ? kOffsets[k] : 0);
        const i32 v = seed[1] + (horizontal != 0 ? 0 : kOffsets[k]);
        if (Geo_MapPointPerspective(t, u, v, &xs[k], &ys[k]) == 0) return 0;
        ts[k] = horizontal != 0 ? u : v;
    }
    AZT_CURVE_FIT fit{};
    fit.xs = xs;
    fit.ys = ys;
    fit.ts = ts;
    fit.count = 4;
    fit.curve = curve;
    if (Azt_FitCurve(&fit) == 0) return 0;
    return Azt_GrowCurve(&fit, horizontal != 0 ? seed[0] : seed[1], 1);
}

int Azt_PredictCurve(const AZT_CURVE crossing[], const i32 positions[], int at, int count, AZT_CURVE_FIT *fit) {
    if (fit == nullptr || fit->curve == nullptr) return 0;
    fit->keep = 0;
    fit->count = 0;
    fit->curve->valid = 0;
    if (crossing == nullptr || positions == nullptr || count < 0 || count > kAztPatchEntries) return 0;
    i32 xs[kAztPatchEntries], ys[kAztPatchEntries], ts[kAztPatchEntries];
    i32 n = 0;
    for (int i = 0; i < count; ++i) {
        if (Azt_EvalValidCurve(&crossing[i], at, &xs[n], &ys[n]) == 0) continue;
        ts[n++] = positions[i];
    }
    // Two points leave the parabola undetermined.
    if (n < 3) return 0;
    if (Azt_FitCurvePoints(fit, xs, ys, ts, n, 0) == 0) return 0;
    return 1;
}

int Azt_GrowCurve(AZT_CURVE_FIT *fit, int t0, int replaceFirst) {
    if (fit == nullptr || fit->curve == nullptr || fit->curve->valid != 1) return 0;
    const AZT_CURVE saved = *fit->curve;
    // The copy shares the curve: the upward extension predicts from what the downward left.
    AZT_CURVE_FIT up = *fit;
    const int ok = Azt_ExtendCurveDown(fit, t0, replaceFirst) == 1 && Azt_ExtendCurveUp(&up, t0, replaceFirst) == 1 &&
                   Azt_MergeCurveFits(fit, &up) == 1;
    if (ok) return 1;
    *fit->curve = saved;
    return 0;
}

int Azt_FitCurve(AZT_CURVE_FIT *fit) {
    if (fit == nullptr || fit->curve == nullptr) return 0;
    const i32 reset = fit->keep == 0 ? 1 : 0;
    if (reset != 0) *fit->curve = AZT_CURVE{};
    if (Geo_QuadraticFitAdd(fit->ts, fit->xs, fit->count, fit->xMatrix, fit->xRight, reset) == 0) return 0;
    if (Geo_QuadraticFitAdd(fit->ts, fit->ys, fit->count, fit->yMatrix, fit->yRight, reset) == 0) return 0;
    return Azt_SolveCurve(fit);
}

int Azt_FitCurvePoints(AZT_CURVE_FIT *fit, const i32 *xs, const i32 *ys, const i32 *ts, i32 n, i32 keep) {
    if (fit == nullptr) return 0;
    fit->xs = xs;
    fit->ys = ys;
    fit->ts = ts;
    fit->count = n;
    fit->keep = keep;
    const int ok = Azt_FitCurve(fit);
    // The arrays are the caller's; later fits add to the sums.
    fit->xs = fit->ys = fit->ts = nullptr;
    fit->count = 0;
    fit->keep = 1;
    return ok;
}

int Azt_SolveCurve(AZT_CURVE_FIT *fit) {
    if (fit == nullptr || fit->curve == nullptr) return 0;
    f64 x[3], y[3];
    if (Geo_QuadraticFitSolve(fit->xMatrix, fit->xRight, x) == 0) return 0;
    if (Geo_QuadraticFitSolve(fit->yMatrix, fit->yRight, y) == 0) return 0;
    AZT_CURVE &c = *fit->curve;
    c.ax = x[0];
    c.bx = x[1];
    c.cx = x[2];
    c.ay = y[0];
    c.by = y[1];
    c.cy = y[2];
    c.valid = 1;
    return 1;
}

int Azt_MergeCurveFits(AZT_CURVE_FIT *into, const AZT_CURVE_FIT *from) {
    if (into == nullptr || from == nullptr) return 0;
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            into->xMatrix[r][k] += from->xMatrix[r][k];
            into->yMatrix[r][k] += from->yMatrix[r][k];
        }
        into->xRight[r] += from->xRight[r];
        into->yRight[r] += from->yRight[r];
    }
    return Azt_SolveCurve(into);
}

int Azt_EvalCurve(const AZT_CURVE *c, int t, i32 *x, i32 *y) {
    if (c == nullptr || x == nullptr || y == nullptr) return 0;
    const f64 tt = static_cast<f64>(t);
    *x = Num_SatTruncI32(c->ax * tt * tt + c->bx * tt + c->cx);
    *y = Num_SatTruncI32(c->ay * tt * tt + c->by * tt + c->cy);
    return 1;
}

int Azt_EvalValidCurve(const AZT_CURVE *c, int t, i32 *x, i32 *y) {
    if (c == nullptr || c->valid != 1) return 0;
    return Azt_EvalCurve(c, t, x, y);
}

void Azt_ShiftCurveThrough(const AZT_CURVE *c, int t, i32 x, i32 y, AZT_CURVE *out) {
    if (c == nullptr || out == nullptr) return;
    const f64 tt = static_cast<f64>(t);
    *out = *c;
    out->cx = x - c->ax * tt * tt - c->bx * tt;
    out->cy = y - c->ay * tt * tt - c->by * tt;
}

int Azt_GetStatus() { return g_aztDriver.status; }

int Azt_BuildPatchTables(int size, AZT_PATCH_TABLES *tables) {
    if (tables == nullptr) return 0;
    tables->n = 0;
    const AZT_REFERENCE_GRID &R = g_aztReference;
    if (R.count < 1 || R.count > kAztReferenceLines || size < 2) return 0;
    int n = 0;
    if (R.positions[0] != 0) PredictEdge(0, tables, n++);
    for (int k = 0; k < R.count; ++k, ++n) {
        tables->positions[n] = R.positions[k];
        tables->horizontal[n] = R.horizontal[k];
        tables->vertical[n] = R.vertical[k];
    }
    if (R.positions[R.count - 1] != size - 1) PredictEdge(size - 1, tables, n++);
    tables->n = n;
    return n;
}

int Azt_PatchRanges(int n, i32 ranges[][2]) {
    if (ranges == nullptr || n > kAztPatchEntries) return 0;
    int count = 0;
    for (int i = 0; i < n - 1; i += 2) {
        ranges[count][0] = i;
        ranges[count][1] = i + 2 < n ? i + 2 : n - 1;
        ++count;
    }
    return count;
}

int Azt_SamplePatch(const AZT_PATCH *p) {
    if (p == nullptr || p->horizontal == nullptr || p->vertical == nullptr || p->positions == nullptr ||
        p->grey == nullptr)
        return 0;
    if (p->n < 2 || p->n > kAztPatchEntries || p->size < 2 || p->size > 151) return 0;
    if (p->i < 0 || p->j < 0 || p->i >= p->i2 || p->j >= p->j2 || p->i2 >= p->n || p->j2 >= p->n) return 0;
    if (p->i2 - p->i > 2 || p->j2 - p->j > 2) return 0;
    for (int k = 0; k < p->n; ++k)
        if (p->positions[k] < 0 || p->positions[k] >= p->size || (k > 0 && p->positions[k] <= p->positions[k - 1]))
            return 0;
    PERSPECTIVE transform{};
    PERSPECTIVE_FIT fit{};
    fit.outInt = &transform;
    fit.scale = kPatchFitScale;
    GEO_POINT image[9], grid[9];
    // One family's crossings, then the other's: each crossing enters twice.
    int solved[2] = {0, 0};
    for (int family = 0; family < 2; ++family) {
        i32 e = 0;
        for (int a = family == 0 ? p->i : p->j; a <= (family == 0 ? p->i2 : p->j2); ++a)
            for (int b = family == 0 ? p->j : p->i; b <= (family == 0 ? p->j2 : p->i2); ++b) {
                const AZT_CURVE *curve = family == 0 ? &p->horizontal[a] : &p->vertical[a];
                if (Azt_EvalValidCurve(curve, p->positions[b], &image[e].x, &image[e].y) == 0) continue;
                grid[e] = family == 0 ? GEO_POINT{p->positions[b], p->positions[a]}
                                      : GEO_POINT{p->positions[a], p->positions[b]};
                ++e;
            }
        fit.to = image;
        fit.from = grid;
        fit.count = e;
        fit.reset = family == 0 || solved[0] == 0 ? 1 : 0;
        solved[family] = Geo_FitPerspectiveInt(&fit, 1);
    }
    if (solved[0] == 0 && solved[1] == 0) return 0;
    return Azt_SampleModuleRect(&transform, p->positions[p->j], p->positions[p->i], p->positions[p->j2],
                                p->positions[p->i2], p->grey + p->positions[p->i] * p->size + p->positions[p->j],
                                p->size);
}

int Azt_SampleFullModules(u8 *grey) {
    AZT_SYMBOL *s = g_aztDriver.current;
    if (grey == nullptr || s == nullptr || s->size < 2 || s->size > 151) return 0;
    const AZT_REFERENCE_GRID &R = g_aztReference;
    if (R.count == 1) {
        // The outer modules of the larger small symbols lie furthest from the bulls-eye's edges.
        if (s->size > 26 && Azt_RefineGridFromEdges(s, s->size >> 1, s->size >> 1, 7, 12, 6) == 1)
            for (i32 k = 0; k < s->pairCount && k < 9; ++k)
                Geo_MapPointPerspective(&s->toImage, s->grid[k].x, s->grid[k].y, &s->image[k].x, &s->image[k].y);
        return Azt_SampleSymbolModules(s, grey);
    }
    AZT_PATCH_TABLES tables;
    const int n = Azt_BuildPatchTables(s->size, &tables);
    i32 ranges[kAztPatchEntries][2];
    const int count = Azt_PatchRanges(n, ranges);
    if (count == 0) return 0;
    for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b) {
            const AZT_PATCH patch{tables.horizontal, tables.vertical, tables.positions, n, s->size,
                                  ranges[b][0], ranges[a][0], ranges[b][1], ranges[a][1], grey};
            if (Azt_SamplePatch(&patch) == 0) return 0;
        }
    return 1;
}

}  // namespace vexo
