// The profile path's steps as tables: sharpening and edge lists, the merged list and the
// two resampling paths, the alignment and the line model, and the region marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "linear/line_edge_input.h"
#include "linear_image/lineimg_profile.h"
#include "lineimg_test_util.h"
#include "scripted_line.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

// A profile of n samples: hi before index step, lo from it.
std::vector<u16> ProfStep(i32 n, i32 step, u16 hi, u16 lo) {
    std::vector<u16> p(static_cast<size_t>(n), hi);
    for (i32 i = step; i < n; ++i) p[static_cast<size_t>(i)] = lo;
    return p;
}

TEST(LineImgProfileSharpen, DeblurRowsAndTable) {
    EXPECT_EQ(LineImg_DeblurRow(4.0f), 19);
    EXPECT_EQ(LineImg_DeblurRow(6.0f), 14);
    EXPECT_EQ(LineImg_DeblurRow(14.5f), 0);
    EXPECT_EQ(LineImg_DeblurRow(std::numeric_limits<f32>::quiet_NaN()), 0);
    for (i32 r = 0; r < 20; ++r) {
        i64 sum = LineImg_DeblurWeight(r, 0);
        for (i32 k = 1; k <= 10; ++k) sum += 2 * static_cast<i64>(LineImg_DeblurWeight(r, k));
        EXPECT_EQ(sum, 0) << "row " << r;
    }
}

TEST(LineImgProfileSharpen, StepEdgesAndHeights) {
    std::vector<u16> p = ProfStep(40, 10, 800, 200);
    u16 out[8] = {};
    ASSERT_EQ(LineImg_ProfileEdgesByShape(p.data(), 40, out, 8), 1);
    EXPECT_EQ(out[0], 76);
    ASSERT_EQ(LineImg_ProfileEdgesByLevel(p.data(), 40, out, 8), 1);
    EXPECT_EQ(out[0], 152);
    for (const auto &[height, edges] : {std::pair{32, 0}, std::pair{33, 1}}) {
        p = ProfStep(40, 10, static_cast<u16>(500 + height), 500);
        EXPECT_EQ(LineImg_ProfileEdgesByShape(p.data(), 40, out, 8), edges) << height;
    }
    // A low first run, then a shorter one: no edge was written, so none grows.
    const u16 low[] = {500, 490, 480, 470, 475, 480, 300, 300, 300};
    ASSERT_EQ(LineImg_ProfileEdgesByShape(low, 9, out, 8), 1);
    EXPECT_EQ(out[0], 4 * (2 * 6 * 180 - 180) / 180 - 2);  // its own run is longer: shrinks by 2
    // Capacity bounds both lists.
    std::vector<u16> bars(400);
    for (size_t i = 0; i < bars.size(); ++i) bars[i] = (i / 4) % 2 == 0 ? 900 : 100;
    EXPECT_EQ(LineImg_ProfileEdgesByShape(bars.data(), 400, out, 8), 8);
    EXPECT_EQ(LineImg_ProfileEdgesByLevel(bars.data(), 400, out, 8), 8);
}

TEST(LineImgProfileSharpen, SpanAndDeblurring) {
    // Paper, one bar, paper: the span runs from the descent's top to the ascent's top.
    for (const auto &[width, span] : {std::pair{31, 0}, std::pair{32, 32}}) {
        std::vector<u16> p(120, 800);
        for (i32 i = 41; i < 40 + width; ++i) p[static_cast<size_t>(i)] = i == 55 ? 800 : 200;
        const u16 *s = p.data();
        i32 mx = 0, mn = 0;
        EXPECT_EQ(LineImg_ProfileSignalSpan(&s, 120, &mx, &mn), span) << width;
    }
    std::vector<u16> second(200);
    std::vector<u16> narrow(120, 800);
    for (i32 i = 41; i < 71; ++i) narrow[static_cast<size_t>(i)] = i == 55 ? 800 : 200;
    EXPECT_EQ(LineImg_SharpenProfile(narrow.data(), 120, second.data()), 0);
    // A blurred bar pattern: extremes stay, the middle values move apart.
    std::vector<u16> p(200);
    for (i32 i = 0; i < 200; ++i)
        p[static_cast<size_t>(i)] = static_cast<u16>(500 + 300 * std::sin(static_cast<f64>(i) * 0.4));
    p[50] = 800;
    p[60] = 200;
    const std::vector<u16> before = p;
    EXPECT_EQ(LineImg_DeblurProfile(p.data(), 200, 800, 200, 10, second.data()), 1);
    EXPECT_EQ(p[50], 800);
    EXPECT_EQ(p[60], 200);
    for (i32 i = 0; i < 10; ++i) EXPECT_EQ(p[static_cast<size_t>(i)], before[static_cast<size_t>(i)]);
    EXPECT_NE(p, before);
    // max <= min: unchanged, still 1.
    std::vector<u16> flat = before;
    EXPECT_EQ(LineImg_DeblurProfile(flat.data(), 200, 500, 500, 5, second.data()), 1);
    EXPECT_EQ(flat, before);
}

