// The Data Matrix L-finder: straight edge segments tracked over the scanned rows and
// columns of a region, then paired into L candidates (two roughly perpendicular edges whose
// ends meet). Coordinates are in 1/16 pixel throughout. All state is static and belongs to
// the region being located.
#pragma once

#include "core/types.h"
#include "locate/finder.h"

namespace vexo {

inline constexpr i32 kDmMaxSegments = 512;
inline constexpr i32 kDmMaxLinePairs = 128;
inline constexpr i32 kDmMergeBucketSize = 128;
// Extensions of one arm balancing: the segment store, so that segments joined head to
// tail in a ring cannot keep it going.
inline constexpr i32 kDmMaxArmExtensions = kDmMaxSegments;
inline constexpr u16 kDmNoSegment = 0xFFFF;

// An edge of the previous line matched with one of the current line.
struct DM_EDGE_PAIR {
    u16 prevPos;
    i16 curPos;  // 0 once consumed or cancelled
    u16 step;    // step byte of the current line's edge
    i32 rising;  // the previous line's edge rises
};

struct DM_SEGMENT {
    // While tracking x is along the scanned lines and y the line coordinate; after
    // normalisation both are image coordinates and the first point is the far end of the
    // direction the angle gives.
    i16 x0;
    i16 y0;
    i16 x1;
    i16 y1;
    u16 lengthClass;  // nearest integer to (length in pixels / 8)^2
    i16 angle;        // tracking: last step's inclination; after: direction - 45 degrees, 1/16 degree
    u16 contrast;     // tracking: sum of steps; after: their mean
    u16 pairScale;    // 0xFFFF, or the gap measure of the L it served in
    i32 flag;         // tracking: rising edge; after normalisation: used
};

struct DM_PAIR {
    DM_SEGMENT *armA;  // its first point ends the first arm
    DM_SEGMENT *armB;  // its second point ends the second arm
    DM_SEGMENT *searched;
    DM_SEGMENT *partner;
    i32 cornerX;
    i32 cornerY;
    u32 score;
    u32 arm1Sq;
    u32 arm2Sq;
    u32 gap;
    i32 darkOnLight;
};

struct DM_FINDER_STORE {
    DM_SEGMENT segments[kDmMaxSegments];
    u16 list[kDmMaxSegments];      // allocation order; after preparation by centre distance
    u16 freeList[kDmMaxSegments];  // stack of free ids; after preparation by lengthClass
    i32 allocated;
    i32 windowStart;
    i32 windowLength;  // active segments; after preparation the read cursor
    i32 rowSegments;
    i32 prepared;
    DM_PAIR slots[2];
    DM_PAIR *pending;
};

extern DM_FINDER_STORE g_dmFinder;

// Angle tables: T1[d] = round(16 atan(d / 64) in degrees), T2[d] = 1440 - T1[d], for a
// displacement d (1/16 pixel) over one line step of 4 pixels.
inline constexpr i32 kDmAngleEntries = 100;
extern const i16 kDmAngleT1[kDmAngleEntries];
i32 DM_AngleT2(i32 d);

// ---- Tracking (during the finder pass).

// Pairs the current line's edges with the previous line's (at most 128, sorted by
// prevPos). Answers the count.
i32 DM_PairLineEdges(const FINDER_LINE *line, DM_EDGE_PAIR *out);
// Extends, ends or starts segments from the pairs; previousLine is the previous line's
// coordinate (1/16 pixel).
void DM_TrackSegments(DM_EDGE_PAIR *pairs, u16 count, i32 previousLine);
// Frees the short active segments and finishes the others.
void DM_CloseActiveSegments();
// Puts the store back to empty, keeping the slots' polarity settings.
void DM_ResetSegmentStore();
// DM_TrackSegments only when count > 0.
void DM_TrackIfPairs(DM_EDGE_PAIR *pairs, u16 count, i32 previousLine);

// Puts a segment id back on the free list.
void DM_ReleaseSegmentId(u16 id);
// Squared distance (whole pixels) of the segment's midpoint from the image centre.
u32 DM_SegmentCentreDistanceSq(const DM_SEGMENT &s);

// ---- Preparation (at the first DM_GetDM of a region).

void DM_PrepareSegments();
void DM_NormaliseSegments();
void DM_MergeSegments();
// Merges collinear entries of one bucket (list indices, sorted by key).
void DM_MergeCollinear(const u16 *entries, const i32 *keys, i32 count);
void DM_SortSegmentsByCentre();
void DM_SortSegmentsByLength();
// Index in the length-ordered list of a segment with this lengthClass (bisection), or
// 0xFFFF when none has it.
u16 DM_FindLengthClass(u16 lengthClass);

// ---- Pairing.

DM_PAIR *DM_ChoosePair(DM_SEGMENT *s, DM_PAIR *first, DM_PAIR *second, DM_PAIR **pending);
void DM_FindPartners(DM_SEGMENT *s, DM_PAIR *first, DM_PAIR *second);
i32 DM_CheckPairArms(DM_PAIR *pair);
// DM_CheckPairArms for a slot with a score; 0 otherwise.
i32 DM_CheckScoredPair(DM_PAIR *pair);
i32 DM_BalanceArms(DM_PAIR *pair);
i32 DM_CheckTexture(DM_PAIR *pair);
i32 DM_ConfirmPair(DM_PAIR *pair);
// 1 when no segment longer than the pair's arms has an end point inside the candidate's
// square.
i32 DM_NoLongerSegmentInside(const DM_L_CANDIDATE *cand, u16 lengthClass);
// Takes every candidate left; answers their count (at most max).
i32 DM_CollectAllCandidates(DM_L_CANDIDATE *out, i32 max);

}  // namespace vexo
