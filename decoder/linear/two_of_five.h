// The 2 of 5 family. Interleaved 2 of 5 (with ITF-6, ITF-14 and the 12- and 14-digit
// weight-4/9 forms, which one record reads and tells apart by length and check digit)
// reads pairs of digits, the bars carrying the first and the spaces the second.
#pragma once

#include "core/types.h"
#include "linear/line_toolkit.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kTwoOfFiveDigits = 10;
inline constexpr int kItfCandidates = 9;
inline constexpr int kItfMaxDigits = 128;

// Classes of the five elements of each digit (1 narrow, 2 wide), four bits each.
extern const i32 kTwoOfFiveKeys[kTwoOfFiveDigits];
extern const u8 kItfCandidateList[kItfCandidates];

extern LINE_READ_HISTORY g_itfHistory;

void Itf_Reset();
// 1 when any of the Interleaved words (ids 11-15) is enabled.
int Itf_IsEnabled();
int Itf_Locate(LINE_LOCATE_STATE *state);
// Digit values (0-9) into ctx->data; their count or 0.
u16 Itf_Decode(LINE_DECODE_CTX *ctx);
// The member by length and check digit, its text as ASCII digits. 1 accepted; 0 refused,
// with error byte 11 or 2, or none.
int Itf_Verify(LINE_DECODE_CTX *ctx);

// Start (n n n n) from its first element, stop (W n N) at the leading edge of its last bar;
// the reversed matchers test the mirror image at the same places.
int Itf_MatchStart(const u16 *edge);
int Itf_MatchStartReversed(const u16 *edge);
int Itf_MatchStopReversed(const u16 *edge);
int Itf_MatchStop(const u16 *edge);

// Matrix, Industrial, variant B (its own digit assignment) and IATA 2 of 5: one digit a
// character, each record with its own read history. Verify answers as Itf_Verify does.
extern const i32 kVar25bKeys[kTwoOfFiveDigits];
extern LINE_READ_HISTORY g_mat25History;
extern LINE_READ_HISTORY g_ind25History;
extern LINE_READ_HISTORY g_var25bHistory;
extern LINE_READ_HISTORY g_iata25History;

void Mat25_Reset();
int Mat25_IsEnabled();
int Mat25_Locate(LINE_LOCATE_STATE *state);
u16 Mat25_Decode(LINE_DECODE_CTX *ctx);
int Mat25_Verify(LINE_DECODE_CTX *ctx);
void Ind25_Reset();
int Ind25_IsEnabled();
int Ind25_Locate(LINE_LOCATE_STATE *state);
u16 Ind25_Decode(LINE_DECODE_CTX *ctx);
int Ind25_Verify(LINE_DECODE_CTX *ctx);
void Var25b_Reset();
int Var25b_IsEnabled();
int Var25b_Locate(LINE_LOCATE_STATE *state);
u16 Var25b_Decode(LINE_DECODE_CTX *ctx);
int Var25b_Verify(LINE_DECODE_CTX *ctx);
void Iata25_Reset();
int Iata25_IsEnabled();
int Iata25_Locate(LINE_LOCATE_STATE *state);
u16 Iata25_Decode(LINE_DECODE_CTX *ctx);
int Iata25_Verify(LINE_DECODE_CTX *ctx);

// Matrix's start matchers take the locate value of the alternative search (unused).
int Mat25_MatchStart(const u16 *edge, u16 *locateValue);
int Mat25_MatchStartReversed(const u16 *edge, u16 *locateValue);
int Mat25_MatchStopReversed(const u16 *edge);
int Mat25_MatchStop(const u16 *edge);
int Ind25_MatchStart(const u16 *edge);
int Ind25_MatchStartReversed(const u16 *edge);
int Ind25_MatchStopReversed(const u16 *edge);
int Ind25_MatchStop(const u16 *edge);
int Var25b_MatchStart(const u16 *edge);
int Var25b_MatchStartReversed(const u16 *edge);
int Var25b_MatchStopReversed(const u16 *edge);
int Var25b_MatchStop(const u16 *edge);
int Iata25_MatchStopReversed(const u16 *edge);
int Iata25_MatchStop(const u16 *edge);
// Four narrow elements (variant A's start, which IATA shares).
int Var25a_MatchStart(const u16 *edge);
int Var25a_MatchStartReversed(const u16 *edge);

}  // namespace vexo
