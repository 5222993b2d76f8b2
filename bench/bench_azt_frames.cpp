// Aztec from camera frames: whole decodes through the exported interface per 752 x 480 frame
// (compact 15 x 15 and 27 x 27 at 4 px, full-range 37 x 37, 75 x 75 and 151 x 151 at 3 px,
// clean and blurred, and an empty frame with Aztec enabled), each beside zxing-cpp on the
// same frames when built with it; the locating and sampling of one candidate alone; and the
// reference-grid tracing and the patch sampling of a 151 x 151 symbol alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "aztec_maxicode/azt_symbol.h"
#include "bench_corpus.h"
#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/finder.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

// The exported interface with Aztec alone enabled.
const testkit::DecoderApi &AztecOnlyDecoder() {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20300);
    return api;
}

// Frames by argument: 0 empty; layers 1 or 4, plus 10 for the blurred one.
testkit::Frame MakeFrame(int which) {
    if (which == 0) {
        testkit::Frame f;
        f.width = 752;
        f.height = 480;
        f.pixels.resize(static_cast<size_t>(f.width) * f.height);
        uint32_t x = 99;
        for (uint8_t &p : f.pixels) {
            x = x * 1103515245u + 12345u;
            p = static_cast<uint8_t>(178 + (x >> 16) % 5);
        }
        return f;
    }
    // Full-range: 100 + size option, 200 + it blurred.
    const bool full = which >= 100;
    const int layers = full ? which % 100 : which % 10;
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = full ? "Full-range Aztec bench " + std::to_string(layers)
                   : (layers == 1 ? "Aztec 15" : "Aztec bench 27 x 27 0123456789 abcdefghij");
    in.option2 = layers;
    testkit::RenderOptions o;
    o.moduleSize = full ? 3 : 4;
    o.angleDeg = 10;
    o.quietZone = 4;
    o.blurSigma = (which >= 10 && which < 100) || which >= 200 ? 1.0 : 0.3;
    o.noiseSigma = 1;
    return testkit::Render(testkit::Encode(in), o).frame;
}

const char *FrameLabel(int which) {
    switch (which) {
        case 0: return "empty 752x480";
        case 1: return "15x15 4px";
        case 4: return "27x27 4px";
        case 11: return "15x15 4px blurred";
        case 14: return "27x27 4px blurred";
        case 109: return "37x37 3px";
        case 117: return "75x75 3px";
        case 136: return "151x151 3px";
        case 209: return "37x37 3px blurred";
        case 217: return "75x75 3px blurred";
        default: return "151x151 3px blurred";
    }
}

void BM_AztDecodeFrameThis(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::DecoderApi &api = AztecOnlyDecoder();
    bench_corpus::TimeFrameReads(state, MakeFrame(which), [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); },
                                 FrameLabel(which));
}
BENCHMARK(BM_AztDecodeFrameThis)->Name("BM_AztDecodeFrame/this")->Arg(1)->Arg(4)->Arg(11)->Arg(14)->Arg(0)->Arg(109)->Arg(117)->Arg(136)
    ->Arg(209)->Arg(217)->Arg(236)
    ->Unit(benchmark::kMicrosecond);

#ifdef VEXO_BENCH_ZXING
void BM_AztDecodeFrameZxing(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString("Aztec");
    bench_corpus::TimeFrameReads(state, MakeFrame(which),
                                 [format](const testkit::Frame &f) { return bench_corpus::ZxingRead(f, format, 0x104); },
                                 FrameLabel(which));
}
BENCHMARK(BM_AztDecodeFrameZxing)->Name("BM_AztDecodeFrame/zxing")->Arg(1)->Arg(4)->Arg(11)->Arg(14)->Arg(0)->Arg(109)->Arg(117)->Arg(136)
    ->Arg(209)->Arg(217)->Arg(236)
    ->Unit(benchmark::kMicrosecond);
#endif

