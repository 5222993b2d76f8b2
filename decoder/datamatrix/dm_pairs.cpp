// Read mode 2: two Data Matrix symbols printed side by side read as one message. Candidates
// of the same size and orientation standing next to each other are paired and ordered; the
// two symbols of a pair are decoded and their texts joined, the left (or upper) one first.
#include <cstdlib>
#include <cstring>

#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_stages.h"
#include "toolkit/geometry_points.h"

namespace vexo {

namespace {

constexpr i32 kMaxPairs = 40;
constexpr i32 kMaxArmSpread = 20;     // percent between the two arms of one candidate
constexpr i32 kParallelCosine = 939;  // arms at or below reject
constexpr i32 kAlongCosine = 966;
constexpr i32 kAsideCosine = 260;  // magnitudes from here to 965 reject
constexpr i32 kNoClass = -2;

struct PairState {
    u8 join[kDmTextBytes];  // the first symbol's text, a whole text
    i32 joinLength;
    i32 previousClass;
};
PairState g_pairs;

i32 Dist(GEO_POINT a, GEO_POINT b) { return Geo_DistanceInt(a.x, a.y, b.x, b.y); }
i32 Max(i32 a, i32 b) { return a > b ? a : b; }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }

i32 VectorCosine(GEO_POINT tip1, GEO_POINT base1, GEO_POINT tip2, GEO_POINT base2) {
    const GEO_POINT o{0, 0};
    const GEO_POINT u{tip1.x - base1.x, tip1.y - base1.y};
    const GEO_POINT v{tip2.x - base2.x, tip2.y - base2.y};
    return DM_CosineTimes1000(&o, &u, &v);
}

// 1: i first, 2: j first, 0: undecided, -1: reject.
i32 Placement(const DM_CANDIDATE &ci, const DM_CANDIDATE &cj) {
    const i32 c[4] = {
        DM_CosineTimes1000(&ci.corner, &cj.corner, &ci.armEnd2),
        DM_CosineTimes1000(&ci.corner, &cj.corner, &ci.armEnd1),
        DM_CosineTimes1000(&cj.corner, &ci.corner, &cj.armEnd2),
        DM_CosineTimes1000(&cj.corner, &ci.corner, &cj.armEnd1),
    };
    // The order an along (above 966) cosine gives for each test; opposite gives the other.
    static constexpr i32 kAlongGives[4] = {1, 2, 2, 1};
    i32 decided = 0;
    for (i32 k = 0; k < 4; ++k) {
        const i32 m = std::abs(c[k]);
        if (m >= kAsideCosine && m < kAlongCosine) return -1;
        if (decided != 0) continue;
        if (c[k] > kAlongCosine) decided = kAlongGives[k];
        if (c[k] < -kAlongCosine) decided = 3 - kAlongGives[k];
    }
    return decided;
}

void ReturnJoinAlone() {
    std::memcpy(g_dmResult.text, g_pairs.join, static_cast<size_t>(g_pairs.joinLength));
    g_dmResult.length = g_pairs.joinLength;
}

// The joined text into the result, the join buffer first or last; 0 when it would not fit.
i32 Join(bool joinFirst) {
    const i32 cur = g_dmResult.length;
    const i32 total = cur + g_pairs.joinLength;
    if (cur < 0 || total > kDmTextLimit) return 0;
    if (joinFirst) {
        std::memmove(g_dmResult.text + g_pairs.joinLength, g_dmResult.text, static_cast<size_t>(cur));
        std::memcpy(g_dmResult.text, g_pairs.join, static_cast<size_t>(g_pairs.joinLength));
    } else {
        std::memcpy(g_dmResult.text + cur, g_pairs.join, static_cast<size_t>(g_pairs.joinLength));
    }
    g_dmResult.length = total;
    return 1;
}

// The end of the path: the join buffer alone when it holds a text, else the best status.
i32 Finish() {
    if (g_pairs.joinLength > 0) {
        ReturnJoinAlone();
        return 0;
    }
    if (g_pairs.previousClass == kNoClass) return DM_GetBestStatus();
    DM_KeepBestStatus(kDmStatusUnjoined);
    return DM_GetBestStatus();
}

}  // namespace

void DM_InsertionSortKeys(i32 *keys, i32 n) {
    for (i32 i = 1; i < n; ++i) {
        const i32 k = keys[i];
        i32 j = i - 1;
        while (j >= 0 && keys[j] > k) {
            keys[j + 1] = keys[j];
            --j;
        }
        keys[j + 1] = k;
    }
}

void DM_SortPairs(i32 *outIndex, i32 *score2, i32 *score1, i32 count) {
    i32 keys[kMaxPairs];
    const i32 n = Min(count, kMaxPairs);
    for (i32 i = 0; i < n; ++i) keys[i] = (score1[i] + 2 * score2[i]) * 256 + i;
    DM_InsertionSortKeys(keys, n);
    for (i32 i = 0; i < n; ++i) outIndex[i] = keys[i] & 255;
}

