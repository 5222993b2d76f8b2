// The RV2X/RV1X driver: probe and setup, the work mode, lights and bridge of a cycle, the
// decode area, recovery, notifications, engine data, supplied images, upgrade and version.
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rv21_test.h"

namespace {

// The index of the first `what` at or after `from` in list, or list.size().
size_t rv_find(const std::vector<std::string> &list, const std::string &what, size_t from = 0) {
    for (size_t i = from; i < list.size(); ++i)
        if (list[i] == what) return i;
    return list.size();
}

// Every item of `wanted` appears in list in this order.
bool rv_in_order(const std::vector<std::string> &list, const std::vector<std::string> &wanted) {
    size_t at = 0;
    for (const std::string &w : wanted) {
        at = rv_find(list, w, at);
        if (at == list.size()) return false;
        ++at;
    }
    return true;
}

std::string rv_join(const std::vector<std::string> &list) {
    std::string out;
    for (const std::string &s : list) out += s + " ";
    return out;
}

TEST_F(Rv21Test, ProbeAndSetupByIdentification) {
    struct Rv21ProbeCase {
        int id; // -1: no engine answers
        int result;
        const char *probed, *named;
    };
    const Rv21ProbeCase cases[] = {{0x80, 0, "RV21", "RV21"}, {1, 0, "RV21", "RV21"}, {2, 0, "RV21", "RV27"},
                                   {8, 0, "RV21", "RV17"},    {10, 0, "OLD", "RV19"},  {3, -1, "OLD", ""},
                                   {0, -1, "OLD", ""},        {-1, -1, "OLD", ""}};
    for (const Rv21ProbeCase &c : cases) {
        SCOPED_TRACE(c.id);
        TearDown();
        SetUp();
        if (c.id >= 0) add_rv_engine(static_cast<uint8_t>(c.id));
        open_engine_xml(rv21_engine_xml(kRvPlatform2, "<ScanDirection>2</ScanDirection><ScanIllum>1</ScanIllum>", ""));
        snprintf(record_.name, sizeof record_.name, "OLD");
        ASSERT_EQ(record_.scanner_probe(&record_), c.result);
        EXPECT_STREQ(record_.name, c.probed);
        if (c.result != 0) continue;
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        EXPECT_STREQ(record_.name, c.named);
        EXPECT_EQ(record_.platformType, 2);
        EXPECT_TRUE(logged("Platform      [MSM8909_TX07] "));
        EXPECT_TRUE(logged("ScanIllum     [1] "));
        EXPECT_TRUE(logged("MipiInit      [0] "));
        EXPECT_TRUE(logged(std::string("*                    ") + c.named));
        std::vector<std::string> lines = journal();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("cam_init 2 0 752 480", 0), 0u) << "direction 2 stays: " << lines.back();
    }
}

// An engine switch names the platform by its type; setup takes the name from it.
TEST_F(Rv21Test, PlatformNameFromTheSwitchedType) {
    add_rv_engine(0x80);
    open_engine_xml(rv21_engine_xml(kRvPlatform2, "", "") );
    ASSERT_EQ(record_.scanner_probe(&record_), 0);
    record_.platformType = 3;
    ASSERT_EQ(record_.scanner_init(&record_), 0);
    EXPECT_EQ(record_.platformType, 3);
    EXPECT_TRUE(logged("Platform      [MT6735_TX52W] "));
}

// The decode area the engine stores reaches the focus functions reordered; the bridge's
// identification is read once; a refused 0xC8 read leaves the bridge alone.
TEST_F(Rv21Test, SetupHandsTheStoredAreaToTheFocusFunctions) {
    struct Rv21AreaCase {
        const char *name;
        int32_t stored[4]; // {left, right, top, bottom}
        bool refuse;
        int32_t area[4]; // {top, left, right, bottom} the focus functions hold
        int mipi;
    };
    const Rv21AreaCase cases[] = {
        {"full width", {0, 752, 200, 280}, false, {200, 0, 752, 280}, 0},
        {"not the full width", {10, 752, 200, 280}, false, {240, 0, 752, 240}, 0},
        {"read refused", {0, 752, 200, 280}, true, {7, 7, 7, 7}, 1},
    };
    for (const Rv21AreaCase &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        install_decoder();
        const int sentinel[4] = {7, 7, 7, 7};
        X3Focus_Set_Result(sentinel);
        add_rv_engine(0x80);
        set_area_register(c.stored);
        // FocusMiddle 0: the decode area is the stored one itself.
        open_engine_xml(rv21_engine_xml(kRvPlatform1, "", "<FocusType>1</FocusType><FocusMiddle>0</FocusMiddle>"));
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        sim_i2c_clear_transfers(kBus);
        if (c.refuse) rv21_bus().refuseAll = 1;
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        rv21_bus().refuseAll = 0;
        int area[4] = {};
        X3Focus_Get_AreaParam(area);
        EXPECT_EQ(std::vector<int>(area, area + 4), std::vector<int>(c.area, c.area + 4));
        EXPECT_TRUE(logged("MipiInit      [" + std::to_string(c.mipi) + "] "));
        EXPECT_EQ(bridge_transfers(), 1);
        EXPECT_TRUE(logged("scanner_mipi_state"));
        if (!c.refuse) {
            EXPECT_TRUE(logged(c.stored[0] == 0 ? "scanner_get_focus  [0] [752] [200] [280]"
                                                : "scanner_get_focus Default [0] [752] [240] [240]"));
        }
    }
}

