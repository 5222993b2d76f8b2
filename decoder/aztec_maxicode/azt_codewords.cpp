// Aztec mode message, data layers, codewords and their correction.
#include <cstring>

#include "aztec_maxicode/azt_data.h"
#include "core/arena.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

namespace {

// The symbology code stated when selecting a Reed-Solomon field.
constexpr i32 kAztRsCode = 3;

// Mode message: 28 bits (7 GF(16) words, 2 data) compact, 40 bits (10 words, 4 data) full.
constexpr i32 kCompactModeBits = 28;
constexpr i32 kFullModeBits = 40;
constexpr i32 kModePolynomial = 0x13;
// The largest size that may hold a compact symbol.
constexpr i32 kLargestCompactSize = 27;

// The grid index of position t on one side of the ring at distance d around centre c, the
// sides walked clockwise: the top row left to right, the right column top to bottom, the
// bottom row right to left, the left column bottom to top.
i32 SideModule(i32 c, i32 side, i32 d, i32 t, i32 size) {
    switch (side) {
        case 0: return (c - d) * size + c + t;
        case 1: return (c + t) * size + c + d;
        case 2: return (c + d) * size + c - t;
        default: return (c - t) * size + c - d;
    }
}

// Reads one side-walk of the mode message ring at `distance`: on each side the positions
// -half..half, the centre one skipped in full-range symbols (the reference grid line).
i32 ReadModeRing(const AZT_BITSTREAM *grid, i32 distance, i32 half, i32 full, u8 *out) {
    const i32 c = (grid->size - 1) / 2;
    i32 n = 0;
    for (i32 side = 0; side < 4; ++side) {
        for (i32 t = -half; t <= half; ++t) {
            if (full != 0 && t == 0) continue;
            out[n++] = grid->bits[SideModule(c, side, distance, t, grid->size)] & 1;
        }
    }
    return n;
}

// The mode message decoded and its layer count giving the grid's own size. The ring at
// distance 7 of a compact grid is data and now and then corrects into a valid full-range
// message; its layer count must not steer the layer reads beyond the grid.
i32 DecodeFittingMode(const u8 *bits, i32 count, i32 compact, i32 size, AZT_MODE *mode) {
    AZT_BITSTREAM stream{const_cast<u8 *>(bits), count, 0};
    AZT_MODE m = *mode;
    if (Azt_DecodeModeMessage(&stream, &m, compact) == 0) return 0;
    const i32 row = Azt_SizeRow(m.layers, m.full);
    if (row < 0 || kAztSizeTable[row].size != size) return 0;
    *mode = m;
    return 1;
}

}  // namespace

i32 Azt_GridIsValid(const AZT_BITSTREAM *grid) {
    if (grid == nullptr || grid->bits == nullptr) return 0;
    if (static_cast<i64>(grid->size) * grid->size != grid->count) return 0;
    for (const AZT_SIZE_ROW &row : kAztSizeTable) {
        if (row.size == grid->size) return 1;
    }
    return 0;
}

i32 Azt_SelectCodewordField(AZT_MODE *mode) {
    const i32 layers = mode->layers;
    if (layers < 1 || layers > 32) return 0;
    if (layers <= 2) {
        mode->codewordBits = 6;
        mode->polynomial = 0x43;
    } else if (layers <= 8) {
        mode->codewordBits = 8;
        mode->polynomial = 0x12D;
    } else if (layers <= 22) {
        mode->codewordBits = 10;
        mode->polynomial = 0x409;
    } else {
        mode->codewordBits = 12;
        mode->polynomial = 0x1069;
    }
    mode->fieldSize = 1 << mode->codewordBits;
    return 1;
}

