// The Aztec bulls-eye finder's steps on hand-made edge lists, rays and images: run windows,
// alternating edges, the previous-row check, the queue and the table, the ray setup, the
// ring square, the orientation samples and the mended border rows (driven through a line
// set).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "aztec_maxicode/azt_finder.h"
#include "core/params.h"
#include "decoder_test.h"
#include "grey_image.h"
#include "locate/finder.h"
#include "locate/finder_services.h"

namespace {

using vexo::AZT_BULLSEYE;
using vexo::AZT_QUEUE_ENTRY;
using vexo::EDGE_ITEM;
using vexo::g_aztFinder;
using vexo::g_aztVerify;
using vexo_test::GreyImage;

class AztFinderTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::g_params.flagsWord[vexo::kSymAztec] |= vexo::kFlagEnabled | vexo::kFlag2DReadModeMask;
    }
    // A region whose row band holds every row of the image.
    static void ResetOver(int height) {
        vexo::REGION_QUAD q{{{0, -height}, {10, -height}, {0, 3 * height}, {10, 3 * height}}};
        vexo::Azt_FinderReset(&q, nullptr);
    }
};

EDGE_ITEM Edge(int position, bool rising, int step = 60) {
    return EDGE_ITEM{static_cast<int16_t>(position),
                     static_cast<uint16_t>(rising ? step : (vexo::kEdgeFalling | static_cast<unsigned>(step)))};
}

// Alternating edges at the given positions, the first rising.
std::vector<EDGE_ITEM> Alternating(const std::vector<int> &positions, bool firstRising = true) {
    std::vector<EDGE_ITEM> v;
    for (size_t k = 0; k < positions.size(); ++k) v.push_back(Edge(positions[k], ((k & 1) == 0) == firstRising));
    return v;
}

std::vector<int> Runs(int start, const std::vector<int> &widths) {
    std::vector<int> e{start};
    for (int w : widths) e.push_back(e.back() + w);
    return e;
}

TEST_F(AztFinderTest, ClassifyRunsByTheirWidths) {
    struct Row {
        const char *what;
        std::vector<int> runs;
        int kind;
    };
    const Row kRows[] = {
        {"seven equal runs of 2 px", {32, 32, 32, 32, 32, 32, 32}, 8},
        {"seven equal runs of 10 px", {160, 160, 160, 160, 160, 160, 160}, 8},
        {"seven equal runs, span 7,465", {1493, 1493, 1493, 1493, 1493, 1493, 1493}, 8},
        {"seven equal runs, span 7,500", {1500, 1500, 1500, 1500, 1500, 1500, 1500}, 0},
        {"1:1:3:1:1 of 2 px", {32, 32, 96, 32, 32, 32, 32}, 6},
        {"1:1:3:1:1 of 10 px (outer 640)", {160, 160, 480, 160, 160, 160, 160}, 6},
        {"1:1:3:1:1 above 10 px (outer 644)", {161, 161, 483, 161, 161, 161, 161}, 0},
        {"uneven runs", {32, 64, 32, 32, 32, 32, 32}, 0},
    };
    for (const Row &r : kRows) {
        const std::vector<int> e = Runs(1000, r.runs);
        uint16_t w[8];
        for (int k = 0; k < 8; ++k) w[k] = static_cast<uint16_t>(e[k]);
        EXPECT_EQ(vexo::Azt_ClassifyRuns(w), r.kind) << r.what;
    }
}

