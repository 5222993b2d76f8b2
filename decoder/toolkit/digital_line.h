// The digital line of the frame line sampler: the start point and n = max(|dx|, |dy|)
// further points of an error-term walk.
#pragma once

#include "core/types.h"

namespace vexo {

struct DigitalLineWalk {
    DigitalLineWalk(i32 x0, i32 y0, i32 x1, i32 y1)
        : x(x0), y(y0), adx(Abs(static_cast<i64>(x1) - x0)), ady(Abs(static_cast<i64>(y1) - y0)),
          sx(x1 > x0 ? 1 : (x1 < x0 ? -1 : 0)), sy(y1 > y0 ? 1 : (y1 < y0 ? -1 : 0)), ex(2 * adx - ady),
          ey(2 * ady - adx), n(adx > ady ? adx : ady) {}
    void Next() {
        ex += 2 * adx;
        if (ex > 0) {
            x += sx;
            ex -= 2 * ady;
        }
        ey += 2 * ady;
        if (ey > 0) {
            y += sy;
            ey -= 2 * adx;
        }
    }
    static i64 Abs(i64 v) { return v < 0 ? -v : v; }
    i64 x, y;
    i64 adx, ady, sx, sy, ex, ey;
    i64 n;  // further points after the start
};

}  // namespace vexo
