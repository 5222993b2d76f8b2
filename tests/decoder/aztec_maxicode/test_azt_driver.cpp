// The Aztec decode driver over scripted candidates, and the locating, edge-fit and refinement
// steps on small painted frames whose geometry is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <cstring>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_data.h"
#include "aztec_maxicode/azt_services.h"
#include "aztec_maxicode/azt_symbol.h"
#include "aztec_maxicode/test_hooks_azt.h"
#include "azt_test_util.h"
#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;
using vexo::u8;

// A grey frame installed as the decoder's image, with the decoder's own second buffer.
struct Canvas {
    int width, height;
    std::vector<uint8_t> pixels;
    Canvas(int w, int h, uint8_t fill) : width(w), height(h), pixels(static_cast<size_t>(w * h), fill) { Install(); }
    void Install() {
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(width, height);
    }
    void Fill(int x0, int y0, int x1, int y1, uint8_t v) {  // [x0, x1) x [y0, y1)
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x1); ++x) pixels[static_cast<size_t>(y * width + x)] = v;
    }
};

class AztDriverTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Mem_ResetArena();
        vexo::Azt_SetWorkAreas(work.data());
    }
    std::vector<uint8_t> work = std::vector<uint8_t>(vexo::kAztWorkBytes, 0);
};

// ---- Small routines.

TEST_F(AztDriverTest, ThirdThresholdCutsAtTheMidpointFromTwentyLevels) {
    const uint8_t spans19[] = {100, 119, 110}, spans20[] = {100, 120, 110};
    EXPECT_EQ(vexo::Azt_ThirdThreshold(spans19, 3), 119);
    EXPECT_EQ(vexo::Azt_ThirdThreshold(spans20, 3), 110);
    EXPECT_EQ(vexo::Azt_ThirdThreshold(spans20, 0), 0);
    EXPECT_EQ(vexo::Azt_ProfileThreshold(spans20, 3), 110);
}

TEST_F(AztDriverTest, RoutinesBesideTheAlternativeCornerMeasurement) {
    const uint8_t flat[] = {7, 7, 7, 7}, steps[] = {0, 10, 0, 10};
    EXPECT_EQ(vexo::Azt_TotalVariation(flat, 4), 0);
    EXPECT_EQ(vexo::Azt_TotalVariation(steps, 4), 750);  // 30 x 100 / 4
    EXPECT_EQ(vexo::Azt_TotalVariation(steps, 1), 0);
    GEO_POINT out{};
    const GEO_POINT a{0, 0}, b{10, 10}, c{0, 10}, d{10, 0}, e{20, 20}, f{30, 30};
    EXPECT_EQ(vexo::Azt_IntersectPointPairs(&a, &b, &c, &d, &out), 1);
    EXPECT_EQ(out.x, 5);
    EXPECT_EQ(out.y, 5);
    EXPECT_EQ(vexo::Azt_IntersectPointPairs(&a, &b, &e, &f, &out), 0);
    for (const auto &[length, modules] : std::vector<std::pair<int, int>>{{0, 7}, {59, 7}, {60, 8}, {64, 8}, {65, 9}, {120, 20}})
        EXPECT_EQ(vexo::Azt_ModulesFromLength(length), modules) << length;
}

TEST_F(AztDriverTest, AngleCosine) {
    const GEO_POINT o{0, 0};
    EXPECT_EQ(vexo::Azt_AngleCosine(o, {10, 0}, {5, 0}), 1024);
    EXPECT_EQ(vexo::Azt_AngleCosine(o, {10, 0}, {-5, 0}), -1024);
    EXPECT_EQ(vexo::Azt_AngleCosine(o, {10, 0}, {0, 7}), 0);
    EXPECT_EQ(vexo::Azt_AngleCosine(o, {0, 0}, {3, 4}), 0);  // degenerate
    // Products beyond 32 bits.
    EXPECT_EQ(vexo::Azt_AngleCosine(o, {60000, 0}, {60000, 60000}), 724);
}

// ---- Sampling and locating.

