// The exported interface: build stamp, image installation, region of interest, banner,
// version list, text descriptors and the frame limits.
#include <array>

#include "core/api.h"
#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"

namespace {

using vexo::g_state;
using vexo_test::DecoderTest;
using vexo_test::GetWord;
using vexo_test::TextOut;

uint64_t Ptr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

void ExpectQuad(const vexo::REGION_QUAD &q, std::array<int, 8> xy) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(q.c[i].x, xy[2 * i]) << "corner " << i;
        EXPECT_EQ(q.c[i].y, xy[2 * i + 1]) << "corner " << i;
    }
}

TEST_F(DecoderTest, BuildStampAnswersOnlyItsOwnValue) {
    EXPECT_EQ(X3_Dec_TSI(20151223), 1);
    for (int32_t v : {0, 20151222, 20151224, -20151223, INT32_MAX}) EXPECT_EQ(X3_Dec_TSI(v), 0) << v;
}

TEST_F(DecoderTest, ConnectInitReadsItsWordAndToleratesNull) {
    uint32_t w = 7;
    EXPECT_EQ(ZPT_SE_VexoConnect_Init(&w), 1);
    EXPECT_EQ(ZPT_SE_VexoConnect_Init(nullptr), 1);
}

TEST_F(DecoderTest, ImageIdsMayComeInAnyOrder) {
    std::vector<uint8_t> pixels(640 * 480, 200);
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels.data())), 1);
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480), 1);
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 640), 1);
    EXPECT_EQ(vexo::g_image.data, pixels.data());
    EXPECT_EQ(vexo::g_image.buffer2, vexo::g_internalImage);
    EXPECT_EQ(vexo::g_image.width, 640);
    EXPECT_EQ(vexo::g_image.widthCopy, 640);
    EXPECT_EQ(vexo::g_image.height, 480);
    EXPECT_EQ(vexo::g_frame.data, pixels.data());
    EXPECT_EQ(vexo::g_state.image.secondBuffer, vexo::g_internalImage);
    EXPECT_EQ(vexo::g_state.initialised, 1u);
    // The pointer takes the whole 64-bit value.
    const uint64_t high = 0x00007F0000001000ull;
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, high);
    EXPECT_EQ(Ptr(vexo::g_image.data), high);
}

TEST_F(DecoderTest, DecodeRefusesMissingAndOversizedFramesWithoutRunning) {
    static uint8_t pixels[1280 * 961];
    struct Case {
        const char *what;
        bool withPixels;
        int32_t width, height;
    };
    const Case cases[] = {
        {"no pixels", false, 640, 480},   {"width 0", true, 0, 480},       {"height 0", true, 640, 0},
        {"negative width", true, -640, 480}, {"negative height", true, 640, -1},
        {"width 1281", true, 1281, 100},  {"height 1281", true, 100, 1281}, {"1280 x 961", true, 1280, 961},
    };
    for (const Case &c : cases) {
        vexo::Test_ResetDecoderStatics();
        ZPT_SE_VexoDec_Init();
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint32_t>(c.width));
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint32_t>(c.height));
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, c.withPixels ? Ptr(pixels) : 0);
        EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0) << c.what;
        EXPECT_EQ(vexo::g_arena.base, nullptr) << c.what << ": the decode body ran";
    }
    // The largest accepted frames and tiny ones run the body (which resets the arena).
    for (auto [w, h] : {std::pair{1280, 960}, std::pair{960, 1280}, std::pair{1, 1}, std::pair{8, 3}}) {
        vexo::Test_ResetDecoderStatics();
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint32_t>(w));
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint32_t>(h));
        ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels));
        EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
        EXPECT_NE(vexo::g_arena.base, nullptr) << w << "x" << h;
    }
}

