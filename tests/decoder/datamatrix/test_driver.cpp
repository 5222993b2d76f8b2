// The Data Matrix module driver over scripted stages: fetching, ranking, the centre-in-ROI
// option, the square-only refusal, re-sampling, the best status, the result store, the
// accessors, the module record, and the routines no decode path calls.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/adapters.h"
#include "core/params.h"
#include "datamatrix/test_hooks_dm.h"
#include "dm_script.h"
#include "dm_test_util.h"

namespace {

using dmtest::CornerOf;
using dmtest::g_s;
using dmtest::kCentre;
using dmtest::kScripted;
using dmtest::L;
using dmtest::Reflected;
using dmtest::Script;
using dmtest::SquareAt;
using vexo::DM_GEOMETRY;
using vexo::DM_L_CANDIDATE;
using vexo::DM_PREPARED_CANDIDATE;
using vexo::GEO_POINT;

class Driver : public dmtest::DmTest {
protected:
    void SetUp() override {
        dmtest::DmTest::SetUp();
        g_s = Script{};
        vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u | vexo::kFlag2DDarkOnLight |
                                                          vexo::kFlag2DLightOnDark | vexo::kFlag2DOption7 |
                                                          vexo::kFlagDmSquareOnly;
    }
    static int Run() { return vexo::DM_DecodeImageWith(&kScripted); }
    static bool SameCorners(const std::vector<DM_L_CANDIDATE> &expected) {
        if (expected.size() != g_s.located.size()) return false;
        for (size_t i = 0; i < expected.size(); ++i) {
            const GEO_POINT c = CornerOf(expected[i]);
            if (c.x != g_s.located[i].x || c.y != g_s.located[i].y) return false;
        }
        return true;
    }
    // A symbol the scripted locate finds and the sampler reads: geometry of a one-region
    // square (or what the caller sets), data modules counted `error` off the truth.
    static void UseSymbol(int sizeIndex, const std::string &text, int layoutClass, int error = 0) {
        const vexo::DM_SIZE_ROW &row = dmtest::Row(sizeIndex);
        const std::vector<uint8_t> mapping = dmtest::SymbolMatrix(sizeIndex, dmtest::AsciiData(text, row.dataCodewords));
        g_s.symbol = dmtest::AddPatterns(sizeIndex, mapping);
        g_s.symbolRows = row.symbolRows;
        g_s.symbolCols = row.symbolCols;
        g_s.setGeometry = true;
        g_s.geometry = DM_GEOMETRY{};
        g_s.geometry.layoutClass = layoutClass;
        g_s.geometry.regionRows = row.symbolRows / (row.regionRows + 2);
        g_s.geometry.regionCols = row.symbolCols / (row.regionCols + 2);
        g_s.geometry.moduleRows = row.regionRows + error;
        g_s.geometry.moduleCols = row.regionCols + error;
        g_s.locateAnswers.assign(8, 0);
    }
};

// ---- Fetching and ranking.

TEST_F(Driver, FetchShiftsToPixelsAndOrdersTheArmsOfBothPolarities) {
    g_s.candidates = {L({100, 50}, {100, 150}, {200, 150}, 1), L({100, 50}, {100, 150}, {200, 150}, 0),
                      DM_L_CANDIDATE{-20, -1, 0, 0, 31, 33, -16, 17, 1}};
    vexo::DM_CANDIDATE c[20] = {};
    ASSERT_EQ(vexo::DM_FetchLCandidates(&kScripted, c, 20), 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(c[i].valid, 1);
        EXPECT_EQ(c[i].darkOnLight, i == 0 ? 1 : 0);
        EXPECT_EQ(c[i].armEnd1.x, 100);  // the top-left end for both polarities
        EXPECT_EQ(c[i].armEnd1.y, 50);
        EXPECT_EQ(c[i].armEnd2.x, 200);
        EXPECT_EQ(c[i].corner.y, 150);
        EXPECT_EQ(c[i].fourthCorner.x, 0);
        EXPECT_EQ(c[i].arm1Length, 0);
    }
    // Arithmetic shifts of 1/16-pixel coordinates.
    EXPECT_EQ(c[2].armEnd1.x, -2);
    EXPECT_EQ(c[2].armEnd1.y, -1);
    EXPECT_EQ(c[2].armEnd2.x, 1);
    EXPECT_EQ(c[2].corner.x, -1);
    // At most max are fetched, and the finder is not asked once more.
    g_s = Script{};
    for (int i = 0; i < 25; ++i) g_s.candidates.push_back(SquareAt(i, 0));
    EXPECT_EQ(vexo::DM_FetchLCandidates(&kScripted, c, 20), 20);
    EXPECT_EQ(g_s.getCalls, 20);
}

TEST_F(Driver, CandidatesAreRankedByDistanceFromTheImageCentre) {
    const DM_L_CANDIDATE far = SquareAt(200, 0), near = SquareAt(0, 50), mid = SquareAt(-100, 30);
    const DM_L_CANDIDATE left = SquareAt(-80, -40), right = Reflected(left);
    // The second arm shorter than three fifths of the first: skipped.
    const DM_L_CANDIDATE thin = L({kCentre.x, kCentre.y - 100}, {kCentre.x, kCentre.y}, {kCentre.x + 59, kCentre.y});
    // A corner half-way between the arm ends: parallel diagonals, scored with the mean of
    // its corners (the image centre here), so it comes first.
    const DM_L_CANDIDATE flat = L({kCentre.x - 50, kCentre.y - 50}, kCentre, {kCentre.x + 50, kCentre.y + 50});
    struct Case {
        const char *name;
        std::vector<DM_L_CANDIDATE> fetched;
        std::vector<DM_L_CANDIDATE> tried;
    };
    std::vector<DM_L_CANDIDATE> seven, sevenTried;
    for (int i = 0; i < 7; ++i) seven.push_back(SquareAt(30 * (7 - i), 0));
    for (int i = 6; i >= 1; --i) sevenTried.push_back(seven[static_cast<size_t>(i)]);
    std::vector<DM_L_CANDIDATE> withThin = seven;
    withThin.insert(withThin.begin(), thin);
    const Case cases[] = {
        {"nearest first", {far, near, mid}, {near, mid, far}},
        {"equal scores in fetch order", {right, left}, {right, left}},
        {"equal scores in fetch order, reversed", {left, right}, {left, right}},
        {"a seventh is never tried", seven, sevenTried},
        {"a thin L is skipped and counts for nothing", withThin, sevenTried},
        {"parallel diagonals", {mid, flat}, {flat, mid}},
        {"one candidate, thin: nothing", {thin}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_s = Script{};
        g_s.candidates = c.fetched;
        EXPECT_EQ(Run(), -100);
        EXPECT_TRUE(SameCorners(c.tried));
    }
}

TEST_F(Driver, CentreInRoiSkipsCandidatesOfTheSingleSymbolMode) {
    vexo::g_state.extraGeometryStep = 1;
    vexo::g_state.roiQuad = vexo::REGION_QUAD{{{326, 190}, {426, 190}, {326, 290}, {426, 290}}};
    const DM_L_CANDIDATE inside = SquareAt(0, 30), outside = SquareAt(100, 0);
    const DM_L_CANDIDATE flat = L({kCentre.x - 50, kCentre.y - 50}, kCentre, {kCentre.x + 50, kCentre.y + 50});
    g_s.candidates = {outside, inside, flat};
    Run();
    EXPECT_TRUE(SameCorners({flat, inside}));
    // Read mode 2 without a pair falls back to the single-symbol path without the test.
    g_s = Script{};
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] = (vexo::g_params.flagsWord[vexo::kSymDataMatrix] & ~0xFu) | 2u;
    g_s.candidates = {outside, inside};
    Run();
    EXPECT_EQ(g_s.pairCalls, 1);
    EXPECT_TRUE(SameCorners({inside, outside}));
}

// ---- Per candidate.

TEST_F(Driver, SquareOnlyRefusesARectangleBeforeSampling) {
    g_s.candidates = {SquareAt(0, 0)};
    UseSymbol(25, "HI", vexo::kDmLayoutRectangle);
    EXPECT_EQ(Run(), -30);
    EXPECT_EQ(g_s.regularizeCalls, 0);
    EXPECT_TRUE(g_s.sampledRows.empty());
    // With bit 8 clear the rectangle is read.
    g_s.next = 0;
    g_s.located.clear();
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] &= ~vexo::kFlagDmSquareOnly;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(dmtest::ResultText(), "HI");
    EXPECT_EQ(g_s.regularizeCalls, 1);
    EXPECT_EQ(g_s.sampledRows, std::vector<int>({8}));
    EXPECT_EQ(g_s.sampledCols, std::vector<int>({18}));
}

