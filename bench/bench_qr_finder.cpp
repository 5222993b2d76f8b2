// The QR finder's pass over a 752 x 480 frame: a frame without patterns, a symbol with its
// three finder patterns, and dense text full of finder-like windows; beside it the same
// pass with a finder that ignores its lines, which is the cost of the edge lists alone.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "qr/qr_finder.h"

namespace {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

struct Scene {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 210);
    void Fill(int x, int y, int w, int h, uint8_t v) {
        for (int r = y; r < y + h && r < kHeight; ++r)
            for (int c = x; c < x + w && c < kWidth; ++c) pixels[static_cast<size_t>(r) * kWidth + c] = v;
    }
    // Noise for the frame without patterns. The scenes with patterns stay clean: without
    // blur, noise on the flat rings stops the ray analysers' runs early.
    void Noise(uint32_t seed) {
        std::mt19937 rng(seed);
        for (uint8_t &p : pixels) p = Clamp(p + static_cast<int>(rng() % 7) - 3);
    }
};

void FinderPattern(Scene *s, int x, int y, int m) {
    s->Fill(x, y, 7 * m, 7 * m, 40);
    s->Fill(x + m, y + m, 5 * m, 5 * m, 210);
    s->Fill(x + 2 * m, y + 2 * m, 3 * m, 3 * m, 40);
}

// A symbol of 33 x 33 random modules of 4 pixels with its three finder patterns.
Scene SymbolScene() {
    Scene s;
    std::mt19937 rng(5);
    const int n = 33, m = 4, x0 = (kWidth - n * m) / 2, y0 = (kHeight - n * m) / 2;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            if ((rng() & 1) != 0) s.Fill(x0 + c * m, y0 + r * m, m, m, 40);
    // The finder patterns with their light separators.
    const int corners[3][2] = {{0, 0}, {n - 8, 0}, {0, n - 8}};
    for (const auto &c : corners) s.Fill(x0 + c[0] * m, y0 + c[1] * m, 8 * m, 8 * m, 210);
    FinderPattern(&s, x0, y0, m);
    FinderPattern(&s, x0 + (n - 7) * m, y0, m);
    FinderPattern(&s, x0, y0 + (n - 7) * m, m);
    return s;
}

// Lines of random 5 x 7 glyphs at 2 pixels per dot, with round letters among them: many
// edges on every row and many windows of about the finder's proportions.
Scene TextScene() {
    Scene s;
    std::mt19937 rng(7);
    for (int y = 4; y + 14 < kHeight; y += 18) {
        for (int x = 4; x + 10 < kWidth; x += 12) {
            if (rng() % 4 == 0) {
                // An 'o' of three strokes: dark, light, dark, light, dark across.
                s.Fill(x, y + 2, 10, 10, 40);
                s.Fill(x + 2, y + 4, 6, 6, 210);
                s.Fill(x + 4, y + 6, 2, 2, 40);
                continue;
            }
            for (int r = 0; r < 7; ++r)
                for (int c = 0; c < 5; ++c)
                    if (rng() % 3 == 0) s.Fill(x + 2 * c, y + 2 * r, 2, 2, 40);
        }
    }
    return s;
}

Scene EmptyScene() {
    Scene s;
    s.Noise(9);
    return s;
}

void Install(Scene &s) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(s.pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(kWidth, kHeight);
    vexo::Pix_InstallFrame(s.pixels.data(), kWidth, kHeight);
    vexo::g_params.flagsWord[vexo::kSymQr] = vexo::kFlagEnabled | vexo::kFlag2DDarkOnLight | 1u;
}

void IgnoreLine(vexo::FINDER_LINE *line) { benchmark::DoNotOptimize(line->current->edgeCount); }

constexpr vexo::FINDER_MODULE kQrOnly[2] = {
    {vexo::QR_FinderReset, vexo::QR_FinderRowWanted, vexo::QR_FinderRowLine, nullptr, nullptr, nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
constexpr vexo::FINDER_MODULE kEdgesOnly[2] = {
    {vexo::QR_FinderReset, vexo::QR_FinderRowWanted, IgnoreLine, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

void RunPass(benchmark::State &state, Scene scene, const vexo::FINDER_MODULE *table) {
    Install(scene);
    vexo::REGION_QUAD region{{{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}}};
    for (auto _ : state) {
        vexo::Loc_ResetFinderTable(table, 2, &region, &region);
        vexo::Loc_RunFinderTable(table, 2, &region);
        vexo::QR_VerifyQueuedHits(vexo::kQrVerifyAllRows);
        benchmark::DoNotOptimize(vexo::g_qrFinder.patternCount);
    }
    state.counters["patterns"] = vexo::g_qrFinder.patternCount;
}

void BM_QrFinderPassEmpty(benchmark::State &state) { RunPass(state, EmptyScene(), kQrOnly); }
void BM_QrFinderPassSymbol(benchmark::State &state) { RunPass(state, SymbolScene(), kQrOnly); }
void BM_QrFinderPassDenseText(benchmark::State &state) { RunPass(state, TextScene(), kQrOnly); }
void BM_EdgeListsOnlyEmpty(benchmark::State &state) { RunPass(state, EmptyScene(), kEdgesOnly); }
void BM_EdgeListsOnlySymbol(benchmark::State &state) { RunPass(state, SymbolScene(), kEdgesOnly); }
void BM_EdgeListsOnlyDenseText(benchmark::State &state) { RunPass(state, TextScene(), kEdgesOnly); }

BENCHMARK(BM_QrFinderPassEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QrFinderPassSymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QrFinderPassDenseText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EdgeListsOnlyEmpty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EdgeListsOnlySymbol)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EdgeListsOnlyDenseText)->Unit(benchmark::kMicrosecond);

}  // namespace
