// Inner pieces of libzptutils shared by its source files and reached by its tests.
#pragma once

#include <stdint.h>

#include "zptutils.h"

// Logs one line to the Android log when the mask shares a bit with this library's level.
void link_log(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));

// The run flag of a thread record, read and written from several threads.
inline uint32_t link_flag_get(const uint32_t *flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE); }
inline void link_flag_set(uint32_t *flag, uint32_t value) { __atomic_store_n(flag, value, __ATOMIC_RELEASE); }

// Starts a joinable thread for a record whose owner waits for it before freeing what it
// uses: 0, or -1 (run is then 0).
int comm_thread_start_joinable(COMM_THREAD *record, void *(*entry)(void *), void *arg);
// Clears run and waits for a thread started by comm_thread_start_joinable.
void comm_thread_join(COMM_THREAD *record);

// Rebuilds whole messages from a stream of chunks. A message is handed over once, whole,
// in order; a header whose length exceeds LINK_PAYLOAD_MAX is refused and the rest of its
// chunk dropped, so that the next chunk starts a new header.
typedef void (*link_dispatch_fn)(void *user, LINK_CHUNK *message);
typedef struct LINK_ASSEMBLER {
    uint8_t header[LINK_HEADER_SIZE];
    uint32_t header_have;  // header bytes gathered while no message buffer exists
    uint8_t *message;      // the message being built, header included
    uint32_t total;        // its full size
    uint32_t have;         // bytes gathered
} LINK_ASSEMBLER;

// Feeds one chunk; dispatch gets each completed message, which is freed after the call.
void link_assemble_chunk(LINK_ASSEMBLER *assembler, const uint8_t *bytes, int32_t count, link_dispatch_fn dispatch,
                         void *user);
// Frees a partly built message.
void link_assembler_reset(LINK_ASSEMBLER *assembler);