// The deblurring passes as the rules state them, written apart from the module: all new
// values from the previous pass's, a stop below a change sum of 20 or after maxPasses, and
// the row growing after a pass that changed less than the one before (when grow is set).
struct ProfDeblurRef {
    std::vector<u16> out;
    i32 passes = 0;
    i32 lastRow = 0;
};
ProfDeblurRef ProfDeblurReference(std::vector<u16> p, i32 mx, i32 mn, i32 row, bool grow, i32 maxPasses) {
    const i32 n = static_cast<i32>(p.size());
    const i64 q = (i64{1} << 30) / (static_cast<i64>(mx - mn) * (mx - mn));
    ProfDeblurRef r;
    i64 previous = 0;
    for (i32 pass = 1; pass <= maxPasses; ++pass) {
        std::vector<u16> next = p;
        i64 change = 0;
        for (i32 i = 10; i <= n - 11; ++i) {
            const i64 a = p[static_cast<size_t>(i)];
            if (a == mx || a == mn) continue;
            i64 linear = LineImg_DeblurWeight(row, 0) * a;
            for (i32 k = 1; k <= 10; ++k)
                linear += LineImg_DeblurWeight(row, k) * (p[static_cast<size_t>(i - k)] + p[static_cast<size_t>(i + k)]);
            const i64 cubic = ((mx - a) * (a - mn) * (mx + mn - 2 * a) * q) >> 13;
            i64 k = (linear + cubic) >> 18;
            if (k < 0) ++k;
            i64 v = a - k;
            if (v > mx) {
                change += mx - a;
                v = mx;
            } else if (v < mn) {
                change += a - mn;
                v = mn;
            } else {
                change += std::abs(k);
            }
            next[static_cast<size_t>(i)] = static_cast<u16>(v);
        }
        p = next;
        r.passes = pass;
        if (change < 20) break;
        if (grow && pass > 1 && change < previous && row < 19) ++row;
        previous = change;
    }
    r.out = p;
    r.lastRow = row;
    return r;
}

// The module's passes agree with the rules on profiles that stop after one pass and after
// several with the row grown (blurred bars: 11 passes, row 12 to 19; noise: 17, row 0 to
// 14); without the growth the noisy result differs. No profile tried reaches the 30-pass
// cap (random ones of up to 4,000 samples stop within 28 passes).
TEST(LineImgProfileSharpen, DeblurPassesStopAndGrowAsTheRulesSay) {
    std::vector<u16> second(400);
    struct DeblurCase {
        const char *what;
        std::vector<u16> profile;
        i32 row;
    };
    std::vector<DeblurCase> cases;
    // Nearly sharp bars: the first pass already changes less than 20.
    {
        std::vector<u16> p(200);
        for (i32 i = 0; i < 200; ++i) p[static_cast<size_t>(i)] = (i / 12) % 2 == 0 ? 800 : 200;
        p[60] = 790;
        cases.push_back({"one pass", p, 0});
    }
    // Blurred bars, 4-6 samples an element.
    {
        std::vector<u16> p(300);
        for (i32 i = 0; i < 300; ++i)
            p[static_cast<size_t>(i)] = static_cast<u16>(500 + 290 * std::sin(static_cast<f64>(i) * 0.55));
        p[0] = 800;
        p[299] = 200;
        cases.push_back({"blurred", p, 12});
    }
    // A rough, noisy profile that keeps changing.
    {
        std::vector<u16> p(300);
        u32 seed = 7;
        for (i32 i = 0; i < 300; ++i) {
            seed = seed * 1103515245u + 12345u;
            p[static_cast<size_t>(i)] = static_cast<u16>(250 + (seed >> 16) % 500);
        }
        p[5] = 800;
        p[6] = 200;
        cases.push_back({"noisy", p, 0});
    }
    bool sawOnePass = false, growthMattered = false;
    for (const DeblurCase &c : cases) {
        std::vector<u16> got = c.profile;
        ASSERT_EQ(LineImg_DeblurProfile(got.data(), static_cast<i32>(got.size()), 800, 200, c.row, second.data()), 1);
        const ProfDeblurRef ref = ProfDeblurReference(c.profile, 800, 200, c.row, true, 30);
        EXPECT_EQ(got, ref.out) << c.what;
        sawOnePass = sawOnePass || ref.passes == 1;
        if (ref.lastRow != c.row) {
            growthMattered = growthMattered || got != ProfDeblurReference(c.profile, 800, 200, c.row, false, 30).out;
        }
    }
    EXPECT_TRUE(sawOnePass);
    EXPECT_TRUE(growthMattered);
}

