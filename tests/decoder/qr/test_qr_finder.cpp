// The QR finder's row search, ring, ray analysers and corner fit on synthetic input.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "decoder_test.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "qr/qr_finder.h"
#include "test_qr_finder_support.h"

namespace {

using qr_finder_test::EnableQr;
using qr_finder_test::Image;
using qr_finder_test::RunWholeImage;
using vexo::EDGE_ITEM;
using vexo::EDGE_LINE;
using vexo::u16;

class QrFinderTest : public vexo_test::DecoderTest {};

// Six edge positions from a start and five run widths.
std::array<u16, 6> Window(int start, const std::array<int, 5> &runs) {
    std::array<u16, 6> e{};
    e[0] = static_cast<u16>(start);
    for (int i = 0; i < 5; ++i) e[static_cast<size_t>(i) + 1] = static_cast<u16>(e[static_cast<size_t>(i)] + runs[static_cast<size_t>(i)]);
    return e;
}

EDGE_ITEM Item(int position, bool falling, int step = 100) {
    EDGE_ITEM it{};
    it.position = static_cast<vexo::i16>(position);
    it.flags = static_cast<u16>((falling ? vexo::kEdgeFalling : 0) | (step & 0xFF));
    return it;
}

// Items of a window whose first edge falls.
std::vector<EDGE_ITEM> Items(const std::array<u16, 6> &e, bool firstFalling = true) {
    std::vector<EDGE_ITEM> v;
    for (int i = 0; i < 6; ++i) v.push_back(Item(e[static_cast<size_t>(i)], ((i & 1) == 0) == firstFalling));
    return v;
}

// ---- Ratio test.

TEST_F(QrFinderTest, RatioTestBounds) {
    struct Case {
        const char *name;
        std::array<int, 5> runs;
        int expect;
    } cases[] = {
        {"2 px modules, c = 224", {32, 32, 96, 32, 32}, 1},
        {"1 px modules", {16, 16, 48, 16, 16}, 1},
        {"widest accepted, c = 5734", {819, 819, 2458, 819, 819}, 1},
        {"one sixteenth wider, c = 5735", {819, 819, 2459, 819, 819}, 0},
        {"c = 5735 in balanced runs", {819, 820, 2457, 820, 819}, 0},
        {"narrow proportions pass at c = 760", {130, 130, 240, 130, 130}, 1},
        {"the same proportions fail at c = 836", {143, 143, 264, 143, 143}, 0},
        {"centre too narrow", {48, 48, 32, 48, 48}, 0},
        {"centre too wide", {16, 16, 160, 16, 16}, 0},
        {"lopsided outer runs", {64, 32, 96, 32, 16}, 0},
        {"light runs unequal", {32, 16, 96, 48, 32}, 0},
        {"a 3:1 dark run on the left", {96, 32, 96, 32, 32}, 0},
    };
    for (const Case &c : cases) {
        const auto e = Window(1000, c.runs);
        EXPECT_EQ(vexo::QR_RatioTest(e.data()), c.expect) << c.name;
    }
}

TEST_F(QrFinderTest, RatioTestTakesDifferencesModulo65536) {
    // The same window across the wrap of the 16-bit positions.
    const auto e = Window(65536 - 100, {32, 32, 96, 32, 32});
    EXPECT_EQ(vexo::QR_RatioTest(e.data()), 1);
}

// ---- Alternating edges.

TEST_F(QrFinderTest, CollectAlternatingEdgesKeepsTheStrongerOfARepeat) {
    const EDGE_ITEM items[] = {Item(100, true, 10), Item(110, true, 30), Item(120, true, 20), Item(200, false, 15),
                               Item(300, true, 40), Item(310, false, 12), Item(320, false, 12)};
    u16 pos[vexo::kQrMaxRowEdges];
    vexo::i32 firstRising = -1;
    const vexo::i32 n = vexo::QR_CollectAlternatingEdges(items, 7, pos, &firstRising);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(firstRising, 0);
    EXPECT_EQ(pos[0], 110);  // the step 30 replaced the step 10; 20 did not replace 30
    EXPECT_EQ(pos[1], 200);
    EXPECT_EQ(pos[2], 300);
    EXPECT_EQ(pos[3], 310);  // equal steps keep the first
}

// A noise step on ink or paper (under a quarter of a step within 48 pixels) is no edge of the
// pattern; farther off, a larger step leaves a low-contrast edge alone.
TEST_F(QrFinderTest, CollectAlternatingEdgesDropsNoiseBesideStrongEdges) {
    const EDGE_ITEM items[] = {Item(16 * 10, true, 180),  Item(16 * 16, false, 30),  Item(16 * 17, true, 40),
                               Item(16 * 20, false, 170), Item(16 * 24, true, 175),  Item(16 * 200, false, 30),
                               Item(16 * 204, true, 28),  Item(16 * 300, false, 200)};
    u16 pos[vexo::kQrMaxRowEdges];
    vexo::i32 firstRising = -1;
    const vexo::i32 n = vexo::QR_CollectAlternatingEdges(items, 8, pos, &firstRising);
    const u16 expected[] = {16 * 10, 16 * 20, 16 * 24, 16 * 200, 16 * 204, 16 * 300};  // the blip at 16-17 is gone
    ASSERT_EQ(n, 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pos[i], expected[i]) << i;
}

TEST_F(QrFinderTest, CollectAlternatingEdgesStopsAt512) {
    std::vector<EDGE_ITEM> items;
    for (int i = 0; i < 600; ++i) items.push_back(Item(16 * i, (i & 1) == 1));
    std::vector<u16> pos(vexo::kQrMaxRowEdges + 8, 0xBEEF);
    vexo::i32 firstRising = -1;
    EXPECT_EQ(vexo::QR_CollectAlternatingEdges(items.data(), 600, pos.data(), &firstRising), vexo::kQrMaxRowEdges);
    EXPECT_EQ(firstRising, 1);
    EXPECT_EQ(pos[vexo::kQrMaxRowEdges], 0xBEEF);
}

// ---- Matching against the previous row.

TEST_F(QrFinderTest, MatchPreviousRowFindsTheShiftedWindow) {
    const auto e = Window(2000, {64, 64, 192, 64, 64});
    const auto prev = Window(2020, {64, 64, 192, 64, 64});
    const auto items = Items(prev);
    u16 m[6];
    vexo::i32 d[6];
    vexo::QR_MatchPreviousRow(e.data(), 1, items.data(), 6, m, d);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(m[i], prev[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(d[i], 20) << i;
    }
}

TEST_F(QrFinderTest, MatchPreviousRowMatchesOnlyEdgesOfTheSamePolarity) {
    // The previous row has the rising edges alone.
    const auto e = Window(2000, {64, 64, 192, 64, 64});
    const EDGE_ITEM items[] = {Item(e[1], false), Item(e[3], false), Item(e[5], false)};
    u16 m[6];
    vexo::i32 d[6];
    vexo::QR_MatchPreviousRow(e.data(), 1, items, 3, m, d);
    for (int i = 0; i < 6; ++i) {
        const bool rising = (i & 1) == 1;
        EXPECT_EQ(m[i], rising ? e[static_cast<size_t>(i)] : 0) << i;
        EXPECT_EQ(d[i], rising ? 0 : 255) << i;
    }
}

TEST_F(QrFinderTest, MatchPreviousRowGivesASharedItemToTheNearerEdge) {
    // A narrow window: the expected positions of e1 and e3 (both rising) both lie nearest
    // the single rising item at 1035, which is nearer to e1.
    const auto e = Window(1000, {16, 16, 48, 16, 16});
    const EDGE_ITEM items[] = {Item(1000, true), Item(1035, false), Item(1048, true), Item(1096, true)};
    u16 m[6];
    vexo::i32 d[6];
    vexo::QR_MatchPreviousRow(e.data(), 1, items, 4, m, d);
    EXPECT_EQ(m[1], 1035);
    EXPECT_EQ(d[1], 19);
    // e3 found nothing else between its matched neighbours (e2 at 1048, e4 at 1096).
    EXPECT_EQ(m[3], 0);
    EXPECT_EQ(d[3], 255);
}

TEST_F(QrFinderTest, MatchPreviousRowRepairsAnOutOfOrderMatch) {
    // e0's expected position takes the falling item at 2138, beyond e1's match at 2128; the
    // farther of the two gives way, e0 finds 2000 around itself, and e2, whose expected
    // position missed 2138, takes it between its matched neighbours.
    const auto e = Window(2000, {128, 128, 384, 128, 128});
    const EDGE_ITEM items[] = {Item(2000, true), Item(2128, false), Item(2138, true), Item(2640, false),
                               Item(2768, true), Item(2896, false)};
    u16 m[6];
    vexo::i32 d[6];
    vexo::QR_MatchPreviousRow(e.data(), 1, items, 6, m, d);
    const u16 expect[6] = {2000, 2128, 2138, 2640, 2768, 2896};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m[i], expect[i]) << i;
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[2], 118);
}

