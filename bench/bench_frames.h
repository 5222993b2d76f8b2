// Frames shared by the finder benchmarks: an empty 752 x 480 frame with slight noise and one
// of rows of glyph-sized dark strokes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace benchframes {

constexpr int kWidth = 752;
constexpr int kHeight = 480;

inline std::vector<uint8_t> EmptyFrame() {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight);
    std::mt19937 rng(9);
    for (uint8_t &p : px) p = static_cast<uint8_t>(205 + rng() % 7);
    return px;
}

inline std::vector<uint8_t> TextFrame() {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight, 215);
    std::mt19937 rng(3);
    for (int y = 10; y + 20 < kHeight; y += 26) {
        for (int x = 10; x < kWidth - 12;) {
            const int w = 2 + static_cast<int>(rng() % 9), h = 8 + static_cast<int>(rng() % 12);
            for (int yy = y; yy < y + h; ++yy)
                for (int xx = x; xx < x + w && xx < kWidth; ++xx)
                    if (rng() % 5 != 0) px[static_cast<size_t>(yy) * kWidth + xx] = 35;
            x += w + 1 + static_cast<int>(rng() % 6);
        }
    }
    return px;
}

// The high-water mark of a work area: it is filled with a pattern (twice, with two patterns,
// so that a written byte equal to one of them still shows) and the highest byte that run
// changed is found.
inline int32_t BytesTouched(uint8_t *area, int32_t size, const std::function<void()> &run) {
    int32_t most = 0;
    for (const uint8_t fill : {uint8_t{0xA5}, uint8_t{0x5A}}) {
        for (int32_t k = 0; k < size; ++k) area[k] = fill;
        run();
        int32_t top = size;
        while (top > 0 && area[top - 1] == fill) --top;
        most = top > most ? top : most;
    }
    return most;
}

}  // namespace benchframes
