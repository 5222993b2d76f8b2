// The PL7230 driver: probe, setup, decode cycles over this host's camera with the build's
// decoder, the engine command on the I2C bus, the controls and the close.
#include <dirent.h>
#include <unistd.h>

#include <thread>

#include "fake_calls.h"
#include "pl7230_test.h"

namespace {

TEST_F(Pl7230Test, ProbeAcceptsItsPlatformByPathOrNumberedVariant) {
    struct Case {
        const char *label;
        std::string name;
        const char *present; // file made under the root, or nullptr
        int expected;
    };
    const std::string longName(40, 'M');
    const Case cases[] = {
        {"path exists", kPlatform, kProbePath, 0},
        {"variant 3 exists", kPlatform, "/sys/bus/platform/pl72303", 0},
        {"path and variants missing", kPlatform, "/sys/bus/platform/pl72306", -1},
        {"other name", "MT6735_TX52W_TQ63", kProbePath, -1},
        {"name past the field", longName, kProbePath, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        remove_host_tree(host("/sys/bus"));
        if (c.present != nullptr) write_file(c.present, "");
        if (record_.engineXml != nullptr) XMLClose(record_.engineXml);
        open_engine_xml(engine_xml(probe_cmd(c.name.c_str(), kProbePath), "", ""));
        EXPECT_EQ(record_.scanner_probe(&record_), c.expected);
    }
    // The accepted probe opened the engine's channel.
    PORT_DEVICE *port = get_module_ops(PORT_KIND_I2C, kChannel);
    ASSERT_NE(port, nullptr);
    EXPECT_GE(port->fd, 0);
    EXPECT_EQ(record_.scanner_probe(nullptr), -1);
}

TEST_F(Pl7230Test, DirectProbeCommandNeedsNoPath) {
    // The same skeleton with "direct" commands on, as other engines' drivers use it.
    dlclose(handle_);
    handle_ = dlopen(DIRECT_DRIVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    bind();
    struct Case {
        const char *sensor; // attribute text, or nullptr for none
        int model;
    };
    const Case cases[] = {{"7", 7}, {"", 255}, {nullptr, 255}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sensor == nullptr ? "none" : c.sensor);
        std::string cmd = std::string("<Cmd name=\"") + kPlatform + "\" attr=\"direct\"" +
                          (c.sensor != nullptr ? std::string(" sensor=\"") + c.sensor + "\"" : std::string()) +
                          ">/sys/missing/path</Cmd>";
        if (record_.engineXml != nullptr) XMLClose(record_.engineXml);
        open_engine_xml(engine_xml(cmd, "", ""));
        EXPECT_EQ(record_.scanner_probe(&record_), 0);
        char line[128];
        snprintf(line, sizeof line, "scanner_direct_probe [%s] [%d] [%d] direct success 1.0", kPlatform, c.model,
                 kChannel);
        EXPECT_TRUE(logged(line)) << log_text();
    }
    // Without the attribute the missing path refuses.
    XMLClose(record_.engineXml);
    open_engine_xml(engine_xml(probe_cmd(kPlatform, "/sys/missing/path"), "", ""));
    EXPECT_EQ(record_.scanner_probe(&record_), -1);
}

TEST_F(Pl7230Test, WithoutFrameBuffersEveryCycleEndsAtItsOpen) {
    install_decoder();
    start_engine("<ScanBuffer>0</ScanBuffer>");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    for (int cycle = 0; cycle < 2; ++cycle) {
        ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
        ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    }
    EXPECT_TRUE(logged("open_camera= Open Error"));
    EXPECT_TRUE(events_now().empty());
    EXPECT_EQ(journal_calls("cam_init"), 0);
}

TEST_F(Pl7230Test, WithoutDecoderSetupSucceedsAndNoCodeArrives) {
    serve_qr("no decoder", 1280, 960);
    start_engine();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return logged("open_camera==========[0]"); }));
    // Frames of the code reach the step meanwhile.
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_WAIT_FRAME, 5000, nullptr), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_WAIT_FRAME, 5000, nullptr), 0);
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    EXPECT_FALSE(has_event(SCN_EVENT_DATA));
    EXPECT_FALSE(logged("Version1 ["));
}

