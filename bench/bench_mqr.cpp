// Micro QR from camera frames: whole decodes per 752 x 480 frame through the exported
// interface with Micro QR alone enabled (one M3 symbol, an empty frame, a frame of 50
// finder-like squares), and the microqrcode-1 corpus folder read rate and median time; each
// beside zxing-cpp on the same frames when built with it (scripts/setup.sh compare).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/blackbox.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

#ifdef VEXO_BENCH_ZXING
#define ZX_USE_UTF8 1
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>
#endif

namespace {

// The exported interface with Micro QR alone enabled.
const testkit::DecoderApi &MicroQrOnlyDecoder() {
    static const testkit::DecoderApi api = [] {
        testkit::InitDecoder();
        testkit::DecoderApi a = testkit::LinkedDecoder();
        for (uint32_t group : testkit::SymbologyGroups()) a.set(group, 0x10000);
        a.set(0x20900, 0x10001);
        return a;
    }();
    return api;
}

testkit::Frame SymbolFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MICROQR;
    in.data = "MICRO QR M3";
    in.option2 = 3;
    return testkit::Render(testkit::Encode(in), {.moduleSize = 5, .angleDeg = 12, .blurSigma = 0.6, .noiseSigma = 1})
        .frame;
}

testkit::Frame EmptyFrame() {
    testkit::Frame f;
    f.width = 752;
    f.height = 480;
    f.pixels.assign(static_cast<size_t>(f.width * f.height), 200);
    return f;
}

// 50 finder-like squares (ring and core, 2-4 px modules) scattered over a light frame.
testkit::Frame SquaresFrame() {
    testkit::Frame f = EmptyFrame();
    std::mt19937 rng(5);
    for (int s = 0; s < 50; ++s) {
        const int x0 = 10 + static_cast<int>(rng() % 700), y0 = 10 + static_cast<int>(rng() % 430);
        const int m = 2 + static_cast<int>(rng() % 3);
        for (int y = 0; y < 7 * m; ++y) {
            for (int x = 0; x < 7 * m; ++x) {
                const int mx = x / m, my = y / m;
                const bool ink = mx == 0 || my == 0 || mx == 6 || my == 6 || (mx >= 2 && mx <= 4 && my >= 2 && my <= 4);
                if (ink && x0 + x < f.width && y0 + y < f.height) {
                    f.pixels[static_cast<size_t>((y0 + y) * f.width + x0 + x)] = 40;
                }
            }
        }
    }
    return f;
}

testkit::Frame FrameOf(int64_t which) {
    return which == 0 ? SymbolFrame() : which == 1 ? EmptyFrame() : SquaresFrame();
}

void BM_MqrFrame(benchmark::State &state) {
    const testkit::Frame f = FrameOf(state.range(0));
    const testkit::DecoderApi &api = MicroQrOnlyDecoder();
    int64_t reads = 0;
    for (auto _ : state) reads += testkit::RunFrame(api, f, false).decoded ? 1 : 0;
    state.counters["reads"] = static_cast<double>(reads);
}
// 0: one Micro QR symbol, 1: empty, 2: 50 finder-like squares.
BENCHMARK(BM_MqrFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
ZXing::DecodeHints MicroQrHints() {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::MicroQRCode);
    return hints;
}

void BM_MqrFrameZxing(benchmark::State &state) {
    const testkit::Frame f = FrameOf(state.range(0));
    const ZXing::DecodeHints hints = MicroQrHints();
    int64_t reads = 0;
    for (auto _ : state) {
        const ZXing::ImageView view(f.pixels.data(), f.width, f.height, ZXing::ImageFormat::Lum);
        reads += ZXing::ReadBarcode(view, hints).isValid() ? 1 : 0;
    }
    state.counters["reads"] = static_cast<double>(reads);
}
BENCHMARK(BM_MqrFrameZxing)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
#endif

std::filesystem::path MicroQrCorpus() {
    const char *env = std::getenv("STACK_CORPUS_DIR");
    const std::filesystem::path root = env != nullptr && env[0] != '\0' ? env : VEXO_CORPUS_DIR;
    return root / "microqrcode-1";
}

void Report(benchmark::State &state, const testkit::FolderResult &r, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    state.counters["images"] = r.expected;
    state.counters["passed"] = r.passed;
    state.counters["read_rate_pct"] = r.expected > 0 ? 100.0 * r.passed / r.expected : 0;
    state.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
}

void BM_MqrCorpus(benchmark::State &state) {
    if (!std::filesystem::is_directory(MicroQrCorpus())) {
        state.SkipWithError("corpus folder missing");
        return;
    }
    const testkit::DecoderApi &api = MicroQrOnlyDecoder();
    for (auto _ : state) {
        std::vector<double> ms;
        const testkit::FolderResult r = testkit::RunBlackboxFolder(MicroQrCorpus(), [&](const testkit::Frame &f) {
            testkit::DecodeResult d = testkit::RunFrame(api, f, false);
            ms.push_back(d.decodeMs);
            return d;
        });
        Report(state, r, ms);
    }
}
BENCHMARK(BM_MqrCorpus)->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_MqrCorpusZxing(benchmark::State &state) {
    if (!std::filesystem::is_directory(MicroQrCorpus())) {
        state.SkipWithError("corpus folder missing");
        return;
    }
    const ZXing::DecodeHints hints = MicroQrHints();
    for (auto _ : state) {
        std::vector<double> ms;
        const testkit::FolderResult r = testkit::RunBlackboxFolder(MicroQrCorpus(), [&](const testkit::Frame &f) {
            const ZXing::ImageView view(f.pixels.data(), f.width, f.height, ZXing::ImageFormat::Lum);
            const auto t0 = std::chrono::steady_clock::now();
            const ZXing::Result z = ZXing::ReadBarcode(view, hints);
            testkit::DecodeResult d;
            d.decodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            ms.push_back(d.decodeMs);
            d.decoded = z.isValid();
            if (d.decoded) {
                d.codeId = 0x103;
                d.text = z.text();
                d.aim = z.symbologyIdentifier();
            }
            return d;
        });
        Report(state, r, ms);
    }
}
BENCHMARK(BM_MqrCorpusZxing)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
