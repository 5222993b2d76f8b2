// Test support for the message link: unique abstract names, raw peers that speak the wire
// format by hand, recorders for the handlers and the Android log of the process.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link_internal.h"
#include "service_test.h"
#include "zptutils.h"

// A name no other test (or process) uses.
std::string unique_link_name(const char *stem);

// Polls cond every millisecond until it holds or the limit passes.
bool wait_until(const std::function<bool()> &cond, int limit_ms = 5000);

// One message as bytes on the wire.
std::vector<uint8_t> wire_message(uint32_t sequence, uint8_t direction, uint8_t type, uint8_t command,
                                  uint8_t status, const std::vector<uint8_t> &payload);
std::vector<uint8_t> seeded_bytes(uint32_t seed, size_t count);

struct WireMessage {
    LINK_HEADER header{};
    std::vector<uint8_t> payload;
    std::vector<uint8_t> bytes() const;
};

// A raw stream socket on an abstract name.
class RawPeer {
  public:
    RawPeer() = default;
    ~RawPeer() { close_fd(); }
    RawPeer(const RawPeer &) = delete;
    RawPeer &operator=(const RawPeer &) = delete;

    bool connect_to(const std::string &name);
    // Listens and later accepts one client.
    bool listen_on(const std::string &name);
    bool accept_one(int limit_ms = 5000);
    bool write_bytes(const std::vector<uint8_t> &bytes);
    // Reads one whole message; false when none arrives in time.
    bool read_message(WireMessage *out, int limit_ms = 3000);
    // True when any byte arrives within the time.
    bool readable_within(int ms);
    void close_fd();
    int fd() const { return fd_; }

  private:
    bool read_exact(uint8_t *out, size_t count, int limit_ms);
    int fd_ = -1;
    int listener_ = -1;
};

// What one side's handlers saw.
struct Recorded {
    std::vector<WireMessage> requests;
    struct Reply {
        bool has_reply = false;
        WireMessage reply;
        bool has_node = false;
        uint32_t node_sequence = 0;
        int node_sends = 0;
    };
    std::vector<Reply> replies;
};

// Handlers are plain function pointers, so each recorder slot is process-wide.
class Recorder {
  public:
    static constexpr int kSlots = 4;
    static Recorder &at(int slot);
    link_request_handler request_handler() const;
    link_reply_handler reply_handler() const;

    void reset(LINK_CONTEXT *link = nullptr);
    // What the request handler does besides recording: answer (status, payload) and what
    // it gives back.
    void set_answer(bool answer, uint8_t status, std::vector<uint8_t> payload, int result);
    size_t request_count();
    size_t reply_count();
    Recorded snapshot();

    void on_request(LINK_CHUNK *request);
    int request_result();
    void on_reply(LINK_CHUNK *reply, LINK_SEND_NODE *node);

  private:
    std::mutex mu_;
    Recorded seen_;
    LINK_CONTEXT *link_ = nullptr;
    bool answer_ = false;
    uint8_t status_ = 0;
    std::vector<uint8_t> payload_;
    int result_ = 1;
};

// Captures the process's Android log once; each test reads what it gained.
class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string logcat() const { return tail_->text(); }
    bool logged(const std::string &needle) const { return logcat().find(needle) != std::string::npos; }
    bool wait_logged(const std::string &needle, int limit_ms = 5000) const {
        return wait_until([&] { return logged(needle); }, limit_ms);
    }
    int count_logged(const std::string &needle) const;

  private:
    std::unique_ptr<FileTail> tail_;
};

// Threads of this process.
int thread_count();
