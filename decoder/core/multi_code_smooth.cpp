// 3 x 3 smoothing of the frame, applied by the decode sequence to every second frame.
#include <cstring>

#include "core/multi_code.h"

namespace vexo {

namespace {

// Bands that keep their pixels.
constexpr i32 kKeepRows = 65;
constexpr i32 kKeepColumns = 33;

// Rows y0..y1 and columns x0..x1 (inclusive) smoothed from image into scratch, then
// copied back; every neighbour must exist.
void SmoothRectangle(u8 *image, u8 *scratch, i32 width, i32 x0, i32 y0, i32 x1, i32 y1) {
    const size_t w = static_cast<size_t>(width);
    for (i32 y = y0; y <= y1; ++y) {
        const u8 *up = image + static_cast<size_t>(y - 1) * w;
        const u8 *mid = up + w;
        const u8 *down = mid + w;
        u8 *out = scratch + static_cast<size_t>(y) * w;
        for (i32 x = x0; x <= x1; ++x) {
            const i32 s = up[x - 1] + 2 * up[x] + up[x + 1] + 2 * mid[x - 1] + 4 * mid[x] + 2 * mid[x + 1] +
                          down[x - 1] + 2 * down[x] + down[x + 1];
            out[x] = static_cast<u8>(s >> 4);
        }
    }
    const size_t rowBytes = static_cast<size_t>(x1 - x0 + 1);
    for (i32 y = y0; y <= y1; ++y) {
        const size_t at = static_cast<size_t>(y) * w + static_cast<size_t>(x0);
        std::memcpy(image + at, scratch + at, rowBytes);
    }
}

}  // namespace

void Dec_SmoothImage(u8 *image, u8 *scratch, i32 width, i32 height) {
    // A narrower frame would leave no columns between the bands.
    if (image == nullptr || scratch == nullptr || height <= 2 * kKeepRows || width <= 2 * kKeepColumns) return;
    SmoothRectangle(image, scratch, width, kKeepColumns, kKeepRows, width - 1 - kKeepColumns, height - 1 - kKeepRows);
}

void Dec_SmoothImageFull(u8 *image, u8 *scratch, i32 width, i32 height) {
    if (image == nullptr || scratch == nullptr || height < 3 || width < 3) return;
    SmoothRectangle(image, scratch, width, 1, 1, width - 2, height - 2);
}

}  // namespace vexo
