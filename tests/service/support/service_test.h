// Test support of the service side: a fresh platform root per test and file helpers.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Every wait for something expected ends here at the latest: a hang guard, no pass mark.
inline constexpr std::chrono::seconds kHangGuard{30};
// Polls pred (every millisecond) until it holds or the hang guard ends: its last value.
bool eventually(const std::function<bool()> &pred);

// Reads a host file whole ("" when missing).
std::string read_host_file(const std::string &host_path);
// Removes a host folder and everything in it.
void remove_host_tree(const std::string &host_path);
// The lines of a text, without their newlines.
std::vector<std::string> split_lines(const std::string &text);
// A new folder under the system's temporary folder.
std::string make_temp_dir(const char *stem);

// Threads of this process (-1 when /proc cannot be read).
int process_thread_count();
// A child process that names itself (as /proc shows it, 15 characters at most) and waits
// to be killed: its pid once the name is set, or -1.
pid_t spawn_named_process(const char *name);
// Kills and reaps such a child (nothing for a pid below 1).
void reap_named_process(pid_t pid);

// What a host file gained since this object was made.
class FileTail {
  public:
    explicit FileTail(std::string host_path);
    std::string text() const;
    bool contains(const std::string &needle) const { return text().find(needle) != std::string::npos; }

  private:
    std::string path_;
    off_t start_;
};

// Every test gets its own platform root, removed when it ends.
class ServiceRootTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The host path of a device path.
    std::string host(const std::string &device_path) const { return root_ + device_path; }
    // Writes a device file, making its folders.
    void write_file(const std::string &device_path, const std::string &bytes) const;
    std::string read_file(const std::string &device_path) const { return read_host_file(host(device_path)); }
    void make_dirs(const std::string &device_path) const;
    bool exists(const std::string &device_path) const;

    std::string root_;
};
