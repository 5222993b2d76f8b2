/* libzptcamera_client: a camera process's part in the terminal's camera arbitration.
 *
 * The client connects over the message link (type 0, default socket) to the arbitration
 * service, asks who holds the camera, announces its own state, asks for a process to be
 * stopped and hands the service's notifications to its owner. A stream watchdog asks for
 * the platform camera daemon to be stopped when no frame resets it for about 2.5 s.
 * Every export but camera_client_init does nothing before the first camera_client_init. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZPTCAMERA_EXPORT __attribute__((visibility("default")))

#define CAMERA_NAME_SIZE 20
#define CAMERA_DAEMON_NAME "mm-qcamera-daem"

enum {
    CAMERA_CMD_GET_STATE = 1,
    CAMERA_CMD_SET_STATE = 2,
    CAMERA_CMD_STOP_PROCESS = 3,
    CAMERA_CMD_SERVICE_4 = 4,
    CAMERA_CMD_SERVICE_5 = 5,
};
enum { CAMERA_KIND_STOP = 1, CAMERA_KIND_STATE = 2 };
enum { CAMERA_NOTIFY_DAEMON_STOPPED = 1, CAMERA_NOTIFY_STALLED = 3, CAMERA_NOTIFY_SERVICE_5 = 4 };

/* The payload of camera commands, little-endian on the wire. */
typedef struct CAMERA_USER {
    uint32_t kind;
    uint32_t userId;
    uint32_t state;
    uint32_t pid;
    char name[CAMERA_NAME_SIZE];
} CAMERA_USER;

#ifdef __cplusplus
static_assert(sizeof(CAMERA_USER) == 36, "camera user is 36 bytes on the wire");
static_assert(offsetof(CAMERA_USER, userId) == 4 && offsetof(CAMERA_USER, state) == 8 &&
                  offsetof(CAMERA_USER, pid) == 12 && offsetof(CAMERA_USER, name) == 16,
              "camera user offsets");
#endif

typedef void (*camera_notify_callback)(int code, int a, int b);

/* The first call opens the link and starts the watchdog: 0, or -1 when the watchdog could
 * not start. Later calls do nothing and give the first call's result. */
ZPTCAMERA_EXPORT int camera_client_init(uint32_t userId);
/* 0 when the service names this process as the camera's holder, else -1. */
ZPTCAMERA_EXPORT int camera_get_state(void);
ZPTCAMERA_EXPORT int camera_set_state(uint32_t state, const char *name);
ZPTCAMERA_EXPORT void kill_task(const char *name);
ZPTCAMERA_EXPORT void camera_stream_start(void);
ZPTCAMERA_EXPORT void camera_stream_stop(void);
ZPTCAMERA_EXPORT void camera_stream_reset(void);
ZPTCAMERA_EXPORT void camera_stream_set_notify(camera_notify_callback callback);
ZPTCAMERA_EXPORT void camera_state_notify(int code, int a, int b);

#ifdef __cplusplus
}
#endif
