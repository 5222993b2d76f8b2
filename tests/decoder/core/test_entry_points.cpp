// The second configuration and result interface: settings records, image copy, external
// extension record, getters of the last result by decode source, status summaries and the
// image routines; and the adapter operations that no record slot holds.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/adapters.h"
#include "core/arena.h"
#include "core/entry_points.h"
#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "fake_modules.h"
#include "locate/box_list.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;
using vexo_test::Fake;
using vexo_test::FakeSymbol;
using vexo_test::Square;

class EntryPointTest : public DecoderTest {};

uintptr_t EntryPtr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

TEST_F(EntryPointTest, BitIndexAndSymbologyCodePosition) {
    EXPECT_EQ(Dec_BitIndex(0), 0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(Dec_BitIndex(1u << i), i);
    for (u32 v : {3u, 0x80000001u, 0xFFFFFFFFu, 6u}) EXPECT_EQ(Dec_BitIndex(v), 32) << v;

    g_state.lastSymbologyCode = 261;
    const i32 list[] = {256, 258, 261, 261, 262};
    struct FindCase {
        int n, mode, base, answer;
    };
    static const FindCase kCases[] = {
        {5, 1, 100, 2}, {5, 2, 100, 102}, {5, 0, 100, 100}, {5, 3, 7, 7},
        {2, 1, 100, 0}, {2, 2, 100, 100},  // absent in the first two
        {0, 2, 100, 100}, {-4, 1, 9, 0},
    };
    for (const FindCase &c : kCases) {
        EXPECT_EQ(Dec_FindSymbologyCode(list, c.n, c.mode, c.base), c.answer) << c.n << " " << c.mode;
    }
    EXPECT_EQ(Dec_FindSymbologyCode(nullptr, 5, 2, 50), 50);
    EXPECT_EQ(Dec_IsInitialised(), 1) << "the getter initialised the context";
}

TEST_F(EntryPointTest, StatusWordsAndSummary) {
    i32 out[2] = {77, 99};
    Dec_SummariseStatus(out);
    EXPECT_EQ(out[0], 77) << "no test holds: untouched";
    EXPECT_EQ(out[1], 0);
    // Word 3 is the one the QR path writes.
    Dec_AddStatusBits(0x10);
    EXPECT_EQ(Dec_ReadStatusWord(3), 0x10u);
    Dec_SummariseStatus(out);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 1);
    // Several hold: the last in order wins.
    struct SummaryCase {
        int word;
        u32 bits;
        i32 code;
    };
    static const SummaryCase kCases[] = {{1, 0x04, 1}, {2, 0x02, 2}, {6, 0x04, 6}, {7, 0x02, 7}, {5, 0x04, 8}, {9, 0x01, 13}};
    for (const SummaryCase &c : kCases) {
        Dec_ClearStatusWords();
        EXPECT_EQ(Dec_OrStatusWord(c.word, c.bits), c.bits);
        EXPECT_EQ(Dec_OrStatusWord(c.word, 0x100), c.bits | 0x100);
        Dec_SummariseStatus(out);
        EXPECT_EQ(out[0], c.code) << c.word;
        // Bits outside the test's mask do nothing.
        Dec_ClearStatusWords();
        Dec_OrStatusWord(c.word, 0x100);
        out[0] = -5;
        Dec_SummariseStatus(out);
        EXPECT_EQ(out[0], -5) << c.word;
    }
    Dec_ClearStatusWords();
    Dec_OrStatusWord(1, 0x1C);
    Dec_OrStatusWord(5, 0x04);
    Dec_OrStatusWord(3, 0x10);
    Dec_SummariseStatus(out);
    EXPECT_EQ(out[0], 8);
    Dec_OrStatusWord(9, 0x02);
    Dec_SummariseStatus(out);
    EXPECT_EQ(out[0], 13);
    for (int n : {0, 12, -1}) {
        EXPECT_EQ(Dec_OrStatusWord(n, 1), 0u) << n;
        EXPECT_EQ(Dec_ReadStatusWord(n), 0u) << n;
    }
    EXPECT_EQ(Dec_ReadStatusWord(11), 0u);
    EXPECT_EQ(Dec_OrStatusWord(11, 5), 5u);
    EXPECT_EQ(Dec_GetStatusWord(10), 5u);
    Dec_SummariseStatus(nullptr);

    u32 w = 0x10;
    EXPECT_EQ(Dec_SetBits(&w, 0x3), 0x13u);
    EXPECT_EQ(Dec_ClearBits(&w, 0x11), 0x2u);
    EXPECT_EQ(w, 0x2u);
    EXPECT_EQ(Dec_SetBits(nullptr, 1), 0u);
    g_state.linearLinkage = 7;
    Dec_ClearLinearLinkage();
    EXPECT_EQ(g_state.linearLinkage, 0u);
}

