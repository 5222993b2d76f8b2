// The grid re-fit of small distorted symbols: called directly with finder patterns from the
// renderer's true geometry, its edge cases and bounds; and through the whole decoder, where
// it rescues bent symbols that plain sampling misses.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/test_hooks.h"
#include "qr/qr_refit.h"
#include "qr/qr_symbol_stages.h"
#include "qr_geom_test.h"
#include "support/testkit.h"

namespace {

using namespace qr_geom_test;
using vexo::GEO_POINT;
using vexo::QR_FINDER_PATTERN;

class QrRefitTest : public QrGeomTest {
protected:
    void SetUp() override {
        QrGeomTest::SetUp();
        vexo::Mem_ResetArena();
    }
};

// A finder pattern of the candidate from the true geometry: ring corners (1/16 pixel) at the
// corner modules' centres, starting at the outer corner and going round as the re-fit's
// module points do.
QR_FINDER_PATTERN TruePattern(const testkit::Rendered &r, const int (&modules)[4][2]) {
    QR_FINDER_PATTERN p{};
    for (int k = 0; k < 4; ++k) p.corners[k] = ToDecoder(ModulePoint(r, modules[k][0], modules[k][1]), 16);
    return p;
}

// Candidate order: bottom-left, top-left, top-right.
void TruePatterns(const testkit::Rendered &r, int n, QR_FINDER_PATTERN out[3]) {
    const int bl[4][2] = {{0, n - 1}, {0, n - 7}, {6, n - 7}, {6, n - 1}};
    const int tl[4][2] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}};
    const int tr[4][2] = {{n - 1, 0}, {n - 1, 6}, {n - 7, 6}, {n - 7, 0}};
    out[0] = TruePattern(r, bl);
    out[1] = TruePattern(r, tl);
    out[2] = TruePattern(r, tr);
}

testkit::Rendered RenderBent(const testkit::Symbol &s, double module, double bend, double angle, int w = 752, int h = 480,
                             std::optional<testkit::Point> centre = std::nullopt) {
    testkit::RenderOptions o;
    o.width = w;
    o.height = h;
    o.moduleSize = module;
    o.bendDeg = bend;
    o.angleDeg = angle;
    o.center = centre;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    testkit::Rendered r = testkit::Render(s, o);
    InstallFrame(r.frame);
    return r;
}

int Differences(const std::vector<uint8_t> &grey, const testkit::Symbol &s) {
    return CountDifferences(Binarise(grey.data(), s.rows), s);
}

TEST_F(QrRefitTest, BentSymbolsResampleFromTheirFinders) {
    struct Case {
        int version;
        double module, bend, angle;
    };
    // At a bend of 120 degrees the outermost modules shrink to half their width and versions 2
    // and 3 keep 60 to 100 wrong modules: those are beyond the 7 x 7 affine windows.
    const Case cases[] = {{1, 5, 90, 0}, {2, 5, 90, 20}, {3, 5, 100, 0}, {4, 4, 100, 45}, {6, 4, 90, 10}, {8, 4, 80, 30}};
    for (const Case &c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        const testkit::Symbol s = MakeQr("refit " + std::to_string(c.version), c.version);
        const int n = s.rows;
        const testkit::Rendered r = RenderBent(s, c.module, c.bend, c.angle);
        QR_FINDER_PATTERN p[3];
        TruePatterns(r, n, p);
        std::vector<uint8_t> grey(static_cast<size_t>(n * n), 77);
        ASSERT_EQ(vexo::QR_RefitGrid(p, vexo::kQrCandidateThree, n, grey.data(), 1), 1);
        const int diff = Differences(grey, s);
        // The whole-symbol fit from the finders alone misses the bend.
        SetUpThreeFinders(r, c.version, c.module);
        UseSymbolModulePoints(n);
        vexo::QR_FitGlobalTransform(nullptr);
        std::vector<uint8_t> plain(static_cast<size_t>(n * n), 0);
        ASSERT_EQ(vexo::g_qrGeomWork.globalValid, 1);
        vexo::QR_SampleModules(nullptr, plain.data());
        const int plainDiff = Differences(plain, s);
        std::printf("version %d bend %.0f: %d modules wrong after the re-fit, %d through the finders' fit\n", c.version, c.bend,
                    diff, plainDiff);
        EXPECT_LE(diff, n * n / 100);
        if (c.version >= 2) {
            EXPECT_GT(plainDiff, 4 * diff + 10);
        }
    }
}

