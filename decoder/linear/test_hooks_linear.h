// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

#include "linear/line_types.h"

namespace vexo {

// Puts the linear side back to its state at load: the table order, every family's private
// state (through the records' reset slots), the driver's statics, the multi-read flags and
// the edge list.
void Test_ResetLinearStatics();
// Installs a record at a table position (0..21) in place of the one there; a null record
// installs an empty one. Out-of-range positions are ignored.
void Test_InstallLineRecord(int index, const LINE_SYMBOLOGY *record);
// Empties every record, so that only records a test installs run.
void Test_ClearLineTable();

}  // namespace vexo
