// Firmware upgrades: the firmware file header, the I2C transfer against a model of the
// engine's upgrade registers, and the GT51X0 serial transfer against an engine simulator
// on a pseudo-terminal's master side. CRC-32 is checked against zlib's.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine_test.h"
#include "gt51x0_sim.h"

namespace {

using namespace std::string_literals;
using namespace gt51x0;

// ---- Header ----

struct Parsed {
    const uint8_t *data[3] = {};
    uint32_t size[3] = {};
    int result = -1;
};

const uint8_t *const kUntouched = reinterpret_cast<const uint8_t *>(0x1);

Parsed parse(const Bytes &file, size_t length) {
    Parsed p;
    for (auto &d : p.data) d = kUntouched;
    for (auto &s : p.size) s = 0xEEEEEEEEu;
    p.result = upgrade_parse_header(&p.data[0], &p.size[0], &p.data[1], &p.size[1], &p.data[2], &p.size[2],
                                    file.data(), static_cast<uint32_t>(length));
    return p;
}

class UpgradeHeaderTest : public EngineTest {};

TEST_F(UpgradeHeaderTest, ThePartsOfAFileAreFoundByTheirOffsetsAndEveryFlaggedPartMustLieInside) {
    FirmwareFile f = make_file(100, 1000, 700);
    Parsed p = parse(f.bytes, f.bytes.size());
    EXPECT_EQ(p.result, 7);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(p.size[i], f.parts[i].size());
        EXPECT_EQ(Bytes(p.data[i], p.data[i] + p.size[i]), f.parts[i]);
    }
    EXPECT_TRUE(logged("dwKrnlSize    [1000]"));
    EXPECT_TRUE(logged("dwConfOffset  [" + std::to_string(UPGRADE_FILE_HEADER_SIZE + 1100) + "]"));
    EXPECT_TRUE(logged("byConfMsg     [conf message]"));
    EXPECT_TRUE(logged("DownLload Type [7]"));
    // A 32-byte text without its terminator: logged at its width, nothing after it.
    EXPECT_TRUE(logged("byKrnlFWVer   [" + std::string(32, 'V') + "]"));

    struct Case {
        const char *name;
        Bytes file;
        size_t length;
        int result;
        const char *log;
    };
    FirmwareFile none = make_file(0, 0, 0);
    FirmwareFile config_only = make_file(0, 0, 700);
    Bytes past = config_only.bytes;
    put_le32(past, 0x0D4, 701);  // one byte past the end
    Bytes wraps = config_only.bytes;
    put_le32(wraps, 0x0D8, 0xFFFFFF00u);  // offset + size wraps in 32 bits
    const Case cases[] = {
        {"header one byte short", f.bytes, UPGRADE_FILE_HEADER_SIZE - 1, 0, nullptr},
        {"no flag", none.bytes, none.bytes.size(), 0, nullptr},
        {"configuration past the end", past, past.size(), 0, "Part [config] Offset [2268] Size [701]"},
        {"offset wraps", wraps, wraps.size(), 0, "Part [config] Offset [4294967040] Size [700]"},
        {"file cut inside the kernel", f.bytes, UPGRADE_FILE_HEADER_SIZE + 1099, 0, "Part [kernel]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Parsed q = parse(c.file, c.length);
        EXPECT_EQ(q.result, c.result);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(q.data[i], kUntouched);
            EXPECT_EQ(q.size[i], 0xEEEEEEEEu);
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(logged(c.log));
        }
    }
    // Only the configuration part: the other outputs stay as they were.
    Parsed q = parse(config_only.bytes, config_only.bytes.size());
    EXPECT_EQ(q.result, 4);
    EXPECT_EQ(q.data[0], kUntouched);
    EXPECT_EQ(q.data[1], kUntouched);
    EXPECT_EQ(q.size[2], 700u);
    EXPECT_EQ(upgrade_parse_header(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, f.bytes.data(),
                                   static_cast<uint32_t>(f.bytes.size())),
              0);
}