TEST_F(QrRefitTest, EdgeCases) {
    const testkit::Symbol s = MakeQr("edge cases", 3);
    const int n = s.rows;
    const testkit::Rendered r = RenderBent(s, 4, 60, 0);
    QR_FINDER_PATTERN p[3];
    TruePatterns(r, n, p);
    // Dimension 53: refused, the matrix untouched.
    std::vector<uint8_t> grey(53 * 53, 77);
    EXPECT_EQ(vexo::QR_RefitGrid(p, vexo::kQrCandidateThree, 53, grey.data(), 1), 0);
    for (uint8_t v : grey) ASSERT_EQ(v, 77);
    // Type 1: every window grows from the bottom-left finder.
    grey.assign(static_cast<size_t>(n * n), 77);
    ASSERT_EQ(vexo::QR_RefitGrid(p, vexo::kQrCandidateOne, n, grey.data(), 1), 1);
    EXPECT_LE(Differences(grey, s), n * n / 20);
    // Type 0: no seed, no window; every module stays 0.
    grey.assign(static_cast<size_t>(n * n), 77);
    ASSERT_EQ(vexo::QR_RefitGrid(p, 0, n, grey.data(), 1), 1);
    for (uint8_t v : grey) ASSERT_EQ(v, 0);
    // A finder below 2 pixels a module stops the re-fit at its seed.
    const testkit::Rendered small = RenderBent(s, 1.8, 0, 0);
    TruePatterns(small, n, p);
    EXPECT_EQ(vexo::QR_RefitGrid(p, vexo::kQrCandidateThree, n, grey.data(), 1), 0);
}

// A diagonal pair arrives as two patterns (bottom-left, top-right); the top-right window
// is seeded from the second.
TEST_F(QrRefitTest, DiagonalPairSeedsTheTopRightFromItsSecondPattern) {
    const testkit::Symbol s = MakeQr("diagonal pair", 2);
    const int n = s.rows;
    const testkit::Rendered r = RenderBent(s, 5, 90, 15);
    QR_FINDER_PATTERN all[3];
    TruePatterns(r, n, all);
    QR_FINDER_PATTERN pair[3] = {all[0], all[2], QR_FINDER_PATTERN{}};
    std::vector<uint8_t> grey(static_cast<size_t>(n * n), 77);
    ASSERT_EQ(vexo::QR_RefitGrid(pair, vexo::kQrCandidateDiagonal, n, grey.data(), 1), 1);
    EXPECT_LE(Differences(grey, s), n * n / 50);
}

// Symbols at the right and bottom edges of frames whose sizes are no multiples of 16, and in
// the far corner of a large frame: nothing is read outside the image or the tile table (the
// sanitizer build checks), and the re-fit still answers.
TEST_F(QrRefitTest, SymbolsAtTheFrameEdges) {
    struct Case {
        int version, w, h;
        double module, cx, cy;
    };
    const Case cases[] = {{1, 750, 470, 4, 706, 426}, {1, 100, 80, 3, 64, 48}, {8, 1280, 960, 4, 1174, 854}, {2, 750, 470, 5, 680, 405}};
    for (const Case &c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.w) + "x" + std::to_string(c.h));
        const testkit::Symbol s = MakeQr("edge", c.version);
        const int n = s.rows;
        const testkit::Rendered r = RenderBent(s, c.module, 40, 0, c.w, c.h, testkit::Point{c.cx, c.cy});
        QR_FINDER_PATTERN p[3];
        TruePatterns(r, n, p);
        std::vector<uint8_t> grey(static_cast<size_t>(n * n), 77);
        vexo::QR_RefitGrid(p, vexo::kQrCandidateThree, n, grey.data(), 1);
    }
}

