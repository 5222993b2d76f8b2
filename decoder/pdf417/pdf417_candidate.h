// One PDF417 symbol candidate: where a guard pattern was crossed by scan lines, then the
// geometry built from it and the row indicators' findings.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// A guard pattern on one scan line: its first edge, the pixels from the first to the fifth
// edge and the smallest inner edge magnitude.
struct PDF_GUARD_END {
    i32 x;
    i32 y;
    i32 width;
    i32 contrast;
};

struct PDF_CANDIDATE {
    i32 rapMode;         // 0: 17-module indicator codewords; else 10-module row address patterns
    i32 orientation;     // 0 found on image rows, 1 on image columns
    i32 mirrored;        // MicroPDF417 only
    i32 kind;            // guard pattern, direction and polarity (+-1..+-4)
    i32 startFlag;       // 1 for a start pattern
    i32 sideFlag;        // 1: lines fitted from end2 towards end1
    i32 rowsDescending;  // row numbers fall along the row entries
    i32 pending;         // 1 until handed to the symbol decoder
    PDF_GUARD_END end1;  // at the smallest row (orientation 0) or column (1)
    PDF_GUARD_END end2;
    i32 guardWidth;
    i32 rapWidth;
    GEO_POINT cornerGuard1;
    GEO_POINT cornerInner1;
    SLOPE_LINE rowLine1;
    GEO_POINT cornerGuard2;
    GEO_POINT cornerInner2;
    SLOPE_LINE rowLine2;
    i32 guardLength;
    GEO_POINT workP;
    GEO_POINT workQ;
    GEO_POINT centreGuard;
    GEO_POINT centreInner;
    SLOPE_LINE rowDirection;
    SLOPE_LINE guardLine;
    SLOPE_LINE innerLine;
    i32 columns;
    i32 rows;
    i32 level;
    f64 rowPitch;
    i32 rowEntries;
    GEO_POINT symbolCorners[6];
    f64 skewRatio;  // longer axis share of the boundary line, 0.7..1 (matrix reading)
    u8 *confidence; // one byte per cell, rows x columns; may be null
    i32 erasures;   // cells not read yet
};

// One row of a symbol as its indicator column gave it.
struct PDF_ROW_ENTRY {
    GEO_POINT firstFrom;  // first reading segment that gave the value
    GEO_POINT firstTo;
    GEO_POINT lastFrom;   // last such segment
    GEO_POINT lastTo;
    i32 value;            // cluster in the top nibble, codeword below
    i32 reads;            // reading positions; negative for a derived row
    i32 row;              // symbol row from 1; -1 refused; 0 empty slot
    i32 cluster;          // cluster expected for the row
};

// The row table: one slot per symbol row and room for everything the column walk writes.
inline constexpr int kPdfMaxRows = 90;
inline constexpr int kPdfWalkEntries = 180;
inline constexpr int kPdfRowTableEntries = kPdfMaxRows + kPdfWalkEntries;
static_assert(kPdfRowTableEntries * sizeof(PDF_ROW_ENTRY) == 12960);

// The decoders hold this many candidates.
inline constexpr int kPdfMaxCandidates = 4;

}  // namespace vexo
