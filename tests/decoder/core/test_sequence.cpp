// The decode sequence end to end with scripted modules: the resets before any module is
// asked, the order of the stages, the first success ending the sequence, the read-back of
// the module that decoded, what the getters answer afterwards, and smoothing.
#include <cctype>
#include <string>

#include "core/api.h"
#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/multi_code.h"
#include "core/pixel.h"
#include "core/sequence.h"
#include "sequence_test.h"

namespace {

using namespace vexo;
using namespace vexo_test;

class SequenceTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        CallLog().clear();
        ZPT_SE_VexoDec_Init();
        FakeSet::Install();
    }
    // Decodes a frame of the content; the log holds the module calls after the resets.
    int Decode(Content c, int w = 640, int h = 480) {
        frame_ = DrawFrame(w, h, c, 7);
        InstallFrame(frame_, w, h);
        CallLog().clear();
        const int r = ZPT_SE_VexoDec_Decode();
        std::vector<std::string> calls;
        for (const std::string &e : CallLog()) {
            if (e.rfind("reset:", 0) != 0) calls.push_back(e);
        }
        CallLog() = calls;
        return r;
    }
    std::vector<uint8_t> frame_;
};

std::string Lower(const char *name) {
    std::string s = name;
    for (char &ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

std::string ResultText(uint32_t capacity = 256) {
    TextOut out(capacity);
    if (ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &out.desc) != 1) return "(refused)";
    return out.Text();
}

const std::string kAllFailFlat =
    "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 decode:MP@2 decode:PDF@16 "
    "decode:C1D@32 decode:EXT@32 decode:OCR@32 ";

TEST_F(SequenceTest, ResetsRunInTheirOrderBeforeAnyModuleIsAsked) {
    frame_ = DrawFrame(640, 480, Content::kNoise, 3);
    InstallFrame(frame_, 640, 480);
    const std::vector<uint8_t> raw = frame_;
    // State left by an earlier decode.
    g_state.stageWord = 99;
    g_state.stageWordAux = 9;
    g_state.stageEnable = 0;
    g_state.pdfCandidateCount = 5;
    g_state.pdfCandidateBoxes[3].left = 7;
    g_state.locatedCount = 9;
    g_state.walkRegionCount = 3;
    g_state.walkRegions[2].c[1].x = 5;
    g_candidateStore.count = 7;
    g_statusWords[2] = 1;
    g_multiList.entryCount = 3;
    g_reported[kReportedQr].status = 0;
    Dec_SetJoinedCount(5);
    g_state.decodeRecord[0] = 99;
    g_state.decodeRecordWord = 1;
    g_params.resultStore.storedCount = 2;
    g_params.resultStore.storedData1[100] = 0x55;
    g_frameMargins = FRAME_MARGINS{};
    g_state.decodeSource = kSourceExternal;
    g_state.matrixIndex = 4;
    g_state.decodedModuleId = 8;
    g_state.smoothing = 1;
    g_state.frameCounter = 1;  // this frame is smoothed
    g_state.roiPercent = 50;
    g_state.roiExplicit = 0;
    int snapshots = 0;
    Fake<0>::S().onReset = [&] {
        ++snapshots;
        EXPECT_EQ(g_arena.used, 0);
        EXPECT_EQ(g_multiList.entryCount, 0);
        EXPECT_EQ(g_reported[kReportedQr].status, -1);
        EXPECT_EQ(g_statusWords[2], 0u);
        EXPECT_EQ(g_state.stageEnable, 127u);
        EXPECT_EQ(Dec_GetJoinedCount(), 0);
        EXPECT_EQ(g_state.stageWord, 0u);
        EXPECT_EQ(g_state.stageWordAux, 0u);
        EXPECT_EQ(g_state.pdfCandidateCount, 0);
        EXPECT_EQ(g_state.pdfCandidateBoxes[3].left, 0);
        EXPECT_EQ(g_state.locatedCount, 0);
        EXPECT_EQ(g_state.walkRegionCount, 0);
        EXPECT_EQ(g_state.walkRegions[2].c[1].x, 0);
        EXPECT_EQ(g_candidateStore.count, 0);
        EXPECT_EQ(g_frameMargins.lastColumn, 635);
        EXPECT_EQ(g_frameMargins.lastRow, 475);
        EXPECT_EQ(g_params.resultStore.storedCount, 0);
        EXPECT_EQ(g_params.resultStore.storedData1[100], 0);
        EXPECT_NE(frame_, raw) << "smoothing comes before the modules";
        EXPECT_EQ(g_state.roiQuad.c[0].x, 160) << "the region of interest too";
        EXPECT_EQ(g_state.decodeRecord[0], 0);
        EXPECT_EQ(g_state.decodeRecordWord, 0u);
        EXPECT_EQ(g_state.decodeSource, kSourceNone);
        EXPECT_EQ(g_state.matrixIndex, -1);
        EXPECT_EQ(g_state.decodedModuleId, 0);
    };
    CallLog().clear();
    EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
    EXPECT_EQ(snapshots, 1);
    EXPECT_EQ(std::string(CallLog()[0]), "reset:QR");
    EXPECT_EQ(std::string(CallLog()[7]), "reset:C1D") << "matrix resets first, then the stacked ones";
    EXPECT_EQ(g_state.frameCounter, 2);
}

TEST_F(SequenceTest, StagesRunInOrderUntilTheFirstSuccess) {
    struct Case {
        const char *what;
        Content content;
        std::vector<int> succeed;  // FakeSet indexes
        int answer;
        std::string log;
        std::string text;
        uint32_t codeId;
        u8 source;
        u16 moduleId;
        const char *aim;
    };
    const Case cases[] = {
        {"nothing decodes", Content::kFlat, {}, 0, kAllFailFlat, "", 0, 0, 0, ""},  // no success yet: code id 0
        {"QR in the region stage", Content::kFlat, {0}, 1, "link:C1D=0 decode:QR@2 ", "qr", 0x102, 2, 4, "]Q1"},
        {"Data Matrix", Content::kFlat, {1}, 1, "link:C1D=0 decode:QR@2 decode:DM@2 ", "dm", 0x105, 2, 5, "]d0"},
        {"Aztec", Content::kFlat, {2}, 1, "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 ", "az", 0x104, 2, 6, "]z0"},
        {"MaxiCode", Content::kFlat, {3}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 ", "mx", 0x106, 2, 7, "]U0"},
        {"Han Xin", Content::kFlat, {4}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 ", "hx", 0x107, 2, 8, "]X0"},
        {"MicroPDF417", Content::kFlat, {5}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 decode:MP@2 ", "mp", 0x101, 2, 3,
         "]L0"},
        {"PDF417 walk", Content::kFlat, {6}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 decode:MP@2 decode:PDF@16 ", "pdf",
         0x100, 1, 2, "]L1"},
        {"region walk", Content::kFlat, {7}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 decode:MP@2 decode:PDF@16 "
         "decode:C1D@32 ",
         "c1d", 2, 1, 1, "]C1"},
        {"external", Content::kFlat, {8}, 1,
         "link:C1D=0 decode:QR@2 decode:DM@2 decode:AZ@2 decode:MX@2 decode:HX@2 decode:MP@2 decode:PDF@16 "
         "decode:C1D@32 decode:EXT@32 ",
         "ext", 0x102, 3, 0, "]X0"},
        {"OCR", Content::kFlat, {9}, 1, kAllFailFlat, "ocr", 0x102, 4, 0, "]Q1"},
        {"first and last: the first wins", Content::kFlat, {0, 9}, 1, "link:C1D=0 decode:QR@2 ", "qr", 0x102, 2, 4,
         "]Q1"},
        {"linear stage on column proposals", Content::kBars, {7, 0}, 1, "link:C1D=5 decode:C1D@0 link:C1D=0 ", "c1d",
         2, 1, 1, "]C1"},
        {"linear stage on row proposals", Content::kRows, {7}, 1, "link:C1D=7 decode:C1D@0 link:C1D=0 ", "c1d", 2,
         1, 1, "]C1"},
        {"a bar-crossed region asks no matrix module", Content::kBars, {0}, 0,
         "link:C1D=5 decode:C1D@0 link:C1D=0 decode:PDF@16 decode:C1D@32 decode:EXT@32 decode:OCR@32 ", "", 0,
         0, 0, ""},
    };
    for (const Case &c : cases) {
        Test_ResetDecoderStatics();
        ZPT_SE_VexoDec_Init();
        FakeSet::Install();
        for (int i : c.succeed) FakeSet::Succeed(i, Lower(FakeSet::Name(i)));
        EXPECT_EQ(Decode(c.content), c.answer) << c.what;
        EXPECT_EQ(LogText(), c.log) << c.what;
        EXPECT_EQ(ResultText(), c.text) << c.what;
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_CODE_ID), c.codeId) << c.what;
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), c.text.size()) << c.what;
        EXPECT_EQ(g_state.decodeSource, c.source) << c.what;
        EXPECT_EQ(g_state.decodedModuleId, c.moduleId) << c.what;
        EXPECT_EQ(g_state.decoded, c.answer == 1 ? 1u : 0u) << c.what;
        char aim[4] = {};
        Dec_GetAimId(aim);
        EXPECT_EQ(std::string(aim), c.aim) << c.what;
        if (c.answer == 1) {
            EXPECT_EQ(g_state.moduleResult.length, c.text.size()) << c.what;
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(g_apiResult.data), g_apiResult.length), c.text);
        }
    }
}

