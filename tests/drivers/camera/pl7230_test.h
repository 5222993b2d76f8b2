// The PL7230 driver as the service loads it: its plug-in bound into an engine record, a
// platform root with the XML library, SQLite, the build's decoder and this host's camera
// library, the simulated I2C bus with the engine at 0x5c and the 2D power node.
#pragma once

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "common_atomic.h"
#include "fake_calls.h"
#include "framecam.h"
#include "framesource.h"
#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "service_log.h"
#include "sim.h"
#include "support/image_io.h"
#include "support/render.h"
#include "support/symbol.h"

inline constexpr char kBus[] = "/dev/i2c-2";
inline constexpr int kChannel = 2;
inline constexpr uint16_t kEngineAddress = 0x5c;
inline constexpr char k2dNode[] = "/sys/devices/scan2d/power";
inline constexpr char kPlatform[] = "MT6735_TX52W_PL7230";
inline constexpr char kProbePath[] = "/sys/bus/platform/pl7230";

// The engine configuration: probe commands (raw XML), then the platform's and the engine's
// elements (raw XML inside ScanEngine / platform and Devices / PL7230).
inline std::string engine_xml(const std::string &probe, const std::string &platform, const std::string &device) {
    return "<?xml version=\"1.0\"?>\n<Engine><ScanProbe>" + probe + "</ScanProbe><ScanEngine><" + kPlatform +
           "><DriverChannel>2</DriverChannel><PowerChannel>0</PowerChannel>" + platform + "</" + kPlatform +
           "></ScanEngine><Devices><PL7230>" + device + "</PL7230></Devices></Engine>\n";
}

inline std::string probe_cmd(const char *name, const char *path) {
    return std::string("<Cmd name=\"") + name + "\">" + path + "</Cmd>";
}

// What the cycle's callback received.
struct Event {
    int event;
    bool result;
    uint32_t codeId = 0;
    uint32_t kind = 0;
    uint32_t len1 = 0;
    uint32_t len2 = 0;
    std::string bytes; // len1 bytes and the byte after them
};

