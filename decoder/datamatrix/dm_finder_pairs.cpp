// Pairing the prepared segments into L candidates: a roughly perpendicular partner whose end
// lies near, the arm checks, arm balancing, the texture inside the square and the mutual
// best-partner check.
#include "core/pixel.h"
#include "datamatrix/dm_finder.h"
#include "datamatrix/dm_stages.h"
#include "toolkit/geometry.h"

namespace vexo {

namespace {

constexpr i32 kFullTurn = 5760;
constexpr i32 kQuarterTurn = 1440;
constexpr i32 kPerpendicularSlack = 480;  // 30 degrees
constexpr i32 kParallelSlack = 319;       // arm extensions: within 20 degrees
constexpr i64 kMaxGap = 2097135;
constexpr u32 kMinArmSq = 16382;          // arms longer than 8 pixels
constexpr i64 kMaxExtensionGapSq = 524286;
constexpr u32 kMaxArmRatio = 20;

struct PT {
    i64 x;
    i64 y;
};

PT First(const DM_SEGMENT &s) { return PT{s.x0, s.y0}; }
PT Second(const DM_SEGMENT &s) { return PT{s.x1, s.y1}; }
i64 DistSq(PT a, PT b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y); }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
u32 ClampU32(i64 v) { return v < 0 ? 0u : (v > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<u32>(v)); }

i32 WrapTurn(i32 a) {
    if (a > kFullTurn / 2) a -= kFullTurn;
    if (a < -(kFullTurn / 2 - 1)) a += kFullTurn;
    return a;
}

i32 SegmentCount() { return g_dmFinder.windowStart; }
i32 &Cursor() { return g_dmFinder.windowLength; }
DM_SEGMENT &SegmentAt(i32 k) { return g_dmFinder.segments[g_dmFinder.list[k]]; }

// Where X lies on the segment a-b: -1 before a, 0 on it, 1 beyond b (major components).
i32 PositionOn(PT a, PT b, PT x) {
    const i64 dx = b.x - a.x, dy = b.y - a.y;
    const i64 d = Abs64(dx) > Abs64(dy) ? dx : dy;
    const i64 tx = x.x - a.x, ty = x.y - a.y;
    const i64 t = Abs64(tx) > Abs64(ty) ? tx : ty;
    if (d > 0) return t < 0 ? -1 : (t <= d ? 0 : 1);
    return t > 0 ? -1 : (t >= d ? 0 : 1);
}

i64 EndGap(i32 u, i64 g, PT x, PT a, PT b) {
    if (u == 0) return (g + 32768) >> 16;
    return u < 0 ? DistSq(x, a) : DistSq(x, b);
}

PT LineIntersection(PT p0, PT p1, PT q0, PT q1) {
    const GEO_POINT a{static_cast<i32>(p0.x), static_cast<i32>(p0.y)}, b{static_cast<i32>(p1.x), static_cast<i32>(p1.y)};
    const GEO_POINT c{static_cast<i32>(q0.x), static_cast<i32>(q0.y)}, d{static_cast<i32>(q1.x), static_cast<i32>(q1.y)};
    GEO_POINT x{0, 0};
    if (Geo_IntersectLines64(&a, &b, &c, &d, &x) == 0) x = GEO_POINT{0, 0};
    return PT{x.x, x.y};
}

void EmptySlot(DM_PAIR *p) {
    const i32 flag = p->darkOnLight;
    *p = DM_PAIR{};
    p->darkOnLight = flag;
}

void OfferToSlot(DM_PAIR *slot, DM_SEGMENT *a, DM_SEGMENT *b, DM_SEGMENT *s, DM_SEGMENT *t, PT x, u32 score,
                 u32 gap) {
    if (score <= slot->score) return;
    slot->armA = a;
    slot->armB = b;
    slot->searched = s;
    slot->partner = t;
    slot->cornerX = static_cast<i32>(x.x);
    slot->cornerY = static_cast<i32>(x.y);
    slot->score = score;
    slot->gap = gap;
}

void TryPartner(DM_SEGMENT *s, DM_SEGMENT *t, DM_PAIR *first, DM_PAIR *second) {
    if (t->flag != 0) return;
    const i32 cs = s->contrast, ct = t->contrast;
    if ((cs > ct ? cs - ct : ct - cs) > (cs < ct ? cs : ct)) return;
    const i32 n = WrapTurn(t->angle - s->angle);
    const i32 off = (n < 0 ? -n : n) - kQuarterTurn;
    if ((off < 0 ? -off : off) > kPerpendicularSlack) return;
    const PT p0 = First(*s), p1 = Second(*s), q0 = First(*t), q1 = Second(*t);
    const i64 ga = DistSq(q0, p1), gb = DistSq(q1, p0);
    const i64 g = ga < gb ? ga : gb;
    const i64 minClass = s->lengthClass < t->lengthClass ? s->lengthClass : t->lengthClass;
    if (((g + 32768) >> 16) > minClass) return;
    const PT x = LineIntersection(p0, p1, q0, q1);
    const i32 u = PositionOn(p0, p1, x), v = PositionOn(q0, q1, x);
    if (u == v) return;
    const i64 gap = EndGap(u, g, x, p0, p1) + EndGap(v, g, x, q0, q1);
    if (gap > kMaxGap) return;
    const u32 score = gap == 0 ? 0u : static_cast<u32>(((static_cast<i64>(s->lengthClass) + t->lengthClass) << 12) / gap);
    if (v == 1 || u == -1) {
        OfferToSlot(n <= 0 ? first : second, t, s, s, t, x, score, static_cast<u32>(gap));
    } else {
        OfferToSlot(n > 0 ? first : second, s, t, s, t, x, score, static_cast<u32>(gap));
    }
}

// The four-times gap rule: of two standing pairs, the one with more than four times the
// other's gap falls unless its arm ratio is above 15.
void DropFarPair(const DM_PAIR *a, const DM_PAIR *b, bool *aStands, bool *bStands) {
    if (!*aStands || !*bStands) return;
    if (static_cast<u64>(a->gap) > 4ull * b->gap && a->score <= 15) *aStands = false;
    if (static_cast<u64>(b->gap) > 4ull * a->gap && b->score <= 15) *bStands = false;
}

u32 PartnerCentreDistanceSq(const DM_PAIR *p) { return DM_SegmentCentreDistanceSq(*p->partner); }

// The nearest segment by the chosen end to target, with direction near angle, or null.
DM_SEGMENT *NearestExtension(i32 angle, PT target, bool byFirst, i64 *bestSq) {
    DM_SEGMENT *best = nullptr;
    for (i32 k = 0; k < SegmentCount(); ++k) {
        DM_SEGMENT &c = SegmentAt(k);
        const i32 d = WrapTurn(c.angle - angle);
        if ((d < 0 ? -d : d) > kParallelSlack) continue;
        const i64 e = DistSq(byFirst ? First(c) : Second(c), target);
        if (best == nullptr || e < *bestSq) {
            best = &c;
            *bestSq = e;
        }
    }
    return best;
}

bool AcceptExtension(const DM_SEGMENT *c, i64 e, i64 h, i64 other, i64 imbalance) {
    if (c == nullptr || e > kMaxExtensionGapSq || (e >> 13) >= c->lengthClass) return false;
    return e <= 8191 || Abs64(h - other) < imbalance;
}

i32 PixelAt(i64 x256, i64 y256, bool *inside) {
    const i64 x = (x256 + 128) >> 8, y = (y256 + 128) >> 8;
    if (x < 0 || y < 0 || x >= g_image.width || y >= g_image.height || g_image.data == nullptr) {
        *inside = false;
        return 0;
    }
    return g_image.data[y * g_image.width + x];
}

void FillCandidate(const DM_PAIR *p, DM_L_CANDIDATE *out) {
    out->end1X = p->armA->x0;
    out->end1Y = p->armA->y0;
    out->end2X = p->armB->x1;
    out->end2Y = p->armB->y1;
    out->cornerX = p->cornerX;
    out->cornerY = p->cornerY;
    out->fourthX = out->end1X + out->end2X - out->cornerX;
    out->fourthY = out->end1Y + out->end2Y - out->cornerY;
    out->darkOnLight = p->darkOnLight;
}

}  // namespace

