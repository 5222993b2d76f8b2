// The decode-cycle core with a recording driver: cycles, events and their thread, the
// post rule, low power counted on the recording sleep seam, deinit under running
// threads, worker threads and their Java VM functions.
#include <gtest/gtest.h>
#include <jni.h>
#include <semaphore.h>
#include <string.h>

#include <atomic>
#include <thread>

#include "engine_test.h"

namespace {

class CoreTest : public EngineTest {
  protected:
    void TearDown() override {
        if (record_.common != nullptr) common_scanner_deinit(&record_, nullptr);
        EngineTest::TearDown();
    }
    void init() {
        ASSERT_EQ(common_scanner_init(&record_, RecordingDriver::init, RecordingDriver::step, RecordingDriver::open,
                                      RecordingDriver::close),
                  0);
        ASSERT_NE(record_.common, nullptr);
    }
    COMMON_STATE *cs() { return record_.common; }
    int start() { return common_scanner_start_decode(&record_, RecordingDriver::event, nullptr, 0); }
    bool on_decode_thread(const DriverCall &c) { return pthread_equal(c.thread, cs()->mDecodeThread.thread) != 0; }
    bool on_low_power_thread(const DriverCall &c) { return pthread_equal(c.thread, cs()->mLowPowerThread.thread) != 0; }
    int decode_sem_value() {
        int v = -1;
        sem_getvalue(&cs()->mDecodeSem, &v);
        return v;
    }
    // 1000 ms waits recorded on the low-power thread, after sequence number from.
    int idle_ticks(uint64_t from = 0, uint64_t to = UINT64_MAX) {
        int n = 0;
        for (const SimWait &w : sim_sleep_waits())
            if (w.ms == 1000 && w.seq > from && w.seq < to && pthread_equal(w.thread, cs()->mLowPowerThread.thread)) ++n;
        return n;
    }

