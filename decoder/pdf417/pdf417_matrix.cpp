#include "pdf417/pdf417_matrix.h"

#include <cstdlib>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/pdf417_arena.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }

void LinkNodes(POINT_NODE *nodes, i32 n) {
    std::memset(nodes, 0, sizeof(POINT_NODE) * static_cast<size_t>(n));
    for (i32 i = 0; i + 1 < n; ++i) nodes[i].next = &nodes[i + 1];
}

GEO_POINT At(const POINT_NODE *list, i32 i) { return GEO_POINT{list[i].x, list[i].y}; }

// The row's point on the boundary towards the next column, and its other point.
GEO_POINT Leading(const PDF_CANDIDATE *c, const PDF_ROW_ENTRY &e) { return c->startFlag != 0 ? e.firstTo : e.firstFrom; }
GEO_POINT Trailing(const PDF_CANDIDATE *c, const PDF_ROW_ENTRY &e) {
    return c->startFlag != 0 ? e.firstFrom : e.firstTo;
}

i32 TestCoordinate(const PDF_CANDIDATE *c, GEO_POINT p) { return c->orientation == 1 ? p.x : p.y; }
i32 TestLimit(const PDF_CANDIDATE *c) { return c->orientation == 1 ? g_image.width : g_image.height; }

bool Inside(const PDF_CANDIDATE *c, const PDF_ROW_ENTRY &e) {
    const i32 v = TestCoordinate(c, e.firstTo);
    return v > 0 && v < TestLimit(c);
}

// The row's segment moved one column on: its boundary point becomes the old one and the
// crossing with the new column line the new one.
void MoveAcross(const PDF_CANDIDATE *c, PDF_ROW_ENTRY *e) {
    GEO_POINT x = e->firstFrom;
    Geo_IntersectWithSlopeLine(&e->firstFrom, &e->firstTo, &c->innerLine, &x);
    if (c->startFlag != 0) {
        e->firstFrom = e->firstTo;
        e->firstTo = x;
    } else {
        e->firstTo = e->firstFrom;
        e->firstFrom = x;
    }
}

i32 FindFrom(const POINT_NODE *list, i32 from, i32 count, GEO_POINT p, i32 byX) {
    const i32 i = PDF_FindPointIndex(list + from, count - from, p, byX);
    return i < 0 ? -1 : i + from;
}

}  // namespace

i32 PDF_FindPointIndex(const POINT_NODE *points, i32 count, GEO_POINT point, i32 byX) {
    if (points == nullptr || count <= 0) return -1;
    const i32 want = byX != 0 ? point.x : point.y;
    for (i32 i = 0; i < count; ++i) {
        if ((byX != 0 ? points[i].x : points[i].y) == want) return i;
    }
    const i64 first = std::llabs(static_cast<i64>(byX != 0 ? points[0].x : points[0].y) - want);
    const i64 last = std::llabs(static_cast<i64>(byX != 0 ? points[count - 1].x : points[count - 1].y) - want);
    return first < last ? 0 : count - 1;
}

int PDF_LeftToRight(const PDF_CANDIDATE *c) {
    const i32 k = c->kind;
    const i32 rd = c->rowsDescending != 0 ? 1 : 0;
    if (c->rapMode != 0) {
        if (k == 1 || k == 3 || k == 5) return c->orientation == 1 ? 1 : 0;
        if (k == 4 || k == 6) return c->orientation == 0 ? 1 : 0;
        return 0;
    }
    if (k == 1 || k == 3 || k == -2 || k == -4) return c->orientation == 1 ? 1 - rd : rd;
    if (k == 2 || k == 4 || k == -1 || k == -3) return c->orientation == 1 ? rd : 1 - rd;
    return 1 - rd;
}

int PDF_RowsInsideImage(const PDF_CANDIDATE *c, const PDF_ROW_ENTRY *rows) {
    const i32 limit = TestLimit(c);
    i32 first = 0;
    while (first < c->rows) {
        const i32 v = TestCoordinate(c, Leading(c, rows[first]));
        if (v > 0 && v < limit) break;
        ++first;
    }
    i32 last = -1;
    for (i32 r = 0; r < c->rows; ++r) {
        const i32 v = TestCoordinate(c, Leading(c, rows[r]));
        if (v > 0 && v < limit) last = r;
    }
    if (c->rowPitch > 7.0) return 1;
    const i64 budget = c->rapMode != 0 ? c->level : (i64{1} << (c->level + 1));
    return budget >= static_cast<i64>(c->columns) * (first + c->rows - last - 3) ? 1 : 0;
}

