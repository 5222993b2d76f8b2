// When stored line results become the module's output, and how its text is built:
// a single symbol (with its component), a coupon with its extension, two ITF reads joined
// into 26 digits, two symbols in reading order, and the fallbacks after the region loop.
#include <cstring>

#include "core/params.h"
#include "core/state.h"
#include "linear_image/lineimg_module.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

constexpr i32 kItfShort = 12;
constexpr i32 kItfLong = 14;
constexpr i32 kCodeUpcACoupon = 58;
constexpr i32 kCodeEan13Coupon = 59;

bool IsEanUpc(i32 id) { return id == kSymEan8 || id == kSymEan13 || id == kSymUpcE || id == kSymUpcA; }
bool IsCouponMainId(i32 id) { return id == kSymUpcA || id == kSymEan13; }
bool IsExtensionId(i32 id) { return id == kSymGs1128 || id == kSymDataBar; }
bool Linked(i32 flag) { return flag >= 1 && flag <= 14; }

bool CompositeLinked(const LINEIMG_RUN *run, i32 r) {
    const i32 id = run->id[r];
    return Linked(run->linkFlag[r]) && (id == kSymGs1128 || id == kSymDataBar || IsEanUpc(id));
}

bool BeginsWith(const u8 *text, i32 length, const char *prefix) {
    const i32 n = static_cast<i32>(std::strlen(prefix));
    return text != nullptr && length >= n && std::memcmp(text, prefix, static_cast<size_t>(n)) == 0;
}

i32 Bounded(i32 n, i32 room) { return n < 0 ? 0 : (n > room ? room : n); }

// Writes a followed by b into the output text with a zero byte after them; answers their
// length. The output length is left to the caller, so that a refused join reports nothing.
i32 WriteText(const u8 *a, i32 na, const u8 *b, i32 nb) {
    u8 *out = g_lineImgOutput.text;
    const i32 room = kLineImgOutputBytes - 1;
    na = a != nullptr ? Bounded(na, room) : 0;
    nb = b != nullptr ? Bounded(nb, room - na) : 0;
    if (na > 0) std::memmove(out, a, static_cast<size_t>(na));
    if (nb > 0) std::memmove(out + na, b, static_cast<size_t>(nb));
    out[na + nb] = 0;
    return na + nb;
}

i32 ComponentLength(const LINEIMG_RUN *run, i32 r) {
    return run->componentText[r] != nullptr ? Bounded(run->componentLength[r], kLineImgComponentBytes) : 0;
}

i32 TextLength(const LINEIMG_RUN *run, i32 r) { return Bounded(run->length[r], kLineImgTextBytes - 1); }

int Output(i32 n) {
    g_lineImgOutput.length = n;
    return 1;
}

// The output is result r alone; the current id and AIM become its own.
int OutputAlone(const LINEIMG_RUN *run, i32 r) {
    LINEIMG_LINE_STATE &st = g_lineImgState;
    st.id = run->id[r];
    st.aimLetter = static_cast<u8>(run->aim[r][0]);
    st.aimModifier = static_cast<u8>(run->aim[r][1]);
    return Output(WriteText(run->text[r], TextLength(run, r), nullptr, 0));
}

void SetPart(i32 k, i32 kind, i32 id, i32 length, char letter, char modifier) {
    LINEIMG_OUTPUT &o = g_lineImgOutput;
    o.kinds[k] = kind;
    o.ids[k] = id;
    o.lengths[k] = length;
    o.aimChars[3 * k] = ']';
    o.aimChars[3 * k + 1] = letter;
    o.aimChars[3 * k + 2] = modifier;
    o.aimChars[3 * k + 3] = 0;
    o.partCount = k + 1;
}

// The mean of a quad's x (axis 0) or y (axis 1).
i32 Mean(const REGION_QUAD &q, int axis) {
    i64 s = 0;
    for (const POINT_I32 &c : q.c) s += axis == 0 ? c.x : c.y;
    return static_cast<i32>(s >> 2);
}

