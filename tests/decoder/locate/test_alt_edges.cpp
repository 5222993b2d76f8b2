// The alternative finders that no decode stage calls: gradient edge segments, their
// merging and L-corner pairing, the row threshold scan and edge extension by profiles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/arena.h"
#include "locate/corner_pairing.h"
#include "locate/edge_extension.h"
#include "locate/gradient_segments.h"
#include "locate/ring_scanner.h"
#include "locate/row_thresholds.h"
#include "locate_test.h"

namespace {

using locate_test::GreyFrame;
using vexo::DM_L_CANDIDATE;
using vexo::GRADIENT_SEGMENT;
using vexo::POINT_I32;
using vexo::REGION_QUAD;

class AltEdgesTest : public locate_test::LocateTest {
protected:
    void SetUp() override {
        LocateTest::SetUp();
        vexo::Mem_ResetArena();
    }
};

// Hand-made maps: angle and magnitude, W x H, border left 0 as the finder leaves it.
struct AltEdgeMaps {
    AltEdgeMaps(int w, int h) : W(w), H(h), angle(static_cast<size_t>(w) * h, 0), mag(static_cast<size_t>(w) * h, 0) {}
    uint16_t &A(int c, int r) { return angle[static_cast<size_t>(r) * W + c]; }
    uint16_t &M(int c, int r) { return mag[static_cast<size_t>(r) * W + c]; }
    // A vertical line of like gradients at column c over rows r0..r1, a ridge of magnitude.
    void VerticalLine(int c, int r0, int r1, uint16_t a) {
        for (int r = r0; r <= r1; ++r) {
            A(c, r) = a;
            M(c, r) = 100;
            M(c - 1, r) = 50;
            M(c + 1, r) = 50;
        }
    }
    int Scan(GRADIENT_SEGMENT *out, int capacity) { return vexo::Loc_ScanSegmentSeeds(angle.data(), mag.data(), W, H, out, capacity); }
    int W, H;
    std::vector<uint16_t> angle, mag;
};

GRADIENT_SEGMENT AltSeg(int x0, int y0, int x1, int y1, int direction, int length = 0) {
    return GRADIENT_SEGMENT{static_cast<int16_t>(x0), static_cast<int16_t>(y0), static_cast<int16_t>(x1),
                            static_cast<int16_t>(y1), static_cast<uint16_t>(direction), static_cast<uint16_t>(length)};
}

// Whole pixels to sixteenths.
GRADIENT_SEGMENT AltSegPx(int x0, int y0, int x1, int y1, int direction, int length = 0) {
    return AltSeg(16 * x0, 16 * y0, 16 * x1, 16 * y1, direction, length);
}

TEST(AltEdgesAngles, DirectionAndDistance) {
    struct {
        int dx, dy, expect;
    } const dirs[] = {{0, 0, 4320},  {5, 0, 5760},    {-5, 0, 2880}, {1000, 3, 0},   {0, 1, 1440},
                      {0, -1, 4320}, {1, 1, 720},     {-1, 1, 2160}, {-1, -1, 3600}, {1, -1, 5040},
                      {1, 0x10000, 1440 - 720}};  // only the low 16 bits count: (1, 0) read as dy 0? no: 0x10000 -> 0
    for (const auto &c : dirs) {
        if (c.dy == 0x10000) {
            EXPECT_EQ(vexo::Loc_DirectionAngle(c.dx, c.dy), vexo::Loc_DirectionAngle(1, 0));
            continue;
        }
        EXPECT_EQ(vexo::Loc_DirectionAngle(c.dx, c.dy), c.expect) << c.dx << "," << c.dy;
    }
    // The table rebuilt: entry i is 16 x atan(i / 255) degrees, rounded.
    for (int i = 1; i <= 255; ++i) {
        const int expect = static_cast<int>(std::lround(16.0 * std::atan(i / 255.0) * 180.0 / M_PI));
        EXPECT_EQ(vexo::Loc_DirectionAngle(255, i), i == 255 ? 720 : expect) << i;
    }
    struct {
        int a, b, expect;
    } const dists[] = {{0, 5760, 0}, {100, 5700, 160}, {0, 2880, 2880}, {1440, 0, 1440}, {10, 20, 10}};
    for (const auto &c : dists) EXPECT_EQ(vexo::Loc_AngleDistance(c.a, c.b), c.expect) << c.a << "," << c.b;
}

TEST(AltEdgesAngles, ApproximateRoot) {
    for (int64_t r = 1; r <= 16384; r *= 2) {
        if ((r & 0x5555) == 0 && r != 1) continue;
        EXPECT_EQ(vexo::Loc_ApproxRoot(r * r), r);  // exact at powers of 4
    }
    EXPECT_EQ(vexo::Loc_ApproxRoot(65536), 256);
    EXPECT_EQ(vexo::Loc_ApproxRoot(1638400), 1312);  // an 80-pixel arm
    EXPECT_EQ(vexo::Loc_ApproxRoot(0), 0);
    EXPECT_EQ(vexo::Loc_ApproxRoot(int64_t{1} << 40), 65535);
    for (int64_t q = 1; q < 200000; q += 997)
        EXPECT_GE(vexo::Loc_ApproxRoot(q), static_cast<int>(std::sqrt(static_cast<double>(q)))) << q;
}

TEST(AltEdgesSeeds, TracedRowsDecideTheSegment) {
    // 9 rows (the seed's and 8 more) make a segment, 8 do not and are cleared all the same.
    for (int rows : {8, 9, 12}) {
        AltEdgeMaps m(20, 24);
        m.VerticalLine(10, 12 - rows / 2, 12 - rows / 2 + rows - 1, 2880);
        GRADIENT_SEGMENT out[4] = {};
        const int n = m.Scan(out, 4);
        EXPECT_EQ(n, rows >= 9 ? 1 : 0) << rows;
        for (int r = 0; r < m.H; ++r) EXPECT_EQ(m.A(10, r), 0) << rows << " row " << r;
        if (rows == 9 && n == 1) {
            // Fitted through the interior rows, ends one row beyond; gradient -x: direction up.
            EXPECT_EQ(out[0].x0, 320);
            EXPECT_EQ(out[0].x1, 320);
            EXPECT_EQ(out[0].y0, 32 * (12 - 4) - 32 * 0);
            EXPECT_EQ(out[0].y1, 32 * (12 - 4 + 8));
            EXPECT_EQ(out[0].direction, 4320);
            EXPECT_EQ(out[0].length, 256);
        }
    }
}

TEST(AltEdgesSeeds, AcrossNeighbourOfEqualMagnitudeIsNoSeed) {
    for (uint16_t neighbour : {100, 99}) {
        AltEdgeMaps m(20, 24);
        m.VerticalLine(10, 4, 20, 2880);
        for (int r = 4; r <= 20; ++r) m.M(11, r) = neighbour;
        GRADIENT_SEGMENT out[2] = {};
        EXPECT_EQ(m.Scan(out, 2), neighbour == 100 ? 0 : 1) << neighbour;
    }
}

TEST(AltEdgesSeeds, CapacityOneGivesTheSegmentNearestTheCentre) {
    AltEdgeMaps m(24, 24);
    m.VerticalLine(4, 3, 20, 2880);
    m.VerticalLine(13, 3, 20, 2880);
    GRADIENT_SEGMENT out[3];
    std::memset(out, 0x5A, sizeof out);
    ASSERT_EQ(m.Scan(out, 1), 1);
    EXPECT_EQ(out[0].x0, 13 * 32);
    EXPECT_EQ(out[1].x0, 0x5A5A);  // nothing past the capacity
    AltEdgeMaps both(24, 24);
    both.VerticalLine(4, 3, 20, 2880);
    both.VerticalLine(13, 3, 20, 2880);
    ASSERT_EQ(both.Scan(out, 3), 2);
    EXPECT_EQ(out[0].x0, 13 * 32);
    EXPECT_EQ(out[1].x0, 4 * 32);
}

TEST_F(AltEdgesTest, WindowOfThreeHalfRowsTakesNoMemory) {
    GreyFrame f(64, 240, 200);
    for (int y = 0; y < 240; ++y)
        for (int x = 32; x < 64; ++x) f.At(x, y) = 20;
    Install(f);
    struct {
        int y0, y1;
        bool takesMemory;
    } const cases[] = {{100, 103, false}, {100, 104, true}};
    for (const auto &c : cases) {
        std::memset(vexo::g_arena.memory, 0xAB, 4096);
        const REGION_QUAD w = locate_test::Box(8, c.y0, 56, c.y1);
        GRADIENT_SEGMENT out[4];
        EXPECT_EQ(vexo::Loc_FindGradientSegments(out, &w, 4), 0);  // no interior seed row either way
        bool touched = false;
        for (int k = 0; k < 4096; ++k) touched = touched || vexo::g_arena.memory[k] != 0xAB;
        EXPECT_EQ(touched, c.takesMemory) << c.y0 << ".." << c.y1;
        EXPECT_EQ(vexo::g_arena.count, 0);
    }
}

// 64 x 64: dark columns left of `edge`, light beyond.
GreyFrame AltDarkLeft(int edge) {
    GreyFrame f(64, 64, 220);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < edge; ++x) f.At(x, y) = 30;
    return f;
}