void PDF_MeasureSkew(PDF_CANDIDATE *c, const PDF_ROW_ENTRY *rows) {
    const i32 d = Max32(15, static_cast<i32>(c->rowPitch + 1));
    const GEO_POINT a = Leading(c, rows[0]);
    const PDF_ROW_ENTRY &l = rows[c->rows - 1];
    const GEO_POINT b = c->startFlag != 0 ? l.lastTo : l.lastFrom;
    Geo_ShiftAlong(&b, &a, &a, d, &c->cornerGuard1);
    Geo_ShiftAlong(&a, &b, &b, d, &c->cornerGuard2);
    const i32 dx = std::abs(c->cornerGuard2.x - c->cornerGuard1.x);
    const i32 dy = std::abs(c->cornerGuard2.y - c->cornerGuard1.y);
    const i32 dist = Geo_DistanceInt(c->cornerGuard1.x, c->cornerGuard1.y, c->cornerGuard2.x, c->cornerGuard2.y);
    c->skewRatio = dist > 0 ? static_cast<f64>(Max32(dx, dy)) / dist : 1.0;
}

void PDF_FitColumnBoundaries(PDF_CANDIDATE *c, const PDF_ROW_ENTRY *rows, const SLOPE_LINE *line) {
    const PDF_ROW_ENTRY &f = rows[0];
    const PDF_ROW_ENTRY &l = rows[c->rows - 1];
    Geo_SlopeLineFromPoints(f.firstFrom, f.firstTo, &c->rowLine1);
    Geo_SlopeLineFromPoints(l.firstFrom, l.firstTo, &c->rowLine2);
    GEO_POINT g1{};
    GEO_POINT g2{};
    PDF_ProjectOntoLine(f.firstTo, &c->rowLine1, line, &g1);
    PDF_ProjectOntoLine(l.firstTo, &c->rowLine2, line, &g2);
    const i32 d = c->rowPitch + 1 < 15 ? 20 : static_cast<i32>(c->rowPitch + 6);
    Geo_ShiftAlong(&g2, &g1, &g1, d, &c->cornerGuard1);
    Geo_ShiftAlong(&g1, &g2, &g2, d, &c->cornerGuard2);
}

int PDF_NextColumnLine(PDF_CANDIDATE *c, const PDF_ROW_ENTRY *rows) {
    const int direction = PDF_LeftToRight(c);
    const i32 m = Min32(c->end1.contrast, c->end2.contrast);
    const i32 t = m >= 40 ? 26 : 2 * m < 23 ? 7 : 2 * m / 3;
    const PDF_ROW_ENTRY &f = rows[0];
    const PDF_ROW_ENTRY &l = rows[c->rows - 1];
    const GEO_POINT lf = Leading(c, f);
    const GEO_POINT ll = Leading(c, l);
    const i32 e = Geo_DistanceToSlopeLine(lf, c->guardLine.slope, c->guardLine.intercept);
    const i32 g = Geo_DistanceToSlopeLine(ll, c->guardLine.slope, c->guardLine.intercept);
    const GEO_POINT tf = Trailing(c, f);
    const GEO_POINT tl = Trailing(c, l);
    const GEO_POINT p1{static_cast<i32>(2 * static_cast<i64>(lf.x) - tf.x), static_cast<i32>(2 * static_cast<i64>(lf.y) - tf.y)};
    const GEO_POINT p2{static_cast<i32>(2 * static_cast<i64>(ll.x) - tl.x), static_cast<i32>(2 * static_cast<i64>(ll.y) - tl.y)};
    const i32 pitch = static_cast<i32>(c->rowPitch);
    Geo_ShiftAlong(&p2, &p1, &p1, pitch, &c->cornerInner1);
    Geo_ShiftAlong(&p1, &p2, &p2, pitch, &c->cornerInner2);
    c->guardLine = c->innerLine;
    Geo_ClipSegment(&c->cornerInner1, &c->cornerInner2, g_image.width, g_image.height);
    if (c->cornerInner1.x == c->cornerInner2.x && c->cornerInner1.y == c->cornerInner2.y) return 0;
    const f64 expected = (static_cast<f64>(e) + g) * (c->rapMode == 0 ? 0.625 : 0.375);
    const GEO_POINT p = direction != 0 ? c->cornerInner2 : c->cornerInner1;
    const GEO_POINT q = direction != 0 ? c->cornerInner1 : c->cornerInner2;
    PDF_FitGuardLineNoScore(p, q, static_cast<i32>(expected), Min32(t, 20), &c->innerLine);
    PDF_FitColumnBoundaries(c, rows, &c->innerLine);
    return 1;
}

