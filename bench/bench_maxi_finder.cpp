// The MaxiCode bulls-eye finder's row pass over a 752 x 480 frame (MaxiCode the only finder
// asked): a frame without a symbol and a libzint MaxiCode at 6 px per module, turned; the
// threshold plus ring pitch measured for one candidate; and the orientation search per
// candidate: a MaxiCode at 7 px per module upright and turned 30 degrees, and a search that
// fails (a bulls-eye without its symbol).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
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

std::vector<uint8_t> EmptyFrame() {
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    std::mt19937 rng(7);
    for (uint8_t &p : f) p = static_cast<uint8_t>(205 + rng() % 11);
    return f;
}

std::vector<uint8_t> MaxiFrame(double module = 6, double angle = 30) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "MaxiCode benchmark frame 0123456789";
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = module;
    o.angleDeg = angle;
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

// The frame's first candidate, or false (the benchmark skipped).
bool FirstCandidate(benchmark::State &state, std::vector<uint8_t> &f, vexo::MAXI_BULLSEYE *c) {
    Install(f);
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    if (vexo::g_maxiFinder.count == 0) {
        state.SkipWithError("no candidate");
        return false;
    }
    *c = vexo::g_maxiFinder.table[0];
    return true;
}

void BM_MaxiThresholdAndPitch(benchmark::State &state) {
    std::vector<uint8_t> f = MaxiFrame();
    vexo::MAXI_BULLSEYE c{};
    if (!FirstCandidate(state, f, &c)) return;
    int pitch = 0;
    for (auto _ : state) {
        vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
        pitch = vexo::Maxi_MeasureRingPitch(&c, c.radius);
        benchmark::DoNotOptimize(pitch);
    }
    state.counters["pitch16"] = pitch;
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

void RunOrientation(benchmark::State &state, std::vector<uint8_t> f) {
    vexo::MAXI_BULLSEYE c{};
    if (!FirstCandidate(state, f, &c)) return;
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
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

void BM_MaxiOrientationFrontal(benchmark::State &state) { RunOrientation(state, MaxiFrame(7, 0)); }
void BM_MaxiOrientationTurned30(benchmark::State &state) { RunOrientation(state, MaxiFrame(7, 30)); }
void BM_MaxiOrientationFails(benchmark::State &state) { RunOrientation(state, BullseyeFrame()); }

}  // namespace

BENCHMARK(BM_MaxiOrientationFrontal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiOrientationTurned30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiOrientationFails)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiFinderRegionEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiFinderRegionSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MaxiThresholdAndPitch)->Unit(benchmark::kMicrosecond);
