// The strip L-finder on libzint Data Matrix symbols rendered as a camera sees them: one
// candidate must have its corner within 3 px of the symbol's L corner, its arm ends within
// 6 px of the L's other ends, the polarity of the symbol, the fourth corner from the other
// three and the arm lengths from its points.
//
// The finder's rules are kept as they are; what they miss is recorded, not tuned away.
// Measured (blur 0.6, noise 1, 4/6/8 px, every 15 degrees, squares 10-64 and the six
// rectangles, both polarities): 2,066 of 3,168 cases found. Misses:
// - arm end off, 959: the second arm is traced 14 steps of 4 px each way from the probe's
//   hit and then extended by at most 16 steps of 8 px, so its far end stops up to 8 px short
//   (260 cases within 9 px), and an arm reaches at most about 184 px beyond the hit: arms
//   longer than about 200 px (64 x 64 at 4 px, 44 x 44 and up at 6 px, 32 x 32 and up at
//   8 px) end short (600 cases beyond 20 px);
// - no L, 125: mostly 10 x 10, 12 x 12, 8 x 18 and 8 x 32 at 4 px, away from the axes;
// - corner off, 18.
// The Slow sweep prints every miss with its seed and a tally by angle; the default sample
// pins a few hits and a miss of each kind of arm end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "datamatrix/dm_strip.h"
#include "dm_finder_util.h"
#include "dm_symbols_util.h"
#include "support/render.h"

namespace {

enum class StripOutcome { kFound, kNone, kCorner, kArms, kPolarity };

const char *StripOutcomeName(StripOutcome o) {
    switch (o) {
        case StripOutcome::kFound: return "found";
        case StripOutcome::kNone: return "no L";
        case StripOutcome::kCorner: return "corner off";
        case StripOutcome::kArms: return "arm end off";
        case StripOutcome::kPolarity: return "polarity";
    }
    return "?";
}

struct StripSymbolCase {
    int size;  // libzint option_2: 1-16 squares 10-64, 25-30 rectangles
    int module;
    int angle;
    bool invert;
    uint64_t Seed() const {
        return static_cast<uint64_t>(size * 100000 + module * 1000 + angle * 2 + (invert ? 1 : 0));
    }
};

std::string DescribeStrip(const StripSymbolCase &c) {
    char b[96];
    std::snprintf(b, sizeof(b), "size %d, %d px, %d deg, %s, seed %llu", c.size, c.module, c.angle,
                  c.invert ? "light on dark" : "dark on light", static_cast<unsigned long long>(c.Seed()));
    return b;
}

// Checks that every candidate is well formed; answers false with a message otherwise.
bool StripCandidatesWellFormed(const std::vector<vexo::DM_CANDIDATE> &cands, std::string *why) {
    for (const vexo::DM_CANDIDATE &k : cands) {
        const vexo::GEO_POINT f{k.armEnd1.x + k.armEnd2.x - k.corner.x, k.armEnd1.y + k.armEnd2.y - k.corner.y};
        const int a1 = static_cast<int>(std::hypot(k.armEnd1.x - k.corner.x, k.armEnd1.y - k.corner.y));
        const int a2 = static_cast<int>(std::hypot(k.armEnd2.x - k.corner.x, k.armEnd2.y - k.corner.y));
        if (k.valid != 1 || k.fourthCorner.x != f.x || k.fourthCorner.y != f.y || k.arm1Length != a1 ||
            k.arm2Length != a2 || k.contrastHint != -7) {
            *why = "malformed candidate";
            return false;
        }
    }
    return true;
}

std::vector<vexo::DM_CANDIDATE> FetchStrip(testkit::Frame &f, int dark, int light) {
    vexo::Pix_SetImagePointer(f.pixels.data());
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Pix_InstallFrame(f.pixels.data(), f.width, f.height);
    std::vector<vexo::DM_CANDIDATE> out(100);
    for (vexo::DM_CANDIDATE &k : out) k.contrastHint = -7;
    const int n = vexo::DM_FetchStripCandidates(out.data(), 100, dark, light);
    out.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return out;
}

StripOutcome RunStripCase(const StripSymbolCase &c, std::string *why) {
    const testkit::Symbol s = dmtest::DataMatrix("12", c.size);
    if (!s.ok) return StripOutcome::kNone;
    testkit::RenderOptions o;
    const double span = (s.cols > s.rows ? s.cols : s.rows) * c.module * 1.42 + 40;
    o.width = span <= 470 ? 752 : 1280;
    o.height = span <= 470 ? 480 : 960;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.invert = c.invert;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    o.seed = c.Seed();
    testkit::Rendered r = testkit::Render(s, o);
    const auto cands = FetchStrip(r.frame, 1, 1);
    if (!StripCandidatesWellFormed(cands, why)) return StripOutcome::kNone;
    const dmtest::LMatch m = dmtest::BestMatch(cands, dmtest::TrueLOf(s, r));
    if (!m.found) return StripOutcome::kNone;
    char b[64];
    std::snprintf(b, sizeof b, "(corner %.1f px, arm ends %.1f px)", m.corner, m.arms);
    *why = b;
    if (m.corner > 3) return StripOutcome::kCorner;
    if (m.arms > 6) return StripOutcome::kArms;
    return m.darkOnLight == (c.invert ? 0 : 1) ? StripOutcome::kFound : StripOutcome::kPolarity;
}

TEST(DmStripSymbols, FixedSample) {
    struct Expected {
        StripSymbolCase c;
        StripOutcome outcome;
    };
    const Expected cases[] = {
        {{1, 6, 0, false}, StripOutcome::kFound},    {{3, 8, 90, true}, StripOutcome::kFound},
        {{14, 4, 105, false}, StripOutcome::kFound}, {{25, 6, 0, true}, StripOutcome::kFound},
        {{27, 8, 195, false}, StripOutcome::kFound}, {{30, 6, 285, true}, StripOutcome::kFound},
        {{2, 8, 255, false}, StripOutcome::kFound},
        // The second arm is extended in steps of 8 px: its end stops up to 8 px short.
        {{5, 4, 180, false}, StripOutcome::kArms},
        // 14 steps of 4 px and 16 of 8 px reach 184 px from the probe: a 256 px arm ends short.
        {{10, 8, 15, false}, StripOutcome::kArms},
    };
    for (const Expected &e : cases) {
        std::string why;
        EXPECT_EQ(StripOutcomeName(RunStripCase(e.c, &why)), std::string(StripOutcomeName(e.outcome)))
            << DescribeStrip(e.c) << " " << why;
    }
}

// Two symbols of opposite polarity in one frame, left and right of the centre.
testkit::Frame TwoSymbolFrame(int module, bool leftInverted, testkit::Rendered *left, testkit::Rendered *right,
                              const testkit::Symbol &s) {
    testkit::RenderOptions o;
    o.width = 752;
    o.height = 480;
    o.moduleSize = module;
    o.blurSigma = 0.6;
    o.noiseSigma = 1;
    o.quietZone = 3;
    o.background = 200;
    o.center = testkit::Point{200, 240};
    o.invert = leftInverted;
    *left = testkit::Render(s, o);
    o.center = testkit::Point{540, 200};
    o.invert = !leftInverted;
    o.seed = 2;
    *right = testkit::Render(s, o);
    testkit::Frame f = left->frame;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 380; x < f.width; ++x) {
            f.pixels[static_cast<size_t>(y) * f.width + x] = right->frame.pixels[static_cast<size_t>(y) * f.width + x];
        }
    }
    return f;
}

