// The segment finder on hand-built lines and frames: edge runs, track starts, the trackers,
// the driver's refusals, arm pairing on drawn rectangles and the candidate check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/pixel.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_regularize.h"
#include "datamatrix/dm_segment.h"
#include "datamatrix/test_hooks_dm.h"
#include "decoder_test.h"

namespace {

using vexo::DM_ARM_TRACK;
using vexo::DM_CANDIDATE;
using vexo::DM_EDGE_TRACK;
using vexo::GEO_POINT;

// A frame installed as the decoder's image and as the module's image record.
struct SegFrame {
    int w, h;
    std::vector<uint8_t> px;
    SegFrame(int width, int height, uint8_t fill) : w(width), h(height), px(static_cast<size_t>(width * height), fill) {}
    uint8_t &at(int x, int y) { return px[static_cast<size_t>(y * w + x)]; }
    void Install() {
        vexo::Pix_SetImagePointer(px.data());
        vexo::Pix_SetImageSize(w, h);
        vexo::Pix_InstallFrame(px.data(), w, h);
        vexo::DM_SetImage(px.data(), w, h);
    }
    // Dark (30) inside the rectangle, light (220) elsewhere.
    void Rect(int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) at(x, y) = 30;
    }
};

class DmSegment : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        vexo::Test_ResetDmStatics();
    }
};

struct SegRuns {
    int n = 0;
    int pos[8] = {};
    uint8_t bright[8] = {}, dark[8] = {}, width[8] = {};
};

SegRuns SegFalling(const std::vector<uint8_t> &s, int limit = 255, int contrast = 0) {
    SegRuns r;
    r.n = vexo::DM_EdgeRunsFallingRow(s.data(), static_cast<int>(s.size()), r.pos, 8, r.bright, r.dark, r.width, limit,
                                      contrast);
    return r;
}

SegRuns SegRising(const std::vector<uint8_t> &s, int limit = 255, int contrast = 0) {
    SegRuns r;
    r.n = vexo::DM_EdgeRunsRisingRow(s.data(), static_cast<int>(s.size()), r.pos, 8, r.bright, r.dark, r.width, limit,
                                     contrast);
    return r;
}

TEST_F(DmSegment, EdgeRunsOnHandBuiltLines) {
    struct RunCase {
        const char *what;
        std::vector<uint8_t> line;
        bool rising;
        int limit, contrast;
        int count, pos, bright, dark, width;  // of the first edge when count > 0
    };
    std::vector<uint8_t> wide(60, 220);
    for (int i = 0; i < 40; ++i) wide[static_cast<size_t>(5 + i)] = static_cast<uint8_t>(210 - 4 * i);
    for (size_t i = 45; i < 50; ++i) wide[i] = 50;
    for (size_t i = 50; i < 60; ++i) wide[i] = i < 52 ? 200 : 20;  // a sharp edge after the ramp
    const RunCase cases[] = {
        {"bridged rise", {70, 70, 64, 66, 58, 58, 58}, false, 255, 0, 1, 16 * 26 / 12 + 8, 70, 58, 5},
        {"72 needs 10: 9", {72, 72, 63, 63}, false, 255, 0, 0, 0, 0, 0, 0},
        {"72 needs 10: 10", {72, 72, 62, 62}, false, 255, 0, 1, 24, 72, 62, 3},
        {"100 needs 20: 19", {100, 100, 81, 81}, false, 255, 0, 0, 0, 0, 0, 0},
        {"100 needs 20: 20", {100, 100, 80, 80}, false, 255, 0, 1, 24, 100, 80, 3},
        {"contrast 5", {100, 100, 95, 95}, false, 255, 5, 1, 24, 100, 95, 3},
        {"contrast 512 at 100: 15", {100, 100, 85, 85}, false, 255, 512, 1, 24, 100, 85, 3},
        {"contrast 512 at 100: 14", {100, 100, 86, 86}, false, 255, 512, 0, 0, 0, 0, 0},
        {"contrast 286 at 100: low byte 30", {100, 100, 71, 71}, false, 255, 286, 0, 0, 0, 0, 0},
        {"centroid", {200, 200, 100, 0, 0}, false, 255, 0, 1, 16 * 300 / 200 + 8, 200, 0, 4},
        {"start above the level limit", {200, 200, 100, 0, 0}, false, 150, 0, 1, 16 * 2 * 100 / 100 + 8, 100, 0, 3},
        {"rising centroid", {0, 0, 100, 200, 200}, true, 255, 0, 1, 32, 200, 0, 4},
        {"rising stops above the limit", {0, 0, 100, 160, 200, 200}, true, 150, 0, 1, 16 * 220 / 160 + 8, 160, 0, 4},
        {"40 wide dropped, the next edge read", wide, false, 255, 0, 1, 16 * 51 + 8, 200, 20, 3},
        {"falling run at the last sample", {220, 220, 220, 40}, false, 255, 0, 1, 16 * 2 + 8, 220, 40, 3},
    };
    for (const RunCase &c : cases) {
        const SegRuns r = c.rising ? SegRising(c.line, c.limit, c.contrast) : SegFalling(c.line, c.limit, c.contrast);
        ASSERT_EQ(r.n, c.count) << c.what;
        if (c.count == 0) continue;
        EXPECT_EQ(r.pos[0], c.pos) << c.what;
        EXPECT_EQ(r.bright[0], c.bright) << c.what;
        EXPECT_EQ(r.dark[0], c.dark) << c.what;
        EXPECT_EQ(r.width[0], c.width) << c.what;
    }
}

TEST_F(DmSegment, RowScanAndColumnsAgreeWithTheRowRoutines) {
    // Light, a falling edge, dark, a rising edge, light; the same line down column 3.
    const std::vector<uint8_t> line = {220, 220, 200, 60, 30, 30, 30, 90, 210, 220, 220, 220};
    const int n = static_cast<int>(line.size());
    SegFrame f(7, n, 128);
    for (int y = 0; y < n; ++y) f.at(3, y) = line[static_cast<size_t>(y)];
    f.Install();
    const SegRuns fr = SegFalling(line), rr = SegRising(line);
    ASSERT_EQ(fr.n, 1);
    ASSERT_EQ(rr.n, 1);
    SegRuns fc, rc;
    fc.n = vexo::DM_EdgeRunsFallingColumn(&f.at(3, 0), n, fc.pos, 8, fc.bright, fc.dark, fc.width, 255, 0);
    rc.n = vexo::DM_EdgeRunsRisingColumn(&f.at(3, 0), n, rc.pos, 8, rc.bright, rc.dark, rc.width, 255, 0);
    ASSERT_EQ(fc.n, 1);
    ASSERT_EQ(rc.n, 1);
    EXPECT_EQ(fc.pos[0], fr.pos[0]);
    EXPECT_EQ(fc.width[0], fr.width[0]);
    EXPECT_EQ(fc.bright[0], fr.bright[0]);
    EXPECT_EQ(rc.pos[0], rr.pos[0]);
    EXPECT_EQ(rc.dark[0], rr.dark[0]);
    int rp[4], fp[4], rn = 0, fn = 0;
    uint8_t rb[4], fb[4], rw[4], fw[4];
    vexo::DM_ScanRowEdges(line.data(), n, rp, fp, 4, rb, fb, rw, fw, &rn, &fn, 255, -1);
    ASSERT_EQ(rn, 1);
    ASSERT_EQ(fn, 1);
    EXPECT_EQ(fp[0], fr.pos[0]);
    EXPECT_EQ(rp[0], rr.pos[0]);
    EXPECT_EQ(fw[0], fr.width[0] - 1);
    EXPECT_EQ(rw[0], rr.width[0] - 1);
    EXPECT_EQ(fb[0], 220);
    EXPECT_EQ(rb[0], 220);  // 210 then 220: the run goes on to the top
}

