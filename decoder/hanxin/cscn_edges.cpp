// Han Xin edge scanners. A transition runs from the sample where the profile starts to move
// in one direction to the last sample before it turns; its position is where a sharp step of
// the same height would leave the same area under the profile.
#include "hanxin/cscn_edges.h"

namespace vexo {
namespace {

// The least step that counts at a brighter end `top`: dark transitions need less.
i32 StepThreshold(i32 top) { return top < 64 ? 10 : ((top - 40) >> 2) + 5; }

// Walks the samples once; `falling` mirrors the comparisons. Every step moves forward.
i32 Scan(CSCN_EDGE_SCAN *scan, bool falling) {
    if (scan == nullptr) return 0;
    scan->found = 0;
    const u8 *s = scan->samples;
    const i32 n = scan->sampleCount;
    if (s == nullptr || scan->edges == nullptr || n < 2) return 0;
    auto moves = [&](i32 k) { return falling ? s[k] > s[k + 1] : s[k] < s[k + 1]; };
    i32 i = 0;
    while (i < n - 1 && scan->found < scan->capacity) {
        if (!moves(i)) {
            ++i;
            continue;
        }
        i32 j = i + 1;
        while (j < n - 1 && moves(j)) ++j;
        const i32 start = s[i];
        const i32 end = s[j];
        const i32 step = falling ? start - end : end - start;
        const i32 top = falling ? start : end;
        if (step < scan->minStep) {
            if (j == n - 1) break;
            i = j;
            continue;
        }
        if (step >= StepThreshold(top) && step * 1024 >= top * scan->ratio) {
            u32 inner = 0;
            for (i32 k = i + 1; k < j; ++k) inner += s[k];
            // Area between the transition and its darker end (falling: its brighter end).
            const u32 area = falling ? static_cast<u32>(start * i - end * (j - 1)) + inner
                                     : static_cast<u32>(end * (j - 1) - start * i) - inner;
            scan->edges[scan->found].position = static_cast<i16>(16u * area / static_cast<u32>(step) + 8u);
            ++scan->found;
        }
        i = j;
    }
    return scan->found;
}

}  // namespace

i32 CSCN_ScanRisingEdges(CSCN_EDGE_SCAN *scan) { return Scan(scan, false); }

i32 CSCN_ScanFallingEdges(CSCN_EDGE_SCAN *scan) { return Scan(scan, true); }

i32 CSCN_ProfileEdges(CSCN_EDGE_SCAN *scan, u16 falling) { return Scan(scan, falling != 0); }

}  // namespace vexo