TEST_F(Pl7230Test, SetupPowersTheEngineAndSizesCameraAndDecoder) {
    install_decoder();
    start_engine("<ScanFormat>0</ScanFormat><ScanBuffer>3</ScanBuffer><SleepTime>7</SleepTime>");
    EXPECT_EQ(read_file(k2dNode), "1");
    EXPECT_STREQ(record_.name, "PL7230");
    EXPECT_EQ(record_.common->mLowerMax, 7u);
    EXPECT_EQ(record_.common->mScanMinImage, 1u);
    bool sized = false;
    for (const std::string &line : journal())
        if (line.rfind("cam_init 0 0 1280 960", 0) == 0) sized = true;
    EXPECT_TRUE(sized) << read_file(FRAMECAM_JOURNAL_PATH);
    SCANNER_FRAME_SIZE size{};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SIZE, 0, &size), 0);
    EXPECT_EQ(size.width, 1280u);
    EXPECT_EQ(size.height, 960u);
    EXPECT_TRUE(logged("LowerMax      [7] "));
    EXPECT_FALSE(logged("Platform      ["));
    EXPECT_TRUE(logged("Version1 ["));
    char version[ENGINE_VERSION_SIZE] = {};
    EXPECT_GT(record_.scanner_version(&record_, version), 0);
    EXPECT_STREQ(version, "V1.0");
}

TEST_F(Pl7230Test, DirectionIsClampedAboveTwo) {
    for (int direction : {5, 2}) {
        SCOPED_TRACE(direction);
        write_file(kProbePath, "");
        if (record_.engineXml != nullptr) XMLClose(record_.engineXml);
        open_engine_xml(engine_xml(probe_cmd(kPlatform, kProbePath),
                                   "<ScanDirection>" + std::to_string(direction) + "</ScanDirection>",
                                   "<ScanBuffer>2</ScanBuffer><Width>640</Width><Height>480</Height>"));
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        std::vector<std::string> lines = journal();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("cam_init " + std::to_string(direction == 5 ? 1 : 2) + " 0 640 480", 0), 0u)
            << lines.back();
        record_.scanner_deinit(&record_);
    }
}

TEST_F(Pl7230Test, CycleReadsAQrFrameBetweenTheEngineCommands) {
    install_decoder();
    const std::string text = "PL7230 reads through the host camera";
    serve_qr(text, 1280, 960);
    start_engine();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    sim_i2c_clear_transfers(kBus);
    sim_sleep_clear();
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    ASSERT_TRUE(eventually([&] { return engine_commands().size() == 4; }));

    std::vector<Event> got = events_now();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].event, SCN_EVENT_BEEP);
    EXPECT_FALSE(got[0].result);
    EXPECT_EQ(got[1].event, SCN_EVENT_DATA);
    EXPECT_EQ(got[1].codeId, 57u);
    EXPECT_EQ(got[1].kind, 1u);
    EXPECT_EQ(got[1].len1, text.size());
    EXPECT_EQ(got[1].len2, 0u);
    EXPECT_EQ(got[1].bytes, text + std::string(1, '\0'));

    const std::vector<std::string> expected = {"@5c/0/400: 55 01 AA", "@5c/0/400: 59 01 A6", "@5c/0/400: 55 00 AB",
                                               "@5c/0/400: 59 00 A7"};
    EXPECT_EQ(engine_commands(), expected);
    // The 50 ms between the two messages of each command.
    int gaps = 0;
    for (const SimWait &w : sim_sleep_waits())
        if (w.ms == 50) ++gaps;
    EXPECT_GE(gaps, 2);
    // The stream keeps running after the cycle.
    EXPECT_EQ(cam_get_state(), CAM_STATE_OPEN | CAM_STATE_STREAMING);
    EXPECT_EQ(journal_calls("cam_stop"), 0);
}

