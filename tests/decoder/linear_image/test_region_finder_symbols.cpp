// The region finder on libzint Code 128 symbols: the result hand-over, the column pass's
// guard, companion quadrilaterals and the arena use of a whole search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/arena.h"
#include "lineimg_test_util.h"
#include "linear_image/lineimg_finder.h"
#include "linear_image/lineimg_segments.h"
#include "linear_image/lineimg_module.h"
#include "core/state.h"
#include "support/testkit.h"
#include "toolkit/quad.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

class RegionFinder : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void Use(testkit::Frame f) {
        frame_ = std::move(f);
        InstallImage(frame_.pixels, frame_.width, frame_.height);
    }
    i32 ArenaUsed() {
        ARENA_STATS s{};
        Mem_GetStats(&s);
        return s.used;
    }
    testkit::Frame frame_;
};

testkit::Frame Code128(const std::string &data, double angle, testkit::Point centre, float height) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = data;
    in.height = height;
    testkit::RenderOptions o;
    o.moduleSize = 3;
    o.angleDeg = angle;
    o.center = centre;
    o.blurSigma = 0.6;
    return testkit::Render(testkit::Encode(in), o).frame;
}

TEST_F(RegionFinder, GetQuadsHandsOverWithoutChangingTheState) {
    g_finder.count = 20;
    for (int k = 0; k < 20; ++k) {
        g_finder.quads[k] = Box(k, k, k + 50, k + 30);
        g_finder.kinds[k] = static_cast<u8>(1 + k % 2);
    }
    for (int round = 0; round < 2; ++round) {
        REGION_QUAD q[5];
        u8 kinds[5];
        ASSERT_EQ(LineImg_GetQuads(q, kinds, 5), 5);
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(q[k].c[0].x, k);
            EXPECT_EQ(kinds[k], 1 + k % 2);
        }
    }
    EXPECT_EQ(g_finder.count, 20);
}

TEST_F(RegionFinder, ColumnPassDoesNotGroupAfterTwentyQuads) {
    Use(Code128("COLUMNS", 90, {376, 240}, 20));
    const REGION_QUAD region = Box(20, 20, 731, 459);
    REGION_QUAD out[20];
    g_finder.count = 0;
    EXPECT_GE(LineImg_ColumnPassAlone(&region, out, 20), 1);
    g_finder.count = 20;
    EXPECT_EQ(LineImg_ColumnPassAlone(&region, out, 20), 0);
}

// A long, low symbol (width to height about 11 with its margins) in the central box gets the
// quadrilateral of its size above it; near the border it does not.
TEST_F(RegionFinder, CompanionAboveALongSymbolInTheMiddle) {
    const REGION_QUAD region = Box(20, 20, 731, 459);
    struct Case {
        testkit::Point centre;
        int expected;
    };
    const Case cases[] = {{{376, 240}, 2}, {{376, 52}, 1}};
    for (const Case &c : cases) {
        Use(Code128("ABCDEFGHIJ", 0, c.centre, 15));
        const i32 before = ArenaUsed();
        ASSERT_EQ(LineImg_FindQuads(&region), c.expected) << c.centre.y;
        EXPECT_EQ(ArenaUsed(), before);
        REGION_QUAD q[20];
        u8 kinds[20];
        ASSERT_EQ(LineImg_GetQuads(q, kinds, 20), c.expected);
        EXPECT_EQ(kinds[0], kQuadUpright);
        const GEO_POINT mid{static_cast<i32>(c.centre.x), static_cast<i32>(c.centre.y)};
        EXPECT_TRUE(Geo_PointInQuad(&mid, &q[0]));
        if (c.expected == 2) {
            EXPECT_EQ(kinds[1], kQuadUpright);
            EXPECT_EQ(q[1].c[2].x, q[0].c[0].x);
            EXPECT_EQ(q[1].c[3].y, q[0].c[1].y);
            EXPECT_LT(q[1].c[0].y, q[0].c[0].y);
        }
    }
}

}  // namespace

namespace {

using namespace vexo;
using namespace lineimgtest;

class Widening : public RegionFinder {};

bool SameQuad(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k)
        if (a.c[k].x != b.c[k].x || a.c[k].y != b.c[k].y) return false;
    return true;
}