TEST_F(Driver, OneRegionSquaresAreSampledOnceMore) {
    struct Case {
        const char *name;
        int sizeIndex;
        int layoutClass;
        int error;  // data modules per region side off the truth
        int status;
        std::vector<int> sampled;
    };
    const Case cases[] = {
        {"right first time", 1, vexo::kDmLayoutSquare1, 0, 0, {12}},
        // 9 x 9 is odd: no ECC 000-140 header in these modules, 30; one module more reads it.
        {"one short: 30, then one more", 1, vexo::kDmLayoutSquare1, -1, 0, {11, 12}},
        // No block correctable: one module fewer (an odd size again, 30).
        {"-10, then one fewer", 1, vexo::kDmLayoutSquare1, 2, 30, {14, 13}},
        {"2 x 2 regions: never again", 9, vexo::kDmLayoutSquare2, 2, -10, {18}},
        // An odd rectangle is no ECC 000-140 symbol (-1000, which ranks below -100).
        {"rectangles: never again", 27, vexo::kDmLayoutRectangle, -1, -100, {11}},
    };
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] &= ~vexo::kFlagDmSquareOnly;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_s = Script{};
        g_s.candidates = {SquareAt(0, 0)};
        UseSymbol(c.sizeIndex, "GO", c.layoutClass, c.error);
        EXPECT_EQ(Run(), c.status);
        EXPECT_EQ(g_s.sampledRows, c.sampled);
        if (c.status == 0) {
            EXPECT_EQ(dmtest::ResultText(), "GO");
        }
    }
}