TEST(DmStripSymbols, PolarityWantedAndNearestFirst) {
    const testkit::Symbol s = dmtest::DataMatrix("12", 3);
    ASSERT_TRUE(s.ok);
    testkit::Rendered left, right;
    testkit::Frame f = TwoSymbolFrame(6, false, &left, &right, s);
    const dmtest::TrueL dark = dmtest::TrueLOf(s, left), light = dmtest::TrueLOf(s, right);
    struct WantedCase {
        int dark, light;
        bool darkFound, lightFound;
    };
    for (const WantedCase c : {WantedCase{1, 1, true, true}, WantedCase{1, 0, true, false},
                               WantedCase{0, 1, false, true}, WantedCase{0, 0, false, false}}) {
        const auto cands = FetchStrip(f, c.dark, c.light);
        std::string why;
        EXPECT_TRUE(StripCandidatesWellFormed(cands, &why)) << why;
        for (const vexo::DM_CANDIDATE &k : cands) {
            if (c.dark == 0) {
                EXPECT_EQ(k.darkOnLight, 0);
            }
            if (c.light == 0) {
                EXPECT_EQ(k.darkOnLight, 1);
            }
        }
        const dmtest::LMatch md = dmtest::BestMatch(cands, dark), ml = dmtest::BestMatch(cands, light);
        EXPECT_EQ(md.found && md.corner <= 3 && md.arms <= 6, c.darkFound) << c.dark << c.light;
        EXPECT_EQ(ml.found && ml.corner <= 3 && ml.arms <= 6, c.lightFound) << c.dark << c.light;
    }
    // The list comes sorted by the distance of the quad centre from the image centre: the
    // keys ascend, and a fetch of one returns the first of them.
    vexo::Pix_SetImagePointer(f.pixels.data());
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Pix_InstallFrame(f.pixels.data(), f.width, f.height);
    std::vector<vexo::DM_CANDIDATE> all(100);
    const int n = vexo::DM_FindStripCandidates(all.data(), 100, 1, 1);
    ASSERT_GE(n, 2);
    for (int i = 0; i < n; ++i) {
        const vexo::DM_CANDIDATE &k = all[static_cast<size_t>(i)];
        const long long sx = k.armEnd1.x + k.corner.x + k.armEnd2.x + k.fourthCorner.x - 2LL * f.width;
        const long long sy = k.armEnd1.y + k.corner.y + k.armEnd2.y + k.fourthCorner.y - 2LL * f.height;
        EXPECT_EQ(k.contrastHint, sx * sx + sy * sy);
        if (i > 0) {
            EXPECT_LE(all[static_cast<size_t>(i - 1)].contrastHint, k.contrastHint);
        }
    }
    vexo::DM_CANDIDATE one[2]{};
    one[0].contrastHint = -7;
    one[1].contrastHint = 99;
    ASSERT_EQ(vexo::DM_FetchStripCandidates(one, 1, 1, 1), 1);
    EXPECT_EQ(one[0].corner.x, all[0].corner.x);
    EXPECT_EQ(one[0].corner.y, all[0].corner.y);
    EXPECT_EQ(one[0].contrastHint, -7);
    EXPECT_EQ(one[1].contrastHint, 99);
    EXPECT_EQ(one[1].valid, 0);
}

