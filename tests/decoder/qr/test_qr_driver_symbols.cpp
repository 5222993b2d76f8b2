// The symbol decode's matrix stage on grey module matrices of real symbols made by libzint:
// binarisation, Model 2 decode, and the mirrored, turned and equalised retries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/arena.h"
#include "core/modules.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "qr/qr_codewords.h"
#include "qr/qr_driver.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

struct Grey {
    int n = 0;
    std::vector<uint8_t> v;
};

Grey MakeGrey(const std::string &text, int version, int dark, int light) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = text;
    in.option1 = 2;  // level M
    in.option2 = version;
    const testkit::Symbol s = testkit::Encode(in);
    Grey g;
    if (!s.ok || s.rows != s.cols) return g;
    g.n = s.rows;
    for (uint8_t m : s.modules) g.v.push_back(static_cast<uint8_t>(m != 0 ? dark : light));
    return g;
}

void FlipRows(Grey *g) {
    for (int r = 0; r < g->n / 2; ++r) {
        for (int c = 0; c < g->n; ++c) std::swap(g->v[static_cast<size_t>(r * g->n + c)], g->v[static_cast<size_t>((g->n - 1 - r) * g->n + c)]);
    }
}

// Turned a quarter clockwise.
void TurnClockwise(Grey *g) {
    std::vector<uint8_t> t(g->v.size());
    const int n = g->n;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) t[static_cast<size_t>(c * n + (n - 1 - r))] = g->v[static_cast<size_t>(r * n + c)];
    }
    g->v = t;
}

class QrMatrixDecodeTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Mem_ResetArena();
        vexo::QR_SetWorkBuffers();
    }
    // Installs the grey matrix as the sampling would leave it, with the candidate's state.
    static void Install(const Grey &g, float moduleSize, int polarity, int arrangement, int orientationKnown) {
        std::copy(g.v.begin(), g.v.end(), vexo::g_qrWorkAreas.greyMatrix);
        vexo::QR_ResetModuleState();
        vexo::g_qrSymbol.dimension = g.n;
        vexo::g_qrSymbol.version = (g.n - 17) / 4;
        vexo::g_qrSymbol.moduleSize = moduleSize;
        vexo::g_qrSymbol.model1 = 0;
        vexo::g_qrSymbol.model2 = 1;
        vexo::g_qrPolarity = polarity;
        vexo::g_qrGeomWork.arrangement = arrangement;
        vexo::g_qrGeomWork.orientationKnown = orientationKnown;
        vexo::g_qrResult.bestStatus = vexo::kQrStatusStart;
    }
    static std::string Decoded() {
        return std::string(reinterpret_cast<const char *>(vexo::g_qrResult.textBuffer),
                           static_cast<size_t>(vexo::g_qrData.length));
    }
};

struct MatrixCase {
    const char *name;
    int version;
    float moduleSize;
    bool inverse;
    bool mirror;
    int turns;  // quarter turns clockwise
    int arrangement;
    int orientationKnown;
    bool decodes;
};

TEST_F(QrMatrixDecodeTest, RetriesTable) {
    const MatrixCase cases[] = {
        {"plain, small modules: block binarisation", 2, 3.0f, false, false, 0, 1, 1, true},
        {"plain, large modules: local binarisation", 5, 9.0f, false, false, 0, 1, 1, true},
        {"light on dark", 3, 3.0f, true, false, 0, 1, 1, true},
        {"mirrored", 4, 3.0f, false, true, 0, 1, 1, true},
        {"turned back by the side-pair retry", 3, 3.0f, false, false, 3, 3, 0, true},
        // Mirrored rows turned by half: the columns mirrored.
        {"mirrored left to right, diagonal pair", 3, 3.0f, false, true, 2, 4, 0, true},
        {"mirrored left to right, three patterns", 3, 3.0f, false, true, 2, 1, 0, false},
        {"half turn, diagonal pair", 6, 3.0f, false, false, 2, 4, 0, true},
        {"half turn but the version fixed the orientation", 6, 3.0f, false, false, 2, 4, 1, false},
        {"half turn of three patterns: no turn retry", 6, 3.0f, false, false, 2, 1, 0, false},
        {"half turn of version 14: no turn retry", 14, 3.0f, false, false, 2, 4, 0, false},
    };
    int index = 0;
    for (const MatrixCase &c : cases) {
        const std::string text = "MATRIX CASE " + std::to_string(index++);
        Grey g = MakeGrey(text, c.version, c.inverse ? 220 : 30, c.inverse ? 30 : 220);
        ASSERT_GT(g.n, 0) << c.name;
        if (c.mirror) FlipRows(&g);
        for (int k = 0; k < c.turns; ++k) TurnClockwise(&g);
        Install(g, c.moduleSize, c.inverse ? 0 : 1, c.arrangement, c.orientationKnown);
        vexo::Dec_ClearStatusWords();
        vexo::MODULE_BITS r{};
        const vexo::i32 result = vexo::QR_DecodeMatrix(&r, 0);
        // Binarised, and the matrix decode ended.
        EXPECT_EQ(vexo::Dec_GetStatusWord(2), vexo::kQrPathBinarised | vexo::kQrPathMatrixDone) << c.name;
        EXPECT_EQ(result == 0, c.decodes) << c.name << ": " << result;
        if (c.decodes && result == 0) {
            EXPECT_EQ(Decoded(), text) << c.name;
            EXPECT_EQ(vexo::g_qrSymbol.kind, vexo::kQrKindModel2) << c.name;
        }
        if (!c.decodes) {
            EXPECT_TRUE(result == vexo::kQrStatusSegments || result == vexo::kQrStatusBlock) << c.name << ": " << result;
        }
        EXPECT_EQ(r.columns, g.n) << c.name;
        EXPECT_EQ(r.invert, c.inverse ? 0 : 1) << c.name;
        EXPECT_EQ(r.fixIsolated, c.moduleSize > 8.0f ? 0 : 1) << c.name;
        EXPECT_EQ(vexo::g_arena.count, 0) << c.name;
    }
}

