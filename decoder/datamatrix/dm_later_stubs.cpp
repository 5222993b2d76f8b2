// Placeholders for the Data Matrix stages that are not built yet (the region lattice,
// lattice regularisation, sampling, the multi-symbol mode, ECC 000-140). Each answers as a
// failure; the stages replace these one by one.
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_stages.h"

namespace vexo {

// The region lattice: candidates are classified but not yet measured.
i32 DM_TryLargeSymbolPath(DM_PREPARED_CANDIDATE *, DM_GEOMETRY *) { return 0; }
i32 DM_MeasureCell(u8 *, DM_PREPARED_CANDIDATE *, DM_GEOMETRY *) { return kDmStatusNoCandidate; }
i32 DM_CompleteLattice(u8 *, DM_PREPARED_CANDIDATE *, DM_GEOMETRY *) { return kDmStatusNoCandidate; }
void DM_RegularizeLattice(DM_GEOMETRY *) {}
i32 DM_SampleModules(u8 *, DM_GEOMETRY *) { return -1; }
i32 DM_PairCandidates(DM_CANDIDATE *, i32, i32 *, i32) { return 0; }
i32 DM_DecodeSymbolPairs(const DM_STAGES *, DM_CANDIDATE *, i32, i32 *, i32) { return DM_GetBestStatus(); }
// As the ECC 000-140 decoder answers a stream whose header matches no level.
i32 DM_DecodeEcc000(u8 *) { return kDmStatusSomeBlocks; }

}  // namespace vexo
