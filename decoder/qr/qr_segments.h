// QR data segments: the corrected data codewords become text (numeric, alphanumeric, byte,
// Kanji and GB 2312 Hanzi segments, ECI designators, FNC1 in first and second position, the
// structured-append header and the 0xFF 0xE9 data header), and the AIM identifier "]Q" plus
// modifier. The numeric, alphanumeric, byte and Kanji decoders also serve Micro QR.
//
// Version codes: the version index 0..39 (version - 1) for QR Code; -1..-4 for Micro QR
// M1..M4.
//
// Text: every write goes through g_qrData (cursor, length, capacity); no write passes the
// capacity, and a segment whose text would not fit refuses the symbol. The text is not
// terminated.
#pragma once

#include "core/types.h"

namespace vexo {

// A bit stream over data codewords, read most significant bit first. `left` counts the bits
// still valid and may go negative when more were dropped than remained; reads past the end
// of the bytes give 0 bits.
struct QR_BITS {
    const u8 *data;
    i32 byteCount;
    i32 position;  // bits consumed
    i32 left;      // bits still valid
};

// Starts a stream over byteCount bytes of which validBits count (both clamped to >= 0; a
// null buffer holds no bytes).
void QR_InitBits(QR_BITS *bits, const u8 *data, i32 byteCount, i32 validBits);
// The stream pointers below must not be null (a null stream reads as empty; a segment
// decoder refuses it).
// The next k bits (k 0..24, clamped) as a number, without consuming them.
i32 QR_PeekBits(const QR_BITS *bits, i32 k);
// Consumes and answers the next k bits (k 0..24, clamped); `left` drops by k.
i32 QR_TakeBits(QR_BITS *bits, i32 k);
// Drops the first k bits, k clamped to 0..8; `left` drops by k.
void QR_ShiftBits(QR_BITS *bits, i32 k);
// Drops k bits only when at least k are valid; answers the bits left.
i32 QR_ShiftBitsIfAvailable(QR_BITS *bits, i32 k);

// Starts a text: length 0, cursor at output, `capacity` bytes (0 for a null output or a
// negative capacity); the symbol's data pointer is set to output.
void QR_BeginText(u8 *output, i32 capacity);

// Decodes byteCount data codewords of version index vi into output (capacity bytes).
// Answers 0 (text in output, its length in g_qrData.length and g_qrSymbol.length, the AIM
// modifier formed) or -1 (refused; also for vi outside 0..39).
i32 QR_DecodeSegments(const u8 *codewords, i32 byteCount, i32 vi, u8 *output, i32 capacity);

// Segment decoders, the stream positioned after the mode indicator. Each answers the bits
// left after the segment, 0 when the stream ran out inside it (what was decoded stays), or
// -1 for a version code it does not serve, invalid data, or text that would not fit.
i32 QR_DecodeNumeric(QR_BITS *bits, i32 versionCode);
i32 QR_DecodeAlphanumeric(QR_BITS *bits, i32 versionCode);
i32 QR_DecodeByte(QR_BITS *bits, i32 versionCode);
i32 QR_DecodeKanji(QR_BITS *bits, i32 versionCode);
// GB 2312 subset only; QR Code version codes only.
i32 QR_DecodeHanzi(QR_BITS *bits, i32 versionCode);

// ECI designator: writes '\' and six digits. Answers the bits left, 0 when out of bits, -1
// when refused (unknown designator length, a value above 999999, text full).
i32 QR_DecodeEci(QR_BITS *bits);
// FNC1 in first position: -1 when text was written already, else 0.
i32 QR_SetFnc1First();
// FNC1 in second position with its application indicator (two digits or a letter). Answers
// the bits left, 0 when out of bits, -1 when refused.
i32 QR_DecodeFnc1Second(QR_BITS *bits);
// Structured-append header (16 bits) into g_qrSymbol.sa when that is set. Answers the bits
// left, negative when the header is cut short (nothing recorded then).
i32 QR_ReadStructuredAppend(QR_BITS *bits);
// Data header at the start of the stream (see QR_StoreHeaderMode). Answers the bits left or
// -1 when refused.
i32 QR_CheckDataHeader(QR_BITS *bits);

// Character-count indicator width of a segment: mode indicator 1 numeric, 2 alphanumeric,
// 4 byte, 8 Kanji, 13 Hanzi; -1 for a version code the segment does not serve.
i32 QR_CountBits(i32 mode, i32 versionCode);
// The alphanumeric character of a value 0..44, else 45.
i32 QR_AlnumChar(i32 value);

// AIM modifier from the decode path and the ECI and FNC1 words of g_qrSymbol.
void QR_SetAimModifier();
// Writes ']', 'Q' and the modifier into out[0..2] (no terminator); a null out is ignored.
void QR_WriteAimId(u8 *out);
// The data-header mode word: low byte 0 (plain), 255 or 254; second byte the header byte
// mode 254 expects.
void QR_StoreHeaderMode(i32 mode);

// The AIM modifier character; '1' at load.
extern u8 g_qrAimModifier;

}  // namespace vexo
