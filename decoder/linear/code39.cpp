#include "linear/code39.h"

#include <initializer_list>

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/width_reader.h"

namespace vexo {

// Code 39 bar/space patterns (ISO/IEC 16388, table of character encodation), bar first, as
// octal digits: 1 narrow, 2 wide.
constexpr i32 kCode39Keys[kCode39Values] = {
    0111221211, 0211211112, 0112211112, 0212211111, 0111221112, 0211221111, 0112221111, 0111211212,  // 0 1 2 3 4 5 6 7
    0211211211, 0112211211, 0211112112, 0112112112, 0212112111, 0111122112, 0211122111, 0112122111,  // 8 9 A B C D E F
    0111112212, 0211112211, 0112112211, 0111122211, 0211111122, 0112111122, 0212111121, 0111121122,  // G H I J K L M N
    0211121121, 0112121121, 0111111222, 0211111221, 0112111221, 0111121221, 0221111112, 0122111112,  // O P Q R S T U V
    0222111111, 0121121112, 0221121111, 0122121111, 0121111212, 0221111211, 0122111211, 0121212111,  // W X Y Z - . sp $
    0121211121, 0121112121, 0111212121, 0121121211,                                                  // / + % *
};
static_assert(sizeof kCode39Keys / sizeof kCode39Keys[0] == 44);
static_assert(kCode39Keys[kCode39StartStop] == static_cast<i32>(kCode39StartKey));

constexpr char kCode39Chars[kCode39Values + 1] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
static_assert(sizeof kCode39Chars == 45);

// Bits over the ranked elements (five bars widest first, then the three widest spaces;
// the narrowest space is always narrow): two bars and one space wide, or three spaces.
constexpr u8 kCode39CandidateList[kCode39Candidates] = {0xC4, 0xC2, 0x07, 0xA4, 0x64, 0xA2, 0x62};
static_assert(sizeof kCode39CandidateList == 7);

LINE_READ_HISTORY g_code39History;

namespace {

constexpr u8 kLocateBlock[5] = {30, 30, 10, 28, 2};
constexpr int kCharStride = 10;  // nine elements and the gap
constexpr u32 kCode32Limit = 1000000000u;
constexpr i32 kCodeTypeCode39 = 22;
constexpr i32 kCodeTypeCode39FullAscii = 23;
constexpr i32 kCodeTypeCode32 = 47;

i32 Width(const u16 *p, int from, int to) { return static_cast<i32>(p[to]) - static_cast<i32>(p[from]); }

// n w n n w n w n n on elements w[0..8] as read; first..last the ones tested.
bool StartStopShape(const i32 *w, bool start) {
    const int n0 = start ? 2 : 0;
    const int n1 = start ? 8 : 2;
    for (int wide : {4, 6})
        if (w[wide] <= w[n0] || w[wide] <= w[n1]) return false;
    return w[1] > w[3] && w[1] > w[5] && w[1] > w[7];
}

bool StartWidths(const u16 *p, int step, i32 *w) {
    for (int k = 1; k <= 8; ++k) w[k] = step > 0 ? Width(p, k, k + 1) : Width(p, -k, 1 - k);
    return StartStopShape(w, true);
}

u8 MapDigit(u8 v) {
    if (v <= 9) return v;
    if (v <= 13) return static_cast<u8>(v - 1);
    if (v <= 17) return static_cast<u8>(v - 2);
    if (v <= 23) return static_cast<u8>(v - 3);
    return static_cast<u8>(v - 4);
}

u32 Flags() { return g_params.flagsWord[kSymCode39]; }

// Edges from index p on in direction d that lie on the context's line.
i32 EdgesFrom(const LINE_DECODE_CTX *ctx, i32 p, i32 d) {
    if (p < 0 || p >= ctx->edgeCount) return 0;
    return d > 0 ? ctx->edgeCount - p : p + 1;
}

}  // namespace

int Code39_MatchStart(const u16 *edge, u16 *) {
    i32 w[9];
    return StartWidths(edge, 1, w) ? 1 : 0;
}

int Code39_MatchReversedStart(const u16 *edge, u16 *) {
    i32 w[9];
    return StartWidths(edge, -1, w) ? 1 : 0;
}

int Code39_MatchStop(const u16 *edge) {
    i32 w[9];
    for (int k = 0; k <= 7; ++k) w[k] = Width(edge, k - 8, k - 7);
    return StartStopShape(w, false) ? 1 : 0;
}

int Code39_MatchReversedStop(const u16 *edge) {
    i32 w[9];
    for (int k = 0; k <= 7; ++k) w[k] = Width(edge, 8 - k, 9 - k);
    return StartStopShape(w, false) ? 1 : 0;
}

void Code39_Reset() { Line_EmptyHistory(&g_code39History); }

int Code39_IsEnabled() { return (Flags() & kFlagEnabled) != 0 ? 1 : 0; }

int Code39_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStopAlt(state, kLocateBlock, &Code39_MatchStart, &Code39_MatchReversedStart,
                                 &Code39_MatchReversedStop, &Code39_MatchStop);
}

