// The fixed cost of the camera loop: one whole decode per frame in which every module
// answers "nothing" (projection proposals, region selection, region preparation, the
// finder passes over every region and the module walks), through the exported interface.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/test_hooks.h"
#include "vexo3.h"

namespace {

enum Scene { kFlat = 0, kPatches = 1, kBars = 2 };

// Grey with sensor noise; kPatches adds six symbol-sized patches of 3- and 4-pixel
// modules (several regions for the finders); kBars a field of bars in the central third
// (projection proposals for the linear stage, a bar-crossed region).
std::vector<uint8_t> MakeFrame(int w, int h, Scene scene, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> f(static_cast<size_t>(w) * h);
    for (uint8_t &p : f) p = static_cast<uint8_t>(110 + static_cast<int>(rng() % 9));
    auto at = [&](int x, int y) -> uint8_t & { return f[static_cast<size_t>(y) * w + x]; };
    if (scene == kPatches) {
        for (int i = 0; i < 6; ++i) {
            const int size = 90 + static_cast<int>(rng() % 60);
            const int x0 = static_cast<int>(rng() % static_cast<uint32_t>(w - size));
            const int y0 = static_cast<int>(rng() % static_cast<uint32_t>(h - size));
            const int cell = 3 + i % 2;
            for (int y = y0; y < y0 + size; y += cell) {
                for (int x = x0; x < x0 + size; x += cell) {
                    const uint8_t v = (rng() & 1) != 0 ? 35 : 215;
                    for (int dy = 0; dy < cell && y + dy < h; ++dy)
                        for (int dx = 0; dx < cell && x + dx < w; ++dx) at(x + dx, y + dy) = v;
                }
            }
        }
    }
    if (scene == kBars) {
        const int x0 = 2 * w / 5, y0 = 5 * h / 12, y1 = 7 * h / 12;
        for (int k = 0; k < 30; ++k)
            for (int x = x0 + 7 * k; x < x0 + 7 * k + 3 && x < w; ++x)
                for (int y = y0; y < y1; ++y) at(x, y) = 40;
    }
    return f;
}

// Milliseconds per decode: arguments width, height, scene.
void BM_DecodeNothingFound(benchmark::State &state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    std::vector<uint8_t> frame = MakeFrame(w, h, static_cast<Scene>(state.range(2)), 11);
    vexo::Test_ResetDecoderStatics();
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint32_t>(w));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint32_t>(h));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(frame.data()));
    for (auto _ : state) benchmark::DoNotOptimize(ZPT_SE_VexoDec_Decode());
}
BENCHMARK(BM_DecodeNothingFound)
    ->Args({752, 480, kFlat})
    ->Args({752, 480, kPatches})
    ->Args({752, 480, kBars})
    ->Args({640, 480, kPatches})
    ->Args({1280, 960, kPatches})
    ->Unit(benchmark::kMillisecond);

// The same with smoothing of every second frame on (the frame is smoothed in place, so
// it is restored before each decode; the copy is timed too).
void BM_DecodeNothingFoundSmoothing(benchmark::State &state) {
    const std::vector<uint8_t> original = MakeFrame(752, 480, kPatches, 11);
    std::vector<uint8_t> frame = original;
    vexo::Test_ResetDecoderStatics();
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 752);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(frame.data()));
    ZPT_SE_VexoDec_Set(VEXO_ID_SMOOTHING, 1);
    for (auto _ : state) {
        frame = original;
        benchmark::DoNotOptimize(ZPT_SE_VexoDec_Decode());
    }
}
BENCHMARK(BM_DecodeNothingFoundSmoothing)->Unit(benchmark::kMillisecond);

}  // namespace
