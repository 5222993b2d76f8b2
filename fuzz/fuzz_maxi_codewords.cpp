// The MaxiCode data layer: 144 codewords through Maxi_DecodeCodewords. Input: [kind] then
// codewords, one byte each (value & 63), a byte of 0xF0 or above taking the next four bytes
// as a raw i32 of any value; missing codewords are 0.
//   kind & 7 = 0..4: codeword 0 is mode 2..6, with (kind >> 3) & 3 as its top two bits;
//   kind & 7 = 5..7: codeword 0 as read;
//   kind & 0x20: the check codewords are computed (values taken & 63), so that the text
//   decoder sees the message.
// Invariants (trap on violation): an answer of 0, 1, -1, -2 or -3; on 0 a length of at most
// 323 and a known AIM modifier; nothing written past the 324-byte text; a symbol with valid
// checks in mode 4, 5 or 6 never fails correction or mode.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../tests/decoder/aztec_maxicode/maxi_test_util.h"
#include "aztec_maxicode/maxi_data.h"

namespace {

using namespace vexo;

#define MAXI_CHECK(cond)               \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

constexpr i32 kGuardBytes = 64;
u8 g_text[kMaxiTextBufferBytes + kGuardBytes];

std::vector<int> ReadCodewords(const uint8_t *data, size_t size) {
    std::vector<int> cw(kMaxiCodewords, 0);
    size_t at = 0;
    for (int i = 0; i < kMaxiCodewords && at < size; ++i) {
        const uint8_t b = data[at++];
        if (b < 0xF0 || size - at < 4) {
            cw[static_cast<size_t>(i)] = b & 63;
            continue;
        }
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = v << 8 | data[at++];
        std::memcpy(&cw[static_cast<size_t>(i)], &v, sizeof v);
    }
    return cw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t kind = size > 0 ? data[0] : 0;
    std::vector<int> cw = ReadCodewords(data + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    if ((kind & 7) <= 4) cw[0] = 2 + (kind & 7) + (((kind >> 3) & 3) << 4);
    const bool checked = (kind & 0x20) != 0;
    if (checked) {
        for (int &v : cw) v &= 63;
        const size_t secondary = cw[0] == 5 ? 68 : 84;
        cw = maxitest::BuildSymbol(std::vector<int>(cw.begin(), cw.begin() + 10),
                                   std::vector<int>(cw.begin() + 20, cw.begin() + 20 + static_cast<long>(secondary)));
    }
    std::memset(g_text, 0xA5, sizeof g_text);
    MAXI_CARRIER carrier{};
    i32 length = -1;
    const i32 rc = Maxi_DecodeCodewords(cw.data(), kMaxiCodewords, g_text, &length, &carrier);
    MAXI_CHECK(rc >= kMaxiBadCarrier && rc <= kMaxiCorrectionFailed);
    for (i32 i = kMaxiTextBufferBytes; i < kMaxiTextBufferBytes + kGuardBytes; ++i) MAXI_CHECK(g_text[i] == 0xA5);
    if (rc == kMaxiDecoded) {
        MAXI_CHECK(length >= 0 && length <= kMaxiMaxTextBytes);
        MAXI_CHECK(std::strchr("0123", g_maxiState.aimModifier) != nullptr);
    } else {
        MAXI_CHECK(length == -1);
    }
    if (checked && cw[0] >= 4 && cw[0] <= 6) MAXI_CHECK(rc != kMaxiCorrectionFailed && rc != kMaxiBadMode);
    return 0;
}
