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
#include "grey_image.h"
#include "maxi_finder_util.h"
#include "maxi_test_util.h"
#include "support/testkit.h"
#include "toolkit/perspective.h"

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
        std::vector<MaxiReadSymbol> list{
            {2, "1Z00004951\x1DUPSN", "152382802840001", 0,
             std::string("152382802") + kMaxiGs + "840" + kMaxiGs + "001" + kMaxiGs + "1Z00004951\x1DUPSN", '1'},
            {2, header + "1Z0000\x1DUPSN", "12345840999", 0,
             header + "12345" + kMaxiGs + "840" + kMaxiGs + "999" + kMaxiGs + "1Z0000\x1DUPSN", '1'},
            {3, "Parcel 7", "B1050 056999", 0, std::string("B1050") + kMaxiGs + "056" + kMaxiGs + "999" + kMaxiGs + "Parcel 7", '1'},
            {4, "MaxiCode mode 4 in a camera frame", "", 0, "MaxiCode mode 4 in a camera frame", '0'},
            {5, "Enhanced correction 12345", "", 0, "Enhanced correction 12345", '0'},
            {6, "READER PROGRAMMING", "", 0, "READER PROGRAMMING", 0},
            {4, "\xE9t\xE9", "", 26, MaxiEciEscape(26) + "\xE9t\xE9", '2'},
        };
        // Every byte value, 32 to a symbol.
        for (int start = 0; start < 256; start += 32) {
            std::string bytes;
            for (int b = start; b < start + 32; ++b) bytes += static_cast<char>(b);
            list.push_back({4, bytes, "", 0, bytes, '0'});
        }
        return list;
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

// Where a missed frame is lost, replayed on the finder's candidates over the whole frame: no
// candidate, no ring pitch, no orientation, the ring walk, or the codewords (both reads).
std::string MaxiReplayStages(const testkit::Frame &frame) {
    vexo::Test_ResetMaxiStatics();
    vexo_test::GreyImage img(frame.width, frame.height);
    std::copy(frame.pixels.begin(), frame.pixels.end(), img.Data());
    const int n = maxitest::RunWholeImage(img);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    if (n == 0) return "finder";
    std::string stages;
    for (int i = 0; i < n; ++i) {
        const vexo::MAXI_BULLSEYE c = vexo::g_maxiFinder.table[i];
        vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
        const vexo::i32 pitch = vexo::Maxi_MeasureRingPitch(&c, c.radius);
        const vexo::GEO_POINT centre{c.x * 16, c.y * 16};
        vexo::g_maxiGrid.centre = centre;
        std::string stage;
        if (pitch <= 0) {
            stage = "pitch";
        } else if (vexo::Maxi_FindOrientation(pitch, &centre, 0) == 0) {
            stage = "orientation";
        } else {
            vexo::Maxi_BuildIdealRings();
            vexo::u8 text[vexo::kMaxiTextBufferBytes];
            vexo::i32 length = 0;
            vexo::MAXI_CARRIER carrier{};
            if (vexo::Maxi_WalkRings() == 0) {
                stage = "walk";
            } else if (vexo::Maxi_SampleCodewords(&carrier, text, &length) == 1) {
                stage = "read";
            } else {
                vexo::Maxi_RecentreOrientation();
                stage = vexo::Maxi_ReadSymbol(&carrier, nullptr, text, &length) == 1 ? "read 2" : "codewords";
            }
        }
        stages += (i > 0 ? "," : "") + stage;
    }
    return stages;
}

std::string MaxiMissStage(const testkit::Frame &frame) {
    // The replay runs the finder with MaxiCode alone: the decoder's settings come back after.
    const vexo::u32 flags = vexo::g_params.flagsWord[vexo::kSymMaxiCode];
    const std::string stage = MaxiReplayStages(frame);
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = flags;
    return stage;
}

enum class MaxiOutcome { kRead, kMissed, kWrong };

struct MaxiFrameResult {
    MaxiOutcome outcome = MaxiOutcome::kMissed;
    std::string got;
    std::string stage;  // of a miss
};

