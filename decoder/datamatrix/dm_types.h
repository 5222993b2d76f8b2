// The Data Matrix module's shared records (options, candidates, result, structured-append
// data, the per-candidate geometry) and the places of its areas in the image's work memory.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Options copied from the Data Matrix configuration word at every decode.
struct DM_OPTIONS {
    i32 limitLayouts;         // bit 12: squares of one or 2 x 2 regions only
    i32 segmentFinderOption;  // bit 11: read by the segment finder alone
    i32 multiSymbol;          // 2 in read mode 2 (two symbols joined), else 0
    i32 acceptLeadingPad;     // bit 10
    i32 squareOnly;           // bit 8
    i32 codewordDump;         // bit 9
    i32 spareOption1;         // written only by routines no decode path calls
    i32 spareOption2;
};

// One fetched L candidate, whole pixels. armEnd1 ends the arm that becomes the symbol's
// left side (its top-left corner), armEnd2 the one that becomes its bottom side (its
// bottom-right corner), for both polarities.
struct DM_CANDIDATE {
    i32 valid;
    i32 darkOnLight;  // 1: dark modules on a light ground; the invert flag of binarisation
    GEO_POINT armEnd1;
    GEO_POINT corner;
    GEO_POINT armEnd2;
    GEO_POINT fourthCorner;  // armEnd1 + armEnd2 - corner once ranked or prepared
    i32 arm1Length;          // written by the multi-symbol pairing
    i32 arm2Length;
    i32 contrastHint;
};

// A candidate as the decode steps read it, whole pixels.
struct DM_PREPARED_CANDIDATE {
    i32 valid;  // 0 when 5 x arm2Length < 3 x arm1Length
    i32 darkOnLight;
    GEO_POINT corner;
    GEO_POINT armEnd1;
    GEO_POINT armEnd2;
    GEO_POINT fourthCorner;
    i32 arm1Length;  // |armEnd1 - corner|, truncated
    i32 arm2Length;  // |armEnd2 - corner|, truncated
    i32 longerArm;
    u8 contrastHint;  // lower bound of the locating step's contrast threshold
};

// Text room: one byte more than the longest text, for the terminator the accessor writes.
inline constexpr i32 kDmTextBytes = 3224;
inline constexpr i32 kDmTextLimit = kDmTextBytes - 1;
// Bytes of text cleared before every data decoding.
inline constexpr i32 kDmTextClearBytes = 3217;

// The module's result.
struct DM_RESULT {
    i32 length;
    u8 text[kDmTextBytes];
    REGION_QUAD corners;  // of the symbol sampled last, written by sampling
};

// Structured append of the symbol decoded last.
struct DM_SA_INFO {
    i32 saPosition;  // 0 for the first symbol
    i32 saTotal;
    u8 saFileId[2];
    i32 saPresent;
};

// The installed image as the segment finder reads it.
struct DM_IMAGE {
    i32 width;
    i32 height;
    u8 *pixels;
};

// Layout classes of DM_GEOMETRY.
enum DmLayoutClass : i32 {
    kDmLayoutWideRectangle = -1,  // 1 x 2 regions side by side
    kDmLayoutRectangle = 0,       // one region
    kDmLayoutSquare1 = 1,         // one region
    kDmLayoutSquare2 = 2,         // 2 x 2 regions
    kDmLayoutSquare4 = 4,
    kDmLayoutSquare6 = 6,
};

inline constexpr i32 kDmLatticeSide = 7;

// One candidate's geometry, filled by locating and sizing; the decode step clears it before
// each candidate.
struct DM_GEOMETRY {
    i32 layoutClass;
    i32 regionRows;  // regions stacked vertically: 1, 2, 4 or 6
    i32 regionCols;  // regions side by side
    i32 moduleRows;  // of one region: with its finder and timing lines while measuring and
    i32 moduleCols;  // sampling, the data modules alone after size snapping and the strip
    i32 darkOnLight;
    u8 *modules;     // the module matrix in the work memory
    // lattice[r][c]: corner shared by the regions around node row r (0 top) and node column
    // c (0 left), pixels. The L corner is lattice[regionRows][0].
    GEO_POINT lattice[kDmLatticeSide][kDmLatticeSide];
    i32 status;  // the decode step's last status for this candidate
};

