// Sharpening a located symbol's transform with the module boundaries seen in the image: the
// edges on the mapped rows (columns) of a band are grouped by boundary, each boundary gets
// a line, the lines' directions and their crossings with the band's axis are modelled across
// the band, and the centre lines of three columns and three rows give nine new pairs.
#include <cmath>

#include "aztec_maxicode/azt_symbol.h"
#include "core/pixel.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kProfileEdges = 128;
constexpr i32 kKeyMask = 0x00FFFFF0;
// An edge's grid coordinate becomes a key only while 16 x it fits the key's bits.
constexpr f32 kKeyLimit = 16777216.0f;

i32 SaturateDirection(f64 v) {
    if (!(v > -2.0e9 && v < 2.0e9)) return v > 0 ? 2000000000 : (v < 0 ? -2000000000 : 0);
    return static_cast<i32>(v);
}

// The three centre lines of one axis and their grid labels.
struct AXIS_LINES {
    LINE_FIT line[3];
    i32 label[3];
};

// Boundary models across the fitted tracks.
struct TRACK_MODEL {
    f32 dirX[2];
    f32 dirY[2];
};

int ModelDirections(const AZT_EDGE_TRACK *tracks, TRACK_MODEL *model) {
    i32 keys[kAztTracks], dx[kAztTracks], dy[kAztTracks], w[kAztTracks];
    i32 n = 0;
    for (i32 i = 0; i < kAztTracks; ++i) {
        if (tracks[i].fitted != 1) continue;
        keys[n] = tracks[i].key;
        dx[n] = tracks[i].dirX;
        dy[n] = tracks[i].dirY;
        w[n] = tracks[i].count - 1;
        ++n;
    }
    f32 m[4], r[2];
    if (Geo_LineFitAddWeighted(keys, dx, w, n, m, r, 1) == 0 || Geo_LineFitSolve(m, r, model->dirX) == 0) return 0;
    if (Geo_LineFitAddWeighted(keys, dy, w, n, m, r, 1) == 0 || Geo_LineFitSolve(m, r, model->dirY) == 0) return 0;
    return 1;
}

// A track's direction follows its fit's orientation: (1, slope) or (-slope, -1), so a boundary
// near 45 degrees gets one sign or the other from track to track and a model over them
// averages to nothing. Every direction is turned to run the way the boundaries run through
// the band (along v for mode 0, along u for mode 1).
void AlignDirections(const AZT_SYMBOL *s, int cu, int cv, int e, int mode, AZT_EDGE_TRACK *tracks) {
    GEO_POINT a{}, b{};
    const int ok = mode == 0 ? Geo_MapPointPerspective(&s->toImage, cu, cv - e, &a.x, &a.y) &
                                   Geo_MapPointPerspective(&s->toImage, cu, cv + e, &b.x, &b.y)
                             : Geo_MapPointPerspective(&s->toImage, cu - e, cv, &a.x, &a.y) &
                                   Geo_MapPointPerspective(&s->toImage, cu + e, cv, &b.x, &b.y);
    if (ok == 0) return;
    const i64 rx = static_cast<i64>(b.x) - a.x, ry = static_cast<i64>(b.y) - a.y;
    for (i32 i = 0; i < kAztTracks; ++i) {
        AZT_EDGE_TRACK &t = tracks[i];
        if (t.fitted != 1 || static_cast<i64>(t.dirX) * rx + static_cast<i64>(t.dirY) * ry >= 0) continue;
        t.dirX = -t.dirX;
        t.dirY = -t.dirY;
    }
}