TEST_F(Driver, SamplingFailuresAndCountsNoAreaHoldsAreMinus30) {
    g_s.candidates = {SquareAt(0, 0)};
    g_s.sampleAnswer = -1;
    UseSymbol(1, "X", vexo::kDmLayoutSquare1);
    EXPECT_EQ(Run(), -30);
    g_s = Script{};
    g_s.candidates = {SquareAt(0, 0)};
    UseSymbol(1, "X", vexo::kDmLayoutSquare1);
    g_s.geometry.regionRows = 7;  // beyond the lattice
    g_s.geometry.regionCols = 7;
    EXPECT_EQ(Run(), -30);
    EXPECT_TRUE(g_s.sampledRows.empty());
    // A caller's second buffer of a frame too small for the module's areas.
    std::vector<vexo::u8> small(300 * 300);
    vexo::Pix_SetSecondBuffer(small.data());
    vexo::Pix_SetImageSize(300, 300);
    g_s.next = 0;
    g_s.geometry.regionRows = 1;
    g_s.geometry.regionCols = 1;
    EXPECT_EQ(vexo::DM_WorkBuffer(), nullptr);
    EXPECT_EQ(Run(), -30);
    EXPECT_EQ(vexo::DM_GetMappingBuffer(), nullptr);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    EXPECT_EQ(vexo::DM_GetMappingBuffer(), vexo::g_internalImage + vexo::kDmModuleMatrixOffset);
    EXPECT_EQ(vexo::DM_GetModuleBuffer(), vexo::g_internalImage + vexo::kDmBinaryMatrixOffset);
}

