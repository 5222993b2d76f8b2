/* libframesource: camera frames for the camera engine drivers.
 *
 * The platform camera library libframecam.so is loaded at run time; its thread copies every
 * delivered frame into a ring of buffers, and the decode thread takes the newest complete
 * frame, decodes it in place and gives it back. Open, close, start and stop of the stream
 * go to the camera library under one lock that also keeps the camera state. Notifications
 * of the camera library reach the driver's callback on a thread of this library.
 *
 * One camera per process: the first cam_init creates the state and the ring, cam_deinit
 * releases them. The handle arguments are the value cam_init returned; the grab functions
 * ignore theirs. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FRAMESOURCE_EXPORT __attribute__((visibility("default")))

/* The driver's notify callback: (command, 0, userData), on the notification thread. */
typedef int (*CAM_NOTIFY_CALLBACK)(int command, int arg, void *userData);

/* mCameraState bits. */
#define CAM_STATE_OPEN 0x1u
#define CAM_STATE_STREAMING 0x2u

/* A camera handle, 0 on failure. count <= 0, a frame size of 0 or a slot of
 * (width x height + 2) x 2 bytes beyond INT32_MAX gives 0 and creates nothing. The first
 * call creates the state with a ring of count such slots and the notification thread; a
 * later call keeps the ring's count, and rebuilds its slots for larger frames only while
 * the camera is closed and no slot is grabbed or being filled (else 0, nothing changed).
 * Every call (re)loads the camera library, gives a previous camera handle back to it, sets
 * the state to 0 and returns what the library's cam_init returns (0 without it). */
FRAMESOURCE_EXPORT int64_t cam_init(uint32_t direction, uint32_t format, int32_t count, uint32_t width,
                                    uint32_t height, CAM_NOTIFY_CALLBACK notify, void *userData);
/* Under the camera lock. Already open: 0; no library: -1; else the library's result (0 sets
 * the open bit). */
FRAMESOURCE_EXPORT int cam_open(int64_t handle);
/* Under the camera lock: not open 0, else cam_close_interface. */
FRAMESOURCE_EXPORT int cam_close(int64_t handle);
/* Without the lock: -1 without a state or library; else the library's result, state 0. */
FRAMESOURCE_EXPORT int cam_close_interface(int64_t handle);
/* Under the camera lock. Already streaming: 0; no library: -1; else the library's result
 * (0 sets the streaming bit). */
FRAMESOURCE_EXPORT int cam_stream_start(int64_t handle);
/* Under the camera lock: not streaming -1, else cam_stream_stop_interface. */
FRAMESOURCE_EXPORT int cam_stream_stop(int64_t handle);
/* Without the lock: -1 without a state or library; else the library's result, state 1. */
FRAMESOURCE_EXPORT int cam_stream_stop_interface(int64_t handle);
/* The camera library's cam_ioctrl with the same arguments; -1 without a state or library. */
FRAMESOURCE_EXPORT int cam_ioctrl(int64_t handle, int cmd, int arg, void *pointer);
/* mCameraState (0, 1 or 3); 0 without a state. */
FRAMESOURCE_EXPORT uint32_t cam_get_state(void);
/* Lends the newest complete frame: 0 with *buffer and *length set, -1 when none is ready
 * (or for a NULL out pointer). The buffer stays the caller's until given back. */
FRAMESOURCE_EXPORT int cam_rawframe_grab(int64_t handle, uint8_t **buffer, int32_t *length);
/* Gives the frame of the last grab back: 0, -1 without a state. */
FRAMESOURCE_EXPORT int cam_rawframe_grab_free(int64_t handle);
/* Empties the whole ring (every frame lent is taken back): 0, -1 without a state. */
FRAMESOURCE_EXPORT int cam_rawframe_grab_free_all(int64_t handle);
/* The library's cam_deinit, then the notification thread is stopped and joined and the
 * ring, the locks and the state are released: 0. */
FRAMESOURCE_EXPORT int cam_deinit(int64_t handle);

#ifdef __cplusplus
}
#endif
