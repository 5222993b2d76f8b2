// Ray sampling and the three ray edge finders: hand-made profiles worked through by hand,
// then concentric rings, sharp and blurred, in both polarities.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_rays.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::AZT_RAY;
using vexo::i32;
using vexo_test::DecoderTest;
using vexo_test::GreyImage;

// ---------------------------------------------------------------------------------------
// Samplers

struct SampleCase {
    const char *what;
    int x, y;  // origin
    int length;
    int strideA, strideB;  // in pixels of a 12-wide image
    bool inverted;
    int taken;  // expected length afterwards
};

TEST_F(DecoderTest, RaySamplersWalkTheStaircase) {
    GreyImage img(12, 30);
    img.Randomise(4242);
    const SampleCase cases[] = {
        {"a ray of length 0 writes nothing", 5, 5, 0, 1, 1, false, 0},
        {"inverted ray of length 0", 5, 5, 0, 1, 1, true, 0},
        {"right", 2, 3, 9, 1, 1, false, 9},
        {"inverted, over the full length", 2, 3, 9, 1, 1, true, 9},
        {"up and up-right alternating", 4, 20, 12, -12, -11, false, 12},
        {"down-left diagonal", 11, 0, 11, 11, 11, true, 11},
        {"a ray longer than 250 is cut to 250", 0, 0, 300, 1, 0, false, 250},
        {"stops at the last pixel of the image", 6, 27, 10, 12, 12, false, 3},
        {"stops before the first pixel (rows wrap)", 3, 2, 10, -12, -1, false, 5},
    };
    for (const SampleCase &c : cases) {
        uint8_t buffer[256];
        std::memset(buffer, 0xA5, sizeof(buffer));
        AZT_RAY ray{};
        ray.samples = buffer;
        ray.start = &img.At(c.x, c.y);
        ray.length = static_cast<uint16_t>(c.length);
        ray.strideA = static_cast<int16_t>(c.strideA);
        ray.strideB = static_cast<int16_t>(c.strideB);
        if (c.inverted) {
            vexo::Loc_RaySampleStairsInverted(&ray);
        } else {
            vexo::Loc_RaySampleStairs(&ray);
        }
        EXPECT_EQ(ray.length, c.taken) << c.what;
        long offset = static_cast<long>(c.y) * 12 + c.x;
        for (int k = 0; k < c.taken; ++k) {
            const int pixel = img.Data()[offset];
            EXPECT_EQ(buffer[k], c.inverted ? 255 - pixel : pixel) << c.what << " sample " << k;
            offset += (k & 1) == 0 ? c.strideA : c.strideB;
        }
        for (int k = c.taken; k < 256; ++k) ASSERT_EQ(buffer[k], 0xA5) << c.what << " byte " << k;
    }
}

TEST_F(DecoderTest, RaySamplersRefuseAStartOutsideTheImage) {
    GreyImage img(8, 8);
    uint8_t elsewhere[4] = {1, 2, 3, 4};
    uint8_t buffer[256] = {};
    AZT_RAY ray{};
    ray.samples = buffer;
    ray.start = elsewhere;
    ray.length = 4;
    ray.strideA = ray.strideB = 1;
    vexo::Loc_RaySampleStairs(&ray);
    EXPECT_EQ(ray.length, 0);
    ray.start = img.Data();
    ray.length = 4;
    ray.samples = nullptr;
    vexo::Loc_RaySampleStairsInverted(&ray);
    EXPECT_EQ(ray.length, 0);
    vexo::Loc_RaySampleStairs(nullptr);
}

// ---------------------------------------------------------------------------------------
// Hand-made profiles

// Run areas as the finders define them, for runs whose ends are given by hand.
long Descent(const std::vector<uint8_t> &s, int t, int b) {
    long a = static_cast<long>(s[t]) * (t + 1) - static_cast<long>(s[b]) * (b + 1);
    for (int k = t + 1; k <= b; ++k) a += s[k];
    return a;
}
long Rise(const std::vector<uint8_t> &s, int b, int t) {
    long a = static_cast<long>(s[t]) * (t + 1) - static_cast<long>(s[b]) * (b + 1);
    for (int k = b + 1; k <= t; ++k) a -= s[k];
    return a;
}

