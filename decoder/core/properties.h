// Property dispatch: the option groups of the parameter block by id.
#pragma once

#include "core/types.h"

namespace vexo {

// Handler answers: 1 applied/answered, -1 value rejected (nothing changed), 0 not an id
// of the group.
int Par_DispatchSet(u32 id, u64 value);
int Par_DispatchGet(u32 id, void *out);

}  // namespace vexo
