// Engine control codes, the driver loader and the engine switch, against the test engine
// plug-ins on the real runtime core.
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include <algorithm>

#include "common_atomic.h"
#include "scanner_test.h"

namespace {

// ---- control codes ----

TEST(ControlCodes, EveryCodeHasItsNumber) {
    struct Code {
        const char *name;
        int value;
        int expected;
    };
    const Code codes[] = {
        {"JAVA_VM", SCANNER_IOCTRL_JAVA_VM, 0xf0},
        {"JAVA_ENV", SCANNER_IOCTRL_JAVA_ENV, 0xf1},
        {"JAVA_CONTEXT", SCANNER_IOCTRL_JAVA_CONTEXT, 0xf2},
        {"GET_SIZE", SCANNER_IOCTRL_GET_SIZE, 0x101},
        {"SAVE_BMP", SCANNER_IOCTRL_SAVE_BMP, 0x102},
        {"SEND_BMP", SCANNER_IOCTRL_SEND_BMP, 0x103},
        {"DECODE_IMAGE", SCANNER_IOCTRL_DECODE_IMAGE, 0x104},
        {"UPGRADE", SCANNER_IOCTRL_UPGRADE, 0x105},
        {"LOWPOWER", SCANNER_IOCTRL_LOWPOWER, 0x106},
        {"SENSOR_ADJUST", SCANNER_IOCTRL_SENSOR_ADJUST, 0x107},
        {"SET_SENSOR_SN", SCANNER_IOCTRL_SET_SENSOR_SN, 0x108},
        {"GET_SENSOR_SN", SCANNER_IOCTRL_GET_SENSOR_SN, 0x109},
        {"SET_SENSOR_DATA", SCANNER_IOCTRL_SET_SENSOR_DATA, 0x10a},
        {"GET_SENSOR_DATA", SCANNER_IOCTRL_GET_SENSOR_DATA, 0x10b},
        {"SAVE_ADJUST", SCANNER_IOCTRL_SAVE_ADJUST, 0x10c},
        {"CHECK_LENGTH", SCANNER_IOCTRL_CHECK_LENGTH, 0x201},
    };
    for (const Code &c : codes) EXPECT_EQ(c.value, c.expected) << c.name;
}

TEST(ControlCodes, RequestRecordsHaveTheirFieldsInOrder) {
    static_assert(sizeof(void *) == 8, "the layouts below are the 64-bit target's");
    EXPECT_EQ(sizeof(IMAGE_REQUEST), 16u);
    EXPECT_EQ(offsetof(IMAGE_REQUEST, width), 0u);
    EXPECT_EQ(offsetof(IMAGE_REQUEST, height), 4u);
    EXPECT_EQ(offsetof(IMAGE_REQUEST, image), 8u);
    EXPECT_EQ(sizeof(UPGRADE_REQUEST), 24u);
    EXPECT_EQ(offsetof(UPGRADE_REQUEST, FirmwareType), 0u);
    EXPECT_EQ(offsetof(UPGRADE_REQUEST, FirmwareOper), 4u);
    EXPECT_EQ(offsetof(UPGRADE_REQUEST, len), 8u);
    EXPECT_EQ(offsetof(UPGRADE_REQUEST, Buf), 16u);
    EXPECT_EQ(sizeof(SCANNER_FRAME_SIZE), 8u);
    EXPECT_EQ(offsetof(SCANNER_FRAME_SIZE, width), 0u);
    EXPECT_EQ(offsetof(SCANNER_FRAME_SIZE, height), 4u);
}

TEST(ControlCodes, EngineRecordFieldsLieInTheirOrder) {
    const size_t order[] = {
        offsetof(ENGINE_RECORD, name),           offsetof(ENGINE_RECORD, display),
        offsetof(ENGINE_RECORD, Scantype),       offsetof(ENGINE_RECORD, ScanWakeUp),
        offsetof(ENGINE_RECORD, DriverChannel),  offsetof(ENGINE_RECORD, PowerChannel),
        offsetof(ENGINE_RECORD, TrigChannel),    offsetof(ENGINE_RECORD, powerLocked),
        offsetof(ENGINE_RECORD, opened),         offsetof(ENGINE_RECORD, platformType),
        offsetof(ENGINE_RECORD, engineXml),      offsetof(ENGINE_RECORD, codeXml),
        offsetof(ENGINE_RECORD, scanner_probe),  offsetof(ENGINE_RECORD, scanner_init),
        offsetof(ENGINE_RECORD, scanner_deinit), offsetof(ENGINE_RECORD, scanner_open),
        offsetof(ENGINE_RECORD, scanner_close),  offsetof(ENGINE_RECORD, scanner_start_decode),
        offsetof(ENGINE_RECORD, scanner_stop_decode), offsetof(ENGINE_RECORD, scanner_set),
        offsetof(ENGINE_RECORD, scanner_get),    offsetof(ENGINE_RECORD, scanner_ioctrl),
        offsetof(ENGINE_RECORD, scanner_version), offsetof(ENGINE_RECORD, scanner_sync),
        offsetof(ENGINE_RECORD, scanner_pack),   offsetof(ENGINE_RECORD, scanner_unpack),
        offsetof(ENGINE_RECORD, debugEnable),    offsetof(ENGINE_RECORD, debugSaveImage),
        offsetof(ENGINE_RECORD, debugSendImage), offsetof(ENGINE_RECORD, debugImageCount),
        offsetof(ENGINE_RECORD, libHandle),      offsetof(ENGINE_RECORD, device),
        offsetof(ENGINE_RECORD, common),         offsetof(ENGINE_RECORD, node),
    };
    EXPECT_EQ(order[0], 0u);
    for (size_t i = 1; i < sizeof order / sizeof order[0]; ++i) EXPECT_LT(order[i - 1], order[i]) << "field " << i;
    EXPECT_EQ(offsetof(ENGINE_RECORD, display), 10u);
    EXPECT_EQ(offsetof(ENGINE_RECORD, Scantype), 20u);
    EXPECT_EQ(offsetof(ENGINE_RECORD, scanner_probe), 72u);
    EXPECT_EQ(offsetof(ENGINE_RECORD, scanner_unpack) + 8, offsetof(ENGINE_RECORD, debugEnable));
    EXPECT_EQ(sizeof(ENGINE_RECORD), 240u);
}

class DebugFallbackTest : public ServiceTest {};

TEST_F(DebugFallbackTest, StoresBothSwitchesLogsThemAndAnswersZeroForEveryCode) {
    ENGINE_RECORD r{};
    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, SCANNER_IOCTRL_SAVE_BMP, 0x1f, nullptr), 0);
    EXPECT_EQ(r.debugSaveImage, 0x1fu);
    EXPECT_EQ(r.debugSendImage, 0u);
    EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, SCANNER_IOCTRL_SEND_BMP, 0xa, nullptr), 0);
    EXPECT_EQ(r.debugSendImage, 0xau);
    EXPECT_EQ(r.debugSaveImage, 0x1fu);
    EXPECT_TRUE(logged("SCANNER_IOCTRL_SAVE_BMP [1f]"));
    EXPECT_TRUE(logged("SCANNER_IOCTRL_SEND_BMP [a]"));
    uint8_t buffer[32] = {};
    for (int code : {0x22, 0xf0, 0xf1, 0xf2, 0x101, 0x104, 0x105, 0x106, 0x107, 0x108, 0x109, 0x10a, 0x10b, 0x10c,
                     0x201, 0x3ff}) {
        EXPECT_EQ(common_scanner_debug_ioctrl_proc(&r, code, 5, buffer), 0) << std::hex << code;
    }
    EXPECT_EQ(r.debugSaveImage, 0x1fu);
    EXPECT_EQ(r.debugSendImage, 0xau);
    EXPECT_EQ(std::count(buffer, buffer + 32, 0), 32);
}

