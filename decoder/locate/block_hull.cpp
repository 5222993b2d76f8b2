#include "locate/block_blobs.h"
#include "locate/texture_finder.h"

namespace vexo {

namespace {

i64 Abs64(i64 v) { return v < 0 ? -v : v; }

// Outline walks visit a cell at most once from each side.
i64 OutlineBudget(i32 n, i32 m) { return 8 * static_cast<i64>(n) * m + 16; }

bool GridSet(const u8 *map, i32 n, i32 m, i32 x, i32 y) {
    if (x < 0 || y < 0 || x >= n || y >= m) return false;
    return map[static_cast<i64>(y) * n + x] != 0;
}

bool BlockSet(const u8 *map, i32 x, i32 y) { return GridSet(map, g_blockGrid.across, g_blockGrid.down, x, y); }

i32 Dist2(GEO_POINT s, GEO_POINT v) { return (v.x - s.x) * (v.x - s.x) + (v.y - s.y) * (v.y - s.y); }

// Places v in the list held in angular order around point 0; false when the list is full.
bool InsertAngular(GEO_POINT *list, i32 *count, GEO_POINT v) {
    const GEO_POINT s = list[0];
    i32 j = *count - 1;
    while (j > 0) {
        const GEO_POINT w = list[j];
        const i32 c = static_cast<i16>(w.y - s.y) * static_cast<i16>(v.x - s.x) -
                      static_cast<i16>(w.x - s.x) * static_cast<i16>(v.y - s.y);
        if (c > 0) {
            --j;
            continue;
        }
        if (c == 0) {
            if (Dist2(s, v) > Dist2(s, w)) list[j] = v;
            return true;
        }
        break;
    }
    if (*count >= kBlockHullMax) return false;
    for (i32 k = *count; k > j + 1; --k) list[k] = list[k - 1];
    list[j + 1] = v;
    ++*count;
    return true;
}

// Keeps the convex hull of the angularly ordered list; its new length.
i32 ReduceToHull(GEO_POINT *list, i32 count) {
    if (count < 3) return count;
    i32 kept = 2;
    for (i32 i = 2; i < count; ++i) {
        const GEO_POINT p = list[i];
        while (kept >= 2) {
            const GEO_POINT a = list[kept - 2], b = list[kept - 1];
            const i64 cross = static_cast<i64>(a.x - p.x) * (b.y - p.y) - static_cast<i64>(a.y - p.y) * (b.x - p.x);
            if (cross > 0) break;
            --kept;
        }
        list[kept++] = p;
    }
    return kept;
}

// First set neighbour of (x, y) searching directions cyclically from `from`; -1 for none.
template <typename SetFn>
i32 NextSetNeighbour(SetFn set, i32 x, i32 y, i32 from) {
    for (i32 i = 0; i < 8; ++i) {
        const i32 k = (from + i) & 7;
        if (set(x + kBlockStepX[k], y + kBlockStepY[k])) return k;
    }
    return -1;
}

// The hull of the outline through (x, y) of the blocks for which set(x, y) holds; the first
// search starts at direction `from`. Every step of the following counts against the budget;
// a walk that runs out ends as a full list does.
template <typename SetFn>
i32 TraceHull(SetFn set, i32 x, i32 y, i32 from, i64 budget, GEO_POINT *hull) {
    auto next = [&](i32 bx, i32 by, i32 start) { return NextSetNeighbour(set, bx, by, start); };
    i32 d = next(x, y, from);
    if (d < 0) return 0;
    const GEO_POINT s{x, y};
    hull[0] = s;
    i32 count = 1;
    GEO_POINT cur{x + kBlockStepX[d], y + kBlockStepY[d]};
    for (; budget > 0; --budget) {
        const i32 k = next(cur.x, cur.y, d < 2 ? d + 6 : d - 2);
        if (k < 0) break;  // the map changed under the walk
        const bool corner = d <= 3 ? (k > d && k <= d + 4) : (k > d || k < d - 2);
        if (corner && !InsertAngular(hull, &count, cur)) break;
        cur = GEO_POINT{cur.x + kBlockStepX[k], cur.y + kBlockStepY[k]};
        d = k;
        if (cur.x == s.x && cur.y == s.y) {
            if (count < 3) return 2;
            break;
        }
    }
    return ReduceToHull(hull, count);
}

}  // namespace

i32 Loc_NextBlockNeighbour(const u8 *map, i32 x, i32 y, i32 from) {
    return NextSetNeighbour([&](i32 bx, i32 by) { return BlockSet(map, bx, by); }, x, y, from);
}

i32 Loc_TraceBlockHull(const u8 *map, i32 x, i32 y, GEO_POINT hull[kBlockHullMax]) {
    return Loc_TraceGridHull(map, g_blockGrid.across, g_blockGrid.down, x, y, hull);
}

i32 Loc_TraceGridHull(const u8 *map, i32 n, i32 m, i32 x, i32 y, GEO_POINT hull[kBlockHullMax]) {
    if (map == nullptr || hull == nullptr || n <= 0 || m <= 0) return 0;
    return TraceHull([&](i32 bx, i32 by) { return GridSet(map, n, m, bx, by); }, x, y, 0, OutlineBudget(n, m), hull);
}

i32 Loc_OutlineTopCell(const u8 *map, i32 n, i32 m, i32 x, i32 y, GEO_POINT *top) {
    if (map == nullptr || top == nullptr || !GridSet(map, n, m, x, y)) return 0;
    auto set = [&](i32 bx, i32 by) { return GridSet(map, n, m, bx, by); };
    auto next = [&](i32 bx, i32 by, i32 start) { return NextSetNeighbour(set, bx, by, start); };
    GEO_POINT best{x, y};
    const i32 first = next(x, y, 0);
    if (first >= 0) {
        // The walk is done when it leaves the start in its first direction again.
        GEO_POINT cur{x, y};
        i32 d = first;
        for (i64 budget = OutlineBudget(n, m); budget > 0; --budget) {
            cur = GEO_POINT{cur.x + kBlockStepX[d], cur.y + kBlockStepY[d]};
            if (cur.y < best.y || (cur.y == best.y && cur.x < best.x)) best = cur;
            const i32 k = next(cur.x, cur.y, d < 2 ? d + 6 : d - 2);
            if (k < 0 || (cur.x == x && cur.y == y && k == first)) break;
            d = k;
        }
    }
    *top = best;
    return 1;
}

i32 Loc_TraceComponentHull(const u8 *labels, i32 x, i32 y, GEO_POINT hull[kBlockHullMax + 1], i32 n, i32 m) {
    if (labels == nullptr || hull == nullptr || x < 0 || y < 0 || x >= n || y >= m) return 0;
    const u8 label = labels[static_cast<i64>(y) * n + x];
    if (label == 0) return 0;
    auto member = [&](i32 bx, i32 by) {
        return bx >= 0 && by >= 0 && bx < n && by < m && labels[static_cast<i64>(by) * n + bx] == label;
    };
    const i32 count = TraceHull(member, x, y, 6, 8 * static_cast<i64>(n) * m + 16, hull);
    if (count < 2) return 0;
    hull[count] = hull[0];
    return count;
}

void Loc_ClearHullBlocks(u8 *map, const GEO_POINT *hull, i32 count) {
    Loc_VisitHullSpans(hull, count, g_blockGrid.across, g_blockGrid.down, Loc_ClearSpan, map);
}

void Loc_ClearSpan(void *map, i64 rowStart, i32 from, i32 to) {
    u8 *row = static_cast<u8 *>(map) + rowStart;
    for (i32 c = from; c <= to; ++c) row[c] = 0;
}

void Loc_VisitHullSpans(const GEO_POINT *hull, i32 count, i32 n, i32 m, HULL_SPAN_VISITOR visit, void *context) {
    if (context == nullptr || visit == nullptr || hull == nullptr || count < 3 || count > kBlockHullMax) return;
    auto span = [&](i32 row, i32 from, i32 to) {
        if (row < 0 || row >= m) return;
        if (from < 0) from = 0;
        if (to > n - 1) to = n - 1;
        if (from <= to) visit(context, static_cast<i64>(row) * n, from, to);
    };
    // Chain A runs 0, 1, 2, ...; chain B runs count (point 0), count - 1, ...
    auto at = [&](i32 i) { return hull[i % count]; };
    i32 ia = 0, ib = count;
    i32 row = hull[0].y;
    i32 xA = hull[0].x, xB = hull[0].x;
    while (ib > ia) {
        const GEO_POINT a0 = at(ia), a1 = at(ia + 1), b0 = at(ib), b1 = at(ib - 1);
        const i32 end = a1.y < b1.y ? a1.y : b1.y;
        for (; row < end; ++row) {
            const i32 dyA = a1.y - a0.y, dyB = b1.y - b0.y;
            if (dyA != 0) xA = a0.x + (a1.x - a0.x) * (row - a0.y) / dyA;
            if (dyB != 0) xB = b0.x + (b1.x - b0.x) * (row - b0.y) / dyB;
            span(row, xB - 1, xA + 1);
        }
        if (a1.y == end) ++ia;
        if (b1.y == end) --ib;
        if (ib <= ia) span(end, xB, xA);
    }
}

i32 Loc_FootOfPerpendicular(GEO_POINT *out, GEO_POINT a, GEO_POINT b, GEO_POINT q) {
    if (a.x == b.x && a.y == b.y) return 0;
    const i64 h = (static_cast<i64>(a.x) + b.x + q.x) / 3, g = (static_cast<i64>(a.y) + b.y + q.y) / 3;
    const i64 ax = a.x - h, ay = a.y - g;
    const i64 dx = static_cast<i64>(b.x) - a.x, dy = static_cast<i64>(b.y) - a.y;
    const i64 den = dx * dx + dy * dy;
    const i64 num = (q.x - h - ax) * dx + (q.y - g - ay) * dy;
    if (out != nullptr) {
        out->x = static_cast<i32>(h + (ax * den + dx * num) / den);
        out->y = static_cast<i32>(g + (ay * den + dy * num) / den);
    }
    return 1;
}

u32 Loc_MinAreaRectangle(GEO_POINT corners[4], const GEO_POINT *hull, i32 count) {
    return Loc_MinAreaRectangleScaled(corners, hull, count, 64);
}

u32 Loc_MinAreaRectangleScaled(GEO_POINT corners[4], const GEO_POINT *hull, i32 count, i32 scale) {
    const i32 n = static_cast<u8>(count);
    if (corners == nullptr || hull == nullptr || n < 3 || scale <= 0 || scale > 64) return 0;
    auto proj = [&](GEO_POINT e, i32 j) { return static_cast<i64>(e.x) * hull[j].x + static_cast<i64>(e.y) * hull[j].y; };
    auto side = [&](GEO_POINT e, i32 j) { return static_cast<i64>(e.x) * hull[j].y - static_cast<i64>(e.y) * hull[j].x; };
    // Walks forward from j while the value does not grow (sign +1) or fall (sign -1).
    auto walk = [&](i32 j, auto value, i32 sign) {
        for (i32 step = 0; step < n; ++step) {
            const i32 next = (j + 1) % n;
            if (sign * (value(next) - value(j)) > 0) break;
            j = next;
        }
        return j;
    };
    bool found = false;
    u32 best = 0;
    i32 bestSide = 0, bestN = 0, bestP = 0, bestR = 0;
    for (i32 i = 0; i < n; ++i) {
        const GEO_POINT st = hull[(i + n - 1) % n], en = hull[i];
        const GEO_POINT e{static_cast<i16>(st.x - en.x), static_cast<i16>(st.y - en.y)};
        if (e.x == 0 && e.y == 0) continue;
        const i32 nIdx = walk(i, [&](i32 j) { return proj(e, j); }, 1);
        const i32 pIdx = walk(nIdx, [&](i32 j) { return side(e, j); }, 1);
        const i32 rIdx = walk(pIdx, [&](i32 j) { return proj(e, j); }, -1);
        const i64 e2 = static_cast<i64>(e.x) * e.x + static_cast<i64>(e.y) * e.y;
        const i64 height = Abs64(static_cast<i64>(e.x) * (hull[pIdx].y - en.y) - static_cast<i64>(e.y) * (hull[pIdx].x - en.x));
        const i64 width = Abs64(static_cast<i64>(e.x) * (hull[rIdx].x - hull[nIdx].x) +
                                static_cast<i64>(e.y) * (hull[rIdx].y - hull[nIdx].y));
        const u32 area = static_cast<u32>(height * width / e2);
        if (!found || area < best) {
            found = true;
            best = area;
            bestSide = i;
            bestN = nIdx;
            bestP = pIdx;
            bestR = rIdx;
        }
    }
    if (!found) return 0;
    auto scaled = [scale](GEO_POINT p) { return GEO_POINT{p.x * scale, p.y * scale}; };
    const GEO_POINT st = scaled(hull[(bestSide + n - 1) % n]), en = scaled(hull[bestSide]);
    const GEO_POINT pN = scaled(hull[bestN]), pP = scaled(hull[bestP]), pR = scaled(hull[bestR]);
    // The sides through c0 and c3 stand square on the kept side; taking their direction from
    // the side keeps them defined when N or R lies on the side's own line.
    const GEO_POINT normal{-(en.y - st.y), en.x - st.x};
    GEO_POINT c[4];
    if (!Loc_FootOfPerpendicular(&c[0], st, en, pN)) return 0;
    if (!Loc_FootOfPerpendicular(&c[1], c[0], GEO_POINT{c[0].x + normal.x, c[0].y + normal.y}, pP)) return 0;
    if (!Loc_FootOfPerpendicular(&c[3], st, en, pR)) return 0;
    if (!Loc_FootOfPerpendicular(&c[2], c[3], GEO_POINT{c[3].x + normal.x, c[3].y + normal.y}, pP)) return 0;
    for (GEO_POINT &p : c) p = GEO_POINT{p.x / 8, p.y / 8};
    auto d2 = [](GEO_POINT a, GEO_POINT b) {
        return static_cast<i64>(a.x - b.x) * (a.x - b.x) + static_cast<i64>(a.y - b.y) * (a.y - b.y);
    };
    const i32 first = d2(c[0], c[1]) < d2(c[2], c[1]) ? 1 : 0;
    for (i32 k = 0; k < 4; ++k) corners[k] = c[(k + first) & 3];
    return best;
}

}  // namespace vexo
