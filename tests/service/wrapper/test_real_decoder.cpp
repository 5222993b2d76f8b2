// The wrapper over the build's own decoder library: QR symbols rendered as a camera
// sees them decode to their exact bytes.
#include <string>
#include <vector>

#include "support/render.h"
#include "support/symbol.h"
#include "wrapper_test.h"

namespace {

int g_realBeeps = 0;
int count_beep(int, DECODE_RESULT *, int) {
    ++g_realBeeps;
    return 0;
}

class RealDecoderTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        g_realBeeps = 0;
        install_decoder(VEXO3_LIBRARY);
        ASSERT_EQ(X3_Init(), 1);
        // The driver's settings: QR Code on (off after the decoder's init).
        ASSERT_EQ(X3_Set(0x20200, VEXO_ON), 1);
        state_.mCallback = count_beep;
        X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(&state_));
    }
    int decode(const std::vector<uint8_t> &pixels, int width, int height) {
        EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint64_t>(width)), 1);
        EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint64_t>(height)), 1);
        EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels.data())), 1);
        return X3_Decode();
    }
    COMMON_STATE state_{};
};

TEST_F(RealDecoderTest, QrSymbolsDecodeThroughTheWrapper) {
    struct Case {
        std::string text;
        double module;
        double angle;
    };
    const Case cases[] = {
        {"Hello through the wrapper", 4, 0},
        {"0123456789 numeric and more", 3, 20},
        {std::string("bytes \x01\xff\x80 end"), 5, -35},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, c.text);
        ASSERT_TRUE(qr.ok) << qr.error;
        testkit::RenderOptions options;
        options.moduleSize = c.module;
        options.angleDeg = c.angle;
        options.blurSigma = 0.6;
        testkit::Rendered img = testkit::Render(qr, options);
        ASSERT_EQ(img.frame.width, 752);
        ASSERT_EQ(img.frame.height, 480);
        int before = g_realBeeps;
        ASSERT_EQ(decode(img.frame.pixels, img.frame.width, img.frame.height), 1);
        EXPECT_EQ(g_realBeeps, before + 1);
        EXPECT_EQ(get_text(), c.text);
        uint32_t symbology = 0;
        EXPECT_EQ(X3_Get(VEXO_ID_EXTERNAL_SYMBOLOGY, &symbology), 1);
        EXPECT_EQ(symbology, 57u);
    }
    std::vector<uint8_t> blank(752 * 480, 200);
    int before = g_realBeeps;
    EXPECT_EQ(decode(blank, 752, 480), 0);
    EXPECT_EQ(g_realBeeps, before);
}

}  // namespace