// The focus band widths reach the focus functions: FocusMiddle widens the stored area.
TEST_F(Rv21Test, FocusValuesReachTheFocusFunctions) {
    install_decoder();
    add_rv_engine(0x80);
    const int32_t stored[4] = {0, 752, 200, 280};
    set_area_register(stored);
    open_engine_xml(rv21_engine_xml(kRvPlatform1, "",
                                    "<FocusType>1</FocusType><FocusHigh>10</FocusHigh><FocusMiddle>40</FocusMiddle>"
                                    "<FocusLow>90</FocusLow>"));
    ASSERT_EQ(record_.scanner_probe(&record_), 0);
    ASSERT_EQ(record_.scanner_init(&record_), 0);
    int area[4] = {};
    X3Focus_Get_AreaParam(area);
    EXPECT_EQ(std::vector<int>(area, area + 4), (std::vector<int>{180, 0, 752, 300}));
}

// Platform type 1, SleepTime 0: the open wakes the engine (LED and illumination twice on
// RV21), loads the bridge, opens the camera and checks it; the close puts it all back.
TEST_F(Rv21Test, CycleSwitchesWorkModeLightsAndBridge) {
    install_decoder();
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 0, nullptr), 0);
    sim_i2c_clear_transfers(kBus);
    sim_sleep_clear();
    write_file(FRAMECAM_JOURNAL_PATH, "");
    start_cycle();
    ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
    plat_sleep_real(50);
    end_cycle();
    ASSERT_TRUE(eventually([&] { return rv_find(rv_writes(), "C9=01") < rv_writes().size(); }));
    std::vector<std::string> w = rv_writes();
    EXPECT_TRUE(rv_in_order(w, {"F4=02", "F5=01", "F4=02", "F5=01", "FD=03", "F4=02", "F5=01", "F4=00", "F5=00",
                                "FD=02", "C9=01"}))
        << rv_join(w);
    EXPECT_TRUE(rv_in_order(camera_calls(), {"cam_open", "cam_start", "cam_ioctrl 0x22 1", "cam_ioctrl 0x23 0",
                                             "cam_stop", "cam_ioctrl 0x22 0"}))
        << rv_join(camera_calls());
    EXPECT_GT(bridge_transfers(), 2);
    EXPECT_GE(waits_of(100).size(), 3u);
    EXPECT_TRUE(logged("scanner_mipi_oper [RV21] [3]"));
    EXPECT_TRUE(logged("scanner_sync [QR] [Enable] [65537]"));
    EXPECT_TRUE(logged("scanner_set_workmode [2] Finish"));
    EXPECT_EQ(cam_get_state() & CAM_STATE_STREAMING, 0);
}

// Platform type 1: a camera library that answers control 0x23 with anything but 0 ends the
// cycle with event 4 before the LED is lit; the answer is not kept for the next cycle.
TEST_F(Rv21Test, RefusedCameraCheckEndsTheCycle) {
    install_decoder();
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    int refused = 7;
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_ANSWER_CODE, 0x23, &refused), 0);
    sim_i2c_clear_transfers(kBus);
    write_file(FRAMECAM_JOURNAL_PATH, "");
    const int stops = count_in(log_text(), "common_scanner_stop_oper [4]");
    start_cycle();
    ASSERT_TRUE(eventually([&] { return count_in(log_text(), "common_scanner_stop_oper [4]") > stops; }));
    end_cycle();
    std::vector<std::string> calls = camera_calls();
    EXPECT_TRUE(rv_in_order(calls, {"cam_open", "cam_start", "cam_ioctrl 0x22 1", "cam_ioctrl 0x23 0", "cam_stop"}))
        << rv_join(calls);
    // The wake-up lit the LED (F4=02 before FD=03); the open's own LED write never came.
    std::vector<std::string> w = rv_writes();
    size_t awake = rv_find(w, "FD=03");
    ASSERT_LT(awake, w.size()) << rv_join(w);
    EXPECT_EQ(rv_find(w, "F4=02", awake), w.size()) << rv_join(w);
    EXPECT_FALSE(logged("scanner_set_led [RV21] [3] Finish"));
    EXPECT_TRUE(events_now().empty());

    sim_i2c_clear_transfers(kBus);
    start_cycle();
    ASSERT_TRUE(eventually([&] { return logged("scanner_set_led [RV21] [3] Finish"); }));
    end_cycle();
    EXPECT_EQ(count_in(log_text(), "common_scanner_stop_oper [4]"), stops + 1);
}

