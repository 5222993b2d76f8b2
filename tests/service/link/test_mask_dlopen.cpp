// A process linked with the logging library loads the link library by file name: the two
// libraries export log_get_level and log_set_level, and each keeps its own mask.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "zptlog.h"

namespace {

TEST(LinkMaskTest, LinkLibraryKeepsItsOwnMask) {
    void *handle = dlopen(ZPTUTILS_PATH, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto get = reinterpret_cast<uint32_t (*)()>(dlsym(handle, "log_get_level"));
    auto set = reinterpret_cast<void (*)(uint32_t)>(dlsym(handle, "log_set_level"));
    ASSERT_TRUE(get && set);
    ASSERT_NE(reinterpret_cast<void *>(get), reinterpret_cast<void *>(&log_get_level));
    EXPECT_EQ(get(), 0x47u);
    EXPECT_EQ(log_get_level(), LOG_LEVEL_DEFAULT);
    set(0x02);
    EXPECT_EQ(get(), 0x02u);
    EXPECT_EQ(log_get_level(), LOG_LEVEL_DEFAULT);
    log_set_level(0x3F);
    EXPECT_EQ(get(), 0x02u);
    EXPECT_EQ(log_get_level(), 0x3Fu);
    dlclose(handle);
}

}  // namespace
