// Region scan rules on a synthetic bar frame with a scripted 1D record: where the line
// pairs lie, the edge threshold, the fine method's samples, confirmation by repetition,
// the give-up rules, the attempt review and its votes, and the bounded line records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linear_image/lineimg_layout.h"
#include "scripted_line.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

constexpr int kLeft = 100;
constexpr int kTop = 140;

class LineImgScan : public BarFrameTest {
protected:
    void SetUp() override {
        BarFrameTest::SetUp();
        InstallOneRegion(Box(kLeft, kTop, 650, kTop + 100), &reads_, readRoom_);
        lineMultiReadFlags = 0;
    }
    void TearDown() override { lineMultiReadFlags = 0; }

    int Scan() {
        return LineImg_ScanRegion(&run_, &g_lineImgRegions.quads[0], &g_lineImgRegions.status[0], 1, &reads_);
    }
    int WholeLines() const {
        int n = 0;
        for (const LineSeen &s : g_seen) n += s.fine ? 0 : 1;
        return n;
    }

    LINEIMG_READ_SET reads_{};
    u8 readRoom_[kLineImgReadSetBytes] = {};
};

TEST_F(LineImgScan, PairsOffsetsThresholdsAndFineSamples) {
    // Nothing reads; a pending multi-read keeps the region open to its last pair.
    std::vector<int> rowsB;
    InstallScript([&](int, bool fine) -> std::optional<ScriptRead> {
        // Line B's matched falling edges are in the work buffer while its pair is read.
        if (!fine) rowsB.push_back(RowOfLine(LineSeen{false, 0, 0, 0, static_cast<uint16_t>(reinterpret_cast<const i32 *>(
                                                          g_image.buffer2 + kAreaMatch)[0]), 0, 0},
                                             kLeft));
        return std::nullopt;
    });
    lineMultiReadFlags = kMultiReadPending;
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(g_lineImgRegions.status[0], kRegionScanned);
    std::vector<int> rowsA, steps;
    for (const LineSeen &s : g_seen) {
        if (s.fine) {
            EXPECT_EQ(s.lineLength, 16u * 1040u);
            EXPECT_EQ(s.sampleCount, 1040);
            continue;
        }
        rowsA.push_back(RowOfLine(s, kLeft));
        steps.push_back(s.minStep);
    }
    // Height 100: step 5, pairs 7 apart, lines 2 apart (rows read to the even row below).
    std::vector<int> wantA, wantB, wantSteps;
    for (int k = 5, n = 0; k < 100; k += 7, ++n) {
        wantA.push_back((kTop + k) & ~1);
        wantB.push_back((kTop + k + 2) & ~1);
        wantSteps.push_back(n % 2 == 0 ? 10 : 4);
    }
    EXPECT_EQ(rowsA, wantA);
    EXPECT_EQ(rowsB, wantB);
    EXPECT_EQ(steps, wantSteps);
    EXPECT_EQ(g_seen.size(), 2 * wantA.size());  // every pair is read a second time in 1/16 pixel
}

