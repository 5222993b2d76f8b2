#include "imageio/scale.h"

#include <algorithm>
#include <cmath>

namespace imageio {

bool FitsFrameLimit(int width, int height) {
    return width > 0 && height > 0 && width <= kFrameMaxSide && height <= kFrameMaxSide &&
           int64_t{width} * height <= kFrameMaxPixels;
}

void SizeToFit(int width, int height, int *fitWidth, int *fitHeight) {
    if (width <= 0 || height <= 0 || FitsFrameLimit(width, height)) {
        *fitWidth = width;
        *fitHeight = height;
        return;
    }
    const double area = static_cast<double>(width) * height;
    const double s = std::min({static_cast<double>(kFrameMaxSide) / width, static_cast<double>(kFrameMaxSide) / height,
                               std::sqrt(static_cast<double>(kFrameMaxPixels) / area)});
    int w = std::clamp(static_cast<int>(std::floor(width * s)), 1, kFrameMaxSide);
    int h = std::clamp(static_cast<int>(std::floor(height * s)), 1, kFrameMaxSide);
    // Rounding of s may leave the product a pixel row over the limit.
    while (int64_t{w} * h > kFrameMaxPixels) {
        if (w >= h) --w; else --h;
    }
    *fitWidth = w;
    *fitHeight = h;
}

namespace {

// Weights of the source pixels that output pixel i covers along one axis.
struct Span {
    int first = 0;
    std::vector<double> weights;
};

std::vector<Span> AreaSpans(int inSize, int outSize) {
    std::vector<Span> spans(static_cast<size_t>(outSize));
    const double ratio = static_cast<double>(inSize) / outSize;
    for (int i = 0; i < outSize; ++i) {
        const double a = i * ratio, b = (i + 1) * ratio;
        Span &s = spans[static_cast<size_t>(i)];
        s.first = static_cast<int>(std::floor(a));
        const int last = std::min(inSize - 1, static_cast<int>(std::ceil(b)) - 1);
        for (int k = s.first; k <= last; ++k) {
            const double cover = std::min(b, k + 1.0) - std::max(a, static_cast<double>(k));
            s.weights.push_back(cover / ratio);
        }
    }
    return spans;
}

}  // namespace

Frame ScaleDown(const Frame &in, int width, int height) {
    width = std::clamp(width, 1, std::max(1, in.width));
    height = std::clamp(height, 1, std::max(1, in.height));
    if (in.Empty()) return Frame();
    if (width == in.width && height == in.height) return in;
    const std::vector<Span> xs = AreaSpans(in.width, width), ys = AreaSpans(in.height, height);
    // Rows first into a float buffer, then columns.
    std::vector<double> rows(static_cast<size_t>(width) * static_cast<size_t>(in.height));
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Span &s = xs[static_cast<size_t>(x)];
            double sum = 0;
            for (size_t k = 0; k < s.weights.size(); ++k) sum += s.weights[k] * in.At(s.first + static_cast<int>(k), y);
            rows[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = sum;
        }
    }
    Frame out(width, height);
    for (int y = 0; y < height; ++y) {
        const Span &s = ys[static_cast<size_t>(y)];
        for (int x = 0; x < width; ++x) {
            double sum = 0;
            for (size_t k = 0; k < s.weights.size(); ++k) {
                sum += s.weights[k] * rows[static_cast<size_t>(s.first + static_cast<int>(k)) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            }
            out.At(x, y) = static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
    return out;
}

Frame FitToFrameLimit(const Frame &in, bool *scaled) {
    int w = 0, h = 0;
    SizeToFit(in.width, in.height, &w, &h);
    const bool shrink = w != in.width || h != in.height;
    if (scaled != nullptr) *scaled = shrink;
    return shrink ? ScaleDown(in, w, h) : in;
}

}  // namespace imageio
