// The common scanner core: per-engine decode-cycle state, the decode thread that runs a
// driver's open, step and close procedures and delivers events, the low-power thread,
// engine power by kind, and the debug-image switches.
#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

namespace {

constexpr int kLowPowerTickMs = 1000;
constexpr int kDeinitSettleMs = 200;
constexpr useconds_t kDeinitPollUs = 1000;

// Posts of the two semaphores are serialised so that the value read and the post
// cannot interleave with another poster: at most two wake-ups ever pend.
pthread_mutex_t g_post_lock = PTHREAD_MUTEX_INITIALIZER;

int common_post(sem_t *sem, bool low_power) {
    pthread_mutex_lock(&g_post_lock);
    int value = 0;
    int r = sem_getvalue(sem, &value);
    if (low_power)
        rt_log(LOG_LEVEL_DETAIL, "%s ==================post================ [%d] [%d]", "common_scanner_lowpower_post", r,
               value);
    else
        rt_log(LOG_LEVEL_DETAIL, "%s common_scanner_post ==================post================ [%d] [%d]",
               "common_scanner_post", r, value);
    int result = r;
    if (r == 0) result = value < 2 ? sem_post(sem) : 0;
    pthread_mutex_unlock(&g_post_lock);
    return result;
}

void sem_wait_intr(sem_t *sem) {
    while (sem_wait(sem) != 0 && errno == EINTR) {
    }
}

SCAN_EVENT_CALLBACK current_callback(COMMON_STATE *cs) { return common_callback(cs); }

void decode_open(ENGINE_RECORD *record, COMMON_STATE *cs) {
    if (cs->mOpenProc == nullptr) return;
    rt_log(LOG_LEVEL_OPER, "mOpenProc =========================");
    cs->mOpenProc(record);
    SCAN_EVENT_CALLBACK cb = current_callback(cs);
    if (common_load(cs->mEvent) == SCN_EVENT_OPEN_FAIL && cb != nullptr) {
        cb(SCN_EVENT_OPEN_FAIL, &cs->mResult, 0);
        pthread_mutex_lock(&cs->mLock);
        common_store(cs->mState, COMMON_STATE_IDLE);
        common_store(cs->mScanCount, cs->mScanMinImage);
        pthread_mutex_unlock(&cs->mLock);
    }
}

bool cycle_continues(COMMON_STATE *cs) {
    return common_load(cs->mState) == COMMON_STATE_DECODING || common_load(cs->mScanCount) < cs->mScanMinImage;
}

void decode_steps(ENGINE_RECORD *record, COMMON_STATE *cs) {
    while (cycle_continues(cs)) {
        if (cs->mDecodeProc != nullptr) cs->mDecodeProc(record);
        uint32_t event = common_load(cs->mEvent);
        SCAN_EVENT_CALLBACK cb = event != SCN_EVENT_NONE ? current_callback(cs) : nullptr;
        if (cb != nullptr) {
            cb(static_cast<int>(event), &cs->mResult, 0);
            common_store(cs->mScanCount, cs->mScanMinImage);
            if (event != SCN_EVENT_DELIVER_KEEP) break;
        }
        pthread_mutex_lock(&cs->mLock);
        bool done = common_load(cs->mScanCount) >= cs->mScanMinImage && common_load(cs->mState) == COMMON_STATE_IDLE;
        pthread_mutex_unlock(&cs->mLock);
        if (done) break;
    }
}

int decode_thread(void *arg) {
    ENGINE_RECORD *record = static_cast<ENGINE_RECORD *>(arg);
    COMMON_STATE *cs = record->common;
    while (common_load(cs->mDecodeThread.run) != 0) {
        sem_wait_intr(&cs->mDecodeSem);
        if (common_load(cs->mDecodeThread.run) == 0) break;
        pthread_mutex_lock(&cs->mLock);
        uint32_t state = common_load(cs->mState);
        pthread_mutex_unlock(&cs->mLock);
        if (state == COMMON_STATE_IDLE) continue;  // a stop, or a stale post
        if (record->Scantype == ENGINE_KIND_SERIAL) serial_clear(record->DriverChannel);
        decode_open(record, cs);
        decode_steps(record, cs);
        rt_log(LOG_LEVEL_OPER, "mCloseProc =========================");
        if (cs->mCloseProc != nullptr) cs->mCloseProc(record);
        common_post(&cs->mLowPowerSem, true);
    }
    rt_log(LOG_LEVEL_DETAIL, "%s ============ Exit", "common_scanner_decode_thread_func");
    return 0;
}

// One idle second under mLock; enters low power when the count reaches mLowerMax (true).
bool low_power_tick(ENGINE_RECORD *record, COMMON_STATE *cs) {
    bool entered = false;
    pthread_mutex_lock(&cs->mLock);
    if (common_load(cs->mState) == COMMON_STATE_IDLE) {
        cs->mIdleSeconds += 1;
        rt_log(LOG_LEVEL_OPER, "%s [%d] [%d]", "common_lowpower_thread_func", cs->mIdleSeconds, cs->mLowerMax);
        if (cs->mIdleSeconds >= cs->mLowerMax) {
            common_store(cs->mAwake, 0);
            if (record->scanner_ioctrl != nullptr) record->scanner_ioctrl(record, SCANNER_IOCTRL_LOWPOWER, 0, nullptr);
            rt_log(LOG_LEVEL_OPER, "SCANNER_IOCTRL_LOWPOWER=====================");
            entered = true;
        }
    }
    pthread_mutex_unlock(&cs->mLock);
    return entered;
}

int low_power_thread(void *arg) {
    ENGINE_RECORD *record = static_cast<ENGINE_RECORD *>(arg);
    COMMON_STATE *cs = record->common;
    THREAD_RECORD *self = &cs->mLowPowerThread;
    while (common_load(self->run) != 0) {
        sem_wait_intr(&cs->mLowPowerSem);
        if (common_load(self->run) == 0) break;
        rt_log(LOG_LEVEL_OPER, "SCANNER_IOCTRL_LOWPOWER=====================Running");
        pthread_mutex_lock(&cs->mLock);
        cs->mIdleSeconds = 0;
        uint32_t lower_max = cs->mLowerMax;
        pthread_mutex_unlock(&cs->mLock);
        if (lower_max == 0) continue;
        // Leaves on a stop of the thread too, so that deinit never waits out the count.
        while (common_load(cs->mAwake) != 0 && common_load(self->run) != 0) {
            plat_sleep_ms(kLowPowerTickMs);
            if (common_load(self->run) == 0) break;
            // Once in low power the count is spent: a cycle that starts meanwhile sets
            // mAwake again, and going on would enter low power one second after its end.
            if (low_power_tick(record, cs)) break;
        }
    }
    rt_log(LOG_LEVEL_DETAIL, "%s ============ Exit", "common_lowpower_thread_func");
    return 0;
}

void common_release(COMMON_STATE *cs, bool sync_made) {
    if (sync_made) {
        pthread_mutex_destroy(&cs->mLock);
        sem_destroy(&cs->mDecodeSem);
        sem_destroy(&cs->mLowPowerSem);
    }
    free(cs->mResult.data);
    free(cs);
}

COMMON_STATE *common_create() {
    COMMON_STATE *cs = static_cast<COMMON_STATE *>(calloc(1, sizeof(COMMON_STATE)));
    if (cs == nullptr) return nullptr;
    cs->mResult.capacity = DECODE_RESULT_CAPACITY;
    cs->mResult.data = static_cast<uint8_t *>(calloc(1, DECODE_RESULT_CAPACITY));
    if (cs->mResult.data == nullptr) {
        common_release(cs, false);
        return nullptr;
    }
    if (sem_init(&cs->mDecodeSem, 0, 0) != 0) {
        common_release(cs, false);
        return nullptr;
    }
    if (sem_init(&cs->mLowPowerSem, 0, 0) != 0) {
        sem_destroy(&cs->mDecodeSem);
        common_release(cs, false);
        return nullptr;
    }
    if (pthread_mutex_init(&cs->mLock, nullptr) != 0) {
        sem_destroy(&cs->mDecodeSem);
        sem_destroy(&cs->mLowPowerSem);
        common_release(cs, false);
        return nullptr;
    }
    return cs;
}

// Ends a running cycle as a stop does (the step loop leaves at its next check).
void common_end_cycle(COMMON_STATE *cs) {
    pthread_mutex_lock(&cs->mLock);
    common_store(cs->mScanCount, cs->mScanMinImage);
    common_store(cs->mState, COMMON_STATE_IDLE);
    pthread_mutex_unlock(&cs->mLock);
}

// Waits until both worker threads have left, waking them while they wait. A procedure
// still running on the decode thread is waited for: the state must outlive it.
void common_join_threads(COMMON_STATE *cs) {
    ThreadStop(&cs->mLowPowerThread, &cs->mLowPowerSem);
    ThreadStop(&cs->mDecodeThread, &cs->mDecodeSem);
    bool logged = false;
    while (common_load(cs->mLowPowerThread.running) != 0 || common_load(cs->mDecodeThread.running) != 0) {
        if (!logged) {
            rt_log(LOG_LEVEL_DETAIL, "%s waiting for threads [%u] [%u]", "common_scanner_deinit",
                   common_load(cs->mDecodeThread.running), common_load(cs->mLowPowerThread.running));
            logged = true;
        }
        usleep(kDeinitPollUs);
    }
}

void power_switch(ENGINE_RECORD *record, bool on) {
    if (record->Scantype == ENGINE_KIND_SERIAL) {
        int wake = on ? record->ScanWakeUp : (record->ScanWakeUp == 1 ? 0 : 1);
        control_wake(record->TrigChannel, wake);
        control_trig(record, 0);
        control_power(record, on ? 1 : 0);
    } else if (record->Scantype == ENGINE_KIND_CAMERA) {
        control_2dpower(record, on ? 1 : 0);
    }
}

}  // namespace

