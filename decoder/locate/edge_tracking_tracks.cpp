// Edge tracks: a nearly vertical edge followed one row, then four rows at a time, each time
// re-found as the strongest edge of its polarity in a short window of one row.
#include <algorithm>
#include <cstdlib>

#include "core/pixel.h"
#include "locate/edge_tracking.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kChordSamples = 1288;
constexpr i32 kProbeSamples = 32;
constexpr i32 kMaxChordEdgesPer100 = 29;
constexpr i32 kChordShift = 3;  // across the chord's major axis: >= 2.1 px off a straight edge
constexpr i32 kPauseRows = 52;
constexpr i32 kPreviousRowReach = 56;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }

i32 HalfWindow(i32 w) { return w >= 3 && w <= 12 ? w : 5; }

// Strongest edge of the polarity in the window of length m at row r from column c, clipped to
// the row: no window reads a pixel of another row. Answers the edge's column.
bool WindowEdge(const u8 *image, i32 polarity, i32 r, i32 c, i32 m, i32 *column) {
    if (r < 0 || r >= g_image.height || m < 2) return false;
    const i64 c0 = c < 0 ? 0 : c;
    const i64 c1 = static_cast<i64>(c) + m > g_image.width ? g_image.width : static_cast<i64>(c) + m;
    if (c1 - c0 < 2) return false;
    const u8 *s = image + static_cast<i64>(r) * g_image.width + c0;
    const i32 n = static_cast<i32>(c1 - c0);
    i32 p = 0;
    const i32 found = polarity == 1 ? Loc_StrongestRisingEdge(s, n, &p) : Loc_StrongestFallingEdge(s, n, &p);
    if (found == 0) return false;
    *column = static_cast<i32>(c0) + p;
    return true;
}

bool InFrame(i64 x, i64 y) { return x >= 0 && x < g_image.width && y >= 0 && y < g_image.height; }

// True when the window would start before the first byte of the image memory.
bool StartsBeforeImage(i32 r, i32 c) { return static_cast<i64>(r) * g_image.width + c < 0; }
bool StartsPastImage(i32 r, i32 c) {
    return static_cast<i64>(r) * g_image.width + c >= static_cast<i64>(g_image.width) * g_image.height;
}

void CompleteTail(EDGE_TRACK *t, i32 x, i32 r) {
    t->tailX = x;
    t->tailY = r;
    t->length = Geo_DistanceInt(t->headX, t->headY, x, r);
    t->tailBegun = 1;
    t->complete = 1;
}

void WriteHead(EDGE_TRACK *t, i32 x, i32 r) {
    t->headX = x;
    t->headY = r;
    t->headDone = 1;
}

bool HeadTrackable(const u8 *image, const EDGE_TRACK *t) {
    return image != nullptr && t != nullptr && t->active != 0 && t->headDone == 0;
}
bool TailTrackable(const u8 *image, const EDGE_TRACK *t) {
    return image != nullptr && t != nullptr && t->active != 0 && t->headDone == 1 && t->complete == 0;
}

// Single-row phase upwards over `steps` rows; false when the edge was lost (head written).
bool SingleRowsUp(const u8 *image, EDGE_TRACK *t, i32 h, i32 steps, i32 *x, i32 *r) {
    for (i32 k = 0; k < steps; ++k) {
        i32 col = 0;
        if (!WindowEdge(image, t->polarity, *r - 1, *x - Min32(*x, h), 2 * h, &col)) {
            WriteHead(t, *x, *r);
            return false;
        }
        *x = col;
        *r -= 1;
    }
    return true;
}

// One four-row step up from (x, r): false when nothing within the tolerance was found.
bool FourRowsUp(const u8 *image, const EDGE_TRACK *t, i32 h, i32 d, i32 tol, i32 *x, i32 *r) {
    i32 col = 0;
    if (!WindowEdge(image, t->polarity, *r - 4, *x + d - Min32(*x, h), 2 * h, &col)) return false;
    const i32 e = col - (*x + d);
    if (Abs32(e) > tol) return false;
    *x += d + e;
    *r -= 4;
    return true;
}

// Single-row phase downwards; false when the edge was lost (track completed).
bool SingleRowsDown(const u8 *image, EDGE_TRACK *t, i32 h, i32 *x, i32 *r) {
    for (i32 k = 0; k < 4; ++k) {
        i32 col = 0;
        if (!WindowEdge(image, t->polarity, *r + 1, *x - h, 2 * h, &col)) {
            CompleteTail(t, *x, *r);
            return false;
        }
        *x = col;
        *r += 1;
    }
    return true;
}

i32 DownWindowLength(i32 x, i32 h) { return h + Min32(h, g_image.width - 2 - x); }

