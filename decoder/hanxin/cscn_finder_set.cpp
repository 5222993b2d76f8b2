// Han Xin finder set: the line finder's candidates refined along their arms, measured by the
// fine locator and checked, marked for orientation and grouped into symbol hypotheses.
#include <cmath>

#include "core/pixel.h"
#include "hanxin/cscn_data.h"
#include "hanxin/cscn_finder.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {
namespace {

constexpr i32 kArmEdges = 5;
constexpr i32 kShapeSamples = 256;
constexpr i32 kMarkSamples = 200;
constexpr i32 kMarkEdges = 128;
constexpr i32 kNeighbours = 10;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

struct PassView {
    CSCN_FINDER_REF *refs;
    u8 *valid;
    u16 *validCount;
    u16 *count;
    u16 first;
    u16 capacity;
};

PassView View(CSCN_FINDER_SET *set, i32 inverse) {
    if (inverse != 0)
        return {set->inverseRefs, set->inverseValid, &set->inverseValidCount, &set->inverseCount, set->inverseFirst,
                set->inverseCapacity};
    return {set->normalRefs, set->normalValid, &set->normalValidCount, &set->normalCount, set->normalFirst,
            set->normalCapacity};
}

bool PassEnabled(i32 inverse) { return (inverse != 0 ? g_cscnInverseGate : g_cscnNormalGate) != 0; }

bool Inside(POINT_I32 p) { return p.x >= 0 && p.x < g_image.width && p.y >= 0 && p.y < g_image.height; }

i64 Dist2(POINT_I32 a, POINT_I32 b) {
    const i64 dx = static_cast<i64>(a.x) - b.x;
    const i64 dy = static_cast<i64>(a.y) - b.y;
    return dx * dx + dy * dy;
}

// Euclidean distance to the nearest integer.
i32 RoundDist(POINT_I32 a, POINT_I32 b) { return static_cast<i32>(std::sqrt(static_cast<f64>(Dist2(a, b))) + 0.5); }

// The arm end refined at the third band edge from the centre; the end is left alone when
// the arm shows fewer than three edges.
bool RefineArm(POINT_I32 centre, POINT_I32 end, bool normal, POINT_I32 *out) {
    Geo_ClipSegment(&centre, &end, g_image.width, g_image.height);
    const i32 n = Geo_SampleLineBresenham(centre.x, centre.y, end.x, end.y, g_cscnLineBuffer, kCscnLineBufferSize);
    EDGE_ITEM edges[kArmEdges];
    CSCN_EDGE_SCAN scan{edges, g_cscnLineBuffer, static_cast<u16>(n), g_edgeThresholds.ratio, 6, kArmEdges, 0};
    if (CSCN_ProfileEdges(&scan, normal ? 0 : 1) < 3) return false;
    // The sampler's first sample is the centre itself, one before the edge's pixel count.
    CSCN_PointToward(centre, end, out, (edges[2].position >> 4) + 3);
    return true;
}

// Mean difference of the two arms' profiles over their first halves, differences above 10.
i32 ArmAsymmetry(POINT_I32 v, POINT_I32 p1, POINT_I32 p2) {
    u8 s1[kShapeSamples], s2[kShapeSamples];
    const i32 n1 = Geo_SampleLine(g_image.data, &v, &p1, s1, kShapeSamples);
    const i32 n2 = Geo_SampleLine(g_image.data, &v, &p2, s2, kShapeSamples);
    const i32 m = (n1 < n2 ? n1 : n2) >> 1;
    if (m <= 0) return 0;
    i32 sum = 0;
    for (i32 k = 0; k < m; ++k) {
        const i32 d = Abs(s1[k] - s2[k]);
        if (d > 10) sum += d;
    }
    return sum / m;
}

// Falling edges of the pass's own picture: the inverse pass counts them on the negative.
// On the raw samples of a dark ground the relative threshold is a few grey levels, and
// sensor noise in the quiet zone counts as edges.
i32 FallingEdgesOn(POINT_I32 a, POINT_I32 b, bool inverse) {
    u8 samples[kMarkSamples];
    i32 positions[kMarkEdges];
    const i32 n = Geo_SampleLine(g_image.data, &a, &b, samples, kMarkSamples);
    if (inverse)
        for (i32 k = 0; k < n && k < kMarkSamples; ++k) samples[k] = static_cast<u8>(255 - samples[k]);
    return Prof_FindFallingEdges(samples, n, 153, 6, positions, kMarkEdges);
}

// ---- Grouping.

enum EntryState : u8 { kFree, kTrial, kUsed };

struct RefList {
    u16 n;
    u8 at[kCscnCandidates];
    void Add(u8 v) {
        if (n < kCscnCandidates) at[n++] = v;
    }
    bool Has(u8 v) const {
        for (i32 i = 0; i < n; ++i)
            if (at[i] == v) return true;
        return false;
    }
};

struct Grouper {
    CSCN_FINDER_REF *refs;

