// Intensity profiles and edge lists: runs of grey samples cut into falling and rising
// transitions, each kept transition placed with 1/16-sample precision (sample k at 16k).
//
// Every routine here walks a profile the same way. Equal neighbouring samples are
// stepped over one by one; at a change of level the transition is followed in its own
// direction, equal samples included, up to the first sample after which the profile
// turns back strictly (or the last sample). A transition from sample i to sample end
// between its brighter end `top` and darker end `bottom` (step = top - bottom) lies at
//   16 i + 8 + floor(num * R[step] / 65536)
// where num sums, over the samples strictly inside it, their distance from the darker end
// (falling) or from the brighter end (rising), and R is the reciprocal table below. The
// members differ in which transitions they keep, where they read samples, what they write
// and how they stop when an output is full. No routine writes more entries than the
// capacity it is given; null output arrays make a routine count without writing.
#pragma once

#include "core/types.h"

namespace vexo {

// Working record of the scanning cores.
struct PROFILE_SCAN {
    const u8 *samples;
    i32 count;
    i32 base;              // added to every position
    i32 *risingPositions;  // may be null: rising edges are then only counted
    u8 *risingSteps;       // may be null
    i32 risingCapacity;
    i32 risingFound;
    i32 *fallingPositions;
    u8 *fallingSteps;
    i32 fallingCapacity;
    i32 fallingFound;
    i32 ratio;    // relative contrast, step * 1024 >= brighter end * ratio
    i32 minStep;  // absolute contrast, step >= minStep
};

// Caller's record of the two-list routines.
struct PROFILE_REQUEST {
    const u8 *samples;
    i32 count;
    i32 base;
    i32 ratio;
    i32 level;  // read by Prof_FindCrossingsRec only
    i32 minStep;
    i32 *risingPositions;
    i32 risingFound;  // written
    i32 risingCapacity;
    i32 *fallingPositions;
    i32 fallingFound;  // written
    i32 fallingCapacity;
};

// One edge of an edge list. flags: bit 15 set for falling; bits 8-14 the brighter end of
// the transition halved; bits 0-7 the step.
struct EDGE_ITEM {
    i16 position;  // base + position in 1/16 sample, low 16 bits
    u16 flags;
};
static_assert(sizeof(EDGE_ITEM) == 4);

inline constexpr u16 kEdgeFalling = 0x8000;

// One scanned line and its edge list; the line fields belong to the finder framework.
struct EDGE_LINE {
    const u8 *samples;
    i32 sampleCount;
    i32 base;  // position of the first sample, 1/16 pixel
    i32 linePosition16;
    i32 linePosition;
    i32 direction;  // 1 row, 0 column
    EDGE_ITEM *edges;
    i32 capacity;
    i32 edgeCount;
    i32 risingCount;
    i32 fallingCount;
    i32 ratio;
    i32 minStep;
};

// R[0] = 0, R[h] = floor(2^20 / h): the centre-of-gravity offset without a division.
inline constexpr i32 kProfReciprocalSize = 256;
struct PROF_RECIPROCAL_TABLE {
    i32 r[kProfReciprocalSize];
};
constexpr PROF_RECIPROCAL_TABLE Prof_BuildReciprocals() {
    PROF_RECIPROCAL_TABLE t{};
    for (i32 h = 1; h < kProfReciprocalSize; ++h) t.r[h] = (1 << 20) / h;
    return t;
}
inline constexpr PROF_RECIPROCAL_TABLE kProfReciprocal = Prof_BuildReciprocals();
static_assert(sizeof(kProfReciprocal.r) / sizeof(kProfReciprocal.r[0]) == 256);
static_assert(kProfReciprocal.r[3] == 349525 && kProfReciprocal.r[255] == 4112);

// Scanning cores on a PROFILE_SCAN (ratio and minStep test). The single-direction cores
// stop when their output is full; the two-list cores skip a transition whose list is full
// and run to the last sample. They set the found counts of the directions they scan.
void Prof_ScanFallingEdges(PROFILE_SCAN *scan);
void Prof_ScanRisingEdges(PROFILE_SCAN *scan);
void Prof_ScanEdges(PROFILE_SCAN *scan);
// Column cores: sample k is read at samples + k * the installed image's row length.
void Prof_ScanColumnFallingEdges(PROFILE_SCAN *scan);
void Prof_ScanColumnRisingEdges(PROFILE_SCAN *scan);
void Prof_ScanColumnEdges(PROFILE_SCAN *scan);

// Single-list routines: return the number of edges written to positions (at most
// capacity; 0 when samples is null, count < 2 or capacity <= 0). Positions have no base.
i32 Prof_FindFallingEdges(const u8 *samples, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity);
i32 Prof_FindRisingEdges(const u8 *samples, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity);
// Ratio 1: in effect only minStep counts.
i32 Prof_FindFallingEdgesAbs(const u8 *samples, i32 count, i32 minStep, i32 *positions, i32 capacity);
i32 Prof_FindRisingEdgesAbs(const u8 *samples, i32 count, i32 minStep, i32 *positions, i32 capacity);
// As the Abs routines, also writing each edge's step.
i32 Prof_FindFallingEdgesAbsDepth(const u8 *samples, i32 count, i32 minStep, i32 *positions, u8 *steps, i32 capacity);
i32 Prof_FindRisingEdgesAbsDepth(const u8 *samples, i32 count, i32 minStep, i32 *positions, u8 *steps, i32 capacity);
// Column twins: sample k at first + k * the installed image's row length.
i32 Prof_FindColumnFallingEdges(const u8 *first, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity);
i32 Prof_FindColumnRisingEdges(const u8 *first, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity);
i32 Prof_FindColumnFallingEdgesAbsDepth(const u8 *first, i32 count, i32 minStep, i32 *positions, u8 *steps,
                                        i32 capacity);
i32 Prof_FindColumnRisingEdgesAbsDepth(const u8 *first, i32 count, i32 minStep, i32 *positions, u8 *steps,
                                       i32 capacity);
// Crossings of a grey level: a transition is kept when darker end < level <= brighter end.
i32 Prof_FallingCrossings(const u8 *samples, i32 count, i32 level, i32 *positions, i32 capacity);
i32 Prof_RisingCrossings(const u8 *samples, i32 count, i32 level, i32 *positions, i32 capacity);
// By level: kept when step >= 10 for a brighter end below 64, else step >= top / 4 - 5.
i32 Prof_FindFallingEdgesByLevel(const u8 *samples, i32 count, i32 *positions, i32 capacity);
i32 Prof_FindRisingEdgesByLevel(const u8 *samples, i32 count, i32 *positions, i32 capacity);
i32 Prof_FindColumnFallingEdgesByLevel(const u8 *first, i32 count, i32 *positions, i32 capacity);
i32 Prof_FindColumnRisingEdgesByLevel(const u8 *first, i32 count, i32 *positions, i32 capacity);

// Two-list routines: both directions in one pass, positions with the request's base;
// writes risingFound and fallingFound. A null request is ignored.
void Prof_FindEdgesRec(PROFILE_REQUEST *request);
void Prof_FindEdgesAbsRec(PROFILE_REQUEST *request);  // the request's ratio is ignored
void Prof_FindColumnEdgesRec(PROFILE_REQUEST *request);
void Prof_FindColumnEdgesAbsRec(PROFILE_REQUEST *request);
void Prof_FindCrossingsRec(PROFILE_REQUEST *request);  // uses the level field

// Edge lists: every kept edge, in the order found, as an EDGE_ITEM; edgeCount,
// risingCount and fallingCount are set. The pass stops once capacity edges are written.
// A null line is ignored.
void Prof_RowEdges(EDGE_LINE *line);
void Prof_ColumnEdges(EDGE_LINE *line);
// The same bytes, each item stored as one 32-bit word (position low, flags high).
void Prof_RowEdgesPacked(EDGE_LINE *line);
void Prof_ColumnEdgesPacked(EDGE_LINE *line);

// Both directions into one list, with strict transitions (a repeated sample ends one).
// A transition of g is kept when g > minStep and g * 1024 >= ratio * its end sample;
// it lies at trunc(16 h / g) + 8 with h = g * start + the distances of its inner samples
// from its end sample. Returns the number written, at most maxCount (and at most 65535);
// 0 when count < 2, maxCount <= 0 or positions is null.
u16 Prof_FindEdgesSub16(const u8 *samples, i32 count, i32 *positions, i32 maxCount, i32 ratio, i32 minStep);

}  // namespace vexo
