// Micro QR format and data: the decoder's entry for one finder summary, the format word
// read in both bit orders (a mirrored symbol reads reversed and decodes transposed), the
// module matrix, the timing check and the data stage.
#pragma once

#include "core/types.h"
#include "qr/mqr_grid.h"
#include "toolkit/matrix.h"
#include "toolkit/perspective.h"

namespace vexo {

// 1 when a format reading decodes to a symbol (text read, length set), else 0.
int MQR_DecodeFormats(MQR_STATE *s);
// Both format readings: 1 when at least one succeeded.
int MQR_ReadFormat(MQR_STATE *s);
// One bit byte per module point (dark 1 for a dark-on-light symbol).
void MQR_SampleFormatBits(const PERSPECTIVE *w, const GEO_POINT *points, u8 *bits, i32 n, i32 polarity);
// One attempt on format entry 0: 1 when a symbol was decoded.
int MQR_DecodeMatrix(MQR_STATE *s);
// Samples the module centres of entry 0's size into grey: 1 when walked.
int MQR_SampleModules(MQR_STATE *s, u8 *grey);
// 1 when both timing patterns of the bit matrix are within the size's tolerance.
int MQR_CheckTiming(const MODULE_BITS *m);
int MQR_TimingTolerance(i32 size, i32 mismatches);
void MQR_TransposeMatrix(u8 *m, i32 n);
// Mismatches of bits[start], bits[start + step], ... (below end) against 1, 0, 1, ...
i32 MQR_CountAlternationErrors(const u8 *bits, i32 start, i32 end, i32 step);

}  // namespace vexo
