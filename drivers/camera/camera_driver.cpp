// The camera engine driver skeleton: probe, setup, the decode step and the exports.
#include "camera_driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "common_atomic.h"
#include "plat.h"
#include "zptlog.h"

#define CAMERA_EXPORT extern "C" __attribute__((visibility("default")))

int g_camera_channel = 0;
int g_camera_model = 0;
char g_camera_platform[CAMERA_PLATFORM_SIZE] = {};
int g_camera_stored = -1;

namespace {

constexpr char kStars[] = "***********************************************";
constexpr uint32_t kDecoderTextCapacity = 2048;
constexpr uint32_t kResultHead = 8;

bool path_exists(const char *path) {
    struct stat st;
    return plat_stat(path, &st) == 0;
}

// The command's path, or the first of its variants with a digit 1 to 5 appended.
bool platform_path_found(const char *path) {
    if (path == nullptr || path[0] == '\0') return false;
    if (path_exists(path)) return true;
    char variant[XML_LOOP_TEXT_MAX + 4];
    for (int digit = 1; digit <= 5; ++digit) {
        snprintf(variant, sizeof variant, "%s%d", path, digit);
        if (path_exists(variant)) return true;
    }
    return false;
}

// The platform name is a fixed field: a name that does not fit is refused, never cut.
bool set_platform(const char *name) {
    if (name == nullptr || strlen(name) >= CAMERA_PLATFORM_SIZE) return false;
    memset(g_camera_platform, 0, sizeof g_camera_platform);
    memcpy(g_camera_platform, name, strlen(name));
    return true;
}

XML_NODE *platform_node(XML_HANDLE *xml) {
    XML_NODE *engine = XMLFindCur(xml, nullptr, "ScanEngine");
    return engine == nullptr ? nullptr : XMLFindCurOnce(xml, engine, g_camera_platform);
}

int attribute_int(XML_NODE *node, const char *name, int absent) {
    char *text = XMLNodeGetContent(XMLGetAtter(node, name));
    if (text == nullptr) return absent;
    int value = text[0] == '\0' ? absent : atoi(text);
    free(text);
    return value;
}

bool attribute_is(XML_NODE *node, const char *name, const char *wanted) {
    char *text = XMLNodeGetContent(XMLGetAtter(node, name));
    if (text == nullptr) return false;
    bool same = strcmp(text, wanted) == 0;
    free(text);
    return same;
}

int probe_command(XML_NODE *node, char *name, char *path, void *arg) {
    auto *record = static_cast<ENGINE_RECORD *>(arg);
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    bool found = platform_path_found(path);
    if (found && !set_platform(name)) return -1;
    if (d.directProbe && attribute_is(node, "attr", "direct")) {
        if (!set_platform(name)) return -1;
        g_camera_model = attribute_int(node, "sensor", 255);
        g_camera_channel = camera_read_int(record->engineXml, platform_node(record->engineXml), "DriverChannel");
        i2c_open(g_camera_channel);
        CAM_LOG(LOG_LEVEL_DRIVER, "%s [%s] [%d] [%d] direct success 1.0", d.probeProc, g_camera_platform,
                g_camera_model, g_camera_channel);
        return 0;
    }
    if (!found) return -1;
    if (d.onlyPlatform != nullptr && strcmp(g_camera_platform, d.onlyPlatform) != 0) return -1;
    if (d.probeAccept != nullptr) return d.probeAccept(record, g_camera_platform);
    g_camera_channel = camera_read_int(record->engineXml, platform_node(record->engineXml), "DriverChannel");
    i2c_open(g_camera_channel);
    return 0;
}

void setup_decoder(ENGINE_RECORD *record, CAMERA_PRIVATE *p, COMMON_STATE *cs);

} // namespace