i32 PDF_VoteCell(const POINT_NODE *a, const POINT_NODE *b, PDF_VOTE *votes, i32, i32 cluster, i32 radius) {
    i32 held = 0;
    i32 n = 0;
    for (i32 guard = 0; n >= -radius && n <= radius && guard <= 4 * radius + 4; ++guard) {
        i32 value = kPdfNoCodeword;
        const int ok = PDF_ReadCodewordOnSegment(At(a, n), At(b, n), &value);
        const bool good = ok == 1 && static_cast<i32>(static_cast<u32>(value) >> 28) == cluster;
        if (good) {
            i32 k = 0;
            while (k < held && votes[k].value != value) ++k;
            if (k < held) {
                if (votes[k].votes == 2) {
                    votes[0] = PDF_VOTE{value, (votes[k].offsetSum + n) / 3, 3};
                    return 0;
                }
                ++votes[k].votes;
                votes[k].offsetSum += n;
            } else {
                if (held == kPdfCellVotes) break;
                votes[held++] = PDF_VOTE{value, n, 1};
            }
            n = n >= 0 ? n + 1 : n - 1;
        } else {
            n = n > 0 ? -n : n < 0 ? -n + 1 : 1;
        }
    }
    for (i32 k = 0; k < held; ++k) {
        if (votes[k].votes == 2) {
            votes[0] = PDF_VOTE{votes[k].value, votes[k].offsetSum / 2, 2};
            return 0;
        }
    }
    return held > 0 ? held : -1;
}

i32 PDF_ReadCell(const POINT_NODE *pointsA, i32 *indexA, const POINT_NODE *pointsB, i32 *indexB, i32 count,
                 const PDF_CANDIDATE *c, PDF_ROW_ENTRY *entry) {
    const i32 ia = *indexA;
    const i32 start = *indexB;
    if (count <= 0 || ia < 0 || ia >= count || start < 0 || start >= count) return -1;
    const i32 r = static_cast<i32>(c->skewRatio * c->rowPitch + 1.0);
    const i32 step = r < 8 ? 1 : r >> 2;
    // Every read stays inside both lists, whatever the radius asked for.
    auto radius = [&](i32 ib) { return Max32(0, Min32(Min32(r, Min32(ia, count - 1 - ia)), Min32(ib, count - 1 - ib))); };
    PDF_VOTE votes[kPdfCellVotes] = {};
    i32 ib = start;
    for (i32 attempt = 1; attempt <= 3; ++attempt) {
        const i32 R = radius(ib);
        const i32 res = PDF_VoteCell(pointsA + ia, pointsB + ib, votes, 0, entry->cluster, R);
        if (res == 0 || (attempt == 1 && res > 0)) {
            const i32 offset = votes[0].offsetSum;
            const i32 count1 = res == 0 ? votes[0].votes : 1;
            *indexA = ia + offset;
            *indexB = ib + offset;
            entry->value = votes[0].value;
            entry->firstFrom = At(pointsA, *indexA);
            entry->firstTo = At(pointsB, *indexB);
            return count1;
        }
        ib = attempt == 1 ? Min32(start + step, count - 1) : Max32(start - step, 0);
    }
    *indexB = start;
    return -1;
}

