#include "locate/row_thresholds.h"

#include "core/pixel.h"

namespace vexo {

ROW_SCAN_ORDER g_rowScanOrder = {};

namespace {

constexpr i32 kSampleRowStep = 20;
constexpr i32 kOuterFirstRow = 5;
constexpr i32 kMiddleFirstRow = 15;
constexpr i32 kMinBandSpread = 14;  // a sample row needs more
constexpr i32 kRowStep = 5;
constexpr i32 kNoThreshold = 255;

// Midrange of count samples from row y, column x0, or 255 without enough contrast.
u8 SampleRowThreshold(i32 y, i32 x0, i32 count) {
    if (count <= 0) return kNoThreshold;
    const u8 *row = g_image.data + static_cast<i64>(y) * g_image.width + x0;
    i32 lo = 255, hi = 0;
    for (i32 k = 0; k < count; ++k) {
        if (row[k] < lo) lo = row[k];
        if (row[k] > hi) hi = row[k];
    }
    return hi - lo > kMinBandSpread ? static_cast<u8>((lo + hi) >> 1) : kNoThreshold;
}

// One band: sample rows first, first + 20, ... below the height, at most cap entries.
i32 FillBand(u8 *v, i32 cap, i32 first, i32 x0, i32 count) {
    i32 n = 0;
    for (i32 y = first; y < g_image.height && n < cap; y += kSampleRowStep) v[n++] = SampleRowThreshold(y, x0, count);
    return n;
}

i32 Interpolate(const u8 *v, i32 count, i32 y, i32 firstRow, bool firstInclusive, i32 lastOffset) {
    if (firstInclusive ? y <= firstRow : y < firstRow + 1) return v[0];
    if (y > kSampleRowStep * count - lastOffset) return v[count - 1];
    const i32 k = (y - firstRow) / kSampleRowStep;
    const i32 f = (y - firstRow) % kSampleRowStep;
    return ((kSampleRowStep - f) * v[k] + f * v[k + 1]) / kSampleRowStep;
}

bool HasFrame() { return g_image.data != nullptr && g_image.width > 0 && g_image.height > 0; }

}  // namespace

void Loc_BandThresholds(BAND_THRESHOLDS *t) {
    if (t == nullptr) return;
    t->leftCount = 0;
    t->middleCount = 0;
    t->rightCount = 0;
    if (!HasFrame() || g_image.height <= kOuterFirstRow) return;
    const i32 third = g_image.width / 3;
    // The left band starts at column 1, so it never reads past its third.
    t->leftCount = FillBand(t->left, kBandEntries, kOuterFirstRow, 1, third);
    if (g_image.height > kMiddleFirstRow) t->middleCount = FillBand(t->middle, kBandEntries, kMiddleFirstRow, third, third);
    t->rightCount = FillBand(t->right, kRightBandEntries, kOuterFirstRow, 2 * third, third);
}

i32 Loc_ThresholdAt(const BAND_THRESHOLDS *t, i32 x, i32 y) {
    if (t == nullptr || t->leftCount <= 0 || t->middleCount <= 0 || t->rightCount <= 0) return kNoThreshold;
    const i32 third = g_image.width / 3;
    if (third <= 0 || x < 0) return kNoThreshold;
    const i32 band = x / third;
    if (band > 3) return kNoThreshold;
    if (band == 0) return Interpolate(t->left, t->leftCount < kBandEntries ? t->leftCount : kBandEntries, y, kOuterFirstRow, true, 16);
    if (band == 1)
        return Interpolate(t->middle, t->middleCount < kBandEntries ? t->middleCount : kBandEntries, y, kMiddleFirstRow, false, 6);
    return Interpolate(t->right, t->rightCount < kRightBandEntries ? t->rightCount : kRightBandEntries, y, kOuterFirstRow, true, 16);
}

i32 Loc_NextScanRow(int reset) {
    const i32 mid = g_image.height / 2;
    if (reset != 0) {
        g_rowScanOrder = ROW_SCAN_ORDER{};
        return mid;
    }
    i32 row;
    if (g_rowScanOrder.sideFlag == 0) {
        row = mid + g_rowScanOrder.offset;
        // The order runs out of any frame long before the offset could wrap.
        if (g_rowScanOrder.offset < g_image.height + kRowStep) g_rowScanOrder.offset += kRowStep;
        g_rowScanOrder.sideFlag = 1;
    } else {
        row = mid - g_rowScanOrder.offset;
        g_rowScanOrder.sideFlag = 0;
    }
    return row >= 0 && row < g_image.height ? row : -1;
}

i32 Loc_ScanRowCrossings(i32 *out, i32 capacity, i32 y, const BAND_THRESHOLDS *t) {
    if (out == nullptr || capacity <= 0 || !HasFrame() || y < 0 || y >= g_image.height) return 0;
    const i32 third = g_image.width / 3;
    if (third <= 0) return 0;
    const u8 *row = g_image.data + static_cast<i64>(y) * g_image.width;
    i32 n = 0;
    for (i32 b = 0; b < 3; ++b) {
        const i32 x0 = b * third;
        const i32 x1 = b == 2 ? g_image.width : x0 + third;
        const i32 level = Loc_ThresholdAt(t, x0 + third / 2, y);
        bool prev = row[x0] > level;
        for (i32 x = x0 + 1; x < x1; ++x) {
            const bool cur = row[x] > level;
            if (cur == prev) continue;
            if (n >= capacity) return n;
            out[n++] = x;  // the first pixel of the new value
            prev = cur;
        }
    }
    return n;
}

i32 Loc_RunMidThreshold(const u8 *run, i32 n) {
    if (run == nullptr || n <= 0) return 0;
    i32 lo = 255, hi = 0;
    for (i32 k = 0; k < n; ++k) {
        if (run[k] < lo) lo = run[k];
        if (run[k] > hi) hi = run[k];
    }
    return hi - lo > 7 ? (lo + hi) / 2 : 0;
}

i32 Loc_RowThresholdScan(int enable, i32 start) {
    if (!HasFrame() || enable == 0 || start <= 0) return 0;
    BAND_THRESHOLDS t;
    Loc_BandThresholds(&t);
    i32 crossings[kRowScanCrossings];
    Loc_NextScanRow(1);
    // Each row is 5 further from the centre than the one two before: bounded by the height.
    for (i32 guard = 0; guard <= g_image.height + 2; ++guard) {
        const i32 y = Loc_NextScanRow(0);
        if (y <= 0) break;
        Loc_ScanRowCrossings(crossings, kRowScanCrossings, y, &t);
    }
    return 0;
}

}  // namespace vexo
