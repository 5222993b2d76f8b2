// Sequence numbers, answers to unhandled requests, reply matching, synchronous commands
// and queued sends with resends, against raw peers that speak the wire format by hand.
#include "link_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class LinkProtocolTest : public LinkTest {
  protected:
    // A server link with the type-2 handlers of recorder 0, and a raw client on it.
    void open_server_with_raw_client() {
        name_ = unique_link_name("proto");
        server_ = start_comm(1, name_.c_str());
        ASSERT_NE(server_, nullptr);
        Recorder::at(0).reset(server_);
        ASSERT_EQ(set_recivedata_func(server_, 2, Recorder::at(0).request_handler(), Recorder::at(0).reply_handler()),
                  1);
        ASSERT_TRUE(raw_.connect_to(name_));
        ASSERT_TRUE(wait_logged("Socket=================OK [0]"));
    }
    // A client link with the type-2 handlers of recorder 1, connected to a raw server.
    void open_client_with_raw_server() {
        name_ = unique_link_name("proto");
        ASSERT_TRUE(raw_.listen_on(name_));
        client_ = start_comm(0, name_.c_str());
        ASSERT_NE(client_, nullptr);
        Recorder::at(1).reset(client_);
        ASSERT_EQ(set_recivedata_func(client_, 2, Recorder::at(1).request_handler(), Recorder::at(1).reply_handler()),
                  1);
        ASSERT_TRUE(raw_.accept_one());
    }
    void TearDown() override {
        stop_comm(client_);
        stop_comm(server_);
        raw_.close_fd();
        LinkTest::TearDown();
    }
    std::string name_;
    LINK_CONTEXT *server_ = nullptr;
    LINK_CONTEXT *client_ = nullptr;
    RawPeer raw_;
};

TEST_F(LinkProtocolTest, SequenceNumbersRunOneTo65535AndWrap) {
    // Nothing listens here: the requests go nowhere, but each still gets its number.
    std::string name = unique_link_name("seq");
    client_ = start_comm(0, name.c_str());
    ASSERT_NE(client_, nullptr);
    EXPECT_EQ(net_direct_send(client_, 0x201, nullptr, 0), 1u);
    for (uint32_t expect = 2; expect < 65535; ++expect) ASSERT_EQ(net_direct_send(client_, 0x201, nullptr, 0), expect);
    EXPECT_EQ(net_direct_send(client_, 0x201, nullptr, 0), 65535u);
    EXPECT_EQ(net_direct_send(client_, 0x201, nullptr, 0), 1u);
    EXPECT_EQ(net_send(client_, 0x201, nullptr, 0, 1, 1), 2u);
}