// After sharpening, each quiet zone is flat at the maximum from the first sample there that
// equals it to the profile's end (a dip farther out goes too); a side without such a sample
// stays as it was.
TEST(LineImgProfileSharpen, QuietZonesFlattenFromTheFirstMaximum) {
    std::vector<u16> p(400, 760);
    // Bars of 16 samples from 100 to 292, edges softened over 4 samples.
    for (i32 i = 100; i < 292; ++i) p[static_cast<size_t>(i)] = ((i - 100) / 16) % 2 == 0 ? 200 : 760;
    for (i32 e = 100; e <= 292; e += 16) {
        for (i32 d = -2; d < 2; ++d) {
            const size_t i = static_cast<size_t>(e + d);
            p[i] = static_cast<u16>((p[i - 3] + p[i + 3]) / 2);
        }
    }
    // Dips too shallow to be taken for bars (a rise below a quarter of the contrast).
    p[330] = 700;
    p[360] = 720;
    p[40] = 690;
    std::vector<u16> second(400);
    ASSERT_EQ(LineImg_SharpenProfile(p.data(), 400, second.data()), 1);
    for (i32 i = 300; i < 400; ++i) EXPECT_EQ(p[static_cast<size_t>(i)], 760) << i;
    for (i32 i = 0; i < 90; ++i) EXPECT_EQ(p[static_cast<size_t>(i)], 760) << i;
}

struct ProfLineSet {
    std::vector<u8> data;
    PROFILE_LINES lines{};
    ProfLineSet(i32 n, i32 l, u8 (*value)(i32 k, i32 j)) : data(static_cast<size_t>(n * l)) {
        lines.n = n;
        lines.l = l;
        for (i32 j = 0; j < l; ++j) {
            for (i32 k = 0; k < n; ++k) data[static_cast<size_t>(j * n + k)] = value(k, j);
            lines.rows[j] = data.data() + j * n;
        }
    }
};

struct ProfMergedStore {
    std::vector<i16> pos, d2;
    std::vector<u8> val;
    PROFILE_MERGED m{};
    explicit ProfMergedStore(i32 cap) : pos(static_cast<size_t>(cap)), d2(static_cast<size_t>(cap)), val(static_cast<size_t>(cap)) {
        m = PROFILE_MERGED{pos.data(), d2.data(), val.data(), 0, cap};
    }
};

