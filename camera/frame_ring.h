// The frame source's process-wide state and its ring of frame buffers.
#pragma once

#include <pthread.h>
#include <semaphore.h>
#include <stdint.h>

#include <atomic>

#include "framecam.h"
#include "framesource.h"

// One frame buffer. The flags are read and written under the frame lock only; the buffer
// belongs to the writer while `writing` is set and to a reader while `grabbed` is set.
struct FRAME_SLOT {
    uint8_t grabbed;
    uint8_t writing;
    uint8_t ready;
    uint64_t length;
    uint8_t *buffer;
};

inline constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

struct CAMERA_PARAM {
    void *library;
    FRAMECAM_INIT_FN lib_init;
    FRAMECAM_HANDLE_FN lib_deinit;
    FRAMECAM_HANDLE_FN lib_open;
    FRAMECAM_HANDLE_FN lib_close;
    FRAMECAM_HANDLE_FN lib_start;
    FRAMECAM_HANDLE_FN lib_stop;
    FRAMECAM_IOCTRL_FN lib_ioctrl;
    pthread_mutex_t camera_lock;  // mCameraState and the calls that change it
    uint32_t mCameraState;
    pthread_mutex_t frame_lock;  // the ring
    pthread_t notify_thread;
    sem_t notify_sem;
    std::atomic<uint32_t> notify_run;
    int64_t camera;
    void *user_data;                // under the camera lock
    CAM_NOTIFY_CALLBACK notify;     // under the camera lock
    std::atomic<uint32_t> notify_command;
    uint32_t width, height;
    uint32_t count;
    uint32_t current;  // slot lent by the last grab, kNoSlot when none
    uint32_t newest;   // slot filled last
    uint64_t slot_size;
    FRAME_SLOT *ring;
};

// Bytes of a slot for frames of width x height: (width x height + 2) x 2, computed in 64
// bits; false for a zero size or one a grab could not report (above INT32_MAX).
bool ring_slot_size(uint32_t width, uint32_t height, uint64_t *size);
// count slots of size bytes, flags 0; null when an allocation fails (nothing kept).
FRAME_SLOT *ring_create(uint32_t count, uint64_t size);
void ring_release(FRAME_SLOT *ring, uint32_t count);
// Replaces the ring's slots by ring (of the same count) and slot size, under the frame lock,
// when no slot is grabbed or being written: true; false leaves everything as it was. The
// slots given up (or ring, when refused) are released.
bool ring_replace(CAMERA_PARAM *p, FRAME_SLOT *ring, uint64_t size);

// The frame callback's work: stores one frame; -1 for null data, length 0 or a frame
// longer than a slot (dropped), else 0 (also when no slot is free: dropped).
int ring_store(CAMERA_PARAM *p, const uint8_t *data, uint64_t length);
int ring_grab(CAMERA_PARAM *p, uint8_t **buffer, int32_t *length);
void ring_give_back(CAMERA_PARAM *p);
void ring_give_back_all(CAMERA_PARAM *p);
