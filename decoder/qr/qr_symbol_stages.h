// The stages that the QR symbol decode calls for one candidate: candidate grouping, symbol
// size and finder transforms, the sampling grid, the format and version reading, the
// alignment search, the grid re-fit, Model 1 and Micro QR.
#pragma once

#include "core/types.h"
#include "qr/qr_finder.h"
#include "qr/qr_matrix.h"
#include "qr/qr_state.h"

namespace vexo {

// ---- Candidates.

// The next symbol candidate: up to three patterns copied in slot order and its type
// (QrCandidateType); answers the pattern count, 0 when no candidate is left.
int QR_NextSymbolCandidate(QR_FINDER_PATTERN patterns[3], i32 *type);
// Verified patterns of the region.
i32 QR_GetFinderPatternCount();
// Arms (1) or disarms (0) the one retry of the grouping by plain geometry.
void QR_ArmCandidateRetry(i32 armed);

// ---- Symbol size and finder transforms.

// Version, dimension, alignment count and module size of the state from the finder slots
// (slots may be marked absent). 1 on success, 0 without a usable estimate.
int QR_EstimateSymbolSize(QR_FINDER_SUMMARY finder[3], QR_SYMBOL_STATE *state);
// Fits the finder-local transform of every present slot of the geometry work area.
void QR_FitFinderTransforms();
// Version and alignment count of a dimension (either output may be null).
void QR_VersionFromDimension(i32 dimension, i32 *version, i32 *alignmentCount);

// ---- Sampling grid.

// Lays out the alignment grid of the current version and seeds the finder corners.
void QR_InitAlignGrid(QR_GRID_NODE *grid);
// Gives every node an image position: 1 when done.
int QR_CompleteAlignGrid(QR_GRID_NODE *grid);
// Fits the whole-symbol transform; sets globalValid of the work area on success.
void QR_FitGlobalTransform(QR_GRID_NODE *grid);
// Samples every module into the grey module matrix: 1 when all were sampled.
int QR_SampleModules(QR_GRID_NODE *grid, u8 *greyMatrix);
// Copies the geometry work area (and the symbol state) into g, or back: 1, or 0 for a null
// record or, when restoring, one never saved.
int QR_SaveGeometry(QR_GEOMETRY *g);
int QR_RestoreGeometry(const QR_GEOMETRY *g);

// ---- Format and version reading.

// Reads the format information around the finders; the orientation is read and rewritten.
// 1 when a format word was read (outputs 0 otherwise).
int QR_ReadFormatInfo(i32 *orientation, i32 *model1Format, i32 *model2Format);
// Reads the version information: 1 when a version 1..40 was read.
int QR_ReadVersionInfo(i32 *orientation, i32 *version);
// Settles the finder roles for the decided orientation and rewrites the module points.
void QR_SetFinderModulePoints(i32 orientation);

// ---- Alignment search.

inline constexpr i32 kQrAlignListStart[4] = {0, 9, 24, 47};

void QR_BuildAlignTemplates();
// Fills the four node lists (in one array of kQrAlignListNodes at kQrAlignListStart) and
// their counts.
void QR_RankAlignNodes(QR_GRID_NODE *grid, QR_GRID_NODE *lists, i32 counts[4]);
// Searches the listed nodes: 1 when the search ran.
int QR_SearchAlignPatterns(QR_GRID_NODE *grid, QR_GRID_NODE *lists, i32 counts[4]);

// ---- Grid re-fit, Model 1, Micro QR.

// Re-fits the grid of a distorted symbol of dimension 21..49 from its patterns and fills the
// grey module matrix: 1 when filled.
int QR_RefitGrid(const QR_FINDER_PATTERN patterns[3], i32 type, i32 dimension, u8 *greyMatrix, i32 tiles);
// Decodes a Model 1 matrix (level and mask of the data state set before) into output:
// 0 decoded, -1 segments refused, -2 a block uncorrectable.
i32 QR_DecodeModel1(u8 *matrix, i32 n, u8 *output, i32 capacity);
// Decodes a Micro QR symbol around one finder: 1 decoded (symbol type and symbology code
// set), else 0.
int MQR_DecodeSymbol(const QR_FINDER_SUMMARY *summary);

}  // namespace vexo
