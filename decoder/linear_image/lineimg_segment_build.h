// The one segment builder behind the row, column and refit builders.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_segments.h"

namespace vexo {

using SegmentTraceFn = int (*)(EDGE_TRACE *t);

struct SEGMENT_BUILD {
    u8 columns;  // 1: column pair (lines are x, edges run along y)
    u8 refit;    // 1: edges stand for samples of `lines`; no covered test, no overwrite
    i32 margin;  // of the segments' end boxes
    i32 ratio;
    i32 lineStart;  // main builders: coordinate of the lines' first sample
    i32 scratch;
    const SAMPLED_LINE_PAIR *lines;
    SegmentTraceFn trace;
};

int LineImg_BuildSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, const SEGMENT_BUILD *b);

}  // namespace vexo