TEST_F(AltEdgesTest, VerticalEdgeDarkOnTheLeft) {
    GreyFrame f = AltDarkLeft(33);
    // The step lies inside a 2 x 2 block: a step on a block boundary gives two equal
    // gradient columns, and neither is a seed.
    Install(f);
    const REGION_QUAD w = locate_test::Box(0, 0, 63, 63);
    GRADIENT_SEGMENT out[8];
    const int n = vexo::Loc_FindGradientSegments(out, &w, 8);
    ASSERT_GE(n, 1);
    for (int k = 0; k < n; ++k) {
        EXPECT_LE(vexo::Loc_AngleDistance(out[k].direction, 1440), 16) << k;
        EXPECT_GT(out[k].y0, out[k].y1) << "starts at its lower end";
        EXPECT_NEAR(out[k].x0, 33 * 16, 16);
        EXPECT_NEAR(out[k].x1, 33 * 16, 16);
    }
    EXPECT_EQ(vexo::g_arena.count, 0);
}

TEST_F(AltEdgesTest, ArenaBalancedEvenWhenTooFull) {
    GreyFrame f = AltDarkLeft(32);
    Install(f);
    const REGION_QUAD w = locate_test::Box(0, 0, 63, 63);
    // Half-resolution window 30 x 30: row blocks of 64 bytes, maps of 1,804.
    for (int room : {64, 64 * 3, 64 * 3 + 1804}) {
        vexo::Mem_ResetArena();
        uint8_t *filler = vexo::Mem_Alloc(vexo::kArenaCapacity - room - 4);
        ASSERT_NE(filler, nullptr);
        GRADIENT_SEGMENT out[4];
        EXPECT_EQ(vexo::Loc_FindGradientSegments(out, &w, 4), 0) << room;
        EXPECT_EQ(vexo::g_arena.count, 1) << room;
        EXPECT_EQ(vexo::Mem_Alloc(room - 4), vexo::g_arena.base + (vexo::kArenaCapacity - room)) << "room given back";
    }
    // Capacity below 1 or a null window: nothing written, nothing taken.
    vexo::Mem_ResetArena();
    GRADIENT_SEGMENT out[1] = {AltSeg(1, 2, 3, 4, 5, 6)};
    EXPECT_EQ(vexo::Loc_FindGradientSegments(out, &w, 0), 0);
    EXPECT_EQ(vexo::Loc_FindGradientSegments(out, &w, -3), 0);
    EXPECT_EQ(vexo::Loc_FindGradientSegments(out, nullptr, 1), 0);
    EXPECT_EQ(out[0].x0, 1);
    EXPECT_EQ(vexo::g_arena.count, 0);
}

