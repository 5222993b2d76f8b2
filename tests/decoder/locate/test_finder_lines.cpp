// Lines handed to the finders outside the region passes: the row and column line-handler
// runners, the column job and the line set, with the recording fake table.
#include <gtest/gtest.h>

#include <vector>

#include "locate/finder.h"
#include "test_finder_fake.h"
#include "test_finder_support.h"

namespace {

using finder_test::g_recorder;
using finder_test::kFakeTable;
using vexo::EDGE_ITEM;
using vexo::EDGE_LINE;
using vexo::FINDER_LINE;

class FinderLinesTest : public finder_test::FinderTest {
protected:
    void SetUp() override {
        FinderTest::SetUp();
        g_recorder = finder_test::Recorder{};
    }
};

EDGE_LINE Record(int direction, const uint8_t *samples = nullptr) {
    EDGE_LINE r{};
    r.direction = direction;
    r.samples = samples;
    return r;
}

// Which records each runner accepts, and which entries it then calls.
TEST_F(FinderLinesTest, LineHandlersRunOnlyForRecordsOfTheirPass) {
    struct Row {
        int rows;               // 1: the row runner
        int current, previous;  // directions; -1: record missing
        int called;             // handlers called (of three, entry 1 not wanting)
    };
    static constexpr Row kRows[] = {
        {1, 1, 1, 2},  {1, 1, -1, 2}, {1, 0, 1, 0}, {1, 1, 0, 0}, {1, -1, 1, 0},
        {0, 0, 0, 2},  {0, 0, -1, 2}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, -1, -1, 0},
    };
    for (const Row &r : kRows) {
        g_recorder = finder_test::Recorder{};
        g_recorder.wantsRows[1] = 0;
        g_recorder.wantsColumns[1] = 0;
        EDGE_LINE cur = Record(r.current);
        EDGE_LINE prev = Record(r.previous);
        FINDER_LINE line{};
        line.current = r.current < 0 ? nullptr : &cur;
        line.previous = r.previous < 0 ? nullptr : &prev;
        const int called = r.rows != 0 ? vexo::Loc_RunRowLineHandlers(&line, kFakeTable, 3)
                                       : vexo::Loc_RunColumnLineHandlers(&line, kFakeTable, 3);
        EXPECT_EQ(called, r.called) << r.rows << " " << r.current << " " << r.previous;
        const char kind = r.rows != 0 ? 'r' : 'c';
        EXPECT_EQ(g_recorder.Count(0, kind) + g_recorder.Count(2, kind), r.called);
        EXPECT_EQ(g_recorder.Count(1, kind), 0);
        EXPECT_EQ(g_recorder.Count(0, r.rows != 0 ? 'c' : 'r'), 0);
    }
    FINDER_LINE line{};
    EDGE_LINE cur = Record(1);
    line.current = &cur;
    EXPECT_EQ(vexo::Loc_RunRowLineHandlers(nullptr, kFakeTable, 3), 0);
    EXPECT_EQ(vexo::Loc_RunRowLineHandlers(&line, nullptr, 3), 0);
    EXPECT_EQ(vexo::Loc_RunRowLineHandlers(&line, kFakeTable, 0), 0);
    EXPECT_EQ(vexo::Loc_RunRowLineHandlers(&line, kFakeTable, 1), 1);  // only the first entry
}

// Columns left + step / 2, left + step / 2 + step, ... below right; each edge list on
// top..bottom, handed with the samples moved to the column's top and the frame height.
TEST_F(FinderLinesTest, ColumnJobHandsItsColumnsWithBothRecords) {
    finder_test::Grey g(64, 48);
    g.HorizontalBars(10, 3, 2, 6, 0, 64);
    Install(g);
    std::vector<EDGE_ITEM> edges(1500, EDGE_ITEM{7, 7});
    vexo::COLUMN_JOB job{4, 2, 40, 40, 102, 6, edges.data(), 1500, kFakeTable, 3, 10, 0};
    g_recorder.wantsColumns[2] = 0;
    vexo::Loc_RunColumnJob(&job);
    EXPECT_EQ(g_recorder.Positions(0, 'c'), (std::vector<int>{9, 19, 29, 39}));
    EXPECT_EQ(g_recorder.Count(1, 'c'), 4);
    EXPECT_EQ(g_recorder.Count(2, 'c'), 0);
    EXPECT_EQ(g_recorder.Count(0, 'r'), 0);
    std::vector<finder_test::Call> calls;
    for (const auto &c : g_recorder.calls)
        if (c.entry == 0) calls.push_back(c);
    ASSERT_EQ(calls.size(), 4u);
    for (size_t k = 0; k < calls.size(); ++k) {
        const auto &c = calls[k];
        const int x = 9 + 10 * static_cast<int>(k);
        EXPECT_EQ(c.direction, 0);
        EXPECT_EQ(c.samples, g.pixels.data() + x);
        EXPECT_EQ(c.sampleCount, 48);
        EXPECT_EQ(c.limit, 48);
        EXPECT_EQ(c.base, 2 * 16);
        EXPECT_EQ(c.ratio, 102);
        EXPECT_EQ(c.minStep, 6);
        EXPECT_EQ(c.edgeCount, 6) << "three bars, two edges each, between rows 2 and 40";
        // Record A then B: capacity/2 and the rest, at most 512 each.
        EXPECT_EQ(c.edges, edges.data() + (k % 2 == 0 ? 0 : 750));
        EXPECT_EQ(c.capacity, 512);
        if (k == 0) {
            EXPECT_EQ(c.previousSamples, nullptr);
        } else {
            EXPECT_EQ(c.previousLinePosition, x - 10);
        }
    }
    // The job's storage was cleared before use.
    EXPECT_EQ(edges[1499].position, 0);
}

