// The decode-cycle core and the serial transport: how quickly a start reaches the
// driver's step and an event its callback, what the fixed waits cost with the real
// sleep, what the worker threads burn while idle, and the overhead of collecting a
// reply by silence on a pseudo-terminal.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"
#include "sim.h"

namespace {

int64_t now_ns() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void report(benchmark::State &state, std::vector<int64_t> samples, const char *unit_name) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters[std::string(unit_name) + "_median_us"] = samples[samples.size() / 2] / 1000.0;
    state.counters[std::string(unit_name) + "_p99_us"] = samples[samples.size() * 99 / 100] / 1000.0;
}

void spin_until(const std::atomic<int64_t> &stamp) {
    while (stamp.load(std::memory_order_acquire) == 0) {
    }
}

// A driver whose step stamps its time and ends the cycle, optionally with an event.
struct Bench {
    static inline std::atomic<int64_t> step_at{0}, callback_at{0};
    static inline std::atomic<int> closes{0};
    static inline uint32_t event = 0;
    static inline std::atomic<int> low_power_calls{0};
    static inline std::atomic<int64_t> low_power_at{0};
    static void step(ENGINE_RECORD *r) {
        step_at.store(now_ns(), std::memory_order_release);
        if (event != 0)
            common_store(r->common->mEvent, event);
        else
            common_scanner_stop_oper(r, 0);
    }
    static void close(ENGINE_RECORD *) { closes.fetch_add(1); }
    static int callback(int, DECODE_RESULT *, int) {
        callback_at.store(now_ns(), std::memory_order_release);
        return 0;
    }
    static int ioctrl(ENGINE_RECORD *, int code, int, void *) {
        if (code == SCANNER_IOCTRL_LOWPOWER) {
            low_power_at.store(now_ns(), std::memory_order_release);
            low_power_calls.fetch_add(1);
        }
        return 0;
    }
};

void wait_closes(int n) {
    while (Bench::closes.load() < n) usleep(50);
}

// A cycle whose steps deliver event 7 until the stop; returns once it has closed.
void cycle_until_stop(ENGINE_RECORD *r, int closes, int64_t *stop_at) {
    Bench::step_at = 0;
    common_scanner_start_decode(r, Bench::callback, nullptr, 0);
    spin_until(Bench::step_at);
    if (stop_at != nullptr) *stop_at = now_ns();
    common_scanner_stop_decode(r, 0);
    wait_closes(closes);
}

ENGINE_RECORD bench_record(uint32_t lower_max) {
    ENGINE_RECORD r{};
    r.Scantype = ENGINE_KIND_CAMERA;
    r.scanner_ioctrl = Bench::ioctrl;
    common_scanner_init(&r, nullptr, Bench::step, nullptr, Bench::close);
    r.common->mLowerMax = lower_max;
    return r;
}

// Arg 0: from a start to the first step (the step ends the cycle). Arg 1: from a step's
// event 1 to its callback on the decode thread.
void BM_CycleLatency(benchmark::State &state) {
    const bool to_callback = state.range(0) == 1;
    Bench::event = to_callback ? SCN_EVENT_DATA : 0;
    Bench::closes = 0;
    ENGINE_RECORD r = bench_record(0);
    std::vector<int64_t> samples;
    int cycles = 0;
    for (auto _ : state) {
        Bench::step_at = 0;
        Bench::callback_at = 0;
        int64_t t0 = now_ns();
        common_scanner_start_decode(&r, Bench::callback, nullptr, 0);
        spin_until(to_callback ? Bench::callback_at : Bench::step_at);
        samples.push_back(to_callback ? Bench::callback_at.load() - Bench::step_at.load() : Bench::step_at.load() - t0);
        wait_closes(++cycles);
        // Event 1 leaves the cycle "decoding" until the Java side's stop.
        if (to_callback) common_scanner_stop_decode(&r, 0);
    }
    report(state, samples, to_callback ? "event_to_callback" : "start_to_step");
    common_scanner_deinit(&r, nullptr);
    Bench::event = 0;
}
BENCHMARK(BM_CycleLatency)->Arg(0)->Arg(1)->Iterations(2000)->UseRealTime();

