// Tests of the frame source: a platform root with a camera library in its library folder
// (this host's libframecam, or the stub that hands its callbacks to the test), its journal
// and the frame source's log lines.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framecam.h"
#include "framesource.h"
#include "module/stub_framecam.h"
#include "service_log.h"

inline constexpr const char *kCameraLibrary = "/system/lib64/libframecam.so";

// Threads of this process, as the kernel lists them.
inline int thread_count() {
    int n = 0;
    DIR *dir = opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    for (struct dirent *e = readdir(dir); e != nullptr; e = readdir(dir))
        if (e->d_name[0] != '.') ++n;
    closedir(dir);
    return n;
}

// One whole generated frame: every byte after the stamp is the stamp's low byte.
inline bool whole_frame(const uint8_t *buffer, int32_t length) {
    if (length < FRAMECAM_STAMP_BYTES) return false;
    const uint8_t low = static_cast<uint8_t>(framecam_frame_stamp(buffer));
    return std::all_of(buffer + FRAMECAM_STAMP_BYTES, buffer + length, [low](uint8_t b) { return b == low; });
}

// A grab as the drivers do it, polling: right after a frame arrived its slot may already be
// taking the next one, and a grab then finds nothing for a moment. 0 or -1 after 2 s.
inline int grab_polling(int64_t handle, uint8_t **buffer, int32_t *length) {
    for (int i = 0; i < 2000; ++i) {
        if (cam_rawframe_grab(handle, buffer, length) == 0) return 0;
        usleep(1000);
    }
    return -1;
}

inline long this_thread_id() { return static_cast<long>(syscall(SYS_gettid)); }

class CameraTest : public ServiceTest {
  protected:
    void TearDown() override {
        cam_deinit(handle_);
        if (stub_handle_ != nullptr) dlclose(stub_handle_);
        ServiceTest::TearDown();
    }

    // Puts a camera library where the frame source looks for it.
    void install(const char *host_library) {
        make_dirs("/system/lib64");
        ASSERT_EQ(symlink(host_library, host(kCameraLibrary).c_str()), 0);
    }
    void install_host_library() { install(FRAMECAM_LIB); }
    // The stub, and its record once the frame source has loaded it.
    void install_stub() { install(STUB_FRAMECAM_LIB); }
    StubFramecam *stub() {
        if (stub_handle_ == nullptr) stub_handle_ = dlopen(host(kCameraLibrary).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (stub_handle_ == nullptr) return nullptr;
        auto state = reinterpret_cast<StubFramecamStateFn>(dlsym(stub_handle_, "stub_framecam_state"));
        return state != nullptr ? state() : nullptr;
    }

    void write_settings(const std::string &text) { write_file(FRAMECAM_CONFIG_PATH, text); }

    std::vector<std::string> journal() const { return split_lines(read_file(FRAMECAM_JOURNAL_PATH)); }
    // Journal lines that are this call (its name followed by a space).
    int calls(const std::string &name) const {
        std::vector<std::string> lines = journal();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string &l) { return l.rfind(name + " ", 0) == 0; }));
    }

    int64_t handle_ = 0;
    void *stub_handle_ = nullptr;
};
