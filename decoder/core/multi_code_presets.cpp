// Configuration presets that enable every symbology, and two small routines of the
// joining that no stage calls.
#include <cstring>
#include <initializer_list>

#include "core/modules.h"
#include "core/multi_code.h"
#include "core/params.h"

namespace vexo {

namespace {

// 1D words: minimum length in bits 0-7, maximum in bits 8-15.
void SetLinearLengths(int index, u32 min, u32 max) {
    u32 &w = g_params.flagsWord[index];
    w = (w & ~(kMinLengthMask | kMaxLengthMask)) | (min & 0xFFu) | ((max & 0xFFu) << 8);
}

// Sets the bits of mask to value, keeping the others.
void SetField(int index, u32 mask, u32 value) {
    u32 &w = g_params.flagsWord[index];
    w = (w & ~mask) | (value & mask);
}

void SetLengthWord(int slot, u32 min, u32 max) { g_params.lengthWord[slot] = (min & 0xFFFFu) | (max << 16); }

constexpr u32 kLowByte = 0xFFu;
constexpr int kPairShortLength = 12;
constexpr int kPairLongLength = 14;
constexpr int kPairClass = 11;

}  // namespace

void Par_PresetAllLinear() {
    for (int index : {kSymCode128, kSymGs1128, kSymItf, kSymMatrix25, kSymIndustrial25, kSymIata25, kSymCode39,
                      kSymCodabar, kSymCode11, kSymMsi, kSymPlessey, kSymDataBar, kSymEan8, kSymEan13, kSymUpcE,
                      kSymUpcA}) {
        g_params.flagsWord[index] |= kFlagEnabled;
    }
    for (int index : {kSymCode128, kSymGs1128, kSymItf, kSymMatrix25, kSymIndustrial25, kSymIata25, kSymCode39,
                      kSymCodabar, kSymCode11}) {
        SetLinearLengths(index, 1, 64);
    }
    g_params.flagsWord[kSymCode39] &= ~(kFlagVerifyCheck | kFlagTransmitCheck);
    g_params.flagsWord[kSymMatrix25] |= kFlagVerifyCheck;
    SetLinearLengths(kSymMsi, 1, 128);
    SetLinearLengths(kSymPlessey, 1, 100);
    g_params.flagsWord[kSymPlessey] &= ~kFlagVerifyCheck;
    SetField(kSymDataBar, kMinLengthMask | kMaxLengthMask, 1 | kMaxLengthMask);
    g_params.flagsWord[kSymDataBar] |= kFlagTransmitCheck;
}

void Par_PresetAll2d() {
    for (int index : {kSymPdf417, kSymQr, kSymAztec, kSymDataMatrix, kSymMaxiCode, kSymCsCode, kSymGroup21400}) {
        g_params.flagsWord[index] |= kFlagEnabled;
    }
    SetField(kSymPdf417, kLowByte, 0x71);
    SetField(kSymQr, kLowByte, 0x31);
    g_params.flagsWord[kSymQr] |= kFlagQrOption8 | kFlagQrOption9;
    SetField(kSymAztec, kLowByte, 0x31);
    SetField(kSymDataMatrix, kLowByte, 0xF1);
    g_params.flagsWord[kSymDataMatrix] &= ~(0x1Fu << 8);
    SetField(kSymMaxiCode, kLowByte, 0x21);
    SetField(kSymCsCode, kFlag2DCountMask, 1);
    g_params.flagsWord[kSymCsCode] |= 0x7u << 4;
    SetField(kSymGroup21400, kFlag2DCountMask, 1);
    SetLengthWord(kSlotPdf417, 1, 2751);
    SetLengthWord(kSlotQr, 1, 7089);
    SetLengthWord(kSlotAztec, 1, 3316);
    SetLengthWord(kSlotDataMatrix, 1, 3832);
    SetLengthWord(kSlotMaxiCode, 1, 150);
    SetLengthWord(kSlotCsCode, 1, 7827);
    SetLengthWord(kSlotGroup21400, 1, 2751);
}

void Par_PresetEnable51And52() {
    g_params.flagsWord[51] |= kFlagEnabled;
    g_params.flagsWord[52] |= kFlagEnabled;
}

void Par_PresetEnable53To58() {
    for (int index = 53; index <= 58; ++index) g_params.flagsWord[index] |= kFlagEnabled;
    g_params.flagsWord[55] |= kFlagTransmitCheck;
    g_params.flagsWord[58] |= kFlagTransmitCheck;
}

int Dec_JoinPairOf14And12(u8 *out, i32 *outLength) {
    const MULTI_RESULT_LIST &l = g_multiList;
    if (out == nullptr || outLength == nullptr || l.classCount[kPairClass] != 2) return 0;
    const i32 a = l.entries[0].length;
    const i32 b = l.entries[1].length;
    int shortEntry = -1;
    if (a == kPairShortLength && b == kPairLongLength) shortEntry = 0;
    if (a == kPairLongLength && b == kPairShortLength) shortEntry = 1;
    if (shortEntry < 0) return 0;
    const int longEntry = 1 - shortEntry;
    if (Dec_FitsTextPool(l.textOffset[shortEntry], kPairShortLength) == 0 ||
        Dec_FitsTextPool(l.textOffset[longEntry], kPairLongLength) == 0) {
        return 0;
    }
    std::memcpy(out, l.textPool + l.textOffset[shortEntry], kPairShortLength);
    std::memcpy(out + kPairShortLength, l.textPool + l.textOffset[longEntry], kPairLongLength);
    *outLength = kPairShortLength + kPairLongLength;
    return 1;
}

const void *Dec_ReturnArgument(const void *p) { return p; }

}  // namespace vexo