// ---- loading ----

using LoaderTest = ScannerTest;

TEST_F(LoaderTest, ScanElementsBecomeRecordsFromTheirEngineFileAndFirstLibrary) {
    write_engine_file("MOCKAEN", {{"Scaninfo", "MockA1"},
                                  {"Scantype", "2"},
                                  {"ScanWakeUp", "1"},
                                  {"DriverChannel", "3"},
                                  {"PowerChannel", "4"},
                                  {"TrigChannel", "5"}});
    write_engine_file("MOCKPEN", {{"Scaninfo", "MockP"}, {"Scantype", "1"}});
    install_engine("MOCKA", "/unrecoverable/lib64/");
    // Another build under the same file name, later in the search: never used.
    ASSERT_TRUE(mock_engine::install(root_, "MOCKB", "/system/lib64/", "MOCKA"));
    install_engine("MOCKP");

    ASSERT_EQ(load_engines({{"", "MOCKA"}, {"DisPlay=\"Pee\"", "MOCKP"}}), 2);
    std::vector<ENGINE_RECORD *> list = engines();
    ASSERT_EQ(list.size(), 2u);
    ENGINE_RECORD *a = list[0];
    ENGINE_RECORD *p = list[1];

    EXPECT_STREQ(a->name, "MockA1");
    EXPECT_STREQ(a->display, "Unknow");
    EXPECT_EQ(a->Scantype, 2);
    EXPECT_EQ(a->ScanWakeUp, 1);
    EXPECT_EQ(a->DriverChannel, 3);
    EXPECT_EQ(a->PowerChannel, 4);
    EXPECT_EQ(a->TrigChannel, 5);
    EXPECT_EQ(a->powerLocked, 0);
    EXPECT_EQ(a->opened, 0);
    EXPECT_EQ(a->platformType, 0);
    EXPECT_NE(a->engineXml, nullptr);
    EXPECT_EQ(a->codeXml, nullptr);
    EXPECT_NE(a->libHandle, nullptr);
    EXPECT_EQ(a->common, nullptr);
    EXPECT_EQ(a->device, nullptr);
    void *const a_slots[] = {
        reinterpret_cast<void *>(a->scanner_probe),        reinterpret_cast<void *>(a->scanner_init),
        reinterpret_cast<void *>(a->scanner_deinit),       reinterpret_cast<void *>(a->scanner_open),
        reinterpret_cast<void *>(a->scanner_close),        reinterpret_cast<void *>(a->scanner_start_decode),
        reinterpret_cast<void *>(a->scanner_stop_decode),  reinterpret_cast<void *>(a->scanner_set),
        reinterpret_cast<void *>(a->scanner_get),          reinterpret_cast<void *>(a->scanner_ioctrl),
        reinterpret_cast<void *>(a->scanner_version),      reinterpret_cast<void *>(a->scanner_sync),
        reinterpret_cast<void *>(a->scanner_pack),         reinterpret_cast<void *>(a->scanner_unpack),
    };
    for (void *slot : a_slots) EXPECT_NE(slot, nullptr);
    // The slots reach the first library of the search.
    EXPECT_EQ(a->scanner_probe(a), 0);
    EXPECT_EQ(count("MOCKA", "probe"), 1);
    EXPECT_EQ(count("MOCKB", "probe"), 0);

    EXPECT_STREQ(p->name, "MockP");
    EXPECT_STREQ(p->display, "Pee");
    EXPECT_EQ(p->Scantype, 1);
    EXPECT_EQ(p->ScanWakeUp, 0);
    EXPECT_EQ(p->DriverChannel, 0);
    EXPECT_EQ(p->PowerChannel, 0);
    EXPECT_EQ(p->TrigChannel, 0);
    EXPECT_EQ(p->scanner_pack, nullptr);
    EXPECT_EQ(p->scanner_unpack, nullptr);
    EXPECT_NE(p->scanner_sync, nullptr);
    EXPECT_NE(p->scanner_version, nullptr);

    EXPECT_TRUE(logged("Loading [MOCKA]"));
    EXPECT_TRUE(logged("Loading [MOCKP]"));
    std::string log = log_text();
    EXPECT_LT(log.find("Loading [MOCKA]"), log.find("Loading [MOCKP]"));
}

