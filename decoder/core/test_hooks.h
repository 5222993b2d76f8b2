// Hooks for tests only: built into a static library that the tests link, never into
// libvexo3.so.
#pragma once

#include "core/module_types.h"

namespace vexo {

// Puts every static record of the decoder back to its state at load.
void Test_ResetDecoderStatics();

// Installs a record in place of the one at that index of the matrix (0..6) or stacked
// (0..2) array, or as the external or OCR/postal extension record; a null record installs
// an empty one. Out-of-range indexes are ignored.
void Test_InstallMatrixModule(int index, const SYM_MODULE *record);
void Test_InstallStackedModule(int index, const SYM_MODULE *record);
void Test_InstallExternalModule(const EXT_MODULE *record);
void Test_InstallOcrModule(const SYM_MODULE *record);
// The module records as loaded, with the adapters' status and reported-result words.
void Test_RestoreModules();

}  // namespace vexo
