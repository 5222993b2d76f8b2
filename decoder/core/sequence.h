// The decode sequence: the per-image body, its stages and the context reset.
#pragma once

#include "core/types.h"

namespace vexo {

struct PDF_PATTERN_HIT;

inline constexpr int kRegionListSize = 50;

// Puts the context into its initial state: nothing decoded, no image, no extension
// arguments, an empty box list, no image copy. The region-of-interest words stay.
void Dec_ResetContext();
// One decode of the installed image: the per-decode resets, smoothing of every second
// frame when it is on, the region of interest, the module resets, then the stages in
// order until one succeeds. 1 when a symbol was decoded and its non-empty text fetched;
// otherwise 0, and nothing is reported as decoded.
u32 Dec_DecodeImage();
void Dec_EnableAllStages();

// ---- Stages; each answers 1 on success.

// Projection proposals one by one into the region table, the linear module asked on each:
// column proposals with the flags 5, then row proposals with 7.
int Dec_RunLinearStage();
// Region selection into list A (room for 50); answers the count.
int Dec_SelectRegions(REGION_QUAD *listA);
// The boxes region selection left, widened, searched for PDF417 start or stop patterns;
// the PDF417 module asked when at least one was found.
int Dec_RunFastPdfStage();
// Region preparation: the quads of list A into the region table.
void Dec_PrepareRegions(REGION_QUAD *listA, int count);
// Each region of list A: edge thresholds, the 2D finders, then the matrix modules; their
// results gathered and joined.
int Dec_RunRegionStage(REGION_QUAD *listA, REGION_QUAD *listB, int count);
// Walk selections: PDF417 only (stage word 16), the linear module only (stage word 32).
void Dec_SelectPdfWalk();
void Dec_SelectRegionWalk();
int Dec_RunExternalDecoder(void *args);
int Dec_RunOcrPostal();

// ---- Parts of the stages.

// Stage words, candidate store, PDF417 candidates, located and walk regions cleared.
void Dec_ResetPerDecode();
// After every successful decode: the linear module resets its symbology records.
void Dec_AfterLinearDecode();
// Turns a PDF417 start/stop find into fast-stage candidate k: its corners moved out by 100
// pixels, clamped to 4 .. size - 4, the bounding box and the orientation tag stored, and
// the quad recorded in the candidate store.
void Dec_AddPdfCandidate(const PDF_PATTERN_HIT *hit, int k);
// The region's top edge moved down to the next multiple of 4 strictly below its top-left y.
REGION_QUAD Dec_AlignRegionTop(const REGION_QUAD &q);

}  // namespace vexo
