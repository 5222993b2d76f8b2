// The Data Matrix segment finder on arbitrary small frames. Input: width and height (one
// byte each, 1 to 160), the number of candidates wanted (1 to 20), a flag byte (bit 0 the
// dark-on-light probes, bit 1 the light-on-dark ones, bit 2 the segment-finder option),
// then pixels, repeated to fill the frame. Checks that at most `wanted` candidates come
// back, each valid, with its corner and both arm ends inside the frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/pixel.h"
#include "core/test_hooks.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_segment.h"
#include "datamatrix/test_hooks_dm.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Inside(const vexo::GEO_POINT &p, int w, int h) { return p.x >= 0 && p.y >= 0 && p.x < w && p.y < h; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    const int w = 1 + data[0] % 160, h = 1 + data[1] % 160;
    const int wanted = 1 + data[2] % 20;
    const int flags = data[3];
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[4 + k % (size - 4)];
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetDmStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(frame.data(), w, h);
    vexo::DM_SetImage(frame.data(), w, h);
    vexo::g_dmOptions.segmentFinderOption = (flags >> 2) & 1;
    vexo::DM_CANDIDATE out[20] = {};
    const int n = vexo::DM_SegmentFinder(out, wanted, flags & 1, (flags >> 1) & 1);
    Check(n >= 0 && n <= wanted);
    for (int i = 0; i < n; ++i) {
        Check(out[i].valid == 1);
        Check(Inside(out[i].corner, w, h) && Inside(out[i].armEnd1, w, h) && Inside(out[i].armEnd2, w, h));
    }
    return 0;
}
