// Verification of an Aztec bulls-eye candidate by 16 rays, the square of its last light
// ring, and the corner refinement and orientation at hand-out.
#include "aztec_maxicode/azt_finder.h"

#include "aztec_maxicode/azt_probes.h"
#include "core/pixel.h"
#include "toolkit/geometry.h"

namespace vexo {

AZT_VERIFY_STATE g_aztVerify = {};

namespace {

int Abs(int v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
u16 U16(i64 v) { return static_cast<u16>(v); }
int S16(i64 v) { return static_cast<i16>(static_cast<u16>(v)); }

u8 Pixel(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }

bool ImageReady() { return g_image.data != nullptr && g_image.width > 0 && g_image.height > 0; }

// The centre-row search of a five-run window: in each row from x0 to xe, the valley
// (peak) between the two shoulders and its depth.
struct RowContrast {
    i32 column;
    int contrast;
};

RowContrast MeasureRow(i32 y, i32 x0, i32 xe, bool dark) {
    // Dark: walk up to the first shoulder, down the strict descent, and back from the far
    // end to the far shoulder. Bright mirrors every comparison.
    const auto notWorse = [dark](int next, int cur) { return dark ? next >= cur : next <= cur; };
    const auto better = [dark](int next, int cur) { return dark ? next < cur : next > cur; };
    i32 x = x0;
    while (x < xe && notWorse(Pixel(x + 1, y), Pixel(x, y))) ++x;
    const int top1 = Pixel(x, y);
    while (x < xe && better(Pixel(x + 1, y), Pixel(x, y))) ++x;
    const i32 b = x;
    const int m = Pixel(b, y);
    i32 r = xe;
    while (r > b && notWorse(Pixel(r - 1, y), Pixel(r, y))) --r;
    const int top2 = Pixel(r, y);
    const int contrast = dark ? S16(top1 - 2 * m + top2) : S16(2 * m - top1 - top2);
    return {b, contrast};
}

void FindCentreRow(i32 point[2], u16 width, bool dark) {
    if (point == nullptr || width <= 1 || !ImageReady()) return;
    const i32 x0 = point[0];
    const i32 y = point[1];
    // The handlers may be given rows on the image border: nothing outside is read.
    if (x0 < 0 || x0 >= g_image.width || y - 1 < 0 || y + 1 >= g_image.height) return;
    const i32 xe = x0 + width < g_image.width ? x0 + width : g_image.width - 1;
    const int above = Pixel(x0, y - 1) + Pixel(xe, y - 1);
    const int below = Pixel(x0, y + 1) + Pixel(xe, y + 1);
    const bool up = dark ? below < above : above < below;
    const int rows = width >> 1;
    int best = 0;
    i32 bestX = x0;
    i32 bestY = y;
    for (int k = 0; k < rows; ++k) {
        const i32 row = up ? y - k : y + k;
        if (row <= 0 || row >= g_image.height) break;
        const RowContrast c = MeasureRow(row, x0, xe, dark);
        if (c.contrast > best) {
            best = c.contrast;
            bestX = c.column;
            bestY = row;
        }
    }
    point[0] = bestX;
    point[1] = bestY;
}

// Row level over n pixels of row cy from cx - n / 2, the window cut to the row.
void MeasureLevel(i32 n, int polarity, bool *flat) {
    AZT_VERIFY_STATE &v = g_aztVerify;
    i32 from = v.cx - (n >> 1);
    i32 to = from + n;
    if (from < 0) from = 0;
    if (to > g_image.width) to = g_image.width;
    int lo = 255;
    int hi = 0;
    for (i32 x = from; x < to; ++x) {
        const int p = Pixel(x, v.cy);
        lo = p < lo ? p : lo;
        hi = p > hi ? p : hi;
    }
    if (to <= from) {
        v.level = static_cast<i16>(polarity == 0 ? 127 : 128);
        *flat = true;
        return;
    }
    const int level = (hi + lo) >> 1;
    v.level = static_cast<i16>(polarity == 0 ? level : 255 - level);
    *flat = hi <= 49;
}

// Second difference of three ray distances as the cast checks it.
int Curvature(i32 a, i32 b, i32 c) { return S16(Loc_AbsOrTimesTen(S16(a - 2 * b + c))); }

i64 Square(i64 v) { return v * v; }
i64 Distance2(const i32 a[2], const i32 b[2]) { return Square(static_cast<i64>(a[0]) - b[0]) + Square(static_cast<i64>(a[1]) - b[1]); }

// Turn of the ring at P(i + 1) between P(i) and P(i + 2): -1,024 straight, 0 a right angle.
i64 Turn(i32 p[16][2], int i) {
    const i64 d0 = Distance2(p[i & 15], p[(i + 1) & 15]);
    const i64 d1 = Distance2(p[(i + 1) & 15], p[(i + 2) & 15]);
    const i64 a = d0 + d1 - Distance2(p[i & 15], p[(i + 2) & 15]);
    const i64 divisor = (d0 * d1) >> 6;
    if (divisor == 0) return 0;
    const i64 turn = 4 * a * a / divisor;
    return a < 0 ? -turn : turn;
}

// The four corner indices of the ring (before the shift to the side starts), or false.
bool RingCorners(const i64 peak[16], int corners[4]) {
    int candidates[16];
    int n = 0;
    for (int i = 0; i < 16; ++i)
        if (peak[i] >= peak[(i + 15) & 15] && peak[i] > peak[(i + 1) & 15]) candidates[n++] = i;
    if (n < 4) return false;
    // The four largest peaks, lower index first on equal ones, back in ascending order.
    bool taken[16] = {};
    for (int k = 0; k < 4; ++k) {
        int best = -1;
        for (int j = 0; j < n; ++j)
            if (!taken[j] && (best < 0 || peak[candidates[j]] > peak[candidates[best]])) best = j;
        taken[best] = true;
    }
    int m = 0;
    for (int j = 0; j < n; ++j)
        if (taken[j]) corners[m++] = candidates[j];
    i64 score = 0;
    for (int k = 0; k < 4; ++k) {
        score += peak[corners[k]];
        const int from = corners[k];
        const int to = k < 3 ? corners[k + 1] : corners[0] + 16;
        i64 smallest = 100000;
        bool any = false;
        for (int i = from + 1; i < to; ++i) {
            if (!any || peak[i & 15] < smallest) smallest = peak[i & 15];
            any = true;
        }
        score -= smallest;
    }
    return score > 4299;
}

// Line through the ring points first..first + count - 1 (indices modulo 16).
bool FitSide(i32 p[16][2], int first, int count, int next, LINE_FIT *line) {
    POINT_NODE nodes[16];
    for (int k = 0; k < count; ++k) {
        const int i = (first + k) & 15;
        nodes[k] = {p[i][0], p[i][1], k + 1 < count ? &nodes[k + 1] : nullptr};
    }
    const i64 dx = static_cast<i64>(p[next & 15][0]) - p[first & 15][0];
    const i64 dy = static_cast<i64>(p[next & 15][1]) - p[first & 15][1];
    return Geo_FitLineToPointList(nodes, count, line, Abs64(dx) > Abs64(dy) ? 1 : 0) == 1;
}

bool IntersectSides(const LINE_FIT lines[4], i32 q[4][2]) {
    GEO_POINT corners[4];
    for (int k = 0; k < 4; ++k)
        if (Geo_IntersectLineFits(&lines[(k + 3) & 3], &lines[k], &corners[k]) != 1) return false;
    for (int k = 0; k < 4; ++k) {
        q[k][0] = corners[k].x;
        q[k][1] = corners[k].y;
    }
    return true;
}

// Residual of the side points against their side, seen from the centre; false when a
// point's line from the centre never meets its side.
bool RingResidual(i32 p[16][2], const int starts[4], i32 q[4][2], i64 *residual) {
    i64 cx = 0, cy = 0;
    for (int k = 0; k < 4; ++k) {
        cx += q[k][0];
        cy += q[k][1];
    }
    const GEO_POINT z{static_cast<i32>((cx + 2) >> 2), static_cast<i32>((cy + 2) >> 2)};
    i64 res = 0;
    for (int k = 0; k < 4; ++k) {
        const int end = k < 3 ? starts[k + 1] : starts[0] + 16;
        const GEO_POINT a{q[k][0], q[k][1]};
        const GEO_POINT b{q[(k + 1) & 3][0], q[(k + 1) & 3][1]};
        for (int i = starts[k]; i < end; ++i) {
            const GEO_POINT pt{p[i & 15][0], p[i & 15][1]};
            GEO_POINT y;
            if (Geo_IntersectLines(&z, &pt, &a, &b, &y) != 1) return false;
            res += Square(static_cast<i64>(pt.x) - y.x) + Square(static_cast<i64>(pt.y) - y.y);
        }
    }
    *residual = res;
    return true;
}

// Two-component vectors for the orientation samples (1/16 pixel).
struct Vec {
    i32 x, y;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec Half(Vec a) { return {a.x / 2, a.y / 2}; }

// Grey x 16 at a point, -1 where the sample is unavailable.
int OrientationSample(Vec p) {
    const i32 pt[2] = {p.x, p.y};
    const u16 v = Azt_SampleAt16Checked(pt);
    return v == 0xFFFF ? -1 : v;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Verification

int Azt_VerifyBullseye(const AZT_QUEUE_ENTRY *entry, AZT_BULLSEYE *out) {
    if (entry == nullptr || out == nullptr) return 0;
    if (Azt_InsideFoundBullseye(entry) != 0) return 0;
    if (Azt_SetupRays(entry) == 0) return 0;
    if (Azt_CastRays() == 0) return 0;
    if (Azt_FitBullseyeSquare(out) == 0) return 0;
    if (Azt_CheckLargeCentre(entry, out) == 0) return 0;
    out->polarity = entry->polarity;
    out->full = g_aztVerify.full;
    return 1;
}

int Azt_SetupRays(const AZT_QUEUE_ENTRY *entry) {
    if (entry == nullptr || !ImageReady()) return 0;
    AZT_VERIFY_STATE &v = g_aztVerify;
    i32 origin[2] = {(entry->x + 8) >> 4, (entry->y + 8) >> 4};
    const u16 s = U16(entry->due - entry->y) >> 1;
    v.span = s;
    const int polarity = entry->polarity != 0 ? 1 : 0;
    if (polarity == 0) {
        if (entry->width != 0) Azt_FindDarkCentreRow(origin, entry->width);
        Azt_StepToDarkestNeighbour(origin);
        v.sampler = Loc_RaySampleStairs;
    } else {
        if (entry->width != 0) Azt_FindBrightCentreRow(origin, entry->width);
        Azt_StepToBrightestNeighbour(origin);
        v.sampler = Loc_RaySampleStairsInverted;
    }
    v.cx = origin[0];
    v.cy = origin[1];
    if (v.cx < 0 || v.cx >= g_image.width || v.cy < 0 || v.cy >= g_image.height) return 0;
    const i32 n = s >> 5;
    bool flat = true;
    if (n == 0) {
        v.level = static_cast<i16>(polarity == 0 ? 127 : 128);
    } else {
        MeasureLevel(n, polarity, &flat);
    }
    v.edgeFinder = flat ? Loc_RayEdgeFlat : (s <= 480 ? Loc_RayEdgeContrast : Loc_RayEdgeLong);
    const u16 m = s < 4008 ? U16((s + 8) >> 4) : U16(kAztRayMaxLength);
    u8 *start = g_image.data + static_cast<i64>(v.cy) * g_image.width + v.cx;
    for (AZT_RAY &ray : v.rays) {
        ray.samples = v.samples;
        ray.start = start;
        ray.level = v.level;
        ray.firstLimit = U16((4 * s + 3) / 7);
        ray.secondLimit = U16((6 * s + 3) / 7);
        ray.length = m;
    }
    const i32 top = v.cy, bottom = g_image.height - v.cy, left = v.cx, right = g_image.width - v.cx;
    if (top < m) {
        if (top == 0) return 0;
        for (int k = 13; k <= 19; ++k) v.rays[k & 15].length = U16(top);
    }
    if (bottom < m) {
        if (bottom == 0) return 0;
        for (int k = 5; k <= 11; ++k) v.rays[k].length = U16(bottom);
    }
    if (left < m) {
        if (left == 0) return 0;
        for (int k = 9; k <= 15; ++k)
            if (v.rays[k].length > left) v.rays[k].length = U16(left);
    }
    if (right < m) {
        if (right == 0) return 0;
        for (int k = 1; k <= 7; ++k)
            if (v.rays[k].length > right) v.rays[k].length = U16(right);
    }
    return 1;
}

void Azt_FindDarkCentreRow(i32 point[2], u16 width) { FindCentreRow(point, width, true); }
void Azt_FindBrightCentreRow(i32 point[2], u16 width) { FindCentreRow(point, width, false); }

int Azt_CastRays() {
    AZT_VERIFY_STATE &v = g_aztVerify;
    if (v.sampler == nullptr || v.edgeFinder == nullptr) return 0;
    u16 s1 = 0, s2 = 0, s3 = 0, dev = 0;
    for (int k = 0; k < 8; ++k) {
        AZT_RAY &a = v.rays[k];
        AZT_RAY &b = v.rays[k + 8];
        v.sampler(&a);
        if (v.edgeFinder(&a) == 0) return 0;
        v.sampler(&b);
        if (v.edgeFinder(&b) == 0) return 0;
        s1 = U16(s1 + a.e1 + b.e1);
        s2 = U16(s2 + a.e2 + b.e1);
        s3 = U16(s3 + a.e3 + b.e3);
        if (Azt_CompareOppositeRays(&a, &b, &dev) == 0) return 0;
    }
    if ((dev > 6000 && dev > 4 * s1) || s3 > 4 * s1) return 0;
    for (int j = 1; j <= 16; ++j) {
        const AZT_RAY &p = v.rays[j - 1];
        const AZT_RAY &c = v.rays[Loc_WrapDir16(j)];
        const AZT_RAY &n = v.rays[Loc_WrapDir16(Loc_WrapDir16(j) + 1)];
        const int d3 = Curvature(p.e3, c.e3, n.e3);
        const int d2 = Curvature(p.e2, c.e2, n.e2);
        if (d3 > 8 * U16(p.e3) || 2 * d3 > s3 || d3 > s2 || d2 > s1 || 2 * d2 > s2) return 0;
    }
    v.full = Azt_BullseyeIsFull();
    return 1;
}

int Azt_CompareOppositeRays(const AZT_RAY *a, const AZT_RAY *b, u16 *deviation) {
    if (a == nullptr || b == nullptr || deviation == nullptr) return 0;
    const int da = U16(a->e3 - a->e1);
    const int db = U16(b->e3 - b->e1);
    const int t = U16(a->e3 + b->e3);
    if (t > 5 * da || t > 5 * db || 3 * t < 5 * da || 3 * t < 5 * db) return 0;
    const int x = U16(a->e2 + b->e1);
    const int y = U16(a->e1 + b->e2);
    if (t > 3 * x || t > 3 * y || 2 * t < 3 * x || 2 * t < 3 * y) return 0;
    const u16 v = U16(Abs(2 * da - y) + Abs(2 * da - x) + Abs(x - 2 * db) + Abs(y - 2 * db) + 16 * Abs(da - db) +
                      4 * Abs(x - y));
    if (v > 2500 || v > 6 * t) return 0;
    *deviation = U16(*deviation + v);
    return 1;
}

int Azt_BullseyeIsFull() {
    u16 sum = 0;
    for (const AZT_RAY &ray : g_aztVerify.rays) {
        if (ray.c3 == 0) return 0;
        sum = U16(sum + Abs(S16(ray.e5 - ray.e4 - ray.e3 + ray.e2)));
    }
    return sum <= 256 ? 1 : 0;
}

int Azt_FitBullseyeSquare(AZT_BULLSEYE *out) {
    if (out == nullptr || !ImageReady()) return 0;
    const AZT_VERIFY_STATE &v = g_aztVerify;
    const i32 maxY = (g_image.height - 1) * 16;
    const i32 maxX = (g_image.width - 1) * 16;
    i32 points[16][2];
    for (int k = 0; k < kAztRays; ++k) {
        const AZT_RAY &ray = v.rays[k];
        Azt_RayPointToImage(&ray, points[k], U16(v.full != 0 ? ray.c3 : ray.c2));
    }
    i32 q[4][2];
    if (Azt_FitSquareToRing(points, q) == 0) return 0;
    i64 sx = 0, sy = 0;
    for (int k = 0; k < 4; ++k) {
        out->q[k][0] = q[k][0] * 2;
        out->q[k][1] = q[k][1] * 2;
        sx += out->q[k][0];
        sy += out->q[k][1];
    }
    out->centreX = static_cast<i32>((sx + 2) >> 2);
    out->centreY = static_cast<i32>((sy + 2) >> 2);
    out->minY = maxY;
    out->minX = maxX;
    out->maxX = 0;
    out->maxY = 0;
    for (int k = 0; k < 4; ++k) {
        const int sign = k < 2 ? -1 : 1;
        const int from = k & 1;  // E02 for corners 0 and 2, E13 for 1 and 3
        for (int c = 0; c < 2; ++c) {
            const i32 diagonal = S16(out->q[from + 2][c] - out->q[from][c]) * 5 / 12;
            const i32 at = out->q[k][c] + sign * diagonal;
            if (c == 0) {
                out->minX = at < out->minX ? at : out->minX;
                out->maxX = at > out->maxX ? at : out->maxX;
            } else {
                out->minY = at < out->minY ? at : out->minY;
                out->maxY = at > out->maxY ? at : out->maxY;
            }
        }
    }
    return out->minY >= 0 && out->maxY <= maxY && out->minX >= 0 && out->maxX <= maxX ? 1 : 0;
}

void Azt_RayPointToImage(const AZT_RAY *ray, i32 out[2], u16 t) {
    if (ray == nullptr || out == nullptr) return;
    const i32 w = g_image.width;
    const auto split = [w](i32 stride, i32 *dx, i32 *dy) {
        *dy = stride > (w >> 1) ? 1 : (stride < -(w >> 1) ? -1 : 0);
        *dx = stride - *dy * w;
    };
    i32 ax, ay, bx, by;
    split(ray->strideA, &ax, &ay);
    split(ray->strideB, &bx, &by);
    const i32 dx = S16(ray->strideA == ray->strideB ? 2 * ax : ax + bx);
    const i32 dy = S16(ray->strideA == ray->strideB ? 2 * ay : ay + by);
    const AZT_VERIFY_STATE &v = g_aztVerify;
    out[0] = static_cast<i32>((static_cast<i64>(dx) * t + 16 * static_cast<i64>(v.cx) + 1) / 2);
    out[1] = static_cast<i32>((static_cast<i64>(dy) * t + 16 * static_cast<i64>(v.cy) + 1) / 2);
}

int Azt_FitSquareToRing(i32 points[16][2], i32 corners[4][2]) {
    if (points == nullptr || corners == nullptr) return 0;
    i64 turn[16];
    for (int i = 0; i < 16; ++i) turn[i] = Turn(points, i);
    i64 peak[16];
    for (int i = 0; i < 16; ++i) peak[i] = turn[(i + 1) & 15] + turn[(i + 2) & 15] - turn[i] - turn[(i + 3) & 15];
    int c[4];
    if (!RingCorners(peak, c)) return 0;
    int starts[4];
    for (int k = 0; k < 4; ++k) starts[k] = (c[k] + 3) & 15;
    for (int i = 1; i < 4; ++i)
        for (int j = i; j > 0 && starts[j - 1] > starts[j]; --j) {
            const int t = starts[j];
            starts[j] = starts[j - 1];
            starts[j - 1] = t;
        }
    LINE_FIT lines[4];
    for (int k = 0; k < 4; ++k) {
        const int next = k < 3 ? starts[k + 1] : starts[0] + 16;
        if (!FitSide(points, starts[k], next - starts[k], next, &lines[k])) return 0;
    }
    i32 q[4][2];
    if (!IntersectSides(lines, q)) return 0;
    i64 h[4];
    i64 sum = 0;
    for (int k = 0; k < 4; ++k) {
        h[k] = Distance2(q[(k + 1) & 3], q[k]);
        sum += h[k];
    }
    if (sum > 29999) {
        i64 res = 0;
        if (!RingResidual(points, starts, q, &res)) return 0;
        const i64 bb = Abs64(h[0] - h[2]) + Abs64(h[1] - h[3]);
        const bool shape = (bb <= 15000 && 500 * res <= sum) || 10 * bb <= sum;
        if (!shape || 125 * res > sum) return 0;
    }
    for (int k = 0; k < 4; ++k) {
        corners[k][0] = q[k][0];
        corners[k][1] = q[k][1];
    }
    return 1;
}

int Azt_CheckCentreColour(const AZT_QUEUE_ENTRY *entry, const AZT_BULLSEYE *b) {
    if (entry == nullptr || b == nullptr) return 0;
    i32 c[2];
    for (int k = 0; k < 2; ++k) c[k] = static_cast<i32>((static_cast<i64>(b->q[0][k]) + b->q[1][k] + b->q[2][k] + b->q[3][k] + 32) >> 6);
    const int level = g_aztVerify.level;
    if (entry->polarity == 0) return level >= Azt_StepToDarkestNeighbour(c) ? 1 : 0;
    return level >= 255 - Azt_StepToBrightestNeighbour(c) ? 1 : 0;
}

int Azt_CheckLargeCentre(const AZT_QUEUE_ENTRY *entry, const AZT_BULLSEYE *b) {
    if (entry == nullptr) return 0;
    if (U16(entry->due - entry->y) < 672) return 1;
    return Azt_CheckCentreColour(entry, b);
}

u16 Azt_SampleAt16Checked(const i32 point[2]) {
    if (point == nullptr) return 0xFFFF;
    const i32 x = point[0] >> 4;
    const i32 y = point[1] >> 4;
    if (x < 0 || x >= g_image.width - 1 || y < 0 || y >= g_image.height - 1) return 0xFFFF;
    return Azt_SampleBilinear16(point);
}

// ---------------------------------------------------------------------------------------
// Hand-out

void Azt_RefineCorners(AZT_BULLSEYE *b) {
    if (b == nullptr) return;
    const i32 bw = b->maxX - b->minX;
    const i32 bh = b->maxY - b->minY;
    const bool small = (bw < bh ? bw : bh) < 250;
    float (*probe)(i32 *, float, float) = nullptr;
    if (b->polarity == 0) {
        probe = small ? Azt_ClimbToBrightest : Azt_ProbeFallingEdges;
    } else {
        probe = small ? Azt_ClimbToDarkest : Azt_ProbeRisingEdges;
    }
    LINE_FIT lines[4];
    for (int k = 0; k < 4; ++k) {
        const i32 *q = b->q[k];
        const i32 *next = b->q[(k + 1) & 3];
        const i32 dx = next[0] - q[0];
        const i32 dy = next[1] - q[1];
        POINT_NODE nodes[11];
        for (int j = 0; j < 11; ++j) {
            i32 pt[2] = {q[0] + static_cast<i32>((static_cast<i64>(3 + j) * dx) >> 4),
                         q[1] + static_cast<i32>((static_cast<i64>(3 + j) * dy) >> 4)};
            probe(pt, static_cast<float>(dy) / 128.0f, static_cast<float>(-dx) / 128.0f);
            nodes[j] = {pt[0], pt[1], j + 1 < 11 ? &nodes[j + 1] : nullptr};
        }
        const i32 adx = dx < 0 ? -dx : dx;
        const i32 ady = dy < 0 ? -dy : dy;
        if (Geo_FitLineToPointList(nodes, 11, &lines[k], ady < adx ? 1 : 0) != 1) return;
    }
    i32 q[4][2];
    if (!IntersectSides(lines, q)) return;
    for (int k = 0; k < 4; ++k) {
        b->q[k][0] = q[k][0];
        b->q[k][1] = q[k][1];
    }
}

int Azt_OrientBullseye(AZT_BULLSEYE *b) {
    if (b == nullptr) return 1;
    const Vec q[4] = {{b->q[0][0], b->q[0][1]}, {b->q[1][0], b->q[1][1]}, {b->q[2][0], b->q[2][1]}, {b->q[3][0], b->q[3][1]}};
    // Two modules along Qi -> Qj: the mode ring lies two modules outside the light ring.
    const bool full = b->full != 0;
    const auto step = [&q, full](int i, int j) {
        const auto one = [full](i32 d) { return full ? S16(d + 2) / 5 : S16(d + 1) / 3; };
        return Vec{one(q[j].x - q[i].x), one(q[j].y - q[i].y)};
    };
    const Vec s01 = step(0, 1), s02 = step(0, 2), s03 = step(0, 3), s12 = step(1, 2), s13 = step(1, 3),
              s23 = step(2, 3);
    const Vec at[4][3] = {
        {q[0] - s01 - Half(s03), q[0] - s02, q[0] - s03 - Half(s01)},
        {q[1] + Half(s01) - s12, q[1] - s13, q[1] + s01 - Half(s12)},
        {q[2] + Half(s12) - s23, q[2] + s02, q[2] + s12 - Half(s23)},
        {q[3] + s03 + Half(s23), q[3] + s13, q[3] + s23 + Half(s03)},
    };
    int l[4], v[4], r[4];
    for (int k = 0; k < 4; ++k) {
        l[k] = OrientationSample(at[k][0]);
        v[k] = OrientationSample(at[k][1]);
        r[k] = OrientationSample(at[k][2]);
    }
    int m[4];
    for (int k = 0; k < 4; ++k) {
        const int k1 = Loc_WrapDir4(k + 1), k2 = Loc_WrapDir4(k + 2), k3 = Loc_WrapDir4(k + 3);
        m[k] = S16((l[k1] + v[k2] + r[k2] + l[k3] + v[k3] + r[k3]) - (l[k] + v[k] + r[k] + v[k1] + r[k1] + l[k2]));
    }
    int a[4];
    for (int k = 0; k < 4; ++k) a[k] = Abs(m[k]);
    int turn = 0;
    if (a[3] > a[0] && a[3] > a[1] && a[3] > a[2]) {
        turn = 3;
    } else if (a[2] > a[0] && a[2] > a[1]) {
        turn = 2;
    } else if (a[1] > a[0]) {
        turn = 1;
    }
    for (int i = 0; i < 4; ++i) {
        const Vec n = q[Loc_WrapDir4(turn + i)];
        b->q[i][0] = n.x;
        b->q[i][1] = n.y;
    }
    return 1;
}

int Azt_RefineAndOrient(AZT_BULLSEYE *b) {
    Azt_RefineCorners(b);
    return Azt_OrientBullseye(b);
}

}  // namespace vexo
