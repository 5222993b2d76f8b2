// Module adapters: the small functions that fill the slots of the module records and
// translate between the slot contracts and the entry points of each symbology decoder.
// They carry what the core decides for every module: the enable test, the symbology code
// published for Get 0x100513, the length limits, the status word, the header and the
// version line.
#pragma once

#include "core/module_types.h"
#include "core/types.h"

namespace vexo {

// ---- Status and reported-result words.

// Index of a module's status word.
enum AdapterIndex : int {
    kAdapterQr = 0,
    kAdapterDataMatrix = 1,
    kAdapterAztec = 2,
    kAdapterMaxiCode = 3,
    kAdapterCsCode = 4,
    kAdapterMicroPdf417 = 5,
    kAdapterPdf417 = 6,
    kAdapterComposite1D = 7,
    kAdapterCount = 8,
};

// Per module: -1 before and after a failed decode, 0 after a decode whose length was
// accepted, 11 after one whose length lay outside the configured range. -1 at load.
extern i32 g_adapterStatus[kAdapterCount];

inline constexpr int kReportedPdf417 = kReportedCount;  // the PDF417 words follow the six 2D ones
// What each 2D module reports: set when a result is taken from the multi-result list
// (PDF417: by its own getData/getLength), reset at the start of every decode.
extern REPORTED_RESULT g_reported[kReportedCount + 1];

// Every reported-result word back to "nothing": pointers null, lengths 0, statuses -1.
void Sym_ResetReportedWords();

// ---- The common decode pattern, as a table row per module.

struct ADAPTER_DESC {
    const char *label;    // 12 characters
    const char *version;  // 8 characters
    int (*enabled)();     // enable test; null: none
    int refuseOnRecord;   // refused, nothing changed, when the first decodeRecord byte is above 64
    void (*prepare)();    // run before the entry; may be null
    int (*entry)();       // the decoder's decode entry
    int successAnswer;    // the entry's answer for "decoded"
    i32 symbologyCode;    // written to lastSymbologyCode on success; 0: the decoder writes it
    int lengthSlot;       // the lengthWord slot that bounds the result; -1: no check
    int (*useAltSlot)();  // non-null and answering 1: altLengthSlot bounds it instead
    int altLengthSlot;
    int (*resultLength)();
    i32 *status;          // the module's status word
    i32 *reportedStatus;  // set alongside the status word when non-null (PDF417)
};

// The decode slot's pattern: status -1; 0 when the enable test fails; the entry; on its
// success answer status 0 and the symbology code; then the result length against
// minimum <= n <= maximum of the slot's length word (low and high 16 bits): inside 1,
// outside status 11 and 0.
int Sym_DecodeThrough(const ADAPTER_DESC *a);
// 1 when n lies in the range of lengthWord[slot] (a slot outside the table accepts nothing).
int Sym_LengthAccepted(int slot, i32 n);
// The version line, label then version (20 characters); copies at most len bytes without
// a terminator and answers their count; 0 for a null buf or len <= 0.
int Sym_FormatVersion(const ADAPTER_DESC *a, char *buf, int len);

extern const ADAPTER_DESC g_adapterDesc[kAdapterCount];

// Finder candidate flags that gate the Aztec and MaxiCode modules for the region walked.
int Sym_AztecCandidateRaised();
int Sym_MaxiCodeCandidateRaised();

// ---- Slots served from the reported-result words (2D matrix modules).

template <int M>
const u8 *Sym_ReportedData() {
    return g_reported[M].data;
}
template <int M>
int Sym_ReportedLength() {
    return g_reported[M].length;
}
template <int M>
int Sym_ReportedStatus() {
    return g_reported[M].status;
}
// Copies the three identifier bytes; leaves out alone when no identifier is reported.
template <int M>
void Sym_ReportedAimId(char *out) {
    const u8 *id = g_reported[M].aimId;
    if (out == nullptr || id == nullptr) return;
    for (int i = 0; i < 3; ++i) out[i] = static_cast<char>(id[i]);
}
template <int A>
int Sym_StatusWord() {
    return g_adapterStatus[A];
}
template <int A>
int Sym_GetVersion(char *buf, int len) {
    return Sym_FormatVersion(&g_adapterDesc[A], buf, len);
}
template <int A>
int Sym_Decode() {
    return Sym_DecodeThrough(&g_adapterDesc[A]);
}

// ---- Module-specific slots.

// QR Code and Micro QR.
void Sym_QrFillResult(MODULE_RESULT *out);
int Sym_QrAppendPresent();
int Sym_QrAppendIndex();
int Sym_QrAppendCount();
int Sym_QrFileIdLength();
int Sym_QrFileIdItem(int i);
void Sym_QrGetHeader(MODULE_HEADER *out);

// Data Matrix.
void Sym_DmFillResult(MODULE_RESULT *out);
int Sym_DmAppendPresent();
int Sym_DmAppendIndex();
int Sym_DmAppendCount();
int Sym_DmFileIdLength();
int Sym_DmFileIdItem(int i);
void Sym_DmGetHeader(MODULE_HEADER *out);

// Aztec and MaxiCode.
void Sym_AztecFillResult(MODULE_RESULT *out);
void Sym_AztecGetHeader(MODULE_HEADER *out);
void Sym_MaxiFillResult(MODULE_RESULT *out);
void Sym_MaxiGetHeader(MODULE_HEADER *out);

// Han Xin Code.
void Sym_CsFillResult(MODULE_RESULT *out);
int Sym_CsAppendPresent();
int Sym_CsAppendIndex();
int Sym_CsAppendCount();
int Sym_CsFileIdLength();
int Sym_CsFileIdItem(int i);
void Sym_CsGetHeader(MODULE_HEADER *out);

// MicroPDF417.
void Sym_MicroPdf417FillResult(MODULE_RESULT *out);
void Sym_MicroPdf417GetHeader(MODULE_HEADER *out);
// The whole image: (0, 0), (W, 0), (0, H), (W, H).
void Sym_MicroPdf417GetCorners(REGION_QUAD *out);

// PDF417.
void Sym_PdfResetForImage();
const u8 *Sym_PdfGetData();
int Sym_PdfGetLength();
void Sym_PdfFillResult(MODULE_RESULT *out);
int Sym_PdfAppendPresent();
int Sym_PdfAppendIndex();
int Sym_PdfAppendCount();
int Sym_PdfFileIdLength();
int Sym_PdfFileIdItem(int i);

// Composite1D (the linear module).
void Sym_Composite1DFillResult(MODULE_RESULT *out);
// After every successful decode: the linear module resets its symbology records.
void Sym_Composite1DPostDecode();

// Headers that no record slot holds.
void Sym_Composite1DGetHeader(MODULE_HEADER *out);  // {0xC1, symbology bit, internal 1D id}
void Sym_Pdf417GetHeader(MODULE_HEADER *out);       // {0xC2, 0, '&'}

// Further operations that no record slot holds.
void Sym_LinearGetCorners(REGION_QUAD *out);  // LineImg_GetCorners
int Sym_LinearGetDataBarValue(i32 *out);      // LineImg_GetDataBarValue
// The PDF417 reported data and length words, as its getData and getLength last wrote them.
const u8 *Sym_PdfReportedData();
int Sym_PdfReportedLength();
int Sym_AnswerZero();

}  // namespace vexo
