#include "core/properties.h"

#include <cstring>

#include "core/api.h"
#include "core/params.h"

namespace vexo {

namespace {

using SetHandler = int (*)(u32 id, u64 value);
using GetHandler = int (*)(u32 id, void *out);

struct SetEntry {
    u32 group;
    SetHandler handler;
};
struct GetEntry {
    u32 group;
    GetHandler handler;
};

constexpr int kApplied = 1;
constexpr int kRejected = -1;
constexpr int kNotAnId = 0;

u32 Sub(u32 id) { return id & 0xFF; }

// out may come unaligned from the host.
void PutWord(void *out, u32 value) { std::memcpy(out, &value, sizeof value); }

// ---------------------------------------------------------------------------------------
// Sub-id rules: what one sub-id of a group reads and writes.

enum class Rule : u8 {
    kCodes,         // a sets mask, b clears it; Get answers a or b
    kLenientBool,   // on/off on mask, any other value accepted unchanged; Get a (set) or b
    kNumber,        // 1..b into the field mask << a; Get the field
    kCombo,         // on: set a, clear b; off: clear mask. Nothing to read back
    kReadMode,      // 2D read mode in bits 5-6; never rejects
    kCodabarStyle,  // start/stop letter set, bits 16-17; never rejects
    kCode11Check,   // check scheme, bits 16-18
    kMsiCheck,      // check scheme, bits 16-17
    kItfLengthOn,   // sets the bit of length L in itfLengthMask
    kItfLengthOff,  // clears it
};

// The field a rule works on.
enum class Place : u8 {
    kWord,        // the group's flags word
    kSlot,        // the group's length slot
    kOptionWord,
    kItfMask,
    kNowhere,     // accepted and answered, never stored: reads as 0
};

constexpr u8 kSet = 1;
constexpr u8 kGet = 2;
constexpr u8 kSetGet = kSet | kGet;

struct SubRule {
    u8 sub;
    Rule rule;
    Place place;
    u8 access;
    u32 mask;
    u32 a;
    u32 b;
};

struct GroupDef {
    i8 word;  // flagsWord index, -1 none
    i8 slot;  // lengthWord index, -1 none
    const SubRule *rules;
    u8 count;
};

template <size_t N>
constexpr GroupDef DefineGroup(int word, int slot, const SubRule (&rules)[N]) {
    static_assert(N > 0 && N < 256);
    return GroupDef{static_cast<i8>(word), static_cast<i8>(slot), rules, static_cast<u8>(N)};
}

constexpr SubRule Bool(u8 sub, u32 mask, Place place = Place::kWord, u8 access = kSetGet) {
    return SubRule{sub, Rule::kCodes, place, access, mask, kValOn, kValOff};
}
constexpr SubRule Codes(u8 sub, u32 mask, u32 setCode, u32 clearCode) {
    return SubRule{sub, Rule::kCodes, Place::kWord, kSetGet, mask, setCode, clearCode};
}
constexpr SubRule Lenient(u8 sub, u32 mask, u32 answerSet, u32 answerClear) {
    return SubRule{sub, Rule::kLenientBool, Place::kWord, kSetGet, mask, answerSet, answerClear};
}
constexpr SubRule Number(u8 sub, Place place, u32 fieldMask, u32 shift, u32 largest) {
    return SubRule{sub, Rule::kNumber, place, kSetGet, fieldMask, shift, largest};
}
constexpr SubRule Min1D(u8 sub) { return Number(sub, Place::kWord, 0xFF, 0, 255); }
constexpr SubRule Max1D(u8 sub) { return Number(sub, Place::kWord, 0xFF, 8, 255); }
constexpr SubRule Min2D(u8 sub) { return Number(sub, Place::kSlot, 0xFFFF, 0, 65535); }
constexpr SubRule Max2D(u8 sub) { return Number(sub, Place::kSlot, 0xFFFF, 16, 65535); }
constexpr SubRule Count(u8 sub, u32 largest) { return Number(sub, Place::kWord, kFlag2DCountMask, 0, largest); }
constexpr SubRule Combo(u8 sub, u32 onSet, u32 onClear, u32 offClear) {
    return SubRule{sub, Rule::kCombo, Place::kWord, kSet, offClear, onSet, onClear};
}
constexpr SubRule Special(u8 sub, Rule rule, Place place = Place::kWord, u8 access = kSetGet) {
    return SubRule{sub, rule, place, access, 0, 0, 0};
}
constexpr SubRule ReadMode(u8 sub, u8 access = kSetGet) { return Special(sub, Rule::kReadMode, Place::kWord, access); }

// ---------------------------------------------------------------------------------------
// Rule operations. Set works on a copy of the field; the caller stores it only when applied.

int SetCodes(const SubRule &r, u32 v, u32 &w) {
    if (v == r.a) {
        w |= r.mask;
    } else if (v == r.b) {
        w &= ~r.mask;
    } else {
        return kRejected;
    }
    return kApplied;
}
u32 GetCodes(const SubRule &r, u32 w) { return (w & r.mask) != 0 ? r.a : r.b; }

int SetLenientBool(const SubRule &r, u32 v, u32 &w) {
    if (v == kValOn) w |= r.mask;
    if (v == kValOff) w &= ~r.mask;
    return kApplied;
}

int SetNumber(const SubRule &r, u32 v, u32 &w) {
    if (v < 1 || v > r.b) return kRejected;
    w = (w & ~(r.mask << r.a)) | (v << r.a);
    return kApplied;
}
u32 GetNumber(const SubRule &r, u32 w) { return (w >> r.a) & r.mask; }

int SetCombo(const SubRule &r, u32 v, u32 &w) {
    if (v == kValOn) {
        w = (w & ~r.b) | r.a;
    } else if (v == kValOff) {
        w &= ~r.mask;
    } else {
        return kRejected;
    }
    return kApplied;
}

int SetReadMode(const SubRule &, u32 v, u32 &w) {
    const u32 mode = v == kValReadMode2 ? 2u : v == kValReadMode3 ? 3u : 1u;
    w = (w & ~kFlag2DReadModeMask) | (mode << kFlag2DReadModeShift);
    return kApplied;
}
u32 GetReadMode(const SubRule &, u32 w) { return kValReadMode1 - 1 + static_cast<u32>(Par_ReadMode(w)); }

int SetCodabarStyle(const SubRule &, u32 v, u32 &w) {
    const u32 style = v > kValCodabarStyle0 && v <= kValCodabarStyle0 + 3 ? v - kValCodabarStyle0 : 0;
    w = (w & ~kCodabarStyleMask) | (style << kCodabarStyleShift);
    return kApplied;
}
u32 GetCodabarStyle(const SubRule &, u32 w) {
    return kValCodabarStyle0 + ((w & kCodabarStyleMask) >> kCodabarStyleShift);
}

// Code 11: 0x10006 none, 0x10008-0x1000C schemes 1-5 (bit 16, bit 17, both, bit 18, 16 and 18).
int SetCode11Check(const SubRule &, u32 v, u32 &w) {
    u32 scheme;
    if (v == kValNoCheck) {
        scheme = 0;
    } else if (v >= kValCode11CheckFirst && v <= kValCode11CheckLast) {
        scheme = v - kValCode11CheckFirst + 1;
    } else {
        return kRejected;
    }
    w = (w & ~kCode11CheckMask) | (scheme << kCode11CheckShift);
    return kApplied;
}
u32 GetCode11Check(const SubRule &, u32 w) {
    const u32 scheme = (w & kCode11CheckMask) >> kCode11CheckShift;
    if (scheme == 0) return kValNoCheck;
    return scheme >= 5 ? kValCode11CheckLast : kValCode11CheckFirst + scheme - 1;
}

// MSI: 0x10006 none, 0x1000D-0x1000F schemes 1-3; bit 18 is cleared with every change.
int SetMsiCheck(const SubRule &, u32 v, u32 &w) {
    u32 scheme;
    if (v == kValNoCheck) {
        scheme = 0;
    } else if (v >= kValMsiCheckFirst && v <= kValMsiCheckLast) {
        scheme = v - kValMsiCheckFirst + 1;
    } else {
        return kRejected;
    }
    w = (w & ~kMsiCheckClearMask) | (scheme << kMsiCheckShift);
    return kApplied;
}
u32 GetMsiCheck(const SubRule &, u32 w) {
    const u32 scheme = (w & kMsiCheckMask) >> kMsiCheckShift;
    return scheme == 0 ? kValNoCheck : kValMsiCheckFirst + scheme - 1;
}

// Lengths 2k+1 and 2k+2 share bit k, so 1-64 covers the 32 bits.
int SetItfLength(u32 v, u32 &w, bool on) {
    if (v < 1 || v > 64) return kRejected;
    const u32 bit = 1u << ((v - 1) / 2);
    w = on ? (w | bit) : (w & ~bit);
    return kApplied;
}
int SetItfLengthOn(const SubRule &, u32 v, u32 &w) { return SetItfLength(v, w, true); }
int SetItfLengthOff(const SubRule &, u32 v, u32 &w) { return SetItfLength(v, w, false); }

struct RuleOps {
    int (*set)(const SubRule &r, u32 value, u32 &field);
    u32 (*get)(const SubRule &r, u32 field);  // nullptr: the rule has nothing to read back
};

// Indexed by Rule.
constexpr RuleOps kRuleOps[] = {
    {.set = &SetCodes, .get = &GetCodes},
    {.set = &SetLenientBool, .get = &GetCodes},
    {.set = &SetNumber, .get = &GetNumber},
    {.set = &SetCombo, .get = nullptr},
    {.set = &SetReadMode, .get = &GetReadMode},
    {.set = &SetCodabarStyle, .get = &GetCodabarStyle},
    {.set = &SetCode11Check, .get = &GetCode11Check},
    {.set = &SetMsiCheck, .get = &GetMsiCheck},
    {.set = &SetItfLengthOn, .get = nullptr},
    {.set = &SetItfLengthOff, .get = nullptr},
};
static_assert(sizeof(kRuleOps) / sizeof(kRuleOps[0]) == static_cast<size_t>(Rule::kItfLengthOff) + 1);

const SubRule *FindRule(const GroupDef &g, u32 sub, u8 access) {
    for (u8 i = 0; i < g.count; ++i) {
        const SubRule &r = g.rules[i];
        if (r.sub == sub) return (r.access & access) != 0 ? &r : nullptr;
    }
    return nullptr;
}

u32 *FieldOf(const GroupDef &g, Place place) {
    switch (place) {
        case Place::kWord: return g.word >= 0 ? &g_params.flagsWord[g.word] : nullptr;
        case Place::kSlot: return g.slot >= 0 ? &g_params.lengthWord[g.slot] : nullptr;
        case Place::kOptionWord: return &g_params.optionWord;
        case Place::kItfMask: return &g_params.itfLengthMask;
        case Place::kNowhere: return nullptr;
    }
    return nullptr;
}

int SetByRules(const GroupDef &g, u32 id, u64 value) {
    const SubRule *r = FindRule(g, Sub(id), kSet);
    if (r == nullptr) return kNotAnId;
    u32 *field = FieldOf(g, r->place);
    u32 w = field != nullptr ? *field : 0;
    const int answer = kRuleOps[static_cast<int>(r->rule)].set(*r, static_cast<u32>(value), w);
    if (answer == kApplied && field != nullptr) *field = w;
    return answer;
}

int GetByRules(const GroupDef &g, u32 id, void *out) {
    const SubRule *r = FindRule(g, Sub(id), kGet);
    if (r == nullptr) return kNotAnId;
    const auto get = kRuleOps[static_cast<int>(r->rule)].get;
    if (get == nullptr) return kNotAnId;
    const u32 *field = FieldOf(g, r->place);
    PutWord(out, get(*r, field != nullptr ? *field : 0));
    return kApplied;
}

// ---------------------------------------------------------------------------------------
// Linear groups.

// 2 of 5 family, Code 93, Plessey.
constexpr SubRule kPatternA[] = {
    Bool(0, kFlagEnabled), Codes(1, kFlagVerifyCheck, kValCheck, kValNoCheck), Bool(2, kFlagTransmitCheck),
    Min1D(3), Max1D(4),
};
// Code 128 family.
constexpr SubRule kPatternB[] = {
    Bool(0, kFlagEnabled), Min1D(1), Max1D(2), Bool(3, kFlagTransmitCheck),
    Codes(4, kFlagCode128Fnc1AsTilde, kValFnc1Tilde, kValFnc1Plain), Bool(5, kFlagCode128ResetPerLine),
};
// Enable and transmit.
constexpr SubRule kPatternD[] = {Bool(0, kFlagEnabled), Bool(1, kFlagTransmitCheck)};

constexpr SubRule kIsbt128Rules[] = {Bool(0, kFlagEnabled)};
constexpr SubRule kEan8Rules[] = {
    Bool(0, kFlagEnabled), Bool(1, kFlagTransmitCheck), Bool(2, kFlagAddOn2), Bool(3, kFlagAddOn5),
    Bool(4, kFlagEan8Extend), Bool(5, kFlagEan8AsEan13), Bool(6, kFlagAddOnRequired),
};
constexpr SubRule kEan13Rules[] = {
    Bool(0, kFlagEnabled), Bool(1, kFlagTransmitCheck), Bool(2, kFlagAddOn2), Bool(3, kFlagAddOn5),
    Bool(4, kFlagAddOnRequired),
};
constexpr SubRule kIssnRules[] = {
    Bool(0, kFlagEnabled), Bool(1, kFlagAddOn2), Bool(2, kFlagAddOn5), Bool(3, kFlagAddOnRequired),
};
// ISBN: bit 31 selects the 10-character form with its check character.
constexpr SubRule kIsbnRules[] = {
    Bool(0, kFlagEnabled), Codes(1, kFlagTransmitCheck, kValIsbnCheckSent, kValIsbnCheckNotSent),
    Bool(2, kFlagAddOn2), Bool(3, kFlagAddOn5), Bool(4, kFlagAddOnRequired),
};
// UPC-E subs 10-12 choose the preamble: none, the number system digit, 0 and the number
// system digit.
constexpr SubRule kUpcERules[] = {
    Bool(0, kFlagEnabled),
    Bool(1, kFlagTransmitCheck),
    Bool(2, kFlagAddOn2),
    Bool(3, kFlagAddOn5),
    Bool(4, kFlagUpcPreamble),
    Bool(5, kFlagUpcEExpand),
    Bool(6, kFlagUpcEAsUpcA),
    Bool(7, kFlagAddOnRequired),
    Combo(10, 0, kFlagUpcLeadingZero | kFlagUpcPreamble, kFlagUpcLeadingZero | kFlagUpcPreamble),
    Combo(11, kFlagUpcPreamble, kFlagUpcLeadingZero, kFlagUpcPreamble),
    Combo(12, kFlagUpcLeadingZero | kFlagUpcPreamble, 0, kFlagUpcLeadingZero | kFlagUpcPreamble),
};
// UPC-A subs 7-9 choose the preamble: none, the number system digit, 0 and the number
// system digit.
constexpr SubRule kUpcARules[] = {
    Bool(0, kFlagEnabled),
    Bool(1, kFlagTransmitCheck),
    Bool(2, kFlagAddOn2),
    Bool(3, kFlagAddOn5),
    Bool(4, kFlagUpcPreamble),
    Bool(5, kFlagAddOnRequired),
    Combo(7, kFlagUpcLeadingZero, kFlagUpcPreamble, kFlagUpcLeadingZero),
    Combo(8, 0, kFlagUpcLeadingZero | kFlagUpcPreamble, kFlagUpcLeadingZero | kFlagUpcPreamble),
    Combo(9, kFlagUpcPreamble, kFlagUpcLeadingZero, kFlagUpcPreamble),
    Bool(10, kFlagPrefixRule434),
    Bool(11, kFlagPrefixRule414),
    Bool(12, kFlagPrefixRule290),
};
constexpr SubRule kItfRules[] = {
    Bool(0, kFlagEnabled),
    Codes(1, kFlagVerifyCheck, kValCheck, kValNoCheck),
    Bool(2, kFlagTransmitCheck),
    Min1D(3),
    Max1D(4),
    Bool(5, kOptionItfLengthMask, Place::kOptionWord),
    Special(6, Rule::kItfLengthOn, Place::kItfMask, kSet),
    Special(7, Rule::kItfLengthOff, Place::kItfMask, kSet),
};
// Sub 3: on transmits start and stop, so it clears the strip bit. Subs 7-8 answer 0/1.
constexpr SubRule kCode39Rules[] = {
    Bool(0, kFlagEnabled),
    Codes(1, kFlagVerifyCheck, kValCheck, kValNoCheck),
    Bool(2, kFlagTransmitCheck),
    Codes(3, kFlagStripStartStop, kValOff, kValOn),
    Bool(4, kFlagCode39FullAscii),
    Min1D(5),
    Max1D(6),
    Lenient(7, kFlagCode32LeadingA, 1, 0),
    Lenient(8, kFlagCode32Convert, 1, 0),
};
constexpr SubRule kCodabarRules[] = {
    Bool(0, kFlagEnabled),
    Codes(1, kFlagVerifyCheck, kValCheck, kValNoCheck),
    Bool(2, kFlagTransmitCheck),
    Codes(3, kFlagStripStartStop, kValOff, kValOn),
    Special(4, Rule::kCodabarStyle),
    Min1D(5),
    Max1D(6),
};
constexpr SubRule kCode11Rules[] = {
    Bool(0, kFlagEnabled), Special(1, Rule::kCode11Check), Bool(2, kFlagTransmitCheck), Min1D(3), Max1D(4),
};
constexpr SubRule kMsiRules[] = {
    Bool(0, kFlagEnabled), Special(1, Rule::kMsiCheck), Bool(2, kFlagTransmitCheck), Min1D(3), Max1D(4),
};
constexpr SubRule kDataBarRules[] = {Bool(0, kFlagEnabled), Bool(1, kFlagTransmitCheck), Max1D(2), Min1D(3)};
// A group without a word: values are checked and answered, nothing is kept.
constexpr SubRule kGroup11B00Rules[] = {
    Bool(0, 0, Place::kNowhere),
    Number(1, Place::kNowhere, 0xFF, 0, 255),
    Number(2, Place::kNowhere, 0xFF, 0, 255),
    Bool(3, 0, Place::kNowhere),
};
constexpr SubRule kVar25aRules[] = {
    Bool(0, kFlagEnabled), Codes(1, kFlagVerifyCheck, kValCheck, kValNoCheck),
    Lenient(2, kFlagTransmitCheck, kValOn, kValOff), Min1D(3), Max1D(4),
};

constexpr GroupDef kCode128Def = DefineGroup(kSymCode128, -1, kPatternB);
constexpr GroupDef kGs1128Def = DefineGroup(kSymGs1128, -1, kPatternB);
constexpr GroupDef kCode128Fnc1SecondDef = DefineGroup(kSymCode128Fnc1Second, -1, kPatternB);
constexpr GroupDef kIsbt128Def = DefineGroup(kSymIsbt128, -1, kIsbt128Rules);
constexpr GroupDef kEan8Def = DefineGroup(kSymEan8, -1, kEan8Rules);
constexpr GroupDef kEan13Def = DefineGroup(kSymEan13, -1, kEan13Rules);
constexpr GroupDef kIssnDef = DefineGroup(kSymIssn, -1, kIssnRules);
constexpr GroupDef kIsbnDef = DefineGroup(kSymIsbn, -1, kIsbnRules);
constexpr GroupDef kUpcEDef = DefineGroup(kSymUpcE, -1, kUpcERules);
constexpr GroupDef kUpcADef = DefineGroup(kSymUpcA, -1, kUpcARules);
constexpr GroupDef kItfDef = DefineGroup(kSymItf, -1, kItfRules);
constexpr GroupDef kItf6Def = DefineGroup(kSymItf6, -1, kPatternD);
constexpr GroupDef kItf14Def = DefineGroup(kSymItf14, -1, kPatternD);
constexpr GroupDef kItf14W49Def = DefineGroup(kSymItf14W49, -1, kPatternD);
constexpr GroupDef kItf12W49Def = DefineGroup(kSymItf12W49, -1, kPatternD);
constexpr GroupDef kVar25bDef = DefineGroup(kSymVar25b, -1, kPatternA);
constexpr GroupDef kMat25Def = DefineGroup(kSymMatrix25, -1, kPatternA);
constexpr GroupDef kInd25Def = DefineGroup(kSymIndustrial25, -1, kPatternA);
constexpr GroupDef kIata25Def = DefineGroup(kSymIata25, -1, kPatternA);
constexpr GroupDef kCode39Def = DefineGroup(kSymCode39, -1, kCode39Rules);
constexpr GroupDef kCodabarDef = DefineGroup(kSymCodabar, -1, kCodabarRules);
constexpr GroupDef kCode93Def = DefineGroup(kSymCode93, -1, kPatternA);
constexpr GroupDef kCode11Def = DefineGroup(kSymCode11, -1, kCode11Rules);
constexpr GroupDef kPlesseyDef = DefineGroup(kSymPlessey, -1, kPatternA);
constexpr GroupDef kMsiDef = DefineGroup(kSymMsi, -1, kMsiRules);
constexpr GroupDef kDataBarDef = DefineGroup(kSymDataBar, -1, kDataBarRules);
constexpr GroupDef kGroup11B00Def = DefineGroup(-1, -1, kGroup11B00Rules);
constexpr GroupDef kCompositeDef = DefineGroup(kSymComposite, -1, kPatternD);
constexpr GroupDef kVar25aDef = DefineGroup(kSymVar25a, -1, kVar25aRules);

// ---------------------------------------------------------------------------------------
// 2D groups.

constexpr SubRule k2DStandardRules[] = {
    Bool(0, kFlagEnabled), Min2D(1), Max2D(2), Count(3, 15), Bool(4, kFlag2DCountOption), ReadMode(5),
    Bool(6, kFlag2DOption7),
};
constexpr SubRule kQrRules[] = {
    Bool(0, kFlagEnabled),   Min2D(1), Max2D(2), Count(3, 15), Bool(4, kFlag2DCountOption), ReadMode(5),
    Bool(6, kFlag2DOption7), Bool(7, kFlagQrOption8), Bool(8, kFlagQrOption9),
};
// CS Code counts stop at 14.
constexpr SubRule kCsCodeRules[] = {
    Bool(0, kFlagEnabled), Min2D(1), Max2D(2), Count(3, 14), Bool(4, kFlag2DCountOption), ReadMode(5),
    Bool(6, kFlag2DOption7),
};
// Data Matrix numbers its sub-ids in its own order.
constexpr SubRule kDataMatrixRules[] = {
    Bool(0, kFlagEnabled),
    Min2D(1),
    Max2D(2),
    Bool(3, kFlag2DCountOption),
    Count(4, 15),
    Bool(5, kFlagDmSquareOnly),
    ReadMode(6),
    Bool(7, kFlag2DOption7),
    Bool(8, kFlagDmCodewordDump),
    Bool(9, kFlagDmAcceptLeadingPad),
    Bool(10, kFlagDmSegmentFinderOption),
    Bool(11, kFlagDmLimitLayouts),
};
constexpr SubRule kGroup20600Rules[] = {
    Bool(0, kFlagEnabled),
    Min2D(1),
    Max2D(2),
    Bool(3, kFlag2DCountOption),
    Count(4, 15),
    ReadMode(5),
    Bool(6, kFlag2DOption7),
    Number(7, Place::kWord, kGroup20600NumberMask >> kGroup20600NumberShift, kGroup20600NumberShift, 15),
};
// Subs 5 and 6 are read back but cannot be set.
constexpr SubRule kMicroPdf417Rules[] = {
    Bool(0, kFlagEnabled), Min2D(1), Max2D(2), Count(3, 15), Bool(4, kFlag2DCountOption),
    ReadMode(5, kGet),     Bool(6, kFlag2DOption7, Place::kWord, kGet),
};
constexpr SubRule kEnableAndLengthsRules[] = {Bool(0, kFlagEnabled), Min2D(1), Max2D(2)};

constexpr GroupDef kPdf417Def = DefineGroup(kSymPdf417, kSlotPdf417, k2DStandardRules);
constexpr GroupDef kQrDef = DefineGroup(kSymQr, kSlotQr, kQrRules);
constexpr GroupDef kAztecDef = DefineGroup(kSymAztec, kSlotAztec, k2DStandardRules);
constexpr GroupDef kDataMatrixDef = DefineGroup(kSymDataMatrix, kSlotDataMatrix, kDataMatrixRules);
constexpr GroupDef kMaxiCodeDef = DefineGroup(kSymMaxiCode, kSlotMaxiCode, k2DStandardRules);
constexpr GroupDef kGroup20600Def = DefineGroup(kSymGroup20600, kSlotGroup20600, kGroup20600Rules);
constexpr GroupDef kCsCodeDef = DefineGroup(kSymCsCode, kSlotCsCode, kCsCodeRules);
constexpr GroupDef kMicroPdf417Def = DefineGroup(kSymMicroPdf417, kSlotMicroPdf417, kMicroPdf417Rules);
constexpr GroupDef kMicroQrDef = DefineGroup(kSymMicroQr, kSlotMicroQr, kEnableAndLengthsRules);
constexpr GroupDef kGroup20F00Def = DefineGroup(kSymGroup20F00, kSlotGroup20F00, k2DStandardRules);
constexpr GroupDef kGroup21400Def = DefineGroup(kSymGroup21400, kSlotGroup21400, kEnableAndLengthsRules);

// ---------------------------------------------------------------------------------------
// Named handlers, one Set and one Get per group.

int Par_SetCode128(u32 id, u64 value) { return SetByRules(kCode128Def, id, value); }
int Par_GetCode128(u32 id, void *out) { return GetByRules(kCode128Def, id, out); }
int Par_SetGs1128(u32 id, u64 value) { return SetByRules(kGs1128Def, id, value); }
int Par_GetGs1128(u32 id, void *out) { return GetByRules(kGs1128Def, id, out); }
int Par_SetCode128Fnc1Second(u32 id, u64 value) { return SetByRules(kCode128Fnc1SecondDef, id, value); }
int Par_GetCode128Fnc1Second(u32 id, void *out) { return GetByRules(kCode128Fnc1SecondDef, id, out); }
int Par_SetIsbt128(u32 id, u64 value) { return SetByRules(kIsbt128Def, id, value); }
int Par_GetIsbt128(u32 id, void *out) { return GetByRules(kIsbt128Def, id, out); }
int Par_SetEan8(u32 id, u64 value) { return SetByRules(kEan8Def, id, value); }
int Par_GetEan8(u32 id, void *out) { return GetByRules(kEan8Def, id, out); }
int Par_SetEan13(u32 id, u64 value) { return SetByRules(kEan13Def, id, value); }
int Par_GetEan13(u32 id, void *out) { return GetByRules(kEan13Def, id, out); }
int Par_SetIssn(u32 id, u64 value) { return SetByRules(kIssnDef, id, value); }
int Par_GetIssn(u32 id, void *out) { return GetByRules(kIssnDef, id, out); }
int Par_SetIsbn(u32 id, u64 value) { return SetByRules(kIsbnDef, id, value); }
int Par_GetIsbn(u32 id, void *out) { return GetByRules(kIsbnDef, id, out); }
int Par_SetUpcE(u32 id, u64 value) { return SetByRules(kUpcEDef, id, value); }
int Par_GetUpcE(u32 id, void *out) { return GetByRules(kUpcEDef, id, out); }
int Par_SetUpcA(u32 id, u64 value) { return SetByRules(kUpcADef, id, value); }
int Par_GetUpcA(u32 id, void *out) { return GetByRules(kUpcADef, id, out); }
int Par_SetItf(u32 id, u64 value) { return SetByRules(kItfDef, id, value); }
int Par_GetItf(u32 id, void *out) { return GetByRules(kItfDef, id, out); }
int Par_SetItf6(u32 id, u64 value) { return SetByRules(kItf6Def, id, value); }
int Par_GetItf6(u32 id, void *out) { return GetByRules(kItf6Def, id, out); }
int Par_SetItf14(u32 id, u64 value) { return SetByRules(kItf14Def, id, value); }
int Par_GetItf14(u32 id, void *out) { return GetByRules(kItf14Def, id, out); }
int Par_SetItf14W49(u32 id, u64 value) { return SetByRules(kItf14W49Def, id, value); }
int Par_GetItf14W49(u32 id, void *out) { return GetByRules(kItf14W49Def, id, out); }
int Par_SetItf12W49(u32 id, u64 value) { return SetByRules(kItf12W49Def, id, value); }
int Par_GetItf12W49(u32 id, void *out) { return GetByRules(kItf12W49Def, id, out); }
int Par_SetVar25b(u32 id, u64 value) { return SetByRules(kVar25bDef, id, value); }
int Par_GetVar25b(u32 id, void *out) { return GetByRules(kVar25bDef, id, out); }
int Par_SetMat25(u32 id, u64 value) { return SetByRules(kMat25Def, id, value); }
int Par_GetMat25(u32 id, void *out) { return GetByRules(kMat25Def, id, out); }
int Par_SetInd25(u32 id, u64 value) { return SetByRules(kInd25Def, id, value); }
int Par_GetInd25(u32 id, void *out) { return GetByRules(kInd25Def, id, out); }
int Par_SetIata25(u32 id, u64 value) { return SetByRules(kIata25Def, id, value); }
int Par_GetIata25(u32 id, void *out) { return GetByRules(kIata25Def, id, out); }
int Par_SetCode39(u32 id, u64 value) { return SetByRules(kCode39Def, id, value); }
int Par_GetCode39(u32 id, void *out) { return GetByRules(kCode39Def, id, out); }
int Par_SetCodabar(u32 id, u64 value) { return SetByRules(kCodabarDef, id, value); }
int Par_GetCodabar(u32 id, void *out) { return GetByRules(kCodabarDef, id, out); }
int Par_SetCode93(u32 id, u64 value) { return SetByRules(kCode93Def, id, value); }
int Par_GetCode93(u32 id, void *out) { return GetByRules(kCode93Def, id, out); }
int Par_SetCode11(u32 id, u64 value) { return SetByRules(kCode11Def, id, value); }
int Par_GetCode11(u32 id, void *out) { return GetByRules(kCode11Def, id, out); }
int Par_SetPlessey(u32 id, u64 value) { return SetByRules(kPlesseyDef, id, value); }
int Par_GetPlessey(u32 id, void *out) { return GetByRules(kPlesseyDef, id, out); }
int Par_SetMsi(u32 id, u64 value) { return SetByRules(kMsiDef, id, value); }
int Par_GetMsi(u32 id, void *out) { return GetByRules(kMsiDef, id, out); }
int Par_SetDataBar(u32 id, u64 value) { return SetByRules(kDataBarDef, id, value); }
int Par_GetDataBar(u32 id, void *out) { return GetByRules(kDataBarDef, id, out); }
int Par_SetGroup11B00(u32 id, u64 value) { return SetByRules(kGroup11B00Def, id, value); }
int Par_GetGroup11B00(u32 id, void *out) { return GetByRules(kGroup11B00Def, id, out); }
int Par_SetComposite(u32 id, u64 value) { return SetByRules(kCompositeDef, id, value); }
int Par_GetComposite(u32 id, void *out) { return GetByRules(kCompositeDef, id, out); }
int Par_SetVar25a(u32 id, u64 value) { return SetByRules(kVar25aDef, id, value); }
int Par_GetVar25a(u32 id, void *out) { return GetByRules(kVar25aDef, id, out); }

int Par_SetPdf417(u32 id, u64 value) { return SetByRules(kPdf417Def, id, value); }
int Par_GetPdf417(u32 id, void *out) { return GetByRules(kPdf417Def, id, out); }
int Par_SetQr(u32 id, u64 value) { return SetByRules(kQrDef, id, value); }
int Par_GetQr(u32 id, void *out) { return GetByRules(kQrDef, id, out); }
int Par_SetAztec(u32 id, u64 value) { return SetByRules(kAztecDef, id, value); }
int Par_GetAztec(u32 id, void *out) { return GetByRules(kAztecDef, id, out); }
int Par_SetDataMatrix(u32 id, u64 value) { return SetByRules(kDataMatrixDef, id, value); }
int Par_GetDataMatrix(u32 id, void *out) { return GetByRules(kDataMatrixDef, id, out); }
int Par_SetMaxiCode(u32 id, u64 value) { return SetByRules(kMaxiCodeDef, id, value); }
int Par_GetMaxiCode(u32 id, void *out) { return GetByRules(kMaxiCodeDef, id, out); }
int Par_SetGroup20600(u32 id, u64 value) { return SetByRules(kGroup20600Def, id, value); }
int Par_GetGroup20600(u32 id, void *out) { return GetByRules(kGroup20600Def, id, out); }
int Par_SetCsCode(u32 id, u64 value) { return SetByRules(kCsCodeDef, id, value); }
int Par_GetCsCode(u32 id, void *out) { return GetByRules(kCsCodeDef, id, out); }
int Par_SetMicroPdf417(u32 id, u64 value) { return SetByRules(kMicroPdf417Def, id, value); }
int Par_GetMicroPdf417(u32 id, void *out) { return GetByRules(kMicroPdf417Def, id, out); }
int Par_SetMicroQr(u32 id, u64 value) { return SetByRules(kMicroQrDef, id, value); }
int Par_GetMicroQr(u32 id, void *out) { return GetByRules(kMicroQrDef, id, out); }
int Par_SetGroup20F00(u32 id, u64 value) { return SetByRules(kGroup20F00Def, id, value); }
int Par_GetGroup20F00(u32 id, void *out) { return GetByRules(kGroup20F00Def, id, out); }
int Par_SetGroup21400(u32 id, u64 value) { return SetByRules(kGroup21400Def, id, value); }
int Par_GetGroup21400(u32 id, void *out) { return GetByRules(kGroup21400Def, id, out); }

// 2D common mode: only the group id itself. 0x10010 is accepted and changes nothing.
int Par_SetCommon2D(u32 id, u64 value) {
    if (id != 0x20000) return kNotAnId;
    const u32 v = static_cast<u32>(value);
    if (v == kValCommonKeep) return kApplied;
    if (v < kValCommonMode0 || v > kValCommonMode2) return kRejected;
    g_params.commonWord = (g_params.commonWord & ~kCommon2DModeMask) | (v - kValCommonMode0);
    return kApplied;
}

// Mode 3 is never stored by Set; it reads as mode 0.
int Par_GetCommon2D(u32 id, void *out) {
    if (id != 0x20000) return kNotAnId;
    const u32 mode = g_params.commonWord & kCommon2DModeMask;
    PutWord(out, kValCommonMode0 + (mode == 3 ? 0 : mode));
    return kApplied;
}

int Par_SetAimPrefix(u32 id, u64 value) {
    if (id != 0x100600) return kApplied;  // other ids of the group are accepted and ignored
    const u32 v = static_cast<u32>(value);
    if (v == kValOn) {
        g_params.commonWord |= kCommonAimPrefix;
    } else if (v == kValOff) {
        g_params.commonWord &= ~kCommonAimPrefix;
    } else {
        return kRejected;
    }
    return kApplied;
}

int Par_GetAimPrefix(u32 id, void *out) {
    if (id != 0x100600) return kNotAnId;
    PutWord(out, (g_params.commonWord & kCommonAimPrefix) ? kValOn : kValOff);
    return kApplied;
}

int Par_GetResult(u32 id, void *out) {
    switch (Sub(id)) {
        case 0: PutWord(out, static_cast<u32>(Dec_GetResultStatus())); return kApplied;
        case 1: PutWord(out, Dec_GetCodeId()); return kApplied;
        case 2: {
            TEXT_DESC *desc = static_cast<TEXT_DESC *>(out);
            if (!Dec_TextDescUsable(desc)) return kRejected;
            desc->length = static_cast<u32>(Dec_CopyResultText(desc->buffer, desc->capacity));
            return kApplied;
        }
        case 3: PutWord(out, static_cast<u32>(Dec_GetResultLength())); return kApplied;
        case 4: PutWord(out, Dec_GetResultWord()); return kApplied;
        default: return kNotAnId;
    }
}

// ---------------------------------------------------------------------------------------
// Dispatch tables. Every group occurs once in each, so their order decides nothing.

constexpr SetEntry kSetTable[] = {
    {0x10000, &Par_SetCode128},  {0x10100, &Par_SetGs1128},    {0x10200, &Par_SetCode128Fnc1Second},
    {0x10300, &Par_SetIsbt128},  {0x10400, &Par_SetEan8},      {0x10500, &Par_SetEan13},
    {0x10600, &Par_SetIssn},     {0x10700, &Par_SetIsbn},      {0x10800, &Par_SetUpcE},
    {0x10900, &Par_SetUpcA},     {0x10A00, &Par_SetItf},       {0x10B00, &Par_SetItf6},
    {0x10C00, &Par_SetItf14},    {0x10D00, &Par_SetItf14W49},  {0x10E00, &Par_SetItf12W49},
    {0x10F00, &Par_SetVar25b},   {0x11000, &Par_SetMat25},     {0x11100, &Par_SetInd25},
    {0x11200, &Par_SetIata25},   {0x11400, &Par_SetCode39},    {0x11500, &Par_SetCodabar},
    {0x11600, &Par_SetCode93},   {0x11700, &Par_SetCode11},    {0x11800, &Par_SetPlessey},
    {0x11900, &Par_SetMsi},      {0x11A00, &Par_SetDataBar},   {0x11B00, &Par_SetGroup11B00},
    {0x11C00, &Par_SetComposite}, {0x11D00, &Par_SetVar25a},
    // 2D and option groups
    {0x20000, &Par_SetCommon2D}, {0x20100, &Par_SetPdf417},    {0x20200, &Par_SetQr},
    {0x20300, &Par_SetAztec},    {0x20400, &Par_SetDataMatrix}, {0x20500, &Par_SetMaxiCode},
    {0x20600, &Par_SetGroup20600}, {0x20700, &Par_SetCsCode},  {0x20800, &Par_SetMicroPdf417},
    {0x20900, &Par_SetMicroQr},  {0x20F00, &Par_SetGroup20F00}, {0x21400, &Par_SetGroup21400},
    {0x100600, &Par_SetAimPrefix},
};
static_assert(sizeof(kSetTable) / sizeof(kSetTable[0]) == 42);

constexpr GetEntry kGetTable[] = {
    {0x10000, &Par_GetCode128},  {0x10100, &Par_GetGs1128},    {0x10200, &Par_GetCode128Fnc1Second},
    {0x10300, &Par_GetIsbt128},  {0x10400, &Par_GetEan8},      {0x10500, &Par_GetEan13},
    {0x10600, &Par_GetIssn},     {0x10700, &Par_GetIsbn},      {0x10800, &Par_GetUpcE},
    {0x10900, &Par_GetUpcA},     {0x10A00, &Par_GetItf},       {0x10B00, &Par_GetItf6},
    {0x10C00, &Par_GetItf14},    {0x10D00, &Par_GetItf14W49},  {0x10E00, &Par_GetItf12W49},
    {0x10F00, &Par_GetVar25b},   {0x11000, &Par_GetMat25},     {0x11100, &Par_GetInd25},
    {0x11200, &Par_GetIata25},   {0x11400, &Par_GetCode39},    {0x11500, &Par_GetCodabar},
    {0x11600, &Par_GetCode93},   {0x11700, &Par_GetCode11},    {0x11800, &Par_GetPlessey},
    {0x11900, &Par_GetMsi},      {0x11A00, &Par_GetDataBar},   {0x11B00, &Par_GetGroup11B00},
    {0x11C00, &Par_GetComposite}, {0x11D00, &Par_GetVar25a},
    // 2D, option and result groups
    {0x20000, &Par_GetCommon2D}, {0x20100, &Par_GetPdf417},    {0x20200, &Par_GetQr},
    {0x20300, &Par_GetAztec},    {0x20400, &Par_GetDataMatrix}, {0x20500, &Par_GetMaxiCode},
    {0x20600, &Par_GetGroup20600}, {0x20700, &Par_GetCsCode},  {0x20800, &Par_GetMicroPdf417},
    {0x20900, &Par_GetMicroQr},  {0x20F00, &Par_GetGroup20F00}, {0x21400, &Par_GetGroup21400},
    {0x100600, &Par_GetAimPrefix}, {0x100500, &Par_GetResult},
};
static_assert(sizeof(kGetTable) / sizeof(kGetTable[0]) == 43);

}  // namespace

int Par_DispatchSet(u32 id, u64 value) {
    const u32 group = id & 0xFFFFFF00u;
    for (const SetEntry &e : kSetTable) {
        if (e.group == group) return e.handler(id, value);
    }
    return kNotAnId;
}

int Par_DispatchGet(u32 id, void *out) {
    if (out == nullptr) return kNotAnId;
    const u32 group = id & 0xFFFFFF00u;
    for (const GetEntry &e : kGetTable) {
        if (e.group == group) return e.handler(id, out);
    }
    return kNotAnId;
}

int Par_WriteVersionText(char *buf) {
    if (buf == nullptr) return 0;
    const int n = Dec_FormatVersionList(buf, 1024);
    buf[n] = 0;
    return 1;
}

}  // namespace vexo
