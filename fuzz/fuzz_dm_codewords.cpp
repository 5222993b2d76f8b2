// Data Matrix encodation on hostile codewords. Input: [size row] [flags] then codewords
// (the rest of the array 0). dataCount comes from the size table. Flags: bit 0 accepts a
// leading pad, bit 1 the codeword dump, bit 2 starts with structured-append data of a first
// symbol. Invariants (trap on violation): the answer is 0, 20 or -1000; the text never grows
// past 3,223 bytes and its last byte is never written; a success leaves an ECC 200 AIM
// modifier.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_encodation.h"
#include "datamatrix/test_hooks_dm.h"

namespace {

using namespace vexo;

#define DM_CHECK(cond)                 \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

constexpr u8 kFill = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    Test_ResetDmStatics();
    Pix_SetSecondBuffer(g_internalImage);
    if (DM_BindWorkAreas() == 0) __builtin_trap();
    const i32 row = data[0] % kDmSizeRows;
    g_dmData.dataCount = kDmSizeTable[row].dataCodewords;
    g_dmOptions.acceptLeadingPad = data[1] & 1;
    g_dmOptions.codewordDump = (data[1] >> 1) & 1;
    if ((data[1] & 4) != 0) g_dmSaInfo.saPresent = 1;
    std::memset(g_dmData.codewords, 0, sizeof(i32) * kDmCodewordCapacity);
    const size_t n = size - 2 < static_cast<size_t>(kDmCodewordCapacity) ? size - 2 : kDmCodewordCapacity;
    for (size_t i = 0; i < n; ++i) g_dmData.codewords[i] = data[2 + i];
    std::memset(g_dmResult.text, kFill, sizeof g_dmResult.text);
    const i32 rc = DM_DecodeCodewords();
    DM_CHECK(rc == 0 || rc == 20 || rc == -1000);
    DM_CHECK(g_dmResult.length >= 0 && g_dmResult.length <= kDmTextLimit);
    DM_CHECK(g_dmResult.text[kDmTextLimit] == kFill);
    DM_CHECK(g_dmData.cursor >= 0);
    if (rc == 0) {
        const i32 m = g_dmData.aimModifier;
        DM_CHECK(m == '1' || m == '2' || m == '4' || m == '5');
        DM_CHECK(DM_GetResultLength() == 0 || DM_GetResultText() != nullptr);
    }
    return 0;
}