// What a window queues: kind 8 at the mean of its eight edges, kind 6 at the start of its
// wide run with that run's width.
TEST_F(AztFinderTest, WindowsQueueTheirCentreWidthAndDueRow) {
    GreyImage image(400, 100, 200);
    struct Row {
        std::vector<int> runs;
        bool firstRising;
        uint16_t x, width, due;
        int polarity;
    };
    const Row kRows[] = {
        {{32, 32, 32, 32, 32, 32, 32, 32}, true, 1115, 0, 800 + 2 * 224, 0},
        {{32, 32, 96, 32, 32, 32, 32, 32}, true, 1067, 6, 800 + 2 * 224, 0},
        {{32, 32, 32, 32, 32, 32, 32, 32}, false, 1115, 0, 800 + 2 * 224, 1},
    };
    for (const Row &r : kRows) {
        ResetOver(100);
        std::vector<EDGE_ITEM> edges = Alternating(Runs(1003, r.runs), r.firstRising);
        vexo::EDGE_LINE cur{}, prev{};
        cur.edges = prev.edges = edges.data();
        cur.edgeCount = prev.edgeCount = static_cast<int32_t>(edges.size());
        cur.capacity = prev.capacity = 512;
        cur.linePosition16 = 800;
        vexo::FINDER_LINE line{};
        line.current = &cur;
        line.previous = &prev;
        vexo::Azt_ScanFinderRow(&line);
        ASSERT_EQ(g_aztFinder.write, 1);
        const AZT_QUEUE_ENTRY &q = g_aztFinder.queue[0];
        EXPECT_EQ(q.x, r.x);
        EXPECT_EQ(q.y, 800);
        EXPECT_EQ(q.width, r.width);
        EXPECT_EQ(q.due, r.due);
        EXPECT_EQ(q.polarity, r.polarity);
    }
}

TEST_F(AztFinderTest, AlternateEdgesKeepTheLargerStep) {
    struct Row {
        std::vector<EDGE_ITEM> edges;
        std::vector<uint16_t> out;
        int first;
    };
    const Row kRows[] = {
        {{Edge(100, true, 50), Edge(150, true, 80), Edge(300, false, 40)}, {150, 300}, 1},
        {{Edge(100, true, 80), Edge(150, true, 50), Edge(300, false, 40)}, {100, 300}, 1},
        {{Edge(100, false, 30), Edge(200, true, 20), Edge(250, true, 20)}, {100, 200}, 0},
        {{}, {}, 0},
    };
    for (const Row &r : kRows) {
        uint16_t out[vexo::kAztRowEdges];
        uint16_t count = 99;
        EXPECT_EQ(vexo::Azt_AlternateEdges(out, &count, r.edges.data(), static_cast<uint16_t>(r.edges.size())), r.first);
        EXPECT_EQ(std::vector<uint16_t>(out, out + count), r.out);
    }
    std::vector<int> many;
    for (int k = 0; k < 600; ++k) many.push_back(10 + 20 * k);
    const std::vector<EDGE_ITEM> edges = Alternating(many);
    uint16_t out[vexo::kAztRowEdges + 8];
    uint16_t count = 0;
    vexo::Azt_AlternateEdges(out, &count, edges.data(), 600);
    EXPECT_EQ(count, vexo::kAztRowEdges);
}

TEST_F(AztFinderTest, NeighbourEdgesAgreeAtTheirBounds) {
    const uint16_t p[6] = {1000, 1100, 1200, 1300, 1400, 1500};
    struct Row {
        const char *what;
        int shift[6];  // 999: missing
        int p5;
        int agree;
    };
    const Row kRows[] = {
        {"r - e = 25", {0, -13, 0, 0, 0, 12}, 1500, 1},
        {"r - e = 26", {0, -13, 0, 0, 0, 13}, 1500, 0},
        {"t - g = 26", {0, 0, 0, 26, 26, 26}, 1500, 0},
        {"three missing over 500", {0, 999, 0, 999, 0, 999}, 1500, 1},
        {"three missing over 501", {0, 999, 0, 999, 0, 999}, 1501, 0},
        {"five missing over 301", {0, 999, 999, 999, 999, 999}, 1301, 0},
    };
    for (const Row &r : kRows) {
        uint16_t q[6], found[6];
        for (int i = 0; i < 6; ++i) q[i] = p[i];
        q[5] = static_cast<uint16_t>(r.p5);
        for (int i = 0; i < 6; ++i) found[i] = r.shift[i] == 999 ? 0 : static_cast<uint16_t>(q[i] + r.shift[i]);
        EXPECT_EQ(vexo::Azt_NeighbourEdgesAgree(q, found), r.agree) << r.what;
    }
}

