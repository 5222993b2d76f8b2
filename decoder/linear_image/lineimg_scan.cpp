// Region scan lines: pairs of parallel lines across a region's bars, read in whole pixels
// and then in 1/16 pixel, reads confirmed by repetition and stored in the run.
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_toolkit.h"
#include "linear_image/lineimg_edges.h"
#include "linear_image/lineimg_layout.h"
#include "linear_image/lineimg_module.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kPairGap = 2;         // pixels between the two lines of a pair
constexpr i32 kPairsPerSide = 20;
constexpr u16 kStrongStep = 10;
constexpr u16 kWeakStep = 4;
constexpr i32 kFineStep = 3;
constexpr i32 kPatience = 5;        // pairs without a read before a region is given up
constexpr u8 kFailLimit = 4;
constexpr u16 kStopUnreadable = 13;
constexpr u16 kLineRecordTag = 32;
constexpr i32 kFineListBytes = 6400;
constexpr i32 kFineRecordBytes = 3200;

// The segment tally of the call: DataBar segments seen on lines that did not decode.
LINE_AUX_ENTRY g_tallyEntries[kLineImgTallyCap];
LINE_AUX g_tally;

// Edge lists of the two lines of a pair and the line record.
struct LINE_SCRATCH {
    u8 *samples;
    i32 *riseA[2];  // positions, steps
    i32 *fallA[2];
    i32 *riseB[2];
    i32 *fallB[2];
    i32 *match;
    i32 cap;  // entries of each list
    LINEIMG_LINE_RECORD record;
};

bool IsFinished(u8 status) { return status == kRegionFinished || status == kRegionRefused || status == kRegionScanned; }

i32 Mean4(i32 a, i32 b, i32 c, i32 d) { return static_cast<i32>((static_cast<i64>(a) + b + c + d) / 4); }

// Edges of one sampled line into its lists.
void LineEdges(const u8 *samples, i32 n, i32 minStep, i32 *rise[2], i32 *fall[2], i32 cap, i32 *riseCount,
               i32 *fallCount) {
    *riseCount = LineImg_RisingEdges(samples, n, rise[0], rise[1], minStep, cap);
    *fallCount = LineImg_FallingEdges(samples, n, fall[0], fall[1], minStep, cap);
}

// Steps 2-4 of a line pair: 1 the edge input is written, -1 no usable edges, 0 the widths
// or the edge input could not be written.
int BuildEdgeInput(LINE_SCRATCH *s, i32 nrA, i32 nfA, i32 nrB, i32 nfB) {
    i32 matched = 0;
    if (LineImg_MatchLines(s->fallA[0], nfA, s->fallB[0], nfB, s->match, &matched) == 0 || matched < 4) return -1;
    if (nrA == 0 || nfA == 0 || nrB == 0 || nfB == 0) return -1;
    const i32 rises = LineImg_IntersectEdges(s->riseA[0], s->riseA[1], nrA, s->riseB[0], s->riseB[1], nrB);
    const i32 falls = LineImg_IntersectEdges(s->fallA[0], s->fallA[1], nfA, s->fallB[0], s->fallB[1], nfB);
    if (rises <= 7 || falls <= 7) return -1;
    const i32 n = LineImg_AlternateEdges(s->riseA[0], s->riseA[1], rises, s->fallA[0], s->fallA[1], falls);
    i32 first = 0, last = 0;
    if (LineImg_TrimWeakEnds(s->riseA[0], s->riseA[1], s->fallA[0], s->fallA[1], n, &first, &last) == 0) return -1;
    i32 m = LineImg_MergeWeakElements(s->riseA[0], s->riseA[1], s->fallA[0], s->fallA[1], first, last);
    m = LineImg_DropWeakRuns(s->riseA[0], s->riseA[1], s->fallA[0], s->fallA[1], m);
    if (m == 0) return -1;
    if (LineImg_WriteWidths(s->fallA[0], s->riseA[0], m, &s->record) == 0) return 0;
    if (LineImg_WriteEdgeInput(s->fallA[0], s->riseA[0], m) == 0) return 0;
    return 1;
}

