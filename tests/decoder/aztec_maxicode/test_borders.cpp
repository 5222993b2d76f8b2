// Every probe, step and sampler at every border of small frames: run under the address
// sanitizer, a read outside the image fails the test. Points outside must come back unmoved.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "aztec_maxicode/azt_probes.h"
#include "aztec_maxicode/azt_rays.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::i32;
using vexo_test::DecoderTest;
using vexo_test::GreyImage;

bool PixelInside(const GreyImage &img, long x, long y) {
    return x >= 0 && y >= 0 && x < img.Width() && y < img.Height();
}

void CheckWholePixelRoutines(const GreyImage &img, int x, int y) {
    const bool inside = PixelInside(img, x, y);
    const bool interior = PixelInside(img, x - 1, y - 1) && PixelInside(img, x + 1, y + 1);
    for (int bright = 0; bright < 2; ++bright) {
        i32 p[2] = {x, y};
        const int g = bright ? vexo::Azt_StepToBrightestNeighbour(p) : vexo::Azt_StepToDarkestNeighbour(p);
        if (!interior) {
            ASSERT_EQ(p[0], x);
            ASSERT_EQ(p[1], y);
            ASSERT_EQ(g, inside ? img.At(x, y) : (bright ? 0 : 255));
        } else {
            ASSERT_LE(std::abs(p[0] - x), 1);
            ASSERT_LE(std::abs(p[1] - y), 1);
            ASSERT_EQ(g, img.At(p[0], p[1]));
        }
    }
    for (const int threshold : {0, 1, 128, 255, 256, 65535}) {
        for (const int limit : {0, 1, 3, 65535}) {
            for (int bright = 0; bright < 2; ++bright) {
                i32 p[2] = {x, y};
                const auto t = static_cast<uint16_t>(threshold);
                const auto l = static_cast<uint16_t>(limit);
                const int r = bright ? vexo::Azt_CentreInBrightRun(p, t, l) : vexo::Azt_CentreInDarkRun(p, t, l);
                if (!inside) {
                    ASSERT_EQ(r, 0);
                    ASSERT_EQ(p[0], x);
                    ASSERT_EQ(p[1], y);
                } else {
                    ASSERT_TRUE(PixelInside(img, p[0], p[1])) << x << "," << y << " -> " << p[0] << "," << p[1];
                }
            }
        }
    }
}

struct Dir {
    float a, b;
};

void CheckSixteenthRoutines(const GreyImage &img, i32 x16, i32 y16) {
    const long X = x16 >> 4, Y = y16 >> 4;
    const i32 p0[2] = {x16, y16};
    const bool bilinear = PixelInside(img, X, Y) && PixelInside(img, X + 1, Y + 1);
    const bool bicubic = PixelInside(img, X - 1, Y - 1) && PixelInside(img, X + 2, Y + 2);
    if (!bilinear) {
        ASSERT_EQ(vexo::Azt_SampleBilinear16(p0), 0);
    }
    if (!bicubic) {
        ASSERT_EQ(vexo::Azt_SampleBicubic16(p0), 0);
    }
    ASSERT_LE(vexo::Azt_SampleBilinear16(p0), 4080);
    ASSERT_LE(vexo::Azt_SampleBicubic16(p0), 4080);
    const Dir dirs[] = {{16, 0},      {0, -16}, {-16, 16},  {3.5f, -2.25f},
                        {0.5f, 0.5f}, {0, 0},   {1e30f, 0}, {std::numeric_limits<float>::quiet_NaN(), 1}};
    for (const Dir &d : dirs) {
        for (int kind = 0; kind < 4; ++kind) {
            i32 p[2] = {x16, y16};
            switch (kind) {
                case 0:
                    vexo::Azt_ProbeFallingEdges(p, d.a, d.b);
                    break;
                case 1:
                    vexo::Azt_ProbeRisingEdges(p, d.a, d.b);
                    break;
                case 2:
                    vexo::Azt_ClimbToBrightest(p, d.a, d.b);
                    break;
                default:
                    vexo::Azt_ClimbToDarkest(p, d.a, d.b);
                    break;
            }
            if (p[0] == x16 && p[1] == y16) continue;
            // Only a point whose samples all lay inside may move, and it moves between them.
            ASSERT_TRUE(kind < 2 ? bilinear : bicubic) << kind;
            ASSERT_TRUE(PixelInside(img, p[0] >> 4, p[1] >> 4)) << kind << " " << p[0] << "," << p[1];
        }
    }
}

