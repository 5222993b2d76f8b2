// Region-of-interest selection: the block finder's steps, box widening and de-nesting, the
// whole selection on synthetic frames of every size, and the helpers no stage calls.
#include <array>
#include <cstring>
#include <vector>

#include "locate_test.h"

namespace {

using locate_test::Box;
using locate_test::GreyFrame;
using locate_test::LocateTest;
using vexo::BYTE_PLANE;
using vexo::REGION_QUAD;
using vexo::ROI_BOX;

std::vector<REGION_QUAD> Select() {
    std::array<REGION_QUAD, 50> out{};
    const int n = vexo::Loc_SelectRegions(out.data());
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 50);
    if (n < 1 || n > 50) return {};
    return std::vector<REGION_QUAD>(out.begin(), out.begin() + n);
}

// A block map from rows of '#' (marked) and '.'.
struct BlockMap {
    // Rows separated by '/'.
    explicit BlockMap(const char *rows) : width(static_cast<int>(std::strcspn(rows, "/"))), height(0) {
        for (const char *p = rows; *p != 0; ++p) {
            if (*p == '/') continue;
            cells.push_back(*p == '#' ? 1 : 0);
        }
        height = static_cast<int>(cells.size()) / width;
    }
    BlockMap(int w, int h) : width(w), height(h), cells(static_cast<size_t>(w) * h) {}
    BYTE_PLANE Plane() { return BYTE_PLANE{cells.data(), width, height}; }
    int At(int x, int y) const { return cells[static_cast<size_t>(y) * width + x]; }
    int Marked() const {
        int n = 0;
        for (uint8_t c : cells) n += c != 0;
        return n;
    }
    int width, height;
    std::vector<uint8_t> cells;
};

// The steps take their temporary planes from the scratch area of the last block search.
class BlockStepTest : public LocateTest {
protected:
    void SetUp() override {
        LocateTest::SetUp();
        Install(frame_);
        std::array<ROI_BOX, 1> out{};
        ROI_BOX window{4, 476, 4, 636};
        ASSERT_EQ(vexo::Loc_FindBlockRegions(out.data(), 1, &window), 0);
    }
    GreyFrame frame_{640, 480};
};

// The filter written the plain way: 37 neighbours visited per block.
BlockMap ReferenceFilter(const BlockMap &m) {
    BlockMap out = m;
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            if (m.At(x, y) == 0) continue;
            int n = 0;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (dx * dx + dy * dy <= 12 && xx >= 0 && yy >= 0 && xx < m.width && yy < m.height)
                        n += m.At(xx, yy);
                }
            if (n < 21) out.cells[static_cast<size_t>(y) * m.width + x] = 0;
        }
    }
    for (int x = 0; x < m.width; ++x) out.cells[x] = out.cells[static_cast<size_t>(m.height - 1) * m.width + x] = 0;
    for (int y = 0; y < m.height; ++y)
        out.cells[static_cast<size_t>(y) * m.width] = out.cells[static_cast<size_t>(y) * m.width + m.width - 1] = 0;
    return out;
}

TEST_F(BlockStepTest, FilterMatchesThePlainNeighbourCount) {
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {2, 2}, {3, 7}, {7, 3}, {8, 8}, {20, 13}, {79, 59}, {120, 80}};
    const int densities[] = {10, 45, 60, 75, 95};
    for (auto size : sizes) {
        for (int density : densities) {
            const uint32_t seed = static_cast<uint32_t>(size.w * 1000 + size.h * 10 + density);
            std::mt19937 rng(seed);
            BlockMap m(size.w, size.h);
            for (uint8_t &c : m.cells) c = static_cast<int>(rng() % 100) < density ? 1 : 0;
            const BlockMap expect = ReferenceFilter(m);
            BYTE_PLANE plane = m.Plane();
            vexo::Loc_FilterBlockMap(&plane);
            ASSERT_EQ(m.cells, expect.cells) << size.w << "x" << size.h << " density " << density << " seed " << seed;
        }
    }
}