    // The serial kind would clear a UART first; the camera kind has nothing to switch here.
    ENGINE_RECORD record_ = make_record(ENGINE_KIND_CAMERA);
    RecordingDriver driver_;
};

struct CycleCase {
    const char *name;
    std::function<void(ENGINE_RECORD *)> on_open;
    std::function<void(ENGINE_RECORD *, int)> on_step;
    const char *sequence;
};

TEST_F(CoreTest, CyclesDeliverTheirEventOnceOnTheDecodeThreadThenClose) {
    const CycleCase cases[] = {
        {"third step reads a code", nullptr,
         [](ENGINE_RECORD *r, int n) {
             if (n != 3) return;
             memcpy(r->common->mResult.data, "ABC", 3);
             common_store(r->common->mResult.len1, 3);
             common_store(r->common->mEvent, SCN_EVENT_DATA);
         },
         "o s s s e1 c"},
        {"open failure", [](ENGINE_RECORD *r) { common_store(r->common->mEvent, SCN_EVENT_OPEN_FAIL); }, nullptr,
         "o e5 c"},
        {"open ends the cycle itself", [](ENGINE_RECORD *r) { common_scanner_stop_oper(r, SCN_EVENT_FAIL); }, nullptr,
         "o c"},
    };
    for (const CycleCase &c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDriver driver;
        driver.on_open = c.on_open;
        driver.on_step = c.on_step;
        FileTail log(service_log_file());
        init();
        ASSERT_EQ(start(), 0);
        ASSERT_TRUE(driver.wait_count('c', 1));
        // The close posts the low-power thread, which wakes and (mLowerMax 0) waits again.
        ASSERT_TRUE(eventually([&] { return log.contains("SCANNER_IOCTRL_LOWPOWER=====================Running"); }));
        EXPECT_EQ(driver.sequence(), c.sequence);
        for (const DriverCall &call : driver.calls()) {
            EXPECT_TRUE(on_decode_thread(call)) << call.what;
            if (call.what == 'e') {
                EXPECT_EQ(call.result, &cs()->mResult);
                EXPECT_EQ(call.reserved, 0);
            }
        }
        EXPECT_TRUE(log.contains("common_scanner_lowpower_post ==================post================ [0] [0]"));
        ASSERT_EQ(common_scanner_deinit(&record_, nullptr), 0);
        EXPECT_EQ(driver.sequence(), c.sequence) << "nothing ran after the close";
    }
}

TEST_F(CoreTest, EventSevenIsDeliveredAfterEveryStepUntilAStop) {
    driver_.on_step = [](ENGINE_RECORD *r, int) { common_store(r->common->mEvent, SCN_EVENT_DELIVER_KEEP); };
    init();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(driver_.wait_count('e', 5));
    EXPECT_EQ(common_scanner_stop_decode(&record_, 0), 0);
    ASSERT_TRUE(driver_.wait_count('c', 1));
    // o, then pairs of a step and its delivery, then the close.
    std::vector<DriverCall> calls = driver_.calls();
    ASSERT_GE(calls.size(), 12u);
    EXPECT_EQ(calls.front().what, 'o');
    EXPECT_EQ(calls.back().what, 'c');
    for (size_t i = 1; i + 1 < calls.size(); ++i) {
        EXPECT_EQ(calls[i].what, i % 2 == 1 ? 's' : 'e') << i;
        if (calls[i].what == 'e') {
            EXPECT_EQ(calls[i].value, 7);
        }
    }
    EXPECT_EQ(calls.size() % 2, 0u);
}

TEST_F(CoreTest, StopWhileIdleAnswersZeroAndSetsTheCountToTheLimit) {
    init();
    EXPECT_EQ(common_scanner_stop_decode(&record_, 9), 0);
    EXPECT_TRUE(logged("common_scanner_stop_decode has stop"));
    EXPECT_EQ(common_load(cs()->mScanCount), 5u);
    EXPECT_EQ(decode_sem_value(), 0);
    EXPECT_EQ(driver_.count('o'), 0);
}

TEST_F(CoreTest, StartWhileDecodingClearsCounterAndEvent) {
    driver_.on_step = [](ENGINE_RECORD *r, int n) {
        if (n != 1) return;
        common_store(r->common->mScanCount, 3);
        common_store(r->common->mEvent, SCN_EVENT_DELIVER_KEEP);
        RecordingDriver::current().wait_gate();
    };
    driver_.block_steps();
    init();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(driver_.wait_blocked());
    EXPECT_EQ(start(), 0);
    EXPECT_EQ(common_load(cs()->mScanCount), 0u);
    EXPECT_EQ(common_load(cs()->mEvent), 0u);
    EXPECT_EQ(common_load(cs()->mState), 2u);
    driver_.release_steps();
    ASSERT_TRUE(driver_.wait_count('s', 3));
    EXPECT_EQ(common_scanner_stop_decode(&record_, 0), 0);
    ASSERT_TRUE(driver_.wait_count('c', 1));
    EXPECT_EQ(driver_.count('e'), 0) << "the cleared event is not delivered";
}

TEST_F(CoreTest, StartsWhileBusyNeverPendMoreThanTwoWakeUps) {
    driver_.on_step = [](ENGINE_RECORD *, int n) {
        if (n == 1) RecordingDriver::current().wait_gate();
    };
    driver_.block_steps();
    init();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(driver_.wait_blocked());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(start(), 0) << i;
        EXPECT_LE(decode_sem_value(), 2) << i;
    }
    EXPECT_EQ(decode_sem_value(), 2);
    driver_.release_steps();
    EXPECT_EQ(common_scanner_stop_decode(&record_, 0), 0);
    ASSERT_TRUE(driver_.wait_count('c', 1));
    // The two pending wake-ups find the engine idle and run nothing.
    ASSERT_TRUE(eventually([&] { return decode_sem_value() == 0; }));
    EXPECT_EQ(driver_.count('o'), 1);
}

TEST_F(CoreTest, InitProcedureFailureLeavesNoStateAndNoThread) {
    driver_.init_result = -3;
    EXPECT_EQ(common_scanner_init(&record_, RecordingDriver::init, RecordingDriver::step, nullptr, nullptr), -1);
    EXPECT_EQ(record_.common, nullptr);
    EXPECT_EQ(common_scanner_start_decode(&record_, RecordingDriver::event, nullptr, 0), -1);
    EXPECT_EQ(common_scanner_stop_decode(nullptr, 0), -1);
    EXPECT_EQ(common_scanner_deinit(&record_, nullptr), -1);
}

