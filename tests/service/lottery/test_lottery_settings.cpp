// Lottery-terminal settings: X3_Init in lottery mode, the setting names through the
// runtime and through the service's export, against the recording fake decoder; one
// setting against the real decoder.
#include <gtest/gtest.h>
#include <stdio.h>

#include <sstream>

#include "lottery_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

constexpr unsigned long long kOn = 0x10001, kOff = 0x10000;

// One write as the fake decoder records it.
std::string set(uint32_t id, unsigned long long value) {
    char text[64];
    snprintf(text, sizeof text, "L set %x %llu;", id, value);
    return text;
}

// A group's writes in the notation of the settings' description: "00=E 01=1 04=on",
// sub-ids in hex, values E, on, off or decimal.
std::string group(uint32_t id, const char *writes, bool e) {
    std::istringstream in(writes);
    std::string item, out;
    while (in >> item) {
        size_t eq = item.find('=');
        uint32_t sub = static_cast<uint32_t>(std::stoul(item.substr(0, eq), nullptr, 16));
        std::string v = item.substr(eq + 1);
        unsigned long long value = v == "E" ? (e ? kOn : kOff) : v == "on" ? kOn : v == "off" ? kOff : std::stoull(v);
        out += set(id | sub, value);
    }
    return out;
}

// ALL_Enable's body with E.
std::string all_body(bool e) {
    const std::pair<uint32_t, const char *> rows[] = {
        {0x20100, "00=E 01=1 02=2710 03=1 04=on 06=off"},
        {0x20200, "00=E 01=1 02=7089 03=1 04=on 06=off 07=off"},
        {0x20900, "00=E 01=1 02=35"},
        {0x10400, "00=E"},
        {0x10500, "00=E"},
        {0x10900, "00=E 01=on 02=off 03=off 05=off 09=E"},
        {0x10800, "00=E 01=on 02=off 03=off 07=off 0A=E 08=on"},
        {0x10000, "00=E 01=1 02=127 03=off 04=65539"},
        {0x10100, "00=E 03=on 01=1 02=127"},
        {0x10200, "00=E 03=on 04=on 01=1 02=127"},
        {0x10300, "00=E"},
        {0x10600, "00=E"},
        {0x10700, "00=E"},
        {0x10A00, "00=E 02=on 03=1 04=126"},
        {0x20500, "00=E 01=1 02=150"},
        {0x10D00, "00=E"},
        {0x10E00, "00=E"},
        {0x10F00, "00=E 02=on"},
        {0x11000, "00=E 02=on"},
        {0x11100, "00=E 02=on 03=1 04=126"},
        {0x11200, "00=E 02=on 03=1 04=126"},
        {0x11400, "00=E 02=on 05=1 06=100"},
        {0x11500, "00=E 02=on 05=1 06=100"},
        {0x11600, "00=E 03=1 04=100 01=off 02=off"},
        {0x11700, "00=E 02=on 03=1 04=100"},
        {0x11800, "00=E 02=on 03=1 04=100"},
        {0x11900, "00=E 02=on 03=1 04=100"},
    };
    std::string out;
    for (const auto &row : rows) out += group(row.first, row.second, e);
    return out;
}

// Data Matrix on with two codes optional, and the three stored lines.
std::string data_matrix_and_stored() {
    return set(0x20400, kOn) + set(0x20404, 2) + set(0x20403, kOff) + set(0x400000, kOn) + set(0x400009, 29) +
           set(0x40000A, 31);
}

std::string all_enable(bool e) {
    std::string prefix = e ? set(0x20300, kOn) + set(0x20500, kOn) + set(0x20501, 1) + set(0x20502, 0x960001) +
                                 set(0x20700, kOn) + set(0x20800, kOn) + set(0x20801, 1) + set(0x20802, 0x16E0001) +
                                 set(0x20900, kOn) + set(0x20901, 1) + set(0x20902, 0x230001)
                           : set(0x20300, kOff) + set(0x20400, kOff) + set(0x20404, 2) + set(0x20403, kOn) +
                                 set(0x20500, kOff) + set(0x20700, kOff) + set(0x20800, kOff) + set(0x20900, kOff);
    return prefix + all_body(e) + set(0x11A00, e ? kOn : kOff) + set(0x11C00, kOn) + data_matrix_and_stored();
}

