// The finder framework over rendered symbols, run as the region stage runs it: the region
// aligned, its edge thresholds estimated, the finders reset and run. Code 128 regions,
// upright and turned a quarter, are recognised as crossed by bars and no finder is asked;
// QR Code regions reach the finders, and a finder that finds two finder patterns on a row
// wins the region.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"
#include "test_finder_fake.h"
#include "test_finder_support.h"

namespace {

using finder_test::g_recorder;
using vexo::REGION_QUAD;

constexpr int kBackground = 100;

struct Scene {
    std::vector<uint8_t> pixels;
    int width = 0, height = 0;
    REGION_QUAD region{};  // bounding box of the symbol and its quiet zone, as region selection gives it
    testkit::Point centre;
};

Scene Render(int symbology, const std::string &data, double moduleSize, double angleDeg, double noise, uint64_t seed) {
    Scene s;
    const testkit::Symbol sym = testkit::Encode(symbology, data);
    EXPECT_TRUE(sym.ok) << sym.error;
    testkit::RenderOptions o;
    o.width = 752;
    o.height = 480;
    o.moduleSize = moduleSize;
    o.angleDeg = angleDeg;
    o.quietZone = 6;
    o.background = kBackground;
    o.noiseSigma = noise;
    o.blurSigma = 0.6;
    o.seed = seed;
    const testkit::Rendered r = testkit::Render(sym, o);
    s.pixels = r.frame.pixels;
    s.width = r.frame.width;
    s.height = r.frame.height;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (testkit::Point p : {testkit::Point{-4, -4}, testkit::Point{sym.width + 4, -4},
                             testkit::Point{-4, sym.height + 4}, testkit::Point{sym.width + 4, sym.height + 4}}) {
        const testkit::Point q = r.transform.ToImage(p);
        x0 = std::min(x0, q.x);
        y0 = std::min(y0, q.y);
        x1 = std::max(x1, q.x);
        y1 = std::max(y1, q.y);
    }
    s.region = finder_test::Box(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1));
    s.centre = r.transform.ToImage(testkit::Point{sym.width / 2, sym.height / 2});
    return s;
}

class FinderSymbolTest : public finder_test::FinderTest {
protected:
    void SetUp() override {
        FinderTest::SetUp();
        g_recorder = finder_test::Recorder{};
    }
    // The region stage's steps for one region over a table.
    int RunRegion(Scene &s, const vexo::FINDER_MODULE *table, int count) {
        Install(s.pixels.data(), s.width, s.height);
        REGION_QUAD aligned = s.region;
        const int y0 = aligned.c[0].y;
        aligned.c[0].y = aligned.c[1].y = y0 + 4 - y0 % 4;
        vexo::u32 minStep = 0;
        const int ratio = vexo::Loc_QuadMidlineThresholds(&aligned, &minStep);
        vexo::g_edgeThresholds = {static_cast<vexo::u16>(ratio), minStep};
        vexo::Loc_ResetFinderTable(table, count, &aligned, &s.region);
        return vexo::Loc_RunFinderTable(table, count, &aligned);
    }
};

struct FinderLinearCase {
    const char *data;
    double moduleSize;
    double angleDeg;
    double noise;
};

TEST_F(FinderSymbolTest, Code128RegionsAreCrossedByBarsAndNoFinderIsAsked) {
    const FinderLinearCase cases[] = {
        {"FINDER-128", 3, 0, 0},     {"FINDER-128", 3, 90, 0},   {"0123456789AB", 2, 0, 3},
        {"0123456789AB", 2, 90, 3},  {"Code 128 wide", 4, 0, 5}, {"Code 128 wide", 4, 270, 5},
        {"short", 3, 2, 2},          {"short", 3, 92, 2},
    };
    uint64_t seed = 40;
    for (const FinderLinearCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.data << " at " << c.moduleSize << " px, " << c.angleDeg << " degrees, seed "
                                        << seed);
        Scene s = Render(BARCODE_CODE128, c.data, c.moduleSize, c.angleDeg, c.noise, seed++);
        g_recorder = finder_test::Recorder{};
        EXPECT_EQ(RunRegion(s, finder_test::kFakeTable, 4), 1) << finder_test::Describe(s.region);
        EXPECT_EQ(g_recorder.wantsAsked, 0);
        EXPECT_EQ(g_recorder.calls.size(), 3u);  // the resets only
        EXPECT_EQ(vexo::Loc_RunFinders(&s.region), 1);
    }
}

TEST_F(FinderSymbolTest, QrRegionsReachTheFinders) {
    uint64_t seed = 60;
    for (double angle : {0.0, 90.0, 15.0}) {
        SCOPED_TRACE(testing::Message() << "angle " << angle << " seed " << seed);
        Scene s = Render(BARCODE_QRCODE, "FINDER FRAMEWORK", 4, angle, 3, seed++);
        g_recorder = finder_test::Recorder{};
        EXPECT_EQ(RunRegion(s, finder_test::kFakeTable, 4), 0) << finder_test::Describe(s.region);
        const REGION_QUAD &r = s.region;
        const int rows = g_recorder.Count(0, 'r'), cols = g_recorder.Count(0, 'c');
        const int y0 = r.c[0].y + 4 - r.c[0].y % 4;
        EXPECT_EQ(rows, (r.c[3].y - y0 + 3) / 4);
        EXPECT_EQ(cols, (r.c[1].x - r.c[0].x + 3) / 4);
        EXPECT_EQ(g_recorder.Count(2, 'r'), rows);
    }
}

