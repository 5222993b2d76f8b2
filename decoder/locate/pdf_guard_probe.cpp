#include "locate/pdf_guard_probe.h"

#include "core/arena.h"
#include "pdf417/pdf417_services.h"

namespace vexo {

int Loc_BoxHasPdfGuards(const i32 box[4]) {
    PDF_CANDIDATE *table = Mem_AllocArray<PDF_CANDIDATE>(kPdfMaxCandidates);
    if (table == nullptr) return 0;
    const int found = PDF_ScanRowsForGuards(table, kPdfMaxCandidates, 2, box, 2);
    Mem_Free(table);
    return found > 0 ? 1 : 0;
}

}  // namespace vexo