// A long edge 30 degrees off vertical from the window centre downwards, traced from an
// end: its sums leave 32 bits.
TEST_F(AltEdgesTest, LongSlantedEdgeOnAFullFrame) {
    GreyFrame f(1280, 960, 220);
    const double cx = 640, cy = 480, sx = std::sin(M_PI / 6), sy = std::cos(M_PI / 6);
    // Dark left of the line below the centre, supersampled so that the edge is exact.
    for (int y = 470; y < 960; ++y)
        for (int x = 300; x < 900; ++x) {
            int dark = 0;
            for (int k = 0; k < 16; ++k) {
                const double px = x + (k % 4 + 0.5) / 4, py = y + (k / 4 + 0.5) / 4;
                const double t = (px - cx) * sx + (py - cy) * sy;         // along the edge
                const double across = (px - cx) * sy - (py - cy) * sx;  // right of the edge > 0
                if (t >= 0 && t <= 400 && across < 0) ++dark;
            }
            f.At(x, y) = static_cast<uint8_t>(220 - dark * 190 / 16);
        }
    Install(f);
    const REGION_QUAD w = locate_test::Box(440, 280, 840, 680);
    GRADIENT_SEGMENT out[32];
    const int n = vexo::Loc_FindGradientSegments(out, &w, 32);
    bool found = false;
    for (int k = 0; k < n; ++k) {
        const GRADIENT_SEGMENT &s = out[k];
        if (s.length < 16 * 150) continue;
        const double vx = s.x1 - s.x0, vy = s.y1 - s.y0;
        if (std::fabs(vx * sy - vy * sx) > 0.1 * std::hypot(vx, vy)) continue;  // the wedge's other side
        auto off = [&](int x16, int y16) { return std::fabs((x16 / 16.0 - cx) * sy - (y16 / 16.0 - cy) * sx); };
        EXPECT_LE(off(s.x0, s.y0), 1.0) << k;
        EXPECT_LE(off(s.x1, s.y1), 1.0) << k;
        found = true;
    }
    EXPECT_TRUE(found) << n << " segments, none along the edge";
    EXPECT_EQ(vexo::g_arena.count, 0);
}

TEST(AltEdgesMerge, FacingEndsAndAngles) {
    struct {
        const char *what;
        GRADIENT_SEGMENT a, b;
        int merged;
    } const cases[] = {
        // Direction 2880: from end to start points -x, so a runs right to left.
        {"5 px gap merges", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(155, 50, 200, 50, 2880), 1},
        {"6 px gap does not", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(156, 50, 200, 50, 2880), 0},
        {"4 degrees apart merge", AltSeg(1600, 800, 2400, 800, 2880), AltSeg(2480, 800, 3200, 856, 2880 + 64), 1},
        {"6 degrees apart never", AltSeg(1600, 800, 2400, 800, 2880), AltSeg(2480, 800, 3200, 800, 2880 + 96), 0},
        {"the other end: b before a", AltSegPx(155, 50, 200, 50, 2880), AltSegPx(100, 50, 150, 50, 2880), 1},
    };
    for (const auto &c : cases) {
        GRADIENT_SEGMENT segs[2] = {c.a, c.b};
        segs[0].length = 777;
        EXPECT_EQ(vexo::Loc_MergeSegments(segs, 2), 2 - c.merged) << c.what;
        if (c.merged == 1) {
            EXPECT_EQ(segs[0].length, 777) << c.what;
            EXPECT_EQ(std::min(segs[0].x0, segs[0].x1), 1600) << c.what;
        }
    }
    GRADIENT_SEGMENT chain[3] = {AltSegPx(100, 50, 150, 50, 2880), AltSegPx(205, 50, 250, 50, 2880),
                                 AltSegPx(153, 50, 200, 50, 2880)};
    EXPECT_EQ(vexo::Loc_MergeSegments(chain, 3), 1) << "a grown base is compared again";
    EXPECT_EQ(chain[0].x0, 1600);
    EXPECT_EQ(chain[0].x1, 4000);
    EXPECT_EQ(vexo::Loc_MergeSegments(chain, 0), 0);
    EXPECT_EQ(vexo::Loc_MergeSegments(chain, -2), -2);
}

TEST(AltEdgesMerge, Continuation) {
    struct {
        const char *what;
        GRADIENT_SEGMENT a, b;
        int expect;
    } const cases[] = {
        {"b continues a", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(160, 50, 200, 50, 2880), 1},
        {"equal start points", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(100, 50, 200, 50, 2880), 0},
        {"equal end points", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(120, 50, 150, 50, 2880), 0},
        {"gap over 24 px", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(175, 50, 220, 50, 2880), 0},
        {"gap of 24 px", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(174, 50, 220, 50, 2880), 1},
        {"off the line", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(160, 60, 200, 60, 2880), 0},
        {"directions 6 degrees apart", AltSegPx(100, 50, 150, 50, 2880), AltSegPx(160, 50, 200, 50, 2976), 0},
    };
    for (const auto &c : cases) EXPECT_EQ(vexo::Loc_SegmentsContinue(c.a, c.b), c.expect) << c.what;
}

