// scan: scans image files (or decode-image's built-in samples) through the whole service
// side, as the Java scanner service sees it: a PL7230 terminal laid out in the build
// folder, one JVM running the scanner service's natives, the host camera serving each
// image in turn to the PL7230 driver and the decoder, and the Java callback's result.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "imageio/image_io.h"
#include "report.h"
#include "samples.h"
#include "sandbox.h"
#include "support/decoder_api.h"

namespace {

constexpr int kExitAllRead = 0;
constexpr int kExitSomeUnread = 1;
constexpr int kExitBadInput = 2;
constexpr double kDefaultTimeoutS = 2.0;
// The image folder of the terminal.
constexpr char kImageDir[] = "/data/scan/";

struct Options {
    bool json = false;
    double timeoutS = kDefaultTimeoutS;
    std::vector<std::string> images;
};

struct Image {
    std::string name;
    imageio::Frame frame;
};

// What the Java side printed for one image.
struct Outcome {
    bool read = false;
    int codeType = 0;
    std::string bytes;
};

void PrintUsage(FILE *to) {
    std::fprintf(to,
                 "usage: scan [--json] [--timeout SECONDS] [IMAGE...]\n"
                 "Scans each IMAGE (PGM, or PNG; colour is turned grey) through the scanner service in\n"
                 "a JVM: the host camera serves it to the PL7230 engine driver, which decodes its frames\n"
                 "until a code is read or the time-out ends. One line per image:\n"
                 "  IMAGE: CODETYPE TEXT    or    IMAGE: no code\n"
                 "CODETYPE is the code type the Java callback received; bytes of TEXT outside printable\n"
                 "ASCII are written \\xNN, a backslash \\\\. Images larger than 752 x 480 are scaled down\n"
                 "onto the frame. With no IMAGE, scans decode-image's built-in samples.\n"
                 "  --json             one JSON object per image instead of a line\n"
                 "  --timeout SECONDS  wait for each result (default %.0f)\n"
                 "  --help             print this text\n"
                 "Exit status: 0 every image read, 1 some image not read, 2 bad arguments, an\n"
                 "unreadable image or a service that did not run.\n",
                 kDefaultTimeoutS);
}

bool ParseSeconds(const char *text, double *out) {
    char *end = nullptr;
    double v = strtod(text, &end);
    if (end == text || *end != '\0' || !(v > 0) || v > 3600) return false;
    *out = v;
    return true;
}

// 0 to go on, -1 after --help, else the exit status.
int ParseArgs(int argc, char **argv, Options *o) {
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            o->images.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return -1;
        } else if (a == "--json") {
            o->json = true;
        } else if (a == "--timeout" && i + 1 < argc && ParseSeconds(argv[i + 1], &o->timeoutS)) {
            ++i;
        } else if (a.rfind("--timeout=", 0) == 0 && ParseSeconds(argv[i] + 10, &o->timeoutS)) {
        } else {
            std::fprintf(stderr, "scan: %s '%s' (see --help)\n",
                         a.rfind("--timeout", 0) == 0 ? "bad or missing seconds after" : "unknown option", a.c_str());
            return kExitBadInput;
        }
    }
    return 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "image <n> none" or "image <n> <code type> <hex>": the image's number, or 0.
size_t ParseOutcome(const std::string &line, Outcome *out) {
    unsigned long n = 0;
    int codeType = 0, used = 0;
    if (sscanf(line.c_str(), "image %lu none%n", &n, &used) == 1 && static_cast<size_t>(used) == line.size()) {
        *out = Outcome{};
        return n;
    }
    if (sscanf(line.c_str(), "image %lu %d %n", &n, &codeType, &used) != 2) return 0;
    std::string hex = line.substr(static_cast<size_t>(used));
    if (hex.size() % 2 != 0) return 0;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return 0;
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    *out = Outcome{true, codeType, bytes};
    return n;
}

