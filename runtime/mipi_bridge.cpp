// The MIPI bridge chip between a camera engine and the platform's MIPI input: held in
// reset, then loaded with a fixed register configuration, over I2C with 16-bit registers.
#include <stdint.h>

#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr uint8_t kBridgeAddress = 0x0E;
constexpr int kIdRegister = 0x0000;
constexpr int kResetRegister = 0x0002;
constexpr uint32_t kNarrow = 0xFFFF;  // high half of a 16-bit register's entry
constexpr int kResetHoldMs = 1;

struct BridgeEntry {
    uint32_t reg;
    uint32_t high;
    uint32_t low;
};

// Entries 1 and 2 hold the chip in reset and release it: a chip left in reset loads too.
constexpr BridgeEntry kBridgeTable[] = {
    {0x0002, kNarrow, 0x0001}, {0x0002, kNarrow, 0x0000}, {0x0016, kNarrow, 0x2081}, {0x0018, kNarrow, 0x0213},
    {0x0006, kNarrow, 0x00C8}, {0x0008, kNarrow, 0x0060}, {0x0022, kNarrow, 0x05E0}, {0x0140, 0x0000, 0x0000},
    {0x0144, 0x0000, 0x0000},  {0x0148, 0x0000, 0x0001},  {0x014C, 0x0000, 0x0001},  {0x0150, 0x0000, 0x0001},
    {0x0210, 0x0000, 0x3000},  {0x0214, 0x0000, 0x0005},  {0x0218, 0x0000, 0x2004},  {0x021C, 0x0000, 0x0003},
    {0x0220, 0x0000, 0x1005},  {0x0224, 0x0000, 0x5000},  {0x0228, 0x0000, 0x000A},  {0x022C, 0x0000, 0x0004},
    {0x0234, 0x0000, 0x0003},  {0x0238, 0x0000, 0x0000},  {0x0204, 0x0000, 0x0001},  {0x0518, 0x0000, 0x0001},
    {0x0500, 0xA300, 0x80A0},  {0x0004, kNarrow, 0x0240},
};
static_assert(sizeof kBridgeTable / sizeof kBridgeTable[0] == 26, "26 bridge entries");
static_assert(kBridgeTable[0].reg == kResetRegister && kBridgeTable[0].low == 0x0001, "entry 1 resets");

// One attempt; a failure is not reported.
void write_entry(int channel, const BridgeEntry &e) {
    uint8_t bytes[4] = {static_cast<uint8_t>(e.low >> 8), static_cast<uint8_t>(e.low), static_cast<uint8_t>(e.high >> 8),
                        static_cast<uint8_t>(e.high)};
    int len = e.high == kNarrow ? 2 : 4;
    i2c_write_word(channel, kBridgeAddress, static_cast<int>(e.reg), bytes, len, 0, 0);
}

}  // namespace

extern "C" int tc358746_read_id(int channel) {
    uint8_t id[2] = {0, 0};
    i2c_read_word(channel, kBridgeAddress, kIdRegister, id, 2, 0, 0);
    rt_log(LOG_LEVEL_DETAIL, "%s [%x] [%x]", "tc358746_read_id", id[0], id[1]);
    return 0;
}

extern "C" int tc358746_init(int channel) {
    i2c_open(channel);
    tc358746_read_id(channel);
    for (const BridgeEntry &e : kBridgeTable) {
        write_entry(channel, e);
        if (&e == &kBridgeTable[0]) plat_sleep_ms(kResetHoldMs);
    }
    rt_log(LOG_LEVEL_DETAIL, "%s =================", "tc358746_init");
    return 0;
}

extern "C" int tc358746_deinit(int channel) {
    write_entry(channel, kBridgeTable[0]);
    rt_log(LOG_LEVEL_DETAIL, "%s =================", "tc358746_deinit");
    return 0;
}
