// The camera driver skeleton's decode step over this host's camera library and a decoder
// that reads nothing: the cost of one frame without decoding (grab, Set, give back), the
// cost of one poll while no frame is ready, and the CPU the decode thread spends polling.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "camera_driver.h"
#include "common_atomic.h"
#include "framecam.h"
#include "plat.h"
#include "sandbox.h"

// The frame sizes and per-step settings of the PL7230 driver.
extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "BENCH",
    .defaultWidth = 1280,
    .defaultHeight = 960,
    .nullFrameCheck = true,
    .sizeEachStep = true,
};

namespace {

void copy_file_to(const char *from, const std::string &to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

// A root with the camera library at `rate` frames a second and the fake decoder; one
// record whose state holds the driver's private record.
struct Bench {
    explicit Bench(int rate) {
        root = svc_sandbox::make_root("camdrv_bench");
        svc_sandbox::write_device_file(root, "/system/lib64/.keep", "");
        symlink(FRAMECAM_LIB, (root + "/system/lib64/libframecam.so").c_str());
        copy_file_to(FAKE_DECODER_LIB, root + "/system/lib64/libvexo3.so");
        svc_sandbox::write_device_file(root, FRAMECAM_CONFIG_PATH, "rate=" + std::to_string(rate) + "\n");
        plat_set_root(root.c_str());
        X3_Init();
        record.Scantype = ENGINE_KIND_CAMERA;
        priv.width = 1280;
        priv.height = 960;
        priv.camera = cam_init(0, 0, 3, priv.width, priv.height, nullptr, nullptr);
        cam_open(priv.camera);
    }
    ~Bench() {
        cam_stream_stop(priv.camera);
        cam_rawframe_grab_free_all(priv.camera);
        cam_close(priv.camera);
        cam_deinit(priv.camera);
        X3_Free();
        plat_set_root(nullptr);
        svc_sandbox::remove_root(root);
    }
    std::string root;
    ENGINE_RECORD record{};
    CAMERA_PRIVATE priv{};
};

// One step per frame: the wait for the next frame is not timed.
void BM_StepPerFrame(benchmark::State &state) {
    Bench b(1000);
    COMMON_STATE cs{};
    cs.mScanMinImage = 1u << 30;
    cs.mPrivate = &b.priv;
    b.record.common = &cs;
    cam_stream_start(b.priv.camera);
    cam_ioctrl(b.priv.camera, FRAMECAM_IOCTRL_WAIT_FRAME, 2000, nullptr);
    int64_t misses = 0;
    for (auto _ : state) {
        state.PauseTiming();
        uint32_t before = common_load(cs.mScanCount);
        std::this_thread::sleep_for(std::chrono::microseconds(3000));
        state.ResumeTiming();
        camera_decode_step(&b.record);
        if (common_load(cs.mScanCount) == before) ++misses;
    }
    state.counters["missed"] = static_cast<double>(misses);
    b.record.common = nullptr;
}
BENCHMARK(BM_StepPerFrame)->Unit(benchmark::kMicrosecond)->Iterations(300);

// One poll of the ring while the stream is stopped.
void BM_StepEmptyPoll(benchmark::State &state) {
    Bench b(30);
    COMMON_STATE cs{};
    cs.mPrivate = &b.priv;
    b.record.common = &cs;
    for (auto _ : state) camera_decode_step(&b.record);
    b.record.common = nullptr;
}
BENCHMARK(BM_StepEmptyPoll);

COMMON_STATE *g_state_for_init = nullptr;
CAMERA_PRIVATE *g_priv_for_init = nullptr;
int attach_private(ENGINE_RECORD *record) {
    record->common->mPrivate = g_priv_for_init;
    g_state_for_init = record->common;
    return 0;
}

double process_cpu_seconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// The core's decode thread polling a stream of one frame a second for 200 ms: the CPU it
// used per second of waiting ("cores").
void BM_CyclePollCpu(benchmark::State &state) {
    Bench b(1);
    g_priv_for_init = &b.priv;
    common_scanner_init(&b.record, attach_private, camera_decode_step, nullptr, nullptr);
    b.record.common->mScanMinImage = 1u << 30;
    cam_stream_start(b.priv.camera);
    double cores = 0;
    for (auto _ : state) {
        common_scanner_start_decode(&b.record, [](int, DECODE_RESULT *, int) { return 0; }, nullptr, 0);
        double cpu0 = process_cpu_seconds();
        auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cores = (process_cpu_seconds() - cpu0) / wall;
        common_scanner_stop_decode(&b.record, 0);
        common_store(b.record.common->mScanCount, b.record.common->mScanMinImage);
    }
    state.counters["cores"] = cores;
    b.record.common->mPrivate = nullptr;
    common_scanner_deinit(&b.record, nullptr);
}
BENCHMARK(BM_CyclePollCpu)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