void common_power_off(ENGINE_RECORD *record) {
    if (record == nullptr || record->powerLocked == 1) return;
    power_switch(record, false);
    record->opened = 0;
    rt_log(LOG_LEVEL_OPER, "common_scanner_close=============power");
}

extern "C" int common_scanner_init(ENGINE_RECORD *record, COMMON_INIT_PROC init, COMMON_PROC decode, COMMON_PROC open,
                                   COMMON_PROC close) {
    if (record == nullptr) return -1;
    COMMON_STATE *cs = common_create();
    if (cs == nullptr) {
        rt_log(LOG_LEVEL_OPER, "%s no memory", "common_scanner_init");
        return -1;
    }
    cs->mDecodeProc = decode;
    cs->mOpenProc = open;
    cs->mCloseProc = close;
    record->common = cs;
    if (init != nullptr && init(record) < 0) {
        rt_log(LOG_LEVEL_OPER, "%s init procedure failed", "common_scanner_init");
        record->common = nullptr;
        common_release(cs, true);
        return -1;
    }
    ThreadStart(&cs->mLowPowerThread, low_power_thread, record);
    return ThreadStart(&cs->mDecodeThread, decode_thread, record);
}

extern "C" int common_scanner_deinit(ENGINE_RECORD *record, COMMON_PROC cleanup) {
    if (record == nullptr || record->common == nullptr) return -1;
    COMMON_STATE *cs = record->common;
    common_end_cycle(cs);
    common_join_threads(cs);
    plat_sleep_ms(kDeinitSettleMs);
    pthread_mutex_destroy(&cs->mLock);
    sem_destroy(&cs->mDecodeSem);
    sem_destroy(&cs->mLowPowerSem);
    free(cs->mResult.data);
    cs->mResult.data = nullptr;
    if (cleanup != nullptr) cleanup(record);
    decoder_wrapper_forget_beep(cs);
    free(cs);
    // Cleared before switching off: the power-off path must not reach the freed state.
    record->common = nullptr;
    common_power_off(record);
    return 0;
}

