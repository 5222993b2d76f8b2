// The region finder on libzint Code 128 symbols: the result hand-over, the column pass's
// guard, companion quadrilaterals and the arena use of a whole search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/arena.h"
#include "lineimg_test_util.h"
#include "linear_image/lineimg_finder.h"
#include "support/testkit.h"
#include "toolkit/quad.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

class RegionFinder : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void Use(testkit::Frame f) {
        frame_ = std::move(f);
        InstallImage(frame_.pixels, frame_.width, frame_.height);
    }
    i32 ArenaUsed() {
        ARENA_STATS s{};
        Mem_GetStats(&s);
        return s.used;
    }
    testkit::Frame frame_;
};

testkit::Frame Code128(const std::string &data, double angle, testkit::Point centre, float height) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = data;
    in.height = height;
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.angleDeg = angle;
    o.center = centre;
    o.blurSigma = 0.6;
    return testkit::Render(testkit::Encode(in), o).frame;
}

TEST_F(RegionFinder, GetQuadsHandsOverWithoutChangingTheState) {
    g_finder.count = 20;
    for (int k = 0; k < 20; ++k) {
        g_finder.quads[k] = Box(k, k, k + 50, k + 30);
        g_finder.kinds[k] = static_cast<u8>(1 + k % 2);
    }
    for (int round = 0; round < 2; ++round) {
        REGION_QUAD q[5];
        u8 kinds[5];
        ASSERT_EQ(LineImg_GetQuads(q, kinds, 5), 5);
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(q[k].c[0].x, k);
            EXPECT_EQ(kinds[k], 1 + k % 2);
        }
    }
    EXPECT_EQ(g_finder.count, 20);
}

TEST_F(RegionFinder, ColumnPassDoesNotGroupAfterTwentyQuads) {
    Use(Code128("COLUMNS", 90, {376, 240}, 20));
    const REGION_QUAD region = Box(20, 20, 731, 459);
    REGION_QUAD out[20];
    g_finder.count = 0;
    EXPECT_GE(LineImg_ColumnPassAlone(&region, out, 20), 1);
    g_finder.count = 20;
    EXPECT_EQ(LineImg_ColumnPassAlone(&region, out, 20), 0);
}

// A long, low symbol (width to height about 11 with its margins) in the central box gets the
// quadrilateral of its size above it; near the border it does not.
TEST_F(RegionFinder, CompanionAboveALongSymbolInTheMiddle) {
    const REGION_QUAD region = Box(20, 20, 731, 459);
    struct Case {
        testkit::Point centre;
        int expected;
    };
    const Case cases[] = {{{376, 240}, 2}, {{376, 52}, 1}};
    for (const Case &c : cases) {
        Use(Code128("ABCDEFGHIJ", 0, c.centre, 15));
        const i32 before = ArenaUsed();
        ASSERT_EQ(LineImg_FindQuads(&region), c.expected) << c.centre.y;
        EXPECT_EQ(ArenaUsed(), before);
        REGION_QUAD q[20];
        u8 kinds[20];
        ASSERT_EQ(LineImg_GetQuads(q, kinds, 20), c.expected);
        EXPECT_EQ(kinds[0], kQuadUpright);
        const GEO_POINT mid{static_cast<i32>(c.centre.x), static_cast<i32>(c.centre.y)};
        EXPECT_TRUE(Geo_PointInQuad(&mid, &q[0]));
        if (c.expected == 2) {
            EXPECT_EQ(kinds[1], kQuadUpright);
            EXPECT_EQ(q[1].c[2].x, q[0].c[0].x);
            EXPECT_EQ(q[1].c[3].y, q[0].c[1].y);
            EXPECT_LT(q[1].c[0].y, q[0].c[0].y);
        }
    }
}

}  // namespace

namespace {

using namespace vexo;
using namespace lineimgtest;

class Widening : public RegionFinder {};

bool SameQuad(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k)
        if (a.c[k].x != b.c[k].x || a.c[k].y != b.c[k].y) return false;
    return true;
}

TEST_F(Widening, SidesStayWithoutEdgesAndTheListStopsAt18) {
    Use(testkit::Frame(752, 480, 200));
    REGION_QUAD quads[20];
    u8 kinds[20];
    for (int k = 0; k < 19; ++k) {
        quads[k] = Box(100 + k * 10, 100, 300 + k * 10, 160);
        kinds[k] = static_cast<u8>(1 + k % 2);
    }
    const REGION_QUAD first = quads[0];
    LineImg_ExtendQuadSides(quads, kinds, 19);
    EXPECT_TRUE(SameQuad(quads[0], first));
    EXPECT_EQ(LineImg_SplitQuads(quads, kinds, 19), 18);
    EXPECT_EQ(kinds[17], 2);
}

// A quadrilateral round the middle of a symbol grows to take in its outer bars; two
// symbols side by side with a wide quiet zone between them come out as two.
TEST_F(Widening, GrowsOverTheBarsAndSplitsTwoSymbols) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "TWINS";
    in.height = 20;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 2;
    o.center = testkit::Point{200, 240};
    testkit::Frame f = testkit::Render(sym, o).frame;
    o.center = testkit::Point{550, 240};
    const testkit::Frame right = testkit::Render(sym, o).frame;
    for (int y = 0; y < 480; ++y)
        for (int x = 376; x < 752; ++x) f.At(x, y) = right.At(x, y);
    Use(f);
    const int half = static_cast<int>(sym.width);  // the symbol is 2 * width px wide
    REGION_QUAD q = Box(200 - half / 2, 225, 200 + half / 2, 255);
    LineImg_ExtendLeftSide(&q);
    LineImg_ExtendRightSide(&q);
    EXPECT_LE(q.c[0].x, 200 - half + 2);
    EXPECT_GE(q.c[1].x, 200 + half - 2);

    // Both symbols in one quadrilateral: split in the gap between them.
    const REGION_QUAD both = Box(200 - half - 10, 225, 550 + half + 10, 255);
    REGION_QUAD parts[2];
    ASSERT_EQ(LineImg_SplitQuad(&both, parts), 2);
    EXPECT_GT(parts[0].c[1].x, 200 + half);
    EXPECT_LT(parts[0].c[1].x, 550 - half);
    // One symbol alone is never split (its gaps are narrow).
    const REGION_QUAD one = Box(200 - half - 10, 225, 200 + half + 10, 255);
    EXPECT_EQ(LineImg_SplitQuad(&one, parts), 1);
}

}  // namespace
