// The region finder's scratch: one block of the image's work memory that the passes, the
// segment tracers and the grouping share one after the other.
#pragma once

#include "core/types.h"

namespace vexo {

// Bytes of the block; every user's offset plus its size stays below this.
inline constexpr i32 kFinderScratchBytes = 13312;
// Where the tracers keep their edge window and point list: the row pass, the column pass
// (behind the column pass's five 256-entry arrays) and the refit of split quadrilaterals.
inline constexpr i32 kTraceScratchRows = 0;
inline constexpr i32 kTraceScratchColumns = 5120;
inline constexpr i32 kTraceScratchRefit = 9536;

// bytes of the block from offset on, 16-byte aligned when offset is a multiple of 16; null
// when the range leaves the block or the work memory cannot hold it.
u8 *LineImg_FinderScratch(i32 offset, i32 bytes);

}  // namespace vexo
