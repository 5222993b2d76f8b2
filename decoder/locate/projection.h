// Proposals for linear codes from projections of strong grey-level differences.
//
// Vertical bars fill rows with strong horizontal differences, horizontal bars fill columns
// with strong vertical ones. Both kinds are measured on every second row and column of
// the central third of the frame and thresholded with Otsu's method; the strong ones are
// projected onto rows (columns), bands of high projection are cut into rectangles where
// their own kind of difference dominates, and every rectangle that holds a run of such
// rows (columns) is proposed, nearest to the area's centre first.
//
// Use: Loc_ProjectionThresholds once per frame (nothing to propose when it answers 0),
// then Loc_ColumnProjectionQuads and, when needed, Loc_RowProjectionQuads. The maps and
// work arrays lie in the scratch area (the second buffer of IMAGE_DESC); the row pass
// adjusts the thresholds and thins the maps that the column pass then reads.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr int kProjMaxRects = 39;  // a pass never proposes more
inline constexpr int kProjMaxBands = 20;
inline constexpr int kProjBins = 256;

struct PROJ_STATE {
    u8 *mapH;  // |p(x, y) - p(x - 2, y)| at even area offsets (c >= 2); other bytes 0
    u8 *mapV;  // |p(x, y) - p(x, y - 2)| at even area offsets (r >= 2); other bytes 0
    i32 thrH;  // strong horizontal differences exceed this
    i32 thrV;
    i32 cols;  // area width made even
    i32 rows;  // area height made even
    i32 x0;
    i32 y0;
    i32 x1;  // x0 + cols
    i32 y1;  // bottom of the area as passed
    i32 offset;
    u8 *scratch;
};

// A proposal: in area coordinates (map indexes) inside a pass, in frame coordinates out.
struct PROJ_RECT {
    i32 left;
    i32 top;
    i32 right;
    i32 bottom;
};

extern PROJ_STATE g_projState;

// Measures the central third of the installed frame: 0 when the area is empty or the
// scratch area cannot hold its maps, else 1 with PROJ_STATE set.
int Loc_ProjectionThresholds();
int Loc_CentralThirdHistograms();
// Both maps and thresholds over area {x0, y0, x1, y1} of frame (rowLength bytes per row,
// the area must lie in the frame), maps at scratch + offset (the scratch must be the
// second buffer, or as large); 0 when the area is empty or does not fit. The area is cut
// to rowLength columns and the installed frame's rows.
int Loc_DifferenceHistograms(const u8 *frame, const i32 area[4], int rowLength, u8 *scratch, int offset);
// Sets the area fields and map pointers, clears both maps; answers rows x cols (0 when not
// positive or when maps and work arrays would not fit the scratch area).
int Loc_SetupProjectionArea(u8 *scratch, int offset, const i32 area[4]);
// One map and its histogram over area {x0, y0, x0 + cols, y0 + rows} (cols, rows even).
void Loc_HorizontalDifferences(const u8 *frame, i32 hist[kProjBins], int rowLength, u8 *map, const i32 area[4]);
void Loc_VerticalDifferences(const u8 *frame, i32 hist[kProjBins], int rowLength, u8 *map, const i32 area[4]);

// Otsu threshold of a difference histogram over `total` samples, searched in bins below
// 100 from the first filled bin and stopped after nine worse bins in a row: 5 to 99.
int Loc_OtsuDifferenceThreshold(const i32 hist[kProjBins], int total);
// Otsu threshold of a projection histogram of `bins` bins: the last bin at which the
// between-class variance did not fall; 0 when bins <= 0 or every bin is empty.
int Loc_OtsuThreshold(const i16 *hist, int total, int bins);
// Bands of the even positions start, start + 2, ... below count whose projection exceeds
// level, each {first, end}, kept when at least 9 positions long; 0 when more than 20
// would be kept.
int Loc_FindBands(int start, int count, int level, i32 bands[kProjMaxBands][2], const i16 *proj);

// Cuts bands of rows (columns) into rectangles where the pass's own kind of strong
// difference outnumbers the other by more than 4 (opening) or 2 (extending) at a position,
// gaps of more than 44 ending a rectangle; buffer is a work array of cols (rows) entries.
// Answers the count, 0 when a 40th rectangle would be completed.
int Loc_CutRowBand(const i32 bands[][2], int bandCount, i16 *buffer, PROJ_RECT *out);
int Loc_CutColumnBand(const i32 bands[][2], int bandCount, i16 *buffer, PROJ_RECT *out);
// Verifies rectangle `index` of rects: 1 when it holds a run of more than 4 even rows
// (more than 8 even columns) dominated by horizontal (vertical) differences. a and b are
// work arrays of rows (cols) entries.
int Loc_VerifyRowRect(const PROJ_RECT *rects, int index, i16 *a, i16 *b);
int Loc_VerifyColumnRect(const PROJ_RECT *rects, int index, i16 *a, i16 *b);
// Stable ascending sort of rects by key; answers n.
int Loc_SortRectsByKey(i32 *key, int n, PROJ_RECT *rects);

// The maps, thresholds and sizes all of these read are those of g_projState.
//
// The row pass (vertical bars) and the column pass (horizontal bars): up to 39
// rectangles in frame coordinates into out (which must hold 39), nearest first.
int Loc_RowBandRects(PROJ_RECT *out);
int Loc_ColumnBandRects(PROJ_RECT *out);
// The passes' rectangles as quads (TL, TR, BL, BR), at most capacity of them.
int Loc_ColumnProjectionQuads(REGION_QUAD *out, int capacity);
int Loc_RowProjectionQuads(REGION_QUAD *out, int capacity);

// No stage calls it: the whole procedure over one area, answering 1 as soon as a row-band
// rectangle verifies, else 2 as soon as a column-band rectangle does, else 0.
int Loc_ProjectionClassify(const u8 *frame, const i32 area[4], int rowLength, u8 *scratch, int offset);

}  // namespace vexo
