#include "pdf417/cc_reader.h"

#include <cmath>

#include "aztec_maxicode/maxi_steps.h"
#include "core/pixel.h"
#include "pdf417/cc_data.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_scanline.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/reed_solomon.h"
#include "toolkit/sampling.h"

namespace vexo {

// The request record the linear-code reader fills: quad corners in cyclic order.
static_assert(sizeof(CC_READ_REQUEST) == 88);

CC_STATE g_ccState;

namespace {

// Request coordinates beyond this are refused, so that every product of the line
// intersections stays far inside 64 bits.
constexpr i32 kCoordinateLimit = 32767;
constexpr i32 kFrameWidth = 1280;
constexpr i32 kFrameHeight = 960;
constexpr i32 kRapWrap = 52;

i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }

i32 Width() { return g_image.width; }
i32 Height() { return g_image.height; }

bool Inside(POINT_I32 p) { return p.x >= 0 && p.y >= 0 && p.x < Width() && p.y < Height(); }
bool InsideBy(POINT_I32 p, i32 margin) {
    return p.x >= margin && p.y >= margin && p.x < Width() - margin && p.y < Height() - margin;
}
u8 Pixel(const u8 *image, i32 x, i32 y) { return image[static_cast<i64>(y) * Width() + x]; }
bool IsBar(i32 v, i32 threshold, i32 polarity) { return polarity != 0 ? v < threshold : v >= threshold; }
bool IsZero(POINT_I32 p) { return p.x == 0 && p.y == 0; }
i64 Cross(i64 ax, i64 ay, i64 bx, i64 by) { return ax * by - ay * bx; }
i64 Dist2(POINT_I32 a, POINT_I32 b) {
    const i64 dx = static_cast<i64>(a.x) - b.x;
    const i64 dy = static_cast<i64>(a.y) - b.y;
    return dx * dx + dy * dy;
}
i32 NextRap(i32 n) { return n >= kRapWrap ? 1 : n + 1; }
i32 RapAfter(i32 start, i32 r) { return (start - 1 + r) % kRapWrap + 1; }

// Where line a1-a2 meets line b1-b2 (truncating); false when parallel.
bool IntersectLines(POINT_I32 a1, POINT_I32 a2, POINT_I32 b1, POINT_I32 b2, POINT_I32 *out) {
    const i64 rx = static_cast<i64>(a2.x) - a1.x;
    const i64 ry = static_cast<i64>(a2.y) - a1.y;
    const i64 sx = static_cast<i64>(b2.x) - b1.x;
    const i64 sy = static_cast<i64>(b2.y) - b1.y;
    const i64 d = Cross(rx, ry, sx, sy);
    if (d == 0) return false;
    const i64 t = Cross(static_cast<i64>(b1.x) - a1.x, static_cast<i64>(b1.y) - a1.y, sx, sy);
    const i64 x = a1.x + rx * t / d;
    const i64 y = a1.y + ry * t / d;
    if (Abs64(x) > 4 * kCoordinateLimit || Abs64(y) > 4 * kCoordinateLimit) return false;
    *out = POINT_I32{static_cast<i32>(x), static_cast<i32>(y)};
    return true;
}

// Whether e lies on segment a-b, tested on the coordinate along which a-b extends more.
bool OnSegment(POINT_I32 e, POINT_I32 a, POINT_I32 b) {
    if (Abs64(static_cast<i64>(b.x) - a.x) >= Abs64(static_cast<i64>(b.y) - a.y)) {
        return e.x >= Min32(a.x, b.x) && e.x <= Max32(a.x, b.x);
    }
    return e.y >= Min32(a.y, b.y) && e.y <= Max32(a.y, b.y);
}
POINT_I32 Nearer(POINT_I32 e, POINT_I32 a, POINT_I32 b) { return Dist2(e, a) <= Dist2(e, b) ? a : b; }

// Point k of n + 1 evenly spaced from a to b (n > 0).
POINT_I32 Along(POINT_I32 a, POINT_I32 b, i64 k, i64 n) {
    return POINT_I32{static_cast<i32>(a.x + (static_cast<i64>(b.x) - a.x) * k / n),
                     static_cast<i32>(a.y + (static_cast<i64>(b.y) - a.y) * k / n)};
}
i64 Chebyshev(POINT_I32 a, POINT_I32 b) {
    const i64 dx = Abs64(static_cast<i64>(b.x) - a.x);
    const i64 dy = Abs64(static_cast<i64>(b.y) - a.y);
    return dx > dy ? dx : dy;
}

// Samples from a towards b, one pixel apart, at most cap; answers the count (both inside).
i32 SampleTowards(const u8 *image, POINT_I32 a, POINT_I32 b, u8 *out, i32 cap, POINT_I32 *points) {
    const i64 len = Chebyshev(a, b);
    if (len == 0) {
        out[0] = Pixel(image, a.x, a.y);
        if (points != nullptr) points[0] = a;
        return 1;
    }
    const i32 n = static_cast<i32>(len + 1 < cap ? len + 1 : cap);
    for (i32 k = 0; k < n; ++k) {
        const POINT_I32 p = Along(a, b, k, len);
        out[k] = Pixel(image, p.x, p.y);
        if (points != nullptr) points[k] = p;
    }
    return n;
}

// First sample k that, with the next one, is dark; -1 when none.
i32 FirstDarkPair(const u8 *s, i32 n, i32 threshold, i32 polarity) {
    for (i32 k = 0; k + 1 < n; ++k) {
        if (IsBar(s[k], threshold, polarity) && IsBar(s[k + 1], threshold, polarity)) return k;
    }
    return -1;
}

struct PER_SIDE {
    POINT_I32 points[kCcMaxRows];
    POINT_I32 innerEnds[kCcMaxRows];
    i32 variant;
};
PER_SIDE g_sides[2];  // [side]: 0 right, 1 left
i32 g_lastCount;

// A RAP column's reads: one number and inner end per sample point.
struct COLUMN_READ {
    POINT_I32 points[kCcColumnSamples];
    POINT_I32 ends[kCcColumnSamples];
    i32 numbers[kCcColumnSamples];
    i32 rows[kCcMaxRows];
    i32 count;
};
COLUMN_READ g_column;

}  // namespace