TEST_F(SequenceTest, SuccessWithoutTextIsNoSuccess) {
    FakeSet::Succeed(6, "first");
    ASSERT_EQ(Decode(Content::kFlat), 1);
    ASSERT_EQ(GetWord(VEXO_ID_RESULT_CODE_ID), 0x100u);
    struct Case {
        const char *what;
        int module;
        bool nullData;
        int lengthOverride;
        std::string text;
    };
    const Case cases[] = {
        {"null data", 6, true, -1, "x"},
        {"empty text", 6, false, -1, ""},
        {"a length without text", 6, true, 5, "x"},
        {"text claimed with length 0", 6, false, 0, "abc"},
        {"an empty matrix result", 0, false, -1, ""},
        {"an empty linear result", 7, false, -1, ""},
    };
    for (const Case &c : cases) {
        FakeSet::Install();
        FakeSet::Succeed(c.module, c.text);
        FakeSet::Script(c.module).nullData = c.nullData;
        FakeSet::Script(c.module).lengthOverride = c.lengthOverride;
        EXPECT_EQ(Decode(Content::kFlat), 0) << c.what;
        EXPECT_EQ(g_state.decoded, 0u) << c.what;
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_STATUS), 0xFFFFFFFFu) << c.what;
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), 0u) << c.what;
        EXPECT_EQ(ResultText(), "") << c.what;
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_CODE_ID), 0x100u) << "the last success's code id stays: " << c.what;
        char aim[3] = {'a', 'b', 'c'};
        Dec_GetAimId(aim);
        EXPECT_EQ(std::string(aim, 3), "abc") << c.what;
    }
}

