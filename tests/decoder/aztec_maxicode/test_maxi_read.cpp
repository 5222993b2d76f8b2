// The MaxiCode symbol reading's tables and steps without an image: the module groups and
// their control modules, the ring index table, the threshold regions, the grid mapping with
// its zero and overflowing denominators, the group mapping and the binarisation in regions.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "aztec_maxicode/maxi_read.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/pixel.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;

class MaxiReadTables : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Test_ResetMaxiStatics();
    }
};

// Each data module lies in exactly one group, by its hexagonal distance; the orientation
// modules in none; the control modules of groups 6 and 7 in the group before.
TEST_F(MaxiReadTables, ModuleGroups) {
    const int sizes[7] = {163, 126, 150, 171, 134, 72, 48};
    const int distances[8] = {5, 10, 12, 14, 16, 18, 20, 24};
    std::vector<int> groupOf(vexo::kMaxiModules, -1);
    for (int g = 0; g < 7; ++g) {
        const int first = vexo::kMaxiGroupTable.first[static_cast<size_t>(g)];
        const int end = vexo::kMaxiGroupTable.first[static_cast<size_t>(g) + 1];
        EXPECT_EQ(end - first, sizes[g]) << "group " << g + 1;
        for (int i = first; i < end; ++i) {
            const int m = vexo::kMaxiGroupTable.modules[static_cast<size_t>(i)];
            EXPECT_EQ(groupOf[static_cast<size_t>(m)], -1) << m;
            groupOf[static_cast<size_t>(m)] = g;
            const int d = vexo::Maxi_HexDistance(vexo::Maxi_ModuleRow(m), vexo::Maxi_ModuleCol(m));
            EXPECT_TRUE(d >= distances[g] && d < distances[g + 1]) << m;
        }
    }
    const std::set<int> orientation = {440, 441, 460, 574, 603, 604, 567, 568, 597, 419, 438, 439, 274, 275, 304, 281, 310, 311};
    for (int m = 0; m < vexo::kMaxiModules; ++m)
        EXPECT_EQ(groupOf[static_cast<size_t>(m)] < 0, orientation.count(m) == 1) << m;
    const int controls[2][8] = {{556, 875, 827, 557, 264, 5, 23, 320}, {645, 877, 856, 705, 175, 3, 24, 203}};
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(vexo::kMaxiControlModules[s][k], controls[s][k]);
            EXPECT_EQ(groupOf[static_cast<size_t>(controls[s][k])], 4 + s) << controls[s][k];
        }
}

// Ring r lies at hexagonal distance 6 + r on the six axes; the walk makes ring 9 W and ring
// 10 E and W from their neighbours 88 units along the row.
TEST_F(MaxiReadTables, RingIndex) {
    for (int r = 1; r <= 10; ++r) {
        const auto &row = vexo::kMaxiRingIndex[static_cast<size_t>(r)];
        EXPECT_EQ(row[0], r <= 9 ? 440 + r : -1);
        EXPECT_EQ(row[1], 574 + 30 * r);
        EXPECT_EQ(row[2], 568 + 29 * r);
        EXPECT_EQ(row[3], r <= 8 ? 439 - r : -1);
        EXPECT_EQ(row[4], r <= 9 ? 304 - 30 * r : 6);
        EXPECT_EQ(row[5], r <= 9 ? 310 - 29 * r : 22);
    }
    vexo::Maxi_BuildIdealRings();
    EXPECT_EQ(vexo::g_maxiGrid.idealRings[0][0].x, 1804);
    EXPECT_EQ(vexo::g_maxiGrid.idealRings[10][4].x, vexo::kMaxiModuleTable[6].x);
    EXPECT_EQ(vexo::g_maxiGrid.idealRings[10][4].y, vexo::kMaxiModuleTable[6].y);
}

TEST_F(MaxiReadTables, RegionsCoverEveryModuleOnce) {
    std::vector<int> seen(vexo::kMaxiModules, 0);
    for (const auto &region : vexo::kMaxiRegionRanges)
        for (const auto &range : region)
            for (int m = range[0]; m <= range[1]; ++m) ++seen[static_cast<size_t>(m)];
    for (int m = 0; m < vexo::kMaxiModules; ++m) EXPECT_EQ(seen[static_cast<size_t>(m)], 1) << m;
}

