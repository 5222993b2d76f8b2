// Guard scanning on synthetic input: the four pattern tests at their boundaries, tracking and
// merging of stretches, the scanners' argument rules and frames at the image's borders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "locate/pdf_guard_probe.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417_bars.h"

namespace {

using namespace vexo;
using pdf_bars::BarLine;
using pdf_bars::BarLook;

std::vector<i32> EdgesOf(i64 w1, i64 w2, i64 w3, i64 w4) {
    return {100, static_cast<i32>(100 + w1), static_cast<i32>(100 + w1 + w2), static_cast<i32>(100 + w1 + w2 + w3),
            static_cast<i32>(100 + w1 + w2 + w3 + w4)};
}

TEST(PdfGuardTests, WideElementBoundaries) {
    struct Case {
        const char *what;
        PDF_GuardTestFn test;
        i64 w1, w2, w3, w4;
        int want;
    };
    const Case cases[] = {
        {"start fwd w1 144", PDF_TestStartForward, 144, 32, 32, 64, 1},
        {"start fwd w1 143", PDF_TestStartForward, 143, 32, 32, 64, 0},
        {"start fwd w1 1600", PDF_TestStartForward, 1600, 356, 356, 711, 1},
        {"start fwd w1 1601", PDF_TestStartForward, 1601, 356, 356, 711, 0},
        {"start rev w4 144", PDF_TestStartReverse, 64, 32, 32, 144, 1},
        {"start rev w4 143", PDF_TestStartReverse, 64, 32, 32, 143, 0},
        {"start rev w4 1600", PDF_TestStartReverse, 711, 356, 356, 1600, 1},
        {"start rev w4 1601", PDF_TestStartReverse, 711, 356, 356, 1601, 0},
        {"stop fwd w1 128", PDF_TestStopForward, 128, 64, 32, 48, 1},
        {"stop fwd w1 127", PDF_TestStopForward, 127, 64, 32, 48, 0},
        {"stop fwd w1 1344", PDF_TestStopForward, 1344, 672, 336, 504, 1},
        {"stop fwd w1 1345", PDF_TestStopForward, 1345, 672, 336, 504, 0},
        {"stop rev w4 128", PDF_TestStopReverse, 48, 32, 64, 128, 1},
        {"stop rev w4 127", PDF_TestStopReverse, 48, 32, 64, 127, 0},
        {"stop rev w4 1344", PDF_TestStopReverse, 504, 336, 672, 1344, 1},
        {"stop rev w4 1345", PDF_TestStopReverse, 504, 336, 672, 1345, 0},
        // Each pattern is refused by the other tests.
        {"start as stop", PDF_TestStopForward, 144, 32, 32, 64, 0},
        {"stop as start", PDF_TestStartForward, 128, 64, 32, 48, 0},
        {"start as reversed start", PDF_TestStartReverse, 144, 32, 32, 64, 0},
        {"zero widths", PDF_TestStartForward, 144, 0, 0, 0, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(c.test(EdgesOf(c.w1, c.w2, c.w3, c.w4).data()), c.want) << c.what;
}

// The forward start test's deviation sum, as the pattern's ratios define it.
i64 StartForwardDeviation(i64 w1, i64 w2, i64 w3, i64 w4) {
    auto dev = [](i64 r) { return std::llabs(r - 1000); };
    return dev(2000 * w1 / (3 * (w3 + w4))) + dev(2000 * w1 / (3 * (w2 + w4))) + dev(1000 * (w2 + w3) / w4) +
           dev(2000 * w3 / w4) + dev(2000 * w2 / w4);
}

TEST(PdfGuardTests, DeviationSumBoundary) {
    // Widen the last element until the sum passes 550: 550 accepted, 551 refused.
    bool found550 = false, found551 = false;
    for (i64 w2 = 20; w2 <= 80; ++w2) {
        for (i64 w4 = 40; w4 <= 200; ++w4) {
            const i64 sum = StartForwardDeviation(288, w2, 64, w4);
            if (sum == 550 || sum == 551) {
                EXPECT_EQ(PDF_TestStartForward(EdgesOf(288, w2, 64, w4).data()), sum == 550 ? 1 : 0) << w2 << " " << w4;
                (sum == 550 ? found550 : found551) = true;
            }
        }
    }
    EXPECT_TRUE(found550 && found551);
}

PDF_CANDIDATE Stretch(i32 kind, i32 x1, i32 y1, i32 x2, i32 y2, i32 width) {
    PDF_CANDIDATE c{};
    c.kind = kind;
    c.pending = 1;
    c.end1 = {x1, y1, width, 50};
    c.end2 = {x2, y2, width, 60};
    return c;
}

TEST(PdfGuardMerge, GapAndAlignment) {
    struct Case {
        const char *what;
        PDF_CANDIDATE p, q;
        int count;
    };
    const Case cases[] = {
        {"gap 20 below", Stretch(1, 100, 40, 102, 100, 50), Stretch(1, 104, 120, 106, 160, 50), 1},
        {"gap 21 below", Stretch(1, 100, 40, 102, 100, 50), Stretch(1, 104, 121, 106, 160, 50), 2},
        {"gap 20 above", Stretch(1, 100, 140, 102, 200, 50), Stretch(1, 95, 60, 98, 120, 50), 1},
        {"gap 8 shifted 8", Stretch(1, 100, 40, 100, 100, 50), Stretch(1, 108, 108, 108, 160, 50), 1},
        {"gap 8 shifted 9", Stretch(1, 100, 40, 100, 100, 50), Stretch(1, 109, 108, 109, 160, 50), 2},
        {"overlap near mid", Stretch(1, 100, 40, 110, 100, 50), Stretch(1, 117, 90, 120, 160, 50), 1},
        {"overlap off mid", Stretch(1, 100, 40, 110, 100, 50), Stretch(1, 118, 90, 120, 160, 50), 2},
        {"other kind", Stretch(1, 100, 40, 102, 100, 50), Stretch(3, 104, 110, 106, 160, 50), 2},
        {"width 9 apart of 81", Stretch(1, 100, 40, 102, 100, 81), Stretch(1, 104, 110, 106, 160, 90), 1},
        {"width 10 apart of 81", Stretch(1, 100, 40, 102, 100, 81), Stretch(1, 104, 110, 106, 160, 91), 2},
    };
    for (const Case &c : cases) {
        PDF_CANDIDATE pair[2] = {c.p, c.q};
        ASSERT_EQ(PDF_MergeRowCandidate(pair, 2), c.count) << c.what;
        if (c.count == 1) {
            const bool qAbove = c.q.end1.y < c.p.end1.y;
            EXPECT_EQ(qAbove ? pair[0].end1.y : pair[0].end2.y, qAbove ? c.q.end1.y : c.q.end2.y) << c.what;
        }
        // Columns: the same with x and y exchanged.
        PDF_CANDIDATE turned[2] = {c.p, c.q};
        for (PDF_CANDIDATE &t : turned) {
            std::swap(t.end1.x, t.end1.y);
            std::swap(t.end2.x, t.end2.y);
        }
        EXPECT_EQ(PDF_MergeColumnCandidate(turned, 2), c.count) << c.what;
    }
}

// A synthetic PDF417-like frame: start guard, rows of codeword-like bars and stop guard on
// rows top..bottom of a light page.
struct GuardFrame {
    int width = 400, height = 240;
    int top = 60, bottom = 180;
    double module = 3;
    double x = 40;
    bool inverted = false;
    double moduleBelow = 0;  // a different module size from `split` on
    int split = 0;
};

std::vector<int> GuardRowWidths(int seed) {
    std::vector<int> w = {8, 1, 1, 1, 1, 1, 1, 3};  // start
    const int body[] = {3, 1, 1, 2, 1, 1, 5, 3, 2, 2, 1, 4, 1, 1, 1, 5, 1, 3, 2, 1, 2, 2, 4, 1};
    for (int k = 0; k < 24; ++k) w.push_back(body[(k + seed) % 24]);
    for (int v : {7, 1, 1, 3, 1, 1, 1, 2, 1}) w.push_back(v);  // stop
    return w;
}

class GuardScanTest : public pdf_bars::ImageTest {
protected:
    void Draw(const GuardFrame &g) {
        const int paper = g.inverted ? 30 : 220;
        std::vector<u8> all(static_cast<size_t>(g.width) * g.height, static_cast<u8>(paper));
        for (int y = g.top; y <= g.bottom; ++y) {
            const double m = g.split > 0 && y >= g.split ? g.moduleBelow : g.module;
            const std::vector<u8> row = BarLine(GuardRowWidths(y / 9), BarLook{m, g.x, 0.3, 30, 220, g.inverted}, g.width);
            std::copy(row.begin(), row.end(), all.begin() + static_cast<long>(y) * g.width);
        }
        InstallFrame(g.width, g.height, all);
    }
    int ScanRows(const i32 box[4], int reverse, int max = 4) {
        return PDF_ScanRowsForGuards(found, max, reverse, box, g_image.height);
    }
    PDF_CANDIDATE found[5] = {};
};

TEST_F(GuardScanTest, UprightGivesStartAndStop) {
    GuardFrame g;
    Draw(g);
    const i32 box[4] = {0, 0, g.width - 1, g.height - 1};
    ASSERT_EQ(ScanRows(box, 0), 2);
    EXPECT_EQ(found[0].kind, 1);
    EXPECT_EQ(found[1].kind, 3);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(found[k].orientation, 0);
        EXPECT_EQ(found[k].pending, 1);
        EXPECT_EQ(found[k].startFlag, k == 0 ? 1 : 0);
        EXPECT_LT(found[k].end1.y, found[k].end2.y);
        EXPECT_LE(std::abs(found[k].end1.y - g.top), 8);
        EXPECT_LE(std::abs(found[k].end2.y - g.bottom), 8);
    }
    EXPECT_LE(std::abs(found[0].end1.x - 40), 1);
    EXPECT_EQ(ArenaUsed(), 0);
    // The argument rules: 1..4 candidates on rows; the column scanner takes 5 as 4.
    EXPECT_EQ(ScanRows(box, 0, 0), 0);
    EXPECT_EQ(ScanRows(box, 0, 5), 0);
    EXPECT_EQ(ScanRows(box, 0, 1), 1);
    const i32 noLines[4] = {0, 0, g.width - 1, g.height - 1};
    EXPECT_EQ(PDF_ScanRowsForGuards(found, 4, 0, noLines, 0), 0);
    // A box given inside out reads the same.
    const i32 insideOut[4] = {g.height - 1, g.width - 1, 0, 0};
    EXPECT_EQ(ScanRows(insideOut, 0), 2);
}

TEST_F(GuardScanTest, LightBarsNeedReverse) {
    GuardFrame g;
    g.inverted = true;
    Draw(g);
    const i32 box[4] = {0, 0, g.width - 1, g.height - 1};
    EXPECT_EQ(ScanRows(box, 0), 0);
    ASSERT_EQ(ScanRows(box, 2), 2);
    EXPECT_EQ(found[0].kind, -1);
    EXPECT_EQ(found[1].kind, -3);
}

TEST_F(GuardScanTest, OneLineIsNoCandidate) {
    GuardFrame g;
    g.top = 120;
    g.bottom = 122;
    Draw(g);
    const i32 box[4] = {0, 0, g.width - 1, g.height - 1};
    EXPECT_EQ(ScanRows(box, 0), 0);
}

TEST_F(GuardScanTest, WidthChangeStopsTracking) {
    // From row 120 on the modules grow by a third (51 to 68 pixels), beyond a quarter: the
    // stretch found first ends there. A sixth (51 to 59) is followed.
    for (const double below : {4.0, 3.5}) {
        GuardFrame g;
        g.split = 120;
        g.moduleBelow = below;
        Draw(g);
        const i32 box[4] = {60, 0, g.width - 1, 160};
        const int n = ScanRows(box, 0);
        ASSERT_GE(n, 1) << below;
        EXPECT_EQ(found[0].kind, 1);
        if (below == 4.0) {
            EXPECT_LT(found[0].end2.y, 120) << below;
        } else {
            EXPECT_GE(found[0].end2.y, g.bottom - 8) << below;
        }
    }
}

TEST_F(GuardScanTest, ColumnScannerOnTurnedFrame) {
    GuardFrame g;
    Draw(g);
    // Transpose: the bars run along rows.
    std::vector<u8> turned(pixels.size());
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) turned[static_cast<size_t>(x) * g.height + y] = pixels[static_cast<size_t>(y) * g.width + x];
    }
    InstallFrame(g.height, g.width, turned);
    const i32 box[4] = {0, 0, g.height - 1, g.width - 1};
    EXPECT_EQ(ScanRows(box, 0), 0);
    ASSERT_EQ(PDF_ScanColumnsForGuards(found, 5, 0, box, g.height), 2);
    EXPECT_EQ(found[0].kind, 1);
    EXPECT_EQ(found[0].orientation, 1);
    EXPECT_LT(found[0].end1.x, found[0].end2.x);
    EXPECT_LE(std::abs(found[0].end1.y - 40), 1);
    EXPECT_EQ(PDF_ScanColumnsForGuards(found, 0, 0, box, g.height), 0);
    EXPECT_EQ(ArenaUsed(), 0);
}

