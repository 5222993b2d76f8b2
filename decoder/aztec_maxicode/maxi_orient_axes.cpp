#include <cmath>

#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_refine.h"
#include "core/pixel.h"
#include "datamatrix/dm_locate.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kSnapEdges = 6;

bool InFrame(const GEO_POINT &p) { return Maxi_PointInFrame16(&p) != 0; }

i32 GreyAt(const GEO_POINT &p) { return Maxi_PixelAt16(&p); }

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

GEO_POINT Mid(const GEO_POINT &p, const GEO_POINT &q) { return GEO_POINT{(p.x + q.x) / 2, (p.y + q.y) / 2}; }

bool Near47(const GEO_POINT &p, const GEO_POINT &q) { return Abs32(p.x - q.x) <= 47 && Abs32(p.y - q.y) <= 47; }

bool AxesClose(const MAXI_AXIS &p, const MAXI_AXIS &q) {
    for (i32 k = 0; k < 3; ++k)
        if (!Near47(p.a[k], q.a[k]) || !Near47(p.b[k], q.b[k])) return false;
    return true;
}

void MergeInto(MAXI_AXIS *i, const MAXI_AXIS &j) {
    for (i32 k = 0; k < 3; ++k) {
        i->a[k] = Mid(i->a[k], j.a[k]);
        i->b[k] = Mid(i->b[k], j.b[k]);
    }
}

void CopyPoints(MAXI_AXIS *to, const MAXI_AXIS &from) {
    for (i32 k = 0; k < 3; ++k) {
        to->a[k] = from.a[k];
        to->b[k] = from.b[k];
    }
}

// Ring pitch of the ray from the centre to p (mode 0, 1/16-pixel sampler).
i32 RayPitch(const GEO_POINT *centre, const GEO_POINT &p) {
    const GEO_POINT from{centre->x >> 4, centre->y >> 4};
    const GEO_POINT to{p.x >> 4, p.y >> 4};
    return Maxi_MeasureRay(&from, &to, 0, nullptr, nullptr, 0, 1);
}

}  // namespace

i32 Maxi_MergeDuplicateAxes(MAXI_AXIS *list, i32 count) {
    if (list == nullptr || count <= 0) return 0;
    i32 i = 0;
    // Every merge drops the count, so the restarts are bounded by it.
    while (i < count) {
        bool merged = false;
        for (i32 j = 0; j < count; ++j) {
            if (j == i || !AxesClose(list[i], list[j])) continue;
            MergeInto(&list[i], list[j]);
            const i32 last = count - 1;
            CopyPoints(&list[j], list[last]);
            --count;
            // When i was the last axis its points now stand in place j: follow them there
            // (with j's pitches), so that it never meets its own copy.
            if (i == last) i = j;
            merged = true;
            break;
        }
        if (!merged) ++i;
    }
    return count;
}

void Maxi_SwapAxisSides(MAXI_AXIS *axis) {
    if (axis == nullptr) return;
    for (i32 k = 0; k < 3; ++k) {
        const GEO_POINT t = axis->a[k];
        axis->a[k] = axis->b[k];
        axis->b[k] = t;
    }
}

i32 Maxi_AngleMilliRad(const i32 u[2], const i32 v[2]) {
    if (u == nullptr || v == nullptr) return 0;
    const i64 dot = static_cast<i64>(u[1]) * v[1] + static_cast<i64>(u[0]) * v[0];
    if (dot == 0) return 0;
    const i64 cross = static_cast<i64>(v[1]) * u[0] - static_cast<i64>(u[1]) * v[0];
    const float q = static_cast<float>(cross) / static_cast<float>(dot);
    return static_cast<i32>(1000.0 * std::atan(static_cast<double>(q)) + 0.5);
}

i32 Maxi_AxisAngle(const MAXI_AXIS *i, const MAXI_AXIS *j) {
    if (i == nullptr || j == nullptr) return 0;
    const i32 u[2] = {i->b[0].y - i->a[0].y, i->a[0].x - i->b[0].x};
    const i32 v[2] = {j->b[0].y - j->a[0].y, j->a[0].x - j->b[0].x};
    return Maxi_AngleMilliRad(u, v);
}

void Maxi_PointOnBisector(const GEO_POINT *centre, const GEO_POINT *p, const GEO_POINT *q, i32 pitch, GEO_POINT *out,
                          float factor) {
    if (centre == nullptr || p == nullptr || q == nullptr || out == nullptr) return;
    const GEO_POINT m = Mid(*p, *q);
    const float along = static_cast<float>(pitch) * factor;
    SEGMENT_STEP s{centre->x, centre->y, m.x, m.y, static_cast<i32>(static_cast<double>(along) + 0.5), 0, 0};
    Geo_SegmentPointAt(&s);
    *out = GEO_POINT{s.outX, s.outY};
}

