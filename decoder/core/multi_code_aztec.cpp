// Reading order of a grid of Aztec symbols, as seen from the first one.
#include <cstdlib>

#include "core/multi_code.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

// The parts grouped into lines across the reading direction.
struct AZTEC_GROUPING {
    i32 line[kMultiEntries][kMultiEntries];  // part indexes
    i32 lineLength[kMultiEntries];
    i32 lineCount;
    bool vertical;    // the first part's top edge runs nearer the vertical
    bool descending;  // its top-left lies at or beyond its top-right along that axis
};

// Orientation from the first part's top edge.
void Dec_SetAztecOrientation(AZTEC_GROUPING *g, const REGION_QUAD &q) {
    const POINT_I32 &tl = q.c[kTopLeft];
    const POINT_I32 &tr = q.c[kTopRight];
    g->vertical = std::llabs(static_cast<i64>(tr.y) - tl.y) >= std::llabs(static_cast<i64>(tr.x) - tl.x);
    g->descending = g->vertical ? tl.y >= tr.y : tl.x >= tr.x;
}

// Lines: the first remaining part opens one, and every remaining part that the opener's
// midline (through the midpoints of its left and right sides) meets inside joins it.
void Dec_InitPartOrder(AZTEC_GROUPING *g, const REGION_QUAD *parts, int count) {
    bool used[kMultiEntries] = {};
    g->lineCount = 0;
    for (int opener = 0; opener < count && g->lineCount < kMultiEntries; ++opener) {
        if (used[opener]) continue;
        i32 *line = g->line[g->lineCount];
        int n = 0;
        line[n++] = opener;
        used[opener] = true;
        GEO_POINT mid[2];
        Geo_QuadSideMidpoints(&parts[opener], mid);
        for (int j = opener + 1; j < count; ++j) {
            if (used[j] || Geo_MidlineHitInQuad(&mid[0], &mid[1], &parts[j]) == 0) continue;
            line[n++] = j;
            used[j] = true;
        }
        g->lineLength[g->lineCount++] = n;
    }
}

// Lines are ordered by the mean position of their parts' top-edge midpoints across the
// reading direction, in the direction of the first part's "down".
void Dec_OrderAztecParts(AZTEC_GROUPING *g, const REGION_QUAD *parts) {
    i32 keys[kMultiEntries];
    i32 lines[kMultiEntries];
    for (int k = 0; k < g->lineCount; ++k) {
        i64 sum = 0;
        for (int t = 0; t < g->lineLength[k]; ++t) {
            const REGION_QUAD &q = parts[g->line[k][t]];
            const i64 a = g->vertical ? q.c[kTopLeft].x : q.c[kTopLeft].y;
            const i64 b = g->vertical ? q.c[kTopRight].x : q.c[kTopRight].y;
            sum += (a + b) / 2;
        }
        keys[k] = static_cast<i32>(sum / g->lineLength[k]);
        lines[k] = k;
    }
    // The first part's "down" is its top edge turned a quarter clockwise: along +y for an upright
    // part, -x for one turned a quarter turn clockwise.
    const bool linesDescending = g->vertical ? !g->descending : g->descending;
    Geo_PartialSortPairs(keys, g->lineCount, g->lineCount, lines, linesDescending ? 1 : 0);
    AZTEC_GROUPING sorted = *g;
    for (int k = 0; k < g->lineCount; ++k) {
        sorted.lineLength[k] = g->lineLength[lines[k]];
        for (int t = 0; t < sorted.lineLength[k]; ++t) sorted.line[k][t] = g->line[lines[k]][t];
    }
    *g = sorted;
}

// Within each line the parts follow the reading direction by their top-left corner.
void Dec_ArrangeAztecParts(AZTEC_GROUPING *g, const REGION_QUAD *parts) {
    for (int k = 0; k < g->lineCount; ++k) {
        i32 keys[kMultiEntries];
        const int n = g->lineLength[k];
        for (int t = 0; t < n; ++t) {
            const POINT_I32 &tl = parts[g->line[k][t]].c[kTopLeft];
            keys[t] = g->vertical ? tl.y : tl.x;
        }
        Geo_PartialSortPairs(keys, n, n, g->line[k], g->descending ? 1 : 0);
    }
}

int Dec_JoinAztecParts(const AZTEC_GROUPING *g, i32 *order) {
    int n = 0;
    for (int k = 0; k < g->lineCount; ++k) {
        for (int t = 0; t < g->lineLength[k] && n < kMultiEntries; ++t) order[n++] = g->line[k][t];
    }
    return n;
}

}  // namespace

int Dec_JoinAztecSymbols(const REGION_QUAD *parts, int count, i32 order[kMultiEntries]) {
    if (parts == nullptr || order == nullptr || count <= 0) return 0;
    if (count > kMultiEntries) count = kMultiEntries;
    AZTEC_GROUPING g{};
    Dec_SetAztecOrientation(&g, parts[0]);
    Dec_InitPartOrder(&g, parts, count);
    Dec_OrderAztecParts(&g, parts);
    Dec_ArrangeAztecParts(&g, parts);
    return Dec_JoinAztecParts(&g, order);
}

}  // namespace vexo
