// Grouping of finder patterns into symbol candidates on rendered symbols. The patterns are
// made from where the renderer put each finder (ring corners on the corner modules'
// centres, listed clockwise from the one nearest "up", as the finder lists them), so that
// the grouping, the corner refinement and the orientation are tested on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qr/qr_candidates.h"
#include "qr/qr_finder.h"
#include "qr_geom_test.h"
#include "support/render.h"
#include "support/symbol.h"

namespace {

using namespace vexo;
using namespace qr_geom_test;

class QrCandidatesTest : public QrGeomTest {
protected:
    void SetUp() override {
        QrGeomTest::SetUp();
        g_qrFinder.patternCount = 0;
        g_qrFinder.candidateCursor = 0;
        g_qrFinder.retryArmed = 0;
    }
};

constexpr double kPi = 3.14159265358979323846;

// Roles of the three finders: 0 top-left, 1 bottom-left, 2 top-right.
struct TruePattern {
    QR_FINDER_PATTERN pattern;
    GEO_POINT corners[4];  // true ring corners, clockwise from the outer one (1/16 pixel)
};

void SetBox(QR_FINDER_PATTERN *p) {
    int64_t sx = 0, sy = 0;
    p->minX = p->minY = 1 << 30;
    p->maxX = p->maxY = -(1 << 30);
    for (const GEO_POINT &c : p->corners) {
        sx += c.x;
        sy += c.y;
        p->minX = std::min(p->minX, c.x);
        p->maxX = std::max(p->maxX, c.x);
        p->minY = std::min(p->minY, c.y);
        p->maxY = std::max(p->maxY, c.y);
    }
    p->centreX = static_cast<int32_t>((sx + 2) >> 2);
    p->centreY = static_cast<int32_t>((sy + 2) >> 2);
}

// The finder whose top-left module is (u0, v0), its outer corner the module `outer` of the
// four (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left of the finder). Corners may
// be shaken by up to `shake` modules.
TruePattern MakePattern(const testkit::Rendered &r, int u0, int v0, int outer, bool inverse, double shake = 0,
                        std::mt19937 *rng = nullptr) {
    const int du[4] = {0, 6, 6, 0}, dv[4] = {0, 0, 6, 6};
    TruePattern t{};
    GEO_POINT cw[4];
    for (int k = 0; k < 4; ++k) cw[k] = ToDecoder(ModulePoint(r, u0 + du[k], v0 + dv[k]), 16);
    for (int k = 0; k < 4; ++k) t.corners[k] = cw[(outer + k) % 4];
    // The finder lists the corners clockwise starting at the one nearest "up".
    const GEO_POINT c = ToDecoder(ModulePoint(r, u0 + 3, v0 + 3), 16);
    int start = 0;
    double best = 10;
    for (int k = 0; k < 4; ++k) {
        double a = std::atan2(cw[k].x - c.x, -(cw[k].y - c.y));
        if (a < 0) a += 2 * kPi;
        if (a < best) {
            best = a;
            start = k;
        }
    }
    const double unit = std::hypot(cw[1].x - cw[0].x, cw[1].y - cw[0].y) / 6;
    std::uniform_real_distribution<double> jitter(-shake, shake);
    for (int k = 0; k < 4; ++k) {
        GEO_POINT p = cw[(start + k) % 4];
        if (rng != nullptr && shake > 0) {
            p.x += static_cast<int32_t>(std::lround(jitter(*rng) * unit));
            p.y += static_cast<int32_t>(std::lround(jitter(*rng) * unit));
        }
        t.pattern.corners[k] = p;
    }
    t.pattern.inverse = inverse ? 1 : 0;
    SetBox(&t.pattern);
    return t;
}

// The three finders of a QR symbol, outer corners facing away from the symbol.
std::vector<TruePattern> SymbolPatterns(const testkit::Rendered &r, int d, bool inverse) {
    return {MakePattern(r, 0, 0, 0, inverse), MakePattern(r, 0, d - 7, 3, inverse), MakePattern(r, d - 7, 0, 1, inverse)};
}

void Install(const std::vector<TruePattern> &pats) {
    g_qrFinder.patternCount = static_cast<uint16_t>(pats.size());
    for (size_t i = 0; i < pats.size(); ++i) g_qrFinder.patterns[i] = pats[i].pattern;
    g_qrFinder.imageCentre = {Pix_GetImageWidth() / 2, Pix_GetImageHeight() / 2};
    g_qrFinder.candidateCursor = 0;
}

double Distance(GEO_POINT a, GEO_POINT b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Which true pattern a candidate's pattern is (by centre), or -1.
int Identify(const QR_FINDER_PATTERN &p, const std::vector<TruePattern> &truth) {
    for (size_t i = 0; i < truth.size(); ++i) {
        if (std::abs(p.centreX - truth[i].pattern.centreX) < 8 && std::abs(p.centreY - truth[i].pattern.centreY) < 8)
            return static_cast<int>(i);
    }
    return -1;
}

testkit::Rendered RenderQr(const testkit::Symbol &s, double m, double angle, bool invert = false,
                           testkit::Point centre = {376, 240}) {
    return testkit::Render(s, {.moduleSize = m, .center = centre, .angleDeg = angle, .invert = invert,
                               .blurSigma = 0.5, .noiseSigma = 3, .seed = 17});
}

struct GroupCase {
    int version;
    double moduleSize;
    double angle;
    bool invert;
};

// Three patterns of one symbol form a type-3 candidate with the corner pattern in slot 1
// (out[1]), bottom-left in slot 0 and top-right in slot 2, each pattern's first corner its
// outer one.
TEST_F(QrCandidatesTest, ThreePatternsOfOneSymbol) {
    const GroupCase cases[] = {{1, 4, 0, false},  {2, 3, 30, false}, {4, 5, 135, false}, {7, 3, 200, true},
                               {10, 3, 290, false}, {3, 8, 15, true},  {5, 2, 60, false},  {1, 6, 345, true}};
    for (const GroupCase &c : cases) {
        const testkit::Symbol s = MakeQr("CAND" + std::to_string(c.version), c.version);
        const testkit::Rendered r = RenderQr(s, c.moduleSize, c.angle, c.invert);
        InstallFrame(r.frame);
        const std::vector<TruePattern> truth = SymbolPatterns(r, s.rows, c.invert);
        Install(truth);
        QR_FINDER_PATTERN out[3];
        int type = 0;
        ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 3) << "version " << c.version << " angle " << c.angle;
        EXPECT_EQ(type, kQrCandidateThree);
        const int roleOfSlot[3] = {1, 0, 2};
        for (int k = 0; k < 3; ++k) {
            const int role = Identify(out[k], truth);
            EXPECT_EQ(role, roleOfSlot[k]) << "slot " << k << " angle " << c.angle;
            if (role < 0) continue;
            EXPECT_LT(Distance(out[k].corners[0], truth[static_cast<size_t>(role)].corners[0]), 16 * c.moduleSize / 2)
                << "outer corner of slot " << k << " angle " << c.angle;
        }
        EXPECT_EQ(QR_NextSymbolCandidate(out, &type), 0) << "the patterns are used";
    }
}

// The refined ring corners lie within half a module of the dark ring's corners, for the
// short probes (ring box below 250 sixteenths: 2-pixel modules) and the long ones, dark on
// light and light on dark, from corners shaken by a third of a module.
TEST_F(QrCandidatesTest, RefinedCornersLieOnTheRing) {
    struct Case {
        double m;
        double angle;
        bool invert;
    };
    // Corner errors (1/16 pixel) against the nearest true corner: the list may be turned.
    auto NearestError = [](GEO_POINT p, const GEO_POINT (&truth)[4]) {
        double nearest = 1e9;
        for (const GEO_POINT &t : truth) nearest = std::min(nearest, Distance(p, t));
        return nearest;
    };
    int smallProbes = 0, largeProbes = 0;
    const Case cases[] = {{2, 0, false}, {2, 25, false}, {2, 0, true},  {2, 40, true},  {2.5, 10, false},
                          {6, 0, false}, {6, 33, false}, {6, 0, true},  {6, 50, true},  {12, 20, false},
                          {12, 70, true}, {4, 15, false}, {4, 15, true}};
    for (const Case &c : cases) {
        const testkit::Symbol s = MakeQr("RING", 2);
        const testkit::Rendered r = RenderQr(s, c.m, c.angle, c.invert);
        InstallFrame(r.frame);
        const uint32_t seed = static_cast<uint32_t>(c.m * 100 + c.angle);
        std::mt19937 rng(seed);
        double before = 0, after = 0;
        for (int trial = 0; trial < 4; ++trial) {
            TruePattern t = MakePattern(r, 0, 0, 0, c.invert, 0.45, &rng);
            const bool small = std::min(t.pattern.maxX - t.pattern.minX, t.pattern.maxY - t.pattern.minY) < 250;
            (small ? smallProbes : largeProbes) += 1;
            for (const GEO_POINT &p : t.pattern.corners) before += NearestError(p, t.corners);
            QR_PreparePattern(&t.pattern);
            EXPECT_EQ(t.pattern.analysed, 1);
            for (const GEO_POINT &refined : t.pattern.corners) {
                const double e = NearestError(refined, t.corners);
                after += e;
                EXPECT_LT(e, 16 * c.m * 0.5) << "module " << c.m << " angle " << c.angle << " invert " << c.invert
                                             << " seed " << seed << " trial " << trial;
            }
        }
        EXPECT_LT(after, before * 0.6) << "module " << c.m << " angle " << c.angle << " invert " << c.invert;
    }
    EXPECT_GT(smallProbes, 0);
    EXPECT_GT(largeProbes, 0);
}

// A finder destroyed: the two left form a side pair (type 5) or a diagonal pair (type 4).
TEST_F(QrCandidatesTest, TwoPatternsOfADamagedSymbol) {
    for (const double angle : {0.0, 40.0, 160.0, 250.0}) {
        const testkit::Symbol s = MakeQr("PAIRS", 3);
        const testkit::Rendered r = RenderQr(s, 4, angle);
        InstallFrame(r.frame);
        const std::vector<TruePattern> all = SymbolPatterns(r, s.rows, false);
        struct Pair {
            int a, b;  // roles kept
            int type;
        };
        const Pair pairs[] = {{0, 2, kQrCandidateSide}, {0, 1, kQrCandidateSide}, {1, 2, kQrCandidateDiagonal}};
        for (const Pair &p : pairs) {
            const std::vector<TruePattern> kept = {all[static_cast<size_t>(p.a)], all[static_cast<size_t>(p.b)]};
            Install(kept);
            QR_FINDER_PATTERN out[3];
            int type = 0;
            ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 2) << p.a << "+" << p.b << " angle " << angle;
            EXPECT_EQ(type, p.type) << p.a << "+" << p.b << " angle " << angle;
            for (int k = 0; k < 2; ++k) {
                const int i = Identify(out[k], kept);
                ASSERT_GE(i, 0);
                EXPECT_LT(Distance(out[k].corners[0], kept[static_cast<size_t>(i)].corners[0]), 32)
                    << p.a << "+" << p.b << " angle " << angle;
            }
        }
    }
}

