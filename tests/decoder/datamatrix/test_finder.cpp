// The L-finder on synthetic frames: segments from rows and columns, merging, turns, the
// texture test, the arm checks, arm balancing and the store limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "datamatrix/dm_finder.h"
#include "datamatrix/dm_stages.h"
#include "locate/finder.h"
#include "locate/finder_services.h"

namespace {

using vexo::DM_SEGMENT;
using vexo::g_dmFinder;

// A frame drawn by a coverage function (fraction of dark in the pixel, 4 x 4 subsamples).
struct Canvas {
    int w, h;
    std::vector<uint8_t> px;
    Canvas(int width, int height, const std::function<bool(double, double)> &dark, int ink = 40, int paper = 210)
        : w(width), h(height), px(static_cast<size_t>(width) * height) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                int n = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx) n += dark(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
                px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(paper + (ink - paper) * n / 16);
            }
        }
    }
};

class DmFinderTest : public ::testing::Test {
protected:
    void SetUp() override { vexo::Test_ResetDecoderStatics(); }
    // Installs the canvas and runs both passes over the whole frame.
    void Run(Canvas &c, uint32_t polarity = vexo::kFlag2DDarkOnLight | vexo::kFlag2DLightOnDark) {
        vexo::Pix_SetImagePointer(c.px.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(c.w, c.h);
        vexo::Pix_InstallFrame(c.px.data(), c.w, c.h);
        vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u | polarity;
        vexo::REGION_QUAD region{{{0, 0}, {c.w - 1, 0}, {0, c.h - 1}, {c.w - 1, c.h - 1}}};
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
    }
    // Prepares the segments and counts those over 200 px running down and to the right
    // (-45 degrees, stored as -90).
    static int LongDiagonals() {
        vexo::DM_PrepareSegments();
        int n = 0;
        for (int k = 0; k < g_dmFinder.windowStart; ++k) {
            const DM_SEGMENT &s = g_dmFinder.segments[g_dmFinder.list[k]];
            const int len = static_cast<int>(std::hypot(s.x1 - s.x0, s.y1 - s.y0) / 16);
            if (s.angle >= -1679 && s.angle <= -1201 && len > 200) ++n;
        }
        return n;
    }
    static int Candidates() {
        vexo::DM_L_CANDIDATE out[20];
        return vexo::DM_CollectAllCandidates(out, 20);
    }
};

TEST_F(DmFinderTest, AnEdgeOverFiveRowsIsKeptOverFourDropped) {
    struct Case {
        double top, bottom;  // rows of the dark block
        int rowSegments;
    };
    // Scanned rows 20-36 (five) and 20-32 (four) cross the block's right edge.
    const Case cases[] = {{18, 38, 1}, {18, 34, 0}};
    for (const Case &cs : cases) {
        Canvas c(160, 80, [&](double x, double y) { return x < 100.3 && y >= cs.top && y < cs.bottom; });
        Run(c);
        EXPECT_EQ(g_dmFinder.rowSegments, cs.rowSegments) << "block rows " << cs.top << "-" << cs.bottom;
    }
}

TEST_F(DmFinderTest, ADiagonalEdgeSeenByBothPassesBecomesOneSegment) {
    // Dark below the line y = x + 20 inside a box away from the frame border.
    Canvas c(240, 240, [](double x, double y) { return x > 30 && x < 200 && y < 220 && y > x + 20.3; });
    Run(c);
    ASSERT_GT(g_dmFinder.rowSegments, 0);
    ASSERT_GT(g_dmFinder.allocated, g_dmFinder.rowSegments);
    EXPECT_EQ(LongDiagonals(), 1);
}

TEST_F(DmFinderTest, ATurnOfThirtyDegreesEndsASegment) {
    struct Case {
        double turnDeg;
        int rowSegments;
    };
    // A vertical edge turning just after scanned row 60, so that the step from row 60 to
    // row 64 turns by the whole angle (25 degrees turns by 22 on that step, 35 by 31).
    const Case cases[] = {{25, 1}, {35, 2}, {45, 2}};
    for (const Case &cs : cases) {
        const double t = std::tan(cs.turnDeg * M_PI / 180);
        Canvas c(200, 120, [&](double x, double y) {
            const double edge = y < 61 ? 60.3 : 60.3 + (y - 61) * t;
            return y > 10 && y < 110 && x < edge;
        });
        Run(c);
        EXPECT_EQ(g_dmFinder.rowSegments, cs.rowSegments) << cs.turnDeg << " degrees";
    }
}

TEST_F(DmFinderTest, AUniformSquareFailsTheTextureTestATexturedOnePasses) {
    const auto square = [](bool textured) {
        return [textured](double x, double y) {
            if (x < 80 || x >= 160 || y < 80 || y >= 160) return false;
            const bool finder = x < 88 || y >= 152;
            const int cx = static_cast<int>((x - 80) / 8), cy = static_cast<int>((y - 80) / 8);
            return finder || !textured || ((cx * 7 + cy * 3) % 5) < 2;
        };
    };
    Canvas flat(240, 240, square(false));
    Run(flat);
    EXPECT_EQ(Candidates(), 0);
    Canvas textured(240, 240, square(true));
    Run(textured);
    EXPECT_GE(Candidates(), 1);
}

TEST_F(DmFinderTest, AnotherFinderSucceededTracksNothing) {
    Canvas c(240, 240, [](double x, double y) { return x >= 80 && x < 160 && y >= 80 && y < 160; });
    vexo::Pix_SetImagePointer(c.px.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(c.w, c.h);
    vexo::Pix_InstallFrame(c.px.data(), c.w, c.h);
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u | 0x60u;
    vexo::REGION_QUAD region{{{0, 0}, {c.w - 1, 0}, {0, c.h - 1}, {c.w - 1, c.h - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::g_finderState.success[vexo::kFinderIdQr] = 1;
    vexo::Loc_RunFinders(&region);
    EXPECT_EQ(g_dmFinder.allocated, 0);
    vexo::DM_L_CANDIDATE out{};
    EXPECT_EQ(vexo::DM_GetDM(&out), 0);
}

TEST_F(DmFinderTest, StoresStopAddingWhenFull) {
    // Bands of bars two pixels wide and 20 rows tall, shifted by a pixel in every other band:
    // 320 edges on a 1,280-pixel row and a kept segment on each of the first 128 in every
    // band. The rows go straight to the handler (the framework would take the frame for a
    // linear code).
    Canvas c(1280, 200, [](double x, double y) {
        const int band = static_cast<int>(y) / 24;
        return static_cast<int>(y) % 24 < 20 && (static_cast<int>(x) + band % 2) / 2 % 2 == 0;
    });
    Run(c);  // installs the frame and resets the finders
    vexo::DM_FinderReset(nullptr, nullptr);
    static vexo::EDGE_ITEM edges[2][vexo::kFinderLineEdges];
    vexo::EDGE_LINE lines[2]{};
    vexo::EDGE_LINE empty{};
    vexo::FINDER_LINE fl{};
    fl.previous = &empty;
    int maxPairs = 0;
    for (int y = 0, k = 0; y < c.h; y += 4, k ^= 1) {
        vexo::EDGE_LINE &l = lines[k];
        l = vexo::EDGE_LINE{};
        l.samples = c.px.data() + static_cast<size_t>(y) * 1280;
        l.sampleCount = 1280;
        l.linePosition16 = y * 16;
        l.direction = 1;
        l.edges = edges[k];
        l.capacity = vexo::kFinderLineEdges;
        l.ratio = 102;
        l.minStep = 6;
        vexo::Prof_RowEdges(&l);
        fl.current = &l;
        if (fl.previous->samples != nullptr) {
            vexo::DM_EDGE_PAIR pairs[vexo::kDmMaxLinePairs];
            const int n = vexo::DM_PairLineEdges(&fl, pairs);
            maxPairs = n > maxPairs ? n : maxPairs;
        }
        vexo::DM_FinderRowLine(&fl);
        fl.previous = &l;
    }
    vexo::DM_FinderRowFinish();
    EXPECT_EQ(maxPairs, vexo::kDmMaxLinePairs);
    EXPECT_LE(g_dmFinder.allocated, vexo::kDmMaxSegments);
    EXPECT_GE(g_dmFinder.allocated, 500);  // the store did fill
    Candidates();  // preparation and pairing on a full store
    EXPECT_LE(g_dmFinder.windowStart, vexo::kDmMaxSegments);
}

// Segments placed by hand (1/16 pixel), normalised already.
DM_SEGMENT Seg(int x0, int y0, int x1, int y1, int angle) {
    DM_SEGMENT s{};
    s.x0 = static_cast<int16_t>(x0 * 16);
    s.y0 = static_cast<int16_t>(y0 * 16);
    s.x1 = static_cast<int16_t>(x1 * 16);
    s.y1 = static_cast<int16_t>(y1 * 16);
    const int64_t dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    s.lengthClass = static_cast<uint16_t>((dx * dx + dy * dy + 8192) >> 14);
    s.angle = static_cast<int16_t>(angle);
    s.contrast = 100;
    s.pairScale = 0xFFFF;
    return s;
}

void Store(const std::vector<DM_SEGMENT> &segs) {
    vexo::DM_ResetSegmentStore();
    g_dmFinder.prepared = 1;
    for (size_t k = 0; k < segs.size(); ++k) {
        g_dmFinder.segments[k] = segs[k];
        g_dmFinder.list[k] = static_cast<uint16_t>(k);
    }
    g_dmFinder.allocated = g_dmFinder.windowStart = static_cast<int>(segs.size());
}

TEST_F(DmFinderTest, ASecondLOnAUsedArmIsLimitedToAboutFourTimesTheFirstGap) {
    Store({Seg(100, 40, 100, 100, 720), Seg(100, 100, 160, 100, -720)});
    vexo::DM_PAIR p{};
    p.armA = &g_dmFinder.segments[0];
    p.armB = &g_dmFinder.segments[1];
    p.cornerX = 1600;
    p.cornerY = 1600;
    struct Case {
        uint16_t scale;
        uint32_t gap;
        int pass;
    };
    const Case cases[] = {{0xFFFF, 300, 1}, {10, 1280, 1}, {10, 1281, 0}, {2, 257, 0}};
    for (const Case &c : cases) {
        p.armA->pairScale = c.scale;
        p.gap = c.gap;
        EXPECT_EQ(vexo::DM_CheckPairArms(&p), c.pass) << c.scale << " " << c.gap;
    }
    // An arm shorter than 8 pixels fails.
    g_dmFinder.segments[0] = Seg(100, 93, 100, 100, 720);
    p.armA->pairScale = 0xFFFF;
    p.gap = 10;
    EXPECT_EQ(vexo::DM_CheckPairArms(&p), 0);
}

TEST_F(DmFinderTest, ArmBalancingStopsWithinItsBound) {
    // A ring of collinear segments joined head to tail, and a long first arm: each one
    // extends the second arm by way of the next.
    std::vector<DM_SEGMENT> segs{Seg(100, 0, 100, 400, 720)};
    for (int k = 0; k < 300; ++k) segs.push_back(Seg(100 + k, 400, 101 + k + 30, 400, -720));
    Store(segs);
    vexo::DM_PAIR p{};
    p.armA = &g_dmFinder.segments[0];
    p.armB = &g_dmFinder.segments[1];
    p.cornerX = 1600;
    p.cornerY = 400 * 16;
    p.arm1Sq = 400u * 400u * 256u;
    p.arm2Sq = 30u * 30u * 256u;
    vexo::DM_BalanceArms(&p);
    SUCCEED();
    // Two segments whose ends meet each other's starts: a ring.
    Store({Seg(100, 0, 100, 400, 720), Seg(100, 400, 140, 400, -720), Seg(140, 400, 100, 400, -720)});
    p.armA = &g_dmFinder.segments[0];
    p.armB = &g_dmFinder.segments[1];
    EXPECT_EQ(vexo::DM_BalanceArms(&p), 0);
}

TEST_F(DmFinderTest, AngleTableFollowsItsSource) {
    for (int d = 0; d < vexo::kDmAngleEntries; ++d)
        EXPECT_EQ(vexo::kDmAngleT1[d], std::lround(16 * std::atan(d / 64.0) * 180 / M_PI)) << d;
    EXPECT_EQ(vexo::DM_AngleT2(64), 720);
}

TEST_F(DmFinderTest, RoutinesNoDecodePathCalls) {
    Store({Seg(100, 40, 100, 100, 720), Seg(100, 100, 160, 100, -720), Seg(0, 0, 200, 0, 0)});
    vexo::DM_SortSegmentsByLength();
    EXPECT_NE(vexo::DM_FindLengthClass(g_dmFinder.segments[2].lengthClass), vexo::kDmNoSegment);
    EXPECT_EQ(vexo::DM_FindLengthClass(12345), vexo::kDmNoSegment);
    vexo::DM_PAIR empty{};
    EXPECT_EQ(vexo::DM_CheckScoredPair(&empty), 0);
    // The long segment crosses the square of an L at (100, 100) with arms of 60.
    vexo::DM_L_CANDIDATE l{100 * 16, 40 * 16, 160 * 16, 40 * 16, 160 * 16, 100 * 16, 100 * 16, 100 * 16, 1};
    g_dmFinder.segments[2] = Seg(130, 70, 300, 70, 0);
    EXPECT_EQ(vexo::DM_NoLongerSegmentInside(&l, 20), 0);
    g_dmFinder.segments[2] = Seg(200, 70, 300, 70, 0);
    EXPECT_EQ(vexo::DM_NoLongerSegmentInside(&l, 20), 1);
    vexo::DM_EDGE_PAIR none[1]{};
    vexo::DM_TrackIfPairs(none, 0, 0);
    EXPECT_EQ(g_dmFinder.windowLength, 0);
    vexo::DM_L_CANDIDATE all[4];
    EXPECT_LE(vexo::DM_CollectAllCandidates(all, 4), 4);
}

}  // namespace

namespace {

TEST_F(DmFinderTest, ADiagonalEdgeInTheLowerRightOfALargeFrameMerges) {
    // Merge keys of about 38,000 (1/16 pixel): they would wrap as 16-bit values.
    Canvas c(1280, 960, [](double x, double y) { return x > 1000 && x < 1260 && y < 950 && y > x - 320.3; });
    Run(c);
    EXPECT_EQ(LongDiagonals(), 1);
}

TEST_F(DmFinderTest, TinyFramesFlatAndTextured) {
    for (int w = 1; w <= 16; ++w) {
        for (int h = 1; h <= 16; ++h) {
            for (int textured = 0; textured < 2; ++textured) {
                Canvas c(w, h, [&](double x, double y) {
                    return textured != 0 && ((static_cast<int>(x) * 7 + static_cast<int>(y) * 3) % 5) < 2;
                });
                Run(c);
                EXPECT_LE(g_dmFinder.allocated, vexo::kDmMaxSegments);
                EXPECT_EQ(Candidates(), 0) << w << " x " << h;
            }
        }
    }
    Canvas narrow(12, 400, [](double x, double y) { return x > 5 && static_cast<int>(y) % 40 < 20; });
    Run(narrow);
    Candidates();
    EXPECT_LE(g_dmFinder.windowStart, vexo::kDmMaxSegments);
}

}  // namespace
