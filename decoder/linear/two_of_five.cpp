#include "linear/two_of_five.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/var25a_fixed8.h"
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


// Variant B assigns the same patterns to other digits.
constexpr i32 kVar25bKeys[kTwoOfFiveDigits] = {
    0x22111, 0x11122, 0x11212, 0x11221, 0x12112,  // 0 WWNNN, 1 NNNWW, 2 NNWNW, 3 NNWWN, 4 NWNNW
    0x12121, 0x12211, 0x21112, 0x21121, 0x21211,  // 5 NWNWN, 6 NWWNN, 7 WNNNW, 8 WNNWN, 9 WNWNN
};
static_assert(sizeof kVar25bKeys / sizeof kVar25bKeys[0] == 10);

LINE_READ_HISTORY g_mat25History;
LINE_READ_HISTORY g_ind25History;
LINE_READ_HISTORY g_var25bHistory;
LINE_READ_HISTORY g_iata25History;

namespace {

constexpr u8 kMatrixCandidates[3] = {0x18, 0x12, 0x03};
constexpr u8 kBarsCandidates[4] = {0xC0, 0xA0, 0x60, 0x90};
static_assert(sizeof kMatrixCandidates == 3 && sizeof kBarsCandidates == 4);

constexpr u8 kMat25Block[6] = {30, 30, 6, 28, 6, kSymMatrix25};
constexpr u8 kInd25Block[8] = {36, 42, 10, 30, 6, 18, 5, 6};
constexpr u8 kVar25bBlock[8] = {28, 32, 6, 24, 5, 16, 3, 4};
constexpr u8 kIata25Block[8] = {34, 38, 10, 30, 6, 19, 3, 4};

i32 Max(i32 a, i32 b) { return a > b ? a : b; }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }
// a and b agree within num:den (min x den > max x num).
bool Near(i32 a, i32 b, i32 num, i32 den) { return Min(a, b) * den > Max(a, b) * num; }
bool Below08(i32 a, i32 b) { return 5 * a < 4 * b; }

// Elements of the start in its own order; a stop, its mirror, lists where each lies.
constexpr i8 kStartOrder[6] = {0, 1, 2, 3, 4, 5};
constexpr i8 kMatrixStopOrder[6] = {-4, -3, -2, -1, 0, -5};
constexpr i8 kIndustrialStopOrder[6] = {-4, -3, 0, -1, -2, -5};

// Wide bar, then a narrow bar, space pair and narrow bar, and a gap below three spaces.
int MatrixShape(const u16 *p, int dir, const i8 *at) {
    auto w = [&](int k) { return W(p, at[k], dir); };
    const i32 wide = w(0);
    return Below08(w(2), wide) && Below08(w(4), wide) && Near(w(1), w(3), 3, 5) && w(5) < 3 * Max(w(1), w(3)) ? 1 : 0;
}

// Two wide bars of about one width around a space pair, then a narrow bar.
int IndustrialShape(const u16 *p, int dir, const i8 *at) {
    auto w = [&](int k) { return W(p, at[k], dir); };
    const i32 a = w(0), b = w(2), wide = Max(a, b);
    return Near(a, b, 7, 10) && Below08(w(4), a) && Below08(w(4), b) && Near(w(1), w(3), 2, 3) && w(1) < wide &&
                   w(3) < wide && 2 * w(5) < 3 * wide
               ? 1
               : 0;
}

int Var25bStartShape(const u16 *p, int dir) {
    const i32 w0 = W(p, 0, dir), w1 = W(p, 1, dir), w2 = W(p, 2, dir);
    return Near(w0, w2, 7, 10) && 4 * w1 < 3 * w0 && 4 * w1 < 3 * w2 ? 1 : 0;
}

int Var25bStopShape(const u16 *p, int dir) {
    const i32 narrow = W(p, -2, dir), w0 = W(p, 0, dir);
    return narrow < w0 && Below08(narrow, w0) && narrow < W(p, -1, dir) ? 1 : 0;
}

int Var25aStartShape(const u16 *p, int dir) {
    const i32 w0 = W(p, 0, dir), w1 = W(p, 1, dir), w2 = W(p, 2, dir), w3 = W(p, 3, dir);
    return Near(w0, w2, 7, 10) && Near(w1, w3, 7, 10) && Max(w0, w2) < 3 * w1 ? 1 : 0;
}

