#include "hanxin/test_hooks_cscn.h"

#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_state.h"
#include "hanxin/cscn_symbol.h"

namespace vexo {

void Test_ResetCscnStatics() {
    g_saRecord = CSCN_SA_RECORD{};
    g_eciSeen = 0;
    g_cscnSymbol = CSCN_SYMBOL{};
    g_cscnModuleSize = 0;
    // The reset rebuilds the lists, the finder set and the ring; the mode and the current
    // pass go back to their values at load.
    g_cscnHitRing.polarityMode = 0;
    CSCN_FinderReset(nullptr, nullptr);
    g_cscnHitRing.polarityMode = 0;
    g_cscnCurrentPass = 1;
    g_cscnNormalGate = 0;
    g_cscnInverseGate = 0;
}

}  // namespace vexo
