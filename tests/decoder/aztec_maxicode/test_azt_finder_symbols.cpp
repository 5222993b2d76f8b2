// The Aztec bulls-eye finder over rendered libzint symbols: the finder framework over a
// region round the symbol, then the hand-out, checked against the render transform.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

#include "azt_finder_scene.h"
#include "decoder_test.h"

namespace {

using namespace azt_finder_test;

class AztFinderSymbols : public vexo_test::DecoderTest {};

uint32_t ReadMode(bool inverted) { return inverted ? vexo::kFlag2DLightOnDark : vexo::kFlag2DDarkOnLight; }

uint64_t SeedOf(int option2, double module, double angle, bool inverted) {
    return static_cast<uint64_t>(option2 * 100003 + static_cast<int>(module) * 1009 + static_cast<int>(angle) * 7 +
                                 (inverted ? 1 : 0));
}

// A fixed sample of the sweep below, every size in both polarities.
TEST_F(AztFinderSymbols, FindsOneBullseyePerSymbolWithItsCornersAndOrientation) {
    struct Pick {
        int option2, module, angle;
        bool inverted;
    };
    static constexpr Pick kPicks[] = {
        {1, 3, 15, false}, {1, 6, 150, true}, {2, 4, 60, false}, {2, 2, 0, true},   {3, 5, 105, false},
        {3, 3, 15, true},  {4, 6, 150, false}, {4, 4, 60, true}, {5, 2, 0, false},  {5, 5, 105, true},
        {6, 3, 15, false}, {6, 6, 150, true}, {7, 4, 60, false}, {7, 2, 0, true},   {8, 5, 105, false},
        {8, 3, 15, true},  {9, 7, 300, false}, {9, 5, 105, true}, {10, 2, 0, false}, {10, 5, 105, true},
    };
    for (const Pick &p : kPicks) {
        const Case c{p.option2, static_cast<double>(p.module), static_cast<double>(p.angle), p.inverted,
                     SeedOf(p.option2, p.module, p.angle, p.inverted)};
        const Outcome o = RunCase(c, ReadMode(p.inverted));
        EXPECT_TRUE(o.raised) << Describe(c);
        EXPECT_EQ(o.found, 1) << Describe(c);
        EXPECT_TRUE(o.fullRight) << Describe(c);
        EXPECT_LE(o.centreError, 1.0) << Describe(c);
        EXPECT_LE(o.cornerError, o.cornerLimit) << Describe(c);
    }
}

// The hand-out refines and orients the verified record; the unused pair of steps does the
// same on a copy.
TEST_F(AztFinderSymbols, RefineAndOrientIsTheHandOutsPair) {
    const Case c{4, 4, 20, false, 3};
    const testkit::Symbol &sym = SymbolFor(c.option2);
    Scene scene(sym, c);
    EnableAztecOnly(vexo::kFlag2DDarkOnLight);
    vexo::Loc_ResetFinders(&scene.region, &scene.region);
    vexo::Loc_RunFinders(&scene.region);
    ASSERT_EQ(vexo::g_aztFinder.count, 1);
    vexo::AZT_BULLSEYE copy = vexo::g_aztFinder.table[0];
    EXPECT_EQ(vexo::Azt_RefineAndOrient(&copy), 1);
    const vexo::AZT_BULLSEYE *b = vexo::Azt_NextBullseyeCandidate();
    ASSERT_NE(b, nullptr);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(copy.q[k][0], b->q[k][0]);
        EXPECT_EQ(copy.q[k][1], b->q[k][1]);
    }
}

// The read-mode bits choose the polarity: each symbol is found with its own bit only.
TEST_F(AztFinderSymbols, PolarityBitsSelectTheSymbolsSought) {
    struct Row {
        bool inverted;
        uint32_t mode;
        int found;
    };
    static constexpr Row kRows[] = {
        {false, vexo::kFlag2DDarkOnLight, 1}, {false, vexo::kFlag2DLightOnDark, 0},
        {true, vexo::kFlag2DLightOnDark, 1},  {true, vexo::kFlag2DDarkOnLight, 0},
        {false, vexo::kFlag2DReadModeMask, 1}, {true, vexo::kFlag2DReadModeMask, 1},
    };
    for (const Row &r : kRows) {
        const Case c{3, 4, 30, r.inverted, 11};
        const Outcome o = RunCase(c, r.mode);
        EXPECT_EQ(o.found, r.found) << Describe(c) << " mode " << r.mode;
        EXPECT_EQ(o.raised, r.found == 1) << Describe(c) << " mode " << r.mode;
    }
}

// Only rows of the region's middle half are examined.
TEST_F(AztFinderSymbols, RowsOutsideTheMiddleHalfAddNothing) {
    const Case c{2, 4, 0, false, 5};
    // The scene's region (rows 186..294 round the centre at 240), then one as tall whose
    // top quarter holds the symbol's centre (band 253..307).
    const vexo::REGION_QUAD centred{{{322, 186}, {430, 186}, {322, 294}, {430, 294}}};
    const vexo::REGION_QUAD low{{{322, 226}, {430, 226}, {322, 334}, {430, 334}}};
    EXPECT_EQ(RunCase(c, vexo::kFlag2DDarkOnLight, &centred).found, 1);
    const Outcome o = RunCase(c, vexo::kFlag2DDarkOnLight, &low);
    EXPECT_EQ(o.found, 0);
    EXPECT_FALSE(o.raised);
    EXPECT_EQ(vexo::g_aztFinder.write, 0);
}

