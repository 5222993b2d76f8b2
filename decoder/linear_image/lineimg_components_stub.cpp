// Placeholder for reading composite components until it lands: a result that needs no
// component passes, one that needs a component is never given one. The component reader
// replaces this file.
#include "core/params.h"
#include "linear_image/lineimg_module.h"

namespace vexo {

namespace {

bool IsEanUpc(i32 id) { return id == kSymEan8 || id == kSymEan13 || id == kSymUpcE || id == kSymUpcA; }

}  // namespace

int LineImg_TryComponents(LINEIMG_RUN *run) {
    if (run == nullptr || run->count <= 0 || g_lineImgRegions.count <= 0) return 0;
    const LINEIMG_LINE_STATE &st = g_lineImgState;
    if (st.linkFlag != 0) return 0;
    const bool alwaysSearch = (g_params.flagsWord[kSymComposite] & (1u << 31)) != 0;
    return alwaysSearch && IsEanUpc(st.id) ? 0 : 1;
}

}  // namespace vexo
