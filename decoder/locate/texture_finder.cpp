#include "locate/texture_finder.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/pixel.h"

namespace vexo {

namespace {

constexpr i32 kGrade3MinSize = 9;
constexpr i32 kGrade2MinSize = 37;
constexpr i32 kGrade1SelfMinSize = 65;
constexpr i32 kOneAreaSpread = 2;
constexpr i64 kScoreScale = 160000;
constexpr i64 kScoreFloor = 1500;
constexpr i64 kFillScale = 64000;
constexpr i64 kFillMin = 666;  // the grown rectangle more than two-thirds filled
constexpr i32 kElongation = 3;
constexpr i16 kSizeInvalid = 0;
constexpr i16 kSizeTaken = 1;

// Bytes of the finder's areas behind the grading layout: three label maps (per block), three
// component lists, the quad table, the hull points and the boxes.
constexpr i64 kFinderFixedBytes = 3 * kTextureComponentsMax * static_cast<i64>(sizeof(TEXTURE_COMPONENT)) +
                                  kTextureQuadsMax * static_cast<i64>(sizeof(REGION_QUAD)) +
                                  (kBlockHullMax + 1) * static_cast<i64>(sizeof(GEO_POINT)) +
                                  kTextureQuadsMax * static_cast<i64>(sizeof(TEXTURE_BOX)) + 4 * 8;
static_assert(kFinderFixedBytes < 64 * 1024);

u8 *Align8(u8 *p) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return p + ((8 - v % 8) % 8);
}

i64 Dist2(GEO_POINT a, GEO_POINT b) {
    return static_cast<i64>(a.x - b.x) * (a.x - b.x) + static_cast<i64>(a.y - b.y) * (a.y - b.y);
}

// Foot of q on the line s + t e: one truncating division by |e|^2.
GEO_POINT FootOnLine(GEO_POINT s, GEO_POINT e, GEO_POINT q) {
    const i64 e2 = static_cast<i64>(e.x) * e.x + static_cast<i64>(e.y) * e.y;
    const i64 dot = static_cast<i64>(q.x - s.x) * e.x + static_cast<i64>(q.y - s.y) * e.y;
    return GEO_POINT{static_cast<i32>(s.x + e.x * dot / e2), static_cast<i32>(s.y + e.y * dot / e2)};
}

void OutputQuad(const TEXTURE_COMPONENT &r, REGION_QUAD *table, i32 *count) {
    table[*count] = REGION_QUAD{{r.corners[0], r.corners[1], r.corners[3], r.corners[2]}};
    ++*count;
}

bool NotElongated(const TEXTURE_COMPONENT &r) { return r.extentA < kElongation * r.extentB; }

i64 Positive(i64 v) { return v > 0 ? v : 0; }

}  // namespace

i32 Loc_TextureFinderAreas(TEXTURE_LAYOUT *layout, TEXTURE_FINDER_AREAS *areas) {
    if (layout == nullptr || areas == nullptr) return 0;
    *areas = TEXTURE_FINDER_AREAS{};
    if (!Loc_TextureLayout(layout)) return 0;
    u8 *base = layout->directionCells;
    const i64 blocks = static_cast<i64>(layout->blocksAcross) * layout->blocksDown;
    u8 *p = layout->end;
    for (u8 *&l : areas->labels) {
        l = p;
        p += blocks;
    }
    p = Align8(p);
    for (TEXTURE_COMPONENT *&c : areas->components) {
        c = reinterpret_cast<TEXTURE_COMPONENT *>(p);
        p += kTextureComponentsMax * sizeof(TEXTURE_COMPONENT);
    }
    areas->quads = reinterpret_cast<REGION_QUAD *>(Align8(p));
    areas->hull = reinterpret_cast<GEO_POINT *>(areas->quads + kTextureQuadsMax);
    areas->boxes = reinterpret_cast<TEXTURE_BOX *>(areas->hull + kBlockHullMax + 1);
    const u8 *end = reinterpret_cast<const u8 *>(areas->boxes + kTextureQuadsMax);
    if (Pix_WorkMemory(end - base) != base) {
        *areas = TEXTURE_FINDER_AREAS{};
        return 0;
    }
    return 1;
}