    i32 Side(u8 a, u8 b) const {
        const POINT_I32 A = *refs[a].endA, B = *refs[a].endB, P = *refs[b].centre;
        const i64 s = (static_cast<i64>(B.x) - A.x) * (static_cast<i64>(P.y) - A.y) -
                      (static_cast<i64>(B.y) - A.y) * (static_cast<i64>(P.x) - A.x);
        return s > 0 ? 1 : s < 0 ? 2 : 0;
    }

    void Split(const RefList &list, u8 a, RefList *s1, RefList *s2) const {
        s1->n = s2->n = 0;
        for (i32 i = 0; i < list.n; ++i) {
            if (list.at[i] == a) continue;
            const i32 side = Side(a, list.at[i]);
            if (side == 1) s1->Add(list.at[i]);
            else if (side == 2) s2->Add(list.at[i]);
        }
    }

    const POINT_I32 *Shape(u8 r) const { return refs[r].finder->shape; }
    bool Marked(u8 r) const { return refs[r].finder->mark == 1; }

    // 1 or 2, or 0 for no rotation class of b relative to a.
    i32 RotationClass(u8 a, u8 b) const {
        const POINT_I32 *p = Shape(a);
        const POINT_I32 *q = Shape(b);
        const f64 lim = static_cast<f64>(Dist2(q[0], q[2])) * 0.6 * 0.125;
        const i64 l = static_cast<i64>(lim);
        const POINT_I32 shift{q[1].x - p[1].x, q[1].y - p[1].y};
        auto agrees = [&](POINT_I32 a0, POINT_I32 a2) {
            a0 = {a0.x + shift.x, a0.y + shift.y};
            a2 = {a2.x + shift.x, a2.y + shift.y};
            return Dist2(a0, q[0]) < l && Dist2(a2, q[2]) < l;
        };
        if (agrees({2 * p[1].x - p[2].x, 2 * p[1].y - p[2].y}, p[0])) return 2;
        if (agrees(p[2], {2 * p[1].x - p[0].x, 2 * p[1].y - p[0].y})) return 1;
        return 0;
    }

    void Classify(const RefList &list, u8 key, const RefList &exclude, RefList *c1, RefList *c2) const {
        c1->n = c2->n = 0;
        for (i32 i = 0; i < list.n; ++i) {
            const u8 e = list.at[i];
            if (e == key || exclude.Has(e)) continue;
            const i32 cls = RotationClass(key, e);
            if (cls == 1) c1->Add(e);
            else if (cls == 2) c2->Add(e);
        }
    }

    // Stable ascending order of the rounded distances of the centres from p.
    void SortByDistance(RefList *list, POINT_I32 p) const {
        if (list->n < 2) return;
        i32 keys[kCscnCandidates], values[kCscnCandidates];
        for (i32 i = 0; i < list->n; ++i) {
            keys[i] = RoundDist(*refs[list->at[i]].centre, p);
            values[i] = list->at[i];
        }
        CSCN_SortPairs(keys, list->n, values);
        for (i32 i = 0; i < list->n; ++i) list->at[i] = static_cast<u8>(values[i]);
    }

