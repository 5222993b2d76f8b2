// Edge thresholds of a region and the test for regions crossed by bars.
#include <cstdint>

#include "core/pixel.h"
#include "core/state.h"
#include "locate/finder.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kLineSamples = 1280;   // longest line sampled
constexpr i32 kMaxDescents = 128;    // descents kept by the threshold estimate
constexpr i32 kEstimateScratch = 2 * kMaxDescents * 4;
constexpr i32 kLineEdges = 256;      // falling edges kept per line of the linear test
constexpr i32 kLinearScratch = kLineSamples + 6 * kLineEdges * 4;
static_assert(kLinearScratch == 7424);
constexpr i32 kDefaultRatio = 102;
constexpr u32 kDefaultMinStep = 6;
constexpr i32 kFewDescentsRatio = 125;
constexpr i32 kLinearMinEdges = 9;
constexpr i32 kLinearTolerance = 50;  // 1/16 pixel
constexpr i32 kLinearMinRun = 4;
constexpr i32 kDropRowSamples = 400;

// The second buffer at offset when it has room there for n bytes and the up to three
// that aligning words may cost; else null.
u8 *Scratch(i64 offset, i64 n) {
    if (g_image.buffer2 == nullptr || offset < 0) return nullptr;
    return offset + n + 3 <= Loc_SecondBufferBytes() ? g_image.buffer2 + offset : nullptr;
}

i32 *AlignedWords(u8 *p) { return reinterpret_cast<i32 *>(p + ((4 - (reinterpret_cast<uintptr_t>(p) & 3)) & 3)); }

// (2 s[i-1] + 4 s[i] + 2 s[i+1]) >> 3 on samples 1 .. n-2, from the unsmoothed values.
void SmoothLine(u8 *s, i32 n) {
    if (n <= 2) return;
    i32 before = s[0];
    for (i32 i = 1; i < n - 1; ++i) {
        const i32 here = s[i];
        s[i] = static_cast<u8>((2 * before + 4 * here + 2 * s[i + 1]) >> 3);
        before = here;
    }
}

// Last sample of the strictly falling run that starts at i (s[i + 1] < s[i]).
i32 DescentBottom(const u8 *s, i32 i, i32 n) {
    i32 b = i + 1;
    while (b + 1 < n && s[b + 1] < s[b]) ++b;
    return b;
}

bool DescentAccepted(i32 top, i32 drop, i32 minDrop, i32 ratio) {
    return drop > minDrop && static_cast<i64>(drop) * 1024 >= static_cast<i64>(top) * ratio;
}

i32 Scaled07(i64 mean) { return static_cast<i32>(static_cast<f64>(mean) * 0.7 + 0.5); }

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Mid(i32 a, i32 b) { return static_cast<i32>((static_cast<i64>(a) + b) >> 1); }

// Samples the line p-q into samples (smoothed) and finds its falling edges.
i32 FallingEdgesOfLine(const GEO_POINT &p, const GEO_POINT &q, u8 *samples, i32 *edges) {
    const i32 n = Geo_SampleLine(g_image.data, &p, &q, samples, kLineSamples);
    SmoothLine(samples, n);
    const u32 step = g_edgeThresholds.minStep;
    const i32 minStep = step > 0x7fffffffu ? 0x7fffffff : static_cast<i32>(step);
    return Prof_FindFallingEdges(samples, n, g_edgeThresholds.ratio, minStep, edges, kLineEdges);
}

// Matched pairs of two edge lists, by runs of equal spacing.
i32 MatchLines(i32 *a, i32 countA, i32 *b, i32 countB, i32 *out) {
    EDGE_PAIRING e{};
    e.tolerance = kLinearTolerance;
    e.capacity = kLineEdges;
    e.minRun = kLinearMinRun;
    e.countA = countA;
    e.countB = countB;
    e.posA = a;
    e.posB = b;
    e.outPositions = out;
    e.matchA = out + kLineEdges;
    e.matchB = out + 2 * kLineEdges;
    Geo_MatchPositionRuns(&e);
    return e.matchCount;
}

bool PairHolds(i32 c1, i32 c2, i32 matched) { return Abs32(c1 - c2) <= 1 && matched == Min32(c1, c2); }

}  // namespace

i64 Loc_SecondBufferBytes() {
    if (g_image.buffer2 == nullptr) return 0;
    if (g_image.buffer2 == g_internalImage) return kInternalImageBytes;
    if (g_image.width <= 0 || g_image.height <= 0) return 0;
    return static_cast<i64>(g_image.width) * g_image.height;
}