// ---- The row pair.

TEST_F(QrFinderTest, CheckRowPairTable) {
    struct Case {
        const char *name;
        std::array<int, 5> runs;
        std::array<int, 6> delta;  // match - edge; 999 for no match
        int expect;
    } cases[] = {
        {"c = 300 needs no match", {40, 40, 140, 40, 40}, {999, 999, 999, 999, 999, 999}, 1},
        {"c = 301 needs the outer matches", {40, 40, 141, 40, 40}, {999, 0, 0, 0, 0, 0}, 0},
        {"c = 400, even shift", {55, 55, 180, 55, 55}, {20, 20, 999, 999, 20, 20}, 1},
        {"c = 400, spread 81", {55, 55, 180, 55, 55}, {0, 41, 999, 999, 0, 40}, 0},
        {"c = 400, right side 26 beyond the left", {55, 55, 180, 55, 55}, {0, 0, 999, 999, 26, 26}, 0},
        {"c = 400, right side 25 beyond the left", {55, 55, 180, 55, 55}, {0, 0, 999, 999, 25, 25}, 1},
        {"c = 700, needs the inner matches", {100, 100, 300, 100, 100}, {10, 10, 999, 10, 10, 10}, 0},
        {"c = 700, a pattern on both rows", {100, 100, 300, 100, 100}, {10, 10, 10, 10, 10, 10}, 1},
        {"c = 1400, matches not a pattern", {200, 200, 600, 200, 200}, {0, 0, 0, 400, 0, 0}, 0},
        {"c = 1400, a pattern on both rows", {200, 200, 600, 200, 200}, {30, 30, 30, 30, 30, 30}, 1},
        {"c = 1000, matches skewed but deltas close", {143, 143, 428, 143, 143}, {0, 0, 60, -10, 0, 0}, 1},
    };
    for (const Case &c : cases) {
        const auto e = Window(4000, c.runs);
        u16 m[6];
        for (int i = 0; i < 6; ++i) {
            const int d = c.delta[static_cast<size_t>(i)];
            m[i] = d == 999 ? 0 : static_cast<u16>(e[static_cast<size_t>(i)] + d);
        }
        EXPECT_EQ(vexo::QR_CheckRowPair(e.data(), m), c.expect) << c.name;
    }
}

