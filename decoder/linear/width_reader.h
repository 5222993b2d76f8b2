// The width-class reader of the two-width symbologies (Code 39, Codabar, the 2 of 5 family,
// Code 11, MSI, Plessey). Every element of a character is narrow (class 1) or wide (class
// 2); the reader ranks the elements by width, tries the family's hypotheses of which ones
// are wide, keys each classification, looks it up in the family's key table and scores it
// against running reference widths. Between characters the references follow the symbol,
// corrected for ink spread estimated from wide elements whose neighbours differ.
//
// Widths are edge differences in 1/16 sample; references are held x 10. A key holds the
// classes in reading order, keyShift bits each, the first element most significant.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

inline constexpr int kWidthMaxElements = 10;
inline constexpr int kWidthClassSlots = 16;

// Symbology ids with rules of their own in the reader.
inline constexpr u8 kWidthIdItf = 11;
inline constexpr u8 kWidthIdVar25b = 16;
inline constexpr u8 kWidthIdMatrix25 = 17;
inline constexpr u8 kWidthIdIndustrial25 = 18;
inline constexpr u8 kWidthIdIata25 = 19;
inline constexpr u8 kWidthIdCode39 = 20;
inline constexpr u8 kWidthIdCode11 = 23;
inline constexpr u8 kWidthIdPlessey = 24;
inline constexpr u8 kWidthIdMsi = 25;

// Thresholds of the decision (T0-T7).
enum WidthTolerance : int {
    kWidthAccept = 0,       // T0: a score below it makes a candidate the accepted one
    kWidthLoose = 1,        // T1: best score without an accepted candidate (clean)
    kWidthMargin = 2,       // T2: margin up to which an accepted candidate reads unclean
    kWidthLooseMargin = 3,  // T3: margin with T1
    kWidthAtOnce = 4,       // T4: a score at or below it ends the search
    kWidthLooser = 5,       // T5: best score of the looser rule (unclean)
    kWidthRefuse = 6,       // T6: margin up to which an accepted candidate is refused
    kWidthLooserMargin = 7, // T7: margin with T5
};

// One character as the reader sees it; the reader state keeps the current one and a copy
// of the one before.
struct WIDTH_CHAR {
    u16 leadWidth;   // the element before the character
    u16 trailWidth;  // the element after it
    u8 leadClass;    // their classes; 0 undecided
    u8 trailClass;
    u32 acceptedKey;
    u16 widths[kWidthMaxElements];  // reading order
    u16 acceptedValue;              // ITF pairs: first digit x 256 + second
    u16 elementCount;
    u8 classes[kWidthClassSlots];   // of the character last accepted, element 0 first
};

struct WIDTH_READER_STATE {
    WIDTH_CHAR current;
    WIDTH_CHAR previous;
    u16 tolerances[8];
};

struct WIDTH_READER_SETUP {
    const i32 *keys;
    u16 keyCount;
    i32 option;
    i32 mode;  // 1: references from the candidate itself; 0: running references
    u8 firstCandidate;
    u8 endCandidate;  // exclusive
    const u8 *candidates;
    u8 barCount;
    u8 spaceCount;
    u8 symbologyId;
    u8 keyShift;  // 3 or 4
};

struct WIDTH_REFS {
    u16 narrowBar;
    u16 wideBar;
    u16 narrowSpace;
    u16 wideSpace;
    i16 spreadA;  // corrections last applied, whole width units
    i16 spreadB;
    u16 barDifference;  // wide minus narrow, whole width units
    u16 spaceDifference;
};

extern WIDTH_READER_STATE g_widthReader;

void Line_SetWidthTolerances(u16 t0, u16 t1, u16 t2, u16 t3, u16 t4, u16 t5, u16 t6, u16 t7);
void Line_InitWidthReader(WIDTH_READER_SETUP *setup, u8 symbologyId, i32 mode, i32 option, u8 barCount,
                          u8 spaceCount, const i32 *keys, u16 keyCount, u8 keyShift, const u8 *candidates,
                          u8 firstCandidate, u8 endCandidate);

