// Pairing of the edges found on two neighbouring sampled lines: which edge on the first
// line continues as which edge on the second.
#pragma once

#include "core/types.h"
#include "toolkit/quad.h"

namespace vexo {

// Pairs the ascending position lists posA (countA) and posB (countB). The shorter list
// (posA on a tie) is walked; each of its entries pairs with the first entry of the other
// list, from just after the last partner on, that lies within the tolerance before the
// differences start to grow. The tolerance comes from the lists themselves: 18 when some
// positions coincide, else 1.5 x the smallest difference met, at least 24. A first entry
// below 20 in either list is passed over.
//
// Writes matchA[k], matchB[k] (indexes into posA and posB, both ascending), matchCount and
// outCount = 0, and answers 1 (matchCount 0: nothing paired). Answers 0 and writes
// nothing when a count is not positive or an array is missing. Reads nothing else of the
// record; matchA and matchB must hold min(countA, countB) entries.
int Loc_PairEdgeLists(EDGE_PAIRING *pairing);

}  // namespace vexo
