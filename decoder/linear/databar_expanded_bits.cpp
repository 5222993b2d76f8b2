// GS1 DataBar Expanded bit stream: the encodation methods with their compressed element
// strings and the general-purpose numeric, alphanumeric and ISO/IEC 646 modes.
#include "linear/databar.h"
#include "linear/line_toolkit.h"

namespace vexo {

namespace {

constexpr u8 kFnc1 = 0x1D;

// The standard's 8-bit ISO/IEC 646 punctuation, codes 232 to 252.
constexpr char kIso646Punctuation[] = "!\"%&'()*+,-./:;<=>?_ ";
static_assert(sizeof kIso646Punctuation - 1 == 21);
// The 6-bit alphanumeric punctuation, codes 58 to 62.
constexpr char kAlnumPunctuation[] = "*,-./";
static_assert(sizeof kAlnumPunctuation - 1 == 5);

struct BitReader {
    const u8 *bits;
    int count;
    int pos;
    int Left() const { return count - pos; }
    u32 Peek(int n) const {
        u32 v = 0;
        for (int k = 0; k < n; ++k) v = v << 1 | (pos + k < count ? bits[pos + k] : 0u);
        return v;
    }
    u32 Take(int n) {
        const u32 v = Peek(n);
        pos += n;
        return v;
    }
};

struct Out {
    u8 *data;
    u16 capacity;
    u16 length;
    bool overflow;
    void Put(u8 c) {
        if (length < capacity)
            data[length++] = c;
        else
            overflow = true;
    }
    void Text(const char *s) {
        while (*s != 0) Put(static_cast<u8>(*s++));
    }
    void Number(u32 v, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            u32 p = 1;
            for (int j = 0; j < k; ++j) p *= 10;
            Put(static_cast<u8>('0' + v / p % 10));
        }
    }
};

// The 12 digits of four 10-bit groups after the indicator digit, with the GS1 check digit.
bool Gtin(BitReader &in, u8 indicator, Out &out) {
    u8 d[13];
    d[0] = indicator;
    for (int g = 0; g < 4; ++g) {
        const u32 v = in.Take(10);
        if (v >= 1000) return false;
        d[1 + 3 * g] = static_cast<u8>(v / 100);
        d[2 + 3 * g] = static_cast<u8>(v / 10 % 10);
        d[3 + 3 * g] = static_cast<u8>(v % 10);
    }
    out.Text("01");
    for (u8 x : d) out.Put(static_cast<u8>('0' + x));
    out.Put(static_cast<u8>('0' + Line_Gs1CheckDigit(d, 13)));
    return true;
}

// The length field: first bit set exactly for an odd character count, second for more than 14.
bool LengthField(u32 field, int characters) {
    return ((field >> 1 & 1) == static_cast<u32>(characters % 2)) && ((field & 1) == (characters > 14 ? 1u : 0u));
}

enum Mode { kNumeric, kAlnum, kIso646 };

// General-purpose data to the end of the stream; false for an unknown code.
bool GeneralPurpose(BitReader &in, Out &out) {
    Mode mode = kNumeric;
    for (int guard = 0; guard < 512; ++guard) {
        if (mode == kNumeric) {
            if (in.Left() >= 7) {
                if (in.Peek(4) == 0) {
                    in.Take(4);
                    mode = kAlnum;
                    continue;
                }
                const u32 v = in.Take(7) - 8;
                const u32 d1 = v / 11, d2 = v % 11;
                out.Put(d1 == 10 ? kFnc1 : static_cast<u8>('0' + d1));
                out.Put(d2 == 10 ? kFnc1 : static_cast<u8>('0' + d2));
                continue;
            }
            if (in.Left() >= 4) {
                const u32 v = in.Take(4);
                if (v >= 1 && v <= 10) out.Put(static_cast<u8>('0' + v - 1));
            }
            return true;
        }
        if (in.Left() < 5) return true;
        if (in.Peek(3) == 0) {
            in.Take(3);
            mode = kNumeric;
            continue;
        }
        const u32 v5 = in.Peek(5);
        if (v5 == 4) {
            in.Take(5);
            mode = mode == kAlnum ? kIso646 : kAlnum;
            continue;
        }
        if (v5 == 15) {
            in.Take(5);
            out.Put(kFnc1);
            mode = kNumeric;
            continue;
        }
        if (v5 >= 5 && v5 <= 14) {
            in.Take(5);
            out.Put(static_cast<u8>('0' + v5 - 5));
            continue;
        }
        if (mode == kAlnum) {
            if (in.Left() < 6) return true;
            const u32 v6 = in.Take(6);
            if (v6 >= 32 && v6 <= 57)
                out.Put(static_cast<u8>('A' + v6 - 32));
            else if (v6 >= 58 && v6 <= 62)
                out.Put(static_cast<u8>(kAlnumPunctuation[v6 - 58]));
            else
                return false;
            continue;
        }
        if (in.Left() >= 7 && in.Peek(7) >= 64 && in.Peek(7) <= 115) {
            const u32 v7 = in.Take(7);
            out.Put(static_cast<u8>(v7 < 90 ? 'A' + v7 - 64 : 'a' + v7 - 90));
            continue;
        }
        if (in.Left() < 8) return in.Left() < 7;
        const u32 v8 = in.Take(8);
        if (v8 < 232 || v8 > 252) return false;
        out.Put(static_cast<u8>(kIso646Punctuation[v8 - 232]));
    }
    return true;
}

}  // namespace

