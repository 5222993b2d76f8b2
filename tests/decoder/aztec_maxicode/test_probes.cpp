// Point samplers, edge probes, climbs, neighbour steps, run centring and the small sort.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "aztec_maxicode/azt_probes.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::i32;
using vexo_test::DecoderTest;
using vexo_test::GreyImage;

// ---------------------------------------------------------------------------------------
// Point samplers

// Catmull-Rom in doubles, exact for fractions in 1/16.
double RefCubic(double t, double p0, double p1, double p2, double p3) {
    const double w0 = (-t * t * t + 2 * t * t - t) / 2;
    const double w1 = (3 * t * t * t - 5 * t * t + 2) / 2;
    const double w2 = (-3 * t * t * t + 4 * t * t + t) / 2;
    const double w3 = (t * t * t - t * t) / 2;
    return w0 * p0 + w1 * p1 + w2 * p2 + w3 * p3;
}

int RefBicubic16(const GreyImage &img, int x16, int y16) {
    const int x = x16 >> 4, y = y16 >> 4;
    double rows[4];
    for (int j = 0; j < 4; ++j) {
        rows[j] = RefCubic((x16 & 15) / 16.0, img.At(x - 1, y - 1 + j), img.At(x, y - 1 + j), img.At(x + 1, y - 1 + j),
                           img.At(x + 2, y - 1 + j));
    }
    const double v = RefCubic((y16 & 15) / 16.0, rows[0], rows[1], rows[2], rows[3]) * 16;
    if (v < 0) return 0;
    const double r = std::floor(v + 0.5);
    return r > 4080 ? 4080 : static_cast<int>(r);
}

int RefBilinear16(const GreyImage &img, int x16, int y16) {
    const int x = x16 >> 4, y = y16 >> 4;
    const double fx = (x16 & 15) / 16.0, fy = (y16 & 15) / 16.0;
    const double v = (1 - fx) * (1 - fy) * img.At(x, y) + fx * (1 - fy) * img.At(x + 1, y) +
                     (1 - fx) * fy * img.At(x, y + 1) + fx * fy * img.At(x + 1, y + 1);
    return static_cast<int>(std::floor(v * 16 + 0.5));
}

TEST_F(DecoderTest, PointSamplersInterpolateInSixteenths) {
    const uint32_t seed = 20240611;
    GreyImage img(23, 17);
    img.Randomise(seed);
    std::mt19937 rng(seed);
    for (int k = 0; k < 2000; ++k) {
        const i32 p[2] = {static_cast<i32>(rng() % (23 * 16)), static_cast<i32>(rng() % (17 * 16))};
        const int x = p[0] >> 4, y = p[1] >> 4;
        const bool bilinearInside = x + 1 < 23 && y + 1 < 17;
        const bool bicubicInside = x >= 1 && y >= 1 && x + 2 < 23 && y + 2 < 17;
        EXPECT_EQ(vexo::Azt_SampleBilinear16(p), bilinearInside ? RefBilinear16(img, p[0], p[1]) : 0)
            << "seed " << seed << " at " << p[0] << "," << p[1];
        EXPECT_EQ(vexo::Azt_SampleBicubic16(p), bicubicInside ? RefBicubic16(img, p[0], p[1]) : 0)
            << "seed " << seed << " at " << p[0] << "," << p[1];
    }
}

struct SamplerCase {
    const char *what;
    uint8_t row[6];  // pixels of the middle rows, x = 0..5
    i32 x16;
    int bicubic;
};

TEST_F(DecoderTest, BicubicClampsOvershootAndUndershoot) {
    const SamplerCase cases[] = {
        // Weights at fx = 8 are -512, 4608, 4608, -512 (/ 8192): two bright pixels between
        // black ones overshoot to 255 x 9216 / 8192 x 16 and clamp.
        {"bright pixels next to black ones", {0, 0, 255, 255, 0, 0}, 2 * 16 + 8, 4080},
        {"black pixels next to bright ones", {255, 255, 0, 0, 255, 255}, 2 * 16 + 8, 0},
        {"a whole pixel is its grey x 16", {9, 80, 200, 3, 70, 1}, 3 * 16, 3 * 16},
        {"a flat row", {77, 77, 77, 77, 77, 77}, 2 * 16 + 5, 77 * 16},
    };
    for (const SamplerCase &c : cases) {
        GreyImage img(6, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) img.At(x, y) = c.row[x];
        const i32 p[2] = {c.x16, 2 * 16 + 3};
        EXPECT_EQ(vexo::Azt_SampleBicubic16(p), c.bicubic) << c.what;
    }
}