int camera_driver_setup(ENGINE_RECORD *record) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    COMMON_STATE *cs = record->common;
    auto *p = static_cast<CAMERA_PRIVATE *>(calloc(1, sizeof(CAMERA_PRIVATE)));
    if (p == nullptr) return -1;
    if (d.extraSize != 0) {
        p->extra = calloc(1, d.extraSize);
        if (p->extra == nullptr) {
            free(p);
            return -1;
        }
    }
    pthread_mutex_init(&p->lock, nullptr);
    cs->mPrivate = p;
    if (d.beforeSetup != nullptr) d.beforeSetup(record);
    XML_HANDLE *xml = record->engineXml;

    XML_NODE *platform = platform_node(xml);
    p->direction = static_cast<uint32_t>(camera_read_int(xml, platform, "ScanDirection"));
    if (p->direction > d.directionMax) p->direction = 1;
    g_camera_channel = camera_read_int(xml, platform, "DriverChannel");
    record->DriverChannel = g_camera_channel;
    record->PowerChannel = camera_read_int(xml, platform, "PowerChannel");
    cs->mScanMinImage = static_cast<uint32_t>(camera_read_int(xml, platform, "ScanMinImage")) + 1;

    i2c_open(record->DriverChannel);
    if (d.afterI2cOpen != nullptr) d.afterI2cOpen(record);

    CAM_LOG(LOG_LEVEL_DRIVER, "%s", kStars);
    const char *name = d.setupName != nullptr ? d.setupName(record) : d.engine;
    if (name == nullptr) {
        CAM_LOG(LOG_LEVEL_DRIVER, "*%*s%-*s*", 20, "", 25, d.unknownBanner != nullptr ? d.unknownBanner : "?");
    } else {
        CAM_LOG(LOG_LEVEL_DRIVER, "*%*s%-*s*", 20, "", 25, name);
        memset(record->name, 0, sizeof record->name);
        snprintf(record->name, sizeof record->name, "%s", name);
    }

    XML_NODE *devices = XMLFindCur(xml, nullptr, "Devices");
    XML_NODE *engine = devices == nullptr ? nullptr : XMLFindCurOnce(xml, devices, record->name);
    p->format = static_cast<uint32_t>(camera_read_int(xml, engine, "ScanFormat"));
    p->bufferCount = static_cast<uint32_t>(camera_read_int(xml, engine, "ScanBuffer"));
    p->width = static_cast<uint32_t>(camera_read_int(xml, engine, "Width"));
    p->height = static_cast<uint32_t>(camera_read_int(xml, engine, "Height"));
    if (p->width == 0) p->width = d.defaultWidth;
    if (p->height == 0) p->height = d.defaultHeight;
    cs->mLowerMax = static_cast<uint32_t>(camera_read_int(xml, engine, "SleepTime"));

    if (d.platformLine)
        CAM_LOG(LOG_LEVEL_DRIVER, "Platform      [%s] ",
                d.platformLogName != nullptr ? d.platformLogName(record) : g_camera_platform);
    CAM_LOG(LOG_LEVEL_DRIVER, "Width         [%d] ", p->width);
    CAM_LOG(LOG_LEVEL_DRIVER, "Height        [%d] ", p->height);
    CAM_LOG(LOG_LEVEL_DRIVER, "Format        [%d] ", p->format);
    CAM_LOG(LOG_LEVEL_DRIVER, "Direction     [%d] ", p->direction);
    CAM_LOG(LOG_LEVEL_DRIVER, "BufferCount   [%d] ", p->bufferCount);
    CAM_LOG(LOG_LEVEL_DRIVER, "DriverChannel [%d] ", record->DriverChannel);
    CAM_LOG(LOG_LEVEL_DRIVER, "PowerChannel  [%d] ", record->PowerChannel);
    CAM_LOG(LOG_LEVEL_DRIVER, d.lowerMaxLine, cs->mLowerMax);
    if (d.scanMinLine != nullptr) CAM_LOG(LOG_LEVEL_DRIVER, d.scanMinLine, cs->mScanMinImage);
    if (d.setupLines != nullptr) d.setupLines(record);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s", kStars);

    p->frameLength = p->width * p->height;
    p->frame = nullptr;
    p->camera = cam_init(p->direction, p->format, static_cast<int32_t>(p->bufferCount), p->width, p->height,
                         d.notify, record);

    setup_decoder(record, p, cs);
    if (d.afterSetup != nullptr) d.afterSetup(record);
    return 0;
}