TEST_F(Driver, BestStatusOfTheDecode) {
    struct Case {
        std::vector<int> answers;
        int best;
    };
    const Case cases[] = {
        {{-100, -30, 30}, 30}, {{30, 5}, 5}, {{-10, -1000}, -10}, {{-1000, -10}, -10}, {{20, -30, 30}, 20},
    };
    for (const Case &c : cases) {
        g_s = Script{};
        for (size_t i = 0; i < c.answers.size(); ++i) g_s.candidates.push_back(SquareAt(20 * static_cast<int>(i), 0));
        g_s.locateAnswers = c.answers;
        EXPECT_EQ(Run(), c.best) << c.answers.size() << " answers, first " << c.answers[0];
        EXPECT_EQ(vexo::DM_GetBestStatus(), c.best);
    }
    vexo::DM_KeepBestStatus(-10000);
    EXPECT_EQ(vexo::DM_GetBestStatus(), -10000);
    vexo::DM_KeepBestStatus(-20000);
    EXPECT_EQ(vexo::DM_GetBestStatus(), -10000);
    vexo::DM_KeepBestStatus(0);
    vexo::DM_KeepBestStatus(5);
    EXPECT_EQ(vexo::DM_GetBestStatus(), 0);
}

TEST_F(Driver, ResultStoreAccessorsAndNoCandidate) {
    vexo::g_params.resultStore.storedCount = 0;
    const char *texts[] = {"FIRST", "SECOND", "THIRD"};
    for (int i = 0; i < 3; ++i) {
        g_s = Script{};
        g_s.candidates = {SquareAt(0, 0)};
        g_s.corners = vexo::REGION_QUAD{{{i, 0}, {i + 10, 0}, {i, 10}, {i + 10, 10}}};
        UseSymbol(2, texts[i], vexo::kDmLayoutSquare1);
        EXPECT_EQ(Run(), 0);
    }
    const vexo::RESULT_STORE &rs = vexo::g_params.resultStore;
    EXPECT_EQ(rs.storedCount, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(rs.storedData0), static_cast<size_t>(rs.storedLength[0])), "FIRST");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(rs.storedData1), static_cast<size_t>(rs.storedLength[1])), "SECOND");
    EXPECT_EQ(rs.storedQuad[1].c[0].x, 1);
    // The accessors read the last decode.
    EXPECT_STREQ(reinterpret_cast<const char *>(vexo::DM_GetResultText()), "THIRD");
    EXPECT_EQ(vexo::DM_GetResultLength(), 5);
    vexo::REGION_QUAD q{};
    vexo::DM_GetCorners(&q);
    EXPECT_EQ(q.c[3].x, 12);
    char aim[4] = {0, 0, 0, '#'};
    vexo::DM_WriteAimId(aim);
    EXPECT_EQ(std::string(aim, 4), "]d1#");
    // No candidate: -100, length 0, no text; the structured-append data stays.
    vexo::g_dmSaInfo.saPresent = 1;
    g_s = Script{};
    EXPECT_EQ(Run(), -100);
    EXPECT_EQ(vexo::DM_GetResultLength(), 0);
    EXPECT_EQ(vexo::DM_GetResultText(), nullptr);
    EXPECT_EQ(vexo::DM_HasSa(), 1);
    EXPECT_EQ(vexo::DM_GetSaFileId(2), 0);
}

// The core's Data Matrix record over the real decode operation with scripted stages.
TEST_F(Driver, ThroughTheModuleRecord) {
    vexo::Test_SetDmStages(&kScripted);
    struct Case {
        unsigned minLength, maxLength;
        int answer, status;
    };
    for (const Case c : {Case{1, 100, 1, 0}, Case{1, 8, 1, 0}, Case{9, 100, 0, 11}, Case{1, 7, 0, 11}}) {
        g_s = Script{};
        g_s.candidates = {SquareAt(0, 0)};
        UseSymbol(3, "8 BYTES.", vexo::kDmLayoutSquare1);
        vexo::g_params.lengthWord[vexo::kSlotDataMatrix] = c.minLength | (c.maxLength << 16);
        vexo::g_state.lastSymbologyCode = 0;
        EXPECT_EQ(vexo::Sym_DecodeThrough(&vexo::g_adapterDesc[vexo::kAdapterDataMatrix]), c.answer) << c.minLength;
        EXPECT_EQ(vexo::g_adapterStatus[vexo::kAdapterDataMatrix], c.status) << c.minLength;
        EXPECT_EQ(vexo::g_state.lastSymbologyCode, 261);
    }
    // Disabled: the decode does not run.
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] &= ~vexo::kFlagEnabled;
    g_s = Script{};
    g_s.candidates = {SquareAt(0, 0)};
    EXPECT_EQ(vexo::Sym_DecodeThrough(&vexo::g_adapterDesc[vexo::kAdapterDataMatrix]), 0);
    EXPECT_EQ(g_s.getCalls, 0);
    // The module's own stages find no candidate yet.
    vexo::Test_SetDmStages(nullptr);
    EXPECT_EQ(vexo::DM_DecodeImage(), -100);
}