TEST_F(SequenceTest, ResultTextWithAndWithoutTheIdentifierPrefix) {
    FakeSet::Succeed(0, "0123456789");
    std::memcpy(Fake<0>::S().aim, "]Q1", 3);
    ASSERT_EQ(Decode(Content::kFlat), 1);
    struct Case {
        bool prefix;
        uint32_t capacity;
        std::string text;
    };
    const Case cases[] = {
        {true, 64, "]Q10123456789"}, {true, 13, "]Q10123456789"}, {true, 12, "]Q1012345678"},
        {true, 4, "]Q10"},           {true, 3, "012"},            {true, 1, "0"},
        {false, 64, "0123456789"},   {false, 3, "012"},           {false, 10, "0123456789"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_AIM_PREFIX, c.prefix ? VEXO_ON : VEXO_OFF), 1);
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), c.prefix ? 13u : 10u);
        TextOut out(c.capacity);
        ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &out.desc), 1);
        EXPECT_EQ(out.Text(), c.text) << c.prefix << " " << c.capacity;
        EXPECT_EQ(out.bytes[c.capacity], '#') << "nothing past the capacity";
    }
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_STATUS), 0u);
    // After a failed decode: status -1, length 0, no text, the code id of the last success.
    FakeSet::Install();
    ASSERT_EQ(Decode(Content::kFlat), 0);
    ZPT_SE_VexoDec_Set(VEXO_ID_AIM_PREFIX, VEXO_ON);
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_STATUS), 0xFFFFFFFFu);
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), 0u);
    EXPECT_EQ(ResultText(), "");
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_CODE_ID), 0x102u);
}