TEST_F(BlockStepTest, FilterKeepsTheOutlineOfALargeGroupButNotItsCorners) {
    BlockMap m(16, 16);
    for (int y = 3; y < 13; ++y)
        for (int x = 3; x < 13; ++x) m.cells[static_cast<size_t>(y) * 16 + x] = 1;
    BYTE_PLANE plane = m.Plane();
    vexo::Loc_FilterBlockMap(&plane);
    EXPECT_EQ(m.At(3, 3), 0) << "a corner sees 13 marks";
    EXPECT_EQ(m.At(4, 3), 0) << "next to a corner: 17 marks";
    EXPECT_EQ(m.At(6, 3), 1) << "the middle of a side sees 22";
    EXPECT_EQ(m.At(3, 7), 1);
    EXPECT_EQ(m.At(12, 8), 1);
    EXPECT_EQ(m.At(8, 12), 1);
}

struct TraceCase {
    const char *name;
    const char *map;
    int x, y;
    int answer;
    ROI_BOX box;           // top, bottom, left, right in blocks
    int marksLeft;         // marked blocks after the trace
};

TEST_F(BlockStepTest, TraceFollowsTheOuterBoundaryAndErasesRowSpans) {
    const TraceCase cases[] = {
        {"lone block", "...../..#../.....", 2, 1, 0, {}, 0},
        {"bar", "....../.####./......", 1, 1, 1, {1, 1, 1, 4}, 0},
        {"rectangle", "....../.###../.###../......", 1, 1, 1, {1, 2, 1, 3}, 0},
        {"diagonal", "...../.#.../..#../...#./.....", 1, 1, 1, {1, 3, 1, 3}, 0},
        // The enclosed block is erased with its ring.
        {"ring", "......./.#####./.#...#./.#.#.#./.#...#./.#####./.......", 1, 1, 1,
         {1, 5, 1, 5}, 0},
        // From the start the search goes clockwise from north: the south-east branch is
        // followed back to the start and the south-west block stays for a later scan.
        {"fork", "....../..#.../.#.#../......", 2, 1, 1, {1, 2, 2, 3}, 1},
        // A hook whose lower arm reaches left of the start.
        {"hook", "......./...##../....#../.###.../.......", 3, 1, 1, {1, 3, 1, 4}, 0},
        {"not marked", ".../.../...", 1, 1, 0, {}, 0},
    };
    for (const TraceCase &c : cases) {
        BlockMap m(c.map);
        BYTE_PLANE plane = m.Plane();
        ROI_BOX box{-1, -1, -1, -1};
        EXPECT_EQ(vexo::Loc_TraceBlockRegion(&box, c.x, c.y, &plane), c.answer) << c.name;
        if (c.answer == 1) {
            EXPECT_EQ(box, c.box) << c.name;
        }
        EXPECT_EQ(m.Marked(), c.marksLeft) << c.name;
    }
}

TEST_F(BlockStepTest, CollectScansInRasterOrderAndStopsAtCapacity) {
    BlockMap m("........../.##....#../.##...#.#./........../....#...../........../.###...##./..........");
    std::array<ROI_BOX, 8> out{};
    BYTE_PLANE plane = m.Plane();
    ASSERT_EQ(vexo::Loc_CollectBlockRegions(out.data(), 8, &plane), 4);
    EXPECT_EQ(out[0], (ROI_BOX{1, 2, 1, 2}));
    EXPECT_EQ(out[1], (ROI_BOX{1, 2, 7, 8}));
    EXPECT_EQ(out[2], (ROI_BOX{6, 6, 1, 3}));
    EXPECT_EQ(out[3], (ROI_BOX{6, 6, 7, 8}));
    EXPECT_EQ(m.Marked(), 0) << "the blocks left by the fork's trace and the lone block are cleared";

    BlockMap again("........../.##....#../.##...#.#./........../....#...../........../.###...##./..........");
    plane = again.Plane();
    ASSERT_EQ(vexo::Loc_CollectBlockRegions(out.data(), 2, &plane), 2);
    EXPECT_EQ(again.At(1, 6), 1) << "groups after the capacity are not traced";
    plane = again.Plane();
    EXPECT_EQ(vexo::Loc_CollectBlockRegions(out.data(), 0, &plane), 0);
}

TEST_F(BlockStepTest, GroupsTouchingTheMapBorderLoseTheirBorderBlocks) {
    BlockMap m(12, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 9; ++x) m.cells[static_cast<size_t>(y) * 12 + x] = 1;
    BYTE_PLANE plane = m.Plane();
    vexo::Loc_FilterBlockMap(&plane);
    std::array<ROI_BOX, 4> out{};
    ASSERT_EQ(vexo::Loc_CollectBlockRegions(out.data(), 4, &plane), 1);
    EXPECT_EQ(out[0], (ROI_BOX{1, 10, 1, 8}));
}

