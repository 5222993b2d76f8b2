// The linear module per 752 x 480 frame with one installed region over a Code 128 symbol:
// read by the whole-pixel pairs (3 px a module), read only by the 1/16-pixel pairs (1.5 px
// a module, blur 0.8: every pair is sampled twice), and an empty frame (the region given up
// after five pairs of both methods). Then the accumulation: alone on one region (a Code 128
// it reads, and a textured region where it fails), and per frame with every method on over
// a low-contrast noisy symbol, a blotted one and an empty frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_frames.h"
#include "core/api.h"
#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/modules.h"
#include "core/sequence.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/test_hooks_linear.h"
#include "linear_image/lineimg_services.h"
#include "linear_image/test_hooks_lineimg.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct BenchFrame {
    std::vector<uint8_t> pixels;
    REGION_QUAD quad{};
};

BenchFrame MakeFrame(int64_t kind) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "Fine 1234";
    in.height = 30;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions opt;
    opt.moduleSize = kind == 1 ? 1.5 : 3;
    opt.blurSigma = kind == 1 ? 0.8 : 0.5;
    const testkit::Rendered img = testkit::Render(sym, opt);
    BenchFrame f;
    f.pixels = kind == 2 ? std::vector<uint8_t>(752 * 480, 200) : img.frame.pixels;
    const testkit::Point p[4] = {{-10, 0}, {sym.width + 10, 0}, {-10, sym.height}, {sym.width + 10, sym.height}};
    for (int k = 0; k < 4; ++k) {
        const testkit::Point q = img.transform.ToImage(p[k]);
        f.quad.c[k] = {static_cast<i32>(std::lround(q.x)), static_cast<i32>(std::lround(q.y))};
    }
    return f;
}

// Statics reset, Code 128 on, the frame installed with its region.
void InstallBenchFrame(BenchFrame &f) {
    Test_ResetDecoderStatics();
    Test_ResetLinearStatics();
    Test_ResetLineImgStatics();
    Par_InstallDefaults();
    g_params.flagsWord[kSymCode128] |= kFlagEnabled;
    Pix_SetImagePointer(f.pixels.data());
    Pix_SetImageSize(752, 480);
    Pix_SetSecondBuffer(g_internalImage);
    Pix_InstallFrame(f.pixels.data(), 752, 480);
    static const u8 kind = 1;
    Test_SetLineImgRegions(&f.quad, &kind, 1);
}

// Arg 0: whole-pixel read; 1: fine read; 2: empty frame.
void BM_LineImgDecodeFrame(benchmark::State &state) {
    BenchFrame f = MakeFrame(state.range(0));
    InstallBenchFrame(f);
    int decoded = 0;
    for (auto _ : state) {
        Mem_ResetArena();
        decoded = LineImg_Decode();
        benchmark::DoNotOptimize(decoded);
    }
    if (decoded != (state.range(0) == 2 ? 0 : 1)) state.SkipWithError("unexpected decode result");
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}
BENCHMARK(BM_LineImgDecodeFrame)->Arg(0)->Arg(1)->Arg(2);

// 0: Code 128 at 3 px a module with light noise; 1: grey texture; 2: low contrast (100 on
// 140) with noise 16; 3: blots of ink and paper; 4: empty.
BenchFrame MakeNoisyFrame(int64_t kind) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "ACC-12345";
    in.height = 30;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions opt;
    opt.moduleSize = 3;
    opt.blurSigma = 0.6;
    opt.noiseSigma = kind == 2 ? 16 : 4;
    if (kind == 2) {
        opt.dark = 100;
        opt.light = 140;
    }
    const testkit::Rendered img = testkit::Render(sym, opt);
    BenchFrame f = MakeFrame(0);
    f.pixels = img.frame.pixels;
    std::mt19937 rng(7);
    if (kind == 1)
        for (uint8_t &v : f.pixels) v = static_cast<uint8_t>(60 + rng() % 140);
    if (kind == 3)
        for (int k = 0; k < 700; ++k) {
            const int x = 150 + static_cast<int>(rng() % 450), y = 190 + static_cast<int>(rng() % 100);
            f.pixels[static_cast<size_t>(y) * 752 + static_cast<size_t>(x)] = (rng() & 1) != 0 ? 30 : 220;
        }
    if (kind == 4) f.pixels.assign(752 * 480, 200);
    return f;
}

void RunFrames(benchmark::State &state, int64_t kind, bool mainScan) {
    BenchFrame f = MakeNoisyFrame(kind);
    InstallBenchFrame(f);
    Test_SetLineImgMethods(mainScan, true);
    LineImg_SetScanMode(0);
    int decoded = 0;
    for (auto _ : state) {
        Mem_ResetArena();
        decoded = LineImg_Decode();
        benchmark::DoNotOptimize(decoded);
    }
    if (kind == 0 && decoded != 1) state.SkipWithError("the accumulation did not read");
    Test_SetLineImgMethods(true, true);
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}

// The accumulation alone on one region: arg 0 reads, arg 1 fails.
void BM_LineImgAccumulateRegion(benchmark::State &state) { RunFrames(state, state.range(0), false); }
BENCHMARK(BM_LineImgAccumulateRegion)->Arg(0)->Arg(1);