TEST_F(EntryPointTest, EqualiseHistogram) {
    u8 px[4] = {0, 0, 100, 255};
    Dec_EqualiseHistogram(px, 4, 1);
    EXPECT_EQ(std::vector<u8>(px, px + 4), (std::vector<u8>{128, 128, 192, 255}));
    u8 keep[4] = {1, 2, 3, 4};
    for (auto [w, h] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-4, -1}, std::pair{4, -1}}) {
        Dec_EqualiseHistogram(keep, w, h);
        EXPECT_EQ(std::vector<u8>(keep, keep + 4), (std::vector<u8>{1, 2, 3, 4})) << w << "x" << h;
    }
    Dec_EqualiseHistogram(nullptr, 4, 1);
    // A uniform image becomes white; a 2 x 2 with four values spreads over 64..255.
    u8 grey[6] = {9, 9, 9, 9, 9, 9};
    Dec_EqualiseHistogram(grey, 3, 2);
    EXPECT_EQ(grey[0], 255);
    u8 four[4] = {40, 10, 30, 20};
    Dec_EqualiseHistogram(four, 2, 2);
    EXPECT_EQ(std::vector<u8>(four, four + 4), (std::vector<u8>{255, 64, 192, 128}));
}

TEST_F(EntryPointTest, SettingsRecordCSetsWords50To52) {
    u32 rec[33] = {};
    EXPECT_EQ(Dec_ApplySettingsC(nullptr), 0);
    for (int bit = 0; bit < 3; ++bit) {
        for (int i = 50; i <= 52; ++i) g_params.flagsWord[i] = 0x5;
        rec[0] = 1u << bit;
        ASSERT_EQ(Dec_ApplySettingsC(rec), 1);
        for (int i = 50; i <= 52; ++i) {
            EXPECT_EQ(g_params.flagsWord[i], i - 50 == bit ? (0x5u | kFlagEnabled) : 0x5u) << bit << " " << i;
        }
    }
    // The same record again is taken as applied and rewrites nothing.
    g_params.flagsWord[52] = 0;
    EXPECT_EQ(Dec_ApplySettingsC(rec), 1);
    EXPECT_EQ(g_params.flagsWord[52], 0u);
    rec[0] = 0;
    EXPECT_EQ(Dec_ApplySettingsC(rec), 1);
    EXPECT_EQ(g_params.flagsWord[50] & kFlagEnabled, 0u);
}

TEST_F(EntryPointTest, SettingsRecordDSetsWords53To59AndCheckBits) {
    EXPECT_EQ(Dec_ApplySettingsD(nullptr), 0);
    // Record bit -> flags word.
    static const int kWordOfBit[7] = {55, 56, 54, 58, 57, 53, 59};
    for (int bit = 0; bit < 7; ++bit) {
        u32 rec[34] = {};
        rec[0] = 1u << bit;
        for (int i = 53; i <= 59; ++i) g_params.flagsWord[i] = kFlagEnabled;
        ASSERT_EQ(Dec_ApplySettingsD(rec), 1);
        for (int i = 53; i <= 59; ++i) {
            EXPECT_EQ((g_params.flagsWord[i] & kFlagEnabled) != 0, i == kWordOfBit[bit]) << bit << " " << i;
        }
    }
    // Check bits of words 55, 58, 59 from record words 2, 5, 8: bit 30 forced when enabled.
    struct CheckCase {
        int word;
        int recWord;
        u32 enableBit;
    };
    static const CheckCase kChecks[] = {{55, 2, 1u << 0}, {58, 5, 1u << 3}, {59, 8, 1u << 6}};
    for (const CheckCase &c : kChecks) {
        for (u32 v = 0; v < 4; ++v) {
            for (bool enabled : {false, true}) {
                u32 rec[34] = {};
                rec[0] = enabled ? c.enableBit : 0;
                rec[c.recWord] = v;
                rec[33] = v * 2 + (enabled ? 1 : 0) + 100 * static_cast<u32>(c.word);  // records differ
                g_params.flagsWord[c.word] = 0;
                ASSERT_EQ(Dec_ApplySettingsD(rec), 1);
                const u32 w = g_params.flagsWord[c.word];
                EXPECT_EQ((w >> 30) & 1u, (v & 1u) | (enabled ? 1u : 0u)) << c.word << " v" << v << " " << enabled;
                EXPECT_EQ((w >> 31) & 1u, (v >> 1) & 1u) << c.word << " v" << v;
                EXPECT_EQ(rec[c.recWord], v) << "the caller's record is not written";
            }
        }
    }
    u32 rec[34] = {};
    rec[0] = 0x7F;
    ASSERT_EQ(Dec_ApplySettingsD(rec), 1);
    g_params.flagsWord[53] = 0;
    EXPECT_EQ(Dec_ApplySettingsD(rec), 1);
    EXPECT_EQ(g_params.flagsWord[53], 0u) << "the same record again rewrites nothing";
}

