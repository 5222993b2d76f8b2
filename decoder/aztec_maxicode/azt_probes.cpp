#include "aztec_maxicode/azt_probes.h"

#include "core/pixel.h"

namespace vexo {

namespace {

// ---------------------------------------------------------------------------------------
// Image access

bool HaveImage() { return g_image.data != nullptr && g_image.width > 0 && g_image.height > 0; }

bool PixelInside(i64 x, i64 y) { return HaveImage() && x >= 0 && y >= 0 && x < g_image.width && y < g_image.height; }

int Pixel(i64 x, i64 y) { return g_image.data[y * g_image.width + x]; }

// The pixel under a 1/16-pixel point with `before` pixels to its left and above and
// `after` to its right and below all inside the image.
bool WindowInside(i64 x16, i64 y16, int before, int after) {
    if (!HaveImage()) return false;
    const i64 x = x16 >> 4;
    const i64 y = y16 >> 4;
    return x - before >= 0 && y - before >= 0 && x + after < g_image.width && y + after < g_image.height;
}

bool BilinearInside(i64 x16, i64 y16) { return WindowInside(x16, y16, 0, 1); }
bool BicubicInside(i64 x16, i64 y16) { return WindowInside(x16, y16, 1, 2); }

u16 Bilinear(i64 x16, i64 y16) {
    const i64 x = x16 >> 4;
    const i64 y = y16 >> 4;
    const int fx = static_cast<int>(x16 & 15);
    const int fy = static_cast<int>(y16 & 15);
    const int top = (16 - fx) * Pixel(x, y) + fx * Pixel(x + 1, y);
    const int bottom = (16 - fx) * Pixel(x, y + 1) + fx * Pixel(x + 1, y + 1);
    return static_cast<u16>((top * (16 - fy) + fy * bottom + 8) >> 4);
}

// Catmull-Rom weights of the taps -1, 0, 1, 2 times 8192 for a fraction f in 1/16.
void CubicWeights(int f, i64 w[4]) {
    const i64 f2 = static_cast<i64>(f) * f;
    const i64 f3 = f2 * f;
    w[0] = -f3 + 32 * f2 - 256 * f;
    w[1] = 3 * f3 - 80 * f2 + 8192;
    w[2] = -3 * f3 + 64 * f2 + 256 * f;
    w[3] = f3 - 16 * f2;
}

u16 Bicubic(i64 x16, i64 y16) {
    const i64 x = x16 >> 4;
    const i64 y = y16 >> 4;
    i64 wx[4];
    i64 wy[4];
    CubicWeights(static_cast<int>(x16 & 15), wx);
    CubicWeights(static_cast<int>(y16 & 15), wy);
    i64 sum = 0;
    for (int j = 0; j < 4; ++j) {
        i64 row = 0;
        for (int i = 0; i < 4; ++i) row += wx[i] * Pixel(x - 1 + i, y - 1 + j);
        sum += wy[j] * row;
    }
    if (sum < 0) return 0;
    const i64 v = (sum + (i64{1} << 21)) >> 22;
    return static_cast<u16>(v > 4080 ? 4080 : v);
}

// Truncates a float towards zero; false when it is not a finite value within int range.
bool TruncToInt(float v, i64 *out) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return false;
    *out = static_cast<i32>(v);
    return true;
}

// The offset of step i along (a, b) as the probes take it: truncated, then cut to 16 bits.
bool ProbeStep(int i, float a, float b, i64 *dx, i64 *dy) {
    i64 tx = 0;
    i64 ty = 0;
    if (!TruncToInt(static_cast<float>(i) * a, &tx) || !TruncToInt(static_cast<float>(i) * b, &ty)) return false;
    *dx = static_cast<i16>(tx);
    *dy = static_cast<i16>(ty);
    return true;
}

// ---------------------------------------------------------------------------------------
// Edge probes

constexpr int kProbeSamples = 24;

struct EdgeMoment {
    i64 drop;    // O (or D): the edge's grey step
    i64 moment;  // M (or V): sum of (2 h + 1) x step over its steps h -> h + 1
};

// The first monotone run (falling or rising) from index 0 that crosses `mid`; runs that do
// not cross it are passed over. Without one the side adds nothing: drop 1, moment 0.
EdgeMoment FirstCrossingEdge(const i32 v[kProbeSamples], i32 mid, bool falling) {
    auto continues = [falling](i32 next, i32 cur) { return falling ? next < cur : next > cur; };
    int i = 0;
    while (i + 1 < kProbeSamples) {
        if (!continues(v[i + 1], v[i])) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < kProbeSamples && continues(v[j + 1], v[j])) ++j;
        const bool crosses = falling ? (v[i] > mid && v[j] <= mid) : (v[i] < mid && v[j] >= mid);
        if (crosses) {
            EdgeMoment e{falling ? v[i] - v[j] : v[j] - v[i], 0};
            for (int h = i; h < j; ++h)
                e.moment += static_cast<i64>(2 * h + 1) * (falling ? v[h] - v[h + 1] : v[h + 1] - v[h]);
            return e;
        }
        i = j;
    }
    return {1, 0};
}

