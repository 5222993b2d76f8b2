// What the decoder core asks of the QR Code and Micro QR decoder: its decode entry and the
// accessors of its last result.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr u32 kQrTypeMicro = 10;

// Decodes QR Code and Micro QR symbols in the current region. Answers 1 when a symbol was
// decoded (then lastSymbologyCode is 258 or 259 and every symbol, at most two, stands in
// the result store), any other value otherwise.
int QR_DecodeImage();
// Writes the type of the last result (kQrTypeMicro for Micro QR) and answers 1; answers 0
// and writes nothing when nothing was decoded or type is null.
int QR_GetSymbolType(u32 *type);
// Terminated text of the last result, null when none; its length, 0 when none.
const u8 *QR_GetResultText();
int QR_GetResultLength();
// The four corners of the last symbol in REGION_QUAD order (out left alone when none).
void QR_GetCorners(REGION_QUAD *out);
// Writes ']', 'Q' and the modifier of the last result (three bytes, no terminator).
void QR_WriteAimId(char *out);
// Structured append of the last result: present (non-zero), position, total, parity byte.
int QR_HasSa();
int QR_GetSaIndex();
int QR_GetSaCount();
int QR_GetSaParity();

}  // namespace vexo
