// The compaction decoders of the PDF417 family (text, numeric and byte compaction), shared by
// the PDF417 and MicroPDF417 interpreters, the Macro PDF417 text fields and the byte step of
// composite components. Every decoder writes through a PDF_TEXT, which refuses a write that
// would pass its capacity and remembers that it did.
#pragma once

#include "core/types.h"

namespace vexo {

// Codeword values: 0..899 data, 900..928 mode and control codewords.
inline constexpr i32 kPdfFirstModeCodeword = 900;
inline constexpr i32 kPdfMaxCodeword = 928;

inline constexpr i32 kPdfLatchText = 900;
inline constexpr i32 kPdfLatchByte = 901;
inline constexpr i32 kPdfLatchNumeric = 902;
inline constexpr i32 kPdfShiftByte = 913;
inline constexpr i32 kPdfLatchByte6 = 924;

// Text compaction sub-modes.
enum PdfSubMode : i32 { kPdfAlpha = 0, kPdfLower = 1, kPdfMixed = 2, kPdfPunct = 3 };

// An output text: `length` bytes of `data` are written; a write that does not fit sets
// `overflow` and writes nothing.
struct PDF_TEXT {
    u8 *data;
    i32 capacity;
    i32 length;
    i32 overflow;
};

// Starts an empty text over `capacity` bytes (0 for a null buffer or a negative capacity).
void PDF_BeginText(PDF_TEXT *text, u8 *data, i32 capacity);
// Appends one byte, or n bytes all or none. Answer 1, or 0 (overflow set) when there is no room.
i32 PDF_PutByte(PDF_TEXT *text, u8 byte);
i32 PDF_PutBytes(PDF_TEXT *text, const u8 *bytes, i32 n);

inline bool PDF_IsDataCodeword(i32 c) { return c >= 0 && c < kPdfFirstModeCodeword; }

// First index at or after `from` (below `end`) that holds no data codeword, else `end`.
i32 PDF_DataRunEnd(const i32 *codewords, i32 from, i32 end);
// The same for a text run, which also carries byte shifts (913).
i32 PDF_TextRunEnd(const i32 *codewords, i32 from, i32 end);

// Text compaction of codewords[from..to-1] (data codewords and 913) starting in sub-mode
// `subMode` (kPdfAlpha for every run but the MicroPDF417 917 wrapper). A value 29 while a
// Punctuation shift is pending ends the run. Answers the text length.
i32 PDF_DecodeText(const i32 *codewords, i32 from, i32 to, PDF_TEXT *out, i32 subMode);

// Decimal digits, least significant first, of a base-900 group (at most 50 digits).
inline constexpr i32 kPdfMaxDigits = 50;
struct PDF_DIGITS {
    u8 digit[kPdfMaxDigits];
    i32 count;
};
// digits = digits x factor (factor 0..9999); digits beyond the fiftieth are dropped.
void PDF_DigitsMultiply(PDF_DIGITS *digits, i32 factor);
// digits = digits + value (value 0..9999).
void PDF_DigitsAdd(PDF_DIGITS *digits, i32 value);

// Numeric compaction of the data codewords codewords[from..to-1]: groups of 15 codewords, each
// a base-900 number whose decimal digits after the leading one are written. Answers the text
// length.
i32 PDF_DecodeNumeric(const i32 *codewords, i32 from, i32 to, PDF_TEXT *out);

// Five data codewords as a base-900 number, written as six bytes, most significant first
// (the low 48 bits of a value that reaches 900^5).
void PDF_DecodeByteGroup(const i32 codewords[5], u8 out[6]);

// Byte compaction of the data codewords codewords[from..to-1]. grouped 0 (901): groups of five
// become six bytes while a sixth codeword follows, the last (at most five) one byte each.
// grouped 1 (924): groups of five only. Answers 1, or 0 for a 924 run that does not end on a
// group boundary (overflow is left to the caller to test).
i32 PDF_DecodeByteRun(const i32 *codewords, i32 from, i32 to, i32 grouped, PDF_TEXT *out);

}  // namespace vexo
