// Symbology module records and walks: the matrix and stacked arrays, the walks that ask
// them to decode, the read-back of the module that decoded (by decode source), the shared
// 2D result store, the multi-result list that gathers the matrix results of one image,
// the typed callbacks by which one module asks another for help, and the per-decode
// status words.
#pragma once

#include "core/module_types.h"
#include "core/types.h"

namespace vexo {

// The module records, initialised at load. Apart from the exchange of stacked records 0
// and 1 nothing rewrites them.
extern MODULE_ARRAYS g_modules;

// ---- Per image and walks.

// Edge thresholds back to 102 and 6; decode source, matrix index, OCR index and module id
// cleared; every matrix record's per-image reset, the success flags, every stacked
// record's reset; the list's entries, counts and class counts cleared.
void Dec_ResetModulesForImage();
// Asks matrix records 0 to 6 in order (result store cleared before each); the first that
// answers 1 becomes the decode source 2 with its index and header. 1 on success, else 0.
int Dec_WalkMatrixModules();
// Puts Composite1D before PDF417 when the first region class is 1000, PDF417 first when
// it is 2000. The exchange moves whole records and persists.
void Dec_OrderStackedModules();
// Asks each stacked record once for every walk-list entry equal to its id; the first
// non-zero answer sets decode source 1 and the module id. 1 on success, else 0.
int Dec_WalkStackedModules();
// The linear record (kind 0xC1, id 1): takes the flags, then decodes. 1 on success.
int Dec_TryLinearModule(u32 flags);
// The PDF417 record (kind 0xC2, id 2): decodes. 1 on any non-zero answer.
int Dec_TryPdfModule();
// Hands the flags to the linear record without a decode.
void Dec_SetLinearLinkage(u32 flags);

// ---- Read-back by decode source.

// Data and length of the module that decoded (null / 0 when none answers).
const u8 *Dec_GetDecodedData();
int Dec_GetDecodedLength();
// Overwrites out (three bytes) with the identifier of the module that decoded, when that
// module gives one; otherwise out stays as it is.
void Dec_GetAimIdBySource(char *out);
// Fills out through the module that decoded; left unchanged when none answers.
void Dec_FillModuleResult(MODULE_RESULT *out);
// Outline of the symbol decoded by matrix record index: 1 with out written, 1 with out
// untouched for an index above 5 (negative ones included) or a header {0xC2, 9}; 0 when
// the record lacks its header or corner slot. Rewrites the module header.
int Dec_GetModulePosition(int index, REGION_QUAD *out);

// ---- Result store (part of the parameter block).

// Both lengths, outlines and the count to 0.
void Dec_ClearResultStore();
// The same, and both data areas zero-filled.
void Dec_ResetResultStore();
// Stores a symbol's text and outline in the next free slot: 0 when it overlaps the one
// stored (a second sight of it) or when length is below 0 or beyond a slot's
// kStoredResultBytes, else 1 (also with both slots taken). A null text stores length 0.
int Dec_StoreResult(const u8 *text, i32 length, const REGION_QUAD *quad);

// ---- Multi-result list.

extern MULTI_RESULT_LIST g_multiList;

// Appends q to the decoded-quad list while it has room; the count grows only when the
// matrix index is 5 or less.
void Dec_RecordDecodedQuad(const REGION_QUAD *q);
// The decoded-quad list = {count 0, capacity 16}.
void Dec_ResetDecodedQuads();
// Cuts region q back against the decoded outlines, in list order, stopping at the first
// outline with no corner inside q.
void Dec_TrimRegionByDecoded(REGION_QUAD *q);
// 1 when the module header's code character is below 64, the result store holds 1 or 2
// results and they were appended to the list.
int Dec_GateMultiResult(const REGION_QUAD *q);
// Appends the stored results of the matrix record at the matrix index to the list. 0 when
// a slot is missing, the list is full or a text would not fit into the pool.
int Dec_AppendStoredResults(const REGION_QUAD *q);
// Appends one text (length bytes) with its outline, identifier and the structured-append
// record of module m, under the module header's class. 0 when the list is full, the text
// does not fit into the pool or the class is not below 64.
int Dec_AppendListEntry(const u8 *text, i32 length, const REGION_QUAD *outline, const char aim[3],
                        const SYM_MODULE &m);
// 0 when the current result is part of a structured-append set and one of the first list
// entries (entry 0 for mode 0, 16 otherwise) is a QR Code, Data Matrix or Han Xin entry
// whose symbology requires joined reading of two symbols; else 1.
int Dec_CheckDuplicateResult(int mode);
// Takes the first list entry that belongs to a structured-append set as the result of
// its module (QR Code, Data Matrix, Han Xin) unless that symbology requires joined
// reading. 1 taken, else 0.
int Dec_TakePendingResult();

// ---- Typed callbacks.

using TypedCallback = int (*)(void *data);
inline constexpr int kCallbackTypes = 7;
inline constexpr int kCallbackPdfComponent = 1;  // PDF417 component of a composite symbol
inline constexpr int kCallbackCcComponent = 2;   // CC-A or CC-B component

// Sets the entry of a type 1..7 (others are ignored).
void Dec_InstallCallback(int type, TypedCallback fn);
// The answer of the entry for type 1..7 with data; 0 for another type or an empty entry.
int Dec_CallTypedCallback(int type, void *data);
// Every entry empty.
void Dec_ClearCallbacks();

// ---- Version lines.

// Appends the version lines of the stacked records (current order), the matrix records,
// the OCR/postal and the external record to buf (cap bytes, used already taken), each
// line followed by carriage return, line feed and two blanks while more than 10 bytes
// remain; answers the length of the whole text without the two blanks after the last line.
int Dec_CollectVersions(char *buf, int cap, int used);
int Dec_AppendStackedVersions(char *buf, int cap, int used);
int Dec_AppendMatrixVersions(char *buf, int cap, int used);
int Dec_AppendOcrVersion(char *buf, int cap, int used);
int Dec_AppendExternalVersion(char *buf, int cap, int used);

i32 Dec_GetLastSymbologyCode();

// ---- Status words: eleven words of OR-ed bits, cleared at the start of every decode.

inline constexpr int kStatusWordCount = 11;
extern u32 g_statusWords[kStatusWordCount];
void Dec_ClearStatusWords();
// ORs bits into the third word (the QR decoder's path bits).
void Dec_AddStatusBits(u32 bits);
// Word i (0..10), 0 outside.
u32 Dec_GetStatusWord(int i);

// ---- Trace points the modules call; they do nothing.

void Dec_TraceLabel(const char *label);
void Dec_TraceNote(const char *label);
void Dec_TraceApi(const char *label);
i32 Dec_TraceValue(i32 value);
const void *Dec_TraceBuffer(const void *buf, i32 len);
// Text hook of the modules' result readers: leaves the text unchanged.
void Dec_FilterText(u8 *text, i32 length, i32 a, i32 b);
void Dec_DebugMark(const void *record, i32 value);
i32 Dec_PassResult(i32 value);

}  // namespace vexo
