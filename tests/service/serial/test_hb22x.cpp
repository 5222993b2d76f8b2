// The HB22X driver: its framed text packets and echo checks, the probe with its two reply
// waits, settings queued for the driver's worker and sent after any decode cycle, direct
// settings, the read-back of decimal values, and the worker's start and stop with the
// engine's initialisation and deinitialisation, against a simulator of the engine.
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial_test.h"

namespace {

// HB22X: packets {0x16, 'M', 0x0D, text, '.'} are answered with their text and 0x06; a
// query (text ending in '?') with its text, the value set for it and one more byte.
// "BAUD<speed>" switches the speed after the answer. Answers may come late.
class Hb22xSim : public SerialEngineSim {
  public:
    using SerialEngineSim::SerialEngineSim;
    // What follows the text T in the answer to T's query.
    void set_value(const std::string &text, const std::string &value) {
        std::lock_guard<std::mutex> g(lock_);
        values_[text] = value;
    }
    void set_delay_ms(int ms) { delay_ms_ = ms; }
    // The texts of the packets received, in order.
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (const auto &r : requests()) out.push_back(text_of(r.bytes));
        return out;
    }
    static std::string text_of(const std::string &packet) {
        if (packet.size() < 4 || packet.compare(0, 3, "\x16M\x0D") != 0 || packet.back() != '.') return "?bad?";
        return packet.substr(3, packet.size() - 4);
    }

  protected:
    std::string answer(const std::string &request) override {
        if (delay_ms_ > 0) plat_sleep_real(delay_ms_);
        std::string text = text_of(request);
        if (text == "?bad?") return "";
        if (!text.empty() && text.back() == '?') {
            text.pop_back();
            std::lock_guard<std::mutex> g(lock_);
            auto it = values_.find(text);
            return text + (it == values_.end() ? std::string("0;") : it->second);
        }
        if (text.compare(0, 4, "BAUD") == 0) set_speed_after(atoi(text.c_str() + 4));
        return text + "\x06";
    }

  private:
    std::mutex lock_;
    std::map<std::string, std::string> values_;
    std::atomic<int> delay_ms_{0};
};

// A text of 20 characters: with 7 value characters its packet is 31 bytes.
const char kLongText[] = "LONGTEXT0123456789AB";

std::string hb22x_body(const std::vector<const char *> &speeds) {
    std::string b = R"(  <ScanProbe><Cmd>PROBE</Cmd></ScanProbe>
  <DataFormat>
    <Suffix><Disable>SUFOFF</Disable></Suffix>
    <Prefix><Disable>PREOFF</Disable></Prefix>
  </DataFormat>
  <Setting>
    <Beep><Beep>BEEPV</Beep></Beep>
)";
    for (const char *s : speeds) b += "    <Baudrate name=\"" + std::string(s) + "\">BAUD" + s + "</Baudrate>\n";
    return b + R"(  </Setting>
  <Code>
    <EAN13>
      <Enable name="N">E13ENA</Enable>
      <Mode name="F">E13MOD</Mode>
      <Level name="0">E13LEV</Level>
      <Minlen name="4">E13MIN</Minlen>
      <Maxlen name="20">E13MAX</Maxlen>
      <Long name="0">)" + kLongText + R"(</Long>
    </EAN13>
  </Code>
)";
}

std::string framed(const std::string &text) { return "\x16M\x0D" + text + "."; }

using SetOper = int (*)(ENGINE_RECORD *, const char *, const char *, const char *);
using SetData = int (*)(ENGINE_RECORD *, const char *, const char *, const char *, uint8_t *);

class Hb22xTest : public SerialDriverTest {
  protected:
    Hb22xSim &sim(int speed) { return start_sim<Hb22xSim>(speed); }
    // A record on an open line at 115200 with its cycle state, the requests cleared.
    ENGINE_RECORD *ready(Hb22xSim &) { return ready_at(kHb22x, hb22x_body({}), 115200); }
    template <typename T> T bind(ENGINE_RECORD *r, const char *name) {
        return reinterpret_cast<T>(dlsym(r->libHandle, name));
    }
};

