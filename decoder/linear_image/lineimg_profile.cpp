// Multi-line scan profile: 20 lines across the region, aligned, their bar edges tracked to
// fit how each line maps onto the middle line, then merged into one profile.
#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "linear_image/lineimg_profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kBlocks = 5;
constexpr i32 kBlockBytes[kBlocks] = {kProfBlockLines, kProfBlockMerged, kProfBlockWorkA, kProfBlockWorkB,
                                      kProfBlockProfile};
static_assert(sizeof(kBlockBytes) / sizeof(kBlockBytes[0]) == kBlocks);
constexpr i32 kLinesBlock = 0, kMergedBlock = 1, kWorkABlock = 2, kWorkBBlock = 3, kProfileBlock = 4;
constexpr i32 kBorder = 16;
constexpr i32 kCoarseWidth = 60;
constexpr i32 kFilterFloor = 5;
constexpr i32 kMinTracks = 4;

void *g_profHeld[kBlocks] = {};
i32 g_profTaken = 0;

u8 *Block(i32 k) { return g_profTaken == kBlocks ? static_cast<u8 *>(g_profHeld[k]) : nullptr; }

i32 Abs(i32 v) { return v < 0 ? -v : v; }

i32 Sign(i32 f) { return f >= kFilterFloor ? 1 : f <= -kFilterFloor ? -1 : 0; }

// Weighted least squares of u = V + slope v.
struct TrackSums {
    f64 w, wv, wv2, wu, wuv;
    i32 values;
};

void AddRun(TrackSums *t, const i16 *f, u8 *used, i32 v, i32 from, i32 to) {
    for (i32 m = from; m <= to; ++m) {
        const f64 w = Abs(f[m]);
        t->w += w;
        t->wv += w * v;
        t->wv2 += w * v * v;
        t->wu += w * m;
        t->wuv += w * m * v;
        ++t->values;
        used[m] = 1;
    }
}

bool HasSign(const i16 *f, i32 from, i32 to, i32 sign) {
    for (i32 m = from; m <= to; ++m)
        if (Sign(f[m]) == sign) return true;
    return false;
}

}  // namespace

int LineImg_AllocProfileBuffers() {
    LineImg_FreeProfileBuffers();
    for (i32 k = 0; k < kBlocks; ++k) {
        g_profHeld[k] = Mem_Alloc(kBlockBytes[k]);
        if (g_profHeld[k] == nullptr) {
            Mem_FreeList(g_profHeld, k);
            for (void *&p : g_profHeld) p = nullptr;
            return 0;
        }
        g_profTaken = k + 1;
    }
    return 1;
}

void LineImg_FreeProfileBuffers() {
    if (g_profTaken > 0) Mem_FreeList(g_profHeld, g_profTaken);
    for (void *&p : g_profHeld) p = nullptr;
    g_profTaken = 0;
}

u16 *LineImg_ProfileBuffer() { return reinterpret_cast<u16 *>(Block(kProfileBlock)); }

i32 LineImg_ScoreCut(const i32 *scores, i32 l) {
    if (scores == nullptr || l < 3 || l > kProfLines) return 0;
    i32 sorted[kProfLines];
    for (i32 i = 0; i < l; ++i) {
        i32 at = i;
        while (at > 0 && sorted[at - 1] > scores[i]) {
            sorted[at] = sorted[at - 1];
            --at;
        }
        sorted[at] = scores[i];
    }
    const i32 g0 = sorted[1] - sorted[0];
    for (i32 k = 1; k + 1 < l; ++k)
        if (sorted[k + 1] - sorted[k] > g0 / 2) return sorted[k];
    return 0;
}

void LineImg_AlignLines(PROFILE_LINES *lines, i32 *scores) {
    const i32 l = lines->l;
    if (l > kProfLines || l < 1) return;
    i32 shift[kProfLines];
    shift[0] = 0;
    scores[0] = 0;
    for (i32 d = 1; d < l; ++d) {
        const u8 *prev = lines->rows[d - 1];
        const u8 *cur = lines->rows[d];
        i32 s[3] = {};
        for (i32 k = 1; k < lines->n - 1; k += 5)
            for (i32 t = -1; t <= 1; ++t) s[t + 1] += Abs(prev[k] - cur[k + t]);
        i32 step = 1;
        if (s[0] < s[1] && s[0] < s[2]) step = -1;
        else if (s[1] < s[0] && s[1] < s[2]) step = 0;
        scores[d] = s[step + 1];
        shift[d] = shift[d - 1] + step;
    }
    i32 lo = shift[0], hi = shift[0];
    for (i32 d = 1; d < l; ++d) {
        if (shift[d] < lo) lo = shift[d];
        if (shift[d] > hi) hi = shift[d];
    }
    for (i32 d = 0; d < l; ++d) lines->rows[d] += shift[d] - lo;
    lines->n -= hi - lo;
    const i32 t = LineImg_ScoreCut(scores, l);
    if (t == 0) return;
    i32 kept = l;
    for (i32 d = l / 2; d < l; ++d)
        if (scores[d] > t) {
            kept = d;
            break;
        }
    i32 first = 0;
    for (i32 d = kept / 2; d >= 1; --d)
        if (scores[d] > t) {
            first = d;
            break;
        }
    for (i32 d = first; d < kept; ++d) {
        lines->rows[d - first] = lines->rows[d];
        scores[d - first] = scores[d];
    }
    lines->l = kept - first;
}