    void TripleOrder(CSCN_FINDER_GROUP *g) const {
        const u16 r[3] = {g->slot[0], g->slot[1], g->slot[2]};
        i32 best = 0, bestCos = 0;
        for (i32 k = 0; k < 3; ++k) {
            const POINT_I32 c = Shape(static_cast<u8>(r[k]))[1];
            const POINT_I32 a = Shape(static_cast<u8>(r[(k + 1) % 3]))[1];
            const POINT_I32 b = Shape(static_cast<u8>(r[(k + 2) % 3]))[1];
            const i32 cs = Abs(static_cast<i32>(1000.0 * Geo_CosAngleAt(&c, &a, &b)));
            if (k == 0 || cs < bestCos) {
                best = k;
                bestCos = cs;
            }
        }
        // The other two in their slot order.
        u16 o[2];
        i32 n = 0;
        for (i32 k = 0; k < 3; ++k)
            if (k != best) o[n++] = r[k];
        const POINT_I32 c = Shape(static_cast<u8>(r[best]))[1];
        const POINT_I32 c1 = Shape(static_cast<u8>(o[0]))[1];
        const POINT_I32 c2 = Shape(static_cast<u8>(o[1]))[1];
        const POINT_I32 m{(c1.x + c2.x) >> 1, (c1.y + c2.y) >> 1};
        const i64 s = (static_cast<i64>(c.x) - m.x) * (static_cast<i64>(c1.y) - m.y) -
                      (static_cast<i64>(c.y) - m.y) * (static_cast<i64>(c1.x) - m.x);
        g->slot[1] = r[best];
        if (s < 0) {
            g->slot[0] = o[0];
            g->slot[2] = o[1];
        } else if (s > 0) {
            g->slot[0] = o[1];
            g->slot[2] = o[0];
        } else {
            g->slot[0] = o[0];
            g->slot[2] = o[1];
        }
    }

    // K at the front of the chain, already in slot 3.
    void MarkedCompletion(const RefList &chain, CSCN_FINDER_GROUP *g) const {
        const u8 k = chain.at[0];
        RefList none{}, c1{}, c2{};
        Classify(chain, k, none, &c1, &c2);
        RefList placed{};
        placed.Add(k);
        if (c1.n > 0) {
            g->slot[2] = c1.at[0];
            placed.Add(c1.at[0]);
        }
        if (c2.n > 0) {
            g->slot[0] = c2.at[0];
            placed.Add(c2.at[0]);
        }
        RefList d1{}, d2{};
        if (g->slot[2] != kCscnEmptySlot) {
            Classify(chain, static_cast<u8>(g->slot[2]), placed, &d1, &d2);
            if (d2.n > 0) g->slot[1] = d2.at[0];
        }
        if (g->slot[1] == kCscnEmptySlot && g->slot[0] != kCscnEmptySlot) {
            Classify(chain, static_cast<u8>(g->slot[0]), placed, &d1, &d2);
            if (d1.n > 0) g->slot[1] = d1.at[0];
        }
        if (c1.n == 0 && c2.n == 0 && chain.n > 1) {
            g->slot[1] = chain.at[1];
            g->slot[3] = k;
        }
        g->marked = 1;
    }

    // The lists stored by the patterns that joined a chain (the seed stores none).
    struct Stored {
        RefList lists[kCscnCandidates];
        i32 n;
        bool AllHave(u8 e) const {
            for (i32 j = 0; j < n; ++j)
                if (!lists[j].Has(e)) return false;
            return true;
        }
        void Add(const RefList &l) {
            if (n < kCscnCandidates) lists[n++] = l;
        }
    };

    bool AnyOnSide(const RefList &chain, const RefList &s1, const RefList &s2, i32 side) const {
        const RefList &s = side == 1 ? s1 : s2;
        for (i32 i = 0; i < chain.n; ++i)
            if (s.Has(chain.at[i])) return true;
        return false;
    }

