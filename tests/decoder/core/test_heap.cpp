// The decoder takes nothing from the heap: malloc and friends are replaced for this whole
// binary and counted while Init, Set and Decode run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "linear_image/lineimg_module.h"
#include "linear_image/test_hooks_lineimg.h"
#include "vexo3.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void __libc_free(void *);

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_calls{0};
void Note() {
    if (g_counting.load(std::memory_order_relaxed)) g_calls.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void *malloc(size_t n) {
    Note();
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t m) {
    Note();
    return __libc_calloc(n, m);
}
void *realloc(void *p, size_t n) {
    Note();
    return __libc_realloc(p, n);
}
void free(void *p) {
    if (p != nullptr) Note();
    __libc_free(p);
}
}

namespace {

TEST(DecoderHeap, InitSetAndDecodeAllocateNothing) {
    // The counter itself works.
    // Called through volatile pointers so that no compiler drops the pair.
    void *(*volatile allocate)(size_t) = &malloc;
    void (*volatile release)(void *) = &free;
    g_counting = true;
    release(allocate(16));
    g_counting = false;
    ASSERT_EQ(g_calls.exchange(0), 2);

    std::vector<uint8_t> frame(752 * 480);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i * 7919) >> 3);
    // A Code 128 symbol "HEAP-1" (start B, six characters, check 36, stop; the bar and space
    // widths of the standard's patterns) at 3 px a module in the middle of a second frame.
    const char *runs = "2112142311131321131113233131211221321232213123112331112";
    auto draw = [runs](int module) {
        std::vector<uint8_t> symbol(752 * 480, 210);
        int x = (752 - 101 * module) / 2;
        for (size_t k = 0; k < std::strlen(runs); ++k) {
            const int w = module * (runs[k] - '0');
            if (k % 2 == 0)
                for (int y = 190; y < 290; ++y)
                    for (int d = 0; d < w; ++d) symbol[static_cast<size_t>(y) * 752 + x + d] = 35;
            x += w;
        }
        return symbol;
    };
    const std::vector<uint8_t> symbol = draw(3);
    // The same at 2 px, read with the main scan and the accumulation off: by the profile path.
    const std::vector<uint8_t> narrow = draw(2);
    char text[256];
    TEXT_DESC desc{24, sizeof text, 0, 0, text};

    g_counting = true;
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Get(VEXO_ID_BANNER, &desc);
    ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &desc);
    uint32_t readCode = 0;
    // Every linear group on (0x11300 is not a group).
    for (uint32_t id = 0x10000; id <= 0x11D00; id += 0x100)
        if (id != 0x11300) ZPT_SE_VexoDec_Set(id, VEXO_ON);
    // One decode of a frame with the linear module's methods chosen: the code read.
    auto decodeWith = [&desc](const std::vector<uint8_t> &pixels, bool mainScan, bool accumulate) {
        vexo::Test_SetLineImgMethods(mainScan, accumulate);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels.data()));
        ZPT_SE_VexoDec_Decode();
        uint32_t code = 0;
        ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_CODE_ID, &code);
        ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &desc);
        return code;
    };
    for (int i = 0; i < 4; ++i) {
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 752);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
        ZPT_SE_VexoDec_Set(VEXO_ID_SMOOTHING, 1);
        const uint32_t code = decodeWith(i == 3 ? symbol : frame, true, true);
        if (i == 3) readCode = code;
    }
    const uint32_t profileCode = decodeWith(narrow, false, false);
    // The 3 px frame with the main scan off: read from the averaged lines, before the
    // profile path is tried.
    const uint32_t accumulatedCode = decodeWith(symbol, false, true);
    const vexo::LINEIMG_LINE_STATE accumulatedState = vexo::g_lineImgState;
    vexo::Test_SetLineImgMethods(true, true);
    g_counting = false;
    EXPECT_EQ(g_calls.load(), 0);
    // The frames read: the linear module's whole path, and its profile path, without the heap.
    EXPECT_EQ(readCode, 0x2u);
    EXPECT_EQ(profileCode, 0x2u);
    EXPECT_EQ(accumulatedCode, 0x2u);
    EXPECT_EQ(accumulatedState.accumulateTried, 1);
    EXPECT_EQ(accumulatedState.profileTried, 0);
}

}  // namespace
