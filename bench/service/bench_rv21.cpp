// The RV2X/RV1X driver's own costs: its per-frame work on a 752 x 480 frame besides the
// skeleton's grab and give-back (the focus functions idle and collecting for a
// calibration, the frame and size Set at the decoder), and its worst register accesses on
// the real sleep seam against an engine that refuses every transfer: a register write of
// the RV21 retry policy (ten attempts 50 ms apart) and the LED write (ten echo attempts
// 10 ms apart).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "sim.h"

namespace {

constexpr char kRvBenchBus[] = "/dev/i2c-2";
constexpr int kRvBenchChannel = 2;
constexpr uint8_t kRvBenchEngine = 0x12;
constexpr int kRvWidth = 752;
constexpr int kRvHeight = 480;

void rv_copy_file(const char *from, const std::string &to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

// A root with the XML library, the spot finder and the fake decoder; the engine on the
// simulated bus refusing every message; libRV21 probed as an RV21 on that bus.
struct Rv21Rig {
    Rv21Rig() {
        root = svc_sandbox::make_root("rv21_bench");
        svc_sandbox::write_device_file(root, "/system/lib64/.keep", "");
        svc_sandbox::write_device_file(root, "/dev/.keep", "");
        ok = svc_sandbox::link_libraries(root, svc_sandbox::kXml);
        symlink(SPOTFIND_LIB, (root + "/system/lib64/libspotfind.so").c_str());
        rv_copy_file(FAKE_DECODER_LIB, root + "/system/lib64/libvexo3.so");
        svc_sandbox::write_device_file(
            root, "/system/usr/xml/engine.xml",
            "<?xml version=\"1.0\"?>\n<Engine><ScanProbe><Cmd name=\"BENCH\" attr=\"direct\" sensor=\"0\">/none</Cmd>"
            "</ScanProbe><ScanEngine><BENCH><DriverChannel>2</DriverChannel></BENCH></ScanEngine></Engine>\n");
        plat_set_root(root.c_str());
        sim_kernel_install();
        ok = ok && sim_i2c_bus_create(kRvBenchBus) == 0 && sim_i2c_add_device(kRvBenchBus, kRvBenchEngine, 1) == 0 &&
             register_device(PORT_KIND_I2C, kRvBenchChannel, kRvBenchBus) == 0;
        sim_i2c_set_device_hook(kRvBenchBus, kRvBenchEngine, [](uint8_t *, bool, const uint8_t *, uint16_t) {
            return false;
        });
        handle = dlopen(RV21_LIB, RTLD_NOW | RTLD_LOCAL);
        ok = ok && handle != nullptr && XMLInit() == 0;
        record.engineXml = ok ? XMLOpen("/system/usr/xml/engine.xml") : nullptr;
        auto probe = handle != nullptr ? reinterpret_cast<int (*)(ENGINE_RECORD *)>(dlsym(handle, "scanner_probe")) : nullptr;
        ok = ok && record.engineXml != nullptr && probe != nullptr && probe(&record) == 0;
        write_try = handle != nullptr
                        ? reinterpret_cast<int (*)(uint8_t, int, const uint8_t *, int)>(dlsym(handle, "i2c_write_try"))
                        : nullptr;
        ok = ok && write_try != nullptr;
    }
    ~Rv21Rig() {
        if (record.engineXml != nullptr) XMLClose(record.engineXml);
        if (handle != nullptr) dlclose(handle);
        while (unregister_device(0, -1) == 0) {
        }
        sim_kernel_remove();
        XmlLibFree();
        plat_set_root(nullptr);
        svc_sandbox::remove_root(root);
    }
    std::string root;
    bool ok = false;
    void *handle = nullptr;
    ENGINE_RECORD record{};
    int (*write_try)(uint8_t, int, const uint8_t *, int) = nullptr;
};

// The cross of a calibration frame: rows 238-242 and columns 400-404 bright.
std::vector<uint8_t> rv_cross_frame() {
    std::vector<uint8_t> f(static_cast<size_t>(kRvWidth) * kRvHeight, 16);
    for (int y = 0; y < kRvHeight; ++y)
        for (int x = 0; x < kRvWidth; ++x)
            if ((y >= 238 && y <= 242) || (x >= 400 && x <= 404)) f[static_cast<size_t>(y) * kRvWidth + x] = 240;
    return f;
}

void rv_ignore_report(uint8_t, void *, int *) {}

// Arg 0: the focus functions idle (the decode area only); 1: collecting for a calibration.
void BM_Rv21StepWork(benchmark::State &state) {
    Rv21Rig rig;
    if (!rig.ok || X3_Init() == 0) {
        state.SkipWithError("rig");
        return;
    }
    FOCUS_INIT init{1, kRvWidth, kRvHeight};
    X3_Set(X3_ID_FOCUS_INIT, reinterpret_cast<uintptr_t>(&init));
    const bool collecting = state.range(0) != 0;
    if (collecting) X3Focus_Oper(1, 10, rv_ignore_report, nullptr);
    std::vector<uint8_t> frame = rv_cross_frame();
    int area[4];
    int aux[2];
    for (auto _ : state) {
        X3Focus_Running(frame.data(), kRvWidth, kRvHeight, area, aux);
        X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(frame.data()));
        X3_Set(VEXO_ID_IMAGE_WIDTH, kRvWidth);
        X3_Set(VEXO_ID_IMAGE_HEIGHT, kRvHeight);
        benchmark::DoNotOptimize(area);
    }
    if (collecting) X3Focus_Oper(0, 10, rv_ignore_report, nullptr);
    X3_Free();
}
BENCHMARK(BM_Rv21StepWork)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A register write the engine refuses: RV21's ten attempts 50 ms apart.
void BM_Rv21WorstRegisterWrite(benchmark::State &state) {
    Rv21Rig rig;
    if (!rig.ok) {
        state.SkipWithError("rig");
        return;
    }
    const uint8_t value = 3;
    for (auto _ : state) benchmark::DoNotOptimize(rig.write_try(kRvBenchEngine, 0xFD, &value, 1));
}
BENCHMARK(BM_Rv21WorstRegisterWrite)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The LED write the engine refuses: ten echo attempts 10 ms apart.
void BM_Rv21WorstLedWrite(benchmark::State &state) {
    Rv21Rig rig;
    if (!rig.ok) {
        state.SkipWithError("rig");
        return;
    }
    const uint8_t value = 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(i2c_write_echo(kRvBenchChannel, kRvBenchEngine, 0xF4, &value, 1, 10, 10));
}
BENCHMARK(BM_Rv21WorstLedWrite)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
