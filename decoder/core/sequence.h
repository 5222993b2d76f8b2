// The decode sequence: the per-image body and the context reset.
#pragma once

#include "core/types.h"

namespace vexo {

void Dec_ResetContext();
// One decode of the installed image: 1 when a symbol was decoded and its text fetched.
u32 Dec_DecodeImage();
void Dec_EnableAllStages();

}  // namespace vexo
