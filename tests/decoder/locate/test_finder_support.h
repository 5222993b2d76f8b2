// Shared pieces of the finder, projection and edge-pairing tests: a clean decoder with the
// locating statics reset, grey frames installed with the decoder's working buffer, and
// drawing helpers for bars.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "locate/finder.h"
#include "locate/projection.h"
#include "locate_test.h"

namespace finder_test {

struct Grey {
    Grey(int w, int h, uint8_t level = 200) : width(w), height(h), pixels(static_cast<size_t>(w) * h, level) {}
    uint8_t &At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    void Fill(int x0, int y0, int x1, int y1, uint8_t v) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) At(x, y) = v;
    }
    // Dark vertical bars `bar` wide every `pitch` pixels from x0 over rows y0..y1.
    void VerticalBars(int x0, int count, int bar, int pitch, int y0, int y1, uint8_t dark = 30) {
        for (int k = 0; k < count; ++k) Fill(x0 + k * pitch, y0, x0 + k * pitch + bar, y1, dark);
    }
    void HorizontalBars(int y0, int count, int bar, int pitch, int x0, int x1, uint8_t dark = 30) {
        for (int k = 0; k < count; ++k) Fill(x0, y0 + k * pitch, x1, y0 + k * pitch + bar, dark);
    }
    int width, height;
    std::vector<uint8_t> pixels;
};

// The decoder's statics, the finder and projection records included, start as at load.
class FinderTest : public vexo_test::DecoderTest {
protected:
    static void Install(uint8_t *pixels, int w, int h) {
        vexo::Pix_SetImagePointer(pixels);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(w, h);
    }
    static void Install(Grey &g) { Install(g.pixels.data(), g.width, g.height); }
};

using locate_test::Box;

inline std::string Describe(const vexo::REGION_QUAD &q) {
    std::ostringstream os;
    os << "{(" << q.c[0].x << "," << q.c[0].y << ") (" << q.c[1].x << "," << q.c[1].y << ") (" << q.c[2].x << ","
       << q.c[2].y << ") (" << q.c[3].x << "," << q.c[3].y << ")}";
    return os.str();
}

}  // namespace finder_test
