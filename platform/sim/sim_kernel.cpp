#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "plat.h"
#include "sim.h"

namespace {

struct SimDevice {
    int reg_bytes = 1;
    uint32_t pointer = 0;
    std::unique_ptr<uint8_t[]> regs{new uint8_t[65536]()};
    SimI2cDeviceHook hook;
};

struct SimBus {
    std::map<uint16_t, SimDevice> devices;
    std::vector<SimI2cTransfer> transfers;
    int forced = -1;
    int failing_writes = 0;
};

struct SimState {
    std::mutex lock;
    std::map<std::string, SimBus> buses;
    std::map<int, std::string> bus_fds;
    std::map<int, std::pair<struct termios, int>> applied;
    std::map<int, std::string> paths;  // every descriptor opened through the seam
    std::vector<SimIo> journal;
    std::function<void(const std::string &, const std::string &)> write_hook;
};

SimState &state() {
    static SimState s;
    return s;
}

void device_write(SimDevice &dev, const uint8_t *bytes, size_t len) {
    size_t i = 0;
    if (len >= static_cast<size_t>(dev.reg_bytes)) {
        dev.pointer = dev.reg_bytes == 2 ? (static_cast<uint32_t>(bytes[0]) << 8) | bytes[1] : bytes[0];
        i = static_cast<size_t>(dev.reg_bytes);
    }
    for (; i < len; ++i) {
        dev.regs[dev.pointer & 0xFFFF] = bytes[i];
        dev.pointer = (dev.pointer + 1) & 0xFFFF;
    }
}

void device_read(SimDevice &dev, uint8_t *out, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        out[i] = dev.regs[dev.pointer & 0xFFFF];
        dev.pointer = (dev.pointer + 1) & 0xFFFF;
    }
}

// Answers one combined transfer as a bus adapter would: every address must answer, or
// the whole request fails with ENXIO.
int bus_transfer(SimBus &bus, const PLAT_I2C_RDWR_DATA *data) {
    SimI2cTransfer rec{{}, 0};
    bool reads = false;
    for (uint32_t i = 0; i < data->nmsgs; ++i) reads = reads || (data->msgs[i].flags & PLAT_I2C_M_RD) != 0;
    if (!reads && bus.failing_writes > 0) {
        bus.failing_writes -= 1;
        for (uint32_t i = 0; i < data->nmsgs; ++i) {
            const PLAT_I2C_MSG &m = data->msgs[i];
            rec.msgs.push_back({m.addr, m.flags, m.len, m.timing, {}});
        }
        rec.result = -1;
        bus.transfers.push_back(rec);
        errno = EIO;
        return -1;
    }
    bool absent = false;
    for (uint32_t i = 0; i < data->nmsgs; ++i) {
        const PLAT_I2C_MSG &m = data->msgs[i];
        SimI2cMessage msg{m.addr, m.flags, m.len, m.timing, {}};
        auto dev = bus.devices.find(m.addr);
        if (dev == bus.devices.end()) {
            absent = true;
        } else if (!absent && dev->second.hook &&
                   !dev->second.hook(dev->second.regs.get(), (m.flags & PLAT_I2C_M_RD) != 0, m.buf, m.len)) {
            // The device refused the message: the transfer fails, nothing further is stored.
            // A refused write keeps its bytes in the record: what was attempted.
            if ((m.flags & PLAT_I2C_M_RD) == 0 && m.buf != nullptr) msg.bytes.assign(m.buf, m.buf + m.len);
            rec.msgs.push_back(std::move(msg));
            rec.result = -1;
            bus.transfers.push_back(rec);
            errno = EIO;
            return -1;
        } else if (!absent && (m.flags & PLAT_I2C_M_RD) != 0) {
            device_read(dev->second, m.buf, m.len);
        } else if (!absent) {
            device_write(dev->second, m.buf, m.len);
        }
        if (!absent && m.buf != nullptr) msg.bytes.assign(m.buf, m.buf + m.len);
        rec.msgs.push_back(std::move(msg));
    }
    rec.result = absent ? -1 : (bus.forced >= 0 ? bus.forced : static_cast<int>(data->nmsgs));
    bus.transfers.push_back(rec);
    if (absent) errno = ENXIO;
    return rec.result;
}

