// Placeholder for the QR Code finder until the QR decoder lands: it takes part in the row
// pass when QR Code or Micro QR is enabled, looks at no line and never succeeds. The
// reset sets up the candidate queue as the real finder does, so that the finder
// framework hands lines on. The QR decoder replaces this file.
#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

namespace {
// Stands in for the candidate ring.
u8 g_placeholderRing[4];
}  // namespace

void QR_FinderReset(REGION_QUAD *, REGION_QUAD *) {
    g_qrFinderQueue.read = g_placeholderRing;
    g_qrFinderQueue.write = g_placeholderRing;
}

int QR_FinderRowWanted() { return Par_Enabled(kSymQr) || Par_Enabled(kSymMicroQr) ? 1 : 0; }

void QR_FinderRowLine(FINDER_LINE *) {}

}  // namespace vexo