TEST_F(AztDriverTest, SamplePointsThresholdAndOutsidePoints) {
    Canvas canvas(64, 64, 200);
    canvas.Fill(0, 0, 32, 64, 40);
    vexo::PERSPECTIVE t{};
    t.c[0] = 16 << 20;  // grid (u, v) -> pixel (u, v)
    t.c[4] = 16 << 20;
    t.c[8] = 1 << 20;
    const i32 grid[3][2] = {{10, 10}, {50, 10}, {-5, 10}};
    i32 image[3][2] = {};
    u8 bits[3] = {9, 9, 9};
    int threshold = 0;
    vexo::Azt_SamplePoints(&t, 1, grid, image, bits, 0, &threshold);
    EXPECT_EQ(threshold, 127);
    EXPECT_EQ(bits[0], 9);
    vexo::Azt_SamplePoints(&t, 1, grid, image, bits, 3, &threshold);
    EXPECT_EQ(threshold, 120);  // the outside point is not in the threshold
    EXPECT_EQ(bits[0], 1);
    EXPECT_EQ(bits[1], 0);
    EXPECT_EQ(bits[2], 1);  // outside reads dark for polarity 1
    EXPECT_EQ(image[2][0], 0);  // and its image point is not written
    vexo::Azt_SamplePoints(&t, 0, grid, image, bits, 3, &threshold);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 1);
    EXPECT_EQ(bits[2], 0);
}

TEST_F(AztDriverTest, RefineCentre) {
    Canvas canvas(40, 40, 255);
    const i32 white[2] = {20, 20};
    i32 out[2] = {};
    EXPECT_EQ(vexo::Azt_RefineCentre(white, out), 0);
    EXPECT_EQ(out[0], 320);
    EXPECT_EQ(out[1], 320);
    const i32 outside[2] = {40, 5};
    EXPECT_EQ(vexo::Azt_RefineCentre(outside, out), 0);
    // A dark 2 x 1 blob one pixel to the right: one move, then weights centre it.
    canvas.Fill(21, 20, 23, 21, 0);
    EXPECT_EQ(vexo::Azt_RefineCentre(white, out), 2);
    EXPECT_EQ(out[0], 16 * 21 + 8);
    EXPECT_EQ(out[1], 16 * 20);
}

TEST_F(AztDriverTest, LocatorsRefuseTheOtherKindAndLeaveTheCorners) {
    Canvas canvas(64, 64, 200);
    vexo::AZT_SYMBOL s{};
    vexo::g_aztDriver.current = &s;
    const vexo::REGION_QUAD marker{{{1, 2}, {3, 4}, {5, 6}, {7, 8}}};
    vexo::g_aztDriver.corners = marker;
    const vexo::AZT_GEOMETRY compact{0, 32, 32, 1}, full{1, 32, 32, 1};
    EXPECT_EQ(vexo::Azt_LocateFull(&compact, &s), 0);
    EXPECT_EQ(vexo::Azt_LocateCompact(&full, &s), 0);
    EXPECT_EQ(vexo::Azt_LocateCompact(nullptr, &s), 0);
    EXPECT_EQ(std::memcmp(&vexo::g_aztDriver.corners, &marker, sizeof marker), 0);
}