void DM_FindPartners(DM_SEGMENT *s, DM_PAIR *first, DM_PAIR *second) {
    EmptySlot(first);
    EmptySlot(second);
    if (s == nullptr) return;
    for (i32 k = Cursor() < 0 ? 0 : Cursor(); k < SegmentCount(); ++k) TryPartner(s, &SegmentAt(k), first, second);
}

i32 DM_CheckPairArms(DM_PAIR *p) {
    if (p == nullptr || p->armA == nullptr || p->armB == nullptr) return 0;
    const u32 scale = p->armA->pairScale < p->armB->pairScale ? p->armA->pairScale : p->armB->pairScale;
    if (static_cast<u64>(p->gap) > static_cast<u64>(scale) * 128) return 0;
    const PT x{p->cornerX, p->cornerY};
    p->arm1Sq = ClampU32(DistSq(First(*p->armA), x));
    p->arm2Sq = ClampU32(DistSq(Second(*p->armB), x));
    if (p->arm1Sq <= kMinArmSq || p->arm2Sq <= kMinArmSq) return 0;
    const u32 shorter = p->arm1Sq < p->arm2Sq ? p->arm1Sq : p->arm2Sq;
    p->score = p->gap == 0 ? 0 : shorter / p->gap;
    return p->score != 0 ? 1 : 0;
}

