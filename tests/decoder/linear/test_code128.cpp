#include <gtest/gtest.h>

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

}  // namespace
