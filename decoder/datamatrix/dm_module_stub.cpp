// Placeholder for the Data Matrix decoder until it lands: no L candidate is ever found.
// The Data Matrix decoder replaces this file.
#include "datamatrix/dm_services.h"

namespace vexo {

int DM_DecodeImage() { return kDmNoCandidate; }
const u8 *DM_GetResultText() { return nullptr; }
int DM_GetResultLength() { return 0; }
void DM_GetCorners(REGION_QUAD *) {}
void DM_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'd';
    out[2] = '0';
}
int DM_HasSa() { return 0; }
int DM_GetSaPosition() { return 0; }
int DM_GetSaTotal() { return 0; }
int DM_GetSaFileId(int) { return 0; }

}  // namespace vexo
