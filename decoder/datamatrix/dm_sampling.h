// Module sampling of a located Data Matrix symbol and the module's small line and edge
// routines. Positions along a side are in 1/16 sample, points in 1/16 pixel.
#pragma once
#include "core/types.h"
#include "datamatrix/dm_types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kDmBoundaryEntries = 252;

// One side of a data region: top and bottom sides from the left node to the right node,
// left and right sides from the lower node to the upper node.
struct DM_BOUNDARY {
    GEO_POINT p0, p1;
    i32 count;  // modules along the side
    i32 hasCentres;
    i32 hasPoints;
    i32 centres[kDmBoundaryEntries];    // 1/16 sample along the major axis of p0-p1 from p0
    GEO_POINT points[kDmBoundaryEntries];  // 1/16 pixel
};

// The midpoint (1/16 sample) of the strongest strict descent (falling) or ascent of
// s[start .. start + count - 1] whose amplitude exceeds 3; -1 when none.
i32 DM_EdgeInWindow(const u8 *s, i32 start, i32 count, i32 falling);
i32 DM_FallInWindow(const u8 *s, i32 start, i32 count);
// Module centres (1/16 sample) of a timing profile of *count modules (estimated afresh
// when *count is outside 1..49); the first edge sought falls for polarity 0, rises for 1.
// 1 with at least *count centres written (capacity bounds them), else 0.
i32 DM_FindModuleCentresIn(const u8 *profile, i32 length, i32 polarity, i32 *count, i32 *centres, i32 capacity);
i32 DM_CentresToPoints(DM_BOUNDARY *rec, i32 limit);
i32 DM_EnsurePoints(DM_BOUNDARY *rec, i32 limit);
// Scales src's centres onto dst when dst has none; 1 when dst then has points.
i32 DM_ShareCentres(DM_BOUNDARY *src, DM_BOUNDARY *dst, i32 limit);
// Grey at (x, y) in 1/16 pixel with a gain of 17/16; 128 outside the frame's inner part.
i32 DM_SampleBilinear16(const u8 *image, i32 x, i32 y);
// Samples one region (left and right points from the top) into out; 0 when it cannot.
i32 DM_SampleRegionGrid(const u8 *image, DM_BOUNDARY *top, DM_BOUNDARY *left, DM_BOUNDARY *bottom, DM_BOUNDARY *right,
                        u8 *out, i32 limit);
void DM_CopyRegionModules(const u8 *block, DM_GEOMETRY *geo, i32 t, i32 b);

// Falling and rising centroids (1/10 sample) of strict runs of at least minStep, in the
// order met; at most 150.
i32 DM_EdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep);
// (y1 - y0) / (x1 - x0); 1e-6 for a horizontal pair, 573 for a vertical one.
f32 DM_SlopeOfPoints(i32 x0, i32 y0, i32 x1, i32 y1);
// max(|dx|, |dy|); -1 when a point is missing.
i32 DM_ChebyshevDistance(const GEO_POINT *a, const GEO_POINT *b);
i32 DM_ReturnZero();

}  // namespace vexo