// The 1D driver's latest read into the line record (bounded by its text room).
void CopyReadToRecord(LINEIMG_LINE_RECORD *rec) {
    const u8 *data = Line_GetResultData();
    u32 n = Line_GetResultLength();
    if (data == nullptr) n = 0;
    if (rec->text == nullptr || rec->capacity == 0) n = 0;
    else if (n >= rec->capacity) n = rec->capacity - 1u;
    if (n > 0) std::memcpy(rec->text, data, n);
    if (rec->text != nullptr && rec->capacity > 0) rec->text[n] = 0;
    rec->length = static_cast<u16>(n);
    rec->id = Line_GetResultSymbology();
    char aim[3] = {']', 'X', '0'};
    Line_WriteResultAimId(aim);
    rec->aimLetter = aim[1];
    rec->aimModifier = aim[2];
}

void AppendLineRecord(u16 value, u16 count) {
    LINEIMG_LINE_STATE &st = g_lineImgState;
    if (st.segments == nullptr || st.segmentCount < 0 || st.segmentCount >= kLineImgLineRecordCap) return;
    st.segments[st.segmentCount++] = LINEIMG_SEGMENT_LINE{value, count, st.region, kLineRecordTag};
}

void CastVote(const i16 *dirs, i32 n) {
    i32 f = 0, b = 0, z = 0;
    for (i32 k = 0; k < n; ++k) {
        if (dirs[k] == 1) ++f;
        else if (dirs[k] == -1) ++b;
        else if (dirs[k] == 0) ++z;
    }
    const u16 r = g_lineImgState.region;
    if (r >= kLineImgRegionCap) return;
    if (f > b) g_lineImgVotes[r] = static_cast<i8>(f >= z ? 1 : 0);
    else if (b > f) g_lineImgVotes[r] = static_cast<i8>(b >= z ? -1 : 0);
    else if (z > f) g_lineImgVotes[r] = 0;
}

// Merges every entry of a line's partial-segment record into the tally.
void MergeIntoTally(const LINE_AUX &part) {
    const u16 n = part.segmentCount < kLineImgTallyCap ? part.segmentCount : kLineImgTallyCap;
    for (u16 k = 0; k < n; ++k) {
        LINE_AUX one{};
        one.segments = &part.segments[k];
        one.segmentCapacity = 1;
        one.segmentCount = 1;
        Line_AccumulateSegment(&g_tally, &one);
    }
}

void LinePair(const REGION_QUAD *q, i32 k, LINEIMG_LINE_PAIR *pair) {
    Geo_StepTowards(&q->c[kTopLeft], &q->c[kBottomLeft], &pair->a0, k);
    Geo_StepTowards(&q->c[kTopRight], &q->c[kBottomRight], &pair->a1, k);
    Geo_StepTowards(&q->c[kTopLeft], &q->c[kBottomLeft], &pair->b0, k + kPairGap);
    Geo_StepTowards(&q->c[kTopRight], &q->c[kBottomRight], &pair->b1, k + kPairGap);
}

bool HitConfirmed(const LINEIMG_READ_SET *reads) {
    const i32 id = g_lineImgState.id;
    const bool oneRead = id == 26 || id == 36 || id == 37 || Line_IsMultiReadConfirmed() != 0;
    if (oneRead && reads->count > 0 && reads->length[reads->count - 1] > 0) return true;
    return LineImg_IsReadConfirmed(reads) == 1;
}

}  // namespace

