// The block finders per frame (752 x 480 and 1280 x 960; flat grey with noise, rows of
// glyph-like strokes at 752 x 480, a QR Code, a Data Matrix): the block-blob finder, and
// the texture-region finder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_frames.h"
#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/block_blobs.h"
#include "locate/texture_finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

enum BlockScene { kBlockFlat = 0, kBlockText = 1, kBlockQr = 2, kBlockDm = 3 };

std::vector<uint8_t> BlockBenchFrame(BlockScene scene, int width, int height) {
    if (scene == kBlockText) return benchframes::TextFrame();  // 752 x 480 only
    if (scene == kBlockFlat) {
        std::vector<uint8_t> px(static_cast<size_t>(width) * height);
        std::mt19937 rng(5);
        for (uint8_t &p : px) p = static_cast<uint8_t>(120 + rng() % 7);
        return px;
    }
    testkit::SymbolInput in;
    in.symbology = scene == kBlockQr ? BARCODE_QRCODE : BARCODE_DATAMATRIX;
    in.data = "BLOCK FINDERS 0123456789";
    testkit::RenderOptions o;
    o.width = width;
    o.height = height;
    o.moduleSize = 5;
    o.angleDeg = 20;
    o.quietZone = 4;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    return testkit::Render(testkit::Encode(in), o).frame.pixels;
}

void BlockBenchInstall(std::vector<uint8_t> &frame, int width, int height) {
    vexo::Test_ResetDecoderStatics();
    vexo::Mem_ResetArena();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(width, height);
}

void BM_BlockBlobFinder(benchmark::State &state) {
    const int w = static_cast<int>(state.range(1)), h = w == 752 ? 480 : 960;
    std::vector<uint8_t> frame = BlockBenchFrame(static_cast<BlockScene>(state.range(0)), w, h);
    BlockBenchInstall(frame, w, h);
    int boxes = 0;
    for (auto _ : state) {
        boxes = vexo::Loc_FindBlockBlobs();
        benchmark::DoNotOptimize(vexo::g_blockBoxes);
    }
    state.counters["boxes"] = boxes;
}
BENCHMARK(BM_BlockBlobFinder)
    ->Args({kBlockFlat, 752})->Args({kBlockText, 752})->Args({kBlockQr, 752})->Args({kBlockDm, 752})
    ->Args({kBlockFlat, 1280})->Args({kBlockQr, 1280})->Args({kBlockDm, 1280})
    ->Unit(benchmark::kMillisecond);

void BM_TextureFinder(benchmark::State &state) {
    const int w = static_cast<int>(state.range(1)), h = w == 752 ? 480 : 960;
    std::vector<uint8_t> frame = BlockBenchFrame(static_cast<BlockScene>(state.range(0)), w, h);
    BlockBenchInstall(frame, w, h);
    static vexo::REGION_QUAD quads[vexo::kTextureQuadsMax];
    int found = 0;
    for (auto _ : state) {
        found = vexo::Loc_FindTextureQuadsSorted(quads, vexo::kTextureQuadsMax);
        benchmark::DoNotOptimize(quads);
    }
    state.counters["quads"] = found;
}
BENCHMARK(BM_TextureFinder)
    ->Args({kBlockFlat, 752})->Args({kBlockText, 752})->Args({kBlockQr, 752})->Args({kBlockDm, 752})
    ->Args({kBlockFlat, 1280})->Args({kBlockQr, 1280})->Args({kBlockDm, 1280})
    ->Unit(benchmark::kMillisecond);

}  // namespace
