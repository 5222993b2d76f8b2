#include "net_client.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>

#include "sandbox.h"
#include "zptutils.h"

namespace {

struct Fns {
    LINK_CONTEXT *(*start)(int, const char *);
    void (*stop)(LINK_CONTEXT *);
    int (*set_handlers)(LINK_CONTEXT *, uint32_t, link_request_handler, link_reply_handler);
    int (*send_command)(LINK_CONTEXT *, uint16_t, const void *, int32_t, int32_t, uint8_t *, uint8_t **, uint32_t *);
    void (*echo)(LINK_CONTEXT *, LINK_CHUNK *, uint8_t, const void *, int32_t);
    uint32_t (*direct)(LINK_CONTEXT *, uint16_t, const void *, int32_t);
};

Fns g_fns{};
std::mutex g_reports_lock;
std::vector<NetReport> g_reports;
LINK_CONTEXT *g_link = nullptr;

bool bind_fns() {
    if (g_fns.start != nullptr) return true;
    void *library = dlopen(svc_sandbox::link_library_path(), RTLD_NOW);
    if (library == nullptr) return false;
    g_fns.start = reinterpret_cast<decltype(g_fns.start)>(dlsym(library, "start_comm"));
    g_fns.stop = reinterpret_cast<decltype(g_fns.stop)>(dlsym(library, "stop_comm"));
    g_fns.set_handlers = reinterpret_cast<decltype(g_fns.set_handlers)>(dlsym(library, "set_recivedata_func"));
    g_fns.send_command = reinterpret_cast<decltype(g_fns.send_command)>(dlsym(library, "send_command"));
    g_fns.echo = reinterpret_cast<decltype(g_fns.echo)>(dlsym(library, "send_echo_packet"));
    g_fns.direct = reinterpret_cast<decltype(g_fns.direct)>(dlsym(library, "net_direct_send"));
    return g_fns.direct != nullptr && g_fns.start != nullptr && g_fns.stop != nullptr && g_fns.set_handlers != nullptr &&
           g_fns.send_command != nullptr && g_fns.echo != nullptr;
}

// The stack's reports: recorded and answered (the stack drops the answer).
int on_report(LINK_CHUNK *request) {
    const auto *header = reinterpret_cast<const LINK_HEADER *>(request->data);
    {
        std::lock_guard<std::mutex> guard(g_reports_lock);
        const size_t length = static_cast<size_t>(request->length) - LINK_HEADER_SIZE;
        const uint8_t *payload = request->data + LINK_HEADER_SIZE;
        g_reports.push_back({header->command, length, std::vector<uint8_t>(payload, payload + length)});
    }
    g_fns.echo(g_link, request, 0, nullptr, 0);
    return 1;
}

std::atomic<int> g_strays{0};

void on_reply(LINK_CHUNK *reply, LINK_SEND_NODE *) {
    if (reply != nullptr) g_strays.fetch_add(1);
}

}  // namespace

bool NetClient::open() {
    if (!bind_fns()) return false;
    LINK_CONTEXT *link = g_fns.start(0, "com.corvane.brevik.jnisocket");
    if (link == nullptr) return false;
    g_link = link;
    g_strays.store(0);
    g_fns.set_handlers(link, 2, on_report, on_reply);
    link_ = link;
    return true;
}

void NetClient::close() {
    if (link_ == nullptr) return;
    g_fns.stop(static_cast<LINK_CONTEXT *>(link_));
    link_ = nullptr;
    g_link = nullptr;
    std::lock_guard<std::mutex> guard(g_reports_lock);
    g_reports.clear();
}

NetAnswer NetClient::request(uint16_t word, const std::vector<uint8_t> &payload, int seconds) {
    NetAnswer out;
    uint8_t *reply = nullptr;
    uint32_t length = 0;
    out.answered = g_fns.send_command(static_cast<LINK_CONTEXT *>(link_), word, payload.data(),
                                      static_cast<int32_t>(payload.size()), seconds, &out.status, &reply,
                                      &length) != 0;
    if (reply != nullptr) {
        out.payload.assign(reply, reply + length);
        free(reply);
    }
    return out;
}

std::vector<NetReport> NetClient::reports() {
    std::lock_guard<std::mutex> guard(g_reports_lock);
    return g_reports;
}

void NetClient::post(uint8_t command, const std::vector<uint8_t> &payload) {
    g_fns.direct(static_cast<LINK_CONTEXT *>(link_), static_cast<uint16_t>(0x200 | command), payload.data(),
                 static_cast<int32_t>(payload.size()));
}

int NetClient::stray_answers() { return g_strays.load(); }
