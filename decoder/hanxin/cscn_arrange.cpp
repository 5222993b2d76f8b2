// Arranging a group of finder patterns into symbol corners from directions alone: the
// angles between the patterns' diagonals and whether their arm axes point at each other.
#include "hanxin/cscn_symbol.h"

#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"

namespace vexo {

CSCN_SYMBOL g_cscnSymbol;

namespace {

constexpr i32 kArrangeCos30 = 866;
constexpr i32 kArrangeCos60 = 500;

// Thousandths of the cosine between two vectors; a zero-length side gives -1000.
i32 ArrangeCos(POINT_I32 u, POINT_I32 v) {
    const GEO_POINT origin{0, 0};
    return static_cast<i32>(1000.0 * Geo_CosAngleAt(&origin, &u, &v));
}

POINT_I32 ArrangeSub(POINT_I32 a, POINT_I32 b) { return {a.x - b.x, a.y - b.y}; }
POINT_I32 ArrangeAdd(POINT_I32 a, POINT_I32 b) { return {a.x + b.x, a.y + b.y}; }
i64 ArrangeCross(POINT_I32 u, POINT_I32 v) {
    return static_cast<i64>(u.x) * v.y - static_cast<i64>(u.y) * v.x;
}

struct ArrangeContext {
    const CSCN_FINDER *f;
    i32 n;
    i32 m[4][4];
    CSCN_ARRANGEMENT_TABLE *table;

    bool Perp(i32 a, i32 b) const { return m[a][b] >= -kArrangeCos60 && m[a][b] <= kArrangeCos60; }
    bool Anti(i32 a, i32 b) const { return m[a][b] <= -kArrangeCos30; }
    bool Par(i32 a, i32 b) const { return m[a][b] >= kArrangeCos30; }
    POINT_I32 C(i32 a) const { return f[a].corner; }
    POINT_I32 D(i32 a) const { return f[a].diagonal; }
    POINT_I32 U(i32 a) const { return f[a].axis1; }
    POINT_I32 V(i32 a) const { return f[a].axis2; }

    // Empty slots hold the complement of the entry's own index. False once the table is full.
    bool Record(i32 s0, i32 s1, i32 s2, i32 s3) {
        if (table->count >= kCscnMaxArrangements) return false;
        CSCN_ARRANGEMENT &h = table->entry[table->count];
        const i32 in[4] = {s0, s1, s2, s3};
        h.count = 0;
        for (i32 s = 0; s < 4; ++s) {
            h.slot[s] = in[s] >= 0 ? in[s] : ~table->count;
            h.count += in[s] >= 0 ? 1 : 0;
        }
        ++table->count;
        return true;
    }

