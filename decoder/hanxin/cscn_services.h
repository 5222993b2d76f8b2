// What the decoder core asks of the Han Xin Code decoder: its decode entry and the
// accessors of its last result.
#pragma once

#include "core/types.h"

namespace vexo {

// Decodes a Han Xin symbol in the staged region. Answers 1 when a symbol was decoded.
int CSCNProcMain();
// Text of the last result (null when none) and its length (0 when none).
const u8 *CSCN_GetResultText();
int CSCN_GetResultLength();
// The four corners of the last symbol (only meaningful after a decode).
void CSCN_GetCorners(REGION_QUAD *out);
// Writes "]X0".
void CSCN_WriteAimId(char *out);
// Structured append (count 2 to 16): present, position stored as index + 1, total, parity.
int CSCN_HasSa();
int CSCN_GetSaIndex();
int CSCN_GetSaCount();
int CSCN_GetSaParity();

}  // namespace vexo
