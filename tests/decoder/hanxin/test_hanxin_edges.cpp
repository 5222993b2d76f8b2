// Han Xin edge scanners: positions by the area rule, the step thresholds (absolute, by the
// brighter end, relative) and the bounds of a scan.
#include <gtest/gtest.h>

#include <vector>

#include "hanxin/cscn_edges.h"

namespace {

using namespace vexo;

struct EdgeCase {
    const char *name;
    std::vector<u8> samples;
    bool falling;
    u16 ratio, minStep, capacity;
    std::vector<int> positions;
};

TEST(HanXinEdges, ScannerTable) {
    const EdgeCase cases[] = {
        {"falling 200 to 50", {200, 200, 200, 50, 200}, true, 153, 6, 5, {40}},
        {"rising mirror", {50, 50, 50, 200, 50}, false, 153, 6, 5, {40}},
        {"ramp over two samples", {200, 125, 50, 50}, true, 0, 6, 5, {16}},
        {"falling then rising", {200, 50, 200, 50}, true, 0, 6, 5, {8, 40}},
        {"rising of the same", {200, 50, 200, 50}, false, 0, 6, 5, {24}},
        {"capacity one", {200, 50, 200, 50}, true, 0, 6, 1, {8}},
        {"below the minimum step", {100, 95, 100, 95}, true, 0, 6, 5, {}},
        {"dark: 9 below the threshold of 10", {29, 20, 29}, true, 0, 6, 5, {}},
        {"dark: 10 at the threshold", {30, 20, 30}, true, 0, 6, 5, {8}},
        {"bright: threshold by the top, 45 at 200", {200, 156}, true, 0, 6, 5, {}},
        {"bright: 45 passes", {200, 155}, true, 0, 6, 5, {8}},
        {"relative step refused", {200, 100}, true, 600, 6, 5, {}},
        {"relative step at its margin", {200, 100}, true, 512, 6, 5, {8}},
        {"one sample", {200}, true, 0, 6, 5, {}},
        {"small ascent at the end stops", {50, 200, 50, 52}, false, 0, 6, 5, {8}},
    };
    for (const EdgeCase &c : cases) {
        std::vector<EDGE_ITEM> edges(8, EDGE_ITEM{-1, 0x1234});
        CSCN_EDGE_SCAN scan{edges.data(), c.samples.data(), static_cast<u16>(c.samples.size()), c.ratio, c.minStep,
                            c.capacity, 99};
        const i32 n = CSCN_ProfileEdges(&scan, c.falling ? 1 : 0);
        ASSERT_EQ(n, static_cast<i32>(c.positions.size())) << c.name;
        EXPECT_EQ(scan.found, n) << c.name;
        for (i32 i = 0; i < n; ++i) {
            EXPECT_EQ(edges[i].position, c.positions[i]) << c.name << " edge " << i;
            EXPECT_EQ(edges[i].flags, 0x1234) << c.name;  // only positions are written
        }
        EXPECT_EQ(edges[n].position, -1) << c.name;
    }
    CSCN_EDGE_SCAN none{nullptr, nullptr, 4, 0, 6, 5, 7};
    EXPECT_EQ(CSCN_ScanRisingEdges(&none), 0);
    EXPECT_EQ(CSCN_ScanFallingEdges(nullptr), 0);
}

}  // namespace
