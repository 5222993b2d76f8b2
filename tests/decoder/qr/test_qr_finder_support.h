// Running the QR finder over a grey image the way the 2D finder framework does (every fourth
// row of a box, the previous line beside the current one), and building small images.
#pragma once

#include <cstdint>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "qr/qr_finder.h"
#include "toolkit/profile.h"

namespace qr_finder_test {

// A grey image the tests own; Install() makes it the decoder's image.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    Image() = default;
    Image(int w, int h, uint8_t fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    uint8_t &At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    void Install() {
        vexo::g_image.data = pixels.data();
        vexo::g_image.width = width;
        vexo::g_image.height = height;
        vexo::g_image.widthCopy = width;
        vexo::Pix_InstallFrame(pixels.data(), width, height);
    }
    // A finder pattern of 7 x 7 modules of `module` pixels at (x, y), axis-parallel.
    void DrawPattern(int x, int y, int module, uint8_t dark, uint8_t light) {
        for (int r = 0; r < 7 * module; ++r) {
            for (int c = 0; c < 7 * module; ++c) {
                const int mr = r / module, mc = c / module;
                const bool ring = mr == 0 || mr == 6 || mc == 0 || mc == 6;
                const bool centre = mr >= 2 && mr <= 4 && mc >= 2 && mc <= 4;
                const int px = x + c, py = y + r;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                At(px, py) = ring || centre ? dark : light;
            }
        }
    }
};

// Enables QR Code with the given polarity bits (both clear: none searched).
inline void EnableQr(bool darkOnLight, bool lightOnDark) {
    uint32_t w = vexo::kFlagEnabled | 1u;
    if (darkOnLight) w |= vexo::kFlag2DDarkOnLight;
    if (lightOnDark) w |= vexo::kFlag2DLightOnDark;
    vexo::g_params.flagsWord[vexo::kSymQr] = w;
}

// Feeds rows y0, y0 + 4, ... below y1 of the box x0..x1 to the finder (after a reset) and
// verifies what is still queued. Answers the number of verified patterns.
inline int RunRows(int x0, int y0, int x1, int y1, bool verifyRest = true) {
    vexo::QR_FinderResetStore();
    static vexo::EDGE_ITEM edges[2][vexo::kQrMaxRowEdges];
    vexo::EDGE_LINE lines[2]{};
    for (int k = 0; k < 2; ++k) {
        lines[k].sampleCount = x1 - x0;
        lines[k].base = x0 * 16;
        lines[k].direction = 1;
        lines[k].edges = edges[k];
        lines[k].capacity = vexo::kQrMaxRowEdges;
        lines[k].ratio = 102;
        lines[k].minStep = 6;
    }
    vexo::EDGE_LINE empty{};
    const vexo::EDGE_LINE *previous = &empty;
    int k = 0;
    for (int y = y0; y < y1; y += 4, k ^= 1) {
        vexo::EDGE_LINE *cur = &lines[k];
        cur->samples = vexo::g_image.data + static_cast<size_t>(y) * vexo::g_image.width + x0;
        cur->linePosition16 = y * 16;
        cur->linePosition = y;
        vexo::Prof_RowEdges(cur);
        vexo::QR_FinderProcessRow(previous, cur);
        previous = cur;
    }
    if (verifyRest) vexo::QR_VerifyQueuedHits(vexo::kQrVerifyAllRows);
    return vexo::g_qrFinder.patternCount;
}

inline int RunWholeImage() { return RunRows(0, 0, vexo::g_image.width, vexo::g_image.height); }

}  // namespace qr_finder_test