TEST(LineImgProfileResample, MergedListBounds) {
    const ProfLineSet set(40, 8, [](i32 k, i32 j) { return static_cast<u8>(10 * j + k); });
    // Position of sample 1 on every line: 16 (1 - a0).
    for (const auto &[a0, ok] : {std::pair{-7.0, 1}, std::pair{9.0, 1}, std::pair{-7.0625, 0}}) {
        ProfMergedStore st(8 * 38);
        const LINE_MODEL m{a0, 1.0, 0.0, 0.0};
        EXPECT_EQ(LineImg_MergeSamples(&m, &set.lines, &st.m), ok) << a0;
    }
    // Equal positions keep the lines' order.
    ProfMergedStore st(8 * 38);
    const LINE_MODEL id{0.0, 1.0, 0.0, 0.0};
    ASSERT_EQ(LineImg_MergeSamples(&id, &set.lines, &st.m), 1);
    ASSERT_EQ(st.m.count, 8 * 38);
    for (i32 j = 0; j < 8; ++j) {
        EXPECT_EQ(st.pos[static_cast<size_t>(j)], 16);
        EXPECT_EQ(st.val[static_cast<size_t>(j)], 10 * j + 1);
    }
    // Degenerate models fail before any conversion.
    const f64 nan = std::numeric_limits<f64>::quiet_NaN();
    for (const LINE_MODEL &bad : {LINE_MODEL{0, 0, 0, 0}, LINE_MODEL{nan, 1, 0, 0}, LINE_MODEL{0, 1e-9, 0, 0},
                                  LINE_MODEL{0, 1, 0, -1.0 / 7}}) {
        EXPECT_EQ(LineImg_ModelUsable(&bad, 40, 8), 0);
        EXPECT_EQ(LineImg_MergeSamples(&bad, &set.lines, &st.m), 0);
        std::vector<u16> prof(4096, 7);
        EXPECT_EQ(LineImg_ResampleProfile(&bad, &set.lines, prof.data(), 4096), 0);
    }
}

TEST(LineImgProfileResample, FineWindowAndMoveLimits) {
    // One sample per unit, a cluster at 400: windows of 99 pass, 100 fail.
    for (const auto &[extra, ok] : {std::pair{83, true}, std::pair{84, false}}) {
        ProfMergedStore st(900);
        i32 n = 0;
        for (i32 x = 0; x < 800; ++x) {
            const i32 copies = x == 400 ? 1 + extra : 1;
            for (i32 c = 0; c < copies; ++c, ++n) {
                st.pos[static_cast<size_t>(n)] = static_cast<i16>(x);
                st.val[static_cast<size_t>(n)] = 100;
            }
        }
        st.m.count = n;
        std::vector<u16> prof(4096);
        EXPECT_EQ(LineImg_SuperResolveMerged(&st.m, prof.data(), 4096) > 0, ok) << extra;
    }
    // Four samples per unit: the window's end reaching the 20,480th sample fails.
    for (const auto &[count, ok] : {std::pair{20400, true}, std::pair{20600, false}}) {
        ProfMergedStore st(count);
        for (i32 i = 0; i < count; ++i) {
            st.pos[static_cast<size_t>(i)] = static_cast<i16>(i / 4);
            st.val[static_cast<size_t>(i)] = static_cast<u8>((i / 40) % 2 == 0 ? 200 : 40);
        }
        st.m.count = count;
        std::vector<u16> prof(4096);
        const i32 out = LineImg_SuperResolveMerged(&st.m, prof.data(), 4096);
        EXPECT_EQ(out > 0, ok) << count;
        if (out >= 4) {
            EXPECT_EQ(prof[0], prof[3]);
            EXPECT_EQ(prof[2], prof[3]);
            for (i32 i = 0; i < out; ++i) ASSERT_LE(prof[static_cast<size_t>(i)], 1023);
        }
    }
}