// A frame of 3-pixel vertical stripes: every slanted diagonal between arm ends is textured.
GreyFrame AltStripes(int w, int h) {
    GreyFrame f(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f.At(x, y) = (x / 3) % 2 != 0 ? 200 : 40;
    return f;
}

// q runs down to the corner O, p from O to the right: a dark L's outer edges.
struct AltL {
    GRADIENT_SEGMENT q, p;
};
AltL AltCornerAt(int ox, int oy, int up, int right, int pDirection = 2880) {
    return AltL{AltSegPx(ox, oy - up, ox, oy, 4320, 16 * up), AltSegPx(ox, oy, ox + right, oy, pDirection, 16 * right)};
}

TEST_F(AltEdgesTest, PairingAngleAndArmTables) {
    GreyFrame f = AltStripes(320, 240);
    Install(f);
    struct {
        const char *what;
        int up, right, pDirection, expect;
    } const cases[] = {
        {"right angle", 100, 100, 2880, 1},
        {"60 degrees (960)", 100, 100, 4320 - 960, 1},
        {"120 degrees (1920)", 100, 100, 4320 - 1920, 1},
        {"958", 100, 100, 4320 - 958, 0},
        {"1922", 100, 100, 4320 - 1922, 0},
        {"arms 16 and 64 px", 16, 64, 2880, 1},
        {"arms 16 and 80 px", 16, 80, 2880, 0},
        {"arms 80 and 16 px", 80, 16, 2880, 0},
    };
    for (const auto &c : cases) {
        const AltL l = AltCornerAt(150, 180, c.up, c.right, c.pDirection);
        const GRADIENT_SEGMENT segs[2] = {l.p, l.q};
        DM_L_CANDIDATE out[2] = {};
        const int n = vexo::Loc_PairSegmentsIntoCorners(out, 2, segs, 2);
        ASSERT_EQ(n, c.expect) << c.what;
        if (n == 1) {
            const DM_L_CANDIDATE e{150 * 16, (180 - c.up) * 16, (150 + c.right) * 16, (180 - c.up) * 16,
                                   (150 + c.right) * 16, 180 * 16, 150 * 16, 180 * 16, 1};
            EXPECT_EQ(std::memcmp(&out[0], &e, sizeof e), 0) << c.what;
        }
    }
}

TEST_F(AltEdgesTest, PairingFlagCapacityAndDegenerateArms) {
    GreyFrame f = AltStripes(320, 240);
    Install(f);
    const AltL a = AltCornerAt(60, 200, 50, 50), b = AltCornerAt(200, 120, 60, 60);
    const GRADIENT_SEGMENT segs[4] = {a.p, a.q, b.p, b.q};
    DM_L_CANDIDATE out[3];
    std::memset(out, 0x77, sizeof out);
    EXPECT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 1, segs, 4), 1);
    EXPECT_EQ(out[1].end1X, 0x77777777) << "capacity 1 stops after the first";
    EXPECT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 3, segs, 4), 2);
    EXPECT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 0, segs, 4), 0);
    EXPECT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 3, segs, 0), 0);
    // A light L: the edges' gradients turn round, so the directions and ends swap.
    const GRADIENT_SEGMENT light[2] = {AltSegPx(110, 180, 60, 180, 0, 800), AltSegPx(60, 180, 60, 130, 1440, 800)};
    ASSERT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 3, light, 2), 1);
    EXPECT_EQ(out[0].darkOnLight, 0);
    EXPECT_EQ(out[0].cornerX, 60 * 16);
    EXPECT_EQ(out[0].cornerY, 180 * 16);
    // Ends that coincide give no line: the pair is skipped, not divided by zero.
    const GRADIENT_SEGMENT dot[2] = {AltSegPx(60, 180, 60, 180, 2880, 0), a.q};
    EXPECT_EQ(vexo::Loc_PairSegmentsIntoCorners(out, 3, dot, 2), 0);
}

TEST_F(AltEdgesTest, DiagonalTexture) {
    // The diagonal from (10, 50) to (90, 50), sampled from x = 7 to 93; a period of 8
    // pixels holds one rising and one falling run of three steps.
    static constexpr uint8_t kPeriod[8] = {0, 0, 0, 100, 200, 200, 200, 100};
    struct {
        const char *what;
        int runs;  // monotone runs drawn from x = 20
        int swingBump;
        int expect;
    } const cases[] = {
        {"uniform", 0, 0, 0},
        {"five runs", 5, 0, 0},
        {"six runs", 6, 0, 1},
        {"eight runs", 8, 0, 1},
        {"six runs of too little swing", 6, 1, 0},
    };
    for (const auto &c : cases) {
        GreyFrame f(100, 100, 0);
        int x = 20;
        for (int r = 0; r < c.runs; r += 2)
            for (int k = 0; k < (c.runs - r >= 2 ? 8 : 5); ++k) f.At(x++, 50) = kPeriod[k];
        // An odd count ends on a rise that stays high to the end of the row.
        if (c.runs % 2 != 0)
            for (int k = x; k < 100; ++k) f.At(k, 50) = 200;
        if (c.swingBump != 0) {
            for (int k = 20; k < x; ++k) f.At(k, 50) = static_cast<uint8_t>(f.At(k, 50) / 20);
            const uint8_t spike[] = {0, 0, 0, 250, 250, 250};
            for (uint8_t v : spike) f.At(x++, 50) = v;
        }
        Install(f);
        EXPECT_EQ(vexo::Loc_DiagonalLooksTextured(POINT_I32{160, 800}, POINT_I32{1440, 800}), c.expect) << c.what;
    }
    EXPECT_EQ(vexo::Loc_DiagonalLooksTextured(POINT_I32{160, 800}, POINT_I32{160, 800}), 0);
}