bool Overlap(const LINEIMG_RUN *run) {
    const REGION_QUAD &q0 = run->quad[0];
    const REGION_QUAD &q1 = run->quad[1];
    const GEO_POINT centre0{Mean(q0, 0), Mean(q0, 1)};
    if (Geo_PointInQuad(&centre0, &q1) == 1 || Geo_PointInQuad(&run->centre[0], &q1) == 1) return true;
    if (Geo_PointInQuad(&run->centre[1], &q0) == 1) return true;
    for (int k = 0; k < 4; ++k)
        if (Geo_PointInQuad(&q0.c[k], &q1) == 1 || Geo_PointInQuad(&q1.c[k], &q0) == 1) return true;
    return false;
}

// Results 0 and 1 in reading order when both lie the same way; 0 otherwise.
int JoinInOrder(const LINEIMG_RUN *run) {
    if (LineImg_SameOrientation(run->quad, run->orientation) == 0) return 0;
    const i8 d = static_cast<i8>(run->auxDirection[0] & 0xFF);
    const bool swap = LineImg_IsSecondFirst(run->quad, d, run->orientation[0]) == 1;
    const i32 a = swap ? 1 : 0;
    return Output(WriteText(run->text[a], TextLength(run, a), run->text[1 - a], TextLength(run, 1 - a)));
}

bool PairingOn() {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    return o.pairMode != 0 || o.pairAll != 0 || o.joinItf != 0;
}

bool AllPairing() {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    return o.pairMode != 0 && o.pairAll != 0 && o.joinItf != 0;
}

int AcceptPlain(const LINEIMG_RUN *run) {
    if (run->length[0] <= 0 || (run->id[0] != 0 && run->id[0] != kSymFixed8)) return 0;
    return Output(WriteText(run->text[0], TextLength(run, 0), nullptr, 0));
}

bool PassCouponRule(const LINEIMG_RUN *run) {
    if (g_lineImgOutput.couponMode <= 0) return true;
    for (i32 r = 0; r < run->count && r < kLineImgResultCap; ++r)
        if (IsExtensionId(run->id[r]) && LineImg_IsCouponExtension(run->text[r], run->length[r], run->id[r]) == 1)
            return false;
    return true;
}

// Coupon main parts wait for their extension while regions remain.
bool WaitForExtension(const LINEIMG_RUN *run) {
    const i32 mode = g_lineImgOutput.couponMode;
    const i32 next = g_lineImgState.nextRegion;
    const i32 regions = g_lineImgRegions.count;
    const bool waiting = (mode == 1 && run->couponCount == 1 && next < regions) ||
                         (mode == 2 && run->couponCount > 0 && next <= regions);
    if (!waiting) return false;
    return IsCouponMainId(run->id[0]) || (run->count == 2 && IsCouponMainId(run->id[1]));
}

}  // namespace

int LineImg_IsCouponMain(const u8 *text, i32 length, i32 id) {
    if (text == nullptr) return 0;
    if (id == kSymUpcA) {
        const i32 at = (g_params.flagsWord[kSymUpcA] & kFlagUpcPreamble) != 0 ? 1 : 0;
        return length > at && text[at] == '5' ? 1 : 0;
    }
    if (id == kSymEan13) return BeginsWith(text, length, "99") ? 1 : 0;
    return 0;
}

int LineImg_IsCouponExtension(const u8 *text, i32 length, i32 id) {
    if (id == kSymGs1128)
        return BeginsWith(text, length, "8100") || BeginsWith(text, length, "8101") || BeginsWith(text, length, "8102")
                   ? 1
                   : 0;
    if (id == kSymDataBar) return BeginsWith(text, length, "8110") ? 1 : 0;
    return 0;
}

void LineImg_MarkCouponParts(LINEIMG_RUN *run) {
    if (run == nullptr) return;
    for (i32 r = 0; r < run->count && r < kLineImgResultCap; ++r) {
        if (run->couponPart[r] == 1) continue;
        const i32 id = run->id[r];
        const bool main = IsCouponMainId(id) && LineImg_IsCouponMain(run->text[r], run->length[r], id) == 1;
        const bool extension = IsExtensionId(id) && LineImg_IsCouponExtension(run->text[r], run->length[r], id) == 1;
        if (main || extension) {
            run->couponPart[r] = 1;
            ++run->couponCount;
        }
    }
}

