// ECC 200 module placement: the map from mapping-matrix modules to codeword bits (the
// placement algorithm of ISO/IEC 16022, Annex F), the codeword read-out, the mirroring
// exchange, the size lookup and the data layer's areas in the work memory.
#include <cstring>

#include "datamatrix/dm_ecc200.h"

namespace vexo {

namespace {

constexpr i32 kMinMappingRows = 6;
constexpr i32 kMaxMappingCols = 132;

// The map's next codeword, shared by the sweep and its placement primitives.
i32 g_nextCodeword;

i32 TakeCodeword() { return g_nextCodeword++; }

i32 &MapAt(i32 row, i32 col) { return g_dmData.placement[row * g_dmData.mappingCols + col]; }

bool Inside(i32 row, i32 col) {
    return row >= 0 && col >= 0 && row < g_dmData.mappingRows && col < g_dmData.mappingCols;
}

}  // namespace

i32 DM_BindWorkAreas() {
    u8 *work = DM_WorkBuffer();
    if (work == nullptr) {
        g_dmData.codewords = nullptr;
        g_dmData.placement = nullptr;
        g_dmData.blocks = nullptr;
        return 0;
    }
    g_dmData.codewords = reinterpret_cast<i32 *>(work + kDmCodewordOffset);
    g_dmData.placement = reinterpret_cast<i32 *>(work + kDmPlacementOffset);
    g_dmData.blocks = g_dmData.placement;
    return 1;
}

i32 DM_FindSizeIndex(i32 rows, i32 cols) {
    for (i32 i = 0; i < kDmSizeRows; ++i) {
        // The second block group of 144 x 144 is no size (its mapping size reads 0 x 0).
        if (i == kDmSize144Second) continue;
        if (kDmSizeTable[i].mappingRows == rows && kDmSizeTable[i].mappingCols == cols) return i;
    }
    return -1;
}

u8 *DM_GetMappingBuffer() {
    u8 *work = DM_WorkBuffer();
    return work == nullptr ? nullptr : work + kDmModuleMatrixOffset;
}

u8 *DM_GetModuleBuffer() {
    u8 *work = DM_WorkBuffer();
    return work == nullptr ? nullptr : work + kDmBinaryMatrixOffset;
}

// ---------------------------------------------------------------------------------------
// Placement map

void DM_PlaceModule(i32 row, i32 col, i32 codeword, i32 bit) {
    const i32 nrow = g_dmData.mappingRows;
    const i32 ncol = g_dmData.mappingCols;
    if (row < 0) {
        row += nrow;
        col += 4 - ((nrow + 4) % 8);
    }
    if (col < 0) {
        col += ncol;
        row += 4 - ((ncol + 4) % 8);
    }
    // Every table size keeps the wrapped positions inside; other sizes may not.
    if (!Inside(row, col)) return;
    MapAt(row, col) = 10 * codeword + bit;
}

void DM_PlaceUtah(i32 row, i32 col, i32 codeword) {
    DM_PlaceModule(row - 2, col - 2, codeword, 1);
    DM_PlaceModule(row - 2, col - 1, codeword, 2);
    DM_PlaceModule(row - 1, col - 2, codeword, 3);
    DM_PlaceModule(row - 1, col - 1, codeword, 4);
    DM_PlaceModule(row - 1, col, codeword, 5);
    DM_PlaceModule(row, col - 2, codeword, 6);
    DM_PlaceModule(row, col - 1, codeword, 7);
    DM_PlaceModule(row, col, codeword, 8);
}

namespace {

// A corner shape: the eight (row, col) positions of bits 1..8, with negative values
// counted from the far side (-1 the last row or column).
struct CornerShape {
    i8 pos[8][2];
};

// ISO/IEC 16022 Annex F.3, the four corner conditions.
constexpr CornerShape kCorners[4] = {
    {{{-1, 0}, {-1, 1}, {-1, 2}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}}},
    {{{-3, 0}, {-2, 0}, {-1, 0}, {0, -4}, {0, -3}, {0, -2}, {0, -1}, {1, -1}}},
    {{{-3, 0}, {-2, 0}, {-1, 0}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}}},
    {{{-1, 0}, {-1, -1}, {0, -3}, {0, -2}, {0, -1}, {1, -3}, {1, -2}, {1, -1}}},
};

void PlaceCorner(const CornerShape &shape, i32 codeword) {
    for (i32 b = 0; b < 8; ++b) {
        const i32 r = shape.pos[b][0];
        const i32 c = shape.pos[b][1];
        DM_PlaceModule(r < 0 ? g_dmData.mappingRows + r : r, c < 0 ? g_dmData.mappingCols + c : c, codeword, b + 1);
    }
}

}  // namespace

