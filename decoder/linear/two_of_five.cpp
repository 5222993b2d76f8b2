#include "linear/two_of_five.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/width_reader.h"

namespace vexo {

// Two of five patterns (ISO/IEC 16390, table of character encodation), N = 1 and W = 2.
constexpr i32 kTwoOfFiveKeys[kTwoOfFiveDigits] = {
    0x11221, 0x21112, 0x12112, 0x22111, 0x11212,  // 0 NNWWN, 1 WNNNW, 2 NWNNW, 3 WWNNN, 4 NNWNW
    0x21211, 0x12211, 0x11122, 0x21121, 0x12121,  // 5 WNWNN, 6 NWWNN, 7 NNNWW, 8 WNNWN, 9 NWNWN
};
static_assert(sizeof kTwoOfFiveKeys / sizeof kTwoOfFiveKeys[0] == 10);

// Two of the five bars and two of the three widest spaces wide.
constexpr u8 kItfCandidateList[kItfCandidates] = {0xC6, 0xC5, 0xC3, 0xA6, 0xA5, 0xA3, 0x66, 0x65, 0x63};
static_assert(sizeof kItfCandidateList == 9);

LINE_READ_HISTORY g_itfHistory;

namespace {

constexpr u8 kItfBlock[8] = {14, 18, 10, 10, 6, 11, 3, 4};
constexpr int kPairStride = 10;
constexpr int kStartElements = 4;
constexpr i32 kCodeTypeItf = 27, kCodeTypeItf6 = 28, kCodeTypeItf14 = 29, kCodeTypeW49x12 = 32,
              kCodeTypeW49x14 = 33;

// Element k of a pattern in reading order, the pointer as the searches give it: forward
// elements lie after it, reversed ones before it (k may be negative for a stop).
i32 W(const u16 *p, int k, int dir) {
    return dir > 0 ? static_cast<i32>(p[k + 1]) - p[k] : static_cast<i32>(p[1 - k]) - p[-k];
}

i32 Abs(i32 v) { return v < 0 ? -v : v; }

int StartShape(const u16 *p, int dir) {
    const i32 w0 = W(p, 0, dir), w1 = W(p, 1, dir), w2 = W(p, 2, dir), w3 = W(p, 3, dir);
    return Abs(w0 - w2) * 3 < w0 + w2 && Abs(w1 - w3) * 3 < w1 + w3 ? 1 : 0;
}

int StopShape(const u16 *p, int dir) {
    const i32 wide = W(p, -2, dir), last = W(p, 0, dir);
    return 5 * last < 4 * wide && wide < 4 * last ? 1 : 0;
}

bool Enabled(int id) { return (g_params.flagsWord[id] & kFlagEnabled) != 0; }
bool Transmit(int id) { return (g_params.flagsWord[id] & kFlagTransmitCheck) != 0; }

bool Mod10Holds(const u8 *d, u16 n) { return n >= 2 && Line_CheckDigitMod10(d, static_cast<u16>(n - 1)) == d[n - 1]; }
bool Weights49Hold(const u8 *d, u16 n) {
    return n >= 2 && Line_CheckDigitWeights49(d, static_cast<u16>(n - 1)) == d[n - 1];
}

// The fixed-length members (steps 1-3): 1 with id, identifier and length set, else 0.
int FixedForm(LINE_DECODE_CTX *ctx, u16 *len) {
    const u8 *d = ctx->data;
    const u16 n = *len;
    if (n == 14 && Enabled(kSymItf14) && Mod10Holds(d, n)) {
        ctx->aimModifier = Transmit(kSymItf14) ? '1' : '3';
        if (!Transmit(kSymItf14)) *len = 13;
        ctx->symbologyId = kSymItf14;
        g_state.lastSymbologyCode = kCodeTypeItf14;
        return 1;
    }
    const bool w49x14 = n == 14 && Enabled(kSymItf14W49) && Weights49Hold(d, n);
    const bool w49x12 = n == 12 && Enabled(kSymItf12W49) && Weights49Hold(d, n);
    if (w49x14 || w49x12) {
        const int id = w49x14 ? kSymItf14W49 : kSymItf12W49;
        ctx->aimLetter = 'X';
        ctx->aimModifier = '0';
        if (!Transmit(id)) *len = static_cast<u16>(n - 1);
        ctx->symbologyId = static_cast<u16>(id);
        g_state.lastSymbologyCode = w49x14 ? kCodeTypeW49x14 : kCodeTypeW49x12;
        return 1;
    }
    if (n == 6 && Enabled(kSymItf6) && Mod10Holds(d, n)) {
        ctx->aimModifier = Transmit(kSymItf6) ? '1' : '3';
        if (!Transmit(kSymItf6)) *len = 5;
        ctx->symbologyId = kSymItf6;
        g_state.lastSymbologyCode = kCodeTypeItf6;
        return 1;
    }
    return 0;
}

// The length mask: bit k admits the lengths 2k + 1 and 2k + 2, up to 64.
bool MaskAdmits(u16 len) {
    if ((g_params.optionWord & kOptionItfLengthMask) == 0) return true;
    if (len > 64 || len == 0) return false;
    return ((g_params.itfLengthMask >> ((len + 1) / 2 - 1)) & 1u) != 0;
}

}  // namespace

int Itf_MatchStart(const u16 *edge) { return StartShape(edge, 1); }
int Itf_MatchStartReversed(const u16 *edge) { return StartShape(edge, -1); }
int Itf_MatchStopReversed(const u16 *edge) { return StopShape(edge, -1); }
int Itf_MatchStop(const u16 *edge) { return StopShape(edge, 1); }

void Itf_Reset() { Line_EmptyHistory(&g_itfHistory); }

int Itf_IsEnabled() {
    for (int id = kSymItf; id <= kSymItf12W49; ++id)
        if (Enabled(id)) return 1;
    return 0;
}

int Itf_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kItfBlock, &Itf_MatchStart, &Itf_MatchStartReversed, &Itf_MatchStopReversed,
                              &Itf_MatchStop);
}

