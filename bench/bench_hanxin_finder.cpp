// The Han Xin finder entry alone over a whole 752 x 480 frame (rows and columns, every fourth
// line): an empty frame, one symbol and text-like marks; and the fine locator on one
// candidate of the symbol.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_frames.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "hanxin/cscn_finder.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kHxWidth = benchframes::kWidth;
constexpr int kHxHeight = benchframes::kHeight;

using benchframes::EmptyFrame;
using benchframes::TextFrame;

std::vector<uint8_t> HxSymbolFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_HANXIN;
    in.data = "Han Xin finder benchmark";
    in.option2 = 4;
    testkit::RenderOptions o;
    o.moduleSize = 4;
    o.angleDeg = 15;
    o.blurSigma = 0.7;
    o.noiseSigma = 2;
    return testkit::Render(testkit::Encode(in), o).frame.pixels;
}

// The QR reset points the framework's queue (the runner needs it); the QR finder stays off.
constexpr vexo::FINDER_MODULE kHanXinOnly[3] = {
    {vexo::QR_FinderReset, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {vexo::CSCN_FinderReset, vexo::CSCN_FinderRowWanted, vexo::CSCN_FinderLine, nullptr,
     vexo::CSCN_FinderColumnWanted, vexo::CSCN_FinderLine, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

const vexo::REGION_QUAD kHxRegion{{{0, 0}, {kHxWidth - 1, 0}, {0, kHxHeight - 1}, {kHxWidth - 1, kHxHeight - 1}}};

void HxInstall(std::vector<uint8_t> &px) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(px.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kHxWidth, kHxHeight);
    vexo::g_params.flagsWord[vexo::kSymCsCode] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight;
}

void HxRunFrame(benchmark::State &state, std::vector<uint8_t> px) {
    HxInstall(px);
    vexo::REGION_QUAD region = kHxRegion;
    for (auto _ : state) {
        vexo::Loc_ResetFinderTable(kHanXinOnly, 3, &region, &region);
        vexo::Loc_RunFinderTable(kHanXinOnly, 3, &region);
        benchmark::DoNotOptimize(vexo::g_cscnCandidates.normalListCount);
    }
    state.counters["candidates"] = vexo::g_cscnCandidates.normalListCount;
}

void BM_HxFinderFrameEmpty(benchmark::State &state) { HxRunFrame(state, EmptyFrame()); }
void BM_HxFinderFrameSymbol(benchmark::State &state) { HxRunFrame(state, HxSymbolFrame()); }
void BM_HxFinderFrameText(benchmark::State &state) { HxRunFrame(state, TextFrame()); }

// The fine locator on the symbol's first refined candidate.
void BM_HxMeasureFinder(benchmark::State &state) {
    std::vector<uint8_t> px = HxSymbolFrame();
    HxInstall(px);
    vexo::REGION_QUAD region = kHxRegion;
    vexo::Loc_ResetFinderTable(kHanXinOnly, 3, &region, &region);
    vexo::Loc_RunFinderTable(kHanXinOnly, 3, &region);
    vexo::CSCN_RefineCandidates(&vexo::g_cscnCandidates, &vexo::g_cscnFinderSet);
    if (vexo::g_cscnFinderSet.normalCount == 0) {
        state.SkipWithError("no candidate");
        return;
    }
    vexo::CSCN_FINDER_REF ref = vexo::g_cscnFinderSet.normalRefs[0];
    int ok = 0;
    for (auto _ : state) {
        ok = vexo::CSCN_MeasureFinder(&ref);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["accepted"] = ok;
}

BENCHMARK(BM_HxFinderFrameEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HxFinderFrameSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HxFinderFrameText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HxMeasureFinder)->Unit(benchmark::kMicrosecond);

}  // namespace
