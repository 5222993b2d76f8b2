// The MaxiCode symbol reading's state and the measurements made around a bulls-eye
// candidate: the grey threshold and edge parameters, the ring test along a ray with the
// ring pitch it gives, the first dark modules beyond the bulls-eye on a ray, the centroid
// of a dark module and the third corner of an equilateral triangle (the hexagonal grid).
// Image positions are in 1/16 pixel unless whole pixels are said; positions along a ray in
// 1/16 of a sample from the start of the sampled line.
#pragma once

#include "aztec_maxicode/maxi_finder.h"
#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kMaxiOrientationPoints = 18;
inline constexpr i32 kMaxiRings = 11;
inline constexpr i32 kMaxiRingDirections = 6;
inline constexpr i32 kMaxiInitialEdgeRatio = 102;
inline constexpr i32 kMaxiInitialMinStep = 6;
inline constexpr i32 kMaxiEmptyThreshold = 127;

// The reading's state for one candidate. Rings hold directions E, SE, SW, W, NW, NE.
struct MAXI_GRID_STATE {
    i32 stage;  // 1 while the last module group is mapped
    i32 threshold;
    GEO_POINT points[kMaxiOrientationPoints];  // orientation points pt0..pt17
    i32 pitches[kMaxiOrientationPoints];       // the ring pitch of each point
    GEO_POINT idealRings[kMaxiRings][kMaxiRingDirections];  // symbol units
    GEO_POINT imageRings[kMaxiRings][kMaxiRingDirections];
    GEO_POINT centre;
    i32 edgeRatio;  // relative drop x 1024
    i32 minStep;    // grey levels
};

extern MAXI_GRID_STATE g_maxiGrid;

// The state at load: everything 0 but the edge parameters (102 and 6).
void Maxi_ResetGridState();

// Analysis record of one ray.
struct MAXI_RAY_RINGS {
    const i32 *rising;
    const i32 *falling;
    i32 risingCount;  // at most 5 each
    i32 fallingCount;
    i32 *modules;      // mode 1 output
    i32 moduleCount;
    float *ratios;     // each module's distance from the ray's start in ring pitches
    i32 limit;         // most module positions collected
    i32 mode;          // 0 ring test; 1 ring test and module positions
    i32 darkMean;      // written by every successful test
    i32 lightMean;
};

inline constexpr i32 kMaxiRaySamples = 752;
inline constexpr i32 kMaxiRayEdges = 5;
inline constexpr i32 kMaxiRayModules = 2;

// Mean-descent edge parameters of a run of n samples (see the algorithm at the
// definition). The run may be read at index n only when readable > n: a run that ends the
// image closes its last descent there. At most capacity descents are kept in drops and
// ratios. No descent kept: step 6 and ratio 102.
void Maxi_EstimateEdgeParams(const u8 *run, i32 n, i32 readable, i32 minDrop, i32 minRatio, i32 *step, i32 *ratio,
                             i32 *drops, i32 *ratios, i32 capacity);
// Threshold ((max + min) >> 1, 127 for an empty run) and edge parameters from the 3 x size
// pixels that start 1.5 x size left of the candidate's centre, read on in memory past the
// end of the row (never past the image). size is the candidate's radius.
void Maxi_MeasureThreshold(const MAXI_BULLSEYE *candidate, i32 size, i32 *step, i32 *ratio);
// Ring pitch (1/16 pixel) from a ray to the right (1/16-pixel sampler) and one to the left
// (pixel sampler), 2.5 x size long: their mean, the one that passed, or 0.
i32 Maxi_MeasureRingPitch(const MAXI_BULLSEYE *candidate, i32 size);
// Samples the ray from `from` to `to` (whole pixels) and runs the ring test; in mode 1 with
// a pitch above 15 writes up to capacity module points (1/16 pixel) and their number.
i32 Maxi_MeasureRay(const GEO_POINT *from, const GEO_POINT *to, i32 mode, GEO_POINT *points, i32 *count,
                    i32 capacity, i32 subpixel);
// The ring test: the ring pitch of the ray, or 0.
i32 Maxi_AnalyseRayRings(MAXI_RAY_RINGS *rec);
// Points of the positions whose ratio is at most 9.3 along 16 x from .. 16 x to.
i32 Maxi_RayModulePoints(const GEO_POINT *from, const GEO_POINT *to, const i32 *positions, const float *ratios,
                         i32 count, GEO_POINT *points, i32 capacity);
// Weighted centroid of the dark pixels round p (1/16 pixel) within radius: 0 with out = p
// near the border, else 1 (out = p when no pixel is dark).
i32 Maxi_DarkCentroid(const GEO_POINT *p, i32 radius, GEO_POINT *out);
// Third corner of the equilateral triangle on a-b, turned from a-b as the inner module of
// an orientation group lies from its outer one.
void Maxi_EquilateralApex(const GEO_POINT *a, const GEO_POINT *b, GEO_POINT *out);

}  // namespace vexo
