// The Data Matrix entry of the 2D finder table: edges of each scanned line paired with those
// of the line before, and tracked from line to line into straight edge segments.
#include "datamatrix/dm_finder.h"

#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

DM_FINDER_STORE g_dmFinder;

// round(16 x atan(d / 64) in degrees), d = 0..99 (source: the expression itself; a test
// rebuilds it).
const i16 kDmAngleT1[kDmAngleEntries] = {
    0,   14,  29,  43,  57,  71,  86,  100, 114, 128, 142, 156, 170, 184, 197, 211, 225, 238, 251, 265,
    278, 291, 304, 316, 329, 341, 354, 366, 378, 390, 402, 414, 425, 436, 448, 459, 470, 481, 491, 502,
    512, 522, 532, 542, 552, 562, 571, 581, 590, 599, 608, 617, 626, 634, 642, 651, 659, 667, 675, 683,
    690, 698, 705, 713, 720, 727, 734, 741, 748, 754, 761, 767, 774, 780, 786, 792, 798, 804, 810, 816,
    821, 827, 832, 838, 843, 848, 854, 859, 864, 868, 873, 878, 883, 887, 892, 897, 901, 905, 910, 914,
};
static_assert(sizeof(kDmAngleT1) / sizeof(kDmAngleT1[0]) == kDmAngleEntries);

i32 DM_AngleT2(i32 d) { return 1440 - kDmAngleT1[d]; }

