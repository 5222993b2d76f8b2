// Frame margins, box expansion, the candidate store, box overlap and the small hooks.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/frame_margins.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"

namespace {

using vexo::CANDIDATE_STORE;
using vexo::g_candidateStore;
using vexo::g_frameMargins;
using vexo::PIXEL_BOX;
using vexo::REGION_QUAD;
using vexo::ROI_BOX;

class FrameMarginsTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        g_frameMargins = vexo::FRAME_MARGINS{};
        g_candidateStore = CANDIDATE_STORE{};
    }
    static void UseFrame(int w, int h) {
        vexo::Pix_SetImageSize(w, h);
        vexo::Dec_ComputeFrameMargins();
    }
};

REGION_QUAD Box(int left, int top, int right, int bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

void ExpectQuad(const REGION_QUAD &q, int left, int top, int right, int bottom) {
    const REGION_QUAD e = Box(left, top, right, bottom);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(q.c[k].x, e.c[k].x) << "corner " << k;
        EXPECT_EQ(q.c[k].y, e.c[k].y) << "corner " << k;
    }
}

TEST_F(FrameMarginsTest, MarginsFollowTheFrameSize) {
    struct Case {
        int w, h, firstColumn, firstRow, lastColumn, lastRow;
    };
    const Case cases[] = {
        {640, 480, 4, 4, 635, 475},      {752, 480, 4, 4, 747, 475},       {1280, 720, 160, 40, 1119, 679},
        {1280, 960, 160, 160, 1119, 799}, {969, 649, 4, 4, 964, 644},       {970, 650, 5, 5, 964, 644},
        {967, 647, 4, 4, 962, 642},       {960, 1280, 4, 320, 955, 959},    {1, 1, 4, 4, -4, -4},
        {8, 8, 4, 4, 3, 3},               {0, 0, 4, 4, -5, -5},
    };
    for (const Case &c : cases) {
        UseFrame(c.w, c.h);
        EXPECT_EQ(g_frameMargins.firstColumn, c.firstColumn) << c.w << "x" << c.h;
        EXPECT_EQ(g_frameMargins.firstRow, c.firstRow) << c.w << "x" << c.h;
        EXPECT_EQ(g_frameMargins.lastColumn, c.lastColumn) << c.w << "x" << c.h;
        EXPECT_EQ(g_frameMargins.lastRow, c.lastRow) << c.w << "x" << c.h;
    }
}

TEST_F(FrameMarginsTest, ExpandedBoxesAreClampedToTheMarginsWithoutReordering) {
    UseFrame(1280, 720);
    const ROI_BOX boxes[] = {
        {100, 200, 300, 400},      // top, bottom, left, right: grown inside the window
        {0, 900, 0, 1279},         // reaches past every margin
        {700, 710, 1200, 1250},    // wholly below and right of the window
        {30, 50, 170, 180},        // grows across the top margin only
    };
    std::array<REGION_QUAD, 5> out{};
    out[4] = Box(-7, -7, -7, -7);
    vexo::Dec_ExpandCandidateBoxes(boxes, 4, out.data(), 60, 16);
    ExpectQuad(out[0], 240, 84, 460, 216);
    ExpectQuad(out[1], 160, 40, 1119, 679);
    ExpectQuad(out[2], 1140, 684, 1119, 679);
    EXPECT_GT(out[2].c[0].x, out[2].c[1].x);
    ExpectQuad(out[3], 160, 40, 240, 66);
    ExpectQuad(out[4], -7, -7, -7, -7);

    vexo::Dec_ExpandCandidateBoxes(boxes, 0, out.data(), 0, 0);
    vexo::Dec_ExpandCandidateBoxes(boxes, -3, out.data(), 0, 0);
    vexo::Dec_ExpandCandidateBoxes(nullptr, 2, out.data(), 0, 0);
    ExpectQuad(out[0], 240, 84, 460, 216);
}

TEST_F(FrameMarginsTest, PointInBoxIncludesTheBorder) {
    const REGION_QUAD q = Box(10, 20, 30, 40);
    const struct {
        int x, y, in;
    } cases[] = {{10, 20, 1}, {30, 40, 1}, {20, 30, 1}, {9, 30, 0}, {31, 30, 0}, {20, 19, 0}, {20, 41, 0}};
    for (auto c : cases) {
        const int32_t p[2] = {c.x, c.y};
        EXPECT_EQ(vexo::Dec_PointInBox(&q, p), c.in) << c.x << "," << c.y;
    }
    EXPECT_EQ(vexo::Dec_PointInBox(nullptr, nullptr), 0);
}

