// Micro QR codewords and data: the symbol table, the codeword units at fixed positions per
// symbol, the one Reed-Solomon block, and the bit stream with Micro QR's mode indicators
// and terminators over the QR segment decoders. Matrix: s x s bytes row by row, 1 dark
// (foreground), s = 11, 13, 15 or 17.
#pragma once

#include "core/types.h"
#include "qr/qr_segments.h"

namespace vexo {

inline constexpr i32 kMqrSymbolCount = 8;
inline constexpr i32 kMqrMaxCodewords = 24;

// One row per symbol number (ISO/IEC 18004, Micro QR: Tables 1, 7 and 9).
struct MQR_SYMBOL_ROW {
    i32 versionCode;  // -1 .. -4 for M1 .. M4
    i32 modeBits;     // width of the mode indicator
    i32 dataCodewords;
    i32 dataBits;
    i32 totalCodewords;
    i32 size;         // modules per side
};

// The row of symbol number m (0..7), null outside.
const MQR_SYMBOL_ROW *MQR_SymbolRow(i32 m);

// Codeword unit kinds.
enum MqrUnitKind : i32 {
    kMqrUnitUp = 0,
    kMqrUnitDown = 1,
    kMqrUnit2x2 = 2,
    kMqrUnitTurnTop = 3,
    kMqrUnitTurnBottom = 4,
};

// Unit readers: the value of the unit anchored at (column x, row y), mask removed (QR data
// mask 0..7), least significant bit first as the unit table lists; -1 for a null matrix or
// a mask outside 0..7. The caller keeps the unit inside the matrix.
i32 MQR_ReadUnitDown2x4(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
i32 MQR_ReadUnitTurnTop(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
i32 MQR_ReadUnitTurnBottom(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
// The Model 1 unit readers under a second name, arguments forwarded unchanged.
i32 QR_ReadUnit2x4Alias(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
i32 QR_ReadUnit2x2Alias(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);

// The QR data mask (Model 2 numbering) of Micro QR mask 0..3; -1 outside.
i32 MQR_QrMaskOf(i32 microMask);

// Reads the codeword values of symbol number m (format data >> 2) with the QR data mask
// from the matrix of side MQR_SymbolRow(m)->size: the 4-bit unit of M1 and M3 as its value
// in the low half. Answers the count (the symbol's total codewords), -1 for m outside 0..7,
// a mask outside 0..7 or a null buffer.
i32 MQR_ReadCodewordUnits(const u8 *matrix, i32 m, i32 mask, i32 out[kMqrMaxCodewords]);

// Decodes the matrix with the five format data bits (symbol number x 4 + Micro QR mask)
// into output (capacity bytes). 0 decoded (text as QR_DecodeSegments leaves it), -1 data
// refused (error word 0), -2 block uncorrectable (error word 10), -3 format data outside
// 0..31 or a null buffer. The 4-bit last data codeword of M1 and M3 enters the block as its
// value times 16, as the check codewords were computed.
i32 MQR_DecodeCodewords(i32 format, const u8 *matrix, u8 *output, i32 capacity);

// Corrects the block of symbol number m in place (codewords in symbol order, the 4-bit one
// already shifted to the high half): 0 when it is (now) a codeword, -1 when not.
i32 MQR_CorrectBlock(i32 m, i32 codewords[kMqrMaxCodewords]);

// The data codewords (byte count of the symbol, the 4-bit one in the high half) of format
// data `format` into output (capacity bytes). 0 decoded, -1 refused.
i32 MQR_DecodeData(const u8 *bytes, i32 byteCount, i32 format, u8 *output, i32 capacity);

// 1 when decoding must stop: fewer bits left than the version's terminator (3, 5, 7 or 9
// bits for M1..M4), or the next that many bits all 0; 1 also for a version code outside
// -4..-1 or a null stream.
i32 MQR_IsTerminator(const QR_BITS *bits, i32 left, i32 versionCode);

}  // namespace vexo