u16 Itf_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    const i32 digits = (edges - 8) / 5;
    if (digits <= 1 || edges <= 17 || ctx->capacity < digits || digits > kItfMaxDigits) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Line_MeasureStart(ctx, kWidthIdItf, 3, 10, 1, 0, 0, 0, 0) == 0) return 0;
    Line_SetWidthTolerances(20, 30, 7, 24, 6, 55, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdItf, 1, 0, 5, 5, kTwoOfFiveKeys, kTwoOfFiveDigits, 3, kItfCandidateList, 0,
                         kItfCandidates);
    const i16 d = ctx->direction < 0 ? -1 : 1;
    u16 length = 0;
    for (i32 at = kStartElements;; at += kPairStride) {
        if (at > kStartElements) {
            g_widthReader.previous = g_widthReader.current;
            const i32 p = ctx->startIndex + at * d;
            const i32 available = p < 0 || p >= ctx->edgeCount ? 0 : (d > 0 ? ctx->edgeCount - p : p + 1);
            if (Line_LoadCharWidthsMode(&ctx->edgesBase[available > 0 ? p : 0], d, 10, kWidthIdItf, available) == 0)
                return 0;
        }
        if (Line_ReadWidthChar(&refs, &setup) == 0 || length + 2 > ctx->capacity) return 0;
        const u16 pair = g_widthReader.current.acceptedValue;
        ctx->data[length++] = static_cast<u8>(pair >> 8);
        ctx->data[length++] = static_cast<u8>(pair & 0xFF);
        if (at > kStartElements && Line_UpdateReferences(&refs, 1) == 0) return 0;
        setup.mode = 0;
        // Elements left before the three of the stop once this pair is read.
        if ((edges - 1 - 3) - (at + kPairStride) <= 8) break;
    }
    if (Line_AcceptRead(&g_itfHistory, ctx->data, length) == 0) return 0;
    ctx->length = length;
    return length;
}

int Itf_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u16 len = ctx->length;
    for (u16 k = 0; k < len; ++k)
        if (ctx->data[k] > 9) return 0;
    ctx->aimLetter = 'I';
    ctx->aimModifier = '0';
    if (FixedForm(ctx, &len) == 0) {
        const u32 word = g_params.flagsWord[kSymItf];
        if ((word & kFlagEnabled) == 0 || len <= 1) return 0;
        if ((word & kFlagVerifyCheck) != 0) {
            if (!Mod10Holds(ctx->data, len)) {
                ctx->errorCode = kLineErrorCheck;
                return 0;
            }
            ctx->aimModifier = '1';
            if ((word & kFlagTransmitCheck) == 0) {
                ctx->aimModifier = '3';
                --len;
            }
        }
        if (!MaskAdmits(len) ||
            !Line_IsLengthAllowed(len, static_cast<u16>(word & kMinLengthMask), static_cast<u16>((word & kMaxLengthMask) >> 8))) {
            ctx->errorCode = kLineErrorLength;
            return 0;
        }
        ctx->symbologyId = kSymItf;
        g_state.lastSymbologyCode = kCodeTypeItf;
    }
    for (u16 k = 0; k < len; ++k) ctx->data[k] = static_cast<u8>('0' + ctx->data[k]);
    ctx->length = len;
    return 1;
}

}  // namespace vexo