MaxiFrameResult MaxiReadFrame(const MaxiFrameCase &c) {
    const MaxiReadSymbol &s = MaxiReadSymbols()[static_cast<size_t>(c.symbol)];
    const testkit::Symbol sym = MaxiEncode(s);
    const testkit::Rendered r = testkit::Render(sym, MaxiOptions(c));
    const testkit::DecodeResult d = testkit::DecodeFrame(r.frame, {.init = false, .enableAll = false});
    MaxiFrameResult out;
    if (!d.decoded) {
        out.stage = MaxiMissStage(r.frame);
        return out;
    }
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

bool MaxiFits(const testkit::Symbol &sym, const MaxiFrameCase &c) {
    const testkit::Transform t = testkit::MakeTransform(sym, MaxiOptions(c));
    const double m = c.module;
    const testkit::Point corners[4] = {t.ToImage({-1, -1}), t.ToImage({sym.width + 1, -1}), t.ToImage({-1, sym.height + 1}),
                                       t.ToImage({sym.width + 1, sym.height + 1})};
    for (const testkit::Point &p : corners)
        if (p.x < 0 || p.y < 0 || p.x > c.width - 1 || p.y > 479) return false;
    return m > 0;
}

MaxiFrameCase MaxiSweepCase(int symbol, int module, int angle) {
    const uint64_t seed = static_cast<uint64_t>(symbol * 100000 + module * 1000 + angle);
    const uint64_t h = (seed * 0x9E3779B97F4A7C15ull) >> 32;
    return MaxiFrameCase{symbol, static_cast<double>(module), static_cast<double>(angle), 0.05 * static_cast<double>(h % 4),
                         0.2 * static_cast<double>((h >> 2) % 5), static_cast<double>((h >> 5) % 5),
                         0.1 * static_cast<double>((h >> 8) % 4), (h >> 10) % 2 == 0 ? 752 : 640, seed};
}

// A fixed-seed subset of the sweep below (symbol, px per module, angle; the other conditions
// drawn from the seed as there): every frame reads its exact text, code and identifier.
TEST_F(MaxiReadFrames, FixedSeedSubset) {
    const int cases[][3] = {
        {0, 6, 80},   {0, 8, 80},   {0, 10, 170}, {1, 6, 130}, {1, 8, 140}, {1, 10, 200}, {1, 5, 70},
        {2, 6, 260},  {2, 8, 220},  {2, 10, 320}, {3, 6, 290}, {3, 8, 240}, {3, 10, 300}, {3, 5, 100},
        {4, 6, 350},  {4, 8, 40},   {4, 10, 0},   {5, 6, 90},  {5, 8, 0},   {5, 10, 20},  {6, 6, 250},
        {6, 8, 90},   {6, 10, 140}, {7, 6, 10},   {9, 8, 70},  {12, 10, 90}, {14, 6, 210},
    };
    for (const auto &k : cases) {
        const MaxiFrameCase c = MaxiSweepCase(k[0], k[1], k[2]);
        ASSERT_TRUE(MaxiFits(MaxiEncode(MaxiReadSymbols()[static_cast<size_t>(k[0])]), c)) << MaxiDescribe(c);
        const MaxiFrameResult r = MaxiReadFrame(c);
        EXPECT_EQ(r.outcome, MaxiOutcome::kRead) << MaxiDescribe(c) << " read '" << testkit::EscapeBytes(r.got) << "' " << r.stage;
    }
}

// Misses of the sweep kept with their causes: they must never read another text.
TEST_F(MaxiReadFrames, NamedMisses) {
    struct MaxiNamedMiss {
        int symbol, module, angle;
        const char *stage;
    };
    const MaxiNamedMiss misses[] = {
        {0, 4, 0, "finder"},         // 4 px: the finder raises no bulls-eye
        {0, 6, 20, "orientation"},   // the orientation search finds no axes pair
        {0, 5, 60, "codewords"},     // orientation points a module off: the walked grid misses the modules
    };
    for (const MaxiNamedMiss &m : misses) {
        const MaxiFrameCase c = MaxiSweepCase(m.symbol, m.module, m.angle);
        const MaxiFrameResult r = MaxiReadFrame(c);
        EXPECT_NE(r.outcome, MaxiOutcome::kWrong) << MaxiDescribe(c);
        if (r.outcome == MaxiOutcome::kMissed) {
            EXPECT_EQ(r.stage, m.stage) << MaxiDescribe(c);
        }
    }
}

// The corners of a symbol read lie 20 px beyond the true centres of modules 0, 881 and 852
// and of the spare position (row 0, column 29), each away from the opposite one, within
// 2 px or a quarter module.
TEST_F(MaxiReadFrames, CornersLieBeyondTheCornerModules) {
    const int cases[][3] = {{0, 8, 80}, {2, 10, 320}, {3, 6, 290}, {3, 8, 240}, {4, 8, 40}, {5, 10, 20}};
    for (const auto &k : cases) {
        const MaxiFrameCase c = MaxiSweepCase(k[0], k[1], k[2]);
        const testkit::Symbol sym = MaxiEncode(MaxiReadSymbols()[static_cast<size_t>(k[0])]);
        const testkit::Rendered r = testkit::Render(sym, MaxiOptions(c));
        ASSERT_TRUE(testkit::DecodeFrame(r.frame, {.init = false, .enableAll = false}).decoded) << MaxiDescribe(c);
        vexo::REGION_QUAD q{};
        vexo::Maxi_GetCorners(&q);
        // The decoder's pixel (x, y) is the rendered point (x + 0.5, y + 0.5).
        auto centre = [&](int row, int col) {
            const testkit::Point p = r.ModuleCentre(sym, row, col);
            return testkit::Point{p.x - 0.5, p.y - 0.5};
        };
        auto beyond = [](testkit::Point m, testkit::Point opposite) {
            const double dx = m.x - opposite.x, dy = m.y - opposite.y, d = std::hypot(dx, dy);
            return testkit::Point{m.x + 20 * dx / d, m.y + 20 * dy / d};
        };
        const testkit::Point tl = centre(0, 0), tr = centre(0, 29), bl = centre(32, 0), br = centre(32, 29);
        const testkit::Point expected[4] = {beyond(tl, br), beyond(tr, bl), beyond(bl, tr), beyond(br, tl)};
        const double tolerance = std::max(2.0, c.module / 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_LE(std::hypot(q.c[i].x - expected[i].x, q.c[i].y - expected[i].y), tolerance)
                << MaxiDescribe(c) << " corner " << i << " at (" << q.c[i].x << ", " << q.c[i].y << "), expected ("
                << expected[i].x << ", " << expected[i].y << ")";
        }
    }
}

// Frames that read as rendered are not read mirrored, nor with light modules on dark paper
// (a light-on-dark bulls-eye is not looked for): nothing at all is answered.
TEST_F(MaxiReadFrames, MirroredAndLightOnDarkSymbolsAreNotRead) {
    const int cases[][3] = {{3, 8, 240}, {4, 8, 40}, {5, 10, 20}, {0, 10, 170}, {2, 8, 220}};
    for (const auto &k : cases) {
        const MaxiFrameCase c = MaxiSweepCase(k[0], k[1], k[2]);
        const testkit::Symbol sym = MaxiEncode(MaxiReadSymbols()[static_cast<size_t>(k[0])]);
        testkit::RenderOptions o = MaxiOptions(c);
        ASSERT_TRUE(testkit::DecodeFrame(testkit::Render(sym, o).frame, {.init = false, .enableAll = false}).decoded)
            << MaxiDescribe(c);
        for (const bool mirror : {true, false}) {
            o = MaxiOptions(c);
            o.mirror = mirror;
            o.invert = !mirror;
            const testkit::DecodeResult d = testkit::DecodeFrame(testkit::Render(sym, o).frame, {.init = false, .enableAll = false});
            EXPECT_FALSE(d.decoded) << MaxiDescribe(c) << (mirror ? " mirrored" : " light on dark") << " read '"
                                    << testkit::EscapeBytes(d.text) << "'";
        }
    }
}

// The second symbol of a structured append set of three reads alone, as its own text.
TEST_F(MaxiReadFrames, SymbolTwoOfThreeReadsAlone) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "PART TWO OF THREE";
    in.structAppIndex = 2;
    in.structAppCount = 3;
    const testkit::Symbol sym = testkit::Encode(in);
    ASSERT_TRUE(sym.ok) << sym.error;
    const double conditions[][2] = {{8, 0}, {6, 130}, {10, 250}};
    for (const auto &k : conditions) {
        testkit::RenderOptions o;
        o.moduleSize = k[0];
        o.angleDeg = k[1];
        o.blurSigma = 0.6;
        o.noiseSigma = 2;
        o.seed = static_cast<uint64_t>(k[1]) + 7;
        EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(testkit::Render(sym, o).frame, {.init = false, .enableAll = false}),
                                    "PART TWO OF THREE", kMaxiCodeId, "]U0"))
            << k[0] << " px " << k[1] << " deg";
    }
}

