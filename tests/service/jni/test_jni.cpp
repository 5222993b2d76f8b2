// The scanner service's natives in a real JVM (OpenJDK 17): the test lays out a platform
// root with a mock camera engine and runs the scenarios of java/JniScenarios.java against
// the service library, checking that every JVM exits 0 and that the JVM's own JNI checks
// (-Xcheck:jni) found nothing to report.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cardslot/jvm_card_sim.h"
#include "scanner/startup_test.h"

namespace {

// The mock's name has bytes above 0x7f ("MOCK" and an e-acute in UTF-8), so that the texts
// the natives make of it must be cleaned.
const std::string kEngineName = "MOCK\xc3\xa9";

class JniTest : public StartupTest {
  protected:
    void SetUp() override {
        StartupTest::SetUp();
        // The JVM process has no simulated bus: only file-backed devices.
        write_encrypted("DRIVEREN",
                        "<?xml version=\"1.0\"?>\n<Driver>\n"
                        "  <SWITCH1D name=\"0\">/sys/scan/</SWITCH1D>\n"
                        "  <SWITCH2D name=\"0\">/sys/scan2d/power</SWITCH2D>\n"
                        "  <MTD name=\"1\">/dev/mtdserial</MTD>\n"
                        "</Driver>\n");
        // The log file is the only log a JVM process writes.
        make_dirs("/data/zpt");
        ASSERT_TRUE(svc_sandbox::write_config(root_, "/system/usr/xml/ZPTConfig.xml", "ZPTConfig.xml",
                                              {{"LEVEL", "255"}, {"FILE", "/data/zpt/jni.log"}, {"EXTRA", ""}},
                                              false));
        write_config("none", {kEngineName});
        // The scenario moves it into place when it wants the device built.
        ASSERT_EQ(rename(host("/system/usr/xml/CONFIG.xml").c_str(), host("/system/usr/xml/CONFIG.later").c_str()), 0);
        // A camera engine's cached settings come from its code file.
        write_encrypted("EngineSettingCodeEN",
                        "<?xml version=\"1.0\"?>\n<Settings>\n"
                        "  <Code><QRCode><Enable>0</Enable><Maxlen>0</Maxlen></QRCode></Code>\n"
                        "</Settings>\n");
        add_engine(kEngineName, 2, 1, {"probe=0", "kind=2", "version=V\xc3\xa9\xff-1.0"}, "MOCKA");
    }

    // Runs a scenario in a JVM with these classes: its exit status; out gets stdout and stderr.
    int run_scenario(const std::string &classes, const std::string &scenario, std::string *out,
                     const std::vector<std::string> &options = {}, const char *main_class = "JniScenarios") {
        // The benchmark measures the calls as a device makes them, without the JVM's checks;
        // compiler threads stay fixed, so that the process's thread count means the natives.
        bool checked = strcmp(main_class, "JniCallbackBench") != 0;
        std::vector<std::string> argv = {JNI_JAVA, checked ? "-Xcheck:jni" : "-Xshare:auto", "-XX:+UseSerialGC",
                                         "-XX:TieredStopAtLevel=1", "-XX:-UseDynamicNumberOfCompilerThreads",
                                         "-Djava.library.path=" JNI_LIBRARY_DIR ":" JNI_PSAM_LIBRARY_DIR};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"-cp", classes + ":" JNI_SCENARIO_CLASSES ":" JNI_BENCH_CLASSES, main_class});
        if (!scenario.empty()) argv.push_back(scenario);
        std::vector<std::string> extra;
#ifdef JVM_ASAN_RUNTIME
        extra = svc_sandbox::jvm_sanitizer_env(JVM_ASAN_RUNTIME, JVM_ASAN_SUPPRESSIONS);
#endif
        out->clear();
        return svc_sandbox::run_program(argv, root_, extra, true, 0, out);
    }

    // Nothing of the JVM's JNI checks in the output.
    static void expect_quiet_jvm(const std::string &out) {
        EXPECT_EQ(out.find("WARNING in native method"), std::string::npos) << out;
        EXPECT_EQ(out.find("FATAL ERROR"), std::string::npos) << out;
        EXPECT_EQ(out.find("ERROR: AddressSanitizer"), std::string::npos) << out;
        EXPECT_EQ(out.find("runtime error:"), std::string::npos) << out;
    }
};

