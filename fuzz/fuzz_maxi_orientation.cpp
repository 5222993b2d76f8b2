// The MaxiCode orientation search alone on arbitrary small frames with a random centre and
// ring pitch. Input: width and height (one byte each, 1 to 160), the centre (two bytes each,
// in 1/16 pixel, up to 16 pixels beyond the frame on either side), the pitch (two bytes),
// the threshold, a painting byte, then pixels repeated to fill the frame; when the painting
// byte is odd a bulls-eye ringed by a dark band is drawn at the centre with the given
// pitch, so the fans, pairs and axes are reached. Checks: the result is 0 or 1, and a
// search that fails leaves the stored orientation points alone.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void PaintBandedBullseye(std::vector<uint8_t> &frame, int w, int h, double cx, double cy, double u, int band) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / u;
            uint8_t &p = frame[static_cast<size_t>(y) * w + x];
            if (r >= 0.75 && r < 5.75) p = (static_cast<int>(r - 0.75) & 1) == 0 ? 30 : 220;
            else if (r >= 7.2 && r < 7.2 + 0.5 * (band & 7)) p = 30;
            else if (r < 9) p = 220;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 10) return 0;
    const int w = 1 + data[0] % 160, h = 1 + data[1] % 160;
    const int cx = (data[2] | data[3] << 8) % ((w + 32) * 16) - 16 * 16;
    const int cy = (data[4] | data[5] << 8) % ((h + 32) * 16) - 16 * 16;
    const int pitch = data[6] | data[7] << 8;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 200);
    if (size > 10)
        for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[10 + k % (size - 10)];
    if ((data[9] & 1) != 0 && pitch >= 16 && pitch <= 16 * 12)
        PaintBandedBullseye(frame, w, h, cx / 16.0 + 0.5, cy / 16.0 + 0.5, pitch / 16.0, data[9] >> 1);
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::g_maxiGrid.threshold = data[8];
    for (int k = 0; k < vexo::kMaxiOrientationPoints; ++k) vexo::g_maxiGrid.points[k] = vexo::GEO_POINT{-7, k};
    const vexo::GEO_POINT centre{cx, cy};
    const vexo::i32 found = vexo::Maxi_FindOrientation(pitch, &centre, 0);
    Check(found == 0 || found == 1);
    if (found == 0) {
        for (int k = 0; k < vexo::kMaxiOrientationPoints; ++k)
            Check(vexo::g_maxiGrid.points[k].x == -7 && vexo::g_maxiGrid.points[k].y == k);
    }
    return 0;
}
