// The bar tracker and the spacing-region finder on small frames. Input: width and height
// (4..96), then a block of parameter bytes, then pixels (repeated to fill the frame).
// Checks: at most 20 bar regions, at most 64 spacing regions with boxes inside the frame
// (the finder's and the spiral's), nothing written past the tracker's part of the second
// buffer or past a second buffer of exactly the frame's size (the spacing maps), masks of
// 0/1 and spacings below 64; reads outside the frame are caught by the sanitizer (the frame is
// exactly width x height bytes); every walk ends (the fuzzer's timeout).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/bar_follow.h"
#include "locate/bar_tracker.h"
#include "locate/spacing_regions.h"

namespace {

constexpr uint8_t kCanary = 0xA7;
constexpr int kParams = 48;
constexpr int kBufferGuard = 4096;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct BarParams {
    const uint8_t *p;
    int at = 0;
    int Byte() { return p[at++ % kParams]; }
    int Signed(int span) { return Byte() % (2 * span + 1) - span; }
    int Coord(int extent) { return Byte() % (extent + 40) - 20; }  // inside and across the frame
};

void FuzzFollows(BarParams &in, int w, int h) {
    for (int k = 0; k < 4; ++k) {
        vexo::BAR_FOLLOW f{};
        f.start = {in.Coord(w), in.Coord(h)};
        f.next = {f.start.x + in.Signed(5), f.start.y + in.Signed(5)};
        f.lateral = static_cast<int16_t>(in.Signed(6));
        f.step = in.Signed(5);
        f.pointerStep = f.step * w;
        f.polarity = in.Byte() % 2;
        f.stopInRegions = in.Byte() % 2;
        const int offset = 16 * (in.Byte() % 8);
        const int r = (k % 2 == 0) ? vexo::Loc_FollowEdgeRows(&f, offset) : vexo::Loc_FollowEdgeColumns(&f, offset);
        Check(r == 0 || (f.steps > 0 && f.end.x >= 0 && f.end.x < w && f.end.y >= 0 && f.end.y < h));
    }
    static vexo::BAR_TRACK track;
    track = vexo::BAR_TRACK{};
    const vexo::GEO_POINT a{in.Coord(w), in.Coord(h)}, b{in.Coord(w), in.Coord(h)};
    track.segments[0] = {a, b};
    track.midpoints[0] = {(a.x + b.x) >> 1, (a.y + b.y) >> 1};
    track.lengths[0] = track.lengthSum = 1 + in.Byte() % 60;
    track.count = in.Byte() % 8 == 0 ? 0 : 1;
    track.direction = in.Byte() % 2;
    const int before = track.count;
    const int added = vexo::Loc_StepToNextBars(&a, &b, in.Byte() % 2, 0, &track);
    Check(added >= 0 && track.count == before + added && track.count <= vexo::kBarTrackMax);
}

void FuzzTracker(BarParams &in, int w, int h) {
    vexo::REGION_QUAD regions[6];
    const int count = in.Byte() % 7;
    for (int k = 0; k < count; ++k) {
        for (vexo::POINT_I32 &c : regions[k].c) c = {in.Coord(w), in.Coord(h)};
        vexo::g_state.regionClass[k] = in.Byte() % 4 == 0 ? vexo::kBarClassSkipped : 0;
    }
    vexo::g_barResults.count = in.Byte() % 5 == 0 ? in.Byte() % 21 : 0;
    for (int k = 0; k < vexo::g_barResults.count; ++k)
        for (vexo::POINT_I32 &c : vexo::g_barResults.regions[k].c) c = {in.Coord(w), in.Coord(h)};
    vexo::Loc_TrackBarRegions(regions, count);
    Check(vexo::g_barResults.count >= 0 && vexo::g_barResults.count <= vexo::kBarRegionsMax);
    for (int k = 0; k < vexo::g_barResults.count; ++k)
        Check(vexo::g_barResults.pairRate[k] >= 0 && vexo::g_barResults.pairRate[k] <= 100);
    if (count > 0) {
        vexo::Loc_RegionEdgesPair(&regions[0], in.Byte() % 2);
        const vexo::GEO_POINT p{in.Coord(w), in.Coord(h)}, q{in.Coord(w), in.Coord(h)};
        const int ratio = vexo::Loc_LineContrastRatio(&p, &q, 13312);
        Check(ratio >= 0 && ratio <= 1024);
    }
}

void FuzzSpacing(const uint8_t *frame, int w, int h) {
    // The maps fill a second buffer of exactly the frame's size; a canary lies behind it.
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h);
    std::vector<uint8_t> second(bytes + kBufferGuard, kCanary);
    vexo::Pix_SetSecondBuffer(second.data());
    vexo::Pix_SetImagePointer(const_cast<uint8_t *>(frame));
    Check(vexo::Loc_SetupCellGrid() == 1);
    const vexo::CELL_GRID &g = vexo::g_cellGrid;
    Check(g.across == w / 4 && g.down == h / 4);
    for (int k = 0; k < g.cells; ++k) Check(g.m3[k] < 64 && g.m4[k] <= 4 && g.m5[k] <= 1);
    const int found = vexo::Loc_FindSpacingRegions();
    Check(found >= 0 && found <= vexo::kSpacingRegionsMax);
    auto inside = [&](const vexo::SPACING_REGION &r) {
        return r.left >= 0 && r.left <= r.right && r.right < w && r.top >= 0 && r.top <= r.bottom && r.bottom < h;
    };
    for (int k = 0; k < found; ++k) Check(inside(vexo::g_spacingRegions[vexo::g_spacingOrder[k]]));
    Check(vexo::Loc_SetupCellGrid() == 1);
    for (int call = 0; call < 3; ++call) {
        vexo::SPACING_REGION r{};
        if (vexo::Loc_FindSpacingRegionSpiral(&r) != 0) Check(inside(r));
    }
    for (size_t k = 0; k < kBufferGuard; ++k) Check(second[bytes + k] == kCanary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 + kParams) return 0;
    const int w = data[0] % 93 + 4, h = data[1] % 93 + 4;
    BarParams in{data + 2};
    const uint8_t *px = data + 2 + kParams;
    const size_t npx = size - 2 - kParams;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 128);
    for (size_t i = 0; i < frame.size() && npx > 0; ++i) frame[i] = px[i % npx];
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    std::memset(vexo::g_internalImage + vexo::kBarTrackerWorkBytes, kCanary, kBufferGuard);
    FuzzFollows(in, w, h);
    FuzzTracker(in, w, h);
    for (size_t k = 0; k < kBufferGuard; ++k) Check(vexo::g_internalImage[vexo::kBarTrackerWorkBytes + k] == kCanary);
    FuzzSpacing(frame.data(), w, h);
    return 0;
}