// The fine path's smoothing: merged samples 12 units apart (largest gap 12) with a constant
// second difference D2 fit a parabola whose constant term is D2 itself; at |d| = 1 and a gap
// of 12 the correction table gives 0, so the regression's outputs are those of D2 = 0, and
// only the smoothing differs: after a position with d > 0 a triple bending down (second
// difference below 0, as a signed byte) has its middle set to the mean of its ends; d < 0
// does the same for a triple bending up; d = 0 never.
TEST(LineImgProfileResample, FinePathSmoothingFollowsTheCurvatureSign) {
    ASSERT_EQ(LineImg_CurvatureCorrection(12, 1), 0);
    auto run = [](i16 d2) {
        ProfMergedStore st(400);
        for (i32 i = 0; i < 400; ++i) {
            st.pos[static_cast<size_t>(i)] = static_cast<i16>(12 * i);
            st.d2[static_cast<size_t>(i)] = d2;
            // Flat at first, then bumps and dips of several heights.
            const i32 k = i - 80;
            st.val[static_cast<size_t>(i)] =
                static_cast<u8>(k < 0 ? 120 : 120 + ((k / 5) % 3 == 0 ? 60 : (k / 5) % 3 == 1 ? -50 : 0) + (k % 7) * 3);
        }
        st.m.count = 400;
        std::vector<u16> prof(4096);
        prof.resize(static_cast<size_t>(LineImg_SuperResolveMerged(&st.m, prof.data(), 4096)));
        return prof;
    };
    const std::vector<u16> plain = run(0);
    ASSERT_GT(plain.size(), 200u);
    for (const i16 sign : {i16{1}, i16{-1}}) {
        std::vector<u16> want = plain;
        for (size_t i = 2; i < want.size(); ++i) {
            const i8 dd = static_cast<i8>(static_cast<u8>((want[i - 2] + want[i] - 2 * want[i - 1]) & 0xFF));
            if ((sign > 0 && dd < 0) || (sign < 0 && dd > 0)) want[i - 1] = static_cast<u16>((want[i - 2] + want[i] + 1) >> 1);
        }
        const std::vector<u16> got = run(sign);
        EXPECT_EQ(got, want) << "d " << sign;
        EXPECT_NE(got, plain) << "d " << sign;
    }
}

TEST(LineImgProfileResample, CoarseStartAndMean) {
    const i32 n = 40, l = 5;
    const ProfLineSet set(n, l, [](i32 k, i32 j) { return static_cast<u8>(k + 10 * j); });
    const LINE_MODEL id{0.0, 1.0, 0.0, 0.0};
    std::vector<u16> prof(4096, 9);
    const i32 count = LineImg_ResampleProfile(&id, &set.lines, prof.data(), 4096);
    // Starts at 32, ends before (n - 3) x 16.
    ASSERT_EQ(count, ((n - 3) * 16 - 32) / 4);
    for (i32 i = 0; i < count; ++i) {
        const i32 x = 32 + 4 * i;
        i32 sum = 0;
        for (i32 j = 0; j < l; ++j) sum += (x + 160 * j + 2) >> 2;
        ASSERT_EQ(prof[static_cast<size_t>(i)], sum / l) << i;
    }
    EXPECT_EQ(prof[static_cast<size_t>(count)], 0);
}

TEST(LineImgProfileModel, ScoreCutAlignmentAndFits) {
    const i32 scores[] = {0, 100, 105, 110, 120, 150, 300};
    EXPECT_EQ(LineImg_ScoreCut(scores, 7), 150);
    EXPECT_EQ(LineImg_ScoreCut(scores, 2), 0);
    i32 many[21] = {};
    EXPECT_EQ(LineImg_ScoreCut(many, 21), 0);
    // Two lines: a tie between no shift and +1 gives +1; a strictly smallest unshifted sum 0.
    for (const auto &[spoilNext, step] : {std::pair{false, 1}, std::pair{true, 0}}) {
        std::vector<u8> a(64, 100), b(64, 100);
        for (i32 k = 1; k < 63; k += 5) {
            b[static_cast<size_t>(k - 1)] = 0;
            if (spoilNext) b[static_cast<size_t>(k + 1)] = 0;
        }
        PROFILE_LINES lines{};
        lines.rows[0] = a.data();
        lines.rows[1] = b.data();
        lines.n = 64;
        lines.l = 2;
        i32 sc[20] = {};
        LineImg_AlignLines(&lines, sc);
        EXPECT_EQ(lines.rows[1] - b.data(), step);
        EXPECT_EQ(lines.n, 64 - step);
    }
    // Tracks all at one place: the robust fit falls back to 4 and the model is refused.
    PROFILE_TRACK same[6];
    for (PROFILE_TRACK &t : same) t = PROFILE_TRACK{{0.1f, 20.0f, 21.0f, 441.0f, 2.1f, 420.0f, 0.0f}};
    EXPECT_EQ(LineImg_RobustTrackFit(same, 6), 4);
    LINE_MODEL m{};
    EXPECT_EQ(LineImg_SolveLineModel(&m, same, 6), 0);
}

