// The MaxiCode orientation search per candidate on 752 x 480 frames: a libzint MaxiCode at
// 7 px per module upright and turned 30 degrees (candidate from the finder, threshold and
// ring pitch measured), and a search that fails (a bulls-eye without its symbol).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

std::vector<uint8_t> SymbolFrame(double angle) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "MaxiCode orientation benchmark";
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 7;
    o.angleDeg = angle;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    return testkit::Render(s, o).frame.pixels;
}

// The bulls-eye alone, ring pitch 5.5 px, at the frame centre.
std::vector<uint8_t> BullseyeFrame() {
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double r = std::hypot(x + 0.5 - kWidth / 2.0, y + 0.5 - kHeight / 2.0) / 5.5;
            f[static_cast<size_t>(y) * kWidth + x] = r >= 0.75 && r < 5.75 && (static_cast<int>(r - 0.75) & 1) == 0 ? 30 : 220;
        }
    }
    return f;
}

void RunSearch(benchmark::State &state, std::vector<uint8_t> f) {
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo::Pix_SetImagePointer(f.data());
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = vexo::kFlagEnabled;
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    if (vexo::g_maxiFinder.count == 0) {
        state.SkipWithError("no candidate");
        return;
    }
    const vexo::MAXI_BULLSEYE c = vexo::g_maxiFinder.table[0];
    vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
    const vexo::i32 pitch = vexo::Maxi_MeasureRingPitch(&c, c.radius);
    const vexo::GEO_POINT centre{c.x * 16, c.y * 16};
    vexo::i32 found = 0;
    for (auto _ : state) {
        found = vexo::Maxi_FindOrientation(pitch, &centre, 0);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
}

void BM_MaxiOrientationFrontal(benchmark::State &state) { RunSearch(state, SymbolFrame(0)); }
void BM_MaxiOrientationTurned30(benchmark::State &state) { RunSearch(state, SymbolFrame(30)); }
void BM_MaxiOrientationFails(benchmark::State &state) { RunSearch(state, BullseyeFrame()); }

BENCHMARK(BM_MaxiOrientationFrontal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiOrientationTurned30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiOrientationFails)->Unit(benchmark::kMicrosecond);

}  // namespace