int LineImg_JoinUpcEanPair(LINEIMG_RUN *run) {
    if (run == nullptr || run->count != 2) return 0;
    i32 main = -1;
    if (IsCouponMainId(run->id[0]) && IsExtensionId(run->id[1])) main = 0;
    else if (IsCouponMainId(run->id[1]) && IsExtensionId(run->id[0])) main = 1;
    if (main < 0) return 0;
    const i32 ext = 1 - main;
    if (LineImg_IsCouponMain(run->text[main], run->length[main], run->id[main]) == 0) return 0;
    if (LineImg_IsCouponExtension(run->text[ext], run->length[ext], run->id[ext]) == 0) return 0;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    st.id = run->id[main];
    g_state.lastSymbologyCode = run->id[main] == kSymUpcA ? kCodeUpcACoupon : kCodeEan13Coupon;
    st.aimLetter = 'E';
    st.aimModifier = '0';
    const i32 nm = TextLength(run, main);
    const i32 ne = TextLength(run, ext);
    if (g_lineImgOutput.couponDataBarOnly == 1 && run->id[ext] == kSymDataBar) {
        st.id = kSymDataBar;
        st.aimLetter = 'e';
        SetPart(0, kPartLinear, kSymDataBar, ne, run->aim[ext][0], run->aim[ext][1]);
        return Output(WriteText(run->text[ext], ne, nullptr, 0));
    }
    SetPart(0, kPartLinear, run->id[main], nm, run->aim[main][0], run->aim[main][1]);
    SetPart(1, kPartLinear, run->id[ext], ne, run->aim[ext][0], run->aim[ext][1]);
    return Output(WriteText(run->text[main], nm, run->text[ext], ne));
}

int LineImg_OutputSingle(LINEIMG_RUN *run) {
    if (run == nullptr || run->count <= 0) return 0;
    const i32 nc = ComponentLength(run, 0);
    if (g_lineImgState.linkFlag > 0 && run->count == 1) {
        if (run->componentLength[0] <= 0) return 0;
        const i32 n = WriteText(run->text[0], TextLength(run, 0), run->componentText[0], nc);
        if (run->id[0] != kSymDataBar) {
            SetPart(0, kPartLinear, run->id[0], TextLength(run, 0), run->aim[0][0], run->aim[0][1]);
            SetPart(1, kPartComponent, run->componentId[0], nc, 'e', '0');
        }
        return Output(n);
    }
    if (PairingOn() || run->count != 1) return 0;
    return Output(WriteText(run->text[0], TextLength(run, 0), run->componentText[0], nc));
}

int LineImg_JoinItfPair(LINEIMG_RUN *run, i32 pairedId) {
    if (run == nullptr || !AllPairing() || run->count != 2) return 0;
    i32 shortPart = -1, longPart = -1;
    for (i32 r = 1; r >= 0; --r) {
        if (run->id[r] != pairedId) continue;
        if (run->length[r] == kItfShort) shortPart = r;
        if (run->length[r] == kItfLong) longPart = r;
    }
    if (shortPart < 0 || longPart < 0) return 0;
    return Output(WriteText(run->text[shortPart], kItfShort, run->text[longPart], kItfLong));
}

int LineImg_SameOrientation(const REGION_QUAD quads[2], const u8 orientation[2]) {
    if (quads == nullptr || orientation == nullptr || orientation[0] != orientation[1]) return 0;
    for (int k = 0; k < 2; ++k) {
        const POINT_I32 *c = quads[k].c;
        const i64 ay = c[0].y > c[1].y ? static_cast<i64>(c[0].y) - c[1].y : static_cast<i64>(c[1].y) - c[0].y;
        const i64 ax = c[0].x > c[1].x ? static_cast<i64>(c[0].x) - c[1].x : static_cast<i64>(c[1].x) - c[0].x;
        if (orientation[k] != (ay >= ax ? 2 : 1)) return 0;
    }
    return 1;
}