int sim_open(const char *path, int flags, mode_t mode) {
    int fd = plat_kernel_real()->open(path, flags, mode);
    if (fd < 0 || path == nullptr) return fd;
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.buses.count(path) != 0) s.bus_fds[fd] = path;
    s.paths[fd] = path;
    return fd;
}

// Journals a transfer on a descriptor opened through the seam; the path, or "".
std::string journal_io(int fd, char op, const void *bytes, ssize_t n) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.paths.find(fd);
    if (it == s.paths.end() || n < 0) return {};
    const char *b = static_cast<const char *>(bytes);
    s.journal.push_back({sim_next_sequence(), op, it->second, std::string(b, b + n)});
    return it->second;
}

int sim_close(int fd) {
    {
        SimState &s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        s.bus_fds.erase(fd);
        s.applied.erase(fd);
        s.paths.erase(fd);
    }
    return plat_kernel_real()->close(fd);
}

int sim_ioctl(int fd, unsigned long request, void *arg) {
    SimState &s = state();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        auto bus = s.bus_fds.find(fd);
        if (bus != s.bus_fds.end()) {
            // The bus's time-out and retry settings are taken (the bus library journals them).
            if (request == PLAT_I2C_RETRIES || request == PLAT_I2C_TIMEOUT) return 0;
            if (request != PLAT_I2C_RDWR || arg == nullptr) {
                errno = EINVAL;
                return -1;
            }
            return bus_transfer(s.buses[bus->second], static_cast<const PLAT_I2C_RDWR_DATA *>(arg));
        }
    }
    return plat_kernel_real()->ioctl(fd, request, arg);
}

// A pseudo-terminal keeps 8 data bits and no parity whatever it is given, and the C
// library's tcsetattr then reports the settings as refused. A serial line takes them, so
// the model hands them to the terminal directly; the kernel's record is a prefix of the
// library's.
int line_set_attributes(int fd, int when, const struct termios *t) {
    switch (when) {
        case TCSANOW: return ioctl(fd, TCSETS, t);
        case TCSADRAIN: return ioctl(fd, TCSETSW, t);
        case TCSAFLUSH: return ioctl(fd, TCSETSF, t);
        default: errno = EINVAL; return -1;
    }
}

int sim_tcsetattr(int fd, int when, const struct termios *t) {
    if (t == nullptr) return plat_kernel_real()->tcsetattr(fd, when, t);
    {
        SimState &s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        auto &entry = s.applied[fd];
        entry.first = *t;
        entry.second += 1;
    }
    return line_set_attributes(fd, when, t);
}

ssize_t sim_read(int fd, void *buf, size_t len) {
    ssize_t n = plat_kernel_real()->read(fd, buf, len);
    int err = errno;
    journal_io(fd, 'r', buf, n);
    errno = err;
    return n;
}

ssize_t sim_write(int fd, const void *buf, size_t len) {
    ssize_t n = plat_kernel_real()->write(fd, buf, len);
    int err = errno;
    std::string path = journal_io(fd, 'w', buf, n);
    std::function<void(const std::string &, const std::string &)> hook;
    {
        SimState &s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        hook = s.write_hook;
    }
    if (hook && !path.empty()) {
        const char *b = static_cast<const char *>(buf);
        hook(path, std::string(b, b + n));
    }
    errno = err;
    return n;
}
off_t sim_lseek(int fd, off_t offset, int whence) { return plat_kernel_real()->lseek(fd, offset, whence); }
int sim_poll(struct pollfd *fds, nfds_t count, int timeout_ms) {
    int r = plat_kernel_real()->poll(fds, count, timeout_ms);
    int err = errno;
    if (count > 0) journal_io(fds[0].fd, 'p', r > 0 ? "1" : "0", 1);
    errno = err;
    return r;
}
int sim_tcgetattr(int fd, struct termios *t) { return plat_kernel_real()->tcgetattr(fd, t); }
int sim_tcflush(int fd, int queue) { return plat_kernel_real()->tcflush(fd, queue); }

