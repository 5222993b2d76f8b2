// Serial packet transport against an engine simulator on a pseudo-terminal's master
// side: replies delimited by silence, reads during a cycle, the RTS/CTS handshake on
// switch files, the packet queue and the command names.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "engine_test.h"

namespace {

using namespace std::string_literals;

constexpr char kPacketSwitchDir[] = "/sys/devices/switch/";
constexpr char kTty[] = "/dev/ttyS1";
// At 1200 baud the reply gap is 40000 / 1200 + 1 = 34 ms: wide enough for bursts a few
// milliseconds apart to count as one reply on a loaded host.
constexpr int kSpeed = 1200;
constexpr int kGapMs = 34;

struct Burst {
    int delay_ms;
    std::string bytes;
};

// The engine: waits for a request, then answers with bursts, each after its delay.
class EngineSim {
  public:
    explicit EngineSim(SimPty *pty) : pty_(pty) {}
    ~EngineSim() { join(); }
    void answer(std::vector<Burst> bursts, int wait_ms = 2000) {
        thread_ = std::thread([this, bursts, wait_ms] {
            char buf[4096];
            ssize_t n = sim_pty_receive(pty_, buf, sizeof buf, wait_ms);
            if (n <= 0) return;
            request_.assign(buf, static_cast<size_t>(n));
            // A request may arrive in pieces; take what follows at once.
            while ((n = sim_pty_receive(pty_, buf, sizeof buf, 5)) > 0) request_.append(buf, static_cast<size_t>(n));
            for (const Burst &b : bursts) {
                plat_sleep_real(b.delay_ms);
                sim_pty_send(pty_, b.bytes.data(), b.bytes.size());
            }
        });
    }
    std::string request() {
        join();
        return request_;
    }
    void join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    SimPty *pty_;
    std::thread thread_;
    std::string request_;
};

// A driver's packet procedures: "REQ <name> <key>=<value>", accepted by the reply "ACK".
struct PackDriver {
    static inline std::atomic<int> unpacks{0};
    static inline int last_reply_len = -1;
    static inline std::string last_reply;
    static int pack(ENGINE_RECORD *, const char *name, const char *key, const char *value, uint8_t *out) {
        if (strcmp(name, "Beep") == 0) return 0;
        return snprintf(reinterpret_cast<char *>(out), ENGINE_PACKET_SIZE, "REQ %s %s=%s", name, key ? key : "-",
                        value ? value : "-");
    }
    static int unpack(ENGINE_RECORD *, const char *, const uint8_t *, int, const uint8_t *reply, int reply_len) {
        ++unpacks;
        last_reply_len = reply_len;
        last_reply.assign(reinterpret_cast<const char *>(reply), static_cast<size_t>(reply_len));
        return last_reply == "ACK" ? 0 : -1;
    }
};

struct Beeps {
    static inline std::atomic<int> count{0}, with_result{0};
    static int callback(int event, DECODE_RESULT *result, int) {
        if (event == SCN_EVENT_BEEP) ++count;
        if (result != nullptr) ++with_result;
        return 0;
    }
};

class PacketTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        make_dirs("/dev");
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kPacketSwitchDir) + node, "");
        write_file(std::string(kPacketSwitchDir) + "uart_cts", "1");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kPacketSwitchDir), 0);
        ASSERT_EQ(sim_pty_open(&pty_, kTty), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 1, kTty), 0);
        ASSERT_GT(serial_open(1, kSpeed, 0), 0);
        ASSERT_EQ(serial_speed(1, kSpeed), 0);
        ASSERT_EQ(getBaydrateDelay(), kGapMs);
        record_ = make_record(ENGINE_KIND_SERIAL);
        record_.scanner_pack = PackDriver::pack;
        record_.scanner_unpack = PackDriver::unpack;
        // The reader needs a decode-cycle state only for its callback.
        record_.common = &state_;
        state_.mCallback = Beeps::callback;
        Beeps::count = 0;
        Beeps::with_result = 0;
        PackDriver::unpacks = 0;
        PackDriver::last_reply_len = -1;
        sim_io_clear();
    }
    void TearDown() override {
        EngineTest::TearDown();
        sim_pty_close(&pty_);
    }
    int tty_ops(char op) {
        int n = 0;
        for (const SimIo &io : sim_io_journal())
            if (io.path == kTty && io.op == op) ++n;
        return n;
    }
    // The handshake as it happened: line writes, CTS reads, waits and UART traffic in
    // order, repeats of one entry folded.
    std::vector<std::string> handshake() {
        struct Entry {
            uint64_t seq;
            std::string text;
        };
        std::vector<Entry> entries;
        const std::string rts = std::string(kPacketSwitchDir) + "uart_rts", cts = std::string(kPacketSwitchDir) + "uart_cts";
        for (const SimIo &io : sim_io_journal()) {
            if (io.path == rts && io.op == 'w') entries.push_back({io.seq, "rts" + io.bytes});
            if (io.path == cts && io.op == 'r') entries.push_back({io.seq, "cts" + io.bytes});
            if (io.path == kTty && io.op == 'w') entries.push_back({io.seq, "write"});
            if (io.path == kTty && io.op == 'r') entries.push_back({io.seq, "reply"});
        }
        for (const SimWait &w : sim_sleep_waits()) entries.push_back({w.seq, "sleep" + std::to_string(w.ms)});
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.seq < b.seq; });
        std::vector<std::string> out;
        for (const Entry &e : entries)
            if (out.empty() || out.back() != e.text) out.push_back(e.text);
        return out;
    }
    // The engine's CTS follows RTS at once.
    void model_cts() {
        std::string cts_host = host(std::string(kPacketSwitchDir) + "uart_cts");
        sim_set_write_hook([cts_host](const std::string &path, const std::string &bytes) {
            if (path.size() >= 8 && path.compare(path.size() - 8, 8, "uart_rts") == 0) std::ofstream(cts_host) << bytes;
        });
    }

    SimPty pty_;
    ENGINE_RECORD record_{};
    COMMON_STATE state_{};
};

