// The multi-result list and the joining of several symbols into one result: structured-
// append pairs, repeated readings, Aztec grids in reading order, the pool and entry
// bounds, region trimming, and the smoothing of every second frame.
#include <string>
#include <vector>

#include "core/adapters.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "fake_modules.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;
using vexo_test::Fake;
using vexo_test::FakeScript;
using vexo_test::FakeSymbol;
using vexo_test::Square;

constexpr u32 kJoinedPair = kFlagEnabled | kFlag2DCountOption | 2;

class MultiCodeTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        frame_.assign(640 * 480, 128);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 640);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(frame_.data()));
        Dec_ResetMultiResultList();
        Dec_ResetDecodedQuads();
        for (u32 &w : g_params.lengthWord) w = 0xFFFF0000u;  // any length 0..65535
    }
    std::vector<u8> frame_;
};

struct Symbology {
    int record;  // matrix index
    u32 number;
    u32 codeChar;
    const char *aim;
};
constexpr Symbology kQr{0, kNumberQr, kCharQr, "]Q1"};
constexpr Symbology kDm{1, kNumberDataMatrix, kCharDataMatrix, "]d1"};
constexpr Symbology kAztec{2, kNumberAztec, kCharAztec, "]z0"};
constexpr Symbology kMaxi{3, kNumberMaxiCode, kCharMaxiCode, "]U0"};
constexpr Symbology kHanXin{4, kNumberCsCode, kCharCsCode, "]X0"};

// Matrix record s.record decodes the given symbols in a region; answers the gate.
// Kept out of line: inlined into the table loops it trips a false overlap warning of g++ 12.
[[gnu::noinline]] int Decoded(const Symbology &s, std::vector<FakeSymbol> symbols) {
    Fake<0>::Matrix(s.record, "m");
    FakeScript &f = Fake<0>::S();
    f.symbols = std::move(symbols);
    f.decoded = true;
    f.header = MODULE_HEADER{kKindMatrix, s.number, s.codeChar};
    std::memcpy(f.aim, s.aim, 3);
    Dec_ClearResultStore();
    Fake<0>::StoreSymbols();
    g_state.matrixIndex = s.record;
    g_state.moduleHeader = f.header;
    REGION_QUAD q{};
    return Dec_GateMultiResult(&q);
}

FakeSymbol Part(const std::string &text, REGION_QUAD outline, int index = 0, int count = 0) {
    return FakeSymbol{text, outline, count > 0, index, count};
}

std::string Taken(int reported) {
    const REPORTED_RESULT &r = g_reported[reported];
    return r.data != nullptr ? std::string(reinterpret_cast<const char *>(r.data), static_cast<size_t>(r.length))
                             : "(none)";
}

TEST_F(MultiCodeTest, StructuredAppendPairJoinsOnceBothAreRead) {
    g_params.flagsWord[kSymQr] = kJoinedPair;
    // The right symbol is read first.
    ASSERT_EQ(Decoded(kQr, {Part("RIGHT", Square(300, 100, 40), 1, 2)}), 1);
    EXPECT_EQ(Dec_TakePendingResult(), 0) << "a joined pair is left to the joining";
    EXPECT_EQ(Dec_TakeJoinedResult(0), 0) << "only one of two read";
    EXPECT_EQ(Taken(kReportedQr), "(none)");
    ASSERT_EQ(Decoded(kQr, {Part("LEFT", Square(100, 100, 40), 0, 2)}), 1);
    EXPECT_EQ(g_multiList.entryCount, 2);
    EXPECT_EQ(g_multiList.append[1].appendFlag, 1);
    EXPECT_EQ(g_multiList.append[1].count, 2);
    EXPECT_EQ(Dec_TakePendingResult(), 0);
    ASSERT_EQ(Dec_TakeJoinedResult(0), 1);
    EXPECT_EQ(Taken(kReportedQr), "LEFTRIGHT");
    EXPECT_EQ(g_reported[kReportedQr].status, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(g_takenIds), 6), "]Q1]Q1");
    EXPECT_EQ(g_takenText[9], 0) << "terminated";
    EXPECT_EQ(g_state.decodedModuleId, kModuleQr);
    EXPECT_EQ(g_multiList.takenResult.symbologyBit, kBitQr);
    EXPECT_EQ(vexo_test::GetWord(VEXO_ID_JOINED_COUNT), 2u);
    // Boxes in join order, widened by the QR margin of 40.
    JOINED_BOX boxes[4];
    ASSERT_EQ(Dec_CopyJoinedBoxes(boxes, 4), 2);
    EXPECT_EQ(boxes[0].left, 60);
    EXPECT_EQ(boxes[0].top, 60);
    EXPECT_EQ(boxes[0].right, 180);
    EXPECT_EQ(boxes[0].bottom, 180);
    EXPECT_EQ(boxes[1].left, 260);
    EXPECT_EQ(boxes[1].right, 380);
    EXPECT_EQ(Dec_CopyJoinedBoxes(boxes, 1), 1) << "the count shrinks to the copy";
    EXPECT_EQ(Dec_CopyJoinedBoxes(boxes, 4), 1);
}

