// Data Matrix ECC 000-140: whole decodes through the exported interface per 752 x 480 frame
// (a 17 x 17 ECC 140 and a 49 x 49 ECC 100 symbol of the test kit's writer; the ECC 200 and
// empty-frame figures are BM_DmDecodeFrame's), and DM_DecodeMatrix per level on a 47 x 47
// mapping matrix (49 x 49 symbol), clean and with errors enough to run the sequential
// decoder to its iteration limit (the worst case of one candidate).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc000.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/test_hooks_dm.h"
#include "bench_dm.h"
#include "support/dm_ecc000_writer.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;

constexpr int kEcc000BenchSide = 47;

std::vector<uint8_t> Ecc000BenchMatrix(int level, bool damaged) {
    const int cap = testkit::Ecc000Capacity(level, 4, kEcc000BenchSide);
    std::string text;
    for (int i = 0; i < cap; ++i) text.push_back(static_cast<char>('!' + i % 90));
    const std::vector<uint8_t> clean = testkit::Ecc000DataArea(level, 4, text, kEcc000BenchSide);
    std::vector<uint8_t> m = clean;
    if (damaged) {
        // One module in six flipped: far beyond what the code corrects.
        std::mt19937 rng(69);
        for (auto &b : m) {
            if (rng() % 6 == 0) b ^= 1;
        }
        // Keep the header so that the level's decoder runs.
        const testkit::Ecc000Grids &data = testkit::Ecc000Data();
        const std::vector<int> &grid = data.grid[(kEcc000BenchSide - 7) / 2];
        for (size_t i = 0; i < m.size(); ++i) {
            if (grid[i] < 19) m[i] = clean[i];
        }
    }
    return m;
}

void BM_DmEcc000DecodeMatrix(benchmark::State &state) {
    const int level = static_cast<int>(state.range(0));
    const bool damaged = state.range(1) != 0;
    Test_ResetDmStatics();
    Pix_SetSecondBuffer(g_internalImage);
    const std::vector<uint8_t> m = Ecc000BenchMatrix(level, damaged);
    if (m.empty()) {
        state.SkipWithError("no symbol");
        return;
    }
    std::vector<uint8_t> work(m.size());
    for (auto _ : state) {
        std::memcpy(work.data(), m.data(), work.size());
        g_dmResult.length = 0;
        const i32 rc = DM_DecodeMatrix(work.data(), kEcc000BenchSide, kEcc000BenchSide);
        if ((rc == 0) == damaged) {
            state.SkipWithError("unexpected decode result");
            break;
        }
        benchmark::DoNotOptimize(g_dmResult.text);
    }
    // The search steps of the last sequential decoding (the iteration limit when damaged).
    if (level > 0) state.counters["steps"] = g_dmSeqSteps;
}
BENCHMARK(BM_DmEcc000DecodeMatrix)
    ->ArgNames({"level", "damaged"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The frames by argument: level 4 at 15 x 15 data modules, level 3 at 47 x 47; a little
// turn and tilt, blur 0.8 px, noise 1, as the ECC 200 frames.
testkit::Frame Ecc000BenchFrame(int level) {
    const int n = level == 4 ? 15 : 47;
    const std::string text = std::string("ECC 000-140 BENCH FRAME 0123456789")
                                 .substr(0, static_cast<size_t>(testkit::Ecc000Capacity(level, 2, n)));
    const std::vector<uint8_t> modules = testkit::Ecc000SymbolModules(level, 2, text, n);
    testkit::RenderOptions o;
    o.moduleSize = level == 4 ? 6 : 4;
    o.angleDeg = 10;
    o.keystone = 0.04;
    o.blurSigma = 0.8;
    o.noiseSigma = 1;
    o.quietZone = 2;
    return testkit::Render(testkit::FromModules(n + 2, n + 2, modules), o).frame;
}

void BM_DmEcc000DecodeFrame(benchmark::State &state) {
    const int level = static_cast<int>(state.range(0));
    const testkit::Frame f = Ecc000BenchFrame(level);
    if (f.pixels.empty()) {
        state.SkipWithError("no frame");
        return;
    }
    benchdm::DecodeFrames(state, f, level == 4 ? "17x17 ECC 140" : "49x49 ECC 100");
}
BENCHMARK(BM_DmEcc000DecodeFrame)->Arg(4)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
