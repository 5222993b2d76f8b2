// The edge-tracking L-corner finder per frame (752 x 480 and 1280 x 960: flat, noise, a
// text-like texture, one and four Data Matrix symbols) and the row edge list per row.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/edge_tracking.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

enum CornerScene { kCornerFlat = 0, kCornerNoise = 1, kCornerText = 2, kCornerOneDm = 3, kCornerFourDm = 4 };

std::vector<uint8_t> CornerFrame(CornerScene scene, int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h, 128);
    std::mt19937 rng(9);
    if (scene == kCornerNoise) {
        std::normal_distribution<double> d(128, 6);
        for (uint8_t &p : px) p = static_cast<uint8_t>(d(rng));
    } else if (scene == kCornerText) {
        // Rows of short dark strokes on light paper, like printed text.
        for (uint8_t &p : px) p = 220;
        for (int line = 20; line + 14 < h; line += 24)
            for (int x = 10; x + 3 < w; x += 3 + static_cast<int>(rng() % 5))
                if (rng() % 3 != 0)
                    for (int y = line; y < line + 8 + static_cast<int>(rng() % 6); ++y)
                        for (int k = 0; k < 2; ++k) px[static_cast<size_t>(y) * w + x + k] = 40;
    } else if (scene == kCornerOneDm || scene == kCornerFourDm) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_DATAMATRIX;
        in.data = "EDGE TRACKING 0123456789";
        const testkit::Symbol s = testkit::Encode(in);
        const int count = scene == kCornerOneDm ? 1 : 4;
        for (int k = 0; k < count; ++k) {
            testkit::RenderOptions o;
            o.width = w;
            o.height = h;
            o.moduleSize = 5;
            o.angleDeg = 10.0 * k;
            o.quietZone = 4;
            o.blurSigma = 0.6;
            o.noiseSigma = 2;
            if (count > 1) o.center = testkit::Point{w * (k % 2 == 0 ? 0.27 : 0.73), h * (k < 2 ? 0.27 : 0.73)};
            const testkit::Rendered r = testkit::Render(s, o);
            // Paste the symbol's neighbourhood only, so the four renders share one frame.
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool mine = count == 1 || ((x < w / 2) == (k % 2 == 0) && (y < h / 2) == (k < 2));
                    if (mine) px[static_cast<size_t>(y) * w + x] = r.frame.pixels[static_cast<size_t>(y) * w + x];
                }
        }
    }
    return px;
}

void BM_EdgeTrackingCorners(benchmark::State &state) {
    const int w = state.range(1) == 0 ? 752 : 1280, h = state.range(1) == 0 ? 480 : 960;
    std::vector<uint8_t> frame = CornerFrame(static_cast<CornerScene>(state.range(0)), w, h);
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    std::array<vexo::CORNER_CANDIDATE, 16> out{};
    int n = 0;
    for (auto _ : state) {
        n = vexo::Loc_FindLCorners(frame.data(), out.data(), 16, 1, 1);
        benchmark::DoNotOptimize(out);
    }
    state.counters["corners"] = n;
}
BENCHMARK(BM_EdgeTrackingCorners)
    ->ArgsProduct({{kCornerFlat, kCornerNoise, kCornerText, kCornerOneDm, kCornerFourDm}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_EdgeTrackingRowRisingEdges(benchmark::State &state) {
    std::vector<uint8_t> frame = CornerFrame(kCornerText, 752, 480);
    int pos[50];
    int width = 0, n = 0;
    for (auto _ : state) {
        n = vexo::Loc_RowRisingEdges(frame.data() + 752 * 30, 752, pos, 50, &width);
        benchmark::DoNotOptimize(pos);
    }
    state.counters["edges"] = n;
}
BENCHMARK(BM_EdgeTrackingRowRisingEdges)->Unit(benchmark::kNanosecond);

}  // namespace