TEST_F(MultiCodeTest, DuplicateCheckFlagsSetPartsWhileJoiningIsRequired) {
    // A structured-append QR symbol as the current result, a QR entry first in the list.
    Decoded(kQr, {Part("a", Square(0, 0, 10), 0, 2)});
    g_params.flagsWord[kSymQr] = kFlagEnabled | 1;
    EXPECT_EQ(Dec_CheckDuplicateResult(0), 1) << "single reading";
    g_params.flagsWord[kSymQr] = kJoinedPair;
    EXPECT_EQ(Dec_CheckDuplicateResult(0), 0);
    EXPECT_EQ(Dec_CheckDuplicateResult(1), 0);
    g_state.moduleHeader.kind = 0xC1;
    EXPECT_EQ(Dec_CheckDuplicateResult(0), 1) << "only 2D results";
    // The current result outside any set.
    Decoded(kQr, {Part("b", Square(20, 0, 10))});
    EXPECT_EQ(Dec_CheckDuplicateResult(1), 1);
    // A Data Matrix entry second: seen only by mode 1.
    Dec_ResetMultiResultList();
    g_params.flagsWord[kSymDataMatrix] = kJoinedPair;
    Decoded(kAztec, {Part("z", Square(0, 0, 10))});
    Decoded(kDm, {Part("d", Square(20, 0, 10), 0, 2)});
    EXPECT_EQ(Dec_CheckDuplicateResult(0), 1);
    EXPECT_EQ(Dec_CheckDuplicateResult(1), 0);
}

TEST_F(MultiCodeTest, JoinedTextOutsideTheLengthWindowIsNotTaken) {
    g_params.flagsWord[kSymQr] = kJoinedPair;
    g_params.lengthWord[kSlotQr] = 1 | (8u << 16);
    Decoded(kQr, {Part("RIGHT", Square(300, 100, 40), 1, 2)});
    Decoded(kQr, {Part("LEFT", Square(100, 100, 40), 0, 2)});
    EXPECT_EQ(Dec_TakeJoinedResult(0), 0);
    EXPECT_EQ(Taken(kReportedQr), "(none)");
    g_params.lengthWord[kSlotQr] = 1 | (9u << 16);
    EXPECT_EQ(Dec_TakeJoinedResult(0), 1);
}

TEST_F(MultiCodeTest, SingleSymbolsOfASetAreTakenAtOnceUnlessJoiningIsRequired) {
    struct Case {
        Symbology s;
        u32 word;
        int taken;
        u16 moduleId;
        int reported;
    };
    const Case cases[] = {
        {kQr, kFlagEnabled | 1, 1, 4, kReportedQr},
        {kQr, kFlagEnabled | 2, 1, 4, kReportedQr},  // two, but not all parts required
        {kQr, kJoinedPair, 0, 0, kReportedQr},
        {kDm, kFlagEnabled | 1, 1, 5, kReportedDataMatrix},
        {kHanXin, kFlagEnabled | 1, 1, 8, kReportedCsCode},
        {kAztec, kFlagEnabled | 1, 0, 0, kReportedAztec},  // Aztec parts are only joined
    };
    const int words[] = {kSymQr, kSymDataMatrix, kSymCsCode, kSymAztec};
    for (const Case &c : cases) {
        Dec_ResetMultiResultList();
        g_state.decodedModuleId = 0;
        for (int w : words) g_params.flagsWord[w] = c.word;
        ASSERT_EQ(Decoded(c.s, {Part("one", Square(10, 10, 30), 0, 3)}), 1);
        EXPECT_EQ(Dec_TakePendingResult(), c.taken) << c.s.number << " " << std::hex << c.word;
        EXPECT_EQ(g_state.decodedModuleId, c.moduleId);
        EXPECT_EQ(Taken(c.reported), c.taken ? "one" : "(none)");
    }
    // An entry outside any set is not taken this way.
    Dec_ResetMultiResultList();
    Decoded(kQr, {Part("plain", Square(10, 10, 30))});
    EXPECT_EQ(Dec_TakePendingResult(), 0);
}

