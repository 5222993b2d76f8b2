// Placeholder for the Han Xin Code decoder until it lands: nothing is ever decoded. The
// Han Xin decoder replaces this file.
#include "hanxin/cscn_services.h"

namespace vexo {

int CSCNProcMain() { return 0; }
const u8 *CSCN_GetResultText() { return nullptr; }
int CSCN_GetResultLength() { return 0; }
void CSCN_GetCorners(REGION_QUAD *) {}
void CSCN_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'X';
    out[2] = '0';
}
int CSCN_HasSa() { return 0; }
int CSCN_GetSaIndex() { return 0; }
int CSCN_GetSaCount() { return 0; }
int CSCN_GetSaParity() { return 0; }

}  // namespace vexo
