#include "linear/line_search.h"

namespace vexo {

namespace {

struct Line {
    const u16 *e;
    i32 n;
    i64 length;
    i32 start;

    i32 W(i32 from, i32 to) const { return static_cast<i32>(e[to]) - static_cast<i32>(e[from]); }
};

Line ViewOf(const LINE_LOCATE_STATE *st) {
    return Line{st->edges, st->edges != nullptr ? st->edgeCount : 0, st->lineLength, st->lineStart};
}

bool Similar(i32 prev, i32 w) { return 4 * prev <= 5 * w && 5 * w <= 6 * prev; }
bool Loose(i32 prev, i32 w) { return 3 * prev <= 5 * w && 5 * w <= 7 * prev; }

bool Accepts(LineEdgeMatcher m, const u16 *p) { return m != nullptr && m(p) != 0; }
bool Accepts(LineStartMatcher m, const u16 *p, u16 *value) { return m != nullptr && m(p, value) != 0; }

// Room behind the edge that ends the symbol: to the line's end, and over the next element
// or the next two where the line has them.
bool QuietAfter(const Line &L, i32 end, i32 ref) {
    if (L.length - L.e[end] < ref) return false;
    if (L.n == end + 2 && L.W(end, end + 1) < ref) return false;
    if (end + 1 < L.n - 1 && L.W(end, end + 2) < ref) return false;
    return true;
}

// Room before the edge that begins the symbol: from the line's start, and over the
// element or the two elements before it.
bool QuietBefore(const Line &L, i32 first, i32 ref) {
    const i32 fromStart = static_cast<i32>(L.e[first]) - L.start;
    if ((fromStart < 0 ? -fromStart : fromStart) < ref) return false;
    if (first == 1 && L.W(0, 1) < ref) return false;
    if (first > 1 && L.W(first - 2, first) < ref) return false;
    return true;
}

// A character of similar width right before the run: the run would begin earlier.
bool PrecededBySimilar(const Line &L, i32 c, i32 a) { return c >= a && Similar(L.W(c, c + a), L.W(c - a, c)); }

// Industrial and IATA 2 of 5: the two spaces of each character are nearly equal.
bool SpacesEven(const Line &L, i32 k, i32 d) {
    for (; k < d - 2; k += 2) {
        if (k + 4 > L.n - 1) break;  // the pair's second space would end beyond the last edge
        const i32 g = L.W(k + 1, k + 2);
        const i32 h = L.W(k + 3, k + 4);
        const i32 diff = g > h ? g - h : h - g;
        if (g + h < 4 * diff) return false;
    }
    return true;
}

// End of the run of similar characters that begins at edge c, measured from edge c + a -
// lead (the plain search's runs end on a character boundary, lead 0; the alternative
// search's on the trailing edge of the last bar, lead 1). Without a second similar
// character the run is the first one alone.
i32 RunEnd(const Line &L, i32 c, i32 a, i32 lead) {
    i32 d = c + a - lead;
    if (c + 2 * a >= L.n || !Similar(L.W(c, c + a), L.W(c + a, c + 2 * a))) return d;
    i32 prev = L.W(c + a, c + 2 * a);
    d += a;
    while (d + a < L.n && Similar(prev, L.W(d, d + a))) {
        prev = L.W(d, d + a);
        d += a;
    }
    return d;
}

struct Matchers {
    LineEdgeMatcher start, reversedStart, reversedStop, stop;
};

// The run c..d of Line_FindStartStop with its start and stop patterns outside it.
bool PatternsAround(LINE_LOCATE_STATE *st, const Line &L, const u8 *b, const Matchers &m, i32 c, i32 d,
                    bool forward) {
    const i32 a = b[kBlockStride];
    const i32 ref = b[kBlockRefElements];
    if (d - c < b[kBlockMinRun]) return false;
    const u8 id = b[kBlockSymbologyId];
    if ((id == 18 || id == 19) && !SpacesEven(L, forward ? c : c + 1, d)) return false;

    const i32 f = forward ? b[kBlockStopElements] : b[kBlockStartElements];
    if (d + f >= L.n || d < ref || d + f < 1) return false;
    if (!QuietAfter(L, d + f, L.W(d - ref, d))) return false;
    if (!Accepts(forward ? m.stop : m.reversedStart, &L.e[d + f - 1])) return false;
    const i32 g = forward ? b[kBlockStartElements] : b[kBlockStopElements];
    if (c < g || c + ref >= L.n) return false;
    if (!QuietBefore(L, c - g, L.W(c, c + ref))) return false;
    if (!Accepts(forward ? m.start : m.reversedStop, &L.e[c - g])) return false;
    st->startIndex = static_cast<u16>(forward ? c - g : d + f);
    st->endIndex = static_cast<u16>(forward ? d + f : c - g);
    return !PrecededBySimilar(L, c, a);
}

int Leave(LINE_LOCATE_STATE *st, i32 phase, i32 pos, int answer) {
    st->phase = static_cast<u16>(phase);
    st->searchPos = static_cast<u16>(pos);
    return answer;
}

// The phases and positions of the plain and the alternative search: runs from each search
// position until `candidate` accepts one (searchPos then stands behind the run), the next
// phase when fewer than aheadCount edges are left.
template <class Candidate>
int ScanRuns(LINE_LOCATE_STATE *st, const u8 *block, i32 phaseStep, i32 lead, Candidate candidate) {
    const Line L = ViewOf(st);
    const i32 ahead = block[kBlockAhead];
    const i32 a = block[kBlockStride];
    i32 phase = st->phase;
    i32 pos = st->searchPos;
    if (L.n < pos + ahead) pos = phase += phaseStep;
    if (a == 0 || L.n < block[kBlockMinEdges] || phase >= a || L.n < pos + ahead) return Leave(st, phase, pos, 0);
    for (;;) {
        const i32 c = pos;
        const i32 d = c + a < L.n ? RunEnd(L, c, a, lead) : c + a - lead;
        if (candidate(L, c, d, phase)) return Leave(st, phase, d + lead, 1);
        pos = d + lead;
        if (pos + ahead <= L.n) continue;
        pos = phase += phaseStep;
        if (phase >= a) return Leave(st, phase, pos, 0);
    }
}

// The run c..d of the alternative search with its quiet zones: reversed reading first.
bool AltCandidate(LINE_LOCATE_STATE *st, const Line &L, const u8 *b, LineStartMatcher start,
                  LineStartMatcher reversedStart, LineEdgeMatcher reversedStop, LineEdgeMatcher stop, i32 c, i32 d) {
    const i32 o = d - 1;
    const i32 ref = b[kBlockRefElements];
    if (o - c < b[kBlockMinRun] || o >= L.n - 1 || o < ref || c + ref >= L.n) return false;
    if (!QuietAfter(L, d, L.W(o - ref, o)) || !QuietBefore(L, c, L.W(c, c + ref))) return false;
    if (PrecededBySimilar(L, c, b[kBlockStride])) return false;
    if (Accepts(reversedStart, &L.e[o], &st->locateValue) && Accepts(reversedStop, &L.e[c])) {
        st->startIndex = static_cast<u16>(d);
        st->endIndex = static_cast<u16>(c);
        return true;
    }
    if (Accepts(stop, &L.e[o]) && Accepts(start, &L.e[c], &st->locateValue)) {
        st->startIndex = static_cast<u16>(c);
        st->endIndex = static_cast<u16>(d);
        return true;
    }
    return false;
}

}  // namespace

int Line_FindStartStop(LINE_LOCATE_STATE *st, const u8 block[8], LineEdgeMatcher start,
                       LineEdgeMatcher reversedStart, LineEdgeMatcher reversedStop, LineEdgeMatcher stop) {
    const Matchers m{start, reversedStart, reversedStop, stop};
    return ScanRuns(st, block, 1, 0, [&](const Line &L, i32 c, i32 d, i32 phase) {
        return d < L.n && PatternsAround(st, L, block, m, c, d, (phase & 1) == 0);
    });
}

int Line_FindStartStopAlt(LINE_LOCATE_STATE *st, const u8 block[5], LineStartMatcher start,
                          LineStartMatcher reversedStart, LineEdgeMatcher reversedStop, LineEdgeMatcher stop) {
    return ScanRuns(st, block, 2, 1, [&](const Line &L, i32 c, i32 d, i32) {
        return AltCandidate(st, L, block, start, reversedStart, reversedStop, stop, c, d);
    });
}

namespace {

// Start and stop at the two ends of the pair search's run i..k (run width `last`).
bool PairEnds(LINE_LOCATE_STATE *st, const Line &L, LinePairStartMatcher start, LinePairStopMatcher stop, i32 i,
              i32 k, i32 last, bool reversed) {
    if (start == nullptr || stop == nullptr) return false;
    if (reversed) {
        if (!((k + 4 >= L.n || last < 2 * L.W(k, k + 3)) && k < L.n && start(&L.e[k], &st->locateValue, -1)))
            return false;
        st->startIndex = static_cast<u16>(k);
        if (!(i != 0 && (i < 4 || last < 2 * L.W(i - 4, i - 1)) && stop(&L.e[i - 1], -1))) return false;
        st->endIndex = static_cast<u16>(i - 1);
        return true;
    }
    if (!((k + 5 >= L.n || last < 2 * L.W(k + 1, k + 4)) && k + 1 < L.n && stop(&L.e[k + 1], 1))) return false;
    st->endIndex = static_cast<u16>(k + 1);
    if (!((i < 3 || last < 2 * L.W(i - 3, i)) && start(&L.e[i], &st->locateValue, 1))) return false;
    st->startIndex = static_cast<u16>(i);
    return true;
}

}  // namespace

int Line_FindStartStopByPairs(LINE_LOCATE_STATE *st, LinePairStartMatcher start, LinePairStopMatcher stop,
                              u8 minimum) {
    const Line L = ViewOf(st);
    const i32 m = minimum;
    i32 phase = st->phase;
    i32 pos = st->searchPos;
    if (L.n < m + pos) pos = ++phase;
    if (L.n < m || phase > 5 || L.n < m + pos) return Leave(st, phase, pos, 0);
    for (;;) {
        const i32 i = pos;
        i32 k = i + 6;
        if (k + 6 < L.n) {
            i32 last = L.W(i, i + 6);
            if (Loose(last, L.W(i + 6, i + 12))) {
                last = L.W(i + 6, i + 12);
                k = i + 12;
                while (k + 6 < L.n && Loose(last, L.W(k, k + 6))) {
                    last = L.W(k, k + 6);
                    k += 6;
                }
            }
            if (k - i >= m - 2 && PairEnds(st, L, start, stop, i, k, last, (phase & 1) != 0) &&
                (i < 6 || !Similar(L.W(i, i + 6), L.W(i - 6, i))))
                return Leave(st, phase, k, 1);
            pos = k;
            if (L.n >= m + k) continue;
        }
        pos = ++phase;
        if (phase > 5) return Leave(st, phase, pos, 0);
    }
}

}  // namespace vexo