TEST_F(LinkProtocolTest, SendersRefuseBadPayloads) {
    std::string name = unique_link_name("refuse");
    client_ = start_comm(0, name.c_str());
    ASSERT_NE(client_, nullptr);
    uint8_t byte = 0;
    struct Case {
        const void *payload;
        int32_t length;
    };
    const Case cases[] = {{&byte, -1}, {nullptr, 1}, {&byte, static_cast<int32_t>(LINK_PAYLOAD_MAX + 1)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(net_direct_send(client_, 0x201, c.payload, c.length), 0u);
        EXPECT_EQ(net_send(client_, 0x201, c.payload, c.length, 1, 1), 0u);
        EXPECT_EQ(send_command(client_, 0x201, c.payload, c.length, 1, nullptr, nullptr, nullptr), 0);
    }
    EXPECT_TRUE(logged("comm_fill_payload Error length [-1]"));
    EXPECT_TRUE(logged("comm_fill_payload Error length [6143985]"));
    // The counter did not move for refused requests.
    EXPECT_EQ(net_direct_send(client_, 0x201, nullptr, 0), 1u);
    EXPECT_EQ(net_direct_send(nullptr, 0x201, nullptr, 0), 0u);
    EXPECT_EQ(net_send(nullptr, 0x201, nullptr, 0, 1, 1), 0u);
    EXPECT_EQ(set_recivedata_func(nullptr, 2, nullptr, nullptr), 0);
    EXPECT_TRUE(logged("set_recivedata_func Error1"));
    EXPECT_EQ(set_recivedata_func(client_, 4, nullptr, nullptr), 0);
}

TEST_F(LinkProtocolTest, CommandWordOfAHeader) {
    LINK_HEADER h{};
    h.type = 2;
    h.command = 4;
    EXPECT_EQ(get_cmd_by_nethead(&h), 0x204);
    h.type = 3;
    h.command = 0xFF;
    EXPECT_EQ(get_cmd_by_nethead(&h), 0x3FF);
}

TEST_F(LinkProtocolTest, UnhandledRequestIsAnsweredWithStatusOne) {
    open_server_with_raw_client();
    ASSERT_TRUE(raw_.write_bytes(wire_message(0x1234, LINK_DIR_REQUEST, 1, 5, 0, {1, 2, 3})));
    WireMessage answer;
    ASSERT_TRUE(raw_.read_message(&answer));
    EXPECT_EQ(answer.header.sequence, 0x1234u);
    EXPECT_EQ(answer.header.direction, LINK_DIR_REPLY);
    EXPECT_EQ(answer.header.type, 1);
    EXPECT_EQ(answer.header.command, 5);
    EXPECT_EQ(answer.header.status, 1);
    EXPECT_EQ(answer.header.mark, LINK_MARK);
    EXPECT_EQ(answer.header.length, 0u);
    // A type beyond the four slots is answered the same way.
    ASSERT_TRUE(raw_.write_bytes(wire_message(7, LINK_DIR_REQUEST, 9, 1, 0, {})));
    ASSERT_TRUE(raw_.read_message(&answer));
    EXPECT_EQ(answer.header.type, 9);
    EXPECT_EQ(answer.header.status, 1);
    EXPECT_EQ(Recorder::at(0).request_count(), 0u);
}

TEST_F(LinkProtocolTest, HandlerThatAnswersAndGivesZeroProducesBothAnswers) {
    open_server_with_raw_client();
    Recorder::at(0).set_answer(true, 0x33, {9, 8, 7}, 0);
    ASSERT_TRUE(raw_.write_bytes(wire_message(42, LINK_DIR_REQUEST, 2, 6, 0, {})));
    WireMessage own, unhandled;
    ASSERT_TRUE(raw_.read_message(&own));
    ASSERT_TRUE(raw_.read_message(&unhandled));
    EXPECT_EQ(own.header.status, 0x33);
    EXPECT_EQ(own.payload, (Bytes{9, 8, 7}));
    EXPECT_EQ(unhandled.header.status, 1);
    EXPECT_EQ(unhandled.header.length, 0u);
    EXPECT_EQ(own.header.sequence, 42u);
    EXPECT_EQ(unhandled.header.sequence, 42u);
}

TEST_F(LinkProtocolTest, UnmatchedReplyReachesReplyHandlerWithoutNode) {
    open_server_with_raw_client();
    ASSERT_TRUE(raw_.write_bytes(wire_message(999, LINK_DIR_REPLY, 2, 3, 5, {4, 4})));
    ASSERT_TRUE(wait_until([] { return Recorder::at(0).reply_count() == 1; }));
    Recorded seen = Recorder::at(0).snapshot();
    ASSERT_TRUE(seen.replies[0].has_reply);
    EXPECT_FALSE(seen.replies[0].has_node);
    EXPECT_EQ(seen.replies[0].reply.header.sequence, 999u);
    EXPECT_EQ(seen.replies[0].reply.payload, (Bytes{4, 4}));
}

TEST_F(LinkProtocolTest, UnknownDirectionIsDroppedSilently) {
    open_server_with_raw_client();
    // Type 1 has no handler: taken for a request, it would be answered.
    ASSERT_TRUE(raw_.write_bytes(wire_message(5, 0x55, 1, 1, 0, {1})));
    ASSERT_TRUE(raw_.write_bytes(wire_message(6, 0x55, 2, 1, 0, {1})));
    ASSERT_TRUE(raw_.write_bytes(wire_message(7, LINK_DIR_REQUEST, 2, 1, 0, {2})));
    ASSERT_TRUE(wait_until([] { return Recorder::at(0).request_count() == 1; }));
    EXPECT_FALSE(raw_.readable_within(100));
    Recorded seen = Recorder::at(0).snapshot();
    EXPECT_EQ(seen.requests[0].header.sequence, 7u);
    EXPECT_TRUE(seen.replies.empty());
}

class LinkCommandTest : public LinkProtocolTest {};

TEST_F(LinkCommandTest, HundredRoundTrips) {
    name_ = unique_link_name("rt");
    server_ = start_comm(1, name_.c_str());
    client_ = start_comm(0, name_.c_str());
    ASSERT_TRUE(server_ && client_);
    Recorder::at(0).reset(server_);
    set_recivedata_func(server_, 2, Recorder::at(0).request_handler(), nullptr);
    for (int i = 0; i < 100; ++i) {
        Bytes answer = seeded_bytes(static_cast<uint32_t>(i), static_cast<size_t>(i * 37));
        uint8_t status_given = static_cast<uint8_t>(i == 50 ? 0xFF : i);  // 0xFF is a status like any other
        Recorder::at(0).set_answer(true, status_given, answer, 1);
        uint8_t status = 0xEE;
        uint8_t *reply = nullptr;
        uint32_t length = 12345;
        Bytes request = seeded_bytes(1000u + static_cast<uint32_t>(i), 16);
        ASSERT_EQ(send_command(client_, 0x209, request.data(), 16, 2, &status, &reply, &length), 1) << i;
        EXPECT_EQ(status, status_given) << i;
        ASSERT_EQ(length, answer.size()) << i;
        if (length > 0) {
            EXPECT_EQ(Bytes(reply, reply + length), answer) << i;
        }
        free(reply);
    }
    EXPECT_EQ(Recorder::at(0).request_count(), 100u);
}

TEST_F(LinkCommandTest, SilentPeerTimesOutAndTheLateReplyGoesToTheReplyHandler) {
    open_client_with_raw_server();
    uint8_t status = 0;
    uint8_t *reply = reinterpret_cast<uint8_t *>(&status);
    auto start = Clock::now();
    EXPECT_EQ(send_command(client_, 0x204, "abc", 3, 0, &status, &reply, nullptr), 0);
    EXPECT_GE(ms_since(start), 1000);
    EXPECT_EQ(reply, reinterpret_cast<uint8_t *>(&status));  // untouched
    WireMessage req;
    ASSERT_TRUE(raw_.read_message(&req));
    EXPECT_EQ(req.payload, (Bytes{'a', 'b', 'c'}));
    ASSERT_TRUE(raw_.write_bytes(wire_message(req.header.sequence, LINK_DIR_REPLY, 2, 4, 0, {1})));
    ASSERT_TRUE(wait_until([] { return Recorder::at(1).reply_count() == 1; }));
    Recorded seen = Recorder::at(1).snapshot();
    EXPECT_TRUE(seen.replies[0].has_reply);
    EXPECT_FALSE(seen.replies[0].has_node);
}

// The waiter is registered before the request leaves: a reply written the moment the
// request is read is never lost to the reply handler.
TEST_F(LinkCommandTest, ImmediateRepliesAlwaysReachTheWaiter) {
    open_client_with_raw_server();
    std::atomic<bool> stop{false};
    std::thread answerer([&] {
        WireMessage req;
        while (!stop.load()) {
            if (!raw_.read_message(&req, 100)) continue;
            raw_.write_bytes(wire_message(req.header.sequence, LINK_DIR_REPLY, req.header.type, req.header.command,
                                          0x11, {}));
        }
    });
    for (int i = 0; i < 50; ++i) {
        uint8_t status = 0;
        ASSERT_EQ(send_command(client_, 0x201, nullptr, 0, 1, &status, nullptr, nullptr), 1) << i;
        EXPECT_EQ(status, 0x11);
    }
    stop = true;
    answerer.join();
    EXPECT_EQ(Recorder::at(1).reply_count(), 0u);
}

TEST_F(LinkCommandTest, QueuedRequestIsResentThenGivenUp) {
    open_client_with_raw_server();
    uint32_t seq = net_send(client_, 0x205, "x", 1, 3, 1000);
    ASSERT_NE(seq, 0u);
    std::vector<int64_t> at;
    auto start = Clock::now();
    for (int copy = 0; copy < 3; ++copy) {
        WireMessage m;
        ASSERT_TRUE(raw_.read_message(&m, 3000)) << copy;
        at.push_back(ms_since(start));
        EXPECT_EQ(m.header.sequence, seq);
        EXPECT_EQ(m.payload, (Bytes{'x'}));
    }
    EXPECT_GT(at[1] - at[0], 1000);
    ASSERT_TRUE(wait_until([] { return Recorder::at(1).reply_count() == 1; }, 3000));
    Recorded seen = Recorder::at(1).snapshot();
    EXPECT_FALSE(seen.replies[0].has_reply);
    ASSERT_TRUE(seen.replies[0].has_node);
    EXPECT_EQ(seen.replies[0].node_sequence, seq);
    EXPECT_EQ(seen.replies[0].node_sends, 3);
    EXPECT_FALSE(raw_.readable_within(300));
}

TEST_F(LinkCommandTest, DefaultsWriteOnceAndGiveUpAtTheNextPass) {
    open_client_with_raw_server();
    uint32_t seq = net_send(client_, 0x205, nullptr, 0, 0, 0);
    WireMessage m;
    ASSERT_TRUE(raw_.read_message(&m));
    auto start = Clock::now();
    ASSERT_TRUE(wait_until([] { return Recorder::at(1).reply_count() == 1; }, 2000));
    EXPECT_LE(ms_since(start), 600);
    Recorded seen = Recorder::at(1).snapshot();
    EXPECT_FALSE(seen.replies[0].has_reply);
    EXPECT_EQ(seen.replies[0].node_sequence, seq);
    EXPECT_EQ(seen.replies[0].node_sends, 1);
    EXPECT_FALSE(raw_.readable_within(300));
}

TEST_F(LinkCommandTest, ReplyInTimeStopsTheResends) {
    open_client_with_raw_server();
    uint32_t seq = net_send(client_, 0x206, "q", 1, 3, 1000);
    WireMessage m;
    ASSERT_TRUE(raw_.read_message(&m));
    ASSERT_TRUE(raw_.write_bytes(wire_message(seq, LINK_DIR_REPLY, 2, 6, 0, {5})));
    ASSERT_TRUE(wait_until([] { return Recorder::at(1).reply_count() == 1; }));
    Recorded seen = Recorder::at(1).snapshot();
    EXPECT_TRUE(seen.replies[0].has_reply);
    EXPECT_TRUE(seen.replies[0].has_node);
    EXPECT_EQ(seen.replies[0].node_sequence, seq);
    EXPECT_FALSE(raw_.readable_within(1500));
    EXPECT_EQ(Recorder::at(1).reply_count(), 1u);
}

}  // namespace