// Frames without an Aztec symbol: other 2D symbols, text-like marks, flat grey.
struct NegativeFrame {
    std::string what;
    std::vector<uint8_t> pixels;
};

std::vector<NegativeFrame> NegativeFrames() {
    std::vector<NegativeFrame> frames;
    const struct {
        const char *what;
        int symbology;
        double module;
        double angle;
    } kSymbols[] = {
        {"QR Code", BARCODE_QRCODE, 4, 0},        {"QR Code turned", BARCODE_QRCODE, 3, 30},
        {"Data Matrix", BARCODE_DATAMATRIX, 4, 0}, {"Data Matrix turned", BARCODE_DATAMATRIX, 5, 45},
        {"MaxiCode", BARCODE_MAXICODE, 5, 0},     {"MaxiCode turned", BARCODE_MAXICODE, 4, 20},
    };
    for (const auto &k : kSymbols) {
        const testkit::Symbol sym = testkit::Encode(k.symbology, "Not an Aztec symbol 0123456789");
        testkit::RenderOptions o;
        o.moduleSize = k.module;
        o.angleDeg = k.angle;
        o.quietZone = 4;
        o.blurSigma = 0.5;
        o.noiseSigma = 2;
        for (bool inverted : {false, true}) {
            o.invert = inverted;
            frames.push_back({std::string(k.what) + (inverted ? " inverted" : ""), testkit::Render(sym, o).frame.pixels});
        }
    }
    // Text-like marks: rows of dark strokes of glyph size on paper, several seeds.
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> px(752 * 480, 215);
        for (int line = 0; line < 16; ++line) {
            int x = 20;
            const int y = 20 + line * 28;
            while (x < 720) {
                const int w = 2 + static_cast<int>(rng() % 9), hgt = 8 + static_cast<int>(rng() % 12);
                const bool stroke = rng() % 4 != 0;
                for (int yy = y; yy < y + hgt && yy < 480; ++yy)
                    for (int xx = x; xx < x + w && xx < 752; ++xx)
                        if (stroke && (rng() % 5 != 0)) px[static_cast<size_t>(yy) * 752 + xx] = 35;
                x += w + 1 + static_cast<int>(rng() % 6);
            }
        }
        frames.push_back({"text seed " + std::to_string(seed), px});
    }
    frames.push_back({"flat grey", std::vector<uint8_t>(752 * 480, 128)});
    frames.push_back({"flat white", std::vector<uint8_t>(752 * 480, 255)});
    return frames;
}

int BullseyesIn(std::vector<uint8_t> &pixels, uint32_t readMode) {
    vexo::Pix_SetImagePointer(pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(752, 480);
    EnableAztecOnly(readMode);
    vexo::REGION_QUAD region{{{176, 40}, {576, 40}, {176, 440}, {576, 440}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    int n = 0;
    while (vexo::Azt_NextBullseyeCandidate() != nullptr) ++n;
    return n;
}

// None gives a bulls-eye with the default bits; with both polarity bits the counts are
// printed (0 for every frame here).
TEST_F(AztFinderSymbols, FramesWithoutAztecGiveNoBullseye) {
    for (NegativeFrame &f : NegativeFrames()) {
        EXPECT_EQ(BullseyesIn(f.pixels, vexo::kFlag2DDarkOnLight), 0) << f.what;
        std::printf("%s: %d with both polarities\n", f.what.c_str(), BullseyesIn(f.pixels, vexo::kFlag2DReadModeMask));
    }
}

// The whole sweep: every size, 2-8 px where the turned symbol fits, every 15 degrees, both
// polarities. Prints the table (hits per size, module size and polarity over the angles) and
// every miss with the step that lost it; a bulls-eye handed out must never be a wrong one.
TEST_F(AztFinderSymbols, SlowSweep) {
    struct Cell {
        int cases = 0, hits = 0;
    };
    std::map<std::string, Cell> table;
    int cases = 0, hits = 0;
    for (int option2 = 1; option2 <= 10; ++option2) {
        const int size = SymbolFor(option2).rows;
        for (int module = 2; module <= 8; ++module) {
            for (bool inverted : {false, true}) {
                char key[64];
                std::snprintf(key, sizeof key, "%s %2d px %d %s", option2 <= 4 ? "compact" : "full   ", size, module,
                              inverted ? "light-on-dark" : "dark-on-light");
                for (int angle = 0; angle < 360; angle += 15) {
                    if (!Fits(size, module, angle)) continue;
                    const Case c{option2, static_cast<double>(module), static_cast<double>(angle), inverted,
                                 SeedOf(option2, module, angle, inverted)};
                    const Outcome o = RunCase(c, ReadMode(inverted));
                    Cell &cell = table[key];
                    ++cell.cases;
                    ++cases;
                    if (Good(o)) {
                        ++cell.hits;
                        ++hits;
                    } else {
                        std::printf("miss: %s size %d: %s (found %d, centre %.2f px, corners %.2f px)\n",
                                    Describe(c).c_str(), size, o.stage, o.found, o.centreError, o.cornerError);
                    }
                    EXPECT_LE(o.found, 1) << Describe(c);
                }
            }
        }
    }
    for (const auto &[key, cell] : table) std::printf("%s: %d of %d\n", key.c_str(), cell.hits, cell.cases);
    std::printf("all: %d of %d\n", hits, cases);
}

}  // namespace