int PDF_ReadColumn(PDF_CANDIDATE *c, PDF_ROW_ENTRY *rows, i32 *codewords, i32 column, POINT_NODE *points,
                   i32 *pointCount) {
    PDF_ALIGNED_BLOCK<POINT_NODE> freshBlock;
    POINT_NODE *fresh = freshBlock.Take(kPdfBoundaryPoints);
    if (fresh == nullptr) return 0;
    int ok = 0;
    i32 first = -1;
    i32 last = -1;
    for (i32 r = 0; r < c->rows; ++r) {
        if (!Inside(c, rows[r])) continue;
        if (first < 0) first = r;
        last = r;
    }
    if (first >= 0) {
        MoveAcross(c, &rows[first]);
        LinkNodes(fresh, kPdfBoundaryPoints);
        const i32 freshCount = Geo_RasteriseLine(&c->cornerGuard1, &c->cornerGuard2, fresh, kPdfBoundaryPoints);
        const i32 count = Min32(*pointCount, freshCount);
        const POINT_NODE *A = c->startFlag != 0 ? points : fresh;
        const POINT_NODE *B = c->startFlag != 0 ? fresh : points;
        const i32 byX = c->orientation == 1 ? 1 : 0;
        i32 ia = FindFrom(A, 0, count, rows[first].firstFrom, byX);
        i32 ib = FindFrom(B, 0, count, rows[first].firstTo, byX);
        ok = ia >= 0 && ib >= 0 ? 1 : 0;
        for (i32 r = first; ok != 0 && r <= last; ++r) {
            const i32 cell = (c->startFlag != 0 ? column : c->columns - 1 - column) + r * c->columns;
            const i32 v = PDF_ReadCell(A, &ia, B, &ib, count, c, &rows[r]);
            if (v >= 1) {
                codewords[cell] = rows[r].value & 0x0FFFFFFF;
                if (c->confidence != nullptr) c->confidence[cell] = static_cast<u8>(v);
                rows[r].reads = v + 1;
                --c->erasures;
            } else {
                rows[r].reads = -1;
            }
            if (r == last) break;
            MoveAcross(c, &rows[r + 1]);
            ia = FindFrom(A, Max32(ia - 5, 0), count, rows[r + 1].firstFrom, byX);
            ib = FindFrom(B, Max32(ib - 5, 0), count, rows[r + 1].firstTo, byX);
            if (ia < 0 || ib < 0) ok = 0;
        }
        if (ok != 0) {
            const GEO_POINT g1 = c->cornerGuard1;
            const GEO_POINT g2 = c->cornerGuard2;
            for (i32 k = 1; first - k >= 0; ++k) {
                PDF_ROW_ENTRY &e = rows[first - k];
                const i32 d = -static_cast<i32>(k * c->rowPitch + 0.5);
                Geo_ShiftAlong(&g1, &g2, &rows[first].firstFrom, d, &e.firstFrom);
                Geo_ShiftAlong(&g1, &g2, &rows[first].firstTo, d, &e.firstTo);
                e.lastFrom = e.firstFrom;
                e.lastTo = e.firstTo;
                e.reads = -k;
                e.row = first - k + 1;
            }
            for (i32 k = 1; last + k < c->rows; ++k) {
                PDF_ROW_ENTRY &e = rows[last + k];
                const i32 d = static_cast<i32>(k * c->rowPitch + 0.5);
                Geo_ShiftAlong(&g1, &g2, &rows[last].firstFrom, d, &e.firstFrom);
                Geo_ShiftAlong(&g1, &g2, &rows[last].firstTo, d, &e.firstTo);
                e.lastFrom = e.firstFrom;
                e.lastTo = e.firstTo;
                e.reads = -k;
                e.row = last + k + 1;
            }
            for (i32 i = 0; i < freshCount; ++i) {
                points[i].x = fresh[i].x;
                points[i].y = fresh[i].y;
            }
            *pointCount = freshCount;
        }
    }
    freshBlock.Release();
    return ok;
}

i32 PDF_ReadMatrix(PDF_CANDIDATE *c, PDF_ROW_ENTRY *rows, i32 *codewords) {
    if (c == nullptr || rows == nullptr || codewords == nullptr || c->rows < 1 || c->rows > kPdfMaxRows ||
        c->columns < 1 || c->columns > 30 || c->rows * c->columns > 929) {
        return -1;
    }
    PDF_ALIGNED_BLOCK<POINT_NODE> block;
    POINT_NODE *points = block.Take(kPdfBoundaryPoints);
    if (points == nullptr) return -1;
    if (PDF_RowsInsideImage(c, rows) == 0) {
        block.Release();
        return -1;
    }
    for (i32 i = 0; i < c->rows * c->columns; ++i) codewords[i] = kPdfNoCodeword;
    PDF_MeasureSkew(c, rows);
    LinkNodes(points, kPdfBoundaryPoints);
    i32 count = Geo_RasteriseLine(&c->cornerGuard1, &c->cornerGuard2, points, kPdfBoundaryPoints);
    i32 read = 0;
    for (i32 column = 0; column < c->columns; ++column) {
        if (PDF_NextColumnLine(c, rows) == 0) break;
        if (PDF_ReadColumn(c, rows, codewords, column, points, &count) == 0) {
            read = -1;
            break;
        }
        ++read;
    }
    block.Release();
    return read;
}

}  // namespace vexo
