#include "core/params.h"

#include <initializer_list>

namespace vexo {

DECODE_PARAMS g_params;

namespace {

constexpr u32 Bit(int n) { return 1u << n; }
constexpr u32 Bits(int from, int to) {
    u32 m = 0;
    for (int b = from; b <= to; ++b) m |= Bit(b);
    return m;
}
constexpr u32 Lengths(u32 min, u32 max) { return min | (max << 8); }

constexpr u32 kLengthBits = 0xFFFFu;
constexpr u32 kEnabled = kFlagEnabled;

// One default: the bits cleared, then the bits set.
struct WordDefault {
    u8 index;
    u32 clear;
    u32 set;
};

// 2D words: count 1, count option off, read mode 1 and bit 7 as given, plus extra bits.
constexpr u32 k2DBase = kEnabled | Bits(0, 7);
constexpr u32 Mode(u32 m) { return m << kFlag2DReadModeShift; }

constexpr WordDefault kDefaults[] = {
    {kSymCode128Form0, kLengthBits, kEnabled | Lengths(1, 255)},
    {kSymCode128, kLengthBits | kEnabled | Bit(29) | Bit(31), Lengths(1, 255)},
    {kSymGs1128, kLengthBits | kEnabled | Bit(29) | Bit(31), Lengths(1, 255)},
    {kSymCode128Fnc1Second, kLengthBits | kEnabled | Bit(29) | Bit(31), Lengths(1, 255)},
    {kSymIsbt128, kEnabled, 0},
    {kSymEan8, kEnabled | Bits(23, 27) | Bit(29), Bit(31)},
    {kSymEan13, kEnabled | Bits(24, 27), Bit(31)},
    {kSymIssn, kEnabled | Bits(24, 27), 0},
    {kSymIsbn, kEnabled | Bits(24, 27) | Bit(31), 0},
    {kSymUpcE, kEnabled | Bits(23, 27) | Bit(29) | Bit(30), Bit(31)},
    {kSymUpcA, kEnabled | Bits(24, 27) | Bit(30), Bit(31)},
    {kSymItf, kLengthBits | kEnabled | Bit(30), Lengths(2, 254) | Bit(31)},
    {kSymItf6, kEnabled, Bit(31)},
    {kSymItf14, kEnabled, Bit(31)},
    {kSymItf14W49, kEnabled, Bit(31)},
    {kSymItf12W49, kEnabled, Bit(31)},
    {kSymVar25b, kLengthBits | kEnabled | Bit(30), Lengths(6, 255) | Bit(31)},
    {kSymMatrix25, kLengthBits | kEnabled | Bit(30), Lengths(6, 255) | Bit(31)},
    {kSymIndustrial25, kLengthBits | kEnabled | Bit(30), Lengths(6, 255) | Bit(31)},
    {kSymIata25, kLengthBits | kEnabled | Bit(30), Lengths(6, 255) | Bit(31)},
    {kSymCode39, kLengthBits | kEnabled | Bits(28, 30), Lengths(4, 255) | Bit(31)},
    {kSymCodabar, kLengthBits | kEnabled | Bits(16, 17) | Bit(28) | Bit(30), Lengths(4, 255) | Bit(31)},
    {kSymCode93, kLengthBits | kEnabled | Bit(31), Lengths(2, 255) | Bit(30)},
    {kSymCode11, kLengthBits | kEnabled | Bits(16, 18), Lengths(6, 255) | Bit(31)},
    {kSymPlessey, kLengthBits | kEnabled | Bit(31), Lengths(2, 255) | Bit(30)},
    {kSymMsi, kLengthBits | kEnabled | Bits(16, 18), Lengths(4, 255) | Bit(16) | Bit(31)},
    {kSymDataBar, kLengthBits | kEnabled | Bit(31), Lengths(1, 255)},
    {kSymComposite, kEnabled | Bit(31), 0},
    {kSymFixed8, kLengthBits | kEnabled, Lengths(1, 255)},
    // 2D words (lengths in kLengthDefaults).
    {kSymPdf417, k2DBase, 1 | Mode(1) | Bit(7)},
    {kSymQr, k2DBase, 1 | Mode(1) | Bit(8) | Bit(9)},
    {kSymAztec, k2DBase, 1 | Mode(1)},
    {kSymDataMatrix, k2DBase | Bits(8, 12), 1 | Mode(3) | Bit(7) | Bit(8)},
    {kSymMaxiCode, k2DBase, 1 | Mode(1)},
    {kSymCsCode, k2DBase, 1 | Mode(1)},
    {kSymGroup20F00, k2DBase, 1 | Mode(1)},
    {kSymGroup20600, k2DBase | Bits(8, 11), 1 | Mode(1)},
    {kSymMicroPdf417, k2DBase, 1 | Mode(1) | Bit(7)},
    {kSymMicroQr, kEnabled, 0},
    {kSymUngrouped2D, kEnabled, 0},
};
static_assert(sizeof(kDefaults) / sizeof(kDefaults[0]) == 40);

struct LengthDefault {
    u8 slot;
    u16 min;
    u16 max;
};

constexpr LengthDefault kLengthDefaults[] = {
    {kSlotPdf417, 1, 2710},
    {kSlotQr, 1, 7089},
    {kSlotAztec, 1, 3832},
    {kSlotDataMatrix, 1, 3116},
    {kSlotMaxiCode, 1, 150},
    {kSlotCsCode, 1, 7827},
    {kSlotGroup20F00, 1, 65535},
    {kSlotGroup20600, 1, 1500},
    {kSlotMicroPdf417, 1, 366},
    {kSlotMicroQr, 1, 35},
};
static_assert(sizeof(kLengthDefaults) / sizeof(kLengthDefaults[0]) == 10);

constexpr u32 LengthSlotValue(u32 min, u32 max) { return min | (max << 16); }

void SetLengths2D(int slot, u32 min, u32 max) { g_params.lengthWord[slot] = LengthSlotValue(min, max); }

// Presets replace the low count bits together and enable the symbology.
void Preset2D(int index, u32 lowMask, u32 lowValue, u32 extraSet, int slot, u32 min, u32 max) {
    u32 &w = g_params.flagsWord[index];
    w = (w & ~lowMask) | lowValue | extraSet | kEnabled;
    SetLengths2D(slot, min, max);
}

void PresetLinearWord(int index, bool lengths, u32 set) {
    u32 &w = g_params.flagsWord[index];
    if (lengths) w = (w & ~kLengthBits) | Lengths(1, 80);
    w |= set;
}

}  // namespace

void Par_InstallDefaults() {
    for (const WordDefault &d : kDefaults) {
        u32 &w = g_params.flagsWord[d.index];
        w = (w & ~d.clear) | d.set;
    }
    for (const LengthDefault &l : kLengthDefaults) SetLengths2D(l.slot, l.min, l.max);
    g_params.optionWord &= ~kOptionItfLengthMask;
    g_params.itfLengthMask = 0;
    g_params.commonWord &= ~Bits(0, 2);
}

void Par_PresetPdf417() { Preset2D(kSymPdf417, Bits(0, 4), 2, Bit(5), kSlotPdf417, 1, 2710); }
void Par_PresetQr() { Preset2D(kSymQr, Bits(0, 5), 0x31, 0, kSlotQr, 1, 1000); }
void Par_PresetDataMatrix() { Preset2D(kSymDataMatrix, Bits(0, 4), 2, Bit(5), kSlotDataMatrix, 1, 1000); }
void Par_PresetAztec() { Preset2D(kSymAztec, Bits(0, 4), 0x11, 0, kSlotAztec, 1, 1000); }
void Par_PresetMaxiCode() { Preset2D(kSymMaxiCode, Bits(0, 4), 0x11, 0, kSlotMaxiCode, 1, 150); }
void Par_PresetCsCode() { Preset2D(kSymCsCode, Bits(0, 4), 0x11, 0, kSlotCsCode, 1, 1000); }

void Par_PresetLinear() {
    PresetLinearWord(kSymCode128, true, kEnabled | Bit(31));
    for (int index : {kSymGs1128, kSymItf, kSymCode39, kSymCodabar}) PresetLinearWord(index, true, kEnabled);
    for (int index : {kSymEan8, kSymEan13, kSymUpcE, kSymUpcA}) PresetLinearWord(index, false, kEnabled | Bit(31));
}

}  // namespace vexo
