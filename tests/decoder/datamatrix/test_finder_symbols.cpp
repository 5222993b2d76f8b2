#include <gtest/gtest.h>

#include <cstdio>

#include "dm_finder_util.h"
#include "dm_symbols_util.h"
#include "dm_test_util.h"

namespace {

TEST(DmExplore, Sweep) {
    vexo::Test_ResetDecoderStatics();
    const int sizes[] = {1, 5, 9, 10, 15, 25, 30};
    int ok = 0, total = 0;
    for (int size : sizes) {
        const testkit::Symbol s = dmtest::DataMatrix("12", size);
        ASSERT_TRUE(s.ok);
        for (int angle = 0; angle < 360; angle += 15) {
            for (int inv = 0; inv < 2; ++inv) {
                testkit::RenderOptions o;
                o.width = 1280; o.height = 960; o.moduleSize = 6; o.angleDeg = angle; o.invert = inv;
                o.blurSigma = 0.6; o.noiseSigma = 3; o.seed = 7;
                testkit::Rendered r = testkit::Render(s, o);
                auto cands = dmtest::FindLs(r.frame.pixels, r.frame.width, r.frame.height);
                auto m = dmtest::BestMatch(cands, dmtest::TrueLOf(s, r));
                bool good = m.found && m.corner <= 2 && m.arms <= 5 && m.darkOnLight == (inv ? 0 : 1);
                ++total; ok += good;
                if (!good) std::printf("size %d (%dx%d) angle %d inv %d: n=%zu corner %.1f arms %.1f dol %d segs %d\n", size, s.rows, s.cols, angle, inv, cands.size(), m.corner, m.arms, m.darkOnLight, vexo::g_dmFinder.windowStart);
            }
        }
    }
    std::printf("%d / %d\n", ok, total);
}

}  // namespace
namespace {
TEST(DmExplore, One) {
    vexo::Test_ResetDecoderStatics();
    const testkit::Symbol s = dmtest::DataMatrix("12", 1);
    testkit::RenderOptions o;
    o.width = 752; o.height = 480; o.moduleSize = 6; o.angleDeg = 30; o.blurSigma = 0.6; o.noiseSigma = 1; o.seed = 7;
    testkit::Rendered r = testkit::Render(s, o);
    auto t = dmtest::TrueLOf(s, r);
    std::printf("truth e1 %.1f %.1f c %.1f %.1f e2 %.1f %.1f\n", t.armEnd1.x, t.armEnd1.y, t.corner.x, t.corner.y, t.armEnd2.x, t.armEnd2.y);
    // rows only first
    auto &f = vexo::g_dmFinder;
    auto cs = dmtest::FindLs(r.frame.pixels, r.frame.width, r.frame.height);
    for (auto &c : cs) std::printf("cand e1 %d %d c %d %d e2 %d %d dol %d\n", c.armEnd1.x, c.armEnd1.y, c.corner.x, c.corner.y, c.armEnd2.x, c.armEnd2.y, c.darkOnLight);
    std::printf("rowSegs %d count %d\n", f.rowSegments, f.windowStart);
    for (int k = 0; k < f.windowStart; ++k) {
        auto &g = f.segments[f.list[k]];
        std::printf("seg %d: (%.1f,%.1f)-(%.1f,%.1f) ang %d lc %d con %d flag %d\n", f.list[k], g.x0/16.0, g.y0/16.0, g.x1/16.0, g.y1/16.0, g.angle, g.lengthClass, g.contrast, g.flag);
    }
}
}
