#include "aztec_maxicode/maxi_finder.h"

#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

MAXI_FINDER_STATE g_maxiFinder = {};

namespace {

// One compared width pair: wa x S(ia, ja) against wb x S(ib, jb), S(i, j) = e[j] - e[i].
struct PatternPair {
    u16 wa;
    u8 ia;
    u8 ja;
    u16 wb;
    u8 ib;
    u8 jb;
};

struct Pattern {
    u8 edges;
    u8 pairs;
    i16 tolerance;
    u8 centreA;  // centre = (e[centreA] + e[centreB]) >> 1
    u8 centreB;
    u8 doubled;  // size = (e[edges - 1] - e[0]) x (doubled ? 2 : 1)
    PatternPair p[7];
};

// The seven partial views of a bulls-eye along a row, e[0] rising. Types 1 and 5 see the
// light centre between e4 and e5, type 7 between e2 and e3, type 6 from its left edge;
// types 2 and 4 cross dark ring 1 above or below the centre; type 3 spans the centre and
// the outer edges of ring 1. Types 5 and 6 are half views, so their size is doubled.
constexpr Pattern kPatterns[8] = {
    {},
    {10, 7, 850, 4, 5, 0,
     {{1, 0, 2, 1, 1, 3}, {1, 2, 4, 1, 1, 3}, {169, 2, 4, 135, 3, 5}, {1, 3, 5, 1, 4, 6}, {135, 4, 6, 169, 5, 7},
      {1, 6, 8, 1, 5, 7}, {1, 7, 9, 1, 6, 8}}},
    {8, 5, 855, 3, 4, 0,
     {{100, 1, 3, 111, 0, 2}, {1, 2, 4, 2, 0, 2}, {1, 3, 5, 1, 2, 4}, {1, 3, 5, 2, 5, 7}, {100, 4, 6, 111, 5, 7}}},
    {10, 5, 855, 3, 6, 0,
     {{1, 1, 3, 1, 0, 2}, {1, 2, 6, 2, 1, 3}, {1, 3, 7, 1, 2, 6}, {1, 3, 7, 2, 6, 8}, {1, 7, 9, 1, 6, 8}}},
    {8, 5, 850, 3, 4, 0,
     {{1, 1, 3, 1, 0, 2}, {100, 2, 4, 227, 1, 3}, {1, 3, 5, 1, 2, 4}, {100, 3, 5, 227, 4, 6}, {1, 5, 7, 1, 4, 6}}},
    {6, 4, 850, 4, 5, 1, {{1, 1, 3, 1, 0, 2}, {1, 2, 4, 1, 1, 3}, {135, 3, 5, 169, 2, 4}, {1, 0, 3, 1, 1, 4}}},
    {6, 4, 850, 0, 1, 1, {{169, 1, 3, 135, 0, 2}, {1, 2, 4, 1, 1, 3}, {1, 3, 5, 1, 2, 4}, {1, 2, 5, 1, 1, 4}}},
    {6, 4, 850, 2, 3, 0, {{100, 1, 3, 327, 0, 2}, {1, 2, 4, 1, 1, 3}, {327, 3, 5, 100, 2, 4}, {1, 0, 3, 1, 1, 4}}},
};
static_assert(sizeof(kPatterns) / sizeof(kPatterns[0]) == 8);

// Types tried for the number of edges left: the reliable full views first.
constexpr u8 kOrderTen[] = {1, 2, 3, 4, 5, 6, 7};
constexpr u8 kOrderEight[] = {2, 4, 5, 6, 7};
constexpr u8 kOrderSix[] = {5, 6, 7};

// Directions of the eight-direction walk (W, NW, N, NE, E, SE, S, SW) and the four axes.
constexpr i8 kDirs[8][2] = {{-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}};
constexpr i8 kAxes[4][2] = {{1, 0}, {1, 1}, {0, 1}, {1, -1}};
static_assert(sizeof(kDirs) == 16 && sizeof(kAxes) == 8);

constexpr i32 kDirW = 0;
constexpr i32 kDirN = 2;
constexpr i32 kWalkTolerance = 905;
constexpr i32 kConsistencyTolerance = 850;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }

