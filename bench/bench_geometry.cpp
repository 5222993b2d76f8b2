// Perspective fits and grid walks at the sizes the matrix decoders use.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace {

using namespace vexo;

// A symbol of n x n modules seen at a slant, in 1/16 pixel.
PERSPECTIVE SlantedSymbol(i32 n) {
    const GEO_POINT from[4] = {{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}};
    const GEO_POINT to[4] = {{200 * 16, 120 * 16}, {610 * 16, 150 * 16}, {180 * 16, 520 * 16}, {640 * 16, 560 * 16}};
    PERSPECTIVE t{};
    PERSPECTIVE_FIT fit{to, from, 4, 1, &t, 1 << 14, nullptr, {}, {}};
    Geo_FitPerspectiveInt(&fit, 1);
    return t;
}

u32 g_sink;

void SumRow(const i32 *xs, const i32 *ys, i32 count, u32, u8 *) {
    u32 s = 0;
    for (i32 i = 0; i < count; ++i) s += static_cast<u32>(xs[i] ^ ys[i]);
    g_sink += s;
}

void BM_GridWalk(benchmark::State &state) {
    const i32 n = static_cast<i32>(state.range(0));
    GRID_WALK w{};
    w.transform = SlantedSymbol(n);
    w.lastColumn = n - 1;
    w.lastRow = n - 1;
    w.rowCallback = SumRow;
    for (auto _ : state) benchmark::DoNotOptimize(Geo_MapGridRows(&w));
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_GridWalk)->Arg(21)->Arg(177);

// The same points mapped one by one, for comparison with the walk.
void BM_MapEachPoint(benchmark::State &state) {
    const i32 n = static_cast<i32>(state.range(0));
    const PERSPECTIVE t = SlantedSymbol(n);
    for (auto _ : state) {
        u32 s = 0;
        for (i32 v = 0; v < n; ++v) {
            for (i32 u = 0; u < n; ++u) {
                i32 X = 0, Y = 0;
                Geo_MapPointPerspective16(&t, u, v, &X, &Y);
                s += static_cast<u32>(X ^ Y);
            }
        }
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_MapEachPoint)->Arg(177);

void BM_FitPerspective(benchmark::State &state) {
    const i32 pairs = static_cast<i32>(state.range(0));
    std::vector<GEO_POINT> from, to;
    for (i32 i = 0; i < pairs; ++i) {
        const i32 u = (i * 7) % 41, v = (i * 13) % 37;
        from.push_back({u, v});
        const f64 d = 1.0 + 0.002 * u + 0.001 * v;
        to.push_back({static_cast<i32>(std::lround((300 + 9.5 * u + 1.2 * v) / d)),
                      static_cast<i32>(std::lround((200 - 0.8 * u + 10.1 * v) / d))});
    }
    PERSPECTIVE t{};
    PERSPECTIVE_FIT fit{to.data(), from.data(), pairs, 1, &t, 1 << 20, nullptr, {}, {}};
    for (auto _ : state) {
        fit.reset = 1;
        benchmark::DoNotOptimize(Geo_FitPerspectiveInt(&fit, 1));
    }
}
BENCHMARK(BM_FitPerspective)->Arg(4)->Arg(100);

void BM_FitLine(benchmark::State &state) {
    const i32 pairs = static_cast<i32>(state.range(0));
    std::vector<i32> u(pairs), v(pairs);
    for (i32 i = 0; i < pairs; ++i) {
        u[i] = i * 3;
        v[i] = i + (i % 5);
    }
    f32 result[2];
    STRAIGHT_FIT fit{v.data(), u.data(), pairs, 1, result, {}};
    for (auto _ : state) benchmark::DoNotOptimize(Geo_FitLine(&fit));
}
BENCHMARK(BM_FitLine)->Arg(4)->Arg(100);

}  // namespace