TEST_F(UpgradeHeaderTest, FramesCarryZlibsCrc32BigEndian) {
    for (uint32_t n : {0u, 1u, 7u, 512u, 4099u}) {
        Bytes b = seeded(n, n + 1);
        EXPECT_EQ(upgrade_crc32(b.data(), n), zcrc(b.data(), n)) << n;
    }
    uint8_t out[600];
    ASSERT_EQ(GT51X0_Upgrade_PackCmd("?OSVer", 6, out), 14);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 10), "\x02\x05\x00\x06?OSVer"s);
    std::string crc;
    put_be32(crc, zcrc(out, 10));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 10, 4), crc);

    Bytes data = seeded(512, 3);
    ASSERT_EQ(GT51X0_Upgrade_PackData(data.data(), 512, out), 517);
    EXPECT_EQ(out[0], 0x02);
    EXPECT_EQ(Bytes(out + 1, out + 513), data);
    crc.clear();
    put_be32(crc, zcrc(out, 513));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out) + 513, 4), crc);

    EXPECT_EQ(GT51X0_Upgrade_PackCmd("?OSVer", 0, out), 0);
    EXPECT_EQ(GT51X0_Upgrade_PackCmd(nullptr, 6, out), 0);
    EXPECT_EQ(GT51X0_Upgrade_PackCmd("?OSVer", 6, nullptr), 0);
    EXPECT_EQ(GT51X0_Upgrade_PackData(data.data(), 0, out), 0);
    EXPECT_EQ(GT51X0_Upgrade_PackData(nullptr, 512, out), 0);
}

// ---- I2C register model ----

// The engine's upgrade registers 0x10-0x18: status 0x14 from a script (the last value
// repeats), each data block checked against its check byte and placed by its number.
class RegisterModel {
  public:
    struct Access {
        uint64_t seq;
        char op;  // 'w' or 'r'
        int reg;
        Bytes bytes;
    };
    static RegisterModel *current;

    std::vector<Access> accesses;
    std::deque<uint8_t> status_script{0};
    int short_register = -1;  // a write to it transfers one byte less
    int fail_read_at = -1;    // the nth read (from 0) transfers nothing
    Bytes image;
    int bad_checks = 0;
    uint8_t address = 0;

    static int write(uint8_t address, int reg, const uint8_t *bytes, int count) {
        RegisterModel &m = *current;
        m.address = address;
        m.accesses.push_back({sim_next_sequence(), 'w', reg, Bytes(bytes, bytes + count)});
        if (reg == m.short_register) return count - 1;
        if (reg == 0x15 && count == 4) m.block_ = (bytes[0] << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
        if (reg == 0x16 && count == 1) m.check_ = bytes[0];
        if (reg == 0x17 && count == 512 && m.block_ >= 1) {
            uint8_t x = 0;
            for (int i = 0; i < count; ++i) x ^= bytes[i];
            if (static_cast<uint8_t>(~x) != m.check_) ++m.bad_checks;
            size_t at = static_cast<size_t>(m.block_ - 1) * 512;
            if (m.image.size() < at + 512) m.image.resize(at + 512);
            std::copy(bytes, bytes + count, m.image.begin() + static_cast<long>(at));
        }
        return count;
    }
    static int read(uint8_t, int reg, uint8_t *bytes, int count) {
        RegisterModel &m = *current;
        int index = m.reads_++;
        uint8_t v = m.status_script.front();
        if (m.status_script.size() > 1) m.status_script.pop_front();
        if (index == m.fail_read_at) {
            m.accesses.push_back({sim_next_sequence(), 'r', reg, {}});
            return 0;
        }
        if (count > 0) bytes[0] = v;
        m.accesses.push_back({sim_next_sequence(), 'r', reg, Bytes(bytes, bytes + count)});
        return count;
    }
    // Register accesses and waits merged in order: "w10:00 s50 r14 ...".
    std::string trace(bool with_bytes = true) const {
        std::vector<std::pair<uint64_t, std::string>> events;
        for (const Access &a : accesses) {
            char head[16];
            snprintf(head, sizeof head, "%c%02x", a.op, a.reg);
            std::string e = head;
            if (with_bytes && a.op == 'w' && a.reg != 0x17) {
                e += ':';
                for (uint8_t b : a.bytes) {
                    char hex[4];
                    snprintf(hex, sizeof hex, "%02x", b);
                    e += hex;
                }
            }
            events.push_back({a.seq, e});
        }
        for (const SimWait &w : sim_sleep_waits()) events.push_back({w.seq, "s" + std::to_string(w.ms)});
        std::sort(events.begin(), events.end());
        std::string out;
        for (auto &e : events) out += (out.empty() ? "" : " ") + e.second;
        return out;
    }
    int writes_of(int reg) const {
        return static_cast<int>(std::count_if(accesses.begin(), accesses.end(),
                                              [&](const Access &a) { return a.op == 'w' && a.reg == reg; }));
    }

  private:
    int block_ = 0;
    uint8_t check_ = 0;
    int reads_ = 0;
};
RegisterModel *RegisterModel::current = nullptr;

std::vector<int> g_progress;
void record_progress(int p) { g_progress.push_back(p); }

class UpgradeI2cTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        RegisterModel::current = &model_;
        g_progress.clear();
        Upgrade_Init(0x12, RegisterModel::write, RegisterModel::read, record_progress);
    }
    void TearDown() override {
        RegisterModel::current = nullptr;
        EngineTest::TearDown();
    }
    RegisterModel model_;
};

