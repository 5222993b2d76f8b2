// Message boundaries: chunks fed to the receive callback, the reassembly on its own, and
// streams of requests over real sockets.
#include <random>

#include "link_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes request(uint32_t seq, uint8_t command, size_t payload_size) {
    return wire_message(seq, LINK_DIR_REQUEST, 2, command, 0, seeded_bytes(seq, payload_size));
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct FramingCase {
    std::string name;
    std::vector<Bytes> messages;  // as sent
    std::vector<size_t> cuts;     // chunk boundaries in the joined stream
};

std::vector<FramingCase> framing_cases() {
    std::vector<FramingCase> cases;
    for (size_t split = 1; split < LINK_HEADER_SIZE; ++split) {
        cases.push_back({"header split after " + std::to_string(split), {request(10 + split, 1, 20)}, {split}});
    }
    cases.push_back({"two in one chunk", {request(1, 1, 5), request(2, 2, 30)}, {}});
    cases.push_back({"three in one chunk", {request(1, 1, 0), request(2, 2, 7), request(3, 3, 100)}, {}});
    cases.push_back({"2049 bytes in two chunks", {request(4, 4, 2049 - LINK_HEADER_SIZE)}, {2048}});
    cases.push_back({"length 0", {request(5, 5, 0)}, {}});
    cases.push_back({"second message's header split", {request(6, 1, 3), request(7, 2, 3)}, {19 + 5}});
    return cases;
}

class LinkFramingTest : public LinkTest {};

