// Code 128 interpretation: which member of the family a symbol is (plain, GS1-128, FNC1 in
// second position, the FNC3 form, ISBT 128), its text, and its identifiers.
#include <cstring>

#include "core/params.h"
#include "core/state.h"
#include "linear/code128.h"
#include "linear/isbt128.h"
#include "linear/line_toolkit.h"

namespace vexo {

namespace {

enum CodeSet : int { kSetA = 0, kSetB = 1, kSetC = 2 };

// Values of ISO/IEC 15417 with the same meaning in every set (or in sets A and B).
constexpr u8 kValueFnc3 = 96;
constexpr u8 kValueFnc2 = 97;
constexpr u8 kValueShift = 98;
constexpr u8 kValueCodeC = 99;
constexpr u8 kValueFnc1 = 102;
constexpr u8 kValueStartA = 103;
constexpr u8 kValueStartC = 105;
constexpr u8 kGroupSeparator = 0x1D;

// Composite link value of a final change from set a to set b (A to B 1 ... C to B 6).
static constexpr u8 kLinkValues[3][3] = {{0, 1, 2}, {4, 0, 3}, {5, 6, 0}};
static_assert(sizeof kLinkValues == 9);

constexpr i32 kCodeTypeFnc3Form = 2;
constexpr i32 kCodeTypePlain = 3;
constexpr i32 kCodeTypeGs1 = 4;
constexpr i32 kCodeTypeFnc1Second = 5;
constexpr i32 kCodeTypeIsbt = 7;

bool Enabled(int id) { return (g_params.flagsWord[id] & kFlagEnabled) != 0; }

// The set a code set change leads to, or -1 when v is no change in set.
int SetChange(int set, u8 v) {
    if (set == kSetC) return v == 100 ? kSetB : (v == 101 ? kSetA : -1);
    if (v == kValueCodeC) return kSetC;
    if (set == kSetA) return v == 100 ? kSetB : -1;
    return v == 101 ? kSetA : -1;
}

// The value in front of an FNC1 at position 2 that makes the FNC1-second form.
bool QualifiesForFnc1Second(int set, u8 v) {
    if (set == kSetC) return v < 100;
    if (v >= 33 && v <= 58) return true;
    return set == kSetB && v >= 65 && v <= 90;
}

// Bits 29 and 31 come from the word of the member the scan found.
bool MemberOption(const CODE128_SCAN *s, u32 bit) {
    return (s->plain != 0 && (g_params.flagsWord[kSymCode128] & bit) != 0) ||
           (s->fnc1First != 0 && (g_params.flagsWord[kSymGs1128] & bit) != 0) ||
           (s->fnc1Second != 0 && (g_params.flagsWord[kSymCode128Fnc1Second] & bit) != 0);
}

struct TEXT_WRITER {
    u8 *out;
    u16 capacity;
    u16 length;
    bool ok;

