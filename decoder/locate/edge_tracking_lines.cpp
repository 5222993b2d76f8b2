// Edge searches on sample lines for the edge-tracking finder: one contrast rule that looks
// only at the brighter end of an edge, so that no per-image threshold is needed.
#include "core/pixel.h"
#include "locate/edge_tracking.h"
#include "toolkit/digital_line.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Direction of a run: Rise follows growing values, otherwise shrinking ones.
template <bool Rise>
bool Continues(u8 from, u8 to) {
    return Rise ? to > from : to < from;
}
template <bool Rise>
i32 StepOf(const u8 *s, i32 k) {
    return Rise ? static_cast<i32>(s[k + 1]) - s[k] : static_cast<i32>(s[k]) - s[k + 1];
}

// End of the bridged run starting at i (the caller has seen it start).
template <bool Rise>
i32 BridgedEnd(const u8 *s, i32 last, i32 i) {
    i32 a = i;
    while ((a < last && Continues<Rise>(s[a], s[a + 1])) || (a + 2 < last && Continues<Rise>(s[a], s[a + 2]))) ++a;
    return a;
}

// Step-weighted mean of the step indices i .. a - 1, truncated toward zero.
template <bool Rise>
i32 RunPosition(const u8 *s, i32 i, i32 a, i32 step) {
    i64 sum = 0;
    for (i32 k = i; k < a; ++k) sum += static_cast<i64>(k) * StepOf<Rise>(s, k);
    return static_cast<i32>(sum / step);
}

template <bool Rise>
bool Qualifies(const u8 *s, i32 i, i32 a, i32 *step) {
    *step = Rise ? static_cast<i32>(s[a]) - s[i] : static_cast<i32>(s[i]) - s[a];
    return *step > 0 && *step >= Loc_EdgeMinStep(Rise ? s[a] : s[i]);
}

template <bool Rise>
i32 RowEdges(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 *meanWidth) {
    i32 count = 0, widthSum = 0;
    if (s != nullptr && positions != nullptr && capacity > 0 && n >= 2) {
        const i32 last = n - 1;
        i32 i = 0;
        while (i < last && count < capacity) {
            if (!Continues<Rise>(s[i], s[i + 1])) {
                ++i;
                continue;
            }
            const i32 a = BridgedEnd<Rise>(s, last, i);
            i32 step = 0;
            if (Qualifies<Rise>(s, i, a, &step)) {
                positions[count++] = RunPosition<Rise>(s, i, a, step);
                widthSum += a - i + 1;
            }
            i = a;
        }
    }
    if (meanWidth != nullptr) *meanWidth = count > 0 ? widthSum / count : 3;
    return count;
}

template <bool Rise>
i32 StrongestEdge(const u8 *s, i32 n, i32 *position) {
    if (s == nullptr || position == nullptr || n < 2) return 0;
    const i32 last = n - 1;
    i32 best = 0;
    for (i32 i = 0; i < last;) {
        if (!Continues<Rise>(s[i], s[i + 1])) {
            ++i;
            continue;
        }
        const i32 a = BridgedEnd<Rise>(s, last, i);
        i32 step = 0;
        if (Qualifies<Rise>(s, i, a, &step) && step > best) {
            best = step;
            *position = RunPosition<Rise>(s, i, a, step);
        }
        i = a;
    }
    return best > 0 ? 1 : 0;
}

template <bool Rise>
i32 StrictEnd(const u8 *s, i32 last, i32 i) {
    i32 e = i;
    while (e < last && Continues<Rise>(s[e], s[e + 1])) ++e;
    return e;
}

template <bool Rise>
i32 CountEdges(const u8 *s, i32 n) {
    if (s == nullptr || n < 2) return 0;
    const i32 last = n - 1;
    i32 count = 0;
    for (i32 i = 0; i < last;) {
        if (!Continues<Rise>(s[i], s[i + 1])) {
            ++i;
            continue;
        }
        const i32 e = StrictEnd<Rise>(s, last, i);
        i32 step = 0;
        if (Qualifies<Rise>(s, i, e, &step)) ++count;
        i = e;
    }
    return count;
}

template <bool Rise>
i32 Edges16(const u8 *s, i32 n, i32 *positions, u8 *steps, i32 capacity, i32 minStep) {
    if (s == nullptr || positions == nullptr || capacity <= 0 || n < 2) return 0;
    const i32 last = n - 1;
    i32 count = 0;
    for (i32 i = 0; i < last && count < capacity;) {
        if (!Continues<Rise>(s[i], s[i + 1])) {
            ++i;
            continue;
        }
        const i32 e = StrictEnd<Rise>(s, last, i);
        const i32 drop = Rise ? static_cast<i32>(s[e]) - s[i] : static_cast<i32>(s[i]) - s[e];
        if (drop >= minStep && drop > 0) {
            i64 sum = 0;
            for (i32 k = i; k < e; ++k) sum += static_cast<i64>(k) * StepOf<Rise>(s, k);
            positions[count] = static_cast<i32>(16 * sum / drop + 8);
            if (steps != nullptr) steps[count] = static_cast<u8>(drop & 0xFF);
            ++count;
        }
        i = e;
    }
    return count;
}

i32 PixelOrZero(const u8 *image, i64 x, i64 y) {
    if (x < 0 || y < 0 || x >= g_image.width || y >= g_image.height) return 0;
    return image[y * g_image.width + x];
}

}  // namespace