TEST_F(LoaderTest, ElementsWithoutAFittingEngineFileNameOrLibraryAreNotListed) {
    write_engine_file("Engine2DEN", {{"Scaninfo", "Common"}, {"Scantype", "2"}, {"ScanWakeUp", "1"}});
    write_engine_file("MOCKXEN", {{"Scaninfo", "MockX"}});
    write_engine_file("MOCKAEN", {{"Scaninfo", "TwelveChars1"}});
    install_engine("MOCKA");
    install_engine("MOCKB");
    install_engine("MOCKC");
    install_engine("RV21");

    struct Case {
        const char *what;
        const char *attributes;
        const char *text;
        bool listed;
        const char *name;
        const char *display;
        const char *log;
    };
    const Case cases[] = {
        {"2D without an engine file: the common file, named by the text", "ScanType=\"2D\"", "MOCKC", true, "MOCKC",
         "Unknow", "Loading [MOCKC]"},
        {"no engine file and no 2D", "", "MOCKB", false, nullptr, nullptr, nullptr},
        {"no engine file and another ScanType", "ScanType=\"1D\"", "MOCKB", false, nullptr, nullptr, nullptr},
        {"a library that does not load", "", "MOCKX", false, nullptr, nullptr, "dlopen Error ["},
        {"a 12-character Scaninfo is cut to 9", "DisPlay=\"LongDisplay1\"", "MOCKA", true, "TwelveCha", "LongDispl",
         "Scaninfo [TwelveChars1] longer than 9 characters, cut"},
        {"a 2D text longer than 9 is cut", "ScanType=\"2D\"", "RV21TOOLONG", false, nullptr, nullptr,
         "dlopen Error ["},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FileTail log(service_log_file());
        int listed = load_engines({{c.attributes, c.text}});
        ASSERT_EQ(listed, c.listed ? 1 : 0);
        if (c.listed) {
            ENGINE_RECORD *r = engines().back();
            EXPECT_STREQ(r->name, c.name);
            EXPECT_STREQ(r->display, c.display);
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(log.contains(c.log)) << log.text();
        }
        release_engine_list();
    }
    EXPECT_TRUE(logged("DisPlay [LongDisplay1] longer than 9 characters, cut"));
    EXPECT_TRUE(logged("Scan [RV21TOOLONG] longer than 9 characters, cut"));
    // Engine2DEN's values reach the record of the common camera file.
    ASSERT_EQ(load_engines({{"ScanType=\"2D\"", "MOCKC"}}), 1);
    EXPECT_EQ(engines()[0]->Scantype, 2);
    EXPECT_EQ(engines()[0]->ScanWakeUp, 1);
}

