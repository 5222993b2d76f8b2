// Multi-line accumulation: its steps as tables on synthetic lines and profiles, and its
// region rules with the 1D table scripted on a synthetic bar frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "lineimg_test_util.h"
#include "linear_image/lineimg_accumulate.h"
#include "linear_image/lineimg_layout.h"
#include "scripted_line.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

// ---- Widths.

TEST(LineImgAccSteps, WidthsNeedRisingEdges) {
    struct WidthCase {
        std::vector<u16> edges;
        int ok;
    };
    const WidthCase cases[] = {
        {{10, 30, 70}, 1},  {{10, 30, 30}, 0},  // an equal pair would be a zero width
        {{10, 30, 20}, 0},  {{10}, 0}, {{}, 0},
    };
    for (const WidthCase &c : cases) {
        u16 widths[4] = {};
        u16 n = 9;
        EXPECT_EQ(LineImg_WidthsFromEdges(c.edges.data(), static_cast<i32>(c.edges.size()), widths, 4, &n), c.ok);
        if (c.ok == 1) {
            EXPECT_EQ(n, 2);
            EXPECT_EQ(widths[0], 20);
            EXPECT_EQ(widths[1], 40);
        } else {
            EXPECT_EQ(n, 0);
        }
    }
}

// ---- Profile edges.

struct AccProfileEdges {
    u16 edges[kAccCandidateCap] = {};
    u16 widths[kAccCandidateCap] = {};
    LINEIMG_ACC_CANDIDATE cand{edges, 0, widths, 0, 0};
    std::vector<u16> Run(const std::vector<u16> &p, int max, int min) {
        LineImg_AveragedProfileEdges(p.data(), static_cast<i32>(p.size()), &cand, max, min);
        return std::vector<u16>(edges, edges + cand.edgeCount);
    }
};

std::vector<u16> AccFlat(int n, u16 v) { return std::vector<u16>(static_cast<size_t>(n), v); }
void AccAppend(std::vector<u16> &p, std::initializer_list<u16> v) { p.insert(p.end(), v); }

TEST(LineImgAccSteps, ProfileEdgeThresholdAndRunSpan) {
    // Range 400: threshold 25. A falling run of three entries 1000, 800, 600 has its
    // centroid half way: 16 x (1 x 200 + 2 x 200) / 400 = 24 from the run start at entry 1.
    AccProfileEdges a;
    std::vector<u16> p = {1000, 1000, 800, 600, 600};
    EXPECT_EQ(a.Run(p, 1000, 600), (std::vector<u16>{24}));
    // Spanning two entries: no edge.
    EXPECT_TRUE(a.Run({1000, 1000, 600, 600}, 1000, 600).empty());
    // A step equal to the threshold gives none, one more gives one.
    EXPECT_TRUE(a.Run({1000, 1000, 990, 975, 975}, 1000, 600).empty());
    EXPECT_EQ(a.Run({1000, 1000, 990, 974, 974}, 1000, 600).size(), 1u);
    // A range below 80 keeps the threshold at 5.
    EXPECT_TRUE(a.Run({100, 100, 98, 95, 95}, 100, 60).empty());
    EXPECT_EQ(a.Run({100, 100, 98, 94, 94}, 100, 60).size(), 1u);
}

TEST(LineImgAccSteps, ProfileEdgesAlternateFromAFallingOne) {
    AccProfileEdges a;
    // A leading rising edge is skipped; bars follow.
    std::vector<u16> p = AccFlat(4, 600);
    AccAppend(p, {800, 1000});
    for (int k = 0; k < 3; ++k) {
        AccAppend(p, {1000, 1000, 1000, 800, 600, 600, 600, 800, 1000});
    }
    const std::vector<u16> e = a.Run(p, 1000, 600);
    ASSERT_EQ(e.size(), 6u);
    for (size_t k = 1; k < e.size(); ++k) EXPECT_GT(e[k], e[k - 1]);
    // Two falling edges far apart: the stronger stays (the earlier one when it is).
    std::vector<u16> q = AccFlat(3, 1000);
    AccAppend(q, {950, 900, 900, 900, 900, 900, 900, 900, 900, 900, 900, 700, 500, 500, 500});
    const std::vector<u16> strong = a.Run(q, 1000, 500);
    ASSERT_EQ(strong.size(), 1u);
    EXPECT_GT(strong[0], 16 * 10);  // the later, stronger edge
    std::vector<u16> r = AccFlat(3, 1000);
    AccAppend(r, {800, 600, 600, 600, 600, 600, 600, 600, 600, 600, 600, 570, 540, 540});
    const std::vector<u16> first = a.Run(r, 1000, 500);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_LT(first[0], 16 * 10);
    // Close together with a weak rising run of two entries between them: that run becomes
    // the rising edge.
    std::vector<u16> s = AccFlat(3, 1000);
    AccAppend(s, {800, 600, 600, 610, 600, 400, 400, 400});
    const std::vector<u16> weak = a.Run(s, 1000, 400);
    ASSERT_EQ(weak.size(), 3u);
    EXPECT_GT(weak[1], weak[0]);
    EXPECT_GT(weak[2], weak[1]);
}

