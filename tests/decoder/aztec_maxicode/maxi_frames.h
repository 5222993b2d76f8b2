// libzint MaxiCode frames of the symbol-level MaxiCode tests: a symbol per mode and the
// camera conditions of one frame (module size, turn, frame width, seed, mirror), rendered
// with blur 0.6 and noise 2.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/render.h"
#include "support/symbol.h"

namespace maxitest {

// A symbol of the given mode (2-6); modes 4 and 6 carry "MaxiCode mode <n> <label>".
inline testkit::Symbol MaxiSymbol(int mode, const std::string &label) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_MAXICODE;
    in.option1 = mode;
    switch (mode) {
    case 2: in.primary = "152382802840001"; in.data = "1Z00004951\x1DUPSN"; break;
    case 3: in.primary = "B1050 056999"; in.data = "Parcel 7"; break;
    case 5: in.data = "Enhanced correction 12345"; break;
    default: in.data = "MaxiCode mode " + std::to_string(mode) + " " + label; break;
    }
    return testkit::Encode(in);
}

struct FrameCase {
    int mode;
    double module;
    int angle;
    int width;  // x 480
    uint64_t seed;
    bool mirror = false;
};

inline std::string Name(const FrameCase &c) {
    char buf[112];
    std::snprintf(buf, sizeof buf, "mode %d, %.0f px, %d deg, %dx480, seed %llu%s", c.mode, c.module, c.angle, c.width,
                  static_cast<unsigned long long>(c.seed), c.mirror ? ", mirrored" : "");
    return buf;
}

inline testkit::RenderOptions Options(const FrameCase &c) {
    testkit::RenderOptions o;
    o.width = c.width;
    o.height = 480;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.blurSigma = 0.6;
    o.noiseSigma = 2;
    o.seed = c.seed;
    o.mirror = c.mirror;
    return o;
}

// The symbol's corners in the image.
inline std::vector<testkit::Point> Corners(const testkit::Symbol &s, const testkit::Transform &t) {
    return {t.ToImage({0, 0}), t.ToImage({s.width, 0}), t.ToImage({0, s.height}), t.ToImage({s.width, s.height})};
}

// The turned symbol lies inside the frame with two pixels to spare.
inline bool Fits(const testkit::Symbol &s, const FrameCase &c) {
    const testkit::Transform t = testkit::MakeTransform(s, Options(c));
    for (const testkit::Point &p : Corners(s, t))
        if (p.x < 2 || p.y < 2 || p.x > c.width - 3 || p.y > 477) return false;
    return true;
}

}  // namespace maxitest