TEST_F(QrRefitTest, FitsRefuseDegenerateInput) {
    vexo::QR_REFIT_CELL cell{};
    const GEO_POINT modules[4] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}};
    // Collinear image corners: far enough apart, but singular.
    const GEO_POINT line[4] = {{0, 0}, {960, 0}, {1920, 0}, {2880, 0}};
    EXPECT_EQ(vexo::QR_FitCellFromFinder(modules, line, 4, &cell), 0);
    const GEO_POINT good[4] = {{1600, 1600}, {2560, 1600}, {2560, 2560}, {1600, 2560}};
    ASSERT_EQ(vexo::QR_FitCellFromFinder(modules, good, 4, &cell), 1);
    EXPECT_EQ(cell.toImage[0], 160 * 2048);
    EXPECT_EQ(cell.toImage[2], 1600 * 2048);
    // Scale beyond the 32-bit field of the forward map.
    const GEO_POINT huge[4] = {{0, 0}, {2000000, 0}, {2000000, 2000000}, {0, 2000000}};
    const GEO_POINT unit[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    EXPECT_EQ(vexo::QR_FitCellFromFinder(unit, huge, 4, &cell), 0);
    // Edge points all on one line: the plane fit is singular.
    vexo::QR_EDGE_POINT pts[4] = {{0, 0, 0, 1, 0}, {16, 0, 0, 2, 0}, {32, 0, 0, 3, 0}, {48, 0, 0, 4, 0}};
    const vexo::QR_EDGE_POINT *list[4] = {&pts[0], &pts[1], &pts[2], &pts[3]};
    int32_t out[3];
    EXPECT_EQ(vexo::QR_FitColumnCoordinate(list, 4, 0, 0, out), 0);
    EXPECT_EQ(vexo::QR_FitCellFromEdges(list, 4, list, 4, &cell), 0);
    EXPECT_EQ(vexo::QR_FitCellFromEdgesChecked(list, 3, list, 4, &cell), 0);
    // A square grid of edge points: columns every 16 pixels along x, rows along y.
    vexo::QR_EDGE_POINT colPts[9], rowPts[9];
    const vexo::QR_EDGE_POINT *cl[9], *rl[9];
    for (int i = 0; i < 9; ++i) {
        colPts[i] = {static_cast<int16_t>(256 * (i % 3)), static_cast<int16_t>(256 * (i / 3) + 128), 0, static_cast<uint8_t>(i % 3), 0};
        rowPts[i] = {static_cast<int16_t>(256 * (i % 3) + 128), static_cast<int16_t>(256 * (i / 3)), 0, 0, static_cast<uint8_t>(i / 3)};
        cl[i] = &colPts[i];
        rl[i] = &rowPts[i];
    }
    ASSERT_EQ(vexo::QR_FitCellFromEdgesChecked(cl, 9, rl, 9, &cell), 1);
    // Module centre (0, 0) lies half a module (128 sixteenths) inside both boundaries.
    EXPECT_NEAR(cell.toImage[2] / 2048.0, 128, 1);
    EXPECT_NEAR(cell.toImage[0] / 2048.0, 256, 1);
}

// Through the whole decoder: bent symbols that plain sampling misses are read by the re-fit.
class QrRefitImagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        testkit::InitDecoder();
    }
};