namespace {

void setup_decoder(ENGINE_RECORD *record, CAMERA_PRIVATE *p, COMMON_STATE *cs) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    if (X3_Init() == 0) return;
    if (d.pixelsAfterInit) X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(p->frame));
    X3_Set(VEXO_ID_IMAGE_WIDTH, p->width);
    X3_Set(VEXO_ID_IMAGE_HEIGHT, p->height);
    X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(cs));
    if (d.afterDecoderInit != nullptr) d.afterDecoderInit(record);

    char *text = static_cast<char *>(calloc(1, kDecoderTextCapacity));
    if (text != nullptr) {
        TEXT_DESC desc{sizeof(TEXT_DESC), kDecoderTextCapacity - 1, 0, 0, text};
        X3_Get(VEXO_ID_BANNER, &desc);
        text[desc.length < kDecoderTextCapacity ? desc.length : kDecoderTextCapacity - 1] = '\0';
        CAM_LOG(LOG_LEVEL_DRIVER, "Version1 [%s]", text);
        memset(text, 0, kDecoderTextCapacity);
        desc.length = 0;
        X3_Get(VEXO_ID_VERSION_LIST, &desc);
        text[desc.length < kDecoderTextCapacity ? desc.length : kDecoderTextCapacity - 1] = '\0';
        CAM_LOG(LOG_LEVEL_DRIVER, "Version2 [%s]", text);
        free(text);
    }
    if (p->database == nullptr) {
        if (d.dbOpenLine != nullptr) CAM_LOG(LOG_LEVEL_DRIVER, "%s", d.dbOpenLine);
        p->database = OpenX3DecodeDB();
    } else if (d.dbKeptLine != nullptr) {
        CAM_LOG(LOG_LEVEL_DRIVER, "%s", d.dbKeptLine);
    }
}

} // namespace

void camera_decode_step(ENGINE_RECORD *record) {
    const CAMERA_DRIVER_DESC &d = g_camera_driver;
    COMMON_STATE *cs = record->common;
    auto *p = static_cast<CAMERA_PRIVATE *>(cs->mPrivate);
    if (p == nullptr) return;
    int32_t length = 0;
    if (cam_rawframe_grab(p->camera, &p->frame, &length) < 0) return;
    if (d.nullFrameCheck && p->frame == nullptr) {
        CAM_LOG(LOG_LEVEL_CAMERA, "Raw NULL =======================");
        cam_rawframe_grab_free(p->camera);
        return;
    }
    p->frameLength = static_cast<uint32_t>(length);
    if (d.afterGrab != nullptr) d.afterGrab(record);
    if (!d.debugWithoutData || common_load(cs->mEvent) != SCN_EVENT_DATA)
        common_scanner_debug_proc(record, &p->frame, static_cast<int>(p->width), static_cast<int>(p->height),
                                  d.debugExtra != nullptr ? d.debugExtra(record) : nullptr);
    if (d.beforeDecode != nullptr) d.beforeDecode(record);
    X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(p->frame));
    if (d.sizeEachStep) {
        X3_Set(VEXO_ID_IMAGE_WIDTH, p->width);
        X3_Set(VEXO_ID_IMAGE_HEIGHT, p->height);
    }
    if (X3_Decode() != 0) {
        DECODE_RESULT &r = cs->mResult;
        if (d.clearResultHead) memset(r.data, 0, r.capacity < kResultHead ? r.capacity : kResultHead);
        uint32_t n = camera_read_result(cs);
        if (d.decoded != nullptr) {
            d.decoded(record, n);
        } else {
            r.kind = 1;
            r.len2 = 0;
            if (d.decodeOkLine != nullptr)
                CAM_LOG(LOG_LEVEL_RESULT, d.decodeOkLine, n, reinterpret_cast<char *>(r.data));
            common_store(cs->mEvent, SCN_EVENT_DATA);
        }
    }
    cam_rawframe_grab_free(p->camera);
    p->frame = nullptr;
    uint32_t count = common_load(cs->mScanCount);
    if (count < cs->mScanMinImage) common_store(cs->mScanCount, count + 1);
}

void camera_driver_cleanup(ENGINE_RECORD *record) {
    auto *p = static_cast<CAMERA_PRIVATE *>(record->common->mPrivate);
    if (p == nullptr) return;
    // The core's threads have ended. The camera goes first: cam_deinit ends the frame
    // source's notification thread, whose callback reaches the record.
    cam_stream_stop(p->camera);
    cam_rawframe_grab_free_all(p->camera);
    cam_close(p->camera);
    cam_deinit(p->camera);
    if (g_camera_driver.beforeCleanup != nullptr) g_camera_driver.beforeCleanup(record);
    record->common->mPrivate = nullptr;
    if (g_camera_driver.extraSize != 0) free(p->extra);
    if (p->database != nullptr) SqliteClose(p->database);
    pthread_mutex_destroy(&p->lock);
    free(p);
}


