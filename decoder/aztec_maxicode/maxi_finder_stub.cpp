// Placeholder for the MaxiCode bulls-eye finder until the MaxiCode decoder lands: it takes
// part in the row pass when MaxiCode is enabled, looks at no line and never succeeds.
// The MaxiCode decoder replaces this file.
#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

void Maxi_FinderReset(REGION_QUAD *, REGION_QUAD *) {}

int Maxi_FinderRowWanted() { return Par_Enabled(kSymMaxiCode) ? 1 : 0; }

void Maxi_FinderRowLine(FINDER_LINE *) {}

}  // namespace vexo
