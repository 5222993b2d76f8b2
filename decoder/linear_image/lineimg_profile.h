// Profile path: 20 lines across a region merged into one profile with four samples per
// pixel (values grey x 4, 0..1,023), then sharpened and turned into two edge lists the
// 1D table takes like those of a scan line. Positions on the common axis are in 1/16 of a
// middle-line sample; profile samples lie every 4 units.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_module.h"

namespace vexo {

inline constexpr i32 kProfLines = 20;
inline constexpr i32 kProfLineBytes = 1024;
inline constexpr i32 kProfCapacity = 4096;
inline constexpr i32 kProfMaxTracks = 255;
inline constexpr i32 kProfMergedCap = kProfLines * kProfLineBytes;
inline constexpr i32 kProfWindowCap = 99;
inline constexpr i32 kProfMoveCap = 20480;
inline constexpr i32 kProfTrackFloats = 7;
// The five blocks, fixed so that they hold the maxima whatever the image width.
inline constexpr i32 kProfBlockLines = kProfLines * kProfLineBytes;
inline constexpr i32 kProfBlockMerged = kProfMergedCap;
inline constexpr i32 kProfBlockWorkA = 2 * kProfLines * kProfLineBytes;
inline constexpr i32 kProfBlockWorkB = 2 * kProfLines * kProfLineBytes;
inline constexpr i32 kProfBlockProfile = 2 * kProfCapacity;
static_assert(kProfBlockLines + kProfBlockMerged + kProfBlockWorkA + kProfBlockWorkB + kProfBlockProfile == 131072);
static_assert(kProfMaxTracks * kProfTrackFloats * 4 <= kProfBlockWorkB);

// Line j holds common position x at sample (a0 + b0 j) + (a1 + b1 j) x / 16.
struct LINE_MODEL {
    f64 a0, a1, b0, b1;
};

// slope, V (line 0, + 1.5), W (middle line), W^2, slope W, V W, residual.
struct PROFILE_TRACK {
    f32 v[kProfTrackFloats];
};

// Named apart from the toolkit's profile request, which is another record.
struct LINEIMG_PROFILE_REQUEST {
    const REGION_QUAD *quad;
    u16 *edges[2];  // candidate 0: level edges (1/16 sample); 1: shape edges (1/8 sample)
    u16 counts[2];
    u16 caps[2];
    i32 state;  // 2 when both candidates were written
};

// The L aligned lines of a region: rows start at each line's first aligned sample.
struct PROFILE_LINES {
    const u8 *rows[kProfLines];
    i32 n;  // samples per line
    i32 l;  // lines
};

// ---- Sharpening and edges (profiles of n <= 4,095 samples).

i32 LineImg_ByteSignalSpan(const u8 **line, i32 n, i32 *maxOut, i32 *minOut);
i32 LineImg_ProfileSignalSpan(const u16 **profile, i32 n, i32 *maxOut, i32 *minOut);
i32 LineImg_CountByteTransitions(const u8 *span, i32 length, i32 max, i32 min);
i32 LineImg_CountProfileTransitions(const u16 *span, i32 length, i32 max, i32 min);
// Eighths of a sample, at most capacity.
i32 LineImg_ProfileEdgesByShape(const u16 *profile, i32 n, u16 *out, i32 capacity);
// Sixteenths of a sample, falling first, at most capacity.
i32 LineImg_ProfileEdgesByLevel(const u16 *profile, i32 n, u16 *out, i32 capacity);
// second: n samples of scratch. 1 sharpened, 0 not.
int LineImg_SharpenProfile(u16 *profile, i32 n, u16 *second);
// Deblurring row for x samples per transition.
i32 LineImg_DeblurRow(f32 x);
// Always 1; max <= min leaves the profile as it is.
int LineImg_DeblurProfile(u16 *profile, i32 n, i32 max, i32 min, i32 row, u16 *second);
// The deblurring table's weight k (0..10) of row r.
i32 LineImg_DeblurWeight(i32 row, i32 k);

// ---- Resampling and super-resolution.

// 1 when the model maps samples 0 and n - 1 of every line to finite positions of the
// common axis's 16-bit range.
int LineImg_ModelUsable(const LINE_MODEL *model, i32 n, i32 l);
i32 LineImg_ResampleProfile(const LINE_MODEL *model, const PROFILE_LINES *lines, u16 *profile, i32 capacity);
// The merged list: positions, second differences, values; *count entries.
struct PROFILE_MERGED {
    i16 *position;
    i16 *d2;
    u8 *value;
    i32 count;
    i32 cap;
};
int LineImg_MergeSamples(const LINE_MODEL *model, const PROFILE_LINES *lines, PROFILE_MERGED *merged);
// Fine path over an already merged list.
i32 LineImg_SuperResolveMerged(const PROFILE_MERGED *merged, u16 *profile, i32 capacity);
i32 LineImg_SuperResolve(const LINE_MODEL *model, const PROFILE_LINES *lines, PROFILE_MERGED *merged, u16 *profile,
                         i32 capacity);
// Correction table entry T(g, |d|).
i32 LineImg_CurvatureCorrection(i32 gap, i32 d);

// ---- Lines and the line model.

i32 LineImg_ScoreCut(const i32 *scores, i32 l);
// Aligns rows (steps, then the score cut); shifts rows and n, may drop lines.
void LineImg_AlignLines(PROFILE_LINES *lines, i32 *scores);
// filtered: n x l i16, used: n x l bytes. Tracks written; returns their count.
i32 LineImg_TrackEdges(const PROFILE_LINES *lines, i16 *filtered, u8 *used, PROFILE_TRACK *tracks);
i32 LineImg_RobustTrackFit(PROFILE_TRACK *tracks, i32 n);
int LineImg_SolveLineModel(LINE_MODEL *model, PROFILE_TRACK *tracks, i32 n);
i32 LineImg_ElementWidth16(const PROFILE_LINES *lines);

// ---- Entry (with the five blocks taken).

int LineImg_SampleLineSet(const REGION_QUAD *quad, PROFILE_LINES *lines);
int LineImg_FitLineModel(const PROFILE_LINES *lines, LINE_MODEL *model);
i32 LineImg_BuildProfile(u16 *profile, const REGION_QUAD *quad);
int LineImg_ProfileEdges(LINEIMG_PROFILE_REQUEST *request);
// The taken blocks' profile (null when not taken).
u16 *LineImg_ProfileBuffer();
// Regions stacked on a failed one get the skip status.
void LineImg_MarkAdjacentRegions();

}  // namespace vexo
