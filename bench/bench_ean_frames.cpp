// EAN/UPC from camera frames: whole decodes through the exported interface per 752 x 480
// frame (an EAN-13 at 3 and 2 px a module turned 10 degrees with a little blur, one with a
// 5-digit add-on, and an empty frame; the EAN-13 group alone enabled, add-ons admitted),
// each beside zxing-cpp on the same frames; and the ten EAN/UPC corpus folders: read rate
// and median decode time of both readers. This decoder reads the folders as the blackbox
// runner does (every symbology on, then the folder's settings); zxing-cpp reads EAN-13,
// UPC-A, EAN-8 and UPC-E, with add-ons in the extension folders, and its texts are brought
// to the corpus's forms (UPC-A with its leading 0, UPC-E expanded to 13 digits, the add-on
// joined without a space).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_corpus.h"
#include "support/blackbox.h"
#include "support/decoder_api.h"
#include "support/render.h"
#include "support/symbol.h"
#include "support/testkit.h"

namespace {

constexpr uint32_t kEanBenchEan13Group = 0x10500;

// The exported interface with the EAN-13 group alone enabled, both add-on lengths admitted.
const testkit::DecoderApi &Ean13OnlyDecoder() {
    static const testkit::DecoderApi api = [] {
        testkit::DecoderApi a = bench_corpus::OnlyGroupDecoder(kEanBenchEan13Group);
        a.set(kEanBenchEan13Group + 2, VEXO_ON);
        a.set(kEanBenchEan13Group + 3, VEXO_ON);
        return a;
    }();
    return api;
}

// Arg: 0 empty; 1 EAN-13 at 3 px; 2 at 2 px; 3 with a 5-digit add-on at 3 px.
testkit::Frame EanBenchFrame(int which) {
    if (which == 0) {
        testkit::Frame f(752, 480, 180);
        uint32_t x = 99;
        for (uint8_t &p : f.pixels) {
            x = x * 1103515245u + 12345u;
            p = static_cast<uint8_t>(178 + (x >> 16) % 5);
        }
        return f;
    }
    testkit::SymbolInput in;
    in.symbology = BARCODE_EANX;
    in.data = which == 3 ? "590123412345+52495" : "590123412345";
    in.height = 50;
    testkit::RenderOptions o;
    o.width = 752;
    o.moduleSize = which == 2 ? 2 : 3;
    o.angleDeg = 10;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    o.seed = 7;
    return testkit::Render(testkit::Encode(in), o).frame;
}

const char *EanBenchLabel(int which) {
    static const char *const kLabels[] = {"empty 752x480", "EAN-13 3px", "EAN-13 2px", "EAN-13+5 3px"};
    return kLabels[which];
}

void BM_EanDecodeFrameThis(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const testkit::DecoderApi &api = Ean13OnlyDecoder();
    bench_corpus::TimeFrameReads(
        state, EanBenchFrame(which), [&api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); },
        EanBenchLabel(which));
}
BENCHMARK(BM_EanDecodeFrameThis)->Name("BM_EanDecodeFrame/this")->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

#ifdef VEXO_BENCH_ZXING
// UPC-E's eight digits (number system, six, check) as the 12 of its UPC-A form; empty when
// the text is not a UPC-E.
std::string EanBenchExpandUpce(const std::string &e) {
    if (e.size() != 8) return "";
    // Positions within the six digits (d1 is 1) and '0's, by the last digit.
    const char *form = nullptr;
    switch (e[6]) {
        case '0': case '1': case '2': form = "1260000345"; break;
        case '3': form = "1230000045"; break;
        case '4': form = "1234000005"; break;
        default: form = "1234500006"; break;
    }
    std::string out(1, e[0]);
    for (const char *p = form; *p != '\0'; ++p) out.push_back(*p == '0' ? '0' : e[static_cast<size_t>(*p - '0')]);
    out.push_back(e[7]);
    return out;
}

// zxing-cpp on one frame with the EAN/UPC formats, timed like a decode of this decoder.
testkit::DecodeResult EanBenchZxingRead(const testkit::Frame &f, bool addOns) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::UPCA | ZXing::BarcodeFormat::EAN8 |
                     ZXing::BarcodeFormat::UPCE);
    hints.setEanAddOnSymbol(addOns ? ZXing::EanAddOnSymbol::Read : ZXing::EanAddOnSymbol::Ignore);
    ZXing::Result z;
    testkit::DecodeResult d = bench_corpus::ZxingRead(f, hints, 8, &z);
    if (!d.decoded) return d;
    // With an add-on read, zxing-cpp writes it after a space.
    std::string text = d.text;
    std::string addOn;
    if (const size_t space = text.find(' '); space != std::string::npos) {
        addOn = text.substr(space + 1);
        text.erase(space);
    }
    switch (z.format()) {
        case ZXing::BarcodeFormat::UPCA: d.codeId = 10; text.insert(0, 1, '0'); break;
        case ZXing::BarcodeFormat::UPCE:
            d.codeId = 9;
            text = EanBenchExpandUpce(text);
            text.insert(0, 1, '0');
            break;
        case ZXing::BarcodeFormat::EAN8: d.codeId = 7; break;
        default: break;
    }
    d.text = text + addOn;
    return d;
}

void BM_EanDecodeFrameZxing(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    bench_corpus::TimeFrameReads(
        state, EanBenchFrame(which), [which](const testkit::Frame &f) { return EanBenchZxingRead(f, which == 3); },
        EanBenchLabel(which));
}
BENCHMARK(BM_EanDecodeFrameZxing)->Name("BM_EanDecodeFrame/zxing")->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
#endif

// ---- The EAN/UPC corpus folders, this decoder beside zxing-cpp.

bool RegisterEanFolders() {
    static const char *const kFolders[] = {"ean13-1", "ean13-3", "ean13-extension-1", "ean8-1", "upca-1",
                                           "upca-3",  "upca-5",  "upca-extension-1",  "upce-1", "upce-3"};
    for (const char *folder : kFolders) {
        benchmark::RegisterBenchmark((std::string("BM_EanCorpus/this/") + folder).c_str(), [folder](benchmark::State &s) {
            testkit::InitDecoder();
            const testkit::DecoderApi api = testkit::LinkedDecoder();
            testkit::EnableAllSymbologies(api);
            if (testkit::ApplyFolderSettings(api, folder) != 0) {
                s.SkipWithError("a folder setting was refused");
                return;
            }
            bench_corpus::RunFolder(s, folder, [api](const testkit::Frame &f) { return testkit::RunFrame(api, f, false); });
        })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
#ifdef VEXO_BENCH_ZXING
        const bool addOns = std::string(folder).find("extension") != std::string::npos;
        benchmark::RegisterBenchmark((std::string("BM_EanCorpus/zxing/") + folder).c_str(), [=](benchmark::State &s) {
            bench_corpus::RunFolder(s, folder, [addOns](const testkit::Frame &f) { return EanBenchZxingRead(f, addOns); });
        })
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
#endif
    }
    return true;
}
[[maybe_unused]] const bool kEanCorpusRegistered = RegisterEanFolders();

}  // namespace