int IataStopShape(const u16 *p, int dir) {
    const i32 wide = W(p, -2, dir);
    return W(p, 0, dir) < wide && W(p, -1, dir) < wide && W(p, -3, dir) < wide ? 1 : 0;
}

// Steps 6 and 7 of every decode: the read acceptance, then the length.
u16 Accept(LINE_DECODE_CTX *ctx, LINE_READ_HISTORY *h, u16 length) {
    if (Line_AcceptRead(h, ctx->data, length) == 0) return 0;
    ctx->length = length;
    return length;
}

// Edges available from element `at` of the symbol in reading direction, 0 when outside.
i32 EdgesFrom(const LINE_DECODE_CTX *ctx, i32 at, i32 *p) {
    const i32 d = ctx->direction < 0 ? -1 : 1;
    *p = ctx->startIndex + at * d;
    if (*p < 0 || *p >= ctx->edgeCount) {
        *p = 0;
        return 0;
    }
    return d > 0 ? ctx->edgeCount - *p : *p + 1;
}

// Matrix and variant B: characters of five elements and a gap after a start measured with
// the first character loaded; first: element of the first character, stop: its elements.
u16 DecodeSixes(LINE_DECODE_CTX *ctx, u8 id, const i32 *keys, i32 first, i32 stop, LINE_READ_HISTORY *h) {
    const i32 last = ctx->elementCount - 1;  // elements of the symbol
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    const bool matrix = id == kWidthIdMatrix25;
    if (Line_MeasureStart(ctx, id, 1, matrix ? 3 : 1, 1, matrix ? 0x111 : 2, 4, 1, 5) == 0) return 0;
    const u8 hint = g_widthReader.current.trailClass;
    Line_SetWidthTolerances(10, 0, 5, 0, 4, 13, 4, 5);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, id, 1, 0, 3, 2, keys, kTwoOfFiveDigits, 4, kMatrixCandidates, 0, 3);
    const i16 d = ctx->direction < 0 ? -1 : 1;
    u16 length = 0;
    for (i32 at = first;; at += 6) {
        if (at > first) {
            g_widthReader.previous = g_widthReader.current;
            i32 p = 0;
            const i32 available = EdgesFrom(ctx, at, &p);
            if (Line_LoadCharWidths(&ctx->edgesBase[p], d, 5, hint, available) == 0) return 0;
        }
        if (Line_ReadWidthChar(&refs, &setup) == 0 || length >= ctx->capacity) return 0;
        ctx->data[length++] = static_cast<u8>(g_widthReader.current.acceptedValue);
        if (at > first && Line_UpdateReferences(&refs, 0) == 0) return 0;
        setup.mode = 0;
        if ((last - stop) - (at + 6) <= 4) break;
    }
    return Accept(ctx, h, length);
}

// Industrial and IATA: five bars carry the digit, the spaces take the class of the
// element after the start.
void SetSpaceClasses(u8 cls) {
    WIDTH_CHAR &c = g_widthReader.current;
    for (int k = 1; k < c.elementCount && k < kWidthClassSlots; k += 2) c.classes[k] = cls;
}

// Variant A: a wide bar, then a narrow space and a narrow bar.
int Var25aStopShape(const u16 *p, int dir) {
    const i32 wide = W(p, -2, dir), last = W(p, 0, dir);
    return last < wide && Below08(last, wide) && W(p, -3, dir) < wide && W(p, -1, dir) < wide ? 1 : 0;
}

// How a verify treats a wrong check digit and unset length limits.
enum VerifyStyle { kVerifyFamily, kVerifyVar25a };

// The verify of Matrix, Industrial, variant B, IATA and variant A.
int VerifyDigits(LINE_DECODE_CTX *ctx, int id, char letter, i32 codeType, VerifyStyle style = kVerifyFamily) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u16 len = ctx->length;
    if (len <= 3) return 0;
    for (u16 k = 0; k < len; ++k)
        if (ctx->data[k] > 9) return 0;
    ctx->aimLetter = letter;
    ctx->aimModifier = '0';
    const u32 word = g_params.flagsWord[id];
    if ((word & kFlagVerifyCheck) != 0) {
        if (!Mod10Holds(ctx->data, len)) {
            if (style == kVerifyFamily) ctx->errorCode = kLineErrorCheck;
            return 0;
        }
        if ((word & kFlagTransmitCheck) == 0) --len;
    }
    const u16 lo = static_cast<u16>(word & kMinLengthMask), hi = static_cast<u16>((word & kMaxLengthMask) >> 8);
    // Variant A's defaults leave its limits unwritten; the host can only set 1-255.
    const bool open = style == kVerifyVar25a && lo == 0 && hi == 0;
    if (!open && !Line_IsLengthAllowed(len, lo, hi)) {
        ctx->errorCode = kLineErrorLength;
        return 0;
    }
    for (u16 k = 0; k < len; ++k) ctx->data[k] = static_cast<u8>('0' + ctx->data[k]);
    ctx->length = len;
    ctx->symbologyId = static_cast<u16>(id);
    g_state.lastSymbologyCode = codeType;
    return 1;
}

