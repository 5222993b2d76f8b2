#include "linear_image/lineimg_edge_trace.h"

#include "core/pixel.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "locate/finder.h"
#include "toolkit/profile.h"

namespace vexo {

namespace {

// Refit edge positions beyond these are no candidates; a column window ends at 64.
constexpr i32 kRowPositionLimit = 196608;
constexpr i32 kColumnPositionLimit = 64;
constexpr i32 kRefitMinStep = 6;
constexpr i32 kAny = INT32_MAX;

}  // namespace

// The main tracers cut a first edge in the window's first pixel step, widen and test the
// mean position, at the decoder's current minimum step; the refit tracers work at a fixed
// minimum step, the forward ones with a pixel-sum test.
const TRACE_RULES kTraceRules[kTraceKinds] = {
    // columns, backward, step for flag 1, round half, mean test, repeat after cut, widen,
    // candidates lo..hi, no cut lo..hi, sum tolerance, far margin, minimum step
    {0, 0, -2, 1, 1, 1, 1, 17, kAny, 17, kAny, 0, 16, -1},                                        // rows
    {1, 0, -2, 1, 1, 0, 1, 17, kAny, 17, kAny, 0, 16, -1},                                        // columns
    {0, 0, -2, 0, 0, 1, 1, -kAny, kAny, 18, kRowPositionLimit, 160, 16, kRefitMinStep},           // refit rows
    {0, 1, -2, 0, 0, 1, 1, 18, kRowPositionLimit, 18, kRowPositionLimit, 0, 8, kRefitMinStep},    // rows back
    {1, 0, -2, 0, 0, 0, 1, -kAny, kAny, 18, kColumnPositionLimit, 80, 16, kRefitMinStep},         // refit columns
    {1, 1, 2, 0, 0, 0, 0, 18, kColumnPositionLimit, 18, kColumnPositionLimit, 0, 16, kRefitMinStep},  // columns back
};
static_assert(sizeof(kTraceRules) / sizeof(kTraceRules[0]) == kTraceKinds);

namespace {

// Edges are looked for and points kept this far inside the image.
constexpr i32 kNearMargin = 16;
// A candidate this far (or farther) from the expected shift is none.
constexpr i32 kNoCandidate = 255;
// Successive shifts may differ by this much.
constexpr i32 kShiftSlack = 2;
// Every round adds a point, ends the trace or (once) repeats a line.
constexpr i32 kTraceRounds = 2 * kTracePoints + 4;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

bool Inside(i32 x, i32 y) { return x >= 0 && y >= 0 && x < g_image.width && y < g_image.height; }

u8 Pixel(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }

// Sum of the pixel at p and 2, 4 and 6 pixels on along the window's axis; -1 when any
// lies outside the image.
i32 PixelSum(GEO_POINT p, const TRACE_RULES &r) {
    i32 sum = 0;
    for (i32 k = 0; k <= 6; k += 2) {
        const i32 x = r.columns != 0 ? p.x : p.x + k;
        const i32 y = r.columns != 0 ? p.y + k : p.y;
        if (!Inside(x, y)) return -1;
        sum += Pixel(x, y);
    }
    return sum;
}

struct TraceWalk {
    GEO_POINT prev;
    i32 along;   // prev's coordinate along the window
    i32 offset;  // window anchor relative to prev along the window
    i32 line;    // the line of this round
    i32 anchor;
};

// Reads the window of this round into buf; the count read (0 outside the bounds).
i32 ReadWindow(const TraceWalk &w, const TRACE_RULES &r, u8 *buf) {
    const i32 x = r.columns != 0 ? w.line : w.anchor;
    const i32 y = r.columns != 0 ? w.anchor : w.line;
    if (x < kNearMargin || y < kNearMargin || x > g_image.width - r.farMargin || y > g_image.height - r.farMargin)
        return 0;
    const i32 n = r.backward != 0 ? kTraceWindow - 1 : kTraceWindow;
    for (i32 k = 0; k < n; ++k) {
        const i32 a = r.backward != 0 ? w.anchor - 1 - k : w.anchor + k;
        buf[k] = r.columns != 0 ? Pixel(x, a) : Pixel(a, y);
    }
    return n;
}

i32 NewCoordinate(const TraceWalk &w, const TRACE_RULES &r, i32 position) {
    if (r.backward != 0) return w.anchor - 1 - (position >> 4);
    return w.anchor + (r.roundHalf != 0 ? (position + 8) >> 4 : position >> 4);
}

void MoveOutwards(TraceWalk *w, const TRACE_RULES &r) {
    if (r.backward != 0 || w->offset > 0) {
        ++w->offset;
    } else {
        --w->offset;
    }
}

}  // namespace

int LineImg_RunTrace(EDGE_TRACE *t, const TRACE_RULES *rules) {
    if (t == nullptr || rules == nullptr) return 0;
    const TRACE_RULES &r = *rules;
    t->count = 0;
    if (t->window == nullptr || t->points == nullptr || g_image.data == nullptr) return 0;
    if ((r.columns != 0 ? t->a.x == t->b.x : t->a.y == t->b.y)) return 0;
    const GEO_POINT p0 = t->flag != 0 ? t->b : t->a;
    const GEO_POINT p1 = t->flag != 0 ? t->a : t->b;
    const i32 step = t->flag != 0 ? r.stepFlag1 : -r.stepFlag1;
    const i32 minStep = r.minStep >= 0 ? r.minStep : static_cast<i32>(g_edgeThresholds.minStep);
    i32 prevSum = r.sumTolerance > 0 ? PixelSum(p1, r) : 0;
    if (prevSum < 0) return 0;
    t->points[0] = p0;
    t->points[1] = p1;
    i32 k = 2;
    i32 expected = t->expectedShift;
    i32 cut = 1;
    i64 positionSum = 0;
    i32 positionCount = 0;
    i64 meanLimit = 0;
    TraceWalk w{p1, 0, r.backward != 0 ? 2 : -2, 0, 0};
    u8 samples[kTraceWindow];
    for (i32 round = 0; round < kTraceRounds && k < kTracePoints; ++round) {
        w.along = r.columns != 0 ? w.prev.y : w.prev.x;
        w.line = (r.columns != 0 ? w.prev.x : w.prev.y) + step;
        w.anchor = w.along + w.offset;
        const i32 count = ReadWindow(w, r, samples);
        if (count == 0) break;
        const i32 n = Prof_FindFallingEdges(samples, count, t->ratio, minStep, t->window, kTraceWindow);
        if (n == 0) break;
        i32 best = -1;
        i32 bestDistance = kNoCandidate;
        for (i32 j = 0; j < n; ++j) {
            const i32 p = t->window[j];
            if (j == 0 && cut == 1 && (p < r.cutLo || p > r.cutHi)) cut = 2;
            if (p < r.candidateLo || p > r.candidateHi) continue;
            const i32 distance = Abs(Abs(NewCoordinate(w, r, p) - w.along) - expected);
            if (distance < bestDistance) {
                best = j;
                bestDistance = distance;
            }
        }
        if (best < 0) break;
        const i32 position = t->window[best];
        if (r.meanTest != 0) {
            if (positionCount != 0 && meanLimit < position) break;
            positionSum += position;
            ++positionCount;
            meanLimit = 2 * positionSum / positionCount;
        }
        const i32 coordinate = NewCoordinate(w, r, position);
        if (cut == 2) {
            MoveOutwards(&w, r);
            cut = 0;
            if (r.repeatAfterCut != 0) continue;
        }
        if (r.widen != 0 && position >= 17 && position <= 31) MoveOutwards(&w, r);
        const GEO_POINT next = r.columns != 0 ? GEO_POINT{w.line, coordinate} : GEO_POINT{coordinate, w.line};
        const i32 shift = coordinate - w.along;
        if (k > 2 && Abs(expected - shift) > kShiftSlack) break;
        if (r.sumTolerance > 0) {
            const i32 sum = PixelSum(next, r);
            if (sum < 0 || Abs(sum - prevSum) > r.sumTolerance) break;
            prevSum = sum;
        }
        t->points[k++] = next;
        w.prev = next;
        expected = shift;
    }
    if (k < 4) return 0;
    const GEO_POINT last = t->points[k - 1];
    t->end0 = t->flag != 0 ? last : p0;
    t->end1 = t->flag != 0 ? p0 : last;
    t->count = k;
    return 1;
}

int LineImg_AttachTraceScratch(EDGE_TRACE *t, i32 scratch) {
    u8 *base = LineImg_FinderScratch(scratch, kTraceScratchBytes);
    if (base == nullptr) return 0;
    t->window = reinterpret_cast<i32 *>(base);
    t->points = reinterpret_cast<GEO_POINT *>(base + kTraceWindow * static_cast<i32>(sizeof(i32)));
    return 1;
}

}  // namespace vexo
