// The reference grid: row and column module lines that meet end to start are paired into
// lattice nodes; an affine model whose basis is the mean line segment gives every node
// integer grid coordinates; the corner finders placed in the same coordinates fix the grid
// size, which narrows the version range; the nodes then fill the reference cells and the
// side tables, and the border is refined along the symbol's sides.
#include "hanxin/cscn_grid.h"

#include <math.h>

#include "hanxin/cscn_tables.h"
#include "toolkit/geometry.h"

namespace vexo {

namespace {

constexpr i32 kMissing = -65535;

i32 Abs(i32 x) { return x < 0 ? -x : x; }

// Row segment from the node's point of view: the vector one lattice step along u.
POINT_I32 RowStep(const CSCN_GRID_NODE &n) {
    if (n.orientation == 1) return POINT_I32{n.row->x1 - n.point.x, n.row->y1 - n.point.y};
    return POINT_I32{n.point.x - n.row->x0, n.point.y - n.row->y0};
}

POINT_I32 ColumnStep(const CSCN_GRID_NODE &n) {
    if (n.orientation == 1) return POINT_I32{n.point.x - n.column->x0, n.point.y - n.column->y0};
    return POINT_I32{n.column->x1 - n.point.x, n.column->y1 - n.point.y};
}

// One pairing pass: each `ends` segment's end met by the start of a `starts` segment.
void PairPass(CSCN_PAIRING *p, const CSCN_EDGE_SEGMENT *ends, i32 endCount, u8 *endPaired,
              const CSCN_EDGE_SEGMENT *starts, i32 startCount, u8 *startPaired, i32 orientation) {
    u8 taken[kCscnPairLimit] = {};
    i32 made = 0;
    for (i32 i = 0; i < endCount && made < kCscnPassNodes; ++i) {
        const CSCN_EDGE_SEGMENT &a = ends[i];
        const i32 dx = Abs(a.x1 - a.x0), dy = Abs(a.y1 - a.y0);
        i32 e = (dx > dy ? dx : dy) / 8;
        if (e < 3) e = 3;
        for (i32 j = 0; j < startCount; ++j) {
            const CSCN_EDGE_SEGMENT &b = starts[j];
            if (taken[j] != 0 || Abs(b.x0 - a.x1) > e || Abs(b.y0 - a.y1) > e) continue;
            GEO_POINT x;
            if (Geo_IntersectLineFits(&a.line, &b.line, &x) == 0) break;
            CSCN_GRID_NODE &n = p->nodes[p->count++];
            n = CSCN_GRID_NODE{};
            n.row = orientation == 1 ? &b : &a;
            n.column = orientation == 1 ? &a : &b;
            n.point = x;
            n.orientation = orientation;
            taken[j] = 1;
            endPaired[i] = 1;
            startPaired[j] = 1;
            ++made;
            break;
        }
    }
}

}  // namespace

i32 CSCN_PairSegments(CSCN_PAIRING *p) {
    p->count = 0;
    p->firstPassCount = 0;
    for (i32 i = 0; i < kCscnPairLimit; ++i) p->rowPaired[i] = p->columnPaired[i] = 0;
    if (p->rowCount > kCscnPairLimit || p->columnCount > kCscnPairLimit || p->rowCount < 0 || p->columnCount < 0)
        return 0;
    PairPass(p, p->columns, p->columnCount, p->columnPaired, p->rows, p->rowCount, p->rowPaired, 1);
    p->firstPassCount = p->count;
    PairPass(p, p->rows, p->rowCount, p->rowPaired, p->columns, p->columnCount, p->columnPaired, 0);
    return p->count;
}

void CSCN_AccumulateOrigin(CSCN_AFFINE_GRID *m, i32 reset) {
    if (reset != 0) {
        m->sumX = m->sumY = 0;
        m->count = 0;
    }
    // In 64 bits, kept to 32 as the sums are: far nodes must not overflow on the way.
    const i64 x = static_cast<i64>(m->point.x) - static_cast<i64>(m->u) * m->basisU.x - static_cast<i64>(m->v) * m->basisV.x;
    const i64 y = static_cast<i64>(m->point.y) - static_cast<i64>(m->u) * m->basisU.y - static_cast<i64>(m->v) * m->basisV.y;
    m->sumX = static_cast<i32>(static_cast<u32>(static_cast<i64>(m->sumX) + x));
    m->sumY = static_cast<i32>(static_cast<u32>(static_cast<i64>(m->sumY) + y));
    m->count = m->count == 2147483647 ? 1 : m->count + 1;
    m->origin = POINT_I32{m->sumX / m->count, m->sumY / m->count};
}

i32 CSCN_SolveGridCoordinates(CSCN_AFFINE_GRID *m) {
    const i64 det = static_cast<i64>(m->basisV.y) * m->basisU.x - static_cast<i64>(m->basisV.x) * m->basisU.y;
    if (det == 0) return 0;
    const f32 dx = static_cast<f32>(static_cast<i64>(m->point.x) - m->origin.x);
    const f32 dy = static_cast<f32>(static_cast<i64>(m->point.y) - m->origin.y);
    const f32 d = static_cast<f32>(det);
    const f32 u = (dx * static_cast<f32>(m->basisV.y) - dy * static_cast<f32>(m->basisV.x)) / d;
    const f32 v = (dy * static_cast<f32>(m->basisU.x) - dx * static_cast<f32>(m->basisU.y)) / d;
    const f32 ru = roundf(u), rv = roundf(v);
    if (!(ru >= -2147483648.0f && ru < 2147483648.0f) || !(rv >= -2147483648.0f && rv < 2147483648.0f)) return 0;
    m->u = static_cast<i32>(ru);
    m->v = static_cast<i32>(rv);
    return 1;
}

i32 CSCN_AssignGrid(CSCN_ASSIGNMENT *a, i32 estimateBasis, i32 updateOrigin) {
    CSCN_AFFINE_GRID *m = a->model;
    if (estimateBasis != 0) {
        // A mean over no node leaves the basis as it was.
        i64 ux = 0, uy = 0, vx = 0, vy = 0;
        i32 nu = 0, nv = 0;
        for (i32 i = 0; i < a->count; ++i) {
            const CSCN_GRID_NODE &n = a->nodes[i];
            if (n.row != nullptr && n.column != nullptr) {
                const POINT_I32 r = RowStep(n), c = ColumnStep(n);
                ux += r.x;
                uy += r.y;
                vx += c.x;
                vy += c.y;
                ++nu;
                ++nv;
            }
        }
        if (nu > 0) {
            POINT_I32 bu{static_cast<i32>(ux / nu), static_cast<i32>(uy / nu)};
            POINT_I32 bv{static_cast<i32>(vx / nv), static_cast<i32>(vy / nv)};
            if (m->valid != 0) {
                bu = POINT_I32{(m->basisU.x + bu.x) / 2, (m->basisU.y + bu.y) / 2};
                bv = POINT_I32{(m->basisV.x + bv.x) / 2, (m->basisV.y + bv.y) / 2};
            }
            m->basisU = bu;
            m->basisV = bv;
            m->valid = 1;
        }
    }
    if (m->valid == 0 ||
        static_cast<i64>(m->basisV.y) * m->basisU.x == static_cast<i64>(m->basisV.x) * m->basisU.y)
        return 0;
    i32 examined = 0;
    for (i32 i = 0; i < a->count; ++i) {
        CSCN_GRID_NODE &n = a->nodes[i];
        ++examined;
        m->point = n.point;
        if (m->count == 0) {
            m->u = n.orientation == 1 ? 1 : 2;
            m->v = 1;
            CSCN_AccumulateOrigin(m, 1);
        }
        if (CSCN_SolveGridCoordinates(m) == 0) continue;
        if (n.orientation == ((m->u + m->v) & 1)) continue;
        n.u = m->u;
        n.v = m->v;
        n.assigned = 1;
        if (n.u < a->minU) a->minU = n.u;
        if (n.u > a->maxU) a->maxU = n.u;
        if (n.v < a->minV) a->minV = n.v;
        if (n.v > a->maxV) a->maxV = n.v;
        if (updateOrigin != 0) CSCN_AccumulateOrigin(m, 0);
    }
    return examined;
}

void CSCN_SeedCornerCells(CSCN_SYMBOL *symbol, i32 c) {
    if (c < 1 || c >= kCscnGridSide) return;
    const CSCN_FINDER *f = symbol->corners;
    struct Seed {
        i32 slot, u, v;
    };
    const Seed seeds[4] = {{0, 0, 0}, {1, c, 0}, {2, c, c}, {3, 0, c}};
    for (const Seed &s : seeds) {
        if (f[s.slot].valid == 0) continue;
        POINT_I32 p = f[s.slot].latticeCorner;
        if (s.slot == 3) {
            GEO_POINT x;
            if (Geo_IntersectLineFits(&f[3].lines[2], &f[3].lines[5], &x) == 0) continue;
            p = POINT_I32{3 * x.x - 2 * p.x, 3 * x.y - 2 * p.y};
        }
        CSCN_REFERENCE_CELL &cell = symbol->referenceCells[s.v * (c + 1) + s.u];
        cell.imageX = p.x;
        cell.imageY = p.y;
        cell.column = s.u;
        cell.row = s.v;
        cell.imageFound = 1;
        cell.present = 1;
    }
}

namespace {

// Enters a node's lines into the side tables at the places they span; a span that leaves
// the 12 x 12 tables enters nothing.
void EnterSides(CSCN_SYMBOL *s, const CSCN_GRID_NODE &n) {
    if (n.row != nullptr) {
        const i32 u = n.orientation == 1 ? n.u : n.u - 1;
        if (u >= 0 && u + 1 < kCscnGridSide && n.v >= 0 && n.v < kCscnGridSide && s->rowSides[u][n.v].valid == 0)
            s->rowSides[u][n.v] = *n.row;
    }
    if (n.column != nullptr) {
        const i32 v = n.orientation == 1 ? n.v - 1 : n.v;
        if (v >= 0 && v + 1 < kCscnGridSide && n.u >= 0 && n.u < kCscnGridSide && s->columnSides[v][n.u].valid == 0)
            s->columnSides[v][n.u] = *n.column;
    }
}

POINT_I32 MeanVector(const CSCN_EDGE_SEGMENT *segs, const i32 *which, i32 n) {
    i64 x = 0, y = 0;
    for (i32 i = 0; i < n; ++i) {
        x += segs[which[i]].x1 - segs[which[i]].x0;
        y += segs[which[i]].y1 - segs[which[i]].y0;
    }
    return POINT_I32{static_cast<i32>(x / n), static_cast<i32>(y / n)};
}

}  // namespace

i32 CSCN_BuildReferenceGrid(const CSCN_OUTLINE *outline, CSCN_SYMBOL *symbol) {
    CSCN_EDGE_SEGMENT rows[kCscnOutlineSegments], columns[kCscnOutlineSegments];
    const i32 rowCount = outline->rowCount < kCscnOutlineSegments ? outline->rowCount : kCscnOutlineSegments;
    const i32 columnCount =
        outline->columnCount < kCscnOutlineSegments ? outline->columnCount : kCscnOutlineSegments;
    for (i32 i = 0; i < rowCount; ++i) rows[i] = outline->rowSegments[i];
    for (i32 i = 0; i < columnCount; ++i) columns[i] = outline->columnSegments[i];
    CSCN_PAIRING pairing;
    pairing.rows = rows;
    pairing.rowCount = rowCount;
    pairing.columns = columns;
    pairing.columnCount = columnCount;
    const i32 paired = CSCN_PairSegments(&pairing);
    CSCN_AFFINE_GRID model{};
    CSCN_ASSIGNMENT assign{&model, pairing.nodes, pairing.firstPassCount, 2147483647, -2147483647, 2147483647,
                           -2147483647};
    CSCN_AssignGrid(&assign, 1, 1);
    assign.nodes = pairing.nodes + pairing.firstPassCount;
    assign.count = pairing.count - pairing.firstPassCount;
    CSCN_AssignGrid(&assign, 1, 1);
    // Step 2: the lines without partner become nodes of their own.
    CSCN_GRID_NODE kept[kCscnGridNodes];
    const i32 keptCount = pairing.count;
    for (i32 i = 0; i < keptCount; ++i) kept[i] = pairing.nodes[i];
    i32 freeRow[kCscnOutlineSegments], freeColumn[kCscnOutlineSegments];
    i32 freeRows = 0, freeColumns = 0;
    for (i32 i = 0; i < rowCount; ++i)
        if (pairing.rowPaired[i] == 0) freeRow[freeRows++] = i;
    for (i32 i = 0; i < columnCount; ++i)
        if (pairing.columnPaired[i] == 0) freeColumn[freeColumns++] = i;
    if (paired == 0) {
        // No node: the basis from the free lines; with none at all there is no model.
        if (freeRows == 0 && freeColumns == 0) return 0;
        const POINT_I32 mu = freeRows > 0 ? MeanVector(rows, freeRow, freeRows) : POINT_I32{};
        const POINT_I32 mv = freeColumns > 0 ? MeanVector(columns, freeColumn, freeColumns) : POINT_I32{};
        model.basisU = freeRows > 0 ? mu : POINT_I32{mv.y, -mv.x};
        model.basisV = freeColumns > 0 ? mv : POINT_I32{-mu.y, mu.x};
        model.valid = 1;
        const CSCN_EDGE_SEGMENT &first = freeRows > 0 ? rows[freeRow[0]] : columns[freeColumn[0]];
        model.origin = POINT_I32{first.x0, first.y0};
        model.sumX = first.x0;
        model.sumY = first.y0;
        model.count = 1;
    }
    i32 nodeCount = keptCount;
    const i32 extraStart = nodeCount;
    // A line's start: a row starts where a column ends (orientation 1), a column starts where
    // a row ends (0); its end the other way round.
    for (i32 i = 0; i < freeRows && nodeCount + 2 <= kCscnGridNodes; ++i) {
        const CSCN_EDGE_SEGMENT *r = &rows[freeRow[i]];
        kept[nodeCount++] = CSCN_GRID_NODE{r, nullptr, {r->x0, r->y0}, 0, 0, 1, 0};
        kept[nodeCount++] = CSCN_GRID_NODE{r, nullptr, {r->x1, r->y1}, 0, 0, 0, 0};
    }
    for (i32 i = 0; i < freeColumns && nodeCount + 2 <= kCscnGridNodes; ++i) {
        const CSCN_EDGE_SEGMENT *l = &columns[freeColumn[i]];
        kept[nodeCount++] = CSCN_GRID_NODE{nullptr, l, {l->x0, l->y0}, 0, 0, 0, 0};
        kept[nodeCount++] = CSCN_GRID_NODE{nullptr, l, {l->x1, l->y1}, 0, 0, 1, 0};
    }
    assign.nodes = kept + extraStart;
    assign.count = nodeCount - extraStart;
    if (assign.count > 0) CSCN_AssignGrid(&assign, 0, 0);
    if (model.valid == 0) return 0;
    // Step 3: the corner finders in grid coordinates.
    i32 fu[4], fv[4];
    for (i32 k = 0; k < 4; ++k) {
        fu[k] = fv[k] = kMissing;
        if (symbol->corners[k].valid == 0) continue;
        model.point = symbol->corners[k].latticeCorner;
        if (CSCN_SolveGridCoordinates(&model) == 0) continue;
        fu[k] = model.u < -10 ? kMissing : model.u;
        fv[k] = model.v < -10 ? kMissing : model.v;
    }
    // Step 4: the grid size from the finders along the sides, else across the diagonals.
    static constexpr i32 kSidePairs[4][2] = {{0, 1}, {1, 2}, {2, 3}, {0, 3}};
    i32 c = 0, originU = 2147483647, originV = 2147483647;
    for (const auto &pr : kSidePairs) {
        const i32 a = pr[0], b = pr[1];
        if (fu[a] == kMissing || fv[a] == kMissing || fu[b] == kMissing || fv[b] == kMissing) continue;
        i32 candidate = 0;
        if (fv[a] == fv[b]) candidate = Abs(fu[a] - fu[b]);
        else if (Abs(fu[a] - fu[b]) < 2) candidate = Abs(fv[a] - fv[b]);
        else continue;
        if (candidate < 1 || candidate > 11) continue;
        if (candidate > c) c = candidate;
        originU = fu[a] < originU ? fu[a] : originU;
        originU = fu[b] < originU ? fu[b] : originU;
        originV = fv[a] < originV ? fv[a] : originV;
        originV = fv[b] < originV ? fv[b] : originV;
    }
    if (c == 0 || originU == 2147483647) {
        c = 0;
        struct Diagonal {
            i32 a, b, originUSlot, originVSlot;
        };
        static constexpr Diagonal kDiagonals[2] = {{0, 2, 0, 0}, {1, 3, 3, 1}};
        for (const Diagonal &d : kDiagonals) {
            if (fu[d.a] == kMissing || fv[d.a] == kMissing || fu[d.b] == kMissing || fv[d.b] == kMissing) continue;
            const i32 du = Abs(fu[d.a] - fu[d.b]), dv = Abs(fv[d.a] - fv[d.b]);
            bool used = false;
            if (du <= 11 && du > c) c = du, used = true;
            if (dv <= 11 && dv > c) c = dv, used = true;
            if (used || originU == 2147483647) {
                originU = fu[d.originUSlot];
                originV = fv[d.originVSlot];
            }
        }
    }
    if (c <= 0 || originU == 2147483647) return 0;
    // Step 5: the grid and the versions of its class.
    symbol->gridFound = 1;
    symbol->minClass = symbol->maxClass = c;
    i32 lo = 0, hi = 0;
    CSCN_VersionGroupRange(c, &lo, &hi);
    if (CSCN_VersionGroup(symbol->minVersion) != c || symbol->minVersion < lo) symbol->minVersion = lo;
    if (CSCN_VersionGroup(symbol->maxVersion) != c || symbol->maxVersion > hi) symbol->maxVersion = hi;
    symbol->minSize = CSCN_SizeOfVersion(symbol->minVersion);
    symbol->maxSize = CSCN_SizeOfVersion(symbol->maxVersion);
    for (i32 i = 0; i < nodeCount; ++i) {
        kept[i].u -= originU;
        kept[i].v -= originV;
    }
    model.origin.x += originU * model.basisU.x + originV * model.basisV.x;
    model.origin.y += originU * model.basisU.y + originV * model.basisV.y;
    // Step 6: cells and side tables; only nodes inside the grid fill cells.
    for (CSCN_REFERENCE_CELL &cell : symbol->referenceCells) cell = CSCN_REFERENCE_CELL{};
    for (auto &line : symbol->columnSides)
        for (CSCN_EDGE_SEGMENT &s : line) s = CSCN_EDGE_SEGMENT{};
    for (auto &line : symbol->rowSides)
        for (CSCN_EDGE_SEGMENT &s : line) s = CSCN_EDGE_SEGMENT{};
    for (i32 v = 0; v <= c; ++v)
        for (i32 u = 0; u <= c; ++u) {
            CSCN_REFERENCE_CELL &cell = symbol->referenceCells[v * (c + 1) + u];
            cell.column = u;
            cell.row = v;
            cell.present = 1;
        }
    for (i32 i = 0; i < nodeCount; ++i) {
        const CSCN_GRID_NODE &n = kept[i];
        if (n.assigned == 0) continue;
        if (n.u >= 0 && n.u <= c && n.v >= 0 && n.v <= c && n.row != nullptr && n.column != nullptr) {
            CSCN_REFERENCE_CELL &cell = symbol->referenceCells[n.v * (c + 1) + n.u];
            if (cell.imageFound == 0) {
                cell.imageX = n.point.x;
                cell.imageY = n.point.y;
                cell.imageFound = 1;
            }
        }
        if (n.u >= 0 && n.u < kCscnGridSide && n.v >= 0 && n.v < kCscnGridSide) EnterSides(symbol, n);
    }
    CSCN_SeedCornerCells(symbol, c);
    // Step 7: the origin from the corner cells, then the border.
    const i32 cornerCells[4] = {0, c, c * (c + 1), (c + 1) * (c + 1) - 1};
    i32 first = 1;
    for (const i32 k : cornerCells) {
        const CSCN_REFERENCE_CELL &cell = symbol->referenceCells[k];
        if (cell.present == 0 || cell.imageFound == 0) continue;
        model.point = POINT_I32{cell.imageX, cell.imageY};
        model.u = cell.column;
        model.v = cell.row;
        CSCN_AccumulateOrigin(&model, first);
        first = 0;
    }
    CSCN_GRID_CONTEXT context{};
    for (i32 k = 0; k < 4; ++k) {
        context.corners[k] = outline->corners[k];
        context.moduleSizes[k] = outline->moduleSizes[k];
    }
    context.symbol = symbol;
    context.model = &model;
    if (CSCN_RefineBorder(&context, 0) != 1) return 0;
    CSCN_RefineCells(symbol);
    // Step 8: too few cells found reduce the grid to class 1.
    if (c <= 1) return 1;
    i32 found = 0;
    for (i32 i = 0; i < (c + 1) * (c + 1); ++i) found += symbol->referenceCells[i].imageFound != 0 ? 1 : 0;
    if (found > 3) return 1;
    symbol->minClass = symbol->maxClass = 1;
    symbol->gridFound = 1;
    return 0;
}

i32 CSCN_FindReferenceGrid(CSCN_SYMBOL *symbol) {
    CSCN_OUTLINE outline;
    if (CSCN_BuildOutline(symbol, &outline) == 0) return 0;
    CSCN_SweepBothWays(&outline);
    return CSCN_BuildReferenceGrid(&outline, symbol);
}

i32 CSCN_EnsureGrid(CSCN_SYMBOL *symbol, i32 found) {
    if (found != 0) return 1;
    if (CSCN_BuildCornerGrid(symbol) == 0) return 0;
    for (i32 k = 0; k < 4; ++k) {
        CSCN_REFERENCE_CELL &cell = symbol->referenceCells[k];
        cell.column = k & 1;
        cell.row = k >> 1;
        cell.imageFound = 1;
        cell.present = 1;
    }
    return 1;
}

}  // namespace vexo
