// The RV2X/RV1X camera engine driver (RV21, RV27, RV17, RV19): the engine answers at 0x12
// with its identification, work mode, LED, illumination, decode area, serial number,
// sensor data and boot loader; on some platforms a MIPI bridge follows the work mode.
// The decode area follows the aimer, a calibration stores it in the engine, and an engine
// that stops answering its LED writes is power-cycled.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "camera_driver.h"
#include "common_atomic.h"
#include "plat.h"
#include "zptlog.h"

#define RV21_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint8_t kEngineAddress = 0x12;
constexpr uint8_t kBridgeAddress = 0x0E;
constexpr int kRegId = 0xF0;
constexpr int kRegVersion = 0xF1;
constexpr int kRegLed = 0xF4;
constexpr int kRegIllum = 0xF5;
constexpr int kRegWorkMode = 0xFD;
constexpr int kRegMipiInit = 0xC8;
constexpr int kRegMipiOff = 0xC9;
constexpr int kRegSensorData = 0xCA;
constexpr int kRegArea = 0xCB;
constexpr int kRegSerial = 0x72;
constexpr int kRegBootState = 0x00;
constexpr int kRegUpgradeDone = 0x20;
constexpr int kModelRv21 = 0;
constexpr int kModelRv27 = 1;
constexpr int kModelRv17 = 8;
constexpr int kModelRv19 = 10;
constexpr int kModelNone = 255;
constexpr uint32_t kModeStandby = 2;
constexpr uint32_t kModeStreaming = 3;
constexpr int kPlatformWithControls = 1;
constexpr int kCamPower = 0x22;
constexpr int kCamCheck = 0x23;
constexpr uint16_t kFocusReport = 0x20F;
constexpr uint32_t kBannerCapacity = 2048;
constexpr int kVersionField = 30;
constexpr int kAreaBytes = 16;
constexpr int kSerialBytes = 32;

// The driver's additions to the private record. The flags are written by the decode
// thread, the notification thread and callers: every access is atomic (common_load/store).
struct Rv21State {
    uint32_t workMode;
    uint32_t resetDone;
    uint32_t scanIllum;
    uint32_t focusBusy;
    uint32_t mipiInit;
    FOCUS_INIT focus;      // {FocusType, width, height}
    int32_t focusValues[3]; // FocusHigh, FocusMiddle, FocusLow
    int32_t area[4];       // the step's decode area, the debug hook's extra
    int32_t aux[2];
};
static_assert(sizeof(int32_t[4]) == kAreaBytes, "the decode area is 16 bytes");

// Engine health, process-wide as the retry policy: consecutive failed LED writes, and
// the request for a power-cycle recovery.
uint32_t g_led_failures = 0;
uint32_t g_reset_needed = 0;

Rv21State *rv_state(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    return p == nullptr ? nullptr : static_cast<Rv21State *>(p->extra);
}

void health_ok() {
    common_store(g_led_failures, 0);
    common_store(g_reset_needed, 0);
}

// Attempts and the wait between them by model: RV21 is slow to answer.
void retry_policy(int *delay_ms, int *tries) {
    if (g_camera_model == kModelRv21) {
        *delay_ms = 50;
        *tries = 10;
    } else if (g_camera_model == kModelRv27) {
        *delay_ms = 1;
        *tries = 3;
    } else {
        *delay_ms = 0;
        *tries = 1;
    }
}

} // namespace

RV21_EXPORT int i2c_write_try(uint8_t slave, int reg, const uint8_t *bytes, int len) {
    int delay_ms = 0, tries = 1;
    retry_policy(&delay_ms, &tries);
    int r = i2c_write(g_camera_channel, slave, reg, bytes, len, delay_ms, tries);
    if (r > 0) health_ok();
    return r;
}

RV21_EXPORT int i2c_read_try(uint8_t slave, int reg, uint8_t *buffer, int len) {
    int delay_ms = 0, tries = 1;
    retry_policy(&delay_ms, &tries);
    int r = i2c_read(g_camera_channel, slave, reg, buffer, len, delay_ms, tries);
    if (r > 0) health_ok();
    return r;
}

