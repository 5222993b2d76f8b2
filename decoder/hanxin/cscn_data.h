// The Han Xin data layer: a sampled module matrix becomes text. The stages are callable on
// their own: module reading (mask removed), codeword correction, the bit-stream decoder and
// each of its segment decoders, the function information and the small shared helpers.
#pragma once

#include "core/types.h"
#include "hanxin/cscn_tables.h"

namespace vexo {

// Work memory of the Han Xin module (the second buffer of the installed image). The symbol
// reader's sample and bit matrices and its text area (two texts and a NUL, a second symbol's
// text written after the first) come first, then the data layer's areas.
inline constexpr i32 kCscnTextCapacity = 15232;  // the most the largest stream can produce
inline constexpr i32 kCscnMaxStreamBits = 26112;  // version 84 at level 0: 3,264 data codewords
inline constexpr i32 kCscnMaxCodewords = 3886;
inline constexpr i32 kCscnMaxDataModules = 31091;

constexpr i32 CscnAlign4(i32 v) { return (v + 3) & ~3; }
inline constexpr i32 kCscnSampleMatrixOffset = 1312;
inline constexpr i32 kCscnMatrixBytes = 38416;
inline constexpr i32 kCscnBitMatrixOffset = kCscnSampleMatrixOffset + kCscnMatrixBytes;
inline constexpr i32 kCscnTextOffset = 78144;
inline constexpr i32 kCscnTextAreaBytes = 2 * kCscnTextCapacity + 1;
inline constexpr i32 kCscnModuleBitsOffset = CscnAlign4(kCscnTextOffset + kCscnTextAreaBytes);
inline constexpr i32 kCscnModuleBitsBytes = 31092;
inline constexpr i32 kCscnMatrixCopyOffset = CscnAlign4(kCscnModuleBitsOffset + kCscnModuleBitsBytes);
inline constexpr i32 kCscnMatrixCopyBytes = 35724;
inline constexpr i32 kCscnStreamBitsOffset = CscnAlign4(kCscnMatrixCopyOffset + kCscnMatrixCopyBytes);
inline constexpr i32 kCscnStreamBitsBytes = 26200;
inline constexpr i32 kCscnDataCodewordsOffset = CscnAlign4(kCscnStreamBitsOffset + kCscnStreamBitsBytes);
inline constexpr i32 kCscnCodewordAreaBytes = kCscnMaxCodewords * 4;
inline constexpr i32 kCscnDeinterleavedOffset = kCscnDataCodewordsOffset + kCscnCodewordAreaBytes;
inline constexpr i32 kCscnBlockBufferOffset = kCscnDeinterleavedOffset + kCscnCodewordAreaBytes;
inline constexpr i32 kCscnBlockBufferBytes = 256 * 4;
// One bit per module: which modules of the symbol carry function patterns.
inline constexpr i32 kCscnFunctionMapOffset = kCscnBlockBufferOffset + kCscnBlockBufferBytes;
inline constexpr i32 kCscnFunctionMapBytes = CscnAlign4((kCscnMaxSize * kCscnMaxSize + 7) / 8);
inline constexpr i32 kCscnWorkBytes = kCscnFunctionMapOffset + kCscnFunctionMapBytes;
static_assert(kCscnBitMatrixOffset == 39728 && kCscnBitMatrixOffset + kCscnMatrixBytes <= kCscnTextOffset);
static_assert(kCscnTextOffset + kCscnTextAreaBytes <= kCscnModuleBitsOffset);
static_assert(kCscnModuleBitsBytes > kCscnMaxDataModules && kCscnMatrixCopyBytes >= kCscnMaxSize * kCscnMaxSize);
static_assert(kCscnStreamBitsBytes >= kCscnMaxStreamBits && kCscnWorkBytes < 240000);
static_assert(kCscnWorkBytes <= 1228800);

// One decode request (see CSCN_DecodeMatrix for who fills what).
struct CSCN_MATRIX_REQUEST {
    i32 version;         // caller: 1..84
    i32 size;            // caller: 2 x version + 21
    i32 blockRemainder;  // r, k and m of the version
    i32 blockCount;
    i32 blockSize;
    u32 mask;   // 0..3, any other value unknown; the decoding one on success
    u32 level;  // 0..3, any other value unknown; the decoding one on success
    const u8 *matrix;  // size x size module bytes 0/1, row after row
    u8 *moduleBits;    // work: data modules in reading order, unmasked
    u8 *matrixCopy;    // work: the matrix as delivered
    i32 moduleCount;
    i32 *dataCodewords;  // work: corrected data codewords
    i32 dataCodewordCount;
    u8 *streamBits;  // work: data codewords as bits
    u32 streamBitCount;
    char *text;  // caller: room for kCscnTextCapacity bytes
    i32 textLength;
    // Work areas the stages share beyond the record's own.
    i32 *deinterleaved;
    i32 *blockBuffer;
    u8 *functionMap;
};

// Checks the request, takes the work areas from the installed work memory, clears them,
// fills r, m, k and copies the matrix. Answers 0 for a version outside 1..84, a size other
// than 2 x version + 21, a null matrix or text, or work memory missing or too small.
i32 CSCN_PrepareRequest(CSCN_MATRIX_REQUEST *req);

// The whole decode. The caller fills version, size, mask, level (unknown: outside 0..3),
// matrix and text. Answers 1 with text and textLength and the decoding mask and level.
// Given mask and level are used as they are; otherwise the sixteen pairs are searched, mask
// by mask, level by level. After a failed search mask and level hold 3 and 3.
i32 CSCN_DecodeMatrix(CSCN_MATRIX_REQUEST *req);

// Reads the data modules of the matrix with the request's mask into moduleBits and sets
// moduleCount (0 when the request has no work areas or its mask lies outside 0..3).
void CSCN_ReadDataModules(CSCN_MATRIX_REQUEST *req);

// Packs, de-interleaves and corrects the codewords at the request's level; fills
// dataCodewords. Answers 0 when a block is uncorrectable, the level lies outside 0..3 or the
// module count does not match the version.
i32 CSCN_CorrectBlocks(CSCN_MATRIX_REQUEST *req);

// Undoes the 13-column interleaving of `count` codewords: D[c + 13 t] = stream[start(c) + t].
void CSCN_Deinterleave(const i32 *stream, i32 count, i32 *codewords);

// 8 bits per codeword, most significant first. Answers 8 x count (0 for count <= 0).
i32 CSCN_CodewordsToBits(const i32 *codewords, i32 count, u8 *bits);

// Structured-append values of the last stream that carried a header.
struct CSCN_SA_RECORD {
    i32 sequence;  // position + 1; 0 when no header was read
    i32 total;     // count + 1; 0 when no header was read
    i32 parity;
};
// Clears the record and answers its address.
CSCN_SA_RECORD *CSCN_ResetSaRecord();
const CSCN_SA_RECORD *CSCN_SaRecord();

// The bit stream of one symbol (bits one per byte) into text at *textLength, which advances.
// Answers 1 when the whole stream decoded. A stream above kCscnMaxStreamBits is refused;
// bits past bitCount read as 0. The text needs kCscnTextCapacity bytes.
i32 CSCN_DecodeBitStream(const u8 *bits, u32 bitCount, char *text, i32 *textLength);

// Segment decoders: `position` is the first bit after the indicator (for the four-byte
// decoder the indicator itself) and advances past what was consumed. Answer 1 or 0.
i32 CSCN_DecodeNumeric(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
i32 CSCN_DecodeText(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
i32 CSCN_DecodeBytes(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
// region 1 or 2 as the indicator said.
i32 CSCN_DecodeGb2312(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength, i32 region);
i32 CSCN_DecodeGb18030Double(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
i32 CSCN_DecodeGb18030Quad(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
// Writes the designator's six digits (the backslash is the caller's) and sets the ECI flag.
i32 CSCN_DecodeEci(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength);
// When the stream starts with the bytes FF E9: writes "Brevik:", sets the length to 7 and
// moves the position to bit 16.
void CSCN_CheckMakerHeader(const u8 *bits, u32 bitCount, u32 *position, char *text, i32 *textLength);
// The last `count` digits (1 or 2) of a value below 1,000, or all three (0 or 3); the
// hundreds digit is '0' + value / 100. Answers the number written.
i32 CSCN_FormatDigits(i32 value, char *out, i32 count);

// Function information: 34 bits (seven GF(16) symbols and six unused bits). Answers 1 when
// it decoded to a version in 1..84; outputs -1 when the length is wrong or the message is
// uncorrectable, the decoded values otherwise.
i32 CSCN_ReadFunctionInfo(const u8 *bits, i32 bitCount, i32 *version, i32 *mask, i32 *level);

// n bits, first most significant (0 for n <= 0); the bytes are added as they are.
i32 CSCN_BitsToInt(const u8 *bits, i32 n);
// The low n bits of value, most significant first; answers n (0 for n <= 0).
i32 CSCN_IntToBits(i32 value, i32 n, u8 *bits);

// The point `distance` pixels from a toward b (a itself when a equals b).
void CSCN_PointToward(POINT_I32 a, POINT_I32 b, POINT_I32 *out, i32 distance);
// The same with the length from an approximate square root and integer division.
void CSCN_PointTowardApprox(POINT_I32 a, POINT_I32 b, POINT_I32 *out, i32 distance);
// Twice the signed area of the triangle p, a, b.
i32 CSCN_SignedArea2(POINT_I32 p, POINT_I32 a, POINT_I32 b);
// Ascending stable sort of keys, the values moved with them.
void CSCN_SortPairs(i32 *keys, i32 count, i32 *values);
// Mirrors of a byte matrix of `rows` rows of `width` bytes, in place: each row reversed
// (left to right), or the order of the rows reversed (top to bottom; refused, answering 0,
// for rows wider than 200 bytes).
void CSCN_MirrorLeftRight(u8 *matrix, i32 width, i32 rows);
i32 CSCN_MirrorTopBottom(u8 *matrix, i32 width, i32 rows);

}  // namespace vexo
