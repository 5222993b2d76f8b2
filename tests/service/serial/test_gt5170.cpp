// The GT5170 driver (engines GT5170 and GT5180): the model check at initialisation, the
// probe walk, settings as text commands on the wire, read-back through check-byte query
// packets, the version query and the engine controls, against a simulator of the engine.
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gt51x0_sim.h"
#include "gt5170_query.h"
#include "serial_test.h"

namespace {

// The test's own check byte: 0xFF XOR each byte.
uint8_t lrc(const std::string &bytes) {
    uint8_t x = 0xFF;
    for (char c : bytes) x ^= static_cast<uint8_t>(c);
    return x;
}

// A query reply {0x02, 0x00, L high, L low, data, check byte}.
std::string query_reply(const std::string &data) {
    std::string r = {'\x02', '\0', static_cast<char>(data.size() >> 8), static_cast<char>(data.size() & 0xFF)};
    r += data;
    r.push_back(static_cast<char>(lrc(r.substr(2))));
    return r;
}

// GT5170: text commands acknowledged 0x06 ("BAUD<speed>" switches the speed after the
// answer), "SYSINFO" answered with a set text, the version query with a set reply, and query
// packets (first byte 0x7E) checked by their check byte and answered with the set data.
class Gt5170Sim : public SerialEngineSim {
  public:
    using SerialEngineSim::SerialEngineSim;
    void set_sysinfo(const std::string &text) { set(sysinfo_, text); }
    void set_version_reply(const std::string &bytes) { set(version_, bytes); }
    void set_query_data(const std::string &data) { set(query_, data); }
    // Commands with this text are answered 0x15.
    void refuse(const std::string &text) { set(refused_, text); }
    int bad_checks() const { return bad_.load(); }

  protected:
    std::string answer(const std::string &request) override {
        std::lock_guard<std::mutex> g(lock_);
        if (request == kVersionQuery) return version_;
        if (!request.empty() && request[0] == '\x7E') {
            const auto *b = reinterpret_cast<const uint8_t *>(request.data());
            if (request.size() < 5 || request.size() != 5u + b[3] ||
                b[request.size() - 1] != lrc(request.substr(2, b[3] + 2u))) {
                ++bad_;
                return "";
            }
            return query_reply(query_);
        }
        if (request == "SYSINFO") return sysinfo_;
        if (request == refused_) return "\x15";
        if (request.compare(0, 4, "BAUD") == 0) set_speed_after(atoi(request.c_str() + 4));
        return "\x06";
    }

  public:
    static inline const std::string kVersionQuery{"\x7E\x01\x00\x02\x56\x51", 6};

  private:
    void set(std::string &field, const std::string &value) {
        std::lock_guard<std::mutex> g(lock_);
        field = value;
    }
    std::mutex lock_;
    std::string sysinfo_ = "ZPT-GT5170", version_, query_ = std::string(10, '0'), refused_;
    std::atomic<int> bad_{0};
};

const std::string kCommands = R"(  <ScanProbe><Cmd>PROBE;</Cmd></ScanProbe>
  <Suffix><Cmd>SUFFIX;</Cmd></Suffix>
  <SleepTimer><Cmd>SLEEP;</Cmd></SleepTimer>
  <SysInfo><Cmd>SYSINFO</Cmd></SysInfo>
  <AutoSleep><Cmd>AUTO;</Cmd></AutoSleep>
  <ScanVersion>7E#01#00#02#56#51#</ScanVersion>
  <DataFormat><AIMID name="1">AIM1;</AIMID></DataFormat>
  <Code>
    <EAN13>
      <PS name="PS">12</PS>
      <PL name="PL">12</PL>
      <PX name="PX">12</PX>
      <M name="M">12</M>
      <CheckChar name="0">CHK0;</CheckChar>
      <CheckChar name="1">CHK1;</CheckChar>
      <Plain>PLAIN;</Plain>
      <Minlen name="4">MINL</Minlen>
      <Maxlen name="20">MAXL</Maxlen>
    </EAN13>
  </Code>
  <Query>
    <EAN13>
      <Value name="F30">7E000002AABB</Value>
      <Type name="T12">7E000002AABB</Type>
      <Enable name="1">7e000002aabb</Enable>
      <CheckChar name="0">7E000002AABB</CheckChar>
      <Far name="90">7E000002AABB</Far>
      <Long name="0">7E000005AABB</Long>
    </EAN13>
    <MATRIX25><CheckChar name="0">7E000002AABB</CheckChar></MATRIX25>
  </Query>
)";