// ---------------------------------------------------------------------------------------
// Neighbour steps

struct ProbeStepCase {
    const char *what;
    uint8_t grid[3][3];  // rows up, middle, down around the point
    int dx, dy;          // expected move
    int grey;
};

TEST_F(DecoderTest, StepToDarkestNeighbourPicksInItsOrder) {
    const ProbeStepCase cases[] = {
        {"up darkest, up-left darker than the centre", {{50, 10, 90}, {90, 60, 90}, {90, 90, 90}}, 0, -1, 10},
        {"all equal: the centre stays", {{40, 40, 40}, {40, 40, 40}, {40, 40, 40}}, 0, 0, 40},
        {"a neighbour equal to the centre does not win", {{70, 30, 70}, {70, 30, 70}, {70, 70, 70}}, 0, 0, 30},
        {"equal darkest neighbours: the earlier one", {{90, 90, 90}, {90, 90, 90}, {5, 90, 5}}, -1, 1, 5},
        {"down-right", {{90, 90, 90}, {90, 90, 90}, {90, 90, 1}}, 1, 1, 1},
    };
    for (const ProbeStepCase &c : cases) {
        GreyImage img(7, 6, 128);
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) img.At(2 + i, 2 + j) = c.grid[j][i];
        i32 p[2] = {3, 3};
        EXPECT_EQ(vexo::Azt_StepToDarkestNeighbour(p), c.grey) << c.what;
        EXPECT_EQ(p[0], 3 + c.dx) << c.what;
        EXPECT_EQ(p[1], 3 + c.dy) << c.what;
    }
}

TEST_F(DecoderTest, StepToBrightestNeighbourPicksInReadingOrder) {
    const ProbeStepCase cases[] = {
        {"all equal: up-left", {{40, 40, 40}, {40, 40, 40}, {40, 40, 40}}, -1, -1, 40},
        {"the centre beats a later equal neighbour", {{10, 10, 10}, {10, 99, 10}, {10, 10, 99}}, 0, 0, 99},
        {"black up-left leaves the choice with the centre", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0, 0, 0},
        {"black up-left, one bright pixel wins", {{0, 0, 0}, {0, 0, 7}, {0, 0, 0}}, 1, 0, 7},
        {"equal brightest: the earlier one", {{1, 200, 1}, {1, 1, 1}, {200, 1, 1}}, 0, -1, 200},
    };
    for (const ProbeStepCase &c : cases) {
        GreyImage img(7, 6, 128);
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) img.At(2 + i, 2 + j) = c.grid[j][i];
        i32 p[2] = {3, 3};
        EXPECT_EQ(vexo::Azt_StepToBrightestNeighbour(p), c.grey) << c.what;
        EXPECT_EQ(p[0], 3 + c.dx) << c.what;
        EXPECT_EQ(p[1], 3 + c.dy) << c.what;
    }
}

TEST_F(DecoderTest, NeighbourStepsStayOnTheBorderAndOutside) {
    GreyImage img(5, 4);
    img.Randomise(7);
    img.At(1, 1) = 0;  // darkest and brightest pixels next to the border points below
    img.At(3, 2) = 255;
    const i32 border[][2] = {{0, 0}, {2, 0}, {4, 1}, {2, 3}, {0, 2}, {4, 3}};
    for (const auto &b : border) {
        i32 p[2] = {b[0], b[1]};
        EXPECT_EQ(vexo::Azt_StepToDarkestNeighbour(p), img.At(b[0], b[1]));
        EXPECT_EQ(vexo::Azt_StepToBrightestNeighbour(p), img.At(b[0], b[1]));
        EXPECT_EQ(p[0], b[0]);
        EXPECT_EQ(p[1], b[1]);
    }
    const i32 outside[][2] = {{-1, 2}, {5, 2}, {2, -1}, {2, 4}, {INT32_MIN, INT32_MAX}};
    for (const auto &o : outside) {
        i32 p[2] = {o[0], o[1]};
        EXPECT_EQ(vexo::Azt_StepToDarkestNeighbour(p), 255);
        EXPECT_EQ(vexo::Azt_StepToBrightestNeighbour(p), 0);
        EXPECT_EQ(p[0], o[0]);
        EXPECT_EQ(p[1], o[1]);
    }
}

// ---------------------------------------------------------------------------------------
// Run centring

struct CentreCase {
    const char *what;
    i32 x, y;
    int threshold, limit;
    int result;
    i32 ex, ey;
};

