// Running the Data Matrix L-finder through the 2D finder framework on a whole frame, and the
// true L of a rendered symbol to compare its candidates with.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_finder.h"
#include "locate/finder.h"
#include "support/render.h"

namespace dmtest {

inline constexpr uint32_t kBothPolarities = vexo::kFlag2DDarkOnLight | vexo::kFlag2DLightOnDark;

// Installs the frame, enables Data Matrix with the polarity bits, runs the finders over the
// whole frame and fetches the candidates as the driver does (whole pixels, armEnd1 the
// top-left corner for both polarities).
inline std::vector<vexo::DM_CANDIDATE> FindLs(std::vector<uint8_t> &pixels, int w, int h,
                                              uint32_t polarity = kBothPolarities) {
    vexo::Pix_SetImagePointer(pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Pix_InstallFrame(pixels.data(), w, h);
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] = vexo::kFlagEnabled | 1u | polarity;
    vexo::REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    vexo::Loc_ResetFinders(&region, &region);
    vexo::Loc_RunFinders(&region);
    std::vector<vexo::DM_CANDIDATE> out(20);
    const int n = vexo::DM_FetchLCandidates(&vexo::kDmStages, out.data(), 20);
    out.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return out;
}

// The symbol's L in image coordinates of the finder (a pixel's sample lies at its centre,
// so a continuous point x is the finder's x - 0.5).
struct TrueL {
    testkit::Point armEnd1, corner, armEnd2;
};

inline TrueL TrueLOf(const testkit::Symbol &s, const testkit::Rendered &r) {
    const auto at = [&](double x, double y) {
        const testkit::Point p = r.transform.ToImage({x, y});
        return testkit::Point{p.x - 0.5, p.y - 0.5};
    };
    return TrueL{at(0, 0), at(0, s.rows), at(s.cols, s.rows)};
}

inline double Off(const vexo::GEO_POINT &p, const testkit::Point &t) { return std::hypot(p.x - t.x, p.y - t.y); }

// The distances of the candidate nearest to the true L: corner, larger arm-end error.
struct LMatch {
    bool found = false;
    double corner = 1e9;
    double arms = 1e9;
    int darkOnLight = -1;
};

inline LMatch BestMatch(const std::vector<vexo::DM_CANDIDATE> &cands, const TrueL &t) {
    LMatch m;
    for (const vexo::DM_CANDIDATE &c : cands) {
        const double corner = Off(c.corner, t.corner);
        const double arms = std::fmax(Off(c.armEnd1, t.armEnd1), Off(c.armEnd2, t.armEnd2));
        if (!m.found || corner + arms < m.corner + m.arms) {
            m.found = true;
            m.corner = corner;
            m.arms = arms;
            m.darkOnLight = c.darkOnLight;
        }
    }
    return m;
}

// The outcome of a case: "found", "no L", "corner off", "arm end off" or "polarity".
inline const char *JudgeL(const LMatch &m, bool invert, double cornerLimit, double armLimit) {
    if (!m.found) return "no L";
    if (m.corner > cornerLimit) return "corner off";
    if (m.arms > armLimit) return "arm end off";
    return m.darkOnLight == (invert ? 0 : 1) ? "found" : "polarity";
}

}  // namespace dmtest
