// The Data Matrix L-finder per 752 x 480 frame (both passes and every DM_GetDM): dense text
// (the segment store near its 512 and the quadratic pairing), one symbol, and an empty
// frame. Beside it the locating steps per candidate: the layout class from the diagonals and
// the module counting of the first cell, for classes 1, 2, 4 and 6, with the corners taken
// from the render.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "datamatrix/dm_finder.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_stages.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

void Install(std::vector<uint8_t> &pixels, int w, int h) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(pixels.data(), w, h);
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] =
        vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight | vexo::kFlag2DLightOnDark | 1u;
}

// Lines of text whose letters are random vertical strokes and crossbars, 20 pixels tall:
// every line of text starts well over a hundred segments.
std::vector<uint8_t> TextFrame() {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight, 210);
    std::mt19937 rng(7);
    const auto fill = [&](int x, int y, int w, int h) {
        for (int r = y; r < y + h; ++r)
            for (int c = x; c < x + w; ++c) px[static_cast<size_t>(r) * kWidth + c] = 40;
    };
    for (int y = 4; y + 22 < kHeight; y += 26) {
        for (int x = 4; x + 12 < kWidth; x += 12) {
            if (rng() % 2 == 0) fill(x, y, 2 + static_cast<int>(rng() % 2), 20);
            if (rng() % 2 == 0) fill(x + 6, y, 2 + static_cast<int>(rng() % 2), 20);
            if (rng() % 3 == 0) fill(x, y + 8 + static_cast<int>(rng() % 8), 9, 2);
        }
    }
    return px;
}

std::vector<uint8_t> SymbolFrame() {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "Data Matrix bench";
    in.option2 = 6;  // 20 x 20
    testkit::RenderOptions o;
    o.moduleSize = 6;
    o.angleDeg = 10;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    return testkit::Render(testkit::Encode(in), o).frame.pixels;
}

std::vector<uint8_t> EmptyFrame() {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight, 180);
    std::mt19937 rng(9);
    for (uint8_t &p : px) p = static_cast<uint8_t>(p + static_cast<int>(rng() % 5) - 2);
    return px;
}

void RunFinder(benchmark::State &state, std::vector<uint8_t> px) {
    Install(px, kWidth, kHeight);
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    int ls = 0, segments = 0;
    for (auto _ : state) {
        vexo::Loc_ResetFinders(&region, &region);
        vexo::Loc_RunFinders(&region);
        vexo::DM_L_CANDIDATE l{};
        ls = 0;
        while (vexo::DM_GetDM(&l) != 0) ++ls;
        segments = vexo::g_dmFinder.windowStart;
        benchmark::DoNotOptimize(l);
    }
    state.counters["Ls"] = ls;
    state.counters["segments"] = segments;
}

void BM_DmFinderDenseText(benchmark::State &state) { RunFinder(state, TextFrame()); }
void BM_DmFinderSymbol(benchmark::State &state) { RunFinder(state, SymbolFrame()); }
void BM_DmFinderEmpty(benchmark::State &state) { RunFinder(state, EmptyFrame()); }

// A square symbol of the given libzint size in a 1280 x 960 frame, with its true L and the
// corners of its bottom-left region.
struct Located {
    testkit::Rendered r;
    vexo::GEO_POINT e1, c, e2;
    vexo::DM_GEOMETRY geo{};
};

Located Locate(int option2, int regions, int cls) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "12";
    in.option2 = option2;
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.width = 1280;
    o.height = 960;
    o.moduleSize = 4;
    o.angleDeg = 8;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    Located out;
    out.r = testkit::Render(s, o);
    const auto at = [&](double col, double row) {
        const testkit::Point p = out.r.transform.ToImage({col, row});
        return vexo::GEO_POINT{static_cast<int>(std::lround(p.x - 0.5)), static_cast<int>(std::lround(p.y - 0.5))};
    };
    out.e1 = at(0, 0);
    out.c = at(0, s.rows);
    out.e2 = at(s.cols, s.rows);
    const int p = s.rows / regions;
    out.geo.layoutClass = cls;
    out.geo.regionRows = out.geo.regionCols = regions;
    out.geo.lattice[regions - 1][0] = at(0, s.rows - p);
    out.geo.lattice[regions - 1][1] = at(p, s.rows - p);
    out.geo.lattice[regions][0] = at(0, s.rows);
    out.geo.lattice[regions][1] = at(p, s.rows);
    return out;
}

// libzint sizes: 16 x 16, 32 x 32, 64 x 64 and 120 x 120.
constexpr int kClassCase[4][3] = {{4, 1, 1}, {10, 2, 2}, {16, 4, 4}, {22, 6, 6}};

void BM_DmClassifyLayout(benchmark::State &state) {
    const int *k = kClassCase[state.range(0)];
    Located l = Locate(k[0], k[1], k[2]);
    Install(l.r.frame.pixels, 1280, 960);
    int cls = 0;
    for (auto _ : state) {
        vexo::GEO_POINT e1 = l.e1, c = l.c, e2 = l.e2;
        cls = vexo::DM_ClassifyLayout(l.r.frame.pixels.data(), &e1, &c, &e2, 1);
        benchmark::DoNotOptimize(cls);
    }
    state.counters["class"] = cls;
}

void BM_DmCountModules(benchmark::State &state) {
    const int *k = kClassCase[state.range(0)];
    Located l = Locate(k[0], k[1], k[2]);
    Install(l.r.frame.pixels, 1280, 960);
    int result = 0;
    for (auto _ : state) {
        vexo::DM_GEOMETRY g = l.geo;
        result = vexo::DM_CountModules(l.r.frame.pixels.data(), &g);
        benchmark::DoNotOptimize(g);
    }
    state.counters["result"] = result;
}

BENCHMARK(BM_DmFinderDenseText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DmFinderSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DmFinderEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DmClassifyLayout)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DmCountModules)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace
