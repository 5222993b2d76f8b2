// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the PDF417 family's static records back to their state at load: decoder state words,
// macro record, seconds value, composite bit buffer and switches.
void Test_ResetPdfStatics();

}  // namespace vexo
