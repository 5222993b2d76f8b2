// MaxiCode symbols read from rendered camera frames: end to end through the exported
// interface, the symbol reading on the finder's real bulls-eyes with its tables, and the
// driver over several symbols in one frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aztec_maxicode/maxi_data.h"
#include "aztec_maxicode/maxi_driver.h"
#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_read.h"
#include "aztec_maxicode/maxi_services.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "support/testkit.h"

namespace {

constexpr uint32_t kMaxiCodeId = 0x106;
constexpr char kMaxiGs[] = "\x1D";

struct MaxiReadSymbol {
    int mode;
    std::string data;
    std::string primary;
    int eci;
    std::string text;  // what the decoder answers
    char aim;          // modifier, 0 for mode 6
};

std::string MaxiEciEscape(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\%06d", value);
    return buf;
}

const std::vector<MaxiReadSymbol> &MaxiReadSymbols() {
    static const std::vector<MaxiReadSymbol> made = [] {
        const std::string header = "[)>\x1E" "01\x1D" "96";
        std::string bytes;
        for (int b = 0; b < 256; b += 3) bytes += static_cast<char>(b);
        return std::vector<MaxiReadSymbol>{
            {2, "1Z00004951\x1DUPSN", "152382802840001", 0,
             std::string("152382802") + kMaxiGs + "840" + kMaxiGs + "001" + kMaxiGs + "1Z00004951\x1DUPSN", '1'},
            {2, header + "1Z0000\x1DUPSN", "12345840999", 0,
             header + "12345" + kMaxiGs + "840" + kMaxiGs + "999" + kMaxiGs + "1Z0000\x1DUPSN", '1'},
            {3, "Parcel 7", "B1050 056999", 0, std::string("B1050") + kMaxiGs + "056" + kMaxiGs + "999" + kMaxiGs + "Parcel 7", '1'},
            {4, "MaxiCode mode 4 in a camera frame", "", 0, "MaxiCode mode 4 in a camera frame", '0'},
            {5, "Enhanced correction 12345", "", 0, "Enhanced correction 12345", '0'},
            {6, "READER PROGRAMMING", "", 0, "READER PROGRAMMING", 0},
            {4, "\xE9t\xE9", "", 26, MaxiEciEscape(26) + "\xE9t\xE9", '2'},
            {4, bytes, "", 0, bytes, '0'},
        };
    }();
    return made;
}

testkit::Symbol MaxiEncode(const MaxiReadSymbol &s) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = s.mode;
    in.data = s.data;
    in.primary = s.primary;
    in.eci = s.eci;
    return testkit::Encode(in);
}

struct MaxiFrameCase {
    int symbol;  // index into MaxiReadSymbols()
    double module;
    double angle;
    double keystone;
    double blur;
    double noise;
    double uneven;
    int width;
    uint64_t seed;
};

std::string MaxiDescribe(const MaxiFrameCase &c) {
    char b[200];
    std::snprintf(b, sizeof b, "symbol %d (mode %d) %.0f px %.0f deg keystone %.2f blur %.1f noise %.0f uneven %.1f %dx480 seed %llu",
                  c.symbol, MaxiReadSymbols()[static_cast<size_t>(c.symbol)].mode, c.module, c.angle, c.keystone, c.blur,
                  c.noise, c.uneven, c.width, static_cast<unsigned long long>(c.seed));
    return b;
}

testkit::RenderOptions MaxiOptions(const MaxiFrameCase &c) {
    testkit::RenderOptions o;
    o.width = c.width;
    o.height = 480;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.keystone = c.keystone;
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.unevenLight = c.uneven;
    o.lightAngleDeg = 30;
    o.seed = c.seed;
    return o;
}

enum class MaxiOutcome { kRead, kMissed, kWrong };

struct MaxiFrameResult {
    MaxiOutcome outcome = MaxiOutcome::kMissed;
    std::string got;
};

MaxiFrameResult MaxiReadFrame(const MaxiFrameCase &c) {
    const MaxiReadSymbol &s = MaxiReadSymbols()[static_cast<size_t>(c.symbol)];
    const testkit::Symbol sym = MaxiEncode(s);
    const testkit::Rendered r = testkit::Render(sym, MaxiOptions(c));
    const testkit::DecodeResult d = testkit::DecodeFrame(r.frame, {.init = false, .enableAll = false});
    MaxiFrameResult out;
    if (!d.decoded) return out;
    out.got = d.text;
    const std::string aim = std::string("]U") + std::string(1, s.aim);
    out.outcome = d.text == s.text && d.codeId == kMaxiCodeId && d.aim == aim ? MaxiOutcome::kRead : MaxiOutcome::kWrong;
    return out;
}

class MaxiReadFrames : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        vexo::Test_ResetMaxiStatics();
        testkit::InitDecoder();
        testkit::EnableAllSymbologies(testkit::LinkedDecoder());
    }
};

TEST_F(MaxiReadFrames, FixedSeedSubset) {
    const MaxiFrameCase cases[] = {
        {3, 6, 0, 0, 0.5, 2, 0, 752, 1},
    };
    for (const MaxiFrameCase &c : cases) {
        const MaxiFrameResult r = MaxiReadFrame(c);
        EXPECT_EQ(r.outcome, MaxiOutcome::kRead) << MaxiDescribe(c) << " read '" << testkit::EscapeBytes(r.got) << "'";
    }
}

}  // namespace
