// The Aztec data layer: module grids of every table size through Azt_DecodeGrid, and bit
// streams of up to 19,968 bits through Azt_DecodeText. Input: [kind] then
//   kind even: [size row 0..35] module bits, 8 per byte, most significant first;
//   kind odd:  [count high] [count low] (modulo 19,969) stream bits, 8 per byte;
// short input repeats, none gives zeros. A stream lies in a buffer of exactly its count.
// Invariants (trap on violation): an answer the layer gives; a text of at most 7 bytes per
// 12 bits of the stream it came from, plus 7; a modifier of the table's twelve; the arena's
// block count unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "aztec_maxicode/azt_data.h"
#include "core/arena.h"

namespace {

using namespace vexo;

#define AZT_CHECK(cond)                \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

u8 g_text[kAztMaxTextBytes];

void FillBits(u8 *out, size_t n, const uint8_t *data, size_t size) {
    for (size_t i = 0; i < n; ++i) out[i] = size == 0 ? 0 : (data[(i / 8) % size] >> (7 - i % 8)) & 1;
}

bool KnownModifier(u8 m) { return std::strchr("0123456789AB", m) != nullptr && m != 0; }

bool TextWithinBound(i32 length, i32 bits) { return length >= 0 && length <= 7 * (bits / 12) + 7; }

void RunGrid(const uint8_t *data, size_t size) {
    const i32 row = size > 0 ? data[0] % kAztSizeRows : 0;
    const i32 side = kAztSizeTable[row].size;
    std::vector<u8> buffer(kAztGridBytes, 0);
    const size_t rest = size > 0 ? size - 1 : 0;
    FillBits(buffer.data(), static_cast<size_t>(side * side), data + (size > 0 ? 1 : 0), rest);
    AZT_BITSTREAM grid{buffer.data(), side * side, side};
    AZT_TEXT_OUT out{g_text, 0};
    const i32 blocks = g_arena.count;
    const i32 rc = Azt_DecodeGrid(&grid, &out);
    AZT_CHECK(rc >= kAztGridModeFailed && rc <= kAztGridDecoded);
    AZT_CHECK(g_arena.count == blocks);
    AZT_CHECK(grid.count >= 0 && grid.count <= side * side);
    if (rc == kAztGridDecoded) {
        AZT_CHECK(TextWithinBound(out.length, grid.count));
        AZT_CHECK(KnownModifier(g_aztState.aimModifier));
    }
}

void RunStream(const uint8_t *data, size_t size) {
    const i32 count = size >= 2 ? ((data[0] << 8) | data[1]) % (kAztMaxStreamBits + 1) : 0;
    std::vector<u8> bits(static_cast<size_t>(count));
    const size_t skip = size >= 2 ? 2 : size;
    FillBits(bits.data(), bits.size(), data + skip, size - skip);
    AZT_BITSTREAM stream{count > 0 ? bits.data() : nullptr, count, 0};
    AZT_TEXT_OUT out{g_text, 0};
    const i32 blocks = g_arena.count;
    const i32 ok = Azt_DecodeText(&stream, &out);
    AZT_CHECK(ok == 0 || ok == 1);
    AZT_CHECK(g_arena.count == blocks);
    AZT_CHECK(TextWithinBound(out.length, count));
    if (ok == 1) AZT_CHECK(KnownModifier(g_aztState.aimModifier));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (g_arena.base == nullptr) Mem_ResetArena();
    if (size == 0) {
        RunGrid(data, 0);
        RunStream(data, 0);
        return 0;
    }
    if ((data[0] & 1) == 0) {
        RunGrid(data + 1, size - 1);
    } else {
        RunStream(data + 1, size - 1);
    }
    return 0;
}
