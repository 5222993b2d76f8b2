// The card slot's process-wide state, for its own sources and its tests.
#pragma once

#include <stdint.h>

struct CardslotState {
    int driverLoaded = 0;              // set by the first registration attempt
    int power = 0;                     // 0 off, 1 on: one state for every slot
};

CardslotState &cardslot_state();
void slot_driver_init();
int slot_set_enable(int channel, int value);
int slot_set_reset(int channel, int value);
int slot_uart_open(int slot, int speed);
int slot_uart_flush(int slot);
