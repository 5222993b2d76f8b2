// The MaxiCode finder and ring measurement on libzint symbols rendered as a camera would:
// the framework run over a quad round the symbol finds one bulls-eye at the true centre,
// whose threshold, ring pitch and first module on the ray through the east inner orientation
// module are checked against the render transform. A fixed-seed subset runs by default, the
// whole sweep under `slow`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "grey_image.h"
#include "maxi_finder_util.h"
#include "maxi_frames.h"
#include "imageio/image_io.h"
#include "imageio/scale.h"
#include "support/blackbox.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;

using maxitest::Corners;
using maxitest::Fits;
using maxitest::FrameCase;
using maxitest::Name;
using maxitest::Options;

testkit::Symbol MaxiSymbol(int mode) { return maxitest::MaxiSymbol(mode, "finder frame"); }

struct Outcome {
    int candidates = 0;
    double centreError = 99;
    double pitchError = 99;  // relative
    int pitch = 0;          // 1/16 pixel
    double truePitch = 0;
    int threshold = -1;
    int modulePoints = 0;
    double moduleError = 99;  // in modules
};

Outcome RunFrame(const testkit::Symbol &s, const FrameCase &c) {
    Outcome o;
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    const testkit::Rendered r = testkit::Render(s, Options(c));
    vexo_test::GreyImage img(r.frame.width, r.frame.height);
    std::copy(r.frame.pixels.begin(), r.frame.pixels.end(), img.Data());
    // A quad round the symbol, a module beyond its corners.
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const testkit::Point &p : Corners(s, r.transform)) {
        x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    }
    const int m = static_cast<int>(std::ceil(c.module));
    o.candidates = maxitest::RunFinders(img, std::max(0, static_cast<int>(x0) - m), std::max(0, static_cast<int>(y0) - m),
                                        std::min(c.width - 1, static_cast<int>(x1) + m), std::min(479, static_cast<int>(y1) + m));
    if (o.candidates == 0) return o;
    const vexo::MAXI_BULLSEYE cand = vexo::g_maxiFinder.table[0];
    const testkit::Point truth = r.transform.ToImage(s.bullseye);
    o.centreError = std::hypot(cand.x + 0.5 - truth.x, cand.y + 0.5 - truth.y);
    vexo::Maxi_MeasureThreshold(&cand, cand.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
    o.threshold = vexo::g_maxiGrid.threshold;
    // libzint's five rings span from the inner edge of the first dark ring to the outer edge
    // of the third.
    double inner = 1e9, outer = 0;
    for (const testkit::Symbol::Ring &ring : s.rings) inner = std::min(inner, ring.inner), outer = std::max(outer, ring.outer);
    const double ringPitch = (outer - inner) / 5 * c.module * 16;
    const i32 pitch = vexo::Maxi_MeasureRingPitch(&cand, cand.radius);
    o.pitchError = std::fabs(pitch - ringPitch) / ringPitch;
    o.pitch = pitch;
    o.truePitch = ringPitch;
    // A mode-1 ray from the centre through the east inner orientation module (row 16, column 20).
    const testkit::Point east = r.ModuleCentre(s, 16, 20);
    const double ex = cand.x + 0.5 + 1.6 * (east.x - truth.x), ey = cand.y + 0.5 + 1.6 * (east.y - truth.y);
    const GEO_POINT from{cand.x, cand.y};
    const GEO_POINT to{static_cast<i32>(std::lround(ex - 0.5)), static_cast<i32>(std::lround(ey - 0.5))};
    GEO_POINT points[2] = {};
    i32 count = 0;
    if (vexo::Maxi_MeasureRay(&from, &to, 1, points, &count, 2, 1) > 15 && count > 0) {
        o.modulePoints = count;
        // 1/16-pixel positions: 16 x refers to the centre of pixel x.
        o.moduleError = std::hypot(points[0].x / 16.0 + 0.5 - east.x, points[0].y / 16.0 + 0.5 - east.y) / c.module;
    }
    return o;
}

// The checks of one frame; empty when it passes.
std::string Check(const FrameCase &c, const Outcome &o) {
    std::string why;
    if (o.candidates != 1) why += " candidates " + std::to_string(o.candidates);
    if (o.candidates == 0) return why;
    if (o.centreError > 1.0) why += " centre off " + std::to_string(o.centreError);
    if (!(o.pitchError <= 0.05)) why += " pitch off " + std::to_string(o.pitchError);
    if (o.threshold <= 30 || o.threshold >= 220) why += " threshold " + std::to_string(o.threshold);
    if (o.modulePoints == 0) why += " no module point";
    else if (o.moduleError > 0.5) why += " module point off " + std::to_string(o.moduleError);
    (void)c;
    return why;
}

