// Start and stop guard patterns on the rows or columns of a search box: five sub-pixel
// edges tested against the patterns' bar ratios, each hit followed over neighbouring lines
// and merged with stretches of the same pattern, into at most four symbol candidates.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// Tests five increasing edge positions (1/16 pixel): 1 when they are the pattern.
using PDF_GuardTestFn = int (*)(const i32 *edges);
// Edge extractors of a row segment (samples) and of an image column (from a point down).
using PDF_LineEdgesFn = i32 (*)(const u8 *samples, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);
using PDF_ColumnEdgesFn = i32 (*)(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);

int PDF_TestStartForward(const i32 *edges);  // 9:2:2:4
int PDF_TestStartReverse(const i32 *edges);  // 4:2:2:9
int PDF_TestStopForward(const i32 *edges);   // 8:4:2:3
int PDF_TestStopReverse(const i32 *edges);   // 3:2:4:8

// Scanning state of one call.
struct PDF_SCAN_STATE {
    i32 count;
    i32 rightCovered;
    i32 leftCovered;
    i32 polarityClass;  // -1 before the first candidate
};

// Candidates (written from index 0) found on rows / columns of box {top, left, right,
// bottom} (either order in each pair). maxCandidates 1..4 (rows; columns take more as 4);
// reverse > 0 admits light bars on a dark ground; at most lineLimit scan lines.
int PDF_ScanRowsForGuards(PDF_CANDIDATE *candidates, int maxCandidates, int reverse, const i32 box[4], int lineLimit);
int PDF_ScanColumnsForGuards(PDF_CANDIDATE *candidates, int maxCandidates, int reverse, const i32 box[4],
                             int lineLimit);

// Follows a candidate over neighbouring lines from end1 both ways, setting end1 and end2:
// the number of further lines matched, 0 when fewer than two.
int PDF_TrackGuardRows(PDF_GuardTestFn test, PDF_LineEdgesFn extract, PDF_CANDIDATE *candidate);
int PDF_TrackGuardColumns(PDF_GuardTestFn test, PDF_ColumnEdgesFn extract, PDF_CANDIDATE *candidate);

// Coverage of one line by held candidates of the scan's class.
void PDF_RowCoveredFalling(const PDF_CANDIDATE *candidates, PDF_SCAN_STATE *state, i32 line);
void PDF_RowCoveredRising(const PDF_CANDIDATE *candidates, PDF_SCAN_STATE *state, i32 line);
void PDF_ColumnCoveredFalling(const PDF_CANDIDATE *candidates, PDF_SCAN_STATE *state, i32 line);
void PDF_ColumnCoveredRising(const PDF_CANDIDATE *candidates, PDF_SCAN_STATE *state, i32 line);

// Merges the newest candidate into an earlier stretch of the same pattern: the new count.
int PDF_MergeRowCandidate(PDF_CANDIDATE *candidates, int count);
int PDF_MergeColumnCandidate(PDF_CANDIDATE *candidates, int count);

}  // namespace vexo