// ---- The hit ring.

// A line of `count` windows of 2.5 px modules (c = 280: no previous row needed), 500 (1/16
// px) apart, at row y; the gaps between them are no windows of either polarity.
struct SyntheticLine {
    std::vector<EDGE_ITEM> items;
    std::vector<vexo::u8> samples = std::vector<vexo::u8>(4000, 200);
    EDGE_LINE line{};
    SyntheticLine(int count, int y) {
        for (int p = 0; p < count; ++p) {
            const auto e = Window(32 + 500 * p, {40, 40, 120, 40, 40});
            for (const EDGE_ITEM &it : Items(e)) items.push_back(it);
        }
        line.samples = samples.data();
        line.sampleCount = static_cast<vexo::i32>(samples.size());
        line.edges = items.data();
        line.edgeCount = static_cast<vexo::i32>(items.size());
        line.capacity = static_cast<vexo::i32>(items.size());
        line.linePosition = y;
        line.linePosition16 = 16 * y;
        line.direction = 1;
    }
};

TEST_F(QrFinderTest, AFullRingEndsTheSearchOfTheLine) {
    EnableQr(true, false);
    vexo::QR_FinderResetStore();
    // 85 patterns a line: four lines queue 340 hits, the fifth fills the ring at 400.
    SyntheticLine prev(85, 0);
    for (int row = 1; row <= 4; ++row) {
        SyntheticLine cur(85, 4 * row);
        vexo::QR_FinderProcessRow(&prev.line, &cur.line);
        EXPECT_EQ(vexo::QR_HitRingFull(), 0);
    }
    EXPECT_EQ(vexo::g_qrFinder.writeIndex, 340);
    SyntheticLine fifth(85, 20);
    vexo::QR_FinderProcessRow(&prev.line, &fifth.line);
    EXPECT_EQ(vexo::QR_HitRingFull(), 1);
    EXPECT_EQ(vexo::g_qrFinder.writeIndex, 0);
    EXPECT_EQ(vexo::g_qrFinder.ring[399].y, 20 * 16);
    // The 60 hits of the fifth line are its first 60 windows.
    EXPECT_EQ(vexo::g_qrFinder.ring[340].x, 172);
    EXPECT_EQ(vexo::g_qrFinder.ring[399].x, 172 + 59 * 500);
    // With the ring still full (nothing ready yet) the next line is not searched.
    SyntheticLine sixth(85, 24);
    vexo::QR_FinderProcessRow(&prev.line, &sixth.line);
    EXPECT_EQ(vexo::QR_HitRingFull(), 1);
    EXPECT_EQ(vexo::g_qrFinder.ring[0].y, 4 * 16);
}

