// Model 2 codewords: masks, function-module map, codeword walk, block correction and the
// format and level/mask search.
#include "qr/qr_codewords.h"

#include "aztec_maxicode/azt_probes.h"
#include "qr/qr_format.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/qr_tables.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

namespace {

constexpr i32 kQrRsCode = 2;
constexpr i32 kQrRsFieldSize = 256;
constexpr i32 kQrRsPolynomial = 0x11D;
// Largest block (version 40: 153 codewords) and largest data count (version 40-L).
constexpr i32 kMaxBlockCodewords = 256;
constexpr i32 kMaxDataCodewords = 2956;

i32 g_errorWord = kQrErrInitial;

// Scratch of one decode: the codewords as read and the corrected data codewords.
u8 g_codewords[kQrMaxCodewords];
u8 g_dataCodewords[kMaxDataCodewords];

bool ValidMatrix(const void *a, const void *b, i32 n) {
    return a != nullptr && b != nullptr && n >= kQrMinDimension && n <= kQrMaxDimension;
}

void MarkSquare(u8 *map, i32 n, i32 row0, i32 col0, i32 rows, i32 cols) {
    for (i32 r = row0; r < row0 + rows; ++r) {
        if (r < 0 || r >= n) continue;
        for (i32 c = col0; c < col0 + cols; ++c) {
            if (c >= 0 && c < n) map[r * n + c] = kQrFunctionModule;
        }
    }
}

void MarkFindersAndFormat(u8 *map, i32 n) {
    MarkSquare(map, n, 0, 0, 8, 8);
    MarkSquare(map, n, 0, n - 8, 8, 8);
    MarkSquare(map, n, n - 8, 0, 8, 8);
    MarkSquare(map, n, 8, n - 8, 1, 8);  // second format copy, low half
    MarkSquare(map, n, n - 8, 8, 8, 1);  // second format copy, high half and the dark module
    MarkSquare(map, n, 0, 8, 9, 1);      // first copy along column 8
    MarkSquare(map, n, 8, 0, 1, 8);      // first copy along row 8
}

void MarkVersionBlocks(u8 *map, i32 n) {
    MarkSquare(map, n, 0, n - 11, 6, 3);
    MarkSquare(map, n, n - 11, 0, 3, 6);
}

void Transpose(u8 *m, i32 n) {
    for (i32 r = 0; r < n; ++r) {
        for (i32 c = r + 1; c < n; ++c) {
            const u8 t = m[r * n + c];
            m[r * n + c] = m[c * n + r];
            m[c * n + r] = t;
        }
    }
}

// The blocks of one version and level as the interleaved stream holds them.
struct BlockLayout {
    QR_BLOCK_ROW row;
    i32 blocks;     // B
    i32 dataTotal;  // D
    i32 check;      // check codewords per block
};

BlockLayout MakeLayout(const QR_BLOCK_ROW &row) {
    return BlockLayout{row, row.count1 + row.count2, row.count1 * row.data1 + row.count2 * row.data2,
                       row.codewords1 - row.data1};
}

// Gathers block j lowest degree first (its last check codeword first) into out; answers its
// codeword count.
i32 GatherBlock(const BlockLayout &l, const u8 *codewords, i32 j, i32 *out) {
    const bool second = j >= l.row.count1;
    const i32 data = second ? l.row.data2 : l.row.data1;
    const i32 size = data + l.check;
    i32 k = size - 1;
    for (i32 t = 0; t < l.row.data1; ++t) out[k--] = codewords[t * l.blocks + j];
    if (second) out[k--] = codewords[l.row.data1 * l.blocks + (j - l.row.count1)];
    for (i32 t = 0; t < l.check; ++t) out[k--] = codewords[l.dataTotal + t * l.blocks + j];
    return size;
}

bool SameBlockLayout(i32 vi, i32 a, i32 b) {
    QR_BLOCK_ROW ra{};
    QR_BLOCK_ROW rb{};
    if (QR_GetBlockRow(vi, a, &ra) == 0 || QR_GetBlockRow(vi, b, &rb) == 0) return false;
    return ra.count1 == rb.count1 && ra.codewords1 == rb.codewords1 && ra.count2 == rb.count2 &&
           ra.codewords2 == rb.codewords2;
}

// Where two levels cut the codewords into the same blocks, every block of the stronger
// level is also a codeword of the weaker one, so a passing trial may belong to a stronger
// level: decoding with the weaker one would read check codewords as data. The strongest
// level of the same layout whose trial passes is the symbol's.
i32 StrongestPassingLevel(i32 vi, i32 level, u8 *output, i32 capacity) {
    for (i32 stronger = 3; stronger > level; --stronger) {
        if (!SameBlockLayout(vi, level, stronger)) continue;
        if (QR_CorrectBlocks(vi, stronger, g_codewords, output, capacity, 1) == 0) return stronger;
    }
    return level;
}

// Runs the first-block trial, and on success the full decode. A level read from format
// information is taken as it is; a guessed one gives way to the strongest of its layout.
// Answers 1 when the trial failed (search goes on), 0 decoded, -1 the full decode failed
// (search ends).
i32 TryCombination(i32 vi, i32 level, bool guessed, u8 *output, i32 capacity) {
    if (QR_CorrectBlocks(vi, level, g_codewords, output, capacity, 1) != 0) return 1;
    if (guessed) level = StrongestPassingLevel(vi, level, output, capacity);
    return QR_CorrectBlocks(vi, level, g_codewords, output, capacity, 0) == 0 ? 0 : -1;
}

// The four format candidates of the current orientation. Answers 1 when none passed.
i32 TryFormatCandidates(u8 *matrix, const u8 *map, i32 n, const i32 *masks, const i32 *levels, u8 *output,
                        i32 capacity, i32 total) {
    const i32 vi = QR_VersionIndexOfDimension(n);
    for (i32 k = 0; k < 4; ++k) {
        if (masks[k] < 0 || levels[k] < 0) continue;
        QR_ApplyDataMask(matrix, map, n, masks[k]);
        QR_ReadCodewords(g_codewords, matrix, map, n, total);
        const i32 result = TryCombination(vi, levels[k], false, output, capacity);
        if (result != 1) return result;
        QR_ApplyDataMask(matrix, map, n, masks[k]);
    }
    return 1;
}

// Every mask and level of one orientation, skipping the codes already tried (sorted, ending
// with -1). Answers 1 when none passed.
i32 SearchAllCombinations(u8 *matrix, const u8 *map, i32 n, const i32 *tried, i32 *position, i32 codeBase,
                          u8 *output, i32 capacity, i32 total) {
    const i32 vi = QR_VersionIndexOfDimension(n);
    for (i32 mask = 0; mask < 8; ++mask) {
        QR_ApplyDataMask(matrix, map, n, mask);
        QR_ReadCodewords(g_codewords, matrix, map, n, total);
        for (i32 level = 0; level < 4; ++level) {
            if (tried[*position] == mask + 8 * level + codeBase) {
                ++*position;
                continue;
            }
            const i32 result = TryCombination(vi, level, true, output, capacity);
            if (result != 1) return result;
        }
        QR_ApplyDataMask(matrix, map, n, mask);
    }
    return 1;
}

}  // namespace

