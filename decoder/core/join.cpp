#include "core/join.h"

#include <cstring>

namespace vexo {

JOIN_STATE g_join{};

namespace {

constexpr int kPendingSlot = kJoinMaxStored;

bool Join_ValidMode(u32 mode) { return mode >= kJoinModeSingle && mode <= kJoinModeWholeSet; }

// Empties the assembler but keeps the pool and the mode.
void Join_ClearSet() {
    JOIN_STATE &j = g_join;
    j.setId = 0;
    j.setCount = 0;
    j.fileIdLength = 0;
    std::memset(j.fileId, 0, sizeof(j.fileId));
    std::memset(j.aimId, 0, sizeof(j.aimId));
    j.used = 0;
    j.state = kJoinSingle;
    j.readyLength = 0;
    for (JOIN_STORED &p : j.parts) p = JOIN_STORED{};
    j.partCount = 0;
    j.pending = 0;
    j.nextIndex = 0;
}

// A set stays open from its first part until its last index is delivered; a part delivered
// before the rest arrived (state 1 or 2 with nothing held) keeps it open too.
bool Join_Collecting() {
    const JOIN_STATE &j = g_join;
    return j.partCount > 0 || j.pending != 0 || j.state == kJoinFirst || j.state == kJoinAdded;
}

// The held part (stored or pending) with that index, or -1.
int Join_FindIndex(i32 index) {
    const JOIN_STATE &j = g_join;
    for (int i = 0; i < j.partCount; ++i)
        if (j.parts[i].emitted == 0 && j.parts[i].index == index) return i;
    if (j.pending != 0 && j.parts[kPendingSlot].emitted == 0 && j.parts[kPendingSlot].index == index)
        return kPendingSlot;
    return -1;
}

// Length of the held run from nextIndex; *reachesEnd when it runs to the set's last index.
i32 Join_CheckRun(bool *reachesEnd) {
    const JOIN_STATE &j = g_join;
    i32 sum = 0;
    i32 index = j.nextIndex;
    // A run holds at most every held part once.
    for (int step = 0; step <= kJoinMaxStored && index < j.setCount; ++step, ++index) {
        const int k = Join_FindIndex(index);
        if (k < 0) break;
        sum += j.parts[k].length;
    }
    if (reachesEnd != nullptr) *reachesEnd = index >= j.setCount && sum > 0;
    return sum;
}

bool Join_SameFile(const JOIN_PART &p) {
    const JOIN_STATE &j = g_join;
    if (p.fileIdLength != j.fileIdLength) return false;
    const int words = p.fileIdLength < kJoinFileIdWords ? p.fileIdLength : kJoinFileIdWords;
    for (int i = 0; i < words; ++i)
        if (p.fileId[i] != j.fileId[i]) return false;
    return true;
}

i32 Join_AppendToSet(const JOIN_PART &p) {
    JOIN_STATE &j = g_join;
    if (p.count < 1) return kJoinErrNotPart;
    if (p.setId != j.setId) return kJoinErrSetId;
    if (!Join_SameFile(p)) return kJoinErrFileId;
    if (p.index >= j.setCount) return kJoinErrIndex;
    if (p.index < j.nextIndex || Join_FindIndex(p.index) >= 0) return kJoinErrRepeat;
    if (j.partCount >= kJoinMaxStored || j.capacity - j.used < p.length) return kJoinErrNoRoom;
    u8 *dest = j.output + j.used;
    std::memcpy(dest, p.text, static_cast<std::size_t>(p.length));
    j.parts[j.partCount] = JOIN_STORED{p.length, dest, p.index, 0};
    j.partCount += 1;
    j.used += p.length;
    return kJoinAdded;
}

void Join_OpenSet(const JOIN_PART &p) {
    JOIN_STATE &j = g_join;
    Join_ClearSet();
    j.setId = p.setId;
    j.setCount = p.count;
    j.fileIdLength = p.fileIdLength;
    const int words = p.fileIdLength < kJoinFileIdWords ? p.fileIdLength : kJoinFileIdWords;
    for (int i = 0; i < words; ++i) j.fileId[i] = p.fileId[i];
    std::memcpy(j.aimId, p.aimId, sizeof(j.aimId));
    std::memcpy(j.output, p.text, static_cast<std::size_t>(p.length));
    j.parts[0] = JOIN_STORED{p.length, j.output, p.index, 0};
    j.partCount = 1;
    j.used = p.length;
}

i32 Join_StorePart(const JOIN_PART &p) {
    const bool inSet = p.fileIdLength > 0;
    // A negative index would open a set that no read ever reaches.
    if (inSet && (p.index < 0 || p.index >= p.count)) return kJoinErrIndex;
    if (Join_Collecting()) return inSet ? Join_AppendToSet(p) : kJoinErrNotPart;
    Join_OpenSet(p);
    return inSet ? kJoinFirst : kJoinSingle;
}

// Recomputes what a read would deliver after the set changed; answers 3 when the held run
// reaches the set's end, else `result`.
i32 Join_UpdateReady(i32 result) {
    JOIN_STATE &j = g_join;
    bool complete = false;
    j.readyLength = Join_CheckRun(&complete);
    if (complete) {
        j.state = kJoinComplete;
        return kJoinComplete;
    }
    if (j.mode == kJoinModeWholeSet && j.nextIndex == 0 && j.pending == 0) j.readyLength = 0;
    return result;
}

i32 Join_AddSingle(const JOIN_PART &p) {
    JOIN_STATE &j = g_join;
    if (j.readyLength > 0) return kJoinErrReady;
    j.partCount = 0;
    const i32 r = Join_StorePart(p);
    if (r == kJoinSingle || r == kJoinFirst) {
        j.readyLength = p.length;
        j.state = kJoinSingle;
        return kJoinSingle;
    }
    j.state = kJoinSingle;
    j.readyLength = 0;
    return kJoinErrSingleIndex;
}

// Stores the part, or keeps it in the side buffer when the pool or the table is full and no
// other part is pending there.
i32 Join_StoreOrStash(const JOIN_PART &p, bool *stashed) {
    JOIN_STATE &j = g_join;
    *stashed = false;
    if (j.readyLength > 0) return kJoinErrReady;
    const i32 r = Join_StorePart(p);
    if (r != kJoinErrNoRoom) return r;
    if (j.pending != 0 || p.length > kJoinSideBytes) return kJoinErrNoRoom;
    std::memcpy(j.side, p.text, static_cast<std::size_t>(p.length));
    j.parts[kPendingSlot] = JOIN_STORED{p.length, j.side, p.index, 0};
    j.pending = 1;
    *stashed = true;
    return kJoinAdded;
}

i32 Join_AddToSet(const JOIN_PART &p) {
    JOIN_STATE &j = g_join;
    bool stashed = false;
    const i32 r = Join_StoreOrStash(p, &stashed);
    if (r == kJoinSingle) {
        j.state = kJoinSingle;
        j.readyLength = p.length;
        return r;
    }
    if (r != kJoinFirst && r != kJoinAdded) return r;
    if (j.mode == kJoinModeInOrder && stashed && p.index != j.nextIndex) {
        j.pending = 0;
        j.parts[kPendingSlot] = JOIN_STORED{};
        j.readyLength = 0;
        return kJoinErrNoRoom;
    }
    j.state = r;
    return Join_UpdateReady(r);
}

// Drops the delivered parts and moves the rest to the start of the pool. A pending part
// that was not delivered stays pending.
void Join_Compact() {
    JOIN_STATE &j = g_join;
    if (j.pending != 0 && j.parts[kPendingSlot].emitted != 0) {
        j.pending = 0;
        j.parts[kPendingSlot] = JOIN_STORED{};
    }
    i32 kept = 0;
    i32 used = 0;
    // Parts lie in the pool in table order, so moving them down never overlaps a later one.
    for (i32 i = 0; i < j.partCount; ++i) {
        const JOIN_STORED p = j.parts[i];
        if (p.emitted != 0) continue;
        u8 *dest = j.output + used;
        std::memmove(dest, p.text, static_cast<std::size_t>(p.length));
        j.parts[kept++] = JOIN_STORED{p.length, dest, p.index, 0};
        used += p.length;
    }
    for (i32 i = kept; i < kJoinMaxStored; ++i) j.parts[i] = JOIN_STORED{};
    j.partCount = kept;
    j.used = used;
    j.readyLength = 0;
    if (j.state == kJoinComplete) j.state = kJoinSingle;
    if (j.nextIndex >= j.setCount) {
        Join_ClearSet();
        return;
    }
    // What did not fit the caller's buffer stays ready for the next read.
    if (j.partCount > 0 || j.pending != 0) Join_UpdateReady(j.state);
}

bool Join_HoldsSingle() { return g_join.mode == kJoinModeSingle || g_join.fileIdLength <= 0; }

}  // namespace

void Join_Init(u8 *output, i32 capacity) {
    g_join.output = output;
    g_join.capacity = output != nullptr && capacity > 0 ? capacity : 0;
    g_join.mode = kJoinModeSingle;
    Join_ClearSet();
}

void Join_SetMode(u32 mode) {
    if (!Join_ValidMode(mode)) mode = kJoinModeSingle;
    if (mode != g_join.mode) Join_ClearSet();
    g_join.mode = mode;
}

u32 Join_GetMode() { return g_join.mode; }
i32 Join_GetState() { return g_join.state; }
i32 Join_GetReadyLength() { return g_join.readyLength; }
void Join_Reset() { Join_ClearSet(); }

i32 Join_AddPart(const JOIN_PART *part) {
    if (part == nullptr || part->text == nullptr || part->length <= 0 || part->length > g_join.capacity)
        return kJoinErrArgs;
    if (!Join_ValidMode(g_join.mode)) return kJoinErrMode;
    if (g_join.mode == kJoinModeSingle) return Join_AddSingle(*part);
    return Join_AddToSet(*part);
}

i32 Join_Read(u8 *buffer, i32 capacity) {
    JOIN_STATE &j = g_join;
    if (j.readyLength <= 0 || buffer == nullptr || capacity <= 0) return 0;
    if (Join_HoldsSingle()) {
        // A symbol ready on its own is delivered whole, whatever its index and count.
        const JOIN_STORED &p = j.parts[0];
        if (j.partCount < 1 || p.length > capacity) return 0;
        std::memcpy(buffer, p.text, static_cast<std::size_t>(p.length));
        const i32 n = p.length;
        Join_ClearSet();
        return n;
    }
    i32 written = 0;
    i32 index = j.nextIndex;
    for (int step = 0; step <= kJoinMaxStored && index < j.setCount; ++step, ++index) {
        const int k = Join_FindIndex(index);
        if (k < 0 || j.parts[k].length > capacity - written) break;
        std::memcpy(buffer + written, j.parts[k].text, static_cast<std::size_t>(j.parts[k].length));
        j.parts[k].emitted = 1;
        written += j.parts[k].length;
    }
    j.nextIndex = static_cast<i16>(index);
    Join_Compact();
    return written;
}

i32 Join_WriteAimId(char out[3]) {
    if (out == nullptr) return 0;
    out[0] = ']';
    out[1] = 'X';
    out[2] = '0';
    const char *id = g_join.aimId;
    const bool letter = (id[1] >= 'A' && id[1] <= 'Z') || (id[1] >= 'a' && id[1] <= 'z');
    const bool digit = id[2] >= '0' && id[2] <= '9';
    if (g_join.readyLength <= 0 || id[0] != ']' || !letter || !digit) return 0;
    out[1] = id[1];
    out[2] = id[2];
    return 3;
}

i32 Join_StoredRunLength() { return Join_CheckRun(nullptr); }

}  // namespace vexo
