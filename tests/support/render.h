// Rendering symbols into grey camera frames.
//
// Every image pixel is mapped back into symbol space (supersampled), so the frame is exact
// for any module size, including fractional ones. The map from symbol space to the image
// is kept (Transform), so a test can find where each module landed.
//
// Image coordinates: pixel (x, y) covers [x, x + 1) x [y, y + 1); its centre is at
// (x + 0.5, y + 0.5).
//
// The symbol sits on paper (reflectance 1, modules 0) that reaches `quietZone` modules
// around it (or fills the frame). Placement: mirror, then cylindrical bend, then a
// homography that takes the symbol's corners to four image points: by default those of
// a square grid of `moduleSize` pixels turned by `angleDeg` about `center`; `keystone`
// narrows the symbol's top edge; `corners` names the four points outright. Then levels
// (dark/light, or swapped when inverted), uneven light, Gaussian blur and noise; the
// result is rounded to 8 bits. Only the noise draws on `seed`.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "support/frame.h"
#include "support/symbol.h"

namespace testkit {

struct RenderOptions {
    int width = 752;                 // frame size in pixels
    int height = 480;
    double moduleSize = 4;           // pixels per module (fractional allowed)
    std::optional<Point> center = std::nullopt;  // image point of the symbol centre; default: frame centre
    double angleDeg = 0;             // rotation, clockwise on screen (y points down)
    double keystone = 0;             // 0..0.9: the top edge is this much shorter than the bottom
    std::optional<std::array<Point, 4>> corners = std::nullopt;  // top-left, top-right, bottom-right, bottom-left
    double bendDeg = 0;              // 0..179: arc of a cylinder (axis along the symbol's y) the symbol wraps
    bool mirror = false;             // mirrored left to right in symbol space
    bool invert = false;             // light modules on dark paper
    double quietZone = -1;           // modules of paper around the symbol; negative: paper everywhere
    int dark = 30;                   // grey level of ink
    int light = 220;                 // grey level of paper
    int background = 100;            // grey level beyond the paper
    double unevenLight = 0;          // 0..1: light falls by this fraction across the frame
    double lightAngleDeg = 0;        // direction in which the light falls
    double blurSigma = 0;            // Gaussian blur, pixels
    double noiseSigma = 0;           // Gaussian noise, grey levels
    int supersample = 4;             // n x n samples per pixel
    uint64_t seed = 1;
};

// Symbol space to image and back.
struct Transform {
    double h[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};    // homography, row-major, symbol -> image
    double inv[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double symbolWidth = 0;
    double symbolHeight = 0;
    bool mirror = false;
    double bendRad = 0;

    Point ToImage(Point symbolPoint) const;
    // False when the image point has no symbol-space preimage (beyond the horizon of the
    // perspective).
    bool ToSymbol(Point imagePoint, Point *symbolPoint) const;
};

struct Rendered {
    Frame frame;
    Transform transform;
    // Image point of module (row, col)'s centre.
    Point ModuleCentre(const Symbol &symbol, int row, int col) const {
        return transform.ToImage(symbol.ModuleCentre(row, col));
    }
};

// The placement alone (no pixels): what Render uses.
Transform MakeTransform(const Symbol &symbol, const RenderOptions &options);

// An empty frame when the symbol is not ok or the size is not positive.
Rendered Render(const Symbol &symbol, const RenderOptions &options = {});

// The frame's pixel nearest to an image point (clamped to the frame).
uint8_t SampleNearest(const Frame &frame, Point p);

// Damage painted after rendering: square blots of ink (30) and of paper (220), 1 to 3 px
// across, one per areaPerBlot px² of the box [x0, x1) x [y0, y1), placed by the seed.
void PaintBlots(Frame &frame, int x0, int y0, int x1, int y1, uint64_t seed, int areaPerBlot = 60);

}  // namespace testkit
