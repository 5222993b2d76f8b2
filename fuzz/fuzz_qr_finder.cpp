// The QR finder on arbitrary small frames, through the 2D finder framework. Input: width and
// height (one byte each, 8 to 135), the polarity bits (low two bits of one byte), then
// pixels, repeated to fill the frame. Checks that at most 250 patterns stand, each of a
// polarity that was searched, with its centre the mean of its corners and its box holding
// them, and that the hit ring's indices stay in range.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/finder.h"
#include "qr/qr_finder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckPattern(const vexo::QR_FINDER_PATTERN &p, uint32_t word) {
    Check(p.inverse == 0 || p.inverse == 1);
    Check((word & (p.inverse != 0 ? vexo::kFlag2DLightOnDark : vexo::kFlag2DDarkOnLight)) != 0);
    int64_t sx = 0, sy = 0;
    for (const vexo::GEO_POINT &c : p.corners) {
        sx += c.x;
        sy += c.y;
    }
    Check(p.centreX == static_cast<int32_t>((sx + 2) >> 2) && p.centreY == static_cast<int32_t>((sy + 2) >> 2));
    Check(p.minX <= p.maxX && p.minY <= p.maxY);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const int w = 8 + data[0] % 128, h = 8 + data[1] % 128;
    const uint32_t word = vexo::kFlagEnabled | 1u | ((data[2] & 3u) << 5);
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[3 + k % (size - 3)];
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(frame.data(), w, h);
    vexo::g_params.flagsWord[vexo::kSymQr] = word;
    vexo::REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    vexo::QR_VerifyQueuedHits(vexo::kQrVerifyAllRows);
    const vexo::QR_FINDER_STORE &f = vexo::g_qrFinder;
    Check(f.patternCount <= vexo::kQrMaxPatterns);
    Check(f.readIndex < vexo::kQrHitRingSize && f.writeIndex < vexo::kQrHitRingSize);
    Check(vexo::QR_HitRingEmpty() == 1);
    for (int k = 0; k < f.patternCount; ++k) CheckPattern(f.patterns[k], word);
    return 0;
}
