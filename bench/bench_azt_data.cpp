// Aztec data layer: Azt_DecodeGrid on libzint matrices of 15 x 15 (17 six-bit codewords)
// and 151 x 151 (1,664 twelve-bit codewords), clean and with the most correctable codeword
// errors, floor((check - 1) / 2), each a flipped module of its codeword.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_data.h"
#include "core/arena.h"
#include "decoder/aztec_maxicode/azt_test_util.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

struct Grid {
    int size = 0;
    std::vector<uint8_t> modules;
    std::string text;
};

Grid Make(int zintSize, const std::string &text, bool damaged) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_AZTEC;
    in.data = text;
    in.option2 = zintSize;
    const testkit::Symbol s = testkit::Encode(in);
    Grid g{s.rows, s.modules, text};
    if (!s.ok || !damaged) return g;
    Mem_ResetArena();
    std::vector<uint8_t> work(kAztGridBytes);
    std::memcpy(work.data(), s.modules.data(), s.modules.size());
    AZT_BITSTREAM grid{work.data(), static_cast<i32>(s.modules.size()), s.rows};
    AZT_MODE mode{};
    std::vector<i32> words(kAztMaxCodewords);
    mode.codewords = words.data();
    if (Azt_ExtractLayerBits(&grid, &mode) == 0 || Azt_PackCodewords(&grid, &mode) == 0) return Grid{};
    const std::vector<int> positions = azttest::StreamPositions(s.rows, mode.full != 0, mode.layers);
    // Every other codeword from the first, so that data and check words both suffer.
    for (int e = 0; e < (mode.checkCodewords - 1) / 2; ++e) {
        azttest::DamageCodeword(g.modules, positions, mode.codewordBits, (2 * e) % mode.totalCodewords);
    }
    return g;
}

void RunDecode(benchmark::State &state, int zintSize, const std::string &text, bool damaged) {
    const Grid g = Make(zintSize, text, damaged);
    std::vector<uint8_t> work(kAztGridBytes);
    std::vector<uint8_t> out(kAztMaxTextBytes);
    Mem_ResetArena();
    for (auto _ : state) {
        std::memcpy(work.data(), g.modules.data(), g.modules.size());
        AZT_BITSTREAM grid{work.data(), g.size * g.size, g.size};
        AZT_TEXT_OUT text_out{out.data(), 0};
        if (g.size == 0 || Azt_DecodeGrid(&grid, &text_out) != 0 ||
            std::string(reinterpret_cast<const char *>(out.data()), static_cast<size_t>(text_out.length)) != g.text) {
            state.SkipWithError("unexpected decode result");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

const std::string kSmall = "Hi 12";
const std::string kLarge = "Thirty-two layers, most codewords check words.";

void BM_AztGrid15(benchmark::State &s) { RunDecode(s, 1, kSmall, false); }
void BM_AztGrid15MaxErrors(benchmark::State &s) { RunDecode(s, 1, kSmall, true); }
void BM_AztGrid151(benchmark::State &s) { RunDecode(s, 36, kLarge, false); }
void BM_AztGrid151MaxErrors(benchmark::State &s) { RunDecode(s, 36, kLarge, true); }

}  // namespace

BENCHMARK(BM_AztGrid15);
BENCHMARK(BM_AztGrid15MaxErrors);
BENCHMARK(BM_AztGrid151);
BENCHMARK(BM_AztGrid151MaxErrors)->Unit(benchmark::kMillisecond);
