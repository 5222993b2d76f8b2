// The PSAM card slot: device registration from the fixed "DRIVEREN", the card's power and
// reset lines on the switch device, and the answer-to-reset and APDU exchanges on the
// slot's UART.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "cardslot.h"
#include "cardslot_internal.h"
#include "cardslot_log.h"
#include "hwports.h"
#include "plat.h"

namespace {

constexpr int kSlotCount = 5;
constexpr int kSpeed = 9600;
// The switch channel of each slot's enable and reset lines.
static constexpr int kSlotLineChannel[kSlotCount] = {1, 1, 1, 1, 1};
static_assert(sizeof kSlotLineChannel / sizeof kSlotLineChannel[0] == kSlotCount, "one channel per slot");
constexpr int kReplyGapMs = 5;
constexpr int kIdleRounds = 7;
constexpr int kAtrSize = 1024;
constexpr int kAtrWaitMs = 500;
constexpr int kApduWaitMs = 500;
constexpr int kPowerSettleMs = 500;
constexpr int kHexTextMax = 2047;


CardslotState g_state;

bool slot_valid(int slot) { return slot >= 1 && slot <= kSlotCount; }
int line_channel(int slot) { return kSlotLineChannel[slot - 1]; }

PORT_DEVICE *slot_uart(int slot) { return get_module_ops(PORT_KIND_UART, slot); }

int slot_set_line(int channel, int code, int value) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_SWITCH1D, channel);
    if (dev == nullptr || dev->ioctrl == nullptr) return -1;
    return dev->ioctrl(dev, code, 0, &value);
}

int64_t now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool atr_valid(const uint8_t *atr, int n) {
    if (n >= 1 && (atr[0] & ~0x04) == 0x3B) return true;
    return n >= 2 && atr[0] == 0 && (atr[1] & ~0x04) == 0x3B;
}

}  // namespace

CardslotState &cardslot_state() { return g_state; }

void slot_driver_init() {
    if (g_state.driverLoaded) return;
    g_state.driverLoaded = 1;
    standalone_driver_init();
}

int slot_set_enable(int channel, int value) { return slot_set_line(channel, MODULE_IOCRL_SET_PSAM_EN, value); }
int slot_set_reset(int channel, int value) { return slot_set_line(channel, MODULE_IOCRL_SET_PSAM_RST, value); }

int slot_uart_open(int slot, int speed) {
    PORT_DEVICE *dev = slot_uart(slot);
    if (dev == nullptr || dev->open == nullptr) return -1;
    if (dev->fd > 0) return dev->fd;
    SERIAL_PARAM param = {speed, 0, 8, 2, 'e'};
    return dev->open(dev, &param);
}

int slot_uart_flush(int slot) {
    PORT_DEVICE *dev = slot_uart(slot);
    if (dev == nullptr || dev->ioctrl == nullptr) return -1;
    return dev->ioctrl(dev, MODULE_IOCRL_SERIAL_FLUSH, 0, nullptr);
}

