// A PSAM card on a pseudo-terminal for JVM tests: it reads the enable and reset lines from
// FIFO nodes under the root (every level the JVM writes, in order) and answers as a card.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service_test.h"
#include "sim.h"

namespace jvm_card {

inline const std::vector<uint8_t> kJvmCardAtr = {0x3B, 0x6D, 0x00, 0x00, 0x57};
inline const std::vector<uint8_t> kJvmSelect = {0x00, 0xA4, 0x04, 0x00};

// The card for a JVM: line levels from the FIFOs, its answer to reset from data/psam/atr
// (hex; missing: the default answer), 90 00 to the select command.
class JvmCardSim {
  public:
    JvmCardSim(const std::string &root, SimPty *pty) : root_(root), pty_(pty) {
        en_ = open((root + "/sys/psam/psam_en").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        rst_ = open((root + "/sys/psam/psam_rst").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        thread_ = std::thread([this] { serve(); });
    }
    ~JvmCardSim() {
        stop_ = true;
        thread_.join();
        close(en_);
        close(rst_);
    }
    std::vector<uint8_t> received() {
        std::lock_guard<std::mutex> g(lock_);
        return received_;
    }

  private:
    std::vector<uint8_t> atr() const {
        std::string hex = read_host_file(root_ + "/data/psam/atr");
        if (access((root_ + "/data/psam/atr").c_str(), F_OK) != 0) return kJvmCardAtr;
        std::vector<uint8_t> out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    }
    void serve() {
        while (!stop_) {
            struct pollfd fds[3] = {{en_, POLLIN, 0}, {rst_, POLLIN, 0}, {pty_->master, POLLIN, 0}};
            if (poll(fds, 3, 20) <= 0) continue;
            char level;
            while (read(en_, &level, 1) == 1) enabled_ = level == '1';
            while (read(rst_, &level, 1) == 1) {
                bool high = level == '1';
                if (high && !reset_high_ && enabled_) {
                    std::vector<uint8_t> a = atr();
                    if (!a.empty()) sim_pty_send(pty_, a.data(), a.size());
                }
                reset_high_ = high;
            }
            if ((fds[2].revents & POLLIN) != 0) {
                uint8_t buf[600];
                ssize_t n = read(pty_->master, buf, sizeof buf);
                if (n <= 0) continue;
                std::lock_guard<std::mutex> g(lock_);
                received_.insert(received_.end(), buf, buf + n);
                if (std::vector<uint8_t>(buf, buf + n) == kJvmSelect) {
                    const uint8_t ok[] = {0x90, 0x00};
                    sim_pty_send(pty_, ok, sizeof ok);
                }
            }
        }
    }
    std::string root_;
    SimPty *pty_;
    int en_ = -1;
    int rst_ = -1;
    bool enabled_ = false;
    bool reset_high_ = false;
    std::mutex lock_;
    std::vector<uint8_t> received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace jvm_card
