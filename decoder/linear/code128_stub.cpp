// Placeholder until the Code 128 reader lands: there is no Code 128 state yet.
#include "linear/code128.h"

namespace vexo {

void Code128_Reset() {}

}  // namespace vexo