TEST_F(PacketTest, AReplyEndsAfterTwoSilentGaps) {
    EngineSim engine(&pty_);
    engine.answer({{0, "AB"}, {5, "CD"}, {5, "EF"}, {6 * kGapMs, "late"}});
    uint8_t reply[PACKET_REPLY_SIZE];
    const uint8_t req[] = {0x7E, 0x01, 0x02};
    EXPECT_EQ(WritePacketDirect(&record_, req, 3, reply, 1000, -1), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), 6), "ABCDEF");
    EXPECT_EQ(engine.request(), "\x7E\x01\x02"s);
}

TEST_F(PacketTest, NamedExchangesBuildWriteCollectAndCheck) {
    struct Case {
        const char *name;
        const char *key;
        std::vector<Burst> bursts;
        int result;
        const char *request;  // nullptr: nothing may reach the engine
        int reply_len;        // seen by the check; -1: no check
    };
    const Case cases[] = {
        {"Baudrate", "rate", {{0, "AC"}, {5, "K"}}, 0, "REQ Baudrate rate=9600", 3},
        {"Suffix", nullptr, {{0, "NAK"}}, -1, "REQ Suffix -=9600", 3},
        {"SysInfo", nullptr, {}, -1, "REQ SysInfo -=9600", 0},
        {"Beep", nullptr, {{0, "ACK"}}, -1, nullptr, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PackDriver::unpacks = 0;
        PackDriver::last_reply_len = -1;
        EngineSim engine(&pty_);
        engine.answer(c.bursts, 200);
        EXPECT_EQ(WritePacketWithName(&record_, c.name, c.key, "9600", 100, -1), c.result);
        std::string request = engine.request();
        if (c.request != nullptr) {
            EXPECT_EQ(request, c.request);
        } else {
            EXPECT_EQ(request, "") << "nothing written";
        }
        EXPECT_EQ(PackDriver::unpacks.load(), c.reply_len < 0 ? 0 : 1);
        EXPECT_EQ(PackDriver::last_reply_len, c.reply_len);
    }
    EngineSim engine(&pty_);
    engine.answer({}, 100);
    EXPECT_EQ(WritePacketNoAck(&record_, "AIMID", "k", "v"), 0);
    EXPECT_EQ(engine.request(), "REQ AIMID k=v");
    EXPECT_EQ(WritePacketNoAck(&record_, "Beep", nullptr, nullptr), -1);
    EXPECT_EQ(WritePacket(nullptr, "Beep", 10, 0), -1);
    ENGINE_RECORD no_unpack = record_;
    no_unpack.scanner_unpack = nullptr;
    EXPECT_EQ(WritePacket(&no_unpack, "Suffix", 10, 0), -1);
    EXPECT_EQ(WritePacketDirectTsWithName(&no_unpack, "Suffix", nullptr, nullptr, 10, 0), -1);
    EXPECT_EQ(WritePacketDirect(&record_, nullptr, 3, nullptr, 10, 0), -1);
}

TEST_F(PacketTest, ReadingDuringACycleBeepsOnceAndKeepsToTheBuffer) {
    uint8_t buf[256 + 16];
    // A silent line: one wait, no beep.
    EXPECT_EQ(ReadPacket(&record_, buf, 256, 5, 2), 0);
    EXPECT_EQ(tty_ops('p'), 1);
    EXPECT_EQ(Beeps::count.load(), 0);

    // Data in two bursts: one beep for the call.
    sim_pty_send(&pty_, "AB", 2);
    std::thread later([&] {
        plat_sleep_real(5);
        sim_pty_send(&pty_, "CD", 2);
    });
    EXPECT_EQ(ReadPacket(&record_, buf, 256, 50, 2), 4);
    later.join();
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 4), "ABCD");
    EXPECT_EQ(Beeps::count.load(), 1);
    EXPECT_EQ(Beeps::with_result.load(), 0);
    EXPECT_TRUE(logged("SCN_EVENT_BEEP =============================="));

    // gaps 0: six empty reads after the data end the call.
    sim_io_clear();
    sim_pty_send(&pty_, "XYZ", 3);
    EXPECT_EQ(ReadPacket(&record_, buf, 256, 5, 0), 3);
    EXPECT_EQ(tty_ops('p'), 7);
    EXPECT_EQ(tty_ops('r'), 1);
    EXPECT_EQ(Beeps::count.load(), 2);

    // 2 KB against a 256-byte buffer: never a byte beyond it.
    memset(buf, 0xA5, sizeof buf);
    std::string flood(2048, 'z');
    sim_pty_send(&pty_, flood.data(), flood.size());
    EXPECT_EQ(ReadPacket(&record_, buf, 256, 20, 2), 256);
    for (size_t i = 256; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 0xA5) << i;

    // What is left is drained.
    EXPECT_EQ(ReadPacketClearSerial(&record_, 20), 2048 - 256);
    EXPECT_EQ(ReadPacketClearSerial(&record_, 5), 0);

    EXPECT_EQ(ReadPacket(&record_, buf, 0, 5, 2), -1);
    EXPECT_EQ(ReadPacket(nullptr, buf, 256, 5, 2), -1);
    ENGINE_RECORD bare = make_record(ENGINE_KIND_SERIAL);
    EXPECT_EQ(ReadPacket(&bare, buf, 256, 5, 2), -1);
    EXPECT_EQ(ReadPacketClearSerial(&bare, 5), -1);
}

TEST_F(PacketTest, HandshakeOnTheSwitchLines) {
    model_cts();
    EngineSim engine(&pty_);
    engine.answer({{2, "OK"}});
    uint8_t reply[PACKET_REPLY_SIZE];
    const uint8_t req[] = {'P', 'I', 'N', 'G'};
    EXPECT_EQ(WritePacketDirectTs(&record_, req, 4, reply, 500, -1), 2);
    EXPECT_EQ(engine.request(), "PING");
    EXPECT_EQ(handshake(), (std::vector<std::string>{"rts1", "sleep50", "rts0", "cts0", "write", "rts1", "cts1", "reply"}));

    // No pulse and no reply without acknowledgement.
    sim_io_clear();
    sim_sleep_clear();
    EngineSim quiet(&pty_);
    quiet.answer({}, 200);
    EXPECT_EQ(WritePacketTsNoAck(&record_, req, 4), 0);
    EXPECT_EQ(quiet.request(), "PING");
    EXPECT_EQ(handshake(), (std::vector<std::string>{"rts0", "cts0", "write", "rts1", "cts1"}));

    // The named form checks the reply it collected.
    EngineSim named(&pty_);
    named.answer({{0, "ACK"}});
    EXPECT_EQ(WritePacketDirectTsWithName(&record_, "CodeID", "on", "1", 200, -1), 0);
    EXPECT_EQ(named.request(), "REQ CodeID on=1");

    // A silent engine: "time out" and 0.
    EngineSim silent(&pty_);
    silent.answer({}, 200);
    EXPECT_EQ(WritePacketDirectTs(&record_, req, 4, reply, 20, -1), 0);
    EXPECT_TRUE(logged("time out"));
}

