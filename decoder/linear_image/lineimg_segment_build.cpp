#include "linear_image/lineimg_segment_build.h"

#include "linear_image/lineimg_edge_trace.h"
#include "toolkit/geometry_points.h"

namespace vexo {

namespace {

// Two traces whose angles differ by more than this bend apart.
constexpr i32 kBendLimit = 9;
// First ends this close (in x and in y) name the same segment.
constexpr i32 kSameStart = 2;

i64 Abs(i64 v) { return v < 0 ? -v : v; }

// An old segment covers the start point (along, line A) of a new edge when the point lies
// in the span of its end boxes, or within its bounding box and a pixel of its line. The
// box spans are tested with line B, as the traced edge reaches it first.
bool Covered(const LINE_SEGMENT &s, i32 along, i32 lineA, i32 lineB, u8 columns) {
    const i16 *e = s.endBox;
    // Row pair: x runs along the lines, y across; a column pair swaps the roles.
    const i32 loA0 = columns != 0 ? e[2] : e[0], hiA0 = columns != 0 ? e[3] : e[1];
    const i32 loA1 = columns != 0 ? e[6] : e[4], hiA1 = columns != 0 ? e[7] : e[5];
    const i32 loC0 = columns != 0 ? e[0] : e[2], hiC0 = columns != 0 ? e[1] : e[3];
    const i32 loC1 = columns != 0 ? e[4] : e[6], hiC1 = columns != 0 ? e[5] : e[7];
    if (loA0 <= along && along <= hiA1 && loC0 < lineB && lineB < hiC1) return true;
    if (loA1 <= along && along <= hiA0 && loC1 < lineB && lineB < hiC0) return true;
    const i32 minAlong = columns != 0 ? s.box[2] : s.box[0], maxAlong = columns != 0 ? s.box[3] : s.box[1];
    const i32 minAcross = columns != 0 ? s.box[0] : s.box[2], maxAcross = columns != 0 ? s.box[1] : s.box[3];
    if (along < minAlong || along > maxAlong || lineB < minAcross || lineB > maxAcross) return false;
    const GEO_POINT e0 = {s.x0, s.y0};
    const GEO_POINT e1 = {s.x1, s.y1};
    const GEO_POINT p = columns != 0 ? GEO_POINT{lineA, along} : GEO_POINT{along, lineA};
    const i64 c = Geo_TurnCross(&e0, &e1, &p);
    return (c < 0 ? -c : c) <= s.length;
}

// The point of an edge position on one of the two lines; false when a refit edge lies
// beyond its line's samples.
bool EdgePoint(const SEGMENT_BUILD &b, i32 position, i32 line, int second, GEO_POINT *out) {
    if (b.refit != 0) {
        const i32 k = position >> 4;
        const SAMPLED_LINE_PAIR &l = *b.lines;
        const i32 count = second != 0 ? l.countB : l.countA;
        const i32 *xs = second != 0 ? l.xB : l.xA;
        const i32 *ys = second != 0 ? l.yB : l.yA;
        if (xs == nullptr || ys == nullptr || k < 0 || k >= count) return false;
        *out = GEO_POINT{xs[k], ys[k]};
        return true;
    }
    const i32 along = b.lineStart + ((position + 8) >> 4);
    *out = b.columns != 0 ? GEO_POINT{line, along} : GEO_POINT{along, line};
    return true;
}

int Trace(const SEGMENT_BUILD &b, EDGE_TRACE *t, GEO_POINT a, GEO_POINT p, i32 flag, i32 shift) {
    t->a = a;
    t->b = p;
    t->flag = flag;
    t->expectedShift = shift;
    t->ratio = b.ratio;
    return b.trace(t);
}

// Traces up (left) from the pair and then down (right) from the upper end; a bent lower
// half is given up for the longer of the two traces. False when neither direction goes.
bool TraceSegment(const SEGMENT_BUILD &b, EDGE_TRACE *t, GEO_POINT a, GEO_POINT p, GEO_POINT *e0, GEO_POINT *e1) {
    const i32 d = b.columns != 0 ? a.y - p.y : a.x - p.x;
    if (Trace(b, t, a, p, 1, d) != 0) {
        const GEO_POINT top = t->end0;
        const GEO_POINT bottom = t->end1;
        const i32 upCount = t->count;
        const i32 a1 = LineImg_SegmentAngle(&top, &bottom);
        *e0 = top;
        *e1 = bottom;
        if (Trace(b, t, top, bottom, 0, -d) != 0) {
            *e1 = t->end1;
            const i32 a2 = LineImg_SegmentAngle(&top, e1);
            if (Abs(a1 - a2) > kBendLimit) {
                if (upCount > t->count) {
                    *e1 = p;
                } else {
                    *e0 = a;
                }
            }
        }
        return true;
    }
    if (Trace(b, t, a, p, 0, -d) == 0) return false;
    *e0 = t->end0;
    *e1 = t->end1;
    return true;
}

// Stores a traced segment: an old one starting at the same place is lengthened when it is
// shorter than the new one's extent, else the new one is appended. The new length, or -1
// when nothing was stored.
i32 StoreSegment(const SEGMENT_BUILD &b, SEGMENT_STORE *store, i32 old, GEO_POINT e0, GEO_POINT e1) {
    if (b.refit == 0) {
        for (i32 j = 0; j < old; ++j) {
            LINE_SEGMENT &s = store->seg[j];
            if (Abs(static_cast<i64>(s.x0) - e0.x) > kSameStart || Abs(static_cast<i64>(s.y0) - e0.y) > kSameStart) continue;
            const i32 extent = b.columns != 0 ? e1.x - e0.x : e1.y - e0.y;
            if (s.length >= extent) return -1;
            LineImg_SetSegment(&s, e0, e1, b.margin, 0);
            return s.length;
        }
    }
    if (store->count >= kSegmentCapacity) return -1;
    LINE_SEGMENT &s = store->seg[store->count++];
    LineImg_SetSegment(&s, e0, e1, b.margin, 1);
    return s.length;
}

}  // namespace

int LineImg_BuildSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, const SEGMENT_BUILD *b) {
    if (meanOut != nullptr) *meanOut = 0;
    if (pairing == nullptr || store == nullptr || b == nullptr || (b->refit != 0 && b->lines == nullptr)) return 1;
    if (store->count < 0 || store->count > kSegmentCapacity) store->count = 0;
    const i32 n = pairing->matchCount < pairing->capacity ? pairing->matchCount : pairing->capacity;
    if (n < 1 || pairing->matchA == nullptr || pairing->matchB == nullptr || pairing->posA == nullptr ||
        pairing->posB == nullptr) {
        return 1;
    }
    EDGE_TRACE t{};
    if (LineImg_AttachTraceScratch(&t, b->scratch) == 0) return 1;
    const i32 step = n >> 2 < 2 ? 2 : (n >> 2 > 3 ? 3 : n >> 2);
    const i32 old = store->count;
    i64 sum = 0;
    i32 found = 0;
    for (i32 i = 0; i < n;) {
        const i32 ia = pairing->matchA[i];
        const i32 ib = pairing->matchB[i];
        if (ia < 0 || ia >= pairing->countA || ib < 0 || ib >= pairing->countB) {
            i += step;
            continue;
        }
        const i32 posA = pairing->posA[ia];
        if (b->refit == 0) {
            const i32 along = b->lineStart + (posA >> 4);
            bool covered = false;
            for (i32 j = 0; j < old && !covered; ++j)
                covered = Covered(store->seg[j], along, pairing->lineA, pairing->lineB, b->columns);
            if (covered) {
                ++i;
                continue;
            }
        }
        if (store->count >= kSegmentCapacity) break;
        GEO_POINT a, p, e0, e1;
        if (EdgePoint(*b, posA, pairing->lineA, 0, &a) && EdgePoint(*b, pairing->posB[ib], pairing->lineB, 1, &p) &&
            TraceSegment(*b, &t, a, p, &e0, &e1)) {
            const i32 length = StoreSegment(*b, store, old, e0, e1);
            if (length >= 0) {
                sum += length;
                ++found;
            }
        }
        i += step;
    }
    if (meanOut != nullptr && found > 0) *meanOut = static_cast<i32>(sum / found);
    return 1;
}

}  // namespace vexo
