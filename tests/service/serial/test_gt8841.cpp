// The GT8841 driver: its packets byte for byte, the probe walk over the engine's speeds,
// the register fix-ups and the register commands of its settings, against the register
// file of the simulator.
#include <dlfcn.h>

#include <random>

#include "serial_test.h"

namespace {

const std::string kCodes = R"(  <DataFormat><Suffix><CR>WFF3201</CR></Suffix></DataFormat>
  <Code>
    <EAN13>
      <Enable name="1">WFF1001</Enable>
      <Mode name="2">W0C1100</Mode>
      <Save name="0">SFF0000</Save>
      <Bad name="0">S010000</Bad>
      <Maxlen name="20">M000001</Maxlen>
      <Minlen name="4">M000002</Minlen>
      <Short name="0">W0C1</Short>
      <Odd name="0">W0C1G00</Odd>
      <Letter name="0">X000000</Letter>
    </EAN13>
  </Code>
)";

std::string gt8841_body(const std::vector<const char *> &speeds) {
    std::string b = "  <ScanProbe><Cmd>RC0C1C2C3C4</Cmd></ScanProbe>\n";
    if (!speeds.empty()) {
        b += "  <Setting>\n";
        for (const char *s : speeds) {
            int code = -1;
            for (int c = 0; c < 4; ++c)
                if (std::to_string(Gt8841Sim::speed_of_code(static_cast<uint8_t>(c))) == s) code = c;
            char text[16];
            snprintf(text, sizeof text, "WFF2A%02X", code < 0 ? 0x0F : code);
            b += "    <Baudrate name=\"" + std::string(s) + "\">" + text + "</Baudrate>\n";
        }
        b += "  </Setting>\n";
    }
    return b + kCodes;
}

const char *const kAllSpeeds[] = {"115200", "9600", "38400", "57600"};

// A request as the engine expects it, its CRC from the test's own CRC-16/XMODEM.
std::string request(uint8_t type, uint16_t address, uint8_t data) {
    std::string p = {'\x7E', '\0', static_cast<char>(type), 1, static_cast<char>(address >> 8),
                     static_cast<char>(address & 0xFF), static_cast<char>(data)};
    uint16_t crc = sim_crc16_xmodem(reinterpret_cast<const uint8_t *>(p.data()) + 2, 5);
    p.push_back(static_cast<char>(crc >> 8));
    p.push_back(static_cast<char>(crc & 0xFF));
    return hex(p);
}

// Requests of the fix-ups after a found engine whose 0x0F reads 0 and 0x31 reads 0x10.
const std::vector<std::string> kFixUps = {
    request(7, 0x0F, 1), request(8, 0x0F, 1), request(7, 0x31, 1), request(8, 0x31, 0), request(9, 0, 0),
};
const char kProbe[] = "7E 00 07 01 00 C0 05";

class Gt8841Test : public SerialDriverTest {
  protected:
    // A record found at the home speed, its cycle state made, the requests cleared.
    ENGINE_RECORD *ready(Gt8841Sim &sim) {
        ENGINE_RECORD *r = load(kGt8841, gt8841_body({"115200", "9600"}));
        if (r == nullptr || r->scanner_probe(r) != 0 || r->scanner_init(r) != 0) return nullptr;
        sim.clear_requests();
        return r;
    }
};

using PackFn = int (*)(uint8_t *, uint16_t, const uint8_t *, uint8_t, uint8_t);
using CrcFn = uint16_t (*)(const uint8_t *, int);
using LrcFn = uint8_t (*)(const uint8_t *, int);

TEST(Gt8841Packets, ExactBytesAndChecks) {
    void *lib = dlopen(SERIAL_PLUGIN_DIR "/libGT8841LD.so", RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto pack = reinterpret_cast<PackFn>(dlsym(lib, "pack_cmd_data"));
    auto crc = reinterpret_cast<CrcFn>(dlsym(lib, "crc16"));
    auto lrc = reinterpret_cast<LrcFn>(dlsym(lib, "LRC_Check"));
    ASSERT_TRUE(pack && crc && lrc);
    struct Case {
        uint16_t address;
        uint8_t data;
        uint8_t type;
        const char *bytes;
    };
    const Case cases[] = {
        {0x000F, 1, 7, "7E 00 07 01 00 0F 01 11 7F"},
        {0x0031, 0x20, 8, "7E 00 08 01 00 31 20 66 5F"},
        {0x0000, 0, 9, "7E 00 09 01 00 00 00 DE C8"},
        {0x0000, 0, 6, ""},
    };
    for (const Case &c : cases) {
        uint8_t out[16] = {};
        int n = pack(out, c.address, &c.data, 1, c.type);
        EXPECT_EQ(hex(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(n))), c.bytes)
            << "type " << int(c.type);
    }
    std::mt19937 rng(8841);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> data(rng() % 300);
        for (uint8_t &b : data) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(crc(data.data(), static_cast<int>(data.size())), sim_crc16_xmodem(data.data(), data.size()))
            << "seed 8841 round " << round;
    }
    EXPECT_EQ(crc(nullptr, 0), 0);
    const uint8_t one = 0x5A;
    EXPECT_EQ(crc(&one, 0), 0);
    EXPECT_EQ(lrc(nullptr, 0), 0xFF);
    const uint8_t two[] = {0x0F, 0xF0};
    EXPECT_EQ(lrc(two, 2), 0x00);
    dlclose(lib);
}

