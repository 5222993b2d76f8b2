// Internals shared by the runtime's sources (hidden from the library's exports).
#pragma once

#include "readercore.h"

// The process-wide state of each source back to its state at load (tests only).
void threads_test_reset();
void control_test_reset();
void packet_test_reset();
void decoder_wrapper_test_reset();
void focus_test_reset();
void exposure_test_reset();
void upgrade_test_reset();

// The core's deinit: the wrapper forgets its beep target when it is the state being freed.
void decoder_wrapper_forget_beep(COMMON_STATE *state);

// True while an upgrade holds the engine: powerLocked, or a serial upgrade from its start
// to its end (its power cycles clear powerLocked to switch).
bool upgrade_holds(const ENGINE_RECORD *record);

// Switches an engine off by its kind, unless powerLocked; does not look at common.
void common_power_off(ENGINE_RECORD *record);
