// Placeholder for the CS Code finder until the CS Code decoder lands: it takes part in
// both passes when CS Code is enabled and looks at no line. The CS Code decoder replaces
// this file.
#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

void CSCN_FinderReset(REGION_QUAD *, REGION_QUAD *) {}

int CSCN_FinderRowWanted() { return Par_Enabled(kSymCsCode) ? 1 : 0; }

int CSCN_FinderColumnWanted() { return Par_Enabled(kSymCsCode) ? 1 : 0; }

void CSCN_FinderLine(FINDER_LINE *) {}

}  // namespace vexo
