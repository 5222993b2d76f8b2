// Full-range Aztec symbols read from rendered camera frames through the exported interface:
// every size from 19 to 151 modules, turned, in perspective, bent round a cylinder, blurred
// and noisy, both polarities; and bent symbols read patch by patch beside one transform each.
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
#include "azt_test_util.h"
#include "core/adapters.h"
#include "core/arena.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "support/testkit.h"
#include "toolkit/matrix.h"
#include "toolkit/perspective.h"

namespace {

constexpr uint32_t kFullAztecCodeId = 0x104;

// Size option 5-36: full-range symbols of 1-32 layers.
int FullSizeOf(int option2) { return vexo::kAztSizeTable[option2 - 5].size; }

// Five sixths of the longest text of the alphabet that the size holds (found by halving).
const std::string &FullLongText(int option2) {
    static std::string made[37];
    std::string &out = made[option2];
    if (!out.empty()) return out;
    const std::string alphabet = "Full Range Aztec 0123456789 xyz/QRS-";
    auto text = [&](size_t n) {
        std::string t;
        for (size_t i = 0; i < n; ++i) t += alphabet[i % alphabet.size()];
        return t;
    };
    size_t lo = 1, hi = 4000;
    while (hi - lo > 1) {
        const size_t mid = (lo + hi) / 2;
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = text(mid);
        in.option2 = option2;
        (testkit::Encode(in).ok ? lo : hi) = mid;
    }
    return out = text(lo * 5 / 6);
}

std::string FullShortText(int option2) { return "Full" + std::to_string(option2); }

const testkit::Symbol &FullSymbol(int option2, bool longText) {
    static testkit::Symbol made[37][2];
    testkit::Symbol &s = made[option2][longText ? 1 : 0];
    if (!s.ok) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = longText ? FullLongText(option2) : FullShortText(option2);
        in.option2 = option2;
        s = testkit::Encode(in);
    }
    return s;
}

struct FullFrameCase {
    int option2;
    double module;
    double angle;
    double keystone;
    double bend;
    double blur;
    double noise;
    bool inverted;
    bool large;  // 1280 x 960, else 752 x 480
    bool longText;
    uint64_t seed;
};

std::string DescribeFull(const FullFrameCase &c) {
    char b[220];
    std::snprintf(b, sizeof b, "size %d module %.0f angle %.0f keystone %.2f bend %.0f blur %.2f noise %.1f %s %s %s seed %llu",
                  FullSizeOf(c.option2), c.module, c.angle, c.keystone, c.bend, c.blur, c.noise,
                  c.inverted ? "light-on-dark" : "dark-on-light", c.large ? "1280x960" : "752x480",
                  c.longText ? "long" : "short", static_cast<unsigned long long>(c.seed));
    return b;
}

testkit::Rendered RenderFull(const FullFrameCase &c) {
    testkit::RenderOptions o;
    o.width = c.large ? 1280 : 752;
    o.height = c.large ? 960 : 480;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.keystone = c.keystone;
    o.bendDeg = c.bend;
    o.invert = c.inverted;
    o.quietZone = 4;
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.seed = c.seed;
    return testkit::Render(FullSymbol(c.option2, c.longText), o);
}

// Corners of the ring at distance 5.
double FullCornerError(const testkit::Symbol &sym, const testkit::Rendered &r) {
    vexo::REGION_QUAD q{};
    vexo::Azt_GetCorners(&q);
    return azt_finder_test::RingCornerError(q, sym, r, 5);
}

enum class FullOutcome { kRead, kMissed, kWrong };

struct FullFrameResult {
    FullOutcome outcome = FullOutcome::kMissed;
    double cornerError = 0;
    std::string got;
};

FullFrameResult ReadFullFrame(const FullFrameCase &c) {
    const testkit::Symbol &sym = FullSymbol(c.option2, c.longText);
    const testkit::Rendered r = RenderFull(c);
    azt_finder_test::SetReadPolarity(c.inverted);
    vexo::g_aztDriver.status = vexo::kAztStatusNoImage;
    const testkit::DecodeResult d = testkit::DecodeFrame(r.frame, {.init = false, .enableAll = false});
    FullFrameResult out;
    if (!d.decoded) return out;
    out.got = d.text;
    const std::string want = c.longText ? FullLongText(c.option2) : FullShortText(c.option2);
    const bool right = d.text == want && d.codeId == kFullAztecCodeId && d.aim == "]z0";
    out.outcome = right ? FullOutcome::kRead : FullOutcome::kWrong;
    out.cornerError = FullCornerError(sym, r);
    return out;
}