TEST_F(Hb22xTest, PacketsAndEchoChecks) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = load(kHb22x, hb22x_body({"9600"}));
    ASSERT_NE(r, nullptr);
    struct Pack {
        const char *name;
        const char *key;
        const char *value;
        std::string packet; // "" nothing built
    };
    const Pack packs[] = {
        {"ScanProbe", nullptr, nullptr, framed("PROBE")},
        {"Suffix", nullptr, nullptr, framed("SUFOFF")},
        {"Prefix", nullptr, nullptr, framed("PREOFF")},
        {"Baudrate", "name", "9600", framed("BAUD9600")},
        {"Beep", nullptr, nullptr, framed("BEEPV0")},
        {"SysInfo", nullptr, nullptr, ""},
        {"AIMID", nullptr, nullptr, ""},
    };
    for (const Pack &p : packs) {
        uint8_t out[ENGINE_PACKET_SIZE] = {};
        int n = r->scanner_pack(r, p.name, p.key, p.value, out);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(n)), p.packet) << p.name;
    }
    const std::string probe = framed("PROBE");
    const auto *sent = reinterpret_cast<const uint8_t *>(probe.data());
    struct Unpack {
        const char *name;
        std::string reply;
        int result;
    };
    const Unpack unpacks[] = {
        {"ScanProbe", "PROBE\x06", 0},   {"ScanProbe", "PROBX\x06", -1}, {"ScanProbe", "PROBE", 1},
        {"ScanProbe", "", 1},            {"Baudrate", "PROBE;", 0},       {"Suffix", "", 0},
        {"Prefix", "x", 0},              {"Beep", "", 0},                 {"SysInfo", "PROBE\x06", -1},
    };
    for (const Unpack &u : unpacks) {
        std::vector<uint8_t> reply(u.reply.begin(), u.reply.end());
        reply.push_back(0);
        EXPECT_EQ(r->scanner_unpack(r, u.name, sent, static_cast<int>(probe.size()), reply.data(),
                                    static_cast<int>(u.reply.size())),
                  u.result)
            << u.name << " " << u.reply;
    }
    char version[ENGINE_VERSION_SIZE] = {};
    EXPECT_EQ(r->scanner_version(r, version), 3);
    EXPECT_STREQ(version, "V1.0");
    EXPECT_TRUE(s.requests().empty());
}

TEST_F(Hb22xTest, ProbeWaitsLongerForItsFirstAnswer) {
    struct Case {
        const char *what;
        int engine_speed;
        int delay_ms;
        int result;
        std::vector<std::pair<std::string, int>> requests;
    };
    const Case cases[] = {
        {"late at home", 115200, 650, 0, {{"PROBE", 115200}}},
        {"late on the walk", 57600, 650, -1, {{"PROBE", 115200}, {"PROBE", 57600}}},
        {"found on the walk",
         57600,
         0,
         0,
         {{"PROBE", 115200}, {"PROBE", 57600}, {"BAUD115200", 57600}, {"PROBE", 115200}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Hb22xSim &s = sim(c.engine_speed);
        s.set_delay_ms(c.delay_ms);
        ENGINE_RECORD *r = load(kHb22x, hb22x_body({"115200", "57600"}));
        ASSERT_NE(r, nullptr);
        sim_sleep_clear();
        EXPECT_EQ(r->scanner_probe(r), c.result);
        EXPECT_EQ(line_speed(), 115200);
        std::vector<SerialEngineSim::Request> seen = s.requests();
        ASSERT_EQ(seen.size(), c.requests.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(Hb22xSim::text_of(seen[i].bytes), c.requests[i].first) << i;
            EXPECT_EQ(seen[i].speed, c.requests[i].second) << i;
        }
        std::vector<SimWait> waits = sim_sleep_waits();
        auto pause = std::find_if(waits.begin(), waits.end(), [](const SimWait &w) { return w.ms == 500; });
        if (seen.size() == 4) {
            // "Baudrate", the home speed, 500 ms, the probe again.
            ASSERT_NE(pause, waits.end());
            EXPECT_GT(pause->seq, seen[2].seq);
            EXPECT_LT(pause->seq, seen[3].seq);
        } else {
            EXPECT_EQ(pause, waits.end());
        }
        sim_->stop();
        release_engine_list();
    }
}

TEST_F(Hb22xTest, SettingsAreQueuedForTheWorker) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Maxlen", "30"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Minlen", "3"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Long", "1234567"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Missing", "1"), -1);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "7"), 0);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Mode", "12"), 0);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Maxlen", "15"), 0);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Long", "123456"), 0);
    ASSERT_TRUE(s.wait_requests(4));
    // Nothing refused was queued; the rest in slot order.
    EXPECT_EQ(s.texts(), (std::vector<std::string>{"E13ENA", "E13MOD1", "E13MAX15", std::string(kLongText) + "123456"}));
    EXPECT_TRUE(logged("nlen [30] reallen [20]"));
    auto set_data = bind<SetData>(r, "scanner_set_data");
    ASSERT_NE(set_data, nullptr);
    uint8_t out[ENGINE_PACKET_SIZE];
    EXPECT_EQ(set_data(r, "EAN13", "Level", "42", out), 12);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 12), framed("E13LEV42"));
    // A value that would not fit the caller's 512 bytes.
    EXPECT_EQ(set_data(r, "EAN13", "Level", std::string(600, '1').c_str(), out), -1);
    EXPECT_EQ(set_data(r, "EAN13", "Level", nullptr, out), -1);
}