// Two symbols side by side: each candidate holds the three patterns of one symbol, and the
// candidates nearest the image centre come first.
TEST_F(QrCandidatesTest, TwoSymbolsNeverMix) {
    const testkit::Symbol s1 = MakeQr("LEFT", 2);
    const testkit::Symbol s2 = MakeQr("RIGHT", 2);
    const testkit::Rendered r1 = RenderQr(s1, 4, 10, false, {200, 240});
    const testkit::Rendered r2 = RenderQr(s2, 4, -10, false, {560, 240});
    testkit::Frame f = r1.frame;
    for (int y = 0; y < f.height; ++y) {
        for (int x = f.width / 2; x < f.width; ++x) f.At(x, y) = r2.frame.At(x, y);
    }
    InstallFrame(f);
    std::vector<TruePattern> truth = SymbolPatterns(r1, s1.rows, false);
    for (const TruePattern &t : SymbolPatterns(r2, s2.rows, false)) truth.push_back(t);
    Install(truth);
    for (int k = 0; k < 2; ++k) {
        QR_FINDER_PATTERN out[3];
        int type = 0;
        ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 3) << "candidate " << k;
        const int a = Identify(out[0], truth), b = Identify(out[1], truth), c = Identify(out[2], truth);
        ASSERT_TRUE(a >= 0 && b >= 0 && c >= 0);
        EXPECT_EQ(a / 3, b / 3);
        EXPECT_EQ(a / 3, c / 3);
    }
    QR_FINDER_PATTERN out[3];
    int type = 0;
    EXPECT_EQ(QR_NextSymbolCandidate(out, &type), 0);
}