void CheckRays(GreyImage &img, int x, int y) {
    const int w = img.Width();
    const int strides[][2] = {{1, 1},           {-1, -1},    {w, w}, {-w, -w},   {w + 1, w - 1},
                              {-w + 1, -w - 1}, {1, -w + 1}, {0, 0}, {500, -500}};
    int (*const finders[])(vexo::AZT_RAY *) = {vexo::Loc_RayEdgeContrast, vexo::Loc_RayEdgeLong, vexo::Loc_RayEdgeFlat};
    for (const auto &s : strides) {
        for (const int length : {0, 1, 7, 250, 400}) {
            uint8_t buffer[256];
            vexo::AZT_RAY ray{};
            ray.samples = buffer;
            ray.start = &img.At(x, y);
            ray.length = static_cast<uint16_t>(length);
            ray.strideA = static_cast<int16_t>(s[0]);
            ray.strideB = static_cast<int16_t>(s[1]);
            ray.weight = 572;
            ray.level = 128;
            ray.firstLimit = ray.secondLimit = 65535;
            vexo::Loc_RaySampleStairs(&ray);
            ASSERT_LE(ray.length, std::min(length, 250));
            // The finders on a buffer of exactly the samples taken.
            std::vector<uint8_t> exact(buffer, buffer + ray.length);
            ray.samples = exact.data();
            for (auto *finder : finders) finder(&ray);
        }
    }
}

TEST_F(DecoderTest, ProbesAndStepsReadNothingOutsideSmallFrames) {
    for (int h = 1; h <= 16; ++h) {
        for (int w = 1; w <= 16; ++w) {
            GreyImage img(w, h);
            img.Randomise(static_cast<uint32_t>(w * 100 + h));
            // Some structure too, so that probes and climbs find edges and move.
            if ((w + h) % 2 == 0) img.Paint([](int x, int y) { return ((x / 2 + y / 3) % 2) * 200 + 20; });
            SCOPED_TRACE(::testing::Message() << "frame " << w << "x" << h);
            for (int y = -2; y <= h + 1; ++y) {
                for (int x = -2; x <= w + 1; ++x) {
                    CheckWholePixelRoutines(img, x, y);
                    if (PixelInside(img, x, y)) CheckRays(img, x, y);
                    for (const int fy : {0, 7, 15}) {
                        for (const int fx : {0, 8, 15}) CheckSixteenthRoutines(img, 16 * x + fx, 16 * y + fy);
                    }
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST_F(DecoderTest, RayEdgeFindersReadOnlyTheirSamples) {
    const uint32_t seed = 777;
    std::mt19937 rng(seed);
    int (*const finders[])(vexo::AZT_RAY *) = {vexo::Loc_RayEdgeContrast, vexo::Loc_RayEdgeLong, vexo::Loc_RayEdgeFlat};
    int succeeded = 0;
    for (int k = 0; k < 20000; ++k) {
        const int n = static_cast<int>(rng() % 48);
        std::vector<uint8_t> s(n);
        // Few grey levels make plateaus and level crossings common.
        for (uint8_t &v : s) v = static_cast<uint8_t>((rng() % 5) * 60);
        vexo::AZT_RAY ray{};
        ray.samples = n ? s.data() : nullptr;
        ray.length = static_cast<uint16_t>(n);
        ray.level = static_cast<int16_t>(rng() % 260);
        ray.weight = static_cast<uint16_t>(rng() % 2 ? 724 : 65535);
        ray.firstLimit = ray.secondLimit = 65535;
        for (auto *finder : finders) {
            const int r = finder(&ray);
            ASSERT_TRUE(r == 0 || r == 1) << "seed " << seed << " case " << k;
            if (r == 1) {
                ++succeeded;
                ASSERT_GT(ray.e2, 0) << "seed " << seed << " case " << k;
                ASSERT_GT(ray.c2, 0) << "seed " << seed << " case " << k;
            }
        }
    }
    EXPECT_GT(succeeded, 1000) << "seed " << seed;
}

}  // namespace