TEST_F(SequenceTest, CodeIdsOfEveryReportedSymbologyBit) {
    struct Case {
        u32 kind, bit, codeId;
    };
    // Code ids by symbology bit: the 2D table, then the 25 pairs of the linear module.
    const Case cases[] = {
        {0xC2, 0x1, 0x100},         {0xC2, 0x2, 0x102},        {0xC2, 0x800, 0x103},     {0xC2, 0x4, 0x104},
        {0xC2, 0x8, 0x105},         {0xC2, 0x10, 0x106},       {0xC2, 0x20, 0x10A},      {0xC2, 0x200, 0x800},
        {0xC2, 0x80, 0x107},        {0xC2, 0x400, 0x101},      {0xC2, 0x40, 0xFFFF},     {0xC1, 0x1, 0},
        {0xC1, 0x2, 1},             {0xC1, 0x4, 2},            {0xC1, 0x8, 3},           {0xC1, 0x10, 7},
        {0xC1, 0x20, 8},            {0xC1, 0x40, 9},           {0xC1, 0x80, 10},         {0xC1, 0x100, 17},
        {0xC1, 0x200, 19},          {0xC1, 0x400, 18},         {0xC1, 0x800, 24},        {0xC1, 0x2000, 13},
        {0xC1, 0x4000, 13},         {0xC1, 0x8000, 16},        {0xC1, 0x20000, 14},      {0xC1, 0x40000, 36},
        {0xC1, 0x1000000, 11},      {0xC1, 0x2000000, 25},     {0xC1, 0x4000000, 23},    {0xC1, 0x8000000, 29},
        {0xC1, 0x10000000, 27},     {0xC1, 0x20000000, 28},    {0xC1, 0x40000000, 270},  {0xC1, 0x80000000, 43},
        {0xC1, 0x1000, 0xFFFF},     {0xC1, 0, 0xFFFF},         {0xC3, 1, 0x300},         {0xC3, 2, 0xFFFF},
    };
    for (const Case &c : cases) {
        FakeSet::Install();
        FakeSet::Succeed(6, "text");
        Fake<6>::S().header.kind = c.kind;
        Fake<6>::S().bit = c.bit;
        ASSERT_EQ(Decode(Content::kFlat), 1);
        EXPECT_EQ(GetWord(VEXO_ID_RESULT_CODE_ID), c.codeId) << std::hex << c.kind << " " << c.bit;
    }
}

TEST_F(SequenceTest, StackedOrderChangedByABarCrossedRegionPersists) {
    auto firstStackedReset = [] {
        for (const std::string &e : CallLog()) {
            if (e == "reset:PDF" || e == "reset:C1D") return e;
        }
        return std::string();
    };
    EXPECT_EQ(Decode(Content::kFlat), 0);
    EXPECT_EQ(g_modules.stacked[0].moduleId, 2u);
    EXPECT_EQ(Decode(Content::kBars), 0);
    EXPECT_EQ(g_state.regionClass[0], 1000);
    EXPECT_EQ(g_modules.stacked[0].moduleId, 1u) << "Composite1D first after the PDF417 walk";
    // A later image whose first region is not bar-crossed keeps the order.
    frame_ = DrawFrame(640, 480, Content::kNoise, 7);
    InstallFrame(frame_, 640, 480);
    CallLog().clear();
    EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
    EXPECT_EQ(g_state.regionClass[0], 0);
    EXPECT_EQ(firstStackedReset(), "reset:C1D");
    // A successful PDF417 walk then reads back from the first stacked record with data.
    FakeSet::Succeed(6, "pdf");
    EXPECT_EQ(Decode(Content::kFlat), 1);
    EXPECT_EQ(ResultText(), "pdf");
    EXPECT_EQ(g_modules.stacked[1].moduleId, 2u);
}