i32 Loc_FitComponentRectangle(TEXTURE_COMPONENT *record, const GEO_POINT *hull, i32 count) {
    if (record == nullptr || hull == nullptr || count < 3 || count > kBlockHullMax) return 0;
    i64 sx = 0, sy = 0;
    for (i32 k = 0; k < count; ++k) {
        sx += hull[k].x;
        sy += hull[k].y;
    }
    const GEO_POINT mean{static_cast<i32>(sx / count), static_cast<i32>(sy / count)};
    auto pt = [&](i32 k) {
        const GEO_POINT q = hull[((k % count) + count) % count];
        return GEO_POINT{q.x - mean.x, q.y - mean.y};
    };
    i32 best = INT_MAX;
    bool found = false;
    i32 bs = 0, bf = 0, bk = 0, bp = 0;
    for (i32 j = 0; j < count; ++j) {
        const GEO_POINT s = pt(j), e{pt(j + 1).x - s.x, pt(j + 1).y - s.y};
        if (e.x == 0 && e.y == 0) continue;
        auto proj = [&](i32 k) { return static_cast<i64>(pt(k).x) * e.x + static_cast<i64>(pt(k).y) * e.y; };
        auto dist = [&](i32 k) {
            const i64 c = static_cast<i64>(e.x) * (pt(k).y - s.y) - static_cast<i64>(e.y) * (pt(k).x - s.x);
            return c < 0 ? -c : c;
        };
        i32 f = j + 1, b = j, p = 0;
        for (i32 step = 0; step < count && proj(f + 1) > proj(f); ++step) ++f;
        for (i32 step = 0; step < count && proj(b - 1) < proj(b); ++step) --b;
        p = f;
        for (i32 step = 0; step < count && dist(p + 1) > dist(p); ++step) ++p;
        const float e2 = static_cast<float>(e.x) * e.x + static_cast<float>(e.y) * e.y;
        const float area = static_cast<float>(dist(p)) * static_cast<float>(proj(f) - proj(b)) / e2;
        i32 a = static_cast<i32>(std::fabs(area) < 2.0e9f ? area : 2.0e9f);
        a = a < 0 ? -a : a;
        if (!found || a < best) {
            found = true;
            best = a;
            bs = j;
            bf = f;
            bk = b;
            bp = p;
        }
    }
    if (!found) return 0;
    const GEO_POINT s = pt(bs), e{pt(bs + 1).x - s.x, pt(bs + 1).y - s.y};
    const GEO_POINT c0 = FootOnLine(s, e, pt(bf)), c3 = FootOnLine(s, e, pt(bk));
    const GEO_POINT pf = FootOnLine(s, e, pt(bp));
    const GEO_POINT o{pt(bp).x - pf.x, pt(bp).y - pf.y};
    GEO_POINT c[4] = {c0, {c0.x + o.x, c0.y + o.y}, {c3.x + o.x, c3.y + o.y}, c3};
    const i32 first = Dist2(c[1], c[0]) < Dist2(c[3], c[0]) ? 1 : 0;
    for (i32 k = 0; k < 4; ++k) {
        const GEO_POINT q = c[(k + first) & 3];
        record->corners[k] = GEO_POINT{q.x + mean.x, q.y + mean.y};
    }
    return best;
}

i32 Loc_ComponentQuad(const u8 *labels, i32 n, i32 m, TEXTURE_COMPONENT *record) {
    if (record == nullptr) return 0;
    GEO_POINT hull[kBlockHullMax + 1];
    const i32 count = Loc_TraceComponentHull(labels, record->startX, record->startY, hull, n, m);
    if (count < 3) {
        record->size = kSizeInvalid;
        return 0;
    }
    for (i32 k = 0; k < count; ++k) hull[k] = GEO_POINT{8 * hull[k].x + 4, 8 * hull[k].y + 4};
    return Loc_FitComponentRectangle(record, hull, count);
}

i32 Loc_ComponentQuadIfValid(const u8 *labels, i32 n, i32 m, TEXTURE_COMPONENT *record) {
    if (record == nullptr || record->size == kSizeInvalid) return 0;
    return Loc_ComponentQuad(labels, n, m, record);
}

