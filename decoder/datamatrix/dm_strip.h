// The strip L-finder: a second way to Data Matrix L candidates that reads the installed
// frame directly. Horizontal strips of rows are cut into edges, the edges are traced into
// straight lines and tracked from strip to strip, every line's two sides are judged, and
// near either end of a line the second arm of an L is searched, traced and checked at the
// corner. No decode path calls it yet.
//
// Internal coordinates are quarter samples: sample (x, y) is the mean of the 3 x 3 box
// whose top-left pixel is (x, y). A coordinate v becomes an output pixel as v / 4 + 2.
//
// Stack: everything lives on the stack of one DM_FetchStripCandidates call, sized for the
// 1280 x 960 frame limit: the strip state (two strips of 150 edges with their traced
// records, 150 tracked lines, the profile: 55 KB), one trace of up to 241 points (4 KB),
// the 40 partners of one configuration (3.5 KB), two lists of 100 candidates (10 KB) and
// the samples and 200 edges of one side profile (7.5 KB). The deepest call chain takes
// about 77 KB (x86-64, -O3); kDmStripStackBytes bounds the records.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kDmStripFirstRow = 12;
inline constexpr i32 kDmStripRowStep = 24;
inline constexpr i32 kDmStripMaxEdges = 150;
inline constexpr i32 kDmStripMaxLines = 150;
inline constexpr i32 kDmStripMaxPartners = 40;
inline constexpr i32 kDmStripMaxCandidates = 100;
inline constexpr i32 kDmStripMaxWidth = 1280;
inline constexpr i32 kDmStripMaxHeight = 960;
// Up and down in steps of 4 rows over 960 rows, and the start point.
inline constexpr i32 kDmStripTracePoints = kDmStripMaxHeight / 4 + 1;
inline constexpr i32 kDmBoxLineMax = 1024;
inline constexpr i32 kDmSideSegmentSamples = 32;
inline constexpr i32 kDmSideProfileEdges = 200;
inline constexpr i32 kDmProbeEdges = 20;

inline constexpr i32 kDmEdgeRising = 160;   // grey rises with x: the dark side is on the left
inline constexpr i32 kDmEdgeFalling = 161;

// Orientation of an edge found on one sample run.
inline constexpr i32 kDmAlongRow = 0;
inline constexpr i32 kDmAlongColumn = 1;

struct DM_STRIP_EDGE {
    i32 valid;
    i32 kind;      // kDmEdgeRising or kDmEdgeFalling
    i32 first;     // first and last sample of the run
    i32 last;
    i32 position;  // quarter samples along the strip
    i32 row;       // quarter pixels (4 x the strip's row), once traced
    i32 startGrey;
    i32 endGrey;
};

// Thresholds of an edge: amplitude at least minAmplitude and amplitude x 1024 at least
// minRelative x the run's high value.
struct DM_EDGE_LIMITS {
    i32 minAmplitude;
    i32 minRelative;
};

struct DM_EDGE_RECORD {
    i32 kind;
    GEO_POINT start;  // traced ends on the fitted line, start the upper one
    GEO_POINT end;
    f32 line[2];      // x = line[0] y + line[1]
    i32 angle;        // half degrees, signed (DM_SlopeToAngle)
    i32 low;          // the run's grey values
    i32 high;
    i32 amplitude;    // high - low
    i32 relative;     // amplitude x 1024 / high
};

struct DM_TRACKED_LINE {
    i32 closed;
    i32 kind;
    i32 darkSide;   // side enables
    i32 lightSide;
    i32 length;     // squared, quarter pixels
    i32 roomPlus[2];   // per side, at P and at Q: squared lengths
    i32 roomMinus[2];
    i32 limitPlus;
    i32 limitMinus;
    DM_EDGE_RECORD first;
    DM_EDGE_RECORD last;
    i32 lastRow;    // quarter pixels, of the last strip that continued it
    GEO_POINT p;    // upper end
    GEO_POINT q;    // lower end
    LINE_SUMS sums;
    f32 line[2];    // x = line[0] y + line[1]
    i32 angle;      // degrees; 90 minus that once partners are searched
};

// One strip's edges with their traced records and the line each one continues (-1: none).
struct DM_STRIP_SET {
    DM_STRIP_EDGE edges[kDmStripMaxEdges];
    DM_EDGE_RECORD records[kDmStripMaxEdges];
    i16 lineOf[kDmStripMaxEdges];
    i32 count;
};