TEST_F(LineImgScan, ConfirmationAndGiveUpRules) {
    struct Case {
        const char *what;
        Script script;
        bool pending;
        int answer;
        int wholeLines;   // pairs read
        const char *stored;
        u16 stop;
    };
    auto every = [](std::vector<std::string> texts, uint16_t id) -> Script {
        return [texts, id](int pair, bool fine) -> std::optional<ScriptRead> {
            if (fine || pair >= static_cast<int>(texts.size())) return std::nullopt;
            return ScriptRead{texts[static_cast<size_t>(pair)], id};
        };
    };
    const Case cases[] = {
        {"a DataBar read is stored at once", every({"DB"}, 26), false, 1, 1, "DB", 0},
        {"two identical reads", every({"ABC", "ABC"}, 20), false, 1, 2, "ABC", 0},
        {"a differing read in between", every({"ABC", "XYZ", "ABC"}, 20), false, 1, 3, "ABC", 0},
        {"a fifth read that confirms ends the region", every({"A", "B", "C", "D", "A"}, 20), false, 0, 5, nullptr, 0},
        {"a sixth read ends the region unstored", every({"A", "B", "C", "D", "E", "E", "E"}, 20), false, 0, 11, nullptr,
         13},
        {"an id 31 read by the fine method is never stored",
         [](int pair, bool fine) -> std::optional<ScriptRead> {
             if (!fine || pair > 2) return std::nullopt;
             return ScriptRead{"F31", 31};
         },
         false, 0, 5, nullptr, 0},
        {"but it counts toward confirmation",
         [](int pair, bool fine) -> std::optional<ScriptRead> {
             if (pair == 0 && fine) return ScriptRead{"F31", 31};
             if (pair == 1 && !fine) return ScriptRead{"F31", 31};
             return std::nullopt;
         },
         false, 1, 2, "F31", 0},
        {"no read in the first five pairs", every({}, 20), false, 0, 5, nullptr, 0},
        {"six unread pairs after the last hit", every({"A"}, 20), false, 0, 7, nullptr, 13},
        // Disabled id 23: every failed pair counts, the fifth is one too many.
        {"more than four coded failures",
         [](int, bool) -> std::optional<ScriptRead> { return ScriptRead{"X", 23}; }, true, 0, 5, nullptr, 1},
        {"uncoded failures with a read pending", every({}, 20), true, 0, 14, nullptr, 0},
    };
    for (const Case &c : cases) {
        SetUp();
        InstallScript(c.script);
        g_params.flagsWord[23] &= ~kFlagEnabled;
        lineMultiReadFlags = c.pending ? kMultiReadPending : 0;
        EXPECT_EQ(Scan(), c.answer) << c.what;
        EXPECT_EQ(WholeLines(), c.wholeLines) << c.what;
        EXPECT_EQ(g_lineImgState.regionStop, c.stop) << c.what;
        if (c.stored != nullptr) {
            ASSERT_EQ(run_.count, 1) << c.what;
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(run_.text[0]), static_cast<size_t>(run_.length[0])),
                      c.stored)
                << c.what;
            EXPECT_EQ(g_lineImgRegions.status[0], kRegionFinished) << c.what;
            EXPECT_EQ(run_.quad[0].c[3].x, 650) << c.what;
            EXPECT_EQ(run_.orientation[0], 1) << c.what;
        } else {
            EXPECT_EQ(run_.count, 0) << c.what;
            EXPECT_EQ(g_lineImgRegions.status[0], kRegionScanned) << c.what;
        }
        lineMultiReadFlags = 0;
    }
}

TEST_F(LineImgScan, RegionsTooWideOrFinishedAreNotRead) {
    InstallScript([](int, bool) { return std::optional<ScriptRead>(ScriptRead{"DB", 26}); });
    for (u8 status : {kRegionFinished, kRegionRefused, kRegionScanned}) {
        g_lineImgRegions.status[0] = status;
        EXPECT_EQ(Scan(), 0);
        EXPECT_EQ(g_lineImgRegions.status[0], status);
    }
    g_lineImgRegions.status[0] = 0;
    // First side longer than 1.2 x the frame width: left as it is.
    g_lineImgRegions.quads[0] = Box(-100, kTop, 803, kTop + 100);
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(g_lineImgRegions.status[0], 0);
    EXPECT_TRUE(g_seen.empty());
    g_lineImgRegions.quads[0] = Box(-100, kTop, 802, kTop + 100);
    run_.count = run_.limit;
    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(g_seen.empty());
}

// The attempt log of the last line, as the 1D driver leaves it.
void SetAttempts(std::vector<u8> codes, std::vector<i8> dirs) {
    LINE_CONTEXT &c = g_lineDriver.context;
    c.attemptFirst = 0;
    c.attemptCount = static_cast<u8>(codes.size());
    for (size_t k = 0; k < codes.size(); ++k) {
        c.attemptCodes[k] = codes[k];
        c.attemptDirections[k] = k < dirs.size() ? dirs[k] : 0;
    }
}

TEST_F(LineImgScan, AttemptReviewAndDirectionVotes) {
    struct Case {
        const char *what;
        std::vector<u8> codes;
        std::vector<i8> dirs;
        int answer;
        i8 voteBefore;
        i8 vote;
    };
    const Case cases[] = {
        {"no attempt", {}, {}, 0, 1, 1},
        {"disabled", {1}, {0}, 1, 1, 0},
        {"length refused", {2}, {1}, 1, 0, 1},
        {"read", {3}, {-1}, 0, 0, -1},
        {"three attempts", {4, 4, 3}, {1, 1, -1}, 3, 0, 1},
        {"forward beside more nones", {4, 3, 3}, {1, 0, 0}, 3, 1, 0},
        {"backward as often as none", {4, 4}, {-1, 0}, 0, 1, -1},
        {"a tie of forward and backward keeps the vote", {4, 4}, {1, -1}, 0, -1, -1},
        {"a tie below the nones clears it", {4, 4, 4, 4, 4}, {1, -1, 0, 0, 0}, 0, 1, 0},
    };
    for (const Case &c : cases) {
        g_lineImgVotes[0] = c.voteBefore;
        SetAttempts(c.codes, c.dirs);
        EXPECT_EQ(LineImg_ReviewAttempts(), c.answer) << c.what;
        EXPECT_EQ(g_lineImgVotes[0], c.vote) << c.what;
    }
    // Check-character failures: twice tolerated in a region, then the region stops.
    SetAttempts({11}, {0});
    EXPECT_EQ(LineImg_ReviewAttempts(), 0);
    EXPECT_EQ(LineImg_ReviewAttempts(), 0);
    EXPECT_EQ(LineImg_ReviewAttempts(), 2);
}

