// GS1 composites per 752 x 480 frame through the exported interface, composite reading on
// (with composite mode for EAN/UPC): each composite kind against the same linear symbol
// without its component, a linked GS1-128 whose component was wiped from the frame (the
// whole area walk and a failing reader), and an empty frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

struct BenchComposite {
    int composite;
    int linear;
    const char *primary;
    const char *linearData;  // the linear symbol alone
    int option1;
};

// Arg: index; odd entries are the linear symbol alone.
const BenchComposite kBenchComposites[] = {
    {BARCODE_GS1_128_CC, BARCODE_GS1_128, "[01]09501101530008", "[01]09501101530008", 1},
    {BARCODE_GS1_128_CC, BARCODE_GS1_128, "[01]09501101530008", "[01]09501101530008", 2},
    {BARCODE_GS1_128_CC, BARCODE_GS1_128, "[01]09501101530008", "[01]09501101530008", 3},
    {BARCODE_EANX_CC, BARCODE_EANX, "950110153000", "950110153000", 1},
    {BARCODE_DBAR_LTD_CC, BARCODE_DBAR_LTD, "0950110153000", "0950110153000", 1},
};

testkit::Frame BenchCompositeFrame(int64_t arg) {
    testkit::SymbolInput in;
    in.inputMode = GS1_MODE;
    if (arg >= 20) {
        testkit::Frame empty;
        empty.width = 752;
        empty.height = 480;
        empty.pixels.assign(752 * 480, 200);
        return empty;
    }
    const BenchComposite &c = kBenchComposites[arg == 11 ? 0 : arg / 2];
    if (arg % 2 == 0 || arg == 11) {
        in.symbology = c.composite;
        in.primary = c.primary;
        in.data = "[11]990102[10]ABC123";
        in.option1 = c.option1;
    } else {
        in.symbology = c.linear;
        in.data = c.linearData;
        if (c.linear == BARCODE_EANX || c.linear == BARCODE_DBAR_LTD) in.inputMode = DATA_MODE;
    }
    testkit::Symbol sym = testkit::Encode(in);
    // The component wiped: only the last rows (the linear symbol) keep their modules.
    if (arg == 11)
        for (int r = 0; r + 1 < sym.rows; ++r)
            for (int col = 0; col < sym.cols; ++col)
                sym.modules[static_cast<size_t>(r) * static_cast<size_t>(sym.cols) + static_cast<size_t>(col)] = 0;
    return testkit::Render(sym, {.moduleSize = 3, .blurSigma = 0.6, .noiseSigma = 3}).frame;
}

// Args 0..9: composite kind k at 2k, its linear symbol alone at 2k + 1 (the EAN-13 alone,
// 7, is refused in composite mode after its search); 11: a GS1-128 with
// its link but no component; 20: an empty frame.
void BM_LineImgCompositeFrame(benchmark::State &state) {
    const testkit::DecoderApi api = testkit::LinkedDecoder();
    testkit::InitDecoder();
    api.set(0x11C01, VEXO_ON);
    const testkit::Frame frame = BenchCompositeFrame(state.range(0));
    bool decoded = false;
    for (auto _ : state) {
        decoded = testkit::RunFrame(api, frame).decoded;
        benchmark::DoNotOptimize(decoded);
    }
    const int64_t a = state.range(0);
    // Composite mode on: an EAN-13 without its component is not output (no fallback applies).
    const bool expected = a < 20 && a != 11 && a != 7;
    if (decoded != expected) state.SkipWithError("unexpected decode result");
    api.set(0x11C01, VEXO_OFF);
}
BENCHMARK(BM_LineImgCompositeFrame)->DenseRange(0, 9)->Arg(11)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