i32 Azt_DecodeModeMessage(const AZT_BITSTREAM *bits, AZT_MODE *mode, i32 compact) {
    const i32 need = compact != 0 ? kCompactModeBits : kFullModeBits;
    if (bits == nullptr || bits->bits == nullptr || mode == nullptr || bits->count < need) return 0;
    i32 words[kFullModeBits / 4];
    for (i32 w = 0; w < need / 4; ++w) {
        i32 v = 0;
        for (i32 i = 0; i < 4; ++i) v = (v << 1) | (bits->bits[w * 4 + i] & 1);
        words[w] = v;
    }
    RS_ResetField();
    if (RS_SelectField(kAztRsCode, 16, kModePolynomial) == 0) return 0;
    const i32 dataWords = compact != 0 ? 2 : 4;
    if (RS_DecodeBlock(words, dataWords, need / 4 - dataWords) != kRsCorrected) return 0;
    if (compact != 0) {
        mode->layers = (words[0] >> 2) + 1;
        mode->dataCodewords = ((words[0] & 3) << 4 | words[1]) + 1;
        mode->full = 0;
    } else {
        mode->layers = (words[0] << 1 | words[1] >> 3) + 1;
        mode->dataCodewords = ((words[1] & 7) << 8 | words[2] << 4 | words[3]) + 1;
        mode->full = 1;
    }
    return Azt_SelectCodewordField(mode);
}

i32 Azt_SymbolSizeFromModeMessage(const u8 *bits, i32 count, i32 full) {
    if (bits == nullptr || count <= 0) return 0;
    AZT_BITSTREAM stream{const_cast<u8 *>(bits), count, 0};
    AZT_MODE mode{};
    if (Azt_DecodeModeMessage(&stream, &mode, full == 0 ? 1 : 0) == 0) return 0;
    if (mode.full != (full != 0 ? 1 : 0)) return 0;
    const i32 row = Azt_SizeRow(mode.layers, mode.full);
    return row < 0 ? 0 : kAztSizeTable[row].size;
}

i32 Azt_ReadModeMessage(const AZT_BITSTREAM *grid, AZT_MODE *mode) {
    if (mode == nullptr || Azt_GridIsValid(grid) == 0) return 0;
    u8 bits[kFullModeBits];
    // Every table size has room for the ring at distance 7.
    i32 n = ReadModeRing(grid, 7, 5, 1, bits);
    if (DecodeFittingMode(bits, n, 0, grid->size, mode) != 0) return 1;
    if (grid->size > kLargestCompactSize) return 0;
    n = ReadModeRing(grid, 5, 3, 0, bits);
    return DecodeFittingMode(bits, n, 1, grid->size, mode);
}

i32 Azt_ReadLayer(i32 centre, i32 *ring, i32 size, i32 full, const AZT_BITSTREAM *grid, AZT_BITSTREAM *bits) {
    if (ring == nullptr || grid == nullptr || bits == nullptr || grid->bits == nullptr || bits->bits == nullptr) return 0;
    const i32 r = *ring;
    // Beyond rings 30 and 62 a reference grid line runs between the layer's two rings.
    const i32 gap = full != 0 && (r == 30 || r == 62) ? 1 : 0;
    const i32 inner = r + 1, outer = r + 2 + gap;
    if (r < 0 || centre - outer < 0 || centre + outer >= size) return 0;
    if (static_cast<i64>(size) * size > grid->count) return 0;
    i32 k = 0;
    for (i32 t = -r; t <= outer; ++t) k += full != 0 && t % 16 == 0 ? 0 : 1;
    if (bits->count < 0 || bits->count > bits->size - 8 * k) return 0;
    u8 *out = bits->bits + bits->count;
    for (i32 side = 0; side < 4; ++side) {
        for (i32 t = -r; t <= outer; ++t) {
            if (full != 0 && t % 16 == 0) continue;
            for (i32 ring2 = 0; ring2 < 2; ++ring2) {
                const i32 d = ring2 == 0 ? inner : outer;
                *out++ = grid->bits[SideModule(centre, side, d, t, size)] & 1;
            }
        }
    }
    bits->count += 8 * k;
    if (r == 13 || r == 30 || r == 45 || r == 62) *ring = r + 1;
    return 1;
}

