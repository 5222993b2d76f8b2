// ECC 200 encodation schemes (ISO/IEC 16022, 5.2): codewords to text.
#include "datamatrix/dm_encodation.h"

#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_types.h"

namespace vexo {

namespace {

// ASCII-mode codewords (ISO/IEC 16022, Table 2).
constexpr i32 kCwPad = 129;
constexpr i32 kCwDigitsFirst = 130;
constexpr i32 kCwDigitsLast = 229;
constexpr i32 kCwLatchC40 = 230;
constexpr i32 kCwLatchBase256 = 231;
constexpr i32 kCwFnc1 = 232;
constexpr i32 kCwStructuredAppend = 233;
constexpr i32 kCwReaderProgramming = 234;
constexpr i32 kCwUpperShift = 235;
constexpr i32 kCwMacro05 = 236;
constexpr i32 kCwMacro06 = 237;
constexpr i32 kCwLatchX12 = 238;
constexpr i32 kCwLatchText = 239;
constexpr i32 kCwLatchEdifact = 240;
constexpr i32 kCwEci = 241;
constexpr i32 kCwUnlatch = 254;

constexpr i32 kC40ShiftTwo = 1;
constexpr i32 kC40UpperShift = 30;
constexpr i32 kEdifactUnlatch = 31;
constexpr i32 kUpperShiftAdd = 128;
constexpr i32 kMaxEci = 999999;
constexpr i32 kDumpMaxDataCount = 499;
constexpr i32 kDumpStopLength = 3095;

constexpr u8 kGs = 0x1D;
constexpr u8 kMacroHeader[7] = {0x5B, 0x29, 0x3E, 0x1E, 0x30, 0x35, 0x1D};  // "[)>" RS "05" GS
constexpr u8 kMacroTrailer[2] = {0x1E, 0x04};                               // RS EOT

// Set by a macro in the first position: the message ends with the trailer.
bool g_macroTrailer;

i32 &Cursor() { return g_dmData.cursor; }

// Codeword i; positions beyond the array and values outside a codeword's range read 0.
i32 Cw(i32 i) {
    if (g_dmData.codewords == nullptr || i < 0 || i >= kDmCodewordCapacity) return 0;
    const i32 v = g_dmData.codewords[i];
    return v >= 0 && v <= 255 ? v : 0;
}

bool IsAsciiCodeword(i32 c) {
    return (c >= 1 && c <= 128) || (c >= kCwDigitsFirst && c <= kCwDigitsLast) || c == kCwUnlatch;
}

// Appends n bytes when they fit the text's limit (nothing otherwise).
bool Put(const u8 *bytes, i32 n) {
    i32 &length = g_dmResult.length;
    if (length < 0 || n < 0 || n > kDmTextLimit - length) return false;
    for (i32 i = 0; i < n; ++i) g_dmResult.text[length + i] = bytes[i];
    length += n;
    return true;
}

bool Put(u8 b) { return Put(&b, 1); }

// The three values of a C40, Text or X12 pair.
void SplitPair(i32 c1, i32 c2, i32 out[3]) {
    const i32 v = 256 * c1 + c2 - 1;
    out[0] = v / 1600;
    out[1] = (v % 1600) / 40;
    out[2] = v % 40;
}

bool PairFollows() { return Cursor() + 1 < g_dmData.dataCount && Cw(Cursor()) != kCwUnlatch; }

// Decimal digits of value (0..999,999, or -99,999..-1 with its sign) padded with zeros to
// width; the count written.
i32 FormatDecimal(i32 value, i32 width, u8 *out) {
    u8 digits[12];
    i32 n = 0;
    const bool negative = value < 0;
    u32 v = negative ? static_cast<u32>(-static_cast<i64>(value)) : static_cast<u32>(value);
    do {
        digits[n++] = static_cast<u8>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 10);
    i32 k = 0;
    if (negative) out[k++] = '-';
    for (i32 pad = width - n - k; pad > 0; --pad) out[k++] = '0';
    while (n > 0) out[k++] = digits[--n];
    return k;
}

i32 DecodeMacro(i32 codeword, u8 digit) {
    if (Cw(Cursor()) != codeword || Cursor() != 0) return kDmStatusNoSize;
    u8 header[sizeof kMacroHeader];
    for (size_t i = 0; i < sizeof header; ++i) header[i] = kMacroHeader[i];
    header[5] = digit;
    if (!Put(header, sizeof header)) return kDmStatusTextError;
    ++Cursor();
    g_macroTrailer = true;
    return 0;
}

// The functions that may stand first (after a leading pad).
i32 DecodeFirstPosition() {
    switch (Cw(Cursor())) {
        case kCwMacro05: return DM_DecodeMacro05();
        case kCwMacro06: return DM_DecodeMacro06();
        case kCwReaderProgramming: return DM_DecodeReaderProgramming();
        case kCwStructuredAppend: return DM_DecodeStructuredAppend();
        default: return 0;
    }
}

// One dispatch of the message loop; 1 at a pad (the message ends there).
i32 DecodeNext(bool *atPad) {
    const i32 c = Cw(Cursor());
    if (IsAsciiCodeword(c)) return DM_DecodeAscii();
    switch (c) {
        case kCwPad: *atPad = true; return 0;
        case kCwLatchC40: return DM_DecodeC40();
        case kCwLatchBase256: return DM_DecodeBase256();
        case kCwLatchX12: return DM_DecodeX12();
        case kCwLatchText: return DM_DecodeText();
        case kCwLatchEdifact: return DM_DecodeEdifact();
        case kCwEci: return DM_DecodeEci();
        case kCwUpperShift: return DM_DecodeUpperShift();
        case kCwFnc1: {
            const i32 s = DM_DecodeFnc1();
            // A structured-append header behind the FNC1 carries nothing more.
            if (s == 0 && Cw(Cursor()) == kCwStructuredAppend) ++Cursor();
            return s;
        }
        default: return kDmStatusTextError;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Message

i32 DM_DecodeCodewords() {
    if (DM_BindWorkAreas() == 0 || g_dmData.dataCount < 0 || g_dmData.dataCount > kDmCodewordCapacity) {
        return kDmStatusNoSize;
    }
    g_dmResult.length = 0;
    Cursor() = 0;
    g_macroTrailer = false;
    if (Cw(0) == kCwPad) {
        if (g_dmOptions.acceptLeadingPad == 0) return kDmStatusTextError;
        Cursor() = 1;
    }
    i32 s = DecodeFirstPosition();
    if (s != 0) return s;
    bool atPad = false;
    while (!atPad && Cursor() < g_dmData.dataCount) {
        s = DecodeNext(&atPad);
        if (s != 0) return s;
    }
    if (g_macroTrailer && !Put(kMacroTrailer, sizeof kMacroTrailer)) return kDmStatusTextError;
    if (Cw(Cursor()) == kCwPad) {
        s = DM_AppendCodewordDump();
        if (s != 0) return s;
    }
    DM_SetAimModifier();
    return 0;
}

// ---------------------------------------------------------------------------------------
// ASCII and upper shift

i32 DM_DecodeAscii() {
    if (!IsAsciiCodeword(Cw(Cursor())) && Cw(Cursor()) != kCwUpperShift) return kDmStatusTextError;
    if (Cw(Cursor()) == kCwUnlatch) ++Cursor();
    while (Cursor() < g_dmData.dataCount) {
        const i32 c = Cw(Cursor());
        if (c >= 1 && c <= 128) {
            if (!Put(static_cast<u8>(c - 1))) return kDmStatusTextError;
            ++Cursor();
        } else if (c >= kCwDigitsFirst && c <= kCwDigitsLast) {
            const u8 pair[2] = {static_cast<u8>('0' + (c - kCwDigitsFirst) / 10),
                                static_cast<u8>('0' + (c - kCwDigitsFirst) % 10)};
            if (!Put(pair, 2)) return kDmStatusTextError;
            ++Cursor();
        } else if (c == kCwUpperShift) {
            const i32 s = DM_DecodeUpperShift();
            if (s != 0) return s;
        } else {
            break;
        }
    }
    return 0;
}

i32 DM_DecodeUpperShift() {
    if (Cw(Cursor()) != kCwUpperShift) return kDmStatusTextError;
    const i32 c = Cw(Cursor() + 1);
    if (!Put(static_cast<u8>((c + 127) % 256))) return kDmStatusTextError;
    Cursor() += 2;
    return 0;
}

// ---------------------------------------------------------------------------------------
// C40, Text and X12

u8 DM_C40Char(i32 value, i32 set) {
    switch (set) {
        case 0:
            if (value == 3) return ' ';
            if (value >= 4 && value <= 13) return static_cast<u8>('0' + value - 4);
            if (value >= 14 && value <= 39) return static_cast<u8>('A' + value - 14);
            return 255;
        case 1: return value >= 0 && value <= 31 ? static_cast<u8>(value) : 255;
        case 2:
            if (value >= 0 && value <= 14) return static_cast<u8>(33 + value);
            if (value >= 15 && value <= 21) return static_cast<u8>(58 + value - 15);
            if (value >= 22 && value <= 26) return static_cast<u8>(91 + value - 22);
            if (value == 27) return kGs;  // FNC1
            return 255;
        case 3: return value >= 0 && value <= 31 ? static_cast<u8>(96 + value) : 255;
        default: return 255;
    }
}

u8 DM_TextChar(i32 value, i32 set) {
    switch (set) {
        case 0:
            if (value >= 14 && value <= 39) return static_cast<u8>('a' + value - 14);
            return DM_C40Char(value, 0);
        case 3:
            if (value == 0) return 96;
            if (value >= 1 && value <= 26) return static_cast<u8>('A' + value - 1);
            if (value >= 27 && value <= 31) return static_cast<u8>(123 + value - 27);
            return 255;
        default: return DM_C40Char(value, set);
    }
}

u8 DM_X12Char(i32 value) {
    switch (value) {
        case 0: return 13;
        case 1: return '*';
        case 2: return '>';
        default: return DM_C40Char(value, 0);
    }
}

i32 DM_DecodeC40() {
    if (Cw(Cursor()) != kCwLatchC40) return kDmStatusTextError;
    ++Cursor();
    u8 *work = DM_WorkBuffer();
    if (work == nullptr) return kDmStatusTextError;
    u8 *values = work + kDmC40Offset;
    i32 n = 0;
    while (PairFollows()) {
        if (n + 3 >= kDmC40Capacity) return kDmStatusTextError;
        i32 v[3];
        SplitPair(Cw(Cursor()), Cw(Cursor() + 1), v);
        for (i32 t : v) values[n++] = static_cast<u8>(t);
        Cursor() += 2;
    }
    i32 pending = 0;
    for (i32 k = 0; k < n;) {
        const i32 value = values[k];
        u8 b;
        if (value <= 2) {
            if (k == n - 1) break;  // a shift without its character
            const i32 next = values[k + 1];
            k += 2;
            if (value == kC40ShiftTwo && next == kC40UpperShift) {
                pending = kUpperShiftAdd;
                continue;
            }
            b = static_cast<u8>((DM_C40Char(next, value + 1) + pending) % 256);
        } else {
            b = static_cast<u8>((DM_C40Char(value, 0) + pending) % 256);
            ++k;
        }
        pending = 0;
        if (!Put(b)) return kDmStatusTextError;
    }
    return 0;
}

i32 DM_TextEmit(i32 value, i32 *state, i32 *pending) {
    if (*state == 2 && value == kC40UpperShift) {
        *pending = kUpperShiftAdd;
        *state = 0;
        return 0;
    }
    if (*state == 0 && value >= 0 && value <= 2) {
        *state = value + 1;
        return 0;
    }
    const u8 b = static_cast<u8>((DM_TextChar(value, *state) + *pending) % 256);
    *state = 0;
    *pending = 0;
    return Put(b) ? 0 : kDmStatusTextError;
}

i32 DM_DecodeText() {
    if (Cw(Cursor()) != kCwLatchText) return kDmStatusTextError;
    ++Cursor();
    i32 state = 0, pending = 0;  // the shift state does not outlive the segment
    while (PairFollows()) {
        i32 v[3];
        SplitPair(Cw(Cursor()), Cw(Cursor() + 1), v);
        Cursor() += 2;
        for (i32 t : v) {
            const i32 s = DM_TextEmit(t, &state, &pending);
            if (s != 0) return s;
        }
    }
    return 0;
}

i32 DM_DecodeX12() {
    if (Cw(Cursor()) != kCwLatchX12) return kDmStatusTextError;
    ++Cursor();
    while (PairFollows()) {
        i32 v[3];
        SplitPair(Cw(Cursor()), Cw(Cursor() + 1), v);
        Cursor() += 2;
        const u8 bytes[3] = {DM_X12Char(v[0]), DM_X12Char(v[1]), DM_X12Char(v[2])};
        if (!Put(bytes, 3)) return kDmStatusTextError;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// EDIFACT and Base 256

u8 DM_EdifactChar(i32 value) {
    if (value >= 0 && value <= 30) return static_cast<u8>(value + 64);
    if (value == kEdifactUnlatch) return 255;
    return static_cast<u8>(value);
}

i32 DM_DecodeEdifact() {
    if (Cw(Cursor()) != kCwLatchEdifact) return kDmStatusTextError;
    ++Cursor();
    while (Cursor() + 2 < g_dmData.dataCount) {
        const i32 v = (Cw(Cursor()) << 16) | (Cw(Cursor() + 1) << 8) | Cw(Cursor() + 2);
        for (i32 i = 0; i < 4; ++i) {
            const i32 value = (v >> (18 - 6 * i)) & 63;
            if (value == kEdifactUnlatch) {
                // ASCII resumes at the codeword after the one that ends the unlatch.
                Cursor() += i == 0 ? 1 : (i == 1 ? 2 : 3);
                return 0;
            }
            if (!Put(DM_EdifactChar(value))) return kDmStatusTextError;
        }
        Cursor() += 3;
    }
    return 0;
}

i32 DM_Unrandomize255(i32 value, i32 position) {
    const i32 v = value - (((149 * position) % 255) + 1);
    return v < 0 ? v + 256 : v;
}

i32 DM_Unrandomize253(i32 value, i32 position) {
    const i32 v = value - (((149 * position) % 253) + 1);
    return v < 0 ? v + 254 : v;
}

i32 DM_DecodeBase256() {
    if (Cw(Cursor()) != kCwLatchBase256) return kDmStatusTextError;
    const i32 i = Cursor() + 1;  // the length; positions count from 1
    const i32 l1 = DM_Unrandomize255(Cw(i), i + 1);
    i32 start = i + 1;
    i32 end = l1 == 0 ? g_dmData.dataCount : start + l1;
    if (l1 >= 250) {
        const i32 l2 = DM_Unrandomize255(Cw(i + 1), i + 2);
        start = i + 2;
        end = start + 250 * (l1 - 249) + l2;
    }
    const i32 stop = end < g_dmData.dataCount ? end : g_dmData.dataCount;
    for (Cursor() = start; Cursor() < stop; ++Cursor()) {
        if (!Put(static_cast<u8>(DM_Unrandomize255(Cw(Cursor()), Cursor() + 1)))) return kDmStatusTextError;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Functions

i32 DM_DecodeEci() {
    if (Cw(Cursor()) != kCwEci) return kDmStatusNoSize;
    ++Cursor();
    g_dmData.eciSeen = 1;
    const i32 c1 = Cw(Cursor());
    i32 number = 0;
    if (c1 <= 127) {
        number = c1 - 1;
        Cursor() += 1;
    } else if (c1 <= 191) {
        number = (c1 - 128) * 254 + Cw(Cursor() + 1) + 126;
        Cursor() += 2;
    } else if (c1 <= 207) {
        number = (c1 - 192) * 64516 + (Cw(Cursor() + 1) - 1) * 254 + (Cw(Cursor() + 2) - 1) + 16383;
        Cursor() += 3;
    }
    // Six digits in the text: a larger number (the four-codeword form reaches 1,048,893)
    // cannot be written.
    if (number > kMaxEci) return kDmStatusTextError;
    u8 designator[8];
    designator[0] = '\\';
    const i32 n = 1 + FormatDecimal(number, 6, designator + 1);
    return Put(designator, n) ? 0 : kDmStatusTextError;
}

i32 DM_DecodeFnc1() {
    if (Cw(Cursor()) != kCwFnc1) return kDmStatusNoSize;
    const i32 index = Cursor()++;
    if (index == 0) {
        g_dmData.fnc1Position = 1;
        return 0;
    }
    // In the first symbol of a structured-append sequence the header takes indices 0-3.
    if (g_dmSaInfo.saPresent == 1 && g_dmSaInfo.saPosition == 0 && (index == 4 || index == 5)) {
        g_dmData.fnc1Position = index == 4 ? 1 : 2;
        return 0;
    }
    return Put(kGs) ? 0 : kDmStatusTextError;
}

i32 DM_DecodeStructuredAppend() {
    if (Cw(Cursor()) != kCwStructuredAppend) return kDmStatusNoSize;
    const i32 c1 = Cw(Cursor() + 1);
    g_dmSaInfo.saPosition = c1 / 16;
    g_dmSaInfo.saTotal = 17 - c1 % 16;
    g_dmSaInfo.saFileId[0] = static_cast<u8>(Cw(Cursor() + 2));
    g_dmSaInfo.saFileId[1] = static_cast<u8>(Cw(Cursor() + 3));
    g_dmSaInfo.saPresent = 1;
    Cursor() += 4;
    return 0;
}

i32 DM_DecodeMacro05() { return DecodeMacro(kCwMacro05, '5'); }
i32 DM_DecodeMacro06() { return DecodeMacro(kCwMacro06, '6'); }

i32 DM_DecodeReaderProgramming() {
    if (Cw(Cursor()) != kCwReaderProgramming || Cursor() != 0) return kDmStatusNoSize;
    ++Cursor();
    return 0;
}

// ---------------------------------------------------------------------------------------
// Dump and AIM modifier

i32 DM_AppendCodewordDump() {
    const i32 p = Cursor();
    const i32 n = g_dmData.dataCount;
    if (g_dmOptions.codewordDump != 1 || p >= n || Cw(p) != kCwPad || Cw(p + 1) == kCwPad || n > kDumpMaxDataCount) {
        return 0;
    }
    for (i32 i = 0; i < n && g_dmResult.length <= kDumpStopLength; ++i) {
        u8 item[8];
        item[0] = ' ';
        const i32 k = 1 + FormatDecimal(Cw(i), 1, item + 1);
        if (!Put(item, k)) return kDmStatusTextError;
    }
    return 0;
}

void DM_SetAimModifier() {
    const bool fnc1 = g_dmData.fnc1Position == 1 || g_dmData.fnc1Position == 2;
    if (g_dmData.eciSeen != 0) {
        g_dmData.aimModifier = fnc1 ? '5' : '4';
    } else {
        g_dmData.aimModifier = fnc1 ? '2' : '1';
    }
}

void DM_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'd';
    out[2] = static_cast<char>(g_dmData.aimModifier);
}

}  // namespace vexo