int LineImg_IsSecondFirst(const REGION_QUAD quads[2], i8 direction, u8 orientation) {
    if (quads == nullptr) return 0;
    const bool forward = direction == 1;
    if (orientation == 1) return (Mean(quads[0], 1) >= Mean(quads[1], 1) ? forward : !forward) ? 1 : 0;
    const i32 x0 = Mean(quads[0], 0);
    const i32 x1 = Mean(quads[1], 0);
    if (quads[0].c[kTopLeft].y < quads[0].c[kTopRight].y) return (x0 >= x1 ? !forward : forward) ? 1 : 0;
    return (x0 > x1 ? forward : !forward) ? 1 : 0;
}

int LineImg_TryJoinTwo(LINEIMG_RUN *run) {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    if (run == nullptr || o.pairMode == 0 || o.pairAll == 0 || o.joinItf != 0 || run->count != 2) return 0;
    WriteText(run->text[0], TextLength(run, 0), run->text[1], TextLength(run, 1));
    if (Overlap(run)) return 0;
    return JoinInOrder(run);
}

int LineImg_AcceptResult(LINEIMG_RUN *run) {
    if (run == nullptr || run->count <= 0) return 0;
    if (AcceptPlain(run) == 1) return 1;
    const i32 mode = g_lineImgOutput.couponMode;
    if (mode == 1 || mode == 2) {
        if (run->couponCount == 2 && LineImg_JoinUpcEanPair(run) == 1) return 1;
        if (WaitForExtension(run)) return 0;
    }
    if (!PassCouponRule(run)) return 0;
    if (LineImg_OutputSingle(run) == 1) return 1;
    if (LineImg_JoinItfPair(run, g_lineImgOutput.pairedId) == 1) return 1;
    return LineImg_TryJoinTwo(run);
}

int LineImg_OutputFirstOther(LINEIMG_RUN *run, i32 pairedId) {
    if (run == nullptr || run->count <= 0 || !AllPairing()) return 0;
    for (i32 r = 0; r < run->count && r < kLineImgResultCap; ++r)
        if (run->id[r] != pairedId && !CompositeLinked(run, r)) return OutputAlone(run, r);
    return 0;
}

int LineImg_TryJoinFallback(LINEIMG_RUN *run) {
    const LINEIMG_OUTPUT &o = g_lineImgOutput;
    if (run == nullptr || run->count <= 0 || o.pairMode == 0 || o.pairAll != 0) return 0;
    i32 taken = 0;
    for (i32 r = 0; r < run->count && r < kLineImgResultCap; ++r)
        if (!(IsEanUpc(run->id[r]) && Linked(run->linkFlag[r]))) ++taken;
    if (taken == 0) return 0;
    if (taken == 1) {
        if (CompositeLinked(run, 0)) return 0;
        const i32 id = run->id[0];
        if (o.couponMode == 2 && run->couponPart[0] == 1 && (IsCouponMainId(id) || IsExtensionId(id))) return 0;
        return OutputAlone(run, 0);
    }
    return JoinInOrder(run);
}

int LineImg_OutputCouponPart(LINEIMG_RUN *run) {
    if (run == nullptr || g_lineImgOutput.couponMode != 1 || run->couponCount != 1 || run->count <= 0) return 0;
    struct Choice {
        i32 result;
        bool ean13;  // ids 2 and 6 (code 59) instead of 2, 10 and 26 (code 58)
    };
    static constexpr Choice kOrder[] = {{0, false}, {1, false}, {0, true}, {1, true}};
    static_assert(sizeof(kOrder) / sizeof(kOrder[0]) == 4);
    for (const Choice &c : kOrder) {
        if (c.result >= run->count || run->couponPart[c.result] != 1) continue;
        const i32 id = run->id[c.result];
        const bool fits = c.ean13 ? (id == kSymGs1128 || id == kSymEan13)
                                  : (id == kSymGs1128 || id == kSymUpcA || id == kSymDataBar);
        if (!fits) continue;
        OutputAlone(run, c.result);
        g_state.lastSymbologyCode = c.ean13 ? kCodeEan13Coupon : kCodeUpcACoupon;
        return 1;
    }
    return 0;
}

}  // namespace vexo
