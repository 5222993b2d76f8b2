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
#include "jvm_card_sim.h"

namespace {

using jvm_card::JvmCardSim;
using jvm_card::kJvmSelect;

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
