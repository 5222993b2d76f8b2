// Preparing the tracked segments for pairing: closed, turned into image coordinates with a
// direction, merged where a diagonal edge was seen by both passes, and ordered.
#include "core/pixel.h"
#include "datamatrix/dm_finder.h"

namespace vexo {

namespace {

constexpr i32 kHalfTurn = 2880;
constexpr i32 kMergeKeyReach = 128;

void SwapPoints(DM_SEGMENT &s) {
    const i16 x = s.x0, y = s.y0;
    s.x0 = s.x1;
    s.y0 = s.y1;
    s.x1 = x;
    s.y1 = y;
}

i32 RowAngle(i32 idx) { return idx > 0 ? -DM_AngleT2(idx) : DM_AngleT2(-idx); }
i32 ColumnAngle(i32 idx) { return idx >= 0 ? -kDmAngleT1[idx] : kDmAngleT1[-idx]; }

i32 ClampIndex(i32 idx) {
    if (idx > kDmAngleEntries - 1) return kDmAngleEntries - 1;
    if (idx < -(kDmAngleEntries - 1)) return -(kDmAngleEntries - 1);
    return idx;
}

void NormaliseOne(DM_SEGMENT &s, bool row) {
    const i32 steps = (s.y1 - s.y0) / 64;
    if (steps > 0) s.contrast = static_cast<u16>(s.contrast / steps);
    s.pairScale = 0xFFFF;
    const i32 idx = steps > 0 ? ClampIndex((s.x1 - s.x0 + steps / 2) / steps) : 0;
    const bool rising = s.flag != 0;
    i32 a;
    if (row) {
        a = RowAngle(idx);
        if (rising) {
            SwapPoints(s);
            if (a > 0) a -= kHalfTurn;
        } else if (a <= 0) {
            a += kHalfTurn;
        }
    } else {
        const i16 x0 = s.x0, x1 = s.x1;
        s.x0 = s.y0;
        s.x1 = s.y1;
        s.y0 = x0;
        s.y1 = x1;
        a = ColumnAngle(idx);
        if (rising) {
            a += a <= 0 ? kHalfTurn : -kHalfTurn;
        } else {
            SwapPoints(s);
        }
    }
    s.angle = static_cast<i16>(a >= -2159 ? a - 720 : a + 5040);
    s.flag = 0;
}

// Bucket by direction: 1 about 45, 2 about 225, 3 about 135, 4 about -45 degrees; 0 none.
i32 BucketOf(i32 angle) {
    if (angle >= -239 && angle <= 239) return 1;
    if (angle > 2640 || angle < -2640) return 2;
    if (angle >= 1201 && angle <= 1679) return 3;
    if (angle >= -1679 && angle <= -1201) return 4;
    return 0;
}

// Kept in 32 bits: as 16-bit values these keys wrap in the lower right of a 1280 x 960
// frame.
i32 MergeKey(const DM_SEGMENT &s, i32 bucket, i32 h) {
    if (bucket <= 2) return (s.x0 + s.y0 + s.x1 + s.y1 - h) / 2;
    return (s.x0 + s.x1 - s.y0 - s.y1 + h) / 2;
}

struct MERGE_BUCKET {
    u16 entries[kDmMergeBucketSize];  // places in the segment list
    i32 keys[kDmMergeBucketSize];
    i32 count;
};

void InsertByKey(MERGE_BUCKET &b, u16 place, i32 key) {
    if (b.count >= kDmMergeBucketSize) return;
    i32 at = b.count;
    while (at > 0 && b.keys[at - 1] > key) {
        b.entries[at] = b.entries[at - 1];
        b.keys[at] = b.keys[at - 1];
        --at;
    }
    b.entries[at] = place;
    b.keys[at] = key;
    ++b.count;
}

// Whether j's x range meets i's in i's direction; when so, i takes j's outer ends.
bool AbsorbInto(DM_SEGMENT &si, const DM_SEGMENT &sj) {
    if (si.x1 < si.x0) {
        if (!(sj.x1 <= si.x0 && si.x1 <= sj.x0)) return false;
        if (sj.x0 > si.x0) {
            si.x0 = sj.x0;
            si.y0 = sj.y0;
        }
        if (sj.x1 < si.x1) {
            si.x1 = sj.x1;
            si.y1 = sj.y1;
        }
        return true;
    }
    if (!(si.x0 <= sj.x1 && sj.x0 <= si.x1)) return false;
    if (sj.x0 < si.x0) {
        si.x0 = sj.x0;
        si.y0 = sj.y0;
    }
    if (sj.x1 > si.x1) {
        si.x1 = sj.x1;
        si.y1 = sj.y1;
    }
    return true;
}

}  // namespace

u32 DM_SegmentCentreDistanceSq(const DM_SEGMENT &s) {
    const i32 mx = (s.x0 + s.x1 + 16) >> 5, my = (s.y0 + s.y1 + 16) >> 5;
    const i32 dx = mx - Pix_GetImageWidth() / 2, dy = my - Pix_GetImageHeight() / 2;
    return static_cast<u32>(dx * dx) + static_cast<u32>(dy * dy);
}

void DM_NormaliseSegments() {
    DM_FINDER_STORE &f = g_dmFinder;
    for (i32 k = 0; k < f.windowStart; ++k) NormaliseOne(f.segments[f.list[k]], k < f.rowSegments);
}

void DM_MergeCollinear(const u16 *entries, const i32 *keys, i32 count) {
    DM_FINDER_STORE &f = g_dmFinder;
    for (i32 i = 0; i < count; ++i) {
        if (f.list[entries[i]] == kDmNoSegment) continue;
        DM_SEGMENT &si = f.segments[f.list[entries[i]]];
        for (i32 j = 0; j < i; ++j) {
            const u16 idj = f.list[entries[j]];
            if (keys[j] < keys[i] - kMergeKeyReach || idj == kDmNoSegment) continue;
            if (!AbsorbInto(si, f.segments[idj])) continue;
            DM_ReleaseSegmentId(idj);
            f.list[entries[j]] = kDmNoSegment;
        }
    }
}

void DM_MergeSegments() {
    DM_FINDER_STORE &f = g_dmFinder;
    static MERGE_BUCKET buckets[4];
    for (MERGE_BUCKET &b : buckets) b.count = 0;
    const i32 h = Pix_GetImageHeight();
    const i32 finished = f.windowStart;
    for (i32 k = 0; k < finished; ++k) {
        const DM_SEGMENT &s = f.segments[f.list[k]];
        const i32 b = BucketOf(s.angle);
        if (b > 0) InsertByKey(buckets[b - 1], static_cast<u16>(k), MergeKey(s, b, h));
    }
    for (const MERGE_BUCKET &b : buckets) DM_MergeCollinear(b.entries, b.keys, b.count);
    i32 out = 0;
    for (i32 k = 0; k < finished; ++k)
        if (f.list[k] != kDmNoSegment) f.list[out++] = f.list[k];
    f.windowStart = out;
}

void DM_SortSegmentsByCentre() {
    DM_FINDER_STORE &f = g_dmFinder;
    static u32 dist[kDmMaxSegments];
    const i32 n = f.windowStart;
    for (i32 k = 0; k < n; ++k) dist[k] = DM_SegmentCentreDistanceSq(f.segments[f.list[k]]);
    for (i32 k = 1; k < n; ++k) {
        const u16 id = f.list[k];
        const u32 d = dist[k];
        i32 at = k;
        while (at > 0 && dist[at - 1] > d) {
            f.list[at] = f.list[at - 1];
            dist[at] = dist[at - 1];
            --at;
        }
        f.list[at] = id;
        dist[at] = d;
    }
}

void DM_SortSegmentsByLength() {
    DM_FINDER_STORE &f = g_dmFinder;
    const i32 n = f.windowStart;
    for (i32 k = 0; k < n; ++k) {
        DM_SEGMENT &s = f.segments[f.list[k]];
        const i64 dx = s.x1 - s.x0, dy = s.y1 - s.y0;
        const i64 lc = (dx * dx + dy * dy + 8192) >> 14;
        s.lengthClass = static_cast<u16>(lc > 0xFFFF ? 0xFFFF : lc);
    }
    for (i32 k = 0; k < n; ++k) {
        const u16 id = f.list[k];
        const u16 lc = f.segments[id].lengthClass;
        i32 at = k;
        while (at > 0 && f.segments[f.freeList[at - 1]].lengthClass > lc) {
            f.freeList[at] = f.freeList[at - 1];
            --at;
        }
        f.freeList[at] = id;
    }
}

u16 DM_FindLengthClass(u16 lengthClass) {
    const DM_FINDER_STORE &f = g_dmFinder;
    if (f.prepared == 0) return kDmNoSegment;
    i32 lo = 0, hi = f.windowStart - 1;
    while (lo <= hi) {
        const i32 mid = (lo + hi) / 2;
        const u16 lc = f.segments[f.freeList[mid]].lengthClass;
        if (lc == lengthClass) return static_cast<u16>(mid);
        if (lc < lengthClass) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return kDmNoSegment;
}

void DM_PrepareSegments() {
    DM_FINDER_STORE &f = g_dmFinder;
    f.prepared = 1;
    DM_CloseActiveSegments();
    DM_NormaliseSegments();
    DM_MergeSegments();
    DM_SortSegmentsByCentre();
    DM_SortSegmentsByLength();
    f.windowLength = 0;  // from here on the read cursor
}

}  // namespace vexo
