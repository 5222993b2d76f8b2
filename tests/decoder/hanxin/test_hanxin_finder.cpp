// Han Xin finder side on synthetic images and hand-made records: the line finder through
// the framework (polarity gates, the arbitration, duplicates, a full list, the width limit),
// the alternating edges and the arm pattern of the fine locator, the checks of the
// measurement pass, grouping on placed shapes, and hand-made candidates that reach the
// walk's and the fan's limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "hanxin/cscn_finder.h"
#include "locate/finder.h"

namespace {

using namespace vexo;

// A grey frame with Han Xin finder patterns drawn module by module. A pattern's core lies in
// the corner (cornerRow, cornerCol) of its 7 x 7 block (0 or 1 each), its bands wrap it.
class HxSynth {
public:
    HxSynth(int w, int h, int ground) : w_(w), h_(h), px_(static_cast<size_t>(w) * h, static_cast<u8>(ground)) {}

    // Modules mx wide and my high (a stretched pattern when they differ), no bars.
    void PatternModules(int x0, int y0, int mx, int my, bool coreBottom, bool coreRight, int ink) {
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 7; ++c) {
                // Drawn as a top-left pattern (core at rows and columns 4-6), then mirrored.
                const int rr = coreBottom ? r : 6 - r, cc = coreRight ? c : 6 - c;
                const bool dark = rr == 0 || cc == 0 || (rr == 2 && cc >= 2) || (cc == 2 && rr >= 2) || (rr >= 4 && cc >= 4);
                if (dark) Fill(x0 + c * mx, y0 + r * my, mx, my, ink);
            }
    }
    void Pattern(int x0, int y0, int module, bool coreBottom, bool coreRight, int ink, bool rowBar = true) {
        PatternModules(x0, y0, module, module, coreBottom, coreRight, ink);
        // A one-module bar two modules beyond the core on each of its open sides, as the data
        // of a symbol: a line of only the pattern's six edges is passed over.
        if (rowBar) Fill(coreRight ? x0 + 9 * module : x0 - 3 * module, y0, module, 7 * module, ink);
        Fill(x0, coreBottom ? y0 + 9 * module : y0 - 3 * module, 7 * module, module, ink);
    }
    void Fill(int x0, int y0, int w, int h, int v) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y) * w_ + x] = static_cast<u8>(v);
    }
    void Install() {
        Pix_SetImagePointer(px_.data());
        Pix_SetSecondBuffer(g_internalImage);
        Pix_SetImageSize(w_, h_);
    }
    int w_, h_;
    std::vector<u8> px_;
};

class HanXinFinder : public vexo_test::DecoderTest {
protected:
    static void Enable(u32 readMode) {
        for (int k : {kSymQr, kSymMicroQr, kSymDataMatrix, kSymMaxiCode, kSymAztec, kSymPdf417, kSymMicroPdf417})
            g_params.flagsWord[k] &= ~kFlagEnabled;
        u32 &w = g_params.flagsWord[kSymCsCode];
        w = (w & ~kFlag2DReadModeMask) | kFlagEnabled | readMode;
    }
    // The pass reset, then the given candidates of the normal pass refined and measured.
    static int MeasureCandidates(int w, int h, std::initializer_list<CSCN_CANDIDATE> list) {
        RunFrame(w, h, true);
        g_edgeThresholds = kDefaultEdgeThresholds;
        int n = 0;
        for (const CSCN_CANDIDATE &c : list) g_cscnCandidates.normalList[n++] = c;
        g_cscnCandidates.normalListCount = n;
        CSCN_RefineCandidates(&g_cscnCandidates, &g_cscnFinderSet);
        return CSCN_MeasureFinders(&g_cscnFinderSet);
    }
    static CSCN_CANDIDATE Candidate(POINT_I32 centre, POINT_I32 a, POINT_I32 b) {
        CSCN_CANDIDATE c{};
        c.centre = centre;
        c.armEnd[0] = a;
        c.armEnd[1] = b;
        return c;
    }
    static void RunFrame(int w, int h, bool resetOnly = false) {
        REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
        Loc_ResetFinders(&region, &region);
        if (!resetOnly) Loc_RunFinders(&region);
    }
};

// ---- The line finder through the framework.