TEST_F(DmSegment, NoRunStartsOnTheLastSampleOfTheImage) {
    // The last row ends on a step down and the last column on a step up: exact-size buffers,
    // so a read past the line shows under ASan.
    SegFrame f(8, 8, 200);
    f.at(7, 7) = 60;
    std::vector<uint8_t> exact(f.px);
    vexo::DM_SetImage(exact.data(), 8, 8);
    SegRuns r;
    r.n = vexo::DM_EdgeRunsFallingRow(&exact[56], 8, r.pos, 8, r.bright, r.dark, r.width, 255, 0);
    EXPECT_EQ(r.n, 1);
    r.n = vexo::DM_EdgeRunsRisingRow(&exact[63], 1, r.pos, 8, r.bright, r.dark, r.width, 255, 0);
    EXPECT_EQ(r.n, 0);
    r.n = vexo::DM_EdgeRunsFallingColumn(&exact[7], 8, r.pos, 8, r.bright, r.dark, r.width, 255, 0);
    EXPECT_EQ(r.n, 1);
    int rp[2], fp[2], rn = 0, fn = 0;
    uint8_t rb[2], fb[2], rw[2], fw[2];
    vexo::DM_ScanRowEdges(&exact[56], 8, rp, fp, 2, rb, fb, rw, fw, &rn, &fn, 255, -1);
    EXPECT_EQ(fn, 1);
    EXPECT_EQ(rn, 0);
}

// A falling edge between columns x - 1 and x on rows y0..y1 of a light frame.
void SegVerticalEdge(SegFrame *f, int x, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
        for (int c = x; c < f->w; ++c) f->at(c, y) = 30;
}

TEST_F(DmSegment, TracksStartAwayFromTheBordersAndTrackContinuations) {
    SegFrame f(100, 80, 220);
    SegVerticalEdge(&f, 50, 0, 79);
    f.Install();
    const int edge = 16 * 49 + 8;
    std::vector<int> pos = {4 * 16 + 8, edge, (100 - 5) * 16 + 8};
    const uint8_t bright[3] = {220, 220, 220}, widths[3] = {2, 2, 2};
    DM_EDGE_TRACK tracks[4] = {};
    int n = vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 40, tracks, 0, 4);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(tracks[0].seedX, 49);
    EXPECT_EQ(tracks[0].topY, 0);
    EXPECT_EQ(tracks[0].bottomY, 40);
    EXPECT_NEAR(tracks[0].topX, edge, 8);
    // The same edge on the track's lower row continues it; 49 (1/16) away it starts a track.
    EXPECT_EQ(vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 40, tracks, n, 4), 1);
    tracks[0].bottomX = edge - 49;
    EXPECT_EQ(vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 40, tracks, n, 4), 2);
    // The other polarity's track does not claim it; a full list starts nothing.
    tracks[0].bottomX = edge;
    tracks[0].polarity = 1;
    EXPECT_EQ(vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 40, tracks, 1, 4), 2);
    EXPECT_EQ(vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 40, tracks, 4, 4), 4);
    EXPECT_EQ(vexo::DM_StartTracks(pos.data(), bright, widths, 3, 0, 81, tracks, 0, 4), 0);
}

DM_EDGE_TRACK SegFreshTrack(int x16, int row) {
    DM_EDGE_TRACK t{};
    t.state = 1;
    t.topX = t.bottomX = x16;
    t.topY = t.bottomY = row;
    t.topLevel = t.bottomLevel = 220;
    t.topWidth = t.bottomWidth = 2;
    return t;
}

TEST_F(DmSegment, TrackUpNearTheTop) {
    SegFrame full(100, 20, 220);
    SegVerticalEdge(&full, 50, 0, 19);
    full.Install();
    DM_EDGE_TRACK t = SegFreshTrack(16 * 49 + 8, 3);
    EXPECT_EQ(vexo::DM_TrackUp(&t, 0), 0);  // three steps to row 0, fewer than five
    EXPECT_EQ(t.topY, 0);
    SegFrame part(100, 20, 220);
    SegVerticalEdge(&part, 50, 2, 19);
    part.Install();
    t = SegFreshTrack(16 * 49 + 8, 3);
    EXPECT_EQ(vexo::DM_TrackUp(&t, 0), 1);  // lost before row 0
    EXPECT_EQ(t.topY, 2);
}

// A straight edge leaning `slope` px per row, anti-aliased, from row y0 to row y1
// (inclusive), rows in `gaps` left light.
SegFrame SegSlantedEdge(int y0, int y1, double slope = 0.2, const std::vector<int> &gaps = {}) {
    SegFrame f(300, 260, 220);
    for (int y = y0; y <= y1; ++y) {
        bool gap = false;
        for (int g : gaps) gap = gap || g == y;
        if (gap) continue;
        const double e = 40.0 + slope * y;  // dark from x = e on
        for (int x = 0; x < f.w; ++x) {
            const double cover = std::fmin(1.0, std::fmax(0.0, x + 1 - e));
            f.at(x, y) = static_cast<uint8_t>(std::lround(220 - 190 * cover));
        }
    }
    return f;
}

