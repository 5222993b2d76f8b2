#include "toolkit/sampling.h"

#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "toolkit/digital_line.h"

namespace vexo {

namespace {

i64 Abs64(i64 v) { return v < 0 ? -v : v; }
i32 Sign64(i64 v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }
i64 Max64(i64 a, i64 b) { return a > b ? a : b; }
i64 Min64(i64 a, i64 b) { return a < b ? a : b; }

i32 Narrow(i64 v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<i32>(v);
}

i32 TruncFloat(float v) {
    if (!(v > -2147483648.0f)) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<i32>(v);
}

// Error-term walk over the rasterised segment: point k after k calls of Next().
struct LineWalk {
    i64 x;
    i64 y;
    i64 length;  // L = max(|dx|, |dy|)
    i32 sx;
    i32 sy;
    bool xMajor;
    i64 twoMinor;
    i64 err;

    LineWalk(i64 x0, i64 y0, i64 x1, i64 y1) : x(x0), y(y0) {
        const i64 dx = x1 - x0;
        const i64 dy = y1 - y0;
        sx = Sign64(dx);
        sy = Sign64(dy);
        xMajor = Abs64(dx) >= Abs64(dy);
        length = xMajor ? Abs64(dx) : Abs64(dy);
        twoMinor = 2 * (xMajor ? Abs64(dy) : Abs64(dx));
        err = -length;
    }

    void Next() {
        if (xMajor) {
            x += sx;
        } else {
            y += sy;
        }
        err += twoMinor;
        if (err >= 0) {
            if (xMajor) {
                y += sy;
            } else {
                x += sx;
            }
            err -= 2 * length;
        }
    }
};

LineWalk WalkOf(const GEO_POINT *p, const GEO_POINT *q) { return LineWalk(p->x, p->y, q->x, q->y); }

bool FrameHas(i64 x, i64 y) {
    return g_frame.data != nullptr && x >= 0 && y >= 0 && x < static_cast<i64>(g_frame.width) &&
           y < static_cast<i64>(g_frame.height);
}

i32 FramePixel(i64 x, i64 y) { return g_frame.data[y * static_cast<i64>(g_frame.width) + x]; }

bool ImageHas(i64 x, i64 y) { return x >= 0 && y >= 0 && x < g_image.width && y < g_image.height; }

i32 ImagePixel(const u8 *image, i64 x, i64 y) { return image[y * static_cast<i64>(g_image.width) + x]; }

bool Frame16Has(i64 x, i64 y) {
    return g_frame.data != nullptr && x >= 0 && y >= 0 && x < 16 * static_cast<i64>(g_frame.width) &&
           y < 16 * static_cast<i64>(g_frame.height);
}

// Bilinear samples one pixel apart along the major axis between 1/16-pixel ends; calls
// visit(k, sample) for k < min(L >> 4, limit) and returns that count.
template <class Visit>
i32 Walk16(i32 x0, i32 y0, i32 x1, i32 y1, i64 limit, Visit visit) {
    if (!Frame16Has(x0, y0) || !Frame16Has(x1, y1)) return 0;
    const i64 dx = static_cast<i64>(x1) - x0;
    const i64 dy = static_cast<i64>(y1) - y0;
    const i64 length = Max64(Abs64(dx), Abs64(dy));
    if (length == 0) return 0;
    const i64 count = Min64(length >> 4, limit);
    i64 nx = dx > 0 ? length : -length;
    i64 ny = nx;
    for (i64 k = 0; k < count; ++k) {
        const i32 x = static_cast<i32>(x0 + nx / (2 * length));
        const i32 y = static_cast<i32>(y0 + ny / (2 * length));
        visit(k, g_frame.sampleBilinear(x, y, 128));
        nx += 32 * dx;
        ny += 32 * dy;
    }
    return count > 0 ? static_cast<i32>(count) : 0;
}

// Caller-image samples of points first .. last of the segment (at most limit), reading
// outside points through outside(previous). Returns the number visited.
template <class Outside, class Visit>
i32 WalkImage(const u8 *image, LineWalk w, i64 first, i64 last, i64 limit, Outside outside, Visit visit) {
    i64 written = 0;
    i32 previous = 128;
    for (i64 k = 0; k < first; ++k) w.Next();
    for (i64 k = first; k <= last && written < limit; ++k) {
        const i32 v = ImageHas(w.x, w.y) ? ImagePixel(image, w.x, w.y) : outside(previous);
        visit(written, v, w.x, w.y);
        previous = v;
        ++written;
        w.Next();
    }
    return static_cast<i32>(written);
}

i32 RepeatPrevious(i32 previous) { return previous; }
i32 White(i32) { return 255; }

i32 StepOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 step, i64 length,
                bool pixelPairs) {
    if (p == nullptr || q == nullptr || out == nullptr || maxCount <= 0 || step <= 0) return 0;
    const i64 dx = static_cast<i64>(q->x) - p->x;
    const i64 dy = static_cast<i64>(q->y) - p->y;
    const i64 major = Max64(Abs64(dx), Abs64(dy));
    if (major <= 0) return 0;
    const i64 limit = length > 0 ? 16 * length : major;
    out[0] = GEO_POINT{0, 0};
    if (step >= limit) return 1;
    const i64 gx = Abs64(dx) * 1024 / major;
    const i64 gy = Abs64(dy) * 1024 / major;
    const i64 stride = g_image.width;
    i32 written = 1;
    for (i64 k = 1; k * step < limit && written < maxCount; ++k) {
        const i64 ox = Sign64(dx) * ((k * step * gx) >> 10);
        const i64 oy = Sign64(dy) * ((k * step * gy) >> 10);
        out[written++] =
            pixelPairs ? GEO_POINT{Narrow(ox), Narrow(ox + oy * stride)} : GEO_POINT{Narrow(ox), Narrow(oy)};
    }
    return written;
}

// One clipping step's candidate on column bx or row by, measured from the base.
struct ClipPoint {
    i64 x;
    i64 y;
};

bool ClipAgainst(ClipPoint *point, const ClipPoint &base, i64 width, i64 height) {
    const ClipPoint start = *point;
    ClipPoint cur = start;
    bool columnUsed = false;
    for (int round = 0; round < 4; ++round) {
        if (cur.x < 0 || cur.x >= width) {
            if (columnUsed || start.x == base.x) return false;
            const i64 bx = cur.x < 0 ? 0 : width - 1;
            cur = {bx, base.y + Abs64(bx - base.x) * (start.y - base.y) / Abs64(start.x - base.x)};
            columnUsed = true;
        }
        if (cur.y < 0 || cur.y >= height) {
            if (start.y == base.y) return false;
            const i64 by = cur.y < 0 ? 0 : height - 1;
            cur = {base.x + Abs64(by - base.y) * (start.x - base.x) / Abs64(start.y - base.y), by};
        }
        if (cur.x >= 0 && cur.x < width && cur.y >= 0 && cur.y < height) {
            *point = cur;
            return true;
        }
    }
    return false;
}

i32 RoundHalfAway(i64 num, i64 den) { return Narrow((num + (num < 0 ? -den / 2 : den / 2)) / den); }

}  // namespace