// A painted compact ring: module (u, v) of the working frame covers 8 x 8 pixels around
// pixel (8u, 8v), the transform maps it there exactly.
struct RingScene {
    Canvas canvas{400, 400, 220};
    vexo::AZT_SYMBOL s{};
    void Module(int u, int v, bool dark) { canvas.Fill(8 * u - 4, 8 * v - 4, 8 * u + 4, 8 * v + 4, dark ? 30 : 220); }
    RingScene() {
        s.polarity = 1;
        s.centreU = s.centreV = 25;
        s.toImage.c[0] = 128ll << 20;
        s.toImage.c[4] = 128ll << 20;
        s.toImage.c[8] = 1 << 20;
        static const int kGrid[9][2] = {{21, 21}, {29, 21}, {29, 29}, {21, 29}, {25, 25}, {21, 25}, {25, 21}, {29, 25}, {25, 29}};
        s.pairCount = 9;
        for (int k = 0; k < 9; ++k) {
            s.grid[k] = GEO_POINT{kGrid[k][0], kGrid[k][1]};
            s.image[k] = GEO_POINT{128 * kGrid[k][0], 128 * kGrid[k][1]};
        }
        s.fitInt.to = s.image;
        s.fitInt.from = s.grid;
        s.fitInt.outInt = &s.toImage;
        s.fitInt.scale = 1 << 20;
        s.fitFloat.to = s.grid;
        s.fitFloat.from = s.image;
        s.fitFloat.outFloat = &s.toGrid;
        vexo::g_aztDriver.current = &s;
    }
    // Ring side r in ring order: its three orientation modules then seven mode bits.
    void Side(int r, const uint8_t orientation[3], const uint8_t *mode) {
        static const int kStart[4][3][2] = {{{-5, -4}, {-5, -5}, {-4, -5}}, {{4, -5}, {5, -5}, {5, -4}},
                                            {{5, 4}, {5, 5}, {4, 5}}, {{-4, 5}, {-5, 5}, {-5, 4}}};
        for (int i = 0; i < 3; ++i) Module(25 + kStart[r][i][0], 25 + kStart[r][i][1], orientation[i] != 0);
        for (int i = 0; i < 7; ++i) {
            const int t = i - 3;
            const int du = r == 0 ? t : r == 1 ? 5 : r == 2 ? -t : -5;
            const int dv = r == 0 ? -5 : r == 1 ? t : r == 2 ? 5 : -t;
            Module(25 + du, 25 + dv, mode[i] != 0);
        }
    }
};

// Orientation bits that match patterns 0 and 1 equally: pattern 0 is tried first; when its
// mode message fails, the ring is read from the next side, and the grid turns with it.
TEST_F(AztDriverTest, ModeRingTieTriesTheLowerPatternFirst) {
    const std::vector<uint8_t> mode = azttest::ModeMessage(false, 2, 10);  // 19 x 19
    ASSERT_EQ(mode.size(), 28u);
    // Orientation 000 011 000 000 differs from patterns 0 and 1 in 4 places, from 2 and 3 in 8.
    const uint8_t tie[4][3] = {{0, 0, 0}, {0, 1, 1}, {0, 0, 0}, {0, 0, 0}};
    for (int start : {0, 1}) {
        RingScene scene;
        scene.Module(25, 25, true);
        for (int j = 0; j < 4; ++j) scene.Side((start + j) & 3, tie[(start + j) & 3], mode.data() + 7 * j);
        ASSERT_EQ(vexo::Azt_ReadCompactModeRing(&scene.s), 1) << start;
        EXPECT_EQ(scene.s.size, 19);
        EXPECT_EQ(scene.s.centreU, 9);
        // Read from side 0 the grid only moves; from side 1 it is also turned.
        const GEO_POINT first = scene.s.grid[0];  // was (21, 21)
        if (start == 0) {
            EXPECT_EQ(first.x, 5);
            EXPECT_EQ(first.y, 5);
        } else {
            EXPECT_EQ(first.x, 5);
            EXPECT_EQ(first.y, 13);
        }
    }
}

// Vertical bars to the right of a dark centre: a ray sees a falling edge at each bar.
struct BarScene {
    Canvas canvas{120, 120, 220};
    vexo::AZT_SYMBOL s{};
    static constexpr int kC = 60;
    BarScene(int secondBarRows) {
        canvas.Fill(kC - 4, kC - 4, kC + 4, kC + 5, 30);
        canvas.Fill(kC + 12, 0, kC + 20, 120, 30);
        canvas.Fill(kC + 28, kC - secondBarRows, kC + 36, kC + secondBarRows + 1, 30);
        s.polarity = 1;
        vexo::g_aztDriver.current = &s;
    }
};

