// QR Code Model 1 codewords and error correction: the codeword units in their reading order,
// the error-correction blocks one after another, and the decoder that hands the data
// codewords to the segment decoder. Matrix layout: qr/qr_matrix.h.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kQrModel1MaxVersion = 14;
inline constexpr i32 kQrModel1MaxUnits = 610;

// Reads the codeword units of the n x n Model 1 matrix (n = 4 version + 17, versions 1..14)
// in reading order into codewords (kQrModel1MaxUnits entries), the mask removed; the first
// carries 4 bits, the others 8. Answers the number read (26..610), 0 for a null buffer, a
// mask outside 0..7 or n not a Model 1 dimension.
i32 QR_ReadModel1Codewords(const u8 *matrix, i32 n, i32 mask, i32 *codewords);
// Corrects the blocks of the version index and level of g_qrData in place; answers the
// number of data codewords, or -1 (error word 10) for an uncorrectable block, a version
// index outside 0..13, a level outside 0..3 or a null array.
i32 QR_CorrectModel1Blocks(i32 *codewords);

}  // namespace vexo
