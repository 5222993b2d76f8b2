// QR data layer: a whole Model 2 matrix decode (format readings, unmasking, codeword walk,
// block correction, segments) for versions 1, 10 and 40; the worst case of the search (no
// format reading accepted, no combination passing: 64 trials in two orientations); and the
// segment decoder alone on a full version-40 numeric stream.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qr/qr_codewords.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/test_hooks_qr.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct Prepared {
    int n = 0;
    std::vector<uint8_t> modules;
    std::vector<uint8_t> map;
};

Prepared MakeMatrix(int version, int level, size_t length, uint32_t seed) {
    std::mt19937 rng(seed);
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.inputMode = DATA_MODE;
    in.option1 = level + 1;
    in.option2 = version;
    for (size_t i = 0; i < length; ++i) in.data.push_back(static_cast<char>(rng() & 0xFF));
    const testkit::Symbol s = testkit::Encode(in);
    Prepared p;
    p.n = s.rows;
    p.modules = s.modules;
    p.map.assign(p.modules.size(), 0);
    QR_BuildFunctionMap(p.map.data(), p.n);
    return p;
}

void RunDecode(benchmark::State &state, const Prepared &p, int expectRc) {
    std::vector<uint8_t> work(p.modules.size());
    std::vector<uint8_t> map(p.map);
    std::vector<uint8_t> out(kQrTextCapacity);
    Test_ResetQrDataStatics();
    g_qrSymbol.kind = kQrKindModel2;
    for (auto _ : state) {
        std::memcpy(work.data(), p.modules.data(), work.size());
        const int rc = QR_DecodeModel2(work.data(), map.data(), p.n, out.data(), kQrTextCapacity);
        if (rc != expectRc) {
            state.SkipWithError("unexpected decode result");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_QrDecodeModel2(benchmark::State &state) {
    const int version = static_cast<int>(state.range(0));
    // Level M, half full.
    const size_t length = version == 1 ? 7 : version == 10 ? 100 : 1100;
    const Prepared p = MakeMatrix(version, 1, length, static_cast<uint32_t>(version));
    RunDecode(state, p, 0);
}
BENCHMARK(BM_QrDecodeModel2)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);

// A version-40 matrix of random modules: every format reading fails or misleads and all 64
// level and mask combinations are tried in both orientations.
void BM_QrDecodeModel2SearchWorstCase(benchmark::State &state) {
    Prepared p;
    p.n = 177;
    std::mt19937 rng(40);
    p.modules.resize(177 * 177);
    for (auto &m : p.modules) m = static_cast<uint8_t>(rng() & 1);
    p.map.assign(p.modules.size(), 0);
    QR_BuildFunctionMap(p.map.data(), p.n);
    RunDecode(state, p, -1);
}
BENCHMARK(BM_QrDecodeModel2SearchWorstCase)->Unit(benchmark::kMillisecond);

// Segments alone: the 2,956 data codewords of version 40-L as one numeric segment.
void BM_QrDecodeSegmentsNumeric40(benchmark::State &state) {
    std::vector<uint8_t> stream(2956, 0);
    // Mode 0001, 14-bit count 7089, then 2,363 groups of "123".
    std::vector<int> bits;
    const auto put = [&bits](int v, int w) {
        for (int i = w - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
    };
    put(1, 4);
    put(7089, 14);
    for (int g = 0; g < 7089 / 3; ++g) put(123, 10);
    for (size_t i = 0; i < bits.size() && i / 8 < stream.size(); ++i) stream[i / 8] |= static_cast<uint8_t>(bits[i] << (7 - i % 8));
    std::vector<uint8_t> out(kQrTextCapacity);
    Test_ResetQrDataStatics();
    for (auto _ : state) {
        if (QR_DecodeSegments(stream.data(), 2956, 39, out.data(), kQrTextCapacity) != 0 || g_qrData.length != 7089) {
            state.SkipWithError("unexpected segment result");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_QrDecodeSegmentsNumeric40)->Unit(benchmark::kMicrosecond);

}  // namespace
