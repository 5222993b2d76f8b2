// The RV2X/RV1X driver with the sockets of the stack: the aimer calibration reported to a
// client of the service socket, and lottery mode's two-code results and image server.
#include <stdint.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "net_client.h"
#include "rv21_test.h"
#include "scanner_service.h"
#include "zptlog.h"

namespace {

constexpr char kRvImageSocket[] = "com.corvane.brevik.servicesocket";

size_t rv_find_first(const std::vector<std::string> &list, const std::string &what) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == what) return i;
    return list.size();
}

// A dark 752 x 480 frame with a bright cross: rows 238-242 and columns 400-404.
testkit::Frame rv_cross_frame() {
    testkit::Frame f;
    f.width = 752;
    f.height = 480;
    f.pixels.assign(752 * 480, 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 752; ++x)
            if ((y >= 238 && y <= 242) || (x >= 400 && x <= 404)) f.pixels[static_cast<size_t>(y) * 752 + x] = 255;
    return f;
}

class Rv21SocketTest : public Rv21Test {
  protected:
    void SetUp() override {
        Rv21Test::SetUp();
        ASSERT_EQ(symlink(SPOTFIND_LIBRARY, host("/system/lib64/libspotfind.so").c_str()), 0);
        log_set_level(0x3F);
    }
    void TearDown() override {
        if (net_) {
            client_.close();
            zpt_net_deinit();
        }
        property_set("ro.build.scanner.api", "");
        Rv21Test::TearDown();
    }
    void open_service_socket() {
        device_.current = &record_;
        device_.state = 1;
        list_init(&device_.codeGroups);
        list_init(&device_.settings);
        ASSERT_EQ(zpt_net_init(&device_), 0);
        net_ = true;
        ASSERT_TRUE(client_.open());
    }
    // The bytes of the calibration reports the client received.
    std::vector<std::vector<uint8_t>> focus_reports() {
        std::vector<std::vector<uint8_t>> out;
        for (const NetReport &r : client_.reports())
            if (r.command == 0x0F) out.push_back(r.payload);
        return out;
    }
    int detections() const { return count_in(log_text(), "FOCUS_POINT_LOW x ["); }

    DEVICE_OBJECT device_{};
    NetClient client_;
    bool net_ = false;
};

// A calibration started before the cycle: the open lights the LED with 3 and the engine's
// illumination off; its frames report no code; the close ends it, writes the area to 0xCB
// and reads it back, and the service socket's client gets 0x20F with 0; a refused write or
// a different read-back gets 1.
TEST_F(Rv21SocketTest, CalibrationIsStoredAndReported) {
    install_decoder();
    make_dirs("/data/framecam");
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/cross.pgm"), rv_cross_frame()));
    const std::string text = "not while calibrating";
    frame_ = render_qr(text, 752, 480);
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/qr.pgm"), frame_));
    write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/cross.pgm\n/data/framecam/qr.pgm\n");
    start_rv(0x80, kRvPlatform2, "", "<FocusType>1</FocusType>");
    open_service_socket();
    ASSERT_EQ(record_.scanner_open(&record_), 0);

    // A QR frame while calibrating: no code.
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 2, nullptr), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 1, nullptr), 0);
    sim_i2c_clear_transfers(kBus);
    start_cycle();
    int seen = detections();
    ASSERT_TRUE(eventually([&] { return detections() >= seen + 5; }));
    end_cycle();
    EXPECT_FALSE(has_event(SCN_EVENT_DATA));
    std::vector<std::string> w = rv_writes();
    EXPECT_NE(rv_find_first(w, "F4=03"), w.size()) << "LED 3 while calibrating";
    EXPECT_EQ(rv_find_first(w, "F5=01"), w.size()) << "the engine's illumination stays off";
    ASSERT_TRUE(eventually([&] { return focus_reports().size() == 1u; }));

    struct Rv21CalibrationCase {
        const char *name;
        int refuse; // writes of 0xCB refused
        int skew;   // register whose read-back differs
        uint8_t report;
    };
    const Rv21CalibrationCase cases[] = {
        {"stored", 0, -1, 0}, {"write refused", 1000, -1, 1}, {"read back differently", 0, 0xCB, 1}};
    size_t reports = 1;
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    for (const Rv21CalibrationCase &c : cases) {
        SCOPED_TRACE(c.name);
        memset(regs_ + 0xCB, 0, 16);
        ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 1, nullptr), 0);
        start_cycle();
        seen = detections();
        ASSERT_TRUE(eventually([&] { return detections() >= seen + 22; }));
        rv21_bus().refuseWrites[0xCB] = c.refuse;
        rv21_bus().skewRead = c.skew;
        end_cycle();
        rv21_bus().refuseWrites[0xCB] = 0;
        rv21_bus().skewRead = -1;
        ++reports;
        ASSERT_TRUE(eventually([&] { return focus_reports().size() == reports; }));
        EXPECT_EQ(focus_reports().back(), std::vector<uint8_t>{c.report});
        if (c.report == 0) {
            int32_t words[4];
            memcpy(words, regs_ + 0xCB, sizeof words);
            EXPECT_EQ(std::vector<int32_t>(words, words + 4), (std::vector<int32_t>{0, 752, 240, 240}));
            EXPECT_TRUE(logged("X3 Focus End!"));
        }
    }
}

