// MaxiCode message codewords to text through the five code sets.
#include "aztec_maxicode/maxi_data.h"

namespace vexo {

MAXI_STATE g_maxiState = {.eciCount = 0, .appendPosition = 0, .appendCount = 0, .aimModifier = '0', .append = {}};

// ISO/IEC 16023, table of code set characters; -1 marks function values (ECI 27, NS 31,
// PAD, shifts, latches, locks).
const i16 kMaxiCodeSets[5][64] = {
    // A: CR, A-Z, ECI, FS GS RS, NS, space, PAD, punctuation, digits, ':', Shift B/C/D/E, Latch B
    {13,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,
     80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  -1,  28,  29,  30,  -1,
     32,  -1,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,
     48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  -1,  -1,  -1,  -1,  -1},
    // B: '`', a-z, ECI, FS GS RS, NS, '{' PAD '}' '~' DEL ';' '<' '=' '>' '?' '[' '\' ']' '^' '_'
    // space ',' '.' '/' ':' '@' '!' '|', PAD, 2 Shift A, 3 Shift A, PAD, Shift A/C/D/E, Latch A
    {96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111,
     112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, -1,  28,  29,  30,  -1,
     123, -1,  125, 126, 127, 59,  60,  61,  62,  63,  91,  92,  93,  94,  95,  32,
     44,  46,  47,  58,  64,  33,  124, -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1},
    // C: 0xC0-0xDA, ECI, FS GS RS, NS, 0xDB-0xDF, then Latin-1 signs, 0x80-0x89, Latch A,
    // space, Lock C, Shift D/E, Latch B
    {192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207,
     208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, -1,  28,  29,  30,  -1,
     219, 220, 221, 222, 223, 170, 172, 177, 178, 179, 181, 185, 186, 188, 189, 190,
     128, 129, 130, 131, 132, 133, 134, 135, 136, 137, -1,  32,  -1,  -1,  -1,  -1},
    // D: 0xE0-0xFA, ECI, FS GS RS, NS, 0xFB-0xFF, Latin-1 signs, 0x8A-0x94, Latch A, space,
    // Shift C, Lock D, Shift E, Latch B
    {224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239,
     240, 241, 242, 243, 244, 245, 246, 247, 248, 249, 250, -1,  28,  29,  30,  -1,
     251, 252, 253, 254, 255, 161, 168, 171, 175, 176, 180, 183, 184, 187, 191, 138,
     139, 140, 141, 142, 143, 144, 145, 146, 147, 148, -1,  32,  -1,  -1,  -1,  -1},
    // E: NUL-SUB, ECI, PAD, PAD, ESC, NS, FS GS RS US, Latin-1 signs, 0x95-0x9E, Latch A,
    // space, Shift C/D, Lock E, Latch B
    {0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,
     16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  -1,  -1,  -1,  27,  -1,
     28,  29,  30,  31,  159, 160, 162, 163, 164, 165, 166, 167, 169, 173, 174, 182,
     149, 150, 151, 152, 153, 154, 155, 156, 157, 158, -1,  32,  -1,  -1,  -1,  -1},
};

namespace {

constexpr u8 kEci = 27;
constexpr u8 kNumericShift = 31;
constexpr u8 kPad = 33;
constexpr u8 kShiftC = 60;
constexpr u8 kLatchB = 63;  // Latch A in set B
constexpr u8 kLatchA = 58;  // in sets C, D and E
constexpr u8 kShiftB = 59;  // Shift A in set B
constexpr u8 kTwoShiftA = 56;
constexpr u8 kThreeShiftA = 57;

i32 CharOf(i32 set, u8 value) { return kMaxiCodeSets[set][value & 63]; }

// 1 for a padding value of the set: it ends the message where a character of the set is due.
i32 IsPadding(i32 set, u8 value) {
    switch (set) {
        case kMaxiSetA: return value == kPad ? 1 : 0;
        case kMaxiSetB: return value == kPad || value == 55 || value == kLatchA ? 1 : 0;
        case kMaxiSetE: return value == 28 || value == 29 ? 1 : 0;
        default: return 0;
    }
}

// Takes up to `max` codewords after *position as characters of `set`. With padEnds a padding
// value of the set ends the message (position = n; the characters before it stay); any other
// function value fails (-1). Otherwise the number of bytes written.
i32 LiteralRun(const u8 *message, i32 *position, i32 n, i32 set, i32 max, i32 padEnds, u8 *out) {
    i32 written = 0;
    for (i32 k = 0; k < max && *position < n; ++k) {
        const u8 v = message[*position];
        const i32 ch = CharOf(set, v);
        if (ch < 0) {
            if (padEnds == 0 || IsPadding(set, v) == 0) return -1;
            *position = n;
            return written;
        }
        out[written++] = static_cast<u8>(ch);
        ++*position;
    }
    return written;
}

// ECI escape at *position (the 27): a backslash and six digits; advances past the designator.
i32 ReadEciEscape(const u8 *message, i32 *position, i32 n, u8 *out) {
    const i32 at = *position + 1;
    if (at >= n) return -1;
    const u8 d = message[at];
    const i32 len = d < 32 ? 1 : d < 48 ? 2 : d < 56 ? 3 : d < 60 ? 4 : -1;
    if (len < 0 || n - at < len) return -1;
    out[0] = '\\';
    if (Maxi_ReadEci(out + 1, message + at, len) == 0) return -1;
    g_maxiState.eciCount += 1;
    *position = at + len;
    return 7;
}

// What every set reads alike: a character of the set, ECI and numeric shift. -1 failed,
// else bytes written; *handled is 0 for any other value (nothing read then).
i32 ReadCommon(i32 set, const u8 *message, i32 *position, i32 n, u8 *out, i32 *handled) {
    const u8 v = message[*position];
    *handled = 1;
    const i32 ch = CharOf(set, v);
    if (ch >= 0) {
        out[0] = static_cast<u8>(ch);
        ++*position;
        return 1;
    }
    if (v == kEci) return ReadEciEscape(message, position, n, out);
    if (v == kNumericShift) {
        ++*position;
        return Maxi_ReadNumericShift(out, message, position, n);
    }
    *handled = 0;
    return 0;
}

// A latch at *position: `run` codewords after it as characters of `target` (its padding ends
// the message), then `target` is current.
i32 LatchRun(const u8 *message, i32 *position, i32 n, i32 target, i32 run, i32 *set, u8 *out) {
    ++*position;
    const i32 r = LiteralRun(message, position, n, target, run, 1, out);
    if (r >= 0) *set = target;
    return r;
}

// A Shift C/D/E at *position (value 60, 61 or 62) into `target`: one character, or with the
// value repeated a lock, a literal run of `lockRun` characters after which `target` is current.
// lockPadEnds: whether a padding value of the target ends the run of a lock.
i32 ShiftOrLock(const u8 *message, i32 *position, i32 n, i32 target, i32 lockRun, i32 lockPadEnds, i32 *set, u8 *out) {
    const u8 shift = message[*position];
    ++*position;
    if (*position >= n) return 0;
    if (message[*position] == shift) {
        ++*position;
        const i32 r = LiteralRun(message, position, n, target, lockRun, lockPadEnds, out);
        if (r >= 0) *set = target;
        return r;
    }
    return LiteralRun(message, position, n, target, 1, 1, out);
}

}  // namespace

i32 Maxi_ReadEci(u8 out[6], const u8 *designator, i32 codewords) {
    const i32 d = designator[0];
    i32 value;
    switch (codewords) {
        case 1: value = d; break;
        case 2: value = (d & 15) * 64 + designator[1]; break;
        case 3: value = (d & 7) * 4096 + designator[1] * 64 + designator[2]; break;
        case 4: value = (d & 3) * 262144 + designator[1] * 4096 + designator[2] * 64 + designator[3]; break;
        default: return 0;
    }
    if (value > 999999) return 0;
    Maxi_FormatDigits(reinterpret_cast<char *>(out), value, 6);
    return 1;
}

i32 Maxi_ReadNumericShift(u8 *out, const u8 *message, i32 *position, i32 n) {
    i64 value = 0;
    for (i32 k = 0; k < 5; ++k) {
        const i32 at = *position + k;
        value = (value << 6) | (at < n ? message[at] & 63 : 0);
    }
    if (value > 999999999) return -1;
    *position += 5;
    Maxi_FormatDigits(reinterpret_cast<char *>(out), static_cast<i32>(value), 9);
    return 9;
}

i32 Maxi_ReadAppendCodeword(u8 codeword, i32 *count) {
    *count = (codeword & 7) + 1;
    return ((codeword >> 3) & 7) + 1;
}

void Maxi_FormatDigits(char *out, i32 value, i32 width) {
    char digits[10];
    i32 n = 0;
    u32 v = value < 0 ? 0u : static_cast<u32>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 10);
    // digits holds the value least significant first.
    for (i32 i = 0; i < width; ++i) {
        const i32 fromLeft = n >= width ? i : i - (width - n);
        out[i] = fromLeft < 0 ? '0' : digits[n - 1 - fromLeft];
    }
}

