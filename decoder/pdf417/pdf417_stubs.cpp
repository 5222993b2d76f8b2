// Placeholders until the rest of the PDF417 family lands: the fast stage's start/stop search
// finds nothing (so that stage records no candidate), the composite component reader of
// callback type 2 and MicroPDF417 decode nothing. Delete this file when they are built.
#include "pdf417/pdf417_services.h"

namespace vexo {

int PDF_FindStartStopInRegion(u8 *, int, int, i32 *, void *, int) { return 0; }

int MPDF_DecodeImage() { return 0; }
const u8 *MPDF_GetResultText() { return nullptr; }
int MPDF_GetResultLength() { return 0; }
void MPDF_WriteAimId(char *out) { PDF_WriteAimId(out); }

}  // namespace vexo
