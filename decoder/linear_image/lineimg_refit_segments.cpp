// The refit family: segments traced afresh from two lines sampled across one half of a split
// quadrilateral, forwards or backwards, at fixed thresholds.
#include "linear_image/lineimg_edge_trace.h"
#include "linear_image/lineimg_segment_build.h"
#include "linear_image/lineimg_segments.h"

namespace vexo {

namespace {

constexpr i32 kRefitRatio = 102;
constexpr i32 kRefitMargin = 15;

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

int LineImg_RefitTraceRows(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kTraceRules[kTraceRefitRows]); }
int LineImg_RefitTraceRowsBack(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kTraceRules[kTraceRefitRowsBack]); }
int LineImg_RefitTraceColumns(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kTraceRules[kTraceRefitColumns]); }
int LineImg_RefitTraceColumnsBack(EDGE_TRACE *t) {
    return LineImg_RunTrace(t, &kTraceRules[kTraceRefitColumnsBack]);
}

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