i32 Maxi_DecodeSetA(const u8 *message, i32 *position, i32 n, i32 *set, u8 *out) {
    i32 written = 0;
    while (*position < n && *set == kMaxiSetA) {
        const u8 v = message[*position];
        i32 handled = 0;
        i32 r = ReadCommon(kMaxiSetA, message, position, n, out + written, &handled);
        if (handled == 0) {
            if (v == kPad) {
                ++*position;
                if (*position < n && message[*position] == kPad) {
                    *position = n;
                    return written;
                }
                // A PAD as the last codeword reads the indicator 0.
                const u8 indicator = *position < n ? message[*position] : 0;
                i32 count = 0;
                const i32 pos = Maxi_ReadAppendCodeword(indicator, &count);
                if (pos > 7 || count > 7) return -1;
                g_maxiState.appendPosition = pos;
                g_maxiState.appendCount = count;
                ++*position;
                r = 0;
            } else if (v == kShiftB) {
                ++*position;
                r = LiteralRun(message, position, n, kMaxiSetB, 1, 1, out + written);
            } else if (v == kLatchB) {
                r = LatchRun(message, position, n, kMaxiSetB, 2, set, out + written);
            } else {
                // Shift C, D or E; no padding value ends a lock's run from set A.
                r = ShiftOrLock(message, position, n, kMaxiSetC + (v - kShiftC), 4, 0, set, out + written);
            }
        }
        if (r < 0) return -1;
        written += r;
    }
    return written;
}