class AztFullFrames : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
        testkit::EnableAllSymbologies(testkit::LinkedDecoder());
    }
};

// The sweep's parameters for a size, module, angle: drawn from the seed.
bool FullSweepCase(int option2, int module, int angle, FullFrameCase *out) {
    const int size = FullSizeOf(option2);
    const uint64_t seed = static_cast<uint64_t>(option2 * 100000 + module * 1000 + angle);
    const uint64_t h = (seed * 0x9E3779B97F4A7C15ull) >> 32;
    bool large = false;
    if (!azt_finder_test::Fits(size, module, angle, 752, 480)) {
        if (!azt_finder_test::Fits(size, module, angle, 1280, 960)) return false;
        large = true;
    }
    *out = FullFrameCase{option2, static_cast<double>(module), static_cast<double>(angle), 0.1 * ((h >> 1) % 3),
                         size >= 37 ? 20.0 * ((h >> 11) % 4) : 0.0, 0.3 + 0.1 * ((h >> 3) % 8),
                         static_cast<double>((h >> 6) % 4), (h >> 8) % 2 == 1, large, (h >> 9) % 2 == 1, seed};
    return true;
}

struct FullSweepTotals {
    int read = 0, missed = 0, total = 0;
    double worstCorner = 0;
};

void RunFullCase(const FullFrameCase &c, FullSweepTotals *t, bool expectRead) {
    const FullFrameResult r = ReadFullFrame(c);
    ++t->total;
    EXPECT_NE(r.outcome, FullOutcome::kWrong) << DescribeFull(c) << " read '" << testkit::EscapeBytes(r.got) << "'";
    if (r.outcome == FullOutcome::kRead) {
        ++t->read;
        t->worstCorner = std::max(t->worstCorner, r.cornerError);
        EXPECT_LE(r.cornerError, 2.0) << DescribeFull(c);
    } else {
        ++t->missed;
        if (expectRead) ADD_FAILURE() << DescribeFull(c) << " missed at " << azt_finder_test::AztMissStage();
        else std::printf("missed: %s at %s\n", DescribeFull(c).c_str(), azt_finder_test::AztMissStage());
    }
}

// A fixed-seed subset of the sweep below across the sizes: every frame reads its own text
// with its corners within 2 px.
TEST_F(AztFullFrames, FixedSeedSubset) {
    // Sizes 19-151; frames of the sweep that read (its 2 px frames mostly miss: see there).
    static constexpr int kPicks[][3] = {
        {5, 3, 30},  {6, 4, 105}, {7, 3, 75},  {8, 5, 300}, {9, 3, 45},   {10, 4, 150},  {12, 3, 240},
        {15, 4, 150}, {20, 3, 210}, {24, 3, 0}, {28, 4, 60}, {31, 3, 135}, {33, 4, 315}, {36, 3, 270},
    };
    FullSweepTotals t;
    for (const auto &p : kPicks) {
        FullFrameCase c{};
        ASSERT_TRUE(FullSweepCase(p[0], p[1], p[2], &c)) << p[0];
        RunFullCase(c, &t, true);
    }
}

// The whole sweep: every size, 2-5 px per module where the turned symbol fits one of the two
// frames, every 15 degrees; keystone, bend (from 37 modules), blur, noise, polarity and text
// length drawn from the seed. Misses are printed with their seeds; no frame reads another text.
class AztFullFramesSlow : public AztFullFrames {};

TEST_F(AztFullFramesSlow, Sweep) {
    FullSweepTotals t;
    std::printf("size module  frames read\n");
    for (int option2 = 5; option2 <= 36; ++option2) {
        for (int module = 2; module <= 5; ++module) {
            const int before = t.read, framesBefore = t.total;
            for (int angle = 0; angle < 360; angle += 15) {
                FullFrameCase c{};
                if (FullSweepCase(option2, module, angle, &c)) RunFullCase(c, &t, false);
            }
            if (t.total > framesBefore)
                std::printf("%4d %6d %7d %4d\n", FullSizeOf(option2), module, t.total - framesBefore, t.read - before);
        }
    }
    std::printf("sweep: %d frames, %d read, %d missed, worst corner %.2f px\n", t.total, t.read, t.missed, t.worstCorner);
}

// ---- Bent symbols: patch by patch beside one transform per symbol.

