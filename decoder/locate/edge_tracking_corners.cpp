// Corner searches at the ends of a finished edge track: the perpendicular edge is traced
// sideways, the two edge lines are intersected and the corner must look like the solid L of
// a 2D symbol: comparable arms near a right angle, texture inside, quiet strips outside.

#include <cmath>

#include "core/pixel.h"
#include "locate/edge_tracking.h"
#include "toolkit/digital_line.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// The longest digital line of a frame the decoder takes has 1,280 points.
constexpr i32 kVerifySamples = 1280;
constexpr i32 kProbeSamples = 24;
constexpr i32 kProbeReach = 8;
constexpr i32 kMaxArmRatio10 = 45;
constexpr i32 kMaxTexture = 34;
constexpr i32 kMinCrossLength = 42;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Clamp(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }
i32 Chebyshev(GEO_POINT p, GEO_POINT q) {
    const i32 dx = Abs32(p.x - q.x), dy = Abs32(p.y - q.y);
    return dx > dy ? dx : dy;
}

// Edges crossed by the line from p to q; -1 when the line does not fit the buffer.
i32 LineEdges(const u8 *image, GEO_POINT p, GEO_POINT q) {
    const i64 n = DigitalLineWalk(p.x, p.y, q.x, q.y).n;
    if (n + 1 > kVerifySamples) return -1;
    u8 buf[kVerifySamples];
    const i32 len = DM_SampleImageLine(image, p.x, p.y, q.x, q.y, buf);
    return Loc_CountRisingEdges(buf, len) + Loc_CountFallingEdges(buf, len);
}

GEO_POINT Add(GEO_POINT a, GEO_POINT b) { return GEO_POINT{a.x + b.x, a.y + b.y}; }

// Strongest edge of the polarity on the column c around row r; answers its row.
bool ColumnProbe(const u8 *image, i32 polarity, i32 c, i32 r, i32 dy, i32 *row) {
    if (c < 0 || c >= g_image.width) return false;
    const i32 r0 = Clamp(r - kProbeReach * dy, 0, g_image.height - 1);
    const i32 r1 = Clamp(r + kProbeReach * dy, 0, g_image.height - 1);
    if (Abs32(r1 - r0) + 1 > kProbeSamples) return false;
    u8 buf[kProbeSamples];
    const i32 len = DM_SampleImageLine(image, c, r0, c, r1, buf);
    i32 p = 0;
    const i32 found = polarity == 1 ? Loc_StrongestRisingEdge(buf, len, &p) : Loc_StrongestFallingEdge(buf, len, &p);
    if (found == 0) return false;
    *row = r0 + dy * p;
    return true;
}

EDGE_TRACK Reversed(const EDGE_TRACK &t) {
    EDGE_TRACK r = t;
    r.headX = t.tailX;
    r.headY = t.tailY;
    r.tailX = t.headX;
    r.tailY = t.headY;
    return r;
}

struct CornerSearch {
    bool fromHead;
    i32 dx, dy;
    bool crossSamePolarity;
    bool darkWhenPolarity0;  // on under darkCorners for polarity 0 (else for polarity 1)
    bool crossFirst;         // arms (cross, track) rather than (track, cross)
};
static constexpr CornerSearch kCornerSearches[4] = {
    {true, +1, +1, true, true, true},
    {true, -1, +1, false, false, false},
    {false, -1, -1, false, false, true},
    {false, +1, -1, true, true, false},
};
static_assert(sizeof(kCornerSearches) / sizeof(kCornerSearches[0]) == 4, "four searches per track");

}  // namespace

i32 Loc_TryTrackCorners(const u8 *image, EDGE_TRACK *track, CORNER_CANDIDATE *out, i32 darkCorners,
                        i32 lightCorners) {
    if (image == nullptr || track == nullptr || out == nullptr) return 0;
    if ((darkCorners == 0 && lightCorners == 0) || track->active == 0) return 0;
    return Loc_FindTrackCorners(image, track, out, darkCorners, lightCorners);
}

