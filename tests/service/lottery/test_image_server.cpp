// The lottery-terminal image server with real clients: fills, whole frames under
// concurrent fills, clients that close at once or never read.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "lottery_test.h"

namespace {

class ImageServerTest : public LotteryTest {
  protected:
    void SetUp() override {
        LotteryTest::SetUp();
        // A write to a closed peer must not end the process: the signal stays at its default.
        signal(SIGPIPE, SIG_DFL);
        ASSERT_EQ(socket_service_init(), 0);
    }
};

TEST_F(ImageServerTest, ServesTheLastFrameWholeAndSavesIt) {
    EXPECT_EQ(fetch(), std::string(kImageSize, '\x80')) << "before any fill";
    EXPECT_TRUE(eventually([this] { return saves() == 1; }));
    EXPECT_EQ(read_file("/data/barcode.yuv"), std::string(kImageSize, '\x80'));

    std::vector<uint8_t> older(kLumaSize, 0x11), hundred(100);
    for (int i = 0; i < 100; ++i) hundred[i] = static_cast<uint8_t>(i + 1);
    socket_service_fill_buf(older.data(), static_cast<uint32_t>(older.size()));
    socket_service_fill_buf(hundred.data(), 100);
    std::string served = fetch();
    ASSERT_EQ(served.size(), kImageSize);
    EXPECT_EQ(served.substr(0, 100), std::string(hundred.begin(), hundred.end()));
    EXPECT_EQ(served.substr(100, kLumaSize - 100), std::string(kLumaSize - 100, '\x11'));
    EXPECT_EQ(served.substr(kLumaSize), std::string(kImageSize - kLumaSize, '\x80'));
    EXPECT_TRUE(eventually([this] { return saves() == 2; }));
    EXPECT_EQ(read_file("/data/barcode.yuv"), served);

    // A frame of two bytes a pixel: only the grey plane's size is copied.
    std::vector<uint8_t> wide(752 * 480 * 2, 0x22);
    socket_service_fill_buf(wide.data(), static_cast<uint32_t>(wide.size()));
    socket_service_fill_buf(nullptr, 100);
    served = fetch();
    EXPECT_EQ(served, std::string(kLumaSize, '\x22') + std::string(kImageSize - kLumaSize, '\x80'));
    EXPECT_TRUE(logged("image mBufLen=721920"));

    EXPECT_EQ(socket_service_init(), -1) << "the name is taken by the running server";
    EXPECT_EQ(fetch().size(), kImageSize) << "the first server still serves";
}

TEST_F(ImageServerTest, ClientsThatCloseOrNeverReadDoNotStopTheServer) {
    int quitter = connect_counted();
    ASSERT_GE(quitter, 0);
    close(quitter);
    int sleeper = connect_counted();
    ASSERT_GE(sleeper, 0);
    // The next client waits behind the one that never reads, then gets the whole frame.
    EXPECT_EQ(fetch(), std::string(kImageSize, '\x80'));
    close(sleeper);
    EXPECT_EQ(fetch().size(), kImageSize);
}

TEST_F(ImageServerTest, FillsDuringReadsServeWholeFrames) {
    std::atomic<bool> stop{false};
    std::atomic<int> fills{0};
    std::thread filler([&] {
        std::vector<uint8_t> frame(kLumaSize);
        auto next = std::chrono::steady_clock::now();
        for (int stamp = 1; !stop.load(); ++stamp) {
            // Stamps 1..100: never the chroma's 0x80.
            memset(frame.data(), 1 + stamp % 100, frame.size());
            socket_service_fill_buf(frame.data(), static_cast<uint32_t>(frame.size()));
            fills.fetch_add(1);
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    });
    // The filler stops and is joined however the test ends.
    struct Stopper {
        std::atomic<bool> &stop;
        std::thread &thread;
        ~Stopper() {
            stop.store(true);
            thread.join();
        }
    } stopper{stop, filler};
    ASSERT_TRUE(eventually([&] { return fills.load() > 0; }));
    // At least a second of fills and a few reads, however slow the reads are here.
    int reads = 0;
    while (fills.load() < 100 || reads < 3) {
        std::string served = fetch();
        ASSERT_EQ(served.size(), kImageSize);
        EXPECT_EQ(served.find_first_not_of(served[0]), kLumaSize) << "one frame, then the chroma";
        ++reads;
    }
}

}  // namespace