    void SeedUnmarked(u8 seed, const RefList &neighbours, CSCN_FINDER_GROUP *g) const {
        RefList s1{}, s2{};
        Split(neighbours, seed, &s1, &s2);
        if (s2.n == 0) return;
        s2.Add(seed);
        RefList chain{};
        Stored stored{};
        chain.Add(seed);
        bool markedJoined = false;
        for (i32 i = 0; i < s2.n; ++i) {
            const u8 e = s2.at[i];
            if (e == seed) continue;
            RefList e1{}, e2{};
            Split(s2, e, &e1, &e2);
            if (!Marked(e)) {
                if (AnyOnSide(chain, e1, e2, 2) && stored.AllHave(e)) {
                    stored.Add(e2);
                    chain.Add(e);
                }
            } else if (!markedJoined) {
                if (AnyOnSide(chain, e1, e2, 1) && stored.AllHave(e) && (e1.n > 1 || s2.n <= 1)) {
                    // The marked pattern goes to the front; the former front to the end.
                    stored.Add(e1);
                    chain.Add(chain.at[0]);
                    chain.at[0] = e;
                    markedJoined = true;
                    g->slot[3] = e;
                }
            }
        }
        if (markedJoined) {
            MarkedCompletion(chain, g);
            return;
        }
        RefList none{}, c1{}, c2{};
        Classify(chain, seed, none, &c1, &c2);
        if (chain.n == 2) {
            const u8 f = chain.at[1];
            if (c1.n > 0) {
                g->slot[0] = seed;
                g->slot[1] = f;
                g->marked = 0;
            } else if (c2.n > 0) {
                g->slot[0] = f;
                g->slot[1] = seed;
                g->marked = 0;
            } else {
                g->slot[0] = seed;
                g->slot[2] = f;
            }
        } else if (chain.n == 3) {
            if (c1.n > 0 && c2.n > 0) {
                g->slot[0] = seed;
                g->slot[1] = c2.at[0];
                g->slot[2] = c1.at[0];
                TripleOrder(g);
                g->marked = 1;
            } else if (c2.n > 0) {
                for (i32 k = 0; k < 3; ++k) g->slot[k] = chain.at[k];
                TripleOrder(g);
            }
        }
    }

    void SeedMarked(u8 seed, const RefList &neighbours, CSCN_FINDER_GROUP *g) const {
        g->slot[3] = seed;
        RefList s1{}, s2{};
        Split(neighbours, seed, &s1, &s2);
        if (s1.n == 0) return;
        s1.Add(seed);
        RefList chain{};
        Stored stored{};
        chain.Add(seed);
        for (i32 i = 0; i < s1.n; ++i) {
            const u8 e = s1.at[i];
            if (e == seed || Marked(e)) continue;
            RefList e1{}, e2{};
            Split(s1, e, &e1, &e2);
            if (AnyOnSide(chain, e1, e2, 1) && stored.AllHave(e)) {
                stored.Add(e1);
                chain.Add(e);
            }
        }
        if (chain.n < 2) return;
        MarkedCompletion(chain, g);
    }

    // The sides of a two-pattern group from its two missing corners: x1 where lines 0-1 and
    // 2-3 meet, x2 where lines 4-5 and 6-7 meet; sides u-x1, v-x1 (crossed: v-x2), u-x2 and
    // v-x2 (crossed: v-x1). Parallel lines fail the group.
    static bool ConstructedSides(POINT_I32 u, POINT_I32 v, const POINT_I32 l[8], bool crossed, i32 side[4]) {
        POINT_I32 x1, x2;
        if (Geo_IntersectLines(&l[0], &l[1], &l[2], &l[3], &x1) != 1) return false;
        if (Geo_IntersectLines(&l[4], &l[5], &l[6], &l[7], &x2) != 1) return false;
        side[0] = RoundDist(u, x1);
        side[1] = RoundDist(v, crossed ? x2 : x1);
        side[2] = RoundDist(u, x2);
        side[3] = RoundDist(v, crossed ? x1 : x2);
        return true;
    }

