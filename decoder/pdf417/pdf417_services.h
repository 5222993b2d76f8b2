// What the rest of the decoder asks of the PDF417 family: the start/stop search in a box
// and the row scanner for guard patterns (region locating), the PDF417 and
// MicroPDF417 decode entries with the accessors of their last results (module records),
// and the two composite component readers (typed callbacks 1 and 2).
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"

namespace vexo {

// Where the start/stop search found a pattern: eleven words, written only on a find.
// Corners in the pattern's own orientation: from its wide bar (TL, BL) to its far end
// (TR, BR), TL and TR on the upper confirmation line.
struct PDF_PATTERN_HIT {
    i32 polarity;    // 1 dark bars on a light ground
    i32 isStart;     // 1 start pattern, 0 stop pattern
    i32 horizontal;  // 1 found along rows (or a mostly horizontal line)
    POINT_I32 topLeft;
    POINT_I32 bottomLeft;
    POINT_I32 topRight;
    POINT_I32 bottomRight;
};
static_assert(sizeof(PDF_PATTERN_HIT) == 44);

// Non-zero when a PDF417 start or stop pattern runs through box {top, left, right,
// bottom} of the grey image (row stride = width). mode 1 searches dark bars; arg is the
// caller's PDF_PATTERN_HIT, handed on unchanged. Work arrays come from the work arena.
int PDF_FindStartStopInRegion(u8 *pixels, int width, int height, i32 box[4], void *arg, int mode);

// Number of guard-pattern candidates (at most maxCandidates, 1..4) written to candidates by
// scanning rows of box {top, left, right, bottom}; reverse > 0 admits light bars.
int PDF_ScanRowsForGuards(PDF_CANDIDATE *candidates, int maxCandidates, int reverse, const i32 box[4], int lineLimit);

// ---- PDF417.

// Copies the mode bits of the PDF417 configuration word into the decoder's mode words;
// called before every PDF417 decode.
void PDF_ReadModeBits();
// Decodes PDF417 in the fast stage's candidate boxes or in the located regions. Answers 1
// when a symbol was decoded.
int PDF_DecodeImage();
// Text of the last result (null when empty) and its length.
const u8 *PDF_GetResultText();
int PDF_GetResultLength();
// Writes ']', 'L' and the modifier of the last PDF417-family result.
void PDF_WriteAimId(char *out);
// Macro PDF417 control block of the last result: present, segment index and count, and
// file-id item i (0 <= i <= 15; -1 otherwise).
int PDF_HasMacro();
int PDF_GetMacroSegmentIndex();
int PDF_GetMacroSegmentCount();
int PDF_GetMacroFileIdItem(int i);
// Per-image resets of the PDF417 decoder state and of the macro record.
void PDF_ResetState();
void PDF_ClearMacroRecord();

// Requests of the composite component readers, built by the linear-code reader.
struct CC_PDF_REQUEST;

// A CC-A or CC-B component to read inside a quad next to its linear symbol. Corners in
// cyclic order: c0-c1 the top side, c1-c2 the right, c2-c3 the bottom, c3-c0 the left.
struct CC_READ_REQUEST {
    u8 *image;            // the installed grey image (stride = width)
    POINT_I32 quad[4];
    u8 *text;             // receives the text
    i32 length;           // out: characters written (0 before reading)
    i32 capacity;         // bytes of text; text and its closing NUL stay within them
    POINT_I32 *rowVector; // direction of the rows, c1 - c0; the reader may overwrite it
    POINT_I32 leftVector; // direction of the left side, c0 - c3
    i32 narrowWidth;      // narrow element width of the linear symbol in 1/32 pixel (> 0, at
                          // most 32 x the image's larger side)
    i32 variant;          // linear component type 0..7 (fixes the data columns)
    i32 polarity;         // 1: samples below the threshold are bars
};
// Answer 1 with the component text in the request's buffer and its length in the request
// when it fits the request's capacity, else 0.
int PDF_DecodeInQuad(CC_PDF_REQUEST *request);
int CC_ReadInQuad(CC_READ_REQUEST *request);

// ---- MicroPDF417.

// Decodes MicroPDF417 in the current region. Answers 1 when decoded.
int MPDF_DecodeImage();
// Text of the last result and its length (0 until a result is ready).
const u8 *MPDF_GetResultText();
int MPDF_GetResultLength();
// Writes ']', 'L' and the modifier.
void MPDF_WriteAimId(char *out);

}  // namespace vexo
