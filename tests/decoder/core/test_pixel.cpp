// Pixel sampling in whole and 1/16 pixels for the three frame variants.
#include <random>

#include "core/pixel.h"
#include "decoder_test.h"

namespace {

using vexo::g_frame;
using vexo_test::DecoderTest;

struct Frame {
    Frame(int w, int h, uint32_t seed) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
        std::mt19937 rng(seed);
        for (uint8_t &p : pixels) p = static_cast<uint8_t>(rng());
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetImageSize(w, h);
    }
    int At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int width, height;
    std::vector<uint8_t> pixels;
};

// Plain reference: inside when the pixel and its right and lower neighbours exist.
bool RefInside(const Frame &f, int x16, int y16) {
    return x16 >= 0 && y16 >= 0 && (x16 >> 4) + 1 < f.width && (y16 >> 4) + 1 < f.height;
}
int RefBilinear(const Frame &f, int x16, int y16) {
    const int x = x16 >> 4, y = y16 >> 4, fx = x16 & 15, fy = y16 & 15;
    return (f.At(x, y) * (16 - fx) * (16 - fy) + f.At(x + 1, y) * fx * (16 - fy) + f.At(x, y + 1) * (16 - fx) * fy +
            f.At(x + 1, y + 1) * fx * fy) >>
           8;
}
int RefMean4(const Frame &f, int x16, int y16) {
    const int x = x16 >> 4, y = y16 >> 4;
    return (f.At(x, y) + f.At(x + 1, y) + f.At(x, y + 1) + f.At(x + 1, y + 1)) >> 2;
}

struct BoundCase {
    int width, height;
    int32_t x16, y16;
    bool inside;
};

TEST_F(DecoderTest, EachFrameVariantHasItsBounds) {
    const BoundCase cases[] = {
        {640, 480, 10223, 0, true},    {640, 480, 10224, 0, false},  {640, 480, -1, 0, false},
        {640, 480, 0, 7663, true},     {640, 480, 0, 7664, false},   {640, 480, 0, -16, false},
        {752, 480, 12015, 7663, true}, {752, 480, 12016, 0, false},  {752, 480, 0, 7664, false},
        {641, 480, 10239, 7663, true}, {641, 480, 10240, 0, false},  {641, 480, -1, 0, false},
        {641, 480, 0, 7664, false},    {1, 1, 0, 0, false},          {2, 2, 15, 15, true},
        {2, 2, 16, 0, false},          {0, 5, 0, 0, false},          {100, 1, 0, 0, false},
        {752, 481, 12015, 0, true},    {752, 481, 12016, 0, false},  {1280, 960, 20463, 15343, true},
        {640, 480, INT32_MIN, 0, false}, {640, 480, 0, INT32_MAX, false},
    };
    for (const BoundCase &c : cases) {
        Frame f(c.width, c.height, 1);
        const int expectDefault = -12345;
        const int32_t b = g_frame.sampleBilinear(c.x16, c.y16, expectDefault);
        const int32_t m = g_frame.sampleMean4(c.x16, c.y16, expectDefault);
        uint8_t many[2] = {0, 0};
        g_frame.sampleBilinearMany(&c.x16, &c.y16, 1, 0x5A, many);
        g_frame.sampleMean4Many(&c.x16, &c.y16, 1, 0x5A, many + 1);
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.x16 << "," << c.y16);
        if (c.inside) {
            EXPECT_EQ(b, RefBilinear(f, c.x16, c.y16));
            EXPECT_EQ(m, RefMean4(f, c.x16, c.y16));
            EXPECT_EQ(many[0], RefBilinear(f, c.x16, c.y16));
            EXPECT_EQ(many[1], RefMean4(f, c.x16, c.y16));
        } else {
            EXPECT_EQ(b, expectDefault);
            EXPECT_EQ(m, expectDefault);
            EXPECT_EQ(many[0], 0x5A);
            EXPECT_EQ(many[1], 0x5A);
        }
    }
}

TEST_F(DecoderTest, SamplingAgreesWithAPlainBilinearReference) {
    const uint32_t seed = 20261210;
    for (auto [w, h] : {std::pair{640, 480}, std::pair{752, 480}, std::pair{97, 61}}) {
        Frame f(w, h, seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int32_t> dx(-40, w * 16 + 40), dy(-40, h * 16 + 40);
        std::vector<int32_t> xs(5000), ys(5000);
        for (size_t i = 0; i < xs.size(); ++i) {
            xs[i] = dx(rng);
            ys[i] = dy(rng);
        }
        std::vector<uint8_t> bil(xs.size()), mean(xs.size());
        g_frame.sampleBilinearMany(xs.data(), ys.data(), static_cast<int32_t>(xs.size()), 7, bil.data());
        g_frame.sampleMean4Many(xs.data(), ys.data(), static_cast<int32_t>(xs.size()), 7, mean.data());
        for (size_t i = 0; i < xs.size(); ++i) {
            const bool in = RefInside(f, xs[i], ys[i]);
            ASSERT_EQ(g_frame.sampleBilinear(xs[i], ys[i], -1), in ? RefBilinear(f, xs[i], ys[i]) : -1)
                << w << "x" << h << " seed " << seed << " at " << xs[i] << "," << ys[i];
            ASSERT_EQ(bil[i], in ? RefBilinear(f, xs[i], ys[i]) : 7);
            ASSERT_EQ(mean[i], in ? RefMean4(f, xs[i], ys[i]) : 7);
        }
    }
}

TEST_F(DecoderTest, BilinearWeightsSumTo256) {
    Frame f(16, 16, 3);
    EXPECT_EQ(g_frame.sampleBilinear(5 * 16, 7 * 16, 0), f.At(5, 7)) << "whole pixel";
    const int sum = f.At(5, 7) + f.At(6, 7) + f.At(5, 8) + f.At(6, 8);
    EXPECT_EQ(g_frame.sampleBilinear(5 * 16 + 8, 7 * 16 + 8, 0), sum * 64 >> 8);
    std::fill(f.pixels.begin(), f.pixels.end(), 255);
    for (int fx = 0; fx < 16; ++fx)
        for (int fy = 0; fy < 16; ++fy) EXPECT_EQ(g_frame.sampleBilinear(16 + fx, 16 + fy, 0), 255);
}

TEST_F(DecoderTest, ManyWithNoPointsWritesNothing) {
    Frame f(640, 480, 4);
    uint8_t out[2] = {9, 9};
    const int32_t x = 0, y = 0;
    g_frame.sampleBilinearMany(&x, &y, 0, 1, out);
    g_frame.sampleMean4Many(&x, &y, -3, 1, out);
    EXPECT_EQ(out[0], 9);
}

TEST_F(DecoderTest, NegativeSizeIsStoredAsZeroInTheFrameOnly) {
    vexo::Pix_SetImageSize(-5, 480);
    EXPECT_EQ(g_frame.width, 0u);
    EXPECT_EQ(vexo::g_image.width, -5);
    EXPECT_EQ(vexo::Pix_GetImageWidth(), -5);
    EXPECT_EQ(g_frame.sampleBilinear(0, 0, 77), 77);
}

}  // namespace

#include <type_traits>

#include "toolkit/perspective.h"

// The frame's batch samplers serve as row callbacks of the grid walk.
static_assert(std::is_same_v<vexo::GRID_ROW_FN, vexo::SampleManyFn>);
