// Joined-symbol text building: collects the parts of a structured-append set one symbol at
// a time and releases their texts in index order. Self-contained; the caller gives the pool
// the part texts are kept in. Nothing in the decode sequence calls it.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr u32 kJoinModeSingle = 0x10011;   // every symbol on its own
inline constexpr u32 kJoinModeInOrder = 0x10012;  // released as soon as parts continue the sequence
inline constexpr u32 kJoinModeWholeSet = 0x10013; // released when the set is complete
inline constexpr int kJoinMaxStored = 16;
inline constexpr int kJoinFileIdWords = 32;
inline constexpr int kJoinSideBytes = 8192;

// Results of Join_AddPart.
inline constexpr i32 kJoinSingle = 0;
inline constexpr i32 kJoinFirst = 1;
inline constexpr i32 kJoinAdded = 2;
inline constexpr i32 kJoinComplete = 3;
inline constexpr i32 kJoinErrArgs = 128;      // null part or text, length <= 0 or above the pool
inline constexpr i32 kJoinErrMode = 129;
inline constexpr i32 kJoinErrReady = 130;     // a ready text waits to be read
inline constexpr i32 kJoinErrNotPart = 131;   // not a set part, or count < 1, while collecting
inline constexpr i32 kJoinErrSetId = 132;
inline constexpr i32 kJoinErrFileId = 133;
inline constexpr i32 kJoinErrIndex = 134;     // index negative or not below the count
inline constexpr i32 kJoinErrRepeat = 135;    // already delivered or already held
inline constexpr i32 kJoinErrNoRoom = 136;
inline constexpr i32 kJoinErrSingleIndex = 256;

// One symbol handed over.
struct JOIN_PART {
    u32 setId;
    i32 length;
    const u8 *text;
    char aimId[3];
    i16 index;
    i16 count;
    i32 fileIdLength;  // <= 0: not part of a set
    u32 fileId[kJoinFileIdWords];
};

struct JOIN_STORED {
    i32 length;
    u8 *text;
    i16 index;
    i16 emitted;
};

struct JOIN_STATE {
    u8 *output;
    i32 capacity;
    u32 mode = kJoinModeSingle;
    u32 setId;
    i16 setCount;
    i32 fileIdLength;
    u32 fileId[kJoinFileIdWords];
    char aimId[3];
    i32 used;
    i32 state;
    i32 readyLength;
    JOIN_STORED parts[kJoinMaxStored + 1];  // the last one is the pending part
    i32 partCount;
    i32 pending;
    i16 nextIndex;
    u8 side[kJoinSideBytes];
};

extern JOIN_STATE g_join;

// Sets the pool (a null pool is capacity 0) and mode 0x10011, and empties the assembler.
void Join_Init(u8 *output, i32 capacity);
// A mode outside 0x10011..0x10013 becomes 0x10011; a change of mode empties the assembler.
void Join_SetMode(u32 mode);
u32 Join_GetMode();
i32 Join_GetState();
i32 Join_GetReadyLength();
void Join_Reset();
// Hands over one symbol: 0-3 accepted (see the results above), else an error code.
i32 Join_AddPart(const JOIN_PART *part);
// Delivers the ready text into buffer: whole parts in index order while they fit. Answers
// the bytes written; 0 when nothing is ready or the arguments are empty. Parts that do not
// fit stay held and ready.
i32 Join_Read(u8 *buffer, i32 capacity);
// "]X0", and 3 when a text is ready and the set's identifier is ']', a letter and a digit,
// then written in out[1..2]; else 0.
i32 Join_WriteAimId(char out[3]);
// Bytes of the held parts that continue the sequence from the next undelivered index.
i32 Join_StoredRunLength();

}  // namespace vexo