TEST_F(AztFinderTest, NearestEdgeOfAPolarityWithinItsWindow) {
    const std::vector<EDGE_ITEM> edges = Alternating({100, 140, 180, 220, 260, 300});
    struct Row {
        uint16_t target;
        int rising;
        uint16_t from, below, found;
    };
    static constexpr Row kRows[] = {
        {170, 1, 0, 1000, 180}, {170, 0, 0, 1000, 140}, {170, 1, 181, 1000, 260},
        {170, 1, 0, 180, 100},  {50, 1, 300, 1000, 0},
    };
    for (const Row &r : kRows)
        EXPECT_EQ(vexo::Azt_NearestEdge(r.target, r.rising, r.from, r.below, edges.data(), 6), r.found) << r.target;
}

// An entry inside a bulls-eye already found is refused before any ray is set up or cast.
TEST_F(AztFinderTest, EntryInsideAFoundBullseyeCastsNoRay) {
    GreyImage image(200, 200, 200);
    ResetOver(200);
    g_aztFinder.table[0] = AZT_BULLSEYE{0, 0, 800, 800, 2400, 2400, 1600, 1600, {}};
    g_aztFinder.count = 1;
    g_aztVerify.span = 4321;
    g_aztVerify.rays[0].length = 77;
    const AZT_QUEUE_ENTRY inside{1600, 1600, 2000, 0, 0};
    AZT_BULLSEYE out{};
    EXPECT_EQ(vexo::Azt_VerifyBullseye(&inside, &out), 0);
    EXPECT_EQ(g_aztVerify.span, 4321);
    EXPECT_EQ(g_aztVerify.rays[0].length, 77);
    // On the box edge it is not inside: the rays are set up (and fail on the flat image).
    const AZT_QUEUE_ENTRY edge{2400, 1600, 2000, 0, 0};
    EXPECT_EQ(vexo::Azt_VerifyBullseye(&edge, &out), 0);
    EXPECT_NE(g_aztVerify.span, 4321);
    // Bulls-eyes whose box ends above the entry's row are passed for good.
    const AZT_QUEUE_ENTRY below{1600, 2500, 2900, 0, 0};
    EXPECT_EQ(vexo::Azt_InsideFoundBullseye(&below), 0);
    EXPECT_EQ(g_aztFinder.firstRelevant, 1);
    EXPECT_EQ(vexo::Azt_InsideFoundBullseye(&inside), 0);
}

// The ring of 500 entries fills up to its reader, stops, and is emptied by the reader.
TEST_F(AztFinderTest, QueueWrapsAndNeverOverrunsItsReader) {
    GreyImage image(400, 100, 200);
    ResetOver(100);
    std::vector<int> positions;
    for (int k = 0; k < 64; ++k) positions.push_back(1000 + 32 * k);
    std::vector<EDGE_ITEM> edges = Alternating(positions);
    uint8_t samples[4] = {};
    vexo::EDGE_LINE cur{}, prev{};
    cur.edges = prev.edges = edges.data();
    cur.edgeCount = prev.edgeCount = 64;
    cur.capacity = prev.capacity = 512;
    prev.samples = samples;
    cur.linePosition = 10;
    cur.linePosition16 = 160;
    vexo::FINDER_LINE line{};
    line.current = &cur;
    line.previous = &prev;
    line.limit = 0;  // nothing falls due
    vexo::Azt_FinderRowLine(&line);
    const int perRow = g_aztFinder.write;
    ASSERT_GT(perRow, 10);
    const AZT_QUEUE_ENTRY first = g_aztFinder.queue[0];
    for (int k = 0; k < 20; ++k) vexo::Azt_FinderRowLine(&line);
    EXPECT_EQ(g_aztFinder.write, g_aztFinder.read);
    EXPECT_EQ(g_aztFinder.sameLap, 0);
    EXPECT_EQ(g_aztFinder.queue[0].x, first.x);
    EXPECT_EQ(g_aztFinder.queue[0].due, first.due);
    // The reader takes every entry (none verifies on a flat image) and the ring is empty.
    vexo::Azt_VerifyQueued(0xFFFF);
    EXPECT_EQ(g_aztFinder.read, g_aztFinder.write);
    EXPECT_EQ(g_aztFinder.sameLap, 1);
    EXPECT_EQ(g_aztFinder.count, 0);
    vexo::Azt_FinderRowLine(&line);
    EXPECT_EQ(g_aztFinder.write, perRow);  // wrapped from slot 0 again
}