TEST_F(Gt8841Test, ProbeWalksTheListedSpeeds) {
    struct Case {
        const char *what;
        int engine_speed;
        std::vector<const char *> elements;
        bool silent;
        int version_last; // the version's last register
        int result;
        std::vector<std::pair<std::string, int>> requests; // prefixes and speeds
        bool fix_ups;
    };
    const std::vector<Case> cases = {
        {"at home", 115200, {kAllSpeeds, kAllSpeeds + 4}, false, 0x14, 0, {{kProbe, 115200}}, true},
        {"at 57600",
         57600,
         {kAllSpeeds, kAllSpeeds + 4},
         false,
         0x14,
         0,
         {{kProbe, 115200}, {kProbe, 9600}, {kProbe, 38400}, {kProbe, 57600}, {"7E 00 08 01 00 2A 03", 57600}},
         true},
        {"version one digit off", 115200, {"9600"}, false, 0x15, -1, {{kProbe, 115200}, {kProbe, 9600}}, false},
        {"home and unlisted speeds", 115200, {"115200", "4800"}, true, 0x14, -1, {{kProbe, 115200}}, false},
        {"no elements", 115200, {}, true, 0x14, -1, {{kProbe, 115200}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Gt8841Sim &sim = gt8841(c.engine_speed);
        sim.set_silent(c.silent);
        sim.set_reg(0xC4, static_cast<uint8_t>(c.version_last));
        sim.set_reg(0x31, 0x10);
        ENGINE_RECORD *r = load(kGt8841, gt8841_body(c.elements));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->scanner_probe(r), c.result);
        EXPECT_EQ(line_speed(), 115200);
        std::vector<SerialEngineSim::Request> seen = sim.requests();
        const size_t fix = c.fix_ups ? kFixUps.size() : 0;
        ASSERT_EQ(seen.size(), c.requests.size() + fix);
        for (size_t i = 0; i < c.requests.size(); ++i) {
            EXPECT_EQ(hex(seen[i].bytes).compare(0, c.requests[i].first.size(), c.requests[i].first), 0)
                << i << ": " << hex(seen[i].bytes);
            EXPECT_EQ(seen[i].speed, c.requests[i].second) << i;
        }
        for (size_t i = 0; i < fix; ++i) {
            EXPECT_EQ(hex(seen[c.requests.size() + i].bytes), kFixUps[i]);
            EXPECT_EQ(seen[c.requests.size() + i].speed, 115200);
        }
        if (c.fix_ups) {
            EXPECT_EQ(sim.reg(0x0F), 0x01);
            EXPECT_EQ(sim.reg(0x31), 0x00);
            char version[ENGINE_VERSION_SIZE] = {};
            EXPECT_EQ(r->scanner_version(r, version), 3);
            EXPECT_STREQ(version, "2013032014");
        }
        EXPECT_EQ(sim.bad_crcs(), 0);
        sim_->stop();
        release_engine_list();
    }
}

TEST_F(Gt8841Test, RefusedFixUpWriteFailsTheProbe) {
    Gt8841Sim &sim = gt8841(115200);
    sim.set_reg(0x0F, 0x01);
    sim.set_reg(0x31, 0x10);
    sim.refuse_writes(0x31);
    ENGINE_RECORD *r = load(kGt8841, gt8841_body({}));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->scanner_probe(r), -1);
    EXPECT_EQ(request_texts(), (std::vector<std::string>{request(7, 0xC0, 5), request(7, 0x0F, 1), request(7, 0x31, 1),
                                                         request(8, 0x31, 0), request(9, 0, 0)}));
}