i32 CC_ColumnsOfVariant(i32 variant) {
    static constexpr i32 kColumns[8] = {4, 3, 2, 4, 4, 2, 3, 4};
    static_assert(sizeof(kColumns) == 8 * sizeof(i32));
    return variant >= 0 && variant < 8 ? kColumns[variant] : 0;
}

// ---- Geometry.

POINT_I32 CC_ClipPointToImage(POINT_I32 anchor, POINT_I32 point) {
    const i64 w = Width();
    const i64 h = Height();
    auto fix = [](i64 v, i64 n) { return v == -1 ? 0 : v == n ? n - 1 : v; };
    if (point.x < 0 || point.x >= w) {
        const i64 bx = point.x < 0 ? 0 : w - 1;
        const i64 dx = static_cast<i64>(point.x) - anchor.x;
        if (dx != 0) {
            const i64 y = fix(anchor.y + (static_cast<i64>(point.y) - anchor.y) * (bx - anchor.x) / dx, h);
            if (y >= 0 && y < h) return POINT_I32{static_cast<i32>(bx), static_cast<i32>(y)};
        }
    }
    if (point.y < 0 || point.y >= h) {
        const i64 by = point.y < 0 ? 0 : h - 1;
        const i64 dy = static_cast<i64>(point.y) - anchor.y;
        if (dy != 0) {
            const i64 x = fix(anchor.x + (static_cast<i64>(point.x) - anchor.x) * (by - anchor.y) / dy, w);
            if (x >= 0 && x < w) return POINT_I32{static_cast<i32>(x), static_cast<i32>(by)};
        }
    }
    return point;
}

int CC_ClipQuadToImage(POINT_I32 quad[4]) {
    bool in[4];
    i32 count = 0;
    for (int k = 0; k < 4; ++k) count += (in[k] = Inside(quad[k])) ? 1 : 0;
    if (count == 4) return 1;
    if (count == 2) {
        for (int k = 0; k < 4; ++k) {
            const int n = (k + 1) % 4;
            if (!in[k] || !in[n]) continue;
            // The outside corners sit on the sides that leave k and n.
            const int a = (k + 3) % 4;
            const int b = (n + 1) % 4;
            quad[a] = CC_ClipPointToImage(quad[k], quad[a]);
            quad[b] = CC_ClipPointToImage(quad[n], quad[b]);
            return 1;
        }
        return 0;
    }
    if (count == 3) {
        int j = 0;
        while (in[j]) ++j;
        const int before = (j + 3) % 4;
        const int after = (j + 1) % 4;
        const i64 toBefore = Dist2(quad[j], quad[before]);
        const i64 toAfter = Dist2(quad[j], quad[after]);
        int towards;
        if (toBefore != toAfter) {
            towards = toBefore > toAfter ? before : after;
        } else {
            towards = j == 2 ? 3 : before;
        }
        quad[j] = CC_ClipPointToImage(quad[towards], quad[j]);
        return 1;
    }
    return 0;
}

i32 CC_Cos1024(POINT_I32 v, POINT_I32 w) {
    const f64 lv = std::sqrt(static_cast<f64>(v.x) * v.x + static_cast<f64>(v.y) * v.y);
    const f64 lw = std::sqrt(static_cast<f64>(w.x) * w.x + static_cast<f64>(w.y) * w.y);
    if (lv == 0 || lw == 0) return 0;
    const f64 dot = static_cast<f64>(v.x) * w.x + static_cast<f64>(v.y) * w.y;
    return static_cast<i32>(1024.0 * dot / (lv * lw));
}

f64 CC_CosAngle(POINT_I32 v, POINT_I32 w) {
    const f64 l = std::sqrt(static_cast<f64>(v.x) * v.x + static_cast<f64>(v.y) * v.y) *
                  std::sqrt(static_cast<f64>(w.x) * w.x + static_cast<f64>(w.y) * w.y);
    if (l < 0.0001) return 0;
    return (static_cast<f64>(v.x) * w.x + static_cast<f64>(v.y) * w.y) / l;
}

void CC_ClipSegmentToFrame(POINT_I32 *p, POINT_I32 *q) {
    const f64 x0 = p->x;
    const f64 y0 = p->y;
    const f64 dx = static_cast<f64>(q->x) - p->x;
    const f64 dy = static_cast<f64>(q->y) - p->y;
    f64 t0 = 0;
    f64 t1 = 1;
    const f64 edges[4][2] = {{-dx, x0}, {dx, kFrameWidth - 1 - x0}, {-dy, y0}, {dy, kFrameHeight - 1 - y0}};
    for (const auto &e : edges) {
        if (e[0] == 0) {
            if (e[1] < 0) return;  // parallel and outside: nothing to keep
            continue;
        }
        const f64 t = e[1] / e[0];
        if (e[0] < 0) {
            if (t > t0) t0 = t;
        } else if (t < t1) {
            t1 = t;
        }
    }
    if (t0 > t1) return;
    const POINT_I32 a{static_cast<i32>(x0 + t0 * dx), static_cast<i32>(y0 + t0 * dy)};
    const POINT_I32 b{static_cast<i32>(x0 + t1 * dx), static_cast<i32>(y0 + t1 * dy)};
    *p = a;
    *q = b;
}

// ---- Rows and edges.

i32 CC_FindRowExtent(const u8 *image, POINT_I32 *start, POINT_I32 *end, i32 narrowWidth, i32 polarity) {
    constexpr i32 kReach = 100;
    u8 s[kReach];
    POINT_I32 pts[kReach];
    i32 n = SampleTowards(image, *start, *end, s, kReach, pts);
    i32 lo = 255;
    i32 hi = 0;
    for (i32 k = 0; k < n; ++k) lo = Min32(lo, s[k]), hi = Max32(hi, s[k]);
    const i32 first = n > 0 ? lo + (hi - lo) / 2 : 127;
    i32 at = FirstDarkPair(s, n, first, polarity);
    if (at >= 0) *start = pts[at];
    n = SampleTowards(image, *end, *start, s, kReach, pts);
    i32 hi2 = 0;
    for (i32 k = 0; k < n; ++k) lo = Min32(lo, s[k]), hi2 = Max32(hi2, s[k]);
    const i32 top = Max32(first, hi2);
    at = FirstDarkPair(s, n, lo + (top - lo) / 2, polarity);
    if (at >= 0) *end = pts[at];
    if (narrowWidth <= 0) return 0;
    const f64 d = Geo_Distance(start->x, start->y, end->x, end->y);
    const i64 a = ((static_cast<i64>(32.0 * d) - 20 * static_cast<i64>(narrowWidth)) * 2) / narrowWidth;
    return a < 17 ? 0 : a < 51 ? 1 : a <= 84 ? 2 : a < 136 ? 3 : 4;
}

