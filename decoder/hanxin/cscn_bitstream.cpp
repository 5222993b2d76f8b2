// Han Xin bit stream to text: the segment loop and one decoder per data mode. Bits are one
// per byte; reads past the stream's end give 0 by a bound check, never by reading beyond it.
#include "hanxin/cscn_data.h"
#include "hanxin/cscn_state.h"

namespace vexo {
namespace {

constexpr char kMakerPrefix[] = "Brevik:";
constexpr i32 kMakerPrefixLength = 7;
static_assert(sizeof(kMakerPrefix) == kMakerPrefixLength + 1);

// Alphabet 2 of the text mode, values 28..61 (ISO/IEC 20830, text mode table).
constexpr char kTextPunctuation[] = " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\x7f";
static_assert(sizeof(kTextPunctuation) == 34 + 1);

constexpr i32 kEciMaxValue = 999999;

u32 Remaining(u32 position, u32 bitCount) { return position < bitCount ? bitCount - position : 0; }

// n bits (n <= 24) from position; bits at or past bitCount count as 0.
i32 ReadBits(const u8 *bits, u32 position, u32 bitCount, i32 n) {
    i32 v = 0;
    for (i32 i = 0; i < n; ++i) {
        const u32 p = position + static_cast<u32>(i);
        v = 2 * v + (p < bitCount && p >= position ? (bits[p] & 1) : 0);
    }
    return v;
}

void Put(char *text, i32 *textLength, i32 byte) {
    text[*textLength] = static_cast<char>(static_cast<u8>(byte));
    ++*textLength;
}

char TextCharacter(i32 alphabet, i32 v) {
    if (alphabet == 1) {
        if (v < 10) return static_cast<char>('0' + v);
        if (v < 36) return static_cast<char>('A' + v - 10);
        return static_cast<char>('a' + v - 36);
    }
    if (v < 28) return static_cast<char>(v);
    return kTextPunctuation[v - 28];
}

// Two GB 2312 bytes of a character value in the region; 0 when the value has none.
i32 Gb2312Bytes(i32 region, i32 v, i32 *first, i32 *second) {
    if (region == 1) {
        if (v <= 3759) {
            *first = 0xB0 + v / 94;
            *second = 0xA1 + v % 94;
        } else if (v <= 4041) {
            *first = 0xA1 + (v - 3760) / 94;
            *second = 0xA1 + (v - 3760) % 94;
        } else if (v <= 4073) {
            *first = 0xA8;
            *second = 0xA1 + (v - 4042);
        } else {
            return 0;
        }
        return 1;
    }
    if (v > 3007) return 0;
    *first = 0xD8 + v / 94;
    *second = 0xA1 + v % 94;
    return 1;
}

}  // namespace

CSCN_SA_RECORD g_saRecord{};
i32 g_eciSeen = 0;

CSCN_SA_RECORD *CSCN_ResetSaRecord() {
    g_saRecord = CSCN_SA_RECORD{};
    return &g_saRecord;
}

const CSCN_SA_RECORD *CSCN_SaRecord() { return &g_saRecord; }

i32 CSCN_FormatDigits(i32 value, char *out, i32 count) {
    if (out == nullptr) return 0;
    const char hundreds = static_cast<char>('0' + value / 100);
    const char tens = static_cast<char>('0' + (value / 10) % 10);
    const char units = static_cast<char>('0' + value % 10);
    if (count == 1) {
        out[0] = units;
        return 1;
    }
    if (count == 2) {
        out[0] = tens;
        out[1] = units;
        return 2;
    }
    out[0] = hundreds;
    out[1] = tens;
    out[2] = units;
    return 3;
}

i32 CSCN_DecodeNumeric(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    u32 pos = *position;
    if (Remaining(pos, bitCount) < 10) return 0;
    const i32 first = ReadBits(bits, pos, bitCount, 10);
    if (first >= 1021) {
        *position = pos + 10;
        return 1;
    }
    i32 previous = 0;
    // Each round consumes 10 bits of a bounded stream.
    while (Remaining(pos, bitCount) >= 10) {
        const i32 v = ReadBits(bits, pos, bitCount, 10);
        pos += 10;
        *position = pos;
        if (v == 1023) return 1;
        if (v == 1021 || v == 1022) {
            *textLength -= 3;
            *textLength += CSCN_FormatDigits(previous, text + *textLength, v - 1020);
            return 1;
        }
        *textLength += CSCN_FormatDigits(v, text + *textLength, 3);
        previous = v;
        if (Remaining(pos, bitCount) < 10) return 0;
    }
    return 0;
}

i32 CSCN_DecodeText(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    u32 pos = *position;
    if (Remaining(pos, bitCount) < 6) return 0;
    i32 alphabet = 1;
    i32 escaped = 0;  // a backslash was dropped: the next alphabet-2 character is literal
    while (Remaining(pos, bitCount) >= 6) {
        const i32 v = ReadBits(bits, pos, bitCount, 6);
        pos += 6;
        *position = pos;
        if (v == 63) return 1;
        if (v == 62) {
            alphabet = 3 - alphabet;
            continue;
        }
        if (alphabet == 2 && g_eciSeen != 0) {
            if (escaped == 0 && v == 52) {
                escaped = 1;
                continue;
            }
            escaped = 0;
        }
        Put(text, textLength, static_cast<u8>(TextCharacter(alphabet, v)));
    }
    return 0;
}

i32 CSCN_DecodeBytes(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    u32 pos = *position;
    if (Remaining(pos, bitCount) < 13) return 0;
    const i32 count = ReadBits(bits, pos, bitCount, 13);
    pos += 13;
    if (Remaining(pos, bitCount) < 8u * static_cast<u32>(count)) {
        *position = pos;
        return 0;
    }
    for (i32 i = 0; i < count; ++i) {
        Put(text, textLength, ReadBits(bits, pos, bitCount, 8));
        pos += 8;
    }
    *position = pos;
    return 1;
}

i32 CSCN_DecodeGb2312(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength, i32 region) {
    u32 pos = *position;
    if (Remaining(pos, bitCount) < 12) return 0;
    i32 switches = 0;
    while (Remaining(pos, bitCount) >= 12) {
        const i32 v = ReadBits(bits, pos, bitCount, 12);
        pos += 12;
        *position = pos;
        if (v == 4095) return 1;
        if (v == 4094) {
            ++switches;
            continue;
        }
        if ((switches & 1) != 0) region = 3 - region;
        switches = 0;
        i32 first = 0;
        i32 second = 0;
        if (Gb2312Bytes(region, v, &first, &second) == 0) return 0;
        Put(text, textLength, first);
        Put(text, textLength, second);
    }
    return 0;
}

i32 CSCN_DecodeGb18030Double(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    u32 pos = *position;
    if (Remaining(pos, bitCount) < 15) return 0;
    while (Remaining(pos, bitCount) >= 15) {
        const i32 v = ReadBits(bits, pos, bitCount, 15);
        pos += 15;
        *position = pos;
        if (v == 32767) return 1;
        const i32 r = v % 190;
        Put(text, textLength, (0x81 + v / 190) & 0xFF);
        Put(text, textLength, r <= 62 ? 0x40 + r : 0x41 + r);
    }
    return 0;
}

i32 CSCN_DecodeGb18030Quad(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    u32 pos = *position;
    while (pos < bitCount && ReadBits(bits, pos, bitCount, 4) == 7) {
        // A character cut by the end of the stream is no character.
        if (Remaining(pos, bitCount) < 25) {
            *position = pos;
            return 0;
        }
        const i32 v = ReadBits(bits, pos + 4, bitCount, 21);
        Put(text, textLength, (0x81 + v / 12600) & 0xFF);
        Put(text, textLength, 0x30 + (v % 12600) / 1260);
        Put(text, textLength, 0x81 + (v % 1260) / 10);
        Put(text, textLength, 0x30 + v % 10);
        pos += 25;
    }
    *position = pos;
    return 1;
}

i32 CSCN_DecodeEci(const u8 *bits, u32 *position, u32 bitCount, char *text, i32 *textLength) {
    const u32 pos = *position;
    i32 length = 0;
    i32 value = 0;
    if (ReadBits(bits, pos, bitCount, 1) == 0) {
        length = 8;
        value = ReadBits(bits, pos, bitCount, 8);
    } else if (ReadBits(bits, pos, bitCount, 2) == 2) {
        length = 16;
        value = ReadBits(bits, pos, bitCount, 16) & 0x3FFF;
    } else if (ReadBits(bits, pos, bitCount, 3) == 6) {
        length = 24;
        value = ReadBits(bits, pos, bitCount, 24) & 0x1FFFFF;
    } else {
        return 0;
    }
    if (Remaining(pos, bitCount) < static_cast<u32>(length) || value > kEciMaxValue) return 0;
    char digits[6];
    for (i32 i = 5, v = value; i >= 0; --i, v /= 10) digits[i] = static_cast<char>('0' + v % 10);
    for (char d : digits) Put(text, textLength, static_cast<u8>(d));
    *position = pos + static_cast<u32>(length);
    g_eciSeen = 1;
    return 1;
}

void CSCN_CheckMakerHeader(const u8 *bits, u32 bitCount, u32 *position, char *text, i32 *textLength) {
    if (ReadBits(bits, 0, bitCount, 8) != 0xFF || ReadBits(bits, 8, bitCount, 8) != 0xE9) return;
    for (i32 i = 0; i < kMakerPrefixLength; ++i) text[i] = kMakerPrefix[i];
    *textLength = kMakerPrefixLength;
    *position = 16;
}

namespace {

// One segment after its indicator; answers 1, 0 (failed) or 2 (a structured-append header,
// which is no data segment).
i32 DecodeSegment(i32 indicator, const u8 *bits, u32 *pos, u32 bitCount, char *text, i32 *textLength) {
    switch (indicator) {
    case 1: return CSCN_DecodeNumeric(bits, pos, bitCount, text, textLength);
    case 2: return CSCN_DecodeText(bits, pos, bitCount, text, textLength);
    case 3: return CSCN_DecodeBytes(bits, pos, bitCount, text, textLength);
    case 4: return CSCN_DecodeGb2312(bits, pos, bitCount, text, textLength, 1);
    case 5: return CSCN_DecodeGb2312(bits, pos, bitCount, text, textLength, 2);
    case 6: return CSCN_DecodeGb18030Double(bits, pos, bitCount, text, textLength);
    case 7: *pos -= 4; return CSCN_DecodeGb18030Quad(bits, pos, bitCount, text, textLength);
    case 8: Put(text, textLength, '\\'); return CSCN_DecodeEci(bits, pos, bitCount, text, textLength);
    case 11:
        if (Remaining(*pos, bitCount) < 16) return 0;
        g_saRecord.sequence = ReadBits(bits, *pos, bitCount, 4) + 1;
        g_saRecord.total = ReadBits(bits, *pos + 4, bitCount, 4) + 1;
        g_saRecord.parity = ReadBits(bits, *pos + 8, bitCount, 8);
        *pos += 16;
        return 2;
    default: return 0;
    }
}

}  // namespace

i32 CSCN_DecodeBitStream(const u8 *bits, u32 bitCount, char *text, i32 *textLength) {
    if (bits == nullptr || text == nullptr || textLength == nullptr) return 0;
    if (bitCount > static_cast<u32>(kCscnMaxStreamBits)) return 0;
    // The text starts empty: its capacity covers what one stream can write.
    if (*textLength != 0) return 0;
    u32 pos = 0;
    CSCN_CheckMakerHeader(bits, bitCount, &pos, text, textLength);
    g_eciSeen = 0;
    if (pos + 3 >= bitCount) return 0;
    i32 lastData = 0;  // 1: the last data segment succeeded
    // Every round consumes at least 4 bits of a bounded stream.
    while (pos + 4 < bitCount) {
        const i32 indicator = ReadBits(bits, pos, bitCount, 4);
        pos += 4;
        if (indicator == 0) {
            for (; pos + 4 < bitCount; pos += 4)
                if (ReadBits(bits, pos, bitCount, 4) != 0) return 0;
            return lastData;
        }
        const i32 r = DecodeSegment(indicator, bits, &pos, bitCount, text, textLength);
        if (r == 0) return 0;
        if (r == 1) lastData = 1;
    }
    return lastData;
}

}  // namespace vexo
