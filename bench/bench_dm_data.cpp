// Data Matrix data layer: DM_DecodeMatrix on mapping matrices of 10 x 10, 52 x 52 and
// 144 x 144 symbols, clean and in the worst case: a mirrored symbol (every block fails, the
// matrix is mirrored and read again) and, for 144 x 144, the uniform dealing (every block
// fails the standard's dealing first), mirrored as well (four rounds of ten blocks).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/test_hooks_dm.h"
#include "decoder/datamatrix/dm_writer.h"

namespace {

using namespace vexo;

struct Matrix {
    int sizeIndex = 0;
    std::vector<uint8_t> modules;
};

void Prepare() {
    Test_ResetDmStatics();
    Pix_SetSecondBuffer(g_internalImage);
}

// A symbol of the size filled with ASCII text, in the standard's or the uniform dealing,
// reflected about the anti-diagonal when mirrored (how a mirrored print is sampled).
Matrix Make(int sizeIndex, bool uniform, bool mirrored) {
    Prepare();
    std::mt19937 rng(static_cast<uint32_t>(sizeIndex));
    const int n = dmtest::Row(sizeIndex).dataCodewords;
    std::string text;
    for (int i = 0; i < n - 1; ++i) text.push_back(static_cast<char>(' ' + rng() % 95));
    Matrix m{sizeIndex, dmtest::SymbolMatrix(sizeIndex, dmtest::AsciiData(text, n), uniform)};
    if (mirrored) DM_MirrorMatrix(m.modules.data(), dmtest::Row(sizeIndex).mappingRows, dmtest::Row(sizeIndex).mappingCols);
    return m;
}

void RunDecode(benchmark::State &state, int sizeIndex, bool uniform, bool mirrored) {
    const Matrix m = Make(sizeIndex, uniform, mirrored);
    std::vector<uint8_t> work(m.modules.size());
    const int rows = dmtest::Row(sizeIndex).mappingRows, cols = dmtest::Row(sizeIndex).mappingCols;
    Prepare();
    for (auto _ : state) {
        std::memcpy(work.data(), m.modules.data(), work.size());
        g_dmData.mirrorFirst = 0;  // every run takes the same path
        g_dmResult.length = 0;
        if (DM_DecodeMatrix(work.data(), rows, cols) != 0) {
            state.SkipWithError("unexpected decode result");
            break;
        }
        benchmark::DoNotOptimize(g_dmResult.text);
    }
}

constexpr int k10 = 0, k52 = 14, k144 = kDmSize144;

void BM_DmMatrix10(benchmark::State &s) { RunDecode(s, k10, false, false); }
void BM_DmMatrix10Mirrored(benchmark::State &s) { RunDecode(s, k10, false, true); }
void BM_DmMatrix52(benchmark::State &s) { RunDecode(s, k52, false, false); }
void BM_DmMatrix52Mirrored(benchmark::State &s) { RunDecode(s, k52, false, true); }
void BM_DmMatrix144(benchmark::State &s) { RunDecode(s, k144, false, false); }
void BM_DmMatrix144Uniform(benchmark::State &s) { RunDecode(s, k144, true, false); }
void BM_DmMatrix144UniformMirrored(benchmark::State &s) { RunDecode(s, k144, true, true); }

}  // namespace

BENCHMARK(BM_DmMatrix10);
BENCHMARK(BM_DmMatrix10Mirrored);
BENCHMARK(BM_DmMatrix52);
BENCHMARK(BM_DmMatrix52Mirrored);
BENCHMARK(BM_DmMatrix144);
BENCHMARK(BM_DmMatrix144Uniform);
BENCHMARK(BM_DmMatrix144UniformMirrored);
