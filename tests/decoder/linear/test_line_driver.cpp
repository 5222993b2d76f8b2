// The linear decode driver with scripted records: the walk and its move-to-front order,
// the attempt log, result selection and read-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/params.h"
#include "decoder_test.h"
#include "linear/edge_lists.h"
#include "linear/fake_records.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_table.h"

namespace {

using namespace vexo;
using namespace linetest;

constexpr uint16_t kEnabledId = kSymCode39;   // 20
constexpr uint16_t kDisabledId = kSymCodabar;  // 21
constexpr uint8_t kRowCodes[] = {kAttemptStackedRow, kAttemptExpandedRow};

class LineDriverTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        ResetFakes();
        Test_ClearLineTable();
        g_params.flagsWord[kSymCode128Form0] = kFlagEnabled;
        g_params.flagsWord[kEnabledId] = kFlagEnabled;
        line_ = MakeNoiseLine(40, 7);
        Install(line_);
    }
    // Fakes 0..20 at positions 0..20; position 21 stays empty like the end record.
    static void InstallTable() {
        for (int i = 0; i < kLineRecEnd; ++i) InstallFake(i, i);
    }
    static void Reads(int fake, std::vector<std::pair<uint16_t, uint16_t>> candidates, std::vector<FakeRead> reads) {
        g_fakes[fake].candidates = std::move(candidates);
        g_fakes[fake].reads = std::move(reads);
    }
    static std::vector<int> Identity() {
        std::vector<int> order;
        for (int i = 0; i < kLineRecEnd; ++i) order.push_back(i);
        order.push_back(-1);
        return order;
    }
    static std::vector<uint8_t> Codes() {
        uint8_t codes[kLineAttemptLimit];
        const uint8_t n = Line_CopyAttemptCodes(codes);
        return std::vector<uint8_t>(codes, codes + n);
    }
    static std::vector<int16_t> Directions() {
        int16_t dirs[kLineAttemptLimit];
        const uint8_t n = Line_CopyAttemptDirections(dirs);
        return std::vector<int16_t>(dirs, dirs + n);
    }
    static std::string Text() {
        const uint8_t *d = Line_GetResultData();
        return d == nullptr ? std::string("<null>") : std::string(reinterpret_cast<const char *>(d), Line_GetResultLength());
    }
    EdgeLine line_;
};

// ---- The walk and the table order.

TEST_F(LineDriverTest, WalkRunsRecordsInOrderAndMovesTheReaderToTheFront) {
    struct Case {
        const char *name;
        std::vector<int> readers;               // the fake that reads, one per line (-1 none)
        std::vector<std::vector<int>> locates;  // fakes whose locate ran, per line
        std::vector<int> order;                 // the table afterwards (fakes by position)
    };
    const std::vector<int> all = [] {
        std::vector<int> v;
        for (int i = 0; i < kLineRecEnd; ++i) v.push_back(i);
        return v;
    }();
    std::vector<int> code39First = {3, 0, 1, 2};
    for (int i = 4; i < kLineRecEnd; ++i) code39First.push_back(i);
    code39First.push_back(-1);
    std::vector<int> itfFirst = {5, 3, 0, 1, 2, 4};
    for (int i = 6; i < kLineRecEnd; ++i) itfFirst.push_back(i);
    itfFirst.push_back(-1);

    const Case cases[] = {
        {"a Code 39 line runs records 0-2 first, then Code 39 leads", {3}, {{0, 1, 2, 3}}, code39First},
        {"the first record reads: nothing moves", {0}, {{0}}, Identity()},
        {"the next line of the same symbol runs only the first record", {3, 3}, {{0, 1, 2, 3}, {3}}, code39First},
        {"a later family moves in front of the earlier one", {3, 5}, {{0, 1, 2, 3}, {3, 0, 1, 2, 4, 5}}, itfFirst},
        {"nothing read: every record runs and nothing moves", {-1}, {all}, Identity()},
        {"the order outlives lines that read nothing", {3, -1, -1}, {{0, 1, 2, 3}, {3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, {3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}}, code39First},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Test_ResetLinearStatics();
        Test_ClearLineTable();
        Install(line_);
        InstallTable();
        for (size_t k = 0; k < c.readers.size(); ++k) {
            ResetFakes();
            if (c.readers[k] >= 0) Reads(c.readers[k], {{0, 10}}, {FakeRead{}});
            EXPECT_EQ(Line_DecodeEdgeLine(), c.readers[k] >= 0 ? 1 : 0) << "line " << k;
            EXPECT_EQ(LocateOrder(), c.locates[k]) << "line " << k;
        }
        EXPECT_EQ(FakeOrder(), c.order);
    }
}

TEST_F(LineDriverTest, OrderSurvivesImagesInitAndReset) {
    InstallTable();
    Reads(3, {{0, 10}}, {FakeRead{}});
    ASSERT_EQ(Line_DecodeEdgeLine(), 1);
    const std::vector<int> moved = FakeOrder();
    ASSERT_EQ(moved[0], 3);

    std::vector<uint8_t> pixels(64 * 64, 200);
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 64);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 64);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uint64_t>(pixels.data()));
    EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
    EXPECT_EQ(FakeOrder(), moved);

    // Line_Reset runs the reset slots in the current order and leaves the order.
    InstallFake(6, 6, kWithoutReset);  // at its old place: no reset slot
    ResetFakes();
    Line_Reset();
    std::vector<std::pair<char, int>> expected;
    for (int fake : FakeOrder())
        if (fake >= 0 && fake != 6) expected.push_back({'R', fake});
    EXPECT_EQ(g_fakeCalls, expected);
    EXPECT_EQ(FakeOrder(), moved);
}