AZT_RAY ProfileRay(std::vector<uint8_t> &s, int level, int weight) {
    AZT_RAY ray{};
    ray.samples = s.data();
    ray.length = static_cast<uint16_t>(s.size());
    ray.level = static_cast<int16_t>(level);
    ray.weight = static_cast<uint16_t>(weight);
    ray.firstLimit = 65535;
    ray.secondLimit = 65535;
    return ray;
}

struct Expected {
    i32 e1, e2, e3, e4, e5, c2, c3;
};

void ExpectEdges(const AZT_RAY &ray, const Expected &x, const char *what) {
    EXPECT_EQ(ray.e1, x.e1) << what;
    EXPECT_EQ(ray.e2, x.e2) << what;
    EXPECT_EQ(ray.e3, x.e3) << what;
    EXPECT_EQ(ray.e4, x.e4) << what;
    EXPECT_EQ(ray.e5, x.e5) << what;
    EXPECT_EQ(ray.c2, x.c2) << what;
    EXPECT_EQ(ray.c3, x.c3) << what;
}

int Near(int p) { return (p + 8) >> 4; }

TEST_F(DecoderTest, ContrastFinderOnAHandMadeProfile) {
    //                         0   1    2    3    4   5   6   7    8    9
    std::vector<uint8_t> s = {20, 30, 200, 190, 100, 20, 20, 60, 220, 230,
                              230, 150, 40, 40, 120, 210, 210, 50, 30, 30};
    //                         10   11  12  13   14   15   16  17  18  19
    // Start: 2 is the first sample above both next ones and at or above the level 100.
    // Edge 1, strict descent 2..5; edge 2, rise 5..10 (equal samples go on); edge 3, strict
    // descent 10..12; edge 4, rise 12..16; edge 5, strict descent 16..18.
    const long a1 = Descent(s, 2, 5), d1 = 200 - 20;
    const long a2 = Rise(s, 5, 10), d2 = 230 - 20;
    const long a3 = Descent(s, 10, 12), d3 = 230 - 40;
    const long a4 = Rise(s, 12, 16), d4 = 210 - 40;
    const long a5 = Descent(s, 16, 18), d5 = 210 - 30;
    ASSERT_EQ(a1, 790);
    auto pos = [](long a, long d) { return static_cast<int>(((d >> 1) + 16 * a - 8 * d) / d); };
    const int p2 = pos(a2, d2), p3 = pos(a3, d3), p4 = pos(a4, d4), p5 = pos(a5, d5);
    ASSERT_EQ(p2, 118);
    ASSERT_EQ(p3, 177);
    // Brightest samples between the edges: 9 (first of the two 230s) and 15.
    ASSERT_EQ(Near(p2), 7);
    ASSERT_EQ(Near(p3), 11);
    const int c2 = (((p2 + p3 + 2) >> 2) + 8 * 9 + 1) >> 1;
    const int c3 = (((p4 + p5 + 2) >> 2) + 8 * 15 + 1) >> 1;
    for (const int w : {512, 572, 724}) {
        AZT_RAY ray = ProfileRay(s, 100, w);
        ASSERT_EQ(vexo::Loc_RayEdgeContrast(&ray), 1) << w;
        const int e1 = static_cast<int>((((d1 >> 1) + w * (2 * a1 - d1)) / d1 + 32) >> 6);
        auto e = [w](int p) { return (w * p + 256) >> 9; };
        ExpectEdges(ray, {e1, e(p2), e(p3), e(p4), e(p5), c2, c3}, "contrast");
    }
    AZT_RAY ray = ProfileRay(s, 100, 512);
    ray.firstLimit = 61;  // e1 is 62
    EXPECT_EQ(vexo::Loc_RayEdgeContrast(&ray), 0);
    ray.firstLimit = 62;
    ray.secondLimit = 117;  // e2 is 118
    EXPECT_EQ(vexo::Loc_RayEdgeContrast(&ray), 0);
    ray.secondLimit = 118;
    EXPECT_EQ(vexo::Loc_RayEdgeContrast(&ray), 1);
}

