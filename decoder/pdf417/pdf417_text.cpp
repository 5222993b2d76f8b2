#include "pdf417/pdf417_text.h"

#include <cstring>

namespace vexo {

namespace {

// What a text value does besides writing its character.
enum TextAction : u8 {
    kEmit = 0,
    kLatchAlpha = 1,
    kLatchLower = 2,
    kLatchMixed = 3,
    kLatchPunct = 4,
    kShiftAlpha = 5,
    kShiftPunct = 6,
};

// Text compaction sub-mode characters by value: ISO/IEC 15438, text compaction (Table 2),
// rows Alpha, Lower, Mixed and Punctuation. Latch and shift values hold 0, which an Alpha
// shift writes as it stands.
constexpr u8 kTextChars[4][30] = {
    {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O',
     'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', ' ', 0, 0, 0},
    {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o',
     'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z', ' ', 0, 0, 0},
    {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '&', '\r', '\t', ',', ':',
     '#', '-', '.', '$', '/', '+', '%', '*', '=', '^', 0, ' ', 0, 0, 0},
    {';', '<', '>', '@', '[', '\\', ']', '_', '`', '~', '!', '\r', '\t', ',', ':',
     '\n', '-', '.', '$', '/', '"', '|', '*', '(', ')', '?', '{', '}', '\'', 0},
};
static_assert(sizeof(kTextChars) == 120);

// The latches and shifts of the same table, values 25..29 of each sub-mode.
constexpr u8 kTextActions[4][5] = {
    {kEmit, kEmit, kLatchLower, kLatchMixed, kShiftPunct},       // Alpha
    {kEmit, kEmit, kShiftAlpha, kLatchMixed, kShiftPunct},       // Lower
    {kLatchPunct, kEmit, kLatchLower, kLatchAlpha, kShiftPunct}, // Mixed
    {kEmit, kEmit, kEmit, kEmit, kLatchAlpha},                   // Punctuation
};
static_assert(sizeof(kTextActions) == 20);

constexpr i32 kNoShift = -1;
constexpr i32 kGroupCodewords = 15;

struct TextState {
    i32 subMode;
    i32 shift;  // kNoShift, kPdfAlpha or kPdfPunct
};

// One text value. Answers false when the value ends the run.
bool TextValue(TextState *s, i32 value, PDF_TEXT *out) {
    if (s->shift != kNoShift) {
        const i32 table = s->shift;
        s->shift = kNoShift;
        if (table == kPdfPunct && value == 29) return false;
        PDF_PutByte(out, kTextChars[table][value]);
        return true;
    }
    const u8 action = value >= 25 ? kTextActions[s->subMode][value - 25] : static_cast<u8>(kEmit);
    switch (action) {
        case kEmit: PDF_PutByte(out, kTextChars[s->subMode][value]); break;
        case kLatchAlpha: s->subMode = kPdfAlpha; break;
        case kLatchLower: s->subMode = kPdfLower; break;
        case kLatchMixed: s->subMode = kPdfMixed; break;
        case kLatchPunct: s->subMode = kPdfPunct; break;
        case kShiftAlpha: s->shift = kPdfAlpha; break;
        default: s->shift = kPdfPunct; break;
    }
    return true;
}

}  // namespace

void PDF_BeginText(PDF_TEXT *text, u8 *data, i32 capacity) {
    text->data = data;
    text->capacity = data != nullptr && capacity > 0 ? capacity : 0;
    text->length = 0;
    text->overflow = 0;
}

// Once a write was refused nothing more is written, so a text never has a hole.
i32 PDF_PutByte(PDF_TEXT *text, u8 byte) {
    if (text->overflow != 0 || text->length >= text->capacity) {
        text->overflow = 1;
        return 0;
    }
    text->data[text->length++] = byte;
    return 1;
}

i32 PDF_PutBytes(PDF_TEXT *text, const u8 *bytes, i32 n) {
    if (text->overflow != 0) return 0;
    if (n <= 0) return 1;
    if (n > text->capacity - text->length) {
        text->overflow = 1;
        return 0;
    }
    std::memcpy(text->data + text->length, bytes, static_cast<size_t>(n));
    text->length += n;
    return 1;
}

i32 PDF_DataRunEnd(const i32 *codewords, i32 from, i32 end) {
    i32 i = from;
    while (i < end && PDF_IsDataCodeword(codewords[i])) ++i;
    return i;
}

i32 PDF_TextRunEnd(const i32 *codewords, i32 from, i32 end) {
    i32 i = from;
    while (i < end && (PDF_IsDataCodeword(codewords[i]) || codewords[i] == kPdfShiftByte)) ++i;
    return i;
}

i32 PDF_DecodeText(const i32 *codewords, i32 from, i32 to, PDF_TEXT *out, i32 subMode) {
    TextState s{subMode >= kPdfAlpha && subMode <= kPdfPunct ? subMode : kPdfAlpha, kNoShift};
    for (i32 i = from; i < to; ++i) {
        const i32 v = codewords[i];
        if (v == kPdfShiftByte) {
            // The next codeword is a byte; a shift at the end of the run has none.
            if (i + 1 < to) PDF_PutByte(out, static_cast<u8>(codewords[++i] & 0xFF));
            if (s.shift == kPdfPunct) s.shift = kNoShift;
            continue;
        }
        if (!PDF_IsDataCodeword(v)) break;
        if (!TextValue(&s, v / 30, out) || !TextValue(&s, v % 30, out)) break;
    }
    return out->length;
}

void PDF_DigitsMultiply(PDF_DIGITS *digits, i32 factor) {
    i32 carry = 0;
    for (i32 k = 0; k < digits->count; ++k) {
        const i32 v = digits->digit[k] * factor + carry;
        digits->digit[k] = static_cast<u8>(v % 10);
        carry = v / 10;
    }
    while (carry > 0 && digits->count < kPdfMaxDigits) {
        digits->digit[digits->count++] = static_cast<u8>(carry % 10);
        carry /= 10;
    }
}

void PDF_DigitsAdd(PDF_DIGITS *digits, i32 value) {
    i32 carry = value;
    for (i32 k = 0; k < digits->count && carry > 0; ++k) {
        const i32 v = digits->digit[k] + carry;
        digits->digit[k] = static_cast<u8>(v % 10);
        carry = v / 10;
    }
    while (carry > 0 && digits->count < kPdfMaxDigits) {
        digits->digit[digits->count++] = static_cast<u8>(carry % 10);
        carry /= 10;
    }
}

i32 PDF_DecodeNumeric(const i32 *codewords, i32 from, i32 to, PDF_TEXT *out) {
    for (i32 g = from; g < to; g += kGroupCodewords) {
        const i32 last = to - g < kGroupCodewords ? to : g + kGroupCodewords;
        PDF_DIGITS value{};
        for (i32 i = g; i < last; ++i) {
            PDF_DigitsMultiply(&value, 900);
            PDF_DigitsAdd(&value, PDF_IsDataCodeword(codewords[i]) ? codewords[i] : 0);
        }
        // Most significant first, without the leading digit that the encoder put in front.
        u8 text[kPdfMaxDigits];
        i32 n = 0;
        for (i32 k = value.count - 2; k >= 0; --k) text[n++] = static_cast<u8>('0' + value.digit[k]);
        if (!PDF_PutBytes(out, text, n)) break;
    }
    return out->length;
}

void PDF_DecodeByteGroup(const i32 codewords[5], u8 out[6]) {
    u64 value = 0;
    for (i32 k = 0; k < 5; ++k) value = value * 900u + static_cast<u64>(static_cast<u32>(codewords[k]) % 900u);
    for (i32 k = 5; k >= 0; --k) {
        out[k] = static_cast<u8>(value & 0xFF);
        value >>= 8;
    }
}

i32 PDF_DecodeByteRun(const i32 *codewords, i32 from, i32 to, i32 grouped, PDF_TEXT *out) {
    if (grouped != 0 && (to - from) % 5 != 0) return 0;
    i32 i = from;
    // Under 901 a group of five is six bytes only when a sixth codeword follows it.
    const i32 groupsEnd = grouped != 0 ? to : to - 5;
    for (; i + 5 <= to && (grouped != 0 || i < groupsEnd); i += 5) {
        u8 bytes[6];
        PDF_DecodeByteGroup(codewords + i, bytes);
        if (!PDF_PutBytes(out, bytes, 6)) return 1;
    }
    for (; i < to; ++i) PDF_PutByte(out, static_cast<u8>(codewords[i] & 0xFF));
    return 1;
}

}  // namespace vexo
