// What region locating asks of the PDF417 decoder: the start/stop search in a box and the
// two row scanners for guard patterns.
#pragma once

#include "core/types.h"

namespace vexo {

// Non-zero when a PDF417 start or stop pattern runs through box {top, left, right,
// bottom} of the grey image (row stride = width). mode 1 searches dark bars; arg is the
// caller's hit record, handed on unchanged. Work arrays come from the work arena.
int PDF_FindStartStopInRegion(u8 *pixels, int width, int height, i32 box[4], void *arg, int mode);

// Number of guard-pattern candidates (at most 4) found by scanning rows of the box.
int PDF_ScanRowsForGuards(void *work, int maxCandidates, int reverse, i32 box[4], int lineLimit, int flags,
                          void *extra, int extraCount);

// The second row scanner, asked when the first finds nothing.
int PDF_ScanRowsForGuardsAlt(void *work, int maxCandidates, int reverse, i32 box[4], int lineLimit);

}  // namespace vexo
