// The UP513 (libZPT-PL512) and PL512 (libPL512) drivers: their packet builders byte for
// byte, the probe walk, settings and read-back with the RTS/CTS handshake, and the
// differences between the two engines, against the simulator.
#include <dlfcn.h>

#include <algorithm>

#include "serial_test.h"

namespace {

using Builder = int (*)(const uint8_t *, int, uint8_t *);
using RawBuilder = int (*)(uint8_t *, uint8_t, const uint8_t *, int, uint8_t);
using AckBuilder = int (*)(uint8_t *);

struct Engine {
    Plugin plugin;
    bool pl512;
    int home;
    const char *speed_text[5]; // Baudrate texts for 9600, 19200, 38400, 57600, 115200
};
const Engine kUp{kUp513, false, 38400, {"8B#01#00", "8B#01#01", "8B#01#02", "8B#01#03", "8B#01#04"}};
const Engine kPl{kPl512, true, 9600, {"8B#00", "8B#01", "8B#02", "8B#03", "8B#04"}};

const std::string kPl512Codes = R"(  <Code>
    <EAN13>
      <Enable name="1">8A</Enable>
      <Wide name="0">F48A</Wide>
      <Odd name="0">8G</Odd>
    </EAN13>
  </Code>
)";

std::string body(const Engine &e, const std::vector<int> &speeds) {
    static const int kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
    std::string b = "  <ScanProbe><Cmd>A3</Cmd></ScanProbe>\n  <Setting>\n";
    for (int s : speeds) {
        const char *text = "00";
        for (int i = 0; i < 5; ++i)
            if (kSpeeds[i] == s) text = e.speed_text[i];
        b += "    <Baudrate name=\"" + std::to_string(s) + "\">" + text + "</Baudrate>\n";
    }
    return b + "  </Setting>\n" + kPl512Codes;
}

std::string bytes_of(const uint8_t *p, int n) { return n > 0 ? hex(std::string(reinterpret_cast<const char *>(p), n)) : ""; }

class UpPlTest : public SerialDriverTest {
  protected:
    // A record on an open line at the home speed, its simulator started there.
    ENGINE_RECORD *ready(const Engine &e, Up513Sim **sim) {
        *sim = &up513(e.pl512, e.home);
        ENGINE_RECORD *r = load(e.plugin, body(e, {e.home}));
        return open_line(r, e.home) ? r : nullptr;
    }
    // The handshake lines, the recorded waits and the packet as the journal has them.
    std::vector<std::string> handshake() {
        struct Entry {
            uint64_t seq;
            std::string text;
        };
        std::vector<Entry> entries;
        const std::string rts = std::string(kSwitchDir) + "uart_rts";
        for (const SimIo &io : sim_io_journal()) {
            if (io.path == rts && io.op == 'w') entries.push_back({io.seq, "rts" + io.bytes.substr(0, 1)});
            if (io.path == kTty && io.op == 'w') entries.push_back({io.seq, "packet"});
        }
        for (const SimWait &w : sim_sleep_waits()) entries.push_back({w.seq, "sleep" + std::to_string(w.ms)});
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.seq < b.seq; });
        std::vector<std::string> out;
        for (const Entry &x : entries) out.push_back(x.text);
        return out;
    }
};

