// The shared library as the runtime sees it: loaded by file name, six functions bound by
// name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "vexo3.h"

namespace {

TEST(DecoderLibrary, LoadsByFileNameAndBindsItsSixFunctions) {
    void *lib = dlopen(VEXO3_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto init = reinterpret_cast<VexoDecInitFn>(dlsym(lib, "ZPT_SE_VexoDec_Init"));
    auto set = reinterpret_cast<VexoDecSetFn>(dlsym(lib, "ZPT_SE_VexoDec_Set"));
    auto get = reinterpret_cast<VexoDecGetFn>(dlsym(lib, "ZPT_SE_VexoDec_Get"));
    auto decode = reinterpret_cast<VexoDecDecodeFn>(dlsym(lib, "ZPT_SE_VexoDec_Decode"));
    auto tsi = reinterpret_cast<VexoDecTsiFn>(dlsym(lib, "X3_Dec_TSI"));
    auto connect = reinterpret_cast<VexoConnectInitFn>(dlsym(lib, "ZPT_SE_VexoConnect_Init"));
    ASSERT_TRUE(init && set && get && decode && tsi && connect);
    EXPECT_EQ(dlsym(lib, "Mem_Alloc"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN4vexo9Mem_AllocEi"), nullptr) << "internals stay hidden";

    EXPECT_EQ(tsi(20151223), 1);
    EXPECT_EQ(tsi(20151224), 0);
    EXPECT_EQ(init(), 1);
    uint32_t zero = 0;
    EXPECT_EQ(connect(&zero), 1);

    std::vector<uint8_t> blank(640 * 480, 255);
    EXPECT_EQ(set(VEXO_ID_IMAGE_WIDTH, 640), 1);
    EXPECT_EQ(set(VEXO_ID_IMAGE_HEIGHT, 480), 1);
    EXPECT_EQ(set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(blank.data())), 1);
    EXPECT_EQ(decode(), 0);
    char text[64];
    TEXT_DESC desc{24, sizeof text, 0, 0, text};
    EXPECT_EQ(get(VEXO_ID_BANNER, &desc), 1);
    EXPECT_EQ(std::string(text, desc.length), "\r\nVexo Ver:     4.10.001B00");
    dlclose(lib);
}

}  // namespace
