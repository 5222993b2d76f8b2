#include "locate/edge_extension.h"

#include "core/pixel.h"
#include "toolkit/profile.h"

namespace vexo {

namespace {

constexpr i32 kStep = 4;
constexpr i32 kProfileLength = 16;
constexpr i32 kMargin = 16;
constexpr i32 kMinStep = 6;
constexpr i32 kMinEdgePosition = 18;  // 1/16 sample: past the window's first sample
constexpr i32 kNoDeviation = 255;     // the first edge counts only below this

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// Along and across coordinates of a point for the axis.
struct AxisPoint {
    i32 along, across;
};
AxisPoint ToAxis(POINT_I32 p, bool rows) { return rows ? AxisPoint{p.y, p.x} : AxisPoint{p.x, p.y}; }
POINT_I32 FromAxis(AxisPoint a, bool rows) { return rows ? POINT_I32{a.across, a.along} : POINT_I32{a.along, a.across}; }

// Falling edges of the 16-pixel profile from the window start; -1 outside the margin.
i32 ProfileEdges(i32 x, i32 y, bool rows, i32 ratio, i32 *pos) {
    if (x < kMargin || x > g_image.width - kMargin || y < kMargin || y > g_image.height - kMargin) return -1;
    const u8 *first = g_image.data + static_cast<i64>(y) * g_image.width + x;
    return rows ? Prof_FindFallingEdges(first, kProfileLength, ratio, kMinStep, pos, kProfileLength)
                : Prof_FindColumnFallingEdges(first, kProfileLength, ratio, kMinStep, pos, kProfileLength);
}

}  // namespace

int Loc_ExtendFallingEdge(POINT_I32 p, POINT_I32 q, int reverse, POINT_I32 *start, POINT_I32 *end, i32 expectedShift,
                          int axis, i32 ratio, i32 limit, i32 *count) {
    if (count != nullptr) *count = 0;
    if (start == nullptr || end == nullptr || count == nullptr || g_image.data == nullptr) return 0;
    const bool rows = axis == 1;
    AxisPoint pa = ToAxis(p, rows), qa = ToAxis(q, rows);
    if (pa.along == qa.along) return 0;
    const i32 step = reverse == 0 ? kStep : -kStep;
    const i32 sign = expectedShift >= 0 ? 1 : -1;
    i32 expected = expectedShift;
    i32 points = 2;
    AxisPoint prev = reverse == 0 ? qa : pa;
    i32 pos[kProfileLength];
    while (points < kEdgeTrackMaxPoints) {
        const i32 along = prev.along + step;
        if (along > limit) break;
        const i32 across = prev.across - 4;
        const POINT_I32 w = FromAxis(AxisPoint{along, across}, rows);
        const i32 found = ProfileEdges(w.x, w.y, rows, ratio, pos);
        if (found <= 0) break;
        i32 best = -1, bestDev = kNoDeviation;
        for (i32 k = 0; k < found; ++k) {
            if (pos[k] < kMinEdgePosition) continue;
            const i32 s = across + (pos[k] >> 4) - prev.across;
            const i32 dev = Abs32(Abs32(s) - expected);
            if (dev < bestDev) {
                best = k;
                bestDev = dev;
            }
        }
        if (best < 0) break;
        const AxisPoint next{along, across + (pos[best] >> 4)};
        const i32 delta = next.across - prev.across;
        if (points > 2 && (sign * delta < -1 || Abs32(expected - delta) > 1)) break;
        prev = next;
        expected = delta;
        ++points;
    }
    if (points < 4) return 0;
    if (reverse == 0) {
        *start = p;
        *end = FromAxis(prev, rows);
    } else {
        *start = FromAxis(prev, rows);
        *end = q;
    }
    *count = points;
    return 1;
}

}  // namespace vexo
