// The MaxiCode data layer: the 144 codewords of a symbol become text. The primary and the
// two secondary blocks are corrected over GF(64), the mode picks the error-correction level,
// the message codewords go through the five code sets of ISO/IEC 16023 (shifts, latches,
// locks, padding, ECI escapes, numeric shift, structured-append indicator), and modes 2 and
// 3 add the structured carrier message to the text. Every stage is callable on its own.
#pragma once

#include "aztec_maxicode/maxi_module.h"
#include "core/types.h"

namespace vexo {

// Results of Maxi_DecodeCodewords.
inline constexpr i32 kMaxiDecoded = 0;
inline constexpr i32 kMaxiCorrectionFailed = 1;
inline constexpr i32 kMaxiTextFailed = -1;
inline constexpr i32 kMaxiBadMode = -2;
inline constexpr i32 kMaxiBadCarrier = -3;
inline constexpr i32 kMaxiBadCount = -4;

// An ECI escape writes 7 bytes for 2 codewords: 93 message codewords give at most
// 46 x 7 + 1 = 323 bytes. Text buffers hold one byte more.
inline constexpr i32 kMaxiMaxTextBytes = 323;
inline constexpr i32 kMaxiTextBufferBytes = 324;
// The structured carrier message is inserted in a work buffer of this size.
inline constexpr i32 kMaxiCarrierTextBytes = 256;

// Code sets.
enum MaxiCodeSet : i32 { kMaxiSetA = 0, kMaxiSetB, kMaxiSetC, kMaxiSetD, kMaxiSetE };

// The five code sets of ISO/IEC 16023 (its table of code set characters): the byte of each
// value's character, -1 for a function value.
extern const i16 kMaxiCodeSets[5][64];

// Decodes 144 codewords (any i32 values: those outside 0..63 read as 0) into text, which
// must hold kMaxiTextBufferBytes bytes; corrects in a private copy. Answers 0 (text and
// *length set, the AIM modifier written, the append record filled when the symbol carries an
// indicator), 1 (a Reed-Solomon block could not be corrected), -1 (code-set decoding
// failed), -2 (mode not 2..6), -3 (carrier message invalid: a bad postal character, a
// service class above 999, a postal length above 12, or a text longer than 256 bytes after
// the insertion) or -4 (count not 144, text untouched). On failure *length and the AIM
// modifier keep their values; bytes written to text stay.
i32 Maxi_DecodeCodewords(const i32 *codewords, i32 count, u8 *text, i32 *length, MAXI_CARRIER *carrier);

// Decodes n message bytes (values 0..63) starting in set A. text holds 7 x n / 2 + 1 bytes
// (kMaxiTextBufferBytes for 93). 1 with *length set, or 0.
i32 Maxi_DecodeCodeSets(const u8 *message, i32 n, u8 *text, i32 *length);

// Set decoders: work from *position while their set is current; answer the number of bytes
// written at out, or -1. They advance *position (to n when the message ends) and may change
// the current set.
i32 Maxi_DecodeSetA(const u8 *message, i32 *position, i32 n, i32 *set, u8 *out);
i32 Maxi_DecodeSetB(const u8 *message, i32 *position, i32 n, i32 *set, u8 *out);
i32 Maxi_DecodeSetCDE(const u8 *message, i32 set, i32 *position, i32 n, i32 *nextSet, u8 *out);

// The ECI designator of `codewords` (1..4) codewords as six digits in out: 1, or 0 when the
// value passes 999,999.
i32 Maxi_ReadEci(u8 out[6], const u8 *designator, i32 codewords);

// Numeric shift: the five codewords after *position (those at or past n read 0) as nine
// digits; advances *position past them. 9, or -1 above 999,999,999.
i32 Maxi_ReadNumericShift(u8 *out, const u8 *message, i32 *position, i32 n);

// A structured-append indicator: the position, and the count in *count (1..8 each).
i32 Maxi_ReadAppendCodeword(u8 codeword, i32 *count);

// Reads the carrier fields of mode 2 or 3 from the corrected primary codewords 0..9.
// 1, -3 (a mode 3 postal character that is a function value of set A, a mode 2 postal
// length above 12) or -5 (service class above 999).
i32 Maxi_ReadCarrierMessage(const i32 *primary, MAXI_CARRIER *carrier, i32 mode);

// Adds postal code, country code and service class, each followed by GS, to the text of mode
// 2 or 3: after the first min(9, *length) bytes when headerPresent, else in front. Other
// modes: nothing. 1, or 0 when the new text would pass 256 bytes (text left alone).
i32 Maxi_InsertCarrierMessage(u8 *text, i32 *length, i32 headerPresent, i32 mode, const MAXI_CARRIER *carrier);

// Exactly width characters of value (>= 0) in decimal, right-aligned and zero-padded; a
// value with more digits gives its first width digits.
void Maxi_FormatDigits(char *out, i32 value, i32 width);

// The AIM modifier: modes 2, 3 '1' ('3' with an ECI); modes 4, 5 '0' ('2'); otherwise 0.
u8 Maxi_AimModifier(i32 mode, i32 eciCount);

// Codeword c = the bits (one byte each, 1 dark, by module index) of placement row c, the
// first as bit 5. Writes 144 codewords and answers 144.
i32 Maxi_AssembleCodewords(const u8 *bits, i32 *codewords);

}  // namespace vexo
