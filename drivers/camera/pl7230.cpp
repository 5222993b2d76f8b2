// The PL7230 camera engine driver: recognised by its platform's probe command, switched into
// and out of image capture by a two-message command on I2C address 0x5c.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "camera_driver.h"
#include "common_atomic.h"
#include "plat.h"
#include "zptlog.h"

namespace {

constexpr uint16_t kEngineAddress = 0x5c;
constexpr uint8_t kFirstLead = 0x55;
constexpr uint8_t kSecondLead = 0x59;
constexpr int kCommandGapMs = 50;

// One 3-byte write whose bytes add up to 0 mod 256, as one combined transfer.
void send_message(int fd, uint8_t lead, uint8_t command) {
    uint8_t bytes[3] = {lead, command, static_cast<uint8_t>(-(lead + command))};
    PLAT_I2C_MSG msg{kEngineAddress, 0, sizeof bytes, bytes, PLAT_I2C_TIMING};
    PLAT_I2C_RDWR_DATA data{&msg, 1};
    plat_kernel()->ioctl(fd, PLAT_I2C_RDWR, &data);
}

void scanner_send_cmd(uint8_t command) {
    CAM_LOG(LOG_LEVEL_DRIVER, "scanner_send_cmd PL7230 [%d] [%d]", g_camera_channel, command);
    PORT_DEVICE *port = i2c_open(g_camera_channel);
    if (port == nullptr || port->fd < 0) return;
    send_message(port->fd, kFirstLead, command);
    plat_sleep_ms(kCommandGapMs);
    send_message(port->fd, kSecondLead, command);
}

void scanner_close_camera(ENGINE_RECORD *record) {
    CAMERA_PRIVATE *p = camera_private(record);
    pthread_mutex_lock(&p->lock);
    scanner_send_cmd(0);
    cam_stream_stop(p->camera);
    cam_rawframe_grab_free_all(p->camera);
    p->frame = nullptr;
    pthread_mutex_unlock(&p->lock);
    CAM_LOG(LOG_LEVEL_DRIVER, "%s ======================[%s]", "scanner_close_camera", record->name);
}

void scanner_decode_open(ENGINE_RECORD *record) {
    COMMON_STATE *cs = record->common;
    CAMERA_PRIVATE *p = camera_private(record);
    if (p == nullptr || common_load(cs->mState) != COMMON_STATE_DECODING) return;
    pthread_mutex_lock(&p->lock);
    int result = -1;
    if (record->opened != 1) {
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera==========Error Power Off NowPid [%d]", getpid());
    } else {
        result = cam_open(p->camera);
        CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera========== [%d] NowPid [%d]", result, getpid());
        if (result != 0) {
            cam_close(p->camera);
            common_scanner_stop_oper(record, SCN_EVENT_FAIL);
            CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera= Open Error NowPid [%d]", getpid());
        } else {
            result = cam_stream_start(p->camera);
            if (result == 0) {
                // The ring keeps frames of an earlier cycle in the slots the camera does not
                // write while nobody reads: a cycle decodes only frames of its own time.
                cam_rawframe_grab_free_all(p->camera);
                scanner_send_cmd(1);
                pthread_mutex_unlock(&p->lock);
                CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera==========[%d]", 0);
                return;
            }
            CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera= Stream Error NowPid [%d]", getpid());
            cam_close(p->camera);
            common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        }
    }
    pthread_mutex_unlock(&p->lock);
    CAM_LOG(LOG_LEVEL_DRIVER, "PL7230 ==========open_camera==========[%d]", result);
}

void scanner_decode_close(ENGINE_RECORD *record) {
    if (record->opened)
        scanner_send_cmd(0);
    else
        CAM_LOG(LOG_LEVEL_DRIVER, "%s POWER HAS DOWN", "scanner_decode_close");
}

void power_during_setup(ENGINE_RECORD *record) { common_scanner_open(record); }

int prepare_decode_image(ENGINE_RECORD *record, const IMAGE_REQUEST *) { return common_scanner_open(record); }

bool pl7230_ioctrl(ENGINE_RECORD *record, int cmd, int, void *, int *result) {
    if (cmd != SCANNER_IOCTRL_LOWPOWER) return false;
    scanner_close_camera(record);
    CAM_LOG(LOG_LEVEL_DRIVER, "SCANNER_IOCTRL_LOWPOWER [%s] oper", record->name);
    *result = 0;
    return true;
}

int close_engine(ENGINE_RECORD *record) {
    scanner_close_camera(record);
    cam_close(camera_private(record)->camera);
    return common_scanner_close(record);
}

} // namespace

extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "PL7230",
    .defaultWidth = 1280,
    .defaultHeight = 960,
    .directionMax = 2,
    .onlyPlatform = "MT6735_TX52W_PL7230",
    .nullFrameCheck = true,
    .sizeEachStep = true,
    .platformLine = false,
    .syncAttribute = "name",
    .syncOnesForFlags = true,
    .logBusy = true,
    .decodeImageLine = "PL7230: Decode OK, data:(%d)(%s) ********************\n",
    .decodeImageLevel = LOG_LEVEL_CAMERA,
    .version = "V1.0",
    .afterI2cOpen = power_during_setup,
    .open = scanner_decode_open,
    .close = scanner_decode_close,
    .decodeImagePrepare = prepare_decode_image,
    .ioctrl = pl7230_ioctrl,
    .closeEngine = close_engine,
};