// A weaker edge found between two falling runs moves by half their length difference
// (entries, x 16) toward the shorter run: its own centroid is 16 x 7 + 8 - 8 = 112 on each
// profile, the rising 600 -> 610 between entries 7 and 8.
TEST(LineImgAccSteps, WeakerEdgeMovesTowardTheShorterRun) {
    struct ShiftCase {
        std::vector<u16> profile;
        int weak;  // the middle edge
    };
    const ShiftCase cases[] = {
        // Runs of 2 and 2 entries: where it was found.
        {{1000, 1000, 1000, 1000, 1000, 800, 600, 600, 610, 600, 400, 400, 400}, 112},
        // 4 and 2: one entry later.
        {{1000, 1000, 1000, 1000, 900, 800, 700, 600, 610, 600, 400, 400, 400}, 112 + 16},
        // 2 and 4: one entry earlier.
        {{1000, 1000, 1000, 1000, 1000, 800, 600, 600, 610, 560, 520, 480, 400}, 112 - 16},
        // 6 and 2: three entries later would pass the next edge; it stays just before it.
        {{1000, 1000, 900, 850, 800, 750, 700, 600, 610, 600, 400, 400, 400}, -1},
    };
    AccProfileEdges a;
    for (const ShiftCase &c : cases) {
        const std::vector<u16> e = a.Run(c.profile, 1000, 400);
        ASSERT_EQ(e.size(), 3u);
        if (c.weak >= 0) {
            EXPECT_EQ(e[1], c.weak);
        } else {
            EXPECT_EQ(e[1], e[2] - 1);
        }
        EXPECT_GT(e[1], e[0]);
    }
}

TEST(LineImgAccSteps, ProfileEdgesStopAt300) {
    AccProfileEdges a;
    std::vector<u16> p;
    for (int k = 0; k < 400; ++k) AccAppend(p, {1000, 1000, 800, 600, 600, 800});
    EXPECT_EQ(a.Run(p, 1000, 600).size(), 300u);
    // The form that finds the range itself sees only entries with a value.
    std::vector<u16> q = {kAccNoValue, 1000, 1000, 800, 600, 600, kAccNoValue};
    EXPECT_EQ(LineImg_AveragedProfileEdgesAuto(q.data(), static_cast<i32>(q.size()), &a.cand), 1);
}

// ---- Lines: profile length, matching, resampling and averaging.

struct AccLine {
    std::vector<u8> samples;
    std::vector<u16> edges;
    std::vector<u16> profile;
    LINEIMG_ACC_LINE line{};
    explicit AccLine(int n, std::vector<u16> e = {}) : samples(static_cast<size_t>(n), 128), edges(std::move(e)) {
        edges.resize(std::max<size_t>(edges.size(), 1));
        line.samples = samples.data();
        line.sampleCount = static_cast<u16>(n);
        line.edges = edges.data();
        line.edgeCount = static_cast<u16>(edges.size());
        line.edgeCap = line.edgeCount;
        line.startOffset = 16;
        line.endOffset = static_cast<u16>(16 * (n - 2));
        line.mapEnd = 16 * n;
        line.intervals = 1;
        line.stretches[0][0] = 0;
        line.stretches[0][1] = 0xFFFF;
    }
};