TEST_F(DecoderTest, RoiEdgeWordsStartAsA752x480Frame) {
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_ROI_ENABLE, 1), 1);
    ExpectQuad(g_state.roiQuad, {0, 0, 751, 0, 0, 479, 751, 479});
    ROI_RECORD r{};
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_ROI_RECORD, &r), 1);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 751);
    EXPECT_EQ(r.bottom, 479);
    EXPECT_EQ(r.enabled, 1);
    EXPECT_EQ(g_state.roiExplicit, 1u);
}

TEST_F(DecoderTest, RoiWordsAndRecordsGiveTheirQuads) {
    static uint8_t pixels[640 * 480];
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 640);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels));

    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_LEFT, 10);
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_RIGHT, 300);
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_TOP, 20);
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_BOTTOM, 200);
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_ENABLE, 5);
    ExpectQuad(g_state.roiQuad, {10, 20, 300, 20, 10, 200, 300, 200});

    // Disabled: the centred 10 % box, also in the record.
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_ENABLE, 0);
    ExpectQuad(g_state.roiQuad, {256, 192, 384, 192, 256, 288, 384, 288});
    EXPECT_EQ(g_state.roiRecord.top, 192);
    EXPECT_EQ(g_state.roiRecord.left, 256);
    EXPECT_EQ(g_state.roiRecord.right, 384);
    EXPECT_EQ(g_state.roiRecord.bottom, 288);
    EXPECT_EQ(g_state.roiRecord.enabled, 0);

    ROI_RECORD rec{5, 6, 7, 8, 1};
    ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_ROI_RECORD, Ptr(&rec)), 1);
    ExpectQuad(g_state.roiQuad, {6, 5, 7, 5, 6, 8, 7, 8});
    rec.enabled = 0;
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_RECORD, Ptr(&rec));
    ExpectQuad(g_state.roiQuad, {256, 192, 384, 192, 256, 288, 384, 288});
    ROI_RECORD back{};
    ZPT_SE_VexoDec_Get(VEXO_ID_ROI_RECORD, &back);
    EXPECT_EQ(std::memcmp(&back, &rec, sizeof rec), 0);
    EXPECT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_ROI_RECORD, 0), 0) << "a null record is refused";
}

TEST_F(DecoderTest, RoiPercentShapesTheQuadOfEveryDecodeUntilAnExplicitRoi) {
    static uint8_t pixels[640 * 480];
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 640);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels));
    struct Case {
        int32_t percent;
        std::array<int, 8> quad;
    };
    const Case cases[] = {
        {0, {0, 0, 639, 0, 0, 479, 639, 479}},
        {101, {0, 0, 639, 0, 0, 479, 639, 479}},
        {-5, {0, 0, 639, 0, 0, 479, 639, 479}},
        {50, {160, 120, 480, 120, 160, 360, 480, 360}},
        {100, {0, 0, 640, 0, 0, 480, 640, 480}},
        {1, {317, 238, 323, 238, 317, 242, 323, 242}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_ROI_PERCENT, static_cast<uint32_t>(c.percent)), 1);
        EXPECT_EQ(GetWord(VEXO_ID_ROI_PERCENT), static_cast<uint32_t>(c.percent));
        ZPT_SE_VexoDec_Decode();
        ExpectQuad(g_state.roiQuad, c.quad);
    }
    // Once an explicit region is set it stays, also across Init.
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_ENABLE, 0);
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 640);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 480);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels));
    ZPT_SE_VexoDec_Set(VEXO_ID_ROI_PERCENT, 50);
    ZPT_SE_VexoDec_Decode();
    ExpectQuad(g_state.roiQuad, {256, 192, 384, 192, 256, 288, 384, 288});
}

TEST_F(DecoderTest, ExtraGeometryStepKeepsOnlyValuesUpToOne) {
    struct Case {
        uint64_t value;
        uint32_t stored;
    };
    const Case cases[] = {{1, 1}, {0, 0}, {2, 0}, {0x101, 1}, {0xFF, 0xFFFFFFFF}, {0x7F, 0xFFFFFFFF}};
    for (const Case &c : cases) {
        EXPECT_EQ(ZPT_SE_VexoDec_Set(VEXO_ID_EXTRA_GEOMETRY, c.value), 1);
        EXPECT_EQ(GetWord(VEXO_ID_EXTRA_GEOMETRY), c.stored) << "after value " << c.value;
    }
}