TEST_F(AztFinderTest, FullTableDropsEntriesUnverified) {
    GreyImage image(200, 200, 200);
    ResetOver(200);
    g_aztFinder.count = vexo::kAztMaxBullseyes;
    g_aztFinder.queue[0] = AZT_QUEUE_ENTRY{1600, 1600, 2000, 0, 0};
    g_aztFinder.write = 1;
    g_aztVerify.span = 4321;
    vexo::Azt_VerifyQueued(0xFFFF);
    EXPECT_EQ(g_aztFinder.read, 1);
    EXPECT_EQ(g_aztFinder.count, vexo::kAztMaxBullseyes);
    EXPECT_EQ(g_aztVerify.span, 4321);
}

// Nearest the image centre first; on equal distances the later-found first.
TEST_F(AztFinderTest, BullseyesAreHandedOutNearestTheCentreFirst) {
    GreyImage image(200, 100, 200);
    ResetOver(100);
    const int centres[3][2] = {{110, 50}, {100, 60}, {101, 50}};  // keys 100, 100, 1
    for (int k = 0; k < 3; ++k) {
        AZT_BULLSEYE &b = g_aztFinder.table[k];
        b = AZT_BULLSEYE{};
        b.centreX = centres[k][0] * 16;
        b.centreY = centres[k][1] * 16;
        for (int c = 0; c < 4; ++c) {
            b.q[c][0] = b.centreX + ((c == 1 || c == 2) ? 64 : -64);
            b.q[c][1] = b.centreY + (c >= 2 ? 64 : -64);
        }
        b.minX = b.centreX - 100;
        b.maxX = b.centreX + 100;
        b.minY = b.centreY - 100;
        b.maxY = b.centreY + 100;
    }
    g_aztFinder.count = 3;
    EXPECT_EQ(vexo::Azt_NextBullseyeCandidate(), &g_aztFinder.table[2]);
    EXPECT_EQ(vexo::Azt_NextBullseyeCandidate(), &g_aztFinder.table[1]);
    EXPECT_EQ(vexo::Azt_NextBullseyeCandidate(), &g_aztFinder.table[0]);
    EXPECT_EQ(vexo::Azt_NextBullseyeCandidate(), nullptr);
    g_aztFinder.count = 0;
    EXPECT_EQ(vexo::Azt_NextBullseyeCandidate(), nullptr);
}

TEST_F(AztFinderTest, RowsDoneRaisesTheSuccessByteOnlyWithABullseye) {
    vexo::Azt_FinderReset(nullptr, nullptr);
    vexo::Azt_FinderRowsDone();
    EXPECT_EQ(vexo::g_finderState.success[vexo::kFinderIdAztec], 0);
    g_aztFinder.count = 1;
    vexo::Azt_FinderRowsDone();
    EXPECT_EQ(vexo::g_finderState.success[vexo::kFinderIdAztec], 1);
}

// ---- Ray setup.