u16 DataBar_DecodeExpandedBits(const u8 *bits, int bitCount, int characters, u8 *data, u16 capacity) {
    if (bits == nullptr || data == nullptr || bitCount < 2) return 0;
    BitReader in{bits, bitCount, 1};
    Out out{data, capacity, 0, false};
    if (in.Peek(1) == 1) {
        in.Take(1);
        if (bitCount - 4 <= 43) return 0;
        if (!LengthField(in.Take(2), characters)) return 0;
        const u32 indicator = in.Take(4);
        if (indicator > 9 || !Gtin(in, static_cast<u8>(indicator), out) || !GeneralPurpose(in, out)) return 0;
    } else if (in.Peek(2) == 0) {
        in.Take(2);
        if (!LengthField(in.Take(2), characters) || !GeneralPurpose(in, out)) return 0;
    } else if (in.Peek(4) == 4 || in.Peek(4) == 5) {
        const u32 method = in.Take(4);
        if (bitCount - in.pos != 55 || !Gtin(in, 9, out)) return 0;
        const u32 weight = in.Take(15);
        if (method == 4) {
            out.Text("3103");
            out.Number(weight, 6);
        } else if (weight < 10000) {
            out.Text("3202");
            out.Number(weight, 6);
        } else {
            if (weight > 109999) return 0;
            out.Text("3203");
            out.Number(weight - 10000, 6);
        }
    } else if (in.Peek(5) == 12 || in.Peek(5) == 13) {
        const u32 method = in.Take(5);
        if (!LengthField(in.Take(2), characters) || !Gtin(in, 9, out)) return 0;
        const u32 point = in.Take(2);
        out.Text(method == 12 ? "392" : "393");
        out.Put(static_cast<u8>('0' + point));
        if (method == 13) {
            const u32 currency = in.Take(10);
            if (currency >= 1000) return 0;
            out.Number(currency, 3);
        }
        if (in.Left() < 0 || !GeneralPurpose(in, out)) return 0;
    } else if (in.Peek(4) >= 7) {
        // 0111xyz.
        const u32 method = in.Take(7);
        if (bitCount - in.pos != 76 || !Gtin(in, 9, out)) return 0;
        const u32 weight = in.Take(20);
        const u32 date = in.Take(16);
        if (weight > 999999 || date > 38400) return 0;
        out.Text((method & 1) == 0 ? "310" : "320");
        out.Put(static_cast<u8>('0' + weight / 100000));
        out.Put('0');
        out.Number(weight % 100000, 5);
        if (date != 38400) {
            static constexpr const char *kDateAis[4] = {"11", "13", "15", "17"};
            out.Text(kDateAis[method >> 1 & 3]);
            out.Number(date / 384, 2);
            out.Number(date % 384 / 32 + 1, 2);
            out.Number(date % 32, 2);
        }
    } else {
        return 0;
    }
    if (out.overflow) return 0;
    if (out.length > 0 && out.data[out.length - 1] == kFnc1) --out.length;
    return out.length;
}

}  // namespace vexo
