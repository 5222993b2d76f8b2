// Shared fixture of the bar-edge segment tests: a clean decoder with an installed grey
// frame, work memory and arena, synthetic bars drawn with sub-pixel coverage, and the test
// driver that does for one row pair (or column pair) what a finder pass does.
#pragma once

#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "linear_image/lineimg_grouping.h"
#include "linear_image/lineimg_segments.h"
#include "locate/finder.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"

namespace vexo {

inline void PrintTo(const REGION_QUAD &q, std::ostream *os) {
    *os << "{(" << q.c[0].x << "," << q.c[0].y << ") (" << q.c[1].x << "," << q.c[1].y << ") (" << q.c[2].x << ","
        << q.c[2].y << ") (" << q.c[3].x << "," << q.c[3].y << ")}";
}
inline void PrintTo(const LINE_SEGMENT &s, std::ostream *os) {
    *os << "{(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ") len " << s.length << "}";
}

}  // namespace vexo

namespace segment_test {

constexpr int kPaper = 220;
constexpr int kInk = 30;

struct GreyFrame {
    GreyFrame(int w, int h, uint8_t level = kPaper) : width(w), height(h), pixels(static_cast<size_t>(w) * h, level) {}
    uint8_t &At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    // Ink over the parallelogram between the lines x = left(y) and x = left(y) + w, rows
    // [top, bottom), left(y) running linearly from xTop at y = top to xBottom at y = bottom;
    // pixels get their covered fraction (8 sub-samples across).
    void Bar(double xTop, double xBottom, double w, int top, int bottom) {
        for (int y = top; y < bottom; ++y) {
            const double t = (y + 0.5 - top) / (bottom - top);
            const double l = xTop + (xBottom - xTop) * t;
            for (int x = static_cast<int>(std::floor(l)) - 1; x <= static_cast<int>(std::ceil(l + w)) + 1; ++x) {
                if (x < 0 || x >= width) continue;
                int covered = 0;
                for (int s = 0; s < 8; ++s) {
                    const double sx = x + (s + 0.5) / 8;
                    covered += sx >= l && sx < l + w ? 1 : 0;
                }
                At(x, y) = static_cast<uint8_t>(At(x, y) - (At(x, y) - kInk) * covered / 8);
            }
        }
    }
    // The same bar lying flat: rows and columns exchanged.
    void FlatBar(double yLeft, double yRight, double h, int left, int right) {
        GreyFrame t(height, width);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) t.At(y, x) = At(x, y);
        t.Bar(yLeft, yRight, h, left, right);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) At(x, y) = t.At(y, x);
    }
    // 3 x 3 box blur.
    void Blur() {
        std::vector<uint8_t> out = pixels;
        for (int y = 1; y + 1 < height; ++y)
            for (int x = 1; x + 1 < width; ++x) {
                int s = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) s += At(x + dx, y + dy);
                out[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((s + 4) / 9);
            }
        pixels = out;
    }
    int width, height;
    std::vector<uint8_t> pixels;
};

// Installs the frame with the decoder's working image, a fresh arena, the per-image edge
// thresholds and an empty segment store.
inline void Install(GreyFrame &f) {
    vexo::Pix_SetImagePointer(f.pixels.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(f.width, f.height);
    vexo::Mem_ResetArena();
    vexo::g_edgeThresholds = vexo::kDefaultEdgeThresholds;
    vexo::g_segmentStore.count = 0;
}

class SegmentTest : public vexo_test::DecoderTest {};

// The falling edges of the lines at `line` and line + 4 over the whole frame (rows, or
// columns when columns is set), then the builder; returns its mean. With `take` empty they
// are paired as a finder pass pairs them (tolerance 70, minimum run 4); otherwise the edges
// of those indexes are paired with each other, for tests that place single edges.
inline int PairedScan(const GreyFrame &f, int line, bool columns, std::vector<int> take = {}, bool runs = false) {
    constexpr int kCap = 256;
    std::vector<int32_t> a(kCap), b(kCap), out(kCap), ma(kCap), mb(kCap);
    const int length = columns ? f.height : f.width;
    const int ratio = vexo::g_edgeThresholds.ratio;
    const int minStep = static_cast<int>(vexo::g_edgeThresholds.minStep);
    const auto edges = [&](int l, int32_t *pos) {
        if (columns) return vexo::Prof_FindColumnFallingEdges(f.pixels.data() + l, length, ratio, minStep, pos, kCap);
        return vexo::Prof_FindFallingEdges(f.pixels.data() + static_cast<size_t>(l) * f.width, length, ratio, minStep,
                                           pos, kCap);
    };
    vexo::EDGE_PAIRING e{70, kCap, 4, edges(line, a.data()), edges(line + 4, b.data()), a.data(), b.data(),
                         out.data(), 0, ma.data(), mb.data(), 0, line, line + 4};
    if (runs) {
        vexo::Geo_MatchPositionRuns(&e);
    } else {
        if (take.empty())
            for (int k = 0; k < e.countA && k < e.countB; ++k) take.push_back(k);
        for (int k : take) {
            ma[static_cast<size_t>(e.matchCount)] = k;
            mb[static_cast<size_t>(e.matchCount)] = k;
            ++e.matchCount;
        }
    }
    int mean = -1;
    if (columns) {
        vexo::LineImg_BuildColumnSegments(&e, &vexo::g_segmentStore, &mean, 0, vexo::kTraceScratchColumns);
    } else {
        vexo::LineImg_BuildRowSegments(&e, &vexo::g_segmentStore, &mean, 0, vexo::kTraceScratchRows);
    }
    return mean;
}

// Pairs every `spacing` lines from 8 on, as a pass does.
inline void ScanAll(const GreyFrame &f, bool columns, int spacing = 8) {
    const int length = columns ? f.width : f.height;
    for (int l = 8; l + 4 < length; l += spacing) PairedScan(f, l, columns, {}, true);
}

}  // namespace segment_test