// Truncating division, (0, 0) for a zero denominator and for products or quotients that
// leave 64 or 32 bits.
TEST_F(MaxiReadTables, MapPoint) {
    struct MapCase {
        vexo::PERSPECTIVE t;
        i32 x, y;
        GEO_POINT want;
    };
    const int64_t big = INT64_MAX / 2;
    const MapCase cases[] = {
        {{{7, 0, 0, 0, -7, 0, 0, 0, 2}}, 3, 3, {10, -10}},   // 10.5 and -10.5 truncate toward zero
        {{{1, 0, 0, 0, 1, 0, 0, 0, 0}}, 3, 3, {0, 0}},       // D = 0
        {{{big, 0, 0, 0, 1, 0, 0, 0, 1}}, 3, 3, {0, 0}},     // product beyond 64 bits
        {{{1, 0, big, 0, 1, 0, 0, 0, 1}}, 3, 3, {0, 0}},     // quotient beyond 32 bits
        {{{1, 0, 0, 0, 1, 0, big, 0, 1}}, 3, 3, {0, 0}},     // denominator beyond 64 bits
    };
    for (const MapCase &c : cases) {
        GEO_POINT out{5, 5};
        vexo::Maxi_MapPoint(&c.t, c.x, c.y, &out);
        EXPECT_EQ(out.x, c.want.x);
        EXPECT_EQ(out.y, c.want.y);
    }
}

// A group whose control points cannot be fitted maps nothing; one that can maps every listed
// module and only those.
TEST_F(MaxiReadTables, GroupMapping) {
    std::vector<i32> table(2 * vexo::kMaxiModules), mapped(2 * vexo::kMaxiModules, 0);
    for (int m = 0; m < vexo::kMaxiModules; ++m) {
        table[2 * static_cast<size_t>(m)] = vexo::kMaxiModuleTable[static_cast<size_t>(m)].x;
        table[2 * static_cast<size_t>(m) + 1] = vexo::kMaxiModuleTable[static_cast<size_t>(m)].y;
    }
    const vexo::u16 modules[3] = {0, 27, 881};
    const GEO_POINT line[4] = {{0, 0}, {88, 0}, {176, 0}, {264, 0}};
    const GEO_POINT image[4] = {{0, 0}, {16, 0}, {32, 0}, {48, 0}};
    EXPECT_EQ(vexo::Maxi_MapModuleGroup(image, line, 4, table.data(), mapped.data(), modules, 3), 0);
    for (i32 v : mapped) EXPECT_EQ(v, 0);
    // Symbol units to sixteenths at 16 / 88 (one pixel per module) plus 1000.
    const GEO_POINT sym[4] = {{0, 0}, {880, 0}, {0, 880}, {880, 880}};
    const GEO_POINT img[4] = {{1000, 1000}, {1160, 1000}, {1000, 1160}, {1160, 1160}};
    ASSERT_EQ(vexo::Maxi_MapModuleGroup(img, sym, 4, table.data(), mapped.data(), modules, 3), 1);
    for (int m : {0, 27, 881}) {
        EXPECT_NEAR(mapped[2 * static_cast<size_t>(m)], 1000 + table[2 * static_cast<size_t>(m)] * 16 / 88, 1) << m;
        EXPECT_NEAR(mapped[2 * static_cast<size_t>(m) + 1], 1000 + table[2 * static_cast<size_t>(m) + 1] * 16 / 88, 1) << m;
    }
    EXPECT_EQ(mapped[2], 0);
}

// Per region: modules outside the frame grey 128 and left out of the extremes; modules not
// placed grey -1 (dark); a region without any sampled module thresholds at 120, so its
// outside modules read light.
TEST_F(MaxiReadTables, BinariseInRegions) {
    vexo_test::GreyImage img(64, 64, 200);
    img.Paint([](int x, int) { return x < 32 ? 40 : 200; });
    vexo::Pix_InstallFrame(img.Data(), 64, 64);
    std::vector<i32> mapped(2 * vexo::kMaxiModules, 0);
    auto place = [&](int m, i32 x, i32 y) {
        mapped[2 * static_cast<size_t>(m)] = x;
        mapped[2 * static_cast<size_t>(m) + 1] = y;
    };
    // Region 1 wholly outside; region 2: module 14 on dark, 15 on light, 16 outside with
    // the 128 just below the region's threshold ((40 + 200) / 2 x 0.95 = 114: light), the
    // rest not placed.
    for (const auto &range : vexo::kMaxiRegionRanges[0])
        for (int m = range[0]; m <= range[1]; ++m) place(m, -16, 100);
    place(14, 10 * 16, 10 * 16);
    place(15, 50 * 16, 10 * 16);
    place(16, 64 * 16, 10 * 16);
    std::vector<vexo::u8> bits(vexo::kMaxiModules, 9);
    vexo::Maxi_BinariseModules(img.Data(), mapped.data(), bits.data());
    for (const auto &range : vexo::kMaxiRegionRanges[0])
        for (int m = range[0]; m <= range[1]; ++m) EXPECT_EQ(bits[static_cast<size_t>(m)], 0) << m;
    EXPECT_EQ(bits[14], 1);
    EXPECT_EQ(bits[15], 0);
    EXPECT_EQ(bits[16], 0);
    EXPECT_EQ(bits[17], 1);   // not placed
    EXPECT_EQ(bits[600], 1);  // not placed, region 5
}

}  // namespace