u8 PixelAt(const u8 *image, i32 x, i32 y) {
    return image[static_cast<i64>(y) * g_maxiFinder.stride + x];
}

bool InFrame(i32 x, i32 y) { return x >= 0 && y >= 0 && x < g_maxiFinder.width && y < g_maxiFinder.height; }

bool IsDark(const u8 *image, i32 x, i32 y, i32 threshold) { return PixelAt(image, x, y) < threshold; }

// The open box a walk stays in.
struct WalkBox {
    i32 x0;
    i32 x1;
    i32 y0;
    i32 y1;
    bool Has(i32 x, i32 y) const { return x > x0 && x < x1 && y > y0 && y < y1; }
};

WalkBox BoxOf(i32 cx, i32 cy, i32 s) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    WalkBox b{};
    b.x0 = cx - s > 0 ? cx - s : 0;
    b.x1 = cx + s < f.width - 1 ? cx + s : f.width - 1;
    b.y0 = cy - s > 0 ? cy - s : 0;
    b.y1 = cy + s < f.bottom ? cy + s : f.bottom - 1;
    if (b.y1 > f.height - 1) b.y1 = f.height - 1;
    return b;
}

// A walker from the centre along (dx, dy) in whole-pixel steps.
struct Walker {
    const u8 *image;
    i32 x;
    i32 y;
    i32 dx;
    i32 dy;
    i32 threshold;
    WalkBox box;

    // Moves to the first pixel of the wanted class, the current one included; false when
    // a step would leave the box. The box bounds the steps.
    bool To(bool dark) {
        if (!InFrame(x, y)) return false;
        for (i32 n = 0; n <= g_maxiFinder.width + g_maxiFinder.height; ++n) {
            if (IsDark(image, x, y, threshold) == dark) return true;
            if (!box.Has(x + dx, y + dy)) return false;
            x += dx;
            y += dy;
        }
        return false;
    }
    // Coordinate recorded along the walk: y for vertical walks, x otherwise.
    i32 Coord() const { return dx == 0 ? y : x; }
};

// Runs the class sequence from (x, y) and records each stop; false when a stop is missing.
bool WalkStops(Walker &w, const bool *classes, i32 n, i32 *stops) {
    for (i32 k = 0; k < n; ++k) {
        if (!w.To(classes[k])) return false;
        stops[k] = w.Coord();
    }
    return true;
}

void SetBit(i32 slot) { g_maxiFinder.used[slot >> 5] |= 1u << (slot & 31); }
void ClearBit(i32 slot) { g_maxiFinder.used[slot >> 5] &= ~(1u << (slot & 31)); }
bool BitSet(i32 slot) { return (g_maxiFinder.used[slot >> 5] >> (slot & 31) & 1u) != 0; }

// 1 when (x, y) lies strictly within reach + radius of a kept candidate.
bool NearCandidate(i32 x, i32 y, i32 reach) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    for (i32 k = 0; k < f.count && k < kMaxiCandidates; ++k) {
        const i64 dx = static_cast<i64>(x) - f.table[k].x;
        const i64 dy = static_cast<i64>(y) - f.table[k].y;
        const i64 r = static_cast<i64>(reach) + f.table[k].radius;
        if (dx * dx + dy * dy < r * r) return true;
    }
    return false;
}

void StoreHit(i32 x, i32 y, i32 size, i32 reach, i32 type, bool *full) {
    MAXI_FINDER_STATE &f = g_maxiFinder;
    if (*full) return;
    i32 slot = f.nextFree;
    if (slot < 0 || slot >= kMaxiHitSlots || BitSet(slot)) {
        slot = -1;
        for (i32 k = 0; k < kMaxiHitSlots; ++k) {
            const i32 s = (f.nextFree + k + kMaxiHitSlots) % kMaxiHitSlots;
            if (!BitSet(s)) {
                slot = s;
                break;
            }
        }
        if (slot < 0) {
            *full = true;
            return;
        }
    }
    f.hits[slot] = MAXI_ROW_HIT{x, y, size, reach, static_cast<u8>(type)};
    SetBit(slot);
    f.nextFree = -1;
    for (i32 k = 1; k <= kMaxiHitSlots; ++k) {
        const i32 s = (slot + k) % kMaxiHitSlots;
        if (!BitSet(s)) {
            f.nextFree = s;
            break;
        }
    }
    if (f.nextFree < 0) *full = true;
}

