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
    };
    for (const auto &c : cases) {
        const testkit::Symbol sym = MakeComposite(c);
        ASSERT_TRUE(sym.ok) << sym.error;
        testkit::Rendered img = testkit::Render(sym, {.moduleSize = 3});
        const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
        std::printf("%d cc%d: %d 0x%X %s [%s]\n", c.symbology, c.option1, r.decoded, r.codeId, r.aim.c_str(),
                    testkit::EscapeBytes(r.text).c_str());
    }
}

}  // namespace
