// Region locating: the finder passes over a region, the bar-crossed test, the projection
// proposals per 752 x 480 frame and edge-list pairing.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/edge_pairing.h"
#include "locate/finder.h"
#include "locate/projection.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Random 4-pixel modules over the frame, with noise: edges everywhere, no bars.
std::vector<uint8_t> ModuleFrame(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> modules(static_cast<size_t>(kWidth / 4 + 1) * (kHeight / 4 + 1));
    for (uint8_t &m : modules) m = (rng() & 1) != 0 ? 40 : 200;
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            f[static_cast<size_t>(y) * kWidth + x] =
                Clamp(modules[static_cast<size_t>(y / 4) * (kWidth / 4 + 1) + x / 4] + static_cast<int>(rng() % 9) - 4);
    return f;
}

// Paper with noise and, when bars is set, a block of vertical bars 1 to 3 modules wide at
// 2 pixels per module around the centre.
std::vector<uint8_t> BarFrame(uint32_t seed, bool bars) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint8_t> row(kWidth, 210);
    if (bars) {
        bool dark = true;
        for (int x = 280; x < 470;) {
            const int w = 2 * (1 + static_cast<int>(rng() % 3));
            for (int k = 0; k < w && x < 470; ++k) row[x++] = dark ? 40 : 210;
            dark = !dark;
        }
    }
    for (int y = 0; y < kHeight; ++y) {
        const bool inBars = y >= 190 && y < 290;
        for (int x = 0; x < kWidth; ++x)
            f[static_cast<size_t>(y) * kWidth + x] = Clamp((inBars ? row[x] : 210) + static_cast<int>(rng() % 7) - 3);
    }
    return f;
}

void Install(std::vector<uint8_t> &f) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(f.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kWidth, kHeight);
}

uint8_t g_ring[4];
void QueueReset(vexo::REGION_QUAD *, vexo::REGION_QUAD *) { vexo::g_qrFinderQueue = {g_ring, g_ring}; }
int Wants() { return 1; }
void NoLine(vexo::FINDER_LINE *line) { benchmark::DoNotOptimize(line->current->edgeCount); }
void NoFinish() {}

// Five finders that take part in both passes and do nothing with their lines.
constexpr vexo::FINDER_MODULE kEmptyTable[6] = {
    {QueueReset, Wants, NoLine, NoFinish, Wants, NoLine, NoFinish, nullptr},
    {nullptr, Wants, NoLine, NoFinish, Wants, NoLine, NoFinish, nullptr},
    {nullptr, Wants, NoLine, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, Wants, NoLine, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, Wants, NoLine, nullptr, Wants, NoLine, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

vexo::REGION_QUAD Box(int left, int top, int right, int bottom) {
    return vexo::REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

// One region of 300 x 300 through the region stage's finder steps with empty finders:
// thresholds, the bar-crossed test (it fails both ways), 75 rows and 75 columns.
void BM_FinderPasses300(benchmark::State &state) {
    std::vector<uint8_t> f = ModuleFrame(3);
    Install(f);
    vexo::REGION_QUAD region = Box(226, 90, 526, 390);
    for (auto _ : state) {
        vexo::u32 step = 0;
        const int ratio = vexo::Loc_QuadMidlineThresholds(&region, &step);
        vexo::g_edgeThresholds = {static_cast<vexo::u16>(ratio), step};
        vexo::Loc_ResetFinderTable(kEmptyTable, 6, &region, &region);
        benchmark::DoNotOptimize(vexo::Loc_RunFinderTable(kEmptyTable, 6, &region));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("items = regions");
}
BENCHMARK(BM_FinderPasses300);

// The bar-crossed test alone on a region of bars (it succeeds in the first direction).
void BM_RegionLooksLinear(benchmark::State &state) {
    std::vector<uint8_t> f = BarFrame(5, true);
    Install(f);
    vexo::REGION_QUAD region = Box(270, 180, 480, 300);
    for (auto _ : state) benchmark::DoNotOptimize(vexo::Loc_RegionLooksLinear(&region));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegionLooksLinear);

// The linear stage's proposals for one frame: thresholds, row pass, column pass.
void BM_ProjectionProposals752(benchmark::State &state) {
    std::vector<uint8_t> f = BarFrame(7, state.range(0) != 0);
    Install(f);
    vexo::REGION_QUAD quads[40];
    for (auto _ : state) {
        benchmark::DoNotOptimize(vexo::Loc_ProjectionThresholds());
        benchmark::DoNotOptimize(vexo::Loc_ColumnProjectionQuads(quads, 40));
        benchmark::DoNotOptimize(vexo::Loc_RowProjectionQuads(quads, 40));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) != 0 ? "frames with bars" : "empty frames");
}
BENCHMARK(BM_ProjectionProposals752)->Arg(0)->Arg(1);

// Pairing the falling edges of two lines across a linear code (60 each).
void BM_PairEdgeLists60(benchmark::State &state) {
    std::mt19937 rng(9);
    std::vector<int32_t> a, b, ma(60), mb(60);
    int32_t x = 30;
    for (int k = 0; k < 60; ++k) {
        x += 40 + static_cast<int32_t>(rng() % 120);
        a.push_back(x);
        b.push_back(x + 6 + static_cast<int32_t>(rng() % 9));
    }
    for (auto _ : state) {
        vexo::EDGE_PAIRING e{};
        e.countA = 60;
        e.countB = 60;
        e.posA = a.data();
        e.posB = b.data();
        e.matchA = ma.data();
        e.matchB = mb.data();
        benchmark::DoNotOptimize(vexo::Loc_PairEdgeLists(&e));
        benchmark::DoNotOptimize(e.matchCount);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PairEdgeLists60);

}  // namespace
