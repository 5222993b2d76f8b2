// Grid re-fit: seeds from the finders, waves of window fits against tile edge points, and
// the sampling of every module at the mean of its windows' predictions.
#include "qr/qr_refit.h"

#include <cstdint>

#include "core/arena.h"
#include "core/pixel.h"
#include "qr/qr_finder.h"
#include "qr/qr_state.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/geometry_numeric.h"

namespace vexo {

namespace {

constexpr i32 kTile = 16;
constexpr i32 kMaxTilesPerWindow = 16;
constexpr i32 kNearDistance = 332;  // 1/1024 module: about a third of a module
constexpr i32 kGathered = 511;
constexpr u16 kNoDistance = 0xFFFF;
constexpr f64 kTwo21 = 2097152.0;
constexpr i32 kWindow = 7;

QR_REFIT_STATS g_refitStats;

bool ToI32(f64 v, i32 *out) { return Num_TruncToI32(v, out); }

// ---- Least squares.

// Solves the 3 x 3 system m x = r by Cramer's rule; false when singular (relative to the
// size of its entries) or not finite.
bool Solve3(const f64 m[3][3], const f64 r[3], f64 x[3]) {
    const f64 det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                    m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    f64 scale = 0;
    for (i32 i = 0; i < 3; ++i) {
        for (i32 j = 0; j < 3; ++j) scale = m[i][j] < 0 ? (-m[i][j] > scale ? -m[i][j] : scale) : (m[i][j] > scale ? m[i][j] : scale);
    }
    if (!(det == det) || scale <= 0) return false;
    const f64 adet = det < 0 ? -det : det;
    if (adet <= 1e-12 * scale * scale * scale) return false;
    for (i32 k = 0; k < 3; ++k) {
        f64 a[3][3];
        for (i32 i = 0; i < 3; ++i) {
            for (i32 j = 0; j < 3; ++j) a[i][j] = j == k ? r[i] : m[i][j];
        }
        x[k] = (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0])) /
               det;
        if (!(x[k] - x[k] == 0)) return false;
    }
    return true;
}

// Normal equations of value = a u + b v + c over the points.
struct PlaneSums {
    f64 m[3][3];
    f64 r[3][2];  // right-hand sides of two values at once
};

void AddPlanePoint(PlaneSums *s, f64 u, f64 v, f64 value0, f64 value1) {
    const f64 row[3] = {u, v, 1};
    for (i32 i = 0; i < 3; ++i) {
        for (i32 j = 0; j < 3; ++j) s->m[i][j] += row[i] * row[j];
        s->r[i][0] += row[i] * value0;
        s->r[i][1] += row[i] * value1;
    }
}

bool SolvePlane(const PlaneSums &s, i32 k, f64 out[3]) {
    const f64 r[3] = {s.r[0][k], s.r[1][k], s.r[2][k]};
    return Solve3(s.m, r, out);
}

// One boundary coordinate plane through the points' column (or row) values.
i32 FitCoordinate(const QR_EDGE_POINT *const *points, i32 count, i32 cx, i32 cy, bool column, i32 out[3]) {
    if (points == nullptr || out == nullptr || count < 3) return 0;
    PlaneSums s{};
    for (i32 i = 0; i < count; ++i) {
        const QR_EDGE_POINT *p = points[i];
        if (p == nullptr) return 0;
        AddPlanePoint(&s, p->x - cx, p->y - cy, column ? p->column : p->row, 0);
    }
    f64 x[3];
    if (!SolvePlane(s, 0, x)) return 0;
    i32 a = 0, b = 0, c = 0;
    if (!ToI32(x[0] * kTwo21, &a) || !ToI32(x[1] * kTwo21, &b) || !ToI32((x[2] - 0.5) * kTwo21, &c)) return 0;
    out[0] = a;
    out[1] = b;
    out[2] = c;
    return 1;
}

// ---- Forward and inverse maps.

