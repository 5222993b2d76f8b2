#include "core/adapters.h"

#include <cstdio>
#include <cstring>

#include "aztec_maxicode/azt_services.h"
#include "aztec_maxicode/maxi_services.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_services.h"
#include "hanxin/cscn_services.h"
#include "linear_image/lineimg_module.h"
#include "linear_image/lineimg_services.h"
#include "locate/finder.h"
#include "pdf417/pdf417_services.h"
#include "qr/qr_services.h"

namespace vexo {

i32 g_adapterStatus[kAdapterCount] = {-1, -1, -1, -1, -1, -1, -1, -1};
REPORTED_RESULT g_reported[kReportedCount + 1] = {
    {nullptr, nullptr, 0, -1}, {nullptr, nullptr, 0, -1}, {nullptr, nullptr, 0, -1}, {nullptr, nullptr, 0, -1},
    {nullptr, nullptr, 0, -1}, {nullptr, nullptr, 0, -1}, {nullptr, nullptr, 0, -1},
};

namespace {

constexpr u8 kDecodeRecordLimit = 64;
constexpr int kVersionLineLength = 20;

int QrEnabled() { return Par_Enabled(kSymQr) || Par_Enabled(kSymMicroQr) ? 1 : 0; }
int DmEnabled() { return Par_Enabled(kSymDataMatrix) ? 1 : 0; }
int AztecEnabled() { return Par_Enabled(kSymAztec) && Sym_AztecCandidateRaised() ? 1 : 0; }
int MaxiEnabled() { return Par_Enabled(kSymMaxiCode) && Sym_MaxiCodeCandidateRaised() ? 1 : 0; }
int CsEnabled() { return Par_Enabled(kSymCsCode) ? 1 : 0; }
int MicroPdfEnabled() { return Par_Enabled(kSymMicroPdf417) ? 1 : 0; }
int PdfEnabled() { return Par_Enabled(kSymPdf417) ? 1 : 0; }

int QrIsMicro() {
    u32 type = 0;
    return QR_GetSymbolType(&type) == 1 && type == kQrTypeMicro ? 1 : 0;
}

// Zeros out; when the module reports a result, fills it from the reported words.
void FillFromReported(int m, u32 bit, u32 extra, bool statusOnly, MODULE_RESULT *out) {
    if (out == nullptr) return;
    *out = MODULE_RESULT{};
    const REPORTED_RESULT &r = g_reported[m];
    if (r.status == kStatusNothing) return;
    if (!statusOnly && (r.data == nullptr || r.length <= 0)) return;
    *out = MODULE_RESULT{kKindMatrix, bit, r.data, static_cast<u32>(r.length), r.status, 0, extra};
}

void WriteHeader(MODULE_HEADER *out, u32 number, u32 codeChar) {
    if (out != nullptr) *out = MODULE_HEADER{kKindMatrix, number, codeChar};
}

bool NothingDecoded(int a) { return g_adapterStatus[a] == kStatusNothing; }

// Callback entries installed by the PDF417 record at every image.
int CallPdfDecodeInQuad(void *request) { return PDF_DecodeInQuad(static_cast<CC_PDF_REQUEST *>(request)); }
int CallCcReadInQuad(void *request) { return CC_ReadInQuad(static_cast<CC_READ_REQUEST *>(request)); }

}  // namespace

// The module table of the common decode pattern, in AdapterIndex order.
const ADAPTER_DESC g_adapterDesc[kAdapterCount] = {
    {"QRCode:     ", "3.04.000", QrEnabled, 0, nullptr, QR_DecodeImage, 1, 0, kSlotQr, QrIsMicro, kSlotMicroQr,
     QR_GetResultLength, &g_adapterStatus[kAdapterQr], nullptr},
    {"DataMatrix: ", "2.03.015", DmEnabled, 0, nullptr, DM_DecodeImage, 0, 261, kSlotDataMatrix, nullptr, -1,
     DM_GetResultLength, &g_adapterStatus[kAdapterDataMatrix], nullptr},
    {"AztecCode:  ", "1.04.008", AztecEnabled, 0, nullptr, AztbProcMain, 1, 260, kSlotAztec, nullptr, -1,
     Azt_GetResultLength, &g_adapterStatus[kAdapterAztec], nullptr},
    {"MaxiCode:   ", "2.00.001", MaxiEnabled, 0, nullptr, Maxi_DecodeWholeImage, 1, 262, -1, nullptr, -1,
     Maxi_GetResultLength, &g_adapterStatus[kAdapterMaxiCode], nullptr},
    {"CS Code:    ", "2.00.019", CsEnabled, 0, nullptr, CSCNProcMain, 1, 263, kSlotCsCode, nullptr, -1,
     CSCN_GetResultLength, &g_adapterStatus[kAdapterCsCode], nullptr},
    {"MicroPDF417:", "1.00.002", MicroPdfEnabled, 0, nullptr, MPDF_DecodeImage, 1, 257, kSlotMicroPdf417, nullptr,
     -1, MPDF_GetResultLength, &g_adapterStatus[kAdapterMicroPdf417], nullptr},
    {"PDF417:     ", "3.01.001", PdfEnabled, 1, PDF_ReadModeBits, PDF_DecodeImage, 1, 256, kSlotPdf417, nullptr, -1,
     PDF_GetResultLength, &g_adapterStatus[kAdapterPdf417], &g_reported[kReportedPdf417].status},
    {"Composite1D:", "2.00.017", nullptr, 1, nullptr, LineImg_Decode, 1, 0, -1, nullptr, -1, nullptr,
     &g_adapterStatus[kAdapterComposite1D], nullptr},
};

void Sym_ResetReportedWords() {
    for (REPORTED_RESULT &r : g_reported) r = REPORTED_RESULT{nullptr, nullptr, 0, kStatusNothing};
}

int Sym_LengthAccepted(int slot, i32 n) {
    if (slot < 0 || slot >= static_cast<int>(sizeof g_params.lengthWord / sizeof g_params.lengthWord[0])) return 0;
    return static_cast<i64>(n) >= Par_MinLength2D(slot) && static_cast<i64>(n) <= Par_MaxLength2D(slot) ? 1 : 0;
}

int Sym_DecodeThrough(const ADAPTER_DESC *a) {
    if (a == nullptr || a->entry == nullptr || a->status == nullptr) return 0;
    if (a->refuseOnRecord != 0 && g_state.decodeRecord[0] > kDecodeRecordLimit) return 0;
    *a->status = kStatusNothing;
    if (a->reportedStatus != nullptr) *a->reportedStatus = kStatusNothing;
    if (a->enabled != nullptr && a->enabled() == 0) return 0;
    if (a->prepare != nullptr) a->prepare();
    if (a->entry() != a->successAnswer) return 0;
    *a->status = kStatusDecoded;
    if (a->reportedStatus != nullptr) *a->reportedStatus = kStatusDecoded;
    if (a->symbologyCode != 0) g_state.lastSymbologyCode = a->symbologyCode;
    const int slot = a->useAltSlot != nullptr && a->useAltSlot() == 1 ? a->altLengthSlot : a->lengthSlot;
    if (slot < 0) return 1;
    const i32 n = a->resultLength != nullptr ? a->resultLength() : 0;
    if (Sym_LengthAccepted(slot, n) == 1) return 1;
    *a->status = kStatusLengthRefused;
    if (a->reportedStatus != nullptr) *a->reportedStatus = kStatusLengthRefused;
    return 0;
}

int Sym_FormatVersion(const ADAPTER_DESC *a, char *buf, int len) {
    if (a == nullptr || buf == nullptr || len <= 0) return 0;
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%s%s", a->label, a->version);
    if (n <= 0) return 0;
    int count = n < kVersionLineLength ? n : kVersionLineLength;
    if (count > len) count = len;
    std::memcpy(buf, line, static_cast<size_t>(count));
    return count;
}

// The bulls-eye finders raise their success byte for the region just scanned.
int Sym_AztecCandidateRaised() { return g_finderState.success[kFinderIdAztec] != 0 ? 1 : 0; }
int Sym_MaxiCodeCandidateRaised() { return g_finderState.success[kFinderIdMaxiCode] != 0 ? 1 : 0; }

// ---- QR Code and Micro QR.

void Sym_QrFillResult(MODULE_RESULT *out) {
    const u32 bit = QrIsMicro() ? kBitMicroQr : kBitQr;
    FillFromReported(kReportedQr, bit, static_cast<u32>(QR_HasSa()), false, out);
}
int Sym_QrAppendPresent() { return NothingDecoded(kAdapterQr) ? 0 : QR_HasSa(); }
int Sym_QrAppendIndex() { return NothingDecoded(kAdapterQr) ? 0 : QR_GetSaIndex(); }
int Sym_QrAppendCount() { return NothingDecoded(kAdapterQr) ? 0 : QR_GetSaCount(); }
int Sym_QrFileIdLength() { return NothingDecoded(kAdapterQr) ? 0 : 1; }
int Sym_QrFileIdItem(int i) { return NothingDecoded(kAdapterQr) || i != 0 ? 0 : QR_GetSaParity(); }
void Sym_QrGetHeader(MODULE_HEADER *out) {
    if (QrIsMicro()) {
        WriteHeader(out, kNumberMicroQr, kCharMicroQr);
    } else {
        WriteHeader(out, kNumberQr, kCharQr);
    }
}

// ---- Data Matrix.

void Sym_DmFillResult(MODULE_RESULT *out) {
    FillFromReported(kReportedDataMatrix, kBitDataMatrix, static_cast<u32>(DM_HasSa()), false, out);
}
int Sym_DmAppendPresent() { return NothingDecoded(kAdapterDataMatrix) ? 0 : DM_HasSa(); }
int Sym_DmAppendIndex() { return NothingDecoded(kAdapterDataMatrix) ? 0 : DM_GetSaPosition(); }
int Sym_DmAppendCount() { return NothingDecoded(kAdapterDataMatrix) ? 0 : DM_GetSaTotal(); }
int Sym_DmFileIdLength() { return NothingDecoded(kAdapterDataMatrix) ? 0 : 2; }
int Sym_DmFileIdItem(int i) {
    if (NothingDecoded(kAdapterDataMatrix) || (i != 0 && i != 1)) return 0;
    return DM_GetSaFileId(i) & 0xFF;
}
void Sym_DmGetHeader(MODULE_HEADER *out) { WriteHeader(out, kNumberDataMatrix, kCharDataMatrix); }

// ---- Aztec and MaxiCode.

void Sym_AztecFillResult(MODULE_RESULT *out) { FillFromReported(kReportedAztec, kBitAztec, 0, false, out); }
void Sym_AztecGetHeader(MODULE_HEADER *out) { WriteHeader(out, kNumberAztec, kCharAztec); }
void Sym_MaxiFillResult(MODULE_RESULT *out) { FillFromReported(kReportedMaxiCode, kBitMaxiCode, 0, false, out); }
void Sym_MaxiGetHeader(MODULE_HEADER *out) { WriteHeader(out, kNumberMaxiCode, kCharMaxiCode); }

// ---- Han Xin Code: its append getters answer only after a decode whose status is 0.

void Sym_CsFillResult(MODULE_RESULT *out) { FillFromReported(kReportedCsCode, kBitCsCode, 0, false, out); }
int Sym_CsAppendPresent() { return g_adapterStatus[kAdapterCsCode] != 0 ? 0 : CSCN_HasSa(); }
int Sym_CsAppendIndex() { return g_adapterStatus[kAdapterCsCode] != 0 ? 0 : CSCN_GetSaIndex(); }
int Sym_CsAppendCount() { return g_adapterStatus[kAdapterCsCode] != 0 ? 0 : CSCN_GetSaCount(); }
int Sym_CsFileIdLength() { return g_adapterStatus[kAdapterCsCode] != 0 ? 0 : 1; }
int Sym_CsFileIdItem(int) { return g_adapterStatus[kAdapterCsCode] != 0 ? 0 : CSCN_GetSaParity(); }
void Sym_CsGetHeader(MODULE_HEADER *out) { WriteHeader(out, kNumberCsCode, kCharCsCode); }

// ---- MicroPDF417.

void Sym_MicroPdf417FillResult(MODULE_RESULT *out) {
    FillFromReported(kReportedMicroPdf417, kBitMicroPdf417, 0, true, out);
}
void Sym_MicroPdf417GetHeader(MODULE_HEADER *out) { WriteHeader(out, kNumberMicroPdf417, kCharMicroPdf417); }
void Sym_MicroPdf417GetCorners(REGION_QUAD *out) {
    if (out == nullptr) return;
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    *out = REGION_QUAD{{{0, 0}, {w, 0}, {0, h}, {w, h}}};
}

// ---- PDF417.

void Sym_PdfResetForImage() {
    PDF_ResetState();
    PDF_ClearMacroRecord();
    Dec_InstallCallback(kCallbackPdfComponent, CallPdfDecodeInQuad);
    Dec_InstallCallback(kCallbackCcComponent, CallCcReadInQuad);
}
const u8 *Sym_PdfGetData() {
    g_reported[kReportedPdf417].data = PDF_GetResultText();
    return g_reported[kReportedPdf417].data;
}
int Sym_PdfGetLength() {
    g_reported[kReportedPdf417].length = PDF_GetResultLength();
    return g_reported[kReportedPdf417].length;
}
void Sym_PdfFillResult(MODULE_RESULT *out) {
    if (out == nullptr) return;
    Sym_PdfGetData();
    Sym_PdfGetLength();
    FillFromReported(kReportedPdf417, kBitPdf417, static_cast<u32>(PDF_HasMacro()), false, out);
}
int Sym_PdfAppendPresent() { return NothingDecoded(kAdapterPdf417) ? 0 : PDF_HasMacro(); }
int Sym_PdfAppendIndex() { return NothingDecoded(kAdapterPdf417) ? 0 : PDF_GetMacroSegmentIndex(); }
int Sym_PdfAppendCount() { return NothingDecoded(kAdapterPdf417) ? 0 : PDF_GetMacroSegmentCount(); }
int Sym_PdfFileIdLength() { return NothingDecoded(kAdapterPdf417) ? 0 : 16; }
int Sym_PdfFileIdItem(int i) {
    if (NothingDecoded(kAdapterPdf417) || i < 0 || i > 15) return 0;
    return PDF_GetMacroFileIdItem(i);
}
void Sym_Pdf417GetHeader(MODULE_HEADER *out) { WriteHeader(out, 0, kCharPdf417); }

// ---- Composite1D.

void Sym_Composite1DFillResult(MODULE_RESULT *out) {
    if (out == nullptr) return;
    *out = MODULE_RESULT{};
    const i32 status = g_adapterStatus[kAdapterComposite1D];
    if (status == kStatusNothing) return;
    i32 id = 0;
    const u32 bit = LineImg_GetSymbologyBit(&id);
    const i32 n = LineImg_GetResultLength();
    *out = MODULE_RESULT{kKindLinear, bit, LineImg_GetResultText(), static_cast<u32>(n > 0 ? n : 0), status, 0, 0};
}
void Sym_Composite1DPostDecode() { LineImg_ResetSymbologies(); }
void Sym_Composite1DGetHeader(MODULE_HEADER *out) {
    if (out == nullptr) return;
    i32 id = 0;
    const u32 bit = LineImg_GetSymbologyBit(&id);
    *out = MODULE_HEADER{kKindLinear, bit, static_cast<u32>(id)};
}


void Sym_LinearGetCorners(REGION_QUAD *out) { LineImg_GetCorners(out); }
int Sym_LinearGetDataBarValue(i32 *out) { return LineImg_GetDataBarValue(out); }
const u8 *Sym_PdfReportedData() { return g_reported[kReportedPdf417].data; }
int Sym_PdfReportedLength() { return g_reported[kReportedPdf417].length; }
int Sym_AnswerZero() { return 0; }

}  // namespace vexo
