// Helpers of the MaxiCode finder tests: synthetic bulls-eyes painted with exact pixel
// coverage, and the 2D finder framework run over a region with MaxiCode alone enabled.
#pragma once

#include <cmath>
#include <vector>

#include "aztec_maxicode/maxi_finder.h"
#include "core/params.h"
#include "core/pixel.h"
#include "grey_image.h"
#include "locate/finder.h"

namespace maxitest {

// A bulls-eye as the finder's Part draws it: a light centre 1.5 u across, then three dark
// rings of width u with two light rings of width u between them, on a light ground.
struct Bullseye {
    double cx;
    double cy;
    double u;
};

// Inner radius of the third dark ring: what the finder reports as radius.
inline double BullseyeRadius(double u) { return 4.75 * u; }

inline bool DarkAt(const Bullseye &b, double x, double y) {
    const double r = std::hypot(x - b.cx, y - b.cy) / b.u - 0.75;  // rings from the centre's edge
    if (r < 0 || r >= 5) return false;
    return (static_cast<int>(r) & 1) == 0;
}

// Paints the bulls-eyes with their pixel coverage (16 x 16 samples per pixel near an edge).
inline void PaintBullseyes(vexo_test::GreyImage &img, const std::vector<Bullseye> &eyes, double dark = 30,
                           double light = 220) {
    auto nearEdge = [&](double x, double y) {
        for (const Bullseye &b : eyes) {
            const double r = std::hypot(x - b.cx, y - b.cy) / b.u - 0.75;
            if (r > -1 && r < 6 && std::fabs(r - std::round(r)) * b.u < 0.75) return true;
        }
        return false;
    };
    auto darkAt = [&](double x, double y) {
        for (const Bullseye &b : eyes)
            if (DarkAt(b, x, y)) return true;
        return false;
    };
    img.Paint([&](int x, int y) {
        if (!nearEdge(x + 0.5, y + 0.5)) return darkAt(x + 0.5, y + 0.5) ? dark : light;
        int n = 0;
        for (int sy = 0; sy < 16; ++sy)
            for (int sx = 0; sx < 16; ++sx) n += darkAt(x + (sx + 0.5) / 16, y + (sy + 0.5) / 16) ? 1 : 0;
        return light + (dark - light) * n / 256.0;
    });
}

// Installs the image as the frame, enables MaxiCode alone and runs the finder framework over
// the region x0..x1, y0..y1 (inclusive). Answers the number of candidates.
inline int RunFinders(vexo_test::GreyImage &img, int x0, int y0, int x1, int y1) {
    img.Install();
    vexo::Pix_InstallFrame(img.Data(), img.Width(), img.Height());
    vexo::g_params.flagsWord[vexo::kSymMaxiCode] = vexo::kFlagEnabled;
    vexo::REGION_QUAD region{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    return vexo::g_maxiFinder.count;
}

inline int RunWholeImage(vexo_test::GreyImage &img) {
    return RunFinders(img, 0, 0, img.Width() - 1, img.Height() - 1);
}

}  // namespace maxitest
