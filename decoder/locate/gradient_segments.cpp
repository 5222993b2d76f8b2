#include "locate/gradient_segments.h"

#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"

namespace vexo {

namespace {

// Entry i: 16 x atan(i / 255) in degrees, rounded (a test rebuilds it).
static constexpr i16 kAtanTable[256] = {
    0,   4,   7,   11,  14,  18,  22,  25,  29,  32,  36,  40,  43,  47,  50,  54,  57,  61,  65,  68,  72,  75,
    79,  82,  86,  90,  93,  97,  100, 104, 107, 111, 114, 118, 122, 125, 129, 132, 136, 139, 143, 146, 150, 153,
    157, 160, 164, 167, 171, 174, 177, 181, 184, 188, 191, 195, 198, 202, 205, 208, 212, 215, 219, 222, 225, 229,
    232, 236, 239, 242, 246, 249, 252, 256, 259, 262, 266, 269, 272, 275, 279, 282, 285, 288, 292, 295, 298, 301,
    305, 308, 311, 314, 317, 321, 324, 327, 330, 333, 336, 339, 343, 346, 349, 352, 355, 358, 361, 364, 367, 370,
    373, 376, 379, 382, 385, 388, 391, 394, 397, 400, 403, 406, 409, 412, 415, 418, 421, 424, 426, 429, 432, 435,
    438, 441, 444, 446, 449, 452, 455, 458, 460, 463, 466, 469, 471, 474, 477, 479, 482, 485, 487, 490, 493, 495,
    498, 501, 503, 506, 509, 511, 514, 516, 519, 521, 524, 526, 529, 532, 534, 537, 539, 542, 544, 546, 549, 551,
    554, 556, 559, 561, 563, 566, 568, 571, 573, 575, 578, 580, 582, 585, 587, 589, 592, 594, 596, 598, 601, 603,
    605, 607, 610, 612, 614, 616, 619, 621, 623, 625, 627, 629, 632, 634, 636, 638, 640, 642, 644, 646, 648, 651,
    653, 655, 657, 659, 661, 663, 665, 667, 669, 671, 673, 675, 677, 679, 681, 683, 685, 686, 688, 690, 692, 694,
    696, 698, 700, 702, 704, 705, 707, 709, 711, 713, 715, 716, 718, 720,
};
static_assert(sizeof(kAtanTable) / sizeof(kAtanTable[0]) == 256);

constexpr i32 kRunAngleSpread = 319;  // under 20 degrees from the seed
constexpr i32 kSeedAngleSpread = 128;
constexpr i32 kMinFitRows = 8;        // traced lines besides the seed's
constexpr i32 kMagnitudeShift = 11;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i16 Wrap16(i32 v) { return static_cast<i16>(static_cast<u16>(static_cast<u32>(v))); }

bool RunMatches(u16 entry, i32 angle) {
    return entry != 0 && Loc_AngleDistance(entry, angle) <= kRunAngleSpread;
}

// One run along a line of entries `stride` apart; offsets are in entries of the line.
int TraceRun(u16 *line, i32 angle, i32 stride, i16 *lo, i16 *hi) {
    const i32 l0 = *lo;
    const i32 h0 = *hi;
    i32 j = l0;
    while (j <= h0 && !RunMatches(line[j * stride], angle)) ++j;
    if (j > h0) return 0;
    i32 i = h0;
    while (i > j && !RunMatches(line[i * stride], angle)) --i;
    // The border entries of the map are 0, so the walks outward stop inside it.
    i32 newLo = j - 1;
    if (j == l0)
        while (RunMatches(line[newLo * stride], angle)) --newLo;
    i32 newHi = i + 1;
    if (i == h0)
        while (RunMatches(line[newHi * stride], angle)) ++newHi;
    for (i32 k = newLo + 1; k < newHi; ++k) line[k * stride] = 0;
    *lo = static_cast<i16>(newLo);
    *hi = static_cast<i16>(newHi);
    return 1;
}

// Position of the largest magnitude over the run's interior; ties to the first, or to the
// last when lastOnTie is set.
i32 PeakOf(const u16 *mag, i32 stride, i32 lo, i32 hi, bool lastOnTie) {
    i32 best = lo + 1;
    u16 bestMag = mag[best * stride];
    for (i32 k = lo + 2; k < hi; ++k) {
        const u16 m = mag[k * stride];
        if (m > bestMag || (lastOnTie && m == bestMag)) {
            best = k;
            bestMag = m;
        }
    }
    return best;
}

struct FitSums {
    i64 s = 0, ss = 0, p = 0, sp = 0;  // sum t, t^2, position, t x position
    void Add(i32 t, i32 g, i32 sign) {
        s += sign * t;
        ss += sign * static_cast<i64>(t) * t;
        p += sign * g;
        sp += sign * static_cast<i64>(t) * g;
    }
};

// Walks lines t = dir, 2 dir, ... from the seed line's bounds until one fails. Answers
// the number traced and leaves the last line's point in lastT, lastG.
i32 TraceSide(u16 *angle, const u16 *mag, i32 lineStep, i32 stride, i32 seedAngle, i16 lo, i16 hi, i32 dir,
              bool lastOnTie, FitSums *sums, i32 *lastT, i32 *lastG) {
    i32 traced = 0;
    // Each traced line clears entries, and the zero border stops the walk: bounded by the map.
    for (i32 t = dir;; t += dir) {
        u16 *line = angle + static_cast<i64>(t) * lineStep;
        if (TraceRun(line, seedAngle, stride, &lo, &hi) == 0) break;
        const i32 g = PeakOf(mag + static_cast<i64>(t) * lineStep, stride, lo, hi, lastOnTie);
        sums->Add(t, g, 1);
        *lastT = t;
        *lastG = g;
        ++traced;
    }
    return traced;
}

i16 FitEnd(i32 t, i64 k, i64 e, i64 den) {
    const float v = std::fma(static_cast<float>(t), static_cast<float>(k), static_cast<float>(e)) * 32.0f /
                    static_cast<float>(den);
    // A fit far outside 16 bits is no edge of this frame; keep the conversion defined.
    if (!(v > -32768.0f)) return -32768;
    if (!(v < 32767.0f)) return 32767;
    return static_cast<i16>(v);
}

// The shared trace: lines across the edge are rows (steep) or columns (flat).
int FitEdge(u16 *angle, const u16 *mag, i32 W, bool rows, GRADIENT_SEGMENT *out) {
    const i32 seedAngle = *angle;
    const i32 stride = rows ? 1 : W;    // along a line
    const i32 lineStep = rows ? W : 1;  // from one line to the next
    i16 lo = 0, hi = 0;
    TraceRun(angle, seedAngle, stride, &lo, &hi);
    FitSums sums;
    i32 lastT = 0, lastG = 0;
    const i32 before = TraceSide(angle, mag, lineStep, stride, seedAngle, lo, hi, -1, !rows, &sums, &lastT, &lastG);
    sums.Add(lastT, lastG, -1);
    lastT = 0;
    lastG = 0;
    const i32 after = TraceSide(angle, mag, lineStep, stride, seedAngle, lo, hi, 1, false, &sums, &lastT, &lastG);
    if (before + after < kMinFitRows) return 0;
    sums.Add(lastT, lastG, -1);
    // 64-bit sums: long steep edges traced from one end leave 32 bits.
    const i64 n = before + after - 1;
    const i64 den = n * sums.ss - sums.s * sums.s;
    if (den == 0) return 0;
    const i64 k = n * sums.sp - sums.p * sums.s;
    const i64 e = sums.p * sums.ss - sums.sp * sums.s;
    const i32 tFirst = -before;
    const i32 tLast = after;
    const i16 a0 = FitEnd(tFirst, k, e, den);
    const i16 a1 = FitEnd(tLast, k, e, den);
    if (rows) {
        *out = GRADIENT_SEGMENT{a0, Wrap16(32 * tFirst), a1, Wrap16(32 * tLast), 0, 0};
    } else {
        *out = GRADIENT_SEGMENT{Wrap16(32 * tFirst), a0, Wrap16(32 * tLast), a1, 0, 0};
    }
    Loc_OrientSegment(seedAngle, out);
    return 1;
}

// Across-edge and along-edge neighbour offsets (dx, dy) per gradient axis.
struct SeedAxis {
    i8 across[4];
    i8 along[4];
};
static constexpr SeedAxis kSeedAxes[4] = {
    {{-1, 0, 1, 0}, {0, -1, 0, 1}},    // horizontal gradient
    {{-1, -1, 1, 1}, {-1, 1, 1, -1}},  // top-left to bottom-right
    {{0, -1, 0, 1}, {-1, 0, 1, 0}},    // vertical
    {{1, -1, -1, 1}, {1, 1, -1, -1}},  // top-right to bottom-left
};
static_assert(sizeof(kSeedAxes) / sizeof(kSeedAxes[0]) == 4);

i32 SeedAxisOf(i32 a) {
    const i32 h = a % kAngleHalfTurn;  // the axis repeats every half turn
    if (h < 360 || h >= 2520) return 0;
    if (h < 1080) return 1;
    if (h < 1800) return 2;
    return 3;
}

void Shift(GRADIENT_SEGMENT *s, i32 dx, i32 dy) {
    s->x0 = Wrap16(s->x0 + dx);
    s->x1 = Wrap16(s->x1 + dx);
    s->y0 = Wrap16(s->y0 + dy);
    s->y1 = Wrap16(s->y1 + dy);
}

// Half-resolution row r of the image window starting at column left, W entries.
void BuildHalfRow(u16 *dst, i32 left, i32 W, i32 r) {
    const i32 stride = g_image.width;
    const u8 *a = g_image.data + static_cast<i64>(2 * r) * stride + 2 * left;
    const u8 *b = a + stride;
    for (i32 c = 0; c < W; ++c) dst[c] = static_cast<u16>(a[2 * c] + a[2 * c + 1] + b[2 * c] + b[2 * c + 1]);
}

void GradientRow(const u16 *U, const u16 *M, const u16 *D, i32 W, u16 *mag, u16 *ang) {
    for (i32 c = 1; c < W - 1; ++c) {
        const i32 gx = (U[c + 1] + 2 * M[c + 1] + D[c + 1]) - (U[c - 1] + 2 * M[c - 1] + D[c - 1]);
        const i32 gy = (D[c - 1] + 2 * D[c] + D[c + 1]) - (U[c - 1] + 2 * U[c] + U[c + 1]);
        const i32 s = gx * gx + gy * gy;
        if ((s >> kMagnitudeShift) == 0) continue;
        mag[c] = static_cast<u16>(Min32(s >> kMagnitudeShift, 65535));
        ang[c] = static_cast<u16>(Loc_DirectionAngle(gx, gy));
    }
}

}  // namespace

i16 Loc_DirectionAngle(i32 dxIn, i32 dyIn) {
    const i32 dx = static_cast<i16>(static_cast<u16>(static_cast<u32>(dxIn)));
    const i32 dy = static_cast<i16>(static_cast<u16>(static_cast<u32>(dyIn)));
    const i32 ax = Abs32(dx);
    const i32 ay = Abs32(dy);
    if (ax > ay) {
        const i32 f = kAtanTable[Abs32(dy * 255 / dx)];
        if (dx > 0) return static_cast<i16>(dy > 0 ? f : kAngleTurn - f);
        return static_cast<i16>(dy > 0 ? kAngleHalfTurn - f : kAngleHalfTurn + f);
    }
    const i32 f = dy == 0 ? kAtanTable[0] : kAtanTable[Abs32(dx * 255 / dy)];
    if (dx > 0) return static_cast<i16>(dy > 0 ? 1440 - f : 4320 + f);
    return static_cast<i16>(dy > 0 ? 1440 + f : 4320 - f);
}

i16 Loc_AngleDistance(i32 a, i32 b) {
    const i32 d = Abs32(static_cast<i32>(static_cast<i16>(a)) - static_cast<i16>(b));
    return static_cast<i16>(d > kAngleHalfTurn ? kAngleTurn - d : d);
}

u16 Loc_ApproxRoot(i64 q) {
    if (q <= 0) return 0;
    constexpr i32 kOne = 0x3F800000;
    const float f = static_cast<float>(q);
    i32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    const i32 r = ((bits - kOne) >> 1) + kOne;
    float root;
    std::memcpy(&root, &r, sizeof root);
    return root >= 65535.0f ? 65535 : static_cast<u16>(root);
}

void Loc_OrientSegment(i32 gradientAngle, GRADIENT_SEGMENT *seg) {
    const i32 d = Loc_DirectionAngle(seg->x0 - seg->x1, seg->y0 - seg->y1);
    seg->direction = static_cast<u16>(d);
    const i32 diff = static_cast<i16>(static_cast<u16>(static_cast<u32>(d - gradientAngle)));
    if ((diff >= 0 && diff <= kAngleHalfTurn) || diff < -(kAngleHalfTurn - 1)) return;
    const GRADIENT_SEGMENT s = *seg;
    seg->x0 = s.x1;
    seg->y0 = s.y1;
    seg->x1 = s.x0;
    seg->y1 = s.y0;
    seg->direction = static_cast<u16>(d + kAngleHalfTurn <= kAngleTurn ? d + kAngleHalfTurn : d - kAngleHalfTurn);
}

int Loc_TraceRowRun(u16 *line, i32 angle, i16 *lo, i16 *hi) { return TraceRun(line, angle, 1, lo, hi); }

int Loc_TraceColumnRun(u16 *line, i32 angle, i32 stride, i16 *lo, i16 *hi) {
    return TraceRun(line, angle, stride, lo, hi);
}

int Loc_FitVerticalEdge(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out) {
    return FitEdge(angle, magnitude, W, true, out);
}

int Loc_FitHorizontalEdge(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out) {
    return FitEdge(angle, magnitude, W, false, out);
}

int Loc_TrySegmentSeed(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out) {
    const i32 a = *angle;
    const u16 m = *magnitude;
    const SeedAxis &ax = kSeedAxes[SeedAxisOf(a)];
    const i64 across0 = ax.across[0] + static_cast<i64>(ax.across[1]) * W;
    const i64 across1 = ax.across[2] + static_cast<i64>(ax.across[3]) * W;
    if (magnitude[across0] >= m || magnitude[across1] >= m) return 0;
    const i64 along0 = ax.along[0] + static_cast<i64>(ax.along[1]) * W;
    const i64 along1 = ax.along[2] + static_cast<i64>(ax.along[3]) * W;
    if (angle[along0] == 0 || angle[along1] == 0) return 0;
    if (Loc_AngleDistance(a, angle[along0]) + Loc_AngleDistance(a, angle[along1]) >= kSeedAngleSpread) return 0;
    GRADIENT_SEGMENT seg{};
    const bool flatEdge = (a >= 720 && a < 2160) || (a >= 3600 && a < 5040);
    const int ok = flatEdge ? Loc_FitHorizontalEdge(angle, magnitude, W, &seg) : Loc_FitVerticalEdge(angle, magnitude, W, &seg);
    if (ok == 0) return 0;
    const i32 dx = seg.x0 - seg.x1;
    const i32 dy = seg.y0 - seg.y1;
    seg.length = Loc_ApproxRoot(static_cast<i64>(dx) * dx + static_cast<i64>(dy) * dy);
    *out = seg;
    return 1;
}

i32 Loc_ScanSegmentSeeds(u16 *angles, const u16 *magnitudes, i32 W, i32 H, GRADIENT_SEGMENT *out, i32 capacity) {
    if (angles == nullptr || magnitudes == nullptr || out == nullptr || capacity < 1 || W < 4 || H < 4) return 0;
    i32 count = 0;
    i32 T = H / 2, B = H / 2 + 1, L = W / 2, R = W / 2 + 1;
    auto visit = [&](i32 c, i32 r) {
        const i64 at = static_cast<i64>(r) * W + c;
        if (angles[at] == 0) return false;
        GRADIENT_SEGMENT *rec = out + count;
        if (Loc_TrySegmentSeed(angles + at, magnitudes + at, W, rec) == 0) return false;
        Shift(rec, 32 * c, 32 * r);
        return ++count >= capacity;
    };
    // Each ring widens by one on every side, so the loop ends after max(W, H) / 2 rings.
    while (!(L <= 1 && T <= 1 && R >= W - 2 && B >= H - 2)) {
        const i32 r0 = Max32(2, T + 1), r1 = Min32(B, H - 2);
        if (L >= 2)
            for (i32 r = r0; r < r1; ++r)
                if (visit(L, r)) return count;
        if (R <= W - 3)
            for (i32 r = r0; r < r1; ++r)
                if (visit(R, r)) return count;
        const i32 c0 = Max32(L, 2), c1 = Min32(R + 1, W - 2);
        // Rows past H - 3 are no seeds: only the first ring of a 4-row map reaches one.
        if (T >= 2 && T <= H - 3)
            for (i32 c = c0; c < c1; ++c)
                if (visit(c, T)) return count;
        if (B <= H - 3)
            for (i32 c = c0; c < c1; ++c)
                if (visit(c, B)) return count;
        --T;
        --L;
        ++B;
        ++R;
    }
    return count;
}

i32 Loc_FindGradientSegments(GRADIENT_SEGMENT *out, const REGION_QUAD *window, i32 capacity) {
    if (out == nullptr || window == nullptr || capacity < 1) return 0;
    if (g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    i32 minX = window->c[0].x, maxX = minX, minY = window->c[0].y, maxY = minY;
    for (const POINT_I32 &p : window->c) {
        minX = Min32(minX, p.x);
        maxX = Max32(maxX, p.x);
        minY = Min32(minY, p.y);
        maxY = Max32(maxY, p.y);
    }
    const i32 top = Max32(1, minY / 2 - 1);
    const i32 bottom = Min32(g_image.height / 2 - 1, maxY / 2 + 1);
    const i32 left = Max32(1, minX / 2 - 1);
    const i32 right = Min32(g_image.width / 2 - 1, maxX / 2 + 1);
    const i32 W = right - left;
    const i32 H = bottom - top;
    if (W < 4 || H < 4) return 0;
    const i64 mapBytes = 2 * static_cast<i64>(W) * H;
    void *blocks[5] = {};
    for (int k = 0; k < 3; ++k) blocks[k] = Mem_Alloc(2 * W);
    for (int k = 3; k < 5; ++k) blocks[k] = mapBytes <= kArenaCapacity ? Mem_Alloc(static_cast<i32>(mapBytes)) : nullptr;
    if (Mem_AllNonNull(blocks, 5) == 0) {
        // A failed request takes nothing, so the list holds only what was obtained.
        for (int k = 4; k >= 0; --k)
            if (blocks[k] != nullptr) Mem_Free(blocks[k]);
        return 0;
    }
    u16 *rows[3] = {static_cast<u16 *>(blocks[0]), static_cast<u16 *>(blocks[1]), static_cast<u16 *>(blocks[2])};
    u16 *mag = static_cast<u16 *>(blocks[3]);
    u16 *ang = static_cast<u16 *>(blocks[4]);
    std::memset(mag, 0, static_cast<size_t>(mapBytes));
    std::memset(ang, 0, static_cast<size_t>(mapBytes));
    BuildHalfRow(rows[0], left, W, top);
    BuildHalfRow(rows[1], left, W, top + 1);
    for (i32 r = 2; r < H; ++r) {
        BuildHalfRow(rows[2], left, W, top + r);
        const i64 at = static_cast<i64>(r - 1) * W;
        GradientRow(rows[0], rows[1], rows[2], W, mag + at, ang + at);
        u16 *old = rows[0];
        rows[0] = rows[1];
        rows[1] = rows[2];
        rows[2] = old;
    }
    const i32 count = Loc_ScanSegmentSeeds(ang, mag, W, H, out, capacity);
    for (i32 k = 0; k < count; ++k) Shift(out + k, 32 * left + 16, 32 * top + 16);
    Mem_FreeList(blocks, 5);
    return count;
}

}  // namespace vexo
