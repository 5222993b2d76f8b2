// Placeholder until the composite component reader lands: callback type 2 reads nothing.
// Delete this file when it is built.
#include "pdf417/pdf417_services.h"

namespace vexo {

int CC_ReadInQuad(CC_READ_REQUEST *) { return 0; }

}  // namespace vexo
