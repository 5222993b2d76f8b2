// MaxiCode from camera frames: whole decodes through the exported interface per 752 x 480
// frame (empty, one symbol at 6 px frontal and turned 30 degrees, a symbol whose two reads
// both fail), and the MaxiCode decode alone per candidate with the finder run once. Beside
// zxing-cpp (when built with it): the maxicode-1 corpus folder, frontal frames of nothing but
// the symbol on a light ground, empty frames, and turned camera frames.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_module.h"
#include "aztec_maxicode/maxi_services.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "bench_corpus.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

// The exported interface with MaxiCode alone enabled.
const testkit::DecoderApi &MaxiOnlyDecoder() {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20500);
    return api;
}

// Frames by argument: 0 empty, 1 frontal, 2 turned 30 degrees, 3 data modules scrambled (the
// orientation is found, both reads fail).
testkit::Frame MaxiBenchFrame(int which, double module = 6) {
    if (which == 0) {
        testkit::Frame f;
        f.width = 752;
        f.height = 480;
        f.pixels.assign(static_cast<size_t>(f.width) * f.height, 180);
        return f;
    }
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "MaxiCode bench symbol 0123456789";
    testkit::Symbol sym = testkit::Encode(in);
    if (which == 3) {
        uint32_t x = 7;
        for (int c = 0; c < vexo::kMaxiCodewords; ++c)
            for (int k = 0; k < 6; ++k) {
                const int m = vexo::kMaxiPlacement[static_cast<size_t>(c)][static_cast<size_t>(k)];
                x = x * 1103515245u + 12345u;
                sym.modules[static_cast<size_t>(vexo::Maxi_ModuleRow(m) * sym.cols + vexo::Maxi_ModuleCol(m))] = (x >> 16) & 1;
            }
    }
    testkit::RenderOptions o;
    o.moduleSize = module;
    o.angleDeg = which == 2 ? 30 : 0;
    o.blurSigma = 0.5;
    o.noiseSigma = 1;
    return testkit::Render(sym, o).frame;
}

const char *MaxiBenchLabel(int which) {
    switch (which) {
        case 0: return "empty 752x480";
        case 1: return "6px frontal";
        case 2: return "6px turned 30";
        default: return "6px both reads fail";
    }
}

void BM_MaxiDecodeFrame(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::DecoderApi &api = MaxiOnlyDecoder();
    bench_corpus::TimeFrameReads(state, MaxiBenchFrame(which), [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); },
                                 MaxiBenchLabel(which));
}
BENCHMARK(BM_MaxiDecodeFrame)->Arg(1)->Arg(2)->Arg(3)->Arg(0)->Unit(benchmark::kMicrosecond);

// The MaxiCode decode alone over the finder's candidates, the finder run once beforehand.
void BM_MaxiDecodeCandidates(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    testkit::Frame f = MaxiBenchFrame(which);
    MaxiOnlyDecoder();
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo::Pix_SetImagePointer(f.pixels.data());
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Pix_InstallFrame(f.pixels.data(), f.width, f.height);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = vexo::kFlagEnabled;
    vexo::g_state.extraGeometryStep = 0;
    vexo::REGION_QUAD region{{{0, 0}, {f.width - 1, 0}, {0, f.height - 1}, {f.width - 1, f.height - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    if (vexo::g_maxiFinder.count == 0) {
        state.SkipWithError("no bulls-eye");
        return;
    }
    int64_t ok = 0;
    for (auto _ : state) {
        vexo::g_params.resultStore.storedCount = 0;  // cleared by the core before every decode
        ok += vexo::Maxi_DecodeWholeImage();
    }
    state.counters["ok"] = benchmark::Counter(static_cast<double>(ok), benchmark::Counter::kAvgIterations);
    state.SetLabel(MaxiBenchLabel(which));
}
BENCHMARK(BM_MaxiDecodeCandidates)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// ---- This decoder beside zxing-cpp.

// Initialised anew: the per-candidate benchmark before these resets the decoder's statics.
bench_corpus::Reader MaxiOnlyReader() {
    const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(0x20500);
    return bench_corpus::Reader([api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
}

testkit::Symbol MaxiCompareSymbol(int mode) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = mode;
    if (mode == 2) {
        in.primary = "152382802840001";
        in.data = "1Z00004951\x1DUPSN";
    } else if (mode == 3) {
        in.primary = "B1050 056999";
        in.data = "Parcel 7";
    } else {
        in.data = "MaxiCode compare mode " + std::to_string(mode);
    }
    return testkit::Encode(in);
}

// Modes 2-6 at 5, 6, 8 and 10 px per module, frontal, sharp and clean, on a light ground.
const std::vector<testkit::Frame> &MaxiPureFrames() {
    static const std::vector<testkit::Frame> frames = [] {
        std::vector<testkit::Frame> out;
        for (int mode = 2; mode <= 6; ++mode)
            for (double module : {5.0, 6.0, 8.0, 10.0}) {
                testkit::RenderOptions o;
                o.moduleSize = module;
                out.push_back(testkit::Render(MaxiCompareSymbol(mode), o).frame);
            }
        return out;
    }();
    return frames;
}

// Light ground with sensor noise, no symbol.
const std::vector<testkit::Frame> &MaxiEmptyFrames() {
    static const std::vector<testkit::Frame> frames = [] {
        std::vector<testkit::Frame> out;
        for (uint64_t seed = 1; seed <= 8; ++seed) {
            testkit::Frame f;
            f.width = 752;
            f.height = 480;
            f.pixels.assign(static_cast<size_t>(f.width) * f.height, 200);
            uint64_t x = seed * 0x9E3779B97F4A7C15ull;
            for (uint8_t &p : f.pixels) {
                x = x * 6364136223846793005ull + 1442695040888963407ull;
                p = static_cast<uint8_t>(196 + ((x >> 60) & 7));
            }
            out.push_back(std::move(f));
        }
        return out;
    }();
    return frames;
}

// The camera conditions of the frame tests: 6, 8 and 10 px, turned 20..340 degrees in steps
// of 40 (never square to the frame), blur 0.6 and noise 2.
const std::vector<testkit::Frame> &MaxiTurnedFrames() {
    static const std::vector<testkit::Frame> frames = [] {
        std::vector<testkit::Frame> out;
        uint64_t seed = 1;
        for (double module : {6.0, 8.0, 10.0})
            for (int angle = 20; angle < 360; angle += 40) {
                testkit::RenderOptions o;
                o.moduleSize = module;
                o.angleDeg = angle;
                o.blurSigma = 0.6;
                o.noiseSigma = 2;
                o.seed = seed++;
                out.push_back(testkit::Render(MaxiCompareSymbol(2 + angle / 40 % 5), o).frame);
            }
        return out;
    }();
    return frames;
}

[[maybe_unused]] const bool kMaxiCompareRegistered =
    bench_corpus::RegisterFolders("BM_MaxiCorpus", {"maxicode-1"}, MaxiOnlyReader, "MaxiCode", 0x106) &&
    bench_corpus::RegisterFrameSet("BM_MaxiPureFrames", MaxiPureFrames, MaxiOnlyReader, "MaxiCode", 0x106) &&
    bench_corpus::RegisterFrameSet("BM_MaxiEmptyFrames", MaxiEmptyFrames, MaxiOnlyReader, "MaxiCode", 0x106) &&
    bench_corpus::RegisterFrameSet("BM_MaxiTurnedFrames", MaxiTurnedFrames, MaxiOnlyReader, "MaxiCode", 0x106);

}  // namespace