bool DecodeArgsOk(const LINE_DECODE_CTX *ctx) {
    return ctx != nullptr && ctx->data != nullptr && ctx->edgesBase != nullptr;
}

}  // namespace

int Mat25_MatchStart(const u16 *edge, u16 *) { return MatrixShape(edge, 1, kStartOrder); }
int Mat25_MatchStartReversed(const u16 *edge, u16 *) { return MatrixShape(edge, -1, kStartOrder); }
int Mat25_MatchStopReversed(const u16 *edge) { return MatrixShape(edge, -1, kMatrixStopOrder); }
int Mat25_MatchStop(const u16 *edge) { return MatrixShape(edge, 1, kMatrixStopOrder); }
int Ind25_MatchStart(const u16 *edge) { return IndustrialShape(edge, 1, kStartOrder); }
int Ind25_MatchStartReversed(const u16 *edge) { return IndustrialShape(edge, -1, kStartOrder); }
int Ind25_MatchStopReversed(const u16 *edge) { return IndustrialShape(edge, -1, kIndustrialStopOrder); }
int Ind25_MatchStop(const u16 *edge) { return IndustrialShape(edge, 1, kIndustrialStopOrder); }
int Var25b_MatchStart(const u16 *edge) { return Var25bStartShape(edge, 1); }
int Var25b_MatchStartReversed(const u16 *edge) { return Var25bStartShape(edge, -1); }
int Var25b_MatchStopReversed(const u16 *edge) { return Var25bStopShape(edge, -1); }
int Var25b_MatchStop(const u16 *edge) { return Var25bStopShape(edge, 1); }
int Iata25_MatchStopReversed(const u16 *edge) { return IataStopShape(edge, -1); }
int Iata25_MatchStop(const u16 *edge) { return IataStopShape(edge, 1); }
int Var25a_MatchStart(const u16 *edge) { return Var25aStartShape(edge, 1); }
int Var25a_MatchStartReversed(const u16 *edge) { return Var25aStartShape(edge, -1); }
int Var25a_MatchStop(const u16 *edge) { return Var25aStopShape(edge, 1); }
int Var25a_MatchStopReversed(const u16 *edge) { return Var25aStopShape(edge, -1); }

void Mat25_Reset() { Line_EmptyHistory(&g_mat25History); }
void Ind25_Reset() { Line_EmptyHistory(&g_ind25History); }
void Var25b_Reset() { Line_EmptyHistory(&g_var25bHistory); }
void Iata25_Reset() { Line_EmptyHistory(&g_iata25History); }
int Mat25_IsEnabled() { return Enabled(kSymMatrix25) ? 1 : 0; }
int Ind25_IsEnabled() { return Enabled(kSymIndustrial25) ? 1 : 0; }
int Var25b_IsEnabled() { return Enabled(kSymVar25b) ? 1 : 0; }
int Iata25_IsEnabled() { return Enabled(kSymIata25) ? 1 : 0; }

int Mat25_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStopAlt(state, kMat25Block, &Mat25_MatchStart, &Mat25_MatchStartReversed,
                                 &Mat25_MatchStopReversed, &Mat25_MatchStop);
}
int Ind25_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kInd25Block, &Ind25_MatchStart, &Ind25_MatchStartReversed, &Ind25_MatchStopReversed,
                              &Ind25_MatchStop);
}
int Var25b_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kVar25bBlock, &Var25b_MatchStart, &Var25b_MatchStartReversed,
                              &Var25b_MatchStopReversed, &Var25b_MatchStop);
}
int Iata25_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStop(state, kIata25Block, &Var25a_MatchStart, &Var25a_MatchStartReversed,
                              &Iata25_MatchStopReversed, &Iata25_MatchStop);
}

