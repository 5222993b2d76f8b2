// GS1 DataBar records: Limited (17), omnidirectional and truncated (18), stacked and stacked
// omnidirectional (19, rows joined across lines) and Expanded (20), with the verify slot that
// all four share. The decode slots leave digit characters in the context's data and the
// segment description in its aux record.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kDataBarFinders = 9;
inline constexpr int kDataBarOmniGroups = 9;
inline constexpr int kDataBarLimitedGroups = 7;
inline constexpr int kDataBarLimitedChecks = 89;
inline constexpr u16 kDataBarDigits = 14;

// A character group: first value, odd and even module sums, widest odd and even element,
// odd and even value counts.
struct DATABAR_GROUP {
    i32 first;
    u8 oddModules;
    u8 evenModules;
    u8 widestOdd;
    u8 widestEven;
    i32 oddCount;
    i32 evenCount;
};

extern const i32 kDataBarFinderKeys[kDataBarFinders];       // one hex digit per element
extern const DATABAR_GROUP kDataBarOmniGroupTable[kDataBarOmniGroups];
extern const u8 *const kDataBarOmniWeights;     // 32 weights, 3^k mod 79
extern const DATABAR_GROUP kDataBarLimitedGroupTable[kDataBarLimitedGroups];
extern const u8 *const kDataBarLimitedWeights;  // 28 weights, 3^k mod 89
extern const i32 kDataBarLimitedCheckKeys[kDataBarLimitedChecks];  // two bits per element

// The aux record's variants.
inline constexpr u16 kDataBarOmni = 0;
inline constexpr u16 kDataBarStackedRow = 1;
inline constexpr u16 kDataBarLimited = 2;
inline constexpr u16 kDataBarExpanded = 3;

// One half of a stacked symbol as read on the current line.
struct DATABAR_HALF {
    i32 found;
    u16 finder;
    u32 outside;
    u32 inside;
    u16 first;
    u16 last;
    // Checksum sums of the half's elements weighted as the symbol's left and right pair
    // (mod 79): the join of rows seen on different lines needs them.
    u16 sumAsLeft;
    u16 sumAsRight;
};

// A vote entry of a stacked row (count 0 = free).
struct DATABAR_VOTE {
    u16 count;
    u16 finder;
    u32 outside;
    u32 inside;
    u16 sumAsLeft;
    u16 sumAsRight;
};
inline constexpr int kDataBarVoteEntries = 4;

struct DATABAR_STACKED_STATE {
    DATABAR_HALF upper;
    DATABAR_HALF lower;
    DATABAR_VOTE upperVotes[kDataBarVoteEntries + 1];  // the last one is the candidate
    DATABAR_VOTE lowerVotes[kDataBarVoteEntries + 1];
};
extern DATABAR_STACKED_STATE g_dataBarStacked;

void DataBar_Reset();
int DataBar_IsEnabled();
int DataBar_LocateLimited(LINE_LOCATE_STATE *state);
int DataBar_LocateOmni(LINE_LOCATE_STATE *state);
int DataBar_LocateStacked(LINE_LOCATE_STATE *state);
u16 DataBar_DecodeLimited(LINE_DECODE_CTX *ctx);
u16 DataBar_DecodeOmni(LINE_DECODE_CTX *ctx);
u16 DataBar_DecodeStacked(LINE_DECODE_CTX *ctx);
int DataBar_Verify(LINE_DECODE_CTX *ctx);

// ---- Pieces, on edge positions given in reading order (n elements need n + 1 positions).

// Finder value 0-8 from five elements, -1 when none.
int DataBar_ReadFinder(const i32 *pos);
// Value of an omnidirectional character (outside: 16 modules, else 15) with the checksum sum
// of its widths under weights[0..7] added to *sum; -1 when it is not a character.
i32 DataBar_ReadOmniChar(const i32 *pos, int outside, const u8 *weights, i32 *sum);
// Value of a Limited character (14 elements, 26 modules), the sum as above; -1 when none.
i32 DataBar_ReadLimitedChar(const i32 *pos, const u8 *weights, i32 *sum);
// Check value 0-88 of the Limited check pattern (14 elements), -1 when none.
int DataBar_ReadLimitedCheck(const i32 *pos);
// The omnidirectional checksum mapped to the pair of finder values (left * 9 + right).
int DataBar_ChecksumToFinders(int checksum);
// The 13 digits of value and their check digit as characters into out; 0 when value does
// not fit 13 digits.
int DataBar_WriteDigits(u64 value, u8 *out);
// The value of four characters of an omnidirectional symbol, -1 when it is too large; sets
// *linked.
i64 DataBar_OmniValue(u32 leftOutside, u32 leftInside, u32 rightOutside, u32 rightInside, u32 *linked);

// ---- GS1 DataBar Expanded (record 20).

inline constexpr int kExpandedFinders = 6;
inline constexpr int kExpandedGroups = 5;
inline constexpr int kExpandedFinderIds = 12;
inline constexpr int kExpandedSequences = 10;
inline constexpr int kExpandedMaxPairs = 11;
inline constexpr int kExpandedEntries = 3;

extern const i32 kExpandedFinderKeys[kExpandedFinders];
extern const DATABAR_GROUP kExpandedGroupTable[kExpandedGroups];
// Row 2k + s (finder id k, side s): the finder id, then the weights of the eight elements.
extern const u8 kExpandedWeights[2 * kExpandedFinderIds][9];
extern const u8 kExpandedSequenceTable[kExpandedSequences][kExpandedMaxPairs];
extern const u8 kExpandedLastFinder[kExpandedSequences];

// One pair as read from a line: character words are eight widths as hex digits, element 0
// highest; right 0 when the pair has none.
struct EXPANDED_PAIR {
    u32 left;
    u16 finder;
    u16 spare;
    u32 right;
    u32 spare2;
};
static_assert(sizeof(EXPANDED_PAIR) == 16);

struct EXPANDED_ENTRY {
    u32 left;
    u32 finder;
    u32 right;
    u32 meta;  // count bits 0-7, streak 18-20, no right character 21, sequences 22-31
};

struct EXPANDED_STATE {
    EXPANDED_PAIR line[kExpandedMaxPairs];
    u16 lineCount;
    u32 occupancy;  // two bits of entry count per finder id, id k at bits 31-2k and 30-2k
    EXPANDED_ENTRY store[kExpandedFinderIds][kExpandedEntries];
};
extern EXPANDED_STATE g_dataBarExpanded;

int DataBar_LocateExpanded(LINE_LOCATE_STATE *state);
u16 DataBar_DecodeExpanded(LINE_DECODE_CTX *ctx);
void DataBar_ResetExpanded();

// Finder id 0-11 of five elements in reading order (keyOrder 0: the widths taken reversed),
// -1 when none.
int DataBar_ReadExpandedFinder(const i32 *pos, int keyOrder);
// Character word of eight elements (17 modules), 0 when none.
u32 DataBar_ReadExpandedWord(const i32 *pos);
// Value of a character word (its checksum sum under weights added to *sum), -1 when none.
i32 DataBar_ExpandedValue(u32 word, const u8 *weights, i32 *sum);
// Element strings of a bit stream of bitCount bits (one a byte) with N characters in the
// symbol: the text length (FNC1 as 0x1D), 0 when the stream is refused.
u16 DataBar_DecodeExpandedBits(const u8 *bits, int bitCount, int characters, u8 *out, u16 capacity);

}  // namespace vexo
