// Lottery-terminal tests: the runtime as the service loads it (the shared library), a
// decoder module copied into the root, and clients of the image server. The server runs
// until the process ends (each test is a process of its own): a test waits until every
// connection it made has been saved, so that no save outlives the test's root.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "service_log.h"
#include "wrapper/module/fake_calls.h"

inline constexpr char kServiceSocket[] = "com.corvane.brevik.servicesocket";
inline constexpr char kLocalSocket[] = "com.corvane.brevik.localsocket";
inline constexpr size_t kImageSize = 541440;
inline constexpr size_t kLumaSize = 360960;

inline socklen_t abstract_address(const char *name, sockaddr_un *address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    size_t length = strlen(name);
    memcpy(address->sun_path + 1, name, length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

// A connected client socket, or -1.
inline int connect_to(const char *name) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    socklen_t length = abstract_address(name, &address);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// A listening socket on name, or -1.
inline int listen_on(const char *name) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    socklen_t length = abstract_address(name, &address);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 && listen(fd, 8) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// Everything a socket gives until the end of the stream.
inline std::string read_all(int fd) {
    std::string bytes;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
    return bytes;
}

class LotteryTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        make_dirs("/data");  // where the served frame is saved
    }
    void TearDown() override {
        // Every served connection ends with its save to the root.
        EXPECT_TRUE(eventually([this] { return saves() >= connections_; })) << saves() << " of " << connections_;
        property_set("ro.build.scanner.api", "");
        X3_Free();
        for (void *h : handles_) dlclose(h);
        ServiceTest::TearDown();
    }

    // A decoder module as "libvexo3.so" of the root, also held by the test.
    void install_decoder(const char *module) {
        std::string bytes = read_host_file(module);
        ASSERT_FALSE(bytes.empty()) << module;
        write_file("/system/lib64/libvexo3.so", bytes);
        void *h = dlopen(host("/system/lib64/libvexo3.so").c_str(), RTLD_NOW);
        ASSERT_NE(h, nullptr) << dlerror();
        handles_.push_back(h);
    }
    template <typename Fn>
    Fn decoder_fn(const char *name) {
        return handles_.empty() ? nullptr : reinterpret_cast<Fn>(dlsym(handles_[0], name));
    }
    std::string calls() {
        auto fn = decoder_fn<const char *(*)()>("fake_decoder_calls");
        return fn != nullptr ? plain_calls(fn()) : "<not loaded>";
    }
    void clear_calls() {
        auto fn = decoder_fn<void (*)()>("fake_decoder_clear");
        ASSERT_NE(fn, nullptr);
        fn();
    }

    // One whole serving of the image server.
    std::string fetch() {
        int fd = connect_to(kServiceSocket);
        if (fd < 0) return "<refused>";
        ++connections_;
        std::string bytes = read_all(fd);
        close(fd);
        return bytes;
    }
    // A connection counted for the saves it causes, left to the caller.
    int connect_counted() {
        int fd = connect_to(kServiceSocket);
        if (fd >= 0) ++connections_;
        return fd;
    }
    size_t saves() const {
        std::string log = log_text();
        size_t n = 0;
        const std::string needle = "SaveFile [/data/barcode.yuv]";
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
        return n;
    }

    size_t connections_ = 0;
    std::vector<void *> handles_;
};