i32 MidLevel(const i32 v[kProbeSamples], int from) {
    i32 lo = v[from];
    i32 hi = v[from];
    for (int i = from + 1; i < kProbeSamples; ++i) {
        lo = v[i] < lo ? v[i] : lo;
        hi = v[i] > hi ? v[i] : hi;
    }
    return (hi + lo + 1) >> 1;
}

// Samples the point's side `sign` (-1 behind, +1 ahead) into v[from..23]; false when a
// sample point leaves the image.
bool SampleSide(const i32 point[2], float a, float b, int sign, int from, i32 v[kProbeSamples]) {
    for (int i = from; i < kProbeSamples; ++i) {
        i64 dx = 0;
        i64 dy = 0;
        if (!ProbeStep(i, a, b, &dx, &dy)) return false;
        const i64 x = point[0] + sign * dx;
        const i64 y = point[1] + sign * dy;
        if (!BilinearInside(x, y)) return false;
        v[i] = Bilinear(x, y);
    }
    return true;
}

float ProbeEdges(i32 point[2], float a, float b, bool falling) {
    if (point == nullptr) return 0.0f;
    i32 v[kProbeSamples];
    if (!SampleSide(point, a, b, -1, 0, v)) return 0.0f;
    const EdgeMoment back = FirstCrossingEdge(v, MidLevel(v, 0), falling);
    if (!SampleSide(point, a, b, +1, 1, v)) return 0.0f;
    const EdgeMoment ahead = FirstCrossingEdge(v, MidLevel(v, 1), falling);
    // moment / drop is twice an edge's distance in steps, so this is 16 x half the
    // difference of the two distances: the shift, in 1/16 step, onto their middle.
    const i64 r = ((ahead.moment * back.drop - back.moment * ahead.drop) * 4) / (back.drop * ahead.drop);
    const float rf = static_cast<float>(r);
    i64 mx = 0;
    i64 my = 0;
    if (!TruncToInt(rf * a, &mx) || !TruncToInt(rf * b, &my)) return 0.0f;
    point[0] += static_cast<i16>(mx) >> 4;
    point[1] += static_cast<i16>(my) >> 4;
    return rf;
}

// ---------------------------------------------------------------------------------------
// Climbs

bool SampleCubic(i64 x, i64 y, int *out) {
    if (!BicubicInside(x, y)) return false;
    *out = Bicubic(x, y);
    return true;
}

void Climb(i32 point[2], float a, float b, bool brightest) {
    if (point == nullptr) return;
    auto beats = [brightest](int u, int v) { return brightest ? u > v : u < v; };
    const float fx = static_cast<float>(point[0]);
    const float fy = static_cast<float>(point[1]);
    i64 bx = 0, by = 0, ax = 0, ay = 0;
    if (!TruncToInt(fx - a, &bx) || !TruncToInt(fy - b, &by) || !TruncToInt(fx + a, &ax) || !TruncToInt(fy + b, &ay)) {
        return;
    }
    int behind = 0, ahead = 0, h = 0;
    if (!SampleCubic(bx, by, &behind) || !SampleCubic(ax, ay, &ahead) || !SampleCubic(point[0], point[1], &h)) return;
    const bool forward = beats(ahead, behind);
    const int sign = forward ? 1 : -1;
    int q = forward ? ahead : behind;
    for (int i = 2; i <= 15; ++i) {
        i64 dx = 0;
        i64 dy = 0;
        if (!TruncToInt(static_cast<float>(i) * a, &dx) || !TruncToInt(static_cast<float>(i) * b, &dy)) return;
        int n = 0;
        if (!SampleCubic(point[0] + sign * dx, point[1] + sign * dy, &n)) return;
        if (beats(h, q) && beats(h, n)) {
            i64 mx = 0;
            i64 my = 0;
            if (!TruncToInt(static_cast<float>(i - 2) * a, &mx) || !TruncToInt(static_cast<float>(i - 2) * b, &my))
                return;
            // The stop sample was inside the image, so the moved point is too.
            point[0] = static_cast<i32>(point[0] + sign * mx);
            point[1] = static_cast<i32>(point[1] + sign * my);
            return;
        }
        h = q;
        q = n;
    }
}

// ---------------------------------------------------------------------------------------
// Neighbour steps

bool NeighboursInside(i64 x, i64 y) { return PixelInside(x - 1, y - 1) && PixelInside(x + 1, y + 1); }

struct Offset {
    int dx, dy;
};