std::vector<u16> AccEvenEdges(int from, int spacing, int count) {
    std::vector<u16> e;
    for (int k = 0; k < count; ++k) e.push_back(static_cast<u16>(from + k * spacing));
    return e;
}

TEST(LineImgAccSteps, ProfileLengthFollowsTheElementSpacing) {
    // 400 samples: offsets 16 .. 6368, middle half from 1604 to 4780.
    struct LengthCase {
        int spacing;
        int width;
        int length;
    };
    const LengthCase cases[] = {
        {128, 752, 400},  // elements of 8 samples keep the sample count
        {64, 752, 400 * 176 / 64},
        {32, 1280, 400 * 176 / 32},
        {32, 752, 2 * 752},  // capped at twice the image width
        {16, 1280, 2 * 1280},
    };
    for (const LengthCase &c : cases) {
        const int inside = (6368 - 16 - 2 * 1588) / c.spacing;
        AccLine l(400, AccEvenEdges(1605, c.spacing, inside));
        l.edges.push_back(6000);  // an edge of the last quarter does not count
        l.line.edges = l.edges.data();
        l.line.edgeCount = static_cast<u16>(l.edges.size());
        EXPECT_EQ(LineImg_ProfileLength(&l.line, c.width), c.length) << c.spacing;
    }
    AccLine none(400, {100, 200});
    EXPECT_EQ(LineImg_ProfileLength(&none.line, 752), 400);
}

struct MatchCase {
    const char *what;
    std::vector<u16> neighbour;
    std::vector<u16> line;
    int intervals;
};

TEST(LineImgAccSteps, NeighbourMatching) {
    std::vector<i32> a(1280), b(1280);
    const std::vector<u16> base = AccEvenEdges(100, 200, 20);
    auto shifted = [&](int d) {
        std::vector<u16> e = base;
        for (u16 &v : e) v = static_cast<u16>(v + d);
        return e;
    };
    std::vector<u16> far = base;  // 48 edges with the line's 16: a need of 16 pairs
    for (int k = 0; k < 28; ++k) far.push_back(static_cast<u16>(20000 + 100 * k));
    std::vector<u16> farther = far;  // 52: a need of 17 pairs
    for (int k = 0; k < 4; ++k) farther.push_back(static_cast<u16>(30000 + 100 * k));
    const MatchCase cases[] = {
        {"70 apart", base, shifted(70), 1},
        {"71 apart", base, shifted(71), 0},
        {"need met", far, AccEvenEdges(100, 200, 16), 1},
        {"need missed", farther, AccEvenEdges(100, 200, 16), 0},
        {"ten pairs", AccEvenEdges(100, 200, 10), AccEvenEdges(100, 200, 10), 1},
        {"nine pairs", AccEvenEdges(100, 200, 9), AccEvenEdges(100, 200, 9), 0},
    };
    for (const MatchCase &c : cases) {
        AccLine nb(900, c.neighbour), l(900, c.line);
        nb.line.mapStart = 0;
        nb.line.mapEnd = 14400;
        EXPECT_EQ(LineImg_MatchNeighbour(&l.line, &nb.line, a.data(), b.data(), 1280), c.intervals) << c.what;
        EXPECT_EQ(l.line.intervals, c.intervals) << c.what;
    }
    // Two pairs 69 off among ten exact ones: dropped before the refit, the map is exact.
    std::vector<u16> line = AccEvenEdges(100, 100, 12);
    line[3] = static_cast<u16>(line[3] + 69);
    line[8] = static_cast<u16>(line[8] + 69);
    AccLine nb(900, AccEvenEdges(100, 100, 12)), l(900, line);
    nb.line.mapStart = 40;
    nb.line.mapEnd = 14000;
    ASSERT_EQ(LineImg_MatchNeighbour(&l.line, &nb.line, a.data(), b.data(), 1280), 1);
    EXPECT_EQ(l.line.mapStart, 40);
    EXPECT_EQ(l.line.mapEnd, 14000);
}

