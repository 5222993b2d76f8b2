// Frames through the decoder's exported interface: the call sequence of the frame runner,
// the linked decoder on frames without codes, and how results are written out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/testkit.h"

namespace testkit {
namespace {

// A stand-in library that records every call and answers as told.
struct FakeLibrary {
    std::vector<std::pair<uint32_t, uint64_t>> sets;
    std::vector<uint32_t> gets;
    int decodes = 0;
    bool decodeAnswer = true;
    bool prefixAccepted = true;
    uint32_t codeId = 0x102;
    std::string text = "]Q1Hello";
};
FakeLibrary *g_fake = nullptr;

int FakeInit() { return 1; }
int FakeSet(uint32_t id, uint64_t value) {
    g_fake->sets.emplace_back(id, value);
    if (id == VEXO_ID_AIM_PREFIX) return g_fake->prefixAccepted ? 1 : 0;
    return 1;
}
int FakeGet(uint32_t id, void *out) {
    g_fake->gets.push_back(id);
    if (id == VEXO_ID_RESULT_CODE_ID) {
        *static_cast<uint32_t *>(out) = g_fake->codeId;
        return 1;
    }
    if (id == VEXO_ID_RESULT_TEXT) {
        auto *d = static_cast<TEXT_DESC *>(out);
        if (d->size < 24 || d->capacity < g_fake->text.size()) return 0;
        std::memcpy(d->buffer, g_fake->text.data(), g_fake->text.size());
        d->length = static_cast<uint32_t>(g_fake->text.size());
        return 1;
    }
    return 0;
}
int FakeDecode() {
    ++g_fake->decodes;
    return g_fake->decodeAnswer ? 1 : 0;
}

DecoderApi FakeApi(FakeLibrary *fake) {
    g_fake = fake;
    DecoderApi api;
    api.init = &FakeInit;
    api.set = &FakeSet;
    api.get = &FakeGet;
    api.decode = &FakeDecode;
    return api;
}

TEST(FrameRunner, EnablesEverySymbologyInstallsTheFrameAndReadsTheResultBack) {
    FakeLibrary fake;
    const DecoderApi api = FakeApi(&fake);
    const Frame frame(640, 480, 200);
    const DecodeResult r = RunFrame(api, frame);

    const std::vector<uint32_t> &groups = SymbologyGroups();
    ASSERT_EQ(groups.size(), 29u + 9u);
    ASSERT_EQ(fake.sets.size(), groups.size() + 5);
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(fake.sets[i].first, groups[i]);
        EXPECT_EQ(fake.sets[i].second, VEXO_ON);
    }
    // Data Matrix rectangles on: bit 8 of the Data Matrix word cleared.
    EXPECT_EQ(fake.sets[groups.size()], (std::pair<uint32_t, uint64_t>{0x20405, 0x10000}));
    const size_t n = groups.size() + 1;
    EXPECT_EQ(fake.sets[n], (std::pair<uint32_t, uint64_t>{VEXO_ID_AIM_PREFIX, VEXO_ON}));
    EXPECT_EQ(fake.sets[n + 1], (std::pair<uint32_t, uint64_t>{VEXO_ID_IMAGE_WIDTH, 640}));
    EXPECT_EQ(fake.sets[n + 2], (std::pair<uint32_t, uint64_t>{VEXO_ID_IMAGE_HEIGHT, 480}));
    EXPECT_EQ(fake.sets[n + 3].first, VEXO_ID_IMAGE_PIXELS);
    EXPECT_EQ(fake.sets[n + 3].second, reinterpret_cast<uintptr_t>(frame.pixels.data()));
    EXPECT_EQ(fake.decodes, 1);
    EXPECT_EQ(fake.gets, (std::vector<uint32_t>{VEXO_ID_RESULT_CODE_ID, VEXO_ID_RESULT_TEXT}));
    EXPECT_TRUE(ReadAs(r, "Hello", 0x102, "]Q1"));
}

TEST(FrameRunner, GroupsAreTheLinearAndTwoDimensionalOnes) {
    const std::vector<uint32_t> &g = SymbologyGroups();
    EXPECT_EQ(g.front(), 0x10000u);
    EXPECT_EQ(g[28], 0x11D00u);
    EXPECT_EQ(g[29], 0x20100u);
    EXPECT_EQ(g.back(), 0x20900u);
    EXPECT_EQ(std::count(g.begin(), g.end(), 0x11300u), 0);
}

TEST(FrameRunner, IdentifierOnlyWhenThePrefixWasAcceptedAndNothingAfterAFailedDecode) {
    FakeLibrary fake;
    fake.prefixAccepted = false;
    fake.text = "]Q1Hello";
    DecodeResult r = RunFrame(FakeApi(&fake), Frame(8, 8), false);
    EXPECT_TRUE(r.decoded);
    EXPECT_EQ(r.text, "]Q1Hello");
    EXPECT_EQ(r.aim, "");
    EXPECT_EQ(fake.sets.size(), 4u) << "no enabling asked";

    FakeLibrary failing;
    failing.decodeAnswer = false;
    r = RunFrame(FakeApi(&failing), Frame(8, 8));
    EXPECT_FALSE(r.decoded);
    EXPECT_TRUE(failing.gets.empty());
    EXPECT_FALSE(ReadAs(r, "x", 0x102, "]Q1"));

    FakeLibrary binary;
    binary.text = std::string("]d1\0\xFFz", 6);
    binary.codeId = 0x105;
    r = RunFrame(FakeApi(&binary), Frame(8, 8));
    EXPECT_TRUE(ReadAs(r, std::string("\0\xFFz", 3), 0x105, "]d1"));
    const ::testing::AssertionResult wrong = ReadAs(r, "z", 0x105, "]d1");
    EXPECT_FALSE(wrong);
    EXPECT_STREQ(wrong.message(), "read Data Matrix (0x105) ]d1 \"\\x00\\xFFz\"; expected Data Matrix (0x105) ]d1 \"z\"");
}

TEST(LinkedDecoder, FramesWithoutCodesAreNotRead) {
    struct Size {
        int w, h;
    };
    for (const Size s : {Size{752, 480}, Size{640, 480}, Size{1280, 960}, Size{1, 1}, Size{8, 3}, Size{1281, 10}}) {
        const Frame blank(s.w, s.h, 255);
        const DecodeResult r = DecodeFrame(blank);
        EXPECT_FALSE(r.decoded) << s.w << "x" << s.h;
    }
    // A fresh Init in between changes nothing for a blank frame.
    EXPECT_FALSE(DecodeFrame(Frame(752, 480, 0), {.init = true}).decoded);
    InitDecoder();
    EXPECT_FALSE(DecodeFrame(Frame(752, 480, 128)).decoded);
}

TEST(ResultText, EscapingAndCodeTypes) {
    EXPECT_EQ(EscapeBytes("plain text ~!"), "plain text ~!");
    EXPECT_EQ(EscapeBytes("a\\b"), "a\\\\b");
    EXPECT_EQ(EscapeBytes(std::string("\0\x1D\r\n\x7F\x80\xFF", 7)), "\\x00\\x1D\\x0D\\x0A\\x7F\\x80\\xFF");
    EXPECT_EQ(EscapeBytes(""), "");
    struct Case {
        uint32_t id;
        const char *label;
    };
    const Case kCases[] = {
        {0x102, "QR Code (0x102)"},   {0x103, "Micro QR (0x103)"},    {0x100, "PDF417 (0x100)"},
        {0x101, "MicroPDF417 (0x101)"}, {0x104, "Aztec (0x104)"},     {0x105, "Data Matrix (0x105)"},
        {0x106, "MaxiCode (0x106)"},  {0x107, "Han Xin Code (0x107)"}, {8, "EAN-13 (0x8)"},
        {7, "EAN-8 (0x7)"},           {10, "UPC-A (0xA)"},           {13, "Code 39 (0xD)"},
        {43, "GS1 DataBar (0x2B)"},   {270, "GS1 Composite (0x10E)"}, {0xFFFF, "Unknown (0xFFFF)"},
        {0x10A, "Unknown (0x10A)"},
    };
    for (const Case &c : kCases) EXPECT_EQ(CodeTypeLabel(c.id), c.label);
}

}  // namespace
}  // namespace testkit