i32 Geo_InFrame(i32 x, i32 y) {
    return x >= 0 && y >= 0 && x < static_cast<i64>(g_frame.width) && y < static_cast<i64>(g_frame.height);
}

i32 Geo_InFrame4(i32 x, i32 y) {
    return x >= 0 && y >= 0 && x < 4 * static_cast<i64>(g_frame.width) && y < 4 * static_cast<i64>(g_frame.height);
}

i32 Geo_InFrame16(i32 x, i32 y) {
    return x >= 0 && y >= 0 && x < 16 * static_cast<i64>(g_frame.width) && y < 16 * static_cast<i64>(g_frame.height);
}

i32 Geo_PixelOrDefault(i32 x, i32 y, i32 dflt) { return FrameHas(x, y) ? FramePixel(x, y) : dflt; }

i32 Geo_Lerp1024(const GEO_LERP *lerp) {
    if (lerp == nullptr) return 0;
    return Narrow(lerp->a + (static_cast<i64>(lerp->b) - lerp->a) * lerp->t / 1024);
}

i32 Geo_StepTowards(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 d) {
    if (p == nullptr || q == nullptr || out == nullptr) return 0;
    const GEO_POINT from = *p;
    const i64 dx = static_cast<i64>(q->x) - from.x;
    const i64 dy = static_cast<i64>(q->y) - from.y;
    if (dx == 0 && dy == 0) {
        *out = from;
        return 0;
    }
    const double squares =
        static_cast<double>(dx) * static_cast<double>(dx) + static_cast<double>(dy) * static_cast<double>(dy);
    const double root = std::sqrt(squares + 0.5);
    const i64 length = root >= 2147483647.0 ? INT32_MAX : static_cast<i64>(root);
    const float fl = static_cast<float>(length);
    const float nx = static_cast<float>((length >> 1) + d * dx);
    const float ny = static_cast<float>((length >> 1) + d * dy);
    const float qx = nx / fl;
    const float qy = ny / fl;
    const float x = static_cast<float>(from.x) + qx;
    const float y = static_cast<float>(from.y) + qy;
    *out = GEO_POINT{TruncFloat(x), TruncFloat(y)};
    return static_cast<i32>(length);
}

