// A recording finder table: three entries whose slots log every call with what they were
// handed, wants slots answering from switches, and line handlers that can raise a
// success byte on a chosen line.
#pragma once

#include <cstdint>
#include <vector>

#include "locate/finder.h"

namespace finder_test {

struct Call {
    int entry;
    char kind;  // 'Z' reset, 'r' row line, 'c' column line, 'R' rows done, 'C' columns done
    int linePosition = -1;
    int direction = -1;
    int sampleCount = -1;
    int base = -1;
    int limit = -1;
    int edgeCount = -1;
    const uint8_t *samples = nullptr;
    const vexo::EDGE_LINE *current = nullptr;
    const vexo::EDGE_LINE *previous = nullptr;
    const uint8_t *previousSamples = nullptr;
    int previousLinePosition = -1;
    int previousEdgeCount = -1;
    int previousSampleCount = -1;
    int previousDirectionCounts = -1;  // rising + falling
    const vexo::EDGE_ITEM *edges = nullptr;
    int capacity = -1;
    int ratio = -1;
    int minStep = -1;
    int lockFlag = -1;
    int lockedId = -1;
    vexo::REGION_QUAD *region = nullptr;
    vexo::REGION_QUAD *unaligned = nullptr;
};

struct Recorder {
    std::vector<Call> calls;
    int wantsRows[3] = {1, 1, 1};
    int wantsColumns[3] = {1, 1, 1};
    int wantsAsked = 0;
    bool setQueue = true;    // reset of entry 0 sets the QR queue positions, as the QR finder's does
    int raiseId[3] = {-1, -1, -1};  // success byte an entry raises...
    int raiseAt[3] = {-1, -1, -1};  // ...on the row line at this position

    int Count(int entry, char kind) const {
        int n = 0;
        for (const Call &c : calls) n += (c.entry == entry && c.kind == kind) ? 1 : 0;
        return n;
    }
    std::vector<int> Positions(int entry, char kind) const {
        std::vector<int> v;
        for (const Call &c : calls)
            if (c.entry == entry && c.kind == kind) v.push_back(c.linePosition);
        return v;
    }
};

inline Recorder g_recorder;
inline uint8_t g_fakeRing[4];

template <int E>
void FakeReset(vexo::REGION_QUAD *region, vexo::REGION_QUAD *unaligned) {
    Call c{E, 'Z'};
    c.region = region;
    c.unaligned = unaligned;
    g_recorder.calls.push_back(c);
    if (E == 0 && g_recorder.setQueue) vexo::g_qrFinderQueue = {g_fakeRing, g_fakeRing};
}

template <int E>
int FakeWantsRows() {
    ++g_recorder.wantsAsked;
    return g_recorder.wantsRows[E];
}

template <int E>
int FakeWantsColumns() {
    ++g_recorder.wantsAsked;
    return g_recorder.wantsColumns[E];
}

template <int E, char K>
void FakeLine(vexo::FINDER_LINE *line) {
    Call c{E, K};
    const vexo::EDGE_LINE *cur = line->current;
    c.linePosition = cur->linePosition;
    c.direction = cur->direction;
    c.sampleCount = cur->sampleCount;
    c.base = cur->base;
    c.limit = line->limit;
    c.edgeCount = cur->edgeCount;
    c.samples = cur->samples;
    c.current = cur;
    c.previous = line->previous;
    if (line->previous != nullptr) {
        c.previousSamples = line->previous->samples;
        c.previousLinePosition = line->previous->linePosition;
        c.previousEdgeCount = line->previous->edgeCount;
        c.previousSampleCount = line->previous->sampleCount;
        c.previousDirectionCounts = line->previous->risingCount + line->previous->fallingCount;
    }
    c.edges = cur->edges;
    c.capacity = cur->capacity;
    c.ratio = cur->ratio;
    c.minStep = cur->minStep;
    c.lockFlag = vexo::g_finderState.lockFlag;
    c.lockedId = vexo::g_finderState.lockedId;
    c.region = line->region;
    g_recorder.calls.push_back(c);
    if (K == 'r' && g_recorder.raiseAt[E] == cur->linePosition && g_recorder.raiseId[E] >= 0)
        vexo::g_finderState.success[g_recorder.raiseId[E]] = 1;
}

template <int E, char K>
void FakeDone() {
    g_recorder.calls.push_back(Call{E, K});
}

template <int E>
constexpr vexo::FINDER_MODULE FakeEntry() {
    return vexo::FINDER_MODULE{.reset = FakeReset<E>,
                               .wantsRows = FakeWantsRows<E>,
                               .rowLine = FakeLine<E, 'r'>,
                               .rowsDone = FakeDone<E, 'R'>,
                               .wantsColumns = FakeWantsColumns<E>,
                               .columnLine = FakeLine<E, 'c'>,
                               .columnsDone = FakeDone<E, 'C'>,
                               .spare = nullptr};
}

inline constexpr vexo::FINDER_MODULE kFakeTable[4] = {
    FakeEntry<0>(), FakeEntry<1>(), FakeEntry<2>(),
    vexo::FINDER_MODULE{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

}  // namespace finder_test