// Queues every view found on the row's alternating edges.
void QueueRowHits(const i32 *e, i32 m, i32 row) {
    bool full = false;
    for (i32 i = 0; i < m && !full; i += 2) {
        i32 centre = 0;
        i32 size = 0;
        const i32 type = Maxi_ClassifyEdgeRun(e + i, m - i, &centre, &size);
        if (type == 0) continue;
        const i32 x = centre >> 4;
        const i32 reach = ((size >> 5) * 7) / 5;
        if (NearCandidate(x, row, reach)) continue;
        StoreHit(x, row, size >> 4, reach, type, &full);
    }
}

// One pass over the slots; the checked pass drops hits near a candidate and leaves those
// whose reach passes the limit for the rows to come.
void VerifySlots(const u8 *image, i32 limit, bool checked) {
    MAXI_FINDER_STATE &f = g_maxiFinder;
    for (i32 s = 0; s < kMaxiHitSlots && f.count < kMaxiCandidates; ++s) {
        if (!BitSet(s)) continue;
        const MAXI_ROW_HIT &h = f.hits[s];
        if (checked) {
            const i32 reach = ((h.size >> 1) * 7) / 5;
            if (NearCandidate(h.x, h.y, reach)) {
                ClearBit(s);
                continue;
            }
            if (h.y + h.reach >= limit) continue;
        }
        Maxi_VerifyHit(image, s);
    }
}

using RingWalk = i32 (*)(const u8 *, i32 *, i32 *, i32 *, i32, i32, i32 *, i32, GEO_POINT *, i32 *);

// Walks directions 0..count-1 (eight from a light centre, four axes otherwise); more than
// maxFailed failed walks, or values inconsistent over the ring, fail.
bool WalkRing(RingWalk walk, i32 count, i32 maxFailed, const u8 *image, i32 *cx, i32 *cy, i32 *s, i32 threshold,
              i32 *scoreSum, i32 *walked, GEO_POINT points[kMaxiRingPoints]) {
    i32 values[kMaxiRingPoints] = {};
    i32 failed = 0;
    for (i32 k = 0; k < count; ++k) {
        if (walk(image, cx, cy, s, k, threshold, scoreSum, kWalkTolerance, points, &values[k]) != 0) {
            ++*walked;
        } else {
            ++failed;
        }
    }
    if (failed > maxFailed) return false;
    return Maxi_RingConsistency(values, points, *cx, *cy, count, kConsistencyTolerance) != 0;
}

// Type 2 (a row across ring 1): a short dark column run moves to whichever of the rows a
// ninth of the size above and below crosses less dark, a long one is read as type 4.
i32 ResolveTypeTwo(const u8 *image, const MAXI_ROW_HIT &h, i32 threshold, i32 *cy) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    const i32 r = Maxi_ColumnRunTest(image, h.x, h.y, threshold, 1);
    if (r != 1) return r == 2 ? 4 : 0;
    const i32 y1 = h.y + h.size / 9 < f.bottom ? h.y + h.size / 9 : f.bottom;
    const i32 y2 = h.y - h.size / 9 > f.top ? h.y - h.size / 9 : f.top;
    const i32 run1 = Maxi_RowRunLength(image, h.x, y1, threshold);
    const i32 run2 = Maxi_RowRunLength(image, h.x, y2, threshold);
    *cy = run1 < run2 ? y1 : y2;
    return 1;
}

}  // namespace

void Maxi_FinderReset(REGION_QUAD *region, REGION_QUAD *) {
    g_maxiFinder = MAXI_FINDER_STATE{};
    g_maxiFinder.bandLow = 1;
    g_maxiFinder.bandHigh = 0;  // no region: no row is searched
    if (region == nullptr) return;
    const i32 top = region->c[0].y;
    const i32 bottom = region->c[2].y;
    const i32 c = static_cast<i32>((static_cast<i64>(top) + bottom) >> 1);
    const i32 q = static_cast<i32>((static_cast<i64>(bottom) - top) / 4);
    g_maxiFinder.bandLow = c - q;
    g_maxiFinder.bandHigh = c + q;
}

