// Placeholder until the module's work-memory table lands: the finder's block sits behind
// the largest projection maps that the core's linear stage keeps at the start of the work
// memory (the central third of a 1280 x 960 frame).
#include <cstdint>

#include "core/pixel.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "locate/projection_layout.h"

namespace vexo {

u8 *LineImg_FinderScratch(i32 offset, i32 bytes) {
    if (offset < 0 || bytes < 0 || offset > kFinderScratchBytes - bytes) return nullptr;
    const i64 start = Loc_ProjectionBytes(960 / 3, 1280 / 3);
    // 15 bytes of slack let the block start on a 16-byte boundary in any caller buffer.
    u8 *memory = Pix_WorkMemory(start + 15 + kFinderScratchBytes);
    if (memory == nullptr) return nullptr;
    const uintptr_t raw = reinterpret_cast<uintptr_t>(memory + start);
    u8 *base = memory + start + ((16 - (raw & 15)) & 15);
    return base + offset;
}

}  // namespace vexo
