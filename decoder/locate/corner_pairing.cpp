#include "locate/corner_pairing.h"

#include <cmath>

#include "core/pixel.h"
#include "toolkit/geometry.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kMergeAngle = 80;            // 5 degrees
constexpr i64 kMergeGap2 = 9215;           // under 6 pixels
constexpr i64 kContinueGap2 = 147456;      // 24 pixels
constexpr i32 kPairMinAngle = 960;         // 60 degrees
constexpr i32 kPairMaxAngle = 1920;        // 120 degrees
constexpr i32 kDiagonalExtension = 48;     // 3 pixels
constexpr i32 kMinTextureRuns = 6;
constexpr i32 kArmRatio = 5;

i64 Dist2(i32 ax, i32 ay, i32 bx, i32 by) {
    const i64 dx = static_cast<i64>(ax) - bx;
    const i64 dy = static_cast<i64>(ay) - by;
    return dx * dx + dy * dy;
}

POINT_I32 StartOf(const GRADIENT_SEGMENT &s) { return POINT_I32{s.x0, s.y0}; }
POINT_I32 EndOf(const GRADIENT_SEGMENT &s) { return POINT_I32{s.x1, s.y1}; }

bool JoinAgrees(i32 a, const GRADIENT_SEGMENT &x, const GRADIENT_SEGMENT &y) {
    return Loc_AngleDistance(a, x.direction) + Loc_AngleDistance(a, y.direction) <= kMergeAngle;
}

// Merges cand into base when one of its ends faces one of base's; 1 when merged.
bool TryMerge(GRADIENT_SEGMENT *base, const GRADIENT_SEGMENT &cand) {
    if (Loc_AngleDistance(base->direction, cand.direction) > kMergeAngle) return false;
    if (Dist2(base->x0, base->y0, cand.x1, cand.y1) <= kMergeGap2) {
        const i32 a = Loc_DirectionAngle(cand.x0 - base->x1, cand.y0 - base->y1);
        if (!JoinAgrees(a, *base, cand)) return false;
        base->x0 = cand.x0;
        base->y0 = cand.y0;
        base->direction = static_cast<u16>(a);
        return true;
    }
    if (Dist2(base->x1, base->y1, cand.x0, cand.y0) <= kMergeGap2) {
        const i32 a = Loc_DirectionAngle(base->x0 - cand.x1, base->y0 - cand.y1);
        if (!JoinAgrees(a, *base, cand)) return false;
        base->x1 = cand.x1;
        base->y1 = cand.y1;
        base->direction = static_cast<u16>(a);
        return true;
    }
    return false;
}

// d of the pairing's angle test: the directions' difference folded to 0..2880.
i32 PairAngle(const GRADIENT_SEGMENT &p, const GRADIENT_SEGMENT &q) {
    i32 d = static_cast<i32>(p.direction) - q.direction;
    if (d < 0) d += kAngleTurn;
    if (d >= kAngleHalfTurn + 1) d = kAngleTurn - d;
    return d;
}

// Intersection of the lines through p's and q's end points; false when they are parallel
// (a record whose ends coincide, or whose direction disagrees with its ends).
bool LineIntersection(const GRADIENT_SEGMENT &p, const GRADIENT_SEGMENT &q, POINT_I32 *o) {
    const POINT_I32 p0 = StartOf(p), p1 = EndOf(p), q0 = StartOf(q), q1 = EndOf(q);
    return Geo_IntersectLines64(&p0, &p1, &q0, &q1, o) == 1;
}

i64 Cross(i64 ax, i64 ay, i64 bx, i64 by) { return ax * by - ay * bx; }

i32 ArmLength(POINT_I32 a, POINT_I32 o) { return Loc_ApproxRoot(Dist2(a.x, a.y, o.x, o.y)); }

// Monotone runs of the sampled diagonal, as the texture test counts them.
struct TextureRuns {
    i32 runs = 0, total = 0, high = 0, low = 255;
};

// One run from s while S[j + 2] compares with S[j] as `rising` says; answers its end.
i32 FollowRun(const u8 *S, i32 s, i32 n, bool rising, TextureRuns *t) {
    i32 j = s;
    while (j < n && (rising ? S[j + 2] > S[j] : S[j + 2] < S[j])) {
        if (S[j + 1] > t->high) t->high = S[j + 1];
        if (S[j + 1] < t->low) t->low = S[j + 1];
        t->total += rising ? S[j + 2] - S[j] : S[j] - S[j + 2];
        ++j;
    }
    if (j - s >= 2) ++t->runs;
    return j;
}

}  // namespace

i32 Loc_MergeSegments(GRADIENT_SEGMENT *segs, i32 count) {
    if (segs == nullptr || count <= 0) return count;
    // Every merge removes a record, so each base restarts at most count times.
    for (i32 i = 0; i < count; ++i) {
        for (i32 k = i + 1; k < count; ++k) {
            if (!TryMerge(&segs[i], segs[k])) continue;
            segs[k] = segs[count - 1];
            --count;
            k = i;  // compare the grown base with every later record again
        }
    }
    return count;
}

int Loc_SegmentsContinue(const GRADIENT_SEGMENT &a, const GRADIENT_SEGMENT &b) {
    if ((a.x0 == b.x0 && a.y0 == b.y0) || (a.x1 == b.x1 && a.y1 == b.y1)) return 0;
    if (Loc_AngleDistance(a.direction, b.direction) > kMergeAngle) return 0;
    const i64 gap2 = Dist2(a.x1, a.y1, b.x0, b.y0);
    if (gap2 > kContinueGap2) return 0;
    const i64 span2 = Dist2(a.x0, a.y0, b.x1, b.y1);
    if (gap2 > span2 || (a.x0 == b.x1 && a.y0 == b.y1)) return 0;
    const i32 l = Loc_DirectionAngle(a.x0 - b.x1, a.y0 - b.y1);
    return JoinAgrees(l, a, b) ? 1 : 0;
}