TEST_F(DecoderTest, LongFinderOnAHandMadeProfile) {
    //                         0    1    2    3    4    5    6   7   8   9  10
    std::vector<uint8_t> s = {20, 150, 150, 200, 200, 120, 120, 30, 30, 90, 90,
                              200, 200, 100, 100, 40, 110, 180, 180, 60, 20};
    //                         11   12   13   14  15   16   17   18  19  20
    // Level 110. Edge 1: the first fall through the level is 6 -> 7, walked back over equal
    // samples to 3; the descent (equal samples go on) ends at 8. Edge 2: the rise through the
    // level is 10 -> 11, walked back to 8, ending at 12. Edge 3: 12 -> 13, descent to 15.
    // Edge 4: 15 -> 16 (110 is at the level), rise to 18. Edge 5: 18 -> 19, descent to 20.
    const long a1 = Descent(s, 3, 8), d1 = 200 - 30;
    auto pos = [](long a, long d) { return static_cast<int>((16 * a - 8 * d) / d); };
    const int p2 = pos(Rise(s, 8, 12), 200 - 30);
    const int p3 = pos(Descent(s, 12, 15), 200 - 40);
    const int p4 = pos(Rise(s, 15, 18), 180 - 40);
    const int p5 = pos(Descent(s, 18, 20), 180 - 20);
    ASSERT_EQ(p2, 156);
    ASSERT_EQ(p3, 212);
    ASSERT_EQ(p4, 256);
    ASSERT_EQ(p5, 300);
    for (const int w : {512, 724}) {
        AZT_RAY ray = ProfileRay(s, 110, w);
        ASSERT_EQ(vexo::Loc_RayEdgeLong(&ray), 1) << w;
        const int e1 = static_cast<int>(((w * (2 * a1 - d1)) / d1 + 32) >> 6);
        auto e = [w](int p) { return (w * p + 256) >> 9; };
        ExpectEdges(ray, {e1, e(p2), e(p3), e(p4), e(p5), (p2 + p3 + 2) >> 2, (p4 + p5 + 2) >> 2}, "long");
    }
    // The contrast finder fails on the same profile: its strict descent from 4 stops on the
    // plateau at 5, and the level stretch after it is no rise.
    AZT_RAY ray = ProfileRay(s, 110, 512);
    EXPECT_EQ(vexo::Loc_RayEdgeContrast(&ray), 0);
}

TEST_F(DecoderTest, FlatFinderOnAHandMadeProfile) {
    //                         0    1   2    3    4    5   6   7   8   9   10
    std::vector<uint8_t> s = {10, 120, 30, 140, 150, 160, 90, 95, 20, 20, 100,
                              160, 150, 170, 60, 15, 15, 130, 140, 20, 10};
    //                         11   12   13  14  15  16   17   18  19  20
    // Level 100. The first two samples in a row at or above the level are 3 and 4; the first
    // two in a row at or below it are 6 and 7, so the stretch ends at 5, the top of its
    // rise. Runs step over a one-sample reversal: descent 5..8 (over 95), rise 8..13 (over
    // 150), descent 13..15, rise 15..18, descent 18..20. The look-ahead counts each run one
    // sample late: its area carries one more drop, taken back by the 3/2 and 24 terms.
    const long d1 = 160 - 20, a1 = Descent(s, 5, 8) + d1;
    auto pos = [](long a, long d) { return static_cast<int>((16 * (a + d) - 24 * d) / d); };
    const int p2 = pos(Rise(s, 8, 13), 170 - 20);
    const int p3 = pos(Descent(s, 13, 15), 170 - 15);
    const int p4 = pos(Rise(s, 15, 18), 140 - 15);
    const int p5 = pos(Descent(s, 18, 20), 140 - 10);
    ASSERT_EQ(p2, 162);
    ASSERT_EQ(p3, 220);
    // Brightest samples between the edges: 13 (170) and 18 (140).
    ASSERT_EQ(Near(p2), 10);
    ASSERT_EQ(Near(p3), 14);
    ASSERT_EQ(Near(p4), 17);
    ASSERT_EQ(Near(p5), 19);
    const int c2 = (((p2 + p3 + 2) >> 2) + 8 * 13 + 1) >> 1;
    const int c3 = (((p4 + p5 + 2) >> 2) + 8 * 18 + 1) >> 1;
    AZT_RAY ray = ProfileRay(s, 100, 512);
    ASSERT_EQ(vexo::Loc_RayEdgeFlat(&ray), 1);
    const int e1 = static_cast<int>(((512 * (2 * a1 - 3 * d1)) / d1 + 32) >> 6);
    ASSERT_EQ(e1, 105);
    auto e = [](int p) { return (512 * p + 256) >> 9; };
    ExpectEdges(ray, {e1, e(p2), e(p3), e(p4), e(p5), c2, c3}, "flat");
    // The contrast finder starts at 5 too but its strict descent stops at 6.
    AZT_RAY strict = ProfileRay(s, 100, 512);
    ASSERT_EQ(vexo::Loc_RayEdgeContrast(&strict), 1);
    EXPECT_LT(strict.e1, ray.e1);
}