u16 Code39_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 count = ctx->elementCount;
    if (count < 30 || ctx->capacity < count / kCharStride) return 0;
    lineCleanRead = 1;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    if (Line_MeasureStartGiven(ctx, kWidthIdCode39, kCode39StartKey, 3, 9, 0, 0) == 0) return 0;
    const u8 gapHint = g_widthReader.current.trailClass;
    Line_SetWidthTolerances(20, 35, 7, 24, 6, 55, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdCode39, 1, 0, 5, 4, kCode39Keys, kCode39Values, 3, kCode39CandidateList, 0, 1);
    WIDTH_REFS refs{};
    if (Line_ReadWidthChar(&refs, &setup) == 0 || g_widthReader.current.acceptedValue != kCode39StartStop) return 0;
    u16 length = 0;
    ctx->data[length++] = kCode39StartStop;
    setup.mode = 0;
    setup.endCandidate = kCode39Candidates;
    for (i32 k = kCharStride; k < count; k += kCharStride) {
        if (Line_UpdateReferences(&refs, 1) == 0) return 0;
        g_widthReader.previous = g_widthReader.current;
        const i32 p = ctx->startIndex + k * d;
        const i32 available = EdgesFrom(ctx, p, d);
        if (Line_LoadCharWidths(&ctx->edgesBase[p < 0 ? 0 : p], d, 9, gapHint, available) == 0) return 0;
        if (k + kCharStride >= count) {
            // The stop: its outer bar and what follows it border the quiet zone.
            WIDTH_CHAR &c = g_widthReader.current;
            c.trailWidth = c.widths[1];
            c.widths[8] = c.widths[2];
            c.trailClass = 2;
            setup.endCandidate = 1;
        }
        if (Line_ReadWidthChar(&refs, &setup) == 0 || length >= ctx->capacity) return 0;
        ctx->data[length++] = static_cast<u8>(g_widthReader.current.acceptedValue);
    }
    if (length < 2 || ctx->data[length - 1] != kCode39StartStop) return 0;
    if (Line_AcceptRead(&g_code39History, ctx->data, length) == 0) return 0;
    ctx->length = length;
    return length;
}

int Code39_CheckMod43(const u8 *values, u16 count) {
    if (values == nullptr || count < 2) return 0;
    u32 sum = 0;
    for (u16 k = 0; k + 1 < count; ++k) sum += values[k];
    return sum % 43 == values[count - 1] ? 1 : 0;
}

int Code32_CheckDigitOk(const u8 *d) {
    if (d == nullptr) return 0;
    u32 sum = 0;
    for (int k = 0; k < 8; k += 2) sum += d[k];
    for (int k = 1; k < 8; k += 2) {
        const u32 twice = 2u * d[k];
        sum += twice / 10 + twice % 10;
    }
    return sum % 10 == d[8] ? 1 : 0;
}

