// The card slot driver against a card simulator on the pseudo-terminal of UART 1 that
// watches the enable and reset nodes of switch channel 1 through the write journal.
#include <poll.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cardslot.h"
#include "cardslot_internal.h"
#include "cardslot_log.h"
#include "hwports.h"
#include "sandbox.h"
#include "service_log.h"
#include "sim.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kSlotUart[] = "/dev/ttyS1";
constexpr char kSlotLines[] = "/sys/psam/";
constexpr char kSlotEnable[] = "/sys/psam/psam_en";
constexpr char kSlotReset[] = "/sys/psam/psam_rst";
const Bytes kSlotAtr = {0x3B, 0x6D, 0x00, 0x00, 0x57};

// The card: its answer to reset on a rising reset edge while enabled, replies from a
// table to the commands it reads.
class PsamCardSim {
  public:
    explicit PsamCardSim(SimPty *pty) : pty_(pty) {
        sim_set_write_hook([this](const std::string &path, const std::string &bytes) { on_line(path, bytes); });
        reader_ = std::thread([this] { serve(); });
    }
    ~PsamCardSim() {
        stop_ = true;
        reader_.join();
        sim_set_write_hook(nullptr);
    }
    void set_atr(const Bytes &atr) {
        std::lock_guard<std::mutex> g(lock_);
        atr_ = atr;
    }
    void answer(const Bytes &command, const Bytes &reply) {
        std::lock_guard<std::mutex> g(lock_);
        replies_[command] = reply;
    }
    Bytes received() {
        std::lock_guard<std::mutex> g(lock_);
        return received_;
    }

  private:
    void on_line(const std::string &path, const std::string &bytes) {
        if (bytes.empty()) return;
        bool high = bytes[0] == '1';
        std::lock_guard<std::mutex> g(lock_);
        if (path == kSlotEnable) enabled_ = high;
        if (path != kSlotReset) return;
        if (high && !reset_high_ && enabled_ && !atr_.empty()) sim_pty_send(pty_, atr_.data(), atr_.size());
        reset_high_ = high;
    }
    void serve() {
        while (!stop_) {
            uint8_t buf[600];
            ssize_t n = sim_pty_receive(pty_, buf, sizeof buf, 20);
            if (n <= 0) continue;
            std::lock_guard<std::mutex> g(lock_);
            received_.insert(received_.end(), buf, buf + n);
            auto it = replies_.find(Bytes(buf, buf + n));
            if (it != replies_.end()) sim_pty_send(pty_, it->second.data(), it->second.size());
        }
    }
    SimPty *pty_;
    std::mutex lock_;
    Bytes atr_ = kSlotAtr;
    std::map<Bytes, Bytes> replies_;
    Bytes received_;
    bool enabled_ = false;
    bool reset_high_ = false;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

class CardslotTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        write_file(kSlotEnable, "0");
        write_file(kSlotReset, "0");
        make_dirs("/dev");
        ASSERT_EQ(sim_pty_open(&pty_, kSlotUart), 0);
        ASSERT_TRUE(svc_sandbox::link_libraries(root_, svc_sandbox::kXmlSystem | svc_sandbox::kCrypto));
    }
    void TearDown() override {
        card_.reset();
        while (unregister_device(0, -1) == 0) {
        }
        cardslot_state() = CardslotState{};
        cardslot_log_level() = kCardslotLogDefault;
        sim_pty_close(&pty_);
        sim_sleep_remove();
        sim_kernel_remove();
        ServiceTest::TearDown();
    }
    void write_drivers(bool with_uart = true) {
        std::string xml = std::string("<?xml version=\"1.0\"?>\n<Driver>\n  <SWITCH1D name=\"1\">") + kSlotLines +
                          "</SWITCH1D>\n";
        if (with_uart) xml += std::string("  <UART name=\"1\">") + kSlotUart + "</UART>\n";
        xml += "</Driver>\n";
        std::string cipher;
        ASSERT_TRUE(svc_sandbox::openssl_encrypt(xml, svc_sandbox::kConfigKey, &cipher));
        write_file("/system/usr/xml/DRIVEREN", cipher);
    }
    void start_card() { card_ = std::make_unique<PsamCardSim>(&pty_); }
    // Line writes ("en=1", "rst=0") and waits ("20ms") in the order they happened.
    static std::vector<std::string> line_story() {
        std::map<uint64_t, std::string> story;
        for (const SimIo &io : sim_io_journal()) {
            if (io.op != 'w') continue;
            if (io.path == kSlotEnable) story[io.seq] = "en=" + io.bytes;
            if (io.path == kSlotReset) story[io.seq] = "rst=" + io.bytes;
        }
        for (const SimWait &w : sim_sleep_waits()) story[w.seq] = std::to_string(w.ms) + "ms";
        std::vector<std::string> out;
        for (auto &e : story) out.push_back(e.second);
        return out;
    }
    void forget_story() {
        sim_io_clear();
        sim_sleep_clear();
    }
    SimPty pty_;
    std::unique_ptr<PsamCardSim> card_;
};