// A 0/255 checkerboard of 4-pixel squares over whole blocks of the search window.
void TexturePatch(GreyFrame &f, int windowLeft, int windowTop, int bx0, int by0, int bx1, int by1) {
    f.Checker(windowLeft + 8 * bx0, windowTop + 8 * by0, windowLeft + 8 * (bx1 + 1), windowTop + 8 * (by1 + 1), 4);
}

TEST_F(LocateTest, UniformFramesGiveTheCentredWindow) {
    const struct {
        int w, h;
        REGION_QUAD quad;
    } cases[] = {
        {640, 480, Box(80, 80, 560, 400)},    {752, 480, Box(136, 80, 616, 400)},
        {1280, 720, Box(400, 200, 880, 520)}, {1280, 960, Box(400, 320, 880, 640)},
        {320, 240, Box(4, 4, 315, 235)},      {100, 80, Box(4, 4, 95, 75)},
        {481, 321, Box(4, 4, 476, 316)},      {1, 1, Box(4, 4, -4, -4)},
    };
    for (const auto &c : cases) {
        GreyFrame f(c.w, c.h, 90);
        Install(f);
        const std::vector<REGION_QUAD> quads = Select();
        ASSERT_EQ(quads.size(), 1u) << c.w << "x" << c.h;
        EXPECT_EQ(quads[0], c.quad) << c.w << "x" << c.h;
        EXPECT_EQ(vexo::g_roiTable[0], (ROI_BOX{static_cast<int16_t>((c.h - 320) >> 1),
                                                static_cast<int16_t>(((c.h - 320) >> 1) + 320),
                                                static_cast<int16_t>((c.w - 480) >> 1),
                                                static_cast<int16_t>(((c.w - 480) >> 1) + 480)}))
            << "the centred box is not widened";
    }
}

TEST_F(LocateTest, ATexturedGroupGivesItsBoxInPixelsWidenedByTheFrameMargin) {
    // Blocks 20..29 across and 15..24 down: 12 pixels before the first block, 20 after the
    // start of the last, then the frame-width margin.
    const struct {
        int w, h, windowLeft, windowTop;
        REGION_QUAD quad;
    } cases[] = {
        {640, 480, 4, 4, Box(112, 72, 296, 256)},
        {752, 480, 4, 4, Box(102, 62, 306, 266)},
        {1280, 720, 160, 40, Box(292, 132, 428, 268)},
        {1280, 960, 160, 160, Box(292, 252, 428, 388)},
        {320, 240, 4, 4, Box(136, 96, 272, 232)},
    };
    for (const auto &c : cases) {
        GreyFrame f(c.w, c.h, 120);
        TexturePatch(f, c.windowLeft, c.windowTop, 20, 15, 29, 24);
        Install(f);
        const std::vector<REGION_QUAD> quads = Select();
        ASSERT_EQ(quads.size(), 1u) << c.w << "x" << c.h;
        EXPECT_EQ(quads[0], c.quad) << c.w << "x" << c.h;
    }
}

TEST_F(LocateTest, LargeFramesSearchOnlyInsideTheirMargins) {
    GreyFrame f(1280, 960, 120);
    f.Checker(20, 300, 140, 420, 4);  // texture in the left margin only
    Install(f);
    std::vector<REGION_QUAD> quads = Select();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0], Box(400, 320, 880, 640));

    // The same patch at the same place on a 640 x 480 frame lies inside its window.
    GreyFrame small(640, 480, 120);
    small.Checker(20, 300, 140, 420, 4);
    Install(small);
    quads = Select();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_NE(quads[0], Box(80, 80, 560, 400));
    EXPECT_LE(quads[0].c[0].x, 20);
    EXPECT_GE(quads[0].c[3].x, 139);
}

TEST_F(LocateTest, ALoneTexturedBlockOrASmallGroupLeavesNoBox) {
    const struct {
        int blocksAcross, blocksDown;
    } cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {6, 2}};
    for (auto c : cases) {
        GreyFrame f(640, 480, 120);
        TexturePatch(f, 4, 4, 30, 20, 30 + c.blocksAcross - 1, 20 + c.blocksDown - 1);
        Install(f);
        const std::vector<REGION_QUAD> quads = Select();
        ASSERT_EQ(quads.size(), 1u) << c.blocksAcross << "x" << c.blocksDown;
        EXPECT_EQ(quads[0], Box(80, 80, 560, 400)) << c.blocksAcross << "x" << c.blocksDown;
    }
}