TEST(UpPlPackets, ExactBytesAndBounds) {
    for (const char *name : {"libZPT-PL512.so", "libPL512.so"}) {
        SCOPED_TRACE(name);
        void *lib = dlopen((std::string(SERIAL_PLUGIN_DIR) + "/" + name).c_str(), RTLD_NOW);
        ASSERT_NE(lib, nullptr) << dlerror();
        auto sym = [&](const char *s) { return dlsym(lib, s); };
        auto ack = reinterpret_cast<AckBuilder>(sym("UP513GetAckPacket"));
        auto up_set = reinterpret_cast<Builder>(sym("UP513SetPacket"));
        auto pl_set = reinterpret_cast<Builder>(sym("PL512SetPacket"));
        auto up_get = reinterpret_cast<Builder>(sym("UP513GetPacket"));
        auto pl_get = reinterpret_cast<Builder>(sym("PL512GetPacket"));
        auto up_raw = reinterpret_cast<RawBuilder>(sym("UP513Packet"));
        auto pl_raw = reinterpret_cast<RawBuilder>(sym("PL512Packet"));
        ASSERT_TRUE(ack && up_set && pl_set && up_get && pl_get && up_raw && pl_raw);
        uint8_t out[ENGINE_PACKET_SIZE];
        EXPECT_EQ(bytes_of(out, ack(out)), "04 D0 04 00 FF 28");
        const uint8_t request[] = {0x8A};
        EXPECT_EQ(bytes_of(out, pl_get(request, 1, out)), "05 C7 04 00 8A FE A6");
        const uint8_t setting[] = {0x8A, 0x01, 0x05};
        EXPECT_EQ(bytes_of(out, up_set(setting, 3, out)), "08 D6 04 08 FF 8A 01 05 FD 87");
        // PL512's list check: whole entries only, 1 to 250 bytes.
        const uint8_t cut[] = {0xF4, 0x01, 0x05};
        EXPECT_EQ(pl_set(cut, 3, out), -1);
        const uint8_t wide[] = {0xF4, 0xF1, 0x01, 0x05, 0x06, 0xF0, 0x02, 0x07};
        EXPECT_EQ(pl_set(wide, 8, out), 15);
        EXPECT_EQ(pl_set(cut, 0, out), -1);
        std::vector<uint8_t> entries(251, 0x01);
        EXPECT_EQ(pl_set(entries.data(), 251, out), -1);
        // 250 bytes of whole entries: the length byte is 255 and the packet fills its
        // exact-size area (ASan sees any byte more).
        std::vector<uint8_t> exact(257);
        EXPECT_EQ(pl_set(entries.data(), 250, exact.data()), 257);
        EXPECT_EQ(exact[0], 255);
        // Data beyond 251 bytes is refused, nothing written; so is a null output.
        std::vector<uint8_t> big(252, 0x11);
        memset(out, 0xA5, sizeof out);
        EXPECT_EQ(up_raw(out, 0xD7, big.data(), 252, 0), 0);
        EXPECT_EQ(pl_raw(out, 0xC7, big.data(), 252, 0), -1);
        EXPECT_EQ(up_get(big.data(), 252, out), 0);
        EXPECT_EQ(pl_get(big.data(), 252, out), -1);
        EXPECT_EQ(up_set(big.data(), 251, out), 0);
        EXPECT_EQ(out[0], 0xA5);
        EXPECT_EQ(up_set(big.data(), 250, out), 257);
        EXPECT_EQ(up_raw(nullptr, 0xD0, nullptr, 0, 0), 0);
        EXPECT_EQ(pl_raw(nullptr, 0xD0, nullptr, 0, 0), -1);
        EXPECT_EQ(up_get(nullptr, 1, out), 0);
        EXPECT_EQ(pl_get(nullptr, 1, out), 0);
        dlclose(lib);
    }
}

TEST_F(UpPlTest, ProbeWalksAndSendsTheProbeAgainAtHome) {
    struct Case {
        const Engine *e;
        int engine_speed;
        std::vector<int> elements;
        std::vector<int> speeds; // of the requests in order
    };
    const Case cases[] = {
        {&kUp, 9600, {38400, 9600}, {38400, 9600, 9600, 38400}},
        {&kPl, 57600, {9600, 38400, 57600}, {9600, 38400, 57600, 57600, 9600}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.e->plugin.engine);
        Up513Sim &sim = up513(c.e->pl512, c.engine_speed);
        ENGINE_RECORD *r = load(c.e->plugin, body(*c.e, c.elements));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->scanner_probe(r), 0);
        EXPECT_EQ(line_speed(), c.e->home);
        EXPECT_EQ(sim.speed(), c.e->home);
        std::vector<SerialEngineSim::Request> seen = sim.requests();
        ASSERT_EQ(seen.size(), c.speeds.size());
        const std::string probe = "04 A3 04 00";
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].speed, c.speeds[i]) << i;
            bool baudrate = i + 2 == seen.size();
            EXPECT_EQ(hex(seen[i].bytes).compare(0, probe.size(), probe) == 0, !baudrate) << hex(seen[i].bytes);
        }
        EXPECT_EQ(hex(seen[seen.size() - 2].bytes).substr(3, 2), c.e->pl512 ? "C6" : "D6");
        EXPECT_EQ(sim.bad_checksums(), 0);
        sim_->stop();
        release_engine_list();
    }
}