struct FailCase {
    const char *what;
    std::vector<uint8_t> s;
    int result;
    i32 e4, e5, c3;  // checked on success
};

TEST_F(DecoderTest, RayEdgeFindersFailAndMissTheOuterEdges) {
    const FailCase cases[] = {
        {"rising ray: no start", {10, 20, 30, 40, 50, 60, 70, 80}, 0, 0, 0, 0},
        {"ray ends after the first descent", {10, 200, 200, 30, 20}, 0, 0, 0, 0},
        {"no third edge", {10, 200, 200, 30, 20, 200, 220}, 0, 0, 0, 0},
        {"ends after the third edge", {10, 200, 200, 30, 20, 200, 220, 30, 20}, 1, 0, 0, 0},
        {"fourth edge without a fifth", {10, 200, 200, 30, 20, 200, 220, 30, 20, 200, 210}, 1, -1, 0, 0},
        {"all five edges", {10, 200, 200, 30, 20, 200, 220, 30, 20, 200, 210, 20}, 1, -1, -1, -1},
        {"empty ray", {}, 0, 0, 0, 0},
        {"one sample", {200}, 0, 0, 0, 0},
    };
    int (*const finders[])(AZT_RAY *) = {vexo::Loc_RayEdgeContrast, vexo::Loc_RayEdgeLong, vexo::Loc_RayEdgeFlat};
    for (const FailCase &c : cases) {
        for (int f = 0; f < 3; ++f) {
            std::vector<uint8_t> s = c.s;
            AZT_RAY ray = ProfileRay(s, 110, 512);
            ray.e4 = ray.e5 = ray.c3 = 77;
            ASSERT_EQ(finders[f](&ray), c.result) << c.what << " finder " << f;
            if (c.result == 0) continue;
            // -1: present (non-zero), 0: absent.
            EXPECT_EQ(ray.e4 != 0, c.e4 != 0) << c.what << " finder " << f;
            EXPECT_EQ(ray.e5 != 0, c.e5 != 0) << c.what << " finder " << f;
            EXPECT_EQ(ray.c3 != 0, c.c3 != 0) << c.what << " finder " << f;
        }
    }
    AZT_RAY none{};
    EXPECT_EQ(vexo::Loc_RayEdgeContrast(nullptr), 0);
    EXPECT_EQ(vexo::Loc_RayEdgeLong(&none), 0);
}

// ---------------------------------------------------------------------------------------
// Rings

struct Direction {
    int ax, ay, bx, by;  // the two steps in pixels
    int weight;
};

