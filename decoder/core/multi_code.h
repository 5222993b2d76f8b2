// Multi-code bookkeeping: turning the multi-result list of one image into a result when a
// 2D symbology is configured to read several symbols as one (structured-append sets,
// Aztec grids), the boxes of the joined symbols, and the optional image smoothing.
#pragma once

#include "core/module_types.h"
#include "core/types.h"

namespace vexo {

// The list's text pool, and the text and identifiers taken from the list as the result.
extern u8 g_textPool[kTextPoolBytes];
extern u8 g_takenText[kTextPoolBytes];   // NUL-terminated
extern u8 g_takenIds[3 * kMultiEntries];  // three bytes per joined part, in join order

// Box of a joined symbol, in frame pixels.
struct JOINED_BOX {
    i32 left;
    i32 top;
    i32 right;
    i32 bottom;
};
extern JOINED_BOX g_joinedBoxes[kMultiEntries];
extern i32 g_joinedBoxCount;

// Per decode and at the start of the region stage: no joined boxes, the list cleared
// (each entry's kind, number and class all bits set), the pool, the taken text and
// identifiers cleared, and every module's reported-result words back to "nothing".
// Answers -1.
i32 Dec_ResetMultiResultList();

// Looks for a complete set among the list's entries (entry 0 for mode 0, inside the
// region loop; every entry for mode 1, after the last region) and makes its joined text
// the result of its module. 1 taken, else 0.
int Dec_TakeJoinedResult(u8 mode);

// Joins the texts of `required` entries of the symbology of list entry `entry` in reading
// order into out (kTextPoolBytes, NUL-terminated) and their identifiers into
// identifiers (3 x kMultiEntries). 1 joined, else 0.
int Dec_JoinSymbols(int entry, i32 required, u8 *out, i32 *outLength, u8 mode, u8 *identifiers);

// Reading order of up to 16 Aztec symbols as seen from the first part: lines of parts
// crossed by the first part's midline, lines across the reading direction, parts along it.
// Writes part indexes to order and answers how many were written.
int Dec_JoinAztecSymbols(const REGION_QUAD *parts, int count, i32 order[kMultiEntries]);

// Each corner moved 20 pixels outward along its diagonal.
void Dec_GrowQuad(const REGION_QUAD *quad, REGION_QUAD *out);

// Boxes of parts[order[i]] for the first min(max, count, 16) entries: bounding boxes
// widened by the margin of code character c, clamped to the frame.
void Dec_StoreJoinedBoxes(const REGION_QUAD *parts, int count, const i32 *order, int max, int c);
// Copies min(box count, max) boxes to out and answers that count (which becomes the box
// count).
int Dec_CopyJoinedBoxes(JOINED_BOX *out, int max);

// 1 when offset >= 0, length >= 0 and offset + length < 8192.
int Dec_FitsTextPool(i32 offset, i32 length);

// 3 x 3 smoothing (1 2 1 / 2 4 2 / 1 2 1, sum / 16) of the frame inside a band of 65 rows
// and 33 columns, computed from the unsmoothed pixels into scratch (width x height bytes)
// and then copied back into image. Nothing unless width > 66 and height > 130.
void Dec_SmoothImage(u8 *image, u8 *scratch, i32 width, i32 height);
// The same over every pixel that has all eight neighbours, when width and height are at
// least 3. No stage calls it.
void Dec_SmoothImageFull(u8 *image, u8 *scratch, i32 width, i32 height);

// ---- Routines that no stage calls.

// Presets that enable every linear symbology (with wide length ranges), every 2D one
// (with their largest lengths), words 51 and 52, and words 53 to 58; other bits are kept.
void Par_PresetAllLinear();
void Par_PresetAll2d();
void Par_PresetEnable51And52();
void Par_PresetEnable53To58();
// When two entries of class 11 stand first in the list with texts of 12 and 14 bytes
// (either order): out (26 bytes) = the 12-byte text then the 14-byte one, *outLength = 26,
// answer 1. Otherwise 0.
int Dec_JoinPairOf14And12(u8 *out, i32 *outLength);
const void *Dec_ReturnArgument(const void *p);

}  // namespace vexo