int Maxi_FinderRowWanted() { return Par_Enabled(kSymMaxiCode) ? 1 : 0; }

void Maxi_SetSearchBounds(const FINDER_LINE *line) {
    MAXI_FINDER_STATE &f = g_maxiFinder;
    f.top = 0;
    f.left = 0;
    f.right = line->width - 1;
    f.bottom = line->limit - 1;
    f.width = line->width;
    f.height = line->height;
    f.stride = line->stride > 0 ? line->stride : line->width;
}

i32 Maxi_ReduceEdges(const EDGE_LINE *line, i32 *out, i32 capacity) {
    if (line == nullptr || line->edges == nullptr || out == nullptr || capacity <= 0) return 0;
    i32 n = line->edgeCount;
    if (n > line->capacity) n = line->capacity;
    if (n > kFinderLineEdges) n = kFinderLineEdges;
    i32 k = 0;
    while (k < n && (line->edges[k].flags & kEdgeFalling) != 0) ++k;
    i32 m = 0;
    while (k < n && m < capacity) {
        const u16 dir = line->edges[k].flags & kEdgeFalling;
        i32 best = k;
        for (++k; k < n && (line->edges[k].flags & kEdgeFalling) == dir; ++k) {
            if ((line->edges[k].flags & 0xFF) > (line->edges[best].flags & 0xFF)) best = k;
        }
        out[m++] = line->edges[best].position;
    }
    return m;
}

i32 Maxi_WidthPair(i64 a, i64 b, i32 tolerance, i32 *ratio) {
    const i64 lo = a < b ? a : b;
    const i64 hi = a < b ? b : a;
    const i64 g = tolerance - ((1024 - tolerance) >> 1);
    *ratio = hi == 0 ? 0 : static_cast<i32>(lo * 1024 / hi);
    return lo * 1024 >= g * hi ? 1 : 0;
}

i32 Maxi_PatternTest(i32 type, const i32 *e, i32 tolerance, i32 *score) {
    if (type < 1 || type > 7 || e == nullptr) return 0;
    const Pattern &p = kPatterns[type];
    i64 sum = 0;
    for (i32 k = 0; k < p.pairs; ++k) {
        const PatternPair &q = p.p[k];
        const i64 a = static_cast<i64>(q.wa) * (static_cast<i64>(e[q.ja]) - e[q.ia]);
        const i64 b = static_cast<i64>(q.wb) * (static_cast<i64>(e[q.jb]) - e[q.ib]);
        i32 ratio = 0;
        if (Maxi_WidthPair(a, b, tolerance, &ratio) == 0) return 0;
        sum += ratio;
    }
    if (sum <= static_cast<i64>(p.pairs) * tolerance) return 0;
    if (score != nullptr) *score = static_cast<i32>(sum / p.pairs);
    return 1;
}

i32 Maxi_ClassifyEdgeRun(const i32 *edges, i32 n, i32 *centre, i32 *size) {
    if (edges == nullptr || centre == nullptr || size == nullptr) return 0;
    const u8 *order = kOrderSix;
    i32 count = 0;
    if (n >= 10) {
        order = kOrderTen;
        count = sizeof(kOrderTen);
    } else if (n >= 8) {
        order = kOrderEight;
        count = sizeof(kOrderEight);
    } else if (n >= 6) {
        count = sizeof(kOrderSix);
    }
    for (i32 k = 0; k < count; ++k) {
        const Pattern &p = kPatterns[order[k]];
        i32 score = 0;
        if (Maxi_PatternTest(order[k], edges, p.tolerance, &score) == 0) continue;
        *centre = static_cast<i32>((static_cast<i64>(edges[p.centreA]) + edges[p.centreB]) >> 1);
        const i64 span = static_cast<i64>(edges[p.edges - 1]) - edges[0];
        *size = static_cast<i32>(p.doubled != 0 ? 2 * span : span);
        return order[k];
    }
    return 0;
}

