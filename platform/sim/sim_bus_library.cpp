// The simulated I2C bus for a process that cannot call the model itself (a JVM): loaded
// before the service libraries, it installs the kernel model with the buses and devices
// named in the model file under the platform root, and appends every transfer to a
// journal there. Test-only.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <mutex>
#include <string>

#include "plat.h"
#include "sim.h"

namespace {

constexpr char kModelPath[] = "/data/simbus/model";
constexpr char kJournalPath[] = "/data/simbus/journal";

struct Journal {
    std::mutex lock;
    std::map<std::string, size_t> written; // transfers journalled per bus
    PLAT_KERNEL table{};
    const PLAT_KERNEL *model = nullptr;
};

Journal &journal() {
    static Journal j;
    return j;
}

// One line per transfer: each message "<addr> r|w: <bytes>", joined by " | ", then
// " = <result>".
std::string transfer_line(const SimI2cTransfer &t) {
    std::string line;
    char part[32];
    for (const SimI2cMessage &m : t.msgs) {
        snprintf(part, sizeof part, "%s%02x %s:", line.empty() ? "" : " | ", m.addr,
                 (m.flags & PLAT_I2C_M_RD) != 0 ? "r" : "w");
        line += part;
        for (uint8_t b : m.bytes) {
            snprintf(part, sizeof part, " %02X", b);
            line += part;
        }
    }
    snprintf(part, sizeof part, " = %d\n", t.result);
    return line + part;
}

void journal_new_transfers() {
    Journal &j = journal();
    std::lock_guard<std::mutex> hold(j.lock);
    FILE *out = nullptr;
    for (auto &bus : j.written) {
        std::vector<SimI2cTransfer> all = sim_i2c_transfers(bus.first.c_str());
        for (; bus.second < all.size(); ++bus.second) {
            if (out == nullptr) out = plat_fopen(kJournalPath, "a");
            if (out == nullptr) return;
            fputs(transfer_line(all[bus.second]).c_str(), out);
        }
    }
    if (out != nullptr) fclose(out);
}

// A bus setting the model took: "I2C_TIMEOUT <value>" or "I2C_RETRIES <value>".
void journal_setting(unsigned long request, void *arg) {
    Journal &j = journal();
    std::lock_guard<std::mutex> hold(j.lock);
    FILE *out = plat_fopen(kJournalPath, "a");
    if (out == nullptr) return;
    fprintf(out, "%s %lu\n", request == PLAT_I2C_TIMEOUT ? "I2C_TIMEOUT" : "I2C_RETRIES",
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(arg)));
    fclose(out);
}

int journalled_ioctl(int fd, unsigned long request, void *arg) {
    int result = journal().model->ioctl(fd, request, arg);
    if (request == PLAT_I2C_RDWR) journal_new_transfers();
    if (result == 0 && (request == PLAT_I2C_TIMEOUT || request == PLAT_I2C_RETRIES)) journal_setting(request, arg);
    return result;
}

bool load_model() {
    FILE *in = plat_fopen(kModelPath, "r");
    if (in == nullptr) return false;
    char line[512];
    char path[256];
    unsigned address = 0;
    int reg_bytes = 0;
    bool ok = true;
    while (ok && fgets(line, sizeof line, in) != nullptr) {
        if (sscanf(line, "bus %255s", path) == 1) {
            ok = sim_i2c_bus_create(path) == 0;
            if (ok) journal().written[path] = 0;
        } else if (sscanf(line, "device %255s %x %d", path, &address, &reg_bytes) == 3) {
            ok = address <= 0x7f && sim_i2c_add_device(path, static_cast<uint16_t>(address), reg_bytes) == 0;
        }
    }
    fclose(in);
    return ok;
}

__attribute__((constructor)) void install_bus() {
    sim_kernel_install();
    Journal &j = journal();
    j.model = plat_kernel();
    j.table = *j.model;
    j.table.ioctl = journalled_ioctl;
    plat_kernel_install(&j.table);
    if (!load_model()) fprintf(stderr, "simbus: the model %s under the root did not load\n", kModelPath);
}

} // namespace