TEST_F(DecoderTest, InterfaceOptionIdsStoreAndReport) {
    struct Case {
        uint32_t id;
        uint64_t value;
        int answer;
    };
    const Case cases[] = {
        {VEXO_ID_OPTION_BIT1, VEXO_ON, 1},  {VEXO_ID_OPTION_BIT1, 1, 0},  {VEXO_ID_OPTION_BIT0, VEXO_ON, 1},
        {VEXO_ID_OPTION_BIT0, VEXO_OFF, 1}, {0x400000, VEXO_ON, 1},       {0x400000, 2, 0},
        {0x400001, 99, 1},                  {0x400009, 0x12345, 1},       {0x40000a, 7, 1},
        {0x100202, 1, 1},                   {0x100210, 1, 1},             {VEXO_ID_SMOOTHING, 1, 1},
        {0x100203, 1, 0},                   {0xFFFFFFFF, 1, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(ZPT_SE_VexoDec_Set(c.id, c.value), c.answer) << std::hex << c.id;
    EXPECT_EQ(GetWord(VEXO_ID_OPTION_BIT1), 1u);
    EXPECT_EQ(GetWord(VEXO_ID_OPTION_BIT0), 0u);
    EXPECT_EQ(g_state.flag400000, 1u);
    EXPECT_EQ(g_state.word400009, 0x2345);
    EXPECT_EQ(g_state.word40000a, 7);
    EXPECT_EQ(g_state.smoothing, 1u);
    ZPT_SE_VexoDec_Set(VEXO_ID_SMOOTHING, 2);
    EXPECT_EQ(g_state.smoothing, 0u);
}

TEST_F(DecoderTest, BannerIsCutToTheCapacity) {
    struct Case {
        uint32_t capacity;
        const char *text;
    };
    const Case cases[] = {
        {10, "\r\nVexo Ve"},
        {1, ""},
        {2, "\r"},
        {64, "\r\nVexo Ver:     4.10.001B00"},
        {27, "\r\nVexo Ver:     4.10.001B0"},
        {28, "\r\nVexo Ver:     4.10.001B00"},
    };
    for (const Case &c : cases) {
        TextOut out(c.capacity);
        ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_BANNER, &out.desc), 1);
        EXPECT_EQ(out.Text(), c.text) << "capacity " << c.capacity;
        EXPECT_EQ(out.bytes[out.desc.length], 0) << "terminator";
        EXPECT_EQ(out.bytes[c.capacity], '#') << "nothing past the capacity";
    }
}

TEST_F(DecoderTest, VersionListStartsWithTheBannerLine) {
    TextOut out(512);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &out.desc), 1);
    EXPECT_EQ(out.Text(),
              "\r\nVexo Ver:     4.10.001B00\r\n  PDF417:     3.01.001\r\n  Composite1D:2.00.017\r\n  "
              "QRCode:     3.04.000\r\n  DataMatrix: 2.03.015\r\n  AztecCode:  1.04.008\r\n  "
              "MaxiCode:   2.00.001\r\n  CS Code:    2.00.019\r\n  MicroPDF417:1.00.002\r\n");
    EXPECT_EQ(out.desc.length, 221u);
    TextOut small(20);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &small.desc), 1);
    EXPECT_EQ(small.Text(), "\r\nVexo Ver:     ...");
    EXPECT_EQ(small.bytes[19], 0);
    EXPECT_EQ(small.bytes[20], '#');
    TextOut tiny(3);
    ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &tiny.desc), 1);
    EXPECT_EQ(tiny.Text(), "\r\n");
}