// ScanIllum: the illumination is the switch line and the engine's stays off; mipiInit 1
// leaves the bridge alone.
TEST_F(Rv21Test, ExternalIlluminationAndNoBridge) {
    install_decoder();
    add_rv_engine(0x80);
    regs_[0xC8] = 1;
    open_engine_xml(rv21_engine_xml(kRvPlatform1, "<ScanIllum>1</ScanIllum>", ""));
    ASSERT_EQ(record_.scanner_probe(&record_), 0);
    ASSERT_EQ(record_.scanner_init(&record_), 0);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    sim_i2c_clear_transfers(kBus);
    sim_io_clear();
    start_cycle();
    ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
    end_cycle();
    std::vector<std::string> w = rv_writes();
    EXPECT_TRUE(rv_in_order(w, {"F4=02", "F5=00", "FD=03", "F4=00"})) << rv_join(w);
    EXPECT_EQ(rv_find(w, "F5=01"), w.size()) << rv_join(w);
    EXPECT_EQ(rv_find(w, "C9=01"), w.size()) << rv_join(w);
    EXPECT_EQ(bridge_transfers(), 0);
    std::vector<std::string> sw = sim_writes(kRvSwitch);
    EXPECT_TRUE(rv_in_order(sw, {"illum_on", "illum_off"})) << rv_join(sw);

}

// Without power the open makes no camera call and ends the cycle with event 4.
TEST_F(Rv21Test, OpenWithoutPowerEndsTheCycle) {
    install_decoder();
    start_rv(0x80, kRvPlatform2);
    write_file(FRAMECAM_JOURNAL_PATH, "");
    start_cycle();
    ASSERT_TRUE(eventually([&] { return logged("rv2x_open_camera==========Error Power Off NowPid"); }));
    end_cycle();
    std::vector<std::string> calls = camera_calls();
    EXPECT_EQ(rv_find(calls, "cam_open"), calls.size()) << rv_join(calls);
    EXPECT_EQ(rv_find(calls, "cam_start"), calls.size()) << rv_join(calls);
    EXPECT_TRUE(logged("rv2x_open_camera==========Error Power Off NowPid"));
}

// SleepTime 5: the stream runs on after the cycle until the fifth idle second, then low
// power stops it and puts the engine in standby.
TEST_F(Rv21Test, SleepTimeKeepsTheStreamUntilLowPower) {
    install_decoder();
    // Idle seconds pass only when the test lets them, from before the engine opens: the
    // low-power thread may start counting as soon as it is woken.
    std::atomic<int> allowed{0};
    std::atomic<int> seconds{0};
    // The hook holds these counters: it goes before they do, on a failed assertion too.
    struct Rv21HookOff {
        ~Rv21HookOff() { sim_sleep_set_hook(nullptr); }
    } hookOff;
    sim_sleep_set_hook([&](int ms) {
        if (ms != 1000) return;
        while (seconds.load() >= allowed.load()) plat_sleep_real(1);
        ++seconds;
    });
    start_rv(0x80, kRvPlatform2, "", "<SleepTime>5</SleepTime>");
    // 0x106 with SleepTime 0 does nothing; here the timeout is set.
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    sim_i2c_clear_transfers(kBus);
    start_cycle();
    ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
    end_cycle();
    allowed = 4;
    ASSERT_TRUE(eventually([&] { return seconds.load() >= 4; }));
    plat_sleep_real(50);
    EXPECT_EQ(journal_calls("cam_stop"), 0);
    EXPECT_NE(cam_get_state() & CAM_STATE_STREAMING, 0);
    allowed = 100;
    ASSERT_TRUE(eventually([&] { return journal_calls("cam_stop") > 0; }));
    ASSERT_TRUE(eventually([&] { return logged("scanner_close_camera ======================[low power]"); }));
    ASSERT_TRUE(eventually([&] { return rv_find(rv_writes(), "FD=02") < rv_writes().size(); }));
    sim_sleep_set_hook(nullptr);
    std::vector<std::string> w = rv_writes();
    EXPECT_TRUE(rv_in_order(w, {"FD=03", "F4=00", "FD=02", "C9=01"})) << rv_join(w);
}

