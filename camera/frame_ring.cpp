#include "frame_ring.h"

#include <stdlib.h>
#include <string.h>

#include "rt_log.h"

bool ring_slot_size(uint32_t width, uint32_t height, uint64_t *size) {
    const uint64_t pixels = uint64_t{width} * height;
    // The grab reports a slot's length as s32: no slot may be larger.
    constexpr uint64_t kMaxPixels = (uint64_t{INT32_MAX} / 2) - 2;
    if (pixels == 0 || pixels > kMaxPixels) return false;
    *size = (pixels + 2) * 2;
    return true;
}

FRAME_SLOT *ring_create(uint32_t count, uint64_t size) {
    FRAME_SLOT *ring = static_cast<FRAME_SLOT *>(calloc(count, sizeof(FRAME_SLOT)));
    if (ring == nullptr) return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        ring[i].buffer = static_cast<uint8_t *>(malloc(static_cast<size_t>(size)));
        if (ring[i].buffer == nullptr) {
            ring_release(ring, count);
            return nullptr;
        }
    }
    return ring;
}

void ring_release(FRAME_SLOT *ring, uint32_t count) {
    if (ring == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) free(ring[i].buffer);
    free(ring);
}

bool ring_replace(CAMERA_PARAM *p, FRAME_SLOT *ring, uint64_t size) {
    pthread_mutex_lock(&p->frame_lock);
    bool busy = false;
    for (uint32_t i = 0; i < p->count; ++i) busy = busy || p->ring[i].grabbed != 0 || p->ring[i].writing != 0;
    FRAME_SLOT *old = ring;
    if (!busy) {
        old = p->ring;
        p->ring = ring;
        p->slot_size = size;
        p->current = kNoSlot;
        p->newest = 0;
    }
    pthread_mutex_unlock(&p->frame_lock);
    ring_release(old, p->count);
    return !busy;
}

int ring_store(CAMERA_PARAM *p, const uint8_t *data, uint64_t length) {
    if (data == nullptr || length == 0) return -1;
    pthread_mutex_lock(&p->frame_lock);
    const uint64_t slot_size = p->slot_size;
    if (length > slot_size) {
        pthread_mutex_unlock(&p->frame_lock);
        rt_log(LOG_LEVEL_PORT, "%s frame dropped: length [%llu] slot [%llu]", "cam_frame_proc",
               static_cast<unsigned long long>(length), static_cast<unsigned long long>(slot_size));
        return -1;
    }
    // The lowest slot nobody reads: the ring keeps the newest frame plus those lent out.
    uint32_t index = kNoSlot;
    for (uint32_t i = 0; i < p->count && index == kNoSlot; ++i)
        if (p->ring[i].grabbed == 0) index = i;
    if (index == kNoSlot) {
        pthread_mutex_unlock(&p->frame_lock);
        return 0;
    }
    FRAME_SLOT *slot = &p->ring[index];
    slot->writing = 1;
    uint8_t *buffer = slot->buffer;
    pthread_mutex_unlock(&p->frame_lock);

    // The copy runs without the lock: `writing` keeps readers (and a ring rebuild) away.
    memcpy(buffer, data, static_cast<size_t>(length));

    pthread_mutex_lock(&p->frame_lock);
    slot->ready = 1;
    slot->length = length;
    slot->writing = 0;
    p->newest = index;
    pthread_mutex_unlock(&p->frame_lock);
    return 0;
}

int ring_grab(CAMERA_PARAM *p, uint8_t **buffer, int32_t *length) {
    int result = -1;
    pthread_mutex_lock(&p->frame_lock);
    for (uint32_t k = 0; k < p->count && result != 0; ++k) {
        const uint32_t index = (p->newest + k) % p->count;
        FRAME_SLOT *slot = &p->ring[index];
        if (slot->ready == 0 || slot->writing != 0) continue;
        slot->grabbed = 1;
        p->current = index;
        *buffer = slot->buffer;
        *length = static_cast<int32_t>(slot->length);
        result = 0;
    }
    pthread_mutex_unlock(&p->frame_lock);
    return result;
}

void ring_give_back(CAMERA_PARAM *p) {
    pthread_mutex_lock(&p->frame_lock);
    if (p->current < p->count) {
        FRAME_SLOT *slot = &p->ring[p->current];
        slot->ready = 0;
        slot->writing = 0;
        slot->grabbed = 0;
        slot->length = 0;
    }
    p->current = kNoSlot;
    pthread_mutex_unlock(&p->frame_lock);
}

void ring_give_back_all(CAMERA_PARAM *p) {
    pthread_mutex_lock(&p->frame_lock);
    for (uint32_t i = 0; i < p->count; ++i) {
        p->ring[i].ready = 0;
        p->ring[i].grabbed = 0;
        p->ring[i].length = 0;
    }
    p->newest = 0;
    p->current = kNoSlot;
    pthread_mutex_unlock(&p->frame_lock);
}