TEST_F(Widening, SidesStayWithoutEdgesAndTheListStopsAt18) {
    Use(testkit::Frame(752, 480, 200));
    REGION_QUAD quads[20];
    u8 kinds[20];
    for (int k = 0; k < 19; ++k) {
        quads[k] = Box(100 + k * 10, 100, 300 + k * 10, 160);
        kinds[k] = static_cast<u8>(1 + k % 2);
    }
    const REGION_QUAD first = quads[0];
    LineImg_ExtendQuadSides(quads, kinds, 19);
    EXPECT_TRUE(SameQuad(quads[0], first));
    EXPECT_EQ(LineImg_SplitQuads(quads, kinds, 19), 18);
    EXPECT_EQ(kinds[17], 2);
}

// A quadrilateral round the middle of a symbol grows to take in its outer bars; two
// symbols side by side with a wide quiet zone between them come out as two.
TEST_F(Widening, GrowsOverTheBarsAndSplitsTwoSymbols) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "TWINS";
    in.height = 20;
    const testkit::Symbol sym = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 2;
    o.center = testkit::Point{200, 240};
    testkit::Frame f = testkit::Render(sym, o).frame;
    o.center = testkit::Point{550, 240};
    const testkit::Frame right = testkit::Render(sym, o).frame;
    for (int y = 0; y < 480; ++y)
        for (int x = 376; x < 752; ++x) f.At(x, y) = right.At(x, y);
    Use(f);
    const int half = static_cast<int>(sym.width);  // the symbol is 2 * width px wide
    REGION_QUAD q = Box(200 - half / 2, 225, 200 + half / 2, 255);
    LineImg_ExtendLeftSide(&q);
    LineImg_ExtendRightSide(&q);
    EXPECT_LE(q.c[0].x, 200 - half + 2);
    EXPECT_GE(q.c[1].x, 200 + half - 2);

    // Both symbols in one quadrilateral: split in the gap between them.
    const REGION_QUAD both = Box(200 - half - 10, 225, 550 + half + 10, 255);
    REGION_QUAD parts[2];
    ASSERT_EQ(LineImg_SplitQuad(&both, parts), 2);
    EXPECT_GT(parts[0].c[1].x, 200 + half);
    EXPECT_LT(parts[0].c[1].x, 550 - half);
    // One symbol alone is never split (its gaps are narrow).
    const REGION_QUAD one = Box(200 - half - 10, 225, 200 + half + 10, 255);
    EXPECT_EQ(LineImg_SplitQuad(&one, parts), 1);
}

}  // namespace

namespace {

using namespace vexo;
using namespace lineimgtest;

class WideningRefit : public RegionFinder {};

// Two Code 128 symbols side by side, the left one 40 px tall and the right one 120 px, centred
// on row 240; answers half the symbols' width in pixels.
int RefitTwinFrame(testkit::Frame *f) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_CODE128;
    in.data = "TWINS";
    in.height = 20;
    const testkit::Symbol low = testkit::Encode(in);
    in.height = 60;
    const testkit::Symbol tall = testkit::Encode(in);
    testkit::RenderOptions o;
    o.moduleSize = 2;
    o.center = testkit::Point{200, 240};
    *f = testkit::Render(low, o).frame;
    o.center = testkit::Point{550, 240};
    const testkit::Frame right = testkit::Render(tall, o).frame;
    for (int y = 0; y < 480; ++y)
        for (int x = 376; x < 752; ++x) f->At(x, y) = right.At(x, y);
    return static_cast<int>(low.width);
}

// A trapezoid over both symbols (ends 50 and 130 px) is cut in the gap, and each half is
// rebuilt round its own symbol's bars: its top and bottom run along the bar ends instead of
// the trapezoid's slanted sides, 10 px past the outer bars.
TEST_F(WideningRefit, HalvesOfASplitTrapezoidFollowTheirBars) {
    testkit::Frame f;
    const int half = RefitTwinFrame(&f);
    Use(std::move(f));
    const int left = 200 - half - 10, right = 550 + half + 10;
    REGION_QUAD quads[20] = {Quad(left, 215, right, 175, left, 265, right, 305)};
    u8 kinds[20] = {kQuadUpright};
    const i32 before = ArenaUsed();
    ASSERT_EQ(LineImg_SplitQuads(quads, kinds, 1), 2);
    EXPECT_EQ(ArenaUsed(), before);
    struct Expected {
        int top, bottom, left, right;
    };
    const Expected want[2] = {{220, 260, 200 - half - 10, 200 + half + 10}, {180, 300, 550 - half - 10, 550 + half + 10}};
    for (int k = 0; k < 2; ++k) {
        const REGION_QUAD &q = quads[k];
        EXPECT_EQ(kinds[k], kQuadUpright);
        for (int c : {0, 1}) EXPECT_NEAR(q.c[c].y, want[k].top, 4) << k << " corner " << c;
        for (int c : {2, 3}) EXPECT_NEAR(q.c[c].y, want[k].bottom, 4) << k << " corner " << c;
        for (int c : {0, 2}) EXPECT_NEAR(q.c[c].x, want[k].left, 4) << k << " corner " << c;
        for (int c : {1, 3}) EXPECT_NEAR(q.c[c].x, want[k].right, 4) << k << " corner " << c;
    }
    // Ends of nearly equal length: the halves stay as cut, the top of the cut on the top side.
    REGION_QUAD even[20] = {Quad(left, 175, right, 175, left, 305, right, 265)};
    ASSERT_EQ(LineImg_SplitQuads(even, kinds, 1), 2);
    EXPECT_EQ(even[0].c[0].y, 175);
    EXPECT_EQ(even[0].c[1].y, 175);
    EXPECT_EQ(even[1].c[0].y, 175);
}

