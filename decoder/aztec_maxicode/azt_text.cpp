// Aztec bit stream to text: the character modes, binary shift, FLG(n), the
// structured-append header and the AIM modifier.
#include "aztec_maxicode/azt_data.h"

namespace vexo {

AZT_STATE g_aztState = {.append = {}, .aimModifier = '0'};

namespace {

// Markers Azt_PunctuationChar gives for the two-character Punct values 2 to 5.
constexpr u8 kMarkCrLf = 14;
constexpr u8 kMarkDotSpace = 15;
constexpr u8 kMarkCommaSpace = 16;
constexpr u8 kMarkColonSpace = 17;

// Punct mode, the character table of ISO/IEC 24778: 0 and 31 start FLG(n) after P/S.
constexpr u8 kPunctTable[32] = {
    0,   '\r', kMarkCrLf, kMarkDotSpace, kMarkCommaSpace, kMarkColonSpace,
    '!', '"',  '#',       '$',           '%',             '&',
    '\'', '(', ')',       '*',           '+',             ',',
    '-', '.',  '/',       ':',           ';',             '<',
    '=', '>',  '?',       '[',           ']',             '{',
    '}', 0,
};
static_assert(sizeof(kPunctTable) == 32);

// Mixed mode, the character table of ISO/IEC 24778: values 1-27 (0 and 28-31 are shifts and
// latches).
constexpr u8 kMixedTable[28] = {
    0,  ' ', 1,  2,  3,  4,  5,  6,   7,   8,   9,   10,  11,  12, 13,
    27, 28,  29, 30, 31, '@', '\\', '^', '_', '`', '|', '~', 127,
};
static_assert(sizeof(kMixedTable) == 28);

// Digit mode, the character table of ISO/IEC 24778: values 1-13.
constexpr u8 kDigitTable[14] = {0, ' ', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '.'};
static_assert(sizeof(kDigitTable) == 14);

// AIM modifiers by present and ECI seen (rows) and FNC1 state (columns).
constexpr u8 kAimModifiers[4][3] = {{'0', '1', '2'}, {'3', '4', '5'}, {'6', '7', '8'}, {'9', 'A', 'B'}};
static_assert(sizeof(kAimModifiers) == 12);

// Codes of the structured-append mark: M/L in Upper, then U/L in Mixed.
constexpr i32 kAppendMarkCode = 29;
constexpr u8 kGroupSeparator = 0x1D;

struct TEXT_RUN {
    const AZT_BITSTREAM *bits;
    AZT_TEXT_OUT *out;
    i32 pos;
    i32 mode;
    i32 ended;   // the stream ran out inside a code
    i32 failed;  // the stream is refused
};

// The next k bits, most significant first, or -1 (nothing consumed) when fewer are left.
i32 TakeBits(const AZT_BITSTREAM *bits, i32 *pos, i32 k) {
    if (k > bits->count - *pos) return -1;
    i32 v = 0;
    for (i32 i = 0; i < k; ++i) v = (v << 1) | (bits->bits[*pos + i] & 1);
    *pos += k;
    return v;
}

i32 Take(TEXT_RUN *run, i32 k) {
    const i32 v = TakeBits(run->bits, &run->pos, k);
    if (v < 0) run->ended = 1;
    return v;
}

void Put(AZT_TEXT_OUT *out, i32 ch) { out->text[out->length++] = static_cast<u8>(ch); }

void PutPunct(TEXT_RUN *run, i32 value) {
    const i32 ch = Azt_PunctuationChar(value);
    if (ch == 0) {
        const i32 next = Azt_ReadFlgSequence(run->bits, run->out, run->pos);
        if (next < 0) {
            run->failed = 1;
        } else {
            run->pos = next;
        }
        return;
    }
    static constexpr char kPairs[4][2] = {{'\r', '\n'}, {'.', ' '}, {',', ' '}, {':', ' '}};
    if (ch >= kMarkCrLf && ch <= kMarkColonSpace) {
        Put(run->out, kPairs[ch - kMarkCrLf][0]);
        Put(run->out, kPairs[ch - kMarkCrLf][1]);
    } else {
        Put(run->out, ch);
    }
}

void PunctShift(TEXT_RUN *run) {
    const i32 v = Take(run, 5);
    if (v >= 0) PutPunct(run, v);
}

// L bytes after B/S: a 5-bit length, or 0 and an 11-bit length above 31.
void BinaryShift(TEXT_RUN *run) {
    i32 n = Take(run, 5);
    if (n == 0) {
        n = Take(run, 11);
        if (n >= 0) n += 31;
    }
    for (i32 i = 0; i < n && run->ended == 0; ++i) {
        const i32 byte = Take(run, 8);
        if (byte >= 0) Put(run->out, byte);
    }
}

// Upper shift from Lower: a space for 1, else 63 + v.
void UpperShiftFromLower(TEXT_RUN *run) {
    const i32 v = Take(run, 5);
    if (v >= 0) Put(run->out, v == 1 ? ' ' : 63 + v);
}

// Upper shift from Digit: a space, a letter, or Upper's B/S (31): a binary shift that ends
// in the mode it was invoked from, Upper (the corpus's dlusbs sample is written so; dropping
// the shift misreads the bytes as codes); any other value latches Upper.
void UpperShiftFromDigit(TEXT_RUN *run) {
    const i32 v = Take(run, 5);
    if (v == 1) {
        Put(run->out, ' ');
    } else if (v >= 2 && v <= 27) {
        Put(run->out, 63 + v);
    } else if (v == 31) {
        BinaryShift(run);
        run->mode = kAztUpper;
    } else if (v >= 0) {
        run->mode = kAztUpper;
    }
}

void StepLetters(TEXT_RUN *run, i32 first) {
    const i32 code = Take(run, 5);
    if (code < 0) return;
    if (code == 0) {
        PunctShift(run);
    } else if (code == 1) {
        Put(run->out, ' ');
    } else if (code <= 27) {
        Put(run->out, first + code - 2);
    } else if (code == 28 && run->mode == kAztLower) {
        UpperShiftFromLower(run);
    } else if (code == 31) {
        BinaryShift(run);
    } else {
        run->mode = Azt_NextMode(run->mode, code);
    }
}

void StepMixed(TEXT_RUN *run) {
    const i32 code = Take(run, 5);
    if (code < 0) return;
    if (code == 0) {
        PunctShift(run);
    } else if (code <= 27) {
        Put(run->out, kMixedTable[code]);
    } else if (code == 31) {
        BinaryShift(run);
    } else {
        run->mode = Azt_NextMode(run->mode, code);
    }
}

void StepPunct(TEXT_RUN *run) {
    const i32 code = Take(run, 5);
    if (code < 0) return;
    if (code == 31) {
        run->mode = Azt_NextMode(run->mode, code);
    } else {
        PutPunct(run, code);
    }
}

void StepDigit(TEXT_RUN *run) {
    const i32 code = Take(run, 4);
    if (code < 0) return;
    if (code == 0) {
        PunctShift(run);
    } else if (code <= 13) {
        Put(run->out, kDigitTable[code]);
    } else if (code == 15) {
        UpperShiftFromDigit(run);
    } else {
        run->mode = Azt_NextMode(run->mode, code);
    }
}

// Strips the header ([space ID space] position total) from the text. 0 when its letters
// are missing or out of order.
i32 StripAppendHeader(AZT_TEXT_OUT *out, AZT_APPEND_STATE *a) {
    const u8 *t = out->text;
    const i32 len = out->length;
    i32 at = 0;
    if (len > 0 && t[0] == ' ') {
        i32 end = 1;
        while (end < len && t[end] != ' ') ++end;
        if (end >= len) return 0;
        const i32 idLength = end - 1;
        const i32 kept = idLength < kAztMessageIdChars ? idLength : kAztMessageIdChars;
        for (i32 i = 0; i < kept; ++i) a->messageId[i] = static_cast<char>(t[1 + i]);
        a->messageId[kept] = '\0';
        a->idCut = idLength > kept ? 1 : 0;
        at = end + 1;
    }
    if (at + 1 >= len) return 0;
    a->position = t[at];
    a->total = t[at + 1];
    if (a->position < 'A' || a->position > 'Z' || a->total < 'A' || a->total > 'Z' || a->total < a->position) return 0;
    const i32 header = at + 2;
    for (i32 i = header; i < len; ++i) out->text[i - header] = out->text[i];
    out->length = len - header;
    return 1;
}

}  // namespace

i32 Azt_NextMode(i32 mode, i32 code) {
    switch (mode) {
        case kAztUpper:
            if (code == 28) return kAztLower;
            if (code == 29) return kAztMixed;
            if (code == 30) return kAztDigit;
            if (code == 31) return kAztBinary;
            break;
        case kAztLower:
            if (code == 29) return kAztMixed;
            if (code == 30) return kAztDigit;
            if (code == 31) return kAztBinary;
            break;
        case kAztMixed:
            if (code == 28) return kAztLower;
            if (code == 29) return kAztUpper;
            if (code == 30) return kAztPunct;
            if (code == 31) return kAztBinary;
            break;
        default:
            break;
    }
    return kAztUpper;
}

i32 Azt_PunctuationChar(i32 value) { return value >= 0 && value < 32 ? kPunctTable[value] : 0; }

i32 Azt_ReadFlgSequence(const AZT_BITSTREAM *bits, AZT_TEXT_OUT *out, i32 position) {
    if (bits == nullptr || out == nullptr || position < 0 || position > bits->count) return -1;
    i32 pos = position;
    const i32 n = TakeBits(bits, &pos, 3);
    if (n < 0) return bits->count;
    if (n == 7) return -1;
    AZT_APPEND_STATE &a = g_aztState.append;
    if (n == 0) {
        const u8 *t = out->text;
        const auto digit = [](u8 ch) { return ch >= '0' && ch <= '9'; };
        if (out->length == 0) {
            a.fnc1State = 1;
        } else if (out->length == 1 && ((t[0] >= 'A' && t[0] <= 'Z') || t[0] == 'z')) {
            a.fnc1State = 2;
        } else if (out->length == 2 && (digit(t[0]) || digit(t[1]))) {
            a.fnc1State = 2;
        } else {
            Put(out, kGroupSeparator);
        }
        return pos;
    }
    a.eciSeen = 1;
    Put(out, '\\');
    for (i32 i = n; i < 6; ++i) Put(out, '0');
    for (i32 i = 0; i < n; ++i) {
        const i32 v = TakeBits(bits, &pos, 4);
        if (v < 0) return bits->count;
        // Values 2-11 are the digits; 0 and 1 would write '.' and '/' into the designator.
        if (v < 2 || v > 11) return -1;
        Put(out, 46 + v);
    }
    return pos;
}

void Azt_SetAimModifier() {
    const AZT_APPEND_STATE &a = g_aztState.append;
    const i32 row = (a.present != 0 ? 2 : 0) + (a.eciSeen != 0 ? 1 : 0);
    const i32 col = a.fnc1State >= 0 && a.fnc1State <= 2 ? a.fnc1State : 0;
    g_aztState.aimModifier = kAimModifiers[row][col];
}

i32 Azt_DecodeText(const AZT_BITSTREAM *bits, AZT_TEXT_OUT *out) {
    if (bits == nullptr || out == nullptr || out->text == nullptr) return 0;
    if (bits->count < 0 || bits->count > kAztMaxStreamBits || (bits->count > 0 && bits->bits == nullptr)) return 0;
    out->length = 0;
    // The append state, ECI and FNC1 describe this symbol only.
    AZT_APPEND_STATE &a = g_aztState.append;
    a = AZT_APPEND_STATE{};
    i32 mark = 0;
    if (TakeBits(bits, &mark, 5) == kAppendMarkCode && TakeBits(bits, &mark, 5) == kAppendMarkCode) a.present = 1;
    TEXT_RUN run{bits, out, 0, kAztUpper, 0, 0};
    // Every step consumes at least four bits or ends the run.
    while (run.pos < bits->count && run.ended == 0 && run.failed == 0) {
        switch (run.mode) {
            case kAztUpper: StepLetters(&run, 'A'); break;
            case kAztLower: StepLetters(&run, 'a'); break;
            case kAztMixed: StepMixed(&run); break;
            case kAztPunct: StepPunct(&run); break;
            case kAztDigit: StepDigit(&run); break;
            default: run.mode = kAztUpper; break;
        }
    }
    if (run.failed != 0) return 0;
    if (a.present != 0 && StripAppendHeader(out, &a) == 0) return 0;
    Azt_SetAimModifier();
    return 1;
}

}  // namespace vexo