u16 Mat25_Decode(LINE_DECODE_CTX *ctx) {
    if (!DecodeArgsOk(ctx)) return 0;
    const i32 edges = ctx->elementCount;
    const i32 digits = (edges - 12) / 6;
    if (digits <= 3 || edges < 18 || ctx->capacity < digits) return 0;
    return DecodeSixes(ctx, kWidthIdMatrix25, kTwoOfFiveKeys, 6, 5, &g_mat25History);
}

u16 Var25b_Decode(LINE_DECODE_CTX *ctx) {
    if (!DecodeArgsOk(ctx)) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 13 || ctx->capacity < (edges - 8) / 6) return 0;
    return DecodeSixes(ctx, kWidthIdVar25b, kVar25bKeys, 4, 3, &g_var25bHistory);
}

u16 Ind25_Decode(LINE_DECODE_CTX *ctx) {
    if (!DecodeArgsOk(ctx)) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 21 || (edges - 12) / 10 > ctx->capacity) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Line_MeasureStartGiven(ctx, kWidthIdIndustrial25, 0x2289, 3, 5, 0, 0) == 0) return 0;
    const u8 hint = g_widthReader.current.trailClass;
    Line_SetWidthTolerances(20, 30, 7, 24, 6, 50, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdIndustrial25, 0, 0, 5, 4, kTwoOfFiveKeys, kTwoOfFiveDigits, 4, kBarsCandidates,
                         0, 4);
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 last = edges - 1;
    u16 length = 0;
    for (i32 at = 6;; at += 10) {
        if (Line_UpdateReferences(&refs, 1) == 0) return 0;
        g_widthReader.previous = g_widthReader.current;
        i32 p = 0;
        const i32 available = EdgesFrom(ctx, at, &p);
        if (Line_LoadCharWidths(&ctx->edgesBase[p], d, 9, hint, available) == 0) return 0;
        SetSpaceClasses(hint);
        if (Line_ReadWidthChar(&refs, &setup) == 0 || length >= ctx->capacity) return 0;
        ctx->data[length++] = static_cast<u8>(g_widthReader.current.acceptedValue);
        if ((last - 5) - (at + 10) <= 8) break;
    }
    return Accept(ctx, &g_ind25History, length);
}

u16 Iata25_Decode(LINE_DECODE_CTX *ctx) {
    if (!DecodeArgsOk(ctx)) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 17 || (edges - 8) / 10 > ctx->capacity) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Line_MeasureStart(ctx, kWidthIdIata25, 3, 9, 1, 0, 0, 0, 0) == 0) return 0;
    const u8 hint = g_widthReader.current.trailClass;
    Line_SetWidthTolerances(20, 30, 7, 24, 6, 50, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kWidthIdIata25, 1, 0, 5, 4, kTwoOfFiveKeys, kTwoOfFiveDigits, 4, kBarsCandidates, 0, 1);
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 last = edges - 1;
    u16 length = 0;
    for (i32 at = 4;; at += 10) {
        if (at > 4) {
            g_widthReader.previous = g_widthReader.current;
            i32 p = 0;
            const i32 available = EdgesFrom(ctx, at, &p);
            if (Line_LoadCharWidths(&ctx->edgesBase[p], d, 9, hint, available) == 0) return 0;
            SetSpaceClasses(hint);
        }
        if (Line_ReadWidthChar(&refs, &setup) == 0 || length >= ctx->capacity) return 0;
        ctx->data[length++] = static_cast<u8>(g_widthReader.current.acceptedValue);
        if (at > 4 && Line_UpdateReferences(&refs, 1) == 0) return 0;
        setup.mode = 0;
        if ((last - 3) - (at + 10) <= 8) break;
    }
    return Accept(ctx, &g_iata25History, length);
}

int Mat25_Verify(LINE_DECODE_CTX *ctx) { return VerifyDigits(ctx, kSymMatrix25, 'X', 36); }
int Ind25_Verify(LINE_DECODE_CTX *ctx) { return VerifyDigits(ctx, kSymIndustrial25, 'S', 37); }
int Var25b_Verify(LINE_DECODE_CTX *ctx) { return VerifyDigits(ctx, kSymVar25b, 'X', 38); }
int Iata25_Verify(LINE_DECODE_CTX *ctx) { return VerifyDigits(ctx, kSymIata25, 'R', 35); }
int Var25a_Verify(LINE_DECODE_CTX *ctx) { return VerifyDigits(ctx, kSymVar25a, 'X', 34, kVerifyVar25a); }

}  // namespace vexo
