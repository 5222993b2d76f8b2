// Firmware upgrades: data frames per second of the serial transfer against the GT51X0
// simulator on a pseudo-terminal (fixed waits skipped by the sleep seam, replies waited
// for in real time), and the fixed waiting of an I2C upgrade of a 256 KB part as summed
// by the recording sleep seam.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "gt51x0_sim.h"
#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "sim.h"

namespace {

constexpr char kSwitchDir[] = "/sys/devices/switch/";

void BM_SerialFrames(benchmark::State &state) {
    const int frames = static_cast<int>(state.range(0));
    std::string root = svc_sandbox::make_root("bench-upgrade");
    plat_set_root(root.c_str());
    sim_kernel_install();
    sim_sleep_install(0);
    for (const char *node : {"scan_switch", "uart_rts", "uart_cts"})
        svc_sandbox::write_device_file(root, std::string(kSwitchDir) + node, "");
    svc_sandbox::write_device_file(root, "/dev/.keep", "");
    SimPty pty;
    bool ready = register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir) == 0 && sim_pty_open(&pty, "/dev/ttyS1") == 0 &&
                 register_device(PORT_KIND_UART, 1, "/dev/ttyS1") == 0 && serial_open(1, 115200, 0) > 0;
    auto sim = std::make_unique<gt51x0::Gt51x0Sim>(&pty);
    sim->start();
    ENGINE_RECORD record{};
    record.Scantype = ENGINE_KIND_SERIAL;
    record.DriverChannel = 1;
    GT51X0_Upgrade_Init([](int) {});
    const gt51x0::Bytes part = gt51x0::seeded(static_cast<size_t>(frames) * 512, 5);
    int failures = 0;
    for (auto _ : state) {
        if (!ready) break;
        if (gt51x0_upgrade_part(UPGRADE_TYPE_KERNEL, &record, part.data(), static_cast<uint32_t>(part.size()), 0) != 0)
            ++failures;
    }
    if (!ready) state.SkipWithError("rig");
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["failures"] = failures;
    sim->stop();
    while (unregister_device(0, -1) == 0) {
    }
    sim_pty_close(&pty);
    sim_sleep_remove();
    sim_kernel_remove();
    plat_set_root(nullptr);
    svc_sandbox::remove_root(root);
}
BENCHMARK(BM_SerialFrames)->Arg(128)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

int accept_write(uint8_t, int, const uint8_t *, int count) { return count; }
int ready_read(uint8_t, int, uint8_t *bytes, int count) {
    for (int i = 0; i < count; ++i) bytes[i] = 0;
    return count;
}

void BM_I2cFixedWait(benchmark::State &state) {
    const gt51x0::Bytes part = gt51x0::seeded(256 * 1024, 6);
    Upgrade_Init(0x12, accept_write, ready_read, [](int) {});
    sim_sleep_install(0);
    long total_ms = 0;
    int result = 0;
    for (auto _ : state) {
        sim_sleep_clear();
        result = Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), static_cast<uint32_t>(part.size()));
        total_ms = 0;
        for (const SimWait &w : sim_sleep_waits()) total_ms += w.ms;
    }
    sim_sleep_remove();
    state.counters["fixed_wait_s"] = static_cast<double>(total_ms) / 1000.0;
    state.counters["result"] = result;
}
BENCHMARK(BM_I2cFixedWait)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
