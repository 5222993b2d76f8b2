// Compact Aztec symbols read from rendered camera frames through the exported interface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/test_hooks.h"
#include "support/testkit.h"

namespace {

constexpr uint32_t kAztecCodeId = 0x104;

testkit::Symbol Compact(int layers, const std::string &text) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = text;
    in.option2 = layers;
    return testkit::Encode(in);
}

TEST(AztReadFrames, Probe) {
    vexo::Test_ResetDecoderStatics();
    testkit::InitDecoder();
    for (int layers = 1; layers <= 4; ++layers) {
        const std::string text = "Aztec " + std::to_string(layers);
        const testkit::Symbol sym = Compact(layers, text);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (double angle : {0.0, 30.0, 90.0, 135.0, 180.0, 270.0}) {
            testkit::RenderOptions o;
            o.moduleSize = 4;
            o.angleDeg = angle;
            o.blurSigma = 0.5;
            o.noiseSigma = 2;
            const testkit::Rendered r = testkit::Render(sym, o);
            const testkit::DecodeResult d = testkit::DecodeFrame(r.frame);
            std::printf("layers %d angle %.0f decoded %d text '%s' aim '%s' id %x\n", layers, angle, d.decoded,
                        d.text.c_str(), d.aim.c_str(), d.codeId);
            EXPECT_TRUE(testkit::ReadAs(d, text, kAztecCodeId, "]z0"));
        }
    }
}

}  // namespace