// Image position (1/16 pixel) of module point (2 col2 / 2, 2 row2 / 2): col2, row2 are
// doubled module indices so that boundaries (half a module before a centre) are exact.
bool MapHalf(const QR_REFIT_CELL &cell, i32 col2, i32 row2, i32 *x, i32 *y) {
    const i32 *c = cell.toImage;
    const i64 X = (static_cast<i64>(c[0]) * col2 + static_cast<i64>(c[1]) * row2) / 2 + c[2];
    const i64 Y = (static_cast<i64>(c[3]) * col2 + static_cast<i64>(c[4]) * row2) / 2 + c[5];
    const i64 px = X / 2048, py = Y / 2048;
    if (!Num_FitsI32(px) || !Num_FitsI32(py)) return false;
    *x = static_cast<i32>(px);
    *y = static_cast<i32>(py);
    return true;
}

// Boundary coordinates (times 2^21) of an image point.
void ToModule(const QR_REFIT_CELL &cell, i32 x, i32 y, i64 *u, i64 *v) {
    const i32 *d = cell.toModule;
    const i64 dx = x - cell.meanX, dy = y - cell.meanY;
    *u = d[0] * dx + d[1] * dy + d[2];
    *v = d[3] * dx + d[4] * dy + d[5];
}

// ---- Work memory of one re-fit.

struct Work {
    i32 n;
    i32 m;  // window positions per side
    QR_REFIT_CELL *cells;
    QR_GRID_POINT *grid;
    QR_TILE_TABLE table;
    i64 *sums;  // per module: sum X, sum Y, count
    i16 *lists[2];
    u8 *blocks[8];
    i32 blockCount;
};

// The arena aligns blocks to 4 bytes; records with pointers and 64-bit sums want 8.
u8 *Take(Work *w, i64 bytes) {
    if (bytes <= 0 || bytes > 0x7FFFFFF0 - 8) return nullptr;
    u8 *p = Mem_Alloc(static_cast<i32>(bytes + 8));
    if (p == nullptr) return nullptr;
    w->blocks[w->blockCount++] = p;
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return p + ((8 - (a & 7)) & 7);
}

void Release(Work *w) {
    g_refitStats.tilesScanned = w->table.scanned;
    g_refitStats.poolPoints = w->table.used;
    for (i32 k = w->blockCount - 1; k >= 0; --k) Mem_Free(w->blocks[k]);
    w->blockCount = 0;
}

bool TakeBlocks(Work *w) {
    const i64 cells = static_cast<i64>(w->m) * w->m;
    const i64 points = static_cast<i64>(w->n + 1) * (w->n + 1);
    w->table.columns = g_image.width / kTile;
    w->table.rows = g_image.height / kTile;
    const i64 tiles = static_cast<i64>(w->table.columns) * w->table.rows;
    w->cells = reinterpret_cast<QR_REFIT_CELL *>(Take(w, cells * static_cast<i64>(sizeof(QR_REFIT_CELL))));
    w->grid = reinterpret_cast<QR_GRID_POINT *>(Take(w, points * static_cast<i64>(sizeof(QR_GRID_POINT))));
    w->table.tiles = tiles > 0 ? reinterpret_cast<QR_TILE *>(Take(w, tiles * static_cast<i64>(sizeof(QR_TILE)))) : nullptr;
    w->table.pool = reinterpret_cast<QR_EDGE_POINT *>(Take(w, kQrRefitPoolPoints * static_cast<i64>(sizeof(QR_EDGE_POINT))));
    w->sums = reinterpret_cast<i64 *>(Take(w, static_cast<i64>(w->n) * w->n * 3 * static_cast<i64>(sizeof(i64))));
    w->lists[0] = reinterpret_cast<i16 *>(Take(w, cells * 2 * static_cast<i64>(sizeof(i16))));
    w->lists[1] = reinterpret_cast<i16 *>(Take(w, cells * 2 * static_cast<i64>(sizeof(i16))));
    ARENA_STATS stats{};
    Mem_GetStats(&stats);
    g_refitStats.arenaBytes = stats.used;
    return w->cells != nullptr && w->grid != nullptr && w->table.tiles != nullptr && w->table.pool != nullptr &&
           w->sums != nullptr && w->lists[0] != nullptr && w->lists[1] != nullptr;
}

// ---- One window.

struct PointLists {
    const QR_EDGE_POINT *column[kQrRefitListPoints];
    const QR_EDGE_POINT *row[kQrRefitListPoints];
    i32 columns;
    i32 rows;
};

