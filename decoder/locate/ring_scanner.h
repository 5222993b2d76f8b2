// A finder for the centre of a square bulls-eye (concentric square rings of alternating
// polarity, as at the centre of an Aztec symbol): rows of a window are searched for runs
// of equal width, candidates are verified by rays in eight directions, and the corners of
// the ring are taken from the sixteen outermost ray crossings.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kRingRunCapacity = 400;  // entries of each run list
inline constexpr i32 kRingRays = 8;

// type 1 when the rings beyond the first three also check out (step of
// Loc_RingFinishCandidate), else 0. corner[k]: x in the low and y in the high 16 bits,
// whole pixels, clockwise from the top-most. polarity 1: dark rings on light.
struct RING_CANDIDATE {
    i32 type;
    i32 centreX;
    i32 centreY;
    i32 corner[4];
    i32 size;
    i32 score;
    i32 polarity;
};
static_assert(sizeof(RING_CANDIDATE) == 40);

// One ray through the centre in one direction and its opposite: the four ring boundaries
// on each side (half steps from the centre, negative on the opposite side, in order), the
// ray's score, and its outermost crossing on each side (1/16 pixel).
struct RING_PROBE {
    i32 bounds[8];
    i32 score;
    POINT_I32 outer[2];
};

// The scanner. The window is topLeft .. bottomRight when it is not empty, else the central
// half of the frame, clipped to the frame either way; multiPass adds two passes over the
// left and right halves of the frame's middle two thirds of rows. polarity 1 searches dark
// rings on light, 0 the inverse, any other value both. Writes at most capacity records,
// sorted by score, and answers their count (0 for a capacity below 1, no frame, or a
// second buffer without room for the two run lists of 800 bytes: frames under 1,600
// pixels). The run lists live in the second buffer of the installed image.
i32 Loc_RingScanFrame(const u8 *frame, RING_CANDIDATE *out, i32 capacity, POINT_I32 topLeft, POINT_I32 bottomRight,
                      int multiPass, int polarity);
// Run boundaries of a line of n samples (at most min(n / 2, 400) entries); writes the
// threshold; 0 when the line has no usable threshold.
i32 Loc_RingRunBoundaries(const u8 *line, i32 n, u16 *bounds, u8 *threshold, int polarity);
i32 Loc_RingRunBoundariesChecked(const u8 *line, i32 n, u16 *bounds, u8 *threshold, int polarity);
// Six two-run spans of b0..b7 compared (see the tolerance rules in the source); adds the
// mean ratio to *score and answers 1 when they are equal enough.
int Loc_RingEqualRuns6(const i32 *b, i32 *score, i32 tolerance);
int Loc_RingEqualRuns4(const i32 *b, i32 *score, i32 tolerance);
// Follows the ray through (x, y) in direction (0..7) both ways; 1 when four boundaries on
// each side show equal ring spacing. Direction 0 re-centres x, direction 4 y, each
// writing the extent in pixels to *width. Rays stop at the frame's edge.
int Loc_RingProbeRay(const u8 *frame, i32 *x, i32 *y, i32 *width, int direction, int polarity, u8 threshold,
                     i32 *score, i32 tolerance, RING_PROBE *probes);
// Ratios of the forward and backward lengths of the rays 0, 2, 4 and 6 (the axes and the
// diagonals, whose two senses step alike): 1 with their mean in *score when they sum to
// at least 3200.
int Loc_RingSymmetry(const RING_PROBE *probes, i32 *score);
// Corners from the sixteen crossings (x in the low, y in the high 32 bits, 1/16 pixel, in
// ray order): the four crossings a quarter turn apart farthest from the centre mark the
// corners, and each corner is the meeting point of the sides through the two crossings on
// either side of it. 0 unless at least two of the crossings midway between corners are
// straight (the path turns there by under about 18 degrees) and the sides meet.
int Loc_RingCorners(const i64 *points, i32 *box);
// 1024 x cos of the turn at a, between a - b and c - a; 0 when a side is 0.
i32 Loc_RingCosine1024(POINT_I32 a, POINT_I32 b, POINT_I32 c);
i32 Loc_RingDisplacementSums(const POINT_I32 *p, i32 *sums, i32 n);
int Loc_RingInnerRatio(const i32 *b, i32 *score, i32 minimum);
// The second check: the fifth and sixth boundaries of the axis rays against the first
// four (Loc_RingInnerRatio); 1 with the mean ratio in *score.
int Loc_RingFinishCandidate(const u8 *frame, RING_CANDIDATE *c, RING_PROBE *probes, u8 threshold, i32 *score,
                            i32 tolerance);
// By score, descending; the entry after the last is cleared when n is below capacity.
void Loc_RingSortCandidates(RING_CANDIDATE *c, i32 n, i32 capacity);
void Loc_RingNextPolarity(i32 *count, i32 *polarity, int mode);

}  // namespace vexo
