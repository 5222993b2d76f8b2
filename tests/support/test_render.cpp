// Rendering symbols into frames: where every module lands, what each option does to the
// pixels, and that a seed names one frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/testkit.h"

namespace testkit {
namespace {

// Module centres that are too close to the bullseye to be data (MaxiCode).
bool InBullseye(const Symbol &s, Point c) {
    if (!s.hexagonal || s.rings.empty()) return false;
    double outer = 0;
    for (const Symbol::Ring &r : s.rings) outer = std::max(outer, r.outer);
    return std::hypot(c.x - s.bullseye.x, c.y - s.bullseye.y) < outer + 1;
}

// Counts modules whose centre pixel, thresholded halfway between the levels, disagrees
// with the matrix.
int MisreadModules(const Symbol &s, const Rendered &r, const RenderOptions &o, std::string *first) {
    int bad = 0;
    const int mid = (o.dark + o.light) / 2;
    for (int row = 0; row < s.rows; ++row) {
        for (int col = 0; col < s.cols; ++col) {
            if (InBullseye(s, s.ModuleCentre(row, col))) continue;
            const Point p = r.ModuleCentre(s, row, col);
            const bool darkPixel = SampleNearest(r.frame, p) < mid;
            if (darkPixel != (s.Dark(row, col) != o.invert)) {
                if (bad++ == 0) *first = "module (" + std::to_string(row) + ", " + std::to_string(col) + ")";
            }
        }
    }
    return bad;
}

TEST(Render, QrAtFourPixelsTurnedThirtyDegreesInPerspectiveGivesBackItsModuleMatrix) {
    const Symbol qr = Encode(BARCODE_QRCODE, "Module matrix through the known transform");
    ASSERT_TRUE(qr.ok) << qr.error;
    ASSERT_EQ(qr.rows, qr.cols);
    const RenderOptions o{.moduleSize = 4, .angleDeg = 30, .keystone = 0.25, .quietZone = 4};
    const Rendered r = Render(qr, o);
    ASSERT_EQ(r.frame.width, 752);
    ASSERT_EQ(r.frame.height, 480);
    std::string first;
    EXPECT_EQ(MisreadModules(qr, r, o, &first), 0) << "first: " << first;
    // The perspective is real: the top edge is shorter than the bottom one.
    const Point tl = r.transform.ToImage({0, 0}), tr = r.transform.ToImage({qr.width, 0});
    const Point bl = r.transform.ToImage({0, qr.height}), br = r.transform.ToImage({qr.width, qr.height});
    EXPECT_NEAR(std::hypot(tr.x - tl.x, tr.y - tl.y), 0.75 * std::hypot(br.x - bl.x, br.y - bl.y), 1e-6);
    EXPECT_NEAR(std::atan2(br.y - bl.y, br.x - bl.x) * 180 / 3.14159265358979, 30, 1e-6);
    EXPECT_NEAR(std::hypot(br.x - bl.x, br.y - bl.y), 4 * qr.width, 1e-6);
}

TEST(Render, EveryModuleLandsWhereTheTransformSays) {
    struct Case {
        const char *name;
        int symbology;
        const char *data;
        RenderOptions options;
    };
    const std::array<Point, 4> quad = {Point{200, 90}, Point{560, 130}, Point{520, 420}, Point{150, 380}};
    const Case kCases[] = {
        {"qr fractional module", BARCODE_QRCODE, "fractional", {.moduleSize = 2.6, .angleDeg = -17}},
        {"qr four corners", BARCODE_QRCODE, "corners", {.corners = quad}},
        {"qr mirrored, inverted", BARCODE_QRCODE, "mirror", {.moduleSize = 5, .angleDeg = 95, .mirror = true, .invert = true}},
        {"qr bent", BARCODE_QRCODE, "bend", {.moduleSize = 6, .angleDeg = 8, .bendDeg = 70}},
        {"qr near the frame edge", BARCODE_QRCODE, "edge", {.width = 640, .moduleSize = 3, .center = Point{60.5, 50.25}}},
        {"data matrix blurred", BARCODE_DATAMATRIX, "Data Matrix 0123456789", {.moduleSize = 6, .angleDeg = 45, .blurSigma = 1.0}},
        {"aztec noisy, uneven light", BARCODE_AZTEC, "Aztec", {.moduleSize = 5, .angleDeg = 200, .dark = 20, .light = 240, .unevenLight = 0.3, .noiseSigma = 5}},
        {"micro qr", BARCODE_MICROQR, "12345", {.moduleSize = 7, .angleDeg = 3}},
        {"pdf417 rows of three", BARCODE_PDF417, "PDF417 rows", {.moduleSize = 3, .angleDeg = -4}},
        {"code 128", BARCODE_CODE128, "Code 128", {.moduleSize = 3, .angleDeg = 60, .keystone = 0.2}},
        {"maxicode", BARCODE_MAXICODE, "MaxiCode centres", {.width = 400, .height = 400, .moduleSize = 8, .angleDeg = 15}},
    };
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const Symbol s = Encode(c.symbology, c.data);
        ASSERT_TRUE(s.ok) << s.error;
        const Rendered r = Render(s, c.options);
        std::string first;
        EXPECT_EQ(MisreadModules(s, r, c.options, &first), 0) << "first: " << first << ", seed " << c.options.seed;
    }
}

// Every pixel the mean of its n x n sample points, without any shortcut.
Frame BruteForce(const Symbol &s, const RenderOptions &o) {
    const Transform t = MakeTransform(s, o);
    Frame f(o.width, o.height);
    const int n = o.supersample;
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            double sum = 0;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    Point p;
                    if (!t.ToSymbol({x + (sx + 0.5) / n, y + (sy + 0.5) / n}, &p)) {
                        sum += o.background;  // beyond the horizon
                    } else {
                        sum += s.DarkAt(p) ? o.dark : o.light;
                    }
                }
            }
            f.At(x, y) = static_cast<uint8_t>(std::lround(sum / (n * n)));
        }
    }
    return f;
}

