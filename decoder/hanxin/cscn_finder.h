// The Han Xin finder side: the line finder that the 2D finder framework runs (entry 4 of
// the finder table), the candidates it collects, and the steps that turn them into measured
// finder patterns and groups of up to four patterns for the symbol reader.
#pragma once

#include "core/types.h"
#include "hanxin/cscn_edges.h"
#include "hanxin/cscn_line_hits.h"
#include "locate/finder.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kCscnCandidates = 32;    // per pass
inline constexpr i32 kCscnBoxes = 32;
inline constexpr i32 kCscnGroupsPerPass = 8;  // what the driver gives CSCN_GroupFinders
inline constexpr i32 kCscnProbeSamples = 180;
inline constexpr i32 kCscnLineBufferSize = 1280;
inline constexpr u16 kCscnEmptySlot = 0xFFFF;

// One candidate pattern of the line finder: the core centre and the two arm ends (with the
// directions centre - end), whole pixels.
struct CSCN_CANDIDATE {
    POINT_I32 centre;
    POINT_I32 armDir[2];
    POINT_I32 armEnd[2];
    i32 width;
    i16 spare0;  // left 0 by the line finder, copied into the reference
    i16 spare1;
    i32 spare[2];
};

struct CSCN_CANDIDATE_LISTS {
    CSCN_CANDIDATE *normalList;
    i32 normalListCapacity;
    i32 normalListCount;
    i32 normalListFirst;
    CSCN_CANDIDATE *inverseList;
    i32 inverseListCapacity;
    i32 inverseListCount;
    i32 inverseListFirst;
};

// The measured pattern: the fine locator's geometry, then the finder search's own words.
struct CSCN_FINDER {
    LINE_FIT lines[6];  // arm 1 outer, middle, inner; arm 2 outer, middle, inner
    POINT_I32 corner;   // the core centre, 1/16 pixel
    f32 moduleSize;     // 1/16 pixel, a Chebyshev length
    POINT_I32 diagonal;
    POINT_I32 axis1;
    POINT_I32 axis2;
    POINT_I32 armEnd1;        // whole pixels
    POINT_I32 armEnd2;        // whole pixels
    POINT_I32 latticeCorner;  // 1/16 pixel
    POINT_I32 shape[4];       // arm end 1, core, arm end 2, far corner; whole pixels
    i32 spare[2];
    i32 valid;
    i32 mark;
    i32 orientation;  // the symbol reader's flag
};
static_assert(sizeof(CSCN_FINDER) == 256);

struct CSCN_FINDER_REF {
    CSCN_FINDER *finder;
    POINT_I32 *centre;
    POINT_I32 *endA;
    POINT_I32 *endB;
    i32 centreDistance;  // -1 until measured
    i32 spare0;
    i32 spare1;
    u16 span;
};

struct CSCN_FINDER_SET {
    CSCN_FINDER_REF *normalRefs;
    CSCN_FINDER_REF *inverseRefs;
    u8 *normalValid;
    u8 *inverseValid;
    u16 normalValidCount;
    u16 inverseValidCount;
    u16 normalFirst;
    u16 inverseFirst;
    u16 normalCount;
    u16 inverseCount;
    u16 normalCapacity;
    u16 inverseCapacity;
};

struct CSCN_BOX {
    i16 xMin;
    i16 yMin;
    i16 xMax;
    i16 yMax;
    u8 wholePixels;
};

struct CSCN_BOX_LIST {
    CSCN_BOX boxes[kCscnBoxes];
    i32 count;
    i32 capacity;
};

// One symbol hypothesis: slot k holds the reference index of corner k (slot 3 the marked
// pattern). The words after `marked` belong to the group driver.
struct CSCN_FINDER_GROUP {
    i32 normalMembers;
    i32 inverseMembers;
    u16 slot[4];
    i32 marked;
    i32 driverWords[4];
};

// ---- Module state, rebuilt by the reset for every region.
extern CSCN_CANDIDATE_LISTS g_cscnCandidates;
extern CSCN_HIT_RING g_cscnHitRing;
extern CSCN_FINDER_SET g_cscnFinderSet;
extern CSCN_BOX_LIST g_cscnBoxes;
extern i32 g_cscnCurrentPass;  // 1 while the normal pass is worked on, 0 in the inverse pass
extern u8 g_cscnNormalGate;
extern u8 g_cscnInverseGate;
// The shared line buffer of the refinement and the fine locator.
extern u8 g_cscnLineBuffer[kCscnLineBufferSize];

// ---- The line finder (entry 4 of the 2D finder table, finder id 5).
void CSCN_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int CSCN_FinderRowWanted();
int CSCN_FinderColumnWanted();
void CSCN_FinderLine(FINDER_LINE *line);

// ---- Refinement, measurement and grouping, once per region after the finders ran.
void CSCN_RefineCandidates(const CSCN_CANDIDATE_LISTS *lists, CSCN_FINDER_SET *set);
// 0 when a pass came with a full reference list (nothing more measured), else 1.
int CSCN_MeasureFinders(CSCN_FINDER_SET *set);
void CSCN_ListValidFinders(CSCN_FINDER_SET *set);
void CSCN_MarkFinderOrientation(CSCN_FINDER_SET *set);
// Groups built (0..maxGroups) from the normal (inverse 0) or inverse pass.
int CSCN_GroupFinders(CSCN_FINDER_SET *set, CSCN_FINDER_GROUP *groups, int maxGroups, int inverse);

// ---- The fine locator: arm lines, lattice, module size and axes of one pattern.
// Edges in 1/16 sample alternating in kind, the first leaving the pass's start colour.
i32 CSCN_FindAlternatingEdges(const u8 *samples, i32 count, i32 *out, i32 maximum);
// 1 with the fifth edge when the samples show the arm pattern.
i32 CSCN_CheckArmPattern(const u8 *samples, i32 count, i32 *fifthEdge);
// The far end of the pattern on its diagonal (1/16 pixel) from whole-pixel points.
i32 CSCN_FindFinderDiagonalEnd(POINT_I32 corner, POINT_I32 armEndA, POINT_I32 armEndB, POINT_I32 *out);
// The arm end refined along its band; all points in 1/16 pixel.
i32 CSCN_WalkArmEnd(POINT_I32 corner, POINT_I32 diagonalEnd, POINT_I32 *armEnd);

struct CSCN_ARM {
    POINT_I32 corner;
    POINT_I32 diagonalEnd;
    POINT_I32 armEnd;
    LINE_FIT lines[3];  // outer, middle, inner
    i32 lineValid[3];
};
i32 CSCN_FitArmLines(CSCN_ARM *arm);
int CSCN_MeasureFinder(CSCN_FINDER_REF *ref);

}  // namespace vexo