TEST_F(DmSegment, TrackersFollowAStraightEdgeToItsEnds) {
    SegFrame f = SegSlantedEdge(20, 219);
    f.Install();
    int rp[50], fp[50], rn = 0, fn = 0;
    uint8_t rb[50], fb[50], rw[50], fw[50];
    vexo::DM_ScanRowEdges(&f.at(0, 100), f.w, rp, fp, 50, rb, fb, rw, fw, &rn, &fn, 255, -1);
    ASSERT_EQ(fn, 1);
    DM_EDGE_TRACK t[2] = {};
    ASSERT_EQ(vexo::DM_StartTracks(fp, fb, fw, fn, 0, 100, t, 0, 2), 1);
    // Band by band as the driver does, each call held to its limit.
    for (int limit = 132; limit <= 260; limit += 32) {
        if (t[0].closed != 0) break;
        EXPECT_EQ(vexo::DM_TrackDown(&t[0], limit), 1);
        EXPECT_LE(t[0].bottomY, limit);
    }
    EXPECT_EQ(t[0].closed, 1);
    EXPECT_NEAR(t[0].topY, 20, 1);
    EXPECT_NEAR(t[0].bottomY, 219, 1);
    EXPECT_NEAR(t[0].topX / 16.0, 40 + 0.2 * t[0].topY - 0.5, 1.0);
    EXPECT_NEAR(t[0].bottomX / 16.0, 40 + 0.2 * t[0].bottomY - 0.5, 1.0);
    EXPECT_EQ(t[0].misses, 0);
    EXPECT_EQ(t[0].steps, t[0].bottomY - t[0].topY);
}

TEST_F(DmSegment, ADashedEdgeCountsTheMissesOfItsRecoveries) {
    // A pixel per row: jumps of two rows and a recovery reaching four rows, so a gap of three
    // rows right after the lower end is crossed with its misses.
    SegFrame f = SegSlantedEdge(20, 219, 1.0, {121, 122, 123, 150, 151, 152, 181, 182, 183});
    f.Install();
    DM_EDGE_TRACK t = SegFreshTrack(static_cast<int>(std::lround(16 * (40 + 100 - 0.5))), 100);
    ASSERT_EQ(vexo::DM_TrackUp(&t, 0), 1);
    ASSERT_EQ(vexo::DM_TrackDown(&t, 259), 1);
    EXPECT_NEAR(t.bottomY, 219, 1);  // through the gaps
    EXPECT_GT(t.misses, 0);
    EXPECT_LE(t.misses, 12);
    // The recovery past the edge's end fails: its misses are given back.
    SegFrame whole = SegSlantedEdge(20, 219, 1.0);
    whole.Install();
    DM_EDGE_TRACK u = SegFreshTrack(static_cast<int>(std::lround(16 * (40 + 100 - 0.5))), 100);
    ASSERT_EQ(vexo::DM_TrackUp(&u, 0), 1);
    ASSERT_EQ(vexo::DM_TrackDown(&u, 259), 1);
    EXPECT_EQ(u.misses, 0);
}

TEST_F(DmSegment, ArmTrackersStayInsideTheirColumnLimits) {
    // A horizontal rising edge (dark above, light below) across columns 20..139 on row 60.
    SegFrame f(160, 120, 220);
    for (int y = 0; y < 60; ++y)
        for (int x = 20; x < 140; ++x) f.at(x, y) = 30;
    f.Install();
    DM_ARM_TRACK a{};
    a.state = 1;
    a.polarity = 1;
    a.leftX = a.rightX = 80;
    a.leftY = a.rightY = 16 * 59 + 8;
    a.leftLevel = a.rightLevel = 220;
    a.leftWidth = a.rightWidth = 2;
    EXPECT_EQ(vexo::DM_TrackLeft(&a, 50), 1);
    EXPECT_EQ(a.leftX, 50);
    EXPECT_EQ(vexo::DM_TrackRight(&a, 110), 1);
    EXPECT_EQ(a.rightX, 110);
    EXPECT_EQ(vexo::DM_TrackLeft(&a, 0), 1);
    EXPECT_NEAR(a.leftX, 20, 1);
    EXPECT_EQ(vexo::DM_TrackRight(&a, 1000), 1);
    EXPECT_NEAR(a.rightX, 139, 1);
    EXPECT_EQ(a.leftY, 16 * 59 + 8);
    EXPECT_EQ(a.rightY, 16 * 59 + 8);
    EXPECT_EQ(a.closed, 0);
}

TEST_F(DmSegment, DriverRefusals) {
    DM_CANDIDATE out[4] = {};
    SegFrame low(200, 32, 220);
    low.Rect(50, 0, 150, 31);
    low.Install();
    EXPECT_EQ(vexo::DM_SegmentFinder(out, 4, 1, 1), 0);
    SegFrame f(200, 200, 220);
    f.Rect(50, 50, 150, 150);
    f.Install();
    EXPECT_EQ(vexo::DM_SegmentFinder(nullptr, 4, 1, 1), 0);
    EXPECT_GT(vexo::DM_SegmentFinder(out, 4, 1, 1), 0);
    vexo::DM_SetImage(f.px.data(), 199, 200);  // another size than the installed image
    EXPECT_EQ(vexo::DM_SegmentFinder(out, 4, 1, 1), 0);
    // The flags follow the arguments; the option forces light-on-dark probes off.
    vexo::DM_SetImage(f.px.data(), 200, 200);
    vexo::DM_SegmentFinder(out, 4, 0, 1);
    EXPECT_EQ(vexo::g_dmDarkOnLightArmProbes, 0);
    EXPECT_EQ(vexo::g_dmLightOnDarkArmProbes, 1);
    vexo::g_dmOptions.segmentFinderOption = 1;
    vexo::DM_SegmentFinder(out, 4, 1, 1);
    EXPECT_EQ(vexo::g_dmLightOnDarkArmProbes, 0);
    vexo::Test_ResetDmStatics();
    EXPECT_EQ(vexo::g_dmDarkOnLightArmProbes, 1);
    EXPECT_EQ(vexo::g_dmLightOnDarkArmProbes, 0);
}

// A closed track of the rectangle's left (polarity 0) or right (polarity 1) side.
DM_EDGE_TRACK SegSideTrack(int x, int y0, int y1, int polarity) {
    DM_EDGE_TRACK t{};
    t.state = 1;
    t.closed = 1;
    t.polarity = polarity;
    t.topX = t.bottomX = 16 * x + 8;
    t.topY = y0;
    t.bottomY = y1;
    t.steps = y1 - y0;
    t.topLevel = t.bottomLevel = 220;
    return t;
}