TEST_F(FinderLinesTest, ColumnJobCapacitySplitsBetweenTheRecords) {
    finder_test::Grey g(32, 32);
    Install(g);
    std::vector<EDGE_ITEM> edges(9);
    vexo::COLUMN_JOB job{0, 0, 32, 32, 102, 6, edges.data(), 9, kFakeTable, 1, 16, 0};
    vexo::Loc_RunColumnJob(&job);
    ASSERT_EQ(g_recorder.Count(0, 'c'), 2);
    EXPECT_EQ(g_recorder.calls[0].capacity, 4);
    EXPECT_EQ(g_recorder.calls[1].capacity, 5);
    EXPECT_EQ(g_recorder.calls[1].edges, edges.data() + 4);
}

TEST_F(FinderLinesTest, ColumnJobGuards) {
    finder_test::Grey g(32, 32);
    Install(g);
    std::vector<EDGE_ITEM> edges(64);
    const vexo::COLUMN_JOB good{0, 0, 32, 32, 102, 6, edges.data(), 64, kFakeTable, 3, 8, 0};
    struct Row {
        const char *what;
        void (*spoil)(vexo::COLUMN_JOB &);
    };
    static const Row kRows[] = {
        {"busy", [](vexo::COLUMN_JOB &j) { j.busy = 1; }},
        {"no edges", [](vexo::COLUMN_JOB &j) { j.edges = nullptr; }},
        {"no table", [](vexo::COLUMN_JOB &j) { j.table = nullptr; }},
        {"count 0", [](vexo::COLUMN_JOB &j) { j.count = 0; }},
        {"right beyond the frame", [](vexo::COLUMN_JOB &j) { j.right = 33; }},
        {"bottom beyond the frame", [](vexo::COLUMN_JOB &j) { j.bottom = 33; }},
        {"step 0", [](vexo::COLUMN_JOB &j) { j.step = 0; }},
        {"left negative", [](vexo::COLUMN_JOB &j) { j.left = -4; }},
        {"top negative", [](vexo::COLUMN_JOB &j) { j.top = -1; }},
        {"left at right", [](vexo::COLUMN_JOB &j) { j.left = 32; }},
        {"top at bottom", [](vexo::COLUMN_JOB &j) { j.top = 32; }},
    };
    for (const Row &r : kRows) {
        g_recorder = finder_test::Recorder{};
        vexo::COLUMN_JOB job = good;
        r.spoil(job);
        vexo::Loc_RunColumnJob(&job);
        EXPECT_TRUE(g_recorder.calls.empty()) << r.what;
    }
    g_recorder = finder_test::Recorder{};
    g_recorder.wantsColumns[0] = g_recorder.wantsColumns[1] = g_recorder.wantsColumns[2] = 0;
    vexo::COLUMN_JOB job = good;
    vexo::Loc_RunColumnJob(&job);
    EXPECT_TRUE(g_recorder.calls.empty()) << "no entry wants columns";
    vexo::Loc_RunColumnJob(nullptr);
    g_recorder = finder_test::Recorder{};
    job = good;
    vexo::Loc_RunColumnJob(&job);
    EXPECT_EQ(g_recorder.Count(0, 'c'), 4);
}

struct LineSetData {
    std::vector<std::vector<EDGE_ITEM>> storage;
    std::vector<EDGE_ITEM *> edges;
    std::vector<int32_t> rising, falling, positions;
    vexo::LINE_SET set{};

    LineSetData(const std::vector<int32_t> &pos, const std::vector<int32_t> &r, const std::vector<int32_t> &f)
        : rising(r), falling(f), positions(pos) {
        for (size_t k = 0; k < pos.size(); ++k) storage.emplace_back(600, EDGE_ITEM{static_cast<int16_t>(k), 1});
        for (auto &s : storage) edges.push_back(s.data());
        set = {1, static_cast<int32_t>(pos.size()), edges.data(), rising.data(), falling.data(), positions.data()};
    }
};

