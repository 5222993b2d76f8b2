#include "gt51x0_sim.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <random>

namespace gt51x0 {

using namespace std::string_literals;

constexpr size_t kHeaderSize = 2268;

void put_le32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Bytes seeded(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (uint8_t &b : out) b = static_cast<uint8_t>(rng());
    return out;
}

FirmwareFile make_file(uint32_t boot, uint32_t kernel, uint32_t config, uint32_t seed) {
    FirmwareFile f;
    f.bytes.assign(kHeaderSize, 0);
    put_le32(f.bytes, 0x000, 0x5A31);
    for (size_t at : {0x01Cu, 0x03Cu, 0x06Cu, 0x08Cu, 0x0ACu}) memset(&f.bytes[at], 'V', 32);
    memcpy(&f.bytes[0x0DC], "conf message", 12);
    const uint32_t sizes[3] = {boot, kernel, config};
    const size_t flag_at[3] = {0x00C, 0x05C, 0x0CC}, size_at[3] = {0x010, 0x060, 0x0D4}, offset_at[3] = {0x014, 0x064, 0x0D8};
    for (int i = 0; i < 3; ++i) {
        if (sizes[i] == 0) continue;
        f.parts[i] = seeded(sizes[i], seed + i);
        put_le32(f.bytes, flag_at[i], 1);
        put_le32(f.bytes, size_at[i], sizes[i]);
        put_le32(f.bytes, offset_at[i], static_cast<uint32_t>(f.bytes.size()));
        f.bytes.insert(f.bytes.end(), f.parts[i].begin(), f.parts[i].end());
    }
    return f;
}

uint32_t zcrc(const uint8_t *p, size_t n) { return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(n))); }

void put_be32(std::string &s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
}

Gt51x0Sim::Gt51x0Sim(SimPty *pty) : pty_(pty) { slave_ = open(pty->slave, O_RDWR | O_NOCTTY | O_CLOEXEC); }

Gt51x0Sim::~Gt51x0Sim() {
    stop();
    if (slave_ >= 0) close(slave_);
}

void Gt51x0Sim::start() {
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void Gt51x0Sim::stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
}

std::string Gt51x0Sim::answer(const std::string &r) {
    static const std::string kEnter = "\x7E\x00\x00\x08\x7E\x75\x70\x44\x61\x74\x65\x7E\xC6"s;
    const auto *u = reinterpret_cast<const uint8_t *>(r.data());
    if (r == kEnter) return fault_ == Fault::silent_enter ? "" : "\x06";
    if (r.find_first_not_of('?') == std::string::npos) return fault_ == Fault::no_ready ? ">" : "<";
    if (r == "*") return "*";
    if (r.size() >= 8 && u[0] == 0x02 && u[1] == 0x05) {
        size_t n = static_cast<size_t>(u[2] << 8 | u[3]);
        if (r.size() != n + 8) return "";
        std::string crc;
        put_be32(crc, zcrc(u, n + 4));
        if (r.compare(n + 4, 4, crc) != 0) return "";
        return command(r.substr(4, n));
    }
    if (r.size() == 517 && u[0] == 0x02) {
        std::string crc;
        put_be32(crc, zcrc(u, 513));
        if (r.compare(513, 4, crc) != 0) return "E";
        const bool reject = (fault_ == Fault::reject_always ||
                             (fault_ == Fault::reject_once && !rejected_once_)) &&
                            received_ == fault_frame_;
        if (reject) {
            rejected_once_ = true;
            return "N";
        }
        image_ += r.substr(1, 512);
        if (++received_ == frames_ && frames_ > 0) firmware_[kind_] = image_.substr(0, static_cast<size_t>(length_));
        return "*";
    }
    return "";
}

std::string Gt51x0Sim::command(const std::string &text) {
    auto number = [&](const char *prefix) { return atoi(text.c_str() + strlen(prefix)); };
    if (text.rfind("#COMM:", 0) == 0) {
        if (fault_ == Fault::speed_short) return std::string("\x02\x05\x00\x01\x30", 5);
        return frame(fault_ == Fault::speed_refused ? "1" : "0");
    }
    if (text == "?OSVer") return frame("OS-2.1");
    if (text == "?BootVer") return frame("BOOT-1.4");
    if (text == "?HardVer") return frame("HW-7");
    if (text.rfind("!DataLens:", 0) == 0) length_ = number("!DataLens:");
    if (text.rfind("!Frames:", 0) == 0) frames_ = number("!Frames:");
    if (text.rfind("!FileType:", 0) == 0) kind_ = text.substr(10);
    if (text == ">Start") {
        image_.clear();
        received_ = 0;
    }
    return frame("OK");
}

void Gt51x0Sim::run() {
    std::string pending;
    char buf[2048];
    while (!stop_) {
        ssize_t n = sim_pty_receive(pty_, buf, sizeof buf, pending.empty() ? 5 : 2);
        if (n > 0) {
            pending.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (pending.empty()) continue;
        std::function<void(const std::string &)> hook;
        {
            std::lock_guard<std::mutex> g(m_);
            hook = on_request_;
        }
        if (hook) hook(pending);
        std::string reply;
        {
            std::lock_guard<std::mutex> g(m_);
            requests_.push_back({pending, port_speed()});
            reply = answer(pending);
        }
        pending.clear();
        if (!reply.empty()) sim_pty_send(pty_, reply.data(), reply.size());
    }
}

std::string Gt51x0Sim::frame(const std::string &text) {
    std::string f = std::string("\x02\x05", 2);
    f += static_cast<char>(text.size() >> 8);
    f += static_cast<char>(text.size());
    f += text;
    put_be32(f, zcrc(reinterpret_cast<const uint8_t *>(f.data()), f.size()));
    return f;
}

int Gt51x0Sim::port_speed() const {
    struct termios t;
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return -1;
    speed_t code = cfgetospeed(&t);
    return code == B9600 ? 9600 : code == B115200 ? 115200 : 0;
}

}  // namespace gt51x0
