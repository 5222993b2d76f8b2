// Hot loops of line sampling, edge extraction and module binarisation.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/pixel.h"
#include "core/test_hooks.h"
#include "toolkit/matrix.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

// Bars of 1 to 8 pixels between dark and bright, softened and with sensor noise.
std::vector<uint8_t> BarFrame(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> row(kWidth);
    int level = 200;
    for (int x = 0; x < kWidth;) {
        const int run = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < run && x < kWidth; ++k) row[x++] = static_cast<uint8_t>(level);
        level = level > 120 ? 40 + static_cast<int>(rng() % 30) : 170 + static_cast<int>(rng() % 60);
    }
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int left = row[x > 0 ? x - 1 : x], right = row[x + 1 < kWidth ? x + 1 : x];
            const int v = (left + 2 * row[x] + right) / 4 + static_cast<int>(rng() % 9) - 4;
            frame[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    return frame;
}

// Nanoseconds per 752-sample row of the finder framework's edge list.
void BM_RowEdges752(benchmark::State &state) {
    vexo::Test_ResetDecoderStatics();
    std::vector<uint8_t> frame = BarFrame(1);
    vexo::EDGE_ITEM edges[800];
    int y = 0;
    for (auto _ : state) {
        vexo::EDGE_LINE line{};
        line.samples = frame.data() + static_cast<size_t>(y) * kWidth;
        line.sampleCount = kWidth;
        line.edges = edges;
        line.capacity = 800;
        line.ratio = 102;
        line.minStep = 6;
        vexo::Prof_RowEdges(&line);
        benchmark::DoNotOptimize(line.edgeCount);
        y = (y + 4) % kHeight;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("items = rows");
}
BENCHMARK(BM_RowEdges752);

// The same over a column of 480 samples, read with the frame's stride.
void BM_ColumnEdges480(benchmark::State &state) {
    vexo::Test_ResetDecoderStatics();
    std::vector<uint8_t> frame = BarFrame(2);
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::EDGE_ITEM edges[512];
    int x = 0;
    for (auto _ : state) {
        vexo::EDGE_LINE line{};
        line.samples = frame.data() + x;
        line.sampleCount = kHeight;
        line.edges = edges;
        line.capacity = 512;
        line.ratio = 102;
        line.minStep = 6;
        vexo::Prof_ColumnEdges(&line);
        benchmark::DoNotOptimize(line.edgeCount);
        x = (x + 4) % kWidth;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("items = columns");
}
BENCHMARK(BM_ColumnEdges480);

// Nanoseconds per sample of the 1/16-pixel line sampler on slanted lines.
void BM_SampleLine16PerSample(benchmark::State &state) {
    vexo::Test_ResetDecoderStatics();
    std::vector<uint8_t> frame = BarFrame(3);
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(kWidth, kHeight);
    uint8_t buf[1280];
    int64_t samples = 0;
    int k = 0;
    for (auto _ : state) {
        const int y0 = 16 * (20 + k % 400) + 5, y1 = y0 + 16 * 37 + 9;
        const int32_t n = vexo::Geo_SampleLine16(16 * 10 + 3, y0, 16 * 700 + 11, y1, buf, 1280);
        benchmark::DoNotOptimize(buf);
        samples += n;
        ++k;
    }
    state.SetItemsProcessed(samples);
    state.SetLabel("items = samples");
}
BENCHMARK(BM_SampleLine16PerSample);

// Whole-pixel line through a caller image, for comparison.
void BM_SampleLinePerSample(benchmark::State &state) {
    vexo::Test_ResetDecoderStatics();
    std::vector<uint8_t> frame = BarFrame(4);
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(kWidth, kHeight);
    uint8_t buf[1280];
    int64_t samples = 0;
    int k = 0;
    for (auto _ : state) {
        const vexo::GEO_POINT p{10, 20 + k % 400}, q{700, 57 + k % 400};
        samples += vexo::Geo_SampleLine(frame.data(), &p, &q, buf, 1280);
        benchmark::DoNotOptimize(buf);
        ++k;
    }
    state.SetItemsProcessed(samples);
    state.SetLabel("items = samples");
}
BENCHMARK(BM_SampleLinePerSample);

std::vector<uint8_t> ModuleGrey(int n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> grey(static_cast<size_t>(n) * n);
    for (uint8_t &g : grey) g = static_cast<uint8_t>((rng() & 1) ? 180 + rng() % 60 : 30 + rng() % 60);
    return grey;
}

// Binarising a 177 x 177 module matrix (the largest QR Code version).
void BM_BinariseModules177(benchmark::State &state) {
    const std::vector<uint8_t> grey = ModuleGrey(177, 5);
    std::vector<uint8_t> bits(grey.size());
    for (auto _ : state) {
        vexo::MODULE_BITS m{grey.data(), bits.data(), 177, 177, 0, static_cast<int32_t>(state.range(0)), 20};
        benchmark::DoNotOptimize(vexo::Geo_BinariseModules(&m));
        benchmark::DoNotOptimize(bits.data());
    }
    state.SetLabel(state.range(0) ? "with isolated-module correction" : "blocks only");
}
BENCHMARK(BM_BinariseModules177)->Arg(0)->Arg(1);

void BM_BinariseModulesLocal177(benchmark::State &state) {
    const std::vector<uint8_t> grey = ModuleGrey(177, 6);
    std::vector<uint8_t> bits(grey.size());
    for (auto _ : state) {
        vexo::MODULE_BITS m{grey.data(), bits.data(), 177, 177, 0, 0, 0};
        vexo::Geo_BinariseModulesLocal(&m);
        benchmark::DoNotOptimize(bits.data());
    }
}
BENCHMARK(BM_BinariseModulesLocal177);

}  // namespace