i32 LineImg_TrackEdges(const PROFILE_LINES *lines, i16 *filtered, u8 *used, PROFILE_TRACK *tracks) {
    const i32 n = lines->n, l = lines->l;
    if (n < 4 || l < 1 || l > kProfLines || n > kProfLineBytes) return 0;
    const i32 fn = n - 3;  // filtered values per line
    for (i32 v = 0; v < l; ++v) {
        const u8 *s = lines->rows[v];
        i16 *f = filtered + v * kProfLineBytes;
        for (i32 m = 0; m < fn; ++m) {
            const i32 x = s[m + 3] + 3 * (s[m + 1] - s[m + 2]) - s[m];
            f[m] = static_cast<i16>(x >= -4 && x <= 4 ? 0 : x);
        }
        std::memset(used + v * kProfLineBytes, 0, static_cast<size_t>(fn));
    }
    const i32 need = (3 * l / 4) > 8 ? 3 * l / 4 : 8;
    i32 count = 0;
    for (i32 v0 = 0; v0 < l && count < kProfMaxTracks; ++v0) {
        const i16 *f0 = filtered + v0 * kProfLineBytes;
        for (i32 m = 0; m < fn && count < kProfMaxTracks; ++m) {
            const i32 sign = Sign(f0[m]);
            if (sign == 0 || used[v0 * kProfLineBytes + m] != 0) continue;
            i32 r0 = m, r1 = m;
            while (r0 > 0 && Sign(f0[r0 - 1]) == sign) --r0;
            while (r1 + 1 < fn && Sign(f0[r1 + 1]) == sign) ++r1;
            TrackSums t{};
            bool spoiled = false;
            bool dropped = v0 > 0 && HasSign(filtered + (v0 - 1) * kProfLineBytes, r0, r1, sign);
            AddRun(&t, f0, used + v0 * kProfLineBytes, v0, r0, r1);
            for (i32 v = v0 + 1; v < l && !spoiled; ++v) {
                const i16 *f = filtered + v * kProfLineBytes;
                const i16 *fp = filtered + (v - 1) * kProfLineBytes;
                u8 *u = used + v * kProfLineBytes;
                i32 at = -1;
                for (i32 k = r0; k <= r1; ++k) {
                    if (Sign(f[k]) != sign) continue;
                    if (u[k] != 0) spoiled = true;
                    else at = k;
                    break;
                }
                if (spoiled || at < 0) break;
                i32 n0 = at, n1 = at;
                while (n0 > 0 && Sign(f[n0 - 1]) == sign) --n0;
                while (n1 + 1 < fn && Sign(f[n1 + 1]) == sign) ++n1;
                if ((n0 < r0 && HasSign(fp, n0, r0 - 1, sign)) || (n1 > r1 && HasSign(fp, r1 + 1, n1, sign)) ||
                    (r1 > n1 && HasSign(f, n1 + 1, r1, sign)))
                    spoiled = true;
                AddRun(&t, f, u, v, n0, n1);
                r0 = n0;
                r1 = n1;
            }
            if (spoiled || dropped || t.values <= need) continue;
            const f64 det = t.w * t.wv2 - t.wv * t.wv;
            // Values all on one line leave the slope undetermined.
            if (!(std::fabs(det) > 1e-9 * (t.w * t.wv2 + 1.0))) continue;
            const f64 slope = (t.w * t.wuv - t.wv * t.wu) / det;
            const f64 vv = (t.wu - slope * t.wv) / t.w + 1.5;
            const f64 w = slope * (l / 2) + vv;
            PROFILE_TRACK &r = tracks[count++];
            r.v[0] = static_cast<f32>(slope);
            r.v[1] = static_cast<f32>(vv);
            r.v[2] = static_cast<f32>(w);
            r.v[3] = static_cast<f32>(w * w);
            r.v[4] = static_cast<f32>(slope * w);
            r.v[5] = static_cast<f32>(vv * w);
            r.v[6] = 0;
        }
    }
    return count;
}

