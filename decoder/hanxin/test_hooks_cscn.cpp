#include "hanxin/test_hooks_cscn.h"

#include "hanxin/cscn_state.h"

namespace vexo {

void Test_ResetCscnStatics() {
    g_saRecord = CSCN_SA_RECORD{};
    g_eciSeen = 0;
}

}  // namespace vexo