i32 QR_MaskBit(i32 mask, i32 column, i32 row) {
    if (column < 0 || row < 0) return 0;
    const i32 i = row;
    const i32 j = column;
    const i32 p = i * j;  // at most 176 * 176
    bool invert = false;
    switch (mask) {
        case 0: invert = (i + j) % 2 == 0; break;
        case 1: invert = i % 2 == 0; break;
        case 2: invert = j % 3 == 0; break;
        case 3: invert = (i + j) % 3 == 0; break;
        case 4: invert = (i / 2 + j / 3) % 2 == 0; break;
        case 5: invert = p % 2 + p % 3 == 0; break;
        case 6: invert = (p % 2 + p % 3) % 2 == 0; break;
        case 7: invert = (p % 3 + (i + j) % 2) % 2 == 0; break;
        default: return 0;
    }
    return invert ? 1 : 0;
}

i32 QR_ReadMaskedModule(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    if (matrix == nullptr || mask < 0 || mask > 7) return -1;
    return (matrix[static_cast<i64>(y) * stride + x] != 0 ? 1 : 0) ^ QR_MaskBit(mask, x, y);
}

namespace {

i32 ReadUnit(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask, i32 w, i32 h) {
    if (matrix == nullptr || mask < 0 || mask > 7) return -1;
    i32 value = 0;
    for (i32 k = 0; k < w * h; ++k) value |= QR_ReadMaskedModule(matrix, x + k % w, y + k / w, stride, mask) << k;
    return value;
}

}  // namespace

