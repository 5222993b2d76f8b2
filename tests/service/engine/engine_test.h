// Engine tests: the platform models installed (kernel seam with its journal, recording
// sleep seam), the runtime's process-wide state fresh, and a recording engine driver
// whose procedures note what ran, on which thread, in which order.
#pragma once

#include <pthread.h>
#include <stdio.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"
#include "service_log.h"
#include "sim.h"
#include "test_hooks.h"


class EngineTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        readercore_test_reset();
    }
    void TearDown() override {
        while (unregister_device(0, -1) == 0) {
        }
        sim_sleep_remove();
        sim_kernel_remove();
        readercore_test_reset();
        ServiceTest::TearDown();
    }
    // The recorded waits in milliseconds, optionally only those of one thread.
    static std::vector<int> waits_ms() {
        std::vector<int> out;
        for (const SimWait &w : sim_sleep_waits()) out.push_back(w.ms);
        return out;
    }
};

inline ENGINE_RECORD make_record(int kind) {
    ENGINE_RECORD r{};
    snprintf(r.name, sizeof r.name, "%s", kind == ENGINE_KIND_SERIAL ? "SER1" : "CAM1");
    r.Scantype = kind;
    r.ScanWakeUp = 1;
    r.DriverChannel = 1;
    r.PowerChannel = 0;
    r.TrigChannel = 0;
    return r;
}

// One thing the driver saw: 'o' open, 's' step, 'c' close, 'e' event callback (value:
// the event; result: the record handed over), 'l' the low-power ioctrl (value: 1 when
// mLock was held by the caller; idle: mIdleSeconds; state: mState), 'x' cleanup.
struct DriverCall {
    char what;
    int value;
    pthread_t thread;
    uint64_t seq;
    const void *result = nullptr;
    int reserved = 0;
    uint32_t idle = 0;
    uint32_t state = 0;
    bool common_set = false;
};

class RecordingDriver {
  public:
    RecordingDriver() { current_ = this; }
    ~RecordingDriver() { current_ = nullptr; }
    static RecordingDriver &current() { return *current_; }

    uint32_t scan_min = 5;
    uint32_t lower_max = 0;
    int init_result = 0;
    // Called from the open and step procedures (step: its number in the driver's life).
    std::function<void(ENGINE_RECORD *)> on_open;
    std::function<void(ENGINE_RECORD *, int)> on_step;

    void add(DriverCall call) {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back(call);
        cv_.notify_all();
    }
    std::vector<DriverCall> calls() {
        std::lock_guard<std::mutex> g(m_);
        return calls_;
    }
    int count(char what) {
        int n = 0;
        for (const DriverCall &c : calls())
            if (c.what == what) ++n;
        return n;
    }
    // The calls as a text: "o s s e1 c".
    std::string sequence() {
        std::string out;
        for (const DriverCall &c : calls()) {
            if (c.what == 'l' || c.what == 'x') continue;
            if (!out.empty()) out += ' ';
            out += c.what;
            if (c.what == 'e') out += std::to_string(c.value);
        }
        return out;
    }
    bool wait_count(char what, int n) {
        std::unique_lock<std::mutex> g(m_);
        return cv_.wait_for(g, kHangGuard, [&] {
            int k = 0;
            for (const DriverCall &c : calls_)
                if (c.what == what) ++k;
            return k >= n;
        });
    }

    // A latch the step procedure can wait on.
    void block_steps() {
        std::lock_guard<std::mutex> g(m_);
        gate_open_ = false;
    }
    void release_steps() {
        std::lock_guard<std::mutex> g(m_);
        gate_open_ = true;
        cv_.notify_all();
    }
    void wait_gate() {
        std::unique_lock<std::mutex> g(m_);
        blocked_ = true;
        cv_.notify_all();
        cv_.wait(g, [&] { return gate_open_; });
        blocked_ = false;
    }
    bool wait_blocked() {
        std::unique_lock<std::mutex> g(m_);
        return cv_.wait_for(g, kHangGuard, [&] { return blocked_; });
    }
    int steps = 0;  // written on the decode thread only

    // The procedures handed to the core.
    static int init(ENGINE_RECORD *r) {
        r->common->mScanMinImage = current().scan_min;
        r->common->mLowerMax = current().lower_max;
        return current().init_result;
    }
    static void open(ENGINE_RECORD *r) {
        current().add({'o', 0, pthread_self(), sim_next_sequence()});
        if (current().on_open) current().on_open(r);
    }
    static void step(ENGINE_RECORD *r) {
        COMMON_STATE *cs = r->common;
        if (common_load(cs->mScanCount) < cs->mScanMinImage) common_store(cs->mScanCount, common_load(cs->mScanCount) + 1);
        int n = ++current().steps;
        current().add({'s', n, pthread_self(), sim_next_sequence()});
        if (current().on_step) current().on_step(r, n);
    }
    static void close(ENGINE_RECORD *) { current().add({'c', 0, pthread_self(), sim_next_sequence()}); }
    static void cleanup(ENGINE_RECORD *r) {
        DriverCall c{'x', 0, pthread_self(), sim_next_sequence()};
        c.common_set = r->common != nullptr;
        current().add(c);
    }
    static int event(int ev, DECODE_RESULT *result, int reserved) {
        DriverCall c{'e', ev, pthread_self(), sim_next_sequence()};
        c.result = result;
        c.reserved = reserved;
        current().add(c);
        return 0;
    }
    static int ioctrl(ENGINE_RECORD *r, int code, int, void *) {
        if (code != SCANNER_IOCTRL_LOWPOWER) return -1;
        COMMON_STATE *cs = r->common;
        int busy = pthread_mutex_trylock(&cs->mLock);
        if (busy == 0) pthread_mutex_unlock(&cs->mLock);
        DriverCall c{'l', busy != 0 ? 1 : 0, pthread_self(), sim_next_sequence()};
        // Read while the caller holds mLock (the test fails on value 0 otherwise).
        c.idle = cs->mIdleSeconds;
        c.state = common_load(cs->mState);
        current().add(c);
        return 0;
    }

  private:
    static inline RecordingDriver *current_ = nullptr;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<DriverCall> calls_;
    bool gate_open_ = true;
    bool blocked_ = false;
};
