// 2 of 5 variant A and the fixed 8-digit code: two records that locate and read with steps
// of their own instead of the shared start/stop search and character reader. Neither keeps
// a read history: a single read is final.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

// One element group of a variant A character (its three bars, or its two spaces with the
// inter-character gap in the third slot), with the references it is classified against
// and the results of the classification.
struct WIDTH_GROUP {
    u16 widths[8];
    u16 refWide;    // 0: none
    u16 refNarrow;  // 0: none
    u16 minWide;
    u16 maxWide;
    u16 count;   // elements classified (1..8)
    u16 minGap;  // smallest relative gap between the classes, in 1/1024
    u32 pattern;  // one nibble an element, 2 wide 1 narrow, the first element highest
    u16 gap;
    u16 meanWide;    // 0 when none
    u16 meanNarrow;  // 0 when none
};

// The two groups Var25a_ReadDigit classifies; rewritten by every decode.
extern WIDTH_GROUP g_var25aBars;
extern WIDTH_GROUP g_var25aSpaces;

// Splits the group's widths into wide and narrow where they agree with its references.
// 1 with pattern, gap and means filled; 0 when no split fits (a zero divisor included).
int Var25a_ClassifyGroup(WIDTH_GROUP *g);
// Element indexes sorted widest first; equal widths keep their order. count at most 8.
void Var25a_SortByWidth(const WIDTH_GROUP *g, i16 *indices, int count);
// Classifies both groups and looks the five classes up among the two-of-five digits: 1 with
// the digit in *out and both groups' references moved to their means, else 0.
int Var25a_ReadDigit(u8 *out);

// Stop matchers: forward pointed at the edge before the stop's last bar (wide bar, narrow
// space, narrow bar before it), reversed at the leading edge of the mirrored stop.
int Var25a_MatchStop(const u16 *edge);
int Var25a_MatchStopReversed(const u16 *edge);

int Var25a_IsEnabled();
int Var25a_Locate(LINE_LOCATE_STATE *state);
// Digit values (0-9) into ctx->data; the character count n = (edges - 7) / 6, or 0 when
// fewer or more than n characters read.
u16 Var25a_Decode(LINE_DECODE_CTX *ctx);
// The 2 of 5 verify steps; a wrong check digit answers 0 with no error byte, and limits
// that were never set (0 and 0) admit any length.
int Var25a_Verify(LINE_DECODE_CTX *ctx);

// ---- The fixed 8-digit code: start, four Code 128 characters of values 0-99, stop.

inline constexpr int kFixed8Elements = 33;
inline constexpr int kFixed8Digits = 8;

// Matchers on element widths: start from its first element, stop at its last bar; the
// reversed ones test the mirror image at the same element.
int Fixed8_MatchStart(const u16 *widths);
int Fixed8_MatchStop(const u16 *widths);
int Fixed8_MatchStopReversed(const u16 *widths);
int Fixed8_MatchStartReversed(const u16 *widths);
// The 33 widths of a symbol in reading order (forward) or in line order of a reversed
// symbol: 8 with the ASCII digits in out, 0 when a character or the check digit fails.
int Fixed8_ReadForward(const u16 *widths, u8 *out);
int Fixed8_ReadReversed(const u16 *widths, u8 *out);
// The check digit of seven digit values (weights 7 4 1 8 5 2 9, mod 11).
int Fixed8_CheckDigit(const u8 *digits);

int Fixed8_IsEnabled();
int Fixed8_Locate(LINE_LOCATE_STATE *state);
u16 Fixed8_Decode(LINE_DECODE_CTX *ctx);
int Fixed8_Verify(LINE_DECODE_CTX *ctx);

}  // namespace vexo