TEST_F(LocateTest, NoMoreThanFiftyGroupsAreTraced) {
    GreyFrame f(1280, 960, 120);
    // 6 x 6-block patches every 8 blocks: 14 x 10 groups in the 120 x 80-block window.
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 14; ++i) TexturePatch(f, 160, 160, 1 + 8 * i, 1 + 8 * j, 6 + 8 * i, 6 + 8 * j);
    Install(f);
    const std::vector<REGION_QUAD> quads = Select();
    ASSERT_EQ(quads.size(), 50u);
    // Raster order: the first box row holds 14 groups, the fourth row starts at the 43rd.
    EXPECT_LT(quads[0].c[0].x, quads[1].c[0].x);
    EXPECT_EQ(quads[0].c[0].y, quads[13].c[0].y);
    EXPECT_LT(quads[13].c[0].y, quads[14].c[0].y);
    EXPECT_EQ(quads[42].c[0].y, quads[49].c[0].y);
}

TEST_F(LocateTest, TheScratchAreaIsTheFramesSizeOfTheSecondBuffer) {
    GreyFrame f(320, 240, 120);
    TexturePatch(f, 4, 4, 5, 5, 20, 20);
    Install(f);
    vexo::g_internalImage[320 * 240 - 1] = 0x5A;
    vexo::g_internalImage[320 * 240] = 0xA5;
    Select();
    EXPECT_EQ(vexo::g_internalImage[320 * 240], 0xA5) << "nothing beyond width x height is touched";
    EXPECT_EQ(vexo::g_internalImage[320 * 240 - 1], 0) << "the whole area is cleared first";
}

TEST_F(LocateTest, FramesTheSearchCannotHandleFallBackToTheCentredWindow) {
    const struct {
        int w, h;
    } cases[] = {{1281, 100}, {100, 1281}, {1280, 961}, {2000, 2000}};
    for (auto c : cases) {
        GreyFrame f(c.w, c.h, 0);
        f.Checker(0, 0, c.w, c.h, 4);
        Install(f);
        vexo::g_internalImage[0] = 0x77;
        const std::vector<REGION_QUAD> quads = Select();
        EXPECT_EQ(quads.size(), 1u) << c.w << "x" << c.h;
        EXPECT_EQ(vexo::g_internalImage[0], 0x77) << "the scratch area is not used";
    }
    // Missing pixels or a missing second buffer: no search either.
    GreyFrame f(640, 480, 0);
    f.Checker(0, 0, 640, 480, 4);
    Install(f);
    vexo::Pix_SetSecondBuffer(nullptr);
    EXPECT_EQ(Select().size(), 1u);
    std::array<REGION_QUAD, 50> out{};
    EXPECT_EQ(vexo::Loc_SelectRegions(nullptr), 0);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImagePointer(nullptr);
    EXPECT_EQ(vexo::Loc_SelectRegions(out.data()), 1);
}

TEST_F(LocateTest, BlockFinderRefusesWindowsOutsideTheFrame) {
    GreyFrame f(200, 200, 0);
    f.Checker(0, 0, 200, 200, 4);
    Install(f);
    std::array<ROI_BOX, 50> out{};
    const ROI_BOX windows[] = {{-1, 150, 4, 150}, {4, 200, 4, 150}, {4, 150, -2, 150}, {4, 150, 4, 200}};
    for (ROI_BOX w : windows) EXPECT_EQ(vexo::Loc_FindBlockRegions(out.data(), 50, &w), 0);
    ROI_BOX inside{0, 199, 0, 199};
    EXPECT_EQ(vexo::Loc_FindBlockRegions(out.data(), 50, &inside), 1);
    EXPECT_EQ(vexo::Loc_FindBlockRegions(out.data(), 50, nullptr), 0);
}

TEST_F(LocateTest, WideningDependsOnTheFrameWidth) {
    const struct {
        int w, h;
        ROI_BOX in, out;
    } cases[] = {
        {640, 480, {100, 200, 100, 200}, {60, 240, 60, 240}},
        {752, 480, {100, 200, 100, 200}, {50, 250, 50, 250}},
        {1280, 960, {100, 200, 100, 200}, {84, 216, 84, 216}},
        {641, 480, {100, 200, 100, 200}, {84, 216, 84, 216}},
        {640, 480, {10, 470, 20, 630}, {0, 479, 0, 639}},
        {100, 80, {0, 79, 0, 99}, {0, 79, 0, 99}},
    };
    for (const auto &c : cases) {
        UseSize(c.w, c.h);
        ROI_BOX b = c.in;
        vexo::Loc_WidenRegions(&b, 1);
        EXPECT_EQ(b, c.out) << c.w << "x" << c.h;
    }
}

