// Step offsets along a segment: the limit rule, the count bound and the directions.
#include <vector>

#include "aztec_maxicode/maxi_steps.h"
#include "decoder_test.h"

namespace {

using vexo::GEO_POINT;
using vexo_test::DecoderTest;

struct StepCase {
    const char *what;
    GEO_POINT p, q;
    int count, limit, step;
    std::vector<GEO_POINT> out;
};

TEST_F(DecoderTest, MaxiSegmentStepOffsetsTable) {
    const StepCase cases[] = {
        {"ten points short of the far end",
         {0, 0},
         {100, 50},
         20,
         0,
         10,
         {{0, 0}, {10, 5}, {20, 10}, {30, 15}, {40, 20}, {50, 25}, {60, 30}, {70, 35}, {80, 40}, {90, 45}}},
        {"a limit of 3 pixels is 48", {0, 0}, {100, 50}, 20, 3, 10, {{0, 0}, {10, 5}, {20, 10}, {30, 15}, {40, 20}}},
        {"a limit beyond the far end goes past it",
         {0, 0},
         {100, 50},
         20,
         8,
         16,
         {{0, 0}, {16, 8}, {32, 16}, {48, 24}, {64, 32}, {80, 40}, {96, 48}, {112, 56}}},
        {"at most count points", {0, 0}, {100, 50}, 3, 0, 10, {{0, 0}, {10, 5}, {20, 10}}},
        {"a count of 2", {0, 0}, {100, 50}, 2, 0, 10, {{0, 0}, {10, 5}}},
        {"a count of 1 writes the start alone", {0, 0}, {100, 50}, 1, 0, 10, {{0, 0}}},
        {"a count of 0 writes nothing", {0, 0}, {100, 50}, 0, 0, 10, {}},
        {"a negative count writes nothing", {0, 0}, {100, 50}, -4, 0, 10, {}},
        {"a step reaching the far end", {0, 0}, {100, 50}, 20, 0, 100, {{0, 0}}},
        {"a step reaching the limit", {0, 0}, {100, 50}, 20, 2, 32, {{0, 0}}},
        {"no step", {0, 0}, {100, 50}, 20, 0, 0, {}},
        {"p = q", {7, 9}, {7, 9}, 20, 5, 1, {}},
        // y-major and backwards in x: minor slope 512/1024, truncated before the sign.
        {"up and left", {40, 40}, {-10, -60}, 20, 0, 25, {{0, 0}, {-12, -25}, {-25, -50}, {-37, -75}}},
        {"vertical", {3, 3}, {3, 50}, 20, 0, 16, {{0, 0}, {0, 16}, {0, 32}}},
    };
    for (const StepCase &c : cases) {
        GEO_POINT out[24];
        for (GEO_POINT &o : out) o = {-999, -999};
        const int n = vexo::Maxi_SegmentStepOffsets(&c.p, &c.q, out, c.count, c.limit, c.step);
        ASSERT_EQ(n, static_cast<int>(c.out.size())) << c.what;
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(out[k].x, c.out[k].x) << c.what << " point " << k;
            EXPECT_EQ(out[k].y, c.out[k].y) << c.what << " point " << k;
        }
        for (int k = n; k < 24; ++k) ASSERT_EQ(out[k].x, -999) << c.what << " wrote past the count at " << k;
    }
    const GEO_POINT p{0, 0};
    EXPECT_EQ(vexo::Maxi_SegmentStepOffsets(&p, nullptr, nullptr, 5, 0, 1), 0);
}

}  // namespace
