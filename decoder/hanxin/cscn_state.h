// The Han Xin data layer's per-decoder state: the structured-append record of the last
// stream that carried a header, and the flag of an ECI seen in the current stream (text
// segments then unescape backslashes).
#pragma once

#include "hanxin/cscn_data.h"

namespace vexo {

extern CSCN_SA_RECORD g_saRecord;
extern i32 g_eciSeen;

}  // namespace vexo
