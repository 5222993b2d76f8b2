// GS1 composite symbols made with libzint (a linear symbol with a CC-A, CC-B or CC-C
// component) rendered into camera frames and read through the decoder's exported interface.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

struct CompositeProbeCase {
    int symbology;
    const char *primary;
    const char *component;
    int option1;  // 1 CC-A, 2 CC-B, 3 CC-C
};

testkit::Symbol MakeComposite(const CompositeProbeCase &c) {
    testkit::SymbolInput in;
    in.symbology = c.symbology;
    in.inputMode = GS1_MODE;
    in.primary = c.primary;
    in.data = c.component;
    in.option1 = c.option1;
    return testkit::Encode(in);
}

TEST(LineImgCompositeSymbols, Probe) {
    const CompositeProbeCase cases[] = {
        {BARCODE_GS1_128_CC, "[01]09501101530008", "[10]ABC123", 1},
        {BARCODE_GS1_128_CC, "[01]09501101530008", "[10]ABC123", 2},
        {BARCODE_GS1_128_CC, "[01]09501101530008", "[10]ABC123", 3},
        {BARCODE_EANX_CC, "950110153000", "[10]ABC123", 1},
        {BARCODE_DBAR_OMN_CC, "0950110153000", "[10]ABC123", 1},
        {BARCODE_DBAR_OMN_CC, "0950110153000", "[10]ABC123", 2},
        {BARCODE_DBAR_LTD_CC, "0950110153000", "[10]ABC123", 1},
        {BARCODE_DBAR_EXP_CC, "[01]09501101530008", "[10]ABC123", 1},
        {BARCODE_UPCA_CC, "01234567890", "[10]ABC123", 1},
        {BARCODE_EANX_CC, "1234567", "[10]ABC123", 1},
        {BARCODE_UPCE_CC, "0123456", "[10]ABC123", 1},
    };
    const testkit::DecoderApi api = testkit::LinkedDecoder();
    testkit::InitDecoder();
    std::printf("set %d\n", api.set(0x11C01, VEXO_ON));
    for (const auto &c : cases) {
        const testkit::Symbol sym = MakeComposite(c);
        ASSERT_TRUE(sym.ok) << sym.error;
        testkit::Rendered img = testkit::Render(sym, {.moduleSize = 3});
        testkit::Rendered img2 = testkit::Render(sym, {.moduleSize = 3, .angleDeg=180});
        const testkit::DecodeResult r2 = testkit::DecodeFrame(img2.frame);
        std::printf("180: %d 0x%X %s [%s]\n", r2.decoded, r2.codeId, r2.aim.c_str(), testkit::EscapeBytes(r2.text).c_str());
        const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
        std::printf("%d cc%d: %d 0x%X %s [%s]\n", c.symbology, c.option1, r.decoded, r.codeId, r.aim.c_str(),
                    testkit::EscapeBytes(r.text).c_str());
    }
}

}  // namespace
