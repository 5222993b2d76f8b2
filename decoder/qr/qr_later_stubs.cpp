// Placeholders for the QR stages that are not built yet (alignment search, grid re-fit,
// Model 1, Micro QR). Each answers as a failure; the stages replace these one by one.
#include "qr/qr_symbol_stages.h"

namespace vexo {

void QR_BuildAlignTemplates() {}
void QR_RankAlignNodes(QR_GRID_NODE *, QR_GRID_NODE *, i32 counts[4]) {
    if (counts == nullptr) return;
    for (int k = 0; k < 4; ++k) counts[k] = 0;
}
int QR_SearchAlignPatterns(QR_GRID_NODE *, QR_GRID_NODE *, i32 *) { return 0; }

int QR_RefitGrid(const QR_FINDER_PATTERN *, i32, i32, u8 *, i32) { return 0; }
i32 QR_DecodeModel1(u8 *, i32, u8 *, i32) { return -1; }
int MQR_DecodeSymbol(const QR_FINDER_SUMMARY *) { return 0; }

}  // namespace vexo