// Versions 1-8 at 5 pixels a module bent by 70, 90 and 110 degrees, through the whole
// decoder. The table printed gives, per case, the passes sampled for the last candidate
// (plain grid, quadratic re-sampling for dimensions 25-45, window re-fit) and the one that
// read; kReadBy names it case by case (0 missed). Every read through the re-fit came after
// the plain grid and, where it applies, the quadratic re-sampling failed. The misses at 110
// degrees: the outermost modules shrink to under half their width.
TEST_F(QrRefitImagesTest, BentSymbolsRead) {
    const char *const kPass[5] = {"-", "plain", "quadratic", "?", "re-fit"};
    constexpr int P = vexo::kQrSampledPlain, R = vexo::kQrSampledRefit;
    // Per version 1-8: bends 70, 90, 110.
    const int kReadBy[8][3] = {{P, R, 0}, {P, P, 0}, {P, P, 0}, {P, P, 0}, {P, R, 0}, {P, R, 0}, {P, P, R}, {P, P, R}};
    std::printf("version  bend  seed   sampled          read by\n");
    for (int version = 1; version <= 8; ++version) {
        for (double bend : {70.0, 90.0, 110.0}) {
            const uint32_t seed = static_cast<uint32_t>(version * 1000 + bend);
            const std::string text = "bent " + std::to_string(seed);
            const testkit::Symbol s = MakeQr(text, version);
            testkit::RenderOptions o;
            o.moduleSize = 5;
            o.bendDeg = bend;
            o.angleDeg = 10;
            o.blurSigma = 0.6;
            o.noiseSigma = 1;
            o.seed = seed;
            const testkit::DecodeResult d = testkit::DecodeFrame(testkit::Render(s, o).frame);
            const int sampled = vexo::g_qrResult.samplings, by = d.decoded ? vexo::g_qrResult.readBy : 0;
            std::printf("%7d  %4.0f  %5u  %-5s %-9s %-6s  %s\n", version, bend, seed, sampled & 1 ? "plain" : "",
                        sampled & 2 ? "quadratic" : "", sampled & 4 ? "re-fit" : "", kPass[by]);
            if (d.decoded) {
                EXPECT_TRUE(testkit::ReadAs(d, text, 0x102, "]Q1")) << seed;
            }
            const int expected = kReadBy[version - 1][bend < 80 ? 0 : (bend < 100 ? 1 : 2)];
            EXPECT_EQ(by, expected) << "version " << version << " bend " << bend << " seed " << seed;
            if (by == R) {
                const int n = s.rows;
                EXPECT_NE(sampled & P, 0) << seed;
                EXPECT_EQ((sampled & vexo::kQrSampledQuadratic) != 0, n >= 25 && n <= 45) << seed;
            }
        }
    }
}

}  // namespace

namespace {

// ---- Routines no decode path calls.

using QrRefitUnusedTest = QrRefitTest;

TEST_F(QrRefitUnusedTest, ProfileMinimaAndPeakReduction) {
    // Three clear valleys at 3, 8 and 13, a shallow dent at 16.
    const int32_t profile[20] = {50, 40, 20, 0, 20, 40, 20, 5, 20, 40, 20, 2, 20, 40, 38, 36, 35, 36, 38, 40};
    int32_t out[8];
    ASSERT_EQ(vexo::QR_FindProfileMinima(profile, 20, 4, out), 4);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[3], 16);
    // Asked for three, the dent is the weakest second difference and is dropped.
    ASSERT_EQ(vexo::QR_FindProfileMinima(profile, 20, 3, out), 3);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(out[2], 11);
    EXPECT_EQ(vexo::QR_ReducePeaks(profile, 20, 6, out), 0) << "fewer peaks than asked";
}

// A k x k random module pattern drawn at five pixels a module with one spare pixel around.
std::vector<uint8_t> ModuleImage(int k, uint32_t seed, std::vector<uint8_t> *modules) {
    std::mt19937 rng(seed);
    modules->resize(static_cast<size_t>(k * k));
    for (auto &m : *modules) m = static_cast<uint8_t>(rng() % 2);
    const int s = 5 * k + 2;
    std::vector<uint8_t> img(static_cast<size_t>(s * s), 200);
    for (int y = 1; y < s - 1; ++y) {
        for (int x = 1; x < s - 1; ++x) img[static_cast<size_t>(y * s + x)] = (*modules)[static_cast<size_t>((y - 1) / 5 * k + (x - 1) / 5)] ? 30 : 200;
    }
    return img;
}

