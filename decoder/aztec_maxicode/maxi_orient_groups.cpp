#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_refine.h"
#include "core/pixel.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// The level below which the orientation pattern counts a module dark: 0.9 T, truncated.
i32 DarkLevel() { return static_cast<i32>(0.9 * static_cast<double>(g_maxiGrid.threshold)); }

bool InFrame(const GEO_POINT &p) { return Maxi_PointInFrame16(&p) != 0; }

i32 GreyAt(const GEO_POINT &p) { return Maxi_PixelAt16(&p); }

// The point steps sixteenths along the major axis of p-q (negative: beyond p).
GEO_POINT Along(const GEO_POINT &p, const GEO_POINT &q, i32 steps) {
    SEGMENT_STEP s{p.x, p.y, q.x, q.y, steps, 0, 0};
    Geo_SegmentPointAt(&s);
    return GEO_POINT{s.outX, s.outY};
}

// A turned point is taken, passed over (0) or ends its pass (-1).
i32 SweepTakes(i32 mode, i32 dark, i32 v, i32 level) {
    if (dark != 0 && mode != 2) return v > level ? -1 : 1;
    if (dark == 0 && mode != 0) return v < level ? 0 : 1;
    return 1;
}

// The quotient outer / inner reaches 1.7; a zero inner grey makes it infinite.
bool OuterMuchLighter(const MAXI_SIDE &s) {
    if (s.innerGrey == 0) return true;
    const float q = static_cast<float>(s.outerGrey) / static_cast<float>(s.innerGrey);
    return static_cast<double>(q) >= 1.7;
}

}  // namespace

i32 Maxi_TwoModulesOnRay(const GEO_POINT *centre, const GEO_POINT *point, i32 pitch, GEO_POINT *points, i32 *count,
                         i32 capacity) {
    if (centre == nullptr || point == nullptr || points == nullptr || count == nullptr) return 0;
    *count = 0;
    auto inImage = [](const GEO_POINT *p) {
        return p->x >= 0 && p->y >= 0 && p->x < g_image.width && p->y < g_image.height;
    };
    if (g_image.data == nullptr || !inImage(centre) || !inImage(point)) return 0;
    const GEO_POINT target = Along(*point, *centre, -((7 * pitch) / 16));
    i32 n = 0;
    const i32 q = Maxi_MeasureRay(centre, &target, 1, points, &n, capacity, 0);
    if (q <= 15) return 0;
    *count = n;
    if (n == 1 && capacity >= 2) {
        const GEO_POINT p16{point->x * 16, point->y * 16};
        const GEO_POINT c16{centre->x * 16, centre->y * 16};
        points[1] = Along(p16, c16, -static_cast<i32>(1.05 * q + 8));
        *count = 2;
        return 1;
    }
    return n == 2 ? 1 : 0;
}

i32 Maxi_SweepAroundCentre(const GEO_POINT *centre, const GEO_POINT *point, i32 mode, i32 level, i32 range1[2],
                           i32 range2[2], GEO_POINT *points, i32 *count, i32 *greys, i32 capacity, i32 dark) {
    if (centre == nullptr || point == nullptr || range1 == nullptr || range2 == nullptr || points == nullptr ||
        count == nullptr || greys == nullptr) {
        return 0;
    }
    const i32 g0 = GreyAt(*point);
    *count = 0;
    i64 sums[2] = {0, 0};
    i32 taken[2] = {0, 0};
    for (i32 pass = 0; pass < 2; ++pass) {
        // The bounds are read once: a taken point moves the range's end to its index.
        i32 from = pass == 0 ? range1[0] : range2[0];
        i32 to = pass == 0 ? range1[1] : range2[1];
        if (mode == 0) {
            from = pass == 0 ? 9 : 10;
            to = pass == 0 ? 0 : 20;
        }
        const i32 step = pass == 0 ? -2 : 2;
        for (i32 k = from; (pass == 0 ? k >= to : k < to) && *count < capacity; k += step) {
            if (k < 0 || k >= kMaxiRotations) break;
            GEO_POINT q{};
            Maxi_RotateAboutCentre(point, centre, &q, k);
            if (!InFrame(q)) break;
            const i32 v = GreyAt(q);
            const i32 take = SweepTakes(mode, dark, v, level);
            if (take < 0) break;
            if (take == 0) continue;
            points[*count] = q;
            greys[*count] = v;
            ++*count;
            (pass == 0 ? range1 : range2)[1] = k;
            sums[pass] += v;
            ++taken[pass];
        }
    }
    if (taken[0] > 0 && taken[1] > 0) {
        const i64 m1 = (sums[0] + taken[0] / 2) / taken[0];
        const i64 m2 = (sums[1] + taken[1] / 2) / taken[1];
        // The lighter side weighs 0.65.
        const double light = 0.65, darker = 0.35;
        const double mean = m2 < m1 ? light * static_cast<double>(m1) + darker * static_cast<double>(m2)
                                    : darker * static_cast<double>(m1) + light * static_cast<double>(m2);
        return static_cast<i32>(mean);
    }
    const i64 k = 1 + taken[0] + taken[1];
    return static_cast<i32>((g0 + sums[0] + sums[1] + k / 2) / k);
}

