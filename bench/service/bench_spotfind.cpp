// The aimer spot detectors per 752 x 480 frame (a calibration runs one per frame, beside
// the 33 ms of a frame at 30 frames a second): the band, the projection cross (also at its
// largest frame, 1,280 x 960), the bright cross outline, and the outline's worst case, a
// frame of edge rows that fills its 6,000 points.
#include <benchmark/benchmark.h>

#include <vector>

#include "spotfind.h"

namespace {

struct Frame {
    int width, height;
    std::vector<uint8_t> px;
    Frame(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h, 20) {}
    void fill(int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) px[static_cast<size_t>(y) * width + x] = 230;
    }
};

Frame band() {
    Frame f(752, 480);
    f.fill(0, 220, 752, 260);
    return f;
}

Frame cross(int w, int h) {
    Frame f(w, h);
    f.fill(0, h / 2 - 2, w, h / 2 + 3);
    f.fill(w / 2 - 2, 0, w / 2 + 3, h);
    return f;
}

Frame plus() {
    Frame f(752, 480);
    f.fill(316, 234, 436, 246);
    f.fill(370, 180, 382, 300);
    return f;
}

Frame stripes() {
    Frame f(752, 480);
    for (int y = 0; y < 480; y += 6) f.fill(0, y, 752, y + 3);
    return f;
}

void BM_LightDots752x480(benchmark::State &state) {
    Frame f = band();
    __ZPT_RECT__ rect = {0, 0, f.width - 1, f.height - 1};
    int line[4];
    for (auto _ : state) benchmark::DoNotOptimize(Img_Light_Dots(f.px.data(), f.width, f.height, &rect, line));
}
BENCHMARK(BM_LightDots752x480)->Unit(benchmark::kMillisecond);

void BM_DetectCross(benchmark::State &state) {
    Frame f = cross(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int point[2];
    for (auto _ : state) benchmark::DoNotOptimize(Img_Detect_Cross(f.px.data(), f.width, f.height, point));
}
BENCHMARK(BM_DetectCross)->Args({752, 480})->Args({1280, 960})->Unit(benchmark::kMillisecond);

void run_outline(benchmark::State &state, const Frame &f) {
    int outline[8];
    double angles[2];
    for (auto _ : state) benchmark::DoNotOptimize(Img_Cross_light(f.px.data(), f.width, f.height, outline, angles));
}

void BM_CrossLight752x480(benchmark::State &state) { run_outline(state, plus()); }
BENCHMARK(BM_CrossLight752x480)->Unit(benchmark::kMillisecond);

void BM_CrossLight6000Points(benchmark::State &state) { run_outline(state, stripes()); }
BENCHMARK(BM_CrossLight6000Points)->Unit(benchmark::kMillisecond);

}  // namespace
