// Two walks the Data Matrix locating code shares: the integer line walk between two pixels
// and the maximal strict runs of a sample sequence.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Point k of the integer walk from p towards q over L = max(|dx|, |dy|) steps: the major
// coordinate moves by one per point and the minor one by its own rounded error term.
inline GEO_POINT DM_WalkPoint(GEO_POINT p, GEO_POINT q, i32 l, i32 k) {
    const i64 dx = static_cast<i64>(q.x) - p.x, dy = static_cast<i64>(q.y) - p.y;
    const i64 ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const i64 ox = (2 * k * ax + l) / (2 * static_cast<i64>(l));
    const i64 oy = (2 * k * ay + l) / (2 * static_cast<i64>(l));
    return GEO_POINT{static_cast<i32>(p.x + (dx < 0 ? -ox : ox)), static_cast<i32>(p.y + (dy < 0 ? -oy : oy))};
}

inline i32 DM_ChebyshevLength(GEO_POINT p, GEO_POINT q) {
    const i64 dx = static_cast<i64>(q.x) - p.x, dy = static_cast<i64>(q.y) - p.y;
    const i64 ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const i64 l = ax > ay ? ax : ay;
    return l > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<i32>(l);
}

// Calls run(first, last, amplitude, rising) for every maximal strict ascent and descent of
// s[0..n); two equal neighbours end a run and are stepped over.
template <typename Fn>
void DM_ForEachRun(const u8 *s, i32 n, Fn run) {
    i32 i = 0;
    while (i + 1 < n) {
        if (s[i + 1] == s[i]) {
            ++i;
            continue;
        }
        const bool rising = s[i + 1] > s[i];
        i32 j = i + 1;
        while (j + 1 < n && (rising ? s[j + 1] > s[j] : s[j + 1] < s[j])) ++j;
        run(i, j, rising ? s[j] - s[i] : s[i] - s[j], rising);
        i = j;
    }
}

}  // namespace vexo
