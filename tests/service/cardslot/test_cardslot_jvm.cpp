// The PSAM and RFID natives in a real JVM (OpenJDK 17, -Xcheck:jni): the test lays out a
// platform root, runs a card simulator on the slot's pseudo-terminal that reads the
// enable and reset lines from FIFO nodes (every level the JVM writes, in order), and runs
// the scenarios of java/CardslotScenarios.java.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sandbox.h"
#include "service_test.h"
#include "sim.h"

namespace {

const std::vector<uint8_t> kJvmCardAtr = {0x3B, 0x6D, 0x00, 0x00, 0x57};
const std::vector<uint8_t> kJvmSelect = {0x00, 0xA4, 0x04, 0x00};

// The card for a JVM: line levels from the FIFOs, its answer to reset from data/psam/atr
// (hex; missing: the default answer), 90 00 to the select command.
class JvmCardSim {
  public:
    JvmCardSim(const std::string &root, SimPty *pty) : root_(root), pty_(pty) {
        en_ = open((root + "/sys/psam/psam_en").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        rst_ = open((root + "/sys/psam/psam_rst").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        thread_ = std::thread([this] { serve(); });
    }
    ~JvmCardSim() {
        stop_ = true;
        thread_.join();
        close(en_);
        close(rst_);
    }
    std::vector<uint8_t> received() {
        std::lock_guard<std::mutex> g(lock_);
        return received_;
    }

  private:
    std::vector<uint8_t> atr() const {
        std::string hex = read_host_file(root_ + "/data/psam/atr");
        if (access((root_ + "/data/psam/atr").c_str(), F_OK) != 0) return kJvmCardAtr;
        std::vector<uint8_t> out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    }
    void serve() {
        while (!stop_) {
            struct pollfd fds[3] = {{en_, POLLIN, 0}, {rst_, POLLIN, 0}, {pty_->master, POLLIN, 0}};
            if (poll(fds, 3, 20) <= 0) continue;
            char level;
            while (read(en_, &level, 1) == 1) enabled_ = level == '1';
            while (read(rst_, &level, 1) == 1) {
                bool high = level == '1';
                if (high && !reset_high_ && enabled_) {
                    std::vector<uint8_t> a = atr();
                    if (!a.empty()) sim_pty_send(pty_, a.data(), a.size());
                }
                reset_high_ = high;
            }
            if ((fds[2].revents & POLLIN) != 0) {
                uint8_t buf[600];
                ssize_t n = read(pty_->master, buf, sizeof buf);
                if (n <= 0) continue;
                std::lock_guard<std::mutex> g(lock_);
                received_.insert(received_.end(), buf, buf + n);
                if (std::vector<uint8_t>(buf, buf + n) == kJvmSelect) {
                    const uint8_t ok[] = {0x90, 0x00};
                    sim_pty_send(pty_, ok, sizeof ok);
                }
            }
        }
    }
    std::string root_;
    SimPty *pty_;
    int en_ = -1;
    int rst_ = -1;
    bool enabled_ = false;
    bool reset_high_ = false;
    std::mutex lock_;
    std::vector<uint8_t> received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class CardslotJvmTest : public ServiceRootTest {
  protected:
    void SetUp() override {
        ServiceRootTest::SetUp();
        make_dirs("/sys/psam");
        make_dirs("/sys/rfid");
        make_dirs("/dev");
        write_file("/data/simbus/model", "");  // no bus: the kernel model serves the serial line
        ASSERT_EQ(mkfifo(host("/sys/psam/psam_en").c_str(), 0600), 0);
        ASSERT_EQ(mkfifo(host("/sys/psam/psam_rst").c_str(), 0600), 0);
        ASSERT_EQ(sim_pty_open(&pty_, "/dev/ttyS1"), 0);
        ASSERT_TRUE(svc_sandbox::link_library(root_, svc_sandbox::kXmlSystem, "/system/lib64/libxml2.so"));
        ASSERT_TRUE(svc_sandbox::link_library(root_, svc_sandbox::kCrypto, "/system/lib64/libcrypto.so"));
    }
    void TearDown() override {
        sim_pty_close(&pty_);
        ServiceRootTest::TearDown();
    }
    void write_drivers(bool with_uart) {
        std::string xml = "<?xml version=\"1.0\"?>\n<Driver>\n  <SWITCH1D name=\"1\">/sys/psam/</SWITCH1D>\n"
                          "  <GPIO name=\"1\">/sys/rfid/power</GPIO>\n";
        if (with_uart) xml += "  <UART name=\"1\">/dev/ttyS1</UART>\n";
        xml += "</Driver>\n";
        std::string cipher;
        ASSERT_TRUE(svc_sandbox::openssl_encrypt(xml, svc_sandbox::kConfigKey, &cipher));
        write_file("/system/usr/xml/DRIVEREN", cipher);
    }
    // Runs a scenario: its exit status; out gets stdout and stderr.
    int run_scenario(const char *classes, const char *scenario, std::string *out) {
        std::vector<std::string> argv = {CARDSLOT_JAVA, "-Xcheck:jni", "-XX:+UseSerialGC", "-XX:TieredStopAtLevel=1",
                                         "-Djava.library.path=" CARDSLOT_LIBRARY_DIRS, "-Dsimbus=" CARDSLOT_SIMBUS, "-cp",
                                         std::string(classes) + ":" CARDSLOT_SCENARIO_CLASSES, "CardslotScenarios",
                                         scenario};
        std::vector<std::string> extra;
#ifdef JVM_ASAN_RUNTIME
        extra = svc_sandbox::jvm_sanitizer_env(JVM_ASAN_RUNTIME, JVM_ASAN_SUPPRESSIONS);
#endif
        extra.push_back("STACK_LOGCAT_FILE=" + host("/logcat"));
        return svc_sandbox::run_program(argv, root_, extra, true, 120, out);
    }
    static void expect_quiet_jvm(const std::string &out) {
        EXPECT_NE(out.find(" passed, 0 failed"), std::string::npos) << out;
        EXPECT_EQ(out.find("WARNING in native method"), std::string::npos) << out;
        EXPECT_EQ(out.find("FATAL ERROR"), std::string::npos) << out;
        EXPECT_EQ(out.find("ERROR: AddressSanitizer"), std::string::npos) << out;
        EXPECT_EQ(out.find("runtime error:"), std::string::npos) << out;
    }
    SimPty pty_;
};

TEST_F(CardslotJvmTest, PsamServiceTalksToTheCard) {
    write_drivers(true);
    JvmCardSim card(root_, &pty_);
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_CLASSES, "psam", &out), 0) << out;
    expect_quiet_jvm(out);
    std::string logcat = read_file("/logcat");
    EXPECT_NE(logcat.find("D/ScanJni: Version[V1.00.00 Build Time "), std::string::npos) << logcat;
    // Only the two well-formed select commands reached the card.
    std::vector<uint8_t> both = kJvmSelect;
    both.insert(both.end(), kJvmSelect.begin(), kJvmSelect.end());
    EXPECT_EQ(card.received(), both);
}

TEST_F(CardslotJvmTest, PsamPowerOnWithoutTheUartFails) {
    write_drivers(false);
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_CLASSES, "psam-no-uart", &out), 0) << out;
    expect_quiet_jvm(out);
}

