// The Aztec module's records and state: the grid and bit-stream record the data layer reads
// and rewrites, the decoded mode message with its codeword set, the text output, the
// structured-append state and the AIM modifier the text decoder leaves for the driver, and
// the symbol size table.
#pragma once

#include "core/types.h"

namespace vexo {

// The driver's grid buffer: the largest grid (151 x 151 = 22,801 modules) with room to
// spare. The layer extraction takes a work block of the same size.
inline constexpr i32 kAztGridBytes = 23825;
// The largest symbol (32 full-range layers): 1,664 codewords of 12 bits.
inline constexpr i32 kAztMaxCodewords = 1664;
inline constexpr i32 kAztMaxStreamBits = 19968;
// The densest text is 7 bytes for 12 bits (a one-digit ECI designator in Punct latch).
inline constexpr i32 kAztMaxTextBytes = 11700;
// The driver's text buffer.
inline constexpr i32 kAztTextBufferBytes = 248030;
static_assert(kAztMaxStreamBits == kAztMaxCodewords * 12);
static_assert(kAztMaxStreamBits <= kAztGridBytes && 151 * 151 <= kAztGridBytes);
static_assert(kAztMaxStreamBits / 12 * 7 + 7 < kAztMaxTextBytes && kAztMaxTextBytes <= kAztTextBufferBytes);

// A module grid or a bit stream, one byte 0 or 1 each. As a grid: count = size x size,
// row-major, upright as ISO/IEC 24778 draws the symbol, 1 for a dark module. After the
// layer extraction the same buffer holds the bit stream and count is its number of bits.
struct AZT_BITSTREAM {
    u8 *bits;
    i32 count;
    i32 size;
};

// Where the text decoder writes. No capacity travels with it: the stream limit bounds the
// text (see Azt_DecodeText).
struct AZT_TEXT_OUT {
    u8 *text;
    i32 length;  // 0 on entry
};

// The decoded mode message and the codeword set.
struct AZT_MODE {
    i32 dataCodewords;
    i32 checkCodewords;
    i32 totalCodewords;
    i32 fieldSize;     // 64, 256, 1024 or 4096
    i32 codewordBits;  // 6, 8, 10 or 12
    i32 *codewords;    // kAztMaxCodewords entries, the caller's
    i32 polynomial;
    i32 layers;
    i32 full;  // 1 full-range, 0 compact
};

// Longest message ID kept, without its terminator.
inline constexpr i32 kAztMessageIdChars = 255;

// Structured append of the symbol decoded last.
struct AZT_APPEND_STATE {
    i32 present;  // 1 when the stream began with the structured-append mark
    char messageId[kAztMessageIdChars + 1];  // NUL-terminated
    i32 position;  // letter, 'A' for the first symbol
    i32 total;     // letter, 'A' for a set of one
    i32 eciSeen;
    i32 fnc1State;  // 0 none, 1 FNC1 in first position, 2 in second position
    i32 idCut;      // 1 when the header's ID was longer than the field and was cut
};

// The module state the data layer writes; the driver reads it back.
struct AZT_STATE {
    AZT_APPEND_STATE append;
    u8 aimModifier;  // '0' before any decode
};

extern AZT_STATE g_aztState;

// One row of the symbol size table.
struct AZT_SIZE_ROW {
    i32 size;           // modules per side
    i32 codewords;      // total codewords the layers hold
    i32 codewordBits;
};

// Aztec symbol sizes by layer count, ISO/IEC 24778 Table 1: rows 0-31 full-range symbols
// of 1 to 32 layers, rows 32-35 compact symbols of 1 to 4 layers.
inline constexpr i32 kAztSizeRows = 36;
inline constexpr i32 kAztCompactRow = 32;
inline constexpr AZT_SIZE_ROW kAztSizeTable[kAztSizeRows] = {
    {19, 21, 6},     {23, 48, 6},     {27, 60, 8},     {31, 88, 8},     // 0: full 1-4 layers
    {37, 120, 8},    {41, 156, 8},    {45, 196, 8},    {49, 240, 8},    // 4
    {53, 230, 10},   {57, 272, 10},   {61, 316, 10},   {67, 364, 10},   // 8
    {71, 416, 10},   {75, 470, 10},   {79, 528, 10},   {83, 588, 10},   // 12
    {87, 652, 10},   {91, 720, 10},   {95, 790, 10},   {101, 864, 10},  // 16
    {105, 940, 10},  {109, 1020, 10}, {113, 920, 12},  {117, 992, 12},  // 20
    {121, 1066, 12}, {125, 1144, 12}, {131, 1224, 12}, {135, 1306, 12}, // 24
    {139, 1392, 12}, {143, 1480, 12}, {147, 1570, 12}, {151, 1664, 12}, // 28
    {15, 17, 6},     {19, 40, 6},     {23, 51, 8},     {27, 76, 8},     // 32: compact 1-4
};
static_assert(sizeof(kAztSizeTable) / sizeof(kAztSizeTable[0]) == kAztSizeRows);
static_assert(kAztSizeTable[31].codewords == kAztMaxCodewords && kAztSizeTable[31].size == 151);

// The table row of a layer count: full-range 1..32, compact 1..4; -1 otherwise.
constexpr i32 Azt_SizeRow(i32 layers, i32 full) {
    if (full != 0) return layers >= 1 && layers <= 32 ? layers - 1 : -1;
    return layers >= 1 && layers <= 4 ? kAztCompactRow + layers - 1 : -1;
}

}  // namespace vexo
