// The shared start/stop searches of the locate slots. Each looks for a run of characters of
// similar width along the line's edge positions, asks the family's matchers whether its
// start and stop patterns stand at the two ends (in one reading direction or the other) and
// tests the quiet zones. The search keeps its place (phase, searchPos) in the locate state,
// so the next call resumes behind a candidate that failed to decode. No search reads an
// edge outside 0 .. edgeCount - 1; the matchers get pointers into the edge array.
//
// A width w2 is similar to the previous one w1 when 4 w1 <= 5 w2 <= 6 w1 (0.8 to 1.2); the
// pair search's runs use 3 w1 <= 5 w2 <= 7 w1 (0.6 to 1.4). Products are 32-bit.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

// Matchers answer non-zero when their pattern is there. The start matchers of the
// alternative and the pair search may leave a value for the decode slot in *locateValue.
using LineEdgeMatcher = int (*)(const u16 *edge);
using LineStartMatcher = int (*)(const u16 *edge, u16 *locateValue);
using LinePairStartMatcher = int (*)(const u16 *edge, u16 *locateValue, int direction);
using LinePairStopMatcher = int (*)(const u16 *edge, int direction);

// Bytes of the block of Line_FindStartStop.
enum LineSearchBlock : int {
    kBlockAhead = 0,     // edges a search position needs ahead of it, else the next phase
    kBlockMinEdges = 1,  // shorter lines are not searched
    kBlockStride = 2,    // elements per character; also the number of phases
    kBlockMinRun = 3,    // smallest run, in elements
    kBlockRefElements = 4,  // run elements whose total width is the quiet-zone reference
    kBlockSymbologyId = 5,  // 18 and 19 add the test of equal spaces
    kBlockStopElements = 6,
    kBlockStartElements = 7,
};

// Start and stop patterns lie outside the run. Even phases read forward: the stop pattern
// follows the run (stop(&E[d + stop - 1]), endIndex = d + stop) and the start pattern
// precedes it (start(&E[c - start]), startIndex = c - start). Odd phases read the symbol
// reversed: reversedStart after the run, reversedStop before it. 1 with startIndex,
// endIndex and searchPos set; 0 when the record has no further candidate on the line.
int Line_FindStartStop(LINE_LOCATE_STATE *st, const u8 block[8], LineEdgeMatcher start,
                       LineEdgeMatcher reversedStart, LineEdgeMatcher reversedStop, LineEdgeMatcher stop);

// Block of five bytes: ahead, minEdges, stride, minRun, refElements (as above). The start
// and stop characters belong to the run; only even phases occur and each tries the
// reversed reading first (reversedStart(&E[o]) and reversedStop(&E[c])), then the forward
// one (stop(&E[o]) and start(&E[c])), c being the run's first edge and o the leading edge
// of its last bar.
int Line_FindStartStopAlt(LINE_LOCATE_STATE *st, const u8 block[5], LineStartMatcher start,
                          LineStartMatcher reversedStart, LineEdgeMatcher reversedStop, LineEdgeMatcher stop);

// Characters of six elements, phases 0 to 5, runs of at least minimum - 2 edges. Odd phases
// read reversed (start(&E[k], .., -1), stop(&E[pos - 1], -1)), even phases forward
// (stop(&E[k + 1], 1), start(&E[pos], .., 1)).
int Line_FindStartStopByPairs(LINE_LOCATE_STATE *st, LinePairStartMatcher start, LinePairStopMatcher stop,
                              u8 minimum);

}  // namespace vexo