// ---- Pure routines.

TEST_F(Driver, CosineAndDistances) {
    const GEO_POINT o{0, 0}, x{100, 0}, y{0, 100}, d{100, 100}, back{-100, 0};
    EXPECT_EQ(vexo::DM_CosineTimes1000(&o, &x, &y), 0);
    EXPECT_EQ(vexo::DM_CosineTimes1000(&o, &x, &d), 709);  // from truncated side lengths
    EXPECT_EQ(vexo::DM_CosineTimes1000(&o, &x, &back), -1000);
    EXPECT_EQ(vexo::DM_CosineTimes1000(&o, &o, &x), 0);  // a degenerate side
    // Points thousands of pixels apart: the product is formed in 64 bits.
    const GEO_POINT p{0, 0}, q{3000, 0}, r{3000, 3000};
    EXPECT_EQ(vexo::DM_CosineTimes1000(&p, &q, &r), 707);
    const GEO_POINT far{-40000, 30000};
    EXPECT_EQ(vexo::DM_CosineTimes1000(&p, &far, &far), 1000);
    EXPECT_EQ(vexo::DM_DistanceFromImageCentre(kCentre), 0);
    EXPECT_EQ(vexo::DM_DistanceFromImageCentre(GEO_POINT{376 + 30, 240 + 40}), 50);
    EXPECT_EQ(vexo::DM_DistanceFromImageCentre(GEO_POINT{0, 0}), 446);
}

TEST_F(Driver, PreparingCandidates) {
    vexo::DM_CANDIDATE c[3] = {};
    c[0].armEnd1 = {100, 0};
    c[0].corner = {100, 100};
    c[0].armEnd2 = {159, 100};  // 5 x 59 < 3 x 100: not valid
    c[0].contrastHint = 0x1FF;
    c[1] = c[0];
    c[1].armEnd2 = {200, 100};
    c[2] = c[1];
    c[2].armEnd1 = {100, 90};  // a first arm much shorter than the second stays valid
    DM_PREPARED_CANDIDATE p{};
    EXPECT_EQ(vexo::DM_PrepareCandidate(&p, &c[0]), 100);  // the longer arm
    EXPECT_EQ(p.valid, 0);
    EXPECT_EQ(p.contrastHint, 0xFF);
    EXPECT_EQ(c[0].fourthCorner.x, 159);
    EXPECT_EQ(c[0].fourthCorner.y, 0);
    EXPECT_EQ(vexo::DM_PrepareCandidate(&p, &c[1]), 1);
    EXPECT_EQ(p.arm2Length, 100);
    EXPECT_EQ(p.longerArm, 100);
    DM_PREPARED_CANDIDATE out[3] = {};
    EXPECT_EQ(vexo::DM_PrepareCandidates(out, c, 3), 2);
    EXPECT_EQ(out[2].valid, 1);
    EXPECT_EQ(out[2].fourthCorner.y, 90);
    // The copying form keeps the fourth corner as it stands.
    c[2].fourthCorner = {7, 7};
    EXPECT_EQ(vexo::DM_PrepareCandidatesCopy(out, c, 3), 2);
    EXPECT_EQ(out[2].fourthCorner.x, 7);
}