TEST_F(UpPlTest, TokenDifferingInOneByteIsNotFound) {
    Up513Sim &sim = up513(false, 38400);
    sim.set_token("uP514");
    ENGINE_RECORD *r = load(kUp513, body(kUp, {}));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->scanner_probe(r), -1);
    EXPECT_EQ(sim.requests().size(), 1u);
    EXPECT_EQ(line_speed(), 38400);
}

TEST_F(UpPlTest, SettingGoesOutWithTheHandshake) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kUp, &sim);
    ASSERT_NE(r, nullptr);
    sim_io_clear();
    sim_sleep_clear();
    sim->clear_requests();
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "5"), 0);
    EXPECT_EQ(sim->value("\x8A"), 5);
    ASSERT_EQ(request_texts(), (std::vector<std::string>{"08 D6 04 08 FF 8A 01 05 FD 87"}));
    EXPECT_EQ(handshake(), (std::vector<std::string>{"rts1", "sleep50", "rts0", "packet", "rts1"}));
    // The engine's line model saw RTS pulse high, fall for the packet and rise again.
    EXPECT_EQ(sim->rts_levels(), "101");
    // CTS held at 1: the write still goes out after the 100 polls.
    sim->cts_stays(1);
    sim->clear_requests();
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "6"), 0);
    EXPECT_EQ(sim->requests().size(), 1u);
}

TEST_F(UpPlTest, Up513SettingUnansweredFiveTimes) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kUp, &sim);
    ASSERT_NE(r, nullptr);
    sim->set_ignore_settings(true);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "5"), -1);
    EXPECT_EQ(sim->requests().size(), 5u);
}

TEST_F(UpPlTest, Up513ReadBackUnansweredGivesOne) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kUp, &sim);
    ASSERT_NE(r, nullptr);
    sim->set_silent(true);
    char out[ENGINE_VERSION_SIZE];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Enable", out), 1);
    EXPECT_EQ(std::string(out, 8), std::string(8, '\0'));
    EXPECT_EQ(sim->requests().size(), 5u);
}

TEST_F(UpPlTest, Up513SyncOfUnansweredReadBackIsZero) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kUp, &sim);
    ASSERT_NE(r, nullptr);
    sim->set_value("\x8A", 7);
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Enable"), 7);
    sim->set_silent(true);
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Enable"), 0);
}

TEST_F(UpPlTest, Pl512SettingIsReadBack) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kPl, &sim);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "5"), 0);
    EXPECT_EQ(request_texts(), (std::vector<std::string>{"07 C6 04 08 FF 8A 05 FD 99", "05 C7 04 00 8A FE A6"}));
    sim->set_readback_override(4);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "5"), -1);
    // A list cut short is refused before any traffic.
    sim->clear_requests();
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Wide", "5"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Odd", "5"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN8", "Enable", "5"), -1);
    EXPECT_TRUE(sim->requests().empty());
}

