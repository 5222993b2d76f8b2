#include "pdf417/test_hooks_pdf417.h"

#include <cstring>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_decode.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_state.h"

namespace vexo {

void Test_ResetPdfStatics() {
    g_pdfState = PDF_DECODER_STATE{};
    PDF_ClearMatrixCache();
    g_pdfReadParams = PDF_READ_PARAMS{2, 0, 1, 6, 0};
    PDF_ClearMacroRecord();
    PDF_SetSeconds(0);
    ccEmitAiDigits = 1;
    ccLotAiPending = 0;
    std::memset(g_ccBits, 0, sizeof g_ccBits);
}

}  // namespace vexo