class MaxiFinderSymbols : public vexo_test::DecoderTest {};

// Frames the finder misses as designed, with the cause; every other frame must pass and
// every listed one must miss. The eight-direction walk steps whole pixels, so on the
// diagonals a ring is its pitch / 1.41 steps wide and a step more or less moves a width pair
// by a third or a quarter; the walks' tolerance (each pair within 0.826, their mean above
// 0.884) then fails every diagonal, and more than three failed directions drop the hit.
const char *ExpectedMiss(const FrameCase &c) {
    if (c.module <= 4) return "ring pitch 2.4-3.1 px: diagonal rings 1.7-2.2 steps wide";
    if (c.module == 6 && (c.angle == 170 || c.angle == 190)) {
        return "ring pitch 4.7 px with the centre 0.05 px from a pixel edge: diagonal width pairs sum below 4 x 905";
    }
    return nullptr;
}

// A fixed subset: every mode, module size and frame width, turned.
TEST_F(MaxiFinderSymbols, FixedSeedSubset) {
    const FrameCase cases[] = {
        {2, 6, 0, 752, 11},   {3, 8, 30, 640, 12},  {4, 6, 70, 752, 13}, {5, 8, 120, 640, 14},
        {6, 10, 200, 752, 15}, {6, 4, 160, 752, 18}, {3, 6, 170, 752, 19},
    };
    for (const FrameCase &c : cases) {
        const testkit::Symbol s = MaxiSymbol(c.mode);
        ASSERT_TRUE(s.ok) << s.error;
        ASSERT_TRUE(Fits(s, c)) << Name(c);
        const Outcome o = RunFrame(s, c);
        std::printf("%s: %d candidate(s), centre %.2f px, pitch %d for %.1f (%.2f %% off), threshold %d, module point %.2f module\n",
                    Name(c).c_str(), o.candidates, o.candidates > 0 ? o.centreError : 0.0, o.pitch,
                    o.truePitch, o.candidates > 0 ? 100 * o.pitchError : 0.0, o.threshold, o.modulePoints > 0 ? o.moduleError : 0.0);
        if (ExpectedMiss(c) != nullptr) {
            EXPECT_EQ(o.candidates, 0) << Name(c) << " reads, though listed: " << ExpectedMiss(c);
        } else {
            EXPECT_EQ(Check(c, o), "") << Name(c);
        }
    }
}

// Modes 2-6, 3/4/6/8/10 px, 0-350 degrees, both frame widths; the seed is the frame's index.
TEST_F(MaxiFinderSymbols, SlowSweep) {
    int frames = 0, passed = 0, listed = 0;
    std::vector<std::string> misses;
    for (int width : {752, 640}) {
        for (double module : {3.0, 4.0, 6.0, 8.0, 10.0}) {
            int rowFrames = 0, rowPassed = 0;
            double worstCentre = 0, worstPitch = 0, worstModule = 0;
            for (int mode = 2; mode <= 6; ++mode) {
                const testkit::Symbol s = MaxiSymbol(mode);
                ASSERT_TRUE(s.ok) << s.error;
                for (int angle = 0; angle < 360; angle += 10) {
                    const FrameCase c{mode, module, angle, width, static_cast<uint64_t>(1000 + frames)};
                    if (!Fits(s, c)) continue;
                    ++frames;
                    ++rowFrames;
                    const Outcome o = RunFrame(s, c);
                    std::string why = Check(c, o);
                    const char *expected = ExpectedMiss(c);
                    if (expected != nullptr) {
                        ++listed;
                        why = o.candidates == 0 ? "" : " found, though listed as a miss (" + std::string(expected) + ")";
                    }
                    if (o.candidates > 0) {
                        worstCentre = std::max(worstCentre, o.centreError);
                        worstPitch = std::max(worstPitch, o.pitchError);
                        if (o.modulePoints > 0) worstModule = std::max(worstModule, o.moduleError);
                    }
                    if (why.empty()) {
                        ++passed;
                        ++rowPassed;
                    } else {
                        misses.push_back(Name(c) + ":" + why);
                    }
                }
            }
            std::printf("%dx480 %4.1f px: %3d of %3d as expected; worst centre %.2f px, pitch %.1f %%, module point %.2f module\n",
                        width, module, rowPassed, rowFrames, worstCentre, 100 * worstPitch, worstModule);
        }
    }
    for (const std::string &m : misses) std::printf("miss: %s\n", m.c_str());
    std::printf("%d of %d frames as expected, %d of them listed misses\n", passed, frames, listed);
    EXPECT_TRUE(misses.empty());
}

