// GS1 DataBar from camera frames: whole decodes through the exported interface per 752 x 480
// frame (omnidirectional, stacked omnidirectional, Limited, Expanded and Expanded stacked at
// 3 px a module turned 10 degrees with a little blur, and an empty frame) with GS1 DataBar
// alone enabled, each beside zxing-cpp on the same frames where it reads the form; and the
// DataBar corpus folders, read rate and median time, beside zxing-cpp for the forms it has
// (it has no DataBar Limited).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_corpus.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

constexpr uint32_t kDataBarGroup = 0x11A00;
constexpr uint32_t kDataBarCodeId = 43;

const testkit::DecoderApi &DataBarOnlyDecoder() {
    static const testkit::DecoderApi api = bench_corpus::OnlyGroupDecoder(kDataBarGroup);
    return api;
}

struct DbBenchForm {
    const char *label;
    int symbology;
    int option2;
    const char *data;
    const char *zxingFormat;  // nullptr: zxing-cpp has no reader of the form
};

// Arg: index; the last is the empty frame.
const DbBenchForm kDbBenchForms[] = {
    {"omnidirectional", BARCODE_DBAR_OMN, 0, "0950110153001", "DataBar"},
    {"stacked omnidirectional", BARCODE_DBAR_OMNSTK, 0, "2001234567890", "DataBar"},
    {"Limited", BARCODE_DBAR_LTD, 0, "1501234567890", nullptr},
    {"Expanded", BARCODE_DBAR_EXP, 0, "[01]98898765432106[3202]012345[15]991231", "DataBarExpanded"},
    {"Expanded stacked", BARCODE_DBAR_EXPSTK, 2, "[01]09501101530003[10]AB-12[21]77", "DataBarExpanded"},
    {"empty 752x480", 0, 0, nullptr, "DataBar"},
};
constexpr int kDbBenchEmpty = static_cast<int>(std::size(kDbBenchForms)) - 1;

testkit::Frame DbBenchFrame(int which) {
    const DbBenchForm &f = kDbBenchForms[which];
    if (f.data == nullptr) return testkit::Frame(752, 480, 180);
    testkit::SymbolInput in;
    in.symbology = f.symbology;
    in.inputMode = f.symbology == BARCODE_DBAR_EXP || f.symbology == BARCODE_DBAR_EXPSTK ? GS1_MODE : DATA_MODE;
    in.data = f.data;
    in.option2 = f.option2;
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.angleDeg = 10;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    o.seed = 7;
    return testkit::Render(testkit::Encode(in), o).frame;
}

void BM_DataBarFrameThis(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::DecoderApi &api = DataBarOnlyDecoder();
    bench_corpus::TimeFrameReads(state, DbBenchFrame(which),
                                 [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); },
                                 kDbBenchForms[which].label);
}
BENCHMARK(BM_DataBarFrameThis)->Name("BM_DataBarFrame/this")->DenseRange(0, kDbBenchEmpty)->Unit(benchmark::kMillisecond);

#ifdef VEXO_BENCH_ZXING
void BM_DataBarFrameZxing(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const ZXing::BarcodeFormat format = ZXing::BarcodeFormatFromString(kDbBenchForms[which].zxingFormat);
    bench_corpus::TimeFrameReads(
        state, DbBenchFrame(which),
        [format](const testkit::Frame &f) { return bench_corpus::ZxingRead(f, format, kDataBarCodeId); },
        kDbBenchForms[which].label);
}
// Limited (2) left out: no reader of it there.
BENCHMARK(BM_DataBarFrameZxing)->Name("BM_DataBarFrame/zxing")->Arg(0)->Arg(1)->Arg(3)->Arg(4)->Arg(kDbBenchEmpty)
    ->Unit(benchmark::kMillisecond);
#endif

// ---- The DataBar corpus folders, this decoder beside zxing-cpp.

bench_corpus::Reader DataBarOnlyReader() {
    const testkit::DecoderApi &api = DataBarOnlyDecoder();
    return [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); };
}

[[maybe_unused]] const bool kDbCorpusOmni =
    bench_corpus::RegisterFolders("BM_DataBarCorpus", {"rss14-1"}, DataBarOnlyReader, "DataBar", kDataBarCodeId);
[[maybe_unused]] const bool kDbCorpusExpanded = bench_corpus::RegisterFolders(
    "BM_DataBarCorpus", {"rssexpanded-1", "rssexpanded-3", "rssexpandedstacked-1"}, DataBarOnlyReader,
    "DataBarExpanded", kDataBarCodeId);

// DataBar Limited: this decoder alone.
[[maybe_unused]] const bool kDbCorpusLimited = [] {
    benchmark::RegisterBenchmark("BM_DataBarCorpus/this/databarltd-1", [](benchmark::State &s) {
        const bench_corpus::Reader reader = DataBarOnlyReader();
        testkit::ApplyFolderSettings(testkit::LinkedDecoder(), "databarltd-1");
        bench_corpus::RunFolder(s, "databarltd-1", reader);
    })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