i32 Azt_ExtractLayerBits(AZT_BITSTREAM *grid, AZT_MODE *mode) {
    if (grid == nullptr || mode == nullptr) return 0;
    u8 *block = Mem_Alloc(kAztGridBytes);
    if (block == nullptr) return 0;
    i32 ok = Azt_ReadModeMessage(grid, mode);
    AZT_BITSTREAM stream{block, 0, kAztGridBytes};
    const i32 c = ok != 0 ? (grid->size - 1) / 2 : 0;
    i32 ring = ok != 0 && mode->full != 0 ? 7 : 5;
    for (i32 layer = 0; ok != 0 && layer < mode->layers; ++layer) {
        ok = Azt_ReadLayer(c, &ring, grid->size, mode->full, grid, &stream);
        ring += 2;
    }
    if (ok != 0 && stream.count <= grid->count) {
        std::memcpy(grid->bits, block, static_cast<size_t>(stream.count));
        grid->count = stream.count;
    } else {
        ok = 0;
    }
    Mem_Free(block);
    return ok;
}

i32 Azt_PackCodewords(const AZT_BITSTREAM *bits, AZT_MODE *mode) {
    if (bits == nullptr || mode == nullptr || mode->codewords == nullptr) return 0;
    const i32 b = mode->codewordBits;
    if (b <= 0 || bits->count < 0 || (bits->count > 0 && bits->bits == nullptr)) return 0;
    const i32 total = bits->count / b;
    if (total > kAztMaxCodewords) return 0;
    for (i32 i = 0; i < total; ++i) {
        const u8 *chunk = bits->bits + (total - 1 - i) * b;
        i32 v = 0;
        for (i32 j = b - 1; j >= 0; --j) v = (v << 1) | (chunk[j] & 1);
        mode->codewords[i] = v;
    }
    mode->totalCodewords = total;
    mode->checkCodewords = total - mode->dataCodewords;
    return mode->dataCodewords > 0 && mode->checkCodewords > 0 && total > 0 ? 1 : 0;
}

i32 Azt_CorrectCodewords(AZT_MODE *mode) {
    if (mode == nullptr || mode->codewords == nullptr) return kAztGridCorrectionFailed;
    RS_ResetField();
    if (RS_SelectField(kAztRsCode, mode->fieldSize, mode->polynomial) == 0) return kAztGridCorrectionFailed;
    const i32 rc = RS_DecodeBlock(mode->codewords, mode->dataCodewords, mode->checkCodewords);
    return rc == kRsCorrected ? 0 : kAztGridCorrectionFailed;
}

void Azt_UnstuffBits(const AZT_MODE *mode, AZT_BITSTREAM *bits) {
    if (mode == nullptr || bits == nullptr || bits->bits == nullptr || mode->codewords == nullptr) return;
    const i32 b = mode->codewordBits;
    i32 n = mode->dataCodewords < mode->totalCodewords ? mode->dataCodewords : mode->totalCodewords;
    if (b <= 0 || n < 0) n = 0;
    // Never more bits than the stream held.
    if (b > 0 && n > bits->count / b) n = bits->count / b;
    i32 out = 0;
    for (i32 i = 0; i < n; ++i) {
        const i32 v = mode->codewords[i];
        // All bits equal but the last: the last one was stuffed by the encoder.
        const i32 keep = v == 1 || v == mode->fieldSize - 2 ? b - 1 : b;
        for (i32 j = 0; j < keep; ++j) bits->bits[out++] = static_cast<u8>((v >> (b - 1 - j)) & 1);
    }
    bits->count = out;
}

i32 Azt_DecodeGrid(AZT_BITSTREAM *grid, AZT_TEXT_OUT *out) {
    if (out == nullptr || out->text == nullptr || Azt_GridIsValid(grid) == 0) return kAztGridModeFailed;
    i32 words[kAztMaxCodewords];
    AZT_MODE mode{};
    mode.codewords = words;
    if (Azt_ExtractLayerBits(grid, &mode) == 0) return kAztGridModeFailed;
    if (Azt_PackCodewords(grid, &mode) == 0) return kAztGridCodewordsUnusable;
    if (Azt_CorrectCodewords(&mode) != 0) return kAztGridCorrectionFailed;
    Azt_UnstuffBits(&mode, grid);
    return Azt_DecodeText(grid, out) != 0 ? kAztGridDecoded : kAztGridTextFailed;
}

}  // namespace vexo
