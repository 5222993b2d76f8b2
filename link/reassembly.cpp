// Rebuilds whole link messages from the socket's reads. The peer's length is checked
// before anything is allocated: any local process can connect to an abstract name.
#include <stdlib.h>
#include <string.h>

#include "link_internal.h"

namespace {

constexpr uint32_t kLengthOffset = 12;

uint32_t read_u32_le(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Completes the header from the chunk and starts the message it announces. false when the
// header is still incomplete or was refused (the caller then drops the rest of the chunk).
bool begin_message(LINK_ASSEMBLER *a, const uint8_t *bytes, uint32_t count, uint32_t *pos) {
    uint32_t take = LINK_HEADER_SIZE - a->header_have;
    if (take > count - *pos) take = count - *pos;
    memcpy(a->header + a->header_have, bytes + *pos, take);
    a->header_have += take;
    *pos += take;
    if (a->header_have < LINK_HEADER_SIZE) return false;
    a->header_have = 0;
    uint32_t length = read_u32_le(a->header + kLengthOffset);
    if (length > LINK_PAYLOAD_MAX) {
        link_log(LINK_LOG_ERROR, "%s Error length [%u]", "distribute_proc", length);
        return false;
    }
    a->total = length + LINK_HEADER_SIZE;
    a->message = static_cast<uint8_t *>(malloc(a->total));
    if (a->message == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error memory [%u]", "distribute_proc", a->total);
        return false;
    }
    memcpy(a->message, a->header, LINK_HEADER_SIZE);
    a->have = LINK_HEADER_SIZE;
    return true;
}

}  // namespace

void link_assemble_chunk(LINK_ASSEMBLER *a, const uint8_t *bytes, int32_t count, link_dispatch_fn dispatch,
                         void *user) {
    if (a == nullptr || bytes == nullptr || count <= 0) return;
    uint32_t n = static_cast<uint32_t>(count);
    uint32_t pos = 0;
    // Every pass takes at least one byte of the chunk or ends the call.
    while (pos < n) {
        if (a->message == nullptr) {
            if (!begin_message(a, bytes, n, &pos)) return;
        }
        uint32_t take = a->total - a->have;
        if (take > n - pos) take = n - pos;
        memcpy(a->message + a->have, bytes + pos, take);
        a->have += take;
        pos += take;
        if (a->have < a->total) return;
        LINK_CHUNK message = {nullptr, static_cast<int32_t>(a->total), a->message};
        a->message = nullptr;
        if (dispatch != nullptr) dispatch(user, &message);
        free(message.data);
    }
}

void link_assembler_reset(LINK_ASSEMBLER *a) {
    if (a == nullptr) return;
    free(a->message);
    *a = LINK_ASSEMBLER{};
}