TEST_F(UpPlTest, RepliesThatAreNotTaken) {
    Up513Sim *sim = nullptr;
    ENGINE_RECORD *r = ready(kPl, &sim);
    ASSERT_NE(r, nullptr);
    const std::string good = Up513Sim::packet(0xC6, "\xFF\x8A\x09");
    struct Case {
        const char *what;
        std::string reply;
        int result;
        const char *value;
    };
    const Case cases[] = {
        {"good", good, 0, "9"},
        {"source byte 1", Up513Sim::packet(0xC6, "\xFF\x8A\x09", 1), -1, ""},
        {"length byte 3", std::string("\x03\xC6\x00\x00\x00\x00\x00\x00\x00", 9), -1, ""},
        {"shorter than length + 2", good.substr(0, good.size() - 1), -1, ""},
        {"too short for the value", Up513Sim::packet(0xC6, ""), -1, ""},
        {"another opcode", Up513Sim::packet(0xD6, "\xFF\x8A\x09"), -1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim->push_reply(c.reply);
        char out[ENGINE_VERSION_SIZE] = {};
        EXPECT_EQ(r->scanner_get(r, "EAN13", "Enable", out), c.result);
        EXPECT_STREQ(out, c.value);
    }
}

// The differences between the two engines, one row each.
TEST_F(UpPlTest, DifferenceTable) {
    struct Row {
        const Engine *e;
        const char *set_request;
        size_t set_requests;
        const char *get_request;
        int baudrate_unpack;
        int null_builder;
        const char *close;
    };
    const Row rows[] = {
        {&kUp, "08 D6 04 08 FF 8A 01 05 FD 87", 1, "05 D7 04 00 8A FE 96", 0, 0, "clear trigger_off"},
        {&kPl, "07 C6 04 08 FF 8A 05 FD 99", 2, "05 C7 04 00 8A FE A6", -1, -1, "trigger_off"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.e->plugin.engine);
        Up513Sim *sim = nullptr;
        ENGINE_RECORD *r = ready(*row.e, &sim);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "5"), 0);
        std::vector<std::string> sent = request_texts();
        ASSERT_EQ(sent.size(), row.set_requests);
        EXPECT_EQ(sent[0], row.set_request);
        sim->clear_requests();
        char out[ENGINE_VERSION_SIZE] = {};
        EXPECT_EQ(r->scanner_get(r, "EAN13", "Enable", out), 0);
        EXPECT_STREQ(out, "5");
        EXPECT_EQ(request_texts(), std::vector<std::string>{row.get_request});
        const uint8_t reply[] = {0x04, 0xD0, 0x00, 0x00, 0x00, 0x00};
        EXPECT_EQ(r->scanner_unpack(r, "Baudrate", nullptr, 0, reply, 6), row.baudrate_unpack);
        EXPECT_EQ(r->scanner_unpack(r, "Beep", nullptr, 0, reply, 0), 0);
        EXPECT_EQ(r->scanner_unpack(r, "SysInfo", nullptr, 0, reply, 6), -1);
        EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), 0);
        EXPECT_EQ(r->scanner_version(r, out), 3);
        EXPECT_STREQ(out, "V1.0");
        auto builder = reinterpret_cast<Builder>(dlsym(r->libHandle, row.e->pl512 ? "PL512GetPacket" : "UP513GetPacket"));
        ASSERT_NE(builder, nullptr);
        const uint8_t param = 0x8A;
        EXPECT_EQ(builder(&param, 1, nullptr), row.null_builder);
        auto pre_init = reinterpret_cast<int (*)(ENGINE_RECORD *)>(dlsym(r->libHandle, "scanner_pre_init"));
        ASSERT_NE(pre_init, nullptr);
        EXPECT_EQ(pre_init(nullptr), -1);
        EXPECT_EQ(pre_init(r), 0);
        // scanner_pack: the probe command and the Baudrate setting; other names 0.
        uint8_t packet[ENGINE_PACKET_SIZE];
        EXPECT_EQ(bytes_of(packet, r->scanner_pack(r, "ScanProbe", nullptr, nullptr, packet)), "04 A3 04 00 FF 55");
        EXPECT_GT(r->scanner_pack(r, "Baudrate", "name", std::to_string(row.e->home).c_str(), packet), 0);
        EXPECT_EQ(packet[1], row.e->pl512 ? 0xC6 : 0xD6);
        EXPECT_EQ(r->scanner_pack(r, "Baudrate", "name", "4800", packet), 0);
        EXPECT_EQ(r->scanner_pack(r, "Suffix", nullptr, nullptr, packet), 0);
        sim_->stop();
        release_engine_list();
    }
}

}  // namespace