struct DM_STRIP_STATE {
    DM_STRIP_SET strips[2];  // previous and current, swapped after each strip
    DM_TRACKED_LINE lines[kDmStripMaxLines];
    i32 lineCount;
    u8 profile[kDmStripMaxWidth];
};

// The points of one trace (u the coordinate stepped, v the edge position).
struct DM_TRACE_POINTS {
    i32 u[kDmStripTracePoints];
    i32 v[kDmStripTracePoints];
    i32 amplitude[kDmStripTracePoints];  // of the edge re-detected there
    i32 relative[kDmStripTracePoints];
    i32 count;
};

struct DM_PARTNER {
    GEO_POINT start;  // the end with the smaller coordinate along its direction
    GEO_POINT end;
    i32 length;       // squared
    GEO_POINT corner;  // X
    i64 s1;           // signed squared gaps (DM_CheckCorner)
    i64 s2;
    i32 amplitude[2];  // at start and end
    i32 relative[2];
    i32 angle;        // degrees of start -> end, 0..359
    i32 orientation;  // kDmAlongRow: found along a row (a steep edge), traced down the image
    i32 kind;         // polarity read in its orientation
    f32 line[2];      // along a row: x = line[0] y + line[1]; along a column: y of x
    i32 valid;
};

// One end and side of a line: 0 plus side at P, 1 minus side at P, 2 plus at Q, 3 minus at Q.
struct DM_STRIP_CONFIG_RESULT {
    i32 valid;
    i32 darkOnLight;
    DM_PARTNER partner;
};

struct DM_LINE_RESULT {
    DM_STRIP_CONFIG_RESULT config[4];
};

// An edge found by re-detection on one run of box means.
struct DM_LOCAL_EDGE {
    i32 found;
    i32 position;     // quarter pixels along the run's axis
    i32 orientation;  // kDmAlongRow or kDmAlongColumn
    i32 kind;
    i32 low;
    i32 high;
    i32 amplitude;
    i32 relative;
    i32 steepness;    // largest difference of samples one or two apart
};

inline constexpr i32 kDmStripStackBytes = 96 * 1024;
static_assert(sizeof(DM_STRIP_STATE) + sizeof(DM_TRACE_POINTS) + sizeof(DM_PARTNER) * kDmStripMaxPartners +
                      2 * sizeof(DM_CANDIDATE) * kDmStripMaxCandidates + sizeof(DM_LINE_RESULT) <=
                  kDmStripStackBytes,
              "the strip finder's records fit its stated stack");

// Squared distance of two quarter-pixel points.
inline i64 DM_SquaredLength(GEO_POINT a, GEO_POINT b) {
    const i64 dx = static_cast<i64>(b.x) - a.x, dy = static_cast<i64>(b.y) - a.y;
    return dx * dx + dy * dy;
}

// An edge of this amplitude and high grey value passes the limits.
inline bool DM_MeetsEdgeLimits(i32 amplitude, i32 high, DM_EDGE_LIMITS limits) {
    return amplitude >= limits.minAmplitude &&
           static_cast<i64>(amplitude) * 1024 >= static_cast<i64>(limits.minRelative) * high;
}

// ---- Entry.

// Candidates of the installed frame, at most max (nearest the image centre first), with the
// arm lengths filled; contrastHint of out is left as it was. The wanted flags become every
// line's dark-side and light-side enables. Answers the count.
i32 DM_FetchStripCandidates(DM_CANDIDATE *out, i32 max, i32 darkOnLightWanted, i32 lightOnDarkWanted);
// The pipeline: at most max candidates, sorted, the key in contrastHint, no arm lengths.
i32 DM_FindStripCandidates(DM_CANDIDATE *out, i32 max, i32 darkSide, i32 lightSide);

// Steps 1 to 7 over the installed frame: the tracked lines left in st->lines, their count.
i32 DM_TrackFrameLines(DM_STRIP_STATE *st, DM_TRACE_POINTS *pts);

// ---- Samples and edges.