TEST_F(QrFinderTest, TheFirstLineOfAPassIsSkipped) {
    EnableQr(true, false);
    vexo::QR_FinderResetStore();
    SyntheticLine cur(3, 4);
    EDGE_LINE empty{};
    vexo::QR_FinderProcessRow(&empty, &cur.line);
    vexo::QR_FinderProcessRow(nullptr, &cur.line);
    EXPECT_EQ(vexo::QR_HitRingEmpty(), 1);
    SyntheticLine prev(3, 0);
    vexo::QR_FinderProcessRow(&prev.line, &cur.line);
    EXPECT_EQ(vexo::g_qrFinder.writeIndex, 3);
}

TEST_F(QrFinderTest, PolarityBitsChooseTheWindows) {
    struct Case {
        bool dark, light, firstFalling;
        int hits;
    } cases[] = {
        {true, false, true, 3}, {true, false, false, 0}, {false, true, false, 3},
        {false, true, true, 0}, {false, false, true, 0}, {true, true, false, 3},
    };
    for (const Case &c : cases) {
        EnableQr(c.dark, c.light);
        vexo::QR_FinderResetStore();
        SyntheticLine prev(3, 0), cur(3, 4);
        if (!c.firstFalling) {
            for (EDGE_ITEM &it : cur.items) it.flags ^= vexo::kEdgeFalling;
        }
        vexo::QR_FinderProcessRow(&prev.line, &cur.line);
        EXPECT_EQ(vexo::g_qrFinder.writeIndex, c.hits) << c.dark << c.light << c.firstFalling;
        if (c.hits > 0) {
            EXPECT_EQ(vexo::g_qrFinder.ring[0].inverse, c.firstFalling ? 0u : 1u);
        }
    }
}

TEST_F(QrFinderTest, HitsWaitUntilTheScanPassesTheirReadyRow) {
    EnableQr(true, false);
    Image img(200, 200, 220);
    img.DrawPattern(50, 60, 4, 30, 220);
    img.Install();
    qr_finder_test::RunRows(0, 0, 200, 100, false);
    // The pattern spans rows 60..87; its hits are ready 56 rows below the hit row.
    EXPECT_EQ(vexo::g_qrFinder.patternCount, 0);
    EXPECT_EQ(vexo::QR_HitRingEmpty(), 0);
    vexo::QR_VerifyQueuedHits(vexo::kQrVerifyAllRows);
    EXPECT_EQ(vexo::g_qrFinder.patternCount, 1);
    EXPECT_EQ(vexo::QR_HitRingEmpty(), 1);
}

// ---- Verified patterns.

TEST_F(QrFinderTest, OnePatternSeenOnManyRowsIsOnePattern) {
    EnableQr(true, false);
    Image img(300, 300, 220);
    img.DrawPattern(60, 70, 12, 30, 220);  // 84 px: about seven rows cross the centre
    img.Install();
    EXPECT_EQ(RunWholeImage(), 1);
    const vexo::QR_FINDER_PATTERN &p = vexo::g_qrFinder.patterns[0];
    // Ring corners at the centres of the corner modules: pixel 60 + 6 .. 60 + 78 - 6 ...
    EXPECT_NEAR(p.centreX / 16.0, 60 + 42 - 0.5, 1.0);
    EXPECT_NEAR(p.centreY / 16.0, 70 + 42 - 0.5, 1.0);
    EXPECT_EQ(p.inverse, 0);
    EXPECT_EQ(p.used + p.analysed + p.oriented, 0);
}

