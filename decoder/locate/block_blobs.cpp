#include "locate/block_blobs.h"

namespace vexo {

BLOCK_GRID g_blockGrid{};
BLOCK_BOX_TABLE g_blockBoxes{};

}  // namespace vexo
