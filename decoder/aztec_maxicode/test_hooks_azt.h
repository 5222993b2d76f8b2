// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

#include "aztec_maxicode/azt_symbol.h"

namespace vexo {

// Puts the Aztec module's static records back to their state at load: the append state
// empty, AIM modifier '0', the bulls-eye finder's queue, table and rays cleared, the driver's
// state and its candidate decode as loaded.
void Test_ResetAztStatics();

// The candidate decode AztbProcMain calls from now on (null: the module's own), so that a
// test can script candidates that no rendered symbol shows.
void Test_SetAztCandidateDecode(AztCandidateFn decode);

}  // namespace vexo
