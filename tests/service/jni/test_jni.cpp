// The scanner service's natives in a real JVM (OpenJDK 17): the test lays out a platform
// root with a mock camera engine and runs the scenarios of java/JniScenarios.java against
// the service library, checking that every JVM exits 0 and that the JVM's own JNI checks
// (-Xcheck:jni) found nothing to report.
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scanner/startup_test.h"

extern char **environ;

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
        std::string output = host("/data/jvm.out");
        // The benchmark measures the calls as a device makes them, without the JVM's checks;
        // compiler threads stay fixed, so that the process's thread count means the natives.
        bool checked = strcmp(main_class, "JniCallbackBench") != 0;
        std::vector<std::string> argv = {JNI_JAVA, checked ? "-Xcheck:jni" : "-Xshare:auto", "-XX:+UseSerialGC",
                                         "-XX:TieredStopAtLevel=1", "-XX:-UseDynamicNumberOfCompilerThreads",
                                         "-Djava.library.path=" JNI_LIBRARY_DIR};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"-cp", classes + ":" JNI_SCENARIO_CLASSES ":" JNI_BENCH_CLASSES, main_class});
        if (!scenario.empty()) argv.push_back(scenario);
        std::vector<std::string> env;
        for (char **e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            if (entry.rfind("STACK_PLATFORM_ROOT=", 0) == 0 || entry.rfind("ASAN_OPTIONS=", 0) == 0 ||
                entry.rfind("LD_PRELOAD=", 0) == 0)
                continue;
            env.push_back(entry);
        }
        env.push_back("STACK_PLATFORM_ROOT=" + root_);
#ifdef JNI_ASAN_RUNTIME
        // The JVM is not built with the sanitizer: its runtime comes first, and the JVM's own
        // signal handling, never-freed memory and one fault of its own are left to it.
        env.push_back("LD_PRELOAD=" JNI_ASAN_RUNTIME);
        env.push_back("ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:suppressions=" JNI_ASAN_SUPPRESSIONS);
#endif
        std::vector<char *> args, envp;
        for (std::string &a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        for (std::string &e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return -1;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        *out = read_host_file(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

}  // namespace
