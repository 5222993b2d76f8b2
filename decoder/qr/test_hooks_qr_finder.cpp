#include "qr/test_hooks_qr_finder.h"

#include "qr/qr_finder.h"

namespace vexo {

void Test_ResetQrModuleStatics() { g_qrFinder = QR_FINDER_STORE{}; }

}  // namespace vexo