TEST_F(CoreTest, DebugImagesAreSavedInTurnAndSentWithTheirTrailer) {
    ENGINE_RECORD r = make_record(ENGINE_KIND_CAMERA);
    r.debugImageCount = 7;
    ASSERT_EQ(common_scanner_debug_init(&r), 0);
    EXPECT_EQ(r.debugImageCount, 0u);
    make_dirs("/data/yuv");
    std::vector<uint8_t> frame(4 * 3 + 16, 0x11);
    uint8_t *image = frame.data();
    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, SCANNER_IOCTRL_SAVE_BMP, 1, nullptr), 0);
    EXPECT_EQ(common_scanner_debug_proc(&r, &image, 4, 3, nullptr), 0);
    EXPECT_FALSE(exists("/data/yuv/0.bmp")) << "nothing while debugEnable is 0";
    r.debugEnable = 1;
    EXPECT_EQ(common_scanner_debug_proc(&r, &image, 4, 3, nullptr), 0);
    EXPECT_EQ(common_scanner_debug_proc(&r, &image, 4, 3, nullptr), 0);
    EXPECT_EQ(read_file("/data/yuv/0.bmp").size(), RT_BMP_HEADER_SIZE + 12u);
    EXPECT_EQ(read_file("/data/yuv/1.bmp").size(), RT_BMP_HEADER_SIZE + 12u);
    EXPECT_EQ(r.debugImageCount, 2u);
    EXPECT_TRUE(logged("SCANNER_IOCTRL_SAVE_BMP [1]"));

    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, SCANNER_IOCTRL_SAVE_BMP, 0, nullptr), 0);
    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, SCANNER_IOCTRL_SEND_BMP, 1, nullptr), 0);
    uint8_t trailer[16];
    for (int i = 0; i < 16; ++i) trailer[i] = static_cast<uint8_t>(0xA0 + i);
    // No service socket yet: the send answers 0; the trailer still stands behind the pixels.
    EXPECT_EQ(common_scanner_debug_proc(&r, &image, 4, 3, trailer), 0);
    EXPECT_EQ(memcmp(frame.data() + 12, trailer, 16), 0);
    EXPECT_EQ(r.debugImageCount, 2u);
    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, 0x999, 5, nullptr), 0);

    EXPECT_EQ(common_scanner_debug_proc(&r, nullptr, 4, 3, nullptr), -1);
    EXPECT_TRUE(logged("common_scanner_debug_proc Error"));
    EXPECT_EQ(common_scanner_debug_proc(nullptr, &image, 4, 3, nullptr), -1);
}

// ---- Low power, the idle seconds counted on the recording sleep seam ----

class LowPowerTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        // Each idle second lasts 10 ms: a loop that must not count keeps ticking slowly.
        sim_sleep_install(100);
        record_.scanner_ioctrl = RecordingDriver::ioctrl;
    }
    // A cycle of a few steps ended by the Java side's stop: the sequence number before it.
    uint64_t cycle_with_stop(int closes) {
        EXPECT_EQ(start(), 0);
        EXPECT_TRUE(driver_.wait_count('s', driver_.count('s') + 2));
        uint64_t before = sim_next_sequence();
        EXPECT_EQ(common_scanner_stop_decode(&record_, 0), 0);
        EXPECT_TRUE(driver_.wait_count('c', closes));
        return before;
    }
};

TEST_F(LowPowerTest, AfterTheSecondIdleSecondTheDriverIsAskedOnceUnderTheLock) {
    driver_.lower_max = 2;
    init();
    uint64_t stop_seq = cycle_with_stop(1);
    ASSERT_TRUE(driver_.wait_count('l', 1));
    DriverCall l{};
    for (const DriverCall &c : driver_.calls())
        if (c.what == 'l') l = c;
    EXPECT_TRUE(on_low_power_thread(l));
    EXPECT_EQ(l.value, 1) << "mLock is held during the call";
    EXPECT_EQ(l.idle, 2u);
    EXPECT_EQ(l.state, 0u) << "never during a cycle";
    EXPECT_EQ(idle_ticks(stop_seq, l.seq), 2);
    EXPECT_EQ(idle_ticks(0, stop_seq), 0) << "counting starts after the stop";
    EXPECT_EQ(common_load(cs()->mAwake), 0u);
    EXPECT_TRUE(logged("common_lowpower_thread_func [2] [2]"));

    // A new cycle wakes the engine again and its stop leads to a second call.
    uint64_t second = cycle_with_stop(2);
    ASSERT_TRUE(driver_.wait_count('l', 2));
    EXPECT_EQ(idle_ticks(second), 2);
    EXPECT_EQ(driver_.count('l'), 2);
    for (const DriverCall &c : driver_.calls()) {
        if (c.what == 'l') {
            EXPECT_EQ(c.state, 0u);
        }
    }
}