i32 DM_CheckScoredPair(DM_PAIR *p) { return p != nullptr && p->score != 0 ? DM_CheckPairArms(p) : 0; }

DM_PAIR *DM_ChoosePair(DM_SEGMENT *s, DM_PAIR *first, DM_PAIR *second, DM_PAIR **pending) {
    DM_FindPartners(s, first, second);
    bool a = DM_CheckScoredPair(first) != 0;
    bool b = DM_CheckScoredPair(second) != 0;
    DropFarPair(first, second, &a, &b);
    if (a && b) {
        const bool firstNearer = PartnerCentreDistanceSq(first) <= PartnerCentreDistanceSq(second);
        if (pending != nullptr) *pending = firstNearer ? second : first;
        return firstNearer ? first : second;
    }
    if (a) return first;
    if (b) return second;
    return nullptr;
}

i32 DM_BalanceArms(DM_PAIR *p) {
    if (p == nullptr || p->armA == nullptr || p->armB == nullptr) return 0;
    const PT x{p->cornerX, p->cornerY};
    i64 a2 = p->arm1Sq, b2 = p->arm2Sq;
    i64 c = Abs64(a2 - b2);
    for (i32 n = 0; n < kDmMaxArmExtensions; ++n) {
        i64 e = 0;
        if (a2 > b2) {
            DM_SEGMENT *ext = NearestExtension(p->armB->angle, Second(*p->armB), true, &e);
            const i64 h = ext != nullptr ? DistSq(Second(*ext), x) : 0;
            if (!AcceptExtension(ext, e, h, a2, c)) break;
            ext->flag = 1;
            p->armB->x1 = ext->x1;
            p->armB->y1 = ext->y1;
            b2 = h;
            p->arm2Sq = ClampU32(h);
            c = Abs64(h - a2);
        } else {
            DM_SEGMENT *ext = NearestExtension(p->armA->angle, First(*p->armA), false, &e);
            const i64 h = ext != nullptr ? DistSq(First(*ext), x) : 0;
            if (!AcceptExtension(ext, e, h, b2, c)) break;
            ext->flag = 1;
            p->armA->x0 = ext->x0;
            p->armA->y0 = ext->y0;
            a2 = h;
            p->arm1Sq = ClampU32(h);
            c = Abs64(h - b2);
        }
    }
    const i64 larger = a2 > b2 ? a2 : b2, smaller = a2 > b2 ? b2 : a2;
    return smaller > 0 && larger / smaller <= kMaxArmRatio ? 1 : 0;
}