TEST(AltEdgesCorner, AreaClearAndOrder) {
    const POINT_I32 A{1600, 1600}, O{1600, 3200}, B{3200, 3200};  // arms of 100 px
    struct {
        const char *what;
        GRADIENT_SEGMENT s;
        int expect;
    } const cases[] = {
        {"long segment ending inside", AltSegPx(150, 150, 150, 20, 4320, 1200), 0},
        {"long segment starting inside", AltSegPx(120, 20, 120, 170, 1440, 1200), 0},
        {"short segment inside", AltSegPx(150, 150, 150, 140, 4320, 1000), 1},
        {"long segment beyond 7/8", AltSegPx(195, 195, 195, 300, 1440, 2000), 1},
        {"long segment on an arm", AltSegPx(100, 190, 100, 110, 4320, 2000), 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(vexo::Loc_CornerAreaClear(A, O, B, &c.s, 1), c.expect) << c.what;
        EXPECT_EQ(vexo::Loc_CornerAreaClear(B, O, A, &c.s, 1), c.expect) << c.what << " (reversed)";
    }
    EXPECT_EQ(vexo::Loc_CornerAreaClear(A, O, B, nullptr, 0), 1);
    POINT_I32 p = A, q = B;
    EXPECT_EQ(vexo::Loc_OrderAroundCorner(&p, O, &q), 1);
    EXPECT_EQ(p.x, A.x);
    EXPECT_EQ(vexo::Loc_OrderAroundCorner(&q, O, &p), 0);
    EXPECT_EQ(q.x, A.x);
    POINT_I32 same = O, other = O;
    EXPECT_EQ(vexo::Loc_OrderAroundCorner(&same, O, &other), 0) << "a zero cross product exchanges";
}

TEST_F(AltEdgesTest, BandThresholds) {
    {
        GreyFrame f(60, 5, 100);
        Install(f);
        vexo::BAND_THRESHOLDS t;
        vexo::Loc_BandThresholds(&t);
        EXPECT_EQ(t.leftCount + t.middleCount + t.rightCount, 0);
        EXPECT_EQ(vexo::Loc_ThresholdAt(&t, 10, 2), 255);
        EXPECT_EQ(vexo::Loc_ThresholdAt(nullptr, 10, 2), 255);
    }
    for (int spread : {14, 15}) {
        GreyFrame f(60, 40, 100);
        f.At(5, 5) = static_cast<uint8_t>(100 + spread);
        Install(f);
        vexo::BAND_THRESHOLDS t;
        vexo::Loc_BandThresholds(&t);
        ASSERT_EQ(t.leftCount, 2);
        EXPECT_EQ(t.left[0], spread == 14 ? 255 : (200 + spread) / 2) << spread;
    }
    {
        GreyFrame f(60, 40, 0);
        for (int x = 1; x <= 20; ++x) {
            f.At(x, 5) = x % 2 != 0 ? 80 : 120;   // midrange 100
            f.At(x, 25) = x % 2 != 0 ? 120 : 160;  // 140
        }
        for (int x = 0; x < 60; ++x) f.At(x, 15) = static_cast<uint8_t>(x % 2 != 0 ? 50 : 70);
        for (int x = 40; x < 60; ++x) f.At(x, 5) = f.At(x, 25) = static_cast<uint8_t>(x % 2 != 0 ? 50 : 70);
        Install(f);
        vexo::BAND_THRESHOLDS t;
        vexo::Loc_BandThresholds(&t);
        struct {
            int x, y, expect;
        } const at[] = {{5, 15, 120}, {5, 0, 100}, {5, 5, 100}, {5, 25, 140}, {5, 39, 140}, {25, 15, 60},
                        {45, 15, 60}, {-1, 15, 255}, {20, 10, 60}};
        for (const auto &c : at) EXPECT_EQ(vexo::Loc_ThresholdAt(&t, c.x, c.y), c.expect) << c.x << "," << c.y;
    }
    {
        // 960 x 1,280 frame: every band stops at its entries.
        GreyFrame f(960, 1280, 0);
        for (int y = 0; y < 1280; ++y)
            for (int x = 0; x < 960; x += 2) f.At(x, y) = 200;
        Install(f);
        vexo::BAND_THRESHOLDS t[2];
        std::memset(t, 0x33, sizeof t);
        vexo::Loc_BandThresholds(&t[0]);
        EXPECT_EQ(t[0].leftCount, 52);
        EXPECT_EQ(t[0].middleCount, 52);
        EXPECT_EQ(t[0].rightCount, 51);
        EXPECT_EQ(t[1].leftCount, 0x33333333);
        EXPECT_EQ(vexo::Loc_RowThresholdScan(1, 1), 0);
    }
    {
        GreyFrame f(2, 40, 0);
        f.At(1, 5) = 200;
        Install(f);
        vexo::BAND_THRESHOLDS t;
        vexo::Loc_BandThresholds(&t);
        EXPECT_EQ(vexo::Loc_ThresholdAt(&t, 1, 5), 255) << "width 2";
        EXPECT_EQ(vexo::Loc_RowThresholdScan(1, 1), 0);
    }
}

TEST_F(AltEdgesTest, RowOrderCrossingsAndRuns) {
    UseSize(640, 480);
    vexo::Loc_NextScanRow(1);
    const int expect[] = {240, 235, 245, 230, 250};
    for (int e : expect) EXPECT_EQ(vexo::Loc_NextScanRow(0), e);
    EXPECT_EQ(vexo::Loc_NextScanRow(1), 240);
    int last = 0, calls = 0;
    while ((last = vexo::Loc_NextScanRow(0)) > 0 && calls < 1000) ++calls;
    EXPECT_EQ(calls, 95) << "240, then 235 and 245 out to 5 and 475";
    const uint8_t run7[] = {10, 17, 12}, run8[] = {10, 18, 12};
    EXPECT_EQ(vexo::Loc_RunMidThreshold(run7, 3), 0);
    EXPECT_EQ(vexo::Loc_RunMidThreshold(run8, 3), 14);
    EXPECT_EQ(vexo::Loc_RunMidThreshold(run8, 0), 0);

    GreyFrame f(60, 40, 20);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) f.At(x, y) = (x / 4) % 2 != 0 ? 200 : 20;
    Install(f);
    vexo::BAND_THRESHOLDS t;
    vexo::Loc_BandThresholds(&t);
    int32_t out[40];
    std::memset(out, 0x44, sizeof out);
    const int n = vexo::Loc_ScanRowCrossings(out, 5, 20, &t);
    ASSERT_EQ(n, 5);
    const int cols[] = {4, 8, 12, 16, 24};  // column 20 starts the middle third: no change there
    for (int k = 0; k < 5; ++k) EXPECT_EQ(out[k], cols[k]) << k;
    EXPECT_EQ(out[5], 0x44444444);
}

