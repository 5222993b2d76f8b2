// The region list's steps: cutting against an unread PDF417 symbol, dropping nested regions
// and putting every corner order forwards.
#include <gtest/gtest.h>

#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "linear_image/lineimg_finder.h"
#include "linear_image/lineimg_regions.h"

namespace {

using namespace vexo;

REGION_QUAD ListBox(i32 left, i32 top, i32 right, i32 bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

bool Same(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k)
        if (a.c[k].x != b.c[k].x || a.c[k].y != b.c[k].y) return false;
    return true;
}

TEST(LineImgRegionList, CutAgainstTheBox) {
    struct Case {
        const char *name;
        REGION_QUAD box;
        i32 parts;
        REGION_QUAD first, second;
    };
    const REGION_QUAD region = ListBox(100, 100, 300, 300);
    const Case cases[] = {
        {"across the middle", ListBox(50, 180, 350, 220), 2, ListBox(100, 100, 300, 180), ListBox(100, 220, 300, 300)},
        {"over the top", ListBox(50, 60, 350, 150), 1, ListBox(100, 150, 300, 300), {}},
        {"over the bottom", ListBox(50, 250, 350, 340), 1, ListBox(100, 100, 300, 250), {}},
        {"above it", ListBox(50, 20, 350, 60), 1, region, {}},
        {"below it", ListBox(50, 320, 350, 360), 1, region, {}},
        // A box without width cuts in x.
        {"no width, in the middle", ListBox(180, 0, 180, 400), 2, ListBox(100, 100, 180, 300), ListBox(180, 100, 300, 300)},
    };
    for (const Case &c : cases) {
        REGION_QUAD r = region, second{};
        EXPECT_EQ(LineImg_CutRegion(&r, &c.box, &second), c.parts) << c.name;
        EXPECT_TRUE(Same(r, c.first)) << c.name;
        if (c.parts == 2) {
            EXPECT_TRUE(Same(second, c.second)) << c.name;
        }
    }
}

class LineImgRegionFrame : public vexo_test::DecoderTest {};

TEST_F(LineImgRegionFrame, AlignBoxMakesAnUprightRectangleInsideTheImage) {
    static u8 pixels[200 * 100];
    Pix_SetImagePointer(pixels);
    Pix_SetImageSize(200, 100);
    REGION_QUAD q{{{-10, 20}, {150, 10}, {5, 90}, {260, 130}}};
    LineImg_AlignBox(&q, 1);
    EXPECT_TRUE(Same(q, ListBox(0, 10, 199, 99)));
}

TEST(LineImgRegionList, NestedRegionsLeaveOne) {
    // Two regions whose centres lie in each other, and one apart.
    REGION_QUAD quads[3] = {ListBox(100, 100, 200, 140), ListBox(110, 105, 210, 145), ListBox(400, 100, 500, 140)};
    u8 kinds[3] = {1, 2, 1};
    EXPECT_EQ(LineImg_DropNestedRegions(quads, kinds, 3), 2);
    EXPECT_TRUE(Same(quads[0], ListBox(100, 100, 200, 140)));
    EXPECT_TRUE(Same(quads[1], ListBox(400, 100, 500, 140)));
    EXPECT_EQ(kinds[1], 1);
    EXPECT_TRUE(Same(quads[2], REGION_QUAD{}));

    // The last region swallows an earlier one: it moves into its place and is followed there.
    REGION_QUAD q2[3] = {ListBox(110, 105, 140, 135), ListBox(400, 100, 500, 140), ListBox(100, 100, 200, 140)};
    u8 k2[3] = {2, 1, 1};
    EXPECT_EQ(LineImg_DropNestedRegions(q2, k2, 3), 2);
    EXPECT_TRUE(Same(q2[0], ListBox(100, 100, 200, 140)));
    EXPECT_EQ(k2[0], 1);

    // A region alone stays (it is never compared with itself).
    REGION_QUAD one = ListBox(0, 0, 50, 50);
    u8 k1 = 1;
    EXPECT_EQ(LineImg_DropNestedRegions(&one, &k1, 1), 1);
}

TEST(LineImgRegionList, CornerOrdersRunForwards) {
    struct Case {
        const char *name;
        u8 kind;
        REGION_QUAD in;
        REGION_QUAD out;
    };
    const POINT_I32 tl{10, 10}, tr{90, 10}, bl{10, 40}, br{90, 40};
    const Case cases[] = {
        {"upright, in order", 1, {{tl, tr, bl, br}}, {{tl, tr, bl, br}}},
        {"upright, right to left", 1, {{br, bl, tr, tl}}, {{tl, tr, bl, br}}},
        {"upright, mirrored", 1, {{tr, tl, br, bl}}, {{tl, tr, bl, br}}},
        {"upright, mirrored upside down", 1, {{bl, br, tl, tr}}, {{tl, tr, bl, br}}},
        // Flat bars: the finder gives bottom-left, top-left, bottom-right, top-right; read
        // forwards the first side runs downwards.
        {"flat, as found", 2, {{bl, tl, br, tr}}, {{tr, br, tl, bl}}},
        {"flat, forwards", 2, {{tr, br, tl, bl}}, {{tr, br, tl, bl}}},
        {"flat, mirrored", 2, {{tl, bl, tr, br}}, {{tr, br, tl, bl}}},
        {"flat, mirrored the other way", 2, {{br, tr, bl, tl}}, {{tr, br, tl, bl}}},
    };
    for (const Case &c : cases) {
        REGION_QUAD q = c.in;
        LineImg_FixHandedness(&q, 1, &c.kind);
        LineImg_FixDirection(&q, 1, &c.kind);
        EXPECT_TRUE(Same(q, c.out)) << c.name;
    }
}

}  // namespace