bool FourRowsDown(const u8 *image, const EDGE_TRACK *t, i32 h, i32 d, i32 tol, i32 *x, i32 *r) {
    i32 col = 0;
    if (!WindowEdge(image, t->polarity, *r + 4, *x + d - h, DownWindowLength(*x, h), &col)) return false;
    const i32 e = col - (*x + d);
    if (Abs32(e) > tol) return false;
    *x += d + e;
    *r += 4;
    return true;
}

bool RefusedTailStart(EDGE_TRACK *t) {
    if (t->tailX < 0 || t->tailX >= g_image.width || t->tailY < 0 || t->tailY >= g_image.height - 4) {
        t->active = 0;
        return true;
    }
    return false;
}

// Does the probe along the track direction through (x0, y0)..(x1, y1) cross an edge?
bool ProbeHasEdge(const u8 *image, i32 polarity, i32 x0, i32 y0, i32 x1, i32 y1) {
    const i64 n = std::max(std::llabs(static_cast<i64>(x1) - x0), std::llabs(static_cast<i64>(y1) - y0));
    if (n + 1 > kProbeSamples) return true;  // a probe that does not fit stops the extension
    u8 buf[kProbeSamples];
    const i32 len = DM_SampleImageLine(image, x0, y0, x1, y1, buf);
    i32 p = 0;
    return (polarity == 1 ? Loc_StrongestRisingEdge(buf, len, &p) : Loc_StrongestFallingEdge(buf, len, &p)) != 0;
}

}  // namespace

void Loc_TrackUpFromFirstRow(const u8 *image, EDGE_TRACK *t, i32 w) {
    if (!HeadTrackable(image, t)) return;
    const i32 h = HalfWindow(w);
    i32 x = t->headX, r = t->headY;
    if (x < 0 || x >= g_image.width || r <= 3 || r >= g_image.height) {
        t->active = 0;
        return;
    }
    const i32 seedX = x;
    if (!SingleRowsUp(image, t, h, r > 7 ? 4 : r, &x, &r)) return;
    const i32 d = x - seedX;
    const i32 tol = Abs32(d) + 1;
    if (StartsBeforeImage(r - 4, x + d - Min32(x, h))) {
        WriteHead(t, x, r);
        return;
    }
    // Bounded by the row count: every step climbs four rows.
    while (r > 3 && !StartsBeforeImage(r - 4, x + d - Min32(x, h))) {
        if (!FourRowsUp(image, t, h, d, tol, &x, &r)) break;
    }
    if (x < 0 || r < 0 || x > g_image.width || r > g_image.height) {
        t->active = 0;
        return;
    }
    WriteHead(t, x, r);
}

void Loc_TrackUpToPreviousRow(const u8 *image, EDGE_TRACK *t, i32 w) {
    if (!HeadTrackable(image, t)) return;
    const i32 h = HalfWindow(w);
    i32 x = t->headX, r = t->headY;
    if (x < 0 || x >= g_image.width || r <= 7 || r >= g_image.height) {
        t->active = 0;
        return;
    }
    const i32 seedX = x, seedY = r;
    if (!SingleRowsUp(image, t, h, 4, &x, &r)) return;
    const i32 d = x - seedX;
    const i32 tol = Abs32(d) + 1;
    while (r > seedY - kPreviousRowReach) {
        if (!FourRowsUp(image, t, h, d, tol, &x, &r)) break;
    }
    WriteHead(t, x, r);
}

void Loc_TrackDownOneInterval(const u8 *image, EDGE_TRACK *t, i32 w) {
    if (!TailTrackable(image, t) || RefusedTailStart(t)) return;
    const i32 h = HalfWindow(w);
    const i32 x0 = t->tailX, y0 = t->tailY;
    i32 d = t->drift;
    if (t->tailBegun == 0) {
        i32 x = x0, r = y0;
        if (!SingleRowsDown(image, t, h, &x, &r)) return;
        d = x - x0;
        t->drift = d;
        t->tailBegun = 1;
    }
    // Restart from the old tail point: the pause lands exactly one interval lower.
    const i32 tol = Abs32(d) + 2;
    i32 x = x0, r = y0;
    while (r < y0 + kPauseRows) {
        if (!FourRowsDown(image, t, h, d, tol, &x, &r)) {
            CompleteTail(t, x, r);
            return;
        }
    }
    t->tailX = x;
    t->tailY = r;
    t->tailBegun = 1;
    t->complete = 0;
}

