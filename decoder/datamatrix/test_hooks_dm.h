// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the Data Matrix module's static records back to their state at load: options,
// result, structured-append data, image, best status, the data layer's state with its
// mirror flag, the block cache, the module's own stages, the L-finder's segment store and
// the locating step's threshold and calls.
void Test_ResetDmStatics();

struct DM_STAGES;
// The stages DM_DecodeImage runs from now on (null: the module's own), so that a test can
// script them behind the module record.
void Test_SetDmStages(const DM_STAGES *stages);

struct DM_LOCATE_CALLS;
// The classifier and region-lattice calls DM_LocateAndSize makes from now on (null: the
// module's own).
void Test_SetDmLocateCalls(const DM_LOCATE_CALLS *calls);

}  // namespace vexo