RV21_EXPORT int RV2x_control_illum(ENGINE_RECORD *record, int on) {
    Rv21State *x = rv_state(record);
    if (x == nullptr) return -1;
    if (x->scanIllum == 0) {
        uint8_t value = common_load(x->focusBusy) != 0 ? 0 : static_cast<uint8_t>(on);
        return i2c_write_try(kEngineAddress, kRegIllum, &value, 1);
    }
    if (on < 1) return control_illum(record, 0);
    control_illum(record, 1);
    static constexpr uint8_t kOff = 0;
    return i2c_write_try(kEngineAddress, kRegIllum, &kOff, 1);
}

namespace {

int write_byte(int reg, uint8_t value) { return i2c_write_try(kEngineAddress, reg, &value, 1); }

uint8_t led_value(Rv21State *x, int mode) {
    if (mode != static_cast<int>(kModeStreaming)) return 0;
    return common_load(x->focusBusy) != 0 ? 3 : 2;
}

// The LED write verified by reading back; two failures in a row ask for a recovery.
void RV2x_write_led(uint8_t value) {
    if (i2c_write_echo(g_camera_channel, kEngineAddress, kRegLed, &value, 1, 10, 10) == 1) {
        health_ok();
    } else if (common_load(g_led_failures) >= 1) {
        common_store(g_led_failures, 0);
        common_store(g_reset_needed, 1);
    } else {
        common_store(g_led_failures, common_load(g_led_failures) + 1);
    }
}

void scanner_set_led(ENGINE_RECORD *record, int mode) {
    Rv21State *x = rv_state(record);
    RV2x_write_led(led_value(x, mode));
    if (g_camera_model == kModelRv21) plat_sleep_ms(50);
    if (common_load(g_reset_needed) == 0) RV2x_control_illum(record, mode == static_cast<int>(kModeStreaming) ? 1 : 0);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s [%s] [%x] Finish", "scanner_set_led", record->name, mode);
}

void scanner_set_workmode(ENGINE_RECORD *record, uint32_t mode) {
    Rv21State *x = rv_state(record);
    if (mode != common_load(x->workMode)) {
        common_store(x->workMode, mode);
        if (mode == kModeStreaming) {
            if (g_camera_model == kModelRv21) {
                int rounds = record->platformType == kPlatformWithControls ? 2 : 1;
                for (int i = 0; i < rounds; ++i) {
                    write_byte(kRegLed, led_value(x, static_cast<int>(kModeStreaming)));
                    plat_sleep_ms(100);
                    RV2x_control_illum(record, 1);
                }
            }
            write_byte(kRegWorkMode, static_cast<uint8_t>(kModeStreaming));
            plat_sleep_ms(100);
        } else {
            write_byte(kRegWorkMode, static_cast<uint8_t>(mode));
        }
        if (x->mipiInit != 1) {
            if (mode == kModeStreaming) {
                control_mipi(record->DriverChannel, 1);
            } else {
                write_byte(kRegMipiOff, 1);
                control_mipi(record->DriverChannel, 0);
            }
            CAM_LOG(LOG_LEVEL_DRIVER, "%s [%s] [%x]", "scanner_mipi_oper", record->name, mode);
        }
    }
    CAM_LOG(LOG_LEVEL_DRIVER, "%s [%x] Finish", "scanner_set_workmode", common_load(x->workMode));
}

void scanner_close_camera(ENGINE_RECORD *record, const char *reason) {
    CAMERA_PRIVATE *p = camera_private(record);
    pthread_mutex_lock(&p->lock);
    cam_stream_stop(p->camera);
    cam_close(p->camera);
    pthread_mutex_unlock(&p->lock);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s ======================[%s]", "scanner_close_camera", reason);
}

// The engine recovery: at most one power cycle until the next open callback.
int scanner_sensor_reset_oper(ENGINE_RECORD *record, const char *reason) {
    Rv21State *x = rv_state(record);
    common_store(g_reset_needed, 0);
    scanner_close_camera(record, "camera reset");
    if (common_load(x->resetDone) == 0) {
        control_2dpower(record, 0);
        control_2dpower(record, 1);
        common_store(x->workMode, kModeStandby);
        scanner_set_workmode(record, kModeStreaming);
        common_store(x->resetDone, 1);
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        if (reason != nullptr) CAM_LOG(LOG_LEVEL_DRIVER, "%s [%s]", "scanner_reset_rv2x", reason);
    }
    CAM_LOG(LOG_LEVEL_DRIVER, "%s [%s] [%s] Reset", "scanner_sensor_reset_oper", record->name, reason);
    return -1;
}

bool recovery_due(ENGINE_RECORD *record) {
    return common_load(g_reset_needed) != 0 && record->platformType == kPlatformWithControls;
}

void scanner_close_sensor(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    pthread_mutex_lock(&p->lock);
    if (record->opened == 1)
        scanner_set_led(record, static_cast<int>(kModeStandby));
    else
        CAM_LOG(LOG_LEVEL_DRIVER, "%s power is close\n", "scanner_close_sensor");
    pthread_mutex_unlock(&p->lock);
    if (recovery_due(record)) scanner_sensor_reset_oper(record, "Close Sensor");
    CAM_LOG(LOG_LEVEL_DRIVER, "%s ======================", "scanner_close_sensor");
}

void scanner_decode_open(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    if (p == nullptr || x == nullptr) return;
    if (common_load(x->resetDone) != 0) {
        plat_sleep_ms(500);
        common_store(x->resetDone, 0);
        CAM_LOG(LOG_LEVEL_DRIVER, "%s Reset Delay ", "scanner_decode_open");
    }
    pthread_mutex_lock(&p->lock);
    if (record->opened != 1) {
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        CAM_LOG(LOG_LEVEL_DRIVER, "Rv2X ==========rv2x_open_camera==========Error Power Off NowPid [%d]", getpid());
        pthread_mutex_unlock(&p->lock);
        return;
    }
    scanner_set_workmode(record, kModeStreaming);
    int r = cam_open(p->camera);
    CAM_LOG(LOG_LEVEL_DRIVER, "Rv2X ==========rv2x_open_camera========== [%d] NowPid [%d]", r, getpid());
    if (r != 0) {
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        CAM_LOG(LOG_LEVEL_DRIVER, "Rv2X ==========rv2x_open_camera= Open Error NowPid [%d]", getpid());
        pthread_mutex_unlock(&p->lock);
        return;
    }
    if (cam_stream_start(p->camera) != 0) {
        CAM_LOG(LOG_LEVEL_DRIVER, "Rv2X ==========rv2x_open_camera= Stream Error NowPid [%d]", getpid());
        cam_close(p->camera);
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        pthread_mutex_unlock(&p->lock);
        return;
    }
    pthread_mutex_unlock(&p->lock);
    // Another thread may have put the engine back to standby meanwhile.
    if (common_load(x->workMode) == kModeStandby) return;
    pthread_mutex_lock(&p->lock);
    if (record->opened == 0) {
        CAM_LOG(LOG_LEVEL_DRIVER, "%s power is close\n", "scanner_open_sensor");
        pthread_mutex_unlock(&p->lock);
        return;
    }
    if (record->platformType == kPlatformWithControls) {
        cam_ioctrl(p->camera, kCamPower, 1, nullptr);
        if (cam_ioctrl(p->camera, kCamCheck, 0, nullptr) != 0) {
            common_scanner_stop_oper(record, SCN_EVENT_FAIL);
            pthread_mutex_unlock(&p->lock);
            return;
        }
    }
    scanner_set_led(record, static_cast<int>(kModeStreaming));
    pthread_mutex_unlock(&p->lock);
    if (recovery_due(record)) scanner_sensor_reset_oper(record, "Open Sensor");
    CAM_LOG(LOG_LEVEL_DRIVER, "%s ======================", "scanner_open_sensor");
}

void scanner_set_focus(uint8_t status, void *argument, int *area);

void scanner_decode_close(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    if (p == nullptr || x == nullptr) return;
    X3Focus_Oper(0, 10, scanner_set_focus, record);
    common_store(x->focusBusy, 0);
    scanner_close_sensor(record);
    if (record->common->mLowerMax == 0) {
        pthread_mutex_lock(&p->lock);
        cam_stream_stop(p->camera);
        pthread_mutex_unlock(&p->lock);
        if (record->platformType == kPlatformWithControls) cam_ioctrl(p->camera, kCamPower, 0, nullptr);
        scanner_set_workmode(record, kModeStandby);
    }
    cam_rawframe_grab_free_all(p->camera);
    p->frame = nullptr;
}

// The calibration's end: the area goes to the decoder and into the engine; the service is
// told whether the engine stored it.
void scanner_set_focus(uint8_t status, void *argument, int *area) {
    auto *record = static_cast<ENGINE_RECORD *>(argument);
    uint8_t report = 1;
    if (status != 0 || record == nullptr || area == nullptr) {
        zpt_net_direct_send(kFocusReport, &report, 1);
        return;
    }
    X3_Set(VEXO_ID_ROI_RECORD, reinterpret_cast<uintptr_t>(area));
    CAM_LOG(LOG_LEVEL_DETAIL, "%s ", "scanner_set_focus");
    // The engine keeps {left, right, top, bottom}; the focus functions give {top, left, right, bottom}.
    const int32_t words[4] = {area[1], area[2], area[0], area[3]};
    bool stored = i2c_write_try(kEngineAddress, kRegArea, reinterpret_cast<const uint8_t *>(words), kAreaBytes) ==
                  kAreaBytes;
    if (stored) {
        plat_sleep_ms(100);
        int32_t back[4] = {};
        stored = i2c_read_try(kEngineAddress, kRegArea, reinterpret_cast<uint8_t *>(back), kAreaBytes) == kAreaBytes;
        if (stored) {
            CAM_LOG(LOG_LEVEL_OPER, "**********************%s**********************", "scanner_set_focus");
            for (int i = 0; i < 4 && stored; ++i) {
                stored = back[i] == words[i];
                if (stored) CAM_LOG(LOG_LEVEL_OPER, "Value[%d] = [%d]", i, back[i]);
            }
            CAM_LOG(LOG_LEVEL_OPER, "**********************%s**********************", "scanner_set_focus");
        }
    }
    Rv21State *x = rv_state(record);
    if (x != nullptr) common_store(x->focusBusy, 0);
    CAM_LOG(LOG_LEVEL_OPER, "X3 Focus End!");
    report = stored ? 0 : 1;
    zpt_net_direct_send(kFocusReport, &report, 1);
}

int scanner_nofity_proc(int code, int, void *user) {
    auto *record = static_cast<ENGINE_RECORD *>(user);
    if (record == nullptr) return -1;
    CAM_LOG(LOG_LEVEL_DRIVER, "scanner_nofity_proc [%d]", code);
    if (camera_private(record) == nullptr) return 0;
    if (code == 1) scanner_close_camera(record, "kill task");
    if (code == 2) scanner_close_camera(record, "task died");
    if (code == 3) scanner_close_camera(record, "socket close");
    return 0;
}

int rv21_probe(ENGINE_RECORD *record, const char *) {
    XML_NODE *engine = XMLFindCur(record->engineXml, nullptr, "ScanEngine");
    XML_NODE *platform = engine == nullptr ? nullptr : XMLFindCurOnce(record->engineXml, engine, g_camera_platform);
    g_camera_channel = camera_read_int(record->engineXml, platform, "DriverChannel");
    record->PowerChannel = camera_read_int(record->engineXml, platform, "PowerChannel");
    i2c_open(g_camera_channel);
    uint8_t id = 0;
    i2c_read_direct(g_camera_channel, kEngineAddress, kRegId, &id, 1);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s [%x]", "scanner_readid", id);
    switch (id) {
    case 1:
    case 0x80: g_camera_model = kModelRv21; break;
    case 2: g_camera_model = kModelRv27; break;
    case 8: g_camera_model = kModelRv17; break;
    case 10: g_camera_model = kModelRv19; return 0;
    default: g_camera_model = kModelNone; return -1;
    }
    memset(record->name, 0, sizeof record->name);
    snprintf(record->name, sizeof record->name, "%s", "RV21");
    return 0;
}

// The platform type from the probe's name, or (set by an engine switch) the name from the type.
void rv21_before_setup(ENGINE_RECORD *record) {
    Rv21State *x = rv_state(record);
    if (record->platformType == 0) {
        record->platformType = get_platform_type(g_camera_platform);
    } else {
        const char *name = get_platform_name(record->platformType);
        memset(g_camera_platform, 0, sizeof g_camera_platform);
        snprintf(g_camera_platform, sizeof g_camera_platform, "%s", name);
    }
    common_store(x->workMode, kModeStandby);
}

const char *rv21_platform_name(ENGINE_RECORD *record) { return get_platform_name(record->platformType); }

const char *rv21_name(ENGINE_RECORD *) {
    switch (g_camera_model) {
    case kModelRv21: return "RV21";
    case kModelRv27: return "RV27";
    case kModelRv17: return "RV17";
    case kModelRv19: return "RV19";
    default: return nullptr;
    }
}

XML_NODE *child_of(XML_HANDLE *xml, const char *top, const char *name) {
    XML_NODE *node = XMLFindCur(xml, nullptr, top);
    return node == nullptr ? nullptr : XMLFindCurOnce(xml, node, name);
}

void rv21_setup_lines(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    XML_HANDLE *xml = record->engineXml;
    x->scanIllum = static_cast<uint32_t>(camera_read_int(xml, child_of(xml, "ScanEngine", g_camera_platform), "ScanIllum"));
    XML_NODE *device = child_of(xml, "Devices", record->name);
    x->focus = FOCUS_INIT{static_cast<uint32_t>(camera_read_int(xml, device, "FocusType")), p->width, p->height};
    x->focusValues[0] = camera_read_int(xml, device, "FocusHigh");
    x->focusValues[1] = camera_read_int(xml, device, "FocusMiddle");
    x->focusValues[2] = camera_read_int(xml, device, "FocusLow");
    uint8_t bridge[2] = {};
    int r = i2c_read_word(record->DriverChannel, kBridgeAddress, 0x0000, bridge, 2, 1, 1);
    CAM_LOG(LOG_LEVEL_DETAIL, "%s [%d]  [%x]  [%x]", "scanner_mipi_state", r, bridge[0], bridge[1]);
    uint8_t mipi = 0;
    x->mipiInit = i2c_read_try(kEngineAddress, kRegMipiInit, &mipi, 1) == 1 ? mipi : 1;
    CAM_LOG(LOG_LEVEL_DRIVER, "MipiInit      [%d] ", x->mipiInit);
    CAM_LOG(LOG_LEVEL_DRIVER, "ScanIllum     [%d] ", x->scanIllum);
}

// The focus functions set up, and the decode area the engine stores handed to them.
void rv21_after_decoder_init(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    X3_Set(X3_ID_FOCUS_INIT, reinterpret_cast<uintptr_t>(&x->focus));
    X3_Set(X3_ID_FOCUS_VALUES, reinterpret_cast<uintptr_t>(x->focusValues));
    int32_t stored[4] = {}; // {left, right, top, bottom}
    if (i2c_read_try(kEngineAddress, kRegArea, reinterpret_cast<uint8_t *>(stored), kAreaBytes) != kAreaBytes) return;
    const int32_t width = static_cast<int32_t>(p->width);
    const int32_t height = static_cast<int32_t>(p->height);
    if (stored[0] == 0 && stored[1] == width) {
        CAM_LOG(LOG_LEVEL_OPER, "%s  [%d] [%d] [%d] [%d]", "scanner_get_focus", stored[0], stored[1], stored[2],
                stored[3]);
    } else {
        stored[0] = 0;
        stored[1] = width;
        stored[2] = height / 2;
        stored[3] = height / 2;
        CAM_LOG(LOG_LEVEL_OPER, "%s Default [%d] [%d] [%d] [%d]", "scanner_get_focus", stored[0], stored[1],
                stored[2], stored[3]);
    }
    const int area[4] = {stored[2], stored[0], stored[1], stored[3]};
    X3Focus_Set_Result(area);
}

void rv21_after_grab(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    X3Focus_Running(p->frame, static_cast<int>(p->width), static_cast<int>(p->height), x->area, x->aux);
}

const uint8_t *rv21_debug_extra(ENGINE_RECORD *record) {
    return reinterpret_cast<const uint8_t *>(rv_state(record)->area);
}

// A decoded frame: nothing is reported while a calibration runs; in lottery mode a joined
// result may be two codes, and the frame goes to the image server.
void rv21_decoded(ENGINE_RECORD *record, uint32_t n) {
    COMMON_STATE *cs = record->common;
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    if (common_load(x->focusBusy) != 0) return;
    DECODE_RESULT &r = cs->mResult;
    uint32_t lottery = 0;
    X3_Get(X3_ID_LOTTERY, &lottery);
    r.kind = 1;
    r.len2 = 0;
    if (lottery == 1) {
        uint32_t joined = 0;
        X3_Get(VEXO_ID_JOINED_COUNT, &joined);
        if (joined == 2) {
            int32_t first = 0, second = 0;
            int32_t kind = Decode_Is_TwoCode_From_Decoder(r.data, static_cast<int32_t>(n), &first, &second);
            if (kind == 2) {
                r.kind = 2;
                common_store(r.len1, static_cast<uint32_t>(first));
                r.len2 = static_cast<uint32_t>(second);
            }
        }
    }
    TEXT_DESC text{sizeof(TEXT_DESC), r.capacity, n, 0, reinterpret_cast<char *>(r.data)};
    LogResult(record, &text);
    common_store(cs->mEvent, SCN_EVENT_DATA);
    if (lottery == 1) {
        CAM_LOG(LOG_LEVEL_DETAIL, "TiCai 4G get image");
        socket_service_fill_buf(p->frame, p->width * p->height);
    }
}

// A supplied image: the engine powered and awake, the image shown to the focus functions.
// While a calibration runs the image only feeds it.
int rv21_decode_image_prepare(ENGINE_RECORD *record, const IMAGE_REQUEST *request) {
    Rv21State *x = rv_state(record);
    common_scanner_open(record);
    scanner_set_workmode(record, kModeStreaming);
    plat_sleep_ms(500);
    X3Focus_Running(request->image, static_cast<int>(request->width), static_cast<int>(request->height), x->area,
                    x->aux);
    return common_load(x->focusBusy) != 0 ? 1 : 0;
}

bool upgradable_id(uint8_t id) { return id == 1 || id == 2 || id == 8 || id == 10; }

int rv21_upgrade_steps(UPGRADE_REQUEST *request) {
    if (request->FirmwareOper == 0) {
        uint8_t state[3] = {};
        i2c_read_try(kEngineAddress, kRegBootState, state, 3);
        if (!(state[0] == 0xCE && state[1] == 0x50)) {
            uint8_t id[3] = {};
            int r = i2c_read_try(kEngineAddress, kRegId, id, 3);
            CAM_LOG(LOG_LEVEL_DRIVER, "%s Read ID [%x] [%x] [%x]", "scanner_rv2x_upgrade", id[0], id[1], id[2]);
            if (!upgradable_id(id[0])) return camera_early_result(r);
            if (write_byte(kRegWorkMode, 0xFF) != 1) return -1;
        }
        plat_sleep_ms(1000);
    }
    return camera_upgrade_run(kEngineAddress, kRegUpgradeDone, request, i2c_write_try, i2c_read_try);
}

int rv21_upgrade(ENGINE_RECORD *record, UPGRADE_REQUEST *request) {
    if (request == nullptr || request->len == 0) return -1;
    control_2dpower(record, 0);
    control_2dpower(record, 1);
    record->powerLocked = 1;
    int r = rv21_upgrade_steps(request);
    record->powerLocked = 0;
    return r;
}

// Engine data written, then read back after 100 ms: 0 when every byte came back as written.
int set_engine_data(int reg, const void *ptr, int len, const char *label) {
    if (ptr == nullptr) return -1;
    const auto *bytes = static_cast<const uint8_t *>(ptr);
    // The data need not end in a zero: at most its length is printed.
    CAM_LOG(LOG_LEVEL_DETAIL, "%s [%.*s]", label, len, reinterpret_cast<const char *>(bytes));
    if (i2c_write_try(kEngineAddress, reg, bytes, len) != len) return -1;
    plat_sleep_ms(100);
    uint8_t back[kSerialBytes] = {};
    if (i2c_read_try(kEngineAddress, reg, back, len) != len) return -1;
    CAM_LOG(LOG_LEVEL_DETAIL, "%s [%.*s] [%.*s]", label, len, reinterpret_cast<const char *>(bytes), len,
            reinterpret_cast<const char *>(back));
    return memcmp(back, bytes, static_cast<size_t>(len)) == 0 ? 0 : -1;
}

int get_engine_data(int reg, void *ptr, int len) {
    if (ptr == nullptr) return -1;
    return i2c_read_try(kEngineAddress, reg, static_cast<uint8_t *>(ptr), len) == len ? 0 : -1;
}

bool rv21_ioctrl(ENGINE_RECORD *record, int cmd, int arg, void *ptr, int *result) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    switch (cmd) {
    case SCANNER_IOCTRL_UPGRADE:
        *result = rv21_upgrade(record, static_cast<UPGRADE_REQUEST *>(ptr));
        return true;
    case SCANNER_IOCTRL_LOWPOWER:
        if (record->common->mLowerMax != 0) {
            scanner_close_camera(record, "low power");
            if (record->platformType == kPlatformWithControls) cam_ioctrl(p->camera, kCamPower, 0, nullptr);
            scanner_set_workmode(record, kModeStandby);
        }
        *result = 0;
        return true;
    case SCANNER_IOCTRL_SENSOR_ADJUST:
        if (arg == 1) common_store(x->focusBusy, 1);
        X3Focus_Oper(static_cast<uint8_t>(arg), 10, scanner_set_focus, record);
        *result = 0;
        return true;
    case SCANNER_IOCTRL_SET_SENSOR_SN:
        *result = set_engine_data(kRegSerial, ptr, kSerialBytes, "scanner_rv2x_set_sn");
        return true;
    case SCANNER_IOCTRL_GET_SENSOR_SN:
        *result = get_engine_data(kRegSerial, ptr, kSerialBytes);
        return true;
    case SCANNER_IOCTRL_SET_SENSOR_DATA:
        *result = set_engine_data(kRegSensorData, ptr, kAreaBytes, "scanner_rv2x_set_date");
        return true;
    case SCANNER_IOCTRL_GET_SENSOR_DATA:
        *result = get_engine_data(kRegSensorData, ptr, kAreaBytes);
        return true;
    case SCANNER_IOCTRL_SAVE_ADJUST:
        *result = set_engine_data(kRegArea, ptr, kAreaBytes, "scanner_rv2x_set_adjust");
        return true;
    default:
        return false;
    }
}

