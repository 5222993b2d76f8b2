// The edge-tracking L-corner finder over rendered Data Matrix symbols: the solid L of the
// symbol must come out as a corner candidate at the right place with the right polarity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "locate/edge_tracking.h"
#include "locate_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using vexo::CORNER_CANDIDATE;

struct EtDmCase {
    int sizeOption;  // libzint's Data Matrix size: 2 = 12 x 12 ... 13 = 44 x 44
    double moduleSize;
    double angle;
    int width, height;
    bool inverted;
    uint64_t seed;
};

std::string EtDmName(const EtDmCase &c) {
    char b[160];
    std::snprintf(b, sizeof b, "size option %d, %.0f px, %.0f deg, %dx%d%s, seed %llu", c.sizeOption, c.moduleSize,
                  c.angle, c.width, c.height, c.inverted ? ", inverted" : "", static_cast<unsigned long long>(c.seed));
    return b;
}

double EtDistToLine(testkit::Point p, testkit::Point a, testkit::Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    return std::fabs((p.x - a.x) * vy - (p.y - a.y) * vx) / std::hypot(vx, vy);
}

class EdgeTrackingSymbols : public locate_test::LocateTest {
protected:
    // "skip" when the symbol does not fit the frame, empty when the L was found, else the reason.
    std::string RunEtDm(const EtDmCase &c) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_DATAMATRIX;
        in.data = "ET" + std::to_string(c.sizeOption) + "Q";
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
        const testkit::Transform tr = testkit::MakeTransform(s, o);
        const double rows = s.rows, cols = s.cols;
        const testkit::Point corner = tr.ToImage({0, rows});
        const testkit::Point top = tr.ToImage({0, 0});
        const testkit::Point right = tr.ToImage({cols, rows});
        const testkit::Point far = tr.ToImage({cols, 0});
        const double margin = 2 * c.moduleSize;
        for (const testkit::Point &p : {corner, top, right, far})
            if (p.x < margin || p.y < margin || p.x > c.width - margin || p.y > c.height - margin) return "skip";
        testkit::Rendered r = testkit::Render(s, o);
        locate_test::GreyFrame f(c.width, c.height);
        f.pixels = r.frame.pixels;
        Install(f);
        CORNER_CANDIDATE out[16] = {};
        const int n = vexo::Loc_FindLCorners(f.pixels.data(), out, 16, c.inverted ? 0 : 1, c.inverted ? 1 : 0);
        for (int k = 0; k < n; ++k) {
            const CORNER_CANDIDATE &l = out[k];
            const testkit::Point v{l.corner.x + 0.5, l.corner.y + 0.5};
            if (std::hypot(v.x - corner.x, v.y - corner.y) > 3) continue;
            const testkit::Point a{l.endA.x + 0.5, l.endA.y + 0.5}, b{l.endB.x + 0.5, l.endB.y + 0.5};
            // The ends on the arms in either order; the end further off its arm counts, with
            // where it lies along the arm (0 at the corner, 1 at the arm's far end).
            testkit::Point ea = a, eb = b;
            if (std::max(EtDistToLine(a, corner, top), EtDistToLine(b, corner, right)) >
                std::max(EtDistToLine(a, corner, right), EtDistToLine(b, corner, top)))
                std::swap(ea, eb);
            const double offA = EtDistToLine(ea, corner, top), offB = EtDistToLine(eb, corner, right);
            if (std::max(offA, offB) > 2) {
                const testkit::Point e = offA > offB ? ea : eb, far = offA > offB ? top : right;
                const double along = ((e.x - corner.x) * (far.x - corner.x) + (e.y - corner.y) * (far.y - corner.y)) /
                                     ((far.x - corner.x) * (far.x - corner.x) + (far.y - corner.y) * (far.y - corner.y));
                char b2[96];
                std::snprintf(b2, sizeof b2, "corner found, an end %.1f px off its arm at %.2f of it",
                              std::max(offA, offB), along);
                return b2;
            }
            if (l.darkOnLight != (c.inverted ? 0 : 1)) return "corner found, flag " + std::to_string(l.darkOnLight);
            return "";
        }
        return "no candidate at the corner (" + std::to_string(n) + " candidates)";
    }
};

// Every candidate turns a quarter turn clockwise from corner->endA to corner->endB.
void EtExpectClockwise(const CORNER_CANDIDATE *out, int n) {
    for (int k = 0; k < n; ++k) {
        const double ax = out[k].endA.x - out[k].corner.x, ay = out[k].endA.y - out[k].corner.y;
        const double bx = out[k].endB.x - out[k].corner.x, by = out[k].endB.y - out[k].corner.y;
        EXPECT_GT(ax * by - ay * bx, 0) << k;  // y down: positive cross product is clockwise
    }
}

