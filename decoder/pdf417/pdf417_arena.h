// Arena blocks for records that need more than the arena's 4-byte alignment (pointers,
// doubles): the block is taken a little larger and the records start at the next boundary.
#pragma once

#include <cstdint>

#include "core/arena.h"

namespace vexo {

template <class T>
struct PDF_ALIGNED_BLOCK {
    u8 *raw = nullptr;
    T *items = nullptr;
    // count records, or nullptr (nothing held) when the arena refuses.
    T *Take(i32 count) {
        constexpr i32 kAlign = static_cast<i32>(alignof(T));
        if (count <= 0 || static_cast<i64>(count) * static_cast<i64>(sizeof(T)) > kArenaCapacity - kAlign) return nullptr;
        raw = Mem_Alloc(count * static_cast<i32>(sizeof(T)) + kAlign);
        if (raw == nullptr) return nullptr;
        const uintptr_t at = (reinterpret_cast<uintptr_t>(raw) + kAlign - 1) & ~static_cast<uintptr_t>(kAlign - 1);
        items = reinterpret_cast<T *>(at);
        return items;
    }
    void Release() {
        if (raw != nullptr) Mem_Free(raw);
        raw = nullptr;
        items = nullptr;
    }
};

}  // namespace vexo
