// The line stage of the Han Xin finder: a line's edge list is merged into alternating edges,
// searched for the run pattern of a finder pattern (1:1:1:1:3 or 3:1:1:1:1), and the hits
// are kept in a ring until the line's hits are refined. The polarity mode says which passes
// the finder runs.
#pragma once

#include "core/types.h"
#include "toolkit/profile.h"

namespace vexo {

inline constexpr i32 kCscnLineEdges = 512;  // edges of one line kept at most
inline constexpr i32 kCscnHitRingSize = 400;
inline constexpr i32 kCscnMaxHitWidth = 80;  // wider hits are dropped by the drain

// One run-pattern hit: the centre of the wide run, the width from the first to the last of
// its six edges (whole pixels), which end the wide run lies at and the polarity.
struct CSCN_LINE_HIT {
    i16 x;
    i16 y;
    i32 reach;  // line index + one and a half widths; kept, read by nothing
    i16 width;
    u8 form;      // 1: wide run last along the line (1:1:1:1:3); 2: wide run first
    u8 polarity;  // 1: dark modules (the third edge falls); 2: light modules
};

// Hits between the matcher and the drain of one line. The writer may pass the reader's
// position only on the reader's lap (sameLap 1).
struct CSCN_HIT_RING {
    i32 read;
    i32 write;
    i32 end;
    i32 start;
    u8 sameLap;
    i32 polarityMode;  // 0 normal pass only, 1 inverse only, 2 both; survives resets
    CSCN_LINE_HIT hits[kCscnHitRingSize];
};

void CSCN_ResetHitRing(CSCN_HIT_RING *ring);
i32 CSCN_RingEmpty(const CSCN_HIT_RING *ring);
// Answers 0 (nothing written) when the ring is full.
i32 CSCN_RingPush(CSCN_HIT_RING *ring, const CSCN_LINE_HIT *hit);
// Answers 0 when the ring is empty.
i32 CSCN_RingPop(CSCN_HIT_RING *ring, CSCN_LINE_HIT *hit);

// The polarity mode of a configuration word: 0x20 alone 0, 0x40 alone 1, both 2, neither
// keeps `previous`. The gates it opens: mode 0 the normal one, 1 the inverse one, 2 both.
i32 CSCN_PolarityMode(u32 configWord, i32 previous);
void CSCN_PolarityGates(i32 mode, u8 *normalGate, u8 *inverseGate);

// Merges runs of edges of one direction (the strongest of a run stays, the first on equal
// steps) from the first `count` edges, cut to kCscnLineEdges. Answers the merged count, 0
// when fewer than six remain.
i32 CSCN_MergeEdges(const EDGE_ITEM *edges, i32 count, EDGE_ITEM *merged);

// Slides a window of six edges over the merged list and writes a hit per run pattern into
// the ring, stopping when the ring is full. lineIndex is the row (isRow 1) or the column.
// Answers the hits written.
i32 CSCN_MatchRuns(const EDGE_ITEM *edges, i32 count, i32 lineIndex, i32 isRow, CSCN_HIT_RING *ring);

}  // namespace vexo
