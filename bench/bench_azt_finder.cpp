// The Aztec bulls-eye finder per region of a 752 x 480 frame (its row handler over every
// fourth row of a 300 x 300 region: empty, text-like marks, one symbol), beside the same
// pass with a handler that ignores its lines; and the verification of one queued entry
// (16 rays, the ring square, the centre check).
#include <benchmark/benchmark.h>

#include <vector>

#include "aztec_maxicode/azt_finder.h"
#include "bench_frames.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kWidth = benchframes::kWidth;
constexpr int kHeight = benchframes::kHeight;

using benchframes::EmptyFrame;
using benchframes::TextFrame;

std::vector<uint8_t> SymbolFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = "Aztec finder benchmark";
    in.option2 = 3;
    testkit::RenderOptions o;
    o.moduleSize = 4;
    o.angleDeg = 15;
    o.blurSigma = 0.5;
    o.noiseSigma = 2;
    return testkit::Render(testkit::Encode(in), o).frame.pixels;
}

void Install(std::vector<uint8_t> &px) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(px.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::g_params.flagsWord[vexo::kSymAztec] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight | 1u;
}

// The QR reset points the framework's queue (the runner needs it); the QR finder itself
// stays off.
constexpr vexo::FINDER_MODULE kAztecOnly[3] = {
    {vexo::QR_FinderReset, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {vexo::Azt_FinderReset, vexo::Azt_FinderRowWanted, vexo::Azt_FinderRowLine, nullptr, nullptr, nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

void IgnoreLine(vexo::FINDER_LINE *line) { benchmark::DoNotOptimize(line->current->edgeCount); }
constexpr vexo::FINDER_MODULE kEdgesOnly[3] = {
    {vexo::QR_FinderReset, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {vexo::Azt_FinderReset, vexo::Azt_FinderRowWanted, IgnoreLine, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

const vexo::REGION_QUAD kRegion{{{226, 90}, {526, 90}, {226, 390}, {526, 390}}};

void RunRegion(benchmark::State &state, std::vector<uint8_t> px, const vexo::FINDER_MODULE *table) {
    Install(px);
    vexo::REGION_QUAD region = kRegion;
    int found = 0;
    for (auto _ : state) {
        vexo::Loc_ResetFinderTable(table, 3, &region, &region);
        vexo::Loc_RunFinderTable(table, 3, &region);
        found = 0;
        while (vexo::Azt_NextBullseyeCandidate() != nullptr) ++found;
        benchmark::DoNotOptimize(found);
    }
    state.counters["bullseyes"] = found;
}

void BM_AztFinderRegionEmpty(benchmark::State &state) { RunRegion(state, EmptyFrame(), kAztecOnly); }
void BM_AztFinderRegionText(benchmark::State &state) { RunRegion(state, TextFrame(), kAztecOnly); }
void BM_AztFinderRegionSymbol(benchmark::State &state) { RunRegion(state, SymbolFrame(), kAztecOnly); }
void BM_AztEdgeListsOnlyEmpty(benchmark::State &state) { RunRegion(state, EmptyFrame(), kEdgesOnly); }
void BM_AztEdgeListsOnlyText(benchmark::State &state) { RunRegion(state, TextFrame(), kEdgesOnly); }
void BM_AztEdgeListsOnlySymbol(benchmark::State &state) { RunRegion(state, SymbolFrame(), kEdgesOnly); }

// One queued entry of the symbol's centre verified again and again.
void BM_AztVerifyQueuedEntry(benchmark::State &state) {
    std::vector<uint8_t> px = SymbolFrame();
    Install(px);
    vexo::REGION_QUAD region = kRegion;
    vexo::Loc_ResetFinderTable(kAztecOnly, 3, &region, &region);
    vexo::Loc_RunFinderTable(kAztecOnly, 3, &region);
    // The first queued entry that verifies on its own.
    vexo::AZT_QUEUE_ENTRY entry{};
    vexo::AZT_BULLSEYE out{};
    bool any = false;
    for (int k = 0; k < vexo::g_aztFinder.write && !any; ++k) {
        vexo::g_aztFinder.count = 0;
        vexo::g_aztFinder.firstRelevant = 0;
        entry = vexo::g_aztFinder.queue[k];
        any = vexo::Azt_VerifyBullseye(&entry, &out) == 1;
    }
    if (!any) {
        state.SkipWithError("no queued entry verifies");
        return;
    }
    vexo::g_aztFinder.count = 0;
    for (auto _ : state) benchmark::DoNotOptimize(vexo::Azt_VerifyBullseye(&entry, &out));
}

BENCHMARK(BM_AztFinderRegionEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztFinderRegionText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztFinderRegionSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztEdgeListsOnlyEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztEdgeListsOnlyText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztEdgeListsOnlySymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AztVerifyQueuedEntry)->Unit(benchmark::kMicrosecond);

}  // namespace