TEST_F(Rv21Test, LowPowerWithoutTimeoutDoesNothing) {
    install_decoder();
    start_rv(0x80);
    write_file(FRAMECAM_JOURNAL_PATH, "");
    sim_i2c_clear_transfers(kBus);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_LOWPOWER, 0, nullptr), 0);
    EXPECT_TRUE(camera_calls().empty());
    EXPECT_TRUE(rv_writes().empty());
}

// Each frame passes the focus functions and is sized at the decoder; the code id is the
// code type (0x100501), not the symbology number.
TEST_F(Rv21Test, StepSizesEachFrameAndReadsTheCodeType) {
    install_fake();
    start_rv(0x80);
    fake_answer(VEXO_ID_RESULT_CODE_ID, 0x31);
    fake_script(1, "fake");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    // Left over from an earlier result: a decoded frame clears the first 8 bytes.
    uint8_t *data = record_.common->mResult.data;
    memset(data, 'X', 16);
    start_cycle();
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    end_cycle();
    Event got = events_now().back();
    EXPECT_EQ(got.codeId, 0x31u);
    EXPECT_EQ(got.kind, 1u);
    EXPECT_EQ(got.len2, 0u);
    EXPECT_EQ(got.bytes, std::string("fake") + '\0');
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), 9), std::string("fake\0\0\0\0X", 9));
    const std::string calls = fake_calls();
    EXPECT_NE(calls.find("S set 100100;S set 100101 752;S set 100102 480;S decode;"), std::string::npos) << calls;
    EXPECT_NE(calls.find("S get 100501;"), std::string::npos) << calls;
    EXPECT_EQ(calls.find("S get 100513;"), std::string::npos) << calls;
    EXPECT_TRUE(logged("RV21: Decode OK, data:(4)(31)(fake)"));
}

// A QR frame of this host's camera is read by the real decoder with its exact bytes.
TEST_F(Rv21Test, CycleReadsAQrFrame) {
    install_decoder();
    const std::string text = "RV21 reads the aimer's band";
    serve_qr(text, 752, 480);
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    start_cycle();
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    end_cycle();
    Event got = events_now().back();
    EXPECT_EQ(got.event, SCN_EVENT_DATA);
    EXPECT_EQ(got.kind, 1u);
    EXPECT_EQ(got.bytes, text + std::string(1, '\0'));
}

// Attempted engine writes of one register value, failed ones included.
int rv_attempts(const std::string &what) {
    int n = 0;
    for (const SimI2cTransfer &t : sim_i2c_transfers(kBus)) {
        if (t.msgs.size() != 1 || t.msgs[0].addr != kRvEngine || t.msgs[0].bytes.size() < 2) continue;
        char line[32];
        snprintf(line, sizeof line, "%02X=%02X", t.msgs[0].bytes[0], t.msgs[0].bytes[1]);
        if (what == line) ++n;
    }
    return n;
}

// With the engine refusing every transfer, the LED writes of the open and the close fail in
// a row: on platform type 1 the close power-cycles the engine and wakes it again, once until
// the next open, which waits 500 ms first. Platform type 2 never power-cycles.
TEST_F(Rv21Test, RecoveryAfterTwoFailedLedWrites) {
    struct Rv21RecoveryCase {
        const char *platform;
        bool cycles;
    };
    const Rv21RecoveryCase cases[] = {{kRvPlatform1, true}, {kRvPlatform2, false}};
    for (const Rv21RecoveryCase &c : cases) {
        SCOPED_TRACE(c.platform);
        TearDown();
        SetUp();
        install_decoder();
        start_rv(0x80, c.platform);
        ASSERT_EQ(record_.scanner_open(&record_), 0);
        rv21_bus().refuseAll = 1;
        sim_io_clear();
        sim_sleep_clear();
        sim_i2c_clear_transfers(kBus);
        start_cycle();
        ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
        end_cycle();
        std::vector<std::string> power = sim_writes(k2dNode);
        if (!c.cycles) {
            rv21_bus().refuseAll = 0;
            EXPECT_TRUE(power.empty()) << rv_join(power);
            EXPECT_FALSE(logged("scanner_sensor_reset_oper"));
            continue;
        }
        EXPECT_TRUE(logged("scanner_reset_rv2x [Close Sensor]"));
        EXPECT_TRUE(logged("scanner_sensor_reset_oper [RV21] [Close Sensor] Reset"));
        EXPECT_EQ(power, (std::vector<std::string>{"0", "1"}));
        // The wake-up after the power cycle: 0xFD = 3 again (attempted, the engine refuses).
        EXPECT_EQ(rv_attempts("FD=03"), 2 * 10);
        // Two more failed LED writes before any open: a second recovery, no second cycle.
        ASSERT_EQ(record_.scanner_close(&record_), 0);
        ASSERT_EQ(record_.scanner_open(&record_), 0);
        ASSERT_EQ(record_.scanner_close(&record_), 0);
        EXPECT_EQ(count_in(log_text(), "scanner_reset_rv2x ["), 1);
        EXPECT_EQ(count_in(log_text(), "scanner_sensor_reset_oper ["), 2);
        // The next open waits 500 ms first.
        rv21_bus().refuseAll = 0;
        ASSERT_EQ(record_.scanner_open(&record_), 0);
        sim_sleep_clear();
        start_cycle();
        ASSERT_TRUE(eventually([&] { return logged("scanner_decode_open Reset Delay "); }));
        end_cycle();
        EXPECT_EQ(waits_of(500).size(), 1u);
    }
}