void Geo_StepTowardsChebyshev(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 d) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const GEO_POINT from = *p;
    const i64 dx = static_cast<i64>(q->x) - from.x;
    const i64 dy = static_cast<i64>(q->y) - from.y;
    const i64 length = Max64(Abs64(dx), Abs64(dy));
    if (length == 0) {
        *out = from;
        return;
    }
    const double l = static_cast<double>(length);
    const double x = from.x + static_cast<double>(dx * d) / l;
    const double y = from.y + static_cast<double>(dy * d) / l;
    *out = GEO_POINT{Narrow(static_cast<i64>(x)), Narrow(static_cast<i64>(y))};
}

void Geo_SegmentPointAt(SEGMENT_STEP *s) {
    if (s == nullptr) return;
    const i64 dx = static_cast<i64>(s->x1) - s->x0;
    const i64 dy = static_cast<i64>(s->y1) - s->y0;
    const i64 length = Max64(Abs64(dx), Abs64(dy));
    if (length == 0) {
        s->outX = s->x0;
        s->outY = s->y0;
        return;
    }
    // Half a unit away from zero by the sign of the offset itself, so that a negative k
    // (beyond the first end) lands as far out as a positive one does.
    const i64 half = length;
    const i64 nx = 2 * s->k * dx, ny = 2 * s->k * dy;
    s->outX = Narrow(s->x0 + (nx + (nx < 0 ? -half : half)) / (2 * length));
    s->outY = Narrow(s->y0 + (ny + (ny < 0 ? -half : half)) / (2 * length));
}

i32 Geo_SegmentStepOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 step) {
    return StepOffsets(p, q, out, maxCount, step, 0, false);
}

i32 Geo_SegmentStepOffsetsWithin(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 length,
                                 i32 step) {
    return StepOffsets(p, q, out, maxCount, step, length, false);
}

i32 Geo_SegmentStepPixelOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 length,
                                i32 step) {
    return StepOffsets(p, q, out, maxCount, step, length, true);
}

void Geo_ClipSegment(GEO_POINT *p, GEO_POINT *q, i32 width, i32 height) {
    if (p == nullptr || q == nullptr) return;
    // Beyond this no frame is meant; keeps the candidates' products within 64 bits.
    constexpr i64 kReach = i64{1} << 30;
    const bool sane = Abs64(p->x) < kReach && Abs64(p->y) < kReach && Abs64(q->x) < kReach && Abs64(q->y) < kReach &&
                      width < kReach && height < kReach;
    ClipPoint a{p->x, p->y};
    ClipPoint b{q->x, q->y};
    *p = GEO_POINT{0, 0};
    *q = GEO_POINT{0, 0};
    if (!sane || !ClipAgainst(&a, b, width, height) || !ClipAgainst(&b, a, width, height)) return;
    *p = GEO_POINT{static_cast<i32>(a.x), static_cast<i32>(a.y)};
    *q = GEO_POINT{static_cast<i32>(b.x), static_cast<i32>(b.y)};
}

i32 Geo_SampleLineBresenham(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len) {
    if (buf == nullptr || !FrameHas(x0, y0) || !FrameHas(x1, y1)) return 0;
    LineWalk w(x0, y0, x1, y1);
    const i64 count = Min64(len, w.length);
    if (count <= 1) return 0;
    for (i64 k = 0; k < count; ++k) {
        buf[k] = static_cast<u8>(FramePixel(w.x, w.y));
        w.Next();
    }
    return static_cast<i32>(count);
}

