// Output rules over scripted run contents: what the acceptance step outputs at once, what
// waits for more regions and what the fallbacks output after the region loop; the texts,
// ids, AIM identifiers, symbology codes and part lists they leave; the symbology bits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "linear/line_driver.h"
#include "lineimg_test_util.h"

// The case tables leave trailing fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace vexo;
using namespace lineimgtest;

struct Stored {
    std::string text;
    i32 id;
    char letter = 'C';
    char modifier = '0';
    REGION_QUAD quad = Box(100, 100, 600, 150);
    u8 orientation = 1;
    u16 auxDirection = 1;
    i32 link = 0;
    std::string component;
};

struct Case {
    const char *what;
    u32 optionWord;
    u32 upcWord;
    std::vector<Stored> results;
    int regions;             // region count; the results came from the regions before nextRegion
    int nextRegion;
    int atOnce;              // accepted when the last result was stored
    int output;              // an output after the fallbacks (or at once)
    std::string text;
    std::string aim = "]C0";
    i32 id = -1;             // -1: that of the last result
    i32 code = 0;            // symbology code written (0: none)
    int parts = 0;           // part list entries reported by the copy (0: none)
};

constexpr u32 kPairAll = kOptionPairSymbols | kOptionPairAll;
const REGION_QUAD kUpper = Box(100, 100, 600, 150);
const REGION_QUAD kLower = Box(100, 300, 600, 350);
const REGION_QUAD kOverlapping = Box(300, 120, 700, 170);
// Bars lying flat: the first side runs down.
const REGION_QUAD kFlatLeft = Quad(100, 50, 100, 400, 150, 50, 150, 400);
const REGION_QUAD kFlatRight = Quad(400, 50, 400, 400, 450, 50, 450, 400);

const std::string kCoupon = "512345678900";
const std::string kExt128 = "8101012345678901";
const std::string kExtBar = "8110106141416543213500110000310123196000";

