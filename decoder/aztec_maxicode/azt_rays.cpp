#include "aztec_maxicode/azt_rays.h"

#include <cstdint>

#include "core/pixel.h"

namespace vexo {

namespace {

// ---------------------------------------------------------------------------------------
// Sampling

template <bool kInvert>
void SampleStairs(AZT_RAY *ray) {
    if (ray == nullptr) return;
    const i64 size = (g_image.width > 0 && g_image.height > 0)
                         ? static_cast<i64>(g_image.width) * static_cast<i64>(g_image.height)
                         : 0;
    const auto base = reinterpret_cast<std::uintptr_t>(g_image.data);
    const auto origin = reinterpret_cast<std::uintptr_t>(ray->start);
    if (ray->samples == nullptr || g_image.data == nullptr || origin < base ||
        static_cast<i64>(origin - base) >= size) {
        ray->length = 0;
        return;
    }
    // Offsets are kept as integers so that a ray leaving the buffer is caught before any
    // pointer is formed outside it.
    i64 offset = static_cast<i64>(origin - base);
    const int wanted = ray->length > kAztRayMaxLength ? kAztRayMaxLength : ray->length;
    int taken = 0;
    while (taken < wanted && offset >= 0 && offset < size) {
        const u8 v = g_image.data[offset];
        ray->samples[taken] = kInvert ? static_cast<u8>(255 - v) : v;
        offset += (taken & 1) == 0 ? ray->strideA : ray->strideB;
        ++taken;
    }
    ray->length = static_cast<u16>(taken);
}

// ---------------------------------------------------------------------------------------
// Runs

enum class RunRule { kContrast, kLong, kFlat };

// Continuation tests: descents are strict except for the long finder, rises never are.
bool Lower(int next, int cur, RunRule rule) { return rule == RunRule::kLong ? next <= cur : next < cur; }
bool NotLower(int next, int cur) { return next >= cur; }

// Index of the last sample of the descent that starts at t.
int DescentEnd(const u8 *s, int n, int t, RunRule rule) {
    int b = t;
    while (true) {
        const bool next = b + 1 < n && Lower(s[b + 1], s[b], rule);
        // The flat finder also steps over a one-sample reversal.
        const bool skip = rule == RunRule::kFlat && b + 2 < n && Lower(s[b + 2], s[b], rule);
        if (!next && !skip) return b;
        ++b;
    }
}

// Index of the last sample of the rise that starts at b.
int RiseEnd(const u8 *s, int n, int b, RunRule rule) {
    int t = b;
    while (true) {
        const bool next = t + 1 < n && NotLower(s[t + 1], s[t]);
        const bool skip = rule == RunRule::kFlat && t + 2 < n && NotLower(s[t + 2], s[t]);
        if (!next && !skip) return t;
        ++t;
    }
}

// Area measures: a run's edge lies at A / d - 1/2 samples, d = top - bottom.
i64 DescentArea(const u8 *s, int t, int b) {
    i64 a = static_cast<i64>(s[t]) * (t + 1) - static_cast<i64>(s[b]) * (b + 1);
    for (int k = t + 1; k <= b; ++k) a += s[k];
    return a;
}

i64 RiseArea(const u8 *s, int b, int t) {
    i64 a = static_cast<i64>(s[t]) * (t + 1) - static_cast<i64>(s[b]) * (b + 1);
    for (int k = b + 1; k <= t; ++k) a -= s[k];
    return a;
}

struct Run {
    int from;  // first sample
    int to;    // last sample
    i64 area;
    i64 drop;  // 0 when the run does not exist
};

// The flat finder's look-ahead leaves its run one sample late: its area carries one more
// drop, which its edge formulas take back out.
i64 RuleArea(i64 area, i64 d, RunRule rule) { return rule == RunRule::kFlat ? area + d : area; }

// Edge position in 1/16 sample.
u16 EdgePosition(const Run &r, RunRule rule) {
    if (r.drop <= 0) return 0;
    const i64 d = r.drop;
    const i64 a = RuleArea(r.area, d, rule);
    i64 p = 0;
    switch (rule) {
        case RunRule::kContrast:
            p = ((d >> 1) + 16 * a - 8 * d) / d;
            break;
        case RunRule::kLong:
            p = (16 * a - 8 * d) / d;
            break;
        case RunRule::kFlat:
            p = (16 * a - 24 * d) / d;
            break;
    }
    return static_cast<u16>(p);
}

// First edge straight in 1/16 pixel, weighted by the step length.
i32 FirstEdgeDistance(const Run &r, i64 w, RunRule rule) {
    const i64 d = r.drop;
    const i64 a = RuleArea(r.area, d, rule);
    i64 q = 0;
    switch (rule) {
        case RunRule::kContrast:
            q = ((d >> 1) + w * (2 * a - d)) / d;
            break;
        case RunRule::kLong:
            q = (w * (2 * a - d)) / d;
            break;
        case RunRule::kFlat:
            q = (w * (2 * a - 3 * d)) / d;
            break;
    }
    return static_cast<i32>((q + 32) >> 6);
}

i32 EdgeDistance(u16 p, i64 w) { return static_cast<i32>((w * p + 256) >> 9); }

Run MakeDescent(const u8 *s, int t, int b) { return {t, b, DescentArea(s, t, b), static_cast<i64>(s[t]) - s[b]}; }
Run MakeRise(const u8 *s, int b, int t) { return {b, t, RiseArea(s, b, t), static_cast<i64>(s[t]) - s[b]}; }

// ---------------------------------------------------------------------------------------
// Where the first edge starts

int ContrastStart(const u8 *s, int n, int level) {
    for (int i = 0; i + 2 < n; ++i) {
        if (s[i] > s[i + 1] && s[i] > s[i + 2] && s[i] >= level) {
            int k = i;
            while (k > 0 && s[k - 1] > s[k]) --k;
            return k;
        }
    }
    return -1;
}

int FlatStart(const u8 *s, int n, int level) {
    int i = 0;
    while (i + 1 < n && !(s[i] >= level && s[i + 1] >= level)) ++i;
    if (i + 1 >= n) return -1;
    int j = i + 2;
    while (j + 1 < n && !(s[j] <= level && s[j + 1] <= level)) ++j;
    if (j + 1 >= n) return -1;
    int k = j - 1;
    while (k > 0 && s[k - 1] > s[k]) --k;
    return k;
}

// Long finder: the next crossing of the level at or after `from`, walked back (not below
// `from`) to where its run begins. -1 when the ray holds no such crossing.
int NextFall(const u8 *s, int n, int from, int level) {
    for (int j = from; j + 1 < n; ++j) {
        if (s[j] >= level && s[j + 1] <= level) {
            int k = j;
            while (k > from && s[k - 1] >= s[k]) --k;
            return k;
        }
    }
    return -1;
}

int NextRise(const u8 *s, int n, int from, int level) {
    for (int j = from; j + 1 < n; ++j) {
        if (s[j] <= level && s[j + 1] >= level) {
            int k = j;
            while (k > from && s[k - 1] <= s[k]) --k;
            return k;
        }
    }
    return -1;
}

const Run kNoRun = {0, 0, 0, 0};

// ---------------------------------------------------------------------------------------
// Light-run centres, in 1/8 sample

int NearestSample(u16 p, int n) {
    const int k = (p + 8) >> 4;
    return k < n ? k : n - 1;
}

// Midpoint of the two edges averaged with the brightest sample between them.
i32 BrightCentre(const u8 *s, int n, u16 pa, u16 pb) {
    const int from = NearestSample(pa, n);
    const int to = NearestSample(pb, n);
    int best = to;
    for (int k = from; k < to; ++k) {
        if (s[k] > s[best]) best = k;
    }
    return ((((pa + pb + 2) >> 2) + 8 * best + 1) >> 1);
}

i32 LightCentre(const u8 *s, int n, u16 pa, u16 pb, RunRule rule) {
    if (rule == RunRule::kLong) return (pa + pb + 2) >> 2;
    return BrightCentre(s, n, pa, pb);
}

// ---------------------------------------------------------------------------------------
// The five edges

struct RayRuns {
    Run r1, r2, r3, r4, r5;
};

// Contrast and flat: each run starts where the previous one ended.
bool FollowRuns(const u8 *s, int n, int level, RunRule rule, RayRuns *out) {
    const int k = rule == RunRule::kFlat ? FlatStart(s, n, level) : ContrastStart(s, n, level);
    if (k < 0) return false;
    out->r1 = MakeDescent(s, k, DescentEnd(s, n, k, rule));
    out->r2 = MakeRise(s, out->r1.to, RiseEnd(s, n, out->r1.to, rule));
    out->r3 = MakeDescent(s, out->r2.to, DescentEnd(s, n, out->r2.to, rule));
    out->r4 = MakeRise(s, out->r3.to, RiseEnd(s, n, out->r3.to, rule));
    out->r5 = MakeDescent(s, out->r4.to, DescentEnd(s, n, out->r4.to, rule));
    return true;
}

// Long: each run starts at the next crossing of the level after the previous run.
bool CrossingRuns(const u8 *s, int n, int level, RayRuns *out) {
    const RunRule rule = RunRule::kLong;
    *out = {kNoRun, kNoRun, kNoRun, kNoRun, kNoRun};
    Run *runs[5] = {&out->r1, &out->r2, &out->r3, &out->r4, &out->r5};
    int from = 0;
    for (int i = 0; i < 5; ++i) {
        const bool falling = (i & 1) == 0;
        const int k = falling ? NextFall(s, n, from, level) : NextRise(s, n, from, level);
        if (k < 0) return i > 0;  // the caller checks which runs it needs
        *runs[i] = falling ? MakeDescent(s, k, DescentEnd(s, n, k, rule)) : MakeRise(s, k, RiseEnd(s, n, k, rule));
        from = runs[i]->to;
    }
    return true;
}

int FindRayEdges(AZT_RAY *ray, RunRule rule) {
    if (ray == nullptr || ray->samples == nullptr) return 0;
    const u8 *s = ray->samples;
    const int n = ray->length > kAztRayMaxLength ? kAztRayMaxLength : ray->length;
    const i64 w = ray->weight;
    RayRuns runs{};
    const bool found =
        rule == RunRule::kLong ? CrossingRuns(s, n, ray->level, &runs) : FollowRuns(s, n, ray->level, rule, &runs);
    if (!found || runs.r1.drop <= 0) return 0;
    ray->e1 = FirstEdgeDistance(runs.r1, w, rule);
    if (ray->e1 > ray->firstLimit) return 0;
    if (runs.r2.drop <= 0) return 0;
    const u16 p2 = EdgePosition(runs.r2, rule);
    ray->e2 = EdgeDistance(p2, w);
    if (ray->e2 > ray->secondLimit) return 0;
    if (runs.r3.drop <= 0) return 0;
    const u16 p3 = EdgePosition(runs.r3, rule);
    ray->e3 = EdgeDistance(p3, w);
    const u16 p4 = EdgePosition(runs.r4, rule);
    const u16 p5 = EdgePosition(runs.r5, rule);
    ray->e4 = p4 != 0 ? EdgeDistance(p4, w) : 0;
    ray->e5 = p5 != 0 ? EdgeDistance(p5, w) : 0;
    ray->c2 = LightCentre(s, n, p2, p3, rule);
    if (ray->c2 == 0) return 0;
    ray->c3 = (p4 != 0 && p5 != 0) ? LightCentre(s, n, p4, p5, rule) : 0;
    return 1;
}

}  // namespace

void Loc_RaySampleStairs(AZT_RAY *ray) { SampleStairs<false>(ray); }
void Loc_RaySampleStairsInverted(AZT_RAY *ray) { SampleStairs<true>(ray); }

int Loc_RayEdgeContrast(AZT_RAY *ray) { return FindRayEdges(ray, RunRule::kContrast); }
int Loc_RayEdgeLong(AZT_RAY *ray) { return FindRayEdges(ray, RunRule::kLong); }
int Loc_RayEdgeFlat(AZT_RAY *ray) { return FindRayEdges(ray, RunRule::kFlat); }

}  // namespace vexo