i32 Maxi_MeanByShade(const GEO_POINT *points, i32 count, i32 lighter, i32 level, GEO_POINT *out) {
    if (points == nullptr || out == nullptr) return 0;
    i64 sx = 0;
    i64 sy = 0;
    i32 n = 0;
    for (i32 k = 0; k < count; ++k) {
        if (!InFrame(points[k])) break;
        const i32 v = GreyAt(points[k]);
        if (lighter != 0 ? v > level : v < level) {
            sx += points[k].x;
            sy += points[k].y;
            ++n;
        }
    }
    if (n == 0) return 0;
    *out = GEO_POINT{static_cast<i32>(sx / n), static_cast<i32>(sy / n)};
    return 1;
}

i32 Maxi_MeanOfLightPoints(const GEO_POINT *points, const i32 *greys, i32 count, i32 level, GEO_POINT *out) {
    if (out == nullptr) return 0;
    *out = GEO_POINT{0, 0};
    if (points == nullptr || greys == nullptr) return 0;
    i64 sx = 0;
    i64 sy = 0;
    i32 n = 0;
    for (i32 k = 0; k < count; ++k) {
        if (greys[k] < level) continue;
        sx += points[k].x;
        sy += points[k].y;
        ++n;
    }
    if (n == 0) return 0;
    *out = GEO_POINT{static_cast<i32>(sx / n), static_cast<i32>(sy / n)};
    return 1;
}

i32 Maxi_CentreOnLightArc(const GEO_POINT *centre, GEO_POINT modules[2]) {
    if (centre == nullptr || modules == nullptr) return 0;
    static constexpr i8 kArc[] = {10, 11, 12, 13, 14, 15, 16, 9, 8, 7, 6, 5, 4, 3};  // +0.01..+0.07, -0.01..-0.07 rad
    static_assert(sizeof(kArc) == 14);
    i64 sx = 0;
    i64 sy = 0;
    i32 n = 0;
    for (const i8 k : kArc) {
        GEO_POINT q{};
        Maxi_RotateAboutCentre(&modules[1], centre, &q, k);
        if (!InFrame(q) || GreyAt(q) <= g_maxiGrid.threshold) continue;
        sx += q.x;
        sy += q.y;
        ++n;
    }
    if (n == 0) return 0;
    modules[1] = GEO_POINT{static_cast<i32>(sx / n) + 8, static_cast<i32>(sy / n) + 8};
    return 1;
}

i32 Maxi_RecheckOuterPoints(const GEO_POINT *centre, MAXI_SIDE *a, MAXI_SIDE *b) {
    if (centre == nullptr || a == nullptr || b == nullptr) return 0;
    const i32 movedA = Maxi_CentreOnLightArc(centre, a->modules);
    const i32 movedB = Maxi_CentreOnLightArc(centre, b->modules);
    if (movedA == 0 && movedB == 0) return 0;
    if (!InFrame(a->modules[0]) || !InFrame(a->modules[1])) return 0;
    a->innerGrey = b->innerGrey = GreyAt(a->modules[0]);
    a->outerGrey = b->outerGrey = GreyAt(a->modules[1]);
    return 1;
}