// A calibration started and ended by maintenance requests while a cycle runs: the requests
// meet the decode thread's frames in the focus state (the ThreadSanitizer run watches it).
// While it collects, the decoded frames report nothing; its end stores the area and reports
// 0, and the same cycle reports codes again.
TEST_F(Rv21SocketTest, CalibrationStartedAndEndedDuringTheCycle) {
    install_fake();
    make_dirs("/data/framecam");
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/cross.pgm"), rv_cross_frame()));
    write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/cross.pgm\n");
    start_rv(0x80, kRvPlatform2, "", "<FocusType>1</FocusType>");
    open_service_socket();
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    memset(regs_ + 0xCB, 0, 16);
    // Every frame decodes; only the calibration holds the codes back.
    fake_script(1, "after the calibration");
    ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 1, nullptr), 0);
    start_cycle();
    const int seen = detections();
    ASSERT_TRUE(eventually([&] { return detections() >= seen + 22; }));
    EXPECT_FALSE(has_event(SCN_EVENT_DATA));
    ASSERT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_SENSOR_ADJUST, 0, nullptr), 0);
    ASSERT_TRUE(eventually([&] { return focus_reports().size() == 1u; }));
    EXPECT_EQ(focus_reports().back(), std::vector<uint8_t>{0});
    int32_t words[4];
    memcpy(words, regs_ + 0xCB, sizeof words);
    EXPECT_EQ(std::vector<int32_t>(words, words + 4), (std::vector<int32_t>{0, 752, 240, 240}));
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    end_cycle();
    EXPECT_EQ(events_now().back().bytes, std::string("after the calibration") + '\0');
    // The close finds no calibration left to end: one report.
    plat_sleep_real(30);
    EXPECT_EQ(focus_reports().size(), 1u);
}

// Lottery mode: a joined result of two codes is reported as kind 2 with both lengths, and
// the frame is served by the image server as its luma plane; a count of 1 gives kind 1.
TEST_F(Rv21SocketTest, LotteryModeTwoCodesAndTheImageServer) {
    ASSERT_EQ(property_set("ro.build.scanner.api", "1"), 0);
    install_fake();
    make_dirs("/data/framecam");
    testkit::Frame ramp;
    ramp.width = 752;
    ramp.height = 480;
    ramp.pixels.resize(752 * 480);
    for (size_t i = 0; i < ramp.pixels.size(); ++i) ramp.pixels[i] = static_cast<uint8_t>((i / 752 + i % 752) & 0xFF);
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/ramp.pgm"), ramp));
    write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/ramp.pgm\n");
    start_rv(0x80);
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    auto text_bytes = fake_fn<void (*)(const uint8_t *, uint32_t)>("fake_decoder_text_bytes");
    ASSERT_NE(text_bytes, nullptr);
    const uint8_t joined[] = {2, 0, 3, 0, 'A', 'B', 'C', 2, 0, 'D', 'E'};

    struct Rv21LotteryCase {
        uint32_t count;
        uint32_t kind, len1, len2;
    };
    const Rv21LotteryCase cases[] = {{2, 2, 3, 2}, {1, 1, sizeof joined, 0}};
    for (const Rv21LotteryCase &c : cases) {
        SCOPED_TRACE(c.count);
        events().clear();
        fake_script(1, nullptr);
        text_bytes(joined, sizeof joined);
        fake_answer(VEXO_ID_JOINED_COUNT, c.count);
        start_cycle();
        ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
        end_cycle();
        Event got = events_now().back();
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.len1, c.len1);
        EXPECT_EQ(got.len2, c.len2);
    }
    EXPECT_TRUE(logged("TiCai 4G get image"));
    // The image server gives the whole buffer, the frame first.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path + 1, kRvImageSocket, strlen(kRvImageSocket));
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&address),
                      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + strlen(kRvImageSocket))),
              0);
    std::string bytes;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
    close(fd);
    ASSERT_GE(bytes.size(), ramp.pixels.size());
    EXPECT_EQ(bytes.substr(0, ramp.pixels.size()), std::string(ramp.pixels.begin(), ramp.pixels.end()));
    // The server saves its copy after the connection.
    EXPECT_TRUE(eventually([&] { return logged("SaveFile [/data/barcode.yuv]"); }));
}

} // namespace