extern "C" int common_scanner_open(ENGINE_RECORD *record) {
    if (record == nullptr || record->common == nullptr) return -1;
    power_switch(record, true);
    record->opened = 1;
    rt_log(LOG_LEVEL_OPER, "common_scanner_open=============power");
    return 0;
}

extern "C" int common_scanner_close(ENGINE_RECORD *record) {
    if (record == nullptr || record->common == nullptr || record->powerLocked == 1) return -1;
    common_power_off(record);
    return 0;
}

extern "C" int common_scanner_start_decode(ENGINE_RECORD *record, SCAN_EVENT_CALLBACK callback, void *, int arg) {
    if (record == nullptr || record->common == nullptr) return -1;
    COMMON_STATE *cs = record->common;
    pthread_mutex_lock(&cs->mLock);
    // A cycle's reads would take the upgrade's replies away on the engine's line.
    if (upgrade_holds(record)) {
        rt_log(LOG_LEVEL_OPER, "%s refused: upgrade running", "common_scanner_start_decode");
        pthread_mutex_unlock(&cs->mLock);
        return -1;
    }
    uint32_t state = common_load(cs->mState);
    if (state != COMMON_STATE_IDLE && state != COMMON_STATE_DECODING) {
        common_store(cs->mScanCount, 0);
        rt_log(LOG_LEVEL_DETAIL, "%s again", "common_scanner_start_decode");
        pthread_mutex_unlock(&cs->mLock);
        return 0;
    }
    common_store(cs->mAwake, 1);
    cs->mIdleSeconds = 0;
    common_store(cs->mScanCount, 0);
    common_store(cs->mResult.len1, 0);
    common_store(cs->mEvent, SCN_EVENT_NONE);
    common_store(cs->mState, COMMON_STATE_DECODING);
    cs->mStartArg = arg;
    std::atomic_ref<SCAN_EVENT_CALLBACK>(cs->mCallback).store(callback, std::memory_order_release);
    rt_log(LOG_LEVEL_OPER, "%s oper", "common_scanner_start_decode");
    pthread_mutex_unlock(&cs->mLock);
    return common_post(&cs->mDecodeSem, false);
}

