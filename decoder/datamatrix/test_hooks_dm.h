// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the Data Matrix module's static records back to their state at load: options,
// result, structured-append data, image, best status, the data layer's state with its
// mirror flag, and the block cache.
void Test_ResetDmStatics();

}  // namespace vexo
