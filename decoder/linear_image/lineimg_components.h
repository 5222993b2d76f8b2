// Composite components: the area next to a linked linear symbol where its 2D component
// lies, and the two requests by which the PDF417 family reads it.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_module.h"

namespace vexo {

// Symbology code and reader variant of a CC-A/CC-B component, from the newest result.
struct LINEIMG_CC_CHOICE {
    i32 code;     // 60..67
    i32 variant;  // 0..7
};

// The edge-count walk reaches this far beyond the symbol (pixels) in steps of 4.
inline constexpr i32 kComponentReach = 396;
inline constexpr i32 kComponentStep = 4;
inline constexpr i32 kComponentSamples = 1280;
inline constexpr i32 kComponentEdges = 256;
// The work block of the area finder: a line's samples, then two sample runs of the end
// trimming, two edge lists and two match lists.
inline constexpr i32 kComponentScratchBytes = 3 * kComponentSamples + 4 * kComponentEdges * 4;
inline constexpr i32 kCcRequestCapacity = 512;
inline constexpr i32 kCcClearBytes = 368;

// 1 when the newest result needs no component or its component was read, else 0.
int LineImg_TryComponents(LINEIMG_RUN *run);
// Widens regionQuad in place, locates the component area beside it and reads the component:
// 1 on a read (the current id becomes the composite id), else 0.
int LineImg_ReadComponent(LINEIMG_RUN *run, REGION_QUAD *regionQuad);
// Moves both ends of the first side (c0-c1) and of the last side (c2-c3) outwards so that
// each side reaches margin pixels beyond the first side's former length at each end; the
// new corners are computed from the corners as they were.
void LineImg_WidenQuad(REGION_QUAD *quad, i32 margin);
// Finds the area beyond the first side (direction vote 1) or the last side (vote -1) and
// writes it with corners in cyclic order (top-left, top-right, bottom-right, bottom-left).
// mode 2 for EAN/UPC (the component lies beyond a gap), else 1. Answers 1.
int LineImg_OrientComponentArea(const REGION_QUAD *quad, REGION_QUAD *area, i32 mode);
// The area beyond q's first side, in REGION_QUAD order: c0-c1 its far side, c2-c3 its near
// side, both ends trimmed to 8 pixels outside the outermost bars. Answers 0 without image
// or work memory (area then is q's first side twice), else 1.
int LineImg_FindComponentArea(const REGION_QUAD *q, REGION_QUAD *area, i32 scratchOffset, i32 mode);
// Distance in whole pixels, less 8, from a0 to the first falling edge seen on both a0->mid(a0,
// a1) and b0->mid(b0, b1) inside the image; 0 when none.
i32 LineImg_FindBarStart(const GEO_POINT *a0, const GEO_POINT *a1, const GEO_POINT *b0, const GEO_POINT *b1,
                         i32 scratchOffset, i32 ratio, i32 minStep);
// Typed callback 1 (a CC-C, PDF417 component) for area (cyclic order): 1 read, else 0.
int LineImg_ReadPdfComponent(LINEIMG_RUN *run, const REGION_QUAD *area, const REGION_QUAD *linearQuad);
// Typed callback 2 (a CC-A or CC-B component) for area (cyclic order): the callback's
// answer, 0 when refused or not read.
int LineImg_ReadCcComponent(LINEIMG_RUN *run, const REGION_QUAD *area);
// Row of the code and variant table for the newest result: 1 and *out, or 0 (no request).
int LineImg_ChooseCcVariant(i32 linkFlag, i32 id, LINEIMG_CC_CHOICE *out);

}  // namespace vexo