TEST_F(LoaderTest, NamesThatCouldLeaveTheSearchDirectoriesAreNotLoaded) {
    // Both joins would lead out of their directories to files that are there.
    write_engine_file("../xEN", {{"Scaninfo", "Escape"}});
    ASSERT_TRUE(exists("/system/usr/xEN"));
    ASSERT_TRUE(mock_engine::install(root_, "MOCKA", "/system/lib64/", "../x"));
    for (const char *text : {"../x", "", "a/b"}) {
        SCOPED_TRACE(text);
        FileTail log(service_log_file());
        EXPECT_EQ(load_engine_driver(nullptr, text, nullptr), -1);
        EXPECT_TRUE(log.contains(std::string("load_engine_driver Error Scan [") + text + "] not loaded"));
    }
    EXPECT_EQ(load_engine_driver(nullptr, nullptr, nullptr), -1);
    EXPECT_TRUE(engines().empty());
}

// ---- the engine switch ----

class SwitchTest : public ScannerTest {
  protected:
    void SetUp() override {
        ScannerTest::SetUp();
        for (const char *name : {"RV21", "GT5170", "MOCKA"}) {
            write_engine_file(std::string(name) + "EN", {{"Scaninfo", name}, {"Scantype", "2"}});
            install_engine(name);
        }
        ASSERT_EQ(load_engines({{"", "RV21"}, {"", "GT5170"}, {"", "MOCKA"}}), 3);
        rv21_ = find_engine("RV21");
        gt5170_ = find_engine("GT5170");
        ASSERT_NE(rv21_, nullptr);
        ASSERT_NE(gt5170_, nullptr);
        // Bound as the probe binds an engine.
        rv21_->device = &device_;
        device_set_current(&device_, rv21_);
        ASSERT_EQ(rv21_->scanner_init(rv21_), 0);
        ASSERT_EQ(rv21_->scanner_open(rv21_), 0);
    }
    // Each engine's journal length: the switch tests compare what was added.
    std::vector<size_t> journal_sizes() {
        return {calls("RV21").size(), calls("GT5170").size(), calls("MOCKA").size()};
    }

    DEVICE_OBJECT device_{};
    ENGINE_RECORD *rv21_ = nullptr;
    ENGINE_RECORD *gt5170_ = nullptr;
};

