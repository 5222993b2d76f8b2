// The list of at most two boxes built from candidate quadrilaterals, read by the
// linear-code readers and the PDF417 decoder.
#pragma once

#include "core/types.h"

namespace vexo {

struct BOX_LIST {
    struct {
        i32 left, top, right, bottom;
    } box[2];
    i32 count;
    i32 capacity;
};

extern BOX_LIST g_boxList;

}  // namespace vexo