// Collects, models and fits one axis; mode 0 finds the vertical boundaries on rows.
int FitAxis(const AZT_SYMBOL *s, int cu, int cv, int g, int d, int e, int mode, AXIS_LINES *out) {
    AZT_EDGE_TRACK tracks[kAztTracks] = {};
    const int c = mode == 0 ? cu : cv;
    GEO_POINT p1{}, p2{};
    const int ok1 = mode == 0 ? Geo_MapPointPerspective(&s->toImage, cu - d, cv, &p1.x, &p1.y)
                              : Geo_MapPointPerspective(&s->toImage, cu, cv - d, &p1.x, &p1.y);
    const int ok2 = mode == 0 ? Geo_MapPointPerspective(&s->toImage, cu + d, cv, &p2.x, &p2.y)
                              : Geo_MapPointPerspective(&s->toImage, cu, cv + d, &p2.x, &p2.y);
    if (ok1 == 0 || ok2 == 0) return 0;
    AZT_EDGE_REQUEST rq{};
    rq.toImage = &s->toImage;
    rq.toGrid = &s->toGrid;
    rq.mode = mode;
    rq.fine = s->moduleSize < 10 ? 1 : 0;
    rq.edgeRatio = s->edgeRatio;
    rq.minEdgeStep = s->minEdgeStep;
    i32 used = 0;
    for (int side = 0; side < 2; ++side) {
        const int from = side == 0 ? c + g : c - g, to = side == 0 ? c + d : c - d;
        if (mode == 0) {
            rq.vA = cv - e, rq.vB = cv + e, rq.uA = from, rq.uB = to;
        } else {
            rq.uA = cu - e, rq.uB = cu + e, rq.vA = from, rq.vB = to;
        }
        rq.tracks = tracks + used;
        rq.capacity = kAztTracks - used;
        used += Azt_CollectEdgeTracks(&rq);
    }
    for (AZT_EDGE_TRACK &t : tracks) Azt_FitTrackLine(&t);
    AlignDirections(s, cu, cv, e, mode, tracks);
    TRACK_MODEL model{};
    if (ModelDirections(tracks, &model) == 0) return 0;
    i32 keys[kAztTracks], xs[kAztTracks], ys[kAztTracks];
    i32 n = 0;
    for (const AZT_EDGE_TRACK &t : tracks) {
        if (t.fitted != 1 || t.count < 1) continue;
        i64 sx = 0, sy = 0;
        for (i32 i = 0; i < t.count; ++i) {
            sx += t.items[i].x;
            sy += t.items[i].y;
        }
        const GEO_POINT mean{static_cast<i32>(sx / t.count), static_cast<i32>(sy / t.count)};
        const GEO_POINT ahead{mean.x + Geo_LineEval(model.dirX, t.key), mean.y + Geo_LineEval(model.dirY, t.key)};
        GEO_POINT cross{};
        // A boundary whose modelled direction runs along the axis is left out.
        if (Geo_IntersectLines64(&p1, &p2, &mean, &ahead, &cross) != 1) continue;
        keys[n] = t.key;
        xs[n] = cross.x;
        ys[n] = cross.y;
        ++n;
    }
    if (n <= 2) return 0;
    f64 qx[3], qy[3];
    QUADRATIC_FIT fx{xs, keys, n, 1, qx, {}}, fy{ys, keys, n, 1, qy, {}};
    if (Geo_FitQuadratic(&fx) == 0 || Geo_FitQuadratic(&fy) == 0) return 0;
    const i32 at[3] = {16 * (c - d) + 8, 16 * c - 8, 16 * (c + d) - 24};
    for (int i = 0; i < 3; ++i) {
        const GEO_POINT p{Geo_EvalQuadratic(qx, at[i]), Geo_EvalQuadratic(qy, at[i])};
        const GEO_POINT q{p.x + Geo_LineEval(model.dirX, at[i]), p.y + Geo_LineEval(model.dirY, at[i])};
        Geo_LineThroughPoints(&p, &q, &out->line[i]);
        out->label[i] = (at[i] >> 4) + 1;
    }
    return 1;
}

}  // namespace

int Azt_RefineGridFromEdges(AZT_SYMBOL *s, int cu, int cv, int start, int reach, int band) {
    if (s == nullptr) return 0;
    AXIS_LINES columns{}, rows{};
    if (FitAxis(s, cu, cv, start, reach, band, 0, &columns) == 0) return 0;
    if (FitAxis(s, cu, cv, start, reach, band, 1, &rows) == 0) return 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int k = 3 * i + j;
            GEO_POINT p = s->image[k];
            if (Geo_IntersectLineFits(&columns.line[i], &rows.line[j], &p) == 1) s->image[k] = p;
            s->grid[k] = GEO_POINT{columns.label[i], rows.label[j]};
        }
    s->pairCount = 9;
    // Added to the sums of the pairs fitted before.
    s->fitInt.count = 9;
    s->fitInt.reset = 0;
    Geo_FitPerspectiveInt(&s->fitInt, 1);
    s->fitFloat.count = 9;
    s->fitFloat.reset = 0;
    Geo_FitPerspectiveFloat(&s->fitFloat, 1);
    return 1;
}

int Azt_CollectEdgeTracks(AZT_EDGE_REQUEST *r) {
    if (r == nullptr) return 0;
    r->used = 0;
    if (r->tracks == nullptr || r->toImage == nullptr || r->capacity <= 0) return 0;
    const i32 from = r->mode == 0 ? r->vA : r->uA, to = r->mode == 0 ? r->vB : r->uB;
    const i32 step = to > from ? 1 : -1;
    for (i32 at = from; at != to; at += step) {
        AZT_EDGE_ITEM items[kAztSegmentItems];
        AZT_SEGMENT seg{};
        const int ok = r->mode == 0 ? Geo_MapPointPerspective(r->toImage, r->uA, at, &seg.a.x, &seg.a.y) &
                                          Geo_MapPointPerspective(r->toImage, r->uB, at, &seg.b.x, &seg.b.y)
                                    : Geo_MapPointPerspective(r->toImage, at, r->vA, &seg.a.x, &seg.a.y) &
                                          Geo_MapPointPerspective(r->toImage, at, r->vB, &seg.b.x, &seg.b.y);
        if (ok == 0) continue;
        seg.mode = r->mode;
        seg.fine = r->fine;
        seg.items = items;
        seg.toGrid = r->toGrid;
        seg.capacity = kAztSegmentItems;
        seg.scratch = g_aztDriver.scratch;
        seg.scratchLength = kAztScratchBytes;
        seg.edgeRatio = r->edgeRatio;
        seg.minEdgeStep = r->minEdgeStep;
        if (Azt_FindEdgesOnSegment(&seg) != 1) continue;
        for (i32 i = 0; i < seg.count; ++i) {
            for (i32 t = 0; t < r->capacity && items[i].free == 1; ++t) {
                const bool empty = r->tracks[t].count == 0;
                if (Azt_AppendToTrack(&r->tracks[t], &items[i]) == 0) continue;
                items[i].free = 0;
                if (empty && t == r->used) ++r->used;
            }
        }
    }
    return r->used;
}