TEST_F(MultiCodeTest, RepeatedReadingsCountOnce) {
    // The same Data Matrix symbol twice: the second reading is dropped before joining.
    g_params.flagsWord[kSymDataMatrix] = kFlagEnabled | 1;
    Decoded(kDm, {Part("SAME", Square(100, 100, 50))});
    Decoded(kDm, {Part("SAME", Square(104, 102, 50))});
    ASSERT_EQ(Dec_TakeJoinedResult(0), 1);
    EXPECT_EQ(g_multiList.entryCount, 1);
    EXPECT_EQ(Taken(kReportedDataMatrix), "SAME");
    // Mode 1 counts both readings but joins the text once.
    Dec_ResetMultiResultList();
    Decoded(kDm, {Part("SAME", Square(100, 100, 50))});
    Decoded(kDm, {Part("SAME", Square(104, 102, 50))});
    ASSERT_EQ(Dec_TakeJoinedResult(1), 1);
    EXPECT_EQ(Taken(kReportedDataMatrix), "SAME");
    EXPECT_EQ(Dec_GetJoinedCount(), 1);
    // Different texts are not the same symbol: a single symbol cannot be taken from two.
    Dec_ResetMultiResultList();
    Decoded(kDm, {Part("ONE", Square(100, 100, 50))});
    Decoded(kDm, {Part("TWO", Square(104, 102, 50))});
    EXPECT_EQ(Dec_TakeJoinedResult(0), 0);
    EXPECT_EQ(g_multiList.entryCount, 2);
    // Two overlapping QR readings listed as one pair: joined as one, the kept reading's text.
    Dec_ResetMultiResultList();
    g_params.flagsWord[kSymQr] = kJoinedPair;
    Decoded(kQr, {Part("B", Square(300, 100, 40), 0, 2)});
    Decoded(kQr, {Part("A", Square(295, 100, 40), 0, 2)});
    ASSERT_EQ(Dec_TakeJoinedResult(0), 1);
    EXPECT_EQ(Taken(kReportedQr), "B");
    EXPECT_EQ(Dec_GetJoinedCount(), 1);
}

TEST_F(MultiCodeTest, AfterTheLastRegionTheRulesSetTheRequiredCount) {
    struct Case {
        const char *what;
        Symbology s;
        int word;
        u32 flags;
        int read;  // symbols read, side by side
        int taken;
        std::string text;
    };
    const Case cases[] = {
        {"QR count rule: one of two read", kQr, kSymQr, kFlagEnabled | 2, 1, 1, "P0"},
        {"QR all parts required", kQr, kSymQr, kJoinedPair, 1, 0, ""},
        {"QR no count configured", kQr, kSymQr, kFlagEnabled, 2, 0, ""},
        {"Aztec rule: three of four read", kAztec, kSymAztec, kFlagEnabled | 4, 3, 1, "P0"},
        {"Aztec rule: all four read", kAztec, kSymAztec, kFlagEnabled | 4, 4, 1, "P0P1P2P3"},
        {"MaxiCode rule: 2 becomes 1", kMaxi, kSymMaxiCode, kFlagEnabled | 2, 2, 1, "P0"},
        {"Han Xin pair", kHanXin, kSymCsCode, kFlagEnabled | 2, 2, 1, "P0P1"},
    };
    for (const Case &c : cases) {
        Dec_ResetMultiResultList();
        for (u32 &w : g_params.flagsWord) w = 0;
        g_params.flagsWord[c.word] = c.flags;
        for (int i = 0; i < c.read; ++i) {
            const char name[3] = {'P', static_cast<char>('0' + i), 0};
            ASSERT_EQ(Decoded(c.s, {Part(name, Square(20 + 150 * i, 200, 60))}), 1) << c.what;
        }
        EXPECT_EQ(Dec_TakeJoinedResult(1), c.taken) << c.what;
        if (c.taken) {
            EXPECT_EQ(Taken(c.s.record), c.text) << c.what;  // reported words in record order
        }
    }
}

