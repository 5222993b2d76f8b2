// The GT8841 driver through the scanner service: the start-up finds the engine simulator
// at another speed, reads its settings back from the registers and becomes ready; a decode
// request delivers the engine's data; the version joins the engine's.
#include <memory>

#include "scanner/startup_test.h"
#include "serial_engine_sim.h"

namespace {

constexpr char kScanDir[] = "/sys/scan/";

std::mutex g_events_lock;
std::vector<std::pair<int, std::string>> g_events;

int on_event(int event, DECODE_RESULT *result, int) {
    std::lock_guard<std::mutex> g(g_events_lock);
    std::string data;
    if (result != nullptr && result->data != nullptr && result->len1 < result->capacity)
        data.assign(reinterpret_cast<const char *>(result->data), result->len1);
    g_events.push_back({event, data});
    return 0;
}

class SerialStartupTest : public StartupTest {
  protected:
    void SetUp() override {
        StartupTest::SetUp();
        for (const char *node : {"uart_rts", "uart_cts"}) write_file(std::string(kScanDir) + node, "1");
        make_dirs("/dev");
        ASSERT_EQ(sim_pty_open(&pty_, "/dev/ttyS1"), 0);
        write_encrypted("DRIVEREN",
                        "<?xml version=\"1.0\"?>\n<Driver>\n"
                        "  <SWITCH1D name=\"0\">/sys/scan/</SWITCH1D>\n"
                        "  <UART name=\"1\">/dev/ttyS1</UART>\n"
                        "</Driver>\n");
        std::lock_guard<std::mutex> g(g_events_lock);
        g_events.clear();
    }
    void TearDown() override {
        zpt_scandeinit();
        if (sim_) sim_->stop();
        sim_.reset();
        sim_pty_close(&pty_);
        StartupTest::TearDown();
    }
    SimPty pty_;
    std::unique_ptr<Gt8841Sim> sim_;
};

TEST_F(SerialStartupTest, Gt8841FoundAtAnotherSpeedReadBackAndRead) {
    write_config("none", {"MOCKA", "GT8841LD"});
    add_engine("MOCKA", 1, 0, {"probe=-1"});
    std::string plugin = read_host_file(SERIAL_PLUGIN_DIR "/libGT8841LD.so");
    ASSERT_FALSE(plugin.empty());
    write_file("/system/lib64/libGT8841LD.so", plugin);
    write_encrypted("GT8841LDEN", R"(<?xml version="1.0" encoding="UTF-8"?>
<Engine>
  <Scaninfo>GT8841</Scaninfo>
  <Scantype>1</Scantype>
  <ScanWakeUp>0</ScanWakeUp>
  <DriverChannel>1</DriverChannel>
  <PowerChannel>0</PowerChannel>
  <TrigChannel>0</TrigChannel>
  <ScanProbe><Cmd>RC0C1C2C3C4</Cmd></ScanProbe>
  <Setting>
    <Baudrate name="115200">WFF2A03</Baudrate>
    <Baudrate name="9600">WFF2A00</Baudrate>
    <Baudrate name="38400">WFF2A01</Baudrate>
    <Baudrate name="57600">WFF2A02</Baudrate>
  </Setting>
  <Code>
    <EAN13>
      <Enable name="1">W011001</Enable>
      <Mode name="2">W0C1100</Mode>
      <Maxlen name="20">M000001</Maxlen>
      <Minlen name="4">M000002</Minlen>
    </EAN13>
  </Code>
</Engine>
)");
    sim_ = std::make_unique<Gt8841Sim>(&pty_, 57600, root_, kScanDir);
    sim_->set_reg(0x10, 0x01);
    sim_->set_reg(0x11, 0x08);
    sim_->set_reg(0x81, 18);
    sim_->set_reg(0x82, 6);
    sim_->set_scan_data("6901234567892");
    sim_->start();
    start();
    ASSERT_TRUE(threads_ended());
    EXPECT_EQ(property("persist.sys.scan.info"), "GT8841");
    EXPECT_EQ(sim_->speed(), 115200);
    EXPECT_EQ(sim_->port_speed(), 115200);
    char out[32] = {};
    const std::pair<const char *, const char *> cached[] = {
        {"Enable", "1"}, {"Mode", "2"}, {"Maxlen", "18"}, {"Minlen", "6"}};
    for (const auto &c : cached) {
        EXPECT_GT(zpt_scangetparam("EAN13", c.first, out), 0) << c.first;
        EXPECT_STREQ(out, c.second) << c.first;
    }
    EXPECT_EQ(zpt_scanstartdecode(on_event, 0), 1);
    ASSERT_TRUE(eventually([] {
        std::lock_guard<std::mutex> g(g_events_lock);
        return !g_events.empty() && g_events.back().first == SCN_EVENT_DATA;
    }));
    {
        std::lock_guard<std::mutex> g(g_events_lock);
        EXPECT_EQ(g_events.back().second, "6901234567892");
    }
    char version[ZPT_VERSION_TEXT_MAX] = {};
    EXPECT_EQ(zpt_getversion(version), 1);
    EXPECT_STREQ(version, "JNI: V1.01.026\n2013032014");
}

}  // namespace