TEST_F(DmSegment, PairingProbesByPolarityAndRatio) {
    struct PairCase {
        const char *what;
        int w, h;            // of the dark rectangle at (100, 60)
        int polarity;        // 0 the left side, 1 the right side
        int dol, lod;        // probe flags
        int count;
        bool endAtTrackEnd2;  // armEnd2 is a track end (probes 2 and 3), else armEnd1 (1 and 4)
    };
    const PairCase cases[] = {
        {"square, left side: probe 2 (top arm) first", 100, 100, 0, 1, 0, 2, true},
        {"square, left side, light-on-dark probes only", 100, 100, 0, 0, 1, 0, false},
        {"square, right side: probes 1 and 3", 100, 100, 1, 1, 0, 2, false},
        {"90 x 45, left: probe 2 passes (49), probe 4 fails (200)", 46, 91, 0, 1, 0, 1, true},
        {"90 x 45, right: probe 3 passes, probe 1 fails", 46, 91, 1, 1, 0, 1, true},
    };
    for (const PairCase &c : cases) {
        vexo::Test_ResetDmStatics();
        SegFrame f(400, 300, 220);
        f.Rect(100, 60, 100 + c.w - 1, 60 + c.h - 1);
        f.Install();
        vexo::g_dmDarkOnLightArmProbes = c.dol;
        vexo::g_dmLightOnDarkArmProbes = c.lod;
        const int x = c.polarity == 0 ? 99 : 100 + c.w - 1;
        DM_EDGE_TRACK t = SegSideTrack(x, 60, 60 + c.h - 1, c.polarity);
        DM_CANDIDATE out[8] = {};
        int found = 0;
        vexo::DM_PairArms(&t, out, &found, 8);
        ASSERT_EQ(found, c.count) << c.what;
        EXPECT_EQ(t.length, c.h - 1) << c.what;
        const GEO_POINT top{(t.topX + 8) / 16, t.topY}, bottom{(t.bottomX + 8) / 16, t.bottomY};
        for (int i = 0; i < found; ++i) {
            EXPECT_EQ(out[i].valid, 1);
            EXPECT_EQ(out[i].darkOnLight, 1) << c.what;
            const GEO_POINT e = c.endAtTrackEnd2 ? out[i].armEnd2 : out[i].armEnd1;
            const bool atEnd = (e.x == top.x && e.y == top.y) || (e.x == bottom.x && e.y == bottom.y);
            EXPECT_TRUE(atEnd || i > 0) << c.what;
            EXPECT_EQ(out[i].contrastHint, (220 - 30) >> 2) << c.what;
        }
        if (c.count == 1) {
            // The L: the corner at the track's end next to the arm, within a pixel or two.
            const GEO_POINT &k = out[0].corner;
            const GEO_POINT &near = c.polarity == 0 ? top : bottom;
            EXPECT_LE(std::abs(k.x - near.x) + std::abs(k.y - near.y), 3) << c.what;
        }
    }
}

// Pixels shaded by how much of them is dark (4 x 4 samples), as a camera sees a slanted edge.
template <class DarkAt>
void SegShade(SegFrame &f, DarkAt darkAt) {
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x) {
            int dark = 0;
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) dark += darkAt(x + (i + 0.5) / 4, y + (j + 0.5) / 4) ? 1 : 0;
            f.at(x, y) = static_cast<uint8_t>(220 - 190 * dark / 16);
        }
}

TEST_F(DmSegment, LinesAlongSlantedEdgesCountOnlyRealTransitions) {
    // The finisher's line from one end of a 200-row track to the other, in whole pixels: on a
    // slanted edge it weaves through the part-covered pixels (twice per column step), which
    // the count between pixels does not see; bars or texture on the line stay counted.
    struct SlantCase {
        const char *what;
        double deg;
        int topShift, bottomShift;  // of the line's ends from the edge, pixels to the light side
        int pattern;                // 0 none, 1 bars across the edge, 2 a checkerboard on it
        bool wholePixelPasses, sampledPasses;
    };
    const SlantCase cases[] = {
        {"upright edge", 0, 0, 0, 0, true, true},
        {"15 degrees", 15, 0, 0, 0, false, true},
        {"30 degrees", 30, 0, 0, 0, false, true},
        {"40 degrees", 40, 0, 0, 0, false, true},
        {"15 degrees, from a pixel inside to 3 px out", 15, -1, 3, 0, false, true},
        {"15 degrees, two pixels out (a quiet side)", 15, 2, 2, 0, true, true},
        {"15 degrees, bars of 4 px across", 15, 0, 0, 1, false, false},
        {"30 degrees, checkerboard of 3 px", 30, 0, 0, 2, false, false},
        {"upright, bars of 4 px across", 0, 0, 0, 1, false, false},
    };
    for (const SlantCase &c : cases) {
        SegFrame f(752, 240, 220);
        const double t = std::tan(c.deg * M_PI / 180);
        SegShade(f, [t](double x, double y) { return x < 300 + (y - 20) * t; });  // dark left of the edge
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) {
                const double d = x + 0.5 - (300 + (y + 0.5 - 20) * t);
                if (c.pattern == 0 || d < -8 || d > 8) continue;
                const bool dark = c.pattern == 1 ? (y / 4) % 2 == 0 : ((x / 3) + (y / 3)) % 2 == 0;
                f.at(x, y) = dark ? 30 : 220;
            }
        f.Install();
        const int y0 = 20, y1 = 220;
        const int x0 = static_cast<int>(std::floor(300 + (y0 - 20) * t)) + c.topShift;
        const int x1 = static_cast<int>(std::floor(300 + (y1 - 20) * t)) + c.bottomShift;
        const long long budget = vexo::DM_TransitionBudget(y1 - y0);
        const int whole = vexo::DM_CountLineTransitions(x0, y0, x1, y1, (220 - 30) >> 2);
        const int sampled = vexo::DM_CountSampledLineTransitions(x0, y0, x1, y1, (220 - 30) >> 2);
        EXPECT_EQ(100LL * whole < budget, c.wholePixelPasses) << c.what << ": " << whole;
        EXPECT_EQ(100LL * sampled < budget, c.sampledPasses) << c.what << ": " << sampled;
    }
    // The driver on a dark square of 150 px turned by 20 degrees: tracks, arms and quiet sides
    // all lie on slanted edges, and an L is found at one of its corners.
    SegFrame f(752, 480, 220);
    const double a = 20 * M_PI / 180, cx = 376, cy = 240;
    SegShade(f, [&](double x, double y) {
        const double u = (x - cx) * std::cos(a) + (y - cy) * std::sin(a), v = -(x - cx) * std::sin(a) + (y - cy) * std::cos(a);
        return std::fabs(u) < 75 && std::fabs(v) < 75;
    });
    f.Install();
    DM_CANDIDATE out[8] = {};
    const int n = vexo::DM_SegmentFinder(out, 8, 1, 1);
    bool atCorner = false;
    for (int i = 0; i < n; ++i)
        for (const int su : {-1, 1})
            for (const int sv : {-1, 1}) {
                const double kx = cx + 75 * su * std::cos(a) - 75 * sv * std::sin(a) - 0.5;
                const double ky = cy + 75 * su * std::sin(a) + 75 * sv * std::cos(a) - 0.5;
                atCorner = atCorner || std::hypot(out[i].corner.x - kx, out[i].corner.y - ky) <= 3;
            }
    EXPECT_TRUE(atCorner) << n << " candidates";
}