TEST_F(EntryPointTest, VersionNumberAndPresets) {
    EXPECT_STREQ(Dec_FormatVersionNumber(), "4.10.001B00");
    // Nothing sets the preset switch: no preset changes the stages.
    g_state.stageEnable = kAllStages;
    Dec_ApplyStagePreset();
    EXPECT_EQ(g_state.stageEnable, kAllStages);
    struct PresetCase {
        void (*fn)();
        u32 stages;
    };
    static const PresetCase kPresets[] = {{Dec_StagePresetLinear, 1},     {Dec_StagePresetFastPdf, 10},
                                          {Dec_StagePresetPdfWalk, 24},   {Dec_StagePresetRegionWalk, 40},
                                          {Dec_StagePresetOcrPostal, 72}, {Dec_StagePresetRegion, 12}};
    for (const PresetCase &p : kPresets) {
        p.fn();
        EXPECT_EQ(g_state.stageEnable, p.stages);
    }
    struct ModeCase {
        u32 sw, count, mode, stages;
    };
    static const ModeCase kModes[] = {{1, 1, 1, 1},   {1, 54, 2, 10},  {1, 5, 4, 12},  {1, 5, 16, 24}, {1, 5, 32, 40},
                                      {1, 5, 64, 72}, {1, 55, 1, 99}, {1, 0, 1, 99}, {0, 5, 1, 99}, {1, 5, 3, 99}};
    for (const ModeCase &m : kModes) {
        g_state.stageEnable = 99;
        g_entryState.presetSwitch = m.sw;
        g_entryState.presetCount = m.count;
        g_entryState.presetMode = m.mode;
        Dec_ApplyStagePreset();
        EXPECT_EQ(g_state.stageEnable, m.stages) << m.sw << " " << m.count << " " << m.mode;
    }
    // The pointer list and user pointer.
    int a = 0, b = 0;
    const void *list[20];
    for (int i = 0; i < 20; ++i) list[i] = i % 2 != 0 ? &a : &b;
    EXPECT_EQ(Dec_SetPointerList(list, 20), 16);
    EXPECT_EQ(g_entryState.pointers[15], &a);
    EXPECT_EQ(Dec_SetPointerList(list, 3), 3);
    EXPECT_EQ(Dec_SetPointerList(list, 0), 0);
    EXPECT_EQ(Dec_SetPointerList(nullptr, 4), 0);
    EXPECT_EQ(g_entryState.pointerCount, 3);
    Dec_SetUserPointer(&a);
    Dec_SetUserPointer(nullptr);
    EXPECT_EQ(g_entryState.userPointer, &a);
}

class EntryImageTest : public DecoderTest {
protected:
    static constexpr i32 kW = 400;
    static constexpr i32 kH = 200;
    void SetUp() override {
        DecoderTest::SetUp();
        frame_.assign(static_cast<size_t>(kW) * kH, 0);
        for (size_t i = 0; i < frame_.size(); ++i) frame_[i] = static_cast<u8>((i * 7) % 201);  // room for + 10
        ZPT_SE_VexoDec_Init();
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, kW);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, kH);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, EntryPtr(frame_.data()));
    }
    std::vector<u8> frame_;
};

