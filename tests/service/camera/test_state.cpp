// The camera state and the ring's life, seen through this host's camera library's journal.
#include <gtest/gtest.h>

#include <algorithm>

#include "camera_test.h"

namespace {

class StateTest : public CameraTest {
  protected:
    void SetUp() override {
        CameraTest::SetUp();
        install_host_library();
        write_settings("rate=200\n");
    }

    // Streams until a frame was delivered, grabs it and checks it is one whole frame of
    // width x height.
    void grab_one(uint32_t width, uint32_t height) {
        ASSERT_EQ(cam_stream_start(handle_), 0);
        ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_WAIT_FRAME, 2000, nullptr), 0);
        uint8_t *buffer = nullptr;
        int32_t length = 0;
        ASSERT_EQ(grab_polling(handle_, &buffer, &length), 0);
        EXPECT_EQ(length, static_cast<int32_t>(width * height));
        EXPECT_TRUE(whole_frame(buffer, length));
        EXPECT_EQ(cam_rawframe_grab_free(handle_), 0);
    }
};

TEST_F(StateTest, OpenStartStopCloseCallTheLibraryOnlyWhenTheStateChanges) {
    handle_ = cam_init(1, 2, 3, 64, 48, nullptr, nullptr);
    ASSERT_NE(handle_, 0);
    EXPECT_EQ(journal().front(), "cam_init 1 2 64 48 = " + std::to_string(handle_));
    EXPECT_EQ(cam_get_state(), 0u);

    EXPECT_EQ(cam_open(handle_), 0);
    EXPECT_EQ(cam_open(handle_), 0);
    EXPECT_EQ(calls("cam_open"), 1);
    EXPECT_EQ(cam_get_state(), 1u);
    EXPECT_TRUE(logged("cam_open mCameraParam->mCameraState [1]"));

    EXPECT_EQ(cam_stream_stop(handle_), -1);
    EXPECT_EQ(calls("cam_stop"), 0);

    EXPECT_EQ(cam_stream_start(handle_), 0);
    EXPECT_EQ(cam_stream_start(handle_), 0);
    EXPECT_EQ(calls("cam_start"), 1);
    EXPECT_EQ(cam_get_state(), 3u);

    EXPECT_EQ(cam_stream_stop(handle_), 0);
    EXPECT_EQ(cam_get_state(), 1u);
    EXPECT_EQ(cam_close(handle_), 0);
    EXPECT_EQ(cam_get_state(), 0u);
    EXPECT_EQ(cam_close(handle_), 0);
    EXPECT_EQ(calls("cam_close"), 1);
    EXPECT_EQ(calls("cam_stop"), 1);
    EXPECT_TRUE(logged("cam_close_interface mCameraParam->mCameraState [0]"));
}

TEST_F(StateTest, FailuresOfTheLibraryLeaveTheStateAlone) {
    handle_ = cam_init(0, 0, 2, 64, 48, nullptr, nullptr);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_FAIL_NEXT, FRAMECAM_FAIL_OPEN | FRAMECAM_FAIL_START, nullptr), 0);
    EXPECT_EQ(cam_open(handle_), -1);
    EXPECT_EQ(cam_get_state(), 0u);
    EXPECT_EQ(cam_open(handle_), 0);
    EXPECT_EQ(cam_stream_start(handle_), -1);
    EXPECT_EQ(cam_get_state(), 1u);
}

TEST_F(StateTest, WithoutTheLibraryEveryCallFails) {
    unlink(host(kCameraLibrary).c_str());
    EXPECT_EQ(cam_init(0, 0, 3, 64, 48, nullptr, nullptr), 0);
    EXPECT_TRUE(logged("Camera Init Error\n"));
    EXPECT_EQ(cam_open(0), -1);
    EXPECT_EQ(cam_stream_start(0), -1);
    EXPECT_EQ(cam_stream_stop(0), -1);
    EXPECT_EQ(cam_close_interface(0), -1);
    EXPECT_EQ(cam_stream_stop_interface(0), -1);
    EXPECT_EQ(cam_ioctrl(0, FRAMECAM_IOCTRL_SELECT, 0, nullptr), -1);
    EXPECT_EQ(cam_get_state(), 0u);
    uint8_t *buffer = nullptr;
    int32_t length = 0;
    EXPECT_EQ(cam_rawframe_grab(0, &buffer, &length), -1);
}

