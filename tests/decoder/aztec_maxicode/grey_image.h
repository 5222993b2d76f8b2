// A grey test image installed as the decoder's image. The pixels live in a heap block of
// exactly width x height bytes, so that the address sanitizer reports any read outside it.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>

#include "core/pixel.h"

namespace vexo_test {

class GreyImage {
public:
    GreyImage(int width, int height, uint8_t fill = 0) : width_(width), height_(height), pixels_(new uint8_t[Size()]) {
        for (size_t i = 0; i < Size(); ++i) pixels_[i] = fill;
        Install();
    }
    void Install() {
        vexo::Pix_SetImagePointer(pixels_.get());
        vexo::Pix_SetImageSize(width_, height_);
    }
    void Randomise(uint32_t seed) {
        std::mt19937 rng(seed);
        for (size_t i = 0; i < Size(); ++i) pixels_[i] = static_cast<uint8_t>(rng());
    }
    // Fills every pixel from f(x, y), rounded and clamped to 0..255.
    void Paint(const std::function<double(int, int)> &f) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const double v = std::lround(f(x, y));
                At(x, y) = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    uint8_t &At(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    uint8_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    uint8_t *Data() { return pixels_.get(); }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    size_t Size() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }
    int width_;
    int height_;
    std::unique_ptr<uint8_t[]> pixels_;
};

// Grey of concentric rings around (cx, cy): a dark disc of radius module / 2, then light and
// dark rings `module` wide. Edges lie at radii (k + 1/2) module; each is a linear ramp
// `blur` pixels wide (0: sharp, decided at the pixel centre).
inline double RingGrey(double x, double y, double cx, double cy, double module, double blur, double dark,
                       double light) {
    const double r = std::hypot(x - cx, y - cy);
    const double k = std::floor(r / module + 0.5);  // ring index, even = dark
    const bool isDark = static_cast<long>(k) % 2 == 0;
    // Distance to the nearest edge.
    const double inner = (k - 0.5) * module;
    const double outer = (k + 0.5) * module;
    const double dist = k == 0 ? outer - r : std::fmin(r - inner, outer - r);
    double lightShare = isDark ? 0.0 : 1.0;
    if (blur > 0 && dist < blur / 2) {
        const double t = 0.5 + dist / blur;  // 0.5 on the edge, 1 at half the ramp inside
        lightShare = isDark ? 1.0 - t : t;
    }
    return dark + (light - dark) * lightShare;
}

}  // namespace vexo_test
