// decode-image as a user runs it: command lines, the lines it prints, its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "report.h"
#include "support/image_io.h"
#include "support/temp_dir.h"

namespace {

using testkit::DecodeResult;

struct ToolRun {
    std::vector<std::string> out;
    std::string err;
    int status = -1;
};

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the tool in dir with the given argument string (already quoted where needed).
ToolRun RunTool(const testkit::TempDir &dir, const std::string &args) {
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    const std::string cmd = "cd '" + dir.path().string() + "' && '" DECODE_IMAGE_PATH "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int rc = std::system(cmd.c_str());
    ToolRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::istringstream lines(ReadAll(out));
    for (std::string line; std::getline(lines, line);) r.out.push_back(line);
    r.err = ReadAll(err);
    return r;
}

// An expected line; "#MS#" stands for a time in milliseconds with three decimals.
bool LineMatches(const std::string &line, const std::string &pattern) {
    size_t at = 0, from = 0;
    for (;;) {
        const size_t hole = pattern.find("#MS#", from);
        const std::string literal = pattern.substr(from, hole == std::string::npos ? std::string::npos : hole - from);
        if (line.compare(at, literal.size(), literal) != 0) return false;
        at += literal.size();
        if (hole == std::string::npos) return at == line.size();
        const size_t digits = line.find_first_not_of("0123456789", at);
        if (digits == at || digits == std::string::npos || line[digits] != '.') return false;
        const size_t end = line.find_first_not_of("0123456789", digits + 1);
        if ((end == std::string::npos ? line.size() : end) - digits - 1 != 3) return false;
        at = end == std::string::npos ? line.size() : end;
        from = hole + 4;
    }
}

class DecodeImageTool : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testkit::WritePgm(dir_.File("blank.pgm"), testkit::Frame(752, 480, 255)));
        std::ofstream(dir_.File("plain.pgm")) << "P2\n# plain\n4 2\n255\n255 255 255 255\n255 255 255 255\n";
        std::vector<uint8_t> rgb(64 * 48 * 3);
        for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i % 3 == 0 ? 200 : 40);
        ASSERT_TRUE(testkit::WritePngRgb(dir_.File("colour.png"), 64, 48, rgb));
        ASSERT_TRUE(testkit::WritePgm(dir_.File("big.pgm"), testkit::Frame(1600, 1200, 255)));
        ASSERT_TRUE(testkit::WritePng(dir_.File("wide.png"), testkit::Frame(1470, 347, 255)));
        std::ofstream(dir_.File("notes.txt")) << "not an image\n";
        ASSERT_TRUE(testkit::WritePgm(dir_.File("-dash.pgm"), testkit::Frame(8, 8, 255)));
    }
    testkit::TempDir dir_;
};

