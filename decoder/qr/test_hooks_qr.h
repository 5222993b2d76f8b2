// Hooks for tests only (built into the static test-hook library, never into libvexo3.so).
#pragma once

namespace vexo {

// Puts the QR data layer's static records back to their state at load: symbol and data
// state, AIM modifier '1', error word 30.
void Test_ResetQrDataStatics();

}  // namespace vexo
