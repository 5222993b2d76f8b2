// The refit family: segments traced afresh from two lines sampled across one half of a split
// quadrilateral, forwards or backwards, at fixed thresholds.
#include "linear_image/lineimg_edge_trace.h"
#include "linear_image/lineimg_segment_build.h"
#include "linear_image/lineimg_segments.h"

namespace vexo {

namespace {

constexpr i32 kRefitRatio = 102;
constexpr i32 kRefitMinStep = 6;
constexpr i32 kRefitMargin = 15;
// Far bounds of the edge positions that the refit tracers take; the column tracers' windows
// end at 64.
constexpr i32 kRowPositionLimit = 196608;
constexpr i32 kColumnPositionLimit = 64;

constexpr TRACE_RULES kRefitRows = {
    .columns = 0,
    .backward = 0,
    .stepFlag1 = -2,
    .roundHalf = 0,
    .meanTest = 0,
    .repeatAfterCut = 1,
    .widen = 1,
    .candidateLo = INT32_MIN,
    .candidateHi = INT32_MAX,
    .cutLo = 18,
    .cutHi = kRowPositionLimit,
    .sumTolerance = 160,
    .farMargin = 16,
    .minStep = kRefitMinStep,
};
constexpr TRACE_RULES kRefitRowsBack = {
    .columns = 0,
    .backward = 1,
    .stepFlag1 = -2,
    .roundHalf = 0,
    .meanTest = 0,
    .repeatAfterCut = 1,
    .widen = 1,
    .candidateLo = 18,
    .candidateHi = kRowPositionLimit,
    .cutLo = 18,
    .cutHi = kRowPositionLimit,
    .sumTolerance = 0,
    .farMargin = 8,
    .minStep = kRefitMinStep,
};
constexpr TRACE_RULES kRefitColumns = {
    .columns = 1,
    .backward = 0,
    .stepFlag1 = -2,
    .roundHalf = 0,
    .meanTest = 0,
    .repeatAfterCut = 0,
    .widen = 1,
    .candidateLo = INT32_MIN,
    .candidateHi = INT32_MAX,
    .cutLo = 18,
    .cutHi = kColumnPositionLimit,
    .sumTolerance = 80,
    .farMargin = 16,
    .minStep = kRefitMinStep,
};
constexpr TRACE_RULES kRefitColumnsBack = {
    .columns = 1,
    .backward = 1,
    .stepFlag1 = 2,
    .roundHalf = 0,
    .meanTest = 0,
    .repeatAfterCut = 0,
    .widen = 0,
    .candidateLo = 18,
    .candidateHi = kColumnPositionLimit,
    .cutLo = 18,
    .cutHi = kColumnPositionLimit,
    .sumTolerance = 0,
    .farMargin = 16,
    .minStep = kRefitMinStep,
};

int Refit(const EDGE_PAIRING *pairing, const SAMPLED_LINE_PAIR *lines, SEGMENT_STORE *store, i32 *meanOut,
          i32 scratch, u8 columns, SegmentTraceFn trace) {
    const SEGMENT_BUILD b = {.columns = columns,
                             .refit = 1,
                             .margin = kRefitMargin,
                             .ratio = kRefitRatio,
                             .lineStart = 0,
                             .scratch = scratch,
                             .lines = lines,
                             .trace = trace};
    return LineImg_BuildSegments(pairing, store, meanOut, &b);
}

}  // namespace

int LineImg_RefitTraceRows(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kRefitRows); }
int LineImg_RefitTraceRowsBack(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kRefitRowsBack); }
int LineImg_RefitTraceColumns(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kRefitColumns); }
int LineImg_RefitTraceColumnsBack(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kRefitColumnsBack); }

int LineImg_RefitRowSegments(const EDGE_PAIRING *pairing, const SAMPLED_LINE_PAIR *lines, SEGMENT_STORE *store,
                             i32 *meanOut, i32 direction, i32 scratch) {
    return Refit(pairing, lines, store, meanOut, scratch, 0,
                 direction != 0 ? LineImg_RefitTraceRowsBack : LineImg_RefitTraceRows);
}

int LineImg_RefitColumnSegments(const EDGE_PAIRING *pairing, const SAMPLED_LINE_PAIR *lines, SEGMENT_STORE *store,
                                i32 *meanOut, i32 direction, i32 scratch) {
    return Refit(pairing, lines, store, meanOut, scratch, 1,
                 direction != 0 ? LineImg_RefitTraceColumnsBack : LineImg_RefitTraceColumns);
}

}  // namespace vexo
