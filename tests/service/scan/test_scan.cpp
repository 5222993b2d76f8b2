// The whole service side from Java on a PL7230 terminal laid out by the sandbox builder: a
// real JVM runs java/ScanScenarios.java (the scanner service's natives, the start-up, the
// PL7230 driver over the host camera library and the build's decoder, the simulated bus
// library), and the scan command as a user runs it. Each JVM exits 0 with nothing from
// -Xcheck:jni, and every wait ends at a hang guard, never a pass mark.
#include <stdio.h>
#include <string.h>
#include <sys/system_properties.h>

#include <cmath>
#include <chrono>
#include <string>
#include <vector>

#include "sandbox.h"
#include "service_test.h"
#include "support/image_io.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

// One JVM run ends here at the latest (the real start-up waits included).
constexpr int kRunGuardS = 120;

struct ProgramRun {
    int status = -1;
    std::string out;
    double seconds = 0;
};

// Runs argv in the terminal under root (none when empty), stdout and stderr into one
// text, killed at the hang guard; the sanitizer build's JVMs get the sanitizer runtime.
ProgramRun run_program(const std::vector<std::string> &argv, const std::string &root) {
    std::vector<std::string> extra;
#ifdef JVM_ASAN_RUNTIME
    extra = svc_sandbox::jvm_sanitizer_env(JVM_ASAN_RUNTIME, JVM_ASAN_SUPPRESSIONS);
#endif
    ProgramRun run;
    auto t0 = std::chrono::steady_clock::now();
    run.status = svc_sandbox::run_program(argv, root, extra, true, kRunGuardS, &run.out);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return run;
}

