// Placeholder for the MaxiCode decoder until it lands: nothing is ever decoded. The
// MaxiCode decoder replaces this file.
#include "aztec_maxicode/maxi_services.h"

namespace vexo {

int Maxi_DecodeWholeImage() { return 0; }
const u8 *Maxi_GetResultText() { return nullptr; }
int Maxi_GetResultLength() { return 0; }
void Maxi_GetCorners(REGION_QUAD *) {}
void Maxi_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'U';
    out[2] = '0';
}

}  // namespace vexo