TEST_F(FrameMarginsTest, StoreKeepsFiftyRecordsAndPointsBehindTheLastStored) {
    UseFrame(640, 480);
    std::array<REGION_QUAD, 60> quads{};
    std::array<int8_t, 60> codes{};
    for (int i = 0; i < 60; ++i) {
        quads[i] = Box(10 + i, 20, 100 + i, 200);
        codes[i] = static_cast<int8_t>(i - 30);
    }
    const REGION_QUAD *next = vexo::Dec_StoreCandidateBoxes(quads.data(), 60, codes.data(), 7);
    EXPECT_EQ(next, quads.data() + 50);
    EXPECT_EQ(g_candidateStore.count, 50);
    const vexo::CANDIDATE_RECORD &r = g_candidateStore.records[3];
    EXPECT_EQ(r.kind, 3);
    EXPECT_EQ(r.value, 7);
    EXPECT_EQ(r.code, -27);
    EXPECT_EQ(r.mark, 0);
    EXPECT_EQ(r.left, 13);
    EXPECT_EQ(r.right, 103);
    // A full store refuses and hands the input back.
    EXPECT_EQ(vexo::Dec_StoreCandidateBoxes(quads.data() + 50, 10, codes.data(), 7), quads.data() + 50);
    EXPECT_EQ(g_candidateStore.count, 50);
}

TEST_F(FrameMarginsTest, StoredBoxesKeepFourPixelsFromTheEdges) {
    UseFrame(640, 480);
    g_candidateStore.count = -5;  // a negative count counts as empty
    const REGION_QUAD quads[] = {
        {{{7, 2}, {637, 3}, {3, 470}, {600, 476}}},
        {{{5, 5}, {636, 6}, {4, 474}, {636, 476}}},
    };
    const int8_t codes[] = {1, 2};
    EXPECT_EQ(vexo::Dec_StoreCandidateBoxes(quads, 2, codes, 0), quads + 2);
    ASSERT_EQ(g_candidateStore.count, 2);
    const vexo::CANDIDATE_RECORD &a = g_candidateStore.records[0];
    EXPECT_EQ(a.top, 4);
    EXPECT_EQ(a.left, 4);
    EXPECT_EQ(a.right, 636);
    EXPECT_EQ(a.bottom, 476);
    const vexo::CANDIDATE_RECORD &b = g_candidateStore.records[1];
    EXPECT_EQ(b.top, 5);
    EXPECT_EQ(b.left, 4);
    EXPECT_EQ(b.right, 636);
    EXPECT_EQ(b.bottom, 476);
    EXPECT_EQ(a.quad.c[1].x, 637) << "the quad is kept as given";
}

TEST_F(FrameMarginsTest, MarkFindsTheFirstEqualQuadOnly) {
    UseFrame(640, 480);
    const REGION_QUAD quads[] = {Box(10, 10, 50, 50), Box(60, 60, 90, 90), Box(10, 10, 50, 50)};
    const int8_t codes[] = {2, 2, 2};
    vexo::Dec_StoreCandidateBoxes(quads, 3, codes, 2);
    REGION_QUAD probe = Box(10, 10, 50, 50);
    vexo::Dec_MarkCandidateBox(&probe, 9);
    EXPECT_EQ(g_candidateStore.records[0].mark, 9);
    EXPECT_EQ(g_candidateStore.records[2].mark, 0);
    probe.c[3].y = 51;  // one coordinate differs: no match
    vexo::Dec_MarkCandidateBox(&probe, 4);
    EXPECT_EQ(g_candidateStore.records[0].mark, 9);
    EXPECT_EQ(g_candidateStore.records[1].mark, 0);
    vexo::Dec_MarkCandidateBox(nullptr, 4);
}

TEST_F(FrameMarginsTest, OverlapRatiosPer1024OfEachBox) {
    struct Case {
        PIXEL_BOX a, b;
        int answer, ratioA, ratioB;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {10, 0, 10, 20}, 0, 0, 0},          // a.bottom == b.top: touching only
        {{0, 0, 10, 10}, {0, 10, 20, 10}, 0, 0, 0},          // side by side
        {{10, 10, 20, 20}, {0, 0, 100, 100}, 1, 1024, 10},   // all of a: 100 x 1024 / 10000
        {{0, 0, 10, 10}, {5, 5, 15, 15}, 1, 256, 256},       // a quarter of each
        {{5, 5, 5, 9}, {0, 0, 10, 10}, 0, 0, 0},             // a has no width
        {{0, 0, 3, 7}, {1, 1, 2, 5}, 1, 195, 1024},          // truncated: 4 x 1024 / 21
        {{-20, -20, -10, -10}, {-15, -15, 0, 0}, 1, 256, 113},
    };
    for (const Case &c : cases) {
        int32_t ra = -1, rb = -1;
        EXPECT_EQ(vexo::Dec_BoxOverlapRatios(&c.a, &c.b, &ra, &rb), c.answer);
        EXPECT_EQ(ra, c.ratioA);
        EXPECT_EQ(rb, c.ratioB);
    }
    // Huge hostile boxes stay exact and in range.
    const PIXEL_BOX big{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const PIXEL_BOX half{0, INT32_MIN, INT32_MAX, INT32_MAX};
    int32_t ra = 0, rb = 0;
    EXPECT_EQ(vexo::Dec_BoxOverlapRatios(&half, &big, &ra, &rb), 1);
    EXPECT_EQ(ra, 1024);
    EXPECT_EQ(rb, 511);
}