// Nothing of the JVM's JNI checks or the sanitizers in the output.
void expect_clean(const ProgramRun &run) {
    EXPECT_EQ(run.out.find("WARNING in native method"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("FATAL ERROR"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ERROR: AddressSanitizer"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("runtime error:"), std::string::npos) << run.out;
}

std::string all_bytes() {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i) s[static_cast<size_t>(i)] = static_cast<char>(i);
    return s;
}

// A QR symbol in byte mode, frontal, at the largest whole module size (up to 6) that fits
// the frame with its quiet zone.
testkit::Frame render_qr(const std::string &bytes) {
    testkit::SymbolInput input;
    input.data = bytes;
    testkit::Symbol qr = testkit::Encode(input);
    EXPECT_TRUE(qr.ok) << qr.error;
    testkit::RenderOptions options;
    double span = qr.width + 8;
    options.moduleSize = std::min(6.0, std::floor(480 / span));
    options.blurSigma = 0.5;
    return testkit::Render(qr, options).frame;
}

class ScanTest : public ServiceRootTest {
  protected:
    // The terminal with these images in the camera's list (expected bytes beside the ones
    // with a code).
    void lay_out(const std::vector<std::pair<testkit::Frame, std::string>> &images, const std::string &camera = "") {
        svc_sandbox::Pl7230Terminal terminal;
        terminal.decoder = SCAN_DECODER;
        terminal.driver = SCAN_DRIVER;
        terminal.camera = SCAN_CAMERA;
        terminal.bus_model = true;
        terminal.camera_config = camera;
        for (size_t i = 0; i < images.size(); ++i) {
            std::string name = std::to_string(i + 1);
            make_dirs("/data/scan/expected");
            ASSERT_TRUE(testkit::WritePgm(host("/data/scan/" + name + ".pgm"), images[i].first));
            if (!images[i].second.empty()) write_file("/data/scan/expected/" + name, images[i].second);
            terminal.images.push_back("/data/scan/" + name + ".pgm");
        }
        std::string error;
        ASSERT_TRUE(svc_sandbox::make_pl7230_terminal(root_, terminal, &error)) << error;
    }

    ProgramRun java(const std::string &main_class, const std::string &argument) {
        bool bench = main_class == "ScanBench";
        return run_program({SCAN_JAVA, bench ? "-Xshare:auto" : "-Xcheck:jni", "-XX:+UseSerialGC",
                            "-XX:TieredStopAtLevel=1", "-Djava.library.path=" SCAN_JNI_LIBRARY_DIR,
                            "-Dscan.simbus=" SCAN_SIMBUS, "-cp", SCAN_CLASSPATH, main_class, argument},
                           root_);
    }

    std::string property(const char *name) const {
        char value[PROP_VALUE_MAX] = {};
        __system_property_get(name, value);
        return value;
    }
    std::string log_text() const { return read_file("/data/zpt/scan.log"); }
};

TEST_F(ScanTest, JavaScansThroughTheWholeStackAndKeepsItsSettings) {
    testkit::Frame blank(752, 480, 200);
    const std::string first = "https://example.org/scan?first=1";
    std::string thousand;
    for (int i = 0; i < 1000; ++i) thousand.push_back(static_cast<char>('A' + (i * 7) % 26));
    lay_out({{render_qr(first), first},
             {render_qr("x"), "x"},
             {render_qr(std::string(100, 'q')), std::string(100, 'q')},
             {render_qr(thousand), thousand},
             {render_qr(all_bytes()), all_bytes()},
             {blank, ""}});

    ProgramRun road = java("ScanScenarios", "road");
    EXPECT_EQ(road.status, 0) << road.out;
    EXPECT_NE(road.out.find(" passed, 0 failed"), std::string::npos) << road.out;
    expect_clean(road);
    printf("first run: %.2f s\n", road.seconds);

    EXPECT_EQ(property("persist.sys.scan.info"), "PL7230");
    EXPECT_EQ(property("persist.sys.scan.display"), "PL7230");
    EXPECT_NE(read_file("/cache/CONFIG.xml").find("<ScannerType>PL7230</ScannerType>"), std::string::npos)
        << read_file("/cache/CONFIG.xml");
    // Start commands to the engine, then the stop command; the 2D node is off.
    std::string bus = read_file(svc_sandbox::kBusJournalPath);
    size_t start = bus.find("5c w: 55 01 AA = 1\n5c w: 59 01 A6 = 1\n");
    EXPECT_NE(start, std::string::npos) << bus;
    EXPECT_NE(bus.find("5c w: 55 00 AB = 1\n5c w: 59 00 A7 = 1\n", start), std::string::npos) << bus;
    EXPECT_EQ(read_file(svc_sandbox::kPl7230Node2d), "0");
    std::string log = log_text();
    for (const char *line : {"Now Scanner [PL7230] probe", "**************************Default Setting*************************",
                             "Tpye PL7230 [1]"})
        EXPECT_NE(log.find(line), std::string::npos) << line;

    // The same terminal again: the fast path, no default pushed, QR Code still off.
    size_t before = log.size();
    ProgramRun again = java("ScanScenarios", "again");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find(" passed, 0 failed"), std::string::npos) << again.out;
    expect_clean(again);
    std::string later = log_text().substr(before);
    EXPECT_NE(later.find("Tpye PL7230 [0]"), std::string::npos) << later;
    EXPECT_EQ(later.find("Default Setting"), std::string::npos);
    EXPECT_EQ(later.find("Now Scanner [PL7230] probe"), std::string::npos);
    printf("second run: %.2f s\n", again.seconds);
}

// Runs scan with these arguments: its run, with the lines it printed on stdout (its own
// messages, which start with "scan: ", left out).
ProgramRun run_scan(const std::vector<std::string> &args, std::vector<std::string> *lines) {
    std::vector<std::string> argv = {SCAN_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramRun run = run_program(argv, "");
    for (const std::string &l : split_lines(run.out))
        if (l.rfind("scan: ", 0) != 0) lines->push_back(l);
    return run;
}

// The scan command as a user runs it: a table of command lines. A read takes a fraction
// of a second; the time-out given is generous, except where nothing is to be read.
TEST_F(ScanTest, TheScanCommandPrintsOneLinePerImage) {
    make_dirs("/images");
    const std::string png = host("/images/qr.png"), pgm = host("/images/other.pgm"), blank = host("/images/blank.pgm");
    ASSERT_TRUE(testkit::WritePng(png, render_qr("scan png")));
    ASSERT_TRUE(testkit::WritePgm(pgm, render_qr(std::string("pgm \x01\xff\\", 7))));
    ASSERT_TRUE(testkit::WritePgm(blank, testkit::Frame(300, 200, 180)));
    const std::string missing = host("/images/missing.png");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines; // exact lines on stdout, in order
        const char *message;            // in the output, or nullptr
    };
    const Case cases[] = {
        // Two images in one run, each line with its own text.
        {{"--timeout", "30", png, pgm}, 0, {png + ": 57 scan png", pgm + ": 57 pgm \\x01\\xFF\\\\"}, nullptr},
        // Refused before any JVM starts.
        {{missing}, 2, {}, "missing.png"},
        {{"--timeout", "0"}, 2, {}, "bad or missing seconds"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> lines;
        ProgramRun run = run_scan(c.args, &lines);
        EXPECT_EQ(run.status, c.status) << run.out;
        EXPECT_EQ(lines, c.lines) << run.out;
        if (c.message != nullptr) {
            EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        }
        expect_clean(run);
    }
}

// An image without a code and JSON lines; with no image, decode-image's samples, each read
// through scan exactly when decode-image reads it, with the same text (decode-image:
// "NAME: TYPE (0xID) AIM TEXT", scan: "NAME: CODETYPE TEXT"). Slow: each miss waits out its
// time-out.
TEST_F(ScanTest, SlowScanCommandMissesAndSamples) {
    make_dirs("/images");
    const std::string blank = host("/images/blank.pgm");
    ASSERT_TRUE(testkit::WritePgm(blank, testkit::Frame(300, 200, 180)));
    std::vector<std::string> lines;
    ProgramRun none = run_scan({"--json", "--timeout", "1", blank}, &lines);
    EXPECT_EQ(none.status, 1) << none.out;
    EXPECT_EQ(lines, std::vector<std::string>{"{\"file\":\"" + blank + "\",\"decoded\":false}"}) << none.out;
    expect_clean(none);

    std::vector<std::string> ours;
    ProgramRun samples = run_scan({"--timeout", "10"}, &ours);
    ProgramRun reference = run_program({DECODE_IMAGE_TOOL}, "");
    expect_clean(samples);
    std::vector<std::string> theirs = split_lines(reference.out);
    ASSERT_EQ(ours.size(), theirs.size()) << samples.out << reference.out;
    for (size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE(theirs[i]);
        bool read = theirs[i].find(": no code") == std::string::npos;
        ASSERT_EQ(ours[i].find(": no code") == std::string::npos, read) << ours[i];
        if (!read) continue;
        size_t text = ours[i].find(' ', ours[i].find(": ") + 2);
        ASSERT_NE(text, std::string::npos);
        std::string suffix = ours[i].substr(text);
        EXPECT_EQ(theirs[i].compare(theirs[i].size() - suffix.size(), suffix.size(), suffix), 0) << ours[i];
    }
    EXPECT_EQ(samples.status, reference.status);
}

// The benchmark (bench/service/ScanBench.java) on this terminal: it prints its figures;
// nothing here is a pass mark but clean exits.
TEST_F(ScanTest, SlowBenchmarkScanTimings) {
    const std::string text = "https://example.org/scan?bench=1";
    lay_out({{render_qr(text), text}}, "rate=30\n");
    ProgramRun latency = java("ScanBench", "latency");
    EXPECT_EQ(latency.status, 0) << latency.out;
    printf("%swhole run with the real start-up waits: %.2f s\n", latency.out.c_str(), latency.seconds);
    write_file("/data/framecam/framecam.conf", "rate=1000\n");
    ProgramRun throughput = java("ScanBench", "throughput");
    EXPECT_EQ(throughput.status, 0) << throughput.out;
    printf("%s", throughput.out.c_str());
}

}  // namespace