TEST(Render, PixelsAreTheMeanOfTheirSamplePoints) {
    struct Case {
        const char *name;
        int symbology;
        RenderOptions options;
    };
    const Case kCases[] = {
        {"qr 1.2 px", BARCODE_QRCODE, {.width = 200, .height = 160, .moduleSize = 1.2, .angleDeg = 31}},
        {"qr 0.6 px", BARCODE_QRCODE, {.width = 200, .height = 160, .moduleSize = 0.6, .angleDeg = 10}},
        {"data matrix 3 px in perspective", BARCODE_DATAMATRIX, {.width = 200, .height = 160, .moduleSize = 3, .angleDeg = 77, .keystone = 0.5}},
        {"pdf417 2 px bent", BARCODE_PDF417, {.width = 300, .height = 160, .moduleSize = 2, .angleDeg = -3, .bendDeg = 90}},
    };
    for (const Case &c : kCases) {
        const Symbol s = Encode(c.symbology, "sample points");
        const Frame ours = Render(s, c.options).frame;
        const Frame ref = BruteForce(s, c.options);
        int differ = 0, worst = 0;
        for (size_t i = 0; i < ref.pixels.size(); ++i) {
            const int d = std::abs(ours.pixels[i] - ref.pixels[i]);
            differ += d > 0 ? 1 : 0;
            worst = std::max(worst, d);
        }
        EXPECT_LE(differ, static_cast<int>(ref.pixels.size() / 1000)) << c.name << ", worst " << worst;
    }
}

