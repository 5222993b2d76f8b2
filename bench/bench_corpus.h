// Corpus folders (and fixed sets of rendered frames) read by this decoder and by zxing-cpp
// side by side: read rate and median decode time of each reader, one benchmark per folder
// and reader, in one run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/blackbox.h"
#include "support/decoder_api.h"
#include "support/testkit.h"

#ifdef VEXO_BENCH_ZXING
#define ZX_USE_UTF8 1
#include <ZXing/BarcodeFormat.h>
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <ZXing/Result.h>
#endif

#ifndef VEXO_CORPUS_DIR
#define VEXO_CORPUS_DIR "../shared/corpus"
#endif

namespace bench_corpus {

// The corpus beside the source tree, or where STACK_CORPUS_DIR says (a worktree elsewhere).
inline std::filesystem::path CorpusDir() {
    const char *env = std::getenv("STACK_CORPUS_DIR");
    return env != nullptr && env[0] != '\0' ? std::filesystem::path(env) : std::filesystem::path(VEXO_CORPUS_DIR);
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

using Reader = std::function<testkit::DecodeResult(const testkit::Frame &)>;

// Times one frame read over and over; the counter "read" is the share of reads that decoded.
inline void TimeFrameReads(benchmark::State &state, const testkit::Frame &f, const Reader &read, const char *label) {
    int64_t reads = 0;
    for (auto _ : state) {
        const testkit::DecodeResult d = read(f);
        reads += d.decoded ? 1 : 0;
        benchmark::DoNotOptimize(d.text.data());
    }
    state.counters["read"] = benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
    state.SetLabel(label);
}

// The linked decoder with one symbology group switched on and every other off.
inline testkit::DecoderApi OnlyGroupDecoder(uint32_t group) {
    testkit::InitDecoder();
    testkit::DecoderApi a = testkit::LinkedDecoder();
    for (uint32_t g : testkit::SymbologyGroups()) a.set(g, 0x10000);
    a.set(group, 0x10001);
    return a;
}

// One pass over a folder: images, passes, read rate and the median decode time.
inline void RunFolder(benchmark::State &state, const char *folder, const Reader &read) {
    const std::filesystem::path dir = CorpusDir() / folder;
    if (!std::filesystem::is_directory(dir)) {
        state.SkipWithError("corpus folder missing");
        return;
    }
    for (auto _ : state) {
        std::vector<double> ms;
        const testkit::FolderResult r = testkit::RunBlackboxFolder(dir, [&](const testkit::Frame &f) {
            testkit::DecodeResult d = read(f);
            ms.push_back(d.decodeMs);
            return d;
        }, testkit::CorpusRules());
        state.counters["images"] = r.expected;
        state.counters["passed"] = r.passed;
        state.counters["other_text"] = r.reads - r.passed;  // reads that are not the expected text
        state.counters["read_rate_pct"] = r.expected > 0 ? 100.0 * r.passed / r.expected : 0;
        state.counters["median_ms"] = Median(ms);
    }
}

// One pass over a fixed set of frames: frames, reads (any result), read rate and the median
// decode time.
inline void RunFrameSet(benchmark::State &state, const std::vector<testkit::Frame> &frames, const Reader &read) {
    for (auto _ : state) {
        std::vector<double> ms;
        int reads = 0;
        for (const testkit::Frame &f : frames) {
            const testkit::DecodeResult d = read(f);
            reads += d.decoded ? 1 : 0;
            ms.push_back(d.decodeMs);
        }
        state.counters["frames"] = static_cast<double>(frames.size());
        state.counters["read"] = reads;
        state.counters["read_rate_pct"] = frames.empty() ? 0 : 100.0 * reads / static_cast<double>(frames.size());
        state.counters["median_ms"] = Median(ms);
    }
}

#ifdef VEXO_BENCH_ZXING
// zxing-cpp on one frame with these hints (or only the format), timed like a decode of this
// decoder; codeId names its success; *result (when given) receives zxing-cpp's own result.
inline testkit::DecodeResult ZxingRead(const testkit::Frame &f, const ZXing::DecodeHints &hints, uint32_t codeId,
                                       ZXing::Result *result = nullptr) {
    const ZXing::ImageView view(f.pixels.data(), f.width, f.height, ZXing::ImageFormat::Lum);
    const auto t0 = std::chrono::steady_clock::now();
    const ZXing::Result z = ZXing::ReadBarcode(view, hints);
    testkit::DecodeResult d;
    d.decodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    d.decoded = z.isValid();
    if (d.decoded) {
        d.codeId = codeId;
        d.text = z.text();
        d.aim = z.symbologyIdentifier();
    }
    if (result != nullptr) *result = z;
    return d;
}
// tryHarder off: its single fast pass only.
inline testkit::DecodeResult ZxingRead(const testkit::Frame &f, ZXing::BarcodeFormat format, uint32_t codeId,
                                       bool tryHarder = true) {
    ZXing::DecodeHints hints;
    hints.setFormats(format);
    hints.setTryHarder(tryHarder);
    return ZxingRead(f, hints, codeId);
}
#endif

// "<name>/this/<folder>" with this decoder's reader, and beside it "<name>/zxing/<folder>"
// (zxingFormat: zxing-cpp's name of the format, "QRCode"; codeId: this decoder's id of it).
inline bool RegisterFolders(const std::string &name, const std::vector<const char *> &folders,
                            const std::function<Reader()> &thisReader, [[maybe_unused]] const char *zxingFormat,
                            [[maybe_unused]] uint32_t codeId) {
    for (const char *folder : folders) {
        benchmark::RegisterBenchmark((name + "/this/" + folder).c_str(),
                                     [=](benchmark::State &s) {
                                         const Reader reader = thisReader();
                                         // The options the folder's expected texts assume.
                                         testkit::ApplyFolderSettings(testkit::LinkedDecoder(), folder);
                                         RunFolder(s, folder, reader);
                                     })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
#ifdef VEXO_BENCH_ZXING
        const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString(zxingFormat);
        benchmark::RegisterBenchmark((name + "/zxing/" + folder).c_str(), [=](benchmark::State &s) {
            RunFolder(s, folder, [=](const testkit::Frame &f) { return ZxingRead(f, format, codeId); });
        })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
#endif
    }
    return true;
}

// "<name>/this" and beside it "<name>/zxing" over the same frames (made once, on first use).
inline bool RegisterFrameSet(const std::string &name, const std::function<const std::vector<testkit::Frame> &()> &frames,
                             const std::function<Reader()> &thisReader, [[maybe_unused]] const char *zxingFormat,
                             [[maybe_unused]] uint32_t codeId) {
    benchmark::RegisterBenchmark((name + "/this").c_str(), [=](benchmark::State &s) { RunFrameSet(s, frames(), thisReader()); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
#ifdef VEXO_BENCH_ZXING
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString(zxingFormat);
    benchmark::RegisterBenchmark((name + "/zxing").c_str(), [=](benchmark::State &s) {
        RunFrameSet(s, frames(), [=](const testkit::Frame &f) { return ZxingRead(f, format, codeId); });
    })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
#endif
    return true;
}

}  // namespace bench_corpus