uint32_t camera_read_result(COMMON_STATE *cs) {
    DECODE_RESULT &r = cs->mResult;
    // One byte stays free for the terminator.
    TEXT_DESC text{sizeof(TEXT_DESC), r.capacity - 1, 0, 0, reinterpret_cast<char *>(r.data)};
    X3_Get(VEXO_ID_RESULT_TEXT, &text);
    uint32_t n = text.length < r.capacity ? text.length : r.capacity - 1;
    r.data[n] = 0;
    uint32_t id = 0;
    X3_Get(g_camera_driver.codeIdProperty, &id);
    common_store(r.len1, n);
    r.codeId = id;
    return n;
}

int camera_upgrade_run(uint8_t address, int doneRegister, const UPGRADE_REQUEST *request,
                       UPGRADE_REG_WRITE write, UPGRADE_REG_READ read) {
    CAM_LOG(LOG_LEVEL_DRIVER, "============Upgrade Start============");
    Upgrade_Init(address, write, read, nullptr);
    int r = Upgrade_Running(static_cast<int>(request->FirmwareType), request->Buf, request->len);
    CAM_LOG(LOG_LEVEL_DRIVER, "============Upgrade End============[%d]", r);
    if (r == 0) {
        static constexpr uint8_t kDone = 0x00;
        write(address, doneRegister, &kDone, 1);
    }
    return r;
}

CAMERA_PRIVATE *camera_private(ENGINE_RECORD *record) {
    if (record == nullptr || record->common == nullptr) return nullptr;
    return static_cast<CAMERA_PRIVATE *>(record->common->mPrivate);
}

int camera_read_int(XML_HANDLE *xml, XML_NODE *parent, const char *name) {
    if (xml == nullptr || parent == nullptr) return 0;
    char text[32] = {};
    XMLReadString(xml, parent, name, nullptr, nullptr, text, sizeof text - 1);
    return atoi(text);
}

CAMERA_EXPORT int scanner_probe(ENGINE_RECORD *record) {
    if (record == nullptr) return -1;
    XMLInit();
    XML_NODE *probe = XMLFindCur(record->engineXml, nullptr, "ScanProbe");
    if (probe == nullptr) return -1;
    return XMLLoopReadAndProcess(record->engineXml, probe, "Cmd", "name", probe_command, record);
}

CAMERA_EXPORT int scanner_init(ENGINE_RECORD *record) {
    return common_scanner_init(record, camera_driver_setup, camera_decode_step, g_camera_driver.open,
                               g_camera_driver.close);
}

CAMERA_EXPORT int scanner_deinit(ENGINE_RECORD *record) {
    return common_scanner_deinit(record, camera_driver_cleanup);
}

CAMERA_EXPORT int scanner_open(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    if (p == nullptr) return -1;
    pthread_mutex_lock(&p->lock);
    int r = common_scanner_open(record);
    pthread_mutex_unlock(&p->lock);
    if (g_camera_driver.afterOpen != nullptr) g_camera_driver.afterOpen(record);
    return g_camera_driver.openCoreResult ? r : 0;
}

CAMERA_EXPORT int scanner_close(ENGINE_RECORD *record) {
    if (camera_private(record) == nullptr) return -1;
    return g_camera_driver.closeEngine(record);
}

CAMERA_EXPORT int scanner_start_decode(ENGINE_RECORD *record, SCAN_EVENT_CALLBACK callback, void *reserved,
                                       int arg) {
    return common_scanner_start_decode(record, callback, reserved, arg);
}

CAMERA_EXPORT int scanner_stop_decode(ENGINE_RECORD *record, int arg) {
    return common_scanner_stop_decode(record, arg);
}

CAMERA_EXPORT int scanner_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (camera_private(record) == nullptr) return -1;
    return camera_set(record, code, param, value);
}

CAMERA_EXPORT int scanner_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    if (record == nullptr || record->common == nullptr) return -1;
    return camera_get(record, code, param, out);
}

CAMERA_EXPORT int scanner_sync(ENGINE_RECORD *record, const char *code, const char *param) {
    if (camera_private(record) == nullptr) return -1;
    return camera_sync(record, code, param);
}

CAMERA_EXPORT int scanner_ioctrl(ENGINE_RECORD *record, int cmd, int arg, void *ptr) {
    if (camera_private(record) == nullptr) return -1;
    return camera_ioctrl(record, cmd, arg, ptr);
}

CAMERA_EXPORT int scanner_version(ENGINE_RECORD *record, char *out) {
    if (out == nullptr) return -1;
    if (g_camera_driver.versionText != nullptr) return g_camera_driver.versionText(record, out);
    return snprintf(out, ENGINE_VERSION_SIZE, "%s", g_camera_driver.version);
}
