// Placeholder for the profile path until it lands: its buffers are never available, so a
// region is read by its scan lines and the accumulation alone.
#include "linear_image/lineimg_module.h"

namespace vexo {

int LineImg_AllocProfileBuffers() { return 0; }
int LineImg_ScanRegionProfile(LINEIMG_RUN *, const REGION_QUAD *, u8) { return 0; }
void LineImg_FreeProfileBuffers() {}

}  // namespace vexo