// The first segment of the store within 0.7 to 1.7 times the side and parallel to it (|cos|
// over 0.905, either way round) is taken.
TEST_F(WideningRefit, ParallelSegmentByLengthAndAngle) {
    const REGION_QUAD q = Box(100, 100, 300, 200);  // sides 100 long, upright
    struct SegCase {
        GEO_POINT e0, e1;
        int fits;  // for side length 100
    };
    const SegCase segs[] = {
        {{120, 130}, {120, 198}, 0},  // 68 long: under 70
        {{130, 100}, {130, 271}, 0},  // 171: over 170
        {{140, 100}, {190, 180}, 0},  // cos 0.85
        {{150, 200}, {150, 130}, 1},  // 70, pointing up
        {{160, 100}, {160, 170}, 1},
    };
    SEGMENT_STORE store{};
    for (const SegCase &c : segs) LineImg_SetSegment(&store.seg[store.count++], c.e0, c.e1, 15, 1);
    for (i32 side : {0, 1}) {
        GEO_POINT a{}, b{};
        ASSERT_EQ(LineImg_FindParallelSegment(&q, &store, side, &a, &b, 100), 1);
        EXPECT_EQ(a.x, 150);
        EXPECT_EQ(b.y, 130);
    }
    for (int k = 0; k < 3; ++k) {
        SEGMENT_STORE one{};
        LineImg_SetSegment(&one.seg[one.count++], segs[k].e0, segs[k].e1, 15, 1);
        GEO_POINT a{}, b{};
        EXPECT_EQ(LineImg_FindParallelSegment(&q, &one, 0, &a, &b, 100), segs[k].fits) << k;
    }
    // 170 long: the last length that fits a side of 100.
    SEGMENT_STORE longest{};
    LineImg_SetSegment(&longest.seg[longest.count++], {130, 100}, {130, 270}, 15, 1);
    GEO_POINT a{}, b{};
    EXPECT_EQ(LineImg_FindParallelSegment(&q, &longest, 1, &a, &b, 100), 1);
    EXPECT_EQ(LineImg_FindParallelSegment(&q, &longest, 1, &a, &b, 0), 0);
}

}  // namespace