TEST_F(GuardScanTest, BoxProbe) {
    GuardFrame g;
    Draw(g);
    const i32 across[4] = {40, 0, g.width - 1, 200};
    EXPECT_EQ(Loc_BoxHasPdfGuards(across), 1);
    EXPECT_EQ(ArenaUsed(), 0);
    const i32 flat[4] = {0, 0, g.width - 1, 40};
    EXPECT_EQ(Loc_BoxHasPdfGuards(flat), 0);
    EXPECT_EQ(ArenaUsed(), 0);
}

TEST_F(GuardScanTest, BordersAndTinyFrames) {
    // Symbols touching every border, tracking onto the last row, boxes partly outside.
    GuardFrame g;
    g.x = 0;
    g.top = 0;
    g.bottom = g.height - 1;
    g.width = 150;
    Draw(g);
    const i32 boxes[][4] = {{0, 0, 149, 239}, {-50, -50, 400, 400}, {239, 149, 0, 0}, {230, -20, 170, 260},
                            {-10, -10, -1, -1}, {1000, 1000, 2000, 2000}};
    for (const auto &box : boxes) {
        ScanRows(box, 2);
        PDF_ScanColumnsForGuards(found, 4, 2, box, g.height);
        EXPECT_EQ(ArenaUsed(), 0);
    }
    for (int w = 1; w <= 16; ++w) {
        for (int h = 1; h <= 16; ++h) {
            std::vector<u8> all(static_cast<size_t>(w) * h);
            for (size_t i = 0; i < all.size(); ++i) all[i] = (i * 37 % 5) < 2 ? 20 : 230;
            InstallFrame(w, h, all);
            const i32 box[4] = {-2, -2, w + 2, h + 2};
            ScanRows(box, 2);
            PDF_ScanColumnsForGuards(found, 4, 2, box, h);
            EXPECT_EQ(Loc_BoxHasPdfGuards(box), 0);
        }
    }
}

}  // namespace
