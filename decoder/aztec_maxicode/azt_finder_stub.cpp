// Placeholder for the Aztec bulls-eye finder until the Aztec decoder lands: it takes part
// in the row pass when Aztec is enabled, looks at no line and never succeeds. The Aztec
// decoder replaces this file.
#include "core/params.h"
#include "locate/finder_services.h"

namespace vexo {

void Azt_FinderReset(REGION_QUAD *, REGION_QUAD *) {}

int Azt_FinderRowWanted() { return Par_Enabled(kSymAztec) ? 1 : 0; }

void Azt_FinderRowLine(FINDER_LINE *) {}

}  // namespace vexo
