// Scaling frames down to the decoder's frame limit.
#include <gtest/gtest.h>

#include <numeric>

#include "support/testkit.h"

namespace testkit {
namespace {

TEST(SizeToFit, KeepsFramesThatFitAndShrinksTheRestToTheLargestFittingSize) {
    struct Case {
        int w, h, fitW, fitH;
    };
    static const Case kCases[] = {
        {752, 480, 752, 480},       {1280, 960, 1280, 960},   {1280, 1, 1280, 1},     {1, 1280, 1, 1280},
        {1281, 10, 1280, 9},        {10, 1281, 9, 1280},      {1280, 961, 1279, 960}, {1600, 1200, 1280, 960},
        {1470, 347, 1280, 302},     {1445, 930, 1280, 823},   {1710, 180, 1280, 134}, {2000, 2000, 1108, 1108},
        {100000, 1, 1280, 1},       {1108, 1109, 1108, 1109}, {1109, 1109, 1108, 1108}, {1, 1, 1, 1},
    };
    for (const Case &c : kCases) {
        int w = 0, h = 0;
        SizeToFit(c.w, c.h, &w, &h);
        EXPECT_EQ(w, c.fitW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.fitH) << c.w << "x" << c.h;
        EXPECT_TRUE(FitsFrameLimit(w, h)) << c.w << "x" << c.h;
    }
    EXPECT_TRUE(FitsFrameLimit(1280, 960));
    EXPECT_FALSE(FitsFrameLimit(1281, 100));
    EXPECT_FALSE(FitsFrameLimit(1109, 1109));  // 1,229,881 pixels
    EXPECT_FALSE(FitsFrameLimit(0, 10));
}

TEST(ScaleDown, AveragesAreasAndKeepsTheMean) {
    // A checkerboard halved becomes its mean grey; flat areas stay exact.
    Frame checker(8, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) checker.At(x, y) = ((x + y) & 1) ? 200 : 100;
    }
    const Frame half = ScaleDown(checker, 4, 3);
    for (uint8_t v : half.pixels) EXPECT_EQ(v, 150);

    // A 3:2 reduction weights the shared source pixel half to each side.
    Frame ramp(3, 1);
    ramp.pixels = {0, 90, 180};
    const Frame two = ScaleDown(ramp, 2, 1);
    EXPECT_EQ(two.pixels[0], 30);   // (1 * 0 + 0.5 * 90) / 1.5
    EXPECT_EQ(two.pixels[1], 150);  // (0.5 * 90 + 1 * 180) / 1.5

    Frame big(1600, 1200);
    for (size_t i = 0; i < big.pixels.size(); ++i) big.pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    bool scaled = false;
    const Frame fit = FitToFrameLimit(big, &scaled);
    EXPECT_TRUE(scaled);
    EXPECT_EQ(fit.width, 1280);
    EXPECT_EQ(fit.height, 960);
    auto mean = [](const Frame &f) {
        return std::accumulate(f.pixels.begin(), f.pixels.end(), 0.0) / static_cast<double>(f.pixels.size());
    };
    EXPECT_NEAR(mean(fit), mean(big), 0.5);

    const Frame small(752, 480, 77);
    const Frame same = FitToFrameLimit(small, &scaled);
    EXPECT_FALSE(scaled);
    EXPECT_EQ(same.pixels, small.pixels);
}

}  // namespace
}  // namespace testkit
