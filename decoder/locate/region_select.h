// Region-of-interest selection: textured 8 x 8-pixel blocks of a search window, grouped
// into candidate boxes, widened, de-nested and handed back as region quads.
#pragma once

#include "core/types.h"
#include "core/types.h"

namespace vexo {

// An 8-bit plane in scratch memory; rows are `width` bytes apart.
struct BYTE_PLANE {
    u8 *data;
    i32 width;
    i32 height;
};

inline constexpr int kRoiTableSize = 50;

// The candidate boxes of the current frame; the region table keeps it parallel to its own
// entries.
extern ROI_BOX g_roiTable[kRoiTableSize];

// The whole selection for the installed image: writes the quads of the ROI table to out
// (room for 50) and answers their count, at least 1 (a centred 480 x 320 window when no
// textured area is found). Recomputes the frame margins. A null out answers 0.
int Loc_SelectRegions(REGION_QUAD *out);

// Block finder over window (inclusive frame rows and columns). Writes up to capacity
// boxes in frame pixels and answers their count. Finds nothing (0) when the window does
// not lie inside the installed frame, the frame or its second buffer is missing, or the
// frame is larger than 1280 per side or 1,228,800 pixels. Uses the second buffer as
// scratch: its first width x height bytes are cleared and overwritten.
int Loc_FindBlockRegions(ROI_BOX *out, u32 capacity, ROI_BOX *window);

// The following steps are exposed for tests; they take their planes from the scratch area
// that Loc_FindBlockRegions resets and leave data null when it is exhausted.

// 2 x 2 means of the window, rounded, into half (allocated here).
void Loc_HalveWindow(BYTE_PLANE *half, ROI_BOX *window);
// Block map (1 = textured) of 4 x 4 half pixels per block, into blocks (allocated here).
void Loc_MarkTexturedBlocks(BYTE_PLANE *blocks, BYTE_PLANE *half);
// Clears marks with fewer than 21 marked blocks among their 37 neighbours within
// distance sqrt(12), then the border rows and columns of the map.
void Loc_FilterBlockMap(BYTE_PLANE *blocks);
// Raster scan tracing every group of marked blocks; answers the boxes found (block units),
// at most capacity.
int Loc_CollectBlockRegions(ROI_BOX *out, u32 capacity, BYTE_PLANE *blocks);
// Follows the outer boundary of the group holding marked block (x, y), erases the group
// row span by row span and answers 1 with its box, or clears a lone block and answers 0.
int Loc_TraceBlockRegion(ROI_BOX *out, int x, int y, BYTE_PLANE *blocks);

// Widens every box by 40 pixels on 640-wide frames, 50 on 752-wide ones, else 16,
// clamped to the frame.
void Loc_WidenRegions(ROI_BOX *boxes, int count);
// Drops every box lying inside another (equal boxes included); answers the new count.
int Loc_DropContainedRegions(ROI_BOX *boxes, int count);

// Selection helpers that no stage calls.
void Loc_CentredWindow(ROI_BOX *box);
// box = {left, top, right, bottom}: a large box has each side longer than a third of the
// frame cut to that third around its centre.
void Loc_ShrinkBoxToThird(i32 box[4]);
// Appends the central half of the frame when the largest quad is small and off-centre;
// answers the new count, 0 when count <= 0 or count >= capacity.
int Loc_AddCentredHalfFrame(REGION_QUAD *quads, int count, int capacity);
// A fast square root of the variance of v; 0 for n < 1 or a negative variance.
int Loc_SampleDeviation(const int *v, int n);
// A small flat region becomes the frame less a 64-pixel border.
void Loc_FlatRegionToFrame(REGION_QUAD *q);

}  // namespace vexo
