// The region stage's list of at most two boxes (the record lives on the ground, in
// core/types.h).
#pragma once

#include "core/types.h"

namespace vexo {

extern BOX_LIST g_boxList;

}  // namespace vexo
