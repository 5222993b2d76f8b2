// Geometry of one PDF417 symbol candidate: the guard's straight edge line fitted by a vote
// of falling edges over distance and angle, its true ends, the row direction, the line one
// codeword further inside and the four corners they give; then the row table.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// Slopes of the horizontal line and of the vertical one (intercept = x) in the fits.
inline constexpr f64 kPdfFlatSlope = 1e-5;
inline constexpr f64 kPdfVerticalSlope = 573.0;

// Arena blocks of the fitters.
inline constexpr i32 kPdfGuardAccumulator = 6000;
inline constexpr i32 kPdfRowAccumulator = 11025;

// 1 when the geometry and the row table (kPdfRowTableEntries entries) are complete.
int PDF_BuildSymbolGeometry(PDF_CANDIDATE *candidate, PDF_ROW_ENTRY *rowTable);
void PDF_PrepareGuardGeometry(PDF_CANDIDATE *candidate);
void PDF_PrepareRapGeometry(PDF_CANDIDATE *candidate);

// The guard's edge line near segment p-q (falling edges across it, width16 the expected
// width in 1/16 module units). 1 fitted; 0 nothing done; -2 / -3 no peak (the line through
// p and q is written). score may be null.
int PDF_FitGuardLine(GEO_POINT p, GEO_POINT q, i32 width16, i32 minStep, SLOPE_LINE *line, i32 *score);
int PDF_FitGuardLineNoScore(GEO_POINT p, GEO_POINT q, i32 width16, i32 minStep, SLOPE_LINE *line);
// The direction of rising edges crossing segment p-q: 0 with line->slope; -2 span below 10
// pixels, arena or no angle peak; -3 no distance peak. crossSegment (two points) may be null.
int PDF_FitRowDirection(GEO_POINT p, GEO_POINT q, i32 distanceBins, i32 angleBins, i32 minStep, SLOPE_LINE *line,
                        const GEO_POINT *crossSegment);
// Follows the guard's bars from end away from `towards`: end becomes the last place found.
int PDF_ExtendGuardEnd(GEO_POINT *end, GEO_POINT towards, i32 guardWidth);
// direction's intercept set through point; out = where it meets line (point when parallel).
void PDF_ProjectOntoLine(GEO_POINT point, SLOPE_LINE *direction, const SLOPE_LINE *line, GEO_POINT *out);
void PDF_PerpendicularSlope(const SLOPE_LINE *line, SLOPE_LINE *out);

void PDF_SetGuardCentres(PDF_CANDIDATE *candidates, i32 count);
// After candidate decodedIndex was decoded: candidates whose guard it covers stop pending
// (halves uncovered become new candidates); with findPartner the index of its guard
// partner, else -1.
i32 PDF_ReleaseCoveredCandidates(PDF_CANDIDATE *candidates, i32 *count, i32 decodedIndex, i32 findPartner);
int PDF_IsGuardPair(i32 kindA, i32 kindB);
// The left-side guard kinds (start forward, stop reverse, either polarity).
int PDF_IsLeftSideKind(i32 kind);

}  // namespace vexo
