// Han Xin core tests on the installed image.
#include "hanxin/cscn_core_tests.h"

#include "core/pixel.h"

namespace vexo {
namespace {

constexpr i32 kRunTolerance = 8;
constexpr i32 kWalkSteps = 100;
constexpr i32 kWalkRatio = 153;  // 1024ths: the level a walk may drift from the centre's

i32 Pix(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }

bool Leaves(i32 v, i32 base, i32 polarity) { return polarity == 2 ? v < base - kRunTolerance : v > base + kRunTolerance; }

// Whether a is at least as dark (polarity 2: bright) as b.
bool AtLeast(i32 a, i32 b, i32 polarity) { return polarity == 2 ? a >= b : a <= b; }

i32 Clamp(i32 v, i32 lo, i32 hi) { return v < lo ? lo : v > hi ? hi : v; }

// One step of a walk: from value v at (c, d) over `count` pixels across the walk, starting
// `first` pixels before c. Answers the extreme value and the index it ends at.
i32 CrossExtreme(i32 v, i32 count, bool vertical, i32 c, i32 d, i32 polarity, i32 *at) {
    i32 r = v;
    i32 n = 0;
    for (i32 k = 0; k < count; ++k) {
        const i32 p = vertical ? Pix(c - 2 + k, d) : Pix(c, d - 2 + k);
        if (AtLeast(p, r, polarity)) {
            r = p;
            ++n;
        }
    }
    *at = (vertical ? c : d) - 2 + n;
    return r;
}

// Steps of one walk from the centre; dx, dy one of the four directions.
i32 Walk(i32 x, i32 y, i32 dx, i32 dy, i32 polarity, i32 level) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    const bool vertical = dx == 0;
    i32 c = x;
    i32 d = y;
    i32 v = Pix(x, y);
    i32 steps = 0;
    while (steps < kWalkSteps) {
        i32 across = 0;
        // A vertical step looks at five pixels of its row, a horizontal one at four of its column.
        const i32 r = vertical ? CrossExtreme(v, 5, true, c, d, polarity, &across)
                               : CrossExtreme(v, 4, false, c, d, polarity, &across);
        if (!AtLeast(r, level, polarity)) break;
        ++steps;
        if (vertical) {
            d += dy;
            c = across;
            if (c <= 3) c += 2;
            if (c >= w - 4) c -= 2;
            c = Clamp(c, 2, w - 3);
        } else {
            c += dx;
            d = across;
            if (d <= 3) d += 2;
            if (d >= h - 4) d -= 2;
            d = Clamp(d, 2, h - 2);
        }
        v = Pix(c, d);
        if ((dy < 0 && d <= 3) || (dy > 0 && d >= h - 4) || (dx < 0 && c <= 3) || (dx > 0 && c >= w - 4)) break;
    }
    return steps;
}

}  // namespace

POINT_I32 CSCN_RecentreInRun(i32 x, i32 y, i32 polarity) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    if (g_image.data == nullptr || x < 3 || x >= w - 2 || y < 3 || y >= h - 2) return {x, y};
    const i32 b = Pix(x, y);
    i32 top = y - 1;
    while (top > 2 && !Leaves(Pix(x, top), b, polarity)) --top;
    i32 bottom = y + 1;
    while (bottom < h - 2 && !Leaves(Pix(x, bottom), b, polarity)) ++bottom;
    const i32 cy = (top + bottom) >> 1;
    i32 left = x - 1;
    while (left > 2 && !Leaves(Pix(left, cy), b, polarity)) --left;
    i32 right = x + 1;
    while (right < w - 2 && !Leaves(Pix(right, cy), b, polarity)) ++right;
    return {(left + right) >> 1, cy};
}

i32 CSCN_CoreCompact(i32 x, i32 y, i32 polarity, i32 limit) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    if (g_image.data == nullptr || x <= 3 || x >= w - 4 || y <= 3 || y >= h - 4) return 0;
    const i32 level = Pix(x, y) * 1024 / (1024 - kWalkRatio);
    const i32 up = Walk(x, y, 0, -1, polarity, level);
    const i32 down = Walk(x, y, 0, 1, polarity, level);
    const i32 left = Walk(x, y, -1, 0, polarity, level);
    const i32 right = Walk(x, y, 1, 0, polarity, level);
    if (up > limit || down > limit || left > limit || right > limit) return 0;
    const i32 v = up + down;
    const i32 s = left + right;
    const i32 small = v < s ? v : s;
    const i32 large = v < s ? s : v;
    return small == 0 || 25 * small >= 10 * large ? 1 : 0;
}

}  // namespace vexo
