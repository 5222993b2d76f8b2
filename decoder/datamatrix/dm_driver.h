// The Data Matrix module's face towards the decoder core: the decode operation that fetches
// the L candidates of a region, ranks them and decodes them in turn (locating, sampling,
// binarisation, the data layer, one re-sampling), the best status, the result store and the
// accessors of the last result (declared in datamatrix/dm_services.h).
#pragma once

#include "core/types.h"
#include "datamatrix/dm_services.h"
#include "datamatrix/dm_stages.h"
#include "datamatrix/dm_types.h"

namespace vexo {

inline constexpr i32 kDmMaxFetched = 20;
inline constexpr i32 kDmMaxRanked = 6;

// The stages DM_DecodeImage and DM_DecodeCandidate run: the module's own (kDmStages); only
// the tests' hook points it elsewhere.
extern const DM_STAGES *g_dmStages;

// DM_DecodeImage over the given stages: answers 0 when the result holds a decoded text,
// else the best status of the decode (kDmNoCandidate without candidates).
i32 DM_DecodeImageWith(const DM_STAGES *stages);

// One candidate through locate, the square test, regularisation, sampling, binarisation,
// the strip and the data layer, with one re-sampling of a one-region square after -10 or 30.
// 0 with the text in the result, else the candidate's status. DM_DecodeCandidate uses the
// module's own stages.
i32 DM_DecodeCandidateWith(const DM_STAGES *stages, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
i32 DM_DecodeCandidate(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);

// Copies the options from the configuration word (multiSymbol is left alone).
void DM_ReadOptions();
// -10000 resets the best status; otherwise a non-negative status beats a negative one, the
// smaller of two non-negative ones wins and the larger (nearer zero) of two negative ones.
void DM_KeepBestStatus(i32 status);
i32 DM_GetBestStatus();
void DM_SetImage(u8 *pixels, i32 width, i32 height);

// Up to max candidates from the finder, arm ends in whole pixels, ordered so that armEnd1
// is the top-left and armEnd2 the bottom-right corner for both polarities.
i32 DM_FetchLCandidates(const DM_STAGES *stages, DM_CANDIDATE *out, i32 max);
// Ranks the valid candidates by distance from the image centre and prepares at most six
// valid ones into out, which holds kDmMaxRanked records. Answers how many.
i32 DM_RankCandidates(DM_CANDIDATE *cands, i32 n, DM_PREPARED_CANDIDATE *out);
// Fills out from cand and writes the fourth corner back into cand. 1 when valid, else the
// longer arm.
i32 DM_PrepareCandidate(DM_PREPARED_CANDIDATE *out, DM_CANDIDATE *cand);
// Array forms (n records each); the copy takes the candidate's fourth corner as it stands.
// Both answer the number of valid records.
i32 DM_PrepareCandidates(DM_PREPARED_CANDIDATE *out, DM_CANDIDATE *cands, i32 n);
i32 DM_PrepareCandidatesCopy(DM_PREPARED_CANDIDATE *out, const DM_CANDIDATE *cands, i32 n);
// Centre of the quad {armEnd1, fourthCorner, corner, armEnd2}: the crossing of its
// diagonals, or the mean of the four corners when they are parallel.
GEO_POINT DM_CandidateCentre(const GEO_POINT &armEnd1, const GEO_POINT &corner, const GEO_POINT &armEnd2,
                             const GEO_POINT &fourthCorner);
// Distance of p (whole pixels) from the image centre, truncated.
i32 DM_DistanceFromImageCentre(GEO_POINT p);
// 1000 x the cosine of the angle at p between p->q and p->r, from the integer side lengths;
// 0 for a degenerate side.
i32 DM_CosineTimes1000(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r);
// Drops the first and last line of every region in both directions: bits holds
// regionRows x moduleRows by regionCols x moduleCols modules (with the pattern lines); the
// data modules go row-major into geo->modules and the module counts lose 2 each. Nothing
// happens when a count is below 3 or the matrix exceeds the matrix area.
void DM_StripPatternModules(const u8 *bits, DM_GEOMETRY *geo);
// Copies the result into the next slot of the result store while it holds fewer than two.
void DM_StoreResult();

i32 DM_GetConfigBit12();

// Routines no decode path calls.
// Options from a packed word: limitLayouts bit 2, segmentFinderOption bit 1, multiSymbol
// bits 3-4, acceptLeadingPad bit 0, squareOnly bit 7, codewordDump bit 8; bits 16-17 give
// the spare options (0: 0 and 1, 1: 1 and 0, 2 and 3: 1 and 1).
void DM_SetOptionsFromWord(u32 word);
// Clears the result length, the structured-append data and the mirror flag, then sets the
// options from the configuration word with the read-mode mapping of the packed form.
void DM_ResetModuleState();
i32 DM_PassThrough(i32 value);
void DM_ClearSaInfo();

}  // namespace vexo
