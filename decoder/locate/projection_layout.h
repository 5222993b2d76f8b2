// Where the proposal passes keep their work arrays: in the scratch area right behind the
// two difference maps, so that the maps stay intact.
#pragma once

#include "core/types.h"

namespace vexo {

struct PROJ_LAYOUT {
    i16 *countA;      // verification counts of the pass's own kind of difference
    i16 *countB;      // and of the other kind
    i16 *projection;  // strong differences per row (column)
    i16 *histogram;   // histogram of the projection, then the cut buffer
    i32 entries;      // of each array: max(rows, cols) + 2
};

// The arrays for the maps of g_projState; all null without maps.
PROJ_LAYOUT Loc_ProjectionLayout();
// Bytes from the start of the maps that maps and work arrays take for an area.
i64 Loc_ProjectionBytes(i32 rows, i32 cols);

}  // namespace vexo