TEST_F(UpgradeI2cTest, AKernelPartOfTwoBlocksGoesThroughTheRegistersWithTheFixedWaits) {
    Bytes part = seeded(513, 11);
    ASSERT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 513), 0);
    auto block_trace = [&](int n, uint8_t check) {
        char b[128];
        snprintf(b, sizeof b, "w15:%08x s100 w16:%02x s100 r14 s100 w17 s100 r14 s100", n, check);
        return std::string(b);
    };
    uint8_t x = 0;
    for (int i = 0; i < 512; ++i) x ^= part[i];
    const std::string expected = "w10:00 s50 w18:00 w11:00000201 s50 w12:00000002 s50 w13:0200 s50 r14 " +
                                 block_trace(1, static_cast<uint8_t>(~x)) + " " +
                                 block_trace(2, static_cast<uint8_t>(~part[512]));
    EXPECT_EQ(model_.trace(), expected);
    EXPECT_EQ(model_.address, 0x12);
    EXPECT_EQ(model_.bad_checks, 0);
    ASSERT_EQ(model_.image.size(), 1024u);
    EXPECT_EQ(Bytes(model_.image.begin(), model_.image.begin() + 513), part);
    EXPECT_EQ(Bytes(model_.image.begin() + 513, model_.image.end()), Bytes(511, 0));
    EXPECT_EQ(g_progress, (std::vector<int>{0, 50}));
    EXPECT_TRUE(logged("UPGRADE_TYPE_KERNEL"));
    EXPECT_TRUE(logged("Now [2] All [2]"));
}

TEST_F(UpgradeI2cTest, AConfigurationPartWritesMode3AndOtherTypesAreRefusedBeforeAnyAccess) {
    Bytes part = seeded(512, 12);
    ASSERT_EQ(Upgrade_Running(UPGRADE_TYPE_CONFIG, part.data(), 512), 0);
    ASSERT_FALSE(model_.accesses.empty());
    EXPECT_EQ(model_.accesses[0].bytes, Bytes{3});
    EXPECT_EQ(model_.writes_of(0x17), 1);
    EXPECT_EQ(model_.image, part);
    EXPECT_TRUE(logged("UPGRADE_TYPE_CONFIG"));

    struct Refused {
        int type;
        const char *name;
    };
    for (const Refused &r : {Refused{0, "UPGRADE_TYPE_NONE"}, Refused{1, "UPGRADE_TYPE_BOOT"},
                             Refused{3, "UPGRADE_TYPE_UNKNOW"}, Refused{7, "UPGRADE_TYPE_UNKNOW"}}) {
        model_.accesses.clear();
        EXPECT_EQ(Upgrade_Running(r.type, part.data(), 512), -1) << r.type;
        EXPECT_TRUE(model_.accesses.empty()) << r.type;
        EXPECT_TRUE(logged(r.name)) << r.type;
    }
    model_.accesses.clear();
    EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 0), -1);
    EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, nullptr, 512), -1);
    Upgrade_Init(0x12, nullptr, RegisterModel::read, nullptr);
    EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 512), -1);
    Upgrade_Init(0x12, RegisterModel::write, nullptr, nullptr);
    EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 512), -1);
    EXPECT_TRUE(model_.accesses.empty());
}

