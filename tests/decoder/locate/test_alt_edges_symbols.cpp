// The alternative finders over rendered symbols: Data Matrix L corners from gradient
// segments (merged and paired) and Aztec bulls-eyes from the ring scanner.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/arena.h"
#include "locate/corner_pairing.h"
#include "locate/gradient_segments.h"
#include "locate/ring_scanner.h"
#include "locate_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using vexo::DM_L_CANDIDATE;
using vexo::GRADIENT_SEGMENT;

struct AltDmCase {
    int sizeOption;  // libzint's Data Matrix size: 2 = 12 x 12 ... 10 = 32 x 32
    double moduleSize;
    double angle;
    int width, height;
    bool inverted;
    uint64_t seed;
};

std::string AltDmName(const AltDmCase &c) {
    char b[160];
    std::snprintf(b, sizeof b, "size option %d, %.0f px, %.0f deg, %dx%d%s, seed %llu", c.sizeOption, c.moduleSize,
                  c.angle, c.width, c.height, c.inverted ? ", inverted" : "", static_cast<unsigned long long>(c.seed));
    return b;
}

double AltDistToLine(testkit::Point p, testkit::Point a, testkit::Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    return std::fabs((p.x - a.x) * vy - (p.y - a.y) * vx) / std::hypot(vx, vy);
}

class AltEdgesSymbols : public locate_test::LocateTest {
protected:
    void SetUp() override {
        LocateTest::SetUp();
        vexo::Mem_ResetArena();
    }

    // Empty when the L was found as expected, else the reason.
    std::string RunDm(const AltDmCase &c) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_DATAMATRIX;
        in.data = "ALT" + std::to_string(c.sizeOption) + "X";
        in.option2 = c.sizeOption;
        const testkit::Symbol s = testkit::Encode(in);
        if (!s.ok) return "encode: " + s.error;
        testkit::RenderOptions o;
        o.width = c.width;
        o.height = c.height;
        o.moduleSize = c.moduleSize;
        o.angleDeg = c.angle;
        o.quietZone = 4;
        o.invert = c.inverted;
        o.blurSigma = 0.6;
        o.noiseSigma = 2;
        o.seed = c.seed;
        testkit::Rendered r = testkit::Render(s, o);
        locate_test::GreyFrame f(c.width, c.height);
        f.pixels = r.frame.pixels;
        Install(f);
        const testkit::Point corner = r.transform.ToImage({0, static_cast<double>(s.rows)});
        const testkit::Point top = r.transform.ToImage({0, 0});
        const testkit::Point right = r.transform.ToImage({static_cast<double>(s.cols), static_cast<double>(s.rows)});
        const testkit::Point far = r.transform.ToImage({static_cast<double>(s.cols), 0});
        double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
        for (const testkit::Point &p : {corner, top, right, far}) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
        const int margin = static_cast<int>(2 * c.moduleSize);
        const vexo::REGION_QUAD w = locate_test::Box(static_cast<int>(x0) - margin, static_cast<int>(y0) - margin,
                                                     static_cast<int>(x1) + margin, static_cast<int>(y1) + margin);
        static GRADIENT_SEGMENT segs[512];
        int n = vexo::Loc_FindGradientSegments(segs, &w, 512);
        if (vexo::g_arena.count != 0) return "arena not balanced";
        n = vexo::Loc_MergeSegments(segs, n);
        DM_L_CANDIDATE cands[64];
        const int m = vexo::Loc_PairSegmentsIntoCorners(cands, 64, segs, n);
        for (int k = 0; k < m; ++k) {
            const DM_L_CANDIDATE &l = cands[k];
            const testkit::Point v{l.cornerX / 16.0, l.cornerY / 16.0};
            if (std::hypot(v.x - corner.x, v.y - corner.y) > 3) continue;
            const testkit::Point p{l.end1X / 16.0, l.end1Y / 16.0}, q{l.end2X / 16.0, l.end2Y / 16.0};
            const bool pqArms = (AltDistToLine(p, corner, top) < 3 && AltDistToLine(q, corner, right) < 3) ||
                                (AltDistToLine(p, corner, right) < 3 && AltDistToLine(q, corner, top) < 3);
            if (!pqArms) return "corner found, ends off the arms";
            if (l.darkOnLight != (c.inverted ? 0 : 1)) return "corner found, flag " + std::to_string(l.darkOnLight);
            return "";
        }
        return "no candidate at the corner (" + std::to_string(n) + " segments, " + std::to_string(m) + " candidates)";
    }
};

