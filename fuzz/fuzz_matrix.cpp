// Module-matrix operations on arbitrary grey values. Input: columns, rows, flags, margin,
// angle, then grey values. Checks that bits are 0 or 1 and stay inside the matrix, that four
// quarter turns and two flips give the matrix back, and that contrast is a percentage.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "toolkit/matrix.h"

namespace {

constexpr int kMax = 48;
constexpr int kCanary = 16;
constexpr uint8_t kFill = 0xA5;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Binary(const uint8_t *bits, int n) {
    for (int k = 0; k < n; ++k) {
        if (bits[k] > 1) return false;
    }
    return true;
}

bool Untouched(const uint8_t *p, int from, int to) {
    for (int k = from; k < to; ++k) {
        if (p[k] != kFill) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    const int columns = 1 + data[0] % kMax;
    const int rows = 1 + data[1] % kMax;
    const int cells = columns * rows;
    static uint8_t grey[kMax * kMax], bits[kMax * kMax + kCanary];
    for (int k = 0; k < cells; ++k) grey[k] = 6 + static_cast<size_t>(k) < size ? data[6 + k] : static_cast<uint8_t>(k);

    std::memset(bits, kFill, sizeof bits);
    vexo::MODULE_BITS m{grey, bits, columns, rows, data[2] & 1, (data[2] >> 1) & 1, static_cast<int8_t>(data[3])};
    Check(vexo::Geo_BinariseModules(&m) == 1);
    Check(Binary(bits, cells) && Untouched(bits, cells, cells + kCanary));
    std::memset(bits, kFill, sizeof bits);
    vexo::Geo_BinariseModulesLocal(&m);
    if (columns >= 3 && rows >= 3) {
        Check(Binary(bits, cells) && Untouched(bits, cells, cells + kCanary));
    } else {
        Check(Untouched(bits, 0, cells + kCanary));
    }

    // Square operations on the first n x n values.
    const int n = columns < rows ? columns : rows;
    static uint8_t square[kMax * kMax], scratch[kMax * kMax];
    std::memcpy(square, grey, static_cast<size_t>(n * n));
    const int32_t angle = static_cast<int32_t>(data[4] | (data[5] << 8)) * 7 - 200000;
    for (int k = 0; k < 4; ++k) vexo::Geo_RotateMatrix90(square, scratch, n, angle);
    Check(std::memcmp(square, grey, static_cast<size_t>(n * n)) == 0);
    vexo::Geo_FlipMatrixRows(square, n);
    vexo::Geo_FlipMatrixRows(square, n);
    Check(std::memcmp(square, grey, static_cast<size_t>(n * n)) == 0);
    const int32_t contrast = vexo::Prof_MatrixContrast(square, n);
    Check(contrast >= 0 && contrast <= 100 && (n >= 8 || contrast == 0));
    return 0;
}
