// Data Matrix frames for the sweeps: libzint symbols of every ECC 200 size rendered as a
// camera would see them, read through the exported decoder.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "datamatrix/dm_stages.h"
#include "datamatrix/test_hooks_dm.h"
#include "dm_symbols_util.h"
#include "support/testkit.h"

namespace dmframes {

// How far a missed frame got, the furthest over its candidates.
enum class Stage { NoL, NotLocated, WrongSize, DataLayer, Read };

inline const char *StageName(Stage s) {
    switch (s) {
        case Stage::NoL: return "no L candidate";
        case Stage::NotLocated: return "not located";
        case Stage::WrongSize: return "located with wrong module counts";
        case Stage::DataLayer: return "right counts, data layer fails";
        case Stage::Read: return "read";
    }
    return "";
}

// The stages' trace of one frame, kept by the wrappers below.
struct FramesTrace {
    int rows = 0, cols = 0;  // the symbol's
    Stage stage = Stage::NoL;
    int lastClass = 0, lastStatus = 0;  // of the last failed locating
    int wrongClass = 0, wrongRows = 0, wrongCols = 0;  // the first wrong module counts
    vexo::GEO_POINT wrongCell[4] = {};  // its first cell: top left, top right, bottom left, bottom right
};
inline FramesTrace g_framesTrace;

inline vexo::i32 FramesTraceLocate(vexo::u8 *image, vexo::DM_PREPARED_CANDIDATE *cand, vexo::DM_GEOMETRY *geo) {
    const vexo::i32 r = vexo::DM_LocateAndSize(image, cand, geo);
    FramesTrace &t = g_framesTrace;
    Stage s = Stage::NotLocated;
    if (r == 0) {
        // Located counts are a region's data modules, without its finder and timing lines.
        const int rows = geo->regionRows * (geo->moduleRows + 2), cols = geo->regionCols * (geo->moduleCols + 2);
        const bool right = rows == t.rows && cols == t.cols;
        s = right ? Stage::DataLayer : Stage::WrongSize;
        if (!right && t.wrongRows == 0) {
            t.wrongClass = geo->layoutClass;
            t.wrongRows = rows;
            t.wrongCols = cols;
            const int k = geo->regionRows;
            t.wrongCell[0] = geo->lattice[k - 1][0];
            t.wrongCell[1] = geo->lattice[k - 1][1];
            t.wrongCell[2] = geo->lattice[k][0];
            t.wrongCell[3] = geo->lattice[k][1];
        }
    } else {
        t.lastClass = geo->layoutClass;
        t.lastStatus = r;
    }
    if (static_cast<int>(s) > static_cast<int>(t.stage)) t.stage = s;
    return r;
}

inline constexpr vexo::DM_STAGES kFramesTraceStages = {
    .getDM = vexo::DM_GetDM,
    .locateAndSize = FramesTraceLocate,
    .regularizeLattice = vexo::DM_RegularizeLattice,
    .sampleModules = vexo::DM_SampleModules,
    .pairCandidates = vexo::DM_PairCandidates,
};

// libzint's size numbers: 1-24 the squares 10 x 10 .. 144 x 144, 25-30 the rectangles.
inline constexpr int kSquareSizes = 24;
inline constexpr int kAllSizes = 30;

struct Case {
    int size = 1;  // libzint size number
    int module = 4;
    int angle = 0;
    int noise = 1;
    bool invert = false;
    bool mirror = false;
    // Mild perspective: a camera tilt that narrows the top edge of a square by this much.
    // The same tilt narrows a wide rectangle's top edge by this times rows / cols (the
    // convergence follows the extent along the tilt).
    double keystone = 0.08;
    uint64_t seed = 1;
};

inline std::string Name(const Case &c) {
    char b[96];
    std::snprintf(b, sizeof b, "size %d, %d px, %d deg, noise %d%s%s, seed %llu", c.size, c.module, c.angle, c.noise,
                  c.invert ? ", light on dark" : "", c.mirror ? ", mirrored" : "",
                  static_cast<unsigned long long>(c.seed));
    return b;
}

// The text: long enough to need the size, short enough for the smallest.
inline std::string TextFor(int size) {
    // Digit pairs fill the smallest symbols: 3, 5 and 8 data codewords, 5 for 8 x 18.
    const int small = size == 1 ? 3 : (size == 2 || size == 25 ? 5 : (size == 3 ? 8 : 0));
    if (small != 0) return std::string("0123456789012345").substr(0, 2 * small);
    return "DM" + std::to_string(size) + "-0123456789";
}

struct Outcome {
    bool fits = false;  // the symbol with its quiet zone fits the frame
    bool read = false;  // exact bytes, code id and identifier
    bool wrong = false;  // something else was read
    bool large = false;  // in the 1280 x 960 frame
    int rows = 0, cols = 0;
    FramesTrace trace;   // how far a miss got
};

// A symbol carrying text rendered under the case's conditions (its size number aside) and
// read through the exported decoder; a read must answer aim.
inline Outcome RunSymbol(const testkit::Symbol &s, const std::string &text, const Case &c, const char *aim,
                         bool enableAll = true) {
    Outcome out;
    if (!s.ok) return out;
    out.rows = s.rows;
    out.cols = s.cols;
    testkit::RenderOptions o;
    const int span = (s.cols > s.rows ? s.cols : s.rows) + 4;  // with a two-module quiet zone
    // The smaller frame when the symbol fits it at any angle, else the larger.
    const double diag = span * c.module * 1.42;
    if (diag <= 480) {
        o.width = 752;
        o.height = 480;
    } else if (diag <= 960) {
        o.width = 1280;
        o.height = 960;
        out.large = true;
    } else {
        return out;
    }
    out.fits = true;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.keystone = s.cols > s.rows ? c.keystone * s.rows / s.cols : c.keystone;
    o.blurSigma = 0.8;
    o.noiseSigma = c.noise;
    o.invert = c.invert;
    o.mirror = c.mirror;
    o.quietZone = 2;
    o.seed = c.seed;
    const testkit::Rendered r = testkit::Render(s, o);
    testkit::DecodeOptions d;
    d.enableAll = enableAll;
    g_framesTrace = FramesTrace{.rows = s.rows, .cols = s.cols};
    vexo::Test_SetDmStages(&kFramesTraceStages);
    const testkit::DecodeResult res = testkit::DecodeFrame(r.frame, d);
    vexo::Test_SetDmStages(nullptr);
    out.trace = g_framesTrace;
    out.read = res.decoded && res.text == text && res.codeId == 0x105 && res.aim == aim;
    out.wrong = res.decoded && !out.read;
    return out;
}

inline Outcome Run(const Case &c, bool enableAll = true) {
    const std::string text = TextFor(c.size);
    return RunSymbol(dmtest::DataMatrix(text, c.size), text, c, "]d1", enableAll);
}

}  // namespace dmframes
