// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the Aztec module's static records back to their state at load: the append state
// empty, AIM modifier '0', the bulls-eye finder's queue, table and rays cleared.
void Test_ResetAztStatics();

}  // namespace vexo
