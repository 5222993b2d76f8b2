#include "core/frame_margins.h"

#include "core/state.h"

namespace vexo {

void Dec_SetSmoothing(i32 value) { g_state.smoothing = value == 1 ? 1u : 0u; }

const char *Dec_TraceInit(const char *text) { return text; }

}  // namespace vexo
