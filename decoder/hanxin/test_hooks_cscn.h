// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the Han Xin module's static records back to their state at load.
void Test_ResetCscnStatics();

}  // namespace vexo