using Story = std::vector<std::string>;

TEST_F(CardslotTest, PowerSequencesRunOncePerChange) {
    write_drivers();
    slot_driver_init();
    EXPECT_EQ(control_power(1, 1), 0);
    EXPECT_EQ(line_story(), (Story{"rst=0", "en=0", "20ms", "en=1", "50ms", "rst=1"}));
    forget_story();
    EXPECT_EQ(control_power(1, 1), 0);
    EXPECT_TRUE(line_story().empty());
    EXPECT_EQ(control_power(1, 0), 0);
    EXPECT_EQ(line_story(), (Story{"rst=0", "20ms", "en=0", "50ms"}));
    // A slot outside the line table switches nothing and leaves the state.
    forget_story();
    for (int bad : {0, -1, 6, 1 << 30}) {
        EXPECT_EQ(control_power(bad, 1), -1) << bad;
        EXPECT_EQ(cardslot_state().power, 0) << bad;
    }
    EXPECT_TRUE(line_story().empty());
}

TEST_F(CardslotTest, OpenCardStoresTheSlotAndSetsTheLine) {
    write_drivers();
    int64_t slot = 0;
    EXPECT_EQ(OpenCard(&slot, 6), -1);
    EXPECT_EQ(OpenCard(&slot, 0), 0);
    EXPECT_EQ(slot, 1);
    PORT_DEVICE *uart = get_module_ops(PORT_KIND_UART, 1);
    ASSERT_NE(uart, nullptr);
    struct termios t;
    int count = 0;
    ASSERT_TRUE(sim_termios_applied(uart->fd, &t, &count));
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(t.c_cflag & PARENB, 0u);
    EXPECT_EQ(t.c_cflag & PARODD, 0u);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    // A caller without a place for the slot: nothing is written through it.
    EXPECT_EQ(OpenCard(nullptr, 1), 0);
    EXPECT_EQ(CloseCard(1), 0);
    EXPECT_EQ(CloseCard(0), -1);
}

TEST_F(CardslotTest, WithoutDriverFileNothingOpensAndTheErrorIsLoggedOnce) {
    int64_t slot = 0;
    uint8_t reply[CARDSLOT_REPLY_SIZE];
    int length = -9;
    const uint8_t command[] = {0x00, 0xA4, 0x04, 0x00};
    EXPECT_EQ(OpenCard(&slot, 1), -1);
    EXPECT_EQ(CardApdu(1, command, 4, reply, &length), -1);
    EXPECT_EQ(CheckCard(1), -1);
    std::string logcat = logcat_text();
    size_t first = logcat.find("driver_init=================Error");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(logcat.find("driver_init=================Error", first + 1), std::string::npos);
}

TEST_F(CardslotTest, CheckCardJudgesTheAnswerToReset) {
    write_drivers();
    start_card();
    struct AtrCase {
        Bytes atr;
        int expected;
    };
    const AtrCase cases[] = {
        {{0x00, 0x3B, 0x10}, 0}, {{0x3F, 0x11}, 0}, {{0x3B, 0x6D}, 0}, {{0x3A, 0x11}, -1}, {{}, -1},
    };
    for (const AtrCase &c : cases) {
        card_->set_atr(c.atr);
        EXPECT_EQ(CheckCard(1), c.expected) << c.atr.size();
        EXPECT_EQ(cardslot_state().power, 1);  // the card stays powered
    }
}

