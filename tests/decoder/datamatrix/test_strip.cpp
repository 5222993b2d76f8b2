// The strip L-finder's routines on small drawn frames: edges of a strip, the busy-strip test,
// repeated runs, the angle table, the side checks, the corner check, the partner choice and
// the bounds of the whole pipeline on frames of every small size.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "datamatrix/dm_strip.h"

namespace {

// A grey frame the strip finder reads through the installed image.
struct StripFrame {
    int w, h;
    std::vector<uint8_t> px;
    StripFrame(int width, int height, uint8_t grey = 200)
        : w(width), h(height), px(static_cast<size_t>(width) * static_cast<size_t>(height), grey) {}
    void Fill(int x0, int y0, int x1, int y1, uint8_t g) {
        for (int y = y0 < 0 ? 0 : y0; y < y1 && y < h; ++y) {
            for (int x = x0 < 0 ? 0 : x0; x < x1 && x < w; ++x) px[static_cast<size_t>(y) * w + x] = g;
        }
    }
    void Install() {
        vexo::Pix_SetImagePointer(px.data());
        vexo::Pix_SetImageSize(w, h);
        vexo::Pix_InstallFrame(px.data(), w, h);
    }
};

std::vector<uint8_t> StripBytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int x : v) out.push_back(static_cast<uint8_t>(x));
    return out;
}

// ---- Edges of a strip.

TEST(DmStrip, StripEdgesThresholdsRunsAndPositions) {
    struct EdgeCase {
        const char *what;
        std::vector<uint8_t> s;
        int count;
        int firstKind;
        int firstPosition;
    };
    const EdgeCase cases[] = {
        {"amplitude 5 at the ratio: 5 x 1024 = 128 x 40", StripBytes({35, 40}), 1, vexo::kDmEdgeRising, 2},
        {"amplitude 4", StripBytes({36, 40}), 0, 0, 0},
        {"just under the ratio: 5 x 1024 < 128 x 41", StripBytes({36, 41}), 0, 0, 0},
        {"falling at the ratio", StripBytes({40, 35}), 1, vexo::kDmEdgeFalling, 2},
        {"equal neighbours end a run", StripBytes({10, 30, 30, 60}), 2, vexo::kDmEdgeRising, 2},
        {"centroid of the steps: 10, 40, 10", StripBytes({0, 10, 50, 60}), 1, vexo::kDmEdgeRising, 6},
        {"a rise then a fall", StripBytes({200, 200, 40, 40, 200}), 2, vexo::kDmEdgeFalling, 6},
    };
    for (const EdgeCase &c : cases) {
        vexo::DM_STRIP_EDGE e[4]{};
        const int size = static_cast<int>(c.s.size());
        const int n = vexo::DM_StripEdges(c.s.data(), size, vexo::DM_EDGE_LIMITS{5, 128}, 0, e, 4);
        ASSERT_EQ(n, c.count) << c.what;
        if (n > 0) {
            EXPECT_EQ(e[0].kind, c.firstKind) << c.what;
            EXPECT_EQ(e[0].position, c.firstPosition) << c.what;
            EXPECT_EQ(e[0].valid, 1) << c.what;
        }
    }
    // Equal neighbours: the second run starts at sample 2.
    const std::vector<uint8_t> two = StripBytes({10, 30, 30, 60});
    vexo::DM_STRIP_EDGE e[2]{};
    ASSERT_EQ(vexo::DM_StripEdges(two.data(), 4, vexo::DM_EDGE_LIMITS{5, 128}, 0, e, 2), 2);
    EXPECT_EQ(e[1].first, 2);
    EXPECT_EQ(e[1].position, 10);
    // One kind only.
    const std::vector<uint8_t> both = StripBytes({200, 40, 200});
    EXPECT_EQ(vexo::DM_StripRisingEdges(both.data(), 3, vexo::DM_EDGE_LIMITS{5, 128}, e, 2), 1);
    EXPECT_EQ(e[0].kind, vexo::kDmEdgeRising);
    EXPECT_EQ(vexo::DM_StripFallingEdges(both.data(), 3, vexo::DM_EDGE_LIMITS{5, 128}, e, 2), 1);
    EXPECT_EQ(e[0].kind, vexo::kDmEdgeFalling);
}

