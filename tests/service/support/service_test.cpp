#include "service_test.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "plat.h"
#include "sandbox.h"

std::string read_host_file(const std::string &host_path) {
    std::ifstream in(host_path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void remove_host_tree(const std::string &host_path) { svc_sandbox::remove_root(host_path); }

std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string make_temp_dir(const char *stem) { return svc_sandbox::make_root(stem); }

int process_thread_count() {
    DIR *d = opendir("/proc/self/task");
    if (d == nullptr) return -1;
    int count = 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] != '.') ++count;
    }
    closedir(d);
    return count;
}

pid_t spawn_named_process(const char *name) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_NAME, name, 0, 0, 0);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        for (int i = 0; i < 600; ++i) sleep(1);  // killed long before
        _exit(0);
    }
    close(ready[1]);
    char c = 0;
    if (pid < 0 || read(ready[0], &c, 1) != 1) pid = -1;
    close(ready[0]);
    return pid;
}

void reap_named_process(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool eventually(const std::function<bool()> &pred) {
    auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        plat_sleep_real(1);
    }
    return true;
}

FileTail::FileTail(std::string host_path) : path_(std::move(host_path)) {
    struct stat st;
    start_ = stat(path_.c_str(), &st) == 0 ? st.st_size : 0;
}

std::string FileTail::text() const {
    std::string all = read_host_file(path_);
    return static_cast<size_t>(start_) < all.size() ? all.substr(static_cast<size_t>(start_)) : std::string();
}

void ServiceRootTest::SetUp() {
    root_ = make_temp_dir("svc-root");
    ASSERT_FALSE(root_.empty());
    ASSERT_EQ(plat_set_root(root_.c_str()), 0);
}

void ServiceRootTest::TearDown() {
    plat_set_root(nullptr);
    remove_host_tree(root_);
}

void ServiceRootTest::make_dirs(const std::string &device_path) const {
    std::string path = host(device_path);
    for (size_t i = root_.size() + 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
    }
}

void ServiceRootTest::write_file(const std::string &device_path, const std::string &bytes) const {
    size_t slash = device_path.rfind('/');
    if (slash != std::string::npos && slash > 0) make_dirs(device_path.substr(0, slash));
    std::ofstream out(host(device_path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool ServiceRootTest::exists(const std::string &device_path) const {
    struct stat st;
    return stat(host(device_path).c_str(), &st) == 0;
}
