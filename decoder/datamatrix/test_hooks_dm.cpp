#include "datamatrix/test_hooks_dm.h"

#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_finder.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_segment.h"

namespace vexo {

void Test_ResetDmStatics() {
    g_dmOptions = DM_OPTIONS{};
    g_dmResult = DM_RESULT{};
    g_dmSaInfo = DM_SA_INFO{};
    g_dmImage = DM_IMAGE{};
    DM_KeepBestStatus(kDmStatusStart);
    g_dmData = DM_DATA_STATE{};
    g_dmCache = DM_BLOCK_CACHE{};
    g_dmStages = &kDmStages;
    g_dmFinder = DM_FINDER_STORE{};
    DM_ResetSegmentStore();
    g_dmLocateCalls = &kDmLocateCalls;
    DM_SetNoiseThreshold(15);
    DM_SetAltScoreFlag(0);
    g_dmDarkOnLightArmProbes = 1;
    g_dmLightOnDarkArmProbes = 0;
}

void Test_SetDmLocateCalls(const DM_LOCATE_CALLS *calls) {
    g_dmLocateCalls = calls != nullptr ? calls : &kDmLocateCalls;
}

void Test_SetDmStages(const DM_STAGES *stages) { g_dmStages = stages != nullptr ? stages : &kDmStages; }

}  // namespace vexo