namespace {

using namespace vexo;
using namespace lineimgtest;

class WideningLimits : public RegionFinder {
protected:
    // Fills the arena so that exactly `blocks` requests of `bytes` still fit; the filler.
    u8 *LeaveRoomFor(i32 blocks, i32 bytes) {
        ARENA_STATS s{};
        Mem_GetStats(&s);
        const i32 keep = blocks * ((bytes & ~3) + 4) + 100;
        u8 *filler = Mem_Alloc(((s.capacity - s.used - keep) & ~3) - 4);
        EXPECT_NE(filler, nullptr);
        return filler;
    }
};

// Paper with 2 px bars every 4 px: `first` bars from x = 120, then `second` bars from `gap`
// px after the last of them; bars from row 150 to 330.
testkit::Frame WideningBars(int first, int second, int gap) {
    testkit::Frame f(752, 480, 220);
    const auto bar = [&f](int x) {
        for (int y = 150; y < 330; ++y)
            for (int dx = 0; dx < 2; ++dx) f.At(x + dx, y) = 30;
    };
    int x = 120;
    for (int k = 0; k < first; ++k, x += 4) bar(x);
    x += gap - 4;
    for (int k = 0; k < second; ++k, x += 4) bar(x);
    return f;
}

// The split needs 20 falling and 20 rising edges on the middle line and a gap more than 5
// times both neighbours: 20 px against 4 px gaps is exactly 5 and does not split.
TEST_F(WideningLimits, SplitNeedsTwentyEdgesAndAGapOverFiveTimes) {
    struct SplitCase {
        int first, second, gap, parts;
    };
    const SplitCase cases[] = {{12, 12, 20, 1}, {12, 12, 21, 2}, {9, 10, 40, 1}, {10, 10, 40, 2}, {10, 9, 40, 1}};
    for (const SplitCase &c : cases) {
        Use(WideningBars(c.first, c.second, c.gap));
        const REGION_QUAD q = Box(100, 200, 100 + 40 + 4 * (c.first + c.second) + c.gap, 280);
        REGION_QUAD parts[2];
        EXPECT_EQ(LineImg_SplitQuad(&q, parts), c.parts) << c.first << "+" << c.second << " gap " << c.gap;
    }
}

// A side stops where no falling edge lies just beyond it; a quadrilateral without width
// (its first side on its second) does not move although bars surround it.
TEST_F(WideningLimits, SideOnTheOtherSideDoesNotMove) {
    Use(WideningBars(20, 20, 4));
    const REGION_QUAD flat = Box(200, 200, 200, 260);
    REGION_QUAD q = flat;
    LineImg_ExtendLeftSide(&q);
    LineImg_ExtendRightSide(&q);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(q.c[k].x, 200) << k;
    q = Box(200, 200, 202, 260);
    LineImg_ExtendLeftSide(&q);
    LineImg_ExtendRightSide(&q);
    EXPECT_LE(q.c[0].x, 130);
    EXPECT_GE(q.c[1].x, 270);
}

// The row pass and the refit each take four or five blocks from the arena: when one is
// refused, nothing is found or refitted and the arena is as it was.
TEST_F(WideningLimits, ArenaRefusalLeavesNothingTaken) {
    testkit::Frame f;
    const int half = RefitTwinFrame(&f);
    Use(std::move(f));
    const REGION_QUAD region = Box(20, 20, 731, 459);
    REGION_QUAD out[20];
    u8 *filler = LeaveRoomFor(4, 1024);
    i32 used = ArenaUsed();
    EXPECT_EQ(LineImg_RowPassAlone(&region, out, 20), 0);
    EXPECT_EQ(ArenaUsed(), used);
    Mem_Free(filler);
    EXPECT_GE(LineImg_RowPassAlone(&region, out, 20), 1);

    const int left = 200 - half - 10, right = 550 + half + 10;
    REGION_QUAD quads[20] = {Quad(left, 215, right, 175, left, 265, right, 305)};
    u8 kinds[20] = {kQuadUpright};
    filler = LeaveRoomFor(3, 2048);
    used = ArenaUsed();
    ASSERT_EQ(LineImg_SplitQuads(quads, kinds, 1), 2);
    EXPECT_EQ(ArenaUsed(), used);
    EXPECT_EQ(quads[0].c[0].y, 215);  // as cut: the trapezoid's own corners
    EXPECT_EQ(quads[1].c[3].y, 305);
    Mem_Free(filler);
}

}  // namespace