class AztFullBend : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        vexo::Mem_ResetArena();
        vexo::Azt_SetWorkAreas(work.data());
    }
    void InstallBent(const testkit::Frame &f) {
        frame = f;
        vexo::Pix_SetImagePointer(frame.pixels.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(frame.width, frame.height);
        azt_finder_test::EnableAztecOnly(vexo::kFlag2DDarkOnLight);
        vexo::REGION_QUAD region{{{0, 0}, {frame.width - 1, 0}, {0, frame.height - 1}, {frame.width - 1, frame.height - 1}}};
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
    }
    // Locates the frame's first bulls-eye into s.
    bool LocateFirst(vexo::AZT_SYMBOL *s) {
        const vexo::AZT_BULLSEYE *b = vexo::Azt_NextBullseyeCandidate();
        if (b == nullptr) return false;
        vexo::g_aztDriver.bullseye = *b;
        const vexo::AZT_GEOMETRY g{b->full != 0 ? 1 : 0, b->centreX >> 4, b->centreY >> 4, b->polarity == 0 ? 1 : 0};
        *s = vexo::AZT_SYMBOL{};
        return vexo::Azt_LocateSymbol(&g, s) == 1;
    }
    // The path of the small symbols: every module through the symbol's one transform.
    std::string ReadThroughOneTransform(vexo::AZT_SYMBOL *s) {
        vexo::g_aztDriver.current = s;
        if (vexo::Azt_SampleSymbolModules(s, vexo::g_aztDriver.modules) != 1) return {};
        vexo::MODULE_BITS m{vexo::g_aztDriver.modules, vexo::g_aztDriver.grid, s->size, s->size, s->polarity, 0, 20};
        if (vexo::Geo_BinariseModules(&m) == 0) return {};
        vexo::AZT_BITSTREAM grid{vexo::g_aztDriver.grid, s->size * s->size, s->size};
        vexo::AZT_TEXT_OUT out{vexo::g_aztDriver.text, 0};
        if (vexo::Azt_DecodeGrid(&grid, &out) != vexo::kAztGridDecoded) return {};
        return std::string(reinterpret_cast<const char *>(out.text), out.length);
    }
    std::string ReadPatchByPatch(vexo::AZT_SYMBOL *s) {
        if (vexo::Azt_ReadSymbol(s) != 1) return {};
        return std::string(reinterpret_cast<const char *>(vexo::g_aztDriver.text), vexo::g_aztDriver.textLength);
    }
    // Frames of sizes 67-151 bent by the given arcs: located symbols read both ways.
    void Compare(const std::vector<int> &options, const std::vector<double> &bends, const std::vector<double> &angles,
                 int *patchReads, int *singleReads) {
        std::printf("size module bend angle  patch single\n");
        for (int option2 : options) {
            const testkit::Symbol &sym = FullSymbol(option2, false);
            const int size = FullSizeOf(option2);
            const double module = size * 3 + 24 < 470 ? 3 : 2;
            for (double bend : bends)
                for (double angle : angles) {
                    testkit::RenderOptions o;
                    o.moduleSize = module;
                    o.angleDeg = angle;
                    o.bendDeg = bend;
                    o.blurSigma = 0.5;
                    o.quietZone = 4;
                    InstallBent(testkit::Render(sym, o).frame);
                    vexo::AZT_SYMBOL s{};
                    if (!LocateFirst(&s)) {
                        std::printf("%4d %6.0f %4.0f %5.0f  not located\n", size, module, bend, angle);
                        continue;
                    }
                    const vexo::AZT_SYMBOL located = s;
                    const bool single = ReadThroughOneTransform(&s) == FullShortText(option2);
                    s = located;
                    const bool patch = ReadPatchByPatch(&s) == FullShortText(option2);
                    *patchReads += patch ? 1 : 0;
                    *singleReads += single ? 1 : 0;
                    std::printf("%4d %6.0f %4.0f %5.0f  %5s %6s\n", size, module, bend, angle, patch ? "read" : "-",
                                single ? "read" : "-");
                }
        }
    }
    testkit::Frame frame;
    std::vector<uint8_t> work = std::vector<uint8_t>(vexo::kAztWorkBytes, 0);
};

TEST_F(AztFullBend, PatchesBesideOneTransform) {
    int patch = 0, single = 0;
    Compare({16, 36}, {60}, {0, 30}, &patch, &single);
    std::printf("bent: patch path %d read, one transform %d read\n", patch, single);
    EXPECT_GE(patch, single);
}

class AztFullBendSlow : public AztFullBend {};

TEST_F(AztFullBendSlow, Table) {
    int patch = 0, single = 0;
    Compare({16, 20, 24, 28, 32, 36}, {20, 40, 60}, {0, 30, 45, 75}, &patch, &single);
    std::printf("bent: patch path %d read, one transform %d read\n", patch, single);
}

}  // namespace