i32 Maxi_HitThreshold(const u8 *image, i32 x, i32 y, i32 reach) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    if (image == nullptr || y < 0 || y >= f.height) return 0;
    const i32 start = x - reach > 0 ? x - reach : 0;
    i32 n = f.right - start < 2 * reach ? f.right - start : 2 * reach;
    if (start + n > f.width) n = f.width - start;
    if (n <= 0) return 0;
    i32 lo = 255;
    i32 hi = 0;
    for (i32 k = 0; k < n; ++k) {
        const i32 v = PixelAt(image, start + k, y);
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    return hi - lo > 7 ? (hi + lo) >> 1 : 0;
}

i32 Maxi_CentreVertically(const u8 *image, i32 *x, i32 *y, i32 threshold, i32 dark) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    if (image == nullptr || x == nullptr || y == nullptr || *y <= f.top) return 0;
    if (!InFrame(*x, *y)) return 0;
    const bool want = dark != 0;
    if (IsDark(image, *x, *y, threshold) != want) return *y < f.bottom ? 1 : 0;
    i32 up = *y - 1;
    for (;; --up) {
        if (up <= f.top) return 0;
        if (IsDark(image, *x, up, threshold) != want) break;
    }
    i32 down = *y + 1;
    for (;; ++down) {
        if (down >= f.bottom || down >= f.height) return 0;
        if (IsDark(image, *x, down, threshold) != want) break;
    }
    *y += ((down - *y) - (*y - up)) / 2;
    return 1;
}

i32 Maxi_ColumnRunTest(const u8 *image, i32 x, i32 y, i32 threshold, i32 dark) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    if (image == nullptr || !InFrame(x, y) || y <= f.top || y >= f.bottom) return 0;
    const bool want = dark != 0;
    const i32 bottom = f.bottom < f.height ? f.bottom : f.height - 1;
    // Ends of the run of one class through row r, up (step -1) or down (+1): the first row
    // of the other class, or -1 when a bound is reached first.
    auto end = [&](i32 r, i32 step, bool cls) {
        for (;; r += step) {
            if (r <= f.top || r >= bottom) return -1;
            if (IsDark(image, x, r, threshold) != cls) return r;
        }
    };
    i32 d = 0;
    i32 up = y;
    i32 down = y;
    if (IsDark(image, x, y, threshold) == want) {
        up = end(y, -1, want);
        down = end(y, 1, want);
        if (up < 0 || down < 0) return 0;
        d = down - up - 1;
    }
    const i32 above = end(up, -1, !want);
    const i32 below = end(down, 1, !want);
    if (above < 0 || below < 0) return 0;
    // A light pixel is one light run, not counted twice.
    const i32 l = (up - above) + (below - down) - (d == 0 ? 1 : 0);
    return static_cast<i64>(d) * 2 <= static_cast<i64>(d) + l ? 1 : 2;
}

i32 Maxi_RowRunLength(const u8 *image, i32 x, i32 y, i32 threshold) {
    const MAXI_FINDER_STATE &f = g_maxiFinder;
    if (image == nullptr || !InFrame(x, y)) return 0;
    const i32 v = PixelAt(image, x, y);
    if (v == threshold) return 0;
    const bool below = v < threshold;
    auto same = [&](i32 xx) {
        const i32 g = PixelAt(image, xx, y);
        return below ? g < threshold : g > threshold;
    };
    i32 a = x;
    while (a - 1 >= f.left && same(a - 1)) --a;
    i32 b = x;
    while (b + 1 <= f.right && b + 1 < f.width && same(b + 1)) ++b;
    return b - a + 1;
}

i32 Maxi_RingRatioTest(const i32 a[6], i32 *scoreSum, i32 tolerance) {
    const i64 pairs[4][2] = {
        {Abs64(135 * (static_cast<i64>(a[2]) - a[0])), Abs64(169 * (static_cast<i64>(a[3]) - a[1]))},
        {Abs64(static_cast<i64>(a[4]) - a[2]), Abs64(static_cast<i64>(a[3]) - a[1])},
        {Abs64(static_cast<i64>(a[4]) - a[2]), Abs64(static_cast<i64>(a[5]) - a[3])},
        {Abs64(134 * (static_cast<i64>(a[2]) - a[0])), Abs64(169 * (static_cast<i64>(a[5]) - a[3]))},
    };
    i64 sum = 0;
    for (const auto &p : pairs) {
        if ((p[0] > p[1] ? p[0] : p[1]) == 0) return 0;
        i32 ratio = 0;
        if (Maxi_WidthPair(p[0], p[1], tolerance, &ratio) == 0) return 0;
        sum += ratio;
    }
    if (sum <= 4 * static_cast<i64>(tolerance)) return 0;
    if (scoreSum != nullptr) *scoreSum += static_cast<i32>(sum / 4);
    return 1;
}

