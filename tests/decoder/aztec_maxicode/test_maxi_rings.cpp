// MaxiCode ring measurement: edge parameters, the threshold run, the ring test along a ray
// with its module positions, the ring pitch, the dark centroid and the equilateral apex.
#include <gtest/gtest.h>

#include <vector>

#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "grey_image.h"
#include "maxi_finder_util.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;
using vexo::u8;
using vexo_test::GreyImage;

class MaxiRingsTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Test_ResetMaxiStatics();
    }
};

struct EdgeCase {
    const char *what;
    std::vector<u8> run;
    i32 step, ratio;
};

TEST_F(MaxiRingsTest, EdgeParameters) {
    std::vector<u8> falls30;
    for (int k = 0; k < 20; ++k) falls30.insert(falls30.end(), {200, 170});
    std::vector<u8> falls180;
    for (int k = 0; k < 20; ++k) falls180.insert(falls180.end(), {200, 110, 20});
    const EdgeCase cases[] = {
        {"no descent above 6", {100, 96, 100, 94, 100, 95, 100}, 6, 102},
        // (30 x 1024 + 100) / 200 = 154; 0.45 x 30 + 0.5 -> 14, 0.45 x 154 + 0.5 -> 69, raised.
        {"descents of 30 from 200", falls30, 14, 102},
        // One descent of 180 over two samples: ratio 922 -> 415, step 81.
        {"descents of 180 from 200", falls180, 81, 415},
        {"a drop under 10 % of its top", {250, 230, 250, 230}, 6, 102},
        {"empty", {}, 6, 102},
    };
    for (const EdgeCase &c : cases) {
        i32 step = -1, ratio = -1;
        i32 drops[256], ratios[256];
        const i32 n = static_cast<i32>(c.run.size());
        vexo::Maxi_EstimateEdgeParams(c.run.data(), n, n, 6, 102, &step, &ratio, drops, ratios, 256);
        EXPECT_EQ(step, c.step) << c.what;
        EXPECT_EQ(ratio, c.ratio) << c.what;
    }
    // The sample after the run closes a descent when it may be read, and only then.
    const u8 tail[] = {200, 100};
    i32 step = 0, ratio = 0, drops[4], ratios[4];
    vexo::Maxi_EstimateEdgeParams(tail, 1, 2, 6, 102, &step, &ratio, drops, ratios, 4);
    EXPECT_EQ(step, 45);
    vexo::Maxi_EstimateEdgeParams(tail, 1, 1, 6, 102, &step, &ratio, drops, ratios, 4);
    EXPECT_EQ(step, 6);
    // The capacity bounds the kept descents.
    vexo::Maxi_EstimateEdgeParams(falls180.data(), 60, 60, 6, 102, &step, &ratio, drops, ratios, 1);
    EXPECT_EQ(step, 81);
}

TEST_F(MaxiRingsTest, ThresholdRunContinuesOnTheNextRowAndStopsAtTheImageEnd) {
    GreyImage img(40, 10, 200);
    img.At(0, 5) = 0;  // the first pixel of the row below the centre's
    vexo::MAXI_BULLSEYE c{35, 4, 4, 0, 1, 0};  // run from x 29, 12 pixels: 29..39 and (0, 5)
    i32 step = 0, ratio = 0;
    vexo::Maxi_MeasureThreshold(&c, 4, &step, &ratio);
    EXPECT_EQ(vexo::g_maxiGrid.threshold, 100);
    EXPECT_EQ(step, 90);  // the one descent 200 -> 0, read across the row end
    // On the last row the run ends with the image (an exact heap block under ASan), and its
    // last pixel closes the descent 200, 120, 50.
    vexo::MAXI_BULLSEYE last{35, 9, 4, 0, 1, 0};
    img.At(38, 9) = 120;
    img.At(39, 9) = 50;
    vexo::Maxi_MeasureThreshold(&last, 4, &step, &ratio);
    EXPECT_EQ(vexo::g_maxiGrid.threshold, 125);
    EXPECT_EQ(step, 68);
    // A run of no pixels: 127 and the initial edge parameters.
    vexo::MAXI_BULLSEYE none{10, 4, 0, 0, 1, 0};
    vexo::Maxi_MeasureThreshold(&none, 0, &step, &ratio);
    EXPECT_EQ(vexo::g_maxiGrid.threshold, 127);
    EXPECT_EQ(step, 6);
    EXPECT_EQ(ratio, 102);
}