extern "C" int common_scanner_stop_decode(ENGINE_RECORD *record, int arg) {
    if (record == nullptr || record->common == nullptr) return -1;
    COMMON_STATE *cs = record->common;
    pthread_mutex_lock(&cs->mLock);
    cs->mStartArg = arg;
    if (common_load(cs->mState) == COMMON_STATE_DECODING) {
        rt_log(LOG_LEVEL_OPER, "%s oper", "common_scanner_stop_decode");
        common_store(cs->mScanCount, cs->mScanMinImage);
        common_store(cs->mState, COMMON_STATE_IDLE);
        pthread_mutex_unlock(&cs->mLock);
        return common_post(&cs->mDecodeSem, false);
    }
    rt_log(LOG_LEVEL_OPER, "%s has stop", "common_scanner_stop_decode");
    common_store(cs->mScanCount, cs->mScanMinImage);
    pthread_mutex_unlock(&cs->mLock);
    return 0;
}

extern "C" int common_scanner_stop_oper(ENGINE_RECORD *record, int event) {
    if (record == nullptr || record->common == nullptr) return -1;
    COMMON_STATE *cs = record->common;
    common_store(cs->mEvent, static_cast<uint32_t>(event));
    common_store(cs->mState, COMMON_STATE_IDLE);
    common_store(cs->mScanCount, cs->mScanMinImage);
    rt_log(LOG_LEVEL_OPER, "%s [%x]", "common_scanner_stop_oper", event);
    return 0;
}

extern "C" int common_scanner_debug_init(ENGINE_RECORD *record) {
    if (record == nullptr) return -1;
    record->debugEnable = 0;
    record->debugSaveImage = 0;
    record->debugSendImage = 0;
    record->debugImageCount = 0;
    return 0;
}

extern "C" int common_scanner_debug_ioctrl_proc(ENGINE_RECORD *record, int code, int value, void *) {
    if (record == nullptr) return -1;
    if (code == SCANNER_IOCTRL_SAVE_BMP) {
        record->debugSaveImage = static_cast<uint32_t>(value);
        rt_log(LOG_LEVEL_DETAIL, "SCANNER_IOCTRL_SAVE_BMP [%x]", value);
    } else if (code == SCANNER_IOCTRL_SEND_BMP) {
        record->debugSendImage = static_cast<uint32_t>(value);
        rt_log(LOG_LEVEL_DETAIL, "SCANNER_IOCTRL_SEND_BMP [%x]", value);
    }
    return 0;
}

extern "C" int common_scanner_debug_proc(ENGINE_RECORD *record, uint8_t **image, int width, int height,
                                         const uint8_t *trailer) {
    if (record == nullptr || image == nullptr || *image == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "%s Error", "common_scanner_debug_proc");
        return -1;
    }
    if (record->debugEnable == 0) return 0;
    int64_t pixels = static_cast<int64_t>(width) * height;
    // The pixels, and the trailer behind them, must be a count a send can carry.
    if (width <= 0 || height <= 0 || pixels > 0x7FFFFFFF - 16) {
        rt_log(LOG_LEVEL_DETAIL, "%s bad size [%d] [%d]", "common_scanner_debug_proc", width, height);
        return -1;
    }
    if (record->debugSaveImage != 0) {
        char path[64];
        snprintf(path, sizeof path, "/data/yuv/%u.bmp", record->debugImageCount);
        record->debugImageCount += 1;
        WriteBmp(path, *image, width, height);
    }
    if (record->debugSendImage == 0) return 0;
    int length = static_cast<int>(pixels);
    if (trailer != nullptr) {
        memcpy(*image + pixels, trailer, 16);
        length += 16;
    }
    return zpt_net_direct_send(SERVICE_CMD_DEBUG_IMAGE, *image, length);
}