// The last read of the set becomes result run.count.
int LineImg_AppendRunResult(LINEIMG_RUN *run, const LINEIMG_READ_SET *reads, const REGION_QUAD *quad,
                            GEO_POINT centre, u8 kind) {
    const i32 i = run->count;
    if (run == nullptr || reads == nullptr || quad == nullptr) return 0;
    if (i < 0 || i >= kLineImgResultCap || i >= run->limit || reads->count <= 0 || reads->count > kLineImgReadCap) return 0;
    const i32 last = reads->count - 1;
    i32 n = reads->length[last];
    if (n < 0) n = 0;
    if (n > kLineImgTextBytes - 1) n = kLineImgTextBytes - 1;
    if (run->text[i] != nullptr) {
        if (n > 0 && reads->buffer[last] != nullptr) std::memcpy(run->text[i], reads->buffer[last], static_cast<size_t>(n));
        run->text[i][n] = 0;
    }
    const LINEIMG_LINE_STATE &st = g_lineImgState;
    run->length[i] = n;
    run->id[i] = st.id;
    run->linkFlag[i] = st.linkFlag;
    run->quad[i] = *quad;
    run->centre[i] = centre;
    run->auxDirection[i] = Line_GetResultAuxDirection();
    run->aim[i][0] = static_cast<char>(st.aimLetter);
    run->aim[i][1] = static_cast<char>(st.aimModifier);
    run->orientation[i] = kind;
    run->count = i + 1;
    return 1;
}

void LineImg_RecordLineRead(LINEIMG_LINE_STATE *state, LINEIMG_LINE_RECORD *record) {
    if (state == nullptr || record == nullptr) return;
    state->region = static_cast<u16>(state->nextRegion > 0 ? state->nextRegion - 1 : 0);
    CopyReadToRecord(record);
    LineImg_StoreLineResult(record);
}

void LineImg_ResetLineState() {
    for (LINE_AUX_ENTRY &e : g_tallyEntries) e = LINE_AUX_ENTRY{};
    g_tally = LINE_AUX{};
    g_tally.segments = g_tallyEntries;
    g_tally.segmentCapacity = kLineImgTallyCap;
}

int LineImg_AppendRead(LINEIMG_READ_SET *reads) {
    if (reads == nullptr || reads->count < 0 || reads->count >= kLineImgReadCap) return 0;
    const i32 k = reads->count;
    const u8 *data = Line_GetResultData();
    i32 n = data != nullptr ? Line_GetResultLength() : 0;
    if (n > kLineImgTextBytes - 1) n = kLineImgTextBytes - 1;
    if (reads->buffer[k] == nullptr) return 0;
    if (n > 0) std::memcpy(reads->buffer[k], data, static_cast<size_t>(n));
    reads->buffer[k][n] = 0;
    reads->length[k] = n;
    reads->ids[k] = Line_GetResultSymbology();
    reads->count = k + 1;
    return 1;
}

int LineImg_IsReadConfirmed(const LINEIMG_READ_SET *reads) {
    if (reads == nullptr || reads->count < 2 || reads->count > kLineImgReadCap) return 0;
    const i32 last = reads->count - 1;
    const i32 n = reads->length[last];
    i32 same = 0;
    for (i32 k = 0; k < reads->count; ++k) {
        if (reads->length[k] != n) return 0;
        if (n > 0 && reads->buffer[k] != nullptr && reads->buffer[last] != nullptr &&
            std::memcmp(reads->buffer[k], reads->buffer[last], static_cast<size_t>(n)) == 0)
            ++same;
    }
    return same >= 2 ? 1 : 0;
}

void LineImg_StoreLineResult(const LINEIMG_LINE_RECORD *record) {
    if (record == nullptr) return;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    i32 lo = 0, hi = 0;
    Line_GetResultElementRange(&lo, &hi);
    if (hi > record->widthCount) hi = record->widthCount;
    if (lo < 0 || lo >= hi || record->widths == nullptr) {
        st.narrowWidth2 = -2;
    } else {
        i32 narrow = record->widths[lo];
        for (i32 k = lo + 1; k < hi; ++k)
            if (record->widths[k] < narrow) narrow = record->widths[k];
        st.narrowWidth2 = 2 * narrow;
    }
    st.id = record->id;
    st.linkFlag = Line_GetResultLinkFlag();
    st.aimLetter = static_cast<u8>(record->aimLetter);
    st.aimModifier = static_cast<u8>(record->aimModifier);
    AppendLineRecord(0, 0);
}