    bool Check(const CSCN_FINDER_GROUP *g) const {
        POINT_I32 c[4];
        bool has[4];
        for (i32 k = 0; k < 4; ++k) {
            has[k] = g->slot[k] != kCscnEmptySlot;
            c[k] = has[k] ? *refs[g->slot[k]].centre : POINT_I32{0, 0};
        }
        auto d = [&](i32 a, i32 b) { return has[a] && has[b] ? RoundDist(c[a], c[b]) : 0; };
        i32 side[4] = {d(0, 1), d(1, 2), d(2, 3), d(3, 0)};
        const i32 d02 = d(0, 2);
        if (has[0] && has[2] && !has[1] && !has[3]) {
            const POINT_I32 *p = Shape(static_cast<u8>(g->slot[0]));
            const POINT_I32 *q = Shape(static_cast<u8>(g->slot[2]));
            const POINT_I32 lines[8] = {p[0], p[1], q[1], q[2], p[1], p[2], q[0], q[1]};
            if (!ConstructedSides(p[1], q[1], lines, false, side)) return false;
        } else if (has[1] && has[3] && !has[0] && !has[2]) {
            const POINT_I32 *p = Shape(static_cast<u8>(g->slot[1]));
            const POINT_I32 *q = Shape(static_cast<u8>(g->slot[3]));
            const POINT_I32 lines[8] = {p[1], p[2], q[2], q[3], p[0], p[1], q[0], q[3]};
            if (!ConstructedSides(p[1], q[3], lines, true, side)) return false;
        }
        i32 lo = 0, hi = 0;
        for (i32 v : side) {
            if (v == 0) continue;
            if (lo == 0 || v < lo) lo = v;
            if (v > hi) hi = v;
        }
        if (lo == 0 || static_cast<f64>(hi) > 2.5 * lo) return false;
        if (!has[0]) return true;
        if (has[1]) {
            const POINT_I32 *p = Shape(static_cast<u8>(g->slot[0]));
            const POINT_I32 n = Shape(static_cast<u8>(g->slot[1]))[1];
            const i32 t = static_cast<i32>(1000.0 * std::fabs(Geo_CosAngleAt(&p[1], &n, &p[0])));
            if (t >= 201 && t <= 964) return false;
        }
        if (has[2] && has[3] && static_cast<u32>(side[2]) > static_cast<u32>(1.3 * d02 + 0.5)) return false;
        return true;
    }
};

}  // namespace

void CSCN_RefineCandidates(const CSCN_CANDIDATE_LISTS *lists, CSCN_FINDER_SET *set) {
    if (lists == nullptr || set == nullptr || g_image.data == nullptr) return;
    for (i32 inverse = 0; inverse < 2; ++inverse) {
        if (!PassEnabled(inverse)) continue;
        g_cscnCurrentPass = inverse == 0 ? 1 : 0;
        const PassView v = View(set, inverse);
        const CSCN_CANDIDATE *list = inverse == 0 ? lists->normalList : lists->inverseList;
        i32 count = inverse == 0 ? lists->normalListCount : lists->inverseListCount;
        if (list == nullptr || v.refs == nullptr) continue;
        if (count < 0) count = 0;
        if (count > v.capacity) count = v.capacity;
        for (i32 i = 0; i < count; ++i) {
            const CSCN_CANDIDATE &c = list[i];
            CSCN_FINDER_REF &r = v.refs[i];
            *r.centre = c.centre;
            // An arm that shows too few edges keeps the line finder's end.
            *r.endA = c.armEnd[0];
            *r.endB = c.armEnd[1];
            if (!RefineArm(c.centre, c.armEnd[0], inverse == 0, r.endA)) continue;
            if (!RefineArm(c.centre, c.armEnd[1], inverse == 0, r.endB)) continue;
            r.spare0 = c.spare0;
            r.spare1 = c.spare1;
        }
        *v.count = static_cast<u16>(count);
    }
}

