// Serial engine simulators on a pseudo-terminal's master side: a thread that reads what
// the driver writes, keeps a line speed of its own and answers only while the port's
// speed equals it, sends each reply in one write (or in bursts when asked), records every
// request with the port's speed, and sends its scan data when it sees the trigger line
// switched on. Models: GT8841 (register file, CRC-16/XMODEM packets) and UP513/PL512
// (checksummed parameter packets, RTS/CTS lines).
#pragma once

#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim.h"

// The test's own CRC-16/XMODEM, bit by bit.
uint16_t sim_crc16_xmodem(const uint8_t *bytes, size_t n);

class SerialEngineSim {
  public:
    struct Request {
        std::string bytes;
        int speed;    // the port's speed when it came
        uint64_t seq; // in the platform models' order (sim_next_sequence)
    };

    // switch_dir: the switch device's folder under the root (device path), where the
    // trigger keyword and the RTS/CTS nodes are written; root: the platform root.
    SerialEngineSim(SimPty *pty, int speed, std::string root, std::string switch_dir);
    virtual ~SerialEngineSim();
    SerialEngineSim(const SerialEngineSim &) = delete;
    SerialEngineSim &operator=(const SerialEngineSim &) = delete;

    // Starts the thread and the line hook; stop ends both (the destructor stops too).
    void start();
    void stop();

    int speed() const { return speed_.load(); }
    void set_speed(int speed) { speed_ = speed; }
    // The port's speed now (tcgetattr on the simulator's own slave descriptor).
    int port_speed() const;

    // Answers nothing while set.
    void set_silent(bool silent) { silent_ = silent; }
    // The next answers are sent in pieces of these sizes, a few milliseconds apart (the
    // last piece takes the rest); empty: one write.
    void set_bursts(std::vector<size_t> sizes, int gap_ms);
    // The next answer is replaced by these bytes (queued in order).
    void push_reply(const std::string &bytes);
    // Sends bytes now, from the simulator's thread; wait_sent waits (up to the hang guard)
    // until everything given to send has been written.
    void send(const std::string &bytes);
    bool wait_sent();
    // Sent once each time the trigger is switched on.
    void set_scan_data(const std::string &bytes);

    // CTS: follows RTS (the default), or stays at level 0 or 1.
    void cts_follows_rts() { cts_fixed_ = -1; }
    void cts_stays(int level);

    std::vector<Request> requests();
    void clear_requests();
    // Waits (up to the hang guard) until n requests came.
    bool wait_requests(size_t n);
    int triggers() const { return triggers_.load(); }
    // The RTS levels the driver wrote, in order.
    std::string rts_levels();
    // CLOCK_MONOTONIC nanoseconds just before the last scan data went out (0: none yet).
    int64_t scan_sent_ns() const { return scan_sent_ns_.load(); }

  protected:
    // The answer to one request (empty: none); may change the simulator's speed after the
    // answer through set_speed_after.
    virtual std::string answer(const std::string &request) = 0;
    void set_speed_after(int speed) { speed_after_ = speed; }

  private:
    void run();
    void handle(const std::string &request);
    void write_out(const std::string &bytes);
    void on_line(const std::string &path, const std::string &bytes);

    SimPty *pty_;
    int slave_ = -1;
    std::atomic<int> speed_;
    int speed_after_ = 0;
    std::string root_, switch_dir_;
    std::atomic<bool> silent_{false}, stop_{false};
    std::atomic<int> cts_fixed_{-1};
    std::atomic<int> triggers_{0};
    std::atomic<int64_t> scan_sent_ns_{0};
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Request> requests_;
    std::deque<std::string> replies_, sends_;
    std::vector<size_t> bursts_;
    int burst_gap_ms_ = 3;
    std::string scan_data_;
    std::string rts_levels_;
    int pending_scans_ = 0;
    std::thread thread_;
};

// GT8841: 64 K one-byte registers. Requests 7E 00 type len addr(2) data crc(2) with a good
// CRC are answered 7E 00 status count data check(2): a read gives the registers, a write
// stores its data and echoes it, a finishing packet answers one zero byte. A write of the
// speed register switches the simulator's speed after the answer.
class Gt8841Sim : public SerialEngineSim {
  public:
    static constexpr uint16_t kSpeedRegister = 0x2A;
    static constexpr uint16_t kVersionRegister = 0xC0; // 20 13 03 20 14
    // Speed codes of the speed register.
    static int speed_of_code(uint8_t code);

    Gt8841Sim(SimPty *pty, int speed, std::string root, std::string switch_dir);
    uint8_t reg(uint16_t address);
    void set_reg(uint16_t address, uint8_t value);
    // Writes to this register are refused with status 1.
    void refuse_writes(uint16_t address) { refused_ = address; }
    // Every answer: status byte (0 good), count byte override (-1: the data's count),
    // total length cut to this (0: whole).
    void set_status(uint8_t status) { status_ = status; }
    void set_count_override(int count) { count_override_ = count; }
    void set_cut(size_t length) { cut_ = length; }
    int bad_crcs() const { return bad_crcs_.load(); }

  protected:
    std::string answer(const std::string &request) override;

  private:
    std::mutex regs_lock_;
    std::vector<uint8_t> regs_;
    std::atomic<int> refused_{-1};
    std::atomic<uint8_t> status_{0};
    std::atomic<int> count_override_{-1};
    std::atomic<size_t> cut_{0};
    std::atomic<int> bad_crcs_{0};
};

// UP513 and PL512: requests len op 4 status data check(2) with a good checksum. The probe
// opcode is answered A4 with the token; a setting (0xFF, parameter bytes[, 0x01], value) is
// acknowledged D0 and stored; a request of parameter bytes is answered with the setting's
// layout, so that the value sits at n + 6 (UP513) or n + 5 (PL512). The speed parameter
// switches the simulator's speed after the acknowledge.
class Up513Sim : public SerialEngineSim {
  public:
    static constexpr uint8_t kSpeedParameter = 0x8B;
    static int speed_of_code(uint8_t code);
    static std::string packet(uint8_t opcode, const std::string &data, uint8_t source = 0, uint8_t status = 0);

    Up513Sim(SimPty *pty, int speed, bool pl512, uint8_t probe_opcode, std::string root, std::string switch_dir);
    // The stored value of a parameter (its bytes), -1 when never set.
    int value(const std::string &params);
    void set_value(const std::string &params, uint8_t value);
    void set_token(const std::string &token);
    // Settings are not acknowledged (the requests still recorded) while set.
    void set_ignore_settings(bool on) { ignore_settings_ = on; }
    // Requests are answered with this value instead of the stored one (-1: stored).
    void set_readback_override(int value) { readback_override_ = value; }
    int bad_checksums() const { return bad_.load(); }

  protected:
    std::string answer(const std::string &request) override;

  private:
    bool pl512_;
    uint8_t probe_opcode_;
    std::string token_;
    std::mutex values_lock_;
    std::map<std::string, uint8_t> values_;
    std::atomic<bool> ignore_settings_{false};
    std::atomic<int> readback_override_{-1};
    std::atomic<int> bad_{0};
};