TEST_F(HanXinFinder, LineFinderPolarityAndWidth) {
    struct HxLineCase {
        const char *name;
        int module;
        bool inverted;
        u32 mode;
        int normal, inverse;  // candidates expected in each list
    };
    const HxLineCase cases[] = {
        {"dark on light, 4 px", 4, false, kFlag2DDarkOnLight, 1, 0},
        {"dark on light, 6 px", 6, false, kFlag2DDarkOnLight, 1, 0},
        {"dark on light, 11 px: width 77", 11, false, kFlag2DDarkOnLight, 1, 0},
        {"12 px: width 84 is over the limit", 12, false, kFlag2DDarkOnLight, 0, 0},
        {"light on dark, 0x40 alone", 4, true, kFlag2DLightOnDark, 0, 1},
        {"dark on light, 0x40 alone: only the inverse list", 4, false, kFlag2DLightOnDark, 0, 0},
        {"both passes, dark on light", 4, false, kFlag2DDarkOnLight | kFlag2DLightOnDark, 1, 0},
    };
    for (const HxLineCase &c : cases) {
        SCOPED_TRACE(c.name);
        HxSynth s(200, 200, c.inverted ? 30 : 220);
        s.Pattern(60, 60, c.module, true, true, c.inverted ? 220 : 30);
        s.Install();
        Enable(c.mode);
        RunFrame(200, 200);
        EXPECT_EQ(g_cscnCandidates.normalListCount, c.normal);
        EXPECT_EQ(g_cscnCandidates.inverseListCount, c.inverse);
        if (c.normal + c.inverse == 1) {
            const CSCN_CANDIDATE &k = c.normal == 1 ? g_cscnCandidates.normalList[0] : g_cscnCandidates.inverseList[0];
            // The core spans modules 4-6: its centre is module 5's middle.
            const double cx = 60 + 5.5 * c.module - 0.5;
            EXPECT_LE(std::fabs(k.centre.x - cx), 3);
            EXPECT_LE(std::fabs(k.centre.y - cx), 3);
            EXPECT_EQ(k.width, 7 * c.module);
            // Arm ends up and to the left of the core, where the bands wrap it.
            const bool up = k.armEnd[0].y < k.centre.y - c.module || k.armEnd[1].y < k.centre.y - c.module;
            const bool left = k.armEnd[0].x < k.centre.x - c.module || k.armEnd[1].x < k.centre.x - c.module;
            EXPECT_TRUE(up && left);
        }
    }
}

// Rows through this pattern hold only its six edges and are passed over: the candidate
// comes from a column. Light modules need the extent bounded from the brightest pixel, or
// every column hit of the inverse pass is dropped.
TEST_F(HanXinFinder, ColumnHitsInBothPasses) {
    for (bool inverted : {false, true}) {
        SCOPED_TRACE(inverted ? "light on dark" : "dark on light");
        HxSynth s(200, 200, inverted ? 30 : 220);
        s.Pattern(60, 60, 5, true, true, inverted ? 220 : 30, false);
        s.Install();
        Enable(inverted ? kFlag2DLightOnDark : kFlag2DDarkOnLight);
        RunFrame(200, 200);
        EXPECT_EQ(inverted ? g_cscnCandidates.inverseListCount : g_cscnCandidates.normalListCount, 1);
    }
}

