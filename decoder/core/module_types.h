// Result records through which the symbology modules report to the core.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr u32 kKindMatrix = 0xC2;   // 2D and stacked modules
inline constexpr u32 kKindLinear = 0xC1;   // the linear module
inline constexpr u32 kKindSpecial = 0xC3;

// What a module reports after a decode.
struct MODULE_RESULT {
    u32 kind;
    u32 symbologyBit;
    const u8 *data;
    u32 length;
    i32 status;
    u32 reserved;
    u32 extra;
};

// Symbology number and code character of the module that decoded.
struct MODULE_HEADER {
    u32 kind;
    u32 symbologyNumber;
    u32 codeChar;
};

inline constexpr int kStoredResultBytes = 7832;

// Up to two 2D results of one decode call, written by the 2D decoders.
struct RESULT_STORE {
    i32 storedLength[2];
    REGION_QUAD storedQuad[2];
    i32 storedCount;
    u8 storedData0[kStoredResultBytes];
    u8 storedData1[kStoredResultBytes];
};

}  // namespace vexo
