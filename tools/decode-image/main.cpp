// decode-image: decodes image files (or the built-in samples) with the decoder library,
// loaded and driven as the scanner runtime drives it, and prints one line per image.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "library.h"
#include "report.h"
#include "samples.h"
#include "imageio/image_io.h"
#include "imageio/scale.h"

namespace {

constexpr int kExitAllRead = 0;
constexpr int kExitSomeUnread = 1;
constexpr int kExitBadInput = 2;

struct Options {
    std::string library = VEXO3_DEFAULT_PATH;
    bool json = false;
    bool time = false;
    std::vector<std::string> images;
};

void PrintUsage(FILE *to) {
    std::fprintf(to,
                 "usage: decode-image [--lib PATH] [--json] [--time] [IMAGE...]\n"
                 "Decodes each IMAGE (PGM, or PNG; colour is turned grey) with the decoder library and\n"
                 "prints one line per image:\n"
                 "  IMAGE: CODE TYPE (0xCODEID) AIM TEXT    or    IMAGE: no code\n"
                 "Bytes of AIM and TEXT outside printable ASCII are written \\xNN, a backslash \\\\.\n"
                 "Images larger than the decoder's frame limit (1280 per side, 1,228,800 pixels) are\n"
                 "scaled down first. With no IMAGE, decodes the built-in sample images.\n"
                 "  --lib PATH  decoder library to load (default %s)\n"
                 "  --json      one JSON object per image instead of a line\n"
                 "  --time      add the time each Decode call took\n"
                 "  --help      print this text\n"
                 "Exit status: 0 every image read, 1 some image not read, 2 bad arguments, an\n"
                 "unreadable image or a library that does not load.\n",
                 VEXO3_DEFAULT_PATH);
}

// 0 to go on, else the exit status.
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
        } else if (a == "--time") {
            o->time = true;
        } else if (a == "--lib" && i + 1 < argc) {
            o->library = argv[++i];
        } else if (a.rfind("--lib=", 0) == 0 && a.size() > 6) {
            o->library = a.substr(6);
        } else {
            std::fprintf(stderr, "decode-image: %s '%s' (see --help)\n",
                         a == "--lib" || a == "--lib=" ? "missing path after" : "unknown option", a.c_str());
            return kExitBadInput;
        }
    }
    return 0;
}

class Runner {
public:
    Runner(const testkit::DecoderApi &api, const Options &o) : api_(api), o_(o) {}

    // Decodes one frame and prints its line; answers whether it was read.
    bool Decode(const std::string &name, const imageio::Frame &input) {
        bool scaled = false;
        const imageio::Frame frame = imageio::FitToFrameLimit(input, &scaled);
        if (scaled) {
            std::fprintf(stderr, "decode-image: %s: %dx%d scaled down to %dx%d to fit the decoder's frame limit\n",
                         name.c_str(), input.width, input.height, frame.width, frame.height);
        }
        const testkit::DecodeResult r = testkit::RunFrame(api_, frame);
        const std::optional<double> ms = o_.time ? std::optional<double>(r.decodeMs) : std::nullopt;
        const std::string line = o_.json ? decode_image::FormatJson(name, r, ms) : decode_image::FormatLine(name, r, ms);
        std::printf("%s\n", line.c_str());
        return r.decoded;
    }

private:
    const testkit::DecoderApi &api_;
    const Options &o_;
};

}  // namespace

int main(int argc, char **argv) {
    Options o;
    if (const int rc = ParseArgs(argc, argv, &o); rc != 0) return rc < 0 ? kExitAllRead : rc;

    decode_image::DecoderLibrary library;
    std::string error;
    if (!library.Load(o.library, &error)) {
        std::fprintf(stderr, "decode-image: %s\n", error.c_str());
        return kExitBadInput;
    }
    const testkit::DecoderApi &api = library.api();
    // Once per run, as the runtime does: some decoder state carries over from image to image.
    api.init();

    Runner runner(api, o);
    bool allRead = true, badInput = false;
    if (o.images.empty()) {
        for (size_t i = 0; i < decode_image::kSampleCount; ++i) {
            const decode_image::Sample &s = decode_image::kSamples[i];
            allRead = runner.Decode(s.name, decode_image::ExpandSample(s)) && allRead;
        }
    }
    for (const std::string &path : o.images) {
        imageio::Frame frame;
        if (!imageio::LoadImage(path, &frame, &error)) {
            std::fprintf(stderr, "decode-image: %s: %s\n", path.c_str(), error.c_str());
            badInput = true;
            continue;
        }
        allRead = runner.Decode(path, frame) && allRead;
    }
    std::fflush(stdout);
    if (badInput) return kExitBadInput;
    return allRead ? kExitAllRead : kExitSomeUnread;
}
