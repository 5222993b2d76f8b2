#include "linear/msi_plessey.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/width_reader.h"

namespace vexo {

// MSI digits, bits 3 down to 0, each bit a bar and a space (0: 1 2, 1: 2 1), first element
// in the highest nibble.
constexpr i32 kMsiKeys[kMsiValues] = {
    0x12121212, 0x12121221, 0x12122112, 0x12122121, 0x12211212,  // 0-4
    0x12211221, 0x12212112, 0x12212121, 0x21121212, 0x21121221,  // 5-9
};
static_assert(sizeof kMsiKeys / sizeof kMsiKeys[0] == 10);

// Plessey values, bits 0 up to 3 in the same pair form.
constexpr i32 kPlesseyKeys[kPlesseyValues] = {
    0x12121212, 0x21121212, 0x12211212, 0x21211212, 0x12122112, 0x21122112, 0x12212112, 0x21212112,  // 0-7
    0x12121221, 0x21121221, 0x12211221, 0x21211221, 0x12122121, 0x21122121, 0x12212121, 0x21212121,  // 8-F
};
static_assert(sizeof kPlesseyKeys / sizeof kPlesseyKeys[0] == 16);

// Wide-element hypotheses over the ranked bars (bits 7-4) and spaces (bits 3-0).
constexpr u8 kMsiCandidateList[kMsiCandidates] = {0xCC, 0xE8, 0x8E, 0x0F, 0xE4, 0xD8, 0xD4,
                                                  0xCA, 0xAC, 0xAA, 0x4E, 0x8D, 0x4D};
static_assert(sizeof kMsiCandidateList == 13);
constexpr u8 kPlesseyCandidateList[kPlesseyCandidates] = {0xE8, 0xCC, 0x8E, 0xF0, 0x0F, 0xE4, 0xD8,
                                                          0xD4, 0xCA, 0xAC, 0xAA, 0x4E, 0x8D, 0x4D};
static_assert(sizeof kPlesseyCandidateList == 14);

LINE_READ_HISTORY g_msiHistory;
LINE_READ_HISTORY g_plesseyHistory;

namespace {

constexpr u8 kMsiBlock[8] = {27, 30, 8, 24, 6, kWidthIdMsi, 3, 2};
constexpr u8 kPlesseyBlock[8] = {41, 42, 8, 40, 6, kWidthIdPlessey, 1, 0};
constexpr i32 kCodeTypeMsi = 40;
constexpr i32 kCodeTypePlessey = 41;
constexpr int kElements = 8;

// Bits 0-3 of a value in reverse order.
constexpr u8 kNibbleReversed[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
static_assert(sizeof kNibbleReversed == 16);
constexpr char kHexChars[] = "0123456789ABCDEF";

u32 MsiFlags() { return g_params.flagsWord[kSymMsi]; }
u32 PlesseyFlags() { return g_params.flagsWord[kSymPlessey]; }

i32 W(const u16 *p, int k) { return static_cast<i32>(p[k + 1]) - static_cast<i32>(p[k]); }

bool MsiStartShape(i32 bar, i32 space) { return 2 * bar >= 3 * space && 4 * space >= bar; }
// Narrow bar a, wide space s, narrow bar b (b the outer one).
bool MsiStopShape(i32 a, i32 s, i32 b) { return s >= a && 13 * s >= 10 * b && s < 4 * a && s < 4 * b; }

// Plessey start in symbol order w[0..7]: the narrow bar w4 below the wide bars, the wide
// space w5 above the narrow spaces.
bool PlesseyStartShape(const i32 *w) {
    return w[4] < w[0] && w[4] < w[2] && w[4] < w[6] && w[5] > w[1] && w[5] > w[3] && w[5] > w[7];
}

// Plessey stop in symbol order, s[j] = w(j - 8). Its first bar is narrow in the
// standard's drawing and as wide as the wide bars in common encoders' output.
bool PlesseyStopShape(const i32 *s) {
    const i32 wide0 = s[8], wide2 = s[6];
    if (!(s[2] < wide0 && s[2] < wide2 && s[4] < wide0 && s[4] < wide2)) return false;
    const bool narrowFirst = s[0] < wide0 && s[0] < wide2;
    const bool wideFirst = s[0] > s[2] && s[0] > s[4];
    if (!narrowFirst && !wideFirst) return false;
    return s[5] < s[3] && s[5] < s[1] && s[7] < s[3] && s[7] < s[1];
}

// Elements from edge index `at` of the context in its direction, 0 when it lies outside.
i32 AvailableFrom(const LINE_DECODE_CTX *ctx, i32 at, i32 *p) {
    const i16 d = ctx->direction < 0 ? -1 : 1;
    *p = ctx->startIndex + at * d;
    if (*p < 0 || *p >= ctx->edgeCount) return 0;
    return d > 0 ? ctx->edgeCount - *p : *p + 1;
}

// Loads the 8 elements at element `at` and reads them as one character into data[index].
bool ReadPairChar(LINE_DECODE_CTX *ctx, i32 at, u8 mode, WIDTH_REFS *refs, const WIDTH_READER_SETUP *setup, u16 index) {
    i32 p = 0;
    const i32 available = AvailableFrom(ctx, at, &p);
    g_widthReader.previous = g_widthReader.current;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    if (available == 0 || Line_LoadCharWidthsMode(&ctx->edgesBase[p], d, kElements, mode, available) == 0) return false;
    if (Line_ReadWidthChar(refs, setup) == 0 || index >= ctx->capacity) return false;
    ctx->data[index] = static_cast<u8>(g_widthReader.current.acceptedValue);
    return true;
}

// References from the start (its wide bar and narrow space) and the loaded first digit (its
// bars taken as narrow, its spaces as wide). A first digit 0 has narrow bars and wide spaces
// only, so references made from its own classes alone cannot exist. false when the widths
// do not order that way.
bool MsiStartReferences(const LINE_DECODE_CTX *ctx, WIDTH_REFS *refs) {
    const WIDTH_CHAR &c = g_widthReader.current;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 p = ctx->startIndex;
    if (c.elementCount != kElements || p + d < 0 || p + d >= ctx->edgeCount) return false;
    const i32 startBar = static_cast<i32>(ctx->edgesBase[p + d]) - static_cast<i32>(ctx->edgesBase[p]);
    i32 bars = 0, spaces = 0;
    for (int k = 0; k < kElements; k += 2) {
        bars += c.widths[k];
        spaces += c.widths[k + 1];
    }
    const i32 narrowBar = (10 * bars + 2) / 4, wideSpace = (10 * spaces + 2) / 4;
    const i32 wideBar = 10 * (startBar < 0 ? -startBar : startBar), narrowSpace = 10 * c.leadWidth;
    if (!(narrowBar < wideBar && narrowSpace < wideSpace) || wideBar > 0xFFFF || wideSpace > 0xFFFF) return false;
    *refs = WIDTH_REFS{static_cast<u16>(narrowBar), static_cast<u16>(wideBar), static_cast<u16>(narrowSpace),
                       static_cast<u16>(wideSpace), 0, 0, static_cast<u16>((wideBar - narrowBar + 5) / 10),
                       static_cast<u16>((wideSpace - narrowSpace + 5) / 10)};
    return true;
}

}  // namespace

int Msi_MatchStart(const u16 *edge) { return MsiStartShape(W(edge, 0), W(edge, 1)) ? 1 : 0; }
int Msi_MatchStartReversed(const u16 *edge) { return MsiStartShape(W(edge, 0), W(edge, -1)) ? 1 : 0; }
int Msi_MatchStop(const u16 *edge) { return MsiStopShape(W(edge, -2), W(edge, -1), W(edge, 0)) ? 1 : 0; }
int Msi_MatchStopReversed(const u16 *edge) { return MsiStopShape(W(edge, 2), W(edge, 1), W(edge, 0)) ? 1 : 0; }

int Plessey_MatchStart(const u16 *edge) {
    i32 w[8];
    for (int k = 0; k < 8; ++k) w[k] = W(edge, k);
    return PlesseyStartShape(w) ? 1 : 0;
}
int Plessey_MatchStartReversed(const u16 *edge) {
    i32 w[8];
    for (int k = 0; k < 8; ++k) w[k] = W(edge, -k);
    return PlesseyStartShape(w) ? 1 : 0;
}
int Plessey_MatchStop(const u16 *edge) {
    i32 s[9];
    for (int j = 0; j < 9; ++j) s[j] = W(edge, j - 8);
    return PlesseyStopShape(s) ? 1 : 0;
}
int Plessey_MatchStopReversed(const u16 *edge) {
    i32 s[9];
    for (int j = 0; j < 9; ++j) s[j] = W(edge, 8 - j);
    return PlesseyStopShape(s) ? 1 : 0;
}

void Msi_Reset() { Line_EmptyHistory(&g_msiHistory); }
void Plessey_Reset() { Line_EmptyHistory(&g_plesseyHistory); }
int Msi_IsEnabled() { return (MsiFlags() & kFlagEnabled) != 0 ? 1 : 0; }
int Plessey_IsEnabled() { return (PlesseyFlags() & kFlagEnabled) != 0 ? 1 : 0; }

int Msi_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kMsiBlock, &Msi_MatchStart, &Msi_MatchStartReversed, &Msi_MatchStopReversed,
                              &Msi_MatchStop);
}