// The frame source keeps frames in the slots the camera does not write while nobody reads:
// a cycle that starts after the camera turned to a frame without a code reads nothing of
// the frames before its start.
TEST_F(Pl7230Test, ACycleDecodesNoFrameOfAnEarlierCycle) {
    install_decoder();
    serve_qr("the earlier scene", 752, 480);
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/blank.pgm"), testkit::Frame(752, 480, 200)));
    write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/qr.pgm\n/data/framecam/blank.pgm\n");
    start_engine();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    // The service stops the cycle when a code arrived.
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    {
        std::lock_guard<std::mutex> hold(events_lock());
        events().clear();
    }
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 2, nullptr), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_WAIT_FRAME, 30000, nullptr), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    // A few frames of the new scene through the running cycle.
    for (int frame = 0; frame < 4; ++frame) {
        ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 2, nullptr), 0);
        ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_WAIT_FRAME, 30000, nullptr), 0);
    }
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    EXPECT_FALSE(has_event(SCN_EVENT_DATA));
    EXPECT_FALSE(has_event(SCN_EVENT_BEEP));
}

TEST_F(Pl7230Test, CycleWithoutPowerOrCameraEndsUndelivered) {
    install_decoder();
    start_engine();
    struct Case {
        const char *label;
        int opened;
        int fail_bits;
        const char *line;
    };
    const Case cases[] = {
        {"not opened", 0, 0, "Error Power Off NowPid"},
        {"camera open fails", 1, FRAMECAM_FAIL_OPEN, "open_camera= Open Error"},
        {"stream start fails", 1, FRAMECAM_FAIL_START, "open_camera= Stream Error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        record_.scanner_close(&record_);
        record_.opened = c.opened;
        sim_i2c_clear_transfers(kBus);
        if (c.fail_bits != 0) {
            ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_FAIL_NEXT, c.fail_bits, nullptr), 0);
        }
        ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
        ASSERT_TRUE(eventually([&] { return logged(c.line); }));
        ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
        EXPECT_TRUE(events_now().empty());
        // No start command; the close callback's stop command only when powered.
        for (const std::string &cmd : engine_commands()) {
            EXPECT_EQ(cmd.find(" 01 "), std::string::npos) << cmd;
        }
        if (c.fail_bits != 0) {
            EXPECT_EQ(cam_get_state() & CAM_STATE_OPEN, 0u);
        }
    }
}

TEST_F(Pl7230Test, LowPowerStopsTheStreamAndTheNextStartReads) {
    install_decoder();
    const std::string text = "after low power";
    serve_qr(text, 1280, 960);
    start_engine("<ScanBuffer>3</ScanBuffer><SleepTime>1</SleepTime>");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    // The service stops the cycle when a code arrived; the idle seconds count from there.
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return logged("SCANNER_IOCTRL_LOWPOWER [PL7230] oper"); })) << log_text();
    EXPECT_TRUE(eventually([&] { return journal_calls("cam_stop") == 1; }));
    EXPECT_EQ(cam_get_state(), CAM_STATE_OPEN);
    {
        std::lock_guard<std::mutex> hold(events_lock());
        events().clear();
    }
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    EXPECT_EQ(journal_calls("cam_start"), 2);
}

TEST_F(Pl7230Test, ControlsAsATable) {
    install_decoder();
    start_engine();
    SCANNER_FRAME_SIZE size{};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SIZE, 0, nullptr), -1);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_GET_SIZE, 0, &size), 0);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), 1);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, 0x22, 5, nullptr), 0);
    EXPECT_TRUE(eventually([&] { return journal_calls("cam_ioctrl") >= 1; }));
    bool passed = false;
    for (const std::string &line : journal())
        if (line.find("0x22 5") != std::string::npos) passed = true;
    EXPECT_TRUE(passed) << read_file(FRAMECAM_JOURNAL_PATH);
    record_.powerLocked = 1;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, nullptr), 0);
    EXPECT_EQ(record_.powerLocked, 1);
    record_.powerLocked = 0;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 0, nullptr), 0);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SAVE_BMP, 1, nullptr), 0);
    EXPECT_EQ(record_.debugSaveImage, 1u);
    record_.debugSaveImage = 0;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, nullptr), -1);
    EXPECT_TRUE(logged("Decode File Error"));
    EXPECT_EQ(record_.scanner_ioctrl(nullptr, SCANNER_IOCTRL_CHECK_LENGTH, 0, nullptr), -1);
}