int LineImg_ReviewAttempts() {
    i16 dirs[kLineAttemptLimit] = {};
    CastVote(dirs, Line_CopyAttemptDirections(dirs));
    u8 codes[kLineAttemptLimit] = {};
    const i32 c = Line_CopyAttemptCodes(codes);
    if (c == 0) return 0;
    if (c == 3) return 3;
    LINE_AUX_ENTRY segments[kLineSegmentCapacity] = {};
    LINE_AUX part{};
    part.segments = segments;
    part.segmentCapacity = kLineSegmentCapacity;
    const int partial = Line_CopyPartialSegment(&part);
    LINEIMG_LINE_STATE &st = g_lineImgState;
    if (c == 1) {
        if (codes[0] == kAttemptDisabled || codes[0] == kAttemptLength) return 1;
        if (codes[0] != kAttemptCheck) return 0;
        if (st.code11Count < 0xFFFF) ++st.code11Count;
        return st.code11Count > 2 ? 2 : 0;
    }
    if (partial == 1) MergeIntoTally(part);
    if (g_tally.segmentCount == 0 || st.segmentCount >= kLineImgLineRecordCap) return 0;
    for (u16 k = 0; k < g_tally.segmentCount && k < kLineImgTallyCap; ++k) {
        const LINE_AUX_ENTRY &e = g_tallyEntries[k];
        if (e.count > 2) {
            AppendLineRecord(e.finder, e.count);
            return 3;
        }
    }
    return 0;
}

int LineDeodeSub(const LINEIMG_LINE_PAIR *pair, LINEIMG_LINE_STATE *state, LINEIMG_READ_SET *reads,
                 const REGION_QUAD *quad) {
    (void)quad;
    if (pair == nullptr || state == nullptr || reads == nullptr) return 0;
    u8 *work = Pix_WorkMemory(kAreaEnd);
    if (work == nullptr || g_image.data == nullptr) return 0;
    LINE_SCRATCH s{};
    s.samples = work + kAreaSamples;
    i32 *lists = reinterpret_cast<i32 *>(work + kAreaLists);
    i32 **slots[8] = {&s.riseA[0], &s.riseA[1], &s.fallA[0], &s.fallA[1],
                      &s.riseB[0], &s.riseB[1], &s.fallB[0], &s.fallB[1]};
    for (i32 k = 0; k < 8; ++k) *slots[k] = lists + k * kLineImgEdgeCap;
    s.match = reinterpret_cast<i32 *>(work + kAreaMatch);
    s.cap = kLineImgEdgeCap;
    s.record.edges = reinterpret_cast<u16 *>(work + kAreaRecordEdges);
    s.record.widths = reinterpret_cast<u16 *>(work + kAreaRecordWidths);
    s.record.room = kLineImgRecordRoom;
    s.record.text = work + kAreaRecordText;
    s.record.capacity = kLineImgTextBytes;

    i32 nrA = 0, nfA = 0, nrB = 0, nfB = 0;
    const i32 nA = Geo_SampleLine(g_image.data, &pair->a0, &pair->a1, s.samples, kLineImgSampleBytes);
    g_lineEdgeInput.sampleCount = static_cast<u16>(nA);
    LineEdges(s.samples, nA, state->minStep, s.riseA, s.fallA, s.cap, &nrA, &nfA);
    const i32 nB = Geo_SampleLine(g_image.data, &pair->b0, &pair->b1, s.samples, kLineImgSampleBytes);
    LineEdges(s.samples, nB, state->minStep, s.riseB, s.fallB, s.cap, &nrB, &nfB);
    if (BuildEdgeInput(&s, nrA, nfA, nrB, nfB) != 1) return -1;
    g_lineEdgeInput.sampleCount = static_cast<u16>(nA);
    state->lastLineSamples = static_cast<u16>(nA);
    if (Line_DecodeEdgeLine() != 1) return 0;
    if (LineImg_AppendRead(reads) == 0) return 0;
    LineImg_RecordLineRead(state, &s.record);
    return 1;
}