// The recovery from the sensor part of the open: the jni close's LED write fails first, the
// open's LED write second; the open then power-cycles the engine, wakes it and ends the
// cycle with event 4, and the close that follows makes no second power cycle.
TEST_F(Rv21Test, RecoveryFromTheSensorOpen) {
    install_decoder();
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    rv21_bus().refuseAll = 1;
    ASSERT_EQ(record_.scanner_close(&record_), 0);
    EXPECT_FALSE(logged("scanner_sensor_reset_oper"));
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    sim_io_clear();
    sim_i2c_clear_transfers(kBus);
    write_file(FRAMECAM_JOURNAL_PATH, "");
    start_cycle();
    ASSERT_TRUE(eventually([&] { return logged("scanner_reset_rv2x [Open Sensor]"); }));
    end_cycle();
    rv21_bus().refuseAll = 0;
    EXPECT_TRUE(logged("scanner_sensor_reset_oper [RV21] [Open Sensor] Reset"));
    EXPECT_TRUE(logged("scanner_close_camera ======================[camera reset]"));
    EXPECT_TRUE(logged("common_scanner_stop_oper [4]"));
    EXPECT_EQ(sim_writes(k2dNode), (std::vector<std::string>{"0", "1"}));
    // The wake-up of the open and the one after the power cycle (attempted, refused).
    EXPECT_EQ(rv_attempts("FD=03"), 2 * 10);
    std::vector<std::string> calls = camera_calls();
    EXPECT_TRUE(rv_in_order(calls, {"cam_open", "cam_start", "cam_ioctrl 0x23 0", "cam_stop", "cam_close"}))
        << rv_join(calls);
    EXPECT_EQ(count_in(log_text(), "scanner_reset_rv2x ["), 1);
    EXPECT_FALSE(logged("scanner_reset_rv2x [Close Sensor]"));
    sim_sleep_clear();
    start_cycle();
    ASSERT_TRUE(eventually([&] { return logged("scanner_decode_open Reset Delay "); }));
    end_cycle();
    EXPECT_EQ(waits_of(500).size(), 1u);
}

// A successful register transfer between two failed LED writes clears the count: with
// only the LED refused, the illumination write after each failure keeps the engine healthy.
TEST_F(Rv21Test, ASuccessfulTransferClearsTheLedFailures) {
    install_decoder();
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    rv21_bus().refuseWrites[0xF4] = 1000;
    sim_io_clear();
    for (int cycle = 0; cycle < 2; ++cycle) {
        start_cycle();
        ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > cycle; }));
        end_cycle();
    }
    rv21_bus().refuseWrites[0xF4] = 0;
    EXPECT_FALSE(logged("scanner_sensor_reset_oper"));
    EXPECT_TRUE(sim_writes(k2dNode).empty());
}