class Pl7230Test : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        events().clear();
        ASSERT_TRUE(svc_sandbox::link_libraries(root_, svc_sandbox::kXml | svc_sandbox::kSqlite));
        make_dirs("/cache");
        make_dirs("/system/lib64");
        ASSERT_EQ(symlink(FRAMECAM_LIB, host("/system/lib64/libframecam.so").c_str()), 0);
        write_file(k2dNode, "");
        make_dirs("/dev");
        ASSERT_EQ(sim_i2c_bus_create(kBus), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kEngineAddress, 1), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, kChannel, kBus), 0);
        ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, k2dNode), 0);
        list_init(&owner_.settings);
        list_init(&owner_.codeGroups);
        handle_ = dlopen(PL7230_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        bind();
    }
    void TearDown() override {
        if (record_.common != nullptr) record_.scanner_deinit(&record_);
        if (record_.engineXml != nullptr) XMLClose(record_.engineXml);
        if (record_.codeXml != nullptr) XMLClose(record_.codeXml);
        for (SETTING_NODE *n : nodes_) {
            list_del(&n->link);
            free(n);
        }
        X3_Free();
        SqliteFree();
        XmlLibFree();
        if (handle_ != nullptr) dlclose(handle_);
        while (unregister_device(0, -1) == 0) {
        }
        sim_sleep_remove();
        sim_kernel_remove();
        ServiceTest::TearDown();
        if (fake_ != nullptr) dlclose(fake_);
        fake_ = nullptr;
    }

    // QR Code's Enable setting (attributes: more of its element's) and the rows behind it.
    void add_qr_enable(const char *attributes) {
        open_code_xml(std::string("<?xml version=\"1.0\"?>\n<Root><Code><QR><Enable ") + attributes +
                      "value0=\"65536\" value1=\"65537\">QR_ENABLE</Enable></QR></Code></Root>\n");
        add_setting("QR_ENABLE", "20200");
        add_setting("65537", "10001");
        add_setting("65536", "10000");
    }

    // Another driver plug-in bound into the record in place of the PL7230's.
    void load_driver(const char *path) {
        dlclose(handle_);
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        bind();
    }

    // The recording fake decoder as the decoder: once a test, since the file must not be
    // rewritten while the module is mapped.
    void install_fake() { write_file("/system/lib64/libvexo3.so", read_host_file(FAKE_DECODER_SHORT)); }
    // The module the driver loaded, held so that its record outlives the decoder's unloading.
    template <typename Fn>
    Fn fake_fn(const char *name) {
        if (fake_ == nullptr) fake_ = dlopen(host("/system/lib64/libvexo3.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        return fake_ != nullptr ? reinterpret_cast<Fn>(dlsym(fake_, name)) : nullptr;
    }
    std::string fake_calls() {
        auto fn = fake_fn<const char *(*)()>("fake_decoder_calls");
        return fn != nullptr ? plain_calls(fn()) : "<not loaded>";
    }
    void fake_clear() {
        auto fn = fake_fn<void (*)()>("fake_decoder_clear");
        ASSERT_NE(fn, nullptr);
        fn();
    }
    void fake_script(int decode_result, const char *text) {
        auto fn = fake_fn<void (*)(int, const char *, int)>("fake_decoder_script");
        ASSERT_NE(fn, nullptr);
        fn(decode_result, text, 0);
    }
    void fake_answer(uint32_t id, uint32_t value) {
        auto fn = fake_fn<void (*)(uint32_t, uint32_t)>("fake_decoder_answer");
        ASSERT_NE(fn, nullptr);
        fn(id, value);
    }

    void bind() {
        record_ = ENGINE_RECORD{};
        record_.Scantype = ENGINE_KIND_CAMERA;
        record_.device = reinterpret_cast<DEVICE_OBJECT *>(&owner_);
#define BIND(f) record_.f = reinterpret_cast<decltype(record_.f)>(dlsym(handle_, #f))
        BIND(scanner_probe);
        BIND(scanner_init);
        BIND(scanner_deinit);
        BIND(scanner_open);
        BIND(scanner_close);
        BIND(scanner_start_decode);
        BIND(scanner_stop_decode);
        BIND(scanner_set);
        BIND(scanner_get);
        BIND(scanner_ioctrl);
        BIND(scanner_version);
        BIND(scanner_sync);
#undef BIND
    }

    void open_engine_xml(const std::string &text) {
        write_file("/system/usr/xml/engine.xml", text);
        ASSERT_EQ(XMLInit(), 0);
        record_.engineXml = XMLOpen("/system/usr/xml/engine.xml");
        ASSERT_NE(record_.engineXml, nullptr);
    }
    void open_code_xml(const std::string &text) {
        write_file("/system/usr/xml/code.xml", text);
        record_.codeXml = XMLOpen("/system/usr/xml/code.xml");
        ASSERT_NE(record_.codeXml, nullptr);
    }
    void add_setting(const char *name, const char *hex) {
        SETTING_NODE *n = get_setting_value(name, hex);
        ASSERT_NE(n, nullptr);
        list_add_tail(&owner_.settings, &n->link);
        nodes_.push_back(n);
    }
    void install_decoder() { write_file("/system/lib64/libvexo3.so", read_host_file(VEXO3_LIBRARY)); }

    // The standard engine: probe path present, decoder, QR Code on by its setting.
    void start_engine(const std::string &device = "<ScanFormat>0</ScanFormat><ScanBuffer>3</ScanBuffer>") {
        write_file(kProbePath, "");
        open_engine_xml(engine_xml(probe_cmd(kPlatform, kProbePath), "<ScanDirection>0</ScanDirection>", device));
        add_qr_enable("");
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        ASSERT_EQ(record_.scanner_sync(&record_, "QR", "Enable"), 1);
    }

    // A QR frame of this host's camera, served from the next frame on.
    static testkit::Frame render_qr(const std::string &text, int width, int height) {
        testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, text);
        EXPECT_TRUE(qr.ok) << qr.error;
        testkit::RenderOptions options;
        options.width = width;
        options.height = height;
        options.moduleSize = 5;
        options.angleDeg = 10;
        options.blurSigma = 0.6;
        return testkit::Render(qr, options).frame;
    }
    void serve_qr(const std::string &text, int width, int height) {
        frame_ = render_qr(text, width, height);
        make_dirs("/data/framecam");
        ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/qr.pgm"), frame_));
        write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/qr.pgm\n");
    }

    static std::vector<Event> &events() {
        static std::vector<Event> list;
        return list;
    }
    static std::mutex &events_lock() {
        static std::mutex lock;
        return lock;
    }
    static int on_event(int event, DECODE_RESULT *result, int) {
        Event e{event, result != nullptr, 0, 0, 0, 0, {}};
        if (result != nullptr) {
            e.codeId = result->codeId;
            e.kind = result->kind;
            e.len1 = result->len1;
            e.len2 = result->len2;
            if (result->len1 < result->capacity)
                e.bytes.assign(reinterpret_cast<char *>(result->data), result->len1 + 1);
        }
        std::lock_guard<std::mutex> hold(events_lock());
        events().push_back(e);
        return 0;
    }
    std::vector<Event> events_now() {
        std::lock_guard<std::mutex> hold(events_lock());
        return events();
    }
    bool has_event(int event) {
        for (const Event &e : events_now())
            if (e.event == event) return true;
        return false;
    }

    // The writes of the engine's command messages, one string per transfer ("55 01 AA").
    static std::vector<std::string> engine_commands() {
        std::vector<std::string> out;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus)) {
            std::string text;
            for (const SimI2cMessage &m : t.msgs) {
                char part[64];
                snprintf(part, sizeof part, "%s@%02x/%u/%u:", text.empty() ? "" : "|", m.addr, m.flags, m.timing);
                text += part;
                for (uint8_t b : m.bytes) {
                    snprintf(part, sizeof part, " %02X", b);
                    text += part;
                }
            }
            out.push_back(text);
        }
        return out;
    }
    std::vector<std::string> journal() const { return split_lines(read_file(FRAMECAM_JOURNAL_PATH)); }
    int journal_calls(const std::string &name) const {
        int n = 0;
        for (const std::string &line : journal())
            if (line.rfind(name + " ", 0) == 0) ++n;
        return n;
    }

    SETTING_OWNER owner_{};
    std::vector<SETTING_NODE *> nodes_;
    ENGINE_RECORD record_{};
    void *handle_ = nullptr;
    void *fake_ = nullptr;
    testkit::Frame frame_;
};