// The whole sweep: every symbol, 3-10 px per module where the turned symbol with one module
// of quiet zone fits, every 10 degrees, with keystone, blur, noise, uneven light and the frame
// size drawn from the seed. No frame reads another text; misses are printed with their seeds
// and the read rate per module size.
class MaxiReadFramesSlow : public MaxiReadFrames {};

TEST_F(MaxiReadFramesSlow, Sweep) {
    const int modules[] = {3, 4, 5, 6, 8, 10};
    ASSERT_EQ(MaxiReadSymbols().size(), 15u);
    int readBy[6] = {}, totalBy[6] = {};
    for (int symbol = 0; symbol < static_cast<int>(MaxiReadSymbols().size()); ++symbol) {
        const testkit::Symbol sym = MaxiEncode(MaxiReadSymbols()[static_cast<size_t>(symbol)]);
        ASSERT_TRUE(sym.ok) << symbol << ": " << sym.error;
        for (int mi = 0; mi < 6; ++mi) {
            for (int angle = 0; angle < 360; angle += 10) {
                const MaxiFrameCase c = MaxiSweepCase(symbol, modules[mi], angle);
                if (!MaxiFits(sym, c)) continue;
                const MaxiFrameResult r = MaxiReadFrame(c);
                ++totalBy[mi];
                EXPECT_NE(r.outcome, MaxiOutcome::kWrong) << MaxiDescribe(c) << " read '" << testkit::EscapeBytes(r.got) << "'";
                if (r.outcome == MaxiOutcome::kRead) {
                    ++readBy[mi];
                } else {
                    std::printf("missed: %s at %s\n", MaxiDescribe(c).c_str(), r.stage.c_str());
                }
            }
        }
    }
    for (int mi = 0; mi < 6; ++mi) std::printf("%2d px: %d of %d read\n", modules[mi], readBy[mi], totalBy[mi]);
}

}  // namespace