TEST_F(EntryImageTest, ImageChangedSamplesRowsThenColumns) {
    IMAGE_RECORD rec{frame_.data(), nullptr, kW, kH};
    ASSERT_EQ(Dec_LoadImageCopy(&rec), 1);
    EXPECT_EQ(g_state.image.data, g_internalImage);
    std::vector<u8> now = frame_;
    rec.data = now.data();
    EXPECT_EQ(Dec_ImageChanged(&rec, 0), 0) << "the same pixels";
    struct ChangeCase {
        const char *what;
        bool row;
        int at;
        int threshold;
        int answer;
    };
    static const ChangeCase kCases[] = {
        {"row 30 by 10, threshold 9", true, 30, 9, 1},     {"row 30 by 10, threshold 10", true, 30, 10, 0},
        {"row 90", true, 90, 9, 1},                        {"row 150", true, 150, 9, 1},
        {"row 31 is not sampled", true, 31, 0, 0},         {"column 50", false, 50, 9, 1},
        {"column 50, threshold 10", false, 50, 10, 0},     {"column 350", false, 350, 9, 1},
        {"column 51 is not sampled", false, 51, 0, 0},
    };
    for (const ChangeCase &c : kCases) {
        now = frame_;
        if (c.row) {
            for (i32 x = 0; x < kW; ++x) now[static_cast<size_t>(c.at * kW + x)] += 10;
        } else {
            for (i32 y = 0; y < kH; ++y) now[static_cast<size_t>(y * kW + c.at)] += 10;
        }
        rec.data = now.data();
        EXPECT_EQ(Dec_ImageChanged(&rec, c.threshold), c.answer) << c.what;
    }
    // Another size than the installed image, or no pixels.
    rec.width = kW - 1;
    EXPECT_EQ(Dec_ImageChanged(&rec, 0), 0);
    rec.width = kW;
    rec.data = nullptr;
    EXPECT_EQ(Dec_ImageChanged(&rec, 0), 0);
    EXPECT_EQ(Dec_ImageChanged(nullptr, 0), 0);
}

TEST_F(EntryImageTest, ImageChangedOnShortImages) {
    struct ShortCase {
        i32 height;
        bool row;
        int answer;
    };
    // Height 30: nothing compared; 50: rows only.
    static const ShortCase kCases[] = {{30, true, 0}, {30, false, 0}, {50, true, 1}, {50, false, 0}, {51, false, 1}};
    for (const ShortCase &c : kCases) {
        std::vector<u8> base(static_cast<size_t>(kW) * c.height, 50);
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<u32>(c.height));
        IMAGE_RECORD rec{base.data(), nullptr, kW, c.height};
        ASSERT_EQ(Dec_LoadImageCopy(&rec), 1);
        std::vector<u8> now = base;
        if (c.row) {
            for (i32 x = 0; x < kW; ++x) now[static_cast<size_t>((c.height > 30 ? 30 : 29) * kW + x)] = 80;
        } else {
            for (i32 y = 0; y < c.height; ++y) now[static_cast<size_t>(y * kW + 50)] = 80;
        }
        rec.data = now.data();
        EXPECT_EQ(Dec_ImageChanged(&rec, 20), c.answer) << c.height << (c.row ? " row" : " column");
    }
}

TEST_F(EntryImageTest, LoadImageCopyRefusesWhatDecodeRefuses) {
    std::vector<u8> big(1280u * 960u + 16u, 7);
    struct CopyCase {
        i32 w, h;
        int answer;
    };
    static const CopyCase kCases[] = {{1280, 960, 1}, {960, 1280, 1}, {1, 1, 1},    {1281, 1, 0},  {1, 1281, 0},
                                      {1280, 961, 0}, {0, 10, 0},     {10, -1, 0},  {1109, 1109, 0}};
    for (const CopyCase &c : kCases) {
        g_state.image.data = frame_.data();
        g_internalImage[0] = 0;
        IMAGE_RECORD rec{big.data(), nullptr, c.w, c.h};
        EXPECT_EQ(Dec_LoadImageCopy(&rec), c.answer) << c.w << "x" << c.h;
        EXPECT_EQ(g_state.image.data, c.answer == 1 ? g_internalImage : frame_.data());
        EXPECT_EQ(g_internalImage[0], c.answer == 1 ? 7 : 0);
    }
    IMAGE_RECORD none{nullptr, nullptr, 10, 10};
    EXPECT_EQ(Dec_LoadImageCopy(&none), 0);
    EXPECT_EQ(Dec_LoadImageCopy(nullptr), 0);
}

