// Composite component data. Every character goes through a PDF_TEXT bounded by the caller's
// capacity: after 920 the numeric and text compaction of the byte step can make the bit
// stream, and so the text, several times longer than a CC-A or CC-B ever is.
#include "pdf417/cc_data.h"

#include <cstring>

#include "pdf417/pdf417_text.h"

namespace vexo {

i32 ccEmitAiDigits = 1;
i32 ccLotAiPending = 0;
u32 g_ccBits[kCcBitSlots];

namespace {

constexpr i32 kCompositeLatch = 920;

// Method "11": the letters of the compressed AI 90 prefix, by its 4-bit value (ISO/IEC 24723,
// encodation method "11").
constexpr u8 kPrefixLetters[16] = {'B', 'D', 'H', 'I', 'J', 'K', 'L', 'N', 'P', 'Q', 'R', 'S', 'T', 'V', 'W', 'Z'};
static_assert(sizeof(kPrefixLetters) == 16);

// ISO/IEC 646 mode, 8-bit values 232..252 (ISO/IEC 24723, general-purpose field encodation).
constexpr u8 kIso646Punctuation[21] = {'!', '"', '%', '&', '\'', '(', ')', '*', '+', ',', '-',
                                       '.', '/', ':', ';', '<', '=', '>', '?', '_', ' '};
static_assert(sizeof(kIso646Punctuation) == 21);

// Alphanumeric mode, 6-bit values 58..62.
constexpr u8 kAlnumPunctuation[5] = {'*', ',', '-', '.', '/'};
static_assert(sizeof(kAlnumPunctuation) == 5);

enum FollowingAi : i32 { kNoAi = 0, kAi21 = 1, kAi8004 = 2 };
constexpr u8 kAi21Digits[2] = {'2', '1'};
constexpr u8 kAi8004Digits[4] = {'8', '0', '0', '4'};

// One step of a general-purpose field.
enum Step : i32 { kGoOn = 0, kStop = 1, kFnc1End = 2, kMore = 3 };

struct Field {
    const u32 *bits;
    i32 bitCount;
    PDF_TEXT *out;
    i32 pos;
    i32 mode;
    bool fnc1Seen;
    bool lotWritten;
    bool stopAtFnc1;
    i32 carryDigit;

