// Pixel tests of a Han Xin finder candidate's 3 x 3-module core on the installed image:
// recentring a point in the core's run and the compactness of the core.
#pragma once

#include "core/types.h"

namespace vexo {

// The centre of the run of pixels like pix(x, y) around the point: a pixel leaves the run
// when it is brighter (polarity 1, dark modules) or darker (polarity 2) by more than 8.
// Points within 3 pixels of the border come back unchanged.
POINT_I32 CSCN_RecentreInRun(i32 x, i32 y, i32 polarity);

// The core compactness test: four walks from the centre follow the core's darkest (polarity
// 2: brightest) pixels up, down, left and right while they stay within 1024 / (1024 - 153)
// of the centre's value, at most 100 steps each. Passes (1) when no walk exceeds `limit`
// and the vertical and horizontal extents are within 2.5 times of each other (or one is 0).
// 0 for centres within 4 pixels of the border or no image.
i32 CSCN_CoreCompact(i32 x, i32 y, i32 polarity, i32 limit);

}  // namespace vexo