void DM_PlaceCorner1(i32 codeword) { PlaceCorner(kCorners[0], codeword); }
void DM_PlaceCorner2(i32 codeword) { PlaceCorner(kCorners[1], codeword); }
void DM_PlaceCorner3(i32 codeword) { PlaceCorner(kCorners[2], codeword); }
void DM_PlaceCorner4(i32 codeword) { PlaceCorner(kCorners[3], codeword); }

void DM_BuildPlacement() {
    const i32 nrow = g_dmData.mappingRows;
    const i32 ncol = g_dmData.mappingCols;
    if (g_dmData.placement == nullptr || nrow <= 0 || ncol <= 0 ||
        static_cast<i64>(nrow) * ncol > kDmPlacementEntries) {
        return;
    }
    std::memset(g_dmData.placement, 0, sizeof(i32) * static_cast<size_t>(nrow) * static_cast<size_t>(ncol));
    g_nextCodeword = 1;
    i32 row = 4, col = 0;
    // Each pass moves the sweep by at least one row or column; the bound only guards sizes
    // outside the table.
    for (i32 guard = 0; guard < 4 * (nrow + ncol) + 16; ++guard) {
        if (row == nrow && col == 0) DM_PlaceCorner1(TakeCodeword());
        if (row == nrow - 2 && col == 0 && ncol % 4 != 0) {
            DM_PlaceCorner2(TakeCodeword());
            if (row == nrow - 2 && ncol % 8 == 4) DM_PlaceCorner3(TakeCodeword());
        } else if (row == nrow - 2 && col == 0 && ncol % 8 == 4) {
            DM_PlaceCorner3(TakeCodeword());
        }
        if (row == nrow + 4 && col == 2 && ncol % 8 == 0) DM_PlaceCorner4(TakeCodeword());
        // The sweeps test the whole frame where the algorithm names two of its sides: the
        // other two always hold there for the table's sizes.
        while (true) {  // up and to the right
            if (Inside(row, col) && MapAt(row, col) == 0) DM_PlaceUtah(row, col, TakeCodeword());
            if (row - 2 < 0 || col + 2 >= ncol) break;
            row -= 2;
            col += 2;
        }
        row -= 1;
        col += 5;
        while (true) {  // down and to the left
            if (Inside(row, col) && MapAt(row, col) == 0) DM_PlaceUtah(row, col, TakeCodeword());
            if (row + 2 >= nrow || col - 2 < 0) break;
            row += 2;
            col -= 2;
        }
        row += 5;
        col -= 1;
        if (row >= nrow && col >= ncol) break;
    }
    // The fixed pattern in the bottom-right corner of some sizes: codeword 0, never read.
    if (MapAt(nrow - 1, ncol - 1) == 0) {
        MapAt(nrow - 1, ncol - 1) = 1;
        if (nrow >= 2 && ncol >= 2) MapAt(nrow - 2, ncol - 2) = 1;
    }
}

i32 DM_ReadCodewords(const u8 *matrix) {
    const i32 nrow = g_dmData.mappingRows;
    const i32 ncol = g_dmData.mappingCols;
    if (g_dmData.sizeIndex < 0 || g_dmData.sizeIndex >= kDmSizeRows || nrow < kMinMappingRows ||
        ncol > kMaxMappingCols || matrix == nullptr || g_dmData.placement == nullptr ||
        g_dmData.codewords == nullptr) {
        return kDmStatusNoSize;
    }
    std::memset(g_dmData.placement, 0, sizeof(i32) * kDmPlacementEntries);
    DM_BuildPlacement();
    const i32 n = nrow * ncol;
    for (i32 i = 0; i < n; ++i) {
        const i32 e = g_dmData.placement[i];
        const i32 codeword = e / 10;
        const i32 bit = e % 10;
        if (codeword < 1 || codeword > kDmCodewordCapacity || bit < 1 || bit > 8) continue;
        g_dmData.codewords[codeword - 1] ^= (matrix[i] != 0 ? 1 : 0) << (8 - bit);
    }
    return 0;
}

void DM_MirrorMatrix(u8 *matrix, i32 rows, i32 cols) {
    if (matrix == nullptr || cols < 2 || rows > cols) return;
    for (i32 c = 0; c <= cols - 2; ++c) {
        for (i32 r = 0; r <= rows - 2 - c; ++r) {
            u8 &a = matrix[r * cols + c];
            u8 &b = matrix[(rows - 1 - c) * cols + (cols - 1 - r)];
            const u8 t = a;
            a = b;
            b = t;
        }
    }
}

}  // namespace vexo