// Statuses of the module.
inline constexpr i32 kDmStatusStart = -10000;
inline constexpr i32 kDmStatusNoCandidate = -100;
inline constexpr i32 kDmStatusRefused = -30;        // squareOnly, or sampling failed
inline constexpr i32 kDmStatusNoBlock = -10;        // no block correctable
inline constexpr i32 kDmStatusZeroBlock = -40;      // block 0 corrected to all-zero data
inline constexpr i32 kDmStatusNoSize = -1000;       // no size row; a function out of place
inline constexpr i32 kDmStatusTextError = 20;       // invalid codeword, text overflow
inline constexpr i32 kDmStatusSomeBlocks = 30;      // some blocks uncorrectable
inline constexpr i32 kDmStatusUnjoined = 5;         // multi-symbol mode: nothing to return

// The areas in the image's work memory (its second buffer). Below kDmScratchEnd lie the
// locating and sampling scratch areas; the module matrix, first grey and later the mapping
// matrix, and the binarised matrix follow; then the data layer's own: the placement map
// (whose storage the block array reuses once the codewords are read), the codeword array and
// the C40 value buffer.
inline constexpr i32 kDmScratchEnd = 30720;
inline constexpr i32 kDmModuleMatrixOffset = 30720;
inline constexpr i32 kDmBinaryMatrixOffset = 53220;
inline constexpr i32 kDmMatrixAreaBytes = kDmBinaryMatrixOffset - kDmModuleMatrixOffset;  // 150 x 150
inline constexpr i32 kDmPlacementEntries = 144 * 144;
inline constexpr i32 kDmCodewordCapacity = 2180;  // 1,558 + 620 of 144 x 144, and two spare
inline constexpr i32 kDmC40Capacity = 2400;
inline constexpr i32 kDmPlacementOffset = kDmBinaryMatrixOffset + kDmMatrixAreaBytes;
inline constexpr i32 kDmCodewordOffset = kDmPlacementOffset + kDmPlacementEntries * 4;
inline constexpr i32 kDmC40Offset = kDmCodewordOffset + kDmCodewordCapacity * 4;
inline constexpr i32 kDmWorkBufferBytes = kDmC40Offset + kDmC40Capacity;
inline constexpr i32 kDmMaxBlocks = 10;
inline constexpr i32 kDmBlockSlots = 257;

static_assert(kDmModuleMatrixOffset >= kDmScratchEnd);
static_assert(kDmModuleMatrixOffset + kDmMatrixAreaBytes <= kDmBinaryMatrixOffset);
static_assert(kDmBinaryMatrixOffset + kDmMatrixAreaBytes <= kDmPlacementOffset);
static_assert(kDmPlacementOffset % 4 == 0 && kDmCodewordOffset % 4 == 0);
static_assert(kDmPlacementOffset + kDmPlacementEntries * 4 <= kDmCodewordOffset);
static_assert(kDmCodewordOffset + kDmCodewordCapacity * 4 <= kDmC40Offset);
static_assert(kDmMaxBlocks * kDmBlockSlots <= kDmPlacementEntries, "the block array lies in the placement map");
static_assert(kDmWorkBufferBytes <= 1280 * 960);

// The work memory when it holds every area above, else null.
u8 *DM_WorkBuffer();

extern DM_OPTIONS g_dmOptions;
extern DM_RESULT g_dmResult;
extern DM_SA_INFO g_dmSaInfo;
extern DM_IMAGE g_dmImage;

}  // namespace vexo