namespace {

// Fits slope = c W + e over tracks[0..n), stores residuals and orders by them: false when
// the system is singular.
bool FitSlopes(PROFILE_TRACK *tr, i32 n) {
    f32 sw = 0, sww = 0, ss = 0, sws = 0;
    for (i32 i = 0; i < n; ++i) {
        sw += tr[i].v[2];
        sww += tr[i].v[3];
        ss += tr[i].v[0];
        sws += tr[i].v[4];
    }
    const f32 det = static_cast<f32>(n) * sww - sw * sw;
    if (!(std::fabs(det) >= 0.00001f)) return false;
    const f32 c = (static_cast<f32>(n) * sws - sw * ss) / det;
    const f32 e = (ss - c * sw) / static_cast<f32>(n);
    for (i32 i = 0; i < n; ++i) tr[i].v[6] = std::fabs(c * tr[i].v[2] + e - tr[i].v[0]);
    for (i32 i = 1; i < n; ++i) {
        const PROFILE_TRACK t = tr[i];
        i32 at = i;
        while (at > 0 && tr[at - 1].v[6] > t.v[6]) {
            tr[at] = tr[at - 1];
            --at;
        }
        tr[at] = t;
    }
    return true;
}

// Tracks below the mean-of-halves cut, minus one: -1 when the smallest is not below it.
i32 BelowCut(const PROFILE_TRACK *tr, i32 n) {
    f32 sum = 0;
    for (i32 i = 0; i < n; ++i) sum += tr[i].v[6];
    const f32 m = sum / static_cast<f32>(n / 2);
    if (!(tr[0].v[6] < m)) return -1;
    i32 below = 0;
    for (i32 i = 0; i < n; ++i) below += tr[i].v[6] < m ? 1 : 0;
    return below - 1;
}

}  // namespace

i32 LineImg_RobustTrackFit(PROFILE_TRACK *tracks, i32 n) {
    if (tracks == nullptr || n < 2 || n > kProfMaxTracks) return kMinTracks;
    if (!FitSlopes(tracks, n)) return kMinTracks;
    const i32 k = BelowCut(tracks, n);
    if (k < kMinTracks || k > kProfMaxTracks) return kMinTracks;
    if (!FitSlopes(tracks, k)) return kMinTracks;
    const i32 u = BelowCut(tracks, k);
    return u >= kMinTracks && u <= kProfMaxTracks ? u : kMinTracks;
}

int LineImg_SolveLineModel(LINE_MODEL *model, PROFILE_TRACK *tracks, i32 n) {
    if (model == nullptr || tracks == nullptr || n < kMinTracks) return 0;
    i32 k = LineImg_RobustTrackFit(tracks, n);
    if (k > n) k = n;
    f64 sw = 0, sww = 0, sv = 0, swv = 0, ss = 0, sws = 0;
    for (i32 i = 0; i < k; ++i) {
        const f64 w = tracks[i].v[2];
        sw += w;
        sww += w * w;
        sv += tracks[i].v[1];
        swv += w * tracks[i].v[1];
        ss += tracks[i].v[0];
        sws += w * tracks[i].v[0];
    }
    const f64 det = k * sww - sw * sw;
    if (!std::isfinite(det) || std::fabs(det) < 1e-6) return 0;
    model->a1 = (k * swv - sw * sv) / det;
    model->a0 = (sv - model->a1 * sw) / k;
    model->b1 = (k * sws - sw * ss) / det;
    model->b0 = (ss - model->b1 * sw) / k;
    return 1;
}

i32 LineImg_ElementWidth16(const PROFILE_LINES *lines) {
    const i32 l = lines->l;
    const i32 order[3] = {l / 2, l / 2 + 1, l / 2 - 1};
    i32 spans = 0, counts = 0;
    for (const i32 k : order) {
        if (k < 0 || k >= l) return 0;
        const u8 *s = lines->rows[k];
        i32 mx = 0, mn = 0;
        const i32 span = LineImg_ByteSignalSpan(&s, lines->n, &mx, &mn);
        if (span == 0) return 0;
        const i32 t = LineImg_CountByteTransitions(s, span, mx, mn);
        if (t == 0) return 0;
        spans += span;
        counts += t;
    }
    return static_cast<u16>(16 * spans / counts);
}