namespace {

using namespace vexo;
using namespace lineimgtest;

class WideningCover : public RegionFinder {};

struct CoverSymbol {
    const char *what;
    int symbology;
    const char *data;
};

// After widening and splitting, every bar's midpoint of Code 128, EAN-13 and Interleaved 2 of
// 5 at 3 px a module (blur 0.7, noise 2), turned 0 to 180 degrees in 15-degree steps, lies in
// one candidate of the right kind (1 within 45 degrees of upright bars, 2 within 45 degrees
// of flat ones, either at 45 and 135). Seed = 100 + 13 x symbol + angle / 15; none misses.
TEST_F(WideningCover, EveryBarMidpointInsideItsCandidate) {
    const CoverSymbol symbols[] = {{"Code 128", BARCODE_CODE128, "Segments 128"},
                                   {"EAN-13", BARCODE_EANX, "590123412345"},
                                   {"Interleaved 2 of 5", BARCODE_C25INTER, "12345678901234"}};
    for (int s = 0; s < 3; ++s) {
        testkit::SymbolInput in;
        in.symbology = symbols[s].symbology;
        in.data = symbols[s].data;
        const testkit::Symbol sym = testkit::Encode(in);
        ASSERT_TRUE(sym.ok) << symbols[s].what;
        for (int step = 0; step <= 12; ++step) {
            const uint64_t seed = 100 + 13 * s + step;
            const double angle = 15.0 * step;
            const testkit::Rendered img = testkit::Render(
                sym, {.moduleSize = 3, .angleDeg = angle, .blurSigma = 0.7, .noiseSigma = 2, .supersample = 1, .seed = seed});
            testkit::Frame f = img.frame;
            Use(std::move(f));
            const REGION_QUAD whole = Box(4, 4, 747, 475);
            const i32 n = LineImg_FindQuads(&whole);
            REGION_QUAD q[20];
            u8 kinds[20];
            LineImg_GetQuads(q, kinds, 20);
            // The bars' midpoints on the symbol's middle line.
            std::vector<GEO_POINT> mids;
            for (int col = 0; col < sym.cols;) {
                if (!sym.Dark(0, col)) {
                    ++col;
                    continue;
                }
                int end = col;
                while (end < sym.cols && sym.Dark(0, end)) ++end;
                const testkit::Point p = img.transform.ToImage({(col + end) / 2.0, sym.height / 2});
                mids.push_back({static_cast<i32>(std::lround(p.x)), static_cast<i32>(std::lround(p.y))});
                col = end;
            }
            const bool upright = step <= 3 || step >= 9, flat = step >= 3 && step <= 9;
            bool covered = false;
            for (i32 k = 0; k < n && !covered; ++k) {
                if (!((kinds[k] == kQuadUpright && upright) || (kinds[k] == kQuadFlat && flat))) continue;
                covered = true;
                for (const GEO_POINT &m : mids) covered = covered && Geo_PointInQuad(&m, &q[k]) != 0;
            }
            EXPECT_TRUE(covered) << symbols[s].what << " at " << angle << " degrees, seed " << seed << ": " << n
                                 << " candidates";
        }
    }
}

}  // namespace

namespace {

using namespace vexo;

// A PDF417 symbol found but not read (its middle data columns wiped) below a Code 128 symbol
// outside the central third: through the exported interface the failed symbol's report
// cuts the core's regions, no region of the linear module's list is left with its centre on
// the wiped symbol, and the Code 128 symbol reads.
TEST(LineImgRegionListFrame, UnreadPdf417CutsTheRegionsAndCode128Reads) {
    testkit::SymbolInput pdf;
    pdf.symbology = BARCODE_PDF417;
    pdf.data = "PDF417 FOUND BUT NOT READ 0123456789";
    pdf.option1 = 0;
    pdf.option2 = 3;
    const testkit::Symbol ps = testkit::Encode(pdf);
    ASSERT_TRUE(ps.ok);
    testkit::RenderOptions po;
    po.moduleSize = 2;
    po.center = testkit::Point{420, 330};
    testkit::Rendered pr = testkit::Render(ps, po);
    testkit::Frame f = pr.frame;
    // Wipe the middle of the data columns (between the row indicators) over half the rows.
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            testkit::Point s{};
            if (!pr.transform.ToSymbol({x + 0.5, y + 0.5}, &s)) continue;
            if (s.x > 36 && s.x < ps.width - 37 && s.y > 0.25 * ps.height && s.y < 0.75 * ps.height) f.At(x, y) = 220;
        }
    testkit::SymbolInput code;
    code.symbology = BARCODE_CODE128;
    code.data = "CUT-128";
    code.height = 15;
    testkit::RenderOptions co;
    co.moduleSize = 2.5;
    co.center = testkit::Point{150, 70};
    const testkit::Frame cf = testkit::Render(testkit::Encode(code), co).frame;
    for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = std::min(f.pixels[i], cf.pixels[i]);

    // Other tests of the binary reset the decoder's statics: Init again.
    const testkit::DecodeResult r = testkit::DecodeFrame(f, {.init = true});
    EXPECT_TRUE(testkit::ReadAs(r, "CUT-128", 0x2, "]C0"));
    EXPECT_EQ(g_state.decodeRecordWord, 1u);
    const REGION_QUAD pdfQuad = g_state.decodeRecordQuad;
    const GEO_POINT pdfCentre{420, 330};
    EXPECT_TRUE(Geo_PointInQuad(&pdfCentre, &pdfQuad));
    for (i32 k = 0; k < g_lineImgRegions.count; ++k) {
        GEO_POINT c{};
        Geo_QuadCentre(&g_lineImgRegions.quads[k], &c);
        EXPECT_FALSE(Geo_PointInQuad(&c, &pdfQuad)) << "region " << k << " centre " << c.x << "," << c.y;
    }
}

}  // namespace
