/* The platform camera library libframecam.so, as the frame source loads it: the types of
 * the seven functions it binds by name, and what this host's own build of the library adds
 * for tests (its control codes and files).
 *
 * Frames reach the frame callback as (data, length) pairs of width x height grey bytes on
 * the library's own thread; notifications reach the notify callback as a command number.
 * No frame callback runs after cam_stop or cam_deinit has returned. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Frame callback: (reserved, data, length); its result is not used by the library. */
typedef int (*FRAMECAM_FRAME_FN)(uint64_t reserved, const uint8_t *data, uint64_t length);
/* Notify callback: the command number. */
typedef int (*FRAMECAM_NOTIFY_FN)(uint32_t command);

/* cam_init (direction, format, width, height, frame, notify): a camera handle, 0 on failure. */
typedef int64_t (*FRAMECAM_INIT_FN)(uint32_t direction, uint32_t format, uint32_t width, uint32_t height,
                                    FRAMECAM_FRAME_FN frame, FRAMECAM_NOTIFY_FN notify);
/* cam_open, cam_close, cam_start, cam_stop, cam_deinit (handle): 0, or -1 on failure. */
typedef int (*FRAMECAM_HANDLE_FN)(int64_t handle);
/* cam_ioctrl (handle, cmd, arg, pointer): the control's result. */
typedef int (*FRAMECAM_IOCTRL_FN)(int64_t handle, int cmd, int arg, void *pointer);

/* ---- The host build ----
 *
 * Its controls sit below 0x100 like every camera library control, away from the codes the
 * drivers send themselves (0x22, 0x23, 0xf0-0xf2); any other code is journalled and
 * answers 0. */

/* Serves image n (arg; 1 = first line of the images list) or generated frames (arg 0)
 * from the next frame on: 0, or -1 for an index outside the list or an image that cannot
 * be read (the selection stays). */
#define FRAMECAM_IOCTRL_SELECT 0x70
/* Waits until a frame of the current selection has been delivered, at most arg
 * milliseconds: 0 (at once while the stream is stopped), -1 after the time-out. */
#define FRAMECAM_IOCTRL_WAIT_FRAME 0x71
/* Sends notification arg to the notify callback from the caller's thread: its result,
 * -1 without a callback. */
#define FRAMECAM_IOCTRL_NOTIFY 0x72
/* Makes the next cam_open (arg bit FRAMECAM_FAIL_OPEN) and/or the next cam_start (bit
 * FRAMECAM_FAIL_START) fail once: 0. */
#define FRAMECAM_IOCTRL_FAIL_NEXT 0x73
#define FRAMECAM_FAIL_OPEN 1
#define FRAMECAM_FAIL_START 2
/* Makes the next control that is none of these answer arg once (any other code answers 0
 * otherwise): 0. */
#define FRAMECAM_IOCTRL_ANSWER_NEXT 0x74
/* Makes the next control of code arg answer *(int *)pointer once, before any answer of
 * FRAMECAM_IOCTRL_ANSWER_NEXT: 0, -1 for a null pointer. */
#define FRAMECAM_IOCTRL_ANSWER_CODE 0x75
/* Stores the notify callback given to cam_init at pointer (a FRAMECAM_NOTIFY_FN *), so that
 * a test can send a notification as the library would, late: 0, -1 for a null pointer. */
#define FRAMECAM_IOCTRL_NOTIFY_FN 0x76

/* Settings, read at cam_init: "key=value" lines; "rate" frames a second (1 to 1000,
 * default 30), "background" grey value around a smaller image (0 to 255, default 255). */
#define FRAMECAM_CONFIG_PATH "/data/framecam/framecam.conf"
/* The images it can serve: one device path a line, PGM or PNG. An image larger than the
 * frame is scaled down to fit; each is placed centred on the background. */
#define FRAMECAM_IMAGES_PATH "/data/framecam/images.list"
/* Every call with its arguments, one line each, appended:
 *   cam_init <direction> <format> <width> <height> = <handle>
 *   cam_open|cam_close|cam_start|cam_stop|cam_deinit <handle>
 *   cam_ioctrl <handle> 0x<cmd> <arg> */
#define FRAMECAM_JOURNAL_PATH "/data/framecam/journal"

/* Generated frames: every byte is the frame's number (mod 256), and the first four bytes
 * hold the number (little-endian); numbers count from 1 per camera. */
#define FRAMECAM_STAMP_BYTES 4

/* The number of a generated frame (at least FRAMECAM_STAMP_BYTES long). */
static inline uint32_t framecam_frame_stamp(const uint8_t *frame) {
    return (uint32_t)frame[0] | (uint32_t)frame[1] << 8 | (uint32_t)frame[2] << 16 | (uint32_t)frame[3] << 24;
}

#ifdef __cplusplus
}
#endif