TEST_F(AztFinderTest, SetupChoosesLevelAndEdgeFinderBySpanAndRow) {
    struct Row {
        const char *what;
        int span;
        int ground, origin;  // grey of the image and of the origin pixel
        int polarity;
        int level;
        vexo::AztRayEdgeFn finder;
    };
    const Row kRows[] = {
        {"span 31", 31, 200, 0, 0, 127, vexo::Loc_RayEdgeFlat},
        {"span 31, light on dark", 31, 40, 255, 1, 128, vexo::Loc_RayEdgeFlat},
        {"span 64", 64, 200, 0, 0, 100, vexo::Loc_RayEdgeContrast},
        {"span 480", 480, 200, 0, 0, 100, vexo::Loc_RayEdgeContrast},
        {"span 481", 481, 200, 0, 0, 100, vexo::Loc_RayEdgeLong},
        {"span 481, row at most 49", 481, 49, 0, 0, 24, vexo::Loc_RayEdgeFlat},
        {"span 64, light on dark", 64, 40, 240, 1, 255 - 140, vexo::Loc_RayEdgeContrast},
    };
    for (const Row &r : kRows) {
        GreyImage image(200, 200, static_cast<uint8_t>(r.ground));
        image.At(100, 100) = static_cast<uint8_t>(r.origin);
        vexo::Azt_FinderReset(nullptr, nullptr);
        const AZT_QUEUE_ENTRY e{1600, 1600, static_cast<uint16_t>(1600 + 2 * r.span), 0, r.polarity};
        ASSERT_EQ(vexo::Azt_SetupRays(&e), 1) << r.what;
        EXPECT_EQ(g_aztVerify.level, r.level) << r.what;
        EXPECT_EQ(g_aztVerify.edgeFinder, r.finder) << r.what;
        EXPECT_EQ(g_aztVerify.cx, 100);
        EXPECT_EQ(g_aztVerify.cy, 100);
        EXPECT_EQ(g_aztVerify.rays[3].firstLimit, (4 * r.span + 3) / 7);
        EXPECT_EQ(g_aztVerify.rays[3].secondLimit, (6 * r.span + 3) / 7);
    }
}

TEST_F(AztFinderTest, RaysAreCutAtTheImageBorder) {
    GreyImage image(100, 100, 200);
    vexo::Azt_FinderReset(nullptr, nullptr);
    image.At(50, 5) = 0;
    const AZT_QUEUE_ENTRY top{50 * 16, 5 * 16, 5 * 16 + 380, 0, 0};  // span 190: m = 12
    ASSERT_EQ(vexo::Azt_SetupRays(&top), 1);
    for (int k = 0; k < 16; ++k) {
        const bool upwards = k >= 13 || k <= 3;
        EXPECT_EQ(g_aztVerify.rays[k].length, upwards ? 5 : 12) << "ray " << k;
    }
    image.At(3, 50) = 0;
    const AZT_QUEUE_ENTRY left{3 * 16, 50 * 16, 50 * 16 + 380, 0, 0};
    ASSERT_EQ(vexo::Azt_SetupRays(&left), 1);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(g_aztVerify.rays[k].length, k >= 9 ? 3 : 12) << "ray " << k;
    // An origin on row 0 or column 0 is refused.
    const AZT_QUEUE_ENTRY row0{50 * 16, 0, 380, 0, 0};
    const AZT_QUEUE_ENTRY column0{0, 50 * 16, 50 * 16 + 380, 0, 0};
    EXPECT_EQ(vexo::Azt_SetupRays(&row0), 0);
    EXPECT_EQ(vexo::Azt_SetupRays(&column0), 0);
}

