// Micro QR finder outline: one finder summary of the QR finder becomes the four corners of
// the finder's outer ring (its centre line), a transform from the finder template to the
// image, the side of the finder on which the data lies, and a module-size estimate. Image
// points in 1/16 pixel; the template has 11 units per module, the ring's centre line the
// square (0, 0)-(66, 66), x right and y down with the data beyond 66 in both.
#pragma once

#include "core/types.h"
#include "qr/qr_state.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

inline constexpr i32 kMqrRayCount = 36;
inline constexpr i32 kMqrMaxRuns = 35;
inline constexpr i32 kMqrMaxBandSamples = 1024;
// Points a gather can hold: neighbouring runs share their boundary point, so the runs of
// 36 ring points hold at most 36 + 35 entries.
inline constexpr i32 kMqrGatherPoints = kMqrRayCount + kMqrMaxRuns;

struct MQR_LOCATE {
    const QR_FINDER_SUMMARY *candidate;
    i32 polarity;        // 1 dark on light, 0 light on dark
    f32 moduleEstimate;  // pixels
    GEO_POINT corners[4];  // template (0, 66), (0, 0), (66, 0), (66, 66) after orientation
    GEO_POINT centre;
};

struct MQR_RING_POINTS {
    const QR_FINDER_SUMMARY *candidate;
    GEO_POINT points[kMqrRayCount];
    i32 count;
    i32 polarity;
};

struct MQR_BAND_PROBE {
    const u8 *samples;
    i32 count;     // clamped to kMqrMaxBandSamples
    i32 window;    // smoothing width
    i32 polarity;
    i32 position;  // result, 1/16 sample
};

struct MQR_RUN {
    i32 valid;
    i32 first;  // may be negative: -k is point count - k
    i32 last;
    i32 count;
    LINE_FIT line;
    GEO_POINT end0;
    GEO_POINT end1;
};

// 1 with corners, centre and module estimate; 0 when the outline is not found. candidate
// and polarity are set by the caller.
int MQR_LocateFinder(MQR_LOCATE *loc);
// Ring points along 36 rays from the summary's centre: 1 when at least one was found.
int MQR_FindRingPoints(MQR_RING_POINTS *ring);
// Window of the ring search for a finder of largest extent e pixels.
i32 MQR_RingWindow(i32 e);
// Centre of the ring band on one ray profile: 1 with position, else 0.
int MQR_FindBandCentre(MQR_BAND_PROBE *probe);
// The same from running window sums of the raw profile, without edge detection.
int MQR_FindBandCentreRaw(MQR_BAND_PROBE *probe);
// Moving average of width w (1..n) into out: answers n - w + 1, or 0 for bad arguments.
i32 MQR_SmoothProfile(const u8 *v, i32 n, i32 w, u8 *out);
// 1024 cos^2 of the angle at p between p->q and p->r (0 for a null point or a zero side).
i32 MQR_Cos2x1024(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r);
// Splits the closed chain of n points into straight runs (at most maxRuns): the run count.
i32 MQR_SplitRuns(const GEO_POINT *points, i32 n, MQR_RUN *runs, i32 maxRuns);
// 0 for n < 2 or maxRuns <= 0, else MQR_SplitRuns.
i32 MQR_SplitRunsChecked(const GEO_POINT *points, i32 n, MQR_RUN *runs, i32 maxRuns);
// Fits a line per run, merges collinear runs and drops the smallest until at most four are
// left (moved to the front): the number left.
i32 MQR_FitRunLines(const GEO_POINT *points, i32 n, MQR_RUN *runs, i32 runCount);
i32 MQR_RunsCollinear(const MQR_RUN *a, const MQR_RUN *b);
// 0 unless both runs are valid, else MQR_RunsCollinear.
i32 MQR_RunsCollinearChecked(const MQR_RUN *a, const MQR_RUN *b);
// 1 when the centre lies within about 20 degrees of both diagonals of the corners.
i32 MQR_CheckDiagonals(const GEO_POINT *centre, const GEO_POINT corners[4]);
// Template -> image through the four corners followed by the centre.
int MQR_FitFinderTransform(const GEO_POINT points[5], PERSPECTIVE *out);
// 0..3: the pair of sides facing the data (left+bottom, left+top, top+right,
// right+bottom); -1 undecided or unmappable.
i32 MQR_FindOrientation(const PERSPECTIVE *w);
// Rotates the corners so that the data lies right of and below the finder: 1 for 0..3,
// else 0 (corners untouched).
i32 MQR_RotateCorners(GEO_POINT corners[4], i32 orientation);

}  // namespace vexo