i32 Geo_SampleLine(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 len) {
    if (image == nullptr || p == nullptr || q == nullptr || buf == nullptr) return 0;
    const LineWalk w = WalkOf(p, q);
    if (w.length < 2) return 0;
    return WalkImage(image, w, 1, w.length - 1, len, White,
                     [buf](i64 k, i32 v, i64, i64) { buf[k] = static_cast<u8>(v); });
}

i32 Geo_SampleLineWithCoords(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 *xs, i32 *ys,
                             i32 len) {
    if (image == nullptr || p == nullptr || q == nullptr || buf == nullptr || xs == nullptr || ys == nullptr) return 0;
    const LineWalk w = WalkOf(p, q);
    if (w.length < 2) return 0;
    return WalkImage(image, w, 1, w.length - 1, len, White, [=](i64 k, i32 v, i64 x, i64 y) {
        buf[k] = static_cast<u8>(v);
        xs[k] = static_cast<i32>(x);
        ys[k] = static_cast<i32>(y);
    });
}

i32 Geo_SampleLineImage(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 len) {
    if (image == nullptr || p == nullptr || q == nullptr || buf == nullptr) return 0;
    const LineWalk w = WalkOf(p, q);
    if (w.length < 2) return 0;
    return WalkImage(image, w, 0, w.length, len, RepeatPrevious,
                     [buf](i64 k, i32 v, i64, i64) { buf[k] = static_cast<u8>(v); });
}

i32 DM_SampleImageLine(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out) {
    DigitalLineWalk w(x0, y0, x1, y1);
    for (i64 k = 0; k <= w.n; ++k) {
        if (k > 0) w.Next();
        const bool inside = image != nullptr && w.x >= 0 && w.y >= 0 && w.x < g_image.width && w.y < g_image.height;
        out[k] = inside ? image[w.y * g_image.width + w.x] : 0;
    }
    return static_cast<i32>(w.n + 1);
}

i32 Geo_SampleLineSorted(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf) {
    if (image == nullptr || p == nullptr || q == nullptr || buf == nullptr) return 0;
    const bool xMajor = Abs64(static_cast<i64>(q->x) - p->x) >= Abs64(static_cast<i64>(q->y) - p->y);
    const bool fromQ = xMajor ? q->x < p->x : q->y < p->y;
    const LineWalk w = fromQ ? WalkOf(q, p) : WalkOf(p, q);
    return WalkImage(image, w, 0, w.length, g_image.width, RepeatPrevious,
                     [buf](i64 k, i32 v, i64, i64) { buf[k] = static_cast<u8>(v); });
}

i32 Geo_SampleLine16(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len) {
    if (buf == nullptr || len <= 0) return 0;
    return Walk16(x0, y0, x1, y1, len, [buf](i64 k, i32 v) { buf[k] = static_cast<u8>(v); });
}

i32 Geo_SampleRay(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len) {
    if (buf == nullptr || !FrameHas(x0, y0)) return 0;
    const i64 dx = static_cast<i64>(x1) - x0;
    const i64 dy = static_cast<i64>(y1) - y0;
    const i64 m = Max64(Abs64(dx), Abs64(dy)) + 1;
    const i64 n = Min64(len, m);
    const i64 gx = Abs64(dx) * 1024 / m;
    const i64 gy = Abs64(dy) * 1024 / m;
    i64 written = 0;
    for (i64 k = 0; k < n; ++k) {
        const i64 x = x0 + Sign64(dx) * ((k * gx) >> 10);
        const i64 y = y0 + Sign64(dy) * ((k * gy) >> 10);
        if (!FrameHas(x, y)) break;
        buf[written++] = static_cast<u8>(FramePixel(x, y));
    }
    return static_cast<i32>(written);
}

i32 Geo_SumLine(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum) {
    if (!FrameHas(x0, y0) || !FrameHas(x1, y1)) return 0;
    LineWalk w(x0, y0, x1, y1);
    if (w.length == 0) return 0;
    u32 total = 0;
    for (i64 k = 0; k < w.length; ++k) {
        total += static_cast<u32>(FramePixel(w.x, w.y));
        w.Next();
    }
    if (sum != nullptr) *sum = total;
    return static_cast<i32>(w.length);
}

i32 Geo_SumLine16(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum) {
    u32 total = 0;
    const i32 count = Walk16(x0, y0, x1, y1, INT32_MAX, [&total](i64, i32 v) { total += static_cast<u32>(v); });
    if (count > 0 && sum != nullptr) *sum = total;
    return count;
}

