// The stages the module driver runs around the data layer: the L candidates of the finder,
// locating and sizing, lattice regularisation, module sampling, the multi-symbol pairing
// and the ECC 000-140 decoder. The driver reaches the image-side stages through a
// DM_STAGES table, so that a test can script them.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_types.h"

namespace vexo {

// The next L candidate of the region: 1 with out filled, 0 when none is left.
i32 DM_GetDM(DM_L_CANDIDATE *out);

// Turns a prepared candidate into a located symbol: layout class, region lattice and the
// data-module counts of one region. 0 when located, a negative status otherwise. May move
// the candidate's arm ends.
i32 DM_LocateAndSize(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);

// Replaces the lattice nodes of a symbol of two or more region columns by blockwise
// perspective fits; nothing for one region column.
void DM_RegularizeLattice(DM_GEOMETRY *geo);

// Samples one grey value per module into geo->modules (moduleRows and moduleCols with each
// region's finder and timing lines) and writes the symbol's corners into the result.
// 0 when every region was sampled.
i32 DM_SampleModules(u8 *image, DM_GEOMETRY *geo);

// Pairs of candidates side by side for read mode 2: writes the first and second candidate
// of each pair at 2m and 2m + 1 of order (at most capacity entries); answers the entries
// written.
i32 DM_PairCandidates(DM_CANDIDATE *cands, i32 n, i32 *order, i32 capacity);

// Pair indices in ascending order of score1 + 2 x score2 (ties: the lower index), at most 40.
void DM_SortPairs(i32 *outIndex, i32 *score2, i32 *score1, i32 count);
void DM_InsertionSortKeys(i32 *keys, i32 n);

// ECC 000-140 on an odd mapping matrix of mappingRows x mappingCols (the data layer's
// state): 0 with the text in the result, else a status.
i32 DM_DecodeEcc000(u8 *matrix);

// The image-side stages of one decode.
struct DM_STAGES {
    i32 (*getDM)(DM_L_CANDIDATE *out);
    i32 (*locateAndSize)(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
    void (*regularizeLattice)(DM_GEOMETRY *geo);
    i32 (*sampleModules)(u8 *image, DM_GEOMETRY *geo);
    i32 (*pairCandidates)(DM_CANDIDATE *cands, i32 n, i32 *order, i32 capacity);
};

inline constexpr DM_STAGES kDmStages = {
    .getDM = DM_GetDM,
    .locateAndSize = DM_LocateAndSize,
    .regularizeLattice = DM_RegularizeLattice,
    .sampleModules = DM_SampleModules,
    .pairCandidates = DM_PairCandidates,
};

// The multi-symbol path over the k entries of order (pairs from pairCandidates): decodes
// the symbols of the pairs with DM_DecodeCandidateWith and joins two texts. Answers 0 with
// the joined (or single) text in the result, else the best status.
i32 DM_DecodeSymbolPairs(const DM_STAGES *stages, DM_CANDIDATE *cands, i32 n, i32 *order, i32 k);

}  // namespace vexo
