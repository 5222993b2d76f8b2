// The link's message reassembly over chunk boundaries taken from the input.
//
// Input: byte 0 picks the mode (bit 7) and the number of split bytes (bits 0-3, plus one);
// the split bytes give the chunk sizes in turn (size = byte * 8 + 1). Raw mode feeds the
// rest as it is: every message that comes out is 16 + its header's length bytes and within
// the limit. Well-formed mode reads the rest as (length byte, payload) pairs, sends them
// as messages and expects them back one by one, whole and in order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link_internal.h"

namespace {

struct Output {
    std::vector<std::vector<uint8_t>> messages;
};

void check_and_collect(void *user, LINK_CHUNK *m) {
    if (m->length < static_cast<int32_t>(LINK_HEADER_SIZE)) abort();
    uint32_t length;
    memcpy(&length, m->data + 12, sizeof length);
    if (length > LINK_PAYLOAD_MAX || static_cast<uint32_t>(m->length) != length + LINK_HEADER_SIZE) abort();
    static_cast<Output *>(user)->messages.emplace_back(m->data, m->data + m->length);
}

std::vector<uint8_t> well_formed(const uint8_t *data, size_t size, std::vector<std::vector<uint8_t>> *sent) {
    std::vector<uint8_t> stream;
    size_t at = 0;
    uint32_t sequence = 1;
    while (at < size) {
        size_t length = data[at++];
        if (length > size - at) length = size - at;
        LINK_HEADER h{};
        h.sequence = sequence++;
        h.mark = LINK_MARK;
        h.direction = LINK_DIR_REQUEST;
        h.length = static_cast<uint32_t>(length);
        std::vector<uint8_t> m(LINK_HEADER_SIZE + length);
        memcpy(m.data(), &h, sizeof h);
        if (length > 0) memcpy(m.data() + LINK_HEADER_SIZE, data + at, length);
        at += length;
        stream.insert(stream.end(), m.begin(), m.end());
        sent->push_back(std::move(m));
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    bool formed = (data[0] & 0x80) != 0;
    size_t splits = (data[0] & 0x0F) + 1u;
    if (size < 1 + splits) return 0;
    const uint8_t *split = data + 1;
    const uint8_t *rest = data + 1 + splits;
    size_t rest_size = size - 1 - splits;

    std::vector<std::vector<uint8_t>> sent;
    std::vector<uint8_t> stream = formed ? well_formed(rest, rest_size, &sent) : std::vector<uint8_t>(rest, rest + rest_size);
    LINK_ASSEMBLER assembler{};
    Output out;
    size_t at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        size_t chunk = static_cast<size_t>(split[i % splits]) * 8 + 1;
        if (chunk > stream.size() - at) chunk = stream.size() - at;
        link_assemble_chunk(&assembler, stream.data() + at, static_cast<int32_t>(chunk), check_and_collect, &out);
        at += chunk;
    }
    link_assembler_reset(&assembler);
    if (formed && out.messages != sent) abort();
    return 0;
}