// ---- Arbitration over a QR region: a test finder that raises byte 2 on a row with two
// dark-light-dark-light-dark runs of widths 1:1:3:1:1, and one that stops once another
// finder succeeded.

struct ArbitrationLog {
    int raisedAt = -1;          // row where byte 2 was raised
    std::vector<int> stopped;   // lines on which the second finder stopped early
    std::vector<int> looked;    // lines on which it looked
    std::vector<int> lockSeen;  // lockedId seen by the second finder per line
};
ArbitrationLog g_log;

bool Near(double w, double unit, double n) { return std::fabs(w - n * unit) <= 0.6 * unit; }

int FinderPatternsOn(const vexo::EDGE_LINE &line) {
    int found = 0;
    for (int k = 0; k + 5 < line.edgeCount; ++k) {
        if ((line.edges[k].flags & vexo::kEdgeFalling) == 0) continue;
        double w[5];
        bool alternating = true;
        for (int j = 0; j < 5; ++j) {
            w[j] = (line.edges[k + j + 1].position - line.edges[k + j].position) / 16.0;
            const bool falling = (line.edges[k + j].flags & vexo::kEdgeFalling) != 0;
            alternating = alternating && falling == (j % 2 == 0);
        }
        const double unit = (w[0] + w[1] + w[2] + w[3] + w[4]) / 7;
        if (alternating && unit > 1 && Near(w[0], unit, 1) && Near(w[1], unit, 1) && Near(w[2], unit, 3) &&
            Near(w[3], unit, 1) && Near(w[4], unit, 1)) {
            ++found;
            k += 5;
        }
    }
    return found;
}

int Wants() { return 1; }

void PatternRowLine(vexo::FINDER_LINE *line) {
    if (vexo::Loc_OtherFinderSucceeded(vexo::kFinderIdQr) == 1) return;
    if (line->previous == nullptr || line->previous->samples == nullptr) return;
    if (g_log.raisedAt < 0 && FinderPatternsOn(*line->current) >= 2) {
        vexo::g_finderState.success[vexo::kFinderIdQr] = 1;
        g_log.raisedAt = line->current->linePosition;
    }
}

void OtherLine(vexo::FINDER_LINE *line) {
    const int pos = line->current->linePosition + (line->current->direction == 0 ? 10000 : 0);
    g_log.lockSeen.push_back(vexo::g_finderState.lockFlag != 0 ? vexo::g_finderState.lockedId : -1);
    if (vexo::Loc_OtherFinderSucceeded(vexo::kFinderIdDataMatrix) == 1) {
        g_log.stopped.push_back(pos);
        return;
    }
    g_log.looked.push_back(pos);
}

void QueueReset(REGION_QUAD *, REGION_QUAD *) { vexo::g_qrFinderQueue = {finder_test::g_fakeRing, finder_test::g_fakeRing}; }

constexpr vexo::FINDER_MODULE kArbitrationTable[3] = {
    {QueueReset, Wants, PatternRowLine, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, Wants, OtherLine, nullptr, Wants, OtherLine, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

TEST_F(FinderSymbolTest, TheFinderThatSucceedsFirstWinsTheRegion) {
    g_log = ArbitrationLog{};
    // No noise: the framework's edge lists keep steps of 6 in the dark modules, which this
    // simple pattern test does not ride out.
    Scene s = Render(BARCODE_QRCODE, "ARBITRATION", 4, 0, 0, 70);
    EXPECT_EQ(RunRegion(s, kArbitrationTable, 3), 0);
    ASSERT_GE(g_log.raisedAt, 0) << "no row with two finder patterns";
    // The finder patterns lie in the top seven modules of the symbol.
    EXPECT_LT(g_log.raisedAt, s.centre.y);
    EXPECT_EQ(vexo::Loc_GetWinningFinder(), vexo::kFinderIdQr);
    // The other finder looked at every row up to the one where byte 2 rose (it runs after
    // the QR entry on that row) and stopped on every line after it, columns included.
    ASSERT_FALSE(g_log.looked.empty());
    EXPECT_EQ(g_log.looked.back(), g_log.raisedAt - 4);
    EXPECT_EQ(g_log.stopped.front(), g_log.raisedAt);
    EXPECT_GT(g_log.stopped.back(), 10000);
    // The lock is taken before the next line.
    const size_t raisedIndex = g_log.looked.size();
    EXPECT_EQ(g_log.lockSeen[raisedIndex], -1);
    EXPECT_EQ(g_log.lockSeen[raisedIndex + 1], vexo::kFinderIdQr);
    EXPECT_EQ(g_log.lockSeen.back(), vexo::kFinderIdQr);
}

}  // namespace
