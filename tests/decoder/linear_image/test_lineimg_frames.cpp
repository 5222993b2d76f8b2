// Code 128 and GS1-128 symbols made with libzint, rendered as a camera sees them and read
// through the decoder's exported interface: the core's regions, the region finder and the
// region list, end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

struct FrameCase {
    int symbology;
    const char *data;
    const char *text;  // what the decoder reports
    unsigned codeId;
    const char *aim;
    double module;
    double angle;
    double blur;
    double noise;
    int width;
    double tilt;  // perspective: the top edge this much shorter
    double cx, cy;  // symbol centre as a fraction of the frame
    uint64_t seed;
};

testkit::Symbol Make(int symbology, const std::string &data) {
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.inputMode = symbology == BARCODE_GS1_128 ? GS1_MODE : DATA_MODE;
    in.data = data;
    in.height = 40;
    return testkit::Encode(in);
}

testkit::Rendered RenderCase(const FrameCase &c) {
    const testkit::Symbol sym = Make(c.symbology, c.data);
    testkit::RenderOptions o;
    o.width = c.width;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.keystone = c.tilt;
    o.center = testkit::Point{c.cx * c.width, c.cy * 480};
    o.seed = c.seed;
    return testkit::Render(sym, o);
}

constexpr unsigned kCode128 = 0x2;
constexpr unsigned kGs1 = 0x3;

TEST(LineImgFrames, CentralSymbolsRead) {
    const FrameCase cases[] = {
        {BARCODE_CODE128, "SAMPLE-128", "SAMPLE-128", kCode128, "]C0", 3, 0, 0, 0, 752, 0, 0.5, 0.5, 1},
        {BARCODE_CODE128, "ABC-1234", "ABC-1234", kCode128, "]C0", 3, 90, 0, 0, 752, 0, 0.5, 0.5, 2},
        {BARCODE_CODE128, "Hello 128", "Hello 128", kCode128, "]C0", 2.5, 30, 0.6, 2, 640, 0, 0.5, 0.5, 3},
        {BARCODE_GS1_128, "[01]09501101530003", "0109501101530003", kGs1, "]C1", 3, 180, 0, 0, 752, 0, 0.5, 0.5, 4},
    };
    for (const FrameCase &c : cases) {
        const testkit::Rendered img = RenderCase(c);
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(img.frame), c.text, c.codeId, c.aim))
            << c.data << " module " << c.module << " angle " << c.angle;
    }
}

}  // namespace