i32 Loc_EdgeMinStep(i32 brighter) { return brighter <= 93 ? 15 : (brighter - 30) >> 2; }

i32 Loc_RowFallingEdges(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 *meanWidth) {
    return RowEdges<false>(s, n, positions, capacity, meanWidth);
}
i32 Loc_RowRisingEdges(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 *meanWidth) {
    return RowEdges<true>(s, n, positions, capacity, meanWidth);
}
i32 Loc_StrongestFallingEdge(const u8 *s, i32 n, i32 *position) { return StrongestEdge<false>(s, n, position); }
i32 Loc_StrongestRisingEdge(const u8 *s, i32 n, i32 *position) { return StrongestEdge<true>(s, n, position); }
i32 Loc_CountRisingEdges(const u8 *s, i32 n) { return CountEdges<true>(s, n); }
i32 Loc_CountFallingEdges(const u8 *s, i32 n) { return CountEdges<false>(s, n); }

i32 Loc_LineVariation(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1) {
    if (image == nullptr) return 0;
    DigitalLineWalk w(x0, y0, x1, y1);
    i32 prev = PixelOrZero(image, w.x, w.y);
    i64 total = 0;
    for (i64 k = 0; k < w.n; ++k) {
        w.Next();
        const i32 v = PixelOrZero(image, w.x, w.y);
        total += v > prev ? v - prev : prev - v;
        prev = v;
    }
    return static_cast<i32>(total > 0x7FFFFFFF ? 0x7FFFFFFF : total);
}

i32 Loc_FallingEdges16(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 minStep) {
    return Edges16<false>(s, n, positions, nullptr, capacity, minStep);
}
i32 Loc_RisingEdges16(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 minStep) {
    return Edges16<true>(s, n, positions, nullptr, capacity, minStep);
}
i32 Loc_FallingEdgeSteps16(const u8 *s, i32 n, i32 *positions, u8 *steps, i32 capacity, i32 minStep) {
    if (steps == nullptr) return 0;
    return Edges16<false>(s, n, positions, steps, capacity, minStep);
}
i32 Loc_RisingEdgeSteps16(const u8 *s, i32 n, i32 *positions, u8 *steps, i32 capacity, i32 minStep) {
    if (steps == nullptr) return 0;
    return Edges16<true>(s, n, positions, steps, capacity, minStep);
}

i32 Loc_LineStepOffsets(i32 x0, i32 y0, i32 x1, i32 y1, i32 *dx, i32 *dy, i32 capacity) {
    if (dx == nullptr || dy == nullptr || capacity <= 0) return 0;
    DigitalLineWalk w(x0, y0, x1, y1);
    const i64 total = w.n + 1 < capacity ? w.n + 1 : capacity;
    for (i64 k = 0; k < total; ++k) {
        if (k > 0) w.Next();
        dx[k] = static_cast<i32>(w.x - x0);
        dy[k] = static_cast<i32>(w.y - y0);
    }
    return static_cast<i32>(total);
}

i32 Loc_SumBytes(const u8 *s, i32 n) {
    if (s == nullptr || n <= 0) return 0;
    i32 sum = 0;
    for (i32 k = 0; k < n; ++k) sum += s[k];
    return sum;
}

i32 Loc_SumAbsSteps(const u8 *s, i32 n) {
    if (s == nullptr || n < 2) return 0;
    i32 sum = 0;
    for (i32 k = 1; k < n; ++k) sum += s[k] > s[k - 1] ? s[k] - s[k - 1] : s[k - 1] - s[k];
    return sum;
}

void Loc_BufferMinMax(const u8 *s, i32 n, u8 *largest, u8 *smallest) {
    if (largest == nullptr || smallest == nullptr) return;
    u8 hi = 0, lo = 255;
    if (s != nullptr)
        for (i32 k = 0; k < n; ++k) {
            if (s[k] > hi) hi = s[k];
            if (s[k] < lo) lo = s[k];
        }
    *largest = hi;
    *smallest = lo;
}

void Loc_LargestMonotoneSwing(const u8 *s, i32 n, i32 *swing, i32 *start, i32 *end) {
    if (swing == nullptr || start == nullptr || end == nullptr) return;
    i32 best = 0, bs = 0, be = 0;
    if (s != nullptr)
        for (i32 i = 0; i + 1 < n;) {
            if (s[i + 1] == s[i]) {
                ++i;
                continue;
            }
            const i32 e = s[i + 1] > s[i] ? StrictEnd<true>(s, n - 1, i) : StrictEnd<false>(s, n - 1, i);
            const i32 d = s[e] > s[i] ? s[e] - s[i] : s[i] - s[e];
            if (d > best) {
                best = d;
                bs = i;
                be = e;
            }
            i = e;
        }
    *swing = best;
    *start = bs;
    *end = be;
}

i32 Loc_SampleLineChecked(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out) {
    if (image == nullptr || out == nullptr) return 0;
    return DM_SampleImageLine(image, x0, y0, x1, y1, out);
}

i32 Loc_LineIntensitySum(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1) {
    if (image == nullptr) return 0;
    DigitalLineWalk w(x0, y0, x1, y1);
    i64 sum = PixelOrZero(image, w.x, w.y);
    for (i64 k = 0; k < w.n; ++k) {
        w.Next();
        sum += PixelOrZero(image, w.x, w.y);
    }
    return static_cast<i32>(sum > 0x7FFFFFFF ? 0x7FFFFFFF : sum);
}

}  // namespace vexo