TEST_F(LowPowerTest, ZeroIdleSecondsNeverEntersLowPower) {
    driver_.lower_max = 0;
    init();
    cycle_with_stop(1);
    ASSERT_TRUE(eventually([&] { return logged("SCANNER_IOCTRL_LOWPOWER=====================Running"); }));
    cycle_with_stop(2);
    plat_sleep_real(50);
    EXPECT_EQ(idle_ticks(), 0);
    EXPECT_EQ(driver_.count('l'), 0);
}

TEST_F(LowPowerTest, ACodeReadWithoutAStopDoesNotCountIdleSeconds) {
    driver_.lower_max = 2;
    driver_.on_step = [](ENGINE_RECORD *r, int n) {
        if (n == 2) common_store(r->common->mEvent, SCN_EVENT_DATA);
    };
    init();
    ASSERT_EQ(start(), 0);
    ASSERT_TRUE(driver_.wait_count('c', 1));
    // The state stays "decoding" until the Java side stops: the seconds pass uncounted.
    ASSERT_TRUE(eventually([&] { return idle_ticks() >= 5; }));
    EXPECT_EQ(driver_.count('l'), 0);
    pthread_mutex_lock(&cs()->mLock);
    EXPECT_EQ(cs()->mIdleSeconds, 0u);
    pthread_mutex_unlock(&cs()->mLock);
    // The stop lets the count run.
    EXPECT_EQ(common_scanner_stop_decode(&record_, 0), 0);
    ASSERT_TRUE(driver_.wait_count('l', 1));
    EXPECT_EQ(driver_.count('e'), 1);
}

// ---- Deinit while the threads are busy ----

TEST_F(LowPowerTest, DeinitWaitsForABlockedStepAndTheCountingThreadBeforeFreeing) {
    for (int locked : {0, 1}) {
        SCOPED_TRACE(locked);
        RecordingDriver driver;
        driver.lower_max = 3600;
        ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, "/sys/devices/scan2d/power"), 0);
        write_file("/sys/devices/scan2d/power", "");
        init();
        // First cycle and stop: the low-power thread counts its idle seconds.
        ASSERT_EQ(start(), 0);
        ASSERT_TRUE(driver.wait_count('s', 1));
        ASSERT_EQ(common_scanner_stop_decode(&record_, 0), 0);
        ASSERT_TRUE(driver.wait_count('c', 1));
        ASSERT_TRUE(eventually([&] { return idle_ticks() >= 3; }));
        // Second cycle: its step blocks until the test lets it go.
        int blocked_at = driver.count('s') + 1;
        driver.on_step = [blocked_at](ENGINE_RECORD *, int n) {
            if (n == blocked_at) RecordingDriver::current().wait_gate();
        };
        driver.block_steps();
        ASSERT_EQ(start(), 0);
        ASSERT_TRUE(driver.wait_blocked());
        record_.powerLocked = locked;
        sim_io_clear();
        FileTail log(service_log_file());
        std::atomic<bool> returned{false};
        std::thread deinit([&] {
            EXPECT_EQ(common_scanner_deinit(&record_, RecordingDriver::cleanup), 0);
            returned = true;
        });
        // Past both threads' stop bounds (200 ms each) the step still holds the state.
        ASSERT_TRUE(eventually([&] { return log.contains("common_scanner_deinit waiting for threads"); }));
        plat_sleep_real(50);
        EXPECT_FALSE(returned.load());
        driver.release_steps();
        deinit.join();
        EXPECT_EQ(record_.common, nullptr);
        EXPECT_EQ(driver.count('x'), 1);
        for (const DriverCall &c : driver.calls()) {
            if (c.what == 'x') {
                EXPECT_TRUE(c.common_set) << "cleanup runs before the state goes";
            }
        }
        EXPECT_EQ(driver.sequence().back(), 'c') << "the cycle ended with its close";
        EXPECT_TRUE(log.contains("common_scanner_decode_thread_func ============ Exit"));
        EXPECT_TRUE(log.contains("common_lowpower_thread_func ============ Exit"));
        EXPECT_EQ(driver.count('l'), 0);
        std::vector<std::string> off = sim_writes("/sys/devices/scan2d/power");
        EXPECT_EQ(off, locked == 1 ? std::vector<std::string>{} : std::vector<std::string>{"0"});
        EXPECT_EQ(record_.opened, 0);
        record_.powerLocked = 0;
        unregister_device(PORT_KIND_SWITCH2D, 0);
    }
}

// ---- Worker threads ----

struct Latch {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    bool entered = false;
};

