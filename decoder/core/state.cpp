#include "core/state.h"

namespace vexo {

DECODER_STATE g_state;
u8 g_internalImage[kInternalImageBytes];

}  // namespace vexo
