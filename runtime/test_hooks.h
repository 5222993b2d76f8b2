// Test-only hooks of the runtime's static build.
#pragma once

// Returns the runtime's process-wide state to its state at load: the remembered UART
// speed, the command table's sums, the packet queue and its sequence, the Java VM, the decoder
// wrapper (library unloaded, flags and beep target cleared), the focus and exposure state, the upgrade state.
extern "C" void readercore_test_reset(void);