TEST_F(UpgradeI2cTest, TheEnginesStatusAndShortTransfersEndTheUpgrade) {
    Bytes part = seeded(512, 13);
    // Status reads: after the start, after the check byte, then the polls of the data.
    struct Case {
        const char *name;
        std::deque<uint8_t> script;
        int short_register;
        int fail_read_at;
        const char *message;
        int data_writes;
    };
    const Case cases[] = {
        {"busy for ever", {0, 0, 1}, -1, -1, nullptr, 5},
        {"error before the blocks", {2}, -1, -1, "Error 0x14 0x02 [0x14]", 0},
        {"error after the check byte", {0, 2}, -1, -1, "Error 0x14 0x02", 0},
        {"error after the data", {0, 0, 2}, -1, -1, "Error 0x14 0x02", 1},
        {"busy, then error", {0, 0, 1, 2}, -1, -1, "Error 0x14 0x02", 1},
        {"status unreadable", {0}, -1, 0, "Error 0x14", 0},
        {"mode one byte short", {0}, 0x10, -1, nullptr, 0},
        {"length one byte short", {0}, 0x11, -1, nullptr, 0},
        {"data one byte short", {0}, 0x17, -1, "Write I2c Error", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        model_ = RegisterModel{};
        model_.status_script = c.script;
        model_.short_register = c.short_register;
        model_.fail_read_at = c.fail_read_at;
        EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 512), -1);
        EXPECT_EQ(model_.writes_of(0x17), c.data_writes);
        if (c.message != nullptr) {
            EXPECT_TRUE(logged(c.message));
        }
    }
    // Busy for ever: the block goes out at attempts 0, 2, 4, 6 and 8, ten polls in all.
    model_ = RegisterModel{};
    model_.status_script = {0, 0, 1};
    sim_sleep_clear();
    EXPECT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 512), -1);
    const std::string trace = model_.trace(false);
    const std::string tail = trace.substr(trace.find("w17"));
    EXPECT_EQ(tail, "w17 s100 r14 s100 r14 w17 s100 r14 s100 r14 w17 s100 r14 s100 r14 w17 s100 r14 s100 r14 "
                    "w17 s100 r14 s100 r14");
}

// ---- Progress to the Java side ----

TEST_F(UpgradeI2cTest, WithoutAProgressFunctionEachNewValueIsLoggedOnce) {
    Upgrade_Init(0x12, RegisterModel::write, RegisterModel::read, nullptr);
    Bytes part = seeded(3 * 512, 14);
    ASSERT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), 3 * 512), 0);
    // 0 equals the value at load: not sent.
    EXPECT_FALSE(logged("Upgrade Running [0]"));
    EXPECT_TRUE(logged("Upgrade Running [33]"));
    EXPECT_TRUE(logged("Upgrade Running [66]"));
    upgrade_report_progress(66);
    const std::string log = log_text();
    size_t first = log.find("Upgrade Running [66]");
    EXPECT_EQ(log.find("Upgrade Running [66]", first + 1), std::string::npos);
}

constexpr char kUpgradeSwitchDir[] = "/sys/devices/switch/";
constexpr char kUpgradeSwitchNode[] = "/sys/devices/switch/scan_switch";
constexpr char kUpgradeTty[] = "/dev/ttyS1";

class UpgradeSerialTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        make_dirs("/dev");
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kUpgradeSwitchDir) + node, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kUpgradeSwitchDir), 0);
        ASSERT_EQ(sim_pty_open(&pty_, kUpgradeTty), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 1, kUpgradeTty), 0);
        ASSERT_GT(serial_open(1, 115200, 0), 0);
        record_ = make_record(ENGINE_KIND_SERIAL);
        ASSERT_EQ(common_scanner_init(&record_, RecordingDriver::init, RecordingDriver::step, RecordingDriver::open,
                                      RecordingDriver::close),
                  0);
        g_progress.clear();
        GT51X0_Upgrade_Init(record_progress);
        sim_ = std::make_unique<Gt51x0Sim>(&pty_);
        sim_->start();
        sim_io_clear();
        sim_sleep_clear();
    }
    void TearDown() override {
        sim_->stop();
        common_scanner_deinit(&record_, nullptr);
        EngineTest::TearDown();
        sim_pty_close(&pty_);
    }
    int upgrade(const Bytes &file, int oper = 0) {
        return GT51X0_Upgrade_Running(&record_, file.data(), static_cast<uint32_t>(file.size()), oper);
    }
    // The simulator's requests as texts: command frames by their text, single bytes as
    // they are, data frames as "D<n part bytes>".
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (const auto &r : sim_->requests()) {
            const auto *u = reinterpret_cast<const uint8_t *>(r.bytes.data());
            if (r.bytes.size() == 517) out.push_back("DATA");
            else if (r.bytes.size() >= 8 && u[0] == 0x02 && u[1] == 0x05) out.push_back(r.bytes.substr(4, r.bytes.size() - 8));
            else if (r.bytes.size() == 13) out.push_back("ENTER");
            else out.push_back(r.bytes);
        }
        return out;
    }
    std::vector<std::string> power_writes() {
        std::vector<std::string> out;
        for (const std::string &w : sim_writes(kUpgradeSwitchNode))
            if (w.rfind("power_", 0) == 0) out.push_back(w.substr(0, w.find('\0')));
        return out;
    }

    RecordingDriver driver_;
    SimPty pty_;
    ENGINE_RECORD record_{};
    std::unique_ptr<Gt51x0Sim> sim_;
};

const std::vector<std::string> kPartExchange(const std::string &length, const std::string &frames,
                                             const std::string &kind) {
    return {"ENTER", "?", "#COMM:115200,8,0,1,", "*", "?OSVer", "?BootVer", "?HardVer", "!DataLens:" + length,
            "!FrameSize:512", "!Frames:" + frames, "!FileType:" + kind, ">Start"};
}

TEST_F(UpgradeSerialTest, AKernelAndAConfigurationPartReachTheEngineWithOnePowerCycleBetween) {
    FirmwareFile f = make_file(0, 1000, 700);
    const std::string path = "/data/fw.bin";
    write_file(path, str(f.bytes));
    uint8_t *buffer = nullptr;
    int32_t length = 0;
    ASSERT_EQ(ReadBinFile(path.c_str(), &buffer, &length), static_cast<int>(f.bytes.size()));
    ASSERT_EQ(static_cast<size_t>(length), f.bytes.size());
    int result = GT51X0_Upgrade_Running(&record_, buffer, static_cast<uint32_t>(length), 0);
    free(buffer);
    EXPECT_EQ(result, 0);

    std::vector<std::string> expected = kPartExchange("1000", "2", "kern");
    expected.insert(expected.end(), {"DATA", "DATA"});
    std::vector<std::string> second = kPartExchange("700", "2", "flah");
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), {"DATA", "DATA"});
    EXPECT_EQ(texts(), expected);

    // Speeds: the enter command at the line's speed, the probes and the speed command at
    // 9600, everything after it at 115200.
    const auto requests = sim_->requests();
    ASSERT_EQ(requests.size(), expected.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        const size_t k = i % 14;
        const int speed = (k == 1 || k == 2) ? 9600 : 115200;
        EXPECT_EQ(requests[i].speed, speed) << i << " " << expected[i];
    }
    // The last kernel frame: 488 part bytes and 24 zeros.
    EXPECT_EQ(requests[13].bytes.substr(1, 512), str(f.parts[1]).substr(512) + std::string(24, '\0'));
    EXPECT_TRUE(sim_->firmware("kern") == str(f.parts[1]));
    EXPECT_TRUE(sim_->firmware("flah") == str(f.parts[2]));
    EXPECT_EQ(power_writes(), (std::vector<std::string>{"power_on", "power_off", "power_on"}));
    EXPECT_EQ(record_.powerLocked, 0);
    EXPECT_EQ(sim_->port_speed(), 115200);
    EXPECT_EQ(g_progress, (std::vector<int>{0, 50, 100, 0, 50, 100}));
    EXPECT_TRUE(logged("OSVer [OS-2.1]"));
    EXPECT_TRUE(logged("HardwareVer [HW-7]"));
    EXPECT_TRUE(logged("Datalen Ack"));
}

