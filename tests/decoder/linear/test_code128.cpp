#include <gtest/gtest.h>
#include <random>

#include "linear/code128.h"
#include "linear/code128_lines.h"
#include "linear/edge_lists.h"
#include "linear/line_toolkit.h"
#include "core/test_hooks.h"

namespace {

using namespace vexo;
using namespace linetest;

TEST(Code128Smoke, Clean) {
    Test_ResetDecoderStatics();
    const std::vector<uint8_t> values = WithCheck({104, 33, 34, 35, 16, 17});
    for (bool rev : {false, true}) {
        Code128_Reset();
        EdgeLine line = MakeEdgeLine(SymbolRuns(values), {.moduleSamples = 3, .reversed = rev});
        LineRead r = ReadCode128Line(line);
        EXPECT_EQ(r.count, values.size() - 1) << rev << " cand " << r.candidates;
        EXPECT_EQ(r.data, values);
    }
}


TEST(Code128Explore, Sweep) {
    std::mt19937 rng(5);
    int fails = 0, total = 0;
    for (double spm : {1.5, 2.0, 3.0, 4.0, 6.0})
    for (double spread : {0.0, 0.1, 0.2, 0.3})
    for (int len : {0, 1, 5, 20, 60})
    for (bool rev : {false, true}) {
        std::vector<uint8_t> v = {static_cast<uint8_t>(103 + rng() % 3)};
        for (int i = 0; i < len; ++i) v.push_back(rng() % 103);
        v = WithCheck(v);
        Code128_Reset();
        EdgeLine line = MakeEdgeLine(SymbolRuns(v), {.moduleSamples = spm, .spread = spread, .jitter16 = 1, .reversed = rev, .seed = (uint32_t)total});
        LineRead r = ReadCode128Line(line);
        ++total;
        if (r.data != v) { ++fails; printf("miss spm %.1f spread %.1f len %d rev %d count %d cand %d\n", spm, spread, len, rev, r.count, r.candidates); }
    }
    printf("fails %d / %d\n", fails, total);
}
}  // namespace
