// Records of the linear symbologies: the table record with its five operation slots, the
// line context that the driver walks through the table, the arguments of the locate, decode
// and verify slots, the result slots and the segment and row records.
//
// Positions are edge positions along the scan line in 1/16 sample (u16, ascending); element
// k lies between edge k and edge k + 1, so a line of N edges has N - 1 element widths.
#pragma once

#include <cstddef>

#include "core/types.h"

namespace vexo {

inline constexpr int kLineRecordCount = 22;
inline constexpr int kLineResultSlots = 4;
inline constexpr int kLineResultsWanted = 3;
inline constexpr int kLineSegmentCapacity = 11;
inline constexpr int kLineRowCapacity = 20;
inline constexpr int kLineTextCapacity = 256;
inline constexpr int kLineAttemptLimit = 32;
inline constexpr int kLineAuxAttemptBytes = 64;

// What a record's attempt on a line ended with (one log entry per record at most).
enum LineAttemptCode : u8 {
    kAttemptDisabled = 1,      // read and verified, but its id's word lacks the enable bit; walk ends
    kAttemptLength = 2,        // verify refused the length (error byte 2); walk ends
    kAttemptRead = 3,          // result stored; walk ends
    kAttemptStackedRow = 4,    // a DataBar stacked row accumulated; walk goes on
    kAttemptExpandedRow = 5,   // a DataBar Expanded row accumulated; walk goes on
    kAttemptCheck = 11,        // verify found a wrong check character (error byte 11); walk ends
};

// Error bytes a verify slot leaves in its decode context.
inline constexpr u8 kLineErrorLength = 2;
inline constexpr u8 kLineErrorCheck = 11;

// One entry of a DataBar segment list (16 bytes, as the image side copies them).
struct LINE_AUX_ENTRY {
    i32 value1;
    i32 value2;
    u16 finder;
    u16 present;
    i16 direction;
    u16 count;
};
static_assert(sizeof(LINE_AUX_ENTRY) == 16);

// Segment data of a DataBar symbol or row.
struct LINE_AUX {
    i32 kind;     // 0 nothing reported, 1 a DataBar segment or symbol described here
    u32 linked;   // 1 when the symbol's linkage flag announces a 2D component
    u16 variant;  // 0 omnidirectional or truncated, 1 stacked row, 2 Limited, 3 Expanded row
    u16 segmentCount;
    u16 segmentCapacity;
    LINE_AUX_ENTRY *segments;
    u8 attemptCodes[kLineAuxAttemptBytes];  // only in the copy Line_CopyPartialSegment makes
    u8 attemptCount;
    i32 elementFirst;  // smaller and larger of the start and stop edge indexes
    i32 elementLast;
};

// Row record of the stacked row decoders.
struct LINE_ROWS {
    u16 *items;
    u16 count;
    u16 capacity;
    u16 state;
};

// One decoded symbol on the line.
struct LINE_RESULT {
    u16 startPos;  // edge position of the symbol's first element in line order
    u16 endPos;    // edge position of its last element in line order
    u8 *data;
    u16 capacity;
    u16 length;  // 0: empty slot
    u16 symbologyId;
    i16 direction;  // 1 in line order, -1 against it, -2 a stacked DataBar row
    char aimLetter;
    char aimModifier;
    LINE_AUX *aux;
    u16 linkFlag;  // composite link value, 0 none
    LINE_ROWS *rows;
};

// The line handed to the table walk.
struct LINE_CONTEXT {
    LINE_RESULT *results;
    u16 count;     // results stored so far
    u16 wanted;    // non-empty results after which no further slot is prepared
    u16 capacity;  // result slots
    u16 *const *widths;
    const u16 *widthCount;
    u16 *const *edges;
    const u16 *edgeCount;
    i32 verifyOn;
    u32 lineLength;  // sample count x 16; up to 5,120 samples do not fit 16 bits
    i32 option1;     // three values passed unchanged to every decode context (0 here)
    i32 option2;
    u8 option3;
    u8 attemptCount;
    u8 attemptFirst;
    u8 attemptLimit;
    u8 attemptCodes[kLineAttemptLimit];
    i8 attemptDirections[kLineAttemptLimit];
};

// Argument of a locate slot: built for each record and kept across its candidates.
struct LINE_LOCATE_STATE {
    const u16 *widths;
    u16 widthCount;
    const u16 *edges;
    u16 edgeCount;
    u16 nextPos;     // one past the larger edge index of the last candidate
    u16 startIndex;  // outer edge of the start pattern; above endIndex when reversed
    u16 endIndex;    // outer edge of the stop pattern
    u16 locateValue;  // left by some start matchers for their decode slot
    u32 lineLength;
    u16 lineStart;
    u16 phase;
    u16 searchPos;
    i32 found;
};

// Argument of the decode and verify slots, built for each candidate.
struct LINE_DECODE_CTX {
    const u16 *widths;  // from the candidate's startIndex on
    u16 widthCount;     // all widths of the line
    i16 direction;      // the step with which a decoder walks the widths; a decoder may change it
    u8 *data;
    u16 capacity;
    u16 length;
    u16 locateValue;
    const u16 *edges;  // from startIndex on
    u16 elementCount;  // |startIndex - endIndex| + 1: the symbol's edges
    const u16 *edgesBase;
    u16 edgeCount;
    u16 startIndex;
    u16 endIndex;
    u16 symbologyId;
    char aimLetter;
    char aimModifier;
    LINE_AUX *aux;
    LINE_ROWS *rows;
    i32 option1;
    i32 option2;
    u8 option3;
    u8 errorCode;  // 2 length refused, 11 check character wrong
    u16 linkFlag;
};

// One record of the table. The walk skips a record whose isEnabled slot is empty and
// never calls that slot; reset may be empty.
struct LINE_SYMBOLOGY {
    void (*reset)();
    int (*isEnabled)();
    int (*locate)(LINE_LOCATE_STATE *state);  // 1 candidate found, else line exhausted
    u16 (*decode)(LINE_DECODE_CTX *ctx);     // characters decoded, 0 nothing
    int (*verify)(LINE_DECODE_CTX *ctx);     // 1 accepted, 0 refused
};

}  // namespace vexo
