// Synthetic bar lines for the PDF417 image-side tests: elements of given module widths drawn
// at any pixel scale and sub-pixel offset, with Gaussian blur, into a line of grey samples
// or into every row of a frame installed as the decoder's image.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "pdf417/pdf417_scanline.h"

namespace pdf_bars {

struct BarLook {
    double modulePx = 3;
    double offsetPx = 0;  // where the first element starts
    double blur = 0;      // sigma in pixels
    int dark = 30;
    int light = 220;
    bool inverted = false;  // light bars on a dark ground
};

// Grey samples 0..n-1 of alternating elements (the first a bar) of the given module widths.
inline std::vector<uint8_t> BarLine(const std::vector<int> &widths, const BarLook &look, int n) {
    std::vector<std::pair<double, double>> bars;
    double x = look.offsetPx;
    for (size_t i = 0; i < widths.size(); ++i) {
        const double end = x + widths[i] * look.modulePx;
        if (i % 2 == 0) bars.emplace_back(x, end);
        x = end;
    }
    const int ink = look.inverted ? look.light : look.dark;
    const int paper = look.inverted ? look.dark : look.light;
    std::vector<uint8_t> out(static_cast<size_t>(n));
    constexpr int kSub = 16;
    for (int p = 0; p < n; ++p) {
        double cover = 0;
        for (int k = 0; k < kSub; ++k) {
            const double t = p + (k + 0.5) / kSub;
            for (const auto &[a, b] : bars) {
                if (look.blur <= 0) {
                    cover += (t >= a && t < b) ? 1.0 : 0.0;
                } else {
                    const double s = look.blur * std::sqrt(2.0);
                    cover += 0.5 * (std::erf((t - a) / s) - std::erf((t - b) / s));
                }
            }
        }
        cover = std::min(1.0, cover / kSub);
        out[static_cast<size_t>(p)] = static_cast<uint8_t>(std::lround(paper + (ink - paper) * cover));
    }
    return out;
}

// A frame installed as the decoder's image, with a fresh arena and reading parameters.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        vexo::Mem_ResetArena();
    }
    void Install(int width, int height, const std::vector<uint8_t> &row) {
        pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            std::copy(row.begin(), row.begin() + width, pixels.begin() + static_cast<long>(y) * width);
        }
        Use(width, height);
    }
    void InstallFrame(int width, int height, const std::vector<uint8_t> &all) {
        pixels = all;
        Use(width, height);
    }
    void Use(int width, int height) {
        vexo::g_image.data = pixels.data();
        vexo::g_image.width = width;
        vexo::g_image.height = height;
        vexo::g_image.widthCopy = width;
        vexo::Pix_InstallFrame(pixels.data(), width, height);
    }
public:
    // Arena bytes in use (to check that a call gave its blocks back).
    static int ArenaUsed() {
        vexo::ARENA_STATS stats{};
        vexo::Mem_GetStats(&stats);
        return stats.used;
    }

protected:
    std::vector<uint8_t> pixels;
};

}  // namespace pdf_bars