TEST_F(QrFinderTest, The251stPatternIsDropped) {
    EnableQr(true, false);
    // 18 x 13 patterns of 2 px modules (14 px) on an 18 px pitch: 234; a second band below
    // brings the total over 250.
    Image img(752, 480, 220);
    int drawn = 0;
    for (int y = 4; y + 18 <= 480; y += 18) {
        for (int x = 4; x + 18 <= 752; x += 18) {
            img.DrawPattern(x, y, 2, 30, 220);
            ++drawn;
        }
    }
    ASSERT_GT(drawn, 300);
    img.Install();
    EXPECT_EQ(RunWholeImage(), vexo::kQrMaxPatterns);
    // Patterns are verified in row order: the last kept lies above the image's last rows.
    int maxY = 0;
    for (int k = 0; k < vexo::kQrMaxPatterns; ++k) maxY = std::max(maxY, vexo::g_qrFinder.patterns[k].centreY);
    EXPECT_LT(maxY / 16, 300);
}

// ---- Borders.

TEST_F(QrFinderTest, AHitCentredOnTheBorderIsDroppedBeforeAnyPixelIsRead) {
    EnableQr(true, true);
    Image img(40, 30, 128);
    img.Install();
    const int xs[] = {0, 39, 20, 20, 0, 39};
    const int ys[] = {15, 15, 0, 29, 0, 29};
    for (int i = 0; i < 6; ++i) {
        for (vexo::u32 inverse = 0; inverse < 2; ++inverse) {
            vexo::QR_FINDER_HIT hit{};
            hit.x = static_cast<u16>(16 * xs[i]);
            hit.y = static_cast<u16>(16 * ys[i]);
            hit.readyRow = static_cast<u16>(hit.y + 2 * 224);
            hit.grey = 200;
            hit.inverse = inverse;
            vexo::i32 analyser = -1;
            vexo::GEO_POINT centre{};
            EXPECT_EQ(vexo::QR_PrepareRays(&hit, &analyser, &centre), 0) << xs[i] << "," << ys[i];
        }
    }
}

TEST_F(QrFinderTest, PatternsTouchingEveryBorderAreNotVerified) {
    EnableQr(true, true);
    struct Case {
        int x, y;
    } cases[] = {{0, 50}, {-3, 50}, {93, 50}, {100, 50}, {50, 0}, {50, -3}, {50, 93}, {50, 100}, {0, 0}, {93, 93}};
    for (const Case &c : cases) {
        for (int inverse = 0; inverse < 2; ++inverse) {
            Image img(121, 121, inverse ? 30 : 220);
            img.DrawPattern(c.x, c.y, 4, inverse ? 220 : 30, inverse ? 30 : 220);
            img.Install();
            EXPECT_EQ(RunWholeImage(), 0) << c.x << "," << c.y << " inverse " << inverse;
        }
    }
}

TEST_F(QrFinderTest, APatternOneModuleFromTheBorderStands) {
    EnableQr(true, false);
    Image img(80, 80, 220);
    img.DrawPattern(4, 4, 4, 30, 220);
    img.Install();
    EXPECT_EQ(RunWholeImage(), 1);
}

// ---- Rays.

struct RayCase {
    const char *name;
    std::vector<int> v;
    int threshold;
    int analyser;
    int ok;
    int d1, d2, d3, ringPos;
};