TEST_F(EntryImageTest, ImageCopyOptionSmoothsInsideTheBorder) {
    EXPECT_EQ(Dec_SmoothOptionSet(), 0);
    EXPECT_EQ(Dec_SmoothBorderRegion(), 0);
    std::vector<u8> dest(frame_.size(), 0);
    Dec_SetImageCopy(0x10, nullptr);
    EXPECT_EQ(Dec_SmoothOptionSet(), 0) << "no destination, no settings record";
    Dec_SetImageCopy(0x10, dest.data());
    EXPECT_EQ(g_state.imageCopyFlags, 0x10u);
    EXPECT_EQ(Dec_SmoothOptionSet(), 1);
    // A checkerboard: smoothing flattens it to mid grey inside, leaves the border.
    std::vector<u8> board(frame_.size());
    for (i32 y = 0; y < kH; ++y)
        for (i32 x = 0; x < kW; ++x) board[static_cast<size_t>(y * kW + x)] = ((x + y) & 1) != 0 ? 200 : 40;
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, EntryPtr(board.data()));
    Mem_ResetArena();
    ASSERT_EQ(Dec_SmoothBorderRegion(), 1);
    const u8 *px = g_frame.data;
    ASSERT_NE(px, nullptr);
    std::vector<u8> orig(frame_.size());
    for (i32 y = 0; y < kH; ++y)
        for (i32 x = 0; x < kW; ++x) orig[static_cast<size_t>(y * kW + x)] = ((x + y) & 1) != 0 ? 200 : 40;
    for (i32 y = 0; y < kH; ++y) {
        for (i32 x = 0; x < kW; ++x) {
            const bool inside = x >= 32 && x <= kW - 33 && y >= 32 && y <= kH - 33;
            const u8 v = px[y * kW + x];
            if (inside) ASSERT_EQ(v, 120) << x << "," << y;
            else ASSERT_EQ(v, orig[static_cast<size_t>(y * kW + x)]) << x << "," << y;
        }
    }
    // Settings that do not ask for it.
    u32 rec[33] = {};
    rec[0] = 16;
    ASSERT_EQ(Dec_SetSettingsRecord(rec), 1);
    EXPECT_EQ(Dec_SmoothOptionSet(), 0);
    EXPECT_EQ(Dec_SmoothBorderRegion(), 0);
    EXPECT_EQ(Dec_SetSettingsRecord(nullptr), 0);
}

// ---- Module side, with scripted modules.

class EntryModulesTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        Dec_ResetMultiResultList();
        vexo_test::CallLog().clear();
    }
};

int EntryAppendPresent() { return 1; }
int EntryAppendIndex() { return 3; }
int EntryAppendIndex2() { return 4; }
int EntryAppendCount() { return 5; }
int EntryFileIdLength() { return 16; }
int EntryFileIdItem(int i) { return 100 + i; }

