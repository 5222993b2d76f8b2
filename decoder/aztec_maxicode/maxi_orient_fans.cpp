#include <cstdint>

#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_refine.h"
#include "core/pixel.h"
#include "datamatrix/dm_locate.h"

namespace vexo {

namespace {

constexpr GEO_POINT kInvalid{-1, -1};
// Ring pitches above this (1/16 pixel) reach past any frame: twelve of them span more than
// 4,096 pixels.
constexpr i32 kMaxPitch = 16 * 341;

bool Valid(const GEO_POINT &p) { return !(p.x == -1 && p.y == -1); }

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
constexpr double kMaxSteps = 1 << 24;
constexpr float kMaxAlong = 1 << 24;

// Offset of each ray's first point, walking the per-ray counts; -1 when a count would lead
// past the list.
i32 NextOffset(i32 offset, i32 count) {
    if (offset < 0 || count < 0 || count > kMaxiFanEntries - offset) return -1;
    return offset + count;
}

void BindFan(MAXI_FAN_LISTS *lists, MAXI_RAY_FAN *fan) {
    *fan = MAXI_RAY_FAN{lists->forward,        lists->opposite,        lists->forwardCounts, lists->oppositeCounts,
                        lists->forwardPitches, lists->oppositePitches, 0,                    0,
                        0};
}

}  // namespace

MAXI_ORIENT_SCRATCH *Maxi_OrientScratch(i32 scratchOffset) {
    if (scratchOffset < 0) return nullptr;
    u8 *work = Pix_WorkMemory(static_cast<i64>(scratchOffset) + kMaxiScratchBytes);
    if (work == nullptr) return nullptr;
    u8 *at = work + scratchOffset;
    if (reinterpret_cast<uintptr_t>(at) % alignof(MAXI_ORIENT_SCRATCH) != 0) return nullptr;
    return reinterpret_cast<MAXI_ORIENT_SCRATCH *>(at);
}

i32 Maxi_FanTargets(const REGION_QUAD *box, i32 pitch, i32 downward, i32 end, GEO_POINT *targets) {
    if (box == nullptr || targets == nullptr) return 0;
    const POINT_I32 &tl = box->c[0];
    const POINT_I32 &bl = box->c[2];
    const i32 h = Abs32(tl.y - bl.y);
    const float f = static_cast<float>(pitch) * 0.03125f;
    const POINT_I32 start = end != 0 ? tl : bl;
    targets[0] = GEO_POINT{start.x, start.y};
    i32 n = 1;
    float along = 0.0f;
    for (i32 k = 1; n < kMaxiFanTargets; ++k) {
        along += f;
        if (along > kMaxAlong) break;
        const i32 l = static_cast<i32>(along + 0.5f);
        if (k > 1 && l > h) break;
        if (end != 0) {
            targets[n++] = GEO_POINT{start.x + l, start.y};
        } else {
            targets[n++] = GEO_POINT{start.x, downward != 0 ? start.y + l : start.y - l};
        }
    }
    return n;
}

i32 Maxi_CastRayList(const GEO_POINT *centre, const GEO_POINT *targets, i32 count, GEO_POINT *points, i32 *pitches,
                     i32 *rays, i32 *counts, i32 capacity) {
    if (rays != nullptr) *rays = 0;
    if (centre == nullptr || targets == nullptr || points == nullptr || pitches == nullptr || rays == nullptr ||
        counts == nullptr) {
        return 0;
    }
    const GEO_POINT from{centre->x >> 4, centre->y >> 4};
    i32 kept = 0;
    i32 total = 0;
    for (i32 t = 0; t < count && kept < capacity; ++t) {
        GEO_POINT found[kMaxiRayModules];
        i32 n = 0;
        const i32 pitch = Maxi_MeasureRay(&from, &targets[t], 1, found, &n, kMaxiRayModules, 0);
        if (pitch <= 15 || n < 1) continue;
        if (total + n >= capacity) break;
        for (i32 k = 0; k < n; ++k) points[total + k] = found[k];
        pitches[kept] = pitch;
        counts[kept] = n;
        ++kept;
        total += n;
    }
    *rays = kept;
    return total;
}

i32 Maxi_CastRayFan(const GEO_POINT *centre, i32 pitch, const REGION_QUAD *box, i32 downward, GEO_POINT *points,
                    i32 *pitches, i32 *counts, i32 *rays, i32 capacity) {
    if (centre == nullptr || box == nullptr || points == nullptr || pitches == nullptr || counts == nullptr ||
        rays == nullptr) {
        return 0;
    }
    GEO_POINT targets[kMaxiFanTargets];
    i32 written = 0;
    for (i32 end = 0; end <= 1; ++end) {
        const i32 n = Maxi_FanTargets(box, pitch, downward, end, targets);
        // Each kept ray holds at least one point, so the rays never outrun the points.
        i32 kept = 0;
        written += Maxi_CastRayList(centre, targets, n, points + written, pitches + *rays, &kept, counts + *rays,
                                    capacity - written);
        *rays += kept;
    }
    return written;
}

i32 Maxi_CastOppositeRay(const GEO_POINT *point, const GEO_POINT *centre, GEO_POINT *points, i32 *pitch) {
    if (point == nullptr || centre == nullptr || points == nullptr || pitch == nullptr) return 0;
    const i64 dx = Abs64(static_cast<i64>(point->x) - centre->x);
    const i64 dy = Abs64(static_cast<i64>(point->y) - centre->y);
    const double l = static_cast<double>(dx > dy ? dx : dy);
    // Points come from the frame; the bound only keeps far ones from overflowing.
    const double steps = 2.6 * l < kMaxSteps ? 2.6 * l : kMaxSteps;
    GEO_POINT q{};
    DM_PointAlongSegment(*point, *centre, static_cast<i32>(steps), &q);
    const GEO_POINT from{centre->x >> 4, centre->y >> 4};
    const GEO_POINT to{q.x >> 4, q.y >> 4};
    i32 n = 0;
    *pitch = Maxi_MeasureRay(&from, &to, 1, points, &n, kMaxiRayModules, 0);
    return *pitch > 15 ? n : 0;
}

i32 Maxi_CastOppositeRays(const GEO_POINT *centre, const GEO_POINT *forward, const i32 *forwardCounts, i32 rays,
                          GEO_POINT *opposite, i32 *pitches, i32 *counts, i32 capacity) {
    if (centre == nullptr || forward == nullptr || forwardCounts == nullptr || opposite == nullptr ||
        pitches == nullptr || counts == nullptr) {
        return 0;
    }
    i32 total = 0;
    i32 at = 0;
    for (i32 r = 0; r < rays && r < kMaxiFanEntries; ++r) {
        const i32 next = NextOffset(at, forwardCounts[r]);
        counts[r] = 0;
        pitches[r] = 0;
        if (next < 0 || forwardCounts[r] < 1) {
            at = next < 0 ? kMaxiFanEntries : next;
            continue;
        }
        GEO_POINT found[kMaxiRayModules];
        i32 pitch = 0;
        const i32 n = Maxi_CastOppositeRay(&forward[at], centre, found, &pitch);
        pitches[r] = pitch;
        at = next;
        // A ray whose points do not fit adds none: its forward points are dropped as unpaired.
        if (n > capacity - total) continue;
        for (i32 k = 0; k < n; ++k) opposite[total + k] = found[k];
        counts[r] = n;
        total += n;
    }
    return total;
}

void Maxi_DropLightPoints(GEO_POINT *points, i32 count) {
    if (points == nullptr) return;
    const i32 t = g_maxiGrid.threshold;
    for (i32 k = 0; k < count; ++k) {
        if (Maxi_PointInFrame16(&points[k]) == 0 || Maxi_PixelAt16(&points[k]) >= t) points[k] = kInvalid;
    }
}

void Maxi_DropUnpairedRays(const i32 *forwardCounts, const i32 *oppositeCounts, GEO_POINT *forward,
                           GEO_POINT *opposite, i32 rays) {
    if (forwardCounts == nullptr || oppositeCounts == nullptr || forward == nullptr || opposite == nullptr) return;
    i32 f = 0;
    i32 o = 0;
    for (i32 r = 0; r < rays && r < kMaxiFanEntries; ++r) {
        const i32 nf = NextOffset(f, forwardCounts[r]);
        const i32 no = NextOffset(o, oppositeCounts[r]);
        if (nf < 0 || no < 0) return;
        bool anyForward = false;
        bool anyOpposite = false;
        for (i32 k = f; k < nf; ++k) anyForward = anyForward || Valid(forward[k]);
        for (i32 k = o; k < no; ++k) anyOpposite = anyOpposite || Valid(opposite[k]);
        if (!(anyForward && anyOpposite)) {
            for (i32 k = f; k < nf; ++k) forward[k] = kInvalid;
            for (i32 k = o; k < no; ++k) opposite[k] = kInvalid;
        }
        f = nf;
        o = no;
    }
}

namespace {

// The last valid point of entries from .. to - 1, or the invalid point.
GEO_POINT LastValid(const GEO_POINT *list, i32 from, i32 to) {
    GEO_POINT last = kInvalid;
    for (i32 k = from; k < to; ++k)
        if (Valid(list[k])) last = list[k];
    return last;
}

bool Near48(const GEO_POINT &p, const GEO_POINT &q) { return Abs32(p.x - q.x) <= 48 && Abs32(p.y - q.y) <= 48; }

GEO_POINT Mid(const GEO_POINT &p, const GEO_POINT &q) { return GEO_POINT{(p.x + q.x) / 2, (p.y + q.y) / 2}; }

}  // namespace

i32 Maxi_PairModulePoints(MAXI_RAY_FAN *fan, i32 scratchOffset) {
    MAXI_ORIENT_SCRATCH *scratch = Maxi_OrientScratch(scratchOffset);
    if (fan == nullptr || scratch == nullptr) return 0;
    MAXI_RAY_PAIR *pairs = scratch->analysis.pairs;
    i32 n = 0;
    i32 f = 0;
    i32 o = 0;
    for (i32 r = 0; r < fan->rayCount && r < kMaxiFanEntries; ++r) {
        const i32 nf = NextOffset(f, fan->forwardCounts[r]);
        const i32 no = NextOffset(o, fan->oppositeCounts[r]);
        if (nf < 0 || no < 0) break;
        const GEO_POINT pf = LastValid(fan->forward, f, nf);
        const GEO_POINT po = LastValid(fan->opposite, o, no);
        f = nf;
        o = no;
        if (!Valid(pf) || !Valid(po)) continue;
        MAXI_RAY_PAIR &p = pairs[n++];
        p = MAXI_RAY_PAIR{pf, po, fan->forwardPitches[r], fan->oppositePitches[r], 1};
        Maxi_DarkCentroid(&pf, p.forwardPitch, &p.forward);
        Maxi_DarkCentroid(&po, p.oppositePitch, &p.opposite);
    }
    for (i32 k = 1; k < n; ++k) {
        MAXI_RAY_PAIR &a = pairs[k - 1];
        MAXI_RAY_PAIR &b = pairs[k];
        if (a.valid == 0 || b.valid == 0) continue;
        if (!Near48(a.forward, b.forward) || !Near48(a.opposite, b.opposite)) continue;
        a.forward = Mid(a.forward, b.forward);
        a.opposite = Mid(a.opposite, b.opposite);
        b.valid = 0;
    }
    i32 kept = 0;
    for (i32 k = 0; k < n; ++k) {
        if (pairs[k].valid == 0) continue;
        fan->forward[kept] = pairs[k].forward;
        fan->opposite[kept] = pairs[k].opposite;
        fan->forwardPitches[kept] = pairs[k].forwardPitch;
        fan->oppositePitches[kept] = pairs[k].oppositePitch;
        ++kept;
    }
    fan->forwardTotal = kept;
    fan->oppositeTotal = kept;
    return 1;
}

i32 Maxi_FindOrientation(i32 pitch, const GEO_POINT *centre, i32 scratchOffset) {
    MAXI_ORIENT_SCRATCH *scratch = Maxi_OrientScratch(scratchOffset);
    if (centre == nullptr || scratch == nullptr || g_image.data == nullptr) return 0;
    if (pitch <= 0 || pitch > kMaxPitch) return 0;
    const i32 cx = centre->x >> 4;
    const i32 cy = centre->y >> 4;
    const i32 e = (12 * pitch + 8) / 16;
    const REGION_QUAD boxes[2] = {{{{cx - e, cy - e}, {cx, cy - e}, {cx - e, cy}, {cx, cy}}},
                                  {{{cx - e, cy + e}, {cx, cy + e}, {cx - e, cy}, {cx, cy}}}};
    MAXI_RAY_FAN fans[2];
    for (i32 k = 0; k < 2; ++k) {
        MAXI_RAY_FAN &fan = fans[k];
        BindFan(&scratch->fans[k], &fan);
        fan.forwardTotal = Maxi_CastRayFan(centre, pitch, &boxes[k], k, fan.forward, fan.forwardPitches,
                                           fan.forwardCounts, &fan.rayCount, kMaxiFanEntries);
        fan.oppositeTotal = Maxi_CastOppositeRays(centre, fan.forward, fan.forwardCounts, fan.rayCount, fan.opposite,
                                                  fan.oppositePitches, fan.oppositeCounts, kMaxiFanEntries);
    }
    Maxi_DropLightPoints(fans[0].forward, fans[0].forwardTotal);
    Maxi_DropLightPoints(fans[1].forward, fans[1].forwardTotal);
    Maxi_DropLightPoints(fans[0].opposite, fans[0].oppositeTotal);
    Maxi_DropLightPoints(fans[1].opposite, fans[1].oppositeTotal);
    for (MAXI_RAY_FAN &fan : fans) {
        Maxi_DropUnpairedRays(fan.forwardCounts, fan.oppositeCounts, fan.forward, fan.opposite, fan.rayCount);
    }
    MAXI_AXIS class1[kMaxiAxes];
    MAXI_AXIS class2[kMaxiAxes];
    i32 count1 = 0;
    i32 count2 = 0;
    for (MAXI_RAY_FAN &fan : fans) {
        Maxi_PairModulePoints(&fan, scratchOffset);
        i32 n1 = 0;
        i32 n2 = 0;
        Maxi_AnalysePairs(&fan, centre, scratchOffset, class1 + count1, class2 + count2, &n1, &n2, kMaxiAxesPerFan);
        count1 += n1;
        count2 += n2;
    }
    return Maxi_ResolveAxes(class1, class2, count1, count2, centre);
}

}  // namespace vexo