TEST(LineImgAccSteps, StretchesSplitAtGapsAndMeetTheNeighbours) {
    std::vector<i32> a(1280), b(1280);
    // Edges every 100 with two missing: a gap of 300 stays one stretch, 301 splits it.
    std::vector<u16> full = AccEvenEdges(100, 100, 30);
    std::vector<u16> gap300 = full;
    gap300.erase(gap300.begin() + 14, gap300.begin() + 16);
    std::vector<u16> gap301 = gap300;
    for (size_t k = 14; k < gap301.size(); ++k) gap301[k] = static_cast<u16>(gap301[k] + 1);
    for (const auto &[edges, count] : {std::pair{gap300, 1}, std::pair{gap301, 2}}) {
        AccLine nb(900, full), l(900, edges);
        ASSERT_EQ(LineImg_MatchNeighbour(&l.line, &nb.line, a.data(), b.data(), 1280), count);
        EXPECT_EQ(l.line.stretches[0][0], 100);
        EXPECT_EQ(l.line.stretches[count - 1][1], gap301.back() - (count == 1 ? 1 : 0));
    }
    // The neighbour's stretch covers only the first part: the second does not survive,
    // the first is cut to it.
    AccLine nb(900, full), l(900, gap301);
    nb.line.stretches[0][0] = 0;
    nb.line.stretches[0][1] = 1000;
    ASSERT_EQ(LineImg_MatchNeighbour(&l.line, &nb.line, a.data(), b.data(), 1280), 1);
    EXPECT_EQ(l.line.stretches[0][0], 100);
    EXPECT_EQ(l.line.stretches[0][1], 1000);
    // An unusable neighbour passes on nothing.
    nb.line.intervals = 0;
    EXPECT_EQ(LineImg_MatchNeighbour(&l.line, &nb.line, a.data(), b.data(), 1280), 0);
}

TEST(LineImgAccSteps, ResampleAndAverage) {
    AccLine l(10), m(10);
    for (int k = 0; k < 10; ++k) {
        l.samples[k] = static_cast<u8>(10 + 10 * k);
        m.samples[k] = static_cast<u8>(30 + 10 * k);
    }
    l.profile.resize(20);
    m.profile.resize(20);
    l.line.profile = l.profile.data();
    m.line.profile = m.profile.data();
    l.line.mapEnd = 160;  // two entries per sample
    m.line.mapEnd = 160;
    m.line.endOffset = 16 * 5;  // m ends early
    LineImg_ResampleLine(&l.line, 20);
    LineImg_ResampleLine(&m.line, 20);
    EXPECT_EQ(l.profile[0], kAccNoValue);  // before startOffset
    EXPECT_EQ(l.profile[1], kAccNoValue);
    EXPECT_EQ(l.profile[2], 8 * 20);        // on sample 1
    EXPECT_EQ(l.profile[3], ((30 - 20) * 8 + 20 * 16) / 2);  // half way to sample 2
    EXPECT_EQ(l.profile[17], kAccNoValue);  // beyond endOffset
    EXPECT_EQ(m.profile[11], kAccNoValue);
    const LINEIMG_ACC_LINE lines[2] = {l.line, m.line};
    std::vector<u16> avg(20);
    std::vector<u8> counts(20);
    i32 max = 0, min = 0;
    ASSERT_EQ(LineImg_AverageProfiles(lines, 0, 2, 1, 20, avg.data(), counts.data(), &max, &min), 1);
    EXPECT_EQ(avg[0], kAccNoValue);
    EXPECT_EQ(avg[2], (8 * 20 + 8 * 40) / 2);  // the mean of both
    EXPECT_EQ(counts[2], 2);
    EXPECT_EQ(avg[12], l.profile[12]);  // only l has a value
    EXPECT_EQ(counts[12], 1);
    EXPECT_EQ(min, 8 * 30);
    EXPECT_EQ(max, l.profile[16]);
    // The odd lines alone: m.
    ASSERT_EQ(LineImg_AverageProfiles(lines, 1, 2, 2, 20, avg.data(), counts.data(), &max, &min), 1);
    EXPECT_EQ(avg[2], 8 * 40);
    EXPECT_EQ(avg[12], kAccNoValue);
}

// ---- Region rules, with the 1D table scripted.

