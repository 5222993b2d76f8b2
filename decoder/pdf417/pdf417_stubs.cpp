// Placeholder until the PDF417 decoder lands: every search answers "nothing found", so the
// fast PDF417 stage records no candidate. Delete this file when the decoder replaces it.
#include "pdf417/pdf417_services.h"

namespace vexo {

int PDF_FindStartStopInRegion(u8 *, int, int, i32 *, void *, int) { return 0; }

int PDF_ScanRowsForGuards(void *, int, int, i32 *, int, int, void *, int) { return 0; }

int PDF_ScanRowsForGuardsAlt(void *, int, int, i32 *, int) { return 0; }

}  // namespace vexo
