// QR finder-pattern search: every fourth row of a region is searched for six edges whose
// five runs read 1:1:3:1:1 and that agree with the row scanned before; such a hit waits in
// a ring until the scan has passed below the pattern, then sixteen rays from its centre
// verify the three rings and fit the four corners of the dark ring. Up to 250 verified
// patterns per region are kept for the grouping into symbol candidates.
//
// All coordinates are image positions in 1/16 pixel (pixel k at 16 k) unless a field says
// otherwise. Everything is static; one decode at a time.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/profile.h"

namespace vexo {

inline constexpr i32 kQrMaxPatterns = 250;
inline constexpr i32 kQrHitRingSize = 400;
inline constexpr i32 kQrRayCount = 16;
inline constexpr i32 kQrRayMaxLength = 250;
inline constexpr i32 kQrMaxRowEdges = 512;
// A window wider than this (about 358 pixels) is never a pattern.
inline constexpr i32 kQrMaxPatternWidth = 5734;
// Row number that makes every queued hit ready.
inline constexpr i32 kQrVerifyAllRows = 0xFFFF;

// One verified finder pattern.
struct QR_FINDER_PATTERN {
    i32 used;      // taken by the grouping as a seed or a neighbour
    i32 analysed;  // refined and oriented by the grouping
    i32 oriented;  // the outer corner was found with confidence
    i32 inverse;   // 1 light on dark, 0 dark on light
    i32 minY;
    i32 minX;
    i32 maxX;
    i32 maxY;
    i32 centreX;  // mean of the corners, (sum + 2) >> 2
    i32 centreY;
    // Corners r1..r4 of the dark ring, in cyclic order around the pattern; they lie on the
    // ring's centre line, six modules apart.
    GEO_POINT corners[4];
};

// A row hit waiting for verification.
struct QR_FINDER_HIT {
    u16 x;         // centre on the row
    u16 y;         // the row
    u16 readyRow;  // y + twice the pattern width: verified once the scan reaches it
    u8 grey;       // light level (dark-on-light) or dark level (light-on-dark) of the rings
    u32 inverse;
};

// One of the sixteen rays cast from a hit's centre.
struct QR_FINDER_RAY {
    u8 *samples;        // the shared ray buffer
    const u8 *centre;   // pixel at the pattern centre
    u16 length;         // samples to take
    i16 stepA;          // pixel offsets, taken alternately starting with stepA
    i16 stepB;
    u16 weight;         // 512 x the mean step length
    u16 threshold;
    u16 limit1;         // largest d1 accepted
    u16 limit2;         // largest d2 accepted
    u16 d1;             // centre square to light ring
    u16 d2;             // light ring to dark ring
    u16 d3;             // dark ring to the outside
    u16 ringPos;        // middle of the dark ring, 1/8 step
};

// Which of the three ray analysers a hit uses.
enum QrRayAnalyser : int { kQrRaySmall = 0, kQrRayLarge = 1, kQrRayLowContrast = 2 };

// The finder's per-region state, and the grouping's cursor, retry flag and seed order.
struct QR_FINDER_STORE {
    QR_FINDER_PATTERN patterns[kQrMaxPatterns];
    u16 patternCount;
    u16 scanStart;  // first pattern the duplicate test still looks at
    QR_FINDER_HIT ring[kQrHitRingSize];
    u16 readIndex;
    u16 writeIndex;
    u8 wrapClear;  // 1 while the write index has not wrapped past the read index
    QR_FINDER_RAY rays[kQrRayCount];
    u8 raySamples[kQrRayMaxLength];
    GEO_POINT imageCentre;  // whole pixels
    // Grouping of the patterns into symbol candidates.
    u16 candidateCursor;
    i32 retryArmed;
    u8 seedOrder[kQrMaxPatterns];
};

extern QR_FINDER_STORE g_qrFinder;

// ---- Region lifecycle.

// Empties the ring, drops every pattern, resets the grouping's cursor, makes the ray steps
// for the installed image's width and stores the image centre.
void QR_FinderResetStore();
// One scanned row: verifies the hits that are ready at the current row, then searches the
// row unless the ring is full. Nothing happens without a current line with samples or
// without a previous line with samples (the first line of a pass). Answers the number of
// verified patterns.
i32 QR_FinderProcessRow(const EDGE_LINE *previous, const EDGE_LINE *current);
// Verifies every queued hit whose ready row (1/16 pixel) is at most 16 x row, modulo 65536;
// kQrVerifyAllRows verifies every queued hit. Hits beyond the 250th pattern are dropped.
void QR_VerifyQueuedHits(i32 row);
// Raises the QR finder's success byte once two patterns stand, so that the other 2D
// finders give way on this region.
void QR_SetSuccessIfTwo();
// 1 when the ring holds no hit / is full.
int QR_HitRingEmpty();
int QR_HitRingFull();

// ---- Row search.

// Reduces an edge list to alternating positions (at most 512): an edge whose step is under a
// quarter of the largest step within 48 pixels is noise and passed over; an edge of the
// other polarity than the last kept one is appended, one of the same polarity replaces it
// when its step is larger. *firstRising receives 1 when the first kept edge rises (dark to
// light).
// Answers the number of positions.
i32 QR_CollectAlternatingEdges(const EDGE_ITEM *items, i32 count, u16 *positions, i32 *firstRising);
// The 1:1:3:1:1 test of six edge positions (differences modulo 65536); 1 accepted.
int QR_RatioTest(const u16 e[6]);
// Finds for every edge the previous row's edge of its polarity near it (of those in reach,
// only edges with at least a quarter of the largest step there count). firstFalling tells
// the polarity of e[0]; items ascend by position, as an edge list does; matches[i] receives
// the position or 0, distances[i] |m - e| or 255.
void QR_MatchPreviousRow(const u16 e[6], int firstFalling, const EDGE_ITEM *items, i32 count, u16 matches[6],
                         i32 distances[6]);
// 1 when the previous row's matches confirm the window.
int QR_CheckRowPair(const u16 e[6], const u16 matches[6]);
// Searches one row and queues its hits; stops when the ring fills.
void QR_SearchRow(const EDGE_LINE *previous, const EDGE_LINE *current);

// ---- Verification.

// Verifies a hit into *out: duplicate test, rays, corner fit. 1 when it stands.
int QR_VerifyHit(const QR_FINDER_HIT *hit, QR_FINDER_PATTERN *out);
// Re-centres the hit and lays out the sixteen rays; 0 drops the hit. *analyser receives the
// analyser to use, *centre the pixel centre.
int QR_PrepareRays(const QR_FINDER_HIT *hit, i32 *analyser, GEO_POINT *centre);
// Samples a ray (inverted for light-on-dark patterns).
void QR_SampleRay(QR_FINDER_RAY *ray, int inverse);
// The analysers: d1, d2, d3 and ringPos of a sampled ray; 1 when every transition was found
// within the limits. The small analyser reads the samples through [1 2 1] / 4 when limit1
// stands for modules of 3 pixels or more.
int QR_AnalyseRaySmall(QR_FINDER_RAY *ray);
int QR_AnalyseRayLarge(QR_FINDER_RAY *ray);
int QR_AnalyseRayLowContrast(QR_FINDER_RAY *ray);
// Agreement of two opposite rays: the pair's score (>= 0), or -1 when they disagree.
i32 QR_CheckRayPair(const QR_FINDER_RAY *p, const QR_FINDER_RAY *q);
// Samples and analyses all rays and checks that they agree; 1 when they do.
int QR_CheckRays(i32 analyser, int inverse);
// The turn at the middle of three points (1/8 pixel): 1024 cos^2 of the angle there,
// negative for an obtuse angle (-1024 on a straight line, 0 at a right angle); 0 when the
// points are too close to tell (a b < 64 for the squared distances a, b to the middle) or
// farther apart than 2^14.5.
i32 QR_TurnValue(GEO_POINT a, GEO_POINT b, GEO_POINT c);
// Fits the four ring corners from the rays' ring positions around centre (pixels). 1 when
// they form a plausible square; the pattern's corners, centre and box are then written.
int QR_FitPatternCorners(GEO_POINT centre, QR_FINDER_PATTERN *out);
// Sets the pattern's centre and box from its corners.
void QR_SetPatternBox(QR_FINDER_PATTERN *p);

}  // namespace vexo