TEST_F(SequenceTest, SmoothingWorksOnEverySecondFrameInTheCallersBuffer) {
    std::vector<uint8_t> frame = DrawFrame(640, 480, Content::kNoise, 99);
    InstallFrame(frame, 640, 480);
    const std::vector<uint8_t> raw = frame;
    // Off: nothing changes and the counter stays.
    ZPT_SE_VexoDec_Decode();
    ZPT_SE_VexoDec_Decode();
    EXPECT_EQ(frame, raw);
    EXPECT_EQ(g_state.frameCounter, 0);
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_SMOOTHING, 1), 1);
    ZPT_SE_VexoDec_Decode();
    EXPECT_EQ(frame, raw) << "the first frame after start is raw";
    ZPT_SE_VexoDec_Decode();
    std::vector<uint8_t> want = raw;
    std::vector<uint8_t> scratch(raw.size());
    Dec_SmoothImage(want.data(), scratch.data(), 640, 480);
    EXPECT_EQ(frame, want) << "the second is smoothed in place";
    const std::vector<uint8_t> once = frame;
    ZPT_SE_VexoDec_Decode();
    EXPECT_EQ(frame, once) << "the third is not";
    EXPECT_EQ(g_state.frameCounter, 3);
    // Frames too small to smooth are left alone.
    std::vector<uint8_t> small = DrawFrame(66, 131, Content::kNoise, 5);
    const std::vector<uint8_t> smallRaw = small;
    InstallFrame(small, 66, 131);
    ZPT_SE_VexoDec_Decode();
    ZPT_SE_VexoDec_Decode();
    EXPECT_EQ(small, smallRaw);
}

TEST_F(SequenceTest, FastPdfCandidatesFromAStartStopFind) {
    frame_.assign(640 * 480, 0);
    InstallFrame(frame_, 640, 480);
    Dec_ComputeFrameMargins();
    PDF_PATTERN_HIT hit{1, 1, 1, {50, 60}, {50, 200}, {300, 70}, {300, 210}};
    Dec_AddPdfCandidate(&hit, 0);
    const PDF_CANDIDATE_BOX &b = g_state.pdfCandidateBoxes[0];
    EXPECT_EQ(b.top, 4);       // 60 - 100, clamped
    EXPECT_EQ(b.left, 4);      // 50 - 100, clamped
    EXPECT_EQ(b.right, 400);   // 300 + 100
    EXPECT_EQ(b.bottom, 310);  // 210 + 100
    EXPECT_EQ(g_state.pdfCandidateTags[0], 1);
    ASSERT_EQ(g_candidateStore.count, 1);
    EXPECT_EQ(g_candidateStore.records[0].code, 1);
    EXPECT_EQ(g_candidateStore.records[0].value, 2);
    const REGION_QUAD &q = g_candidateStore.records[0].quad;
    EXPECT_EQ(q.c[kTopRight].x, 400);
    EXPECT_EQ(q.c[kTopRight].y, 4);
    EXPECT_EQ(q.c[kBottomLeft].x, 4);
    EXPECT_EQ(q.c[kBottomLeft].y, 300);
    hit = PDF_PATTERN_HIT{1, 0, 0, {600, 420}, {600, 470}, {630, 420}, {630, 470}};
    Dec_AddPdfCandidate(&hit, 1);
    EXPECT_EQ(g_state.pdfCandidateBoxes[1].right, 636);
    EXPECT_EQ(g_state.pdfCandidateBoxes[1].bottom, 476);
    EXPECT_EQ(g_state.pdfCandidateTags[1], 2);
    // No find in the boxes of region selection: no candidate, the PDF417 module is not asked.
    ASSERT_EQ(Decode(Content::kNoise), 0);
    EXPECT_EQ(g_state.pdfCandidateCount, 0);
    EXPECT_FALSE(LogHas("decode:PDF@2"));
}

TEST_F(SequenceTest, AlignedRegionTopAndStageRegions) {
    const i32 tops[][2] = {{100, 104}, {101, 104}, {103, 104}, {0, 4}, {-1, 4}};
    for (auto [y, want] : tops) {
        const REGION_QUAD a = Dec_AlignRegionTop(Square(10, y, 50));
        EXPECT_EQ(a.c[kTopLeft].y, want) << y;
        EXPECT_EQ(a.c[kTopRight].y, want) << y;
        EXPECT_EQ(a.c[kBottomLeft].y, y + 50);
    }
    // The modules see the region being walked and an all-zero original quad.
    Fake<0>::S().onDecode = [] {
        EXPECT_EQ(g_state.stageRegionAligned.c[kTopLeft].y % 4, 0);
        const REGION_QUAD zero{};
        EXPECT_EQ(std::memcmp(&g_state.stageRegionOriginal, &zero, sizeof zero), 0);
        EXPECT_NE(g_state.stageRegionRaw.c[kBottomRight].x, 0);
    };
    Decode(Content::kNoise);
    EXPECT_EQ(Fake<0>::S().calls, 1);
}

}  // namespace