// A pattern of the other polarity is never a neighbour.
TEST_F(QrCandidatesTest, OtherPolarityIsNoNeighbour) {
    const testkit::Symbol s = MakeQr("POLAR", 2);
    const testkit::Rendered r = RenderQr(s, 4, 20);
    InstallFrame(r.frame);
    std::vector<TruePattern> truth = SymbolPatterns(r, s.rows, false);
    truth[2].pattern.inverse = 1;
    Install(truth);
    QR_FINDER_PATTERN out[3];
    int type = 0;
    const int n = QR_NextSymbolCandidate(out, &type);
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) EXPECT_EQ(out[k].inverse, out[0].inverse);
    EXPECT_LT(n, 3);
}

// One pattern alone (a Micro QR symbol) is a type-1 candidate.
TEST_F(QrCandidatesTest, MicroQrPattern) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MICROQR;
    in.data = "12345";
    const testkit::Symbol s = testkit::Encode(in);
    ASSERT_TRUE(s.ok) << s.error;
    const testkit::Rendered r = RenderQr(s, 5, 30);
    InstallFrame(r.frame);
    Install({MakePattern(r, 0, 0, 0, false)});
    QR_FINDER_PATTERN out[3];
    int type = 0;
    ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 1);
    EXPECT_EQ(type, kQrCandidateOne);
}