std::vector<Case> Cases() {
    const Stored upc{kCoupon, kSymUpcA, 'E', '0'};
    const Stored ext128{kExt128, kSymGs1128, 'C', '1', kLower};
    const Stored extBar{kExtBar, kSymDataBar, 'e', '0', kLower};
    return {
        {"coupon, then its GS1-128 extension", 0, kFlagCouponJoinExtension, {upc, ext128}, 3, 2, 1, 1,
         kCoupon + kExt128, "]E0", kSymUpcA, 58, 2},
        {"extension first, coupon second", 0, kFlagCouponJoinExtension, {ext128, upc}, 3, 2, 1, 1, kCoupon + kExt128,
         "]E0", kSymUpcA, 58, 2},
        {"DataBar extension alone", 0, kFlagCouponJoinExtension | kFlagCouponDataBarOnly, {upc, extBar}, 3, 2, 1, 1,
         kExtBar, "]e0", kSymDataBar, 58, 0},
        {"coupon in a region before the last waits, then stands alone", 0, kFlagCouponJoinExtension, {upc}, 2, 1, 0, 1,
         kCoupon, "]E0", kSymUpcA, 58},
        {"coupon in the last region stands alone at once", 0, kFlagCouponJoinExtension, {upc}, 2, 2, 1, 1, kCoupon,
         "]E0", kSymUpcA},
        {"coupon never alone when it needs its extension", 0, kFlagCouponRequireExtension, {upc}, 2, 2, 0, 0, ""},
        {"nor in the pairing fallback", kOptionPairSymbols, kFlagCouponRequireExtension, {upc}, 2, 2, 0, 0, ""},
        {"an extension without its coupon waits", 0, kFlagCouponJoinExtension, {ext128}, 2, 2, 0, 1, kExt128, "]C1",
         kSymGs1128, 58},
        {"ITF 14 and 12 digits join, the 12 first", kOptionJoinItf, 0,
         {{"12345678901231", kSymItf, 'I', '1'}, {"123456789012", kSymItf, 'I', '1', kLower}}, 2, 2, 1, 1,
         "12345678901212345678901231", "]I1"},
        {"two ITF reads of 14 digits give nothing", kOptionJoinItf, 0,
         {{"12345678901231", kSymItf, 'I', '1'}, {"12345678901231", kSymItf, 'I', '1', kLower}}, 2, 2, 0, 0, ""},
        {"the other of an ITF pair", kOptionJoinItf, 0,
         {{"12345678901231", kSymItf, 'I', '1'}, {"HELLO", kSymCode128, 'C', '0', kLower}}, 2, 2, 0, 1, "HELLO", "]C0",
         kSymCode128},
        {"overlapping symbols are never joined", kPairAll, 0,
         {{"TOP", kSymCode128}, {"MID", kSymCode128, 'C', '0', kOverlapping}}, 2, 2, 0, 0, ""},
        {"upright symbols in reading order", kPairAll, 0,
         {{"LOW", kSymCode128, 'C', '0', kLower}, {"UP", kSymCode128, 'C', '0', kUpper}}, 2, 2, 1, 1, "UPLOW"},
        {"upright symbols read backwards", kPairAll, 0,
         {{"LOW", kSymCode128, 'C', '0', kLower, 1, 0xFF}, {"UP", kSymCode128, 'C', '0', kUpper}}, 2, 2, 1, 1,
         "LOWUP"},
        {"flat symbols", kPairAll, 0,
         {{"RIGHT", kSymCode128, 'C', '0', kFlatRight, 2}, {"LEFT", kSymCode128, 'C', '0', kFlatLeft, 2}}, 2, 2, 1, 1,
         "RIGHTLEFT"},
        {"flat symbols read backwards", kPairAll, 0,
         {{"RIGHT", kSymCode128, 'C', '0', kFlatRight, 2, 0xFF}, {"LEFT", kSymCode128, 'C', '0', kFlatLeft, 2}}, 2, 2,
         1, 1, "LEFTRIGHT"},
        {"symbols lying different ways", kPairAll, 0,
         {{"RIGHT", kSymCode128, 'C', '0', kFlatRight, 2}, {"UP", kSymCode128, 'C', '0', kUpper}}, 2, 2, 0, 0, ""},
        {"pairing fallback joins two", kOptionPairSymbols, 0,
         {{"LOW", kSymCode128, 'C', '0', kLower}, {"UP", kSymCode128, 'C', '0', kUpper}}, 2, 2, 0, 1, "UPLOW"},
        {"pairing fallback with one", kOptionPairSymbols, 0, {{"ONE", kSymCode128}}, 2, 2, 0, 1, "ONE"},
        {"linked EAN-13 without a component", 0, 0, {{"4006381333931", kSymEan13, 'E', '0', kUpper, 1, 1, 1}}, 1, 1,
         0, 0, ""},
        {"linked EAN-13 with its component", 0, 0,
         {{"4006381333931", kSymEan13, 'E', '0', kUpper, 1, 1, 1, "(21)ABC"}}, 1, 1, 1, 1, "4006381333931(21)ABC",
         "]E0", kSymEan13, 0, 2},
        {"id 0 alone, pairing or not", kPairAll | kOptionJoinItf, 0, {{"ZERO", 0}}, 2, 1, 1, 1, "ZERO"},
        {"id 31 alone", kPairAll, 0, {{"FIXED", kSymFixed8, 'X', '0'}}, 2, 1, 1, 1, "FIXED", "]X0"},
        {"a single symbol", 0, 0, {{"JUST ONE", kSymCode128}}, 1, 1, 1, 1, "JUST ONE"},
    };
}

