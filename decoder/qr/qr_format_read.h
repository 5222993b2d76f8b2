// Format and version information read straight from the image through the per-finder
// transforms, before any module matrix exists: the Model 1 and Model 2 format words, the
// version that confirms or corrects the measured one, and for two-finder candidates the
// orientation (which finders they are). Once the orientation is decided the finder slots
// are relabelled and their module points rewritten as symbol module indices.
//
// Orientation 0 or 1 says which reading of a two-finder arrangement applies: arrangement 3
// is top-left + bottom-left (0) or top-right + top-left (1) in slots 0 and 1; arrangement 4
// is top-right + bottom-left (0) or bottom-left + top-right (1).
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Samples the image at n finder-local points (1/11 module) through the transform of slot
// 0..2 and thresholds them at the middle of their range: bits[k] = 1 for a foreground
// module (dark under polarity 1). A point outside the image or unmapped samples 0. A slot
// outside 0..2 writes nothing.
void QR_SampleFinderBits(i32 slot, const GEO_POINT *points, u8 *bits, i32 n);
// formatFlag 1, versionFlag 0: bits[0..14] as a format word (bit k = bits[k]); writes the
// corrected Model 1 word (0 when none) and the top five bits of the corrected Model 2 word
// (still masked; 0 when none); 1 when either was read. formatFlag 0, versionFlag 1:
// bits[0..17] as a version word; writes the corrected version (0 when none); 1 when read.
// Any other combination returns 0. Null outputs are skipped.
i32 QR_DecodeInfoBits(const u8 *bits, i32 formatFlag, i32 versionFlag, i32 *version, i32 *model1Format,
                      i32 *model2Format);
// Reads the format information of the current arrangement. *orientation is read (a value
// of 1 or more skips the orientation-0 readings of two-finder arrangements) and set to the
// orientation of the reading that decoded (0 when none). 1 when a format word was read.
i32 QR_ReadFormatInfo(i32 *orientation, i32 *model1Format, i32 *model2Format);
// Reads the version information of the current arrangement, orientation as above; *version
// receives the last decoded version. 1 when a version 1..40 was read.
i32 QR_ReadVersionInfo(i32 *orientation, i32 *version);
// Settles the finder roles for the decided orientation: slots relabelled (0 top-left,
// 1 bottom-left, 2 top-right) and module points rewritten as symbol module indices of the
// current dimension.
void QR_SetFinderModulePoints(i32 orientation);

}  // namespace vexo
