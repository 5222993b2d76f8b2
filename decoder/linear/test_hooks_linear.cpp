#include "linear/test_hooks_linear.h"

#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_table.h"
#include "linear/line_toolkit.h"

namespace vexo {

void Test_ResetLinearStatics() {
    g_lineTable = kLineTableAtLoad;
    Line_ResetAllRecords();
    g_lineDriver = LINE_DRIVER_STATE{};
    lineCleanRead = 0;
    lineMultiReadFlags = 0;
    g_lineEdgeInput = LINEIMG_EDGE_INPUT{};
    g_lineEdgeInput.widths = g_lineEdgeWidthRoom;
    g_lineEdgeInput.edges = g_lineEdgePositionRoom;
}

void Test_InstallLineRecord(int index, const LINE_SYMBOLOGY *record) {
    if (index < 0 || index >= kLineRecordCount) return;
    g_lineTable.records[index] = record != nullptr ? *record : LINE_SYMBOLOGY{};
}

void Test_ClearLineTable() {
    for (LINE_SYMBOLOGY &rec : g_lineTable.records) rec = LINE_SYMBOLOGY{};
}

}  // namespace vexo
