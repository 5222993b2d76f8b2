// Code 93: the table's Code 93 record. Characters are read with the edge-distance reader,
// first from the located start and, when that gives nothing, once more from the stop;
// verify checks the two mod-47 check characters and expands the full ASCII shifts.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kCode93Values = 47;  // 0-42, the shifts ($) (%) (/) (+) as 43-46
inline constexpr int kCode93MaxValues = 128;

// Module counts of the six elements (first most significant) and the sums of neighbours.
extern const u32 kCode93Patterns[kCode93Values];
extern const u32 kCode93PairKeys[kCode93Values];

// Unclean reads wait here for an equal one.
struct CODE93_HISTORY {
    u8 values[kCode93MaxValues];
    u16 storedLength;
    u8 equalCount;
};
extern CODE93_HISTORY g_code93History;

void Code93_Reset();
int Code93_IsEnabled();
int Code93_Locate(LINE_LOCATE_STATE *state);
// Data values and the two check values into ctx->data in symbol order; their count or 0.
u16 Code93_Decode(LINE_DECODE_CTX *ctx);
// 1 accepted with the text in ctx->data; 0 refused (error byte 11 or 2, or none).
int Code93_Verify(LINE_DECODE_CTX *ctx);

// Start pattern from edge, stepping by direction; stop pattern from the outer edge of its
// termination bar, direction being the symbol's (the pattern is measured against it).
int Code93_MatchStart(const u16 *edge, u16 *locateValue, int direction);
int Code93_MatchStop(const u16 *edge, int direction);

// The two check values of count values (data, first check, second check).
int Code93_CheckCharsOk(const u8 *values, u16 count);
// Text of n values in place (the shifts expanded); the new length, 0 for a value above 46.
u16 Code93_ExpandText(u8 *values, u16 n);

}  // namespace vexo
