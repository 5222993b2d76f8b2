// Shared fixture of the region-locating tests: a clean decoder, an installed grey frame
// with the decoder's working buffer, and the frame margins computed for it.
#pragma once

#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "core/frame_margins.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "locate/region_select.h"

namespace vexo {

inline bool operator==(const REGION_QUAD &a, const REGION_QUAD &b) {
    for (int k = 0; k < 4; ++k)
        if (a.c[k].x != b.c[k].x || a.c[k].y != b.c[k].y) return false;
    return true;
}
inline bool operator==(const ROI_BOX &a, const ROI_BOX &b) {
    return a.top == b.top && a.bottom == b.bottom && a.left == b.left && a.right == b.right;
}
inline void PrintTo(const REGION_QUAD &q, std::ostream *os) {
    *os << "{(" << q.c[0].x << "," << q.c[0].y << ") (" << q.c[1].x << "," << q.c[1].y << ") (" << q.c[2].x << ","
        << q.c[2].y << ") (" << q.c[3].x << "," << q.c[3].y << ")}";
}
inline void PrintTo(const ROI_BOX &b, std::ostream *os) {
    *os << "{top " << b.top << ", bottom " << b.bottom << ", left " << b.left << ", right " << b.right << "}";
}

}  // namespace vexo

namespace locate_test {

struct GreyFrame {
    GreyFrame(int w, int h, uint8_t level = 128) : width(w), height(h), pixels(static_cast<size_t>(w) * h, level) {}
    uint8_t &At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    // A 0/255 checkerboard of `cell`-pixel squares over [x0, x1) x [y0, y1).
    void Checker(int x0, int y0, int x1, int y1, int cell) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) At(x, y) = ((x - x0) / cell + (y - y0) / cell) % 2 != 0 ? 255 : 0;
    }
    // Uniform noise of the given amplitude around the pixel's level.
    void Noise(uint32_t seed, int amplitude) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> d(-amplitude, amplitude);
        for (uint8_t &p : pixels) {
            const int v = p + d(rng);
            p = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    int width, height;
    std::vector<uint8_t> pixels;
};

class LocateTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::g_frameMargins = vexo::FRAME_MARGINS{};
        vexo::g_candidateStore = vexo::CANDIDATE_STORE{};
        for (vexo::ROI_BOX &b : vexo::g_roiTable) b = vexo::ROI_BOX{};
    }
    // Installs the frame as a decode would and computes its margins.
    static void Install(GreyFrame &f) {
        vexo::Pix_SetImagePointer(f.pixels.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(f.width, f.height);
        vexo::Dec_ComputeFrameMargins();
    }
    // Frame size only, for code that reads no pixels.
    static void UseSize(int w, int h) {
        vexo::Pix_SetImageSize(w, h);
        vexo::Dec_ComputeFrameMargins();
    }
};

inline vexo::REGION_QUAD Box(int left, int top, int right, int bottom) {
    return vexo::REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

}  // namespace locate_test