TEST(DmStrip, StripEdgesStopAtTheirCapacity) {
    std::vector<uint8_t> s(400);
    for (size_t i = 0; i < s.size(); ++i) s[i] = (i % 2 == 0) ? 30 : 220;
    std::vector<vexo::DM_STRIP_EDGE> e(vexo::kDmStripMaxEdges + 1);
    e.back().valid = 77;
    EXPECT_EQ(vexo::DM_StripEdges(s.data(), 400, vexo::DM_EDGE_LIMITS{5, 128}, 0, e.data(), vexo::kDmStripMaxEdges),
              vexo::kDmStripMaxEdges);
    EXPECT_EQ(e.back().valid, 77);
}

vexo::DM_STRIP_EDGE StripEdgeAt(int position, int kind) {
    vexo::DM_STRIP_EDGE e{};
    e.valid = 1;
    e.kind = kind;
    e.position = position;
    return e;
}

TEST(DmStrip, BusyStripWindows) {
    struct BusyCase {
        const char *what;
        std::vector<int> spacing;  // between neighbouring edges
        int busy;
    };
    const BusyCase cases[] = {
        {"seven edges are never busy", std::vector<int>(6, 4), 0},
        {"eight edges spanning 125", {18, 18, 18, 18, 18, 18, 17}, 1},
        {"eight edges spanning 126", {18, 18, 18, 18, 18, 18, 18}, 0},
        // 11 edges, 4 windows: one dense window is 25 %, two are 50 %.
        {"one window of four dense", {10, 10, 10, 10, 10, 10, 10, 200, 200, 200}, 0},
        {"two windows of four dense", {10, 10, 10, 10, 10, 10, 10, 10, 200, 200}, 1},
    };
    for (const BusyCase &c : cases) {
        std::vector<vexo::DM_STRIP_EDGE> e;
        int p = 100;
        e.push_back(StripEdgeAt(p, vexo::kDmEdgeRising));
        for (int d : c.spacing) e.push_back(StripEdgeAt(p += d, vexo::kDmEdgeRising));
        EXPECT_EQ(vexo::DM_IsBusyStrip(e.data(), static_cast<int>(e.size())), c.busy) << c.what;
    }
}

TEST(DmStrip, RepeatedRunsKeepOnlyTheirEnds) {
    struct RepeatCase {
        const char *what;
        int edges;
        int shift;    // of the current strip's positions
        int stretch;  // current spacing in percent of the previous
        int spacing;
        int dropped;  // run length found
    };
    const RepeatCase cases[] = {
        {"ten bars", 10, 20, 100, 24, 10},
        {"seven edges are no run", 7, 0, 100, 24, 0},
        // Wide spacing, so that no other alignment of the two strips comes within 128.
        {"first positions 128 apart", 10, 128, 100, 140, 10},
        {"first positions 129 apart", 10, 129, 100, 140, 0},
        {"spacings within a factor of four", 10, 0, 390, 24, 10},
    };
    for (const RepeatCase &c : cases) {
        std::vector<vexo::DM_STRIP_EDGE> prev, cur;
        for (int i = 0; i < c.edges; ++i) {
            const int kind = i % 2 == 0 ? vexo::kDmEdgeFalling : vexo::kDmEdgeRising;
            prev.push_back(StripEdgeAt(400 + c.spacing * i, kind));
            cur.push_back(StripEdgeAt(400 + c.shift + c.spacing * i * c.stretch / 100, kind));
        }
        const int n = vexo::DM_DropRepeatedEdgeRuns(prev.data(), c.edges, cur.data(), c.edges);
        EXPECT_EQ(n, c.dropped) << c.what;
        for (int i = 0; i < c.edges; ++i) {
            const int expected = n == 0 || i == 0 || i == c.edges - 1 ? 1 : 0;
            EXPECT_EQ(prev[static_cast<size_t>(i)].valid, expected) << c.what << " previous " << i;
            EXPECT_EQ(cur[static_cast<size_t>(i)].valid, expected) << c.what << " current " << i;
        }
    }
}