TEST_F(AztDriverTest, RingSideNeedsTheEdgeOnTwoRays) {
    const i32 centre[2] = {16 * BarScene::kC, 16 * BarScene::kC};
    const i32 a[2] = {16 * (BarScene::kC + 24), 16 * (BarScene::kC - 24)};
    const i32 b[2] = {16 * (BarScene::kC + 24), 16 * (BarScene::kC + 24)};
    vexo::LINE_FIT line{};
    {
        BarScene only(3);  // only the middle ray (k = 3) meets the second bar
        EXPECT_EQ(vexo::Azt_FitRingSide(a, b, centre, &line), 0);
    }
    BarScene three(40);
    three.canvas.Fill(BarScene::kC + 40, 0, BarScene::kC + 44, 120, 30);  // a third edge beyond: not counted
    ASSERT_EQ(vexo::Azt_FitRingSide(a, b, centre, &line), 1);
    EXPECT_EQ(line.alongX, 0);
    EXPECT_NEAR(line.slope, 0.0, 0.05);
    EXPECT_NEAR(line.offset / 16.0, BarScene::kC + 27.5, 1.0);  // the second bar's edge
    const i32 same[2] = {a[0], a[1]};
    EXPECT_EQ(vexo::Azt_FitRingSide(a, same, centre, &line), 0);
}

TEST_F(AztDriverTest, ProbeFindsTheRunCentresBesideTheEdge) {
    // Compact rings seen from a dark centre module of 8 px: dark 0-4, light to 12, dark to
    // 20, light to 28, dark beyond.
    Canvas canvas(120, 40, 220);
    canvas.Fill(0, 0, 4, 40, 30);
    canvas.Fill(12, 0, 20, 40, 30);
    canvas.Fill(28, 0, 120, 40, 30);
    vexo::AZT_SYMBOL s{};
    s.polarity = 1;
    vexo::g_aztDriver.current = &s;
    const i32 centre[2] = {0, 16 * 20}, target[2] = {16 * 60, 16 * 20};
    i32 inner[2] = {}, outer[2] = {};
    ASSERT_EQ(vexo::Azt_ProbeRingRuns(centre, target, inner, outer, 1), 1);
    EXPECT_NEAR(outer[0] / 16.0, 24, 1.0);  // the light run 20-28: the ring at distance 3
    EXPECT_NEAR(inner[0] / 16.0, 16, 1.0);  // the dark run 12-20
    EXPECT_EQ(outer[1], 16 * 20);
    EXPECT_EQ(vexo::Azt_ProbeRingRuns(centre, centre, inner, outer, 1), 0);
    // Full-range needs three centre-polarity edges: the profile has two.
    EXPECT_EQ(vexo::Azt_ProbeRingRuns(centre, target, inner, outer, 0), 0);
}

// ---- Refinement.

TEST_F(AztDriverTest, TracksAndTheirLines) {
    vexo::AZT_EDGE_TRACK t{};
    const vexo::AZT_EDGE_ITEM item{160, 100, 16 * 3 + 9, 1};
    ASSERT_EQ(vexo::Azt_AppendToTrack(&t, &item), 1);
    EXPECT_EQ(t.key, 48);
    EXPECT_EQ(vexo::Azt_FitTrackLine(&t), 0);  // one item: no line
    EXPECT_EQ(t.fitted, 0);
    const vexo::AZT_EDGE_ITEM other{170, 200, 16 * 4 + 1, 1};
    EXPECT_EQ(vexo::Azt_AppendToTrack(&t, &other), 0);
    for (int i = 1; i < 11; ++i) {
        const vexo::AZT_EDGE_ITEM more{160 + i, 100 + 16 * i, 16 * 3 + 2, 1};
        ASSERT_EQ(vexo::Azt_AppendToTrack(&t, &more), 1);
    }
    EXPECT_EQ(vexo::Azt_AppendToTrack(&t, &item), 0);  // full at 11
    ASSERT_EQ(vexo::Azt_FitTrackLine(&t), 1);
    EXPECT_EQ(t.dirY, -10000);  // steep: x over y
    EXPECT_EQ(t.dirX, -624);  // slope 1/16: trunc(-625 + 0.4)
}

