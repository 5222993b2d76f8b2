// The spot finder on drawn frames: bands of light dots, projection crosses and bright
// crosses, the utilities against references written from their formulas, and the focus
// area's calibrations with the built library in the root's library directory.
#include <gtest/gtest.h>
#include <math.h>

#include <random>
#include <string>
#include <vector>

#include "readercore.h"
#include "service_log.h"
#include "spotfind.h"
#include "spotfind_internal.h"

namespace {

struct Image {
    int width, height;
    std::vector<uint8_t> px;
    Image(int w, int h, uint8_t fill = 0) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
    void fill(int x0, int y0, int x1, int y1, uint8_t v = 255) {  // [x0, x1) x [y0, y1)
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x1); ++x) px[static_cast<size_t>(y) * width + x] = v;
    }
    uint8_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};

// A band of `thick` rows from row top across the whole width; step > 0 moves its top
// down one row every `step` columns.
Image band(int width, int top, int thick, int step = 0) {
    Image im(width, 480);
    for (int x = 0; x < width; ++x) {
        int t = top + (step > 0 ? x / step : 0);
        im.fill(x, t, x + 1, t + thick);
    }
    return im;
}

// An upright plus: arms of `thick` pixels, centred on (cx, cy), reaching `arm` from it.
void plus(Image &im, int cx, int cy, int arm, int thick) {
    im.fill(cx - arm, cy - thick / 2, cx + arm + 1, cy - thick / 2 + thick);
    im.fill(cx - thick / 2, cy - arm, cx - thick / 2 + thick, cy + arm + 1);
}

TEST(SpotBandTest, BandsAsATable) {
    struct Case {
        int width, top, thick, result, y;  // y: the line at both ends (-1: not checked)
    };
    const Case cases[] = {
        {752, 100, 40, 42, 119}, {640, 100, 40, 42, 119}, {752, 300, 40, 42, 319}, {640, 21, 40, 42, 40},
        {752, 200, 28, -1, -1},  {640, 200, 28, -1, -1},  {752, 200, 29, 31, 213}, {640, 200, 29, 31, 213},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " wide, band " + std::to_string(c.thick) + " from " +
                     std::to_string(c.top));
        Image im = band(c.width, c.top, c.thick);
        __ZPT_RECT__ rect = {0, 0, c.width - 1, im.height - 1};
        int line[4] = {-7, -7, -7, -7};
        EXPECT_EQ(Img_Light_Dots(im.px.data(), im.width, im.height, &rect, line), c.result);
        if (c.y >= 0) {
            EXPECT_EQ(line[0], 0);
            EXPECT_EQ(line[1], c.y);
            EXPECT_EQ(line[2], 479) << "the line ends at 479 whatever the width";
            EXPECT_EQ(line[3], c.y);
        }
    }
}

TEST(SpotBandTest, ATiltedBandGivesItsMiddleLine) {
    for (int width : {752, 640}) {
        SCOPED_TRACE(width);
        Image im = band(width, 150, 40, 100);
        __ZPT_RECT__ rect = {0, 0, width, 480};
        int line[4] = {};
        EXPECT_EQ(Img_Light_Dots(im.px.data(), width, 480, &rect, line), 42);
        // The band's middle: 150 + 19.5 at x 0, a row more every 100 columns.
        EXPECT_NEAR(line[1], 169.5, 2.0);
        EXPECT_NEAR(line[3], 169.5 + 4.79, 2.0);
        EXPECT_LT(line[1], 169.5) << "above the middle, truncated";
    }
}

