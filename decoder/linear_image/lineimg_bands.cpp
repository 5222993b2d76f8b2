#include "linear_image/lineimg_bands.h"

#include "core/arena.h"
#include "core/pixel.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Segments this short give no band; up to kShortBand a band needs edges across its whole
// width, up to kMediumBand on one half.
constexpr i32 kTooShort = 12;
constexpr i32 kShortBand = 15;
constexpr i32 kMediumBand = 31;
constexpr i32 kCheckSamples = 32;
constexpr i32 kCheckRatio = 102;
constexpr i32 kCheckMinStep = 6;
// Band checks: more than this many falling edges across a short band, more than this many
// on one half of a medium one.
constexpr i32 kShortEdges = 4;
constexpr i32 kMediumEdges = 1;



bool Between(i32 lo, i32 v, i32 hi) { return lo < v && v < hi; }

// c overlaps r, the member added before it, across the scan direction.
bool OverlapsAcross(const LINE_SEGMENT &r, const LINE_SEGMENT &c, i32 orientation) {
    if (orientation != 0) {
        return Between(r.y0, c.midY, r.y1) || Between(r.y0, (c.midY + c.y0) >> 1, r.y1) ||
               Between(r.y0, (c.midY + c.y1) >> 1, r.y1);
    }
    return Between(r.x0, c.midX, r.x1) || Between(r.x0, (r.x0 + c.midX) >> 1, r.x1) ||
           Between(r.x0, (r.x1 + c.midX) >> 1, r.x1);
}

i32 FallingEdgesOn(const GEO_POINT &p, const GEO_POINT &q) {
    u8 samples[kCheckSamples];
    i32 positions[kCheckSamples];
    const i32 n = Geo_SampleLine(g_image.data, &p, &q, samples, kCheckSamples);
    return Prof_FindFallingEdges(samples, n, kCheckRatio, kCheckMinStep, positions, kCheckSamples);
}

struct BAND_WORK {
    u16 *order;
    u16 *positionMembers;
    INDEX_RANGE *angleGroups;
    INDEX_RANGE *positionGroups;
};

// The bands of one position group; false once maxBands are built.
bool BandsOfGroup(const SEGMENT_STORE &store, const u16 *members, INDEX_RANGE g, REGION_QUAD *bands,
                  i16 *segmentOf, i32 maxBands, i32 *count) {
    i32 longest = -1;
    i64 sum = 0;
    for (i32 k = g.start; k <= g.end; ++k) {
        const LINE_SEGMENT &s = store.seg[members[k]];
        sum += s.length;
        if (longest < 0 || s.length > store.seg[members[longest]].length) longest = k;
    }
    const i64 mean = sum / (g.end - g.start + 1);
    const i64 max = store.seg[members[longest]].length;
    // A segment much longer than its neighbours is no bar (a box edge, a long line).
    const bool skipLongest = static_cast<i64>((static_cast<f64>(mean) + 0.5) * 1.5) < max;
    for (i32 k = g.start; k <= g.end; ++k) {
        const LINE_SEGMENT &s = store.seg[members[k]];
        if ((k == longest && skipLongest) || s.length <= kTooShort) continue;
        if (*count >= maxBands) return false;
        const GEO_POINT e0 = {s.x0, s.y0};
        const GEO_POINT e1 = {s.x1, s.y1};
        const GEO_POINT mid = {s.midX, s.midY};
        LineImg_SegmentBand(&e0, &e1, &bands[*count], kBandMargin);
        if (LineImg_CheckBand(&bands[*count], s.length, &mid) != 0) continue;
        if (segmentOf != nullptr) segmentOf[*count] = static_cast<i16>(members[k]);
        ++*count;
    }
    return true;
}

}  // namespace

