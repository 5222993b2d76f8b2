// Tests of the configuration code: a fresh root per test with the run-time libraries
// linked as a test asks, and every library and document released at the end.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

#include "readercore.h"
#include "sandbox.h"
#include "service_log.h"

class ConfigTest : public ServiceTest {
  protected:
    void TearDown() override {
        zptconfig_deinit();
        ExDecode_Free();
        XmlLibFree();
        OpensslFree();
        SqliteFree();
        ServiceTest::TearDown();
    }

    void link(unsigned libraries) { ASSERT_TRUE(svc_sandbox::link_libraries(root_, libraries)); }
    void unlink_device(const std::string &device_path) { ::unlink(host(device_path).c_str()); }
    // Renders a template to a device path, encrypted under the configuration key when asked.
    void write_config(const std::string &device_path, const std::string &name, const svc_sandbox::Vars &vars,
                      bool encrypt) {
        ASSERT_TRUE(svc_sandbox::write_config(root_, device_path, name, vars, encrypt)) << name;
    }
    std::string render(const std::string &name, const svc_sandbox::Vars &vars) {
        std::string text;
        EXPECT_TRUE(svc_sandbox::render_template(name, vars, &text)) << name;
        return text;
    }
    size_t count_logged(const std::string &needle) const {
        std::string log = log_text();
        size_t count = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++count;
        return count;
    }
};

// Tells whether a host file was opened or read while the watch was held.
class FileWatch {
  public:
    explicit FileWatch(const std::string &host_path) {
        fd_ = inotify_init1(IN_NONBLOCK);
        if (fd_ >= 0) wd_ = inotify_add_watch(fd_, host_path.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~FileWatch() {
        if (fd_ >= 0) close(fd_);
    }
    bool valid() const { return fd_ >= 0 && wd_ >= 0; }
    bool touched() const {
        alignas(struct inotify_event) char buf[4096];
        return read(fd_, buf, sizeof buf) > 0;
    }

  private:
    int fd_ = -1;
    int wd_ = -1;
};
