// Region selection per camera frame, and the region table's consolidation.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "core/frame_margins.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/region_select.h"
#include "locate/region_table.h"

namespace {

enum Scene { kFlat = 0, kPatches = 1, kTexture = 2 };

// Flat grey with sensor noise; kPatches adds six symbol-sized patches of 3- and 4-pixel
// modules; kTexture fills the whole frame with modules (the worst case: one frame-sized
// group).
std::vector<uint8_t> MakeFrame(int w, int h, Scene scene, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> f(static_cast<size_t>(w) * h);
    for (uint8_t &p : f) p = static_cast<uint8_t>(110 + static_cast<int>(rng() % 9));
    auto modules = [&](int x0, int y0, int x1, int y1, int cell) {
        std::uniform_int_distribution<int> bit(0, 1);
        std::vector<int> grid(static_cast<size_t>((x1 - x0) / cell + 1) * ((y1 - y0) / cell + 1));
        for (int &g : grid) g = bit(rng);
        const int cols = (x1 - x0) / cell + 1;
        for (int y = y0; y < y1 && y < h; ++y)
            for (int x = x0; x < x1 && x < w; ++x)
                f[static_cast<size_t>(y) * w + x] =
                    grid[static_cast<size_t>((y - y0) / cell) * cols + (x - x0) / cell] != 0 ? 35 : 215;
    };
    if (scene == kTexture) modules(0, 0, w, h, 3);
    if (scene == kPatches) {
        for (int i = 0; i < 6; ++i) {
            const int size = 90 + static_cast<int>(rng() % 60);
            const int x = static_cast<int>(rng() % static_cast<uint32_t>(w - size));
            const int y = static_cast<int>(rng() % static_cast<uint32_t>(h - size));
            modules(x, y, x + size, y + size, 3 + i % 2);
        }
    }
    return f;
}

void Install(std::vector<uint8_t> &frame, int w, int h) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Dec_ComputeFrameMargins();
}

// Milliseconds per frame of the whole selection: arguments width, height, scene.
void BM_SelectRegions(benchmark::State &state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    std::vector<uint8_t> frame = MakeFrame(w, h, static_cast<Scene>(state.range(2)), 7);
    Install(frame, w, h);
    std::array<vexo::REGION_QUAD, 50> out{};
    int n = 0;
    for (auto _ : state) {
        n = vexo::Loc_SelectRegions(out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["regions"] = n;
}
BENCHMARK(BM_SelectRegions)
    ->ArgNames({"w", "h", "scene"})
    ->ArgsProduct({{640}, {480}, {kFlat, kPatches, kTexture}})
    ->ArgsProduct({{752}, {480}, {kFlat, kPatches, kTexture}})
    ->Args({1280, 720, kPatches})
    ->ArgsProduct({{1280}, {960}, {kFlat, kPatches, kTexture}})
    ->Unit(benchmark::kMillisecond);

// Region preparation of the selection's quads.
void BM_LoadRegions(benchmark::State &state) {
    std::vector<uint8_t> frame = MakeFrame(752, 480, kPatches, 9);
    Install(frame, 752, 480);
    std::array<vexo::REGION_QUAD, 50> quads{};
    const int n = vexo::Loc_SelectRegions(quads.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(vexo::Loc_LoadRegions(quads.data(), n));
    }
}
BENCHMARK(BM_LoadRegions)->Unit(benchmark::kMicrosecond);

}  // namespace