TEST_F(HanXinFinder, PolarityModeKeptAndArbitration) {
    HxSynth s(200, 200, 220);
    s.Pattern(60, 60, 4, true, true, 30);
    s.Install();
    // Neither bit: the mode of the last reset that saw one (0 at load: the normal pass).
    Enable(0);
    RunFrame(200, 200);
    EXPECT_EQ(g_cscnHitRing.polarityMode, 0);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 1);
    Enable(kFlag2DLightOnDark);
    RunFrame(200, 200, true);
    Enable(0);
    RunFrame(200, 200);
    EXPECT_EQ(g_cscnHitRing.polarityMode, 1);
    EXPECT_EQ(g_cscnInverseGate, 1);
    EXPECT_EQ(g_cscnNormalGate, 0);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 0);

    // Another finder's success byte, or another id locked: no line is examined.
    Enable(kFlag2DDarkOnLight);
    RunFrame(200, 200, true);
    EDGE_ITEM edges[16];
    for (int i = 0; i < 16; ++i) edges[i] = {static_cast<i16>(16 * (10 + 4 * i)), static_cast<u16>((i & 1 ? 0 : 0x8000) | 100)};
    EDGE_LINE line{};
    line.edges = edges;
    line.edgeCount = 16;
    line.direction = 1;
    line.linePosition = 81;
    FINDER_LINE fl{};
    fl.current = &line;
    // Edges of a 1:1:1:1:3 row through the core, left to right.
    const int xs[] = {60, 64, 68, 72, 76, 88};
    for (int i = 0; i < 6; ++i) edges[i] = {static_cast<i16>(16 * xs[i]), static_cast<u16>((i & 1 ? 0 : 0x8000) | 100)};
    line.edgeCount = 6 + 1;
    edges[6] = {static_cast<i16>(16 * 100), 0x8000 | 100};
    g_finderState.success[kFinderIdAztec] = 1;
    CSCN_FinderLine(&fl);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 0);
    g_finderState.success[kFinderIdAztec] = 0;
    g_finderState.lockedId = kFinderIdQr;
    CSCN_FinderLine(&fl);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 0);
    g_finderState.lockedId = kFinderNoneLocked;
    CSCN_FinderLine(&fl);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 1);
    // The same line again: the hit recentres onto the stored core and adds nothing.
    CSCN_FinderLine(&fl);
    EXPECT_EQ(g_cscnCandidates.normalListCount, 1);
}

TEST_F(HanXinFinder, FullListEndsRefinement) {
    // 36 patterns (6 x 6), 3 px modules: the list stops at 32.
    HxSynth s(400, 400, 220);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) s.Pattern(20 + 60 * c, 20 + 60 * r, 4, true, true, 30);
    s.Install();
    Enable(kFlag2DDarkOnLight);
    RunFrame(400, 400);
    EXPECT_EQ(g_cscnCandidates.normalListCount, kCscnCandidates);
    // A full pass stops the measurement at once.
    CSCN_RefineCandidates(&g_cscnCandidates, &g_cscnFinderSet);
    EXPECT_EQ(g_cscnFinderSet.normalCount, kCscnCandidates);
    EXPECT_EQ(CSCN_MeasureFinders(&g_cscnFinderSet), 0);
    EXPECT_EQ(g_cscnBoxes.count, 0);
}

// ---- Fine locator pieces on sample rows.

std::vector<u8> HxRuns(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<u8> v;
    for (const auto &r : runs) v.insert(v.end(), static_cast<size_t>(r.second), static_cast<u8>(r.first));
    return v;
}

TEST_F(HanXinFinder, ArmPatternTable) {
    g_edgeThresholds = kDefaultEdgeThresholds;
    struct HxArmCase {
        const char *name;
        std::vector<u8> samples;
        int pass;
        int ok;
    };
    const int D = 30, L = 220;
    const HxArmCase cases[] = {
        {"five edges, even bands", HxRuns({{D, 12}, {L, 4}, {D, 4}, {L, 4}, {D, 4}, {L, 10}}), 1, 1},
        {"four edges", HxRuns({{D, 12}, {L, 4}, {D, 4}, {L, 4}, {D, 14}}), 1, 0},
        // a = e3 - e1 = 8, b = e4 - e2: 8 x (1 - 215/1024) = 6.3; 7 passes, 6 fails.
        {"double widths 8 and 7", HxRuns({{D, 12}, {L, 4}, {D, 4}, {L, 4}, {D, 3}, {L, 10}}), 1, 1},
        {"double widths 8 and 6", HxRuns({{D, 12}, {L, 4}, {D, 4}, {L, 4}, {D, 2}, {L, 10}}), 1, 0},
        {"inverse pass, light core", HxRuns({{L, 12}, {D, 4}, {L, 4}, {D, 4}, {L, 4}, {D, 10}}), 0, 1},
        {"inverse pass, dark core", HxRuns({{D, 12}, {L, 4}, {D, 4}, {L, 4}, {D, 4}, {L, 10}}), 0, 0},
    };
    for (const HxArmCase &c : cases) {
        SCOPED_TRACE(c.name);
        g_cscnCurrentPass = c.pass;
        i32 fifth = -1;
        EXPECT_EQ(CSCN_CheckArmPattern(c.samples.data(), static_cast<i32>(c.samples.size()), &fifth), c.ok);
        if (c.ok == 1) {
            EXPECT_NEAR(fifth / 16.0, 28, 1.5);
        }
    }
    // Flag 1: the first edge listed rises; flag 0: it falls.
    const std::vector<u8> up = HxRuns({{D, 6}, {L, 6}, {D, 6}, {L, 6}});
    i32 e[8];
    g_cscnCurrentPass = 1;
    ASSERT_EQ(CSCN_FindAlternatingEdges(up.data(), static_cast<i32>(up.size()), e, 8), 3);
    EXPECT_NEAR(e[0] / 16.0, 6, 1);
    g_cscnCurrentPass = 0;
    ASSERT_EQ(CSCN_FindAlternatingEdges(up.data(), static_cast<i32>(up.size()), e, 8), 2);
    EXPECT_NEAR(e[0] / 16.0, 12, 1);
    EXPECT_EQ(CSCN_FindAlternatingEdges(up.data(), static_cast<i32>(up.size()), e, 0), 0);
}