// A painted vertical boundary at u = 20.5 (pixel 164) seen on 14 grid rows: the first 11
// edges fill one track, the other 3 open a second with the same key.
TEST_F(AztDriverTest, FullTrackOpensASecondWithTheSameKey) {
    RingScene scene;
    scene.canvas.Fill(0, 0, 164, 400, 30);
    scene.s.toGrid.c[0] = 1.0f / 128;
    scene.s.toGrid.c[4] = 1.0f / 128;
    scene.s.toGrid.c[8] = 1.0f;
    vexo::AZT_EDGE_TRACK tracks[vexo::kAztTracks] = {};
    vexo::AZT_EDGE_REQUEST rq{};
    rq.toImage = &scene.s.toImage;
    rq.toGrid = &scene.s.toGrid;
    rq.uA = 18, rq.uB = 24, rq.vA = 10, rq.vB = 24, rq.mode = 0;
    rq.tracks = tracks;
    rq.capacity = vexo::kAztTracks;
    rq.fine = 1;
    rq.edgeRatio = 307, rq.minEdgeStep = 10;
    EXPECT_EQ(vexo::Azt_CollectEdgeTracks(&rq), 2);
    EXPECT_EQ(tracks[0].count, 11);
    EXPECT_EQ(tracks[1].count, 3);
    EXPECT_EQ(tracks[0].key, 16 * 20);
    EXPECT_EQ(tracks[1].key, tracks[0].key);
    // The same with Bresenham sampling (modules of 10 px and more) finds the same boundary.
    vexo::AZT_EDGE_TRACK coarse[vexo::kAztTracks] = {};
    rq.tracks = coarse;
    rq.fine = 0;
    EXPECT_EQ(vexo::Azt_CollectEdgeTracks(&rq), 2);
    EXPECT_EQ(coarse[0].key, 16 * 20);
    EXPECT_NEAR(coarse[0].items[0].x / 16.0, tracks[0].items[0].x / 16.0, 1.0);
    // Every track shares one key: the direction model cannot be solved, nothing changes.
    scene.s.moduleSize = 8;
    scene.s.edgeRatio = 307;
    scene.s.minEdgeStep = 10;
    const vexo::AZT_SYMBOL before = scene.s;
    EXPECT_EQ(vexo::Azt_RefineGridFromEdges(&scene.s, 25, 25, 1, 8, 3), 0);
    EXPECT_EQ(std::memcmp(&before, &scene.s, sizeof before), 0);
}

// An edge near the horizon of the image-to-grid transform gets no key.
TEST_F(AztDriverTest, EdgeWithoutAFiniteKeyIsSkipped) {
    Canvas canvas(64, 16, 220);
    canvas.Fill(0, 0, 32, 16, 30);
    vexo::PERSPECTIVE_F horizon{};
    horizon.c[0] = 1.0f;
    horizon.c[6] = 1.0f / (16 * 31.5f);  // denominator 1 + x / 504 ... crosses 0 at x = -504
    horizon.c[8] = -1.0f;                // ... now 0 at x = 504 (pixel 31.5): the edge itself
    vexo::AZT_EDGE_ITEM items[vexo::kAztSegmentItems];
    std::vector<uint8_t> scratch(vexo::kAztScratchBytes);
    vexo::AZT_SEGMENT seg{{0, 16 * 8}, {16 * 63, 16 * 8}, 0, 1, items, &horizon, vexo::kAztSegmentItems, 0,
                          scratch.data(), vexo::kAztScratchBytes, 307, 10};
    EXPECT_EQ(vexo::Azt_FindEdgesOnSegment(&seg), 1);
    EXPECT_EQ(seg.count, 0);
    vexo::PERSPECTIVE_F plain{};
    plain.c[0] = 1.0f / 16;
    plain.c[8] = 1.0f;
    seg.toGrid = &plain;
    EXPECT_EQ(vexo::Azt_FindEdgesOnSegment(&seg), 1);
    ASSERT_EQ(seg.count, 1);
    EXPECT_NEAR(seg.items[0].key / 16.0, 31.5, 0.6);
}

