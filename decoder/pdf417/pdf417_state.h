// State words of the PDF417 decoder that several of its stages read, and the results of the
// last image.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// The result text buffer; joined texts must fit it as well.
inline constexpr i32 kPdfTextCapacity = 2812;
inline constexpr i32 kPdfMaxCells = 929;

struct PDF_DECODER_STATE {
    // 1 while the component reader of a composite symbol decodes inside its quad: a symbol
    // whose first data codeword is 920 then carries composite data.
    i32 regionFlag;
    GEO_POINT regionQuad[4];  // the request's corners, in cyclic order
    i32 codewordWidth;        // guard width of the symbol being decoded
    u8 text[kPdfTextCapacity];
    i32 length;
    i32 bestStatus;
    i32 joinedMode;    // 2: two symbols are decoded and joined
    i32 contrastMode;  // 0 dark bars, 1 light bars, 2 both
    i32 bothRequired;
    u8 readFailed;     // a symbol was read and not decoded (20 or 30)
    REGION_QUAD symbolCorners;  // of the last symbol past its matrix read
    REGION_QUAD storedQuads[2];
    i32 storedCount;
    u8 firstText[kPdfTextCapacity];
    i32 firstLength;
    i32 firstIndex;
};

extern PDF_DECODER_STATE g_pdfState;

// The codewords and confidences of a symbol that failed, for the next attempt on one of the
// same shape within the image. Keys -1 when empty.
struct PDF_MATRIX_CACHE {
    i32 columns;
    i32 rows;
    i32 level;
    i32 codewords[kPdfMaxCells];
    u8 confidence[kPdfMaxCells];
};

extern PDF_MATRIX_CACHE g_pdfMatrixCache;

void PDF_SetRegionFlag(i32 flag);

}  // namespace vexo
