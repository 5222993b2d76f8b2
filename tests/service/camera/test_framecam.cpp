// This host's camera library: image files as frames, its controls, the end of its frame
// thread, and its functions beside the frame source's of the same names.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "camera_test.h"
#include "imageio/image_io.h"
#include "imageio/scale.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

imageio::Frame gradient(int w, int h) {
    imageio::Frame f(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f.At(x, y) = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
    return f;
}

std::vector<uint8_t> rgb_pattern(int w, int h) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            rgb.push_back(static_cast<uint8_t>(x * 3));
            rgb.push_back(static_cast<uint8_t>(y * 5));
            rgb.push_back(static_cast<uint8_t>((x ^ y) * 2));
        }
    return rgb;
}

// The frame a camera of kWidth x kHeight must serve for an image: the image as the image
// library reads it, scaled down to fit x fh when given, centred on the background.
std::vector<uint8_t> expected_frame(const std::string &host_path, int fw, int fh, uint8_t background) {
    imageio::Frame image;
    std::string error;
    EXPECT_TRUE(imageio::LoadImage(host_path, &image, &error)) << error;
    if (fw != image.width || fh != image.height) image = imageio::ScaleDown(image, fw, fh);
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth * kHeight), background);
    const int x0 = (kWidth - image.width) / 2, y0 = (kHeight - image.height) / 2;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) frame[static_cast<size_t>((y0 + y) * kWidth + x0 + x)] = image.At(x, y);
    return frame;
}

class FramecamTest : public CameraTest {
  protected:
    void SetUp() override {
        CameraTest::SetUp();
        install_host_library();
    }
};

TEST_F(FramecamTest, ImagesBecomeFramesCentredOnTheBackground) {
    make_dirs("/data/img");
    std::string error;
    ASSERT_TRUE(imageio::WritePgm(host("/data/img/small.pgm"), gradient(100, 60), &error)) << error;
    ASSERT_TRUE(imageio::WritePngRgb(host("/data/img/colour.png"), 81, 47, rgb_pattern(81, 47), &error)) << error;
    ASSERT_TRUE(imageio::WritePng(host("/data/img/wide.png"), gradient(1000, 300), &error)) << error;
    ASSERT_TRUE(imageio::WritePgm(host("/data/img/tall.pgm"), gradient(200, 480), &error)) << error;
    write_file(FRAMECAM_IMAGES_PATH, "/data/img/small.pgm\n/data/img/colour.png\n/data/img/wide.png\n/data/img/tall.pgm\n");
    write_settings("rate=100\nbackground=40\n");
    struct Case {
        int index;
        const char *path;
        int fit_width, fit_height;  // the image's size in the frame
    };
    const Case cases[] = {
        {1, "/data/img/small.pgm", 100, 60},
        {2, "/data/img/colour.png", 81, 47},
        {3, "/data/img/wide.png", 320, 96},   // wider than the frame: the width decides
        {4, "/data/img/tall.pgm", 100, 240},  // taller: the height decides
    };
    handle_ = cam_init(0, 0, 3, kWidth, kHeight, nullptr, nullptr);
    ASSERT_EQ(cam_open(handle_), 0);
    // Stopped: the wait answers at once, as the next frame will be of the selection.
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_WAIT_FRAME, 0, nullptr), 0);
    ASSERT_EQ(cam_stream_start(handle_), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, c.index, nullptr), 0);
        ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_WAIT_FRAME, 2000, nullptr), 0);
        uint8_t *buffer = nullptr;
        int32_t length = 0;
        ASSERT_EQ(grab_polling(handle_, &buffer, &length), 0);
        ASSERT_EQ(length, kWidth * kHeight);
        EXPECT_TRUE(std::vector<uint8_t>(buffer, buffer + length) ==
                    expected_frame(host(c.path), c.fit_width, c.fit_height, 40));
        ASSERT_EQ(cam_rawframe_grab_free(handle_), 0);
    }
    // Outside the list, or an image that cannot be read: refused, the selection stays.
    write_file("/data/img/broken.pgm", "P5 10 10 255\n");
    write_file(FRAMECAM_IMAGES_PATH, "/data/img/small.pgm\n/data/img/broken.pgm\n");
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, 3, nullptr), -1);
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, 2, nullptr), -1);
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_SELECT, -1, nullptr), -1);
    const std::vector<std::string> lines = journal();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "cam_ioctrl " + std::to_string(handle_) + " 0x70 3"), lines.end());
}

