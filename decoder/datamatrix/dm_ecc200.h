// The Data Matrix data layer's entry and its ECC 200 half: the size table, the module
// placement that reads a mapping matrix into codewords, the Reed-Solomon blocks with the
// mirrored retry, the 144 x 144 fallback dealing and the block cache that completes a symbol
// over several attempts.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_types.h"

namespace vexo {

// One row of the ECC 200 size table.
struct DM_SIZE_ROW {
    i32 regionRows;  // data modules of one region
    i32 regionCols;
    i32 symbolRows;  // modules of the symbol with its finder and timing patterns
    i32 symbolCols;
    i32 regionCount;
    i32 mappingRows;  // the data modules of all regions
    i32 mappingCols;
    i32 blockCount;
    i32 dataCodewords;
    i32 ecCodewords;
    i32 dataPerBlock;
    i32 ecPerBlock;
};

// ECC 200 symbol attributes, ISO/IEC 16022 Table 7: rows 0-23 the squares 10 x 10 to
// 144 x 144, row 24 the second block group of 144 x 144 (whose row 23 carries its first
// eight blocks with the symbol's totals), rows 25-30 the rectangles 8 x 18 to 16 x 48.
inline constexpr i32 kDmSizeRows = 31;
inline constexpr i32 kDmSize144 = 23;
inline constexpr i32 kDmSize144Second = 24;
inline constexpr DM_SIZE_ROW kDmSizeTable[kDmSizeRows] = {
    {8, 8, 10, 10, 1, 8, 8, 1, 3, 5, 3, 5},                  // 0: 10 x 10
    {10, 10, 12, 12, 1, 10, 10, 1, 5, 7, 5, 7},
    {12, 12, 14, 14, 1, 12, 12, 1, 8, 10, 8, 10},
    {14, 14, 16, 16, 1, 14, 14, 1, 12, 12, 12, 12},
    {16, 16, 18, 18, 1, 16, 16, 1, 18, 14, 18, 14},
    {18, 18, 20, 20, 1, 18, 18, 1, 22, 18, 22, 18},          // 5: 20 x 20
    {20, 20, 22, 22, 1, 20, 20, 1, 30, 20, 30, 20},
    {22, 22, 24, 24, 1, 22, 22, 1, 36, 24, 36, 24},
    {24, 24, 26, 26, 1, 24, 24, 1, 44, 28, 44, 28},
    {14, 14, 32, 32, 4, 28, 28, 1, 62, 36, 62, 36},          // 9: 32 x 32
    {16, 16, 36, 36, 4, 32, 32, 1, 86, 42, 86, 42},
    {18, 18, 40, 40, 4, 36, 36, 1, 114, 48, 114, 48},
    {20, 20, 44, 44, 4, 40, 40, 1, 144, 56, 144, 56},
    {22, 22, 48, 48, 4, 44, 44, 1, 174, 68, 174, 68},
    {24, 24, 52, 52, 4, 48, 48, 2, 204, 84, 102, 42},        // 14: 52 x 52
    {14, 14, 64, 64, 16, 56, 56, 2, 280, 112, 140, 56},
    {16, 16, 72, 72, 16, 64, 64, 4, 368, 144, 92, 36},
    {18, 18, 80, 80, 16, 72, 72, 4, 456, 192, 114, 48},
    {20, 20, 88, 88, 16, 80, 80, 4, 576, 224, 144, 56},
    {22, 22, 96, 96, 16, 88, 88, 4, 696, 272, 174, 68},      // 19: 96 x 96
    {24, 24, 104, 104, 16, 96, 96, 6, 816, 336, 136, 56},
    {18, 18, 120, 120, 36, 108, 108, 6, 1050, 408, 175, 68},
    {20, 20, 132, 132, 36, 120, 120, 8, 1304, 496, 163, 62},
    {22, 22, 144, 144, 36, 132, 132, 8, 1558, 620, 156, 62},  // 23: 144 x 144, blocks 0-7
    {0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 155, 62},                  // 24: 144 x 144, blocks 8-9
    {6, 16, 8, 18, 1, 6, 16, 1, 5, 7, 5, 7},                  // 25: 8 x 18
    {6, 14, 8, 32, 2, 6, 28, 1, 10, 11, 10, 11},
    {10, 24, 12, 26, 1, 10, 24, 1, 16, 14, 16, 14},
    {10, 16, 12, 36, 2, 10, 32, 1, 22, 18, 22, 18},
    {14, 16, 16, 36, 2, 14, 32, 1, 32, 24, 32, 24},
    {14, 22, 16, 48, 2, 14, 44, 1, 49, 28, 49, 28},           // 30: 16 x 48
};
static_assert(sizeof(kDmSizeTable) / sizeof(kDmSizeTable[0]) == kDmSizeRows);

// The data layer's state. Everything but the mirror flag is set again by every
// DM_DecodeMatrix.
struct DM_DATA_STATE {
    i32 mappingRows;
    i32 mappingCols;
    i32 sizeIndex = -1;  // -1 when no row matched
    i32 dataCount;
    i32 cursor;     // next codeword of the encodation decoder
    i32 *codewords;  // kDmCodewordCapacity entries in the work memory; codeword n is entry n - 1
    i32 *placement;  // kDmPlacementEntries, stride mappingCols: 10 x codeword + bit, 0 for none
    i32 *blocks;     // kDmMaxBlocks x kDmBlockSlots over the placement map
    i32 mirrorFirst;  // 1: the mirrored orientation is tried first; lives as long as the library
    i32 eciSeen;
    i32 fnc1Position;  // 0 none, 1 first position, 2 second position
    i32 eccLevel;      // ECC 000-140
    i32 formatId;
    i32 aimModifier = '0';  // character of the AIM modifier of the last decode ('0' before any)
    i32 blockStatus[kDmMaxBlocks];  // 1 corrected or clean, 0 uncorrectable
};

// Blocks kept from earlier attempts at one symbol. Lives as long as the library: neither a
// new image nor Init clears it.
struct DM_BLOCK_CACHE {
    i32 blocks[kDmMaxBlocks][kDmBlockSlots];
    i32 cached[kDmMaxBlocks];
    i32 sizeIndex = -1;   // -1: empty
    REGION_QUAD corners;  // of the attempt that filled it
};

extern DM_DATA_STATE g_dmData;
extern DM_BLOCK_CACHE g_dmCache;

// Decodes a mapping matrix (rows x cols bytes, 0 or 1, row-major, 1 for a foreground
// module): an odd side goes to ECC 000-140, an even-by-even matrix is ECC 200. 0 with the
// text in the result; -10 no block correctable in either orientation; -40 the first block
// corrected to all-zero data; 30 some blocks uncorrectable; 20 or -1000 from the encodation;
// -1000 for a size no row has (or a null matrix, a side <= 0, no work memory). May mirror
// the matrix in place.
i32 DM_DecodeMatrix(u8 *matrix, i32 rows, i32 cols);

// Points the state at the areas of the work memory; 0 (pointers null) when it is missing.
i32 DM_BindWorkAreas();

// First row 0..30 (row 24 left out) whose mapping size is rows x cols, else -1.
i32 DM_FindSizeIndex(i32 rows, i32 cols);
// The mapping matrix's and the binarised module matrix's places in the work memory.
u8 *DM_GetMappingBuffer();
u8 *DM_GetModuleBuffer();

// Placement (state: mappingRows, mappingCols, placement).
i32 DM_ReadCodewords(const u8 *matrix);
void DM_BuildPlacement();
void DM_PlaceModule(i32 row, i32 col, i32 codeword, i32 bit);
void DM_PlaceUtah(i32 row, i32 col, i32 codeword);
void DM_PlaceCorner1(i32 codeword);
void DM_PlaceCorner2(i32 codeword);
void DM_PlaceCorner3(i32 codeword);
void DM_PlaceCorner4(i32 codeword);
// Exchanges module (r, c) with (rows - 1 - c, cols - 1 - r) for c < cols - 1 and
// r < rows - 1 - c: the reflection about the anti-diagonal for a square. Nothing for
// cols < 2 or rows > cols.
void DM_MirrorMatrix(u8 *matrix, i32 rows, i32 cols);

// Error correction: 0, -10, -40 or 30.
i32 DM_CorrectCodewords();
void DM_DeinterleaveBlocks(const i32 *codewords, i32 *blocks, i32 blockCount, i32 sizeIndex);
void DM_DeinterleaveUniform(const i32 *codewords, i32 *blocks, i32 blockCount);
void DM_InterleaveData(const i32 *blocks, i32 *codewords, i32 blockCount);
// 0 all blocks good, 1 all failed, 2 some failed, 3 block 0 is all-zero data.
i32 DM_DecodeBlocks(i32 *blocks, i32 sizeIndex, i32 blockCount);
// Data and check codewords of block k of the size.
void DM_BlockShape(i32 sizeIndex, i32 k, i32 *data, i32 *check);

// Block cache: 1 when every block is good now.
i32 DM_CompleteFromCache(i32 *blocks, i32 sizeIndex, i32 blockCount);
void DM_StoreBlockCache(const i32 *blocks, i32 *cache, i32 blockLength, i32 blockCount);
i32 DM_MergeBlockCache(i32 *blocks, i32 *cache, i32 blockLength, i32 blockCount);
void DM_ClearBlockCache();

}  // namespace vexo
