// MicroPDF417 symbol reading: the RAP columns of the current region read into row address
// sequences, the symbol version identified from them, the codewords read row by row between
// the RAP columns, corrected and interpreted, and up to two results stored per image.
#pragma once

#include "core/types.h"
#include "pdf417/mpdf_locate.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// Text of the largest interpretation of 126 data codewords (ECI escapes: 3.5 bytes a
// codeword) and the structured-format wrappers.
inline constexpr i32 kMpdfTextCapacity = 512;
inline constexpr i32 kMpdfMaxCodewords = 176;
inline constexpr i32 kMpdfMaxRapColumns = 3;

struct MPDF_DECODER_STATE {
    MPDF_RAP_COLUMNS columns;
    REGION_QUAD corners;  // top-left, top-right, bottom-left, bottom-right
    u8 ready;
    i32 length;
    u8 text[kMpdfTextCapacity + 1];
};
extern MPDF_DECODER_STATE g_mpdfState;

// The kind of the first RAP column from its side hints and polarity hint (1..6), -1 when
// a hint is neither 0 nor 1 or no side holds the symbol.
i32 MPDF_KindFromSides(i32 orientation, i32 side0, i32 side1, i32 polarity);

// A symbol read from located RAP columns: the variant, its columns and rows, the codewords.
struct MPDF_SYMBOL {
    i32 variant;
    i32 columns;
    i32 rows;
    i32 checkCount;
    i32 codewords[kMpdfMaxCodewords];
    REGION_QUAD corners;
};
// A codeword (17 modules) wider than this refuses the structure.
inline constexpr i32 kMpdfMaxGuardWidth = 200;
// The codeword width that the first RAP column's width (10 modules) gives.
i32 MPDF_GuardWidthOfColumns(const MPDF_RAP_COLUMNS *columns);
// Reads the symbol framed by the RAP columns (rowTable: kPdfRowTableEntries entries). 1 when
// its structure was read (the codewords may hold 999 where unread), else 0.
int MPDF_ReadStructure(const MPDF_RAP_COLUMNS *columns, PDF_ROW_ENTRY *rowTable, MPDF_SYMBOL *symbol);

}  // namespace vexo
