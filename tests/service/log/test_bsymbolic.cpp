// Several libraries of one process export the logging names (a library may carry its own
// build of them). Each must call its own definitions: -Bsymbolic binds them at link time.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "service_test.h"

namespace {

struct LogLibrary {
    void *handle = nullptr;
    int (*set_filepath)(const char *) = nullptr;
    void (*set_level)(uint32_t) = nullptr;
    uint32_t (*get_level)() = nullptr;
    void (*write)(uint32_t, const char *, ...) = nullptr;

    bool load(const char *path, int mode) {
        handle = dlopen(path, RTLD_NOW | mode);
        if (handle == nullptr) return false;
        set_filepath = reinterpret_cast<int (*)(const char *)>(dlsym(handle, "log_set_filepath"));
        set_level = reinterpret_cast<void (*)(uint32_t)>(dlsym(handle, "log_set_level"));
        get_level = reinterpret_cast<uint32_t (*)()>(dlsym(handle, "log_get_level"));
        write = reinterpret_cast<void (*)(uint32_t, const char *, ...)>(dlsym(handle, "log_write"));
        return set_filepath && set_level && get_level && write;
    }
    ~LogLibrary() {
        if (handle != nullptr) dlclose(handle);
    }
};

class BsymbolicTest : public ServiceRootTest {
  protected:
    void SetUp() override {
        ServiceRootTest::SetUp();
        // The first library is in the global scope, as a library the process links is.
        ASSERT_TRUE(main_.load(ZPTLOG_PATH, RTLD_GLOBAL)) << dlerror();
        main_.set_filepath("/main.log");
        main_.set_level(0xFF);
    }
    LogLibrary main_;
};

TEST_F(BsymbolicTest, EachLibraryCallsItsOwnLogging) {
    LogLibrary twin;
    ASSERT_TRUE(twin.load(ZPTLOG_TWIN_PATH, RTLD_LOCAL)) << dlerror();
    ASSERT_NE(twin.write, main_.write);
    twin.set_filepath("/twin.log");
    twin.set_level(0x08);
    EXPECT_EQ(read_file("/twin.log"), "log_set_level [8]\n");
    EXPECT_EQ(read_file("/main.log"), "log_set_level [ff]\n");
    EXPECT_EQ(twin.get_level(), 0x08u);
    EXPECT_EQ(main_.get_level(), 0xFFu);
}

// Without the flag the library's own call to log_write lands in the first library: the
// failure the flag prevents.
TEST_F(BsymbolicTest, WithoutTheFlagCallsReachAnotherLibrary) {
    LogLibrary plain;
    ASSERT_TRUE(plain.load(ZPTLOG_TWIN_PLAIN_PATH, RTLD_LOCAL)) << dlerror();
    plain.set_filepath("/plain.log");
    plain.set_level(0x08);
    EXPECT_EQ(read_file("/plain.log"), "");
    EXPECT_EQ(read_file("/main.log"), "log_set_level [ff]\nlog_set_level [8]\n");
}

}  // namespace
