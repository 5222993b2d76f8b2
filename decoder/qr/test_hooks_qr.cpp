#include "qr/test_hooks_qr.h"

#include "qr/qr_codewords.h"
#include "qr/qr_matrix.h"
#include "qr/qr_segments.h"

namespace vexo {

void Test_ResetQrDataStatics() {
    g_qrSymbol = QR_SYMBOL_STATE{};
    g_qrData = QR_DATA_STATE{};
    g_qrAimModifier = '1';
    QR_SetErrorWord(kQrErrInitial);
}

}  // namespace vexo
