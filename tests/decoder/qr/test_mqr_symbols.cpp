// Micro QR: symbols made with libzint, read as module matrices through the codeword stage
// and as rendered frames through the whole decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qr/mqr_codewords.h"
#include "qr/qr_format.h"
#include "qr/qr_matrix.h"
#include "qr_test_util.h"
#include "support/render.h"
#include "support/testkit.h"

namespace {

testkit::Symbol MicroQr(const std::string &text, int level = -1, int version = 0, int mask = -1) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MICROQR;
    in.data = text;
    in.option1 = level;
    in.option2 = version;
    in.option3 = mask >= 0 ? (mask + 1) << 8 : 0;
    return testkit::Encode(in);
}

// The module matrix of a symbol (1 dark) and its five format data bits read from it.
struct Matrix {
    int size = 0;
    std::vector<uint8_t> bits;
    int format = -1;
};

Matrix MatrixOf(const testkit::Symbol &sym) {
    Matrix m;
    m.size = sym.rows;
    m.bits.assign(sym.modules.begin(), sym.modules.end());
    static const int kPos[15][2] = {{8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 6}, {8, 7}, {8, 8},
                                    {7, 8}, {6, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}};
    int word = 0;
    for (int i = 0; i < 15; ++i) word |= (m.bits[kPos[i][1] * m.size + kPos[i][0]] ? 1 : 0) << i;
    const int corrected = vexo::MQR_CorrectFormatWord(word);
    if (corrected > 0) m.format = ((corrected ^ vexo::kMqrFormatMask) >> 10) & 31;
    return m;
}

class MicroQrCodewords : public qr_test::QrTest {};

TEST_F(MicroQrCodewords, Smoke) {
    for (const char *text : {"12345", "HELLO", "hello world", "1234567890ABCDEF"}) {
        const testkit::Symbol sym = MicroQr(text);
        Matrix m = MatrixOf(sym);
        uint8_t out[64];
        EXPECT_EQ(vexo::MQR_DecodeCodewords(m.format, m.bits.data(), out, 64), 0) << text << " format " << m.format;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out), vexo::g_qrData.length), text);
    }
}

TEST(MicroQrFrames, Smoke) {
    for (const char *text : {"12345", "HELLO", "hello world", "1234567890ABCDEF"}) {
        const testkit::Symbol sym = MicroQr(text);
        ASSERT_TRUE(sym.ok) << sym.error;
        testkit::Rendered img = testkit::Render(sym, {.moduleSize = 5, .angleDeg = 10});
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(img.frame), text, 0x103, "]Q1")) << text << " " << sym.rows;
    }
}

}  // namespace