int Plessey_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kPlesseyBlock, &Plessey_MatchStart, &Plessey_MatchStartReversed,
                              &Plessey_MatchStopReversed, &Plessey_MatchStop);
}

u16 Msi_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 12 || ctx->capacity < (edges - 5) / 8) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Line_MeasureStart(ctx, kWidthIdMsi, 1, kElements, 1, 0, 0, 0, 0) == 0) return 0;
    Line_SetWidthTolerances(18, 30, 7, 24, 5, 50, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdMsi, 1, 0, 4, 4, kMsiKeys, kMsiValues, 4, kMsiCandidateList, 0, kMsiCandidates);
    if (Line_ReadWidthChar(&refs, &setup) == 0) {
        // A first digit whose own classes make no references: read it against the start's.
        setup.mode = 0;
        if (!MsiStartReferences(ctx, &refs) || Line_ReadWidthChar(&refs, &setup) == 0) return 0;
    }
    u16 count = 0;
    ctx->data[count++] = static_cast<u8>(g_widthReader.current.acceptedValue);
    setup.mode = 0;
    // Characters follow while more than 6 elements stand before the stop's three.
    for (i32 at = 2 + kElements; (edges - 1 - 3) - at > 6; at += kElements) {
        if (!ReadPairChar(ctx, at, kWidthIdMsi, &refs, &setup, count)) return 0;
        ++count;
        if (Line_UpdateReferences(&refs, 1) == 0) return 0;
    }
    if (Line_AcceptRead(&g_msiHistory, ctx->data, count) == 0) return 0;
    ctx->length = count;
    return count;
}