i32 LineImg_GroupByAngle(SEGMENT_STORE *store, u16 *order, INDEX_RANGE *groups, i32 max) {
    if (store == nullptr || order == nullptr || groups == nullptr) return 0;
    const i32 n = store->count < 0 ? 0 : (store->count > kSegmentCapacity ? kSegmentCapacity : store->count);
    i32 histogram[kAngleGroups] = {};
    for (i32 i = 0; i < n; ++i) {
        LINE_SEGMENT &s = store->seg[i];
        const GEO_POINT e0 = {s.x0, s.y0};
        const GEO_POINT e1 = {s.x1, s.y1};
        // The same slope as (y1 - y0) * 1024 / (x1 - x0).
        s.angleBin = LineImg_SegmentAngle(&e0, &e1) / 5;
        ++histogram[s.angleBin];
    }
    i32 next[kAngleGroups];
    i32 groupCount = 0;
    i32 start = 0;
    for (i32 bin = 0; bin < kAngleGroups; ++bin) {
        next[bin] = start;
        if (histogram[bin] == 0) continue;
        if (groupCount < max) {
            groups[groupCount++] = INDEX_RANGE{static_cast<i16>(start), static_cast<i16>(start + histogram[bin] - 1)};
        }
        start += histogram[bin];
    }
    for (i32 i = 0; i < n; ++i) order[next[store->seg[i].angleBin]++] = static_cast<u16>(i);
    return groupCount;
}

i32 LineImg_GroupByPosition(const SEGMENT_STORE *store, u16 *members, i32 count, u16 *out, INDEX_RANGE *groups,
                            i32 orientation) {
    if (store == nullptr || members == nullptr || out == nullptr || groups == nullptr || count <= 0) return 0;
    if (count > kSegmentCapacity) count = kSegmentCapacity;
    const auto key = [&](u16 m) { return orientation != 0 ? store->seg[m].midX : store->seg[m].midY; };
    for (i32 i = 1; i < count; ++i) {
        const u16 m = members[i];
        i32 j = i;
        for (; j > 0 && key(members[j - 1]) > key(m); --j) members[j] = members[j - 1];
        members[j] = m;
    }
    bool taken[kSegmentCapacity] = {};
    i32 placed = 0;
    i32 groupCount = 0;
    for (i32 s = 0; s < count; ++s) {
        if (taken[s]) continue;
        taken[s] = true;
        const i32 start = placed;
        out[placed++] = members[s];
        i32 last = s;
        for (i32 c = s + 1; c < count; ++c) {
            if (taken[c] || !OverlapsAcross(store->seg[members[last]], store->seg[members[c]], orientation)) continue;
            taken[c] = true;
            out[placed++] = members[c];
            last = c;
        }
        groups[groupCount++] = INDEX_RANGE{static_cast<i16>(start), static_cast<i16>(placed - 1)};
    }
    return groupCount;
}

void LineImg_SegmentBand(const GEO_POINT *end0, const GEO_POINT *end1, REGION_QUAD *band, i32 margin) {
    if (end0 == nullptr || end1 == nullptr || band == nullptr) return;
    const i32 reach = margin + LineImg_RoundedDistance(*end0, *end1);
    GEO_POINT v;
    Geo_RotatePlus90(end0, end1, &v);
    Geo_StepTowards(end0, &v, &band->c[0], reach);
    Geo_RotateMinus90(end0, end1, &v);
    Geo_StepTowards(end0, &v, &band->c[1], reach);
    Geo_RotateMinus90(end1, end0, &v);
    Geo_StepTowards(end1, &v, &band->c[2], reach);
    Geo_RotatePlus90(end1, end0, &v);
    Geo_StepTowards(end1, &v, &band->c[3], reach);
}

int LineImg_CheckBand(const REGION_QUAD *band, i32 length, const GEO_POINT *midpoint) {
    if (length > kMediumBand) return 0;
    if (band == nullptr || midpoint == nullptr || g_image.data == nullptr) return 1;
    GEO_POINT m1, m2;
    Geo_Midpoint(&band->c[0], &band->c[2], &m1);
    Geo_Midpoint(&band->c[1], &band->c[3], &m2);
    if (length <= kShortBand) return FallingEdgesOn(m1, m2) <= kShortEdges ? 1 : 0;
    return FallingEdgesOn(*midpoint, m1) <= kMediumEdges && FallingEdgesOn(*midpoint, m2) <= kMediumEdges ? 1 : 0;
}

