// Code 39 and Code 32: the table's Code 39 record. Characters are read with the width-class
// reader; a read with a character accepted only by the looser rules is confirmed through a
// read history. Verify checks the mod-43 character, converts Code 32 (the Italian
// pharmaceutical code, six base-32 digits in a Code 39 symbol) and expands full ASCII.
#pragma once

#include "core/types.h"
#include "linear/line_toolkit.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kCode39Values = 44;  // 0-42 and the start/stop character 43
inline constexpr u8 kCode39StartStop = 43;
inline constexpr u32 kCode39StartKey = 0x144A289;
inline constexpr int kCode39Candidates = 7;
// Code 32 output options of the Code 39 word that no property reaches.
inline constexpr u32 kFlagCode32Asterisks = 1u << 24;   // '*' before and after the digits
inline constexpr u32 kFlagCode32CheckDigit = 1u << 25;  // the ninth digit is transmitted

// Classes of each character's nine elements in reading order, three bits each.
extern const i32 kCode39Keys[kCode39Values];
// Characters of the values 0-43.
extern const char kCode39Chars[kCode39Values + 1];
// Wide-element hypotheses over the ranked elements; the first one also reads start and stop.
extern const u8 kCode39CandidateList[kCode39Candidates];

extern LINE_READ_HISTORY g_code39History;

void Code39_Reset();
int Code39_IsEnabled();
int Code39_Locate(LINE_LOCATE_STATE *state);
// Values from the start to the stop character (both included) into ctx->data; their count or 0.
u16 Code39_Decode(LINE_DECODE_CTX *ctx);
// Text of the values, with the options of the Code 39 word. 1 accepted; 0 refused, with
// error byte 11 (check character) or 2 (length), or none.
int Code39_Verify(LINE_DECODE_CTX *ctx);

// Start and stop patterns on eight of their nine elements (the outer bar left out). The
// start matchers get the start character's outer edge (forward) or the leading edge of its
// outer bar (reversed); the stop matchers the leading edge of the stop's outer bar
// (forward) or its outer edge (reversed).
int Code39_MatchStart(const u16 *edge, u16 *locateValue);
int Code39_MatchReversedStart(const u16 *edge, u16 *locateValue);
int Code39_MatchReversedStop(const u16 *edge);
int Code39_MatchStop(const u16 *edge);

// Sum of the values but the last, mod 43, against the last; 0 for fewer than two values.
int Code39_CheckMod43(const u8 *values, u16 count);
// Code 32 from the raw values (start and stop included) into out (at least 11 bytes) in
// the form the flag word asks; its length, 0 when the values are not a Code 32 number.
u16 Code32_Convert(const u8 *values, u16 count, u32 flags, u8 *out);
// The ninth digit against the first eight (digits 0-9, nine of them).
int Code32_CheckDigitOk(const u8 *digits);
// Full ASCII shift pairs of a Code 39 text, in place; the new length.
u16 Code39_ExpandFullAscii(u8 *text, u16 n);

}  // namespace vexo
