// Han Xin data layer: CSCN_DecodeMatrix on libzint matrices of versions 1, 22 and 84 at mask
// 3 and level 3, with mask and level given, and unknown (the right pair is the last of the
// sixteen the search tries).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "hanxin/cscn_data.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

void RunDecode(benchmark::State &state, int version, bool given) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_HANXIN;
    in.data = std::string(static_cast<size_t>(CSCN_DataCodewords(version, 3) * 3 / 2), '7');
    in.option1 = 4;
    in.option2 = version;
    in.option3 = 4 << 8;
    const testkit::Symbol s = testkit::Encode(in);
    if (!s.ok) {
        state.SkipWithError("libzint refused the symbol");
        return;
    }
    Pix_SetSecondBuffer(g_internalImage);
    std::vector<char> text(kCscnTextCapacity + 1);
    for (auto _ : state) {
        CSCN_MATRIX_REQUEST req{};
        req.version = version;
        req.size = s.rows;
        req.mask = given ? 3 : 9;
        req.level = given ? 3 : 9;
        req.matrix = s.modules.data();
        req.text = text.data();
        if (CSCN_DecodeMatrix(&req) != 1) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(req.textLength);
    }
}

void BM_HanXinMatrixGiven(benchmark::State &state) { RunDecode(state, static_cast<int>(state.range(0)), true); }
void BM_HanXinMatrixSearched(benchmark::State &state) { RunDecode(state, static_cast<int>(state.range(0)), false); }

BENCHMARK(BM_HanXinMatrixGiven)->Arg(1)->Arg(22)->Arg(84)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HanXinMatrixSearched)->Arg(1)->Arg(22)->Arg(84)->Unit(benchmark::kMicrosecond);

}  // namespace
