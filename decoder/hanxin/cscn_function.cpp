// Han Xin function information (version, level and mask under a GF(16) Reed-Solomon code)
// and the small helpers the Han Xin code shares.
#include <cmath>
#include <cstring>
#include <utility>

#include "hanxin/cscn_data.h"
#include "toolkit/reed_solomon.h"

namespace vexo {
namespace {

constexpr i32 kFunctionBits = 34;
constexpr i32 kFunctionSymbols = 7;
constexpr i32 kFunctionData = 3;
constexpr i32 kRsCodeHanXin = 7;
constexpr i32 kGf16Polynomial = 0x13;
constexpr i32 kMirrorMaxWidth = 200;

}  // namespace

i32 CSCN_BitsToInt(const u8 *bits, i32 n) {
    if (bits == nullptr || n <= 0) return 0;
    i32 v = 0;
    for (i32 i = 0; i < n; ++i) v = static_cast<i32>(2u * static_cast<u32>(v) + bits[i]);
    return v;
}

i32 CSCN_IntToBits(i32 value, i32 n, u8 *bits) {
    if (bits == nullptr || n <= 0) return 0;
    for (i32 i = 0; i < n; ++i) {
        const i32 shift = n - 1 - i;
        bits[i] = shift < 32 ? static_cast<u8>((static_cast<u32>(value) >> shift) & 1u) : 0;
    }
    return n;
}

i32 CSCN_ReadFunctionInfo(const u8 *bits, i32 bitCount, i32 *version, i32 *mask, i32 *level) {
    i32 v = -1;
    i32 m = -1;
    i32 l = -1;
    i32 ok = 0;
    if (bits != nullptr && bitCount == kFunctionBits) {
        i32 symbols[kFunctionSymbols];
        for (i32 i = 0; i < kFunctionSymbols; ++i) symbols[i] = CSCN_BitsToInt(bits + 4 * i, 4);
        RS_ResetField();
        RS_SelectField(kRsCodeHanXin, 16, kGf16Polynomial);
        if (RS_DecodeBlock(symbols, kFunctionData, kFunctionSymbols - kFunctionData) == kRsCorrected) {
            v = 16 * symbols[0] + symbols[1] - 20;
            l = symbols[2] / 4;
            m = symbols[2] % 4;
            ok = v >= 1 && v <= kCscnMaxVersion ? 1 : 0;
        }
    }
    if (version != nullptr) *version = v;
    if (mask != nullptr) *mask = m;
    if (level != nullptr) *level = l;
    return ok;
}

void CSCN_PointToward(POINT_I32 a, POINT_I32 b, POINT_I32 *out, i32 distance) {
    if (out == nullptr) return;
    if (a.x == b.x && a.y == b.y) {
        *out = a;
        return;
    }
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    const double sq = static_cast<double>(dx * dx + dy * dy) + 0.5;
    const i64 length = static_cast<i64>(std::sqrt(sq));
    const float fx = static_cast<float>(static_cast<i64>(distance) * dx) / static_cast<float>(length);
    const float fy = static_cast<float>(static_cast<i64>(distance) * dy) / static_cast<float>(length);
    out->x = static_cast<i32>(static_cast<float>(a.x) + fx);
    out->y = static_cast<i32>(static_cast<float>(a.y) + fy);
}

void CSCN_PointTowardApprox(POINT_I32 a, POINT_I32 b, POINT_I32 *out, i32 distance) {
    if (out == nullptr) return;
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    // Halving the exponent in the float's bit pattern: a root within a factor of about 1.5.
    const float sq = static_cast<float>(dx * dx + dy * dy);
    u32 pattern = 0;
    std::memcpy(&pattern, &sq, sizeof(pattern));
    pattern = (pattern >> 1) + (127u << 22);
    float root = 0;
    std::memcpy(&root, &pattern, sizeof(root));
    const i64 length = static_cast<i64>(root);
    if (length <= 0) {
        *out = a;
        return;
    }
    out->x = static_cast<i32>(a.x + distance * dx / length);
    out->y = static_cast<i32>(a.y + distance * dy / length);
}

i32 CSCN_SignedArea2(POINT_I32 p, POINT_I32 a, POINT_I32 b) {
    const u32 ax = static_cast<u32>(a.x) - static_cast<u32>(p.x);
    const u32 ay = static_cast<u32>(a.y) - static_cast<u32>(p.y);
    const u32 bx = static_cast<u32>(b.x) - static_cast<u32>(p.x);
    const u32 by = static_cast<u32>(b.y) - static_cast<u32>(p.y);
    return static_cast<i32>(ax * by - ay * bx);
}

void CSCN_SortPairs(i32 *keys, i32 count, i32 *values) {
    if (keys == nullptr || values == nullptr || count < 2) return;
    for (i32 p = count - 1; p >= 1; --p) {
        for (i32 i = 0; i < p; ++i) {
            if (keys[i] <= keys[i + 1]) continue;
            std::swap(keys[i], keys[i + 1]);
            std::swap(values[i], values[i + 1]);
        }
    }
}

void CSCN_MirrorLeftRight(u8 *matrix, i32 width, i32 rows) {
    if (matrix == nullptr || width <= 1 || rows <= 0) return;
    for (i32 r = 0; r < rows; ++r) {
        u8 *row = matrix + static_cast<i64>(r) * width;
        for (i32 i = 0, j = width - 1; i < j; ++i, --j) {
            const u8 t = row[i];
            row[i] = row[j];
            row[j] = t;
        }
    }
}

i32 CSCN_MirrorTopBottom(u8 *matrix, i32 width, i32 rows) {
    if (matrix == nullptr || width <= 0 || width > kMirrorMaxWidth || rows <= 0) return 0;
    u8 swap[kMirrorMaxWidth];
    for (i32 i = 0, j = rows - 1; i < j; ++i, --j) {
        u8 *top = matrix + static_cast<i64>(i) * width;
        u8 *bottom = matrix + static_cast<i64>(j) * width;
        std::memcpy(swap, top, static_cast<size_t>(width));
        std::memcpy(top, bottom, static_cast<size_t>(width));
        std::memcpy(bottom, swap, static_cast<size_t>(width));
    }
    return 1;
}

}  // namespace vexo
