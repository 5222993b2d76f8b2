// Symbology module records: read-back of the module that decoded, and version lines.
#pragma once

#include "core/module_types.h"
#include "core/types.h"

namespace vexo {

const u8 *Dec_GetDecodedData();
int Dec_GetDecodedLength();
void Dec_GetAimIdBySource(char *out);
void Dec_FillModuleResult(MODULE_RESULT *out);
// Appends the module version lines to buf (cap bytes, used already taken); answers the
// length of the whole text without the two blanks after the last line.
int Dec_CollectVersions(char *buf, int cap, int used);
i32 Dec_GetLastSymbologyCode();
void Dec_ResetModulesForImage();

}  // namespace vexo