TEST(LineImgOutput, RulesOverStoredResults) {
    for (const Case &c : Cases()) {
        ResetAll();
        g_params.optionWord = c.optionWord;
        g_params.flagsWord[kSymUpcA] = c.upcWord;
        g_state.lastSymbologyCode = 0;
        std::memset(g_lineImgOutput.text, 0, sizeof(g_lineImgOutput.text));
        g_lineImgOutput.length = 0;
        g_lineImgOutput.partCount = 0;
        LineImg_LoadOptions();
        LINEIMG_RUN run;
        LineImg_ClearRun(&run);
        g_lineImgRegions.count = c.regions;
        g_lineImgState.nextRegion = c.nextRegion;
        for (const Stored &s : c.results) {
            const i32 r = run.count++;
            std::memcpy(run.text[r], s.text.data(), s.text.size());
            run.length[r] = static_cast<i32>(s.text.size());
            run.id[r] = s.id;
            run.aim[r][0] = s.letter;
            run.aim[r][1] = s.modifier;
            run.quad[r] = s.quad;
            run.centre[r] = {(s.quad.c[0].x + s.quad.c[3].x) / 2, (s.quad.c[0].y + s.quad.c[3].y) / 2};
            run.orientation[r] = s.orientation;
            run.auxDirection[r] = s.auxDirection;
            run.linkFlag[r] = s.link;
            std::memcpy(run.componentText[r], s.component.data(), s.component.size());
            run.componentLength[r] = static_cast<i32>(s.component.size());
            run.componentId[r] = 10;
            // The latest line result is the current one.
            g_lineImgState.id = s.id;
            g_lineImgState.linkFlag = s.link;
            g_lineImgState.aimLetter = static_cast<u8>(s.letter);
            g_lineImgState.aimModifier = static_cast<u8>(s.modifier);
            LineImg_MarkCouponParts(&run);
        }
        const int atOnce = LineImg_AcceptResult(&run);
        EXPECT_EQ(atOnce, c.atOnce) << c.what;
        int output = atOnce;
        if (output == 0) {
            g_lineImgState.nextRegion = c.regions;  // the region loop ran out
            output = LineImg_OutputFirstOther(&run, g_lineImgOutput.pairedId) == 1 ||
                             LineImg_TryJoinFallback(&run) == 1 || LineImg_OutputCouponPart(&run) == 1
                         ? 1
                         : 0;
        }
        EXPECT_EQ(output, c.output) << c.what;
        g_lineImgOutput.decoded = output;
        if (output == 0) {
            EXPECT_EQ(g_lineImgOutput.length, 0) << c.what;
            continue;
        }
        EXPECT_EQ(OutputText(), c.text) << c.what;
        EXPECT_EQ(g_lineImgOutput.text[g_lineImgOutput.length], 0) << c.what;
        EXPECT_EQ(OutputAim(), c.aim) << c.what;
        i32 id = -2;
        LineImg_GetSymbologyBit(&id);
        EXPECT_EQ(id, c.id >= 0 ? c.id : c.results.back().id) << c.what;
        EXPECT_EQ(g_state.lastSymbologyCode, c.code) << c.what;
        i32 kinds[2] = {}, ids[2] = {}, lengths[2] = {};
        char aims[7] = {};
        LINEIMG_PART_LIST parts{0, kinds, ids, lengths, aims};
        EXPECT_EQ(LineImg_CopyPartList(&parts), c.parts > 1 ? 1 : 0) << c.what;
        if (c.parts > 1) {
            EXPECT_EQ(parts.count, c.parts) << c.what;
            EXPECT_EQ(lengths[0] + lengths[1], static_cast<i32>(c.text.size())) << c.what;
        }
    }
}

TEST(LineImgOutput, CouponPartsAndTheirTwoParts) {
    ResetAll();
    g_params.flagsWord[kSymUpcA] = kFlagCouponJoinExtension;
    LineImg_LoadOptions();
    LINEIMG_RUN run;
    LineImg_ClearRun(&run);
    run.count = 2;
    const std::string texts[2] = {kExt128, kCoupon};
    const i32 idsIn[2] = {kSymGs1128, kSymUpcA};
    for (int r = 0; r < 2; ++r) {
        std::memcpy(run.text[r], texts[r].data(), texts[r].size());
        run.length[r] = static_cast<i32>(texts[r].size());
        run.id[r] = idsIn[r];
        run.aim[r][0] = r == 0 ? 'C' : 'E';
        run.aim[r][1] = r == 0 ? '1' : '0';
    }
    LineImg_MarkCouponParts(&run);
    LineImg_MarkCouponParts(&run);  // marked once only
    EXPECT_EQ(run.couponCount, 2);
    ASSERT_EQ(LineImg_JoinUpcEanPair(&run), 1);
    g_lineImgOutput.decoded = 1;
    i32 kinds[2] = {}, ids[2] = {}, lengths[2] = {};
    char aims[7] = {};
    LINEIMG_PART_LIST parts{0, kinds, ids, lengths, aims};
    ASSERT_EQ(LineImg_CopyPartList(&parts), 1);
    EXPECT_EQ(kinds[0], kPartLinear);
    EXPECT_EQ(kinds[1], kPartLinear);
    EXPECT_EQ(ids[0], kSymUpcA);
    EXPECT_EQ(ids[1], kSymGs1128);
    EXPECT_EQ(lengths[0], 12);
    EXPECT_EQ(std::string(aims), "]E0]C1");
    // The number system digit follows the preamble digit when that is kept.
    g_params.flagsWord[kSymUpcA] |= kFlagUpcPreamble;
    const u8 withPreamble[] = "0512345678900";
    EXPECT_EQ(LineImg_IsCouponMain(withPreamble, 13, kSymUpcA), 1);
    EXPECT_EQ(LineImg_IsCouponMain(reinterpret_cast<const u8 *>(kCoupon.data()), 12, kSymUpcA), 0);
    EXPECT_EQ(LineImg_IsCouponMain(reinterpret_cast<const u8 *>("9912345678903"), 13, kSymEan13), 1);
    EXPECT_EQ(LineImg_IsCouponMain(reinterpret_cast<const u8 *>("9912345678903"), 13, kSymCode128), 0);
    EXPECT_EQ(LineImg_IsCouponExtension(reinterpret_cast<const u8 *>("8102"), 4, kSymGs1128), 1);
    EXPECT_EQ(LineImg_IsCouponExtension(reinterpret_cast<const u8 *>("8103"), 4, kSymGs1128), 0);
    EXPECT_EQ(LineImg_IsCouponExtension(reinterpret_cast<const u8 *>("8110"), 4, kSymGs1128), 0);
    EXPECT_EQ(LineImg_IsCouponExtension(reinterpret_cast<const u8 *>("81"), 2, kSymDataBar), 0);
}