// Gathers the tiles under the window's modules that still need points; false when a scan
// failed.
bool GatherTiles(Work *w, const QR_REFIT_CELL &cell, i32 c0, i32 r0, QR_TILE **tiles, i32 *count) {
    const i32 stride = w->n + 1;
    *count = 0;
    for (i32 row = r0; row < r0 + kWindow; ++row) {
        for (i32 col = c0; col < c0 + kWindow; ++col) {
            const QR_GRID_POINT &gp = w->grid[row * stride + col];
            if (gp.columnDistance <= kGathered && gp.rowDistance <= kGathered) continue;
            i32 x = 0, y = 0;
            if (!MapHalf(cell, 2 * col, 2 * row, &x, &y) || x + 8 < 0 || y + 8 < 0) continue;
            const i32 tx = (x + 8) / 256, ty = (y + 8) / 256;
            // Only tiles of the table: a partial last tile column or row has no entry.
            if (tx >= w->table.columns || ty >= w->table.rows) continue;
            QR_TILE *tile = &w->table.tiles[ty * w->table.columns + tx];
            bool seen = false;
            for (i32 k = 0; k < *count; ++k) seen = seen || tiles[k] == tile;
            if (seen || *count == kMaxTilesPerWindow) continue;
            if (tile->points == nullptr && QR_CollectTileEdges(&cell, tx, ty, &w->table) < 0) return false;
            tiles[(*count)++] = tile;
        }
    }
    return true;
}

// Offers every free point of the tiles to its nearest boundary of the window.
void AssignPoints(Work *w, const QR_REFIT_CELL &cell, i32 c0, i32 r0, QR_TILE *const *tiles, i32 count) {
    const i32 stride = w->n + 1;
    const i32 c1 = c0 + kWindow - 1, r1 = r0 + kWindow - 1;
    for (i32 k = 0; k < count; ++k) {
        for (i32 i = 0; i < tiles[k]->count; ++i) {
            QR_EDGE_POINT *p = &tiles[k]->points[i];
            if (p->flag != 1) continue;
            i64 u = 0, v = 0;
            ToModule(cell, p->x, p->y, &u, &v);
            const bool rowEdge = p->row == 254;
            const i64 along = rowEdge ? u >> 21 : v >> 21;
            const i64 across = rowEdge ? v : u;
            const i64 b = (across + (1 << 20)) >> 21;
            const i64 d = (across - (b << 21)) >> 11;
            const i64 dist = d < 0 ? -d : d;
            if (dist > kNearDistance) continue;
            if (rowEdge) {
                if (along < c0 || along > c1 || b < r0 || b > r1 + 1) continue;
                QR_GRID_POINT &gp = w->grid[b * stride + along];
                if (dist < gp.rowDistance) gp.rowEdge = p, gp.rowDistance = static_cast<u16>(dist);
            } else if (p->column == 254) {
                if (along < r0 || along > r1 || b < c0 || b > c1 + 1) continue;
                QR_GRID_POINT &gp = w->grid[along * stride + b];
                if (dist < gp.columnDistance) gp.columnEdge = p, gp.columnDistance = static_cast<u16>(dist);
            }
        }
    }
}

