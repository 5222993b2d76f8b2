// The 2- and 5-digit add-ons beside an EAN/UPC symbol: finding the add-on guard behind the
// gap, reading its characters with the symbol's character decoder, checking the parity the
// digits call for, and telling when something add-on-like follows that does not decode.
#include "linear/ean_upc.h"
#include "linear/line_edge_reader.h"

namespace vexo {

i32 addOnSeen;

// Parities of the five-digit add-on by its check value (ISO/IEC 15420), G = 1, the first
// digit in the highest bit.
constexpr u8 kEanAddOn5Parity[10] = {24, 20, 18, 17, 12, 6, 3, 10, 9, 5};
static_assert(sizeof kEanAddOn5Parity == 10);

namespace {

// Edges of the add-on side, counted in steps from the given edge.
struct SIDE {
    const u16 *edges;
    int d;

    i32 At(i32 k) const { return edges[k * d]; }
    i32 Width(i32 a, i32 b) const {
        const i32 v = At(b) - At(a);
        return v < 0 ? -v : v;
    }
};

// Neighbouring groups agree when they differ by at most a fifth of the earlier one.
bool Agree(i32 earlier, i32 later) {
    const i32 diff = later > earlier ? later - earlier : earlier - later;
    return diff * 5 <= earlier;
}

enum class Step { kMove, kNextTry, kTwo, kFive };

// One position of the add-on guard at a0 (enough edges for a13 checked by the caller): the
// group widths of the characters with their separators, each against the one before. A
// group whose far edge is not on the line ends the comparison as a short remainder would.
Step JudgeGroups(const SIDE &s, i32 a0, i32 count, i32 r) {
    const i32 g1 = s.Width(a0, a0 + 1), g2 = s.Width(a0 + 1, a0 + 2), g3 = s.Width(a0 + 2, a0 + 3);
    const i32 X = s.Width(a0 + 3, a0 + 9);
    const i32 y1 = (6 * g2) / 5 + (g1 + g3) / 3 + s.Width(a0 + 3, a0 + 7);
    if (!Agree(X, y1)) return Step::kMove;
    if (r < 10) return Step::kNextTry;
    const i32 y2 = s.Width(a0 + 7, a0 + 13);
    if (!Agree(y1, y2)) return Step::kMove;
    if (r < 16 || a0 + 19 >= count) return Step::kTwo;
    const i32 y3 = s.Width(a0 + 13, a0 + 19);
    if (!Agree(y2, y3)) return Step::kTwo;
    if (r < 22 || a0 + 25 >= count) return Step::kNextTry;
    const i32 y4 = s.Width(a0 + 19, a0 + 25);
    if (!Agree(y3, y4)) return Step::kMove;
    if (r < 28 || a0 + 31 >= count) return Step::kNextTry;
    return Agree(y4, s.Width(a0 + 25, a0 + 31)) ? Step::kFive : Step::kMove;
}

}  // namespace

int Ean_FindAddOnStart(const u16 *edges, i32 count, int direction, u32 W, i32 *offset) {
    if (edges == nullptr || offset == nullptr || count < 16 || (direction != 1 && direction != -1)) return 0;
    const SIDE s{edges, direction};
    const i64 gapLimit = 4 * static_cast<i64>(W);
    i32 a0 = 2;
    i64 gap = s.Width(1, 2);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (gap > gapLimit || count - a0 < 14) return 0;
        const i32 g = s.Width(a0, a0 + 3);
        const i32 X = s.Width(a0 + 3, a0 + 9);
        Step step = Step::kMove;
        if (X < 9 * g && 9 * g < 5 * X) step = JudgeGroups(s, a0, count, count - (attempt == 0 ? 3 : 5));
        if (step == Step::kTwo || step == Step::kFive) {
            *offset = a0;
            return step == Step::kTwo ? 10 : 22;
        }
        if (step == Step::kMove) {
            gap += s.Width(a0, a0 + 2);
            a0 += 2;
        }
    }
    return 0;
}