TEST_F(PacketTest, WithoutASwitchDeviceTheHandshakeStillWrites) {
    ASSERT_EQ(unregister_device(PORT_KIND_SWITCH1D, 0), 0);
    EngineSim engine(&pty_);
    engine.answer({{0, "OK"}});
    uint8_t reply[PACKET_REPLY_SIZE];
    const uint8_t req[] = {'P'};
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    EXPECT_EQ(WritePacketDirectTs(&record_, req, 1, reply, 500, -1), 2);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    EXPECT_EQ(engine.request(), "P");
    // The first CTS wait runs its 100 polls of 300 us; the second ends at once.
    int64_t us = (t1.tv_sec - t0.tv_sec) * 1000000LL + (t1.tv_nsec - t0.tv_nsec) / 1000;
    EXPECT_GE(us, 100 * 300);
    EXPECT_EQ(waits_ms(), std::vector<int>{50});
}

// ---- The packet queue ----

TEST_F(EngineTest, PacketQueueHoldsThirtySlotsInOrder) {
    PacketListInit();
    EXPECT_EQ(PacketListPull(), nullptr);
    for (int i = 0; i < PACKET_SLOT_COUNT; ++i) {
        uint8_t b[2] = {static_cast<uint8_t>(i), 0xEE};
        ASSERT_EQ(PacketListPush(b, 2), 0) << i;
    }
    const uint8_t extra[1] = {0x99};
    EXPECT_EQ(PacketListPush(extra, 1), 0) << "the 31st is dropped silently";
    PACKET_SLOT *first = PacketListPull();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PacketListPull(), first) << "the slot stays used until the caller frees it";
    EXPECT_EQ(first->data[0], 0);
    EXPECT_EQ(first->length, 2u);
    EXPECT_EQ(first->id, 1u);
    // Nothing of the dropped packet is anywhere.
    for (PACKET_SLOT *s = first; s < first + PACKET_SLOT_COUNT; ++s) {
        EXPECT_EQ(s->used, 1u);
        EXPECT_NE(s->data[0], 0x99);
    }
    EXPECT_TRUE(logged("Push Id [29]"));
    EXPECT_FALSE(logged("Push Id [30]"));

    common_store(first->used, 0);
    EXPECT_EQ(PacketListPush(extra, 1), 0);
    EXPECT_EQ(PacketListPull(), first) << "the freed slot is taken next";
    EXPECT_EQ(first->data[0], 0x99);
    EXPECT_EQ(first->data[1], 0) << "cleared before the copy";
    EXPECT_EQ(first->id, 31u);

    uint8_t big[31] = {};
    struct Refused {
        const uint8_t *bytes;
        int length;
    };
    for (Refused r : {Refused{big, 31}, Refused{nullptr, 3}, Refused{big, 0}, Refused{big, -1}}) {
        EXPECT_EQ(PacketListPush(r.bytes, r.length), -1) << r.length;
        EXPECT_TRUE(logged("PacketListPush Error [" + std::to_string(r.length) + "]"));
    }
    PacketListInit();
    EXPECT_EQ(PacketListPush(big, 30), 0) << "30 bytes fit";
    EXPECT_EQ(PacketListPull()->length, 30u);
}

