// Placeholder for the QR Code decoder until it lands: nothing is ever decoded. The QR
// decoder replaces this file.
#include "qr/qr_services.h"

namespace vexo {

int QR_DecodeImage() { return 0; }
int QR_GetSymbolType(u32 *) { return 0; }
const u8 *QR_GetResultText() { return nullptr; }
int QR_GetResultLength() { return 0; }
void QR_GetCorners(REGION_QUAD *) {}
void QR_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'Q';
    out[2] = '0';
}
int QR_HasSa() { return 0; }
int QR_GetSaIndex() { return 0; }
int QR_GetSaCount() { return 0; }
int QR_GetSaParity() { return 0; }

}  // namespace vexo
