// Models of the terminal's hardware for tests on this host: a kernel seam that answers
// the I2C transfer request from device models and records the terminal settings applied
// to each descriptor, and serial lines on pseudo-terminals.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <pthread.h>
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <vector>

// One message of a recorded I2C transfer, with the bytes it carried (written bytes, or
// the bytes a read returned).
struct SimI2cMessage {
    uint16_t addr;
    uint16_t flags;
    uint16_t len;
    uint32_t timing;
    std::vector<uint8_t> bytes;
};

// One I2C_RDWR request: its messages and the request's result.
struct SimI2cTransfer {
    std::vector<SimI2cMessage> msgs;
    int result;
};

// Installs the model seam (idempotent). Every other call falls through to the real one.
void sim_kernel_install();
// Restores the real calls and forgets every bus, device, record, applied setting and
// journal entry.
void sim_kernel_remove();

// One order for the kernel journal and the recorded waits: each entry takes the next
// number.
uint64_t sim_next_sequence();

// The write journal: per device path opened through the seam, every write and read in
// order with its bytes (a switch line writes successive keywords into one node whose
// file keeps only the last).
struct SimIo {
    uint64_t seq;
    char op;  // 'w' write, 'r' read, 'p' a wait for input (bytes: "1" ready, "0" not)
    std::string path;
    std::string bytes;
};
std::vector<SimIo> sim_io_journal();
// The bytes of every write to one device path, in order.
std::vector<std::string> sim_writes(const char *device_path);
void sim_io_clear();
// Called after every write through the seam (on the writing thread, outside the model's
// lock), for models of a device that answers a line change; empty to remove.
void sim_set_write_hook(std::function<void(const std::string &path, const std::string &bytes)> hook);

// The recording sleep seam: each wait of plat_sleep_ms is recorded, then returns at once
// (divisor 0) or after ms / divisor real milliseconds.
struct SimWait {
    uint64_t seq;
    int ms;
    pthread_t thread;
};
void sim_sleep_install(int divisor);
// Restores the real wait and forgets the record.
void sim_sleep_remove();
std::vector<SimWait> sim_sleep_waits();
void sim_sleep_clear();
// Called at each wait on the waiting thread before it returns (outside the record's
// lock); empty to remove.
void sim_sleep_set_hook(std::function<void(int ms)> hook);

// A bus at a device path (a node file is made under the root). 0, or -1.
int sim_i2c_bus_create(const char *device_path);
// A device answering at addr with registers of reg_bytes (1 or 2) address bytes: a write
// message sets the register pointer from its first bytes and stores the rest from there
// on; a read message returns bytes from the pointer on. Both advance the pointer.
int sim_i2c_add_device(const char *device_path, uint16_t addr, int reg_bytes);
// The device's 65,536 registers, or nullptr.
uint8_t *sim_i2c_registers(const char *device_path, uint16_t addr);
// A device's model of its own: called for every message to the device before the
// registers answer it (the device's lock held: it must not call into the bus model),
// with the message's bytes (a write's, register address first; a read's buffer). It may
// change the registers, also to shape the read's answer; false refuses the message and
// the whole transfer fails (EIO). Empty to remove.
using SimI2cDeviceHook = std::function<bool(uint8_t *regs, bool read, const uint8_t *bytes, uint16_t len)>;
void sim_i2c_set_device_hook(const char *device_path, uint16_t addr, SimI2cDeviceHook hook);
// Every transfer the bus was asked for, in order, failed ones included.
std::vector<SimI2cTransfer> sim_i2c_transfers(const char *device_path);
void sim_i2c_clear_transfers(const char *device_path);
// Makes the next count write-only transfers on the bus fail (EIO) without storing
// anything, as a device that does not acknowledge a write would; reads still answer.
void sim_i2c_fail_writes(const char *device_path, int count);
// Makes the next transfers on the bus accept the request but report count (as a kernel
// that returns 0 would); -1 returns to normal answers.
void sim_i2c_force_result(const char *device_path, int count);

// The settings last applied to fd with tcsetattr, and how many times settings were
// applied to it. false when none were.
bool sim_termios_applied(int fd, struct termios *out, int *count);

// A serial line: the engine side owns the pseudo-terminal's master; the device path
// (under the root) leads to its slave, which the port driver opens.
struct SimPty {
    int master = -1;
    char slave[128] = {};
};
int sim_pty_open(SimPty *pty, const char *device_path);
// Bytes the engine sends to the port.
ssize_t sim_pty_send(SimPty *pty, const void *bytes, size_t len);
// Bytes the port wrote, waiting up to timeout_ms for the first; 0 when none came.
ssize_t sim_pty_receive(SimPty *pty, void *buf, size_t cap, int timeout_ms);
void sim_pty_close(SimPty *pty);