i32 Maxi_WalkLightCentre(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 direction, i32 threshold, i32 *scoreSum,
                         i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value) {
    if (image == nullptr || direction < 0 || direction > 7) return 0;
    const i32 dx = kDirs[direction][0];
    const i32 dy = kDirs[direction][1];
    const WalkBox box = BoxOf(*cx, *cy, *size);
    i32 a[6] = {};
    Walker along{image, *cx, *cy, dx, dy, threshold, box};
    const bool stops[5] = {true, false, true, false, true};
    if (!WalkStops(along, stops, 5, a + 1)) return 0;
    Walker against{image, *cx, *cy, -dx, -dy, threshold, box};
    if (!WalkStops(against, stops, 1, a)) return 0;
    if (a[0] == a[1] || Maxi_RingRatioTest(a, scoreSum, tolerance) == 0) return 0;
    points[direction] = GEO_POINT{along.x, along.y};
    i32 c = dx == 0 ? *cy : *cx;
    if (direction == kDirW || direction == kDirN) {
        c = (a[1] + a[0] + 1) >> 1;
        (direction == kDirW ? *cx : *cy) = c;
        *size = Abs32(2 * (c - a[5]));
    }
    auto sq = [c](i32 v) { return (static_cast<i64>(v) - c) * (static_cast<i64>(v) - c); };
    i64 v = (sq(a[5]) - sq(a[1]) + sq(a[4]) - sq(a[2])) / 15;
    if ((direction & 1) != 0) v *= 2;
    *value = static_cast<i32>(v);
    return 1;
}

i32 Maxi_WalkDarkMiddle(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 axis, i32 threshold, i32 *scoreSum,
                        i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value) {
    if (image == nullptr || axis < 0 || axis > 3) return 0;
    const i32 dx = kAxes[axis][0];
    const i32 dy = kAxes[axis][1];
    const WalkBox box = BoxOf(*cx, *cy, *size);
    const bool stops[4] = {false, true, false, true};
    i32 back[4] = {};
    Walker against{image, *cx, *cy, -dx, -dy, threshold, box};
    if (!WalkStops(against, stops, 4, back)) return 0;
    i32 fwd[4] = {};
    Walker along{image, *cx, *cy, dx, dy, threshold, box};
    if (!WalkStops(along, stops, 4, fwd)) return 0;
    const i32 b[8] = {back[3], back[2], back[1], back[0], fwd[0], fwd[1], fwd[2], fwd[3]};
    if (b[3] == b[4]) return 0;
    i32 score = 0;
    if (Maxi_PatternTest(4, b, tolerance, &score) == 0) return 0;
    if (scoreSum != nullptr) *scoreSum += score;
    points[axis] = GEO_POINT{against.x, against.y};
    points[axis + 4] = GEO_POINT{along.x, along.y};
    if (axis == 0 || axis == 2) {
        (axis == 0 ? *cx : *cy) = (b[3] + b[4] + 1) >> 1;
        *size = 2 * (b[7] - b[0]);
    }
    auto d = [&b](i32 i, i32 j) { return static_cast<i64>(b[j]) - b[i]; };
    i64 v = (d(1, 3) * d(3, 6) + d(0, 2) * d(2, 7) + d(0, 3) * d(3, 7) + d(0, 5) * d(5, 7) + d(1, 4) * d(4, 6) +
             d(0, 4) * d(4, 7)) /
            41;
    if ((axis & 1) != 0) v *= 2;
    *value = static_cast<i32>(v);
    return 1;
}