// Darkest: the centre first, so that it keeps its place against equal neighbours.
constexpr Offset kDarkOrder[] = {{0, 0}, {-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
// Brightest: reading order, the up-left pixel first.
constexpr Offset kBrightOrder[] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
static_assert(sizeof(kDarkOrder) / sizeof(kDarkOrder[0]) == 9);
static_assert(sizeof(kBrightOrder) / sizeof(kBrightOrder[0]) == 9);

u8 StepToNeighbour(i32 point[2], bool brightest) {
    const u8 none = brightest ? 0 : 255;
    if (point == nullptr || !PixelInside(point[0], point[1])) return none;
    const i64 x = point[0];
    const i64 y = point[1];
    if (!NeighboursInside(x, y)) return static_cast<u8>(Pixel(x, y));
    const Offset *order = brightest ? kBrightOrder : kDarkOrder;
    Offset best = order[0];
    int value = Pixel(x + best.dx, y + best.dy);
    // A black up-left pixel leaves the centre as the choice.
    if (brightest && value == 0) best = {0, 0};
    for (int k = 1; k < 9; ++k) {
        const int v = Pixel(x + order[k].dx, y + order[k].dy);
        if (brightest ? v > value : v < value) {
            best = order[k];
            value = v;
        }
    }
    point[0] = static_cast<i32>(x + best.dx);
    point[1] = static_cast<i32>(y + best.dy);
    return static_cast<u8>(value);
}

// ---------------------------------------------------------------------------------------
// Run centring

struct RunAxis {
    bool vertical;
    u16 threshold;
    bool dark;
    int limit;
};

bool InRun(const RunAxis &ax, i64 x, i64 y, i64 pos) {
    const int v = ax.vertical ? Pixel(x, pos) : Pixel(pos, y);
    return ax.dark ? v < ax.threshold : v > ax.threshold;
}

// Bounds of the run through (x, y) along one axis: `lo` the last position before it that is
// not in the run, `hi` the first after it or the image size. False as soon as the run is
// known to be longer than the limit.
bool RunBounds(const RunAxis &ax, i64 x, i64 y, i64 *lo, i64 *hi) {
    const i64 pos = ax.vertical ? y : x;
    const i64 size = ax.vertical ? g_image.height : g_image.width;
    if (!InRun(ax, x, y, pos)) {
        *lo = *hi = pos;
        return true;
    }
    // A walk that reaches position 0 stops there untested; a point on position 0 has its
    // bound at -1, so that its centre stays inside the run.
    i64 a = pos - 1;
    while (a > 0 && pos - a <= ax.limit && InRun(ax, x, y, a)) --a;
    if (pos - a > ax.limit) return false;
    i64 b = pos + 1;
    while (b < size && b - a <= ax.limit && InRun(ax, x, y, b)) ++b;
    if (b - a > ax.limit) return false;
    *lo = a;
    *hi = b;
    return true;
}

int CentreInRun(i32 point[2], u16 threshold, u16 limit, bool dark) {
    if (point == nullptr || !PixelInside(point[0], point[1])) return 0;
    i64 lo = 0;
    i64 hi = 0;
    if (!RunBounds({true, threshold, dark, limit}, point[0], point[1], &lo, &hi)) return 0;
    point[1] = static_cast<i32>((lo + hi + 1) >> 1);
    if (!RunBounds({false, threshold, dark, limit}, point[0], point[1], &lo, &hi)) return 0;
    point[0] = static_cast<i32>((lo + hi + 1) >> 1);
    return 1;
}

}  // namespace

u16 Azt_SampleBilinear16(const i32 point[2]) {
    if (point == nullptr || !BilinearInside(point[0], point[1])) return 0;
    return Bilinear(point[0], point[1]);
}

u16 Azt_SampleBicubic16(const i32 point[2]) {
    if (point == nullptr || !BicubicInside(point[0], point[1])) return 0;
    return Bicubic(point[0], point[1]);
}

float Azt_ProbeFallingEdges(i32 point[2], float a, float b) { return ProbeEdges(point, a, b, true); }
float Azt_ProbeRisingEdges(i32 point[2], float a, float b) { return ProbeEdges(point, a, b, false); }

float Azt_ClimbToBrightest(i32 point[2], float a, float b) {
    Climb(point, a, b, true);
    return 0.0f;
}

float Azt_ClimbToDarkest(i32 point[2], float a, float b) {
    Climb(point, a, b, false);
    return 0.0f;
}

u8 Azt_StepToDarkestNeighbour(i32 point[2]) { return StepToNeighbour(point, false); }
u8 Azt_StepToBrightestNeighbour(i32 point[2]) { return StepToNeighbour(point, true); }

int Azt_CentreInDarkRun(i32 point[2], u16 threshold, u16 limit) { return CentreInRun(point, threshold, limit, true); }
int Azt_CentreInBrightRun(i32 point[2], u16 threshold, u16 limit) {
    return CentreInRun(point, threshold, limit, false);
}

void Azt_SortInts(int *values, int n) {
    if (values == nullptr || n <= 1) return;
    // values[n] holds the element being inserted.
    for (int i = 1; i < n; ++i) {
        values[n] = values[i];
        int j = i - 1;
        while (j >= 0 && values[j] > values[n]) {
            values[j + 1] = values[j];
            --j;
        }
        values[j + 1] = values[n];
    }
    values[n] = 0;
}

}  // namespace vexo
