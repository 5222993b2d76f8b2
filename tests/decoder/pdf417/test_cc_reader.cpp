// The composite component reader's geometry and RAP-column logic on hand-made inputs: quad
// clipping, the variant from a column of RAP numbers, rows of a known variant, RAP
// classification and the contrast threshold.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/pixel.h"
#include "pdf417/cc_reader.h"
#include "pdf417_test_util.h"

namespace {

using namespace vexo;

class CcReaderLogic : public pdf_test::PdfTest {
protected:
    void SetUp() override {
        pdf_test::PdfTest::SetUp();
        pixels_.assign(752 * 480, 200);
        Pix_InstallFrame(pixels_.data(), 752, 480);
        g_image.data = pixels_.data();
        g_image.width = 752;
        g_image.height = 480;
        g_ccState.family = 0;
        g_ccState.variantIndex = -1;
    }
    std::vector<uint8_t> pixels_;
};

// Runs of each number, `per` samples each.
std::vector<i32> Column(std::initializer_list<int> numbers, int per, int lead = 1) {
    std::vector<i32> v(static_cast<size_t>(lead), 0);
    for (int n : numbers) v.insert(v.end(), static_cast<size_t>(per), n);
    v.push_back(0);
    return v;
}

TEST_F(CcReaderLogic, QuadClipping) {
    // Only c0 and c2 inside: opposite corners, refused.
    POINT_I32 opposite[4] = {{10, 10}, {800, 10}, {700, 400}, {-5, 400}};
    EXPECT_EQ(CC_ClipQuadToImage(opposite), 0);
    // One corner inside: refused.
    POINT_I32 one[4] = {{10, 10}, {800, 10}, {800, 500}, {-5, 500}};
    EXPECT_EQ(CC_ClipQuadToImage(one), 0);
    // c2 and c3 inside: c0 and c1 pulled to the top border along the left and right sides.
    POINT_I32 q[4] = {{100, -40}, {500, -60}, {520, 100}, {120, 120}};
    ASSERT_EQ(CC_ClipQuadToImage(q), 1);
    EXPECT_EQ(q[0].y, 0);
    EXPECT_EQ(q[1].y, 0);
    // On the sides: (c0 - c3) x (c0' - c3) = 0 within truncation.
    EXPECT_EQ(q[0].x, 120 + (100 - 120) * (0 - 120) / (-40 - 120));
    EXPECT_EQ(q[1].x, 520 + (500 - 520) * (0 - 100) / (-60 - 100));
    EXPECT_EQ(q[2].x, 520);
    EXPECT_EQ(q[3].y, 120);
    // All inside: unchanged.
    POINT_I32 in[4] = {{1, 1}, {700, 1}, {700, 400}, {1, 400}};
    ASSERT_EQ(CC_ClipQuadToImage(in), 1);
    EXPECT_EQ(in[1].x, 700);
    // Three inside: the outside corner moves along its longer side; a computed -1 becomes 0.
    POINT_I32 three[4] = {{100, 100}, {760, 100}, {700, 300}, {100, 300}};
    ASSERT_EQ(CC_ClipQuadToImage(three), 1);
    EXPECT_EQ(three[1].x, 751);
    EXPECT_EQ(three[1].y, 100);
    EXPECT_EQ(CC_ClipPointToImage({10, 10}, {10, -1}).y, 0);
}

TEST_F(CcReaderLogic, Cosines) {
    EXPECT_EQ(CC_Cos1024({0, 0}, {1, 0}), 0);
    EXPECT_EQ(CC_Cos1024({3, 0}, {5, 0}), 1024);
    EXPECT_EQ(CC_Cos1024({1, 0}, {0, -1}), 0);
    EXPECT_EQ(CC_Cos1024({1, 0}, {-1, 0}), -1024);
    EXPECT_DOUBLE_EQ(CC_CosAngle({0, 0}, {1, 1}), 0.0);
    EXPECT_NEAR(CC_CosAngle({1, 1}, {1, 0}), 0.7071, 1e-4);
}

TEST_F(CcReaderLogic, VariantFromTheLeftColumn) {
    // 39..43 on the left of a two-column component: CC-A entry 0, 5 rows, 4 + 6 codewords.
    std::vector<i32> c = Column({39, 40, 41, 42, 43}, 3);
    i32 rows[kCcMaxRows] = {};
    ASSERT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 2, 1), 0);
    EXPECT_EQ(g_ccState.family, 1);
    EXPECT_EQ(CC_LayoutRows(CC_A_LAYOUT[0]), 5);
    EXPECT_EQ(CC_SizeCheck(CC_A_SIZE[0]), 4);
    EXPECT_EQ(CC_SizeData(CC_A_SIZE[0]), 6);
    for (int r = 0; r < 5; ++r) EXPECT_EQ(c[static_cast<size_t>(rows[r])], 39 + r) << r;
    // The same numbers on the right side, or with three columns, match nothing.
    g_ccState.family = 0;
    EXPECT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 2, 0), -1);
    EXPECT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 3, 1), -1);
}

