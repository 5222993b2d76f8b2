// Frame margins, candidate boxes and the small hooks of the decode.
#pragma once

#include "core/types.h"

namespace vexo {

// The usable rectangle of a large frame, inclusive bounds; recomputed for every image.
struct FRAME_MARGINS {
    i32 firstColumn;
    i32 firstRow;
    i32 lastColumn;
    i32 lastRow;
};

// A box in pixels, in the order the PDF417 search and the overlap test read it.
struct PIXEL_BOX {
    i32 top;
    i32 left;
    i32 right;
    i32 bottom;
};
static_assert(sizeof(PIXEL_BOX) == 16);

inline constexpr int kCandidateCapacity = 50;
inline constexpr i32 kCandidateKindBox = 3;

// One region that an earlier stage handed on, so that later stages can skip it.
struct CANDIDATE_RECORD {
    REGION_QUAD quad;
    i32 top;     // smallest corner y, at least 4
    i32 left;    // smallest corner x, at least 4
    i32 right;   // largest corner x, at most width - 4
    i32 bottom;  // largest corner y, at most height - 4
    i32 kind;
    i32 value;
    i32 mark;  // 0 when stored; set by Dec_MarkCandidateBox
    i32 code;
};

struct CANDIDATE_STORE {
    CANDIDATE_RECORD records[kCandidateCapacity];
    i32 count;
};

extern FRAME_MARGINS g_frameMargins;
// Cleared by the per-decode reset of every image.
extern CANDIDATE_STORE g_candidateStore;

// Fills g_frameMargins from the installed image: (w - 960) >> 1 columns and (h - 640) >> 1
// rows on each side, 4 wherever that is 3 or less.
void Dec_ComputeFrameMargins();

// Writes n quads: each box grown by dx left and right and dy up and down, clamped to the
// last computed margins (a box wholly outside keeps left > right). Nothing for n <= 0 or a
// null pointer.
void Dec_ExpandCandidateBoxes(const ROI_BOX *boxes, i32 n, REGION_QUAD *out, i32 dx, i32 dy);

// 1 when point (x, y) lies in the box spanned by q's top-left, top-right and bottom-left
// corners, bounds included; 0 otherwise or for a null pointer.
int Dec_PointInBox(const REGION_QUAD *q, const i32 point[2]);

// Appends up to n quads to the store with their clamped bounding boxes, kind 3, the value
// and codes[k]; answers the pointer behind the last quad stored (quads itself when the
// store is full or an argument is missing).
const REGION_QUAD *Dec_StoreCandidateBoxes(const REGION_QUAD *quads, i32 n, const i8 *codes, i32 value);

// Sets the mark of the first stored record whose quad equals q exactly; no match: nothing.
void Dec_MarkCandidateBox(const REGION_QUAD *q, i32 value);

// Overlap of two boxes. When they intersect (strictly: touching boxes do not), ratioA and
// ratioB are the intersection per 1024 of a's and b's area ((bottom - top) x (right -
// left); an empty area gives 0) and the answer is 1; otherwise both are 0 and the answer 0.
int Dec_BoxOverlapRatios(const PIXEL_BOX *a, const PIXEL_BOX *b, i32 *ratioA, i32 *ratioB);

// Copies n boxes {top, left, right, bottom} into the store; a record already marked 2 is
// overwritten by the next box without advancing. Stops at 50 records.
void Dec_StoreCandidatePairs(const PIXEL_BOX *boxes, i32 n, const i8 *codes, i32 value);

// Copies rows of src into dst in reverse order. Nothing for a null pointer or a size <= 0.
void Dec_FlipRows(const u8 *src, i32 rowLength, i32 rows, u8 *dst);

// Fills the 1078-byte header of an 8-bit grey bottom-up bitmap into buffer (when not null)
// and answers width x height + 1078.
u32 Dec_WriteBmpHeader(const void *unused, u32 width, u32 height, u8 *buffer);

// Smoothing of every second frame: on when value is 1.
void Dec_SetSmoothing(i32 value);

// Trace and control hooks called by the decoders at fixed points. They have no effect.
const char *Dec_TraceInit(const char *text);
const char *Dec_TraceText(const char *text);
i32 Dec_TraceCount(i32 number);
const void *Dec_TracePointer(const void *pointer);
const void *Dec_TraceObject(const void *record, i32 value);
const void *Dec_TraceFlag(const void *pointer, i32 flag);
int Dec_TraceStageBegin();
int Dec_TraceStageEnd(const char *label);
int Dec_TraceStepBegin();
int Dec_TraceStepEnd(const char *label);
// No time limit can be set, so the walks that ask this never stop early: always 0.
int Dec_TimeLimitReached();
// 1 when pos <= 11 and that entry of the position flag table is set; nothing sets one.
int Dec_TestPositionFlag(u32 pos);

}  // namespace vexo
