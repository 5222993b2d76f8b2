// Edge lists of a pair of scan lines.
#include "linear_image/lineimg_edges.h"

#include "linear/line_edge_input.h"

namespace vexo {

namespace {

constexpr i32 kMatchStartDistance = 69;  // 1/16 sample between the first edges of a run
constexpr i32 kMatchSpacingSlack = 20;   // between the spacings of the two lines
constexpr i32 kMatchMinRun = 4;
constexpr i32 kPairDistance = 32;
constexpr i32 kMinBars = 8;
constexpr i32 kWeakLargest = 16;
constexpr i32 kStrongLargest = 124;
constexpr i32 kStrongThreshold = 30;
constexpr i32 kWeakBarSteps = 30;
constexpr i32 kWeakRunKept = 5;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// One monotonic run from i: its far end, and its step and centroid when rising (sign 1)
// or falling (sign -1). Returns the run's end index.
i32 FollowRun(const u8 *s, i32 n, i32 i, i32 sign, i32 *step, i32 *position) {
    i32 j = i;
    i64 weighted = 0;
    i64 total = 0;
    while (j + 1 < n && sign * (static_cast<i32>(s[j + 1]) - s[j]) > 0) {
        const i64 d = static_cast<i64>(s[j + 1]) - s[j];
        weighted += static_cast<i64>(j) * d * d;
        total += d * d;
        ++j;
    }
    *step = Abs(static_cast<i32>(s[j]) - s[i]);
    *position = total == 0 ? 8 : static_cast<i32>(16 * weighted / total) + 8;
    return j;
}

u16 Edges(const u8 *samples, i32 n, i32 *positions, i32 *steps, i32 minStep, i32 capacity, i32 sign) {
    if (samples == nullptr || positions == nullptr || steps == nullptr || capacity <= 0) return 0;
    if (capacity > kLineImgEdgeCap) capacity = kLineImgEdgeCap;
    i32 count = 0;
    i32 i = 0;
    while (i < n - 1 && count < capacity) {
        if (sign * (static_cast<i32>(samples[i + 1]) - samples[i]) <= 0) {
            ++i;
            continue;
        }
        i32 step = 0;
        i32 position = 0;
        const i32 j = FollowRun(samples, n, i, sign, &step, &position);
        if (step >= minStep) {
            positions[count] = position;
            steps[count] = step;
            ++count;
        }
        i = j;
    }
    return static_cast<u16>(count);
}

// Length of the run of agreeing edges from A[i], B[j].
i32 AgreeingRun(const i32 *a, i32 countA, const i32 *b, i32 countB, i32 i, i32 j) {
    i32 len = 1;
    while (i + len < countA && j + len < countB &&
           Abs((a[i + len] - a[i + len - 1]) - (b[j + len] - b[j + len - 1])) <= kMatchSpacingSlack)
        ++len;
    return len;
}

// Index of the largest step among [from, to) (from when the range is empty).
i32 LargestStep(const i32 *steps, i32 from, i32 to) {
    i32 best = from;
    for (i32 k = from + 1; k < to; ++k)
        if (steps[k] > steps[best]) best = k;
    return best;
}

i32 LargestOf(const i32 *steps, i32 n) {
    i32 m = 0;
    for (i32 k = 0; k < n; ++k)
        if (steps[k] > m) m = steps[k];
    return m;
}

i32 ThresholdOf(i32 largest) { return largest >= kStrongLargest ? kStrongThreshold : largest >> 2; }

void CopyEdge(i32 *pos, i32 *step, i32 to, i32 from) {
    pos[to] = pos[from];
    step[to] = step[from];
}

// Widths of m bars (bar, space, bar, ...) into out; false when one is not positive.
bool BarWidths(const i32 *starts, const i32 *ends, i32 m, u16 *out) {
    for (i32 k = 0; k < m; ++k) {
        const i32 bar = ends[k] - starts[k];
        if (bar <= 0 || bar > 0xFFFF) return false;
        out[2 * k] = static_cast<u16>(bar);
        if (k + 1 == m) break;
        const i32 space = starts[k + 1] - ends[k];
        if (space <= 0 || space > 0xFFFF) return false;
        out[2 * k + 1] = static_cast<u16>(space);
    }
    return true;
}

bool EdgesFit(const i32 *starts, const i32 *ends, i32 m) {
    return starts != nullptr && ends != nullptr && m > 0 && 2 * m <= kLineImgInputEdgeCap &&
           starts[0] >= 0 && ends[m - 1] <= 0xFFFF;
}

}  // namespace

u16 LineImg_RisingEdges(const u8 *samples, i32 n, i32 *positions, i32 *steps, i32 minStep, i32 capacity) {
    return Edges(samples, n, positions, steps, minStep, capacity, 1);
}

u16 LineImg_FallingEdges(const u8 *samples, i32 n, i32 *positions, i32 *steps, i32 minStep, i32 capacity) {
    return Edges(samples, n, positions, steps, minStep, capacity, -1);
}

int LineImg_MatchLines(const i32 *fallA, i32 countA, const i32 *fallB, i32 countB, i32 *out, i32 *matched) {
    i32 dummy = 0;
    if (matched == nullptr) matched = &dummy;
    *matched = 0;
    if (fallA == nullptr || fallB == nullptr || out == nullptr) return 0;
    if (countA < 5 || countA > kLineImgMatchCap || countB < 5 || countB > kLineImgMatchCap) return 0;
    i32 i = 0, j = 0, steps = 0, turn = 0, n = 0;
    while (i < countA && j < countB) {
        if (++steps > kLineImgMatchSteps) {
            *matched = 0;
            return 0;
        }
        if (Abs(fallA[i] - fallB[j]) > kMatchStartDistance) {
            // No start pair here: the list that is behind moves on.
            if (fallA[i] < fallB[j]) ++i;
            else ++j;
            continue;
        }
        const i32 len = AgreeingRun(fallA, countA, fallB, countB, i, j);
        if (len >= kMatchMinRun) {
            for (i32 k = 0; k < len && n < kLineImgMatchCap; ++k) out[n++] = fallB[j + k];
            i += len;
            j += len;
            continue;
        }
        if (turn == 0) ++i;
        else ++j;
        turn ^= 1;
    }
    *matched = n;
    return 1;
}

i32 LineImg_IntersectEdges(i32 *posA, i32 *stepA, i32 countA, i32 *posB, i32 *stepB, i32 countB) {
    if (posA == nullptr || stepA == nullptr || posB == nullptr || stepB == nullptr) return 0;
    i32 i = 0, j = 0, n = 0;
    while (i < countA && j < countB) {
        const i32 d = posA[i] - posB[j];
        if (Abs(d) > kPairDistance) {
            if (d < 0) ++i;
            else ++j;
            continue;
        }
        // The list that is behind offers its next edge when that one lies nearer.
        if (d < 0 && i + 1 < countA && Abs(posA[i + 1] - posB[j]) < Abs(d)) {
            ++i;
            continue;
        }
        if (d > 0 && j + 1 < countB && Abs(posB[j + 1] - posA[i]) < Abs(d)) {
            ++j;
            continue;
        }
        CopyEdge(posA, stepA, n, i);
        CopyEdge(posB, stepB, n, j);
        ++n;
        ++i;
        ++j;
    }
    return n;
}

i32 LineImg_AlternateEdges(i32 *risePos, i32 *riseStep, i32 riseCount, i32 *fallPos, i32 *fallStep,
                           i32 fallCount) {
    if (risePos == nullptr || riseStep == nullptr || fallPos == nullptr || fallStep == nullptr) return 0;
    if (riseCount <= 0 || fallCount <= 0) return 0;
    i32 r = 0;
    while (r < riseCount && risePos[r] < fallPos[0]) ++r;
    if (r >= riseCount) return 0;
    i32 f = 0;
    while (f + 1 < fallCount && fallPos[f + 1] < risePos[r]) ++f;
    if (riseCount - r < kMinBars || fallCount - f < kMinBars) return 0;
    i32 bars = 0;
    i32 nextFall = f + 1;  // the first falling edge after the kept one's run
    while (f < fallCount && r < riseCount) {
        // Kept falling edge f; the bar ends at the strongest rising edge before the next fall.
        i32 runEnd = r;
        while (runEnd < riseCount && (nextFall >= fallCount || risePos[runEnd] < fallPos[nextFall])) ++runEnd;
        if (runEnd == r) break;
        const i32 rise = LargestStep(riseStep, r, runEnd);
        CopyEdge(fallPos, fallStep, bars, f);
        CopyEdge(risePos, riseStep, bars, rise);
        ++bars;
        r = runEnd;
        if (r >= riseCount || nextFall >= fallCount) break;
        // The next bar starts at the strongest falling edge before the next rise.
        i32 fallEnd = nextFall;
        while (fallEnd < fallCount && fallPos[fallEnd] < risePos[r]) ++fallEnd;
        f = LargestStep(fallStep, nextFall, fallEnd);
        nextFall = fallEnd;
    }
    return bars;
}

int LineImg_TrimWeakEnds(const i32 *risePos, const i32 *riseStep, const i32 *fallPos, const i32 *fallStep, i32 n,
                         i32 *first, i32 *last) {
    if (risePos == nullptr || riseStep == nullptr || fallPos == nullptr || fallStep == nullptr || first == nullptr ||
        last == nullptr || n <= 0)
        return 0;
    const i32 maxRise = LargestOf(riseStep, n);
    const i32 maxFall = LargestOf(fallStep, n);
    if (maxRise <= kWeakLargest || maxFall <= kWeakLargest) return 0;
    const i32 riseThreshold = ThresholdOf(maxRise);
    const i32 fallThreshold = ThresholdOf(maxFall);
    i32 a = 0;
    while (a < n && fallStep[a] <= fallThreshold) ++a;
    i32 b = n - 1;
    while (b >= 0 && riseStep[b] <= riseThreshold) --b;
    *first = a;
    *last = b;
    return a < b ? 1 : 0;
}

i32 LineImg_MergeWeakElements(i32 *risePos, i32 *riseStep, i32 *fallPos, i32 *fallStep, i32 first, i32 last) {
    if (risePos == nullptr || riseStep == nullptr || fallPos == nullptr || fallStep == nullptr) return 0;
    if (first < 0 || last < first) return 0;
    i32 out = 0;
    CopyEdge(fallPos, fallStep, 0, first);
    bool lookingForEnd = true;
    i32 i = first;
    // Steps are read before the slot they may land in is written: every write goes to an
    // index at or below the one being read.
    i32 prevRiseStep = 0;
    while (i < last) {
        const i32 riseStepHere = riseStep[i];
        if (lookingForEnd) {
            const i32 keep = riseStepHere + fallStep[i + 1];
            const i32 against = (fallStep[i] + riseStep[i + 1]) / 8;
            if (keep > against) {
                CopyEdge(risePos, riseStep, out, i);
                ++out;
                lookingForEnd = false;
            }
            // Kept or not, the next bar start is looked for at i + 1; a dropped bar end
            // means the space after bar i was spurious and the bars merge.
            prevRiseStep = riseStepHere;
            ++i;
            continue;
        }
        const i32 keep = fallStep[i] + riseStepHere;
        const i32 against = (prevRiseStep + fallStep[i + 1]) / 8;
        if (keep > against) {
            CopyEdge(fallPos, fallStep, out, i);
            lookingForEnd = true;
            continue;
        }
        prevRiseStep = riseStepHere;  // bar i is spurious: the spaces around it merge
        ++i;
    }
    if (!lookingForEnd) CopyEdge(fallPos, fallStep, out, last);
    CopyEdge(risePos, riseStep, out, last);
    return out + 1;
}

i32 LineImg_DropWeakRuns(i32 *risePos, i32 *riseStep, i32 *fallPos, i32 *fallStep, i32 n) {
    if (risePos == nullptr || riseStep == nullptr || fallPos == nullptr || fallStep == nullptr || n <= 0) return 0;
    i32 out = 0;
    i32 k = 0;
    while (k < n) {
        i32 end = k;
        while (end < n && riseStep[end] + fallStep[end] < kWeakBarSteps) ++end;
        if (end - k > kWeakRunKept) {
            k = end;  // the whole weak run goes
            continue;
        }
        if (end == k) end = k + 1;  // a strong bar
        for (; k < end; ++k) {
            CopyEdge(risePos, riseStep, out, k);
            CopyEdge(fallPos, fallStep, out, k);
            ++out;
        }
    }
    return out;
}

i32 LineImg_WriteWidths(const i32 *barStarts, const i32 *barEnds, i32 m, LINEIMG_LINE_RECORD *record) {
    if (record == nullptr || record->edges == nullptr || record->widths == nullptr) return 0;
    if (!EdgesFit(barStarts, barEnds, m) || 2 * m > record->room || 2 * m - 1 > kLineEdgeRoom) return 0;
    if (!BarWidths(barStarts, barEnds, m, record->widths)) return 0;
    for (i32 k = 0; k < m; ++k) {
        record->edges[2 * k] = static_cast<u16>(barStarts[k]);
        record->edges[2 * k + 1] = static_cast<u16>(barEnds[k]);
    }
    const i32 widths = 2 * m - 1;
    record->edgeCount = static_cast<u16>(2 * m);
    record->widthCount = static_cast<u16>(widths);
    g_lineEdgeInput.widths = g_lineEdgeWidthRoom;
    for (i32 k = 0; k < widths; ++k) g_lineEdgeWidthRoom[k] = record->widths[k];
    g_lineEdgeInput.widthCount = static_cast<i16>(widths);
    return widths;
}

i32 LineImg_WriteEdgeInput(const i32 *barStarts, const i32 *barEnds, i32 m) {
    if (!EdgesFit(barStarts, barEnds, m) || 2 * m > kLineEdgeRoom) return 0;
    u16 scratch[kLineImgInputEdgeCap];
    if (!BarWidths(barStarts, barEnds, m, scratch)) return 0;
    g_lineEdgeInput.edges = g_lineEdgePositionRoom;
    for (i32 k = 0; k < m; ++k) {
        g_lineEdgePositionRoom[2 * k] = static_cast<u16>(barStarts[k]);
        g_lineEdgePositionRoom[2 * k + 1] = static_cast<u16>(barEnds[k]);
    }
    g_lineEdgeInput.edgeCount = static_cast<u16>(2 * m);
    g_lineEdgeInput.widthCount = static_cast<i16>(2 * m - 1);
    return 2 * m;
}

}  // namespace vexo