TEST_F(EntryModulesTest, GettersAnswerTheModuleThatDecoded) {
    // Matrix record 0 decodes a QR part 2 of 4.
    Fake<0>::Matrix(0, "QR");
    Fake<0>::S().answers = {1};
    Fake<0>::S().symbols = {FakeSymbol{"PART", Square(10, 10, 40), true, 2, 4}};
    EXPECT_EQ(Dec_GetAppendPresentOfResult(), 0) << "nothing decoded";
    ASSERT_EQ(Dec_WalkMatrixModules(), 1);
    g_state.decoded = 1;
    EXPECT_EQ(Dec_GetAppendPresentOfResult(), 1);
    EXPECT_EQ(Dec_GetAppendIndexOfResult(), 2);
    EXPECT_EQ(Dec_GetAppendIndex2OfResult(), 2);
    EXPECT_EQ(Dec_GetAppendCountOfResult(), 4);
    EXPECT_EQ(Dec_GetFileIdLengthOfResult(), 1);
    g_adapterStatus[kAdapterQr] = 0;
    EXPECT_EQ(Dec_GetMatrixStatusOfResult(), 0);
    EXPECT_EQ(Dec_GetStackedStatusOfResult(), -1) << "no stacked record has a length";
    // Other sources answer 0.
    for (u8 source : {kSourceNone, kSourceExternal, kSourceOcrPostal}) {
        g_state.decodeSource = source;
        EXPECT_EQ(Dec_GetAppendCountOfResult(), 0) << int(source);
    }
    g_state.decodeSource = kSourceMatrix;
    g_state.decoded = 0;
    EXPECT_EQ(Dec_GetAppendCountOfResult(), 0) << "the last decode failed";

    // A stacked record with structured-append slots.
    SYM_MODULE r = Fake<1>::Stacked(0, kKindMatrix, kModulePdf417, "pdf");
    r.getAppendPresent = EntryAppendPresent;
    r.getAppendIndex = EntryAppendIndex;
    r.getAppendIndex2 = EntryAppendIndex2;
    r.getAppendCount = EntryAppendCount;
    r.getFileIdLength = EntryFileIdLength;
    r.getFileIdItem = EntryFileIdItem;
    Test_InstallStackedModule(0, &r);
    Fake<1>::S().answers = {1};
    Fake<1>::S().text = "STACKED";
    Fake<2>::Stacked(1, kKindLinear, kModuleComposite1D, "lin");
    ASSERT_EQ(Dec_WalkStackedAll(), 1);
    EXPECT_EQ(g_state.decodeSource, kSourceStacked);
    EXPECT_EQ(g_state.decodedModuleId, kModulePdf417);
    g_state.decoded = 1;
    EXPECT_EQ(Dec_GetAppendPresentOfResult(), 1);
    EXPECT_EQ(Dec_GetAppendIndexOfResult(), 3);
    EXPECT_EQ(Dec_GetAppendIndex2OfResult(), 4);
    EXPECT_EQ(Dec_GetAppendCountOfResult(), 5);
    EXPECT_EQ(Dec_GetFileIdLengthOfResult(), 16);
    EXPECT_EQ(Dec_GetFileIdItemOfResult(7), 107);
    EXPECT_EQ(Dec_GetStackedStatusOfResult(), 0);
    EXPECT_EQ(Dec_GetMultiResultList(), &g_multiList);
}

TEST_F(EntryModulesTest, StackedWalkWithoutWalkListTriesEveryRecord) {
    Fake<1>::Stacked(0, kKindMatrix, kModulePdf417, "pdf");
    Fake<2>::Stacked(1, kKindLinear, kModuleComposite1D, "lin");
    Fake<3>::Stacked(2, kKindSpecial, 9, "third");
    g_state.walkCount = 0;  // the walk list is not read
    EXPECT_EQ(Dec_WalkStackedAll(), 0);
    EXPECT_EQ(vexo_test::LogText(), "decode:pdf@0 decode:lin@0 decode:third@0 ");
    vexo_test::CallLog().clear();
    Fake<3>::S().answers = {1};
    ASSERT_EQ(Dec_WalkStackedAll(), 1);
    EXPECT_EQ(g_state.decodedModuleId, 9);
    EXPECT_EQ(g_state.decodeSource, kSourceStacked);
    // A record answering 2 is not a success here.
    vexo_test::CallLog().clear();
    Fake<1>::S().answers = {2};
    EXPECT_EQ(Dec_WalkStackedAll(), 0);
}

TEST_F(EntryModulesTest, AppendModuleResultAddsOneEntryWithinTheBounds) {
    Fake<0>::Matrix(0, "QR");
    Fake<0>::S().answers = {1};
    Fake<0>::S().symbols = {FakeSymbol{"HELLO", Square(5, 5, 20), true, 1, 3}};
    ASSERT_EQ(Dec_WalkMatrixModules(), 1);
    std::memcpy(Fake<0>::S().aim, "]Q3", 3);
    const REGION_QUAD q = Square(7, 8, 30);
    ASSERT_EQ(Dec_AppendModuleResult(&q), 1);
    ASSERT_EQ(g_multiList.entryCount, 1);
    EXPECT_EQ(g_multiList.entries[0].length, 5);
    EXPECT_EQ(g_multiList.entries[0].outline.c[0].x, 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(g_multiList.textPool), 5), "HELLO");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(g_multiList.aimBytes), 3), "]Q3");
    EXPECT_EQ(g_multiList.append[0].appendFlag, 1);
    EXPECT_EQ(g_multiList.append[0].index, 1);
    EXPECT_EQ(g_multiList.append[0].count, 3);
    EXPECT_EQ(g_multiList.classCount[kCharQr], 1);
    // The same symbol again is appended (no duplicate test) up to 16 entries.
    for (int i = 1; i < kMultiEntries; ++i) ASSERT_EQ(Dec_AppendModuleResult(&q), 1) << i;
    EXPECT_EQ(Dec_AppendModuleResult(&q), 0) << "a 17th entry";
    EXPECT_EQ(g_multiList.entryCount, kMultiEntries);
    // A text that overflows the pool.
    Dec_ResetMultiResultList();
    Fake<0>::S().symbols = {FakeSymbol{std::string(5000, 'x'), Square(5, 5, 20)}};
    EXPECT_EQ(Dec_AppendModuleResult(&q), 1);
    EXPECT_EQ(Dec_AppendModuleResult(&q), 0) << "5000 + 5000 bytes exceed the pool";
    EXPECT_EQ(g_multiList.entryCount, 1);
    g_state.matrixIndex = -1;
    EXPECT_EQ(Dec_AppendModuleResult(&q), 0);
}

