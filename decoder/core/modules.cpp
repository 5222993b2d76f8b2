#include "core/modules.h"

#include "core/state.h"

namespace vexo {

// No symbology module is registered yet: nothing is ever decoded.
const u8 *Dec_GetDecodedData() { return nullptr; }
int Dec_GetDecodedLength() { return 0; }
void Dec_GetAimIdBySource(char *) {}
void Dec_FillModuleResult(MODULE_RESULT *out) {
    if (out != nullptr) *out = MODULE_RESULT{};
}
int Dec_CollectVersions(char *, int, int used) { return used - 2; }
i32 Dec_GetLastSymbologyCode() { return g_state.lastSymbologyCode; }

void Dec_ResetModulesForImage() {
    g_state.decodeSource = kSourceNone;
    g_state.matrixIndex = -1;
    g_state.ocrIndex = -1;
    g_state.decodedModuleId = 0;
    for (u8 &f : g_state.matrixSuccess) f = 0;
}

}  // namespace vexo