struct DropCase {
    const char *name;
    std::vector<ROI_BOX> in;
    std::vector<ROI_BOX> out;
};

TEST_F(LocateTest, ContainedBoxesAreDroppedAndNoContainerIsLost) {
    const ROI_BOX big{10, 100, 10, 100};
    const ROI_BOX inner{20, 50, 20, 50};
    const ROI_BOX other{200, 300, 200, 300};
    const ROI_BOX overlap{50, 150, 50, 150};
    const DropCase cases[] = {
        {"inner first", {inner, big}, {big}},
        {"inner last", {big, inner}, {big}},
        {"equal boxes", {big, big}, {big}},
        {"overlap only", {big, overlap}, {big, overlap}},
        {"one box", {inner}, {inner}},
        {"two inside the last", {inner, ROI_BOX{60, 90, 60, 90}, big}, {big}},
        {"container last after others", {other, inner, big}, {other, big}},
        // The last box moves over the first box, which had its turn already: the middle
        // box stays, as the walk defines.
        {"nested three", {inner, ROI_BOX{15, 60, 15, 60}, big}, {big, ROI_BOX{15, 60, 15, 60}}},
        {"three equal", {big, big, big}, {big}},
        // The last box moves over a box before i and never has a turn of its own: a box
        // nested in it survives, as the walk defines.
        {"moved box keeps its own nest", {inner, big, ROI_BOX{210, 220, 210, 220}, other},
         {other, big, ROI_BOX{210, 220, 210, 220}}},
        {"everything inside the last", {big, inner, other, ROI_BOX{210, 220, 210, 220}, ROI_BOX{0, 400, 0, 400}},
         {ROI_BOX{0, 400, 0, 400}}},
    };
    for (const DropCase &c : cases) {
        std::vector<ROI_BOX> boxes = c.in;
        const int n = vexo::Loc_DropContainedRegions(boxes.data(), static_cast<int>(boxes.size()));
        ASSERT_EQ(n, static_cast<int>(c.out.size())) << c.name;
        boxes.resize(static_cast<size_t>(n));
        EXPECT_EQ(boxes, c.out) << c.name;
    }
    EXPECT_EQ(vexo::Loc_DropContainedRegions(nullptr, 3), 3);
}

TEST_F(LocateTest, SelectionOfAnySizeStaysInBoundsAndAnswersAtLeastOneRegion) {
    std::vector<std::pair<int, int>> sizes = {{640, 480}, {752, 480}, {1280, 720}, {1280, 960}, {960, 1280},
                                              {320, 240}, {100, 80},  {1280, 1},   {1, 960},    {17, 17},
                                              {15, 16},   {24, 31},   {33, 1280}};
    for (int w = 1; w <= 8; ++w)
        for (int h = 1; h <= 8; ++h) sizes.emplace_back(w, h);
    for (auto [w, h] : sizes) {
        for (int textured = 0; textured < 2; ++textured) {
            const uint32_t seed = static_cast<uint32_t>(w * 7919 + h * 31 + textured);
            GreyFrame f(w, h, 128);
            if (textured != 0) {
                f.Checker(0, 0, w, h, 4);
                f.Noise(seed, 40);
            }
            Install(f);
            const std::vector<REGION_QUAD> quads = Select();
            ASSERT_FALSE(quads.empty()) << w << "x" << h << " seed " << seed;
            if (w < 16 || h < 16) continue;
            for (const REGION_QUAD &q : quads) {
                EXPECT_GE(q.c[0].x, vexo::g_frameMargins.firstColumn) << w << "x" << h << " seed " << seed;
                EXPECT_GE(q.c[0].y, vexo::g_frameMargins.firstRow) << w << "x" << h << " seed " << seed;
                EXPECT_LE(q.c[3].x, vexo::g_frameMargins.lastColumn) << w << "x" << h << " seed " << seed;
                EXPECT_LE(q.c[3].y, vexo::g_frameMargins.lastRow) << w << "x" << h << " seed " << seed;
            }
        }
    }
}

