// The frame source on the per-frame path: the copy of each frame into the ring, how long
// the frame lock is held, what a grab costs, and which camera rates a consumer that holds
// each frame for 20 ms keeps up with (this host's camera library, generated frames).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framecam.h"
#include "framesource.h"
#include "plat.h"
#include "sandbox.h"
#include "stub_framecam.h"

namespace {

// A platform root with a camera library in its library folder, for one benchmark.
class Root {
  public:
    Root(const char *library, const std::string &settings) : dir_(svc_sandbox::make_root("bench-cam")) {
        plat_set_root(dir_.c_str());
        svc_sandbox::write_device_file(dir_, "/system/lib64/.keep", "");
        symlink(library, (dir_ + "/system/lib64/libframecam.so").c_str());
        svc_sandbox::write_device_file(dir_, FRAMECAM_CONFIG_PATH, settings);
    }
    ~Root() {
        plat_set_root(nullptr);
        svc_sandbox::remove_root(dir_);
    }
    std::string host(const char *device_path) const { return dir_ + device_path; }

  private:
    std::string dir_;
};

// The frame source over the stub library, whose frame callback the benchmark calls itself.
struct StubCamera {
    Root root{STUB_FRAMECAM_LIB, ""};
    int64_t handle = 0;
    void *stub = nullptr;
    FRAMECAM_FRAME_FN frame = nullptr;
    StubCamera(uint32_t width, uint32_t height) {
        handle = cam_init(0, 0, 3, width, height, nullptr, nullptr);
        stub = dlopen(root.host("/system/lib64/libframecam.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (stub == nullptr) return;
        auto state = reinterpret_cast<StubFramecamStateFn>(dlsym(stub, "stub_framecam_state"));
        frame = state != nullptr ? state()->frame : nullptr;
    }
    ~StubCamera() {
        cam_deinit(handle);
        if (stub != nullptr) dlclose(stub);
    }
};

// Frame callback per frame, nobody reading: the copy into slot 0 and two lock holds.
void BM_FrameCopy(benchmark::State &state) {
    const uint32_t width = static_cast<uint32_t>(state.range(0)), height = static_cast<uint32_t>(state.range(1));
    StubCamera camera(width, height);
    if (camera.frame == nullptr) return state.SkipWithError("stub camera library not loaded");
    std::vector<uint8_t> frame(size_t{width} * height, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(camera.frame(0, frame.data(), frame.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_FrameCopy)->Args({752, 480})->Args({1280, 960});

// A store of a one-byte frame is two holds of the frame lock around a copy of nothing:
// half its time is one hold.
void BM_FrameLockHoldPair(benchmark::State &state) {
    StubCamera camera(752, 480);
    if (camera.frame == nullptr) return state.SkipWithError("stub camera library not loaded");
    const uint8_t byte = 1;
    for (auto _ : state) benchmark::DoNotOptimize(camera.frame(0, &byte, 1));
}
BENCHMARK(BM_FrameLockHoldPair);

// Grab latency with a frame ready: a grab without giving back takes the newest slot again,
// one hold of the frame lock and the walk from the newest slot.
void BM_GrabReady(benchmark::State &state) {
    StubCamera camera(752, 480);
    if (camera.frame == nullptr) return state.SkipWithError("stub camera library not loaded");
    std::vector<uint8_t> frame(752 * 480, 0x11);
    camera.frame(0, frame.data(), frame.size());
    for (auto _ : state) {
        uint8_t *buffer = nullptr;
        int32_t length = 0;
        benchmark::DoNotOptimize(cam_rawframe_grab(camera.handle, &buffer, &length));
        benchmark::DoNotOptimize(buffer);
    }
    cam_rawframe_grab_free_all(camera.handle);
}
BENCHMARK(BM_GrabReady);

// Grab and give back while a writer thread stores 752 x 480 frames back to back: the cost
// of a grab call when it contends with the writer for the frame lock; "hits" is the share
// of calls that found a frame.
void BM_GrabGiveBackWhileStoring(benchmark::State &state) {
    StubCamera camera(752, 480);
    if (camera.frame == nullptr) return state.SkipWithError("stub camera library not loaded");
    std::vector<uint8_t> frame(752 * 480, 0x11);
    std::atomic<bool> run{true};
    std::thread writer([&] {
        while (run.load(std::memory_order_relaxed)) camera.frame(0, frame.data(), frame.size());
    });
    int64_t hits = 0;
    for (auto _ : state) {
        uint8_t *buffer = nullptr;
        int32_t length = 0;
        if (cam_rawframe_grab(camera.handle, &buffer, &length) == 0) {
            ++hits;
            cam_rawframe_grab_free(camera.handle);
        }
        benchmark::DoNotOptimize(buffer);
    }
    run = false;
    writer.join();
    state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GrabGiveBackWhileStoring);

// A camera at the given rate, a consumer that grabs, holds the frame 20 ms and gives it
// back, for 2 s. delivered/s is what the camera library managed; a rate is sustained
// when it matches the one asked for (the consumer necessarily sees at most 50 a second).
void BM_SustainedRate(benchmark::State &state) {
    const int rate = static_cast<int>(state.range(0));
    Root root(FRAMECAM_LIB, "rate=" + std::to_string(rate) + "\n");
    const int64_t handle = cam_init(0, 0, 3, 752, 480, nullptr, nullptr);
    if (handle == 0 || cam_open(handle) != 0) return state.SkipWithError("camera library not loaded");
    double seconds = 0;
    uint32_t first = 0, last = 0;
    int64_t grabs = 0;
    for (auto _ : state) {
        cam_stream_start(handle);
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            uint8_t *buffer = nullptr;
            int32_t length = 0;
            if (cam_rawframe_grab(handle, &buffer, &length) != 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            const uint32_t stamp = framecam_frame_stamp(buffer);
            if (grabs++ == 0) first = stamp;
            last = std::max(last, stamp);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            cam_rawframe_grab_free(handle);
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cam_stream_stop(handle);
        cam_rawframe_grab_free_all(handle);
    }
    cam_close(handle);
    cam_deinit(handle);
    state.counters["asked/s"] = rate;
    state.counters["delivered/s"] = (last - first) / seconds;
    state.counters["grabbed/s"] = static_cast<double>(grabs) / seconds;
}
BENCHMARK(BM_SustainedRate)->Arg(30)->Arg(60)->Arg(120)->Arg(240)->Arg(480)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