i32 FitWindow(Work *w, i32 c0, i32 r0, QR_REFIT_CELL *cell) {
    const i32 stride = w->n + 1;
    const i32 c1 = c0 + kWindow - 1, r1 = r0 + kWindow - 1;
    static PointLists lists;
    QR_EDGE_POINT anchors[4];
    lists.columns = lists.rows = 0;
    const i32 bc[4] = {c0, c1 + 1, c0, c1 + 1};
    const i32 br[4] = {r0, r0, r1 + 1, r1 + 1};
    for (i32 k = 0; k < 4; ++k) {
        i32 x = 0, y = 0;
        if (!MapHalf(*cell, 2 * bc[k] - 1, 2 * br[k] - 1, &x, &y) || x < -32768 || x > 32767 || y < -32768 || y > 32767) {
            return -1;
        }
        anchors[k] = {static_cast<i16>(x), static_cast<i16>(y), 0, static_cast<u8>(bc[k]), static_cast<u8>(br[k])};
        lists.column[lists.columns++] = &anchors[k];
        lists.row[lists.rows++] = &anchors[k];
    }
    QR_TILE *tiles[kMaxTilesPerWindow];
    i32 tileCount = 0;
    if (!GatherTiles(w, *cell, c0, r0, tiles, &tileCount)) return -1;
    AssignPoints(w, *cell, c0, r0, tiles, tileCount);
    i64 score = 0;
    for (i32 row = r0; row <= r1 + 1; ++row) {
        for (i32 col = c0; col <= c1 + 1; ++col) {
            QR_GRID_POINT &gp = w->grid[row * stride + col];
            if (lists.columns == kQrRefitListPoints || lists.rows == kQrRefitListPoints) break;
            if (gp.columnEdge != nullptr) {
                gp.columnEdge->column = static_cast<u8>(col);
                gp.columnEdge->row = static_cast<u8>(row);
                gp.columnEdge->flag = 0;
                lists.column[lists.columns++] = gp.columnEdge;
                score += 512 - gp.columnDistance;
            }
            if (gp.rowEdge != nullptr && lists.rows < kQrRefitListPoints) {
                gp.rowEdge->column = static_cast<u8>(col);
                gp.rowEdge->row = static_cast<u8>(row);
                gp.rowEdge->flag = 0;
                lists.row[lists.rows++] = gp.rowEdge;
                score += 512 - gp.rowDistance;
            }
        }
    }
    for (i32 row = r0 + 1; row <= r1; ++row) {
        for (i32 col = c0 + 1; col <= c1; ++col) {
            QR_GRID_POINT &gp = w->grid[row * stride + col];
            if (gp.columnDistance > kGathered) gp.columnDistance = kGathered;
            if (gp.rowDistance > kGathered) gp.rowDistance = kGathered;
        }
    }
    if (QR_FitCellFromEdges(lists.column, lists.columns, lists.row, lists.rows, cell) != 1) score = 1;
    // The support of up to 2 x 1,024 points outgrows the 16-bit field: saturate.
    cell->score = static_cast<u16>(score > 0xFFFF ? 0xFFFF : (score < 1 ? 1 : score));
    return cell->score;
}

// ---- Seeds and waves.

struct Seed {
    i32 pattern;  // index into the candidate's patterns
    i32 windowCol, windowRow;
    GEO_POINT module[4];
    u8 mark;
};

bool SeedWindow(Work *w, const QR_FINDER_PATTERN &p, const Seed &s) {
    QR_REFIT_CELL *cell = &w->cells[s.windowRow * w->m + s.windowCol];
    if (QR_FitCellFromFinder(s.module, p.corners, 4, cell) != 1) return false;
    cell->seed = s.mark;
    return true;
}

i32 Seeds(i32 type, i32 n, Seed out[3]) {
    if (type == 0) return 0;
    i32 count = 0;
    out[count++] = {0, 0, n - 7, {{0, n - 1}, {0, n - 7}, {6, n - 7}, {6, n - 1}}, 1};
    if (type == kQrCandidateThree || type == kQrCandidateSide) {
        out[count++] = {1, 0, 0, {{0, 0}, {6, 0}, {6, 6}, {0, 6}}, 2};
    }
    // A diagonal pair arrives as two patterns: its top-right finder is the second.
    if (type == kQrCandidateThree || type == kQrCandidateDiagonal) {
        out[count++] = {type == kQrCandidateDiagonal ? 1 : 2, n - 7, 0, {{n - 1, 0}, {n - 1, 6}, {n - 7, 6}, {n - 7, 0}}, 3};
    }
    return count;
}

bool RunWaves(Work *w, i32 firstCount) {
    const i32 m = w->m;
    i32 current = 0, count = firstCount;
    for (i32 wave = 0; wave < 2 * w->n && count > 0; ++wave) {
        const i16 *list = w->lists[current];
        i16 *next = w->lists[1 - current];
        i32 nextCount = 0;
        for (i32 k = 0; k < count; ++k) {
            const i32 c = list[2 * k], r = list[2 * k + 1];
            QR_REFIT_CELL *cell = &w->cells[r * m + c];
            if (FitWindow(w, c, r, cell) < 0) return false;
            cell->state = 2;
            const i32 nc[4] = {c, c, c + 1, c - 1};
            const i32 nr[4] = {r + 1, r - 1, r, r};
            for (i32 j = 0; j < 4; ++j) {
                if (nc[j] < 0 || nr[j] < 0 || nc[j] >= m || nr[j] >= m) continue;
                QR_REFIT_CELL *other = &w->cells[nr[j] * m + nc[j]];
                if (other->state == 2 || other->score >= cell->score || nextCount >= m * m) continue;
                *other = *cell;
                next[2 * nextCount] = static_cast<i16>(nc[j]);
                next[2 * nextCount + 1] = static_cast<i16>(nr[j]);
                ++nextCount;
            }
        }
        current = 1 - current;
        count = nextCount;
    }
    return true;
}

