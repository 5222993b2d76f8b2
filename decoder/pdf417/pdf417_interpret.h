// Corrected PDF417 and MicroPDF417 codewords to result bytes: the two error-correction entries
// over GF(929) and the interpreters of the mode codewords (text, byte and numeric compaction,
// ECI escapes, the Macro PDF417 block, the MicroPDF417 wrappers). Every interpreter writes
// into a caller buffer of `capacity` bytes and refuses a text that would not fit.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kPdfInvalidStream = -10;
inline constexpr i32 kPdfCorrectionFailed = -20;

// The MicroPDF417 interpretation (the only type any decode path uses).
inline constexpr i32 kPdfTypeMicro = 1;

// Corrects count codewords (data and 2^(level+1) check codewords; level 0..8) in place, then
// interprets the data. Answers the text length, -20 when correction fails, -10 for an invalid
// codeword stream or a text longer than capacity.
i32 PDF_CorrectAndDecode(i32 *codewords, i32 count, i32 level, u8 *out, i32 capacity);

// The same with an explicit check count; type 1 interprets the data as MicroPDF417 (any other
// type answers -10). Answers as MPDF_InterpretCodewords, or -20.
i32 PDF_CorrectAndDecodeTyped(i32 *codewords, i32 count, i32 checkCount, i32 type, u8 *out, i32 capacity);

// PDF417 data codewords (codeword 0 the length descriptor, count codewords in all) to text.
// With the region flag set, a first data codeword 920 hands the codewords from it on to the
// composite data decoding. Answers the length, or -10 for an invalid stream (also a descriptor
// above count, or a text longer than capacity); the text is not terminated.
i32 PDF_InterpretCodewords(const i32 *codewords, i32 count, u8 *out, i32 capacity);

// MicroPDF417 data codewords (no length descriptor) to text, type 1 only. Answers the length,
// 0 for a stream this reader refuses (first codeword 920, any 921, a bad date field after
// 912), or -10 for an invalid stream or a text longer than capacity.
i32 MPDF_InterpretCodewords(const i32 *codewords, i32 count, i32 type, u8 *out, i32 capacity);

// The mode a MicroPDF417 codeword acts as: 900 for 903, 906, 908 and 910; 902 for 904, 905,
// 907, 909, 911, 912, 914 and 915; every other value as it stands.
i32 PDF_ModeOfCodeword(i32 codeword);

}  // namespace vexo