// A DataBar row the driver accumulated on the last line (attempt codes 4, then 3).
void SetPartialSegment(u16 finder) {
    SetAttempts({4, 3}, {1, 1});
    g_lineDriver.aux[0] = LINE_AUX{};
    g_lineDriver.aux[0].segments = g_lineDriver.segments;
    g_lineDriver.aux[0].segmentCapacity = kLineSegmentCapacity;
    g_lineDriver.aux[0].segmentCount = 1;
    g_lineDriver.segments[0] = LINE_AUX_ENTRY{1234, 567, finder, 1, 1, 1};
    g_lineDriver.results[0].aux = &g_lineDriver.aux[0];
}

TEST_F(LineImgScan, SegmentTallyAndBoundedLineRecords) {
    SetPartialSegment(9);
    EXPECT_EQ(LineImg_ReviewAttempts(), 0);
    EXPECT_EQ(LineImg_ReviewAttempts(), 0);
    EXPECT_EQ(g_lineImgState.segmentCount, 0);
    EXPECT_EQ(LineImg_ReviewAttempts(), 3);  // seen three times
    ASSERT_EQ(g_lineImgState.segmentCount, 1);
    EXPECT_EQ(g_lineImgLines[0].value, 9);
    EXPECT_EQ(g_lineImgLines[0].count, 3);
    EXPECT_EQ(g_lineImgLines[0].tag, 32);
    // Reviews and stored reads of one region append far more than 20 records: the list
    // stops at 20, its neighbours untouched.
    g_lineImgVotes[0] = 1;
    u16 widths[4] = {16, 16, 16, 16};
    LINEIMG_LINE_RECORD rec{};
    rec.widths = widths;
    rec.widthCount = 4;
    rec.id = 20;
    for (int k = 0; k < 30; ++k) {
        SetPartialSegment(9);
        // Read before the review appends (argument order is unspecified).
        const int expected = g_lineImgState.segmentCount < kLineImgLineRecordCap ? 3 : 0;
        EXPECT_EQ(LineImg_ReviewAttempts(), expected);
        LineImg_StoreLineResult(&rec);
    }
    EXPECT_EQ(g_lineImgState.segmentCount, kLineImgLineRecordCap);
    for (const LINEIMG_SEGMENT_LINE &l : g_lineImgLines) EXPECT_EQ(l.tag, 32);
}

TEST_F(LineImgScan, LongReadAsSecondResult) {
    const std::string text = std::string(200, 'L') + "END";
    InstallScript([&](int, bool fine) -> std::optional<ScriptRead> {
        if (fine) return std::nullopt;
        return ScriptRead{text, 26};
    });
    run_.count = 1;
    ASSERT_EQ(Scan(), 1);
    ASSERT_EQ(run_.count, 2);
    EXPECT_EQ(run_.length[1], static_cast<i32>(text.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(run_.text[1])), text);
    // Through the output: the pairing fallback joins both in reading order.
    g_lineImgOutput.pairMode = 1;
    std::memcpy(run_.text[0], "FIRST", 6);
    run_.length[0] = 5;
    run_.id[0] = 26;
    run_.quad[0] = Box(kLeft, 300, 650, 400);
    run_.centre[0] = {375, 350};
    run_.orientation[0] = 1;
    run_.auxDirection[0] = 1;
    ASSERT_EQ(LineImg_TryJoinFallback(&run_), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(g_lineImgOutput.text),
                          static_cast<size_t>(g_lineImgOutput.length)),
              text + "FIRST");
}

TEST_F(LineImgScan, StoredNarrowWidthIsInPixelsForFineReads) {
    // The whole-pixel line never reads; the fine one does, twice.
    InstallScript([](int, bool fine) -> std::optional<ScriptRead> {
        if (!fine) return std::nullopt;
        return ScriptRead{"FINE", 20};
    });
    ASSERT_EQ(Scan(), 1);
    // The narrowest element is 2 px (32 sixteenths of a pixel): about 2 x 32 after the
    // conversion from sixteenths of the 1040 samples spread over 550 px.
    EXPECT_NEAR(g_lineImgState.narrowWidth2, 64, 8);
}

}  // namespace