// A frame of vertical bars, every element w px wide (area-weighted grey), dark 60, light 200.
std::vector<u8> ProfBarsFrame(i32 width, i32 height, f64 w, f64 from, f64 to) {
    std::vector<u8> px(static_cast<size_t>(width * height), 200);
    for (i32 x = 0; x < width; ++x) {
        f64 dark = 0;
        for (i32 sub = 0; sub < 16; ++sub) {
            const f64 u = x + (sub + 0.5) / 16;
            if (u >= from && u < to && static_cast<i64>(std::floor((u - from) / w)) % 2 == 0) dark += 1.0 / 16;
        }
        const u8 v = static_cast<u8>(std::lround(200 - 140 * dark));
        for (i32 y = 0; y < height; ++y) px[static_cast<size_t>(y * width + x)] = v;
    }
    return px;
}

// The path follows the element width: 16 x the mean element of 60 or more (3.75 px) takes the
// coarse path, below it the fine one (each profile compared with that path's own output).
TEST(LineImgProfileModel, ElementWidthChoosesThePath) {
    bool coarseAt60 = false, fineAt59 = false;
    for (f64 w : {3.6, 3.65, 3.7, 3.72, 3.75, 3.78, 3.8, 3.85}) {
        ResetAll();
        std::vector<u8> pixels = ProfBarsFrame(320, 120, w, 60.5, 260.5);
        InstallImage(pixels, 320, 120);
        const REGION_QUAD q = Box(40, 30, 280, 90);
        ASSERT_EQ(LineImg_AllocProfileBuffers(), 1);
        std::vector<u16> built(kProfCapacity, 0);
        const i32 n = LineImg_BuildProfile(built.data(), &q);
        PROFILE_LINES lines{};
        LINE_MODEL model{};
        ASSERT_EQ(LineImg_SampleLineSet(&q, &lines), 1) << w;
        ASSERT_EQ(LineImg_FitLineModel(&lines, &model), 1) << w;
        const i32 s16 = LineImg_ElementWidth16(&lines);
        std::vector<u16> direct(kProfCapacity, 0);
        i32 m = 0;
        if (s16 >= 60) {
            m = LineImg_ResampleProfile(&model, &lines, direct.data(), kProfCapacity);
        } else {
            ProfMergedStore st(kProfMergedCap);
            m = LineImg_SuperResolve(&model, &lines, &st.m, direct.data(), kProfCapacity);
        }
        LineImg_FreeProfileBuffers();
        ASSERT_GT(n, 0) << w;
        EXPECT_EQ(n, m) << w << " px: width " << s16;
        EXPECT_EQ(built, direct) << w << " px: width " << s16;
        coarseAt60 = coarseAt60 || s16 == 60;
        fineAt59 = fineAt59 || s16 == 59;
    }
    EXPECT_TRUE(coarseAt60);
    EXPECT_TRUE(fineAt59);
}

// Edge tracks through 12 lines: a track needs more than max(3 x 12 / 4, 8) = 9 values, so an
// edge seen on 10 lines is kept and one seen on 9 is not; at most 255 tracks are written.
TEST(LineImgProfileModel, TrackValueCountAndCap) {
    std::vector<i16> filtered(kProfLines * kProfLineBytes);
    std::vector<u8> used(kProfLines * kProfLineBytes);
    for (const auto &[seen, kept] : {std::pair{10, 3}, std::pair{9, 0}}) {
        std::vector<u8> data(12 * 64, 100);
        PROFILE_LINES lines{};
        lines.n = 64;
        lines.l = 12;
        for (i32 j = 0; j < 12; ++j) {
            u8 *row = data.data() + j * 64;
            // One step edge: its filter gives +, -, + runs of one value each (three tracks).
            if (j < seen) std::fill(row + 30, row + 64, 180);
            lines.rows[j] = row;
        }
        std::vector<PROFILE_TRACK> tracks(kProfMaxTracks);
        EXPECT_EQ(LineImg_TrackEdges(&lines, filtered.data(), used.data(), tracks.data()), kept) << seen;
    }
    std::vector<u8> data(12 * 1024);
    PROFILE_LINES lines{};
    lines.n = 1024;
    lines.l = 12;
    for (i32 j = 0; j < 12; ++j) {
        for (i32 k = 0; k < 1024; ++k) data[static_cast<size_t>(j * 1024 + k)] = (k / 4) % 2 == 0 ? 60 : 200;
        lines.rows[j] = data.data() + j * 1024;
    }
    std::vector<PROFILE_TRACK> tracks(kProfMaxTracks + 1);
    tracks.back().v[0] = -77.0f;
    EXPECT_EQ(LineImg_TrackEdges(&lines, filtered.data(), used.data(), tracks.data()), kProfMaxTracks);
    EXPECT_EQ(tracks.back().v[0], -77.0f);
}

