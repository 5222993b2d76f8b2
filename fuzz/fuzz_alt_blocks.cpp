// The block finders on small frames: the block-blob finder, the texture finder's stages up
// to the labelled components, and the hull, clearing, rectangle and labelling operations on
// maps drawn from the input. Input: width and height (1..96, or 1280 x 8 when the first byte
// is 255), a block of parameter bytes, then pixels (repeated to fill the frame).
// Checks: counts within 50, 253 and the capacity, boxes inside the frame, hull points on the map, nothing
// written past the installed part of the second buffer; reads outside the frame are caught
// by the sanitizer (the frame is exactly width x height bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/block_blobs.h"
#include "locate/texture_cells.h"
#include "locate/texture_finder.h"

namespace {

constexpr uint8_t kBlockCanary = 0xC5;
constexpr int kBlockParams = 16;
constexpr int kBlockGuard = 4096;

void BlockCheck(bool ok) {
    if (!ok) __builtin_trap();
}

void FuzzBlockFinder(int w, int h) {
    const int n = vexo::Loc_FindBlockBlobs();
    BlockCheck(n >= 0 && n <= vexo::kBlockBoxesMax);
    for (int k = 0; k < n; ++k) {
        const vexo::BLOCK_BOX &b = vexo::g_blockBoxes.box[k];
        BlockCheck(b.top >= 0 && b.left >= 0 && b.bottom < h && b.right < w && b.top <= b.bottom && b.left <= b.right);
        BlockCheck(vexo::g_blockBoxes.order[k] >= 0 && vexo::g_blockBoxes.order[k] < n);
    }
}

void FuzzTextureStages(int w, int h) {
    vexo::TEXTURE_LAYOUT t{};
    if (!vexo::Loc_TextureLayout(&t)) return;
    BlockCheck(t.end <= vexo::g_internalImage + static_cast<size_t>(w) * h);
    vexo::Loc_BuildDirectionCells(t.directionCells, t.cellsAcross, t.cellsDown);
    vexo::Loc_MarkCrossingCells(t.directionCells, t.crossings, t.cellsAcross, t.cellsDown);
    vexo::Loc_CellsToBlocks(t.crossings, t.blocks, t.blocksAcross, t.blocksDown);
    vexo::Loc_GradeBlocks(t.blocks, t.blocksAcross, t.blocksDown);
    static vexo::TEXTURE_COMPONENT records[vexo::kTextureComponentsMax];
    static uint8_t labels[160 * 120];
    const int blocks = t.blocksAcross * t.blocksDown;
    if (blocks <= 0 || blocks > 160 * 120) return;
    for (int level = 0; level < 3; ++level) {
        const int c = vexo::Loc_LabelBlockComponents(t.blocks, labels, records, t.blocksAcross, t.blocksDown, level);
        BlockCheck(c >= 0 && c <= vexo::kTextureLabelsMax);
        for (int k = 0; k < blocks; ++k) BlockCheck(labels[k] <= c);
    }
}

// A random map of n x m blocks from the input bits: hull, clearing, rectangle, labelling.
void FuzzMaps(const uint8_t *params, const uint8_t *bits, size_t nbits) {
    const int n = params[0] % 40 + 1, m = params[1] % 40 + 1;
    std::vector<uint8_t> map(static_cast<size_t>(n) * m + 2 * 64, kBlockCanary);
    uint8_t *cells = map.data() + 64;
    for (int k = 0; k < n * m; ++k) cells[k] = nbits > 0 && (bits[(k / 8) % nbits] >> (k % 8) & 1) != 0 ? 1 : 0;
    vexo::g_blockGrid = vexo::BLOCK_GRID{};
    vexo::g_blockGrid.across = static_cast<uint16_t>(n);
    vexo::g_blockGrid.down = static_cast<uint16_t>(m);
    vexo::g_blockGrid.blocks = n * m;
    std::vector<uint8_t> labels(static_cast<size_t>(n) * m);
    std::vector<vexo::TEXTURE_COMPONENT> records(vexo::kTextureComponentsMax);
    const int c = vexo::Loc_LabelBlockComponents(cells, labels.data(), records.data(), n, m, 0);
    BlockCheck(c >= 0 && c <= vexo::kTextureLabelsMax);
    vexo::GEO_POINT hull[vexo::kBlockHullMax];
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < n; ++i) {
            if (cells[j * n + i] == 0) continue;
            const int count = vexo::Loc_TraceBlockHull(cells, i, j, hull);
            BlockCheck(count >= 0 && count <= vexo::kBlockHullMax);
            for (int k = 0; k < count && count >= 3; ++k) BlockCheck(hull[k].x >= 0 && hull[k].x < n && hull[k].y >= 0 && hull[k].y < m);
            vexo::GEO_POINT corners[4];
            vexo::Loc_MinAreaRectangle(corners, hull, count);
            vexo::Loc_ClearHullBlocks(cells, hull, count);
            cells[j * n + i] = 0;
        }
    for (int k = 0; k < 64; ++k) BlockCheck(map[k] == kBlockCanary && map[map.size() - 1 - k] == kBlockCanary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 + kBlockParams) return 0;
    int w = data[0] % 96 + 1, h = data[1] % 96 + 1;
    if (data[0] == 255) {
        w = 1280;
        h = 8;
    }
    const uint8_t *params = data + 2;
    const uint8_t *px = data + 2 + kBlockParams;
    const size_t npx = size - 2 - kBlockParams;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 128);
    for (size_t i = 0; i < frame.size() && npx > 0; ++i) frame[i] = px[i % npx];
    vexo::Test_ResetDecoderStatics();
    vexo::Mem_ResetArena();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    // The texture finder's component lists and tables lie behind its maps, past width x height
    // on small frames: the canary goes behind whichever ends later.
    size_t area = frame.size();
    vexo::TEXTURE_LAYOUT layout{};
    vexo::TEXTURE_FINDER_AREAS areas{};
    if (vexo::Loc_TextureFinderAreas(&layout, &areas)) {
        const size_t end = static_cast<size_t>(reinterpret_cast<const uint8_t *>(areas.boxes + vexo::kTextureQuadsMax) - vexo::g_internalImage);
        area = end > area ? end : area;
    }
    std::memset(vexo::g_internalImage + area, kBlockCanary, kBlockGuard);
    FuzzBlockFinder(w, h);
    FuzzTextureStages(w, h);
    const int capacity = params[2] % 8 == 0 ? params[3] * 4 - 300 : params[3] % 6;
    const int quads = vexo::Loc_FindTextureQuads(capacity);
    BlockCheck(quads >= 0 && quads <= (capacity < 0 ? 0 : (capacity > 256 ? 256 : capacity)));
    for (int k = 0; k < quads; ++k)
        for (const auto &c : areas.quads[k].c) BlockCheck(c.x > -w && c.x < 2 * w + 64 && c.y > -h && c.y < 2 * h + 64);
    const int boxes = vexo::Loc_FindTextureBoxes(capacity);
    BlockCheck(boxes >= 0 && boxes <= quads);
    vexo::REGION_QUAD sorted[vexo::kTextureQuadsMax];
    BlockCheck(vexo::Loc_FindTextureQuadsSorted(sorted, capacity) == quads);
    for (size_t k = 0; k < kBlockGuard; ++k) BlockCheck(vexo::g_internalImage[area + k] == kBlockCanary);
    FuzzMaps(params, px, npx);
    BlockCheck(vexo::g_arena.count == 0);
    return 0;
}