TEST_F(Driver, OptionsFromTheWordAndTheRoutinesNoDecodePathCalls) {
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] =
        vexo::kFlagEnabled | vexo::kFlagDmLimitLayouts | vexo::kFlagDmCodewordDump | vexo::kFlagDmAcceptLeadingPad;
    vexo::DM_ReadOptions();
    EXPECT_EQ(vexo::g_dmOptions.limitLayouts, 1);
    EXPECT_EQ(vexo::DM_GetConfigBit12(), 1);
    EXPECT_EQ(vexo::g_dmOptions.segmentFinderOption, 0);
    EXPECT_EQ(vexo::g_dmOptions.acceptLeadingPad, 1);
    EXPECT_EQ(vexo::g_dmOptions.squareOnly, 0);
    EXPECT_EQ(vexo::g_dmOptions.codewordDump, 1);
    struct Word {
        vexo::u32 word;
        int limit, segment, multi, pad, square, dump, spare1, spare2;
    };
    const Word words[] = {
        {0, 0, 0, 0, 0, 0, 0, 0, 1},
        {0x1u | 0x2u | 0x4u, 1, 1, 0, 1, 0, 0, 0, 1},
        {0x18u | 0x80u | 0x100u | 0x10000u, 0, 0, 3, 0, 1, 1, 1, 0},
        {0x10u | 0x20000u, 0, 0, 2, 0, 0, 0, 1, 1},
        {0x30000u, 0, 0, 0, 0, 0, 0, 1, 1},
    };
    for (const Word &w : words) {
        vexo::DM_SetOptionsFromWord(w.word);
        const vexo::DM_OPTIONS &o = vexo::g_dmOptions;
        EXPECT_EQ(o.limitLayouts, w.limit) << w.word;
        EXPECT_EQ(o.segmentFinderOption, w.segment) << w.word;
        EXPECT_EQ(o.multiSymbol, w.multi) << w.word;
        EXPECT_EQ(o.acceptLeadingPad, w.pad) << w.word;
        EXPECT_EQ(o.squareOnly, w.square) << w.word;
        EXPECT_EQ(o.codewordDump, w.dump) << w.word;
        EXPECT_EQ(o.spareOption1, w.spare1) << w.word;
        EXPECT_EQ(o.spareOption2, w.spare2) << w.word;
    }
    // The reset: read mode 2 with bit 4 gives 1, without 2; read mode 1 with bit 4 gives 0.
    struct Mode {
        vexo::u32 word;
        int multi, spare1, spare2;
    };
    for (const Mode m : {Mode{2u | vexo::kFlag2DCountOption, 1, 0, 0}, Mode{2u | vexo::kFlag2DDarkOnLight, 2, 0, 1},
                         Mode{1u | vexo::kFlag2DCountOption | vexo::kFlag2DLightOnDark, 0, 1, 0}}) {
        vexo::g_dmResult.length = 9;
        vexo::g_dmSaInfo.saPresent = 1;
        vexo::g_dmData.mirrorFirst = 1;
        vexo::g_params.flagsWord[vexo::kSymDataMatrix] = m.word | vexo::kFlagDmSquareOnly;
        vexo::DM_ResetModuleState();
        EXPECT_EQ(vexo::g_dmOptions.multiSymbol, m.multi) << m.word;
        EXPECT_EQ(vexo::g_dmOptions.spareOption1, m.spare1) << m.word;
        EXPECT_EQ(vexo::g_dmOptions.spareOption2, m.spare2) << m.word;
        EXPECT_EQ(vexo::g_dmOptions.squareOnly, 1);
        EXPECT_EQ(vexo::g_dmResult.length, 0);
        EXPECT_EQ(vexo::DM_HasSa(), 0);
        EXPECT_EQ(vexo::g_dmData.mirrorFirst, 0);
    }
    EXPECT_EQ(vexo::DM_PassThrough(-17), -17);
    vexo::g_dmSaInfo = vexo::DM_SA_INFO{2, 5, {7, 8}, 1};
    vexo::DM_ClearSaInfo();
    EXPECT_EQ(vexo::DM_HasSa() | vexo::DM_GetSaPosition() | vexo::DM_GetSaTotal() | vexo::DM_GetSaFileId(1), 0);
    struct Size {
        int rows, cols, row;
    };
    for (const Size z : {Size{8, 8, 0}, Size{132, 132, 23}, Size{6, 16, 25}, Size{14, 44, 30}, Size{0, 0, -1},
                         Size{6, 44, -1}, Size{16, 6, -1}, Size{30, 30, -1}}) {
        EXPECT_EQ(vexo::DM_FindSizeIndex(z.rows, z.cols), z.row) << z.rows << " x " << z.cols;
    }
    vexo::DM_SetImage(nullptr, 12, 34);
    EXPECT_EQ(vexo::g_dmImage.height, 34);
}

}  // namespace