i32 Maxi_FindDarkOnBisector(const GEO_POINT *centre, const GEO_POINT *p, const GEO_POINT *q, i32 pitch,
                            GEO_POINT *out, float factor) {
    if (centre == nullptr || p == nullptr || q == nullptr || out == nullptr) return 0;
    float f = factor;
    for (i32 k = 0; k < 6; ++k, f += 0.2f) {
        GEO_POINT at{};
        Maxi_PointOnBisector(centre, p, q, pitch, &at, f);
        if (!InFrame(at)) return 0;
        if (GreyAt(at) < g_maxiGrid.threshold) {
            *out = at;
            return 1;
        }
    }
    return 0;
}

i32 Maxi_SnapToRingEdge(const GEO_POINT *centre, GEO_POINT *point, i32 pitch) {
    if (centre == nullptr || point == nullptr || g_image.data == nullptr) return 0;
    GEO_POINT far{};
    Geo_StepTowards(point, centre, &far, -11 * pitch);
    u8 samples[kMaxiRaySamples];
    const i32 n = Geo_SampleLine16(centre->x, centre->y, far.x, far.y, samples, kMaxiRaySamples);
    i32 f[kSnapEdges];
    i32 r[kSnapEdges];
    const i32 nf = Prof_FindFallingEdges(samples, n, g_maxiGrid.edgeRatio, g_maxiGrid.minStep, f, kSnapEdges);
    const i32 nr = Prof_FindRisingEdges(samples, n, g_maxiGrid.edgeRatio, g_maxiGrid.minStep, r, kSnapEdges);
    if (nf <= 2 || nr <= 2) return 0;
    const i32 dark = ((r[0] - f[0]) + (r[1] - f[1]) + (r[2] - f[2])) / 3;
    const i32 light = ((f[1] - r[0]) + (f[2] - r[1])) / 2;
    if (dark == 0 || light == 0) return 0;
    const i64 frame = static_cast<i64>(g_image.width) * g_image.height;
    i64 best = frame;
    GEO_POINT x{};
    for (i32 k = 0; k < nf; ++k) {
        SEGMENT_STEP s{centre->x, centre->y, far.x, far.y, f[k], 0, 0};
        Geo_SegmentPointAt(&s);
        const i64 d = Geo_DistanceInt(s.outX, s.outY, point->x, point->y);
        if (d < best) {
            best = d;
            x = GEO_POINT{s.outX, s.outY};
        }
    }
    if (best >= frame) return 0;
    GEO_POINT arc[2]{};
    DM_PointAlongSegment(x, *centre, dark / 2, &arc[1]);
    Maxi_CentreOnLightArc(centre, arc);
    DM_PointAlongSegment(arc[1], *centre, -dark, point);
    return 1;
}

i32 Maxi_BuildThirdGroup(MAXI_AXIS *third, i32 pitch, const GEO_POINT *centre) {
    if (third == nullptr || centre == nullptr) return 1;
    GEO_POINT o{};
    Maxi_DarkCentroid(&third->a[1], pitch, &o);
    Maxi_SnapToRingEdge(centre, &o, pitch);
    third->a[1] = o;
    DM_PointAlongSegment(o, *centre, pitch, &third->a[0]);
    GEO_POINT apex{};
    Maxi_EquilateralApex(&o, &third->a[0], &apex);
    Maxi_DarkCentroid(&apex, pitch, &third->a[2]);
    return 1;
}

i32 Maxi_CheckTriplePattern(const GEO_POINT triple[3], i32 count, const i32 flags[3]) {
    if (triple == nullptr || flags == nullptr) return 0;
    const double level = 0.9 * static_cast<double>(g_maxiGrid.threshold);
    for (i32 k = 0; k < count && k < 3; ++k) {
        if (!InFrame(triple[k])) return 0;
        const i32 dark = static_cast<double>(GreyAt(triple[k])) < level ? 1 : 0;
        if (dark != flags[k]) return 0;
    }
    return 1;
}

