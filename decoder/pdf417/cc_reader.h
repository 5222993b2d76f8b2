// The reader of a CC-A or CC-B composite component inside a quad next to its linear symbol:
// the component's side edges, a row address pattern column for the row direction, the rows
// and the variant, the other RAP column to confirm them, then every row's codewords, error
// correction over GF(929) and the composite data decoding.
#pragma once

#include <array>

#include "core/types.h"
#include "pdf417/mpdf_variants.h"
#include "pdf417/pdf417_services.h"
#include "pdf417/pdf417_widths.h"

namespace vexo {

// ---- Tables.

// RAP widths packed three bits each, first width in bits 15-17: entry n - 1 the left/right
// pattern n, entry 52 + n - 1 the centre pattern n (ISO/IEC 24728 row address patterns).
constexpr u32 CC_PackRap(const u8 w[6]) {
    u32 v = 0;
    for (int e = 0; e < 6; ++e) v = v << 3 | w[e];
    return v;
}
constexpr std::array<u32, 104> CC_BuildRapTable() {
    std::array<u32, 104> t{};
    for (int s = 0; s < 2; ++s) {
        for (int n = 0; n < 52; ++n) t[static_cast<size_t>(52 * s + n)] = CC_PackRap(PDF_RAP_WIDTHS[s][n]);
    }
    return t;
}
inline constexpr std::array<u32, 104> CC_RAP_TABLE = CC_BuildRapTable();
static_assert(sizeof(CC_RAP_TABLE) == 104 * 4);
static_assert(CC_RAP_TABLE[0] == 0x122C9);

// A layout entry: columns << 24 | rows << 18 | leftStart << 12 | centreStart << 6 | rightStart.
// A size entry: bytes low to high, check codewords, data codewords, rows, columns.
constexpr u32 CC_Layout(u32 columns, u32 rows, u32 left, u32 centre, u32 right) {
    return columns << 24 | rows << 18 | left << 12 | centre << 6 | right;
}
constexpr u32 CC_Size(u32 check, u32 data, u32 rows, u32 columns) {
    return check | data << 8 | rows << 16 | columns << 24;
}
inline constexpr i32 kCcAVariants = 17;

// The CC-A symbol sizes of ISO/IEC 24723 with the RAP starts of their first row: columns,
// rows, left, centre and right start, data and check codewords. Three-column CC-A has no left
// RAP column; its left start (centre start + 20, wrapping after 52, as in every CC-A entry)
// only fixes the rows' clusters.
inline constexpr u8 CC_A_SOURCE[kCcAVariants][7] = {
    {2, 5, 39, 0, 19, 6, 4},  // 0
    {2, 6, 1, 0, 33, 8, 4},
    {2, 7, 32, 0, 12, 9, 5},
    {2, 8, 8, 0, 40, 11, 5},
    {2, 9, 14, 0, 46, 12, 6},
    {2, 10, 43, 0, 23, 14, 6},  // 5
    {2, 12, 20, 0, 52, 17, 7},
    {3, 4, 11, 43, 23, 8, 4},
    {3, 5, 1, 33, 13, 10, 5},
    {3, 6, 5, 37, 17, 12, 6},
    {3, 7, 15, 47, 27, 14, 7},  // 10
    {3, 8, 21, 1, 33, 17, 7},
    {4, 3, 40, 20, 52, 8, 4},
    {4, 4, 43, 23, 3, 11, 5},
    {4, 5, 46, 26, 6, 14, 6},
    {4, 6, 34, 14, 46, 17, 7},  // 15
    {4, 7, 29, 9, 41, 20, 8},
};
static_assert(sizeof(CC_A_SOURCE) == kCcAVariants * 7);

constexpr std::array<u32, kCcAVariants> CC_BuildATable(bool sizes) {
    std::array<u32, kCcAVariants> t{};
    for (int k = 0; k < kCcAVariants; ++k) {
        const u8 *e = CC_A_SOURCE[k];
        t[static_cast<size_t>(k)] = sizes ? CC_Size(e[6], e[5], e[1], e[0]) : CC_Layout(e[0], e[1], e[2], e[3], e[4]);
    }
    return t;
}
// The MicroPDF417 variant table sorted by columns, then rows.
constexpr std::array<u32, kMpdfVariantCount> CC_BuildMpdfTable(bool sizes) {
    std::array<u32, kMpdfVariantCount> t{};
    i32 order[kMpdfVariantCount] = {};
    for (int k = 0; k < kMpdfVariantCount; ++k) order[k] = k;
    for (int i = 1; i < kMpdfVariantCount; ++i) {
        for (int j = i; j > 0; --j) {
            const u8 *a = MPDF_VARIANT_TABLE[order[j - 1]];
            const u8 *b = MPDF_VARIANT_TABLE[order[j]];
            if (a[0] < b[0] || (a[0] == b[0] && a[1] <= b[1])) break;
            const i32 s = order[j];
            order[j] = order[j - 1];
            order[j - 1] = s;
        }
    }
    for (int k = 0; k < kMpdfVariantCount; ++k) {
        const u8 *e = MPDF_VARIANT_TABLE[order[k]];
        t[static_cast<size_t>(k)] = sizes ? CC_Size(e[11], static_cast<u32>(e[10] - e[11]), e[1], e[0])
                       : CC_Layout(e[0], e[1], e[2], e[3], e[4]);
    }
    return t;
}
inline constexpr std::array<u32, kCcAVariants> CC_A_LAYOUT = CC_BuildATable(false);
inline constexpr std::array<u32, kCcAVariants> CC_A_SIZE = CC_BuildATable(true);
inline constexpr std::array<u32, kMpdfVariantCount> CC_MPDF_LAYOUT = CC_BuildMpdfTable(false);
inline constexpr std::array<u32, kMpdfVariantCount> CC_MPDF_SIZE = CC_BuildMpdfTable(true);
static_assert(sizeof(CC_A_LAYOUT) == kCcAVariants * 4 && sizeof(CC_MPDF_SIZE) == kMpdfVariantCount * 4);
static_assert(CC_A_LAYOUT[0] == CC_Layout(2, 5, 39, 0, 19) && CC_A_SIZE[0] == CC_Size(4, 6, 5, 2));
static_assert(CC_A_LAYOUT[16] == CC_Layout(4, 7, 29, 9, 41) && CC_A_SIZE[16] == CC_Size(8, 20, 7, 4));
static_assert(CC_MPDF_LAYOUT[23] == CC_Layout(4, 4, 47, 19, 43));
static_assert(CC_MPDF_SIZE[0] == CC_Size(7, 4, 11, 1) && CC_MPDF_SIZE[33] == CC_Size(50, 126, 44, 4));

constexpr i32 CC_LayoutColumns(u32 e) { return static_cast<i32>(e >> 24 & 63); }
constexpr i32 CC_LayoutRows(u32 e) { return static_cast<i32>(e >> 18 & 63); }
constexpr i32 CC_LayoutLeft(u32 e) { return static_cast<i32>(e >> 12 & 63); }
constexpr i32 CC_LayoutCentre(u32 e) { return static_cast<i32>(e >> 6 & 63); }
constexpr i32 CC_LayoutRight(u32 e) { return static_cast<i32>(e & 63); }
constexpr i32 CC_SizeCheck(u32 e) { return static_cast<i32>(e & 255); }
constexpr i32 CC_SizeData(u32 e) { return static_cast<i32>(e >> 8 & 255); }

// ---- State.

inline constexpr i32 kCcMaxRows = 44;
inline constexpr i32 kCcMaxSlots = 5;
inline constexpr i32 kCcWorkSlots = kCcMaxRows * kCcMaxSlots;
// Samples along a RAP column, and along one element read.
inline constexpr i32 kCcColumnSamples = 1280;
inline constexpr i32 kCcElementSamples = 1280;

struct CC_STATE {
    i32 family;  // 0 none yet, 1 CC-A, 2 MicroPDF417
    const u32 *layout;
    const u32 *size;
    i32 tableCount;
    i32 variantIndex;
    f64 rowCos;
    f64 rowSlope;
    i32 firstLeftStart;
    i32 codewords[kCcWorkSlots];
};
extern CC_STATE g_ccState;

// An edge line: two points, the first nearer the quad's top side.
struct CC_EDGES {
    POINT_I32 left[2];
    POINT_I32 right[2];
};

// Data columns of the linear component types 0..7 (0 for any other value).
i32 CC_ColumnsOfVariant(i32 variant);

// ---- Geometry.

// 1 when the quad keeps two adjacent corners in the installed image; outside corners are
// pulled to the border along a side.
int CC_ClipQuadToImage(POINT_I32 quad[4]);
POINT_I32 CC_ClipPointToImage(POINT_I32 anchor, POINT_I32 point);
// 1024 x cos of the angle between v and w, truncated; 0 for a zero vector.
i32 CC_Cos1024(POINT_I32 v, POINT_I32 w);
// The same as a double; 0 when the product of the lengths is below 0.0001.
f64 CC_CosAngle(POINT_I32 v, POINT_I32 w);
// Moves an end outside the frame 0..1279 x 0..959 along the segment to the frame's border.
void CC_ClipSegmentToFrame(POINT_I32 *p, POINT_I32 *q);

// ---- Rows and edges.

// Three scan lines across the quad: their left and right ends on the component. Answers the
// data columns of variant, or 0 when a line leaves the image.
i32 CC_MeasureRows(const u8 *image, const POINT_I32 quad[4], i32 variant, POINT_I32 leftEnds[3],
                   POINT_I32 rightEnds[3], i32 narrowWidth, POINT_I32 *rowVector, i32 polarity);
// Moves start and end onto the first dark pixels from each end; answers the width class.
i32 CC_FindRowExtent(const u8 *image, POINT_I32 *start, POINT_I32 *end, i32 narrowWidth, i32 polarity);
int CC_FitSideEdges(const POINT_I32 quad[4], const POINT_I32 leftEnds[3], const POINT_I32 rightEnds[3],
                    POINT_I32 leftVector, CC_EDGES *edges);

// ---- RAP columns and elements.

// RAP number (1..52, centre patterns n | 0x40) of seven edges; 0 when none matches.
i32 CC_ClassifyRap(const i32 edges[7], i32 side);
// One RAP (kind 0, 1, or 3 past the closing bar) or codeword (kind 2) from start along the
// row direction; end is its last edge. 1 when the element's edges were found.
int CC_ReadElement(const u8 *image, POINT_I32 start, POINT_I32 *end, i32 *value, i32 codewordWidth, i32 kind,
                   i32 side, i32 polarity);
// Variant index in the family's table from one RAP number per sample, rowSamples receiving
// each row's sample index; -1 when none matches.
i32 CC_FindVariant(const i32 *rapNumbers, i32 count, i32 *rowSamples, i32 columns, i32 side);
int CC_RowPositionsForVariant(const i32 *rapNumbers, i32 count, i32 *rowSamples, i32 side);
int CC_HasRowRuns(const i32 *rapNumbers, i32 count);
i32 CC_ProfileThreshold(const u8 *samples, i32 count);

// ---- The reader.

int CC_ReadComponent(const u8 *image, POINT_I32 quad[4], u8 *text, i32 capacity, i32 *length, POINT_I32 *rowVector,
                     POINT_I32 leftVector, i32 narrowWidth, i32 variant, i32 polarity);

// Test and benchmark view of the last grid reading: rows x slots read (-1 erasures).
i32 CC_LastCodewordCount();

}  // namespace vexo