int Azt_FindEdgesOnSegment(AZT_SEGMENT *seg) {
    if (seg == nullptr) return 0;
    seg->count = 0;
    if (seg->items == nullptr || seg->toGrid == nullptr || seg->scratch == nullptr || seg->scratchLength <= 0) return 0;
    const i32 w16 = static_cast<i32>(g_frame.width) * 16, h16 = static_cast<i32>(g_frame.height) * 16;
    GEO_POINT a = seg->a, b = seg->b;
    Geo_ClipSegment(&a, &b, w16, h16);
    const i32 cap = seg->scratchLength < kAztScratchBytes ? seg->scratchLength : kAztScratchBytes;
    const i32 n = seg->fine != 0 ? Geo_SampleLine16(a.x, a.y, b.x, b.y, seg->scratch, cap)
                                 : Geo_SampleLineBresenham(a.x / 16, a.y / 16, b.x / 16, b.y / 16, seg->scratch, cap);
    i32 rising[kProfileEdges], falling[kProfileEdges];
    PROFILE_REQUEST rq{};
    rq.samples = seg->scratch;
    rq.count = n;
    rq.ratio = seg->edgeRatio;
    rq.minStep = seg->minEdgeStep;
    rq.risingPositions = rising;
    rq.risingCapacity = kProfileEdges;
    rq.fallingPositions = falling;
    rq.fallingCapacity = kProfileEdges;
    if (n < 2) return 0;
    Prof_FindEdgesRec(&rq);
    if (rq.risingFound <= 0 && rq.fallingFound <= 0) return 0;
    const f32 *c = seg->toGrid->c;
    const i32 cap2 = seg->capacity < kAztSegmentItems ? seg->capacity : kAztSegmentItems;
    for (int pass = 0; pass < 2; ++pass) {
        const i32 *pos = pass == 0 ? falling : rising;
        const i32 found = pass == 0 ? rq.fallingFound : rq.risingFound;
        for (i32 i = 0; i < found && i < kProfileEdges && seg->count < cap2; ++i) {
            SEGMENT_STEP st{a.x, a.y, b.x, b.y, pos[i], 0, 0};
            Geo_SegmentPointAt(&st);
            const f32 x = static_cast<f32>(st.outX), y = static_cast<f32>(st.outY);
            const f32 den = c[6] * x + c[7] * y + c[8];
            const f32 num = seg->mode == 0 ? c[0] * x + c[1] * y + c[2] : c[3] * x + c[4] * y + c[5];
            const f32 key = (num / den + 0.04f) * 16.0f;
            // Near a steep perspective's horizon the divisor vanishes: no key for such an edge.
            if (!std::isfinite(key) || !(key > -kKeyLimit && key < kKeyLimit)) continue;
            seg->items[seg->count++] = AZT_EDGE_ITEM{st.outX, st.outY, static_cast<i32>(key), 1};
        }
    }
    return 1;
}

int Azt_FitTrackLine(AZT_EDGE_TRACK *t) {
    if (t == nullptr || t->count < 2 || t->count > kAztTrackItems) return 0;
    const AZT_EDGE_ITEM &first = t->items[0], &last = t->items[t->count - 1];
    const i64 ax = static_cast<i64>(first.x) - last.x, ay = static_cast<i64>(first.y) - last.y;
    const i32 along = (ay < 0 ? -ay : ay) < (ax < 0 ? -ax : ax) ? 1 : 0;
    POINT_NODE nodes[kAztTrackItems];
    for (i32 i = 0; i < t->count; ++i) nodes[i] = POINT_NODE{t->items[i].x, t->items[i].y, i + 1 < t->count ? &nodes[i + 1] : nullptr};
    if (Geo_FitLineToPointList(nodes, t->count, &t->line, along) == 0) return 0;
    t->fitted = 1;
    if (along == 1) {
        t->dirX = 10000;
        t->dirY = SaturateDirection(t->line.slope * 10000.0 + 0.4);
    } else {
        t->dirX = SaturateDirection(-t->line.slope * 10000.0 + 0.4);
        t->dirY = -10000;
    }
    return 1;
}

int Azt_AppendToTrack(AZT_EDGE_TRACK *t, const AZT_EDGE_ITEM *item) {
    if (t == nullptr || item == nullptr) return 0;
    const i32 key = item->key & kKeyMask;
    if (t->count > 10 || t->count < 0) return 0;
    if (t->count > 0 && t->key != key) return 0;
    t->items[t->count++] = *item;
    t->key = key;
    return 1;
}

}  // namespace vexo
