// The TQ63 and TQ53 camera engine driver: the engine answers at 0x12 with its identification,
// version and boot loader, its sensor at 0x60 is under the exposure library, and a thread of
// the driver pulses the aimer once per grabbed frame.
#include <errno.h>
#include <semaphore.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "camera_driver.h"
#include "common_atomic.h"
#include "plat.h"
#include "zptlog.h"

#define TQ63_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint8_t kEngineAddress = 0x12;
constexpr uint8_t kSensorAddress = 0x60;
constexpr int kRegId = 0xF0;
constexpr int kRegVersion = 0xF1;
constexpr int kRegBootState = 0x00;
constexpr int kRegRunMode = 0xFD;
constexpr int kRegUpgradeDone = 0x20;
constexpr int kRegAimer = 124;
constexpr int kRegIllum = 125;
constexpr int kRegSensorReset = 126;
constexpr int kModelTq63 = 2;
constexpr int kModelTq53 = 3;
constexpr int kModelNone = 255;
constexpr int kLuxTarget = 128;
constexpr uint32_t kSettleFrames = 2;
constexpr uint32_t kBannerCapacity = 2048;

// The driver's additions to the private record.
struct Tq63State {
    uint32_t settleCount;   // frames still decoded without an exposure change
    THREAD_RECORD aimerThread;
    sem_t aimerSignal;      // one post per grabbed frame
    bool threadStarted;
};

Tq63State *tq63_state(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    return p == nullptr ? nullptr : static_cast<Tq63State *>(p->extra);
}

}  // namespace

TQ63_EXPORT int i2c_write_try(uint8_t slave, int reg, const uint8_t *bytes, int len) {
    int r = i2c_write(g_camera_channel, slave, reg, bytes, len, 1, 2);
    if (len > 64) plat_sleep_ms(100);
    return r;
}

TQ63_EXPORT int i2c_read_try(uint8_t slave, int reg, uint8_t *buffer, int len) {
    int r = i2c_read(g_camera_channel, slave, reg, buffer, len, 1, 2);
    if (len > 64) plat_sleep_ms(100);
    return r;
}

TQ63_EXPORT int TQ53_control_illum(ENGINE_RECORD *record, int on) {
    uint8_t value = on == 1 ? 0 : 1;
    CAM_LOG(LOG_LEVEL_DRIVER, "%s value:%d", "TQ53_control_illum", value);
    control_illum(record, on);
    return i2c_write(g_camera_channel, kEngineAddress, kRegIllum, &value, 1, 5, 10);
}

TQ63_EXPORT int TQ53_control_aimer(ENGINE_RECORD *record, int on) {
    uint8_t value = on == 1 ? 0 : 1;
    CAM_LOG(LOG_LEVEL_DRIVER, "%s value:%d", "TQ53_control_aimer", value);
    control_aimer(record, on);
    return i2c_write(g_camera_channel, kEngineAddress, kRegAimer, &value, 1, 5, 10);
}

TQ63_EXPORT int TQ53_cmos_reset(ENGINE_RECORD *, int on) {
    uint8_t value = on == 1 ? 1 : 0;
    return i2c_write(g_camera_channel, kEngineAddress, kRegSensorReset, &value, 1, 5, 10);
}