TEST_F(Pl7230Test, SuppliedImageDecodesWhileIdleAndRestoresTheFrameSize) {
    install_decoder();
    const std::string text = "supplied image";
    serve_qr("frame after the supplied image", 1280, 960);
    start_engine();
    testkit::Frame supplied = render_qr(text, 640, 480);
    IMAGE_REQUEST request{640, 480, supplied.pixels.data()};
    ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), 0);
    DECODE_RESULT &r = record_.common->mResult;
    EXPECT_EQ(r.codeId, 57u);
    EXPECT_EQ(r.len1, text.size());
    EXPECT_EQ(std::string(reinterpret_cast<char *>(r.data), r.len1 + 1), text + std::string(1, '\0'));
    EXPECT_TRUE(logged("PL7230: Decode OK, data:(14)(supplied image) ********************"));
    EXPECT_EQ(read_file(k2dNode), "1");
    // The camera was not used; its frames decode at the frame size again.
    EXPECT_EQ(cam_get_state(), 0u);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);

    // During a cycle: busy.
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return logged("open_camera==========[0]"); }));
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), -1);
    EXPECT_TRUE(logged("Device Is Busy"));
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    EXPECT_EQ(events_now().back().bytes, "frame after the supplied image" + std::string(1, '\0'));
}

// The threads of this process, from /proc/self/task.
int thread_count() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (struct dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

TEST_F(Pl7230Test, CloseStopsTheEngineAndTheStreamAndPowersDown) {
    install_decoder();
    serve_qr("close", 1280, 960);
    // A first thread makes a sanitizer start its own helper thread, which stays: count after it.
    std::thread([] {}).join();
    const int threads = thread_count();
    start_engine();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return logged("open_camera==========[0]"); }));
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    // The cycle's close sends its stop command after the state is idle, 50 ms between the
    // two messages: wait for the second before counting what the device close sends.
    ASSERT_TRUE(eventually([&] {
        const std::vector<std::string> c = engine_commands();
        return !c.empty() && c.back() == "@5c/0/400: 59 00 A7";
    }));
    // Locked power: the core refuses and the power stays on.
    record_.powerLocked = 1;
    EXPECT_EQ(record_.scanner_close(&record_), -1);
    EXPECT_EQ(read_file(k2dNode), "1");
    record_.powerLocked = 0;
    sim_i2c_clear_transfers(kBus);
    EXPECT_EQ(record_.scanner_close(&record_), 0);
    const std::vector<std::string> stop = {"@5c/0/400: 55 00 AB", "@5c/0/400: 59 00 A7"};
    EXPECT_EQ(engine_commands(), stop);
    EXPECT_EQ(cam_get_state(), 0u);
    EXPECT_EQ(read_file(k2dNode), "0");
    EXPECT_EQ(record_.scanner_deinit(&record_), 0);
    EXPECT_EQ(record_.common, nullptr);
    // The cycle's threads and the camera's are gone with the engine.
    EXPECT_TRUE(eventually([&] { return thread_count() == threads; })) << thread_count() << " " << threads;
}

}  // namespace

