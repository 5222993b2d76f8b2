// Data of a GS1 composite component (CC-A, CC-B, and CC-C through the PDF417 interpreter):
// corrected data codewords to a bit stream (base 928, or bytes after 920), and the bit stream
// to plain element strings by its encodation method (general purpose, "10", "11"), with the
// implied AI numbers written as digits and no separator for FNC1.
#pragma once

#include "core/types.h"

namespace vexo {

struct PDF_TEXT;

// The bit stream: slots of which the low 16 bits are used; stream bit p is bit 15 - p % 16
// of slot p / 16.
inline constexpr i32 kCcBitSlots = 1410;
inline constexpr i32 kCcBitCapacity = kCcBitSlots * 16;
// Bytes that the slots hold (the byte step's limit).
inline constexpr i32 kCcByteCapacity = kCcBitSlots * 2;
// Base-928 chunks are written only when they start at or before this bit.
inline constexpr i32 kCcBase928BitLimit = 1600;
// Data codewords of the largest symbol.
inline constexpr i32 kCcMaxCodewords = 928;

// General-purpose field modes.
enum CcMode : i32 { kCcNumeric = 0, kCcAlphanumeric = 1, kCcIso646 = 2, kCcUpperCase = 3 };

// Where a general-purpose field stands: the bit position and mode it continues from, and
// whether the last field ended at an FNC1 (another field may follow). With stopAtFnc1 a
// numeric pair that holds an FNC1 ends the field too (method "11" places its next AI there);
// the pair's digit after the FNC1 is then carried to the next field, which writes it first.
struct CC_CURSOR {
    i32 position;
    i32 mode;
    i32 endedAtFnc1;
    i32 stopAtFnc1;
    i32 carryDigit;  // -1: none
};

// Non-zero: the AI numbers that the encodation methods imply are written (1 at load; no
// decode path changes it).
extern i32 ccEmitAiDigits;
// Set while the batch-number AI (10) is due in front of the field's first characters.
extern i32 ccLotAiPending;

void CC_SetEmitAiDigits(i32 on);

// Data codewords (values 0..928, at most 928 of them) to text in a buffer of `capacity`
// bytes. Answers the characters written, or 0 when nothing could be decoded: a codeword out
// of range, a refused byte step, too few bits, a method-11 prefix out of range, or a text
// that would not fit together with the NUL that the general-purpose and method-11 paths
// write after it.
i32 CC_DecodeData(const i32 *codewords, i32 count, u8 *text, i32 capacity);

// Base-928 groups of seven codewords (the last 1..7) as binary numbers of 10k - 1 bits, one
// after the other; chunks that start past bit 1,600 are not written. Answers the bit count.
i32 CC_Base928ToBits(u32 *bits, const i32 *codewords, i32 count);

// A sequence that may begin with 920 to bytes (byte, numeric and text compaction). Answers
// the byte count, or -10 for an unknown mode codeword, a broken 924 group, a text latch 900
// inside the sequence, or bytes beyond capacity.
i32 CC_CodewordsToBytes(const i32 *codewords, i32 count, u8 *bytes, i32 capacity);

// Decodes bitCount bits (at most kCcBitCapacity are read) by their encodation method into
// out. Answers the characters written (0 when refused); out->overflow tells a text that did
// not fit.
i32 CC_DecodeBitStream(const u32 *bits, i32 bitCount, PDF_TEXT *out);

// One general-purpose field from cursor->position in cursor->mode; updates the cursor.
// Answers the characters written.
i32 CC_DecodeGeneralField(const u32 *bits, i32 bitCount, PDF_TEXT *out, CC_CURSOR *cursor);

i32 CC_DecodeMethod10(const u32 *bits, i32 bitCount, PDF_TEXT *out);
i32 CC_DecodeMethod11(const u32 *bits, i32 bitCount, PDF_TEXT *out);

// Writes the low n (0..32) bits of value at position, most significant first; bits past the
// stream's capacity are dropped.
void CC_PutBits(u32 *bits, i32 position, i32 n, u32 value);
// The n (0..32) bits at position as a number; bits past the capacity read 0.
u32 CC_GetBits(const u32 *bits, i32 position, i32 n);

// The decoder's own bit buffer.
extern u32 g_ccBits[kCcBitSlots];

}  // namespace vexo