// A frame with a vertical edge, bright left of column `edge`, that may step right by
// `shift` pixels per 4 rows from row `from` on.
GreyFrame AltEdgeFrame(int w, int h, int edge, int from, const std::vector<int> &shifts) {
    GreyFrame f(w, h);
    for (int y = 0; y < h; ++y) {
        int e = edge;
        if (y >= from) {
            const size_t steps = static_cast<size_t>((y - from) / 4 + 1);
            for (size_t k = 0; k < steps; ++k) e += shifts.empty() ? 0 : shifts[std::min(k, shifts.size() - 1)];
        }
        for (int x = 0; x < w; ++x) f.At(x, y) = x < e ? 220 : 30;
    }
    return f;
}

TEST_F(AltEdgesTest, EdgeExtensionTable) {
    struct {
        const char *what;
        int h, limit;
        std::vector<int> shifts;
        int expected;
        int count;
        int endY;
    } const cases[] = {
        {"to the limit", 200, 100, {}, 0, 2 + (100 - 40) / 4, 100},
        {"to the bottom margin", 120, 1000, {}, 0, 2 + (104 - 40) / 4, 104},
        {"to 200 points", 1000, 5000, {}, 0, 200, 40 + 4 * 198},
        {"one pixel per step", 200, 100, {1}, 1, 2 + (100 - 40) / 4, 100},
        {"shift 0 then 2 ends there", 200, 200, {0, 0, 0, 2}, 0, 2 + 3, 52},
    };
    for (const auto &c : cases) {
        GreyFrame f = AltEdgeFrame(80, c.h, 40, 41, c.shifts);
        Install(f);
        POINT_I32 s{-1, -1}, e{-1, -1};
        int32_t count = -5;
        const int ok = vexo::Loc_ExtendFallingEdge(POINT_I32{40, 36}, POINT_I32{40, 40}, 0, &s, &e, c.expected, 1, 102,
                                                   c.limit, &count);
        ASSERT_EQ(ok, 1) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
        EXPECT_EQ(s.x, 40) << c.what;
        EXPECT_EQ(e.y, c.endY) << c.what;
    }
}

