// Difference maps of the central third and the Otsu thresholds of the proposals.
#include "locate/projection.h"

#include <cstdint>
#include <cstring>

#include "core/pixel.h"
#include "locate/finder.h"
#include "locate/projection_layout.h"

namespace vexo {

PROJ_STATE g_projState;

namespace {

constexpr i32 kDiffMomentBins = 150;  // moments of a difference histogram
constexpr i32 kDiffSearchEnd = 100;   // thresholds are searched below this bin
constexpr i32 kDiffMaxMisses = 8;
constexpr i32 kDiffFloor = 5;
constexpr i32 kMinBandLength = 9;

i32 Clip(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }

u8 AbsDiff(u8 a, u8 b) { return static_cast<u8>(a > b ? a - b : b - a); }

// Between-class variance of a split with `low` samples of first moment `moment0` below
// it, out of n samples of moment s and mean m; false when a class is empty.
bool SplitVariance(i64 low, i64 moment0, i64 n, i64 s, f64 m, f64 *v) {
    if (low <= 0 || n - low <= 0) return false;
    const f64 w = static_cast<f64>(low) / static_cast<f64>(n);
    const f64 m0 = static_cast<f64>(moment0) / static_cast<f64>(low);
    const f64 m1 = static_cast<f64>(s - moment0) / static_cast<f64>(n - low);
    *v = w * (m0 - m) * (m0 - m) + (1.0 - w) * (m1 - m) * (m1 - m);
    return true;
}

}  // namespace

PROJ_LAYOUT Loc_ProjectionLayout() {
    const PROJ_STATE &p = g_projState;
    PROJ_LAYOUT l{};
    if (p.mapH == nullptr || p.rows <= 0 || p.cols <= 0) return l;
    const i64 maps = 2 * static_cast<i64>(p.rows) * p.cols;
    const i32 n = (p.rows > p.cols ? p.rows : p.cols) + 2;
    u8 *end = p.mapH + maps;
    i16 *work = reinterpret_cast<i16 *>(end + (reinterpret_cast<uintptr_t>(end) & 1));
    l.countA = work;
    l.countB = work + n;
    l.projection = work + 2 * n;
    l.histogram = work + 3 * n;
    l.entries = n;
    return l;
}

i64 Loc_ProjectionBytes(i32 rows, i32 cols) {
    const i64 maps = 2 * static_cast<i64>(rows) * cols;
    const i64 n = (rows > cols ? rows : cols) + 2;
    return maps + 1 + 4 * n * static_cast<i64>(sizeof(i16));
}

int Loc_SetupProjectionArea(u8 *scratch, int offset, const i32 area[4]) {
    PROJ_STATE &p = g_projState;
    const i64 w = static_cast<i64>(area[2]) - area[0];
    const i64 h = static_cast<i64>(area[3]) - area[1];
    p.cols = static_cast<i32>(w - w % 2);
    p.rows = static_cast<i32>(h - h % 2);
    p.x0 = area[0];
    p.y0 = area[1];
    p.x1 = p.x0 + p.cols;
    p.y1 = area[3];
    p.offset = offset;
    p.scratch = scratch;
    p.mapH = p.mapV = nullptr;
    if (scratch == nullptr || offset < 0 || p.rows <= 0 || p.cols <= 0) return 0;
    if (offset + Loc_ProjectionBytes(p.rows, p.cols) > Loc_SecondBufferBytes()) return 0;
    const i32 cells = p.rows * p.cols;
    p.mapH = scratch + offset;
    p.mapV = p.mapH + cells;
    std::memset(p.mapH, 0, 2 * static_cast<size_t>(cells));
    return cells;
}

void Loc_HorizontalDifferences(const u8 *frame, i32 hist[kProjBins], int rowLength, u8 *map, const i32 area[4]) {
    const i32 cols = area[2] - area[0];
    for (i32 r = 0; area[1] + r < area[3]; r += 2) {
        const u8 *row = frame + static_cast<i64>(area[1] + r) * rowLength + area[0];
        u8 *out = map + static_cast<i64>(r) * cols;
        for (i32 c = 2; c < cols; c += 2) {
            const u8 d = AbsDiff(row[c], row[c - 2]);
            out[c] = d;
            ++hist[d];
        }
    }
}

void Loc_VerticalDifferences(const u8 *frame, i32 hist[kProjBins], int rowLength, u8 *map, const i32 area[4]) {
    const i32 cols = area[2] - area[0];
    for (i32 r = 2; area[1] + r < area[3]; r += 2) {
        const u8 *row = frame + static_cast<i64>(area[1] + r) * rowLength + area[0];
        const u8 *above = row - 2 * static_cast<i64>(rowLength);
        u8 *out = map + static_cast<i64>(r) * cols;
        for (i32 c = 0; c < cols; c += 2) {
            const u8 d = AbsDiff(row[c], above[c]);
            out[c] = d;
            ++hist[d];
        }
    }
}

int Loc_DifferenceHistograms(const u8 *frame, const i32 area[4], int rowLength, u8 *scratch, int offset) {
    i32 histH[kProjBins] = {};
    i32 histV[kProjBins] = {};
    if (frame == nullptr || area == nullptr || rowLength <= 0) return 0;
    const i32 rowsOfFrame = g_image.height > 0 ? g_image.height : 0;
    const i32 cut[4] = {Clip(area[0], 0, rowLength), Clip(area[1], 0, rowsOfFrame), Clip(area[2], 0, rowLength),
                        Clip(area[3], 0, rowsOfFrame)};
    if (Loc_SetupProjectionArea(scratch, offset, cut) <= 0) return 0;
    PROJ_STATE &p = g_projState;
    const i32 even[4] = {p.x0, p.y0, p.x1, p.y0 + p.rows};
    Loc_HorizontalDifferences(frame, histH, rowLength, p.mapH, even);
    Loc_VerticalDifferences(frame, histV, rowLength, p.mapV, even);
    const i32 total = p.rows * p.cols / 4;
    p.thrH = Loc_OtsuDifferenceThreshold(histH, total);
    p.thrV = Loc_OtsuDifferenceThreshold(histV, total);
    return 1;
}

int Loc_CentralThirdHistograms() {
    const i32 w = g_image.width, h = g_image.height;
    if (g_image.data == nullptr || w <= 0 || h <= 0) return 0;
    const i32 area[4] = {w / 3, h / 3, 2 * (w / 3), static_cast<i32>(2 * static_cast<i64>(h) / 3)};
    return Loc_DifferenceHistograms(g_image.data, area, w, g_image.buffer2, 0);
}

int Loc_ProjectionThresholds() { return Loc_CentralThirdHistograms(); }

int Loc_OtsuDifferenceThreshold(const i32 hist[kProjBins], int total) {
    if (hist == nullptr || total <= 0) return kDiffFloor;
    i64 moment[kDiffMomentBins];
    i64 s = 0;
    for (i32 i = 0; i < kDiffMomentBins; ++i) moment[i] = s += static_cast<i64>(i) * hist[i];
    const f64 m = static_cast<f64>(static_cast<f32>(s) / static_cast<f32>(total));
    i32 t0 = 0;
    while (t0 < kDiffSearchEnd && hist[t0 + 1] <= 0) ++t0;
    if (t0 == kDiffSearchEnd) return kDiffFloor;
    i64 low = 0;
    f64 best = 0;
    i32 threshold = 0, misses = 0;
    for (i32 k = t0; k < kDiffSearchEnd; ++k) {
        low += hist[k];
        f64 v = 0;
        if (SplitVariance(low, moment[k], total, s, m, &v) && v >= best) {
            best = v;
            threshold = k;
            misses = 0;
        } else if (++misses > kDiffMaxMisses) {
            break;
        }
    }
    return threshold > 4 ? threshold : kDiffFloor;
}

int Loc_OtsuThreshold(const i16 *hist, int total, int bins) {
    if (hist == nullptr || bins <= 0 || total <= 0) return 0;
    i64 s = 0;
    i32 t0 = -1;
    for (i32 i = 0; i < bins; ++i) {
        s += static_cast<i64>(i) * hist[i];
        if (t0 < 0 && hist[i] != 0) t0 = i;
    }
    if (t0 < 0) return 0;
    const f64 m = static_cast<f64>(s / total);
    i64 low = 0, moment = 0;
    f64 best = 0;
    i32 threshold = 0;
    for (i32 k = 0; k < bins; ++k) {
        moment += static_cast<i64>(k) * hist[k];
        if (k < t0) continue;
        low += hist[k];
        f64 v = 0;
        if (SplitVariance(low, moment, total, s, m, &v) && v >= best) {
            best = v;
            threshold = k;
        }
    }
    return threshold;
}

int Loc_FindBands(int start, int count, int level, i32 bands[kProjMaxBands][2], const i16 *proj) {
    if (bands == nullptr || proj == nullptr) return 0;
    i32 n = 0;
    i32 open = -1;
    i32 a = start;
    for (; a < count; a += 2) {
        const bool high = proj[a] > level;
        if (open < 0 && high) {
            open = a;
        } else if (open >= 0 && !high) {
            if (a - open >= kMinBandLength) {
                if (n == kProjMaxBands) return 0;
                bands[n][0] = open;
                bands[n][1] = a;
                ++n;
            }
            open = -1;
        }
    }
    if (open >= 0 && count - open >= kMinBandLength) {
        if (n == kProjMaxBands) return 0;
        bands[n][0] = open;
        bands[n][1] = a;
        ++n;
    }
    return n;
}

}  // namespace vexo