i32 QR_ReadUnit2x2(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) { return ReadUnit(matrix, x, y, stride, mask, 2, 2); }
i32 QR_ReadUnit2x4(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) { return ReadUnit(matrix, x, y, stride, mask, 2, 4); }
i32 QR_ReadUnit4x2(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) { return ReadUnit(matrix, x, y, stride, mask, 4, 2); }

i32 QR_ApplyDataMask(u8 *matrix, const u8 *map, i32 n, i32 mask) {
    if (!ValidMatrix(matrix, map, n) || mask < 0 || mask > 7) return -1;
    for (i32 r = 0; r < n; ++r) {
        for (i32 c = 0; c < n; ++c) {
            if (map[r * n + c] == 0) matrix[r * n + c] ^= static_cast<u8>(QR_MaskBit(mask, c, r));
        }
    }
    return 0;
}

void QR_MarkTimingLines(u8 *map, i32 n) {
    if (map == nullptr || n < kQrMinDimension || n > kQrMaxDimension) return;
    MarkSquare(map, n, 6, 0, 1, n);
    MarkSquare(map, n, 0, 6, n, 1);
}

void QR_MarkAlignmentPatterns(u8 *map, i32 n) {
    if (map == nullptr || !QR_IsDimension(n)) return;
    const i32 vi = QR_VersionIndexOfDimension(n);
    const i32 count = QR_GetAlignmentCount(vi);
    const u8 *coords = QR_GetAlignmentCoords(vi);
    for (i32 ia = 0; ia < count; ++ia) {
        for (i32 ib = ia; ib < count; ++ib) {
            const i32 a = coords[ia];
            const i32 b = coords[ib];
            // The patterns that would overlap a finder are left out.
            const auto overlapsFinder = [n](i32 r, i32 c) {
                return (r == 6 && c == 6) || (r == 6 && c == n - 7) || (r == n - 7 && c == 6);
            };
            if (!overlapsFinder(b, a)) MarkSquare(map, n, b - 2, a - 2, 5, 5);
            if (!overlapsFinder(a, b)) MarkSquare(map, n, a - 2, b - 2, 5, 5);
        }
    }
}

i32 QR_BuildFunctionMap(u8 *map, i32 n) {
    if (map == nullptr || !QR_IsDimension(n)) return 0;
    for (i32 i = 0; i < n * n; ++i) map[i] = 0;
    MarkFindersAndFormat(map, n);
    if (QR_VersionIndexOfDimension(n) > 5) MarkVersionBlocks(map, n);
    QR_MarkAlignmentPatterns(map, n);
    QR_MarkTimingLines(map, n);
    return 1;
}

i32 QR_ReadCodewords(u8 *codewords, const u8 *matrix, const u8 *map, i32 n, i32 count) {
    if (codewords == nullptr || !ValidMatrix(matrix, map, n) || count <= 0) return 0;
    i32 read = 0;
    i32 bits = 0;
    i32 value = 0;
    bool upward = true;
    for (i32 right = n - 1; right >= 1 && read < count; right -= 2) {
        if (right == 6) right = 5;  // the vertical timing pattern is no strip column
        for (i32 step = 0; step < n && read < count; ++step) {
            const i32 row = upward ? n - 1 - step : step;
            for (i32 col = right; col >= right - 1; --col) {
                if (map[row * n + col] != 0) continue;
                value = (value << 1) | (matrix[row * n + col] != 0 ? 1 : 0);
                if (++bits < 8) continue;
                codewords[read++] = static_cast<u8>(value);
                bits = 0;
                value = 0;
                if (read == count) break;
            }
        }
        upward = !upward;
    }
    return read;
}

