// Placeholder for the Aztec decoder until it lands: nothing is ever decoded. The Aztec
// decoder replaces this file.
#include "aztec_maxicode/azt_services.h"

namespace vexo {

int AztbProcMain() { return 0; }
const u8 *Azt_GetResultText() { return nullptr; }
int Azt_GetResultLength() { return 0; }
void Azt_GetCorners(REGION_QUAD *) {}
void Azt_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'z';
    out[2] = '0';
}

}  // namespace vexo
