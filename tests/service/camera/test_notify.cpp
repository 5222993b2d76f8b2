// Notifications of the camera library and the life of the frame source's thread.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "camera_test.h"

namespace {

// What the driver's notify callback saw; the first call can be held to let
// notifications pile up behind it.
struct Driver {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> commands;
    std::vector<int> args;
    std::vector<long> threads;
    std::vector<void *> users;
    bool hold_first = false;
    bool released = false;

    static int notify(int command, int arg, void *user) {
        Driver *d = static_cast<Driver *>(user);
        std::unique_lock<std::mutex> guard(d->lock);
        d->commands.push_back(command);
        d->args.push_back(arg);
        d->threads.push_back(this_thread_id());
        d->users.push_back(user);
        d->changed.notify_all();
        if (d->hold_first && d->commands.size() == 1) d->changed.wait(guard, [d] { return d->released; });
        return 0;
    }

    bool wait_for(size_t n) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return commands.size() >= n; });
    }
};

class NotifyTest : public CameraTest {
  protected:
    void SetUp() override {
        CameraTest::SetUp();
        install_host_library();
    }
    Driver driver_;
};

TEST_F(NotifyTest, ReachesTheDriversCallbackOnTheFrameSourcesThread) {
    handle_ = cam_init(0, 0, 2, 64, 48, Driver::notify, &driver_);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, 7, nullptr), 0);
    ASSERT_TRUE(driver_.wait_for(1));
    std::lock_guard<std::mutex> guard(driver_.lock);
    EXPECT_EQ(driver_.commands, std::vector<int>{7});
    EXPECT_EQ(driver_.args, std::vector<int>{0});
    EXPECT_EQ(driver_.users, std::vector<void *>{&driver_});
    EXPECT_NE(driver_.threads[0], this_thread_id());
    EXPECT_TRUE(logged("cam_notify_proc Cmd [7]"));
    EXPECT_TRUE(logged("Cam_Thread_Func Cmd [7]"));
}

// Only the last command is kept: two that arrive while the thread is busy are both
// delivered as the newer one.
TEST_F(NotifyTest, TwoBeforeTheThreadRunsDeliverTheNewerTwice) {
    driver_.hold_first = true;
    handle_ = cam_init(0, 0, 2, 64, 48, Driver::notify, &driver_);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, 1, nullptr), 0);
    ASSERT_TRUE(driver_.wait_for(1));
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, 2, nullptr), 0);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, 3, nullptr), 0);
    {
        std::lock_guard<std::mutex> guard(driver_.lock);
        driver_.released = true;
        driver_.changed.notify_all();
    }
    ASSERT_TRUE(driver_.wait_for(3));
    std::lock_guard<std::mutex> guard(driver_.lock);
    EXPECT_EQ(driver_.commands, (std::vector<int>{1, 3, 3}));
}

// A notification without a driver callback is taken and dropped.
TEST_F(NotifyTest, WithoutACallbackNothingIsCalled) {
    handle_ = cam_init(0, 0, 2, 64, 48, nullptr, nullptr);
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, 4, nullptr), 0);
}

// Every round's notification thread is stopped and joined by cam_deinit, and a later first
// cam_init starts a new one that works. Leaks show under LeakSanitizer.
TEST_F(NotifyTest, RoundsOfInitAndDeinitLeaveNoThreadBehind) {
    // One round first: a sanitizer runtime starts a thread of its own with the first thread
    // the process makes, and that one stays.
    handle_ = cam_init(0, 0, 3, 64, 48, Driver::notify, &driver_);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(cam_deinit(handle_), 0);
    handle_ = 0;
    const int threads = thread_count();
    for (int round = 0; round < 100; ++round) {
        handle_ = cam_init(0, 0, 3, 64, 48, Driver::notify, &driver_);
        ASSERT_NE(handle_, 0) << "round " << round;
        if (round % 25 == 0) {
            ASSERT_EQ(cam_open(handle_), 0);
            ASSERT_EQ(cam_stream_start(handle_), 0);
            ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY, round, nullptr), 0);
            ASSERT_TRUE(driver_.wait_for(static_cast<size_t>(round / 25 + 1)));
        }
        ASSERT_EQ(cam_deinit(handle_), 0);
        handle_ = 0;
    }
    EXPECT_EQ(thread_count(), threads);
    EXPECT_EQ(calls("cam_init"), 101);
    EXPECT_EQ(calls("cam_deinit"), 101);
}

}  // namespace