TEST_F(EntryModulesTest, BoxesFromTheBoxListOrTheJoinedBoxes) {
    i32 out[3][4];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(Dec_GetBoxes(out, 0), 0);
    EXPECT_EQ(Dec_GetBoxes(nullptr, 2), 0);
    g_boxList.count = 2;
    g_boxList.box[0] = {1, 2, 3, 4};
    g_boxList.box[1] = {5, 6, 7, 8};
    EXPECT_EQ(Dec_GetBoxes(out, 1), 1);
    EXPECT_EQ(out[0][3], 4);
    EXPECT_EQ(out[1][0], 0x55555555) << "one box asked";
    EXPECT_EQ(Dec_GetBoxes(out, 3), 2);
    EXPECT_EQ(out[1][0], 5);
    EXPECT_EQ(out[2][0], 0x55555555);
    Dec_ResetBoxes();
    EXPECT_EQ(g_boxList.count, 0);
    EXPECT_EQ(g_boxList.capacity, 2);
    EXPECT_EQ(Dec_GetBoxes(out, 3), 0) << "no joined boxes either";
    const REGION_QUAD parts[3] = {Square(100, 100, 40), Square(200, 100, 40), Square(300, 100, 40)};
    const i32 order[3] = {2, 0, 1};
    Dec_StoreJoinedBoxes(parts, 3, order, 3, static_cast<int>(kCharQr));
    std::memset(out, 0, sizeof out);
    EXPECT_EQ(Dec_GetBoxes(out, 3), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i][0], g_joinedBoxes[i].left) << i;
        EXPECT_EQ(out[i][3], g_joinedBoxes[i].bottom) << i;
    }
}

TEST_F(EntryModulesTest, JoinedModeOfTheFirstEntry) {
    EXPECT_EQ(Dec_IsJoinedModeFor(2), 2);
    EXPECT_EQ(Dec_IsJoinedModeFor(1), 0) << "an empty list";
    struct JoinedCase {
        u32 number;
        int word;
    };
    static const JoinedCase kCases[] = {{kNumberQr, 39},      {kNumberAztec, 40},  {kNumberDataMatrix, 41},
                                        {kNumberMaxiCode, 42}, {kNumberCsCode, 43}, {kNumberMicroPdf417, 48}};
    g_multiList.entryCount = 1;
    for (const JoinedCase &c : kCases) {
        g_multiList.entries[0].symbologyNumber = c.number;
        g_params.flagsWord[c.word] = kFlagEnabled | 0x22;
        EXPECT_EQ(Dec_IsJoinedModeFor(1), 1) << c.word;
        g_params.flagsWord[c.word] = kFlagEnabled | 0x3;
        EXPECT_EQ(Dec_IsJoinedModeFor(1), 0) << c.word;
        g_params.flagsWord[c.word] = 2;
    }
    g_multiList.entries[0].symbologyNumber = kNumberMicroQr;
    EXPECT_EQ(Dec_IsJoinedModeFor(1), 0);
}

