// The card slot's process-wide state, for its own sources and its tests.
#pragma once

#include <stdint.h>

// The library's own logging level: the engine-driver bit lets its lines out; the level
// starts at the system's default, which has it.
inline constexpr uint32_t kCardslotLogDefault = 0x0C;
inline constexpr uint32_t kCardslotLogBit = 0x04;

struct CardslotState {
    int driverLoaded = 0;              // set by the first registration attempt
    int power = 0;                     // 0 off, 1 on: one state for every slot
    uint32_t level = kCardslotLogDefault;
};

CardslotState &cardslot_state();
void cardslot_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void slot_driver_init();
int slot_set_enable(int channel, int value);
int slot_set_reset(int channel, int value);
int slot_uart_open(int slot, int speed);
int slot_uart_flush(int slot);
