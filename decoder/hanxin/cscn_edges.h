// Edge scanners of the Han Xin finder side: rising or falling edges of a run of grey samples,
// each placed by the area of its transition, in 1/16 sample.
#pragma once

#include "core/types.h"
#include "toolkit/profile.h"

namespace vexo {

// One scan: the scanners write only the position of each edge record.
struct CSCN_EDGE_SCAN {
    EDGE_ITEM *edges;
    const u8 *samples;
    u16 sampleCount;
    u16 ratio;     // an edge's step x 1024 reaches ratio x its brighter end
    u16 minStep;   // smaller steps are no edge and are stepped over
    u16 capacity;  // edges wanted at most
    u16 found;     // written
};

// Edges found (also in `found`); 0 for fewer than two samples or a null array.
i32 CSCN_ScanRisingEdges(CSCN_EDGE_SCAN *scan);
i32 CSCN_ScanFallingEdges(CSCN_EDGE_SCAN *scan);
// The falling scanner when `falling` is not 0, else the rising one.
i32 CSCN_ProfileEdges(CSCN_EDGE_SCAN *scan, u16 falling);

}  // namespace vexo