// Loads elements (1..10) widths from edges[0], stepping by direction, into the current
// character; lead takes the previous character's trailing element, trailClass the hint.
// available: edges that exist from edges[0] on in that direction (edges[0] included). The
// trailing element is read only when its far edge exists; otherwise trailWidth is 0 and the
// caller supplies its own. 0 when the character's own edges are not all there.
int Line_LoadCharWidths(const u16 *edges, i16 direction, u8 elements, u8 trailClassHint, i32 available);
// The same for characters that follow each other without a gap: lead is the previous
// character's last element, and trailClass is decided from the widths (mode 11: ITF pairs).
int Line_LoadCharWidthsMode(const u16 *edges, i16 direction, u8 elements, u8 mode, i32 available);

// Start measurement of a given pattern (Code 39, Code 11, Plessey, Industrial 2 of 5):
// the pattern's widths from the context's start edge, lead from the fourth element, trail
// from the element after the pattern and its class by the family's rule. 0 when the
// context's edges do not hold the pattern and the element after it.
int Line_MeasureStartGiven(const LINE_DECODE_CTX *ctx, u8 symbologyId, u32 startKey, u8 keyShift, u8 elements,
                           i32 loadNext, u8 nextElements);

// The measured start form (2 of 5 family, MSI): lead from the element at skip, then the
// widths of `elements` elements (the start's tail or the first character), classes from
// startKey when it is not 0, and the class of the element after them by the family's rule.
// 0 when the context's edges do not hold them and the element after.
int Line_MeasureStart(const LINE_DECODE_CTX *ctx, u8 symbologyId, u8 skip, u8 elements, u8 leadClass, u32 startKey,
                      u8 keyShift, i32 loadNext, u8 nextElements);

// Classes of a key into classes[0..count-1] (the last field into the last class); shifts
// other than 3 and 4 leave them untouched.
void Line_UnpackKey(u32 key, u8 *classes, u8 count, u8 keyShift);

// Ranking of step 1: the bars' positions (0-based, even indexes) widest first, then the
// spaces'; equal widths keep their order in the character. Writes count entries.
void Line_RankElements(const u16 *widths, u8 count, u8 *order);

inline constexpr i32 kWidthNoScore = 0x7FFFFFFF;  // a second-best that was never scored

// Decision of step 8 over the best and second-best scores: 0 refuse, 1 accept cleanly,
// 2 accept by a looser rule. hadAccepted: a candidate scored below T0.
int Line_DecideWidthChar(i32 best, i32 second, int hadAccepted, i32 mode, const u16 *tolerances);

// Reads the loaded character. 1 accepted (acceptedValue, acceptedKey and classes set;
// lineCleanRead cleared by the looser rules), 0 refused.
int Line_ReadWidthChar(WIDTH_REFS *refs, const WIDTH_READER_SETUP *setup);

// A character with its frame: widths[1..count], classes[0..count + 1] (0 and count + 1 the
// elements before and after).
struct WIDTH_RECORD {
    i32 widths[kWidthMaxElements + 2];
    u8 classes[kWidthMaxElements + 2];
    u8 count;
};

// Spread samples of pairs of wide elements of a kind whose neighbour weights differ; sets
// spreadA (bars) and spreadB (spaces) in refs, rounded, negative as 0. No sample leaves
// them. Answers the number of samples.
int Line_EstimateSpread(const WIDTH_RECORD *r, WIDTH_REFS *refs);
// Corrects every element by d x spread, d = 2 x its class - its neighbours' classes. 0 when
// a width would become 0 or less.
int Line_CorrectWidths(WIDTH_RECORD *r, i32 spreadA, i32 spreadB);
// The four references and differences of a corrected record into refs; 0 when they do not
// make two consistent kinds.
int Line_RecomputeReferences(const WIDTH_RECORD *r, WIDTH_REFS *refs);
// Deviation of the record's widths from refs (step 6): per element |width x 10 - its
// reference| x 10 / (wide - narrow reference of its kind), rounded; their sum plus half,
// rounded up, of the deviations above 2. 0 when either difference is 0. deviationSum, when
// given, receives the plain sum of the deviations (0 with the score).
i32 Line_ScoreWidths(const WIDTH_RECORD *r, const WIDTH_REFS *refs, i32 *deviationSum = nullptr);
// Brings refs up to date from the character just read (mode 1) or the saved previous one
// (mode 0). 0 when the update fails.
int Line_UpdateReferences(WIDTH_REFS *refs, u8 mode);

}  // namespace vexo
