// Decoding one region: the centre-in-ROI test and the pairing options, the smallest
// regions, the merge of profile marks, the read set's block and the core's candidate box.
#include <gtest/gtest.h>

#include <vector>

#include "core/frame_margins.h"
#include "scripted_line.h"

namespace {

using namespace vexo;
using namespace lineimgtest;

class LineImgRegions : public BarFrameTest {
protected:
    void SetUp() override {
        BarFrameTest::SetUp();
        InstallScript([](int, bool fine) -> std::optional<ScriptRead> {
            if (fine) return std::nullopt;
            return ScriptRead{"DB", 26};
        });
    }

    // Region 0 with this quad, decoded as the region loop does; the arena must be as before.
    int Decode(const REGION_QUAD &q) {
        g_lineImgRegions.count = 1;
        g_lineImgRegions.quads[0] = q;
        g_lineImgRegions.kinds[0] = 1;
        g_lineImgRegions.status[0] = 0;
        g_lineImgState.nextRegion = 1;
        LineImg_LoadOptions();
        const i32 blocks = g_arena.count;
        const i32 used = g_arena.used;
        const int r = LineImg_DecodeRegion(&run_);
        EXPECT_EQ(g_arena.count, blocks);
        EXPECT_EQ(g_arena.used, used);
        return r;
    }
};

const REGION_QUAD kRegion = Box(100, 140, 650, 240);

TEST_F(LineImgRegions, CentreInRoiUnlessPairing) {
    g_state.extraGeometryStep = 1;
    g_state.roiQuad = Box(0, 0, 300, 100);  // the diagonals cross at (375, 190)
    EXPECT_EQ(Decode(kRegion), 0);
    EXPECT_TRUE(g_seen.empty());
    for (u32 option : {kOptionPairSymbols, kOptionPairAll | kOptionPairSymbols, kOptionJoinItf}) {
        LineImg_ClearRun(&run_);
        g_params.optionWord = option;
        EXPECT_EQ(Decode(kRegion), 1) << option;
    }
    g_params.optionWord = 0;
    LineImg_ClearRun(&run_);
    g_state.roiQuad = Box(300, 100, 500, 300);
    EXPECT_EQ(Decode(kRegion), 1);
    LineImg_ClearRun(&run_);
    g_state.extraGeometryStep = 0;
    g_state.roiQuad = Box(0, 0, 300, 100);
    EXPECT_EQ(Decode(kRegion), 1);
}

TEST_F(LineImgRegions, SmallestRegions) {
    struct Case {
        REGION_QUAD quad;
        int answer;
    };
    const Case cases[] = {
        {Box(100, 140, 650, 159), 0},  // 19 high
        {Box(100, 140, 650, 160), 1},
        {Box(200, 140, 219, 240), 0},  // 19 wide
        {Box(200, 140, 220, 240), 1},  // read, though nothing is decoded there
    };
    for (const Case &c : cases) {
        LineImg_ClearRun(&run_);
        g_seen.clear();
        const int r = Decode(c.quad);
        if (c.answer == 0) {
            EXPECT_EQ(r, 0);
            EXPECT_TRUE(g_seen.empty());
        } else {
            EXPECT_TRUE(r == 1 || g_lineImgRegions.status[0] == kRegionScanned);
        }
    }
    // No work memory for the read set: the region is skipped.
    Mem_ResetArena();
    while (Mem_Alloc(1 << 20) != nullptr) {
    }
    while (Mem_Alloc(1024) != nullptr) {
    }
    g_seen.clear();
    EXPECT_EQ(Decode(kRegion), 0);
    EXPECT_TRUE(g_seen.empty());
    Mem_ResetArena();
}

TEST_F(LineImgRegions, MergeRegionMarks) {
    LINEIMG_REGIONS &t = g_lineImgRegions;
    t.count = 7;
    t.quads[0] = Box(100, 100, 300, 200);  // unread
    const REGION_QUAD near = Box(149, 51, 349, 249);  // every coordinate within 49
    const REGION_QUAD far = Box(150, 300, 300, 400);  // one x 50 away, the y far
    const u8 status[7] = {0, 16, 17, 1, 2, 3, 16};
    for (int k = 1; k < 7; ++k) t.quads[k] = k == 6 ? far : near;
    for (int k = 0; k < 7; ++k) t.status[k] = status[k];
    LineImg_MergeRegionMarks();
    const u8 want[7] = {0, 0, 0, 1, 2, 3, 16};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(t.status[k], want[k]) << k;
}

TEST_F(LineImgRegions, StoredReadMarksTheCandidateBox) {
    const i8 codes[2] = {1, 1};
    const REGION_QUAD other = Box(0, 0, 50, 50);
    Dec_StoreCandidateBoxes(&other, 1, codes, 0);
    Dec_StoreCandidateBoxes(&kRegion, 1, codes, 0);
    ASSERT_EQ(Decode(kRegion), 1);
    EXPECT_EQ(g_candidateStore.records[0].mark, 0);
    EXPECT_EQ(g_candidateStore.records[1].mark, kLineImgBoxMark);
    EXPECT_EQ(g_lineImgRegions.status[0], kRegionFinished);
    EXPECT_EQ(run_.count, 1);
    // A region that stopped on refused reads is marked too, without a result.
    g_candidateStore.records[1].mark = 0;
    LineImg_ClearRun(&run_);
    InstallScript([](int, bool) -> std::optional<ScriptRead> { return ScriptRead{"X", 23}; });
    g_params.flagsWord[23] &= ~kFlagEnabled;
    EXPECT_EQ(Decode(kRegion), 0);
    EXPECT_NE(g_lineImgState.regionStop, 0);
    EXPECT_EQ(g_candidateStore.records[1].mark, kLineImgBoxMark);
    EXPECT_EQ(run_.count, 0);
}

TEST_F(LineImgRegions, DriverRunsRegionsUntilTwoResults) {
    // Three regions, each stored but none accepted (pairing without joining): the third
    // is never read, the fallback joins the two.
    g_params.optionWord = kOptionPairSymbols;
    const REGION_QUAD quads[3] = {Box(100, 140, 650, 240), Box(100, 100, 650, 139), Box(100, 241, 650, 299)};
    const u8 kinds[3] = {1, 1, 1};
    Test_SetLineImgRegions(quads, kinds, 3);
    int reads = 0;
    InstallScript([&](int, bool fine) -> std::optional<ScriptRead> {
        if (fine) return std::nullopt;
        ++reads;
        return ScriptRead{std::string{'R', static_cast<char>('0' + reads)}, 26};
    });
    const i32 blocks = g_arena.count;
    ASSERT_EQ(LineImg_Decode(), 1);
    EXPECT_EQ(g_arena.count, blocks);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(g_lineImgRegions.status[2], 0);
    EXPECT_EQ(OutputText(), "R2R1");  // read forward; region 1 lies above region 0
    EXPECT_EQ(OutputAim(), "]C0");
    i32 id = 0;
    EXPECT_EQ(LineImg_GetSymbologyBit(&id), 0x80000000u);
    EXPECT_EQ(id, kSymDataBar);
    // The next image without regions: nothing, and nothing left of the last output.
    Test_SetLineImgRegions(nullptr, nullptr, 0);
    EXPECT_EQ(LineImg_Decode(), 0);
    EXPECT_EQ(LineImg_GetResultText(), nullptr);
    EXPECT_EQ(OutputAim(), "]X0");
    EXPECT_EQ(LineImg_GetSymbologyBit(nullptr), 0u);
}

TEST_F(LineImgRegions, ScanModeSwitchesTheProfilePath) {
    EXPECT_EQ(g_lineImgProfileOn, 1u);
    LineImg_SetScanMode(0);
    EXPECT_EQ(g_lineImgProfileOn, 0u);
    LineImg_SetScanMode(3);
    EXPECT_EQ(g_lineImgProfileOn, 0u);
    LineImg_SetScanMode(5);
    EXPECT_EQ(g_lineImgProfileOn, 1u);
    LineImg_SetScanMode(7);
    EXPECT_EQ(g_lineImgProfileOn, 1u);
    LineImg_SetScanMode(0);
    Test_SetLineImgRegions(&kRegion, nullptr, 1);
    LineImg_Decode();
    EXPECT_EQ(g_lineImgProfileOn, 0u);  // carries from image to image
}

}  // namespace
