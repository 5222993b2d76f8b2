// Multi-line accumulation: the second reading method of a region. Twenty lines across the
// region, each matched to its neighbour towards the middle; the longest run of agreeing
// lines is resampled to one length and averaged into three profiles (all, even and odd
// lines), whose edges are handed to the 1D table. Positions along a line are in 1/16
// sample; profile entries hold eight times the interpolated intensity and their edges are
// in 1/16 entry.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_module.h"

namespace vexo {

inline constexpr i32 kAccLines = 20;
inline constexpr i32 kAccMiddle = 10;
inline constexpr i32 kAccStretchCap = 5;
inline constexpr i32 kAccCandidates = 3;
inline constexpr i32 kAccCandidateCap = 300;
inline constexpr i32 kAccTextBytes = 128;
inline constexpr i32 kAccMaxWidth = 1280;  // widest frame the work-buffer areas are sized for
inline constexpr i32 kAccBlocks = 8;
inline constexpr u16 kAccNoValue = 0xFFFF;
inline constexpr u16 kAccStopUnconfirmed = 12;
inline constexpr i32 kAccMatchReach = 70;
inline constexpr i32 kAccFitResidual = 50;
inline constexpr i32 kAccMinFitPairs = 10;
inline constexpr i32 kAccStretchGap = 300;
inline constexpr i32 kAccProfileEdgeCap = 300;
// Candidate blocks: edges of three candidates, their widths, their texts.
inline constexpr i32 kAccEdgeBlockBytes = kAccCandidates * kAccCandidateCap * 2;
inline constexpr i32 kAccTextBlockBytes = kAccCandidates * kAccTextBytes;
static_assert(kAccEdgeBlockBytes == 1800 && kAccTextBlockBytes == 384);

struct LINEIMG_ACC_LINE {
    u16 startOffset;  // first usable position (1/16 sample from the line's start)
    u16 endOffset;    // last usable position; not above startOffset: no usable part
    u8 *samples;      // up to twice the image width
    u16 sampleCount;
    u16 *edges;  // falling, rising, falling, ... (1/16 sample), up to the image width
    u16 edgeCount;
    u16 edgeCap;
    u8 intervals;  // agreeing stretches; 0: the line is not usable
    u16 stretches[kAccStretchCap][2];
    i32 mapStart;  // positions on this line of the middle line's first and last position
    i32 mapEnd;
    u16 *profile;  // resampled, profileLength entries, kAccNoValue where the line has none
};

struct LINEIMG_ACC_CANDIDATE {
    u16 *edges;   // 1/16 profile entry, falling first
    u16 edgeCount;
    u16 *widths;
    u16 widthCount;
    u16 length;   // the trimmed profile length the edges lie in
};

// The method's state for one region.
struct LINEIMG_ACCUMULATOR {
    LINEIMG_ACC_LINE lines[kAccLines];
    i32 first;      // the kept run of lines: first .. first + lineCount - 1
    i32 lineCount;
    i32 profileLength;  // before trimming
    i32 width;          // image width the buffers were sized for
    GEO_POINT p0, p1, v0, v1;  // 1/16 pixel
    u16 *average;   // work buffer: the averaged profile
    u8 *counts;     // work buffer: lines with a value per entry
    i32 *matchA;    // work buffer: matched positions of the neighbour and of the line
    i32 *matchB;
    i32 matchCap;
    LINEIMG_ACC_CANDIDATE candidates[kAccCandidates];
};

// ---- Steps (each bounded by the buffers it is given).

// Gradient-centroid edges of line samples between its offsets, alternating falling and
// rising from a falling one: (max - min) / 16 of the samples when that range exceeds 31,
// else 2, is the step a run must exceed. Returns the count.
u16 LineImg_AccLineEdges(LINEIMG_ACC_LINE *line);
// Matches line's edges to its neighbour's: fits the line's positions to the neighbour's,
// sets line's map and stretches. Returns intervals (0: no usable match).
i32 LineImg_MatchNeighbour(LINEIMG_ACC_LINE *line, const LINEIMG_ACC_LINE *neighbour, i32 *nbPos, i32 *linePos,
                           i32 cap);
// Entries of the common profile, from the middle line and the image width.
i32 LineImg_ProfileLength(const LINEIMG_ACC_LINE *middle, i32 width);
// Resamples a line to length entries (kAccNoValue outside its offsets or samples).
void LineImg_ResampleLine(LINEIMG_ACC_LINE *line, i32 length);
// Mean of the resampled profiles of lines[k] for k = first, first + step, ... < end into
// out, with the counts; *max / *min over the entries with a value. 0 when none has one.
i32 LineImg_AverageProfiles(const LINEIMG_ACC_LINE *lines, i32 first, i32 end, i32 step, i32 length, u16 *out,
                            u8 *counts, i32 *max, i32 *min);
// Edges of an averaged profile (at most 300) into the candidate; returns the count.
i32 LineImg_AveragedProfileEdges(const u16 *profile, i32 length, LINEIMG_ACC_CANDIDATE *candidate, i32 max, i32 min);
// The same with the maximum and minimum taken from the profile's valued entries.
i32 LineImg_AveragedProfileEdgesAuto(const u16 *profile, i32 length, LINEIMG_ACC_CANDIDATE *candidate);
// Differences of consecutive edges: 1, or 0 when a pair does not increase (or fewer than 2
// edges, or more widths than capacity).
int LineImg_WidthsFromEdges(const u16 *edges, i32 count, u16 *widths, i32 capacity, u16 *widthCount);

// Reads the 20 lines of the quad and keeps the longest agreeing run: 1, else 0.
int LineImg_TraceLines(const REGION_QUAD *quad, LINEIMG_ACCUMULATOR *acc);
// Traces, averages and fills the three candidates: 1, else 0.
int LineImg_Accumulate(const REGION_QUAD *quad, LINEIMG_ACCUMULATOR *acc);
// Points acc at the taken accumulator blocks and the work buffer: 0 when either is missing.
int LineImg_PrepareAccumulator(LINEIMG_ACCUMULATOR *acc);

}  // namespace vexo
