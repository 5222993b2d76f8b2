// The symbol outline of an arranged group: sides and corners from the finders, and the two
// families of module lines swept across the symbol, which the reference grid pairs into nodes.
#pragma once

#include "core/types.h"
#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_symbol.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kCscnOutlineSegments = 70;

struct CSCN_OUTLINE {
    POINT_I32 corners[4];  // whole pixels, slot order
    i32 moduleSizes[4];    // whole pixels, one per corner
    CSCN_EDGE_SEGMENT columnSegments[kCscnOutlineSegments];
    CSCN_EDGE_SEGMENT rowSegments[kCscnOutlineSegments];
    i32 columnCount;
    i32 rowCount;
    i32 gridSteps;  // 2..11: the steps a sweep divides a side into
};

// Side entries of a CSCN_SIDE_SET and its corner entries.
inline constexpr i32 kCscnSide01 = 0, kCscnSide30 = 1, kCscnSide12 = 2, kCscnSide23 = 3;
inline constexpr i32 kCscnCornerSlot0 = 0, kCscnCornerSlot1 = 1, kCscnCornerSlot3 = 2, kCscnCornerSlot2 = 3;

// 1000 x the cosine of the angle between two vectors, truncated; -1000 for a zero vector.
i32 CSCN_Cosine1000(POINT_I32 a, POINT_I32 b);
// Two-finder groups: may move the finders to the slots the traced lines point to.
void CSCN_ResolvePairSlots(CSCN_SYMBOL *symbol);
// 1 when at least three sides were formed and the corners computed; clears the outline first.
i32 CSCN_BuildOutline(const CSCN_SYMBOL *symbol, CSCN_OUTLINE *outline);
// 1 with the corners (1/16 pixel) when at least three sides are valid, a missing fourth
// rebuilt; else 0.
i32 CSCN_IntersectSides(CSCN_SIDE_SET *set);
// Selector 0 fills the row lines, 1 the column lines.
void CSCN_SweepModuleLines(CSCN_OUTLINE *outline, i32 selector);
void CSCN_SweepBothWays(CSCN_OUTLINE *outline);

}  // namespace vexo
