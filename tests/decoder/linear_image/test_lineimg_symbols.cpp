// Code 128 and GS1-128 symbols made with libzint, rendered into 752 x 480 camera frames and
// read through an installed region: by the module's decode entry and through the decoder's
// exported interface.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "lineimg_test_util.h"
#include "linear/line_edge_input.h"
#include "locate/finder.h"
#include "locate/projection.h"
#include "support/testkit.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

constexpr double kQuietModules = 10;  // region reaches this far into the quiet zones

struct Scene {
    testkit::Rendered img;
    REGION_QUAD quad{};
    u8 kind = 1;
    bool fits = true;  // the region lies inside the frame
};

// The region of a rendered linear symbol: its bars with quiet zone on both sides, corner 0
// to corner 1 across the bars, turned so that scan lines run left to right (kind 1) or
// top to bottom (kind 2), as the region list hands them over.
Scene Place(const testkit::Symbol &sym, const testkit::RenderOptions &opt) {
    Scene s;
    s.img = testkit::Render(sym, opt);
    const testkit::Point p[4] = {{-kQuietModules, 0},
                                 {sym.width + kQuietModules, 0},
                                 {-kQuietModules, sym.height},
                                 {sym.width + kQuietModules, sym.height}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point q = s.img.transform.ToImage(p[k]);
        s.quad.c[k] = {static_cast<i32>(std::lround(q.x)), static_cast<i32>(std::lround(q.y))};
    }
    const POINT_I32 *c = s.quad.c;
    for (int k = 0; k < 4; ++k)
        s.fits = s.fits && c[k].x >= 0 && c[k].y >= 0 && c[k].x < opt.width && c[k].y < opt.height;
    s.kind = std::abs(c[0].x - c[1].x) >= std::abs(c[0].y - c[1].y) ? 1 : 2;
    const bool backwards = s.kind == 1 ? c[0].x > c[1].x : c[0].y > c[1].y;
    if (backwards) s.quad = REGION_QUAD{{c[3], c[2], c[1], c[0]}};
    return s;
}

testkit::Symbol MakeSymbol(int symbology, const std::string &data) {
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.inputMode = symbology == BARCODE_GS1_128 ? GS1_MODE : DATA_MODE;
    in.data = data;
    in.height = 30;
    return testkit::Encode(in);
}

struct LineImgSymbolCase {
    int symbology;
    const char *data;
    std::string text;
    const char *aim;
    u32 bit;
};

// Short enough to fit the frame's height at 4 px a module with its quiet zones.
const LineImgSymbolCase kCases[] = {
    {BARCODE_CODE128, "Hello", "Hello", "]C0", 0x4},
    {BARCODE_CODE128, "0123456789", "0123456789", "]C0", 0x4},
    {BARCODE_GS1_128, "[10]1234", "101234", "]C1", 0x8},
};

TEST(LineImgSymbols, DecodeEntryReadsInstalledRegion) {
    for (const LineImgSymbolCase &c : kCases) {
        const testkit::Symbol sym = MakeSymbol(c.symbology, c.data);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (double module : {2.0, 3.0, 4.0}) {
            for (double angle : {0.0, 180.0, 90.0}) {
                for (double blur : {0.0, 0.8}) {
                    ResetAll();
                    const Scene s = Place(sym, {.moduleSize = module, .angleDeg = angle, .blurSigma = blur});
                    ASSERT_TRUE(s.fits) << c.data << " " << module;
                    std::vector<uint8_t> pixels = s.img.frame.pixels;
                    InstallImage(pixels, s.img.frame.width, s.img.frame.height);
                    Test_SetLineImgRegions(&s.quad, &s.kind, 1);
                    const i32 arena = g_arena.count;
                    const std::string what = std::string(c.data) + " module " + std::to_string(module) + " angle " +
                                             std::to_string(angle) + " blur " + std::to_string(blur);
                    EXPECT_EQ(LineImg_Decode(), 1) << what;
                    EXPECT_EQ(g_arena.count, arena) << what;
                    EXPECT_EQ(OutputText(), c.text) << what;
                    EXPECT_EQ(OutputAim(), c.aim) << what;
                    i32 id = -1;
                    EXPECT_EQ(LineImg_GetSymbologyBit(&id), c.bit) << what;
                }
            }
        }
    }
}

