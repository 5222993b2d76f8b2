// i2cpeek as a user runs it, over the simulated bus: the library of the bus preloaded, its
// model under a platform root, the transfers read back from its journal.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::string PeekReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct PeekRun {
    std::string out;
    std::string journal;
    int status = -1;
};

class I2cpeekTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir((dir_.path().string() + "/root").c_str(), 0755);
        mkdir((dir_.path().string() + "/root/data").c_str(), 0755);
        mkdir((dir_.path().string() + "/root/data/simbus").c_str(), 0755);
        mkdir((dir_.path().string() + "/work").c_str(), 0755);
        mkdir((root() + "/dev").c_str(), 0755);
        std::ofstream(root() + "/data/simbus/model") << "bus /dev/i2c-1\ndevice /dev/i2c-1 5c 1\n";
    }
    std::string root() const { return dir_.path().string() + "/root"; }
    std::string work() const { return dir_.path().string() + "/work"; }

    // Runs the tool in the work folder; the journal gained by the run.
    PeekRun Run(const std::string &args) {
        const std::string journal = root() + "/data/simbus/journal";
        std::remove(journal.c_str());
        const char *asan = getenv("ASAN_OPTIONS");
        // The bus library comes before the sanitizer runtime in a sanitizer build.
        std::string options = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
        const std::string out = dir_.File("stdout.txt");
        const std::string cmd = "cd '" + work() + "' && STACK_PLATFORM_ROOT='" + root() + "' ASAN_OPTIONS='" + options +
                                "' LD_PRELOAD='" SIMBUS_PATH "' '" I2CPEEK_PATH "' " + args + " >'" + out +
                                "' 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        PeekRun r;
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = PeekReadFile(out);
        r.journal = PeekReadFile(journal);
        return r;
    }
    // The file the last read saved.
    std::string Received() const { return PeekReadFile(work() + "/i2c-rcv.hex"); }

    testkit::TempDir dir_;
};

TEST_F(I2cpeekTest, ReadsARegisterRunPrintsItAndSavesIt) {
    PeekRun r = Run("/dev/i2c-1 5c 0a 0 4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.journal, "5c w: 0A | 5c r: 00 00 00 00 = 2\n");
    EXPECT_EQ(r.out,
              "read salve:5c reg:0a\n"
              "Read /dev/i2c-1-5c reg a, read value:\n00 00 00 00 \n");
    EXPECT_EQ(Received(), std::string(4, '\0'));  // the model's registers start cleared
    EXPECT_EQ(Run("/dev/i2c-1 5c 3500 0 1").journal, "5c w: 35 00 | 5c r: 00 = 2\n");
}

TEST_F(I2cpeekTest, LongDumpsBreakEveryEightAndSixteenBytes) {
    PeekRun r = Run("/dev/i2c-1 5c 0 0 20");
    std::string zeros8 = "00 00 00 00 00 00 00 00 ";
    EXPECT_NE(r.out.find(":\n" + zeros8 + "- " + zeros8 + "\n00 00 00 00 \n"), std::string::npos) << r.out;
    EXPECT_EQ(Received().size(), 20u);
}

TEST_F(I2cpeekTest, WritesSetTheBusUpAndKeepTheLowByteOfABadValue) {
    PeekRun r = Run("/dev/i2c-1 5c 0a 1 1 1ff");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Error on written value 1ff\nwrite salve:5c reg:0a\n");
    EXPECT_EQ(r.journal, "I2C_TIMEOUT 2\nI2C_RETRIES 1\n5c w: 0A FF = 1\n");
}

TEST_F(I2cpeekTest, BadCommandLinesAndMissingHardwareEndWithALine) {
    const std::string usage = "Usage:\n" I2CPEEK_PATH " /dev/i2c-x start_addr reg_addr rw[0|1] rw_len [write_val]\n";
    const std::string write_usage = "Usage:\n" I2CPEEK_PATH " /dev/i2c-x start_addr reg_addr r|w[0|1] rw_len [write_val]\n";
    struct PeekCase {
        const char *args;
        std::string out;
        const char *journal;
    };
    const PeekCase cases[] = {
        {"/dev/i2c-1 5c 0a 1 2 11", write_usage, ""},
        {"/dev/i2c-1 5c 0a 1", usage, ""},
        {"/dev/i2c-1 5c 0a 0 0", usage, ""},
        {"/dev/i2c-1 5c 0a 0 65536", usage, ""},
        {"/dev/i2c-1 5c 0a 1 65535 1", write_usage, ""},
        {"/dev/i2c-1 5c 0a 1 -1 1", write_usage, ""},
        {"/dev/i2c-7 5c 0a 0 4", "Error on opening the device file /dev/i2c-7\n", ""},
    };
    for (const PeekCase &c : cases) {
        PeekRun r = Run(c.args);
        EXPECT_EQ(r.status, 0) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_EQ(r.journal, c.journal) << c.args;
    }
    // An absent slave: the error, then the dump of zeros and the file all the same.
    PeekRun r = Run("/dev/i2c-1 33 0a 0 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Error during I2C_RDWR ioctl with error code: -1\n"
              "Read /dev/i2c-1-33 reg a, read value:\n00 00 \n");
    EXPECT_EQ(Received(), std::string(2, '\0'));
}

}  // namespace
