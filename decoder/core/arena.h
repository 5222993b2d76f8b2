// The work arena: the decoder's only source of temporary memory. Blocks are handed out
// one above the other and given back newest first; the arena is reset for every image.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kArenaCapacity = 2457600;
inline constexpr i32 kArenaMaxBlocks = 256;

struct ARENA_BLOCK {
    u8 *ptr;
    i32 offset;
    i32 size;
    i32 inUse;
};

struct WORK_ARENA {
    i32 used;
    i32 capacity;
    u8 *base;
    alignas(16) u8 memory[kArenaCapacity];
    ARENA_BLOCK blocks[kArenaMaxBlocks];
    i32 maxBlocks;
    i32 count;
    i32 freeBytes;
};

struct ARENA_STATS {
    u8 *base;
    i32 used;
    i32 freeBytes;
    i32 capacity;
};

extern WORK_ARENA g_arena;

// Empties the arena; returns its capacity.
i32 Mem_ResetArena();
// A block of at least n bytes (n rounded down to a multiple of 4, plus 4), 4-byte aligned,
// or nullptr when n <= 0, before the first reset, with 256 blocks held, or when it does
// not fit. A failed request changes nothing. The memory is not cleared.
u8 *Mem_Alloc(i32 n);
// Gives back the block that starts at p: 1, or 0 for nullptr or an unknown pointer.
int Mem_Free(const void *p);
// Frees ptrs[n-1] down to ptrs[0]; answers the result of the last free (0 for n <= 0).
int Mem_FreeList(void *const *ptrs, i32 n);
// 1 when n <= 0 or every entry is non-null.
int Mem_AllNonNull(void *const *ptrs, i32 n);
int Mem_GetStats(ARENA_STATS *out);
// Pops freed entries from the top of the block list; 1 when at least one was popped.
int Mem_TrimFreeBlocks();

// Typed helper for the common case.
template <class T>
T *Mem_AllocArray(i32 count) {
    if (count <= 0 || static_cast<i64>(count) * static_cast<i64>(sizeof(T)) > kArenaCapacity) return nullptr;
    return reinterpret_cast<T *>(Mem_Alloc(count * static_cast<i32>(sizeof(T))));
}

}  // namespace vexo