// Sends bursts from the card side at the given offsets (ms) after start.
void cardslot_send_bursts(SimPty *pty, const std::vector<std::pair<int, Bytes>> &bursts) {
    for (const auto &b : bursts) {
        usleep(static_cast<useconds_t>(b.first) * 1000);
        sim_pty_send(pty, b.second.data(), b.second.size());
    }
}

TEST_F(CardslotTest, ReadPacketJoinsNearBurstsAndStopsAtSilenceOrAFullBuffer) {
    write_drivers();
    int64_t slot = 0;
    ASSERT_EQ(OpenCard(&slot, 1), 0);
    EXPECT_EQ(ReadPacket(1, nullptr, 8, 50), -1);
    uint8_t buf[64];
    std::thread sender([&] { cardslot_send_bursts(&pty_, {{0, {1, 2, 3}}, {30, {4, 5}}, {300, {6, 7}}}); });
    EXPECT_EQ(ReadPacket(1, buf, sizeof buf, 500), 5);
    sender.join();
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(ReadPacket(1, buf, 2, 500), 2);  // the late burst, whole buffer
    EXPECT_EQ(ReadPacket(1, buf, sizeof buf, 20), 0);
    Bytes many(40, 0x55);
    sim_pty_send(&pty_, many.data(), many.size());
    EXPECT_EQ(ReadPacket(1, buf, 16, 500), 16);
}

TEST_F(CardslotTest, CardApduPowersAFreshSlotFlushesAndExchanges) {
    write_drivers();
    start_card();
    card_->answer({0x00, 0xA4, 0x04, 0x00}, {0x90, 0x00});
    // A byte the card sent before the command is flushed with the power-on wait.
    sim_sleep_set_hook([this](int ms) {
        if (ms == 500) {
            const uint8_t stale = 0x77;
            sim_pty_send(&pty_, &stale, 1);
            usleep(20000);
        }
    });
    const uint8_t command[] = {0x00, 0xA4, 0x04, 0x00};
    uint8_t reply[CARDSLOT_REPLY_SIZE] = {};
    int length = -1;
    EXPECT_EQ(CardApdu(1, command, 4, reply, &length), 0);
    sim_sleep_set_hook(nullptr);
    EXPECT_EQ(cardslot_state().power, 1);
    ASSERT_EQ(length, 2);
    EXPECT_EQ(reply[0], 0x90);
    EXPECT_EQ(reply[1], 0x00);
    Story story = line_story();
    ASSERT_FALSE(story.empty());
    EXPECT_EQ(story.back(), "500ms");
    // A card that never answers: the count written, length 0.
    const uint8_t unknown[] = {0x80, 0xCA, 0x00};
    EXPECT_EQ(CardApdu(1, unknown, 3, reply, &length), 3);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(CardApdu(1, nullptr, 3, reply, &length), -1);
    EXPECT_EQ(CardApdu(1, unknown, 3, reply, nullptr), -1);
    EXPECT_EQ(CardApdu(7, unknown, 3, reply, &length), -1);
}

TEST_F(CardslotTest, PrintCustomHexFormsAndBoundsItsText) {
    const uint8_t two[] = {0x0a, 0xff};
    PrintCustomHex("dump", two, 2);
    EXPECT_NE(logcat_text().find("dump [ 0xa 0xff]"), std::string::npos);
    std::vector<uint8_t> many(1000, 0xff);  // 5 characters each
    PrintCustomHex("long", many.data(), static_cast<int>(many.size()));
    std::string logcat = logcat_text();
    size_t at = logcat.find("long [");
    ASSERT_NE(at, std::string::npos);
    size_t end = logcat.find(']', at);
    EXPECT_EQ(end - at - 6, 2045u);  // 409 whole bytes fit in 2,047 characters
    cardslot_log_level() = 0x08;
    PrintCustomHex("quiet", two, 2);
    EXPECT_EQ(logcat_text().find("quiet"), std::string::npos);
}

}  // namespace