// ---- The driver over scripted candidates.

struct Candidate {
    std::string text{};
    int present = 0;
    int position = 'A';
    int total = 'A';
    std::string id{};
    int idCut = 0;
    i32 x = 100, y = 100;  // pixels
    int result = vexo::kAztCandidateRead;
};

struct Script {
    std::vector<Candidate> candidates;
    size_t next = 0;
    int calls = 0;
    std::vector<int> continuing;
};
Script g_script;

int ScriptedCandidate(vexo::AZT_SYMBOL *s, int continuing) {
    ++g_script.calls;
    g_script.continuing.push_back(continuing);
    if (g_script.next >= g_script.candidates.size()) return vexo::kAztNoCandidate;
    const Candidate &c = g_script.candidates[g_script.next++];
    if (c.result != vexo::kAztCandidateRead) return c.result;
    std::memcpy(vexo::g_aztDriver.text, c.text.data(), c.text.size());
    vexo::g_aztDriver.textLength = static_cast<i32>(c.text.size());
    vexo::g_aztDriver.status = 0;
    vexo::AZT_APPEND_STATE &a = vexo::g_aztState.append;
    a.present = c.present;
    a.position = c.position;
    a.total = c.total;
    a.idCut = c.idCut;
    std::memset(a.messageId, 0, sizeof a.messageId);
    std::memcpy(a.messageId, c.id.data(), std::min(c.id.size(), sizeof a.messageId - 1));
    s->refinedX = 16 * c.x;
    s->refinedY = 16 * c.y;
    s->uStepX = 64;  // upright: u to the right, v down
    s->vStepY = 64;
    return vexo::kAztCandidateRead;
}

class AztScriptedDriver : public AztDriverTest {
protected:
    void SetUp() override {
        AztDriverTest::SetUp();
        canvas.Install();
        g_script = Script{};
        vexo::Test_SetAztCandidateDecode(ScriptedCandidate);
        SetJoined(1);
    }
    void TearDown() override { vexo::Test_SetAztCandidateDecode(nullptr); }
    static void SetJoined(uint32_t n) {
        uint32_t &w = vexo::g_params.flagsWord[vexo::kSymAztec];
        w = (w & ~vexo::kFlag2DCountMask) | n;
    }
    int Run(std::vector<Candidate> cs) {
        g_script.candidates = std::move(cs);
        return vexo::AztbProcMain();
    }
    static std::string Text() {
        const u8 *t = vexo::Azt_GetResultText();
        return t == nullptr ? "<null>" : std::string(reinterpret_cast<const char *>(t), static_cast<size_t>(vexo::Azt_GetResultLength()));
    }
    Canvas canvas{200, 200, 200};
};

TEST_F(AztScriptedDriver, JoinedCountOneTakesTheFirstSymbol) {
    EXPECT_EQ(Run({{.text = "one"}, {.text = "two"}}), 1);
    EXPECT_EQ(Text(), "one");
    EXPECT_EQ(g_script.calls, 1);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
}

TEST_F(AztScriptedDriver, JoinedCountZeroReadsNothingAndNoImageIsStatusMinus1000) {
    SetJoined(0);
    EXPECT_EQ(Run({{.text = "one"}}), 0);
    EXPECT_EQ(g_script.calls, 0);
    vexo::Pix_SetImagePointer(nullptr);
    SetJoined(1);
    EXPECT_EQ(Run({{.text = "one"}}), 0);
    EXPECT_EQ(vexo::g_aztDriver.status, vexo::kAztStatusNoImage);
    // A caller's second buffer smaller than the work memory: as for a missing image.
    canvas.Install();
    std::vector<uint8_t> small(200 * 200);
    vexo::Pix_SetSecondBuffer(small.data());
    EXPECT_EQ(Run({{.text = "one"}}), 0);
    EXPECT_EQ(vexo::g_aztDriver.status, vexo::kAztStatusNoImage);
}