int LineImg_SampleLineSet(const REGION_QUAD *quad, PROFILE_LINES *lines) {
    u8 *rows = Block(kLinesBlock);
    if (rows == nullptr || quad == nullptr) return 0;
    const POINT_I32 *c = quad->c;
    const i64 p0x = 16 * static_cast<i64>(c[0].x) + 8, p0y = 16 * static_cast<i64>(c[0].y) + 8;
    const i64 p1x = 16 * static_cast<i64>(c[1].x) + 8, p1y = 16 * static_cast<i64>(c[1].y) + 8;
    const i64 p2x = 16 * static_cast<i64>(c[2].x) + 8, p2y = 16 * static_cast<i64>(c[2].y) + 8;
    const i64 p3x = 16 * static_cast<i64>(c[3].x) + 8, p3y = 16 * static_cast<i64>(c[3].y) + 8;
    auto sample = [&](i32 i) {
        const i64 f = i + 1;
        const i64 x0 = p0x + f * (p2x - p0x) / 21, y0 = p0y + f * (p2y - p0y) / 21;
        const i64 x1 = p1x + f * (p3x - p1x) / 21, y1 = p1y + f * (p3y - p1y) / 21;
        u8 *row = rows + i * kProfLineBytes;
        lines->rows[i] = row;
        return Geo_SampleLineBresenham(static_cast<i32>(x0 >> 4), static_cast<i32>(y0 >> 4), static_cast<i32>(x1 >> 4),
                                       static_cast<i32>(y1 >> 4), row, kProfLineBytes);
    };
    const i32 first = sample(0), last = sample(kProfLines - 1);
    if (first <= 0 || last <= 0) return 0;
    i32 n = first < last ? first : last;
    for (i32 i = 1; i < kProfLines - 1; ++i) {
        const i32 k = sample(i);
        if (k < n) n = k;
    }
    lines->n = n;
    lines->l = kProfLines;
    i32 scores[kProfLines];
    LineImg_AlignLines(lines, scores);
    return lines->n > 3 && lines->n <= kProfLineBytes && lines->l >= 8 && lines->n * lines->l >= 256 ? 1 : 0;
}

int LineImg_FitLineModel(const PROFILE_LINES *lines, LINE_MODEL *model) {
    i16 *filtered = reinterpret_cast<i16 *>(Block(kWorkABlock));
    PROFILE_TRACK *tracks = reinterpret_cast<PROFILE_TRACK *>(Block(kWorkBBlock));
    u8 *used = Block(kMergedBlock);
    if (filtered == nullptr || tracks == nullptr || used == nullptr) return 0;
    const i32 n = LineImg_TrackEdges(lines, filtered, used, tracks);
    if (n < kMinTracks) return 0;
    return LineImg_SolveLineModel(model, tracks, n);
}

i32 LineImg_BuildProfile(u16 *profile, const REGION_QUAD *quad) {
    if (profile == nullptr || quad == nullptr || g_profTaken != kBlocks) return 0;
    const i32 w = g_image.width, h = g_image.height;
    for (const POINT_I32 &p : quad->c)
        if (p.x < kBorder || p.x > w - kBorder || p.y < kBorder || p.y > h - kBorder) return 0;
    PROFILE_LINES lines{};
    if (LineImg_SampleLineSet(quad, &lines) == 0) return 0;
    LINE_MODEL model{};
    if (LineImg_FitLineModel(&lines, &model) == 0) return 0;
    if (LineImg_ElementWidth16(&lines) >= kCoarseWidth) return LineImg_ResampleProfile(&model, &lines, profile, kProfCapacity);
    PROFILE_MERGED merged{reinterpret_cast<i16 *>(Block(kWorkBBlock)), reinterpret_cast<i16 *>(Block(kWorkABlock)),
                          Block(kMergedBlock), 0, kProfMergedCap};
    return LineImg_SuperResolve(&model, &lines, &merged, profile, kProfCapacity);
}

int LineImg_ProfileEdges(LINEIMG_PROFILE_REQUEST *rq) {
    u16 *profile = LineImg_ProfileBuffer();
    if (rq == nullptr || profile == nullptr) return 0;
    const i32 n = LineImg_BuildProfile(profile, rq->quad);
    if (n < 4 || n > kProfCapacity - 1) return 0;
    rq->counts[1] = static_cast<u16>(LineImg_ProfileEdgesByShape(profile, n, rq->edges[1], rq->caps[1]));
    if (LineImg_SharpenProfile(profile, n, reinterpret_cast<u16 *>(Block(kWorkABlock))) == 0) return 0;
    rq->counts[0] = static_cast<u16>(LineImg_ProfileEdgesByLevel(profile, n, rq->edges[0], rq->caps[0]));
    rq->state = 2;
    return 1;
}

}  // namespace vexo