TEST(DmStrip, BarcodeStripIsCutAgainAndItsBarsDropped) {
    // Evenly spaced bars 3 px wide (a barcode) across two strips, beside a plain area.
    StripFrame f(400, 80);
    for (int x = 40; x < 280; x += 6) f.Fill(x, 0, x + 3, 80, 40);
    f.Install();
    uint8_t profile[vexo::kDmStripMaxWidth];
    vexo::DM_STRIP_EDGE strips[2][vexo::kDmStripMaxEdges];
    int counts[2];
    for (int k = 0; k < 2; ++k) {
        const int n = vexo::DM_StripProfile(12 + 24 * k, profile);
        ASSERT_EQ(n, 398);
        counts[k] = vexo::DM_StripEdges(profile, n, vexo::DM_EDGE_LIMITS{5, 128}, 0, strips[k], vexo::kDmStripMaxEdges);
        ASSERT_EQ(vexo::DM_IsBusyStrip(strips[k], counts[k]), 1);
        counts[k] =
            vexo::DM_StripEdges(profile, n, vexo::DM_EDGE_LIMITS{12, 256}, 0, strips[k], vexo::kDmStripMaxEdges);
        ASSERT_EQ(counts[k], 80);
    }
    EXPECT_EQ(vexo::DM_DropRepeatedEdgeRuns(strips[0], counts[0], strips[1], counts[1]), 80);
    for (int k = 0; k < 2; ++k) {
        int valid = 0;
        for (int i = 0; i < counts[k]; ++i) valid += strips[k][i].valid;
        EXPECT_EQ(valid, 2) << "strip " << k;
        EXPECT_EQ(strips[k][0].valid, 1);
        EXPECT_EQ(strips[k][counts[k] - 1].valid, 1);
    }
}

// ---- The angle table.

TEST(DmStrip, TangentTableRebuildsAndSlopesMapToHalfDegrees) {
    for (int k = 0; k < vexo::kDmTanEntries; ++k) {
        const double t = 16384.0 * std::tan(k * 0.5 * 3.14159265358979323846 / 180.0);
        EXPECT_EQ(vexo::kDmTanTable[k], static_cast<int32_t>(std::lround(t))) << "entry " << k;
    }
    struct SlopeCase {
        float slope;
        int angle;
    };
    const SlopeCase cases[] = {
        {0.0f, 0}, {1.0f, 90}, {-1.0f, -90}, {0.17633f, 20}, {-0.17633f, -20}, {114.0f, 179}, {1000.0f, 179},
    };
    for (const SlopeCase &c : cases) EXPECT_EQ(vexo::DM_SlopeToAngle(c.slope), c.angle) << "slope " << c.slope;
}

// ---- Sides.

vexo::DM_TRACKED_LINE StripLine(vexo::GEO_POINT p, vexo::GEO_POINT q, int kind) {
    vexo::DM_TRACKED_LINE l{};
    l.kind = kind;
    l.p = p;
    l.q = q;
    const int64_t dx = q.x - p.x, dy = q.y - p.y;
    l.length = static_cast<int32_t>(dx * dx + dy * dy);
    l.darkSide = 1;
    l.lightSide = 1;
    l.roomPlus[0] = l.roomPlus[1] = l.roomMinus[0] = l.roomMinus[1] = INT_MAX;
    l.limitPlus = l.limitMinus = 1;
    for (vexo::DM_EDGE_RECORD *r : {&l.first, &l.last}) {
        r->kind = kind;
        r->low = 40;
        r->high = 200;
        r->amplitude = 160;
        r->relative = 819;
    }
    return l;
}

TEST(DmStrip, LineAlongTheBorderLosesItsOuterSide) {
    StripFrame f(752, 480);
    f.Install();
    // Rising, so the plus side (left of a line running down) is its dark side.
    vexo::DM_TRACKED_LINE l = StripLine({8, 200}, {8, 1600}, vexo::kDmEdgeRising);
    vexo::DM_MeasureSideRoom(&l);
    EXPECT_EQ(l.darkSide, 0);
    EXPECT_EQ(l.roomPlus[0], 0);
    EXPECT_EQ(l.lightSide, 1);
    EXPECT_GT(l.roomMinus[0], 0);
    EXPECT_EQ(l.roomMinus[0], l.roomMinus[1]);
}