namespace {

void illum(ENGINE_RECORD *record, int on) {
    if (g_camera_model == kModelTq53)
        TQ53_control_illum(record, on);
    else
        control_illum(record, on);
}

void aimer(ENGINE_RECORD *record, int on) {
    if (g_camera_model == kModelTq53)
        TQ53_control_aimer(record, on);
    else
        control_aimer(record, on);
}

// The exposure library's sensor access: registers of 16-bit addresses.
int cmos_register_write(uint16_t reg, const uint8_t *bytes, int len) {
    return i2c_write_word(g_camera_channel, kSensorAddress, reg, bytes, len, 5, 10) == len ? 0 : -1;
}
int cmos_register_read(uint16_t reg, uint8_t *buffer, int len) {
    return i2c_read_word(g_camera_channel, kSensorAddress, reg, buffer, len, 5, 10);
}
void cmos_msleep(int ms) { plat_sleep_ms(ms); }

int tq63_probe(ENGINE_RECORD *record, const char *) {
    XML_NODE *engine = XMLFindCur(record->engineXml, nullptr, "ScanEngine");
    XML_NODE *platform = engine == nullptr ? nullptr : XMLFindCurOnce(record->engineXml, engine, g_camera_platform);
    g_camera_channel = camera_read_int(record->engineXml, platform, "DriverChannel");
    i2c_open(g_camera_channel);
    record->PowerChannel = camera_read_int(record->engineXml, platform, "PowerChannel");
    uint8_t id = 0;
    i2c_read_direct(g_camera_channel, kEngineAddress, kRegId, &id, 1);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s [%x]", "scanner_readid", id);
    if (id != 3 && id != 7) {
        g_camera_model = kModelNone;
        return -1;
    }
    g_camera_model = id == 3 ? kModelTq63 : kModelTq53;
    memset(record->name, 0, sizeof record->name);
    snprintf(record->name, sizeof record->name, "%s", "TQ63");
    return 0;
}

const char *tq63_name(ENGINE_RECORD *) {
    if (g_camera_model == kModelTq63) return "TQ63";
    if (g_camera_model == kModelTq53) return "TQ53";
    return nullptr;
}

void scanner_open_camera(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    pthread_mutex_lock(&p->lock);
    CAM_LOG(LOG_LEVEL_DRIVER, "[%s] %s ================== In", record->name, "scanner_open_camera");
    int r = cam_open(p->camera);
    CAM_LOG(LOG_LEVEL_DRIVER, "[%s] %s = [%d]", record->name, "scanner_open_camera", r);
    if (r != 0) {
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
    } else {
        int s = cam_stream_start(p->camera);
        CAM_LOG(LOG_LEVEL_DRIVER, "scanner_open_camera TQ63 ret [%x]", s);
        if (s != 0) {
            cam_close(p->camera);
            common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        }
    }
    pthread_mutex_unlock(&p->lock);
}

void scanner_close_camera(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    pthread_mutex_lock(&p->lock);
    if (record->opened == 1) {
        aimer(record, 0);
        illum(record, 0);
    } else {
        CAM_LOG(LOG_LEVEL_DRIVER, "%s POWER HAS DOWN", "scanner_close_camera");
    }
    cam_stream_stop(p->camera);
    cam_rawframe_grab_free_all(p->camera);
    p->frame = nullptr;
    ExposureDeInit();
    pthread_mutex_unlock(&p->lock);
}

void scanner_decode_open(ENGINE_RECORD *record) {
    Tq63State *x = tq63_state(record);
    if (x == nullptr) return;
    x->settleCount = kSettleFrames;
    illum(record, 1);
    if (common_load(record->common->mState) == COMMON_STATE_DECODING) scanner_open_camera(record);
    ExposureInit(cmos_register_write, cmos_register_read, cmos_msleep, 0);
}

void scanner_decode_close(ENGINE_RECORD *record) {
    if (record->opened) {
        illum(record, 0);
        aimer(record, 0);
    } else {
        CAM_LOG(LOG_LEVEL_DRIVER, "%s POWER HAS DOWN", "scanner_decode_close");
    }
}

// One aimer pulse per grabbed frame while a cycle runs; frames outside a cycle pulse nothing.
int aimer_pulse_thread(void *arg) {
    auto *record = static_cast<ENGINE_RECORD *>(arg);
    COMMON_STATE *cs = record->common;
    Tq63State *x = tq63_state(record);
    while (common_load(x->aimerThread.run) != 0) {
        while (sem_wait(&x->aimerSignal) != 0 && errno == EINTR) {
        }
        if (common_load(x->aimerThread.run) == 0) break;
        if (common_load(cs->mState) == COMMON_STATE_DECODING ||
            common_load(cs->mScanCount) < cs->mScanMinImage) {
            aimer(record, 1);
            plat_sleep_ms(10);
            aimer(record, 0);
            plat_sleep_ms(10);
        }
    }
    return 0;
}

void tq63_after_setup(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    auto *x = static_cast<Tq63State *>(calloc(1, sizeof(Tq63State)));
    if (x == nullptr) return;
    sem_init(&x->aimerSignal, 0, 0);
    p->extra = x;
    x->threadStarted = ThreadStart(&x->aimerThread, aimer_pulse_thread, record) == 0;
}

void tq63_before_cleanup(ENGINE_RECORD *record) {
    Tq63State *x = tq63_state(record);
    if (x == nullptr) return;
    if (x->threadStarted) {
        ThreadStop(&x->aimerThread, &x->aimerSignal);
        // ThreadStop gives up after 200 ms; a pulse may still run: the signal and the record
        // go only once the thread has left.
        while (common_load(x->aimerThread.running) != 0) {
            sem_post(&x->aimerSignal);
            plat_sleep_real(1);
        }
    }
    sem_destroy(&x->aimerSignal);
    camera_private(record)->extra = nullptr;
    free(x);
}

void tq63_after_grab(ENGINE_RECORD *record) {
    Tq63State *x = tq63_state(record);
    if (x != nullptr) sem_post(&x->aimerSignal);
}

void tq63_before_decode(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Tq63State *x = tq63_state(record);
    int lux = GetImageLux(p->frame, static_cast<int>(p->width), static_cast<int>(p->height));
    if (x == nullptr) return;
    if (x->settleCount > 0) {
        --x->settleCount;
        return;
    }
    ExposureAjust(kLuxTarget, lux, 0);
}

void tq63_after_open(ENGINE_RECORD *record) {
    illum(record, 0);
    aimer(record, 0);
}

int tq63_decode_image_prepare(ENGINE_RECORD *record, const IMAGE_REQUEST *) {
    scanner_open_camera(record);
    return 0;
}

int tq63_upgrade_steps(ENGINE_RECORD *record, UPGRADE_REQUEST *request) {
    if (request->FirmwareOper == 0) {
        uint8_t state[3] = {};
        int r = i2c_read_try(kEngineAddress, kRegBootState, state, 3);
        if (!(state[0] == 0xCE && state[1] == 0x50)) {
            uint8_t id[3] = {};
            r = i2c_read_try(kEngineAddress, kRegId, id, 3);
            CAM_LOG(LOG_LEVEL_DRIVER, "%s Read ID [%x] [%x] [%x]", "scanner_tq63_upgrade", id[0], id[1], id[2]);
            if (id[0] != 3 && id[0] != 7) {
                CAM_LOG(LOG_LEVEL_DRIVER, "TQ63 ID Error And TQ53 ID Error");
                return camera_early_result(r);
            }
            CAM_LOG(LOG_LEVEL_DRIVER, "Booting Bootloader");
            static constexpr uint8_t kBoot = 0xFF;
            if (i2c_write_try(kEngineAddress, kRegRunMode, &kBoot, 1) != 1) {
                CAM_LOG(LOG_LEVEL_DRIVER, "TQ63 TQ63_RUN_MODE Error");
                return -1;
            }
        }
        plat_sleep_ms(1000);
        memset(state, 0, sizeof state);
        r = i2c_read_try(kEngineAddress, kRegBootState, state, 3);
        if (!(state[0] == 0xCE && state[1] == 0x50)) {
            CAM_LOG(LOG_LEVEL_DRIVER, "TQ63 TQ63_LK_STATE Error");
            return camera_early_result(r);
        }
    }
    (void)record;
    return camera_upgrade_run(kEngineAddress, kRegUpgradeDone, request, i2c_write_try, i2c_read_try);
}

int tq63_upgrade(ENGINE_RECORD *record, UPGRADE_REQUEST *request) {
    if (request == nullptr || request->len == 0) return -1;
    control_2dpower(record, 0);
    control_2dpower(record, 1);
    record->powerLocked = 1;
    int r = tq63_upgrade_steps(record, request);
    record->powerLocked = 0;
    return r;
}

bool tq63_ioctrl(ENGINE_RECORD *record, int cmd, int, void *ptr, int *result) {
    switch (cmd) {
    case SCANNER_IOCTRL_UPGRADE:
        *result = tq63_upgrade(record, static_cast<UPGRADE_REQUEST *>(ptr));
        return true;
    case SCANNER_IOCTRL_LOWPOWER:
        scanner_close_camera(record);
        CAM_LOG(LOG_LEVEL_DRIVER, "SCANNER_IOCTRL_LOWPOWER [%s] oper", record->name);
        *result = 0;
        return true;
    default:
        if (cmd > 0xFF && cmd != SCANNER_IOCTRL_GET_SIZE && cmd != 0x201 && cmd != SCANNER_IOCTRL_DECODE_IMAGE)
            CAM_LOG(LOG_LEVEL_DRIVER, "TQ63 scanner_ioctrl [%x]", cmd);
        return false;
    }
}

int tq63_close_engine(ENGINE_RECORD *record) {
    scanner_close_camera(record);
    cam_close(camera_private(record)->camera);
    common_scanner_close(record);
    return 0;
}

// The decoder's banner without its first two characters, the engine's versions and the
// exposure library's, cut to the service's version field.
int tq63_version(ENGINE_RECORD *, char *out) {
    char *banner = static_cast<char *>(calloc(1, kBannerCapacity + 1));
    const char *exposure = GetVisionString();
    if (exposure == nullptr) exposure = "";
    int n;
    TEXT_DESC desc{sizeof(TEXT_DESC), kBannerCapacity, 0, 0, banner};
    int r = banner == nullptr ? 0 : X3_Get(VEXO_ID_BANNER, &desc);
    if (r <= 0) {
        n = snprintf(out, ENGINE_VERSION_SIZE, "Exposure:%s", exposure);
    } else {
        uint32_t length = desc.length < kBannerCapacity ? desc.length : kBannerCapacity;
        banner[length] = '\0';
        uint8_t version[2] = {};
        i2c_read_try(kEngineAddress, kRegVersion, version, 2);
        n = snprintf(out, ENGINE_VERSION_SIZE, "%s TQ63(SV-V%d HV-V%d)\nExposure:%s", length >= 2 ? banner + 2 : "",
                     HEXToBCD(version[1]), HEXToBCD(version[0]), exposure);
    }
    free(banner);
    if (n < 0) n = 0;
    if (n >= ENGINE_VERSION_SIZE) n = ENGINE_VERSION_SIZE - 1;
    CAM_LOG(LOG_LEVEL_DRIVER, "%s", out);
    return n;
}

}  // namespace

extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "TQ63",
    .probeProc = "scanner_tq63_probe",
    .directionMax = 1,
    .directProbe = true,
    .clearResultHead = true,
    .lowerMaxLine = "mLowerMax     [%d] ",
    .scanMinLine = "mScanMinImage [%d] ",
    .pixelsAfterInit = true,
    .dbOpenLine = "TQ63->db Open",
    .dbKeptLine = "TQ63->db Not NULL",
    .debugWithoutData = true,
    .decodeOkLine = "TQ63: Decode OK, data:(%d)(%s) ********************",
    .decodeImageLine = "TQ63: Decode OK, data:(%d)(%s) ********************",
    .decodeImageLevel = LOG_LEVEL_DRIVER,
    .probeAccept = tq63_probe,
    .setupName = tq63_name,
    .unknownBanner = "TQ63/TQ53?",
    .afterSetup = tq63_after_setup,
    .beforeCleanup = tq63_before_cleanup,
    .afterGrab = tq63_after_grab,
    .beforeDecode = tq63_before_decode,
    .versionText = tq63_version,
    .open = scanner_decode_open,
    .close = scanner_decode_close,
    .decodeImagePrepare = tq63_decode_image_prepare,
    .decodeImageFinish = scanner_close_camera,
    .afterOpen = tq63_after_open,
    .ioctrl = tq63_ioctrl,
    .closeEngine = tq63_close_engine,
};
