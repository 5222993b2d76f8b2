#include "aztec_maxicode/test_hooks_maxi.h"

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_module.h"

namespace vexo {

void Test_ResetMaxiStatics() {
    g_maxiState = MAXI_STATE{.eciCount = 0, .appendPosition = 0, .appendCount = 0, .aimModifier = '0', .append = {}};
    g_maxiFinder = MAXI_FINDER_STATE{};
    Maxi_ResetGridState();
}

}  // namespace vexo