TEST_F(JniTest, TheLibraryNeedsNoJvmAndAStandInLackingANativeFailsToLoad) {
    std::string dynamic;
    ASSERT_TRUE(svc_sandbox::run_tool({"readelf", "-d", JNI_LIBRARY}, &dynamic));
    EXPECT_NE(dynamic.find("NEEDED"), std::string::npos);
    EXPECT_EQ(dynamic.find("libjvm"), std::string::npos) << dynamic;
    EXPECT_EQ(dynamic.find("libjava"), std::string::npos) << dynamic;

    std::string out;
    EXPECT_EQ(run_scenario(JNI_MISSING_CLASSES, "load-missing", &out), 0) << out;
    EXPECT_NE(out.find("2 passed, 0 failed"), std::string::npos) << out;
    expect_quiet_jvm(out);
}

TEST_F(JniTest, TheJavaServiceDrivesTheStackAndReceivesEveryResult) {
    std::string out;
    EXPECT_EQ(run_scenario(JNI_CLASSES, "service", &out), 0) << out;
    EXPECT_NE(out.find(" passed, 0 failed"), std::string::npos) << out;
    expect_quiet_jvm(out);
    printf("%s", out.c_str());
    // The natives' lines reach the configured log file.
    EXPECT_NE(read_file("/data/zpt/jni.log").find("jboolean brevik::ScanInit(JNIEnv*, jobject) return true"),
              std::string::npos);
}

TEST_F(JniTest, SlowTwentyThousandCallbacksKeepThreadsAndHeap) {
    std::string out;
    EXPECT_EQ(run_scenario(JNI_CLASSES, "service", &out, {"-Dscenario.rounds=20000"}), 0) << out;
    expect_quiet_jvm(out);
    printf("%s", out.c_str());
}

// The callback benchmark (bench/service/JniCallbackBench.java) in this test's root: it
// prints its figures; nothing here is a pass mark but a clean exit.
TEST_F(JniTest, SlowBenchmarkCallbackLatency) {
    std::string out;
    EXPECT_EQ(run_scenario(JNI_CLASSES, "", &out, {}, "JniCallbackBench"), 0) << out;
    expect_quiet_jvm(out);
    printf("%s", out.c_str());
}

// The scanner library and then the PSAM library in one JVM: the PSAM scenario against a
// card on the slot's pseudo-terminal passes, and the scanner's natives still answer.
TEST_F(JniTest, ScannerThenPsamInOneJvm) {
    write_encrypted("DRIVEREN",
                    "<?xml version=\"1.0\"?>\n<Driver>\n"
                    "  <SWITCH1D name=\"0\">/sys/scan/</SWITCH1D>\n"
                    "  <SWITCH2D name=\"0\">/sys/scan2d/power</SWITCH2D>\n"
                    "  <MTD name=\"1\">/dev/mtdserial</MTD>\n"
                    "  <SWITCH1D name=\"1\">/sys/psam/</SWITCH1D>\n"
                    "  <UART name=\"1\">/dev/ttyS1</UART>\n"
                    "</Driver>\n");
    ASSERT_EQ(rename(host("/system/usr/xml/CONFIG.later").c_str(), host("/system/usr/xml/CONFIG.xml").c_str()), 0);
    ASSERT_TRUE(svc_sandbox::link_library(root_, svc_sandbox::kXmlSystem, "/system/lib64/libxml2.so"));
    write_file("/data/simbus/model", "");  // no bus: the kernel model serves the serial line
    make_dirs("/sys/psam");
    ASSERT_EQ(mkfifo(host("/sys/psam/psam_en").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(host("/sys/psam/psam_rst").c_str(), 0600), 0);
    SimPty pty;
    ASSERT_EQ(sim_pty_open(&pty, "/dev/ttyS1"), 0);
    std::string out;
    {
        jvm_card::JvmCardSim card(root_, &pty);
        EXPECT_EQ(run_scenario(JNI_CLASSES ":" JNI_CARDSLOT_CLASSES, "scanner-then-psam", &out,
                               {"-Dsimbus=" JNI_SIMBUS}, "CardslotScenarios"),
                  0)
            << out;
        std::vector<uint8_t> both = jvm_card::kJvmSelect;
        both.insert(both.end(), jvm_card::kJvmSelect.begin(), jvm_card::kJvmSelect.end());
        EXPECT_EQ(card.received(), both);
    }
    sim_pty_close(&pty);
    EXPECT_NE(out.find("19 passed, 0 failed"), std::string::npos) << out;
    expect_quiet_jvm(out);
}

}  // namespace
