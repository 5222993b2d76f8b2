// The codeword matrix of a located PDF417 or MicroPDF417 symbol: column after column the
// next column boundary is fitted, and every cell is read on short segments between the two
// boundaries, voting over reads shifted along them.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"
#include "toolkit/geometry.h"

namespace vexo {

// Points of the boundary lists.
inline constexpr i32 kPdfBoundaryPoints = 1310;

// One value held by a cell's vote.
struct PDF_VOTE {
    i32 value;
    i32 offsetSum;
    i32 votes;
};
inline constexpr i32 kPdfCellVotes = 5;

// Reads rows x columns codewords (999 where unread): the columns read, or -1.
i32 PDF_ReadMatrix(PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rows, i32 *codewords);
int PDF_ReadColumn(PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rows, i32 *codewords, i32 column, POINT_NODE *points,
                   i32 *pointCount);
// One cell between list points A[indexA] and B[indexB] (count usable points in each): the
// winner's vote count 1..3, or -1. Reads stay inside 0..count-1 of both lists.
i32 PDF_ReadCell(const POINT_NODE *pointsA, i32 *indexA, const POINT_NODE *pointsB, i32 *indexB, i32 pointCount,
                 const PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rowEntry);
// The vote over offsets -radius..radius around pointsA[0] / pointsB[0] (the caller keeps
// those in its lists): 0 decided (votes[0] the winner, offsetSum its offset), -1 nothing
// read, else the number of values held.
i32 PDF_VoteCell(const POINT_NODE *pointsA, const POINT_NODE *pointsB, PDF_VOTE *votes, i32 first, i32 cluster,
                 i32 radius);
int PDF_RowsInsideImage(const PDF_CANDIDATE *candidate, const PDF_ROW_ENTRY *rows);
void PDF_MeasureSkew(PDF_CANDIDATE *candidate, const PDF_ROW_ENTRY *rows);
int PDF_NextColumnLine(PDF_CANDIDATE *candidate, const PDF_ROW_ENTRY *rows);
void PDF_FitColumnBoundaries(PDF_CANDIDATE *candidate, const PDF_ROW_ENTRY *rows, const SLOPE_LINE *line);
int PDF_LeftToRight(const PDF_CANDIDATE *candidate);
i32 PDF_FindPointIndex(const POINT_NODE *points, i32 count, GEO_POINT point, i32 byX);

}  // namespace vexo
