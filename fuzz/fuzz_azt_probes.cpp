// Aztec ray and point routines on hostile images, points, directions and rays. The image is
// a heap block of exactly width x height bytes, so the sanitizer catches a read outside it.
// Invariants (trap on violation): a neighbour step moves a point with all eight neighbours
// by at most one pixel and returns the grey of the pixel it lands on, and leaves any other
// point where it was; run centring keeps a point inside the image and answers 0 for one
// outside; samplers stay within 0..4080; a ray sampler never takes more than it was asked
// for nor more than 250; an edge finder that succeeds respects both limits and gives a
// light-run centre.
//
// Input: [width 1..24] [height 1..24] then width x height pixels, then records of 12 bytes:
// [x lo] [x hi] [y lo] [y hi] (1/16 pixel, int16) [a] [b] (direction, int8 / 4) [threshold]
// [limit] [stride A] [stride B] (int8) [length] [level].
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "aztec_maxicode/azt_probes.h"
#include "aztec_maxicode/azt_rays.h"
#include "core/pixel.h"

namespace {

#define PROBE_CHECK(cond)              \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

using vexo::i32;

int g_width = 0;
int g_height = 0;
const uint8_t *g_pixels = nullptr;

bool Inside(long x, long y) { return x >= 0 && y >= 0 && x < g_width && y < g_height; }

void CheckSteps(i32 x, i32 y) {
    for (int bright = 0; bright < 2; ++bright) {
        i32 p[2] = {x, y};
        const int g = bright ? vexo::Azt_StepToBrightestNeighbour(p) : vexo::Azt_StepToDarkestNeighbour(p);
        if (Inside(x - 1, y - 1) && Inside(x + 1, y + 1)) {
            PROBE_CHECK(std::abs(p[0] - x) <= 1 && std::abs(p[1] - y) <= 1);
            PROBE_CHECK(g == g_pixels[p[1] * g_width + p[0]]);
        } else {
            PROBE_CHECK(p[0] == x && p[1] == y);
        }
    }
}

void CheckCentring(i32 x, i32 y, uint16_t threshold, uint16_t limit) {
    for (int bright = 0; bright < 2; ++bright) {
        i32 p[2] = {x, y};
        const int r =
            bright ? vexo::Azt_CentreInBrightRun(p, threshold, limit) : vexo::Azt_CentreInDarkRun(p, threshold, limit);
        if (!Inside(x, y)) {
            PROBE_CHECK(r == 0 && p[0] == x && p[1] == y);
        } else {
            PROBE_CHECK(Inside(p[0], p[1]));
        }
    }
}

void CheckPoint(i32 x16, i32 y16, float a, float b) {
    const i32 p0[2] = {x16, y16};
    PROBE_CHECK(vexo::Azt_SampleBilinear16(p0) <= 4080);
    PROBE_CHECK(vexo::Azt_SampleBicubic16(p0) <= 4080);
    i32 p[2] = {x16, y16};
    vexo::Azt_ProbeFallingEdges(p, a, b);
    p[0] = x16;
    p[1] = y16;
    vexo::Azt_ProbeRisingEdges(p, a, b);
    p[0] = x16;
    p[1] = y16;
    PROBE_CHECK(vexo::Azt_ClimbToBrightest(p, a, b) == 0.0f);
    p[0] = x16;
    p[1] = y16;
    PROBE_CHECK(vexo::Azt_ClimbToDarkest(p, a, b) == 0.0f);
}

void CheckRay(uint8_t *image, i32 x, i32 y, int strideA, int strideB, int length, int level) {
    if (!Inside(x, y)) return;
    uint8_t buffer[256];
    vexo::AZT_RAY ray{};
    ray.samples = buffer;
    ray.start = image + y * g_width + x;
    ray.length = static_cast<uint16_t>(length);
    ray.strideA = static_cast<int16_t>(strideA);
    ray.strideB = static_cast<int16_t>(strideB);
    ray.weight = 572;
    ray.level = static_cast<int16_t>(level);
    ray.firstLimit = static_cast<uint16_t>(length * 8);
    ray.secondLimit = static_cast<uint16_t>(length * 12);
    if (level & 1) {
        vexo::Loc_RaySampleStairsInverted(&ray);
    } else {
        vexo::Loc_RaySampleStairs(&ray);
    }
    PROBE_CHECK(ray.length <= length && ray.length <= vexo::kAztRayMaxLength);
    // The finders read from a block of exactly the samples taken.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[ray.length + 1]);
    for (int k = 0; k < ray.length; ++k) exact[k] = buffer[k];
    ray.samples = exact.get();
    int (*const finders[])(vexo::AZT_RAY *) = {vexo::Loc_RayEdgeContrast, vexo::Loc_RayEdgeLong, vexo::Loc_RayEdgeFlat};
    for (auto *finder : finders) {
        if (finder(&ray) == 1) {
            PROBE_CHECK(ray.e1 <= ray.firstLimit && ray.e2 <= ray.secondLimit && ray.c2 > 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    g_width = 1 + data[0] % 24;
    g_height = 1 + data[1] % 24;
    const size_t pixels = static_cast<size_t>(g_width) * g_height;
    if (size < 2 + pixels) return 0;
    std::unique_ptr<uint8_t[]> image(new uint8_t[pixels]);
    for (size_t k = 0; k < pixels; ++k) image[k] = data[2 + k];
    g_pixels = image.get();
    vexo::Pix_SetImagePointer(image.get());
    vexo::Pix_SetImageSize(g_width, g_height);
    for (size_t at = 2 + pixels; at + 12 <= size; at += 12) {
        const uint8_t *r = data + at;
        const auto x16 = static_cast<int16_t>(r[0] | (r[1] << 8));
        const auto y16 = static_cast<int16_t>(r[2] | (r[3] << 8));
        const float a = static_cast<int8_t>(r[4]) / 4.0f;
        const float b = static_cast<int8_t>(r[5]) / 4.0f;
        const i32 x = x16 >> 4, y = y16 >> 4;
        CheckSteps(x, y);
        CheckCentring(x, y, static_cast<uint16_t>(r[6] * 2), r[7]);
        CheckPoint(x16, y16, a, b);
        CheckRay(image.get(), x, y, static_cast<int8_t>(r[8]), static_cast<int8_t>(r[9]), r[10] * 2, r[11]);
    }
    vexo::Pix_SetImagePointer(nullptr);
    vexo::Pix_SetImageSize(0, 0);
    return 0;
}
