// The Aztec symbol record and the driver's state: a bulls-eye candidate becomes a located
// symbol (its size, its grid-to-image transform in the symbol's own orientation), the symbol
// a module grid, the grid text; several symbols may be collected and joined.
//
// Image points are in 1/16 pixel; grid points (u, v) are module indices, u the column and v
// the row, a module's centre at whole values.
#pragma once

#include "aztec_maxicode/azt_finder.h"
#include "aztec_maxicode/azt_module.h"
#include "aztec_maxicode/azt_probes.h"
#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

// What the driver hands the locators for one bulls-eye candidate.
struct AZT_GEOMETRY {
    i32 full;      // 1 full-range, 0 compact
    i32 centreX;   // whole pixels
    i32 centreY;
    i32 polarity;  // 1 dark modules on a light ground
};

// One symbol being located and read; cleared by the driver before each candidate.
struct AZT_SYMBOL {
    i32 located;
    i32 polarity;  // 1 when the centre module is dark
    i32 full;
    i32 centreU, centreV;
    i32 size;        // modules per side, 0 until the mode message is read
    i32 moduleSize;  // whole pixels per module
    i32 edgeRatio;   // x 1024
    i32 minEdgeStep;
    i32 refinedX, refinedY;
    i32 uStepX, uStepY;  // image displacement of four modules along u at the centre
    i32 vStepX, vStepY;
    GEO_POINT image[9];
    GEO_POINT grid[9];
    i32 pairCount;
    PERSPECTIVE toImage;   // grid to image, scale 2^20
    PERSPECTIVE_F toGrid;  // image to grid
    PERSPECTIVE_FIT fitInt;
    PERSPECTIVE_FIT fitFloat;
};

// One collected symbol of a multi-symbol read.
struct AZT_PART {
    i32 polarity, full, moduleSize, size;
    i32 centreX, centreY;  // 1/16 pixel
    i32 uStepX, uStepY, vStepX, vStepY;
    i32 length;
    const u8 *text;  // in the parts area
};

// Work memory of one decode, carved from the image's second buffer in this order.
inline constexpr i32 kAztScratchBytes = 1280;
inline constexpr i32 kAztPartsBytes = 9216;
inline constexpr i32 kAztScratchOffset = 0;
inline constexpr i32 kAztModulesOffset = kAztScratchOffset + kAztScratchBytes;
inline constexpr i32 kAztGridOffset = kAztModulesOffset + kAztGridBytes;
inline constexpr i32 kAztTextOffset = kAztGridOffset + kAztGridBytes;
inline constexpr i32 kAztPartsOffset = kAztTextOffset + kAztTextBufferBytes;
inline constexpr i32 kAztWorkBytes = kAztPartsOffset + kAztPartsBytes;
static_assert(kAztModulesOffset == 1280 && kAztGridOffset == 25105 && kAztTextOffset == 48930);
static_assert(kAztPartsOffset == 296960 && kAztWorkBytes == 306176);

inline constexpr i32 kAztPartTable = 9;
inline constexpr i32 kAztPositionTable = 10;
inline constexpr i32 kAztIdBuffer = 192;

// Status words of the module.
inline constexpr i32 kAztStatusNoImage = -1000;
inline constexpr i32 kAztStatusStarted = -10000;
inline constexpr i32 kAztStatusRead = 0;
inline constexpr i32 kAztStatusTextFailed = 10;
inline constexpr i32 kAztStatusCodewordsFailed = -40;
inline constexpr i32 kAztStatusIncompleteSet = 30;
inline constexpr i32 kAztStatusBinarise = -50;
inline constexpr i32 kAztStatusFullSample = -60;
inline constexpr i32 kAztStatusFullTrace = -80;

// Candidate decode results.
inline constexpr int kAztNoCandidate = 0;
inline constexpr int kAztNotLocated = 1;
inline constexpr int kAztNotRead = 2;
inline constexpr int kAztCandidateRead = 3;

