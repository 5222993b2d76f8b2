// Code 39, Code 93, Interleaved 2 of 5 and Codabar from camera frames: whole decodes through
// the exported interface per 752 x 480 frame with the symbology's group alone enabled (each
// symbol at 3 px a module turned by 10 degrees with a little blur and noise, and an empty
// frame), each beside zxing-cpp on the same frames when built with it; and the corpus folders
// of the four, both readers in one run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_corpus.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

struct TwoWidthBenchSymbol {
    const char *label;
    int symbology;  // libzint's
    const char *data;
    uint32_t group;  // this decoder's property group
    const char *zxingFormat;
    uint32_t codeId;
};

const TwoWidthBenchSymbol kTwoWidthBench[] = {
    {"Code 39", BARCODE_CODE39, "CODE-39 A1", 0x11400, "Code39", 13},
    {"Code 93", BARCODE_CODE93, "CODE93-Ab", 0x11600, "Code93", 14},
    {"Interleaved 14 digits", BARCODE_C25INTER, "09501101530003", 0x10A00, "ITF", 17},
    {"Codabar", BARCODE_CODABAR, "A37859B", 0x11500, "Codabar", 16},
};

// Arg 0: the symbol of the table; arg 1: 1 for an empty frame instead.
testkit::Frame TwoWidthBenchFrame(int which, bool empty) {
    if (empty) {
        testkit::Frame f(752, 480, 0);
        uint32_t x = 77;
        for (uint8_t &p : f.pixels) {
            x = x * 1103515245u + 12345u;
            p = static_cast<uint8_t>(178 + (x >> 16) % 5);
        }
        return f;
    }
    testkit::SymbolInput in;
    in.symbology = kTwoWidthBench[which].symbology;
    in.data = kTwoWidthBench[which].data;
    in.height = 40;
    return testkit::Render(testkit::Encode(in),
                           {.width = 752, .moduleSize = 3, .angleDeg = 10, .blurSigma = 0.6, .noiseSigma = 1, .seed = 7})
        .frame;
}

std::string TwoWidthBenchLabel(int which, bool empty) {
    return std::string(kTwoWidthBench[which].label) + (empty ? ", empty frame" : " 3px");
}

void BM_TwoWidthFrameThis(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const bool empty = state.range(1) != 0;
    const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(kTwoWidthBench[which].group);
    const testkit::Frame f = TwoWidthBenchFrame(which, empty);
    if (!empty && !testkit::RunFrame(api, f, false).decoded) state.SkipWithError("the frame does not read");
    bench_corpus::TimeFrameReads(state, f, [&api](const testkit::Frame &g) { return testkit::RunFrame(api, g, false); },
                                 TwoWidthBenchLabel(which, empty).c_str());
}
BENCHMARK(BM_TwoWidthFrameThis)->Name("BM_TwoWidthFrame/this")->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_TwoWidthFrameZxing(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const bool empty = state.range(1) != 0;
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString(kTwoWidthBench[which].zxingFormat);
    const uint32_t codeId = kTwoWidthBench[which].codeId;
    bench_corpus::TimeFrameReads(state, TwoWidthBenchFrame(which, empty),
                                 [format, codeId](const testkit::Frame &f) { return bench_corpus::ZxingRead(f, format, codeId); },
                                 TwoWidthBenchLabel(which, empty).c_str());
}
BENCHMARK(BM_TwoWidthFrameZxing)->Name("BM_TwoWidthFrame/zxing")->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
#endif

// ---- The corpus folders, this decoder (the symbology's group alone) beside zxing-cpp.

// The group alone, with the Interleaved forms (ITF-6, ITF-14) beside Interleaved's group.
bench_corpus::Reader TwoWidthGroupReader(uint32_t group) {
    const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(group);
    if (group == 0x10A00)
        for (uint32_t form : {0x10B00u, 0x10C00u}) api.set(form, 0x10001);
    return [api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); };
}

[[maybe_unused]] const bool kTwoWidthCorpusRegistered =
    bench_corpus::RegisterFolders("BM_TwoWidthCorpus", {"code39-1", "code39-3"}, [] { return TwoWidthGroupReader(0x11400); },
                                  "Code39", 13) &&
    bench_corpus::RegisterFolders("BM_TwoWidthCorpus", {"code93-1"}, [] { return TwoWidthGroupReader(0x11600); }, "Code93",
                                  14) &&
    bench_corpus::RegisterFolders("BM_TwoWidthCorpus", {"itf-1"}, [] { return TwoWidthGroupReader(0x10A00); }, "ITF", 17) &&
    bench_corpus::RegisterFolders("BM_TwoWidthCorpus", {"codabar-1"}, [] { return TwoWidthGroupReader(0x11500); },
                                  "Codabar", 16);

#ifdef VEXO_BENCH_ZXING
// The folder's texts keep Codabar's start and stop letters, which zxing-cpp drops unless asked.
void BM_TwoWidthCorpusZxingCodabarLetters(benchmark::State &state) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Codabar);
    hints.setReturnCodabarStartEnd(true);
    bench_corpus::RunFolder(state, "codabar-1", [&hints](const testkit::Frame &f) { return bench_corpus::ZxingRead(f, hints, 16); });
}
BENCHMARK(BM_TwoWidthCorpusZxingCodabarLetters)
    ->Name("BM_TwoWidthCorpus/zxing-with-letters/codabar-1")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