TEST_F(DecoderTest, CentreInDarkRunTable) {
    // 20 x 16 light image; dark block at columns 5..12, rows 3..8; dark column 2 from row 0 to
    // row 4; dark block at columns 15..19, rows 10..15 (touching the right and lower borders);
    // dark pixel (0, 13).
    GreyImage img(20, 16, 200);
    for (int y = 3; y <= 8; ++y)
        for (int x = 5; x <= 12; ++x) img.At(x, y) = 40;
    for (int y = 0; y <= 4; ++y) img.At(2, y) = 40;
    for (int y = 10; y < 16; ++y)
        for (int x = 15; x < 20; ++x) img.At(x, y) = 40;
    img.At(0, 13) = 40;
    const CentreCase cases[] = {
        {"a light pixel stays", 1, 12, 100, 50, 1, 1, 12},
        {"middle of the block", 6, 4, 100, 50, 1, 9, 6},
        {"vertical run at its limit", 6, 4, 100, 9, 1, 9, 6},
        {"horizontal run over the limit keeps the new row", 6, 4, 100, 8, 0, 6, 6},
        {"vertical run over the limit", 6, 4, 100, 6, 0, 6, 4},
        {"row 0 bounds the run untested", 2, 4, 100, 50, 1, 2, 3},
        {"a point on row 0 stays in its run", 2, 0, 100, 50, 1, 2, 2},
        {"a one-pixel run on column 0 keeps its point", 0, 13, 100, 50, 1, 0, 13},
        {"height and width bound the run", 16, 11, 100, 50, 1, 17, 13},
        {"a threshold at the dark grey leaves it light", 6, 4, 40, 50, 1, 6, 4},
        {"outside the image", 20, 4, 100, 50, 0, 20, 4},
        {"outside the image, negative", -1, -1, 65535, 65535, 0, -1, -1},
        {"threshold above every grey: the whole image is one run", 3, 3, 65535, 65535, 1, 10, 8},
    };
    for (const CentreCase &c : cases) {
        i32 p[2] = {c.x, c.y};
        EXPECT_EQ(vexo::Azt_CentreInDarkRun(p, static_cast<uint16_t>(c.threshold), static_cast<uint16_t>(c.limit)),
                  c.result)
            << c.what;
        EXPECT_EQ(p[0], c.ex) << c.what;
        EXPECT_EQ(p[1], c.ey) << c.what;
    }
    // The bright twin on the inverted image gives the same answers.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) img.At(x, y) = static_cast<uint8_t>(255 - img.At(x, y));
    for (const CentreCase &c : cases) {
        if (c.threshold > 255) continue;
        i32 p[2] = {c.x, c.y};
        EXPECT_EQ(
            vexo::Azt_CentreInBrightRun(p, static_cast<uint16_t>(255 - c.threshold), static_cast<uint16_t>(c.limit)),
            c.result)
            << c.what;
        EXPECT_EQ(p[0], c.ex) << c.what;
        EXPECT_EQ(p[1], c.ey) << c.what;
    }
}

TEST_F(DecoderTest, CentreInRunWithoutImageReadsNothing) {
    vexo::Pix_SetImagePointer(nullptr);
    vexo::Pix_SetImageSize(10, 10);
    i32 p[2] = {3, 3};
    EXPECT_EQ(vexo::Azt_CentreInDarkRun(p, 255, 10), 0);
    EXPECT_EQ(vexo::Azt_StepToDarkestNeighbour(p), 255);
    EXPECT_EQ(vexo::Azt_SampleBilinear16(p), 0);
    EXPECT_EQ(vexo::Azt_ProbeFallingEdges(p, 16, 0), 0.0f);
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[1], 3);
}

// ---------------------------------------------------------------------------------------
// Edge probes

// A horizontal profile repeated on every row of a 64 x 8 image.
GreyImage RowImage(const std::function<double(int)> &grey) {
    GreyImage img(64, 8);
    img.Paint([&](int x, int) { return grey(x); });
    return img;
}

struct ProbeCase {
    const char *what;
    std::function<double(int)> grey;
    bool falling;
    i32 x16;
    float a;
    float r;  // expected correction in 1/16 step
    i32 ex16;
};

