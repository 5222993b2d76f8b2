// Data Matrix mapping matrices of every table size through DM_DecodeMatrix. Input: [size
// row] [flags] then module bits, 8 per byte, most significant first (short input repeats).
// Flags: bit 0 mirrored first, bit 1 the second of two places (the block cache joins only
// attempts at one place), bit 2 a leading pad accepted; the block cache and the mirror flag
// live from input to input as they do from image to image. Invariants (trap on violation):
// the answer is one the data layer gives; the text stays within 3,223 bytes; every block
// claimed corrected is a codeword (zero syndromes); the cache holds one size or none.
// Flag bit 3 takes an odd square of side 7-47 (by the size byte) instead, bit 4 with one
// column more: ECC 000-140 answers 0, 30 or -1000, and on 0 the length is at most 511 and
// the stream's CRC is that of the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
// The tests' own GF(256), apart from the decoder's tables.
#include "../tests/decoder/datamatrix/dm_writer.h"

namespace {

using namespace vexo;

#define DM_CHECK(cond)                 \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

// c(2^j) = 0 for j = 1..check, codewords highest degree first.
bool IsCodeword(const i32 *block, int data, int check) {
    const dmtest::Gf256 &f = dmtest::Field();
    for (int j = 1; j <= check; ++j) {
        int s = 0;
        for (int i = 0; i < data + check; ++i) s = f.Mul(s, f.exp[j]) ^ (block[i] & 0xFF);
        if (s != 0) return false;
    }
    return true;
}

// CRC-16/XMODEM over the bytes with their bit order reversed: the symbols' CRC.
uint16_t Ecc000Crc(int format, const uint8_t *text, int n) {
    auto reverse = [](int v) {
        int r = 0;
        for (int i = 0; i < 8; ++i) r |= ((v >> i) & 1) << (7 - i);
        return r;
    };
    uint16_t crc = 0;
    auto feed = [&](int byte) {
        crc = static_cast<uint16_t>(crc ^ (reverse(byte) << 8));
        for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1));
    };
    feed(format + 1);
    feed(0);
    for (int i = 0; i < n; ++i) feed(text[i]);
    return crc;
}

void OddMatrix(const uint8_t *data, size_t size) {
    const i32 n = 7 + 2 * (data[0] % 21);
    const i32 cols = (data[1] & 0x10) != 0 ? n + 1 : n;
    const size_t bitsBytes = size - 2;
    std::vector<uint8_t> m(static_cast<size_t>(n) * static_cast<size_t>(cols));
    for (size_t i = 0; i < m.size(); ++i) m[i] = (data[2 + (i / 8) % bitsBytes] >> (7 - i % 8)) & 1;
    std::memset(g_dmResult.text, 0, kDmTextClearBytes);
    g_dmResult.length = 0;
    const i32 rc = DM_DecodeMatrix(m.data(), n, cols);
    DM_CHECK(rc == 0 || rc == 30 || rc == -1000);
    if (cols != n) DM_CHECK(rc == -1000);
    if (rc != 0) return;
    DM_CHECK(g_dmResult.length >= 0 && g_dmResult.length <= 511);
    const uint8_t *bits = reinterpret_cast<const uint8_t *>(g_dmData.placement);
    const int p = g_dmData.eccLevel == 0 ? 7 : 19;
    int stored = 0;
    for (int i = 0; i < 16; ++i) stored = stored * 2 + (bits[p + 5 + i] & 1);
    DM_CHECK(stored == Ecc000Crc(g_dmData.formatId, g_dmResult.text, g_dmResult.length));
}

bool KnownStatus(i32 rc) { return rc == 0 || rc == -10 || rc == -40 || rc == 30 || rc == 20 || rc == -1000; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    Pix_SetSecondBuffer(g_internalImage);
    if ((data[1] & 0x08) != 0) {
        OddMatrix(data, size);
        return 0;
    }
    i32 row = data[0] % (kDmSizeRows - 1);
    if (row >= kDmSize144Second) ++row;  // the second block group is no size
    const DM_SIZE_ROW &sz = kDmSizeTable[row];
    const uint8_t flags = data[1];
    g_dmData.mirrorFirst = flags & 1;
    g_dmOptions.acceptLeadingPad = (flags >> 2) & 1;
    const i32 x = (flags & 2) != 0 ? 500 : 0;
    g_dmResult.corners = REGION_QUAD{{{x, 0}, {x + 100, 0}, {x, 100}, {x + 100, 100}}};
    const size_t bitsBytes = size - 2;
    std::vector<uint8_t> m(static_cast<size_t>(sz.mappingRows) * static_cast<size_t>(sz.mappingCols));
    for (size_t i = 0; i < m.size(); ++i) m[i] = (data[2 + (i / 8) % bitsBytes] >> (7 - i % 8)) & 1;
    std::memset(g_dmResult.text, 0, kDmTextClearBytes);
    g_dmResult.length = 0;
    const i32 rc = DM_DecodeMatrix(m.data(), sz.mappingRows, sz.mappingCols);
    DM_CHECK(KnownStatus(rc));
    DM_CHECK(g_dmResult.length >= 0 && g_dmResult.length <= kDmTextLimit);
    DM_CHECK(g_dmData.mirrorFirst == 0 || g_dmData.mirrorFirst == 1);
    DM_CHECK(g_dmCache.sizeIndex >= -1 && g_dmCache.sizeIndex < kDmSizeRows);
    if (rc == 0 || rc == 20) {
        const int blocks = sz.blockCount + (row == kDmSize144 ? 2 : 0);
        for (int k = 0; k < blocks; ++k) {
            int d = 0, c = 0;
            DM_BlockShape(row, k, &d, &c);
            DM_CHECK(IsCodeword(g_dmData.blocks + k * kDmBlockSlots, d, c));
        }
    }
    return 0;
}
