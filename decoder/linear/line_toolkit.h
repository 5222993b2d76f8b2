// Small shared operations of the linear symbologies: table search, GS1 DataBar width
// arithmetic, the read history that confirms reads that were not decoded cleanly, the
// check-digit routines, the length test and a byte comparison.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

// Set to 1 by a decode slot before it reads its characters; the character readers clear it
// when they accept a character by a looser rule. Meaningful within one decode slot.
extern i32 lineCleanRead;
// Bit 15: a read waits for confirmation; bit 14: the last accepted read was confirmed.
// Shared by every family and kept across lines and images.
extern u16 lineMultiReadFlags;
inline constexpr u16 kMultiReadPending = 1u << 15;
inline constexpr u16 kMultiReadConfirmed = 1u << 14;

int Line_IsMultiReadPending();
int Line_IsMultiReadConfirmed();

inline constexpr int kLineHistoryTextBytes = 128;
inline constexpr u8 kLineReadsRequired = 3;

// Read history of a family that confirms unclean reads. held and equalCount follow each
// other: Line_ConfirmRead takes a pointer to held.
struct LINE_READ_HISTORY {
    u8 text[kLineHistoryTextBytes];
    u16 storedLength;
    u8 held;
    u8 equalCount;
};
static_assert(offsetof(LINE_READ_HISTORY, equalCount) == offsetof(LINE_READ_HISTORY, held) + 1);

// Empties a history (a family's reset slot does this).
void Line_EmptyHistory(LINE_READ_HISTORY *h);

// Index of the first of count entries equal to key, -1 when none (or table is null).
i16 Line_FindInTable(const i32 *table, u16 count, i32 key);

// Value of a GS1 DataBar character group from its element widths in modules (ISO/IEC 24724):
// for each element but the last and each width below the element's, the combinations of
// the remaining modules over the remaining elements, less those without a narrow element
// (noNarrow 0, none met so far) and those that break maxWidth. -1 for an element count
// outside 1..8, a maxWidth below 1, a width below 1 or more than 32 modules in all.
int Line_DataBarValue(const i32 *widths, int elements, int maxWidth, int noNarrow);

// The 2 * halfCount element widths from edge-to-similar-edge distances (pairs[i] = widths[i]
// + widths[i + 1]) and the total. Odd: widths[0] taken as 1, then shifted so that the
// narrowest odd-indexed element (at most 10) is 1 module. Even: widths[0] taken as 8, then
// shifted so that the narrowest even-indexed element (at most 8) is 1 module. pairs holds
// 2 * halfCount - 2 entries (none for one pair of elements); nothing is written for
// halfCount below 1.
void Line_PairsToWidthsOdd(const i32 *pairs, i32 *widths, int total, int halfCount);
void Line_PairsToWidthsEven(const i32 *pairs, i32 *widths, int total, int halfCount);

// Mod-10 check digit with weights 3 and 1, the rightmost digit weighted 3 (digits 0-9, one
// a byte, in reading order, without the check digit). Gs1: -1 for null, 0 for count 0.
int Line_Gs1CheckDigit(const u8 *digits, u16 count);
// The same digit; 0 for null or count 0.
u16 Line_CheckDigitMod10(const u8 *digits, u16 count);
// Weights 4 and 9, the rightmost weighted 4; 0 for null or count 0.
u16 Line_CheckDigitWeights49(const u8 *digits, u16 count);

// 0 for length 0. With a < b: a <= length <= b. Otherwise only length a or b passes.
int Line_IsLengthAllowed(u16 length, u16 a, u16 b);
// A length outside the limits of a symbology word (minimum in bits 0-7, maximum in 8-15):
// 1 with the context's error set to the length error; 0 when the length passes.
int Line_RefuseLength(LINE_DECODE_CTX *ctx, u16 length, u32 flags);
// 1 when the first count bytes are equal (1 for count 0).
int Line_TextEquals(const u8 *x, const u8 *y, u16 count);

// One step of a read history (historyFlags points at held, followed by equalCount):
// a first read is stored (0); a read equal to the held one counts one more sighting and
// answers 1 once equalCount reaches required; a differing read replaces the held one and
// starts the count again at 0. So with required 3 an unclean read is accepted on its fourth
// equal sighting. stored holds 128 bytes: a longer read cannot be confirmed (0, history
// unchanged).
int Line_ConfirmRead(const u8 *text, u16 length, u8 *historyFlags, u8 *stored, u16 *storedLength, u8 required);

// The read acceptance at the end of a decode slot, with 3 required equal reads: a clean read
// (lineCleanRead 1) is accepted at once, setting bit 14 when it equals the held read and
// clearing bits 14 and 15 otherwise; an unclean one sets bit 15 and is accepted once
// Line_ConfirmRead confirms it (bit 15 cleared, bit 14 set). An accepted read empties the
// history. 1 accepted, 0 the decode slot fails.
int Line_AcceptRead(LINE_READ_HISTORY *h, const u8 *text, u16 length);

}  // namespace vexo