// Counts of 0 or below and sizes without a slot create nothing: no thread, no library call.
TEST_F(StateTest, RefusedCountsAndSizesCreateNothing) {
    const int threads = thread_count();
    struct Case {
        int32_t count;
        uint32_t width, height;
    };
    const Case cases[] = {{0, 64, 48}, {-1, 64, 48}, {3, 0, 48}, {3, 64, 0}, {3, 65536, 65536}, {3, 32768, 32768}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(cam_init(0, 0, c.count, c.width, c.height, nullptr, nullptr), 0);
        EXPECT_EQ(cam_open(0), -1);  // no state
        EXPECT_EQ(thread_count(), threads);
    }
    EXPECT_EQ(calls("cam_init"), 0);
}

// An engine switch to larger frames: the ring grows once the camera is closed and empty.
TEST_F(StateTest, ALaterInitWithLargerFramesGrowsTheRing) {
    handle_ = cam_init(0, 0, 3, 640, 480, nullptr, nullptr);
    ASSERT_EQ(cam_open(handle_), 0);
    grab_one(640, 480);
    ASSERT_EQ(cam_stream_stop(handle_), 0);
    ASSERT_EQ(cam_close(handle_), 0);
    ASSERT_EQ(cam_rawframe_grab_free_all(handle_), 0);

    const int64_t first = handle_;
    handle_ = cam_init(0, 0, 1, 1280, 960, nullptr, nullptr);
    ASSERT_NE(handle_, 0);
    // The earlier camera went back to the library before the new one was made.
    std::vector<std::string> lines = journal();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "cam_deinit " + std::to_string(first));
    ASSERT_EQ(cam_open(handle_), 0);
    // Three slots still: the count stays the first call's. The stream is stopped before
    // each grab, so that the newest frame is in a slot nobody has grabbed yet.
    uint8_t *buffers[3] = {};
    int32_t length = 0;
    for (uint8_t *&b : buffers) {
        ASSERT_EQ(cam_stream_start(handle_), 0);
        ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, 0, nullptr), 0);
        ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_WAIT_FRAME, 2000, nullptr), 0);
        ASSERT_EQ(cam_stream_stop(handle_), 0);
        ASSERT_EQ(cam_rawframe_grab(handle_, &b, &length), 0);
        EXPECT_EQ(length, 1280 * 960);
        EXPECT_TRUE(whole_frame(b, length));
    }
    EXPECT_NE(buffers[0], buffers[1]);
    EXPECT_NE(buffers[1], buffers[2]);
    EXPECT_NE(buffers[0], buffers[2]);
}

TEST_F(StateTest, ALaterInitWithLargerFramesIsRefusedWhileTheRingIsInUse) {
    handle_ = cam_init(0, 0, 3, 640, 480, nullptr, nullptr);
    ASSERT_EQ(cam_open(handle_), 0);
    // Open: refused, nothing changed.
    EXPECT_EQ(cam_init(0, 0, 3, 1280, 960, nullptr, nullptr), 0);
    EXPECT_TRUE(logged("cam_init frames [1280x960] need larger slots, camera state [1]"));
    EXPECT_EQ(calls("cam_init"), 1);
    EXPECT_EQ(cam_get_state(), 1u);
    grab_one(640, 480);

    // Closed, but a slot is lent out: refused.
    uint8_t *buffer = nullptr;
    int32_t length = 0;
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, 0, nullptr), 0);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_WAIT_FRAME, 2000, nullptr), 0);
    ASSERT_EQ(grab_polling(handle_, &buffer, &length), 0);
    ASSERT_EQ(cam_stream_stop(handle_), 0);
    ASSERT_EQ(cam_close(handle_), 0);
    EXPECT_EQ(cam_init(0, 0, 3, 1280, 960, nullptr, nullptr), 0);
    EXPECT_TRUE(logged("cam_init frames [1280x960] need larger slots, a slot is in use"));
    EXPECT_EQ(calls("cam_init"), 1);
    // The lent frame is untouched and still whole.
    EXPECT_EQ(length, 640 * 480);
    EXPECT_TRUE(whole_frame(buffer, length));

    // Frames that fit the slots need no new ring: accepted at once.
    EXPECT_EQ(cam_rawframe_grab_free(handle_), 0);
    handle_ = cam_init(0, 0, 3, 320, 240, nullptr, nullptr);
    EXPECT_NE(handle_, 0);
}

}  // namespace
