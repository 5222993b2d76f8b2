// The settings list and its lookups; the system configuration and the external decoder.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_test.h"
#include "zptlog.h"

namespace {

// A device object as far as the lookups read it, owning its nodes.
class SettingOwner {
  public:
    SettingOwner() {
        memset(&owner_, 0, sizeof owner_);
        list_init(&owner_.codeGroups);
        list_init(&owner_.settings);
    }
    ~SettingOwner() {
        while (owner_.settings.next != &owner_.settings) {
            struct list_head *link = owner_.settings.next;
            list_del(link);
            free(reinterpret_cast<char *>(link) - offsetof(SETTING_NODE, link));
        }
    }
    SETTING_NODE *add(const char *name, const char *value_text) {
        SETTING_NODE *node = get_setting_value(name, value_text);
        if (node != nullptr) list_add_tail(&owner_.settings, &node->link);
        return node;
    }
    void *get() { return &owner_; }

  private:
    SETTING_OWNER owner_;
};

using SettingsListTest = ConfigTest;

TEST_F(SettingsListTest, ValueTextsParseAsHexDigits) {
    struct Case {
        const char *text;
        uint64_t want;
    };
    const Case cases[] = {
        {"100214", 0x100214},
        {"0x10", 0xFF10},  // the x counts 255
        {"", 0},
        {"aBcD", 0xABCD},
        {"ffffffffffffffff", UINT64_MAX},
        {"1ffffffffffffffff", UINT64_MAX},        // wraps at 64 bits
        {"0000000000000000012345678", 0x12},      // 25 characters: the first 19 count
        {"0000000000000000001", 0x1},             // 19 characters
        {"00000000000000000012", 0x1},            // the 20th does not count
    };
    for (const Case &c : cases) {
        SETTING_NODE *node = get_setting_value("n", c.text);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->value, c.want) << c.text;
        free(node);
    }
    SETTING_NODE *no_value = get_setting_value("n", nullptr);
    ASSERT_NE(no_value, nullptr);
    EXPECT_EQ(no_value->value, 0u);
    free(no_value);
    EXPECT_EQ(get_setting_value(nullptr, "1"), nullptr);

    std::string long_name(60, 'N');
    SETTING_NODE *cut = get_setting_value(long_name.c_str(), "1");
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::string(cut->name), long_name.substr(0, SETTING_NAME_MAX - 1));
    EXPECT_EQ(cut->nameSum, static_cast<uint32_t>('N') * (SETTING_NAME_MAX - 1));
    free(cut);
}

TEST_F(SettingsListTest, LookupsByNameAndValue) {
    SettingOwner owner;
    owner.add("AB", "1");
    owner.add("BA", "2");
    owner.add("QR_ENABLE", "100214");
    owner.add("AB", "3");  // a later duplicate never wins
    owner.add("ALL", "FFFFFFFFFFFFFFFF");
    ASSERT_EQ(owner.add("A", nullptr)->nameSum, static_cast<uint32_t>('A'));
    EXPECT_EQ(GetSettingValueFromList(owner.get(), "AB", 2), 1u);
    EXPECT_EQ(GetSettingValueFromList(owner.get(), "BA", 2), 2u) << "same byte sum, told apart by the name";
    char buffer[30] = {};
    memcpy(buffer, "AB", 2);
    EXPECT_EQ(GetSettingValueFromList(owner.get(), buffer, 30), 1u);
    EXPECT_EQ(GetSettingValueFromList(owner.get(), "QR_ENABLE", 9), 0x100214u);
    EXPECT_EQ(GetSettingValueFromList(owner.get(), "QR_ENABLE", 3), 0u) << "the sum of 3 bytes";
    EXPECT_EQ(GetSettingValueFromList(owner.get(), "CD", 2), 0u);
    EXPECT_EQ(GetSettingValueFromList(nullptr, "AB", 2), 0u);
    EXPECT_EQ(GetSettingValueFromList(owner.get(), nullptr, 2), 0u);

    char out[32];
    memset(out, '#', sizeof out);
    EXPECT_EQ(GetSettingStringFromList(owner.get(), 0x100214, out), 0);
    EXPECT_STREQ(out, "1049108");
    EXPECT_EQ(GetSettingStringFromList(owner.get(), UINT64_MAX, out), 0);
    EXPECT_STREQ(out, "-1") << "written as a signed long";
    memset(out, '#', sizeof out);
    EXPECT_EQ(GetSettingStringFromList(owner.get(), 77, out), -1);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(GetSettingStringFromList(nullptr, 1, out), -1);
    EXPECT_EQ(GetSettingStringFromList(owner.get(), 1, nullptr), -1);
}