// The module state beside the data layer's (g_aztState).
struct AZT_DRIVER {
    i32 status = kAztStatusNoImage;
    i32 textLength = 0;
    u8 *scratch = nullptr;  // kAztScratchBytes: every line profile of the sampling
    u8 *modules = nullptr;  // grey sample per module, row stride = size
    u8 *grid = nullptr;     // module bits the data layer reads
    u8 *text = nullptr;
    u8 *parts = nullptr;
    AZT_SYMBOL *current = nullptr;
    REGION_QUAD corners{};
    AZT_BULLSEYE bullseye{};
    u32 appendOptions = 0;
    i32 joinedCount = 0;
};

extern AZT_DRIVER g_aztDriver;

// The candidate decode the driver calls (Azt_DecodeCandidate unless a test scripts it).
using AztCandidateFn = int (*)(AZT_SYMBOL *symbol, int continuing);
extern AztCandidateFn g_aztCandidateDecode;

// ---- Driver.

// Decodes the region's bulls-eye candidates: 1 when a symbol or a joined set was read (text
// and length in the module state), else 0.
int AztbProcMain();
// 0 no candidate left, 1 not located, 2 located but not read (or outside the region of
// interest), 3 read.
int Azt_DecodeCandidate(AZT_SYMBOL *symbol, int continuing);
int Azt_LocateSymbol(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol);
int Azt_ReadSymbol(AZT_SYMBOL *symbol);
// Joins the texts of the first count parts (at most kAztPartTable) in reading order into
// the text buffer.
void Azt_JoinParts(const AZT_PART *parts, int count);
int Azt_NearestPartToCentre(const AZT_PART *parts, int count);
// 1024 x the cosine of the angle at a; 0 for a degenerate angle.
int Azt_AngleCosine(GEO_POINT a, GEO_POINT b, GEO_POINT c);
// Stores the append option word (bits 0-2 a part limit, bits 3-4 relax the region test).
void Azt_SetAppendOptions(u32 value);
// Points the work areas into work (kAztWorkBytes, the image's second buffer in a decode).
void Azt_SetWorkAreas(u8 *work);
// Copies the current symbol into the next result-store slot; 0 when the store is full or
// the text is longer than a slot.
int Azt_StoreResult(const u8 *text, i32 length);

// ---- Locating and sampling.

int Azt_RefineCentre(const i32 point[2], i32 out[2]);
int Azt_LocateCompact(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol);
int Azt_LocateFull(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol);
int Azt_ReadCompactModeRing(AZT_SYMBOL *symbol);
int Azt_ReadFullModeRing(AZT_SYMBOL *symbol);
int Azt_ReadCompactGrid(AZT_SYMBOL *symbol);
int Azt_ReadFullGrid(u8 *grid);
// Samples n grid points through t: bits 1 for dark in the polarity's sense (an unmapped
// point reads 0, an outside point 0 before the polarity test), the image points of the inside
// ones; *threshold the midrange of the inside samples (127 for n < 1).
void Azt_SamplePoints(const PERSPECTIVE *t, int polarity, const i32 grid[][2], i32 image[][2], u8 bits[], int n,
                      int *threshold);
void Azt_MeasureModuleContrast(AZT_SYMBOL *symbol);

// ---- Bulls-eye edge fits (points in 1/16 pixel).

// Line along one side of the ring edge counted from the centre; 1 when fitted.
int Azt_FitRingSide(const i32 a[2], const i32 b[2], const i32 centre[2], LINE_FIT *out);
// Centres of the ring runs on either side of the probe's edge; 1 when found.
int Azt_ProbeRingRuns(const i32 centre[2], const i32 target[2], i32 inner[2], i32 outer[2], int compact);
// Cut level of a profile from its first `count` samples: their largest, or the midrange when
// they span 20 grey levels or more. 0 for count < 1.
int Azt_ThirdThreshold(const u8 *samples, int count);
// Small routines kept beside an alternative corner measurement that the decode does not use:
// the cut level over a whole profile; 100 x the sum of absolute neighbour differences per
// sample (0 for fewer than two samples); the crossing of the lines p1-p2 and p3-p4 (1, or 0
// when parallel); (length - 20) / 5 for lengths of 60 and more, 7 below.
int Azt_ProfileThreshold(const u8 *samples, int count);
int Azt_TotalVariation(const u8 *samples, int count);
int Azt_IntersectPointPairs(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                            GEO_POINT *out);
int Azt_ModulesFromLength(int length);

