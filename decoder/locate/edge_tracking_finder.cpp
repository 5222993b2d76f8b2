// The edge-tracking finder: scan rows 52 apart seed edge tracks, the tracks are followed down
// one interval per scan row, and every finished straight track is searched for L corners.
#include "core/pixel.h"
#include "locate/edge_tracking.h"

namespace vexo {

namespace {

constexpr i32 kMinBands = 3;
constexpr i32 kMinCornerTrack = 42;
constexpr i32 kSameCorner = 15;
constexpr i32 kSameEnd = 14;
constexpr i32 kSeedMargin = 4;
constexpr i32 kSeedCover = 3;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Chebyshev(GEO_POINT p, GEO_POINT q) {
    const i32 dx = Abs32(p.x - q.x), dy = Abs32(p.y - q.y);
    return dx > dy ? dx : dy;
}

bool SameCorner(const CORNER_CANDIDATE &p, const CORNER_CANDIDATE &q) {
    if (Chebyshev(p.corner, q.corner) <= kSameCorner) return true;
    if (Chebyshev(p.endA, q.corner) <= kSameEnd || Chebyshev(p.endB, q.corner) <= kSameEnd ||
        Chebyshev(q.endA, p.corner) <= kSameEnd || Chebyshev(q.endB, p.corner) <= kSameEnd)
        return true;
    if (Chebyshev(p.endA, q.endA) <= kSameEnd && Chebyshev(p.endB, q.endB) <= kSameEnd) return true;
    return Chebyshev(p.endA, q.endB) <= kSameEnd && Chebyshev(p.endB, q.endA) <= kSameEnd;
}

void Advance(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, CORNER_CANDIDATE *out, i32 *count, i32 capacity,
             i32 w, i32 darkCorners, i32 lightCorners, bool final) {
    if (image == nullptr || tracks == nullptr || trackCount == nullptr || out == nullptr || count == nullptr) return;
    if (*count >= capacity) return;
    i32 kept = 0;
    const i32 n = *trackCount < kEdgeTrackListSize ? *trackCount : kEdgeTrackListSize;
    for (i32 i = 0; i < n; ++i) {
        EDGE_TRACK &t = tracks[i];
        if (final)
            Loc_TrackDownToBottom(image, &t, w);
        else
            Loc_TrackDownOneInterval(image, &t, w);
        if (t.active == 0) continue;
        if (t.complete == 1) {
            if (t.length >= kMinCornerTrack && Loc_TrackIsStraight(image, &t) == 1) {
                Loc_ExtendTrackEnds(image, &t, w);
                if (Loc_TryTrackCorners(image, &t, &out[*count], darkCorners, lightCorners) == 1) {
                    *count = Loc_DedupCornerCandidates(out, *count + 1);
                    if (*count >= capacity) return;
                }
            }
            continue;
        }
        if (t.tailBegun == 1) tracks[kept++] = t;
    }
    *trackCount = kept;
}

// One pass of a scan row for one polarity.
void ScanPass(const u8 *image, i32 y, bool first, bool last, i32 polarity, EDGE_TRACK *tracks, i32 *trackCount,
              i32 *w, CORNER_CANDIDATE *out, i32 *count, i32 capacity, i32 darkCorners, i32 lightCorners) {
    i32 seeds[kEdgeTrackListSize];
    const u8 *row = image + static_cast<i64>(y) * g_image.width;
    i32 n = polarity == 1 ? Loc_RowRisingEdges(row, g_image.width, seeds, kEdgeTrackListSize, w)
                          : Loc_RowFallingEdges(row, g_image.width, seeds, kEdgeTrackListSize, w);
    if (*w < 3 || *w > 12) *w = 5;
    Loc_KeepInnerSeeds(seeds, &n);
    if (first) {
        for (i32 i = 0; i < n; ++i) {
            tracks[i] = EDGE_TRACK{};
            Loc_InitEdgeTrack(&tracks[i], polarity, seeds[i], y);
            Loc_TrackUpFromFirstRow(image, &tracks[i], *w);
        }
        *trackCount = n;
    } else {
        Loc_DropTrackedSeeds(tracks, trackCount, seeds, &n);
        const i32 room = kEdgeTrackListSize - *trackCount;
        if (n > room) n = room;
        Loc_StartEdgeTracks(image, tracks, trackCount, seeds, &n, polarity, *w, y);
    }
    if (last)
        Loc_AdvanceTracksFinal(image, tracks, trackCount, out, count, capacity, *w, darkCorners, lightCorners);
    else
        Loc_AdvanceTracks(image, tracks, trackCount, out, count, capacity, *w, darkCorners, lightCorners);
}

}  // namespace

i32 Loc_EdgeScanRows(i32 height, i32 *rows, i32 capacity) {
    if (rows == nullptr || capacity <= 0) return 0;
    const i32 bands = height / kEdgeScanInterval;
    if (bands < kMinBands) return 0;
    i32 n = 0;
    for (i32 k = 1; k < bands && n < capacity; ++k) rows[n++] = kEdgeScanInterval * k;
    return n;
}

i32 Loc_FindLCorners(const u8 *image, CORNER_CANDIDATE *out, i32 capacity, i32 darkCorners, i32 lightCorners) {
    if (image == nullptr || out == nullptr || capacity <= 0) return 0;
    if (darkCorners == 0 && lightCorners == 0) return 0;
    // Every size and the line sampler come from IMAGE_DESC: only its frame can be scanned.
    if (image != g_image.data || g_image.width <= 0) return 0;
    i32 count = 0;
    Loc_ScanEdgeTracks(image, out, &count, capacity, darkCorners, lightCorners);
    return Loc_DedupCornerCandidates(out, count);
}

void Loc_ScanEdgeTracks(const u8 *image, CORNER_CANDIDATE *out, i32 *count, i32 capacity, i32 darkCorners,
                        i32 lightCorners) {
    if (count == nullptr) return;
    *count = 0;
    if (image == nullptr || out == nullptr || capacity <= 0) return;
    i32 rows[kEdgeScanMaxRows];
    const i32 nRows = Loc_EdgeScanRows(g_image.height, rows, kEdgeScanMaxRows);
    EDGE_TRACK rising[kEdgeTrackListSize] = {}, falling[kEdgeTrackListSize] = {};
    i32 nRising = 0, nFalling = 0, w = 3;
    for (i32 k = 0; k < nRows; ++k) {
        const bool first = k == 0, last = k == nRows - 1;
        ScanPass(image, rows[k], first, last, 1, rising, &nRising, &w, out, count, capacity, darkCorners,
                 lightCorners);
        if (*count >= capacity) return;
        ScanPass(image, rows[k], first, last, 0, falling, &nFalling, &w, out, count, capacity, darkCorners,
                 lightCorners);
        if (*count >= capacity) return;
    }
}

void Loc_AdvanceTracks(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, CORNER_CANDIDATE *out, i32 *count,
                       i32 capacity, i32 meanWidth, i32 darkCorners, i32 lightCorners) {
    Advance(image, tracks, trackCount, out, count, capacity, meanWidth, darkCorners, lightCorners, false);
}

void Loc_AdvanceTracksFinal(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, CORNER_CANDIDATE *out, i32 *count,
                            i32 capacity, i32 meanWidth, i32 darkCorners, i32 lightCorners) {
    Advance(image, tracks, trackCount, out, count, capacity, meanWidth, darkCorners, lightCorners, true);
}

EDGE_TRACK *Loc_InitEdgeTrack(EDGE_TRACK *track, i32 polarity, i32 x, i32 y) {
    if (track == nullptr || x < 0 || y < 0 || x >= g_image.width || y >= g_image.height) return track;
    *track = EDGE_TRACK{};
    track->active = 1;
    track->polarity = polarity;
    track->headX = track->tailX = x;
    track->headY = track->tailY = y;
    return track;
}

void Loc_KeepInnerSeeds(i32 *seeds, i32 *seedCount) {
    if (seeds == nullptr || seedCount == nullptr) return;
    i32 kept = 0;
    for (i32 i = 0; i < *seedCount && i < kEdgeTrackListSize; ++i)
        if (seeds[i] > kSeedMargin && seeds[i] < g_image.width - kSeedMargin) seeds[kept++] = seeds[i];
    *seedCount = kept;
}

void Loc_DropTrackedSeeds(const EDGE_TRACK *tracks, const i32 *trackCount, i32 *seeds, const i32 *seedCount) {
    if (tracks == nullptr || trackCount == nullptr || seeds == nullptr || seedCount == nullptr) return;
    const i32 nt = *trackCount < kEdgeTrackListSize ? *trackCount : kEdgeTrackListSize;
    const i32 ns = *seedCount < kEdgeTrackListSize ? *seedCount : kEdgeTrackListSize;
    for (i32 i = 0; i < ns; ++i)
        for (i32 t = 0; t < nt; ++t)
            if (Abs32(seeds[i] - tracks[t].tailX) <= kSeedCover) {
                seeds[i] = 0;
                break;
            }
}

void Loc_StartEdgeTracks(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, const i32 *seeds, const i32 *seedCount,
                         i32 polarity, i32 meanWidth, i32 row) {
    if (image == nullptr || tracks == nullptr || trackCount == nullptr || seeds == nullptr || seedCount == nullptr)
        return;
    const i32 ns = *seedCount < kEdgeTrackListSize ? *seedCount : kEdgeTrackListSize;
    for (i32 i = ns - 1; i >= 0 && *trackCount < kEdgeTrackListSize; --i) {
        if (seeds[i] == 0) continue;
        EDGE_TRACK &t = tracks[*trackCount];
        t = EDGE_TRACK{};  // a refused set-up leaves an inactive record, not a stale one
        Loc_InitEdgeTrack(&t, polarity, seeds[i], row);
        Loc_TrackUpToPreviousRow(image, &t, meanWidth);
        ++*trackCount;
    }
}

i32 Loc_DedupCornerCandidates(CORNER_CANDIDATE *c, i32 count) {
    if (c == nullptr || count <= 0) return 0;
    if (count == 1) return c[0].valid != 0 ? 1 : 0;
    i32 kept = 0;
    for (i32 i = 0; i < count; ++i) {
        if (c[i].valid == 0) continue;
        for (i32 j = i + 1; j < count && c[i].valid != 0; ++j) {
            if (c[j].valid == 0 || !SameCorner(c[i], c[j])) continue;
            if (c[i].armALength + c[i].armBLength > c[j].armALength + c[j].armBLength)
                c[j].valid = 0;
            else
                c[i].valid = 0;
        }
        if (c[i].valid != 0) c[kept++] = c[i];
    }
    return kept;
}

}  // namespace vexo
