// The library's utilities: process lookup, thread start, hex dump, time difference.
#include <dirent.h>
#include <unistd.h>

#include "link_support.h"

namespace {

class LinkUtilsTest : public LinkTest {};

// The first of two pids in /proc's directory order.
pid_t first_in_proc_order(pid_t a, pid_t b) {
    DIR *d = opendir("/proc");
    pid_t first = 0;
    while (dirent *e = readdir(d)) {
        pid_t p = atoi(e->d_name);
        if (p == a || p == b) {
            first = p;
            break;
        }
    }
    closedir(d);
    return first;
}

TEST_F(LinkUtilsTest, ProcessIdByName) {
    std::string name = "lk" + std::to_string(getpid() % 100000);
    pid_t a = spawn_named_process(name.c_str());
    pid_t b = spawn_named_process(name.c_str());
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(common_get_pid(name.c_str()), first_in_proc_order(a, b));
    reap_named_process(a);
    EXPECT_EQ(common_get_pid(name.c_str()), b);
    reap_named_process(b);
    EXPECT_EQ(common_get_pid(name.c_str()), 0);
    EXPECT_EQ(common_get_pid(""), 0);
    EXPECT_EQ(common_get_pid(nullptr), 0);
}

// The kernel keeps 15 characters of a name: 16 never match, 15 do.
TEST_F(LinkUtilsTest, SixteenCharacterNamesNeverMatch) {
    const char *full = "lnk16charsname_Z";  // 16 characters
    pid_t child = spawn_named_process(full);
    ASSERT_GT(child, 0);
    EXPECT_EQ(common_get_pid(full), 0);
    EXPECT_EQ(common_get_pid(std::string(full, 15).c_str()), child);
    reap_named_process(child);
}

std::atomic<int> g_thread_ran{0};
void *mark_ran(void *arg) {
    g_thread_ran.store(*static_cast<int *>(arg));
    return nullptr;
}

TEST_F(LinkUtilsTest, ThreadStart) {
    EXPECT_EQ(common_thread_Start(nullptr, mark_ran, nullptr), -1);
    static COMM_THREAD record{};
    static int value = 42;
    ASSERT_EQ(common_thread_Start(&record, mark_ran, &value), 0);
    EXPECT_EQ(link_flag_get(&record.run), 1u);
    EXPECT_TRUE(wait_until([] { return g_thread_ran.load() == 42; }));
}

TEST_F(LinkUtilsTest, HexDump) {
    const uint8_t bytes[] = {0, 10, 255};
    LogPrintHex("t", bytes, 3);
    EXPECT_TRUE(logged("D/Kelservice: t [ 0x0, 0xa, 0xff,]\n"));
    LogPrintHex("empty", bytes, 0);
    EXPECT_TRUE(logged("D/Kelservice: empty []\n"));
    log_set_level(LINK_LOG_LEVEL_DEFAULT & ~LINK_LOG_HEX);
    LogPrintHex("quiet", bytes, 3);
    EXPECT_FALSE(logged("quiet"));
    log_set_level(LINK_LOG_LEVEL_DEFAULT);
    // 1000 bytes would need 6,000 characters: the text stops before the 2048-byte buffer.
    std::vector<uint8_t> many(1000, 0xAB);
    LogPrintHex("many", many.data(), static_cast<int>(many.size()));
    std::string text = logcat();
    size_t at = text.find("many [");
    ASSERT_NE(at, std::string::npos);
    std::string dump = text.substr(at + 6, text.find("]\n", at) - at - 6);
    EXPECT_EQ(dump.size(), 341u * 6);  // whole entries only, under 2048 with the terminator
}

TEST_F(LinkUtilsTest, TimeDifference) {
    struct Case {
        timeval a, b;
        int expect;
    };
    const Case cases[] = {
        {{10, 0}, {10, 0}, 0},
        {{10, 0}, {10, 999}, 0},
        {{10, 0}, {10, 1000}, 1},
        {{10, 900000}, {11, 100000}, 200},  // a borrowed second
        {{10, 999}, {11, 0}, 999},
        {{0, 0}, {2000000, 0}, 2000000000},
        {{10, 1}, {10, 0}, -1},  // end before start
        {{11, 0}, {10, 999999}, -1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(common_tim_subtract(&c.a, &c.b), c.expect) << c.a.tv_sec << "." << c.a.tv_usec << " to "
                                                             << c.b.tv_sec << "." << c.b.tv_usec;
    }
    timeval t{};
    EXPECT_EQ(common_tim_subtract(nullptr, &t), -1);
}

TEST_F(LinkUtilsTest, SleepAndMask) {
    auto start = std::chrono::steady_clock::now();
    msleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(log_get_level(), 0x47u);
    log_set_level(0);
    socket_close(nullptr, 1);
    EXPECT_FALSE(logged("socket_close Error1"));
    log_set_level(0x47);
}

}  // namespace