TEST(Render, TransformGoesBothWays) {
    const Symbol qr = Encode(BARCODE_QRCODE, "round trip");
    const RenderOptions kOptions[] = {
        {.angleDeg = 33, .keystone = 0.4, .bendDeg = 120, .mirror = true},
        {.moduleSize = 1.3, .angleDeg = -170},
        {.corners = std::array<Point, 4>{Point{10, 10}, Point{700, 40}, Point{600, 470}, Point{50, 300}}},
    };
    uint64_t seed = 7;
    for (const RenderOptions &o : kOptions) {
        const Transform t = MakeTransform(qr, o);
        for (int i = 0; i < 200; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const Point p{qr.width * static_cast<double>(seed >> 40) / (1 << 24), qr.height * static_cast<double>((seed >> 16) & 0xFFFFFF) / (1 << 24)};
            Point back;
            ASSERT_TRUE(t.ToSymbol(t.ToImage(p), &back));
            EXPECT_NEAR(back.x, p.x, 1e-7) << "seed " << seed;
            EXPECT_NEAR(back.y, p.y, 1e-7) << "seed " << seed;
        }
    }
}

TEST(Render, OneSeedOneFrame) {
    const Symbol dm = Encode(BARCODE_DATAMATRIX, "seeded");
    RenderOptions o{.moduleSize = 5, .angleDeg = 21, .keystone = 0.1, .unevenLight = 0.2, .blurSigma = 0.8, .noiseSigma = 6, .seed = 42};
    const Frame a = Render(dm, o).frame;
    const Frame b = Render(dm, o).frame;
    EXPECT_EQ(a.pixels, b.pixels) << "seed 42";
    o.seed = 43;
    const Frame c = Render(dm, o).frame;
    EXPECT_NE(a.pixels, c.pixels) << "seeds 42 and 43";
    // Without noise the seed changes nothing.
    o.noiseSigma = 0;
    const Frame d = Render(dm, o).frame;
    o.seed = 42;
    EXPECT_EQ(d.pixels, Render(dm, o).frame.pixels);
    // Noise of the asked strength: the difference of two seeds has twice its variance.
    double sum = 0, sq = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const double diff = static_cast<double>(a.pixels[i]) - c.pixels[i];
        sum += diff;
        sq += diff * diff;
    }
    const double n = static_cast<double>(a.pixels.size());
    EXPECT_NEAR(sum / n, 0, 0.1);
    EXPECT_NEAR(std::sqrt(sq / n / 2), 6, 0.3);
}

TEST(Render, LevelsPaperAndBackground) {
    const Symbol qr = Encode(BARCODE_QRCODE, "levels");
    const RenderOptions o{.moduleSize = 6, .quietZone = 4, .dark = 17, .light = 211, .background = 77};
    const Rendered r = Render(qr, o);
    EXPECT_EQ(SampleNearest(r.frame, r.ModuleCentre(qr, 0, 0)), 17);  // finder corner
    EXPECT_EQ(SampleNearest(r.frame, r.ModuleCentre(qr, 1, 1)), 211);
    EXPECT_EQ(SampleNearest(r.frame, r.transform.ToImage({-2, -2})), 211);  // quiet zone
    EXPECT_EQ(SampleNearest(r.frame, r.transform.ToImage({-6, 3})), 77);    // beyond the paper
    EXPECT_EQ(r.frame.At(0, 0), 77);

    RenderOptions inv = o;
    inv.invert = true;
    const Rendered ri = Render(qr, inv);
    EXPECT_EQ(SampleNearest(ri.frame, ri.ModuleCentre(qr, 0, 0)), 211);
    EXPECT_EQ(SampleNearest(ri.frame, ri.transform.ToImage({-2, -2})), 17);
    EXPECT_EQ(ri.frame.At(0, 0), 77);

    // Paper everywhere by default.
    EXPECT_EQ(Render(qr, {.dark = 17, .light = 211}).frame.At(0, 0), 211);
}

TEST(Render, MirrorFlipsTheFrameOfACentredSymbol) {
    const Symbol dm = Encode(BARCODE_DATAMATRIX, "mirror");
    const Frame plain = Render(dm, {.width = 200, .height = 120, .moduleSize = 3.3}).frame;
    const Frame mirrored = Render(dm, {.width = 200, .height = 120, .moduleSize = 3.3, .mirror = true}).frame;
    int differ = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 200; ++x) differ += plain.At(x, y) != mirrored.At(199 - x, y) ? 1 : 0;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_NE(plain.pixels, mirrored.pixels);
}

