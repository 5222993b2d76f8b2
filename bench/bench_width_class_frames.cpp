// Code 11, MSI and Plessey from camera frames: whole decodes through the exported interface
// per 752 x 480 frame, each symbol at 3 px a module turned by 10 degrees with a little blur,
// and an empty frame, with every symbology the kit enables. (Debian's zxing-cpp reads none
// of the three, so there is no side-by-side figure.)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

// Arg: 0 Code 11, 1 MSI, 2 Plessey, 3 empty.
testkit::Frame WidthClassBenchFrame(int which) {
    if (which == 3) return testkit::Frame(752, 480, 180);
    static const int kSymbologies[] = {BARCODE_CODE11, BARCODE_MSI_PLESSEY, BARCODE_PLESSEY};
    static const char *const kData[] = {"123-45", "1234", "12AB"};
    testkit::SymbolInput in;
    in.symbology = kSymbologies[which];
    in.data = kData[which];
    in.option2 = which == 1 ? 1 : 0;
    in.height = 40;
    testkit::RenderOptions o;
    o.width = 752;
    o.moduleSize = 3;
    o.angleDeg = 10;
    o.blurSigma = 0.6;
    o.seed = 7;
    return testkit::Render(testkit::Encode(in), o).frame;
}

void BM_WidthClassFrame(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::Frame f = WidthClassBenchFrame(which);
    const bool reads = testkit::DecodeFrame(f).decoded;
    if (which < 3 && !reads) state.SkipWithError("the frame does not read");
    for (auto _ : state) benchmark::DoNotOptimize(testkit::DecodeFrame(f).decoded);
}
BENCHMARK(BM_WidthClassFrame)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