// The camera service's notifications close the camera during a cycle; the cycle steps on
// without frames and the next cycle opens again. After deinit nothing is reached.
TEST_F(Rv21Test, NotificationsCloseTheCamera) {
    install_decoder();
    start_rv(0x80, kRvPlatform2, "", "<SleepTime>5</SleepTime>");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    const char *reasons[] = {"kill task", "task died", "socket close"};
    for (int code = 1; code <= 3; ++code) {
        SCOPED_TRACE(code);
        write_file(FRAMECAM_JOURNAL_PATH, "");
        start_cycle();
        ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
        EXPECT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_NOTIFY, code, nullptr), 0);
        // The frame source hands the notification on from its own thread.
        const std::string closed = std::string("scanner_close_camera ======================[") + reasons[code - 1] + "]";
        ASSERT_TRUE(eventually([&] { return logged(closed); }));
        EXPECT_TRUE(logged("scanner_nofity_proc [" + std::to_string(code) + "]"));
        EXPECT_TRUE(rv_in_order(camera_calls(), {"cam_open", "cam_start", "cam_stop", "cam_close"}));
        EXPECT_EQ(cam_get_state(), 0);
        plat_sleep_real(30);
        EXPECT_NE(common_load(record_.common->mState), static_cast<uint32_t>(COMMON_STATE_IDLE));
        end_cycle();
    }
    EXPECT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_NOTIFY, 9, nullptr), 0);
    // The library's own notify callback, to call it as the library would after the end.
    FRAMECAM_NOTIFY_FN late = nullptr;
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_NOTIFY_FN, 0, &late), 0);
    ASSERT_NE(late, nullptr);
    // One still on its way while the driver is let go: the cleanup ends the notification
    // thread before it frees anything (ASan would see a late touch).
    EXPECT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_NOTIFY, 1, nullptr), 0);
    EXPECT_EQ(record_.scanner_deinit(&record_), 0);
    record_.common = nullptr;
    const int handled = count_in(log_text(), "scanner_nofity_proc [");
    write_file(FRAMECAM_JOURNAL_PATH, "");
    for (int code = 1; code <= 3; ++code) EXPECT_EQ(late(static_cast<uint32_t>(code)), 0);
    plat_sleep_real(50);
    EXPECT_EQ(count_in(log_text(), "scanner_nofity_proc ["), handled);
    EXPECT_TRUE(journal().empty());
}

// Serial number, sensor data and adjust data: written, read back after 100 ms, compared.
TEST_F(Rv21Test, EngineDataControls) {
    install_decoder();
    start_rv(0x80);
    uint8_t serial[32];
    for (int i = 0; i < 32; ++i) serial[i] = static_cast<uint8_t>('A' + i % 26);
    uint8_t data[16];
    for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(0x30 + i);
    struct Rv21DataCase {
        const char *name;
        int cmd, reg, len;
        uint8_t *bytes;
        int skew; // register whose read-back differs, -1 none
        int answer;
    };
    const Rv21DataCase cases[] = {
        {"serial", SCANNER_IOCTRL_SET_SENSOR_SN, 0x72, 32, serial, -1, 0},
        {"serial read back differently", SCANNER_IOCTRL_SET_SENSOR_SN, 0x72, 32, serial, 0x72, -1},
        {"serial null", SCANNER_IOCTRL_SET_SENSOR_SN, 0x72, 32, nullptr, -1, -1},
        {"sensor data", SCANNER_IOCTRL_SET_SENSOR_DATA, 0xCA, 16, data, -1, 0},
        {"adjust data", SCANNER_IOCTRL_SAVE_ADJUST, 0xCB, 16, data, -1, 0},
        {"adjust data refused", SCANNER_IOCTRL_SAVE_ADJUST, 0xCB, 16, data, -2, -1},
    };
    for (const Rv21DataCase &c : cases) {
        SCOPED_TRACE(c.name);
        memset(regs_ + c.reg, 0, static_cast<size_t>(c.len));
        rv21_bus().skewRead = c.skew >= 0 ? c.skew : -1;
        if (c.skew == -2) rv21_bus().refuseWrites[c.reg] = 1000;
        sim_sleep_clear();
        EXPECT_EQ(record_.scanner_ioctrl(&record_, c.cmd, c.len, c.bytes), c.answer);
        rv21_bus().skewRead = -1;
        rv21_bus().refuseWrites[c.reg] = 0;
        if (c.bytes != nullptr && c.skew == -1) {
            EXPECT_EQ(memcmp(regs_ + c.reg, c.bytes, static_cast<size_t>(c.len)), 0);
            EXPECT_EQ(waits_of(100).size(), 1u);
        }
    }
    EXPECT_TRUE(logged("scanner_rv2x_set_sn [ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF]"));
    EXPECT_TRUE(logged("scanner_rv2x_set_date [0123456789:;<=>?] [0123456789:;<=>?]"));

    // Reading: the caller's buffer filled.
    memcpy(regs_ + 0x72, serial, 32);
    uint8_t got[32] = {};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SENSOR_SN, 32, got), 0);
    EXPECT_EQ(memcmp(got, serial, 32), 0);
    memset(got, 0, sizeof got);
    memcpy(regs_ + 0xCA, data, 16);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SENSOR_DATA, 16, got), 0);
    EXPECT_EQ(memcmp(got, data, 16), 0);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SENSOR_DATA, 16, nullptr), -1);
    rv21_bus().refuseAll = 1;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SENSOR_SN, 32, got), -1);
    rv21_bus().refuseAll = 0;
}