namespace {

// A match differs by at most this much along the line (1/16 pixel).
constexpr i32 kMaxMatchDistance = 95;
// A segment must cross more than this (1/16 pixel of line coordinate) to be kept.
constexpr i32 kTrackMinSpan = 240;
constexpr i32 kCloseMinSpan = 239;
constexpr i32 kLineStep16 = 64;
// A step turns by less than this (1/16 degree) to extend its segment.
constexpr i32 kMaxTurn = 480;

u32 ConfigWord() { return g_params.flagsWord[kSymDataMatrix]; }

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// Inclination of a displacement per line step; |d| is at most 95 for a counted match.
i32 AngleOfDisplacement(i32 d) {
    if (d > kDmAngleEntries - 1) d = kDmAngleEntries - 1;
    if (d < -(kDmAngleEntries - 1)) d = -(kDmAngleEntries - 1);
    return d > 0 ? kDmAngleT1[d] : -kDmAngleT1[-d];
}

bool Falling(const EDGE_ITEM &e) { return (e.flags & kEdgeFalling) != 0; }
i32 StepOf(const EDGE_ITEM &e) { return e.flags & 0xFF; }
i32 HalfLevelOf(const EDGE_ITEM &e) { return (e.flags >> 8) & 0x7F; }

bool ContrastsAgree(const EDGE_ITEM &a, const EDGE_ITEM &b) {
    const i32 ds = Abs(StepOf(a) - StepOf(b));
    const i32 dh = Abs(HalfLevelOf(a) - HalfLevelOf(b));
    const i32 g = 2 * (HalfLevelOf(a) + HalfLevelOf(b));
    const i32 qs = g != 0 ? 128 * ds / g : 0;
    const i32 qh = g != 0 ? 256 * dh / g : 0;
    return (ds <= 8 || qs <= 16) && (qh <= 8 || dh <= 4);
}

// Per polarity (0 falling, 1 rising) the index of the first edge at or after each index.
struct NEXT_BY_POLARITY {
    i16 next[2][kFinderLineEdges + 1];
};

void BuildNext(const EDGE_ITEM *edges, i32 count, NEXT_BY_POLARITY *n) {
    n->next[0][count] = -1;
    n->next[1][count] = -1;
    for (i32 k = count - 1; k >= 0; --k) {
        const i32 pol = Falling(edges[k]) ? 0 : 1;
        n->next[pol][k] = static_cast<i16>(k);
        n->next[1 - pol][k] = n->next[1 - pol][k + 1];
    }
}

// One side of the walk: its edges, the next index and the last edge passed per polarity.
struct WALK_SIDE {
    const EDGE_ITEM *edges;
    i32 count;
    i32 index;
    i32 lastPassed[2];
    const NEXT_BY_POLARITY *next;
};

// The edge of `other` that `e` matches: the first of its polarity at or after other's
// index, or the last of its polarity passed, whichever is nearer; -1 without a later one.
i32 MatchIn(const EDGE_ITEM &e, const WALK_SIDE &other) {
    const i32 pol = Falling(e) ? 0 : 1;
    const i32 later = other.next->next[pol][other.index];
    if (later < 0) return -1;
    const i32 earlier = other.lastPassed[pol];
    if (earlier < 0) return later;
    const i32 mid = (other.edges[earlier].position + other.edges[later].position) / 2;
    return mid < e.position ? later : earlier;
}

void InsertPair(DM_EDGE_PAIR *out, i32 *n, const DM_EDGE_PAIR &p) {
    i32 at = *n;
    while (at > 0 && out[at - 1].prevPos > p.prevPos) --at;
    if (at > 0 && out[at - 1].prevPos == p.prevPos && out[at - 1].curPos == p.curPos) return;
    for (i32 k = *n; k > at; --k) out[k] = out[k - 1];
    out[at] = p;
    ++*n;
}

void OfferMatch(const EDGE_ITEM &prev, const EDGE_ITEM &cur, DM_EDGE_PAIR *out, i32 *n) {
    if (Abs(prev.position - cur.position) > kMaxMatchDistance || !ContrastsAgree(prev, cur)) return;
    const DM_EDGE_PAIR p{static_cast<u16>(prev.position), cur.position, static_cast<u16>(StepOf(cur)),
                         static_cast<i16>(prev.flags) > 0 ? 1 : 0};
    InsertPair(out, n, p);
}

void Pass(WALK_SIDE *side) {
    const EDGE_ITEM &e = side->edges[side->index];
    side->lastPassed[Falling(e) ? 0 : 1] = side->index;
    ++side->index;
}

u16 AllocateSegment() {
    const i32 top = kDmMaxSegments - 1 - g_dmFinder.allocated;
    ++g_dmFinder.allocated;
    return g_dmFinder.freeList[top];
}

// Frees the active segment at window index k: the last one takes its place.
void FreeActive(i32 k) {
    DM_FINDER_STORE &f = g_dmFinder;
    const i32 at = f.windowStart + k;
    const i32 last = f.windowStart + f.windowLength - 1;
    DM_ReleaseSegmentId(f.list[at]);
    f.list[at] = f.list[last];
    --f.windowLength;
}

// Finishes the active segment at window index k: it moves before the window.
void FinishActive(i32 k) {
    DM_FINDER_STORE &f = g_dmFinder;
    const i32 at = f.windowStart + k;
    const u16 id = f.list[at];
    f.list[at] = f.list[f.windowStart];
    f.list[f.windowStart] = id;
    ++f.windowStart;
    --f.windowLength;
}

// Index of a pair whose prevPos is pos (the first of equals), or -1.
i32 FindPair(const DM_EDGE_PAIR *pairs, i32 count, u16 pos) {
    i32 lo = 0, hi = count;
    while (lo < hi) {
        const i32 mid = (lo + hi) / 2;
        if (pairs[mid].prevPos < pos) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo < count && pairs[lo].prevPos == pos ? lo : -1;
}

// Of the found pair and a neighbour with the same prevPos, the one whose displacement lies
// strictly nearer to k wins; the found pair, when it loses, is cancelled.
i32 ResolveFork(DM_EDGE_PAIR *pairs, i32 count, i32 found, i32 k) {
    const i32 neighbours[2] = {found + 1, found - 1};
    for (i32 n : neighbours) {
        if (n < 0 || n >= count || pairs[n].prevPos != pairs[found].prevPos) continue;
        const i32 dFound = Abs(pairs[found].curPos - static_cast<i32>(pairs[found].prevPos) - k);
        const i32 dOther = Abs(pairs[n].curPos - static_cast<i32>(pairs[n].prevPos) - k);
        if (dOther < dFound) {
            pairs[found].curPos = 0;
            return n;
        }
        return found;
    }
    return found;
}

// Extends active segment k with its pair; false when the segment ends here.
bool ExtendSegment(DM_SEGMENT &s, DM_EDGE_PAIR *pairs, i32 count) {
    i32 found = FindPair(pairs, count, static_cast<u16>(s.x1));
    if (found < 0) return false;
    found = ResolveFork(pairs, count, found, static_cast<i8>(s.angle & 0xFF));
    DM_EDGE_PAIR &p = pairs[found];
    if (p.curPos == 0) return false;
    const i32 angle = AngleOfDisplacement(p.curPos - static_cast<i32>(p.prevPos));
    if (Abs(angle - s.angle) >= kMaxTurn) return false;
    s.x1 = p.curPos;
    s.contrast = static_cast<u16>(s.contrast + p.step);
    s.y1 = static_cast<i16>(s.y1 + kLineStep16);
    s.angle = static_cast<i16>(angle);
    p.curPos = 0;
    return true;
}

void StartSegments(const DM_EDGE_PAIR *pairs, i32 count, i32 previousLine) {
    DM_FINDER_STORE &f = g_dmFinder;
    for (i32 k = 0; k < count && f.allocated < kDmMaxSegments; ++k) {
        const DM_EDGE_PAIR &p = pairs[k];
        if (p.curPos == 0) continue;
        const u16 id = AllocateSegment();
        f.list[f.windowStart + f.windowLength] = id;
        ++f.windowLength;
        DM_SEGMENT &s = f.segments[id];
        s = DM_SEGMENT{};
        s.x0 = static_cast<i16>(p.prevPos);
        s.y0 = static_cast<i16>(previousLine);
        s.x1 = p.curPos;
        s.y1 = static_cast<i16>(previousLine + kLineStep16);
        s.contrast = p.step;
        s.angle = static_cast<i16>(AngleOfDisplacement(p.curPos - static_cast<i32>(p.prevPos)));
        s.flag = p.rising;
    }
}

void HandleLine(FINDER_LINE *line) {
    if (Loc_OtherFinderSucceeded(kFinderIdDataMatrix) != 0 || line == nullptr) return;
    const EDGE_LINE *prev = line->previous;
    if (prev == nullptr || prev->samples == nullptr || line->current == nullptr) return;
    DM_EDGE_PAIR pairs[kDmMaxLinePairs];
    const i32 n = DM_PairLineEdges(line, pairs);
    if (n > 0) DM_TrackSegments(pairs, static_cast<u16>(n), line->current->linePosition16 - kLineStep16);
}

}  // namespace

void DM_ReleaseSegmentId(u16 id) {
    --g_dmFinder.allocated;
    g_dmFinder.freeList[kDmMaxSegments - 1 - g_dmFinder.allocated] = id;
}

i32 DM_PairLineEdges(const FINDER_LINE *line, DM_EDGE_PAIR *out) {
    if (line == nullptr || line->previous == nullptr || line->current == nullptr || out == nullptr) return 0;
    const EDGE_LINE &pl = *line->previous;
    const EDGE_LINE &cl = *line->current;
    const auto clampCount = [](const EDGE_LINE &l) {
        const i32 c = l.edgeCount < l.capacity ? l.edgeCount : l.capacity;
        return l.edges == nullptr || c < 0 ? 0 : (c > kFinderLineEdges ? kFinderLineEdges : c);
    };
    NEXT_BY_POLARITY nextPrev, nextCur;
    WALK_SIDE prev{pl.edges, clampCount(pl), 0, {-1, -1}, &nextPrev};
    WALK_SIDE cur{cl.edges, clampCount(cl), 0, {-1, -1}, &nextCur};
    BuildNext(prev.edges, prev.count, &nextPrev);
    BuildNext(cur.edges, cur.count, &nextCur);
    i32 n = 0;
    while (prev.index < prev.count && cur.index < cur.count && n < kDmMaxLinePairs) {
        const EDGE_ITEM &c = cur.edges[cur.index];
        const EDGE_ITEM &p = prev.edges[prev.index];
        if (c.position < p.position) {
            const i32 m = MatchIn(c, prev);
            if (m >= 0) OfferMatch(prev.edges[m], c, out, &n);
            Pass(&cur);
        } else {
            const i32 m = MatchIn(p, cur);
            if (m >= 0) OfferMatch(p, cur.edges[m], out, &n);
            Pass(&prev);
        }
    }
    return n;
}

void DM_TrackSegments(DM_EDGE_PAIR *pairs, u16 count, i32 previousLine) {
    DM_FINDER_STORE &f = g_dmFinder;
    const i32 n = count < kDmMaxLinePairs ? count : kDmMaxLinePairs;
    i32 k = 0;
    while (k < f.windowLength) {
        DM_SEGMENT &s = f.segments[f.list[f.windowStart + k]];
        if (ExtendSegment(s, pairs, n)) {
            ++k;
        } else if (s.y1 - s.y0 <= kTrackMinSpan) {
            FreeActive(k);
        } else {
            FinishActive(k);
        }
    }
    StartSegments(pairs, n, previousLine);
}

void DM_TrackIfPairs(DM_EDGE_PAIR *pairs, u16 count, i32 previousLine) {
    if (count > 0) DM_TrackSegments(pairs, count, previousLine);
}

void DM_CloseActiveSegments() {
    DM_FINDER_STORE &f = g_dmFinder;
    while (f.windowLength > 0) {
        const DM_SEGMENT &s = f.segments[f.list[f.windowStart]];
        if (s.y1 - s.y0 <= kCloseMinSpan) {
            FreeActive(0);
        } else {
            FinishActive(0);
        }
    }
}

void DM_ResetSegmentStore() {
    DM_FINDER_STORE &f = g_dmFinder;
    f.allocated = 0;
    f.windowStart = 0;
    f.windowLength = 0;
    f.rowSegments = 0;
    f.prepared = 0;
    f.pending = nullptr;
    for (i32 k = 0; k < kDmMaxSegments; ++k) f.freeList[k] = static_cast<u16>(kDmMaxSegments - 1 - k);
}

void DM_FinderReset(REGION_QUAD *, REGION_QUAD *) {
    DM_ResetSegmentStore();
    const u32 word = ConfigWord();
    g_dmFinder.slots[0].darkOnLight = (word & kFlag2DDarkOnLight) != 0 ? 1 : 0;
    g_dmFinder.slots[1].darkOnLight = (word & kFlag2DLightOnDark) == 0 ? 1 : 0;
}

int DM_FinderRowWanted() { return Par_Enabled(kSymDataMatrix) ? 1 : 0; }

int DM_FinderColumnWanted() { return Par_Enabled(kSymDataMatrix) ? 1 : 0; }

void DM_FinderRowLine(FINDER_LINE *line) { HandleLine(line); }

void DM_FinderColumnLine(FINDER_LINE *line) { HandleLine(line); }

void DM_FinderRowFinish() {
    DM_CloseActiveSegments();
    g_dmFinder.rowSegments = g_dmFinder.allocated;
}

void DM_FinderColumnFinish() {}

}  // namespace vexo
