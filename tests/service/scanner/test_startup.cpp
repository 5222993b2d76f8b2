// Service start-up and engine probing, the settings cache and the exported scanner API,
// against the test engine plug-ins with the recording sleep seam.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>

#include "gt51x0_sim.h"
#include "startup_test.h"

namespace {

// The lines of one engine's journal that begin with prefix.
std::vector<std::string> lines_with(const std::vector<std::string> &lines, const std::string &prefix) {
    std::vector<std::string> out;
    for (const std::string &l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

CODE_GROUP *group_named(const char *name) {
    for (struct list_head *n = m_scanner_dev->codeGroups.next; n != &m_scanner_dev->codeGroups; n = n->next) {
        CODE_GROUP *g = reinterpret_cast<CODE_GROUP *>(reinterpret_cast<char *>(n) - offsetof(CODE_GROUP, node));
        if (strcmp(g->name, name) == 0) return g;
    }
    return nullptr;
}

// ---- start-up ----

TEST_F(StartupTest, TheAnsweringEngineIsFoundRecordedGivenItsDefaultsAndReadBack) {
    write_config("none", {"MOCKA", "MOCKB"});
    add_engine("MOCKA", 1, 1, {"probe=-1"});
    add_engine("MOCKB", 1, 1, {"probe=0", "sync.QRCode.Enable=1", "sync.QRCode.Maxlen=20", "sync.Aztec.Minlen=-5"});
    write_defaults(
        "<MOCKA><QRCode><Enable>0</Enable></QRCode></MOCKA>"
        "<MOCKB><QRCode><Enable>1</Enable><Minlen>4</Minlen></QRCode><Aztec><Enable>1</Enable></Aztec>"
        "<SixteenCharsCode><Enable>1</Enable></SixteenCharsCode><NoParams/></MOCKB>");
    // The names read "Unkown Engine" until the probe publishes: seen at its first fixed wait.
    std::string info_before, display_before;
    sim_sleep_set_hook([&](int ms) {
        if (ms != 500 || !info_before.empty()) return;
        info_before = property("persist.sys.scan.info");
        display_before = property("persist.sys.scan.display");
    });
    start();
    sim_sleep_set_hook(nullptr);
    EXPECT_EQ(info_before, "Unkown Engine");
    EXPECT_EQ(display_before, "Unkown Engine");

    std::string log = log_text();
    ASSERT_NE(log.find("Now Scanner [MOCKA] probe "), std::string::npos);
    EXPECT_LT(log.find("Now Scanner [MOCKA] probe "), log.find("Now Scanner [MOCKB] probe "));
    EXPECT_TRUE(logged("Found Sensor XML Src [/system/usr/xml/CONFIG.xml] Cache [/cache/CONFIG.xml] Index [2]"));
    EXPECT_TRUE(logged("Fount Driver XML [/system/usr/xml/DRIVEREN]"));
    EXPECT_TRUE(logged("Tpye MOCKB [1]"));
    EXPECT_NE(read_file("/cache/CONFIG.xml").find("<ScannerType>MOCKB</ScannerType>"), std::string::npos);
    EXPECT_EQ(read_file(std::string(kConfigDir) + "CONFIG.xml").find("MOCKB</ScannerType>"), std::string::npos)
        << "the configuration directory's file is only ever copied";

    // Every default of B once, none of A's, the overlong code never sent under a cut name.
    EXPECT_EQ(lines_with(calls("MOCKB"), "set "),
              (std::vector<std::string>{"set QRCode Enable 1", "set QRCode Minlen 4", "set Aztec Enable 1"}));
    EXPECT_TRUE(logged("sync_default_setting code [SixteenCharsCode] longer than 15 characters, skipped"));
    EXPECT_TRUE(lines_with(calls("MOCKA"), "set ").empty());
    // Read back in list order; the cache holds what the engine answered.
    EXPECT_EQ(lines_with(calls("MOCKB"), "sync "),
              (std::vector<std::string>{"sync QRCode Enable", "sync QRCode Minlen", "sync QRCode Maxlen",
                                        "sync Aztec Enable", "sync Aztec Minlen"}));
    char out[32] = {};
    EXPECT_EQ(zpt_scangetparam("QRCode", "Maxlen", out), 2);
    EXPECT_STREQ(out, "20");
    EXPECT_EQ(zpt_scangetparam("Aztec", "Minlen", out), 2);
    EXPECT_STREQ(out, "-5");
    EXPECT_EQ(group_named("Empty"), nullptr) << "an empty code element is not cached";

    EXPECT_EQ(property("persist.sys.scan.info"), "MOCKB");
    EXPECT_EQ(property("persist.sys.scan.display"), "MOCKB");
    char engine[ZPT_ENGINE_TEXT_MAX] = {};
    EXPECT_EQ(zpt_getengine(engine), 0);
    EXPECT_STREQ(engine, "MOCKB");
    EXPECT_EQ(get_module_ops(PORT_KIND_I2C, 1) != nullptr, true);
    EXPECT_EQ(get_module_ops(PORT_KIND_MTD, 1) != nullptr, true);

    std::vector<int> waits;
    for (const SimWait &w : sim_sleep_waits()) waits.push_back(w.ms);
    int total = std::accumulate(waits.begin(), waits.end(), 0);
    printf("start-up fixed waits: %d ms in %zu waits\n", total, waits.size());
}

TEST_F(StartupTest, WakeLinesChangeOnlyWhereTheWakeModeChangesAndAllPowerComesFirst) {
    write_config("none", {"MOCKA", "MOCKB", "MOCKC"});
    add_engine("MOCKA", 2, 1, {"probe=-1"});
    add_engine("MOCKB", 2, 1, {"probe=-1"});
    add_engine("MOCKC", 2, 0, {"probe=-1"});
    start();
    EXPECT_TRUE(logged("Wait For System No Need"));
    // The line changes, the fixed waits and the probes in one order.
    std::vector<std::pair<uint64_t, std::string>> events;
    for (const SimIo &io : sim_io_journal()) {
        std::string bytes(io.bytes.c_str());
        if (io.op == 'w' && io.path == "/sys/scan/scan_switch" && bytes.rfind("wake", 0) == 0)
            events.push_back({io.seq, bytes});
        for (const char *name : {"MOCKA", "MOCKB", "MOCKC"})
            if (io.op == 'w' && io.path == mock_engine::journal_path(name) && io.bytes == "probe\n")
                events.push_back({io.seq, std::string("probe ") + name});
    }
    for (const SimWait &w : sim_sleep_waits())
        if (w.ms == 200 || w.ms == 500) events.push_back({w.seq, std::to_string(w.ms)});
    std::sort(events.begin(), events.end());
    std::vector<std::string> order;
    for (const auto &e : events) order.push_back(e.second);
    auto first_probe = std::find(order.begin(), order.end(), "probe MOCKA");
    ASSERT_NE(first_probe, order.end());
    auto all_power = std::find(order.begin(), order.end(), "500");
    ASSERT_NE(all_power, order.end());
    EXPECT_LT(all_power, first_probe);
    EXPECT_EQ(std::count(order.begin(), order.end(), "500"), 1);
    std::vector<std::string> probing(all_power + 1, std::find(order.begin(), order.end(), "probe MOCKC") + 1);
    EXPECT_EQ(probing, (std::vector<std::string>{"wake_on", "200", "probe MOCKA", "probe MOCKB", "wake_off", "200",
                                                 "probe MOCKC"}));
    // Nobody answered: the first candidate is bound anyway and the device is ready at once.
    EXPECT_EQ(calls("MOCKA"), (std::vector<std::string>{"probe", "init", "open"}));
    EXPECT_EQ(property("persist.sys.scan.info"), "Unknow");
    EXPECT_EQ(property("persist.sys.scan.display"), "Unknow");
    EXPECT_EQ(zpt_scangetstate(), 1);
}

TEST_F(StartupTest, TheWaitPathIsWaitedForThirtyRoundsAtMostAndReadWhole) {
    std::string long_path = "/data/" + std::string(79, 'w') + "/ready";
    ASSERT_EQ(long_path.size(), 91u);
    struct Case {
        const char *what;
        std::string path;
        bool present;
        int rounds;
    };
    const Case cases[] = {
        {"a path that never appears", "/data/never-there", false, 30},
        {"a 91-character path that is there", long_path, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_config("MOCKB", {"MOCKB"});
        add_engine("MOCKB", 1, 1, {"probe=0"});
        if (c.present) write_file(c.path, "up");
        ASSERT_EQ(property_set("persist.sys.wait", c.path.c_str()), 0);
        sim_sleep_clear();
        FileTail log(service_log_file());
        start();
        int rounds = 0;
        for (const SimWait &w : sim_sleep_waits()) rounds += w.ms == 100 ? 1 : 0;
        EXPECT_EQ(rounds, c.rounds);
        EXPECT_EQ(log.contains("Wait For System Ready [" + c.path + "] [30]"), c.rounds > 0);
        EXPECT_TRUE(log.contains("Wait For System Finish"));
        EXPECT_EQ(zpt_scandeinit(), 1);
    }
}

struct Outcome {
    const char *what;
    const char *scanner_type;
    std::vector<std::string> scans;
    std::vector<std::string> a_behaviour;
    std::vector<std::string> b_behaviour;
    bool ready;
    const char *info;       // the published name
    const char *recorded;   // ScannerType in the cached file afterwards
    bool defaults_pushed;
    bool read_back;
    bool cache_untouched;
};

TEST_F(StartupTest, ProbeOutcomes) {
    const Outcome cases[] = {
        {"recorded engine answers", "MOCKB", {"MOCKA", "MOCKB"}, {"probe=-1"}, {"probe=0"}, true, "MOCKB", "MOCKB",
         false, true, true},
        {"recorded engine silent first, found by the full probe", "MOCKB", {"MOCKA", "MOCKB"}, {"probe=-1"},
         {"probe=-1,0"}, true, "MOCKB", "MOCKB", false, true, false},
        {"recorded engine answers neither 0 nor -1 first", "MOCKB", {"MOCKA", "MOCKB"}, {"probe=-1"}, {"probe=5,0"},
         true, "MOCKB", "MOCKB", false, true, false},
        {"another engine answers", "MOCKA", {"MOCKA", "MOCKB"}, {"probe=-1"}, {"probe=0"}, true, "MOCKB", "MOCKB",
         true, true, false},
        {"nobody answers", "none", {"MOCKA", "MOCKB"}, {"probe=-1"}, {"probe=-1"}, true, "Unknow", "none", false,
         false, false},
        {"the bound engine's init fails", "none", {"MOCKB"}, {}, {"probe=0", "init=-1"}, false, "Unkown Engine",
         "MOCKB", false, false, false},
        {"nothing to bind", "none", {"MOCKX"}, {}, {}, false, "Unkown Engine", "none", false, false, false},
    };
    for (const Outcome &c : cases) {
        SCOPED_TRACE(c.what);
        write_config(c.scanner_type, c.scans);
        add_engine("MOCKA", 1, 1, c.a_behaviour);
        add_engine("MOCKB", 1, 0, c.b_behaviour);
        write_defaults("<MOCKB><QRCode><Enable>1</Enable></QRCode></MOCKB>");
        // A cached copy from an earlier start.
        write_file("/cache/CONFIG.xml", read_file(std::string(kConfigDir) + "CONFIG.xml"));
        struct stat before{};
        ASSERT_EQ(stat(host("/cache/CONFIG.xml").c_str(), &before), 0);
        std::string bytes_before = read_file("/cache/CONFIG.xml");
        write_file("/data/mock/MOCKA.calls", "");
        write_file("/data/mock/MOCKB.calls", "");
        FileTail log(service_log_file());

        start(false);
        ASSERT_TRUE(threads_ended());
        EXPECT_EQ(zpt_scangetstate(), c.ready ? 1 : 0);
        EXPECT_EQ(property("persist.sys.scan.info"), c.info);
        std::string cached = read_file("/cache/CONFIG.xml");
        EXPECT_NE(cached.find(std::string("<ScannerType>") + c.recorded + "</ScannerType>"), std::string::npos)
            << cached;
        EXPECT_EQ(lines_with(calls("MOCKB"), "set ").empty(), !c.defaults_pushed);
        EXPECT_EQ(lines_with(calls("MOCKB"), "sync ").empty(), !c.read_back);
        if (c.cache_untouched) {
            struct stat after{};
            ASSERT_EQ(stat(host("/cache/CONFIG.xml").c_str(), &after), 0);
            EXPECT_EQ(cached, bytes_before);
            EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
            EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        }
        if (!c.ready) {
            char out[32] = "x";
            EXPECT_EQ(zpt_scanopen(), 0);
            EXPECT_EQ(zpt_scanclose(), 0);
            EXPECT_EQ(zpt_scanstartdecode([](int, DECODE_RESULT *, int) { return 0; }, 0), 0);
            EXPECT_EQ(zpt_scanstopdecode(0), 0);
            EXPECT_EQ(zpt_scansetparam("QRCode", "Enable", "1"), 0);
            EXPECT_EQ(zpt_scangetparam("QRCode", "Enable", out), 0);
            EXPECT_EQ(zpt_setscanioctrl(SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), 0);
            EXPECT_EQ(zpt_getscantype(), 0);
            uint8_t image[4] = {};
            EXPECT_EQ(zpt_scanewimage(image, 2, 2), 0);
            EXPECT_EQ(zpt_getengine(out), 0);
            EXPECT_STREQ(out, "Unkown Engine");
            for (const char *line : {"ScanOpen No init", "ScanClose No init", "ScanStartDecode No init",
                                     "ScanStopDecode No init", "ScansetParam No init", "ScangetParam No init",
                                     "SetScanIOCtrl No init"})
                EXPECT_TRUE(log.contains(line)) << line;
        }
        EXPECT_EQ(zpt_scandeinit(), 1);
    }
    EXPECT_TRUE(logged("probe_proc No Engine To Bind"));
}

// ---- pending upgrade ----

TEST_F(StartupTest, APendingUpgradeReachesTheEngineOnceAndIsClearedWhenDoneOrImpossible) {
    struct Case {
        const char *what;
        const char *engine_build;
        std::string file;
        const char *answer;
        const char *property_after;
        const char *request;  // the journal line of the request, or "" for none
        const char *log;
    };
    const Case cases[] = {
        {"accepted", "MOCKB", "FIRMWARE", "ioctrl.0x105=0", "NONE",
         "ioctrl 0x105 0 type=2 oper=0 len=8 data=4649524D57415245", nullptr},
        {"refused", "MOCKB", "FIRMWARE", "ioctrl.0x105=-1", "/data/fw.bin",
         "ioctrl 0x105 0 type=2 oper=0 len=8 data=4649524D57415245", nullptr},
        {"an empty file", "MOCKB", "", "ioctrl.0x105=0", "NONE", "", nullptr},
        {"an engine without scanner_ioctrl", "MOCKI", "FIRMWARE", "", "NONE", "", "API ========== NULL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_config("MOCKB", {"MOCKB"});
        add_engine("MOCKB", 1, 1, {"probe=0", c.answer}, c.engine_build);
        write_file("/data/mock/" + std::string(c.engine_build) + ".calls", "");
        write_file("/data/fw.bin", c.file);
        ASSERT_EQ(property_set("persist.sys.upgrade.filename", "/data/fw.bin"), 0);
        FileTail log(service_log_file());
        start();
        EXPECT_EQ(property("persist.sys.upgrade.filename"), c.property_after);
        std::vector<std::string> requests = lines_with(calls(c.engine_build), "ioctrl 0x105");
        if (c.request[0] != '\0') {
            EXPECT_EQ(requests, std::vector<std::string>{c.request});
        } else {
            EXPECT_TRUE(requests.empty());
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(log.contains(c.log));
        }
        EXPECT_EQ(zpt_scandeinit(), 1);
    }
}

TEST_F(StartupTest, APendingSerialUpgradeIsClearedOnlyWhenTheEngineTookTheFile) {
    write_encrypted("DRIVEREN",
                    "<?xml version=\"1.0\"?>\n<Driver>\n"
                    "  <SWITCH1D name=\"0\">/sys/scan/</SWITCH1D>\n"
                    "  <UART name=\"0\">/dev/ttyS0</UART>\n"
                    "</Driver>\n");
    SimPty pty;
    ASSERT_EQ(sim_pty_open(&pty, "/dev/ttyS0"), 0);
    gt51x0::Gt51x0Sim sim(&pty);
    sim.start();
    write_config("GT5170", {"GT5170"});
    add_engine("GT5170", 1, 1, {"probe=0", "kind=1", "upgrade=1"});
    gt51x0::FirmwareFile f = gt51x0::make_file(0, 1000, 700, 81);
    write_file("/data/fw.bin", gt51x0::str(f.bytes));
    ASSERT_EQ(property_set("persist.sys.upgrade.filename", "/data/fw.bin"), 0);

    // The engine refuses every frame: the request stays for the next start.
    sim.set_fault(gt51x0::Gt51x0Sim::Fault::reject_always);
    start();
    EXPECT_EQ(property("persist.sys.upgrade.filename"), "/data/fw.bin");
    EXPECT_FALSE(sim.requests().empty());
    EXPECT_TRUE(exists("/data/fw.bin"));
    EXPECT_EQ(sim.firmware("kern"), "");
    EXPECT_EQ(sim.firmware("flah"), "");
    EXPECT_EQ(zpt_scandeinit(), 1);

    sim.set_fault(gt51x0::Gt51x0Sim::Fault::none);
    start();
    EXPECT_EQ(property("persist.sys.upgrade.filename"), "NONE");
    EXPECT_TRUE(sim.firmware("kern") == gt51x0::str(f.parts[1]));
    EXPECT_TRUE(sim.firmware("flah") == gt51x0::str(f.parts[2]));
    EXPECT_EQ(zpt_scandeinit(), 1);
    sim.stop();
    sim_pty_close(&pty);
}

// ---- settings cache ----

class SettingsTest : public StartupTest {
  protected:
    void SetUp() override {
        StartupTest::SetUp();
        write_config("MOCKB", {"MOCKB"});
        add_engine("MOCKB", 1, 1, {"probe=0", "sync.QRCode.Enable=1", "sync.QRCode.Maxlen=20", "sync.QRCode.Minlen=5"});
        start();
    }
};

TEST_F(SettingsTest, SetsReachTheEngineOnlyWhenChangedAndWithinTheLengthLimits) {
    struct Case {
        const char *what;
        const char *check_length;  // the engine's answer to 0x201
        const char *code;
        const char *param;
        const char *value;
        int result;
        bool sent;
        const char *log;
    };
    const Case cases[] = {
        {"equal to the cached value", "1", "QRCode", "Enable", "1", 1, false, nullptr},
        {"not a number, cached as 0", "1", "Aztec", "Enable", "abc", 1, false, nullptr},
        {"Minlen above the cached Maxlen", "1", "QRCode", "Minlen", "25", 0, false, "Set Minlen Error"},
        {"Minlen 0", "1", "QRCode", "Minlen", "0", 0, false, nullptr},
        {"Minlen within", "1", "QRCode", "Minlen", "10", 1, true, nullptr},
        {"Maxlen below the cached Minlen", "1", "QRCode", "Maxlen", "3", 0, false, "Set Maxlen Error"},
        {"Minlen without a cached Maxlen", "1", "Aztec", "Minlen", "3", 0, false, "Set Minlen Error"},
        {"the engine checks lengths itself", "0", "QRCode", "Minlen", "25", 1, true, nullptr},
        {"not cached but accepted", "1", "QRCode", "Other", "7", 1, true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        behave("MOCKB", {std::string("ioctrl.0x201=") + c.check_length});
        size_t sets_before = lines_with(calls("MOCKB"), "set ").size();
        FileTail log(service_log_file());
        EXPECT_EQ(zpt_scansetparam(c.code, c.param, c.value), c.result);
        std::vector<std::string> sets = lines_with(calls("MOCKB"), "set ");
        EXPECT_EQ(sets.size(), sets_before + (c.sent ? 1 : 0));
        if (c.log != nullptr) {
            EXPECT_TRUE(log.contains(c.log)) << log.text();
        } else {
            EXPECT_FALSE(log.contains("Error"));
        }
    }
    char out[32] = {};
    EXPECT_EQ(zpt_scangetparam("QRCode", "Minlen", out), 2);
    EXPECT_STREQ(out, "25");
    EXPECT_EQ(zpt_scangetparam("QRCode", "Other", out), 0) << "accepted, not cached";
    behave("MOCKB", {"set=-1"});
    EXPECT_EQ(zpt_scansetparam("QRCode", "Maxlen", "40"), 0) << "refused by the engine";
    EXPECT_EQ(zpt_scangetparam("QRCode", "Maxlen", out), 2);
    EXPECT_STREQ(out, "20");
}

TEST_F(StartupTest, ACameraEnginesSettingNamesAndCodesComeFromItsCodeFile) {
    const std::string long_code = "Code" + std::string(56, 'L');
    write_config("MOCKB", {"MOCKB"});
    add_engine("MOCKB", 2, 1, {"probe=0"});
    write_encrypted("EngineSettingCodeEN",
                    "<?xml version=\"1.0\"?>\n<Settings>\n"
                    "  <EngineSetCodeValue>\n"
                    "    <Cmd name=\"QR_ENABLE\" value=\"20200\">x</Cmd>\n"
                    "    <Cmd name=\"NO_VALUE\">x</Cmd>\n"
                    "    <Cmd name=\"DM_ENABLE\" value=\"20300\">x</Cmd>\n"
                    "  </EngineSetCodeValue>\n"
                    "  <Code><DataMatrix><Enable>0</Enable></DataMatrix><" +
                        long_code + "><Enable>0</Enable></" + long_code + "></Code>\n"
                    "</Settings>\n");
    start();
    std::vector<std::string> names;
    for (struct list_head *n = m_scanner_dev->settings.next; n != &m_scanner_dev->settings; n = n->next)
        names.push_back(reinterpret_cast<SETTING_NODE *>(reinterpret_cast<char *>(n) - offsetof(SETTING_NODE, link))->name);
    EXPECT_EQ(names, (std::vector<std::string>{"QR_ENABLE", "DM_ENABLE"}));
    EXPECT_EQ(GetSettingValueFromList(m_scanner_dev, "QR_ENABLE", 9), 0x20200u);
    EXPECT_NE(group_named("DataMatrix"), nullptr);
    EXPECT_NE(group_named(long_code.substr(0, CODE_NAME_SIZE - 1).c_str()), nullptr) << "cut to 51 characters";
    EXPECT_TRUE(logged("Code name [" + long_code + "] longer than 51 characters, cut"));
    EXPECT_EQ(group_named("QRCode"), nullptr) << "a camera engine's codes come from its code file";
    EXPECT_NE(find_engine("MOCKB")->codeXml, nullptr);
}

// ---- exported API ----

TEST_F(StartupTest, CallsBeforeReadyAreRefused) {
    write_config("MOCKB", {"MOCKB"});
    add_engine("MOCKB", 2, 1, {"probe=0"});
    hold_first_wait(500);
    start(false);
    ASSERT_TRUE(wait_held());
    EXPECT_EQ(zpt_scanopen(), 0);
    EXPECT_TRUE(logged("ScanOpen No init"));
    char out[ZPT_ENGINE_TEXT_MAX] = "x";
    EXPECT_EQ(zpt_getengine(out), 0);
    EXPECT_STREQ(out, "Unkown Engine");
    EXPECT_EQ(zpt_getengine(nullptr), -1);
    release_hook();
    ASSERT_TRUE(eventually([] { return zpt_scangetstate() == 1; }));
    EXPECT_EQ(zpt_scanopen(), 1);
    EXPECT_TRUE(logged("zpt_scanopen [0]"));
}

TEST_F(StartupTest, VersionControlsImagesAndTheSerialNumber) {
    write_config("MOCKB", {"MOCKB", "MOCKC"});
    add_engine("MOCKB", 2, 1, {"probe=0"});
    add_engine("MOCKC", 1, 1, {"probe=-1", "kind=1"});
    start();
    char version[ZPT_VERSION_TEXT_MAX + 8];
    memset(version, '#', sizeof version);
    EXPECT_EQ(zpt_getversion(version), 1);
    EXPECT_STREQ(version, "JNI: V1.01.026");
    behave("MOCKB", {"version_fill=96"});
    memset(version, '#', sizeof version);
    EXPECT_EQ(zpt_getversion(version), 1);
    EXPECT_EQ(std::string(version), "JNI: V1.01.026\n" + std::string(96, 'V'));
    EXPECT_TRUE(logged("MOCKB GetVersion [JNI: V1.01.026\n"));

    EXPECT_EQ(zpt_setscanioctrl(SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), 1) << "a camera engine answers 1";
    EXPECT_EQ(zpt_getscantype(), 2);
    uint8_t image[12] = {};
    EXPECT_EQ(zpt_scanewimage(image, 4, 3), 0) << "the camera mock decodes nothing";
    EXPECT_EQ(zpt_scanewimage(image, -4, 3), 0);
    EXPECT_EQ(zpt_scanewimage(nullptr, 4, 3), 0);
    // A serial engine's fallback answers the image request with 0.
    ASSERT_EQ(m_scanner_dev->change_engine(m_scanner_dev, "MOCKC", 0), 0);
    EXPECT_EQ(zpt_scanewimage(image, 4, 3), 1);
    EXPECT_EQ(lines_with(calls("MOCKC"), "ioctrl 0x104"), std::vector<std::string>{"ioctrl 0x104 0 w=4 h=3 sum=e23c62b5"});

    std::string sixty;
    for (int i = 0; i < 60; ++i) sixty += static_cast<char>('A' + i % 26);
    EXPECT_EQ(zpt_setserialno(sixty.c_str(), 60), 1);
    EXPECT_EQ(read_file("/dev/mtdserial").substr(0, 50), sixty.substr(0, 49) + "@");
    EXPECT_EQ(zpt_setserialno("ABC", 100), 1);
    EXPECT_EQ(read_file("/dev/mtdserial").substr(0, 4), "ABC@");
    EXPECT_EQ(zpt_setserialno("XYZ", -1), 0);
    EXPECT_EQ(read_file("/dev/mtdserial").substr(0, 4), "ABC@");
    EXPECT_EQ(zpt_setserialno(nullptr, 3), 0);
    ASSERT_EQ(unregister_device(PORT_KIND_MTD, 1), 0);
    EXPECT_EQ(zpt_setserialno("DEF", 3), 0);
}

TEST_F(StartupTest, CloseTearsEverythingDownInOrder) {
    write_config("none", {"MOCKA", "MOCKB"});
    add_engine("MOCKA", 1, 1, {"probe=0"});
    add_engine("MOCKB", 1, 1, {"probe=-1"});
    start();
    // An engine switched away from keeps its threads until close.
    ASSERT_EQ(m_scanner_dev->change_engine(m_scanner_dev, "MOCKB", 0), 0);
    ASSERT_NE(get_module_ops(PORT_KIND_SWITCH1D, 0), nullptr);
    FileTail log(service_log_file());
    DEVICE_OBJECT *device = m_scanner_dev;
    m_scanner_dev = nullptr;
    EXPECT_EQ(scanner_device_close(device), 0) << "the result of stopping the service socket";
    EXPECT_EQ(get_module_ops(0, -1), nullptr) << "every device unregistered";
    EXPECT_TRUE(g_engine_list.next == &g_engine_list);
    EXPECT_EQ(count("MOCKA", "deinit"), 1);
    EXPECT_EQ(count("MOCKB", "deinit"), 1);
    std::string text = log.text();
    size_t at = 0;
    for (const char *step : {"zptconfig_deinit", "ExposureFree", "OpensslFree", "SqliteFree", "XmlLibFree", "X3_Free",
                             "zpt_net_deinit [0]"}) {
        size_t next = text.find(std::string("scanner_device_close ") + step, at);
        ASSERT_NE(next, std::string::npos) << step;
        at = next;
    }
    EXPECT_EQ(scanner_device_close(nullptr), -1);
}

TEST_F(StartupTest, CloseWaitsForTheProbeThreadStillWaitingForTheSystem) {
    write_config("MOCKB", {"MOCKB"});
    add_engine("MOCKB", 1, 1, {"probe=0"});
    ASSERT_EQ(property_set("persist.sys.wait", "/data/not-yet"), 0);
    hold_first_wait(100);
    start(false);
    ASSERT_TRUE(wait_held());
    // The close runs here (the thread that unloads the XML library keeps its state in
    // it); a helper looks after 50 ms whether it returned, then lets the probe go on.
    std::atomic<bool> closed{false};
    std::atomic<bool> closed_while_held{true};
    std::thread releaser([&] {
        plat_sleep_real(50);
        closed_while_held = closed.load();
        release_hook();
    });
    zpt_scandeinit();
    closed = true;
    releaser.join();
    EXPECT_FALSE(closed_while_held.load()) << "close returned while the probe thread still ran";
    EXPECT_EQ(common_load(g_probe_thread.running), 0u);
    EXPECT_EQ(common_load(g_post_probe_thread.running), 0u);
    EXPECT_EQ(count("MOCKB", "deinit"), 1);
}

// ---- threads ----

TEST_F(StartupTest, APollerDuringStartUpSeesTheBoundEngineOnceReady) {
    write_config("none", {"MOCKA", "MOCKB"});
    add_engine("MOCKA", 1, 1, {"probe=-1"});
    add_engine("MOCKB", 1, 1, {"probe=0", "sync.QRCode.Maxlen=20"});
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<int> ready_polls{0};
    start(false);
    std::thread poller([&] {
        while (!stop.load()) {
            int state = zpt_scangetstate();
            char engine[ZPT_ENGINE_TEXT_MAX] = {};
            char value[32] = {};
            zpt_getengine(engine);
            int length = zpt_scangetparam("QRCode", "Maxlen", value);
            if (state == 1) {
                ready_polls += 1;
                if (strcmp(engine, "MOCKB") != 0 || length != 2 || strcmp(value, "20") != 0) wrong += 1;
            }
        }
    });
    EXPECT_TRUE(eventually([&] { return ready_polls.load() > 100; }));
    stop = true;
    poller.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
