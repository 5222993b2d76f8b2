// The Aztec data layer: a sampled module grid becomes text. The mode message around the core
// gives the layer count and the data codeword count; the layers are read into a bit stream,
// packed into codewords, corrected by Reed-Solomon and unstuffed; the bit stream becomes
// text in the character modes of ISO/IEC 24778, with FLG(n) for FNC1 and ECI, the
// structured-append header and the AIM modifier. Every stage is callable on its own, so
// that a test can damage codewords between packing and correction.
#pragma once

#include "aztec_maxicode/azt_module.h"
#include "core/types.h"

namespace vexo {

// Results of Azt_DecodeGrid.
inline constexpr i32 kAztGridDecoded = 0;
inline constexpr i32 kAztGridTextFailed = -1;
inline constexpr i32 kAztGridCorrectionFailed = -2;
inline constexpr i32 kAztGridCodewordsUnusable = -3;
inline constexpr i32 kAztGridModeFailed = -4;

// Decodes a module grid into out. The grid buffer holds at least size x size bytes (the
// driver's grid buffer has kAztGridBytes); the bit stream replaces the grid in it and never
// needs more room than the grid had. out->text must take the text of a stream of up to
// kAztMaxStreamBits bits (below kAztMaxTextBytes). Answers 0 (text and length in out),
// -4 (a size outside the size table, a count other than size x size, no mode message that
// fits the size, no work block), -3 (no data or no check codeword), -2 (error correction
// failed) or -1 (the text decoder refused the stream).
i32 Azt_DecodeGrid(AZT_BITSTREAM *grid, AZT_TEXT_OUT *out);

// A mode message as bits in placement order (28 for a compact symbol, 40 for a full-range
// one; count is otherwise not read): the symbol size of its layer count, or 0 for a null
// pointer, count <= 0, a failed correction, a kind other than full, or a layer count outside
// the table.
i32 Azt_SymbolSizeFromModeMessage(const u8 *bits, i32 count, i32 full);

// 1 when the grid is one the data layer reads: bits not null, size in the size table,
// count = size x size.
i32 Azt_GridIsValid(const AZT_BITSTREAM *grid);

// Reads the mode message around the grid's core: the full-range reading at distance 7, and
// for sizes up to 27 the compact reading at distance 5 when that fails. A reading whose
// layer count gives another size than the grid's counts as failed. 1 with mode filled (the
// codeword array left alone), 0 otherwise (also for a grid that is not valid).
i32 Azt_ReadModeMessage(const AZT_BITSTREAM *grid, AZT_MODE *mode);

// Decodes 28 (compact) or 40 bits as a mode message over GF(16): 1 with the layer count,
// the data codeword count, the kind and the codeword field in mode; 0 when bits is null, its
// count too small, or the correction fails.
i32 Azt_DecodeModeMessage(const AZT_BITSTREAM *bits, AZT_MODE *mode, i32 compact);

// Codeword size and field by layer count (1-2: 6 bits over 0x43, 3-8: 8 bits over 0x12D,
// 9-22: 10 bits over 0x409, 23-32: 12 bits over 0x1069): 1, or 0 outside 1..32.
i32 Azt_SelectCodewordField(AZT_MODE *mode);

// Replaces the grid by the bits of its data layers, innermost layer first (the reverse of
// the standard's placement order). Takes a kAztGridBytes block from the work arena and gives
// it back on every path. 1 with mode filled and grid->count the number of bits; 0 when the
// mode message failed or no block was available (the grid is then unchanged).
i32 Azt_ExtractLayerBits(AZT_BITSTREAM *grid, AZT_MODE *mode);

// Appends one layer's bits (the rings at r + 1 and r + 2 around centre c, r + 3 beyond a
// reference grid line) to bits and moves *ring past the reference grid lines (the caller
// adds 2). bits->size is the capacity of bits->bits. 1, or 0 when a module would lie outside
// the size x size grid or the bits would pass the capacity (nothing appended then).
i32 Azt_ReadLayer(i32 centre, i32 *ring, i32 size, i32 full, const AZT_BITSTREAM *grid, AZT_BITSTREAM *bits);

// Packs the stream into mode->codewords (codeword 0 first in the standard's order; the
// count mod b bits at the outer end are left over) and sets the total and check counts.
// 1 when usable (data > 0, check > 0); 0 otherwise, also for more than kAztMaxCodewords
// codewords, no codeword size, or a null array.
i32 Azt_PackCodewords(const AZT_BITSTREAM *bits, AZT_MODE *mode);

// Reed-Solomon over the mode's field on the packed codewords: 0 corrected, -2 not.
i32 Azt_CorrectCodewords(AZT_MODE *mode);

// Writes the data codewords into bits as b bits each, most significant first, and drops
// the stuffed bit of every codeword of all bits but the last equal (1 or field size - 2).
// bits->bits holds at least data x b bytes (it did hold the grid).
void Azt_UnstuffBits(const AZT_MODE *mode, AZT_BITSTREAM *bits);

// Character modes of the text decoder.
enum AztTextMode : i32 {
    kAztUpper = 0,
    kAztLower = 1,
    kAztMixed = 2,
    kAztPunct = 3,
    kAztDigit = 4,
    kAztBinary = 5,
};

// Decodes a bit stream of at most kAztMaxStreamBits bits into out->text (from out->length
// 0; no terminator), sets the append state and the AIM modifier. A longer stream is refused,
// so the text stays below kAztMaxTextBytes. The structured-append mark is two 5-bit codes
// 29: a stream shorter than 10 bits has none; no step reads a bit at or past the count.
// 1 decoded, 0 refused (a null record, a longer stream, FLG(7), an ECI digit outside 0-9,
// a structured-append header whose letters are missing or out of order).
i32 Azt_DecodeText(const AZT_BITSTREAM *bits, AZT_TEXT_OUT *out);

// The mode that a latch or shift code leads to from mode.
i32 Azt_NextMode(i32 mode, i32 code);

// The character of a Punct value; 0 for the values that start FLG(n) (0 and 31); the
// markers 14 (CR LF), 15 (". "), 16 (", ") and 17 (": ") for the pairs 2 to 5.
i32 Azt_PunctuationChar(i32 value);

// An FLG(n) sequence starting at bit position (after the Punct code): FNC1 or an ECI
// designator ('\' and six digits). The new position, or -1 for FLG(7) or an ECI digit value
// outside 2..11. A stream that ends inside the sequence answers the count.
i32 Azt_ReadFlgSequence(const AZT_BITSTREAM *bits, AZT_TEXT_OUT *out, i32 position);

// The AIM modifier from the append state's present, ECI-seen and FNC1 words.
void Azt_SetAimModifier();

}  // namespace vexo