TEST(LineImgSymbols, ExportedInterfaceReadsInstalledRegion) {
    for (const LineImgSymbolCase &c : kCases) {
        const testkit::Symbol sym = MakeSymbol(c.symbology, c.data);
        ASSERT_TRUE(sym.ok) << sym.error;
        for (double angle : {0.0, 180.0, 90.0}) {
            ResetAll();
            const Scene s = Place(sym, {.moduleSize = 3, .angleDeg = angle, .blurSigma = 0.6});
            Test_SetLineImgRegions(&s.quad, &s.kind, 1);
            const testkit::DecodeResult r = testkit::DecodeFrame(s.img.frame, {.init = true});
            EXPECT_TRUE(testkit::ReadAs(r, c.text, c.symbology == BARCODE_GS1_128 ? 3 : 2, c.aim)) << c.data << " " << angle;
        }
    }
}

// At 1.5 px a module with blur 0.8 the whole-pixel samples lose the narrow elements; the
// 1/16-pixel samples of the same pairs keep them.
TEST(LineImgSymbols, FinePassReadsWhatWholePixelsMiss) {
    ResetAll();
    const testkit::Symbol sym = MakeSymbol(BARCODE_CODE128, "Fine 1234");
    const Scene s = Place(sym, {.moduleSize = 1.5, .blurSigma = 0.8});
    std::vector<uint8_t> pixels = s.img.frame.pixels;
    InstallImage(pixels, s.img.frame.width, s.img.frame.height);
    Test_SetLineImgRegions(&s.quad, &s.kind, 1);
    ASSERT_EQ(LineImg_Decode(), 1);
    EXPECT_EQ(OutputText(), "Fine 1234");
    EXPECT_EQ(g_lineEdgeInput.sampleCount, kLineImgFineSamples);  // the storing line was a fine one
    // Twice the narrowest element in 1/16 pixel (blur thins it): between half a module and
    // two, where sixteenths of the 1040 samples over about 200 px would read five times more.
    EXPECT_GE(g_lineImgState.narrowWidth2, 24);
    EXPECT_LE(g_lineImgState.narrowWidth2, 96);
}

TEST(LineImgSymbols, EmptyFrameAnswersNothing) {
    ResetAll();
    std::vector<uint8_t> pixels(752 * 480, 200);
    InstallImage(pixels, 752, 480);
    const REGION_QUAD q = Box(100, 100, 650, 380);
    const u8 kind = 1;
    Test_SetLineImgRegions(&q, &kind, 1);
    const i32 arena = g_arena.count;
    EXPECT_EQ(LineImg_Decode(), 0);
    EXPECT_EQ(g_arena.count, arena);
    EXPECT_EQ(LineImg_GetResultText(), nullptr);
    EXPECT_EQ(LineImg_GetResultLength(), 0);
    EXPECT_EQ(OutputAim(), "]X0");
    EXPECT_EQ(LineImg_GetSymbologyBit(nullptr), 0u);
    const testkit::DecodeResult r = testkit::DecodeFrame(testkit::Frame(752, 480, 200), {.init = true});
    EXPECT_FALSE(r.decoded);
}

// Bars lying flat give row-pass proposals; the module runs between the passes, as the
// core's linear stage runs it on every column-pass proposal.
TEST(LineImgSymbols, RowPassFindsItsMapsAfterTheModule) {
    ResetAll();
    const testkit::Symbol sym = MakeSymbol(BARCODE_CODE128, "Maps");
    const Scene s = Place(sym, {.moduleSize = 3, .angleDeg = 90, .blurSigma = 0.5});
    std::vector<uint8_t> pixels = s.img.frame.pixels;
    InstallImage(pixels, s.img.frame.width, s.img.frame.height);
    Test_SetLineImgRegions(&s.quad, &s.kind, 1);
    std::vector<u8> before, after;
    const auto plain = RowPassAfter([] {}, &before);
    const auto withModule = RowPassAfter([] { EXPECT_EQ(LineImg_Decode(), 1); }, &after);
    EXPECT_FALSE(plain.empty());
    EXPECT_EQ(plain, withModule);
    EXPECT_TRUE(before == after);
    EXPECT_EQ(OutputText(), "Maps");
}

}  // namespace
