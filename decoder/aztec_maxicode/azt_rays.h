// Rays from a bulls-eye centre: staircase sampling of the installed image and the three
// ways of finding the ring edges along a sampled ray.
//
// Positions along a ray are in 1/16 sample (16 k + 8 lies between samples k and k + 1);
// the edge distances are converted to 1/16 pixel with the ray's step weight.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kAztRayMaxLength = 250;

// One ray of a bulls-eye. The finder fills samples/start/length/strides/weight/level and the
// two limits; the samplers fill the sample buffer and the edge finders the edges.
struct AZT_RAY {
    u8 *samples;      // at least kAztRayMaxLength bytes
    u8 *start;        // the origin pixel inside the installed image
    u16 length;       // samples to take, at most kAztRayMaxLength
    i16 strideA;      // pixel offset of the odd steps (taken first)
    i16 strideB;      // pixel offset of the even steps
    u16 weight;       // 512 x the length of one step in pixels (512, 572 or 724)
    i16 level;        // grey separating light from dark, in the ray's polarity
    u16 firstLimit;   // largest e1 accepted, 1/16 pixel
    u16 secondLimit;  // largest e2 accepted, 1/16 pixel
    // Distances from the origin of the first five edges after the first light run, in 1/16
    // pixel: e1, e3, e5 light to dark, e2, e4 dark to light; e4 and e5 are 0 when absent.
    i32 e1, e2, e3, e4, e5;
    // Centres of the light runs e2..e3 and e4..e5 in 1/8 sample; c3 is 0 when e4 or e5 is.
    i32 c2, c3;
};

// Ray samplers: sample 0 is the origin pixel, then the ray steps by strideA, strideB,
// strideA, ... A length above kAztRayMaxLength is cut to it. Sampling stops at the first
// step whose pixel lies outside the installed image buffer, and `length` is lowered to the
// number of samples taken (0 without samples buffer, start pixel or image).
void Loc_RaySampleStairs(AZT_RAY *ray);
// The same with every sample stored as 255 - pixel, so that light and dark swap.
void Loc_RaySampleStairsInverted(AZT_RAY *ray);

// Ray edge finders: read samples, length (at most kAztRayMaxLength is used), level, weight
// and the limits; write e1..e5, c2 and c3. 1 when the ray measured the rings, else 0 (the
// edge fields are then unspecified).
// Contrast: starts at the first local maximum at or above the level; strict descents,
// non-strict rises; light-run centres blend the run's midpoint with its brightest sample.
int Loc_RayEdgeContrast(AZT_RAY *ray);
// Long: every edge starts at the next crossing of the level; runs continue over equal
// samples; light-run centres are the midpoints of their edges.
int Loc_RayEdgeLong(AZT_RAY *ray);
// Flat, for rays of very small or very dark bulls-eyes: starts after the first stretch of
// two samples at or above the level; a run goes on over a one-sample reversal.
int Loc_RayEdgeFlat(AZT_RAY *ray);

}  // namespace vexo
