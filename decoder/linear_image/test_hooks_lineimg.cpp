#include "linear_image/test_hooks_lineimg.h"

#include "linear_image/lineimg_module.h"
#include "linear_image/lineimg_regions.h"

namespace vexo {

namespace {

LINEIMG_REGIONS g_installed;

void InstalledRegions(LINEIMG_REGIONS *table) {
    if (table == nullptr) return;
    for (i32 k = 0; k < g_installed.count; ++k) {
        table->quads[k] = g_installed.quads[k];
        table->kinds[k] = g_installed.kinds[k];
    }
    table->count = g_installed.count;
}

}  // namespace

void Test_ResetLineImgStatics() {
    g_lineImgOutput = LINEIMG_OUTPUT{};
    g_lineImgState = LINEIMG_LINE_STATE{};
    g_lineImgRegions = LINEIMG_REGIONS{};
    for (LINEIMG_SEGMENT_LINE &l : g_lineImgLines) l = LINEIMG_SEGMENT_LINE{};
    for (i8 &v : g_lineImgVotes) v = 0;
    g_lineImgProfileOn = 1;
    g_lineImgMethodsOff = 0;
    LineImg_FreeAccumulator();
    g_lineImgRegionSource = nullptr;
    g_installed = LINEIMG_REGIONS{};
    LineImg_ResetLineState();
}

void Test_SetLineImgRegions(const REGION_QUAD *quads, const u8 *kinds, i32 n) {
    g_installed = LINEIMG_REGIONS{};
    if (quads == nullptr || n <= 0) {
        g_lineImgRegionSource = nullptr;
        return;
    }
    if (n > kLineImgRegionCap) n = kLineImgRegionCap;
    for (i32 k = 0; k < n; ++k) {
        g_installed.quads[k] = quads[k];
        g_installed.kinds[k] = kinds != nullptr ? kinds[k] : 1;
    }
    g_installed.count = n;
    g_lineImgRegionSource = InstalledRegions;
}

}  // namespace vexo

namespace vexo {

void Test_SetLineImgMethods(bool mainScan, bool accumulate) {
    g_lineImgMethodsOff = static_cast<u8>((mainScan ? 0 : kLineImgMainScanOff) | (accumulate ? 0 : kLineImgAccumulateOff));
}

}  // namespace vexo