u16 Plessey_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 41 || ctx->capacity < (edges - 18) / 8) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Line_MeasureStartGiven(ctx, kWidthIdPlessey, 0x21211221, 4, kElements, 0, 0) == 0) return 0;
    // The one tolerance set for every caller: the looser set without a clean margin accepts
    // no character that another candidate also keys.
    Line_SetWidthTolerances(20, 35, 6, 24, 6, 55, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdPlessey, 0, 0, 4, 4, kPlesseyKeys, kPlesseyValues, 4, kPlesseyCandidateList, 0,
                         kPlesseyCandidates);
    u16 count = 0;
    for (i32 i = 0; edges - kElements * i - 18 > 6; ++i) {
        if (Line_UpdateReferences(&refs, 1) == 0) return 0;
        if (!ReadPairChar(ctx, kElements + kElements * i, kWidthIdPlessey, &refs, &setup, count)) return 0;
        ++count;
    }
    if (count == 0 || Line_AcceptRead(&g_plesseyHistory, ctx->data, count) == 0) return 0;
    ctx->length = count;
    return count;
}

u16 Msi_CheckMod10(const char *values, u16 n) {
    if (values == nullptr) return 0;
    u32 sum = 0;
    for (u16 k = 0; k < n; ++k) {
        const u32 v = static_cast<u8>(values[n - 1 - k]);
        const u32 doubled = 2 * v;
        sum += k % 2 == 0 ? (doubled >= 10 ? doubled - 9 : doubled) : v;
    }
    return static_cast<u16>((10 - sum % 10) % 10);
}