i32 Geo_LineVariation(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum) {
    if (!FrameHas(x0, y0) || !FrameHas(x1, y1)) return 0;
    LineWalk w(x0, y0, x1, y1);
    if (w.length == 0) return 0;
    u32 total = 0;
    i32 previous = FramePixel(w.x, w.y);
    for (i64 k = 0; k < w.length; ++k) {
        const i32 v = FramePixel(w.x, w.y);
        total += static_cast<u32>(v > previous ? v - previous : previous - v);
        previous = v;
        w.Next();
    }
    if (sum != nullptr) *sum = total;
    return static_cast<i32>(w.length);
}

i32 Geo_LineVariation16(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum) {
    u32 total = 0;
    i32 previous = -1;
    const i32 count = Walk16(x0, y0, x1, y1, INT32_MAX, [&](i64, i32 v) {
        if (previous >= 0) total += static_cast<u32>(v > previous ? v - previous : previous - v);
        previous = v;
    });
    if (count > 0 && sum != nullptr) *sum = total;
    return count;
}

i32 Geo_RasteriseLine(const GEO_POINT *p, const GEO_POINT *q, POINT_NODE *first, i32 count) {
    if (p == nullptr || q == nullptr || first == nullptr || count <= 0) return 0;
    LineWalk w = WalkOf(p, q);
    if (w.length < 2) return 0;
    i32 written = 0;
    POINT_NODE *node = first;
    for (i64 k = 0; k <= w.length && written < count && node != nullptr; ++k) {
        node->x = static_cast<i32>(w.x);
        node->y = static_cast<i32>(w.y);
        ++written;
        node = node->next;
        w.Next();
    }
    return written;
}

i32 Geo_RasteriseLineXY(const GEO_POINT *p, const GEO_POINT *q, i32 *xs, i32 *ys, i32 count) {
    if (p == nullptr || q == nullptr || xs == nullptr || ys == nullptr || count <= 0) return 0;
    LineWalk w = WalkOf(p, q);
    if (w.length < 2) return 0;
    i32 written = 0;
    w.Next();
    for (i64 k = 1; k < w.length && written < count; ++k) {
        xs[written] = static_cast<i32>(w.x);
        ys[written] = static_cast<i32>(w.y);
        ++written;
        w.Next();
    }
    return written;
}

i32 Geo_BresenhamOffsets(SEGMENT_OFFSETS *s) {
    if (s == nullptr || s->out == nullptr) return 0;
    LineWalk w(s->x0, s->y0, s->x1, s->y1);
    const i64 n = Min64(s->maxCount, w.length);
    if (n < 2) return 0;
    for (i64 k = 0; k < n; ++k) {
        s->out[k] = GEO_POINT{static_cast<i32>(w.x - s->x0), static_cast<i32>(w.y - s->y0)};
        w.Next();
    }
    return static_cast<i32>(n);
}

i32 Geo_PixelStepOffsets16(SEGMENT_OFFSETS *s) {
    if (s == nullptr || s->out == nullptr) return 0;
    const i64 dx = static_cast<i64>(s->x1) - s->x0;
    const i64 dy = static_cast<i64>(s->y1) - s->y0;
    const i64 length = Max64(Abs64(dx), Abs64(dy));
    const i64 n = Min64(s->maxCount, length / 16);
    if (n <= 0) return 0;
    for (i64 k = 0; k < n; ++k)
        s->out[k] = GEO_POINT{RoundHalfAway(16 * k * dx, length), RoundHalfAway(16 * k * dy, length)};
    return static_cast<i32>(n);
}

namespace {

i32 Smooth3x3(const u8 *p, i64 stride) {
    const u8 *a = p - stride;
    const u8 *c = p + stride;
    return (a[-1] + 2 * a[0] + a[1] + 2 * p[-1] + 4 * p[0] + 2 * p[1] + c[-1] + 2 * c[0] + c[1]) >> 4;
}

}  // namespace