TEST_F(AztFinderTest, RayPointsInImageEighths) {
    GreyImage image(100, 100, 200);
    vexo::Azt_FinderReset(nullptr, nullptr);
    g_aztVerify.cx = 50;
    g_aztVerify.cy = 40;
    struct Row {
        int ray;
        uint16_t t;
        int x, y;
    };
    static constexpr Row kRows[] = {
        {4, 80, 480, 320},  // right: ten samples of one pixel
        {0, 80, 400, 240},  // up
        {6, 80, 480, 400},  // down-right: ten diagonal steps
        {1, 80, 440, 240},  // up, then up-right: (1, -2) per two steps
        {12, 80, 320, 320},
    };
    for (const Row &r : kRows) {
        int32_t out[2];
        vexo::Azt_RayPointToImage(&g_aztVerify.rays[r.ray], out, r.t);
        EXPECT_EQ(out[0], r.x) << r.ray;
        EXPECT_EQ(out[1], r.y) << r.ray;
    }
}

// ---- Ring square.

// Ring points where the 16 rays meet a square of half-side h (1/8 pixel) round (cx, cy),
// each pushed out from the centre by the factor of bulge(k).
void SquareRing(int32_t points[16][2], double h, double cx, double cy, double (*bulge)(int) = nullptr) {
    for (int k = 0; k < 16; ++k) {
        const double a = k * M_PI / 8;
        const double dx = std::sin(a), dy = -std::cos(a);
        const double r = h / std::fmax(std::fabs(dx), std::fabs(dy)) * (bulge != nullptr ? bulge(k) : 1.0);
        points[k][0] = static_cast<int32_t>(std::lround(cx + r * dx));
        points[k][1] = static_cast<int32_t>(std::lround(cy + r * dy));
    }
}

TEST_F(AztFinderTest, SquareFitFindsTheCornersOfTheRing) {
    int32_t p[16][2];
    SquareRing(p, 160, 800, 600);
    int32_t q[4][2];
    ASSERT_EQ(vexo::Azt_FitSquareToRing(p, q), 1);
    // Clockwise from the corner after the first side: each a corner of the square.
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(std::fabs(q[k][0] - 800.0), 160, 1) << k;
        EXPECT_NEAR(std::fabs(q[k][1] - 600.0), 160, 1) << k;
        const int n = (k + 1) & 3;
        const double cross = (q[k][0] - 800.0) * (q[n][1] - 600.0) - (q[k][1] - 600.0) * (q[n][0] - 800.0);
        EXPECT_GT(cross, 0) << "clockwise on the image";
    }
}

TEST_F(AztFinderTest, SquareFitRefusesRingsThatAreNoSquare) {
    int32_t p[16][2];
    int32_t q[4][2];
    // A circle: no corner.
    for (int k = 0; k < 16; ++k) {
        p[k][0] = static_cast<int32_t>(std::lround(800 + 200 * std::sin(k * M_PI / 8)));
        p[k][1] = static_cast<int32_t>(std::lround(600 - 200 * std::cos(k * M_PI / 8)));
    }
    EXPECT_EQ(vexo::Azt_FitSquareToRing(p, q), 0);
    // A triangle: three corners.
    const double tri[3][2] = {{800, 300}, {1100, 820}, {500, 820}};
    for (int k = 0; k < 16; ++k) {
        const double t = k * 3.0 / 16;
        const int side = static_cast<int>(t);
        const double f = t - side;
        const double *a = tri[side], *b = tri[(side + 1) % 3];
        p[k][0] = static_cast<int32_t>(std::lround(a[0] + f * (b[0] - a[0])));
        p[k][1] = static_cast<int32_t>(std::lround(a[1] + f * (b[1] - a[1])));
    }
    EXPECT_EQ(vexo::Azt_FitSquareToRing(p, q), 0);
}

// Ring points of a square of half-side h (1/8 pixel) round (800, 600) narrowed towards its
// top: x scaled by 1 + k y / h, which keeps the sides straight.
void Trapezoid(int32_t points[16][2], double h, double k) {
    for (int i = 0; i < 16; ++i) {
        const double a = i * M_PI / 8;
        const double dx = std::sin(a), dy = -std::cos(a);
        const double r = h / std::fmax(std::fabs(dx), std::fabs(dy));
        const double y = r * dy;
        points[i][0] = static_cast<int32_t>(std::lround(800 + r * dx * (1 + k * y / h)));
        points[i][1] = static_cast<int32_t>(std::lround(600 + y));
    }
}