i32 Loc_GrowComponentQuad(TEXTURE_COMPONENT *record, i32 a, i16 *extent1, i16 *extent2) {
    if (record == nullptr) return 0;
    GEO_POINT *c = record->corners;
    // Products in 32 bits: with a = 20 the 16-bit ones wrap on sides beyond about 819 pixels.
    auto push = [&](i32 dx, i32 dy, i32 len, i32 i0, i32 i1, i32 j0, i32 j1) {
        const i32 mx = len != 0 ? a * dx / len : 0, my = len != 0 ? a * dy / len : 0;
        c[i0] = GEO_POINT{c[i0].x - mx, c[i0].y - my};
        c[i1] = GEO_POINT{c[i1].x - mx, c[i1].y - my};
        c[j0] = GEO_POINT{c[j0].x + mx, c[j0].y + my};
        c[j1] = GEO_POINT{c[j1].x + mx, c[j1].y + my};
    };
    auto length = [](i32 dx, i32 dy) {
        return static_cast<i32>(std::sqrt(static_cast<float>(dx) * static_cast<float>(dx) + static_cast<float>(dy) * static_cast<float>(dy)));
    };
    const i32 ox = (c[1].x + c[2].x) - (c[0].x + c[3].x), oy = (c[1].y + c[2].y) - (c[0].y + c[3].y);
    const i32 u = length(ox, oy);
    push(ox, oy, u, 0, 3, 1, 2);
    const i32 px = (c[2].x + c[3].x) - (c[0].x + c[1].x), py = (c[2].y + c[3].y) - (c[0].y + c[1].y);
    const i32 v = length(px, py);
    push(px, py, v, 0, 1, 2, 3);
    const i32 e1 = (u + 4 * a + 1) / 2, e2 = (v + 4 * a + 1) / 2;
    record->extentA = static_cast<i16>(e1);
    record->extentB = static_cast<i16>(e2);
    if (extent1 != nullptr && extent2 != nullptr) {
        *extent1 = static_cast<i16>(e1);
        *extent2 = static_cast<i16>(e2);
    }
    return e1 * e2;
}