TEST_F(Gt8841Test, SettingsAreRegisterCommands) {
    Gt8841Sim &sim = gt8841(115200);
    ENGINE_RECORD *r = ready(sim);
    ASSERT_NE(r, nullptr);
    const std::string finish = "7E 00 09 01 00 00 00 DE C8";
    struct Case {
        const char *param;
        const char *value;
        int result;
        std::vector<std::string> requests; // prefixes
        std::function<void()> before;
    };
    const std::vector<Case> cases = {
        {"Enable", "1", 0, {"7E 00 08 01 00 10 01", finish}, nullptr},
        {"Mode", "3", 0, {"7E 00 07 01 00 11 01", "7E 00 08 01 00 11 8D", finish}, [&] { sim.set_reg(0x11, 0x81); }},
        {"Mode", "3", 0, {"7E 00 07 01 00 11 01", finish}, [&] { sim.set_count_override(2); }},
        {"Save", "0", 0, {finish}, nullptr},
        {"Bad", "0", -1, {}, nullptr},
        {"Letter", "0", -1, {}, nullptr},
        {"Minlen", "3", -1, {}, nullptr},
        {"Maxlen", "30", -1, {}, nullptr},
        {"Minlen", "15", -1, {"7E 00 07 01 00 81 01"}, [&] { sim.set_reg(0x81, 10); }},
        {"Minlen", "6", 0, {"7E 00 07 01 00 81 01", "7E 00 08 01 00 82 06", finish}, [&] { sim.set_reg(0x81, 10); }},
        {"Maxlen", "8", 0, {"7E 00 07 01 00 82 01", "7E 00 08 01 00 81 08", finish}, [&] { sim.set_reg(0x82, 6); }},
        {"Maxlen", "5", -1, {"7E 00 07 01 00 82 01"}, [&] { sim.set_reg(0x82, 6); }},
        {"Short", "1", -1, {}, nullptr},
        {"Odd", "1", -1, {}, nullptr},
        {"Enable", "1", -1, {"7E 00 08 01 00 10 01"}, [&] { sim.set_status(1); }},
        {"Enable", "1", -1, {"7E 00 08 01 00 10 01"}, [&] { sim.set_cut(6); }},
    };
    int index = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << index++ << " " << c.param << "=" << c.value);
        sim.set_status(0);
        sim.set_count_override(-1);
        sim.set_cut(0);
        if (c.before) c.before();
        sim.clear_requests();
        EXPECT_EQ(r->scanner_set(r, "EAN13", c.param, c.value), c.result);
        std::vector<std::string> seen = request_texts();
        ASSERT_EQ(seen.size(), c.requests.size());
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].compare(0, c.requests[i].size(), c.requests[i]), 0) << seen[i];
    }
    EXPECT_EQ(r->scanner_set(r, "EAN8", "Enable", "1"), -1);
}

TEST_F(Gt8841Test, ReadBackAndVersion) {
    Gt8841Sim &sim = gt8841(115200);
    ENGINE_RECORD *r = ready(sim);
    ASSERT_NE(r, nullptr);
    char out[ENGINE_VERSION_SIZE] = {};
    sim.set_reg(0x11, 0x81);
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Mode", out), 1);
    EXPECT_STREQ(out, "0");
    sim.set_reg(0x11, 0x89);
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Mode", out), 1);
    EXPECT_STREQ(out, "2");
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Mode"), 2);
    sim.set_reg(0x81, 123);
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Maxlen", out), 3);
    EXPECT_STREQ(out, "123");
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Save", out), -1);
    sim.set_count_override(2);
    EXPECT_EQ(r->scanner_get(r, "EAN13", "Mode", out), -1);
    EXPECT_EQ(r->scanner_sync(r, "EAN13", "Mode"), 0);
    sim.set_count_override(-1);
    sim.clear_requests();
    EXPECT_EQ(r->scanner_version(r, out), 3);
    EXPECT_STREQ(out, "2013032014");
    EXPECT_TRUE(sim.requests().empty());
    // scanner_pack hands out command texts, not packets.
    uint8_t text[ENGINE_PACKET_SIZE];
    EXPECT_EQ(r->scanner_pack(r, "Suffix", "CR", nullptr, text), 7);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "WFF3201");
    EXPECT_EQ(r->scanner_pack(r, "Baudrate", "name", "9600", text), 7);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "WFF2A00");
    EXPECT_EQ(r->scanner_pack(r, "Prefix", "CR", nullptr, text), 0);
}

}  // namespace