TEST_F(QrMatrixDecodeTest, AFailedModel1AttemptLeavesModel2ToDecode) {
    const Grey g = MakeGrey("MODEL ONE FIRST", 2, 30, 220);
    Install(g, 3.0f, 1, 1, 1);
    vexo::g_qrSymbol.model1 = 1;
    vexo::g_qrSymbol.model1Format = 0x2825;
    vexo::MODULE_BITS r{};
    EXPECT_EQ(vexo::QR_DecodeMatrix(&r, 0), 0);
    EXPECT_EQ(Decoded(), "MODEL ONE FIRST");
    EXPECT_EQ(vexo::g_qrSymbol.model1, 0);
    EXPECT_EQ(vexo::g_qrSymbol.kind, vexo::kQrKindModel2);
    EXPECT_EQ(vexo::g_qrResult.bestStatus, vexo::kQrStatusSegments);
}

TEST_F(QrMatrixDecodeTest, WithoutTheModel2PathOnlyModel1IsTried) {
    const Grey g = MakeGrey("NO MODEL TWO", 2, 30, 220);
    Install(g, 3.0f, 1, 1, 1);
    vexo::g_qrSymbol.model1 = 1;
    vexo::g_qrSymbol.model2 = 0;
    vexo::MODULE_BITS r{};
    EXPECT_EQ(vexo::QR_DecodeMatrix(&r, 0), vexo::kQrStatusSegments);
    EXPECT_EQ(vexo::g_qrData.length, 0);
}

TEST_F(QrMatrixDecodeTest, ALowContrastMatrixDecodesEqualised) {
    const Grey g = MakeGrey("EQUALISED", 3, 118, 134);
    Install(g, 5.0f, 1, 1, 1);
    vexo::MODULE_BITS r{};
    EXPECT_EQ(vexo::QR_DecodeMatrixEqualised(&r, 1), 0);
    EXPECT_EQ(Decoded(), "EQUALISED");
    EXPECT_EQ(vexo::g_qrSymbol.model1, 0);
    EXPECT_EQ(vexo::g_arena.count, 0);
}

TEST_F(QrMatrixDecodeTest, ADestroyedMatrixFailsWithTheBlockStatus) {
    Grey g = MakeGrey("DESTROYED", 2, 30, 220);
    // Flip every other data module of the lower half: far beyond correction.
    for (int r = g.n / 2; r < g.n; ++r) {
        for (int c = 9; c < g.n; c += 2) g.v[static_cast<size_t>(r * g.n + c)] ^= (30 ^ 220);
    }
    Install(g, 3.0f, 1, 1, 1);
    vexo::MODULE_BITS r{};
    const vexo::i32 result = vexo::QR_DecodeMatrix(&r, 0);
    EXPECT_TRUE(result == vexo::kQrStatusBlock || result == vexo::kQrStatusSegments) << result;
    EXPECT_EQ(result == vexo::kQrStatusBlock, vexo::QR_GetErrorWord() != 0);
}

// Whole frames through the library's interface: the QR record, the finder and the module
// driver run together; whatever the stages built so far make of a frame, a result is the
// symbol's exact text.
TEST(QrFrameDecode, FramesDecodeToTheirTextOrToNothing) {
    const std::string text = "QR MODULE DRIVER FRAME";
    const testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, text);
    ASSERT_TRUE(qr.ok) << qr.error;
    for (const int angle : {0, 30}) {
        for (const bool invert : {false, true}) {
            const testkit::Rendered img = testkit::Render(
                qr, {.moduleSize = 4, .angleDeg = static_cast<double>(angle), .invert = invert, .blurSigma = 0.6});
            const testkit::DecodeResult r = testkit::DecodeFrame(img.frame, {.init = true});
            if (r.decoded) {
                EXPECT_TRUE(testkit::ReadAs(r, text, 0x102, "]Q1")) << angle << " " << invert;
            }
        }
    }
}

// QR Code off reads no QR Code, also where Micro QR is on and a small symbol would reach
// the re-fitting fallback; on again, it reads.
TEST(QrFrameDecode, QrCodeOffReadsNoQrCodeWithMicroQrOn) {
    const std::string text = "QR OFF, MICRO QR ON";
    const testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, text);
    ASSERT_TRUE(qr.ok) << qr.error;
    const testkit::Rendered img = testkit::Render(qr, {.moduleSize = 5, .blurSigma = 0.5});
    ASSERT_TRUE(testkit::ReadAs(testkit::DecodeFrame(img.frame, {.init = true}), text, 0x102, "]Q1"));
    ASSERT_EQ(ZPT_SE_VexoDec_Set(0x20200, VEXO_OFF), 1);
    EXPECT_FALSE(testkit::DecodeFrame(img.frame, {.enableAll = false}).decoded);
    ASSERT_EQ(ZPT_SE_VexoDec_Set(0x20200, VEXO_ON), 1);
    EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(img.frame, {.enableAll = false}), text, 0x102, "]Q1"));
}

}  // namespace
