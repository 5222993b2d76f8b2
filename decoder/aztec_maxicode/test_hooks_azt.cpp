#include "aztec_maxicode/test_hooks_azt.h"

#include "aztec_maxicode/azt_module.h"

namespace vexo {

void Test_ResetAztStatics() { g_aztState = AZT_STATE{.append = {}, .aimModifier = '0'}; }

}  // namespace vexo
