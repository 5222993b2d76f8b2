// Decode cycles of the serial drivers on the runtime core: the trigger, the engine's data
// delivered as one code, a code longer than the step buffer, a setting asked for during a
// cycle, a silent engine, and the engine controls.
#include <thread>

#include "serial_test.h"

namespace {

const std::string kGtBody = R"(  <ScanProbe><Cmd>RC0C1C2C3C4</Cmd></ScanProbe>
  <Code>
    <EAN13>
      <Enable name="1">WFF1001</Enable>
    </EAN13>
  </Code>
)";
const std::string kUpBody = R"(  <ScanProbe><Cmd>A3</Cmd></ScanProbe>
  <Code>
    <EAN13>
      <Enable name="1">8A</Enable>
    </EAN13>
  </Code>
)";

const std::string kCode = std::string("AB\0C\xFF" "D12345X", 12);

class SerialCycleTest : public SerialDriverTest {
  protected:
    ENGINE_RECORD *gt_ready() {
        gt8841(115200);
        ENGINE_RECORD *r = load(kGt8841, kGtBody);
        return open_line(r, 115200) ? r : nullptr;
    }
    ENGINE_RECORD *up_ready(bool pl512) {
        const int home = pl512 ? 9600 : 38400;
        up513(pl512, home);
        ENGINE_RECORD *r = load(pl512 ? kPl512 : kUp513, kUpBody);
        return open_line(r, home) ? r : nullptr;
    }
    // Starts a cycle and waits for its end: the events seen.
    std::vector<SeenEvent> cycle(ENGINE_RECORD *r) {
        EXPECT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
        EXPECT_TRUE(wait_final_event());
        // The close procedure has run once the trigger is off.
        EXPECT_TRUE(eventually([&] { return trigger_writes().size() >= 2; }));
        return seen();
    }
};

TEST_F(SerialCycleTest, EngineDataIsDeliveredAsOneCode) {
    for (int engine = 0; engine < 3; ++engine) {
        SCOPED_TRACE(engine);
        ENGINE_RECORD *r = engine == 0 ? gt_ready() : up_ready(engine == 2);
        ASSERT_NE(r, nullptr);
        // Bytes that came before the start are not part of the code.
        sim_->send("stale");
        ASSERT_TRUE(sim_->wait_sent());
        sim_->set_scan_data(kCode);
        sim_io_clear();
        clear_events();
        std::vector<SeenEvent> e = cycle(r);
        ASSERT_EQ(e.size(), 2u);
        EXPECT_EQ(e[0].event, SCN_EVENT_BEEP);
        EXPECT_FALSE(e[0].has_result);
        EXPECT_EQ(e[1].event, SCN_EVENT_DATA);
        ASSERT_TRUE(e[1].has_result);
        EXPECT_EQ(e[1].kind, 1u);
        EXPECT_EQ(e[1].len1, 12u);
        EXPECT_EQ(e[1].len2, 0u);
        EXPECT_EQ(e[1].data, kCode + std::string(1, '\0'));
        EXPECT_EQ(trigger_writes(), (std::vector<std::string>{"trigger_on", "trigger_off"}));
        EXPECT_TRUE(logged(std::string(engine == 0 ? "GT8841" : engine == 1 ? "UP513" : "PL512") +
                           "DateProcess len [12] [AB]"));
        sim_->stop();
        release_engine_list();
    }
}

TEST_F(SerialCycleTest, CodeLongerThanTheStepBufferFails) {
    struct Case {
        size_t length;
        int event;
    };
    const Case cases[] = {{600, SCN_EVENT_FAIL}, {255, SCN_EVENT_DATA}};
    ENGINE_RECORD *r = gt_ready();
    ASSERT_NE(r, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        std::string code(c.length, 'x');
        for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<char>('0' + i % 10);
        sim_->set_scan_data(code);
        sim_io_clear();
        clear_events();
        std::vector<SeenEvent> e = cycle(r);
        ASSERT_EQ(e.size(), 2u);
        EXPECT_EQ(e[1].event, c.event);
        if (c.event == SCN_EVENT_DATA) {
            EXPECT_EQ(e[1].len1, 255u);
            EXPECT_EQ(e[1].data, code + std::string(1, '\0'));
        } else {
            EXPECT_TRUE(logged("GT8841 data overrun [600] step [256]"));
        }
    }
}

TEST_F(SerialCycleTest, SilentEngineStepsUntilStopped) {
    ENGINE_RECORD *r = up_ready(false);
    ASSERT_NE(r, nullptr);
    sim_io_clear();
    ASSERT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 1; }));
    plat_sleep_real(100);
    EXPECT_TRUE(seen().empty());
    EXPECT_EQ(trigger_writes().size(), 1u);
    EXPECT_EQ(r->scanner_stop_decode(r, 0), 0);
    EXPECT_TRUE(eventually([&] { return trigger_writes().size() == 2; }));
    EXPECT_EQ(trigger_writes(), (std::vector<std::string>{"trigger_on", "trigger_off"}));
    EXPECT_TRUE(seen().empty());
}

TEST_F(SerialCycleTest, SettingDuringACycleGoesOutAfterIt) {
    ENGINE_RECORD *r = gt_ready();
    ASSERT_NE(r, nullptr);
    sim_io_clear();
    ASSERT_EQ(r->scanner_start_decode(r, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return trigger_writes().size() == 1; }));
    int result = 1;
    std::thread setter([&] { result = r->scanner_set(r, "EAN13", "Enable", "1"); });
    plat_sleep_real(50);
    EXPECT_TRUE(sim_->requests().empty()) << "nothing goes out during the cycle";
    uint64_t before = sim_next_sequence();
    sim_->send(kCode);
    setter.join();
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(wait_final_event());
    std::vector<SeenEvent> e = seen();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].event, SCN_EVENT_DATA);
    EXPECT_EQ(e[1].len1, 12u);
    std::vector<SerialEngineSim::Request> sent = sim_->requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_GT(sent[0].seq, before);
    EXPECT_EQ(static_cast<Gt8841Sim &>(*sim_).reg(0x10), 0x01);
}

TEST_F(SerialCycleTest, EngineControls) {
    for (int engine = 0; engine < 3; ++engine) {
        SCOPED_TRACE(engine);
        ENGINE_RECORD *r = engine == 0 ? gt_ready() : up_ready(engine == 2);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), engine == 0 ? 1 : 0);
        EXPECT_EQ(r->scanner_ioctrl(r, SCANNER_IOCTRL_SAVE_BMP, 1, nullptr), 0);
        EXPECT_EQ(r->debugSaveImage, 1u);
        // A record without decode-cycle state (a copy: the core's threads read the real one).
        ENGINE_RECORD bare = *r;
        bare.common = nullptr;
        EXPECT_EQ(r->scanner_ioctrl(&bare, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), -1);
        EXPECT_EQ(r->scanner_set(&bare, "EAN13", "Enable", "1"), -1);
        char out[ENGINE_VERSION_SIZE];
        EXPECT_EQ(r->scanner_get(&bare, "EAN13", "Enable", out), -1);
        EXPECT_EQ(r->scanner_ioctrl(nullptr, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), -1);
        EXPECT_EQ(r->scanner_probe(nullptr), -1);
        EXPECT_TRUE(sim_->requests().empty());
        sim_->stop();
        release_engine_list();
    }
}

}  // namespace
