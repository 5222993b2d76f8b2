// Rendered Aztec symbols run through the finder framework, and the bulls-eyes handed out
// checked against the render transform.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "aztec_maxicode/azt_finder.h"
#include "aztec_maxicode/azt_symbol.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/finder.h"
#include "support/render.h"
#include "support/symbol.h"

namespace azt_finder_test {

struct Case {
    int option2;  // libzint size: 1-4 compact layers, 5-36 full-range (layers + 4)
    double module;
    double angle;
    bool inverted;
    uint64_t seed;
    double blur = 0.5;
    double noise = 2;
    double offsetY = 0;  // symbol centre below the region centre, in pixels
};

struct Outcome {
    bool raised = false;
    int found = 0;  // bulls-eyes handed out
    bool fullRight = false;
    double centreError = 1e9;  // pixels
    double cornerError = 1e9;  // worst corner, pixels
    double cornerLimit = 0;    // half a module, at least 1 px
    int size = 0;
    const char *stage = "";  // where a miss was lost
};

// Where the candidates of a region without a bulls-eye were lost: the furthest step any
// queued entry reached.
inline const char *LostStage() {
    vexo::AZT_FINDER_STATE &f = vexo::g_aztFinder;
    const int queued = f.write;
    if (queued == 0) return "row";
    int furthest = 0;
    for (int k = 0; k < queued && k < vexo::kAztQueueEntries; ++k) {
        const vexo::AZT_QUEUE_ENTRY e = f.queue[k];
        vexo::AZT_BULLSEYE b{};
        int reached = 0;
        if (vexo::Azt_SetupRays(&e) == 1) {
            reached = 1;
            if (vexo::Azt_CastRays() == 1) {
                reached = 2;
                if (vexo::Azt_FitBullseyeSquare(&b) == 1) reached = vexo::Azt_CheckLargeCentre(&e, &b) == 1 ? 4 : 3;
            }
        }
        furthest = std::max(furthest, reached);
    }
    static const char *const kStages[] = {"setup", "rays", "square", "centre", "table"};
    return kStages[furthest];
}

inline std::string Describe(const Case &c) {
    return "option2 " + std::to_string(c.option2) + " module " + std::to_string(c.module) + " angle " +
           std::to_string(c.angle) + (c.inverted ? " inverted" : "") + " seed " + std::to_string(c.seed);
}

// Symbols by libzint size option, made once.
inline const testkit::Symbol &SymbolFor(int option2) {
    static std::vector<testkit::Symbol> made(37);
    testkit::Symbol &s = made[option2];
    if (!s.ok) {
        testkit::SymbolInput in;
        in.symbology = BARCODE_AZTEC;
        in.data = "Aztec finder " + std::to_string(option2);
        in.option2 = option2;
        s = testkit::Encode(in);
    }
    return s;
}

// Whether the symbol fits the frame turned by the angle with a margin of two modules.
inline bool Fits(int size, double module, double angle, int width = 752, int height = 480) {
    const double a = angle * M_PI / 180.0;
    const double extent = (size + 4) * module * (std::fabs(std::cos(a)) + std::fabs(std::sin(a)));
    return extent < std::min(width, height) - 4;
}

// Frame, region round the symbol, Aztec alone enabled with the given read-mode bits.
struct Scene {
    testkit::Rendered rendered;
    vexo::REGION_QUAD region{};