namespace {

// ---- The symbol reading and the driver on frames installed directly.

// Several symbols in one frame: each rendered on paper at its centre, the darker pixel kept.
testkit::Frame MaxiCompose(const std::vector<std::pair<testkit::Symbol, testkit::Point>> &symbols, double module,
                           double angle = 0) {
    testkit::Frame out;
    for (const auto &[sym, centre] : symbols) {
        testkit::RenderOptions o;
        o.moduleSize = module;
        o.angleDeg = angle;
        o.center = centre;
        o.blurSigma = 0.5;
        o.seed = static_cast<uint64_t>(centre.x * 1000 + centre.y);
        const testkit::Rendered r = testkit::Render(sym, o);
        if (out.pixels.empty()) {
            out = r.frame;
        } else {
            for (size_t i = 0; i < out.pixels.size(); ++i) out.pixels[i] = std::min(out.pixels[i], r.frame.pixels[i]);
        }
    }
    return out;
}

testkit::Symbol MaxiMode4(const std::string &text) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = text;
    return testkit::Encode(in);
}

// A mode 4 symbol whose text is the longest there is: 46 ECI escapes and a letter (323
// bytes), its codewords written into a rendered symbol's grid through the placement table.
testkit::Symbol MaxiLongest(int letter, std::string *text) {
    std::vector<int> message;
    text->clear();
    for (int k = 0; k < 46; ++k) {
        const int eci = (k + letter) % 32;
        message.push_back(27);
        message.push_back(eci);
        *text += MaxiEciEscape(eci);
    }
    message.push_back(letter);  // set A: 1 is 'A'
    *text += static_cast<char>('A' + letter - 1);
    const std::vector<int> cw = maxitest::MessageSymbol(4, message);
    testkit::Symbol sym = MaxiMode4("placeholder");
    for (int c = 0; c < vexo::kMaxiCodewords; ++c)
        for (int k = 0; k < 6; ++k) {
            const int m = vexo::kMaxiPlacement[static_cast<size_t>(c)][static_cast<size_t>(k)];
            sym.modules[static_cast<size_t>(vexo::Maxi_ModuleRow(m) * sym.cols + vexo::Maxi_ModuleCol(m))] =
                static_cast<uint8_t>((cw[static_cast<size_t>(c)] >> (5 - k)) & 1);
        }
    return sym;
}