std::string body(const std::vector<const char *> &speeds) {
    std::string b = "  <Setting>\n";
    for (const char *s : speeds) b += "    <Baudrate name=\"" + std::string(s) + "\">BAUD" + s + "</Baudrate>\n";
    return b + "  </Setting>\n" + kCommands;
}

class Gt5170Test : public SerialDriverTest {
  protected:
    Gt5170Sim &sim(int speed) { return start_sim<Gt5170Sim>(speed); }
    // A record on an open line at 115200 with its cycle state, the requests cleared.
    ENGINE_RECORD *ready(Gt5170Sim &) { return ready_at(kGt5170, body({}), 115200); }
    // Requests as text, each with its speed.
    std::vector<std::pair<std::string, int>> sent() {
        std::vector<std::pair<std::string, int>> out;
        for (const auto &r : sim_->requests()) out.push_back({r.bytes, r.speed});
        return out;
    }
    size_t count_logged(const std::string &needle) {
        std::string text = log_text();
        size_t n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    }
};

TEST_F(Gt5170Test, InitialisationTellsTheModelsApart) {
    Gt5170Sim &s = sim(115200);
    ENGINE_RECORD *r = load(kGt5170, body({}));
    ASSERT_NE(r, nullptr);
    ASSERT_GE(serial_open(r->DriverChannel, 115200, 0), 0);
    const std::string b5180 = "*                    GT5180                    *";
    const std::string b5170 = "*                    GT5170                    *";
    struct Case {
        const char *reply;
        const char *name;  // the record's name afterwards
        const std::string *banner;
    };
    // The flag is the library's: each round starts where the last one left it.
    const Case cases[] = {
        {"ZPT-GT5180", "GT5180", &b5180},
        {"ZPT-GT5180\r\n", "GT5180", &b5180},
        {"ZPT-GT5170", "GT5180", &b5170},
        {"ZPT-GT5180\r\n", "GT5180", &b5170},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply);
        s.set_sysinfo(c.reply);
        s.clear_requests();
        const size_t before = count_logged(*c.banner);
        ASSERT_EQ(r->scanner_init(r), 0);
        EXPECT_STREQ(r->name, c.name);
        EXPECT_EQ(count_logged(*c.banner), before + 1);
        EXPECT_EQ(sent(), (std::vector<std::pair<std::string, int>>{{"SYSINFO", 115200}, {"AUTO;", 115200}}));
        ASSERT_EQ(r->scanner_deinit(r), 0);
    }
    EXPECT_TRUE(logged("***********************************************\n"));
    EXPECT_EQ(r->scanner_init(nullptr), -1);
}