TEST_F(CcReaderLogic, RapSequenceThroughFiftyTwo) {
    // CC-A entry 6 (2 x 12) has its right column start at 52: 52, 1, 2, ... 11.
    std::vector<i32> c = Column({52, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 4);
    i32 rows[kCcMaxRows] = {};
    ASSERT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 2, 0), 6);
    for (int r = 0; r < 12; ++r) EXPECT_EQ(c[static_cast<size_t>(rows[r])], r == 0 ? 52 : r) << r;
    // A lone misread inside a row and single-sample rows still place every row.
    c = Column({52, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 3);
    c[8] = 17;
    g_ccState.family = 0;
    ASSERT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 2, 0), 6);
    for (int r = 0; r < 12; ++r) EXPECT_EQ(c[static_cast<size_t>(rows[r])], r == 0 ? 52 : r) << r;
}

TEST_F(CcReaderLogic, ColumnWithoutALaterRowIsNoVariant) {
    // No run two rows after the first row's number: refused at once.
    const std::vector<i32> c = Column({39, 40}, 5);
    i32 rows[kCcMaxRows] = {};
    EXPECT_EQ(CC_FindVariant(c.data(), static_cast<i32>(c.size()), rows, 2, 1), -1);
    EXPECT_EQ(CC_HasRowRuns(c.data(), static_cast<i32>(c.size())), 0);
    const std::vector<i32> none(40, 0);
    EXPECT_EQ(CC_FindVariant(none.data(), 40, rows, 2, 1), -1);
    EXPECT_EQ(CC_FindVariant(none.data(), 0, rows, 2, 1), -1);
    const std::vector<i32> runs = Column({1, 2, 3, 4}, 2);
    EXPECT_EQ(CC_HasRowRuns(runs.data(), static_cast<i32>(runs.size())), 1);
}

TEST_F(CcReaderLogic, RowsOfAKnownVariant) {
    // The right column of CC-A entry 0 (19..23) with row 21 unread and two rows swapped.
    std::vector<i32> c = Column({19, 20, 22, 21, 23}, 3);
    for (i32 &v : c) {
        if (v == 21) v = 0;
    }
    g_ccState.family = 1;
    g_ccState.layout = CC_A_LAYOUT.data();
    g_ccState.size = CC_A_SIZE.data();
    g_ccState.variantIndex = 0;
    i32 rows[kCcMaxRows] = {};
    ASSERT_EQ(CC_RowPositionsForVariant(c.data(), static_cast<i32>(c.size()), rows, 0), 1);
    EXPECT_EQ(rows[0], 2);
    EXPECT_EQ(rows[1], 5);
    EXPECT_EQ(rows[2], -1);
    EXPECT_EQ(rows[3], 8);
    EXPECT_EQ(rows[4], 14);
}

TEST_F(CcReaderLogic, RapClassification) {
    // RAP 1 (2 2 1 3 1 1) at 16 units per module, read either way.
    const i32 forward[7] = {0, 32, 64, 80, 128, 144, 160};
    EXPECT_EQ(CC_ClassifyRap(forward, 1), 1);
    i32 backward[7];
    for (int k = 0; k < 7; ++k) backward[k] = 160 - forward[6 - k];  // read from the right end
    EXPECT_EQ(CC_ClassifyRap(backward, 0), 1);
    // A centre pattern answers its number with 0x40.
    i32 centre[7] = {0};
    for (int k = 0; k < 6; ++k) centre[k + 1] = centre[k] + 16 * PDF_RAP_WIDTHS[1][4][k];
    EXPECT_EQ(CC_ClassifyRap(centre, 1), 5 | 0x40);
    const i32 flat[7] = {0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CC_ClassifyRap(flat, 1), 0);
}

TEST_F(CcReaderLogic, ProfileThreshold) {
    // A dark profile (maximum below 59) gives 5; otherwise the level of the brighter half.
    std::vector<uint8_t> flat(100, 40);
    EXPECT_EQ(CC_ProfileThreshold(flat.data(), 100), 5);
    flat.assign(100, 128);
    EXPECT_EQ(CC_ProfileThreshold(flat.data(), 100), (128 - 35) / 4);
    std::vector<uint8_t> bars(100);
    for (int k = 0; k < 100; ++k) bars[static_cast<size_t>(k)] = k % 6 < 3 ? 30 : 220;
    EXPECT_EQ(CC_ProfileThreshold(bars.data(), 100), (255 - 30 - 35) / 4);
    EXPECT_EQ(CC_ProfileThreshold(bars.data(), 4), 5);
}

}  // namespace
