// Han Xin module matrix to text: data modules read in placement order with the mask removed,
// packed into codewords, de-interleaved, corrected block by block over GF(256) and handed to
// the bit-stream decoder. Mask and level are searched when the caller could not read them.
#include <cstring>

#include "core/pixel.h"
#include "hanxin/cscn_data.h"
#include "toolkit/reed_solomon.h"

namespace vexo {
namespace {

constexpr i32 kRsCodeHanXin = 7;
constexpr i32 kGf256Polynomial = 0x163;
constexpr i32 kInterleaveColumns = 13;
constexpr i32 kCornerSquare = 9;
constexpr i32 kMaxBlocksPerSide = 16;

// Full block length of versions 4..10 in the placement: version 5's long block lies at the
// right edge and at the top, its 14-module block at the left edge and at the bottom.
constexpr i32 kFixedBlockLength[7] = {14, 16, 16, 17, 18, 19, 20};

void MarkFunction(u8 *map, i32 n, i32 y, i32 x) {
    if (y < 0 || y >= n || x < 0 || x >= n) return;
    const i32 i = y * n + x;
    map[i >> 3] = static_cast<u8>(map[i >> 3] | (1u << (i & 7)));
}

bool IsFunction(const u8 *map, i32 i) { return ((map[i >> 3] >> (i & 7)) & 1) != 0; }

void MarkRow(u8 *map, i32 n, i32 y, i32 x0, i32 x1) {
    for (i32 x = x0; x <= x1; ++x) MarkFunction(map, n, y, x);
}

void MarkColumn(u8 *map, i32 n, i32 x, i32 y0, i32 y1) {
    for (i32 y = y0; y <= y1; ++y) MarkFunction(map, n, y, x);
}

void MarkSquare(u8 *map, i32 n, i32 cy, i32 cx) {
    for (i32 dy = -1; dy <= 1; ++dy) MarkRow(map, n, cy + dy, cx - 1, cx + 1);
}

// The alignment structure of versions 4 and up: L-shaped patterns on a grid of blocks and
// the assistant squares on the edges.
void MarkAlignment(u8 *map, i32 n, i32 version) {
    const CSCN_VERSION_INFO *info = CSCN_VersionInfo(version);
    const i32 k = version <= 10 ? kFixedBlockLength[version - 4] : info->k;
    const i32 m = version <= 10 ? 1 : info->m;
    const i32 r = n - m * k;
    i32 rowStart[kMaxBlocksPerSide];
    i32 colStart[kMaxBlocksPerSide];
    i32 len[kMaxBlocksPerSide];
    i32 rows = 0;
    i32 cols = 0;
    for (i32 t = 0; t < kMaxBlocksPerSide; ++t) len[t] = t < m ? k : r - 1;
    for (i32 y = 0; y < n && rows < kMaxBlocksPerSide; y += len[rows], ++rows) rowStart[rows] = y;
    for (i32 x = n - 1; x >= 0 && cols < kMaxBlocksPerSide; x -= len[cols], ++cols) colStart[cols] = x;
    for (i32 a = 0; a < rows; ++a) {
        for (i32 b = 0; b < cols; ++b) {
            if (((a + b) & 1) != 0 || (a == 0 && b == 0)) continue;
            const i32 y = rowStart[a];
            const i32 x = colStart[b];
            MarkRow(map, n, y, x - len[b], x);
            MarkRow(map, n, y + 1, x - len[b] - 1, x - 1);
            MarkColumn(map, n, x, y, y + len[a] - 1);
            MarkColumn(map, n, x - 1, y + 1, y + len[a]);
        }
    }
    const bool odd = (m & 1) != 0;
    for (i32 a = 0; a < rows; ++a) {
        if ((a & 1) == 0) {
            if (odd) MarkSquare(map, n, rowStart[a], 0);
        } else {
            MarkSquare(map, n, rowStart[a], n - 1);
            if (!odd) MarkSquare(map, n, rowStart[a], 0);
        }
    }
    for (i32 b = 0; b < cols; ++b) {
        if ((b & 1) == 0) {
            if (odd) MarkSquare(map, n, n - 1, colStart[b]);
        } else {
            MarkSquare(map, n, 0, colStart[b]);
            if (!odd) MarkSquare(map, n, n - 1, colStart[b]);
        }
    }
}

void BuildFunctionMap(u8 *map, i32 n, i32 version) {
    std::memset(map, 0, static_cast<size_t>(kCscnFunctionMapBytes));
    for (i32 y = 0; y < kCornerSquare; ++y) {
        MarkRow(map, n, y, 0, kCornerSquare - 1);
        MarkRow(map, n, y, n - kCornerSquare, n - 1);
        MarkRow(map, n, n - 1 - y, 0, kCornerSquare - 1);
        MarkRow(map, n, n - 1 - y, n - kCornerSquare, n - 1);
    }
    if (version >= 4) MarkAlignment(map, n, version);
}

// Whether the mask inverts the module at 1-based row i and column j.
u8 MaskBit(u32 mask, i32 i, i32 j) {
    switch (mask) {
    case 1: return (i + j) % 2 == 0 ? 1 : 0;
    case 2: return ((i + j) % 3 + j % 3) % 2 == 0 ? 1 : 0;
    case 3: return (i % j + j % i + i % 3 + j % 3) % 2 == 0 ? 1 : 0;
    default: return 0;
    }
}

i32 DecodeData(CSCN_MATRIX_REQUEST *req) {
    req->streamBitCount = static_cast<u32>(CSCN_CodewordsToBits(req->dataCodewords, req->dataCodewordCount, req->streamBits));
    req->textLength = 0;
    return CSCN_DecodeBitStream(req->streamBits, req->streamBitCount, req->text, &req->textLength);
}

// Corrects at `level` and, when that succeeds, moves to the strongest level that corrects too.
// A stronger level's block is also a codeword of a weaker level of the same block length,
// and so are runs of its blocks that make up a weaker level's block (version 71: two blocks
// of 50 at level 3 are one block of 100 at level 1); the weaker level's "data" would then
// hold check codewords. A weaker level's symbol fails a stronger correction all but certainly.
i32 CorrectStrongest(CSCN_MATRIX_REQUEST *req, u32 level) {
    req->level = level;
    if (CSCN_CorrectBlocks(req) == 0) return 0;
    for (u32 stronger = 3; stronger > level; --stronger) {
        req->level = stronger;
        if (CSCN_CorrectBlocks(req) != 0) return 1;
    }
    req->level = level;
    return CSCN_CorrectBlocks(req);
}

}  // namespace

i32 CSCN_PrepareRequest(CSCN_MATRIX_REQUEST *req) {
    if (req == nullptr) return 0;
    const u32 version = static_cast<u32>(req->version);
    if (version < 1 || version > static_cast<u32>(kCscnMaxVersion)) return 0;
    // The readers size their work by the version: the matrix must be that version's.
    if (req->size != CSCN_SizeOfVersion(req->version)) return 0;
    if (req->matrix == nullptr || req->text == nullptr) return 0;
    u8 *work = Pix_WorkMemory(kCscnWorkBytes);
    if (work == nullptr) return 0;
    std::memset(work + kCscnModuleBitsOffset, 0, static_cast<size_t>(kCscnWorkBytes - kCscnModuleBitsOffset));
    req->moduleBits = work + kCscnModuleBitsOffset;
    req->matrixCopy = work + kCscnMatrixCopyOffset;
    req->streamBits = work + kCscnStreamBitsOffset;
    req->dataCodewords = reinterpret_cast<i32 *>(work + kCscnDataCodewordsOffset);
    req->deinterleaved = reinterpret_cast<i32 *>(work + kCscnDeinterleavedOffset);
    req->blockBuffer = reinterpret_cast<i32 *>(work + kCscnBlockBufferOffset);
    req->functionMap = work + kCscnFunctionMapOffset;
    req->moduleCount = 0;
    req->dataCodewordCount = 0;
    req->streamBitCount = 0;
    const CSCN_VERSION_INFO *info = CSCN_VersionInfo(req->version);
    req->blockRemainder = info->r;
    req->blockCount = info->m;
    req->blockSize = info->k;
    std::memcpy(req->matrixCopy, req->matrix, static_cast<size_t>(req->size) * static_cast<size_t>(req->size));
    return 1;
}

void CSCN_ReadDataModules(CSCN_MATRIX_REQUEST *req) {
    if (req == nullptr) return;
    req->moduleCount = 0;
    if (req->moduleBits == nullptr || req->functionMap == nullptr || req->matrix == nullptr) return;
    if (req->mask > 3 || req->size != CSCN_SizeOfVersion(req->version) || req->size == 0) return;
    const i32 n = req->size;
    BuildFunctionMap(req->functionMap, n, req->version);
    i32 count = 0;
    for (i32 y = 0; y < n; ++y) {
        for (i32 x = 0; x < n; ++x) {
            const i32 i = y * n + x;
            if (IsFunction(req->functionMap, i) || count >= kCscnModuleBitsBytes) continue;
            req->moduleBits[count++] = static_cast<u8>((req->matrix[i] & 1) ^ MaskBit(req->mask, y + 1, x + 1));
        }
    }
    req->moduleCount = count;
}

void CSCN_Deinterleave(const i32 *stream, i32 count, i32 *codewords) {
    if (stream == nullptr || codewords == nullptr || count <= 0) return;
    const i32 q = count / kInterleaveColumns;
    const i32 s = count % kInterleaveColumns;
    for (i32 c = 0; c < kInterleaveColumns; ++c) {
        const i32 start = c <= s ? c * (q + 1) : s * (q + 1) + (c - s) * q;
        const i32 rows = c < s ? q + 1 : q;
        for (i32 t = 0; t < rows; ++t) codewords[c + kInterleaveColumns * t] = stream[start + t];
    }
}

i32 CSCN_CodewordsToBits(const i32 *codewords, i32 count, u8 *bits) {
    if (codewords == nullptr || bits == nullptr || count <= 0) return 0;
    for (i32 i = 0; i < count; ++i) CSCN_IntToBits(codewords[i], 8, bits + 8 * i);
    return 8 * count;
}

i32 CSCN_CorrectBlocks(CSCN_MATRIX_REQUEST *req) {
    if (req == nullptr || req->dataCodewords == nullptr || req->deinterleaved == nullptr || req->blockBuffer == nullptr)
        return 0;
    req->dataCodewordCount = 0;
    const CSCN_BLOCK_GROUP *groups = CSCN_BlockGroups(req->version, static_cast<i32>(req->level));
    const i32 total = CSCN_TotalCodewords(req->version);
    if (groups == nullptr || req->moduleCount / 8 != total) return 0;
    // Packed into the data area first; the corrected data overwrite it once de-interleaved.
    for (i32 c = 0; c < total; ++c) req->dataCodewords[c] = CSCN_BitsToInt(req->moduleBits + 8 * c, 8);
    CSCN_Deinterleave(req->dataCodewords, total, req->deinterleaved);
    RS_ResetField();
    RS_SelectField(kRsCodeHanXin, 256, kGf256Polynomial);
    i32 next = 0;
    i32 written = 0;
    for (i32 g = 0; g < kCscnBlockGroups; ++g) {
        for (i32 b = 0; b < groups[g].blocks; ++b) {
            const i32 t = groups[g].codewords;
            const i32 d = groups[g].data;
            std::memcpy(req->blockBuffer, req->deinterleaved + next, static_cast<size_t>(t) * sizeof(i32));
            next += t;
            if (RS_DecodeBlock(req->blockBuffer, d, t - d) != kRsCorrected) return 0;
            std::memcpy(req->dataCodewords + written, req->blockBuffer, static_cast<size_t>(d) * sizeof(i32));
            written += d;
        }
    }
    req->dataCodewordCount = written;
    return 1;
}

i32 CSCN_DecodeMatrix(CSCN_MATRIX_REQUEST *req) {
    if (CSCN_PrepareRequest(req) == 0) return 0;
    if (req->mask <= 3 && req->level <= 3) {
        CSCN_ReadDataModules(req);
        if (CSCN_CorrectBlocks(req) == 0) return 0;
        return DecodeData(req);
    }
    for (u32 mask = 0; mask <= 3; ++mask) {
        req->mask = mask;
        CSCN_ReadDataModules(req);
        for (u32 level = 0; level <= 3; ++level) {
            if (CorrectStrongest(req, level) == 0) continue;
            if (DecodeData(req) != 0) return 1;
        }
    }
    req->mask = 3;
    req->level = 3;
    return 0;
}

}  // namespace vexo