// Edges of a ray: dark rings d1..d3 with light rings l between, from F0.
struct Ray {
    std::vector<i32> falling, rising;
};
Ray Rings(i32 f0, std::vector<i32> dark, i32 light) {
    Ray r;
    i32 p = f0;
    for (i32 d : dark) {
        r.falling.push_back(p);
        r.rising.push_back(p + d);
        p += d + light;
    }
    return r;
}

i32 Analyse(const Ray &ray, i32 mode, std::vector<i32> *modules = nullptr, std::vector<float> *ratios = nullptr) {
    i32 m[2] = {-1, -1};
    float q[2] = {0, 0};
    vexo::MAXI_RAY_RINGS rec{ray.rising.data(), ray.falling.data(), static_cast<i32>(ray.rising.size()),
                             static_cast<i32>(ray.falling.size()), m, 0, q, 2, mode, 0, 0};
    const i32 pitch = vexo::Maxi_AnalyseRayRings(&rec);
    if (modules != nullptr) modules->assign(m, m + rec.moduleCount);
    if (ratios != nullptr) ratios->assign(q, q + rec.moduleCount);
    return pitch;
}

TEST_F(MaxiRingsTest, RingTestDarkWidths) {
    EXPECT_EQ(Analyse(Rings(0, {10, 10, 16}, 12), 0), 0);  // 16 > 1.5 x 10
    // 25 against 16 passes at 1.6: span 17 + 12 + 25 + 12 + 16 = 82, pitch (82 + 2) / 5.
    EXPECT_EQ(Analyse(Rings(0, {17, 25, 16}, 12), 0), 16);
    EXPECT_EQ(Analyse(Rings(0, {16, 25, 17}, 12), 0), 0);  // the first against the third stays at 1.5
    EXPECT_EQ(Analyse(Rings(0, {80, 80}, 80), 0), 0);       // two rings
}

// Mode 1 on rings of 80 sixteenths from F0 = 0: pitch 80, light mean 80; a fourth dark run
// from F3 of the given width.
i32 ModeOne(i32 gap, i32 run, std::vector<i32> *modules, std::vector<float> *ratios = nullptr) {
    Ray r = Rings(0, {80, 80, 80}, 80);
    r.falling.push_back(r.rising[2] + gap);
    r.rising.push_back(r.falling[3] + run);
    return Analyse(r, 1, modules, ratios);
}

TEST_F(MaxiRingsTest, ModeOneModulePositions) {
    std::vector<i32> m;
    std::vector<float> q;
    ASSERT_EQ(ModeOne(120, 40, &m, &q), 80);  // a run of exactly pitch >> 1
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], 400 + 120 + 40 + 32);
    EXPECT_FLOAT_EQ(q[0], 592.0f / 80.0f);
    ASSERT_EQ(ModeOne(120, 39, &m), 80);
    EXPECT_TRUE(m.empty());
    ASSERT_EQ(ModeOne(120, 120, &m), 80);  // (pitch >> 1) + pitch: two, w apart
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1], m[0] + 80);
    ASSERT_EQ(ModeOne(120, 119, &m), 80);
    EXPECT_EQ(m.size(), 1u);
    ASSERT_EQ(ModeOne(120, 400, &m), 80);  // the limit of 2
    EXPECT_EQ(m.size(), 2u);
    // The first module 7 pitches out: (400 + 88 + 72) / 80 = 7; one sixteenth less rejects.
    EXPECT_EQ(ModeOne(88, 40, &m), 80);
    EXPECT_EQ(ModeOne(87, 40, &m), 0);
    // The light gap between 0.9 u and 2.2 u: 72 .. 176.
    EXPECT_EQ(ModeOne(72, 10, &m), 80);
    EXPECT_EQ(ModeOne(71, 10, &m), 0);
    EXPECT_EQ(ModeOne(176, 10, &m), 80);
    EXPECT_EQ(ModeOne(177, 10, &m), 0);
    // Three edge pairs: no fourth falling edge fails mode 1, passes mode 0.
    const Ray three = Rings(0, {80, 80, 80}, 80);
    EXPECT_EQ(Analyse(three, 1), 0);
    EXPECT_EQ(Analyse(three, 0), 80);
}