TEST(SpotBandTest, RectanglesAndSizesStayInsideTheFrame) {
    Image im = band(752, 100, 40);
    int line[4] = {};
    // Rectangles outside the frame are clipped (an empty one thresholds at 0).
    const __ZPT_RECT__ rects[] = {{-50, -50, 5000, 5000}, {600, 800, 900, 700}, {0, 0, 0, 0}, {479, 751, 1000, 1000}};
    for (const __ZPT_RECT__ &r : rects) {
        __ZPT_RECT__ copy = r;
        EXPECT_EQ(Img_Light_Dots(im.px.data(), 752, 480, &copy, line), 42);
    }
    Image wide(1281, 480);
    __ZPT_RECT__ rect = {0, 0, 1281, 480};
    EXPECT_EQ(Img_Light_Dots(wide.px.data(), 1281, 480, &rect, line), -1) << "wider than the buffer is sized for";
    Image widest = band(1280, 100, 40);
    rect = {0, 0, 1280, 480};
    EXPECT_EQ(Img_Light_Dots(widest.px.data(), 1280, 480, &rect, line), 42) << "2,556 points";
    for (int w : {1, 2, 3}) {
        for (int h : {1, 2, 3}) {
            std::vector<uint8_t> tiny(static_cast<size_t>(w * h), 255);
            rect = {0, 0, w, h};
            int r = Img_Light_Dots(tiny.data(), w, h, &rect, line);
            EXPECT_EQ(r, -1) << w << " x " << h;
            int point[2] = {5, 5};
            EXPECT_EQ(Img_Detect_Cross(tiny.data(), w, h, point), 0);
            int outline[8];
            double angles[2];
            EXPECT_EQ(Img_Cross_light(tiny.data(), w, h, outline, angles), 0);
        }
    }
}

TEST(SpotCrossTest, ProjectionPeaks) {
    int point[2] = {-3, -4};
    Image black(640, 480);
    EXPECT_EQ(Img_Detect_Cross(black.px.data(), 640, 480, point), 0);
    EXPECT_EQ(point[0], -3);
    EXPECT_EQ(point[1], -4);

    struct Case {
        int width, height, row, column;
    };
    const Case cases[] = {{640, 480, 238, 318}, {752, 480, 100, 600}, {1280, 960, 900, 1200}, {640, 480, 2, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Image im(c.width, c.height);
        im.fill(0, c.row, c.width, c.row + 5);
        im.fill(c.column, 0, c.column + 5, c.height);
        ASSERT_EQ(Img_Detect_Cross(im.px.data(), c.width, c.height, point), 1);
        EXPECT_EQ(point[0], c.column + 2);
        EXPECT_EQ(point[1], c.row + 2);
    }
    // Row 0's own sum is the mean to beat, with index 0.
    Image top(640, 480);
    top.fill(0, 0, 640, 1);
    point[0] = point[1] = -1;
    EXPECT_EQ(Img_Detect_Cross(top.px.data(), 640, 480, point), 0);
    EXPECT_EQ(point[0], -1);
    // Beyond the supported size nothing is summed.
    for (auto [w, h] : {std::pair{1281, 960}, std::pair{1280, 961}}) {
        Image big(w, h);
        big.fill(0, 400, w, 405);
        big.fill(600, 0, 605, h);
        EXPECT_EQ(Img_Detect_Cross(big.px.data(), w, h, point), 0) << w << " x " << h;
        EXPECT_EQ(point[0], -1);
    }
}

// The outline from its definition: edge pixels with five to seven bright
// neighbours over one group, the first extreme in raster order.
std::array<int, 8> reference_outline(const Image &im, int x0, int y0, int x1, int y1) {
    std::array<int, 8> o = {im.width, 0, 0, 0, 0, im.height, 0, 0};
    for (int y = std::max(1, y0); y <= std::min(im.height - 2, y1); ++y) {
        for (int x = std::max(1, x0); x <= std::min(im.width - 2, x1); ++x) {
            if (im.at(x, y) == 0) continue;
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) n += (dx != 0 || dy != 0) && im.at(x + dx, y + dy) != 0;
            if (n < 5 || n > 7) continue;
            if (x < o[0]) o[0] = x, o[1] = y;
            if (x > o[2]) o[2] = x, o[3] = y;
            if (y < o[5]) o[4] = x, o[5] = y;
            if (y > o[7]) o[6] = x, o[7] = y;
        }
    }
    return o;
}

