// Data Matrix from camera frames: whole decodes through the exported interface per 752 x 480
// frame (10 x 10, 32 x 32 and 88 x 88 symbols, an empty frame, a textured frame whose ranked
// L candidates all fail) and per 1280 x 960 frame (144 x 144), each beside zxing-cpp on the
// same frames when built with it; and the three Data Matrix corpus folders read by both,
// read rate and median decode time side by side in one run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_dm.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace benchdm {

const testkit::DecoderApi &DmOnlyDecoder() {
    static const testkit::DecoderApi api = [] {
        testkit::InitDecoder();
        testkit::DecoderApi a = testkit::LinkedDecoder();
        for (uint32_t group : testkit::SymbologyGroups()) a.set(group, 0x10000);
        a.set(0x20400, 0x10001);
        a.set(0x20405, 0x10000);
        return a;
    }();
    return api;
}

void DecodeFrames(benchmark::State &state, const testkit::Frame &f, const char *label) {
    const testkit::DecoderApi &api = DmOnlyDecoder();
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = testkit::RunFrame(api, f, false);
        reads += d.decoded ? 1 : 0;
        benchmark::DoNotOptimize(d.text.data());
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.SetLabel(label);
}

}  // namespace benchdm

namespace {

using benchdm::DmOnlyDecoder;

// The frames by benchmark argument: -1 empty, -2 textured, else a libzint size number.
testkit::Frame MakeFrame(int which) {
    if (which == -1) {
        testkit::Frame f;
        f.width = 752;
        f.height = 480;
        // Paper with a little sensor noise.
        f.pixels.resize(static_cast<size_t>(f.width) * f.height);
        uint32_t x = 99;
        for (uint8_t &p : f.pixels) {
            x = x * 1103515245u + 12345u;
            p = static_cast<uint8_t>(178 + (x >> 16) % 5);
        }
        return f;
    }
    if (which == -2) {
        // Solid dark Ls of several sizes and turns on a light ground, with no timing sides:
        // each is an L candidate whose cell measurement fails.
        testkit::Frame f;
        f.width = 752;
        f.height = 480;
        f.pixels.assign(static_cast<size_t>(f.width) * f.height, 200);
        for (int k = 0; k < 8; ++k) {
            const int x0 = 40 + (k % 4) * 180, y0 = 40 + (k / 4) * 220, arm = 60 + 12 * k;
            for (int t = 0; t < 6; ++t) {
                for (int a = 0; a < arm; ++a) {
                    f.pixels[static_cast<size_t>(y0 + a) * f.width + x0 + t] = 40;                  // left arm
                    f.pixels[static_cast<size_t>(y0 + arm - 1 - t) * f.width + x0 + a] = 40;        // bottom arm
                    f.pixels[static_cast<size_t>(y0 + a / 3) * f.width + x0 + arm / 2 + (a * 7) % 40] = 90;  // texture
                }
            }
        }
        return f;
    }
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = which == 1 ? "123456" : "DM bench " + std::to_string(which) + " 0123456789";
    in.option2 = which;
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = which >= 19 ? 4 : 6;
    o.angleDeg = 10;
    o.keystone = 0.04;
    o.blurSigma = 0.8;
    o.noiseSigma = 1;
    o.quietZone = 2;
    if (which >= 24) {
        o.width = 1280;
        o.height = 960;
    }
    return testkit::Render(s, o).frame;
}

const char *FrameLabel(int which) {
    switch (which) {
        case -1: return "empty 752x480";
        case -2: return "textured 752x480";
        default: break;
    }
    return which == 24 ? "144x144 in 1280x960" : (which == 19 ? "88x88" : (which == 10 ? "32x32" : "10x10"));
}

void BM_DmDecodeFrameThis(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    benchdm::DecodeFrames(state, MakeFrame(which), FrameLabel(which));
}
BENCHMARK(BM_DmDecodeFrameThis)->Name("BM_DmDecodeFrame/this")->Arg(1)->Arg(10)->Arg(19)->Arg(-1)->Arg(-2)->Arg(24)
    ->Unit(benchmark::kMicrosecond);

#ifdef VEXO_BENCH_ZXING
void BM_DmDecodeFrameZxing(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::Frame f = MakeFrame(which);
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString("DataMatrix");
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = bench_corpus::ZxingRead(f, format, 0x105);
        reads += d.decoded ? 1 : 0;
        benchmark::DoNotOptimize(d.text.data());
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.SetLabel(FrameLabel(which));
}
BENCHMARK(BM_DmDecodeFrameZxing)->Name("BM_DmDecodeFrame/zxing")->Arg(1)->Arg(10)->Arg(19)->Arg(-1)->Arg(-2)->Arg(24)
    ->Unit(benchmark::kMicrosecond);
#endif

// ---- The Data Matrix corpus folders, this decoder beside zxing-cpp.

[[maybe_unused]] const bool kCorpusRegistered = bench_corpus::RegisterFolders(
    "BM_DmCorpus", {"datamatrix-1", "datamatrix-3", "datamatrix-5"},
    [] {
        const testkit::DecoderApi &api = DmOnlyDecoder();
        return bench_corpus::Reader([&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
    },
    "DataMatrix", 0x105);

}  // namespace
