#include "toolkit/profile.h"

#include <cstring>

#include "core/pixel.h"

namespace vexo {

namespace {

struct RowSource {
    const u8 *s;
    i32 operator()(i32 k) const { return s[k]; }
};

// Columns of the installed image: the row length is the stride.
struct ColumnSource {
    const u8 *s;
    i64 stride;
    i32 operator()(i32 k) const { return s[k * stride]; }
};

ColumnSource ColumnOf(const u8 *first) { return ColumnSource{first, static_cast<i64>(g_image.widthCopy)}; }

struct Transition {
    i32 start;
    i32 top;   // brighter end
    i32 step;  // brighter end - darker end
    i64 num;   // inner samples' distances from the far end, for the centre of gravity
    bool falling;
};

// Finds the transition at or after *cursor and moves the cursor to its end; false once
// the last sample is reached. Equal samples before a change are stepped over; inside a
// transition they continue it.
// Follows a transition from sample i while the next sample does not turn back; returns
// its end and adds the samples strictly inside it to *inner.
template <class Src, bool kFalling>
i32 FollowTransition(const Src &s, i32 i, i32 last, i64 *inner) {
    i32 end = i + 1;
    i32 prev = s(end);
    i64 sum = 0;
    while (end < last) {
        const i32 next = s(end + 1);
        if (kFalling ? next > prev : next < prev) break;
        sum += prev;
        prev = next;
        ++end;
    }
    *inner = sum;
    return end;
}

template <class Src>
bool NextTransition(const Src &s, i32 last, i32 *cursor, Transition *t) {
    i32 i = *cursor;
    while (i < last && s(i + 1) == s(i)) ++i;
    *cursor = i;
    if (i >= last) return false;
    const i32 first = s(i);
    const bool falling = s(i + 1) < first;
    i64 inner = 0;
    const i32 end =
        falling ? FollowTransition<Src, true>(s, i, last, &inner) : FollowTransition<Src, false>(s, i, last, &inner);
    const i32 far = s(end);
    const i64 n = end - i - 1;
    t->start = i;
    t->falling = falling;
    if (falling) {
        t->top = first;
        t->step = first - far;
        t->num = inner - n * far;
    } else {
        t->top = far;
        t->step = far - first;
        t->num = n * far - inner;
    }
    *cursor = end;
    return true;
}

i32 PositionOf(i32 base, const Transition &t) {
    const i64 offset = (t.num * kProfReciprocal.r[t.step]) >> 16;
    return static_cast<i32>(static_cast<i64>(base) + 16 * static_cast<i64>(t.start) + 8 + offset);
}

struct RatioTest {
    i32 ratio;
    i32 minStep;
    bool Keep(const Transition &t) const {
        return t.step >= minStep && static_cast<i64>(t.step) * 1024 >= static_cast<i64>(t.top) * ratio;
    }
};

struct CrossingTest {
    i32 level;
    bool Keep(const Transition &t) const { return t.top - t.step < level && level <= t.top; }
};

struct ByLevelTest {
    bool Keep(const Transition &t) const { return t.top < 64 ? t.step >= 10 : t.step >= t.top / 4 - 5; }
};

// One direction; stops when the output is full.
template <class Src, class Test>
i32 ScanOne(const Src &s, i32 count, i32 base, bool falling, const Test &test, i32 *positions, u8 *steps,
            i32 capacity) {
    if (s.s == nullptr || count < 2 || capacity <= 0) return 0;
    i32 found = 0;
    i32 cursor = 0;
    Transition t;
    while (found < capacity && NextTransition(s, count - 1, &cursor, &t)) {
        if (t.falling != falling || !test.Keep(t)) continue;
        if (positions != nullptr) positions[found] = PositionOf(base, t);
        if (steps != nullptr) steps[found] = static_cast<u8>(t.step);
        ++found;
    }
    return found;
}

// Both directions; a transition whose list is full is skipped untested.
template <class Src, class Test>
void ScanBoth(const Src &s, PROFILE_SCAN *scan, const Test &test) {
    scan->risingFound = 0;
    scan->fallingFound = 0;
    if (s.s == nullptr || scan->count < 2) return;
    i32 cursor = 0;
    Transition t;
    while (NextTransition(s, scan->count - 1, &cursor, &t)) {
        i32 *found = t.falling ? &scan->fallingFound : &scan->risingFound;
        const i32 capacity = t.falling ? scan->fallingCapacity : scan->risingCapacity;
        if (*found >= capacity || !test.Keep(t)) continue;
        i32 *positions = t.falling ? scan->fallingPositions : scan->risingPositions;
        u8 *steps = t.falling ? scan->fallingSteps : scan->risingSteps;
        if (positions != nullptr) positions[*found] = PositionOf(scan->base, t);
        if (steps != nullptr) steps[*found] = static_cast<u8>(t.step);
        ++*found;
    }
}

template <class Src>
void ScanOneCore(const Src &s, PROFILE_SCAN *scan, bool falling) {
    const RatioTest test{scan->ratio, scan->minStep};
    if (falling) {
        scan->fallingFound = ScanOne(s, scan->count, scan->base, true, test, scan->fallingPositions, scan->fallingSteps,
                                     scan->fallingCapacity);
    } else {
        scan->risingFound = ScanOne(s, scan->count, scan->base, false, test, scan->risingPositions, scan->risingSteps,
                                    scan->risingCapacity);
    }
}

struct StoreItem {
    void operator()(EDGE_ITEM *item, i32 position, u16 flags) const {
        item->position = static_cast<i16>(position);
        item->flags = flags;
    }
};

struct StoreWord {
    void operator()(EDGE_ITEM *item, i32 position, u16 flags) const {
        const u32 word = static_cast<u32>(static_cast<u16>(position)) | (static_cast<u32>(flags) << 16);
        std::memcpy(item, &word, sizeof word);
    }
};

template <class Src, class Store>
void ScanEdgeList(const Src &s, EDGE_LINE *line, Store store) {
    line->edgeCount = 0;
    line->risingCount = 0;
    line->fallingCount = 0;
    if (s.s == nullptr || line->sampleCount < 2) return;
    const RatioTest test{line->ratio, line->minStep};
    i32 cursor = 0;
    Transition t;
    while (line->edgeCount < line->capacity && NextTransition(s, line->sampleCount - 1, &cursor, &t)) {
        if (!test.Keep(t)) continue;
        const u16 flags = static_cast<u16>((t.falling ? kEdgeFalling : 0) | ((t.top >> 1) << 8) | t.step);
        if (line->edges != nullptr) store(line->edges + line->edgeCount, PositionOf(line->base, t), flags);
        ++line->edgeCount;
        ++(t.falling ? line->fallingCount : line->risingCount);
    }
}

PROFILE_SCAN ScanOfRequest(const PROFILE_REQUEST *r, i32 ratio) {
    PROFILE_SCAN scan{};
    scan.samples = r->samples;
    scan.count = r->count;
    scan.base = r->base;
    scan.risingPositions = r->risingPositions;
    scan.risingCapacity = r->risingCapacity;
    scan.fallingPositions = r->fallingPositions;
    scan.fallingCapacity = r->fallingCapacity;
    scan.ratio = ratio;
    scan.minStep = r->minStep;
    return scan;
}

void ReturnFound(PROFILE_REQUEST *r, const PROFILE_SCAN &scan) {
    r->risingFound = scan.risingFound;
    r->fallingFound = scan.fallingFound;
}

}  // namespace

void Prof_ScanFallingEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanOneCore(RowSource{scan->samples}, scan, true);
}

