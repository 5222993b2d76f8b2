#include "core/arena.h"

namespace vexo {

WORK_ARENA g_arena;

i32 Mem_ResetArena() {
    g_arena.used = 0;
    g_arena.capacity = kArenaCapacity;
    g_arena.base = g_arena.memory;
    g_arena.count = 0;
    g_arena.maxBlocks = kArenaMaxBlocks;
    for (ARENA_BLOCK &b : g_arena.blocks) b = ARENA_BLOCK{};
    g_arena.freeBytes = kArenaCapacity;
    return kArenaCapacity;
}

u8 *Mem_Alloc(i32 n) {
    if (n <= 0 || g_arena.base == nullptr || g_arena.freeBytes <= 0) return nullptr;
    if (g_arena.count > kArenaMaxBlocks - 1) return nullptr;
    // Sized in 64 bits: (n & ~3) + 4 wraps for n near the 32-bit limit and would overlap
    // live blocks.
    const i64 size = static_cast<i64>(n & ~3) + 4;
    if (static_cast<i64>(g_arena.used) + size > g_arena.capacity) return nullptr;
    ARENA_BLOCK &b = g_arena.blocks[g_arena.count];
    b.ptr = g_arena.base + g_arena.used;
    b.offset = g_arena.used;
    b.size = static_cast<i32>(size);
    b.inUse = 1;
    g_arena.count += 1;
    g_arena.used += b.size;
    g_arena.freeBytes -= b.size;
    return b.ptr;
}

int Mem_Free(const void *p) {
    if (p == nullptr || g_arena.count == 0) return 0;
    for (i32 i = g_arena.count - 1; i >= 0; --i) {
        ARENA_BLOCK &b = g_arena.blocks[i];
        if (b.ptr != p || b.inUse == 0) continue;
        if (i != g_arena.count - 1) {
            // Not the newest: keep it marked free until the blocks above it are gone, so
            // that no later block can overlap one still held.
            b.inUse = 0;
            return 1;
        }
        b.inUse = 0;
        g_arena.count -= 1;
        g_arena.used -= b.size;
        g_arena.freeBytes += b.size;
        // Blocks released out of order below it can go now.
        Mem_TrimFreeBlocks();
        return 1;
    }
    return 0;
}

int Mem_FreeList(void *const *ptrs, i32 n) {
    int answer = 0;
    for (i32 i = n - 1; i >= 0; --i) answer = Mem_Free(ptrs[i]);
    return answer;
}

int Mem_AllNonNull(void *const *ptrs, i32 n) {
    for (i32 i = 0; i < n; ++i) {
        if (ptrs[i] == nullptr) return 0;
    }
    return 1;
}

int Mem_GetStats(ARENA_STATS *out) {
    if (out != nullptr) *out = ARENA_STATS{g_arena.base, g_arena.used, g_arena.freeBytes, g_arena.capacity};
    return 0;
}

int Mem_TrimFreeBlocks() {
    int popped = 0;
    while (g_arena.count > 0 && g_arena.blocks[g_arena.count - 1].inUse == 0) {
        g_arena.count -= 1;
        g_arena.used -= g_arena.blocks[g_arena.count].size;
        popped = 1;
    }
    // Blocks freed out of order were never counted as free; they are now.
    g_arena.freeBytes = g_arena.capacity - g_arena.used;
    return popped;
}

}  // namespace vexo