TEST_F(DecoderTest, ProbesCentreThePointBetweenTheirEdges) {
    auto lightRun = [](int x) { return x >= 22 && x <= 31 ? 200.0 : 40.0; };
    auto darkRun = [](int x) { return x >= 22 && x <= 31 ? 40.0 : 200.0; };
    const ProbeCase cases[] = {
        // Edges 3.5 steps behind and 6.5 ahead: the middle is 1.5 steps (24/16) ahead.
        {"light run, falling edges", lightRun, true, 25 * 16, 16.0f, 24.0f, 25 * 16 + 24},
        {"dark run, rising edges", darkRun, false, 25 * 16, 16.0f, 24.0f, 25 * 16 + 24},
        {"stepping backwards", lightRun, true, 25 * 16, -16.0f, -24.0f, 25 * 16 + 24},
        {"already in the middle", lightRun, true, 26 * 16 + 8, 16.0f, 0.0f, 26 * 16 + 8},
        // Nothing falls behind the point, so only the edge ahead (5.5 steps) counts: the
        // point moves half way to it.
        {"no descent behind the point", [](int x) { return x <= 30 ? 200.0 : 50.0; }, true, 25 * 16, 16.0f, 44.0f,
         25 * 16 + 44},
        // Half-pixel steps: edges 5 steps behind and 15 ahead, the middle 5 steps ahead.
        {"half steps", lightRun, true, 24 * 16, 8.0f, 80.0f, 24 * 16 + 40},
    };
    for (const ProbeCase &c : cases) {
        GreyImage img = RowImage(c.grey);
        i32 p[2] = {c.x16, 3 * 16 + 5};
        const float r =
            c.falling ? vexo::Azt_ProbeFallingEdges(p, c.a, 0.0f) : vexo::Azt_ProbeRisingEdges(p, c.a, 0.0f);
        EXPECT_EQ(r, c.r) << c.what;
        EXPECT_EQ(p[0], c.ex16) << c.what;
        EXPECT_EQ(p[1], 3 * 16 + 5) << c.what;
    }
}

TEST_F(DecoderTest, ProbesFindTheMiddleOfBlurredRunsInAnyDirection) {
    // A light band 7 pixels wide across the image at an angle, blurred over 2.5 pixels, with
    // the point started up to 2.5 pixels off its middle line.
    const double nx = std::cos(0.4), ny = std::sin(0.4);  // band normal
    const double cx = 40.0, cy = 40.0, half = 3.5, blur = 2.5;
    auto grey = [&](double x, double y) {
        const double d = std::fabs((x - cx) * nx + (y - cy) * ny);
        const double t = std::clamp(0.5 + (half - d) / blur, 0.0, 1.0);
        return 30 + 190 * t;
    };
    for (int polarity = 0; polarity < 2; ++polarity) {
        GreyImage img(80, 80);
        img.Paint([&](int x, int y) { return polarity == 0 ? grey(x, y) : 255 - grey(x, y); });
        for (double off = -2.5; off <= 2.5; off += 0.5) {
            for (double along = -6; along <= 6; along += 3) {
                const double px = cx + off * nx - along * ny, py = cy + off * ny + along * nx;
                i32 p[2] = {static_cast<i32>(std::lround(px * 16)), static_cast<i32>(std::lround(py * 16))};
                const float a = static_cast<float>(nx * 10), b = static_cast<float>(ny * 10);
                if (polarity == 0) {
                    vexo::Azt_ProbeFallingEdges(p, a, b);
                } else {
                    vexo::Azt_ProbeRisingEdges(p, a, b);
                }
                const double dist = (p[0] / 16.0 - cx) * nx + (p[1] / 16.0 - cy) * ny;
                EXPECT_LE(std::fabs(dist), 0.5) << "polarity " << polarity << " offset " << off << " along " << along;
            }
        }
    }
}