TEST(Render, UnevenLightFallsAcrossTheFrame) {
    const Symbol qr = Encode(BARCODE_QRCODE, "light");
    const Frame f = Render(qr, {.moduleSize = 2, .light = 200, .unevenLight = 0.5, .lightAngleDeg = 0}).frame;
    EXPECT_NEAR(f.At(0, 0), 200, 1);
    EXPECT_NEAR(f.At(751, 0), 100, 1);
    for (int x = 1; x < 752; ++x) ASSERT_LE(f.At(x, 5), f.At(x - 1, 5)) << "x " << x;
    const Frame down = Render(qr, {.moduleSize = 2, .light = 200, .unevenLight = 0.5, .lightAngleDeg = 90}).frame;
    EXPECT_NEAR(down.At(0, 0), 200, 1);
    EXPECT_NEAR(down.At(0, 479), 100, 1);
    EXPECT_NEAR(down.At(751, 0), 200, 1);
}

TEST(Render, BlurSoftensEdgesAndKeepsTheMean) {
    const Symbol qr = Encode(BARCODE_QRCODE, "blur");
    const Frame sharp = Render(qr, {.moduleSize = 5, .supersample = 1}).frame;
    const Frame soft = Render(qr, {.moduleSize = 5, .blurSigma = 1.5, .supersample = 1}).frame;
    long sharpStep = 0, softStep = 0, sharpSum = 0, softSum = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 1; x < 752; ++x) {
            sharpStep = std::max<long>(sharpStep, std::abs(sharp.At(x, y) - sharp.At(x - 1, y)));
            softStep = std::max<long>(softStep, std::abs(soft.At(x, y) - soft.At(x - 1, y)));
        }
    }
    for (size_t i = 0; i < sharp.pixels.size(); ++i) {
        sharpSum += sharp.pixels[i];
        softSum += soft.pixels[i];
    }
    EXPECT_EQ(sharpStep, 220 - 30);
    EXPECT_LT(softStep, 100);
    EXPECT_NEAR(static_cast<double>(softSum) / sharpSum, 1.0, 1e-3);
}

TEST(Render, AnyFrameSize) {
    const Symbol qr = Encode(BARCODE_QRCODE, "sizes");
    struct Size {
        int w, h;
    };
    for (const Size s : {Size{752, 480}, Size{640, 480}, Size{1280, 960}, Size{7, 5}, Size{1, 1}, Size{1, 300}}) {
        const Rendered r = Render(qr, {.width = s.w, .height = s.h, .moduleSize = 1.5, .blurSigma = 0.5, .noiseSigma = 1});
        EXPECT_EQ(r.frame.width, s.w);
        EXPECT_EQ(r.frame.height, s.h);
        EXPECT_EQ(r.frame.pixels.size(), static_cast<size_t>(s.w) * s.h);
    }
    EXPECT_TRUE(Render(qr, {.width = 0}).frame.Empty());
    EXPECT_TRUE(Render(Symbol{}, {}).frame.Empty());
}