int wait_on_latch(void *arg) {
    Latch *l = static_cast<Latch *>(arg);
    std::unique_lock<std::mutex> g(l->m);
    l->entered = true;
    l->cv.notify_all();
    l->cv.wait(g, [&] { return l->open; });
    return 0;
}

TEST_F(EngineTest, ThreadStopLeavesAThreadBlockedElsewhereRunning) {
    THREAD_RECORD tr{};
    Latch latch;
    sem_t sem;
    sem_init(&sem, 0, 0);
    ASSERT_EQ(ThreadStart(&tr, wait_on_latch, &latch), 0);
    {
        std::unique_lock<std::mutex> g(latch.m);
        ASSERT_TRUE(latch.cv.wait_for(g, kHangGuard, [&] { return latch.entered; }));
    }
    EXPECT_EQ(ThreadStop(&tr, &sem), 0);
    EXPECT_EQ(common_load(tr.run), 0u);
    EXPECT_EQ(common_load(tr.running), 1u);
    int posted = -1;
    sem_getvalue(&sem, &posted);
    EXPECT_EQ(posted, 1);
    {
        std::lock_guard<std::mutex> g(latch.m);
        latch.open = true;
        latch.cv.notify_all();
    }
    EXPECT_TRUE(eventually([&] { return common_load(tr.running) == 0; }));
    sem_destroy(&sem);
    EXPECT_EQ(ThreadStart(nullptr, wait_on_latch, nullptr), -1);
    EXPECT_EQ(ThreadStop(nullptr, nullptr), -1);
}

// A Java VM whose invocation table counts its calls.
struct FakeVm {
    static inline std::atomic<int> get_env{0}, attach{0}, detach{0};
    static inline jint get_env_result = JNI_OK;
    static inline jint attach_result = JNI_OK;
    static inline jint version = 0;
    static inline int env_token = 0;
    static jint GetEnv(JavaVM *, void **env, jint v) {
        ++get_env;
        version = v;
        *env = get_env_result == JNI_OK ? &env_token : nullptr;
        return get_env_result;
    }
    static jint AttachCurrentThread(JavaVM *, void **env, void *) {
        ++attach;
        *env = attach_result == JNI_OK ? &env_token : nullptr;
        return attach_result;
    }
    static jint DetachCurrentThread(JavaVM *) {
        ++detach;
        return JNI_OK;
    }
};

int do_nothing(void *) { return 0; }

TEST_F(EngineTest, ThreadsReachTheJavaVmThroughItsInvocationTable) {
    THREAD_RECORD tr{};
    ASSERT_EQ(ThreadStart(&tr, do_nothing, nullptr), 0);
    ASSERT_TRUE(eventually([&] { return common_load(tr.running) == 0; }));
    ASSERT_NE(tr.attach, nullptr);
    ASSERT_NE(tr.detach, nullptr);
    EXPECT_EQ(tr.attach(), nullptr) << "no VM stored";
    EXPECT_EQ(tr.detach(), -1);

    FakeVm::detach = 0;
    JNIInvokeInterface_ table{};
    table.GetEnv = FakeVm::GetEnv;
    table.AttachCurrentThread = FakeVm::AttachCurrentThread;
    table.DetachCurrentThread = FakeVm::DetachCurrentThread;
    JavaVM vm{&table};
    SetJavaVM(&vm);
    struct Case {
        jint get_env_result, attach_result;
        bool env;
        int get_env_calls, attach_calls;
    };
    const Case cases[] = {
        {JNI_OK, JNI_OK, true, 1, 0},        // already attached
        {JNI_EDETACHED, JNI_OK, true, 1, 1}, // attached now
        {JNI_EDETACHED, JNI_ERR, false, 1, 1},
    };
    for (const Case &c : cases) {
        FakeVm::get_env = 0;
        FakeVm::attach = 0;
        FakeVm::get_env_result = c.get_env_result;
        FakeVm::attach_result = c.attach_result;
        void *env = tr.attach();
        EXPECT_EQ(env != nullptr, c.env);
        if (c.env) {
            EXPECT_EQ(env, &FakeVm::env_token);
        }
        EXPECT_EQ(FakeVm::get_env.load(), c.get_env_calls);
        EXPECT_EQ(FakeVm::attach.load(), c.attach_calls);
        EXPECT_EQ(FakeVm::version, 0x10004);
    }
    EXPECT_EQ(tr.detach(), 1);
    EXPECT_EQ(FakeVm::detach.load(), 1);
    SetJavaVM(nullptr);
}

}  // namespace