// A small ring (squared sides summing to at most 29,999) is taken without the shape and
// residual tests; the same shape larger is refused by them.
TEST_F(AztFinderTest, SmallSquaresSkipTheShapeAndResidualTests) {
    int32_t p[16][2];
    int32_t q[4][2];
    Trapezoid(p, 40, 0.3);  // sides 56, 104 and about 84: sum 27,904
    EXPECT_EQ(vexo::Azt_FitSquareToRing(p, q), 1);
    Trapezoid(p, 400, 0.3);
    EXPECT_EQ(vexo::Azt_FitSquareToRing(p, q), 0);
    Trapezoid(p, 400, 0.02);
    EXPECT_EQ(vexo::Azt_FitSquareToRing(p, q), 1);
}

// ---- Samples and centre.

TEST_F(AztFinderTest, CheckedSamplesStayInsideTheImage) {
    GreyImage image(20, 10, 100);
    struct Row {
        int x, y;  // 1/16 pixel
        uint16_t value;
    };
    static constexpr Row kRows[] = {
        {0, 0, 1600}, {18 * 16 + 15, 8 * 16 + 15, 1600}, {19 * 16, 0, 0xFFFF},
        {0, 9 * 16, 0xFFFF}, {-1, 0, 0xFFFF}, {0, -16, 0xFFFF},
    };
    for (const Row &r : kRows) {
        const int32_t pt[2] = {r.x, r.y};
        EXPECT_EQ(vexo::Azt_SampleAt16Checked(pt), r.value) << r.x << "," << r.y;
    }
}

TEST_F(AztFinderTest, LargeCentreCheckOnlyFromSpan336) {
    GreyImage image(100, 100, 200);
    vexo::Azt_FinderReset(nullptr, nullptr);
    g_aztVerify.level = 100;
    AZT_BULLSEYE b{};
    for (int k = 0; k < 4; ++k) {
        b.q[k][0] = 800;
        b.q[k][1] = 800;
    }
    const AZT_QUEUE_ENTRY small{800, 800, 800 + 671, 0, 0};
    const AZT_QUEUE_ENTRY large{800, 800, 800 + 672, 0, 0};
    EXPECT_EQ(vexo::Azt_CheckLargeCentre(&small, &b), 1);
    EXPECT_EQ(vexo::Azt_CheckLargeCentre(&large, &b), 0);  // a light centre
    image.At(50, 50) = 20;
    EXPECT_EQ(vexo::Azt_CheckLargeCentre(&large, &b), 1);
}

// ---- Orientation.

// A compact bulls-eye with the given corners (whole pixels) on a light image whose pixels
// for which dark(x, y) holds are dark.
AZT_BULLSEYE Oriented(GreyImage &image, const int q[4][2], bool (*dark)(int, int)) {
    image.Paint([dark](int x, int y) { return dark(x, y) ? 30.0 : 210.0; });
    AZT_BULLSEYE b{};
    for (int k = 0; k < 4; ++k) {
        b.q[k][0] = q[k][0] * 16;
        b.q[k][1] = q[k][1] * 16;
    }
    EXPECT_EQ(vexo::Azt_OrientBullseye(&b), 1);
    return b;
}

int FirstCorner(const AZT_BULLSEYE &b, const int q[4][2]) {
    for (int k = 0; k < 4; ++k)
        if (b.q[0][0] == q[k][0] * 16 && b.q[0][1] == q[k][1] * 16) return k;
    return -1;
}