i32 Maxi_AnalyseSide(const GEO_POINT *centre, const GEO_POINT *point, i32 pitch, MAXI_SIDE *side) {
    if (centre == nullptr || point == nullptr || side == nullptr) return 0;
    const i32 t = g_maxiGrid.threshold;
    side->count1 = 0;
    side->count2 = 0;
    i32 range1[2] = {9, 0};
    i32 range2[2] = {10, 20};
    GEO_POINT m[2];
    i32 n = 0;
    if (Maxi_TwoModulesOnRay(centre, point, pitch, m, &n, 2) == 0) return 0;
    bool found = false;
    if (InFrame(m[0]) && GreyAt(m[0]) <= t) {
        side->mean1 = Maxi_SweepAroundCentre(&side->centre, &m[0], 0, t, range1, range2, side->sweep1, &side->count1,
                                             side->greys1, kMaxiSweepPoints, 1);
        GEO_POINT d{};
        if (Maxi_MeanByShade(side->sweep1, side->count1, 0, t, &d) != 0) {
            const GEO_POINT dPixel{d.x >> 4, d.y >> 4};
            GEO_POINT again[2];
            if (Maxi_TwoModulesOnRay(centre, &dPixel, pitch, again, &n, 2) != 0) {
                m[0] = d;
                m[1] = again[1];
                side->innerGrey = GreyAt(m[0]);
                side->outerGrey = GreyAt(m[1]);
                found = true;
            }
        }
    } else if (InFrame(m[0])) {
        m[0] = GEO_POINT{-1, -1};
    }
    if (InFrame(m[1])) {
        const i32 dark = GreyAt(m[1]) <= t ? 1 : 0;
        const i32 mode = side->secondPass != 0 ? 2 : 1;
        const i32 flag = side->secondPass != 0 ? 0 : dark;
        side->mean2 = Maxi_SweepAroundCentre(&side->centre, &m[1], mode, t, range1, range2, side->sweep2,
                                             &side->count2, side->greys2, kMaxiSweepPoints, flag);
        GEO_POINT l{};
        if (side->mean2 > t && flag == 1) {
            if (Maxi_MeanByShade(side->sweep2, side->count2, 1, t, &l) != 0) {
                m[1] = l;
                side->outerGrey = GreyAt(l);
            }
        } else if (flag == 0 && side->secondPass != 0) {
            side->outerGrey = side->mean2;
        }
    }
    if (!found) return 0;
    side->modules[0] = m[0];
    side->modules[1] = m[1];
    return 1;
}

i32 Maxi_ClassifyDarkOuter(MAXI_PAIR *pair) {
    if (pair == nullptr || pair->a == nullptr || pair->b == nullptr) return 0;
    const MAXI_SIDE &a = *pair->a;
    const MAXI_SIDE &b = *pair->b;
    GEO_POINT apexA{}, apexB{};
    Maxi_EquilateralApex(&a.modules[1], &a.modules[0], &apexA);
    Maxi_EquilateralApex(&b.modules[1], &b.modules[0], &apexB);
    if (!InFrame(apexA) || !InFrame(apexB)) return 0;
    const i32 level = DarkLevel();
    const i32 ga = GreyAt(apexA);
    const i32 gb = GreyAt(apexB);
    if ((ga < level && gb < level) || (ga > level && gb > level)) return 0;
    pair->tripleA[0] = a.modules[0];
    pair->tripleA[1] = a.modules[1];
    pair->tripleA[2] = apexA;
    pair->tripleB[0] = b.modules[0];
    pair->tripleB[1] = b.modules[1];
    pair->tripleB[2] = apexB;
    pair->cls = 2;
    return 1;
}

i32 Maxi_ClassifyLightOuter(MAXI_PAIR *pair) {
    if (pair == nullptr || pair->a == nullptr || pair->b == nullptr) return 0;
    const i32 t = g_maxiGrid.threshold;
    const i32 level = DarkLevel();
    const MAXI_SIDE *sides[2] = {pair->a, pair->b};
    const i32 pitches[2] = {pair->pitchA, pair->pitchB};
    GEO_POINT l[2] = {};
    for (i32 s = 0; s < 2; ++s) {
        GEO_POINT m{};
        if (Maxi_MeanOfLightPoints(sides[s]->sweep2, sides[s]->greys2, sides[s]->count2, level, &m) == 0) return 0;
        GEO_POINT points[kMaxiSweepPoints];
        i32 greys[kMaxiSweepPoints];
        i32 n = 0;
        i32 range1[2] = {9, 0};
        i32 range2[2] = {10, 20};
        Maxi_SweepAroundCentre(&pair->centre, &m, 2, t, range1, range2, points, &n, greys, 30, 0);
        if (Maxi_MeanByShade(points, n, 1, t, &l[s]) == 0) l[s] = GEO_POINT{0, 0};
    }
    if (!InFrame(l[0]) || !InFrame(pair->centre) || !InFrame(l[1])) return 0;
    GEO_POINT q[2], z[2];
    for (i32 s = 0; s < 2; ++s) {
        q[s] = Along(l[s], pair->centre, pitches[s]);
        GEO_POINT r{};
        Maxi_EquilateralApex(&l[s], &q[s], &r);
        Maxi_DarkCentroid(&r, pitches[s], &z[s]);
        if (!InFrame(z[s]) || GreyAt(z[s]) > level) return 0;
    }
    pair->tripleA[0] = q[0];
    pair->tripleA[1] = l[0];
    pair->tripleA[2] = z[0];
    pair->tripleB[0] = q[1];
    pair->tripleB[1] = l[1];
    pair->tripleB[2] = z[1];
    pair->cls = 1;
    return 1;
}

