// Han Xin line stage: edge merging, the run matcher and the hit ring.
#include "hanxin/cscn_line_hits.h"

namespace vexo {
namespace {

constexpr u16 kFallingFlag = 0x8000;

bool Falling(const EDGE_ITEM &e) { return (e.flags & kFallingFlag) != 0; }
i32 Step(const EDGE_ITEM &e) { return e.flags & 0xFF; }

// 1.4 w < wide < 2.6 w, in tenths.
bool TwiceAsWide(i32 wide, i32 w) { return 14 * w < 10 * wide && 10 * wide < 26 * w; }

}  // namespace

void CSCN_ResetHitRing(CSCN_HIT_RING *ring) {
    ring->start = 0;
    ring->read = 0;
    ring->write = 0;
    ring->end = kCscnHitRingSize;
    ring->sameLap = 1;
}

i32 CSCN_RingEmpty(const CSCN_HIT_RING *ring) { return ring->sameLap != 0 && ring->write <= ring->read ? 1 : 0; }

i32 CSCN_RingPush(CSCN_HIT_RING *ring, const CSCN_LINE_HIT *hit) {
    if (!(ring->read > ring->write || ring->sameLap != 0)) return 0;
    if (ring->write < ring->start || ring->write >= ring->end) return 0;
    ring->hits[ring->write] = *hit;
    if (++ring->write >= ring->end) {
        ring->write = ring->start;
        ring->sameLap ^= 1;
    }
    return 1;
}

i32 CSCN_RingPop(CSCN_HIT_RING *ring, CSCN_LINE_HIT *hit) {
    if (CSCN_RingEmpty(ring) != 0) return 0;
    if (ring->read < ring->start || ring->read >= ring->end) return 0;
    *hit = ring->hits[ring->read];
    if (++ring->read >= ring->end) {
        ring->read = ring->start;
        ring->sameLap ^= 1;
    }
    return 1;
}

i32 CSCN_PolarityMode(u32 configWord, i32 previous) {
    const bool normal = (configWord & 0x20u) != 0;
    const bool inverse = (configWord & 0x40u) != 0;
    if (normal && inverse) return 2;
    if (normal) return 0;
    if (inverse) return 1;
    return previous;
}

void CSCN_PolarityGates(i32 mode, u8 *normalGate, u8 *inverseGate) {
    *normalGate = mode == 0 || mode == 2 ? 1 : 0;
    *inverseGate = mode == 1 || mode == 2 ? 1 : 0;
}

i32 CSCN_MergeEdges(const EDGE_ITEM *edges, i32 count, EDGE_ITEM *merged) {
    if (edges == nullptr || merged == nullptr || count <= 0) return 0;
    if (count > kCscnLineEdges) count = kCscnLineEdges;
    i32 n = 0;
    for (i32 i = 0; i < count; ++i) {
        if (n == 0 || Falling(edges[i]) != Falling(merged[n - 1])) merged[n++] = edges[i];
        else if (Step(edges[i]) >= Step(merged[n - 1])) merged[n - 1] = edges[i];
    }
    return n < 6 ? 0 : n;
}

i32 CSCN_MatchRuns(const EDGE_ITEM *edges, i32 count, i32 lineIndex, i32 isRow, CSCN_HIT_RING *ring) {
    if (edges == nullptr || ring == nullptr) return 0;
    i32 written = 0;
    for (i32 i = 5; i < count; ++i) {
        const i32 e0 = edges[i - 5].position, e1 = edges[i - 4].position, e2 = edges[i - 3].position;
        const i32 e3 = edges[i - 2].position, e4 = edges[i - 1].position, e5 = edges[i].position;
        const i32 a = e2 - e0, b = e3 - e1, c = e4 - e2, d = e5 - e3;
        u8 form = 0;
        if (TwiceAsWide(d, a) && TwiceAsWide(d, b) && TwiceAsWide(d, c)) form = 1;
        else if (TwiceAsWide(a, b) && TwiceAsWide(a, c) && TwiceAsWide(a, d)) form = 2;
        if (form == 0) continue;
        CSCN_LINE_HIT hit{};
        const i32 along = form == 1 ? (e4 + e5) >> 5 : (e0 + e1) >> 5;
        hit.x = static_cast<i16>(isRow != 0 ? along : lineIndex);
        hit.y = static_cast<i16>(isRow != 0 ? lineIndex : along);
        hit.width = static_cast<i16>((e5 - e0) >> 4);
        hit.reach = lineIndex + hit.width + (hit.width >> 1);
        hit.form = form;
        hit.polarity = Falling(edges[i - 3]) ? 1 : 2;
        if (CSCN_RingPush(ring, &hit) == 0) break;
        ++written;
    }
    return written;
}

}  // namespace vexo