// A supplied image: busy during a cycle, a null request, a QR image read, a blank one not.
TEST_F(Rv21Test, SuppliedImage) {
    install_decoder();
    start_rv(0x80, kRvPlatform2);
    IMAGE_REQUEST none{752, 480, nullptr};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, nullptr), -1);
    EXPECT_TRUE(logged("Decode File Error"));
    (void)none;
    const std::string text = "supplied to the RV21";
    testkit::Frame qr = render_qr(text, 752, 480);
    IMAGE_REQUEST request{752, 480, qr.pixels.data()};
    sim_sleep_clear();
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(record_.common->mResult.data)), text);
    EXPECT_TRUE(logged("RV2X: Decode OK, data:(" + std::to_string(text.size()) + ")(" + text + ")"));
    EXPECT_EQ(record_.opened, 1);
    EXPECT_EQ(waits_of(500).size(), 1u);
    testkit::Frame blank = qr;
    std::fill(blank.pixels.begin(), blank.pixels.end(), 0xC0);
    IMAGE_REQUEST empty{752, 480, blank.pixels.data()};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &empty), -1);

    // While a calibration runs the image only feeds it: 0 with nothing decoded.
    memset(record_.common->mResult.data, 0, 8);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 1, nullptr), 0);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), 0);
    EXPECT_EQ(record_.common->mResult.data[0], 0);

    start_cycle();
    ASSERT_TRUE(eventually([&] { return journal_calls("cam_start") > 0; }));
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), -1);
    EXPECT_TRUE(logged("Device Is Busy"));
    end_cycle();
}

// Upgrade through the boot loader: identification 1 starts it; 3 and 0x80 end with the
// read's byte count; FirmwareOper 1 reads neither; the power lock is cleared on every path.
TEST_F(Rv21Test, UpgradeThroughTheBootLoader) {
    install_decoder();
    start_rv(0x80);
    std::vector<uint8_t> firmware(512, 0x5A);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, nullptr), -1);
    UPGRADE_REQUEST empty{UPGRADE_TYPE_KERNEL, 0, 0, firmware.data()};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &empty), -1);
    UPGRADE_REQUEST request{UPGRADE_TYPE_KERNEL, 0, static_cast<uint32_t>(firmware.size()), firmware.data()};
    struct Rv21UpgradeCase {
        int id;
        uint32_t oper;
        int answer;
        bool boots;
    };
    const Rv21UpgradeCase cases[] = {{1, 0, 0, true}, {3, 0, 3, false}, {0x80, 0, 3, false}, {3, 1, 0, false}};
    for (const Rv21UpgradeCase &c : cases) {
        SCOPED_TRACE(c.id);
        regs_[0x00] = 0;
        regs_[0x01] = 0;
        regs_[0xF0] = static_cast<uint8_t>(c.id);
        request.FirmwareOper = c.oper;
        sim_i2c_clear_transfers(kBus);
        sim_io_clear();
        sim_sleep_clear();
        EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &request), c.answer);
        EXPECT_EQ(record_.powerLocked, 0);
        EXPECT_TRUE(rv_in_order(sim_writes(k2dNode), {"0", "1"}));
        std::vector<std::string> w = rv_writes();
        EXPECT_EQ(rv_find(w, "FD=FF") < w.size(), c.boots) << rv_join(w);
        EXPECT_EQ(rv_find(w, "20=00") < w.size(), c.answer == 0) << rv_join(w);
        if (c.boots) {
            EXPECT_EQ(waits_of(1000).size(), 1u);
        }
        int id_reads = 0;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus))
            if (t.msgs.size() == 2 && t.msgs[0].addr == kRvEngine && t.msgs[0].bytes == std::vector<uint8_t>{0xF0})
                ++id_reads;
        EXPECT_EQ(id_reads, c.oper == 0 ? 1 : 0);
    }
    EXPECT_TRUE(logged("scanner_rv2x_upgrade Read ID [3] "));
}