class LineImgAccRegion : public BarFrameTest {
protected:
    void SetUp() override {
        BarFrameTest::SetUp();
        InstallOneRegion(Box(120, 120, 650, 280), &reads_, readRoom_);
        arena_ = g_arena.count;
    }
    // Runs the method with its buffers, as the region decoder does.
    int Accumulate() {
        if (LineImg_AllocAccumulator() != 1) return -1;
        const int r = LineImg_ScanRegionAccumulate(&run_, &g_lineImgRegions.quads[0], 1, &reads_);
        LineImg_FreeAccumulator();
        return r;
    }
    void HoldRead(const std::string &text) {
        const int k = reads_.count++;
        std::memcpy(reads_.buffer[k], text.data(), text.size());
        reads_.length[k] = static_cast<i32>(text.size());
        reads_.ids[k] = 20;
    }
    std::string HeldRead(int k) const {
        return std::string(reinterpret_cast<const char *>(reads_.buffer[k]), static_cast<size_t>(reads_.length[k]));
    }

    LINEIMG_READ_SET reads_{};
    u8 readRoom_[kLineImgReadSetBytes] = {};
    i32 arena_ = 0;
};

TEST_F(LineImgAccRegion, FiveReadsHeldStopWithoutACandidate) {
    InstallScript([](int, bool) { return ScriptRead{"X"}; });
    for (int k = 0; k < 5; ++k) HoldRead("R" + std::to_string(k));
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(g_lineImgState.regionStop, kAccStopUnconfirmed);
    EXPECT_EQ(g_lineImgState.accumulateTried, 1);
    EXPECT_EQ(g_arena.count, arena_);
}

TEST_F(LineImgAccRegion, ThreeDifferentReadsLeaveTheRegionStopped) {
    InstallScript([](int pair, bool) { return ScriptRead{"CAND" + std::to_string(pair)}; });
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(reads_.count, 3);
    EXPECT_EQ(g_lineImgState.regionStop, kAccStopUnconfirmed);
    EXPECT_EQ(run_.count, 0);
    EXPECT_EQ(g_arena.count, arena_);
    // The edges are in sixteenths of each candidate's own trimmed profile.
    for (const LineSeen &s : g_seen) {
        EXPECT_EQ(s.lineLength, 16u * s.sampleCount);
        EXPECT_GT(s.sampleCount, 440);  // resampled above the ~530 px line's own count
    }
    EXPECT_EQ(g_lineImgState.accumulateTried, 1);
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_EQ(g_lineImgState.accumulateTried, 2);
}

TEST_F(LineImgAccRegion, EdgesStayInsideTheCandidatesLength) {
    bool inside = true;
    InstallScript([&](int, bool) -> std::optional<ScriptRead> {
        const LINEIMG_EDGE_INPUT &in = g_lineEdgeInput;
        for (int k = 0; k < in.edgeCount; ++k) inside = inside && in.edges[k] < 16u * in.sampleCount;
        inside = inside && in.widthCount == in.edgeCount - 1;
        return std::nullopt;
    });
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_EQ(g_seen.size(), 3u);
    EXPECT_TRUE(inside);
    EXPECT_EQ(g_lineImgState.regionStop, 0);  // nothing read, nothing refused
}

TEST_F(LineImgAccRegion, AMainScanReadIsConfirmed) {
    HoldRead("SAME");
    InstallScript([](int, bool) { return ScriptRead{"SAME", 20}; });
    EXPECT_EQ(Accumulate(), 1);
    ASSERT_EQ(run_.count, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(run_.text[0]), 4), "SAME");
    EXPECT_EQ(g_lineImgRegions.status[0], kRegionFinished);
    EXPECT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_arena.count, arena_);
    EXPECT_EQ(g_lineImgState.accumulateTried, 1);
}

TEST_F(LineImgAccRegion, ADifferentReadOfTheSameLengthIsNotConfirmed) {
    HoldRead("ABCD");
    InstallScript([](int pair, bool) -> std::optional<ScriptRead> {
        if (pair == 0) return ScriptRead{"WXYZ"};
        return std::nullopt;
    });
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_EQ(run_.count, 0);
    EXPECT_EQ(HeldRead(0), "ABCD");
    EXPECT_EQ(HeldRead(1), "WXYZ");
    EXPECT_EQ(g_lineImgState.regionStop, kAccStopUnconfirmed);
}

