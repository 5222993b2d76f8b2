// The serial engine drivers against the engine simulators on a pseudo-terminal: the time
// from the engine's first data byte to the data callback, and a whole probe walk to the
// last listed speed per driver (real 500 ms first time-outs included).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "serial_engine_sim.h"
#include "sim.h"

namespace {

constexpr char kSwitchDir[] = "/sys/devices/switch/";

int64_t now_ns() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A platform root with the XML library, the switch lines and a UART on a pseudo-terminal,
// a plug-in loaded and bound by name, and its engine file.
struct Rig {
    std::string root;
    SimPty pty;
    ENGINE_RECORD record{};
    void *lib = nullptr;

    bool setup(const char *plugin, const std::string &engine_xml) {
        root = svc_sandbox::make_root("bench-serial");
        if (root.empty() || !svc_sandbox::link_libraries(root, svc_sandbox::kXml)) return false;
        plat_set_root(root.c_str());
        sim_kernel_install();
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"})
            svc_sandbox::write_device_file(root, std::string(kSwitchDir) + node, "1");
        svc_sandbox::write_device_file(root, "/dev/.keep", "");
        svc_sandbox::write_device_file(root, "/data/engine.xml", engine_xml);
        if (register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir) != 0 || sim_pty_open(&pty, "/dev/ttyS1") != 0 ||
            register_device(PORT_KIND_UART, 1, "/dev/ttyS1") != 0)
            return false;
        lib = dlopen((std::string(SERIAL_PLUGIN_DIR) + "/lib" + plugin + ".so").c_str(), RTLD_NOW);
        if (lib == nullptr || XMLInit() != 0) return false;
        record.Scantype = ENGINE_KIND_SERIAL;
        record.DriverChannel = 1;
        record.engineXml = XMLOpen("/data/engine.xml");
        bind(record.scanner_probe, "scanner_probe");
        bind(record.scanner_init, "scanner_init");
        bind(record.scanner_deinit, "scanner_deinit");
        bind(record.scanner_start_decode, "scanner_start_decode");
        bind(record.scanner_pack, "scanner_pack");
        bind(record.scanner_unpack, "scanner_unpack");
        return record.engineXml != nullptr && record.scanner_probe != nullptr;
    }
    template <typename Slot>
    void bind(Slot &slot, const char *name) {
        slot = reinterpret_cast<Slot>(dlsym(lib, name));
    }
    void teardown() {
        if (record.common != nullptr) record.scanner_deinit(&record);
        XMLClose(record.engineXml);
        while (unregister_device(0, -1) == 0) {
        }
        sim_pty_close(&pty);
        if (lib != nullptr) dlclose(lib);
        sim_kernel_remove();
        plat_set_root(nullptr);
        svc_sandbox::remove_root(root);
    }
};

std::string engine_xml(const std::string &probe, const std::vector<std::pair<int, std::string>> &speeds) {
    std::string x = "<?xml version=\"1.0\"?>\n<Engine>\n<ScanProbe><Cmd>" + probe + "</Cmd></ScanProbe>\n<Setting>\n";
    for (const auto &s : speeds)
        x += "<Baudrate name=\"" + std::to_string(s.first) + "\">" + s.second + "</Baudrate>\n";
    return x + "</Setting>\n</Engine>\n";
}

std::atomic<int64_t> g_callback_at{0};
int on_event(int event, DECODE_RESULT *, int) {
    if (event == SCN_EVENT_DATA) g_callback_at.store(now_ns(), std::memory_order_release);
    return 0;
}

// From the simulator's write of a 13-byte code to the data callback, the GT8841 driver's
// decode cycle at the line speed given.
void BM_DataToCallback(benchmark::State &state) {
    const int speed = static_cast<int>(state.range(0));
    Rig rig;
    if (!rig.setup("GT8841LD", engine_xml("RC0C1C2C3C4", {}))) {
        state.SkipWithError("rig");
        rig.teardown();
        return;
    }
    serial_open(1, speed, 0);
    serial_speed(1, speed);
    rig.record.scanner_init(&rig.record);
    auto sim = std::make_unique<Gt8841Sim>(&rig.pty, speed, rig.root, kSwitchDir);
    sim->set_scan_data("6901234567892");
    sim->start();
    std::vector<int64_t> samples;
    for (auto _ : state) {
        g_callback_at = 0;
        rig.record.scanner_start_decode(&rig.record, on_event, nullptr, 0);
        while (g_callback_at.load(std::memory_order_acquire) == 0) plat_sleep_real(1);
        samples.push_back(g_callback_at.load() - sim->scan_sent_ns());
        plat_sleep_real(5);  // the close procedure
    }
    sim->stop();
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples[samples.size() / 2] / 1e6;
    state.counters["p99_ms"] = samples[samples.size() * 99 / 100] / 1e6;
    rig.teardown();
}
BENCHMARK(BM_DataToCallback)->Arg(9600)->Arg(115200)->Iterations(50)->UseRealTime()->Unit(benchmark::kMillisecond);

// A whole probe walk: the engine at the last listed speed, every earlier one silent.
void BM_ProbeWalk(benchmark::State &state) {
    const int which = static_cast<int>(state.range(0));
    const char *plugins[] = {"GT8841LD", "ZPT-PL512", "PL512"};
    std::vector<std::pair<int, std::string>> speeds;
    std::string probe = "A3";
    int engine_speed = 115200;
    if (which == 0) {
        probe = "RC0C1C2C3C4";
        speeds = {{115200, "WFF2A03"}, {9600, "WFF2A00"}, {38400, "WFF2A01"}, {57600, "WFF2A02"}};
        engine_speed = 57600;
    } else if (which == 1) {
        speeds = {{38400, "8B#01#02"}, {9600, "8B#01#00"}, {19200, "8B#01#01"}, {57600, "8B#01#03"}, {115200, "8B#01#04"}};
    } else {
        speeds = {{9600, "8B#00"}, {38400, "8B#02"}, {57600, "8B#03"}, {115200, "8B#04"}};
    }
    Rig rig;
    if (!rig.setup(plugins[which], engine_xml(probe, speeds))) {
        state.SkipWithError("rig");
        rig.teardown();
        return;
    }
    const int home = which == 0 ? 115200 : which == 1 ? 38400 : 9600;
    for (auto _ : state) {
        std::unique_ptr<SerialEngineSim> sim;
        if (which == 0)
            sim = std::make_unique<Gt8841Sim>(&rig.pty, engine_speed, rig.root, kSwitchDir);
        else
            sim = std::make_unique<Up513Sim>(&rig.pty, engine_speed, which == 2, 0xA3, rig.root, kSwitchDir);
        sim->start();
        int64_t t0 = now_ns();
        int result = rig.record.scanner_probe(&rig.record);
        state.counters["walk_ms"] = (now_ns() - t0) / 1e6;
        state.counters["found"] = result == 0 && sim->port_speed() == home ? 1 : 0;
        sim->stop();
    }
    rig.teardown();
}
BENCHMARK(BM_ProbeWalk)->DenseRange(0, 2)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