i32 LineImg_SampleLineFine(const GEO_POINT *p, const GEO_POINT *q, u8 *buffer) {
    if (p == nullptr || q == nullptr || buffer == nullptr) return 0;
    const f64 length = Geo_Distance(p->x, p->y, q->x, q->y);
    SEGMENT_STEP s{p->x, p->y, q->x, q->y, 0, 0, 0};
    for (i32 i = 0; i < kLineImgFineSamples; ++i) {
        s.k = static_cast<i32>(static_cast<f64>(i) * length / kLineImgFineSamples + 0.75);
        Geo_SegmentPointAt(&s);
        buffer[i] = g_frame.sampleBilinear != nullptr ? static_cast<u8>(g_frame.sampleBilinear(s.outX, s.outY, 128)) : 128;
    }
    return kLineImgFineSamples;
}

int LineImg_DecodeLineFine(const LINEIMG_LINE_PAIR *pair, LINEIMG_LINE_STATE *state, LINEIMG_READ_SET *reads,
                           const REGION_QUAD *quad) {
    (void)quad;
    if (pair == nullptr || state == nullptr || reads == nullptr) return 0;
    constexpr i32 kBlocks = 13;
    constexpr i32 sizes[kBlocks] = {kFineListBytes, kFineListBytes, kFineListBytes, kFineListBytes, kFineListBytes,
                                    kFineListBytes, kFineListBytes, kFineListBytes, kFineListBytes, 1280,
                                    kFineRecordBytes, kFineRecordBytes, kLineImgTextBytes};
    void *held[kBlocks] = {};
    u8 *blocks[kBlocks] = {};
    i32 taken = 0;
    for (; taken < kBlocks; ++taken) {
        blocks[taken] = Mem_Alloc(sizes[taken]);
        held[taken] = blocks[taken];
        if (blocks[taken] == nullptr) break;
    }
    int answer = 0;
    if (taken == kBlocks) {
        LINE_SCRATCH s{};
        i32 **slots[8] = {&s.riseA[0], &s.riseA[1], &s.fallA[0], &s.fallA[1],
                          &s.riseB[0], &s.riseB[1], &s.fallB[0], &s.fallB[1]};
        for (i32 k = 0; k < 8; ++k) *slots[k] = reinterpret_cast<i32 *>(blocks[k]);
        s.match = reinterpret_cast<i32 *>(blocks[8]);
        s.samples = blocks[9];
        s.cap = kLineImgEdgeCap;
        s.record.edges = reinterpret_cast<u16 *>(blocks[10]);
        s.record.widths = reinterpret_cast<u16 *>(blocks[11]);
        s.record.room = kFineRecordBytes / 2;
        s.record.text = blocks[12];
        s.record.capacity = kLineImgTextBytes;
        answer = -1;
        const GEO_POINT a0{pair->a0.x * 16, pair->a0.y * 16}, a1{pair->a1.x * 16, pair->a1.y * 16};
        const GEO_POINT b0{pair->b0.x * 16, pair->b0.y * 16}, b1{pair->b1.x * 16, pair->b1.y * 16};
        const i32 pixels = static_cast<i32>(Geo_Distance(pair->a0.x, pair->a0.y, pair->a1.x, pair->a1.y) + 0.5);
        i32 nrA = 0, nfA = 0, nrB = 0, nfB = 0;
        LineImg_SampleLineFine(&a0, &a1, s.samples);
        LineEdges(s.samples, kLineImgFineSamples, kFineStep, s.riseA, s.fallA, s.cap, &nrA, &nfA);
        LineImg_SampleLineFine(&b0, &b1, s.samples);
        LineEdges(s.samples, kLineImgFineSamples, kFineStep, s.riseB, s.fallB, s.cap, &nrB, &nfB);
        if (nrA > 1 && nrB > 1) answer = BuildEdgeInput(&s, nrA, nfA, nrB, nfB);
        if (answer == 1) {
            // The edges are in sixteenths of the 1040 samples handed over, not of a pixel.
            g_lineEdgeInput.sampleCount = kLineImgFineSamples;
            answer = 0;
            if (Line_DecodeEdgeLine() == 1 && LineImg_AppendRead(reads) == 1 && Line_GetResultSymbology() != 31) {
                LineImg_RecordLineRead(state, &s.record);
                if (state->narrowWidth2 != -2)
                    state->narrowWidth2 =
                        static_cast<i32>(static_cast<i64>(state->narrowWidth2) * pixels / kLineImgFineSamples);
                answer = 1;
            }
        }
    }
    Mem_FreeList(held, taken);
    return answer;
}

