// Conversions and checked integer steps shared by the geometry code. A float that becomes
// an integer is always range-checked first: converting an infinite, NaN or out-of-range
// value is undefined and gives different integers on x86-64 and arm64.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/types.h"

namespace vexo {

using f32 = float;
using f64 = double;

inline constexpr i32 kI32Max = std::numeric_limits<i32>::max();
inline constexpr i32 kI32Min = std::numeric_limits<i32>::min();

// trunc(v) as i32 when it is representable; false (and *out untouched) for NaN, infinities
// and values outside the 32-bit range.
inline bool Num_TruncToI32(f64 v, i32 *out) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
    *out = static_cast<i32>(v);
    return true;
}

// trunc(v) saturated to the 32-bit range; NaN gives 0.
inline i32 Num_SatTruncI32(f64 v) {
    if (v != v) return 0;
    if (v <= -2147483649.0) return kI32Min;
    if (v >= 2147483648.0) return kI32Max;
    return static_cast<i32>(v);
}

// trunc(v) as i64 when it is representable, else false.
inline bool Num_TruncToI64(f64 v, i64 *out) {
    if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) return false;
    *out = static_cast<i64>(v);
    return true;
}

inline i32 Num_ClampI64(i64 v) {
    if (v < kI32Min) return kI32Min;
    if (v > kI32Max) return kI32Max;
    return static_cast<i32>(v);
}

inline bool Num_FitsI32(i64 v) { return v >= kI32Min && v <= kI32Max; }

// Product of two integers as a double: the exact 64-bit product rounded once when it fits,
// otherwise the product of the two doubles (no overflow, still the same on every machine).
inline f64 Num_MulWide(i64 a, i64 b) {
    i64 r = 0;
    if (!__builtin_mul_overflow(a, b, &r)) return static_cast<f64>(r);
    return static_cast<f64>(a) * static_cast<f64>(b);
}

// dx² + dy² in double; exact whenever the sum is below 2^53, so it equals the 32-bit
// integer sum wherever that one does not overflow.
inline f64 Num_SquaredLength(i64 dx, i64 dy) {
    const f64 x = static_cast<f64>(dx);
    const f64 y = static_cast<f64>(dy);
    return x * x + y * y;
}

// Checked signed 64-bit steps: on overflow *ok becomes false and the answer is 0.
inline i64 Chk_Add(i64 a, i64 b, bool *ok) {
    i64 r = 0;
    if (__builtin_add_overflow(a, b, &r)) {
        *ok = false;
        return 0;
    }
    return r;
}

inline i64 Chk_Sub(i64 a, i64 b, bool *ok) {
    i64 r = 0;
    if (__builtin_sub_overflow(a, b, &r)) {
        *ok = false;
        return 0;
    }
    return r;
}

inline i64 Chk_Mul(i64 a, i64 b, bool *ok) {
    i64 r = 0;
    if (__builtin_mul_overflow(a, b, &r)) {
        *ok = false;
        return 0;
    }
    return r;
}

// Quotient truncated toward zero; a zero divisor or INT64_MIN / -1 clears *ok.
inline i64 Chk_Div(i64 a, i64 b, bool *ok) {
    if (b == 0 || (b == -1 && a == std::numeric_limits<i64>::min())) {
        *ok = false;
        return 0;
    }
    return a / b;
}

}  // namespace vexo