TEST_F(HanXinFinder, MeasureFinderOnADrawnPattern) {
    HxSynth s(160, 160, 220);
    s.Pattern(40, 40, 6, true, true, 30);
    s.Install();
    g_edgeThresholds = kDefaultEdgeThresholds;
    g_cscnCurrentPass = 1;
    CSCN_FINDER f{};
    POINT_I32 pts[3] = {{72, 72}, {72, 50}, {50, 72}};
    CSCN_FINDER_REF ref{&f, &pts[0], &pts[1], &pts[2], -1, 0, 0, 0};
    ASSERT_EQ(CSCN_MeasureFinder(&ref), 1);
    EXPECT_EQ(f.valid, 1);
    EXPECT_NEAR(f.moduleSize, 96, 96 * 0.05);
    // The outer corner module's centre: (40 + 3, 40 + 3) minus half a pixel.
    EXPECT_NEAR(f.latticeCorner.x / 16.0, 42.5, 1.0);
    EXPECT_NEAR(f.latticeCorner.y / 16.0, 42.5, 1.0);
    EXPECT_NEAR(std::hypot(f.axis1.x, f.axis1.y) / 256.0, 6, 0.3);
    EXPECT_EQ(static_cast<long long>(f.axis1.x) * f.axis2.x + static_cast<long long>(f.axis1.y) * f.axis2.y, 0);
    // Data modules one module beyond the outer bands, as beyond the separator of the pattern
    // whose core sits at the symbol's corner: the arm rays reach into them, and their edges
    // beyond the fifth do not cost the fit its points.
    HxSynth data(160, 160, 220);
    data.Pattern(40, 40, 6, true, true, 30);
    data.Fill(28, 28, 6, 54, 30);
    data.Fill(28, 28, 54, 6, 30);
    data.Install();
    CSCN_FINDER d{};
    CSCN_FINDER_REF beyond{&d, &pts[0], &pts[1], &pts[2], -1, 0, 0, 0};
    ASSERT_EQ(CSCN_MeasureFinder(&beyond), 1);
    EXPECT_NEAR(d.moduleSize, 96, 96 * 0.05);
    EXPECT_NEAR(d.latticeCorner.x / 16.0, 42.5, 1.0);
    EXPECT_NEAR(d.latticeCorner.y / 16.0, 42.5, 1.0);
    s.Install();
    // A zero-length arm fails at once.
    CSCN_FINDER g{};
    POINT_I32 flat[3] = {{72, 72}, {72, 72}, {50, 72}};
    CSCN_FINDER_REF zero{&g, &flat[0], &flat[1], &flat[2], -1, 0, 0, 0};
    EXPECT_EQ(CSCN_MeasureFinder(&zero), 0);
    EXPECT_EQ(g.valid, 0);
    // An arm whose rays show the pattern on fewer than 8 of 16 rays: the bands cut short.
    HxSynth cut(160, 160, 220);
    cut.Pattern(40, 40, 6, true, true, 30);
    cut.Fill(40, 40, 24, 12, 220);
    cut.Install();
    CSCN_FINDER h{};
    CSCN_FINDER_REF shortArm{&h, &pts[0], &pts[1], &pts[2], -1, 0, 0, 0};
    EXPECT_EQ(CSCN_MeasureFinder(&shortArm), 0);
}