TEST_F(Hb22xTest, DirectSettingAndReadBack) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    auto set_oper = bind<SetOper>(r, "scanner_set_oper");
    ASSERT_NE(set_oper, nullptr);
    EXPECT_EQ(set_oper(r, "EAN13", "Level", "3"), 0);
    EXPECT_TRUE(logged("Setting OK\n"));
    EXPECT_EQ(s.texts(), std::vector<std::string>{"E13LEV3"});
    EXPECT_EQ(set_oper(r, "EAN8", "Level", "3"), -1);
    struct Case {
        std::string value;  // after the text
        std::string reply;  // instead of the model's answer ("": none)
        int result;
        std::string out;
        int sync;
    };
    const std::string forty = "0000000000000000042" + std::string(21, '9');
    const Case cases[] = {
        {"25x", "", 3, "25x", 25},
        {"25", "", 2, "25", 25},
        {"x", "", 1, "x", 0},
        {"25x", "E13LE25x", -1, "", 0},
        {"25x", "E13LEV", -1, "", 0},
        {forty + "x", "", 19, forty.substr(0, 19), 42},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value + " / " + c.reply);
        s.set_value("E13LEV", c.value);
        // Exactly the sync's 20 bytes, on the heap: a byte past them is seen.
        std::vector<char> out(20, 0);
        if (!c.reply.empty()) s.push_reply(c.reply);
        EXPECT_EQ(r->scanner_get(r, "EAN13", "Level", out.data()), c.result);
        if (c.result > 0) {
            EXPECT_EQ(std::string(out.data()), c.out);
        }
        if (!c.reply.empty()) s.push_reply(c.reply);
        EXPECT_EQ(r->scanner_sync(r, "EAN13", "Level"), c.sync);
    }
    EXPECT_EQ(Hb22xSim::text_of(s.requests().back().bytes), "E13LEV?");
    s.set_silent(true);
    EXPECT_EQ(set_oper(r, "EAN13", "Level", "3"), -1);
    EXPECT_TRUE(logged("Setting Error\n"));
}

TEST_F(Hb22xTest, SettingsDuringACycleGoOutAfterItsClose) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    sim_io_clear();
    clear_events();
    ASSERT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 1; }));
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Enable", "1"), 0);
    EXPECT_EQ(r->scanner_set(r, "EAN13", "Mode", "2"), 0);
    plat_sleep_real(50);
    EXPECT_TRUE(s.requests().empty()) << "the worker waits for the cycle";
    const std::string code = "HB22X code 0123456789";
    s.send(code);
    ASSERT_TRUE(wait_final_event());
    std::vector<SeenEvent> e = seen();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].event, SCN_EVENT_DATA);
    EXPECT_EQ(e[1].data, code + std::string(1, '\0'));
    EXPECT_TRUE(logged("HB22DateProcess len [21] [HB22X code 0123456789]"));
    ASSERT_TRUE(s.wait_requests(2));
    EXPECT_EQ(s.texts(), (std::vector<std::string>{"E13ENA", "E13MOD2"}));
    uint64_t off = 0;
    const std::string node = std::string(kSwitchDir) + "scan_switch";
    for (const SimIo &io : sim_io_journal())
        if (io.path == node && io.op == 'w' && io.bytes.find("trigger_off") != std::string::npos) off = io.seq;
    ASSERT_NE(off, 0u);
    EXPECT_GT(s.requests()[0].seq, off);
}

TEST_F(Hb22xTest, DeinitStopsTheWorker) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = load(kHb22x, hb22x_body({}));
    ASSERT_NE(r, nullptr);
    ASSERT_GE(serial_open(r->DriverChannel, 115200, 0), 0);
    // Counted with the simulator's thread running: the process has started threads before.
    const int threads = thread_count();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(r->scanner_init(r), 0);
        ASSERT_EQ(r->scanner_set(r, "EAN13", "Enable", "1"), 0);
        ASSERT_EQ(r->scanner_deinit(r), 0);
    }
    // Not above: a thread of an earlier test may still have been leaving at the first count.
    EXPECT_TRUE(eventually([&] { return thread_count() <= threads; })) << thread_count() << " " << threads;
    // Each initialisation sends the format commands first.
    std::vector<std::string> texts = s.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "SUFOFF");
    EXPECT_EQ(texts[1], "PREOFF");
}

// Queued settings, read-backs and a decode cycle from three threads at once. The callers
// come once the cycle runs: the core clears the UART before a cycle's open procedure,
// outside the engine's exchange lock, which would take the reply of an exchange in flight.
TEST_F(Hb22xTest, SettingsReadBacksAndACycleAtOnce) {
    Hb22xSim &s = sim(115200);
    ENGINE_RECORD *r = ready(s);
    ASSERT_NE(r, nullptr);
    s.set_value("E13LEV", "7;");
    const std::string code = "concurrent code";
    clear_events();
    sim_io_clear();
    ASSERT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 1; }));
    std::atomic<int> bad{0};
    std::thread setter([&] {
        for (int i = 0; i < 10; ++i)
            if (r->scanner_set(r, "EAN13", "Mode", "1") != 0) ++bad;
    });
    std::thread reader([&] {
        for (int i = 0; i < 10; ++i)
            if (r->scanner_sync(r, "EAN13", "Level") != 7) ++bad;
    });
    plat_sleep_real(30);
    s.send(code);
    ASSERT_TRUE(wait_final_event());
    setter.join();
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    std::vector<SeenEvent> e = seen();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].data, code + std::string(1, '\0'));
    EXPECT_TRUE(eventually([&] {
        std::vector<std::string> t = s.texts();
        return std::count(t.begin(), t.end(), "E13MOD1") == 10;
    }));
}

}  // namespace