TEST(Symbol, MatrixAndRowsFromLibzint) {
    // The finder pattern of a version 1 QR: its top row is seven dark, one light, ...
    const Symbol qr = Encode(BARCODE_QRCODE, "A");
    ASSERT_TRUE(qr.ok);
    EXPECT_EQ(qr.rows, 21);
    for (int c = 0; c < 7; ++c) {
        EXPECT_TRUE(qr.Dark(0, c));
        EXPECT_TRUE(qr.Dark(6, c));
        EXPECT_TRUE(qr.Dark(c, 0));
        EXPECT_TRUE(qr.Dark(0, 20 - c));
    }
    EXPECT_FALSE(qr.Dark(0, 7));
    EXPECT_FALSE(qr.Dark(1, 1));
    EXPECT_TRUE(qr.Dark(2, 2));
    EXPECT_EQ(qr.height, 21);

    SymbolInput bars;
    bars.symbology = BARCODE_CODE128;
    bars.data = "bars";
    bars.height = 30;
    const Symbol c128 = Encode(bars);
    ASSERT_TRUE(c128.ok);
    EXPECT_EQ(c128.rows, 1);
    EXPECT_EQ(c128.height, 30);
    EXPECT_TRUE(c128.DarkAt({0.5, 29.5}));  // the start character begins with a bar
    EXPECT_FALSE(c128.DarkAt({0.5, 30.5}));

    const Symbol pdf = Encode(BARCODE_PDF417, "rows");
    ASSERT_TRUE(pdf.ok);
    ASSERT_EQ(pdf.rowTop.size(), static_cast<size_t>(pdf.rows) + 1);
    for (int r = 0; r < pdf.rows; ++r) EXPECT_EQ(pdf.rowTop[r + 1] - pdf.rowTop[r], 3) << "row " << r;

    const Symbol bad = Encode(BARCODE_EANX, "not digits");
    EXPECT_FALSE(bad.ok);
    EXPECT_FALSE(bad.error.empty());
}

TEST(Symbol, MaxiCodeHexagonsMatchLibzintsOwnRaster) {
    SymbolInput input;
    input.symbology = BARCODE_MAXICODE;
    input.data = "HEXAGONS 0123456789";
    const Symbol mx = Encode(input);
    ASSERT_TRUE(mx.ok) << mx.error;
    ASSERT_TRUE(mx.hexagonal);
    EXPECT_EQ(mx.rows, 33);
    EXPECT_EQ(mx.cols, 30);
    EXPECT_EQ(mx.rings.size(), 3u);

    zint_symbol *z = ZBarcode_Create();
    z->symbology = BARCODE_MAXICODE;
    z->scale = 4;
    ASSERT_LT(ZBarcode_Encode_and_Buffer(z, reinterpret_cast<const unsigned char *>(input.data.data()),
                                         static_cast<int>(input.data.size()), 0), ZINT_ERROR);
    const double sx = z->bitmap_width / mx.width, sy = z->bitmap_height / mx.height;
    long agree = 0, total = 0, inkBoth = 0, inkZint = 0;
    for (int y = 0; y < z->bitmap_height; ++y) {
        for (int x = 0; x < z->bitmap_width; ++x) {
            const unsigned char *px = z->bitmap + 3 * (static_cast<size_t>(y) * z->bitmap_width + x);
            const bool zintInk = px[0] < 128;
            const bool ours = mx.DarkAt({(x + 0.5) / sx, (y + 0.5) / sy});
            agree += zintInk == ours ? 1 : 0;
            inkZint += zintInk ? 1 : 0;
            inkBoth += zintInk && ours ? 1 : 0;
            ++total;
        }
    }
    // At every hexagon centre the raster agrees with the matrix.
    int centresWrong = 0;
    for (int row = 0; row < mx.rows; ++row) {
        for (int col = 0; col < mx.cols; ++col) {
            const Point c = mx.ModuleCentre(row, col);
            const int x = static_cast<int>(c.x * sx), y = static_cast<int>(c.y * sy);
            const bool zintInk = z->bitmap[3 * (static_cast<size_t>(y) * z->bitmap_width + x)] < 128;
            if (!InBullseye(mx, c)) centresWrong += zintInk != mx.Dark(row, col) ? 1 : 0;
        }
    }
    ZBarcode_Delete(z);
    EXPECT_EQ(centresWrong, 0);
    // Elsewhere only the outlines differ: libzint's raster draws its hexagons a little larger
    // than its vector output, which the renderer follows.
    EXPECT_GT(static_cast<double>(agree) / total, 0.94);
    EXPECT_GT(static_cast<double>(inkBoth) / inkZint, 0.9);
}

}  // namespace
}  // namespace testkit