i32 Loc_SelectTextureQuads(const TEXTURE_FINDER_AREAS &areas, const i32 counts[3], i32 n, i32 m, i32 capacity) {
    if (capacity > kTextureQuadsMax) capacity = kTextureQuadsMax;
    if (capacity <= 0 || n <= 0 || m <= 0) return 0;
    TEXTURE_COMPONENT *const r3s = areas.components[0], *const r2s = areas.components[1], *const r1s = areas.components[2];
    const u8 *const l3 = areas.labels[0], *const l2 = areas.labels[1], *const l1 = areas.labels[2];
    const i32 c3 = counts[0], c2 = counts[1], c1 = counts[2];
    auto holder = [&](const u8 *labels, const TEXTURE_COMPONENT &r) {
        return static_cast<i32>(labels[static_cast<i64>(r.startY) * n + r.startX]);
    };
    for (i32 k = 1; k <= c1; ++k) r1s[k].inner3 = r1s[k].inner2 = 0;
    for (i32 k = 1; k <= c3; ++k) {
        const i32 h = holder(l1, r3s[k]);
        if (h != 0) r1s[h].inner3 = static_cast<i16>(r1s[h].inner3 + r3s[k].size);
    }
    for (i32 k = 1; k <= c2; ++k) {
        const i32 h = holder(l1, r2s[k]);
        if (h != 0) r1s[h].inner2 = static_cast<i16>(r1s[h].inner2 + r2s[k].size);
    }
    if (c3 == 0 && c2 == 0) return 0;
    i32 quads = 0;
    for (i32 k = 1; k <= c3; ++k) {
        TEXTURE_COMPONENT &r3 = r3s[k];
        if (r3.size < kGrade3MinSize) continue;
        const i32 h2 = holder(l2, r3), h1 = holder(l1, r3);
        if (h2 == 0 || h1 == 0) continue;
        TEXTURE_COMPONENT &r2 = r2s[h2], &r1 = r1s[h1];
        if (r2.size == kSizeTaken || r1.size == kSizeTaken) continue;
        const i32 s3 = r3.size, s2 = r2.size, s1 = r1.size;
        const i32 a3 = static_cast<i32>(std::sqrt(static_cast<float>(s3)) + 5);
        const i32 a2 = static_cast<i32>(std::sqrt(static_cast<float>(s2)) + 3);
        const i32 a1 = static_cast<i32>(std::sqrt(static_cast<float>(s1)) + 1);
        const i32 hi = a1 > a2 ? (a1 > a3 ? a1 : a3) : (a2 > a3 ? a2 : a3);
        const i32 lo = a1 < a2 ? (a1 < a3 ? a1 : a3) : (a2 < a3 ? a2 : a3);
        if (hi - lo <= kOneAreaSpread) {
            // A failed quad leaves the record invalid and outputs nothing.
            if (Loc_ComponentQuad(l1, n, m, &r1) == 0) continue;
            r1.size = kSizeTaken;
            OutputQuad(r1, areas.quads, &quads);
            if (quads >= capacity) return quads;
            continue;
        }
        i64 score3 = 0, score2 = 0, score1 = 0;
        if (Loc_ComponentQuadIfValid(l3, n, m, &r3) > 0) {
            const i64 area = Loc_GrowComponentQuad(&r3, 20, nullptr, nullptr);
            const i64 fill = area > 0 ? static_cast<i64>(static_cast<i16>(s3 + 8 * (a3 - 3))) * kScoreScale / area : 0;
            score3 = static_cast<i64>(r3.size) * Positive(fill - kScoreFloor);
        }
        if (Loc_ComponentQuadIfValid(l2, n, m, &r2) > 0) {
            const i64 area = Loc_GrowComponentQuad(&r2, 12, nullptr, nullptr);
            const i64 fill = area > 0 ? static_cast<i64>(static_cast<i16>(s2 + 4 * (a2 - 2))) * kScoreScale / area : 0;
            score2 = Positive(r1.inner2 - r1.inner3) * Positive(fill - kScoreFloor);
        }
        if (Loc_ComponentQuadIfValid(l1, n, m, &r1) > 0) {
            const i64 area = Loc_GrowComponentQuad(&r1, 4, nullptr, nullptr);
            const i64 fill = area > 0 ? static_cast<i64>(s1) * kScoreScale / area : 0;
            score1 = Positive(static_cast<i64>(r1.size) - r1.inner2) * Positive(fill - kScoreFloor);
        }
        const TEXTURE_COMPONENT *winner = nullptr;
        if (score1 > score2 && score1 > score3) {
            r1.size = kSizeTaken;
            winner = &r1;
        } else if (score2 > score1 && score2 > score3) {
            r2.size = kSizeTaken;
            r1.size = kSizeInvalid;
            winner = &r2;
        } else if (score3 > score1 && score3 > score2) {
            r3.size = kSizeTaken;
            r2.size = kSizeInvalid;
            r1.size = kSizeInvalid;
            winner = &r3;
        }
        if (winner != nullptr && NotElongated(*winner)) {
            OutputQuad(*winner, areas.quads, &quads);
            if (quads >= capacity) return quads;
        }
    }
    for (i32 k = 1; k <= c2; ++k) {
        TEXTURE_COMPONENT &r2 = r2s[k];
        if (r2.size < kGrade2MinSize) continue;
        const i32 h1 = holder(l1, r2);
        if (h1 == 0) continue;
        TEXTURE_COMPONENT &r1 = r1s[h1];
        TEXTURE_COMPONENT *target = nullptr;
        const u8 *labels = nullptr;
        if (r1.size >= kGrade1SelfMinSize) {
            target = &r1;
            labels = l1;
        } else if (r1.size == kSizeInvalid) {
            target = &r2;
            labels = l2;
        } else {
            continue;
        }
        const i64 size = target->size;
        if (Loc_ComponentQuad(labels, n, m, target) == 0) continue;
        const i64 area = Loc_GrowComponentQuad(target, 4, nullptr, nullptr);
        if (area <= 0 || size * kFillScale / area <= kFillMin) continue;
        if (target == &r1) r2.size = kSizeInvalid;
        target->size = kSizeTaken;
        if (NotElongated(*target)) {
            OutputQuad(*target, areas.quads, &quads);
            if (quads >= capacity) return quads;
        }
    }
    return quads;
}

i32 Loc_FindTextureQuads(i32 capacity) {
    if (capacity <= 0) return 0;
    TEXTURE_LAYOUT t{};
    TEXTURE_FINDER_AREAS areas{};
    if (!Loc_TextureFinderAreas(&t, &areas)) return 0;
    const i32 n = t.blocksAcross, m = t.blocksDown;
    if (n <= 0 || m <= 0) return 0;
    Loc_BuildDirectionCells(t.directionCells, t.cellsAcross, t.cellsDown);
    Loc_MarkCrossingCells(t.directionCells, t.crossings, t.cellsAcross, t.cellsDown);
    Loc_CellsToBlocks(t.crossings, t.blocks, n, m);
    Loc_GradeBlocks(t.blocks, n, m);
    i32 counts[3] = {};
    for (i32 level = 2; level >= 0; --level)
        counts[2 - level] = Loc_LabelBlockComponents(t.blocks, areas.labels[2 - level], areas.components[2 - level], n, m, level);
    return Loc_SelectTextureQuads(areas, counts, n, m, capacity);
}

