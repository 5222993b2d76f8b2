// Parameter block defaults.
#include "core/params.h"
#include "decoder_test.h"

namespace {

using vexo::g_params;
using vexo_test::DecoderTest;

struct WordCase {
    int index;
    uint32_t word;
};

// Every flags word after the first Init, written out from the table of defaults.
constexpr WordCase kFirstInit[] = {
    {0, 0x0040FF01},  {1, 0x0000FF01},  {2, 0x0000FF01},  {3, 0x0000FF01},  {4, 0},
    {5, 0x80000000},  {6, 0x80000000},  {7, 0},           {8, 0},           {9, 0x80000000},
    {10, 0x80000000}, {11, 0x8000FE02}, {12, 0x80000000}, {13, 0x80000000}, {14, 0x80000000},
    {15, 0x80000000}, {16, 0x8000FF06}, {17, 0x8000FF06}, {18, 0x8000FF06}, {19, 0x8000FF06},
    {20, 0x8000FF04}, {21, 0x8000FF04}, {22, 0x4000FF02}, {23, 0x8000FF06}, {24, 0x4000FF02},
    {25, 0x8001FF04}, {26, 0x0000FF01}, {27, 0},          {28, 0},          {29, 0},
    {30, 0},          {31, 0x0000FF01}, {38, 0xA1},       {39, 0x321},      {40, 0x21},
    {41, 0x1E1},      {42, 0x21},       {43, 0x21},       {44, 0},          {45, 0x21},
    {46, 0x21},       {47, 0},          {48, 0xA1},       {49, 0},          {50, 0},
};

constexpr uint32_t Slot(uint32_t min, uint32_t max) { return min | (max << 16); }
constexpr uint32_t kLengthSlots[12] = {Slot(1, 2710), Slot(1, 7089), Slot(1, 3832), Slot(1, 3116),
                                       Slot(1, 150),  Slot(1, 7827), 0,             Slot(1, 65535),
                                       Slot(1, 1500), 0,             Slot(1, 366),  Slot(1, 35)};

TEST_F(DecoderTest, FirstInitInstallsEveryDefault) {
    ASSERT_EQ(ZPT_SE_VexoDec_Init(), 1);
    for (const WordCase &c : kFirstInit) {
        EXPECT_EQ(g_params.flagsWord[c.index], c.word) << "flags word " << c.index;
    }
    for (int slot = 0; slot < 12; ++slot) EXPECT_EQ(g_params.lengthWord[slot], kLengthSlots[slot]) << "slot " << slot;
    EXPECT_EQ(g_params.optionWord, 0u);
    EXPECT_EQ(g_params.itfLengthMask, 0u);
    EXPECT_EQ(g_params.commonWord, 0u);
    for (int i = 51; i < 64; ++i) EXPECT_EQ(g_params.flagsWord[i], 0u);
}

TEST_F(DecoderTest, SecondInitRestoresNamedBitsAndKeepsTheRest) {
    ZPT_SE_VexoDec_Init();
    for (uint32_t &w : g_params.flagsWord) w = 0xFFFFFFFF;
    for (uint32_t &w : g_params.lengthWord) w = 0xFFFFFFFF;
    g_params.optionWord = 0xFFFFFFFF;
    g_params.itfLengthMask = 0xFFFFFFFF;
    g_params.commonWord = 0xFFFFFFFF;
    ZPT_SE_VexoDec_Init();

    struct Kept {
        int index;
        uint32_t word;
    };
    // Words whose unnamed bits survive: Code 128 keeps bit 30, EAN-13 keeps bit 23.
    constexpr Kept kCases[] = {
        {1, 0x5FBFFF01},   // bits 22, 29, 31 cleared, lengths 1-255, bit 30 kept
        {6, 0xFFBFFFFF & ~0x0F000000u},  // bits 22, 24-27 cleared, bit 31 set, bit 23 kept
        {27, 0xFFFFFFFF},  // 2 of 5 variant A is not written
        {44, 0xFFFFFFFF},  // nor the word of group 0x21400
        {49, 0xFFBFFFFF},  // Micro QR: only disabled
        {41, (0xFFFFFFFF & ~(0x1FFFu | (1u << 22))) | 1 | (3 << 5) | (1 << 7) | (1 << 8)},
    };
    for (const Kept &k : kCases) EXPECT_EQ(g_params.flagsWord[k.index], k.word) << "flags word " << k.index;
    EXPECT_EQ(g_params.lengthWord[6], 0xFFFFFFFFu);
    EXPECT_EQ(g_params.lengthWord[9], 0xFFFFFFFFu);
    EXPECT_EQ(g_params.lengthWord[1], Slot(1, 7089));
    EXPECT_EQ(g_params.optionWord, 0xFFFFFFF7u);
    EXPECT_EQ(g_params.itfLengthMask, 0u);
    EXPECT_EQ(g_params.commonWord, 0xFFFFFFF8u);
}

TEST_F(DecoderTest, PresetsEnableTheirSymbologyAndReplaceTheCountBits) {
    ZPT_SE_VexoDec_Init();
    vexo::Par_PresetQr();
    EXPECT_EQ(g_params.flagsWord[39], (0x321u & ~0x3Fu) | 0x31u | (1u << 22));
    EXPECT_EQ(g_params.lengthWord[1], Slot(1, 1000));
    vexo::Par_PresetPdf417();
    EXPECT_EQ(g_params.flagsWord[38] & 0x3Fu, 0x22u);
    vexo::Par_PresetLinear();
    EXPECT_EQ(g_params.flagsWord[1], 0x80405001u);
    EXPECT_EQ(g_params.flagsWord[20], 0x80405001u);
    EXPECT_EQ(g_params.flagsWord[6], 0x80400000u);
}

}  // namespace