constexpr PLAT_KERNEL kSimKernel = {
    .open = sim_open,
    .close = sim_close,
    .read = sim_read,
    .write = sim_write,
    .lseek = sim_lseek,
    .ioctl = sim_ioctl,
    .poll = sim_poll,
    .tcgetattr = sim_tcgetattr,
    .tcsetattr = sim_tcsetattr,
    .tcflush = sim_tcflush,
};

SimBus *find_bus(SimState &s, const char *path) {
    auto it = path != nullptr ? s.buses.find(path) : s.buses.end();
    return it == s.buses.end() ? nullptr : &it->second;
}

}  // namespace

void sim_kernel_install() { plat_kernel_install(&kSimKernel); }

void sim_kernel_remove() {
    plat_kernel_install(nullptr);
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.buses.clear();
    s.bus_fds.clear();
    s.applied.clear();
    s.paths.clear();
    s.journal.clear();
    s.write_hook = nullptr;
}

uint64_t sim_next_sequence() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1);
}

std::vector<SimIo> sim_io_journal() {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.journal;
}

std::vector<std::string> sim_writes(const char *device_path) {
    std::vector<std::string> out;
    if (device_path == nullptr) return out;
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    for (const SimIo &io : s.journal)
        if (io.op == 'w' && io.path == device_path) out.push_back(io.bytes);
    return out;
}

void sim_io_clear() {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.journal.clear();
}

void sim_set_write_hook(std::function<void(const std::string &, const std::string &)> hook) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.write_hook = std::move(hook);
}

int sim_i2c_bus_create(const char *device_path) {
    if (device_path == nullptr) return -1;
    int fd = plat_open(device_path, O_RDWR | O_CREAT, 0666);
    if (fd < 0) return -1;
    close(fd);
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.buses[device_path];
    return 0;
}

int sim_i2c_add_device(const char *device_path, uint16_t addr, int reg_bytes) {
    if (reg_bytes != 1 && reg_bytes != 2) return -1;
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    SimBus *bus = find_bus(s, device_path);
    if (bus == nullptr) return -1;
    bus->devices[addr].reg_bytes = reg_bytes;
    return 0;
}

uint8_t *sim_i2c_registers(const char *device_path, uint16_t addr) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    SimBus *bus = find_bus(s, device_path);
    if (bus == nullptr) return nullptr;
    auto dev = bus->devices.find(addr);
    return dev == bus->devices.end() ? nullptr : dev->second.regs.get();
}

std::vector<SimI2cTransfer> sim_i2c_transfers(const char *device_path) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    SimBus *bus = find_bus(s, device_path);
    return bus == nullptr ? std::vector<SimI2cTransfer>{} : bus->transfers;
}

void sim_i2c_clear_transfers(const char *device_path) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (SimBus *bus = find_bus(s, device_path)) bus->transfers.clear();
}

void sim_i2c_set_device_hook(const char *device_path, uint16_t addr, SimI2cDeviceHook hook) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    SimBus *bus = find_bus(s, device_path);
    if (bus == nullptr) return;
    auto dev = bus->devices.find(addr);
    if (dev != bus->devices.end()) dev->second.hook = std::move(hook);
}

void sim_i2c_fail_writes(const char *device_path, int count) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (SimBus *bus = find_bus(s, device_path)) bus->failing_writes = count;
}

void sim_i2c_force_result(const char *device_path, int count) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (SimBus *bus = find_bus(s, device_path)) bus->forced = count;
}

bool sim_termios_applied(int fd, struct termios *out, int *count) {
    SimState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.applied.find(fd);
    if (it == s.applied.end()) return false;
    if (out != nullptr) *out = it->second.first;
    if (count != nullptr) *count = it->second.second;
    return true;
}
