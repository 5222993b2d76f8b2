// Read mode 2: pairs of candidates side by side, decoded and joined into one text.
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_stages.h"

namespace vexo {

i32 DM_PairCandidates(DM_CANDIDATE *, i32, i32 *, i32) { return 0; }
i32 DM_DecodeSymbolPairs(const DM_STAGES *, DM_CANDIDATE *, i32, i32 *, i32) { return DM_GetBestStatus(); }

}  // namespace vexo