TEST_F(MultiCodeTest, AConfiguredCountOfZeroEndsTheSearchAtThatEntry) {
    g_params.flagsWord[kSymQr] = kFlagEnabled;  // no count
    g_params.flagsWord[kSymDataMatrix] = kFlagEnabled | 1;
    Decoded(kQr, {Part("q", Square(20, 20, 40))});
    Decoded(kDm, {Part("d", Square(200, 20, 40))});
    EXPECT_EQ(Dec_TakeJoinedResult(1), 0);
    // With the Data Matrix entry first it is joined.
    Dec_ResetMultiResultList();
    Decoded(kDm, {Part("d", Square(200, 20, 40))});
    Decoded(kQr, {Part("q", Square(20, 20, 40))});
    EXPECT_EQ(Dec_TakeJoinedResult(1), 1);
    EXPECT_EQ(Taken(kReportedDataMatrix), "d");
}

// A square of side 60 at (x, y) turned by quarter turns clockwise about its centre.
REGION_QUAD Turned(i32 x, i32 y, int quarters) {
    REGION_QUAD q = Square(x, y, 60);
    for (int t = 0; t < quarters; ++t) {
        // Clockwise on screen: the symbol's top-left corner comes to lie where its
        // top-right was, and so on round.
        const REGION_QUAD p = q;
        q.c[kTopLeft] = p.c[kTopRight];
        q.c[kTopRight] = p.c[kBottomRight];
        q.c[kBottomRight] = p.c[kBottomLeft];
        q.c[kBottomLeft] = p.c[kTopLeft];
    }
    return q;
}

TEST_F(MultiCodeTest, AztecGridsJoinInReadingOrder) {
    // Grid cells: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
    const POINT_I32 cell[4] = {{100, 100}, {200, 100}, {100, 200}, {200, 200}};
    struct Case {
        int quarters;
        int listed[4];   // cells in list order
        int reading[4];  // cells in reading order
    };
    const Case cases[] = {
        {0, {1, 0, 3, 2}, {0, 1, 2, 3}},  // upright: rows top to bottom, left to right
        {1, {0, 1, 2, 3}, {1, 3, 0, 2}},  // quarter turn: right column first, top to bottom
        {2, {0, 3, 1, 2}, {3, 2, 1, 0}},  // half turn: bottom row first, right to left
        {3, {2, 0, 3, 1}, {2, 0, 3, 1}},  // three quarters: left column first, bottom to top
    };
    for (const Case &c : cases) {
        REGION_QUAD parts[4];
        for (int i = 0; i < 4; ++i) parts[i] = Turned(cell[c.listed[i]].x, cell[c.listed[i]].y, c.quarters);
        i32 order[16] = {};
        ASSERT_EQ(Dec_JoinAztecSymbols(parts, 4, order), 4) << c.quarters;
        for (int t = 0; t < 4; ++t) EXPECT_EQ(c.listed[order[t]], c.reading[t]) << c.quarters << " at " << t;

        // The same through the list: texts named by cell, joined in reading order.
        Dec_ResetMultiResultList();
        g_params.flagsWord[kSymAztec] = kFlagEnabled | kFlag2DCountOption | 4;
        std::string want;
        for (int i = 0; i < 4; ++i) {
            Decoded(kAztec, {Part(std::string(1, static_cast<char>('a' + c.listed[i])), parts[i])});
            want += static_cast<char>('a' + c.reading[i]);
        }
        ASSERT_EQ(Dec_TakeJoinedResult(0), 1);
        EXPECT_EQ(Taken(kReportedAztec), want) << c.quarters;
        EXPECT_EQ(Dec_GetJoinedCount(), 4);
    }
    // An Aztec box is the grown outline without a margin: about 14 pixels on each side. The
    // first box is that of the first part read, the bottom-left cell in the last case.
    JOINED_BOX box{};
    ASSERT_EQ(Dec_CopyJoinedBoxes(&box, 1), 1);
    EXPECT_NEAR(box.left, 100 - 14, 1);
    EXPECT_NEAR(box.right, 160 + 14, 1);
    EXPECT_NEAR(box.top, 200 - 14, 1);
}