TEST(LineImgOutput, SymbologyBitsAndNothingDecoded) {
    ResetAll();
    struct Bit {
        i32 id;
        u32 bit;
    };
    const Bit bits[] = {{0, 0x2},        {1, 0x4},     {2, 0x8},       {3, 0},          {4, 0x200000},
                        {7, 0x800000},   {10, 0x80},   {14, 0},        {15, 0},         {16, 0},
                        {26, 0x80000000}, {28, 0},     {29, 0},        {30, 0x40000000}, {31, 0x1},
                        {36, 0}};
    g_lineImgOutput.decoded = 1;
    for (const Bit &b : bits) {
        g_lineImgState.id = b.id;
        i32 id = -1;
        EXPECT_EQ(LineImg_GetSymbologyBit(&id), b.bit) << b.id;
        EXPECT_EQ(id, b.id);
    }
    // Nothing decoded: no bit, no text, no length, "]X0".
    g_lineImgOutput.decoded = 0;
    g_lineImgOutput.length = 5;
    g_lineImgState.id = 1;
    EXPECT_EQ(LineImg_GetSymbologyBit(nullptr), 0u);
    EXPECT_EQ(LineImg_GetResultText(), nullptr);
    EXPECT_EQ(LineImg_GetResultLength(), 0);
    EXPECT_EQ(OutputAim(), "]X0");
    g_lineImgOutput.decoded = 1;
    g_lineImgOutput.length = -1;
    EXPECT_EQ(LineImg_GetResultLength(), 0);
    EXPECT_EQ(LineImg_GetResultText(), nullptr);
}

TEST(LineImgOutput, OperationsBeyondTheRecord) {
    ResetAll();
    // The DataBar value: the low 16 bits of the 1D driver's auxiliary value, for id 26 only.
    g_lineDriver.aux[0] = LINE_AUX{};
    g_lineDriver.aux[0].variant = 3;
    g_lineDriver.results[0].aux = &g_lineDriver.aux[0];
    i32 value = -1;
    g_lineImgState.id = kSymCode128;
    EXPECT_EQ(LineImg_GetDataBarValue(&value), 0);
    EXPECT_EQ(value, -1);
    g_lineImgState.id = kSymDataBar;
    EXPECT_EQ(LineImg_GetDataBarValue(&value), 1);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(LineImg_GetDataBarValue(nullptr), 0);
    // Corners: only the profile path writes them; every run clears them.
    g_lineImgOutput.corners = Box(1, 2, 3, 4);
    REGION_QUAD q{};
    LineImg_GetCorners(&q);
    EXPECT_EQ(q.c[3].y, 4);
    LINEIMG_RUN run;
    LineImg_ClearRun(&run);
    LineImg_GetCorners(&q);
    EXPECT_EQ(q.c[3].y, 0);
    EXPECT_EQ(run.limit, 2);
    // The part list is copied only with every list given and more than one part.
    i32 kinds[2] = {}, ids[2] = {}, lengths[2] = {};
    char aims[7] = {};
    LINEIMG_PART_LIST parts{0, kinds, ids, lengths, aims};
    g_lineImgOutput.partCount = 1;
    EXPECT_EQ(LineImg_CopyPartList(&parts), 0);
    g_lineImgOutput.partCount = 2;
    parts.aimChars = nullptr;
    EXPECT_EQ(LineImg_CopyPartList(&parts), 0);
    EXPECT_EQ(LineImg_CopyPartList(nullptr), 0);
}

}  // namespace
