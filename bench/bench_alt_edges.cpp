// The alternative finders per 752 x 480 frame (flat grey with noise, a Data Matrix symbol,
// an Aztec symbol): the ring scanner over its default window, gradient segments over the
// whole frame with merging and pairing, and the row threshold scan.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/corner_pairing.h"
#include "locate/gradient_segments.h"
#include "locate/ring_scanner.h"
#include "locate/row_thresholds.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kAltWidth = 752;
constexpr int kAltHeight = 480;

enum AltScene { kAltFlat = 0, kAltDataMatrix = 1, kAltAztec = 2 };

std::vector<uint8_t> AltFrame(AltScene scene) {
    if (scene == kAltFlat) {
        std::vector<uint8_t> px(static_cast<size_t>(kAltWidth) * kAltHeight);
        std::mt19937 rng(5);
        for (uint8_t &p : px) p = static_cast<uint8_t>(120 + rng() % 7);
        return px;
    }
    testkit::SymbolInput in;
    in.symbology = scene == kAltDataMatrix ? BARCODE_DATAMATRIX : BARCODE_AZTEC;
    in.data = "ALTERNATIVE FINDERS 0123456789";
    testkit::RenderOptions o;
    o.moduleSize = 5;
    o.angleDeg = 20;
    o.quietZone = 4;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    return testkit::Render(testkit::Encode(in), o).frame.pixels;
}

void AltInstall(std::vector<uint8_t> &frame) {
    vexo::Test_ResetDecoderStatics();
    vexo::Mem_ResetArena();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kAltWidth, kAltHeight);
}

void BM_AltRingScan(benchmark::State &state) {
    std::vector<uint8_t> frame = AltFrame(static_cast<AltScene>(state.range(0)));
    AltInstall(frame);
    vexo::RING_CANDIDATE out[8];
    int n = 0;
    for (auto _ : state) {
        n = vexo::Loc_RingScanFrame(frame.data(), out, 8, {0, 0}, {0, 0}, 0, 2);
        benchmark::DoNotOptimize(out);
    }
    state.counters["candidates"] = n;
}
BENCHMARK(BM_AltRingScan)->Arg(kAltFlat)->Arg(kAltDataMatrix)->Arg(kAltAztec)->Unit(benchmark::kMillisecond);

void BM_AltSegmentsAndCorners(benchmark::State &state) {
    std::vector<uint8_t> frame = AltFrame(static_cast<AltScene>(state.range(0)));
    AltInstall(frame);
    static vexo::GRADIENT_SEGMENT segs[512];
    vexo::DM_L_CANDIDATE cands[32];
    const vexo::REGION_QUAD whole{{{0, 0}, {kAltWidth - 1, 0}, {0, kAltHeight - 1}, {kAltWidth - 1, kAltHeight - 1}}};
    int found = 0, paired = 0;
    for (auto _ : state) {
        found = vexo::Loc_FindGradientSegments(segs, &whole, 512);
        const int merged = vexo::Loc_MergeSegments(segs, found);
        paired = vexo::Loc_PairSegmentsIntoCorners(cands, 32, segs, merged);
        benchmark::DoNotOptimize(cands);
    }
    state.counters["segments"] = found;
    state.counters["corners"] = paired;
}
BENCHMARK(BM_AltSegmentsAndCorners)->Arg(kAltFlat)->Arg(kAltDataMatrix)->Arg(kAltAztec)->Unit(benchmark::kMillisecond);

void BM_AltRowThresholdScan(benchmark::State &state) {
    std::vector<uint8_t> frame = AltFrame(static_cast<AltScene>(state.range(0)));
    AltInstall(frame);
    for (auto _ : state) benchmark::DoNotOptimize(vexo::Loc_RowThresholdScan(1, 1));
}
BENCHMARK(BM_AltRowThresholdScan)->Arg(kAltFlat)->Arg(kAltDataMatrix)->Arg(kAltAztec)->Unit(benchmark::kMillisecond);

}  // namespace