int CSCN_MeasureFinders(CSCN_FINDER_SET *set) {
    if (set == nullptr || g_image.data == nullptr) return 1;
    const i32 w = g_image.width, h = g_image.height;
    for (i32 inverse = 0; inverse < 2; ++inverse) {
        if (!PassEnabled(inverse)) continue;
        g_cscnCurrentPass = inverse == 0 ? 1 : 0;
        const PassView v = View(set, inverse);
        if (*v.count >= v.capacity) return 0;
        for (i32 i = v.first; i < *v.count; ++i) {
            CSCN_FINDER_REF &r = v.refs[i];
            const POINT_I32 c = *r.centre;
            bool boxed = false;
            for (i32 b = 0; b < g_cscnBoxes.count && b < kCscnBoxes; ++b) {
                const CSCN_BOX &x = g_cscnBoxes.boxes[b];
                if (x.xMin <= c.x && c.x <= x.xMax && x.yMin <= c.y && c.y <= x.yMax) boxed = true;
            }
            if (boxed || CSCN_MeasureFinder(&r) == 0) continue;
            CSCN_FINDER &f = *r.finder;
            r.centreDistance = Abs(c.x - (w >> 1)) + Abs(c.y - (h >> 1));
            const i32 span = Abs(r.endA->x - r.endB->x) > Abs(r.endA->y - r.endB->y) ? Abs(r.endA->x - r.endB->x)
                                                                                    : Abs(r.endA->y - r.endB->y);
            r.span = static_cast<u16>(span);
            const POINT_I32 p1 = f.armEnd1, p2 = f.armEnd2;
            // The shape's corner is the pattern's outer lattice corner: from the core centre the
            // walked arm ends stand about 120 degrees apart, and no rotation class would hold.
            const POINT_I32 vx{f.latticeCorner.x >> 4, f.latticeCorner.y >> 4};
            const POINT_I32 e{p1.x + p2.x - vx.x, p1.y + p2.y - vx.y};
            f.shape[0] = p1;
            f.shape[1] = vx;
            f.shape[2] = p2;
            f.shape[3] = e;
            if (!Inside(p1) || !Inside(vx) || !Inside(p2) || !Inside(e)) {
                f.valid = 0;
                continue;
            }
            const i64 a = Dist2(p1, vx), b = Dist2(vx, p2);
            const i64 lo = a < b ? a : b, hi = a < b ? b : a;
            if (lo == 0 || static_cast<f32>(hi) / static_cast<f32>(lo) > 2.5f) f.valid = 0;
            if (static_cast<i32>(std::fabs(Geo_CosAngleAt(&vx, &p1, &p2)) * 1000.0) > 700) {
                f.valid = 0;
                continue;
            }
            if (ArmAsymmetry(vx, p1, p2) > 52) {
                f.valid = 0;
                continue;
            }
            // Room for 32 boxes: a pattern beyond them is simply not excluded later.
            if (g_cscnBoxes.count >= kCscnBoxes) continue;
            i32 x0 = p1.x, x1 = p1.x, y0 = p1.y, y1 = p1.y;
            for (const POINT_I32 &p : f.shape) {
                x0 = p.x < x0 ? p.x : x0;
                x1 = p.x > x1 ? p.x : x1;
                y0 = p.y < y0 ? p.y : y0;
                y1 = p.y > y1 ? p.y : y1;
            }
            g_cscnBoxes.boxes[g_cscnBoxes.count++] =
                CSCN_BOX{static_cast<i16>(x0), static_cast<i16>(y0), static_cast<i16>(x1), static_cast<i16>(y1), 0};
        }
    }
    return 1;
}

void CSCN_ListValidFinders(CSCN_FINDER_SET *set) {
    if (set == nullptr) return;
    for (i32 inverse = 0; inverse < 2; ++inverse) {
        if (!PassEnabled(inverse)) continue;
        const PassView v = View(set, inverse);
        u16 n = 0;
        for (i32 i = 0; i < *v.count && i < kCscnCandidates; ++i)
            if (v.refs[i].finder->valid != 0) v.valid[n++] = static_cast<u8>(i);
        *v.validCount = n;
    }
}