TEST_F(LineImgAccRegion, ARefusalEndsTheMethod) {
    InstallScript([](int, bool) { return ScriptRead{"LEN", 20, 0, 2}; });  // wrong length
    EXPECT_EQ(Accumulate(), 0);
    EXPECT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_lineImgRegions.status[0], kRegionStopped);
    EXPECT_NE(g_lineImgState.regionStop, 0);
    EXPECT_EQ(g_arena.count, arena_);
}

TEST_F(LineImgAccRegion, ALongReadStaysInItsTextBuffer) {
    const std::string longText(200, 'L');
    InstallScript([&](int, bool) { return ScriptRead{longText}; });
    // The arena room past the candidate blocks carries a pattern.
    ASSERT_EQ(LineImg_AllocAccumulator(), 1);
    const i32 used = g_arena.used;
    std::memset(g_arena.base + used, 0xA5, 8192);
    const int r = LineImg_ScanRegionAccumulate(&run_, &g_lineImgRegions.quads[0], 1, &reads_);
    LineImg_FreeAccumulator();
    EXPECT_EQ(r, 1);
    const i32 textEnd = used + 2 * (kAccEdgeBlockBytes + 4) + kAccTextBlockBytes;
    for (i32 k = textEnd; k < used + 8192; ++k) ASSERT_EQ(g_arena.base[k], 0xA5) << k - textEnd;
    EXPECT_EQ(HeldRead(0), longText);
    ASSERT_EQ(run_.count, 1);
    EXPECT_EQ(run_.length[0], 200);
}

TEST_F(LineImgAccRegion, ASmallArenaSkipsTheMethod) {
    InstallScript([](int, bool) { return ScriptRead{"X"}; });
    // Leave less than the smallest accumulator block (2 x 752 bytes).
    std::vector<u8 *> held;
    for (i32 n = 1 << 20; n >= 64; n /= 2)
        while (g_arena.capacity - g_arena.used > 1200 + n)
            if (u8 *p = Mem_Alloc(n)) held.push_back(p);
            else break;
    const i32 before = g_arena.count;
    EXPECT_EQ(LineImg_AllocAccumulator(), 0);
    EXPECT_EQ(g_arena.count, before);
    // With the accumulator taken, the candidate blocks cannot be had either.
    for (auto it = held.rbegin(); it != held.rend(); ++it) Mem_Free(*it);
    EXPECT_EQ(g_arena.count, arena_);
}

TEST_F(LineImgAccRegion, TheMainScansSampleCountIsKept) {
    // The main scan reads nothing, then the accumulation hands its profile length over.
    InstallScript([](int, bool) -> std::optional<ScriptRead> { return std::nullopt; });
    u8 block[kLineImgReadSetBytes] = {};
    (void)block;
    g_lineImgRegions.status[0] = kRegionUnread;
    EXPECT_EQ(LineImg_ScanRegion(&run_, &g_lineImgRegions.quads[0], &g_lineImgRegions.status[0], 1, &reads_), 0);
    int lastWhole = -1;
    for (const LineSeen &s : g_seen)
        if (!s.fine) lastWhole = s.sampleCount;
    ASSERT_GT(lastWhole, 0);
    EXPECT_EQ(g_lineImgState.lastLineSamples, lastWhole);
    g_seen.clear();
    EXPECT_EQ(Accumulate(), 0);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_NE(g_lineEdgeInput.sampleCount, lastWhole);
    EXPECT_EQ(g_lineImgState.lastLineSamples, lastWhole);
}

// Quads partly and wholly outside the frame, and a flat one: clean under the sanitizers,
// nothing kept.
TEST_F(LineImgAccRegion, QuadsOutsideTheFrame) {
    InstallScript([](int, bool) { return ScriptRead{"X"}; });
    const REGION_QUAD quads[] = {
        Box(-300, 120, 400, 280), Box(500, 400, 1200, 700), Box(-900, -600, -100, -50),
        Box(2000, 2000, 2600, 2300), Quad(120, 200, 650, 200, 120, 200, 650, 200),
        Quad(700, 120, 120, 120, 700, 280, 120, 280), Box(0, 0, 751, 479),
    };
    for (const REGION_QUAD &q : quads) {
        g_lineImgRegions.quads[0] = q;
        reads_.count = 0;
        const int r = Accumulate();
        EXPECT_GE(r, 0);
        EXPECT_EQ(g_arena.count, arena_);
    }
}

}  // namespace