// The answers a test asks for: one for a given control, once, ahead of the one for the next
// control of any code; and the notify callback handed out for a late notification.
TEST_F(FramecamTest, ControlAnswersAndTheNotifyCallback) {
    handle_ = cam_init(0, 0, 2, 32, 24, nullptr, nullptr);
    ASSERT_NE(handle_, 0);
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_ANSWER_CODE, 0x23, nullptr), -1);
    int refused = 7;
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_ANSWER_CODE, 0x23, &refused), 0);
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_ANSWER_NEXT, 5, nullptr), 0);
    const int expected[][2] = {{0x22, 5}, {0x23, 7}, {0x23, 0}, {0x22, 0}};
    for (const auto &control : expected)
        EXPECT_EQ(cam_ioctrl(handle_, control[0], 1, nullptr), control[1]) << std::hex << control[0];
    EXPECT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY_FN, 0, nullptr), -1);
    FRAMECAM_NOTIFY_FN notify = nullptr;
    ASSERT_EQ(cam_ioctrl(handle_, FRAMECAM_IOCTRL_NOTIFY_FN, 0, &notify), 0);
    EXPECT_NE(notify, nullptr);
}

// The library used directly, as a camera process would.
struct OwnLibrary {
    void *handle = nullptr;
    FRAMECAM_INIT_FN init = nullptr;
    FRAMECAM_HANDLE_FN open = nullptr, start = nullptr, stop = nullptr, deinit = nullptr;
    bool load(int mode) {
        handle = dlopen(FRAMECAM_LIB, RTLD_NOW | mode);
        if (handle == nullptr) return false;
        init = reinterpret_cast<FRAMECAM_INIT_FN>(dlsym(handle, "cam_init"));
        open = reinterpret_cast<FRAMECAM_HANDLE_FN>(dlsym(handle, "cam_open"));
        start = reinterpret_cast<FRAMECAM_HANDLE_FN>(dlsym(handle, "cam_start"));
        stop = reinterpret_cast<FRAMECAM_HANDLE_FN>(dlsym(handle, "cam_stop"));
        deinit = reinterpret_cast<FRAMECAM_HANDLE_FN>(dlsym(handle, "cam_deinit"));
        return init && open && start && stop && deinit;
    }
    ~OwnLibrary() {
        if (handle != nullptr) dlclose(handle);
    }
};

std::atomic<int> g_frames{0};
std::atomic<bool> g_in_callback{false};

int slow_frame(uint64_t, const uint8_t *, uint64_t) {
    g_in_callback = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    ++g_frames;
    g_in_callback = false;
    return 0;
}

TEST_F(FramecamTest, NoFrameCallbackAfterStopReturns) {
    OwnLibrary lib;
    ASSERT_TRUE(lib.load(RTLD_LOCAL)) << dlerror();
    write_settings("rate=500\n");
    g_frames = 0;
    const int64_t camera = lib.init(0, 0, 32, 24, slow_frame, nullptr);
    ASSERT_NE(camera, 0);
    EXPECT_EQ(lib.start(camera), -1);  // not open
    ASSERT_EQ(lib.open(camera), 0);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(lib.start(camera), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(lib.stop(camera), 0);
        EXPECT_FALSE(g_in_callback.load());
        const int frames = g_frames.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(g_frames.load(), frames) << "round " << round;
    }
    EXPECT_GT(g_frames.load(), 0);
    EXPECT_EQ(lib.deinit(camera), 0);
    EXPECT_EQ(lib.deinit(camera), -1);  // handed back already
}

// Both libraries export cam_init, cam_open, cam_close, cam_ioctrl and cam_deinit with
// other signatures; the camera library is also in the global scope here, behind the frame
// source this test links. Each reaches its own functions.
TEST_F(FramecamTest, EachLibraryReachesItsOwnFunctions) {
    OwnLibrary lib;
    ASSERT_TRUE(lib.load(RTLD_GLOBAL)) << dlerror();

    const int64_t own = lib.init(5, 6, 32, 24, slow_frame, nullptr);
    ASSERT_NE(own, 0);
    EXPECT_EQ(journal().back(), "cam_init 5 6 32 24 = " + std::to_string(own));
    EXPECT_EQ(cam_open(0), -1);  // the frame source has no state
    EXPECT_EQ(lib.deinit(own), 0);

    handle_ = cam_init(7, 8, 2, 32, 24, nullptr, nullptr);
    ASSERT_NE(handle_, 0);
    EXPECT_EQ(journal().back(), "cam_init 7 8 32 24 = " + std::to_string(handle_));
    ASSERT_EQ(cam_open(handle_), 0);
    EXPECT_EQ(cam_get_state(), 1u);

    // The camera library's cam_deinit closes an open camera with its own cam_close; the
    // frame source's state is not touched.
    ASSERT_EQ(lib.deinit(handle_), 0);
    std::vector<std::string> lines = journal();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "cam_deinit " + std::to_string(handle_));
    EXPECT_EQ(lines.back(), "cam_close " + std::to_string(handle_));
    EXPECT_EQ(cam_get_state(), 1u);
    handle_ = 0;  // handed back already
}

}  // namespace
