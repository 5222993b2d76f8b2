// The QR entry of the 2D finder table: reset, row wish and row handler.
#include "core/params.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "qr/qr_finder.h"

namespace vexo {

void QR_FinderReset(REGION_QUAD *, REGION_QUAD *) {
    QR_FinderResetStore();
    // The runner only goes on while both queue positions are set.
    g_qrFinderQueue.read = &g_qrFinder.ring[0];
    g_qrFinderQueue.write = &g_qrFinder.ring[0];
}

int QR_FinderRowWanted() { return Par_Enabled(kSymQr) || Par_Enabled(kSymMicroQr) ? 1 : 0; }

void QR_FinderRowLine(FINDER_LINE *line) {
    if (Loc_OtherFinderSucceeded(kFinderIdQr) != 0 || line == nullptr) return;
    QR_FinderProcessRow(line->previous, line->current);
    g_qrFinderQueue.read = &g_qrFinder.ring[g_qrFinder.readIndex];
    g_qrFinderQueue.write = &g_qrFinder.ring[g_qrFinder.writeIndex];
    QR_SetSuccessIfTwo();
}

void QR_SetSuccessIfTwo() {
    if (g_qrFinder.patternCount >= 2) g_finderState.success[kFinderIdQr] = 1;
}

}  // namespace vexo
