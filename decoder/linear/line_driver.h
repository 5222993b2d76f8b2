// The linear decode driver: one scan line's edge list is walked through the table of linear
// symbology records (move-to-front on success) and the first result is read back through
// the accessors below. All state is static and is rebuilt by every Line_DecodeEdgeLine; the
// accessors answer from the last call.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"

namespace vexo {

// Static storage of the driver.
struct LINE_DRIVER_STATE {
    LINE_CONTEXT context;
    LINE_RESULT results[kLineResultSlots];
    LINE_AUX aux[kLineResultSlots];
    LINE_AUX_ENTRY segments[kLineSegmentCapacity];  // the first slot's segment list
    LINE_ROWS rows[kLineResultSlots];
    u16 rowItems[kLineRowCapacity];  // the first slot's row list
    u8 text[kLineTextCapacity];      // the first slot's text
    LINE_AUX candidateAux;           // zeroed for each candidate
    LINE_AUX_ENTRY candidateSegments[kLineSegmentCapacity];
    u16 edgeCount;   // the counts the walk uses, bounded by both of the caller's arrays
    u16 widthCount;
    i32 walkOk;      // whether the last walk stored a result
};

extern LINE_DRIVER_STATE g_lineDriver;

// ---- Called by the linear image side.

// Decodes the current edge list (g_lineEdgeInput). The walk reads at most widthCount + 1
// edges and one width fewer than the edges it reads, so both arrays need only hold their
// own counts; a null array or a negative width count gives an empty line. Answers 1 when
// the first result slot then holds a symbol of non-zero length (the one of the stored
// results whose start or end lies nearest the middle of the line), else 0.
int Line_DecodeEdgeLine();
// The first slot's text and length, or null / 0 unless the last walk succeeded.
u8 *Line_GetResultData();
u16 Line_GetResultLength();
// The first slot's internal id, or 0 unless the last walk succeeded.
u16 Line_GetResultSymbology();
// Writes exactly three bytes: "]X0", or the first slot's identifier after a successful
// walk; no terminator. Returns buf (null when buf is null).
char *Line_WriteResultAimId(char *buf);
// The first slot's composite link value, whatever the last walk gave.
u16 Line_GetResultLinkFlag();
// Direction of the first segment entry of the first slot's segment record (-1 reads 65535).
u16 Line_GetResultAuxDirection();
// Variant of the first slot's segment record.
int Line_GetResultAuxValue();
// Edge indexes of the symbol last read on the line (smaller and larger).
void Line_GetResultElementRange(i32 *first, i32 *last);
// Copies the attempt codes (directions widened with their sign) of the last line; out
// needs room for 32. Both return the attempt count.
u8 Line_CopyAttemptCodes(u8 *out);
u8 Line_CopyAttemptDirections(i16 *out);
// With an empty log answers 0 and leaves out untouched. Otherwise copies the element range
// and the attempt log into out, and, when the log holds code 4 or 5, the first slot's
// segment list (out->segments needs room for kLineSegmentCapacity entries), kind, linked
// and variant, answering 1; else answers 0.
int Line_CopyPartialSegment(LINE_AUX *out);
// Runs the reset slot of every record that has one, in the table's current order. The
// order itself stays.
void Line_Reset();
void Line_ResetAllRecords();

// ---- The walk.

// Walks the table over the line: a record with an empty isEnabled slot is skipped, every
// other one runs (its enable bit is tested only on what it reads); a record that stores a
// result moves to the front. When bit 30 is set in the word of id 1, 2 or 3 the Code 128
// state is reset first. 1 when the line's count is not 0 afterwards.
int Line_WalkTable(LINE_CONTEXT *line);
// One record over the line, candidate by candidate, until one is stored (answer 1) or the
// record gives up (0). Ends the walk (*goOn = 0) when it stores a result or logs code 1, 2
// or 11. The direction stored and logged is the decode context's after the decode. A
// candidate refused by verify passes the enable test of the id it reported first (0 unless
// verify set one). A result that carries a composite link value needs no enable bit.
int Line_TryRecord(const LINE_SYMBOLOGY *rec, LINE_CONTEXT *line, int *goOn);
// Merges from's first segment entry into list: an all-zero entry is ignored, an entry
// with the same value1, finder and value2 raises that entry's count, another one is
// appended while the list has room.
void Line_AccumulateSegment(LINE_AUX *list, const LINE_AUX *from);
// Appends code to the line's attempt log while it holds fewer than attemptLimit (at most
// 32) entries; the direction goes with codes 3, 4 and 5 only.
void Line_LogAttempt(LINE_CONTEXT *line, u8 code, i16 direction);
// Index of the result among the first count slots whose start or end position lies nearest
// half of lineLength, a later one winning only when strictly nearer; empty slots (length 0)
// are passed over. -1 when every slot is empty.
int Line_PickNearestResult(const LINE_RESULT *results, int count, u32 lineLength);

}  // namespace vexo