TEST_F(EntryModulesTest, ExtensionArgumentsAndInit) {
    int p[4];
    const u32 ids[4] = {0xcc0003, 0xcc0004, 0xcc0002, 0xcc0005};
    for (int i = 0; i < 4; ++i) {
        const DEC_ID_POINTER rec{ids[i], &p[i]};
        EXPECT_EQ(Dec_SetExtensionArg(&rec), 1);
        EXPECT_EQ(g_state.extensionArgs[i], &p[i]);
    }
    const DEC_ID_POINTER other{0xcc0006, &p[0]};
    EXPECT_EQ(Dec_SetExtensionArg(&other), 1);
    EXPECT_EQ(Dec_SetExtensionArg(nullptr), 0);
    EXPECT_EQ(g_state.extensionArgs[0], &p[0]);
    ZPT_SE_VexoDec_Init();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(g_state.extensionArgs[i], nullptr) << i;
    EXPECT_EQ(g_state.extensionArgs[3], &p[3]);
}

// ---- The external extension record.

const u8 kEntryExtText[] = "EXTERNAL-42";
int EntryExtDecode(void *args) {
    // The first extension argument is what the stage passes.
    return args == &g_state.extensionArgs[0] ? 1 : 0;
}
const u8 *EntryExtData(void *) { return kEntryExtText; }
int EntryExtLength() { return 11; }
int EntryExtStatus() { return 0; }
int EntryExtVersion(char *buf, int len) {
    static const char kLine[] = "External:   9.99.999";
    const int n = len < 20 ? len : 20;
    if (buf == nullptr || n <= 0) return 0;
    std::memcpy(buf, kLine, static_cast<size_t>(n));
    return n;
}

TEST_F(EntryModulesTest, ExternalRecordDecodesThroughTheExportedDecode) {
    EXT_MODULE ext{};
    ext.kind = kKindSpecial;
    ext.moduleId = 77;
    ext.getVersion = EntryExtVersion;
    ext.decode = EntryExtDecode;
    ext.getData = EntryExtData;
    ext.getLength = EntryExtLength;
    ext.getStatus = EntryExtStatus;
    const DEC_ID_POINTER wrongId{0xcc0006, &ext};
    EXPECT_EQ(Dec_RegisterExternal(&wrongId), 0);
    EXPECT_EQ(g_modules.external.decode, nullptr) << "another id changes nothing";
    const DEC_ID_POINTER noPointer{kExternalRecordId, nullptr};
    EXPECT_EQ(Dec_RegisterExternal(&noPointer), 0);
    EXPECT_EQ(Dec_RegisterExternal(nullptr), 0);
    const DEC_ID_POINTER rec{kExternalRecordId, &ext};
    ASSERT_EQ(Dec_RegisterExternal(&rec), 1);
    EXPECT_EQ(Dec_GetExternalLength(), 11);
    EXPECT_EQ(Dec_GetExternalStatus(), 0);

    std::vector<u8> frame(160u * 120u, 200);
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 160);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 120);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, EntryPtr(frame.data()));
    ASSERT_EQ(ZPT_SE_VexoDec_Decode(), 1);
    EXPECT_EQ(g_state.decodeSource, kSourceExternal);
    vexo_test::TextOut text(64);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &text.desc), 1);
    EXPECT_EQ(text.Text(), "EXTERNAL-42");
    vexo_test::TextOut versions(1024);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &versions.desc), 1);
    EXPECT_NE(versions.Text().find("External:   9.99.999"), std::string::npos) << versions.Text();
    // The getters by slot do not answer for the external source.
    EXPECT_EQ(Dec_GetAppendPresentOfResult(), 0);

    // A record whose first word is 0 clears the slot.
    EXT_MODULE empty = ext;
    empty.kind = 0;
    const DEC_ID_POINTER clear{kExternalRecordId, &empty};
    EXPECT_EQ(Dec_RegisterExternal(&clear), 0);
    EXPECT_EQ(g_modules.external.decode, nullptr);
    EXPECT_EQ(g_modules.external.kind, 0u);
    EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
}

TEST_F(EntryModulesTest, PdfReportedWordsAndZeroRoutine) {
    EXPECT_EQ(Sym_AnswerZero(), 0);
    EXPECT_EQ(Sym_PdfReportedData(), nullptr);
    EXPECT_EQ(Sym_PdfReportedLength(), 0);
    static const u8 kText[] = "abc";
    g_reported[kReportedPdf417].data = kText;
    g_reported[kReportedPdf417].length = 3;
    EXPECT_EQ(Sym_PdfReportedData(), kText);
    EXPECT_EQ(Sym_PdfReportedLength(), 3);
}

}  // namespace