TEST_F(DmSegment, ShortOrMissingTracksAreNeverPaired) {
    SegFrame f(400, 300, 220);
    f.Rect(100, 60, 199, 159);
    f.Install();
    struct FinishCase {
        int steps, misses;
        bool paired;
    };
    const FinishCase cases[] = {{39, 0, false}, {40, 0, true}, {99, 7, true}, {99, 8, false}, {50, 4, false}};
    for (const FinishCase &c : cases) {
        DM_EDGE_TRACK t[2] = {SegSideTrack(99, 60, 159, 0), SegSideTrack(99, 60, 159, 0)};
        t[0].steps = c.steps;
        t[0].misses = c.misses;
        t[1].closed = 0;  // open: kept
        int count = 2, found = 0;
        DM_CANDIDATE out[8] = {};
        vexo::DM_FinishTracks(t, &count, out, 8, &found);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(t[0].closed, 0);
        EXPECT_EQ(found > 0, c.paired) << c.steps << " steps, " << c.misses << " misses";
    }
}

TEST_F(DmSegment, CandidateCheck) {
    SegFrame f(400, 300, 220);
    f.Install();
    const auto cand = [](GEO_POINT k, GEO_POINT p, GEO_POINT q) {
        DM_CANDIDATE c{};
        c.valid = 1;
        c.corner = k;
        c.armEnd1 = p;
        c.armEnd2 = q;
        return c;
    };
    DM_CANDIDATE list[5] = {
        cand({100, 100}, {100, 60}, {150, 100}),   // 40 and 50: arm 2 moves by (K - Q) 5 / 40
        cand({100, 200}, {100, 120}, {200, 200}),  // 80 and 100: nothing moves
        cand({100, 100}, {100, 100}, {150, 100}),  // an arm of length 0: dropped
        cand({300, 100}, {300, 60}, {350, 100}),   // 40 and 40: nothing moves
        cand({100, 100}, {100, 50}, {140, 100}),   // 50 and 40: arm 1 moves by (K - P) 5 / 50 (d1)
    };
    ASSERT_EQ(vexo::DM_CheckCandidates(list, 5), 4);
    EXPECT_EQ(list[0].armEnd2.x, 150 + (100 - 150) * 5 / 40);
    EXPECT_EQ(list[0].armEnd2.y, 100);
    EXPECT_EQ(list[1].armEnd2.x, 200);
    EXPECT_EQ(list[1].armEnd1.y, 120);
    EXPECT_EQ(list[2].corner.x, 300);
    EXPECT_EQ(list[3].armEnd1.y, 50 + (100 - 50) * 5 / 50);
    // Stripes beside arm 1 (two pixels away from arm 2) drop it.
    for (int y = 50; y < 110; ++y)
        for (int x = 96; x < 99; ++x) f.at(x, y) = (y / 3) % 2 ? 30 : 220;
    DM_CANDIDATE noisy = cand({100, 100}, {100, 60}, {160, 100});
    EXPECT_EQ(vexo::DM_CheckCandidates(&noisy, 1), 0);
    vexo::g_dmOptions.segmentFinderOption = 1;  // no quiet-side tests
    EXPECT_EQ(vexo::DM_CheckCandidates(&noisy, 1), 1);
}

TEST_F(DmSegment, SmallRoutines) {
    SegFrame f(752, 480, 220);
    f.Install();
    const auto angle = [](double deg) {
        const GEO_POINT k{0, 0}, p{1000, 0};
        const GEO_POINT q{static_cast<int>(std::lround(1000 * std::cos(deg * M_PI / 180))),
                          static_cast<int>(std::lround(1000 * std::sin(deg * M_PI / 180)))};
        return vexo::DM_IsRightAngle(&k, &p, &q);
    };
    EXPECT_EQ(angle(90), 1);
    EXPECT_EQ(angle(76), 1);
    EXPECT_EQ(angle(104), 1);
    EXPECT_EQ(angle(74), 0);
    EXPECT_EQ(angle(106), 0);
    const GEO_POINT o{5, 5}, e{9, 5};
    EXPECT_EQ(vexo::DM_IsRightAngle(&o, &o, &e), 0);
    // 64-bit products: lines across a 1280 x 960 frame.
    SegFrame big(1280, 960, 220);
    big.Install();
    const GEO_POINT a0{1270, 10}, a1{1279, 950}, b0{10, 950}, b1{1275, 951};
    GEO_POINT k{};
    ASSERT_EQ(vexo::DM_IntersectTrackLines(&a0, &a1, &b0, &b1, &k), 1);
    EXPECT_NEAR(k.x, 1279, 1);
    EXPECT_NEAR(k.y, 951, 1);
    const GEO_POINT far1{1279, 0}, far2{0, 959}, corner{0, 0};
    EXPECT_EQ(vexo::DM_IsRightAngle(&corner, &far1, &far2), 1);
    EXPECT_EQ(vexo::DM_IntersectTrackLines(&a0, &a1, &a0, &a1, &k), 0);  // parallel
    // Budget: quotient 0 at width 32, negative beyond it.
    SegFrame narrow(32, 40, 220);
    narrow.Install();
    EXPECT_EQ(vexo::DM_TransitionBudget(10), 200);
    f.Install();
    EXPECT_EQ(vexo::DM_TransitionBudget(100), 100 * (20 + 3401 / -1440));
    // Room for the arm on either side.
    DM_EDGE_TRACK t = SegSideTrack(30, 0, 100, 1);
    t.topX = t.bottomX = 30 * 16;
    EXPECT_EQ(vexo::DM_HasRoomForArm(&t), 0);
    t.topX = t.bottomX = 60 * 16;
    EXPECT_EQ(vexo::DM_HasRoomForArm(&t), 1);
    t.polarity = 0;
    t.topX = t.bottomX = (752 - 60) * 16;
    EXPECT_EQ(vexo::DM_HasRoomForArm(&t), 1);
    t.topX = t.bottomX = (752 - 59) * 16;
    EXPECT_EQ(vexo::DM_HasRoomForArm(&t), 0);
    // Column contrast: 10 for no samples or a small spread, 2 d / 3 above.
    for (int y = 0; y < 10; ++y) f.at(5, y) = static_cast<uint8_t>(50 + 5 * y);
    EXPECT_EQ(vexo::DM_ColumnContrastThreshold(&f.at(5, 0), 0), 10);
    EXPECT_EQ(vexo::DM_ColumnContrastThreshold(&f.at(5, 0), 3), 10);    // d = 20
    EXPECT_EQ(vexo::DM_ColumnContrastThreshold(&f.at(5, 0), 10), 30);   // d = 90
    // Transitions: stripes of 4 px counted once each way.
    for (int x = 0; x < 40; ++x) f.at(x, 300) = (x / 4) % 2 ? 30 : 220;
    EXPECT_EQ(vexo::DM_CountLineTransitions(0, 300, 39, 300, 0), 9);
    EXPECT_EQ(vexo::DM_CountLineTransitions(-1, 300, 39, 300, 0), 0);
    EXPECT_EQ(vexo::DM_CountLineTransitions(752, 300, 39, 300, 0), 0);
}

}  // namespace

