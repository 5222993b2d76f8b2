// Helpers of the QR geometry tests on rendered symbols: installing a frame as the decoder's
// image, and filling the geometry work area and finder patterns from where the renderer put
// every module (so that each stage can be tested on its own, from the true positions).
//
// The renderer's pixel x covers [x, x + 1); the decoder's pixel x sits at 16 x in 1/16
// pixel. So a renderer point p is the decoder point p - 0.5.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "qr/qr_grid.h"
#include "qr/qr_matrix.h"
#include "qr/qr_size.h"
#include "qr/qr_state.h"
#include "qr/test_hooks_qr.h"
#include "support/render.h"
#include "support/symbol.h"

namespace qr_geom_test {

// Decoder coordinates of a renderer point, in units of 1/scale pixel, rounded.
inline vexo::GEO_POINT ToDecoder(testkit::Point p, int scale) {
    return {static_cast<int32_t>(std::lround((p.x - 0.5) * scale)), static_cast<int32_t>(std::lround((p.y - 0.5) * scale))};
}

// Renderer point of module (column u, row v)'s centre.
inline testkit::Point ModulePoint(const testkit::Rendered &r, double u, double v) {
    return r.transform.ToImage(testkit::Point{u + 0.5, v + 0.5});
}

inline std::vector<uint8_t> g_pixels;
inline std::vector<uint8_t> g_work;

// Installs a copy of the frame as the decoder's image, with a zeroed work buffer whose
// start serves as the geometry sample buffer.
inline void InstallFrame(const testkit::Frame &f) {
    g_pixels = f.pixels;
    g_work.assign(1280 * 960, 0);
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Pix_SetImagePointer(g_pixels.data());
    vexo::Pix_SetSecondBuffer(g_work.data());
    vexo::g_qrGeomWork.sampleBuffer = g_work.data();
}

// QR symbol of the given version and level (0 L .. 3 H) holding text.
inline testkit::Symbol MakeQr(const std::string &text, int version, int level = 1) {
    testkit::SymbolInput in;
    in.symbology = BARCODE_QRCODE;
    in.data = text;
    in.option1 = level + 1;
    in.option2 = version;
    return testkit::Encode(in);
}

// The finder of a role: 0 top-left, 1 bottom-left, 2 top-right; (u0, v0) its top-left module.
inline void FinderOrigin(int role, int d, int *u0, int *v0) {
    *u0 = role == 2 ? d - 7 : 0;
    *v0 = role == 1 ? d - 7 : 0;
}

// Symbol module indices of the five finder points in the order the geometry stages pair them
// with the finder-local points (0, 6), (0, 0), (6, 0), (6, 6), (3, 3) of arrangement 1.
inline void FinderModulePoints(int role, int d, vexo::GEO_POINT out[5]) {
    const vexo::GEO_POINT tl[5] = {{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}};
    const vexo::GEO_POINT bl[5] = {{6, d - 7}, {6, d - 1}, {0, d - 1}, {0, d - 7}, {3, d - 4}};
    const vexo::GEO_POINT tr[5] = {{d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 7, 6}, {d - 4, 3}};
    const vexo::GEO_POINT *src = role == 0 ? tl : role == 1 ? bl : tr;
    for (int k = 0; k < 5; ++k) out[k] = src[k];
}

// A finder summary from the true geometry (centre and outer width in pixels).
inline vexo::QR_FINDER_SUMMARY TrueSummary(const testkit::Rendered &r, int role, int d, double moduleSize) {
    int u0 = 0, v0 = 0;
    FinderOrigin(role, d, &u0, &v0);
    const vexo::GEO_POINT c = ToDecoder(ModulePoint(r, u0 + 3, v0 + 3), 1);
    vexo::QR_FINDER_SUMMARY s{};
    s.centreX = c.x;
    s.centreY = c.y;
    s.size = static_cast<int32_t>(7 * moduleSize + 0.5);
    s.width = s.size;
    s.height = s.size;
    s.score = 600;
    s.moduleSize = static_cast<float>(moduleSize);
    return s;
}

// Fills the work area for a three-finder candidate from the true positions: summaries,
// image points (1/4 pixel), finder-local module points and transforms, then the symbol
// state for version v. Module points stay finder-local (as before the format reading).
inline void SetUpThreeFinders(const testkit::Rendered &r, int version, double moduleSize) {
    const int d = 4 * version + 17;
    vexo::g_qrGeomWork.arrangement = vexo::kQrArrangeThree;
    vexo::g_qrGeomWork.pairModuleSize = moduleSize;
    const vexo::GEO_POINT local[5] = {{0, 66}, {0, 0}, {66, 0}, {66, 66}, {33, 33}};
    for (int role = 0; role < 3; ++role) {
        vexo::GEO_POINT pts[5];
        FinderModulePoints(role, d, pts);
        vexo::g_qrGeomWork.finder[role] = TrueSummary(r, role, d, moduleSize);
        for (int k = 0; k < 5; ++k) {
            vexo::g_qrGeomWork.imagePoints[role][k] = ToDecoder(ModulePoint(r, pts[k].x, pts[k].y), 4);
            vexo::g_qrGeomWork.modulePoints[role][k] = local[k];
        }
    }
    vexo::QR_FitFinderTransforms();
    vexo::g_qrSymbol.dimension = d;
    vexo::QR_VersionFromDimension(d, &vexo::g_qrSymbol.version, &vexo::g_qrSymbol.alignmentCount);
    vexo::g_qrSymbol.moduleSize = static_cast<float>(moduleSize);
}

// Finder-local frames (x, y in modules) of the format reading, as symbol (column, row).
enum class Frame { kTopLeft, kBottomLeft, kTopRight, kTopLeftTurned, kTopRightShifted };

inline void FrameToModule(Frame f, int d, double x, double y, double *col, double *row) {
    switch (f) {
        case Frame::kTopLeft: *col = x, *row = y; break;
        case Frame::kBottomLeft: *col = 6 - x, *row = d - 1 - y; break;
        case Frame::kTopRight: *row = x, *col = d - 1 - y; break;
        case Frame::kTopLeftTurned: *row = 6 - x, *col = y; break;
        case Frame::kTopRightShifted: *col = x + d - 7, *row = y; break;
    }
}

// Slot `slot` holds the finder seen through frame f: its summary, its five image points
// (those of the finder-local points (0, 6), (0, 0), (6, 0), (6, 6), (3, 3)) and the
// finder-local module points; the transform is fitted.
inline void SetSlotFrame(const testkit::Rendered &r, int slot, Frame f, int d, double moduleSize) {
    const double local[5][2] = {{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}};
    for (int k = 0; k < 5; ++k) {
        double col = 0, row = 0;
        FrameToModule(f, d, local[k][0], local[k][1], &col, &row);
        vexo::g_qrGeomWork.imagePoints[slot][k] = ToDecoder(ModulePoint(r, col, row), 4);
        vexo::g_qrGeomWork.modulePoints[slot][k] = {static_cast<int32_t>(11 * local[k][0]), static_cast<int32_t>(11 * local[k][1])};
    }
    double col = 0, row = 0;
    FrameToModule(f, d, 3, 3, &col, &row);
    const vexo::GEO_POINT c = ToDecoder(ModulePoint(r, col, row), 1);
    vexo::QR_FINDER_SUMMARY &s = vexo::g_qrGeomWork.finder[slot];
    s = vexo::QR_FINDER_SUMMARY{};
    s.centreX = c.x;
    s.centreY = c.y;
    s.size = static_cast<int32_t>(7 * moduleSize + 0.5);
    s.width = s.height = s.size;
    s.score = 600;
    s.moduleSize = static_cast<float>(moduleSize);
    vexo::QR_FitFinderTransforms();
}

// Rewrites the module points of arrangement 1 as symbol module indices.
inline void UseSymbolModulePoints(int d) {
    for (int role = 0; role < 3; ++role) FinderModulePoints(role, d, vexo::g_qrGeomWork.modulePoints[role]);
}

// Thresholds a grey matrix at the middle of its range: 1 for dark.
inline std::vector<uint8_t> Binarise(const uint8_t *grey, int n, bool invert = false) {
    int lo = 255, hi = 0;
    for (int i = 0; i < n * n; ++i) {
        lo = grey[i] < lo ? grey[i] : lo;
        hi = grey[i] > hi ? grey[i] : hi;
    }
    const int t = (lo + hi) / 2;
    std::vector<uint8_t> bits(static_cast<size_t>(n) * static_cast<size_t>(n));
    for (int i = 0; i < n * n; ++i) bits[static_cast<size_t>(i)] = static_cast<uint8_t>((grey[i] <= t) != invert ? 1 : 0);
    return bits;
}

// Modules that differ between a bit matrix and the symbol.
inline int CountDifferences(const std::vector<uint8_t> &bits, const testkit::Symbol &s) {
    int diff = 0;
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c) diff += (bits[static_cast<size_t>(r * s.cols + c)] != 0) != s.Dark(r, c);
    }
    return diff;
}

class QrGeomTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        vexo::Test_ResetQrDataStatics();
        vexo::g_qrGeomWork = vexo::QR_GEOM_WORK{};
        vexo::g_qrPolarity = 1;
    }
};

}  // namespace qr_geom_test