TEST_F(QrFinderTest, RayAnalysersTable) {
    const RayCase cases[] = {
        // Sharp rings on 1 px steps: edges at 2.5, 4.5 and 6.5 samples.
        {"small, sharp", {20, 20, 20, 200, 200, 20, 20, 200, 200, 200}, 110, vexo::kQrRaySmall, 1, 40, 72, 104, 46},
        {"large, sharp", {20, 20, 20, 200, 200, 20, 20, 200, 200, 200}, 110, vexo::kQrRayLarge, 1, 40, 72, 104, 44},
        // The look-ahead ends the dark ring at its first sample (5), which pulls the ring
        // position in.
        {"low contrast, sharp", {20, 20, 20, 200, 200, 20, 20, 200, 200, 200, 200}, 110, vexo::kQrRayLowContrast, 1,
         40, 72, 104, 42},
        // A soft rise 20, 110, 200 puts the first edge on the middle sample (3).
        {"small, soft", {20, 20, 20, 110, 200, 200, 20, 20, 200, 200}, 110, vexo::kQrRaySmall, 1, 48, 88, 120, 54},
        {"small, no dark ring", {20, 20, 200, 200, 200, 200, 200, 200}, 110, vexo::kQrRaySmall, 0, 0, 0, 0, 0},
        {"small, nothing light", {20, 20, 20, 20, 20}, 110, vexo::kQrRaySmall, 0, 0, 0, 0, 0},
        {"large, ring never below the threshold", {20, 20, 200, 200, 150, 150, 200, 200}, 110, vexo::kQrRayLarge, 0, 0,
         0, 0, 0},
        {"low contrast, two samples", {20, 200}, 110, vexo::kQrRayLowContrast, 0, 0, 0, 0, 0},
    };
    for (const RayCase &c : cases) {
        std::vector<vexo::u8> samples(vexo::kQrRayMaxLength, 0);
        for (size_t i = 0; i < c.v.size(); ++i) samples[i] = static_cast<vexo::u8>(c.v[i]);
        vexo::QR_FINDER_RAY ray{};
        ray.samples = samples.data();
        ray.length = static_cast<u16>(c.v.size());
        ray.weight = 512;
        ray.threshold = static_cast<u16>(c.threshold);
        ray.limit1 = 1000;
        ray.limit2 = 1000;
        int ok = 0;
        switch (c.analyser) {
            case vexo::kQrRaySmall: ok = vexo::QR_AnalyseRaySmall(&ray); break;
            case vexo::kQrRayLarge: ok = vexo::QR_AnalyseRayLarge(&ray); break;
            default: ok = vexo::QR_AnalyseRayLowContrast(&ray); break;
        }
        EXPECT_EQ(ok, c.ok) << c.name;
        if (c.ok == 0 || ok == 0) continue;
        EXPECT_EQ(ray.d1, c.d1) << c.name;
        EXPECT_EQ(ray.d2, c.d2) << c.name;
        EXPECT_EQ(ray.d3, c.d3) << c.name;
        EXPECT_EQ(ray.ringPos, c.ringPos) << c.name;
    }
}

TEST_F(QrFinderTest, RayLimitsRejectFarEdges) {
    std::vector<vexo::u8> samples = {20, 20, 20, 200, 200, 20, 20, 200, 200, 200};
    vexo::QR_FINDER_RAY ray{};
    ray.samples = samples.data();
    ray.length = static_cast<u16>(samples.size());
    ray.weight = 512;
    ray.threshold = 110;
    ray.limit1 = 40;
    ray.limit2 = 72;
    EXPECT_EQ(vexo::QR_AnalyseRaySmall(&ray), 1);
    ray.limit1 = 39;
    EXPECT_EQ(vexo::QR_AnalyseRaySmall(&ray), 0);
    ray.limit1 = 40;
    ray.limit2 = 71;
    EXPECT_EQ(vexo::QR_AnalyseRaySmall(&ray), 0);
}

TEST_F(QrFinderTest, CheckRayPairTable) {
    struct Case {
        const char *name;
        int p1, p2, p3, q1, q2, q3;
        int expect;  // score, or -1
    } cases[] = {
        {"ideal", 24, 40, 56, 24, 40, 56, 0},
        {"ideal, large", 240, 400, 560, 240, 400, 560, 0},
        {"centre off by a module", 8, 24, 40, 40, 56, 72, 0},
        {"one ring twice as wide: uneven but plausible", 24, 40, 56, 24, 40, 88, 640},
        {"one side far too wide", 24, 40, 56, 24, 40, 200, -1},
        {"large, outer ring 15 px farther on one side", 240, 400, 560, 240, 400, 800, -1},
        {"slightly uneven", 24, 40, 58, 24, 41, 56, 44},
    };
    for (const Case &c : cases) {
        vexo::QR_FINDER_RAY p{}, q{};
        p.d1 = static_cast<u16>(c.p1);
        p.d2 = static_cast<u16>(c.p2);
        p.d3 = static_cast<u16>(c.p3);
        q.d1 = static_cast<u16>(c.q1);
        q.d2 = static_cast<u16>(c.q2);
        q.d3 = static_cast<u16>(c.q3);
        EXPECT_EQ(vexo::QR_CheckRayPair(&p, &q), c.expect) << c.name;
    }
}