TEST_F(FinderLinesTest, LineSetHandsEachLineInItsDirection) {
    finder_test::Grey g(40, 30);
    Install(g);
    for (int rows : {1, 0}) {
        g_recorder = finder_test::Recorder{};
        LineSetData d({3, 7, 12}, {2, 0, 5}, {1, 4, 5});
        vexo::Loc_RunLineSet(rows, &d.set, kFakeTable, 3);
        const char kind = rows != 0 ? 'r' : 'c';
        EXPECT_EQ(g_recorder.Positions(0, kind), (std::vector<int>{3, 7, 12}));
        EXPECT_EQ(g_recorder.Count(0, rows != 0 ? 'c' : 'r'), 0);
        std::vector<finder_test::Call> calls;
        for (const auto &c : g_recorder.calls)
            if (c.entry == 0) calls.push_back(c);
        ASSERT_EQ(calls.size(), 3u);
        for (size_t j = 0; j < 3; ++j) {
            const auto &c = calls[j];
            const int pos = d.positions[j];
            EXPECT_EQ(c.direction, rows);
            EXPECT_EQ(c.edges, d.edges[j]);
            EXPECT_EQ(c.edgeCount, d.rising[j] + d.falling[j]);
            EXPECT_EQ(c.capacity, d.rising[j] + d.falling[j]);
            EXPECT_EQ(c.ratio, 1);
            EXPECT_EQ(c.minStep, 1);
            EXPECT_EQ(c.limit, 30);
            EXPECT_EQ(c.samples, rows != 0 ? g.pixels.data() + pos * 40 : g.pixels.data() + pos);
            EXPECT_EQ(c.sampleCount, rows != 0 ? 40 : 30);
            if (j > 0) {
                EXPECT_EQ(c.previousLinePosition, d.positions[j - 1]);
            }
        }
    }
}

TEST_F(FinderLinesTest, LineSetGuardsAndSkippedLines) {
    finder_test::Grey g(40, 30);
    Install(g);
    // Lines outside the frame, without edges, or with impossible counts are skipped.
    {
        LineSetData d({-1, 30, 5, 6, 7, 8, 9, 29}, {1, 1, 1, -1, 1, 300, 256, 1}, {1, 1, 1, 1, -1, 213, 256, 1});
        d.edges[2] = nullptr;
        vexo::Loc_RunLineSet(1, &d.set, kFakeTable, 3);
        EXPECT_EQ(g_recorder.Positions(0, 'r'), (std::vector<int>{9, 29}));
    }
    {
        g_recorder = finder_test::Recorder{};
        LineSetData d({39, 40}, {1, 1}, {1, 1});
        vexo::Loc_RunLineSet(0, &d.set, kFakeTable, 3);
        EXPECT_EQ(g_recorder.Positions(0, 'c'), (std::vector<int>{39}));
    }
    struct Row {
        const char *what;
        void (*spoil)(vexo::LINE_SET &);
    };
    static const Row kRows[] = {
        {"inactive", [](vexo::LINE_SET &s) { s.active = 0; }},
        {"no lines", [](vexo::LINE_SET &s) { s.lineCount = 0; }},
        {"no edges", [](vexo::LINE_SET &s) { s.edges = nullptr; }},
        {"no rising counts", [](vexo::LINE_SET &s) { s.risingCounts = nullptr; }},
        {"no falling counts", [](vexo::LINE_SET &s) { s.fallingCounts = nullptr; }},
        {"no positions", [](vexo::LINE_SET &s) { s.positions = nullptr; }},
    };
    for (const Row &r : kRows) {
        g_recorder = finder_test::Recorder{};
        LineSetData d({3}, {1}, {1});
        r.spoil(d.set);
        vexo::Loc_RunLineSet(1, &d.set, kFakeTable, 3);
        EXPECT_TRUE(g_recorder.calls.empty()) << r.what;
    }
    g_recorder = finder_test::Recorder{};
    LineSetData d({3}, {1}, {1});
    vexo::Loc_RunLineSet(1, nullptr, kFakeTable, 3);
    vexo::Loc_RunLineSet(1, &d.set, nullptr, 3);
    vexo::Loc_RunLineSet(1, &d.set, kFakeTable, 0);
    g_recorder.wantsRows[0] = g_recorder.wantsRows[1] = g_recorder.wantsRows[2] = 0;
    vexo::Loc_RunLineSet(1, &d.set, kFakeTable, 3);
    EXPECT_EQ(g_recorder.Count(0, 'r') + g_recorder.Count(1, 'r') + g_recorder.Count(2, 'r'), 0);
}

}  // namespace