TEST_F(MaxiRingsTest, RingPitchOfASyntheticBullseye) {
    // u = 8: pitch 128 sixteenths on both rays.
    GreyImage img(300, 200);
    maxitest::PaintBullseyes(img, {{150.5, 100.5, 8}});
    img.Install();
    vexo::MAXI_BULLSEYE c{150, 100, 38, 0, 1, 0};
    vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
    EXPECT_EQ(vexo::g_maxiGrid.threshold, 125);
    EXPECT_NEAR(vexo::Maxi_MeasureRingPitch(&c, c.radius), 128, 4);
    // The right ray would end at x = width: the left ray's pitch alone.
    GreyImage edge(200, 200);
    maxitest::PaintBullseyes(edge, {{150.5, 100.5, 8}});
    edge.Install();
    const GEO_POINT from{150, 100}, left{150 - 95, 100};
    const i32 leftPitch = vexo::Maxi_MeasureRay(&from, &left, 0, nullptr, nullptr, 0, 0);
    EXPECT_NEAR(leftPitch, 128, 4);
    EXPECT_EQ(vexo::Maxi_MeasureRingPitch(&c, c.radius), leftPitch);
    // Centres on the border rows and columns give 0.
    for (const auto &[x, y] : {std::pair{0, 100}, std::pair{199, 100}, std::pair{150, 0}, std::pair{150, 199}}) {
        vexo::MAXI_BULLSEYE b{x, y, 38, 0, 1, 0};
        EXPECT_EQ(vexo::Maxi_MeasureRingPitch(&b, b.radius), 0) << x << ", " << y;
    }
}

TEST_F(MaxiRingsTest, EquilateralApex) {
    const GEO_POINT outer{1892, 1267}, inner{1804, 1267};
    GEO_POINT apex{};
    vexo::Maxi_EquilateralApex(&outer, &inner, &apex);
    EXPECT_EQ(apex.x, 1848);
    EXPECT_EQ(apex.y, 1343);
    // Points in 1/16 pixel across a 1280-pixel frame.
    const GEO_POINT a{0, 0}, b{20464, 15344};
    vexo::Maxi_EquilateralApex(&a, &b, &apex);
    EXPECT_EQ(apex.x, static_cast<i32>((15344LL * 86602 + 20464LL * 50000) / 100000));
    EXPECT_EQ(apex.y, static_cast<i32>((-20464LL * 86602 + 15344LL * 50000) / 100000));
}

TEST_F(MaxiRingsTest, DarkCentroid) {
    GreyImage img(40, 40, 220);
    img.Install();
    vexo::g_maxiGrid.threshold = 125;
    const GEO_POINT p{20 * 16 + 8, 20 * 16 + 8};
    GEO_POINT out{};
    EXPECT_EQ(vexo::Maxi_DarkCentroid(&p, 48, &out), 1);  // light with light neighbours
    EXPECT_EQ(out.x, p.x);
    EXPECT_EQ(out.y, p.y);
    // Dark pixels right of a light p are taken by the walk that starts beside it.
    img.At(21, 20) = 40;
    img.At(22, 20) = 40;
    EXPECT_EQ(vexo::Maxi_DarkCentroid(&p, 48, &out), 1);
    EXPECT_EQ(out.x, p.x + 24);
    EXPECT_EQ(out.y, p.y);
    // A dark 3 x 3 module around (25, 10): the point moves onto its centre.
    for (int y = 9; y <= 11; ++y)
        for (int x = 24; x <= 26; ++x) img.At(x, y) = 30;
    const GEO_POINT q{24 * 16 + 8, 10 * 16 + 8};
    EXPECT_EQ(vexo::Maxi_DarkCentroid(&q, 48, &out), 1);
    EXPECT_NEAR(out.x, 25 * 16 + 8, 8);
    EXPECT_NEAR(out.y, 10 * 16 + 8, 8);
    // Too near the border: 0, the point kept.
    const GEO_POINT border{3 * 16, 20 * 16};
    out = GEO_POINT{-1, -1};
    EXPECT_EQ(vexo::Maxi_DarkCentroid(&border, 48, &out), 0);
    EXPECT_EQ(out.x, border.x);
    EXPECT_EQ(out.y, border.y);
}

}  // namespace
