#include "locate/edge_pairing.h"

namespace vexo {

namespace {

constexpr i64 kFar = 65535;          // no difference yet
constexpr i64 kExactTolerance = 18;  // lists that coincide somewhere
constexpr i64 kMinTolerance = 24;
constexpr i32 kMinFirstPosition = 20;

i64 Diff(i32 a, i32 b) {
    const i64 d = static_cast<i64>(a) - b;
    return d < 0 ? -d : d;
}

// The smallest difference met when every entry of s scans l from its start until the
// differences grow (the first entry of l is always looked at).
i64 SmallestDifference(const i32 *s, i32 ns, const i32 *l, i32 nl) {
    i64 m = kFar;
    for (i32 i = 0; i < ns; ++i) {
        for (i32 j = 0; j < nl; ++j) {
            const i64 d = Diff(s[i], l[j]);
            if (d < m) {
                m = d;
            } else if (j > 0 && d > m) {
                break;
            }
        }
    }
    return m;
}

i64 ToleranceFor(i64 m) {
    if (m == 0) return kExactTolerance;
    const i64 t = m + m / 2;
    return t < kMinTolerance ? kMinTolerance : t;
}

// Index in l of the partner of v from `from` on, or -1.
i32 FindPartner(i32 v, const i32 *l, i32 nl, i32 from, i64 tolerance) {
    i64 prev = kFar;
    for (i32 j = from; j < nl; ++j) {
        const i64 d = Diff(l[j], v);
        if (d > prev) return -1;
        prev = d;
        if (d <= tolerance) return j;
    }
    return -1;
}

}  // namespace

int Loc_PairEdgeLists(EDGE_PAIRING *e) {
    if (e == nullptr || e->countA <= 0 || e->countB <= 0) return 0;
    if (e->posA == nullptr || e->posB == nullptr || e->matchA == nullptr || e->matchB == nullptr) return 0;
    const bool aShort = e->countA <= e->countB;
    const i32 *s = aShort ? e->posA : e->posB;
    const i32 *l = aShort ? e->posB : e->posA;
    const i32 ns = aShort ? e->countA : e->countB;
    const i32 nl = aShort ? e->countB : e->countA;
    i32 *matchS = aShort ? e->matchA : e->matchB;
    i32 *matchL = aShort ? e->matchB : e->matchA;
    e->outCount = 0;
    const i64 tolerance = ToleranceFor(SmallestDifference(s, ns, l, nl));
    i32 pairs = 0;
    i32 from = l[0] < kMinFirstPosition ? 1 : 0;
    for (i32 i = s[0] < kMinFirstPosition ? 1 : 0; i < ns && from < nl; ++i) {
        const i32 j = FindPartner(s[i], l, nl, from, tolerance);
        if (j < 0) continue;
        matchS[pairs] = i;
        matchL[pairs] = j;
        ++pairs;
        from = j + 1;
    }
    e->matchCount = pairs;
    return 1;
}

}  // namespace vexo