extern "C" {

int control_power(int slot, int on) {
    // Exported: the slot indexes the line table, so a bad one switches nothing.
    if (!slot_valid(slot)) return -1;
    if (on == g_state.power) return 0;
    g_state.power = on;
    int c = line_channel(slot);
    if (on == 1) {
        slot_set_reset(c, 0);
        slot_set_enable(c, 0);
        plat_sleep_ms(20);
        slot_set_enable(c, 1);
        plat_sleep_ms(50);
        slot_set_reset(c, 1);
    } else {
        slot_set_reset(c, 0);
        plat_sleep_ms(20);
        slot_set_enable(c, 0);
        plat_sleep_ms(50);
    }
    return 0;
}

int OpenCard(int64_t *slot_out, int slot) {
    if (slot == 0) slot = 1;
    if (!slot_valid(slot)) return -1;
    slot_driver_init();
    int fd = slot_uart_open(slot, kSpeed);
    control_power(slot, 1);
    if (fd < 0) return -1;
    // A caller without a place for the slot still gets the card opened.
    if (slot_out != nullptr) *slot_out = slot;
    return 0;
}

int CloseCard(int slot) {
    if (!slot_valid(slot)) return -1;
    PORT_DEVICE *dev = slot_uart(slot);
    int result = dev != nullptr && dev->close != nullptr ? dev->close(dev, 0) : -1;
    control_power(slot, 0);
    return result;
}

int ResetCard(int slot, int, int *out) {
    if (!slot_valid(slot)) return -1;
    int c = line_channel(slot);
    slot_set_reset(c, 0);
    plat_sleep_ms(10);
    int result = slot_set_reset(c, 1);
    if (out != nullptr) *out = 0;
    return result;
}

int ReadPacket(int slot, uint8_t *buffer, int size, int first_ms) {
    if (buffer == nullptr) return -1;
    if (size <= 0) return 0;
    PORT_DEVICE *dev = slot_uart(slot);
    if (dev == nullptr || dev->read == nullptr) return 0;
    int n = dev->read(dev, buffer, size, first_ms);
    if (n <= 0) return 0;
    int count = n;
    int idle = 0;
    int64_t mark = now_ms();
    while (count < size && idle < kIdleRounds) {
        PORT_DEVICE *port = slot_uart(slot);
        int got = port != nullptr && port->read != nullptr ? port->read(port, buffer + count, size - count, 2 * kReplyGapMs) : 0;
        int64_t now = now_ms();
        if (got > 0) {
            count += got > size - count ? size - count : got;
            idle = 0;
            mark = now;
        } else if (now - mark > kReplyGapMs) {
            ++idle;
            mark = now;
        }
    }
    return count;
}

void PrintCustomHex(const char *title, const uint8_t *bytes, int count) {
    if ((cardslot_log_level() & kCardslotLogBit) == 0) return;
    char text[kHexTextMax + 1];
    int used = 0;
    text[0] = '\0';
    for (int i = 0; bytes != nullptr && i < count; ++i) {
        char one[8];
        int n = snprintf(one, sizeof one, " 0x%x", bytes[i]);
        if (used + n > kHexTextMax) break;
        memcpy(text + used, one, static_cast<size_t>(n) + 1);
        used += n;
    }
    cardslot_log_line("%s [%s]", title != nullptr ? title : "", text);
}

int CheckCard(int slot) {
    if (!slot_valid(slot)) return -1;
    slot_driver_init();
    if (slot_uart_open(slot, kSpeed) < 0) return -1;
    control_power(slot, 1);
    ResetCard(slot, 0, nullptr);
    uint8_t atr[kAtrSize];
    int n = ReadPacket(slot, atr, kAtrSize, kAtrWaitMs);
    PrintCustomHex("Check", atr, n);
    slot_uart_flush(slot);
    if (n <= 0) return -1;
    return atr_valid(atr, n) ? 0 : -1;
}

int CardApdu(int slot, const uint8_t *command, int length, uint8_t *reply, int *reply_length) {
    if (command == nullptr || reply == nullptr || reply_length == nullptr || !slot_valid(slot) || length < 0)
        return -1;
    if (g_state.power == 0) {
        OpenCard(nullptr, slot);
        plat_sleep_ms(kPowerSettleMs);
        slot_uart_flush(slot);
    }
    PORT_DEVICE *dev = slot_uart(slot);
    if (dev == nullptr || dev->write == nullptr) {
        PrintCustomHex("send", command, length);
        return -1;
    }
    int written = dev->write(dev, command, length);
    PrintCustomHex("send", command, length);
    if (written == -1) return -1;
    int n = ReadPacket(slot, reply, CARDSLOT_REPLY_SIZE, kApduWaitMs);
    *reply_length = n;
    PrintCustomHex("recv", reply, n);
    return n > 0 ? 0 : written;
}

}  // extern "C"