// ---- Grid refinement from module edges.

inline constexpr i32 kAztTrackItems = 11;
inline constexpr i32 kAztTracks = 50;
inline constexpr i32 kAztSegmentItems = 32;

struct AZT_EDGE_ITEM {
    i32 x, y;
    i32 key;
    i32 free;
};

struct AZT_EDGE_TRACK {
    AZT_EDGE_ITEM items[kAztTrackItems];
    i32 count;
    i32 key;
    LINE_FIT line;
    i32 fitted;
    i32 dirX, dirY;
};

struct AZT_EDGE_REQUEST {
    const PERSPECTIVE *toImage;
    const PERSPECTIVE_F *toGrid;
    i32 uA, vA, uB, vB;
    i32 mode;  // 1 columns uA..uB, each along v; 0 rows vA..vB, each along u
    AZT_EDGE_TRACK *tracks;
    i32 capacity;
    i32 used;
    i32 fine;
    i32 edgeRatio, minEdgeStep;
};

struct AZT_SEGMENT {
    GEO_POINT a, b;
    i32 mode;
    i32 fine;
    AZT_EDGE_ITEM *items;
    const PERSPECTIVE_F *toGrid;
    i32 capacity;
    i32 count;
    u8 *scratch;
    i32 scratchLength;
    i32 edgeRatio, minEdgeStep;
};

int Azt_RefineGridFromEdges(AZT_SYMBOL *symbol, int cu, int cv, int start, int reach, int band);
int Azt_CollectEdgeTracks(AZT_EDGE_REQUEST *request);
int Azt_FindEdgesOnSegment(AZT_SEGMENT *segment);
int Azt_FitTrackLine(AZT_EDGE_TRACK *track);
int Azt_AppendToTrack(AZT_EDGE_TRACK *track, const AZT_EDGE_ITEM *item);

// ---- The full-range grid reading (reference grid).
//
// A horizontal reference line has a constant v and is followed along u (t = u); a vertical
// one the other way round. Curves give image points in 1/16 pixel.

struct AZT_CURVE {
    i32 valid;
    f64 ax, bx, cx;  // x(t) = ax t^2 + bx t + cx
    f64 ay, by, cy;
};

struct AZT_CURVE_FIT {
    const i32 *xs;
    const i32 *ys;
    const i32 *ts;
    i32 count;
    i32 keep;  // 0: the next fit clears the curve and restarts the sums
    AZT_CURVE *curve;
    f64 xMatrix[3][3];
    f64 xRight[3];
    f64 yMatrix[3][3];
    f64 yRight[3];
};

inline constexpr i32 kAztReferenceLines = 9;
// The reference lines plus the symbol's two edges.
inline constexpr i32 kAztPatchEntries = kAztReferenceLines + 2;

struct AZT_REFERENCE_GRID {
    i32 count;
    i32 positions[kAztReferenceLines];  // ascending
    AZT_CURVE horizontal[kAztReferenceLines];
    AZT_CURVE vertical[kAztReferenceLines];
};

extern AZT_REFERENCE_GRID g_aztReference;

// Position and curve tables of the patches: the reference lines with the edges added.
struct AZT_PATCH_TABLES {
    i32 n;
    i32 positions[kAztPatchEntries];
    AZT_CURVE horizontal[kAztPatchEntries];
    AZT_CURVE vertical[kAztPatchEntries];
};

struct AZT_PATCH {
    const AZT_CURVE *horizontal;
    const AZT_CURVE *vertical;
    const i32 *positions;
    i32 n;
    i32 size;
    i32 j, i;    // first column and row index into the tables
    i32 j2, i2;  // last ones, inclusive
    u8 *grey;    // size x size
};

