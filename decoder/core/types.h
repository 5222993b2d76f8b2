// Basic types shared by every part of the decoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo {

using u8 = std::uint8_t;
using i8 = std::int8_t;
using u16 = std::uint16_t;
using i16 = std::int16_t;
using u32 = std::uint32_t;
using i32 = std::int32_t;
using u64 = std::uint64_t;
using i64 = std::int64_t;

struct POINT_I32 {
    i32 x;
    i32 y;
};

// A candidate region or a symbol's outline: top-left, top-right, bottom-left, bottom-right.
struct REGION_QUAD {
    POINT_I32 c[4];
};
static_assert(sizeof(REGION_QUAD) == 32);

// One L of the Data Matrix finder, in 1/16 pixel: the far ends of its two arms, the fourth
// corner (end1 + end2 - corner), the L corner, and 1 for dark modules on a light ground.
struct DM_L_CANDIDATE {
    i32 end1X;
    i32 end1Y;
    i32 fourthX;
    i32 fourthY;
    i32 end2X;
    i32 end2Y;
    i32 cornerX;
    i32 cornerY;
    i32 darkOnLight;
};

enum QuadCorner : int { kTopLeft = 0, kTopRight = 1, kBottomLeft = 2, kBottomRight = 3 };

// The list of at most two boxes built from candidate quadrilaterals, read by the
// linear-code readers and the PDF417 decoder (the one list lives with region locating).
struct BOX_LIST {
    struct {
        i32 left, top, right, bottom;
    } box[2];
    i32 count;
    i32 capacity;
};

// The candidate box of region selection, shared with the core's box expansion: inclusive
// rows and columns of the frame (block coordinates inside the block finder).
struct ROI_BOX {
    i16 top;
    i16 bottom;
    i16 left;
    i16 right;
};
static_assert(sizeof(ROI_BOX) == 8);

}  // namespace vexo