// Installs the frame, runs the finder over it and gives the first bulls-eye's geometry.
bool FirstBullseye(testkit::Frame &f, std::vector<uint8_t> &work, vexo::AZT_GEOMETRY *g) {
    AztecOnlyDecoder();
    vexo::Pix_SetImagePointer(f.pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Azt_SetWorkAreas(work.data());
    vexo::REGION_QUAD region{{{0, 0}, {f.width - 1, 0}, {0, f.height - 1}, {f.width - 1, f.height - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    const vexo::AZT_BULLSEYE *b = vexo::Azt_NextBullseyeCandidate();
    if (b == nullptr) return false;
    vexo::g_aztDriver.bullseye = *b;
    *g = vexo::AZT_GEOMETRY{b->full != 0 ? 1 : 0, b->centreX >> 4, b->centreY >> 4, b->polarity == 0 ? 1 : 0};
    return true;
}

// Locating (Azt_LocateSymbol) and then sampling (Azt_ReadCompactGrid) one candidate, the
// finder run once beforehand.
void BM_AztLocateAndSample(benchmark::State &state) {
    const int layers = static_cast<int>(state.range(0));
    testkit::Frame f = MakeFrame(layers);
    std::vector<uint8_t> work(vexo::kAztWorkBytes);
    vexo::AZT_GEOMETRY g{};
    if (!FirstBullseye(f, work, &g)) {
        state.SkipWithError("no bulls-eye");
        return;
    }
    const bool sample = state.range(1) != 0;
    int64_t ok = 0;
    for (auto _ : state) {
        vexo::AZT_SYMBOL s{};
        int r = vexo::Azt_LocateSymbol(&g, &s);
        if (sample && r == 1) r = vexo::Azt_ReadCompactGrid(&s);
        ok += r;
        benchmark::DoNotOptimize(s.size);
    }
    state.counters["ok"] = benchmark::Counter(static_cast<double>(ok), benchmark::Counter::kAvgIterations);
    state.SetLabel(std::string(FrameLabel(layers)) + (sample ? " locate+sample" : " locate"));
}
BENCHMARK(BM_AztLocateAndSample)->Args({11, 0})->Args({11, 1})->Args({14, 0})->Args({14, 1})->Unit(benchmark::kMicrosecond);

// The reference-grid tracing (range 0) or the patch sampling after one tracing (range 1) of
// a located 151 x 151 symbol.
void BM_AztFullGrid(benchmark::State &state) {
    testkit::Frame f = MakeFrame(136);
    std::vector<uint8_t> work(vexo::kAztWorkBytes);
    vexo::AZT_GEOMETRY g{};
    if (!FirstBullseye(f, work, &g)) {
        state.SkipWithError("no bulls-eye");
        return;
    }
    vexo::AZT_SYMBOL located{};
    if (vexo::Azt_LocateSymbol(&g, &located) != 1 || located.size != 151) {
        state.SkipWithError("not located");
        return;
    }
    const bool sample = state.range(0) != 0;
    vexo::AZT_SYMBOL s = located;
    vexo::g_aztDriver.current = &s;
    vexo::Azt_SetReferenceLines(s.size);
    if (sample) vexo::Azt_TraceReferenceGrid();
    int64_t ok = 0;
    for (auto _ : state) {
        if (sample) {
            ok += vexo::Azt_SampleFullModules(vexo::g_aztDriver.modules);
        } else {
            s = located;
            ok += vexo::Azt_TraceReferenceGrid();
        }
    }
    state.counters["ok"] = benchmark::Counter(static_cast<double>(ok), benchmark::Counter::kAvgIterations);
    state.SetLabel(sample ? "151x151 3px patch sampling" : "151x151 3px tracing");
}
BENCHMARK(BM_AztFullGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// ---- The Aztec corpus folder, this decoder beside zxing-cpp.

[[maybe_unused]] const bool kAztCorpusRegistered = bench_corpus::RegisterFolders(
    "BM_AztCorpus", {"aztec-1"},
    [] {
        const testkit::DecoderApi &api = AztecOnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "Aztec", 0x104);

}  // namespace
