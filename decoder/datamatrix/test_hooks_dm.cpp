#include "datamatrix/test_hooks_dm.h"

#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"

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
}

void Test_SetDmStages(const DM_STAGES *stages) { g_dmStages = stages != nullptr ? stages : &kDmStages; }

}  // namespace vexo
