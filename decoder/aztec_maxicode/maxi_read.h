// The MaxiCode symbol reading: from the 18 orientation points the hexagonal grid is walked
// ring by ring outward, the 864 data modules are mapped into the image in seven groups by
// local perspective transforms, binarised in six regions and assembled into the 144
// codewords of the standard's placement, which the codeword decoder turns into text. A
// failed read is tried once more with the orientation points re-centred on their dark
// pixels. Image positions are in 1/16 pixel, symbol positions in symbol units.
#pragma once

#include <array>

#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_module.h"
#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

// The symbol centre in symbol units.
inline constexpr i32 kMaxiCentreX = 1276;
inline constexpr i32 kMaxiCentreY = 1266;
// Integer scale of the grid transforms.
inline constexpr i32 kMaxiFitScale = 10000000;

// Work memory: the orientation scratch from 0, then the expanded module table and the
// mapped positions (882 x {i32 x, i32 y} each).
inline constexpr i32 kMaxiModuleTableOffset = 87040;
inline constexpr i32 kMaxiMappedOffset = 94096;
inline constexpr i32 kMaxiWorkBytes = 101152;
static_assert(kMaxiModuleTableOffset >= 6656);
static_assert(kMaxiMappedOffset == kMaxiModuleTableOffset + kMaxiModules * 8);
static_assert(kMaxiWorkBytes == kMaxiMappedOffset + kMaxiModules * 8);

// Hexagonal distance of (row, column) from the centre position (16, 14).
constexpr i32 Maxi_HexDistance(i32 row, i32 col) {
    const i32 dr = row - 16;
    const i32 dq = col - (row - (row & 1)) / 2 - 6;
    const i32 a = dq < 0 ? -dq : dq, b = dr < 0 ? -dr : dr, s = dq + dr < 0 ? -(dq + dr) : dq + dr;
    return a > b ? (a > s ? a : s) : (b > s ? b : s);
}

// The 18 orientation modules, pt0..pt17.
inline constexpr u16 kMaxiOrientationModules[kMaxiOrientationPoints] = {440, 441, 460, 574, 603, 604, 567, 568, 597,
                                                                         419, 438, 439, 274, 275, 304, 281, 310, 311};
// Inner orientation modules in ring direction order E, SE, SW, W, NW, NE, and their points.
inline constexpr u16 kMaxiInnerModules[kMaxiRingDirections] = {440, 574, 568, 439, 304, 310};
inline constexpr i32 kMaxiInnerPoints[kMaxiRingDirections] = {0, 3, 7, 11, 14, 16};

constexpr i32 Maxi_IsOrientationModule(i32 m) {
    for (u16 o : kMaxiOrientationModules)
        if (o == m) return 1;
    return 0;
}

// Module groups 1..7 (index 0..6): the hexagonal distances each holds.
inline constexpr i32 kMaxiGroups = 7;
inline constexpr i32 kMaxiGroupFirstDistance[kMaxiGroups + 1] = {5, 10, 12, 14, 16, 18, 20, 24};
inline constexpr i32 kMaxiGroupSizes[kMaxiGroups] = {163, 126, 150, 171, 134, 72, 48};

struct MAXI_GROUP_TABLE {
    std::array<u16, kMaxiDataModules> modules;  // group after group, by index
    std::array<i32, kMaxiGroups + 1> first;     // group g: modules[first[g] .. first[g + 1])
};

constexpr MAXI_GROUP_TABLE Maxi_BuildGroups() {
    MAXI_GROUP_TABLE t{};
    i32 n = 0;
    for (i32 g = 0; g < kMaxiGroups; ++g) {
        t.first[static_cast<u32>(g)] = n;
        for (i32 m = 0; m < kMaxiModules; ++m) {
            const i32 d = Maxi_HexDistance(Maxi_ModuleRow(m), Maxi_ModuleCol(m));
            if (Maxi_IsOrientationModule(m) != 0 || d < kMaxiGroupFirstDistance[g] ||
                d >= kMaxiGroupFirstDistance[g + 1] || n >= kMaxiDataModules)
                continue;
            t.modules[static_cast<u32>(n++)] = static_cast<u16>(m);
        }
    }
    t.first[kMaxiGroups] = n;
    return t;
}

inline constexpr MAXI_GROUP_TABLE kMaxiGroupTable = Maxi_BuildGroups();
constexpr bool Maxi_GroupSizesMatch() {
    for (i32 g = 0; g < kMaxiGroups; ++g)
        if (kMaxiGroupTable.first[static_cast<u32>(g) + 1] - kMaxiGroupTable.first[static_cast<u32>(g)] !=
            kMaxiGroupSizes[g])
            return false;
    return kMaxiGroupTable.first[kMaxiGroups] == kMaxiDataModules;
}
static_assert(Maxi_GroupSizesMatch());

// The rings whose points control groups 1..5.
inline constexpr i32 kMaxiGroupRings[5] = {3, 5, 7, 8, 9};
// Control modules of groups 6 and 7: they lie in the group before.
inline constexpr u16 kMaxiControlModules[2][8] = {{556, 875, 827, 557, 264, 5, 23, 320},
                                                  {645, 877, 856, 705, 175, 3, 24, 203}};
constexpr bool Maxi_ControlsInGroup(i32 set, i32 group) {
    for (u16 m : kMaxiControlModules[set]) {
        const i32 d = Maxi_HexDistance(Maxi_ModuleRow(m), Maxi_ModuleCol(m));
        if (d < kMaxiGroupFirstDistance[group] || d >= kMaxiGroupFirstDistance[group + 1]) return false;
    }
    return true;
}
static_assert(Maxi_ControlsInGroup(0, 4) && Maxi_ControlsInGroup(1, 5));

