// Profile sharpening and edge lists: shape edges from the raw profile, then the deblurred
// profile's crossings of its mid level.
#include <cstring>

#include "linear_image/lineimg_profile.h"

namespace vexo {

namespace {

constexpr i32 kDeblurRows = 20;
constexpr i32 kDeblurTaps = 11;
constexpr i32 kDeblurTable[kDeblurRows][kDeblurTaps] = {
    {-2956, -9196, -17666, -25300, -33116, -40932, 43053, 34220, 25390, 16744, 8281},
    {-6860, -11228, -18377, -24036, -30218, -35548, 42613, 33252, 24096, 15480, 7396},
    {-8246, -15526, -19317, -23320, -26107, -27426, 42130, 31800, 22233, 13572, 6084},
    {-16684, -19732, -20150, -20712, -18551, -17216, 40482, 29236, 19345, 11016, 4624},
    {-25428, -24500, -21113, -16756, -10298, -5756, 37961, 25860, 15892, 8288, 3136},
    {-32284, -29994, -21492, -11948, -1763, 4638, 34637, 21956, 12364, 5808, 1936},
    {-39110, -35084, -21366, -5500, 6736, 12828, 30393, 17706, 8991, 3762, 1089},
    {-45686, -39562, -19739, 1258, 14910, 18662, 25322, 13320, 5981, 2162, 529},
    {-54230, -42612, -15998, 8916, 21492, 21252, 19841, 9270, 3619, 1110, 225},
    {-59800, -45240, -11779, 16364, 25889, 21342, 14747, 6002, 1990, 504, 81},
    {-66092, -47232, -5208, 23306, 28053, 19148, 10224, 3550, 980, 200, 25},
    {-72736, -47972, 1957, 28980, 27977, 15794, 6963, 2086, 490, 84, 9},
    {-79822, -46902, 9469, 33438, 26198, 12498, 4082, 948, 161, 18, 1},
    {-84788, -46964, 17068, 36246, 23497, 9080, 2756, 598, 100, 12, 1},
    {-93846, -42690, 25047, 37428, 19677, 6138, 1170, 144, 9, 0, 0},
    {-98732, -40734, 31577, 37458, 16077, 4224, 688, 72, 4, 0, 0},
    {-104332, -37530, 38124, 35908, 12688, 2616, 333, 26, 1, 0, 0},
    {-109918, -34290, 43755, 33340, 9937, 1950, 246, 20, 1, 0, 0},
    {-116460, -28744, 48595, 29880, 7554, 896, 49, 0, 0, 0, 0},
    {-122220, -23754, 52544, 26240, 5505, 550, 25, 0, 0, 0, 0},
};

constexpr bool RowsBalanced() {
    for (const auto &row : kDeblurTable) {
        i64 sum = row[0];
        for (i32 k = 1; k < kDeblurTaps; ++k) sum += 2 * static_cast<i64>(row[k]);
        if (sum != 0) return false;
    }
    return true;
}
static_assert(RowsBalanced(), "every deblurring row sums to 0");

constexpr i32 kMinSpan = 32;
constexpr i32 kMinShapeHeight = 33;
constexpr i32 kMaxPasses = 30;
constexpr i64 kStopChange = 20;

template <class T>
i32 SignalSpan(const T **line, i32 n, i32 *maxOut, i32 *minOut) {
    const T *s = *line;
    if (s == nullptr || n < 2) return 0;
    i32 hi = s[0], lo = s[0];
    for (i32 k = 1; k < n; ++k) {
        if (s[k] > hi) hi = s[k];
        if (s[k] < lo) lo = s[k];
    }
    const i32 q = (hi - lo) >> 2;
    i32 start = -1, descBottom = -1, end = -1, ascBottom = -1;
    for (i32 k = 0; k + 1 < n;) {
        if (s[k + 1] == s[k]) {
            ++k;
            continue;
        }
        const bool falling = s[k + 1] < s[k];
        i32 j = k;
        while (j + 1 < n && (falling ? s[j + 1] < s[j] : s[j + 1] > s[j])) ++j;
        const i32 size = falling ? s[k] - s[j] : s[j] - s[k];
        if (size > q) {
            if (falling && start < 0) {
                start = k;
                descBottom = j;
            } else if (!falling) {
                end = j;
                ascBottom = k;
            }
        }
        k = j;
    }
    if (start < 0 || end < 0 || ascBottom <= descBottom) return 0;
    i32 mx = s[descBottom], mn = s[descBottom];
    for (i32 k = descBottom; k < ascBottom; ++k) {
        if (s[k] > mx) mx = s[k];
        if (s[k] < mn) mn = s[k];
    }
    while (start < end && (s[start] > mx || s[start] < mn)) ++start;
    while (end > start && (s[end - 1] > mx || s[end - 1] < mn)) --end;
    if (end - start < kMinSpan) return 0;
    *line = s + start;
    *maxOut = mx;
    *minOut = mn;
    return end - start;
}

template <class T>
i32 CountTransitions(const T *s, i32 length, i32 max, i32 min, i32 h) {
    if (s == nullptr || length < 3) return 0;
    i32 refValue = s[0];
    bool refPositive = 2 * s[1] - s[0] - s[2] > 0;
    i32 count = 0;
    for (i32 i = 2; i <= length - 2; ++i) {
        const i32 d2 = 2 * s[i] - s[i - 1] - s[i + 1];
        if (d2 <= 3 && d2 >= -3) continue;
        const bool positive = d2 > 0;
        if (positive != refPositive) {
            const i32 big = s[i] > refValue ? s[i] : refValue;
            const i32 small = s[i] < refValue ? s[i] : refValue;
            if (big > min + h && small < max - h) ++count;
        }
        refValue = s[i];
        refPositive = positive;
    }
    return count;
}

}  // namespace

i32 LineImg_ByteSignalSpan(const u8 **line, i32 n, i32 *maxOut, i32 *minOut) {
    return SignalSpan(line, n, maxOut, minOut);
}

i32 LineImg_ProfileSignalSpan(const u16 **profile, i32 n, i32 *maxOut, i32 *minOut) {
    return SignalSpan(profile, n, maxOut, minOut);
}

i32 LineImg_CountByteTransitions(const u8 *span, i32 length, i32 max, i32 min) {
    return CountTransitions(span, length, max, min, (max - min) >> 2);
}

i32 LineImg_CountProfileTransitions(const u16 *span, i32 length, i32 max, i32 min) {
    return CountTransitions(span, length, max, min, static_cast<i32>(0.8f * static_cast<f32>((max - min) >> 2)));
}

i32 LineImg_ProfileEdgesByShape(const u16 *p, i32 n, u16 *out, i32 capacity) {
    if (p == nullptr || out == nullptr || n < 2 || capacity <= 0) return 0;
    i32 count = 0, lastWritten = -1, before = 0;
    i32 startIdx = 0;
    bool descent = true;
    while (startIdx + 1 < n && count < capacity) {
        i32 k = startIdx;
        while (k + 1 < n && (descent ? p[k + 1] > p[k] : p[k + 1] < p[k])) ++k;
        if (k + 1 >= n) break;
        i32 j = k + 1;
        while (j < n && (descent ? p[j] <= p[j - 1] : p[j] >= p[j - 1])) ++j;
        const i32 startValue = p[k], lastValue = p[j - 1];
        if (startValue == lastValue) {
            startIdx = j - 1;
            continue;
        }
        const i32 c = k + 1;
        const i32 h = startValue > lastValue ? startValue - lastValue : lastValue - startValue;
        const i32 r = j - c;
        if (r < before && lastWritten >= 0) out[lastWritten] = static_cast<u16>(out[lastWritten] + 2 * (before - r));
        if (h >= kMinShapeHeight) {
            i64 a = static_cast<i64>(c) * h;
            for (i32 i = c; i < j; ++i) a += p[i] > lastValue ? p[i] - lastValue : lastValue - p[i];
            i64 pos = 4 * (2 * a - h) / h;
            if (r > before && before != 0) pos -= 2 * (r - before);
            if (pos < 0) pos = 0;
            if (pos > 0xFFFF) pos = 0xFFFF;
            out[count] = static_cast<u16>(pos);
            lastWritten = count++;
        }
        before = r;
        startIdx = j - 1;
        descent = !descent;
    }
    return count;
}

i32 LineImg_ProfileEdgesByLevel(const u16 *p, i32 n, u16 *out, i32 capacity) {
    if (p == nullptr || out == nullptr || n < 2 || capacity <= 0) return 0;
    i32 mx = p[0], mn = p[0];
    for (i32 i = 1; i < n; ++i) {
        if (p[i] > mx) mx = p[i];
        if (p[i] < mn) mn = p[i];
    }
    const i32 m = (mn + mx) >> 1;
    i32 count = 0;
    bool falling = true;
    for (i32 i = 0; i + 1 < n && count < capacity; ++i) {
        const bool hit = falling ? (p[i] > m && m >= p[i + 1]) : (p[i] < m && m <= p[i + 1]);
        if (!hit) continue;
        const i64 pos = 16 * static_cast<i64>(i) + 8;
        out[count++] = static_cast<u16>(pos > 0xFFFF ? 0xFFFF : pos);
        falling = !falling;
    }
    return count;
}

i32 LineImg_DeblurWeight(i32 row, i32 k) {
    if (row < 0 || row >= kDeblurRows || k < 0 || k >= kDeblurTaps) return 0;
    return kDeblurTable[row][k];
}

i32 LineImg_DeblurRow(f32 x) {
    if (!(x <= 14.0f)) return 0;
    const f32 v = 0.1619f * x * x - 4.9045f * x + 37.227f + 0.5f;
    if (v >= 19.0f) return 19;
    if (v <= 0.0f) return 0;
    return static_cast<i32>(v);
}

int LineImg_DeblurProfile(u16 *profile, i32 n, i32 max, i32 min, i32 row, u16 *second) {
    if (profile == nullptr || second == nullptr || n < 2 * 10 + 1 || max <= min) return 1;
    if (row < 0) row = 0;
    if (row > kDeblurRows - 1) row = kDeblurRows - 1;
    const i64 spread = static_cast<i64>(max - min);
    const i64 q = (static_cast<i64>(1) << 30) / (spread * spread);
    std::memcpy(second, profile, static_cast<size_t>(n) * sizeof(u16));
    u16 *cur = profile;
    u16 *nxt = second;
    i64 previous = -1;
    for (i32 pass = 0; pass < kMaxPasses; ++pass) {
        i64 change = 0;
        const i32 *w = kDeblurTable[row];
        for (i32 i = n - 11; i >= 10; --i) {
            const i32 a = cur[i];
            if (a == max || a == min) {
                nxt[i] = static_cast<u16>(a);
                continue;
            }
            i64 linear = static_cast<i64>(w[0]) * a;
            for (i32 k = 1; k < kDeblurTaps; ++k) linear += static_cast<i64>(w[k]) * (cur[i - k] + cur[i + k]);
            const i64 cubic = (static_cast<i64>(max - a) * (a - min) * (max + min - 2 * a) * q) >> 13;
            i64 kk = (linear + cubic) >> 18;
            if (kk < 0) kk += 1;
            i64 v = a - kk;
            if (v > max) {
                change += max - a;
                v = max;
            } else if (v < min) {
                change += a - min;
                v = min;
            } else {
                change += kk < 0 ? -kk : kk;
            }
            nxt[i] = static_cast<u16>(v);
        }
        u16 *t = cur;
        cur = nxt;
        nxt = t;
        if (change < kStopChange) break;
        if (pass > 0 && change < previous && row < kDeblurRows - 1) ++row;
        previous = change;
    }
    if (cur != profile) std::memcpy(profile, cur, static_cast<size_t>(n) * sizeof(u16));
    return 1;
}

int LineImg_SharpenProfile(u16 *profile, i32 n, u16 *second) {
    if (profile == nullptr || second == nullptr || n <= 3) return 0;
    const u16 *span = profile;
    i32 mx = 0, mn = 0;
    const i32 length = LineImg_ProfileSignalSpan(&span, n, &mx, &mn);
    if (length == 0) return 0;
    const i32 start = static_cast<i32>(span - profile);
    const i32 end = start + length;
    for (i32 i = 0; i < n; ++i) {
        if (i >= start && i < end) continue;
        if (profile[i] > mx) profile[i] = static_cast<u16>(mx);
        if (profile[i] < mn) profile[i] = static_cast<u16>(mn);
    }
    const i32 t = LineImg_CountProfileTransitions(span, length, mx, mn);
    if (t == 0) return 0;
    const i32 row = LineImg_DeblurRow(static_cast<f32>(length) / static_cast<f32>(t));
    LineImg_DeblurProfile(profile, n, mx, mn, row, second);
    for (i32 i = end; i < n; ++i) {
        if (profile[i] != mx) continue;
        for (i32 k = i; k < n; ++k) profile[k] = static_cast<u16>(mx);
        break;
    }
    for (i32 i = start; i >= 0; --i) {
        if (profile[i] != mx) continue;
        for (i32 k = i; k >= 0; --k) profile[k] = static_cast<u16>(mx);
        break;
    }
    return 1;
}

}  // namespace vexo
