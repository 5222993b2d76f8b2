// Serial driver tests: a platform root with the switch lines and a UART on a
// pseudo-terminal, the driver plug-in installed in the root's library directory and
// loaded with its encrypted engine file by the service's loader, and an engine simulator
// on the terminal's master side.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scanner/scanner_test.h"
#include "serial_engine_sim.h"

inline constexpr char kSwitchDir[] = "/sys/devices/switch/";
inline constexpr char kTty[] = "/dev/ttyS1";

// One plug-in: the Scan element's text (library lib<scan>.so, engine file <scan>EN) and the
// engine's name.
struct Plugin {
    const char *scan;
    const char *engine;
};
inline constexpr Plugin kGt8841{"GT8841LD", "GT8841"};
inline constexpr Plugin kUp513{"ZPT-PL512", "UP513"};
inline constexpr Plugin kPl512{"PL512", "PL512"};
inline constexpr Plugin kGt5170{"GT5170", "GT5170"};
inline constexpr Plugin kHb22x{"HB22X", "HB22X"};

// What the decode-cycle callback saw: event, and for a result its fields and data.
struct SeenEvent {
    int event;
    bool has_result;
    uint32_t kind = 0, len1 = 0, len2 = 0;
    std::string data; // len1 bytes and the byte after them
};

// Bytes as a hexadecimal text "7E 00 07 ...".
inline std::string hex(const std::string &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c);
        out += b;
    }
    return out;
}

class SerialDriverTest : public ScannerTest {
  protected:
    void SetUp() override {
        ScannerTest::SetUp();
        make_dirs("/dev");
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kSwitchDir) + node, "");
        write_file(std::string(kSwitchDir) + "uart_cts", "1");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
        ASSERT_EQ(sim_pty_open(&pty_, kTty), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 1, kTty), 0);
        clear_events();
    }
    void TearDown() override {
        if (sim_) sim_->stop();
        release_engine_list();
        sim_.reset();
        sim_pty_close(&pty_);
        ScannerTest::TearDown();
    }

    // Installs the plug-in, writes its engine file (body: the elements after the common
    // ones) and loads it: the record, or nullptr.
    ENGINE_RECORD *load(const Plugin &p, const std::string &body) {
        std::string bytes = read_host_file(std::string(SERIAL_PLUGIN_DIR) + "/lib" + p.scan + ".so");
        if (bytes.empty()) return nullptr;
        write_file(std::string("/system/lib64/lib") + p.scan + ".so", bytes);
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Engine>\n  <Scaninfo>" + std::string(p.engine) +
                          "</Scaninfo>\n  <Scantype>1</Scantype>\n  <ScanWakeUp>0</ScanWakeUp>\n"
                          "  <DriverChannel>1</DriverChannel>\n  <PowerChannel>0</PowerChannel>\n"
                          "  <TrigChannel>0</TrigChannel>\n" +
                          body + "</Engine>\n";
        write_encrypted(std::string(p.scan) + "EN", xml);
        if (load_engines({{"", p.scan}}) != 1) return nullptr;
        std::vector<ENGINE_RECORD *> list = engines();
        return list.size() == 1 ? list[0] : nullptr;
    }

    // The line opened at speed as a probe leaves it, and the decode-cycle state made,
    // without probing (a probe costs real time-outs).
    bool open_line(ENGINE_RECORD *r, int speed) {
        return r != nullptr && serial_open(r->DriverChannel, speed, 0) >= 0 && serial_speed(r->DriverChannel, speed) == 0 &&
               r->scanner_init(r) == 0;
    }

    // A simulator of a model with the base's constructor, started.
    template <typename Sim> Sim &start_sim(int speed) {
        auto *sim = new Sim(&pty_, speed, root_, kSwitchDir);
        sim_.reset(sim);
        sim->start();
        return *sim;
    }
    // The line at speed and the engine initialised (open_line), the requests cleared.
    ENGINE_RECORD *ready_at(const Plugin &p, const std::string &body, int speed) {
        ENGINE_RECORD *r = load(p, body);
        if (!open_line(r, speed)) return nullptr;
        sim_->clear_requests();
        return r;
    }

    // The simulator, started.
    Gt8841Sim &gt8841(int speed) {
        auto *sim = new Gt8841Sim(&pty_, speed, root_, kSwitchDir);
        sim_.reset(sim);
        sim->start();
        return *sim;
    }
    Up513Sim &up513(bool pl512, int speed, uint8_t probe_opcode = 0xA3) {
        auto *sim = new Up513Sim(&pty_, speed, pl512, probe_opcode, root_, kSwitchDir);
        sim_.reset(sim);
        sim->start();
        return *sim;
    }

    // The port's speed now.
    int line_speed() { return sim_ ? sim_->port_speed() : -1; }

    // Requests as hexadecimal texts "7E 00 07 ...".
    std::vector<std::string> request_texts() {
        std::vector<std::string> out;
        for (const auto &r : sim_->requests()) out.push_back(hex(r.bytes));
        return out;
    }

    // The decode-cycle callback and what it saw.
    static std::mutex &events_lock() {
        static std::mutex m;
        return m;
    }
    static std::vector<SeenEvent> &events() {
        static std::vector<SeenEvent> e;
        return e;
    }
    static int on_event(int event, DECODE_RESULT *result, int) {
        SeenEvent e{event, result != nullptr, 0, 0, 0, {}};
        if (result != nullptr) {
            e.kind = result->kind;
            e.len1 = result->len1;
            e.len2 = result->len2;
            if (result->data != nullptr && result->len1 < result->capacity)
                e.data.assign(reinterpret_cast<const char *>(result->data), result->len1 + 1);
        }
        std::lock_guard<std::mutex> g(events_lock());
        events().push_back(e);
        return 0;
    }
    static void clear_events() {
        std::lock_guard<std::mutex> g(events_lock());
        events().clear();
    }
    static std::vector<SeenEvent> seen() {
        std::lock_guard<std::mutex> g(events_lock());
        return events();
    }
    // Waits until an event other than the beep came.
    static bool wait_final_event() {
        return eventually([] {
            for (const SeenEvent &e : seen())
                if (e.event != SCN_EVENT_BEEP) return true;
            return false;
        });
    }

    // Writes to the trigger node, in order ("trigger_on", "trigger_off").
    std::vector<std::string> trigger_writes() {
        std::vector<std::string> out;
        for (const std::string &w : sim_writes((std::string(kSwitchDir) + "scan_switch").c_str())) {
            std::string k(w.c_str());
            out.push_back(k);
        }
        return out;
    }

    SimPty pty_;
    std::unique_ptr<SerialEngineSim> sim_;
};