int Loc_EstimateEdgeThresholds(const u8 *samples, int count, int minDrop, int ratio, u32 *minStep,
                               int scratchOffset) {
    i32 local[2 * kMaxDescents];
    u8 *scratch = Scratch(scratchOffset, kEstimateScratch);
    i32 *rel = scratch != nullptr ? AlignedWords(scratch) : local;
    i32 *drops = rel + kMaxDescents;
    i32 j = 0;
    i64 relSum = 0, dropSum = 0;
    for (i32 i = 0; samples != nullptr && i < count - 1 && j < kMaxDescents;) {
        if (samples[i + 1] >= samples[i]) {
            i += 2;  // a flat or rising step skips the next sample too
            continue;
        }
        const i32 b = DescentBottom(samples, i, count);
        const i32 top = samples[i];
        const i32 drop = top - samples[b];
        if (DescentAccepted(top, drop, minDrop, ratio)) {
            rel[j] = drop * 1024 / top;
            drops[j] = drop;
            relSum += rel[j];
            dropSum += drop;
            ++j;
        }
        i = b + 1;
    }
    i32 outRatio = kDefaultRatio;
    u32 outStep = kDefaultMinStep;
    if (j > 4) {
        const i32 r = Scaled07(relSum / j);
        const i32 s = Scaled07(dropSum / j);
        outRatio = r > kDefaultRatio ? r : kDefaultRatio;
        outStep = static_cast<u32>(s > 7 ? s : 7);
    } else if (j > 0) {
        outRatio = kFewDescentsRatio;
    }
    if (minStep != nullptr) *minStep = outStep;
    return outRatio;
}

int Loc_QuadMidlineThresholds(REGION_QUAD *region, u32 *minStep) {
    u8 *samples = Scratch(0, kLineSamples);
    if (region == nullptr || samples == nullptr || g_image.data == nullptr)
        return Loc_EstimateEdgeThresholds(nullptr, 0, 6, kDefaultRatio, minStep, kLineSamples);
    const POINT_I32 *c = region->c;
    const GEO_POINT p{Mid(c[kTopLeft].x, c[kBottomLeft].x), Mid(c[kTopLeft].y, c[kBottomLeft].y)};
    const GEO_POINT q{Mid(c[kTopRight].x, c[kBottomRight].x), Mid(c[kTopRight].y, c[kBottomRight].y)};
    const i32 n = Geo_SampleLine(g_image.data, &p, &q, samples, kLineSamples);
    SmoothLine(samples, n);
    return Loc_EstimateEdgeThresholds(samples, n, 6, kDefaultRatio, minStep, kLineSamples);
}

int Loc_ParallelLinesMatch(GEO_POINT p0, GEO_POINT p1, GEO_POINT p2, GEO_POINT p3, int offset, i32 *minCount,
                           i32 *matched) {
    u8 *scratch = Scratch(offset, kLinearScratch);
    if (scratch == nullptr || g_image.data == nullptr) return 0;
    i32 *lists = AlignedWords(scratch + kLineSamples);
    i32 *out = lists + 3 * kLineEdges;
    GEO_POINT from[3], to[3];
    Geo_Midpoint(&p0, &p2, &from[0]);
    Geo_Midpoint(&p1, &p3, &to[0]);
    Geo_StepTowards(&from[0], &p0, &from[1], 4);
    Geo_StepTowards(&to[0], &p1, &to[1], 4);
    Geo_StepTowards(&from[0], &p0, &from[2], 8);
    Geo_StepTowards(&to[0], &p1, &to[2], 8);
    i32 counts[3];
    for (int k = 0; k < 3; ++k) counts[k] = FallingEdgesOfLine(from[k], to[k], scratch, lists + k * kLineEdges);
    for (i32 c : counts)
        if (c < kLinearMinEdges) return 0;
    const i32 m12 = MatchLines(lists, counts[0], lists + kLineEdges, counts[1], out);
    const bool pair1 = PairHolds(counts[0], counts[1], m12);
    const i32 m23 = MatchLines(lists + kLineEdges, counts[1], lists + 2 * kLineEdges, counts[2], out);
    if (minCount != nullptr) *minCount = Min32(counts[1], counts[2]);
    if (matched != nullptr) *matched = m23;
    return pair1 && PairHolds(counts[1], counts[2], m23) ? 1 : 0;
}