    // i in slot a, j in the next slot: arm 1 of i points at j, arm 2 of j back at i.
    bool ArmPair(i32 i, i32 j) const {
        return Perp(i, j) && ArrangeCos(U(i), ArrangeSub(C(j), C(i))) >= kArrangeCos30 &&
               ArrangeCos(V(j), ArrangeSub(C(i), C(j))) >= kArrangeCos30;
    }
};

constexpr i32 kOutcomeNone = 1;
constexpr i32 kOutcomeBarePair = 2;
constexpr i32 kOutcomeNoSlot3 = 3;
constexpr i32 kOutcomeSlot3 = 4;

// Families 1 to 3 for finder i in slot 0; false when the table filled up.
bool ArrangeFromSlot0(ArrangeContext &x, i32 i) {
    const i32 n = x.n;
    i32 outcome = kOutcomeNone;
    bool family1Pair = false;
    for (i32 j = 0; j < n; ++j) {
        if (j == i || !x.ArmPair(i, j)) continue;
        family1Pair = true;
        bool anyK = false;
        for (i32 k = 0; k < n; ++k) {
            if (k == i || k == j) continue;
            if (!(x.Perp(j, k) && x.Anti(i, k) && ArrangeCos(x.U(j), ArrangeSub(x.C(k), x.C(j))) >= kArrangeCos30 &&
                  ArrangeCos(x.V(k), ArrangeSub(x.C(j), x.C(k))) >= kArrangeCos30))
                continue;
            anyK = true;
            bool anyL = false;
            for (i32 l = 0; l < n; ++l) {
                if (l == i || l == j || l == k) continue;
                if (x.Perp(k, l) && x.Perp(i, l) && x.Par(j, l) &&
                    ArrangeCos(x.D(j), ArrangeSub(x.C(l), x.C(j))) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeAdd(x.V(i), x.U(k)), x.D(l)) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeSub(x.C(l), x.C(i)), x.V(i)) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeSub(x.C(l), x.C(k)), x.U(k)) >= kArrangeCos60) {
                    if (!x.Record(i, j, k, l)) return false;
                    anyL = true;
                }
            }
            if (!anyL && !x.Record(i, j, k, -1)) return false;
            outcome = anyL ? kOutcomeSlot3 : kOutcomeNoSlot3;
        }
        if (anyK) continue;
        bool anyL = false;
        for (i32 l = 0; l < n; ++l) {
            if (l == i || l == j) continue;
            if (x.Perp(i, l) && x.Par(j, l) && ArrangeCos(x.D(j), ArrangeSub(x.C(l), x.C(j))) >= kArrangeCos60 &&
                ArrangeCos(ArrangeSub(x.C(l), x.C(i)), x.V(i)) >= kArrangeCos60) {
                if (!x.Record(i, j, -1, l)) return false;
                anyL = true;
            }
        }
        if (!anyL && !x.Record(i, j, -1, -1)) return false;
        outcome = anyL ? kOutcomeSlot3 : kOutcomeBarePair;
    }
    if (!family1Pair) {
        for (i32 j = 0; j < n; ++j) {
            if (j == i || !(x.Anti(i, j) && ArrangeCos(x.D(i), ArrangeSub(x.C(j), x.C(i))) >= kArrangeCos60)) continue;
            bool anyK = false;
            for (i32 k = 0; k < n; ++k) {
                if (k == i || k == j) continue;
                if (x.Perp(j, k) && x.Perp(i, k) && ArrangeCos(ArrangeAdd(x.V(i), x.U(j)), x.D(k)) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeSub(x.C(k), x.C(i)), x.V(i)) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeSub(x.C(k), x.C(j)), x.U(j)) >= kArrangeCos60) {
                    if (!x.Record(i, -1, j, k)) return false;
                    anyK = true;
                }
            }
            if (!anyK && !x.Record(i, -1, j, -1)) return false;
            outcome = anyK ? kOutcomeSlot3 : kOutcomeNoSlot3;
        }
    }
    if (outcome == kOutcomeNone || outcome == kOutcomeBarePair) {
        for (i32 l = 0; l < n; ++l) {
            if (l == i) continue;
            if (x.Perp(i, l) && ArrangeCos(ArrangeSub(x.C(l), x.C(i)), x.V(i)) >= kArrangeCos60 &&
                ArrangeCos(ArrangeSub(x.C(l), x.C(i)), x.U(l)) >= kArrangeCos60 && !x.Record(i, -1, -1, l))
                return false;
        }
    }
    return true;
}

// Families 4 to 6; false when the table filled up.
bool ArrangeWithoutSlot0(ArrangeContext &x) {
    const i32 n = x.n;
    for (i32 i = 0; i < n; ++i) {
        bool family4Pair = false;
        for (i32 j = 0; j < n; ++j) {
            if (j == i || !x.ArmPair(i, j)) continue;
            family4Pair = true;
            bool anyL = false;
            for (i32 l = 0; l < n; ++l) {
                if (l == i || l == j) continue;
                if (x.Perp(j, l) && x.Par(i, l) && ArrangeCos(x.D(i), ArrangeSub(x.C(l), x.C(i))) >= kArrangeCos60 &&
                    ArrangeCos(ArrangeSub(x.C(l), x.C(j)), x.U(j)) >= kArrangeCos60 && ArrangeCross(x.D(j), x.D(l)) < 0) {
                    if (!x.Record(-1, i, j, l)) return false;
                    anyL = true;
                }
            }
            if (!anyL && !x.Record(-1, i, j, -1)) return false;
        }
        if (family4Pair) continue;
        for (i32 l = 0; l < n; ++l) {
            if (l != i && x.Par(i, l) && ArrangeCos(x.D(i), ArrangeSub(x.C(l), x.C(i))) >= kArrangeCos60 &&
                !x.Record(-1, i, -1, l))
                return false;
        }
    }
    for (i32 i = 0; i < n; ++i)
        for (i32 l = 0; l < n; ++l) {
            if (l != i && x.Perp(i, l) && ArrangeCos(ArrangeSub(x.C(l), x.C(i)), x.U(i)) >= kArrangeCos60 &&
                ArrangeCross(x.D(i), x.D(l)) < 0 && !x.Record(-1, -1, i, l))
                return false;
        }
    return true;
}

