// Placeholder for the Data Matrix L-finder until the Data Matrix decoder lands: it takes
// part in both passes when Data Matrix is enabled and looks at no line. The Data Matrix
// decoder replaces this file.
#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

void DM_FinderReset(REGION_QUAD *, REGION_QUAD *) {}

int DM_FinderRowWanted() { return Par_Enabled(kSymDataMatrix) ? 1 : 0; }

int DM_FinderColumnWanted() { return Par_Enabled(kSymDataMatrix) ? 1 : 0; }

void DM_FinderRowLine(FINDER_LINE *) {}

void DM_FinderColumnLine(FINDER_LINE *) {}

void DM_FinderRowFinish() {}

void DM_FinderColumnFinish() {}

}  // namespace vexo
