// What the decoder core asks of the linear-code reader: its decode entry, the accessors
// of its accepted result and its per-stage flags.
#pragma once

#include "core/types.h"

namespace vexo {

// Decodes the current region or scan-line set. Answers 1 when a linear symbol (with any
// composite component) was accepted; writes lastSymbologyCode.
int LineImg_Decode();
// Text and length of the accepted result (null / 0 when nothing was decoded).
const u8 *LineImg_GetResultText();
int LineImg_GetResultLength();
// The accepted result's identifier, three bytes ("]X0" when nothing was decoded).
void LineImg_WriteAimId(char *out);
// 0 when nothing was decoded; otherwise the symbology bit of the accepted result, and
// its internal 1D id is written to id (when id is set).
u32 LineImg_GetSymbologyBit(i32 *id);
// The linear-stage flags: bits 0-1 the scan-line set (5 columns, 7 rows, 0 outside the
// stage), bit 2 a flag.
void LineImg_SetScanMode(u32 flags);
// Resets the 1D symbology records; run after every successful decode.
void LineImg_ResetSymbologies();

}  // namespace vexo