int Ean_ReadAddOnCharacters(const u16 *edges, int elementCount, u8 *values, int direction) {
    const int n = (elementCount - 1) / 6;
    if (edges == nullptr || values == nullptr || n < 1 || n > 5) return 0;
    const int d = direction < 0 ? -1 : 1;
    const SIDE s{edges, d};
    EDGE_READER_STATE &st = g_edgeReader;
    Line_LoadSixWidths(edges, static_cast<i16>(d), 2);
    st.acceptedPattern = 0x12;  // the guard's last two elements
    u8 level = 5;
    for (int k = 0; k < n; ++k) {
        const int at = 2 + 6 * k;
        const bool last = k == n - 1;
        const u16 before = static_cast<u16>(s.Width(at - 1, at));
        Line_LoadSixWidths(&edges[at * d], static_cast<i16>(d), 4);
        const u32 current = st.totalWidth;
        const u32 previous = static_cast<u32>(k == 0 ? s.Width(at, at + 6) : s.Width(at - 6, at));
        const u32 unit = ((current + previous) * 5u) >> 3;
        if (unit == 0 || unit > 0xFFFF) return 0;
        st.beforeWidth = before;
        st.beforeModules = static_cast<u8>((st.acceptedPattern & 0xF) != 0 ? st.acceptedPattern & 0xF : 1);
        // No separator follows the last character: half its width stands for the quiet zone.
        st.afterWidth = static_cast<u16>(last ? current / 2 : s.Width(at + 4, at + 5));
        st.afterModules = static_cast<u8>(last ? 4 : 1);
        const int entry = Ean_DecodeCharacter(static_cast<u16>(unit), &level);
        if (entry < 0) return 0;
        values[k] = static_cast<u8>(entry);
        if (!last) st.acceptedPattern = (st.acceptedPattern << 8) | 0x11;  // with its separator
    }
    return n;
}

int Ean_DecodeAddOn(const u16 *edges, int elementCount, u8 *digits, int direction) {
    u8 v[5];
    const int n = Ean_ReadAddOnCharacters(edges, elementCount, v, direction);
    if ((n != 2 && n != 5) || digits == nullptr) return 0;
    const i32 parity = Ean_ParityOf(v, n);
    for (int k = 0; k < n; ++k) v[k] = static_cast<u8>(v[k] % 10);
    if (n == 2 && parity != (10 * v[0] + v[1]) % 4) return 0;
    if (n == 5 && parity != kEanAddOn5Parity[((v[0] + v[2] + v[4]) * 3 + (v[1] + v[3]) * 9) % 10]) return 0;
    for (int k = 0; k < n; ++k) digits[k] = v[k];
    return n;
}

int Ean_IsAddOnLikeGroup(const u16 *edges, int direction, const u32 *limits, int *skip) {
    if (edges == nullptr || limits == nullptr) return 0;
    const SIDE s{edges, direction < 0 ? -1 : 1};
    u32 total = 0;
    for (int k = 0; k < 6; ++k) {
        const u32 w = static_cast<u32>(s.Width(k, k + 1));
        if (w < limits[0] || w > limits[1]) {
            if (skip != nullptr) *skip = k + 1;
            return 0;
        }
        total += w;
    }
    if (total >= limits[2] && total <= limits[3]) return 1;
    if (skip != nullptr) *skip = 6;
    return 0;
}

int Ean_DetectAddOnTrace(const u16 *edges, i32 count, int direction, u32 W) {
    if (edges == nullptr || count < 3) return 0;
    const SIDE s{edges, direction < 0 ? -1 : 1};
    if (static_cast<u32>(s.Width(1, 2)) > 3 * W) return 0;
    // 0.8 to 4.8 modules an element, 7.2 to 13 modules a group of six.
    const u32 limits[4] = {4 * W / 35, 24 * W / 35, 36 * W / 35, 13 * W / 7};
    const i64 reach = 8 * static_cast<i64>(W);
    for (i32 moved = 0; moved + 7 < count - 2;) {
        const i32 first = 2 + moved;
        if (s.Width(0, first) > reach) return 0;
        int skip = 6;
        if (Ean_IsAddOnLikeGroup(&edges[first * s.d], s.d, limits, &skip) == 1) return 1;
        moved += skip;
    }
    return 0;
}

u16 Ean_ReadAddOn(const u16 *edges, i32 count, int direction, u32 W, u8 *out) {
    addOnSeen = 0;
    if (edges == nullptr || out == nullptr || count <= 9) return 0;
    i32 offset = 0;
    const int k = Ean_FindAddOnStart(edges, count, direction, W, &offset);
    if (k == 0) {
        addOnSeen = Ean_DetectAddOnTrace(edges, count, direction, W);
        return 0;
    }
    addOnSeen = 1;
    const int d = direction < 0 ? -1 : 1;
    return static_cast<u16>(Ean_DecodeAddOn(&edges[(offset + 1) * d], ((k - 2) / 4) * 6 + 1, out, d));
}

}  // namespace vexo