i32 Maxi_DecodeSetB(const u8 *message, i32 *position, i32 n, i32 *set, u8 *out) {
    i32 written = 0;
    while (*position < n && *set == kMaxiSetB) {
        const u8 v = message[*position];
        i32 handled = 0;
        i32 r = ReadCommon(kMaxiSetB, message, position, n, out + written, &handled);
        if (handled == 0) {
            if (IsPadding(kMaxiSetB, v) != 0) {
                *position = n;
                return written;
            } else if (v == kTwoShiftA || v == kThreeShiftA || v == kShiftB) {
                ++*position;
                const i32 run = v == kTwoShiftA ? 2 : v == kThreeShiftA ? 3 : 1;
                r = LiteralRun(message, position, n, kMaxiSetA, run, 1, out + written);
            } else if (v == kLatchB) {
                r = LatchRun(message, position, n, kMaxiSetA, 4, set, out + written);
            } else {
                // Shift C, D or E; E's padding ends the message, as in the other sets.
                r = ShiftOrLock(message, position, n, kMaxiSetC + (v - kShiftC), 4, 1, set, out + written);
            }
        }
        if (r < 0) return -1;
        written += r;
    }
    return written;
}

i32 Maxi_DecodeSetCDE(const u8 *message, i32 set, i32 *position, i32 n, i32 *nextSet, u8 *out) {
    if (set < kMaxiSetC || set > kMaxiSetE) return -1;
    i32 written = 0;
    while (*position < n && *nextSet == set) {
        const u8 v = message[*position];
        i32 handled = 0;
        i32 r = ReadCommon(set, message, position, n, out + written, &handled);
        if (handled == 0) {
            if (IsPadding(set, v) != 0) {
                *position = n;
                return written;
            } else if (v == kLatchA || v == kLatchB) {
                r = LatchRun(message, position, n, v == kLatchA ? kMaxiSetA : kMaxiSetB, 1, nextSet, out + written);
            } else {
                r = ShiftOrLock(message, position, n, kMaxiSetC + (v - kShiftC), 2, 1, nextSet, out + written);
            }
        }
        if (r < 0) return -1;
        written += r;
    }
    return written;
}

i32 Maxi_DecodeCodeSets(const u8 *message, i32 n, u8 *text, i32 *length) {
    i32 set = kMaxiSetA, position = 0, written = 0;
    // Every decoder call moves the position or changes the set; a set change without a move
    // cannot repeat, so 2 n + 2 calls always suffice.
    for (i32 step = 0; position < n && step < 2 * n + 2; ++step) {
        i32 r;
        if (set == kMaxiSetA) {
            r = Maxi_DecodeSetA(message, &position, n, &set, text + written);
        } else if (set == kMaxiSetB) {
            r = Maxi_DecodeSetB(message, &position, n, &set, text + written);
        } else {
            i32 next = set;
            r = Maxi_DecodeSetCDE(message, set, &position, n, &next, text + written);
            set = next;
        }
        if (r < 0) return 0;
        written += r;
    }
    if (position < n) return 0;
    *length = written;
    return 1;
}

u8 Maxi_AimModifier(i32 mode, i32 eciCount) {
    if (mode == 2 || mode == 3) return eciCount > 0 ? '3' : '1';
    if (mode == 4 || mode == 5) return eciCount > 0 ? '2' : '0';
    return 0;
}

}  // namespace vexo
