// Recognition of one bar-space pattern: a PDF417 codeword of cluster 0, 3 or 6 from nine
// edge positions, or a MicroPDF417 row address pattern from seven, through sorted keys of
// edge-to-edge distances in modules.
#pragma once

#include "core/types.h"

namespace vexo {

// No codeword recognised, everywhere in the PDF417 family.
inline constexpr i32 kPdfNoCodeword = 999;

struct PDF_KEY_ENTRY {
    u32 key;
    u32 value;
};

// The table of a key's top nibble (0, 3, 6 clusters; 1 row address patterns) and its
// entry count; nullptr for the other nibbles.
const PDF_KEY_ENTRY *PDF_KeyTable(u32 nibble, i32 *count);

// The value of a key: codeword (cluster in the top nibble), 0x10000000 + n for left/right
// row address pattern n + 1, 0x20000000 + n for centre pattern n + 1; 999 when absent.
// The low nibble is ignored except at the first entry of a table and at its last one.
i32 PDF_LookupCodeword(u32 key);

// Nine edge positions of a codeword in any common unit. 1 with *value the codeword; 0 with
// *value untouched when the pattern is of cluster 1, 2, 4, 5, 7 or 8, else 0 with 999.
int PDF_ReadCodewordSignature(const i32 edges[9], i32 *value);
// Seven edge positions of a row address pattern; 0 with *value 999 when not recognised.
int PDF_ReadRapSignature(const i32 edges[7], i32 *value);

// The pattern expected between whole-pixel points p and q of the installed image, both
// inside it with a pixel to spare at the far sides. 1 with the value read.
int PDF_ReadCodewordOnSegment(POINT_I32 p, POINT_I32 q, i32 *value);
int PDF_ReadRapOnSegment(POINT_I32 p, POINT_I32 q, i32 *value);

}  // namespace vexo
