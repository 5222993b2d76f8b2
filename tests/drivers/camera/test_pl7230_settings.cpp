// The PL7230 driver's code settings: decoder properties of the build's decoder, rows of the
// settings database checked with the sqlite3 command line.
#include "pl7230_test.h"

namespace {

// The value<N> attributes name settings whose names are their values in decimal, so that
// the decoder's value finds its index again.
class Pl7230SettingsTest : public Pl7230Test {
  protected:
    void SetUp() override {
        Pl7230Test::SetUp();
        install_decoder();
        write_file(kProbePath, "");
        open_engine_xml(engine_xml(probe_cmd(kPlatform, kProbePath), "", "<ScanBuffer>2</ScanBuffer>"));
        open_code_xml("<?xml version=\"1.0\"?>\n<Root><Code><QR>"
                      "<Enable value0=\"65536\" value1=\"65537\">QR_ENABLE</Enable>"
                      "<Minlen name=\"2\">QR_MINLEN</Minlen>"
                      "<Maxlen name=\"255\">QR_MAXLEN</Maxlen>"
                      "<Mode value0=\"65536\" value2=\"65537\">QR_ENABLE</Mode>"
                      "</QR></Code></Root>\n");
        add_setting("QR_ENABLE", "20200");
        add_setting("QR_MINLEN", "20201");
        add_setting("QR_MAXLEN", "20202");
        add_setting("65537", "10001");
        add_setting("65536", "10000");
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
    }
    // The table's rows "CodeID|Attribute|State", one a line.
    std::string rows() {
        std::string out;
        EXPECT_TRUE(svc_sandbox::run_tool(
            {"sqlite3", host("/cache/Decode.db"), "SELECT CodeID, Attribute, State FROM Decode ORDER BY ID;"}, &out));
        return out;
    }
    std::string get(const char *param) {
        char out[32] = {};
        EXPECT_EQ(record_.scanner_get(&record_, "QR", param, out), 1);
        return out;
    }
};

TEST_F(Pl7230SettingsTest, SyncInsertsTheDefaultOnceAndApplies) {
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Enable"), 1);
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Maxlen"), 255);
    EXPECT_EQ(rows(), "QR|Enable|1\nQR|Maxlen|255\n");
    EXPECT_EQ(get("Enable"), "1");
    EXPECT_EQ(get("Maxlen"), "255");
    // A second sync finds the rows.
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Enable"), 1);
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Maxlen"), 255);
    EXPECT_EQ(rows(), "QR|Enable|1\nQR|Maxlen|255\n");
    EXPECT_TRUE(logged("Setting Insert [QR] [Enable] [1]"));
}

TEST_F(Pl7230SettingsTest, SetChecksBoundsAndKeepsRowsOnlyForAcceptedValues) {
    ASSERT_EQ(record_.scanner_sync(&record_, "QR", "Enable"), 1);
    ASSERT_EQ(record_.scanner_sync(&record_, "QR", "Minlen"), 2);
    ASSERT_EQ(record_.scanner_sync(&record_, "QR", "Maxlen"), 255);
    const std::string before = rows();
    struct Case {
        const char *param;
        const char *value;
        int expected;
    };
    const Case refused[] = {
        {"Minlen", "1", -1},  // below its bound
        {"Maxlen", "256", -1}, // above its bound
        {"Mode", "1", -1},    // no value1: property value 0, refused
        {"Absent", "1", -1},  // not in the configuration
    };
    for (const Case &c : refused) {
        SCOPED_TRACE(c.param);
        EXPECT_EQ(record_.scanner_set(&record_, "QR", c.param, c.value), c.expected);
    }
    EXPECT_EQ(record_.scanner_set(&record_, "QR", "Maxlen", nullptr), -1);
    EXPECT_EQ(record_.scanner_set(&record_, "NOCODE", "Maxlen", "5"), -1);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(get("Maxlen"), "255");

    EXPECT_EQ(record_.scanner_set(&record_, "QR", "Maxlen", "100"), 0);
    EXPECT_EQ(record_.scanner_set(&record_, "QR", "Enable", "0"), 0);
    EXPECT_EQ(get("Maxlen"), "100");
    EXPECT_EQ(get("Enable"), "0");
    EXPECT_EQ(rows(), "QR|Enable|0\nQR|Minlen|2\nQR|Maxlen|100\n");

    // The rows survive a close and a new setup; sync then applies them.
    record_.scanner_close(&record_);
    record_.scanner_deinit(&record_);
    ASSERT_EQ(record_.scanner_init(&record_), 0);
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Maxlen"), 100);
    EXPECT_EQ(record_.scanner_sync(&record_, "QR", "Enable"), 0);
    EXPECT_EQ(get("Maxlen"), "100");
    EXPECT_EQ(get("Enable"), "0");
    EXPECT_EQ(rows(), "QR|Enable|0\nQR|Minlen|2\nQR|Maxlen|100\n");
}

}  // namespace