// The frame check: a candidate whose estimated symbol lies mostly outside the frame is not
// returned.
TEST_F(QrCandidatesTest, CandidateMostlyOutsideTheFrame) {
    InstallFrame(testkit::Frame(752, 480, 200));
    auto square = [](int x, int y, int side) {
        QR_FINDER_PATTERN p{};
        p.corners[0] = {16 * x, 16 * y};
        p.corners[1] = {16 * (x + side), 16 * y};
        p.corners[2] = {16 * (x + side), 16 * (y + side)};
        p.corners[3] = {16 * x, 16 * (y + side)};
        SetBox(&p);
        return p;
    };
    // One pattern: the symbol extends three ring sides from r1 towards the others.
    QR_FINDER_PATTERN inside = square(100, 100, 20);
    QR_CANDIDATE c{{&inside, nullptr, nullptr}};
    EXPECT_EQ(QR_CheckCandidateInFrame(&c), 1);
    QR_FINDER_PATTERN edge = square(700, 440, 20);  // 60 x 60 from (700, 440): mostly outside
    c = {{&edge, nullptr, nullptr}};
    EXPECT_EQ(QR_CheckCandidateInFrame(&c), 0);
    // Three patterns: the fourth corner completes the parallelogram.
    QR_FINDER_PATTERN tl = square(600, 300, 20), bl = square(600, 520, 20), tr = square(820, 300, 20);
    c = {{&bl, &tl, &tr}};
    EXPECT_EQ(QR_CheckCandidateInFrame(&c), 0);
    tl = square(300, 100, 20), bl = square(300, 320, 20), tr = square(520, 100, 20);
    c = {{&bl, &tl, &tr}};
    EXPECT_EQ(QR_CheckCandidateInFrame(&c), 1);
}

