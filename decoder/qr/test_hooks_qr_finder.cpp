#include "qr/test_hooks_qr_finder.h"

#include "qr/qr_finder.h"
#include "qr/qr_state.h"

namespace vexo {

void Test_ResetQrModuleStatics() {
    g_qrFinder = QR_FINDER_STORE{};
    g_qrResult = QR_RESULT{};
    g_qrGeomWork = QR_GEOM_WORK{};
    g_qrWorkAreas = QR_WORK_AREAS{};
    for (QR_FINDER_SUMMARY &s : g_qrSummaries) s = QR_FINDER_SUMMARY{};
    g_qrPolarity = 0;
}

}  // namespace vexo
