// Placeholder for the multi-line accumulation and the profile path until they land: their
// buffers are never available, so a region is read by its scan lines alone. Their own
// files replace this one.
#include "linear_image/lineimg_module.h"

namespace vexo {

int LineImg_AllocAccumulateBuffers() { return 0; }
int LineImg_ScanRegionAccumulate(LINEIMG_RUN *, const REGION_QUAD *, u8) { return 0; }
void LineImg_FreeAccumulateBuffers() {}
int LineImg_AllocProfileBuffers() { return 0; }
int LineImg_ScanRegionProfile(LINEIMG_RUN *, const REGION_QUAD *, u8) { return 0; }
void LineImg_FreeProfileBuffers() {}

}  // namespace vexo
