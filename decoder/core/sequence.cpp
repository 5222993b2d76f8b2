#include "core/sequence.h"

#include "core/api.h"
#include "core/arena.h"
#include "core/modules.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/box_list.h"

namespace vexo {

void Dec_ResetContext() {
    g_state.decoded = 0;
    g_state.image = IMAGE_RECORD{};
    for (int i = 0; i < 3; ++i) g_state.extensionArgs[i] = nullptr;
    Pix_SetImagePointer(nullptr);
    Pix_SetSecondBuffer(nullptr);
    Pix_SetImageSize(0, 0);
    g_state.initialised = 1;
    g_boxList = BOX_LIST{};
    g_boxList.capacity = 2;
    g_state.imageCopyFlags = 0;
    g_state.imageCopyDest = nullptr;
}

void Dec_EnableAllStages() { g_state.stageEnable = kAllStages; }

// The per-image body. No symbology module is registered yet, so after the per-decode
// resets nothing can be decoded.
u32 Dec_DecodeImage() {
    Mem_ResetArena();
    Dec_EnableAllStages();
    Dec_SetJoinedCount(0);
    Dec_ClearModuleWords();
    if (g_state.roiExplicit == 0) Dec_ComputeRoiBox();
    if (g_state.initialised == 0) Dec_ResetContext();
    Dec_ResetModulesForImage();
    g_state.decoded = 0;
    g_state.decodedModuleId = 0;
    return 0;
}

}  // namespace vexo