class MaxiReadDriver : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        vexo::Test_ResetMaxiStatics();
        testkit::InitDecoder();
        vexo::g_maxiCodewordDecode = nullptr;
    }
    void TearDown() override { vexo::g_maxiCodewordDecode = nullptr; }

    // Installs the frame and runs the finder over all of it (MaxiCode alone); read mode 2 is
    // multi-symbol mode.
    int Install(const testkit::Frame &frame, int readMode) {
        image_ = vexo_test::GreyImage(frame.width, frame.height);
        std::copy(frame.pixels.begin(), frame.pixels.end(), image_.Data());
        const int n = maxitest::RunWholeImage(image_);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::g_params.flagsWord[vexo::kSymMaxiCode] |= static_cast<vexo::u32>(readMode);
        vexo::g_params.resultStore.storedCount = 0;
        return n;
    }

    static std::string Text() {
        const vexo::u8 *t = vexo::Maxi_GetResultText();
        return t == nullptr ? std::string("(null)")
                            : std::string(reinterpret_cast<const char *>(t), static_cast<size_t>(vexo::Maxi_GetResultLength()));
    }

    vexo_test::GreyImage image_{1, 1};
};

// The candidate of the finder's table whose centre lies nearer a than b.
bool MaxiCandidateNear(int i, testkit::Point a, testkit::Point b) {
    const vexo::MAXI_BULLSEYE &c = vexo::g_maxiFinder.table[i];
    return std::hypot(c.x - a.x, c.y - a.y) < std::hypot(c.x - b.x, c.y - b.y);
}

TEST_F(MaxiReadDriver, OneSymbolModeReturnsTheFirstCandidateRead) {
    const testkit::Point left{190, 240}, right{560, 240};
    const testkit::Frame f = MaxiCompose({{MaxiMode4("LEFT SYMBOL"), left}, {MaxiMode4("RIGHT SYMBOL"), right}}, 7);
    ASSERT_EQ(Install(f, 1), 2);
    ASSERT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    EXPECT_EQ(Text(), MaxiCandidateNear(0, left, right) ? "LEFT SYMBOL" : "RIGHT SYMBOL");
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
}

TEST_F(MaxiReadDriver, MultiSymbolModeCollectsTwo) {
    const testkit::Point left{190, 240}, right{560, 240};
    const testkit::Frame f = MaxiCompose({{MaxiMode4("LEFT SYMBOL"), left}, {MaxiMode4("RIGHT SYMBOL 2"), right}}, 7);
    ASSERT_EQ(Install(f, 2), 2);
    ASSERT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    const bool leftFirst = MaxiCandidateNear(0, left, right);
    const std::string first = leftFirst ? "LEFT SYMBOL" : "RIGHT SYMBOL 2", second = leftFirst ? "RIGHT SYMBOL 2" : "LEFT SYMBOL";
    EXPECT_EQ(Text(), first + second);
    EXPECT_EQ(vexo::Maxi_GetResultLength(), 25);
    const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
    ASSERT_EQ(rs.storedCount, 2);
    EXPECT_EQ(rs.storedLength[0], static_cast<int>(first.size()));
    EXPECT_EQ(rs.storedLength[1], static_cast<int>(second.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(rs.storedData0), first.size()), first);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(rs.storedData1), second.size()), second);
    // Quads in whole pixels round each symbol's centre.
    const testkit::Point centres[2] = {leftFirst ? left : right, leftFirst ? right : left};
    for (int k = 0; k < 2; ++k) {
        double x = 0, y = 0;
        for (const vexo::GEO_POINT &p : rs.storedQuad[k].c) x += p.x / 4.0, y += p.y / 4.0;
        EXPECT_NEAR(x, centres[k].x, 6) << k;
        EXPECT_NEAR(y, centres[k].y, 6) << k;
    }
}

TEST_F(MaxiReadDriver, OneSymbolSeenTwiceIsGivenOnce) {
    const testkit::Frame f = MaxiCompose({{MaxiMode4("SEEN TWICE"), {376, 240}}}, 7);
    ASSERT_EQ(Install(f, 2), 1);
    vexo::g_maxiFinder.table[1] = vexo::g_maxiFinder.table[0];
    vexo::g_maxiFinder.table[1].x += 2;
    vexo::g_maxiFinder.count = 2;
    ASSERT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    EXPECT_EQ(Text(), "SEEN TWICE");
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 1);
}