void Prof_ScanRisingEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanOneCore(RowSource{scan->samples}, scan, false);
}

void Prof_ScanEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanBoth(RowSource{scan->samples}, scan, RatioTest{scan->ratio, scan->minStep});
}

void Prof_ScanColumnFallingEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanOneCore(ColumnOf(scan->samples), scan, true);
}

void Prof_ScanColumnRisingEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanOneCore(ColumnOf(scan->samples), scan, false);
}

void Prof_ScanColumnEdges(PROFILE_SCAN *scan) {
    if (scan != nullptr) ScanBoth(ColumnOf(scan->samples), scan, RatioTest{scan->ratio, scan->minStep});
}

i32 Prof_FindFallingEdges(const u8 *samples, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, true, RatioTest{ratio, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindRisingEdges(const u8 *samples, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, false, RatioTest{ratio, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindFallingEdgesAbs(const u8 *samples, i32 count, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, true, RatioTest{1, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindRisingEdgesAbs(const u8 *samples, i32 count, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, false, RatioTest{1, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindFallingEdgesAbsDepth(const u8 *samples, i32 count, i32 minStep, i32 *positions, u8 *steps, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, true, RatioTest{1, minStep}, positions, steps, capacity);
}

i32 Prof_FindRisingEdgesAbsDepth(const u8 *samples, i32 count, i32 minStep, i32 *positions, u8 *steps, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, false, RatioTest{1, minStep}, positions, steps, capacity);
}

i32 Prof_FindColumnFallingEdges(const u8 *first, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, true, RatioTest{ratio, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindColumnRisingEdges(const u8 *first, i32 count, i32 ratio, i32 minStep, i32 *positions, i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, false, RatioTest{ratio, minStep}, positions, nullptr, capacity);
}

i32 Prof_FindColumnFallingEdgesAbsDepth(const u8 *first, i32 count, i32 minStep, i32 *positions, u8 *steps,
                                        i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, true, RatioTest{1, minStep}, positions, steps, capacity);
}

i32 Prof_FindColumnRisingEdgesAbsDepth(const u8 *first, i32 count, i32 minStep, i32 *positions, u8 *steps,
                                       i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, false, RatioTest{1, minStep}, positions, steps, capacity);
}

i32 Prof_FallingCrossings(const u8 *samples, i32 count, i32 level, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, true, CrossingTest{level}, positions, nullptr, capacity);
}

i32 Prof_RisingCrossings(const u8 *samples, i32 count, i32 level, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, false, CrossingTest{level}, positions, nullptr, capacity);
}

i32 Prof_FindFallingEdgesByLevel(const u8 *samples, i32 count, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, true, ByLevelTest{}, positions, nullptr, capacity);
}

i32 Prof_FindRisingEdgesByLevel(const u8 *samples, i32 count, i32 *positions, i32 capacity) {
    return ScanOne(RowSource{samples}, count, 0, false, ByLevelTest{}, positions, nullptr, capacity);
}

i32 Prof_FindColumnFallingEdgesByLevel(const u8 *first, i32 count, i32 *positions, i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, true, ByLevelTest{}, positions, nullptr, capacity);
}

i32 Prof_FindColumnRisingEdgesByLevel(const u8 *first, i32 count, i32 *positions, i32 capacity) {
    return ScanOne(ColumnOf(first), count, 0, false, ByLevelTest{}, positions, nullptr, capacity);
}

void Prof_FindEdgesRec(PROFILE_REQUEST *request) {
    if (request == nullptr) return;
    PROFILE_SCAN scan = ScanOfRequest(request, request->ratio);
    Prof_ScanEdges(&scan);
    ReturnFound(request, scan);
}

void Prof_FindEdgesAbsRec(PROFILE_REQUEST *request) {
    if (request == nullptr) return;
    PROFILE_SCAN scan = ScanOfRequest(request, 1);
    Prof_ScanEdges(&scan);
    ReturnFound(request, scan);
}

void Prof_FindColumnEdgesRec(PROFILE_REQUEST *request) {
    if (request == nullptr) return;
    PROFILE_SCAN scan = ScanOfRequest(request, request->ratio);
    Prof_ScanColumnEdges(&scan);
    ReturnFound(request, scan);
}

void Prof_FindColumnEdgesAbsRec(PROFILE_REQUEST *request) {
    if (request == nullptr) return;
    PROFILE_SCAN scan = ScanOfRequest(request, 1);
    Prof_ScanColumnEdges(&scan);
    ReturnFound(request, scan);
}

void Prof_FindCrossingsRec(PROFILE_REQUEST *request) {
    if (request == nullptr) return;
    PROFILE_SCAN scan = ScanOfRequest(request, request->ratio);
    ScanBoth(RowSource{scan.samples}, &scan, CrossingTest{request->level});
    ReturnFound(request, scan);
}

void Prof_RowEdges(EDGE_LINE *line) {
    if (line != nullptr) ScanEdgeList(RowSource{line->samples}, line, StoreItem{});
}

void Prof_ColumnEdges(EDGE_LINE *line) {
    if (line != nullptr) ScanEdgeList(ColumnOf(line->samples), line, StoreItem{});
}

void Prof_RowEdgesPacked(EDGE_LINE *line) {
    if (line != nullptr) ScanEdgeList(RowSource{line->samples}, line, StoreWord{});
}

void Prof_ColumnEdgesPacked(EDGE_LINE *line) {
    if (line != nullptr) ScanEdgeList(ColumnOf(line->samples), line, StoreWord{});
}

namespace {

// End of the strict transition that starts at d: the profile keeps moving the same way.
i32 StrictEnd(const u8 *s, i32 d, i32 last, i64 *inner) {
    const bool falling = s[d + 1] < s[d];
    i32 end = d + 1;
    while (end < last && (falling ? s[end + 1] < s[end] : s[end + 1] > s[end])) ++end;
    i64 sum = 0;
    for (i32 t = d + 1; t < end; ++t) sum += s[t] > s[end] ? s[t] - s[end] : s[end] - s[t];
    *inner = sum;
    return end;
}

}  // namespace

u16 Prof_FindEdgesSub16(const u8 *samples, i32 count, i32 *positions, i32 maxCount, i32 ratio, i32 minStep) {
    // The count is answered in 16 bits: never let it wrap.
    const i32 limit = maxCount < 0xFFFF ? maxCount : 0xFFFF;
    if (samples == nullptr || positions == nullptr || count < 2 || limit <= 0) return 0;
    const i32 last = count - 1;
    i32 found = 0;
    i32 d = 0;
    while (d < last) {
        if (samples[d + 1] == samples[d]) {
            ++d;
            continue;
        }
        i64 inner = 0;
        const i32 end = StrictEnd(samples, d, last, &inner);
        const i32 g = samples[end] > samples[d] ? samples[end] - samples[d] : samples[d] - samples[end];
        if (g > minStep && static_cast<i64>(g) * 1024 >= static_cast<i64>(ratio) * samples[end]) {
            const i64 h = static_cast<i64>(g) * d + inner;
            positions[found++] = static_cast<i32>(16 * h / g + 8);
            if (found >= limit) break;
        }
        d = end;
    }
    return static_cast<u16>(found);
}

}  // namespace vexo