// Runs the Java half in the terminal under root: its standard output, and whether it
// exited with 0.
bool RunJvm(const std::string &root, size_t count, const Options &o, std::string *out) {
    std::vector<std::string> argv = {SCAN_JAVA, "-Xcheck:jni", "-XX:+UseSerialGC", "-XX:TieredStopAtLevel=1",
                                     "-Djava.library.path=" SCAN_JNI_LIBRARY_DIR, "-cp", SCAN_CLASSPATH, "ScanMain",
                                     std::to_string(count), std::to_string(static_cast<long>(o.timeoutS * 1000))};
    std::vector<std::string> extra;
#ifdef JVM_ASAN_RUNTIME
    extra = svc_sandbox::jvm_sanitizer_env(JVM_ASAN_RUNTIME, JVM_ASAN_SUPPRESSIONS);
#endif
    // Its messages go to our standard error as they come.
    return svc_sandbox::run_program(argv, root, extra, false, 0, out) == 0;
}

std::string FormatLine(const std::string &name, const Outcome &r, bool json) {
    if (json) {
        std::string line = "{\"file\":" + decode_image::JsonString(name) + ",\"decoded\":" + (r.read ? "true" : "false");
        if (r.read) line += ",\"codeType\":" + std::to_string(r.codeType) + ",\"text\":" + decode_image::JsonString(r.bytes);
        return line + "}";
    }
    return name + ": " + (r.read ? std::to_string(r.codeType) + " " + testkit::EscapeBytes(r.bytes) : "no code");
}

// Lays out the terminal, scans the images and prints their lines: the exit status.
int Scan(const std::vector<Image> &images, const Options &o) {
    std::string root = svc_sandbox::make_root_in(SCAN_WORK_DIR, "terminal");
    if (root.empty()) {
        std::fprintf(stderr, "scan: cannot make a terminal folder under %s\n", SCAN_WORK_DIR);
        return kExitBadInput;
    }
    svc_sandbox::Pl7230Terminal terminal;
    terminal.decoder = SCAN_DECODER;
    terminal.driver = SCAN_DRIVER;
    terminal.camera = SCAN_CAMERA;
    std::string error;
    for (size_t i = 0; i < images.size(); ++i) {
        std::string path = kImageDir + std::to_string(i + 1) + ".pgm";
        terminal.images.push_back(path);
        if (!svc_sandbox::write_device_file(root, path, "") || !imageio::WritePgm(root + path, images[i].frame, &error)) {
            std::fprintf(stderr, "scan: cannot write %s: %s\n", path.c_str(), error.c_str());
            svc_sandbox::remove_root(root);
            return kExitBadInput;
        }
    }
    if (!svc_sandbox::make_pl7230_terminal(root, terminal, &error)) {
        std::fprintf(stderr, "scan: %s\n", error.c_str());
        svc_sandbox::remove_root(root);
        return kExitBadInput;
    }
    std::string out;
    bool ran = RunJvm(root, images.size(), o, &out);
    std::map<size_t, Outcome> outcomes;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        Outcome r;
        if (size_t n = ParseOutcome(line, &r); n >= 1 && n <= images.size()) {
            outcomes[n] = r;
        } else if (!line.empty()) {
            std::fprintf(stderr, "scan: %s\n", line.c_str());
        }
        start = end + 1;
    }
    if (!ran || outcomes.size() != images.size()) {
        std::fprintf(stderr, "scan: the scanner service did not run to its end (terminal kept in %s)\n", root.c_str());
        return kExitBadInput;
    }
    svc_sandbox::remove_root(root);
    bool allRead = true;
    for (size_t i = 0; i < images.size(); ++i) {
        const Outcome &r = outcomes[i + 1];
        std::printf("%s\n", FormatLine(images[i].name, r, o.json).c_str());
        allRead = allRead && r.read;
    }
    return allRead ? kExitAllRead : kExitSomeUnread;
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    if (const int rc = ParseArgs(argc, argv, &o); rc != 0) return rc < 0 ? kExitAllRead : rc;

    std::vector<Image> images;
    bool badInput = false;
    if (o.images.empty()) {
        for (size_t i = 0; i < decode_image::kSampleCount; ++i) {
            const decode_image::Sample &s = decode_image::kSamples[i];
            images.push_back({s.name, decode_image::ExpandSample(s)});
        }
    }
    for (const std::string &path : o.images) {
        Image image{path, {}};
        std::string error;
        if (!imageio::LoadImage(path, &image.frame, &error)) {
            std::fprintf(stderr, "scan: %s: %s\n", path.c_str(), error.c_str());
            badInput = true;
            continue;
        }
        images.push_back(std::move(image));
    }
    int status = images.empty() ? kExitAllRead : Scan(images, o);
    std::fflush(stdout);
    return badInput ? kExitBadInput : status;
}