i32 LineImg_BuildBands(SEGMENT_STORE *store, i32 orientation, REGION_QUAD *bands, i16 *segmentOf, i32 maxBands) {
    if (store == nullptr || bands == nullptr) return 0;
    if (maxBands > kBandCapacity) maxBands = kBandCapacity;
    void *blocks[4] = {
        Mem_Alloc(kSegmentCapacity * static_cast<i32>(sizeof(u16))),
        Mem_Alloc(kSegmentCapacity * static_cast<i32>(sizeof(u16))),
        Mem_Alloc(kSegmentCapacity * static_cast<i32>(sizeof(INDEX_RANGE))),
        Mem_Alloc(kSegmentCapacity * static_cast<i32>(sizeof(INDEX_RANGE))),
    };
    i32 count = 0;
    if (Mem_AllNonNull(blocks, 4) != 0 && store->count > 0 && maxBands > 0) {
        const BAND_WORK w = {static_cast<u16 *>(blocks[0]), static_cast<u16 *>(blocks[1]),
                             static_cast<INDEX_RANGE *>(blocks[2]), static_cast<INDEX_RANGE *>(blocks[3])};
        const i32 angleGroups = LineImg_GroupByAngle(store, w.order, w.angleGroups, kSegmentCapacity);
        bool room = true;
        for (i32 a = 0; a < angleGroups && room; ++a) {
            const INDEX_RANGE g = w.angleGroups[a];
            const i32 size = g.end - g.start + 1;
            if (size < 2) continue;
            const i32 groups =
                LineImg_GroupByPosition(store, w.order + g.start, size, w.positionMembers, w.positionGroups, orientation);
            for (i32 p = 0; p < groups && room; ++p)
                room = BandsOfGroup(*store, w.positionMembers, w.positionGroups[p], bands, segmentOf, maxBands, &count);
        }
    }
    Mem_FreeList(blocks, 4);
    return count;
}

i32 LineImg_ClusterBands(const REGION_QUAD *bands, i32 count, BAND_CLUSTERS *out, BAND_SHAPES *shapes) {
    if (out == nullptr) return 0;
    out->count = 0;
    if (bands == nullptr || shapes == nullptr || count <= 0) return 0;
    if (count > kBandCapacity) count = kBandCapacity;
    for (i32 i = 0; i < count; ++i) {
        const GEO_POINT *c = bands[i].c;
        const i32 d = LineImg_RoundedDistance(c[0], c[3]);
        shapes->diagonal[i] = static_cast<u16>(d);
        shapes->tolerance[i] = static_cast<u16>(static_cast<i32>(1.3 * shapes->diagonal[i] + 0.5));
        const i32 inset = 3 * (shapes->diagonal[i] >> 3);
        Geo_StepTowards(&c[0], &c[3], &shapes->core[i].c[0], inset);
        Geo_StepTowards(&c[1], &c[2], &shapes->core[i].c[1], inset);
        Geo_StepTowards(&c[3], &c[0], &shapes->core[i].c[3], inset);
        Geo_StepTowards(&c[2], &c[1], &shapes->core[i].c[2], inset);
        shapes->remaining[i] = static_cast<i16>(i);
    }
    const auto joins = [&](i32 a, i32 b) {
        if (shapes->tolerance[a] < shapes->diagonal[b] || shapes->tolerance[b] < shapes->diagonal[a]) return false;
        for (i32 k = 0; k < 4; ++k)
            if (Geo_PointInQuad(&shapes->core[b].c[k], &bands[a]) != 0 ||
                Geo_PointInQuad(&shapes->core[a].c[k], &bands[b]) != 0)
                return true;
        return false;
    };
    i32 remaining = count;
    i32 members = 0;
    while (remaining > 0 && out->count < kClusterCapacity) {
        const i32 start = members;
        out->member[members++] = shapes->remaining[0];
        shapes->remaining[0] = shapes->remaining[--remaining];
        for (i32 v = start; v < members; ++v) {
            for (i32 j = 0; j < remaining; ++j) {
                if (!joins(out->member[v], shapes->remaining[j])) continue;
                out->member[members++] = shapes->remaining[j];
                shapes->remaining[j] = shapes->remaining[--remaining];
                j = -1;  // the search for this member starts again
            }
        }
        out->cluster[out->count++] = INDEX_RANGE{static_cast<i16>(start), static_cast<i16>(members - 1)};
    }
    return out->count;
}

}  // namespace vexo
