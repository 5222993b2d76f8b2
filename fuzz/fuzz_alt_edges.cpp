// The alternative finders (gradient segments with merging and pairing, the ring scanner,
// the row threshold scan, edge extension) on small frames. Input: width and height
// (1..64), then a block of parameter bytes, then pixels (repeated to fill the frame).
// Checks: counts never above the capacity, nothing written past a caller's array or the
// installed part of the second buffer, the work arena balanced; reads outside the frame
// are caught by the sanitizer (the frame is exactly width x height bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/corner_pairing.h"
#include "locate/edge_extension.h"
#include "locate/gradient_segments.h"
#include "locate/ring_scanner.h"
#include "locate/row_thresholds.h"

namespace {

constexpr uint8_t kCanary = 0xC5;
constexpr int kParams = 40;
constexpr int kBufferGuard = 4096;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Params {
    const uint8_t *p;
    int at = 0;
    int Byte() { return p[at++ % kParams]; }
    int Signed(int span) { return Byte() % (2 * span + 1) - span; }  // -span..span
    int Coord(int extent) { return Byte() % (extent + 24) - 12; }    // a little beyond the frame
};

template <class T>
bool Untouched(const T *from, int count) {
    const uint8_t *b = reinterpret_cast<const uint8_t *>(from);
    for (size_t k = 0; k < sizeof(T) * static_cast<size_t>(count); ++k)
        if (b[k] != kCanary) return false;
    return true;
}

void FuzzSegments(Params &in, int w, int h) {
    vexo::GRADIENT_SEGMENT segs[24];
    std::memset(segs, kCanary, sizeof segs);
    const int cap = in.Signed(3) + 8;  // 5..11, below 1 too
    const vexo::REGION_QUAD q{{{in.Coord(w), in.Coord(h)}, {in.Coord(w), in.Coord(h)}, {in.Coord(w), in.Coord(h)},
                               {in.Coord(w), in.Coord(h)}}};
    const int capacity = in.Byte() % 4 == 0 ? in.Signed(2) : cap;
    const int n = vexo::Loc_FindGradientSegments(segs, &q, capacity);
    Check(n >= 0 && n <= (capacity > 0 ? capacity : 0));
    Check(Untouched(segs + n, 24 - n));
    Check(vexo::g_arena.count == 0);
    // Records of any content besides the found ones: the merging and pairing trust nothing.
    int count = n;
    for (int k = 0; k < 3; ++k, ++count)
        segs[count] = vexo::GRADIENT_SEGMENT{static_cast<int16_t>(in.Signed(127) * 8), static_cast<int16_t>(in.Signed(127) * 8),
                                             static_cast<int16_t>(in.Signed(127) * 8), static_cast<int16_t>(in.Signed(127) * 8),
                                             static_cast<uint16_t>(in.Byte() * 23), static_cast<uint16_t>(in.Byte() * 9)};
    count = vexo::Loc_MergeSegments(segs, count);
    Check(count >= 1 && count <= n + 3);
    vexo::DM_L_CANDIDATE cands[8];
    std::memset(cands, kCanary, sizeof cands);
    const int pairCap = in.Signed(3) + 2;  // -1..5
    const int m = vexo::Loc_PairSegmentsIntoCorners(cands, pairCap, segs, count);
    Check(m >= 0 && m <= (pairCap > 0 ? pairCap : 0));
    Check(Untouched(cands + m, 8 - m));
    for (int k = 0; k < m; ++k) Check(cands[k].darkOnLight == 0 || cands[k].darkOnLight == 1);
}

void FuzzRings(Params &in, const uint8_t *frame, int w, int h) {
    vexo::RING_CANDIDATE out[6];
    std::memset(out, kCanary, sizeof out);
    const int capacity = in.Signed(3) + 2;  // -1..5
    const vexo::POINT_I32 a{in.Coord(w), in.Coord(h)}, b{in.Coord(w), in.Coord(h)};
    const int n = vexo::Loc_RingScanFrame(frame, out, capacity, a, b, in.Byte() & 1, in.Byte() % 3);
    Check(n >= 0 && n <= (capacity > 0 ? capacity : 0));
    // One entry after the last may be cleared, none beyond it.
    Check(Untouched(out + n + 1, 5 - n));
    if (n == capacity) Check(Untouched(out + n, 6 - n));
    for (int k = 1; k < n; ++k) Check(out[k - 1].score >= out[k].score);
}

void FuzzRowsAndEdges(Params &in, int w, int h) {
    vexo::Loc_RowThresholdScan(in.Byte() & 1, in.Signed(2));
    vexo::BAND_THRESHOLDS t;
    vexo::Loc_BandThresholds(&t);
    Check(t.leftCount >= 0 && t.leftCount <= vexo::kBandEntries);
    Check(t.middleCount >= 0 && t.middleCount <= vexo::kBandEntries);
    Check(t.rightCount >= 0 && t.rightCount <= vexo::kRightBandEntries);
    const int level = vexo::Loc_ThresholdAt(&t, in.Coord(w), in.Coord(h));
    Check(level >= 0 && level <= 255);
    int32_t crossings[12];
    std::memset(crossings, kCanary, sizeof crossings);
    const int capacity = in.Signed(3) + 4;
    const int c = vexo::Loc_ScanRowCrossings(crossings, capacity, in.Coord(h), &t);
    Check(c >= 0 && c <= (capacity > 0 ? capacity : 0));
    Check(Untouched(crossings + c, 12 - c));
    vexo::POINT_I32 s{-7, -7}, e{-7, -7};
    int32_t count = -7;
    const vexo::POINT_I32 p{in.Coord(w), in.Coord(h)}, q{in.Coord(w), in.Coord(h)};
    const int ok = vexo::Loc_ExtendFallingEdge(p, q, in.Byte() & 1, &s, &e, in.Signed(3), in.Byte() & 1, in.Byte() * 4,
                                               in.Coord(h + w), &count);
    if (ok == 1) {
        Check(count >= 4 && count <= vexo::kEdgeTrackMaxPoints);
    } else {
        Check(count == 0 && s.x == -7 && e.x == -7);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 + kParams) return 0;
    const int w = data[0] % 64 + 1, h = data[1] % 64 + 1;
    Params in{data + 2};
    const uint8_t *px = data + 2 + kParams;
    const size_t npx = size - 2 - kParams;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 128);
    for (size_t i = 0; i < frame.size() && npx > 0; ++i) frame[i] = px[i % npx];
    vexo::Test_ResetDecoderStatics();
    vexo::Mem_ResetArena();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    const size_t area = frame.size();
    std::memset(vexo::g_internalImage + area, kCanary, kBufferGuard);
    FuzzSegments(in, w, h);
    FuzzRings(in, frame.data(), w, h);
    FuzzRowsAndEdges(in, w, h);
    for (size_t k = 0; k < kBufferGuard; ++k) Check(vexo::g_internalImage[area + k] == kCanary);
    Check(vexo::g_arena.count == 0);
    return 0;
}
