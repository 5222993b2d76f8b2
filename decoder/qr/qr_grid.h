// Geometry of one QR candidate from its size to its sampled modules, on the geometry work
// area (qr_state.h): the grid of alignment-pattern nodes, its completion from local
// perspective fits, the whole-symbol transform, the re-orientation of two-finder
// candidates, the sampling of every module centre into the grey module matrix, and the
// save and restore of a candidate's geometry.
//
// Units: image points of finders and nodes are in 1/4 pixel; module points are symbol
// module indices (column u, row v) once the finder roles are settled, finder-local 1/11
// module before. Every perspective here is scaled by 2^20.
#pragma once

#include "core/types.h"
#include "qr/qr_matrix.h"
#include "qr/qr_state.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

inline constexpr i32 kQrPerspectiveScale = 1 << 20;
// Byte scratch at the start of the work memory for ray and row samples.
inline constexpr i32 kQrSampleBufferBytes = 1280;
inline constexpr i32 kQrMaxAlignCount = 7;
static_assert(kQrMaxGridNodes == kQrMaxAlignCount * kQrMaxAlignCount);

// The point pairs of every present finder slot (module points to image points, 1/4 pixel),
// at most 15 into each array; answers their number.
i32 QR_CollectFinderPairs(GEO_POINT *from, GEO_POINT *to);
// Lays out the alignment count x alignment count nodes of the current version (module
// coordinates from the alignment table, images cleared, found 0) and seeds the nodes at the
// finders' inner corners from the finder image points. Leaves the grid alone unless the
// alignment count is 2..7 and the version 2..40.
void QR_InitAlignGrid(QR_GRID_NODE *grid);
// Predicts the nodes not yet found, quadrant by quadrant, from perspective fits over the
// known nodes around them. 1 when every node has a position (or when the whole-symbol
// transform is already valid); 0 for version 1, a quadrant with more than 8 missing nodes,
// fewer than 5 known nodes in its window or a failed fit.
i32 QR_CompleteAlignGrid(QR_GRID_NODE *grid);
// Fits the whole-symbol transform from the present finders' point pairs and the found
// nodes; globalValid is 1 only after a successful fit. grid may be null (finders only).
void QR_FitGlobalTransform(QR_GRID_NODE *grid);
// Two-finder candidates: turns the grid and relabels the finders when an alignment pattern
// was found where a finder was assumed (arrangement 3: the top-right node; arrangement 4:
// the top-left node).
void QR_ReorientByAlignment(QR_GRID_NODE *grid);
// Samples every module centre into matrix (dimension x dimension bytes, 128 outside the
// image), piecewise through the grid cells or through the whole-symbol transform when it
// is valid, and writes the sampled area's corners into the module result. 1 when every
// module was sampled; 0 for a piecewise grid below 3 x 3, a failed fit or walk, or a centre
// outside the region of interest while that check is on.
i32 QR_SampleModules(QR_GRID_NODE *grid, u8 *matrix);
// Copies the work area's geometry into g (saved = 1); 0 for a null record.
i32 QR_SaveGeometry(QR_GEOMETRY *g);
// Copies a saved record back; 0 (nothing changed) for a null or unsaved record.
i32 QR_RestoreGeometry(const QR_GEOMETRY *g);

}  // namespace vexo
