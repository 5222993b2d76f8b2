// Starting and stopping links under traffic, and hostile headers from a local process.
#include "link_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class LinkLifecycleTest : public LinkTest {};

bool server_saw(const char *tag) {
    for (const WireMessage &m : Recorder::at(0).snapshot().requests) {
        if (std::string(m.payload.begin(), m.payload.end()) == tag) return true;
    }
    return false;
}

LINK_CONTEXT *start_answering_server(const std::string &name) {
    LINK_CONTEXT *server = start_comm(1, name.c_str());
    if (server == nullptr) return nullptr;
    Recorder::at(0).reset(server);
    Recorder::at(0).set_answer(true, 0, {1, 2, 3}, 1);
    set_recivedata_func(server, 2, Recorder::at(0).request_handler(), nullptr);
    return server;
}

// Two clients keep sending (commands that wait for their answer, and direct requests that
// are answered to no one) while the server link is started and stopped 20 times: every
// thread ends, nothing leaks (LeakSanitizer), nothing is used after it is freed, and the
// name can be bound again at once.
TEST_F(LinkLifecycleTest, TwentyRestartsUnderTraffic) {
    std::string name = unique_link_name("life");
    // A sanitizer's own helper thread starts with the process's first thread: let it.
    std::thread([] {}).join();
    int threads_before = thread_count();
    LINK_CONTEXT *server = start_answering_server(name);
    ASSERT_NE(server, nullptr);
    LINK_CONTEXT *clients[2] = {start_comm(0, name.c_str()), start_comm(0, name.c_str())};
    ASSERT_TRUE(clients[0] && clients[1]);
    std::atomic<bool> stop{false};
    std::atomic<int> answered[2] = {0, 0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 2; ++i) {
        senders.emplace_back([&, i] {
            const char *tag = i == 0 ? "cmd0" : "cmd1";
            while (!stop.load()) {
                uint8_t status = 0xEE;
                uint8_t *reply = nullptr;
                uint32_t length = 0;
                if (send_command(clients[i], 0x201, tag, 4, 1, &status, &reply, &length) == 1 && status == 0 &&
                    length == 3) {
                    ++answered[i];
                }
                free(reply);
            }
        });
        senders.emplace_back([&, i] {
            const char *tag = i == 0 ? "dir0" : "dir1";
            while (!stop.load()) {
                net_direct_send(clients[i], 0x202, tag, 4);
                msleep(2);
            }
        });
    }
    ASSERT_TRUE(wait_until([&] { return answered[0] > 0 && answered[1] > 0; }));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        EXPECT_TRUE(wait_until([] { return server_saw("dir0") && server_saw("dir1"); }));
        stop_comm(server);
        server = start_answering_server(name);
        ASSERT_NE(server, nullptr);
    }
    int before_last[2] = {answered[0].load(), answered[1].load()};
    EXPECT_TRUE(wait_until([&] { return answered[0] > before_last[0] && answered[1] > before_last[1]; }));
    EXPECT_FALSE(logged("socket_local_server Error2"));
    stop = true;
    for (std::thread &t : senders) t.join();
    stop_comm(clients[0]);
    stop_comm(clients[1]);
    stop_comm(server);
    Recorder::at(0).reset();
    EXPECT_TRUE(wait_until([&] { return thread_count() == threads_before; }, 2000))
        << thread_count() << " threads, " << threads_before << " before";
}

TEST_F(LinkLifecycleTest, StopWithQueuedRequestsAndUnreadChunks) {
    std::string name = unique_link_name("stopq");
    RawPeer raw;
    ASSERT_TRUE(raw.listen_on(name));
    LINK_CONTEXT *client = start_comm(0, name.c_str());
    ASSERT_TRUE(raw.accept_one());
    for (int i = 0; i < 20; ++i) ASSERT_NE(net_send(client, 0x201, "abc", 3, 5, 5000), 0u);
    // Half a message stays in the assembler when the link stops.
    Bytes partial = wire_message(1, LINK_DIR_REQUEST, 2, 1, 0, Bytes(5000, 1));
    partial.resize(3000);
    ASSERT_TRUE(raw.write_bytes(partial));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop_comm(client);
    stop_comm(nullptr);
}

// A local process sends headers whose length is out of bounds: each is refused with its
// log line, and the next valid message from a new connection is dispatched.
TEST_F(LinkLifecycleTest, HostileLengthsAreRefusedOverSockets) {
    std::string name = unique_link_name("hostile");
    LINK_CONTEXT *server = start_comm(1, name.c_str());
    ASSERT_NE(server, nullptr);
    Recorder::at(0).reset(server);
    set_recivedata_func(server, 2, Recorder::at(0).request_handler(), nullptr);
    const uint32_t lengths[] = {LINK_PAYLOAD_MAX + 1, 0xFFFFFFF0u};
    for (size_t i = 0; i < 2; ++i) {
        uint32_t length = lengths[i];
        SCOPED_TRACE(length);
        RawPeer bad;
        ASSERT_TRUE(bad.connect_to(name));
        Bytes header = wire_message(1, LINK_DIR_REQUEST, 2, 1, 0, {});
        memcpy(header.data() + 12, &length, 4);
        ASSERT_TRUE(bad.write_bytes(header));
        ASSERT_TRUE(wait_logged("distribute_proc Error length [" + std::to_string(length) + "]"));
        bad.close_fd();
        RawPeer good;
        ASSERT_TRUE(good.connect_to(name));
        Bytes message = wire_message(50 + static_cast<uint32_t>(i), LINK_DIR_REQUEST, 2, 9, 0, {7, 7, 7});
        ASSERT_TRUE(good.write_bytes(message));
        ASSERT_TRUE(wait_until([&] { return Recorder::at(0).request_count() == i + 1; }));
        EXPECT_EQ(Recorder::at(0).snapshot().requests[i].bytes(), message);
    }
    stop_comm(server);
}

}  // namespace
