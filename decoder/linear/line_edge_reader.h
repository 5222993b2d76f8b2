// The edge-distance reader of characters of six elements of one to four modules (Code 93,
// Code 128). Sums of neighbouring elements do not suffer from ink spread, so each sum gives
// one or two candidate module counts; their combination is looked up in a table of pair
// keys, and every matching pattern is scored against the measured widths under a modelled
// ink spread whose level is searched locally. The decode slot sets the thresholds Q0-Q7.
//
// Patterns hold six module counts as hex digits, the first element most significant; pair
// keys the five sums of neighbouring counts, the first pair most significant. A pattern's
// index is the character's value. A backward read reverses both, so one pair of tables
// serves both directions.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kSixMaxElements = 8;
inline constexpr int kSixLevels = 11;  // spread levels 0..10

// Thresholds of the decision (the decode slot fills all eight; the reader reads Q0-Q4).
enum SixParam : int {
    kSixAccept = 0,        // Q0: a score below it makes a candidate the accepted one
    kSixLoose = 1,         // Q1: the best score without an accepted candidate
    kSixMargin = 2,        // Q2: margin to the second-best with an accepted candidate
    kSixLooseMargin = 3,   // Q3: margin without one
    kSixAtOnce = 4,        // Q4: a score at or below it ends the search (clean)
};

struct EDGE_READER_STATE {
    u16 elementWidths[kSixMaxElements];
    u16 pairSums[kSixMaxElements - 1];
    u16 totalWidth;
    u8 loadedCount;
    u8 pairCandidates[kSixMaxElements - 1][2];  // 0: no second candidate
    u32 acceptedPattern;  // of the character last accepted, in reading order
    u16 acceptedValue;
    u16 characterWidth;
    u16 previousWidth;
    // The elements around the character: the previous character's last one and the one
    // that follows; their module counts feed the spread model.
    u16 beforeWidth;
    u8 beforeModules;
    u16 afterWidth;
    u8 afterModules;
};

extern EDGE_READER_STATE g_edgeReader;
extern u16 g_edgeReaderParams[8];

// The spread model (module counts of neighbour and element, 1-based, counts above 4 as 4).
// Column of the correction table, -1 for none.
int Line_SpreadColumn(int neighbourModules, int elementModules);
// Correction at a level (0..10) and column (0..4), in 1/256 module.
int Line_SpreadCorrection(int level, int column);

// Loads count (1..8) element widths from edges[0], stepping by direction (+1 or -1), with
// their neighbour sums and total. The caller makes sure count + 1 edges are there.
void Line_LoadSixWidths(const u16 *edges, i16 direction, u8 count);
// Candidate module counts of every loaded pair sum, unit being ten modules; wide 0 stops the
// bands at 5. Answers 2,560,000 / unit (0 for unit 0, no candidates then).
u32 Line_PairCandidates(u16 unit, int wide);
// The band of a pair measured at v thousandths of a module: first and second candidate (0 none).
void Line_PairBand(u32 v, int wide, u8 out[2]);

// One character measured for scoring, all widths x 10 (unit = one module at this scale):
// element 0 and elements + 1 are the elements before and after the character (six elements
// for Code 93 and Code 128, four for EAN/UPC).
struct SIX_MEASURE {
    i32 width[8];
    u8 modules[8];
    i32 unit;
    u8 elements = 6;
};
// The measurement of the loaded elements (2..6 of them) framed by the elements before and
// after; the module counts of the character are the caller's to fill.
SIX_MEASURE Line_MeasureLoaded(u16 unit);
// Pair and element deviation of the corrected widths against their module counts (elements
// 2..6).
i32 Line_PairDeviation(const i32 *corrected, const u8 *modules, i32 unit, int elements = 6);
i32 Line_SpreadDeviation(const SIX_MEASURE *m, int level);
// Local search of the spread level from startLevel; the level of the smallest deviation,
// which goes to *deviation.
int Line_BestSpread(const SIX_MEASURE *m, int startLevel, i32 *deviation);

// Decision after every candidate was scored (step 7): 0 refuse, 1 accept cleanly, 2 accept
// by the looser rule. hadAccepted: a candidate scored below Q0.
int Line_DecideSixChar(i32 best, i32 second, int hadAccepted, const u16 *params);

// Reads the loaded character (six widths, the frame elements set) against count patterns.
// 1 accepted: acceptedValue, acceptedPattern (reading order) and *spreadLevel set, and
// lineCleanRead cleared when the looser rule accepted it. 0 refused, state unchanged.
int Line_ReadSixChar(u16 unit, u8 *spreadLevel, const u32 *patterns, const u32 *pairKeys, u16 count, int forward);
// Sets the frame elements of the next character: before takes its module count from the
// last digit of acceptedPattern, after (unit / 2 + 10 x width) / unit, kept within 1..4.
void Line_SetSixFrame(u16 beforeWidth, u16 afterWidth, u16 unit);

// Whole-symbol reader of Code 93 (symbologyId 22): the characters between the start and the
// stop into ctx->data (at most its capacity), their count into ctx->length. 1 when every
// character was read.
int Line_ReadSixSymbol(LINE_DECODE_CTX *ctx, u8 symbologyId, u8 unitFactor, const u32 *patterns,
                       const u32 *pairKeys, u16 count, int firstPass);

// The digits of a pattern or key in reverse order (digits = 5 or 6 or 7).
u32 Line_ReverseDigits(u32 value, int digits);

}  // namespace vexo