TEST_F(UpgradeSerialTest, PowerCyclesFollowOnlyAPartThatSucceeded) {
    // A configuration part alone: no power cycle (the power-up only).
    FirmwareFile config = make_file(0, 0, 700);
    EXPECT_EQ(upgrade(config.bytes), 0);
    EXPECT_EQ(power_writes(), std::vector<std::string>{"power_on"});
    EXPECT_TRUE(sim_->firmware("flah") == str(config.parts[2]));

    // Boot and kernel: the boot part ends in "Error 4", the kernel follows at once.
    sim_io_clear();
    FirmwareFile boot_kernel = make_file(300, 600, 0, 21);
    EXPECT_EQ(upgrade(boot_kernel.bytes), 0);
    EXPECT_TRUE(logged("Error 4"));
    EXPECT_EQ(power_writes(), std::vector<std::string>{"power_on"});
    EXPECT_TRUE(sim_->firmware("kern") == str(boot_kernel.parts[1]));

    // A boot part alone cannot go through this transfer.
    FirmwareFile boot = make_file(300, 0, 0, 22);
    EXPECT_EQ(upgrade(boot.bytes), -1);
    EXPECT_EQ(record_.powerLocked, 0);
    EXPECT_EQ(sim_->port_speed(), 115200);

    // No part: -1 after the power-up.
    sim_io_clear();
    FirmwareFile none = make_file(0, 0, 0);
    EXPECT_EQ(upgrade(none.bytes), -1);
    EXPECT_EQ(power_writes(), std::vector<std::string>{"power_on"});
    EXPECT_EQ(record_.powerLocked, 0);
}

TEST_F(UpgradeSerialTest, ForcedEntryCyclesPowerAndFloodsProbesAt9600) {
    FirmwareFile f = make_file(0, 0, 600, 31);
    EXPECT_EQ(upgrade(f.bytes, UPGRADE_FORCE), 0);
    EXPECT_TRUE(logged("UPGRADE_FORCE End"));
    size_t probes = 0;
    for (const std::string &w : sim_writes(kUpgradeTty)) {
        if (w != "?") break;
        ++probes;
    }
    EXPECT_EQ(probes, 5001u);  // the burst, then the first probe of the ordinary entry
    // Switched directly on the power channel, 500 ms apart through the sleep seam.
    EXPECT_EQ(power_writes(), (std::vector<std::string>{"power_on", "power_off", "power_on"}));
    const std::vector<int> waits = waits_ms();
    ASSERT_GE(waits.size(), 2u);
    EXPECT_EQ(waits[0], 300);  // the power-up's settling
    EXPECT_EQ(waits[1], 500);
    EXPECT_TRUE(sim_->firmware("flah") == str(f.parts[2]));
    const auto requests = sim_->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].bytes.find_first_not_of('?'), std::string::npos);
    EXPECT_EQ(requests[0].speed, 9600);
}