TEST_F(LocateTest, CentredWindowAndShrinkToAThird) {
    UseSize(641, 481);
    ROI_BOX b{};
    vexo::Loc_CentredWindow(&b);
    EXPECT_EQ(b, (ROI_BOX{80, 400, 80, 560}));

    UseSize(600, 300);
    const struct {
        std::array<int32_t, 4> in, out;
    } cases[] = {
        {{0, 0, 600, 300}, {200, 100, 400, 200}},    // both sides cut to a third
        {{100, 50, 200, 150}, {100, 50, 200, 150}},  // area below a ninth: unchanged
        {{0, 100, 500, 200}, {150, 100, 350, 200}},  // only the long side is cut
        {{0, 0, 201, 101}, {0, 0, 201, 101}},        // (201 - 200) >> 1 = 0
        {{0, 0, 203, 103}, {1, 1, 202, 102}},
    };
    for (const auto &c : cases) {
        std::array<int32_t, 4> box = c.in;
        vexo::Loc_ShrinkBoxToThird(box.data());
        EXPECT_EQ(box, c.out) << c.in[0] << "," << c.in[1] << "," << c.in[2] << "," << c.in[3];
    }
}

TEST_F(LocateTest, CentredHalfFrameIsAddedForASmallOffCentreLargestQuad) {
    UseSize(640, 480);
    std::array<REGION_QUAD, 4> quads{};
    // Top-side midpoint (20, 20): 400 pixels from the centre (320, 240); area 41 x 41.
    quads[0] = Box(0, 20, 40, 60);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 1, 4), 2);
    EXPECT_EQ(quads[1], Box(160, 120, 480, 360));

    // Near the centre: not noted.
    quads[0] = Box(300, 230, 340, 270);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 1, 4), 1);
    // Far, but the largest area reaches an eighth of the frame (38400).
    quads[0] = Box(0, 0, 199, 199);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 1, 4), 1);
    // Distance exactly 160 (midpoint (320, 80)) does not count; 161 does.
    quads[0] = Box(300, 80, 340, 100);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 1, 4), 1);
    quads[0] = Box(300, 79, 340, 100);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 1, 4), 2);
    // Full list, or nothing to look at: 0.
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 4, 4), 0);
    EXPECT_EQ(vexo::Loc_AddCentredHalfFrame(quads.data(), 0, 4), 0);
}

TEST_F(LocateTest, SampleDeviationIsAFastSquareRootOfTheVariance) {
    const int flat[] = {7, 7, 7, 7};
    EXPECT_EQ(vexo::Loc_SampleDeviation(flat, 4), 0);
    // Halving the exponent bits overshoots a true root by up to about 6 per cent.
    const int two[] = {0, 200};  // variance 10000: 103.06
    EXPECT_EQ(vexo::Loc_SampleDeviation(two, 2), 103);
    const int spread[] = {0, 0, 90, 90};  // variance 2025: 47.64
    EXPECT_EQ(vexo::Loc_SampleDeviation(spread, 4), 47);
    const int one[] = {0, 0, 0, 64};  // variance 768: 28.0
    EXPECT_EQ(vexo::Loc_SampleDeviation(one, 4), 28);
    EXPECT_EQ(vexo::Loc_SampleDeviation(two, 0), 0);
    EXPECT_EQ(vexo::Loc_SampleDeviation(nullptr, 3), 0);
}

TEST_F(LocateTest, FlatSmallRegionBecomesTheFrameLessABorder) {
    GreyFrame f(640, 480, 100);
    f.Checker(400, 300, 520, 420, 8);
    Install(f);
    REGION_QUAD q = Box(100, 100, 200, 200);  // flat, 10201 pixels
    vexo::Loc_FlatRegionToFrame(&q);
    EXPECT_EQ(q, Box(64, 64, 576, 416));
    q = Box(400, 300, 500, 400);  // textured
    vexo::Loc_FlatRegionToFrame(&q);
    EXPECT_EQ(q, Box(400, 300, 500, 400));
    q = Box(0, 0, 200, 200);  // flat but above 25000 pixels
    vexo::Loc_FlatRegionToFrame(&q);
    EXPECT_EQ(q, Box(0, 0, 200, 200));
    q = Box(700, 500, 800, 600);  // wholly outside: no pixels to judge
    vexo::Loc_FlatRegionToFrame(&q);
    EXPECT_EQ(q, Box(700, 500, 800, 600));
}

}  // namespace