// --- Negative checks: the MaxiCode entry alone over whole frames of other symbols, of
// textures and of the corpus's images without codes raises no success byte.

bool RaisesMaxi(const testkit::Frame &f) {
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo_test::GreyImage img(f.width, f.height);
    std::copy(f.pixels.begin(), f.pixels.end(), img.Data());
    maxitest::RunWholeImage(img);
    return vexo::g_finderState.success[vexo::kFinderIdMaxiCode] != 0 || vexo::g_maxiFinder.count != 0;
}

struct OtherSymbol {
    const char *what;
    int symbology;
    std::string data;
    int option2;
};

TEST_F(MaxiFinderSymbols, OtherSymbolsRaiseNothing) {
    const OtherSymbol others[] = {
        {"QR Code", BARCODE_QRCODE, "https://example.com/parcel/12345", 0},
        {"Aztec compact", BARCODE_AZTEC, "Compact 123", 2},
        {"Aztec full-range", BARCODE_AZTEC, "Full range Aztec symbol with a longer text 0123456789", 7},
        {"Data Matrix", BARCODE_DATAMATRIX, "Data Matrix 0123456789", 0},
        {"PDF417", BARCODE_PDF417, "PDF417 text of some length 0123456789", 0},
        {"Code 128", BARCODE_CODE128, "CODE128-0123", 0},
        {"EAN-13", BARCODE_EANX, "590123412345", 0},
    };
    int seed = 40;
    for (const OtherSymbol &o : others) {
        testkit::SymbolInput in;
        in.symbology = o.symbology;
        in.data = o.data;
        in.option2 = o.option2;
        const testkit::Symbol s = testkit::Encode(in);
        ASSERT_TRUE(s.ok) << o.what << ": " << s.error;
        for (const auto &[module, angle] : {std::pair{2.0, 0}, std::pair{5.0, 35}}) {
            {
                testkit::RenderOptions opt;
                opt.width = 480;
                opt.height = 360;
                opt.supersample = 2;
                opt.moduleSize = s.rows <= 1 ? module / 2 : module;
                opt.angleDeg = angle;
                opt.blurSigma = 0.6;
                opt.noiseSigma = 2;
                opt.seed = static_cast<uint64_t>(++seed);
                const testkit::Rendered r = testkit::Render(s, opt);
                EXPECT_FALSE(RaisesMaxi(r.frame)) << o.what << ", " << module << " px, " << angle << " deg, seed " << seed;
            }
        }
    }
}

TEST_F(MaxiFinderSymbols, TexturesRaiseNothing) {
    struct Texture {
        const char *what;
        double (*grey)(int x, int y);
    };
    const Texture textures[] = {
        {"checkerboard 3 px", [](int x, int y) { return ((x / 3 + y / 3) & 1) != 0 ? 30.0 : 220.0; }},
        {"stripes 4 px", [](int x, int) { return (x / 4 & 1) != 0 ? 30.0 : 220.0; }},
        {"diagonal waves", [](int x, int y) { return 125 + 95 * std::sin((x + y) * 0.45); }},
        {"gradient", [](int x, int y) { return (x + y) * 255.0 / 1230; }},
        {"grid of dots", [](int x, int y) { return (x % 9 < 4 && y % 9 < 4) ? 30.0 : 220.0; }},
    };
    for (const Texture &t : textures) {
        testkit::Frame f(752, 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 752; ++x) f.At(x, y) = static_cast<uint8_t>(std::clamp(t.grey(x, y), 0.0, 255.0));
        EXPECT_FALSE(RaisesMaxi(f)) << t.what;
    }
    testkit::Frame noise(752, 480);
    uint32_t state = 12345;
    for (uint8_t &p : noise.pixels) {
        state = state * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(state >> 24);
    }
    EXPECT_FALSE(RaisesMaxi(noise)) << "uniform noise, seed 12345";
}

// The corpus beside the source tree, or where STACK_CORPUS_DIR says.
TEST_F(MaxiFinderSymbols, FalsePositiveImagesRaiseNothing) {
    const std::vector<std::string> files = testkit::CorpusImages("falsepositives-1");
    if (files.empty()) GTEST_SKIP() << "no corpus folder falsepositives-1";
    for (const std::string &path : files) {
        testkit::Frame f;
        std::string error;
        ASSERT_TRUE(imageio::LoadImage(path, &f, &error)) << path << ": " << error;
        EXPECT_FALSE(RaisesMaxi(imageio::FitToFrameLimit(f))) << path;
    }
}

}  // namespace