TEST_F(UpgradeSerialTest, RefusedAndFailedUpgradesKeepTheOldFirmware) {
    FirmwareFile f = make_file(0, 0, 700, 41);
    Bytes past = f.bytes;
    put_le32(past, 0x0D4, 701);
    EXPECT_EQ(upgrade(past), -1);
    EXPECT_TRUE(sim_->requests().empty());
    EXPECT_EQ(record_.powerLocked, 0);

    struct Case {
        const char *name;
        Gt51x0Sim::Fault fault;
        const char *message;
    };
    const Case cases[] = {
        {"no 0x06", Gt51x0Sim::Fault::silent_enter, "Error 1"},
        {"no '<'", Gt51x0Sim::Fault::no_ready, "Error 2"},
        {"speed reply of 5 bytes", Gt51x0Sim::Fault::speed_short, "Error 3"},
        {"speed refused", Gt51x0Sim::Fault::speed_refused, "Error 3"},
        {"frame rejected always", Gt51x0Sim::Fault::reject_always, "Send Again Frame ========================== [0]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_->set_fault(c.fault);
        // A line left at 9600 by a failure would show here.
        serial_speed(1, 9600);
        EXPECT_EQ(upgrade(f.bytes), -1);
        EXPECT_TRUE(logged(c.message));
        EXPECT_EQ(sim_->port_speed(), 115200);
        EXPECT_EQ(sim_->firmware("flah"), "");
        EXPECT_EQ(record_.powerLocked, 0);
    }
    // Always rejected: 50 attempts of the first frame, the second never sent.
    const std::vector<std::string> sent = texts();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "DATA"), 50);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "ENTER"), 5);
}

TEST_F(UpgradeSerialTest, AFrameRejectedOnceIsSentAgainAndAFailedKernelFailsTheFile) {
    FirmwareFile f = make_file(0, 1500, 700, 51);
    sim_->set_fault(Gt51x0Sim::Fault::reject_once, 1);
    EXPECT_EQ(upgrade(f.bytes), 0);
    EXPECT_TRUE(logged("Send Again Frame ========================== [1]"));
    EXPECT_TRUE(sim_->firmware("kern") == str(f.parts[1]));

    // The kernel part fails at every frame, the configuration part after it goes through:
    // the file still failed, and no power cycle follows the failed part.
    sim_io_clear();
    FirmwareFile g = make_file(0, 1000, 700, 52);
    auto sim = sim_.get();
    sim->set_fault(Gt51x0Sim::Fault::reject_always, 0);
    sim->set_on_request([&](const std::string &r) {
        if (r.find("!FileType:flah") != std::string::npos) sim->set_fault(Gt51x0Sim::Fault::none);
    });
    EXPECT_EQ(upgrade(g.bytes), -1);
    sim->set_on_request(nullptr);
    EXPECT_TRUE(sim->firmware("kern") == str(f.parts[1]));
    EXPECT_TRUE(sim->firmware("flah") == str(g.parts[2]));
    EXPECT_EQ(power_writes(), std::vector<std::string>{"power_on"});
}

TEST_F(UpgradeSerialTest, AnUpgradeAndADecodeCycleNeverShareTheLine) {
    FirmwareFile f = make_file(0, 600, 700, 61);
    // A running cycle: the upgrade refuses with nothing on the line.
    ASSERT_EQ(common_scanner_start_decode(&record_, RecordingDriver::event, nullptr, 0), 0);
    sim_io_clear();
    EXPECT_EQ(upgrade(f.bytes), -1);
    EXPECT_TRUE(sim_writes(kUpgradeTty).empty());
    common_scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));

    // Starts during the upgrade, one during the power cycle among them, are refused.
    std::atomic<int> starts{0}, refused{0}, in_cycle{0};
    auto try_start = [&] {
        ++starts;
        if (common_scanner_start_decode(&record_, RecordingDriver::event, nullptr, 0) == -1) ++refused;
    };
    sim_sleep_set_hook([&](int ms) {
        if (ms != 500) return;
        ++in_cycle;
        try_start();
    });
    sim_->set_on_request([&](const std::string &r) {
        if (r.size() == 517) try_start();
    });
    const int result = upgrade(f.bytes);
    sim_->set_on_request(nullptr);
    sim_sleep_set_hook(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(in_cycle.load(), 2);  // power off and on, powerLocked cleared between
    EXPECT_EQ(starts.load(), 6);    // and four data frames
    EXPECT_EQ(refused.load(), starts.load());
    EXPECT_TRUE(logged("common_scanner_start_decode refused: upgrade running"));
    EXPECT_TRUE(sim_->firmware("kern") == str(f.parts[1]));
    // After it, a start goes through again.
    EXPECT_EQ(common_scanner_start_decode(&record_, RecordingDriver::event, nullptr, 0), 0);
    common_scanner_stop_decode(&record_, 0);
}

}  // namespace
