// The finder's block in the image's work memory, placed in the module's area table.
#include <cstdint>

#include "core/pixel.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "linear_image/lineimg_layout.h"

namespace vexo {

u8 *LineImg_FinderScratch(i32 offset, i32 bytes) {
    if (offset < 0 || bytes < 0 || offset > kFinderScratchBytes - bytes) return nullptr;
    // 64 bytes of slack let the block start on a 64-byte boundary in a caller's buffer.
    u8 *memory = Pix_WorkMemory(static_cast<i64>(kAreaFinderEnd) + 64);
    if (memory == nullptr) return nullptr;
    const uintptr_t raw = reinterpret_cast<uintptr_t>(memory + kAreaFinder);
    return memory + kAreaFinder + ((64 - (raw & 63)) & 63) + offset;
}

}  // namespace vexo