// Every method per frame: arg 2 low contrast and noise, 3 blots, 4 empty.
void BM_LineImgNoisyFrame(benchmark::State &state) { RunFrames(state, state.range(0), true); }
BENCHMARK(BM_LineImgNoisyFrame)->Arg(2)->Arg(3)->Arg(4);

// The sets of the accumulation read end to end (region finder included), beside zxing-cpp:
// low contrast (100 on 140, blur 0.6) with noise 12, 16 and 20; blots of ink and paper
// painted over the symbol; and frames of paper with light noise. Each symbol at 2, 2.5
// and 3 px a module, turned 0, 180 and 4 degrees (27 frames a set).
const std::vector<testkit::Frame> &AccumulationSet(int symbology, char set) {
    static std::vector<testkit::Frame> sets[2][3];
    const int s = set == 'a' ? 0 : set == 'b' ? 1 : 2;
    std::vector<testkit::Frame> &frames = sets[symbology == BARCODE_CODE128 ? 0 : 1][s];
    if (!frames.empty()) return frames;
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.data = symbology == BARCODE_CODE128 ? "ACC-12345" : "590123412345";
    in.height = 30;
    const testkit::Symbol sym = testkit::Encode(in);
    for (double module : {2.0, 2.5, 3.0})
        for (double angle : {0.0, 180.0, 4.0})
            for (uint64_t k = 1; k <= 3; ++k) {
                testkit::RenderOptions o{.moduleSize = module, .angleDeg = angle, .blurSigma = 0.6, .noiseSigma = 4,
                                         .seed = k};
                if (set == 'a') {
                    o.dark = 100;
                    o.light = 140;
                    o.noiseSigma = 8.0 + 4.0 * static_cast<double>(k);
                }
                if (set == 'e') {
                    testkit::Frame paper(752, 480);
                    std::mt19937 rng(static_cast<uint32_t>(frames.size() + 1));
                    for (uint8_t &v : paper.pixels) v = static_cast<uint8_t>(196 + rng() % 9);
                    frames.push_back(std::move(paper));
                    continue;
                }
                testkit::Rendered img = testkit::Render(sym, o);
                if (set == 'b') {
                    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
                    for (const testkit::Point p : {testkit::Point{-10, 0}, testkit::Point{sym.width + 10, 0},
                                                   testkit::Point{-10, sym.height}, testkit::Point{sym.width + 10, sym.height}}) {
                        const testkit::Point q = img.transform.ToImage(p);
                        x0 = std::min(x0, q.x);
                        y0 = std::min(y0, q.y);
                        x1 = std::max(x1, q.x);
                        y1 = std::max(y1, q.y);
                    }
                    testkit::PaintBlots(img.frame, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                                        static_cast<int>(y1), 1000 + k);
                }
                frames.push_back(std::move(img.frame));
            }
    return frames;
}

bool RegisterAccumulationSets() {
    const auto reader = [] {
        return bench_corpus::Reader([](const testkit::Frame &f) { return testkit::DecodeFrame(f); });
    };
    for (const char set : {'a', 'b', 'e'}) {
        const std::string name = std::string("BM_AccumulationSet/") + (set == 'a' ? "LowContrastNoisy" : set == 'b' ? "Blotted" : "Empty");
        bench_corpus::RegisterFrameSet(
            name + "/Code128", [set]() -> const std::vector<testkit::Frame> & { return AccumulationSet(BARCODE_CODE128, set); },
            reader, "Code128", 0x2);
        bench_corpus::RegisterFrameSet(
            name + "/EAN13", [set]() -> const std::vector<testkit::Frame> & { return AccumulationSet(BARCODE_EANX, set); },
            reader, "EAN13", 0x8);
    }
    return true;
}
[[maybe_unused]] const bool kAccumulationSetsRegistered = RegisterAccumulationSets();

// The profile path alone on one region: arg 0 Code 128 at 3 px (coarse path), 1 at 1.5 px
// (fine path), 2 empty, 3 grey texture (it runs and fails). Counter "read": 1 when read.
void BM_LineImgProfileRegion(benchmark::State &state) {
    const int64_t kind = state.range(0);
    BenchFrame f = kind <= 2 ? MakeFrame(kind == 0 ? 0 : kind == 1 ? 1 : 2) : MakeNoisyFrame(1);
    InstallBenchFrame(f);
    Test_SetLineImgMethods(false, false);
    LineImg_SetScanMode(4);
    int decoded = 0;
    for (auto _ : state) {
        Mem_ResetArena();
        decoded = LineImg_Decode();
        benchmark::DoNotOptimize(decoded);
    }
    state.counters["read"] = decoded;
    Test_SetLineImgMethods(true, true);
    Test_SetLineImgRegions(nullptr, nullptr, 0);
}
BENCHMARK(BM_LineImgProfileRegion)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

}  // namespace

// ---- The core's linear stage per 752 x 480 frame (projection proposals, the region list,
// the region finder, widening and splitting, the reads): 0 empty, 1 one Code 128 symbol,
// 2 five of them, 3 a busy frame of glyph-sized strokes. Counters: read, and the peak use of
// the arena and of the image's work memory.