i32 DM_CheckTexture(DM_PAIR *p) {
    if (p == nullptr || p->armA == nullptr || p->armB == nullptr) return 0;
    const i64 xx = p->cornerX, xy = p->cornerY;
    const i64 ux = p->armA->x0 - xx, uy = p->armA->y0 - xy;
    const i64 wx = p->armB->x1 - xx, wy = p->armB->y1 - xy;
    i32 s[8][8];  // [l][k]: k along u, l along w
    bool inside = true;
    i32 sum = 0, lo = 255, hi = 0;
    for (i32 l = 0; l < 8; ++l) {
        for (i32 k = 0; k < 8; ++k) {
            const i64 px = xx * 16 + (1 + 2 * k) * ux + (1 + 2 * l) * wx;
            const i64 py = xy * 16 + (1 + 2 * k) * uy + (1 + 2 * l) * wy;
            const i32 v = PixelAt(px, py, &inside);
            if (!inside) return 0;
            s[l][k] = v;
            sum += v;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
    }
    const i32 mean = (sum + 32) >> 6, range = hi - lo;
    i32 total = 0, below = 0;
    for (i32 a = 0; a < 8; ++a) {
        i32 along = 0, across = 0;
        for (i32 b = 0; b + 1 < 8; ++b) {
            along += s[a][b + 1] > s[a][b] ? s[a][b + 1] - s[a][b] : s[a][b] - s[a][b + 1];
            across += s[b + 1][a] > s[b][a] ? s[b + 1][a] - s[b][a] : s[b][a] - s[b + 1][a];
        }
        total += along + across;
        below += (along < range ? 1 : 0) + (across < range ? 1 : 0);
    }
    return total >= 13 * mean && below <= 4 ? 1 : 0;
}

i32 DM_ConfirmPair(DM_PAIR *p) {
    if (p == nullptr || p->partner == nullptr) return 0;
    DM_PAIR scratch[2];
    scratch[0].darkOnLight = g_dmFinder.slots[0].darkOnLight;
    scratch[1].darkOnLight = g_dmFinder.slots[1].darkOnLight;
    const i32 saved = Cursor();
    Cursor() = saved - 1;
    DM_FindPartners(p->partner, &scratch[0], &scratch[1]);
    Cursor() = saved;
    bool a = DM_CheckScoredPair(&scratch[0]) != 0;
    bool b = DM_CheckScoredPair(&scratch[1]) != 0;
    DropFarPair(&scratch[0], &scratch[1], &a, &b);
    const bool counts = p->darkOnLight == 1 ? a : b;
    const DM_PAIR &examined = p->darkOnLight == 1 ? scratch[0] : scratch[1];
    if (!counts || examined.partner != p->searched) return 0;
    if (a != b && g_dmFinder.pending == nullptr) {
        p->armA->flag = 1;
        p->armB->flag = 1;
    }
    return 1;
}

i32 DM_GetDM(DM_L_CANDIDATE *out) {
    DM_FINDER_STORE &f = g_dmFinder;
    if (out == nullptr) return 0;
    if (f.prepared == 0) DM_PrepareSegments();
    while (Cursor() < SegmentCount()) {
        DM_PAIR *pair = nullptr;
        if (f.pending != nullptr) {
            pair = f.pending;
            f.pending = nullptr;
        } else {
            DM_SEGMENT *s = &SegmentAt(Cursor());
            ++Cursor();
            if (s->flag != 0) continue;
            pair = DM_ChoosePair(s, &f.slots[0], &f.slots[1], &f.pending);
            if (pair == nullptr) continue;
        }
        if (DM_BalanceArms(pair) != 0 && DM_CheckTexture(pair) != 0 && DM_ConfirmPair(pair) != 0) {
            const u16 scale = static_cast<u16>(((pair->gap + 16) >> 5) & 0x7FF);
            pair->armA->pairScale = scale;
            pair->armB->pairScale = scale;
            FillCandidate(pair, out);
            return 1;
        }
        pair->armA->flag = 0;
        pair->armB->flag = 0;
    }
    return 0;
}

i32 DM_NoLongerSegmentInside(const DM_L_CANDIDATE *c, u16 lengthClass) {
    if (c == nullptr) return 0;
    // The square mapped affinely onto 256 x 256: u along corner->end2, v along corner->end1.
    const i64 ax = c->end2X - c->cornerX, ay = c->end2Y - c->cornerY;
    const i64 bx = c->end1X - c->cornerX, by = c->end1Y - c->cornerY;
    const i64 det = ax * by - ay * bx;
    if (det == 0) return 0;
    for (i32 k = 0; k < SegmentCount(); ++k) {
        const DM_SEGMENT &s = SegmentAt(k);
        if (s.lengthClass <= lengthClass) continue;
        for (i32 end = 0; end < 2; ++end) {
            const i64 px = (end == 0 ? s.x0 : s.x1) - c->cornerX, py = (end == 0 ? s.y0 : s.y1) - c->cornerY;
            const i64 u = 256 * (px * by - py * bx) / det, v = 256 * (ax * py - ay * px) / det;
            const i64 uMin = end == 0 ? 25 : 40;
            if (u > uMin && u < 253 && v > 3 && v < 253) return 0;
        }
    }
    return 1;
}

i32 DM_CollectAllCandidates(DM_L_CANDIDATE *out, i32 max) {
    i32 n = 0;
    while (out != nullptr && n < max && DM_GetDM(&out[n]) != 0) ++n;
    return n;
}

}  // namespace vexo
