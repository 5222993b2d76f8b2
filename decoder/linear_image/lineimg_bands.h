// Bands and clusters of bar-edge segments: each long enough segment, checked against its
// neighbours of like direction and position and against the image, becomes a band (a
// rectangle reaching as far on either side of it as it is long, plus a margin); bands of
// like size whose cores lie in each other grow into clusters. Orientation 1: upright bars
// (segments from their upper end), 0: flat bars. Whole pixels.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_segments.h"

namespace vexo {

inline constexpr i32 kBandCapacity = 100;
inline constexpr i32 kClusterCapacity = 98;
inline constexpr i32 kAngleGroups = 37;
inline constexpr i32 kBandMargin = 20;

// A run of places start..end (inclusive) of an index list.
struct INDEX_RANGE {
    i16 start;
    i16 end;
};

struct BAND_CLUSTERS {
    i16 member[kBandCapacity];  // band indices, cluster by cluster
    INDEX_RANGE cluster[kClusterCapacity];
    i32 count;
};

// Per-band working values of the clustering.
struct BAND_SHAPES {
    u16 diagonal[kBandCapacity];
    u16 tolerance[kBandCapacity];
    REGION_QUAD core[kBandCapacity];
    i16 remaining[kBandCapacity];
};

// Bands of the store's segments into bands (at most min(maxBands, 100)); segmentOf (may be
// null) gets each band's segment index. Writes every segment's angle bin. The working
// arrays come from the work arena and are given back on every path; 0 when a request fails
// or the store is empty.
i32 LineImg_BuildBands(SEGMENT_STORE *store, i32 orientation, REGION_QUAD *bands, i16 *segmentOf, i32 maxBands);

// Writes each segment's angle bin (EdgeAngle / 5, 18 for an upright one) and the segment
// indices grouped by bin, bins ascending, into order; the groups' ranges into groups (at
// most max). Returns the number of groups.
i32 LineImg_GroupByAngle(SEGMENT_STORE *store, u16 *order, INDEX_RANGE *groups, i32 max);
// Sorts members (count segment indices, at most 100) by midpoint x (orientation 1) or y,
// stably, and splits them into groups of segments that overlap the one added before them
// across the scan; out gets the members group by group and groups their ranges. Returns
// the number of groups.
i32 LineImg_GroupByPosition(const SEGMENT_STORE *store, u16 *members, i32 count, u16 *out, INDEX_RANGE *groups,
                            i32 orientation);
// The rectangle around end0-end1 reaching margin + |end0 - end1| on either side: corners
// top-left, top-right, bottom-left, bottom-right for a segment from top to bottom.
void LineImg_SegmentBand(const GEO_POINT *end0, const GEO_POINT *end1, REGION_QUAD *band, i32 margin);
// 0 when the image shows bar edges across the band of a segment of the given length and
// midpoint (always for 32 and more), 1 to reject it.
int LineImg_CheckBand(const REGION_QUAD *band, i32 length, const GEO_POINT *midpoint);

// Clusters count bands (at most 100) into out; shapes is working memory. Returns the
// number of clusters.
i32 LineImg_ClusterBands(const REGION_QUAD *bands, i32 count, BAND_CLUSTERS *out, BAND_SHAPES *shapes);

}  // namespace vexo
