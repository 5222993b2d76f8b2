// What the decoder core asks of the Aztec decoder: its decode entry and the accessors of
// its last result.
#pragma once

#include "core/types.h"

namespace vexo {

// Decodes Aztec symbols around the candidates of the Aztec finder. Answers 1 when a symbol
// was decoded (up to two results stand in the result store).
int AztbProcMain();
// Text of the last result (null when none) and its length (0 when none or negative).
const u8 *Azt_GetResultText();
int Azt_GetResultLength();
// The four corners of the last symbol in REGION_QUAD order (out left alone when none).
void Azt_GetCorners(REGION_QUAD *out);
// Writes ']', 'z' and the modifier (three bytes, no terminator).
void Azt_WriteAimId(char *out);

}  // namespace vexo
