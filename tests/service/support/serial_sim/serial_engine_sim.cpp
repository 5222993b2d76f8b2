#include "serial_engine_sim.h"

#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "plat.h"

namespace {

constexpr int kPollMs = 1;
// A request ends at this much silence after its last byte.
constexpr auto kRequestSilence = std::chrono::milliseconds(2);
constexpr auto kHangGuard = std::chrono::seconds(30);

struct SpeedCode {
    speed_t code;
    int speed;
};
constexpr SpeedCode kSpeedCodes[] = {
    {B300, 300},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},    {B9600, 9600},
    {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

bool ends_with(const std::string &s, const char *tail) {
    std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

} // namespace

uint16_t sim_crc16_xmodem(const uint8_t *bytes, size_t n) {
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            bool in = ((bytes[i] >> bit) & 1) != 0;
            bool top = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (in != top) crc ^= 0x1021;
        }
    }
    return crc;
}

SerialEngineSim::SerialEngineSim(SimPty *pty, int speed, std::string root, std::string switch_dir)
    : pty_(pty), speed_(speed), root_(std::move(root)), switch_dir_(std::move(switch_dir)) {
    slave_ = open(pty_->slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

SerialEngineSim::~SerialEngineSim() {
    stop();
    if (slave_ >= 0) close(slave_);
}

void SerialEngineSim::start() {
    stop_ = false;
    sim_set_write_hook([this](const std::string &path, const std::string &bytes) { on_line(path, bytes); });
    thread_ = std::thread([this] { run(); });
}

void SerialEngineSim::stop() {
    if (!thread_.joinable()) return;
    sim_set_write_hook(nullptr);
    stop_ = true;
    thread_.join();
}

int SerialEngineSim::port_speed() const {
    struct termios t;
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return -1;
    speed_t code = cfgetospeed(&t);
    for (const SpeedCode &c : kSpeedCodes)
        if (c.code == code) return c.speed;
    return 0;
}

void SerialEngineSim::set_bursts(std::vector<size_t> sizes, int gap_ms) {
    std::lock_guard<std::mutex> g(m_);
    bursts_ = std::move(sizes);
    burst_gap_ms_ = gap_ms;
}

void SerialEngineSim::push_reply(const std::string &bytes) {
    std::lock_guard<std::mutex> g(m_);
    replies_.push_back(bytes);
}

void SerialEngineSim::send(const std::string &bytes) {
    std::lock_guard<std::mutex> g(m_);
    sends_.push_back(bytes);
}

bool SerialEngineSim::wait_sent() {
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_for(g, kHangGuard, [&] { return sends_.empty(); });
}

void SerialEngineSim::set_scan_data(const std::string &bytes) {
    std::lock_guard<std::mutex> g(m_);
    scan_data_ = bytes;
}

void SerialEngineSim::cts_stays(int level) {
    cts_fixed_ = level;
    std::ofstream(root_ + switch_dir_ + "uart_cts") << level;
}

std::vector<SerialEngineSim::Request> SerialEngineSim::requests() {
    std::lock_guard<std::mutex> g(m_);
    return requests_;
}

void SerialEngineSim::clear_requests() {
    std::lock_guard<std::mutex> g(m_);
    requests_.clear();
    rts_levels_.clear();
}

std::string SerialEngineSim::rts_levels() {
    std::lock_guard<std::mutex> g(m_);
    return rts_levels_;
}

bool SerialEngineSim::wait_requests(size_t n) {
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_for(g, kHangGuard, [&] { return requests_.size() >= n; });
}

// On the writing thread: the trigger keyword, and CTS following RTS at once.
void SerialEngineSim::on_line(const std::string &path, const std::string &bytes) {
    if (ends_with(path, "scan_switch") && bytes.find("trigger_on") != std::string::npos) {
        ++triggers_;
        std::lock_guard<std::mutex> g(m_);
        if (!scan_data_.empty()) ++pending_scans_;
    } else if (ends_with(path, "uart_rts")) {
        {
            std::lock_guard<std::mutex> g(m_);
            rts_levels_ += bytes.substr(0, 1);
        }
        if (cts_fixed_.load() < 0) std::ofstream(root_ + switch_dir_ + "uart_cts") << bytes;
    }
}

void SerialEngineSim::write_out(const std::string &bytes) {
    std::vector<size_t> sizes;
    int gap = 0;
    {
        std::lock_guard<std::mutex> g(m_);
        sizes = bursts_;
        gap = burst_gap_ms_;
    }
    size_t at = 0;
    for (size_t i = 0; i < sizes.size() && at < bytes.size(); ++i) {
        size_t n = i + 1 == sizes.size() ? bytes.size() - at : std::min(sizes[i], bytes.size() - at);
        sim_pty_send(pty_, bytes.data() + at, n);
        at += n;
        if (at < bytes.size()) plat_sleep_real(gap);
    }
    if (at < bytes.size()) sim_pty_send(pty_, bytes.data() + at, bytes.size() - at);
}

void SerialEngineSim::handle(const std::string &request) {
    const int port = port_speed();
    {
        std::lock_guard<std::mutex> g(m_);
        requests_.push_back({request, port, sim_next_sequence()});
        cv_.notify_all();
    }
    if (silent_ || port != speed_) return;
    speed_after_ = 0;
    std::string reply = answer(request);
    {
        std::lock_guard<std::mutex> g(m_);
        if (!replies_.empty()) {
            reply = replies_.front();
            replies_.pop_front();
        }
    }
    if (!reply.empty()) write_out(reply);
    if (speed_after_ != 0) speed_ = speed_after_;
}

void SerialEngineSim::run() {
    std::string pending;
    auto last = std::chrono::steady_clock::now();
    char buf[1024];
    while (!stop_) {
        std::string scan, given;
        {
            std::lock_guard<std::mutex> g(m_);
            if (pending_scans_ > 0) {
                --pending_scans_;
                scan = scan_data_;
            }
            if (!sends_.empty()) given = sends_.front();
        }
        if (!given.empty()) {
            sim_pty_send(pty_, given.data(), given.size());
            std::lock_guard<std::mutex> g(m_);
            sends_.pop_front();
            cv_.notify_all();
        }
        if (!scan.empty() && port_speed() == speed_) {
            struct timespec t;
            clock_gettime(CLOCK_MONOTONIC, &t);
            scan_sent_ns_ = static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
            write_out(scan);
        }
        ssize_t n = sim_pty_receive(pty_, buf, sizeof buf, kPollMs);
        auto now = std::chrono::steady_clock::now();
        if (n > 0) {
            pending.append(buf, static_cast<size_t>(n));
            last = now;
        } else if (!pending.empty() && now - last >= kRequestSilence) {
            handle(pending);
            pending.clear();
        }
    }
}

// ---- GT8841 ----

int Gt8841Sim::speed_of_code(uint8_t code) {
    static constexpr int kSpeeds[] = {9600, 38400, 57600, 115200};
    return code < 4 ? kSpeeds[code] : 0;
}

Gt8841Sim::Gt8841Sim(SimPty *pty, int speed, std::string root, std::string switch_dir)
    : SerialEngineSim(pty, speed, std::move(root), std::move(switch_dir)), regs_(65536, 0) {
    const uint8_t version[] = {0x20, 0x13, 0x03, 0x20, 0x14};
    for (size_t i = 0; i < sizeof version; ++i) regs_[kVersionRegister + i] = version[i];
}

uint8_t Gt8841Sim::reg(uint16_t address) {
    std::lock_guard<std::mutex> g(regs_lock_);
    return regs_[address];
}

void Gt8841Sim::set_reg(uint16_t address, uint8_t value) {
    std::lock_guard<std::mutex> g(regs_lock_);
    regs_[address] = value;
}

std::string Gt8841Sim::answer(const std::string &request) {
    const auto *b = reinterpret_cast<const uint8_t *>(request.data());
    const size_t n = request.size();
    if (n < 9 || b[0] != 0x7E || b[1] != 0x00) return "";
    const size_t data_len = b[2] == 7 ? 1 : b[3];
    if (n != data_len + 8) return "";
    const uint16_t crc = sim_crc16_xmodem(b + 2, 4 + data_len);
    if (b[6 + data_len] != (crc >> 8) || b[7 + data_len] != (crc & 0xFF)) {
        ++bad_crcs_;
        return "";
    }
    const uint16_t address = static_cast<uint16_t>(b[4] << 8 | b[5]);
    std::lock_guard<std::mutex> g(regs_lock_);
    std::string data;
    uint8_t status = status_;
    switch (b[2]) {
    case 7:
        for (int i = 0; i < b[6]; ++i) data.push_back(static_cast<char>(regs_[(address + i) & 0xFFFF]));
        break;
    case 8:
        if (address == refused_) {
            status = 1;
            data.push_back(0);
            break;
        }
        for (size_t i = 0; i < data_len; ++i) regs_[(address + i) & 0xFFFF] = b[6 + i];
        if (address == kSpeedRegister && speed_of_code(b[6]) != 0) set_speed_after(speed_of_code(b[6]));
        data.assign(reinterpret_cast<const char *>(b + 6), data_len);
        break;
    case 9:
        data.push_back(0);
        break;
    default:
        return "";
    }
    std::string reply;
    reply.push_back(0x7E);
    reply.push_back(0x00);
    reply.push_back(static_cast<char>(status));
    int count = count_override_.load();
    reply.push_back(static_cast<char>(count < 0 ? data.size() : static_cast<size_t>(count)));
    reply += data;
    const uint16_t check = sim_crc16_xmodem(reinterpret_cast<const uint8_t *>(reply.data()) + 2, reply.size() - 2);
    reply.push_back(static_cast<char>(check >> 8));
    reply.push_back(static_cast<char>(check & 0xFF));
    size_t cut = cut_;
    if (cut != 0 && cut < reply.size()) reply.resize(cut);
    return reply;
}

// ---- UP513 / PL512 ----

int Up513Sim::speed_of_code(uint8_t code) {
    static constexpr int kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
    return code < 5 ? kSpeeds[code] : 0;
}

std::string Up513Sim::packet(uint8_t opcode, const std::string &data, uint8_t source, uint8_t status) {
    std::string p;
    p.push_back(static_cast<char>(4 + data.size()));
    p.push_back(static_cast<char>(opcode));
    p.push_back(static_cast<char>(source));
    p.push_back(static_cast<char>(status));
    p += data;
    uint16_t sum = 0;
    for (char c : p) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
    const uint16_t check = static_cast<uint16_t>(0x10000 - sum);
    p.push_back(static_cast<char>(check >> 8));
    p.push_back(static_cast<char>(check & 0xFF));
    return p;
}

Up513Sim::Up513Sim(SimPty *pty, int speed, bool pl512, uint8_t probe_opcode, std::string root, std::string switch_dir)
    : SerialEngineSim(pty, speed, std::move(root), std::move(switch_dir)), pl512_(pl512), probe_opcode_(probe_opcode),
      token_(pl512 ? "PAABP" : "uP513") {}

int Up513Sim::value(const std::string &params) {
    std::lock_guard<std::mutex> g(values_lock_);
    auto it = values_.find(params);
    return it == values_.end() ? -1 : it->second;
}

void Up513Sim::set_token(const std::string &token) {
    std::lock_guard<std::mutex> g(values_lock_);
    token_ = token;
}

void Up513Sim::set_value(const std::string &params, uint8_t value) {
    std::lock_guard<std::mutex> g(values_lock_);
    values_[params] = value;
}

std::string Up513Sim::answer(const std::string &request) {
    const auto *b = reinterpret_cast<const uint8_t *>(request.data());
    const size_t n = request.size();
    if (n < 6 || b[0] < 4 || n != static_cast<size_t>(b[0]) + 2 || b[2] != 4) return "";
    uint16_t sum = 0;
    for (size_t i = 0; i < b[0]; ++i) sum = static_cast<uint16_t>(sum + b[i]);
    const uint16_t check = static_cast<uint16_t>(0x10000 - sum);
    if (b[n - 2] != (check >> 8) || b[n - 1] != (check & 0xFF)) {
        ++bad_;
        return "";
    }
    const std::string data(request, 4, b[0] - 4);
    const uint8_t set_op = pl512_ ? 0xC6 : 0xD6, get_op = pl512_ ? 0xC7 : 0xD7;
    if (b[1] == probe_opcode_ && data.empty()) {
        std::lock_guard<std::mutex> g(values_lock_);
        return packet(0xA4, token_);
    }
    if (b[1] == set_op && b[3] == 8) {
        if (ignore_settings_) return "";
        // 0xFF, parameter bytes, [0x01,] value
        const size_t tail = pl512_ ? 1 : 2;
        if (data.size() < 1 + tail || static_cast<uint8_t>(data[0]) != 0xFF) return "";
        const std::string params = data.substr(1, data.size() - 1 - tail);
        const uint8_t v = static_cast<uint8_t>(data.back());
        set_value(params, v);
        if (params.size() == 1 && static_cast<uint8_t>(params[0]) == kSpeedParameter && speed_of_code(v) != 0)
            set_speed_after(speed_of_code(v));
        return packet(0xD0, "");
    }
    if (b[1] == get_op) {
        int v = readback_override_.load();
        if (v < 0) v = value(data);
        if (v < 0) v = 0;
        std::string reply = std::string(1, '\xFF') + data;
        if (!pl512_) reply.push_back(0x01);
        reply.push_back(static_cast<char>(v));
        return packet(set_op, reply);
    }
    return "";
}
