// Placeholder until the PDF417 image side lands: every search answers "nothing found" and
// nothing is ever decoded, so the fast PDF417 stage records no candidate. The codeword
// interpretation (pdf417_interpret, pdf417_macro, cc_data), the scan lines, codeword
// recognition and guard scanning are in place. Delete this file when the decoder replaces
// the rest.
#include "pdf417/pdf417_services.h"

namespace vexo {

int PDF_FindStartStopInRegion(u8 *, int, int, i32 *, void *, int) { return 0; }

void PDF_ReadModeBits() {}
int PDF_DecodeImage() { return 0; }
const u8 *PDF_GetResultText() { return nullptr; }
int PDF_GetResultLength() { return 0; }
int PDF_HasMacro() { return 0; }
int PDF_GetMacroSegmentIndex() { return 0; }
int PDF_GetMacroSegmentCount() { return 0; }
int PDF_GetMacroFileIdItem(int i) { return i >= 0 && i <= 15 ? 0 : -1; }
void PDF_ResetState() {}
int PDF_DecodeInQuad(CC_PDF_REQUEST *) { return 0; }
int CC_ReadInQuad(CC_READ_REQUEST *) { return 0; }

int MPDF_DecodeImage() { return 0; }
const u8 *MPDF_GetResultText() { return nullptr; }
int MPDF_GetResultLength() { return 0; }
void MPDF_WriteAimId(char *out) { PDF_WriteAimId(out); }

}  // namespace vexo
