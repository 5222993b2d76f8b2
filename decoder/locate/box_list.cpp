#include "locate/box_list.h"

namespace vexo {

BOX_LIST g_boxList;

}  // namespace vexo