i32 Maxi_CompleteAxes(MAXI_AXIS *i, MAXI_AXIS *j, const GEO_POINT *centre, MAXI_AXIS *third) {
    if (i == nullptr || j == nullptr || centre == nullptr || third == nullptr) return 0;
    GEO_POINT p14{};
    Maxi_PointOnBisector(centre, &i->a[0], &j->b[0], i->pitchA, &p14, 14.0f);
    i32 d = RayPitch(centre, p14);
    if (d <= 15) d = (i->pitchA + j->pitchA) / 2;
    third->pitchA = d;
    if (Maxi_FindDarkOnBisector(centre, &i->a[0], &j->b[0], d, &third->a[1], 8.8f) == 0) {
        Maxi_SwapAxisSides(i);
        Maxi_SwapAxisSides(j);
        if (Maxi_FindDarkOnBisector(centre, &i->a[0], &j->b[0], d, &third->a[1], 8.8f) == 0) return 0;
    }
    Maxi_BuildThirdGroup(third, d, centre);
    Maxi_PointOnBisector(centre, &i->b[0], &j->a[0], i->pitchA, &p14, 14.0f);
    i32 e = RayPitch(centre, p14);
    if (e < 16) e = d;
    third->pitchB = e;
    Maxi_PointOnBisector(centre, &i->b[0], &j->a[0], e, &third->b[0], 7.8f);
    Maxi_PointOnBisector(centre, &i->b[0], &j->a[0], e, &third->b[1], 8.8f);
    Maxi_EquilateralApex(&third->b[1], &third->b[0], &third->b[2]);
    static constexpr i32 kSouthWest[3] = {0, 1, 1};  // inner light, outer and third dark
    static constexpr i32 kNorthEast[3] = {0, 0, 0};  // all light
    return Maxi_CheckTriplePattern(third->a, 3, kSouthWest) != 0 && Maxi_CheckTriplePattern(third->b, 3, kNorthEast) != 0
               ? 1
               : 0;
}

void Maxi_StoreOrientation(const GEO_POINT *centre, const MAXI_AXIS *i, const MAXI_AXIS *j, const MAXI_AXIS *third) {
    if (centre == nullptr || i == nullptr || j == nullptr || third == nullptr) return;
    // Module order: E inner, outer, third; SE inner, third, outer; SW third, inner, outer;
    // W third, outer, inner; NW outer, third, inner; NE outer, inner, third.
    const GEO_POINT points[kMaxiOrientationPoints] = {
        i->b[0],     i->b[1],     i->b[2],      //
        j->b[0],     j->b[2],     j->b[1],      //
        third->a[2], third->a[0], third->a[1],  //
        i->a[2],     i->a[1],     i->a[0],      //
        j->a[1],     j->a[2],     j->a[0],      //
        third->b[1], third->b[0], third->b[2]};
    const i32 pitches[6] = {i->pitchB, j->pitchB, third->pitchA, i->pitchA, j->pitchA, third->pitchB};
    for (i32 k = 0; k < kMaxiOrientationPoints; ++k) {
        g_maxiGrid.points[k] = points[k];
        g_maxiGrid.pitches[k] = pitches[k / 3];
    }
}

i32 Maxi_PairAxes(MAXI_AXIS *class1, MAXI_AXIS *class2, i32 count1, i32 count2, const GEO_POINT *centre) {
    if (class1 == nullptr || class2 == nullptr || centre == nullptr || count1 <= 0) return 0;
    for (i32 i = 0; i < count1; ++i) {
        for (i32 j = 0; j < count2; ++j) {
            if (Maxi_AxisAngle(&class1[i], &class2[j]) <= 799) continue;
            if (Geo_CosAngleAt(centre, &class1[i].a[0], &class2[j].b[0]) > 0) {
                for (i32 k = 0; k < count2; ++k) Maxi_SwapAxisSides(&class2[k]);
            }
            MAXI_AXIS third{};
            if (Maxi_CompleteAxes(&class1[i], &class2[j], centre, &third) != 0) {
                Maxi_StoreOrientation(centre, &class1[i], &class2[j], &third);
                return 1;
            }
        }
    }
    return 0;
}

i32 Maxi_ResolveAxes(MAXI_AXIS *class1, MAXI_AXIS *class2, i32 count1, i32 count2, const GEO_POINT *centre) {
    if (class1 == nullptr || class2 == nullptr || centre == nullptr) return 0;
    count1 = Maxi_MergeDuplicateAxes(class1, count1);
    count2 = Maxi_MergeDuplicateAxes(class2, count2);
    if (Maxi_PairAxes(class1, class2, count1, count2, centre) != 0) return 1;
    for (i32 k = 0; k < count1; ++k) Maxi_SwapAxisSides(&class1[k]);
    for (i32 k = 0; k < count2; ++k) Maxi_SwapAxisSides(&class2[k]);
    return Maxi_PairAxes(class1, class2, count1, count2, centre);
}

}  // namespace vexo