// ---- The measurement pass's checks.

TEST_F(HanXinFinder, MeasurePassChecks) {
    HxSynth s(200, 200, 220);
    s.Pattern(40, 40, 6, true, true, 30);
    s.Install();
    Enable(kFlag2DDarkOnLight);
    // Two references to the same core: the second centre lies in the first one's box.
    const CSCN_CANDIDATE c = Candidate({72, 72}, {72, 50}, {50, 72});
    EXPECT_EQ(MeasureCandidates(200, 200, {c, c}), 1);
    EXPECT_EQ(g_cscnFinderSet.normalRefs[0].finder->valid, 1);
    EXPECT_EQ(g_cscnFinderSet.normalRefs[1].finder->valid, 0);
    EXPECT_EQ(g_cscnFinderSet.normalRefs[1].centreDistance, -1);
    ASSERT_EQ(g_cscnBoxes.count, 1);
    const CSCN_BOX &b = g_cscnBoxes.boxes[0];
    EXPECT_TRUE(b.xMin <= 45 && b.yMin <= 45 && b.xMax >= 72 && b.yMax >= 72);
    // With 32 boxes registered another accepted pattern adds none.
    RunFrame(200, 200, true);
    for (CSCN_BOX &x : g_cscnBoxes.boxes) x = CSCN_BOX{-9, -9, -8, -8, 0};
    g_cscnCandidates.normalList[0] = c;
    g_cscnCandidates.normalListCount = 1;
    g_cscnBoxes.count = kCscnBoxes;
    CSCN_RefineCandidates(&g_cscnCandidates, &g_cscnFinderSet);
    EXPECT_EQ(CSCN_MeasureFinders(&g_cscnFinderSet), 1);
    EXPECT_EQ(g_cscnFinderSet.normalRefs[0].finder->valid, 1);
    EXPECT_EQ(g_cscnBoxes.count, kCscnBoxes);
    CSCN_ListValidFinders(&g_cscnFinderSet);
    EXPECT_EQ(g_cscnFinderSet.normalValidCount, 1);
    EXPECT_EQ(g_cscnFinderSet.inverseValidCount, 0);
}

TEST_F(HanXinFinder, StretchedPatternIsMeasuredThenRefused) {
    // Stretched 12:5: the shape's sides differ by more than 2.5 in square.
    HxSynth s(240, 200, 220);
    s.PatternModules(30, 40, 12, 5, true, true, 30);
    s.Install();
    Enable(kFlag2DDarkOnLight);
    MeasureCandidates(240, 200, {Candidate({95, 67}, {95, 45}, {40, 67})});
    const CSCN_FINDER &f = *g_cscnFinderSet.normalRefs[0].finder;
    EXPECT_EQ(f.valid, 0);
    EXPECT_NE(g_cscnFinderSet.normalRefs[0].centreDistance, -1);  // measured, then refused
    // The side ratio alone refuses it: its box is still registered.
    EXPECT_EQ(g_cscnBoxes.count, 1);
}

// ---- Grouping on placed shapes (right-angled, as the rotation classes take them).

class HanXinGroups : public HanXinFinder {
protected:
    void SetUp() override {
        HanXinFinder::SetUp();
        static std::vector<u8> blank(400 * 400, 220);
        Pix_SetImagePointer(blank.data());
        Pix_SetImageSize(400, 400);
        Enable(kFlag2DDarkOnLight);
        RunFrame(400, 400, true);
    }
    // A pattern with its corner at (x, y) and arms of length 20 along the two unit vectors.
    void Add(int x, int y, int ax, int ay, int bx, int by, int mark = 0) {
        const int i = g_cscnFinderSet.normalCount++;
        CSCN_FINDER_REF &r = g_cscnFinderSet.normalRefs[i];
        CSCN_FINDER &f = *r.finder;
        f.shape[0] = {x + 20 * ax, y + 20 * ay};
        f.shape[1] = {x, y};
        f.shape[2] = {x + 20 * bx, y + 20 * by};
        f.shape[3] = {f.shape[0].x + f.shape[2].x - x, f.shape[0].y + f.shape[2].y - y};
        f.valid = 1;
        f.mark = mark;
        *r.centre = {x, y};
        *r.endA = f.shape[0];
        *r.endB = f.shape[2];
    }
    int Group(CSCN_FINDER_GROUP *g) {
        CSCN_ListValidFinders(&g_cscnFinderSet);
        return CSCN_GroupFinders(&g_cscnFinderSet, g, kCscnGroupsPerPass, 0);
    }
};