u16 Code32_Convert(const u8 *values, u16 count, u32 flags, u8 *out) {
    if (values == nullptr || out == nullptr || count != 8) return 0;
    u32 n = 0;
    for (int k = 1; k <= 6; ++k) {
        const u8 v = values[k];
        if (v >= 36 || v == 10 || v == 14 || v == 18 || v == 24) return 0;  // no A, E, I, O
        n = n * 32 + MapDigit(v);
    }
    if (n >= kCode32Limit) return 0;
    u8 digits[9];
    for (int k = 8; k >= 0; --k, n /= 10) digits[k] = static_cast<u8>(n % 10);
    if (Code32_CheckDigitOk(digits) == 0) return 0;
    u16 len = 0;
    if ((flags & kFlagCode32Asterisks) != 0) out[len++] = '*';
    if ((flags & kFlagCode32LeadingA) != 0) out[len++] = 'A';
    const int shown = (flags & kFlagCode32CheckDigit) != 0 ? 9 : 8;
    for (int k = 0; k < shown; ++k) out[len++] = static_cast<u8>('0' + digits[k]);
    if ((flags & kFlagCode32Asterisks) != 0) out[len++] = '*';
    return len;
}

u16 Code39_ExpandFullAscii(u8 *text, u16 n) {
    if (text == nullptr) return 0;
    u16 out = 0;
    for (u16 k = 0; k < n; ++k) {
        const u8 c = text[k];
        const u8 next = k + 1 < n ? text[k + 1] : 0;
        const bool letter = next >= 'A' && next <= 'Z';
        int v = -1;
        if (letter && c == '$') v = next - 'A' + 1;
        if (letter && c == '+') v = next - 'A' + 'a';
        if (letter && c == '/') {
            if (next <= 'L') v = next - 'A' + '!';
            if (next == 'O') v = '/';
            if (next == 'Z') v = ':';
        }
        if (letter && c == '%') {
            if (next <= 'E') v = next - 'A' + 0x1B;
            else if (next <= 'J') v = next - 'F' + ';';
            else if (next <= 'O') v = next - 'K' + '[';
            else if (next <= 'S') v = next - 'P' + '{';
            else if (next == 'U') v = 0;
            else if (next == 'V') v = '@';
            else if (next == 'W') v = '`';
            else v = 0x7F;  // T, X, Y, Z
        }
        if (v < 0) {
            text[out++] = c;
            continue;
        }
        text[out++] = static_cast<u8>(v);
        ++k;
    }
    return out;
}

int Code39_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u8 *data = ctx->data;
    u16 len = ctx->length;
    if (len < 3) return 0;
    for (u16 k = 0; k < len; ++k)
        if (data[k] > kCode39StartStop) return 0;
    const u32 flags = Flags();
    ctx->aimLetter = 'A';
    char modifier = '0';
    if ((flags & kFlagVerifyCheck) != 0) {
        if (len == 3 || Code39_CheckMod43(data + 1, static_cast<u16>(len - 2)) == 0) {
            ctx->errorCode = kLineErrorCheck;
            return 0;
        }
        modifier = '1';
        if ((flags & kFlagTransmitCheck) == 0) {
            data[len - 2] = data[len - 1];
            --len;
            modifier = '3';
        }
    } else if ((flags & kFlagCode32Convert) != 0) {
        u8 code32[12];
        const u16 n = Code32_Convert(data, len, flags, code32);
        if (n != 0 && n <= ctx->capacity) {
            for (u16 k = 0; k < n; ++k) data[k] = code32[k];
            ctx->length = n;
            ctx->aimLetter = 'X';
            ctx->aimModifier = '0';
            ctx->symbologyId = kSymCode39;
            g_state.lastSymbologyCode = kCodeTypeCode32;
            return 1;
        }
    }
    u16 first = 0;
    if ((flags & kFlagStripStartStop) != 0) {
        first = 1;
        len = static_cast<u16>(len - 2);
    }
    for (u16 k = 0; k < len; ++k) data[k] = static_cast<u8>(kCode39Chars[data[first + k]]);
    i32 codeType = kCodeTypeCode39;
    if ((flags & kFlagCode39FullAscii) != 0) {
        const u16 n = Code39_ExpandFullAscii(data, len);
        if (n == 0) return 0;
        if (n < len) modifier = modifier == '0' ? '4' : modifier == '1' ? '5' : '7';
        len = n;
        codeType = kCodeTypeCode39FullAscii;
    }
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    ctx->length = len;
    ctx->aimModifier = modifier;
    ctx->symbologyId = kSymCode39;
    g_state.lastSymbologyCode = codeType;
    return 1;
}

}  // namespace vexo