int Loc_RegionLooksLinear(REGION_QUAD *region) {
    if (region == nullptr) return 0;
    const POINT_I32 *c = region->c;
    i32 minCount = 0, matched = 0;
    if (Loc_ParallelLinesMatch(c[kTopLeft], c[kTopRight], c[kBottomLeft], c[kBottomRight], 0, &minCount,
                               &matched) == 1)
        return 1;
    return Loc_ParallelLinesMatch(c[kTopRight], c[kBottomRight], c[kTopLeft], c[kBottomLeft], 0, &minCount,
                                  &matched) == 1
               ? 1
               : 0;
}

int Loc_MeanRelativeDrop(const DROP_SCAN *scan) {
    if (scan == nullptr || scan->samples == nullptr) return kDefaultRatio;
    const u8 *s = scan->samples;
    i32 j = 0;
    i64 sum = 0;
    for (i32 i = 0; i < scan->count - 1 && j < scan->capacity;) {
        if (s[i + 1] >= s[i]) {
            ++i;
            continue;
        }
        const i32 b = DescentBottom(s, i, scan->count);
        const i32 drop = s[i] - s[b];
        if (DescentAccepted(s[i], drop, scan->minDrop, scan->ratio)) {
            const i32 rel = drop * 1024 / s[i];
            if (scan->out != nullptr) scan->out[j] = rel;
            sum += rel;
            ++j;
        }
        i = b + 1;
    }
    if (j == 0) return kDefaultRatio;
    const i64 mean = sum / j;
    return mean >= 206 ? static_cast<int>(mean >> 1) : kDefaultRatio;
}

int Loc_RegionDropRatio(REGION_QUAD *region) {
    if (region == nullptr || g_image.data == nullptr) return kDefaultRatio;
    const POINT_I32 *c = region->c;
    const i64 q = (static_cast<i64>(c[kBottomLeft].y) - c[kTopLeft].y) >> 2;
    const i32 x = c[kTopLeft].x;
    if (q <= 0 || x < 0 || x >= g_image.width) return kDefaultRatio;
    i64 n = static_cast<i64>(c[kTopRight].x) - x;
    if (n > kDropRowSamples) n = kDropRowSamples;
    if (n > g_image.width - x) n = g_image.width - x;
    i32 out[kDropRowSamples];
    u16 sum = 0, rows = 0;
    for (i64 y = c[kTopLeft].y + q; y < c[kBottomLeft].y; y += q) {
        if (y < 0 || y >= g_image.height) continue;
        const DROP_SCAN scan{g_image.data + y * g_image.width + x, out, kDropRowSamples, static_cast<i32>(n), 6,
                             kDefaultRatio};
        sum = static_cast<u16>(sum + Loc_MeanRelativeDrop(&scan));
        rows = static_cast<u16>(rows + 1);
    }
    return rows == 0 ? kDefaultRatio : sum / rows;
}

int Loc_AbsOrTimesTen(int a) { return a < 0 ? -a : 10 * a; }

int Loc_WrapDir4(int a) { return a >= 4 ? a - 4 : a; }

int Loc_WrapDir16(int a) { return a >= 16 ? a - 16 : a; }

void Loc_BubbleSortInts(int *v, int n) {
    if (v == nullptr) return;
    for (int pass = 0; pass < n - 1; ++pass) {
        for (int k = 0; k + 1 < n - pass; ++k) {
            if (v[k] > v[k + 1]) {
                const int t = v[k];
                v[k] = v[k + 1];
                v[k + 1] = t;
            }
        }
    }
}

void Loc_SmoothRun121(u8 *run, int n) {
    if (run == nullptr || n <= 0) return;
    i32 before = run[-1];
    const u8 first = run[0];
    for (int k = 0; k < n - 1; ++k) {
        const i32 here = run[k];
        run[k] = static_cast<u8>((before + 2 * here + run[k + 1]) >> 2);
        before = here;
    }
    run[-1] = first;
}

void Loc_MarkEveryFourthRow(u8 *image, int rowLength, int rows) {
    if (image == nullptr || rowLength <= 7 || rows <= 3) return;
    for (int r = 2; r < rows; r += 4) {
        u8 *tail = image + static_cast<i64>(r) * rowLength + rowLength - 8;
        for (int k = 0; k < 8; ++k) tail[k] = (k & 1) == 0 ? 255 : 0;
    }
}

}  // namespace vexo