TEST_F(AztScriptedDriver, SeveralSymbolsJoinInRowOrColumnOrder) {
    SetJoined(3);
    EXPECT_EQ(Run({{.text = "R", .x = 150}, {.text = "L", .x = 20}, {.text = "M", .x = 90}}), 1);
    EXPECT_EQ(Text(), "LMR");
    SetJoined(2);
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "low", .x = 100, .y = 180}, {.text = "high", .x = 104, .y = 10}}), 1);
    EXPECT_EQ(Text(), "highlow");
    // Fewer than the count found: what was read is joined.
    SetJoined(5);
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "b", .x = 120}, {.text = "a", .x = 20}}), 1);
    EXPECT_EQ(Text(), "ab");
}

TEST_F(AztScriptedDriver, StructuredAppendPartsAloneWhileTheOptionWordIsZero) {
    EXPECT_EQ(Run({{.text = "second", .present = 1, .position = 'B', .total = 'C'}}), 1);
    EXPECT_EQ(Text(), "second");
    EXPECT_EQ(vexo::g_aztState.append.present, 1);
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "only", .present = 1, .position = 'A', .total = 'A'}}), 1);
    EXPECT_EQ(Text(), "only");
    EXPECT_EQ(vexo::g_aztState.append.present, 0);
}

TEST_F(AztScriptedDriver, AppendOptionsCollectASet) {
    vexo::Azt_SetAppendOptions(7);  // up to 8 parts
    EXPECT_EQ(Run({{.text = "3", .present = 1, .position = 'C', .total = 'C', .id = "ID"},
                   {.text = "x", .present = 1, .position = 'A', .total = 'D', .id = "ID"},  // other total
                   {.text = "y", .present = 1, .position = 'A', .total = 'C', .id = "IE"},  // other ID
                   {.text = "plain"},                                                        // not a part
                   {.text = "1", .present = 1, .position = 'A', .total = 'C', .id = "ID"},
                   {.text = "2", .present = 1, .position = 'B', .total = 'C', .id = "ID"}}),
              1);
    EXPECT_EQ(Text(), "123");
    EXPECT_EQ(vexo::g_aztState.append.present, 0);
    // Candidates running out: with an ID the part nearest the image centre (100, 100) ...
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "far", .present = 1, .position = 'A', .total = 'C', .id = "ID", .x = 10},
                   {.text = "near", .present = 1, .position = 'B', .total = 'C', .id = "ID", .x = 95}}),
              1);
    EXPECT_EQ(Text(), "near");
    // ... without one, status 30.
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "p", .present = 1, .position = 'A', .total = 'C'}}), 0);
    EXPECT_EQ(vexo::g_aztDriver.status, vexo::kAztStatusIncompleteSet);
    EXPECT_EQ(vexo::Azt_GetResultText(), nullptr);
    // The part limit (bits 0-2) ends the collection and joins what it holds.
    vexo::Azt_SetAppendOptions(1);
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "b", .present = 1, .position = 'B', .total = 'C', .x = 150},
                   {.text = "a", .present = 1, .position = 'A', .total = 'C', .x = 20}}),
              1);
    EXPECT_EQ(Text(), "ab");
}

