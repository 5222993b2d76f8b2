// The Data Matrix strip L-finder on arbitrary small frames. Input: width and height (one
// byte each, 1 to 128), max (1 to 16) and the two polarity wishes (low two bits of one byte),
// then pixels, repeated to fill the frame. Checks that at most max candidates come back,
// each valid, with its fourth corner from the other three, the polarities asked for, and
// the slots beyond the count untouched.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/pixel.h"
#include "datamatrix/dm_strip.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    const int w = 1 + data[0] % 128, h = 1 + data[1] % 128;
    const int max = 1 + data[2] % 16;
    const int dark = data[3] & 1, light = (data[3] >> 1) & 1;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[4 + k % (size - 4)];
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(frame.data(), w, h);
    vexo::DM_CANDIDATE out[17]{};
    for (vexo::DM_CANDIDATE &c : out) c.contrastHint = 12345;
    const int n = vexo::DM_FetchStripCandidates(out, max, dark, light);
    Check(n >= 0 && n <= max);
    for (int i = 0; i < 17; ++i) {
        const vexo::DM_CANDIDATE &c = out[i];
        Check(c.contrastHint == 12345);
        if (i >= n) {
            Check(c.valid == 0);
            continue;
        }
        Check(c.valid == 1);
        Check(c.fourthCorner.x == c.armEnd1.x + c.armEnd2.x - c.corner.x);
        Check(c.fourthCorner.y == c.armEnd1.y + c.armEnd2.y - c.corner.y);
        Check((c.darkOnLight == 1 && dark == 1) || (c.darkOnLight == 0 && light == 1));
    }
    return 0;
}
