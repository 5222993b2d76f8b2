// Reed-Solomon error correction shared by every 2D symbology: a caller selects one of nine
// fields by its polynomial, then hands over one block of codewords at a time; each block is
// corrected in place and a status comes back. One decode at a time (static state).
#pragma once

#include "core/types.h"

namespace vexo {

struct RS_FIELD_ENTRY {
    i32 size;
    i32 polynomial;
};

// The selectable fields, in the order of their table pairs. Reduction polynomials from the
// error-correction clauses of the symbology standards: ISO/IEC 24778 Aztec (0x13 mode
// message, 0x43, 0x12D, 0x409, 0x1069 by word size), ISO/IEC 16023 MaxiCode (0x43),
// ISO/IEC 18004 QR Code (0x11D), ISO/IEC 16022 Data Matrix (0x12D), ISO/IEC 20830 Han Xin
// Code (0x13 function information, 0x163 data); ISO/IEC 15438 PDF417 works modulo the prime
// 929 with generator 3. GF(128) is selectable though no symbology uses it.
inline constexpr RS_FIELD_ENTRY kRsFields[] = {
    {16, 0x13},     {64, 0x43},     {256, 0x11D}, {256, 0x12D}, {256, 0x163},
    {1024, 0x409},  {4096, 0x1069}, {929, 929},   {128, 0x89},
};
inline constexpr i32 kRsFieldCount = 9;
static_assert(sizeof(kRsFields) / sizeof(kRsFields[0]) == kRsFieldCount);

inline constexpr i32 kRsPrimeModulus = 929;
inline constexpr i32 kRsPrimeIndex = 7;
inline constexpr i32 kRsMaxFieldSize = 4096;
// Work arrays hold one entry per field element plus one.
inline constexpr i32 kRsWorkLength = kRsMaxFieldSize + 1;

// Start of field `index`'s log and antilog tables in the shared pools.
constexpr i32 RS_TableOffset(i32 index) {
    i32 offset = 0;
    for (i32 i = 0; i < index && i < kRsFieldCount; ++i) offset += kRsFields[i].size;
    return offset;
}
inline constexpr i32 kRsTablePool = RS_TableOffset(kRsFieldCount);
static_assert(kRsTablePool == 7025);

// Results of the decoding routines.
inline constexpr i32 kRsCorrected = 0;
inline constexpr i32 kRsUncorrectable = -1;
inline constexpr i32 kRsNoField = -10;

// The engine's state. For a field of `size` elements and q = size - 1: antilog[0..q] holds
// the powers of the generator (antilog[q] = 1), log[a] in 1..q for a != 0, log[1] = q and
// log[0] = 1 - size.
struct RS_FIELD {
    i32 log[kRsTablePool];
    i32 antilog[kRsTablePool];
    i32 built = 0;  // the table pools have been filled once; they never change afterwards
    i32 *selectedLog = nullptr;
    i32 selectedSize = 0;
    i32 selectedPolynomial = 0;
    i32 *selectedAntilog = nullptr;
    i32 code = -1;  // symbology code stated at selection; -1 at load and after a refused one
    // Work arrays of the decoding routines.
    i32 syndromes[kRsWorkLength];
    i32 locator[kRsWorkLength];
    i32 evaluator[kRsWorkLength];
    u16 positions[kRsWorkLength];
    i32 fullLocator[kRsWorkLength];
    i32 modified[kRsWorkLength];
    // Berlekamp-Massey's own: connection polynomial, previous one, saved copy.
    i32 bmLambda[kRsWorkLength];
    i32 bmPrevious[kRsWorkLength];
    i32 bmSaved[kRsWorkLength];
};

extern RS_FIELD g_rsField;

// Empties the selection; the tables, built once, are kept. The symbology code is kept.
void RS_ResetField();

// Selects the field whose polynomial (or 929 for the prime field) is `polynomial`; `size` is
// not read. The first call after load fills all nine table pairs, which never change after. Answers 1
// and stores `code`; answers 0 for a polynomial outside the list, setting the code to -1
// and leaving the previous selection in place.
i32 RS_SelectField(i32 code, i32 size, i32 polynomial);

// Corrects a block over the selected field GF(2^m) with roots alpha^1..alpha^N, codewords
// highest degree first: dataCount + checkCount codewords, N = checkCount. Values outside the
// field are set to 0 first. Up to floor((N - 1) / 2) errors are corrected.
// Answers 0 (the block is a codeword), -1 (uncorrectable: only the zeroing was applied;
// also for a block longer than size - 1, a negative count, a null array or a prime field
// selected), -10 (no field selected, or a negative code).
i32 RS_DecodeBlock(i32 *codewords, i32 dataCount, i32 checkCount);

// Corrects a block over the selected GF(2^m) with roots alpha^0..alpha^(N-1), codewords
// lowest degree first: `count` codewords, data and check together, N = checkCount. Up to
// floor(N / 2) errors are corrected. The Berlekamp-Massey step reads the syndromes from
// index 0 only when the code stated at selection is 2 (QR Code), which callers must state.
// Answers 0, -1 (uncorrectable, more than N / 2 errors, a value outside the field, a block
// longer than size - 1, a check count outside 0..count, a null array or a prime field
// selected; the block is left as it was) or -10 (no field selected, or code -1).
i32 RS_DecodeBlockQr(i32 *codewords, i32 count, i32 checkCount);

// Corrects a block over GF(929) with roots 3^1..3^N, codewords highest degree first, with
// erasures: values below 0 or above 928 are set to 0 and their positions treated as
// erasures. With E erasures and t errors among the other codewords the block is restored
// when E + 2t < N and t < floor(N / 2). Reads no symbology code. Answers 0 or -1 (also for
// count > 928, a check count outside 0..count, a null array, or tables never filled).
i32 RS_DecodeBlock929(i32 *codewords, i32 count, i32 checkCount);

// As RS_DecodeBlock929 over the selected GF(2^m) with roots alpha^1..alpha^N; the block
// holds dataCount + checkCount codewords. Answers 0, -1 or -10 as RS_DecodeBlock.
i32 RS_DecodeBlockErasures(i32 *codewords, i32 dataCount, i32 checkCount);

// Massey's shift-register synthesis over the selected GF(2^m) of N syndromes, read from
// syndromes[1..N], or syndromes[0..N-1] when the stored code is 2. locatorOut needs N + 1
// entries; locatorOut[0..L] receives the locator (locatorOut[0] = 1). Answers L (0..N), or
// -1 when N lies outside 0..4096, no binary field is selected, or a syndrome lies outside it.
i32 RS_BerlekampMassey(const i32 *syndromes, i32 N, i32 *locatorOut);

// The same over GF(929), syndromes always at indices 1..N (all in 0..928). Answers L, or -1
// when N lies outside 0..4096, a syndrome is out of range or the tables were never filled.
i32 RS_BerlekampMassey929(const i32 *syndromes, i32 N, i32 *locatorOut);

// Numbers the codewords by degree (the last is degree 0), sets each value below 0 or above
// 928 to 0 and records its degree in positionsOut[1..E], increasing. positionsOut needs
// count + 1 entries. Answers E (0 for count <= 0 or null pointers).
i32 RS_MarkErasures929(i32 *codewords, i32 count, u16 *positionsOut);

// S_j = c(3^j) modulo 929 for j = 1..N into syndromesOut[1..N] (N + 1 entries), codewords
// highest degree first; values outside 0..928 are read as 0. Writes nothing for N <= 0,
// null pointers or tables never filled.
void RS_Syndromes929(const i32 *codewords, i32 count, i32 N, i32 *syndromesOut);

}  // namespace vexo