int count(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

std::string stored() { return set(0x400000, kOn) + set(0x400009, 29) + set(0x40000A, 31); }

// DoubleSingleCode's groups with (count, requirement) sub-ids.
std::string double_single(int mode) {
    std::string out;
    for (uint32_t g : {0x20100u, 0x20400u, 0x20200u, 0x20300u, 0x20500u, 0x20700u, 0x20800u, 0x20900u, 0x20F00u}) {
        uint32_t count_id = g | (g == 0x20400 ? 4u : 3u), requirement = g | (g == 0x20400 ? 3u : 4u);
        out += set(count_id, mode == 0 ? 1 : 2);
        if (mode != 0) out += set(requirement, mode == 1 ? kOn : kOff);
    }
    return out;
}

struct SettingCase {
    const char *name;
    const char *value;
    int result;
    std::string writes;
};

std::vector<SettingCase> setting_cases() {
    std::vector<SettingCase> cases = {
        {"QR_Enable", "1", 0, set(0x20200, kOn) + stored()},
        {"QR_Enable", "0", 0, set(0x20200, kOff)},
        {"QR_Enable", "10", 0, set(0x20200, kOn) + stored()},
        {"QR_Enable", "x", -2, ""},
        {"QR_Enable", "", -2, ""},
        {"qr_enable", "1", -3, ""},
        {"RQ_Enable", "1", -3, ""},  // the byte sum of QR_Enable
        {"QR_Enable ", "1", -3, ""},
        {"", "1", -3, ""},
        {"DM_Enable", "1", 0, set(0x20400, kOn) + stored()},
        {"DM_Enable", "0", 0, set(0x20400, kOff)},
        {"PDF417_Enable", "1", 0, set(0x20100, kOn) + stored()},
        {"PDF417_Enable", "0", 0, set(0x20100, kOff)},
        {"ALL_Enable", "1", 0, all_enable(true)},
        {"ALL_Enable", "0", 0, all_enable(false)},
        {"ALL_Enable", "x", -2, data_matrix_and_stored()},
        {"DoubleSingleCode", "0", 0, double_single(0)},
        {"DoubleSingleCode", "1", 0, double_single(1)},
        {"DoubleSingleCode", "2", 0, double_single(2)},
        {"DoubleSingleCode", "3", -2, ""},
        {"CODE32_Enable", "1", 0, set(0x11404, kOff) + set(0x11407, kOn) + set(0x11408, kOn)},
        {"CODE32_Enable", "0", 0, set(0x11404, kOn) + set(0x11407, kOff) + set(0x11408, kOff)},
        {"GS1_128_Enable", "1", 0,
         set(0x10100, kOn) + set(0x10101, 1) + set(0x10102, 100) + set(0x10103, kOff) + set(0x10104, kOff)},
        {"GS1_128_Enable", "0", 0,
         set(0x10100, kOff) + set(0x10101, 1) + set(0x10102, 100) + set(0x10103, kOff) + set(0x10104, kOff)},
        {"CODE93_Enable", "1", 0,
         set(0x11600, kOn) + set(0x11603, 1) + set(0x11604, 100) + set(0x11601, kOff) + set(0x11602, kOff)},
        {"CODE93_Enable", "0", 0, set(0x11600, kOff)},
        {"MSIPLSY_Enable", "1", 0, set(0x11900, kOn) + set(0x11903, 1) + set(0x11904, 100) + set(0x11902, kOff)},
        {"MSIPLSY_Enable", "0", 0, set(0x11900, kOff) + set(0x11903, 1) + set(0x11904, 100) + set(0x11902, kOff)},
        {"MAXIC_Enable", "1", 0, set(0x20500, kOn) + set(0x20501, 1) + set(0x20502, 150)},
        {"MAXIC_Enable", "0", 0, set(0x20500, kOff) + set(0x20501, 1) + set(0x20502, 150)},
        {"QR_Micro", "1", 0, set(0x20900, kOn) + set(0x20901, 1) + set(0x20902, 35)},
        {"QR_Micro", "0", 0, set(0x20900, kOff) + set(0x20901, 1) + set(0x20902, 35)},
        {"PDF_MICRO", "1", 0, set(0x20800, kOn) + set(0x20801, 1) + set(0x20802, 366)},
        {"PDF_MICRO", "0", 0, set(0x20800, kOff)},
    };
    // Every other setting: its one write.
    const std::pair<const char *, uint32_t> singles[] = {
        {"ITF_Enable", 0x10A00},       {"EAN8_Enable", 0x10400},      {"EAN8_Addon2", 0x10402},
        {"EAN8_Addon5", 0x10403},      {"EAN13_Enable", 0x10500},     {"EAN13_Addon2", 0x10502},
        {"EAN13_Addon5", 0x10503},     {"UPCE_Enable", 0x10800},      {"UPCE_Addon2", 0x10802},
        {"UPCE_Addon5", 0x10803},      {"UPCA_Enable", 0x10900},      {"UPCA_Addon2", 0x10902},
        {"UPCA_Addon5", 0x10903},      {"ISSN_Enable", 0x10600},      {"CODE128_Enable", 0x10000},
        {"ISBT128_Enable", 0x10300},   {"COUPON_Enable", 0x1090A},    {"CODE39_Enable", 0x11400},
        {"CODE39_FullASCII", 0x11404}, {"CODE11_Enable", 0x11700},    {"MATRIX25_Enable", 0x11000},
        {"STD25_Enable", 0x11200},     {"CDB_Enable", 0x11500},       {"RSS_Enable", 0x11A00},
        {"COMPLSITE_Enable", 0x11C00}, {"COMPLSITE_UPCEAN", 0x11C01}, {"AZTEC_Enable", 0x20300},
    };
    for (const auto &s : singles) {
        cases.push_back({s.first, "1", 0, set(s.second, kOn)});
        cases.push_back({s.first, "0", 0, set(s.second, kOff)});
        cases.push_back({s.first, "-", -2, ""});
    }
    return cases;
}

class LotterySettingsTest : public LotteryTest {
  protected:
    void SetUp() override {
        LotteryTest::SetUp();
        install_decoder(FAKE_DECODER_LONG);
        ASSERT_EQ(X3_Init(), 1);
        clear_calls();
    }
};

TEST_F(LotterySettingsTest, SettingNamesSwitchGroupsOfProperties) {
    for (const SettingCase &c : setting_cases()) {
        SCOPED_TRACE(std::string(c.name) + " = \"" + c.value + "\"");
        clear_calls();
        EXPECT_EQ(X3TiCai_Set(c.name, c.value), c.result);
        EXPECT_EQ(calls(), c.writes);
    }
    EXPECT_EQ(count(all_enable(true), "L set"), 113);
    EXPECT_EQ(count(all_enable(false), "L set"), 110);
    EXPECT_TRUE(logged("X3TiCai_Set [QR_Enable] [1] [0]"));
    EXPECT_TRUE(logged("X3TiCai_ALL_Enable x"));
    EXPECT_EQ(X3TiCai_Set(nullptr, "1"), -3);
    EXPECT_EQ(X3TiCai_Set("QR_Enable", nullptr), -2);
}

TEST_F(LotterySettingsTest, TheTableHasItsThirtyNineNamesAndSums) {
    EXPECT_EQ(X3TiCai_Set("AZTEC_Enable", "1"), 0);  // the sums are filled by then
    // The runtime's own table (this program may hold a copy of the exported variable).
    void *runtime = dlopen("libreadercore.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(runtime, nullptr) << dlerror();
    handles_.push_back(runtime);
    auto *table = static_cast<TICAI_SET_ENTRY *>(dlsym(runtime, "grv26SetProcs"));
    ASSERT_NE(table, nullptr);
    int named = 0;
    for (int i = 0; i < TICAI_SET_COUNT; ++i) {
        const TICAI_SET_ENTRY &e = table[i];
        if (e.name == nullptr) break;
        ++named;
        int32_t sum = 0;
        for (const char *p = e.name; *p != 0; ++p) sum += static_cast<uint8_t>(*p);
        EXPECT_EQ(e.sum, sum) << e.name;
        EXPECT_NE(e.proc, nullptr) << e.name;
    }
    EXPECT_EQ(named, 39);
    EXPECT_EQ(table[TICAI_SET_COUNT - 1].name, nullptr);
    name_table_fill_sums(table + 5);  // the same values again
    name_table_fill_sums(nullptr);
    EXPECT_EQ(table[0].sum, 895);  // "ALL_Enable"
}

TEST_F(LotterySettingsTest, TheServiceExportSetsWithoutADevice) {
    void *service = dlopen(ZPT_SCANNER_LIBRARY, RTLD_NOW);
    ASSERT_NE(service, nullptr) << dlerror();
    handles_.push_back(service);
    auto setter = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(service, "zpt_scansetparam_ticai"));
    ASSERT_NE(setter, nullptr);
    for (const SettingCase &c : setting_cases()) {
        SCOPED_TRACE(std::string(c.name) + " = \"" + c.value + "\"");
        clear_calls();
        EXPECT_EQ(setter(c.name, c.value), c.result == 0 ? 1 : 0);
        EXPECT_EQ(calls(), c.writes);
    }
    EXPECT_TRUE(logged("zpt_scansetparam_ticai [QR_Enable] [1] [0]"));
    EXPECT_TRUE(logged("zpt_scansetparam_ticai return 1"));
    EXPECT_TRUE(logged("zpt_scansetparam_ticai [QR_Enable] [x] [-2]"));
    EXPECT_TRUE(logged("zpt_scansetparam_ticai return 0"));
}

// Lottery mode comes from the property at X3_Init: the configuration, the flag and the
// image server; with the property at 0 none of it.
class LotteryModeTest : public LotteryTest {};

TEST_F(LotteryModeTest, X3InitInLotteryMode) {
    install_decoder(FAKE_DECODER_LONG);
    uint32_t flag = 9;
    EXPECT_EQ(X3_Get(X3_ID_LOTTERY, &flag), 0);
    EXPECT_EQ(flag, 0u) << "before X3_Init";
    EXPECT_EQ(X3_Get(X3_ID_LOTTERY, nullptr), 0) << "a null out is not written";
    ASSERT_EQ(property_set("ro.build.scanner.api", "0"), 0);
    ASSERT_EQ(X3_Init(), 1);
    flag = 9;
    EXPECT_EQ(X3_Get(X3_ID_LOTTERY, &flag), 0);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(calls(), "L init;");
    EXPECT_FALSE(logged("TiCai 4g socket init"));
    EXPECT_EQ(connect_to(kServiceSocket), -1) << "no image server";

    clear_calls();
    ASSERT_EQ(property_set("ro.build.scanner.api", "1"), 0);
    ASSERT_EQ(X3_Init(), 1);
    EXPECT_EQ(X3_Get(X3_ID_LOTTERY, &flag), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(calls(), "L init;" + all_enable(true));
    EXPECT_TRUE(logged("X3TiCai_ALL_Enable 1"));
    EXPECT_TRUE(logged("TiCai 4g socket init=0"));
    EXPECT_TRUE(logged("X3TiCai_Init Success"));
    EXPECT_EQ(fetch(), std::string(kImageSize, '\x80'));
    X3_TiCai(0);
    EXPECT_EQ(X3_Get(X3_ID_LOTTERY, &flag), 0);
    EXPECT_EQ(flag, 0u);
}

TEST_F(LotteryModeTest, ATakenSocketNameLeavesTheModeRunning) {
    int holder = listen_on(kServiceSocket);
    ASSERT_GE(holder, 0);
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(property_set("ro.build.scanner.api", "1"), 0);
    ASSERT_EQ(X3_Init(), 1);
    EXPECT_TRUE(logged("Failed to get socket from environment"));
    EXPECT_TRUE(logged("TiCai 4g socket init=-1"));
    EXPECT_TRUE(logged("X3TiCai_Init Success"));
    EXPECT_EQ(calls(), "L init;" + all_enable(true));
    EXPECT_EQ(X3TiCai_Set("QR_Enable", "0"), 0);
    close(holder);
}

TEST_F(LotteryModeTest, QrEnableSwitchesTheRealDecoder) {
    install_decoder(VEXO3_LIBRARY);
    ASSERT_EQ(X3_Init(), 1);
    testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, "lottery ticket 0042");
    ASSERT_TRUE(qr.ok) << qr.error;
    testkit::RenderOptions options;
    options.moduleSize = 4;
    options.blurSigma = 0.6;
    testkit::Rendered img = testkit::Render(qr, options);
    auto decode = [&] {
        X3_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint64_t>(img.frame.width));
        X3_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint64_t>(img.frame.height));
        X3_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(img.frame.pixels.data()));
        return X3_Decode();
    };
    ASSERT_EQ(X3TiCai_Set("QR_Enable", "1"), 0);
    ASSERT_EQ(decode(), 1);
    char text[128];
    TEXT_DESC d = {sizeof(TEXT_DESC), sizeof text, 0, 0, text};
    ASSERT_EQ(X3_Get(VEXO_ID_RESULT_TEXT, &d), 1);
    EXPECT_EQ(std::string(text, d.length), "lottery ticket 0042");
    ASSERT_EQ(X3TiCai_Set("QR_Enable", "0"), 0);
    EXPECT_EQ(decode(), 0);
    ASSERT_EQ(X3TiCai_Set("QR_Enable", "1"), 0);
    EXPECT_EQ(decode(), 1);
}

}  // namespace
