// Placeholder for the linear-code reader until it lands: nothing is ever accepted. The
// linear reader replaces this file.
#include "linear_image/lineimg_services.h"

namespace vexo {

int LineImg_Decode() { return 0; }
const u8 *LineImg_GetResultText() { return nullptr; }
int LineImg_GetResultLength() { return 0; }
void LineImg_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'X';
    out[2] = '0';
}
u32 LineImg_GetSymbologyBit(i32 *) { return 0; }
void LineImg_SetScanMode(u32) {}
void LineImg_ResetSymbologies() {}

}  // namespace vexo
