// The second configuration and result interface: settings records translated into the
// parameter block, an image-copy option, registration of an external extension module,
// getters of the last result by slot, stage presets, status summaries and a few image
// routines. No export, record slot or stage calls any of it. Every getter first resets the
// context when it was never initialised.
#pragma once

#include "core/module_types.h"
#include "core/state.h"
#include "core/types.h"

namespace vexo {

inline constexpr int kSettingsRecordBytes = 132;
inline constexpr int kSettingsDRecordBytes = 136;
inline constexpr int kPointerListSize = 16;
inline constexpr u32 kExternalRecordId = 0xcc0007;
inline constexpr int kExternalRecordBytes = 128;
static_assert(sizeof(EXT_MODULE) == kExternalRecordBytes, "the external record is 128 bytes on 64-bit targets");

// {id, pointer}: the argument of Dec_SetExtensionArg and Dec_RegisterExternal.
struct DEC_ID_POINTER {
    u32 id;
    const void *pointer;
};

// Static words of this interface: the settings record, the copies of the last records
// translated, the stage preset words, the user pointer and the pointer list.
struct ENTRY_STATE {
    u32 settings[kSettingsRecordBytes / 4];
    u32 keptC[kSettingsRecordBytes / 4];
    u32 keptD[kSettingsDRecordBytes / 4];
    u8 haveC;
    u8 haveD;
    u32 presetSwitch;  // set by nothing: no preset changes a decode
    u32 presetCount;
    u32 presetMode;
    const void *userPointer;
    const void *pointers[kPointerListSize];
    i32 pointerCount;
};
extern ENTRY_STATE g_entryState;

// ---- Configuration.

// imageCopyFlags = flags, imageCopyDest = dest; with dest set and bit 4 of flags, also the
// settings record {16, 0, 0, 0, 0, 2, 0...}.
void Dec_SetImageCopy(u32 flags, u8 *dest);
// Copies 132 bytes into the settings record: 1; a null record: 0, nothing changed.
int Dec_SetSettingsRecord(const void *rec);
// Ids 0xcc0003, 0xcc0004, 0xcc0002, 0xcc0005 keep the pointer as extension argument 1..4;
// other ids change nothing. 1; a null record: 0.
int Dec_SetExtensionArg(const DEC_ID_POINTER *rec);
// 1 when rec, its id and pointer are set and the record loaded; else 0.
int Dec_RegisterExternal(const DEC_ID_POINTER *rec);
// Id 0xcc0007 only: a record whose first word is non-zero becomes the external extension
// record (128 bytes): 1; otherwise that record is cleared: 0. Another id: 0, nothing changed.
int Dec_LoadExternalRecord(const DEC_ID_POINTER *rec);
// Copies the record's width x height pixels into the internal image buffer and makes it the
// image record's pixels, for a size that Decode accepts: 1. Otherwise 0, nothing changed.
int Dec_LoadImageCopy(const IMAGE_RECORD *rec);
// Bit 22 of flags words 50, 51, 52 from bits 0, 1, 2 of the record's first word (132 bytes).
// 0 for a null record; the record last translated again: 1 at once.
int Dec_ApplySettingsC(const void *rec);
// Bit 22 of flags words 53..59 from bits 5, 2, 0, 1, 4, 3, 6 of the first word; bits 30 and
// 31 of words 55, 58, 59 from bits 0 and 1 of record words 2, 5, 8, bit 30 always set for an
// enabled word (136 bytes). The caller's record is not written.
int Dec_ApplySettingsD(const void *rec);
// With the preset switch on and the count in 1..54: mode 1, 2, 4, 16, 32, 64 sets
// stageEnable to 1, 10, 12, 24, 40, 72.
void Dec_ApplyStagePreset();
void Dec_StagePresetLinear();     // 1
void Dec_StagePresetFastPdf();    // 10
void Dec_StagePresetPdfWalk();    // 24
void Dec_StagePresetRegionWalk(); // 40
void Dec_StagePresetOcrPostal();  // 72
void Dec_StagePresetRegion();     // 12
void Dec_SetUserPointer(const void *p);
// Copies min(n, 16) pointers; answers that count. A null list or n <= 0: 0.
int Dec_SetPointerList(const void *const *list, int n);

// ---- Results.

int Dec_IsInitialised();
// moduleResult when the last decode succeeded, else null.
const MODULE_RESULT *Dec_GetModuleResult();
// 0 for 0; i when bit is 1 << i; 32 otherwise.
int Dec_BitIndex(u32 bit);
int Dec_GetResultBitIndex();
// "4.10.001B00", terminated, in a static buffer.
const char *Dec_FormatVersionNumber();
// Slots 8 to 13 of the module that decoded (stacked: the first record with a kind and a
// positive length; matrix: the record at the matrix index with a positive raw length);
// 0 unless the last decode succeeded from one of those.
int Dec_GetAppendPresentOfResult();
int Dec_GetAppendIndexOfResult();
int Dec_GetAppendIndex2OfResult();
int Dec_GetAppendCountOfResult();
int Dec_GetFileIdLengthOfResult();
int Dec_GetFileIdItemOfResult(int i);
// getStatus of the stacked or matrix module found the same way; -1 when none.
int Dec_GetStackedStatusOfResult();
int Dec_GetMatrixStatusOfResult();
// getLength and getStatus of the external extension record (0 and -1 without the slot).
int Dec_GetExternalLength();
int Dec_GetExternalStatus();
const MULTI_RESULT_LIST *Dec_GetMultiResultList();
// The region stage's boxes (16 bytes each) when it holds any, else the joined boxes; at
// most max. A null out or max <= 0: 0.
int Dec_GetBoxes(void *out, int max);
void Dec_ResetBoxes();
// Position i of lastSymbologyCode in list[0..n) (0 when absent or n <= 0): i for mode 1,
// base + i for mode 2, base otherwise.
int Dec_FindSymbologyCode(const i32 *list, int n, int mode, int base);
// 1 when a sampled row (30, 90, 150, ...) or column (50, 150, 250, ...) of rec differs from
// the internal image buffer by a rounded mean above threshold. Rows need a height of at
// least 31, columns one of 51. A record without pixels or of another size than the
// installed image: 0.
int Dec_ImageChanged(const IMAGE_RECORD *rec, i32 threshold);

// ---- Module side.

// The stacked walk without the walk list: the first record whose decode answers 1.
int Dec_WalkStackedAll();
// Appends the raw text of the matrix module at the matrix index with its identifier and
// structured-append record; 0 when a slot is missing, the list is full or the pool short.
int Dec_AppendModuleResult(const REGION_QUAD *q);
u32 Dec_SetBits(u32 *word, u32 bits);
u32 Dec_ClearBits(u32 *word, u32 bits);
void Dec_ClearLinearLinkage();
// Status words numbered 1..11 (word 3 holds the QR path bits): OR-setter answering the new
// value, and getter. Another number: 0, nothing changed.
u32 Dec_OrStatusWord(int number, u32 bits);
u32 Dec_ReadStatusWord(int number);
// out[1] = 0; each test that holds, in order, writes {code, 1}.
void Dec_SummariseStatus(i32 out[2]);
// For one = 1: 1 when the flags word of the first list entry's symbology has 2 in its low
// five bits, else 0 (also for an empty list); 2 for any other argument.
int Dec_IsJoinedModeFor(int one);
// Each grey g becomes min(255, 256 x (pixels <= g) / (width x height)). Nothing for a null
// image or a size of 0 or less.
void Dec_EqualiseHistogram(u8 *data, int width, int height);
// Bit 1 of the settings record's sixth word when bit 4 of its first is set, else 0.
int Dec_SmoothOptionSet();
// With that option: the frame smoothed inside a 32-pixel border; 1 when smoothed, else 0.
int Dec_SmoothBorderRegion();

}  // namespace vexo