int LineImg_ScanRegion(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 *status, u8 kind, LINEIMG_READ_SET *reads) {
    if (run == nullptr || quad == nullptr || status == nullptr || reads == nullptr) return 0;
    if (run->count >= run->limit || IsFinished(*status)) return 0;
    const POINT_I32 *c = quad->c;
    const i64 dx = c[0].x > c[1].x ? static_cast<i64>(c[0].x) - c[1].x : static_cast<i64>(c[1].x) - c[0].x;
    const i64 dy = c[0].y > c[1].y ? static_cast<i64>(c[0].y) - c[1].y : static_cast<i64>(c[1].y) - c[0].y;
    if (10 * (dx > dy ? dx : dy) > 12 * static_cast<i64>(g_image.width)) return 0;
    LINEIMG_LINE_STATE &st = g_lineImgState;
    const i32 length = static_cast<i32>(Geo_Distance(c[kTopLeft].x, c[kTopLeft].y, c[kBottomLeft].x, c[kBottomLeft].y));
    i32 step = length / kPairsPerSide;
    if (step < 1) step = 1;
    st.code11Count = 0;
    st.minStep = kStrongStep;
    const u16 region = st.region;
    i32 hits = 0, lastHit = 0, pairNo = 0;
    GEO_POINT centre{};
    for (i32 k = step; step < length && k < length; k += step + kPairGap, ++pairNo) {
        LINEIMG_LINE_PAIR pair{};
        LinePair(quad, k, &pair);
        st.minStep = pairNo % 2 == 0 ? kStrongStep : kWeakStep;
        const int r = LineDeodeSub(&pair, &st, reads, quad);
        const int r2 = r != 1 ? LineImg_DecodeLineFine(&pair, &st, reads, quad) : 0;
        if (r == 1 || r2 == 1) {
            const GEO_POINT here{Mean4(pair.a0.x, pair.a1.x, pair.b0.x, pair.b1.x),
                                 Mean4(pair.a0.y, pair.a1.y, pair.b0.y, pair.b1.y)};
            centre = hits == 0 ? here : GEO_POINT{(centre.x + here.x) / 2, (centre.y + here.y) / 2};
            ++hits;
            if (HitConfirmed(reads)) {
                if (reads->count > kLineImgReadCap - 1) break;
                LineImg_ReviewAttempts();
                if (LineImg_AppendRunResult(run, reads, quad, centre, kind) == 0) break;
                *status = kRegionFinished;
                return 1;
            }
            lastHit = pairNo;
        } else if (!(r == -1 && r2 == -1)) {
            const int v = LineImg_ReviewAttempts();
            st.regionStop = static_cast<u16>(v);
            if (v != 0 && region < kLineImgRegionCap && ++g_lineImgRegions.failCount[region] > kFailLimit) break;
            if (pairNo - lastHit > kPatience && Line_IsMultiReadPending() == 0) {
                st.regionStop = kStopUnreadable;
                break;
            }
        }
        if (hits == 0 && pairNo + 1 >= kPatience && Line_IsMultiReadPending() == 0) break;
    }
    *status = kRegionScanned;
    return 0;
}

}  // namespace vexo