TEST(DmStrip, ShortLineTakesPartInNoL) {
    StripFrame f(752, 480);
    f.Install();
    vexo::DM_TRACKED_LINE lines[2] = {StripLine({1000, 200}, {1000, 279}, vexo::kDmEdgeRising),
                                      StripLine({1000, 200}, {1000, 280}, vexo::kDmEdgeRising)};
    EXPECT_EQ(vexo::DM_CheckLineSides(&lines[0], 1, 1, 1), 0);
    EXPECT_EQ(lines[0].darkSide, 0);
    EXPECT_EQ(lines[0].lightSide, 0);
    // 80 quarter pixels keep their sides until the side checks judge the flat frame.
    vexo::DM_MeasureSideRoom(&lines[1]);
    EXPECT_EQ(lines[1].darkSide, 1);
}

TEST(DmStrip, ParallelLinesTenPixelsApartDisableTheirFacingSides) {
    StripFrame f(752, 480);
    f.Install();
    // 60 px long: 25 x the cut room stays above the squared length.
    vexo::DM_TRACKED_LINE lines[2] = {StripLine({400, 100}, {400, 340}, vexo::kDmEdgeRising),
                                      StripLine({440, 100}, {440, 340}, vexo::kDmEdgeRising)};
    // The second lies on the first's minus side (right of a line running down).
    vexo::DM_CheckFacingLines(lines, 2);
    EXPECT_EQ(lines[0].lightSide, 0) << "the first line's minus side";
    EXPECT_EQ(lines[0].roomMinus[0], 0);
    EXPECT_EQ(lines[0].darkSide, 1);
    EXPECT_EQ(lines[1].darkSide, 0) << "the second line's plus side";
    EXPECT_EQ(lines[1].lightSide, 1);
    // 12 px apart: the cut room 48^2 x 110 / 100 = 2,534 keeps both sides, cut.
    vexo::DM_TRACKED_LINE apart[2] = {StripLine({400, 100}, {400, 340}, vexo::kDmEdgeRising),
                                      StripLine({448, 100}, {448, 340}, vexo::kDmEdgeRising)};
    vexo::DM_CheckFacingLines(apart, 2);
    EXPECT_EQ(apart[0].lightSide, 1);
    EXPECT_EQ(apart[0].roomMinus[0], 2534);
    EXPECT_EQ(apart[0].limitMinus, 57600 / 2304);
    EXPECT_EQ(apart[1].darkSide, 1);
    EXPECT_EQ(apart[1].roomPlus[1], 2534);
    // A line longer than 5 x the square root of the cut room loses the side too.
    vexo::DM_TRACKED_LINE longer[2] = {StripLine({400, 100}, {400, 1800}, vexo::kDmEdgeRising),
                                       StripLine({448, 100}, {448, 1800}, vexo::kDmEdgeRising)};
    vexo::DM_CheckFacingLines(longer, 2);
    EXPECT_EQ(longer[0].lightSide, 0);
    EXPECT_EQ(longer[1].darkSide, 0);
}

TEST(DmStrip, SideProfileLimits) {
    // A horizontal line a -> b; its plus side is below it, textured by bars 2 px wide except
    // for a plain gap. B is the gap's length along the line (quarter pixels).
    struct ProfileCase {
        const char *what;
        int c;    // line length, quarter pixels
        int gap;  // pixels
        int e;    // quarter pixels
        int pass;
    };
    const ProfileCase cases[] = {
        {"c 400: 2B < c", 400, 40, 16, 1},
        {"c 400: 2B > c", 400, 56, 16, 0},
        {"c 800: 3B < c", 800, 56, 16, 1},
        {"c 800: 3B > c", 800, 72, 16, 0},
        {"c 1600: 4B < c", 1600, 88, 24, 1},
        {"c 1600: 4B > c", 1600, 112, 24, 0},
        {"B > 20 e", 1600, 88, 16, 0},
        {"B < 20 e", 1600, 72, 16, 1},
        {"no texture", 1600, 400, 24, 0},
    };
    for (const ProfileCase &k : cases) {
        StripFrame f(752, 480);
        const int x0 = 100, y0 = 100, len = k.c / 4;
        const int gx = x0 + (len - k.gap) / 2;
        for (int x = x0 - 20; x < x0 + len + 20; x += 4) {
            if (x + 2 > gx && x < gx + k.gap) continue;
            f.Fill(x, y0 + 2, x + 2, y0 + 80, 40);
        }
        f.Install();
        const vexo::GEO_POINT a{4 * x0, 4 * y0}, b{4 * x0 + k.c, 4 * y0};
        EXPECT_EQ(vexo::DM_SideProfileTest(a, b, k.e, 1, vexo::DM_EDGE_LIMITS{20, 256}), k.pass) << k.what;
    }
}