TEST_F(SettingsListTest, EchoFindsTheChoiceOfAValue) {
    link(svc_sandbox::kXml);
    write_config("/data/engine.xml", "engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}}, false);
    XML_HANDLE *h = XMLOpen("/data/engine.xml");
    ASSERT_NE(h, nullptr);
    XML_NODE *qr = XMLFindCur(h, nullptr, "QRCode");  // value0="65536" value3="65537"
    ASSERT_NE(qr, nullptr);
    SettingOwner owner;
    owner.add("ON", "10001");
    owner.add("OFF", "10000");
    owner.add("OTHER", "100214");
    EXPECT_EQ(GetSettingEcho(owner.get(), 0x10001, qr), 3);
    EXPECT_EQ(GetSettingEcho(owner.get(), 0x10000, qr), 0) << "value0 matches";
    EXPECT_EQ(GetSettingEcho(owner.get(), 0x100214, qr), 0) << "no attribute matches";
    EXPECT_EQ(GetSettingEcho(owner.get(), 0x10002, qr), 0) << "no setting holds the value";
    EXPECT_EQ(GetSettingEcho(nullptr, 0x10001, qr), 0);
    EXPECT_EQ(GetSettingEcho(owner.get(), 0x10001, nullptr), 0);
    XMLClose(h);
}

// ---- system configuration ----

class ZptConfigTest : public ConfigTest {
  protected:
    void write_zpt(const std::string &dir, const std::string &level, const std::string &file,
                   const std::string &extra = "") {
        write_config(dir + "ZPTConfig.xml", "ZPTConfig.xml", {{"LEVEL", level}, {"FILE", file}, {"EXTRA", extra}},
                     false);
    }
    static std::string config_line(const std::string &name, const std::string &value) {
        return "<Config name=\"" + name + "\">" + value + "</Config>";
    }
    // Runs the probe program in a process of its own under this root: its printed line.
    std::string probe() {
        std::string out;
        EXPECT_TRUE(svc_sandbox::run_tool({ZPTCONFIG_PROBE}, &out, {"STACK_PLATFORM_ROOT=" + root_}));
        return out;
    }
    // The fake external decoder's record of calls, read through its own handle.
    std::string external_calls(const std::string &device_path) {
        void *module = dlopen(host(device_path).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (module == nullptr) return "<not loaded>";
        auto calls = reinterpret_cast<const char *(*)()>(dlsym(module, "exdecode_fake_calls"));
        std::string result = calls != nullptr ? calls() : "<no record>";
        dlclose(module);
        return result;
    }
};

TEST_F(ZptConfigTest, DebugLevelAndTheFirstDebugFileApplyInAFreshProcess) {
    link(svc_sandbox::kXml);
    write_zpt("/mnt/sdcard/", "31", "/data/zpt/first.log");
    make_dirs("/data/zpt");
    EXPECT_EQ(probe(), "0 1f\n");
    EXPECT_NE(read_file("/data/zpt/first.log").find("zptconfig probe line"), std::string::npos);
    EXPECT_FALSE(exists("/data/zpt/second.log"));
}

TEST_F(ZptConfigTest, WithoutTheFileTheDefaultsStay) {
    link(svc_sandbox::kXml);
    EXPECT_EQ(probe(), "-1 c\n");
    EXPECT_EQ(zptconfig_init(), -1);
    EXPECT_EQ(log_get_level(), 0xFFu);
    EXPECT_TRUE(logged("zptconfig_init found:0"));
    char out[8];
    EXPECT_EQ(zptconfig_read_string("DebugLevel", out, sizeof out), -1);
    write_file("/data/corvane/ZPTConfig.xml", "<ZPTConfig><Config name=");
    EXPECT_EQ(zptconfig_init(), -1) << "a file that does not parse";
}

TEST_F(ZptConfigTest, ValuesAreReadWholeOrRefused) {
    link(svc_sandbox::kXml);
    std::string long_file = "/data/" + std::string(150, 'f') + ".log";
    write_zpt("/mnt/sdcard/", "31", long_file, config_line("Type", std::string(19, '7')));
    ASSERT_EQ(zptconfig_init(), 0);
    EXPECT_EQ(log_get_level(), 0x1Fu);
    EXPECT_TRUE(logged("zptconfig_init found:2"));
    EXPECT_TRUE(logged("Found ZptConfig XML [/mnt/sdcard/ZPTConfig.xml]"));
    // Longer than the log's path: refused rather than cut.
    EXPECT_TRUE(logged("zptconfig_read_string value too long [DebugFile] [160] [100]"));

    std::vector<char> out(200, '#');
    EXPECT_EQ(zptconfig_read_string("DebugFile", out.data(), 200), 0);
    EXPECT_EQ(std::string(out.data()), long_file) << "longer than a visit buffer, read whole";
    char exact[20];
    EXPECT_EQ(zptconfig_read_string("Type", exact, 20), 0);
    EXPECT_EQ(std::string(exact), std::string(19, '7'));
    memset(exact, '#', sizeof exact);
    EXPECT_EQ(zptconfig_read_string("Type", exact, 19), -1);
    EXPECT_EQ(exact[0], '#') << "nothing copied";
    int level = 0;
    EXPECT_EQ(zptconfig_read_int("DebugLevel", &level), 0);
    EXPECT_EQ(level, 31);
    EXPECT_EQ(zptconfig_read_int("Missing", &level), -1);
    EXPECT_EQ(zptconfig_read_int("DebugLevel", nullptr), -1);
    EXPECT_EQ(zptconfig_read_string("debuglevel", exact, 20), -1) << "keys count case";
}

TEST_F(ZptConfigTest, AnExternalDecoderIsLoadedAndGivenItsCodeType) {
    link(svc_sandbox::kXml);
    write_file("/unrecoverable/lib64/libexdec.so", read_host_file(SVC_EXDECODE_MODULE));
    write_zpt("/mnt/sdcard/", "31", "/data/zpt/first.log",
              config_line("LibExDecode", "libexdec.so") + config_line("LibExDecodeType", "1A"));
    EXPECT_EQ(ExDecode_Init(), -1) << "no configuration open yet";
    ASSERT_EQ(zptconfig_init(), 0);
    EXPECT_EQ(ExDecode_Init(), 7) << "the init function's result";
    EXPECT_EQ(external_calls("/unrecoverable/lib64/libexdec.so"), "init;set 100501 26;");
    EXPECT_TRUE(logged("ExDecode_Init ret [0] [libexdec.so]"));
    EXPECT_TRUE(logged("Found Library [/unrecoverable/lib64/libexdec.so]"));
    EXPECT_TRUE(logged("ExDecode_Init Success [libexdec.so] [1a]"));
    EXPECT_EQ(ExDecode_Set(0x100101, 752), 1);
    EXPECT_EQ(ExDecode_Decode(), 1);
    EXPECT_EQ(ExDecode_Get(0x100503, nullptr), 1);
    EXPECT_EQ(external_calls("/unrecoverable/lib64/libexdec.so"),
              "init;set 100501 26;set 100101 752;decode;get 100503;");
    void *keep = dlopen(host("/unrecoverable/lib64/libexdec.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(keep, nullptr);
    ExDecode_Free();
    auto calls = reinterpret_cast<const char *(*)()>(dlsym(keep, "exdecode_fake_calls"));
    EXPECT_EQ(std::string(calls()), "init;set 100501 26;set 100101 752;decode;get 100503;free;");
    dlclose(keep);
    EXPECT_EQ(ExDecode_Decode(), 0);
    EXPECT_EQ(ExDecode_Set(1, 1), 0);
    EXPECT_EQ(ExDecode_Get(1, nullptr), 0);
}

TEST_F(ZptConfigTest, ExternalDecoderVariants) {
    link(svc_sandbox::kXml);
    write_file("/system/lib64/libnoinit.so", read_host_file(SVC_EXDECODE_NOINIT));
    write_file("/unrecoverable/lib64/libexdec.so", read_host_file(SVC_EXDECODE_MODULE));
    struct Case {
        const char *library;
        int want;
        const char *logged;
    };
    const Case cases[] = {
        {"libnoinit.so", 0, "Found Library [/system/lib64/libnoinit.so]"},
        {"libnothere.so", 0, "ExDecode_Init Error ["},
        {"../../unrecoverable/lib64/libexdec.so", 0, "ExDecode_Init not a file name [../../unrecoverable/lib64/"},
        {"/unrecoverable/lib64/libexdec.so", 0, "ExDecode_Init not a file name [/unrecoverable/lib64/libexdec.so]"},
        {"", 0, "ExDecode_Init not a file name []"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.library);
        write_zpt("/data/corvane/", "31", "/data/zpt/first.log", config_line("LibExDecode", c.library));
        ASSERT_EQ(zptconfig_init(), 0);
        EXPECT_EQ(ExDecode_Init(), c.want);
        EXPECT_TRUE(logged(c.logged));
        EXPECT_EQ(external_calls("/unrecoverable/lib64/libexdec.so"), "<not loaded>");
        if (std::string(c.library) == "libnoinit.so") {
            // Without an init function the other functions stay in use.
            EXPECT_EQ(external_calls("/system/lib64/libnoinit.so"), "");
            EXPECT_EQ(ExDecode_Set(0x100101, 640), 1);
            EXPECT_EQ(ExDecode_Decode(), 1);
            EXPECT_EQ(external_calls("/system/lib64/libnoinit.so"), "set 100101 640;decode;");
        } else {
            EXPECT_EQ(ExDecode_Decode(), 0);
        }
        ExDecode_Free();
        zptconfig_deinit();
    }
    std::string too_long(48, 'l');
    write_zpt("/data/corvane/", "31", "/data/zpt/first.log", config_line("LibExDecode", too_long));
    ASSERT_EQ(zptconfig_init(), 0);
    EXPECT_EQ(ExDecode_Init(), -1) << "a name longer than 47 characters is refused";
}

}  // namespace
