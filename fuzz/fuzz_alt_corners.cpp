// The edge-tracking L-corner finder on small frames and its sample-line routines on random
// arrays. Input: width, height selector, a block of parameter bytes, then pixels (repeated to
// fill the frame). Checks: counts within the capacity, every valid corner inside the frame,
// nothing written past a caller's array; reads outside the frame are caught by the
// sanitizer (the frame is exactly width x height bytes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/edge_tracking.h"

namespace {

constexpr uint8_t kCornerCanary = 0xA7;
constexpr int kCornerParams = 16;
constexpr int kCornerSlots = 12;
constexpr int kLineSlots = 24;

void CornerCheck(bool ok) {
    if (!ok) __builtin_trap();
}

struct CornerParams {
    const uint8_t *p;
    int at = 0;
    int Byte() { return p[at++ % kCornerParams]; }
};

bool CornerUntouched(const void *from, size_t bytes) {
    const uint8_t *b = static_cast<const uint8_t *>(from);
    for (size_t k = 0; k < bytes; ++k)
        if (b[k] != kCornerCanary) return false;
    return true;
}

void FuzzFinder(CornerParams &in, const uint8_t *frame, int w, int h) {
    vexo::CORNER_CANDIDATE out[kCornerSlots];
    std::memset(out, kCornerCanary, sizeof out);
    const int capacity = in.Byte() % 9;  // 0..8
    const int n = vexo::Loc_FindLCorners(frame, out, capacity, in.Byte() % 3, in.Byte() % 3);
    CornerCheck(n >= 0 && n <= capacity);
    for (int k = 0; k < n; ++k) {
        if (out[k].valid == 0) continue;
        CornerCheck(out[k].corner.x >= 0 && out[k].corner.x < w && out[k].corner.y >= 0 && out[k].corner.y < h);
    }
    CornerCheck(CornerUntouched(out + 8, sizeof(vexo::CORNER_CANDIDATE) * (kCornerSlots - 8)));
}

void FuzzLines(CornerParams &in, const uint8_t *s, int n) {
    int pos[kLineSlots + 4];
    uint8_t steps[kLineSlots + 4];
    const int capacity = in.Byte() % (kLineSlots + 3) - 2;  // -2..kLineSlots
    const int room = capacity > 0 ? capacity : 0;
    int width = 0;
    std::memset(pos, kCornerCanary, sizeof pos);
    std::memset(steps, kCornerCanary, sizeof steps);
    int got[6];
    got[0] = vexo::Loc_RowFallingEdges(s, n, pos, capacity, &width);
    got[1] = vexo::Loc_RowRisingEdges(s, n, pos, capacity, &width);
    got[2] = vexo::Loc_FallingEdges16(s, n, pos, capacity, in.Byte());
    got[3] = vexo::Loc_RisingEdges16(s, n, pos, capacity, in.Byte());
    got[4] = vexo::Loc_FallingEdgeSteps16(s, n, pos, steps, capacity, in.Byte());
    got[5] = vexo::Loc_RisingEdgeSteps16(s, n, pos, steps, capacity, in.Byte());
    for (int g : got) CornerCheck(g >= 0 && g <= room);
    CornerCheck(CornerUntouched(pos + room, sizeof(int) * static_cast<size_t>(kLineSlots + 4 - room)));
    CornerCheck(CornerUntouched(steps + room, static_cast<size_t>(kLineSlots + 4 - room)));
    int dx[kLineSlots + 4], dy[kLineSlots + 4];
    std::memset(dx, kCornerCanary, sizeof dx);
    std::memset(dy, kCornerCanary, sizeof dy);
    const int m = vexo::Loc_LineStepOffsets(0, 0, in.Byte() - 128, in.Byte() - 128, dx, dy, capacity);
    CornerCheck(m >= 0 && m <= room);
    CornerCheck(CornerUntouched(dx + room, sizeof(int) * static_cast<size_t>(kLineSlots + 4 - room)));
    int p = -1;
    CornerCheck(vexo::Loc_StrongestFallingEdge(s, n, &p) == 0 || (p >= 0 && p < n));
    CornerCheck(vexo::Loc_StrongestRisingEdge(s, n, &p) == 0 || (p >= 0 && p < n));
    CornerCheck(vexo::Loc_CountRisingEdges(s, n) <= n && vexo::Loc_CountFallingEdges(s, n) <= n);
    uint8_t hi = 0, lo = 0;
    vexo::Loc_BufferMinMax(s, n, &hi, &lo);
    int swing = 0, start = 0, end = 0;
    vexo::Loc_LargestMonotoneSwing(s, n, &swing, &start, &end);
    CornerCheck(swing >= 0 && swing <= 255 && start <= end && (n <= 0 || end < n));
    CornerCheck(vexo::Loc_SumBytes(s, n) >= 0 && vexo::Loc_SumAbsSteps(s, n) >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 + kCornerParams) return 0;
    const int w = data[0] % 96 + 1;
    const int h = data[1] < 128 ? data[1] % 96 + 1 : 150 + data[1] % 71;  // 1..96 or 150..220
    CornerParams in{data + 2};
    const uint8_t *px = data + 2 + kCornerParams;
    const size_t npx = size - 2 - kCornerParams;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 128);
    for (size_t i = 0; i < frame.size() && npx > 0; ++i) frame[i] = px[i % npx];
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    FuzzFinder(in, frame.data(), w, h);
    std::vector<uint8_t> line(px, px + (npx < 300 ? npx : 300));
    FuzzLines(in, line.data(), static_cast<int>(line.size()));
    const int lx = in.Byte() % (w + 20) - 10, ly = in.Byte() % (h + 20) - 10;
    const int mx = in.Byte() % (w + 20) - 10, my = in.Byte() % (h + 20) - 10;
    CornerCheck(vexo::Loc_LineVariation(frame.data(), lx, ly, mx, my) >= 0);
    CornerCheck(vexo::Loc_LineIntensitySum(frame.data(), lx, ly, mx, my) >= 0);
    return 0;
}
