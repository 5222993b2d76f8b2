// Grid re-fit of small distorted QR symbols (dimension 21..49): overlapping 7 x 7-module
// windows, each with its own affine map, grown outwards from the finders and refined
// against edge points found near the predicted module boundaries; every module is sampled
// at the mean of the positions its windows predict. The entry point QR_RefitGrid is declared
// in qr/qr_symbol_stages.h.
//
// Units: image positions in 1/16 pixel; forward maps give 1/16 pixel times 2048 from module
// indices (the module centre); inverse maps give boundary coordinates (the boundary before
// module k at k, its centre at k + 1/2) times 2^21, about the cell's mean point.
#pragma once

#include "core/types.h"
#include "qr/qr_finder.h"
#include "toolkit/geometry.h"
#include "toolkit/profile.h"

namespace vexo {

inline constexpr i32 kQrRefitPoolPoints = 16384;
inline constexpr i32 kQrRefitListPoints = 1024;
inline constexpr i32 kQrRefitMaxDimension = 49;

struct QR_REFIT_CELL {
    i32 toImage[6];   // X = c0 col + c1 row + c2, Y = c3 col + c4 row + c5
    i32 toModule[6];  // u = d0 (x - mx) + d1 (y - my) + d2, v = d3 (x - mx) + d4 (y - my) + d5
    i16 meanX;
    i16 meanY;
    u16 score;  // support of the last fit (1 when it failed); 0 until fitted
    u8 state;   // 0 untouched, 2 fitted or reached
    u8 seed;    // 1, 2, 3: seeded from the bottom-left, top-left, top-right finder
};

struct QR_EDGE_POINT {
    i16 x;  // 1/16 pixel, the centre of a 2 x 2 pixel block
    i16 y;
    u16 flag;  // 1 free, 0 used by a fit
    u8 column;  // boundary indices once used; before: 254 may serve, 255 may not
    u8 row;
};

struct QR_GRID_POINT {
    QR_EDGE_POINT *columnEdge;
    QR_EDGE_POINT *rowEdge;
    u16 columnDistance;  // 1/1024 module; 0xFFFF none
    u16 rowDistance;
};

struct QR_TILE {
    u16 brightness;
    i16 count;
    QR_EDGE_POINT *points;  // null until scanned
};

// The tiles of the installed image (width / 16 x height / 16) and the shared point pool.
struct QR_TILE_TABLE {
    QR_TILE *tiles;
    i32 columns;
    i32 rows;
    QR_EDGE_POINT *pool;
    i32 used;
    i32 scanned;  // tiles scanned in this re-fit
};

// What the last re-fit used (for benchmarks): tiles scanned, pool points used and the work
// arena's use while its blocks were held.
struct QR_REFIT_STATS {
    i32 tilesScanned;
    i32 poolPoints;
    i32 arenaBytes;
};
void QR_GetRefitStats(QR_REFIT_STATS *out);

// Least-squares affine fit of four (or count) module points to image points (1/16 pixel)
// into both maps of the cell: 1, or 0 when the first two image points lie closer than
// 2 pixels per module, the system is singular or a coefficient is not finite or leaves its
// 32-bit field.
i32 QR_FitCellFromFinder(const GEO_POINT *modulePoints, const GEO_POINT *imagePoints, i32 count, QR_REFIT_CELL *cell);
// Least-squares plane through the points' column (row) boundary values about (cx, cy):
// out = {a, b, c - 1/2} times 2^21. 1, or 0 for a singular system or a result that is not
// finite or leaves 32 bits.
i32 QR_FitColumnCoordinate(const QR_EDGE_POINT *const *points, i32 count, i32 cx, i32 cy, i32 out[3]);
i32 QR_FitRowCoordinate(const QR_EDGE_POINT *const *points, i32 count, i32 cx, i32 cy, i32 out[3]);
// Both maps of the cell from column- and row-boundary points: 1, or 0 when a sub-fit or the
// inversion is degenerate or a coefficient leaves its field.
i32 QR_FitCellFromEdges(const QR_EDGE_POINT *const *columnPoints, i32 columnCount, const QR_EDGE_POINT *const *rowPoints,
                        i32 rowCount, QR_REFIT_CELL *cell);
// As QR_FitCellFromEdges, only when both lists hold at least 4 points (else 0).
i32 QR_FitCellFromEdgesChecked(const QR_EDGE_POINT *const *columnPoints, i32 columnCount,
                               const QR_EDGE_POINT *const *rowPoints, i32 rowCount, QR_REFIT_CELL *cell);
// Brightness of every tile (the maximum of its two diagonals, dilated over 3 x 3 tiles) and
// an empty pool: 1, or 0 for a missing table.
i32 QR_BuildTileMaxima(QR_TILE_TABLE *table);
// Appends the edge points of tile (tx, ty) to the pool (direction by the cell's inverse
// map); answers their number, 0 when the pool is full, -1 for a tile in the first tile row
// or column, outside the table, or work memory refused.
i32 QR_CollectTileEdges(const QR_REFIT_CELL *cell, i32 tx, i32 ty, QR_TILE_TABLE *table);

// ---- Routines that no decode path calls.

inline constexpr i32 kQrProjectionMaxModules = 49;
inline constexpr i32 kQrProjectionMaxSide = 5 * kQrProjectionMaxModules + 2;

// Local minima of a profile (at most kQrProjectionMaxModules, positions ascending) into
// out; when their number differs from k, QR_ReducePeaks picks k instead. Answers the number
// written (k on success), 0 when fewer than k minima can be found.
i32 QR_FindProfileMinima(const i32 *profile, i32 length, i32 k, i32 *out);
// The k strongest minima by second difference (peaks of p[i-1] - 2 p[i] + p[i+1]), the
// weakest dropped one by one; positions ascending. Answers k, or 0 when fewer peaks exist.
i32 QR_ReducePeaks(const i32 *profile, i32 length, i32 k, i32 *out);
// Replaces the s x s grey image by its k x k samples at the module centres found as the
// minima of the column and row profiles of |horizontal gradient| - |vertical gradient|
// (and the reverse): 1, or 0 (image untouched) when a profile yields no k centres or the
// sizes are out of range (s 3..kQrProjectionMaxSide, k 1..s).
i32 QR_ResampleByProjection(u8 *image, i32 s, i32 k);
// The same for k below 50 only.
i32 QR_ResampleByProjectionSmall(u8 *image, i32 s, i32 k);
// Samples the (5 k + 2)-square grid at five samples a module through the perspective of the
// finder's ring corners (1/16 pixel, the corner modules' centres, going round from the
// top-left), k modules from its top-left module, then resamples it by projection into out
// (k x k bytes; out holds (5 k + 2)^2). 1, or 0 for k outside 7..49 or a failed fit.
i32 QR_ResampleFinderWindow(const QR_FINDER_PATTERN *finder, i32 k, u8 *out);
// The toolkit's edge list of one image row (column) of the installed image: positions in
// 1/16 pixel, rising and falling edges with the relative (ratio x 1024) and absolute
// (minStep) thresholds. Answers the number of edges written (at most capacity), 0 for a row
// (column) outside the image.
i32 QR_EdgesAlongRow(i32 row, i32 ratio, i32 minStep, EDGE_ITEM *edges, i32 capacity);
i32 QR_EdgesAlongColumn(i32 column, i32 ratio, i32 minStep, EDGE_ITEM *edges, i32 capacity);

}  // namespace vexo