std::array<int, 8> outline_of(const Image &im, int *result, double angles[2]) {
    std::array<int, 8> o{};
    *result = Img_Cross_light(im.px.data(), im.width, im.height, o.data(), angles);
    return o;
}

TEST(SpotOutlineTest, CrossesAndTheirOutlines) {
    double angles[2];
    int result = 0;
    Image upright(640, 480);
    plus(upright, 320, 240, 60, 12);
    EXPECT_EQ(outline_of(upright, &result, angles), reference_outline(upright, 0, 0, 640, 480));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(angles[0], 0.0);
    EXPECT_EQ(angles[1], atan2(1.0, 0.0) * 57.26);

    // A horizontal bar crossed by one at 45 degrees.
    Image slanted(640, 480);
    slanted.fill(200, 236, 441, 248);
    for (int t = -70; t <= 70; ++t)
        for (int k = -6; k < 6; ++k) slanted.fill(320 + t + k, 240 + t, 321 + t + k, 241 + t);
    outline_of(slanted, &result, angles);
    EXPECT_EQ(result, 0) << angles[0] << " " << angles[1];

    Image dark(752, 480);
    EXPECT_EQ(outline_of(dark, &result, angles), (std::array<int, 8>{752, 0, 0, 0, 0, 480, 0, 0}));
    EXPECT_EQ(result, 0);

    // Of two crosses the larger; of two equal ones the first labelled (raster order).
    Image two(640, 480);
    plus(two, 150, 120, 30, 8);
    plus(two, 450, 300, 60, 8);
    EXPECT_EQ(outline_of(two, &result, angles), reference_outline(two, 300, 200, 640, 480));
    EXPECT_EQ(result, 1);
    Image twins(640, 480);
    plus(twins, 450, 100, 40, 8);
    plus(twins, 150, 300, 40, 8);
    EXPECT_EQ(outline_of(twins, &result, angles), reference_outline(twins, 300, 0, 640, 200));
}

TEST(SpotOutlineTest, LimitsOnPointsAndGroups) {
    double angles[2];
    int result = 0;
    // Stripes three rows high: two edge rows each, far more than 6,000 points, and every
    // edge row a group of its own.
    Image stripes(640, 480);
    for (int y = 0; y < 480; y += 6) stripes.fill(0, y, 640, y + 3);
    std::array<int, 8> o = outline_of(stripes, &result, angles);
    EXPECT_EQ(o[4], 1) << "the first kept group: the first stripe's edge";
    EXPECT_EQ(o[5], 2);

    // 3 x 3 squares (four edge points each) in a grid: more than 199 groups; the first
    // square wins the tie.
    Image dots(640, 480);
    int squares = 0;
    for (int y = 2; y + 3 < 480; y += 6)
        for (int x = 2; x + 3 < 640; x += 6, ++squares) dots.fill(x, y, x + 3, y + 3);
    ASSERT_GT(squares, 199);
    o = outline_of(dots, &result, angles);
    EXPECT_EQ(o, reference_outline(dots, 0, 0, 6, 6));
}

TEST(SpotUtilityTest, HistogramAddsToTheCallersBins) {
    Image im(10, 4, 7);
    im.fill(0, 0, 5, 2, 9);
    int bins[256] = {};
    bins[7] = 100;
    __ZPT_RECT__ rect = {1, 2, 8, 3};  // rows 1..2, columns 2..7
    EXPECT_EQ(Img_Hist(im.px.data(), 10, &rect, bins), 12);
    EXPECT_EQ(bins[9], 3);
    EXPECT_EQ(bins[7], 109);
    rect = {0, -5, 50, 1};  // columns clipped to the width
    EXPECT_EQ(Img_Hist(im.px.data(), 10, &rect, bins), 10);
}

// Otsu from the formula, ties to the first t.
int reference_otsu(const int *h) {
    double n = 0, s = 0;
    for (int t = 0; t < 256; ++t) n += h[t], s += static_cast<double>(t) * h[t];
    double c = 0, d = 0, best = -1;
    int threshold = 0;
    for (int t = 0; t < 256; ++t) {
        c += h[t];
        d += static_cast<double>(t) * h[t];
        if (c == 0) continue;
        if (c == n) break;
        double score = pow(d / c - (s - d) / (n - c), 2) * c * (n - c);
        if (score > best) best = score, threshold = t;
    }
    return threshold;
}

