// Grouping of a region's verified finder patterns into symbol candidates, one candidate at
// a time and on demand: patterns are taken as seeds nearest the image centre first; each
// seed looks for neighbours of its own polarity in three zones cut out by its own corners
// and keeps those whose corner shape matches. A group of three is a full QR symbol, two
// are a QR symbol with a finder lost (side or diagonal), one is a Micro QR symbol (or a QR
// symbol with two finders lost). When every seed is spent, an armed retry groups the first
// two or three patterns by plain geometry once.
//
// Before a pattern takes part its ring corners are refined against the image and its
// corner list is rotated so that r1 (corners[0]) is its outer corner, the one facing away
// from the symbol. Corners stay in cyclic order. Coordinates in 1/16 pixel.
#pragma once

#include "core/types.h"
#include "qr/qr_state.h"
#include "toolkit/geometry.h"

namespace vexo {

// Up to three patterns of the region's verified array; any slot may be empty.
struct QR_CANDIDATE {
    QR_FINDER_PATTERN *slot[3];
};

// A line through two points (direction as 16-bit values) and the side a third point lies on.
struct QR_LINE_SIDE {
    i16 dx;
    i16 dy;
    i64 offset;    // dx * p.y - dy * p.x of the line's first point
    i32 positive;  // 1 when the third point lies on the positive side
};

// Four corner pointers rotated cyclically.
struct QR_QUAD_REF {
    GEO_POINT *corner[4];
};

// Copies the next candidate's patterns, in slot order and skipping empty slots, into out
// and its type into *type (kQrCandidateOne, kQrCandidateThree with the corner pattern in
// slot 1, kQrCandidateSide for two neighbours along a side with slot 1 filled,
// kQrCandidateDiagonal for two on a diagonal with slot 1 empty); returns their count, 0 when
// no candidate is left.
i32 QR_NextSymbolCandidate(QR_FINDER_PATTERN out[3], i32 *type);
// The number of verified patterns of the region.
i32 QR_GetFinderPatternCount();
// Arms (1) or disarms (0) the one retry by plain geometry after the seeds are spent.
void QR_ArmCandidateRetry(i32 armed);
i32 QR_GetRetryArmed();
// Fills the next candidate; 1, or 0 when none is left. The first call of a region verifies
// the hits still queued and orders the seeds by their distance from the image centre.
i32 QR_NextCandidate(QR_CANDIDATE *candidate);
// Refines the ring corners against the image and orients the pattern (r1 its outer corner),
// unless it is analysed already; sets analysed, and oriented when the outer corner is clear.
void QR_PreparePattern(QR_FINDER_PATTERN *p);
// Zone of point x relative to pattern p: 1 and 3 its side neighbours (towards r2 and r4),
// 2 its diagonal neighbour (towards r3), 0 the rest of the half-plane beyond the diagonal
// r2-r4, 4 none.
i32 QR_PatternZone(const QR_FINDER_PATTERN *p, GEO_POINT x);
// Stores the line p-q and whether x lies on its positive side; returns that flag.
i32 QR_LineSide(GEO_POINT p, GEO_POINT q, GEO_POINT x, QR_LINE_SIDE *out);
// out->corner[k] = corners[(start + k) mod 4].
void QR_RotateQuad(GEO_POINT *c0, GEO_POINT *c1, GEO_POINT *c2, GEO_POINT *c3, i32 start, QR_QUAD_REF *out);
// 1 when at least 70 % of the bounding box of the candidate's estimated symbol corners
// lies in the frame.
i32 QR_CheckCandidateInFrame(const QR_CANDIDATE *candidate);
// Plain-geometry groupings of the retry: three patterns by their triangle, two by how the
// line between their centres passes their corners. 1 with the candidate filled and the
// corner lists rotated; 0 when the shape does not fit.
i32 QR_GroupThreePatterns(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_FINDER_PATTERN *p2,
                          QR_CANDIDATE *candidate);
i32 QR_GroupTwoPatterns(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_CANDIDATE *candidate);

}  // namespace vexo
