// Placeholders for the QR stages that are not built yet (candidate grouping, symbol size,
// sampling grid, format reading, alignment search, grid re-fit, Model 1, Micro QR). Each
// answers as a failure, so that every candidate ends without a symbol. The stages replace
// these one by one.
#include "qr/qr_symbol_stages.h"

namespace vexo {

int QR_NextSymbolCandidate(QR_FINDER_PATTERN *, i32 *type) {
    if (type != nullptr) *type = 0;
    return 0;
}
i32 QR_GetFinderPatternCount() { return g_qrFinder.patternCount; }
void QR_ArmCandidateRetry(i32 armed) { g_qrFinder.retryArmed = armed; }

int QR_EstimateSymbolSize(QR_FINDER_SUMMARY *, QR_SYMBOL_STATE *) { return 0; }
void QR_FitFinderTransforms() {}
void QR_VersionFromDimension(i32, i32 *version, i32 *alignmentCount) {
    if (version != nullptr) *version = 0;
    if (alignmentCount != nullptr) *alignmentCount = 0;
}

void QR_InitAlignGrid(QR_GRID_NODE *) {}
int QR_CompleteAlignGrid(QR_GRID_NODE *) { return 0; }
void QR_FitGlobalTransform(QR_GRID_NODE *) {}
int QR_SampleModules(QR_GRID_NODE *, u8 *) { return 0; }
int QR_SaveGeometry(QR_GEOMETRY *) { return 0; }
int QR_RestoreGeometry(const QR_GEOMETRY *) { return 0; }

int QR_ReadFormatInfo(i32 *orientation, i32 *model1Format, i32 *model2Format) {
    if (orientation != nullptr) *orientation = 0;
    if (model1Format != nullptr) *model1Format = 0;
    if (model2Format != nullptr) *model2Format = 0;
    return 0;
}
int QR_ReadVersionInfo(i32 *orientation, i32 *version) {
    if (orientation != nullptr) *orientation = 0;
    if (version != nullptr) *version = 0;
    return 0;
}
void QR_SetFinderModulePoints(i32) {}

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