// Patterns that the zone tests cannot group (prepared, but their outer corner unclear) are
// grouped once by the armed retry: three by their triangle, two as a side or a diagonal
// pair. The first verified pattern of a side pair becomes its corner pattern, so the pair
// is right when that one has the other in the direction of its r4 (top-left before
// bottom-left, top-right before top-left).
TEST_F(QrCandidatesTest, RetryByPlainGeometry) {
    for (const double angle : {0.0, 70.0, 185.0, 300.0}) {
        const testkit::Symbol s = MakeQr("RETRY", 2);
        const testkit::Rendered r = RenderQr(s, 4, angle);
        InstallFrame(r.frame);
        std::vector<TruePattern> truth = SymbolPatterns(r, s.rows, false);
        for (TruePattern &t : truth) {
            t.pattern.analysed = 1;  // prepared, outer corner unclear
            t.pattern.oriented = 0;
            for (int k = 0; k < 4; ++k) t.pattern.corners[k] = t.corners[k];
        }
        Install(truth);
        QR_FINDER_PATTERN out[3];
        int type = 0;
        EXPECT_EQ(QR_NextSymbolCandidate(out, &type), 0) << "not armed";
        Install(truth);
        QR_ArmCandidateRetry(1);
        EXPECT_EQ(QR_GetRetryArmed(), 1);
        ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 3) << angle;
        EXPECT_EQ(QR_GetRetryArmed(), 0);
        EXPECT_EQ(type, kQrCandidateThree);
        const int roleOfSlot[3] = {1, 0, 2};
        for (int k = 0; k < 3; ++k) {
            const int role = Identify(out[k], truth);
            ASSERT_EQ(role, roleOfSlot[k]) << angle;
            EXPECT_LT(Distance(out[k].corners[0], truth[static_cast<size_t>(role)].corners[0]), 32)
                << "slot " << k << " angle " << angle;
        }
        EXPECT_EQ(QR_NextSymbolCandidate(out, &type), 0) << "the retry runs once";

        struct Pair {
            int a, b;
            int type;
        };
        const Pair pairs[] = {{0, 1, kQrCandidateSide}, {2, 0, kQrCandidateSide}, {2, 1, kQrCandidateDiagonal},
                              {1, 2, kQrCandidateDiagonal}};
        for (const Pair &p : pairs) {
            const std::vector<TruePattern> kept = {truth[static_cast<size_t>(p.a)], truth[static_cast<size_t>(p.b)]};
            Install(kept);
            QR_ArmCandidateRetry(1);
            ASSERT_EQ(QR_NextSymbolCandidate(out, &type), 2) << p.a << "+" << p.b << " angle " << angle;
            EXPECT_EQ(type, p.type) << p.a << "+" << p.b << " angle " << angle;
            for (int k = 0; k < 2; ++k) {
                const int i = Identify(out[k], kept);
                ASSERT_GE(i, 0);
                EXPECT_LT(Distance(out[k].corners[0], kept[static_cast<size_t>(i)].corners[0]), 32)
                    << p.a << "+" << p.b << " slot " << k << " angle " << angle;
            }
        }
    }
}