// A fixed-seed subset in every build (the sweep's seeds and frame widths). Expected misses are
// named with their cause and must fail in the named way.
TEST_F(EdgeTrackingSymbols, DataMatrixCornerSubset) {
    struct {
        EtDmCase c;
        const char *miss;  // null: the L must be found; else the start of the expected reason
    } const cases[] = {
        {{6, 4, 90, 640, 480, false, 2606}, nullptr},
        {{6, 4, 90, 640, 480, true, 2606}, nullptr},
        {{10, 6, 180, 640, 480, false, 3012}, nullptr},
        {{10, 6, 180, 640, 480, true, 3012}, nullptr},
        {{2, 6, 0, 640, 480, false, 2200}, nullptr},
        {{13, 6, 270, 640, 480, true, 3318}, nullptr},
        // Tilted symbols, both polarities.
        {{5, 6, 15, 752, 480, false, 2501}, nullptr},
        {{5, 6, 15, 752, 480, true, 2501}, nullptr},
        {{7, 6, 30, 640, 480, false, 2702}, nullptr},
        {{10, 6, 60, 640, 480, true, 3004}, nullptr},
        {{9, 8, 105, 752, 480, false, 2907}, nullptr},
        {{4, 6, 120, 640, 480, true, 2408}, nullptr},
        {{8, 8, 135, 752, 480, true, 2809}, nullptr},
        {{11, 8, 165, 752, 480, false, 3111}, nullptr},
        {{12, 6, 300, 640, 480, false, 3220}, nullptr},
        {{8, 8, 345, 752, 480, true, 2823}, nullptr},
        // 12 x 12 at 4 px: 48-pixel arms, too short once the tracks end a row or two inside.
        {{2, 4, 0, 640, 480, false, 2200}, "no candidate"},
        // The cross arm's far end is taken at the symbol's far corner on the next side's edge
        // (the last column probe finds it): 2.6 px off the arm's line, at its very end.
        {{4, 6, 15, 752, 480, false, 2401}, "corner found, an end"},
        // At 45 degrees off the axes the corner is the symbol's leftmost or rightmost point: the
        // cross probes by the track's end see both arms within their reach and the cross wanders
        // into the symbol; the outer-strip check refuses it.
        {{6, 6, 225, 752, 480, false, 2615}, "no candidate"},
        // 4 px per module, tilted: the 17-row cross probe spans the solid arm and the first data
        // modules, noise makes an inner module edge the strongest and the cross drifts inwards.
        {{8, 4, 30, 640, 480, false, 2802}, "no candidate"},
    };
    for (const auto &k : cases) {
        const std::string why = RunEtDm(k.c);
        if (k.miss == nullptr)
            EXPECT_EQ(why, "") << EtDmName(k.c);
        else
            EXPECT_EQ(why.rfind(k.miss, 0), 0u) << EtDmName(k.c) << " expected to miss (" << k.miss << "): " << why;
    }
}

TEST_F(EdgeTrackingSymbols, CandidatesTurnClockwiseAndFlatFramesGiveNone) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_DATAMATRIX;
    in.data = "ORIENTATION";
    in.option2 = 6;
    const testkit::Symbol s = testkit::Encode(in);
    ASSERT_TRUE(s.ok);
    for (double angle : {0.0, 100.0, 200.0}) {
        testkit::RenderOptions o;
        o.width = 640;
        o.height = 480;
        o.moduleSize = 6;
        o.angleDeg = angle;
        o.quietZone = 4;
        o.blurSigma = 0.6;
        const testkit::Rendered r = testkit::Render(s, o);
        locate_test::GreyFrame f(640, 480);
        f.pixels = r.frame.pixels;
        Install(f);
        CORNER_CANDIDATE out[16] = {};
        const int n = vexo::Loc_FindLCorners(f.pixels.data(), out, 16, 1, 1);
        EtExpectClockwise(out, n);
        // Capacity 1: the scan ends at the first corner.
        CORNER_CANDIDATE one[2] = {};
        one[1].texture = 999;
        EXPECT_LE(vexo::Loc_FindLCorners(f.pixels.data(), one, 1, 1, 1), 1);
        EXPECT_EQ(one[1].texture, 999);
    }
    for (int sigma : {2, 4, 6}) {
        locate_test::GreyFrame f(640, 480, 128);
        f.Noise(static_cast<uint32_t>(40 + sigma), sigma * 2);
        Install(f);
        CORNER_CANDIDATE out[4] = {};
        EXPECT_EQ(vexo::Loc_FindLCorners(f.pixels.data(), out, 4, 1, 1), 0) << sigma;
    }
}

class EdgeTrackingSymbolsSlow : public EdgeTrackingSymbols {};

// The full sweep: 12 x 12 to 44 x 44, 4 to 8 px per module where the symbol fits, every 15
// degrees, both frame sizes, both polarities. Misses are printed as findings.
TEST_F(EdgeTrackingSymbolsSlow, DataMatrixCornerSweep) {
    int total = 0, misses = 0;
    for (int size = 2; size <= 13; ++size)
        for (double module : {4.0, 6.0, 8.0})
            for (int a = 0; a < 24; ++a)
                for (bool inverted : {false, true}) {
                    const EtDmCase c{size, module, 15.0 * a, a % 2 == 0 ? 640 : 752, 480, inverted,
                                     static_cast<uint64_t>(2000 + size * 100 + a)};
                    const std::string why = RunEtDm(c);
                    if (why == "skip") continue;
                    ++total;
                    if (why.empty()) continue;
                    ++misses;
                    std::printf("miss: %s: %s\n", EtDmName(c).c_str(), why.c_str());
                }
    std::printf("edge-tracking L corners: %d of %d found\n", total - misses, total);
    EXPECT_GT(total, 0);
}

}  // namespace
