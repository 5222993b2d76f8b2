// Whether a box of the installed image holds PDF417 start or stop guards.
#pragma once

#include "core/types.h"

namespace vexo {

// 1 when the row scanner finds a guard candidate in box {top, left, right, bottom} (light
// bars admitted), else 0 (also without arena room). The arena is as before on return.
int Loc_BoxHasPdfGuards(const i32 box[4]);

}  // namespace vexo
