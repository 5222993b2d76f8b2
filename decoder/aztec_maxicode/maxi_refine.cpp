#include "aztec_maxicode/maxi_refine.h"

#include <cmath>

#include "core/pixel.h"

namespace vexo {

namespace {

// cos and sin of (k - 10) x 0.01 rad (k < 10) and (k - 9) x 0.01 rad (k >= 10), times
// 100,000 and rounded; a test rebuilds them from the angles.
constexpr i32 kCos[kMaxiRotations] = {99500, 99595, 99680, 99755, 99820, 99875, 99920, 99955, 99980, 99995,
                                      99995, 99980, 99955, 99920, 99875, 99820, 99755, 99680, 99595, 99500};
constexpr i32 kSin[kMaxiRotations] = {-9983, -8988, -7991, -6994, -5996, -4998, -3999, -3000, -2000, -1000,
                                      1000,  2000,  3000,  3999,  4998,  5996,  6994,  7991,  8988,  9983};
static_assert(sizeof(kCos) / sizeof(kCos[0]) == kMaxiRotations && sizeof(kSin) / sizeof(kSin[0]) == kMaxiRotations);

// The edge points of the side being refined (static: one decode at a time).
GEO_POINT g_sideA[kMaxiSideEdgePoints];
GEO_POINT g_sideB[kMaxiSideEdgePoints];

i32 Grey(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// Rounds a 1/16-pixel coordinate to its pixel as (v + 8) / 16, truncating toward zero.
i32 ToPixel(i32 v) { return (v + 8) / 16; }

// The side's search geometry.
struct SideWalk {
    bool xMajor;
    i32 sx;  // search step, whole pixels
    i32 sy;
    i32 reach;   // m, pixels
    f64 nx;      // unit normal of the side
    f64 ny;
};

// 3 x 3 gradient at (x, y): column sums right minus left, row sums bottom minus top.
void Gradient(i32 x, i32 y, i32 *gx, i32 *gy) {
    *gx = 0;
    *gy = 0;
    for (i32 k = -1; k <= 1; ++k) {
        *gx += Grey(x + 1, y + k) - Grey(x - 1, y + k);
        *gy += Grey(x + k, y + 1) - Grey(x + k, y - 1);
    }
}

// An edge point is kept when the line pixel is darker and its gradient is strong, points
// along the search direction and lies within 30 degrees of the side's normal.
bool EdgeAccepted(const SideWalk &w, i32 lx, i32 ly, i32 px, i32 py, i32 dirSign) {
    if (!(Grey(lx, ly) < Grey(px, py))) return false;
    i32 gx = 0;
    i32 gy = 0;
    Gradient(px, py, &gx, &gy);
    if (dirSign * (gx * w.sx + gy * w.sy) <= 0) return false;
    const i64 g2 = static_cast<i64>(gx) * gx + static_cast<i64>(gy) * gy;
    if (g2 <= 2304) return false;
    const f64 along = std::fabs(gx * w.nx + gy * w.ny);
    return along >= std::cos(0.5235987666666666) * std::sqrt(static_cast<f64>(g2));
}

// Looks for the edges on both sides of line pixel (lx, ly) and stores what it keeps.
void SearchAt(const SideWalk &w, i32 lx, i32 ly, i32 *na, i32 *nb) {
    i32 best = 0;
    i32 bestK = -1;
    for (i32 k = 0; k < w.reach; ++k) {
        const i32 px = lx + k * w.sx, py = ly + k * w.sy;
        const i32 diff = Grey(px + w.sx, py + w.sy) - Grey(px - w.sx, py - w.sy);
        if (diff > best) {
            best = diff;
            bestK = k;
        }
    }
    if (bestK > 0 && *na < kMaxiSideEdgePoints) {
        const i32 px = lx + bestK * w.sx, py = ly + bestK * w.sy;
        if (EdgeAccepted(w, lx, ly, px, py, 1)) g_sideA[(*na)++] = w.xMajor ? GEO_POINT{px, py} : GEO_POINT{py, px};
    }
    best = 0;
    bestK = -1;
    for (i32 k = 1; k <= w.reach; ++k) {
        const i32 px = lx - (k - 1) * w.sx, py = ly - (k - 1) * w.sy;
        const i32 diff = Grey(lx - k * w.sx, ly - k * w.sy) - Grey(px, py);
        if (diff > best) {
            best = diff;
            bestK = k;
        }
    }
    if (bestK > 1 && *nb < kMaxiSideEdgePoints) {
        const i32 px = lx - (bestK - 1) * w.sx, py = ly - (bestK - 1) * w.sy;
        if (EdgeAccepted(w, lx, ly, px, py, -1)) g_sideB[(*nb)++] = w.xMajor ? GEO_POINT{px, py} : GEO_POINT{py, px};
    }
}

// Least-squares parallel lines v = s u + a (list A) and v = s u + b (list B) about the
// centre (cu, cv); false when the normal equations are degenerate.
bool FitParallel(const GEO_POINT *a, i32 na, const GEO_POINT *b, i32 nb, f64 cu, f64 cv, f64 *s, f64 *oa, f64 *ob) {
    f64 suu = 0, suv = 0, sua = 0, sva = 0, sub = 0, svb = 0;
    for (i32 k = 0; k < na; ++k) {
        const f64 u = a[k].x - cu, v = a[k].y - cv;
        suu += u * u;
        suv += u * v;
        sua += u;
        sva += v;
    }
    for (i32 k = 0; k < nb; ++k) {
        const f64 u = b[k].x - cu, v = b[k].y - cv;
        suu += u * u;
        suv += u * v;
        sub += u;
        svb += v;
    }
    if (na <= 0 || nb <= 0) return false;
    const f64 det = static_cast<f64>(na) * nb * suu - nb * sua * sua - na * sub * sub;
    if (std::fabs(det) <= 1e-7) return false;
    *s = (static_cast<f64>(na) * nb * suv - nb * sua * sva - na * sub * svb) / det;
    *oa = (sva - *s * sua) / na;
    *ob = (svb - *s * sub) / nb;
    return true;
}

// Keeps the points within limit of the middle line; answers how many stay.
i32 KeepNear(GEO_POINT *p, i32 n, f64 cu, f64 cv, f64 s, f64 mid, f64 limit) {
    i32 kept = 0;
    for (i32 k = 0; k < n; ++k) {
        if (std::fabs((p[k].y - cv) - s * (p[k].x - cu) - mid) <= limit) p[kept++] = p[k];
    }
    return kept;
}

}  // namespace

void Maxi_RotateAboutCentre(const GEO_POINT *p, const GEO_POINT *c, GEO_POINT *out, i32 k) {
    if (p == nullptr || c == nullptr || out == nullptr) return;
    if (k < 0 || k >= kMaxiRotations) {
        *out = *p;
        return;
    }
    // 64 bits: the sums pass 2^31 for points beyond 1,342 pixels, which turned points reach.
    const i64 co = kCos[k], si = kSin[k];
    const i64 dx = static_cast<i64>(p->x) - c->x, dy = static_cast<i64>(p->y) - c->y;
    const i64 x = (static_cast<i64>(c->x) * 100000 + dx * co - dy * si) / 100000;
    const i64 y = (static_cast<i64>(c->y) * 100000 + dy * co + dx * si) / 100000;
    *out = GEO_POINT{static_cast<i32>(x), static_cast<i32>(y)};
}

i32 Maxi_PointInFrame16(const GEO_POINT *p) {
    if (p == nullptr) return 0;
    return p->x >= 0 && p->y >= 0 && p->x <= (g_image.width - 1) * 16 && p->y <= (g_image.height - 1) * 16 ? 1 : 0;
}

i32 Maxi_PixelAt16(const GEO_POINT *p) {
    if (p == nullptr || g_image.data == nullptr) return 255;
    const i32 row = p->y >> 4;
    const i32 col = p->x >> 4;
    if (row <= 3 || row >= g_image.height - 3 || col <= 3 || col >= g_image.width - 3) return 255;
    return Grey(col, row);
}

i32 Maxi_FitParallelEdges(i32 sideLength, const GEO_POINT *a, const GEO_POINT *b, i32 na, i32 nb, LINE_FIT *out) {
    if (a == nullptr || b == nullptr || out == nullptr || na <= 0 || nb <= 0) return 0;
    i32 lo[2] = {a[0].x, a[0].y};
    i32 hi[2] = {a[0].x, a[0].y};
    auto extend = [&](const GEO_POINT &p) {
        lo[0] = p.x < lo[0] ? p.x : lo[0];
        hi[0] = p.x > hi[0] ? p.x : hi[0];
        lo[1] = p.y < lo[1] ? p.y : lo[1];
        hi[1] = p.y > hi[1] ? p.y : hi[1];
    };
    for (i32 k = 0; k < na; ++k) extend(a[k]);
    for (i32 k = 0; k < nb; ++k) extend(b[k]);
    if (hi[0] - lo[0] < sideLength / 24) return 0;
    const f64 cu = (hi[0] + lo[0] + 1) / 2;
    const f64 cv = (hi[1] + lo[1] + 1) / 2;
    // The fit drops points in place: work on copies (the lists are the caller's).
    static GEO_POINT ka[kMaxiSideEdgePoints];
    static GEO_POINT kb[kMaxiSideEdgePoints];
    if (na > kMaxiSideEdgePoints) na = kMaxiSideEdgePoints;
    if (nb > kMaxiSideEdgePoints) nb = kMaxiSideEdgePoints;
    for (i32 k = 0; k < na; ++k) ka[k] = a[k];
    for (i32 k = 0; k < nb; ++k) kb[k] = b[k];
    f64 s = 0, oa = 0, ob = 0;
    if (!FitParallel(ka, na, kb, nb, cu, cv, &s, &oa, &ob)) return 0;
    const f64 limit = 1.3 * std::fabs(oa - ob) / 2;
    na = KeepNear(ka, na, cu, cv, s, (oa + ob) / 2, limit);
    nb = KeepNear(kb, nb, cu, cv, s, (oa + ob) / 2, limit);
    if (na == 0 || nb == 0 || !FitParallel(ka, na, kb, nb, cu, cv, &s, &oa, &ob)) return 0;
    out->slope = s;
    out->offset = 16 * ((oa + ob) / 2 + cv - s * cu);
    return 1;
}

void Maxi_RefineRingSide(GEO_POINT p, GEO_POINT q, i32 ringNumber, LINE_FIT *out) {
    if (out == nullptr) return;
    // Coordinates are 16-bit values.
    const i32 px = static_cast<i16>(p.x), py = static_cast<i16>(p.y);
    const i32 dx = static_cast<i16>(q.x) - px, dy = static_cast<i16>(q.y) - py;
    const i32 ex = ringNumber != 0 ? 2 * dx / ringNumber : 0;
    const i32 ey = ringNumber != 0 ? 2 * dy / ringNumber : 0;
    const GEO_POINT p1{px - ex, py - ey};
    const GEO_POINT q1{px + dx + ex, py + dy + ey};
    const i32 adx = Abs32(dx), ady = Abs32(dy);
    const bool diagonal = static_cast<i64>(adx) * 424 < static_cast<i64>(ady) * 1024 &&
                          static_cast<i64>(ady) * 424 < static_cast<i64>(adx) * 1024;
    SideWalk w{};
    w.xMajor = ady < adx;
    if (!diagonal) {
        w.sx = w.xMajor ? 0 : 1;
        w.sy = w.xMajor ? 1 : 0;
    } else {
        w.sx = (dx < 0) == (dy < 0) ? -1 : 1;
        w.sy = 1;
    }
    const i32 major = adx > ady ? adx : ady;
    w.reach = ringNumber > 0 ? major / (22 * ringNumber) : 0;
    const f64 len = std::sqrt(static_cast<f64>(dx) * dx + static_cast<f64>(dy) * dy);
    w.nx = len > 0 ? -dy / len : 0;
    w.ny = len > 0 ? dx / len : 0;
    i32 na = 0;
    i32 nb = 0;
    if (g_image.data != nullptr) {
        const i32 a0 = ToPixel(w.xMajor ? p1.x : p1.y), a1 = ToPixel(w.xMajor ? q1.x : q1.y);
        const i32 b0 = ToPixel(w.xMajor ? p1.y : p1.x), b1 = ToPixel(w.xMajor ? q1.y : q1.x);
        const i32 step = a1 > a0 ? 1 : -1;
        const i32 margin = w.reach > 1 ? w.reach : 1;  // the gradient reads one pixel further
        for (i32 a = a0; a0 != a1 && a != a1 + step; a += step) {
            const i32 b = b0 + static_cast<i32>(std::lround(static_cast<f64>(b1 - b0) * (a - a0) / (a1 - a0)));
            const i32 lx = w.xMajor ? a : b, ly = w.xMajor ? b : a;
            if (lx < margin + 1 || ly < margin + 1 || lx >= g_image.width - margin - 1 || ly >= g_image.height - margin - 1) {
                continue;
            }
            SearchAt(w, lx, ly, &na, &nb);
        }
    }
    if (na > 0 && nb > 0 && Maxi_FitParallelEdges(w.xMajor ? adx : ady, g_sideA, g_sideB, na, nb, out) != 0) {
        out->alongX = w.xMajor ? 1 : 0;
        return;
    }
    POINT_NODE n1{q1.x, q1.y, nullptr};
    POINT_NODE n0{p1.x, p1.y, &n1};
    if (Geo_FitLineToPointList(&n0, 2, out, w.xMajor ? 1 : 0) == 0) *out = LINE_FIT{0, 0, w.xMajor ? 1 : 0};
}

void Maxi_RefineRing(const GEO_POINT ring[6], GEO_POINT out[6], i32 ringNumber) {
    if (ring == nullptr || out == nullptr) return;
    LINE_FIT sides[6];
    for (i32 i = 0; i < 6; ++i) Maxi_RefineRingSide(ring[i], ring[(i + 1) % 6], ringNumber, &sides[i]);
    for (i32 i = 0; i < 6; ++i) {
        GEO_POINT p{};
        out[i] = Geo_IntersectLineFits(&sides[i], &sides[(i + 5) % 6], &p) != 0 ? p : ring[i];
    }
}

}  // namespace vexo
