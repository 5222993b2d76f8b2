// The exposure library per frame, as the decode thread runs it for every grabbed frame:
// the brightness measure at 640 x 480 and 752 x 480, and one control step (register
// writes into a sink, so that only the library's own work is timed).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdint.h>

#include <vector>

namespace {

struct LumaBench {
    void *handle = nullptr;
    int (*init)(int (*)(uint16_t, const uint8_t *, int), int (*)(uint16_t, uint8_t *, int), void (*)(int),
                uint8_t) = nullptr;
    int (*lux)(const uint8_t *, int, int) = nullptr;
    int (*ajust)(int, int) = nullptr;
};

int luma_sink_write(uint16_t, const uint8_t *, int) { return 0; }
int luma_sink_read(uint16_t, uint8_t *, int length) { return length; }
void luma_sink_sleep(int) {}

LumaBench &luma_bench() {
    static LumaBench b = [] {
        LumaBench l;
        l.handle = dlopen(LUMACTL_LIB, RTLD_NOW | RTLD_LOCAL);
        if (l.handle == nullptr) return l;
        l.init = reinterpret_cast<decltype(l.init)>(dlsym(l.handle, "ExposureInit"));
        l.lux = reinterpret_cast<decltype(l.lux)>(dlsym(l.handle, "GetImageLux"));
        l.ajust = reinterpret_cast<decltype(l.ajust)>(dlsym(l.handle, "ExposureAjust"));
        if (l.init != nullptr) l.init(luma_sink_write, luma_sink_read, luma_sink_sleep, 0);
        return l;
    }();
    return b;
}

// A frame of a gradient with a bright spot, as a lit code would give.
std::vector<uint8_t> luma_frame(int width, int height) {
    std::vector<uint8_t> px(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) px[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x + y) & 0xFF);
    return px;
}

void BM_GetImageLux(benchmark::State &state) {
    LumaBench &b = luma_bench();
    if (b.lux == nullptr) {
        state.SkipWithError("no exposure library");
        return;
    }
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<uint8_t> frame = luma_frame(width, height);
    for (auto _ : state) benchmark::DoNotOptimize(b.lux(frame.data(), width, height));
}
BENCHMARK(BM_GetImageLux)->Args({640, 480})->Args({752, 480})->Unit(benchmark::kMicrosecond);

// One frame's control: measure, then adjust towards 128.
void BM_ExposureStep(benchmark::State &state) {
    LumaBench &b = luma_bench();
    if (b.lux == nullptr || b.ajust == nullptr) {
        state.SkipWithError("no exposure library");
        return;
    }
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<uint8_t> frame = luma_frame(width, height);
    for (auto _ : state) benchmark::DoNotOptimize(b.ajust(128, b.lux(frame.data(), width, height)));
}
BENCHMARK(BM_ExposureStep)->Args({640, 480})->Args({752, 480})->Unit(benchmark::kMicrosecond);

void BM_ExposureAjust(benchmark::State &state) {
    LumaBench &b = luma_bench();
    if (b.ajust == nullptr) {
        state.SkipWithError("no exposure library");
        return;
    }
    int current = 64;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.ajust(128, current));
        current = current == 64 ? 200 : 64;
    }
}
BENCHMARK(BM_ExposureAjust)->Unit(benchmark::kMicrosecond);

}  // namespace
