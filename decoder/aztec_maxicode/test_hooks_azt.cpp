#include "aztec_maxicode/test_hooks_azt.h"

#include "aztec_maxicode/azt_finder.h"
#include "aztec_maxicode/azt_module.h"
#include "aztec_maxicode/azt_symbol.h"

namespace vexo {

void Test_ResetAztStatics() {
    g_aztState = AZT_STATE{.append = {}, .aimModifier = '0'};
    g_aztFinder = AZT_FINDER_STATE{};
    g_aztVerify = AZT_VERIFY_STATE{};
    g_aztDriver = AZT_DRIVER{};
    g_aztCandidateDecode = Azt_DecodeCandidate;
}

void Test_SetAztCandidateDecode(AztCandidateFn decode) {
    g_aztCandidateDecode = decode != nullptr ? decode : Azt_DecodeCandidate;
}

}  // namespace vexo
