// The Aztec bulls-eye finder: row candidates from the framework's row pass, their
// verification by 16 rays cast from the candidate's centre, the square of the last light
// ring with its corners, and the hand-out of the verified bulls-eyes to the driver with
// refined corners turned to the orientation corner.
//
// Positions are in 1/16 pixel unless said otherwise. Everything works on the installed
// grey image and keeps its state in the static records below; one decode at a time.
#pragma once

#include "aztec_maxicode/azt_rays.h"
#include "core/types.h"
#include "locate/finder.h"

namespace vexo {

// One verified bulls-eye.
struct AZT_BULLSEYE {
    i32 full;      // 1 full-range (three dark rings round the centre module), 0 compact
    i32 polarity;  // 0 dark modules on a light ground, 1 light on dark
    i32 minY, minX, maxX, maxY;  // box of the symbol's corners extrapolated from the ring
    i32 centreX, centreY;
    // Corners of the last light ring (distance 5 full-range, 3 compact), clockwise on the
    // image; after the hand-out q[0] is the corner with the three dark orientation modules.
    i32 q[4][2];
};

// One row candidate waiting for its verification.
struct AZT_QUEUE_ENTRY {
    u16 x;      // centre on the row
    u16 y;      // row x 16
    u16 due;    // y + twice the window's extent: verified from this row on
    u16 width;  // five-run window: its wide middle run in whole pixels; else 0
    i32 polarity;  // 1 when the window starts with a falling edge (light on dark)
};

inline constexpr int kAztQueueEntries = 500;
inline constexpr int kAztMaxBullseyes = 200;
inline constexpr int kAztRowEdges = 512;
inline constexpr int kAztRays = 16;
inline constexpr int kAztRaySamples = 256;
static_assert(kAztRayMaxLength <= kAztRaySamples);

using AztRaySampleFn = void (*)(AZT_RAY *ray);
using AztRayEdgeFn = int (*)(AZT_RAY *ray);

// The finder's per-region state.
struct AZT_FINDER_STATE {
    i32 bandLow, bandHigh;      // rows examined, inclusive
    i32 centreX, centreY;       // image centre, whole pixels
    u16 edges[kAztRowEdges];    // alternating edge list of the current row
    u16 edgeCount;
    AZT_QUEUE_ENTRY queue[kAztQueueEntries];
    u16 write, read;
    u8 sameLap;  // 1 while reader and writer are on the same lap of the ring
    AZT_BULLSEYE table[kAztMaxBullseyes];
    u16 count;
    u16 firstRelevant;  // first table entry the duplicate test still looks at
    u8 order[kAztMaxBullseyes];
    u16 handOut;
};

// The verification's state, rewritten for every candidate (the rays' strides and weights
// are set at the region's reset).
struct AZT_VERIFY_STATE {
    AZT_RAY rays[kAztRays];  // ray k points in direction k: 0 up, clockwise by 22.5 degrees
    u8 samples[kAztRaySamples];
    AztRaySampleFn sampler;
    AztRayEdgeFn edgeFinder;
    i32 cx, cy;  // ray origin, whole pixels
    u16 span;    // about seven modules
    i16 level;
    i32 full;    // of the last successful cast
};

extern AZT_FINDER_STATE g_aztFinder;
extern AZT_VERIFY_STATE g_aztVerify;

// ---- The finder table entry (declared in locate/finder_services.h) and the driver's side.

// Next verified bulls-eye nearest the image centre first, its corners refined and turned to
// the orientation corner; null when none is left. The first call of a region verifies what
// is still queued.
AZT_BULLSEYE *Azt_NextBullseyeCandidate();
// Rows-done step: raises the Aztec success byte when a bulls-eye stands.
void Azt_FinderRowsDone();

// ---- Row scan.

// Queues the row's windows that look like a line through a bulls-eye and agree with the
// previous row.
void Azt_ScanFinderRow(FINDER_LINE *line);
// Alternating-polarity list of at most kAztRowEdges positions: a same-polarity edge with a
// larger step replaces the last one kept. Answers the first edge's polarity (1 rising;
// 0 also for an empty list).
int Azt_AlternateEdges(u16 *out, u16 *count, const EDGE_ITEM *edges, u16 n);
// 8: seven equal runs (through the centre module); 6: runs 1:1:3:1:1 (beside it); else 0.
int Azt_ClassifyRuns(const u16 e[8]);
// Position of the edge of the given polarity nearest target among edges from position
// `from` to below `below`; 0 when none.
u16 Azt_NearestEdge(u16 target, int rising, u16 from, u16 below, const EDGE_ITEM *edges, u16 n);
// Partners of six reference positions on the previous row (0 where none).
void Azt_MatchNeighbourEdges(const u16 p[6], int rising, const EDGE_ITEM *edges, int n, u16 found[6]);
int Azt_NeighbourEdgesAgree(const u16 p[6], const u16 found[6]);
// Verifies, first in first out, the queued entries due at row (row & 0xFFF) x 16 or before.
void Azt_VerifyQueued(u16 row);
// 1 when the entry lies strictly inside the box of a bulls-eye already found.
int Azt_InsideFoundBullseye(const AZT_QUEUE_ENTRY *entry);
// Hand-out order of the table: nearest the image centre first, later entries first on
// equal distances.
void Azt_OrderBullseyes(u8 *order, const i32 centre[2]);

// ---- Verification.

// 1 when the entry is a bulls-eye; out is then filled.
int Azt_VerifyBullseye(const AZT_QUEUE_ENTRY *entry, AZT_BULLSEYE *out);
// Origin, level, edge finder and ray lengths of the entry; 0 when the origin lies on the
// image border (or outside it).
int Azt_SetupRays(const AZT_QUEUE_ENTRY *entry);
// Move a point (whole pixels) from a row beside the centre module onto it; w is the middle
// run's width. A point whose row neighbours lie outside the image stays and nothing is read.
void Azt_FindDarkCentreRow(i32 point[2], u16 width);
void Azt_FindBrightCentreRow(i32 point[2], u16 width);
// Casts the 16 rays and checks their rings; sets the full flag.
int Azt_CastRays();
// Checks two opposite rays against each other and adds their deviation to *deviation.
int Azt_CompareOppositeRays(const AZT_RAY *a, const AZT_RAY *b, u16 *deviation);
int Azt_BullseyeIsFull();
// Square of the last light ring, centre and box from the cast rays.
int Azt_FitBullseyeSquare(AZT_BULLSEYE *out);
// Image point (1/8 pixel) at t (1/8 sample) along the ray from the current origin.
void Azt_RayPointToImage(const AZT_RAY *ray, i32 out[2], u16 t);
// Corners (1/8 pixel) of the square through 16 ring points in ray order; 0 when the points
// do not make a square or a side or corner cannot be computed.
int Azt_FitSquareToRing(i32 points[16][2], i32 corners[4][2]);
// 1 when the centre module has the symbol's dark colour against the ray level.
int Azt_CheckCentreColour(const AZT_QUEUE_ENTRY *entry, const AZT_BULLSEYE *b);
// 1 for spans below 336, else Azt_CheckCentreColour.
int Azt_CheckLargeCentre(const AZT_QUEUE_ENTRY *entry, const AZT_BULLSEYE *b);
// Bilinear grey x 16 at a 1/16-pixel point, 65,535 when its 2 x 2 pixels leave the image.
u16 Azt_SampleAt16Checked(const i32 point[2]);

// ---- Hand-out.

// Moves the corners onto the light ring's sides; a side that cannot be fitted leaves all
// four corners as they were.
void Azt_RefineCorners(AZT_BULLSEYE *b);
// Turns the corners so that q[0] is the orientation corner. Always 1.
int Azt_OrientBullseye(AZT_BULLSEYE *b);
// Both, in this order. Always 1.
int Azt_RefineAndOrient(AZT_BULLSEYE *b);

}  // namespace vexo
