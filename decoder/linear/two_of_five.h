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

}  // namespace vexo
