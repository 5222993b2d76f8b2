// The region finder's passes on synthetic bars: the size limits of each pass, the row
// pass's arena use and the midpoint filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "linear_image/lineimg_finder.h"
#include "segment_test.h"

namespace {

using namespace vexo;

REGION_QUAD Box(int left, int top, int right, int bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

class RegionFinderPass : public segment_test::SegmentTest {
protected:
    i32 ArenaUsed() {
        ARENA_STATS s{};
        Mem_GetStats(&s);
        return s.used;
    }
    segment_test::GreyFrame frame_{1, 1};
};

// Paper with dark bars 2 px wide every 4 px from x0 (flat: from y0 down), over the given span.
segment_test::GreyFrame Stripes(int x0, int count, bool flat) {
    segment_test::GreyFrame f(400, 300);
    for (int k = 0; k < count; ++k)
        for (int a = 40; a < 260; ++a)
            for (int b = 0; b < 2; ++b) {
                const int along = x0 + 4 * k + b;
                if (flat) f.At(a, along) = 30;
                else f.At(along, a) = 30;
            }
    return f;
}

TEST_F(RegionFinderPass, EachPassNeedsItsSize) {
    frame_ = Stripes(101, 7, false);
    segment_test::Install(frame_);
    struct Case {
        REGION_QUAD box;
        bool scanned;
    };
    // Rows: right - left of 26 is too narrow, 27 is scanned; bottom - top of 6 too low.
    const Case rows[] = {{Box(100, 100, 126, 200), false}, {Box(100, 100, 127, 200), true},
                         {Box(100, 100, 127, 106), false}, {Box(100, 100, 127, 107), true}};
    for (const Case &c : rows) {
        g_segmentStore.count = 0;
        const i32 before = ArenaUsed();
        REGION_QUAD out[20];
        LineImg_RowPass(&c.box, out, 20);
        EXPECT_EQ(g_segmentStore.count > 0, c.scanned) << c.box.c[1].x << " " << c.box.c[2].y;
        EXPECT_EQ(ArenaUsed(), before);
    }
    // Columns: bottom - top of 27 and right - left of at least 7.
    frame_ = Stripes(101, 7, true);
    segment_test::Install(frame_);
    const Case columns[] = {{Box(100, 100, 200, 126), false}, {Box(100, 100, 200, 127), true},
                            {Box(100, 100, 106, 127), false}, {Box(100, 100, 107, 127), true}};
    for (const Case &c : columns) {
        g_segmentStore.count = 0;
        REGION_QUAD out[20];
        LineImg_ColumnPass(&c.box, out, 20);
        EXPECT_EQ(g_segmentStore.count > 0, c.scanned) << c.box.c[1].x << " " << c.box.c[2].y;
    }
}

TEST_F(RegionFinderPass, FilterKeepsSegmentsOnAnEdgeAwayFromTheBorder) {
    segment_test::GreyFrame f(200, 200);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            if (x % 8 < 4) f.At(x, y) = 30;
    frame_ = f;
    segment_test::Install(frame_);
    struct Case {
        int midX, midY;
        bool kept;
    };
    const Case cases[] = {{15, 50, false}, {16, 50, true},  {184, 50, false}, {183, 50, true},
                          {48, 15, false}, {48, 16, true},  {100, 150, false}};
    g_segmentStore.count = 0;
    for (const Case &c : cases) {
        LINE_SEGMENT s{};
        LineImg_SetSegment(&s, {c.midX, c.midY - 5}, {c.midX, c.midY + 5}, 2, 1);
        g_segmentStore.seg[g_segmentStore.count++] = s;
    }
    LineImg_FilterSegments(1, 0);
    std::vector<std::pair<int, int>> kept;
    for (i32 i = 0; i < g_segmentStore.count; ++i) kept.emplace_back(g_segmentStore.seg[i].midX, g_segmentStore.seg[i].midY);
    for (const Case &c : cases) {
        const bool found = std::find(kept.begin(), kept.end(), std::make_pair(c.midX, c.midY)) != kept.end();
        EXPECT_EQ(found, c.kept) << c.midX << "," << c.midY;
    }
}

}  // namespace
