// The Data Matrix L-finder on arbitrary small frames, through the 2D finder framework, then
// DM_GetDM until it answers 0. Input: width and height (one byte each, 1 to 128), the
// polarity bits (low two bits of one byte), then pixels, repeated to fill the frame. Checks
// that the segment store never holds more than 512 segments, that the read cursor stays in
// it, and that every L carries a polarity flag that the configuration can give.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "datamatrix/dm_finder.h"
#include "datamatrix/dm_stages.h"
#include "locate/finder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const int w = 1 + data[0] % 128, h = 1 + data[1] % 128;
    const uint32_t polarity = (data[2] & 3u) << 5;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[3 + k % (size - 3)];
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(frame.data(), w, h);
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u | polarity;
    vexo::REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    const vexo::DM_FINDER_STORE &f = vexo::g_dmFinder;
    Check(f.allocated >= 0 && f.allocated <= vexo::kDmMaxSegments);
    // The flags the two slots can carry: slot 1 bit 5, slot 2 the inverse of bit 6.
    const int flag1 = (polarity & vexo::kFlag2DDarkOnLight) != 0 ? 1 : 0;
    const int flag2 = (polarity & vexo::kFlag2DLightOnDark) == 0 ? 1 : 0;
    vexo::DM_L_CANDIDATE l{};
    for (int n = 0; n < 64 && vexo::DM_GetDM(&l) != 0; ++n) {
        Check(l.darkOnLight == flag1 || l.darkOnLight == flag2);
        Check(l.fourthX == l.end1X + l.end2X - l.cornerX && l.fourthY == l.end1Y + l.end2Y - l.cornerY);
    }
    Check(f.windowStart >= 0 && f.windowStart <= vexo::kDmMaxSegments);
    Check(f.windowLength >= 0 && f.windowLength <= f.windowStart);
    return 0;
}