TEST_F(AztScriptedDriver, DecidedLimits) {
    // A tenth symbol ends the collection as a full parts area does: nine are joined.
    SetJoined(15);
    std::vector<Candidate> ten;
    for (int i = 0; i < 10; ++i) ten.push_back({.text = std::string(1, static_cast<char>('a' + i)), .x = 10 + 15 * i});
    EXPECT_EQ(Run(ten), 1);
    EXPECT_EQ(Text(), "abcdefghi");
    // Texts beyond the 9,216-byte parts area end it too.
    g_script = Script{};
    EXPECT_EQ(Run({{.text = std::string(5000, 'x'), .x = 10}, {.text = std::string(5000, 'y'), .x = 150}}), 1);
    EXPECT_EQ(vexo::Azt_GetResultLength(), 5000);
    // Position 'K' is not recorded (the table holds 'A' to 'J'); a 200-character ID or a cut
    // one matches no set, and as a first part stands alone.
    SetJoined(1);
    vexo::Azt_SetAppendOptions(7);
    g_script = Script{};
    // Recorded at a tenth table entry, 'K' would reach the ID buffer beside the table: the
    // set of two joins by the positions recorded, 'A' first, the unrecorded part second.
    EXPECT_EQ(Run({{.text = "k", .present = 1, .position = 'K', .total = 'B', .id = "I"},
                   {.text = "a", .present = 1, .position = 'A', .total = 'B', .id = "I"}}),
              1);
    EXPECT_EQ(Text(), "ak");
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "long", .present = 1, .position = 'A', .total = 'B', .id = std::string(200, 'i')},
                   {.text = "never", .present = 1, .position = 'B', .total = 'B', .id = std::string(200, 'i')}}),
              1);
    EXPECT_EQ(Text(), "long");
    EXPECT_EQ(g_script.calls, 1);
    g_script = Script{};
    EXPECT_EQ(Run({{.text = "first", .present = 1, .position = 'A', .total = 'B', .id = "ab"},
                   {.text = "cut", .present = 1, .position = 'B', .total = 'B', .id = "ab", .idCut = 1},
                   {.text = "second", .present = 1, .position = 'B', .total = 'B', .id = "ab"}}),
              1);
    EXPECT_EQ(Text(), "firstsecond");
}

TEST_F(AztScriptedDriver, FailedDecodeLeavesNoText) {
    EXPECT_EQ(Run({{.result = vexo::kAztNotLocated}, {.result = vexo::kAztNotRead}}), 0);
    EXPECT_EQ(g_script.calls, 3);
    EXPECT_EQ(vexo::Azt_GetResultText(), nullptr);
    vexo::Azt_WriteAimId(nullptr);
    char aim[4] = "###";
    vexo::g_aztState.aimModifier = '6';
    vexo::Azt_WriteAimId(aim);
    EXPECT_STREQ(aim, "]z6");
}

TEST_F(AztDriverTest, ResultStoreTakesTextsUpToASlot) {
    vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
    std::vector<uint8_t> text(7833, 'q');
    const vexo::RESULT_STORE before = rs;
    EXPECT_EQ(vexo::Azt_StoreResult(text.data(), 7833), 0);
    EXPECT_EQ(std::memcmp(&before, &rs, sizeof rs), 0);
    EXPECT_EQ(vexo::Azt_StoreResult(text.data(), 7832), 1);
    EXPECT_EQ(rs.storedCount, 1);
    EXPECT_EQ(rs.storedLength[0], 7832);
    EXPECT_EQ(rs.storedData0[7831], 'q');
    EXPECT_EQ(vexo::Azt_StoreResult(text.data(), 3), 1);
    EXPECT_EQ(vexo::Azt_StoreResult(text.data(), 3), 0);  // two results at most
}

TEST_F(AztDriverTest, NearestPartAndJoinOrder) {
    Canvas canvas(200, 100, 200);
    vexo::AZT_PART parts[3] = {};
    const i32 xs[3] = {16 * 10, 16 * 90, 16 * 150};
    const char *texts[3] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
        parts[i].centreX = xs[i];
        parts[i].centreY = 16 * 50;
        parts[i].uStepX = 64;
        parts[i].vStepY = 64;
        parts[i].length = 1;
        parts[i].text = reinterpret_cast<const u8 *>(texts[i]);
    }
    EXPECT_EQ(vexo::Azt_NearestPartToCentre(parts, 3), 1);
    EXPECT_EQ(vexo::Azt_NearestPartToCentre(parts, 0), 0);
    vexo::Azt_JoinParts(parts, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(vexo::g_aztDriver.text), 3), "abc");
    // Turned by 180 degrees: the symbols' u-steps point left, so the order reverses.
    for (vexo::AZT_PART &p : parts) p.uStepX = -64;
    vexo::Azt_JoinParts(parts, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(vexo::g_aztDriver.text), 3), "cba");
}

}  // namespace
