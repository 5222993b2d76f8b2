// Locating and sizing and edge measurement as tables: transitions, noise, classes, the class
// chain, module votes and size snapping; the line fit, peaks, searches and windows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/test_hooks_dm.h"
#include "dm_test_util.h"

namespace {

using vexo::GEO_POINT;
using vexo::SLOPE_LINE;

class DmLocateTest : public dmtest::DmTest {
protected:
    void TearDown() override { vexo::Test_SetDmLocateCalls(nullptr); }
    // Fills the installed 752 x 480 frame from a function of the pixel.
    void Paint(const std::function<int(int, int)> &grey) {
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 752; ++x) frame_[static_cast<size_t>(y) * 752 + x] = static_cast<uint8_t>(grey(x, y));
    }
};

TEST_F(DmLocateTest, TransitionCounts) {
    struct Case {
        std::vector<uint8_t> s;
        int t, count;
    };
    const Case cases[] = {
        {{200, 200, 50, 50, 200, 200}, 10, 2}, {{200, 198, 50, 52, 200, 190}, 10, 3},
        {{100, 120, 100, 120, 100}, 15, 4},    {{100, 120, 100, 120, 100}, 25, 0},
        {{200, 150, 150, 100}, 40, 2},         {{200, 150, 150, 100}, 60, 0},
        {{100, 105, 100, 104}, 0, 2},  // threshold 0 counts swings of 5 or more
        {{100}, 1, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vexo::DM_CountTransitionsChecked(c.s.data(), static_cast<int>(c.s.size()), c.t), c.count)
            << "t " << c.t << " first " << int(c.s[0]);
}

TEST_F(DmLocateTest, QuietZoneWithoutSwingGivesNoiseSixAndThresholdSix) {
    uint8_t hist[256] = {};
    EXPECT_EQ(vexo::DM_NoiseLevelFromHistogram(hist), 6);
    hist[20] = 5;
    hist[21] = 2;
    hist[22] = 2;  // window 19..22 sums 9 with bin 22 above 1
    EXPECT_EQ(vexo::DM_NoiseLevelFromHistogram(hist), 22);
    GEO_POINT e1{300, 100}, c{300, 300}, e2{500, 300};
    vexo::DM_ClassifyLayout(frame_.data(), &e1, &c, &e2, 1);
    EXPECT_EQ(vexo::DM_GetNoiseThreshold(), 6);
}

TEST_F(DmLocateTest, ClassTable) {
    struct Case {
        int o, b, c, cls;
    };
    const Case cases[] = {
        {4, 200, 200, -1}, {5, 200, 200, 1},  {34, 200, 200, 1}, {35, 200, 200, 2}, {59, 200, 200, 2},
        {60, 39, 200, 1},  {60, 200, 40, 2},  {60, 99, 200, 2},  {60, 100, 200, 4}, {119, 200, 200, 4},
        {120, 139, 200, 4}, {120, 140, 140, 6}, {200, 300, 300, 6},
    };
    for (const Case &k : cases) EXPECT_EQ(vexo::DM_ClassFromTransitions(k.o, k.b, k.c), k.cls) << k.o << " " << k.b << " " << k.c;
}

// Scripted classifier and lattice calls: the classes tried, in order.
struct LocateScript {
    int cls = 1;
    int large = 0;     // tryLargeSymbolPath's answer
    std::vector<int> measure;  // measureCell's answers in turn (last repeats)
    std::vector<int> tried;
    int completeCalls = 0;
};
LocateScript *g_locateScript = nullptr;

vexo::i32 ScriptClassify(vexo::u8 *, GEO_POINT *, GEO_POINT *, GEO_POINT *, vexo::i32) { return g_locateScript->cls; }
vexo::i32 ScriptLarge(vexo::DM_PREPARED_CANDIDATE *, vexo::DM_GEOMETRY *geo) {
    g_locateScript->tried.push_back(geo->layoutClass);
    return g_locateScript->large;
}
vexo::i32 ScriptMeasure(vexo::u8 *, vexo::DM_PREPARED_CANDIDATE *, vexo::DM_GEOMETRY *geo) {
    const size_t k = g_locateScript->tried.size() - 1;
    const int s = g_locateScript->measure[k < g_locateScript->measure.size() ? k : g_locateScript->measure.size() - 1];
    if (s == 0) geo->moduleCols = 16;
    return s;
}
vexo::i32 ScriptComplete(vexo::u8 *, vexo::DM_PREPARED_CANDIDATE *, vexo::DM_GEOMETRY *) {
    ++g_locateScript->completeCalls;
    return 0;
}
constexpr vexo::DM_LOCATE_CALLS kLocateScripted = {ScriptClassify, ScriptLarge, ScriptMeasure, ScriptComplete};

TEST_F(DmLocateTest, ClassChains) {
    struct Case {
        int arm1, arm2;
        bool bit12;
        int cls;
        std::vector<int> measure;
        std::vector<int> tried;
        int result;
    };
    const Case cases[] = {
        {100, 170, false, 1, {-1}, {-1, 0}, -100},     // a rectangle, never classified
        {100, 170, true, 1, {-1}, {}, -100},
        {100, 100, false, 6, {-1, -2, -5}, {6, 4, 2}, -5},  // three attempts: the third failure
        {100, 100, false, 4, {-1}, {4, 2, 1}, -100},
        {100, 100, false, 2, {-2}, {2, 1}, -100},
        {100, 100, false, 1, {-2}, {1}, -100},
        {100, 100, true, 4, {-1}, {2, 1}, -100},  // bit 12 measures 4 as 2
        {100, 100, true, 6, {-1}, {}, -100},      // and rejects 6
        {100, 100, false, -1, {0}, {}, -100},
        {100, 100, false, 2, {-3}, {2}, -100},    // a count above 49
        {100, 100, false, 1, {0}, {1}, 0},        // one region: no lattice completion
        {100, 100, false, 2, {0}, {2}, 0},
    };
    for (const Case &k : cases) {
        LocateScript s;
        s.cls = k.cls;
        s.measure = k.measure;
        g_locateScript = &s;
        vexo::Test_SetDmLocateCalls(&kLocateScripted);
        vexo::g_dmOptions.limitLayouts = k.bit12 ? 1 : 0;
        vexo::DM_PREPARED_CANDIDATE cand{};
        cand.arm1Length = k.arm1;
        cand.arm2Length = k.arm2;
        vexo::DM_GEOMETRY geo{};
        EXPECT_EQ(vexo::DM_LocateAndSize(frame_.data(), &cand, &geo), k.result) << "class " << k.cls;
        EXPECT_EQ(s.tried, k.tried) << "class " << k.cls << " bit12 " << k.bit12;
        if (k.result == 0) {
            EXPECT_EQ(s.completeCalls, k.cls == 1 ? 0 : 1);
        }
    }
    // The large-symbol path: 1 ends it, -5 moves class 2 on and refuses class 1.
    LocateScript s;
    s.cls = 2;
    s.large = -5;
    s.measure = {-1};
    g_locateScript = &s;
    vexo::g_dmOptions.limitLayouts = 0;
    vexo::DM_PREPARED_CANDIDATE cand{};
    cand.arm1Length = cand.arm2Length = 100;
    vexo::DM_GEOMETRY geo{};
    EXPECT_EQ(vexo::DM_LocateAndSize(frame_.data(), &cand, &geo), -100);
    EXPECT_EQ(s.tried, (std::vector<int>{2, 1}));
    s.tried.clear();
    s.large = 1;
    EXPECT_EQ(vexo::DM_LocateAndSize(frame_.data(), &cand, &geo), 0);
    g_locateScript = nullptr;
}

TEST_F(DmLocateTest, DefaultModuleCounts) {
    const int table[][3] = {{-1, 16, 10}, {0, 20, 8}, {1, 16, 16}, {2, 19, 19},
                            {4, 19, 19},  {6, 20, 20}, {3, 0, 0},  {7, 0, 0}};
    for (const auto &r : table) {
        EXPECT_EQ(vexo::DM_DefaultModuleCount(r[0], 0), r[1]) << r[0];
        EXPECT_EQ(vexo::DM_DefaultModuleCount(r[0], 1), r[2]) << r[0];
    }
}

TEST_F(DmLocateTest, ModuleCountVotes) {
    struct Case {
        std::vector<std::pair<int, int>> votes;  // count, votes
        int winner, peak;
    };
    const Case cases[] = {
        {{{28, 20}, {29, 12}, {27, 2}}, 29, 20},
        {{{28, 20}, {29, 8}, {27, 2}}, 28, 20},
        {{{24, 20}, {25, 19}}, 24, 20},  // no odd correction at 26 or below
        {{{30, 10}, {29, 6}, {31, 2}}, 29, 10},
        {{}, 0, 0},
    };
    for (const Case &c : cases) {
        int hist[100] = {};
        for (const auto &v : c.votes) hist[v.first] = v.second;
        int peak = -1;
        EXPECT_EQ(vexo::DM_WinnerOfVotes(hist, &peak), c.winner);
        EXPECT_EQ(peak, c.peak);
    }
    // The second try: a winner above twice its votes under a minimum step above 15.
    EXPECT_EQ(vexo::DM_SecondTryStep(40, 15, 18), 24);
    EXPECT_EQ(vexo::DM_SecondTryStep(40, 15, 15), 0);
    EXPECT_EQ(vexo::DM_SecondTryStep(30, 15, 18), 0);
    // No pair of edges votes inside 8..89: count 0, no votes.
    std::vector<uint8_t> p(1000, 255);
    for (int k = 0; k < 10; ++k) p[static_cast<size_t>(k)] = k % 2 != 0 ? 255 : 0;
    int count = 77;
    EXPECT_EQ(vexo::DM_EstimateModuleCount(p.data(), 1000, &count), 0);
    EXPECT_EQ(count, 0);
    // Fewer than four swings: count untouched.
    std::vector<uint8_t> flat(100, 80);
    flat[50] = 200;
    count = 77;
    EXPECT_EQ(vexo::DM_EstimateModuleCount(flat.data(), 100, &count), 0);
    EXPECT_EQ(count, 77);
    // An alternating profile of 16 modules of 10 samples.
    std::vector<uint8_t> timing(160);
    for (int k = 0; k < 160; ++k) timing[static_cast<size_t>(k)] = (k / 10) % 2 != 0 ? 230 : 30;
    EXPECT_GT(vexo::DM_EstimateModuleCount(timing.data(), 160, &count), 10);
    EXPECT_EQ(count, 16);
}

TEST_F(DmLocateTest, SizeSnapping) {
    struct Case {
        int cls, rows, cols;  // measured, with finder and timing lines
        int result, outRows, outCols, regionRows, regionCols, outClass;
    };
    const Case cases[] = {
        {1, 12, 12, 0, 10, 10, 1, 1, 1},    {1, 14, 12, 0, 12, 12, 1, 1, 1},
        {0, 8, 18, 0, 6, 16, 1, 1, 0},      {0, 8, 30, -1, 6, 28, 1, 1, 0},
        {0, 12, 26, 0, 10, 24, 1, 1, 0},    {0, 16, 16, -1, 14, 14, 1, 1, 0},
        {0, 22, 22, 0, 20, 20, 1, 1, 1},    {-1, 16, 24, 0, 14, 22, 1, 2, -1},
        {-1, 8, 16, 0, 6, 14, 1, 2, -1},    {-1, 12, 18, 0, 10, 16, 1, 2, -1},
        {-1, 30, 40, -2, 28, 38, 0, 0, -1}, {2, 16, 16, 0, 14, 14, 2, 2, 2},
        {2, 17, 17, 0, 16, 16, 2, 2, 2},    {2, 18, 19, 0, 16, 16, 2, 2, 2},
        {4, 26, 26, 0, 24, 24, 4, 4, 4},    {6, 22, 22, 0, 20, 20, 6, 6, 6},
        {6, 16, 16, -2, 14, 14, 0, 0, 6},   {2, 30, 30, -2, 28, 28, 0, 0, 2},
        {1, 20, 12, -2, 18, 10, 0, 0, 1},   {1, 20, 17, 0, 18, 18, 1, 1, 1},
        {1, 33, 33, 0, 31, 31, 1, 1, 1},    {1, 52, 52, -1, 51, 51, 0, 0, 1},
    };
    for (const Case &c : cases) {
        vexo::DM_GEOMETRY g{};
        g.layoutClass = c.cls;
        g.moduleRows = c.rows;
        g.moduleCols = c.cols;
        // The measurement of a one-region rectangle sets one region each way.
        g.regionRows = g.regionCols = c.cls == 0 ? 1 : 0;
        EXPECT_EQ(vexo::DM_SnapSymbolSize(&g), c.result) << c.cls << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(g.moduleRows, c.outRows) << c.cls << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(g.moduleCols, c.outCols) << c.cls << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(g.regionRows, c.regionRows) << c.cls << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(g.regionCols, c.regionCols) << c.cls << " " << c.rows << "x" << c.cols;
        EXPECT_EQ(g.layoutClass, c.outClass);
    }
}

TEST_F(DmLocateTest, EdgeFitOnAHorizontalEdge) {
    GEO_POINT x{};
    int th0 = 0;
    vexo::DM_FitOrigin({0, 100}, {60, 100}, &x, &th0);
    EXPECT_EQ(x.x, 30);
    EXPECT_EQ(x.y, 80);
    EXPECT_EQ(th0, 157);
    vexo::DM_FitOrigin({60, 100}, {0, 100}, &x, &th0);
    EXPECT_EQ(x.x, 30);
    EXPECT_EQ(x.y, 120);
    EXPECT_EQ(th0, 471);
    // Light above row 100, dark from it on: the rise centroids lie at y = 99.5, and the
    // line up to a pixel farther from the Hough origin (its bin is whole pixels plus one).
    Paint([](int, int y) { return y < 100 ? 200 : 40; });
    SLOPE_LINE out{};
    ASSERT_EQ(vexo::DM_FitEdgeLine({0, 100}, {60, 100}, 10, &out), 1);
    EXPECT_EQ(out.slope, -static_cast<double>(vexo::kAngleCos[157]) / vexo::kAngleSin[157]);
    EXPECT_GE(out.intercept, 99.5);
    EXPECT_LE(out.intercept, 100.5);
    EXPECT_EQ(vexo::DM_FitEdgeLine({60, 100}, {0, 100}, 10, &out), 0);  // probes run dark to light downwards only
    Paint([](int, int y) { return y < 100 ? 40 : 200; });
    ASSERT_EQ(vexo::DM_FitEdgeLine({60, 100}, {0, 100}, 10, &out), 1);
    EXPECT_NEAR(out.intercept, 100, 1.01);
    // One pixel: out untouched. Weak rises: the line through p and q.
    out = SLOPE_LINE{7, 7};
    EXPECT_EQ(vexo::DM_FitEdgeLine({5, 5}, {6, 6}, 10, &out), 0);
    EXPECT_EQ(out.slope, 7);
    Paint([](int, int y) { return y < 100 ? 110 : 100; });
    EXPECT_EQ(vexo::DM_FitEdgeLine({0, 100}, {60, 103}, 10, &out), 0);
    EXPECT_NEAR(out.slope, 3.0 / 60, 1e-9);
}

TEST_F(DmLocateTest, PeaksAndScores) {
    int v[] = {5, 9, 9, 0, 0, 0, 0, 7};
    int peak = 0;
    EXPECT_EQ(vexo::DM_PeakOfDrops(v, 8, &peak), 2);
    EXPECT_EQ(peak, 9);
    const int r[] = {100, 100, 40, 40};
    EXPECT_EQ(vexo::DM_PeakRelativeDrop(r, 4, &peak), 1);
    EXPECT_EQ(peak, 384);
    const int z[] = {50, 0, 0};
    EXPECT_EQ(vexo::DM_PeakRelativeDrop(z, 3, &peak), 0);
    EXPECT_EQ(peak, 500);
    // Contrast along a line, and the same line leaving the frame.
    Paint([](int x, int) { return (x / 5) % 2 != 0 ? 200 : 40; });
    EXPECT_GT(vexo::DM_LineContrastSum(frame_.data(), {700, 50}, {751, 50}, 9), 0);
    EXPECT_EQ(vexo::DM_LineContrastSum(frame_.data(), {700, 50}, {760, 50}, 9), 0);
    // The pair search refuses a window of 220 points or more.
    GEO_POINT p{0, 0}, q{2000, 0};
    EXPECT_EQ(vexo::DM_SearchTimingEdge(frame_.data(), &p, &q, {0, 50}, 60), 0);
}

TEST_F(DmLocateTest, SearchWindows) {
    SLOPE_LINE vertical{vexo::kVerticalSlope, 100};
    GEO_POINT t1{}, t2{};
    vexo::DM_BoundaryWindowMulti(&vertical, {100, 500}, {100, 100}, 4, &t1, &t2);
    EXPECT_EQ(t1.x, 100);
    EXPECT_EQ(t1.y, 420);
    EXPECT_EQ(t2.y, 380);
    vexo::DM_BoundaryWindowMulti(&vertical, {100, 500}, {100, 100}, 2, &t1, &t2);
    EXPECT_EQ(t1.y, 328);
    EXPECT_EQ(t2.y, 272);
    SLOPE_LINE flat{0.5, 10};
    vexo::DM_BoundaryWindowSingle(&flat, {0, 10}, {80, 50}, &t1, &t2);
    EXPECT_EQ(t1.x, 70);
    EXPECT_EQ(t1.y, 45);
    EXPECT_EQ(t2.x, 90);
    vexo::DM_FirstBoundaryPoint({0, 0}, {100, 0}, 4, &t1);
    EXPECT_EQ(t1.x, 26);
    vexo::DM_FirstBoundaryPoint({0, 0}, {100, 0}, 0, &t1);
    EXPECT_EQ(t1.x, 1);
    vexo::DM_ExtrapolateNode({0, 0}, {30, 40}, &t1);
    EXPECT_EQ(t1.x, 60);
    EXPECT_EQ(t1.y, 80);
    vexo::DM_PREPARED_CANDIDATE cand{};
    cand.arm1Length = 240;
    cand.arm2Length = 120;
    vexo::DM_GEOMETRY geo{};
    const int reach[][3] = {{-1, 40, 20}, {0, 40, 20}, {1, 34, 17}, {2, 30, 15}, {4, 15, 7}, {6, 10, 5}, {3, 0, 0}};
    for (const auto &r : reach) {
        geo.layoutClass = r[0];
        EXPECT_EQ(vexo::DM_EdgeSearchReach(&cand, &geo, 1), r[1]);
        EXPECT_EQ(vexo::DM_EdgeSearchReach(&cand, &geo, 0), r[2]);
    }
}

TEST_F(DmLocateTest, LineRoutines) {
    const uint8_t s[] = {10, 10, 50, 90, 90, 20, 10, 10, 80};
    int out[8];
    ASSERT_EQ(vexo::DM_RisingEdgeCentres(s, 9, out, 30), 2);
    EXPECT_EQ(out[0], 20);  // steps of 40 at 1 and 2: 10 x 1.5 + 5
    EXPECT_EQ(out[1], 75);
    ASSERT_EQ(vexo::DM_FallingEdgeCentres(s, 9, out, 30), 1);
    EXPECT_EQ(out[0], 46);  // 4->5 (70) and 5->6 (10): 10 x 4.125 + 5
    // 255 marks an outside probe point: no rise into it.
    const uint8_t probe[] = {40, 100, 255, 255, 30, 200};
    EXPECT_EQ(vexo::DM_StrongestRiseCentre(probe, 6, 10), 4 * 16 + 8);
    EXPECT_EQ(vexo::DM_StrongestRiseCentre(probe, 4, 10), 8);
    EXPECT_EQ(vexo::DM_StrongestRiseCentre(probe, 4, 60), 0);
    Paint([](int x, int y) { return (x + y) % 256; });
    uint8_t line[16];
    ASSERT_EQ(vexo::DM_SampleFrameLine(-1, 0, 3, 0, line, 16), 4);
    EXPECT_EQ(line[0], 128);
    EXPECT_EQ(line[1], 0);
    EXPECT_EQ(line[3], 2);
    ASSERT_EQ(vexo::DM_SampleFrameLine(750, 0, 754, 0, line, 16), 4);
    EXPECT_EQ(line[2], 255);
    EXPECT_EQ(vexo::DM_SampleFrameLine(5, 5, 6, 6, line, 16), 0);
    GEO_POINT a{};
    vexo::DM_PointAlongSegment({0, 0}, {100, 50}, 10, &a);
    EXPECT_EQ(a.x, 10);
    EXPECT_EQ(a.y, 5);
    vexo::DM_PointAlongSegment({0, 0}, {100, 50}, -10, &a);
    EXPECT_EQ(a.x, -10);
    EXPECT_EQ(a.y, -5);
}

TEST_F(DmLocateTest, EdgeAngleTablesFollowTheirSource) {
    for (int k = 0; k < vexo::kDmEdgeAngles; ++k) {
        EXPECT_EQ(vexo::kAngleCos[k], static_cast<int>(std::trunc(1048576.0 * std::cos(k * M_PI / 314)))) << k;
        EXPECT_EQ(vexo::kAngleSin[k], static_cast<int>(std::trunc(1048576.0 * std::sin(k * M_PI / 314)))) << k;
    }
    EXPECT_EQ(vexo::kAngleSin[157], 1048576);
    EXPECT_EQ(vexo::kAngleSin[314], 0);
}

}  // namespace