int rv21_close_engine(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    Rv21State *x = rv_state(record);
    scanner_close_sensor(record);
    if (record->platformType == kPlatformWithControls) cam_ioctrl(p->camera, kCamPower, 0, nullptr);
    scanner_close_camera(record, "jni oper");
    cam_close(p->camera);
    pthread_mutex_lock(&p->lock);
    int r = common_scanner_close(record);
    pthread_mutex_unlock(&p->lock);
    common_store(x->workMode, kModeStandby);
    return r;
}

// The decoder's banner without its first two characters, then the engine's version in a
// 30-character field padded with zero bytes, cut to the service's version field.
int rv21_version(ENGINE_RECORD *record, char *out) {
    char text[kBannerCapacity + kVersionField + 1] = {};
    TEXT_DESC desc{sizeof(TEXT_DESC), kBannerCapacity, 0, 0, text};
    int length = 0;
    if (X3_Get(VEXO_ID_BANNER, &desc) > 0 && desc.length >= 2) {
        length = static_cast<int>(desc.length < kBannerCapacity ? desc.length : kBannerCapacity) - 2;
        memmove(text, text + 2, static_cast<size_t>(length));
        memset(text + length, 0, sizeof text - static_cast<size_t>(length));
    } else {
        memset(text, 0, sizeof text);
    }
    char version[64] = {};
    if (g_camera_model == kModelRv21) {
        uint8_t id = 0;
        i2c_read_try(kEngineAddress, kRegId, &id, 1);
        if (id >= 0x80)
            snprintf(version, sizeof version, " RV2X-V%d", static_cast<uint8_t>(id - 0x76));
        else
            snprintf(version, sizeof version, " RV1X-V%d", static_cast<uint8_t>(id + 10));
    } else {
        uint8_t v[2] = {};
        i2c_read_try(kEngineAddress, kRegVersion, v, 2);
        snprintf(version, sizeof version, "\n%s_V%d.00.0%02d HV_V%d.%d.0", record != nullptr ? record->name : "Unknow",
                 HEXHigh(v[1]), HEXLow(v[1]), HEXHigh(v[0]), HEXLow(v[0]));
    }
    // The field keeps at most 29 characters and a zero byte.
    size_t used = strnlen(version, kVersionField - 1);
    memcpy(text + length, version, used);
    int n = length + kVersionField;
    if (n > ENGINE_VERSION_SIZE - 1) n = ENGINE_VERSION_SIZE - 1;
    memcpy(out, text, static_cast<size_t>(n));
    out[n] = '\0';
    CAM_LOG(LOG_LEVEL_DRIVER, "%s", out);
    return n;
}

}  // namespace

extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "RV21",
    .defaultWidth = 752,
    .defaultHeight = 480,
    .directionMax = 2,
    .directProbe = true,
    .codeIdProperty = VEXO_ID_RESULT_CODE_ID,
    .nullFrameCheck = true,
    .clearResultHead = true,
    .sizeEachStep = true,
    .settingLine = true,
    .logBusy = true,
    .decodeImageLine = "RV2X: Decode OK, data:(%d)(%s) ********************",
    .decodeImageLevel = LOG_LEVEL_RESULT,
    .notify = scanner_nofity_proc,
    .extraSize = sizeof(Rv21State),
    .openCoreResult = true,
    .probeAccept = rv21_probe,
    .beforeSetup = rv21_before_setup,
    .platformLogName = rv21_platform_name,
    .setupLines = rv21_setup_lines,
    .afterDecoderInit = rv21_after_decoder_init,
    .setupName = rv21_name,
    .unknownBanner = "RV??",
    .afterGrab = rv21_after_grab,
    .debugExtra = rv21_debug_extra,
    .decoded = rv21_decoded,
    .versionText = rv21_version,
    .open = scanner_decode_open,
    .close = scanner_decode_close,
    .decodeImagePrepare = rv21_decode_image_prepare,
    .ioctrl = rv21_ioctrl,
    .closeEngine = rv21_close_engine,
};