TEST_F(MultiCodeTest, GrowQuadMovesCornersAlongTheDiagonals) {
    const REGION_QUAD in = Square(100, 100, 40);
    REGION_QUAD out{};
    Dec_GrowQuad(&in, &out);
    const i32 want[8] = {86, 86, 154, 86, 86, 154, 154, 154};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(out.c[i].x, want[2 * i], 1) << i;
        EXPECT_NEAR(out.c[i].y, want[2 * i + 1], 1) << i;
    }
}

TEST_F(MultiCodeTest, TextPoolAndEntryBounds) {
    EXPECT_EQ(Dec_FitsTextPool(0, 8191), 1);
    EXPECT_EQ(Dec_FitsTextPool(0, 8192), 0);
    EXPECT_EQ(Dec_FitsTextPool(8191, 0), 1);
    EXPECT_EQ(Dec_FitsTextPool(8192, 0), 0);
    EXPECT_EQ(Dec_FitsTextPool(-1, 1), 0);
    EXPECT_EQ(Dec_FitsTextPool(1, -1), 0);
    EXPECT_EQ(Dec_FitsTextPool(0x7FFFFFFF, 0x7FFFFFFF), 0);

    // Two texts of 4000, then 191 bytes end at 8191; one byte more would reach the pool's end.
    const std::string big(4000, 'x');
    ASSERT_EQ(Decoded(kDm, {Part(big, Square(0, 0, 10)), Part(big, Square(20, 0, 10))}), 1);
    ASSERT_EQ(Decoded(kDm, {Part(std::string(191, 'y'), Square(40, 0, 10))}), 1);
    EXPECT_EQ(g_multiList.textTotal, 8191);
    EXPECT_EQ(Decoded(kDm, {Part("z", Square(60, 0, 10))}), 0);
    EXPECT_EQ(g_multiList.entryCount, 3);
    EXPECT_EQ(g_multiList.classCount[kCharDataMatrix], 3) << "a refused symbol is not counted";

    // Sixteen entries fill the list; the 17th is refused.
    Dec_ResetMultiResultList();
    for (int i = 0; i < 16; ++i) ASSERT_EQ(Decoded(kQr, {Part("t", Square(10 * i, 0, 8))}), 1) << i;
    EXPECT_EQ(Decoded(kQr, {Part("u", Square(300, 0, 8))}), 0);
    EXPECT_EQ(g_multiList.entryCount, 16);
    EXPECT_EQ(g_multiList.textTotal, 16);
}

TEST_F(MultiCodeTest, GateRefusesUnclassedOrEmptyStores) {
    EXPECT_EQ(Decoded(kQr, {}), 0) << "nothing stored";
    const Symbology odd{0, 1, 64, "]Q1"};
    EXPECT_EQ(Decoded(odd, {Part("x", Square(0, 0, 5))}), 0) << "code character 64";
    EXPECT_EQ(g_multiList.entryCount, 0);
    // A record without its raw-text slots cannot append.
    ASSERT_EQ(Decoded(kQr, {Part("x", Square(0, 0, 5))}), 1);
    SYM_MODULE r = g_modules.matrix[0];
    r.writeAimId = nullptr;
    Test_InstallMatrixModule(0, &r);
    EXPECT_EQ(Dec_AppendStoredResults(nullptr), 0);
    EXPECT_EQ(g_multiList.entryCount, 1);
}

TEST_F(MultiCodeTest, ListResetMarksEveryEntryUnused) {
    Decoded(kQr, {Part("x", Square(0, 0, 5), 0, 2)});
    g_joinedBoxCount = 3;
    g_reported[kReportedAztec].status = 0;
    EXPECT_EQ(Dec_ResetMultiResultList(), -1);
    EXPECT_EQ(g_multiList.entryCount, 0);
    EXPECT_EQ(g_multiList.textTotal, 0);
    EXPECT_EQ(g_multiList.append[0].appendFlag, 0);
    EXPECT_EQ(g_multiList.textPool, g_textPool);
    EXPECT_EQ(g_textPool[0], 0);
    for (const MULTI_ENTRY &e : g_multiList.entries) {
        EXPECT_EQ(e.kind, 0xFFFFFFFFu);
        EXPECT_EQ(e.symbologyNumber, 0xFFFFFFFFu);
        EXPECT_EQ(e.codeChar, -1);
    }
    EXPECT_EQ(g_joinedBoxCount, 0);
    EXPECT_EQ(g_reported[kReportedAztec].status, -1);
    // Unused entries are never taken.
    for (u32 &w : g_params.flagsWord) w = kFlagEnabled | 1;
    EXPECT_EQ(Dec_TakeJoinedResult(1), 0);
}

