// Thresholds of three vertical bands from sample rows, and rows scanned from the centre of
// the frame outwards for their threshold crossings.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kBandEntries = 52;
inline constexpr i32 kRightBandEntries = 51;
inline constexpr i32 kRowScanCrossings = 400;

// Left band: sample rows 5, 25, 45, ...; middle band: 15, 35, ...; right band: 5, 25, ...
// 255 marks a sample row without enough contrast.
struct BAND_THRESHOLDS {
    u8 left[kBandEntries];
    i32 leftCount;
    u8 middle[kBandEntries];
    i32 middleCount;
    u8 right[kBandEntries];
    i32 rightCount;
};

// The centre-outwards row order's two words.
struct ROW_SCAN_ORDER {
    i32 offset;
    i32 sideFlag;
};
extern ROW_SCAN_ORDER g_rowScanOrder;

// The scan over the installed image; its crossings stay local. Always 0.
i32 Loc_RowThresholdScan(int enable, i32 start);
// Fills the three bands from the installed image (nothing for 5 rows or fewer).
void Loc_BandThresholds(BAND_THRESHOLDS *t);
// The threshold at a pixel, interpolated between sample rows; 255 when t is missing, a
// band is empty, the frame is under 3 pixels wide or x lies outside the bands.
i32 Loc_ThresholdAt(const BAND_THRESHOLDS *t, i32 x, i32 y);
// With reset: clears the order and answers height / 2. Otherwise the next row of
// height / 2, height / 2 - 5, height / 2 + 5, ... (from a cleared state height / 2 first),
// or -1 outside the frame.
i32 Loc_NextScanRow(int reset);
// Appends the column of every change of the binarised row y (each third with the
// threshold at its centre) to out, at most capacity entries; answers the number written.
i32 Loc_ScanRowCrossings(i32 *out, i32 capacity, i32 y, const BAND_THRESHOLDS *t);
// (min + max) / 2 of a byte run when max - min > 7, else 0 (0 for n <= 0 or no run).
i32 Loc_RunMidThreshold(const u8 *run, i32 n);

}  // namespace vexo