// Ring r (1..10), direction E, SE, SW, W, NW, NE: its module, -1 where the walk makes the
// position (ring 9 W, ring 10 E and W).
constexpr std::array<std::array<i16, kMaxiRingDirections>, kMaxiRings> Maxi_BuildRingIndex() {
    std::array<std::array<i16, kMaxiRingDirections>, kMaxiRings> t{};
    for (i32 k = 0; k < kMaxiRingDirections; ++k) t[0][static_cast<u32>(k)] = static_cast<i16>(kMaxiInnerModules[k]);
    for (i32 r = 1; r < kMaxiRings; ++r) {
        auto &row = t[static_cast<u32>(r)];
        row[0] = static_cast<i16>(r <= 9 ? 440 + r : -1);
        row[1] = static_cast<i16>(574 + 30 * r);
        row[2] = static_cast<i16>(568 + 29 * r);
        row[3] = static_cast<i16>(r <= 8 ? 439 - r : -1);
        row[4] = static_cast<i16>(r <= 9 ? 304 - 30 * r : 6);
        row[5] = static_cast<i16>(r <= 9 ? 310 - 29 * r : 22);
    }
    return t;
}
inline constexpr auto kMaxiRingIndex = Maxi_BuildRingIndex();
// Every listed module lies on its ring.
constexpr bool Maxi_RingsOnDistance() {
    for (i32 r = 0; r < kMaxiRings; ++r)
        for (i16 m : kMaxiRingIndex[static_cast<u32>(r)])
            if (m >= 0 && Maxi_HexDistance(Maxi_ModuleRow(m), Maxi_ModuleCol(m)) != 6 + r) return false;
    return true;
}
static_assert(Maxi_RingsOnDistance());
static_assert(kMaxiRingIndex[9][3] == -1 && kMaxiRingIndex[10][0] == -1 && kMaxiRingIndex[10][3] == -1);

// Threshold regions: eleven inclusive module-index ranges each, one per row.
inline constexpr i32 kMaxiRegions = 6;
inline constexpr u16 kMaxiRegionRanges[kMaxiRegions][11][2] = {
    {{0, 13}, {28, 41}, {57, 70}, {87, 100}, {116, 129}, {146, 159}, {175, 188}, {205, 218}, {234, 247}, {264, 277}, {293, 306}},
    {{14, 27}, {42, 56}, {71, 86}, {101, 115}, {130, 145}, {160, 174}, {189, 204}, {219, 233}, {248, 263}, {278, 292}, {307, 322}},
    {{323, 333}, {347, 357}, {370, 379}, {391, 400}, {412, 420}, {431, 439}, {450, 458}, {469, 478}, {490, 499}, {511, 521}, {534, 544}},
    {{334, 346}, {358, 369}, {380, 390}, {401, 411}, {421, 430}, {440, 449}, {459, 468}, {479, 489}, {500, 510}, {522, 533}, {545, 556}},
    {{557, 570}, {587, 600}, {616, 629}, {646, 659}, {675, 688}, {705, 718}, {734, 747}, {764, 777}, {793, 806}, {823, 836}, {852, 865}},
    {{571, 586}, {601, 615}, {630, 645}, {660, 674}, {689, 704}, {719, 733}, {748, 763}, {778, 792}, {807, 822}, {837, 851}, {866, 881}},
};
// Together the regions cover every module once.
constexpr bool Maxi_RegionsCoverOnce() {
    std::array<i32, kMaxiModules> seen{};
    for (const auto &region : kMaxiRegionRanges)
        for (const auto &range : region)
            for (i32 m = range[0]; m <= range[1]; ++m) {
                if (m >= kMaxiModules) return false;
                ++seen[static_cast<u32>(m)];
            }
    for (i32 s : seen)
        if (s != 1) return false;
    return true;
}
static_assert(Maxi_RegionsCoverOnce());

// The reading's own state beside the grid state: the corners that the last group's mapping
// writes (1/16 pixel, REGION_QUAD order).
struct MAXI_READ_STATE {
    REGION_QUAD corners;
};
extern MAXI_READ_STATE g_maxiRead;

// Test seam: when set, replaces the codeword decoding of the sampling.
using MaxiCodewordDecodeFn = i32 (*)(const i32 *codewords, i32 count, u8 *text, i32 *length, MAXI_CARRIER *carrier);
extern MaxiCodewordDecodeFn g_maxiCodewordDecode;

// Maps (x, y) through t: truncating divisions in 64 bits; (0, 0) when the denominator is 0
// or a product, sum or quotient leaves 64 or 32 bits.
void Maxi_MapPoint(const PERSPECTIVE *t, i32 x, i32 y, GEO_POINT *out);
void Maxi_BuildIdealRings();
i32 Maxi_ReadSymbol(MAXI_CARRIER *carrier, const void *reserved, u8 *text, i32 *length);
void Maxi_RecentreOrientation();
i32 Maxi_WalkRings();
i32 Maxi_SampleCodewords(MAXI_CARRIER *carrier, u8 *text, i32 *length);
i32 Maxi_FitGridTransform(const GEO_POINT *image, const GEO_POINT *symbol, i32 count, PERSPECTIVE *out);
// mapped and table: 882 pairs {x, y}.
i32 Maxi_MapModuleGroup(const GEO_POINT *image, const GEO_POINT *symbol, i32 count, const i32 *table, i32 *mapped,
                        const u16 *modules, i32 moduleCount);
// bits: 882 bytes, 1 dark. image is the installed frame.
void Maxi_BinariseModules(const u8 *image, const i32 *mapped, u8 *bits);

}  // namespace vexo
