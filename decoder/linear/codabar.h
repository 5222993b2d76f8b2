// Codabar: the table's Codabar record. Locate recognises the start and stop letters A-D;
// decode reads the characters between them with the width-class reader; verify checks the
// optional mod-16 character and strips or maps the letters.
#pragma once

#include "core/types.h"
#include "linear/line_toolkit.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kCodabarValues = 20;  // 0-15 data, 16-19 the letters A-D
inline constexpr int kCodabarCandidates = 7;
inline constexpr u8 kCodabarLetterA = 16;

extern const i32 kCodabarKeys[kCodabarValues];
extern const u8 kCodabarCandidateList[kCodabarCandidates];
// Characters of the values; 20-31 the mapped letter sets.
extern const char kCodabarChars[33];

extern LINE_READ_HISTORY g_codabarHistory;
extern u8 g_codabarStopLetter;  // value of the stop letter the last stop match saw

void Codabar_Reset();
int Codabar_IsEnabled();
int Codabar_Locate(LINE_LOCATE_STATE *state);
// Values from the start letter to the stop letter into ctx->data; their count or 0.
u16 Codabar_Decode(LINE_DECODE_CTX *ctx);
int Codabar_Verify(LINE_DECODE_CTX *ctx);

// The start character's widths into the reader state, with its letter's key and the
// references the decode starts from. 0 for a locate value that is no letter.
int Codabar_SetStartReferences(const LINE_DECODE_CTX *ctx);
// The check character c[n-2] brings the sum of all n values to a multiple of 16.
int Codabar_CheckMod16(const u8 *values, u16 length);

// Letter matchers: the start's first edge (forward) or the leading edge of its first bar
// read backwards; the stop's last bar's leading edge (forward) or its outer edge (reversed).
int Codabar_MatchStart(const u16 *edge, u16 *letter);
int Codabar_MatchStartReversed(const u16 *edge, u16 *letter);
int Codabar_MatchStopReversed(const u16 *edge);
int Codabar_MatchStop(const u16 *edge);

}  // namespace vexo
