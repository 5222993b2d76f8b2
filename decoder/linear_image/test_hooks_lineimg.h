// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

#include "core/types.h"

namespace vexo {

// Puts the linear module's static records back to their state at load (profile path on,
// regions from the image), without the regions a test installed.
void Test_ResetLineImgStatics();
// Every following decode call takes these n regions (at most 20) in place of the region
// list of the image; n <= 0 or null quads: the image's own list again.
void Test_SetLineImgRegions(const REGION_QUAD *quads, const u8 *kinds, i32 n);
// Switches the main scan and the accumulation on or off for every following decode call
// (off: the accumulation's buffers count as not taken). The profile path keeps its own
// switch (LineImg_SetScanMode).
void Test_SetLineImgMethods(bool mainScan, bool accumulate);

}  // namespace vexo
