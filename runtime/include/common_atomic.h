// Atomic access to the plain u32 fields of COMMON_STATE and THREAD_RECORD that two
// threads touch outside mLock (mState, mEvent, mScanCount, mAwake, run, running). The
// records keep their C layout; every such access, in the runtime and in the drivers,
// goes through these so that the other thread sees it.
#pragma once

#include <stdint.h>

#include <atomic>

#include "readercore.h"

inline uint32_t common_load(const uint32_t &field) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t &>(field)).load(std::memory_order_acquire);
}

inline void common_store(uint32_t &field, uint32_t value) {
    std::atomic_ref<uint32_t>(field).store(value, std::memory_order_release);
}

// The current cycle's event callback: written by a start on a service thread, read by
// the decode thread and the packet reader.
inline SCAN_EVENT_CALLBACK common_callback(COMMON_STATE *cs) {
    return std::atomic_ref<SCAN_EVENT_CALLBACK>(cs->mCallback).load(std::memory_order_acquire);
}
