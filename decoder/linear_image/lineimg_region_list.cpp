// The module's region list: the core's candidate regions, cut away from a PDF417 symbol that
// was found but not read, searched by the region finder; its quadrilaterals become the
// regions, nested ones dropped and every corner order put so that scan lines run forwards.
#include "core/pixel.h"
#include "core/state.h"
#include "linear_image/lineimg_finder.h"
#include "linear_image/lineimg_regions.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

i32 Clamp(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }
i32 Max(i32 a, i32 b) { return a > b ? a : b; }

void SwapCorners(REGION_QUAD *q, int a, int b) {
    const POINT_I32 t = q->c[a];
    q->c[a] = q->c[b];
    q->c[b] = t;
}

}  // namespace

void LineImg_AlignBox(REGION_QUAD *quads, i32 n) {
    if (quads == nullptr) return;
    const i32 w = Pix_GetImageWidth();
    const i32 h = Pix_GetImageHeight();
    for (i32 i = 0; i < n; ++i) {
        REGION_QUAD &q = quads[i];
        for (POINT_I32 &c : q.c) {
            c.x = Clamp(c.x, 0, w - 1);
            c.y = Clamp(c.y, 0, h - 1);
        }
        const i32 left = Min(q.c[0].x, q.c[2].x);
        const i32 right = Max(q.c[1].x, q.c[3].x);
        const i32 top = Min(q.c[0].y, q.c[1].y);
        const i32 bottom = Max(q.c[2].y, q.c[3].y);
        q.c[0] = {left, top};
        q.c[1] = {right, top};
        q.c[2] = {left, bottom};
        q.c[3] = {right, bottom};
    }
}

i32 LineImg_CutRegion(REGION_QUAD *region, const REGION_QUAD *box, REGION_QUAD *second) {
    if (region == nullptr || box == nullptr) return 1;
    // With a width the box cuts across y (top and bottom sides); without one across x.
    const bool inY = box->c[1].x > box->c[0].x;
    const int near0 = 0, near1 = inY ? 1 : 2, far0 = inY ? 2 : 1, far1 = 3;
    const auto get = [&](const REGION_QUAD &q, int k) { return inY ? q.c[k].y : q.c[k].x; };
    const auto set = [&](REGION_QUAD &q, int k, i32 v) { (inY ? q.c[k].y : q.c[k].x) = v; };
    const i32 t = inY ? box->c[0].y : box->c[0].x;
    const i32 b = inY ? box->c[2].y : box->c[1].x;
    const i32 lo = get(*region, near0);
    const i32 hi = get(*region, far0);
    // A box beside the region leaves it whole.
    if (b < lo || t > hi) return 1;
    if (t > lo) {
        if (hi > b && second != nullptr) {
            *second = *region;
            set(*region, far0, t);
            set(*region, far1, t);
            set(*second, near0, b);
            set(*second, near1, b);
            return 2;
        }
        set(*region, far0, t);
        set(*region, far1, t);
        return 1;
    }
    // The box covers the region's near side: keep what lies beyond it (nothing when it
    // covers the region).
    set(*region, near0, b);
    set(*region, near1, b);
    return 1;
}

i32 LineImg_DropNestedRegions(REGION_QUAD *quads, u8 *kinds, i32 n) {
    if (quads == nullptr || kinds == nullptr) return 0;
    if (n > kLineImgRegionCap) n = kLineImgRegionCap;
    GEO_POINT centre[kLineImgRegionCap];
    for (i32 i = 0; i < n; ++i) {
        i64 sx = 0, sy = 0;
        for (const POINT_I32 &c : quads[i].c) {
            sx += c.x;
            sy += c.y;
        }
        centre[i] = {static_cast<i32>(sx >> 2), static_cast<i32>(sy >> 2)};
    }
    for (i32 i = 0; i < n; ++i) {
        // Every removal shortens the list, so the restarts are bounded by n.
        for (i32 j = 0; j < n; ++j) {
            if (j == i || Geo_PointInQuad(&centre[j], &quads[i]) == 0) continue;
            const i32 last = n - 1;
            quads[j] = quads[last];
            centre[j] = centre[last];
            kinds[j] = kinds[last];
            quads[last] = REGION_QUAD{};
            kinds[last] = 0;
            --n;
            // The last region moved into j; when that was region i itself, follow it.
            if (i == last) i = j;
            j = -1;
        }
    }
    return n;
}

void LineImg_FixHandedness(REGION_QUAD *quads, i32 n, const u8 *kinds) {
    if (quads == nullptr || kinds == nullptr) return;
    for (i32 i = 0; i < n; ++i) {
        REGION_QUAD &q = quads[i];
        const POINT_I32 *c = q.c;
        bool mirrored = false;
        if (kinds[i] == kQuadUpright)
            mirrored = (c[0].x > c[1].x && c[2].y > c[0].y) || (c[0].x < c[1].x && c[0].y > c[2].y);
        else if (kinds[i] == kQuadFlat)
            mirrored = (c[0].y > c[1].y && c[1].x > c[3].x) || (c[0].y < c[1].y && c[3].x > c[1].x);
        if (!mirrored) continue;
        SwapCorners(&q, 0, 1);
        SwapCorners(&q, 2, 3);
    }
}

void LineImg_FixDirection(REGION_QUAD *quads, i32 n, const u8 *kinds) {
    if (quads == nullptr || kinds == nullptr) return;
    for (i32 i = 0; i < n; ++i) {
        REGION_QUAD &q = quads[i];
        const bool backwards = (kinds[i] == kQuadUpright && q.c[0].x > q.c[1].x) ||
                               (kinds[i] == kQuadFlat && q.c[0].y > q.c[1].y);
        if (!backwards) continue;
        SwapCorners(&q, 0, 3);
        SwapCorners(&q, 1, 2);
    }
}

void LineImg_CollectRegions(REGION_QUAD *copy, LINEIMG_REGIONS *table) {
    if (table == nullptr) return;
    table->count = 0;
    if (copy == nullptr) return;
    i32 n = g_state.locatedCount < kLineImgRegionCap ? g_state.locatedCount : kLineImgRegionCap;
    if (n < 0) n = 0;
    for (i32 i = 0; i < n; ++i) copy[i] = g_state.locatedRegions[i];
    REGION_QUAD box{};
    const bool cut = g_state.decodeRecordWord == 1;
    if (cut) {
        box = g_state.decodeRecordQuad;
        LineImg_AlignBox(&box, 1);
    }
    i32 count = 0;
    for (i32 i = 0; i < n && count < kLineImgRegionCap; ++i) {
        REGION_QUAD parts[2] = {copy[i], REGION_QUAD{}};
        const i32 m = cut ? LineImg_CutRegion(&parts[0], &box, &parts[1]) : 1;
        for (i32 k = 0; k < m && count < kLineImgRegionCap; ++k) {
            if (LineImg_FindQuads(&parts[k]) <= 0) continue;
            count += LineImg_GetQuads(table->quads + count, table->kinds + count, kLineImgRegionCap - count);
        }
    }
    count = LineImg_DropNestedRegions(table->quads, table->kinds, count);
    table->count = count;
    LineImg_FixHandedness(table->quads, count, table->kinds);
    LineImg_FixDirection(table->quads, count, table->kinds);
}

}  // namespace vexo
