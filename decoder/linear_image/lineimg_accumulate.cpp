// Multi-line accumulation: where single scan lines are too noisy, the averaged profiles of
// up to 20 lines that agree with each other are read instead.
#include "linear_image/lineimg_accumulate.h"

#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_toolkit.h"
#include "linear_image/lineimg_layout.h"
#include "toolkit/sampling.h"

namespace vexo {

u8 g_lineImgMethodsOff = 0;

namespace {

// Accumulator blocks in bytes per image-width pixel: line samples, line edges, four the
// steps here leave unused, and the resampled line profiles.
constexpr i32 kBlockScale[kAccBlocks] = {40, 40, 2, 2, 2, 4, 2, 80};
static_assert(sizeof(kBlockScale) / sizeof(kBlockScale[0]) == 8);
constexpr i32 kSamplesBlock = 0;
constexpr i32 kEdgesBlock = 1;
constexpr i32 kProfilesBlock = 7;

void *g_accHeld[kAccBlocks] = {};
i32 g_accTaken = 0;
i32 g_accWidth = 0;
LINEIMG_ACCUMULATOR g_acc;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// The largest and smallest samples of [lo, hi].
void SampleRange(const u8 *s, i32 lo, i32 hi, i32 *max, i32 *min) {
    *max = 0;
    *min = 255;
    for (i32 k = lo; k <= hi; ++k) {
        if (s[k] > *max) *max = s[k];
        if (s[k] < *min) *min = s[k];
    }
}

// The [lo, hi] range of the walk's parameter t (0..length along the major axis) for which
// start + (end - start) t / length lies inside 0..size - 1 on one axis.
void ClipAxis(f64 start, f64 delta, f64 length, f64 size, f64 *lo, f64 *hi) {
    if (delta == 0) {
        if (start < 0 || start > size - 1) *hi = -1;
        return;
    }
    f64 a = (0 - start) * length / delta;
    f64 b = (size - 1 - start) * length / delta;
    if (a > b) {
        const f64 t = a;
        a = b;
        b = t;
    }
    if (a > *lo) *lo = a;
    if (b < *hi) *hi = b;
}

// Samples line m of the quad and sets its offsets and map.
void ReadLine(LINEIMG_ACCUMULATOR *acc, i32 m) {
    LINEIMG_ACC_LINE &l = acc->lines[m];
    l.sampleCount = 0;
    l.edgeCount = 0;
    l.intervals = 0;
    l.startOffset = 0;
    l.endOffset = 0;
    const i64 f = m + 1;
    const GEO_POINT s16{static_cast<i32>(acc->p0.x + static_cast<i64>(acc->v0.x) * f / 21),
                        static_cast<i32>(acc->p0.y + static_cast<i64>(acc->v0.y) * f / 21)};
    const GEO_POINT e16{static_cast<i32>(acc->p1.x + static_cast<i64>(acc->v1.x) * f / 21),
                        static_cast<i32>(acc->p1.y + static_cast<i64>(acc->v1.y) * f / 21)};
    const GEO_POINT p{s16.x >> 4, s16.y >> 4};
    const GEO_POINT q{e16.x >> 4, e16.y >> 4};
    const i64 dx = static_cast<i64>(q.x) - p.x, dy = static_cast<i64>(q.y) - p.y;
    const i64 length = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    l.mapStart = 0;
    l.mapEnd = static_cast<i32>(16 * (length < 2 * acc->width ? length : 2 * acc->width));
    const i32 n = Geo_SampleLineImage(g_image.data, &p, &q, l.samples, 2 * acc->width);
    if (n < 2) return;
    l.sampleCount = static_cast<u16>(n);
    f64 lo = 0, hi = static_cast<f64>(length);
    ClipAxis(p.x, static_cast<f64>(dx), static_cast<f64>(length), g_image.width, &lo, &hi);
    ClipAxis(p.y, static_cast<f64>(dy), static_cast<f64>(length), g_image.height, &lo, &hi);
    if (hi < lo) return;
    // The first and last whole sample inside, 16 in from each; never past the samples.
    i64 start = 16 * static_cast<i64>(std::ceil(lo)) + 16;
    i64 end = 16 * static_cast<i64>(std::floor(hi)) - 16;
    if (end > 16 * static_cast<i64>(n - 1) - 16) end = 16 * static_cast<i64>(n - 1) - 16;
    if (start < 0 || end <= start) return;
    l.startOffset = static_cast<u16>(start);
    l.endOffset = static_cast<u16>(end);
}

// One monotonic run of values from index i: its last index (i itself when flat or at a
// gap), its direction (-1, 0, 1).
i32 RunEnd(const u16 *v, i32 i, i32 last, i32 *dir) {
    *dir = 0;
    if (i >= last || v[i] == kAccNoValue || v[i + 1] == kAccNoValue || v[i + 1] == v[i]) return i;
    *dir = v[i + 1] > v[i] ? 1 : -1;
    i32 j = i;
    while (j < last && v[j + 1] != kAccNoValue && (*dir > 0 ? v[j + 1] > v[j] : v[j + 1] < v[j])) ++j;
    return j;
}

// 16 x the step-weighted centroid of the differences of run [i, j], differences between
// k and k + 1 counting at k + 0.5; offset 8 is the position of the first sample's half.
template <class T>
i32 Centroid(const T *v, i32 i, i32 j, i32 half) {
    i64 num = 0, den = 0;
    for (i32 k = i; k < j; ++k) {
        const i64 d = v[k + 1] > v[k] ? v[k + 1] - v[k] : v[k] - v[k + 1];
        num += 16 * static_cast<i64>(k) * d;
        den += d;
    }
    if (den == 0) return 16 * i + half;
    return static_cast<i32>((num + half * den) / den);
}

// Least-squares line through (x, y): 0 when the xs do not spread.
bool Fit(const i32 *x, const i32 *y, i32 n, f64 *a, f64 *b) {
    f64 sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (i32 k = 0; k < n; ++k) {
        sx += x[k];
        sy += y[k];
        sxx += static_cast<f64>(x[k]) * x[k];
        sxy += static_cast<f64>(x[k]) * y[k];
    }
    const f64 den = n * sxx - sx * sx;
    if (n < 2 || den == 0) return false;
    *a = (n * sxy - sx * sy) / den;
    *b = (sy - *a * sx) / n;
    return true;
}

i32 Apply(f64 a, f64 b, i32 x) {
    const f64 v = std::floor(a * x + b + 0.5);
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return static_cast<i32>(v);
}

// Index of the edge of one parity nearest to x, moving on from *k (positions rise).
i32 Nearest(const u16 *edges, i32 count, i32 *k, i32 x) {
    while (*k + 2 < count && Abs(edges[*k + 2] - x) <= Abs(edges[*k] - x)) *k += 2;
    return *k;
}

// Stretches of the matched line positions, split at gaps above 300 (at most 5).
i32 SplitStretches(const i32 *pos, i32 n, i32 out[kAccStretchCap][2]) {
    i32 count = 0, start = pos[0];
    for (i32 k = 1; k <= n && count < kAccStretchCap; ++k) {
        if (k == n || pos[k] - pos[k - 1] > kAccStretchGap) {
            out[count][0] = start;
            out[count][1] = pos[k - 1];
            ++count;
            if (k < n) start = pos[k];
        }
    }
    return count;
}

// Edge of profile run [i, j] appended to the candidate.
struct PROFILE_EDGE {
    i32 pos;
    i32 step;
    i32 dir;
    i32 runStart;
    i32 runEnd;
};

// The strongest run of direction dir spanning more than one entry inside (from, to).
bool WeakerEdge(const u16 *p, i32 last, i32 from, i32 to, i32 dir, PROFILE_EDGE *out) {
    bool found = false;
    for (i32 i = from; i < to && i < last;) {
        i32 d = 0;
        const i32 j = RunEnd(p, i, last, &d);
        if (j == i) {
            ++i;
            continue;
        }
        const i32 step = Abs(static_cast<i32>(p[j]) - p[i]);
        if (d == dir && j <= to && (!found || step > out->step)) {
            *out = PROFILE_EDGE{Centroid(p, i, j, 8) - 8, step, d, i, j};
            found = true;
        }
        i = j;
    }
    return found;
}

bool Push(LINEIMG_ACC_CANDIDATE *c, PROFILE_EDGE *kept, const PROFILE_EDGE &e) {
    if (c->edgeCount >= kAccProfileEdgeCap) return false;
    kept[c->edgeCount] = e;
    c->edges[c->edgeCount++] = static_cast<u16>(e.pos < 0 ? 0 : e.pos);
    return true;
}

}  // namespace

u16 LineImg_AccLineEdges(LINEIMG_ACC_LINE *line) {
    line->edgeCount = 0;
    if (line->samples == nullptr || line->edges == nullptr || line->sampleCount < 2 ||
        line->endOffset <= line->startOffset)
        return 0;
    const i32 lo = (line->startOffset + 8) >> 4;
    i32 hi = (line->endOffset + 8) >> 4;
    if (hi > line->sampleCount - 1) hi = line->sampleCount - 1;
    if (lo >= hi) return 0;
    const u8 *s = line->samples;
    i32 max = 0, min = 0;
    SampleRange(s, lo, hi, &max, &min);
    const i32 threshold = max - min > 31 ? (max - min) / 16 : 2;
    for (i32 i = lo; i < hi && line->edgeCount < line->edgeCap;) {
        const bool wantFall = line->edgeCount % 2 == 0;
        if (s[i + 1] == s[i]) {
            ++i;
            continue;
        }
        const bool falling = s[i + 1] < s[i];
        i32 j = i;
        while (j < hi && (falling ? s[j + 1] < s[j] : s[j + 1] > s[j])) ++j;
        if (falling == wantFall && Abs(static_cast<i32>(s[j]) - s[i]) > threshold)
            line->edges[line->edgeCount++] = static_cast<u16>(Centroid(s, i, j, 8));
        i = j;
    }
    return line->edgeCount;
}

i32 LineImg_MatchNeighbour(LINEIMG_ACC_LINE *line, const LINEIMG_ACC_LINE *nb, i32 *nbPos, i32 *linePos, i32 cap) {
    line->intervals = 0;
    if (nbPos == nullptr || linePos == nullptr || nb->edgeCount == 0 || line->edgeCount == 0 || nb->intervals == 0)
        return 0;
    i32 n = 0;
    i32 cursor[2] = {0, 1};
    for (i32 j = 0; j < nb->edgeCount && n < cap; ++j) {
        const i32 parity = j & 1;
        if (cursor[parity] >= line->edgeCount) continue;
        const i32 k = Nearest(line->edges, line->edgeCount, &cursor[parity], nb->edges[j]);
        if (Abs(static_cast<i32>(line->edges[k]) - nb->edges[j]) > kAccMatchReach) continue;
        nbPos[n] = nb->edges[j];
        linePos[n] = line->edges[k];
        ++n;
    }
    const i32 need = (line->edgeCount + nb->edgeCount) / 4;
    if (n < (need > 4 ? need : 4)) return 0;
    f64 a = 0, b = 0;
    if (!Fit(nbPos, linePos, n, &a, &b)) return 0;
    i32 kept = 0;
    for (i32 k = 0; k < n; ++k) {
        if (Abs(linePos[k] - Apply(a, b, nbPos[k])) > kAccFitResidual) continue;
        nbPos[kept] = nbPos[k];
        linePos[kept] = linePos[k];
        ++kept;
    }
    if (kept < kAccMinFitPairs || !Fit(nbPos, linePos, kept, &a, &b)) return 0;
    line->mapStart = Apply(a, b, nb->mapStart);
    line->mapEnd = Apply(a, b, nb->mapEnd);
    i32 own[kAccStretchCap][2];
    const i32 m = SplitStretches(linePos, kept, own);
    i32 count = 0;
    for (i32 s = 0; s < m; ++s) {
        for (i32 t = 0; t < nb->intervals && count < kAccStretchCap; ++t) {
            i32 lo = Apply(a, b, nb->stretches[t][0]);
            i32 hi = Apply(a, b, nb->stretches[t][1]);
            if (lo < own[s][0]) lo = own[s][0];
            if (hi > own[s][1]) hi = own[s][1];
            if (lo > hi) continue;
            line->stretches[count][0] = static_cast<u16>(lo < 0 ? 0 : (lo > 0xFFFF ? 0xFFFF : lo));
            line->stretches[count][1] = static_cast<u16>(hi < 0 ? 0 : (hi > 0xFFFF ? 0xFFFF : hi));
            ++count;
        }
    }
    line->intervals = static_cast<u8>(count);
    return count;
}

i32 LineImg_ProfileLength(const LINEIMG_ACC_LINE *middle, i32 width) {
    const i32 samples = middle->sampleCount;
    const i32 a = middle->startOffset, b = middle->endOffset;
    if (b <= a) return samples;
    const i32 c = (b - a) / 4;
    i32 k = 0;
    while (k < middle->edgeCount && middle->edges[k] <= a + c) ++k;
    if (k >= middle->edgeCount || middle->edges[k] >= b - c) return samples;
    // The mean spacing of the edges of the middle half.
    i32 inside = 0;
    for (i32 e = k; e < middle->edgeCount && middle->edges[e] < b - c; ++e) ++inside;
    i32 spacing = (b - a - 2 * c) / inside;
    if (spacing >= 128) return samples;
    if (spacing < 1) spacing = 1;
    const i64 length = static_cast<i64>(samples) * 176 / spacing;
    return static_cast<i32>(length < 2 * static_cast<i64>(width) ? length : 2 * static_cast<i64>(width));
}

void LineImg_ResampleLine(LINEIMG_ACC_LINE *line, i32 length) {
    if (line->profile == nullptr || length <= 0) return;
    const f32 span = static_cast<f32>(line->mapEnd - line->mapStart);
    for (i32 u = 0; u < length; ++u) {
        const f32 at = static_cast<f32>(line->mapStart) + span * static_cast<f32>(u) / static_cast<f32>(length);
        u16 v = kAccNoValue;
        if (at >= static_cast<f32>(line->startOffset) && at <= static_cast<f32>(line->endOffset)) {
            const i32 s = static_cast<i32>(at);
            const i32 k = s >> 4;
            if (k + 1 < line->sampleCount) {
                const i32 here = line->samples[k], next = line->samples[k + 1];
                v = static_cast<u16>(((next - here) * (s & 15) + here * 16) / 2);
            }
        }
        line->profile[u] = v;
    }
}

i32 LineImg_AverageProfiles(const LINEIMG_ACC_LINE *lines, i32 first, i32 end, i32 step, i32 length, u16 *out,
                            u8 *counts, i32 *max, i32 *min) {
    *max = 0;
    *min = 0xFFFF;
    if (step < 1) return 0;
    std::memset(out, 0, static_cast<size_t>(length) * 2);
    std::memset(counts, 0, static_cast<size_t>(length));
    for (i32 m = first; m < end; m += step) {
        const u16 *p = lines[m].profile;
        for (i32 u = 0; u < length; ++u) {
            if (p[u] == kAccNoValue) continue;
            out[u] = static_cast<u16>(out[u] + p[u]);  // at most 20 x 2040
            ++counts[u];
        }
    }
    bool any = false;
    for (i32 u = 0; u < length; ++u) {
        if (counts[u] == 0) {
            out[u] = kAccNoValue;
            continue;
        }
        out[u] = static_cast<u16>(out[u] / counts[u]);
        if (out[u] > *max) *max = out[u];
        if (out[u] < *min) *min = out[u];
        any = true;
    }
    return any ? 1 : 0;
}

i32 LineImg_AveragedProfileEdges(const u16 *p, i32 length, LINEIMG_ACC_CANDIDATE *c, i32 max, i32 min) {
    c->edgeCount = 0;
    if (p == nullptr || c->edges == nullptr || length < 3) return 0;
    const i32 threshold = (max - min) / 16 > 5 ? (max - min) / 16 : 5;
    const i32 last = length - 1;
    PROFILE_EDGE kept[kAccProfileEdgeCap];
    for (i32 i = 0; i < last;) {
        i32 dir = 0;
        const i32 j = RunEnd(p, i, last, &dir);
        if (j == i) {
            ++i;
            continue;
        }
        const PROFILE_EDGE e{Centroid(p, i, j, 8) - 8, Abs(static_cast<i32>(p[j]) - p[i]), dir, i, j};
        i = j;
        if (e.step <= threshold || e.runEnd - e.runStart + 1 < 3) continue;
        if (c->edgeCount == 0) {
            if (dir < 0 && !Push(c, kept, e)) break;
            continue;
        }
        const PROFILE_EDGE &prev = kept[c->edgeCount - 1];
        if (dir != prev.dir) {
            if (!Push(c, kept, e)) break;
            continue;
        }
        // Two edges of one polarity: a weaker edge between them, when they lie close, else
        // the stronger of the two stays.
        PROFILE_EDGE weak{};
        const bool close = e.runStart - prev.runEnd < 2 * (prev.runEnd - prev.runStart);
        if (close && WeakerEdge(p, last, prev.runEnd, e.runStart, -dir, &weak)) {
            // The weaker edge is the only one that lies between two runs; when those two
            // differ in length it moves by half the difference (entries) toward the shorter
            // one, and stays strictly between its neighbours.
            weak.pos += 8 * ((prev.runEnd - prev.runStart) - (e.runEnd - e.runStart));
            if (weak.pos <= prev.pos) weak.pos = prev.pos + 1;
            if (weak.pos >= e.pos) weak.pos = e.pos - 1;
            if (!Push(c, kept, weak) || !Push(c, kept, e)) break;
        } else if (prev.step < e.step) {
            --c->edgeCount;
            if (c->edgeCount == 0 && dir > 0) continue;
            if (!Push(c, kept, e)) break;
        }
    }
    return c->edgeCount;
}

i32 LineImg_AveragedProfileEdgesAuto(const u16 *p, i32 length, LINEIMG_ACC_CANDIDATE *c) {
    i32 max = 0, min = 0xFFFF;
    for (i32 u = 0; p != nullptr && u < length; ++u) {
        if (p[u] == kAccNoValue) continue;
        if (p[u] > max) max = p[u];
        if (p[u] < min) min = p[u];
    }
    if (max < min) {
        c->edgeCount = 0;
        return 0;
    }
    return LineImg_AveragedProfileEdges(p, length, c, max, min);
}

int LineImg_WidthsFromEdges(const u16 *edges, i32 count, u16 *widths, i32 capacity, u16 *widthCount) {
    *widthCount = 0;
    if (edges == nullptr || widths == nullptr || count < 2 || count - 1 > capacity) return 0;
    for (i32 k = 0; k + 1 < count; ++k) {
        if (edges[k + 1] <= edges[k]) return 0;
        widths[k] = static_cast<u16>(edges[k + 1] - edges[k]);
    }
    *widthCount = static_cast<u16>(count - 1);
    return 1;
}

int LineImg_PrepareAccumulator(LINEIMG_ACCUMULATOR *acc) {
    const i32 w = g_image.width;
    if (g_accTaken != kAccBlocks || g_accWidth != w || w <= 0 || w > kAccMaxWidth || g_image.data == nullptr) return 0;
    u8 *work = Pix_WorkMemory(kAreaAccEnd);
    if (work == nullptr) return 0;
    acc->width = w;
    acc->average = reinterpret_cast<u16 *>(work + kAreaAccProfile);
    acc->counts = work + kAreaAccCounts;
    acc->matchA = reinterpret_cast<i32 *>(work + kAreaAccMatch);
    acc->matchB = acc->matchA + kLineImgAccEntries;
    acc->matchCap = kLineImgAccEntries;
    u8 *samples = static_cast<u8 *>(g_accHeld[kSamplesBlock]);
    u8 *edges = static_cast<u8 *>(g_accHeld[kEdgesBlock]);
    u8 *profiles = static_cast<u8 *>(g_accHeld[kProfilesBlock]);
    for (i32 m = 0; m < kAccLines; ++m) {
        LINEIMG_ACC_LINE &l = acc->lines[m];
        l = LINEIMG_ACC_LINE{};
        l.samples = samples + static_cast<i64>(m) * 2 * w;
        l.edges = reinterpret_cast<u16 *>(edges + static_cast<i64>(m) * 2 * w);
        l.edgeCap = static_cast<u16>(w);
        l.profile = reinterpret_cast<u16 *>(profiles + static_cast<i64>(m) * 4 * w);
    }
    return 1;
}

int LineImg_TraceLines(const REGION_QUAD *quad, LINEIMG_ACCUMULATOR *acc) {
    const POINT_I32 *c = quad->c;
    acc->p0 = GEO_POINT{c[kTopLeft].x * 16, c[kTopLeft].y * 16};
    acc->p1 = GEO_POINT{c[kTopRight].x * 16, c[kTopRight].y * 16};
    acc->v0 = GEO_POINT{(c[kBottomLeft].x - c[kTopLeft].x) * 16, (c[kBottomLeft].y - c[kTopLeft].y) * 16};
    acc->v1 = GEO_POINT{(c[kBottomRight].x - c[kTopRight].x) * 16, (c[kBottomRight].y - c[kTopRight].y) * 16};
    LINEIMG_ACC_LINE &mid = acc->lines[kAccMiddle];
    ReadLine(acc, kAccMiddle);
    LineImg_AccLineEdges(&mid);
    acc->profileLength = LineImg_ProfileLength(&mid, acc->width);
    mid.intervals = mid.endOffset > mid.startOffset ? 1 : 0;
    mid.stretches[0][0] = 0;
    mid.stretches[0][1] = mid.endOffset;
    for (i32 d = 1; d <= kAccMiddle; ++d) {
        for (i32 side = -1; side <= 1; side += 2) {
            const i32 m = kAccMiddle + side * d;
            if (m < 0 || m >= kAccLines) continue;
            ReadLine(acc, m);
            LineImg_AccLineEdges(&acc->lines[m]);
            LineImg_MatchNeighbour(&acc->lines[m], &acc->lines[m - side], acc->matchA, acc->matchB, acc->matchCap);
        }
    }
    i32 best = 0, bestFirst = 0;
    for (i32 m = 0; m < kAccLines;) {
        if (acc->lines[m].intervals == 0) {
            ++m;
            continue;
        }
        i32 e = m;
        while (e < kAccLines && acc->lines[e].intervals != 0) ++e;
        if (e - m > best) {
            best = e - m;
            bestFirst = m;
        }
        m = e;
    }
    acc->first = bestFirst;
    acc->lineCount = best;
    return best > 0 ? 1 : 0;
}

int LineImg_Accumulate(const REGION_QUAD *quad, LINEIMG_ACCUMULATOR *acc) {
    for (LINEIMG_ACC_CANDIDATE &cand : acc->candidates) {
        cand.edgeCount = 0;
        cand.widthCount = 0;
        cand.length = 0;
    }
    if (LineImg_TraceLines(quad, acc) == 0) return 0;
    const i32 length = acc->profileLength;
    if (length < 3 || length > 2 * acc->width) return 0;
    const i32 end = acc->first + acc->lineCount;
    for (i32 m = acc->first; m < end; ++m) LineImg_ResampleLine(&acc->lines[m], length);
    for (i32 k = 0; k < kAccCandidates; ++k) {
        // All kept lines, then the even and the odd ones of the run.
        const i32 from = k == 2 ? acc->first + 1 : acc->first;
        const i32 step = k == 0 ? 1 : 2;
        i32 max = 0, min = 0;
        if (LineImg_AverageProfiles(acc->lines, from, end, step, length, acc->average, acc->counts, &max, &min) == 0) {
            if (k == 0) return 0;
            continue;
        }
        i32 lo = 0, hi = length - 1;
        while (acc->average[lo] == kAccNoValue) ++lo;
        while (acc->average[hi] == kAccNoValue) --hi;
        LINEIMG_ACC_CANDIDATE &cand = acc->candidates[k];
        cand.length = static_cast<u16>(hi - lo + 1);
        LineImg_AveragedProfileEdges(acc->average + lo, cand.length, &cand, max, min);
    }
    return 1;
}

int LineImg_AllocAccumulator() {
    LineImg_FreeAccumulator();
    const i32 w = g_image.width;
    if ((g_lineImgMethodsOff & kLineImgAccumulateOff) != 0 || w <= 0 || w > kAccMaxWidth) return 0;
    for (i32 k = 0; k < kAccBlocks; ++k) {
        g_accHeld[k] = Mem_Alloc(kBlockScale[k] * w);
        if (g_accHeld[k] == nullptr) {
            Mem_FreeList(g_accHeld, k);
            for (void *&p : g_accHeld) p = nullptr;
            return 0;
        }
        g_accTaken = k + 1;
    }
    g_accWidth = w;
    return 1;
}

void LineImg_FreeAccumulator() {
    if (g_accTaken > 0) Mem_FreeList(g_accHeld, g_accTaken);
    for (void *&p : g_accHeld) p = nullptr;
    g_accTaken = 0;
    g_accWidth = 0;
}

namespace {

// One candidate through the 1D table: -1 rejected, 0 no read, 1 read.
int DecodeCandidate(const LINEIMG_ACC_CANDIDATE &cand, u8 *text, LINEIMG_LINE_RECORD *rec) {
    if (LineImg_WidthsFromEdges(cand.edges, cand.edgeCount, cand.widths, kAccCandidateCap, &rec->widthCount) == 0)
        return -1;
    const i32 n = cand.edgeCount < kLineEdgeRoom ? cand.edgeCount : kLineEdgeRoom;
    std::memset(text, 0, kAccTextBytes);
    rec->edges = cand.edges;
    rec->edgeCount = static_cast<u16>(n);
    rec->widths = cand.widths;
    rec->room = kAccCandidateCap;
    rec->text = text;
    rec->capacity = kAccTextBytes;
    for (i32 k = 0; k < n; ++k) g_lineEdgeInput.edges[k] = cand.edges[k];
    for (i32 k = 0; k + 1 < n; ++k) g_lineEdgeInput.widths[k] = cand.widths[k];
    g_lineEdgeInput.edgeCount = static_cast<u16>(n);
    g_lineEdgeInput.widthCount = static_cast<i16>(n - 1);
    // The edges are in sixteenths of the candidate's entries.
    g_lineEdgeInput.sampleCount = cand.length;
    return Line_DecodeEdgeLine() == 1 ? 1 : 0;
}

GEO_POINT QuadCentre(const REGION_QUAD *q) {
    const POINT_I32 *c = q->c;
    return GEO_POINT{static_cast<i32>((static_cast<i64>(c[0].x) + c[1].x + c[2].x + c[3].x) / 4),
                     static_cast<i32>((static_cast<i64>(c[0].y) + c[1].y + c[2].y + c[3].y) / 4)};
}

// Steps 3 and 4 with the candidates made: 1 a result was stored.
int ReadCandidates(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 kind, LINEIMG_READ_SET *reads, u8 *texts) {
    LINEIMG_LINE_STATE &st = g_lineImgState;
    LINEIMG_ACCUMULATOR &acc = g_acc;
    if (reads->count > kLineImgReadCap - 1) {
        st.regionStop = kAccStopUnconfirmed;
        return 0;
    }
    i32 made = 0;
    for (const LINEIMG_ACC_CANDIDATE &c : acc.candidates) made += c.edgeCount >= 2 ? 1 : 0;
    if (made <= 1) {
        if (reads->count > 0) st.regionStop = kAccStopUnconfirmed;
        return 0;
    }
    for (i32 i = 0; i < kAccCandidates && reads->count < kLineImgReadCap; ++i) {
        LINEIMG_LINE_RECORD rec{};
        const int r = DecodeCandidate(acc.candidates[i], texts + i * kAccTextBytes, &rec);
        if (r < 0) continue;
        if (r == 0) {
            const int v = LineImg_ReviewAttempts();
            st.regionStop = static_cast<u16>(v);
            if (v != 0) {
                if (st.region < kLineImgRegionCap) g_lineImgRegions.status[st.region] = kRegionStopped;
                return 0;
            }
            continue;
        }
        if (LineImg_AppendRead(reads) == 0) break;
        LineImg_RecordLineRead(&st, &rec);
        // Widths are in sixteenths of an entry; an entry spans (mapEnd - mapStart) / L
        // sixteenths of a middle-line sample.
        const LINEIMG_ACC_LINE &mid = acc.lines[kAccMiddle];
        if (st.narrowWidth2 != -2 && acc.profileLength > 0)
            st.narrowWidth2 = static_cast<i32>(static_cast<i64>(st.narrowWidth2) * (mid.mapEnd - mid.mapStart) /
                                               (16 * static_cast<i64>(acc.profileLength)));
        if (Line_IsMultiReadConfirmed() != 0 || LineImg_IsReadConfirmed(reads) == 1) {
            LineImg_ReviewAttempts();
            if (LineImg_AppendRunResult(run, reads, quad, QuadCentre(quad), kind) == 0) break;
            if (st.region < kLineImgRegionCap) g_lineImgRegions.status[st.region] = kRegionFinished;
            return 1;
        }
    }
    if (reads->count > 0) st.regionStop = kAccStopUnconfirmed;
    return 0;
}

}  // namespace

int LineImg_ScanRegionAccumulate(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 kind, LINEIMG_READ_SET *reads) {
    if (run == nullptr || quad == nullptr || reads == nullptr || run->count >= run->limit) return 0;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    void *blocks[3] = {Mem_Alloc(kAccEdgeBlockBytes), Mem_Alloc(kAccEdgeBlockBytes), Mem_Alloc(kAccTextBlockBytes)};
    if (Mem_AllNonNull(blocks, 3) == 0 || LineImg_PrepareAccumulator(&g_acc) == 0) {
        for (i32 k = 2; k >= 0; --k)
            if (blocks[k] != nullptr) Mem_Free(blocks[k]);
        return 0;
    }
    for (i32 k = 0; k < kAccCandidates; ++k) {
        g_acc.candidates[k].edges = static_cast<u16 *>(blocks[0]) + k * kAccCandidateCap;
        g_acc.candidates[k].widths = static_cast<u16 *>(blocks[1]) + k * kAccCandidateCap;
    }
    int answer = 0;
    if (LineImg_Accumulate(quad, &g_acc) == 1)
        answer = ReadCandidates(run, quad, kind, reads, static_cast<u8 *>(blocks[2]));
    if (st.accumulateTried < 0xFF) ++st.accumulateTried;
    Mem_FreeList(blocks, 3);
    return answer;
}

}  // namespace vexo
