// Module edges as straight segments: the direction classes of traced edges and the grey
// centroid that places reference points.
#include "core/pixel.h"
#include "hanxin/cscn_symbol.h"

namespace vexo {
namespace {

constexpr i32 kAngleEntries = 1000;
constexpr i32 kAngleDiagonal = 785;
constexpr i32 kAngleRight = 1570;

// atan(x) for 0 < x <= 1 by its series after halving the angle twice; exact enough to
// truncate to milliradians.
constexpr f64 AngleAtan(f64 x) {
    for (i32 i = 0; i < 2; ++i) {
        f64 r = 1.0 + x * x, s = r;
        for (i32 k = 0; k < 60; ++k) s = 0.5 * (s + r / s);  // sqrt
        x = x / (1.0 + s);
    }
    f64 term = x, sum = 0.0;
    for (i32 k = 0; k < 200; ++k) {
        sum += term / (2 * k + 1);
        term *= -x * x;
    }
    return 4.0 * sum;
}

struct AngleTable {
    u16 entry[kAngleEntries];
};

// Entry i: milliradians of atan((i + 1) / 1000), truncated; two entries are one below.
constexpr AngleTable MakeAngleTable() {
    AngleTable t{};
    for (i32 i = 0; i < kAngleEntries; ++i) t.entry[i] = static_cast<u16>(1000.0 * AngleAtan((i + 1) / 1000.0));
    t.entry[487] = 453;
    t.entry[843] = 700;
    return t;
}

static constexpr AngleTable kAngleTable = MakeAngleTable();
static_assert(kAngleTable.entry[0] == 0 && kAngleTable.entry[999] == 785);
static_assert(kAngleTable.entry[487] == 453 && kAngleTable.entry[843] == 700);

i64 AngleAbs(i64 v) { return v < 0 ? -v : v; }

}  // namespace

i32 CSCN_EdgeAngle(i32 dx, i32 dy) {
    const i64 ax = AngleAbs(dx), ay = AngleAbs(dy);
    if (ax == ay) return kAngleDiagonal;
    if (ay < ax) return kAngleTable.entry[1000 * ay / ax];
    return kAngleRight - kAngleTable.entry[1000 * ax / ay];
}

void CSCN_CentreOfMass(POINT_I32 *point, i32 radius) {
    if (point == nullptr || g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0 || radius < 0) return;
    const i64 cx = point->x / 16, cy = point->y / 16;
    const i64 x0 = cx - radius < 0 ? 0 : cx - radius, y0 = cy - radius < 0 ? 0 : cy - radius;
    const i64 x1 = cx + radius + 1 > g_image.width - 1 ? g_image.width - 1 : cx + radius + 1;
    const i64 y1 = cy + radius + 1 > g_image.height - 1 ? g_image.height - 1 : cy + radius + 1;
    if (x0 > x1 || y0 > y1) return;
    u8 lo = 255, hi = 0;
    for (i64 y = y0; y <= y1; ++y)
        for (i64 x = x0; x <= x1; ++x) {
            const u8 v = g_image.data[y * g_image.width + x];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
    // 64-bit sums: x times weight over a wide window near the right border passes 2^31.
    i64 sumX = 0, sumY = 0, sumW = 0;
    for (i64 y = y0; y <= y1; ++y)
        for (i64 x = x0; x <= x1; ++x) {
            const u8 v = g_image.data[y * g_image.width + x];
            const i64 w = g_cscnCurrentPass == 1 ? hi - v : v - lo;
            sumX += x * w;
            sumY += y * w;
            sumW += w;
        }
    if (sumW <= 0) return;
    point->x = static_cast<i32>(16 * sumX / sumW);
    point->y = static_cast<i32>(16 * sumY / sumW);
}

}  // namespace vexo
