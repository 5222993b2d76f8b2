// Placeholders for the QR stages that are not built yet (grid re-fit,
// Micro QR). Each answers as a failure; the stages replace these one by one.
#include "qr/qr_symbol_stages.h"

namespace vexo {

int QR_RefitGrid(const QR_FINDER_PATTERN *, i32, i32, u8 *, i32) { return 0; }
int MQR_DecodeSymbol(const QR_FINDER_SUMMARY *) { return 0; }

}  // namespace vexo
