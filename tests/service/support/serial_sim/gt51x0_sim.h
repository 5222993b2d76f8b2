// The GT51X0 side of the serial firmware upgrade on a pseudo-terminal's master, and
// firmware files in the serial engines' format, for the upgrade tests.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim.h"

namespace gt51x0 {

using Bytes = std::vector<uint8_t>;

// Bytes from a seeded generator.
Bytes seeded(size_t n, uint32_t seed);
void put_le32(Bytes &b, size_t at, uint32_t v);
void put_be32(std::string &s, uint32_t v);
// zlib's CRC-32.
uint32_t zcrc(const uint8_t *p, size_t n);
inline std::string str(const Bytes &b) { return std::string(b.begin(), b.end()); }

// A file with a part of each given size (0: absent), laid out after the 2268-byte header
// in the order boot, kernel, configuration; the version texts fill their whole width.
struct FirmwareFile {
    Bytes bytes;
    Bytes parts[3];
};
FirmwareFile make_file(uint32_t boot, uint32_t kernel, uint32_t config, uint32_t seed = 7);

// Plays the engine's side of the serial upgrade on the pseudo-terminal's master: 0x06 to
// the enter command, '<' to probe bytes, reply frames to command frames, '*' to the
// acknowledge byte and to intact data frames. A part becomes its firmware only when every
// announced frame arrived intact.
class Gt51x0Sim {
  public:
    struct Request {
        std::string bytes;
        int speed;
    };
    enum class Fault { none, silent_enter, no_ready, speed_short, speed_refused, reject_once, reject_always };

    explicit Gt51x0Sim(SimPty *pty);
    ~Gt51x0Sim();
    Gt51x0Sim(const Gt51x0Sim &) = delete;
    Gt51x0Sim &operator=(const Gt51x0Sim &) = delete;
    void start();
    void stop();
    void set_fault(Fault f, int frame = 0) {
        std::lock_guard<std::mutex> g(m_);
        fault_ = f;
        fault_frame_ = frame;
    }
    std::vector<Request> requests() {
        std::lock_guard<std::mutex> g(m_);
        return requests_;
    }
    std::string firmware(const std::string &kind) {
        std::lock_guard<std::mutex> g(m_);
        return firmware_[kind];
    }
    // The port's speed now (9600, 115200, else 0).
    int port_speed() const;
    // Called with each request before it is answered (on the simulator's thread).
    void set_on_request(std::function<void(const std::string &)> fn) {
        std::lock_guard<std::mutex> g(m_);
        on_request_ = std::move(fn);
    }

    // A reply frame: 02 05, the text's length (u16 big-endian), the text, CRC-32.
    static std::string frame(const std::string &text);

  private:
    std::string answer(const std::string &r);
    std::string command(const std::string &text);
    void run();

    SimPty *pty_;
    int slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<Request> requests_;
    Fault fault_ = Fault::none;
    int fault_frame_ = 0;
    bool rejected_once_ = false;
    std::function<void(const std::string &)> on_request_;
    std::map<std::string, std::string> firmware_;
    std::string kind_, image_;
    int length_ = 0, frames_ = 0, received_ = 0;
};

}  // namespace gt51x0
