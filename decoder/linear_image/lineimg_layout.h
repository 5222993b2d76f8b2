// Where the linear module keeps its line scratch in the image's work buffer: behind the
// difference maps that the core's linear stage keeps at its start (those of a 1280 x 960
// frame's central third are the largest), so that the row pass still finds its maps after
// the module ran on the column-pass proposals.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_components.h"
#include "linear_image/lineimg_edges.h"
#include "linear_image/lineimg_finder_scratch.h"

namespace vexo {

// The maps and work arrays of the linear stage for a rows x cols area (as the locating
// code lays them out).
constexpr i64 LineImg_MapBytes(i64 rows, i64 cols) {
    return 2 * rows * cols + 1 + 4 * ((rows > cols ? rows : cols) + 2) * 2;
}
inline constexpr i64 kLineImgMapRows = 960 * 2 / 3 - 960 / 3;
inline constexpr i64 kLineImgMapCols = 2 * (1280 / 3) - 1280 / 3;
inline constexpr i64 kLineImgMapBytes = LineImg_MapBytes(kLineImgMapRows, kLineImgMapCols);

inline constexpr i32 kLineImgSampleBytes = 1280;
inline constexpr i32 kLineImgListBytes = kLineImgEdgeCap * 4;
inline constexpr i32 kLineImgRecordRoom = 600;  // edges and widths of the line record
inline constexpr i32 kLineImgAccEntries = 1280;  // profile entries and line edges per frame width

// Offsets from the start of the work buffer.
enum LineImgArea : i32 {
    kAreaSamples = static_cast<i32>((kLineImgMapBytes + 63) & ~static_cast<i64>(63)),
    kAreaLists = kAreaSamples + kLineImgSampleBytes,  // eight lists: rise/fall x pos/step x line A/B
    kAreaMatch = kAreaLists + 8 * kLineImgListBytes,
    kAreaRecordEdges = kAreaMatch + kLineImgMatchCap * 4,
    kAreaRecordWidths = kAreaRecordEdges + kLineImgRecordRoom * 2,
    kAreaRecordText = kAreaRecordWidths + kLineImgRecordRoom * 2,
    kAreaEnd = kAreaRecordText + 256,
    // The region finder runs before any line is read; its block still keeps clear of them.
    kAreaFinder = (kAreaEnd + 63) & ~63,
    kAreaFinderEnd = kAreaFinder + kFinderScratchBytes,
    // The component area finder runs between regions, while the maps and the finder's
    // block may still be read: behind both (and the finder's alignment slack).
    kAreaComponent = (kAreaFinderEnd + 64 + 63) & ~63,
    kAreaComponentEnd = kAreaComponent + kComponentScratchBytes,
    // The accumulation's averaged profile (u16), its counts (u8) and the two matched-position
    // lists (i32) of its neighbour matching, sized for a 1280-pixel-wide frame: behind every
    // area above, since the component finder may still read its own between regions.
    kAreaAccProfile = (kAreaComponentEnd + 63) & ~63,
    kAreaAccCounts = kAreaAccProfile + 2 * kLineImgAccEntries * 2,
    kAreaAccMatch = kAreaAccCounts + 2 * kLineImgAccEntries,
    kAreaAccEnd = kAreaAccMatch + 2 * kLineImgAccEntries * 4,
};
static_assert(kLineImgMapRows == 320 && kLineImgMapCols == 426);
static_assert(kAreaSamples >= kLineImgMapBytes && kAreaSamples % 64 == 0);
static_assert(kAreaLists % 4 == 0 && kAreaMatch % 4 == 0 && kAreaRecordEdges % 2 == 0);
// The module's areas stay "below 51 kB" past the maps and inside the smallest work buffer.
static_assert(kAreaEnd - kAreaSamples < 51 * 1024);
static_assert(kAreaEnd <= 752 * 480);
static_assert(kAreaFinder >= kAreaEnd && kAreaFinder % 64 == 0 && kAreaFinderEnd <= 752 * 480);
static_assert(kAreaComponent >= kAreaEnd && kAreaComponent >= kAreaFinderEnd + 64 && kAreaComponent % 64 == 0);
static_assert(kAreaComponentEnd <= 752 * 480);
static_assert(kAreaAccProfile >= kAreaComponentEnd && kAreaAccProfile % 64 == 0 && kAreaAccMatch % 4 == 0);
static_assert(kAreaAccEnd <= 752 * 480);

}  // namespace vexo
