// The ECC 000-140 half of the Data Matrix data layer: module placement into one bit stream,
// derandomising, the level header, sequential decoding of the convolutional codes, the
// format, length and character packings, and the CRC-16 check. Every stage can run alone.
#pragma once

#include "core/types.h"

namespace vexo {

// Data-area sides 7, 9, ..., 47 (symbols 9 x 9 to 49 x 49).
inline constexpr i32 kDmEcc000Sizes = 21;
inline constexpr i32 kDmEcc000MinSide = 7;
inline constexpr i32 kDmEcc000MaxSide = 47;
inline constexpr i32 kDmEcc000RandomBytes = 277;
// Bytes of the bit stream's area cleared before a decode (132 x 132).
inline constexpr i32 kDmEcc000BitBytes = 17424;
// Received bits one sequential decoder takes at most: 47 x 47 less the 19 header bits.
inline constexpr i32 kDmEcc000MaxReceived = kDmEcc000MaxSide * kDmEcc000MaxSide - 19;
// Paths of the sequential decoders' pool, and the candidate metrics after them.
inline constexpr i32 kDmSeqPaths = 200;
inline constexpr i32 kDmSeqMetrics = 208;
inline constexpr i32 kDmSeqRegisterBytes = 42075;
inline constexpr i32 kDmSeqEmpty = -1073741824;

// Placement grid of data-area side n (entry i: the stream bit of module i, row-major), or
// null for another n. The master random bytes, kDmEcc000RandomBytes of them.
const i32 *DM_Ecc000Grid(i32 n);
const i32 *DM_Ecc000Random();

// The formats: group size g, the bits of 1..g characters, zeros, base at 7, alphabet
// offset at 8. The four alphabets back to back.
inline constexpr i32 kDmEcc000FormatRow = 9;
inline constexpr i32 kDmEcc000Formats[4][kDmEcc000FormatRow] = {
    {6, 4, 7, 11, 14, 18, 21, 11, 0},
    {5, 5, 10, 15, 20, 24, 0, 27, 11},
    {4, 6, 11, 17, 22, 0, 0, 41, 38},
    {4, 6, 11, 16, 21, 0, 0, 37, 79},
};
inline constexpr char kDmEcc000Alphabets[] =
    " 0123456789"
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,-/"
    " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
static_assert(sizeof(kDmEcc000Alphabets) == 11 + 27 + 41 + 37 + 1);

// The 19-bit header words of ECC 050, 080, 100 and 140 and the 7-bit word of ECC 000
// (stream bit k is bit k of the value).
inline constexpr i32 kDmEcc000Word = 0x7E;
inline constexpr i32 kDmEccHeaderWords[4] = {0xE00E, 0x71C0E, 0x7FC0E, 0x7E38E};
static_assert(sizeof(kDmEccHeaderWords) / sizeof(kDmEccHeaderWords[0]) == 4);

// The stream from a square mapping matrix (mappingRows x mappingCols of the data layer's
// state): one byte per bit, derandomised. -1000 unless the side is odd from 7 to 47 and
// the matrix square.
i32 DM_ReadEcc000Bits(u8 *matrix, u8 *bits);
// Level from the header; the level's decoder rewrites the stream from bit 19. 0 or 30.
i32 DM_ReadEcc000Header(u8 *bits);
// Format, length and characters into the result. 0 or 30.
i32 DM_ReadEcc000Data(u8 *bits);
// Characters of formats 0-3 from the data bits (available of them). 0 or 30.
i32 DM_UnpackBaseN(u8 *bits, i32 available);
// 0 when the symbol's CRC matches the text, else 30.
i32 DM_CheckEcc000Crc(u8 *bits);
// Feeds count bits into the CRC-16 register reg[0..15] (reg[15] the top bit).
void DM_Crc16Bits(const u8 *bits, i32 count, u8 reg[16]);

// The expected output bits of one step from a path register (bit j at byte j / 8, bit
// j % 8), the step's first new bit at position a; written to out[outPos...].
void DM_Ecc050Encode(const u8 *reg, u8 *out, i32 a, i32 outPos);
void DM_Ecc080Encode(const u8 *reg, u8 *out, i32 a, i32 outPos);
void DM_Ecc100Encode(const u8 *reg, u8 *out, i32 a, i32 outPos);
void DM_Ecc140Encode(const u8 *reg, u8 *out, i32 a, i32 outPos);

// Sequential decoding of L received bits in place (output bit j over bit j). Always 0.
// Each call leaves its number of search steps in g_dmSeqSteps (read by tests only).
i32 DM_Ecc050Decode(u8 *bits, i32 L);
i32 DM_Ecc080Decode(u8 *bits, i32 L);
i32 DM_Ecc100Decode(u8 *bits, i32 L);
i32 DM_Ecc140Decode(u8 *bits, i32 L);
extern i32 g_dmSeqSteps;

// The smallest-metric slot among those not listed (the first on ties), also in *slot; 0
// when count <= 0 or every slot is listed.
i32 DM_FindWeakestFreeSlot(const i32 *metric, const u8 *listed, i32 count, i32 *slot);
// Inserts entries k .. 2k into the first k (already in order): descending metric, equal
// metrics keep their order.
void DM_SortSlotsByMetric(i16 *slots, const i32 *metric, i32 k);

// Routines no decode path calls: first index of the largest and of the smallest of n
// values (0 for n <= 0), and the text from records of 7 or 8 bits (least significant
// first), at most the text's room; they answer the characters written.
void DM_FindMinMaxIndex(const i32 *values, i32 n, i32 *maxIndex, i32 *minIndex);
i32 DM_FindMinIndex(const i32 *values, i32 n);
i32 DM_FindMaxIndex(const i32 *values, i32 n);
i32 DM_PackBits7(const u8 *bits, i32 count);
i32 DM_PackBits8(const u8 *bits, i32 count);

}  // namespace vexo