TEST_F(DecoderTest, ProbesLeaveThePointWhenASampleLeavesTheImage) {
    GreyImage img = RowImage([](int x) { return x >= 22 && x <= 31 ? 200.0 : 40.0; });
    struct {
        i32 x16, y16;
        float a, b;
    } cases[] = {
        {25 * 16, 3 * 16, 2 * 16.0f, 0.0f},      // 23 steps of two pixels reach x = 71
        {25 * 16, 3 * 16, 0.0f, 1.0f},           // 23/16 pixel down from row 3 stays, but ...
        {25 * 16, 6 * 16 + 8, 0.0f, 1.0f},       // ... from row 6.5 it reaches row 7, the last
        {63 * 16, 3 * 16, 1.0f, 0.0f},           // the last column has no right neighbour
        {25 * 16, 3 * 16, 1e30f, 0.0f},          // a step that is no int
        {25 * 16, 3 * 16, std::nanf(""), 0.0f},  // nor is this
    };
    const bool moves[] = {false, true, false, false, false, false};
    for (size_t k = 0; k < sizeof(cases) / sizeof(cases[0]); ++k) {
        const auto &c = cases[k];
        for (int falling = 0; falling < 2; ++falling) {
            i32 p[2] = {c.x16, c.y16};
            const float r =
                falling ? vexo::Azt_ProbeFallingEdges(p, c.a, c.b) : vexo::Azt_ProbeRisingEdges(p, c.a, c.b);
            if (!moves[k]) {
                EXPECT_EQ(r, 0.0f) << k;
                EXPECT_EQ(p[0], c.x16) << k;
                EXPECT_EQ(p[1], c.y16) << k;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Climbs

struct ClimbCase {
    const char *what;
    std::function<double(int)> grey;
    bool brightest;
    i32 x16;
    float a;
    i32 ex16;
};

TEST_F(DecoderTest, ClimbsStopOnTheNearestExtreme) {
    auto ridge = [](int x) { return 60 + 150 * std::exp(-(x - 30) * (x - 30) / 6.0); };
    auto valley = [&](int x) { return 255 - ridge(x); };
    auto ramp = [](int x) { return 10.0 + 3 * x; };
    auto peak = [](int x) { return x <= 30 ? 60.0 + 4 * x : 180.0 - 4 * (x - 30); };
    const ClimbCase cases[] = {
        {"ridge ahead", ridge, true, 25 * 16, 16.0f, 30 * 16},
        {"ridge behind", ridge, true, 34 * 16, 16.0f, 30 * 16},
        {"ridge ahead, stepping backwards", ridge, true, 25 * 16, -16.0f, 30 * 16},
        {"on the ridge", ridge, true, 30 * 16, 16.0f, 30 * 16},
        {"valley ahead", valley, false, 26 * 16, 16.0f, 30 * 16},
        {"valley behind", valley, false, 41 * 16, 16.0f, 30 * 16},
        {"half-pixel steps", ridge, true, 26 * 16, 8.0f, 30 * 16},
        {"no extreme within 15 steps", ramp, true, 10 * 16, 16.0f, 10 * 16},
        {"the walk leaves the image", ramp, true, 50 * 16, 16.0f, 50 * 16},
        {"peak 13 steps away", peak, true, 17 * 16, 16.0f, 30 * 16},
        {"peak 14 steps away is out of reach", peak, true, 16 * 16, 16.0f, 16 * 16},
    };
    for (const ClimbCase &c : cases) {
        GreyImage img = RowImage(c.grey);
        i32 p[2] = {c.x16, 3 * 16};
        const float r = c.brightest ? vexo::Azt_ClimbToBrightest(p, c.a, 0.0f) : vexo::Azt_ClimbToDarkest(p, c.a, 0.0f);
        EXPECT_EQ(r, 0.0f) << c.what;
        EXPECT_EQ(p[0], c.ex16) << c.what;
        EXPECT_EQ(p[1], 3 * 16) << c.what;
    }
}

// ---------------------------------------------------------------------------------------
// Sorting

TEST_F(DecoderTest, SortIntsUsesTheSlotAfterTheArray) {
    struct {
        std::vector<int> in;  // n values, then the work slot, then a guard
        int n;
        std::vector<int> out;
    } cases[] = {
        {{5, 77, 99}, 0, {5, 77, 99}},
        {{5, 77, 99}, 1, {5, 77, 99}},
        {{9, 3, 77, 99}, 2, {3, 9, 0, 99}},
        {{4, -1, 7, -1, 0, 2, 9, 8, 123, 99}, 8, {-1, -1, 0, 2, 4, 7, 8, 9, 0, 99}},
        {{INT32_MAX, INT32_MIN, 0, -5, 99}, 3, {INT32_MIN, 0, INT32_MAX, 0, 99}},
        {{1, 2, 3, 4, 5, 99}, 4, {1, 2, 3, 4, 0, 99}},
    };
    for (auto &c : cases) {
        vexo::Azt_SortInts(c.in.data(), c.n);
        EXPECT_EQ(c.in, c.out) << "n " << c.n;
    }
    vexo::Azt_SortInts(nullptr, 5);
}

TEST_F(DecoderTest, SortIntsMatchesAStableSortOnRandomArrays) {
    const uint32_t seed = 99173;
    std::mt19937 rng(seed);
    for (int k = 0; k < 200; ++k) {
        const int n = static_cast<int>(rng() % 40);
        std::vector<int> v(n + 1);
        for (int i = 0; i < n; ++i) v[i] = static_cast<int>(rng() % 9) - 4;
        v[n] = 12345;
        std::vector<int> want(v.begin(), v.begin() + n);
        std::stable_sort(want.begin(), want.end());
        vexo::Azt_SortInts(v.data(), n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(v[i], want[i]) << "seed " << seed << " case " << k;
        ASSERT_EQ(v[n], n <= 1 ? 12345 : 0) << "seed " << seed << " case " << k;
    }
}

}  // namespace
