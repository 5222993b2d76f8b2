// Pushes of the lottery-terminal image to a real listener: refused, delivered, and a
// listener that closes at once.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "lottery_test.h"

namespace {

// The process's open sockets.
int open_sockets() {
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int n = 0;
    while (dirent *entry = readdir(dir)) {
        char link[64] = "";
        std::string path = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length > 0 && strncmp(link, "socket:", 7) == 0) ++n;
    }
    closedir(dir);
    return n;
}

class LocalPushTest : public LotteryTest {
  protected:
    void SetUp() override {
        LotteryTest::SetUp();
        signal(SIGPIPE, SIG_DFL);
    }
    void TearDown() override {
        socket_local_close();
        LotteryTest::TearDown();
    }
};

TEST_F(LocalPushTest, NothingListeningIsRefused) {
    int before = open_sockets();
    EXPECT_EQ(socket_local_send(reinterpret_cast<const uint8_t *>("abc"), 3), -2);
    EXPECT_EQ(open_sockets(), before);
}

TEST_F(LocalPushTest, AReadingListenerGetsTheImage) {
    int listener = listen_on(kLocalSocket);
    ASSERT_GE(listener, 0);
    std::string received[2];
    std::thread reader([&] {
        for (std::string &r : received) {
            int fd = accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            r = read_all(fd);
            close(fd);
        }
    });
    std::vector<uint8_t> image(1000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(socket_local_send(image.data(), static_cast<uint32_t>(image.size())), 0);
    // The next push closes the previous connection; a longer image is cut to the buffer.
    std::vector<uint8_t> large(kImageSize + 1000, 0x33);
    EXPECT_EQ(socket_local_send(large.data(), static_cast<uint32_t>(large.size())), 0);
    socket_local_close();
    socket_local_close();
    reader.join();
    close(listener);
    EXPECT_EQ(received[0], std::string(image.begin(), image.end()));
    EXPECT_EQ(received[1], std::string(kImageSize, '\x33'));
    EXPECT_TRUE(logged("socket_local_send [541440] ret [541440]"));
}

TEST_F(LocalPushTest, AListenerThatClosesAtOnceNeverEndsTheProcess) {
    int listener = listen_on(kLocalSocket);
    ASSERT_GE(listener, 0);
    int baseline = open_sockets();
    std::atomic<int> closed{0};
    std::thread acceptor([&] {
        for (int i = 0; i < 100; ++i) {
            int fd = accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            close(fd);
            closed.fetch_add(1);
        }
    });
    std::vector<uint8_t> image(kImageSize, 0x44);
    int sent = 0, failed = 0;
    for (int i = 0; i < 100; ++i) {
        int result = socket_local_send(image.data(), static_cast<uint32_t>(image.size()));
        ASSERT_TRUE(result == 0 || result == -5) << result;
        (result == 0 ? sent : failed)++;
        ASSERT_TRUE(eventually([&] { return closed.load() == i + 1; }));
        // A push that failed leaves no connection; one that went out keeps its own.
        EXPECT_EQ(open_sockets(), baseline + (result == 0 ? 1 : 0)) << "push " << i << " gave " << result;
    }
    acceptor.join();
    close(listener);
    printf("100 pushes to a listener that closes at once: %d sent, %d failed\n", sent, failed);
}

}  // namespace