TEST_F(EngineTest, PacketSequenceCountsToSixtyFiveThousandThenZero) {
    PacketListInit();
    const uint8_t b[1] = {1};
    std::vector<uint32_t> ids;
    for (int i = 0; i < 65002; ++i) {
        ASSERT_EQ(PacketListPush(b, 1), 0);
        PACKET_SLOT *s = PacketListPull();
        ASSERT_NE(s, nullptr);
        if (i < 2 || i >= 64998) ids.push_back(s->id);
        common_store(s->used, 0);
    }
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 64999, 65000, 0, 1}));
}

// ---- Command names and times ----

TEST_F(EngineTest, CommandNamesAndIds) {
    struct Case {
        const char *name;
        int id;
    };
    const Case names[] = {
        {"ScanProbe", 1}, {"Suffix", 2},  {"Prefix", 3},    {"Baudrate", 4}, {"Beep", 5}, {"SleepTimer", 6},
        {"SysInfo", 7},   {"AutoSleep", 8}, {"AIMID", 9},   {"CodeID", 10},  {"baudrate", 0},
        {"Bfdp", 0},  // the byte sum of "Beep": told apart by the comparison
        {"", 0},          {nullptr, 0},
    };
    for (const Case &c : names) EXPECT_EQ(PacketCmd(c.name), c.id) << (c.name ? c.name : "null");
    EXPECT_EQ(gCmdProcs[3].sum, 66u + 101u + 101u + 112u);
    EXPECT_STREQ(PacketCmdString(4), "Baudrate");
    EXPECT_STREQ(PacketCmdString(10), "CodeID");
    EXPECT_EQ(PacketCmdString(11), nullptr);
    EXPECT_EQ(PacketCmdString(0), nullptr);
}

TEST_F(EngineTest, CommandSumsAreFilledOnceWhateverTheThreads) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                if (PacketCmd("AutoSleep") != 8 || PacketCmd("AIMID") != 9) ++wrong;
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(EngineTest, MillisecondsBetweenTwoTimes) {
    struct Case {
        timeval start, end;
        int ms;
    };
    const Case cases[] = {
        {{1, 500000}, {2, 200000}, 700},   // a second borrowed
        {{5, 0}, {5, 999}, 0},            // below a millisecond
        {{5, 0}, {7, 1000}, 2001},
        {{5, 0}, {5, 0}, 0},
        {{5, 1}, {5, 0}, -1},             // end before start
        {{6, 0}, {5, 999999}, -1},
    };
    for (const Case &c : cases) EXPECT_EQ(tim_subtract(&c.start, &c.end), c.ms) << c.start.tv_sec << "." << c.start.tv_usec;
    timeval t{};
    EXPECT_EQ(tim_subtract(nullptr, &t), -1);
    // The other clock difference, in microseconds and never negative, stays as it is.
    timeval a{5, 1}, b{5, 0};
    EXPECT_EQ(time_subtract(&a, &b), 0);
    EXPECT_EQ(time_subtract(&b, &a), 1);
}

}  // namespace