i32 QR_CorrectBlocks(i32 vi, i32 level, const u8 *codewords, u8 *output, i32 capacity, i32 trial) {
    if (vi < 0 || vi > 39) {
        g_errorWord = kQrErrVersion;
        return -3;
    }
    QR_BLOCK_ROW row{};
    if (QR_GetBlockRow(vi, level, &row) == 0) {
        g_errorWord = kQrErrSearch;
        return -3;
    }
    if (codewords == nullptr) {
        g_errorWord = kQrErrBlock;
        return trial != 0 ? -1 : -2;
    }
    RS_ResetField();
    RS_SelectField(kQrRsCode, kQrRsFieldSize, kQrRsPolynomial);
    const BlockLayout l = MakeLayout(row);
    i32 block[kMaxBlockCodewords];
    i32 out = 0;
    for (i32 j = 0; j < l.blocks; ++j) {
        const i32 size = GatherBlock(l, codewords, j, block);
        const i32 rc = RS_DecodeBlockQr(block, size, l.check);
        if (trial != 0) return rc == 0 ? 0 : -1;
        if (rc != 0) {
            g_errorWord = kQrErrBlock;
            return -2;
        }
        for (i32 k = size - 1; k >= l.check; --k) g_dataCodewords[out++] = static_cast<u8>(block[k]);
    }
    if (QR_DecodeSegments(g_dataCodewords, out, vi, output, capacity) != 0) {
        g_errorWord = kQrErrSegments;
        return -1;
    }
    return 0;
}

i32 QR_DecodeModel2(u8 *matrix, u8 *map, i32 n, u8 *output, i32 capacity) {
    if (!ValidMatrix(matrix, map, n) || !QR_IsDimension(n)) {
        g_errorWord = kQrErrVersion;
        return -1;
    }
    const i32 total = QR_GetTotalCodewords(QR_VersionIndexOfDimension(n));
    if (output == nullptr || capacity < total) {
        g_errorWord = kQrErrCapacity;
        return -1;
    }
    i32 masks[8];
    i32 levels[8];
    QR_ReadFormatCandidates(matrix, n, masks, levels);
    i32 result = TryFormatCandidates(matrix, map, n, masks, levels, output, capacity, total);
    if (result != 1) return result;
    Transpose(matrix, n);
    Transpose(map, n);
    result = TryFormatCandidates(matrix, map, n, masks + 4, levels + 4, output, capacity, total);
    if (result != 1) return result;
    Transpose(matrix, n);
    Transpose(map, n);

    // Nine slots: the sort uses the last one as work space, then it ends the list.
    i32 tried[9];
    for (i32 k = 0; k < 8; ++k) {
        tried[k] = masks[k] < 0 || levels[k] < 0 ? -1 : masks[k] + 8 * levels[k] + (k >= 4 ? 32 : 0);
    }
    Azt_SortInts(tried, 8);
    tried[8] = -1;
    i32 position = 0;
    result = SearchAllCombinations(matrix, map, n, tried, &position, 0, output, capacity, total);
    if (result != 1) return result;
    Transpose(matrix, n);
    Transpose(map, n);
    result = SearchAllCombinations(matrix, map, n, tried, &position, 32, output, capacity, total);
    if (result != 1) return result;
    Transpose(matrix, n);
    Transpose(map, n);
    g_errorWord = kQrErrSearch;
    return -1;
}

i32 QR_GetErrorWord() { return g_errorWord; }
void QR_SetErrorWord(i32 value) { g_errorWord = value; }

}  // namespace vexo