namespace {

TEST_F(DmSegment, LineEdgeAndPatternRoutines) {
    SegFrame f(120, 80, 220);
    f.Install();
    // Hough: peak needs more than 6; equal largest cells give their mean angle and row.
    int votes[300] = {};
    for (int &v : votes) v = 6;
    int angle = -1, distance = -1;
    EXPECT_EQ(vexo::DM_HoughPeak(100, votes, &angle, &distance), 0);
    votes[3 * 10 + 2] = 9;
    votes[5 * 10 + 6] = 9;
    ASSERT_EQ(vexo::DM_HoughPeak(100, votes, &angle, &distance), 1);
    EXPECT_EQ(angle, 104);
    EXPECT_EQ(distance, 4);
    struct VoteCase {
        int x, first, end;
        int total, cell;  // votes in all, and the cell that must hold one
    };
    const VoteCase voteCases[] = {
        {0, 0, 10, 10, 0},    // the origin: row 0 for every angle
        {0, 0, 11, 10, 9},    // eleven angles: ten columns
        {5, -3, 2, 5, 40},    // from 625 on: column 0 first, distance 4
        {0, 5, 5, 0, 0},      // an empty range
    };
    for (const VoteCase &c : voteCases) {
        int v[300] = {};
        const int xs[1] = {c.x}, ys[1] = {0};
        vexo::DM_HoughVote(0, 0, c.first, c.end, v, xs, ys, 1);
        int total = 0;
        for (int k : v) total += k;
        EXPECT_EQ(total, c.total) << c.first << ".." << c.end;
        if (c.total > 0) {
            EXPECT_EQ(v[c.cell], 1) << c.first << ".." << c.end;
        }
    }
    // Slope lines.
    struct SlopeCase {
        vexo::SLOPE_LINE a, b;
        int ok, x, y;
    };
    const SlopeCase slopes[] = {
        {{1, 0}, {-1, 10}, 1, 5, 5},
        {{573, 3}, {2, 1}, 1, 3, 7},
        {{2, 1}, {573, 3}, 1, 3, 7},
        {{1, 0}, {1.000001, 4}, 0, 0, 0},
        {{1, 1e300}, {-1, 0}, 0, 0, 0},  // does not fit
    };
    for (const SlopeCase &c : slopes) {
        int out[2] = {0, 0};
        ASSERT_EQ(vexo::DM_IntersectSlopeLinesTrunc(&c.a, &c.b, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(out[0], c.x);
            EXPECT_EQ(out[1], c.y);
        }
    }
    EXPECT_EQ(vexo::DM_IntersectSlopeLinesTrunc(nullptr, &slopes[0].b, nullptr), 0);
    // Points.
    GEO_POINT r{};
    const GEO_POINT origin{0, 0}, q5{5, 0};
    EXPECT_EQ(vexo::DM_RotateAbout(&origin, &q5, &r), 5);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 5);
    const GEO_POINT src{10, 4}, ref{0, 7};
    vexo::DM_ShiftByRowOffset(&src, &ref, &r);
    EXPECT_EQ(r.x, 13);
    EXPECT_EQ(r.y, 4);
    const int p0[2] = {0, 0}, p1[2] = {3, 4};
    EXPECT_EQ(vexo::DM_PointDistance(p0, p1), 5);
    EXPECT_EQ(vexo::DM_PointDistance(p0, nullptr), 0);
    EXPECT_EQ(vexo::DM_InImage(119, 79), 1);
    EXPECT_EQ(vexo::DM_InImage(120, 0), 0);
    EXPECT_EQ(vexo::DM_InImage(0, -1), 0);
    // Thresholds.
    const int levels[6] = {72, 73, 149, 150, 182, 183}, expect[6] = {10, 11, 36, 21, 11, 10};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(vexo::DM_LevelContrastThreshold(static_cast<uint8_t>(levels[i])), expect[i]);
    const uint8_t run[4] = {50, 95, 70, 60};
    EXPECT_EQ(vexo::DM_RowContrastThreshold(run, 4), 30);
    EXPECT_EQ(vexo::DM_RowContrastThreshold(run, 0), 10);
    EXPECT_EQ(vexo::DM_RowContrastThreshold(run, 1), 10);
    // Line variation: a ramp of 10 per pixel on row 5.
    for (int x = 0; x < 20; ++x) f.at(x, 5) = static_cast<uint8_t>(10 * x);
    vexo::DM_PIXEL_VIEW view{f.px.data(), f.w, f.h, f.w};
    int total = -1;
    EXPECT_EQ(vexo::DM_LineVariation(&view, 0, 5, 9, 5, &total), 9);
    EXPECT_EQ(total, 80);
    EXPECT_EQ(vexo::DM_LineVariation(&view, 0, 5, 1, 5, &total), 0);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(vexo::DM_LineVariation(&view, 115, 5, 125, 5, &total), 5);  // leaves the frame
    EXPECT_EQ(vexo::DM_LineVariation(nullptr, 0, 5, 9, 5, &total), 0);
    // Guarded forms.
    EXPECT_EQ(vexo::DM_CountLineTransitionsChecked(-1, 5, 19, 5, 0), 0);
    EXPECT_EQ(vexo::DM_IsRightAngleChecked(nullptr, &q5, &q5), 0);
    EXPECT_EQ(vexo::DM_CheckCandidatesChecked(nullptr, 3), 0);
    DM_CANDIDATE one{};
    EXPECT_EQ(vexo::DM_CheckCandidatesChecked(&one, 0), 0);
    DM_EDGE_TRACK idle{};
    EXPECT_EQ(vexo::DM_HasRoomForArmChecked(nullptr), 0);
    EXPECT_EQ(vexo::DM_HasRoomForArmChecked(&idle), 0);
    EXPECT_EQ(vexo::DM_CornerCosineChecked(&origin, nullptr, &q5), 0);
    const GEO_POINT up{0, 5};
    EXPECT_EQ(vexo::DM_CornerCosineChecked(&origin, &q5, &up), vexo::DM_CosineTimes1000(&origin, &q5, &up));
    // Clipping, x borders first; a segment parallel to a border has that coordinate clamped.
    struct ClipCase {
        int in[4], out[4];
    };
    const ClipCase clips[] = {
        {{-10, 40, 90, 40}, {0, 40, 90, 40}},
        {{-10, -10, 130, 130}, {0, 0, 79, 79}},
        {{-5, 10, -5, 50}, {0, 10, 0, 50}},
        {{30, -5, 60, -5}, {30, 0, 60, 0}},
        {{10, 10, 20, 20}, {10, 10, 20, 20}},
    };
    for (const ClipCase &c : clips) {
        int v[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
        vexo::DM_ClipSegmentToImage(&v[0], &v[1], &v[2], &v[3]);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(v[i], c.out[i]) << c.in[0] << "," << c.in[1] << " " << c.in[2] << "," << c.in[3];
    }
}

TEST_F(DmSegment, EdgesAcrossAPathAndTimingModules) {
    SegFrame f(200, 160, 220);
    SegVerticalEdge(&f, 50, 0, 159);
    f.Install();
    const GEO_POINT p{40, 20}, q{40, 30};
    int xs[32], ys[32];
    const int n = vexo::DM_FallingEdgesAcrossPath(&p, &q, 20, 0, 20, xs, ys, 32);
    ASSERT_EQ(n, 9);  // the points strictly between p and q
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(xs[i], 50, 1);
        EXPECT_EQ(ys[i], 21 + i);
    }
    EXPECT_EQ(vexo::DM_RisingEdgesAcrossPath(&p, &q, 20, 0, 20, xs, ys, 32), 0);
    EXPECT_EQ(vexo::DM_FallingEdgesAcrossPath(&p, &q, 20, 0, 20, xs, ys, 4), 4);
    EXPECT_EQ(vexo::DM_FallingEdgesAcrossPath(&p, &q, 400, 0, 20, xs, ys, 32), 0);  // 801 samples
    // Timing sides: modules of 5 px along the right side and the top.
    struct TimingCase {
        int modules, mode, count;
    };
    const TimingCase timing[] = {{10, 1, 8}, {10, 2, 8}, {11, 1, 9}, {11, 2, 8}};
    for (const TimingCase &c : timing) {
        SegFrame t(200, 160, 220);
        const int l = 5 * c.modules, x0 = 40, y0 = 40;
        for (int y = y0; y <= y0 + l; ++y)
            for (int x = x0; x <= x0 + l; ++x) {
                const bool right = x >= x0 + l - 4, top = y <= y0 + 4;
                if (right) t.at(x, y) = ((y0 + l - y) / 5) % 2 ? 220 : 30;
                else if (top) t.at(x, y) = ((x - x0) / 5) % 2 ? 220 : 30;
                else t.at(x, y) = 30;
            }
        t.Install();
        const GEO_POINT quad[4] = {{x0, y0}, {x0 + l, y0}, {x0, y0 + l}, {x0 + l, y0 + l}};
        const int required = 1;
        EXPECT_EQ(vexo::DM_CountTimingModules(quad, c.mode, &required), c.count) << c.modules << " modules, mode " << c.mode;
        EXPECT_EQ(vexo::DM_CountTimingModules(quad, c.mode, nullptr), 0);
        EXPECT_EQ(vexo::DM_CountTimingModules(quad, 0, &required), 0);
        const GEO_POINT same[4] = {{x0, y0}, {x0, y0}, {x0, y0}, {x0, y0}};
        EXPECT_EQ(vexo::DM_CountTimingModules(same, c.mode, &required), 0);
    }
}

TEST_F(DmSegment, PatternSearchWithMappedOffsets) {
    // Dark centre of 5 x 5 px at (60, 40); four dark offsets at 1 px and four light ones at
    // 5 px, their partners at 0.9 of the distance.
    const int dirs[9 * 2] = {0, 0, 100, 0, 0, 100, -100, 0, 0, -100, 500, 0, 0, 500, -500, 0, 0, -500};
    GEO_POINT offsets[18] = {};
    const double identity[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(vexo::DM_MapPatternOffsets(dirs, 9, offsets, 60, 40, identity), 1);
    EXPECT_EQ(offsets[1].x, 16);
    EXPECT_EQ(offsets[9 + 1].x, 14);
    EXPECT_EQ(offsets[6].y, 80);
    GEO_POINT none[2] = {};
    EXPECT_EQ(vexo::DM_MapPatternOffsets(dirs, 1, none, 60, 40, identity), 1);
    const double vanishing[8] = {1, 0, 0, 0, 1, 0, -1.0 / 60, 0};
    EXPECT_EQ(vexo::DM_MapPatternOffsets(dirs, 9, offsets + 0, 60, 40, vanishing), 0);
    const double huge[8] = {1e300, 0, 0, 0, 1, 0, 0, 0};
    GEO_POINT scratch[18] = {};
    EXPECT_EQ(vexo::DM_MapPatternOffsets(dirs, 9, scratch, 60, 40, huge), 0);
    SegFrame f(120, 80, 220);
    f.Install();
    GEO_POINT out{};
    EXPECT_EQ(vexo::DM_FindPattern(60, 40, 6, offsets, 9, 5, 1, &out), 0);  // flat
    f.Rect(58, 38, 62, 42);
    ASSERT_EQ(vexo::DM_FindPattern(61, 41, 6, offsets, 9, 5, 1, &out), 1);
    EXPECT_NEAR(out.x, 16 * 60, 16);
    EXPECT_NEAR(out.y, 16 * 40, 16);
    EXPECT_EQ(vexo::DM_FindPattern(60, 40, 6, offsets, 9, 5, 0, &out), 0);  // not a light centre
    // Near the corner every sample goes through the checked form.
    EXPECT_EQ(vexo::DM_FindPattern(0, 0, 40, offsets, 9, 5, 1, &out), 0);
}

TEST_F(DmSegment, NormalEquationsIn32Bits) {
    // Small points: the same sums as the exact form; pixel-sized ones wrap, defined.
    const GEO_POINT src[5] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}, {5, 5}};
    const GEO_POINT dst[5] = {{1, 2}, {12, 2}, {1, 13}, {12, 14}, {6, 7}};
    double m[64], b[8], m32[64], b32[8];
    vexo::DM_PerspectiveNormalEquations(src, dst, 5, m, b);
    ASSERT_EQ(vexo::DM_PerspectiveNormalEquations32(src, dst, 5, m32, b32), 1);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(m32[i], m[i]) << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(b32[i], b[i]) << i;
    EXPECT_EQ(vexo::DM_PerspectiveNormalEquations32(src, dst, 3, m32, b32), 0);
    const GEO_POINT bigSrc[4] = {{1279, 959}, {0, 959}, {1279, 0}, {640, 480}};
    ASSERT_EQ(vexo::DM_PerspectiveNormalEquations32(bigSrc, bigSrc, 4, m32, b32), 1);
    vexo::DM_PerspectiveNormalEquations(bigSrc, bigSrc, 4, m, b);
    EXPECT_EQ(m32[0], m[0]);      // x x fits 32 bits
    EXPECT_NE(m32[6 * 8 + 6], m[6 * 8 + 6]);  // x x S does not
}

