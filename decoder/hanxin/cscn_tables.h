// Han Xin Code version tables: size and alignment-block parameters per version, the 11-bit
// version codes some symbols carry, and the error-correction block structure per version and
// level. Pure lookups; every argument is checked.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kCscnMaxVersion = 84;
inline constexpr i32 kCscnMaxSize = 2 * kCscnMaxVersion + 21;  // 189

// One version row: modules per side, full alignment blocks per side (m), full block length
// (k) and the remainder block length (r).
struct CSCN_VERSION_INFO {
    u8 size;
    u8 m;
    u8 k;
    u8 r;
};

// Rows 0..84; row 0 and versions outside 1..84 are all zero.
const CSCN_VERSION_INFO *CSCN_VersionInfo(i32 version);

// The version whose size is exactly `size`; -1 when none.
i32 CSCN_VersionForSize(i32 size);
// 2 x version + 21; 0 outside 1..84.
i32 CSCN_SizeOfVersion(i32 version);
// m + 1 (1..11); 0 outside 1..84.
i32 CSCN_VersionGroup(i32 version);
// First and last version of group 1..11; both 0 for any other group.
void CSCN_VersionGroupRange(i32 group, i32 *first, i32 *last);
// r and k of the version; 0 outside 1..84.
i32 CSCN_BlockRemainder(i32 version);
i32 CSCN_BlockSize(i32 version);

// Module coordinates of node (col, row) of the alignment grid of a version, n the version's
// group (m + 1). Answers 1 and the position; 0 (outputs untouched) when the version lies
// outside 1..84 or col or row outside 0..n. The far nodes lie on the last module (size - 1)
// for every version.
i32 CSCN_GridNodePosition(i32 r, i32 k, i32 size, i32 version, i32 n, i32 col, i32 row, i32 *x, i32 *y);

// One entry of the version-code table: an 11-bit code and the one or two versions of its
// class (second 0 when none).
struct CSCN_VERSION_CODE {
    i16 code;
    u8 first;
    u8 second;
};
inline constexpr i32 kCscnVersionCodeCount = 1024;
// The whole table, sorted by code.
const CSCN_VERSION_CODE *CSCN_VersionCodeTable();

// Answers 1 and the two versions of the code's class; 0 when the code is outside 0..2047 or
// not in the table.
i32 CSCN_LookupVersionCode(i32 code, i32 *first, i32 *second);

// Twelve bits one per byte, most significant first: version = first eight bits - 20, high =
// bits 8-9, low = bits 10-11. Answers 0 when count < 12, a byte is above 1 or the version
// byte lies outside 21..104.
i32 CSCN_ReadFunctionBits(const u8 *bits, i32 count, i32 *version, i32 *high, i32 *low);

// Error-correction blocks: up to three groups of identical blocks per version and level.
struct CSCN_BLOCK_GROUP {
    u8 blocks;     // 0: group unused
    u8 codewords;  // per block
    u8 data;       // data codewords per block
};
inline constexpr i32 kCscnBlockGroups = 3;
// The groups of (version, level); null outside 1..84 and 0..3.
const CSCN_BLOCK_GROUP *CSCN_BlockGroups(i32 version, i32 level);
// Total codewords of a version (the same at every level); 0 outside 1..84.
i32 CSCN_TotalCodewords(i32 version);
// Data codewords of (version, level); 0 outside the ranges.
i32 CSCN_DataCodewords(i32 version, i32 level);

}  // namespace vexo
