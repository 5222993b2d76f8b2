#include "qr/qr_tables.h"

namespace vexo {

i32 QR_GetTotalCodewords(i32 vi) {
    if (vi < 0 || vi > 39) return 0;
    return kQrTotalCodewords[vi];
}

i32 QR_GetBlockRow(i32 vi, i32 level, QR_BLOCK_ROW *row) {
    if (vi < 0 || vi > 39 || level < 0 || level > 3 || row == nullptr) return 0;
    const u8 *b = kQrBlockTable + (vi * 4 + level) * kQrBlockRowBytes;
    *row = QR_BLOCK_ROW{b[0], b[1], b[2], b[3], b[4], b[5]};
    return 1;
}

i32 QR_GetAlignmentCount(i32 vi) {
    if (vi < 0 || vi > 39) return 0;
    if (vi == 0) return 0;
    return (vi + 1) / 7 + 2;
}

const u8 *QR_GetAlignmentCoords(i32 vi) {
    if (vi < 0 || vi > 39) return nullptr;
    return kQrAlignmentCoords + vi * kQrAlignSlots;
}

}  // namespace vexo
