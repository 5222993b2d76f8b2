// The Aztec bulls-eye finder's row side: row band, alternating edges, run windows, the
// previous-row check, the candidate queue and the hand-out order.
#include "aztec_maxicode/azt_finder.h"

#include "core/params.h"
#include "core/pixel.h"
#include "locate/finder_services.h"

namespace vexo {

AZT_FINDER_STATE g_aztFinder = {};

namespace {

// Ray directions clockwise from up: strides as multiples of the image width plus a column
// step, and 512 x the length of one step.
struct RayDirection {
    i8 rowsA, colsA, rowsB, colsB;
    u16 weight;
};
constexpr RayDirection kRayDirections[kAztRays] = {
    {-1, 0, -1, 0, 512}, {-1, 0, -1, 1, 572},  {-1, 1, -1, 1, 724},  {0, 1, -1, 1, 572},   // 0 up
    {0, 1, 0, 1, 512},   {0, 1, 1, 1, 572},    {1, 1, 1, 1, 724},    {1, 0, 1, 1, 572},    // 4 right
    {1, 0, 1, 0, 512},   {1, 0, 1, -1, 572},   {1, -1, 1, -1, 724},  {0, -1, 1, -1, 572},  // 8 down
    {0, -1, 0, -1, 512}, {0, -1, -1, -1, 572}, {-1, -1, -1, -1, 724}, {-1, 0, -1, -1, 572},  // 12 left
};
static_assert(sizeof(kRayDirections) / sizeof(kRayDirections[0]) == kAztRays);

constexpr u32 kAztDarkOnLight = kFlag2DDarkOnLight;
constexpr u32 kAztLightOnDark = kFlag2DLightOnDark;

// The six positions a window is checked with on the previous row: the outer three edges
// of each side.
constexpr u8 kReferences8[6] = {0, 1, 2, 5, 6, 7};
constexpr u8 kReferences6[6] = {0, 1, 2, 3, 4, 5};

int Abs(int v) { return v < 0 ? -v : v; }
u16 U16(i32 v) { return static_cast<u16>(v); }
int S16(i32 v) { return static_cast<i16>(static_cast<u16>(v)); }

bool Rising(const EDGE_ITEM &e) { return static_cast<i16>(e.flags) > 0; }
u16 Position(const EDGE_ITEM &e) { return static_cast<u16>(e.position); }

bool QueueHasEntries() {
    const AZT_FINDER_STATE &f = g_aztFinder;
    return f.sameLap == 0 || f.read < f.write;
}

bool QueueHasRoom() {
    const AZT_FINDER_STATE &f = g_aztFinder;
    return f.sameLap != 0 || f.write < f.read;
}

// Advances a ring position; the lap flag toggles on every wrap of either side.
void AdvanceRing(u16 *position) {
    if (++*position >= kAztQueueEntries) {
        *position = 0;
        g_aztFinder.sameLap = g_aztFinder.sameLap != 0 ? 0 : 1;
    }
}

// The usable part of a line's edge list.
u16 EdgeCount(const EDGE_LINE *line) {
    if (line == nullptr || line->edges == nullptr || line->edgeCount <= 0) return 0;
    i32 n = line->edgeCount < kAztRowEdges ? line->edgeCount : kAztRowEdges;
    if (line->capacity >= 0 && n > line->capacity) n = line->capacity;
    return static_cast<u16>(n);
}

// Appends one entry; false when the writer has caught up with the reader.
bool QueueWindow(const u16 e[8], int kind, int b, u16 y) {
    AZT_FINDER_STATE &f = g_aztFinder;
    AZT_QUEUE_ENTRY &q = f.queue[f.write];
    if (kind == 8) {
        u32 sum = 0;
        for (int k = 0; k < 8; ++k) sum += e[k];
        q.x = U16((sum + 4) >> 3);
        q.width = 0;
        q.due = U16(y + 2 * U16(e[7] - e[0]));
    } else {
        q.x = e[2];
        q.width = U16((U16(e[3] - e[2]) + 8) >> 4);
        q.due = U16(y + 2 * U16(e[5] - e[0]));
    }
    q.y = y;
    q.polarity = b == 0 ? 1 : 0;
    AdvanceRing(&f.write);
    return !(f.sameLap == 0 && f.write == f.read);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The finder table entry

void Azt_FinderReset(REGION_QUAD *aligned, REGION_QUAD *) {
    AZT_FINDER_STATE &f = g_aztFinder;
    const i32 w = g_image.width;
    for (int k = 0; k < kAztRays; ++k) {
        const RayDirection &d = kRayDirections[k];
        AZT_RAY &ray = g_aztVerify.rays[k];
        ray.strideA = static_cast<i16>(d.rowsA * w + d.colsA);
        ray.strideB = static_cast<i16>(d.rowsB * w + d.colsB);
        ray.weight = d.weight;
    }
    f.read = 0;
    f.write = 0;
    f.sameLap = 1;
    f.count = 0;
    f.firstRelevant = 0;
    f.handOut = 0;
    f.centreX = g_image.width >> 1;
    f.centreY = g_image.height >> 1;
    if (aligned == nullptr) {
        f.bandLow = 1;
        f.bandHigh = 0;
        return;
    }
    const i32 top = aligned->c[kTopLeft].y;
    const i32 bottom = aligned->c[kBottomLeft].y;
    const i32 mid = static_cast<i32>((static_cast<i64>(top) + bottom) >> 1);
    const i32 quarter = static_cast<i32>((static_cast<i64>(bottom) - top) / 4);
    f.bandLow = mid - quarter;
    f.bandHigh = mid + quarter;
}

int Azt_FinderRowWanted() { return Par_Enabled(kSymAztec) ? 1 : 0; }

void Azt_FinderRowLine(FINDER_LINE *line) {
    if (Loc_OtherFinderSucceeded(kFinderIdAztec) != 0) return;
    if (line == nullptr || line->current == nullptr) return;
    const i32 row = line->current->linePosition;
    if (row < g_aztFinder.bandLow || row > g_aztFinder.bandHigh) return;
    if (line->previous == nullptr || line->previous->samples == nullptr) return;
    if (QueueHasEntries()) Azt_VerifyQueued(U16(line->limit));
    if (QueueHasRoom()) Azt_ScanFinderRow(line);
    if (g_aztFinder.count > 0) g_finderState.success[kFinderIdAztec] = 1;
}

void Azt_FinderRowsDone() {
    if (g_aztFinder.count > 0) g_finderState.success[kFinderIdAztec] = 1;
}

// ---------------------------------------------------------------------------------------
// Row scan

int Azt_AlternateEdges(u16 *out, u16 *count, const EDGE_ITEM *edges, u16 n) {
    u16 kept = 0;
    int first = 0;
    if (edges != nullptr && n > 0) {
        first = Rising(edges[0]) ? 1 : 0;
        bool expectRising = first != 0;
        int lastStep = 0;
        for (u16 k = 0; k < n; ++k) {
            const bool rising = Rising(edges[k]);
            const int step = edges[k].flags & 0xFF;
            if (rising == expectRising) {
                if (kept >= kAztRowEdges) break;
                out[kept++] = Position(edges[k]);
                lastStep = step;
                expectRising = !expectRising;
            } else if (kept > 0 && step > lastStep) {
                out[kept - 1] = Position(edges[k]);
                lastStep = step;
            }
        }
    }
    if (count != nullptr) *count = kept;
    return first;
}

int Azt_ClassifyRuns(const u16 e[8]) {
    const int s = U16(e[5] - e[0]);
    if (s > 7468) return 0;
    const int a12 = U16(e[2] - e[0]);
    const int a23 = U16(e[3] - e[1]);
    const int a34 = U16(e[4] - e[2]);
    const int a45 = U16(e[5] - e[3]);
    const int outer = S16(a12 + a45);
    const int mid = U16(e[3] - e[2]);
    if (outer <= 640 && mid >= (3 * outer) / 8) {
        const bool runs = 4 * a12 >= s && 4 * a45 >= s && 5 * mid >= s && 25 * Abs(S16(a45 - a12)) <= 4 * s &&
                          25 * Abs(S16(U16(e[4] - e[3]) - U16(e[2] - e[1]))) <= 2 * s && 2 * a23 <= 5 * a12 &&
                          2 * a34 <= 5 * a12 && 2 * a23 <= 5 * a45 && 2 * a34 <= 5 * a45;
        if (!runs) return 0;
        const u16 d = U16(Abs(S16(e[2] + e[3] - e[0] - e[5])) + 2 * Abs(S16(e[1] + e[4] - e[0] - e[5])) +
                          Abs(S16(a45 - a12)) + Abs(S16(e[1] + e[4] - e[2] - e[3])) + Abs(S16(a34 - 2 * a45)) +
                          Abs(S16(a23 - 2 * a12)));
        return d <= 400 && d <= s ? 6 : 0;
    }
    const int b1 = U16(e[2] - e[0]);
    const int b2 = U16(e[3] - e[1]);
    const int b3 = U16(e[6] - e[4]);
    const int b4 = U16(e[7] - e[5]);
    const int t = b1 + b2 + b3 + b4;
    const int spread = Abs(4 * b1 - t) + Abs(4 * b2 - t) + Abs(4 * b3 - t) + Abs(4 * b4 - t);
    const int shortest = a34 < a45 ? a34 : a45;
    return 7 * spread <= 4 * s && 2 * Abs(t - 4 * shortest) <= s ? 8 : 0;
}

u16 Azt_NearestEdge(u16 target, int rising, u16 from, u16 below, const EDGE_ITEM *edges, u16 n) {
    if (edges == nullptr) return 0;
    u16 k = 0;
    while (k < n && Position(edges[k]) < from) ++k;
    u16 best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (; k < n && Position(edges[k]) < below; ++k) {
        if ((Rising(edges[k]) ? 1 : 0) != rising) continue;
        const int distance = Abs(Position(edges[k]) - target);
        if (distance >= bestDistance) break;
        bestDistance = distance;
        best = Position(edges[k]);
    }
    return best;
}

void Azt_MatchNeighbourEdges(const u16 p[6], int rising, const EDGE_ITEM *edges, int n, u16 found[6]) {
    const u16 count = U16(n < 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n));
    const int other = rising != 0 ? 0 : 1;
    const int c = (p[0] + p[5] + 1) >> 1;
    int shift[6];
    for (int i = 0; i < 6; ++i) {
        const u16 target = U16((3 * p[i] + c + 2) >> 2);
        found[i] = Azt_NearestEdge(target, (i & 1) == 0 ? rising : other, U16(target - 128), U16(target + 128),
                                   edges, count);
        shift[i] = found[i] != 0 ? Abs(found[i] - p[i]) : 255;
    }
    // One edge cannot partner two positions: the farther claim goes.
    for (int i = 0; i < 6; ++i) {
        for (int j = i + 2; j < 6; j += 2) {
            if (found[i] == 0 || found[i] != found[j]) continue;
            if (shift[j] > shift[i]) {
                found[j] = 0;
            } else {
                found[i] = 0;
            }
        }
    }
    // Partners must keep the order of their positions.
    for (int i = 0; i < 5; ++i) {
        if (found[i] == 0 || found[i + 1] == 0 || found[i + 1] >= found[i]) continue;
        if (shift[i + 1] > shift[i]) {
            found[i + 1] = 0;
            ++i;  // the next pair starts at the dropped one
        } else {
            found[i] = 0;
        }
    }
    // Search again between the neighbours that stand.
    for (int i = 0; i < 6; ++i) {
        if (found[i] != 0) continue;
        u16 lo = U16(p[i] - 128);
        u16 hi = U16(p[i] + 128);
        for (int j = i - 1; j >= 0; --j) {
            if (found[j] == 0) continue;
            if (found[j] > lo) lo = found[j];
            break;
        }
        for (int j = i + 1; j < 6; ++j) {
            if (found[j] == 0) continue;
            if (found[j] < hi) hi = found[j];
            break;
        }
        found[i] = Azt_NearestEdge(p[i], (i & 1) == 0 ? rising : other, U16(lo + 1), U16(hi - 1), edges, count);
    }
}

int Azt_NeighbourEdgesAgree(const u16 p[6], const u16 found[6]) {
    int lo[2] = {255, 255};
    int hi[2] = {-255, -255};
    bool seen[2] = {false, false};
    int missing = 0;
    for (int i = 0; i < 6; ++i) {
        if (found[i] == 0) {
            ++missing;
            continue;
        }
        const int g = i < 3 ? 0 : 1;
        int d = found[i] - p[i];
        if (!seen[g]) {
            d = d < -255 ? -255 : (d > 255 ? 255 : d);
            seen[g] = true;
        }
        if (d < lo[g]) lo[g] = d;
        if (d > hi[g]) hi[g] = d;
    }
    const int e = lo[0], g = hi[0], t = lo[1], r = hi[1];
    const int w = p[5] - p[0];
    if ((missing > 4 && w > 300) || (missing > 2 && w > 500)) return 0;
    if (w < 5 * ((g - e) + (r - t)) || t - g > 25) return 0;
    return r - e <= 25 ? 1 : 0;
}

void Azt_ScanFinderRow(FINDER_LINE *line) {
    if (line == nullptr || line->current == nullptr) return;
    AZT_FINDER_STATE &f = g_aztFinder;
    const EDGE_LINE *cur = line->current;
    const int first = Azt_AlternateEdges(f.edges, &f.edgeCount, cur->edges, EdgeCount(cur));
    const u32 word = g_params.flagsWord[kSymAztec];
    const EDGE_LINE *prev = line->previous;
    const EDGE_ITEM *prevEdges = prev != nullptr ? prev->edges : nullptr;
    const u16 prevCount = EdgeCount(prev);
    const u16 y = U16(cur->linePosition16);
    u16 cursor = 0;
    for (int k = 0; k + 8 < f.edgeCount; ++k) {
        const int b = first ^ (k & 1);
        if ((word & (b != 0 ? kAztDarkOnLight : kAztLightOnDark)) == 0) continue;
        const u16 *e = &f.edges[k];
        const int kind = Azt_ClassifyRuns(e);
        if (kind == 0) continue;
        while (cursor < prevCount && static_cast<int>(Position(prevEdges[cursor])) < e[0] - 128) ++cursor;
        const u8 *ref = kind == 8 ? kReferences8 : kReferences6;
        const u16 p[6] = {e[ref[0]], e[ref[1]], e[ref[2]], e[ref[3]], e[ref[4]], e[ref[5]]};
        u16 found[6];
        Azt_MatchNeighbourEdges(p, b, prevEdges != nullptr ? prevEdges + cursor : nullptr, prevCount - cursor, found);
        if (Azt_NeighbourEdgesAgree(p, found) == 0) continue;
        if (!QueueWindow(e, kind, b, y)) return;
    }
}

// ---------------------------------------------------------------------------------------
// Queue and table

void Azt_VerifyQueued(u16 row) {
    AZT_FINDER_STATE &f = g_aztFinder;
    const i32 limit = (row & 0xFFF) * 16;
    while (QueueHasEntries() && f.queue[f.read].due <= limit) {
        const AZT_QUEUE_ENTRY entry = f.queue[f.read];
        AdvanceRing(&f.read);
        if (f.count >= kAztMaxBullseyes) continue;
        if (Azt_VerifyBullseye(&entry, &f.table[f.count]) == 1) ++f.count;
    }
}

int Azt_InsideFoundBullseye(const AZT_QUEUE_ENTRY *entry) {
    if (entry == nullptr) return 0;
    AZT_FINDER_STATE &f = g_aztFinder;
    while (f.firstRelevant < f.count && f.table[f.firstRelevant].maxY < entry->y) ++f.firstRelevant;
    for (u16 k = f.firstRelevant; k < f.count && k < kAztMaxBullseyes; ++k) {
        const AZT_BULLSEYE &b = f.table[k];
        if (entry->x > b.minX && entry->x < b.maxX && entry->y > b.minY && entry->y < b.maxY) return 1;
    }
    return 0;
}

void Azt_OrderBullseyes(u8 *order, const i32 centre[2]) {
    if (order == nullptr || centre == nullptr) return;
    const AZT_FINDER_STATE &f = g_aztFinder;
    i32 keys[kAztMaxBullseyes];
    const int n = f.count < kAztMaxBullseyes ? f.count : kAztMaxBullseyes;
    for (int i = 0; i < n; ++i) {
        const int dx = S16(((f.table[i].centreX + 8) >> 4) - centre[0]);
        const int dy = S16(((f.table[i].centreY + 8) >> 4) - centre[1]);
        const i32 key = dx * dx + dy * dy;
        int at = 0;
        while (at < i && keys[at] < key) ++at;
        for (int j = i; j > at; --j) {
            keys[j] = keys[j - 1];
            order[j] = order[j - 1];
        }
        keys[at] = key;
        order[at] = static_cast<u8>(i);
    }
}

AZT_BULLSEYE *Azt_NextBullseyeCandidate() {
    AZT_FINDER_STATE &f = g_aztFinder;
    if (f.count == 0) return nullptr;
    if (f.handOut == 0) {
        Azt_VerifyQueued(0xFFFF);
        const i32 centre[2] = {f.centreX, f.centreY};
        Azt_OrderBullseyes(f.order, centre);
    }
    if (f.handOut >= f.count || f.handOut >= kAztMaxBullseyes) return nullptr;
    AZT_BULLSEYE *b = &f.table[f.order[f.handOut]];
    Azt_RefineCorners(b);
    Azt_OrientBullseye(b);
    ++f.handOut;
    return b;
}

}  // namespace vexo
