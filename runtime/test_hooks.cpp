// Test-only: built only into the static library the tests link.
#include "test_hooks.h"

#include "runtime_internal.h"

extern "C" void readercore_test_reset(void) {
    threads_test_reset();
    control_test_reset();
    packet_test_reset();
    decoder_wrapper_test_reset();
    focus_test_reset();
    exposure_test_reset();
    upgrade_test_reset();
}
