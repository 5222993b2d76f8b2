// Edge extraction on arbitrary profiles. Input: ratio (2 bytes), minStep, capacity, then
// the samples. Checks that no output is written past its capacity, that positions rise
// strictly, and that the edge list agrees with the single-direction routines.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "toolkit/profile.h"

namespace {

constexpr int kMaxSamples = 4096;
constexpr int kCanary = 8;
constexpr int32_t kFill = 0x5A5A5A5A;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Rising(const int32_t *p, int32_t n) {
    for (int32_t k = 1; k < n; ++k) {
        if (p[k] <= p[k - 1]) return false;
    }
    return true;
}

bool Untouched(const int32_t *p, int32_t from, int32_t to) {
    for (int32_t k = from; k < to; ++k) {
        if (p[k] != kFill) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const int32_t ratio = static_cast<int32_t>(data[0] | (data[1] << 8)) - 1024;
    const int32_t minStep = static_cast<int32_t>(data[2]) - 16;
    const int32_t capacity = data[3] % 64;
    const uint8_t *samples = data + 4;
    const int32_t count = static_cast<int32_t>(size - 4 > kMaxSamples ? kMaxSamples : size - 4);

    static int32_t falling[kMaxSamples + kCanary], rising[kMaxSamples + kCanary];
    for (int32_t k = 0; k < capacity + kCanary; ++k) falling[k] = rising[k] = kFill;
    const int32_t nf = vexo::Prof_FindFallingEdges(samples, count, ratio, minStep, falling, capacity);
    const int32_t nr = vexo::Prof_FindRisingEdges(samples, count, ratio, minStep, rising, capacity);
    Check(nf >= 0 && nf <= capacity && nr >= 0 && nr <= capacity);
    Check(Untouched(falling, nf, capacity + kCanary) && Untouched(rising, nr, capacity + kCanary));
    Check(Rising(falling, nf) && Rising(rising, nr));

    // The edge list holds the same edges, interleaved, when it has room for all.
    static vexo::EDGE_ITEM items[kMaxSamples];
    vexo::EDGE_LINE line{};
    line.samples = samples;
    line.sampleCount = count;
    line.edges = items;
    line.capacity = kMaxSamples;
    line.ratio = ratio;
    line.minStep = minStep;
    vexo::Prof_RowEdges(&line);
    Check(line.edgeCount == line.risingCount + line.fallingCount);
    int32_t seenFalling = 0, seenRising = 0;
    for (int32_t k = 0; k < line.edgeCount; ++k) {
        const bool isFalling = (items[k].flags & vexo::kEdgeFalling) != 0;
        int32_t &seen = isFalling ? seenFalling : seenRising;
        const int32_t *list = isFalling ? falling : rising;
        const int32_t n = isFalling ? nf : nr;
        if (seen < n) Check(static_cast<int16_t>(list[seen]) == items[k].position);
        ++seen;
    }
    Check(nf == (line.fallingCount < capacity ? line.fallingCount : capacity));
    Check(nr == (line.risingCount < capacity ? line.risingCount : capacity));

    // Strict runs into one list.
    for (int32_t k = 0; k < capacity + kCanary; ++k) falling[k] = kFill;
    const uint16_t ns = vexo::Prof_FindEdgesSub16(samples, count, falling, capacity, ratio, minStep);
    Check(ns <= capacity && Untouched(falling, ns, capacity + kCanary) && Rising(falling, ns));
    return 0;
}