// A side pair grouped by plain geometry: whichever corner each pattern's list starts with,
// the corner pattern (slot 1) and its neighbour (slot 0) come out with their outer corner
// first. Among the starts is the one where the corner pattern's far corners are {0, 1}:
// there its outer corner is the first far corner, not the second.
TEST(QrSidePair, OuterCornerFirstForEveryListStart) {
    constexpr int kModule = 64;  // 4 px in sixteenths
    // Ring corners of a finder whose top-left module is (u, v): clockwise from top-left.
    const auto ring = [](int u, int v, GEO_POINT out[4]) {
        const int du[4] = {0, 6, 6, 0}, dv[4] = {0, 0, 6, 6};
        for (int k = 0; k < 4; ++k) {
            out[k] = {2000 + (u + du[k]) * kModule + kModule / 2, 2000 + (v + dv[k]) * kModule + kModule / 2};
        }
    };
    // Version 2 (25 modules): the corner pattern and its neighbour, and the index of each
    // one's outer corner in the clockwise ring (0 top-left, 1 top-right, 3 bottom-left).
    struct Pair {
        int u0, v0, outer0;  // corner pattern
        int u1, v1, outer1;  // neighbour
    };
    const Pair pairs[] = {{0, 0, 0, 0, 18, 3}, {18, 0, 1, 0, 0, 0}};
    for (const Pair &pr : pairs) {
        for (int start0 = 0; start0 < 4; ++start0) {
            for (int start1 = 0; start1 < 4; ++start1) {
                GEO_POINT c0[4], c1[4];
                ring(pr.u0, pr.v0, c0);
                ring(pr.u1, pr.v1, c1);
                QR_FINDER_PATTERN p0{}, p1{};
                for (int k = 0; k < 4; ++k) {
                    p0.corners[k] = c0[(start0 + k) % 4];
                    p1.corners[k] = c1[(start1 + k) % 4];
                }
                SetBox(&p0);
                SetBox(&p1);
                QR_CANDIDATE cand{};
                const std::string where = "pair at (" + std::to_string(pr.u1) + "," + std::to_string(pr.v1) +
                                          ") starts " + std::to_string(start0) + "/" + std::to_string(start1);
                ASSERT_EQ(QR_GroupTwoPatterns(&p0, &p1, &cand), 1) << where;
                ASSERT_EQ(cand.slot[1], &p0) << where;
                ASSERT_EQ(cand.slot[0], &p1) << where;
                EXPECT_TRUE(p0.corners[0].x == c0[pr.outer0].x && p0.corners[0].y == c0[pr.outer0].y) << where;
                EXPECT_TRUE(p1.corners[0].x == c1[pr.outer1].x && p1.corners[0].y == c1[pr.outer1].y) << where;
            }
        }
    }
}

// Zones of a pattern's neighbours, and the small routines beside them.
TEST(QrZones, ZonesAroundAnUprightPattern) {
    QR_FINDER_PATTERN p{};
    // r1 top-left (outer), then clockwise; 6 modules of 16 sixteenths.
    p.corners[0] = {0, 0};
    p.corners[1] = {96, 0};
    p.corners[2] = {96, 96};
    p.corners[3] = {0, 96};
    p.centreX = p.centreY = 48;
    const struct {
        GEO_POINT x;
        int zone;
    } cases[] = {{{48 + 16 * 20, 48}, 1},  {{48, 48 + 16 * 20}, 3},  {{48 + 300, 48 + 300}, 2},
                 {{48 + 300, 48 + 120}, 0}, {{-200, 48}, 4},          {{48, -200}, 4},
                 {{-300, -300}, 4},         {{48 + 16 * 20, 48 - 40}, 1}};
    for (const auto &c : cases) EXPECT_EQ(QR_PatternZone(&p, c.x), c.zone) << c.x.x << "," << c.x.y;

    QR_LINE_SIDE side{};
    EXPECT_EQ(QR_LineSide({0, 0}, {10, 0}, {5, 5}, &side), 1);
    EXPECT_EQ(side.dx, 10);
    EXPECT_EQ(QR_LineSide({0, 0}, {10, 0}, {5, -5}, &side), 0);
    GEO_POINT a{1, 1}, b{2, 2}, c{3, 3}, d{4, 4};
    QR_QUAD_REF q{};
    QR_RotateQuad(&a, &b, &c, &d, 3, &q);
    EXPECT_EQ(q.corner[0], &d);
    EXPECT_EQ(q.corner[1], &a);
}

}  // namespace