TEST(DmStripSymbols, FramesOfTwelveRowsOrFewerGiveNothing) {
    const testkit::Symbol s = dmtest::DataMatrix("12", 1);
    ASSERT_TRUE(s.ok);
    testkit::RenderOptions o;
    o.moduleSize = 6;
    o.blurSigma = 0.6;
    testkit::Rendered r = testkit::Render(s, o);
    for (int rows : {12, 7, 1}) {
        testkit::Frame f = r.frame;
        // The rows through the middle of the symbol.
        const int top = f.height / 2 - rows / 2;
        f.pixels.erase(f.pixels.begin(), f.pixels.begin() + static_cast<long>(top) * f.width);
        f.pixels.resize(static_cast<size_t>(rows) * f.width);
        f.height = rows;
        EXPECT_TRUE(FetchStrip(f, 1, 1).empty()) << rows << " rows";
    }
}

TEST(DmStripSymbols, SideModuleWidthBesideARenderedArm) {
    struct WidthCase {
        int size, module;
        bool invert;
    };
    for (const WidthCase c : {WidthCase{3, 4, false}, WidthCase{12, 4, true}, WidthCase{5, 6, true},
                              WidthCase{8, 8, false}}) {
        const testkit::Symbol s = dmtest::DataMatrix("12", c.size);
        ASSERT_TRUE(s.ok);
        testkit::RenderOptions o;
        o.moduleSize = c.module;
        o.invert = c.invert;
        o.blurSigma = 0.6;
        o.noiseSigma = 1;
        testkit::Rendered r = testkit::Render(s, o);
        vexo::Pix_SetImagePointer(r.frame.pixels.data());
        vexo::Pix_SetImageSize(r.frame.width, r.frame.height);
        vexo::Pix_InstallFrame(r.frame.pixels.data(), r.frame.width, r.frame.height);
        auto st = std::make_unique<vexo::DM_STRIP_STATE>();
        auto pts = std::make_unique<vexo::DM_TRACE_POINTS>();
        const int n = vexo::DM_TrackFrameLines(st.get(), pts.get());
        // The left arm: the line nearest the symbol's left side.
        const dmtest::TrueL t = dmtest::TrueLOf(s, r);
        int best = -1;
        double off = 1e9;
        for (int i = 0; i < n; ++i) {
            const double d = std::fabs(st->lines[i].p.x / 4 + 2 - t.corner.x);
            if (d < off) {
                off = d;
                best = i;
            }
        }
        ASSERT_GE(best, 0);
        ASSERT_LT(off, 3);
        // The symbol lies right of the arm: the minus side of a line running down.
        const int w = vexo::DM_SideModuleWidth(&st->lines[best], -1);
        // The bisection stops at the first distance where the 3 x 3 box lies in the second
        // module column, 0.5 to 2 px past the module's edge, and answers that plus 1: the
        // module width plus 1 to 3 (plus 3 for 4 px modules of dark on light).
        EXPECT_GE(w, c.module + 1) << "size " << c.size << ", " << c.module << " px";
        EXPECT_LE(w, c.module + 3) << "size " << c.size << ", " << c.module << " px";
        EXPECT_EQ(vexo::DM_SideModuleWidth(&st->lines[best], 1), -1) << "the quiet side";
    }
}

TEST(DmStripSymbols, SlowSweep) {
    const int sizes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 25, 26, 27, 28, 29, 30};
    std::map<std::string, int> tally;
    int total = 0, found = 0;
    for (int size : sizes) {
        for (int module = 4; module <= 8; module += 2) {
            for (int angle = 0; angle < 360; angle += 15) {
                for (bool invert : {false, true}) {
                    const StripSymbolCase c{size, module, angle, invert};
                    std::string why;
                    const StripOutcome o = RunStripCase(c, &why);
                    ++total;
                    found += o == StripOutcome::kFound ? 1 : 0;
                    if (o != StripOutcome::kFound) {
                        std::printf("miss: %s: %s %s\n", DescribeStrip(c).c_str(), StripOutcomeName(o), why.c_str());
                        char key[64];
                        std::snprintf(key, sizeof key, "%3d deg, %s", angle, StripOutcomeName(o));
                        ++tally[key];
                    }
                }
            }
        }
    }
    std::printf("found %d of %d\n", found, total);
    for (const auto &t : tally) std::printf("  %s: %d\n", t.first.c_str(), t.second);
}

}  // namespace
