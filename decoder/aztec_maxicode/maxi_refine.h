// Small geometric operations of the MaxiCode symbol reading and the refinement of one ring
// of the hexagonal module grid: the six sides' module edges are fitted as lines and the ring
// becomes the six crossings of neighbouring sides. Positions are in 1/16 pixel unless whole
// pixels are said; the image is the installed one.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kMaxiRotations = 20;
// Side points stored per list: one per walked whole-pixel position inside the frame, so a
// side never stores more than the 1280 pixels of the frame's longest side.
inline constexpr i32 kMaxiSideEdgePoints = 1280;

// out = p turned about c by the table angle k (0..19: -0.10 .. -0.01, +0.01 .. +0.10 rad),
// truncated toward zero; p stays when k is outside the table.
void Maxi_RotateAboutCentre(const GEO_POINT *p, const GEO_POINT *c, GEO_POINT *out, i32 k);
// 1 when 0 <= x <= (width - 1) x 16 and 0 <= y <= (height - 1) x 16.
i32 Maxi_PointInFrame16(const GEO_POINT *p);
// Grey of the pixel under p; 255 within 4 pixels of the top and left and 3 of the bottom
// and right border.
i32 Maxi_PixelAt16(const GEO_POINT *p);
// The ring's six points moved to the crossings of its refined side lines; a point whose two
// sides are parallel stays as it was. ringNumber is the ring's hexagonal distance.
void Maxi_RefineRing(const GEO_POINT ring[6], GEO_POINT out[6], i32 ringNumber);
// The refined line of the side p-q: the middle of the module edges found on both sides of
// it, or the line through its extended ends.
void Maxi_RefineRingSide(GEO_POINT p, GEO_POINT q, i32 ringNumber, LINE_FIT *out);
// Two parallel lines fitted to edge points a and b ((major, minor) whole pixels); 1 and
// their middle line (1/16 pixel) in out, or 0 when the points span less than two thirds of
// sideLength (1/16 pixel), the fit is degenerate or outlier removal empties a list.
i32 Maxi_FitParallelEdges(i32 sideLength, const GEO_POINT *a, const GEO_POINT *b, i32 na, i32 nb, LINE_FIT *out);

}  // namespace vexo
