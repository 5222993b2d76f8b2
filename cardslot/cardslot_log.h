// What the card slot and RFID libraries each build in for themselves (hidden): the
// logging level their lines and their configuration code go by, their lines to the
// Android log, the Java VM their threads would attach to, and the registration of the
// terminal's devices from the fixed "DRIVEREN".
#pragma once

#include <stdint.h>

// The level starts at the system's default; the engine-driver bit lets the lines out.
inline constexpr uint32_t kCardslotLogDefault = 0x0C;
inline constexpr uint32_t kCardslotLogBit = 0x04;

uint32_t &cardslot_log_level();
// One debug line with the tag "ScanJni" when the level has the bit.
void cardslot_log_line(const char *format, ...) __attribute__((format(printf, 1, 2)));
void cardslot_set_java_vm(void *vm);
void *cardslot_java_vm();
// Registers the devices "/system/usr/xml/DRIVEREN" names: 0, or -1 (logged) when the file
// cannot be opened.
int standalone_driver_init();
