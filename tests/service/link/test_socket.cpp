// The socket layer on its own: names, the two client slots, reconnecting, peers that
// vanish or stop reading.
#include <signal.h>
#include <sys/socket.h>

#include "link_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Collects what one record's callback received.
struct Sink {
    std::mutex mu;
    std::string bytes;
    static int callback(void *user, uint8_t *data, int32_t count) {
        Sink *s = static_cast<Sink *>(user);
        std::lock_guard<std::mutex> lock(s->mu);
        s->bytes.append(reinterpret_cast<char *>(data), static_cast<size_t>(count));
        return 0;
    }
    bool has(const std::string &needle) {
        std::lock_guard<std::mutex> lock(mu);
        return bytes.find(needle) != std::string::npos;
    }
};

int send_text(void *record, int kind, const std::string &text) {
    return socket_send(record, kind, reinterpret_cast<const uint8_t *>(text.data()), static_cast<int32_t>(text.size()));
}

class LinkSocketTest : public LinkTest {};

TEST_F(LinkSocketTest, NameOf107CharactersWorksAnd108IsRefused) {
    std::string base = unique_link_name("n");
    std::string name107 = base + std::string(107 - base.size(), 'x');
    std::string name108 = name107 + "y";
    Sink server_sink, client_sink;
    void *server = socket_open(1, Sink::callback, name107.c_str(), &server_sink);
    void *client = socket_open(0, Sink::callback, name107.c_str(), &client_sink);
    ASSERT_TRUE(server && client);
    EXPECT_EQ(send_text(client, 0, "hello"), 5);
    EXPECT_TRUE(wait_until([&] { return server_sink.has("hello"); }));
    EXPECT_FALSE(logged("socket_local_server Error2"));
    socket_close(client, 0);
    socket_close(server, 1);

    int accepted = count_logged("Socket=================OK");
    void *long_server = socket_open(1, Sink::callback, name108.c_str(), &server_sink);
    ASSERT_NE(long_server, nullptr);
    EXPECT_TRUE(logged("socket_local_server Error2"));
    EXPECT_TRUE(logged("socket_service_openserver Error2"));
    void *long_client = socket_open(0, Sink::callback, name108.c_str(), &client_sink);
    ASSERT_NE(long_client, nullptr);
    EXPECT_EQ(send_text(long_client, 0, "lost"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(count_logged("Socket=================OK"), accepted);
    socket_close(long_client, 0);
    socket_close(long_server, 1);
}

TEST_F(LinkSocketTest, ClientWithNothingListeningStaysUnconnected) {
    std::string name = unique_link_name("none");
    Sink sink;
    void *client = socket_open(0, Sink::callback, name.c_str(), &sink);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(send_text(client, 0, "x"), 0);
    // A server appearing later is never found.
    void *server = socket_open(1, Sink::callback, name.c_str(), &sink);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(send_text(client, 0, "x"), 0);
    EXPECT_FALSE(logged("Socket=================OK"));
    socket_close(client, 0);
    socket_close(server, 1);
    EXPECT_EQ(send_text(nullptr, 0, "x"), 0);
    socket_close(nullptr, 0);
    EXPECT_TRUE(logged("socket_close Error1"));
}

// Both slots busy: the third client is closed at once and keeps reconnecting until a slot
// is free.
TEST_F(LinkSocketTest, ThirdClientIsServedOnceASlotFrees) {
    std::string name = unique_link_name("third");
    Sink server_sink, sink1, sink2, sink3;
    void *server = socket_open(1, Sink::callback, name.c_str(), &server_sink);
    void *c1 = socket_open(0, Sink::callback, name.c_str(), &sink1);
    void *c2 = socket_open(0, Sink::callback, name.c_str(), &sink2);
    ASSERT_TRUE(wait_logged("Socket=================OK [1]"));
    void *c3 = socket_open(0, Sink::callback, name.c_str(), &sink3);
    ASSERT_NE(c3, nullptr);
    ASSERT_TRUE(wait_logged("slots full"));
    EXPECT_EQ(send_text(c1, 0, "one;"), 4);
    EXPECT_EQ(send_text(c2, 0, "two;"), 4);
    send_text(c3, 0, "early;");
    ASSERT_TRUE(wait_until([&] { return server_sink.has("one;") && server_sink.has("two;"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(server_sink.has("early;"));
    socket_service_send(server, reinterpret_cast<const uint8_t *>("all;"), 4);
    EXPECT_TRUE(wait_until([&] { return sink1.has("all;") && sink2.has("all;"); }));
    EXPECT_FALSE(sink3.has("all;"));

    socket_close(c1, 0);
    ASSERT_TRUE(wait_logged("socket disconnected!connect again 2"));
    // The third client takes the freed slot at its next attempt.
    EXPECT_TRUE(wait_until([&] {
        send_text(c3, 0, "three;");
        return server_sink.has("three;");
    }));
    socket_close(c3, 0);
    socket_close(c2, 0);
    socket_close(server, 1);
}

TEST_F(LinkSocketTest, ClientReconnectsToARestartedServer) {
    std::string name = unique_link_name("restart");
    Sink sink_a, sink_b, client_sink;
    void *a = socket_open(1, Sink::callback, name.c_str(), &sink_a);
    void *client = socket_open(0, Sink::callback, name.c_str(), &client_sink);
    ASSERT_TRUE(wait_logged("Socket=================OK [0]"));
    socket_close(a, 1);
    ASSERT_TRUE(wait_logged("socket disconnected!connect again 2"));
    void *b = socket_open(1, Sink::callback, name.c_str(), &sink_b);
    EXPECT_FALSE(logged("socket_local_server Error2"));  // the name was free at once
    ASSERT_TRUE(wait_logged("socket connect again!"));
    EXPECT_TRUE(wait_until([&] {
        send_text(client, 0, "after;");
        return sink_b.has("after;");
    }));
    socket_close(client, 0);
    socket_close(b, 1);
}

TEST_F(LinkSocketTest, PeerThatClosesEmptiesItsSlot) {
    std::string name = unique_link_name("close");
    Sink sink;
    void *server = socket_open(1, Sink::callback, name.c_str(), &sink);
    RawPeer first;
    ASSERT_TRUE(first.connect_to(name));
    ASSERT_TRUE(wait_logged("Socket=================OK [0]"));
    first.close_fd();
    ASSERT_TRUE(wait_logged("socket disconnected!connect again 2"));
    RawPeer second;
    ASSERT_TRUE(second.connect_to(name));
    ASSERT_TRUE(wait_until([&] { return count_logged("Socket=================OK [0]") == 2; }));
    EXPECT_FALSE(logged("Socket=================OK [1]"));
    socket_close(server, 1);
}

// A client that vanishes in the middle of a large write: with SIGPIPE at its default
// disposition the process would end if the write raised it.
TEST_F(LinkSocketTest, PeerVanishingDuringALargeWriteLeavesTheProcessRunning) {
    struct sigaction old_action;
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, &old_action);
    std::string name = unique_link_name("vanish");
    Sink sink;
    void *server = socket_open(1, Sink::callback, name.c_str(), &sink);
    RawPeer peer;
    ASSERT_TRUE(peer.connect_to(name));
    ASSERT_TRUE(wait_logged("Socket=================OK [0]"));
    Bytes big(6 * 1000 * 1000, 0x5A);
    std::thread closer([&] {
        uint8_t buf[4096];
        recv(peer.fd(), buf, sizeof buf, 0);
        peer.close_fd();
    });
    // The kernel may take a whole message into its buffers before the peer goes: write
    // again until a write meets the closed peer.
    socket_service_send(server, big.data(), static_cast<int32_t>(big.size()));
    closer.join();
    // Either a write meets the closed peer, or the receive thread sees the close first (a
    // reset, as the peer left unread data): both empty the slot.
    auto slot_dropped = [&] {
        return logged("socket_service_send Error [0]") || logged("socket disconnected! connect again! 1") ||
               logged("socket disconnected!connect again 2");
    };
    for (int attempt = 0; attempt < 4 && !slot_dropped(); ++attempt) {
        socket_service_send(server, big.data(), static_cast<int32_t>(big.size()));
    }
    EXPECT_TRUE(wait_until(slot_dropped));
    // Slot 0 is free again.
    RawPeer next;
    ASSERT_TRUE(next.connect_to(name));
    EXPECT_TRUE(wait_until([&] { return count_logged("Socket=================OK [0]") == 2; }));
    socket_close(server, 1);
    sigaction(SIGPIPE, &old_action, nullptr);
}

TEST_F(LinkSocketTest, PeerThatNeverReadsLosesItsConnectionAfterTheTimeOut) {
    std::string name = unique_link_name("stall");
    Sink sink;
    void *server = socket_open(1, Sink::callback, name.c_str(), &sink);
    RawPeer stalled, reader;
    ASSERT_TRUE(stalled.connect_to(name));
    ASSERT_TRUE(wait_logged("Socket=================OK [0]"));
    ASSERT_TRUE(reader.connect_to(name));
    ASSERT_TRUE(wait_logged("Socket=================OK [1]"));
    std::atomic<size_t> read_total{0};
    std::atomic<bool> sending{true};
    std::thread drain([&] {
        uint8_t buf[65536];
        // Reads while the sends last, then until the stream has been quiet for a while.
        for (;;) {
            bool ready = reader.readable_within(200);
            if (!ready && !sending.load()) break;
            if (!ready) continue;
            ssize_t n = recv(reader.fd(), buf, sizeof buf, 0);
            if (n <= 0) break;
            read_total += static_cast<size_t>(n);
        }
    });
    // The kernel buffers several megabytes per connection: write until the stalled peer's
    // buffers are full and a write to it gives up.
    Bytes big(6 * 1000 * 1000, 0x33);
    int64_t took = 0;
    size_t sent = 0;
    for (int attempt = 0; attempt < 6 && !logged("socket_service_send Error [0]"); ++attempt) {
        auto start = Clock::now();
        socket_service_send(server, big.data(), static_cast<int32_t>(big.size()));
        took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        sent += big.size();
    }
    sending = false;
    EXPECT_TRUE(logged("socket_service_send Error [0]"));
    EXPECT_GE(took, 2000);
    EXPECT_LE(took, 4000);
    // The reader still gets every byte; the stalled peer's connection is closed.
    drain.join();
    EXPECT_EQ(read_total.load(), sent);
    uint8_t buf[65536];
    size_t got = 0;
    ssize_t n = -1;
    while (stalled.readable_within(1000) && (n = recv(stalled.fd(), buf, sizeof buf, 0)) > 0) got += static_cast<size_t>(n);
    EXPECT_EQ(n, 0);
    EXPECT_LT(got, sent);
    socket_close(server, 1);
}

}  // namespace