i32 Maxi_WalkSmallCentre(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 axis, i32 threshold, i32 *scoreSum,
                         i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value) {
    if (image == nullptr || axis < 0 || axis > 3) return 0;
    const i32 dx = kAxes[axis][0];
    const i32 dy = kAxes[axis][1];
    const WalkBox box = BoxOf(*cx, *cy, *size);
    const bool stops[3] = {true, false, true};
    i32 back[3] = {};
    Walker against{image, *cx, *cy, -dx, -dy, threshold, box};
    if (!WalkStops(against, stops, 3, back)) return 0;
    i32 fwd[3] = {};
    Walker along{image, *cx, *cy, dx, dy, threshold, box};
    if (!WalkStops(along, stops, 3, fwd)) return 0;
    const i32 c[6] = {back[2], back[1], back[0], fwd[0], fwd[1], fwd[2]};
    if (c[3] == c[2]) return 0;
    i32 score = 0;
    if (Maxi_PatternTest(7, c, tolerance, &score) == 0) return 0;
    if (scoreSum != nullptr) *scoreSum += score;
    points[axis] = GEO_POINT{against.x, against.y};
    points[axis + 4] = GEO_POINT{along.x, along.y};
    if (axis == 0 || axis == 2) {
        (axis == 0 ? *cx : *cy) = (c[3] + c[2] + 1) >> 1;
        *size = 2 * (c[5] - c[0]);
    }
    i64 v = 2 * ((static_cast<i64>(c[3]) - c[0]) * (static_cast<i64>(c[5]) - c[3]) +
                 (static_cast<i64>(c[2]) - c[0]) * (static_cast<i64>(c[5]) - c[2])) /
            27;
    if ((axis & 1) != 0) v *= 2;
    *value = static_cast<i32>(v);
    return 1;
}

i32 Maxi_RingConsistency(const i32 *values, const GEO_POINT *points, i32 cx, i32 cy, i32 count, i32 tolerance) {
    if (values == nullptr || points == nullptr) return 0;
    i64 q[kMaxiRingPoints] = {};
    i32 n = 0;
    i64 sum = 0;
    for (i32 j = 0; j < count && j < kMaxiRingPoints; ++j) {
        if (values[j] == 0) continue;
        const i64 d = (j == 2 || j == 6) ? static_cast<i64>(cy) - points[j].y : static_cast<i64>(cx) - points[j].x;
        i64 v = d == 0 ? 0 : static_cast<i64>(values[j]) * 65536 / (d * d);
        if ((j & 1) != 0) v /= 2;
        q[n++] = v;
        sum += v;
    }
    if (n == 0) return 0;
    const i64 m = sum / n;
    i64 dev = 0;
    for (i32 k = 0; k < n; ++k) {
        if (q[k] != 0) dev += Abs64(q[k] - m);
    }
    dev /= n;
    return static_cast<i64>(tolerance) * m < (m - dev) * 1024 ? 1 : 0;
}

i32 Maxi_RingShapeTest(const GEO_POINT points[kMaxiRingPoints]) {
    if (points == nullptr) return 0;
    i32 missing[kMaxiRingPoints] = {};
    i32 n = 0;
    for (i32 k = 0; k < kMaxiRingPoints; ++k) {
        if (points[k].x == 0 && points[k].y == 0) missing[n++] = k;
    }
    if (n > 3) return 0;
    if (n >= 2 && !(missing[1] == missing[0] + 1 || (missing[0] == 0 && missing[1] == 7))) return 0;
    if (n == 3 && missing[2] != missing[1] + 1) return 0;
    auto present = [&](i32 k) { return points[k].x != 0 || points[k].y != 0; };
    for (i32 i = 1; i <= kMaxiRingPoints; ++i) {
        const i32 p = i - 1;
        const i32 q = i % kMaxiRingPoints;
        const i32 r = (i + 1) % kMaxiRingPoints;
        if (!present(p) || !present(q) || !present(r)) continue;
        if (Maxi_CosineAt(points[q], points[r], points[p]) < -989) return 0;
    }
    return 1;
}