TEST_F(Rv21Test, VersionTexts) {
    install_decoder();
    struct Rv21VersionCase {
        int id;
        const char *tail;
    };
    const Rv21VersionCase cases[] = {{0x80, " RV2X-V10"}, {1, " RV1X-V11"}, {2, "\nRV27_V3.00.004 HV_V1.2.0"}};
    for (const Rv21VersionCase &c : cases) {
        SCOPED_TRACE(c.id);
        TearDown();
        SetUp();
        install_decoder();
        start_rv(static_cast<uint8_t>(c.id));
        regs_[0xF1] = 0x12;
        regs_[0xF2] = 0x34;
        char banner[2048] = {};
        TEXT_DESC desc{sizeof(TEXT_DESC), sizeof banner - 1, 0, 0, banner};
        X3_Get(VEXO_ID_BANNER, &desc);
        ASSERT_GE(desc.length, 2u);
        const std::string head(banner + 2, desc.length - 2);
        char out[ENGINE_VERSION_SIZE + 8];
        memset(out, 'Z', sizeof out);
        int n = record_.scanner_version(&record_, out);
        std::string expected = head + c.tail;
        expected.resize(head.size() + 30, '\0');
        if (expected.size() > ENGINE_VERSION_SIZE - 1) expected.resize(ENGINE_VERSION_SIZE - 1);
        EXPECT_EQ(n, static_cast<int>(expected.size()));
        EXPECT_EQ(std::string(out, static_cast<size_t>(n)), expected);
        EXPECT_EQ(out[n], '\0');
        EXPECT_EQ(out[ENGINE_VERSION_SIZE], 'Z');
    }
}

// A long banner is cut to the service's 96-byte field: 95 characters and the terminator.
TEST_F(Rv21Test, VersionIsCutToTheServiceField) {
    install_fake();
    start_rv(0x80);
    const std::string banner(300, 'b');
    fake_script(0, banner.c_str());
    auto as_text = fake_fn<void (*)()>("fake_decoder_banner_is_text");
    ASSERT_NE(as_text, nullptr);
    as_text();
    char out[ENGINE_VERSION_SIZE + 8];
    memset(out, 'Z', sizeof out);
    EXPECT_EQ(record_.scanner_version(&record_, out), ENGINE_VERSION_SIZE - 1);
    EXPECT_EQ(std::string(out), banner.substr(2, ENGINE_VERSION_SIZE - 1));
    EXPECT_EQ(out[ENGINE_VERSION_SIZE], 'Z');
}

// libTQ63 and libRV21 both export the register access functions: loaded into one process,
// each reaches its own retry policy (TQ63: two attempts 1 ms apart; RV21: ten, 50 ms apart).
TEST_F(Rv21Test, EachPluginReachesItsOwnRegisterAccess) {
    install_decoder();
    start_rv(0x80);
    void *tq63 = dlopen(TQ63_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(tq63, nullptr) << dlerror();
    // libTQ63 probes its engine at the same address: its channel becomes the bus's.
    write_file("/sys/bus/platform/tq63", "");
    write_file("/system/usr/xml/tq63.xml",
               "<?xml version=\"1.0\"?>\n<Engine><ScanProbe><Cmd name=\"TQ63_PLAT\">/sys/bus/platform/tq63</Cmd>"
               "</ScanProbe><ScanEngine><TQ63_PLAT><DriverChannel>2</DriverChannel><PowerChannel>0</PowerChannel>"
               "</TQ63_PLAT></ScanEngine></Engine>\n");
    ENGINE_RECORD tq{};
    tq.engineXml = XMLOpen("/system/usr/xml/tq63.xml");
    ASSERT_NE(tq.engineXml, nullptr);
    auto tq_probe = reinterpret_cast<int (*)(ENGINE_RECORD *)>(dlsym(tq63, "scanner_probe"));
    ASSERT_NE(tq_probe, nullptr);
    regs_[0xF0] = 3;
    EXPECT_EQ(tq_probe(&tq), 0);
    XMLClose(tq.engineXml);
    using WriteTry = int (*)(uint8_t, int, const uint8_t *, int);
    struct Rv21PluginCase {
        const char *name;
        WriteTry fn;
        size_t attempts;
        int wait_ms;
    };
    const Rv21PluginCase cases[] = {
        {"RV21", reinterpret_cast<WriteTry>(dlsym(handle_, "i2c_write_try")), 10, 50},
        {"TQ63", reinterpret_cast<WriteTry>(dlsym(tq63, "i2c_write_try")), 2, 1},
    };
    ASSERT_NE(cases[0].fn, cases[1].fn);
    const uint8_t value = 1;
    for (const Rv21PluginCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.fn, nullptr);
        rv21_bus().refuseAll = 1;
        sim_i2c_clear_transfers(kBus);
        sim_sleep_clear();
        EXPECT_EQ(c.fn(kRvEngine, 0xF4, &value, 1), 0);
        rv21_bus().refuseAll = 0;
        EXPECT_EQ(sim_i2c_transfers(kBus).size(), c.attempts);
        EXPECT_EQ(waits_of(c.wait_ms).size(), c.attempts);
    }
    dlclose(tq63);
}

} // namespace
