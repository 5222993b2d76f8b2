// The region table: the candidate regions that the later stages of a decode work through,
// consolidated from region selection or from one projection proposal at a time.
#pragma once

#include "core/types.h"
#include "core/types.h"

namespace vexo {

// Loads up to 50 quads into the located regions of the decoder state (the ROI table moves
// in step), clears the region classes and consolidates: regions of 49/10000 of the search
// window or less are dropped, small regions touching each other are merged, a lone small
// region is grown, small regions close in rows are merged into one grown region. Answers
// the address of the located-region count. A null src or n <= 0 gives an empty table.
i32 *Loc_LoadRegions(const REGION_QUAD *src, int n);

// The box of a quad: top-left x .. top-right x by top-left y .. bottom-left y, inclusive.
// 1 when a corner of a lies in the box of b.
int Loc_CornerInBox(const REGION_QUAD *a, const REGION_QUAD *b);
// 1 when a corner of either quad lies in the other's box.
int Loc_QuadsTouch(const REGION_QUAD *a, const REGION_QUAD *b);
// out = the box spanning the boxes of a and b, as a quad (out may be a or b).
void Loc_QuadBoundingBox(const REGION_QUAD *a, const REGION_QUAD *b, REGION_QUAD *out);
// Grows the box of q by dx left and right and dy up and down, keeping 4 pixels from the
// frame edges; all four corners are rewritten.
void Loc_GrowQuad(REGION_QUAD *q, int dx, int dy);
// The same on a candidate box.
void Loc_GrowBox(ROI_BOX *b, int dx, int dy);
// 1 when point (x, y) lies in the box of q.
int Loc_PointInQuadBox(const i32 point[2], const REGION_QUAD *q);

// box = {top, left, right, bottom}: 1 when the first marked stored candidate that
// intersects it covers more than 714/1024 of it.
int Loc_CoveredByResult(const i32 box[4]);
// 2 when the quad's bounding box is covered by a result, 1 when the PDF417 start/stop
// search finds a pattern in it (arg goes to the search unchanged), else 0.
int Loc_SearchPdfInQuad(const REGION_QUAD *q, void *arg);
// The PDF417 start/stop search over the frame margins: 1 found, else 0.
int Loc_SearchPdfInWindow(void *arg);

// When every 2D symbology reads single symbols (and bits 0 and 1 of the options word are
// clear), merges quads whose corner lies in another or whose sides come within 9 pixels,
// into their bounding box; answers the new count. Otherwise answers n untouched.
int Loc_MergeOverlappingRegions(REGION_QUAD *quads, int n);

}  // namespace vexo
