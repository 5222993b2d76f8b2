// EAN/UPC results: which member a read is reported as (EAN-13, UPC-A, ISBN, ISSN, EAN-8,
// UPC-E), whether its add-on is kept, required or dropped, which digits are sent, and its
// identifiers. The digits arrive as values and leave as characters.
#include <cstring>

#include "core/params.h"
#include "core/state.h"
#include "linear/ean_upc.h"

namespace vexo {

namespace {

bool Enabled(int id) { return (g_params.flagsWord[id] & kFlagEnabled) != 0; }

bool CompositeMode() {
    const u32 w = g_params.flagsWord[kSymComposite];
    return (w & kFlagEnabled) != 0 && (w & kFlagTransmitCheck) != 0;
}

// An EAN-13 prefix rule: its bit in the EAN-13 word and the prefixes it covers.
struct PREFIX_RULE {
    u32 bit;
    u16 prefix1;
    u16 prefix2;
};
constexpr PREFIX_RULE kPrefixRules[] = {
    {kFlagPrefixRule290, 290, 290}, {kFlagPrefixRule414, 414, 419}, {kFlagPrefixRule434, 434, 439},
    {kFlagPrefixRule978, 978, 978}, {kFlagPrefixRule378, 378, 379}, {kFlagPrefixRule977, 977, 977},
    {kFlagPrefixRule979, 979, 979},
};
static_assert(sizeof kPrefixRules / sizeof kPrefixRules[0] == 7);

// The add-on rule of a member's word on a read of main + add-on digits: 1 with *length the
// digits kept, 0 refused (a required add-on missing or of a length not admitted).
int ApplyAddOnRule(u32 word, u16 main, u16 *length) {
    const bool a2 = (word & kFlagAddOn2) != 0;
    const bool a5 = (word & kFlagAddOn5) != 0;
    if ((word & kFlagAddOnRequired) != 0 && (a2 || a5))
        return (a2 && *length == main + 2) || (a5 && *length == main + 5) ? 1 : 0;
    if ((*length == main + 2 && !a2) || (*length == main + 5 && !a5)) *length = main;
    return 1;
}

// Removes the digit at pos (within length), moving the rest up.
void RemoveAt(u8 *d, u16 *length, u16 pos) {
    if (pos >= *length) return;
    std::memmove(d + pos, d + pos + 1, static_cast<size_t>(*length - pos - 1));
    *length = static_cast<u16>(*length - 1);
}

// Puts count copies of 0 in front (the caller made room).
void PrependZeros(u8 *d, u16 *length, u16 count) {
    std::memmove(d + count, d, *length);
    std::memset(d, 0, count);
    *length = static_cast<u16>(*length + count);
}

void ToCharacters(u8 *d, u16 length) {
    for (u16 k = 0; k < length; ++k) d[k] = static_cast<u8>('0' + d[k] % 10);
}

void Report(LINE_DECODE_CTX *ctx, u16 id, char letter, char modifier, u16 length, i32 codeType) {
    ctx->symbologyId = id;
    ctx->aimLetter = letter;
    ctx->aimModifier = modifier;
    ctx->length = length;
    g_state.lastSymbologyCode = codeType;
}

// Code type of a member without add-on, with 2 and with 5 digits.
i32 CodeType(i32 plain, u16 length, u16 main) {
    if (length == main + 2) return plain + 1;
    return length == main + 5 ? plain + 2 : plain;
}

// The digits from first to last (inclusive) followed by the mod-11 check character with
// weights last - first + 2 down to 2: the ISBN-10 and ISSN forms.
u16 WriteMod11Form(u8 *d, u16 first, u16 last) {
    u32 sum = 0;
    const u16 n = static_cast<u16>(last - first + 1);
    for (u16 k = 0; k < n; ++k) sum += d[first + k] * static_cast<u32>(n + 1 - k);
    std::memmove(d, d + first, n);
    const u32 r = sum % 11;
    ToCharacters(d, n);
    d[n] = static_cast<u8>(r == 0 ? '0' : (r == 1 ? 'X' : '0' + (11 - r)));
    return static_cast<u16>(n + 1);
}

bool ReadFits(const LINE_DECODE_CTX *ctx, u16 main) {
    return ctx != nullptr && ctx->data != nullptr && ctx->capacity >= kEanTextRoom &&
           (ctx->length == main || ctx->length == main + 2 || ctx->length == main + 5);
}

}  // namespace

u16 Upce_ExpandToUpca(u8 *digits, u16 length) {
    if (digits == nullptr || length < 8) return length;
    const u8 *d = digits;
    const u8 d3 = d[3], d4 = d[4], d5 = d[5], d6 = d[6];
    if ((d6 == 3 && d3 < 3) || (d6 == 4 && d4 == 0) || (d6 >= 5 && d5 == 0)) return length;
    u8 x[18] = {0, d[0], d[1], d[2]};
    if (d6 <= 2) {
        const u8 tail[] = {d6, 0, 0, 0, 0, d3, d4, d5};
        std::memcpy(x + 4, tail, sizeof tail);
    } else if (d6 == 3) {
        const u8 tail[] = {d3, 0, 0, 0, 0, 0, d4, d5};
        std::memcpy(x + 4, tail, sizeof tail);
    } else if (d6 == 4) {
        const u8 tail[] = {d3, d4, 0, 0, 0, 0, 0, d5};
        std::memcpy(x + 4, tail, sizeof tail);
    } else {
        const u8 tail[] = {d3, d4, d5, 0, 0, 0, 0, d6};
        std::memcpy(x + 4, tail, sizeof tail);
    }
    const u16 extra = static_cast<u16>(length > 13 ? 5 : length - 8);
    x[12] = d[7];
    std::memcpy(x + 13, d + 8, extra);
    std::memcpy(digits, x, static_cast<size_t>(13 + extra));
    return static_cast<u16>(13 + extra);
}

int Isbn_Output(LINE_DECODE_CTX *ctx) {
    u16 length = 13;
    if ((g_params.flagsWord[kSymIsbn] & kFlagTransmitCheck) != 0)
        length = WriteMod11Form(ctx->data, 3, 11);
    else
        ToCharacters(ctx->data, length);
    Report(ctx, kSymIsbn, 'X', '0', length, 20);
    return 1;
}

int Issn_Output(LINE_DECODE_CTX *ctx) {
    Report(ctx, kSymIssn, 'X', '0', WriteMod11Form(ctx->data, 3, 9), 21);
    return 1;
}

int Ean13_Output(LINE_DECODE_CTX *ctx) {
    const u32 word = g_params.flagsWord[kSymEan13];
    ctx->symbologyId = kSymEan13;
    if (CompositeMode())
        ctx->linkFlag = 11;
    else if (!Enabled(kSymEan13))
        return 0;
    u8 *d = ctx->data;
    const u16 read = ctx->length;
    u16 length = read;
    if (ApplyAddOnRule(word, 13, &length) == 0) return 0;
    if ((word & kFlagAddOnRequired) == 0) {
        const u16 prefix = static_cast<u16>(d[0] * 100 + d[1] * 10 + d[2]);
        for (const PREFIX_RULE &rule : kPrefixRules) {
            if ((word & rule.bit) == 0 || (prefix != rule.prefix1 && prefix != rule.prefix2)) continue;
            if (read == 13) return 0;
            length = read;  // the add-on the rule asks for stays whatever its length
        }
    }
    const i32 codeType = CodeType(11, length, 13);
    if ((word & kFlagTransmitCheck) == 0) RemoveAt(d, &length, 12);
    ToCharacters(d, length);
    Report(ctx, kSymEan13, 'E', codeType != 11 ? '3' : '0', length, codeType);
    return 1;
}

int Upca_Output(LINE_DECODE_CTX *ctx, int forceEnable) {
    const u32 word = g_params.flagsWord[kSymUpcA];
    ctx->symbologyId = kSymUpcA;
    if (CompositeMode())
        ctx->linkFlag = 12;
    else if (!Enabled(kSymUpcA) && forceEnable == 0)
        return 0;
    u8 *d = ctx->data;
    u16 length = ctx->length;
    if (ApplyAddOnRule(word, 13, &length) == 0) return 0;
    const i32 codeType = CodeType(17, length, 13);
    if ((word & kFlagTransmitCheck) == 0) RemoveAt(d, &length, 12);
    if ((word & kFlagUpcLeadingZero) != 0) RemoveAt(d, &length, 1);
    if ((word & kFlagUpcPreamble) == 0) RemoveAt(d, &length, 0);
    ToCharacters(d, length);
    Report(ctx, kSymUpcA, 'E', codeType != 17 ? '3' : '0', length, codeType);
    return 1;
}

int Ean13_Verify(LINE_DECODE_CTX *ctx) {
    if (!ReadFits(ctx, 13)) return 0;
    const u8 *d = ctx->data;
    const u16 prefix = static_cast<u16>(d[0] * 100 + d[1] * 10 + d[2]);
    if (d[0] == 0) return Upca_Output(ctx, 0);
    if (CompositeMode()) return Ean13_Output(ctx);
    if (Enabled(kSymIsbn) && (prefix == 978 || prefix == 979)) return Isbn_Output(ctx);
    if (prefix == 977 && Enabled(kSymIssn)) return Issn_Output(ctx);
    return Ean13_Output(ctx);
}

int Ean8_Output(LINE_DECODE_CTX *ctx) {
    const u32 word = g_params.flagsWord[kSymEan8];
    const bool composite = CompositeMode();
    ctx->symbologyId = kSymEan8;
    if (composite)
        ctx->linkFlag = 13;
    else if (!Enabled(kSymEan8))
        return 0;
    u8 *d = ctx->data;
    u16 length = ctx->length;
    if (ApplyAddOnRule(word, 8, &length) == 0) return 0;
    const i32 codeType = CodeType(8, length, 8);
    if ((word & kFlagEan8Extend) != 0) {
        PrependZeros(d, &length, 5);
        ToCharacters(d, length);
        const bool asEan13 = (word & kFlagEan8AsEan13) != 0;
        Report(ctx, asEan13 ? kSymEan13 : kSymEan8, 'E', asEan13 ? (length < 14 ? '0' : '3') : '4', length, codeType);
        return 1;
    }
    const u16 addOn = static_cast<u16>(length - 8);
    if ((word & kFlagTransmitCheck) == 0) RemoveAt(d, &length, 7);
    ToCharacters(d, length);
    if (addOn > 0 && !composite && (g_params.commonWord & kCommonAimPrefix) != 0) {
        // The add-on carries its own identifier inside the text.
        const u16 at = static_cast<u16>(length - addOn);
        std::memmove(d + at + 3, d + at, addOn);
        d[at] = ']';
        d[at + 1] = 'E';
        d[at + 2] = addOn == 2 ? '1' : '2';
        length = static_cast<u16>(length + 3);
    }
    Report(ctx, kSymEan8, 'E', addOn > 0 ? '3' : '4', length, codeType);
    return 1;
}

int Upce_Output(LINE_DECODE_CTX *ctx) {
    const u32 word = g_params.flagsWord[kSymUpcE];
    const bool composite = CompositeMode();
    u8 *d = ctx->data;
    ctx->symbologyId = kSymUpcE;
    bool accepted = composite;
    if (Enabled(kSymUpcE)) {
        if (d[0] == 0) accepted = composite || (word & kFlagUpcERefuseNs0) == 0;
        if (d[0] == 1) accepted = accepted || (word & kFlagUpcEAcceptNs1) != 0;
    }
    if (!accepted) return 0;
    if (composite) ctx->linkFlag = 14;
    u16 length = ctx->length;
    if (ApplyAddOnRule(word, 8, &length) == 0) return 0;
    const i32 codeType = CodeType(14, length, 8);
    if ((word & (kFlagUpcEExpand | kFlagUpcEThroughUpcA)) != 0) {
        const u16 expanded = Upce_ExpandToUpca(d, length);
        if (expanded != length) {
            if ((word & kFlagUpcEThroughUpcA) != 0) {
                ctx->length = expanded;
                const bool upcaOff = !Enabled(kSymUpcA);
                const int r = Upca_Output(ctx, 1);
                // Reported as UPC-A with the UPC-A word off, the result would be dropped by
                // the enable test of its id: it stays a UPC-E read.
                if (r == 1 && upcaOff && !composite) ctx->symbologyId = kSymUpcE;
                return r;
            }
            ToCharacters(d, expanded);
            const bool asUpcA = (word & kFlagUpcEAsUpcA) != 0;
            Report(ctx, asUpcA ? kSymUpcA : kSymUpcE, 'E', codeType != 14 ? '3' : '0', expanded, codeType);
            return 1;
        }
    }
    if ((word & kFlagTransmitCheck) == 0) RemoveAt(d, &length, 7);
    if ((word & kFlagUpcPreamble) == 0) RemoveAt(d, &length, 0);
    if ((word & kFlagUpcLeadingZero) != 0) PrependZeros(d, &length, 1);
    ToCharacters(d, length);
    Report(ctx, kSymUpcE, 'E', codeType != 14 ? '3' : '0', length, codeType);
    return 1;
}

int Ean8_Verify(LINE_DECODE_CTX *ctx) { return ReadFits(ctx, 8) ? Ean8_Output(ctx) : 0; }

int Upce_Verify(LINE_DECODE_CTX *ctx) { return ReadFits(ctx, 8) ? Upce_Output(ctx) : 0; }

}  // namespace vexo