TEST_F(MaxiReadDriver, ThreeSymbolsFailMultiSymbolMode) {
    const testkit::Frame f = MaxiCompose(
        {{MaxiMode4("ONE"), {120, 240}}, {MaxiMode4("TWO"), {376, 240}}, {MaxiMode4("THREE"), {632, 240}}}, 7);
    ASSERT_EQ(Install(f, 2), 3);
    EXPECT_EQ(vexo::Maxi_DecodeWholeImage(), 0);
    EXPECT_EQ(vexo::Maxi_GetResultLength(), 0);
    EXPECT_EQ(vexo::Maxi_GetResultText(), nullptr);
    EXPECT_EQ(vexo::g_maxiResult.total, 11);
    EXPECT_EQ(vexo::g_params.resultStore.storedCount, 2);
}

// Four symbols of the longest text: the loop ends at the third, whose text ends at byte 969;
// a fourth would run past the 1,104 bytes of the text into the total.
TEST_F(MaxiReadDriver, FourLongestSymbolsStayInsideTheText) {
    std::string texts[4];
    std::vector<std::pair<testkit::Symbol, testkit::Point>> symbols;
    const testkit::Point centres[4] = {{190, 135}, {560, 135}, {190, 345}, {560, 345}};
    for (int k = 0; k < 4; ++k) symbols.emplace_back(MaxiLongest(k + 1, &texts[k]), centres[k]);
    ASSERT_EQ(texts[0].size(), 323u);
    ASSERT_EQ(Install(MaxiCompose(symbols, 7), 2), 4);
    EXPECT_EQ(vexo::Maxi_DecodeWholeImage(), 0);
    EXPECT_EQ(vexo::Maxi_GetResultLength(), 0);
    EXPECT_EQ(vexo::g_maxiResult.total, 969);
    const std::string joined(reinterpret_cast<const char *>(vexo::g_maxiResult.text), 969);
    int found = 0;
    for (const std::string &t : texts) found += joined.find(t) != std::string::npos ? 1 : 0;
    EXPECT_EQ(found, 3);
}

TEST_F(MaxiReadDriver, RegionOfInterestSkipsCandidatesOutsideIt) {
    const testkit::Frame f = MaxiCompose({{MaxiMode4("INTEREST"), {376, 240}}}, 7);
    ASSERT_EQ(Install(f, 1), 1);
    vexo::g_state.extraGeometryStep = 1;
    vexo::g_state.roiQuad = vexo::REGION_QUAD{{{0, 0}, {100, 0}, {0, 100}, {100, 100}}};
    EXPECT_EQ(vexo::Maxi_DecodeWholeImage(), 0);
    vexo::g_state.roiQuad = vexo::REGION_QUAD{{{300, 180}, {450, 180}, {300, 300}, {450, 300}}};
    EXPECT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    EXPECT_EQ(Text(), "INTEREST");
}

TEST_F(MaxiReadDriver, Accessors) {
    char aim[4] = {'x', 'x', 'x', 'x'};
    vexo::Maxi_WriteAimId(nullptr);
    vexo::Maxi_WriteAimId(aim);
    EXPECT_EQ(std::string(aim, 4), "]U0x");
    const testkit::Frame f = MaxiCompose({{MaxiMode4("ACCESSORS"), {376, 240}}}, 7);
    ASSERT_EQ(Install(f, 1), 1);
    ASSERT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    vexo::g_maxiResult.text[9] = 'x';
    const vexo::u8 *t = vexo::Maxi_GetResultText();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[9], 0);
    // A decode that fails leaves no text.
    vexo::g_maxiFinder.count = 0;
    EXPECT_EQ(vexo::Maxi_DecodeWholeImage(), 0);
    EXPECT_EQ(vexo::Maxi_GetResultText(), nullptr);
}

// A first read that fails and a re-centred second read: the length word is 0 when the
// second read starts and the text is the second read's.
std::vector<vexo::i32> g_maxiSeamLengths;
int g_maxiSeamCalls = 0;
vexo::i32 MaxiFailFirstDecode(const vexo::i32 *codewords, vexo::i32 count, vexo::u8 *text, vexo::i32 *length,
                              vexo::MAXI_CARRIER *carrier) {
    g_maxiSeamLengths.push_back(*length);
    bool inRange = count == 144;
    for (int i = 0; i < count; ++i) inRange = inRange && codewords[i] >= 0 && codewords[i] <= 63;
    if (!inRange) return -9;
    if (g_maxiSeamCalls++ == 0) {
        std::memcpy(text, "WRONG", 5);
        *length = 5;
        return 1;
    }
    return vexo::Maxi_DecodeCodewords(codewords, count, text, length, carrier);
}

