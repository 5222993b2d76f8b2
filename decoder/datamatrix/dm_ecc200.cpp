// The data layer's entry and ECC 200 error correction: Reed-Solomon blocks over GF(256)
// (ISO/IEC 16022, 5.7), the mirrored retry, the uniform dealing of 144 x 144 and the block
// cache.
#include "datamatrix/dm_ecc200.h"

#include <cstring>

#include "datamatrix/dm_encodation.h"
#include "datamatrix/dm_stages.h"
#include "toolkit/quad.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

DM_DATA_STATE g_dmData;
DM_BLOCK_CACHE g_dmCache;

namespace {

constexpr i32 kDmRsSymbology = 4;
constexpr i32 kDmRsFieldSize = 256;
constexpr i32 kDmRsPolynomial = 0x12D;  // x^8 + x^5 + x^3 + x^2 + 1

// Answers of DM_DecodeBlocks.
constexpr i32 kBlocksGood = 0;
constexpr i32 kBlocksAllFailed = 1;
constexpr i32 kBlocksSomeFailed = 2;
constexpr i32 kBlocksZeroFirst = 3;

i32 *Block(i32 *blocks, i32 k) { return blocks + k * kDmBlockSlots; }
const i32 *Block(const i32 *blocks, i32 k) { return blocks + k * kDmBlockSlots; }

bool ValidSize(i32 sizeIndex) { return sizeIndex >= 0 && sizeIndex < kDmSizeRows && sizeIndex != kDmSize144Second; }

// Blocks of the size, with the second group of 144 x 144.
i32 BlockTotal(i32 sizeIndex) {
    return kDmSizeTable[sizeIndex].blockCount + (sizeIndex == kDmSize144 ? kDmSizeTable[kDmSize144Second].blockCount : 0);
}

bool ValidBlockCount(i32 blockCount) { return blockCount >= 1 && blockCount <= kDmMaxBlocks; }

void ClearCodewords() {
    std::memset(g_dmData.codewords, 0, sizeof(i32) * kDmCodewordCapacity);
}

// Reads, corrects and decodes the matrix in its current orientation; the status of
// DM_CorrectCodewords, or that of the read-out.
i32 ReadAndCorrect(u8 *matrix, i32 *correction) {
    ClearCodewords();
    const i32 s = DM_ReadCodewords(matrix);
    if (s != 0) return s;
    *correction = DM_CorrectCodewords();
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Entry

i32 DM_DecodeMatrix(u8 *matrix, i32 rows, i32 cols) {
    g_dmData.eciSeen = 0;
    g_dmData.fnc1Position = 0;
    g_dmData.mappingRows = rows;
    g_dmData.mappingCols = cols;
    if (matrix == nullptr || rows <= 0 || cols <= 0) return kDmStatusNoSize;
    const i32 bound = DM_BindWorkAreas();
    if ((rows & 1) != 0 || (cols & 1) != 0) {
        g_dmData.aimModifier = '0';
        return DM_DecodeEcc000(matrix);
    }
    g_dmData.aimModifier = '1';
    const i32 size = DM_FindSizeIndex(rows, cols);
    if (size < 0 || bound == 0) {
        g_dmData.sizeIndex = -1;
        return kDmStatusNoSize;
    }
    g_dmData.sizeIndex = size;
    g_dmData.dataCount = kDmSizeTable[size].dataCodewords;
    if (g_dmData.mirrorFirst == 1) DM_MirrorMatrix(matrix, rows, cols);
    i32 correction = 0;
    i32 s = ReadAndCorrect(matrix, &correction);
    if (s != 0) return s;
    if (correction == kDmStatusNoBlock) {
        // Nothing corrected: perhaps the symbol lies mirrored the other way.
        DM_MirrorMatrix(matrix, rows, cols);
        s = ReadAndCorrect(matrix, &correction);
        if (s != 0) return s;
        if (correction != 0) return correction;
        g_dmData.mirrorFirst ^= 1;
        return DM_DecodeCodewords();
    }
    if (correction != 0) return correction;
    return DM_DecodeCodewords();
}

// ---------------------------------------------------------------------------------------
// Error correction

void DM_BlockShape(i32 sizeIndex, i32 k, i32 *data, i32 *check) {
    i32 d = 0, c = 0;
    if (ValidSize(sizeIndex) && k >= 0) {
        // Only 144 x 144 has blocks 8 and 9; they take the next row's counts.
        const DM_SIZE_ROW &row = kDmSizeTable[k >= 8 && sizeIndex + 1 < kDmSizeRows ? sizeIndex + 1 : sizeIndex];
        d = row.dataPerBlock;
        c = row.ecPerBlock;
    }
    if (data != nullptr) *data = d;
    if (check != nullptr) *check = c;
}

void DM_DeinterleaveBlocks(const i32 *codewords, i32 *blocks, i32 blockCount, i32 sizeIndex) {
    if (codewords == nullptr || blocks == nullptr || !ValidSize(sizeIndex) || !ValidBlockCount(blockCount)) return;
    const i32 d = kDmSizeTable[sizeIndex].dataCodewords;
    const i32 e = kDmSizeTable[sizeIndex].ecCodewords;
    for (i32 i = 0; i < d; ++i) Block(blocks, i % blockCount)[i / blockCount] = codewords[i];
    for (i32 i = 0; i < e; ++i) {
        const i32 k = i % blockCount;
        // Blocks 0-7 of 144 x 144 hold one data codeword more than blocks 8 and 9.
        const i32 longer = sizeIndex == kDmSize144 && k <= 7 ? 1 : 0;
        const i32 slot = d / blockCount + i / blockCount + longer;
        if (slot < kDmBlockSlots) Block(blocks, k)[slot] = codewords[d + i];
    }
}

void DM_DeinterleaveUniform(const i32 *codewords, i32 *blocks, i32 blockCount) {
    if (codewords == nullptr || blocks == nullptr || !ValidBlockCount(blockCount)) return;
    const i32 total = kDmSizeTable[kDmSize144].dataCodewords + kDmSizeTable[kDmSize144].ecCodewords;
    for (i32 i = 0; i < total; ++i) {
        const i32 slot = i / blockCount;
        if (slot < kDmBlockSlots) Block(blocks, i % blockCount)[slot] = codewords[i];
    }
}

void DM_InterleaveData(const i32 *blocks, i32 *codewords, i32 blockCount) {
    if (codewords == nullptr || blocks == nullptr || !ValidBlockCount(blockCount)) return;
    const i32 d = g_dmData.dataCount < 0 ? 0 : (g_dmData.dataCount > kDmCodewordCapacity ? kDmCodewordCapacity : g_dmData.dataCount);
    for (i32 i = 0; i < d; ++i) {
        const i32 slot = i / blockCount;
        if (slot < kDmBlockSlots) codewords[i] = Block(blocks, i % blockCount)[slot];
    }
}

i32 DM_DecodeBlocks(i32 *blocks, i32 sizeIndex, i32 blockCount) {
    for (i32 &s : g_dmData.blockStatus) s = 0;
    if (blocks == nullptr || !ValidSize(sizeIndex) || !ValidBlockCount(blockCount)) return kBlocksAllFailed;
    i32 good = 0;
    bool failed = false;
    for (i32 k = 0; k < blockCount; ++k) {
        i32 data = 0, check = 0;
        DM_BlockShape(sizeIndex, k, &data, &check);
        i32 *b = Block(blocks, k);
        if (data + check > kDmBlockSlots || RS_DecodeBlock(b, data, check) != 0) {
            failed = true;
            continue;
        }
        if (k == 0) {
            i32 nonZero = 0;
            for (i32 j = 0; j < data; ++j) nonZero |= b[j];
            if (nonZero == 0) return kBlocksZeroFirst;
        }
        g_dmData.blockStatus[k] = 1;
        ++good;
    }
    if (!failed) return kBlocksGood;
    return good > 0 ? kBlocksSomeFailed : kBlocksAllFailed;
}

i32 DM_CorrectCodewords() {
    const i32 size = g_dmData.sizeIndex;
    if (!ValidSize(size) || g_dmData.codewords == nullptr || g_dmData.blocks == nullptr) return kDmStatusNoBlock;
    const i32 blockCount = BlockTotal(size);
    DM_DeinterleaveBlocks(g_dmData.codewords, g_dmData.blocks, blockCount, size);
    RS_ResetField();
    RS_SelectField(kDmRsSymbology, kDmRsFieldSize, kDmRsPolynomial);
    i32 r = DM_DecodeBlocks(g_dmData.blocks, size, blockCount);
    if (r == kBlocksAllFailed) {
        if (size != kDmSize144) return kDmStatusNoBlock;
        // Symbols dealt in turn over all ten blocks, check codewords included.
        DM_DeinterleaveUniform(g_dmData.codewords, g_dmData.blocks, blockCount);
        r = DM_DecodeBlocks(g_dmData.blocks, size, blockCount);
        if (r == kBlocksAllFailed) return kDmStatusNoBlock;
    }
    if (r == kBlocksZeroFirst) return kDmStatusZeroBlock;
    if (r == kBlocksSomeFailed) {
        if (DM_CompleteFromCache(g_dmData.blocks, size, blockCount) == 0) return kDmStatusSomeBlocks;
    } else if (g_dmCache.sizeIndex == size) {
        // A symbol of the cached size read whole: nothing kept may complete the next one.
        DM_ClearBlockCache();
    }
    DM_InterleaveData(g_dmData.blocks, g_dmData.codewords, blockCount);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Block cache

void DM_ClearBlockCache() {
    for (i32 &c : g_dmCache.cached) c = 0;
    g_dmCache.sizeIndex = -1;
}

void DM_StoreBlockCache(const i32 *blocks, i32 *cache, i32 blockLength, i32 blockCount) {
    if (blocks == nullptr || cache == nullptr || !ValidBlockCount(blockCount)) return;
    if (blockLength > kDmBlockSlots) blockLength = kDmBlockSlots;
    std::memset(cache, 0, sizeof(i32) * kDmMaxBlocks * kDmBlockSlots);
    for (i32 &c : g_dmCache.cached) c = 0;
    for (i32 k = 0; k < blockCount; ++k) {
        if (g_dmData.blockStatus[k] != 1) continue;
        for (i32 j = 0; j < blockLength; ++j) Block(cache, k)[j] = Block(blocks, k)[j];
        g_dmCache.cached[k] = 1;
    }
    g_dmCache.corners = g_dmResult.corners;
}

i32 DM_MergeBlockCache(i32 *blocks, i32 *cache, i32 blockLength, i32 blockCount) {
    if (blocks == nullptr || cache == nullptr || !ValidBlockCount(blockCount)) return 0;
    if (blockLength > kDmBlockSlots) blockLength = kDmBlockSlots;
    i32 count = 0;
    for (i32 k = 0; k < blockCount; ++k) {
        if (g_dmData.blockStatus[k] == 1) {
            for (i32 j = 0; j < blockLength; ++j) Block(cache, k)[j] = Block(blocks, k)[j];
            g_dmCache.cached[k] = 1;
        } else if (g_dmCache.cached[k] == 1) {
            for (i32 j = 0; j < blockLength; ++j) Block(blocks, k)[j] = Block(cache, k)[j];
        } else {
            continue;
        }
        ++count;
    }
    return count == blockCount ? 1 : 0;
}

namespace {

// Whether this attempt and the cached one are readings of one symbol: at the same place,
// with a block good in both, and every such block equal in all its data codewords.
bool SameSymbolAsCached(const i32 *blocks, i32 sizeIndex, i32 blockCount) {
    if (Geo_QuadsOverlap(&g_dmResult.corners, &g_dmCache.corners) == 0) return false;
    i32 shared = 0;
    for (i32 k = 0; k < blockCount; ++k) {
        if (g_dmData.blockStatus[k] != 1 || g_dmCache.cached[k] != 1) continue;
        i32 data = 0;
        DM_BlockShape(sizeIndex, k, &data, nullptr);
        if (std::memcmp(Block(blocks, k), g_dmCache.blocks[k], sizeof(i32) * static_cast<size_t>(data)) != 0) {
            return false;
        }
        ++shared;
    }
    return shared > 0;
}

}  // namespace

i32 DM_CompleteFromCache(i32 *blocks, i32 sizeIndex, i32 blockCount) {
    if (blocks == nullptr || !ValidSize(sizeIndex) || !ValidBlockCount(blockCount) || blockCount <= 3) return 0;
    i32 data = 0, check = 0;
    DM_BlockShape(sizeIndex, 0, &data, &check);
    i32 *cache = &g_dmCache.blocks[0][0];
    if (sizeIndex != g_dmCache.sizeIndex || !SameSymbolAsCached(blocks, sizeIndex, blockCount)) {
        g_dmCache.sizeIndex = sizeIndex;
        DM_StoreBlockCache(blocks, cache, data + check, blockCount);
        return 0;
    }
    if (DM_MergeBlockCache(blocks, cache, data + check, blockCount) == 0) return 0;
    DM_ClearBlockCache();
    return 1;
}

}  // namespace vexo
