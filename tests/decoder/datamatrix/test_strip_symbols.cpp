// The strip L-finder on libzint Data Matrix symbols rendered as a camera sees them: one
// candidate must have its corner within 3 px of the symbol's L corner, its arm ends within
// 6 px of the L's other ends, the polarity of the symbol, the fourth corner from the other
// three and the arm lengths from its points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
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
    if (m.corner > 3) return StripOutcome::kCorner;
    if (m.arms > 6) return StripOutcome::kArms;
    return m.darkOnLight == (c.invert ? 0 : 1) ? StripOutcome::kFound : StripOutcome::kPolarity;
}

TEST(DmStripSymbols, FixedSample) {
    const StripSymbolCase cases[] = {
        {1, 6, 0, false},
    };
    for (const StripSymbolCase &c : cases) {
        std::string why;
        EXPECT_EQ(StripOutcomeName(RunStripCase(c, &why)), std::string("found")) << DescribeStrip(c) << why;
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