i32 Loc_FindTrackCorners(const u8 *image, EDGE_TRACK *track, CORNER_CANDIDATE *out, i32 darkCorners,
                         i32 lightCorners) {
    if (image == nullptr || track == nullptr || out == nullptr) return 0;
    out->valid = 0;
    const i32 p = track->polarity;
    const bool dark = darkCorners == 1, light = lightCorners == 1;
    CORNER_CANDIDATE accepted[4] = {};
    i32 count = 0;
    for (const CornerSearch &s : kCornerSearches) {
        // The dark-corner searches are those where the track's own polarity says so.
        const bool darkSearch = s.darkWhenPolarity0 ? p == 0 : p == 1;
        if (!(darkSearch ? dark : light)) continue;
        EDGE_TRACK cross = {};
        cross.active = 1;
        cross.polarity = s.crossSamePolarity ? p : 1 - p;
        cross.headX = cross.tailX = s.fromHead ? track->headX : track->tailX;
        cross.headY = cross.tailY = s.fromHead ? track->headY : track->tailY;
        if (Loc_TraceCrossEdge(image, &cross, s.dx, s.dy) != 1) continue;
        const EDGE_TRACK arm = s.fromHead ? *track : Reversed(*track);
        CORNER_CANDIDATE c = {};
        const i32 built = s.crossFirst ? Loc_BuildCornerCandidate(&cross, &arm, &c)
                                       : Loc_BuildCornerCandidate(&arm, &cross, &c);
        if (built != 1 || Loc_CheckLCorner(image, &c.endA, &c.corner, &c.endB) != 1) continue;
        Loc_ScoreCornerInterior(image, &c);
        if (c.valid == 0 || c.texture > kMaxTexture) continue;
        c.darkOnLight = darkSearch ? 1 : 0;
        accepted[count++] = c;
    }
    if (count == 0) return 0;
    i32 best = 0;
    for (i32 k = 1; k < count; ++k)
        if (accepted[k].texture < accepted[best].texture) best = k;
    *out = accepted[best];
    return 1;
}

i32 Loc_TraceCrossEdge(const u8 *image, EDGE_TRACK *cross, i32 dx, i32 dy) {
    if (image == nullptr || cross == nullptr || (dx != 1 && dx != -1) || (dy != 1 && dy != -1)) return 0;
    if (cross->active == 0) return 0;
    const i32 x = cross->headX, W = g_image.width;
    if (dx == 1 ? W - 2 - x <= 4 : x <= 5) return 0;
    i32 row = cross->headY;
    i32 c = x;
    for (i32 k = 7; k <= 11; ++k) {
        c = x + k * dx;
        i32 found = 0;
        if (!ColumnProbe(image, cross->polarity, c, row, dy, &found)) return 0;
        row = found;
        if (k == 7) {
            cross->headX = c;
            cross->headY = row;
        }
    }
    cross->headDone = 1;
    // Bounded by the frame width: every probe moves four columns.
    for (i32 room = dx == 1 ? W - 2 - c : c - 1; room > 4; room -= 4) {
        i32 found = 0;
        if (!ColumnProbe(image, cross->polarity, c + 4 * dx, row, dy, &found)) break;
        row = found;
        c += 4 * dx;
    }
    cross->tailX = c;
    cross->tailY = row;
    cross->tailBegun = 1;
    cross->length = Geo_DistanceInt(cross->headX, cross->headY, c, row);
    if (cross->length < kMinCrossLength) return 0;
    cross->drift = 0;
    cross->complete = 1;
    return Loc_TrackIsStraight(image, cross) == 1 ? 1 : 0;
}

i32 Loc_BuildCornerCandidate(const EDGE_TRACK *first, const EDGE_TRACK *second, CORNER_CANDIDATE *out) {
    if (first == nullptr || second == nullptr || out == nullptr) return 0;
    if (first->active == 0 || second->active == 0 || first->length <= 0 || second->length <= 0) return 0;
    const i32 lmax = first->length > second->length ? first->length : second->length;
    const i32 lmin = first->length > second->length ? second->length : first->length;
    if (static_cast<i64>(lmax) * 10 / lmin > kMaxArmRatio10) return 0;
    *out = CORNER_CANDIDATE{};
    const GEO_POINT p1{first->headX, first->headY}, p2{first->tailX, first->tailY};
    const GEO_POINT q1{second->headX, second->headY}, q2{second->tailX, second->tailY};
    GEO_POINT k{};
    if (Loc_IntersectLines(&p1, &p2, &q1, &q2, &k) != 1) return 0;
    if (Loc_NearRightAngle(&k, &p2, &q2) != 1) return 0;
    out->endA = p2;
    out->endB = q2;
    out->corner = k;
    out->fourth = GEO_POINT{p2.x + q2.x - k.x, p2.y + q2.y - k.y};
    out->armALength = Geo_DistanceInt(p2.x, p2.y, k.x, k.y);
    out->armBLength = Geo_DistanceInt(k.x, k.y, q2.x, q2.y);
    out->valid = 1;
    return 1;
}