i32 Maxi_ClassifyPair(MAXI_PAIR *pair) {
    if (pair == nullptr || pair->a == nullptr || pair->b == nullptr) return 0;
    pair->cls = 0;
    const i32 level = DarkLevel();
    const MAXI_SIDE &a = *pair->a;
    const MAXI_SIDE &b = *pair->b;
    if (a.innerGrey > level || b.innerGrey > level) return 0;
    if (a.outerGrey < level && b.outerGrey < level) return Maxi_ClassifyDarkOuter(pair);
    if (a.outerGrey > level && b.outerGrey > level) return Maxi_ClassifyLightOuter(pair);
    if (a.outerGrey == level || b.outerGrey == level) return 1;  // no axis
    return 0;
}

void Maxi_AnalysePairs(MAXI_RAY_FAN *fan, const GEO_POINT *centre, i32 scratchOffset, MAXI_AXIS *class1,
                       MAXI_AXIS *class2, i32 *count1, i32 *count2, i32 capacity) {
    if (count1 != nullptr) *count1 = 0;
    if (count2 != nullptr) *count2 = 0;
    MAXI_ORIENT_SCRATCH *scratch = Maxi_OrientScratch(scratchOffset);
    if (fan == nullptr || centre == nullptr || class1 == nullptr || class2 == nullptr || count1 == nullptr ||
        count2 == nullptr || scratch == nullptr) {
        return;
    }
    MAXI_SIDE *a = &scratch->analysis.sides[0];
    MAXI_SIDE *b = &scratch->analysis.sides[1];
    const GEO_POINT c{centre->x >> 4, centre->y >> 4};
    const i32 t = g_maxiGrid.threshold;
    const i32 pairs = fan->forwardTotal < kMaxiFanEntries ? fan->forwardTotal : kMaxiFanEntries;
    for (i32 k = 0; k < pairs; ++k) {
        const i32 pf = fan->forwardPitches[k];
        const i32 po = fan->oppositePitches[k];
        const GEO_POINT f{fan->forward[k].x >> 4, fan->forward[k].y >> 4};
        const GEO_POINT o{fan->opposite[k].x >> 4, fan->opposite[k].y >> 4};
        *a = MAXI_SIDE{};
        *b = MAXI_SIDE{};
        a->centre = *centre;
        b->centre = *centre;
        if (Maxi_AnalyseSide(&c, &f, pf, a) == 0 || Maxi_AnalyseSide(&c, &o, po, b) == 0) continue;
        if ((OuterMuchLighter(*a) || OuterMuchLighter(*b)) && Maxi_RecheckOuterPoints(centre, a, b) != 0 &&
            a->innerGrey <= t && b->innerGrey <= t && a->outerGrey >= t && b->outerGrey >= t) {
            a->secondPass = 1;
            const GEO_POINT ia{a->modules[0].x >> 4, a->modules[0].y >> 4};
            if (Maxi_AnalyseSide(&c, &ia, pf, a) != 0) {
                b->secondPass = 1;
                const GEO_POINT ib{b->modules[0].x >> 4, b->modules[0].y >> 4};
                Maxi_AnalyseSide(&c, &ib, po, b);
            }
        }
        MAXI_PAIR pair{*centre, a, b, pf, po, {}, {}, 0};
        Maxi_ClassifyPair(&pair);
        if (pair.cls == 1 && *count1 < capacity) {
            class1[(*count1)++] = MAXI_AXIS{{pair.tripleA[0], pair.tripleA[1], pair.tripleA[2]},
                                            {pair.tripleB[0], pair.tripleB[1], pair.tripleB[2]}, pf, po};
        } else if (pair.cls == 2 && *count2 < capacity) {
            class2[(*count2)++] = MAXI_AXIS{{pair.tripleA[0], pair.tripleA[1], pair.tripleA[2]},
                                            {pair.tripleB[0], pair.tripleB[1], pair.tripleB[2]}, pf, po};
        }
    }
}

}  // namespace vexo