namespace {

// Code 128 at 2.5 px a module with light blur: one in the middle, or five spread over the frame.
std::vector<uint8_t> StageSymbols(int count) {
    static const testkit::Point kCentres[] = {{376, 240}, {200, 90}, {550, 90}, {200, 390}, {550, 390}};
    std::vector<uint8_t> px(static_cast<size_t>(752) * 480, 255);
    for (int k = 0; k < count; ++k) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_CODE128;
        in.data = "STAGE-" + std::to_string(k);
        in.height = 20;
        testkit::RenderOptions o;
        o.moduleSize = 2.5;
        o.blurSigma = 0.6;
        o.center = kCentres[k];
        const testkit::Frame f = testkit::Render(testkit::Encode(in), o).frame;
        for (size_t i = 0; i < px.size(); ++i) px[i] = std::min(px[i], f.pixels[i]);
    }
    return px;
}

std::vector<uint8_t> StageFrame(int64_t which) {
    switch (which) {
        case 0: return benchframes::EmptyFrame();
        case 1: return StageSymbols(1);
        case 2: return StageSymbols(5);
        default: return benchframes::TextFrame();
    }
}

// The per-image set-up of a decode, then the linear stage alone: 1 when it read.
int RunLinearStageOnce() {
    Mem_ResetArena();
    Dec_ResetPerDecode();
    Dec_ComputeFrameMargins();
    Dec_ComputeRoiBox();
    Dec_ResetModulesForImage();
    return Dec_RunLinearStage();
}

void BM_LineImgLinearStage(benchmark::State &state) {
    BenchFrame f;
    f.pixels = StageFrame(state.range(0));
    InstallBenchFrame(f);
    g_params.flagsWord[kSymGs1128] |= kFlagEnabled;
    Test_SetLineImgRegions(nullptr, nullptr, 0);
    int read = 0;
    for (auto _ : state) {
        read = RunLinearStageOnce();
        benchmark::DoNotOptimize(read);
    }
    const auto stage = [&read] { read = RunLinearStageOnce(); };
    state.counters["read"] = read;
    state.counters["arena_peak_bytes"] = benchframes::BytesTouched(g_arena.memory, kArenaCapacity, stage);
    state.counters["work_peak_bytes"] = benchframes::BytesTouched(g_internalImage, kInternalImageBytes, stage);
    const char *labels[] = {"empty", "one Code 128", "five Code 128", "busy strokes"};
    state.SetLabel(labels[state.range(0)]);
    if (state.range(0) == 1 && read != 1) state.SkipWithError("the symbol did not read");
}
BENCHMARK(BM_LineImgLinearStage)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// ---- Code 128 through the exported interface, this decoder (Code 128 and GS1-128 alone on)
// beside zxing-cpp (Code 128 alone): per 752 x 480 frame with a symbol (3 px a module, blur
// 0.6, noise 2; arg 1 frontal, 2 turned 10 degrees) and empty (arg 0), then the corpus folders.

// Code 128 and its GS1-128 form (zxing-cpp's Code 128 reader takes both), nothing else.
const testkit::DecoderApi &Code128OnlyDecoder() {
    static const testkit::DecoderApi api = [] {
        testkit::DecoderApi a = bench_corpus::OnlyGroupDecoder(0x10000);
        a.set(0x10100, 0x10001);
        return a;
    }();
    return api;
}

testkit::Frame Code128BenchFrame(int64_t which) {
    if (which == 0) {
        testkit::Frame f(752, 480, 0);
        f.pixels = benchframes::EmptyFrame();
        return f;
    }
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "Bench 128-0042";
    in.height = 25;
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.angleDeg = static_cast<double>(which - 1) * 10;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    return testkit::Render(testkit::Encode(in), o).frame;
}

const char *Code128FrameLabel(int64_t which) {
    return which == 0 ? "empty" : which == 1 ? "Code 128 3px frontal" : "Code 128 3px turned 10 deg";
}

void BM_Code128FrameThis(benchmark::State &state) {
    const testkit::DecoderApi &api = Code128OnlyDecoder();
    bench_corpus::TimeFrameReads(state, Code128BenchFrame(state.range(0)),
                                 [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); },
                                 Code128FrameLabel(state.range(0)));
}
BENCHMARK(BM_Code128FrameThis)->Name("BM_Code128Frame/this")->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_Code128FrameZxing(benchmark::State &state) {
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString("Code128");
    bench_corpus::TimeFrameReads(state, Code128BenchFrame(state.range(0)),
                                 [format](const testkit::Frame &f) { return bench_corpus::ZxingRead(f, format, 0x2); },
                                 Code128FrameLabel(state.range(0)));
}
BENCHMARK(BM_Code128FrameZxing)->Name("BM_Code128Frame/zxing")->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);
#endif

[[maybe_unused]] const bool kCode128CorpusRegistered = bench_corpus::RegisterFolders(
    "BM_Code128Corpus", {"code128-1", "code128-3"},
    [] {
        const testkit::DecoderApi &api = Code128OnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "Code128", 0x2);

}  // namespace
