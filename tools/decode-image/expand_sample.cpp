#include "samples.h"

namespace decode_image {

imageio::Frame ExpandSample(const Sample &sample) {
    imageio::Frame frame(sample.width, sample.height);
    size_t at = 0;
    for (size_t i = 0; i + 1 < sample.runBytes; i += 2) {
        const size_t n = sample.runs[i];
        if (n > frame.pixels.size() - at) return imageio::Frame();
        for (size_t k = 0; k < n; ++k) frame.pixels[at++] = sample.runs[i + 1];
    }
    return at == frame.pixels.size() ? frame : imageio::Frame();
}

}  // namespace decode_image
