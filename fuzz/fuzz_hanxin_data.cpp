// The Han Xin data layer on hostile input. Input: [flags] then the payload.
// Flags bit 0 clear: a bit stream. The next two bytes give the bit count (modulo 26,113), the
// rest the bits, 8 per byte, most significant first (short input repeats). Invariants (trap
// on violation): the answer is 0 or 1; the text grows by at most 7 bytes per 12 bits plus 7,
// never past 15,232 bytes, and nothing behind it is written.
// Flags bit 0 set: a module matrix. Then [version] [size delta] [mask] [level] and the
// module bits; version 0..86 and size 2 x version + 21 + (delta - 2) for deltas 0..4, other
// deltas any size. Invariants: the answer is 0 or 1; on success the text lies within its
// capacity, mask and level within 0..3, and every block re-corrects as a codeword; after a
// failed search mask and level hold 3 and 3.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "hanxin/cscn_data.h"

namespace {

using namespace vexo;

#define HX_CHECK(cond)                 \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

constexpr size_t kGuard = 64;

void FuzzStream(const uint8_t *data, size_t size) {
    if (size < 3) return;
    const u32 bitCount = (static_cast<u32>(data[0]) << 8 | data[1]) % (kCscnMaxStreamBits + 1);
    const size_t payload = size - 2;
    std::vector<u8> bits(bitCount + 1);
    for (u32 i = 0; i < bitCount; ++i) bits[i] = (data[2 + (i / 8) % payload] >> (7 - i % 8)) & 1;
    std::vector<char> text(kCscnTextCapacity + kGuard, '\x5a');
    i32 length = 0;
    const i32 rc = CSCN_DecodeBitStream(bits.data(), bitCount, text.data(), &length);
    HX_CHECK(rc == 0 || rc == 1);
    HX_CHECK(length >= 0 && length <= kCscnTextCapacity);
    HX_CHECK(static_cast<u32>(length) <= 7 * (bitCount / 12) + 7);
    for (size_t i = kCscnTextCapacity; i < text.size(); ++i) HX_CHECK(text[i] == '\x5a');
}

void FuzzMatrix(const uint8_t *data, size_t size) {
    if (size < 5) return;
    const i32 version = data[0] % 87;
    const i32 delta = data[1] % 16;
    const i32 size0 = 2 * version + 21;
    const i32 n = delta <= 4 ? size0 + delta - 2 : 1 + (data[1] * 7 + data[0]) % 200;
    const size_t payload = size - 4;
    std::vector<u8> m(static_cast<size_t>(n) * n);
    for (size_t i = 0; i < m.size(); ++i) m[i] = (data[4 + (i / 8) % payload] >> (7 - i % 8)) & 1;
    std::vector<char> text(kCscnTextCapacity + kGuard, '\x5a');
    CSCN_MATRIX_REQUEST req{};
    req.version = version;
    req.size = n;
    req.mask = data[2] % 6;
    req.level = data[3] % 6;
    req.matrix = m.data();
    req.text = text.data();
    const bool search = req.mask > 3 || req.level > 3;
    const i32 rc = CSCN_DecodeMatrix(&req);
    HX_CHECK(rc == 0 || rc == 1);
    for (size_t i = kCscnTextCapacity; i < text.size(); ++i) HX_CHECK(text[i] == '\x5a');
    if (rc == 1) {
        HX_CHECK(req.textLength >= 0 && req.textLength <= kCscnTextCapacity);
        HX_CHECK(req.mask <= 3 && req.level <= 3);
        HX_CHECK(n == CSCN_SizeOfVersion(version));
        // The data came from blocks that are codewords: correcting them again changes nothing.
        std::vector<i32> first(req.dataCodewords, req.dataCodewords + req.dataCodewordCount);
        HX_CHECK(CSCN_CorrectBlocks(&req) == 1);
        HX_CHECK(std::memcmp(first.data(), req.dataCodewords, first.size() * sizeof(i32)) == 0);
    } else if (search && n == CSCN_SizeOfVersion(version)) {
        HX_CHECK(req.mask == 3 && req.level == 3);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    Pix_SetSecondBuffer(g_internalImage);
    if ((data[0] & 1) == 0) FuzzStream(data + 1, size - 1);
    else FuzzMatrix(data + 1, size - 1);
    return 0;
}
