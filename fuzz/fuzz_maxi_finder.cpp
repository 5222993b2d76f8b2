// The MaxiCode bulls-eye finder alone through the 2D finder framework on arbitrary small
// frames. Input: width and height (one byte each, 1 to 160), a painting byte, then pixels,
// repeated to fill the frame; when the painting byte is odd a bulls-eye of ring width 3 to
// 10 is drawn over the pixels at a place the next bytes choose, so the walks and the
// candidate table are reached. Checks: at most four candidates, each centre inside the
// frame, each radius positive, the table sorted by score.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "locate/finder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void PaintBullseye(std::vector<uint8_t> &frame, int w, int h, double cx, double cy, double u) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / u - 0.75;
            if (r >= 0 && r < 5) frame[static_cast<size_t>(y) * w + x] = (static_cast<int>(r) & 1) == 0 ? 30 : 220;
            else if (r >= -0.75 && r < 6) frame[static_cast<size_t>(y) * w + x] = 220;
        }
    }
}

// The framework's pass needs the QR ring's queue set; MaxiCode is the only finder asked.
const vexo::FINDER_MODULE kMaxiAlone[1] = {{.reset = vexo::Maxi_FinderReset,
                                            .wantsRows = vexo::Maxi_FinderRowWanted,
                                            .rowLine = vexo::Maxi_FinderRowLine,
                                            .rowsDone = nullptr,
                                            .wantsColumns = nullptr,
                                            .columnLine = nullptr,
                                            .columnsDone = nullptr,
                                            .spare = nullptr}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    const int w = 1 + data[0] % 160, h = 1 + data[1] % 160;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 200);
    if (size > 6)
        for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[6 + k % (size - 6)];
    if ((data[2] & 1) != 0) PaintBullseye(frame, w, h, data[3] % w + 0.5, data[4] % h + 0.5, 3 + data[5] % 8);
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetMaxiStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetImageSize(w, h);
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = vexo::kFlagEnabled;
    int queue = 0;
    vexo::g_qrFinderQueue = vexo::QR_FINDER_QUEUE{&queue, &queue};
    vexo::REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    vexo::Loc_ResetFinderTable(kMaxiAlone, 1, &region, &region);
    vexo::Loc_RunFinderTable(kMaxiAlone, 1, &region);
    const vexo::MAXI_FINDER_STATE &f = vexo::g_maxiFinder;
    Check(f.count >= 0 && f.count <= vexo::kMaxiCandidates);
    for (int k = 0; k < f.count; ++k) {
        const vexo::MAXI_BULLSEYE &b = f.table[k];
        Check(b.x >= 0 && b.x < w && b.y >= 0 && b.y < h);
        Check(b.radius >= 0 && b.valid == 1);
        if (k > 0) Check(f.table[k - 1].score >= b.score);
    }
    Check((vexo::g_finderState.success[vexo::kFinderIdMaxiCode] != 0) == (f.count > 0));
    vexo::g_qrFinderQueue = vexo::QR_FINDER_QUEUE{nullptr, nullptr};
    return 0;
}