void CSCN_MarkFinderOrientation(CSCN_FINDER_SET *set) {
    if (set == nullptr || g_image.data == nullptr) return;
    for (i32 inverse = 0; inverse < 2; ++inverse) {
        if (!PassEnabled(inverse)) continue;
        g_cscnCurrentPass = inverse == 0 ? 1 : 0;
        const PassView v = View(set, inverse);
        for (i32 k = 0; k < *v.validCount && k < kCscnCandidates; ++k) {
            CSCN_FINDER &f = *v.refs[v.valid[k]].finder;
            const POINT_I32 p1 = f.shape[0], vx = f.shape[1], p2 = f.shape[2], e = f.shape[3];
            const i32 step = static_cast<i32>((f.moduleSize * 2.5 + 0.5) / 16);
            const i32 a = static_cast<i32>(std::sqrt(static_cast<f64>(Dist2(p1, p2)))) + step;
            const i32 c = static_cast<i32>(std::sqrt(static_cast<f64>(Dist2(vx, e)))) + step;
            POINT_I32 x1, x2, x3, x4;
            CSCN_PointToward(p1, p2, &x1, a);
            CSCN_PointToward(e, vx, &x2, c);
            CSCN_PointToward(p2, p1, &x3, a);
            CSCN_PointToward(vx, e, &x4, c);
            const bool neg = inverse != 0;
            const i32 c1 = FallingEdgesOn(x2, x3, neg), c2 = FallingEdgesOn(x2, x1, neg);
            const i32 c3 = FallingEdgesOn(x4, x3, neg), c4 = FallingEdgesOn(x4, x1, neg);
            const i32 sc = c2 == 0 ? (c1 + c2) >> 1 : c1 + c2;
            const i32 se = c4 == 0 ? (c3 + c4) >> 1 : c3 + c4;
            // Lines from beyond the outer corner against lines from beyond the far corner: with
            // the shape's corner on the outer lattice corner this picks the odd pattern.
            f.mark = sc > se ? 1 : 0;
        }
    }
}

int CSCN_GroupFinders(CSCN_FINDER_SET *set, CSCN_FINDER_GROUP *groups, int maxGroups, int inverse) {
    if (set == nullptr || groups == nullptr || maxGroups <= 0) return 0;
    const PassView v = View(set, inverse);
    for (i32 k = 0; k < maxGroups; ++k)
        for (u16 &s : groups[k].slot) s = kCscnEmptySlot;
    if (v.refs == nullptr || *v.validCount == 0) return 0;
    Grouper gr{v.refs};
    RefList sorted{};
    for (i32 i = 0; i < *v.validCount && i < kCscnCandidates; ++i) sorted.Add(v.valid[i]);
    gr.SortByDistance(&sorted, POINT_I32{g_image.width >> 1, g_image.height >> 1});
    u8 state[kCscnCandidates] = {};
    i32 built = 0;
    for (i32 s = 0; s < sorted.n && built < maxGroups; ++s) {
        if (state[s] != kFree) continue;
        state[s] = kTrial;
        const u8 seed = sorted.at[s];
        RefList neighbours{};
        for (i32 i = 0; i < sorted.n; ++i)
            if (state[i] == kFree) neighbours.Add(sorted.at[i]);
        gr.SortByDistance(&neighbours, *v.refs[seed].centre);
        if (neighbours.n > kNeighbours) neighbours.n = kNeighbours;
        CSCN_FINDER_GROUP &g = groups[built];
        if (gr.Marked(seed)) gr.SeedMarked(seed, neighbours, &g);
        else gr.SeedUnmarked(seed, neighbours, &g);
        if (gr.Check(&g)) {
            i32 members = 0;
            for (u16 slot : g.slot) {
                if (slot == kCscnEmptySlot) continue;
                ++members;
                for (i32 i = 0; i < sorted.n; ++i)
                    if (sorted.at[i] == slot) state[i] = kUsed;
            }
            if (inverse != 0) g.inverseMembers = members;
            else g.normalMembers = members;
            ++built;
        } else {
            for (u16 &x : g.slot) x = kCscnEmptySlot;
        }
        for (i32 i = 0; i < sorted.n; ++i)
            if (state[i] == kTrial) state[i] = kFree;
    }
    return built;
}

}  // namespace vexo