int Loc_DiagonalLooksTextured(POINT_I32 a, POINT_I32 b) {
    u8 *S = g_image.buffer2;
    if (S == nullptr || g_image.width <= 0) return 0;
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    const float q = static_cast<float>(dx * dx + dy * dy);
    const i64 len = static_cast<i64>(std::sqrt(static_cast<double>(q)));
    if (len == 0) return 0;
    const i64 ex = dx * kDiagonalExtension / len;
    const i64 ey = dy * kDiagonalExtension / len;
    const i32 c = Geo_SampleRay(static_cast<i32>((a.x - ex) / 16), static_cast<i32>((a.y - ey) / 16),
                                static_cast<i32>((b.x + ex) / 16), static_cast<i32>((b.y + ey) / 16), S, g_image.width);
    const i32 n = c - 2;
    if (n <= 8) return 0;
    TextureRuns t;
    // Every pass moves s forward by at least one sample.
    for (i32 s = 0; s < n;) {
        if (S[s + 2] > S[s]) {
            s = FollowRun(S, s, n, true, &t);
        } else if (S[s + 2] < S[s]) {
            s = FollowRun(S, s, n, false, &t);
        } else {
            ++s;
        }
    }
    return t.runs >= kMinTextureRuns && t.total >= 8 * (t.high - t.low) ? 1 : 0;
}

int Loc_CornerAreaClear(POINT_I32 a, POINT_I32 o, POINT_I32 b, const GRADIENT_SEGMENT *segs, i32 count) {
    const i32 la = ArmLength(a, o);
    const i32 lb = ArmLength(b, o);
    if (la > kArmRatio * lb || lb > kArmRatio * la) return 0;
    if (segs == nullptr || count <= 0) return 1;
    const i32 m = 2 * (la > lb ? la : lb) / 3;
    i64 D = Cross(o.x - static_cast<i64>(a.x), o.y - static_cast<i64>(a.y), b.x - static_cast<i64>(a.x),
                  b.y - static_cast<i64>(a.y));
    const i64 sign = D < 0 ? -1 : 1;
    D *= sign;
    const i64 low = D >> 5;
    const i64 high = D - D / 8;
    auto inside = [&](i32 px, i32 py) {
        const i64 sA = sign * Cross(o.x - static_cast<i64>(a.x), o.y - static_cast<i64>(a.y), px - static_cast<i64>(a.x),
                                    py - static_cast<i64>(a.y));
        const i64 sB = sign * Cross(b.x - static_cast<i64>(o.x), b.y - static_cast<i64>(o.y), px - static_cast<i64>(o.x),
                                    py - static_cast<i64>(o.y));
        return low < sA && sA < high && low < sB && sB < high;
    };
    for (i32 k = 0; k < count; ++k) {
        const GRADIENT_SEGMENT &s = segs[k];
        if (s.length < m) continue;
        if (inside(s.x0, s.y0) || inside(s.x1, s.y1)) return 0;
    }
    return 1;
}

int Loc_OrderAroundCorner(POINT_I32 *p, POINT_I32 o, POINT_I32 *q) {
    const i64 lhs = (static_cast<i64>(p->x) - o.x) * (static_cast<i64>(q->y) - o.y);
    const i64 rhs = (static_cast<i64>(p->y) - o.y) * (static_cast<i64>(q->x) - o.x);
    if (lhs > rhs) return 1;
    const POINT_I32 t = *p;
    *p = *q;
    *q = t;
    return 0;
}

void Loc_SegmentEndPoints(const GRADIENT_SEGMENT &a, const GRADIENT_SEGMENT &b, POINT_I32 *p, POINT_I32 *q) {
    *p = StartOf(a);
    *q = EndOf(b);
}

i32 Loc_PairSegmentsIntoCorners(DM_L_CANDIDATE *out, i32 capacity, const GRADIENT_SEGMENT *segs, i32 count) {
    if (out == nullptr || segs == nullptr || capacity < 1 || count <= 0) return 0;
    i32 written = 0;
    for (i32 i = 0; i < count; ++i) {
        const GRADIENT_SEGMENT &p = segs[i];
        for (i32 k = i + 1; k < count; ++k) {
            const GRADIENT_SEGMENT &q = segs[k];
            const i32 d = PairAngle(p, q);
            if (d < kPairMinAngle || d > kPairMaxAngle) continue;
            POINT_I32 A, B;
            if (Dist2(p.x0, p.y0, q.x1, q.y1) < kContinueGap2) {
                Loc_SegmentEndPoints(q, p, &A, &B);
            } else if (Dist2(p.x1, p.y1, q.x0, q.y0) < kContinueGap2) {
                Loc_SegmentEndPoints(p, q, &A, &B);
            } else {
                continue;
            }
            POINT_I32 O;
            if (!LineIntersection(p, q, &O)) continue;
            if (Loc_DiagonalLooksTextured(A, B) == 0) continue;
            if (Loc_CornerAreaClear(A, O, B, segs, count) == 0) continue;
            const int flag = Loc_OrderAroundCorner(&A, O, &B);
            out[written] = DM_L_CANDIDATE{A.x, A.y, A.x + B.x - O.x, A.y + B.y - O.y, B.x, B.y, O.x, O.y, flag};
            if (++written >= capacity) return written;
        }
    }
    return written;
}

}  // namespace vexo