void Loc_SortQuadsByCentre(const REGION_QUAD *in, REGION_QUAD *out, i32 count) {
    if (in == nullptr || out == nullptr) return;
    if (count > kTextureQuadsMax) count = kTextureQuadsMax;
    i32 keys[kTextureQuadsMax];
    i16 order[kTextureQuadsMax];
    const i32 hw = g_image.width / 2, hh = g_image.height / 2;
    for (i32 q = 0; q < count; ++q) {
        const POINT_I32 *c = in[q].c;
        const i32 dx = static_cast<i16>((c[0].x + c[1].x + c[2].x + c[3].x + 2) / 4 - hw);
        const i32 dy = static_cast<i16>((c[0].y + c[1].y + c[2].y + c[3].y + 2) / 4 - hh);
        const i32 key = dx * dx + dy * dy;
        i32 pos = q;
        while (pos > 0 && keys[pos - 1] > key) {
            keys[pos] = keys[pos - 1];
            order[pos] = order[pos - 1];
            --pos;
        }
        keys[pos] = key;
        order[pos] = static_cast<i16>(q);
    }
    for (i32 k = 0; k < count; ++k) out[k] = in[order[k]];
}

i32 Loc_FindTextureQuadsSorted(REGION_QUAD *out, i32 capacity) {
    const i32 count = Loc_FindTextureQuads(capacity);
    TEXTURE_LAYOUT t{};
    TEXTURE_FINDER_AREAS areas{};
    if (count > 0 && Loc_TextureFinderAreas(&t, &areas)) Loc_SortQuadsByCentre(areas.quads, out, count);
    return count;
}

void Loc_RunTextureFinder() {
    REGION_QUAD quads[kTextureQuadsMax];
    Loc_FindTextureQuadsSorted(quads, kTextureQuadsMax);
}

i32 Loc_MergeQuadBoxes(const REGION_QUAD *quads, i32 count, TEXTURE_BOX *boxes) {
    if (quads == nullptr || boxes == nullptr || count <= 0) return 0;
    if (count > kTextureQuadsMax) count = kTextureQuadsMax;
    for (i32 q = 0; q < count; ++q) {
        const POINT_I32 *c = quads[q].c;
        TEXTURE_BOX b{c[0].y, c[0].x, c[0].x, c[0].y};
        for (i32 k = 1; k < 4; ++k) {
            b.top = c[k].y < b.top ? c[k].y : b.top;
            b.bottom = c[k].y > b.bottom ? c[k].y : b.bottom;
            b.left = c[k].x < b.left ? c[k].x : b.left;
            b.right = c[k].x > b.right ? c[k].x : b.right;
        }
        // Each merge removes an earlier box, so the restarts are bounded by q.
        for (i32 e = 0; e < q;) {
            TEXTURE_BOX &o = boxes[e];
            if (o.bottom >= 0 && o.bottom >= b.top && o.top <= b.bottom && o.left <= b.right && o.right >= b.left) {
                b.top = o.top < b.top ? o.top : b.top;
                b.bottom = o.bottom > b.bottom ? o.bottom : b.bottom;
                b.left = o.left < b.left ? o.left : b.left;
                b.right = o.right > b.right ? o.right : b.right;
                o.bottom = -1;
                e = 0;
                continue;
            }
            ++e;
        }
        b.top = b.top < 0 ? 0 : b.top;
        b.left = b.left < 0 ? 0 : b.left;
        b.right = b.right > g_image.width ? g_image.width : b.right;
        b.bottom = b.bottom > g_image.height ? g_image.height : b.bottom;
        boxes[q] = b;
    }
    i32 kept = 0;
    for (i32 q = 0; q < count; ++q)
        if (boxes[q].bottom >= 0) boxes[kept++] = boxes[q];
    return kept;
}

i32 Loc_FindTextureBoxes(i32 capacity) {
    const i32 count = Loc_FindTextureQuads(capacity);
    TEXTURE_LAYOUT t{};
    TEXTURE_FINDER_AREAS areas{};
    if (count <= 0 || !Loc_TextureFinderAreas(&t, &areas)) return 0;
    return Loc_MergeQuadBoxes(areas.quads, count, areas.boxes);
}

}  // namespace vexo
