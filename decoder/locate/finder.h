// The 2D finder framework: every registered 2D finder is handed the edge lists of every
// fourth row and then every fourth column of a candidate region; the first finder to
// succeed wins the region, and a region crossed by the bars of a linear code is reported
// before any finder runs.
//
// Per region the region stage calls Loc_QuadMidlineThresholds (its answers become the
// current edge thresholds), then Loc_ResetFinders, then Loc_RunFinders. Everything here
// works on the installed frame (g_image) and keeps its state in static records; one
// decode at a time.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/profile.h"

namespace vexo {

// Finder ids: the index of a finder's success byte.
inline constexpr int kFinderIdQr = 2;
inline constexpr int kFinderIdDataMatrix = 3;
inline constexpr int kFinderIdAztec = 4;
inline constexpr int kFinderIdCsCode = 5;
inline constexpr int kFinderIdMaxiCode = 6;
inline constexpr u16 kFinderNoneLocked = 0x7fff;
// What Loc_LockWinningFinder answers when no success byte is raised.
inline constexpr int kFinderNoWinner = 127;

inline constexpr int kFinderEntries = 6;       // five finders and the end entry
inline constexpr int kFinderLineEdges = 512;   // edge items of each of the two line records
inline constexpr int kFinderLineStep = 4;      // rows and columns scanned
// Edge thresholds of the framework's own edge lists, whatever the region's estimate.
inline constexpr i32 kFinderLineRatio = 102;
inline constexpr i32 kFinderLineMinStep = 6;

// What a line handler is given; rewritten by the runner for every line.
struct FINDER_LINE {
    const u8 *pixels;  // the frame
    i32 width;
    i32 height;
    i32 stride;       // the frame's row length as IMAGE_DESC keeps it
    i32 limit;        // row pass: height - 1; column pass: the x of the current column
    REGION_QUAD *region;
    EDGE_LINE *previous;  // the line four pixels before; first line: an empty record (no samples, no edges)
    EDGE_LINE *current;   // the line just scanned
};

using FinderResetFn = void (*)(REGION_QUAD *region, REGION_QUAD *unaligned);
using FinderWantsFn = int (*)();
using FinderLineFn = void (*)(FINDER_LINE *line);
using FinderDoneFn = void (*)();

// One registered 2D finder. Any slot may be empty; empty slots are skipped.
struct FINDER_MODULE {
    FinderResetFn reset;         // once per region, before any line
    FinderWantsFn wantsRows;     // 1: take part in the row pass (asked before the pass and every row)
    FinderLineFn rowLine;
    FinderDoneFn rowsDone;       // after the row pass, when wantsRows answers 1
    FinderWantsFn wantsColumns;
    FinderLineFn columnLine;
    FinderDoneFn columnsDone;
    FinderDoneFn spare;          // never called
};

// The outcome of a region's finder run, kept until the next region's reset.
struct FINDER_STATE {
    u8 success[8];  // by finder id; ids 0, 1 and 7 are never raised
    u16 lockedId;   // kFinderNoneLocked while no winner is locked
    u8 lockFlag;
    EDGE_ITEM edges[2][kFinderLineEdges];  // storage of the pass's two line records
};

// Where the QR finder's candidate ring is read and written. Its reset points both into
// the ring; while either is null the runner ends every pass after its first line.
struct QR_FINDER_QUEUE {
    void *read;
    void *write;
};

// The decoder's current edge thresholds: 102 and 6 until the region stage estimates them
// for a region.
struct EDGE_THRESHOLDS {
    u16 ratio;    // per 1024 of the brighter level
    u32 minStep;  // grey levels
};

inline constexpr EDGE_THRESHOLDS kDefaultEdgeThresholds = {102, 6};

extern FINDER_STATE g_finderState;
extern QR_FINDER_QUEUE g_qrFinderQueue;
extern EDGE_THRESHOLDS g_edgeThresholds;
// The registered finders: QR Code and Micro QR, Data Matrix, MaxiCode, Aztec, CS Code, end.
extern const FINDER_MODULE g_finderTable[kFinderEntries];

// ---- Running the finders.

// Calls every entry's reset with both pointers as given, then clears the success bytes
// and the lock.
void Loc_ResetFinders(REGION_QUAD *region, REGION_QUAD *unaligned);
// 1 when the region is crossed by bars (Loc_RegionLooksLinear; no finder is asked);
// otherwise runs the row and the column pass and answers 0. The region is read as the
// box TL.x..TR.x by TL.y..BR.y (rows) and TL.x..TR.x by TL.y..BL.y (columns), cut to the
// frame; lines are TL.y, TL.y + 4, ... (TL.x, TL.x + 4, ...). A missing region answers 0.
int Loc_RunFinders(REGION_QUAD *region);
// The same two operations over any table of `count` entries (none for count <= 0).
void Loc_ResetFinderTable(const FINDER_MODULE *table, int count, REGION_QUAD *region, REGION_QUAD *unaligned);
int Loc_RunFinderTable(const FINDER_MODULE *table, int count, REGION_QUAD *region);

// ---- Arbitration.

// 1 when a success byte other than byte id is raised; an id outside 0..7 tests all eight.
int Loc_OtherFinderSucceeded(int id);
// Locks the lowest id whose success byte is 1 and answers it; 127 and nothing stored when
// none is.
int Loc_LockWinningFinder();
// The locked id, or Loc_LockWinningFinder() while nothing is locked.
int Loc_GetWinningFinder();

// ---- Edge thresholds and the linear test. Scratch areas lie in the second buffer of
// IMAGE_DESC; without one (or without a frame) the estimates are 102 and 6 and the linear
// test answers 0.

// Estimate on the region's midline (left-side midpoint to right-side midpoint, at most
// 1280 samples, smoothed): writes the minimum step, answers the ratio.
int Loc_QuadMidlineThresholds(REGION_QUAD *region, u32 *minStep);
// Thresholds from the accepted descents of a profile (a strictly falling run whose drop
// exceeds minDrop and reaches ratio/1024 of its top; at most 128 are kept in the scratch
// at scratchOffset): with more than 4, 0.7 x the mean relative drop (at least 102) and 0.7
// x the mean drop (at least 7); with 1 to 4, 125 and 6; otherwise 102 and 6. A null
// minStep is not written.
int Loc_EstimateEdgeThresholds(const u8 *samples, int count, int minDrop, int ratio, u32 *minStep,
                               int scratchOffset);
// 1 when three parallel lines across the region show the same falling edges, first
// left to right (lines 0, 4 and 8 pixels towards the top), then top to bottom (0, 4 and 8
// pixels towards the right). Uses the current edge thresholds.
int Loc_RegionLooksLinear(REGION_QUAD *region);
// The three-line test from the midpoint of p0-p2 to that of p1-p3 and 4 and 8 pixels
// towards p0 and p1; writes the last pair's shorter count and matched pairs (when the
// pointers are set). Needs 7424 scratch bytes at offset.
int Loc_ParallelLinesMatch(GEO_POINT p0, GEO_POINT p1, GEO_POINT p2, GEO_POINT p3, int offset, i32 *minCount,
                           i32 *matched);

// Bytes of the second buffer of IMAGE_DESC that region locating may use as scratch: the
// whole working image when that is the buffer installed, else width x height; 0 without
// a buffer.
i64 Loc_SecondBufferBytes();

// ---- Operations no stage calls.

// A descent scan over samples: descents of drop > minDrop with drop x 1024 >= top x ratio
// store drop x 1024 / top into out (when set), at most capacity of them.
struct DROP_SCAN {
    const u8 *samples;
    i32 *out;
    i32 capacity;
    i32 count;
    u16 minDrop;
    u16 ratio;
};
// Half the mean relative drop when that mean is at least 206, else 102 (also with no
// descent). A sample that starts no descent advances the scan by one.
int Loc_MeanRelativeDrop(const DROP_SCAN *scan);
// Mean of Loc_MeanRelativeDrop over the rows TL.y + q, TL.y + 2q, ... below BL.y (q a
// quarter of the height; at most 400 samples from TL.x); 102 when no row is taken.
int Loc_RegionDropRatio(REGION_QUAD *region);

// The line handlers of the first `count` entries that want the pass, for a line whose
// current record (and previous one, when given) is a row record (a column record for the
// column twin). Answers the number of handlers called.
int Loc_RunRowLineHandlers(FINDER_LINE *line, const FINDER_MODULE *table, u16 count);
int Loc_RunColumnLineHandlers(FINDER_LINE *line, const FINDER_MODULE *table, u16 count);

// A column pass over the box left..right by top..bottom driven by a job record.
struct COLUMN_JOB {
    i32 left, top, right, bottom;
    u16 ratio;    // x 1024
    u16 minStep;
    EDGE_ITEM *edges;
    u32 capacity;  // items at edges
    const FINDER_MODULE *table;
    u16 count;
    u16 step;  // between columns
    i32 busy;
};
// Columns left + step / 2, then every step while below right, each edge list built on
// top..bottom and handed with the samples widened to the whole column. Does nothing while
// busy, without edges or table, for a count or step of 0, an empty or negative box or one
// beyond the frame, or when no entry wants columns. Each of the two records takes at most
// kFinderLineEdges items of the job's storage.
void Loc_RunColumnJob(COLUMN_JOB *job);

// Lines whose edge lists were built elsewhere.
struct LINE_SET {
    i32 active;
    i32 lineCount;
    EDGE_ITEM **edges;  // per line
    i32 *risingCounts;
    i32 *fallingCounts;
    i32 *positions;  // row (or column) of each line
};
// Hands each line of the set to the row (rows != 0) or column handlers. Does nothing
// without table, set or its arrays, for a count of 0, an inactive or empty set, or when no
// entry wants the pass; skips a line outside the frame, without edges, or whose counts are
// negative or exceed kFinderLineEdges together.
void Loc_RunLineSet(int rows, LINE_SET *set, const FINDER_MODULE *table, u16 count);

// Small helpers of the finders.
int Loc_AbsOrTimesTen(int a);  // -a for a < 0, else 10 a
int Loc_WrapDir4(int a);       // a - 4 when a >= 4
int Loc_WrapDir16(int a);      // a - 16 when a >= 16
// Ascending bubble sort in place (neighbours swapped only when the left is greater).
void Loc_BubbleSortInts(int *v, int n);
// 1-2-1 smoothing in place of run[0 .. n-2] with the unsmoothed values, where the byte
// before the run (which the caller must own) stands in for run[-1] and then receives the
// old run[0]; run[n-1] is unchanged. Nothing happens for n <= 0 or a null run.
void Loc_SmoothRun121(u8 *run, int n);
// Marks rows 2, 6, 10, ...: their last eight pixels become 255, 0, 255, 0, ... (when
// rowLength > 7, rows > 3 and image is set).
void Loc_MarkEveryFourthRow(u8 *image, int rowLength, int rows);

}  // namespace vexo
