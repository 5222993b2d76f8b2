// State words of the PDF417 decoder that several of its stages read.
#pragma once

#include "core/types.h"

namespace vexo {

struct PDF_DECODER_STATE {
    // 1 while the component reader of a composite symbol decodes inside its quad: a symbol
    // whose first data codeword is 920 then carries composite data.
    i32 regionFlag;
};

extern PDF_DECODER_STATE g_pdfState;

void PDF_SetRegionFlag(i32 flag);

}  // namespace vexo
