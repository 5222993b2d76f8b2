// A reader against the camera library's thread: every frame it is lent is one whole frame.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "camera_test.h"

namespace {

class TornFrameTest : public CameraTest {};

// 752 x 480 frames at 200 a second for 3 seconds; the reader holds each frame for 10 ms.
TEST_F(TornFrameTest, EveryGrabbedBufferHoldsOneWholeFrame) {
    install_host_library();
    write_settings("rate=200\n");
    constexpr uint32_t kWidth = 752, kHeight = 480;
    handle_ = cam_init(0, 0, 3, kWidth, kHeight, nullptr, nullptr);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(cam_open(handle_), 0);
    ASSERT_EQ(cam_stream_start(handle_), 0);

    // A fixed number of grabs, however slowly a loaded machine (or a sanitizer) delivers
    // them; the time limit only guards against frames that never come.
    constexpr int kGrabs = 100;
    int grabs = 0, torn = 0;
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (grabs < kGrabs && std::chrono::steady_clock::now() < guard) {
        uint8_t *buffer = nullptr;
        int32_t length = 0;
        if (cam_rawframe_grab(handle_, &buffer, &length) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ++grabs;
        ASSERT_EQ(length, static_cast<int32_t>(kWidth * kHeight));
        const uint32_t stamp = framecam_frame_stamp(buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Checked after the hold: the writer must have kept off the slot meanwhile.
        if (!whole_frame(buffer, length) || framecam_frame_stamp(buffer) != stamp) ++torn;
        ASSERT_EQ(cam_rawframe_grab_free(handle_), 0);
    }
    ASSERT_EQ(cam_stream_stop(handle_), 0);
    EXPECT_EQ(grabs, kGrabs) << "frames stopped arriving";
    EXPECT_EQ(torn, 0) << "of " << grabs << " grabs";
}

}  // namespace
