// MaxiCode ring refinement and its small operations: rotation by the table angles, pixels
// at 1/16 pixel, the frame test, the parallel-edge fit and a side without module edges.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "aztec_maxicode/maxi_refine.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;
using vexo_test::GreyImage;

class MaxiRefineTest : public vexo_test::DecoderTest {};

TEST_F(MaxiRefineTest, RotationByTableAngles) {
    const GEO_POINT p{1600, 800}, c{800, 800};
    GEO_POINT out{};
    vexo::Maxi_RotateAboutCentre(&p, &c, &out, 10);
    EXPECT_EQ(out.x, 1599);
    EXPECT_EQ(out.y, 808);
    vexo::Maxi_RotateAboutCentre(&p, &c, &out, 9);
    EXPECT_EQ(out.x, 1599);
    EXPECT_EQ(out.y, 792);
    // The tables rebuilt from their angles: a point 100,000 from the centre lands on them.
    for (int k = 0; k < vexo::kMaxiRotations; ++k) {
        const double a = (k < 10 ? k - 10 : k - 9) * 0.01;
        const GEO_POINT far{100000, 0}, origin{0, 0};
        vexo::Maxi_RotateAboutCentre(&far, &origin, &out, k);
        EXPECT_EQ(out.x, std::lround(std::cos(a) * 100000)) << k;
        EXPECT_EQ(out.y, std::lround(std::sin(a) * 100000)) << k;
    }
    // Points beyond 1,342 pixels (turned past a 1280-pixel frame): sums beyond 32 bits.
    const GEO_POINT big{30000, 25000}, centre{10000, 8000};
    vexo::Maxi_RotateAboutCentre(&big, &centre, &out, 19);
    EXPECT_EQ(out.x, static_cast<i32>((10000LL * 100000 + 20000LL * 99500 - 17000LL * 9983) / 100000));
    EXPECT_EQ(out.y, static_cast<i32>((8000LL * 100000 + 17000LL * 99500 + 20000LL * 9983) / 100000));
}

TEST_F(MaxiRefineTest, PixelsAndFrame) {
    GreyImage img(40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) img.At(x, y) = static_cast<uint8_t>(x + 40 * (y % 5));
    img.Install();
    const GEO_POINT a{63, 63}, b{64, 64}, right{(40 - 3) * 16, 100}, lastIn{(40 - 4) * 16 + 15, 100},
        bottom{100, (30 - 3) * 16};
    EXPECT_EQ(vexo::Maxi_PixelAt16(&a), 255);
    EXPECT_EQ(vexo::Maxi_PixelAt16(&b), img.At(4, 4));
    EXPECT_EQ(vexo::Maxi_PixelAt16(&right), 255);
    EXPECT_EQ(vexo::Maxi_PixelAt16(&lastIn), img.At(36, 6));
    EXPECT_EQ(vexo::Maxi_PixelAt16(&bottom), 255);
    const GEO_POINT in0{0, 0}, inEnd{39 * 16, 29 * 16}, outX{-1, 0}, outY{0, -1}, pastX{39 * 16 + 1, 0},
        pastY{0, 29 * 16 + 1};
    EXPECT_EQ(vexo::Maxi_PointInFrame16(&in0), 1);
    EXPECT_EQ(vexo::Maxi_PointInFrame16(&inEnd), 1);
    for (const GEO_POINT &p : {outX, outY, pastX, pastY}) EXPECT_EQ(vexo::Maxi_PointInFrame16(&p), 0) << p.x << ", " << p.y;
}

std::vector<GEO_POINT> Line(double slope, double offset, int from, int to) {
    std::vector<GEO_POINT> p;
    for (int u = from; u <= to; ++u) p.push_back({u, static_cast<i32>(std::lround(slope * u + offset))});
    return p;
}

TEST_F(MaxiRefineTest, FitParallelEdges) {
    std::vector<GEO_POINT> a = Line(0.25, 10, 0, 40), b = Line(0.25, 20, 0, 40);
    vexo::LINE_FIT out{};
    // 40 pixels of span: a side of up to 40 x 24 sixteenths passes, one more fails.
    ASSERT_EQ(vexo::Maxi_FitParallelEdges(40 * 24, a.data(), b.data(), 41, 41, &out), 1);
    EXPECT_NEAR(out.slope, 0.25, 0.01);
    EXPECT_NEAR(out.offset, 16 * 15.0, 4);
    EXPECT_EQ(vexo::Maxi_FitParallelEdges(41 * 24, a.data(), b.data(), 41, 41, &out), 0);
    // An outlier beyond 1.3 x the half gap is dropped and leaves the fit where it was.
    a.push_back({20, 40});
    ASSERT_EQ(vexo::Maxi_FitParallelEdges(40 * 24, a.data(), b.data(), 42, 41, &out), 1);
    EXPECT_NEAR(out.slope, 0.25, 0.01);
    EXPECT_NEAR(out.offset, 16 * 15.0, 4);
    // A list that empties answers 0: list B's two points lie 20 pixels either side of a line
    // 4 pixels from A's, so both are beyond 1.3 x the half gap.
    const GEO_POINT scattered[2] = {{10, 36}, {30, 2}};
    EXPECT_EQ(vexo::Maxi_FitParallelEdges(40 * 24, a.data(), scattered, 41, 2, &out), 0);
    // One column of points: degenerate.
    const GEO_POINT ca[2] = {{5, 1}, {5, 2}}, cb[2] = {{5, 8}, {5, 9}};
    EXPECT_EQ(vexo::Maxi_FitParallelEdges(0, ca, cb, 2, 2, &out), 0);
}

TEST_F(MaxiRefineTest, SideWithoutEdgesKeepsTheExtendedLine) {
    GreyImage img(120, 80, 200);
    img.Install();
    // Ring 6: the side is extended by 2 / 6 of its length at each end.
    vexo::LINE_FIT out{};
    // d = (640, 160), e = (213, 53): the line through (107, 427) and (1173, 693).
    vexo::Maxi_RefineRingSide({320, 480}, {960, 640}, 6, &out);
    EXPECT_EQ(out.alongX, 1);
    EXPECT_NEAR(out.slope, 266.0 / 1066, 1e-5);
    EXPECT_NEAR(out.offset, 427 - 107 * 266.0 / 1066, 0.01);
    vexo::Maxi_RefineRingSide({480, 320}, {640, 960}, 6, &out);
    EXPECT_EQ(out.alongX, 0);
    EXPECT_NEAR(out.slope, 266.0 / 1066, 1e-5);
    // Dark modules along a third of the side only: still the extended line.
    for (int x = 20; x < 35; ++x)
        for (int y = 28; y < 34; ++y) img.At(x, y) = 30;
    vexo::Maxi_RefineRingSide({320, 496}, {1600, 496}, 6, &out);
    EXPECT_EQ(out.alongX, 1);
    EXPECT_NEAR(out.slope, 0, 1e-4);
    EXPECT_NEAR(out.offset, 496, 0.1);
    // Parallel sides keep the ring's own point.
    const GEO_POINT flat[6] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    GEO_POINT refined[6];
    vexo::Maxi_RefineRing(flat, refined, 6);
    for (const GEO_POINT &p : refined) EXPECT_TRUE(p.x == 0 && p.y == 0);
}

}  // namespace