TEST_F(CardslotJvmTest, AStandInLackingANativeFailsToLoad) {
    write_drivers(true);
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_MISSING_CLASSES, "missing", &out), 0) << out;
    expect_quiet_jvm(out);
}

TEST_F(CardslotJvmTest, WithoutTheResultClassTheNativesAnswerNull) {
    write_drivers(true);
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_NO_RESULT_CLASSES, "no-result-class", &out), 0) << out;
    expect_quiet_jvm(out);
}

TEST_F(CardslotJvmTest, RfidServiceSwitchesTheLine) {
    write_drivers(true);
    write_file("/sys/rfid/power", "");
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_CLASSES, "rfid", &out), 0) << out;
    expect_quiet_jvm(out);
    EXPECT_NE(read_file("/logcat").find("D/ScanJni: RFID Version[V1.00.00 Build Time "), std::string::npos);
}

TEST_F(CardslotJvmTest, RfidWithoutDriverFileAnswersFalseAndWritesNothing) {
    std::string out;
    EXPECT_EQ(run_scenario(CARDSLOT_CLASSES, "rfid-unconfigured", &out), 0) << out;
    expect_quiet_jvm(out);
    EXPECT_FALSE(exists("/sys/rfid/power"));
    EXPECT_NE(read_file("/logcat").find("driver_init=================Error"), std::string::npos);
}

}  // namespace