TEST_F(AltEdgesTest, EdgeExtensionRefusals) {
    GreyFrame f = AltEdgeFrame(80, 200, 40, 0, {});
    Install(f);
    POINT_I32 s{-1, -1}, e{-1, -1};
    int32_t count = -5;
    EXPECT_EQ(vexo::Loc_ExtendFallingEdge(POINT_I32{40, 50}, POINT_I32{44, 50}, 0, &s, &e, 0, 1, 102, 1000, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(s.x, -1);
    // One added point only (the limit stops the second): 0, outputs unwritten.
    count = -5;
    EXPECT_EQ(vexo::Loc_ExtendFallingEdge(POINT_I32{40, 36}, POINT_I32{40, 40}, 0, &s, &e, 0, 1, 102, 47, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(e.x, -1);
    // Reverse along a horizontal edge (axis 0): bright above row 100.
    GreyFrame g(200, 200, 30);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) g.At(x, y) = 220;
    Install(g);
    ASSERT_EQ(vexo::Loc_ExtendFallingEdge(POINT_I32{150, 100}, POINT_I32{154, 100}, 1, &s, &e, 0, 0, 102, 1000, &count), 1);
    EXPECT_EQ(e.x, 154);
    EXPECT_EQ(s.x, 150 - 4 * (count - 2));
    EXPECT_LE(s.x, 20);
}

TEST(AltRings, RunTests) {
    struct {
        const char *what;
        std::vector<int> runs;
        int expect;
    } const cases[] = {
        {"seven runs of 10", {10, 10, 10, 10, 10, 10, 10}, 1},
        {"alternating 10 and 5", {10, 5, 10, 5, 10, 5, 10}, 1},
        {"six of 10 and one of 30", {10, 10, 10, 10, 10, 10, 30}, 0},
        {"last run of 20", {10, 10, 10, 10, 10, 10, 20}, 0},
    };
    for (const auto &c : cases) {
        int32_t b[8] = {0};
        for (int k = 0; k < 7; ++k) b[k + 1] = b[k] + c.runs[k];
        int32_t score = 5;
        EXPECT_EQ(vexo::Loc_RingEqualRuns6(b, &score, 825), c.expect) << c.what;
        if (c.expect == 1) {
            EXPECT_GT(score, 5 + 825) << c.what;
        }
    }
    const int32_t four[6] = {0, 10, 20, 30, 40, 50};
    int32_t score4 = 0;
    EXPECT_EQ(vexo::Loc_RingEqualRuns4(four, &score4, 825), 0) << "the doubled spans differ";
    const int32_t inner[6] = {0, 1, 2, 9, 10, 11};  // two runs of 1, a core of 7, two of 1
    int32_t si = 0;
    EXPECT_EQ(vexo::Loc_RingInnerRatio(inner, &si, 640), 1);
    EXPECT_EQ(si, 1024);
    const int32_t flat[6] = {4, 5, 4, 9, 10, 11};
    EXPECT_EQ(vexo::Loc_RingInnerRatio(flat, &si, 0), 0) << "b2 = b0";

    vexo::RING_PROBE probes[8] = {};
    for (auto &p : probes) {
        p.bounds[0] = -1024;
        p.bounds[7] = 1024;
    }
    for (int tail : {128, 127}) {
        probes[6].bounds[7] = tail;
        int32_t sym = -1;
        EXPECT_EQ(vexo::Loc_RingSymmetry(probes, &sym), tail == 128 ? 1 : 0) << tail;
        if (tail == 128) {
            EXPECT_EQ(sym, 800);
        }
    }
    struct {
        int mode, count0, pol0, count, pol;
    } const modes[] = {{0, 0, 0, 2, 1}, {1, 0, 1, 2, 0}, {2, 0, 1, 1, 0}, {2, 1, 0, 2, 1}, {7, 3, 1, 4, 0}};
    for (const auto &m : modes) {
        int32_t count = m.count0, pol = m.pol0;
        vexo::Loc_RingNextPolarity(&count, &pol, m.mode);
        EXPECT_EQ(count, m.count) << m.mode;
        EXPECT_EQ(pol, m.pol) << m.mode;
    }
    EXPECT_EQ(vexo::Loc_RingCosine1024({10, 0}, {0, 0}, {20, 0}), 1024) << "no turn";
    EXPECT_EQ(vexo::Loc_RingCosine1024({10, 0}, {0, 0}, {10, 10}), 0) << "a right turn";
    EXPECT_EQ(vexo::Loc_RingCosine1024({10, 0}, {10, 0}, {10, 10}), 0) << "a side of 0";
    const POINT_I32 pts[3] = {{0, 0}, {10, 1}, {30, 5}};
    int32_t sums[2];
    EXPECT_EQ(vexo::Loc_RingDisplacementSums(pts, sums, 3), 1);
    EXPECT_EQ(sums[0], 10 + 30 + 20);
    EXPECT_EQ(sums[1], 1 + 5 + 4);
}

TEST_F(AltEdgesTest, RingRunBoundaries) {
    // A dark flat line: no third proposes a threshold (255).
    uint8_t flat[40];
    std::memset(flat, 50, sizeof flat);
    uint16_t b[20];
    uint8_t t = 0;
    EXPECT_EQ(vexo::Loc_RingRunBoundaries(flat, 40, b, &t, 1), 0) << "no usable contrast";
    EXPECT_EQ(t, 255);
    std::memset(flat, 120, sizeof flat);
    EXPECT_EQ(vexo::Loc_RingRunBoundaries(flat, 40, b, &t, 1), 2) << "a bright flat line is one run";
    EXPECT_EQ(vexo::Loc_RingRunBoundariesChecked(flat, 0, b, &t, 1), 0);
    uint8_t bars[40];
    for (int k = 0; k < 40; ++k) bars[k] = (k / 5) % 2 != 0 ? 20 : 200;
    const int n = vexo::Loc_RingRunBoundaries(bars, 40, b, &t, 1);
    ASSERT_EQ(n, 8);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(b[k], 5 + 5 * k) << k;
    EXPECT_EQ(b[7], 40);
    EXPECT_EQ(vexo::Loc_RingRunBoundaries(bars, 40, b, &t, 0), 9) << "light first: nothing to skip";
    EXPECT_EQ(b[0], 0);
}

// Concentric squares: a dark centre of `ring` pixels and rings of that width out to
// `rings` on a light ground, turned by `angle`; all inverted for light rings.
GreyFrame AltRingsFrame(int w, int h, double cx, double cy, double ring, int rings, double angleDeg, bool darkRings,
                        uint32_t noiseSeed) {
    GreyFrame f(w, h, 210);
    const double c = std::cos(angleDeg * M_PI / 180), s = std::sin(angleDeg * M_PI / 180);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int dark = 0;
            for (int k = 0; k < 16; ++k) {
                const double px = x + (k % 4 + 0.5) / 4 - cx, py = y + (k / 4 + 0.5) / 4 - cy;
                const double u = std::fabs(c * px + s * py), v = std::fabs(-s * px + c * py);
                const int idx = static_cast<int>(std::floor((std::max(u, v) + ring / 2) / ring));
                if (idx < rings && idx % 2 == 0) ++dark;
            }
            const int v = 210 - dark * 170 / 16;
            f.At(x, y) = static_cast<uint8_t>(darkRings ? v : 250 - v);
        }
    if (noiseSeed != 0) f.Noise(noiseSeed, 6);
    return f;
}

TEST_F(AltEdgesTest, DrawnSquareRings) {
    struct {
        double ring, angle;
        bool dark;
        uint32_t seed;
    } const cases[] = {
        {5, 0, true, 0},  {6, 0, false, 0}, {7, 15, true, 3}, {8, 30, false, 4},
        {5, 45, true, 0}, {6, 45, false, 5}, {8, 0, true, 6}, {7, 40, false, 0},
    };
    for (const auto &c : cases) {
        const double cx = 200.5, cy = 150.5;
        GreyFrame f = AltRingsFrame(400, 300, cx, cy, c.ring, 5, c.angle, c.dark, c.seed);
        Install(f);
        vexo::RING_CANDIDATE out[4];
        const int n = vexo::Loc_RingScanFrame(f.pixels.data(), out, 4, POINT_I32{0, 0}, POINT_I32{0, 0}, 0, 2);
        const std::string what = "ring " + std::to_string(c.ring) + " angle " + std::to_string(c.angle) +
                                 (c.dark ? " dark" : " light") + " seed " + std::to_string(c.seed);
        ASSERT_GE(n, 1) << what;
        EXPECT_NEAR(out[0].centreX, cx, 2) << what;
        EXPECT_NEAR(out[0].centreY, cy, 2) << what;
        EXPECT_EQ(out[0].polarity, c.dark ? 1 : 0) << what;
        for (int k = 1; k < n; ++k) EXPECT_GE(out[k - 1].score, out[k].score) << what;
        if (c.angle != 0 && c.angle != 45) continue;
        // The outermost crossings lie on the outer edge of the third ring.
        const double r = 3.5 * c.ring;
        double ex[4], ey[4];
        for (int k = 0; k < 4; ++k) {
            const double a = (c.angle + 90.0 * k - 135.0) * M_PI / 180;  // from the top-most, clockwise
            ex[k] = cx + r * std::sqrt(2.0) * std::cos(a);
            ey[k] = cy + r * std::sqrt(2.0) * std::sin(a);
        }
        if (c.angle == 0) {
            // Two corners share the top: the first is the top-right in ray order.
            const double tx[4] = {cx + r, cx + r, cx - r, cx - r}, ty[4] = {cy - r, cy + r, cy + r, cy - r};
            for (int k = 0; k < 4; ++k) {
                ex[k] = tx[k];
                ey[k] = ty[k];
            }
        }
        int matched = 0;
        for (int k = 0; k < 4; ++k) {
            const double x = out[0].corner[k] & 0xFFFF, y = static_cast<uint32_t>(out[0].corner[k]) >> 16;
            for (int j = 0; j < 4; ++j)
                if (std::fabs(x - ex[j]) <= 2 && std::fabs(y - ey[j]) <= 2) ++matched;
        }
        EXPECT_EQ(matched, 4) << what;
    }
}

TEST_F(AltEdgesTest, RingScannerCapacityAndBounds) {
    GreyFrame f = AltRingsFrame(400, 300, 120.5, 150.5, 6, 5, 0, true, 0);
    GreyFrame g = AltRingsFrame(400, 300, 290.5, 150.5, 5, 5, 10, true, 0);
    for (int x = 220; x < 400; ++x)
        for (int y = 0; y < 300; ++y) f.At(x, y) = g.At(x, y);
    Install(f);
    vexo::RING_CANDIDATE out[4];
    std::memset(out, 0x6B, sizeof out);
    EXPECT_EQ(vexo::Loc_RingScanFrame(f.pixels.data(), out, 1, POINT_I32{40, 60}, POINT_I32{370, 240}, 0, 1), 1);
    EXPECT_EQ(out[1].type, 0x6B6B6B6B) << "nothing after a full output";
    std::memset(out, 0x6B, sizeof out);
    ASSERT_EQ(vexo::Loc_RingScanFrame(f.pixels.data(), out, 4, POINT_I32{40, 60}, POINT_I32{370, 240}, 0, 1), 2);
    EXPECT_GE(out[0].score, out[1].score);
    EXPECT_EQ(out[2].type, 0) << "the entry after the last is cleared";
    EXPECT_EQ(out[3].type, 0x6B6B6B6B);
    EXPECT_EQ(vexo::Loc_RingScanFrame(f.pixels.data(), out, 0, POINT_I32{0, 0}, POINT_I32{0, 0}, 0, 1), 0);
    EXPECT_EQ(vexo::Loc_RingScanFrame(f.pixels.data(), out, 4, POINT_I32{0, 0}, POINT_I32{0, 0}, 0, 0), 0)
        << "light rings only";
    // A caller's window beyond the frame, over 1,280 columns of fine stripes.
    GreyFrame stripes(1280, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 1280; ++x) stripes.At(x, y) = x % 2 != 0 ? 200 : 30;
    Install(stripes);
    // 640 runs a row: each run list stops at its 400 entries (800 bytes of the second buffer).
    std::memset(vexo::g_internalImage + 1600, 0xE7, 64);
    EXPECT_GE(vexo::Loc_RingScanFrame(stripes.pixels.data(), out, 4, POINT_I32{-50, -20}, POINT_I32{5000, 900}, 1, 2), 0);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(vexo::g_internalImage[1600 + k], 0xE7) << k;
}

}  // namespace