namespace {

// A frame of its own for the line fit: the fixture's 752 x 480 is too small for these.
struct OwnFrame {
    std::vector<uint8_t> px;
    OwnFrame(int w, int h, const std::function<int(int, int)> &grey) : px(static_cast<size_t>(w) * h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(grey(x, y));
        vexo::Pix_SetImagePointer(px.data());
        vexo::Pix_SetImageSize(w, h);
        vexo::Pix_InstallFrame(px.data(), w, h);
    }
};

TEST_F(DmLocateTest, ALongObliqueEdgeFitsItsLine) {
    // 700 px along x from (200, 200), light above the line y = 0.6 x + 80 and dark below,
    // with the middle 440 px blank: every edge point lies more than 128 px from the Hough
    // origin along both table components, where a 32-bit projection overflows (signed
    // overflow: the sanitizer build reports it).
    OwnFrame f(1280, 960, [](int x, int y) {
        if (x > 330 && x < 770) return 210;
        return y + 0.5 < 0.6 * (x + 0.5) + 80 ? 210 : 40;
    });
    SLOPE_LINE out{};
    ASSERT_EQ(vexo::DM_FitEdgeLine({200, 200}, {900, 620}, 12, &out), 1);
    EXPECT_NEAR(out.slope, 0.6, 0.02);
    const double mid = out.slope * 550 + out.intercept;  // the true edge at x = 550 is y = 410
    EXPECT_NEAR(mid, 410, 1.5);
}

TEST_F(DmLocateTest, ProbesTooLongForTheFrameEitherWayAreRefused) {
    OwnFrame f(40, 40, [](int x, int) { return x < 3 ? 40 : 210; });
    struct Case {
        GEO_POINT p, q;
    };
    // The probe vector of each has a component of 15 or -15: 8 x 15 >= 40.
    const Case cases[] = {{{2, 0}, {2, 30}}, {{2, 30}, {2, 0}}, {{0, 2}, {30, 2}}, {{30, 2}, {0, 2}}};
    for (const Case &c : cases) {
        SLOPE_LINE out{};
        EXPECT_EQ(vexo::DM_FitEdgeLine(c.p, c.q, 1, &out), 0);
        SLOPE_LINE through{};
        vexo::Geo_SlopeLineFromPoints(c.p, c.q, &through);
        EXPECT_EQ(out.slope, through.slope);
    }
    // Short probes near the border read outside points as 255 and still fit or fail cleanly.
    SLOPE_LINE out{};
    vexo::DM_FitEdgeLine({3, 35}, {3, 5}, 6, &out);
    vexo::DM_FitEdgeLine({1, 5}, {1, 35}, 6, &out);
}

TEST_F(DmLocateTest, ParallelSearchScoresLinesParallelToTheDiagonalZero) {
    Paint([](int x, int) { return (x / 6) % 2 != 0 ? 200 : 40; });
    // The diagonal has the slope of the track's own line: no crossing, every score 0.
    const SLOPE_LINE diagonal{1.0, 0};
    SLOPE_LINE line{1.0, 100};
    GEO_POINT point{-1, -1};
    int score = -1;
    EXPECT_EQ(vexo::DM_SearchParallelEdge({100, 200}, {200, 300}, &diagonal, &line, 100, &point, &score), 0);
    EXPECT_GE(score, 0);
    // A track of half the frame width or more is refused.
    EXPECT_EQ(vexo::DM_SearchParallelEdge({0, 10}, {400, 10}, &diagonal, &line, 100, &point, &score), -100);
}

}  // namespace
