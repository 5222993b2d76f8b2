// Han Xin line finder: entry 4 of the 2D finder table. Every line's run-pattern hits are
// refined at once into candidate patterns: the core's centre, fans of probes over the bands
// that wrap the core, and the core's compactness.
#include "core/params.h"
#include "core/pixel.h"
#include "hanxin/cscn_core_tests.h"
#include "hanxin/cscn_finder.h"
#include "locate/finder_services.h"
#include "toolkit/sampling.h"

namespace vexo {

CSCN_CANDIDATE_LISTS g_cscnCandidates;
CSCN_HIT_RING g_cscnHitRing;
CSCN_FINDER_SET g_cscnFinderSet;
CSCN_BOX_LIST g_cscnBoxes;
i32 g_cscnCurrentPass = 1;
u8 g_cscnNormalGate;
u8 g_cscnInverseGate;
u8 g_cscnLineBuffer[kCscnLineBufferSize];

namespace {

constexpr i32 kFinderId = kFinderIdCsCode;
constexpr i32 kExtentReach = 12;  // rows (columns) an extent search looks at
constexpr i32 kDuplicateReach = 3;
constexpr i32 kFanProbes = 5;

CSCN_CANDIDATE g_normalCandidates[kCscnCandidates];
CSCN_CANDIDATE g_inverseCandidates[kCscnCandidates];
CSCN_FINDER_REF g_normalRefs[kCscnCandidates];
CSCN_FINDER_REF g_inverseRefs[kCscnCandidates];
CSCN_FINDER g_finders[2][kCscnCandidates];
POINT_I32 g_refPoints[2][kCscnCandidates][3];
u8 g_normalValid[kCscnCandidates];
u8 g_inverseValid[kCscnCandidates];
EDGE_ITEM g_mergedEdges[kCscnLineEdges];
// The probes' own buffer: region locating holds the work memory while the finders run.
u8 g_probeBuffer[kCscnProbeSamples];

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }
i32 Max(i32 a, i32 b) { return a < b ? b : a; }

// A hit on the way to a candidate, in line terms: `along` the line, `across` it.
struct HitContext {
    bool row;
    i32 polarity;
    i32 width;
    i32 form;
    CSCN_CANDIDATE *list;
    i32 *count;
};

// The image pixel of line coordinates.
i32 LinePix(const HitContext &c, i32 along, i32 across) {
    const i32 x = c.row ? along : across;
    const i32 y = c.row ? across : along;
    return g_image.data[static_cast<i64>(y) * g_image.width + x];
}

POINT_I32 ToImage(const HitContext &c, i32 along, i32 across) {
    return c.row ? POINT_I32{along, across} : POINT_I32{across, along};
}

bool Duplicate(const HitContext &c, POINT_I32 p) {
    for (i32 k = 0; k < *c.count; ++k) {
        const i32 dx = c.list[k].centre.x - p.x;
        const i32 dy = c.list[k].centre.y - p.y;
        if (Abs(dx) <= kDuplicateReach && Abs(dy) <= kDuplicateReach) return true;
    }
    return false;
}

// The across-line extent of the wide run through (along, across): its midpoint, or -1
// when the column test drops the hit.
i32 RunExtentMiddle(const HitContext &c, i32 along, i32 across, i32 size) {
    const bool dark = c.polarity == 1;
    const i32 p0 = LinePix(c, along, across - 1), p1 = LinePix(c, along, across), p2 = LinePix(c, along, across + 1);
    // Light modules are bounded from the brightest of the three: from the darkest plus 10,
    // as for dark modules, no pixel of a light core would belong and every column hit of the
    // inverse pass would be dropped.
    const i32 t = dark ? Min(Min(p0, p1), p2) + 10 : Max(Max(p0, p1), p2) - 10;
    auto belongs = [&](i32 v) { return dark ? v <= t : v >= t; };
    auto atLeast = [&](i32 v, i32 ref) { return dark ? v <= ref : v >= ref; };
    i32 tracked = LinePix(c, along, across);
    i32 top = across;
    const bool backward = belongs(LinePix(c, along, across)) && across > 0;
    if (backward) {
        const i32 lim = Min(across - 1, kExtentReach);
        top = across - lim;
        for (i32 k = across - 1; k > across - lim; --k) {
            const i32 v = LinePix(c, along, k);
            if (atLeast(v, tracked)) tracked = v;
            if (!belongs(v)) {
                top = k;
                break;
            }
        }
    }
    i32 bottom = across + 1;
    bool deeper = false;
    if (across < size - 2 && belongs(LinePix(c, along, across + 1))) {
        const i32 lim = across < size - 14 ? kExtentReach : size - 2 - across;
        bottom = across + 1 + lim;
        for (i32 k = across + 2; k <= across + lim; ++k) {
            const i32 v = LinePix(c, along, k);
            if (atLeast(v, tracked)) {
                tracked = v;
                deeper = true;
            }
            if (!belongs(v)) {
                bottom = k;
                break;
            }
        }
    }
    // Columns only: a run that neither reaches back nor deepens forward is no core.
    if (!c.row && !backward && !deeper) return -1;
    return (top + bottom) >> 1;
}

struct ProbeResult {
    i32 d1;
    i32 e2;
};

// Three edges of the bands between the centre and the target, their first two spacings
// alike.
bool Probe(const HitContext &c, POINT_I32 centre, POINT_I32 target, ProbeResult *out) {
    const i32 n = Geo_SampleLine(g_image.data, &centre, &target, g_probeBuffer, Min(c.width, kCscnProbeSamples));
    EDGE_ITEM edges[3];
    CSCN_EDGE_SCAN scan{edges, g_probeBuffer, static_cast<u16>(n), g_edgeThresholds.ratio, 6, 3, 0};
    if (CSCN_ProfileEdges(&scan, c.polarity == 2 ? 1 : 0) < 3) return false;
    const i32 d1 = edges[1].position - edges[0].position;
    const i32 d2 = edges[2].position - edges[1].position;
    if (!((8 * d2 < 10 * d1 && 10 * d1 < 15 * d2) || (8 * d1 < 10 * d2 && 10 * d2 < 15 * d1))) return false;
    out->d1 = d1;
    out->e2 = edges[2].position;
    return true;
}

struct Fan {
    POINT_I32 targets[kFanProbes];
    i32 k;
};

// The fan's targets: u along the line (sign su), v across it (sign sv).
void FanTargets(const HitContext &c, POINT_I32 centre, i32 su, i32 sv, Fan *fan) {
    const i32 l = c.width + (c.width >> 1);
    const i32 q = l >> 2;
    const i32 h = l >> 1;
    const i32 offsets[kFanProbes][2] = {{l, q}, {l, q + h}, {l - q, l}, {l - q - h, l}, {l - q - 2 * h, l}};
    const i32 along0 = c.row ? centre.x : centre.y;
    const i32 across0 = c.row ? centre.y : centre.x;
    for (i32 j = 0; j < kFanProbes; ++j)
        fan->targets[j] = ToImage(c, along0 + su * offsets[j][0], across0 + sv * offsets[j][1]);
}

i32 RunFan(const HitContext &c, POINT_I32 centre, Fan *fan) {
    ProbeResult r[kFanProbes];
    i32 k = 0;
    while (k < kFanProbes && Probe(c, centre, fan->targets[k], &r[k])) ++k;
    fan->k = 0;
    if (k == 0) return 0;
    i32 lo = r[0].d1, hi = r[0].d1;
    for (i32 j = 1; j < k; ++j) {
        lo = Min(lo, r[j].d1);
        hi = Max(hi, r[j].d1);
        if (Abs(r[j].e2 - r[j - 1].e2) * 100 > 40 * r[j - 1].e2) return 0;
    }
    if (lo == 0 || lo * 190 < hi * 100) return 0;
    if (k >= 2) {
        for (i32 j = k - 1; j >= 1; --j) {
            POINT_I32 mid{(fan->targets[j].x + fan->targets[j - 1].x) >> 1, (fan->targets[j].y + fan->targets[j - 1].y) >> 1};
            ProbeResult unused;
            if (!Probe(c, centre, mid, &unused)) {
                --k;
                break;
            }
        }
    }
    fan->k = k;
    return k;
}

POINT_I32 Mid(POINT_I32 a, POINT_I32 b) { return {(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

POINT_I32 ArmEnd(const Fan &f, const Fan &a, const Fan &b, const Fan &other) {
    if (f.k >= 2) return Mid(f.targets[f.k - 1], f.targets[f.k - 2]);
    if (f.k == 1) return Mid(f.targets[0], Mid(a.targets[0], b.targets[0]));
    return other.targets[0];
}

// One hit of one polarity into the candidate list of that polarity.
void RefineHit(const CSCN_LINE_HIT &hit, i32 polarity, bool row) {
    CSCN_CANDIDATE_LISTS &lists = g_cscnCandidates;
    if (lists.normalListCount >= lists.normalListCapacity || lists.inverseListCount >= lists.inverseListCapacity) return;
    HitContext c{row, polarity, hit.width, hit.form, polarity == 1 ? lists.normalList : lists.inverseList,
                 polarity == 1 ? &lists.normalListCount : &lists.inverseListCount};
    const i32 w = g_image.width, h = g_image.height;
    if (!(1 < hit.x && hit.x < w - 1 && 1 < hit.y && hit.y < h - 1)) return;
    const i32 along = row ? hit.x : hit.y;
    const i32 across = row ? hit.y : hit.x;
    const i32 mid = RunExtentMiddle(c, along, across, row ? h : w);
    if (mid < 0) return;
    const POINT_I32 estimate = ToImage(c, along, mid);
    if (Duplicate(c, estimate)) return;
    CSCN_CANDIDATE &cand = c.list[*c.count];
    cand.centre = estimate;
    const POINT_I32 rc = CSCN_RecentreInRun(estimate.x, estimate.y, polarity);
    const i32 rcAlong = row ? rc.x : rc.y;
    const i32 rcAcross = row ? rc.y : rc.x;
    if (row) {
        if (Duplicate(c, rc) || Abs(along - rcAlong) > c.width || Abs(across - mid) > c.width) return;
    } else if (Abs(rcAcross - mid) > c.width || Abs(rcAlong - along) > c.width) {
        return;
    }
    const i32 su = hit.form == 1 ? -1 : 1;
    Fan first{}, second{};
    FanTargets(c, rc, su, -1, &first);
    FanTargets(c, rc, su, 1, &second);
    const i32 m = RunFan(c, rc, &first);
    if (!row && m == 0) return;
    const i32 n = RunFan(c, rc, &second);
    if (!(Max(m, n) >= 4 || Min(m, n) >= 2)) return;
    const POINT_I32 centre = CSCN_RecentreInRun(rc.x, rc.y, polarity);
    if (!row && Duplicate(c, centre)) return;
    cand.centre = centre;
    if (CSCN_CoreCompact(centre.x, centre.y, polarity, (c.width >> 2) + (c.width >> 1)) == 0) return;
    const POINT_I32 endFirst = ArmEnd(first, first, second, second);
    const POINT_I32 endSecond = ArmEnd(second, first, second, first);
    const bool firstIsArm0 = row == (hit.form == 1);
    cand.armEnd[0] = firstIsArm0 ? endFirst : endSecond;
    cand.armEnd[1] = firstIsArm0 ? endSecond : endFirst;
    for (i32 a = 0; a < 2; ++a) cand.armDir[a] = {centre.x - cand.armEnd[a].x, centre.y - cand.armEnd[a].y};
    cand.width = c.width;
    ++*c.count;
}

void Drain(bool row) {
    CSCN_LINE_HIT hit;
    while (CSCN_RingPop(&g_cscnHitRing, &hit) != 0) {
        if (hit.width > kCscnMaxHitWidth) continue;
        if (g_cscnNormalGate != 0 && hit.polarity != 2) RefineHit(hit, 1, row);
        if (g_cscnInverseGate != 0 && hit.polarity != 1) RefineHit(hit, 2, row);
    }
}

void ResetFinderSet() {
    CSCN_FINDER_SET &s = g_cscnFinderSet;
    s = CSCN_FINDER_SET{g_normalRefs, g_inverseRefs, g_normalValid, g_inverseValid, 0, 0, 0, 0, 0, 0,
                        kCscnCandidates, kCscnCandidates};
    for (i32 pass = 0; pass < 2; ++pass) {
        CSCN_FINDER_REF *refs = pass == 0 ? g_normalRefs : g_inverseRefs;
        for (i32 i = 0; i < kCscnCandidates; ++i) {
            g_finders[pass][i] = CSCN_FINDER{};
            for (POINT_I32 &p : g_refPoints[pass][i]) p = {0, 0};
            refs[i] = CSCN_FINDER_REF{&g_finders[pass][i], &g_refPoints[pass][i][0], &g_refPoints[pass][i][1],
                                      &g_refPoints[pass][i][2], -1, 0, 0, 0};
        }
    }
    for (i32 i = 0; i < kCscnCandidates; ++i) g_normalValid[i] = g_inverseValid[i] = 0;
}

}  // namespace

void CSCN_FinderReset(REGION_QUAD *, REGION_QUAD *) {
    CSCN_HIT_RING &ring = g_cscnHitRing;
    ring.polarityMode = CSCN_PolarityMode(g_params.flagsWord[kSymCsCode], ring.polarityMode);
    CSCN_PolarityGates(ring.polarityMode, &g_cscnNormalGate, &g_cscnInverseGate);
    for (i32 i = 0; i < kCscnCandidates; ++i) g_normalCandidates[i] = g_inverseCandidates[i] = CSCN_CANDIDATE{};
    g_cscnCandidates = CSCN_CANDIDATE_LISTS{g_normalCandidates, kCscnCandidates, 0, 0,
                                            g_inverseCandidates, kCscnCandidates, 0, 0};
    g_cscnBoxes.count = 0;
    g_cscnBoxes.capacity = kCscnBoxes;
    ResetFinderSet();
    CSCN_ResetHitRing(&ring);
}

int CSCN_FinderRowWanted() { return Par_Enabled(kSymCsCode) ? 1 : 0; }

int CSCN_FinderColumnWanted() { return Par_Enabled(kSymCsCode) ? 1 : 0; }

void CSCN_FinderLine(FINDER_LINE *line) {
    if (Loc_OtherFinderSucceeded(kFinderId) == 1) return;
    const u16 locked = g_finderState.lockedId;
    if (locked != kFinderId && locked != kFinderNoneLocked) return;
    if (line == nullptr || line->current == nullptr || g_image.data == nullptr) return;
    const EDGE_LINE *current = line->current;
    if (CSCN_RingEmpty(&g_cscnHitRing) != 0 && current->edgeCount <= 6) return;
    const bool row = current->direction == 1;
    const i32 n = CSCN_MergeEdges(current->edges, current->edgeCount, g_mergedEdges);
    if (n > 5) CSCN_MatchRuns(g_mergedEdges, n, current->linePosition, row ? 1 : 0, &g_cscnHitRing);
    Drain(row);
}

}  // namespace vexo
