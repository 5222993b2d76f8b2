// Line samplers, rasterisers and clipping on arbitrary segments over a small image. Input:
// width, height, capacity, then four 16-bit coordinates, then pixels. Checks capacities
// with canaries, clipping into the frame, connected rasterised points from p to q, and
// that the sorted sampler does not depend on the direction.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/pixel.h"
#include "toolkit/sampling.h"

namespace {

constexpr int kCanary = 16;
constexpr uint8_t kFill = 0xA5;
constexpr int kMaxCapacity = 600;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Untouched(const uint8_t *p, size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
        if (p[k] != kFill) return false;
    }
    return true;
}

int32_t Coord(const uint8_t *d) { return static_cast<int16_t>(d[0] | (d[1] << 8)) / 64; }

struct Buffers {
    uint8_t a[kMaxCapacity + kCanary];
    uint8_t b[kMaxCapacity + kCanary];
    int32_t xs[kMaxCapacity + kCanary];
    int32_t ys[kMaxCapacity + kCanary];
    vexo::POINT_NODE nodes[kMaxCapacity + kCanary];
    vexo::GEO_POINT offsets[kMaxCapacity + kCanary];
};
Buffers g_buf;

void Fill() { std::memset(&g_buf, kFill, sizeof g_buf); }

void CheckSamplers(const uint8_t *image, vexo::GEO_POINT p, vexo::GEO_POINT q, int32_t cap, int32_t width) {
    const size_t room = static_cast<size_t>(cap);
    Fill();
    Check(vexo::Geo_SampleLine(image, &p, &q, g_buf.a, cap) <= cap && Untouched(g_buf.a, room, room + kCanary));
    Fill();
    Check(vexo::Geo_SampleLineImage(image, &p, &q, g_buf.a, cap) <= cap && Untouched(g_buf.a, room, room + kCanary));
    Fill();
    Check(vexo::Geo_SampleLineBresenham(p.x, p.y, q.x, q.y, g_buf.a, cap) <= cap &&
          Untouched(g_buf.a, room, room + kCanary));
    Fill();
    Check(vexo::Geo_SampleLine16(16 * p.x + 5, 16 * p.y + 3, 16 * q.x + 9, 16 * q.y, g_buf.a, cap) <= cap &&
          Untouched(g_buf.a, room, room + kCanary));
    Fill();
    Check(vexo::Geo_SampleRay(p.x, p.y, q.x, q.y, g_buf.a, cap) <= cap && Untouched(g_buf.a, room, room + kCanary));
    Fill();
    const int32_t n = vexo::Geo_SampleLineSorted(image, &p, &q, g_buf.a);
    const int32_t m = vexo::Geo_SampleLineSorted(image, &q, &p, g_buf.b);
    Check(n == m && n <= width && std::memcmp(g_buf.a, g_buf.b, sizeof g_buf.a) == 0);
    Fill();
    Check(vexo::Geo_SegmentStepOffsets(&p, &q, g_buf.offsets, cap, 1 + cap % 5) <= cap &&
          Untouched(reinterpret_cast<const uint8_t *>(g_buf.offsets), room * sizeof(vexo::GEO_POINT),
                    (room + kCanary) * sizeof(vexo::GEO_POINT)));
}

void CheckRasteriser(vexo::GEO_POINT p, vexo::GEO_POINT q, int32_t cap) {
    Fill();
    for (int k = 0; k + 1 < kMaxCapacity + kCanary; ++k) g_buf.nodes[k].next = &g_buf.nodes[k + 1];
    g_buf.nodes[kMaxCapacity + kCanary - 1].next = nullptr;
    const int32_t n = vexo::Geo_RasteriseLine(&p, &q, g_buf.nodes, cap);
    Check(n >= 0 && n <= cap);
    const int32_t major = std::max(std::abs(q.x - p.x), std::abs(q.y - p.y));
    if (n > 0) Check(g_buf.nodes[0].x == p.x && g_buf.nodes[0].y == p.y);
    for (int32_t k = 1; k < n; ++k) {
        const int32_t dx = std::abs(g_buf.nodes[k].x - g_buf.nodes[k - 1].x);
        const int32_t dy = std::abs(g_buf.nodes[k].y - g_buf.nodes[k - 1].y);
        Check(std::max(dx, dy) == 1);
    }
    if (n == major + 1) Check(g_buf.nodes[n - 1].x == q.x && g_buf.nodes[n - 1].y == q.y);
    for (int32_t k = n; k < kMaxCapacity + kCanary; ++k) {
        Check(g_buf.nodes[k].x == static_cast<int32_t>(0xA5A5A5A5));
    }
}

void CheckClip(vexo::GEO_POINT p, vexo::GEO_POINT q, int32_t width, int32_t height) {
    vexo::Geo_ClipSegment(&p, &q, width, height);
    const bool failed = p.x == 0 && p.y == 0 && q.x == 0 && q.y == 0;
    if (failed) return;
    Check(p.x >= 0 && p.x < width && p.y >= 0 && p.y < height);
    Check(q.x >= 0 && q.x < width && q.y >= 0 && q.y < height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 11) return 0;
    const int32_t width = 1 + data[0] % 64;
    const int32_t height = 1 + data[1] % 64;
    const int32_t cap = data[2] % 8 == 0 ? data[2] % 3 : (data[2] * 3) % kMaxCapacity;
    const vexo::GEO_POINT p{Coord(data + 3), Coord(data + 5)};
    const vexo::GEO_POINT q{Coord(data + 7), Coord(data + 9)};
    static uint8_t image[64 * 64];
    const size_t pixels = static_cast<size_t>(width * height);
    for (size_t k = 0; k < pixels; ++k) image[k] = 11 + k < size ? data[11 + k] : static_cast<uint8_t>(k * 37);
    vexo::Pix_SetImagePointer(image);
    vexo::Pix_SetImageSize(width, height);

    CheckSamplers(image, p, q, cap, width);
    CheckRasteriser(p, q, cap);
    CheckClip(p, q, width, height);
    return 0;
}