TEST_F(QrRefitUnusedTest, ResampleByProjection) {
    for (int k : {7, 11, 21}) {
        std::vector<uint8_t> modules;
        std::vector<uint8_t> img = ModuleImage(k, static_cast<uint32_t>(k), &modules);
        const int s = 5 * k + 2;
        ASSERT_EQ(vexo::QR_ResampleByProjectionSmall(img.data(), s, k), 1) << k;
        int wrong = 0;
        for (int i = 0; i < k * k; ++i) wrong += (img[static_cast<size_t>(i)] < 115) != (modules[static_cast<size_t>(i)] != 0);
        EXPECT_EQ(wrong, 0) << k;
    }
    std::vector<uint8_t> flat(100, 128);
    EXPECT_EQ(vexo::QR_ResampleByProjection(flat.data(), 10, 3), 0);
    EXPECT_EQ(vexo::QR_ResampleByProjectionSmall(flat.data(), 10, 50), 0);
}

TEST_F(QrRefitUnusedTest, ResampleFinderWindowReadsAFrontalSymbol) {
    const testkit::Symbol s = MakeQr("window", 1);
    testkit::RenderOptions o;
    o.moduleSize = 5;
    o.angleDeg = 8;
    const testkit::Rendered r = testkit::Render(s, o);
    InstallFrame(r.frame);
    vexo::Pix_InstallFrame(g_pixels.data(), r.frame.width, r.frame.height);
    const int tl[4][2] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}};
    const QR_FINDER_PATTERN p = TruePattern(r, tl);
    std::vector<uint8_t> out(static_cast<size_t>((5 * 21 + 2) * (5 * 21 + 2)));
    ASSERT_EQ(vexo::QR_ResampleFinderWindow(&p, 21, out.data()), 1);
    std::vector<uint8_t> grey(out.begin(), out.begin() + 21 * 21);
    EXPECT_LE(Differences(grey, s), 4);
    EXPECT_EQ(vexo::QR_ResampleFinderWindow(&p, 6, out.data()), 0);
}

TEST_F(QrRefitUnusedTest, EdgesAlongRowAndColumn) {
    testkit::Frame f;
    f.width = 40;
    f.height = 30;
    f.pixels.assign(40 * 30, 200);
    for (int y = 0; y < 30; ++y) {
        for (int x = 10; x < 20; ++x) f.pixels[static_cast<size_t>(y * 40 + x)] = 30;
    }
    for (int x = 0; x < 40; ++x) f.pixels[static_cast<size_t>(25 * 40 + x)] = 30;
    InstallFrame(f);
    vexo::EDGE_ITEM edges[8];
    ASSERT_EQ(vexo::QR_EdgesAlongRow(5, 100, 20, edges, 8), 2);
    EXPECT_NE(edges[0].flags & vexo::kEdgeFalling, 0);
    EXPECT_NEAR(edges[0].position / 16.0, 10, 1);
    EXPECT_NEAR(edges[1].position / 16.0, 20, 1);
    ASSERT_EQ(vexo::QR_EdgesAlongColumn(30, 100, 20, edges, 8), 2);
    EXPECT_NEAR(edges[0].position / 16.0, 25, 1);
    EXPECT_EQ(vexo::QR_EdgesAlongRow(30, 100, 20, edges, 8), 0) << "row outside";
    EXPECT_EQ(vexo::QR_EdgesAlongColumn(-1, 100, 20, edges, 8), 0);
    EXPECT_EQ(vexo::QR_EdgesAlongRow(5, 100, 20, edges, 1), 1) << "capacity";
}

}  // namespace
