// The row-indicator column of a PDF417 symbol: read along the column at every pixel step,
// grouped into row entries, voted into columns, rows and error-correction level, and turned
// into a table of every symbol row with interpolated positions for rows not read.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// Walks the indicator column from its middle to both ends: the number of entries written
// (at most kPdfWalkEntries - startRow), 0 on failure.
i32 PDF_ReadIndicatorColumn(PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rowTable, i32 startRow);
// One read of the walk at segment from-to: merged into the last entry (or the one before a
// one-read stray), else appended. 0 when the table is full.
int PDF_AddIndicatorRead(PDF_ROW_ENTRY *rowTable, i32 *count, i32 startRow, i32 value, GEO_POINT from, GEO_POINT to,
                         i32 *maxReads);
// Columns, rows and level from the indicator values; 1 when found and valid, else 0 with
// the three cleared. Numbers the entries (row -1 when they disagree).
int PDF_VoteRowIndicators(PDF_ROW_ENTRY *rowTable, i32 count, i32 startFlag, PDF_CANDIDATE *candidate);
// 1 when the row numbers fall along the entries; out-of-order entries get row -1.
int PDF_RowOrderVote(PDF_ROW_ENTRY *rowTable, i32 count);
// Drops the entries marked -1, keeping the order: the new count.
i32 PDF_CompactRowEntries(PDF_ROW_ENTRY *rowTable, i32 count);
// The table of all rows in slots 0..rows-1 of a kPdfRowTableEntries block; 1 when complete.
int PDF_BuildRowTable(PDF_ROW_ENTRY *rowTable, i32 count, PDF_CANDIDATE *candidate);
// end1 and end2 from the first and the last row slot.
void PDF_SetEndsFromRows(PDF_CANDIDATE *candidate, const PDF_ROW_ENTRY *rowTable);

}  // namespace vexo
