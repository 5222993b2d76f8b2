// The region table: size thresholds, the two merge passes, the lone-region growth, the
// merges whose absorbing entry is the last one, the result-coverage test, the PDF417
// search answer and the merge of overlapping quads.
#include <algorithm>
#include <array>
#include <vector>

#include "core/params.h"
#include "locate/region_table.h"
#include "locate_test.h"

namespace {

using locate_test::Box;
using locate_test::GreyFrame;
using locate_test::LocateTest;
using vexo::REGION_QUAD;
using vexo::ROI_BOX;

REGION_QUAD Square(int left, int top, int side) { return Box(left, top, left + side - 1, top + side - 1); }

ROI_BOX RoiOf(const REGION_QUAD &q) {
    return ROI_BOX{static_cast<int16_t>(q.c[0].y), static_cast<int16_t>(q.c[2].y), static_cast<int16_t>(q.c[0].x),
                   static_cast<int16_t>(q.c[1].x)};
}

// Loads the quads with the ROI table holding their boxes, as region selection leaves it.
std::vector<REGION_QUAD> Load(const std::vector<REGION_QUAD> &in) {
    for (size_t i = 0; i < in.size() && i < 50; ++i) vexo::g_roiTable[i] = RoiOf(in[i]);
    const int32_t *count = vexo::Loc_LoadRegions(in.data(), static_cast<int>(in.size()));
    EXPECT_EQ(count, &vexo::g_state.locatedCount);
    return std::vector<REGION_QUAD>(vexo::g_state.locatedRegions, vexo::g_state.locatedRegions + *count);
}

struct LoadCase {
    const char *name;
    std::vector<REGION_QUAD> in;
    std::vector<REGION_QUAD> out;
};

void RunCases(const std::vector<LoadCase> &cases) {
    for (const LoadCase &c : cases) EXPECT_EQ(Load(c.in), c.out) << c.name;
}

// 640 x 480: the search window is 632 x 472 pixels; sizes in 1/10000 of it.
const REGION_QUAD kFarBig = Box(400, 300, 599, 459);  // 1072: in neither pass

TEST_F(LocateTest, LoneRegionThresholds) {
    UseSize(640, 480);
    RunCases({
        {"38 x 38 measures 48: dropped", {Square(200, 150, 38)}, {}},
        {"39 x 39 measures 50: kept and grown", {Square(200, 150, 39)}, {Box(120, 90, 318, 248)}},
        {"109 x 109 measures 398: grown", {Square(200, 150, 109)}, {Box(120, 90, 388, 318)}},
        {"110 x 110 measures 405: kept as it is", {Square(200, 150, 110)}, {Square(200, 150, 110)}},
        {"grown only up to 4 pixels from the edges", {Box(10, 10, 60, 60)}, {Box(4, 4, 140, 120)}},
        {"and on the far side", {Box(580, 420, 635, 475)}, {Box(500, 360, 636, 476)}},
        {"tiny ones go, the big one stays", {Square(10, 10, 20), kFarBig, Square(100, 100, 38)}, {kFarBig}},
    });
}

TEST_F(LocateTest, FirstPassTakesRegionsUpTo120) {
    UseSize(640, 480);
    RunCases({
        // 60 x 60 (120): the corner of the second lies in the first; their exact union
        // (90 x 90, 271) is too big for the second pass.
        {"60 x 60 absorbed", {Square(100, 100, 60), Square(130, 130, 60), kFarBig}, {Box(100, 100, 189, 189), kFarBig}},
        // 61 x 61 (124): left to the second pass, which grows the union.
        {"61 x 61 merged later", {Square(100, 100, 61), Square(130, 130, 61), kFarBig}, {Box(20, 40, 270, 250), kFarBig}},
        // Once the first has absorbed one region, every later small region joins it.
        {"absorbing region takes every later small one",
         {Square(100, 100, 50), Square(120, 120, 50), Square(500, 400, 40)},
         {Box(100, 100, 539, 439)}},
        // Only corners and rows count: crossing bars stay apart in both passes.
        {"crossing bars", {Box(100, 150, 200, 170), Box(140, 100, 160, 220), kFarBig},
         {Box(100, 150, 200, 170), Box(140, 100, 160, 220), kFarBig}},
    });
}

TEST_F(LocateTest, SecondPassTakesRegionsUpTo249) {
    UseSize(640, 480);
    RunCases({
        {"86 x 86 (247) touching: merged and grown", {Square(100, 100, 86), Square(185, 100, 86), kFarBig},
         {Box(20, 40, 350, 245), kFarBig}},
        {"87 x 87 (253) touching: left alone", {Square(100, 100, 87), Square(186, 100, 87), kFarBig},
         {Square(100, 100, 87), Square(186, 100, 87), kFarBig}},
        // Only rows compared: one ends at row 200, the other starts at 215.
        {"rows within 20", {Box(50, 150, 99, 200), Box(500, 215, 549, 264), kFarBig},
         {Box(4, 90, 629, 324), kFarBig}},
        {"rows 21 apart", {Box(50, 150, 99, 200), Box(500, 221, 549, 270), kFarBig},
         {Box(50, 150, 99, 200), Box(500, 221, 549, 270), kFarBig}},
        {"bottom of one within 20 of the top of the other, the other way round",
         {Box(500, 221, 549, 270), Box(50, 150, 99, 201), kFarBig}, {Box(4, 90, 629, 330), kFarBig}},
    });
}

TEST_F(LocateTest, SecondPassGrowsOnlyTheCandidateBoxOfTheMergedRegion) {
    UseSize(640, 480);
    Load({Box(50, 150, 99, 200), Box(500, 215, 549, 264), kFarBig});
    EXPECT_EQ(vexo::g_roiTable[0], (ROI_BOX{90, 260, 4, 179})) << "j's box is not taken in";
    EXPECT_EQ(vexo::g_roiTable[1], RoiOf(kFarBig)) << "the last entry moved with its box";
    // The first pass writes the union into the candidate box.
    Load({Square(100, 100, 60), Square(130, 130, 60), kFarBig});
    EXPECT_EQ(vexo::g_roiTable[0], (ROI_BOX{100, 189, 100, 189}));
}

TEST_F(LocateTest, AnAbsorbingLastEntryIsNotLost) {
    UseSize(640, 480);
    const REGION_QUAD inner = Square(300, 300, 40);  // 53
    const REGION_QUAD outer = Square(290, 290, 55);  // 101, its box holds inner's corner
    RunCases({
        // The last entry absorbs the first: it moves into place 0 and goes on there; alone
        // and small, it is then grown.
        {"last absorbs first", {inner, outer}, {Box(210, 230, 424, 404)}},
        {"last absorbs the middle one", {kFarBig, inner, outer}, {kFarBig, Square(290, 290, 55)}},
    });
}

TEST_F(LocateTest, SecondPassMergeIntoTheLastEntryKeepsIt) {
    // Grown regions only stay small enough to merge again when the search window is far
    // larger than any frame's: margins and frame size are set by hand for this case.
    vexo::Pix_SetImageSize(200000, 200000);
    vexo::g_frameMargins = vexo::FRAME_MARGINS{0, 0, 99999, 99999};
    const int o = 50000;
    // Units of 1,000,000 pixels: a and k 121 each (outside the first pass), p and l 50.
    const REGION_QUAD p = Box(o + 11130, o + 100, o + 15729, o + 11099);
    const REGION_QUAD a = Box(o, o, o + 10999, o + 10999);
    const REGION_QUAD k = Box(o + 100, o + 100, o + 11099, o + 11099);
    const REGION_QUAD l = Box(o + 15760, o + 100, o + 20359, o + 11099);
    // a takes k (l moves into k's place), then p (l moves into place 0 and a is last),
    // then l: a, last, moves into place 0 and is examined again there.
    EXPECT_EQ(Load({p, a, k, l}), (std::vector<REGION_QUAD>{Box(o - 240, o - 180, o + 20439, o + 11279)}));
}

TEST_F(LocateTest, NoRegionIsLostOverRandomLoads) {
    const struct {
        int w, h;
    } frames[] = {{640, 480}, {752, 480}, {1280, 720}, {1280, 960}, {320, 240}};
    for (auto f : frames) {
        UseSize(f.w, f.h);
        const int64_t window = (static_cast<int64_t>(vexo::g_frameMargins.lastColumn) - vexo::g_frameMargins.firstColumn + 1) *
                               (vexo::g_frameMargins.lastRow - vexo::g_frameMargins.firstRow + 1);
        for (uint32_t seed = 1; seed <= 300; ++seed) {
            std::mt19937 rng(seed * 7 + static_cast<uint32_t>(f.w));
            const int n = 1 + static_cast<int>(rng() % 60);
            std::vector<REGION_QUAD> in;
            for (int i = 0; i < n; ++i) {
                const int side = 20 + static_cast<int>(rng() % 140);
                const int height = 20 + static_cast<int>(rng() % 140);
                const int left = 4 + static_cast<int>(rng() % static_cast<uint32_t>(f.w - 8 - side));
                const int top = 4 + static_cast<int>(rng() % static_cast<uint32_t>(f.h - 8 - height));
                in.push_back(Box(left, top, left + side - 1, top + height - 1));
            }
            for (int i = 0; i < 50; ++i) vexo::g_state.regionClass[i] = 1000;
            const std::vector<REGION_QUAD> out = Load(in);
            ASSERT_LE(out.size(), std::min<size_t>(in.size(), 50)) << f.w << "x" << f.h << " seed " << seed;
            for (int i = 0; i < 50; ++i) ASSERT_EQ(vexo::g_state.regionClass[i], 0);
            for (size_t i = 0; i < in.size() && i < 50; ++i) {
                const REGION_QUAD &r = in[i];
                const int64_t area = static_cast<int64_t>(r.c[1].x - r.c[0].x + 1) * (r.c[2].y - r.c[0].y + 1);
                if (area * 10000 / window <= 49) continue;
                bool held = false;
                for (const REGION_QUAD &q : out)
                    held = held || (q.c[0].x <= r.c[0].x && q.c[1].x >= r.c[1].x && q.c[0].y <= r.c[0].y &&
                                    q.c[2].y >= r.c[2].y);
                ASSERT_TRUE(held) << "region " << i << " lost; " << f.w << "x" << f.h << " seed " << seed;
            }
        }
    }
}

TEST_F(LocateTest, LoadTakesAtMostFiftyAndNothingFromAnEmptyList) {
    UseSize(1280, 960);
    // Regions too big for either pass stay as they are: 50 of the first, none of the rest.
    const REGION_QUAD first = Box(200, 200, 500, 500);
    const REGION_QUAD rest = Box(600, 200, 900, 500);
    std::vector<REGION_QUAD> many(50, first);
    many.resize(60, rest);
    EXPECT_EQ(Load(many), std::vector<REGION_QUAD>(50, first));

    vexo::g_state.locatedCount = 9;
    EXPECT_EQ(*vexo::Loc_LoadRegions(many.data(), 0), 0);
    EXPECT_EQ(*vexo::Loc_LoadRegions(many.data(), -4), 0);
    EXPECT_EQ(*vexo::Loc_LoadRegions(nullptr, 3), 0);
}

TEST_F(LocateTest, DegenerateWindowsDropEverything) {
    for (int side : {1, 8, 9}) {
        UseSize(side, side);
        const REGION_QUAD q = Box(4, 4, -4, -4);  // what selection hands on for a 1 x 1 frame
        EXPECT_EQ(*vexo::Loc_LoadRegions(&q, 1), 0) << side;
    }
}

TEST_F(LocateTest, BoxTestsGrowthAndBoundingBoxes) {
    UseSize(640, 480);
    const REGION_QUAD a = Box(10, 10, 50, 50);
    const struct {
        REGION_QUAD b;
        int aInB, touch;
    } cases[] = {
        {Box(50, 50, 90, 90), 1, 1},    // shared corner
        {Box(20, 20, 30, 30), 0, 1},    // b inside a
        {Box(0, 0, 100, 100), 1, 1},    // a inside b
        {Box(51, 10, 90, 50), 0, 0},    // side by side
        {Box(20, 0, 30, 100), 0, 0},    // crossing bar: no corner inside
    };
    for (const auto &c : cases) {
        EXPECT_EQ(vexo::Loc_CornerInBox(&a, &c.b), c.aInB);
        EXPECT_EQ(vexo::Loc_QuadsTouch(&a, &c.b), c.touch);
        EXPECT_EQ(vexo::Loc_QuadsTouch(&c.b, &a), c.touch);
    }
    REGION_QUAD u{};
    const REGION_QUAD b = Box(30, 5, 70, 40);
    vexo::Loc_QuadBoundingBox(&a, &b, &u);
    EXPECT_EQ(u, Box(10, 5, 70, 50));

    REGION_QUAD g = Box(100, 100, 200, 200);
    g.c[3] = {0, 0};  // the bottom-right corner is rewritten, not read
    vexo::Loc_GrowQuad(&g, 150, 120);
    EXPECT_EQ(g, Box(4, 4, 350, 320));
    g = Box(600, 400, 620, 460);
    vexo::Loc_GrowQuad(&g, 80, 60);
    EXPECT_EQ(g, Box(520, 340, 636, 476));
    ROI_BOX r{100, 200, 100, 200};
    vexo::Loc_GrowBox(&r, 80, 60);
    EXPECT_EQ(r, (ROI_BOX{40, 260, 20, 280}));

    const int32_t inside[2] = {50, 10};
    const int32_t outside[2] = {51, 10};
    EXPECT_EQ(vexo::Loc_PointInQuadBox(inside, &a), 1);
    EXPECT_EQ(vexo::Loc_PointInQuadBox(outside, &a), 0);
}

class CoverageTest : public LocateTest {
protected:
    void SetUp() override {
        LocateTest::SetUp();
        UseSize(640, 480);
    }
    // Stores a candidate quad and marks it as handled.
    static void StoreMarked(const REGION_QUAD &q, int32_t mark) {
        const int8_t code = 2;
        vexo::Dec_StoreCandidateBoxes(&q, 1, &code, 2);
        vexo::Dec_MarkCandidateBox(&q, mark);
    }
};

TEST_F(CoverageTest, ARegionCoveredBeyond714Of1024IsSkipped) {
    // The region's box is 64 x 32 (2048); the stored box covers 51 columns and 28 rows of
    // it (1428: exactly 714/1024) or 29 rows (1479: 739/1024).
    const REGION_QUAD region = Box(100, 100, 164, 132);
    StoreMarked(Box(113, 104, 300, 300), 1);
    EXPECT_EQ(vexo::Loc_SearchPdfInQuad(&region, nullptr), 0) << "at exactly 714 the region is searched";
    vexo::g_candidateStore = vexo::CANDIDATE_STORE{};
    StoreMarked(Box(113, 103, 300, 300), 1);
    EXPECT_EQ(vexo::Loc_SearchPdfInQuad(&region, nullptr), 2);
    const int32_t box[4] = {100, 100, 164, 132};
    EXPECT_EQ(vexo::Loc_CoveredByResult(box), 1);
}

TEST_F(CoverageTest, OnlyMarkedCandidatesCountAndTheFirstIntersectingOneDecides) {
    const int32_t box[4] = {100, 100, 200, 200};  // top, left, right, bottom
    StoreMarked(Box(91, 91, 210, 210), 0);        // unmarked: skipped
    EXPECT_EQ(vexo::Loc_CoveredByResult(box), 0);
    StoreMarked(Box(92, 92, 210, 210), -3);  // a negative mark counts as unmarked
    EXPECT_EQ(vexo::Loc_CoveredByResult(box), 0);
    StoreMarked(Box(300, 300, 400, 400), 1);  // marked but apart
    EXPECT_EQ(vexo::Loc_CoveredByResult(box), 0);
    StoreMarked(Box(150, 150, 400, 400), 1);  // marked, intersecting a quarter
    StoreMarked(Box(90, 90, 210, 210), 1);    // would cover all, but comes later
    EXPECT_EQ(vexo::Loc_CoveredByResult(box), 0);
}

TEST_F(CoverageTest, ThePdf417SearchAnswersNothingFoundUntilTheDecoderLands) {
    GreyFrame f(640, 480);
    Install(f);
    const REGION_QUAD q = Box(100, 100, 300, 200);
    EXPECT_EQ(vexo::Loc_SearchPdfInQuad(&q, nullptr), 0);
    EXPECT_EQ(vexo::Loc_SearchPdfInWindow(nullptr), 0);
    EXPECT_EQ(vexo::Loc_SearchPdfInQuad(nullptr, nullptr), 0);
}

TEST_F(LocateTest, OverlappingQuadsMergeWhenReadingSingleSymbols) {
    UseSize(640, 480);
    const REGION_QUAD a = Box(100, 100, 200, 200);
    struct Case {
        const char *name;
        std::vector<REGION_QUAD> in;
        std::vector<REGION_QUAD> out;
    };
    const Case cases[] = {
        {"corner inside", {a, Box(150, 150, 300, 250)}, {Box(100, 100, 300, 250)}},
        {"left side 9 from the right side", {a, Box(209, 400, 300, 450)}, {Box(100, 100, 300, 450)}},
        {"left side 10 from the right side", {a, Box(210, 400, 300, 450)}, {a, Box(210, 400, 300, 450)}},
        {"top 9 from the bottom", {a, Box(400, 191, 450, 300)}, {Box(100, 100, 450, 300)}},
        // The last quad's corner lies in the one before: its merged box is the one moved.
        {"the last quad merges: kept", {Box(400, 400, 420, 420), Box(90, 90, 210, 210), a},
         {Box(400, 400, 420, 420), Box(90, 90, 210, 210)}},
        {"chain", {Box(0, 0, 10, 10), Box(300, 300, 310, 310), Box(5, 5, 305, 305)}, {Box(0, 0, 310, 310)}},
    };
    for (const Case &c : cases) {
        std::vector<REGION_QUAD> q = c.in;
        const int n = vexo::Loc_MergeOverlappingRegions(q.data(), static_cast<int>(q.size()));
        q.resize(static_cast<size_t>(n));
        EXPECT_EQ(q, c.out) << c.name;
    }
}

TEST_F(LocateTest, OverlappingQuadsStayApartWhenSeveralSymbolsAreRead) {
    UseSize(640, 480);
    const std::vector<REGION_QUAD> in = {Box(100, 100, 200, 200), Box(150, 150, 300, 250)};
    const struct {
        int index;
        uint32_t word;
        uint32_t option;
    } cases[] = {{vexo::kSymQr, 2, 0},        {vexo::kSymPdf417, 15, 0}, {vexo::kSymGroup21400, 3, 0},
                 {vexo::kSymCsCode, 2, 0},    {vexo::kSymDataMatrix, 0, 1}, {vexo::kSymAztec, 0, 2}};
    for (auto c : cases) {
        vexo::g_params = vexo::DECODE_PARAMS{};
        vexo::g_params.flagsWord[c.index] = c.word;
        vexo::g_params.optionWord = c.option;
        std::vector<REGION_QUAD> q = in;
        EXPECT_EQ(vexo::Loc_MergeOverlappingRegions(q.data(), 2), 2) << c.index;
    }
    vexo::g_params = vexo::DECODE_PARAMS{};
    vexo::g_params.flagsWord[vexo::kSymQr] = 0x400001;  // enabled, one symbol
    vexo::g_params.optionWord = 8;                       // other option bits do not matter
    std::vector<REGION_QUAD> q = in;
    EXPECT_EQ(vexo::Loc_MergeOverlappingRegions(q.data(), 2), 1);
}

}  // namespace