i32 DM_PairCandidates(DM_CANDIDATE *cands, i32 n, i32 *order, i32 capacity) {
    if (cands == nullptr || order == nullptr || capacity <= 1 || n <= 0) return 0;
    i32 first[kMaxPairs], second[kMaxPairs], score1[kMaxPairs], score2[kMaxPairs];
    i32 pairs = 0;
    for (i32 i = 0; i < n && pairs < kMaxPairs; ++i) {
        DM_CANDIDATE &ci = cands[i];
        if (ci.valid != 1) continue;
        const i32 ai = Dist(ci.corner, ci.armEnd1);
        const i32 bi = Dist(ci.corner, ci.armEnd2);
        ci.arm1Length = ai;
        ci.arm2Length = bi;
        if (Max(ai, bi) <= 0 || 100 * std::abs(ai - bi) / Max(ai, bi) > kMaxArmSpread) continue;
        for (i32 j = i + 1; j < n && pairs < kMaxPairs; ++j) {
            DM_CANDIDATE &cj = cands[j];
            if (cj.valid != 1) continue;
            const i32 aj = Dist(cj.corner, cj.armEnd1);
            const i32 bj = Dist(cj.corner, cj.armEnd2);
            cj.arm1Length = aj;
            cj.arm2Length = bj;
            if (5 * std::abs(aj - bj) > Max(aj, bj)) continue;
            if (4 * std::abs(aj - ai) > Max(aj, ai) || Max(aj, ai) <= 0) continue;
            i32 s1 = 1000 * std::abs(aj - ai) / Max(aj, ai);
            if (4 * std::abs(bj - bi) > Max(bj, bi) || Max(bj, bi) <= 0) continue;
            s1 += 1000 * std::abs(bj - bi) / Max(bj, bi);
            const i32 d = Dist(ci.corner, cj.corner);
            if (Min(Min(ai, bi), Min(aj, bj)) > d || d > 5 * Min(Min(ai, bi), Min(aj, bj))) continue;
            const i32 c1 = std::abs(VectorCosine(ci.armEnd1, ci.corner, cj.armEnd1, cj.corner));
            if (c1 <= kParallelCosine) continue;
            const i32 c2 = std::abs(VectorCosine(ci.armEnd2, ci.corner, cj.armEnd2, cj.corner));
            if (c2 <= kParallelCosine) continue;
            const i32 s2 = (1000 - Min(c1, 1000)) + (1000 - Min(c2, 1000));
            const i32 place = Placement(ci, cj);
            if (place <= 0) continue;
            first[pairs] = place == 1 ? i : j;
            second[pairs] = place == 1 ? j : i;
            score1[pairs] = s1;
            score2[pairs] = s2;
            ++pairs;
        }
    }
    i32 sorted[kMaxPairs];
    DM_SortPairs(sorted, score2, score1, pairs);
    i32 written = 0;
    for (i32 m = 0; m < pairs && m < capacity / 2; ++m) {
        order[2 * m] = first[sorted[m]];
        order[2 * m + 1] = second[sorted[m]];
        written += 2;
    }
    return written;
}

i32 DM_DecodeSymbolPairs(const DM_STAGES *stages, DM_CANDIDATE *cands, i32 n, i32 *order, i32 k) {
    if (stages == nullptr || cands == nullptr || order == nullptr || k <= 0) return DM_GetBestStatus();
    if (k > kDmMaxFetched) k = kDmMaxFetched;
    g_pairs.joinLength = 0;
    g_pairs.previousClass = kNoClass;
    i32 marks[kDmMaxFetched] = {};
    i32 j = 0;
    // Every pass either moves j or marks an untried entry, so this many passes suffice.
    for (i32 guard = 0; j < k && guard < 4 * kDmMaxFetched * kDmMaxFetched; ++guard) {
        i32 c = order[j];
        if (c < 0 || c >= n || c >= kDmMaxFetched || marks[c] != 0) {
            ++j;
            continue;
        }
        i32 start = j;
        i32 cur = j;
        for (;;) {
            c = order[cur];
            if (c < 0 || c >= n || c >= kDmMaxFetched) break;
            DM_PREPARED_CANDIDATE work{};
            DM_PrepareCandidate(&work, &cands[c]);
            marks[c] = 1;
            if (work.valid == 0) break;
            DM_GEOMETRY geometry{};
            const i32 s = DM_DecodeCandidateWith(stages, &work, &geometry);
            if (s != 0) {
                DM_KeepBestStatus(s);
                break;
            }
            DM_StoreResult();
            if (g_dmSaInfo.saPresent != 0) {
                if (g_pairs.joinLength > 0) {
                    ReturnJoinAlone();
                    return 0;
                }
                return Finish();
            }
            if (g_pairs.previousClass != kNoClass && geometry.layoutClass != g_pairs.previousClass) {
                if (g_pairs.joinLength > 0) {
                    ReturnJoinAlone();
                    return 0;
                }
                DM_KeepBestStatus(kDmStatusUnjoined);
                return DM_GetBestStatus();
            }
            marks[c] = 2;
            const bool partnerDone = cur != start || ((cur & 1) != 0 && order[cur - 1] >= 0 &&
                                                      order[cur - 1] < kDmMaxFetched && marks[order[cur - 1]] == 2);
            if (partnerDone) {
                // A joined text beyond the result is refused: the first text stands alone.
                if (!Join((cur & 1) != 0)) break;
                DM_KeepBestStatus(0);
                return 0;
            }
            const i32 len = g_dmResult.length < 0 ? 0 : (g_dmResult.length > kDmTextLimit ? kDmTextLimit : g_dmResult.length);
            std::memcpy(g_pairs.join, g_dmResult.text, static_cast<size_t>(len));
            g_pairs.joinLength = len;
            g_pairs.previousClass = geometry.layoutClass;
            if ((j & 1) == 0) {
                if (j + 1 >= k) break;
                cur = j + 1;
                continue;
            }
            i32 x = -1;
            for (i32 t = 0; t < k; ++t) {
                if (t != j && order[t] == c) {
                    x = t;
                    break;
                }
            }
            if (x < 0) break;
            start = x;
            cur = (x & 1) == 0 ? x + 1 : x - 1;
            if (cur >= k) break;
        }
    }
    return Finish();
}

}  // namespace vexo