    void Put(u8 c) {
        if (length >= capacity) {
            ok = false;
            return;
        }
        out[length++] = c;
    }
};

// The '~' and the check value in decimal, whole or not at all: a cut value would be read
// as another check value.
void AppendCheck(TEXT_WRITER *w, u8 check) {
    const int digits = check >= 100 ? 3 : (check >= 10 ? 2 : 1);
    if (w->length + 1 + digits > w->capacity) {
        w->ok = false;
        return;
    }
    w->Put('~');
    if (digits == 3) w->Put(static_cast<u8>('0' + check / 100));
    if (digits >= 2) w->Put(static_cast<u8>('0' + check / 10 % 10));
    w->Put(static_cast<u8>('0' + check % 10));
}

// One value of set A or B (cur, the set after a shift) at position i.
struct EXPAND_STATE {
    int set;
    bool shift;
    bool extended;       // FNC4 latched
    bool fnc4Pending;    // one FNC4 waiting for its character
    int lastFnc4;        // position of the last FNC4
};

void ExpandLetterSet(EXPAND_STATE *e, int cur, u8 v, int i, u8 fnc1, TEXT_WRITER *w) {
    const u8 fnc4 = cur == kSetA ? 101 : 100;
    const u8 change = cur == kSetA ? 100 : 101;
    if (v == kValueFnc3 || v == kValueFnc2) return;
    if (v == kValueShift) {
        e->shift = true;
    } else if (v == kValueCodeC) {
        e->set = kSetC;
    } else if (v == kValueFnc1) {
        if (i > 2) w->Put(fnc1);
    } else if (v == change) {
        e->set = cur == kSetA ? kSetB : kSetA;
    } else if (v == fnc4) {
        // Two in a row switch the extended mode; one alone turns the next character over.
        if (e->fnc4Pending && e->lastFnc4 == i - 1) {
            e->extended = !e->extended;
            e->fnc4Pending = false;
        } else {
            e->fnc4Pending = true;
        }
        e->lastFnc4 = i;
    } else {
        u8 c = static_cast<u8>(cur == kSetA ? (v < 64 ? v + 32 : v - 64) : v + 32);
        if (e->extended != e->fnc4Pending) c = static_cast<u8>(c + 128);
        e->fnc4Pending = false;
        w->Put(c);
    }
}

// Length limits of a member's word, then the result's identifiers.
int FinishOutput(LINE_DECODE_CTX *ctx, u16 length, int id, char modifier, i32 codeType) {
    const u32 word = g_params.flagsWord[id];
    if (!Line_IsLengthAllowed(length, static_cast<u16>(word & kMinLengthMask),
                              static_cast<u16>((word & kMaxLengthMask) >> 8))) {
        ctx->errorCode = kLineErrorLength;
        return 0;
    }
    ctx->length = length;
    ctx->symbologyId = static_cast<u16>(id);
    ctx->aimModifier = modifier;
    g_state.lastSymbologyCode = codeType;
    return 1;
}

int ExpandAndFinish(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan, int id, char modifier, i32 codeType) {
    const u16 n = Code128_ExpandCodewords(ctx->data, ctx->length, ctx->capacity, scan);
    return n == 0 ? 0 : FinishOutput(ctx, n, id, modifier, codeType);
}

}  // namespace

void Code128_ScanCodewords(const u8 *values, u16 count, CODE128_SCAN *scan) {
    *scan = CODE128_SCAN{};
    if (values == nullptr || count == 0 || values[0] < kValueStartA || values[0] > kValueStartC) return;
    scan->plain = 1;
    int set = values[0] - kValueStartA;
    u16 pos = 1;
    // Start A followed by Code C and a pair below 86, or by Code B or Shift and one of the
    // values below: a reserved opening, never plain Code 128.
    if (count > 4 && values[0] == kValueStartA) {
        const u8 v1 = values[1];
        const u8 v2 = values[2];
        const bool character = v2 <= 15 || (v2 >= 26 && v2 <= 95);
        if (v1 == kValueCodeC && v2 < 86) {
            scan->reservedForm = 1;
            set = kSetC;
        } else if ((v1 == 100 || v1 == kValueShift) && character) {
            scan->reservedForm = 1;
            set = v1 == 100 ? kSetB : kSetA;
        }
        if (scan->reservedForm != 0) pos = 3;
    }
    for (; pos < count; ++pos) {
        const u8 v = values[pos];
        if (v > kValueFnc1) {
            *scan = CODE128_SCAN{};
            return;
        }
        if (v == kValueFnc1) {
            if (pos == 1) scan->fnc1First = 1;
            if (pos == 2 && scan->fnc1First == 0 && QualifiesForFnc1Second(set, values[1])) scan->fnc1Second = 1;
            if (set != kSetC && pos <= 2) scan->plain = 0;
            continue;
        }
        if (v == kValueFnc3 && set != kSetC) {
            scan->fnc3Seen = 1;
            continue;
        }
        const int to = SetChange(set, v);
        if (to < 0) continue;
        if (pos == count - 1 && scan->fnc1First != 0) scan->linkValue = kLinkValues[set][to];
        set = to;
    }
    if (scan->fnc1First != 0 || scan->fnc1Second != 0 || scan->fnc3Seen != 0 || scan->reservedForm != 0)
        scan->plain = 0;
}

u16 Code128_ExpandCodewords(u8 *buffer, u16 count, u16 capacity, const CODE128_SCAN *scan) {
    // The values are read from a copy: written in place, a text that grows faster than the
    // values are read (two digits a value) would overwrite values not read yet.
    u8 values[kLineTextCapacity];
    if (buffer == nullptr || scan == nullptr || count == 0 || count > sizeof values || capacity <= count) return 0;
    std::memcpy(values, buffer, count);
    const u8 check = buffer[count];
    if (values[0] < kValueStartA || values[0] > kValueStartC) return 0;
    const u8 fnc1 = MemberOption(scan, kFlagCode128Fnc1AsTilde) ? '~' : kGroupSeparator;
    EXPAND_STATE e{values[0] - kValueStartA, false, false, false, -2};
    TEXT_WRITER w{buffer, capacity, 0, true};
    for (int i = 1; i < count && w.ok; ++i) {
        const u8 v = values[i];
        if (v > kValueFnc1) return 0;
        const int cur = e.shift ? (e.set == kSetA ? kSetB : kSetA) : e.set;
        e.shift = false;
        if (cur != kSetC) {
            ExpandLetterSet(&e, cur, v, i, fnc1, &w);
        } else if (v == 100 || v == 101) {
            e.set = v == 100 ? kSetB : kSetA;
        } else if (v == kValueFnc1) {
            if (i > 2 && scan->reservedForm == 0) w.Put(fnc1);
        } else {
            w.Put(static_cast<u8>('0' + v / 10));
            w.Put(static_cast<u8>('0' + v % 10));
        }
    }
    if (w.ok && MemberOption(scan, kFlagTransmitCheck)) AppendCheck(&w, check);
    return w.ok ? w.length : 0;
}

int Code128_OutputPlain(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan) {
    if (!Enabled(kSymCode128) && !Enabled(kSymIsbt128)) return 0;
    const u16 n = Code128_ExpandCodewords(ctx->data, ctx->length, ctx->capacity, scan);
    if (n == 0) return 0;
    ctx->length = n;
    if (Enabled(kSymIsbt128) && Code128_CheckIsbt(ctx, scan) != 0) return 1;
    if (!Enabled(kSymCode128)) return 0;
    return FinishOutput(ctx, n, kSymCode128, '0', kCodeTypePlain);
}

int Code128_OutputGs1(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan) {
    if (!Enabled(kSymGs1128) && !Enabled(kSymComposite)) return 0;
    return ExpandAndFinish(ctx, scan, kSymGs1128, '1', kCodeTypeGs1);
}

int Code128_OutputFnc1Second(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan) {
    return ExpandAndFinish(ctx, scan, kSymCode128Fnc1Second, '2', kCodeTypeFnc1Second);
}

int Code128_OutputFnc3Form(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan) {
    return ExpandAndFinish(ctx, scan, kSymCode128Form0, '0', kCodeTypeFnc3Form);
}

int Code128_CheckIsbt(LINE_DECODE_CTX *ctx, const CODE128_SCAN *scan) {
    const char *text = reinterpret_cast<const char *>(ctx->data);
    const u16 n = ctx->length;
    if (n < 3 || (text[0] != '=' && text[0] != '&')) return 0;
    ctx->aimModifier = '4';
    u16 length = n;
    if (MemberOption(scan, kFlagTransmitCheck)) {
        length = 0;
        for (u16 i = 0; i < n; ++i)
            if (text[i] == '~') length = i;
    }
    // Padding writes up to the longest structure, which a later result slot may not hold.
    char work[kLineTextCapacity];
    if (length > sizeof work) {
        ctx->errorCode = kLineErrorCheck;
        return 0;
    }
    std::memcpy(work, text, length);
    const u16 r = Isbt_Validate(work, length);
    if (r == 0) {
        ctx->errorCode = kLineErrorCheck;
        return 0;
    }
    if (r > ctx->capacity) return 0;
    std::memcpy(ctx->data, work, r);
    ctx->length = r;
    ctx->symbologyId = kSymIsbt128;
    g_state.lastSymbologyCode = kCodeTypeIsbt;
    return 1;
}

int Code128_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    ctx->aimLetter = 'C';
    CODE128_SCAN scan;
    Code128_ScanCodewords(ctx->data, ctx->length, &scan);
    if (scan.fnc1First != 0) {
        ctx->linkFlag = scan.linkValue;
        // Without the composite word a link value has nothing to join.
        if (!Enabled(kSymComposite)) return scan.linkValue != 0 ? 0 : Code128_OutputGs1(ctx, &scan);
    }
    const bool any = Enabled(kSymCode128) || Enabled(kSymGs1128) || Enabled(kSymCode128Fnc1Second) ||
                     Enabled(kSymCode128Form0) || Enabled(kSymIsbt128) || ctx->linkFlag != 0;
    if (!any) return 0;
    if (scan.plain != 0) return Code128_OutputPlain(ctx, &scan);
    if (scan.fnc1First != 0) return Code128_OutputGs1(ctx, &scan);
    if (scan.fnc3Seen != 0) return Enabled(kSymCode128Form0) ? Code128_OutputFnc3Form(ctx, &scan) : 0;
    if (scan.fnc1Second != 0) return Enabled(kSymCode128Fnc1Second) ? Code128_OutputFnc1Second(ctx, &scan) : 0;
    return 0;
}

}  // namespace vexo
