// MicroPDF417 row address sequences: the RAP reads of one RAP column voted into a set,
// cleaned of contradicting, isolated and repeated numbers, matched against the 34 symbol
// versions and completed to one entry per symbol row with the cluster its codewords carry.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// A RAP set owns this many entries of the row table (the second starts at entry 52).
inline constexpr i32 kMpdfSetEntries = 52;

// Set 2 (centre RAPs) when their reads outweigh the left/right ones, else 1; the rows of
// the chosen set get their RAP number 1..52, the others -1.
i32 MPDF_VoteRapSet(PDF_ROW_ENTRY *rows, i32 count);
// 1 when the RAP numbers fall along the rows; rows without a number get -1 first.
i32 MPDF_RapDirection(PDF_ROW_ENTRY *rows, i32 count);
void MPDF_DropContradictedRaps(PDF_ROW_ENTRY *rows, i32 count, i32 direction);
void MPDF_CleanRapSequence(PDF_ROW_ENTRY *rows, i32 count, i32 direction);
// Removes the first row of every number that has no neighbouring number: the new count.
i32 MPDF_DropIsolatedRaps(PDF_ROW_ENTRY *rows, i32 count);
// Joins consecutive rows of one number: the new count.
i32 MPDF_MergeEqualRaps(PDF_ROW_ENTRY *rows, i32 count);
void MPDF_ReverseRows(PDF_ROW_ENTRY *rows, i32 count);
// Direction into candidate->rowsDescending, then cleaning: the rows left (0 for more
// entries than a set owns).
i32 MPDF_PrepareRapSequence(PDF_ROW_ENTRY *rows, i32 count, PDF_CANDIDATE *candidate);

// The kind of the next RAP column: centre 1 asks for a centre column. -1 when none.
i32 MPDF_NextRapKind(i32 kind, i32 centre);
// The variant table byte holding the RAP start of a column kind (2 left, 4 right, 3 centre);
// -1 for another kind.
i32 MPDF_KindStartByte(i32 kind);
// The first entry with this many data columns whose RAP ranges hold both sequences' first
// and last numbers; -1 when none.
i32 MPDF_FindVariant(const PDF_ROW_ENTRY *rows1, i32 count1, i32 kind1, const PDF_ROW_ENTRY *rows2, i32 count2,
                     i32 kind2, i32 columns);
// Completes one set (at most 52 entries) to the variant's rows, extrapolating and
// interpolating by candidate->rowPitch, and gives each row its cluster. 0 when a row would
// fall outside the variant's rows or outside the set's 52 entries.
int MPDF_CompleteRows(PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rows, i32 count, i32 kind, i32 variant);
void MPDF_AssignClusters(PDF_ROW_ENTRY *rows, i32 count, i32 kind, i32 variant);

}  // namespace vexo