// A profile whose signal span is under 32 samples (one dark bar 6 px wide) ends the pipeline
// after the shape edges: candidate 1 holds them, candidate 0 and the state word are untouched.
// (The bar's edges lie beside the alignment's sample positions, so the lines are not shifted
// against each other, as on a blank frame.)
TEST(LineImgProfileRead, ShortSpanStopsAfterTheShapeEdges) {
    ResetAll();
    std::vector<u8> pixels = ProfBarsFrame(320, 120, 6.0, 151.0, 157.0);
    InstallImage(pixels, 320, 120);
    const REGION_QUAD q = Box(40, 30, 280, 90);
    ASSERT_EQ(LineImg_AllocProfileBuffers(), 1);
    u16 level[64], shape[64];
    std::fill(std::begin(level), std::end(level), u16{0xBEEF});
    LINEIMG_PROFILE_REQUEST rq{&q, {level, shape}, {0, 0}, {64, 64}, -5};
    EXPECT_EQ(LineImg_ProfileEdges(&rq), 0);
    // The profile it built: its signal span is too short to sharpen.
    std::vector<u16> built(kProfCapacity);
    const i32 n = LineImg_BuildProfile(built.data(), &q);
    LineImg_FreeProfileBuffers();
    ASSERT_GT(n, 0);
    const u16 *span = built.data();
    i32 mx = 0, mn = 0;
    EXPECT_EQ(LineImg_ProfileSignalSpan(&span, n, &mx, &mn), 0);
    u16 again[64];
    EXPECT_EQ(rq.counts[1], LineImg_ProfileEdgesByShape(built.data(), n, again, 64));
    EXPECT_GE(rq.counts[1], 2);
    EXPECT_TRUE(std::equal(shape, shape + rq.counts[1], again));
    EXPECT_EQ(rq.counts[0], 0);
    EXPECT_EQ(level[0], 0xBEEF);
    EXPECT_EQ(rq.state, -5);
}

TEST(LineImgProfileRead, AdjacentRegionsAndLineLength) {
    ResetAll();
    std::vector<u8> pixels(320 * 240, 200);
    InstallImage(pixels, 320, 240);
    LINEIMG_REGIONS &rg = g_lineImgRegions;
    rg.count = 4;
    rg.quads[0] = Quad(20, 50, 200, 50, 20, 80, 200, 80);
    rg.quads[1] = Quad(20, 80, 200, 80, 20, 110, 200, 110);  // first side on 0's last side
    rg.quads[2] = Quad(20, 20, 200, 20, 20, 50, 200, 50);    // last side on 0's first side
    rg.quads[3] = Quad(20, 81, 200, 81, 20, 110, 200, 110);
    for (i32 k = 0; k < 4; ++k) rg.status[k] = kRegionUnread;
    rg.status[0] = kRegionProfileFailed;
    LineImg_MarkAdjacentRegions();
    EXPECT_EQ(rg.status[1], kRegionSkip);
    EXPECT_EQ(rg.status[2], kRegionSkip);
    EXPECT_EQ(rg.status[3], kRegionUnread);
    // A long last line: the line length stops at the profile's largest; a blank region
    // gives no read, status 16 and the blocks back.
    g_lineImgState.lastLineSamples = 1100;
    g_lineImgState.nextRegion = 4;
    LINEIMG_RUN run{};
    LineImg_ClearRun(&run);
    const i32 arena = g_arena.count;
    ASSERT_EQ(LineImg_AllocProfileBuffers(), 1);
    EXPECT_EQ(LineImg_ScanRegionProfile(&run, &rg.quads[3], 1), 0);
    LineImg_FreeProfileBuffers();
    EXPECT_EQ(g_arena.count, arena);
    EXPECT_EQ(g_lineEdgeInput.sampleCount, 4095);
    EXPECT_EQ(rg.status[3], kRegionProfileFailed);
    EXPECT_EQ(g_lineImgState.profileTried, 1);
    // Corners at 15 from a border are refused, at 16 sampled.
    ASSERT_EQ(LineImg_AllocProfileBuffers(), 1);
    PROFILE_LINES lines{};
    EXPECT_EQ(LineImg_BuildProfile(LineImg_ProfileBuffer(), &rg.quads[3]), 0);
    const REGION_QUAD edge15 = Quad(15, 40, 304, 40, 15, 200, 304, 200);
    const REGION_QUAD edge16 = Quad(16, 16, 304, 16, 16, 224, 304, 224);
    const REGION_QUAD right15 = Quad(16, 40, 305, 40, 16, 200, 305, 200);
    EXPECT_EQ(LineImg_BuildProfile(LineImg_ProfileBuffer(), &edge15), 0);
    EXPECT_EQ(LineImg_BuildProfile(LineImg_ProfileBuffer(), &right15), 0);
    EXPECT_EQ(LineImg_SampleLineSet(&edge16, &lines), 1);
    EXPECT_EQ(lines.l, 20);
    // A blank frame ties every comparison: each line steps +1, 19 samples are lost.
    EXPECT_EQ(lines.n, 288 - 19);
    LineImg_FreeProfileBuffers();
}