    Scene(const testkit::Symbol &sym, const Case &c, int width = 752, int height = 480) {
        testkit::RenderOptions o;
        o.width = width;
        o.height = height;
        o.moduleSize = c.module;
        o.angleDeg = c.angle;
        o.invert = c.inverted;
        o.quietZone = 4;
        o.blurSigma = c.blur;
        o.noiseSigma = c.noise;
        o.seed = c.seed;
        o.center = testkit::Point{width / 2.0, height / 2.0 + c.offsetY};
        rendered = testkit::Render(sym, o);
        vexo::Pix_SetImagePointer(rendered.frame.pixels.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(width, height);
        // A region centred in the frame, as large as the turned symbol and its quiet zone.
        const double a = c.angle * M_PI / 180.0;
        const int half = static_cast<int>((sym.width + 8) * c.module * (std::fabs(std::cos(a)) + std::fabs(std::sin(a))) / 2);
        const int cx = width / 2, cy = height / 2;
        const int x0 = std::max(0, cx - half), x1 = std::min(width - 1, cx + half);
        const int y0 = std::max(0, cy - half), y1 = std::min(height - 1, cy + half);
        region = vexo::REGION_QUAD{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
    }
};

inline void EnableAztecOnly(uint32_t readMode) {
    using namespace vexo;
    for (int k : {kSymQr, kSymMicroQr, kSymDataMatrix, kSymMaxiCode, kSymCsCode, kSymPdf417, kSymMicroPdf417})
        g_params.flagsWord[k] &= ~kFlagEnabled;
    u32 &w = g_params.flagsWord[kSymAztec];
    w = (w & ~kFlag2DReadModeMask) | kFlagEnabled | readMode;
}

// Decoder coordinates put pixel centres on whole pixels.
inline testkit::Point ModulePoint(const testkit::Rendered &r, const testkit::Symbol &sym, int row, int col) {
    const testkit::Point p = r.ModuleCentre(sym, row, col);
    return {p.x - 0.5, p.y - 0.5};
}

// The corner (0 top-left, clockwise) of the orientation ring whose corner module and both
// its ring neighbours are dark.
inline int OrientationCorner(const testkit::Symbol &sym, int ring) {
    const int c = sym.rows / 2;
    const int rows[4] = {c - ring, c - ring, c + ring, c + ring};
    const int cols[4] = {c - ring, c + ring, c + ring, c - ring};
    for (int k = 0; k < 4; ++k) {
        const int dr = rows[k] < c ? 1 : -1, dc = cols[k] < c ? 1 : -1;
        if (sym.Dark(rows[k], cols[k]) && sym.Dark(rows[k] + dr, cols[k]) && sym.Dark(rows[k], cols[k] + dc)) return k;
    }
    return -1;
}

// The region is the scene's own unless one is given (in frame coordinates).
inline Outcome RunCase(const Case &c, uint32_t readMode, const vexo::REGION_QUAD *regionOverride = nullptr) {
    Outcome out;
    const testkit::Symbol &sym = SymbolFor(c.option2);
    if (!sym.ok) return out;
    out.size = sym.rows;
    Scene scene(sym, c);
    EnableAztecOnly(readMode);
    if (regionOverride != nullptr) scene.region = *regionOverride;
    vexo::Loc_ResetFinders(&scene.region, &scene.region);
    vexo::Loc_RunFinders(&scene.region);
    out.raised = vexo::g_finderState.success[vexo::kFinderIdAztec] == 1;
    if (!out.raised) out.stage = LostStage();
    const bool full = c.option2 > 4;
    const int ring = full ? 5 : 3;
    const int centre = sym.rows / 2;
    const int turn = OrientationCorner(sym, ring + 2);
    const int rows[4] = {centre - ring, centre - ring, centre + ring, centre + ring};
    const int cols[4] = {centre - ring, centre + ring, centre + ring, centre - ring};
    out.cornerLimit = std::max(1.0, c.module / 2);
    while (const vexo::AZT_BULLSEYE *b = vexo::Azt_NextBullseyeCandidate()) {
        if (++out.found > 1) continue;
        out.fullRight = (b->full != 0) == full;
        const testkit::Point m = ModulePoint(scene.rendered, sym, centre, centre);
        out.centreError = std::hypot(b->centreX / 16.0 - m.x, b->centreY / 16.0 - m.y);
        double worst = 0;
        for (int k = 0; k < 4; ++k) {
            const int at = (turn + k) & 3;
            const testkit::Point q = ModulePoint(scene.rendered, sym, rows[at], cols[at]);
            worst = std::max(worst, std::hypot(b->q[k][0] / 16.0 - q.x, b->q[k][1] / 16.0 - q.y));
        }
        out.cornerError = turn < 0 ? 1e9 : worst;
    }
    if (out.raised && !out.fullRight) out.stage = "full";
    else if (out.raised && out.cornerError > out.cornerLimit) out.stage = "corners";
    else if (out.raised && out.centreError > 1.0) out.stage = "centre";
    return out;
}

inline bool Good(const Outcome &o) {
    return o.raised && o.found == 1 && o.fullRight && o.centreError <= 1.0 && o.cornerError <= o.cornerLimit;
}

// The Aztec read mode of the frame's polarity (Aztec word bits 5 and 6).
inline void SetReadPolarity(bool inverted) {
    uint32_t &w = vexo::g_params.flagsWord[vexo::kSymAztec];
    w = (w & ~vexo::kFlag2DReadModeMask) | (inverted ? vexo::kFlag2DLightOnDark : vexo::kFlag2DDarkOnLight);
}

// Where a missed frame was lost, from the Aztec status: the decode was never asked (no
// bulls-eye raised for any region), no candidate was located, or a located symbol's grid or
// text failed.
inline const char *AztMissStage() {
    switch (vexo::g_aztDriver.status) {
        case vexo::kAztStatusNoImage: return "finder";
        case vexo::kAztStatusStarted: return "locate";
        case vexo::kAztStatusCodewordsFailed: return "codewords";
        case vexo::kAztStatusTextFailed: return "text";
        case vexo::kAztStatusBinarise: return "binarise";
        case vexo::kAztStatusFullTrace: return "trace";
        case vexo::kAztStatusFullSample: return "patch";
        default: return "other";
    }
}

// Worst distance of the corners in quad (top-left, top-right, bottom-left, bottom-right) from
// the centres of the corner modules of the ring at the given distance, top-left at the
// orientation corner (two rings further out).
inline double RingCornerError(const vexo::REGION_QUAD &q, const testkit::Symbol &sym, const testkit::Rendered &r, int ring) {
    const int c = sym.rows / 2, turn = OrientationCorner(sym, ring + 2);
    if (turn < 0) return 1e9;
    const int rows[4] = {c - ring, c - ring, c + ring, c + ring}, cols[4] = {c - ring, c + ring, c + ring, c - ring};
    static constexpr int kClockwise[4] = {0, 1, 3, 2};
    double worst = 0;
    for (int k = 0; k < 4; ++k) {
        const int at = (turn + kClockwise[k]) & 3;
        const testkit::Point m = ModulePoint(r, sym, rows[at], cols[at]);
        worst = std::max(worst, std::hypot(q.c[k].x - m.x, q.c[k].y - m.y));
    }
    return worst;
}

}  // namespace azt_finder_test
