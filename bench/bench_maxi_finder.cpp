// The MaxiCode bulls-eye finder's row pass over a 752 x 480 frame (MaxiCode the only finder
// asked): a frame without a symbol and a libzint MaxiCode at 6 px per module, turned; and
// the threshold plus ring pitch measured for one candidate.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

std::vector<uint8_t> EmptyFrame() {
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    std::mt19937 rng(7);
    for (uint8_t &p : f) p = static_cast<uint8_t>(205 + rng() % 11);
    return f;
}

std::vector<uint8_t> MaxiFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "MaxiCode benchmark frame 0123456789";
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 6;
    o.angleDeg = 30;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    return testkit::Render(s, o).frame.pixels;
}

void Install(std::vector<uint8_t> &f) {
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo::Pix_SetImagePointer(f.data());
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = vexo::kFlagEnabled;
}

void RunRegion(benchmark::State &state, std::vector<uint8_t> f) {
    Install(f);
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    for (auto _ : state) {
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
        benchmark::DoNotOptimize(vexo::g_maxiFinder.count);
    }
    state.counters["candidates"] = vexo::g_maxiFinder.count;
}

void BM_MaxiFinderRegionEmpty(benchmark::State &state) { RunRegion(state, EmptyFrame()); }
void BM_MaxiFinderRegionSymbol(benchmark::State &state) { RunRegion(state, MaxiFrame()); }

void BM_MaxiThresholdAndPitch(benchmark::State &state) {
    std::vector<uint8_t> f = MaxiFrame();
    Install(f);
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    if (vexo::g_maxiFinder.count == 0) {
        state.SkipWithError("no candidate");
        return;
    }
    const vexo::MAXI_BULLSEYE c = vexo::g_maxiFinder.table[0];
    int pitch = 0;
    for (auto _ : state) {
        vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
        pitch = vexo::Maxi_MeasureRingPitch(&c, c.radius);
        benchmark::DoNotOptimize(pitch);
    }
    state.counters["pitch16"] = pitch;
}

}  // namespace

BENCHMARK(BM_MaxiFinderRegionEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiFinderRegionSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiThresholdAndPitch)->Unit(benchmark::kMicrosecond);
