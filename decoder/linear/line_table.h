// The table of linear symbology records. Its order is state: the walk moves the record that
// read a line to the front, and nothing restores the order at load (not Line_Reset, not a
// new image).
#pragma once

#include "linear/line_types.h"

namespace vexo {

struct LINE_TABLE {
    LINE_SYMBOLOGY records[kLineRecordCount];
};

// Positions in the order at load. A record whose family is not built yet keeps every slot
// empty and the walk skips it.
enum LineRecordIndex : int {
    kLineRecFixed8 = 0,       // fixed 8-digit code, id 31
    kLineRecVar25a = 1,       // 2 of 5 variant A, id 27
    kLineRecCode93 = 2,       // id 22
    kLineRecCode39 = 3,       // Code 39 and Code 32, id 20
    kLineRecCodabar = 4,      // id 21
    kLineRecItf = 5,          // ITF and its fixed-length forms, ids 11-15
    kLineRecMatrix25 = 6,     // id 17
    kLineRecIndustrial25 = 7, // id 18
    kLineRecVar25b = 8,       // 2 of 5 variant B, id 16
    kLineRecIata25 = 9,       // id 19
    kLineRecCode128 = 10,     // Code 128 family, ids 0-4
    kLineRecEan13 = 11,       // EAN-13, UPC-A, ISSN, ISBN, ids 6, 10, 7, 8
    kLineRecEan8 = 12,        // id 5
    kLineRecUpcE = 13,        // id 9
    kLineRecPlessey = 14,     // id 24
    kLineRecMsi = 15,         // id 25
    kLineRecCode11 = 16,      // id 23
    kLineRecDataBarLimited = 17,   // id 26
    kLineRecDataBarOmni = 18,      // id 26
    kLineRecDataBarStacked = 19,   // id 26
    kLineRecDataBarExpanded = 20,  // id 26
    kLineRecEnd = 21,         // all slots empty
};

extern const LINE_TABLE kLineTableAtLoad;
extern LINE_TABLE g_lineTable;

}  // namespace vexo
