// Ring refinement on libzint MaxiCode frames: rings 0-10 placed through the true module
// centres (render transform), moved by a fifth of a module, are refined and compared with
// the truth before and after. The default suite runs a fixed subset; the table of all module
// sizes and angles is `slow`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "aztec_maxicode/maxi_module.h"
#include "aztec_maxicode/maxi_refine.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "decoder_test.h"
#include "grey_image.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using vexo::GEO_POINT;

// (row, column) of ring r's module in directions E, SE, SW, W, NW, NE; columns past the grid
// (ring 9 W, ring 10 E and W) are the places the ring walk makes for them.
std::vector<std::pair<int, int>> RingModules(int r) {
    auto rc = [](int m) { return std::pair{vexo::Maxi_ModuleRow(m), vexo::Maxi_ModuleCol(m)}; };
    if (r == 0) return {rc(440), rc(574), rc(568), rc(439), rc(304), rc(310)};
    return {r <= 9 ? rc(440 + r) : std::pair{16, 30},
            rc(574 + 30 * r),
            rc(568 + 29 * r),
            r <= 8 ? rc(439 - r) : std::pair{16, 8 - r},
            r <= 9 ? rc(304 - 30 * r) : rc(6),
            r <= 9 ? rc(310 - 29 * r) : rc(22)};
}

struct RefineCase {
    double module;
    int angle;
    uint64_t seed;
};

struct RefineResult {
    double before = 0;  // mean distance to the truth, modules
    double after = 0;
    int worse = 0;  // rings whose mean distance grew
};

RefineResult Refine(const RefineCase &c) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = 4;
    in.data = "Ring refinement frame";
    const testkit::Symbol s = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    o.seed = c.seed;
    const testkit::Rendered r = testkit::Render(s, o);
    vexo::Test_ResetDecoderStatics();
    vexo_test::GreyImage img(r.frame.width, r.frame.height);
    std::copy(r.frame.pixels.begin(), r.frame.pixels.end(), img.Data());
    img.Install();
    // The offset of a fifth of a module, in a direction turned with the seed.
    const double a = 0.7 * static_cast<double>(c.seed);
    const double ox = 0.2 * c.module * std::cos(a), oy = 0.2 * c.module * std::sin(a);
    RefineResult res;
    for (int ring = 0; ring <= 10; ++ring) {
        const auto modules = RingModules(ring);
        GEO_POINT in6[6], out6[6];
        testkit::Point truth[6];
        for (int k = 0; k < 6; ++k) {
            truth[k] = r.ModuleCentre(s, modules[k].first, modules[k].second);
            in6[k] = {static_cast<int>(std::lround((truth[k].x - 0.5 + ox) * 16)),
                      static_cast<int>(std::lround((truth[k].y - 0.5 + oy) * 16))};
        }
        vexo::Maxi_RefineRing(in6, out6, 6 + ring);
        double b = 0, f = 0;
        for (int k = 0; k < 6; ++k) {
            b += std::hypot(in6[k].x / 16.0 + 0.5 - truth[k].x, in6[k].y / 16.0 + 0.5 - truth[k].y);
            f += std::hypot(out6[k].x / 16.0 + 0.5 - truth[k].x, out6[k].y / 16.0 + 0.5 - truth[k].y);
        }
        res.before += b / 6 / c.module / 11;
        res.after += f / 6 / c.module / 11;
        if (f > b) ++res.worse;
    }
    return res;
}

class MaxiRefineSymbols : public vexo_test::DecoderTest {};

TEST_F(MaxiRefineSymbols, RingsComeBackNearer) {
    for (const RefineCase &c : {RefineCase{6, 0, 3}, RefineCase{10, 140, 5}}) {
        const RefineResult r = Refine(c);
        std::printf("%.0f px, %d deg, seed %llu: mean distance %.3f -> %.3f module, %d rings worse\n", c.module, c.angle,
                    static_cast<unsigned long long>(c.seed), r.before, r.after, r.worse);
        EXPECT_LT(r.after, r.before) << c.module << " px, " << c.angle << " deg";
    }
}

TEST_F(MaxiRefineSymbols, SlowRefinementTable) {
    uint64_t seed = 100;
    for (double module : {5.0, 6.0, 7.0, 8.0, 9.0, 10.0}) {
        for (int angle = 0; angle < 360; angle += 30) {
            const RefineCase c{module, angle, ++seed};
            const RefineResult r = Refine(c);
            std::printf("%4.1f px %3d deg seed %3llu: %.3f -> %.3f module, %2d of 11 rings worse%s\n", module, angle,
                        static_cast<unsigned long long>(seed), r.before, r.after, r.worse,
                        r.after > r.before ? "  (worse: finding)" : "");
            EXPECT_LT(r.after, r.before) << module << " px, " << angle << " deg, seed " << seed;
            EXPECT_EQ(r.worse, 0) << module << " px, " << angle << " deg, seed " << seed;
        }
    }
}

}  // namespace