namespace {

i64 IntSqrt(i64 v) {
    if (v <= 0) return 0;
    i64 r = static_cast<i64>(__builtin_sqrt(static_cast<double>(v)));
    while (r > 0 && r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return r;
}

i64 Dist2(GEO_POINT a, GEO_POINT b) {
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    return dx * dx + dy * dy;
}

}  // namespace

i32 Maxi_CosineAt(GEO_POINT a, GEO_POINT b, GEO_POINT c) {
    const i64 dab = Dist2(a, b);
    const i64 dac = Dist2(a, c);
    // Points are pixels of one frame, so the product stays far below 2^63.
    const i64 l = IntSqrt(dab * dac);
    const i64 f = IntSqrt(dab);
    if (l * f <= 0) return 0;
    return static_cast<i32>((dab + dac - Dist2(b, c)) * 512 / l);
}

void Maxi_SortBullseyes(MAXI_BULLSEYE *table, i32 count) {
    if (table == nullptr) return;
    if (count > kMaxiCandidates) count = kMaxiCandidates;
    for (i32 i = 1; i < count; ++i) {
        const MAXI_BULLSEYE b = table[i];
        i32 j = i;
        for (; j > 0 && table[j - 1].score < b.score; --j) table[j] = table[j - 1];
        table[j] = b;
    }
}

i32 Maxi_VerifyHit(const u8 *image, i32 slot) {
    MAXI_FINDER_STATE &f = g_maxiFinder;
    if (image == nullptr || slot < 0 || slot >= kMaxiHitSlots) return 0;
    ClearBit(slot);
    if (f.count >= kMaxiCandidates) return 0;
    const MAXI_ROW_HIT h = f.hits[slot];
    // A flat window makes every pixel light, and every walk fails on it.
    const i32 threshold = Maxi_HitThreshold(image, h.x, h.y, h.reach);
    if (threshold == 0) return 0;
    i32 cx = h.x;
    i32 cy = h.y;
    i32 s = h.size;
    i32 type = h.type;
    if (type == 2) {
        type = ResolveTypeTwo(image, h, threshold, &cy);
        if (type == 0) return 0;
    }
    if (Maxi_CentreVertically(image, &cx, &cy, threshold, type == 4 ? 1 : 0) == 0) return 0;
    GEO_POINT points[kMaxiRingPoints] = {};
    i32 scoreSum = 0;
    i32 walked = 0;
    i32 kind = 0;
    bool ok = false;
    if (type == 4) {
        kind = 1;
        ok = WalkRing(Maxi_WalkDarkMiddle, 4, 1, image, &cx, &cy, &s, threshold, &scoreSum, &walked, points);
    } else if (type == 7) {
        kind = 2;
        ok = WalkRing(Maxi_WalkSmallCentre, 4, 1, image, &cx, &cy, &s, threshold, &scoreSum, &walked, points);
    } else {
        ok = WalkRing(Maxi_WalkLightCentre, 8, 3, image, &cx, &cy, &s, threshold, &scoreSum, &walked, points);
    }
    if (!ok || walked == 0 || Maxi_RingShapeTest(points) == 0) return 0;
    f.table[f.count++] = MAXI_BULLSEYE{cx, cy, s >> 1, scoreSum / walked, 1, kind};
    return 1;
}

void Maxi_FinderRowLine(FINDER_LINE *line) {
    if (line == nullptr || line->current == nullptr || line->pixels == nullptr) return;
    if (Loc_OtherFinderSucceeded(kFinderIdMaxiCode) != 0) return;
    MAXI_FINDER_STATE &f = g_maxiFinder;
    const i32 row = line->current->linePosition;
    if (row < f.bandLow || row > f.bandHigh) return;
    Maxi_SetSearchBounds(line);
    i32 e[kMaxiRowEdges];
    const i32 m = Maxi_ReduceEdges(line->current, e, kMaxiRowEdges);
    QueueRowHits(e, m, row);
    if (f.count <= 3) {
        VerifySlots(line->pixels, line->limit, true);
        if (f.count < kMaxiCandidates && line->height - 3 <= line->limit) VerifySlots(line->pixels, line->limit, false);
    }
    Maxi_SortBullseyes(f.table, f.count);
    if (f.count > 0) g_finderState.success[kFinderIdMaxiCode] = 1;
}

}  // namespace vexo
