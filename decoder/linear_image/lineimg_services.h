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
// The record's linkage word (the core passes 5 and 7 in its linear stage, 0 after it):
// bit 2 switches the profile path on or off for every following image (on before the
// first call); bits 0 and 1 have no effect here.
void LineImg_SetScanMode(u32 flags);
// Resets the 1D symbology records; run after every successful decode.
void LineImg_ResetSymbologies();

}  // namespace vexo