// A read longer than the candidate's 128-byte text buffer (a scripted 200-byte read) is cut
// to 127 bytes, and nothing of it beyond lands in the arena.
TEST(LineImgProfileRead, LongReadStaysInsideItsBuffer) {
    ResetAll();
    std::vector<u8> pixels = ProfBarsFrame(320, 120, 4.0, 60.5, 260.5);
    InstallImage(pixels, 320, 120);
    std::string text;
    for (i32 i = 0; i < 128; ++i) text += static_cast<char>('A' + i % 26);
    const std::string tail = "<<TAIL-OF-A-LONG-READ-THAT-DOES-NOT-FIT-ITS-BUFFER-0123456789-abcdefghij>>";
    text += tail;
    ASSERT_EQ(text.size(), 128u + tail.size());
    InstallScript([&](int, bool) { return std::optional<ScriptRead>(ScriptRead{text}); });
    const REGION_QUAD q = Box(40, 30, 280, 90);
    const u8 kind = 1;
    Test_SetLineImgRegions(&q, &kind, 1);
    Test_SetLineImgMethods(false, false);
    LineImg_SetScanMode(4);
    std::memset(g_arena.memory, 0xA5, sizeof g_arena.memory);
    const int r = LineImg_Decode();
    Test_SetLineImgMethods(true, true);
    Test_ClearLineTable();
    ASSERT_EQ(r, 1);
    EXPECT_EQ(OutputText(), text.substr(0, 127));
    const u8 *arena = g_arena.memory;
    const u8 *end = arena + sizeof g_arena.memory;
    EXPECT_EQ(std::search(arena, end, tail.begin(), tail.end()), end);
}

// It runs for one region of a decode call only, and not while its switch is off.
TEST(LineImgProfileRead, RunsOncePerCallAndOnlySwitchedOn) {
    const REGION_QUAD quads[2] = {Box(40, 40, 300, 100), Box(40, 140, 300, 200)};
    const u8 kinds[2] = {1, 1};
    for (const auto &[mode, runs] : {std::pair{4u, 1}, std::pair{0u, 0}}) {
        ResetAll();
        std::vector<u8> pixels(320 * 240, 200);
        for (size_t i = 0; i < pixels.size(); i += 7) pixels[i] = 60;
        InstallImage(pixels, 320, 240);
        Test_SetLineImgRegions(quads, kinds, 2);
        Test_SetLineImgMethods(false, false);
        LineImg_SetScanMode(mode);
        const i32 arena = g_arena.count;
        EXPECT_EQ(LineImg_Decode(), 0);
        Test_SetLineImgMethods(true, true);
        EXPECT_EQ(g_arena.count, arena);
        EXPECT_EQ(g_lineImgState.profileTried, runs) << mode;
    }
}

}  // namespace
