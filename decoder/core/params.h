// The parameter block: every reading option, one configuration word per symbology.
#pragma once

#include "core/module_types.h"
#include "core/types.h"

namespace vexo {

// Index of flagsWord. For the linear symbologies it equals the internal 1D id.
enum SymIndex : int {
    kSymCode128Form0 = 0,
    kSymCode128 = 1,
    kSymGs1128 = 2,
    kSymCode128Fnc1Second = 3,
    kSymIsbt128 = 4,
    kSymEan8 = 5,
    kSymEan13 = 6,
    kSymIssn = 7,
    kSymIsbn = 8,
    kSymUpcE = 9,
    kSymUpcA = 10,
    kSymItf = 11,
    kSymItf6 = 12,
    kSymItf14 = 13,
    kSymItf14W49 = 14,
    kSymItf12W49 = 15,
    kSymVar25b = 16,
    kSymMatrix25 = 17,
    kSymIndustrial25 = 18,
    kSymIata25 = 19,
    kSymCode39 = 20,
    kSymCodabar = 21,
    kSymCode93 = 22,
    kSymCode11 = 23,
    kSymPlessey = 24,
    kSymMsi = 25,
    kSymDataBar = 26,
    kSymVar25a = 27,
    kSymComposite = 30,
    kSymFixed8 = 31,
    kSymPdf417 = 38,
    kSymQr = 39,
    kSymAztec = 40,
    kSymDataMatrix = 41,
    kSymMaxiCode = 42,
    kSymCsCode = 43,
    kSymGroup21400 = 44,
    kSymGroup20F00 = 45,
    kSymGroup20600 = 46,
    kSymMicroPdf417 = 48,
    kSymMicroQr = 49,
    kSymUngrouped2D = 50,
};

// Index of lengthWord.
enum LengthSlot : int {
    kSlotPdf417 = 0,
    kSlotQr = 1,
    kSlotAztec = 2,
    kSlotDataMatrix = 3,
    kSlotMaxiCode = 4,
    kSlotCsCode = 5,
    kSlotGroup21400 = 6,
    kSlotGroup20F00 = 7,
    kSlotGroup20600 = 8,
    kSlotMicroPdf417 = 10,
    kSlotMicroQr = 11,
};

// Bits of every flags word.
inline constexpr u32 kFlagEnabled = 1u << 22;
inline constexpr u32 kFlagVerifyCheck = 1u << 30;
inline constexpr u32 kFlagTransmitCheck = 1u << 31;
// 1D words: minimum length in bits 0-7, maximum in bits 8-15.
inline constexpr u32 kMinLengthMask = 0xFFu;
inline constexpr u32 kMaxLengthMask = 0xFF00u;
// 2D words.
inline constexpr u32 kFlag2DCountMask = 0xFu;          // symbols to read and join
inline constexpr u32 kFlag2DCountOption = 1u << 4;     // clear: use the recorded count
inline constexpr u32 kFlag2DReadModeShift = 5;
inline constexpr u32 kFlag2DReadModeMask = 3u << 5;
// The same two bits as the QR and Data Matrix finders read them: the polarities searched.
inline constexpr u32 kFlag2DDarkOnLight = 1u << 5;  // dark modules on a light ground
inline constexpr u32 kFlag2DLightOnDark = 1u << 6;  // light modules on a dark ground
static_assert((kFlag2DDarkOnLight | kFlag2DLightOnDark) == kFlag2DReadModeMask);
// 2D option bits.
inline constexpr u32 kFlag2DOption7 = 1u << 7;            // stored for the host on every 2D word
inline constexpr u32 kFlagQrOption8 = 1u << 8;
inline constexpr u32 kFlagQrOption9 = 1u << 9;
inline constexpr u32 kFlagQrNoMicroQr = 1u << 10;         // the Micro QR decoder declines every candidate
inline constexpr u32 kFlagDmSquareOnly = 1u << 8;
inline constexpr u32 kFlagDmCodewordDump = 1u << 9;
inline constexpr u32 kFlagDmAcceptLeadingPad = 1u << 10;
inline constexpr u32 kFlagDmSegmentFinderOption = 1u << 11;
inline constexpr u32 kFlagDmLimitLayouts = 1u << 12;      // square layouts of 1 or 2 x 2 regions only
inline constexpr u32 kGroup20600NumberShift = 8;          // a number 1-15 kept for the host
inline constexpr u32 kGroup20600NumberMask = 0xFu << 8;

// Linear option bits (bits 16-21, 23-29; bit 30 where it is not the check flag).
inline constexpr u32 kFlagCode128Fnc1AsTilde = 1u << 29;  // FNC1 inside the data written as '~'
inline constexpr u32 kFlagCode128ResetPerLine = 1u << 30; // reset the Code 128 state before every line
inline constexpr u32 kFlagAddOn2 = 1u << 27;              // EAN/UPC: a 2-digit add-on is admitted
inline constexpr u32 kFlagAddOn5 = 1u << 26;              // EAN/UPC: a 5-digit add-on is admitted
inline constexpr u32 kFlagAddOnRequired = 3u << 24;       // EAN/UPC: an add-on is required (either bit)
inline constexpr u32 kFlagEan8Extend = 1u << 29;          // EAN-8: five leading zeros make 13 digits
inline constexpr u32 kFlagEan8AsEan13 = 1u << 23;         // EAN-8: an extended symbol reports as EAN-13
inline constexpr u32 kFlagUpcEExpand = 1u << 29;          // UPC-E: expand to UPC-A
inline constexpr u32 kFlagUpcEAsUpcA = 1u << 23;          // UPC-E: an expanded symbol reports as UPC-A
// UPC preamble: bit 30 keeps the first preamble digit (UPC-A's leading 0, UPC-E's number
// system); bit 21 leaves a lone 0 (UPC-A drops the number system digit, UPC-E puts a 0 in front).
inline constexpr u32 kFlagUpcPreamble = 1u << 30;
inline constexpr u32 kFlagUpcLeadingZero = 1u << 21;
// EAN-13 prefix rules (the UPC-A word keeps the same bits for the host).
inline constexpr u32 kFlagPrefixRule290 = 1u << 16;
inline constexpr u32 kFlagPrefixRule414 = 1u << 17;  // 414 and 419
inline constexpr u32 kFlagPrefixRule434 = 1u << 18;  // 434 and 439
inline constexpr u32 kFlagPrefixRule978 = 1u << 19;
inline constexpr u32 kFlagPrefixRule378 = 1u << 20;  // 378 and 379
inline constexpr u32 kFlagPrefixRule977 = 1u << 29;
inline constexpr u32 kFlagPrefixRule979 = 1u << 30;
inline constexpr u32 kFlagUpcERefuseNs0 = 1u << 16;   // UPC-E: number system 0 only in composite mode
inline constexpr u32 kFlagUpcEAcceptNs1 = 1u << 28;   // UPC-E: number system 1 accepted
inline constexpr u32 kFlagUpcEThroughUpcA = 1u << 20; // UPC-E: expanded and reported by the UPC-A rules
// The same bits on the UPC-A word are the linear reader's coupon options: a UPC-A or EAN-13
// coupon waits for its extension while regions remain (join), is never output alone
// (require, which wins over join), and a DataBar extension is output without the coupon.
inline constexpr u32 kFlagCouponDataBarOnly = 1u << 16;
inline constexpr u32 kFlagCouponRequireExtension = 1u << 17;
inline constexpr u32 kFlagCouponJoinExtension = 1u << 18;
inline constexpr u32 kFlagStripStartStop = 1u << 28;      // Code 39, Codabar: drop start and stop
inline constexpr u32 kFlagCode39FullAscii = 1u << 29;
inline constexpr u32 kFlagCode32LeadingA = 1u << 26;      // Code 32 output starts with 'A'
inline constexpr u32 kFlagCode32Convert = 1u << 27;
inline constexpr u32 kCodabarStyleShift = 16;             // letter set of start and stop, 0-3
inline constexpr u32 kCodabarStyleMask = 3u << 16;
inline constexpr u32 kCode11CheckShift = 16;              // check-digit scheme, bits 16-18
inline constexpr u32 kCode11CheckMask = 7u << 16;
inline constexpr u32 kMsiCheckShift = 16;                 // check-digit scheme, bits 16-17
inline constexpr u32 kMsiCheckMask = 3u << 16;
inline constexpr u32 kMsiCheckClearMask = 7u << 16;       // a new scheme also clears bit 18

// optionWord bits 0-2: how the linear reader pairs two symbols of one image (bit 1 pairs,
// bits 1 and 0 together pair any two, bit 2 joins two ITF reads into 26 digits).
inline constexpr u32 kOptionPairAll = 1u << 0;
inline constexpr u32 kOptionPairSymbols = 1u << 1;
inline constexpr u32 kOptionJoinItf = 1u << 2;
// optionWord bit 3: Interleaved 2 of 5 accepts only the lengths of itfLengthMask.
inline constexpr u32 kOptionItfLengthMask = 1u << 3;
// commonWord.
inline constexpr u32 kCommon2DModeMask = 3u;
inline constexpr u32 kCommonAimPrefix = 1u << 2;

struct DECODE_PARAMS {
    u32 flagsWord[64];
    u32 lengthWord[12];  // 2D: minimum in bits 0-15, maximum in bits 16-31
    u32 optionWord;
    u32 itfLengthMask;
    u32 commonWord;
    RESULT_STORE resultStore;
};

extern DECODE_PARAMS g_params;

// 2D read mode of a flags word; 0 reads as 1.
inline int Par_ReadMode(u32 word) {
    const int mode = static_cast<int>((word & kFlag2DReadModeMask) >> kFlag2DReadModeShift);
    return mode == 0 ? 1 : mode;
}
inline bool Par_Enabled(int index) { return (g_params.flagsWord[index] & kFlagEnabled) != 0; }
inline u32 Par_MinLength2D(int slot) { return g_params.lengthWord[slot] & 0xFFFFu; }
inline u32 Par_MaxLength2D(int slot) { return g_params.lengthWord[slot] >> 16; }

// Writes the defaults; every bit the defaults do not name keeps its value.
void Par_InstallDefaults();

// Ready sets of values for one purpose; nothing in the interface calls them.
void Par_PresetPdf417();
void Par_PresetQr();
void Par_PresetDataMatrix();
void Par_PresetAztec();
void Par_PresetMaxiCode();
void Par_PresetCsCode();
void Par_PresetLinear();

}  // namespace vexo