TEST_F(MultiCodeTest, DecodedOutlinesTrimTheNextRegions) {
    const REGION_QUAD wide = Square(0, 0, 200);
    struct Case {
        const char *what;
        REGION_QUAD decoded;
        i32 want[8];
    };
    const Case cases[] = {
        {"a symbol at the right edge cuts the right side", Square(150, 20, 100),
         {0, 0, 150, 0, 0, 200, 150, 200}},
        {"at the left edge the left side", Square(-50, 20, 100), {50, 0, 200, 0, 50, 200, 200, 200}},
        {"a quarter-turned symbol at the bottom cuts the bottom", Turned(20, 150, 1),
         {0, 0, 200, 0, 0, 150, 200, 150}},
        {"outside: nothing", Square(300, 300, 20), {0, 0, 200, 0, 0, 200, 200, 200}},
    };
    for (const Case &c : cases) {
        Dec_ResetDecodedQuads();
        g_state.matrixIndex = 0;
        Dec_RecordDecodedQuad(&c.decoded);
        REGION_QUAD q = wide;
        Dec_TrimRegionByDecoded(&q);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(q.c[i].x, c.want[2 * i]) << c.what << " corner " << i;
            EXPECT_EQ(q.c[i].y, c.want[2 * i + 1]) << c.what << " corner " << i;
        }
    }
    // The first outline without a corner inside ends the trimming.
    Dec_ResetDecodedQuads();
    const REGION_QUAD far = Square(500, 500, 10);
    const REGION_QUAD near = Square(150, 20, 100);
    Dec_RecordDecodedQuad(&far);
    Dec_RecordDecodedQuad(&near);
    REGION_QUAD q = wide;
    Dec_TrimRegionByDecoded(&q);
    EXPECT_EQ(q.c[kTopRight].x, 200);
    // Outlines of the extension records are kept but not counted; at most 16 are counted.
    Dec_ResetDecodedQuads();
    g_state.matrixIndex = 6;
    Dec_RecordDecodedQuad(&near);
    EXPECT_EQ(g_state.decodedQuadCount, 0);
    g_state.matrixIndex = 2;
    for (int i = 0; i < 20; ++i) Dec_RecordDecodedQuad(&near);
    EXPECT_EQ(g_state.decodedQuadCount, 16);
}

TEST_F(MultiCodeTest, PresetsSetTheirBitsAndKeepTheOthers) {
    for (u32 &w : g_params.flagsWord) w = 0x00800000u;  // bit 23, which no preset names
    Par_PresetAllLinear();
    EXPECT_EQ(g_params.flagsWord[kSymCode128], 0x00C04001u);     // enabled, lengths 1-64
    EXPECT_EQ(g_params.flagsWord[kSymMatrix25], 0x40C04001u);    // and bit 30
    EXPECT_EQ(g_params.flagsWord[kSymMsi], 0x00C08001u);         // 1-128
    EXPECT_EQ(g_params.flagsWord[kSymPlessey], 0x00C06401u);     // 1-100
    EXPECT_EQ(g_params.flagsWord[kSymDataBar], 0x80C0FF01u);
    EXPECT_EQ(g_params.flagsWord[kSymEan13], 0x00C00000u);       // enable bit only
    EXPECT_EQ(g_params.flagsWord[kSymIsbt128], 0x00800000u);     // not named
    g_params.flagsWord[kSymCode39] |= 0xC0000000u;
    Par_PresetAllLinear();
    EXPECT_EQ(g_params.flagsWord[kSymCode39], 0x00C04001u) << "check bits cleared";
    Par_PresetAll2d();
    EXPECT_EQ(g_params.flagsWord[kSymPdf417], 0x00C00071u);
    EXPECT_EQ(g_params.flagsWord[kSymQr], 0x00C00331u);
    EXPECT_EQ(g_params.flagsWord[kSymCsCode], 0x00C00071u);
    EXPECT_EQ(g_params.lengthWord[kSlotQr], 1u | (7089u << 16));
    EXPECT_EQ(g_params.lengthWord[kSlotCsCode], 1u | (7827u << 16));
    Par_PresetEnable53To58();
    EXPECT_EQ(g_params.flagsWord[55], 0x80C00000u);
    EXPECT_EQ(g_params.flagsWord[54], 0x00C00000u);
    EXPECT_EQ(g_params.flagsWord[59], 0x00800000u);
}

