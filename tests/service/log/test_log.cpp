// Leveled logging: what is written, how lines are shaped, and many writers at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "plat.h"
#include "service_test.h"
#include "test_hooks.h"
#include "zptlog.h"

namespace {

class LogTest : public ServiceRootTest {
  protected:
    void SetUp() override {
        ServiceRootTest::SetUp();
        log_test_reset();
        make_dirs("/data");
        ASSERT_EQ(plat_logcat_set_file(host("/logcat").c_str()), 0);
    }
    void TearDown() override {
        log_test_reset();
        plat_logcat_set_file(nullptr);
        ServiceRootTest::TearDown();
    }
    std::string log() const { return read_file("/data/t.log"); }
};

TEST_F(LogTest, StartsAtDefaultLevelWithoutFile) {
    EXPECT_EQ(log_get_level(), 0x0Cu);
    log_write(0xFF, "nowhere");
    EXPECT_FALSE(exists("/data/t.log"));
}

TEST_F(LogTest, LevelMaskAndPathDecideWhatIsWritten) {
    struct Case {
        uint32_t level;
        uint32_t mask;
        bool path_set;
        bool written;
    };
    const Case cases[] = {
        {0x0C, 0x10, true, false}, {0x0C, 0x08, true, true},  {0x0C, 0x04, true, true},
        {0x0C, 0x03, true, false}, {0x01, 0x03, true, true},  {0x00, 0xFF, true, false},
        {0xFF, 0x01, false, false}, {0xFF, 0x20, true, true}, {0x20, 0x00, true, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case &c = cases[i];
        log_test_reset();
        unlink(host("/data/t.log").c_str());
        log_set_level(c.level);
        if (c.path_set) {
            ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
        }
        log_write(c.mask, "case %zu", i);
        std::string expect = c.written ? "case " + std::to_string(i) + "\n" : "";
        EXPECT_EQ(log(), expect) << "case " << i << " level " << c.level << " mask " << c.mask;
    }
}

TEST_F(LogTest, LinesEndWithOneNewline) {
    const std::pair<const char *, const char *> cases[] = {
        {"abc", "abc\n"}, {"abc\n", "abc\n"}, {"", "\n"}, {"a\nb", "a\nb\n"}, {"\n", "\n"},
    };
    log_set_level(0x08);
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    std::string expect;
    for (const auto &c : cases) {
        log_write(0x08, "%s", c.first);
        expect += c.second;
    }
    EXPECT_EQ(log(), expect);
}

TEST_F(LogTest, LongLinesAreCutToTheLineSize) {
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    for (size_t len : {size_t{1022}, size_t{1023}, size_t{1024}, size_t{2000}}) {
        unlink(host("/data/t.log").c_str());
        log_test_reset();
        ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
        std::string text(len, 'x');
        for (size_t i = 0; i < len; i += 7) text[i] = static_cast<char>('a' + i % 26);
        log_write(0x08, "%s", text.c_str());
        std::string expect = text.substr(0, std::min<size_t>(len, ZPTLOG_LINE_MAX)) + "\n";
        EXPECT_EQ(log(), expect) << "length " << len;
    }
}

TEST_F(LogTest, LevelChangeIsLoggedAndEchoedToAndroidLog) {
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    log_set_level(0x08);
    log_set_level(0x04);
    log_set_level(0x1C);
    EXPECT_EQ(log(), "log_set_level [8]\nlog_set_level [1c]\n");
    EXPECT_EQ(read_file("/logcat"), "D/ScanJni: log_set_level [8]\nD/ScanJni: log_set_level [1c]\n");
    EXPECT_EQ(log_get_level(), 0x1Cu);
}

TEST_F(LogTest, LevelChangeEchoesWithoutALogFile) {
    log_set_level(0x08);
    EXPECT_EQ(read_file("/logcat"), "D/ScanJni: log_set_level [8]\n");
    EXPECT_FALSE(exists("/data/t.log"));
}

TEST_F(LogTest, PathKeepsItsFirst99Characters) {
    EXPECT_EQ(log_set_filepath(nullptr), -1);
    std::string dir = "/data/" + std::string(80, 'd');
    make_dirs(dir);
    std::string path = dir + "/" + std::string(30, 'f');
    ASSERT_EQ(log_set_filepath(path.c_str()), 1);
    log_write(0x08, "kept");
    EXPECT_EQ(read_file(path.substr(0, ZPTLOG_PATH_MAX)), "kept\n");
}

TEST_F(LogTest, OpenLogStaysWhereItWasOpened) {
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    log_write(0x08, "first");
    ASSERT_EQ(log_set_filepath("/data/other.log"), 1);
    log_write(0x08, "second");
    EXPECT_EQ(log(), "first\nsecond\n");
    EXPECT_FALSE(exists("/data/other.log"));
}

TEST_F(LogTest, FileThatCannotBeOpenedIsRetriedAtTheNextLine) {
    ASSERT_EQ(log_set_filepath("/data/later/t.log"), 1);
    log_write(0x08, "lost");
    make_dirs("/data/later");
    log_write(0x08, "found");
    EXPECT_EQ(read_file("/data/later/t.log"), "found\n");
}

TEST_F(LogTest, LinesAppendToAnExistingFile) {
    write_file("/data/t.log", "old\n");
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    log_write(0x04, "new %d [%s]", 7, "x");
    EXPECT_EQ(log(), "old\nnew 7 [x]\n");
}

TEST_F(LogTest, EightThreadsLeaveEveryLineIntact) {
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    ASSERT_EQ(log_set_filepath("/data/t.log"), 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) log_write(0x08, "thread %d line %05d %s", t, i, "==========================");
        });
    }
    for (auto &th : threads) th.join();
    std::vector<std::string> lines = split_lines(log());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::set<std::string> seen(lines.begin(), lines.end());
    EXPECT_EQ(seen.size(), lines.size()) << "duplicated lines";
    char want[128];
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i) {
            snprintf(want, sizeof want, "thread %d line %05d %s", t, i, "==========================");
            ASSERT_EQ(seen.count(want), 1u) << want;
        }
    }
}

}  // namespace