// ---- Corners.

vexo::DM_PARTNER StripPartner(vexo::GEO_POINT start, vexo::GEO_POINT end, int angle, int kind) {
    vexo::DM_PARTNER p{};
    p.start = start;
    p.end = end;
    const int64_t dx = end.x - start.x, dy = end.y - start.y;
    p.length = static_cast<int32_t>(dx * dx + dy * dy);
    p.angle = angle;
    p.orientation = vexo::kDmAlongColumn;
    p.kind = kind;
    p.valid = 1;
    return p;
}

TEST(DmStrip, CornerCheck) {
    // A falling line down the image (dark side right, its minus side) and a partner along
    // its lower end to the right: the minus side at Q, the symbol above the partner, so its
    // edge rises down a column.
    const vexo::DM_TRACKED_LINE line = [] {
        vexo::DM_TRACKED_LINE l = StripLine({1000, 1000}, {1000, 3000}, vexo::kDmEdgeFalling);
        l.angle = 90;
        return l;
    }();
    struct CornerCase {
        const char *what;
        int dy;     // partner row - Q's row
        int gap;    // partner start - line, along x
        int len;    // partner length
        int angle;  // partner direction, degrees
        int kind;
        int pass;
    };
    const int up = vexo::kDmEdgeRising;
    const CornerCase cases[] = {
        {"square corner", 0, 0, 1000, 0, up, 1},
        {"wrong polarity", 0, 0, 1000, 0, vexo::kDmEdgeFalling, 0},
        {"angle 40", 0, 0, 1000, 310, up, 1},
        {"angle 39", 0, 0, 1000, 309, up, 0},
        {"angle 140", 0, 0, 1000, 50, up, 1},
        {"angle 141", 0, 0, 1000, 51, up, 0},
        {"s1 = L / 64 inside the line", -250, 0, 1000, 0, up, 1},
        {"s1 above L / 64", -251, 0, 1000, 0, up, 0},
        {"s1 = -L / 16 beyond Q", 500, 0, 1000, 0, up, 1},
        {"s1 below -L / 16", 501, 0, 1000, 0, up, 0},
        {"s2 = -L / 16 beyond the near end", 0, 500, 1000, 0, up, 1},
        {"s2 below -L / 16", 0, 501, 1000, 0, up, 0},
        {"s2 = L / 64 inside the partner", 0, -250, 1000, 0, up, 1},
        {"s2 above L / 64", 0, -251, 1000, 0, up, 0},
        {"s1 400, s2 441", -20, -21, 1000, 0, up, 1},
        {"s1 441, s2 441", -21, -21, 1000, 0, up, 0},
        {"partner at L / 25", 0, 0, 400, 0, up, 1},
        {"partner under L / 25", 0, 0, 399, 0, up, 0},
    };
    for (const CornerCase &c : cases) {
        vexo::DM_PARTNER p =
            StripPartner({1000 + c.gap, 3000 + c.dy}, {1000 + c.gap + c.len, 3000 + c.dy}, c.angle, c.kind);
        EXPECT_EQ(vexo::DM_CheckCorner(&line, 3, &p), c.pass) << c.what;
        if (c.pass == 1) {
            EXPECT_EQ(p.corner.x, 1000) << c.what;
            EXPECT_EQ(p.corner.y, 3000 + c.dy) << c.what;
        }
    }
    // A short line: the partner's own floor of 6,400 (80 quarter pixels) holds.
    vexo::DM_TRACKED_LINE shortLine = StripLine({1000, 1000}, {1000, 1300}, vexo::kDmEdgeFalling);
    shortLine.angle = 90;
    vexo::DM_PARTNER p80 = StripPartner({1000, 1300}, {1080, 1300}, 0, up);
    vexo::DM_PARTNER p79 = StripPartner({1000, 1300}, {1079, 1300}, 0, up);
    EXPECT_EQ(vexo::DM_CheckCorner(&shortLine, 3, &p80), 1);
    EXPECT_EQ(vexo::DM_CheckCorner(&shortLine, 3, &p79), 0);
    // A partner parallel to a slanted line passes every other test but has no crossing.
    vexo::DM_TRACKED_LINE slanted = StripLine({1000, 1000}, {1500, 3000}, vexo::kDmEdgeFalling);
    slanted.angle = 90;
    vexo::DM_PARTNER parallel = StripPartner({2000, 3000}, {2250, 4000}, 0, up);
    parallel.orientation = vexo::kDmAlongColumn;
    EXPECT_EQ(vexo::DM_CheckCorner(&slanted, 3, &parallel), 0);
}