TEST_F(LineDriverTest, EmptyEnableSlotSkipsARecordAndADisabledWordDoesNot) {
    // Position 0 lacks its isEnabled slot: it never runs although it would read. Position 1
    // reads a symbol whose word is off: it runs, verifies, and the line ends with code 1.
    InstallFake(0, 0, kWithoutIsEnabled);
    InstallFake(1, 1);
    InstallFake(2, 2);
    Reads(0, {{0, 10}}, {FakeRead{}});
    FakeRead off;
    off.id = kDisabledId;
    Reads(1, {{0, 10}}, {off});
    Reads(2, {{0, 10}}, {FakeRead{}});
    EXPECT_EQ(Line_DecodeEdgeLine(), 0);
    EXPECT_EQ(LocateOrder(), (std::vector<int>{1}));
    EXPECT_EQ(g_fakes[1].verifyCalls, 1);
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{kAttemptDisabled}));
    EXPECT_EQ(FakeOrder()[0], 0);  // nothing moved
}

// ---- One record's outcomes: attempt codes, directions and whether the walk goes on.

TEST_F(LineDriverTest, AttemptOutcomesAsATable) {
    struct Case {
        const char *name;
        std::vector<std::pair<uint16_t, uint16_t>> candidates;  // of the first record
        std::vector<FakeRead> reads;
        unsigned without;
        std::vector<uint8_t> codes;
        std::vector<int16_t> directions;
        bool secondRuns;  // the record behind it (which reads "B")
        int answer;
        std::string text;
    };
    auto read = [](auto change) {
        FakeRead r;
        r.text = "A";
        change(r);
        return r;
    };
    LINE_AUX_ENTRY seg{};
    seg.value1 = 17;
    seg.finder = 3;
    const std::vector<std::pair<uint16_t, uint16_t>> fwd = {{0, 10}};
    const std::vector<std::pair<uint16_t, uint16_t>> rev = {{10, 0}};
    const Case cases[] = {
        {"length refused ends the line", fwd, {read([](FakeRead &r) { r.error = 2; })}, 0, {2}, {0}, false, 0, "<null>"},
        {"check character wrong ends the line", rev, {read([](FakeRead &r) { r.error = 11; r.verify = 0; })}, 0, {11}, {0}, false, 0, "<null>"},
        {"a disabled symbology ends the line", rev, {read([](FakeRead &r) { r.id = kDisabledId; })}, 0, {1}, {0}, false, 0, "<null>"},
        {"a refusal reporting a disabled id is logged as code 1", fwd, {read([](FakeRead &r) { r.id = kDisabledId; r.verify = 0; })}, 0, {1}, {0}, false, 0, "<null>"},
        {"a link value needs no enable bit", fwd, {read([](FakeRead &r) { r.id = kSymDataBar; r.link = 7; })}, 0, {3}, {1}, false, 1, "A"},
        {"without a link value the same read is code 1", fwd, {read([](FakeRead &r) { r.id = kSymDataBar; })}, 0, {1}, {0}, false, 0, "<null>"},
        {"a stacked row is accumulated and the walk goes on", rev, {read([&](FakeRead &r) { r.decodeAnswer = 0; r.auxKind = 1; r.variant = 1; r.segment = seg; })}, 0, {4, 3}, {-1, 1}, true, 1, "B"},
        {"an Expanded row is accumulated and the walk goes on", fwd, {read([&](FakeRead &r) { r.decodeAnswer = 0; r.auxKind = 1; r.variant = 3; r.segment = seg; r.direction = -1; })}, 0, {5, 3}, {-1, 1}, true, 1, "B"},
        {"a segment of another variant is not logged", fwd, {read([&](FakeRead &r) { r.decodeAnswer = 0; r.auxKind = 1; r.segment = seg; })}, 0, {3}, {1}, true, 1, "B"},
        {"a refused candidate gives way to the next one", {{0, 10}, {12, 20}}, {read([](FakeRead &r) { r.verify = 0; }), read([](FakeRead &r) { r.text = "A2"; })}, 0, {3}, {1}, false, 1, "A2"},
        {"a reversed candidate reads direction -1", rev, {read([](FakeRead &) {})}, 0, {3}, {-1}, false, 1, "A"},
        {"the direction the decode settles on is the one logged", rev, {read([](FakeRead &r) { r.direction = -2; })}, 0, {3}, {-2}, false, 1, "A"},
        {"nothing decoded: the next record reads", fwd, {read([](FakeRead &r) { r.decodeAnswer = 0; })}, 0, {3}, {1}, true, 1, "B"},
        {"row state 1 ends the record quietly", fwd, {read([](FakeRead &r) { r.decodeAnswer = 0; r.rowState = 1; })}, 0, {3}, {1}, true, 1, "B"},
        {"row state 2 stores an empty result", fwd, {read([](FakeRead &r) { r.decodeAnswer = 0; r.rowState = 2; r.id = kEnabledId; })}, 0, {3}, {1}, false, 0, ""},
        {"a record without verify reads nothing", fwd, {read([](FakeRead &) {})}, kWithoutVerify, {3}, {1}, true, 1, "B"},
        {"a count beyond the slot's room is not stored", fwd, {read([](FakeRead &r) { r.decodeAnswer = 300; })}, 0, {3}, {1}, true, 1, "B"},
        {"a candidate off the line ends the record", {{0, 40}}, {read([](FakeRead &) {})}, 0, {3}, {1}, true, 1, "B"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ResetFakes();
        Test_ClearLineTable();
        InstallFake(0, 0, c.without);
        InstallFake(1, 1);
        Reads(0, c.candidates, c.reads);
        FakeRead b;
        b.text = "B";
        Reads(1, {{20, 30}}, {b});
        EXPECT_EQ(Line_DecodeEdgeLine(), c.answer);
        EXPECT_EQ(Codes(), c.codes);
        EXPECT_EQ(Directions(), c.directions);
        EXPECT_EQ(g_fakes[1].decodeCalls > 0, c.secondRuns);
        EXPECT_EQ(Text(), c.text);
        const bool row = std::find_first_of(c.codes.begin(), c.codes.end(), std::begin(kRowCodes),
                                            std::end(kRowCodes)) != c.codes.end();
        LINE_AUX_ENTRY segs[kLineSegmentCapacity] = {};
        LINE_AUX out{};
        out.segments = segs;
        EXPECT_EQ(Line_CopyPartialSegment(&out), row ? 1 : 0);
    }
}

TEST_F(LineDriverTest, EmptyResultCountsForTheWalkButIsNotAnswered) {
    InstallFake(0, 0);
    FakeRead empty;
    empty.decodeAnswer = 0;
    empty.rowState = 2;
    Reads(0, {{0, 10}}, {empty});
    EXPECT_EQ(Line_DecodeEdgeLine(), 0);
    EXPECT_EQ(g_lineDriver.walkOk, 1);
    EXPECT_NE(Line_GetResultData(), nullptr);
    EXPECT_EQ(Line_GetResultLength(), 0);
    EXPECT_EQ(g_fakes[0].verifyCalls, 0);  // an empty result is not verified
    char aim[3] = {};
    Line_WriteResultAimId(aim);
    EXPECT_EQ(std::string(aim, 3), "]X0");
}

TEST_F(LineDriverTest, EmptyLineAnswersNothingWithAnEmptyLog) {
    InstallTable();
    struct Case {
        const char *name;
        int edges;
        bool nullWidths;
        int16_t widthCount;
    };
    const Case cases[] = {{"no edges", 0, false, 0}, {"no width array", 40, true, 39}, {"negative width count", 40, false, -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EdgeLine l = MakeNoiseLine(c.edges, 3);
        Install(l);
        if (c.nullWidths) g_lineEdgeInput.widths = nullptr;
        g_lineEdgeInput.widthCount = c.widthCount;
        for (int i = 0; i < kLineRecEnd; ++i) Reads(i, {{0, 1}}, {FakeRead{}});  // off an empty line
        EXPECT_EQ(Line_DecodeEdgeLine(), 0);
        EXPECT_EQ(Codes().size(), 0u);
        EXPECT_EQ(Line_GetResultData(), nullptr);
        EXPECT_EQ(Line_GetResultLength(), 0);
        EXPECT_EQ(Line_GetResultSymbology(), 0);
        char aim[4] = {'#', '#', '#', '#'};
        Line_WriteResultAimId(aim);
        EXPECT_EQ(std::string(aim, 4), "]X0#");
        LINE_AUX out{};
        out.elementFirst = 77;
        EXPECT_EQ(Line_CopyPartialSegment(&out), 0);
        EXPECT_EQ(out.elementFirst, 77);  // untouched
        EXPECT_TRUE(g_fakes[0].seenEdges.empty());
    }
}

TEST_F(LineDriverTest, WalkSeesOnlyTheEdgesBothArraysHold) {
    InstallFake(0, 0);
    g_lineEdgeInput.widthCount = 9;  // 40 edges handed over with 9 widths
    EXPECT_EQ(Line_DecodeEdgeLine(), 0);
    EXPECT_EQ(g_fakes[0].seenEdges, std::vector<uint16_t>(line_.edges.begin(), line_.edges.begin() + 10));
}

TEST_F(LineDriverTest, ResultReadBack) {
    InstallFake(0, 0);
    InstallFake(1, 1);
    LINE_AUX_ENTRY seg{};
    seg.value1 = 5;
    seg.value2 = 9;
    seg.finder = 2;
    seg.present = 1;
    FakeRead row;
    row.decodeAnswer = 0;
    row.auxKind = 1;
    row.variant = 1;
    row.segment = seg;
    Reads(0, {{14, 2}}, {row});  // a stacked row read reversed
    FakeRead r;
    r.text = "HELLO";
    r.id = kEnabledId;
    r.letter = 'A';
    r.modifier = '4';
    r.link = 3;
    r.variant = 2;
    r.auxKind = 0;
    Reads(1, {{30, 8}}, {r});
    g_lineEdgeInput.sampleCount = 5120;  // the longest line the profile path hands over
    ASSERT_EQ(Line_DecodeEdgeLine(), 1);
    EXPECT_EQ(Text(), "HELLO");
    EXPECT_EQ(Line_GetResultSymbology(), kEnabledId);
    char aim[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(Line_WriteResultAimId(aim), aim);
    EXPECT_EQ(std::string(aim, 4), "]A4#");
    EXPECT_EQ(Line_GetResultLinkFlag(), 3);
    EXPECT_EQ(Line_GetResultAuxDirection(), 65535);  // -1 as u16
    EXPECT_EQ(Line_GetResultAuxValue(), 2);
    int32_t first = 0, last = 0;
    Line_GetResultElementRange(&first, &last);
    EXPECT_EQ(first, 8);
    EXPECT_EQ(last, 30);
    EXPECT_EQ(g_lineDriver.results[0].startPos, line_.edges[8]);
    EXPECT_EQ(g_lineDriver.results[0].endPos, line_.edges[30]);
    EXPECT_EQ(g_lineDriver.context.lineLength, 81920u);
    EXPECT_EQ(Directions(), (std::vector<int16_t>{-1, -1}));

    // The partial segment: the row's entry (the read's own entry is empty and not added).
    LINE_AUX_ENTRY segs[kLineSegmentCapacity] = {};
    LINE_AUX out{};
    out.segments = segs;
    EXPECT_EQ(Line_CopyPartialSegment(&out), 1);
    EXPECT_EQ(out.segmentCount, 1);
    EXPECT_EQ(segs[0].value1, 5);
    EXPECT_EQ(segs[0].value2, 9);
    EXPECT_EQ(segs[0].count, 1);
    EXPECT_EQ(segs[0].direction, -1);
    EXPECT_EQ(out.variant, 2);
    EXPECT_EQ(out.attemptCount, 2);
    EXPECT_EQ(out.attemptCodes[0], kAttemptStackedRow);
    EXPECT_EQ(out.elementFirst, 8);
    EXPECT_EQ(out.elementLast, 30);
}

TEST_F(LineDriverTest, PartialSegmentOnlyAfterARow) {
    InstallFake(0, 0);
    Reads(0, {{0, 10}}, {FakeRead{}});
    ASSERT_EQ(Line_DecodeEdgeLine(), 1);
    LINE_AUX_ENTRY segs[kLineSegmentCapacity] = {};
    LINE_AUX out{};
    out.segments = segs;
    out.segmentCount = 99;
    EXPECT_EQ(Line_CopyPartialSegment(&out), 0);
    EXPECT_EQ(out.segmentCount, 99);  // only the range and the log are copied
    EXPECT_EQ(out.attemptCount, 1);
    EXPECT_EQ(out.elementLast, 10);
}

TEST_F(LineDriverTest, DecodeContextAsBuilt) {
    InstallFake(0, 0);
    FakeRead none;
    none.decodeAnswer = 0;
    Reads(0, {{12, 4}, {3, 9}}, {none});
    g_lineEdgeInput.sampleCount = 700;
    EXPECT_EQ(Line_DecodeEdgeLine(), 0);
    ASSERT_EQ(g_fakes[0].contexts.size(), 2u);
    const LINE_DECODE_CTX &r = g_fakes[0].contexts[0];
    EXPECT_EQ(r.widths, line_.widths.data() + 12);
    EXPECT_EQ(r.edges, line_.edges.data() + 12);
    EXPECT_EQ(r.edgesBase, line_.edges.data());
    EXPECT_EQ(r.direction, -1);
    EXPECT_EQ(r.elementCount, 9);
    EXPECT_EQ(r.startIndex, 12);
    EXPECT_EQ(r.endIndex, 4);
    EXPECT_EQ(r.edgeCount, 40);
    EXPECT_EQ(r.widthCount, 39);
    EXPECT_EQ(r.capacity, kLineTextCapacity);
    EXPECT_EQ(r.symbologyId, 0);
    EXPECT_EQ(r.aimLetter, 'X');
    EXPECT_EQ(r.aimModifier, '0');
    EXPECT_EQ(r.errorCode, 0);
    EXPECT_EQ(r.aux->segmentCapacity, kLineSegmentCapacity);
    EXPECT_EQ(r.rows, g_lineDriver.results[0].rows);
    const LINE_DECODE_CTX &f = g_fakes[0].contexts[1];
    EXPECT_EQ(f.direction, 1);
    EXPECT_EQ(f.elementCount, 7);
    EXPECT_EQ(g_fakes[0].seenLineLength, 700u * 16u);
}

// ---- Pieces of the driver on their own.

TEST(LineDriverPieces, NearestResultToTheLineMiddle) {
    struct Slot {
        uint16_t start, end, length;
    };
    struct Case {
        const char *name;
        std::vector<Slot> slots;
        uint32_t lineLength;
        int chosen;
    };
    const Case cases[] = {
        {"one result stays", {{100, 900, 4}}, 1600, 0},
        {"the end position can be the nearer", {{100, 790, 4}, {700, 1500, 4}}, 1600, 0},
        {"a later one wins when strictly nearer", {{100, 700, 4}, {790, 1500, 4}}, 1600, 1},
        {"a tie keeps the earlier", {{100, 790, 4}, {810, 1500, 4}}, 1600, 0},
        {"empty slots are passed over", {{800, 800, 0}, {100, 200, 4}}, 1600, 1},
        {"every slot empty", {{800, 800, 0}}, 1600, -1},
        {"lines beyond 16 bits measure in 32", {{60000, 65000, 3}, {1000, 2000, 3}}, 81920, 0},
        {"distances beyond 16 bits still choose", {{100, 200, 3}}, 16u * 65535u, 0},
        {"odd lengths drop the half sample", {{3, 9, 1}, {5, 5, 1}}, 9, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<LINE_RESULT> results(c.slots.size());
        for (size_t i = 0; i < c.slots.size(); ++i) {
            results[i].startPos = c.slots[i].start;
            results[i].endPos = c.slots[i].end;
            results[i].length = c.slots[i].length;
        }
        EXPECT_EQ(Line_PickNearestResult(results.data(), static_cast<int>(results.size()), c.lineLength), c.chosen);
    }
}

TEST(LineDriverPieces, AccumulateSegmentCountsEqualEntriesAndStopsWhenFull) {
    LINE_AUX_ENTRY listRoom[kLineSegmentCapacity + 1] = {};
    listRoom[kLineSegmentCapacity].value1 = 0x5A5A;  // canary behind the list
    LINE_AUX list{};
    list.segments = listRoom;
    list.segmentCapacity = kLineSegmentCapacity;
    LINE_AUX_ENTRY one{};
    LINE_AUX from{};
    from.segments = &one;
    from.segmentCapacity = 1;

    Line_AccumulateSegment(&list, &from);  // all zero: ignored
    EXPECT_EQ(list.segmentCount, 0);
    one = {.value1 = 4, .value2 = 6, .finder = 1, .present = 0, .direction = -1, .count = 9};
    Line_AccumulateSegment(&list, &from);
    EXPECT_EQ(list.segmentCount, 1);
    EXPECT_EQ(listRoom[0].count, 0);  // not present: appended uncounted
    EXPECT_EQ(listRoom[0].direction, -1);
    one.present = 1;
    one.direction = 1;
    Line_AccumulateSegment(&list, &from);  // same value1, finder, value2: counted
    EXPECT_EQ(list.segmentCount, 1);
    EXPECT_EQ(listRoom[0].count, 1);
    EXPECT_EQ(listRoom[0].direction, -1);
    for (int v = 1; v <= 11; ++v) {
        one.value2 = 100 + v;
        Line_AccumulateSegment(&list, &from);
    }
    EXPECT_EQ(list.segmentCount, kLineSegmentCapacity);  // the 12th distinct entry was dropped
    EXPECT_EQ(listRoom[10].value2, 110);
    EXPECT_EQ(listRoom[kLineSegmentCapacity].value1, 0x5A5A);
}

TEST(LineDriverPieces, AttemptLogKeepsAtMost32Entries) {
    LINE_CONTEXT c{};
    c.attemptLimit = kLineAttemptLimit;
    for (int i = 0; i < 40; ++i) Line_LogAttempt(&c, i % 2 == 0 ? kAttemptRead : kAttemptCheck, -1);
    EXPECT_EQ(c.attemptCount, kLineAttemptLimit);
    EXPECT_EQ(c.attemptCodes[31], kAttemptCheck);
    EXPECT_EQ(c.attemptDirections[30], -1);
    EXPECT_EQ(c.attemptDirections[31], 0);  // no direction with code 11
    c = LINE_CONTEXT{};
    c.attemptLimit = 200;  // a limit beyond the log's room is the room
    for (int i = 0; i < 40; ++i) Line_LogAttempt(&c, kAttemptRead, 1);
    EXPECT_EQ(c.attemptCount, kLineAttemptLimit);
}

}  // namespace