TEST_F(DecodeImageTool, CommandLinesGiveTheDocumentedLinesAndExitStatus) {
    struct Case {
        std::string args;
        std::vector<std::string> out;
        std::string err;  // expected standard error, exactly
        int status;
    };
    const std::string samples[] = {"sample-qr-code", "sample-data-matrix", "sample-code-128", "sample-ean-13", "sample-pdf417"};
    std::vector<std::string> sampleLines;
    for (const std::string &s : samples) sampleLines.push_back(s + ": no code");
    // Every sample reads.
    sampleLines[0] = "sample-qr-code: QR Code (0x102) ]Q1 decode-image sample: QR Code";
    sampleLines[1] = "sample-data-matrix: Data Matrix (0x105) ]d1 Data Matrix sample 12345";
    sampleLines[2] = "sample-code-128: Code 128 (0x2) ]C0 SAMPLE-128";
    sampleLines[3] = "sample-ean-13: ISBN (0xB) ]X0 9780201379624";
    sampleLines[4] = "sample-pdf417: PDF417 (0x100) ]L0 PDF417 sample text";

    const Case kCases[] = {
        {"blank.pgm", {"blank.pgm: no code"}, "", 1},
        {"plain.pgm colour.png", {"plain.pgm: no code", "colour.png: no code"}, "", 1},
        {"big.pgm", {"big.pgm: no code"},
         "decode-image: big.pgm: 1600x1200 scaled down to 1280x960 to fit the decoder's frame limit\n", 1},
        {"wide.png", {"wide.png: no code"},
         "decode-image: wide.png: 1470x347 scaled down to 1280x302 to fit the decoder's frame limit\n", 1},
        {"--json blank.pgm", {R"({"file":"blank.pgm","decoded":false})"}, "", 1},
        {"--time blank.pgm", {"blank.pgm [#MS# ms]: no code"}, "", 1},
        {"blank.pgm --json --time", {R"({"file":"blank.pgm","decoded":false,"timeMs":#MS#})"}, "", 1},
        {"", sampleLines, "", 0},
        {"--lib '" VEXO3_PATH "' --json", {R"({"file":"sample-qr-code","decoded":true,"codeType":"QR Code","codeId":258,"aim":"]Q1","text":"decode-image sample: QR Code"})",
                                            R"({"file":"sample-data-matrix","decoded":true,"codeType":"Data Matrix","codeId":261,"aim":"]d1","text":"Data Matrix sample 12345"})",
                                            R"({"file":"sample-code-128","decoded":true,"codeType":"Code 128","codeId":2,"aim":"]C0","text":"SAMPLE-128"})",
                                            R"({"file":"sample-ean-13","decoded":true,"codeType":"ISBN","codeId":11,"aim":"]X0","text":"9780201379624"})",
                                            R"({"file":"sample-pdf417","decoded":true,"codeType":"PDF417","codeId":256,"aim":"]L0","text":"PDF417 sample text"})"}, "", 0},
        {"--lib='" VEXO3_PATH "' blank.pgm", {"blank.pgm: no code"}, "", 1},
        {"missing.pgm", {}, "decode-image: missing.pgm: cannot open: No such file or directory\n", 2},
        {"blank.pgm missing.pgm plain.pgm", {"blank.pgm: no code", "plain.pgm: no code"},
         "decode-image: missing.pgm: cannot open: No such file or directory\n", 2},
        {"notes.txt", {}, "decode-image: notes.txt: not a PGM or PNG image\n", 2},
        {"-- -dash.pgm", {"-dash.pgm: no code"}, "", 1},
        {"--bogus blank.pgm", {}, "decode-image: unknown option '--bogus' (see --help)\n", 2},
        {"blank.pgm --lib", {}, "decode-image: missing path after '--lib' (see --help)\n", 2},
        {"--lib ./libnothing.so blank.pgm", {}, "decode-image: ./libnothing.so: cannot open shared object file: No such file or directory\n", 2},
        {"--lib ./blank.pgm blank.pgm", {}, "decode-image: ./blank.pgm: invalid ELF header\n", 2},
    };
    for (const Case &c : kCases) {
        const ToolRun r = RunTool(dir_, c.args);
        SCOPED_TRACE("decode-image " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        ASSERT_EQ(r.out.size(), c.out.size());
        for (size_t i = 0; i < c.out.size(); ++i) EXPECT_TRUE(LineMatches(r.out[i], c.out[i])) << r.out[i] << "\nexpected " << c.out[i];
    }
}

TEST_F(DecodeImageTool, HelpDescribesTheOutputAndExitsZero) {
    const ToolRun r = RunTool(dir_, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out[0], "usage: decode-image [--lib PATH] [--json] [--time] [IMAGE...]");
    const std::string all = [&] {
        std::string s;
        for (const std::string &l : r.out) s += l + "\n";
        return s;
    }();
    EXPECT_NE(all.find("IMAGE: CODE TYPE (0xCODEID) AIM TEXT    or    IMAGE: no code"), std::string::npos);
    EXPECT_NE(all.find("Exit status: 0"), std::string::npos);
}

TEST(DecodeImageReport, LinesForReadsAndMisses) {
    struct Case {
        DecodeResult result;
        std::optional<double> ms;
        const char *line;
        const char *json;
    };
    const Case kCases[] = {
        {{true, 0x102, "Hello", "]Q1"}, std::nullopt, "a.png: QR Code (0x102) ]Q1 Hello",
         R"({"file":"a.png","decoded":true,"codeType":"QR Code","codeId":258,"aim":"]Q1","text":"Hello"})"},
        {{true, 0x105, std::string("\x1D" "01\\\"\0\xE9", 7), "]d2"}, 12.3456, "a.png [12.346 ms]: Data Matrix (0x105) ]d2 \\x1D01\\\\\"\\x00\\xE9",
         R"({"file":"a.png","decoded":true,"codeType":"Data Matrix","codeId":261,"aim":"]d2","text":"\u001D01\\\"\u0000\u00E9","timeMs":12.346})"},
        {{true, 8, "5012345678900", "]E0"}, std::nullopt, "a.png: EAN-13 (0x8) ]E0 5012345678900",
         R"({"file":"a.png","decoded":true,"codeType":"EAN-13","codeId":8,"aim":"]E0","text":"5012345678900"})"},
        {{true, 0xFFFF, "x y", ""}, std::nullopt, "a.png: Unknown (0xFFFF) - x y",
         R"({"file":"a.png","decoded":true,"codeType":"Unknown","codeId":65535,"aim":"","text":"x y"})"},
        {{}, 0.0, "a.png [0.000 ms]: no code", R"({"file":"a.png","decoded":false,"timeMs":0.000})"},
    };
    for (const Case &c : kCases) {
        EXPECT_EQ(decode_image::FormatLine("a.png", c.result, c.ms), c.line);
        EXPECT_EQ(decode_image::FormatJson("a.png", c.result, c.ms), c.json);
    }
    EXPECT_EQ(decode_image::JsonString("dir/\"q\".png"), R"("dir/\"q\".png")");
}

}  // namespace