// Up, then clockwise in steps of about 22.5 degrees.
constexpr Direction kDirections[16] = {
    {0, -1, 0, -1, 512}, {0, -1, 1, -1, 572},  {1, -1, 1, -1, 724},   {1, 0, 1, -1, 572},
    {1, 0, 1, 0, 512},   {1, 0, 1, 1, 572},    {1, 1, 1, 1, 724},     {0, 1, 1, 1, 572},
    {0, 1, 0, 1, 512},   {0, 1, -1, 1, 572},   {-1, 1, -1, 1, 724},   {-1, 0, -1, 1, 572},
    {-1, 0, -1, 0, 512}, {-1, 0, -1, -1, 572}, {-1, -1, -1, -1, 724}, {0, -1, -1, -1, 572},
};

struct RingCase {
    double module;
    double blur;
    bool lightOnDark;
    double dark, light;
    int finder;  // 0 contrast, 1 long, 2 flat
};

TEST_F(DecoderTest, RayEdgeFindersMeasureRingsWithinOneSample) {
    const int size = 161, cx = 80, cy = 80;
    std::vector<RingCase> cases;
    for (const double module : {3.0, 4.5, 7.0, 11.0}) {
        for (const double blur : {0.0, 2.5}) {
            for (const bool inverse : {false, true}) {
                for (int finder = 0; finder < 3; ++finder) cases.push_back({module, blur, inverse, 30, 220, finder});
            }
        }
    }
    // The flat finder's other use: dark, low-contrast images.
    for (const bool inverse : {false, true}) cases.push_back({5.0, 2.0, inverse, 5, 45, 2});
    int (*const finders[])(AZT_RAY *) = {vexo::Loc_RayEdgeContrast, vexo::Loc_RayEdgeLong, vexo::Loc_RayEdgeFlat};
    for (const RingCase &c : cases) {
        GreyImage img(size, size);
        img.Paint([&](int x, int y) {
            const double g = vexo_test::RingGrey(x, y, cx, cy, c.module, c.blur, c.dark, c.light);
            return c.lightOnDark ? 255 - g : g;
        });
        const int level = static_cast<int>(c.dark + c.light) / 2;
        for (int k = 0; k < 16; ++k) {
            const Direction &d = kDirections[k];
            uint8_t buffer[256];
            AZT_RAY ray{};
            ray.samples = buffer;
            ray.start = &img.At(cx, cy);
            ray.length = 70;
            ray.strideA = static_cast<int16_t>(d.ay * size + d.ax);
            ray.strideB = static_cast<int16_t>(d.by * size + d.bx);
            ray.weight = static_cast<uint16_t>(d.weight);
            ray.level = static_cast<int16_t>(level);
            ray.firstLimit = ray.secondLimit = 65535;
            if (c.lightOnDark) {
                vexo::Loc_RaySampleStairsInverted(&ray);
            } else {
                vexo::Loc_RaySampleStairs(&ray);
            }
            const double step = d.weight / 512.0;
            const double sample16 = 16 * step;  // one sample, in 1/16 pixel
            const std::string what = "module " + std::to_string(c.module) + " blur " + std::to_string(c.blur) +
                                     (c.lightOnDark ? " light on dark" : " dark on light") + " finder " +
                                     std::to_string(c.finder) + " ray " + std::to_string(k);
            ASSERT_EQ(finders[c.finder](&ray), 1) << what;
            const i32 edges[5] = {ray.e1, ray.e2, ray.e3, ray.e4, ray.e5};
            for (int j = 0; j < 5; ++j) {
                const double analytic = 16 * (j + 1.5) * c.module;
                EXPECT_LE(std::fabs(edges[j] - analytic), sample16) << what << " edge " << j + 1;
            }
            // Light-run centres at 3 and 5 modules, in 1/8 sample: the long finder takes the
            // midpoint of the edges, the others average it with the brightest sample, which
            // may lie anywhere in a flat run (up to half a module off, so a quarter overall).
            const double slack = 8 + (c.finder == 1 ? 0 : 8 * c.module / 4 / step);
            EXPECT_LE(std::fabs(ray.c2 - 8 * 3 * c.module / step), slack) << what;
            EXPECT_LE(std::fabs(ray.c3 - 8 * 5 * c.module / step), slack) << what;
        }
    }
}

}  // namespace