u16 Msi_CheckMod11(const char *values, u16 n) {
    if (values == nullptr) return 1;
    u32 sum = 0;
    for (u16 k = 0; k < n; ++k) sum += (k % 6 + 2u) * static_cast<u8>(values[n - 1 - k]);
    const u32 r = sum % 11;
    return static_cast<u16>(r == 0 ? 1 : r == 1 ? 0 : 11 - r);
}

int Plessey_CheckCrc(const char *values, u16 length) {
    if (values == nullptr || length < 2) return 0;
    const u8 high = static_cast<u8>(values[length - 2]);
    const u8 low = static_cast<u8>(values[length - 1]);
    if (high > 15 || low > 15) return 0;
    // x^8 + x^7 + x^6 + x^5 + x^3 + 1 over the bits in the order they are sent.
    u32 rem = 0;
    for (u16 k = 0; k + 2 < length; ++k) {
        const u8 v = static_cast<u8>(values[k]);
        if (v > 15) return 0;
        for (int b = 0; b < 4; ++b) {
            const u32 top = ((rem >> 7) ^ (v >> b)) & 1u;
            rem = (rem << 1) & 0xFFu;
            if (top != 0) rem ^= 0xE9u;
        }
    }
    return (rem >> 4) == kNibbleReversed[high] && (rem & 0xFu) == kNibbleReversed[low] ? 1 : 0;
}

int Msi_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u8 *v = ctx->data;
    u16 len = ctx->length;
    if (len <= 2) return 0;
    for (u16 k = 0; k < len; ++k)
        if (v[k] > 9) return 0;
    const u32 flags = MsiFlags();
    const u32 mode = (flags & kMsiCheckMask) >> kMsiCheckShift;
    ctx->aimLetter = 'M';
    ctx->aimModifier = '0';
    const char *c = reinterpret_cast<const char *>(v);
    bool holds = true;
    if (mode == 1) holds = Msi_CheckMod10(c, len - 1) == v[len - 1];
    if (mode >= 2) {
        const u16 second = mode == 2 ? Msi_CheckMod10(c, len - 1) : Msi_CheckMod11(c, len - 1);
        holds = Msi_CheckMod10(c, len - 2) == v[len - 2] && second == v[len - 1];
    }
    if (!holds) {
        ctx->errorCode = kLineErrorCheck;
        return 0;
    }
    if (mode != 0 && (flags & kFlagTransmitCheck) == 0) {
        len = static_cast<u16>(len - (mode == 1 ? 1 : 2));
        ctx->aimModifier = '1';
    }
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    for (u16 k = 0; k < len; ++k) v[k] = static_cast<u8>('0' + v[k]);
    ctx->length = len;
    ctx->symbologyId = kSymMsi;
    g_state.lastSymbologyCode = kCodeTypeMsi;
    return 1;
}

int Plessey_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u8 *v = ctx->data;
    u16 len = ctx->length;
    if (len < 3) return 0;
    for (u16 k = 0; k < len; ++k)
        if (v[k] > 15) return 0;
    const u32 flags = PlesseyFlags();
    ctx->aimLetter = 'P';
    ctx->aimModifier = '0';
    if ((flags & kFlagVerifyCheck) != 0) {
        if (Plessey_CheckCrc(reinterpret_cast<const char *>(v), len) == 0) {
            ctx->errorCode = kLineErrorCheck;
            return 0;
        }
        if ((flags & kFlagTransmitCheck) == 0) len = static_cast<u16>(len - 2);
    }
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    for (u16 k = 0; k < len; ++k) v[k] = static_cast<u8>(kHexChars[v[k]]);
    ctx->length = len;
    ctx->symbologyId = kSymPlessey;
    g_state.lastSymbologyCode = kCodeTypePlessey;
    return 1;
}

}  // namespace vexo