TEST_F(Gt5170Test, ProbeWalksTheListedSpeeds) {
    using Sent = std::vector<std::pair<std::string, int>>;
    struct Case {
        const char *what;
        int engine_speed;
        std::vector<const char *> elements;
        const char *refused;
        int result;
        Sent requests;
    };
    const std::vector<Case> cases = {
        {"at home", 115200, {"9600"}, "", 0, {{"PROBE;", 115200}, {"SUFFIX;", 115200}, {"SLEEP;", 115200}}},
        {"sleep timer refused", 115200, {}, "SLEEP;", -1, {{"PROBE;", 115200}, {"SUFFIX;", 115200}, {"SLEEP;", 115200}}},
        // 14400 is not a line speed: its probe goes out at the speed before it.
        {"at 57600 over 14400",
         57600,
         {"115200", "9600", "14400", "4801", "57600"},
         "",
         0,
         {{"PROBE;", 115200},
          {"PROBE;", 9600},
          {"PROBE;", 9600},
          {"PROBE;", 57600},
          {"BAUD115200", 57600},
          {"SUFFIX;", 115200},
          {"SLEEP;", 115200}}},
        {"silent", 38400, {}, "", -1, {{"PROBE;", 115200}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Gt5170Sim &s = sim(c.engine_speed);
        s.refuse(c.refused);
        ENGINE_RECORD *r = load(kGt5170, body(c.elements));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->scanner_probe(r), c.result);
        EXPECT_EQ(line_speed(), 115200);
        EXPECT_EQ(sent(), c.requests);
        sim_->stop();
        release_engine_list();
    }
}

TEST_F(Gt5170Test, SettingsAreTextCommandsOnTheWire) {
    Gt5170Sim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    struct Case {
        const char *param;
        const char *value;
        const char *wire;  // "" nothing sent
        const char *reply; // nullptr the simulator's acknowledge
        int result;
    };
    const Case cases[] = {
        {"PS", "3", "ZPT000150;", nullptr, 0},
        {"PL", "3", "ZPT015;", nullptr, 0},
        {"PX", "3", "ZPT0150;", nullptr, 0},
        {"M", "3", "ZPT090;", nullptr, 0},
        {"CheckChar", "1", "CHK1;", nullptr, 0},
        {"CheckChar", "7", "", nullptr, -1},
        {"Plain", "9", "PLAIN;", nullptr, 0},
        {"Minlen", "2", "", nullptr, -1},
        {"Minlen", "4", "MINL=4;", nullptr, 0},
        {"Maxlen", "30", "", nullptr, -1},
        {"Maxlen", "15", "MAXL=15;", nullptr, 0},
        {"Missing", "1", "", nullptr, -1},
        {"PS", "3", "ZPT000150;", "\x15", -1},
        {"PS", "3", "ZPT000150;", "", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.param << "=" << c.value);
        s.clear_requests();
        s.set_silent(c.reply != nullptr && c.reply[0] == '\0');
        if (c.reply != nullptr && c.reply[0] != '\0') s.push_reply(c.reply);
        EXPECT_EQ(r->scanner_set(r, "EAN13", c.param, c.value), c.result);
        std::vector<std::string> wire;
        for (const auto &q : s.requests()) wire.push_back(q.bytes);
        EXPECT_EQ(wire, c.wire[0] == '\0' ? std::vector<std::string>{} : std::vector<std::string>{c.wire});
    }
    EXPECT_TRUE(logged("nlen [30] reallen [20]"));
    s.set_silent(false);
    EXPECT_EQ(r->scanner_set(r, "EAN8", "PS", "3"), -1);
}

TEST_F(Gt5170Test, ReadBackThroughCheckedQueries) {
    Gt5170Sim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    // Data from offset 4: 'D' at offset 6, "01F4" at 8-11, 0x03 at offset 5.
    s.set_query_data(std::string("0\x03" "D0" "01F4" "00", 10));
    const std::string query("\x7E\x00\x00\x02\xAA\xBB", 6);
    char out[ENGINE_VERSION_SIZE] = {};
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Value", out), 0);
    EXPECT_STREQ(out, "500");
    ASSERT_FALSE(s.requests().empty());
    EXPECT_EQ(s.requests().back().bytes, query + std::string(1, static_cast<char>(lrc(query.substr(2)))));
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Type", out), 0);
    EXPECT_STREQ(out, "3");
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Enable", out), 0);
    EXPECT_STREQ(out, "1");
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Value"), 500);
    s.set_query_data("01" + std::string(8, '0'));
    EXPECT_EQ(r->scanner_get(r, "EAN13", "CheckChar", out), 0);
    EXPECT_STREQ(out, "1");
    EXPECT_EQ(r->scanner_get(r, "MATRIX25", "CheckChar", out), 0);
    EXPECT_STREQ(out, "0");
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Far", out), -1);
    EXPECT_EQ(s.bad_checks(), 0);
    // A wrong check byte, a reply cut before its check byte.
    std::string good = query_reply(std::string(10, '0'));
    std::string wrong = good;
    wrong.back() = static_cast<char>(wrong.back() ^ 1);
    for (const std::string &reply : {wrong, good.substr(0, good.size() - 1)}) {
        s.push_reply(reply);
        EXPECT_EQ(r->scanner_get(r, "EAN13", "Value", out), -1) << hex(reply);
    }
    s.push_reply(wrong);
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Value"), 0);
    // A query whose length byte claims more than its text holds goes nowhere.
    s.clear_requests();
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Long", out), -1);
    EXPECT_EQ(r->scanner_get(r, "EAN8", "Value", out), -1);
    EXPECT_TRUE(s.requests().empty());
}

// The reply parser alone, over the attribute forms and the bounds of the reply's data.
TEST(Gt5170Replies, ValuesInsideTheDataOnly) {
    struct Case {
        const char *attr;
        const char *param;
        std::string data; // from offset 4
        const char *out;   // nullptr: -1
    };
    const Case cases[] = {
        {"F30", "Value", "0000" "01F4" "00", "500"},
        {"F30", "Value", "0000" "01F4", "500"},     // the last digit is the data's last byte
        {"F30", "Value", "0000" "01F", nullptr},    // one short
        {"F30", "Value", "0000" "01f4" "00", nullptr},
        {"F0", "Value", "0FFFF", "65535"},
        {"F-30", "Value", "0000" "01F4", nullptr},
        {"T12", "Type", "0" "0D", "3"},
        {"D11", "Type", "0" "0D", "2"},
        {"T12", "Type", "0" "0d", nullptr},
        {"13", "Type", "00F", "1"},
        {"13", "Type", "00", nullptr},
        {"7", "Enable", "0\x80", "1"},
        {"7", "Mode", "0\x80", nullptr},
        {"-1", "Mode", "0F", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.attr << " " << c.data);
        std::string reply = query_reply(c.data);
        std::vector<uint8_t> bytes(reply.begin(), reply.end());
        char out[8] = {};
        int result = gt5170_reply_value(bytes.data(), static_cast<int>(bytes.size()), "EAN13", c.param, c.attr, out,
                                        sizeof out);
        EXPECT_EQ(result, c.out == nullptr ? -1 : 0);
        if (c.out != nullptr) {
            EXPECT_STREQ(out, c.out);
        }
    }
    // The check byte must have come; the length bytes count the data.
    const std::string reply = query_reply("00");
    std::vector<uint8_t> bytes(reply.begin(), reply.end());
    EXPECT_EQ(gt5170_reply_check(bytes.data(), static_cast<int>(bytes.size())), 2);
    EXPECT_EQ(gt5170_reply_check(bytes.data(), static_cast<int>(bytes.size()) - 1), -1);
    bytes[0] = 0x03;
    EXPECT_EQ(gt5170_reply_check(bytes.data(), static_cast<int>(bytes.size())), -1);
    uint8_t packet[8];
    EXPECT_EQ(gt5170_query_packet("7E000002AABB", packet, sizeof packet), 7);
    EXPECT_EQ(packet[6], lrc(std::string("\x00\x02\xAA\xBB", 4)));
    EXPECT_EQ(gt5170_query_packet("7E000002AABB", packet, 6), -1);
    EXPECT_EQ(gt5170_query_packet("7E000003AABB", packet, sizeof packet), -1);
    EXPECT_EQ(gt5170_query_packet("7E000002AAB", packet, sizeof packet), -1);
}

TEST_F(Gt5170Test, VersionAndControls) {
    Gt5170Sim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    struct Case {
        size_t length;
        int result;
    };
    const Case cases[] = {{30, 23}, {400, 95}, {8, 1}, {7, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        std::string reply(c.length, '\0');
        for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<char>('A' + i % 26);
        s.set_version_reply(reply);
        s.clear_requests();
        char out[ENGINE_VERSION_SIZE] = {};
        EXPECT_EQ(r->scanner_version(r, out), c.result);
        EXPECT_EQ(std::string(out, strnlen(out, sizeof out)), reply.substr(6, static_cast<size_t>(c.result)));
        EXPECT_EQ(out[ENGINE_VERSION_SIZE - 1], '\0');
        ASSERT_EQ(s.requests().size(), 1u);
        EXPECT_EQ(s.requests()[0].bytes, Gt5170Sim::kVersionQuery);
    }
    s.clear_requests();
    UPGRADE_REQUEST none{};
    uint8_t file[10] = {1, 2, 3};
    UPGRADE_REQUEST empty{0, 0, 0, file};
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, nullptr), -1);
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &empty), -1);
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &none), -1);
    EXPECT_TRUE(s.requests().empty());
    // A file without a part is no upgrade, whether or not the runtime offers one.
    UPGRADE_REQUEST junk{2, 0, sizeof file, file};
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &junk), -1);
    EXPECT_TRUE(logged("SCANNER_IOCTRL_UPGRADE [GT5170]"));
    EXPECT_EQ(r->powerLocked, 0);
    // A running cycle holds the line: the upgrade is refused at once, nothing sent.
    sim_io_clear();
    ASSERT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 1; }));
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &junk), -1);
    EXPECT_TRUE(logged("SCANNER_IOCTRL_UPGRADE refused during a decode cycle"));
    EXPECT_EQ(r->scanner_stop_decode(r, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 2; }));
    EXPECT_TRUE(s.requests().empty());
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), 1);
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_DECODE_IMAGE, 0, nullptr), 0);
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_SAVE_BMP, 1, nullptr), 0);
    EXPECT_EQ(r->debugSaveImage, 1u);
    // Packets are the configuration's texts.
    uint8_t text[ENGINE_PACKET_SIZE];
    EXPECT_EQ(r->scanner_pack(r, "SysInfo", nullptr, nullptr, text), 7);
    EXPECT_EQ(r->scanner_pack(r, "AIMID", "name", "1", text), 5);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "AIM1;");
    EXPECT_EQ(r->scanner_pack(r, "Prefix", nullptr, nullptr, text), 0);
    EXPECT_EQ(r->scanner_pack(r, "Beep", nullptr, nullptr, text), 0);
    const uint8_t ack = 0x06, nak = 0x15;
    EXPECT_EQ(r->scanner_unpack(r, "Suffix", nullptr, 0, &ack, 1), 0);
    EXPECT_EQ(r->scanner_unpack(r, "Suffix", nullptr, 0, &nak, 1), -1);
    EXPECT_EQ(r->scanner_unpack(r, "Suffix", nullptr, 0, &ack, 0), -1);
    EXPECT_EQ(r->scanner_unpack(r, "SysInfo", nullptr, 0, &nak, 1), 0);
    EXPECT_EQ(r->scanner_unpack(r, "Beep", nullptr, 0, &ack, 1), -1);
    void *lib = dlopen(SERIAL_PLUGIN_DIR "/libGT5170.so", RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    auto check = reinterpret_cast<uint8_t (*)(const uint8_t *, int)>(dlsym(lib, "LRC_Check"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check(nullptr, 0), 0xFF);
    const uint8_t two[] = {0x0F, 0x30};
    EXPECT_EQ(check(two, 2), 0xC0);
    dlclose(lib);
}

// A firmware file with a kernel part goes through the runtime's serial upgrade to the
// engine's boot loader on the same line.
TEST_F(Gt5170Test, AFirmwareFileUpgradesTheEngineThroughTheRuntime) {
    Gt5170Sim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    sim_->stop();
    sim_.reset();
    gt51x0::Gt51x0Sim loader(&pty_);
    loader.start();
    GT51X0_Upgrade_Init(nullptr);
    gt51x0::FirmwareFile f = gt51x0::make_file(0, 1000, 0, 41);
    UPGRADE_REQUEST request{2, 0, static_cast<uint32_t>(f.bytes.size()), f.bytes.data()};
    EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &request), 0);
    loader.stop();
    EXPECT_TRUE(logged("SCANNER_IOCTRL_UPGRADE [GT5170]"));
    EXPECT_TRUE(loader.firmware("kern") == gt51x0::str(f.parts[1]));
    EXPECT_EQ(r->powerLocked, 0);
}

}  // namespace
