// Model 1 codewords: units in reading order, blocks one after another, and the decoder.
#include "qr/qr_model1.h"

#include "qr/qr_codewords.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

namespace {

constexpr i32 kQrRsCode = 2;
constexpr i32 kQrRsFieldSize = 256;
constexpr i32 kQrRsPolynomial = 0x11D;
constexpr i32 kMaxBlock = 255;

// Error-correction blocks of Model 1 (ISO/IEC 18004:2000, Annex M): per version and level
// (L, M, Q, H) the block count, codewords per block and data codewords per block.
struct Model1Blocks {
    u8 count;
    u8 total;
    u8 data;
};
constexpr Model1Blocks kModel1Blocks[kQrModel1MaxVersion][4] = {
    {{1, 26, 19}, {1, 26, 16}, {1, 26, 13}, {1, 26, 9}},
    {{1, 46, 36}, {1, 46, 30}, {1, 46, 24}, {1, 46, 16}},
    {{1, 72, 57}, {1, 72, 44}, {1, 72, 36}, {1, 72, 24}},
    {{1, 100, 80}, {1, 100, 60}, {1, 100, 50}, {1, 100, 34}},
    {{1, 134, 108}, {1, 134, 82}, {1, 134, 68}, {2, 67, 23}},  // version 5
    {{1, 170, 136}, {2, 85, 53}, {2, 85, 43}, {2, 85, 29}},
    {{1, 212, 170}, {2, 106, 66}, {2, 106, 54}, {3, 70, 24}},
    {{2, 128, 104}, {2, 128, 80}, {2, 128, 64}, {3, 85, 29}},
    {{2, 153, 123}, {2, 153, 93}, {3, 102, 52}, {3, 102, 34}},
    {{2, 179, 145}, {2, 179, 111}, {3, 119, 61}, {4, 89, 31}},  // version 10
    {{2, 208, 168}, {4, 104, 64}, {4, 104, 52}, {5, 83, 29}},
    {{2, 238, 192}, {4, 119, 73}, {4, 119, 61}, {5, 95, 33}},
    {{3, 180, 144}, {4, 135, 83}, {4, 135, 69}, {6, 90, 32}},
    {{3, 203, 163}, {4, 152, 92}, {5, 122, 62}, {6, 101, 35}},
};
static_assert(sizeof(kModel1Blocks) == kQrModel1MaxVersion * 4 * 3);

i32 g_units[kQrModel1MaxUnits];
u8 g_dataBytes[kQrModel1MaxUnits];

using UnitReader = i32 (*)(const u8 *, i32, i32, i32, i32);

struct UnitWalk {
    const u8 *matrix;
    i32 n;
    i32 mask;
    i32 *out;
    i32 count;
};

void Take(UnitWalk *w, UnitReader read, i32 x, i32 y) {
    if (w->count < kQrModel1MaxUnits) w->out[w->count++] = read(w->matrix, x, y, w->n, w->mask);
}

// 2 x 4 units of one column pair at rows from..9, stepping 4 upwards.
void TakeColumnPair(UnitWalk *w, i32 x, i32 from) {
    for (i32 y = from; y >= 9; y -= 4) Take(w, QR_ReadUnit2x4, x, y);
}

// 4 x 2 units of one column group from row `from` up to row 0, skipping the timing row.
void TakeColumnGroup(UnitWalk *w, i32 x, i32 from) {
    for (i32 y = from; y >= 0; y = y == 7 ? 4 : y - 2) Take(w, QR_ReadUnit4x2, x, y);
}

bool IsModel1Dimension(i32 n) { return QR_IsDimension(n) && (n - 17) / 4 <= kQrModel1MaxVersion; }

}  // namespace

i32 QR_ReadModel1Codewords(const u8 *matrix, i32 n, i32 mask, i32 *codewords) {
    if (matrix == nullptr || codewords == nullptr || mask < 0 || mask > 7 || !IsModel1Dimension(n)) return 0;
    const i32 vi = (n - 21) / 4;
    UnitWalk w{matrix, n, mask, codewords, 0};
    Take(&w, QR_ReadUnit2x2, n - 2, n - 4);
    // The right-hand pair skips the rows between 13 and 9 (between 17 and 9 for even versions).
    for (i32 y = n - 8; y > 7; y = y == 13 ? 9 : y - 8) Take(&w, QR_ReadUnit2x4, n - 2, y);
    TakeColumnPair(&w, n - 4, n - 4);
    for (i32 y = n - 2; y >= 9; y -= 2) Take(&w, QR_ReadUnit4x2, n - 8, y);
    i32 budget = (vi + 1) / 2;
    i32 group = 0;
    for (i32 x = n - 12; x > 8; x -= 4, ++group) {
        i32 from = n - 2;
        if (group % 2 == 0 && budget > 0) {
            from = n - 4;
            --budget;
        }
        TakeColumnGroup(&w, x, from);
    }
    static constexpr i32 kLeftPairs[4] = {7, 4, 2, 0};
    for (const i32 x : kLeftPairs) TakeColumnPair(&w, x, n - 12);
    return w.count;
}

i32 QR_CorrectModel1Blocks(i32 *codewords) {
    const i32 vi = g_qrData.versionIndex;
    const i32 level = g_qrData.level;
    if (codewords == nullptr || vi < 0 || vi >= kQrModel1MaxVersion || level < 0 || level > 3) {
        QR_SetErrorWord(kQrErrBlock);
        return -1;
    }
    const Model1Blocks b = kModel1Blocks[vi][level];
    const i32 c = b.count, s = b.total, k = b.data;
    RS_ResetField();
    RS_SelectField(kQrRsCode, kQrRsFieldSize, kQrRsPolynomial);
    i32 block[kMaxBlock];
    for (i32 j = 0; j < c; ++j) {
        // Lowest degree first: the last check codeword leads, the first data codeword ends.
        i32 *data = codewords + j * k;
        i32 *check = codewords + c * k + j * (s - k);
        for (i32 i = 0; i < s - k; ++i) block[i] = check[s - k - 1 - i];
        for (i32 i = 0; i < k; ++i) block[s - k + i] = data[k - 1 - i];
        if (RS_DecodeBlockQr(block, s, s - k) != 0) {
            QR_SetErrorWord(kQrErrBlock);
            return -1;
        }
        for (i32 i = 0; i < s - k; ++i) check[s - k - 1 - i] = block[i];
        for (i32 i = 0; i < k; ++i) data[k - 1 - i] = block[s - k + i];
    }
    return c * k;
}

i32 QR_DecodeModel1(u8 *matrix, i32 n, u8 *output, i32 capacity) {
    g_qrData.versionIndex = (n - 21) / 4;
    QR_SetErrorWord(kQrErrSegments);
    const i32 units = QR_ReadModel1Codewords(matrix, n, g_qrData.mask, g_units);
    const i32 d = units > 0 ? QR_CorrectModel1Blocks(g_units) : -1;
    if (d <= 0 || d > units) {
        QR_SetErrorWord(kQrErrBlock);
        return -2;
    }
    for (i32 i = 0; i < d; ++i) g_dataBytes[i] = static_cast<u8>(g_units[i] & 0xFF);
    if (QR_DecodeSegments(g_dataBytes, d, g_qrData.versionIndex, output, capacity) != 0) {
        QR_SetErrorWord(kQrErrSegments);
        return -1;
    }
    return 0;
}

}  // namespace vexo