bool ArrangeTwoFinderDuplicates(const i32 *a, const i32 *b) {
    return (a[0] == b[1] && a[1] == b[2]) || (a[0] == b[2] && a[2] == b[0]) ||
           (a[0] == b[0] && (a[2] == b[2] || a[3] == b[3])) || (a[1] == b[0] && a[2] == b[1]) ||
           (a[1] == b[1] && (a[2] == b[2] || a[3] == b[3])) || (a[2] == b[2] && a[3] == b[3]);
}

bool ArrangeThreeFinderDuplicates(const i32 *a, const i32 *b) {
    return a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

// One merge step over the entries holding `count` finders. A removed entry takes the
// table's last one; an entry moved into b's place is not compared with a again.
void ArrangeMerge(CSCN_ARRANGEMENT_TABLE &t, i32 count, bool (*same)(const i32 *, const i32 *)) {
    i32 a = 0;
    while (a < t.count) {
        if (t.entry[a].count != count) {
            ++a;
            continue;
        }
        bool aRemoved = false;
        for (i32 b = a + 1; b < t.count; ++b) {
            if (t.entry[b].count < t.entry[a].count || !same(t.entry[a].slot, t.entry[b].slot)) continue;
            --t.count;
            if (t.entry[b].count > t.entry[a].count) {
                t.entry[a] = t.entry[t.count];
                aRemoved = true;
                break;
            }
            t.entry[b] = t.entry[t.count];
        }
        if (!aRemoved) ++a;
    }
}

}  // namespace

void CSCN_ListArrangements(const CSCN_FINDER *finders, i32 count, CSCN_ARRANGEMENT_TABLE *table) {
    if (table == nullptr) return;
    table->count = 0;
    if (finders == nullptr || count < 2) return;
    ArrangeContext x{};
    x.f = finders;
    x.n = count > 4 ? 4 : count;
    x.table = table;
    for (i32 a = 0; a < x.n; ++a)
        for (i32 b = 0; b < x.n; ++b) x.m[a][b] = a == b ? 0 : ArrangeCos(x.D(a), x.D(b));
    bool open = true;
    for (i32 i = 0; i < x.n && open; ++i) open = ArrangeFromSlot0(x, i);
    if (open) ArrangeWithoutSlot0(x);
}

void CSCN_MergeArrangements(CSCN_ARRANGEMENT_TABLE *table) {
    if (table == nullptr || table->count < 0 || table->count > kCscnMaxArrangements) return;
    ArrangeMerge(*table, 2, ArrangeTwoFinderDuplicates);
    if (table->count > 1) ArrangeMerge(*table, 3, ArrangeThreeFinderDuplicates);
}

int CSCN_ArrangeFinders(const CSCN_FINDER *finders, i32 count, CSCN_SYMBOL *symbol) {
    if (finders == nullptr || symbol == nullptr || count < 2) return 0;
    CSCN_ARRANGEMENT_TABLE table;
    CSCN_ListArrangements(finders, count, &table);
    CSCN_MergeArrangements(&table);
    i32 best = -1;
    for (i32 h = 0; h < table.count; ++h)
        if (best < 0 || table.entry[h].count > table.entry[best].count) best = h;
    if (best < 0) return 0;
    for (i32 s = 0; s < 4; ++s) {
        const i32 e = table.entry[best].slot[s];
        if (e >= 0) symbol->corners[s] = finders[e];
    }
    return 1;
}

}  // namespace vexo