namespace {

// A start that arrives while a supplied image is being decoded waits for that decode: the
// decoder never serves the caller's thread and the decode thread at once.
TEST_F(Pl7230Test, StartDuringSuppliedImageBeginsAfterIt) {
    install_decoder();
    serve_qr("the cycle's frame", 1280, 960);
    start_engine();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    testkit::Frame supplied = render_qr("supplied first", 1280, 960);
    IMAGE_REQUEST request{1280, 960, supplied.pixels.data()};
    int decoded = -2;
    sim_sleep_clear();
    std::thread caller([&] { decoded = record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request); });
    // The preparation's power-on settling wait: the caller is past its idle test.
    ASSERT_TRUE(eventually([&] {
        for (const SimWait &w : sim_sleep_waits())
            if (w.ms == 300) return true;
        return false;
    }));
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    caller.join();
    EXPECT_EQ(decoded, 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    EXPECT_EQ(events_now().back().bytes, "the cycle's frame" + std::string(1, '\0'));
    const std::string log = log_text();
    size_t ok = log.find("PL7230: Decode OK, data:(14)(supplied first)");
    size_t start = log.find("common_scanner_start_decode oper");
    ASSERT_NE(ok, std::string::npos);
    ASSERT_NE(start, std::string::npos);
    EXPECT_LT(ok, start);
}

// The decoder's record of calls, with the recording fake decoder installed as the decoder.
using Pl7230FakeDecoderTest = Pl7230Test;

// The frame size reaches the decoder at setup: the engine's default, or its own elements.
TEST_F(Pl7230FakeDecoderTest, SetupSetsTheFrameSizeAtTheDecoder) {
    struct Case {
        const char *name;
        const char *size_elements;
        const char *sets;
    } cases[] = {
        {"default frame", "", "S set 100101 1280;S set 100102 960;"},
        {"configured frame", "<Width>640</Width><Height>480</Height>", "S set 100101 640;S set 100102 480;"},
    };
    install_fake();
    bool first = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!first) {
            record_.scanner_deinit(&record_);
            record_.common = nullptr;
            XMLClose(record_.engineXml);
            XMLClose(record_.codeXml);
            record_.engineXml = record_.codeXml = nullptr;
            X3_Free();
            fake_clear();
            bind();
        }
        first = false;
        start_engine(std::string("<ScanFormat>0</ScanFormat><ScanBuffer>3</ScanBuffer>") + c.size_elements);
        EXPECT_NE(fake_calls().find(c.sets), std::string::npos) << fake_calls();
    }
}

// A supplied image is sized at the decoder for its decode, then the frame size is set back,
// whether or not it read a code.
TEST_F(Pl7230FakeDecoderTest, SuppliedImageRestoresTheFrameSizeAtTheDecoder) {
    install_fake();
    start_engine();
    std::vector<uint8_t> pixels(640 * 480, 255);
    IMAGE_REQUEST request{640, 480, pixels.data()};
    struct Case {
        const char *name;
        int decode_result;
        int answer;
    } cases[] = {{"code read", 1, 0}, {"no code", 0, -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake_script(c.decode_result, "fake text");
        fake_clear();
        EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_DECODE_IMAGE, 0, &request), c.answer);
        const std::string record = fake_calls();
        size_t sized = record.find("S set 100101 640;S set 100102 480;");
        size_t decoded = record.find("S decode;");
        size_t restored = record.find("S set 100101 1280;S set 100102 960;");
        ASSERT_NE(sized, std::string::npos) << record;
        ASSERT_NE(decoded, std::string::npos) << record;
        ASSERT_NE(restored, std::string::npos) << record;
        EXPECT_LT(sized, decoded) << record;
        EXPECT_LT(decoded, restored) << record;
        // Nothing reaches the decoder after the restore.
        EXPECT_EQ(restored + strlen("S set 100101 1280;S set 100102 960;"), record.size()) << record;
    }
    EXPECT_TRUE(logged("PL7230: Decode OK, data:(9)(fake text) ********************"));
}

// A camera library control answers whatever the camera library answers, not only 0.
TEST_F(Pl7230Test, CameraLibraryControlAnswersTheLibrarysResult) {
    install_decoder();
    start_engine();
    for (int answer : {7, -1, 0}) {
        SCOPED_TRACE(answer);
        ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_ANSWER_NEXT, answer, nullptr), 0);
        EXPECT_EQ(record_.scanner_ioctrl(&record_, 0x22, 1, nullptr), answer);
        EXPECT_EQ(record_.scanner_ioctrl(&record_, 0x22, 0, nullptr), 0);
    }
    int on = 0;
    for (const std::string &line : journal())
        if (line.find(" 0x22 1") != std::string::npos) ++on;
    EXPECT_EQ(on, 3) << read_file(FRAMECAM_JOURNAL_PATH);
}

}  // namespace