void Azt_SetReferenceLines(int size);
// 1 when coordinate is one of the reference-line positions.
int Azt_IsReferencePosition(int coordinate);
// The order in which the lines beyond the central crossing's neighbours are traced: pairs
// (horizontal 1 / vertical 0, line index); returns their number (0 for fewer than 5 lines).
int Azt_ReferenceTraceOrder(int count, i32 order[][2]);
int Azt_TraceReferenceGrid();
int Azt_TraceReferenceLine(const PERSPECTIVE *t, const i32 seed[2], int horizontal, AZT_CURVE *curve);
int Azt_SeedCurve(const PERSPECTIVE *t, const i32 seed[2], int horizontal, AZT_CURVE *curve);
int Azt_PredictCurve(const AZT_CURVE crossing[], const i32 positions[], int at, int count, AZT_CURVE_FIT *fit);
int Azt_GrowCurve(AZT_CURVE_FIT *fit, int t0, int replaceFirst);
int Azt_FitCurve(AZT_CURVE_FIT *fit);
// Fits n points of the caller's arrays through the record (keep as given); afterwards the
// record holds no arrays and later fits add to its sums.
int Azt_FitCurvePoints(AZT_CURVE_FIT *fit, const i32 *xs, const i32 *ys, const i32 *ts, i32 n, i32 keep);
int Azt_SolveCurve(AZT_CURVE_FIT *fit);
int Azt_MergeCurveFits(AZT_CURVE_FIT *into, const AZT_CURVE_FIT *from);
// Truncated toward zero, saturated to 32 bits (NaN gives 0); 0 only for a missing pointer.
int Azt_EvalCurve(const AZT_CURVE *c, int t, i32 *x, i32 *y);
// The same, 0 for an invalid curve.
int Azt_EvalValidCurve(const AZT_CURVE *c, int t, i32 *x, i32 *y);
// out = c with its constant terms moved so that it passes through (x, y) at t.
void Azt_ShiftCurveThrough(const AZT_CURVE *c, int t, i32 x, i32 y, AZT_CURVE *out);
int Azt_GetStatus();
// Fills the tables for the symbol's size from the traced reference grid; returns n.
int Azt_BuildPatchTables(int size, AZT_PATCH_TABLES *tables);
// Index ranges (first, last) of the patches along one axis of n table entries.
int Azt_PatchRanges(int n, i32 ranges[][2]);
int Azt_SamplePatch(const AZT_PATCH *p);
int Azt_SampleFullModules(u8 *grey);
// Samples the grid points u0..u1 x v0..v1 through t (bilinear, one row walk) into out, rows
// stride bytes apart.
int Azt_SampleModuleRect(const PERSPECTIVE *t, i32 u0, i32 v0, i32 u1, i32 v1, u8 *out, i32 stride);
// Samples every module of the symbol through its own transform into grey (row stride size).
int Azt_SampleSymbolModules(const AZT_SYMBOL *s, u8 *grey);

// ---- Reference line tracing (profiles in the scratch block, positions in 1/16 sample).

inline constexpr i32 kAztTraceStep = 20;
inline constexpr i32 kAztDirectionCandidates = 25;

int Azt_ExtendCurveDown(AZT_CURVE_FIT *fit, int t0, int replaceFirst);
int Azt_ExtendCurveUp(AZT_CURVE_FIT *fit, int t0, int replaceFirst);
int Azt_FindLineDirection(const i32 start[2], const i32 cross[4], i32 line[4], int lo, int hi);
int Azt_ScoreEdgeSpacing(const u8 *profile, int n, int level, int lo, int hi);
int Azt_ModuleCentresOnLine(const i32 line[4], i32 positions[], i32 points[][2], int capacity);
int Azt_ListLevelCrossings(const u8 *profile, int n, int level, i32 positions[], int capacity);
int Azt_SampleClippedLine(int x0, int y0, int x1, int y1, u8 *buffer, int capacity);

}  // namespace vexo