// Mean of the n x n box with top-left pixel (x, y) (3 x 3: sum x 455 >> 12); -1 when the box
// leaves the frame.
i32 DM_BoxMean(i32 x, i32 y, i32 n);
// The 3 x 3 box means of rows y..y+2: width - 2 samples (at most kDmStripMaxWidth); 0 when
// the band leaves the frame.
i32 DM_StripProfile(i32 y, u8 *out);
// Box means at the integer-line points from p to q (sample coordinates), both ends, at most
// max; stops at the first box outside the frame. Answers the count.
i32 DM_SampleBoxLine(GEO_POINT p, GEO_POINT q, u8 *out, i32 max);
// count box means at p + (q - p) i / count, i = 0..count-1 (-1 outside the frame).
void DM_SampleBoxSegment(GEO_POINT p, GEO_POINT q, i32 count, i32 *out);
// Strictly rising and falling runs of s as edges (kind 0: both), at most capacity; the
// position is 4 x first + the run's centroid offset in quarter samples + 2.
i32 DM_StripEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, i32 kind, DM_STRIP_EDGE *out, i32 capacity);
i32 DM_StripRisingEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, DM_STRIP_EDGE *out, i32 capacity);
i32 DM_StripFallingEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, DM_STRIP_EDGE *out, i32 capacity);
// 1 when more than 30 % of the windows of 8 consecutive edges span fewer than 126 quarter
// samples; 0 below 8 edges.
i32 DM_IsBusyStrip(const DM_STRIP_EDGE *edges, i32 count);
// Invalidates, in both strips, all edges but the two ends of the longest run of more than 7
// edges that repeats edge by edge in the previous strip. Answers the run's length (0: none).
i32 DM_DropRepeatedEdgeRuns(DM_STRIP_EDGE *prev, i32 prevCount, DM_STRIP_EDGE *cur, i32 curCount);
// Angle in half degrees of a slope (dx/dy), signed; 179 beyond the table.
i32 DM_SlopeToAngle(f32 slope);
// The table: 16384 x tan(k / 2 degrees), rounded, k = 0..179.
inline constexpr i32 kDmTanEntries = 180;
extern const i32 kDmTanTable[kDmTanEntries];

// ---- Re-detection and tracing.

// The edge near (x, y) (quarter samples) along a row (or a column): the strictly monotone
// run of box means through the point, at most 15 samples each way, of the wanted kind (0:
// either); found when the limits hold.
DM_LOCAL_EDGE DM_RefineStripEdge(i32 x, i32 y, i32 orientation, i32 kind, DM_EDGE_LIMITS limits);

// How DM_TraceEdgeSteps walks: along a row edge u is y and v is x (steps down or up the
// image); along a column edge u is x and v is y.
struct DM_TRACE_WALK {
    i32 orientation;
    i32 kind;
    DM_EDGE_LIMITS limits;
    i32 step;       // quarter pixels per step, signed
    i32 maxSteps;
    i32 tolerance;  // quarter pixels from the prediction
    const f32 *line;  // predict from this line (v of u); null: from the walk so far
};
// Follows an edge from (u, v), re-detecting with DM_RefineStripEdge at every step; a new
// point must lie within the tolerance of the prediction (once a slope is known). Appends
// to pts while it has room; answers the points added.
i32 DM_TraceEdgeSteps(i32 u, i32 v, const DM_TRACE_WALK *walk, DM_TRACE_POINTS *pts);
// Step 5 for one strip edge at row y (pixels): 1 with rec filled, 0 (edge invalidated).
i32 DM_TraceStripEdge(DM_STRIP_EDGE *edge, i32 y, DM_EDGE_RECORD *rec, DM_TRACE_POINTS *pts);
// Walks from a to b (quarter pixels) in steps of 4 rows re-detecting the edge of the records'
// kind; 1 when it reaches b within 7 quarter pixels and no step strays by 13 or more.
i32 DM_ContrastContinues(const DM_EDGE_RECORD *ra, GEO_POINT a, const DM_EDGE_RECORD *rb, GEO_POINT b);
// The records of two strip edges belong to one line.
i32 DM_EdgesCompatible(const DM_EDGE_RECORD *prev, GEO_POINT prevAt, const DM_EDGE_RECORD *cur, GEO_POINT curAt);
// Step 6 between the two strips of state; the current strip's row in pixels.
void DM_TrackStripLines(DM_STRIP_STATE *st, i32 prevIndex, i32 row);
// Step 7: closes, compacts, follows the ends and merges; answers the lines left.
i32 DM_MergeTrackedLines(DM_TRACKED_LINE *lines, i32 count, DM_TRACE_POINTS *pts);
void DM_ExtendLineEnds(DM_TRACKED_LINE *line, DM_TRACE_POINTS *pts);
void DM_SortStripCandidates(DM_CANDIDATE *c, i32 n);