TEST(DmStrip, SinglePartnerIsTakenWithoutTheProfileTest) {
    // A flat frame fails every side profile test.
    StripFrame f(752, 480);
    f.Install();
    vexo::DM_TRACKED_LINE line = StripLine({1000, 1000}, {1000, 1800}, vexo::kDmEdgeFalling);
    line.limitMinus = 256;
    vexo::DM_PARTNER partners[3] = {StripPartner({1000, 1800}, {1600, 1800}, 0, vexo::kDmEdgeRising),
                                    StripPartner({1000, 1790}, {1600, 1790}, 0, vexo::kDmEdgeRising),
                                    StripPartner({1000, 1780}, {1600, 1780}, 0, vexo::kDmEdgeRising)};
    partners[0].s1 = 900;
    partners[1].s1 = 100;
    partners[2].s1 = -400;
    EXPECT_EQ(vexo::DM_ChoosePartner(&line, 3, partners, 1), 0);
    // Of three, the two with the smallest gaps fail the test and the last is taken.
    EXPECT_EQ(vexo::DM_ChoosePartner(&line, 3, partners, 3), 0);
    EXPECT_EQ(partners[1].valid, 0);
    EXPECT_EQ(partners[2].valid, 0);
}

// ---- Tracking.

TEST(DmStrip, TrackedLinesStopAtTheirCapacity) {
    StripFrame f(400, 120);
    for (int x = 40; x < 360; x += 40) f.Fill(x, 0, x + 20, 120, 40);
    f.Install();
    auto st = std::make_unique<vexo::DM_STRIP_STATE>();
    auto pts = std::make_unique<vexo::DM_TRACE_POINTS>();
    for (int full : {0, 1}) {
        st->lineCount = full != 0 ? vexo::kDmStripMaxLines : 0;
        for (int k = 0; k < 2; ++k) {
            vexo::DM_STRIP_SET &set = st->strips[k];
            const int n = vexo::DM_StripProfile(12 + 24 * k, st->profile);
            set.count = vexo::DM_StripEdges(st->profile, n, vexo::DM_EDGE_LIMITS{5, 128}, 0, set.edges,
                                            vexo::kDmStripMaxEdges);
            ASSERT_EQ(set.count, 16);
            for (int i = 0; i < set.count; ++i) {
                set.lineOf[i] = -1;
                ASSERT_EQ(vexo::DM_TraceStripEdge(&set.edges[i], 12 + 24 * k, &set.records[i], pts.get()), 1);
            }
        }
        vexo::DM_TrackStripLines(st.get(), 0, 36);
        EXPECT_EQ(st->lineCount, full != 0 ? vexo::kDmStripMaxLines : 16);
        EXPECT_EQ(st->strips[1].lineOf[0], full != 0 ? -1 : 0);
    }
    // The whole frame: the bars repeat from strip to strip, so only their two outer edges
    // become lines, each from top to bottom.
    ASSERT_EQ(vexo::DM_TrackFrameLines(st.get(), pts.get()), 2);
    EXPECT_EQ(st->lines[0].kind, vexo::kDmEdgeFalling);
    EXPECT_EQ(st->lines[1].kind, vexo::kDmEdgeRising);
    EXPECT_LE(st->lines[0].p.y, 16);
    EXPECT_GE(st->lines[0].q.y, 4 * 110);
}