TEST_F(DmSegment, BoundsOnSmallFramesAndPointsOutside) {
    // Every routine but the unchecked bilinear sample, on flat and textured frames of 1 x 1
    // to 40 x 40 with points outside; clean under ASan and UBSan is the check.
    const int dirs[6] = {0, 0, 100, 0, 0, 100};
    const double identity[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    for (int size = 1; size <= 40; size += 3) {
        for (int textured = 0; textured < 2; ++textured) {
            SegFrame f(size, size, 220);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    if (textured != 0) f.at(x, y) = static_cast<uint8_t>((x * 37 + y * 91) % 7 < 3 ? 30 : 220);
            f.Install();
            const GEO_POINT far0{-50, -60}, far1{size + 70, size + 40}, mid{size / 2, size / 2};
            int xs[16], ys[16];
            vexo::DM_FallingEdgesAcrossPath(&far0, &far1, 5, 3, 10, xs, ys, 16);
            vexo::DM_RisingEdgesAcrossPath(&far1, &far0, 3, 5, 10, xs, ys, 16);
            int votes[300] = {};
            vexo::DM_HoughVote(-100, -100, -700, 700, votes, xs, ys, 16);
            int a = 0, d = 0;
            vexo::DM_HoughPeak(0, votes, &a, &d);
            const GEO_POINT quad[4] = {far0, {size + 70, -60}, {-50, size + 40}, far1};
            const int required = 1;
            EXPECT_GE(vexo::DM_CountTimingModules(quad, 2, &required), 0);
            EXPECT_EQ(vexo::DM_SampleBilinear16ZeroChecked(f.px.data(), -16, 5), 0);
            vexo::DM_SampleBilinear16ZeroChecked(f.px.data(), 16 * size + 100, 16 * size);
            vexo::DM_PIXEL_VIEW view{f.px.data(), f.w, f.h, f.w};
            int total = 0;
            vexo::DM_LineVariation(&view, -5, -5, size + 5, size + 5, &total);
            vexo::DM_LineVariation(&view, mid.x, mid.y, size + 50, -30, &total);
            vexo::DM_CountLineTransitionsChecked(mid.x, mid.y, -100, size + 100, 0);
            vexo::DM_CountLineTransitions(size, 0, 0, 0, 0);
            int c[4] = {far0.x, far0.y, far1.x, far1.y};
            vexo::DM_ClipSegmentToImage(&c[0], &c[1], &c[2], &c[3]);
            c[0] = -50;  // a segment across the frame ends inside it
            c[1] = c[3] = mid.y;
            c[2] = size + 50;
            vexo::DM_ClipSegmentToImage(&c[0], &c[1], &c[2], &c[3]);
            EXPECT_EQ(vexo::DM_InImage(c[0], c[1]), 1);
            EXPECT_EQ(vexo::DM_InImage(c[2], c[3]), 1);
            GEO_POINT offsets[6] = {};
            vexo::DM_MapPatternOffsets(dirs, 3, offsets, mid.x, mid.y, identity);
            GEO_POINT out{};
            vexo::DM_FindPattern(mid.x, mid.y, 30, offsets, 3, 2, 1, &out);
            vexo::DM_FindPattern(0, size - 1, 5, offsets, 3, 2, 0, &out);
            GEO_POINT k{};
            vexo::DM_IntersectTrackLines(&far0, &far1, &mid, &quad[1], &k);
            DM_CANDIDATE cands[3] = {};
            cands[0] = DM_CANDIDATE{1, 1, far0, mid, far1, {}, 0, 0, 0};
            cands[1] = DM_CANDIDATE{1, 1, {0, 0}, {0, size - 1}, {size - 1, size - 1}, {}, 0, 0, 0};
            vexo::DM_CheckCandidatesChecked(cands, 3);
            DM_CANDIDATE found[4] = {};
            const int n = vexo::DM_SegmentFinder(found, 4, 1, 1);
            EXPECT_GE(n, 0);
            EXPECT_LE(n, 4);
        }
    }
}

TEST_F(DmSegment, LongTracksAndArmsInAFullFrame) {
    // 1280 x 960 with a dark rectangle of 1,100 x 800 px: tracks and arms of hundreds of
    // pixels, the corners' products beyond 32 bits; both polarities.
    for (int invert = 0; invert < 2; ++invert) {
        vexo::Test_ResetDmStatics();
        SegFrame f(1280, 960, invert != 0 ? 30 : 220);
        for (int y = 80; y < 880; ++y)
            for (int x = 90; x < 1190; ++x) f.at(x, y) = invert != 0 ? 220 : 30;
        f.Install();
        DM_CANDIDATE out[10] = {};
        const int n = vexo::DM_SegmentFinder(out, 10, 1, 1);
        ASSERT_GT(n, 0) << invert;
        bool corner = false;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(out[i].darkOnLight, invert != 0 ? 0 : 1);
            EXPECT_EQ(vexo::DM_InImage(out[i].corner.x, out[i].corner.y), 1);
            corner = corner || (std::abs(out[i].corner.x - 89) <= 2 && std::abs(out[i].corner.y - 879) <= 2);
        }
        EXPECT_TRUE(corner) << invert;  // the L of the left and bottom sides
    }
}