TEST_F(FrameMarginsTest, StorePairsMarksTwoThenThreeAndReusesARecordMarkedTwo) {
    g_candidateStore.records[1].mark = 5;
    g_candidateStore.records[2].mark = 2;
    const PIXEL_BOX boxes[] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    const int8_t codes[] = {-1, -2, -3, -4};
    vexo::Dec_StoreCandidatePairs(boxes, 4, codes, 70);
    EXPECT_EQ(g_candidateStore.count, 2);
    EXPECT_EQ(g_candidateStore.records[0].mark, 2);
    EXPECT_EQ(g_candidateStore.records[0].code, -1);
    EXPECT_EQ(g_candidateStore.records[1].mark, 3);
    EXPECT_EQ(g_candidateStore.records[1].value, 70);
    // Record 2 was marked 2: the third and fourth boxes land on it without advancing.
    EXPECT_EQ(g_candidateStore.records[2].top, 13);
    EXPECT_EQ(g_candidateStore.records[2].code, 0);

    g_candidateStore = CANDIDATE_STORE{};
    g_candidateStore.count = 49;
    vexo::Dec_StoreCandidatePairs(boxes, 4, codes, 70);
    EXPECT_EQ(g_candidateStore.count, 50);
}

TEST_F(FrameMarginsTest, FlipRowsReversesRowOrder) {
    const uint8_t src[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    uint8_t dst[9] = {};
    vexo::Dec_FlipRows(src, 3, 3, dst);
    const uint8_t expect[] = {7, 8, 9, 4, 5, 6, 1, 2, 3};
    EXPECT_EQ(std::memcmp(dst, expect, 9), 0);
    vexo::Dec_FlipRows(src, 0, 3, dst);
    vexo::Dec_FlipRows(nullptr, 3, 3, dst);
    EXPECT_EQ(std::memcmp(dst, expect, 9), 0);
}

TEST_F(FrameMarginsTest, BitmapHeaderLayout) {
    std::array<uint8_t, 1078> h{};
    h.fill(0xEE);
    EXPECT_EQ(vexo::Dec_WriteBmpHeader(nullptr, 640, 480, h.data()), 640u * 480u + 1078u);
    auto u32 = [&](int at) {
        return static_cast<uint32_t>(h[at] | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<uint32_t>(h[at + 3]) << 24);
    };
    auto u16 = [&](int at) { return h[at] | h[at + 1] << 8; };
    EXPECT_EQ(h[0], 0x42);
    EXPECT_EQ(h[1], 0x4D);
    EXPECT_EQ(u32(2), 308278u);
    EXPECT_EQ(u32(6), 0u);
    EXPECT_EQ(u32(10), 1078u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 640u);
    EXPECT_EQ(u32(22), 480u);
    EXPECT_EQ(u16(26), 1);
    EXPECT_EQ(u16(28), 8);
    EXPECT_EQ(u32(30), 0u);
    EXPECT_EQ(u32(34), 307200u);
    EXPECT_EQ(u32(38), 0u);
    EXPECT_EQ(u32(42), 0u);
    EXPECT_EQ(u32(46), 256u);
    EXPECT_EQ(u32(50), 0u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(u32(54 + 4 * i), static_cast<uint32_t>(i | i << 8 | i << 16)) << "palette " << i;
    }
    EXPECT_EQ(vexo::Dec_WriteBmpHeader(nullptr, 3, 2, nullptr), 1084u);
}

TEST_F(FrameMarginsTest, HooksAnswerTheirArgumentOrZero) {
    const char *label = "LIS";
    int object = 0;
    EXPECT_EQ(vexo::Dec_TraceInit("IN X3_INIT"), std::string_view("IN X3_INIT"));
    EXPECT_EQ(vexo::Dec_TraceText(label), label);
    EXPECT_EQ(vexo::Dec_TraceCount(-12), -12);
    EXPECT_EQ(vexo::Dec_TracePointer(&object), &object);
    EXPECT_EQ(vexo::Dec_TraceObject(&object, 3), &object);
    EXPECT_EQ(vexo::Dec_TraceFlag(&object, 1), &object);
    EXPECT_EQ(vexo::Dec_TraceStageBegin(), 0);
    EXPECT_EQ(vexo::Dec_TraceStageEnd(label), 0);
    EXPECT_EQ(vexo::Dec_TraceStepBegin(), 0);
    EXPECT_EQ(vexo::Dec_TraceStepEnd("SQR1"), 0);
    EXPECT_EQ(vexo::Dec_TimeLimitReached(), 0);
    for (uint32_t pos : {0u, 11u, 12u, 0xFFFFFFFFu}) EXPECT_EQ(vexo::Dec_TestPositionFlag(pos), 0) << pos;
}

TEST_F(FrameMarginsTest, SmoothingFlagIsOnOnlyForOne) {
    const struct {
        int32_t value;
        uint32_t flag;
    } cases[] = {{1, 1}, {0, 0}, {2, 0}, {-1, 0}};
    for (auto c : cases) {
        vexo::Dec_SetSmoothing(c.value);
        EXPECT_EQ(vexo::g_state.smoothing, c.flag) << c.value;
    }
}

}  // namespace
