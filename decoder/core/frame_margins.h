// Frame margins, candidate boxes and the small hooks of the decode.
#pragma once

#include "core/types.h"

namespace vexo {

// Smoothing of every second frame: on when value is 1.
void Dec_SetSmoothing(i32 value);
const char *Dec_TraceInit(const char *text);

}  // namespace vexo
