#include "pdf417/pdf417_guards.h"

#include <algorithm>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/pdf417_scanline.h"

namespace vexo {
namespace {

constexpr i32 kAcceptBelow = 551;
constexpr i32 kScanEdges = 640;
constexpr i32 kColumnScanEdges = 480;
constexpr i32 kTrackEdges = 20;
constexpr i32 kLineSpacing = 8;
constexpr i32 kCoverMargin = 23;
constexpr i32 kMergeGap = 20;
constexpr i32 kMinEdgeMagnitude = 15;
constexpr u8 kScanMinStep = 7;
constexpr i32 kTrackSteps[5] = {8, 4, 12, 16, 20};

i64 Ratio(i64 num, i64 den) { return den != 0 ? num / den : 0; }
i64 Dev(i64 r) { return r < 1000 ? 1000 - r : r - 1000; }

struct WIDTHS {
    i64 w1, w2, w3, w4;
};
WIDTHS WidthsOf(const i32 *e) {
    return {static_cast<i64>(e[1]) - e[0], static_cast<i64>(e[2]) - e[1], static_cast<i64>(e[3]) - e[2],
            static_cast<i64>(e[4]) - e[3]};
}

}  // namespace

int PDF_TestStartForward(const i32 *e) {
    const auto [w1, w2, w3, w4] = WidthsOf(e);
    if (w1 < 144 || w1 > 1600) return 0;
    const i64 sum = Dev(Ratio(2000 * w1, 3 * (w3 + w4))) + Dev(Ratio(2000 * w1, 3 * (w2 + w4))) +
                    Dev(Ratio(1000 * (w2 + w3), w4)) + Dev(Ratio(2000 * w3, w4)) + Dev(Ratio(2000 * w2, w4));
    return sum < kAcceptBelow ? 1 : 0;
}

int PDF_TestStartReverse(const i32 *e) {
    const auto [w1, w2, w3, w4] = WidthsOf(e);
    if (w4 < 144 || w4 > 1600) return 0;
    const i64 sum = Dev(Ratio(2000 * w4, 3 * (w1 + w2))) + Dev(Ratio(2000 * w4, 3 * (w1 + w3))) +
                    Dev(Ratio(1000 * (w2 + w3), w1)) + Dev(Ratio(2000 * w2, w1)) + Dev(Ratio(1000 * w2, w3));
    return sum < kAcceptBelow ? 1 : 0;
}

int PDF_TestStopForward(const i32 *e) {
    const auto [w1, w2, w3, w4] = WidthsOf(e);
    if (w1 < 128 || w1 > 1344) return 0;
    const i64 sum = Dev(Ratio(1000 * w1, 2 * w2)) + Dev(Ratio(1000 * w1, w2 + 2 * w3)) + Dev(Ratio(2000 * w3, w2)) +
                    Dev(Ratio(1000 * (w2 + w3), 2 * w4)) + Dev(Ratio(3000 * w1, 8 * w4));
    return sum < kAcceptBelow ? 1 : 0;
}

int PDF_TestStopReverse(const i32 *e) {
    const auto [w1, w2, w3, w4] = WidthsOf(e);
    if (w4 < 128 || w4 > 1344) return 0;
    const i64 sum = Dev(Ratio(1000 * w4, 2 * w3)) + Dev(Ratio(1000 * w4, w3 + 2 * w2)) + Dev(Ratio(2000 * w2, w3)) +
                    Dev(Ratio(1000 * (w2 + w3), 2 * w1)) + Dev(Ratio(8000 * w1, 3 * w4));
    return sum < kAcceptBelow ? 1 : 0;
}

namespace {

// Rows and columns differ only in which coordinate runs along the scan line.
struct AXIS {
    i32 vertical;  // 0 rows, 1 columns
};

i32 Along(AXIS a, const PDF_GUARD_END &e) { return a.vertical != 0 ? e.y : e.x; }
i32 Across(AXIS a, const PDF_GUARD_END &e) { return a.vertical != 0 ? e.x : e.y; }
i32 AlongExtent(AXIS a) { return a.vertical != 0 ? g_image.height : g_image.width; }
i32 AcrossExtent(AXIS a) { return a.vertical != 0 ? g_image.width : g_image.height; }

bool IsStartKind(i32 kind) { return kind == 1 || kind == 2 || kind == -1 || kind == -2; }

i32 ClassOfKind(i32 kind) {
    switch (kind) {
        case 1: case 3: return 0;
        case -4: case -2: return 3;
        case 4: case 2: return 2;
        default: return 1;
    }
}

// The class's guard kinds on the left and right of a line for one pass; 0 when none.
void CoverKinds(bool falling, i32 cls, i32 *left, i32 *right) {
    *left = 0;
    *right = 0;
    if (falling && cls == 0) *left = 1, *right = 3;
    if (falling && cls == 3) *left = -4, *right = -2;
    if (!falling && cls == 2) *left = 4, *right = 2;
    if (!falling && cls == 1) *left = -1, *right = -3;
}

void MarkCovered(AXIS a, bool falling, const PDF_CANDIDATE *c, PDF_SCAN_STATE *state, i32 line) {
    state->leftCovered = 0;
    state->rightCovered = 0;
    i32 left = 0;
    i32 right = 0;
    CoverKinds(falling, state->polarityClass, &left, &right);
    if (left == 0) return;
    for (i32 k = 0; k < state->count && k < kPdfMaxCandidates; ++k) {
        const bool spans = Across(a, c[k].end1) - kCoverMargin <= line && line <= Across(a, c[k].end2) + kCoverMargin;
        if (spans && c[k].kind == left) state->leftCovered = 1;
        if (spans && c[k].kind == right) state->rightCovered = 1;
    }
}

// A segment of one image line: clipped to the image (fewer than 2 samples finds nothing).
struct LINE_SEGMENT {
    i32 line;
    i32 start;  // along the line
    i32 n;
};

LINE_SEGMENT ClipSegment(AXIS a, i32 line, i64 start, i64 length) {
    const i64 from = std::max<i64>(start, 0);
    const i64 to = std::min<i64>(start + length, AlongExtent(a));
    return {line, static_cast<i32>(from), static_cast<i32>(std::max<i64>(to - from, 0))};
}

struct EXTRACTOR {
    PDF_LineEdgesFn row;
    PDF_ColumnEdgesFn column;
};

i32 Extract(AXIS a, EXTRACTOR x, const LINE_SEGMENT &s, u8 minStep, i32 *pos, u8 *mag, i32 capacity) {
    if (s.n < 2 || s.line < 0 || s.line >= AcrossExtent(a)) return 0;
    if (a.vertical != 0) return x.column({s.line, s.start}, s.n, minStep, pos, mag, capacity);
    return x.row(g_image.data + static_cast<i64>(s.line) * g_image.width + s.start, s.n, minStep, pos, mag, capacity);
}

i32 ContrastOf(i32 kind, const u8 *mag, i32 i) {
    if (IsStartKind(kind)) return std::min({mag[i + 1], mag[i + 2], mag[i + 3]});
    return std::min(mag[i + 1], mag[i + 3]);
}

i32 TrackMinStep(i32 contrast) {
    if (4 * contrast > 174) return 35;
    if (4 * contrast <= 39) return 7;
    return 4 * contrast / 5;
}

// Follows the candidate's pattern one way; answers the matches and leaves the last matched
// state in end. false in *stopAll when the line left the image's far side.
i32 TrackOneWay(AXIS a, PDF_GuardTestFn test, EXTRACTOR x, const PDF_CANDIDATE *c, i32 direction,
                PDF_GUARD_END *end, bool *stopAll) {
    i32 matched = 0;
    i32 last = Across(a, *end);
    const i32 extent = AlongExtent(a);
    // Each match moves at least 4 lines: the image bounds the walk.
    for (i32 budget = AcrossExtent(a) + 1; budget > 0; --budget) {
        bool found = false;
        for (i32 s : kTrackSteps) {
            const i32 line = last + direction * s;
            const i32 at = Along(a, *end);
            const i32 w = end->width;
            if ((c->kind == 1 || c->kind == 4) && static_cast<i64>(at) + w > static_cast<i64>(extent) - 2 * w) return matched;
            if ((c->kind == 2 || c->kind == 3) && at < 2 * w) return matched;
            if (line <= 1) return matched;
            if (line >= AcrossExtent(a)) {
                *stopAll = true;
                return matched;
            }
            i32 pos[kTrackEdges];
            u8 mag[kTrackEdges];
            const i64 start = std::max<i64>(static_cast<i64>(at) - (s + 4), 1);
            const LINE_SEGMENT seg = ClipSegment(a, line, start, static_cast<i64>(w) + 2 * (s + 4));
            const i32 n = Extract(a, x, seg, static_cast<u8>(TrackMinStep(end->contrast)), pos, mag, kTrackEdges);
            if (a.vertical != 0 && n <= 2 && std::abs(line - last) > (5 * w > 220 ? 5 * w / 17 : 12)) return matched;
            for (i32 i = 0; i + 4 < n; ++i) {
                if (mag[i] < kMinEdgeMagnitude || test(pos + i) == 0) continue;
                end->contrast = ContrastOf(c->kind, mag, i);
                const i32 width = (pos[i + 4] - pos[i]) >> 4;
                if (4 * std::abs(w - width) <= std::min(w, width)) {
                    end->width = width;
                    (a.vertical != 0 ? end->y : end->x) = seg.start + (pos[i] >> 4);
                    (a.vertical != 0 ? end->x : end->y) = line;
                    last = line;
                    ++matched;
                    found = true;
                }
                break;
            }
            if (found) break;
        }
        if (!found) break;
    }
    return matched;
}

i32 Track(AXIS a, PDF_GuardTestFn test, EXTRACTOR x, PDF_CANDIDATE *c) {
    if (test == nullptr || c == nullptr || g_image.data == nullptr) return 0;
    c->startFlag = IsStartKind(c->kind) ? 1 : 0;
    PDF_GUARD_END up = c->end1;
    PDF_GUARD_END down = c->end1;
    bool stopAll = false;
    i32 matched = TrackOneWay(a, test, x, c, -1, &up, &stopAll);
    if (!stopAll) matched += TrackOneWay(a, test, x, c, 1, &down, &stopAll);
    c->end1 = up;
    c->end2 = down;
    return matched >= 2 ? matched : 0;
}

int Merge(AXIS a, PDF_CANDIDATE *c, int count) {
    if (c == nullptr || count < 2) return count;
    PDF_CANDIDATE &q = c[count - 1];
    for (int k = 0; k + 1 < count; ++k) {
        PDF_CANDIDATE &p = c[k];
        if (p.kind != q.kind || 9 * std::abs(p.end1.width - q.end1.width) > p.end1.width) continue;
        const bool qFirst = (Across(a, q.end1) + Across(a, q.end2)) / 2 <= (Across(a, p.end1) + Across(a, p.end2)) / 2;
        const PDF_GUARD_END &qFacing = qFirst ? q.end2 : q.end1;
        const PDF_GUARD_END &pFacing = qFirst ? p.end1 : p.end2;
        const i32 gap = qFirst ? Across(a, p.end1) - Across(a, q.end2) : Across(a, q.end1) - Across(a, p.end2);
        if (gap > kMergeGap) continue;
        if (gap > 0 && std::abs(Along(a, qFacing) - Along(a, pFacing)) > gap) continue;
        if (gap <= 0) {
            const i32 mid = (Along(a, p.end1) + Along(a, p.end2)) / 2;
            if (std::abs(Along(a, qFacing) - mid) > std::abs(Along(a, p.end1) - Along(a, p.end2)) + 2) continue;
        }
        if (qFirst) {
            p.end1 = q.end1;
        } else {
            p.end2 = q.end2;
        }
        return count - 1;
    }
    return count;
}

// One pass's kinds in the order tried: the normal pair, then the inverted pair.
struct PASS {
    bool falling;
    i32 normalClassForbidden;   // the normal pair is not tried in this class
    i32 invertedClassForbidden;
    i32 kinds[4];               // left normal, right normal, left inverted, right inverted
    PDF_GuardTestFn tests[4];
    bool rightRoom[2];          // right room test for the normal / inverted pair on rows
    i32 magnitudeOffset;        // which edge's magnitude must reach 15
};

constexpr PASS kFallingPass = {true, 3, 0, {1, 3, -4, -2},
                               {PDF_TestStartForward, PDF_TestStopForward, PDF_TestStopReverse, PDF_TestStartReverse},
                               {false, false}, 0};
constexpr PASS kRisingPass = {false, 1, 2, {4, 2, -1, -3},
                              {PDF_TestStopReverse, PDF_TestStartReverse, PDF_TestStartForward, PDF_TestStopForward},
                              {true, true}, 4};

bool PassAllowed(const PASS &p, i32 cls) {
    return p.falling ? (cls != 1 && cls != 2) : (cls != 0 && cls != 3);
}

struct SCAN {
    AXIS axis;
    PDF_CANDIDATE *c;
    int maxCandidates;
    int reverse;
    PDF_SCAN_STATE state;
    i32 *pos;
    u8 *mag;
    i32 capacity;
    EXTRACTOR falling;
    EXTRACTOR rising;
};

// The first test that accepts edges i..i+4 under the side and room rules; 0 for none.
i32 KindAt(const SCAN &s, const PASS &p, i32 i, PDF_GuardTestFn *test) {
    const i32 *e = s.pos + i;
    const bool leftRoom = 2 * (static_cast<i64>(e[4]) - e[0]) < 16 * static_cast<i64>(AlongExtent(s.axis)) - e[4];
    const bool rightRoom = e[0] > 2 * (static_cast<i64>(e[4]) - e[0]);
    for (int pair = 0; pair < 2; ++pair) {
        if (pair == 0 && s.state.polarityClass == p.normalClassForbidden) continue;
        if (pair == 1 && (s.reverse <= 0 || s.state.polarityClass == p.invertedClassForbidden)) continue;
        const bool rightRoomNeeded = s.axis.vertical != 0 || p.rightRoom[pair];
        if (s.state.leftCovered == 0 && leftRoom && p.tests[2 * pair](e) != 0) {
            *test = p.tests[2 * pair];
            return p.kinds[2 * pair];
        }
        if (s.state.rightCovered == 0 && (!rightRoomNeeded || rightRoom) && p.tests[2 * pair + 1](e) != 0) {
            *test = p.tests[2 * pair + 1];
            return p.kinds[2 * pair + 1];
        }
    }
    return 0;
}

void TryCandidate(SCAN &s, const PASS &p, const LINE_SEGMENT &seg, i32 i, i32 kind, PDF_GuardTestFn test) {
    PDF_CANDIDATE &c = s.c[s.state.count];
    const i32 contrast = ContrastOf(kind, s.mag, i);
    const PDF_GUARD_END end = s.axis.vertical != 0
                                  ? PDF_GUARD_END{seg.line, seg.start + (s.pos[i] >> 4), (s.pos[i + 4] - s.pos[i]) >> 4, contrast}
                                  : PDF_GUARD_END{seg.start + (s.pos[i] >> 4), seg.line, (s.pos[i + 4] - s.pos[i]) >> 4, contrast};
    c.end1 = end;
    c.end2 = end;
    c.orientation = s.axis.vertical;
    c.pending = 1;
    c.kind = kind;
    if (Track(s.axis, test, p.falling ? s.falling : s.rising, &c) <= 0) return;
    s.state.polarityClass = ClassOfKind(kind);
    ++s.state.count;
    s.state.count = Merge(s.axis, s.c, s.state.count);
}

// One pass over one line; false when scanning must stop.
bool ScanPass(SCAN &s, const PASS &p, const LINE_SEGMENT &seg) {
    MarkCovered(s.axis, p.falling, s.c, &s.state, seg.line);
    if (s.state.leftCovered != 0 && s.state.rightCovered != 0) return true;
    // The class decides before the edges: a forbidden pass would find nothing to keep.
    if (!PassAllowed(p, s.state.polarityClass) && s.state.count < s.maxCandidates) return true;
    const i32 n = Extract(s.axis, p.falling ? s.falling : s.rising, seg, kScanMinStep, s.pos, s.mag, s.capacity);
    if (n <= 4) return true;
    if (s.state.count >= s.maxCandidates) return p.falling;
    for (i32 i = 0; i + 4 < n && s.state.count < s.maxCandidates && PassAllowed(p, s.state.polarityClass); ++i) {
        if (s.mag[i + p.magnitudeOffset] < kMinEdgeMagnitude) continue;
        PDF_GuardTestFn test = nullptr;
        const i32 kind = KindAt(s, p, i, &test);
        if (kind != 0) TryCandidate(s, p, seg, i, kind, test);
    }
    return true;
}

int Scan(AXIS axis, PDF_CANDIDATE *c, int maxCandidates, int reverse, const i32 *box, int lineLimit) {
    if (c == nullptr || box == nullptr || g_image.data == nullptr || maxCandidates < 1 || maxCandidates > 4) return 0;
    // Rows: the scan line is across (y), the segment along x; columns the other way.
    const i32 a0 = axis.vertical != 0 ? box[1] : box[0];
    const i32 a1 = axis.vertical != 0 ? box[2] : box[3];
    const i32 b0 = axis.vertical != 0 ? box[0] : box[1];
    const i32 b1 = axis.vertical != 0 ? box[3] : box[2];
    const i64 centre = (static_cast<i64>(a0) + a1) >> 1;
    const i64 half = centre - std::min(a0, a1);
    if (centre < 0 || half < 0 || lineLimit <= 0 || centre >= AcrossExtent(axis)) return 0;
    const i64 start = std::min(b0, b1);
    const i64 length = std::abs(static_cast<i64>(b1) - b0);
    const i32 capacity = axis.vertical != 0 ? kColumnScanEdges : kScanEdges;
    i32 *pos = Mem_AllocArray<i32>(kScanEdges);
    u8 *mag = Mem_Alloc(kScanEdges);
    void *blocks[2] = {pos, mag};
    SCAN s{axis, c, maxCandidates, reverse, {0, 0, 0, -1}, pos, mag, capacity,
           {PDF_FallingEdgesOnLine, PDF_FallingEdgesDownColumn}, {PDF_RisingEdgesOnLine, PDF_RisingEdgesDownColumn}};
    i32 scanned = 0;
    for (i64 k = 0; Mem_AllNonNull(blocks, 2) != 0; ++k) {
        const i64 offset = kLineSpacing * ((k + 1) / 2) * (k % 2 == 1 ? 1 : -1);
        const i64 line = centre + offset;
        if ((offset < 0 ? -offset : offset) > half || line < 0 || line >= AcrossExtent(axis)) break;
        if (scanned >= lineLimit || s.state.count >= maxCandidates) break;
        ++scanned;
        const LINE_SEGMENT seg = ClipSegment(axis, static_cast<i32>(line), start, length);
        ScanPass(s, kFallingPass, seg);
        if (!ScanPass(s, kRisingPass, seg)) break;
    }
    Mem_FreeList(blocks, 2);
    return s.state.count;
}

}  // namespace

int PDF_ScanRowsForGuards(PDF_CANDIDATE *candidates, int maxCandidates, int reverse, const i32 box[4], int lineLimit) {
    return Scan({0}, candidates, maxCandidates, reverse, box, lineLimit);
}

int PDF_ScanColumnsForGuards(PDF_CANDIDATE *candidates, int maxCandidates, int reverse, const i32 box[4],
                             int lineLimit) {
    return Scan({1}, candidates, std::min(maxCandidates, 4), reverse, box, lineLimit);
}

int PDF_TrackGuardRows(PDF_GuardTestFn test, PDF_LineEdgesFn extract, PDF_CANDIDATE *candidate) {
    if (extract == nullptr) return 0;
    return Track({0}, test, {extract, nullptr}, candidate);
}

int PDF_TrackGuardColumns(PDF_GuardTestFn test, PDF_ColumnEdgesFn extract, PDF_CANDIDATE *candidate) {
    if (extract == nullptr) return 0;
    return Track({1}, test, {nullptr, extract}, candidate);
}

void PDF_RowCoveredFalling(const PDF_CANDIDATE *c, PDF_SCAN_STATE *state, i32 line) { MarkCovered({0}, true, c, state, line); }
void PDF_RowCoveredRising(const PDF_CANDIDATE *c, PDF_SCAN_STATE *state, i32 line) { MarkCovered({0}, false, c, state, line); }
void PDF_ColumnCoveredFalling(const PDF_CANDIDATE *c, PDF_SCAN_STATE *state, i32 line) {
    MarkCovered({1}, true, c, state, line);
}
void PDF_ColumnCoveredRising(const PDF_CANDIDATE *c, PDF_SCAN_STATE *state, i32 line) {
    MarkCovered({1}, false, c, state, line);
}

int PDF_MergeRowCandidate(PDF_CANDIDATE *candidates, int count) { return Merge({0}, candidates, count); }
int PDF_MergeColumnCandidate(PDF_CANDIDATE *candidates, int count) { return Merge({1}, candidates, count); }

}  // namespace vexo
