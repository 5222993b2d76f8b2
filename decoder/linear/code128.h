// Code 128 reading: the table's Code 128 record (reset, is-enabled, locate, decode; verify
// lives with the interpretation of the values). A read does not have to come from one line:
// lines that show one guard only, reads whose check character fails and characters accepted
// only by the reader's looser rule become votes per symbol position, kept across lines and
// images until a read is delivered or the state is reset.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kCode128Values = 107;      // 0..105 and the stop, 106
inline constexpr u16 kCode128Stop = 106;
inline constexpr int kCode128MaxCount = 128;    // symbol characters with start and check
inline constexpr int kCode128VotePositions = 256;
inline constexpr u8 kCode128Unknown = 0xFF;

// Patterns (module counts, first element in the highest hex digit) and pair keys (sums of
// neighbouring counts), each with a terminating 0.
extern const u32 kCode128Patterns[kCode128Values + 1];
extern const u32 kCode128PairKeys[kCode128Values + 1];

struct CODE128_VOTE {
    u8 value1;
    u8 value2;
    u8 votes1;  // 0: no candidate; votes1 >= votes2 after every merge
    u8 votes2;
    u8 marginal1;  // a character accepted by the looser rule contributed
    u8 marginal2;
};

struct CODE128_STATE {
    CODE128_VOTE votes[kCode128VotePositions];  // position 0 the start character
    u16 expectedCount;  // characters with start and check; 0 not known yet
    i32 startFound;
    i32 stopFound;
    i8 direction;       // of a partial locate
    i32 partialMode;    // survives Code128_Reset
    u16 elementWidth[7];
    u16 pairSum[6];
    u16 startValue;
};

extern CODE128_STATE g_code128;

// Clears votes, count, found flags and direction (not partialMode).
void Code128_Reset();
// 1 when the word of id 1, 2, 3 or 0 has the enable bit.
int Code128_IsEnabled();
// A whole symbol with both guards, else (once per line, unless a whole symbol was located
// on it) one guard near an end of the line. 1 found, 0 line exhausted.
int Code128_Locate(LINE_LOCATE_STATE *state);
// Start value plus data values delivered into ctx->data (the check value behind them), or 0.
u16 Code128_Decode(LINE_DECODE_CTX *ctx);
// Interpretation of the values (ctx->data: start, data values, check value behind them;
// ctx->length without the check): finds the family member, writes its text in place and
// sets id, AIM identifier, link value and lastSymbologyCode. 1 accepted; 0 refused, with
// error byte 2 when the length test failed and 11 when an ISBT 128 text failed validation.
int Code128_Verify(LINE_DECODE_CTX *ctx);

// What the values say about the family member (see Code128_ScanCodewords).
struct CODE128_SCAN {
    i32 fnc1First;     // FNC1 at data position 1
    i32 fnc1Second;    // FNC1 at data position 2 after a letter (sets A, B) or two digits (C)
    i32 fnc3Seen;      // an FNC3 in set A or B
    i32 plain;         // none of the special cases
    i32 reservedForm;  // Start A followed by the reserved sequence
    u16 linkValue;     // 1-6 from a final code set change after a leading FNC1
};

// Scans count values (start first, no check value). A start outside 103-105 or a value
// above 102 leaves every flag 0.
void Code128_ScanCodewords(const u8 *values, u16 count, CODE128_SCAN *scan);
// Writes the text of buffer[0..count-1] (the check value at buffer[count]) into the same
// buffer, with the transmitted check as '~' and its decimal value. The text length, 0 on an
// invalid value, an empty text, or a text that does not fit capacity.
u16 Code128_ExpandCodewords(u8 *buffer, u16 count, u16 capacity, const CODE128_SCAN *scan);
// The member outputs: expand, test the member's lengths (error byte 2) and set the result.
int Code128_OutputPlain(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan);
int Code128_OutputGs1(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan);
int Code128_OutputFnc1Second(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan);
int Code128_OutputFnc3Form(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan);
// On an expanded plain text: 1 reported as ISBT 128; 0 not an ISBT text (error byte 0) or
// refused by the validation (error byte 11).
int Code128_CheckIsbt(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan);

// Guard matchers on seven (start) or eight (stop) edges from edge, stepping by direction;
// the stop is given by the outer edge of its final bar.
int Code128_MatchStart(const u16 *edge, u16 *startValue, int direction);
int Code128_MatchStop(const u16 *edge, int direction);
// On the widths and pair sums left in g_code128: the start value (103..105) or 0; 1 stop.
u16 Code128_ClassifyStart();
int Code128_ClassifyStop();
int Code128_LocatePartial(LINE_LOCATE_STATE *state);

// Reads characters from the located guard: forward from the start, else backward from the
// stop. values needs kCode128MaxCount + 4 entries, marginal kCode128MaxCount. Answers the
// position after the last character read (never above kCode128MaxCount).
int Code128_ReadCharacters(const LINE_DECODE_CTX *ctx, int forward, u16 elementCount, u8 *values, u8 *marginal);

// Partial reads pass over damaged characters: from the edge anchor, with *remaining
// elements left (the last of them the one after a character), step +1/-1 and W the previous
// character's width. 1 with the anchor on the next clean character, *remaining and
// *position advanced; 0 when the gap is longer than two characters or the elements run out.
int Code128_SkipDamaged(const u16 *edges, u16 edgeCount, i32 *anchor, i32 *remaining, int step, u32 W,
                        int *position);
// Characters between the guards by widths (stop counted as one), 0 when they do not add up.
int Code128_CountCharacters(const LINE_DECODE_CTX *ctx);

// Vote entry: n values (0xFF unknown, skipped) from position first, moving by step.
void Code128_AddVotes(const u8 *values, const u8 *marginal, int first, int n, int step);
// Moves the top area (positions 256 - count ..) filled by backward reads onto 0..count-1.
void Code128_MergeVotes(int count);
// Delivery from the votes: every position 0..count-1 with a clear first candidate and the
// check of the first candidates right. The count delivered (values in ctx->data), else 0.
u16 Code128_DeliverVotes(LINE_DECODE_CTX *ctx);
// Check character rule: start + sum of position x value, mod 103, over values[0..n-2]
// against values[n-1].
int Code128_CheckValues(const u8 *values, int n);

}  // namespace vexo
