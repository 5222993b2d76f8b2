// Format and version information of QR Code and Micro QR: the BCH (15,5) corrector shared
// by the three format variants, the error-trapping corrector of the 18-bit version word, the
// split of a format word into level and mask, and the eight format readings of a Model 2
// module matrix (layout in qr/qr_matrix.h).
//
// Levels are numbered 0 L, 1 M, 2 Q, 3 H throughout.
#pragma once

#include "core/types.h"

namespace vexo {

// Masks XORed onto the format codeword in the symbol, per variant.
inline constexpr i32 kQrFormatMaskModel2 = 0x5412;
inline constexpr i32 kQrFormatMaskModel1 = 0x2825;
inline constexpr i32 kMqrFormatMask = 0x4445;
// Generator of the version code: x^12 + x^11 + x^10 + x^9 + x^8 + x^5 + x^2 + 1.
inline constexpr i32 kQrVersionGenerator = 0x1F25;

// Value of the polynomial sum coeffs[i] x^i (k coefficients, each an element of the field)
// at the element x, by Horner's rule over the field described by its log and antilog tables
// (fieldSize entries each; log[0] unused). x = 0 gives coeffs[0]; k <= 0 or a null array
// gives 0.
i32 QR_GfEvalPoly(i32 k, const i32 *coeffs, i32 x, i32 fieldSize, const i32 *log, const i32 *antilog);

// Binary BCH decoding of the word bits[0..n-1] (element i = bit i; any non-zero element
// counts as 1 and is stored back as 1) with Peterson's direct solution for up to three
// errors. oddSyndromes is 2t - 1 and must be 5; fieldSize a power of two 4..256 and
// polynomial a primitive polynomial of that degree; 1 <= n < fieldSize. Answers 0 when the
// word is (now, corrected in place) a codeword, 1 when it is rejected or the arguments are
// outside those bounds (a rejected word may hold flipped bits). With n = 15, field 16 and
// polynomial 0x13 exactly the words within distance 3 of a codeword are corrected.
i32 QR_BchCorrect(i32 *bits, i32 n, i32 oddSyndromes, i32 fieldSize, i32 polynomial);
// 1 when fieldSize exceeds 18 or oddSyndromes exceeds 5, else QR_BchCorrect.
i32 QR_BchCorrectChecked(i32 *bits, i32 n, i32 oddSyndromes, i32 fieldSize, i32 polynomial);

// bitCount 15: the raw Model 2 format word (low 15 bits read) corrected, mask applied again,
// or 0 when rejected (a corrected raw word is never 0). bitCount 18: QR_DecodeVersionWord.
// Any other count: 0.
i32 QR_CorrectFormatWord(i32 word, i32 bitCount);
// As QR_CorrectFormatWord with 15 bits and the Model 1 mask; any other count gives 0.
i32 QR_CorrectModel1FormatWord(i32 word, i32 bitCount);
// As QR_CorrectFormatWord with 15 bits and the Micro QR mask.
i32 MQR_CorrectFormatWord(i32 word);

// The raw 18-bit version word (bits above 17 ignored) corrected by error trapping over the
// cyclic length-23 code that kQrVersionGenerator generates: version in bits 17..12, or 0
// when rejected. Every pattern of up to three errors inside 12 consecutive places of the
// cycle is corrected. The caller checks the version against 1..40.
i32 QR_DecodeVersionWord(i32 word);

// Level of the two level bits of an unmasked QR format word: 01 -> 0, 00 -> 1, 11 -> 2,
// 10 -> 3 (only the low two bits are read).
i32 QR_LevelFromFormatBits(i32 bits);
// Stores level (bits 4..3) and mask (bits 2..0) of the five unmasked data bits of a Model 1
// format word into g_qrData; answers the mask.
i32 QR_SetLevelAndMask(i32 dataBits);

// The eight format readings of a Model 2 matrix of dimension n: 0 both halves of the first
// copy, 1 both of the second, 2 first-copy high with second-copy low, 3 second-copy high
// with first-copy low; 4..7 readings 0, 1, 3, 2 of the transposed matrix. masks[k] and
// levels[k] receive the mask 0..7 and level 0..3 of reading k, both -1 when it is rejected.
// A null matrix or n outside 21..177 gives -1 everywhere.
void QR_ReadFormatCandidates(const u8 *matrix, i32 n, i32 masks[8], i32 levels[8]);

// Binary polynomial long division of dividend (top bit index topBit, at most 30) by divisor
// (degree degree, 1..topBit): the quotient when wantQuotient is non-zero, else the remainder.
// Arguments outside those bounds give 0.
i32 QR_PolyDivide(i32 dividend, i32 topBit, i32 divisor, i32 degree, i32 wantQuotient);
// Version index of a matrix from its size: (n - 21) / 4 below 42; from 42 on the version
// block beside the top-right finder, else the one above the bottom-left finder, corrected;
// the version index when its dimension equals n, else -1 (also for a null matrix or n
// outside 21..177).
i32 QR_ReadVersionFromMatrix(const u8 *matrix, i32 n);
// Level of the first accepted of four mixed format readings (two plain, two transposed):
// writes its mask to *mask and 1 to *transposed when a transposed reading gave it (else 0);
// answers the level, or -1 when all four are rejected (outputs untouched).
i32 QR_ReadFormatLevel(const u8 *matrix, i32 n, i32 *mask, i32 *transposed);

i32 QR_MinInt(i32 a, i32 b);
i32 QR_MaxInt(i32 a, i32 b);
// (a - 20) / 5, truncated, at least 12.
i32 QR_ScaleDownMin12(i32 a);

}  // namespace vexo
