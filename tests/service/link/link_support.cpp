#include "link_support.h"

#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include "plat.h"

namespace {

socklen_t abstract(const std::string &name, sockaddr_un *addr) {
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    memcpy(addr->sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <int N>
int request_trampoline(LINK_CHUNK *request) {
    Recorder &r = Recorder::at(N);
    r.on_request(request);
    return r.request_result();
}

template <int N>
void reply_trampoline(LINK_CHUNK *reply, LINK_SEND_NODE *node) {
    Recorder::at(N).on_reply(reply, node);
}

constexpr link_request_handler kRequestHandlers[] = {request_trampoline<0>, request_trampoline<1>,
                                                     request_trampoline<2>, request_trampoline<3>};
constexpr link_reply_handler kReplyHandlers[] = {reply_trampoline<0>, reply_trampoline<1>, reply_trampoline<2>,
                                                 reply_trampoline<3>};
static_assert(sizeof kRequestHandlers / sizeof kRequestHandlers[0] == Recorder::kSlots, "one handler per slot");

WireMessage parse(const uint8_t *data, size_t length) {
    WireMessage m;
    memcpy(&m.header, data, sizeof m.header);
    m.payload.assign(data + LINK_HEADER_SIZE, data + length);
    return m;
}

const std::string &logcat_path() {
    static const std::string path = [] {
        std::string dir = make_temp_dir("link-logcat");
        std::string p = dir + "/logcat";
        plat_logcat_set_file(p.c_str());
        static std::string to_remove = dir;
        atexit([] {
            plat_logcat_set_file(nullptr);
            remove_host_tree(to_remove);
        });
        return p;
    }();
    return path;
}

}  // namespace

std::string unique_link_name(const char *stem) {
    static std::atomic<int> counter{0};
    return "/test/link/" + std::to_string(getpid()) + "/" + stem + "/" + std::to_string(counter++);
}

bool wait_until(const std::function<bool()> &cond, int limit_ms) {
    int64_t end = now_ms() + limit_ms;
    while (!cond()) {
        if (now_ms() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<uint8_t> wire_message(uint32_t sequence, uint8_t direction, uint8_t type, uint8_t command,
                                  uint8_t status, const std::vector<uint8_t> &payload) {
    WireMessage m;
    m.header.sequence = sequence;
    m.header.mark = LINK_MARK;
    m.header.direction = direction;
    m.header.type = type;
    m.header.command = command;
    m.header.status = status;
    m.header.length = static_cast<uint32_t>(payload.size());
    m.payload = payload;
    return m.bytes();
}

std::vector<uint8_t> seeded_bytes(uint32_t seed, size_t count) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(count);
    for (uint8_t &b : out) b = static_cast<uint8_t>(rng());
    return out;
}

std::vector<uint8_t> WireMessage::bytes() const {
    std::vector<uint8_t> out(LINK_HEADER_SIZE + payload.size());
    memcpy(out.data(), &header, LINK_HEADER_SIZE);
    if (!payload.empty()) memcpy(out.data() + LINK_HEADER_SIZE, payload.data(), payload.size());
    return out;
}

bool RawPeer::connect_to(const std::string &name) {
    close_fd();
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr *>(&addr), abstract(name, &addr)) != 0) {
        close_fd();
        return false;
    }
    return true;
}

bool RawPeer::listen_on(const std::string &name) {
    close_fd();
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    return listener_ >= 0 && bind(listener_, reinterpret_cast<sockaddr *>(&addr), abstract(name, &addr)) == 0 &&
           listen(listener_, 2) == 0;
}

bool RawPeer::accept_one(int limit_ms) {
    pollfd p = {listener_, POLLIN, 0};
    if (poll(&p, 1, limit_ms) != 1) return false;
    fd_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return fd_ >= 0;
}

bool RawPeer::write_bytes(const std::vector<uint8_t> &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RawPeer::read_exact(uint8_t *out, size_t count, int limit_ms) {
    int64_t end = now_ms() + limit_ms;
    size_t done = 0;
    while (done < count) {
        int left = static_cast<int>(end - now_ms());
        pollfd p = {fd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) != 1) return false;
        ssize_t n = recv(fd_, out + done, count - done, 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RawPeer::read_message(WireMessage *out, int limit_ms) {
    uint8_t header[LINK_HEADER_SIZE];
    if (!read_exact(header, sizeof header, limit_ms)) return false;
    memcpy(&out->header, header, sizeof header);
    out->payload.assign(out->header.length, 0);
    return out->header.length == 0 || read_exact(out->payload.data(), out->header.length, limit_ms);
}

bool RawPeer::readable_within(int ms) {
    pollfd p = {fd_, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

void RawPeer::close_fd() {
    if (fd_ >= 0) close(fd_);
    if (listener_ >= 0) close(listener_);
    fd_ = listener_ = -1;
}

Recorder &Recorder::at(int slot) {
    static Recorder recorders[kSlots];
    return recorders[slot];
}

link_request_handler Recorder::request_handler() const { return kRequestHandlers[this - &at(0)]; }
link_reply_handler Recorder::reply_handler() const { return kReplyHandlers[this - &at(0)]; }

void Recorder::reset(LINK_CONTEXT *link) {
    std::lock_guard<std::mutex> lock(mu_);
    seen_ = Recorded{};
    link_ = link;
    answer_ = false;
    status_ = 0;
    payload_.clear();
    result_ = 1;
}

void Recorder::set_answer(bool answer, uint8_t status, std::vector<uint8_t> payload, int result) {
    std::lock_guard<std::mutex> lock(mu_);
    answer_ = answer;
    status_ = status;
    payload_ = std::move(payload);
    result_ = result;
}

size_t Recorder::request_count() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_.requests.size();
}

size_t Recorder::reply_count() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_.replies.size();
}

Recorded Recorder::snapshot() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_;
}

void Recorder::on_request(LINK_CHUNK *request) {
    std::lock_guard<std::mutex> lock(mu_);
    seen_.requests.push_back(parse(request->data, static_cast<size_t>(request->length)));
    if (answer_ && link_ != nullptr) {
        send_echo_packet(link_, request, status_, payload_.data(), static_cast<int32_t>(payload_.size()));
    }
}

int Recorder::request_result() {
    std::lock_guard<std::mutex> lock(mu_);
    return result_;
}

void Recorder::on_reply(LINK_CHUNK *reply, LINK_SEND_NODE *node) {
    std::lock_guard<std::mutex> lock(mu_);
    Recorded::Reply r;
    if (reply != nullptr) {
        r.has_reply = true;
        r.reply = parse(reply->data, static_cast<size_t>(reply->length));
    }
    if (node != nullptr) {
        r.has_node = true;
        memcpy(&r.node_sequence, node->data, sizeof r.node_sequence);
        r.node_sends = node->sends;
    }
    seen_.replies.push_back(r);
}

void LinkTest::SetUp() {
    tail_ = std::make_unique<FileTail>(logcat_path());
    log_set_level(LINK_LOG_LEVEL_DEFAULT);
    for (int i = 0; i < Recorder::kSlots; ++i) Recorder::at(i).reset();
}

void LinkTest::TearDown() {
    for (int i = 0; i < Recorder::kSlots; ++i) Recorder::at(i).reset();
}

int LinkTest::count_logged(const std::string &needle) const {
    std::string text = logcat();
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

int thread_count() { return process_thread_count(); }