// Real sleep: two idle seconds after the stop, and the thread's tick around them.
void BM_StopToLowPower(benchmark::State &state) {
    Bench::event = SCN_EVENT_DELIVER_KEEP;
    Bench::closes = 0;
    Bench::low_power_calls = 0;
    ENGINE_RECORD r = bench_record(2);
    std::vector<int64_t> samples;
    int cycles = 0;
    for (auto _ : state) {
        int calls = Bench::low_power_calls.load();
        int64_t t0 = 0;
        cycle_until_stop(&r, ++cycles, &t0);
        while (Bench::low_power_calls.load() == calls) usleep(1000);
        samples.push_back(Bench::low_power_at.load() - t0);
    }
    state.counters["stop_to_lowpower_ms"] = samples.empty() ? 0 : samples[samples.size() / 2] / 1e6;
    common_scanner_deinit(&r, nullptr);
    Bench::event = 0;
}
BENCHMARK(BM_StopToLowPower)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

std::atomic<int> g_release{0};
int blocked(void *) {
    while (g_release.load() == 0) usleep(100);
    return 0;
}

void BM_ThreadStopBlocked(benchmark::State &state) {
    std::vector<int64_t> samples;
    for (auto _ : state) {
        THREAD_RECORD tr{};
        g_release = 0;
        ThreadStart(&tr, blocked, nullptr);
        int64_t t0 = now_ns();
        ThreadStop(&tr, nullptr);
        samples.push_back(now_ns() - t0);
        g_release = 1;
        while (common_load(tr.running) != 0) usleep(100);
    }
    state.counters["threadstop_ms"] = samples.empty() ? 0 : samples[samples.size() / 2] / 1e6;
}
BENCHMARK(BM_ThreadStopBlocked)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// CPU of the two worker threads over 10 idle seconds after a stop; the low-power thread
// counts towards an hour the whole time (the worst idle case). The main thread sleeps.
void BM_IdleWorkerCpu(benchmark::State &state) {
    Bench::event = SCN_EVENT_DELIVER_KEEP;
    Bench::closes = 0;
    ENGINE_RECORD r = bench_record(3600);
    for (auto _ : state) {
        cycle_until_stop(&r, 1, nullptr);
        struct timespec c0, c1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        sleep(10);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        state.counters["idle_cpu_ms_per_10s"] =
            ((c1.tv_sec - c0.tv_sec) * 1e9 + static_cast<double>(c1.tv_nsec - c0.tv_nsec)) / 1e6;
    }
    common_scanner_deinit(&r, nullptr);
    Bench::event = 0;
}
BENCHMARK(BM_IdleWorkerCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// One request and a one-burst reply at 115200 baud: the collection waits two empty
// gaps of 1 ms after the reply; the counter is what the exchange costs beyond them.
void BM_ReplyCollection115200(benchmark::State &state) {
    char root[] = "/tmp/bench-engine-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        state.SkipWithError("no temp dir");
        return;
    }
    plat_set_root(root);
    std::string dev = std::string(root) + "/dev";
    mkdir(dev.c_str(), 0755);
    SimPty pty;
    sim_pty_open(&pty, "/dev/ttyS1");
    register_device(PORT_KIND_UART, 1, "/dev/ttyS1");
    serial_open(1, 115200, 0);
    serial_speed(1, 115200);
    ENGINE_RECORD r{};
    r.Scantype = ENGINE_KIND_SERIAL;
    r.DriverChannel = 1;
    std::atomic<bool> stop{false};
    std::thread engine([&] {
        char buf[512];
        while (!stop.load())
            if (sim_pty_receive(&pty, buf, sizeof buf, 20) > 0) sim_pty_send(&pty, "\x06OK-REPLY", 9);
    });
    const uint8_t req[8] = {0x7E, 0, 1, 2, 3, 4, 5, 6};
    uint8_t reply[PACKET_REPLY_SIZE];
    std::vector<int64_t> samples;
    for (auto _ : state) {
        int64_t t0 = now_ns();
        int n = WritePacketDirect(&r, req, sizeof req, reply, 100, -1);
        samples.push_back(now_ns() - t0);
        benchmark::DoNotOptimize(n);
    }
    stop = true;
    engine.join();
    std::sort(samples.begin(), samples.end());
    if (!samples.empty()) {
        double median_ms = samples[samples.size() / 2] / 1e6;
        state.counters["exchange_median_ms"] = median_ms;
        state.counters["overhead_beyond_gaps_ms"] = median_ms - 2 * getBaydrateDelay();
    }
    unregister_device(PORT_KIND_UART, 1);
    sim_pty_close(&pty);
    plat_set_root(nullptr);
    std::string rm = std::string("rm -rf ") + root;
    if (system(rm.c_str()) != 0) state.SkipWithError("cleanup");
}
BENCHMARK(BM_ReplyCollection115200)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