TEST_F(MaxiReadDriver, SecondReadAfterRecentring) {
    const testkit::Frame f = MaxiCompose({{MaxiMode4("SECOND READ"), {376, 240}}}, 7, 10);
    ASSERT_EQ(Install(f, 1), 1);
    g_maxiSeamLengths.clear();
    g_maxiSeamCalls = 0;
    vexo::g_maxiCodewordDecode = MaxiFailFirstDecode;
    ASSERT_EQ(vexo::Maxi_DecodeWholeImage(), 1);
    EXPECT_EQ(Text(), "SECOND READ");
    EXPECT_EQ(g_maxiSeamLengths, (std::vector<vexo::i32>{0, 0}));
}

// The reading with the orientation points set from the truth.
struct MaxiTruthScene {
    testkit::Symbol sym;
    testkit::Rendered rendered;
};

void MaxiSetTruth(const MaxiTruthScene &sc) {
    auto at = [&](int m) {
        const testkit::Point p = sc.rendered.ModuleCentre(sc.sym, vexo::Maxi_ModuleRow(m), vexo::Maxi_ModuleCol(m));
        return vexo::GEO_POINT{static_cast<vexo::i32>(std::lround(p.x * 16)), static_cast<vexo::i32>(std::lround(p.y * 16))};
    };
    const vexo::GEO_POINT e = at(440), w = at(439);
    vexo::g_maxiGrid.centre = vexo::GEO_POINT{(e.x + w.x) / 2, (e.y + w.y) / 2};
    for (int i = 0; i < 18; ++i) {
        vexo::g_maxiGrid.points[i] = at(vexo::kMaxiOrientationModules[i]);
        vexo::g_maxiGrid.pitches[i] = 16 * 6;
    }
    vexo::Maxi_BuildIdealRings();
}

class MaxiReadTruth : public MaxiReadDriver {
protected:
    MaxiTruthScene Scene(const std::string &text, double module, double angle, testkit::Point centre = {376, 240}) {
        MaxiTruthScene sc{MaxiMode4(text), {}};
        testkit::RenderOptions o;
        o.moduleSize = module;
        o.angleDeg = angle;
        o.center = centre;
        o.blurSigma = 0.5;
        o.noiseSigma = 2;
        o.seed = static_cast<uint64_t>(angle * 10 + module);
        sc.rendered = testkit::Render(sc.sym, o);
        Install(sc.rendered.frame, 1);
        if (vexo::g_maxiFinder.count > 0) {
            const vexo::MAXI_BULLSEYE c = vexo::g_maxiFinder.table[0];
            vexo::Maxi_MeasureThreshold(&c, c.radius, &vexo::g_maxiGrid.minStep, &vexo::g_maxiGrid.edgeRatio);
        }
        MaxiSetTruth(sc);
        return sc;
    }
    static std::string Read(int *status) {
        vexo::u8 text[vexo::kMaxiTextBufferBytes] = {};
        vexo::i32 length = 0;
        vexo::MAXI_CARRIER carrier{};
        *status = vexo::Maxi_ReadSymbol(&carrier, nullptr, text, &length);
        return std::string(reinterpret_cast<const char *>(text), static_cast<size_t>(length < 0 ? 0 : length));
    }
};

TEST_F(MaxiReadTruth, FrontalAndTurnedFramesRead) {
    for (double angle : {0.0, 37.0, 160.0, 275.0}) {
        Scene("TRUTH READ", 6, angle);
        int status = 0;
        EXPECT_EQ(Read(&status), "TRUTH READ") << angle;
        EXPECT_EQ(status, 1) << angle;
    }
}

// A symbol running off the left edge: the modules outside read 128 against their region's
// threshold and the read succeeds while the lost codewords stay within the correction.
TEST_F(MaxiReadTruth, SymbolRunningOffTheFrame) {
    Scene("OFF THE EDGE", 6, 0, {86, 240});
    int status = 0;
    EXPECT_EQ(Read(&status), "OFF THE EDGE");
    EXPECT_EQ(status, 1);
    const vexo::i32 *mapped = reinterpret_cast<const vexo::i32 *>(vexo::Pix_WorkMemory(vexo::kMaxiWorkBytes) + vexo::kMaxiMappedOffset);
    EXPECT_LT(mapped[0], 0);  // module 0 lies outside
}

}  // namespace