TEST(SpotUtilityTest, OtsuEqualsItsFormula) {
    std::mt19937 rng(20261211);
    for (int k = 0; k < 1000; ++k) {
        int h[256] = {};
        int levels = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < levels; ++i) h[rng() % 256] += static_cast<int>(rng() % 5000);
        ASSERT_EQ(spot_otsu_threshold(h), reference_otsu(h)) << "seed 20261211, histogram " << k;
    }
    int one[256] = {};
    one[77] = 1000;
    EXPECT_EQ(spot_otsu_threshold(one), 0);
    int none[256] = {};
    EXPECT_EQ(spot_otsu_threshold(none), 0);
}

TEST(SpotUtilityTest, LeastSquaresReproducesExactLines) {
    ___POINT___ pts[6];
    for (int i = 0; i < 6; ++i) pts[i] = {10 * i, 3 * (10 * i) - 7};  // y = 3x - 7
    float out[2];
    Img_LstSqr(out, pts, 6, 0);
    EXPECT_FLOAT_EQ(out[0], 3.0f);
    EXPECT_FLOAT_EQ(out[1], -7.0f);
    for (int i = 0; i < 6; ++i) pts[i] = {-2 * (5 * i) + 40, 5 * i};  // x = -2y + 40
    Img_LstSqr(out, pts, 6, 1);
    EXPECT_FLOAT_EQ(out[0], -2.0f);
    EXPECT_FLOAT_EQ(out[1], 40.0f);
    for (int i = 0; i < 6; ++i) pts[i] = {5, i};  // one x: no slope in y = a x + b
    Img_LstSqr(out, pts, 6, 0);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 2.5f);
}

// The focus area's calibrations with this library as "libspotfind.so" of the root.
class SpotFocusTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        write_file("/system/lib64/libspotfind.so", read_host_file(SPOTFIND_LIBRARY));
        reports_.clear();
    }
    void TearDown() override {
        DeInitX3Focus();
        ServiceTest::TearDown();
    }
    std::array<int, 4> calibrate(uint32_t type, const Image &im) {
        FOCUS_INIT init = {type, static_cast<uint32_t>(im.width), static_cast<uint32_t>(im.height)};
        EXPECT_EQ(InitX3Focus(&init), 0);
        EXPECT_EQ(X3Focus_Oper(1, 0, report, this), 0);
        for (int i = 0; i < 20; ++i) X3Focus_Running(im.px.data(), im.width, im.height, nullptr, nullptr);
        X3Focus_Oper(0, 0, nullptr, nullptr);
        EXPECT_EQ(reports_.size(), 1u);
        return reports_.empty() ? std::array<int, 4>{} : reports_.back();
    }
    static void report(uint8_t, void *argument, int *area) {
        static_cast<SpotFocusTest *>(argument)->reports_.push_back({area[0], area[1], area[2], area[3]});
    }
    std::vector<std::array<int, 4>> reports_;
};

TEST_F(SpotFocusTest, CalibrationsFollowTheAimer) {
    Image cross(752, 480);
    cross.fill(0, 238, 752, 243);
    cross.fill(400, 0, 405, 480);
    EXPECT_EQ(calibrate(1, cross), (std::array<int, 4>{240, 0, 752, 240}));
    DeInitX3Focus();
    reports_.clear();

    EXPECT_EQ(calibrate(0, band(752, 150, 40)), (std::array<int, 4>{148, 0, 479, 190}));
    DeInitX3Focus();
    reports_.clear();

    Image bright(752, 480);
    plus(bright, 376, 240, 50, 10);
    EXPECT_EQ(calibrate(2, bright), (std::array<int, 4>{190, 0, 752, 190})) << "the plus's top row";
}

}  // namespace