i32 CC_MeasureRows(const u8 *image, const POINT_I32 quad[4], i32 variant, POINT_I32 leftEnds[3],
                   POINT_I32 rightEnds[3], i32 narrowWidth, POINT_I32 *rowVector, i32 polarity) {
    const POINT_I32 c0 = quad[0];
    const POINT_I32 c1 = quad[1];
    const POINT_I32 c2 = quad[2];
    const POINT_I32 c3 = quad[3];
    POINT_I32 s[3];
    s[1] = POINT_I32{static_cast<i32>((static_cast<i64>(c0.x) + c3.x) >> 1),
                     static_cast<i32>((static_cast<i64>(c0.y) + c3.y) >> 1)};
    s[0] = POINT_I32{static_cast<i32>((5 * static_cast<i64>(c0.x) + 3 * static_cast<i64>(c3.x)) / 8),
                     static_cast<i32>((5 * static_cast<i64>(c0.y) + 3 * static_cast<i64>(c3.y)) / 8)};
    s[2] = POINT_I32{static_cast<i32>((3 * static_cast<i64>(c0.x) + 5 * static_cast<i64>(c3.x)) / 8),
                     static_cast<i32>((3 * static_cast<i64>(c0.y) + 5 * static_cast<i64>(c3.y)) / 8)};
    const POINT_I32 ahead{s[1].x + rowVector->x, s[1].y + rowVector->y};
    POINT_I32 e1{};
    if (!IntersectLines(s[1], ahead, c1, c2, &e1)) return 0;
    const POINT_I32 offset{e1.x - s[1].x, e1.y - s[1].y};
    POINT_I32 e[3];
    for (int k = 0; k < 3; ++k) {
        e[k] = POINT_I32{s[k].x + offset.x, s[k].y + offset.y};
        if (!OnSegment(e[k], c1, c2)) e[k] = Nearer(e[k], c1, c2);
    }
    if (!OnSegment(e1, c1, c2)) *rowVector = POINT_I32{e[1].x - s[1].x, e[1].y - s[1].y};
    i32 cls[3];
    for (int k = 0; k < 3; ++k) {
        if (!Inside(s[k]) || !Inside(e[k])) return 0;
        cls[k] = CC_FindRowExtent(image, &s[k], &e[k], narrowWidth, polarity);
    }
    // Lines of one measured width go first; the odd one out last.
    int order[3] = {0, 1, 2};
    if (cls[0] == cls[1] && cls[0] != 0) {
        // stays
    } else if (cls[0] == cls[2] && cls[0] != 0) {
        order[1] = 2, order[2] = 1;
    } else if (cls[1] == cls[2] && cls[1] != 0) {
        order[0] = 1, order[1] = 2, order[2] = 0;
    } else if (cls[0] == 0 && cls[1] == 0 && cls[2] != 0) {
        order[0] = 2, order[1] = 0, order[2] = 1;
    } else if (cls[0] == 0 && cls[2] == 0 && cls[1] != 0) {
        order[0] = 1, order[1] = 0, order[2] = 2;
    }
    for (int k = 0; k < 3; ++k) {
        leftEnds[k] = s[order[k]];
        rightEnds[k] = e[order[k]];
    }
    return CC_ColumnsOfVariant(variant);
}

