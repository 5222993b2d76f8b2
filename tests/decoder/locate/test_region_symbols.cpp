// Region selection over rendered symbols: QR Code, Data Matrix and Code 128 at 3 and 4
// pixels per module, turned up to 30 degrees, with noise, placed at known points of camera
// frames. Every symbol's centre must lie in a returned region.
#include <array>
#include <string>
#include <vector>

#include "locate_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using locate_test::LocateTest;
using vexo::REGION_QUAD;

constexpr int kRegionBackground = 100;

struct Placement {
    int symbology;
    const char *data;
    double moduleSize;
    double angleDeg;
    double x, y;  // image point of the symbol's centre
};

struct SymbolCase {
    const char *name;
    int width, height;
    std::vector<Placement> symbols;
    double noiseSigma;
    uint32_t seed;
};

// The symbols rendered on their paper, pasted over a flat frame, then noise over all.
locate_test::GreyFrame Compose(const SymbolCase &c, std::vector<testkit::Point> *centres) {
    locate_test::GreyFrame f(c.width, c.height, kRegionBackground);
    for (const Placement &p : c.symbols) {
        const testkit::Symbol s = testkit::Encode(p.symbology, p.data);
        EXPECT_TRUE(s.ok) << c.name << ": " << s.error;
        if (!s.ok) continue;
        testkit::RenderOptions o;
        o.width = c.width;
        o.height = c.height;
        o.moduleSize = p.moduleSize;
        o.angleDeg = p.angleDeg;
        o.center = testkit::Point{p.x, p.y};
        o.quietZone = 4;
        o.background = kRegionBackground;
        const testkit::Rendered r = testkit::Render(s, o);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (r.frame.At(x, y) != kRegionBackground) f.At(x, y) = r.frame.At(x, y);
        centres->push_back(r.transform.ToImage(testkit::Point{s.width / 2, s.height / 2}));
    }
    if (c.noiseSigma > 0) f.Noise(c.seed, static_cast<int>(c.noiseSigma * 1.7));
    return f;
}

bool Inside(const REGION_QUAD &q, testkit::Point p) {
    return p.x >= q.c[0].x && p.x <= q.c[1].x && p.y >= q.c[0].y && p.y <= q.c[2].y;
}

const std::vector<SymbolCase> &Cases() {
    static const std::vector<SymbolCase> cases = {
        {"QR, 4 px, upright, 640 x 480", 640, 480, {{BARCODE_QRCODE, "REGION SELECTION 1", 4, 0, 320, 240}}, 0, 11},
        {"QR, 3 px, 30 degrees, off centre, noise", 752, 480,
         {{BARCODE_QRCODE, "https://example.com/region/2", 3, 30, 200, 150}}, 6, 12},
        {"QR, 4 px, 20 degrees, near a corner", 640, 480, {{BARCODE_QRCODE, "CORNER 3", 4, 20, 560, 400}}, 4, 13},
        {"Data Matrix, 4 px, 15 degrees", 1280, 960, {{BARCODE_DATAMATRIX, "DM-REGION-0004", 4, 15, 900, 600}}, 4, 14},
        {"Data Matrix, 3 px, 30 degrees, 1280 x 720", 1280, 720,
         {{BARCODE_DATAMATRIX, "DATA MATRIX 3PX 30DEG", 3, 30, 420, 300}}, 6, 15},
        {"Code 128, 3 px, upright", 640, 480, {{BARCODE_CODE128, "REGION-128", 3, 0, 320, 240}}, 4, 16},
        {"Code 128, 4 px, 30 degrees, 752 x 480", 752, 480, {{BARCODE_CODE128, "C128 TURNED", 4, 30, 420, 260}}, 6, 17},
        {"Code 128, 3 px, 10 degrees, 1280 x 960", 1280, 960, {{BARCODE_CODE128, "ABC-12345", 3, 10, 600, 480}}, 4, 18},
        {"three symbols in one frame", 1280, 960,
         {{BARCODE_QRCODE, "FIRST OF THREE", 4, 5, 400, 330},
          {BARCODE_DATAMATRIX, "SECOND OF THREE", 4, 25, 850, 350},
          {BARCODE_CODE128, "THIRD", 3, 0, 640, 650}},
         6, 19},
        {"two symbols, 640 x 480", 640, 480,
         {{BARCODE_QRCODE, "LEFT", 3, 30, 170, 240}, {BARCODE_DATAMATRIX, "RIGHT", 4, 0, 480, 240}}, 4, 20},
    };
    return cases;
}

TEST_F(LocateTest, EverySymbolCentreLiesInARegion) {
    for (const SymbolCase &c : Cases()) {
        std::vector<testkit::Point> centres;
        locate_test::GreyFrame f = Compose(c, &centres);
        Install(f);
        std::array<REGION_QUAD, 50> out{};
        const int n = vexo::Loc_SelectRegions(out.data());
        ASSERT_GE(n, 1) << c.name << " seed " << c.seed;
        ASSERT_LE(n, 50) << c.name << " seed " << c.seed;
        // The centred window stands in when nothing is found: it does not count as a find.
        const int left = (c.width - 480) >> 1, top = (c.height - 320) >> 1;
        const REGION_QUAD fallback = locate_test::Box(left, top, left + 480, top + 320);
        for (size_t k = 0; k < centres.size(); ++k) {
            bool held = false;
            for (int i = 0; i < n; ++i) {
                const REGION_QUAD &q = out[static_cast<size_t>(i)];
                held = held || (Inside(q, centres[k]) && !(n == 1 && q == fallback));
            }
            EXPECT_TRUE(held) << c.name << ": symbol " << k << " at (" << centres[k].x << ", " << centres[k].y
                              << ") in none of " << n << " regions; seed " << c.seed;
        }
    }
}

TEST_F(LocateTest, ALoneTexturedBlockBesideNoSymbolGivesTheCentredWindow) {
    const struct {
        int w, h, x, y;
        uint32_t seed;
    } cases[] = {{640, 480, 100, 100, 31}, {752, 480, 500, 300, 32}, {1280, 960, 700, 500, 33}};
    for (auto c : cases) {
        locate_test::GreyFrame f(c.w, c.h, kRegionBackground);
        std::mt19937 rng(c.seed);
        for (int y = c.y; y < c.y + 8; ++y)
            for (int x = c.x; x < c.x + 8; ++x) f.At(x, y) = static_cast<uint8_t>(rng() % 2 != 0 ? 230 : 20);
        Install(f);
        std::array<REGION_QUAD, 50> out{};
        ASSERT_EQ(vexo::Loc_SelectRegions(out.data()), 1) << c.w << "x" << c.h << " seed " << c.seed;
        const int left = (c.w - 480) >> 1, top = (c.h - 320) >> 1;
        EXPECT_EQ(out[0], locate_test::Box(left, top, left + 480, top + 320)) << c.w << "x" << c.h;
    }
}

}  // namespace