// Routines that nothing calls: the squared distance of (x, y) from x = slope y + offset
// (-1 for a degenerate slope), a line started only from two records of one kind, and
// DM_ContrastContinues only for two records of one kind.
i32 DM_SquaredDistanceFromFit(const f32 line[2], i32 x, i32 y);
i32 DM_StartLineSameKind(DM_TRACKED_LINE *line, const DM_EDGE_RECORD *a, const DM_EDGE_RECORD *b);
i32 DM_ContrastContinuesSameKind(const DM_EDGE_RECORD *ra, GEO_POINT a, const DM_EDGE_RECORD *rb, GEO_POINT b);
// Opens a tracked line through the end points of two records.
void DM_StartTrackedLine(DM_TRACKED_LINE *line, const DM_EDGE_RECORD *a, const DM_EDGE_RECORD *b, i32 row);

// ---- Sides, partners and corners.

i32 DM_CheckLineSides(DM_TRACKED_LINE *lines, i32 count, i32 darkSide, i32 lightSide);
void DM_BuildStripCandidates(DM_TRACKED_LINE *line, DM_LINE_RESULT *result, DM_TRACE_POINTS *pts);
// Step 3 for one line: appends up to four candidates while n < capacity; answers n.
i32 DM_AppendStripCandidates(const DM_TRACKED_LINE *line, const DM_LINE_RESULT *result, DM_CANDIDATE *out, i32 n,
                             i32 capacity);

void DM_MeasureSideRoom(DM_TRACKED_LINE *line);
void DM_CheckFacingLines(DM_TRACKED_LINE *lines, i32 count);
// Squared length of the part of r covered by the projection of s onto r's line.
i64 DM_ProjectedOverlap(const DM_TRACKED_LINE *r, const DM_TRACKED_LINE *s);
void DM_CheckQuietSide(DM_TRACKED_LINE *line);
void DM_CheckSideModules(DM_TRACKED_LINE *line);
// Module width in pixels next to the line on side (+1 plus, -1 minus); -1 on a flat side.
i32 DM_SideModuleWidth(const DM_TRACKED_LINE *line, i32 side);
// Transitions of 32 samples (largest count over the lags 1..3); outside gets the samples
// marked -1.
i32 DM_CountSampleSteps(const i32 *s, i32 n, DM_EDGE_LIMITS limits, i32 *outside);
void DM_CapSideRoom(i32 *room, i32 length, i32 moduleSq);
void DM_CheckSideTexture(DM_TRACKED_LINE *line);
// 1 when the area 2.5 to 4.5 e beside a -> b on side (+1 plus, -1 minus) is textured.
i32 DM_SideProfileTest(GEO_POINT a, GEO_POINT b, i32 e, i32 side, DM_EDGE_LIMITS limits);
DM_LOCAL_EDGE DM_LocalEdge(i32 x, i32 y);
// 1 when an edge at (x, y) lies on one of the partners already found.
i32 DM_SamePartner(const DM_PARTNER *partners, i32 n, const DM_LOCAL_EDGE *e, i32 x, i32 y);
// Follows a local edge at (x, y) into a partner line: 1 with p filled.
i32 DM_TracePartner(const DM_LOCAL_EDGE *e, i32 x, i32 y, DM_PARTNER *p, DM_TRACE_POINTS *pts);
// configuration 0..3 as in DM_LINE_RESULT; expectedKind the partner's kind read along its
// orientation is derived inside. 1 when the partner makes a corner with the line.
i32 DM_CheckCorner(const DM_TRACKED_LINE *line, i32 configuration, DM_PARTNER *p);
i32 DM_ProbePartners(const DM_TRACKED_LINE *line, i32 configuration, DM_EDGE_LIMITS limits, DM_PARTNER *partners,
                     DM_TRACE_POINTS *pts);
// Index of the chosen partner among n, -1 for none.
i32 DM_ChoosePartner(const DM_TRACKED_LINE *line, i32 configuration, DM_PARTNER *partners, i32 n);

}  // namespace vexo