namespace {

// The edge line through two of three ends within about 28 degrees of the left side, its
// first point nearer the top side c0-c1.
bool FitEdgeLine(const POINT_I32 quad[4], const POINT_I32 ends[3], POINT_I32 leftVector, POINT_I32 line[2]) {
    static constexpr int kPairs[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (const auto &pair : kPairs) {
        const POINT_I32 a = ends[pair[0]];
        const POINT_I32 b = ends[pair[1]];
        const POINT_I32 d{a.x - b.x, a.y - b.y};
        const i32 c = CC_Cos1024(leftVector, d);
        if (c < 900 && c > -900) continue;
        const POINT_I32 mid{static_cast<i32>((static_cast<i64>(a.x) + b.x) >> 1),
                            static_cast<i32>((static_cast<i64>(a.y) + b.y) >> 1)};
        line[0] = mid;
        line[1] = POINT_I32{mid.x + d.x, mid.y + d.y};
        if (Geo_DistanceToLineD(line[1], quad[0], quad[1]) < Geo_DistanceToLineD(line[0], quad[0], quad[1])) {
            const POINT_I32 t = line[0];
            line[0] = line[1];
            line[1] = t;
        }
        return true;
    }
    return false;
}

}  // namespace

int CC_FitSideEdges(const POINT_I32 quad[4], const POINT_I32 leftEnds[3], const POINT_I32 rightEnds[3],
                    POINT_I32 leftVector, CC_EDGES *edges) {
    if (!FitEdgeLine(quad, leftEnds, leftVector, edges->left)) return 0;
    const f64 d0 = Geo_DistanceToLineD(edges->left[0], quad[0], quad[1]);
    const f64 d1 = Geo_DistanceToLineD(edges->left[1], quad[0], quad[1]);
    if (d0 == d1) return 0;
    const i64 dx = static_cast<i64>(edges->left[1].x) - edges->left[0].x;
    const i64 dy = static_cast<i64>(edges->left[1].y) - edges->left[0].y;
    if (Cross(dx, dy, static_cast<i64>(quad[3].x) - quad[2].x, static_cast<i64>(quad[3].y) - quad[2].y) == 0) return 0;
    return FitEdgeLine(quad, rightEnds, leftVector, edges->right) ? 1 : 0;
}

// ---- Elements.

i32 CC_ClassifyRap(const i32 edges[7], i32 side) {
    i64 w[6];
    i64 total = 0;
    for (int k = 0; k < 6; ++k) {
        const int a = side == 0 ? 6 - k : k;
        const int b = side == 0 ? 5 - k : k + 1;
        w[k] = Abs64(static_cast<i64>(edges[b]) - edges[a]);
        total += w[k];
    }
    if (total <= 0) return 0;
    u32 key = 0;
    for (int k = 0; k < 6; ++k) {
        const i64 m = (10 * w[k] + total / 2) / total;
        if (m < 1 || m > 7) return 0;
        key = key << 3 | static_cast<u32>(m);
    }
    for (i32 n = 0; n < 104; ++n) {
        if (CC_RAP_TABLE[static_cast<size_t>(n)] == key) return n < 52 ? n + 1 : (n - 51) | 0x40;
    }
    return 0;
}

int CC_ReadElement(const u8 *image, POINT_I32 start, POINT_I32 *end, i32 *value, i32 codewordWidth, i32 kind,
                   i32 side, i32 polarity) {
    if (!Inside(start) || codewordWidth <= 0) return 0;
    const f64 dir = side == 1 ? 1.0 : -1.0;
    const f64 dx = dir * g_ccState.rowCos;
    const f64 dy = dir * g_ccState.rowCos * g_ccState.rowSlope;
    auto at = [&](i32 k) {
        return POINT_I32{static_cast<i32>(std::floor(start.x + k * dx + 0.5)),
                         static_cast<i32>(std::floor(start.y + k * dy + 0.5))};
    };
    // Reads inside a row start half a module back, so that the first edge is found where the
    // element starts; reads on an edge line start two modules out, as the line may cut into
    // the outer pattern by a pixel or two over the column's height.
    i32 back = kind == 0 || kind == 3 ? Max32(2, 2 * codewordWidth / 17) : Max32(1, codewordWidth / 34);
    while (back > 0 && !Inside(at(-back))) --back;
    static u8 s[kCcElementSamples];
    const i64 want = 2 * static_cast<i64>(codewordWidth) + back;
    const i32 limit = static_cast<i32>(want < kCcElementSamples ? want : kCcElementSamples);
    i32 n = 0;
    i32 lo = 255;
    i32 hi = 0;
    for (; n < limit; ++n) {
        const POINT_I32 p = at(n - back);
        if (!Inside(p)) break;
        s[n] = Pixel(image, p.x, p.y);
        lo = Min32(lo, s[n]);
        hi = Max32(hi, s[n]);
    }
    if (n < 2 || hi - lo < 8) return 0;
    const i32 threshold = lo + (hi - lo) / 2;
    i32 i = 0;
    if (kind == 3) {
        while (i < n && !IsBar(s[i], threshold, polarity)) ++i;
        if (i == n) return 0;
    }
    const i32 wanted = kind == 2 ? 9 : 7;
    i32 edges[9];
    i32 found = 0;
    // Side 1 counts from the start of a bar, side 0 (reading backwards) from the start of a space.
    bool bar = side == 1 ? false : true;
    if (IsBar(s[i], threshold, polarity) != bar) {
        edges[found++] = 16 * i;
        bar = !bar;
    }
    for (++i; i < n && found < wanted; ++i) {
        if (IsBar(s[i], threshold, polarity) == bar) continue;
        const i32 a = s[i - 1];
        const i32 b = s[i];
        const i32 frac = a != b ? 16 * (threshold - a) / (b - a) : 8;
        edges[found++] = 16 * (i - 1) + Max32(0, Min32(16, frac));
        bar = !bar;
    }
    if (found < wanted) return 0;
    const i32 last = (edges[wanted - 1] + 8) / 16;
    *end = at(last - back);
    if (kind != 2) {
        *value = CC_ClassifyRap(edges, side);
        return 1;
    }
    i32 v = kPdfNoCodeword;
    const POINT_I32 from = side == 1 ? start : *end;
    const POINT_I32 to = side == 1 ? *end : start;
    *value = PDF_ReadCodewordOnSegment(from, to, &v) == 1 ? v : -1;
    return 1;
}

// ---- RAP columns.

i32 CC_ProfileThreshold(const u8 *samples, i32 count) {
    auto part = [&](i32 from, i32 to) {
        if (to < from) return 5;
        i32 lo = 255;
        i32 hi = 0;
        for (i32 k = from; k <= to; ++k) lo = Min32(lo, samples[k]), hi = Max32(hi, samples[k]);
        const i32 m = hi > 150 ? 255 - lo : hi;
        return m < 59 ? 5 : (m - 35) / 4;
    };
    return Min32(part(3, count / 2 - 1), part(count / 2, count - 4));
}

int CC_HasRowRuns(const i32 *rapNumbers, i32 count) {
    i32 runs = 0;
    for (i32 k = 0; k < count;) {
        i32 e = k;
        while (e + 1 < count && rapNumbers[e + 1] == rapNumbers[k]) ++e;
        if (rapNumbers[k] != 0 && e > k) ++runs;
        k = e + 1;
    }
    return runs > 3 ? 1 : 0;
}

namespace {

// The run of number n starting at k: its last index (k itself for a lone sample with its
// twin two samples on); -1 when k starts none.
i32 RunFrom(const i32 *r, i32 count, i32 k) {
    if (r[k] == 0) return -1;
    if (k + 1 < count && r[k + 1] == r[k]) {
        i32 e = k + 1;
        while (e + 1 < count && r[e + 1] == r[k]) ++e;
        return e;
    }
    if (k + 2 < count && r[k + 2] == r[k]) return k;
    return -1;
}

i32 StartOf(const i32 *r, i32 k) {
    while (k > 0 && r[k - 1] == r[k]) --k;
    return k;
}

void SetFamily(i32 family) {
    g_ccState.family = family;
    g_ccState.layout = family == 1 ? CC_A_LAYOUT.data() : CC_MPDF_LAYOUT.data();
    g_ccState.size = family == 1 ? CC_A_SIZE.data() : CC_MPDF_SIZE.data();
    g_ccState.tableCount = family == 1 ? kCcAVariants : kMpdfVariantCount;
}

i32 SideStart(u32 layout, i32 side) { return side == 1 ? CC_LayoutLeft(layout) : CC_LayoutRight(layout); }

i32 MatchVariant(i32 columns, i32 rows, i32 first, i32 side) {
    for (i32 family = 1; family <= 2; ++family) {
        if (g_ccState.family != 0 && g_ccState.family != family) continue;
        const u32 *t = family == 1 ? CC_A_LAYOUT.data() : CC_MPDF_LAYOUT.data();
        const i32 n = family == 1 ? kCcAVariants : kMpdfVariantCount;
        for (i32 k = 0; k < n; ++k) {
            if (CC_LayoutColumns(t[k]) != columns || CC_LayoutRows(t[k]) != rows || SideStart(t[k], side) != first) {
                continue;
            }
            // A three-column CC-A component has no left RAP column to read.
            if (side == 1 && family == 1 && columns == 3) continue;
            if (g_ccState.family == 0) SetFamily(family);
            return k;
        }
    }
    return -1;
}

}  // namespace

i32 CC_FindVariant(const i32 *r, i32 count, i32 *rowSamples, i32 columns, i32 side) {
    if (count < 3) return -1;
    i32 firstStart = -1;
    i32 firstEnd = -1;
    for (i32 k = 0; k < count * 3 / 4; ++k) {
        const i32 e = RunFrom(r, count, k);
        if (e >= 0) {
            firstStart = k;
            firstEnd = e;
            break;
        }
    }
    if (firstStart < 0) return -1;
    const i32 n = r[firstStart];
    const i32 succ = NextRap(n);
    i32 row1 = -1;
    for (i32 k = firstEnd + 1; k < count; ++k) {
        if (r[k] != succ) continue;
        const i32 e = RunFrom(r, count, k);
        row1 = (k + (e >= 0 ? e : k)) / 2;
        break;
    }
    if (row1 < 0) return -1;
    // The last run at least two rows after the first.
    i32 lastRow = -1;
    i32 diff = 0;
    i32 lastStart = -1;
    for (i32 k = count - 1; k > firstEnd; --k) {
        if (r[k] == 0) continue;
        const i32 s = StartOf(r, k);
        if (RunFrom(r, count, s) < 0) {
            k = s;
            continue;
        }
        const i32 d = (r[k] - n + kRapWrap) % kRapWrap;
        if (d >= 2) {
            lastRow = (s + k) / 2;
            lastStart = s;
            diff = d;
            break;
        }
        k = s;
    }
    if (lastRow < 0) return -1;
    const i32 rows = diff + 1;
    if (rows > kCcMaxRows) return -1;
    const i32 pred = r[lastRow] == 1 ? kRapWrap : r[lastRow] - 1;
    i32 penult = -1;
    for (i32 k = lastStart - 1; k > row1 - 1 && k >= 0; --k) {
        if (r[k] != pred) continue;
        penult = (StartOf(r, k) + k) / 2;
        break;
    }
    if (penult < 0) penult = rows == 3 ? row1 : -1;
    if (penult < 0) return -1;
    const i32 variant = MatchVariant(columns, rows, n, side);
    if (variant < 0) return -1;
    rowSamples[0] = (firstStart + firstEnd) / 2;
    rowSamples[1] = row1;
    rowSamples[rows - 2] = penult;
    rowSamples[rows - 1] = lastRow;
    const i32 span = rows - 3;
    for (i32 row = 2; row < rows - 2; ++row) {
        i32 pos = row1 + static_cast<i32>(static_cast<i64>(penult - row1) * (row - 1) / span);
        const i32 expected = RapAfter(n, row);
        if (pos >= 0 && pos < count && r[pos] != expected) {
            const i32 lo = Max32(rowSamples[row - 1] + 1, pos - 3);
            const i32 hi = Min32(penult - 1, pos + 3);
            for (i32 k = lo; k <= hi; ++k) {
                if (r[k] != expected) continue;
                i32 e = k;
                while (e + 1 < count && r[e + 1] == expected) ++e;
                pos = (k + e) / 2;
                break;
            }
        }
        rowSamples[row] = pos;
    }
    return variant;
}

int CC_RowPositionsForVariant(const i32 *r, i32 count, i32 *rowSamples, i32 side) {
    if (g_ccState.variantIndex < 0 || g_ccState.layout == nullptr) return 0;
    const u32 layout = g_ccState.layout[g_ccState.variantIndex];
    const i32 rows = CC_LayoutRows(layout);
    const i32 start = SideStart(layout, side);
    i32 first = 0;
    while (first < count && r[first] == 0) ++first;
    i32 last = count - 1;
    while (last >= 0 && r[last] == 0) --last;
    i32 lengths[kCcMaxRows];
    bool longRun = false;
    for (i32 row = 0; row < rows; ++row) {
        const i32 expected = RapAfter(start, row);
        i32 best = 0;
        rowSamples[row] = -1;
        for (i32 k = first; k <= last;) {
            if (r[k] != expected) {
                ++k;
                continue;
            }
            i32 e = k;
            while (e + 1 <= last && r[e + 1] == expected) ++e;
            if (e - k + 1 > best) best = e - k + 1, rowSamples[row] = k + (e - k + 1) / 2;
            k = e + 1;
        }
        lengths[row] = best;
    }
    for (i32 row = 0; row + 1 < rows; ++row) {
        if (rowSamples[row] < 0 || rowSamples[row + 1] < 0 || rowSamples[row] < rowSamples[row + 1]) continue;
        const i32 drop = lengths[row] <= lengths[row + 1] ? row : row + 1;
        rowSamples[drop] = -1;
        lengths[drop] = 0;
    }
    for (i32 row = 0; row < rows; ++row) longRun = longRun || lengths[row] > 1;
    return longRun ? 1 : 0;
}

namespace {

// Reads RAP numbers at points from P towards Q every step pixels.
void ReadColumn(const u8 *image, POINT_I32 p, POINT_I32 q, i32 step, i32 codewordWidth, i32 side, i32 polarity) {
    static GEO_POINT offsets[kCcColumnSamples];
    const i32 cap = Min32(Width(), kCcColumnSamples);
    const i32 n = Maxi_SegmentStepOffsets(&p, &q, offsets, cap, 0, step);
    g_column.count = Max32(0, Min32(n, cap));
    for (i32 k = 0; k < g_column.count; ++k) {
        const POINT_I32 pt{p.x + offsets[k].x, p.y + offsets[k].y};
        g_column.points[k] = pt;
        POINT_I32 end{};
        i32 number = 0;
        if (CC_ReadElement(image, pt, &end, &number, codewordWidth, side == 0 ? 3 : 0, side, polarity) != 1) {
            end = POINT_I32{0, 0};
            number = 0;
        }
        g_column.numbers[k] = number > kRapWrap ? 0 : number;
        g_column.ends[k] = end;
    }
}

// P and Q: where the edge line meets the top and the bottom side.
bool ColumnEnds(const POINT_I32 quad[4], const POINT_I32 line[2], POINT_I32 *p, POINT_I32 *q) {
    return IntersectLines(line[0], line[1], quad[0], quad[1], p) && IntersectLines(line[0], line[1], quad[3], quad[2], q);
}

void StoreRows(PER_SIDE *out, i32 rows) {
    for (i32 row = 0; row < kCcMaxRows; ++row) {
        const i32 k = row < rows ? g_column.rows[row] : -1;
        const bool ok = k >= 0 && k < g_column.count;
        out->points[row] = ok ? g_column.points[k] : POINT_I32{0, 0};
        out->innerEnds[row] = ok ? g_column.ends[k] : POINT_I32{0, 0};
    }
}

// The slope of the rows, fitted on the rising edges across the bottom side's middle.
bool FitRowSlope(const u8 *image, const POINT_I32 quad[4], POINT_I32 *rowVector, i32 side) {
    const POINT_I32 c2 = quad[2];
    const POINT_I32 c3 = quad[3];
    const POINT_I32 mid{static_cast<i32>((static_cast<i64>(c2.x) + c3.x) >> 1),
                        static_cast<i32>((static_cast<i64>(c2.y) + c3.y) >> 1)};
    const i32 bottom = Geo_DistanceInt(c2.x, c2.y, c3.x, c3.y);
    const i32 h = bottom < 80 ? bottom / 2 : 40;
    GEO_POINT p{};
    GEO_POINT q{};
    Geo_StepTowards(&mid, &c2, &p, h);
    Geo_StepTowards(&mid, &c3, &q, h);
    if (!InsideBy(p, 1) || !InsideBy(q, 1)) return false;
    // The fit's cross segment runs from the middle against (q.y - p.y, p.x - q.x): that
    // must be into the component, across its rows, not out over the linear symbol.
    const i64 ux = static_cast<i64>(q.y) - p.y;
    const i64 uy = static_cast<i64>(p.x) - q.x;
    if (ux * (static_cast<i64>(quad[0].x) - c3.x) + uy * (static_cast<i64>(quad[0].y) - c3.y) > 0) {
        const GEO_POINT t = p;
        p = q;
        q = t;
    }
    u8 samples[100];
    const i32 n = SampleTowards(image, p, q, samples, 100, nullptr);
    const i32 t = Max32(7, CC_ProfileThreshold(samples, n) * 3 / 5);
    const i32 rightSide = Geo_DistanceInt(quad[1].x, quad[1].y, c2.x, c2.y);
    const i32 bins = rightSide < 20 ? 20 : rightSide <= 60 ? rightSide : rightSide / 2;
    SLOPE_LINE line{};
    // The fit's accumulator holds 104 distance bins: a taller cross segment (half the right
    // side of a large component) would leave its votes outside it and the fit empty.
    if (PDF_FitRowDirection(p, q, Min32(bins, 104), 79, t, &line, nullptr) != 0) return false;
    const f64 s = line.slope;
    f64 c = 1.0 / std::sqrt(1.0 + s * s);
    // The handed vector is c1 - c0 on the left side and its negation on the right; the rows
    // run from left to right either way.
    const f64 sense = side == 1 ? 1.0 : -1.0;
    if (sense * (c * rowVector->x + c * s * rowVector->y) < 0) c = -c;
    g_ccState.rowSlope = s;
    g_ccState.rowCos = c;
    POINT_I32 v{};
    if (s >= kPdfVerticalSlope) {
        v = POINT_I32{0, 100};
    } else if (s <= -kPdfVerticalSlope) {
        v = POINT_I32{0, -100};
    } else if (s <= 1 && s >= -1) {
        v = POINT_I32{100, static_cast<i32>(100 * s)};
    } else {
        v = POINT_I32{static_cast<i32>(100 / s), 100};
    }
    if (static_cast<i64>(v.x) * rowVector->x + static_cast<i64>(v.y) * rowVector->y < 0) v = POINT_I32{-v.x, -v.y};
    *rowVector = v;
    return true;
}

}  // namespace

static i32 CC_ScanRapColumn(const u8 *image, const POINT_I32 quad[4], const POINT_I32 line[2], POINT_I32 *rowVector,
                     PER_SIDE *out, i32 codewordWidth, i32 columns, i32 side, i32 polarity) {
    if (!FitRowSlope(image, quad, rowVector, side)) return -1;
    POINT_I32 p{};
    POINT_I32 q{};
    if (!ColumnEnds(quad, line, &p, &q)) return -1;
    ReadColumn(image, p, q, Max32(codewordWidth / 25, 1), codewordWidth, side, polarity);
    i32 v = CC_FindVariant(g_column.numbers, g_column.count, g_column.rows, columns, side);
    if (v < 0) {
        if (CC_HasRowRuns(g_column.numbers, g_column.count) == 0) return -1;
        const i64 hx = (static_cast<i64>(q.x) - p.x) / 2;
        const i64 hy = (static_cast<i64>(q.y) - p.y) / 2;
        POINT_I32 a{static_cast<i32>(p.x - hx), static_cast<i32>(p.y - hy)};
        POINT_I32 b{static_cast<i32>(q.x + hx), static_cast<i32>(q.y + hy)};
        CC_ClipSegmentToFrame(&a, &b);
        ReadColumn(image, a, b, Max32(codewordWidth / 20, 1), codewordWidth, side, polarity);
        v = CC_FindVariant(g_column.numbers, g_column.count, g_column.rows, columns, side);
        if (v < 0) return -1;
    }
    g_ccState.variantIndex = v;
    StoreRows(out, CC_LayoutRows(g_ccState.layout[v]));
    return v;
}

static i32 CC_RescanRapColumn(const u8 *image, const POINT_I32 quad[4], const POINT_I32 line[2], PER_SIDE *out,
                       i32 codewordWidth, i32 columns, i32 side, i32 polarity) {
    // A three-column CC-A component has no left RAP column: what reads there are codewords.
    if (side == 1 && g_ccState.family == 1 && columns == 3) return -1;
    POINT_I32 p{};
    POINT_I32 q{};
    if (!ColumnEnds(quad, line, &p, &q)) return -1;
    ReadColumn(image, p, q, Max32(codewordWidth / 25, 1), codewordWidth, side, polarity);
    const u32 layout = g_ccState.layout[g_ccState.variantIndex];
    const i32 rows = CC_LayoutRows(layout);
    const i32 start = SideStart(layout, side);
    for (i32 k = 0; k < g_column.count; ++k) {
        const i32 d = (g_column.numbers[k] - start + kRapWrap) % kRapWrap;
        if (g_column.numbers[k] == 0 || d >= rows) g_column.numbers[k] = 0;
    }
    i32 v = CC_FindVariant(g_column.numbers, g_column.count, g_column.rows, columns, side);
    if (v != g_ccState.variantIndex) {
        if (CC_RowPositionsForVariant(g_column.numbers, g_column.count, g_column.rows, side) == 0) return -1;
        v = g_ccState.variantIndex;
    }
    StoreRows(out, rows);
    return v;
}

// ---- Codewords.

namespace {

struct ROW_READ {
    const u8 *image;
    POINT_I32 offsets[5];  // -2u, -u, 0, +u, +2u across the rows
    i32 codewordWidth;
    i32 polarity;
};

// A slot's element, read on the row line or else on the shifted lines; -1 when no read is
// of the expected cluster (or the expected centre pattern).
i32 ReadElementVoted(const ROW_READ &rr, POINT_I32 start, POINT_I32 *end, i32 cluster, i32 centre, i32 side) {
    auto read = [&](int line, POINT_I32 *e) {
        const POINT_I32 s{start.x + rr.offsets[line].x, start.y + rr.offsets[line].y};
        if (!Inside(s)) return -1;
        i32 value = -1;
        if (CC_ReadElement(rr.image, s, e, &value, rr.codewordWidth, centre > 0 ? 1 : 2, side, rr.polarity) != 1) {
            return -1;
        }
        // Back onto the row line.
        e->x -= rr.offsets[line].x;
        e->y -= rr.offsets[line].y;
        if (centre > 0) return value == (centre | 0x40) ? centre : -1;
        if (value < 0 || value == kPdfNoCodeword || (value >> 28) != cluster) return -1;
        return value & 0x0FFFFFFF;
    };
    i32 v = read(2, end);
    if (v >= 0) return v;
    static constexpr int kOrder[4] = {0, 1, 3, 4};
    POINT_I32 ends[5]{};
    i32 got[5] = {-1, -1, -1, -1, -1};
    for (int line : kOrder) {
        got[line] = read(line, &ends[line]);
        if (got[line] < 0) continue;
        *end = ends[line];
        // A neighbour line that agrees lies nearer the row line.
        if (line == 0) {
            got[1] = read(1, &ends[1]);
            if (got[1] == got[0]) *end = ends[1];
        }
        return got[line];
    }
    return -1;
}

}  // namespace

static i32 CC_ReadRowCodewords(const u8 *image, POINT_I32 sideVector, i32 codewordWidth, i32 *codewords,
                        const POINT_I32 *leftInnerEnds, const POINT_I32 *rightInnerEnds, i32 polarity) {
    const u32 layout = g_ccState.layout[g_ccState.variantIndex];
    const i32 columns = CC_LayoutColumns(layout);
    const i32 rows = CC_LayoutRows(layout);
    const i32 centreStart = CC_LayoutCentre(layout);
    const i32 slots = columns >= 3 ? columns + 1 : columns;
    const i32 centreSlot = columns == 3 ? 1 : columns == 4 ? 2 : -1;
    ROW_READ rr{image, {}, codewordWidth, polarity};
    const f64 len = std::sqrt(static_cast<f64>(sideVector.x) * sideVector.x + static_cast<f64>(sideVector.y) * sideVector.y);
    const i32 u = Max32(codewordWidth / 34, 1);
    for (int j = -2; j <= 2; ++j) {
        rr.offsets[j + 2] = len > 0 ? POINT_I32{static_cast<i32>(std::lround(j * u * sideVector.x / len)),
                                                static_cast<i32>(std::lround(j * u * sideVector.y / len))}
                                    : POINT_I32{0, 0};
    }
    static constexpr i32 kFirstCluster[3] = {6, 0, 3};
    const i32 c0 = kFirstCluster[g_ccState.firstLeftStart % 3];
    i32 slot[kCcMaxSlots];
    for (i32 r = 0; r < rows; ++r) {
        const i32 cluster = (c0 + 3 * r) % 9;
        i32 centre = centreStart + r;
        if (centre > kRapWrap) centre -= kRapWrap;
        const bool leftKnown = !IsZero(leftInnerEnds[r]);
        const bool rightKnown = !IsZero(rightInnerEnds[r]);
        for (i32 k = 0; k < slots; ++k) slot[k] = -1;
        auto fromLeft = [&]() {
            POINT_I32 at = leftInnerEnds[r];
            for (i32 k = 0; k < slots; ++k) {
                POINT_I32 end{};
                slot[k] = ReadElementVoted(rr, at, &end, cluster, k == centreSlot ? centre : 0, 1);
                if (slot[k] < 0) {
                    for (; k < slots; ++k) slot[k] = -1;
                    return;
                }
                at = end;
            }
        };
        if (rightKnown) {
            POINT_I32 at = rightInnerEnds[r];
            for (i32 k = slots - 1; k >= 0; --k) {
                POINT_I32 end{};
                slot[k] = ReadElementVoted(rr, at, &end, cluster, k == centreSlot ? centre : 0, 0);
                if (slot[k] < 0) {
                    if (leftKnown) {
                        fromLeft();
                    } else {
                        for (; k >= 0; --k) slot[k] = -1;
                    }
                    break;
                }
                at = end;
            }
        } else if (leftKnown) {
            fromLeft();
        }
        i32 out = 0;
        for (i32 k = 0; k < slots; ++k) {
            if (k != centreSlot) codewords[r * columns + out++] = slot[k];
        }
    }
    return rows * columns;
}

namespace {

// With both RAP columns placed, the rows run from each left row point to the right one:
// that direction, over the component's full width, is finer than the fit on the bottom
// side's short cross segment, whose error adds up codeword by codeword along a row.
void RefineRowSlope(i32 rows) {
    i64 dx = 0;
    i64 dy = 0;
    for (i32 r = 0; r < rows && r < kCcMaxRows; ++r) {
        const POINT_I32 a = g_sides[1].points[r];
        const POINT_I32 b = g_sides[0].points[r];
        if (IsZero(a) || IsZero(b)) continue;
        dx += static_cast<i64>(b.x) - a.x;
        dy += static_cast<i64>(b.y) - a.y;
    }
    const f64 fx = static_cast<f64>(dx);
    const f64 fy = static_cast<f64>(dy);
    const f64 len = std::sqrt(fx * fx + fy * fy);
    if (len == 0) return;
    // Only a correction of a few degrees: anything else is a misplaced row.
    const f64 sx = g_ccState.rowCos;
    const f64 sy = g_ccState.rowCos * g_ccState.rowSlope;
    if ((sx * fx + sy * fy) / (len * std::sqrt(sx * sx + sy * sy)) < 0.99) return;
    if (Abs64(dx) < Abs64(dy)) return;
    g_ccState.rowSlope = fy / fx;
    g_ccState.rowCos = (fx < 0 ? -1.0 : 1.0) / std::sqrt(1.0 + g_ccState.rowSlope * g_ccState.rowSlope);
}

}  // namespace

static int CC_ReadCodewordGrid(const u8 *image, const POINT_I32 quad[4], const CC_EDGES *edges, i32 *codewords,
                        POINT_I32 *rowVector, i32 columns, i32 codewordWidth, i32 polarity) {
    g_ccState.variantIndex = -1;
    PDF_ResetReadParams();
    for (PER_SIDE &s : g_sides) s = PER_SIDE{};
    POINT_I32 back{-rowVector->x, -rowVector->y};
    i32 right = CC_ScanRapColumn(image, quad, edges->right, &back, &g_sides[0], codewordWidth, columns, 0, polarity);
    i32 left = -1;
    i32 used;
    bool leftLine;
    if (right >= 0) {
        *rowVector = POINT_I32{-back.x, -back.y};
        left = CC_RescanRapColumn(image, quad, edges->left, &g_sides[1], codewordWidth, columns, 1, polarity);
        used = right;
        leftLine = left == right;
    } else {
        left = CC_ScanRapColumn(image, quad, edges->left, rowVector, &g_sides[1], codewordWidth, columns, 1, polarity);
        if (left < 0) return 0;
        right = CC_RescanRapColumn(image, quad, edges->right, &g_sides[0], codewordWidth, columns, 0, polarity);
        used = right >= 0 && right != left ? right : left;
        leftLine = right < 0 || right == left;
    }
    g_ccState.variantIndex = used;
    const u32 layout = g_ccState.layout[used];
    if (left == used && right == used) RefineRowSlope(CC_LayoutRows(layout));
    g_ccState.firstLeftStart = CC_LayoutLeft(layout);
    const POINT_I32 *line = leftLine ? edges->left : edges->right;
    const POINT_I32 sideVector{line[1].x - line[0].x, line[1].y - line[0].y};
    // A side that failed or disagreed contributes no row starts.
    if (left != used) {
        for (POINT_I32 &p : g_sides[1].innerEnds) p = POINT_I32{0, 0};
    }
    if (right != used) {
        for (POINT_I32 &p : g_sides[0].innerEnds) p = POINT_I32{0, 0};
    }
    const i32 count = CC_ReadRowCodewords(image, sideVector, codewordWidth, codewords, g_sides[1].innerEnds,
                                          g_sides[0].innerEnds, polarity);
    g_lastCount = count;
    return count == CC_LayoutRows(layout) * CC_LayoutColumns(layout) ? 1 : 0;
}

// ---- The reader.

int CC_ReadComponent(const u8 *image, POINT_I32 quad[4], u8 *text, i32 capacity, i32 *length, POINT_I32 *rowVector,
                     POINT_I32 leftVector, i32 narrowWidth, i32 variant, i32 polarity) {
    PDF_SetReadParams(0, 0);
    g_ccState.family = 0;
    g_ccState.layout = nullptr;
    g_ccState.size = nullptr;
    g_ccState.tableCount = 0;
    g_ccState.variantIndex = -1;
    g_lastCount = 0;
    if (CC_ClipQuadToImage(quad) == 0) return 0;
    POINT_I32 leftEnds[3];
    POINT_I32 rightEnds[3];
    const i32 columns = CC_MeasureRows(image, quad, variant, leftEnds, rightEnds, narrowWidth, rowVector, polarity);
    if (columns == 0) return 0;
    CC_EDGES edges{};
    if (CC_FitSideEdges(quad, leftEnds, rightEnds, leftVector, &edges) == 0) return 0;
    const i32 codewordWidth = static_cast<i32>((static_cast<i64>(narrowWidth) * 17) >> 5);
    i32 *cw = g_ccState.codewords;
    for (i32 &c : g_ccState.codewords) c = -1;
    if (CC_ReadCodewordGrid(image, quad, &edges, cw, rowVector, columns, codewordWidth, polarity) == 0) return 0;
    const u32 size = g_ccState.size[g_ccState.variantIndex];
    const i32 check = CC_SizeCheck(size);
    const i32 data = CC_SizeData(size);
    RS_SelectField(1, 929, 929);
    if (RS_DecodeBlock929(cw, data + check, check) != 0) return 0;
    *length = CC_DecodeData(cw, data, text, capacity);
    return *length > 0 ? 1 : 0;
}

i32 CC_LastCodewordCount() { return g_lastCount; }

int CC_ReadInQuad(CC_READ_REQUEST *request) {
    if (request == nullptr) return 0;
    request->length = 0;
    if (request->image == nullptr || request->text == nullptr || request->capacity <= 0 ||
        request->rowVector == nullptr || g_image.data == nullptr || Width() <= 0 || Height() <= 0) {
        return 0;
    }
    POINT_I32 quad[4];
    auto far = [](POINT_I32 p) { return p.x < -kCoordinateLimit || p.x > kCoordinateLimit || p.y < -kCoordinateLimit || p.y > kCoordinateLimit; };
    for (int k = 0; k < 4; ++k) {
        quad[k] = request->quad[k];
        if (far(quad[k])) return 0;
    }
    if (far(*request->rowVector) || far(request->leftVector) || request->narrowWidth <= 0) return 0;
    // A narrow element wider than the image is no element; the element reads step back and
    // forth by about a sixteenth of it, pixel by pixel.
    if (request->narrowWidth / 32 > Max32(Width(), Height())) return 0;
    i32 length = 0;
    const int ok = CC_ReadComponent(request->image, quad, request->text, request->capacity, &length, request->rowVector,
                                    request->leftVector, request->narrowWidth, request->variant, request->polarity);
    if (ok == 0 || length > request->capacity) return 0;
    request->length = length;
    return 1;
}

}  // namespace vexo