    i32 Remaining() const { return bitCount - pos; }
    u32 Peek(i32 n) const { return CC_GetBits(bits, pos, n); }
    // Every character of the field; the batch-number AI goes in front of the first one
    // unless an FNC1 came before it.
    void Put(u8 c) {
        if (ccEmitAiDigits != 0 && ccLotAiPending != 0 && !fnc1Seen && !lotWritten) {
            PDF_PutByte(out, '1');
            PDF_PutByte(out, '0');
        }
        lotWritten = true;
        PDF_PutByte(out, c);
    }
    void PutDigit(i32 d) { Put(static_cast<u8>('0' + d)); }
};

Step Latch(Field *f, i32 mode, i32 bits, Step step = kGoOn) {
    f->mode = mode;
    f->pos += bits;
    return step;
}

Step NumericStep(Field *f) {
    if (f->Remaining() < 4) return kStop;
    const i32 v4 = static_cast<i32>(f->Peek(4));
    if (v4 == 0) return Latch(f, kCcAlphanumeric, 4);
    if (f->Remaining() < 7) {
        // A lone last digit, coded as digit + 1; 11 (FNC1) and above write nothing.
        if (v4 - 1 <= 9) f->PutDigit(v4 - 1);
        f->pos = f->bitCount;
        return kStop;
    }
    const i32 v = static_cast<i32>(f->Peek(7)) - 8;
    const i32 d1 = v / 11;
    const i32 d2 = v % 11;
    if (d1 == 10) {
        f->fnc1Seen = true;
        f->pos += 7;
        if (f->stopAtFnc1) {
            f->carryDigit = d2;
            return kFnc1End;
        }
        f->PutDigit(d2);
        return kGoOn;
    }
    if (d2 == 10) {
        f->PutDigit(d1);
        f->fnc1Seen = true;
        f->pos += 7;
        return f->stopAtFnc1 ? kFnc1End : kGoOn;
    }
    f->PutDigit(d1);
    f->PutDigit(d2);
    f->pos += 7;
    return kGoOn;
}

// The values that alphanumeric and ISO/IEC 646 modes share: "000" back to numeric, then the
// 5-bit latch to the other mode, FNC1 and digits. kMore: a longer value of the mode's own.
Step SharedValues(Field *f, i32 otherMode) {
    if (f->Remaining() < 3) return kStop;
    if (f->Peek(3) == 0) return Latch(f, kCcNumeric, 3);
    if (f->Remaining() < 5) return kStop;
    const i32 v5 = static_cast<i32>(f->Peek(5));
    if (v5 == 4) return Latch(f, otherMode, 5);
    if (v5 == 15) return Latch(f, kCcNumeric, 5, kFnc1End);
    if (v5 >= 16) return kMore;
    f->PutDigit(v5 - 5);
    f->pos += 5;
    return kGoOn;
}

Step AlphanumericStep(Field *f) {
    if (f->Remaining() < 1) return kStop;
    if (f->Peek(1) == 0) return SharedValues(f, kCcIso646);
    if (f->Remaining() < 6) return kStop;
    const i32 w = static_cast<i32>(f->Peek(6));
    f->Put(w <= 57 ? static_cast<u8>('A' + w - 32) : w <= 62 ? kAlnumPunctuation[w - 58] : 0);
    f->pos += 6;
    return kGoOn;
}

Step Iso646Step(Field *f) {
    const Step shared = SharedValues(f, kCcAlphanumeric);
    if (shared != kMore) return shared;
    const i32 v5 = static_cast<i32>(f->Peek(5));
    if (v5 <= 28) {
        if (f->Remaining() < 7) return kStop;
        const i32 w = static_cast<i32>(f->Peek(7));
        f->Put(static_cast<u8>(w <= 89 ? w + 1 : w + 7));
        f->pos += 7;
        return kGoOn;
    }
    if (f->Remaining() < 8) return kStop;
    const i32 w = static_cast<i32>(f->Peek(8));
    if (w < 232 || w > 253) return kStop;
    f->Put(w == 253 ? 0 : kIso646Punctuation[w - 232]);
    f->pos += 8;
    return kGoOn;
}

Step UpperCaseStep(Field *f) {
    if (f->Remaining() < 5) return kStop;
    const i32 v5 = static_cast<i32>(f->Peek(5));
    if (v5 == 31) return Latch(f, kCcNumeric, 5, kFnc1End);
    if (v5 <= 25) {
        f->Put(static_cast<u8>('A' + v5));
        f->pos += 5;
        return kGoOn;
    }
    if (f->Remaining() < 6) return kStop;
    const i32 w = static_cast<i32>(f->Peek(6));
    if (w < 52 || w > 61) return kStop;
    f->PutDigit(w - 52);
    f->pos += 6;
    return kGoOn;
}

// The first field and, after each field that ended at an FNC1, the next one: the element
// strings that follow a variable-length one. The batch-number AI belongs to the first only.
i32 DecodeFields(const u32 *bits, i32 bitCount, PDF_TEXT *out, CC_CURSOR *cursor) {
    i32 n = CC_DecodeGeneralField(bits, bitCount, out, cursor);
    ccLotAiPending = 0;
    cursor->stopAtFnc1 = 0;
    while (cursor->endedAtFnc1 != 0 && (cursor->position < bitCount || cursor->carryDigit >= 0) &&
           out->overflow == 0) {
        n += CC_DecodeGeneralField(bits, bitCount, out, cursor);
    }
    return n;
}

// The NUL written after the text; it needs a byte of room.
void PutTerminator(PDF_TEXT *out) {
    if (out->length >= out->capacity) {
        out->overflow = 1;
        return;
    }
    if (out->data[out->length] != 0) out->data[out->length] = 0;
}

void PutNumber(PDF_TEXT *out, i32 value) {
    u8 digits[4];
    i32 n = 0;
    do {
        digits[n++] = static_cast<u8>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < 4);
    while (n > 0) PDF_PutByte(out, digits[--n]);
}

}  // namespace

void CC_SetEmitAiDigits(i32 on) { ccEmitAiDigits = on; }

void CC_PutBits(u32 *bits, i32 position, i32 n, u32 value) {
    for (i32 k = 0; k < n && k < 32; ++k) {
        const i32 p = position + k;
        if (p < 0 || p >= kCcBitCapacity) continue;
        const u32 bit = (value >> (n - 1 - k)) & 1u;
        const u32 mask = 1u << (15 - p % 16);
        bits[p / 16] = bit != 0 ? (bits[p / 16] | mask) : (bits[p / 16] & ~mask);
    }
}

u32 CC_GetBits(const u32 *bits, i32 position, i32 n) {
    u32 value = 0;
    for (i32 k = 0; k < n && k < 32; ++k) {
        const i32 p = position + k;
        const u32 bit = p >= 0 && p < kCcBitCapacity ? (bits[p / 16] >> (15 - p % 16)) & 1u : 0u;
        value = value << 1 | bit;
    }
    return value;
}

i32 CC_Base928ToBits(u32 *bits, const i32 *codewords, i32 count) {
    i32 position = 0;
    for (i32 g = 0; g < count; g += 7) {
        const i32 k = count - g < 7 ? count - g : 7;
        // Five 16-bit limbs, least significant first, hold 928^7.
        u32 limbs[5] = {0, 0, 0, 0, 0};
        for (i32 i = g; i < g + k; ++i) {
            u32 carry = static_cast<u32>(codewords[i]);
            for (u32 &limb : limbs) {
                const u32 v = limb * 928u + carry;
                limb = v & 0xFFFFu;
                carry = v >> 16;
            }
        }
        const i32 length = 10 * k - 1;
        for (i32 c = 0, left = length; left > 0; ++c) {
            const i32 n = left < 16 ? left : 16;
            const i32 start = position + left - n;
            if (start <= kCcBase928BitLimit) CC_PutBits(bits, start, n, limbs[c] & ((1u << n) - 1u));
            left -= n;
        }
        position += length;
    }
    return position;
}

i32 CC_CodewordsToBytes(const i32 *codewords, i32 count, u8 *bytes, i32 capacity) {
    PDF_TEXT out;
    PDF_BeginText(&out, bytes, capacity < kCcByteCapacity ? capacity : kCcByteCapacity);
    i32 i = count > 0 && codewords[0] == kCompositeLatch ? 1 : 0;
    while (i < count) {
        const i32 c = codewords[i];
        const bool latch = c == kPdfLatchText || c == kPdfLatchByte || c == kPdfLatchNumeric || c == kPdfLatchByte6;
        if (i + 1 < count) {
            const i32 next = codewords[i + 1];
            const bool bytePair = (c == kPdfLatchByte || c == kPdfLatchByte6) &&
                                  (next == kPdfLatchByte || next == kPdfLatchByte6);
            if (((c == kPdfLatchText || c == kPdfLatchNumeric) && next == c) || bytePair) {
                ++i;
                continue;
            }
        }
        if (latch && i == count - 1) break;
        if (c == kPdfLatchByte || PDF_IsDataCodeword(c)) {
            const i32 from = c == kPdfLatchByte ? i + 1 : i;
            i = PDF_DataRunEnd(codewords, from, count);
            PDF_DecodeByteRun(codewords, from, i, 0, &out);
        } else if (c == kPdfLatchByte6) {
            const i32 from = i + 1;
            i = PDF_DataRunEnd(codewords, from, count);
            if (PDF_DecodeByteRun(codewords, from, i, 1, &out) == 0) return -10;
        } else if (c == kPdfLatchNumeric) {
            const i32 from = i + 1;
            i = PDF_DataRunEnd(codewords, from, count);
            PDF_DecodeNumeric(codewords, from, i, &out);
        } else if (c == kPdfShiftByte) {
            const i32 from = i;
            i = PDF_TextRunEnd(codewords, from, count);
            PDF_DecodeText(codewords, from, i, &out, kPdfAlpha);
        } else {
            // Also a text latch inside the sequence: text compaction has no place in the bytes.
            return -10;
        }
        if (out.overflow != 0) return -10;
    }
    return out.length;
}

i32 CC_DecodeGeneralField(const u32 *bits, i32 bitCount, PDF_TEXT *out, CC_CURSOR *cursor) {
    Field f{bits,  bitCount < kCcBitCapacity ? bitCount : kCcBitCapacity,
            out,   cursor->position,
            cursor->mode,
            false, false,
            cursor->stopAtFnc1 != 0, -1};
    const i32 start = out->length;
    if (cursor->carryDigit >= 0) f.PutDigit(cursor->carryDigit);
    Step step = kGoOn;
    // Every step consumes at least three bits or stops.
    for (i32 guard = 0; step == kGoOn && guard <= kCcBitCapacity && out->overflow == 0; ++guard) {
        switch (f.mode) {
            case kCcNumeric: step = NumericStep(&f); break;
            case kCcAlphanumeric: step = AlphanumericStep(&f); break;
            case kCcIso646: step = Iso646Step(&f); break;
            default: step = UpperCaseStep(&f); break;
        }
    }
    cursor->position = f.pos;
    cursor->mode = f.mode;
    cursor->endedAtFnc1 = step == kFnc1End ? 1 : 0;
    cursor->carryDigit = f.carryDigit;
    return out->length - start;
}

i32 CC_DecodeMethod10(const u32 *bits, i32 bitCount, PDF_TEXT *out) {
    const i32 start = out->length;
    CC_CURSOR cursor{4, kCcNumeric, 0, 0, -1};
    if (CC_GetBits(bits, 2, 2) == 3) {
        // No date: the data begins with the batch number, whose AI is implied all the same.
        ccLotAiPending = 1;
    } else {
        if (bitCount < 19) return 0;
        if (ccEmitAiDigits != 0) {
            PDF_PutByte(out, '1');
            PDF_PutByte(out, CC_GetBits(bits, 18, 1) != 0 ? '7' : '1');
        }
        const i32 c = static_cast<i32>(CC_GetBits(bits, 2, 16));
        const i32 r = c % 384;
        const u8 date[6] = {static_cast<u8>('0' + c / 3840), static_cast<u8>('0' + c / 384 % 10),
                            static_cast<u8>('0' + ((r >> 5) + 1) / 10), static_cast<u8>('0' + ((r >> 5) + 1) % 10),
                            static_cast<u8>('0' + (r & 31) / 10), static_cast<u8>('0' + (r & 31) % 10)};
        PDF_PutBytes(out, date, 6);
        ccLotAiPending = 1;
        cursor.position = 19;
    }
    DecodeFields(bits, bitCount, out, &cursor);
    return out->length - start;
}

i32 CC_DecodeMethod11(const u32 *bits, i32 bitCount, PDF_TEXT *out) {
    const i32 start = out->length;
    if (ccEmitAiDigits != 0) {
        PDF_PutByte(out, '9');
        PDF_PutByte(out, '0');
    }
    // Header after "11": the mode of the AI 90 data, the AI after it, where the prefix starts.
    const u32 b2 = CC_GetBits(bits, 2, 1), b3 = CC_GetBits(bits, 3, 1), b4 = CC_GetBits(bits, 4, 1);
    i32 mode = kCcAlphanumeric, following = kNoAi, s = 5;
    if (b2 == 0) {
        if (b3 == 0) s = 4;
        else following = b4 != 0 ? kAi8004 : kAi21;
    } else {
        mode = b3 != 0 ? kCcUpperCase : kCcNumeric;
        if (b4 != 0) {
            following = CC_GetBits(bits, 5, 1) != 0 ? kAi8004 : kAi21;
            s = 6;
        }
    }
    const i32 v = static_cast<i32>(CC_GetBits(bits, s, 5));
    i32 fieldStart;
    if (v == 31) {
        if (bitCount < s + 15) return 0;
        const i32 n = static_cast<i32>(CC_GetBits(bits, s + 5, 10));
        if (n >= 1000) return 0;
        PutNumber(out, n);
        if (bitCount < s + 20) return 0;
        const i32 letter = static_cast<i32>(CC_GetBits(bits, s + 15, 5));
        if (letter > 25) return 0;
        PDF_PutByte(out, static_cast<u8>('A' + letter));
        fieldStart = s + 20;
    } else {
        // The number of the prefix (the digits in front of its letter).
        PutNumber(out, v);
        if (bitCount < s + 9) return 0;
        PDF_PutByte(out, kPrefixLetters[CC_GetBits(bits, s + 5, 4)]);
        fieldStart = s + 9;
    }
    CC_CURSOR cursor{fieldStart, mode, 0, 0, -1};
    if (following == kNoAi) {
        DecodeFields(bits, bitCount, out, &cursor);
        PutTerminator(out);
        return out->length - start;
    }
    // The next AI follows the AI 90 data at its first FNC1, in whatever mode it comes.
    cursor.stopAtFnc1 = 1;
    CC_DecodeGeneralField(bits, bitCount, out, &cursor);
    cursor.stopAtFnc1 = 0;
    if (ccEmitAiDigits != 0) {
        if (following == kAi21) PDF_PutBytes(out, kAi21Digits, 2);
        else PDF_PutBytes(out, kAi8004Digits, 4);
    }
    DecodeFields(bits, bitCount, out, &cursor);
    return out->length - start;
}

i32 CC_DecodeBitStream(const u32 *bits, i32 bitCount, PDF_TEXT *out) {
    ccLotAiPending = 0;
    if (bitCount > kCcBitCapacity) bitCount = kCcBitCapacity;
    if (CC_GetBits(bits, 0, 1) == 0) {
        const i32 start = out->length;
        CC_CURSOR cursor{1, kCcNumeric, 0, 0, -1};
        DecodeFields(bits, bitCount, out, &cursor);
        PutTerminator(out);
        return out->length - start;
    }
    return CC_GetBits(bits, 0, 2) == 2 ? CC_DecodeMethod10(bits, bitCount, out) : CC_DecodeMethod11(bits, bitCount, out);
}

i32 CC_DecodeData(const i32 *codewords, i32 count, u8 *text, i32 capacity) {
    if (codewords == nullptr || text == nullptr || capacity <= 0 || count <= 0 || count > kCcMaxCodewords) return 0;
    for (i32 k = 0; k < count; ++k) {
        if (codewords[k] < 0 || codewords[k] > kPdfMaxCodeword) return 0;
    }
    std::memset(g_ccBits, 0, sizeof g_ccBits);
    i32 bitCount;
    if (codewords[0] != kCompositeLatch) {
        bitCount = CC_Base928ToBits(g_ccBits, codewords, count);
    } else {
        // The bytes land in the text first, which then serves as scratch.
        const i32 n = CC_CodewordsToBytes(codewords, count, text, capacity);
        if (n < 0) return 0;
        for (i32 k = 0; k < n; ++k) {
            g_ccBits[k / 2] |= static_cast<u32>(text[k]) << (k % 2 == 0 ? 8 : 0);
            text[k] = 0;
        }
        bitCount = n * 8;
    }
    PDF_TEXT out;
    PDF_BeginText(&out, text, capacity);
    const i32 length = CC_DecodeBitStream(g_ccBits, bitCount, &out);
    return out.overflow != 0 ? 0 : length;
}

}  // namespace vexo