TEST_F(HanXinGroups, OneOrTwoPatterns) {
    CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
    Add(150, 150, 0, -1, -1, 0);
    EXPECT_EQ(Group(g), 0);
    EXPECT_EQ(g[0].slot[0], kCscnEmptySlot);
    // A quarter turn apart (the second turned clockwise): slots 0 and 1.
    Add(250, 150, 1, 0, 0, -1);
    ASSERT_EQ(Group(g), 1);
    EXPECT_EQ(g[0].normalMembers, 2);
    EXPECT_EQ(g[0].slot[0] + g[0].slot[1], 1);
    EXPECT_EQ(g[0].slot[2], kCscnEmptySlot);
    EXPECT_EQ(g[0].marked, 0);
}

TEST_F(HanXinGroups, SameOrientationOrHalfTurnGoesDiagonal) {
    for (int flip : {1, -1}) {
        SetUp();
        CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
        Add(150, 150, 0, -1, -1, 0);
        Add(250, 250, 0, -flip, -flip, 0);
        const int n = Group(g);
        SCOPED_TRACE(flip);
        if (n == 1) {
            EXPECT_NE(g[0].slot[0], kCscnEmptySlot);
            EXPECT_NE(g[0].slot[2], kCscnEmptySlot);
            EXPECT_EQ(g[0].slot[1], kCscnEmptySlot);
        }
    }
}

TEST_F(HanXinGroups, ThreePatternsPutTheRightAngleInSlot1) {
    // Corners of a square: top-left (0), top-right (1), bottom-right (2) turned in order.
    const int order[3][3] = {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}};
    const int at[3][6] = {{150, 150, 0, -1, -1, 0}, {250, 150, 1, 0, 0, -1}, {250, 250, 0, 1, 1, 0}};
    for (const auto &o : order) {
        SetUp();
        for (int k : o) Add(at[k][0], at[k][1], at[k][2], at[k][3], at[k][4], at[k][5]);
        CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
        ASSERT_EQ(Group(g), 1);
        EXPECT_EQ(g[0].normalMembers, 3);
        ASSERT_NE(g[0].slot[1], kCscnEmptySlot);
        const POINT_I32 c = *g_cscnFinderSet.normalRefs[g[0].slot[1]].centre;
        EXPECT_EQ(c.x * 1000 + c.y, 250150);
    }
}

TEST_F(HanXinGroups, GroupCheckRejects) {
    // Side ratio: the third corner far out makes one side more than 2.5 times another.
    Add(150, 150, 0, -1, -1, 0);
    Add(180, 150, 1, 0, 0, -1);
    Add(180, 380, 0, 1, 1, 0);
    CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Group(g), 0);
    // The neighbour at 45 degrees to pattern 0's arm: cosine 707, inside 201..964.
    SetUp();
    Add(150, 150, 0, -1, -1, 0);
    Add(250, 250, 1, 0, 0, -1);
    EXPECT_EQ(Group(g), 0);
}

TEST_F(HanXinGroups, OnlyTheTenNearestNeighboursCount) {
    // A seed at the centre, ten same-orientation decoys nearer than its quarter-turn partner.
    Add(200, 200, 0, -1, -1, 0);
    for (int k = 0; k < 10; ++k) Add(205 + k, 196 + (k & 1), 0, -1, -1, 0);
    Add(300, 200, 1, 0, 0, -1);
    CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
    const int n = Group(g);
    for (int k = 0; k < n; ++k)
        for (u16 s : g[k].slot) EXPECT_NE(s, 11);  // the partner is never reached from the seed
}

// ---- Hand-made candidates at the walk's and the fan's limits (run under the sanitizers).