// A fixed-seed subset in every build.
TEST_F(AltEdgesSymbols, DataMatrixCornerSubset) {
    const AltDmCase cases[] = {
        {2, 5, 0, 640, 480, false, 11},   {4, 4, 15, 752, 480, false, 12}, {6, 6, 30, 640, 480, true, 13},
        {10, 4, 90, 752, 480, false, 14}, {8, 5, 135, 640, 480, true, 15}, {3, 6, 210, 752, 480, false, 16},
        {5, 4, 300, 640, 480, false, 17}, {9, 5, 345, 752, 480, true, 18},
    };
    for (const AltDmCase &c : cases) EXPECT_EQ(RunDm(c), "") << AltDmName(c);
}

class AltEdgesSymbolsSlow : public AltEdgesSymbols {};

// The full sweep: 12 x 12 to 32 x 32, 4 to 6 px per module, every 15 degrees, both frame
// sizes, every other angle inverted. Misses are printed as findings, not failed.
TEST_F(AltEdgesSymbolsSlow, DataMatrixCornerSweep) {
    int total = 0, misses = 0;
    for (int size = 2; size <= 10; ++size)
        for (double module : {4.0, 5.0, 6.0})
            for (int a = 0; a < 24; ++a) {
                const AltDmCase c{size, module, 15.0 * a, a % 2 == 0 ? 640 : 752, 480, (a / 2) % 2 != 0,
                                  static_cast<uint64_t>(1000 + size * 100 + a)};
                const std::string why = RunDm(c);
                ++total;
                if (why.empty()) continue;
                ++misses;
                std::printf("miss: %s: %s\n", AltDmName(c).c_str(), why.c_str());
            }
    std::printf("Data Matrix L corners: %d of %d found\n", total - misses, total);
    EXPECT_GE(total - misses, total * 9 / 10);
}

TEST_F(AltEdgesSymbols, AztecBullseyeCentre) {
    struct {
        int sizeOption;  // 1..4 compact, 5.. full range
        double moduleSize, angle;
    } const cases[] = {{1, 3, 0}, {2, 4, 20}, {2, 4, 0}, {2, 4, 10}, {2, 4, 25}, {2, 3, 20}, {2, 5, 20}, {1, 4, 20}, {3, 5, 45}, {4, 6, 10}, {5, 3, 0}, {6, 4, 30}, {8, 5, 15}, {10, 6, 40}};
    for (const auto &c : cases) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = "RING" + std::to_string(c.sizeOption);
        in.option2 = c.sizeOption;
        const testkit::Symbol s = testkit::Encode(in);
        ASSERT_TRUE(s.ok) << s.error;
        testkit::RenderOptions o;
        o.moduleSize = c.moduleSize;
        o.angleDeg = c.angle;
        o.quietZone = 4;
        o.blurSigma = 0.6;
        o.noiseSigma = 2;
        const testkit::Rendered r = testkit::Render(s, o);
        locate_test::GreyFrame f(r.frame.width, r.frame.height);
        f.pixels = r.frame.pixels;
        Install(f);
        vexo::RING_CANDIDATE out[4];
        const int n = vexo::Loc_RingScanFrame(f.pixels.data(), out, 4, {0, 0}, {0, 0}, 0, 1);
        // The bulls-eye sits at the middle of the symbol.
        const testkit::Point centre = r.transform.ToImage({s.cols / 2.0, s.rows / 2.0});
        const std::string what = "size option " + std::to_string(c.sizeOption) + ", " +
                                 std::to_string(c.moduleSize) + " px, " + std::to_string(c.angle) + " deg";
        EXPECT_GE(n, 1) << what;
        if (n < 1) continue;
        EXPECT_LE(std::hypot(out[0].centreX + 0.5 - centre.x, out[0].centreY + 0.5 - centre.y), 2.0) << what;
    }
}

}  // namespace