TEST_F(DecoderTest, UnusableTextDescriptorsAreRefusedAndLeftUntouched) {
    for (uint32_t id : {VEXO_ID_BANNER, VEXO_ID_VERSION_LIST, VEXO_ID_RESULT_TEXT}) {
        TextOut shortDesc(64, 23);
        EXPECT_EQ(ZPT_SE_VexoDec_Get(id, &shortDesc.desc), 0);
        EXPECT_EQ(shortDesc.desc.length, 0xDEADBEEFu);
        EXPECT_EQ(shortDesc.bytes[0], '#');
        TextOut sixteen(64, 16);
        EXPECT_EQ(ZPT_SE_VexoDec_Get(id, &sixteen.desc), 0);
        TextOut empty(0);
        EXPECT_EQ(ZPT_SE_VexoDec_Get(id, &empty.desc), 0);
        EXPECT_EQ(empty.bytes[0], '#');
        TextOut noBuffer(64);
        noBuffer.desc.buffer = nullptr;
        EXPECT_EQ(ZPT_SE_VexoDec_Get(id, &noBuffer.desc), 0);
        EXPECT_EQ(noBuffer.desc.length, 0xDEADBEEFu);
    }
    EXPECT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_BANNER, nullptr), 0);
    EXPECT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_CODE_ID, nullptr), 0);
}

TEST_F(DecoderTest, ResultGettersAfterAFailedDecode) {
    static uint8_t pixels[100 * 100];
    ZPT_SE_VexoDec_Init();
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, 100);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, 100);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, Ptr(pixels));
    EXPECT_EQ(ZPT_SE_VexoDec_Decode(), 0);
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_STATUS), 0xFFFFFFFFu);
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), 0u);
    EXPECT_EQ(GetWord(VEXO_ID_RESULT_WORD), 0u);
    EXPECT_EQ(GetWord(VEXO_ID_JOINED_COUNT), 0u);
    TextOut text(64);
    EXPECT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &text.desc), 1);
    EXPECT_EQ(text.desc.length, 0u);
    EXPECT_EQ(text.bytes[0], '#');
}

TEST_F(DecoderTest, CodeIdTablesMapSymbologyBits) {
    struct Case {
        uint32_t kind, bit, codeId;
    };
    const Case cases[] = {
        {0xC2, 0x2, 0x102},        {0xC2, 0x800, 0x103},  {0xC2, 0x80, 0x107},   {0xC2, 0x400, 0x101},
        {0xC2, 0x40, 0xFFFF},      {0xC3, 1, 0x300},      {0xC3, 2, 0xFFFF},     {0xC1, 0x1, 0},
        {0xC1, 0x20, 8},           {0xC1, 0x4000, 13},    {0xC1, 0x40000000, 270}, {0xC1, 0x80000000, 43},
        {0xC1, 0x1000, 0xFFFF},    {0, 0x2, 0xFFFF},
    };
    for (const Case &c : cases) {
        g_state.decoded = 1;
        g_state.initialised = 1;
        g_state.moduleResult.kind = c.kind;
        g_state.moduleResult.symbologyBit = c.bit;
        EXPECT_EQ(vexo::Dec_MapCodeId(), c.codeId) << std::hex << c.kind << " " << c.bit;
    }
    g_state.decoded = 0;
    EXPECT_EQ(vexo::Dec_MapCodeId(), 0xFFFFu) << "after a failed decode";
}

TEST_F(DecoderTest, ExternalSymbologyNumbers) {
    const std::pair<int32_t, uint32_t> cases[] = {
        {27, 1},  {20, 4},  {3, 7},   {34, 20}, {-1, 54}, {261, 51}, {258, 57}, {263, 0},
        {8, 2},   {19, 3},  {58, 6},  {43, 21}, {60, 55}, {67, 55},  {68, 0},   {0, 0},
    };
    for (auto [code, number] : cases) {
        g_state.lastSymbologyCode = code;
        EXPECT_EQ(GetWord(VEXO_ID_EXTERNAL_SYMBOLOGY), number) << "code " << code;
    }
}

}  // namespace