void Loc_TrackDownToBottom(const u8 *image, EDGE_TRACK *t, i32 w) {
    if (!TailTrackable(image, t) || RefusedTailStart(t)) return;
    const i32 h = HalfWindow(w);
    i32 x = t->tailX, r = t->tailY;
    i32 d = t->drift;
    if (t->tailBegun == 0) {
        const i32 x0 = x;
        if (!SingleRowsDown(image, t, h, &x, &r)) return;
        d = x - x0;
        t->drift = d;
        t->tailBegun = 1;
    }
    const i32 tol = Abs32(d) + 1;
    while (r < g_image.height - 4 && !StartsPastImage(r + 4, x + d - h)) {
        if (!FourRowsDown(image, t, h, d, tol, &x, &r)) break;
    }
    CompleteTail(t, x, r);
}

void Loc_ExtendTrackEnds(const u8 *image, EDGE_TRACK *t, i32 w) {
    if (image == nullptr || t == nullptr || t->active == 0) return;
    const i32 D = t->drift;
    if (Abs32(D) >= 7) return;
    const i32 h = w >= 5 && w <= 12 ? w : 5;
    const i32 W = g_image.width, H = g_image.height;
    i32 x = t->tailX, y = t->tailY;
    while (y < H - 2) {
        i32 col = 0;
        if (!WindowEdge(image, t->polarity, y + 1, x - h, h + Min32(h, W - 2 - x), &col)) break;
        if (ProbeHasEdge(image, t->polarity, x + D, Min32(y + 4, H - 1), x - D, y - 4)) break;
        const i32 e = col - x;
        if (e < D - 1 || e > D + 1) break;
        x += e;
        y += 1;
    }
    t->tailX = x;
    t->tailY = y;
    x = t->headX;
    y = t->headY;
    while (y >= 1) {
        const i32 off = Min32(h, x - 1);
        i32 col = 0;
        if (!WindowEdge(image, t->polarity, y - 1, x - off, h + off, &col)) break;
        if (ProbeHasEdge(image, t->polarity, x - D, y - 4 < 0 ? 0 : y - 4, x + D, y + 4)) break;
        const i32 e = col - x;
        if (e < -D - 1 || e > -D + 1) break;
        x += e;
        y -= 1;
    }
    t->headX = x;
    t->headY = y;
}

i32 Loc_TrackIsStraight(const u8 *image, EDGE_TRACK *t) {
    if (image == nullptr || t == nullptr || t->active == 0) return 0;
    if (t->length <= 0 || Abs32(t->drift) > 6) return 0;
    return Loc_ChordEdgeTest(image, t);
}

i32 Loc_ChordEdgeTest(const u8 *image, EDGE_TRACK *t) {
    if (image == nullptr || t == nullptr || t->length <= 0) return 0;
    const i64 adx = std::llabs(static_cast<i64>(t->tailX) - t->headX);
    const i64 ady = std::llabs(static_cast<i64>(t->tailY) - t->headY);
    if (std::max(adx, ady) + 1 > kChordSamples) return 0;  // no chord of a frame the decoder takes is this long
    u8 buf[kChordSamples];
    // The whole-pixel chord of a slanted edge weaves across the edge's part-covered pixels and
    // would count two crossings per column step; the chord is counted instead shifted off the
    // edge to either side (at least two pixels across it), where a straight edge leaves one
    // level. The quieter side counts; a side leaving the frame is not used.
    const i32 sx = ady >= adx ? kChordShift : 0;
    const i32 sy = ady >= adx ? 0 : kChordShift;
    i32 edges = -1;
    for (const i32 side : {-1, 1}) {
        const i64 x0 = static_cast<i64>(t->headX) + side * sx, y0 = static_cast<i64>(t->headY) + side * sy;
        const i64 x1 = static_cast<i64>(t->tailX) + side * sx, y1 = static_cast<i64>(t->tailY) + side * sy;
        if (!InFrame(x0, y0) || !InFrame(x1, y1)) continue;
        const i32 len = DM_SampleImageLine(image, static_cast<i32>(x0), static_cast<i32>(y0), static_cast<i32>(x1),
                                           static_cast<i32>(y1), buf);
        const i32 e = Loc_CountRisingEdges(buf, len) + Loc_CountFallingEdges(buf, len);
        if (edges < 0 || e < edges) edges = e;
    }
    if (edges < 0) {  // no room beside the chord: count the chord itself
        const i32 len = DM_SampleImageLine(image, t->headX, t->headY, t->tailX, t->tailY, buf);
        edges = Loc_CountRisingEdges(buf, len) + Loc_CountFallingEdges(buf, len);
    }
    if (edges * 100 / t->length > kMaxChordEdgesPer100) {
        t->active = 0;
        return 0;
    }
    return 1;
}

}  // namespace vexo
