// A grey camera frame as the host programs, the host camera library and the test kit pass
// it around: 8-bit pixels, rows of `width` bytes with no padding (the decoder's stride is its width).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imageio {

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height bytes, row after row

    Frame() = default;
    Frame(int w, int h, uint8_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    uint8_t &At(int x, int y) { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    bool Empty() const { return width <= 0 || height <= 0; }
};

}  // namespace imageio
