// The two-width symbologies from camera frames: Code 39 (plain, with its check character,
// full ASCII and Code 32), Code 93, Interleaved 2 of 5 with ITF-14 and ITF-6, Matrix,
// Industrial and IATA 2 of 5 and Codabar, made with libzint, rendered by module size,
// rotation, blur, noise and tilt and read through the decoder's exported interface with
// every symbology on. Options are set through the exported Set as a host sets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "core/modules.h"
#include "support/testkit.h"

namespace {

// A property Set before the frame and the value that undoes it after.
struct TwoWidthSetting {
    uint32_t id;
    uint32_t value;
    uint32_t undo;
};

constexpr uint32_t kTwOn = 0x10001, kTwOff = 0x10000, kTwCheck = 0x10007, kTwNoCheck = 0x10006;

struct TwoWidthSymbol {
    const char *name;
    int symbology;  // libzint's
    const char *data;
    int option2;
    const char *text;  // what the decoder reports with the settings below
    uint32_t codeId;
    const char *aim;
    int codeType;
    TwoWidthSetting settings[3];  // id 0: none
};

// ITF-14 and ITF-6 are Interleaved symbols whose last digit is the mod-10 check: with every
// symbology on they report as the fixed-length forms (their check digit sent). Interleaved
// has neither a check nor a fixed length by default, so a scan line that leaves the symbol
// through its bars' ends can read a shorter symbol that is valid all the same (seen: the
// first 8 of the ITF-14 digits, at 2.5 px turned 120 degrees with tilt 0.2, where the region
// finder's quadrilateral crosses the sheared symbol); the Interleaved rows set the length
// limits to their symbol's length, as a host guards Interleaved.
const TwoWidthSymbol kTwoWidthSymbols[] = {
    {"Code 39", BARCODE_CODE39, "CODE-39 A1", 0, "*CODE-39 A1*", 13, "]A0", 22, {}},
    // Its mod-43 check verified and sent, the asterisks stripped (sub 3 off).
    {"Code 39 check", BARCODE_CODE39, "ABC-123", 1, "ABC-123W", 13, "]A1", 22,
     {{0x11401, kTwCheck, kTwNoCheck}, {0x11403, kTwOff, kTwOn}}},
    {"extended Code 39", BARCODE_EXCODE39, "Scan me!", 0, "*Scan me!*", 13, "]A4", 23, {{0x11404, kTwOn, kTwOff}}},
    {"Code 32", BARCODE_CODE32, "14352312", 0, "14352312", 13, "]X0", 47, {{0x11408, kTwOn, kTwOff}}},
    {"Code 93", BARCODE_CODE93, "CODE93-Ab", 0, "CODE93-Ab", 14, "]G0", 24, {}},
    {"Interleaved", BARCODE_C25INTER, "12345678", 0, "12345678", 17, "]I0", 27,
     {{0x10A03, 8, 2}, {0x10A04, 8, 254}}},
    {"ITF-14", BARCODE_C25INTER, "09501101530003", 0, "09501101530003", 19, "]I1", 29,
     {{0x10A03, 14, 2}, {0x10A04, 14, 254}}},
    {"ITF-6", BARCODE_C25INTER, "123457", 0, "123457", 18, "]I1", 28, {{0x10A03, 6, 2}, {0x10A04, 6, 254}}},
    {"Matrix", BARCODE_C25STANDARD, "1234567", 0, "1234567", 24, "]X0", 36, {}},
    {"Industrial", BARCODE_C25IND, "1234567", 0, "1234567", 25, "]S0", 37, {}},
    {"IATA", BARCODE_C25IATA, "1234567", 0, "1234567", 23, "]R0", 35, {}},
    {"Codabar", BARCODE_CODABAR, "A37859B", 0, "A37859B", 16, "]F0", 26, {}},
    // Its mod-16 check verified and sent.
    {"Codabar check", BARCODE_CODABAR, "C12-45$D", 1, "C12-45$-D", 16, "]F2", 26, {{0x11501, kTwCheck, kTwNoCheck}}},
};
constexpr int kTwoWidthSymbolCount = static_cast<int>(std::size(kTwoWidthSymbols));

struct TwoWidthView {
    double module;
    double angle;
    double blur;
    double noise;
    double tilt;
    int width;
    uint64_t seed;
};

struct TwoWidthOutcome {
    bool fits = true;  // the symbol with 10 modules of quiet zone each side lies in the frame
    bool read = false;
    std::string wrong;  // what a wrong read gave
};

TwoWidthOutcome ReadTwoWidthFrame(const TwoWidthSymbol &s, const TwoWidthView &v) {
    testkit::SymbolInput in;
    in.symbology = s.symbology;
    in.data = s.data;
    in.option2 = s.option2;
    in.height = 40;
    const testkit::Symbol symbol = testkit::Encode(in);
    const testkit::Rendered img =
        testkit::Render(symbol, {.width = v.width, .moduleSize = v.module, .angleDeg = v.angle, .keystone = v.tilt,
                                 .blurSigma = v.blur, .noiseSigma = v.noise, .seed = v.seed});
    TwoWidthOutcome out;
    for (const testkit::Point corner : {testkit::Point{-10, 0}, testkit::Point{symbol.width + 10, 0},
                                        testkit::Point{-10, symbol.height}, testkit::Point{symbol.width + 10, symbol.height}}) {
        const testkit::Point p = img.transform.ToImage(corner);
        out.fits = out.fits && p.x >= 0 && p.y >= 0 && p.x < v.width && p.y < 480;
    }
    // Init puts every option back to its default: each frame starts from the same words.
    testkit::InitDecoder();
    for (const TwoWidthSetting &t : s.settings)
        if (t.id != 0) ZPT_SE_VexoDec_Set(t.id, t.value);
    const testkit::DecodeResult r = testkit::DecodeFrame(img.frame);
    const int codeType = vexo::Dec_GetLastSymbologyCode();
    for (const TwoWidthSetting &t : s.settings)
        if (t.id != 0) ZPT_SE_VexoDec_Set(t.id, t.undo);
    if (!r.decoded) return out;
    out.read = testkit::ReadAs(r, s.text, s.codeId, s.aim) && codeType == s.codeType;
    if (!out.read)
        out.wrong = testkit::EscapeBytes(r.aim) + " \"" + testkit::EscapeBytes(r.text) + "\" as " +
                    std::to_string(r.codeId) + " type " + std::to_string(codeType);
    return out;
}

std::string DescribeTwoWidth(const TwoWidthSymbol &s, const TwoWidthView &v) {
    char b[200];
    std::snprintf(b, sizeof b, "%s \"%s\" module %.1f angle %.0f blur %.1f noise %.0f tilt %.2f %dx480 seed %llu", s.name,
                  s.data, v.module, v.angle, v.blur, v.noise, v.tilt, v.width, static_cast<unsigned long long>(v.seed));
    return b;
}

// The view of seed k of the subset: symbol k mod 13, and module size, angle, blur, noise,
// tilt and frame width by turns.
TwoWidthView TwoWidthSubsetView(uint64_t seed) {
    static const double kModules[] = {2.5, 3, 2, 4};
    TwoWidthView v{};
    v.module = kModules[seed / 13 % 4];
    v.angle = 15.0 * static_cast<double>((seed * 7) % 24);
    v.blur = seed % 3 == 0 ? 0.6 : seed % 5 == 0 ? 1.0 : 0;
    v.noise = seed % 2 == 0 ? 2 : seed % 7 == 0 ? 4 : 0;
    v.tilt = seed % 4 == 0 ? 0.2 : 0;
    v.width = seed % 3 == 1 ? 640 : 752;
    v.seed = seed;
    return v;
}

// The subset: 39 frames, each symbol three times. Frames expected to miss are listed with
// their cause.
TEST(LineImgFrames, TwoWidthSymbolsRead) {
    // 28 (extended Code 39, 2 px, 60 degrees, tilt 0.2) and 32 (ITF-14, 2 px, 120 degrees,
    // tilt 0.2): the tilt shears the long, low symbol (its bars some 60 degrees off its axis)
    // and the region finder's quadrilateral lies across it, at the wrong angle, over a third
    // of its length; both read from the region they should have (with 20 modules of quiet
    // zone each side: ITF-14 does not with 10, see the sweep).
    const uint64_t kExpectedMisses[] = {28, 32};
    int reads = 0;
    for (uint64_t seed = 1; seed <= 39; ++seed) {
        const TwoWidthSymbol &s = kTwoWidthSymbols[seed % kTwoWidthSymbolCount];
        const TwoWidthView v = TwoWidthSubsetView(seed);
        const TwoWidthOutcome o = ReadTwoWidthFrame(s, v);
        const std::string what = DescribeTwoWidth(s, v);
        EXPECT_TRUE(o.wrong.empty()) << what << " read " << o.wrong;
        const bool expected = std::find(std::begin(kExpectedMisses), std::end(kExpectedMisses), seed) !=
                              std::end(kExpectedMisses);
        reads += o.read ? 1 : 0;
        if (!o.read) std::printf("miss: %s\n", what.c_str());
        EXPECT_TRUE(o.read || expected) << "miss: " << what;
    }
    std::printf("two-width frames: %d of 39 read\n", reads);
}

// The whole table for each symbol: module 2, 2.5, 3, 4 px x angle 0..330 in 30-degree steps
// x blur 0, 0.6, 1 x noise 0, 2, 4, tilt 0.2 on every third seed, 752 or 640 wide by seed;
// zero wrong reads, rates printed, of all frames and of those the symbol fits (with 10
// modules of quiet zone each side); at 2 to 3 px three frames in four of those read.
// Measured (of 108, 2 / 2.5 / 3 / 4 px): Code 39 90 / 93 / 94 / 47, with check 91 / 98 / 97 /
// 76, extended 85 / 78 / 45 / 13, Code 32 95 / 104 / 107 / 107, Code 93 101 / 102 / 102 / 87,
// Interleaved 108 / 106 / 105 / 40, ITF-14 91 / 97 / 86 / 15, ITF-6 108 / 108 / 107 / 53,
// Matrix 99 / 105 / 106 / 62, Industrial 95 / 96 / 102 / 31, IATA 102 / 100 / 98 / 51,
// Codabar 100 / 103 / 105 / 107, with check 92 / 101 / 104 / 86.
// Traced causes: at 2 to 3 px four misses in five are tilted frames, where the region
// finder's quadrilateral leans off the sheared symbol (seeds 7008, 7038) or, turned 60 or
// 120 degrees, lies across it (as subset seeds 28 and 32). Interleaved, ITF-14, Matrix,
// Industrial and IATA at 4 px, and ITF-14 turned 60 to 120 degrees at 2 to 3 px (seeds
// 9676, 9827), miss when the region reaches only about 10 modules past the bars: less than
// the quiet zone their start/stop search asks (the width of the run's last 6 elements, up
// to 12 modules); each of those read from a region of 20 modules each side. The longer
// symbols (extended Code 39, Code 39 at 4 px) do not fit the frame at most angles.
TEST(LineImgFramesSlow, TwoWidthFullSweep) {
    uint64_t seed = 7000;
    for (const TwoWidthSymbol &s : kTwoWidthSymbols)
        for (double m : {2.0, 2.5, 3.0, 4.0}) {
            int reads = 0, total = 0, fitting = 0, fittingReads = 0;
            for (int a = 0; a < 12; ++a)
                for (double b : {0.0, 0.6, 1.0})
                    for (double n : {0.0, 2.0, 4.0}) {
                        ++seed;
                        const TwoWidthView v{m, 30.0 * a, b, n, seed % 3 == 0 ? 0.2 : 0, seed % 2 == 0 ? 752 : 640, seed};
                        const TwoWidthOutcome o = ReadTwoWidthFrame(s, v);
                        EXPECT_TRUE(o.wrong.empty()) << DescribeTwoWidth(s, v) << " read " << o.wrong;
                        ++total;
                        reads += o.read ? 1 : 0;
                        fitting += o.fits ? 1 : 0;
                        fittingReads += o.fits && o.read ? 1 : 0;
                        if (o.fits && !o.read && std::getenv("TWO_WIDTH_MISSES") != nullptr)
                            std::printf("  miss: %s\n", DescribeTwoWidth(s, v).c_str());
                    }
            std::printf("%s module %.1f: %d of %d read; of %d that fit, %d\n", s.name, m, reads, total, fitting,
                        fittingReads);
            if (m <= 3) {
                EXPECT_GE(4 * fittingReads, 3 * fitting) << s.name << " module " << m;
            }
        }
}

}  // namespace