TEST_F(DmSegment, ListsAtTheirCapacities) {
    // Stripes of 6 px: more than 50 edges of each polarity on a band row, tracks up to the
    // list's 200, and a checkerboard under them whose seeds fill the column scans.
    SegFrame f(1280, 960, 220);
    for (int y = 0; y < 960; ++y)
        for (int x = 0; x < 1280; ++x) {
            const bool stripe = (x / 6) % 2 == 0;
            const bool checker = ((x / 3) + (y / 3)) % 2 == 0;
            f.at(x, y) = (y < 600 ? stripe : checker) ? 30 : 220;
        }
    f.Install();
    int rp[50], fp[50], rn = 0, fn = 0;
    uint8_t rb[50], fb[50], rw[50], fw[50];
    vexo::DM_ScanRowEdges(&f.at(0, 32), 1280, rp, fp, 50, rb, fb, rw, fw, &rn, &fn, 255, -1);
    EXPECT_EQ(rn, 50);
    EXPECT_EQ(fn, 50);
    static DM_EDGE_TRACK tracks[vexo::kDmSegmentTrackCapacity];
    int count = 0;
    for (int y = 32; y < 600 && count < vexo::kDmSegmentTrackCapacity; y += 32) {
        vexo::DM_ScanRowEdges(&f.at(0, y), 1280, rp, fp, 50, rb, fb, rw, fw, &rn, &fn, 255, -1);
        count = vexo::DM_StartTracks(rp, rb, rw, rn, 1, y, tracks, count, vexo::kDmSegmentTrackCapacity);
        count = vexo::DM_StartTracks(fp, fb, fw, fn, 0, y, tracks, count, vexo::kDmSegmentTrackCapacity);
        for (int i = 0; i < count; ++i) tracks[i].bottomY = -1;  // no continuations: every edge starts one
    }
    EXPECT_EQ(count, vexo::kDmSegmentTrackCapacity);
    for (const int wanted : {1, 3, 20}) {
        DM_CANDIDATE out[20] = {};
        EXPECT_EQ(vexo::DM_SegmentFinder(out, wanted, 1, 1), 0);  // stripes and checks hold no L
    }
}

}  // namespace