void SampleModules(Work *w, u8 *grey) {
    const i32 n = w->n, m = w->m;
    for (i32 i = 0; i < 3 * n * n; ++i) w->sums[i] = 0;
    for (i32 r = 0; r < m; ++r) {
        for (i32 c = 0; c < m; ++c) {
            const QR_REFIT_CELL &cell = w->cells[r * m + c];
            if (cell.state == 0) continue;
            for (i32 j = 0; j < kWindow; ++j) {
                for (i32 i = 0; i < kWindow; ++i) {
                    i64 *s = &w->sums[3 * ((r + j) * n + c + i)];
                    s[0] += static_cast<i64>(cell.toImage[0]) * (c + i) + static_cast<i64>(cell.toImage[1]) * (r + j) + cell.toImage[2];
                    s[1] += static_cast<i64>(cell.toImage[3]) * (c + i) + static_cast<i64>(cell.toImage[4]) * (r + j) + cell.toImage[5];
                    s[2] += 1;
                }
            }
        }
    }
    for (i32 k = 0; k < n * n; ++k) {
        const i64 *s = &w->sums[3 * k];
        if (s[2] == 0) {
            grey[k] = 0;
            continue;
        }
        const i64 x = s[0] / (s[2] * 2048), y = s[1] / (s[2] * 2048);
        if (!Num_FitsI32(x) || !Num_FitsI32(y) || g_frame.sampleBilinear == nullptr) {
            grey[k] = 0;
            continue;
        }
        grey[k] = static_cast<u8>(g_frame.sampleBilinear(static_cast<i32>(x), static_cast<i32>(y), 0));
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------

void QR_GetRefitStats(QR_REFIT_STATS *out) {
    if (out != nullptr) *out = g_refitStats;
}

i32 QR_FitCellFromFinder(const GEO_POINT *modulePoints, const GEO_POINT *imagePoints, i32 count, QR_REFIT_CELL *cell) {
    if (modulePoints == nullptr || imagePoints == nullptr || cell == nullptr || count < 3) return 0;
    const f64 idx = imagePoints[1].x - imagePoints[0].x, idy = imagePoints[1].y - imagePoints[0].y;
    const f64 mdx = modulePoints[1].x - modulePoints[0].x, mdy = modulePoints[1].y - modulePoints[0].y;
    if (idx * idx + idy * idy < 1024.0 * (mdx * mdx + mdy * mdy)) return 0;
    f64 mx = 0, my = 0;
    for (i32 i = 0; i < count; ++i) {
        mx += imagePoints[i].x;
        my += imagePoints[i].y;
    }
    mx = static_cast<f64>(Num_SatTruncI32(mx / count + (mx < 0 ? -0.5 : 0.5)));
    my = static_cast<f64>(Num_SatTruncI32(my / count + (my < 0 ? -0.5 : 0.5)));
    PlaneSums forward{}, inverse{};
    for (i32 i = 0; i < count; ++i) {
        AddPlanePoint(&forward, modulePoints[i].x, modulePoints[i].y, imagePoints[i].x, imagePoints[i].y);
        AddPlanePoint(&inverse, imagePoints[i].x - mx, imagePoints[i].y - my, modulePoints[i].x + 0.5, modulePoints[i].y + 0.5);
    }
    f64 fx[3], fy[3], iu[3], iv[3];
    if (!SolvePlane(forward, 0, fx) || !SolvePlane(forward, 1, fy) || !SolvePlane(inverse, 0, iu) || !SolvePlane(inverse, 1, iv)) {
        return 0;
    }
    QR_REFIT_CELL c = *cell;
    const f64 img[6] = {fx[0], fx[1], fx[2], fy[0], fy[1], fy[2]};
    const f64 mod[6] = {iu[0], iu[1], iu[2], iv[0], iv[1], iv[2]};
    for (i32 k = 0; k < 6; ++k) {
        if (!ToI32(img[k] * 2048.0, &c.toImage[k]) || !ToI32(mod[k] * kTwo21, &c.toModule[k])) return 0;
    }
    if (mx < -32768 || mx > 32767 || my < -32768 || my > 32767) return 0;
    c.meanX = static_cast<i16>(mx);
    c.meanY = static_cast<i16>(my);
    *cell = c;
    return 1;
}

i32 QR_FitColumnCoordinate(const QR_EDGE_POINT *const *points, i32 count, i32 cx, i32 cy, i32 out[3]) {
    return FitCoordinate(points, count, cx, cy, true, out);
}

i32 QR_FitRowCoordinate(const QR_EDGE_POINT *const *points, i32 count, i32 cx, i32 cy, i32 out[3]) {
    return FitCoordinate(points, count, cx, cy, false, out);
}

i32 QR_FitCellFromEdges(const QR_EDGE_POINT *const *columnPoints, i32 columnCount, const QR_EDGE_POINT *const *rowPoints,
                        i32 rowCount, QR_REFIT_CELL *cell) {
    if (cell == nullptr || columnPoints == nullptr || rowPoints == nullptr || columnCount <= 0 || rowCount <= 0) return 0;
    i64 sx = 0, sy = 0;
    for (i32 i = 0; i < columnCount; ++i) sx += columnPoints[i]->x, sy += columnPoints[i]->y;
    for (i32 i = 0; i < rowCount; ++i) sx += rowPoints[i]->x, sy += rowPoints[i]->y;
    const i64 total = columnCount + rowCount;
    const i32 cx = static_cast<i32>((2 * sx + (sx < 0 ? -total : total)) / (2 * total));
    const i32 cy = static_cast<i32>((2 * sy + (sy < 0 ? -total : total)) / (2 * total));
    i32 col[3], row[3];
    if (QR_FitColumnCoordinate(columnPoints, columnCount, cx, cy, col) != 1) return 0;
    if (QR_FitRowCoordinate(rowPoints, rowCount, cx, cy, row) != 1) return 0;
    const i64 e = col[0], g = col[1], s = col[2], h = row[0], f = row[1], t = row[2];
    bool ok = true;
    const i64 D = Chk_Sub(Chk_Mul(e, f, &ok), Chk_Mul(g, h, &ok), &ok);
    if (!ok || D == 0) return 0;
    const i64 two32 = i64{1} << 32;
    i64 img[6];
    img[0] = Chk_Div(Chk_Mul(two32, f, &ok), D, &ok);
    img[1] = Chk_Div(Chk_Mul(two32, -g, &ok), D, &ok);
    img[2] = Chk_Add(Chk_Div(Chk_Mul(2048, Chk_Sub(Chk_Mul(g, t, &ok), Chk_Mul(f, s, &ok), &ok), &ok), D, &ok), 2048 * static_cast<i64>(cx), &ok);
    img[3] = Chk_Div(Chk_Mul(two32, -h, &ok), D, &ok);
    img[4] = Chk_Div(Chk_Mul(two32, e, &ok), D, &ok);
    img[5] = Chk_Add(Chk_Div(Chk_Mul(2048, Chk_Sub(Chk_Mul(h, s, &ok), Chk_Mul(e, t, &ok), &ok), &ok), D, &ok), 2048 * static_cast<i64>(cy), &ok);
    const i64 mod[6] = {e, g, s + (1 << 20), h, f, t + (1 << 20)};
    if (!ok || cx < -32768 || cx > 32767 || cy < -32768 || cy > 32767) return 0;
    for (i32 k = 0; k < 6; ++k) {
        if (!Num_FitsI32(img[k]) || !Num_FitsI32(mod[k])) return 0;
    }
    for (i32 k = 0; k < 6; ++k) {
        cell->toImage[k] = static_cast<i32>(img[k]);
        cell->toModule[k] = static_cast<i32>(mod[k]);
    }
    cell->meanX = static_cast<i16>(cx);
    cell->meanY = static_cast<i16>(cy);
    return 1;
}

i32 QR_FitCellFromEdgesChecked(const QR_EDGE_POINT *const *columnPoints, i32 columnCount,
                               const QR_EDGE_POINT *const *rowPoints, i32 rowCount, QR_REFIT_CELL *cell) {
    if (columnCount < 4 || rowCount < 4) return 0;
    return QR_FitCellFromEdges(columnPoints, columnCount, rowPoints, rowCount, cell);
}

i32 QR_BuildTileMaxima(QR_TILE_TABLE *table) {
    if (table == nullptr || table->tiles == nullptr) return 0;
    const i32 tc = table->columns, tr = table->rows;
    if (tc <= 0 || tr <= 0 || g_image.data == nullptr || tc * kTile > g_image.width || tr * kTile > g_image.height) return 0;
    const u8 *img = g_image.data;
    const i64 w = g_image.width;
    for (i32 ty = 0; ty < tr; ++ty) {
        for (i32 tx = 0; tx < tc; ++tx) {
            u16 hi = 0;
            for (i32 i = 0; i < kTile; ++i) {
                const i64 y = static_cast<i64>(ty) * kTile + i;
                const u8 a = img[y * w + tx * kTile + i];
                const u8 b = img[y * w + tx * kTile + 15 - i];
                hi = a > hi ? a : hi;
                hi = b > hi ? b : hi;
            }
            QR_TILE &t = table->tiles[ty * tc + tx];
            t.brightness = hi;
            t.count = 0;
            t.points = nullptr;
        }
    }
    // 3 x 3 dilation, rows then columns; the maxima of the row pass go to `count` meanwhile.
    for (i32 ty = 0; ty < tr; ++ty) {
        for (i32 tx = 0; tx < tc; ++tx) {
            u16 hi = 0;
            for (i32 d = -1; d <= 1; ++d) {
                if (tx + d >= 0 && tx + d < tc) hi = table->tiles[ty * tc + tx + d].brightness > hi ? table->tiles[ty * tc + tx + d].brightness : hi;
            }
            table->tiles[ty * tc + tx].count = static_cast<i16>(hi);
        }
    }
    for (i32 ty = 0; ty < tr; ++ty) {
        for (i32 tx = 0; tx < tc; ++tx) {
            i16 hi = 0;
            for (i32 d = -1; d <= 1; ++d) {
                if (ty + d >= 0 && ty + d < tr) hi = table->tiles[(ty + d) * tc + tx].count > hi ? table->tiles[(ty + d) * tc + tx].count : hi;
            }
            table->tiles[ty * tc + tx].brightness = static_cast<u16>(hi);
        }
    }
    for (i32 k = 0; k < tc * tr; ++k) table->tiles[k].count = 0;
    table->used = 0;
    table->scanned = 0;
    return 1;
}

i32 QR_CollectTileEdges(const QR_REFIT_CELL *cell, i32 tx, i32 ty, QR_TILE_TABLE *table) {
    if (cell == nullptr || table == nullptr || table->tiles == nullptr || table->pool == nullptr) return -1;
    if (tx <= 0 || ty <= 0 || tx >= table->columns || ty >= table->rows) return -1;
    QR_TILE &tile = table->tiles[ty * table->columns + tx];
    tile.points = table->pool + table->used;
    tile.count = 0;
    ++table->scanned;
    if (table->used >= kQrRefitPoolPoints) return 0;
    constexpr i32 kSpan = kTile + 2;
    i32 gx[kSpan][kSpan], gy[kSpan][kSpan];
    i64 g[kSpan][kSpan];
    const i32 x0 = kTile * tx - 1, y0 = kTile * ty - 1;
    const i32 w = g_image.width, h = g_image.height;
    const u8 *img = g_image.data;
    auto p = [&](i32 x, i32 y) -> i32 { return img[static_cast<i64>(y) * w + x]; };
    for (i32 j = 0; j < kSpan; ++j) {
        for (i32 i = 0; i < kSpan; ++i) {
            const i32 x = x0 + i, y = y0 + j;
            g[j][i] = -1;
            // Gradients only where the pixel and its right and lower neighbours exist.
            if (x < 0 || y < 0 || x + 1 >= w || y + 1 >= h) continue;
            gx[j][i] = p(x + 1, y) + p(x + 1, y + 1) - p(x, y) - p(x, y + 1);
            gy[j][i] = p(x, y + 1) + p(x + 1, y + 1) - p(x, y) - p(x + 1, y);
            g[j][i] = static_cast<i64>(gx[j][i]) * gx[j][i] + static_cast<i64>(gy[j][i]) * gy[j][i];
        }
    }
    const i64 b = tile.brightness;
    const f64 d0 = cell->toModule[0], d1 = cell->toModule[1], d3 = cell->toModule[3], d4 = cell->toModule[4];
    for (i32 j = 1; j < kSpan - 1; ++j) {
        for (i32 i = 1; i < kSpan - 1; ++i) {
            const i64 v = g[j][i];
            if (v < 16 || 16 * v <= b * b) continue;
            const i32 ax = gx[j][i] < 0 ? -gx[j][i] : gx[j][i];
            const i32 ay = gy[j][i] < 0 ? -gy[j][i] : gy[j][i];
            const i64 n1 = ay < ax ? g[j][i - 1] : g[j - 1][i];
            const i64 n2 = ay < ax ? g[j][i + 1] : g[j + 1][i];
            const bool same = (gx[j][i] < 0) == (gy[j][i] < 0);
            const i64 n3 = same ? g[j + 1][i + 1] : g[j - 1][i + 1];
            const i64 n4 = same ? g[j - 1][i - 1] : g[j + 1][i - 1];
            if (v < n1 || v < n2 || v < n3 || v < n4) continue;
            const f64 fx = gx[j][i], fy = gy[j][i];
            const f64 len = fx * fx + fy * fy;
            const f64 rowCross = fx * d4 - fy * d3, colCross = fx * d1 - fy * d0;
            u8 column = 0, row = 0;
            if (2 * rowCross * rowCross < (d3 * d3 + d4 * d4) * len) {
                column = 255, row = 254;
            } else if (2 * colCross * colCross < (d0 * d0 + d1 * d1) * len) {
                column = 254, row = 255;
            } else {
                continue;
            }
            const i32 x = x0 + i, y = y0 + j;
            if (16 * x + 8 > 32767 || 16 * y + 8 > 32767) continue;
            table->pool[table->used++] = {static_cast<i16>(16 * x + 8), static_cast<i16>(16 * y + 8), 1, column, row};
            ++tile.count;
            if (table->used == kQrRefitPoolPoints) return tile.count;
        }
    }
    return tile.count;
}

int QR_RefitGrid(const QR_FINDER_PATTERN patterns[3], i32 type, i32 dimension, u8 *greyMatrix, i32 tiles) {
    (void)tiles;
    if (dimension < kQrMinDimension || dimension > kQrRefitMaxDimension || patterns == nullptr || greyMatrix == nullptr) return 0;
    Work w{};
    w.n = dimension;
    w.m = dimension - 6;
    if (!TakeBlocks(&w)) {
        Release(&w);
        return 0;
    }
    for (i32 k = 0; k < w.m * w.m; ++k) w.cells[k] = QR_REFIT_CELL{};
    Seed seeds[3];
    const i32 seedCount = Seeds(type, w.n, seeds);
    i32 listed = 0;
    for (i32 k = 0; k < seedCount; ++k) {
        if (!SeedWindow(&w, patterns[seeds[k].pattern], seeds[k])) {
            Release(&w);
            return 0;
        }
        w.lists[0][2 * listed] = static_cast<i16>(seeds[k].windowCol);
        w.lists[0][2 * listed + 1] = static_cast<i16>(seeds[k].windowRow);
        ++listed;
    }
    for (i32 k = 0; k < (w.n + 1) * (w.n + 1); ++k) w.grid[k] = {nullptr, nullptr, kNoDistance, kNoDistance};
    if (QR_BuildTileMaxima(&w.table) != 1 || !RunWaves(&w, listed)) {
        Release(&w);
        return 0;
    }
    SampleModules(&w, greyMatrix);
    Release(&w);
    return 1;
}

}  // namespace vexo