TEST_F(QrFinderTest, TurnValueTable) {
    using vexo::GEO_POINT;
    struct Case {
        const char *name;
        GEO_POINT a, b, c;
        int expect;
    } cases[] = {
        {"right angle", {0, 100}, {0, 0}, {100, 0}, 0},
        {"straight", {0, 0}, {100, 0}, {200, 0}, -1024},
        {"45 degrees", {100, 100}, {0, 0}, {100, 0}, 512},
        {"135 degrees", {-100, 100}, {0, 0}, {100, 0}, -512},
        {"coincident points", {5, 5}, {5, 5}, {9, 9}, 0},
        {"too close to tell", {0, 0}, {2, 0}, {4, 0}, 0},
        {"far apart: 64-bit products", {0, 0}, {10000, 0}, {20000, 0}, -1024},
        {"far apart, 45 degrees", {10000, 10000}, {0, 0}, {10000, 0}, 512},
        {"too far apart to be ring points", {0, 0}, {30000, 0}, {60000, 0}, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(vexo::QR_TurnValue(c.a, c.b, c.c), c.expect) << c.name;
}

TEST_F(QrFinderTest, ResetClearsTheRegionsPatternsAndRing) {
    EnableQr(true, false);
    Image img(120, 120, 220);
    img.DrawPattern(30, 30, 5, 30, 220);
    img.Install();
    ASSERT_EQ(RunWholeImage(), 1);
    vexo::g_qrFinder.candidateCursor = 7;
    vexo::QR_FinderResetStore();
    EXPECT_EQ(vexo::g_qrFinder.patternCount, 0);
    EXPECT_EQ(vexo::g_qrFinder.scanStart, 0);
    EXPECT_EQ(vexo::g_qrFinder.candidateCursor, 0);
    EXPECT_EQ(vexo::QR_HitRingEmpty(), 1);
    EXPECT_EQ(vexo::g_qrFinder.imageCentre.x, 60);
    EXPECT_EQ(vexo::g_qrFinder.imageCentre.y, 60);
}

// ---- Through the finder framework.

TEST_F(QrFinderTest, TheSuccessByteRisesOnceTwoPatternsStand) {
    vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled | 1u | vexo::kFlag2DDarkOnLight;
    struct Case {
        int patterns;
        int success;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}};
    for (const Case &c : cases) {
        Image img(400, 200, 220);
        for (int k = 0; k < c.patterns; ++k) img.DrawPattern(30 + 120 * k, 60, 5, 30, 220);
        img.Install();
        vexo::REGION_QUAD region{{{0, 0}, {399, 0}, {0, 199}, {399, 199}}};
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
        EXPECT_EQ(vexo::g_finderState.success[vexo::kFinderIdQr], c.success) << c.patterns;
        EXPECT_EQ(vexo::g_qrFinder.patternCount, c.patterns);
    }
}

TEST_F(QrFinderTest, TheRowHandlerStopsWhenAnotherFinderSucceeded) {
    vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled | 1u | vexo::kFlag2DDarkOnLight;
    Image img(400, 200, 220);
    img.DrawPattern(30, 60, 5, 30, 220);
    img.DrawPattern(200, 60, 5, 30, 220);
    img.Install();
    vexo::REGION_QUAD region{{{0, 0}, {399, 0}, {0, 199}, {399, 199}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::g_finderState.success[vexo::kFinderIdDataMatrix] = 1;
    vexo::Loc_RunFinders(&region);
    EXPECT_EQ(vexo::g_qrFinder.patternCount, 0);
    EXPECT_EQ(vexo::g_finderState.success[vexo::kFinderIdQr], 0);
}

TEST_F(QrFinderTest, RowsAreWantedWhenQrOrMicroQrIsEnabled) {
    EXPECT_EQ(vexo::QR_FinderRowWanted(), 0);
    vexo::g_params.flagsWord[vexo::kSymMicroQr] = vexo::kFlagEnabled;
    EXPECT_EQ(vexo::QR_FinderRowWanted(), 1);
    vexo::g_params.flagsWord[vexo::kSymMicroQr] = 0;
    vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled;
    EXPECT_EQ(vexo::QR_FinderRowWanted(), 1);
}

}  // namespace