TEST(DmStrip, SymbolCrossedByOneStripGivesNoLine) {
    // A dark square 20 rows high is crossed by the strip at row 12 alone; 30 rows by two.
    auto st = std::make_unique<vexo::DM_STRIP_STATE>();
    auto pts = std::make_unique<vexo::DM_TRACE_POINTS>();
    struct ShortCase {
        int top, rows, lines;
    };
    for (const ShortCase c : {ShortCase{4, 20, 0}, ShortCase{8, 36, 2}}) {
        StripFrame f(200, 100);
        f.Fill(60, c.top, 60 + c.rows, c.top + c.rows, 30);
        f.Install();
        EXPECT_EQ(vexo::DM_TrackFrameLines(st.get(), pts.get()), c.lines) << c.rows << " rows";
    }
}

// ---- Bounds.

TEST(DmStrip, SmallAndOddFramesStayInBounds) {
    std::vector<vexo::DM_CANDIDATE> out(8);
    for (int h = 1; h <= 16; ++h) {
        for (int w = 1; w <= 16; ++w) {
            for (int textured = 0; textured < 2; ++textured) {
                StripFrame f(w, h);
                for (size_t i = 0; i < f.px.size(); ++i) {
                    f.px[i] = textured != 0 ? static_cast<uint8_t>(i * 97 % 251) : 128;
                }
                f.Install();
                const int n = vexo::DM_FetchStripCandidates(out.data(), 8, 1, 1);
                EXPECT_EQ(n, 0) << w << " x " << h;
            }
        }
    }
    // Heights whose last strip would read below the frame.
    for (int h : {13, 14, 37, 38, 470}) {
        for (int textured = 0; textured < 2; ++textured) {
            StripFrame f(64, h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < 64; ++x) {
                    f.px[static_cast<size_t>(y) * 64 + x] =
                        textured != 0 ? static_cast<uint8_t>(((x / 5 + y / 7) % 2) * 180 + 30) : 128;
                }
            }
            f.Install();
            const int n = vexo::DM_FetchStripCandidates(out.data(), 8, 1, 1);
            EXPECT_GE(n, 0);
            EXPECT_LE(n, 8);
        }
    }
}

TEST(DmStrip, LargeFrameWithLongParallelLines) {
    // Long bars at opposite corners of the largest frame: squared lengths near 4 x 10^7.
    StripFrame f(1280, 960);
    for (int y = 0; y < 960; ++y) {
        const int x = y * 4 / 3;
        f.Fill(x - 60, y, x - 20, y + 1, 30);
        f.Fill(x + 20, y, x + 60, y + 1, 30);
    }
    f.Fill(0, 0, 12, 960, 30);
    f.Fill(1268, 0, 1280, 960, 30);
    f.Install();
    std::vector<vexo::DM_CANDIDATE> out(100);
    const int n = vexo::DM_FetchStripCandidates(out.data(), 100, 1, 1);
    EXPECT_GE(n, 0);
    for (int i = 0; i < n; ++i) EXPECT_EQ(out[static_cast<size_t>(i)].valid, 1);
}

TEST(DmStrip, UncalledRoutines) {
    const float line[2] = {0.0f, 100.0f};  // x = 100
    EXPECT_EQ(vexo::DM_SquaredDistanceFromFit(line, 130, 7), 900);
    const float steep[2] = {1e30f, 0.0f};
    EXPECT_EQ(vexo::DM_SquaredDistanceFromFit(steep, 1, 1), -1);
    vexo::DM_EDGE_RECORD a{}, b{};
    a.kind = vexo::kDmEdgeRising;
    b.kind = vexo::kDmEdgeFalling;
    a.start = {100, 0};
    a.end = {100, 400};
    b.start = {100, 500};
    b.end = {100, 900};
    vexo::DM_TRACKED_LINE l{};
    EXPECT_EQ(vexo::DM_StartLineSameKind(&l, &a, &b), 0);
    EXPECT_EQ(vexo::DM_ContrastContinuesSameKind(&a, a.end, &b, b.start), 0);
    b.kind = vexo::kDmEdgeRising;
    EXPECT_EQ(vexo::DM_StartLineSameKind(&l, &a, &b), 1);
    EXPECT_NEAR(l.p.x, 100, 1);  // the toolkit's line evaluation rounds 100.0 to 99
    EXPECT_EQ(l.p.y, 0);
    EXPECT_EQ(l.q.y, 900);
}

}  // namespace
