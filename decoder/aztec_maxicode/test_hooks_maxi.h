// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the MaxiCode module's static records back to their state at load: no ECI or append
// values, the append record empty, AIM modifier '0', the finder and grid state cleared
// (edge parameters 102 and 6).
void Test_ResetMaxiStatics();

}  // namespace vexo