i32 Loc_IntersectLines(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *q1, const GEO_POINT *q2,
                       GEO_POINT *out) {
    if (p1 == nullptr || p2 == nullptr || q1 == nullptr || q2 == nullptr || out == nullptr) return 0;
    // 64 bits: on a 1280 x 960 frame the three-factor products and their sums pass 2^31.
    const i64 x1 = p1->x, y1 = p1->y, x3 = q1->x, y3 = q1->y;
    const i64 dxp = static_cast<i64>(p2->x) - x1, dyp = static_cast<i64>(p2->y) - y1;
    const i64 dxq = static_cast<i64>(q2->x) - x3, dyq = static_cast<i64>(q2->y) - y3;
    const i64 den = dyp * dxq - dyq * dxp;
    if (den == 0) return 0;
    const i64 X = (dxq * dxp * (y3 - y1) + x1 * dyp * dxq - x3 * dyq * dxp) / den;
    const i64 Y = (dyp * dyq * (x3 - x1) + y1 * dyq * dxp - y3 * dxq * dyp) / (-den);
    if (X < 0 || X >= g_image.width || Y < 0 || Y >= g_image.height) return 0;
    *out = GEO_POINT{static_cast<i32>(X), static_cast<i32>(Y)};
    return 1;
}

i32 Loc_NearRightAngle(const GEO_POINT *k, const GEO_POINT *a, const GEO_POINT *b) {
    if (k == nullptr || a == nullptr || b == nullptr) return 0;
    auto sq = [](const GEO_POINT *p, const GEO_POINT *q) {
        const i64 dx = static_cast<i64>(p->x) - q->x, dy = static_cast<i64>(p->y) - q->y;
        return dx * dx + dy * dy;
    };
    const i64 ka = sq(a, k), kb = sq(b, k), ab = sq(a, b);
    const i64 la = static_cast<i64>(std::sqrt(static_cast<double>(ka)));
    const i64 lb = static_cast<i64>(std::sqrt(static_cast<double>(kb)));
    const i64 den = 2 * la * lb;
    if (den <= 0) return 0;
    const i64 q = (ka + kb - ab) * 100 / den;
    return q >= -49 && q <= 49 ? 1 : 0;
}

i32 Loc_CheckLCorner(const u8 *image, const GEO_POINT *endA, const GEO_POINT *corner, const GEO_POINT *endB) {
    if (image == nullptr || endA == nullptr || corner == nullptr || endB == nullptr) return 0;
    return Loc_VerifyLCorner(image, endA, corner, endB);
}

i32 Loc_VerifyLCorner(const u8 *image, const GEO_POINT *endA, const GEO_POINT *corner, const GEO_POINT *endB) {
    if (image == nullptr || endA == nullptr || corner == nullptr || endB == nullptr) return 0;
    const GEO_POINT A = *endA, K = *corner, B = *endB;
    const GEO_POINT u{(B.x - K.x) / 4, (B.y - K.y) / 4}, v{(A.x - K.x) / 4, (A.y - K.y) / 4};
    const i32 inner1 = LineEdges(image, Add(A, u), Add(K, u));
    const i32 inner2 = LineEdges(image, Add(K, v), Add(B, v));
    if (inner1 < 0 || inner2 < 0 || inner1 + inner2 <= 9) return 0;
    const i32 m = Chebyshev(B, K);
    if (m <= 0) return 0;
    const GEO_POINT o{-4 * (B.x - K.x) / m, -4 * (B.y - K.y) / m};
    const i32 outerA = LineEdges(image, Add(K, o), Add(A, o));
    if (outerA < 0 || outerA > 5) return 0;
    const i32 m2 = Chebyshev(A, K);
    if (m2 <= 0) return 0;
    const GEO_POINT o2{-4 * (A.x - K.x) / m2, -4 * (A.y - K.y) / m2};
    const i32 outerB = LineEdges(image, Add(K, o2), Add(B, o2));
    if (outerB < 0 || outerB > 5) return 0;
    return LineEdges(image, A, B) > 5 ? 1 : 0;
}

void Loc_ScoreCornerInterior(const u8 *image, CORNER_CANDIDATE *c) {
    if (image == nullptr || c == nullptr || c->valid == 0) return;
    // Both arm lengths divide below; a zero arm would be a corner with no arm.
    if (c->armALength <= 0 || c->armBLength <= 0) {
        c->valid = 0;
        return;
    }
    const i32 m = Chebyshev(c->endB, c->corner);
    if (m <= 0) {
        c->valid = 0;
        return;
    }
    const GEO_POINT u{4 * (c->endB.x - c->corner.x) / m, 4 * (c->endB.y - c->corner.y) / m};
    const GEO_POINT a = Add(c->endA, u), k = Add(c->corner, u);
    c->texture = Loc_LineVariation(image, a.x, a.y, k.x, k.y) / c->armALength;
    const i32 m2 = Chebyshev(c->endA, c->corner);
    if (m2 <= 0) {
        c->valid = 0;
        return;
    }
    const GEO_POINT v{4 * (c->endA.x - c->corner.x) / m2, 4 * (c->endA.y - c->corner.y) / m2};
    const GEO_POINT k2 = Add(c->corner, v), b = Add(c->endB, v);
    c->texture += Loc_LineVariation(image, k2.x, k2.y, b.x, b.y) / c->armBLength;
}

}  // namespace vexo