TEST_F(AztFinderTest, OrientationTurnsToTheDarkCornerLowerFirstOnEqualSums) {
    GreyImage image(100, 100, 210);
    const int q[4][2] = {{30, 30}, {70, 30}, {70, 70}, {30, 70}};
    // Dark outside corner 1 only: |M1| = |M2| (3 dark modules against none), so 1.
    AZT_BULLSEYE b = Oriented(image, q, [](int x, int y) { return x > 50 && y < 50 && (x > 70 || y < 30); });
    EXPECT_EQ(FirstCorner(b, q), 1);
    EXPECT_EQ(b.q[1][0], q[2][0] * 16);  // still clockwise
    // Dark outside corners 0 and 2: all four sums of equal size, so 0 and nothing turns.
    b = Oriented(image, q, [](int x, int y) { return (x < 30 && y < 30) || (x > 70 && y > 70); });
    EXPECT_EQ(FirstCorner(b, q), 0);
    // Light everywhere: 0.
    b = Oriented(image, q, [](int, int) { return false; });
    EXPECT_EQ(FirstCorner(b, q), 0);
}

// Samples off the image count as -1, below any grey: a diamond whose right corner's three
// samples leave the image turns to that corner as to a dark one.
TEST_F(AztFinderTest, OrientationSamplesOffTheImageCountAsDarkest) {
    GreyImage image(140, 160, 210);
    const int q[4][2] = {{80, 40}, {120, 80}, {80, 120}, {40, 80}};
    const AZT_BULLSEYE b = Oriented(image, q, [](int, int) { return false; });
    EXPECT_EQ(FirstCorner(b, q), 1);
}

// ---- Border rows handed through a line set (the handlers then see rows the row pass never
// gives them); everything read stays inside the image.

TEST_F(AztFinderTest, FiveRunWindowsOnTheFirstAndLastRowReadNothingOutside) {
    const int w = 64, h = 24;
    for (int row : {0, h - 1}) {
        GreyImage image(w, h, 200);
        // 1:1:3:1:1 runs of 2 px from column 8, light first: dark runs at 10-11 and 18-19.
        for (int y = 0; y < h; ++y)
            for (int x : {10, 11, 18, 19}) image.At(x, y) = 30;
        for (int k : {vexo::kSymQr, vexo::kSymMicroQr, vexo::kSymDataMatrix, vexo::kSymMaxiCode, vexo::kSymCsCode})
            vexo::g_params.flagsWord[k] &= ~vexo::kFlagEnabled;
        vexo::REGION_QUAD flat{{{0, row}, {w - 1, row}, {0, row}, {w - 1, row}}};
        vexo::Loc_ResetFinderTable(vexo::g_finderTable, vexo::kFinderEntries, &flat, &flat);
        std::vector<int> positions = {128, 160, 192, 288, 320, 352, 384, 416, 448};
        std::vector<EDGE_ITEM> edges = Alternating(positions);
        EDGE_ITEM *lines[2] = {edges.data(), edges.data()};
        int32_t rising[2] = {5, 5}, falling[2] = {4, 4}, pos[2] = {row, row};
        vexo::LINE_SET set{1, 2, lines, rising, falling, pos};
        vexo::Loc_RunLineSet(1, &set, vexo::g_finderTable, vexo::kFinderEntries);
        EXPECT_GE(g_aztFinder.write, 1) << "row " << row;
        EXPECT_EQ(g_aztFinder.queue[0].width, 6);
        // The queued window is verified at the hand-out: its centre row search stays put.
        int32_t point[2] = {g_aztFinder.queue[0].x >> 4, row};
        vexo::Azt_FindDarkCentreRow(point, g_aztFinder.queue[0].width);
        EXPECT_EQ(point[0], 12);
        EXPECT_EQ(point[1], row);
        g_aztFinder.count = 1;  // let the hand-out verify what is queued
        g_aztFinder.table[0] = AZT_BULLSEYE{};
        vexo::Azt_NextBullseyeCandidate();
    }
}

}  // namespace