TEST_F(MultiCodeTest, PairOfFourteenAndTwelveCharacters) {
    const Symbology eleven{0, 1, 11, "]Q1"};
    Decoded(eleven, {Part("ABCDEFGHIJKLMN", Square(0, 0, 10))});
    Decoded(eleven, {Part("abcdefghijkl", Square(20, 0, 10))});
    u8 out[32] = {};
    i32 n = 0;
    ASSERT_EQ(Dec_JoinPairOf14And12(out, &n), 1);
    EXPECT_EQ(n, 26);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 26), "abcdefghijklABCDEFGHIJKLMN");
    Decoded(eleven, {Part("x", Square(40, 0, 10))});
    EXPECT_EQ(Dec_JoinPairOf14And12(out, &n), 0) << "three of the class";
}

// ---- Smoothing.

// The 1 2 1 / 2 4 2 / 1 2 1 kernel over the unsmoothed image, inside the bands.
std::vector<u8> ReferenceSmooth(const std::vector<u8> &img, int w, int h, int bandY, int bandX) {
    std::vector<u8> out = img;
    for (int y = bandY; y <= h - 1 - bandY; ++y) {
        for (int x = bandX; x <= w - 1 - bandX; ++x) {
            static const int k[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
            int s = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) s += k[dy + 1][dx + 1] * img[(y + dy) * w + (x + dx)];
            }
            out[y * w + x] = static_cast<u8>(s / 16);
        }
    }
    return out;
}

std::vector<u8> Noise(int w, int h, uint32_t seed) {
    std::vector<u8> v(static_cast<size_t>(w) * h);
    for (u8 &p : v) {
        seed = seed * 1664525u + 1013904223u;
        p = static_cast<u8>(seed >> 24);
    }
    return v;
}

TEST_F(MultiCodeTest, SmoothingMatchesTheKernelInsideTheBands) {
    struct Case {
        int w, h;
        bool smoothed;
    };
    const Case cases[] = {
        {640, 480, true}, {67, 131, true}, {66, 480, false}, {640, 130, false}, {67, 130, false}, {66, 131, false},
        {752, 480, true},
    };
    const uint32_t seed = 12345;
    for (const Case &c : cases) {
        std::vector<u8> img = Noise(c.w, c.h, seed);
        std::vector<u8> scratch(img.size(), 0);
        const std::vector<u8> want = c.smoothed ? ReferenceSmooth(img, c.w, c.h, 65, 33) : img;
        Dec_SmoothImage(img.data(), scratch.data(), c.w, c.h);
        EXPECT_TRUE(img == want) << c.w << "x" << c.h << " seed " << seed;
    }
    // 640 x 480: only rows 65-414 and columns 33-606 change.
    std::vector<u8> img = Noise(640, 480, seed);
    const std::vector<u8> before = img;
    std::vector<u8> scratch(img.size());
    Dec_SmoothImage(img.data(), scratch.data(), 640, 480);
    int firstRow = 480, lastRow = -1, firstCol = 640, lastCol = -1;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (img[y * 640 + x] == before[y * 640 + x]) continue;
            firstRow = std::min(firstRow, y);
            lastRow = std::max(lastRow, y);
            firstCol = std::min(firstCol, x);
            lastCol = std::max(lastCol, x);
        }
    }
    EXPECT_EQ(firstRow, 65);
    EXPECT_EQ(lastRow, 414);
    EXPECT_EQ(firstCol, 33);
    EXPECT_EQ(lastCol, 606);
    // The whole-frame form.
    std::vector<u8> full = Noise(20, 10, seed);
    const std::vector<u8> wantFull = ReferenceSmooth(full, 20, 10, 1, 1);
    std::vector<u8> s2(full.size());
    Dec_SmoothImageFull(full.data(), s2.data(), 20, 10);
    EXPECT_TRUE(full == wantFull);
}

}  // namespace