// A client link whose name nobody listens on: its socket never delivers, so the chunks fed
// here are all the distribute thread sees.
TEST_F(LinkFramingTest, ChunkBoundariesThroughTheReceiveCallback) {
    std::string name = unique_link_name("framing");
    LINK_CONTEXT *link = start_comm(0, name.c_str());
    ASSERT_NE(link, nullptr);
    ASSERT_NE(link->transport, nullptr);
    Recorder &rec = Recorder::at(0);
    rec.reset(link);
    ASSERT_EQ(set_recivedata_func(link, 2, rec.request_handler(), rec.reply_handler()), 1);
    for (const FramingCase &c : framing_cases()) {
        SCOPED_TRACE(c.name);
        rec.reset(link);
        Bytes stream;
        for (const Bytes &m : c.messages) stream.insert(stream.end(), m.begin(), m.end());
        size_t from = 0;
        std::vector<size_t> cuts = c.cuts;
        cuts.push_back(stream.size());
        for (size_t cut : cuts) {
            ASSERT_EQ(recive_udp_proc(link->transport->queues, stream.data() + from, static_cast<int32_t>(cut - from)), 0);
            from = cut;
        }
        ASSERT_TRUE(wait_until([&] { return rec.request_count() >= c.messages.size(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Recorded seen = rec.snapshot();
        ASSERT_EQ(seen.requests.size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) EXPECT_EQ(seen.requests[i].bytes(), c.messages[i]) << i;
    }
    stop_comm(link);
}

TEST_F(LinkFramingTest, ReceiveCallbackRefusesMissingArguments) {
    uint8_t byte = 0;
    EXPECT_EQ(recive_udp_proc(nullptr, &byte, 1), -1);
    LINK_QUEUES fake{};
    EXPECT_EQ(recive_udp_proc(&fake, nullptr, 1), -1);
    EXPECT_EQ(recive_udp_proc(&fake, &byte, 0), -1);
    EXPECT_TRUE(logged("recive_udp_proc Error1"));
}

// The reassembly without threads: a refused length drops the rest of its chunk and the
// next chunk starts a new header.
struct Collected {
    std::vector<Bytes> messages;
};
void collect(void *user, LINK_CHUNK *m) {
    static_cast<Collected *>(user)->messages.emplace_back(m->data, m->data + m->length);
}

TEST_F(LinkFramingTest, OversizedLengthsAreRefused) {
    struct Case {
        uint32_t length;
        const char *line;
    };
    const Case cases[] = {
        {LINK_PAYLOAD_MAX + 1, "distribute_proc Error length [6143985]"},
        {0xFFFFFFF0u, "distribute_proc Error length [4294967280]"},
        {0xFFFFFFFFu, "distribute_proc Error length [4294967295]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        LINK_ASSEMBLER a{};
        Collected got;
        Bytes bad = wire_message(9, LINK_DIR_REQUEST, 2, 1, 0, {});
        memcpy(bad.data() + 12, &c.length, 4);
        // The bad header, then a good message in the same chunk: both go.
        Bytes chunk = join({bad, request(1, 1, 4)});
        link_assemble_chunk(&a, chunk.data(), static_cast<int32_t>(chunk.size()), collect, &got);
        EXPECT_TRUE(got.messages.empty());
        EXPECT_EQ(a.message, nullptr);
        Bytes good = request(2, 2, 40);
        link_assemble_chunk(&a, good.data(), static_cast<int32_t>(good.size()), collect, &got);
        ASSERT_EQ(got.messages.size(), 1u);
        EXPECT_EQ(got.messages[0], good);
        EXPECT_TRUE(logged(c.line));
        link_assembler_reset(&a);
    }
}

// The last accepted length: a message of the whole send buffer passes whole.
TEST_F(LinkFramingTest, LargestMessageIsAccepted) {
    LINK_ASSEMBLER a{};
    Collected got;
    Bytes big = wire_message(1, LINK_DIR_REQUEST, 2, 1, 0, seeded_bytes(3, LINK_PAYLOAD_MAX));
    for (size_t at = 0; at < big.size(); at += SOCKET_READ_SIZE) {
        size_t n = std::min<size_t>(SOCKET_READ_SIZE, big.size() - at);
        link_assemble_chunk(&a, big.data() + at, static_cast<int32_t>(n), collect, &got);
    }
    ASSERT_EQ(got.messages.size(), 1u);
    EXPECT_EQ(got.messages[0].size(), LINK_SEND_BUFFER_SIZE);
    EXPECT_TRUE(got.messages[0] == big);
    link_assembler_reset(&a);
}

// A partly built message is freed by a reset (the distribute thread's exit).
TEST_F(LinkFramingTest, ResetFreesAPartialMessage) {
    LINK_ASSEMBLER a{};
    Bytes m = request(1, 1, 3000);
    link_assemble_chunk(&a, m.data(), 2048, collect, nullptr);
    EXPECT_NE(a.message, nullptr);
    link_assembler_reset(&a);
    EXPECT_EQ(a.message, nullptr);
}

class LinkSocketStreamTest : public LinkTest {};

TEST_F(LinkSocketStreamTest, TwoThousandRequestsArriveWholeAndInOrder) {
    std::string name = unique_link_name("stream");
    LINK_CONTEXT *server = start_comm(1, name.c_str());
    ASSERT_NE(server, nullptr);
    Recorder &rec = Recorder::at(0);
    rec.reset(server);
    ASSERT_EQ(set_recivedata_func(server, 2, rec.request_handler(), rec.reply_handler()), 1);
    LINK_CONTEXT *client = start_comm(0, name.c_str());
    ASSERT_NE(client, nullptr);
    constexpr uint32_t kSeed = 20260;
    constexpr int kCount = 2000;
    std::mt19937 rng(kSeed);
    std::vector<Bytes> payloads;
    std::vector<uint16_t> commands;
    for (int i = 0; i < kCount; ++i) {
        payloads.push_back(seeded_bytes(kSeed + static_cast<uint32_t>(i), rng() % 20001));
        commands.push_back(static_cast<uint16_t>(0x200 | (i & 0xFF)));
        uint32_t seq = net_direct_send(client, commands.back(), payloads.back().data(),
                                       static_cast<int32_t>(payloads.back().size()));
        ASSERT_EQ(seq, static_cast<uint32_t>(i + 1)) << "seed " << kSeed;
    }
    ASSERT_TRUE(wait_until([&] { return rec.request_count() >= kCount; }, 20000)) << rec.request_count();
    Recorded seen = rec.snapshot();
    ASSERT_EQ(seen.requests.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const WireMessage &m = seen.requests[i];
        const Bytes raw = m.bytes();
        ASSERT_EQ(m.header.sequence, static_cast<uint32_t>(i + 1)) << "seed " << kSeed << " message " << i;
        ASSERT_EQ(raw[4], 0x01);
        ASSERT_EQ(raw[5], 0x02);
        ASSERT_EQ(raw[6], 0);
        ASSERT_EQ(raw[7], 0xAA);
        ASSERT_EQ(raw[8], 2);
        ASSERT_EQ(raw[9], commands[i] & 0xFF);
        ASSERT_EQ(raw[10], 0);
        ASSERT_EQ(raw[11], 0);
        ASSERT_EQ(m.payload, payloads[i]) << "seed " << kSeed << " message " << i;
    }
    stop_comm(client);
    stop_comm(server);
}

TEST_F(LinkSocketStreamTest, ServerMessageReachesBothClients) {
    std::string name = unique_link_name("both");
    LINK_CONTEXT *server = start_comm(1, name.c_str());
    LINK_CONTEXT *a = start_comm(0, name.c_str());
    LINK_CONTEXT *b = start_comm(0, name.c_str());
    ASSERT_TRUE(server && a && b);
    Recorder::at(1).reset(a);
    Recorder::at(2).reset(b);
    set_recivedata_func(a, 3, Recorder::at(1).request_handler(), nullptr);
    set_recivedata_func(b, 3, Recorder::at(2).request_handler(), nullptr);
    ASSERT_TRUE(wait_logged("Socket=================OK [1]"));
    Bytes payload = seeded_bytes(77, 5000);
    ASSERT_EQ(net_direct_send(server, 0x307, payload.data(), static_cast<int32_t>(payload.size())), 1u);
    for (int i : {1, 2}) {
        ASSERT_TRUE(wait_until([&] { return Recorder::at(i).request_count() == 1; })) << i;
        Recorded seen = Recorder::at(i).snapshot();
        EXPECT_EQ(seen.requests[0].payload, payload);
        EXPECT_EQ(get_cmd_by_nethead(&seen.requests[0].header), 0x307);
    }
    stop_comm(a);
    stop_comm(b);
    stop_comm(server);
}

}  // namespace
