// The candidate box of region selection, shared with the core's box expansion.
#pragma once

#include "core/types.h"

namespace vexo {

// Inclusive rows and columns of the frame (block coordinates inside the block finder).
struct ROI_BOX {
    i16 top;
    i16 bottom;
    i16 left;
    i16 right;
};
static_assert(sizeof(ROI_BOX) == 8);

}  // namespace vexo
