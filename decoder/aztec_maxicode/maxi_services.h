// What the decoder core asks of the MaxiCode decoder: its decode entry and the accessors
// of its last result.
#pragma once

#include "core/types.h"

namespace vexo {

// Clears the MaxiCode result length and decodes over the whole image. Answers 1 when a
// symbol was decoded.
int Maxi_DecodeWholeImage();
// Text of the last result (null when none) and its length (0 when none).
const u8 *Maxi_GetResultText();
int Maxi_GetResultLength();
// The four corners of the last symbol in REGION_QUAD order (out left alone when none).
void Maxi_GetCorners(REGION_QUAD *out);
// Writes ']', 'U' and the modifier (three bytes, no terminator).
void Maxi_WriteAimId(char *out);

}  // namespace vexo
