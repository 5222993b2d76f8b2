// What the decoder core asks of the Data Matrix decoder: its decode entry and the
// accessors of its last result.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr int kDmNoCandidate = -100;

// Decodes Data Matrix symbols in the current region. Answers 0 when a symbol was decoded
// (its results stand in the result store) and a non-zero status otherwise
// (kDmNoCandidate when no L candidate was found).
int DM_DecodeImage();
// Terminated text of the last result (null when none) and its length (0 when none).
const u8 *DM_GetResultText();
int DM_GetResultLength();
// The four corners of the last symbol in REGION_QUAD order (out left alone when none).
void DM_GetCorners(REGION_QUAD *out);
// Writes ']', 'd' and the modifier (three bytes, no terminator).
void DM_WriteAimId(char *out);
// Structured append of the last result: present, symbol position, total, and file-id
// byte i for i 0 or 1 (0 otherwise).
int DM_HasSa();
int DM_GetSaPosition();
int DM_GetSaTotal();
int DM_GetSaFileId(int i);

}  // namespace vexo