TEST_F(HanXinFinder, HandMadeCandidatesStayBounded) {
    HxSynth s(752, 480, 220);
    s.Pattern(300, 200, 5, true, true, 30);
    s.Install();
    g_edgeThresholds = kDefaultEdgeThresholds;
    g_cscnCurrentPass = 1;
    const POINT_I32 k{327, 227};
    struct HxHand {
        const char *name;
        POINT_I32 a, b;
    };
    const HxHand hands[] = {
        {"arms 500 px long", {327, -273}, {-173, 227}},
        {"arms 500 px the other way", {827, 227}, {327, 727}},
        {"one arm along the core's row", {300, 227}, {327, 100}},
        {"arms one pixel long", {327, 226}, {326, 227}},
    };
    for (const HxHand &h : hands) {
        SCOPED_TRACE(h.name);
        CSCN_FINDER f{};
        POINT_I32 pts[3] = {k, h.a, h.b};
        CSCN_FINDER_REF ref{&f, &pts[0], &pts[1], &pts[2], -1, 0, 0, 0};
        const int ok = CSCN_MeasureFinder(&ref);
        if (ok == 1) {
            EXPECT_NEAR(f.latticeCorner.x / 16.0, 302, 3);
            EXPECT_NEAR(f.latticeCorner.y / 16.0, 202, 3);
        }
        POINT_I32 p{};
        if (CSCN_FindFinderDiagonalEnd(k, h.a, h.b, &p) == 1) {
            // A found point lies on a ray that showed the pattern: near the pattern's corner.
            EXPECT_NEAR(p.x / 16.0, 300, 4);
            EXPECT_NEAR(p.y / 16.0, 200, 4);
        }
    }
    // Walks whose diagonal end lies on the core's row or column, or on the arm's own line:
    // each ends (or fails) without a zero length, at a point of the frame.
    const POINT_I32 walks[][2] = {{{300, 227}, {250, 227}}, {{300, 227}, {327, 150}}, {{327, 200}, {327, 150}},
                                  {{300, 200}, {327, 227}}, {{300, 200}, {250, 227}}};
    for (const auto &w : walks) {
        POINT_I32 end{w[1].x * 16, w[1].y * 16};
        const int ok = CSCN_WalkArmEnd({k.x * 16, k.y * 16}, {w[0].x * 16, w[0].y * 16}, &end);
        if (ok == 1) {
            EXPECT_TRUE(end.x >= 0 && end.x < 752 * 16 && end.y >= 0 && end.y < 480 * 16);
        }
    }
}

TEST_F(HanXinFinder, CandidatesAtTheBordersOfSmallFrames) {
    for (int size : {8, 16, 40}) {
        HxSynth s(size, size, 220);
        s.Pattern(-3, -3, 2, true, true, 30);
        s.Pattern(size - 11, size - 11, 2, false, false, 30);
        s.Install();
        Enable(kFlag2DDarkOnLight | kFlag2DLightOnDark);
        RunFrame(size, size);
        const POINT_I32 spots[] = {{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}, {size / 2, 0}, {0, size / 2}};
        int n = 0;
        for (const POINT_I32 &c : spots)
            for (const POINT_I32 &e : spots) {
                if (n >= kCscnCandidates) break;
                CSCN_CANDIDATE &k = g_cscnCandidates.normalList[n++];
                k.centre = c;
                k.armEnd[0] = e;
                k.armEnd[1] = {size - 1 - e.x, e.y};
            }
        g_cscnCandidates.normalListCount = n < kCscnCandidates ? n : kCscnCandidates - 1;
        CSCN_RefineCandidates(&g_cscnCandidates, &g_cscnFinderSet);
        CSCN_MeasureFinders(&g_cscnFinderSet);
        CSCN_ListValidFinders(&g_cscnFinderSet);
        CSCN_MarkFinderOrientation(&g_cscnFinderSet);
        CSCN_FINDER_GROUP g[kCscnGroupsPerPass] = {};
        const int groups = CSCN_GroupFinders(&g_cscnFinderSet, g, kCscnGroupsPerPass, 0);
        EXPECT_LE(groups, kCscnGroupsPerPass);
        EXPECT_LE(g_cscnBoxes.count, kCscnBoxes);
    }
}

}  // namespace