i32 Geo_SmoothRegion3x3(const REGION_QUAD *region) {
    if (region == nullptr || g_frame.data == nullptr) return 0;
    const i64 x0 = region->c[kTopLeft].x;
    const i64 y0 = region->c[kTopLeft].y;
    const i64 x1 = region->c[kTopRight].x;
    const i64 y1 = region->c[kBottomLeft].y;
    const i64 width = g_frame.width;
    const i64 height = g_frame.height;
    if (x0 < 1 || y0 < 1 || x1 < x0 || y1 < y0 || x1 > width - 2 || y1 > height - 2) return 0;
    const i64 w = x1 - x0 + 1;
    const i64 h = y1 - y0 + 1;
    if (w * h > kArenaCapacity) return 0;
    u8 *scratch = Mem_Alloc(static_cast<i32>(w * h));
    if (scratch == nullptr) return 0;
    for (i64 y = 0; y < h; ++y) {
        const u8 *src = g_frame.data + (y0 + y) * width + x0;
        for (i64 x = 0; x < w; ++x) scratch[y * w + x] = static_cast<u8>(Smooth3x3(src + x, width));
    }
    for (i64 y = 0; y < h; ++y)
        std::memcpy(g_frame.data + (y0 + y) * width + x0, scratch + y * w, static_cast<size_t>(w));
    Mem_Free(scratch);
    return 1;
}

namespace {

struct RayHit {
    i32 found;
    GEO_POINT point;
    i32 distance;
};

// Casts one ray from the centre to the target, clipped to the frame, and converts the
// callback's edge position (1/16 sample) into a point along the ray.
RayHit CastRay(const RAY_REFINE &r, GEO_POINT target, bool fine) {
    RayHit hit{0, {0, 0}, 0};
    GEO_POINT a{r.centreX, r.centreY};
    GEO_POINT b = target;
    Geo_ClipSegment(&a, &b, static_cast<i32>(g_frame.width), static_cast<i32>(g_frame.height));
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    const i64 length = Max64(Abs64(dx), Abs64(dy));
    if (length < 2) return hit;
    const i32 count = fine ? Geo_SampleLine16(16 * a.x, 16 * a.y, 16 * b.x, 16 * b.y, r.buffer, r.bufferLength)
                           : Geo_SampleLineBresenham(a.x, a.y, b.x, b.y, r.buffer, r.bufferLength);
    i32 position = 0;
    if (count < 2 || r.findEdge(r.buffer, count, &position) == 0) return hit;
    if (position < 0) position = 0;
    if (position > 16 * count) position = 16 * count;
    hit.found = 1;
    hit.point =
        GEO_POINT{a.x + RoundHalfAway(position * dx, 16 * length), a.y + RoundHalfAway(position * dy, 16 * length)};
    const GEO_POINT start{r.startX, r.startY};
    const GEO_POINT end{r.endX, r.endY};
    hit.distance = Geo_DistanceToLine(&hit.point, &start, &end);
    return hit;
}

GEO_POINT SegmentPoint(const RAY_REFINE &r, i64 t) {
    SEGMENT_STEP s{r.startX, r.startY, r.endX, r.endY, static_cast<i32>(t), 0, 0};
    Geo_SegmentPointAt(&s);
    return GEO_POINT{s.outX, s.outY};
}

}  // namespace

i32 Geo_RefineEdgeByRays(RAY_REFINE *r) {
    if (r == nullptr || r->buffer == nullptr || r->bufferLength < 2 || r->findEdge == nullptr) return 0;
    const i64 span = Max64(Abs64(static_cast<i64>(r->endX) - r->startX), Abs64(static_cast<i64>(r->endY) - r->startY));
    if (span < 1) return 0;
    constexpr int kMaxRounds = 40;
    i64 lo = 0;
    i64 hi = span;
    i64 divisions = 9;
    RayHit best{0, {0, 0}, INT32_MAX};
    i64 bestT = 0;
    for (int round = 0; round < kMaxRounds; ++round) {
        const i64 step = Max64((hi - lo) / divisions, 1);
        int hits = 0;
        for (i64 k = 1; k < divisions; ++k) {
            const i64 t = lo + (hi - lo) * k / divisions;
            const RayHit hit = CastRay(*r, SegmentPoint(*r, t), step <= 1);
            if (hit.found == 0) continue;
            ++hits;
            if (hit.distance < best.distance) {
                best = hit;
                bestT = t;
            }
        }
        if (round == 0 && hits < 4) return 0;
        if (step <= 1) break;
        lo = Max64(bestT - step, 0);
        hi = Min64(bestT + step, span);
        divisions = 7;
    }
    r->resultX = best.point.x;
    r->resultY = best.point.y;
    return 1;
}

}  // namespace vexo