TEST_F(SwitchTest, NamesOfTheCurrentEngineOrItsFamilyChangeNothing) {
    std::vector<size_t> before = journal_sizes();
    EXPECT_EQ(change_engine(&device_, "RV2X", 7), 0);
    EXPECT_EQ(change_engine(&device_, "RV1X", 7), 0);
    EXPECT_EQ(change_engine(&device_, "RV21", 9), 0);
    EXPECT_EQ(journal_sizes(), before);
    EXPECT_EQ(device_current(&device_), rv21_);
    EXPECT_EQ(rv21_->platformType, 0) << "the argument is not stored";
    EXPECT_FALSE(logged("Change ["));
}

TEST_F(SwitchTest, UnknownOrOverlongNamesAnswerMinusOneAndKeepTheCurrentEngineOpen) {
    std::vector<size_t> before = journal_sizes();
    EXPECT_EQ(change_engine(&device_, "NOPE", 1), -1);
    EXPECT_EQ(change_engine(&device_, "rv21", 1), -1) << "names compare exactly";
    EXPECT_EQ(change_engine(&device_, "GT5170xxxxxxxxxxxxxx", 1), -1);
    EXPECT_TRUE(logged("change_engine Error name [GT5170xxxxxxxxxxxxxx] longer than 19 characters"));
    EXPECT_EQ(change_engine(&device_, nullptr, 1), -1);
    EXPECT_EQ(change_engine(nullptr, "GT5170", 1), -1);
    EXPECT_EQ(journal_sizes(), before);
    EXPECT_EQ(device_current(&device_), rv21_);
    EXPECT_EQ(rv21_->opened, 1);
}

TEST_F(SwitchTest, ASwitchClosesTheOldEngineOnceAndInitialisesAndOpensTheNewOne) {
    EXPECT_EQ(change_engine(&device_, "GT51X0", 3), 0);
    EXPECT_EQ(device_current(&device_), gt5170_);
    EXPECT_EQ(gt5170_->platformType, 3);
    EXPECT_EQ(gt5170_->device, &device_);
    EXPECT_NE(gt5170_->common, nullptr);
    EXPECT_EQ(gt5170_->opened, 1);
    EXPECT_EQ(rv21_->opened, 0);
    EXPECT_EQ(count("RV21", "close"), 1);
    EXPECT_EQ(count("RV21", "deinit"), 0) << "the engine left is closed, not deinitialised";
    EXPECT_EQ(calls("GT5170"), (std::vector<std::string>{"init", "open"}));
    EXPECT_TRUE(logged("Change [RV21] ==> [GT5170]"));
    EXPECT_EQ(count("MOCKA", ""), 0);

    // Back to an engine that kept its runtime state: opened again, no second state and
    // no second pair of threads.
    COMMON_STATE *kept = rv21_->common;
    int threads = thread_count();
    EXPECT_EQ(change_engine(&device_, "RV2X", 4), 0);
    EXPECT_EQ(device_current(&device_), rv21_);
    EXPECT_EQ(rv21_->common, kept);
    EXPECT_EQ(rv21_->platformType, 4);
    EXPECT_EQ(count("RV21", "init"), 1);
    EXPECT_EQ(count("RV21", "open"), 2);
    EXPECT_EQ(count("GT5170", "close"), 1);
    EXPECT_LE(thread_count(), threads);
    EXPECT_TRUE(logged("Change [GT5170] ==> [RV21]"));
}

TEST_F(SwitchTest, ASwitchEndsTheCycleOfTheEngineItLeavesBeforeClosingIt) {
    behave("RV21", {"cycle.event=0"});
    ASSERT_EQ(rv21_->scanner_start_decode(rv21_, [](int, DECODE_RESULT *, int) { return 0; }, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return count("RV21", "cycle-open") == 1; }));

    EXPECT_EQ(change_engine(&device_, "MOCKA", 0), 0);
    std::vector<std::string> left = calls("RV21");
    auto stop = std::find(left.begin(), left.end(), "stop 0");
    auto close = std::find(left.begin(), left.end(), "close");
    ASSERT_NE(stop, left.end());
    ASSERT_NE(close, left.end());
    EXPECT_LT(stop, close);
    // The decode thread leaves the cycle and runs its close procedure.
    EXPECT_TRUE(eventually([&] { return count("RV21", "cycle-close") == 1; }));
    EXPECT_EQ(common_load(rv21_->common->mState), static_cast<uint32_t>(COMMON_STATE_IDLE));
    EXPECT_EQ(device_current(&device_)->name, std::string("MOCKA"));
}

}  // namespace
