// Data Matrix read from camera-like frames through the exported decoder.
#include <gtest/gtest.h>

#include <string>

#include "dm_symbols_util.h"
#include "support/testkit.h"

namespace {

struct FrameCase {
    int size;
    int module;
    double angle;
};

TEST(DmFrames, SquaresReadFromRenders) {
    const FrameCase cases[] = {{10, 4, 0}, {10, 6, 30}, {12, 5, 90}, {16, 4, 200}, {20, 4, 10},
                               {24, 4, 45}, {32, 4, 0}, {32, 4, 300}, {48, 3, 20}, {64, 3, 0}};
    for (const FrameCase &c : cases) {
        const testkit::Symbol s = dmtest::DataMatrix("Frame 0123456789", c.size);
        ASSERT_TRUE(s.ok);
        testkit::RenderOptions o;
        o.width = 752;
        o.height = 480;
        o.moduleSize = c.module;
        o.angleDeg = c.angle;
        o.blurSigma = 0.8;
        o.noiseSigma = 1;
        o.seed = 7;
        const testkit::Rendered r = testkit::Render(s, o);
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(r.frame), "Frame 0123456789", 0x105, "]d1"))
            << c.size << " " << c.module << " " << c.angle;
    }
}

}  // namespace
